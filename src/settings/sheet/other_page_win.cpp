// The Other page: the flat toolbar style of the host's windows.
#include "shell/plugin_state.h"
#include "shell/resource.h"
#include "settings/sheet/sheet.h"

static INT_PTR onOtherInit(HWND page)
{
    showPageKeys(page, OTHER_KEYS);
    return FALSE;
}

// Toolbars already on screen keep their look; the next folder or viewer
// window the host creates gets the new one.
static INT_PTR onOtherNotify(HWND page, const NMHDR* header)
{
    if (header->code == static_cast<UINT>(PSN_APPLY)) {
        takePageKeys(page, OTHER_KEYS);
        saveOtherSettings();
    }
    return TRUE;
}

INT_PTR CALLBACK otherPageProc(HWND page, UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: return onOtherInit(page);
    case WM_NOTIFY: return onOtherNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    default: return FALSE;
    }
}
