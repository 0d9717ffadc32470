#include "compose/ruler_geometry.h"

#include <cstring>

#include "compose/tab_expand.h"

// A caret column far beyond the window must still compare as "right of the
// last column" instead of wrapping into a small x.
static int32_t clampToInt32(int64_t v)
{
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return (int32_t)v;
}

int32_t columnX(int64_t n, int32_t w)
{
    // n and w are each well inside 2^32, so the product fits in 64 bits.
    if (n > INT32_MAX)
        n = INT32_MAX;
    if (n < INT32_MIN)
        n = INT32_MIN;
    return clampToInt32(COLUMN_ORIGIN_X + n * (int64_t)w);
}

int32_t rulerLastColumn(int32_t clientRight, int32_t w)
{
    // A zero width would put every column on x = 8 and the tick loop would
    // never reach the right edge.
    if (w < 1 || clientRight < COLUMN_ORIGIN_X)
        return -1;
    return (clientRight - COLUMN_ORIGIN_X) / w;
}

int32_t tickTopRow(int32_t n, int32_t H)
{
    if (n == 0)
        return 0;
    if (n % 10 == 0)
        return H - 3;
    if (n % 5 == 0)
        return H - 6;
    return H - 3;
}

bool rulerDigit(int32_t n, int32_t w, char* digit, int32_t* x)
{
    if (n <= 0 || n % 10 != 0)
        return false;
    if (digit)
        *digit = (char)('0' + (n / 10) % 10);
    if (x)
        *x = clampToInt32((int64_t)columnX(n, w) - w / 4);
    return true;
}

MarkerSpan caretMarkerSpan(uint32_t caretColumn, int32_t last, int32_t w)
{
    MarkerSpan span = {false, 0, 0};
    if (last < 0 || w < 1)
        return span;
    const int32_t left = columnX(caretColumn, w);
    const int32_t lastX = columnX(last, w);
    if (left >= lastX)
        return span;
    const int64_t right = (int64_t)left + w;
    span.visible = true;
    span.left = left;
    span.right = right < lastX ? (int32_t)right : lastX;
    return span;
}

// The column is kept in 64 bits: a long line of tabs with a wide stop cannot
// wrap it, and the result saturates instead.
uint32_t caretColumnWalk(const char* line, size_t lineLength, int64_t offset,
                         unsigned tabWidth, bool isRichEdit20, const DbcsTable& dbcs)
{
    const uint64_t width = usableTabWidth(tabWidth);
    uint64_t col = 0;
    if (!line || offset <= 0)
        return 0;
    size_t j = 0;
    int64_t k = 0;
    while (j < lineLength && k < offset) {
        const unsigned char b = (unsigned char)line[j];
        if (b == '\t') {
            col = (col / width + 1) * width;
        } else if (isRichEdit20 && j + 1 < lineLength && isLeadByte(dbcs, b)
                   && isTrailByte(dbcs, (unsigned char)line[j + 1])) {
            // RichEdit 2.0 counts the pair as one character of two columns.
            col += 2;
            ++j;
        } else {
            col += 1;
        }
        ++j;
        ++k;
    }
    return col > UINT32_MAX ? UINT32_MAX : (uint32_t)col;
}

uint32_t caretColumnForLine(int64_t lineChars, int64_t offset, const char* line,
                            size_t lineLength, unsigned tabWidth, bool isRichEdit20,
                            const DbcsTable& dbcs)
{
    if (lineChars > CARET_LINE_READ_LIMIT) {
        if (offset <= 0)
            return 0;
        return offset > UINT32_MAX ? UINT32_MAX : (uint32_t)offset;
    }
    return caretColumnWalk(line, lineLength, offset, tabWidth, isRichEdit20, dbcs);
}

size_t copiedLineLength(const char* buf, size_t bufSize, int64_t copied)
{
    if (!buf || copied <= 0)
        return 0;
    const size_t limit = (uint64_t)copied < bufSize ? (size_t)copied : bufSize;
    const void* nul = memchr(buf, '\0', limit);
    return nul ? (size_t)((const char*)nul - buf) : limit;
}
