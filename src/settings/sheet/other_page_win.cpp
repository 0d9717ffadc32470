// The Other page: the flat toolbar style of the host's windows.
#include "shell/plugin_state.h"
#include "shell/resource.h"
#include "settings/sheet/sheet.h"

// Toolbars already on screen keep their look; the next folder or viewer
// window the host creates gets the new one.
static void applyOtherPage(HWND page)
{
    takePageKeys(page, OTHER_KEYS);
    saveOtherSettings();
}

const PageRules OTHER_PAGE = {OTHER_KEYS, NULL, NULL, applyOtherPage};
