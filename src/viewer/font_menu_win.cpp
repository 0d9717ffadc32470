// The viewer's font-switch menu.
#include "shell/exports.h"
#include "shell/plugin_state.h"

// Not built yet.
HUESCOPE_EXPORT void WINAPI ZekViewInitMenu(int, HMENU, int)
{
}
