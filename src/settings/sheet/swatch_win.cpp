// The colour swatch buttons of the option pages and the colour dialog they
// open. Every swatch shows one working colour (sheetColours).
#include "shell/plugin_state.h"
#include <commdlg.h>
#include "shell/resource.h"
#include "settings/sheet/sheet.h"

// Swatch identifiers do not clash across pages: the View page's and the
// Send page's swatches have distinct numbers, and the controls that share a
// number with a swatch on another page are never owner-drawn.
SheetColours sheetColours;

COLORREF* workingColourOf(int id)
{
    switch (id) {
    case IDC_VIEW_QUOTE_COLOR1: return &sheetColours.quote[0];
    case IDC_VIEW_QUOTE_COLOR2: return &sheetColours.quote[1];
    case IDC_VIEW_QUOTE_COLOR3: return &sheetColours.quote[2];
    case IDC_VIEW_QUOTE_COLOR4: return &sheetColours.quote[3];
    case IDC_VIEW_QUOTE_COLOR5: return &sheetColours.quote[4];
    case IDC_VIEW_HEADER_COLOR: return &sheetColours.header;
    case IDC_SEND_MARGIN_COLOR: return &sheetColours.margin;
    case IDC_SEND_RULER_COLOR: return &sheetColours.ruler;
    case IDC_SEND_QUOTE_COLOR: return &sheetColours.sendQuote;
    default: return NULL;
    }
}

// A push-button frame around a colour area. The item's rectangle is used as
// scratch space and changed in place. A pressed swatch shows its colour one
// pixel right and down, as a pressed button's face moves.
void drawColorSwatch(DRAWITEMSTRUCT* item, bool flat)
{
    const COLORREF* colour = workingColourOf(static_cast<int>(item->CtlID));
    if (!colour)
        return;
    HBRUSH fill = CreateSolidBrush(rgbOnly(*colour));

    bool focused = (item->itemState & ODS_FOCUS) || (item->itemAction & ODA_FOCUS);
    HBRUSH frame = CreateSolidBrush(focused ? RGB(0, 0, 0) : GetSysColor(COLOR_BTNFACE));
    FrameRect(item->hDC, &item->rcItem, frame);
    DeleteObject(frame);

    RECT& r = item->rcItem;
    InflateRect(&r, -1, -1);
    bool pressed = (item->itemState & ODS_SELECTED) != 0;
    UINT look = DFCS_BUTTONPUSH | DFCS_ADJUSTRECT | (pressed ? DFCS_PUSHED : 0) | (flat ? DFCS_FLAT : 0);
    DrawFrameControl(item->hDC, &r, DFC_BUTTON, look);

    r.left += 2;
    r.top += 2;
    r.right -= 3;
    r.bottom -= 3;
    if (pressed)
        OffsetRect(&r, 1, 1);
    FillRect(item->hDC, &r, fill);
    DeleteObject(fill);
}

// The dialog offers the nine working colours as its custom colours (quote
// depths 1 to 5, compose quote, header, margin, ruler) and black for the
// rest; what the user adds there is not kept.
void pickColor(HWND page, COLORREF& colour)
{
    CHOOSECOLORA choice;
    ZeroMemory(&choice, sizeof choice);
    ZeroMemory(sheetColours.custom, sizeof sheetColours.custom);
    for (int k = 0; k < 5; ++k)
        sheetColours.custom[k] = rgbOnly(sheetColours.quote[k]);
    sheetColours.custom[5] = rgbOnly(sheetColours.sendQuote);
    sheetColours.custom[6] = rgbOnly(sheetColours.header);
    sheetColours.custom[7] = rgbOnly(sheetColours.margin);
    sheetColours.custom[8] = rgbOnly(sheetColours.ruler);

    choice.lStructSize = sizeof choice;
    choice.hwndOwner = page;
    choice.rgbResult = rgbOnly(colour);
    choice.lpCustColors = sheetColours.custom;
    choice.Flags = CC_RGBINIT;
    if (ChooseColorA(&choice) == TRUE)
        colour = choice.rgbResult;
    InvalidateRect(page, NULL, TRUE);
}
