// Finding the host's rich edit control, subclassing it, and the flat toolbar.
#include <string.h>
#include <windows.h>
#include <commctrl.h>
#include "shell/plugin_state.h"
#include "settings/settings.h"

bool isRichEdit20Class(const char* className)
{
    return strncmp(className, "RichEdit20", 10) == 0;
}

// Only the chain of first children is searched: the host puts its rich edit
// control there, and siblings are never looked at.
HWND findRichEdit(HWND window, bool* isRichEdit20)
{
    HWND current = window;
    for (;;) {
        HWND child = GetWindow(current, GW_CHILD);
        if (!child)
            return NULL;
        char className[32] = "";
        GetClassNameA(child, className, 28);
        const bool version20 = isRichEdit20Class(className);
        if (version20 || strcmp(className, "RICHEDIT") == 0) {
            if (isRichEdit20)
                *isRichEdit20 = version20;
            return child;
        }
        current = child;
    }
}

const HookedControl* hookedControl(const HookedControls* table, HWND control)
{
    for (const HookedControl& entry : table->entries)
        if (control && entry.control == control)
            return &entry;
    return NULL;
}

bool hookControl(HookedControls* table, HWND control, WNDPROC procedure, bool isRichEdit20)
{
    if (hookedControl(table, control))
        return true;
    for (HookedControl& entry : table->entries) {
        if (entry.control)
            continue;
        const WNDPROC saved = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
        if (!saved)
            return false;
        entry = HookedControl{control, saved, isRichEdit20};
        return true;
    }
    return false;
}

// A message for a control the table does not know (it cannot come, since
// only hooked controls reach the hook) gets the default answer.
LRESULT passToSaved(const HookedControls* table, HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    const HookedControl* entry = hookedControl(table, control);
    if (!entry)
        return DefWindowProcA(control, message, wParam, lParam);
    return CallWindowProcA(entry->savedProc, control, message, wParam, lParam);
}

void forgetControl(HookedControls* table, HWND control)
{
    HookedControl* entry = const_cast<HookedControl*>(hookedControl(table, control));
    if (entry)
        *entry = HookedControl{};
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
