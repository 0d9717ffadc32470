// The compose window's ruler and margin line under Wine: a real compose
// window, hooked through ZekSendCreate, painted through the messages the host
// and the system send, and read back pixel by pixel from the control's own
// client area. Where the plug-in's numbers are needed (the ruler height, the
// column width), the test measures the same fonts itself and checks them
// against what the plug-in does with the formatting rectangle and the margin
// line.
#include "wine_support.h"
#include <stdio.h>
#include <string.h>
#include <map>
#include <vector>
#include "compose/compose.h"   // LINE_BUFFER_SIZE, the size of the caret line buffer

namespace {

const COLORREF RULER = RGB(200, 30, 40);
const COLORREF MARGIN = RGB(20, 60, 210);
const COLORREF BACK = RGB(250, 248, 215);
const char EDITOR_FACE[] = "ＭＳ ゴシック";

std::string hex(COLORREF c)
{
    char text[16];
    snprintf(text, sizeof text, "%06lX", static_cast<unsigned long>(c));
    return text;
}

// ---------------------------------------------------------------------------
// Fonts measured the way the ruler is documented to measure them.

struct Metrics {
    int height;       // tmHeight + tmExternalLeading + 1 for the ruler font
    int aveWidth;     // tmAveCharWidth
};

HFONT makeFont(HDC dc, int points, bool bold, bool italic, const char* face)
{
    return CreateFontA(-MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL,
                       italic, FALSE, FALSE, DEFAULT_CHARSET, OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS,
                       DEFAULT_QUALITY, 0, face);
}

Metrics measure(HWND window, int points, bool bold, bool italic, const char* face)
{
    HDC dc = GetDC(window);
    HFONT font = makeFont(dc, points, bold, italic, face);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA tm = {};
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(window, dc);
    Metrics m = {static_cast<int>(tm.tmHeight + tm.tmExternalLeading + 1), static_cast<int>(tm.tmAveCharWidth)};
    return m;
}

int rulerHeightFor(HWND window)
{
    return measure(window, 8, false, false, "ＭＳ ゴシック").height;
}

// Column width of the editor font at a size in tenths of a point (whole
// points, as the plug-in rounds them).
int columnWidthFor(HWND window, int tenths, bool bold, bool italic)
{
    return measure(window, tenths / 10, bold, italic, EDITOR_FACE).aveWidth;
}

// ---------------------------------------------------------------------------
// Pixels of a window's client area.

struct Snapshot {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Rows 0 to rows - 1 of the client, copied out in one piece.
Snapshot snapshotRows(HWND control, int rows)
{
    Snapshot s;
    RECT client;
    GetClientRect(control, &client);
    s.width = client.right;
    s.height = rows < client.bottom ? rows : client.bottom;
    HDC screen = GetDC(control);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = s.width;
    bi.bmiHeader.biHeight = -s.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = NULL;
    HBITMAP bitmap = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, s.width, s.height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    s.pixels.resize(static_cast<size_t>(s.width) * s.height);
    const DWORD* p = static_cast<const DWORD*>(bits);
    for (size_t i = 0; i < s.pixels.size(); ++i)
        s.pixels[i] = RGB((p[i] >> 16) & 0xFF, (p[i] >> 8) & 0xFF, p[i] & 0xFF);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(control, screen);
    return s;
}

// The digits as the ruler font draws them on the background, each in a cell
// of its own, for the expected picture of the strip.
struct Glyphs {
    static const int SIZE = 32;
    COLORREF cell[10][SIZE][SIZE];
};

void renderGlyphs(HWND window, Glyphs* g)
{
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, Glyphs::SIZE, Glyphs::SIZE);
    HGDIOBJ oldBitmap = SelectObject(memory, bitmap);
    HFONT font = makeFont(screen, 8, false, false, "ＭＳ ゴシック");
    HGDIOBJ oldFont = SelectObject(memory, font);
    HBRUSH back = CreateSolidBrush(BACK);
    RECT all = {0, 0, Glyphs::SIZE, Glyphs::SIZE};
    for (int d = 0; d < 10; ++d) {
        FillRect(memory, &all, back);
        SetBkMode(memory, TRANSPARENT);
        SetTextColor(memory, RULER);
        char digit = static_cast<char>('0' + d);
        TextOutA(memory, 0, 0, &digit, 1);
        for (int y = 0; y < Glyphs::SIZE; ++y)
            for (int x = 0; x < Glyphs::SIZE; ++x)
                g->cell[d][y][x] = GetPixel(memory, x, y);
    }
    DeleteObject(back);
    SelectObject(memory, oldFont);
    DeleteObject(font);
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
}

// ---------------------------------------------------------------------------
// The ruler strip as it should look, worked out pixel by pixel from the
// geometry: ticks, digits, baseline and caret marker over the background.

struct Strip {
    int H, w, width;       // ruler height, column width, client width
    long caretColumn;      // -1: no marker expected at all
    const Glyphs* glyphs;
};

int colX(long n, int w) { return 8 + static_cast<int>(n) * w; }

int lastColumn(const Strip& s)
{
    // Column n is drawn while its x is at most the client's right coordinate.
    return s.width < 8 ? -1 : (s.width - 8) / s.w;
}

COLORREF expectedPixel(const Strip& s, int x, int y)
{
    const int last = lastColumn(s);
    if (last < 0)
        return BACK;
    const int lastX = colX(last, s.w);
    if (s.caretColumn >= 0 && colX(s.caretColumn, s.w) < lastX && y >= s.H - 6 && y <= s.H - 2) {
        int left = colX(s.caretColumn, s.w);
        int right = left + s.w < lastX ? left + s.w : lastX;
        if (x >= left && x < right)
            return RULER;
    }
    if (y == s.H - 1)
        return x >= 8 && x < lastX ? RULER : BACK;
    if (x >= 8 && (x - 8) % s.w == 0 && (x - 8) / s.w <= last && y <= s.H - 2) {
        int n = (x - 8) / s.w;
        int top = n == 0 ? 0 : (n % 5 == 0 && n % 10 != 0) ? s.H - 6 : s.H - 3;
        if (y >= top)
            return RULER;
    }
    for (int n = 10; n <= last; n += 10) {
        int cellX = colX(n, s.w) - s.w / 4;
        int gx = x - cellX;
        if (gx >= 0 && gx < Glyphs::SIZE && y < Glyphs::SIZE) {
            COLORREF c = s.glyphs->cell[(n / 10) % 10][y][gx];
            if (c != BACK)
                return c;
        }
    }
    return BACK;
}

// Compares rows 0 to H - 1 of the client with the expected strip.
::testing::AssertionResult stripMatches(const Snapshot& shot, const Strip& s)
{
    int mismatches = 0;
    std::string detail;
    for (int y = 0; y < s.H && y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            COLORREF want = expectedPixel(s, x, y), got = shot.at(x, y);
            if (want != got) {
                if (++mismatches <= 8)
                    detail += " (" + std::to_string(x) + "," + std::to_string(y) + ") expected " + hex(want) +
                              " got " + hex(got) + ";";
            }
        }
    if (mismatches == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << mismatches << " pixels differ from the expected ruler (H " << s.H
                                         << ", w " << s.w << ", caret column " << s.caretColumn << "):" << detail;
}

// Runs of the ruler colour at least two pixels wide on one row: the caret
// marker (ticks are one pixel wide).
std::vector<std::pair<int, int>> wideRuns(const Snapshot& shot, int y, int from, int to)
{
    std::vector<std::pair<int, int>> runs;
    int x = from;
    while (x < to) {
        if (shot.at(x, y) != RULER) {
            ++x;
            continue;
        }
        int start = x;
        while (x < to && shot.at(x, y) == RULER)
            ++x;
        if (x - start >= 2)
            runs.push_back(std::make_pair(start, x));
    }
    return runs;
}

std::string runsText(const std::vector<std::pair<int, int>>& runs)
{
    std::string text;
    for (auto& r : runs)
        text += "[" + std::to_string(r.first) + "," + std::to_string(r.second) + ")";
    return text.empty() ? "none" : text;
}

// ---------------------------------------------------------------------------
// A subclass installed before the plug-in's: sees what the plug-in passes on.

std::vector<RECT> seenSetRect;
WNDPROC recorderNext;

LRESULT CALLBACK recorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == EM_SETRECT && lParam)
        seenSetRect.push_back(*reinterpret_cast<RECT*>(lParam));
    return CallWindowProcA(recorderNext, window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------
// A stand-in RichEdit 2.0 control with one line of text, for copies the
// Wine control never makes: one that counts the EM_GETLINE limit in
// characters (a double-byte character then takes two bytes of the buffer),
// and one that copies less than it is asked for.

struct StandInLine {
    std::string text;              // Shift_JIS
    LONG caret = 0;
    bool limitInCharacters = true;
    int copyAtMost = -1;           // characters; -1 no limit of its own
    std::vector<int> requests;     // first words seen
    size_t mostBytes = 0;          // most bytes it was made to write
};
StandInLine standIn;

const char STAND_IN_CLASS[] = "RichEdit20Stand";
const char STAND_IN_FRAME[] = "RulerTestFrame";

// Byte lengths of the characters of a Shift_JIS text.
std::vector<int> characterSizes(const std::string& text)
{
    std::vector<int> sizes;
    for (size_t i = 0; i < text.size();) {
        int n = IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size() ? 2 : 1;
        sizes.push_back(n);
        i += n;
    }
    return sizes;
}

LRESULT standInGetLine(LPARAM lParam)
{
    char* buffer = reinterpret_cast<char*>(lParam);
    WORD limit;
    memcpy(&limit, buffer, sizeof limit);
    standIn.requests.push_back(limit);
    std::vector<int> sizes = characterSizes(standIn.text);
    size_t bytes = 0, chars = 0;
    for (int size : sizes) {
        if (standIn.limitInCharacters ? chars + 1 > limit : bytes + size > limit)
            break;
        if (standIn.copyAtMost >= 0 && chars + 1 > static_cast<size_t>(standIn.copyAtMost))
            break;
        bytes += size;
        ++chars;
    }
    if (bytes > standIn.mostBytes)
        standIn.mostBytes = bytes;
    // Never really written past the plug-in's buffer: the test reports it.
    memcpy(buffer, standIn.text.data(), bytes < LINE_BUFFER_SIZE ? bytes : LINE_BUFFER_SIZE);
    return static_cast<LRESULT>(bytes);
}

LRESULT CALLBACK standInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case EM_GETOPTIONS:
        return ECO_NOHIDESEL;
    case EM_EXGETSEL: {
        CHARRANGE* r = reinterpret_cast<CHARRANGE*>(lParam);
        r->cpMin = r->cpMax = standIn.caret;
        return 0;
    }
    case EM_EXLINEFROMCHAR:
    case EM_LINEINDEX:
        return 0;
    case EM_LINELENGTH:
        return static_cast<LRESULT>(characterSizes(standIn.text).size());
    case EM_GETLINE:
        return standInGetLine(lParam);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND createStandInWindow(int width, int height)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = standInProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = STAND_IN_CLASS;
        RegisterClassA(&wc);
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = STAND_IN_FRAME;
        RegisterClassA(&wc);
        registered = true;
    }
    HWND frame = CreateWindowExA(0, STAND_IN_FRAME, "stand-in", WS_POPUP | WS_VISIBLE, 0, 0, width, height, NULL,
                                 NULL, GetModuleHandleA(NULL), NULL);
    CreateWindowExA(0, STAND_IN_CLASS, "", WS_CHILD | WS_VISIBLE, 0, 0, width, height, frame, NULL,
                    GetModuleHandleA(NULL), NULL);
    return frame;
}

