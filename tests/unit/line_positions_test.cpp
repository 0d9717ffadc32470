#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "compose/line_positions.h"
#include "compose/touched_span.h"

// The spans a walk yields, written "[cpStart,cpEnd) bytes b+n;" so that a
// failure shows the whole walk.
static std::string walk(const std::string& text, int64_t start, bool isRichEdit20)
{
    LineWalk w;
    LineSpan s;
    std::ostringstream o;
    beginLineWalk(&w, text.data(), text.size(), start, isRichEdit20, cp932Table());
    while (nextLine(&w, &s))
        o << "[" << s.cpStart << "," << s.cpStart + s.cpLength << ") bytes "
          << s.byteStart << "+" << s.byteLength << ";";
    return o.str();
}

TEST(LineWalk, SpansOnBothControlVersions)
{
    struct { const char* name; std::string text; bool re20; std::string expected; } cases[] = {
        {"a CR LF b, 2.0", "a\r\nb", true, "[10,11) bytes 0+1;[12,13) bytes 3+1;"},
        {"a CR LF b, 1.0: the CR stays on its line", "a\r\nb", false, "[10,12) bytes 0+2;[13,14) bytes 3+1;"},
        {"ends in a break, 2.0", "> q\r\nx\r\n", true, "[10,13) bytes 0+3;[14,15) bytes 5+1;"},
        {"ends in a break, 1.0", "> q\r\nx\r\n", false, "[10,14) bytes 0+4;[15,17) bytes 5+2;"},
        {"empty text", "", true, "[10,10) bytes 0+0;"},
        {"double-byte characters, 2.0", "\x82\xa0\x82\xa2\rz", true, "[10,12) bytes 0+4;[13,14) bytes 5+1;"},
        {"double-byte characters, 1.0", "\x82\xa0\x82\xa2\nz", false, "[10,14) bytes 0+4;[15,16) bytes 5+1;"},
        {"lead byte ends a line, 2.0", "a\x82\rb", true, "[10,11) bytes 0+2;[12,13) bytes 3+1;"},
        {"bare CR on 2.0, empty line between", "a\r\rb", true, "[10,11) bytes 0+1;[12,12) bytes 2+0;[13,14) bytes 3+1;"},
        {"bare LF is text on 2.0", "a\nb", true, "[10,13) bytes 0+3;"},
    };
    for (auto& c : cases)
        EXPECT_EQ(c.expected, walk(c.text, 10, c.re20)) << c.name;
}

TEST(LineWalk, MultibyteCharCount)
{
    // A lead byte takes the next byte whatever it is; half-width katakana are single bytes.
    struct { std::string text; int64_t expected; } cases[] = {{"abc", 3}, {"\x82\xa0" "a", 2}, {"\x82", 0}, {"\x82" "a", 1}, {"\xa0\xa0", 2}};
    for (auto& c : cases)
        EXPECT_EQ(c.expected, multibyteCharCount(c.text.data(), c.text.size(), cp932Table()))
            << "text of " << c.text.size() << " bytes starting " << std::hex << (int)(unsigned char)c.text[0];
}

TEST(LineWalk, PastedPositionCount)
{
    struct { const char* name; std::string text; int64_t re20, re10; } cases[] = {
        {"CR LF is one on 2.0", "a\r\nb", 3, 4},
        {"lead + trail is one on 2.0", "\x82\xa0" "b", 2, 3},
        {"lead + non-trail counts each byte", "\x82\x0d\x0a", 2, 3},
        {"lone CR and lone LF", "\r\n\n\r", 3, 4},
        {"lead byte at the end", "a\x82", 2, 2},
        {"empty", "", 0, 0},
    };
    for (auto& c : cases) {
        EXPECT_EQ(c.re20, pastedPositionCount(c.text.data(), c.text.size(), true, cp932Table())) << c.name << " (2.0)";
        EXPECT_EQ(c.re10, pastedPositionCount(c.text.data(), c.text.size(), false, cp932Table())) << c.name << " (1.0)";
    }
}

TEST(LineWalk, WidenLineBreaksForReinsertion)
{
    const std::string text = "> a\rb\r";
    ASSERT_EQ(2u, countByte(text.data(), text.size(), '\r'));
    char out[16];
    const size_t needed = text.size() + 2 + 1;
    for (size_t size = 0; size <= needed; ++size) {
        memset(out, '#', sizeof out);
        const size_t n = widenLineBreaks(text.data(), text.size(), out, size);
        if (size < needed) {
            EXPECT_EQ((size_t)-1, n) << "output size " << size;
        } else {
            EXPECT_EQ(std::string("> a\r\nb\r\n"), std::string(out, n));
            EXPECT_EQ('\0', out[n]);
        }
        for (size_t i = size; i < sizeof out; ++i)
            ASSERT_EQ('#', out[i]) << "byte " << i << " written with output size " << size;
    }
}

