// The shell's entry points under Wine with real windows and controls.
#include "wine_support.h"
#include <commctrl.h>
#include <algorithm>
#include <vector>

namespace {

class Shell : public PluginTest {};

TEST_F(Shell, StartsUpAndNamesItself)
{
    start();
    EXPECT_STREQ("Huescope", plugin.getPlugName());
    EXPECT_EQ(1, plugin.startUp(12345)) << "the argument is ignored";
    EXPECT_EQ(1, plugin.startUp(-1));
}

LRESULT CALLBACK plainProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

void registerProbeClass(const char* name)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = plainProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

HWND child(HWND parent, const char* cls)
{
    return CreateWindowExA(0, cls, "", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 0, 50, 50, parent, NULL,
                           GetModuleHandleA(NULL), NULL);
}

HWND frame()
{
    registerProbeClass("ShellProbeFrame");
    return CreateWindowExA(0, "ShellProbeFrame", "frame", WS_OVERLAPPEDWINDOW, 0, 0, 200, 200, NULL, NULL,
                           GetModuleHandleA(NULL), NULL);
}

// The compose entry point reports whether a rich edit control was found on
// the chain of first children.
TEST_F(Shell, RichEditFoundOnlyOnTheChainOfFirstChildren)
{
    start();
    LoadLibraryA("riched20.dll");
    LoadLibraryA("riched32.dll");
    LoadLibraryA("msftedit.dll");
    registerProbeClass("RichEdit20Probe");
    registerProbeClass("Richedit20Other");
    registerProbeClass("ShellProbePane");
    WNDCLASSA existing;
    if (!GetClassInfoA(NULL, "RICHEDIT50W", &existing) &&
        !GetClassInfoA(GetModuleHandleA("msftedit.dll"), "RICHEDIT50W", &existing))
        registerProbeClass("RICHEDIT50W");

    struct Case { const char* name; const char* first; const char* second; bool nested; int found; };
    const Case cases[] = {
        {"RichEdit20A first child", "RichEdit20A", NULL, false, 1},
        {"RICHEDIT inside a container", "RICHEDIT", NULL, true, 1},
        {"RichEdit20W", "RichEdit20W", NULL, false, 1},
        {"any class beginning RichEdit20", "RichEdit20Probe", NULL, false, 1},
        {"rich edit as second child", "STATIC", "RichEdit20A", false, 0},
        // Class names are looked up without regard to case, so the wrong-case
        // probe has a name of its own.
        {"wrong letter case", "Richedit20Other", NULL, false, 0},
        {"RICHEDIT50W", "RICHEDIT50W", NULL, false, 0},
        {"no children", NULL, NULL, false, 0},
    };
    for (const Case& c : cases) {
        HWND f = track(frame());
        HWND parent = c.nested ? child(f, "ShellProbePane") : f;
        if (c.first)
            ASSERT_TRUE(child(parent, c.first) != NULL) << c.name;
        if (c.second)
            child(parent, c.second);
        EXPECT_EQ(c.found, plugin.sendCreate(f) != 0) << c.name;
    }
}

// Records whether anything wrote the toolbar's style.
WNDPROC toolbarProc;
int styleWrites;
LRESULT CALLBACK countingToolbarProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_STYLECHANGING && wp == static_cast<WPARAM>(GWL_STYLE))
        ++styleWrites;
    return CallWindowProcA(toolbarProc, w, m, wp, lp);
}

TEST_F(Shell, FlatToolbarOnlyAddedWhenConfiguredAndNotYetFlat)
{
    struct Case { const char* ini; bool startFlat; bool expectFlat; int expectWrites; };
    const Case cases[] = {
        {"[Common]\r\nFlatToolBar=0\r\n", false, false, 0},
        {"[Common]\r\nFlatToolBar=1\r\n", false, true, 1},
        {"[Common]\r\nFlatToolBar=1\r\n", true, true, 0},
        {"[Common]\r\nFlatToolBar=0\r\n", true, true, 0},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        TearDown();
        SetUp();
        writeIni(c.ini);
        start();
        for (int useViewer = 0; useViewer < 2; ++useViewer) {
            HWND w = track(useViewer ? hostCreateViewerWindow(RICHEDIT_20A, "v", 0, 0, 300, 200)
                                     : hostCreateFolderWindow("folder"));
            HWND toolbar = hostToolbar(w);
            ASSERT_TRUE(toolbar != NULL);
            LONG style = GetWindowLongA(toolbar, GWL_STYLE);
            SetWindowLongA(toolbar, GWL_STYLE, c.startFlat ? (style | TBSTYLE_FLAT) : (style & ~TBSTYLE_FLAT));
            toolbarProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(toolbar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(countingToolbarProc)));
            styleWrites = 0;
            if (useViewer)
                plugin.viewCreate(w);
            else
                plugin.folderCreate(w);
            EXPECT_EQ(c.expectFlat, (GetWindowLongA(toolbar, GWL_STYLE) & TBSTYLE_FLAT) != 0)
                << "case " << i << (useViewer ? " viewer" : " folder");
            EXPECT_EQ(c.expectWrites, styleWrites) << "case " << i << (useViewer ? " viewer" : " folder");
        }
    }
}

TEST_F(Shell, ViewerWithoutRichEditStillGetsFlatToolbar)
{
    writeIni("[Common]\r\nFlatToolBar=1\r\n");
    start();
    HWND w = track(hostCreateFolderWindow("no rich edit"));
    plugin.viewCreate(w);
    EXPECT_TRUE(GetWindowLongA(hostToolbar(w), GWL_STYLE) & TBSTYLE_FLAT);
}

