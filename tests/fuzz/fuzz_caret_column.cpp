// Hostile caret lines through the caret-column walk, and random client sizes
// through the ruler geometry the marker is drawn with.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "compose/ruler_geometry.h"
#include "compose/tab_expand.h"

static void check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

struct Header {
    uint16_t offset;
    uint8_t tabWidth;
    uint8_t flags;
    int32_t clientRight;
    uint8_t charWidth;
    uint8_t height;
};

static void checkWalk(const char* line, size_t length, int64_t offset, unsigned tabWidth, bool re20)
{
    const uint32_t col = caretColumnWalk(line, length, offset, tabWidth, re20, cp932Table());
    const uint64_t width = usableTabWidth(tabWidth);
    const uint64_t steps = offset < 0 ? 0 : (uint64_t)offset < length ? (uint64_t)offset : length;
    check(col <= steps * (width > 2 ? width : 2), "column wider than the bytes walked allow");
    check(col >= (steps > 0 ? 1 : 0), "a character walked but no column");
    if (offset > 0) {
        const uint32_t before = caretColumnWalk(line, length, offset - 1, tabWidth, re20, cp932Table());
        check(before <= col, "column went back as the caret moved on");
    }
    const uint32_t atEnd = caretColumnWalk(line, length, (int64_t)length, tabWidth, re20, cp932Table());
    if ((uint64_t)offset >= length)
        check(col == atEnd, "walk did not stop at the line's end");
}

static void checkRuler(int32_t clientRight, int32_t w, int32_t H, uint32_t caret)
{
    const int32_t last = rulerLastColumn(clientRight, w);
    if (last < 0) {
        check(w < 1 || clientRight < COLUMN_ORIGIN_X, "columns missing");
        check(!caretMarkerSpan(caret, last, w).visible, "marker without columns");
        return;
    }
    check(columnX(last, w) <= clientRight, "last column beyond the client");
    check(columnX((int64_t)last + 1, w) > clientRight || columnX((int64_t)last + 1, w) == INT32_MAX,
          "a column left out");
    const int32_t top = tickTopRow(last, H);
    check(top == 0 || top == H - 3 || top == H - 6, "tick top off its rows");
    const MarkerSpan m = caretMarkerSpan(caret, last, w);
    if (m.visible) {
        check(m.left == columnX(caret, w) && m.left < m.right, "marker misplaced");
        check(m.right <= columnX(last, w) && m.right - m.left <= w, "marker too wide");
    } else {
        check(caret >= (uint32_t)last, "marker hidden before the last column");
    }
    char digit = 0;
    int32_t x = 0;
    if (rulerDigit(last, w, &digit, &x))
        check(digit >= '0' && digit <= '9' && x <= columnX(last, w), "digit off");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Header h;
    if (size < sizeof h)
        return 0;
    memcpy(&h, data, sizeof h);
    const size_t length = size - sizeof h;
    char* line = (char*)malloc(length ? length : 1);
    memcpy(line, data + sizeof h, length);
    const bool re20 = (h.flags & 1) != 0;

    const size_t readLength = copiedLineLength(line, length, (int64_t)h.offset);
    check(readLength <= length && memchr(line, '\0', readLength) == nullptr, "copied length off");
    checkWalk(line, length, (int64_t)h.offset, h.tabWidth, re20);
    checkWalk(line, readLength, (int64_t)h.offset - 1, h.tabWidth, re20);
    const uint32_t caret = caretColumnForLine((int64_t)length, h.offset, line, readLength,
                                              h.tabWidth, re20, cp932Table());
    if ((int64_t)length > CARET_LINE_READ_LIMIT)
        check(caret == h.offset, "long line not given the raw offset");
    checkRuler(h.clientRight, (int32_t)h.charWidth - 8, (int32_t)h.height, caret);
    free(line);
    return 0;
}
