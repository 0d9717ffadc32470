#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "compose/tab_expand.h"

// Expands through a buffer sized the way the compose hook sizes it.
static std::string expand(const std::string& text, unsigned startColumn, unsigned tabWidth)
{
    const size_t capacity = expandedCapacity(countTabs(text.c_str()), text.size(), tabWidth);
    std::vector<char> out(capacity, 'x');
    const size_t n = expandTabsInto(text.c_str(), startColumn, tabWidth, out.data(), out.size());
    if (n == (size_t)-1)
        return "<too small>";
    return std::string(out.data(), n);
}

TEST(TabExpansion, TabsReachTheNextStopFromTheStartColumn)
{
    struct { const char* name; std::string text; unsigned start, width; std::string expected; } cases[] = {
        {"three letters then a tab", "abc\tx", 0, 8, "abc     x"},
        {"a tab after LF starts a fresh line", "abc\tx\n\ty", 0, 8, "abc     x\n        y"},
        {"two tabs at column 0, width 4", "\t\t", 0, 4, "        "},
        {"caret at column 3", "\tz", 3, 8, "     z"},
        {"double-byte character takes two columns", "\x88\x9f\t|", 0, 4, "\x88\x9f  |"},
        {"CR counts a column, only LF resets", "a\r\tb", 0, 4, "a\r  b"},
        {"start column beyond a stop", "\t", 13, 4, "   "},
        {"width 0 falls back to 8", "ab\t", 0, 0, "ab      "},
        {"no tabs: copied unchanged", "> \x82\xa0\r\n", 5, 8, "> \x82\xa0\r\n"},
    };
    for (auto& c : cases)
        EXPECT_EQ(c.expected, expand(c.text, c.start, c.width)) << c.name;
}

TEST(TabExpansion, CountsAndCapacity)
{
    EXPECT_EQ(0u, countTabs("no tabs \x82\xa0 here"));
    EXPECT_EQ(3u, countTabs("\ta\t\tb"));
    EXPECT_EQ(0u, countTabs(nullptr));
    EXPECT_EQ(2u * 4 + 7 + 1, expandedCapacity(2, 7, 4));
    EXPECT_EQ(2u * 8 + 7 + 1, expandedCapacity(2, 7, 0)) << "width 0 must size for 8";
    EXPECT_EQ(0u, expandedCapacity(SIZE_MAX / 2, 0, 4)) << "tabs * width overflows";
    EXPECT_EQ(0u, expandedCapacity(1, SIZE_MAX - 4, 4)) << "length + spaces overflows";
    EXPECT_EQ(3u, insertionStartColumn(103, 100));
    EXPECT_EQ(0u, insertionStartColumn(90, 100)) << "selection starting on an earlier line";
}

TEST(TabExpansion, TooSmallOutputIsNeverOverrun)
{
    const char* text = "ab\tc\td";  // expands to 2 + 6 + 1 + 7 + 1 = 17 bytes at width 8
    char out[32];
    for (size_t size = 0; size <= 18; ++size) {
        memset(out, '#', sizeof out);
        const size_t n = expandTabsInto(text, 0, 8, out, size);
        const size_t expected = size >= 18 ? 17 : (size_t)-1;
        EXPECT_EQ(expected, n) << "output size " << size;
        for (size_t i = size; i < sizeof out; ++i)
            ASSERT_EQ('#', out[i]) << "byte " << i << " written with output size " << size;
    }
}

TEST(TabExpansion, TabKeySpaces)
{
    struct { unsigned column, width, expected; } cases[] = {{0, 8, 8}, {7, 8, 1}, {8, 8, 8}, {9, 4, 3}, {5, 0, 3}};
    for (auto& c : cases)
        EXPECT_EQ(c.expected, spacesForTabKey(c.column, c.width))
            << "column " << c.column << " width " << c.width;
}
