#include <gtest/gtest.h>

#include <string>

#include "compose/ruler_geometry.h"

TEST(CaretColumn, WalkOverTabsAndDoubleByteCharacters)
{
    struct { const char* name; std::string line; int64_t offset; unsigned width; bool re20; uint32_t expected; } cases[] = {
        {"caret at line start", "a\tb", 0, 8, true, 0},
        {"after letter and tab", "a\tb", 2, 8, true, 8},
        {"after the second letter", "a\tb", 3, 8, true, 9},
        {"tab met at column 8 goes to 16", "abcdefgh\tx", 9, 8, false, 16},
        {"double-byte character, 2.0", "\x88\x9f" "a", 2, 8, true, 3},
        {"double-byte character, 1.0", "\x88\x9f" "a", 3, 8, false, 3},
        {"lead byte last in the line, 2.0", "a\x88", 5, 8, true, 2},
        {"offset beyond the line stops at its end", "ab", 10, 8, true, 2},
        {"tab width 0 taken as 8", "\t", 1, 0, true, 8},
        {"negative offset", "abc", -1, 8, true, 0},
    };
    for (auto& c : cases)
        EXPECT_EQ(c.expected, caretColumnWalk(c.line.data(), c.line.size(), c.offset, c.width, c.re20, cp932Table()))
            << c.name;
}

TEST(CaretColumn, LongLinesAndCopiedText)
{
    const char line[] = "\t\tab";
    EXPECT_EQ(17u, caretColumnForLine(1024, 3, line, 4, 8, true, cp932Table()));
    EXPECT_EQ(3u, caretColumnForLine(1025, 3, nullptr, 0, 8, true, cp932Table())) << "long line: raw offset";

    const char buf[8] = {'a', '\t', 'b', '\0', 'z', 'z', 'z', 'z'};
    EXPECT_EQ(3u, copiedLineLength(buf, sizeof buf, 6)) << "ends at the first NUL";
    EXPECT_EQ(2u, copiedLineLength(buf, sizeof buf, 2)) << "ends at the count copied";
    EXPECT_EQ(0u, copiedLineLength(buf, sizeof buf, -1));
    EXPECT_EQ(4u, copiedLineLength(buf + 4, 4, 1000)) << "a count past the buffer is cut at its size";
}

TEST(RulerGeometry, TicksAndDigitsAtWidth7Height12)
{
    const int32_t w = 7, H = 12;
    struct { int32_t n, x, top; } ticks[] = {{0, 8, 0}, {5, 43, 6}, {10, 78, 9}, {3, 29, 9}, {15, 113, 6}, {20, 148, 9}};
    for (auto& t : ticks) {
        EXPECT_EQ(t.x, columnX(t.n, w)) << "x of column " << t.n;
        EXPECT_EQ(t.top, tickTopRow(t.n, H)) << "top row of column " << t.n;
    }
    struct { int32_t n; bool shown; char digit; int32_t x; } digits[] = {
        {0, false, 0, 0}, {3, false, 0, 0}, {10, true, '1', 77}, {100, true, '0', 707}, {110, true, '1', 777},
    };
    for (auto& d : digits) {
        char digit = 0;
        int32_t x = -1;
        ASSERT_EQ(d.shown, rulerDigit(d.n, w, &digit, &x)) << "column " << d.n;
        if (d.shown) {
            EXPECT_EQ(std::string(1, d.digit) + "@" + std::to_string(d.x), std::string(1, digit) + "@" + std::to_string(x))
                << "digit and x of column " << d.n;
        }
    }
}

TEST(RulerGeometry, LastColumnAndMarkerClipping)
{
    struct { int32_t right, w, last; } lasts[] = {{7, 7, -1}, {8, 7, 0}, {14, 7, 0}, {15, 7, 1}, {500, 0, -1}, {500, -3, -1}};
    for (auto& l : lasts)
        EXPECT_EQ(l.last, rulerLastColumn(l.right, l.w)) << "client right " << l.right << " width " << l.w;

    struct { uint32_t c; int32_t last, w; bool visible; int32_t left, right; } marks[] = {
        {3, 20, 7, true, 29, 36} /* x = 29 to 35 */, {0, 10, 7, true, 8, 15}, {9, 10, 7, true, 71, 78} /* ends at X(last) */, {10, 10, 4, false, 0, 0},
        {11, 10, 7, false, 0, 0}, {0, -1, 7, false, 0, 0}, {UINT32_MAX, 100, 7, false, 0, 0} /* must not wrap */,
    };
    for (auto& k : marks) {
        const MarkerSpan m = caretMarkerSpan(k.c, k.last, k.w);
        EXPECT_EQ(k.visible, m.visible) << "caret " << k.c << " last " << k.last;
        if (k.visible && m.visible) {
            EXPECT_EQ(k.left, m.left) << "left of caret " << k.c << " last " << k.last;
            EXPECT_EQ(k.right, m.right) << "right of caret " << k.c << " last " << k.last;
        }
    }
}