TEST_F(Shell, VersionDialogShowsTemplateAndClosesWithOne)
{
    start();
    HWND owner = track(hostCreateFolderWindow("owner"));
    // Closing by OK, by Esc and by the close box all give 1.
    const char* ways[] = {"ok", "escape", "close box"};
    for (int way = 0; way < 3; ++way) {
        std::string staticText, buttonText;
        // Position and size are mapped from dialog units separately, as the
        // dialog manager does.
        RECT button = {}, expectedButton = {151, 7, 0, 0}, expectedSize = {0, 0, 37, 14};
        LONG style = 0;
        ModalWatcher watcher("Huescopeのバージョン情報", [&](HWND dialog) {
            style = GetWindowLongA(dialog, GWL_STYLE);
            staticText = windowText(GetDlgItem(dialog, 1000));
            HWND ok = GetDlgItem(dialog, IDOK);
            buttonText = windowText(ok);
            GetWindowRect(ok, &button);
            MapWindowPoints(NULL, dialog, reinterpret_cast<POINT*>(&button), 2);
            MapDialogRect(dialog, &expectedButton);
            MapDialogRect(dialog, &expectedSize);
            if (way == 0)
                PostMessageA(ok, BM_CLICK, 0, 0);
            else if (way == 1)
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            else
                PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        });
        INT_PTR result = plugin.versionInfo(owner);
        ASSERT_TRUE(watcher.join()) << "no version dialog appeared";
        EXPECT_EQ(1, result) << ways[way];
        EXPECT_EQ("Huescope Version 1.1", staticText);
        EXPECT_EQ("OK", buttonText);
        EXPECT_EQ(expectedButton.left, button.left);
        EXPECT_EQ(expectedButton.top, button.top);
        EXPECT_EQ(expectedSize.right, button.right - button.left);
        EXPECT_EQ(expectedSize.bottom, button.bottom - button.top);
        EXPECT_TRUE((style & (WS_POPUP | WS_CAPTION | WS_SYSMENU)) == (WS_POPUP | WS_CAPTION | WS_SYSMENU));
        EXPECT_TRUE(style & DS_MODALFRAME);
    }
}

// Every block and GDI object the plug-in releases, seen through its own
// imports; one released a second time is counted and not passed on.
std::vector<void*> released;
int doubleReleases;
void (*realFree)(void*);
BOOL(WINAPI* realDeleteObject)(HGDIOBJ);

bool releasedBefore(void* p)
{
    if (std::find(released.begin(), released.end(), p) != released.end()) {
        ++doubleReleases;
        return true;
    }
    released.push_back(p);
    return false;
}

void recordingFree(void* p)
{
    if (p && !releasedBefore(p))
        realFree(p);
}

BOOL WINAPI recordingDeleteObject(HGDIOBJ object)
{
    if (object && releasedBefore(object))
        return FALSE;
    return realDeleteObject(object);
}

TEST_F(Shell, CleanUpTwiceReleasesNothingTwice)
{
    start();
    HWND w = track(hostCreateComposeWindow(RICHEDIT_20A, "compose", 0, 0, 300, 200));
    plugin.sendCreate(w);
    released.clear();
    doubleReleases = 0;
    realFree = reinterpret_cast<void (*)(void*)>(
        redirectImport(plugin.module, "msvcrt.dll", "free", reinterpret_cast<void*>(recordingFree)));
    realDeleteObject = reinterpret_cast<BOOL(WINAPI*)(HGDIOBJ)>(
        redirectImport(plugin.module, "gdi32.dll", "DeleteObject", reinterpret_cast<void*>(recordingDeleteObject)));
    ASSERT_TRUE(realFree && realDeleteObject) << "the plug-in imports free and DeleteObject";
    plugin.cleanUp();
    const size_t first = released.size();
    plugin.cleanUp();
    redirectImport(plugin.module, "msvcrt.dll", "free", reinterpret_cast<void*>(realFree));
    redirectImport(plugin.module, "gdi32.dll", "DeleteObject", reinterpret_cast<void*>(realDeleteObject));
    // The marker list, its two blocks of forms and the ruler font.
    EXPECT_GE(first, 4u) << "the first clean-up releases what start-up and the compose window made";
    EXPECT_EQ(0, doubleReleases) << "releases repeated by the second clean-up";
}

}  // namespace

namespace {

std::string versionString(const std::vector<char>& block, const char* path)
{
    void* value = NULL;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), path, &value, &length) || !value)
        return "";
    return std::string(static_cast<const char*>(value));
}

TEST(ShellVersion, ResourceMatchesTheVersionDialog)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA("Huescope.dll", &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA("Huescope.dll", 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(MAKELONG(1, 1), static_cast<LONG>(fixed->dwFileVersionMS)) << "file version 1.1";
    EXPECT_EQ("1.1", versionString(block, "\\StringFileInfo\\040904B0\\FileVersion"));
    EXPECT_EQ("Huescope", versionString(block, "\\StringFileInfo\\040904B0\\ProductName"));
    EXPECT_EQ("Quote and header colouring plug-in for Quillpost",
              versionString(block, "\\StringFileInfo\\040904B0\\FileDescription"));
    EXPECT_EQ("Quillpost 用 引用文・ヘッダー色分けプラグイン",
              versionString(block, "\\StringFileInfo\\041104B0\\FileDescription"));
}

}  // namespace
