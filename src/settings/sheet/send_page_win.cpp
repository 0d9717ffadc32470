// The Send page: colouring, ruler, margin line and tab conversion in the
// compose window.
#include <stdlib.h>
#include "shell/plugin_state.h"
#include "shell/resource.h"
#include "settings/sheet/sheet.h"

void updateSendQuoteControls(HWND page)
{
    bool on = isChecked(page, IDC_SEND_QUOTE_CHANGE);
    enableControl(page, IDC_SEND_QUOTE_COLOR, on);
    enableControl(page, IDC_SEND_RECOLOR_COUNT, on);
    enableControl(page, IDC_SEND_PASTE_CHANGE, on);
}

void updateRulerControls(HWND page)
{
    bool on = isChecked(page, IDC_SEND_RULER);
    enableControl(page, IDC_SEND_RULER_COLOR, on);
    enableControl(page, IDC_SEND_FLICKER, on);
}

// Column 0 (or an empty field) means no margin line, so its colour is moot.
bool updateMarginControls(HWND page)
{
    char text[NUMBER_TEXT_SIZE];
    readNumberText(page, IDC_SEND_MARGIN_LINE, text);
    bool on = atoi(text) != 0;
    enableControl(page, IDC_SEND_MARGIN_COLOR, on);
    return on;
}

static INT_PTR onSendInit(HWND page)
{
    showPageKeys(page, SEND_KEYS);
    updateSendQuoteControls(page);
    updateRulerControls(page);
    updateMarginControls(page);
    return FALSE;
}

static INT_PTR onSendCommand(HWND page, int id, int code)
{
    if (code == BN_CLICKED && id == IDC_SEND_QUOTE_CHANGE) {
        updateSendQuoteControls(page);
        return TRUE;
    }
    if (code == BN_CLICKED && id == IDC_SEND_RULER) {
        updateRulerControls(page);
        return TRUE;
    }
    if (code == EN_CHANGE) {
        updateMarginControls(page);
        return TRUE;
    }
    if (COLORREF* colour = pageSwatchColour(SEND_KEYS, id))
        pickColor(page, *colour);
    return FALSE;
}

static INT_PTR onSendDrawItem(HWND page, DRAWITEMSTRUCT* item)
{
    bool flat = false;
    switch (item->CtlID) {
    case IDC_SEND_MARGIN_COLOR: flat = !updateMarginControls(page); break;
    case IDC_SEND_RULER_COLOR: flat = !isChecked(page, IDC_SEND_RULER); break;
    case IDC_SEND_QUOTE_COLOR: flat = !isChecked(page, IDC_SEND_QUOTE_CHANGE); break;
    default: break;
    }
    drawColorSwatch(item, flat);
    return FALSE;
}

// The two numbers are stored as typed (up to nine characters), not
// re-formatted from their values.
static void applySendPage(HWND page)
{
    takePageKeys(page, SEND_KEYS);
    char marginText[NUMBER_TEXT_SIZE];
    char thresholdText[NUMBER_TEXT_SIZE];
    readNumberText(page, IDC_SEND_MARGIN_LINE, marginText);
    settings.marginColumn = atoi(marginText);
    readNumberText(page, IDC_SEND_RECOLOR_COUNT, thresholdText);
    settings.recolorThreshold = atoi(thresholdText);
    saveSendSettings(marginText, thresholdText);
}

static INT_PTR onSendNotify(HWND page, const NMHDR* header)
{
    if (header->code == static_cast<UINT>(PSN_APPLY))
        applySendPage(page);
    return TRUE;
}

INT_PTR CALLBACK sendPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: return onSendInit(page);
    case WM_COMMAND: return onSendCommand(page, LOWORD(wParam), HIWORD(wParam));
    case WM_DRAWITEM: return onSendDrawItem(page, reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    case WM_NOTIFY: return onSendNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    default: return FALSE;
    }
}
