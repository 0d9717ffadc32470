// Ruler and margin line, drawn straight onto the compose control's client
// area: a strip of column ticks with a digit every ten columns and a marker
// over the caret's column along the top edge, and a vertical line at the
// margin column. Neither is a window; each draw repaints from the current
// settings, selection and text, and every pen, brush and measuring font is
// deleted before the routine returns. Only the ruler font lives on.
#include <string.h>
#include "compose/compose.h"
#include "compose/ruler_geometry.h"

static const char RULER_FACE[] = "ＭＳ ゴシック";
static const int RULER_POINT_SIZE = 8;

// Rows of the tick band and caret marker, counted up from the strip's bottom.
static const int BAND_TOP_FROM_BOTTOM = 6;     // first row: H - 6
static const int BAND_END_FROM_BOTTOM = 1;     // rows end before H - 1

// A RichEdit 2.0 control copies the caret's line as narrow text, in which a
// character may take two bytes. A control that counted the limit in
// characters would write twice the limit; a line is therefore asked for in
// full only when it fits the buffer even at two bytes a character, and a
// longer one only for as many characters as surely fit.
static const WORD FULL_LINE_REQUEST = static_cast<WORD>(CARET_LINE_READ_LIMIT);
static const WORD SAFE_WIDE_REQUEST = static_cast<WORD>((LINE_BUFFER_SIZE - 1) / 2);

static int pointsToPixels(HDC dc, int points)
{
    return -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
}

void measureEditorFont(HWND control)
{
    HDC dc = GetDC(control);
    if (!dc)
        return;
    // Whole points: the size is cut to a point before it becomes pixels.
    HFONT font = CreateFontA(pointsToPixels(dc, settings.editorFontHeight / 20), 0, 0, 0,
                             (settings.editorFontEffects & CFE_BOLD) ? FW_BOLD : FW_NORMAL,
                             (settings.editorFontEffects & CFE_ITALIC) ? TRUE : FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS, DEFAULT_QUALITY, 0,
                             settings.editorFontFace);
    HGDIOBJ previous = font ? SelectObject(dc, font) : NULL;
    TEXTMETRICA metrics;
    if (GetTextMetricsA(dc, &metrics))
        compose.editorCharWidth = metrics.tmAveCharWidth;
    if (previous)
        SelectObject(dc, previous);
    if (font)
        DeleteObject(font);
    ReleaseDC(control, dc);
}

void createRulerFont(HWND control)
{
    HDC dc = GetDC(control);
    if (compose.rulerFont) {
        DeleteObject(compose.rulerFont);
        compose.rulerFont = NULL;
    }
    if (!dc)
        return;
    compose.rulerFont = CreateFontA(pointsToPixels(dc, RULER_POINT_SIZE), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS, DEFAULT_QUALITY, 0,
                                  RULER_FACE);
    HGDIOBJ previous = compose.rulerFont ? SelectObject(dc, compose.rulerFont) : NULL;
    TEXTMETRICA metrics;
    if (GetTextMetricsA(dc, &metrics))
        compose.rulerHeight = metrics.tmHeight + metrics.tmExternalLeading + 1;
    if (previous)
        SelectObject(dc, previous);
    ReleaseDC(control, dc);
}

// The grid needs a column width. A font that measures 0 wide gives no grid
// at all: every column would fall on x = 8 and the margin line with them.
static bool haveColumnWidth(HWND control)
{
    if (compose.editorCharWidth <= 0)
        measureEditorFont(control);
    return compose.editorCharWidth > 0;
}

void drawMarginLine(HWND control, HDC dc)
{
    if (settings.marginColumn <= 0 || !haveColumnWidth(control))
        return;
    SetBkMode(dc, TRANSPARENT);
    RECT client;
    GetClientRect(control, &client);
    const int x = columnX(settings.marginColumn, compose.editorCharWidth);
    const int top = settings.showRuler ? compose.rulerHeight : 0;
    HPEN pen = CreatePen(PS_SOLID, 1, rgbOnly(settings.marginColor));
    HGDIOBJ previous = pen ? SelectObject(dc, pen) : NULL;
    MoveToEx(dc, x, top, NULL);
    LineTo(dc, x, client.bottom);
    if (previous)
        SelectObject(dc, previous);
    if (pen)
        DeleteObject(pen);
}

