// The compose window's rich edit control hook.
#include "shell/exports.h"
#include "shell/plugin_state.h"

// Not built yet: only reports whether a rich edit control is there.
HUESCOPE_EXPORT int WINAPI ZekSendCreate(HWND window)
{
    return findRichEdit(window) != NULL;
}

HUESCOPE_EXPORT void WINAPI ZekSendInitMenu(int, HMENU, int)
{
}