// The lines around an edit, found in a window of the text object model's
// text (a position per UTF-16 unit, breaks as each control keeps them), and
// the lines of such a text one by one.
TEST(ParagraphBounds, LinesAroundPositionsInAWindow)
{
    struct { const char* name; std::u16string text; size_t from, to; std::string expected; } cases[] = {
        {"middle line", u"ab\r> cd\ref", 4, 5, "3-7 found both"},
        {"a Japanese character is one position", u"\u3042\r> x\ry", 3, 3, "2-5 found both"},
        {"CR LF as a 1.0 control may keep it", u"ab\r\n> cd\r\nef", 5, 5, "4-8 found both"},
        {"a position inside CR LF belongs to the line before", u"> a\r\nb", 4, 4, "0-3 found end"},
        {"no break before: the window's start", u"> cd\ref", 1, 1, "0-4 found end"},
        {"no break after: the window's end", u"ab\r> cd", 5, 6, "3-7 found start"},
        {"a caret at a line's end stops there", u"ab\r> cd\ref", 7, 7, "3-7 found both"},
        {"a caret after a break takes the next line", u"ab\r> cd\ref", 8, 8, "8-10 found start"},
    };
    for (const auto& c : cases) {
        const ParagraphBounds b = paragraphBounds(c.text.data(), c.text.size(), c.from, c.to);
        std::ostringstream o;
        o << b.start << "-" << b.end << " found"
          << (b.startFound && b.endFound ? " both" : b.startFound ? " start" : b.endFound ? " end" : " none");
        EXPECT_EQ(c.expected, o.str()) << c.name;
    }
    const struct { const char* name; std::u16string text; std::string lines; } walks[] = {
        {"CR, LF and CR LF each end one line", u"a\rbc\nd\r\n\r\ne", "0+1 2+2 5+1 8+0 10+1"},
        {"a final break adds no line", u"> a\r", "0+3"},
        {"an empty text has none", u"", ""},
    };
    for (const auto& w : walks) {
        std::ostringstream o;
        size_t next = 0;
        TextLine line;
        while (nextTextLine(w.text.data(), w.text.size(), &next, &line))
            o << (o.tellp() > 0 ? " " : "") << line.start << "+" << line.length;
        EXPECT_EQ(w.lines, o.str()) << w.name;
    }
}

// The positions an edit may have changed, from the selection and the length
// before and after it, or from the text before and after an undo.
struct SpanCase { const char* name; int64_t beforeMin, afterMin, afterMax, growth; bool atSelection; int64_t from, to; };

TEST(TouchedSpan, CoversWhatTheEditChanged)
{
    const SpanCase cases[] = {
        {"a character typed at 7", 7, 8, 8, 1, true, 7, 8},
        {"Backspace at 7", 7, 6, 6, -1, true, 6, 6},
        {"a range [3, 9) replaced by two characters", 3, 5, 5, -4, true, 3, 5},
        {"undo of typing, caret far away before", 900, 12, 12, -3, false, 12, 12},
        {"redo of a paste of 5, caret after it", 900, 20, 20, 5, false, 15, 20},
        {"undo restoring a selected range", 0, 4, 9, 5, false, 0, 9},
        {"growth reaching past the start", 0, 2, 2, 9, false, 0, 2},
    };
    for (const SpanCase& c : cases) {
        TouchedSpan span = touchedSpan(c.beforeMin, c.afterMin, c.afterMax, c.growth, c.atSelection);
        EXPECT_EQ(c.from, span.from) << c.name;
        EXPECT_EQ(c.to, span.to) << c.name;
    }
    // An undo or a redo, judged from the whole text before and after it.
    const struct { const char* name; std::u16string before, after; int64_t from, to; } undos[] = {
        {"a character put back, the length kept", u">lain", u"plain", 0, 2},
        {"two places undone in one step", u"> \rone\r>plain", u"> one\rplain", 1, 7},
        {"a selection moved by a drag, the length kept", u"> a\rb\rc", u"b\r> a\rc", 0, 6},
        {"a text emptied", u"> a\r", u"", 0, 1},
    };
    for (const auto& c : undos) {
        TouchedSpan span = changedSpan(c.before.data(), c.before.size(), c.after.data(), c.after.size());
        EXPECT_EQ(c.from, span.from) << c.name;
        EXPECT_EQ(c.to, span.to) << c.name;
    }
}
