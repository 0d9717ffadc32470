// The plug-in loaded by a program whose neighbouring Quillpost.exe lacks
// _ZorJisToSjis@12: the load must be refused with the error message, and the
// host module released again.
#include "wine_support.h"

TEST(LoadRefusal, MissingHostFunctionRefusesLoadWithMessage)
{
    ASSERT_EQ(NULL, GetModuleHandleA("Quillpost.exe")) << "this program must not be Quillpost.exe itself";
    std::string text, caption;
    LONG style = 0;
    int buttons = 0;
    HICON icon = NULL;
    ModalWatcher watcher("プラグインエラー", [&](HWND box) {
        caption = windowText(box);
        style = GetWindowLongA(box, GWL_STYLE);
        HWND child = NULL;
        while ((child = FindWindowExA(box, child, NULL, NULL)) != NULL) {
            char cls[32];
            GetClassNameA(child, cls, sizeof cls);
            if (lstrcmpiA(cls, "Static") == 0 && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
            else if (lstrcmpiA(cls, "Static") == 0 && GetWindowTextLengthA(child) > 0 && text.empty())
                text = windowText(child);
            if (lstrcmpiA(cls, "Button") == 0)
                ++buttons;
        }
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    HMODULE dll = LoadLibraryA("Huescope.dll");
    bool seen = watcher.join();
    EXPECT_EQ(NULL, dll) << "the load must be refused";
    ASSERT_TRUE(seen) << "no message box appeared";
    EXPECT_EQ("プラグインエラー", caption);
    EXPECT_EQ("プラグイン「Huescope」でエラーが発生しました。\r\nQuillpost32とプラグインのバージョンを確認してください", text);
    EXPECT_EQ(1, buttons) << "one OK button";
    EXPECT_EQ(LoadIconA(NULL, IDI_HAND), icon) << "MB_ICONERROR shows the error icon";
    EXPECT_EQ(NULL, GetModuleHandleA("Quillpost.exe")) << "the host module must be released";
    if (dll)
        FreeLibrary(dll);
}
