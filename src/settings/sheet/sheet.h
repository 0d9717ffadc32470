// The options sheet's page procedures and the helpers they share (Win32).
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "settings/settings_keys.h"

INT_PTR CALLBACK viewPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK sendPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK commonPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK otherPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Moves the sheet that holds page over the sheet's owner, if it has one.
void centreSheet(HWND page);

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

// The switches and number fields of a page's group, shown from the settings.
void showPageKeys(HWND page, KeyGroup group);
// The switches and working colours of a page's group, taken into the
// settings; a page reads its number fields itself, to store them as typed.
void takePageKeys(HWND page, KeyGroup group);

// Enabling rules of the pages.
void updateViewControls(HWND page);
void updateSendQuoteControls(HWND page);
void updateRulerControls(HWND page);
bool updateMarginControls(HWND page);

// Check boxes and fields.
bool isChecked(HWND page, int id);
int checkedFlag(HWND page, int id);   // 1 when checked, otherwise 0
void checkIf(HWND page, int id, int on);
void enableControl(HWND page, int id, bool on);
void setNumberText(HWND page, int id, int value);
// Up to 9 characters of a number field, terminated; the buffer is 10 bytes.
const int NUMBER_TEXT_SIZE = 10;
void readNumberText(HWND page, int id, char (&text)[NUMBER_TEXT_SIZE]);