// ---------------------------------------------------------------------------
// GDI objects alive in this process.

std::map<DWORD, int> countGdiObjectsByType()
{
    // Wine answers GetObjectType for a bare table index; every live object
    // of the process is found by walking the indices.
    std::map<DWORD, int> counts;
    for (ULONG_PTR index = 1; index < 0x10000; ++index) {
        DWORD type = GetObjectType(reinterpret_cast<HGDIOBJ>(index));
        if (type)
            ++counts[type];
    }
    return counts;
}

int totalOf(const std::map<DWORD, int>& counts)
{
    int total = 0;
    for (auto& c : counts)
        total += c.second;
    return total;
}

std::string countsText(const std::map<DWORD, int>& counts)
{
    static const std::map<DWORD, const char*> names = {{OBJ_PEN, "pens"},     {OBJ_BRUSH, "brushes"},
                                                       {OBJ_FONT, "fonts"},   {OBJ_DC, "DCs"},
                                                       {OBJ_MEMDC, "memory DCs"}, {OBJ_BITMAP, "bitmaps"},
                                                       {OBJ_REGION, "regions"}};
    std::string text;
    for (auto& c : counts) {
        auto name = names.find(c.first);
        text += std::to_string(c.second) + " " + (name != names.end() ? name->second : ("type " + std::to_string(c.first))) + ", ";
    }
    return text;
}

}   // namespace

