// Hostile text through the line walk and position counting of both rich edit
// versions: the spans must tile the text and the positions must add up.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "compose/line_positions.h"

static void check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

// Bytes of the break that ends at `end`: CR or LF, and on RichEdit 2.0 the LF
// of a CR LF pair too.
static size_t separatorBytes(const char* text, size_t length, size_t end, bool re20)
{
    if (re20 && end + 1 < length && text[end + 1] == '\n')
        return 2;
    return 1;
}

static void checkWalk(const char* text, size_t length, int64_t start, bool re20)
{
    const char separator = re20 ? '\r' : '\n';
    LineWalk w;
    LineSpan s;
    beginLineWalk(&w, text, length, start, re20, cp932Table());
    size_t expectedByte = 0;
    int64_t expectedCp = start;
    size_t lines = 0;
    bool endedAtText = false;
    while (nextLine(&w, &s)) {
        check(++lines <= length + 1, "more lines than bytes");
        check(!endedAtText, "a line after the text's end");
        check(s.byteStart == expectedByte, "spans do not follow each other");
        check(s.byteLength <= length - s.byteStart, "span beyond the text");
        check(s.cpStart == expectedCp, "positions do not add up");
        check(s.cpLength >= 0 && (uint64_t)s.cpLength <= s.byteLength, "more positions than bytes");
        if (!re20)
            check((uint64_t)s.cpLength == s.byteLength, "1.0 line not counted in bytes");
        check(memchr(text + s.byteStart, separator, s.byteLength) == nullptr, "separator inside a line");
        const size_t end = s.byteStart + s.byteLength;
        expectedCp += s.cpLength + 1;
        if (end == length) {
            endedAtText = true;
            continue;
        }
        check(text[end] == separator, "line ends on no separator");
        expectedByte = end + separatorBytes(text, length, end, re20);
    }
    check(lines >= 1, "no line at all");
    check(endedAtText || expectedByte >= length, "text not covered to its end");
}

static void checkPasteAndWiden(const char* text, size_t length, bool re20)
{
    const int64_t count = pastedPositionCount(text, length, re20, cp932Table());
    check(count >= 0 && (uint64_t)count <= length, "paste counts more positions than bytes");
    check((uint64_t)count * 2 >= length, "paste counts fewer than half the bytes");
    if (!re20)
        check((uint64_t)count == length, "1.0 paste not counted in bytes");

    const size_t crs = countByte(text, length, '\r');
    const size_t need = length + crs + 1;
    char* out = (char*)malloc(need);
    const size_t n = widenLineBreaks(text, length, out, need);
    check(n == length + crs && out[n] == '\0', "widening refused or miscounted");
    check(countByte(out, n, '\n') == countByte(text, length, '\n') + crs, "CR without its LF");
    free(out);
    out = (char*)malloc(need - 1);
    check(widenLineBreaks(text, length, out, need - 1) == (size_t)-1, "short buffer accepted");
    free(out);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    int32_t start;
    memcpy(&start, data, 4);  // a control position: the walk takes it as given
    // An exact-size heap copy, so that reading past the slice is caught.
    const size_t length = size - 4;
    char* text = (char*)malloc(length ? length : 1);
    memcpy(text, data + 4, length);
    for (int re20 = 0; re20 < 2; ++re20) {
        checkWalk(text, length, start, re20 != 0);
        checkPasteAndWiden(text, length, re20 != 0);
    }
    free(text);
    return 0;
}
