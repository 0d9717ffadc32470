// The viewer's rich edit control hook.
#include "shell/exports.h"
#include "shell/plugin_state.h"

// Subclassing and the reading keys come with the viewer colouring change;
// for now only the toolbar style is applied.
HUESCOPE_EXPORT void WINAPI ZekViewCreate(HWND window)
{
    applyFlatToolbar(window);
}