// ---------------------------------------------------------------------------

struct RulerOptions {
    bool ruler = true;
    int margin = 0;
    int fontTenths = 100;
    bool bold = false;
    int tabWidth = 8;
    DWORD colorTopByte = 0;   // added to the ruler and margin colours in the INI
};

class Ruler : public PluginTest {
protected:
    // Writes both INI files, starts the plug-in, opens a visible compose
    // window and hooks it.
    void open(const RulerOptions& o, RichEditClass cls = RICHEDIT_20A, int width = 900, int height = 260)
    {
        char text[512];
        snprintf(text, sizeof text, "[Editor]\r\nFontFace=%s\r\nFontSize=%d\r\nBold=%d\r\nBkColor=%lu\r\nTextColor=0\r\n",
                 EDITOR_FACE, o.fontTenths, o.bold ? 1 : 0, static_cast<unsigned long>(BACK));
        writeMailboxIni(text);
        snprintf(text, sizeof text,
                 "[Send]\r\nChange=0\r\nRuler=%d\r\nRulerColor=%lu\r\nMarginLine=%d\r\nMarginColor=%lu\r\n"
                 "[Common]\r\nTab=%d\r\n",
                 o.ruler ? 1 : 0, static_cast<unsigned long>(RULER | o.colorTopByte), o.margin,
                 static_cast<unsigned long>(MARGIN | o.colorTopByte), o.tabWidth);
        writeIni(text);
        start();
        frame = track(hostCreateComposeWindow(cls, "ruler", 0, 0, width, height));
        control = hostEditControl(frame);
        ASSERT_TRUE(control != NULL);
        ShowWindow(frame, SW_SHOWNOACTIVATE);
        UpdateWindow(frame);
        if (installRecorder) {
            recorderNext = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recorderProc)));
        }
        ASSERT_NE(0, plugin.sendCreate(frame)) << "ZekSendCreate found no control";
        // What the host does after creating the window: its colours, and a
        // formatting rectangle over the whole client area.
        SendMessageA(control, EM_SETBKGNDCOLOR, 0, BACK);
        setFormatRectToClient();
        H = rulerHeightFor(control);
        w = columnWidthFor(control, o.fontTenths, o.bold, false);
        renderGlyphs(control, &glyphs);
        pumpPending();
    }

    void setFormatRectToClient()
    {
        RECT r;
        GetClientRect(control, &r);
        SendMessageA(control, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&r));
    }

    // Long lines stay on one display line.
    void noWrap() { SendMessageA(control, EM_SETTARGETDEVICE, 0, 1); }

    void setText(const std::string& text) { SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())); }

    // The whole client repainted the way the system does it: background
    // erase inside BeginPaint, the control's own painting, then the hook's.
    void repaint()
    {
        pumpPending();
        InvalidateRect(control, NULL, TRUE);
        UpdateWindow(control);
    }

    // The background erase alone, with a display context of the control.
    void eraseBackground()
    {
        pumpPending();
        HDC dc = GetDC(control);
        SendMessageA(control, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        ReleaseDC(control, dc);
    }

    int clientWidth()
    {
        RECT r;
        GetClientRect(control, &r);
        return r.right;
    }

    int clientHeight()
    {
        RECT r;
        GetClientRect(control, &r);
        return r.bottom;
    }

    Strip strip(long caretColumn) { return Strip{H, w, clientWidth(), caretColumn, &glyphs}; }

    // The margin line's x, found on the client's bottom row; -1 if absent.
    int marginLineX()
    {
        HDC dc = GetDC(control);
        int found = -1;
        int y = clientHeight() - 1;
        for (int x = 0; x < clientWidth() && found < 0; ++x)
            if (GetPixel(dc, x, y) == MARGIN)
                found = x;
        ReleaseDC(control, dc);
        return found;
    }

    // First and last row of the margin colour in column x.
    std::pair<int, int> marginRows(int x)
    {
        HDC dc = GetDC(control);
        int first = -1, last = -1;
        for (int y = 0; y < clientHeight(); ++y)
            if (GetPixel(dc, x, y) == MARGIN) {
                if (first < 0)
                    first = y;
                last = y;
            }
        ReleaseDC(control, dc);
        return std::make_pair(first, last);
    }

    bool installRecorder = false;
    HWND frame = NULL, control = NULL;
    int H = 0, w = 0;
    Glyphs glyphs;
};