static uint32_t rawOffsetColumn(HWND control, int64_t offset)
{
    return caretColumnForLine(CARET_LINE_READ_LIMIT + 1, offset, NULL, 0, settings.tabWidth,
                              isRichEdit20(control), systemDbcsTable());
}

// Characters (control positions) that `length` bytes of line text hold.
static int64_t charactersIn(HWND control, const char* text, size_t length)
{
    if (!isRichEdit20(control) || length == 0)
        return static_cast<int64_t>(length);
    return MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), NULL, 0);
}

// The column the caret stands in, counted over the text of its line. The
// selection's end is taken, so a selection made backwards still marks where
// it ends rather than where the caret blinks.
static uint32_t caretColumn(HWND control)
{
    CHARRANGE selection = {0, 0};
    SendMessageA(control, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    const LRESULT line = SendMessageA(control, EM_EXLINEFROMCHAR, 0, selection.cpMax);
    LRESULT lineStart = SendMessageA(control, EM_LINEINDEX, static_cast<WPARAM>(line), 0);
    if (lineStart < 0)
        lineStart = 0;
    const int64_t offset = static_cast<int64_t>(selection.cpMax) - lineStart;
    const int64_t lineChars = SendMessageA(control, EM_LINELENGTH, static_cast<WPARAM>(lineStart), 0);
    // A line too long to read gives the raw offset.
    if (lineChars > CARET_LINE_READ_LIMIT)
        return rawOffsetColumn(control, offset);
    if (offset <= 0)
        return 0;

    char* buffer = compose.lineBuffer;
    const WORD request =
        isRichEdit20(control) && lineChars > SAFE_WIDE_REQUEST ? SAFE_WIDE_REQUEST : FULL_LINE_REQUEST;
    // Cleared first: a control may report more bytes than it wrote, and
    // what it left alone must end the text instead of an earlier line.
    memset(buffer, 0, sizeof compose.lineBuffer);
    memcpy(buffer, &request, sizeof request);
    const LRESULT copied = SendMessageA(control, EM_GETLINE, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(buffer));
    const size_t length = copiedLineLength(buffer, sizeof compose.lineBuffer, copied);
    // A read that stops short of the caret (the request was cut, or the
    // control copied less) cannot place it; the raw offset is the honest
    // fallback, the same as for a line too long to read.
    if (charactersIn(control, buffer, length) < offset)
        return rawOffsetColumn(control, offset);
    return caretColumnForLine(lineChars, offset, buffer, length, settings.tabWidth, isRichEdit20(control),
                              systemDbcsTable());
}

// The band below the digits is cleared on every draw so that a marker that
// moved leaves nothing behind; the digit row above it is not touched.
static void eraseTickBand(HDC dc, int clientRight, int H)
{
    if (clientRight <= COLUMN_ORIGIN_X)
        return;
    const COLORREF back = rgbOnly(settings.editorBackColor);
    HBRUSH brush = CreateSolidBrush(back);
    HPEN pen = CreatePen(PS_SOLID, 1, back);
    HGDIOBJ previousBrush = brush ? SelectObject(dc, brush) : NULL;
    HGDIOBJ previousPen = pen ? SelectObject(dc, pen) : NULL;
    Rectangle(dc, COLUMN_ORIGIN_X, H - BAND_TOP_FROM_BOTTOM, clientRight, H - BAND_END_FROM_BOTTOM);
    if (previousPen)
        SelectObject(dc, previousPen);
    if (previousBrush)
        SelectObject(dc, previousBrush);
    if (pen)
        DeleteObject(pen);
    if (brush)
        DeleteObject(brush);
}

// Ticks and digits with the current pen and font; returns the last column
// drawn, or -1 when none fits.
static int32_t drawTicks(HDC dc, int clientRight, int w, int H)
{
    const int32_t last = rulerLastColumn(clientRight, w);
    for (int32_t n = 0; n <= last; ++n) {
        const int x = columnX(n, w);
        char digit;
        int32_t digitX;
        if (rulerDigit(n, w, &digit, &digitX))
            TextOutA(dc, digitX, 0, &digit, 1);
        MoveToEx(dc, x, tickTopRow(n, H), NULL);
        LineTo(dc, x, H - 1);
    }
    return last;
}

static void drawCaretMarker(HWND control, HDC dc, int32_t last, int w, int H)
{
    if (last < 0)
        return;
    const MarkerSpan span = caretMarkerSpan(caretColumn(control), last, w);
    if (!span.visible)
        return;
    // Drawn with the ruler pen around a brush of the same colour: one solid
    // block from the left edge up to (not including) the right.
    HBRUSH brush = CreateSolidBrush(rgbOnly(settings.rulerColor));
    HGDIOBJ previous = brush ? SelectObject(dc, brush) : NULL;
    Rectangle(dc, span.left, H - BAND_TOP_FROM_BOTTOM, span.right, H - BAND_END_FROM_BOTTOM);
    if (previous)
        SelectObject(dc, previous);
    if (brush)
        DeleteObject(brush);
}

void drawRuler(HWND control, HDC dc)
{
    if (!settings.showRuler || !haveColumnWidth(control))
        return;
    // On RichEdit 2.0 the ruler belongs to controls that keep their
    // selection shown, as the host's compose control does; any other one
    // gets none (its text area still starts below the strip).
    if (isRichEdit20(control) && !(SendMessageA(control, EM_GETOPTIONS, 0, 0) & ECO_NOHIDESEL))
        return;
    const int w = compose.editorCharWidth;
    const int H = compose.rulerHeight;
    SetBkMode(dc, TRANSPARENT);
    RECT client;
    GetClientRect(control, &client);
    HGDIOBJ previousFont = compose.rulerFont ? SelectObject(dc, compose.rulerFont) : NULL;
    const COLORREF color = rgbOnly(settings.rulerColor);
    SetTextColor(dc, color);

    eraseTickBand(dc, client.right, H);

    HPEN pen = CreatePen(PS_SOLID, 1, color);
    HGDIOBJ previousPen = pen ? SelectObject(dc, pen) : NULL;
    const int32_t last = drawTicks(dc, client.right, w, H);
    if (previousFont)
        SelectObject(dc, previousFont);
    if (last >= 0) {
        MoveToEx(dc, COLUMN_ORIGIN_X, H - 1, NULL);
        LineTo(dc, columnX(last, w), H - 1);
    }
    drawCaretMarker(control, dc, last, w, H);
    if (previousPen)
        SelectObject(dc, previousPen);
    if (pen)
        DeleteObject(pen);
}

void redrawMarginLine(HWND control)
{
    HDC dc = GetDC(control);
    if (!dc)
        return;
    drawMarginLine(control, dc);
    ReleaseDC(control, dc);
}

void redrawRuler(HWND control)
{
    HDC dc = GetDC(control);
    if (!dc)
        return;
    drawRuler(control, dc);
    ReleaseDC(control, dc);
}

// The text starts below the strip: the host's formatting rectangle is moved
// down before the control sees it.
void adjustFormatRect(RECT* rect)
{
    if (rect && settings.showRuler)
        rect->top += compose.rulerHeight;
}

// The face in a CHARFORMAT fills its 32 bytes without a terminator when it
// is that long.
static size_t faceLength(const char* face)
{
    const void* nul = memchr(face, '\0', LF_FACESIZE);
    return nul ? static_cast<size_t>(static_cast<const char*>(nul) - face) : LF_FACESIZE;
}

static bool takeFace(const char* face)
{
    const size_t length = faceLength(face);
    if (length == strlen(settings.editorFontFace) && memcmp(face, settings.editorFontFace, length) == 0)
        return false;
    memcpy(settings.editorFontFace, face, length);
    settings.editorFontFace[length] = '\0';
    return true;
}

// Follows the host's font changes on the control. Only the leading
// CHARFORMAT members are read, so a CHARFORMAT2 serves as well; a structure
// that claims to be smaller is not read at all.
void trackEditorFont(HWND control, const CHARFORMATA* format)
{
    if (!format || format->cbSize < sizeof(CHARFORMATA))
        return;
    bool changed = false;
    if ((format->dwMask & CFM_SIZE) && format->yHeight != settings.editorFontHeight) {
        settings.editorFontHeight = format->yHeight;
        changed = true;
    }
    if ((format->dwMask & CFM_FACE) && takeFace(format->szFaceName))
        changed = true;
    // Either mask bit brings both effects: the pair is taken together.
    const int effects = static_cast<int>(format->dwEffects & (CFE_BOLD | CFE_ITALIC));
    if ((format->dwMask & (CFM_BOLD | CFM_ITALIC)) && effects != settings.editorFontEffects) {
        settings.editorFontEffects = effects;
        changed = true;
    }
    if (changed)
        measureEditorFont(control);
}
