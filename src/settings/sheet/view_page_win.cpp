// The View page: quote and header colouring in the message viewer.
#include "shell/plugin_state.h"
#include "shell/resource.h"
#include "settings/sheet/sheet.h"

// Applied in this order, so that the last switch that turns a control off
// wins: the gradient fills depths 2 to 4 itself, depth colours need the
// level switch, and nothing of the quote group works without quote colouring.
static void updateViewControls(HWND page)
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

static void applyViewPage(HWND page)
{
    takePageKeys(page, VIEW_KEYS);
    saveViewSettings();   // also recomputes levelColors
}

const PageRules VIEW_PAGE = {VIEW_KEYS, updateViewControls, isViewSwatchFlat, applyViewPage};