// ---------------------------------------------------------------------------

TEST_F(Ruler, TicksDigitsBaselineAndMarkerOnRichEdit20)
{
    open(RulerOptions());
    ASSERT_GT(w, 1);
    ASSERT_GE(H, 7) << "ruler strip too low for its tick band";
    setText("abc");
    SendMessageA(control, EM_SETSEL, 0, 0);
    repaint();
    Snapshot shot = snapshotRows(control, H);
    ASSERT_GE(lastColumn(strip(0)), 110) << "the window must be wide enough to show columns 100 and 110";
    EXPECT_TRUE(stripMatches(shot, strip(0))) << "caret at the start of the line: marker over column 0";

    // Column 100 carries the digit 0, column 110 the digit 1: the cells
    // differ, and each matches its own glyph.
    const int cell100 = colX(100, w) - w / 4, cell110 = colX(110, w) - w / 4;
    int differing = 0;
    for (int y = 0; y < H - 6; ++y)
        for (int x = 0; x < w - 1; ++x)
            differing += shot.at(cell100 + x, y) != shot.at(cell110 + x, y);
    EXPECT_GT(differing, 0) << "the digits above columns 100 and 110 look the same";
}

TEST_F(Ruler, DrawnByBackgroundEraseAndPaintAlike)
{
    open(RulerOptions());
    setText("abcdef");
    SendMessageA(control, EM_SETSEL, 4, 4);
    eraseBackground();
    EXPECT_TRUE(stripMatches(snapshotRows(control, H), strip(4))) << "after WM_ERASEBKGND";
    // A paint with nothing invalid paints no text; the hook still redraws.
    eraseBackground();
    SendMessageA(control, EM_SETSEL, 2, 2);
    SendMessageA(control, WM_PAINT, 0, 0);
    EXPECT_TRUE(stripMatches(snapshotRows(control, H), strip(2))) << "after WM_PAINT the marker follows the caret";
}

