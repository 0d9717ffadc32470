// The options sheet's page procedures and the helpers they share (Win32).
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "settings/settings_keys.h"
#include "settings/settings.h"

// What sets one page apart; the procedure all four pages share does the rest
// (shows the page's keys, runs the colour dialog for its swatches and paints
// them, and applies the page).
struct PageRules {
    KeyGroup group;
    void (*refresh)(HWND page);        // the enabling rules, after a click or an edit; or NULL
    bool (*flat)(HWND page, int id);   // whether a swatch looks switched off; or NULL
    void (*apply)(HWND page);          // takes the page into the settings and saves its keys
};

extern const PageRules VIEW_PAGE, SEND_PAGE, COMMON_PAGE, OTHER_PAGE;

// The page procedure; the page record's lParam points at the page's rules.
INT_PTR CALLBACK pageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The colours the swatches show until their page is applied, so that a
// cancelled sheet leaves the settings as they were, and the colour dialog's
// custom colours.
struct SheetColours {
    COLORREF quote[5];
    COLORREF header, sendQuote, margin, ruler;
    COLORREF custom[16];
};

extern SheetColours sheetColours;

// The working colour a swatch shows, by its control identifier; NULL for
// any control that is not a swatch.
COLORREF* workingColourOf(int id);
// The working colour of a swatch of the group's page; NULL for any other
// control of that page.
COLORREF* pageSwatchColour(KeyGroup group, int id);
// Paints one colour swatch button in its working colour; flat gives the
// look of a switched-off setting.
void drawColorSwatch(DRAWITEMSTRUCT* item, bool flat);
// Runs the colour dialog for one working colour; keeps the choice on OK.
void pickColor(HWND page, COLORREF& colour);

// The switches, number fields and marker list of a page's group, shown from
// the settings.
void showPageKeys(HWND page, KeyGroup group);
// The switches and working colours of a page's group, taken into the
// settings; a page reads its number fields itself, to store them as typed.
void takePageKeys(HWND page, KeyGroup group);

// Check boxes and fields.
bool isChecked(HWND page, int id);
int checkedFlag(HWND page, int id);   // 1 when checked, otherwise 0
void checkIf(HWND page, int id, int on);
void enableControl(HWND page, int id, bool on);
void setNumberText(HWND page, int id, int value);
// Up to 9 characters of a number field, terminated; the buffer is 10 bytes.
const int NUMBER_TEXT_SIZE = 10;
void readNumberText(HWND page, int id, char (&text)[NUMBER_TEXT_SIZE]);
