// The View page: quote and header colouring in the message viewer.
#include "shell/plugin_state.h"
#include "shell/resource.h"
#include "settings/sheet/sheet.h"

// Applied in this order, so that the last switch that turns a control off
// wins: the gradient fills depths 2 to 4 itself, depth colours need the
// level switch, and nothing of the quote group works without quote colouring.
void updateViewControls(HWND page)
{
    static const int QUOTE_GROUP[] = {IDC_VIEW_QUOTE_COLOR1, IDC_VIEW_QUOTE_COLOR2, IDC_VIEW_QUOTE_COLOR3,
                                      IDC_VIEW_QUOTE_COLOR4, IDC_VIEW_QUOTE_COLOR5, IDC_VIEW_AUTO_COLOR,
                                      IDC_VIEW_ITALIC,       IDC_VIEW_BOLD,         IDC_VIEW_LEVEL_COLOR};
    static const int MIDDLE_DEPTHS[] = {IDC_VIEW_QUOTE_COLOR2, IDC_VIEW_QUOTE_COLOR3, IDC_VIEW_QUOTE_COLOR4};
    static const int LEVEL_GROUP[] = {IDC_VIEW_QUOTE_COLOR2, IDC_VIEW_QUOTE_COLOR3, IDC_VIEW_QUOTE_COLOR4,
                                      IDC_VIEW_QUOTE_COLOR5, IDC_VIEW_AUTO_COLOR};
    bool quote = isChecked(page, IDC_VIEW_QUOTE_CHANGE);
    bool header = isChecked(page, IDC_VIEW_HEADER_CHANGE);
    bool level = isChecked(page, IDC_VIEW_LEVEL_COLOR);
    bool gradient = isChecked(page, IDC_VIEW_AUTO_COLOR);

    for (int id : QUOTE_GROUP)
        enableControl(page, id, true);
    if (gradient)
        for (int id : MIDDLE_DEPTHS)
            enableControl(page, id, false);
    if (!level)
        for (int id : LEVEL_GROUP)
            enableControl(page, id, false);
    if (!quote)
        for (int id : QUOTE_GROUP)
            enableControl(page, id, false);
    enableControl(page, IDC_VIEW_HEADER_COLOR, header);
}

// The header swatch keeps its own enabling but looks switched off whenever
// quote colouring is off too.
static bool isViewSwatchFlat(HWND page, int id)
{
    bool quote = isChecked(page, IDC_VIEW_QUOTE_CHANGE);
    bool header = isChecked(page, IDC_VIEW_HEADER_CHANGE);
    bool level = isChecked(page, IDC_VIEW_LEVEL_COLOR);
    bool gradient = isChecked(page, IDC_VIEW_AUTO_COLOR);
    switch (id) {
    case IDC_VIEW_QUOTE_COLOR1: return !quote;
    case IDC_VIEW_QUOTE_COLOR2:
    case IDC_VIEW_QUOTE_COLOR3:
    case IDC_VIEW_QUOTE_COLOR4: return !quote || !level || gradient;
    case IDC_VIEW_QUOTE_COLOR5: return !quote || !level;
    case IDC_VIEW_HEADER_COLOR: return !header || !quote;
    default: return false;
    }
}

static INT_PTR onViewInit(HWND page)
{
    centreSheet(page);
    showPageKeys(page, VIEW_KEYS);
    updateViewControls(page);
    return FALSE;
}

static INT_PTR onViewCommand(HWND page, int id, int code)
{
    if (code == BN_CLICKED && (id == IDC_VIEW_QUOTE_CHANGE || id == IDC_VIEW_HEADER_CHANGE ||
                               id == IDC_VIEW_LEVEL_COLOR || id == IDC_VIEW_AUTO_COLOR)) {
        updateViewControls(page);
        return TRUE;
    }
    if (COLORREF* colour = pageSwatchColour(VIEW_KEYS, id))
        pickColor(page, *colour);
    return FALSE;
}

static INT_PTR onViewDrawItem(HWND page, DRAWITEMSTRUCT* item)
{
    drawColorSwatch(item, isViewSwatchFlat(page, static_cast<int>(item->CtlID)));
    return FALSE;
}

static INT_PTR onViewNotify(HWND page, const NMHDR* header)
{
    if (header->code == static_cast<UINT>(PSN_APPLY)) {
        takePageKeys(page, VIEW_KEYS);
        saveViewSettings();   // also recomputes levelColors
    }
    return TRUE;
}

INT_PTR CALLBACK viewPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: return onViewInit(page);
    case WM_COMMAND: return onViewCommand(page, LOWORD(wParam), HIWORD(wParam));
    case WM_DRAWITEM: return onViewDrawItem(page, reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    case WM_NOTIFY: return onViewNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    default: return FALSE;
    }
}