TEST_F(Ruler, CaretColumnFollowsTheLineText)
{
    RulerOptions o;
    open(o);
    noWrap();
    const std::string a1024(1024, 'a');
    std::string wide1024, wide600;
    for (int i = 0; i < 1024; ++i)
        wide1024 += "あ";
    for (int i = 0; i < 600; ++i)
        wide600 += "漢";
    struct Case {
        const char* name;
        std::string text;
        LONG anchor, caret;   // EM_SETSEL order: a backwards selection ends left
        long column;
    } cases[] = {
        {"caret at the start of the line", "abc", 0, 0, 0},
        {"after a letter and a tab", "a\tb", 2, 2, 8},
        {"after the letter behind the tab", "a\tb", 3, 3, 9},
        {"a tab met at column 8 goes to 16", "abcdefgh\tx", 9, 9, 16},
        {"a double-byte character takes two columns", "あa", 1, 1, 2},
        {"and the letter after it one more", "あa", 2, 2, 3},
        {"second line counts from its own start", "xyz\r\tq", 5, 5, 8},
        {"backwards selection: marker at its end", "abcdefgh", 6, 2, 6},
        {"forwards selection: marker at its end", "abcdefgh", 2, 6, 6},
        {"Shift+Down onto the next line: marker at its end", "abc\r\tde", 1, 6, 9},
        {"line of 1024 characters is still read", "\t" + a1024.substr(0, 1023), 1, 1, 8},
        {"line of 1025 characters: raw offset", "\t" + a1024, 1, 1, 1},
        {"line of 1025 characters, caret further in", "\t\t" + a1024, 2, 2, 2},
        {"1024 double-byte characters, caret near the start", wide1024, 10, 10, 20},
        {"600 double-byte characters, caret inside", "\t" + wide600, 20, 20, 46},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        setText(c.text);
        SendMessageA(control, EM_SETSEL, c.anchor, c.caret);
        eraseBackground();
        EXPECT_TRUE(stripMatches(snapshotRows(control, H), strip(c.column)))
            << "case " << i << " (" << c.name << "): expected the marker over column " << c.column;
    }
}

TEST_F(Ruler, TabStopsFollowTheConfiguredWidth)
{
    RulerOptions o;
    o.tabWidth = 4;
    open(o);
    struct { const char* text; LONG caret; long column; } cases[] = {
        {"a\tb", 2, 4}, {"abcd\tb", 5, 8}, {"\t\t", 2, 8}, {"ab\tあ\t", 5, 8},
    };
    for (auto& c : cases) {
        setText(c.text);
        SendMessageA(control, EM_SETSEL, c.caret, c.caret);
        eraseBackground();
        EXPECT_TRUE(stripMatches(snapshotRows(control, H), strip(c.column)))
            << "\"" << c.text << "\" caret " << c.caret << ": expected column " << c.column;
    }
}

TEST_F(Ruler, MarkerStopsAtTheLastColumn)
{
    open(RulerOptions());
    noWrap();
    const int last = lastColumn(strip(0));
    setText(std::string(last + 5, 'x'));
    struct { long caret; long column; const char* what; } cases[] = {
        {last - 1, last - 1, "caret one column before the last: marker up to the last tick"},
        {last, -1, "caret in the last column: no marker"},
        {last + 3, -1, "caret beyond the last column: no marker"},
    };
    for (auto& c : cases) {
        SendMessageA(control, EM_SETSEL, c.caret, c.caret);
        eraseBackground();
        EXPECT_TRUE(stripMatches(snapshotRows(control, H), strip(c.column))) << c.what;
    }
}

TEST_F(Ruler, RichEdit10DrawsRegardlessOfItsOptions)
{
    open(RulerOptions(), RICHEDIT_10);
    SendMessageA(control, EM_SETOPTIONS, ECOOP_AND, ~ECO_NOHIDESEL);
    // Wine's RichEdit 1.0 counts a double-byte character as one position,
    // so only single-byte text is driven here.
    struct { const char* text; LONG caret; long column; } cases[] = {
        {"a\tb", 2, 8}, {"a\tb", 3, 9}, {"ab\r\ncdefghij\tz", 13, 16},
    };
    for (auto& c : cases) {
        setText(c.text);
        SendMessageA(control, EM_SETSEL, c.caret, c.caret);
        eraseBackground();
        EXPECT_TRUE(stripMatches(snapshotRows(control, H), strip(c.column)))
            << "\"" << c.text << "\" caret " << c.caret << ": expected column " << c.column;
    }
}

