// Quillpost stand-in program: loads Huescope.dll as the mail client would,
// opens a viewer with a Japanese multi-level reply and a compose window with
// a reply, and (with --demo OUTDIR) writes screenshots and exits.
//   Quillpost.exe [--mailbox DIR] [--demo OUTDIR]
#include <stdio.h>
#include <string.h>
#include <richedit.h>
#include <commctrl.h>
#include <prsht.h>
#include <string>
#include "host.h"

static std::string outDir;
static PluginApi plugin;

static void capture(HWND window, const char* name)
{
    if (outDir.empty())
        return;
    std::string path = outDir + "\\" + name + ".bmp";
    if (hostCaptureWindow(window, path.c_str()))
        printf("screenshot %s\n", path.c_str());
    fflush(stdout);
}

static HWND openViewer()
{
    HWND viewer = hostCreateViewerWindow(RICHEDIT_20A, "Quillpost - メール表示", 0, 0, 760, 520);
    HMENU bar = hostBuildViewerMenuBar();
    plugin.viewInitMenu(0, bar, 201);
    SetMenu(viewer, bar);
    plugin.viewCreate(viewer);
    ShowWindow(viewer, SW_SHOW);
    hostStreamPieces(hostEditControl(viewer), hostRtfPieces(hostSampleMessage()));
    UpdateWindow(viewer);
    return viewer;
}

static HWND openCompose()
{
    HWND compose = hostCreateComposeWindow(RICHEDIT_20A, "Quillpost - メール作成", 0, 530, 760, 440);
    HMENU bar = hostBuildComposeMenuBar();
    plugin.sendInitMenu(0, bar, 301);
    SetMenu(compose, bar);
    plugin.sendCreate(compose);
    ShowWindow(compose, SW_SHOW);
    HWND edit = hostEditControl(compose);
    // Quillpost sets the compose control's formatting rectangle when it lays
    // the window out; the plug-in moves it down below its ruler.
    RECT format;
    GetClientRect(edit, &format);
    InflateRect(&format, -2, 0);
    SendMessageA(edit, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&format));
    std::string reply = hostSampleReplyText();
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(reply.c_str()));
    SetFocus(edit);
    // The caret in the reply's own text, so the ruler's marker shows its column.
    LONG line = static_cast<LONG>(SendMessageA(edit, EM_LINEINDEX, 6, 0));
    CHARRANGE caret = {line + 10, line + 10};
    SendMessageA(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&caret));
    UpdateWindow(compose);
    return compose;
}

// Frames of a quote marker typed at the start of a reply line ([Send]
// LiveChange=1 in the demo's INI file): the line as it was, the marker
// typed and the line in the quote colour, a space after it, and Ctrl+Z,
// which takes the typing back and the colour with it.
static void photographLiveTyping(HWND compose)
{
    if (outDir.empty())
        return;
    HWND edit = hostEditControl(compose);
    LONG line = static_cast<LONG>(SendMessageA(edit, EM_LINEINDEX, 6, 0));
    CHARRANGE caret = {line, line};
    SendMessageA(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&caret));
    auto frame = [&](const char* name) {
        UpdateWindow(compose);
        hostPump(300);
        HideCaret(edit);
        capture(compose, name);
        ShowCaret(edit);
    };
    frame("live-1");
    SendMessageA(edit, WM_CHAR, '>', 1);
    frame("live-2");
    SendMessageA(edit, WM_CHAR, ' ', 1);
    frame("live-3");
    SendMessageA(edit, EM_UNDO, 0, 0);
    frame("live-4");
}

// Chooses the first preset of the font-switch submenu the plug-in appended
// to the View menu, as a user would.
static bool chooseFirstFontPreset(HWND viewer)
{
    HMENU view = GetSubMenu(GetMenu(viewer), 2);
    int count = GetMenuItemCount(view);
    HMENU fonts = count > 0 ? GetSubMenu(view, count - 1) : NULL;
    if (!fonts || GetMenuItemCount(fonts) < 2)
        return false;
    SendMessageA(viewer, WM_COMMAND, MAKEWPARAM(GetMenuItemID(fonts, 1), 0), 0);
    return true;
}

// Photographs each page of the options sheet from a second thread while the
// sheet runs modally on this one, then cancels it (nothing is written).
static DWORD WINAPI photographOptionsPages(void*)
{
    HWND sheet = NULL;
    for (int i = 0; i < 250 && !sheet; ++i) {
        Sleep(20);
        sheet = FindWindowA("#32770", "Huescopeのオプション");
    }
    if (!sheet)
        return 0;
    Sleep(300);
    static const char* const names[] = {"options-view", "options-send", "options-common", "options-other"};
    for (int page = 0; page < 4; ++page) {
        SendMessageA(sheet, PSM_SETCURSEL, page, 0);
        Sleep(300);
        RedrawWindow(sheet, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Sleep(200);
        capture(sheet, names[page]);
    }
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    return 0;
}

static void photographOptions(HWND owner)
{
    if (outDir.empty())
        return;
    HANDLE thread = CreateThread(NULL, 0, photographOptionsPages, NULL, 0, NULL);
    plugin.setup(owner);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
}

// The same message with its signature set apart: the key written into the
// plug-in's INI file in the mailbox, the plug-in started again so that it
// reads it (as at the host's next start), and a new viewer opened.
static void photographSignature()
{
    if (outDir.empty())
        return;
    std::string ini = std::string(hostMailbox()) + "Huescope.ini";
    WritePrivateProfileStringA("View", "SignatureChange", "1", ini.c_str());
    plugin.cleanUp();
    plugin.startUp(0);
    HWND viewer = openViewer();
    hostPump(1000);
    capture(viewer, "viewer-signature");
    DestroyWindow(viewer);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    std::string mailbox = ".\\";
    for (int i = 1; i < __argc; ++i) {
        if (strcmp(__argv[i], "--mailbox") == 0 && i + 1 < __argc)
            mailbox = __argv[++i];
        else if (strcmp(__argv[i], "--demo") == 0 && i + 1 < __argc)
            outDir = __argv[++i];
    }
    if (!mailbox.empty() && mailbox.back() != '\\' && mailbox.back() != '/')
        mailbox += '\\';
    hostSetMailbox(mailbox.c_str());
    if (!hostLoadPlugin("Huescope.dll", &plugin)) {
        fprintf(stderr, "Huescope.dll did not load\n");
        return 1;
    }
    plugin.startUp(0);
    HWND viewer = openViewer();
    HWND compose = openCompose();
    hostPump(1500);
    capture(viewer, "viewer");
    // The caret blinks: hidden for the picture, so that every run of the demo
    // takes the same one (the ruler's marker shows the caret's column).
    HideCaret(hostEditControl(compose));
    capture(compose, "compose");
    ShowCaret(hostEditControl(compose));
    photographLiveTyping(compose);
    if (chooseFirstFontPreset(viewer)) {
        hostPump(300);
        capture(viewer, "viewer-font");
    }
    photographOptions(viewer);
    photographSignature();

    if (outDir.empty()) {
        MSG msg;
        while (IsWindow(viewer) || IsWindow(compose)) {
            if (GetMessageA(&msg, NULL, 0, 0) <= 0)
                break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    DestroyWindow(viewer);
    DestroyWindow(compose);
    plugin.cleanUp();
    hostUnloadPlugin(&plugin);
    return 0;
}
