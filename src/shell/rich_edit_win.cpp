// Finding the host's rich edit control, subclassing it, and the flat toolbar.
#include <string.h>
#include <windows.h>
#include <commctrl.h>
#include "shell/plugin_state.h"
#include "settings/settings.h"

// Only the chain of first children is searched: the host puts its rich edit
// control there, and siblings are never looked at. Finding a RichEdit 2.0
// control sets *isRichEdit20; a RichEdit 1.0 one leaves it as it was.
HWND findRichEdit(HWND window, int* isRichEdit20)
{
    HWND current = window;
    for (;;) {
        HWND child = GetWindow(current, GW_CHILD);
        if (!child)
            return NULL;
        char className[32] = "";
        GetClassNameA(child, className, 28);
        if (strcmp(className, "RICHEDIT") == 0)
            return child;
        if (strncmp(className, "RichEdit20", 10) == 0) {
            *isRichEdit20 = 1;
            return child;
        }
        current = child;
    }
}

// A control that already carries our procedure keeps the procedure saved for
// it: saving our own procedure would make every message recurse forever.
WNDPROC subclassControl(HWND control, WNDPROC procedure, WNDPROC previous)
{
    WNDPROC current = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(control, GWLP_WNDPROC));
    if (current == procedure)
        return previous;
    return reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}

void applyFlatToolbar(HWND window)
{
    if (!settings.flatToolbar)
        return;
    HWND toolbar = FindWindowExA(window, NULL, "ToolbarWindow32", NULL);
    if (!toolbar)
        return;
    LONG style = GetWindowLongA(toolbar, GWL_STYLE);
    if (!(style & TBSTYLE_FLAT))
        SetWindowLongA(toolbar, GWL_STYLE, style | TBSTYLE_FLAT);
}