TEST_F(Ruler, FormattingRectangleMovesDownByTheRulerHeight)
{
    installRecorder = true;
    open(RulerOptions());
    // The host's rectangle, as the control receives it behind the plug-in.
    seenSetRect.clear();
    RECT r = {0, 0, 300, 120};
    SendMessageA(control, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&r));
    ASSERT_EQ(1u, seenSetRect.size()) << "EM_SETRECT must be passed on once";
    EXPECT_EQ(H, seenSetRect[0].top) << "top 0 reaches the control as the ruler height";
    EXPECT_EQ(0, seenSetRect[0].left);
    EXPECT_EQ(120, seenSetRect[0].bottom);
    EXPECT_EQ(H, r.top) << "the caller's rectangle is changed in place";

    // The control's own view, beside an unhooked control of the same kind
    // given the same rectangle. (Wine takes a border pixel off the top and
    // stops at 0, so the rectangle starts a little lower than 0 here.)
    HWND plainFrame = track(hostCreateComposeWindow(RICHEDIT_20A, "plain", 0, 300, 900, 260));
    HWND plainControl = hostEditControl(plainFrame);
    RECT hooked = {0, 10, 300, 120}, plain = {0, 10, 300, 120}, got, gotPlain;
    SendMessageA(control, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&hooked));
    SendMessageA(plainControl, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&plain));
    SendMessageA(control, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&got));
    SendMessageA(plainControl, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&gotPlain));
    EXPECT_EQ(H, got.top - gotPlain.top) << "EM_GETRECT: the text starts the ruler height lower";
    EXPECT_EQ(gotPlain.bottom, got.bottom) << "and ends where the host asked";
}

TEST_F(Ruler, RulerOffDrawsNoStripAndLeavesTheRectangle)
{
    installRecorder = true;
    RulerOptions o;
    o.ruler = false;
    o.margin = 20;
    open(o);
    seenSetRect.clear();
    RECT r = {0, 0, 300, 120};
    SendMessageA(control, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&r));
    ASSERT_EQ(1u, seenSetRect.size());
    EXPECT_EQ(0, seenSetRect[0].top) << "ruler off: the rectangle keeps its top";
    setFormatRectToClient();
    setText("");   // the text would start at the top row
    repaint();
    // Nothing of a ruler: the strip shows the background, but for the margin
    // line running from the top row.
    Snapshot shot = snapshotRows(control, H);
    const int marginX = colX(20, w);
    int stray = 0;
    std::string first;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < shot.width; ++x) {
            COLORREF want = x == marginX ? MARGIN : BACK;
            if (shot.at(x, y) != want && ++stray == 1)
                first = "(" + std::to_string(x) + "," + std::to_string(y) + ") expected " + hex(want) + " got " +
                        hex(shot.at(x, y));
        }
    EXPECT_EQ(0, stray) << "first: " << first;
    std::pair<int, int> rows = marginRows(marginX);
    EXPECT_EQ(0, rows.first) << "ruler off: the margin line starts at the top row";
    EXPECT_EQ(clientHeight() - 1, rows.second) << "and runs to the bottom row";
}

TEST_F(Ruler, RichEdit20WithoutNoHideSelGetsNoRulerButKeepsTheShift)
{
    installRecorder = true;
    RulerOptions o;
    o.margin = 20;
    open(o);
    SendMessageA(control, EM_SETOPTIONS, ECOOP_AND, ~ECO_NOHIDESEL);
    ASSERT_EQ(0, SendMessageA(control, EM_GETOPTIONS, 0, 0) & ECO_NOHIDESEL) << "the option must be cleared";
    seenSetRect.clear();
    setFormatRectToClient();
    ASSERT_EQ(1u, seenSetRect.size());
    EXPECT_EQ(H, seenSetRect[0].top) << "the text still starts below where the ruler would be";
    setText("abc");
    SendMessageA(control, EM_SETSEL, 1, 1);
    repaint();
    Snapshot shot = snapshotRows(control, H);
    int rulerPixels = 0;
    for (COLORREF c : shot.pixels)
        rulerPixels += c == RULER;
    EXPECT_EQ(0, rulerPixels) << "no tick, digit, baseline or marker";
    std::pair<int, int> rows = marginRows(colX(20, w));
    EXPECT_EQ(H, rows.first) << "the margin line still starts below the ruler's place";
    EXPECT_EQ(clientHeight() - 1, rows.second);
}

// The colours are read with a top byte set, which GDI would take for a
// palette index: they are drawn in their low 24 bits all the same.
TEST_F(Ruler, MarginLineBelowTheRuler)
{
    RulerOptions o;
    o.margin = 30;
    o.colorTopByte = 0x01000000;
    open(o);
    setText("");
    repaint();
    EXPECT_TRUE(stripMatches(snapshotRows(control, H), strip(0))) << "the ruler in its colour's low 24 bits";
    const int x = colX(30, w);
    EXPECT_EQ(x, marginLineX()) << "the margin line stands at column 30";
    std::pair<int, int> rows = marginRows(x);
    EXPECT_EQ(H, rows.first) << "ruler on: from row H";
    EXPECT_EQ(clientHeight() - 1, rows.second) << "to the bottom row";
    HDC dc = GetDC(control);
    EXPECT_EQ(hex(RULER), hex(GetPixel(dc, x, H - 1))) << "the baseline crosses above the margin line";
    EXPECT_EQ(hex(BACK), hex(GetPixel(dc, x - 1, H + 5))) << "one pixel wide (left)";
    EXPECT_EQ(hex(BACK), hex(GetPixel(dc, x + 1, H + 5))) << "one pixel wide (right)";
    ReleaseDC(control, dc);
}

