// The Send page: colouring, ruler, margin line and tab conversion in the
// compose window.
#include <stdlib.h>
#include "shell/plugin_state.h"
#include "shell/resource.h"
#include "settings/sheet/sheet.h"

// Column 0 (or an empty field) means no margin line, so its colour is moot.
static bool marginLineOn(HWND page)
{
    char text[NUMBER_TEXT_SIZE];
    readNumberText(page, IDC_SEND_MARGIN_LINE, text);
    return atoi(text) != 0;
}

static void updateSendControls(HWND page)
{
    const bool quote = isChecked(page, IDC_SEND_QUOTE_CHANGE);
    enableControl(page, IDC_SEND_QUOTE_COLOR, quote);
    enableControl(page, IDC_SEND_RECOLOR_COUNT, quote);
    enableControl(page, IDC_SEND_PASTE_CHANGE, quote);
    const bool ruler = isChecked(page, IDC_SEND_RULER);
    enableControl(page, IDC_SEND_RULER_COLOR, ruler);
    enableControl(page, IDC_SEND_FLICKER, ruler);
    enableControl(page, IDC_SEND_MARGIN_COLOR, marginLineOn(page));
}

static bool isSendSwatchFlat(HWND page, int id)
{
    switch (id) {
    case IDC_SEND_MARGIN_COLOR: return !marginLineOn(page);
    case IDC_SEND_RULER_COLOR: return !isChecked(page, IDC_SEND_RULER);
    case IDC_SEND_QUOTE_COLOR: return !isChecked(page, IDC_SEND_QUOTE_CHANGE);
    default: return false;
    }
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

const PageRules SEND_PAGE = {SEND_KEYS, updateSendControls, isSendSwatchFlat, applySendPage};
