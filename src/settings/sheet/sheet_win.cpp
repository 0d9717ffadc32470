// The options property sheet: ZekSetup, centring over the owner, and the
// control helpers the four pages share.
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include "shell/exports.h"
#include "shell/plugin_state.h"
#include "shell/resource.h"
#include "settings/sheet/sheet.h"
#include "settings/sheet/sheet_layout.h"
#include "quote/quote_depth.h"

static const char SHEET_CAPTION[] = "Huescopeのオプション";
const int PAGE_COUNT = 4;

// On the 32-bit build that the host loads, both first-version records are
// 40 bytes.
static_assert(sizeof(void*) != 4 || offsetof(PROPSHEETPAGEA, pcRefParent) + sizeof(void*) == 40,
              "40-byte page records");
static_assert(sizeof(void*) != 4 || offsetof(PROPSHEETHEADERA, pfnCallback) + sizeof(void*) == 40,
              "40-byte sheet header");

// Colour choices go to working copies until a page is applied, so that a
// cancelled sheet leaves the settings as they were.
static void fillWorkingColours()
{
    for (size_t i = 0; i < HUESCOPE_KEY_COUNT; ++i) {
        const IniKey& k = HUESCOPE_KEYS[i];
        if (k.kind == COLOR && k.control)
            *workingColourOf(k.control) = *static_cast<const uint32_t*>(k.field);
    }
}

COLORREF* pageSwatchColour(KeyGroup group, int id)
{
    for (size_t i = 0; i < HUESCOPE_KEY_COUNT; ++i) {
        const IniKey& k = HUESCOPE_KEYS[i];
        if (k.group == group && k.kind == COLOR && k.control == id)
            return workingColourOf(id);
    }
    return NULL;
}

void showPageKeys(HWND page, KeyGroup group)
{
    for (size_t i = 0; i < HUESCOPE_KEY_COUNT; ++i) {
        const IniKey& k = HUESCOPE_KEYS[i];
        if (k.group != group || !k.control)
            continue;
        if (k.kind == FLAG)
            checkIf(page, k.control, *static_cast<const int*>(k.field));
        else if (k.kind == NUMBER)
            setNumberText(page, k.control, *static_cast<const int*>(k.field));
        else if (k.kind == MARKER_TEXT)
            SetDlgItemTextA(page, k.control, quoteMarkers.list ? quoteMarkers.list : "");
    }
}

void takePageKeys(HWND page, KeyGroup group)
{
    for (size_t i = 0; i < HUESCOPE_KEY_COUNT; ++i) {
        const IniKey& k = HUESCOPE_KEYS[i];
        if (k.group != group || !k.control)
            continue;
        if (k.kind == FLAG)
            *static_cast<int*>(k.field) = checkedFlag(page, k.control);
        else if (k.kind == COLOR)
            *static_cast<uint32_t*>(k.field) = *workingColourOf(k.control);
    }
}

// The first-version record sizes keep the sheet within what every comctl32
// the host may run with understands; the tab labels come from the templates'
// captions (PSP_DEFAULT). The sheet steps through the page array by each
// record's dwSize, so the records lie packed at that size, not at
// sizeof(PROPSHEETPAGEA).
HUESCOPE_EXPORT INT_PTR WINAPI ZekSetup(HWND owner)
{
    static const struct { int templateId; const PageRules* rules; } PAGES[PAGE_COUNT] = {
        {IDD_VIEW_PAGE, &VIEW_PAGE},
        {IDD_SEND_PAGE, &SEND_PAGE},
        {IDD_COMMON_PAGE, &COMMON_PAGE},
        {IDD_OTHER_PAGE, &OTHER_PAGE},
    };
    const size_t PAGE_RECORD_SIZE = PROPSHEETPAGEA_V1_SIZE;
    fillWorkingColours();

    alignas(PROPSHEETPAGEA) BYTE pages[PAGE_COUNT * PAGE_RECORD_SIZE];
    for (int k = 0; k < PAGE_COUNT; ++k) {
        PROPSHEETPAGEA page;
        ZeroMemory(&page, sizeof page);
        page.dwSize = PAGE_RECORD_SIZE;
        page.dwFlags = PSP_DEFAULT;
        page.hInstance = state.pluginModule;
        page.pszTemplate = MAKEINTRESOURCEA(PAGES[k].templateId);
        page.pfnDlgProc = pageProc;
        page.lParam = reinterpret_cast<LPARAM>(PAGES[k].rules);
        memcpy(pages + k * PAGE_RECORD_SIZE, &page, PAGE_RECORD_SIZE);
    }

    PROPSHEETHEADERA header;
    ZeroMemory(&header, sizeof header);
    header.dwSize = PROPSHEETHEADERA_V1_SIZE;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
    header.hwndParent = owner;
    header.hInstance = state.pluginModule;
    header.pszCaption = SHEET_CAPTION;
    header.nPages = PAGE_COUNT;
    header.nStartPage = 0;
    header.ppsp = reinterpret_cast<LPCPROPSHEETPAGEA>(pages);
    return PropertySheetA(&header);
}