TEST_F(Ruler, NoMarginLineAtColumnZeroOrBelow)
{
    RulerOptions o;
    o.ruler = false;
    o.margin = -4;
    open(o);
    repaint();
    EXPECT_EQ(-1, marginLineX()) << "MarginLine=-4: no line";
    Snapshot shot = snapshotRows(control, H);
    int other = 0;
    for (COLORREF c : shot.pixels)
        other += c != BACK;
    EXPECT_EQ(0, other) << "ruler and margin off: the top rows are plain background";
}

TEST_F(Ruler, MarginLineFollowsTheFontSizeAndStyleSetOnTheControl)
{
    RulerOptions o;
    o.margin = 40;
    o.bold = true;
    open(o);
    const int wBold10 = columnWidthFor(control, 100, true, false);
    const int wItalic10 = columnWidthFor(control, 100, false, true);
    const int wBoldItalic10 = columnWidthFor(control, 100, true, true);
    const int wItalic12 = columnWidthFor(control, 120, false, true);
    ASSERT_NE(wBold10, wItalic10) << "this environment's fonts do not show bold in the width";
    ASSERT_NE(wItalic10, wItalic12) << "this environment's fonts do not show the size in the width";
    repaint();
    EXPECT_EQ(colX(40, wBold10), marginLineX()) << "bold 10 pt from Mailbox.ini";

    struct Step {
        const char* what;
        DWORD mask, effects;
        LONG height;
        int width;
    } steps[] = {
        {"CFM_BOLD alone with CFE_ITALIC: italic only", CFM_BOLD, CFE_ITALIC, 0, wItalic10},
        {"CFM_SIZE 12 pt", CFM_SIZE, 0, 240, wItalic12},
        {"CFM_SIZE back to 10 pt", CFM_SIZE, 0, 200, wItalic10},
        {"CFM_ITALIC alone with both effects: bold and italic", CFM_ITALIC, CFE_BOLD | CFE_ITALIC, 0, wBoldItalic10},
        {"colour only, whatever the other members say", CFM_COLOR, 0, 240, wBoldItalic10},
    };
    for (auto& s : steps) {
        CHARFORMATA cf = {};
        cf.cbSize = sizeof cf;
        cf.dwMask = s.mask;
        cf.dwEffects = s.effects;
        cf.yHeight = s.height;
        cf.crTextColor = RGB(1, 2, 3);
        SendMessageA(control, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&cf));
        repaint();
        EXPECT_EQ(colX(40, s.width), marginLineX()) << s.what << ": column width " << s.width;
    }
}

TEST_F(Ruler, MarginLineTracksTheFontWithTheRulerOff)
{
    RulerOptions o;
    o.ruler = false;
    o.margin = 40;
    open(o);
    CHARFORMAT2A cf = {};   // the larger structure serves as well
    cf.cbSize = sizeof cf;
    cf.dwMask = CFM_SIZE;
    cf.yHeight = 240;
    SendMessageA(control, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&cf));
    repaint();
    EXPECT_EQ(colX(40, columnWidthFor(control, 120, false, false)), marginLineX());
    std::pair<int, int> rows = marginRows(marginLineX());
    EXPECT_EQ(0, rows.first) << "ruler off: from the top row";
}

TEST_F(Ruler, NarrowClientShowsNothing)
{
    open(RulerOptions());
    // A client area 6 pixels wide: column 0 would stand at x = 8.
    RECT window, client;
    GetWindowRect(control, &window);
    GetClientRect(control, &client);
    const int frameWidth = (window.right - window.left) - client.right;
    MoveWindow(control, 0, 0, frameWidth + 6, window.bottom - window.top, TRUE);
    ASSERT_EQ(6, clientWidth());
    setText("abc");
    SendMessageA(control, EM_SETSEL, 0, 0);
    eraseBackground();
    Snapshot shot = snapshotRows(control, H);
    EXPECT_TRUE(stripMatches(shot, strip(0))) << "only background expected";
    int rulerPixels = 0;
    for (COLORREF c : shot.pixels)
        rulerPixels += c == RULER;
    EXPECT_EQ(0, rulerPixels);
}

TEST_F(Ruler, AfterCleanUpTheCaretLineIsStillRead)
{
    open(RulerOptions());
    setText("\tab");
    SendMessageA(control, EM_SETSEL, 1, 1);
    eraseBackground();
    const int probeRow = H - 4;
    Snapshot shot = snapshotRows(control, H);
    const int limit = colX(10, w) - 2;   // left of the first digit
    EXPECT_EQ(runsText({{colX(8, w), colX(9, w)}}), runsText(wideRuns(shot, probeRow, 8, limit)))
        << "the line is read: the tab takes the caret to column 8";

    // Clean-up frees the ruler font; the control is still hooked.
    plugin.cleanUp();
    eraseBackground();
    shot = snapshotRows(control, H);
    EXPECT_EQ(runsText({{colX(8, w), colX(9, w)}}), runsText(wideRuns(shot, probeRow, 8, limit)))
        << "after clean-up: still column 8";
}

