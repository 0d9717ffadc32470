// Quillpost's folder, viewer and compose windows and their menus.
#include <string.h>
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>
#include "host.h"

static const char FRAME_CLASS[] = "QuillpostFrame";
static const char PANE_CLASS[] = "QuillpostPane";

static LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        int result = 0;
        if (HIWORD(wParam) == 0 && hostRouteCommand(window, LOWORD(wParam), &result))
            return 0;
        break;
    }
    case WM_SIZE: {
        HWND first = GetWindow(window, GW_CHILD);
        HWND toolbar = hostToolbar(window);
        int top = 0;
        if (toolbar) {
            SendMessageA(toolbar, TB_AUTOSIZE, 0, 0);
            RECT r;
            GetWindowRect(toolbar, &r);
            top = r.bottom - r.top;
        }
        if (first && first != toolbar)
            MoveWindow(first, 0, top, LOWORD(lParam), HIWORD(lParam) - top, TRUE);
        return 0;
    }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static LRESULT CALLBACK paneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SIZE) {
        HWND first = GetWindow(window, GW_CHILD);
        if (first)
            MoveWindow(first, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static void registerClasses()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    LoadLibraryA("riched20.dll");
    LoadLibraryA("riched32.dll");
    WNDCLASSA wc = {};
    wc.lpfnWndProc = frameProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = FRAME_CLASS;
    RegisterClassA(&wc);
    wc.lpfnWndProc = paneProc;
    wc.lpszClassName = PANE_CLASS;
    RegisterClassA(&wc);
}

static HWND createFrame(const char* title, int x, int y, int width, int height)
{
    registerClasses();
    return CreateWindowExA(0, FRAME_CLASS, title, WS_OVERLAPPEDWINDOW, x, y, width, height, NULL, NULL,
                           GetModuleHandleA(NULL), NULL);
}

static HWND createToolbar(HWND frame)
{
    return CreateWindowExA(0, TOOLBARCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | CCS_TOP, 0, 0, 0, 0, frame,
                           reinterpret_cast<HMENU>(2), GetModuleHandleA(NULL), NULL);
}

static const char* editClassName(RichEditClass cls)
{
    return cls == RICHEDIT_10 ? "RICHEDIT" : "RichEdit20A";
}

static HWND createEdit(const char* cls, HWND parent, DWORD style)
{
    return CreateWindowExA(WS_EX_CLIENTEDGE, cls, "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | style,
                           0, 0, 100, 100, parent, reinterpret_cast<HMENU>(1), GetModuleHandleA(NULL), NULL);
}

HWND hostCreateFolderWindow(const char* title)
{
    HWND frame = createFrame(title, 0, 0, 400, 300);
    createToolbar(frame);
    return frame;
}

HWND hostCreateViewerWindow(RichEditClass cls, const char* title, int x, int y, int width, int height)
{
    HWND frame = createFrame(title, x, y, width, height);
    // The control first, so that it heads the chain of first children.
    createEdit(editClassName(cls), frame, ES_AUTOVSCROLL);
    createToolbar(frame);
    RECT r;
    GetClientRect(frame, &r);
    SendMessageA(frame, WM_SIZE, 0, MAKELPARAM(r.right, r.bottom));
    return frame;
}

HWND hostCreateComposeWindow(RichEditClass cls, const char* title, int x, int y, int width, int height, bool nested)
{
    HWND frame = createFrame(title, x, y, width, height);
    HWND parent = frame;
    if (nested)
        parent = CreateWindowExA(0, PANE_CLASS, "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, frame, NULL,
                                 GetModuleHandleA(NULL), NULL);
    // ES_NOHIDESEL: the host's compose control keeps its selection shown,
    // which is also what makes the ruler draw on RichEdit 2.0.
    createEdit(editClassName(cls), parent, ES_AUTOVSCROLL | ES_WANTRETURN | ES_NOHIDESEL);
    RECT r;
    GetClientRect(frame, &r);
    SendMessageA(frame, WM_SIZE, 0, MAKELPARAM(r.right, r.bottom));
    if (nested) {
        GetClientRect(parent, &r);
        SendMessageA(parent, WM_SIZE, 0, MAKELPARAM(r.right, r.bottom));
    }
    return frame;
}

HWND hostEditControl(HWND window)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_CHILD)) {
        char name[64] = "";
        GetClassNameA(child, name, sizeof name);
        if (strncmp(name, "RichEdit", 8) == 0 || strcmp(name, "RICHEDIT") == 0)
            return child;
    }
    return NULL;
}

HWND hostToolbar(HWND window)
{
    return FindWindowExA(window, NULL, TOOLBARCLASSNAMEA, NULL);
}

static HMENU buildMenuBar(const char* const* titles, int count)
{
    HMENU bar = CreateMenu();
    for (int i = 0; i < count; ++i) {
        HMENU sub = CreatePopupMenu();
        AppendMenuA(sub, MF_STRING, 100 + i, "(なし)");
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), titles[i]);
    }
    return bar;
}

HMENU hostBuildViewerMenuBar()
{
    static const char* const titles[] = {"ファイル(&F)", "編集(&E)", "表示(&V)", "ヘルプ(&H)"};
    return buildMenuBar(titles, 4);
}

HMENU hostBuildComposeMenuBar()
{
    static const char* const titles[] = {"ファイル(&F)", "編集(&E)", "ヘルプ(&H)"};
    return buildMenuBar(titles, 3);
}

void hostPump(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(1);
    } while (GetTickCount() - start < ms);
}