// Called from the start page's WM_INITDIALOG, before the sheet is first
// shown. The owner is the window ZekSetup was given; without one the sheet
// stays where the system put it.
static void centreSheet(HWND page)
{
    HWND sheet = GetParent(page);
    HWND owner = sheet ? GetParent(sheet) : NULL;
    if (!owner)
        return;
    RECT sheetRect, ownerRect;
    if (!GetWindowRect(sheet, &sheetRect) || !GetWindowRect(owner, &ownerRect))
        return;
    int sheetWidth = sheetRect.right - sheetRect.left;
    int sheetHeight = sheetRect.bottom - sheetRect.top;
    SheetPoint at = centreSheetOnOwner(ownerRect.left, ownerRect.top, ownerRect.right - ownerRect.left,
                                       ownerRect.bottom - ownerRect.top, sheetWidth, sheetHeight);
    MoveWindow(sheet, at.x, at.y, sheetWidth, sheetHeight, TRUE);
    ShowWindow(sheet, SW_RESTORE);
}

// The rules come with WM_INITDIALOG, in the page's record, and are kept with
// the page; a message before that finds none and is left to the dialog.
static INT_PTR initPage(HWND page, const PROPSHEETPAGEA* record)
{
    const PageRules* rules = reinterpret_cast<const PageRules*>(record->lParam);
    SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(rules));
    if (rules == &VIEW_PAGE)   // the start page
        centreSheet(page);
    showPageKeys(page, rules->group);
    if (rules->refresh)
        rules->refresh(page);
    return FALSE;
}

static void onPageCommand(HWND page, const PageRules& rules, int id, int code)
{
    if ((code == BN_CLICKED || code == EN_CHANGE) && rules.refresh)
        rules.refresh(page);
    if (COLORREF* colour = pageSwatchColour(rules.group, id))
        pickColor(page, *colour);
}

INT_PTR CALLBACK pageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return initPage(page, reinterpret_cast<const PROPSHEETPAGEA*>(lParam));
    const PageRules* rules = reinterpret_cast<const PageRules*>(GetWindowLongPtrA(page, DWLP_USER));
    if (!rules)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        onPageCommand(page, *rules, LOWORD(wParam), HIWORD(wParam));
        return FALSE;
    case WM_DRAWITEM: {
        DRAWITEMSTRUCT* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        drawColorSwatch(item, rules->flat && rules->flat(page, static_cast<int>(item->CtlID)));
        return FALSE;
    }
    case WM_NOTIFY:
        if (reinterpret_cast<const NMHDR*>(lParam)->code == static_cast<UINT>(PSN_APPLY))
            rules->apply(page);
        return TRUE;
    default: return FALSE;
    }
}

bool isChecked(HWND page, int id)
{
    return SendDlgItemMessageA(page, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int checkedFlag(HWND page, int id)
{
    return isChecked(page, id) ? 1 : 0;
}

void checkIf(HWND page, int id, int on)
{
    if (on)
        SendDlgItemMessageA(page, id, BM_SETCHECK, BST_CHECKED, 0);
}

void enableControl(HWND page, int id, bool on)
{
    EnableWindow(GetDlgItem(page, id), on ? TRUE : FALSE);
}

void setNumberText(HWND page, int id, int value)
{
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    SetDlgItemTextA(page, id, text);
}

// Longer entries are read as their first nine characters, which is also all
// that is stored.
void readNumberText(HWND page, int id, char (&text)[NUMBER_TEXT_SIZE])
{
    text[0] = '\0';
    SendDlgItemMessageA(page, id, WM_GETTEXT, NUMBER_TEXT_SIZE, reinterpret_cast<LPARAM>(text));
    text[NUMBER_TEXT_SIZE - 1] = '\0';
}