// The stand-in copies the way the Wine control does not. Each case draws
// once and reads the marker back.
TEST_F(Ruler, CaretLineCopiesAreKeptInsideTheBuffer)
{
    writeIni("[Send]\r\nRuler=1\r\nRulerColor=" + std::to_string(RULER) + "\r\n");
    start();
    HWND standInFrame = track(createStandInWindow(700, 60));
    HWND standInControl = GetWindow(standInFrame, GW_CHILD);
    ASSERT_NE(0, plugin.sendCreate(standInFrame)) << "the stand-in must pass for a RichEdit 2.0 control";
    control = standInControl;
    H = rulerHeightFor(control);
    w = columnWidthFor(control, 100, false, false);
    renderGlyphs(control, &glyphs);
    SendMessageA(control, EM_SETBKGNDCOLOR, 0, BACK);

    auto wide = [](int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += "あ";
        return s;
    };
    struct Case {
        const char* name;
        std::string text;
        LONG caret;
        bool limitInCharacters;
        int copyAtMost;
        long column;
    } cases[] = {
        {"600 double-byte characters, limit in characters", wide(600), 10, true, -1, 20},
        {"513 double-byte characters fill the buffer exactly", wide(513), 5, true, -1, 10},
        {"300 double-byte characters are asked for in full", "\t" + wide(299), 30, true, -1, 66},
        {"limit in bytes, as Wine counts it", "\t" + wide(700), 3, false, -1, 12},
        {"a control that copies less than the caret needs: raw offset", wide(20), 10, true, 4, 10},
        {"nothing copied at all: raw offset", "\t\t" + wide(20), 5, true, 0, 5},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        standIn.text = c.text;
        standIn.caret = c.caret;
        standIn.limitInCharacters = c.limitInCharacters;
        standIn.copyAtMost = c.copyAtMost;
        standIn.requests.clear();
        standIn.mostBytes = 0;
        eraseBackground();
        EXPECT_TRUE(stripMatches(snapshotRows(control, H), strip(c.column)))
            << "case " << i << " (" << c.name << "): expected the marker over column " << c.column;
        EXPECT_FALSE(standIn.requests.empty()) << "case " << i << ": the line was never asked for";
        EXPECT_LE(standIn.mostBytes + 1, LINE_BUFFER_SIZE)
            << "case " << i << " (" << c.name << "): the control was asked for " << standIn.mostBytes
            << " bytes and a terminator, the buffer holds " << LINE_BUFFER_SIZE;
    }
}

TEST_F(Ruler, NoGdiObjectLeaksOverAThousandDraws)
{
    RulerOptions o;
    o.margin = 30;
    open(o);
    noWrap();
    setText("ab\tあいう\r\n\tsecond line");
    SendMessageA(control, EM_SETSEL, 3, 3);

    // Is counting possible here? GetGuiResources, else the walk over the
    // handle table; either must see one extra pen.
    DWORD gui = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    auto count = [&]() {
        return gui ? static_cast<int>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS))
                   : totalOf(countGdiObjectsByType());
    };
    {
        int before = count();
        HPEN pen = CreatePen(PS_SOLID, 1, RULER);
        int with = count();
        DeleteObject(pen);
        ASSERT_EQ(before + 1, with) << "GDI objects cannot be counted in this environment";
    }

    CHARFORMATA sizes[2] = {};
    for (int k = 0; k < 2; ++k) {
        sizes[k].cbSize = sizeof sizes[k];
        sizes[k].dwMask = CFM_SIZE | CFM_BOLD;
        sizes[k].yHeight = k ? 240 : 200;
        sizes[k].dwEffects = k ? CFE_BOLD : 0;
    }
    auto round = [&](int draws) {
        for (int i = 0; i < draws; ++i) {
            HDC dc = GetDC(control);
            SendMessageA(control, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
            ReleaseDC(control, dc);
            SendMessageA(control, WM_PAINT, 0, 0);
            SendMessageA(control, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&sizes[i % 2]));
            if (i % 100 == 0)
                plugin.sendCreate(frame);   // a new ruler font replaces the old one
        }
    };
    round(50);   // the control's own caches settle
    pumpPending();
    std::map<DWORD, int> before = countGdiObjectsByType();
    int total = count();
    round(1000);
    pumpPending();
    std::map<DWORD, int> after = countGdiObjectsByType();
    EXPECT_EQ(total, count()) << "before: " << countsText(before) << "after: " << countsText(after);
}
