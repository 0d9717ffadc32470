// The options property sheet.
#include "shell/exports.h"
#include "shell/plugin_state.h"

// Not built yet: the sheet's four pages come with their own change.
HUESCOPE_EXPORT INT_PTR WINAPI ZekSetup(HWND)
{
    return 0;
}
