// The options property sheet under Wine: the real sheet, pages, colour
// dialog and Huescope.ini on disk. ZekSetup runs modally on the test thread;
// a watcher thread finds the sheet, reads it, drives it with the messages a
// user's clicks and typing produce, and always closes it (and any colour
// dialog) before it gives up.
#include "wine_support.h"
#include <commctrl.h>
#include <commdlg.h>
#include <colordlg.h>
#include <stdint.h>
#include <stdlib.h>
#include <algorithm>
#include <map>
#include <set>
#include "shell/resource.h"

namespace {

const char SHEET_CAPTION[] = "Huescopeのオプション";
const int APPLY_BUTTON_ID = 0x3021;
enum { VIEW_PAGE, SEND_PAGE, COMMON_PAGE, OTHER_PAGE };

// ---------------------------------------------------------------------------
// Huescope.ini as entries, and as the raw text of one section.

struct IniEntry {
    std::string section, key, value;
    bool operator==(const IniEntry& o) const { return section == o.section && key == o.key && value == o.value; }
};

std::ostream& operator<<(std::ostream& out, const IniEntry& e)
{
    return out << "[" << e.section << "] " << e.key << "=" << e.value;
}

std::vector<std::string> splitLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<IniEntry> parseIni(const std::string& bytes)
{
    std::vector<IniEntry> entries;
    std::string section;
    for (const std::string& line : splitLines(bytes)) {
        if (line.size() >= 2 && line[0] == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            entries.push_back({section, line.substr(0, eq), line.substr(eq + 1)});
    }
    return entries;
}

std::vector<IniEntry> sectionEntries(const std::string& bytes, const std::string& section)
{
    std::vector<IniEntry> out;
    for (const IniEntry& e : parseIni(bytes))
        if (e.section == section)
            out.push_back(e);
    return out;
}

// From the section's header line up to the next header, byte for byte.
std::string sectionText(const std::string& bytes, const std::string& section)
{
    std::string header = "[" + section + "]";
    size_t start = bytes.find(header);
    if (start == std::string::npos)
        return std::string();
    size_t next = bytes.find("\n[", start);
    return bytes.substr(start, next == std::string::npos ? std::string::npos : next + 1 - start);
}

std::string iniValue(const std::string& bytes, const std::string& section, const std::string& key)
{
    for (const IniEntry& e : parseIni(bytes))
        if (e.section == section && e.key == key)
            return e.value;
    return "<absent>";
}

// ---------------------------------------------------------------------------
// Driving the sheet from the watcher thread.

HWND selectPage(HWND sheet, int index)
{
    SendMessageA(sheet, PSM_SETCURSEL, index, 0);
    return reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

bool isChecked(HWND page, int id)
{
    return SendDlgItemMessageA(page, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void click(HWND page, int id)
{
    SendMessageA(GetDlgItem(page, id), BM_CLICK, 0, 0);
}

void setChecked(HWND page, int id, bool on)
{
    if (isChecked(page, id) != on)
        click(page, id);
}

bool isEnabled(HWND page, int id)
{
    return IsWindowEnabled(GetDlgItem(page, id)) != FALSE;
}

// Replaces a field's text and tells the page, as typing does.
void typeText(HWND page, int id, const char* text)
{
    HWND field = GetDlgItem(page, id);
    SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(id, EN_CHANGE), reinterpret_cast<LPARAM>(field));
}

// Real keystrokes into a field: the field itself filters and notifies.
void typeChars(HWND page, int id, const char* chars)
{
    HWND field = GetDlgItem(page, id);
    SendMessageA(field, EM_SETSEL, 0, -1);
    SendMessageA(field, WM_CLEAR, 0, 0);
    for (const char* c = chars; *c; ++c)
        SendMessageA(field, WM_CHAR, static_cast<unsigned char>(*c), 1);
}

std::string fieldText(HWND page, int id)
{
    return windowText(GetDlgItem(page, id));
}

// Posted, as a click is: the sheet's modal loop wakes for a posted message
// and then sees that the sheet has ended.
void pressOk(HWND sheet)
{
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
}

void pressCancel(HWND sheet)
{
    PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
}

// Any other visible dialog of the sheet's thread: the colour dialog.
struct DialogSearch { HWND sheet; HWND found; };

BOOL CALLBACK findOtherDialog(HWND window, LPARAM param)
{
    DialogSearch* search = reinterpret_cast<DialogSearch*>(param);
    char cls[16];
    GetClassNameA(window, cls, sizeof cls);
    if (window != search->sheet && lstrcmpA(cls, "#32770") == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND findColourDialog(HWND sheet, DWORD timeoutMs)
{
    DWORD thread = GetWindowThreadProcessId(sheet, NULL);
    DWORD start = GetTickCount();
    for (;;) {
        DialogSearch search = {sheet, NULL};
        EnumThreadWindows(thread, findOtherDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found || GetTickCount() - start >= timeoutMs)
            return search.found;
        Sleep(20);
    }
}

// Closes what an act left open, so that ZekSetup always returns.
void closeLeftovers(HWND sheet)
{
    DWORD start = GetTickCount();
    while (IsWindow(sheet) && GetTickCount() - start < 1000) {
        if (HWND dialog = findColourDialog(sheet, 0))
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        Sleep(20);
    }
    if (IsWindow(sheet))
        PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
}

// ---------------------------------------------------------------------------
// The colour dialog, read through its standard controls: the red, green and
// blue fields show the colour selected; clicking a box of the custom colour
// grid (two rows of eight) selects that custom colour.

COLORREF dialogColour(HWND dialog)
{
    UINT r = GetDlgItemInt(dialog, COLOR_RED, NULL, FALSE);
    UINT g = GetDlgItemInt(dialog, COLOR_GREEN, NULL, FALSE);
    UINT b = GetDlgItemInt(dialog, COLOR_BLUE, NULL, FALSE);
    return RGB(r, g, b);
}

COLORREF selectCustomColour(HWND dialog, int index)
{
    RECT grid;
    GetWindowRect(GetDlgItem(dialog, COLOR_CUSTOM1), &grid);
    int dx = (grid.right - grid.left) / 8, dy = (grid.bottom - grid.top) / 2;
    POINT p = {grid.left + (index % 8) * dx + 2, grid.top + (index / 8) * dy + 2};
    ScreenToClient(dialog, &p);
    SendMessageA(dialog, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    SendMessageA(dialog, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    return dialogColour(dialog);
}

// The fields follow a click only in the dialog's full size, which its
// "define custom colours" button opens.
std::vector<COLORREF> customColours(HWND dialog)
{
    SendMessageA(GetDlgItem(dialog, COLOR_MIX), BM_CLICK, 0, 0);
    std::vector<COLORREF> out;
    for (int i = 0; i < 16; ++i)
        out.push_back(selectCustomColour(dialog, i));
    return out;
}

void setDialogColour(HWND dialog, COLORREF colour)
{
    const int fields[3] = {COLOR_RED, COLOR_GREEN, COLOR_BLUE};
    const UINT values[3] = {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
    for (int k = 0; k < 3; ++k) {
        SetDlgItemInt(dialog, fields[k], values[k], FALSE);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(fields[k], EN_UPDATE),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, fields[k])));
    }
}

// Opens the colour dialog from a swatch as a mouse click would; the click is
// posted because the dialog is modal on the sheet's thread.
HWND openColourDialog(HWND sheet, HWND page, int swatch)
{
    PostMessageA(GetDlgItem(page, swatch), BM_CLICK, 0, 0);
    return findColourDialog(sheet, WAIT_CAP_MS);
}

// Presses a button of the colour dialog and waits until the sheet's thread
// is back from it: the dialog is destroyed and the sheet answers again.
bool closeColourDialog(HWND sheet, HWND dialog, int button)
{
    SendMessageA(GetDlgItem(dialog, button), BM_CLICK, 0, 0);
    DWORD start = GetTickCount();
    while (IsWindow(dialog)) {
        if (GetTickCount() - start >= WAIT_CAP_MS)
            return false;
        Sleep(10);
    }
    SendMessageA(sheet, WM_NULL, 0, 0);
    return true;
}

// ---------------------------------------------------------------------------
// Swatch drawing on a memory DC: the page's WM_DRAWITEM with a DRAWITEMSTRUCT
// built here, painted into a 32-bit DIB so that every pixel reads back exact.

const COLORREF UNTOUCHED = RGB(1, 254, 3);

struct Image {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool operator==(const Image& o) const { return width == o.width && height == o.height && pixels == o.pixels; }
};

Image drawSwatch(HWND page, int id, UINT itemState, UINT itemAction = ODA_DRAWENTIRE)
{
    HWND button = GetDlgItem(page, id);
    RECT client = {0, 0, 54, 23};
    if (button)
        GetClientRect(button, &client);
    Image image;
    image.width = client.right;
    image.height = client.bottom;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = NULL;
    HDC dc = CreateCompatibleDC(NULL);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HBRUSH background = CreateSolidBrush(UNTOUCHED);
    FillRect(dc, &client, background);
    DeleteObject(background);

    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = id;
    item.itemAction = itemAction;
    item.itemState = itemState;
    item.hwndItem = button;
    item.hDC = dc;
    item.rcItem = client;
    SendMessageA(page, WM_DRAWITEM, id, reinterpret_cast<LPARAM>(&item));
    GdiFlush();
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.pixels.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return image;
}

// The bounding box of the pixels of one colour, and how many there are.
struct Box { int left, top, right, bottom, count; };

Box colourBox(const Image& image, COLORREF colour)
{
    Box box = {image.width, image.height, -1, -1, 0};
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.at(x, y) == colour) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
                ++box.count;
            }
    return box;
}

COLORREF swatchColour(HWND page, int id)
{
    Image image = drawSwatch(page, id, 0);
    return image.at(image.width / 2, image.height / 2);
}

// ---------------------------------------------------------------------------

HWND createOwner(int x, int y, int width, int height)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = "SheetTestOwner";
    RegisterClassA(&wc);
    return CreateWindowA("SheetTestOwner", "Quillpost", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, width, height, NULL,
                         NULL, GetModuleHandleA(NULL), NULL);
}

std::string hex(COLORREF c)
{
    char text[16];
    snprintf(text, sizeof text, "0x%06lX", static_cast<unsigned long>(c));
    return text;
}

std::string decimal(COLORREF c)
{
    return std::to_string(static_cast<long>(static_cast<int32_t>(c)));
}

// Most runs pass no owner: under Xvfb without a window manager Wine spends
// about a second on every hide of a framed top-level window, and an owner
// adds two (re-activation when the sheet closes, destruction at the end).
// The runs that are about the owner (centring, the result) have one.
class Sheet : public PluginTest {
protected:
    struct Run { bool seen; INT_PTR result; };

    // ZekSetup(owner) with act driving the sheet from the watcher thread.
    Run runSheet(const std::function<void(HWND)>& act, HWND owner = NULL)
    {
        ModalWatcher watcher(SHEET_CAPTION, [&](HWND sheet) {
            act(sheet);
            closeLeftovers(sheet);
        });
        INT_PTR result = plugin.setup(owner);
        Run run = {watcher.join(), result};
        return run;
    }

    // A fresh mailbox and plug-in, for the next case of a table.
    void restart(const char* ini)
    {
        TearDown();
        SetUp();
        if (ini)
            writeIni(ini);
        start();
    }
};

// An INI with every group set away from its defaults, and one with every
// switch off, so that each displayed value is checked both ways.
const char ALL_ON_INI[] =
    "[View]\r\nChange=1\r\nHeaderChange=1\r\nColor=1122867\r\nColor2=4473924\r\nColor3=5592405\r\n"
    "Color4=6710886\r\nColor5=7829367\r\nHeaderColor=8947848\r\nBold=1\r\nItalic=1\r\nLevelColor=1\r\n"
    "AutoColor=1\r\n"
    "[Send]\r\nChange=1\r\nMarginLine=72\r\nMarginColor=10066329\r\nRuler=1\r\nRulerColor=11184810\r\n"
    "Color=12303291\r\nTabKey2Space=1\r\nTabCode2Space=1\r\nFlicker=1\r\nRecolorCount=2500\r\nPasteChange=1\r\n"
    "[Common]\r\nIgnoreSpace=1\r\nIgnoreColumn=3\r\nQuaote=6\r\nQuaoteStr=＞,#,|\r\nFlatToolBar=1\r\n";
const char ALL_OFF_INI[] =
    "[View]\r\nChange=0\r\nHeaderChange=0\r\nColor=255\r\nColor2=65280\r\nColor3=16711680\r\nColor4=65535\r\n"
    "Color5=16711935\r\nHeaderColor=16776960\r\nBold=0\r\nItalic=0\r\nLevelColor=0\r\nAutoColor=0\r\n"
    "[Send]\r\nChange=0\r\nMarginLine=0\r\nMarginColor=128\r\nRuler=0\r\nRulerColor=32768\r\nColor=8388608\r\n"
    "TabKey2Space=0\r\nTabCode2Space=0\r\nFlicker=0\r\nRecolorCount=0\r\nPasteChange=0\r\n"
    "[Common]\r\nIgnoreSpace=0\r\nIgnoreColumn=0\r\nQuaote=1\r\nQuaoteStr=>\r\nFlatToolBar=0\r\n";

// Every key away from the others: each colour and number its own, and the
// switches in a pattern whose neighbours (and the two tab switches) differ,
// then the same pattern flipped; a control reading the wrong key then shows
// the wrong value in one of the two.
const char MIXED_INI[] =
    "[View]\r\nChange=1\r\nHeaderChange=0\r\nColor=1001\r\nColor2=1002\r\nColor3=1003\r\nColor4=1004\r\n"
    "Color5=1005\r\nHeaderColor=1006\r\nBold=1\r\nItalic=0\r\nLevelColor=0\r\nAutoColor=1\r\n"
    "[Send]\r\nChange=0\r\nMarginLine=71\r\nMarginColor=1007\r\nRuler=1\r\nRulerColor=1008\r\nColor=1009\r\n"
    "TabKey2Space=1\r\nTabCode2Space=0\r\nFlicker=0\r\nRecolorCount=2501\r\nPasteChange=1\r\n"
    "[Common]\r\nIgnoreSpace=0\r\nIgnoreColumn=5\r\nQuaote=3\r\nQuaoteStr=>,#\r\nFlatToolBar=1\r\n";
// The same, every switch flipped: a "=0" line becomes "=1", a "=1" line "=0".
static std::string flippedSwitches(std::string ini)
{
    for (size_t at = ini.find('='); at != std::string::npos; at = ini.find('=', at + 1))
        if ((ini[at + 1] == '0' || ini[at + 1] == '1') && ini.compare(at + 2, 2, "\r\n") == 0)
            ini[at + 1] ^= 1;
    return ini;
}

struct Shown { int page; int id; enum { CHECK, TEXT, SWATCH } kind; const char* text; COLORREF colour; bool checked; };

void expectShown(HWND sheet, const std::vector<Shown>& table, const char* variant)
{
    for (size_t i = 0; i < table.size(); ++i) {
        const Shown& s = table[i];
        HWND page = selectPage(sheet, s.page);
        switch (s.kind) {
        case Shown::CHECK:
            EXPECT_EQ(s.checked, isChecked(page, s.id))
                << variant << " row " << i << ": page " << s.page << " control " << s.id << " expected "
                << (s.checked ? "checked" : "unchecked");
            break;
        case Shown::TEXT:
            EXPECT_EQ(s.text, fieldText(page, s.id))
                << variant << " row " << i << ": page " << s.page << " field " << s.id;
            break;
        case Shown::SWATCH: {
            COLORREF got = swatchColour(page, s.id);
            EXPECT_EQ(s.colour, got) << variant << " row " << i << ": page " << s.page << " swatch " << s.id
                                     << " expected " << hex(s.colour) << " got " << hex(got);
            break;
        }
        }
    }
}

TEST_F(Sheet, PagesShowTheCurrentSettings)
{
    const std::vector<Shown> allOn = {
        {0, 1000, Shown::CHECK, "", 0, true},         {0, 1001, Shown::CHECK, "", 0, true},
        {0, 1006, Shown::CHECK, "", 0, true},         {0, 1007, Shown::CHECK, "", 0, true},
        {0, 1011, Shown::CHECK, "", 0, true},         {0, 1014, Shown::CHECK, "", 0, true},
        {0, 1002, Shown::SWATCH, "", 1122867, false}, {0, 1004, Shown::SWATCH, "", 4473924, false},
        {0, 1005, Shown::SWATCH, "", 5592405, false}, {0, 1008, Shown::SWATCH, "", 6710886, false},
        {0, 1009, Shown::SWATCH, "", 7829367, false}, {0, 1003, Shown::SWATCH, "", 8947848, false},
        {1, 1005, Shown::CHECK, "", 0, true},         {1, 1001, Shown::CHECK, "", 0, true},
        {1, 1000, Shown::CHECK, "", 0, true},         {1, 1004, Shown::CHECK, "", 0, true},
        {1, 1002, Shown::CHECK, "", 0, true},         {1, 1011, Shown::CHECK, "", 0, true},
        {1, 1009, Shown::TEXT, "72", 0, false},       {1, 1008, Shown::TEXT, "2500", 0, false},
        {1, 1013, Shown::SWATCH, "", 12303291, false}, {1, 1010, Shown::SWATCH, "", 10066329, false},
        {1, 1012, Shown::SWATCH, "", 11184810, false}, {2, 1004, Shown::CHECK, "", 0, true},
        {2, 1008, Shown::TEXT, "＞,#,|", 0, false},   {2, 1009, Shown::TEXT, "3", 0, false},
        {3, 1014, Shown::CHECK, "", 0, true},
    };
    const std::vector<Shown> allOff = {
        {0, 1000, Shown::CHECK, "", 0, false},        {0, 1001, Shown::CHECK, "", 0, false},
        {0, 1006, Shown::CHECK, "", 0, false},        {0, 1007, Shown::CHECK, "", 0, false},
        {0, 1011, Shown::CHECK, "", 0, false},        {0, 1014, Shown::CHECK, "", 0, false},
        {0, 1002, Shown::SWATCH, "", 255, false},     {0, 1004, Shown::SWATCH, "", 65280, false},
        {0, 1005, Shown::SWATCH, "", 16711680, false}, {0, 1008, Shown::SWATCH, "", 65535, false},
        {0, 1009, Shown::SWATCH, "", 16711935, false}, {0, 1003, Shown::SWATCH, "", 16776960, false},
        {1, 1005, Shown::CHECK, "", 0, false},        {1, 1001, Shown::CHECK, "", 0, false},
        {1, 1000, Shown::CHECK, "", 0, false},        {1, 1004, Shown::CHECK, "", 0, false},
        {1, 1002, Shown::CHECK, "", 0, false},        {1, 1011, Shown::CHECK, "", 0, false},
        {1, 1009, Shown::TEXT, "0", 0, false},        {1, 1008, Shown::TEXT, "0", 0, false},
        {1, 1013, Shown::SWATCH, "", 8388608, false}, {1, 1010, Shown::SWATCH, "", 128, false},
        {1, 1012, Shown::SWATCH, "", 32768, false},   {2, 1004, Shown::CHECK, "", 0, false},
        {2, 1008, Shown::TEXT, ">", 0, false},        {2, 1009, Shown::TEXT, "0", 0, false},
        {3, 1014, Shown::CHECK, "", 0, false},
    };
    const std::vector<Shown> mixed = {
        {0, 1000, Shown::CHECK, "", 0, true},         {0, 1001, Shown::CHECK, "", 0, false},
        {0, 1006, Shown::CHECK, "", 0, false},        {0, 1007, Shown::CHECK, "", 0, true},
        {0, 1011, Shown::CHECK, "", 0, false},        {0, 1014, Shown::CHECK, "", 0, true},
        {0, 1002, Shown::SWATCH, "", 1001, false},    {0, 1004, Shown::SWATCH, "", 1002, false},
        {0, 1005, Shown::SWATCH, "", 1003, false},    {0, 1008, Shown::SWATCH, "", 1004, false},
        {0, 1009, Shown::SWATCH, "", 1005, false},    {0, 1003, Shown::SWATCH, "", 1006, false},
        {1, 1005, Shown::CHECK, "", 0, false},        {1, 1001, Shown::CHECK, "", 0, true},
        {1, 1000, Shown::CHECK, "", 0, false},        {1, 1004, Shown::CHECK, "", 0, false},
        {1, 1002, Shown::CHECK, "", 0, true},         {1, 1011, Shown::CHECK, "", 0, true},
        {1, 1009, Shown::TEXT, "71", 0, false},       {1, 1008, Shown::TEXT, "2501", 0, false},
        {1, 1013, Shown::SWATCH, "", 1009, false},    {1, 1010, Shown::SWATCH, "", 1007, false},
        {1, 1012, Shown::SWATCH, "", 1008, false},    {2, 1004, Shown::CHECK, "", 0, false},
        {2, 1008, Shown::TEXT, ">,#", 0, false},      {2, 1009, Shown::TEXT, "5", 0, false},
        {3, 1014, Shown::CHECK, "", 0, true},
    };
    const std::string flippedIni = flippedSwitches(MIXED_INI);
    std::vector<Shown> flipped = mixed;
    for (Shown& s : flipped)
        s.checked = s.kind == Shown::CHECK && !s.checked;
    struct Variant { const char* name; const char* ini; const std::vector<Shown>* table; };
    const Variant variants[] = {{"all on", ALL_ON_INI, &allOn},
                                {"all off", ALL_OFF_INI, &allOff},
                                {"mixed", MIXED_INI, &mixed},
                                {"mixed, flipped", flippedIni.c_str(), &flipped}};
    for (const Variant& v : variants) {
        restart(v.ini);
        Run run = runSheet([&](HWND sheet) {
            expectShown(sheet, *v.table, v.name);
            pressCancel(sheet);
        });
        EXPECT_TRUE(run.seen) << v.name << ": the sheet did not appear";
        EXPECT_EQ(v.ini, readFile(iniPath())) << v.name << ": looking and cancelling must not write";
    }
}

TEST_F(Sheet, OpensTitledWithFourTabsOkAndCancelButNoApply)
{
    start();
    std::vector<std::string> tabs;
    int tabCount = -1;
    std::string caption;
    bool ok = false, cancel = false, applyShown = true;
    Run run = runSheet([&](HWND sheet) {
        caption = windowText(sheet);
        HWND tab = reinterpret_cast<HWND>(SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0));
        tabCount = static_cast<int>(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < tabCount; ++i) {
            char text[128] = "";
            TCITEMA item = {};
            item.mask = TCIF_TEXT;
            item.pszText = text;
            item.cchTextMax = sizeof text;
            SendMessageA(tab, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
            tabs.push_back(text);
        }
        HWND okButton = GetDlgItem(sheet, IDOK), cancelButton = GetDlgItem(sheet, IDCANCEL);
        ok = okButton && IsWindowVisible(okButton);
        cancel = cancelButton && IsWindowVisible(cancelButton);
        HWND apply = GetDlgItem(sheet, APPLY_BUTTON_ID);
        applyShown = apply && IsWindowVisible(apply);
        pressCancel(sheet);
    });
    ASSERT_TRUE(run.seen);
    EXPECT_EQ(SHEET_CAPTION, caption);
    ASSERT_EQ(4, tabCount);
    const char* expected[4] = {"メールViewウィンドウ", "メール送信ウィンドウ", "共通", "その他"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(expected[i], tabs[i]) << "tab " << i;
    EXPECT_TRUE(ok) << "OK button";
    EXPECT_TRUE(cancel) << "Cancel button";
    EXPECT_FALSE(applyShown) << "there is no Apply button";
    EXPECT_EQ(0, run.result) << "Cancel: PropertySheetA's result is passed back";
}

TEST_F(Sheet, ReturnsPropertySheetResultOnOk)
{
    start();
    HWND owner = track(createOwner(100, 80, 700, 520));
    Run run = runSheet([&](HWND sheet) { pressOk(sheet); }, owner);
    ASSERT_TRUE(run.seen);
    EXPECT_GT(run.result, 0) << "OK on a modal sheet gives a positive result";
}

// The expected corner, worked out here the long way: round the left edge
// down to a multiple of 8 by division, not by clearing bits.
int roundDownTo8(int v)
{
    return v >= 0 ? v / 8 * 8 : -((-v + 7) / 8) * 8;
}

TEST_F(Sheet, CentresOnTheOwnerWithTheLeftEdgeOnAMultipleOf8)
{
    start();
    struct Case { int x, y, w, h; };
    const Case owners[] = {{101, 50, 800, 600}, {-300, 200, 200, 150}, {333, 17, 641, 479}};
    for (size_t i = 0; i < sizeof owners / sizeof owners[0]; ++i) {
        const Case& c = owners[i];
        HWND ownerWindow = track(createOwner(c.x, c.y, c.w, c.h));
        RECT ownerRect = {}, sheetRect = {};
        Run run = runSheet(
            [&](HWND sheet) {
                GetWindowRect(ownerWindow, &ownerRect);
                GetWindowRect(sheet, &sheetRect);
                pressCancel(sheet);
            },
            ownerWindow);
        ASSERT_TRUE(run.seen) << "case " << i;
        int ow = ownerRect.right - ownerRect.left, oh = ownerRect.bottom - ownerRect.top;
        int sw = sheetRect.right - sheetRect.left, sh = sheetRect.bottom - sheetRect.top;
        EXPECT_EQ(c.x, ownerRect.left) << "case " << i << ": the owner should be where it was put";
        int x = roundDownTo8((ow - sw) / 2 + ownerRect.left + 4);
        int y = (oh - sh) / 2 + ownerRect.top;
        EXPECT_EQ(x, sheetRect.left) << "case " << i << ": owner " << ownerRect.left << "," << ownerRect.top
                                     << " " << ow << "x" << oh << ", sheet " << sw << "x" << sh;
        EXPECT_EQ(y, sheetRect.top) << "case " << i;
        EXPECT_EQ(0, sheetRect.left % 8) << "case " << i;
        DestroyWindow(ownerWindow);
    }
}

TEST_F(Sheet, OpensWithoutAnOwner)
{
    start();
    bool visible = false;
    Run run = runSheet([&](HWND sheet) {
        visible = IsWindowVisible(sheet) != FALSE;
        pressCancel(sheet);
    }, NULL);
    EXPECT_TRUE(run.seen);
    EXPECT_TRUE(visible);
}

// ---------------------------------------------------------------------------
// The templates, as built into the DLL and as created on screen.

const DWORD CHILD = WS_CHILD | WS_VISIBLE;
const DWORD CHECK = CHILD | BS_AUTOCHECKBOX | WS_TABSTOP;
const DWORD SWATCH = CHILD | BS_OWNERDRAW | WS_TABSTOP;
const DWORD NUMBER = CHILD | ES_NUMBER | WS_BORDER | WS_TABSTOP;
const DWORD LABEL = CHILD | SS_LEFT | WS_GROUP;

struct ControlLayout { int id; const char* cls; DWORD style; short x, y, w, h; const char* text; };
struct PageLayout { int templateId; const char* caption; short w, h; std::vector<ControlLayout> controls; };

const std::vector<PageLayout>& pageLayouts()
{
    static const std::vector<PageLayout> layouts = {
        {102, "メールViewウィンドウ", 258, 127, {
            {1000, "Button", CHECK, 5, 10, 82, 10, "引用文の色を変更する"},
            {-1, "Static", LABEL, 19, 28, 32, 8, "引用文(&Q):"},
            {1002, "Button", SWATCH, 60, 25, 36, 14, ""},
            {1006, "Button", CHECK, 60, 67, 43, 10, "イタリック"},
            {1007, "Button", CHECK, 104, 67, 41, 10, "ボールド"},
            {1001, "Button", CHECK, 5, 84, 86, 10, "ヘッダーの色を変更する"},
            {-1, "Static", LABEL, 19, 102, 36, 8, "ヘッダー(&H):"},
            {1003, "Button", SWATCH, 60, 99, 36, 14, ""},
            {-1, "Static", LABEL, 108, 102, 61, 8, "※ Subject: だけです"},
            {1004, "Button", SWATCH, 99, 25, 36, 14, ""},
            {1005, "Button", SWATCH, 138, 25, 36, 14, ""},
            {1008, "Button", SWATCH, 177, 25, 36, 14, ""},
            {1009, "Button", SWATCH, 216, 25, 36, 14, ""},
            {1011, "Button", CHECK, 60, 54, 93, 10, "引用回数ごとに色をかえる"},
            {-1, "Static", LABEL, 107, 41, 88, 8, "(少ない ← 引用回数 → 多い)"},
            {1014, "Button", CHECK, 209, 42, 43, 10, "自動配色"},
        }},
        {103, "メール送信ウィンドウ", 259, 181, {
            {1005, "Button", CHECK, 5, 10, 82, 10, "引用文の色を変更する"},
            {-1, "Static", LABEL, 19, 27, 32, 8, "引用文(&Q):"},
            {1013, "Button", SWATCH, 60, 23, 36, 14, ""},
            {1009, "Edit", NUMBER, 5, 76, 15, 12, ""},
            {-1, "Static", LABEL, 23, 78, 95, 8, "桁目にマージンラインを表示する"},
            {-1, "Static", LABEL, 123, 78, 67, 8, "※ 表示しない場合は０"},
            {-1, "Static", LABEL, 28, 93, 54, 8, "マージンライン(&M):"},
            {1010, "Button", SWATCH, 86, 91, 36, 14, ""},
            {1011, "Button", CHECK, 5, 110, 74, 10, "ルーラーを表示する"},
            {-1, "Static", LABEL, 28, 123, 38, 8, "ルーラー(&R):"},
            {1012, "Button", SWATCH, 86, 119, 36, 14, ""},
            {1000, "Button", CHECK, 5, 141, 101, 10, "タブをスペースに変換する(&H)"},
            {1001, "Button", CHECK, 5, 157, 114, 10, "タブキーでスペースを入力する(&T)"},
            {1004, "Button", CHECK, 137, 121, 64, 10, "ちらつきを抑える"},
            {-1, "Static", LABEL, 19, 44, 28, 8, "本文が約"},
            {1008, "Edit", NUMBER, 48, 42, 25, 12, ""},
            {-1, "Static", LABEL, 76, 44, 115, 8, "文字以上の場合は再配色で色づけする"},
            {1002, "Button", CHECK, 19, 59, 236, 10, "貼付時に色づけする（Windows2000/XPでは元に戻すの動きが変になります）"},
        }},
        {104, "共通", 195, 127, {
            {-1, "Static", LABEL, 5, 10, 37, 8, "引用記号(&K):"},
            {1008, "Edit", CHILD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 45, 8, 64, 12, ""},
            {1004, "Button", CHECK, 45, 41, 104, 10, "先頭の半角スペースを無視(&S)"},
            {-1, "Static", LABEL, 45, 26, 132, 8, "※ 複数指定する時はカンマ(\",\")で区切ります"},
            {1009, "Edit", NUMBER | ES_AUTOHSCROLL, 45, 57, 15, 12, ""},
            {-1, "Static", LABEL, 63, 59, 95, 8, "桁目以降は引用記号としない(&C)"},
            {-1, "Static", LABEL, 65, 75, 103, 8, "※ すべて引用記号とする場合は ０"},
        }},
        {105, "その他", 195, 127, {
            {1014, "Button", CHECK, 5, 10, 95, 10, "ツールバーをフラットにする"},
            {-1, "Static", LABEL, 105, 11, 84, 8, "※ 要 Comctl32 Ver4.72以降"},
        }},
    };
    return layouts;
}

// A classic DLGTEMPLATE read back field by field, with bounds checked.
struct TemplateReader {
    const BYTE* data;
    size_t size, at;
    bool ok;
    WORD word()
    {
        if (at + 2 > size) { ok = false; return 0; }
        WORD w = static_cast<WORD>(data[at] | (data[at + 1] << 8));
        at += 2;
        return w;
    }
    DWORD dword() { DWORD lo = word(); return lo | (static_cast<DWORD>(word()) << 16); }
    std::wstring wideString()
    {
        std::wstring s;
        for (WORD w = word(); ok && w; w = word())
            s += static_cast<wchar_t>(w);
        return s;
    }
    // A string or an ordinal (0xFFFF followed by the number).
    std::string nameOrOrdinal()
    {
        WORD first = word();
        if (first == 0xFFFF) {
            WORD ordinal = word();
            switch (ordinal) {
            case 0x80: return "Button";
            case 0x81: return "Edit";
            case 0x82: return "Static";
            default: return "#" + std::to_string(ordinal);
            }
        }
        at -= 2;
        return toCp932(wideString());
    }
    void alignDword() { at = (at + 3) & ~static_cast<size_t>(3); }
    static std::string toCp932(const std::wstring& w)
    {
        if (w.empty())
            return std::string();
        char buffer[512];
        int n = WideCharToMultiByte(932, 0, w.c_str(), static_cast<int>(w.size()), buffer, sizeof buffer, NULL, NULL);
        return std::string(buffer, n > 0 ? n : 0);
    }
};

struct ParsedItem { DWORD style, exStyle; short x, y, w, h; int id; std::string cls, text; };
struct ParsedTemplate {
    bool found = false, extended = false, ok = false;
    DWORD style = 0, exStyle = 0;
    short x = 0, y = 0, w = 0, h = 0;
    std::string menu, cls, caption, face;
    WORD pointSize = 0;
    std::vector<ParsedItem> items;
};

ParsedTemplate readTemplate(HMODULE module, int id)
{
    ParsedTemplate t;
    HRSRC info = FindResourceExA(module, reinterpret_cast<LPCSTR>(RT_DIALOG), MAKEINTRESOURCEA(id),
                                 MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
    if (!info)
        return t;
    t.found = true;
    HGLOBAL loaded = LoadResource(module, info);
    TemplateReader r = {static_cast<const BYTE*>(LockResource(loaded)), SizeofResource(module, info), 0, true};
    if (r.size >= 4 && r.data[2] == 0xFF && r.data[3] == 0xFF) {
        t.extended = true;
        return t;
    }
    t.style = r.dword();
    t.exStyle = r.dword();
    WORD count = r.word();
    t.x = r.word(); t.y = r.word(); t.w = r.word(); t.h = r.word();
    t.menu = r.nameOrOrdinal();
    t.cls = r.nameOrOrdinal();
    t.caption = TemplateReader::toCp932(r.wideString());
    if (t.style & DS_SETFONT) {
        t.pointSize = r.word();
        t.face = TemplateReader::toCp932(r.wideString());
    }
    for (WORD i = 0; i < count && r.ok; ++i) {
        r.alignDword();
        ParsedItem item;
        item.style = r.dword();
        item.exStyle = r.dword();
        item.x = r.word(); item.y = r.word(); item.w = r.word(); item.h = r.word();
        item.id = static_cast<short>(r.word());
        item.cls = r.nameOrOrdinal();
        item.text = r.nameOrOrdinal();
        WORD extra = r.word();
        r.at += extra;
        t.items.push_back(item);
    }
    t.ok = r.ok;
    return t;
}

TEST_F(Sheet, TemplatesAsBuiltMatchTheLayoutTables)
{
    start();
    const DWORD PAGE_STYLE = WS_CHILD | WS_DISABLED | WS_CAPTION | DS_SETFONT;
    for (const PageLayout& layout : pageLayouts()) {
        ParsedTemplate t = readTemplate(plugin.module, layout.templateId);
        ASSERT_TRUE(t.found) << "template " << layout.templateId << " in language 1041";
        ASSERT_FALSE(t.extended) << "template " << layout.templateId << " must be a classic DIALOG";
        ASSERT_TRUE(t.ok) << "template " << layout.templateId << " is cut short";
        EXPECT_EQ(PAGE_STYLE, t.style) << "template " << layout.templateId << std::hex << " style 0x" << t.style;
        EXPECT_EQ(0u, t.exStyle) << "template " << layout.templateId;
        EXPECT_EQ(layout.w, t.w) << "template " << layout.templateId << " width";
        EXPECT_EQ(layout.h, t.h) << "template " << layout.templateId << " height";
        EXPECT_EQ(layout.caption, t.caption) << "template " << layout.templateId;
        EXPECT_EQ(9, t.pointSize) << "template " << layout.templateId;
        EXPECT_EQ("ＭＳ Ｐゴシック", t.face) << "template " << layout.templateId;
        EXPECT_EQ("", t.menu);
        EXPECT_EQ("", t.cls);
        ASSERT_EQ(layout.controls.size(), t.items.size()) << "template " << layout.templateId << " control count";
        for (size_t i = 0; i < layout.controls.size(); ++i) {
            const ControlLayout& c = layout.controls[i];
            const ParsedItem& got = t.items[i];
            std::string where = "template " + std::to_string(layout.templateId) + " control #" + std::to_string(i) +
                                " (id " + std::to_string(c.id) + ")";
            EXPECT_EQ(c.id, got.id) << where;
            EXPECT_EQ(c.cls, got.cls) << where;
            EXPECT_EQ(c.style, got.style) << where << std::hex << ": expected style 0x" << c.style << " got 0x"
                                          << got.style;
            EXPECT_EQ(0u, got.exStyle) << where;
            EXPECT_EQ(c.x, got.x) << where << " x";
            EXPECT_EQ(c.y, got.y) << where << " y";
            EXPECT_EQ(c.w, got.w) << where << " width";
            EXPECT_EQ(c.h, got.h) << where << " height";
            EXPECT_EQ(c.text, got.text) << where << " text";
        }
    }
}

// The controls as the pages create them: in template order (which is the
// tab order), with their classes, texts, kinds and places in dialog units.
TEST_F(Sheet, CreatedControlsFollowTheTablesInOrderAndPlace)
{
    start();
    Run run = runSheet([&](HWND sheet) {
        int index = 0;
        for (const PageLayout& layout : pageLayouts()) {
            HWND page = selectPage(sheet, index++);
            ASSERT_TRUE(page != NULL) << "page " << layout.templateId;
            HWND child = GetWindow(page, GW_CHILD);
            for (size_t i = 0; i < layout.controls.size(); ++i, child = GetWindow(child, GW_HWNDNEXT)) {
                const ControlLayout& c = layout.controls[i];
                std::string where = "page " + std::to_string(layout.templateId) + " control #" + std::to_string(i);
                ASSERT_TRUE(child != NULL) << where << " missing";
                EXPECT_EQ(static_cast<WORD>(c.id), static_cast<WORD>(GetDlgCtrlID(child))) << where;
                char cls[32];
                GetClassNameA(child, cls, sizeof cls);
                EXPECT_EQ(0, lstrcmpiA(c.cls, cls)) << where << ": class " << cls;
                DWORD kindBits = WS_TABSTOP | WS_GROUP | WS_CHILD | 0xFFFF;
                DWORD style = static_cast<DWORD>(GetWindowLongPtrA(child, GWL_STYLE));
                EXPECT_EQ(c.style & kindBits, style & kindBits)
                    << where << std::hex << ": expected 0x" << (c.style & kindBits) << " got 0x" << (style & kindBits);
                // Position and size convert separately, as the dialog
                // manager places controls: map {x, y, w, h} field by field.
                RECT expected = {c.x, c.y, c.w, c.h};
                MapDialogRect(page, &expected);
                RECT got;
                GetWindowRect(child, &got);
                MapWindowPoints(NULL, page, reinterpret_cast<POINT*>(&got), 2);
                EXPECT_EQ(expected.left, got.left) << where;
                EXPECT_EQ(expected.top, got.top) << where;
                EXPECT_EQ(expected.right, got.right - got.left) << where << " width";
                EXPECT_EQ(expected.bottom, got.bottom - got.top) << where << " height";
                if (lstrcmpiA(c.cls, "Edit") != 0) {
                    EXPECT_EQ(c.text, windowText(child)) << where;
                }
            }
            EXPECT_TRUE(child == NULL) << "page " << layout.templateId << " has more controls than its table";
        }
        pressCancel(sheet);
    });
    EXPECT_TRUE(run.seen);
}

// ---------------------------------------------------------------------------
// Enabling and the flat look of the swatches.

// Uniform colours, so that swatch pictures can be compared with each other.
const char UNIFORM_INI[] =
    "[View]\r\nColor=3368652\r\nHeaderColor=3368652\r\n"
    "[Send]\r\nColor=3368652\r\nMarginColor=3368652\r\nRulerColor=3368652\r\nMarginLine=5\r\n";

TEST_F(Sheet, ViewPageEnablingHoldsForEverySwitchCombination)
{
    writeIni(UNIFORM_INI);
    start();
    const int controls[] = {1002, 1004, 1005, 1008, 1009, 1014, 1006, 1007, 1011, 1003};
    const int swatches[] = {1002, 1004, 1005, 1008, 1009, 1003};
    Run run = runSheet([&](HWND sheet) {
        HWND page = selectPage(sheet, VIEW_PAGE);
        // Reference looks from the combination "everything off" and "everything on".
        setChecked(page, 1000, true);
        Image normal = drawSwatch(page, 1002, 0);
        setChecked(page, 1000, false);
        Image flat = drawSwatch(page, 1002, 0);
        EXPECT_FALSE(normal == flat) << "a flat swatch must look different";
        EXPECT_GT(colourBox(flat, 3368652).count, 0) << "a flat swatch still shows its colour";

        for (int combo = 0; combo < 16; ++combo) {
            bool q = combo & 1, h = combo & 2, l = combo & 4, a = combo & 8;
            // The gradient switch can only be clicked while it is enabled.
            setChecked(page, 1000, true);
            setChecked(page, 1011, true);
            setChecked(page, 1014, a);
            setChecked(page, 1011, l);
            setChecked(page, 1000, q);
            setChecked(page, 1001, h);
            ASSERT_EQ(a, isChecked(page, 1014)) << "combo " << combo;
            std::map<int, bool> enabled = {
                {1002, q}, {1004, q && l && !a}, {1005, q && l && !a}, {1008, q && l && !a}, {1009, q && l},
                {1014, q && l}, {1006, q}, {1007, q}, {1011, q}, {1003, h},
            };
            std::map<int, bool> flatLook = {
                {1002, !q}, {1004, !q || !l || a}, {1005, !q || !l || a}, {1008, !q || !l || a},
                {1009, !q || !l}, {1003, !h || !q},
            };
            for (int id : controls)
                EXPECT_EQ(enabled[id], isEnabled(page, id))
                    << "Q" << q << " H" << h << " L" << l << " A" << a << ": control " << id << " expected "
                    << (enabled[id] ? "enabled" : "disabled");
            for (int id : swatches) {
                Image look = drawSwatch(page, id, 0);
                EXPECT_TRUE(look == (flatLook[id] ? flat : normal))
                    << "Q" << q << " H" << h << " L" << l << " A" << a << ": swatch " << id << " expected "
                    << (flatLook[id] ? "flat" : "raised");
            }
        }
        pressCancel(sheet);
    });
    EXPECT_TRUE(run.seen);
}

TEST_F(Sheet, SendPageEnablingFollowsItsSwitchesAndTheMarginField)
{
    writeIni(UNIFORM_INI);
    start();
    Run run = runSheet([&](HWND sheet) {
        HWND page = selectPage(sheet, SEND_PAGE);
        setChecked(page, 1005, true);
        Image normal = drawSwatch(page, 1013, 0);
        setChecked(page, 1005, false);
        Image flat = drawSwatch(page, 1013, 0);
        EXPECT_FALSE(normal == flat);
        for (int combo = 0; combo < 4; ++combo) {
            bool quote = combo & 1, ruler = combo & 2;
            setChecked(page, 1005, quote);
            setChecked(page, 1011, ruler);
            const struct { int id; bool on; } rows[] = {
                {1013, quote}, {1008, quote}, {1002, quote}, {1012, ruler}, {1004, ruler},
            };
            for (const auto& row : rows)
                EXPECT_EQ(row.on, isEnabled(page, row.id))
                    << "quote " << quote << " ruler " << ruler << ": control " << row.id;
            EXPECT_TRUE(drawSwatch(page, 1013, 0) == (quote ? normal : flat)) << "quote " << quote;
            EXPECT_TRUE(drawSwatch(page, 1012, 0) == (ruler ? normal : flat)) << "ruler " << ruler;
        }
        const struct { const char* text; bool on; } margins[] = {
            {"", false}, {"0", false}, {"000", false}, {"7", true}, {"12", true}, {"0", false},
            {"12a", true}, {"abc", false}, {"999999999", true},
        };
        for (const auto& m : margins) {
            typeText(page, 1009, m.text);
            EXPECT_EQ(m.on, isEnabled(page, 1010)) << "margin \"" << m.text << "\"";
            EXPECT_TRUE(drawSwatch(page, 1010, 0) == (m.on ? normal : flat)) << "margin \"" << m.text << "\"";
        }
        // Typed for real: the field takes digits only and its own EN_CHANGE
        // updates the swatch.
        typeChars(page, 1009, "0");
        EXPECT_FALSE(isEnabled(page, 1010));
        typeChars(page, 1009, "-1x2");
        EXPECT_EQ("12", fieldText(page, 1009)) << "a minus sign or a letter cannot be typed";
        EXPECT_TRUE(isEnabled(page, 1010)) << "typing a non-zero column enables the margin swatch";
        typeChars(page, 1009, "");
        EXPECT_FALSE(isEnabled(page, 1010)) << "clearing the field disables it";
        pressCancel(sheet);
    });
    EXPECT_TRUE(run.seen);
}

// ---------------------------------------------------------------------------
// Swatch drawing.

TEST_F(Sheet, SwatchShowsItsWorkingColourAndShiftsWhenPressed)
{
    writeIni(ALL_ON_INI);
    start();
    Run run = runSheet([&](HWND sheet) {
        HWND page = selectPage(sheet, VIEW_PAGE);
        const COLORREF colour = 1122867;   // [View] Color
        Image up = drawSwatch(page, 1002, 0);
        Image down = drawSwatch(page, 1002, ODS_SELECTED);
        Box a = colourBox(up, colour), b = colourBox(down, colour);
        ASSERT_GT(a.count, 0) << "the colour area is drawn";
        EXPECT_EQ(a.count, (a.right - a.left) * (a.bottom - a.top)) << "one solid rectangle";
        EXPECT_GT(a.left, 1);
        EXPECT_LT(a.right, up.width - 1);
        EXPECT_EQ(a.left + 1, b.left) << "pressed: one pixel right";
        EXPECT_EQ(a.top + 1, b.top) << "pressed: one pixel down";
        EXPECT_EQ(a.right + 1, b.right);
        EXPECT_EQ(a.bottom + 1, b.bottom);
        EXPECT_EQ(a.count, b.count) << "same size";

        // The outer frame: black with the focus, the button face without.
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        EXPECT_EQ(face, up.at(0, 0));
        EXPECT_EQ(face, up.at(up.width - 1, up.height - 1));
        EXPECT_EQ(RGB(0, 0, 0), drawSwatch(page, 1002, ODS_FOCUS).at(0, 0)) << "focused item";
        EXPECT_EQ(RGB(0, 0, 0), drawSwatch(page, 1002, 0, ODA_FOCUS).at(0, 0)) << "focus action";

        // Not a swatch: nothing is drawn.
        Image none = drawSwatch(page, 1000, 0);
        EXPECT_EQ(static_cast<size_t>(colourBox(none, UNTOUCHED).count), none.pixels.size());
        pressCancel(sheet);
    });
    EXPECT_TRUE(run.seen);
}

// ---------------------------------------------------------------------------
// OK and Cancel: what reaches Huescope.ini.

const char SEEDED_INI[] =
    "[View]\r\nChange=1\r\nColor=255\r\nColor2=33023\r\nColor5=16711680\r\nLevelColor=1\r\n"
    "LevelRepeat=1\r\nSignatureChange=1\r\nSignatureColor=65535\r\n"
    "[Send]\r\nChange=0\r\nMarginLine=40\r\nColor=65280\r\nRecolorCount=1500\r\nLevelColor=1\r\n"
    "[Common]\r\nIgnoreSpace=0\r\nQuaote=3\r\nQuaoteStr=>,#\r\nIgnoreColumn=2\r\nFlatToolBar=1\r\nTab=4\r\n"
    "[Font]\r\nNum=1\r\nFontTitle1=明朝\r\nFontName1=ＭＳ 明朝\r\nFontSize1=120\r\nCharSet1=128\r\n";

TEST_F(Sheet, OkAfterOnlyTheViewPageWritesOnlyTheViewGroup)
{
    writeIni(SEEDED_INI);
    writeMailboxIni("[Editor]\r\nTextColor=0\r\n");
    start();
    Run run = runSheet([&](HWND sheet) {
        HWND page = selectPage(sheet, VIEW_PAGE);
        click(page, 1007);   // bold on
        click(page, 1014);   // gradient on
        WritePrivateProfileStringA("View", "SignatureChange", "0", iniPath().c_str());   // by hand, meanwhile
        pressOk(sheet);
    });
    ASSERT_TRUE(run.seen);
    std::string after = readFile(iniPath());
    for (const char* section : {"Send", "Common", "Font"})
        EXPECT_EQ(sectionText(SEEDED_INI, section), sectionText(after, section)) << "[" << section << "] changed";
    EXPECT_EQ("[Editor]\r\nTextColor=0\r\n", readFile(mailboxIniPath())) << "Mailbox.ini is never written";
    const std::vector<IniEntry> expected = {
        {"View", "Change", "1"},         {"View", "Color", "255"},        {"View", "Color2", "33023"},
        {"View", "Color5", "16711680"},  {"View", "LevelColor", "1"},     {"View", "HeaderChange", "1"},
        {"View", "Italic", "0"},         {"View", "Bold", "1"},           {"View", "AutoColor", "1"},
        {"View", "Color3", "33023"},     {"View", "Color4", "33023"},     {"View", "HeaderColor", "8421504"},
        // Not on the page, and kept as they are in the file.
        {"View", "LevelRepeat", "1"},    {"View", "SignatureChange", "0"}, {"View", "SignatureColor", "65535"},
    };
    std::vector<IniEntry> got = sectionEntries(after, "View");
    std::sort(got.begin(), got.end(), [](const IniEntry& x, const IniEntry& y) { return x.key < y.key; });
    std::vector<IniEntry> want = expected;
    std::sort(want.begin(), want.end(), [](const IniEntry& x, const IniEntry& y) { return x.key < y.key; });
    EXPECT_EQ(want, got);

    // The settings in memory changed with the file: a second sheet shows them.
    bool bold = false, gradient = false;
    runSheet([&](HWND sheet) {
        HWND page = selectPage(sheet, VIEW_PAGE);
        bold = isChecked(page, 1007);
        gradient = isChecked(page, 1014);
        pressCancel(sheet);
    });
    EXPECT_TRUE(bold);
    EXPECT_TRUE(gradient);
}

// Which keys an OK writes, by the pages that were opened. The start page is
// always among them.
TEST_F(Sheet, OkWritesTheGroupOfEveryPageOpenedAndNoOther)
{
    const std::vector<std::string> viewKeys = {"Change", "HeaderChange", "Italic", "Bold", "LevelColor", "AutoColor",
                                               "Color", "Color2", "Color3", "Color4", "Color5", "HeaderColor"};
    const std::vector<std::string> sendKeys = {"Change", "Ruler", "TabKey2Space", "TabCode2Space", "Flicker",
                                               "PasteChange", "MarginColor", "RulerColor", "Color", "MarginLine",
                                               "RecolorCount"};
    const std::vector<std::string> commonKeys = {"IgnoreSpace", "Quaote", "QuaoteStr", "IgnoreColumn"};
    const std::vector<std::string> otherKeys = {"FlatToolBar"};
    struct Case { std::vector<int> visits; bool send, common, other; };
    const Case cases[] = {
        {{}, false, false, false},
        {{SEND_PAGE}, true, false, false},
        {{COMMON_PAGE}, false, true, false},
        {{OTHER_PAGE}, false, false, true},
        {{OTHER_PAGE, COMMON_PAGE, SEND_PAGE}, true, true, true},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        restart(NULL);
        Run run = runSheet([&](HWND sheet) {
            for (int page : c.visits)
                selectPage(sheet, page);
            selectPage(sheet, VIEW_PAGE);
            pressOk(sheet);
        });
        ASSERT_TRUE(run.seen) << "case " << i;
        std::vector<IniEntry> expected;
        for (const std::string& k : viewKeys)
            expected.push_back({"View", k, ""});
        if (c.send)
            for (const std::string& k : sendKeys)
                expected.push_back({"Send", k, ""});
        if (c.common)
            for (const std::string& k : commonKeys)
                expected.push_back({"Common", k, ""});
        if (c.other)
            for (const std::string& k : otherKeys)
                expected.push_back({"Common", k, ""});
        std::vector<IniEntry> got = parseIni(readFile(iniPath()));
        std::set<std::string> gotKeys, wantKeys;
        for (const IniEntry& e : got)
            gotKeys.insert(e.section + "." + e.key);
        for (const IniEntry& e : expected)
            wantKeys.insert(e.section + "." + e.key);
        EXPECT_EQ(wantKeys, gotKeys) << "case " << i;
        // Within each group, the keys come in the order they are written.
        std::vector<std::string> viewOrder;
        for (const IniEntry& e : got)
            if (e.section == "View")
                viewOrder.push_back(e.key);
        EXPECT_EQ(viewKeys, viewOrder) << "case " << i;
    }
}

TEST_F(Sheet, OkAfterAllPagesWritesEachGroupAsTyped)
{
    // A key that no page shows, already in the file: it keeps its place and value.
    writeIni("[Send]\r\nLevelColor=1\r\n");
    start();
    Run run = runSheet([&](HWND sheet) {
        HWND view = selectPage(sheet, VIEW_PAGE);
        click(view, 1006);        // italic on
        click(view, 1001);        // header colouring off
        HWND send = selectPage(sheet, SEND_PAGE);
        typeText(send, 1009, "12");
        typeText(send, 1008, "3000");
        click(send, 1011);        // ruler on
        click(send, 1004);        // flicker on (enabled by the ruler)
        click(send, 1001);        // tab key on
        click(send, 1002);        // colour on paste off
        HWND common = selectPage(sheet, COMMON_PAGE);
        typeText(common, 1008, "＃,>");
        click(common, 1004);      // ignore leading spaces off
        typeText(common, 1009, "4");
        HWND other = selectPage(sheet, OTHER_PAGE);
        click(other, 1014);       // flat toolbar on
        pressOk(sheet);
    });
    ASSERT_TRUE(run.seen);
    std::string after = readFile(iniPath());
    const std::vector<IniEntry> expected = {
        {"View", "Change", "1"},           {"View", "HeaderChange", "0"},    {"View", "Italic", "1"},
        {"View", "Bold", "0"},             {"View", "LevelColor", "0"},      {"View", "AutoColor", "0"},
        {"View", "Color", "8421504"},      {"View", "Color2", "8421504"},    {"View", "Color3", "8421504"},
        {"View", "Color4", "8421504"},     {"View", "Color5", "8421504"},    {"View", "HeaderColor", "8421504"},
        {"Send", "LevelColor", "1"},
        {"Send", "Change", "1"},           {"Send", "Ruler", "1"},           {"Send", "TabKey2Space", "1"},
        {"Send", "TabCode2Space", "0"},    {"Send", "Flicker", "1"},         {"Send", "PasteChange", "0"},
        {"Send", "MarginColor", "8421504"}, {"Send", "RulerColor", "8421504"}, {"Send", "Color", "8421504"},
        {"Send", "MarginLine", "12"},      {"Send", "RecolorCount", "3000"},
        {"Common", "IgnoreSpace", "0"},    {"Common", "Quaote", "4"},        {"Common", "QuaoteStr", "＃,>"},
        {"Common", "IgnoreColumn", "4"},   {"Common", "FlatToolBar", "1"},
    };
    std::vector<IniEntry> got = parseIni(after);
    // Pages apply in their own order; compare each group in write order.
    for (const char* section : {"View", "Send", "Common"}) {
        std::vector<IniEntry> want, have;
        for (const IniEntry& e : expected)
            if (e.section == section)
                want.push_back(e);
        for (const IniEntry& e : got)
            if (e.section == section)
                have.push_back(e);
        if (std::string(section) == "Common") {
            auto byKey = [](const IniEntry& x, const IniEntry& y) { return x.key < y.key; };
            std::sort(want.begin(), want.end(), byKey);
            std::sort(have.begin(), have.end(), byKey);
        }
        EXPECT_EQ(want, have) << "[" << section << "]";
    }

    // And the settings in memory: a second sheet shows what was typed.
    std::map<std::string, std::string> shown;
    runSheet([&](HWND sheet) {
        HWND send = selectPage(sheet, SEND_PAGE);
        shown["margin"] = fieldText(send, 1009);
        shown["threshold"] = fieldText(send, 1008);
        shown["ruler"] = isChecked(send, 1011) ? "on" : "off";
        HWND common = selectPage(sheet, COMMON_PAGE);
        shown["markers"] = fieldText(common, 1008);
        shown["column"] = fieldText(common, 1009);
        HWND other = selectPage(sheet, OTHER_PAGE);
        shown["flat"] = isChecked(other, 1014) ? "on" : "off";
        pressCancel(sheet);
    });
    std::map<std::string, std::string> want = {{"margin", "12"}, {"threshold", "3000"}, {"ruler", "on"},
                                               {"markers", "＃,>"}, {"column", "4"},     {"flat", "on"}};
    EXPECT_EQ(want, shown);
}

// Number fields are stored as typed (up to nine characters) and read back
// as their atoi value. Each run checks what the run before stored, as the
// next sheet shows it, then types the next case.
TEST_F(Sheet, NumberFieldsAreStoredAsTypedAndReadAsNumbers)
{
    struct Case { int page, id; const char* typed; const char* section; const char* key; const char* stored;
                  const char* reshown; };
    const Case cases[] = {
        {SEND_PAGE, 1009, "12a", "Send", "MarginLine", "12a", "12"},
        {SEND_PAGE, 1009, "", "Send", "MarginLine", "", "0"},
        {SEND_PAGE, 1008, "1234567890", "Send", "RecolorCount", "123456789", "123456789"},
        {SEND_PAGE, 1008, "0042", "Send", "RecolorCount", "0042", "42"},
        {COMMON_PAGE, 1009, "007", "Common", "IgnoreColumn", "007", "7"},
        {COMMON_PAGE, 1009, "", "Common", "IgnoreColumn", "", "0"},
    };
    const size_t count = sizeof cases / sizeof cases[0];
    start();
    for (size_t i = 0; i <= count; ++i) {
        std::string reshown;
        runSheet([&](HWND sheet) {
            if (i > 0)
                reshown = fieldText(selectPage(sheet, cases[i - 1].page), cases[i - 1].id);
            if (i < count) {
                typeText(selectPage(sheet, cases[i].page), cases[i].id, cases[i].typed);
                pressOk(sheet);
            } else {
                pressCancel(sheet);
            }
        });
        if (i > 0) {
            EXPECT_EQ(cases[i - 1].reshown, reshown) << "case " << i - 1 << ": typed \"" << cases[i - 1].typed
                                                     << "\", shown next time";
        }
        if (i < count) {
            EXPECT_EQ(cases[i].stored, iniValue(readFile(iniPath()), cases[i].section, cases[i].key))
                << "case " << i << ": typed \"" << cases[i].typed << "\"";
        }
    }
}

// The marker list is stored with its length in bytes, Japanese markers
// included, whatever the edit control counts in. Within a session each run
// checks the list in memory left by the run before.
TEST_F(Sheet, CommonPageStoresTheMarkerListWithItsByteLength)
{
    struct Step { const char* typed; const char* quaote; const char* stored; };
    struct Session { const char* ini; std::vector<Step> steps; };
    const Session sessions[] = {
        {NULL, {
            {NULL, "15", ">,|,＞,｜,》,≫"},   // the default list, untouched
            {"", "0", ""},
            {"＞＞,>", "6", "＞＞,>"},
            {"#", "1", "#"},
        }},
        {"[Common]\r\nQuaote=3\r\nQuaoteStr=>,|,#\r\n", {
            {NULL, "3", ">,|"},
        }},
    };
    for (const Session& session : sessions) {
        restart(session.ini);
        const std::vector<Step>& steps = session.steps;
        for (size_t i = 0; i <= steps.size(); ++i) {
            std::string reshown;
            runSheet([&](HWND sheet) {
                HWND page = selectPage(sheet, COMMON_PAGE);
                reshown = fieldText(page, 1008);
                if (i == steps.size()) {
                    pressCancel(sheet);
                    return;
                }
                if (steps[i].typed)
                    typeText(page, 1008, steps[i].typed);
                pressOk(sheet);
            });
            if (i > 0) {
                EXPECT_EQ(steps[i - 1].stored, reshown) << "step " << i - 1 << ": the list in memory";
            }
            if (i < steps.size()) {
                std::string after = readFile(iniPath());
                EXPECT_EQ(steps[i].quaote, iniValue(after, "Common", "Quaote")) << "step " << i;
                EXPECT_EQ(steps[i].stored, iniValue(after, "Common", "QuaoteStr")) << "step " << i;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// The colour dialog and the working colours.

const char COLOURS_INI[] =
    "[View]\r\nColor=1118481\r\nColor2=2236962\r\nColor3=3355443\r\nColor4=4473924\r\nColor5=5592405\r\n"
    "HeaderColor=6710886\r\nLevelColor=1\r\n"
    "[Send]\r\nColor=7829367\r\nMarginColor=8947848\r\nRulerColor=10066329\r\nMarginLine=60\r\nRuler=1\r\n";

TEST_F(Sheet, ColourDialogStartsFromTheWorkingColoursAndKeepsOnlyAnOk)
{
    writeIni(COLOURS_INI);
    start();
    const COLORREF picked = RGB(0x12, 0x9A, 0xE4);
    COLORREF initial = 0, initialAgain = 0, initialMargin = 0, shownAfterOk = 0, shownAfterCancel = 0;
    COLORREF screenAfterOk = 0;
    std::vector<COLORREF> customs, customsAgain;
    std::string dialogCaption;
    bool opened = false, openedAgain = false, openedMargin = false;
    Run run = runSheet([&](HWND sheet) {
        HWND view = selectPage(sheet, VIEW_PAGE);
        HWND dialog = openColourDialog(sheet, view, 1002);
        opened = dialog != NULL;
        if (!dialog)
            return;
        WCHAR title[64] = L"";
        GetWindowTextW(dialog, title, 64);
        char utf8[256] = "";
        WideCharToMultiByte(CP_UTF8, 0, title, -1, utf8, sizeof utf8, NULL, NULL);
        dialogCaption = utf8;
        initial = dialogColour(dialog);
        customs = customColours(dialog);
        setDialogColour(dialog, picked);
        EXPECT_EQ(picked, dialogColour(dialog)) << "the colour typed into the dialog";
        EXPECT_TRUE(closeColourDialog(sheet, dialog, IDOK));
        shownAfterOk = swatchColour(view, 1002);
        RedrawWindow(view, NULL, NULL, RDW_UPDATENOW | RDW_ALLCHILDREN);
        HWND swatch = GetDlgItem(view, 1002);
        RECT r;
        GetClientRect(swatch, &r);
        HDC dc = GetDC(swatch);
        screenAfterOk = GetPixel(dc, r.right / 2, r.bottom / 2);
        ReleaseDC(swatch, dc);

        // Again: the dialog starts from the new working colour, which is
        // also the first custom colour now. Cancel after choosing another
        // colour keeps the working colour.
        dialog = openColourDialog(sheet, view, 1002);
        openedAgain = dialog != NULL;
        if (!dialog)
            return;
        initialAgain = dialogColour(dialog);
        customsAgain = customColours(dialog);
        selectCustomColour(dialog, 6);
        EXPECT_TRUE(closeColourDialog(sheet, dialog, IDCANCEL));
        shownAfterCancel = swatchColour(view, 1002);

        HWND send = selectPage(sheet, SEND_PAGE);
        dialog = openColourDialog(sheet, send, 1010);
        openedMargin = dialog != NULL;
        if (!dialog)
            return;
        initialMargin = dialogColour(dialog);
        EXPECT_TRUE(closeColourDialog(sheet, dialog, IDCANCEL));
        pressOk(sheet);
    });
    ASSERT_TRUE(run.seen);
    ASSERT_TRUE(opened) << "no colour dialog appeared";
    std::cout << "colour dialog caption (UTF-8): " << dialogCaption << std::endl;
    EXPECT_EQ(1118481u, initial) << "opens with the swatch's working colour, got " << hex(initial);
    const std::vector<COLORREF> expectedCustoms = {1118481, 2236962, 3355443, 4473924, 5592405, 7829367,
                                                   6710886, 8947848, 10066329, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(expectedCustoms, customs) << "custom colours: quote 1-5, compose quote, header, margin, ruler";
    EXPECT_EQ(picked, shownAfterOk) << "the swatch draws the chosen colour, got " << hex(shownAfterOk);
    EXPECT_EQ(picked, screenAfterOk) << "on screen, got " << hex(screenAfterOk);
    ASSERT_TRUE(openedAgain);
    EXPECT_EQ(picked, initialAgain);
    std::vector<COLORREF> expectedAgain = expectedCustoms;
    expectedAgain[0] = picked;
    EXPECT_EQ(expectedAgain, customsAgain);
    EXPECT_EQ(picked, shownAfterCancel) << "Cancel in the colour dialog keeps the working colour";
    ASSERT_TRUE(openedMargin);
    EXPECT_EQ(8947848u, initialMargin) << "the margin swatch opens on the margin colour";

    std::string after = readFile(iniPath());
    EXPECT_EQ(decimal(picked), iniValue(after, "View", "Color"));
    EXPECT_EQ("8947848", iniValue(after, "Send", "MarginColor"));
}

// With quote colouring off and header colouring on, the header swatch is
// enabled (it opens the dialog) but drawn flat.
TEST_F(Sheet, HeaderSwatchOpensTheDialogWhileQuoteColouringIsOff)
{
    writeIni(COLOURS_INI);
    start();
    COLORREF initial = 0;
    bool opened = false;
    runSheet([&](HWND sheet) {
        HWND view = selectPage(sheet, VIEW_PAGE);
        setChecked(view, 1000, false);
        setChecked(view, 1001, true);
        HWND dialog = openColourDialog(sheet, view, 1003);
        opened = dialog != NULL;
        if (dialog) {
            initial = dialogColour(dialog);
            closeColourDialog(sheet, dialog, IDCANCEL);
        }
        pressCancel(sheet);
    });
    ASSERT_TRUE(opened);
    EXPECT_EQ(6710886u, initial) << "header colour, got " << hex(initial);
}

TEST_F(Sheet, CancelAfterPickingColoursChangesNothing)
{
    struct Case { const char* name; const char* ini; };
    const Case cases[] = {{"no file", NULL}, {"seeded file", COLOURS_INI}};
    for (const Case& c : cases) {
        restart(c.ini);
        COLORREF before1002 = 0, before1013 = 0;
        bool picked = false;
        Run run = runSheet([&](HWND sheet) {
            HWND view = selectPage(sheet, VIEW_PAGE);
            before1002 = swatchColour(view, 1002);
            click(view, 1007);
            if (HWND dialog = openColourDialog(sheet, view, 1002)) {
                setDialogColour(dialog, RGB(1, 2, 3));
                picked = closeColourDialog(sheet, dialog, IDOK) && swatchColour(view, 1002) == RGB(1, 2, 3);
            }
            HWND send = selectPage(sheet, SEND_PAGE);
            before1013 = swatchColour(send, 1013);
            if (HWND dialog = openColourDialog(sheet, send, 1013)) {
                setDialogColour(dialog, RGB(4, 5, 6));
                closeColourDialog(sheet, dialog, IDOK);
            }
            typeText(send, 1009, "99");
            selectPage(sheet, COMMON_PAGE);
            selectPage(sheet, OTHER_PAGE);
            pressCancel(sheet);
        });
        ASSERT_TRUE(run.seen) << c.name;
        EXPECT_TRUE(picked) << c.name << ": the pick must have reached the swatch";
        if (c.ini) {
            EXPECT_EQ(c.ini, readFile(iniPath())) << c.name;
        } else {
            EXPECT_FALSE(fileExists(iniPath())) << c.name << ": Cancel must not create the file";
        }

        // The next sheet starts from the settings, not from the cancelled picks.
        COLORREF again1002 = 0, again1013 = 0;
        bool bold = true;
        runSheet([&](HWND sheet) {
            HWND view = selectPage(sheet, VIEW_PAGE);
            again1002 = swatchColour(view, 1002);
            bold = isChecked(view, 1007);
            again1013 = swatchColour(selectPage(sheet, SEND_PAGE), 1013);
            pressCancel(sheet);
        });
        EXPECT_EQ(before1002, again1002) << c.name << ": expected " << hex(before1002) << " got " << hex(again1002);
        EXPECT_EQ(before1013, again1013) << c.name;
        EXPECT_FALSE(bold) << c.name;
    }
}

// ---------------------------------------------------------------------------
// The level colours follow a View apply, as the viewer's colouring of the
// next message shows.

bool procedureInModule(LONG_PTR procedure, HMODULE module)
{
    MEMORY_BASIC_INFORMATION info = {};
    return VirtualQuery(reinterpret_cast<void*>(procedure), &info, sizeof info) &&
           info.AllocationBase == reinterpret_cast<void*>(module);
}

COLORREF lineColour(HWND edit, const char* text)
{
    LONG at = findInControl(edit, text);
    if (at < 0)
        return CLR_INVALID;
    return readCharFormat(edit, at, at + static_cast<LONG>(strlen(text))).color;
}

TEST_F(Sheet, ViewApplyRecomputesTheLevelColoursTheViewerUses)
{
    writeIni("[View]\r\nColor=0\r\nColor2=255\r\nColor3=255\r\nColor4=255\r\nColor5=16777215\r\nLevelColor=1\r\n");
    start();
    HWND viewer = track(hostCreateViewerWindow(RICHEDIT_20A, "viewer", 0, 0, 500, 300));
    plugin.viewCreate(viewer);
    HWND edit = hostEditControl(viewer);
    ASSERT_TRUE(procedureInModule(GetWindowLongPtrA(edit, GWLP_WNDPROC), plugin.module))
        << "the viewer's control must be hooked for its colouring to show the level colours";
    HostMessage message = hostSampleMessage();
    message.body = {"first", "> one level", ">> two levels", ">>> three levels"};
    hostStreamPieces(edit, hostRtfPieces(message));
    EXPECT_EQ(RGB(255, 0, 0), lineColour(edit, "two levels")) << "before: the stored Color2";

    runSheet([&](HWND sheet) {
        click(selectPage(sheet, VIEW_PAGE), 1014);   // automatic gradient on
        pressOk(sheet);
    });
    hostStreamPieces(edit, hostRtfPieces(message));
    EXPECT_EQ(0x333333u, lineColour(edit, "two levels")) << "a fifth of the way from black to white";
    EXPECT_EQ(0x666666u, lineColour(edit, "three levels"));
}

// ---------------------------------------------------------------------------
// Screenshots of the four pages, the way a demo takes them: switch with
// PSM_SETCURSEL, let the page paint, capture the sheet's rectangle. Set
// HUESCOPE_SHEET_CAPTURE_DIR to keep the pictures.

TEST_F(Sheet, EachPageCanBeCaptured)
{
    writeIni(ALL_ON_INI);
    start();
    char dir[MAX_PATH] = "";
    DWORD n = GetEnvironmentVariableA("HUESCOPE_SHEET_CAPTURE_DIR", dir, sizeof dir);
    std::string outDir = n > 0 && n < sizeof dir ? std::string(dir) + "\\" : mailbox;
    std::vector<std::string> files;
    RECT sheetRect = {};
    runSheet([&](HWND sheet) {
        GetWindowRect(sheet, &sheetRect);
        for (int page = 0; page < 4; ++page) {
            selectPage(sheet, page);
            // Painted within the call (the sheet's thread is sent its
            // WM_PAINT); the sheet then answers once it is idle again.
            RedrawWindow(sheet, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
            SendMessageA(sheet, WM_NULL, 0, 0);
            std::string path = outDir + "options-page" + std::to_string(page + 1) + ".bmp";
            if (hostCaptureWindow(sheet, path.c_str()))
                files.push_back(path);
        }
        pressCancel(sheet);
    });
    ASSERT_EQ(4u, files.size());
    std::string previous;
    for (const std::string& path : files) {
        std::string bmp = readFile(path);
        ASSERT_GT(bmp.size(), sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) << path;
        const BITMAPINFOHEADER* info = reinterpret_cast<const BITMAPINFOHEADER*>(bmp.data() + sizeof(BITMAPFILEHEADER));
        EXPECT_EQ(sheetRect.right - sheetRect.left, info->biWidth) << path;
        EXPECT_EQ(sheetRect.bottom - sheetRect.top, info->biHeight) << path;
        EXPECT_NE(previous, bmp) << path << " shows the same as the page before";
        previous = bmp;
    }
}

}  // namespace
