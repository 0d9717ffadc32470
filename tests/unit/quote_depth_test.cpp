#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "quote/quote_depth.h"
#include "visible_text.h"

namespace {

const char DEFAULT_MARKERS[] = ">,|,\x81\x84,\x81\x62,\x81\x74,\x81\xE2";

// A list set as the settings set it; its blocks have exactly their sizes, so
// AddressSanitizer sees any access past them.
struct MatcherFixture {
    QuoteMarkers matcher{};

    MatcherFixture(const char* markers, int ignoreLeadingSpaces, int ignoreColumn)
    {
        if (markers)
            setQuoteMarkers(matcher, markers, strlen(markers), ignoreLeadingSpaces, ignoreColumn);
    }
    ~MatcherFixture() { releaseQuoteMarkers(matcher); }
};

struct DepthCase {
    const char* markers;
    int ignoreLeadingSpaces;
    int ignoreColumn;
    bool escaped;
    const char* text;
    unsigned depth;
};

void expectDepths(const DepthCase* cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const DepthCase& k = cases[i];
        MatcherFixture f(k.markers, k.ignoreLeadingSpaces, k.ignoreColumn);
        unsigned got = quoteDepth(f.matcher, k.text, k.escaped);
        EXPECT_EQ(k.depth, got) << "case " << i << ": list " << (k.markers ? visible(k.markers) : "null")
                                << " leadingSpaces " << k.ignoreLeadingSpaces << " column "
                                << k.ignoreColumn << (k.escaped ? " rtf" : " plain") << " text "
                                << visible(k.text) << ": expected depth " << k.depth << ", got "
                                << got;
    }
}

} // namespace

TEST(QuoteDepth, FirstMarkerInListOrderWinsOverALongerOne)
{
    const DepthCase cases[] = {
        {">>,>", 0, 0, false, ">>> x", 2},
        {">,>>", 0, 0, false, ">>> x", 3},
        {">>,>", 0, 0, true, ">>> x", 2},
        {">,>>", 0, 0, true, ">>> x", 3},
    };
    expectDepths(cases, sizeof cases / sizeof cases[0]);
}

TEST(QuoteDepth, LeadingSpacesAndColumnLimit)
{
    const DepthCase cases[] = {
        // Spaces before the first marker count only when they are to be ignored;
        // spaces between markers are always skipped.
        {">", 0, 0, false, "  > x", 0},
        {">", 0, 0, false, "> > x", 2},
        {">", 1, 0, false, "  > x", 1},
        {">", 1, 0, false, "> > x", 2},
        // The column is counted from the end of the previous marker.
        {">", 1, 3, false, " > x", 1},
        {">", 1, 3, false, "  > x", 0},
        {">", 1, 3, false, "> > > x", 3},
        {">", 1, 3, false, ">   > x", 1},
        // Column 1: no marker after spaces skipping ever counts; the first
        // marker at the line start still does when spaces are not ignored.
        {">", 1, 1, false, "> x", 0},
        {">", 1, 1, false, ">> x", 0},
        {">", 0, 1, false, "> x", 1},
        {">", 0, 1, false, ">>> x", 1},
        {">", 0, 1, false, "> > x", 1},
        {">", 0, 1, false, " > x", 0},
        // Column 2 lets a marker directly after the previous one through.
        {">", 0, 2, false, ">>> > x", 3},
        // Negative values act as no limit.
        {">", 1, -1, false, "          > > x", 2},
        {">", 1, -7, false, "   >>", 2},
        {">", 0, -1, false, ">      >", 2},
        // Only 0x20 is a space: a tab or a double-byte space ends the quote.
        {">", 1, 0, false, "\t> x", 0},
        {">", 1, 0, false, "\x81\x40> x", 0},
        {">", 0, 0, false, ">\t> x", 1},
        // Lines with nothing to match.
        {">", 1, 0, false, "     ", 0},
        {">", 0, 0, false, "     ", 0},
        {">", 1, 0, false, "", 0},
        {">", 0, 0, false, "", 0},
        {">", 1, 0, false, "x > y", 0},
    };
    expectDepths(cases, sizeof cases / sizeof cases[0]);
}

TEST(QuoteDepth, EmptyEntriesNeverMatch)
{
    const DepthCase cases[] = {
        {"", 0, 0, false, "> x", 0},
        {"", 1, 0, true, "> x", 0},
        {nullptr, 0, 0, false, "> x", 0},
        {",", 0, 0, false, ", x", 0},
        {",,,", 1, 0, true, ">,, x", 0},
        {",>", 0, 0, false, "> > x", 2},
        {">,", 0, 0, false, "> > x", 2},
        {">,,|", 0, 0, false, "> | > x", 3},
        {">,,|", 1, 0, true, " |>| x", 3},
    };
    expectDepths(cases, sizeof cases / sizeof cases[0]);
}

TEST(QuoteDepth, MarkerHoldingASpace)
{
    const DepthCase cases[] = {
        {"> ", 0, 0, false, "> > x", 2},
        {"> ", 0, 0, false, ">> x", 0},
        {"> ", 0, 0, false, ">x", 0},
        {"> ", 0, 0, false, ">", 0},
        // A marker that begins with a space only matches on the road that skips
        // nothing: the first marker while leading spaces are kept.
        {" >", 0, 0, false, " > > x", 1},
        {" >", 1, 0, false, " > > x", 0},
        {" >", 0, 0, false, "> x", 0},
    };
    expectDepths(cases, sizeof cases / sizeof cases[0]);
}

TEST(QuoteDepth, DefaultListInRtfAndPlainText)
{
    const DepthCase cases[] = {
        {DEFAULT_MARKERS, 0, 0, true, "\\'81\\'84\\'81\\'84 text\\par", 2},
        {DEFAULT_MARKERS, 0, 0, false, "\x81\x84\x81\x84 text", 2},
        {DEFAULT_MARKERS, 0, 0, true, "\\'81\\'62\\'81\\'74\\'81\\'e2> | x\\par", 5},
        {DEFAULT_MARKERS, 0, 0, false, "\x81\x62\x81\x74\x81\xE2> | x", 5},
        // The host writes lower-case hex; nothing else is taken for a marker.
        {DEFAULT_MARKERS, 0, 0, true, "\\'81\\'E2 x\\par", 0},
        // Each form only in its own mode.
        {DEFAULT_MARKERS, 0, 0, true, "\x81\x84 x", 0},
        {DEFAULT_MARKERS, 0, 0, false, "\\'81\\'84 x", 0},
        // Half a character is not a marker.
        {DEFAULT_MARKERS, 0, 0, true, "\\'81 x", 0},
        {DEFAULT_MARKERS, 0, 0, false, "\x81", 0},
    };
    expectDepths(cases, sizeof cases / sizeof cases[0]);
}

TEST(QuoteDepth, RtfFormEscapesBothBytesByTopBitAlone)
{
    const DepthCase cases[] = {
        // The second byte is escaped even in the ASCII range, padded to two
        // places with a space when it has one hex digit.
        {"\x81>", 0, 0, true, "\\'81\\'3e x", 1},
        {"\x81>", 0, 0, true, "\\'81> x", 0},
        {"\xA1\x05", 0, 0, true, "\\'a1\\' 5 x", 1},
        {"\xA1\x05", 0, 0, true, "\\'a1\\'05 x", 0},
        // A half-width katakana (not a lead byte) still takes its neighbour.
        {"\xB1|", 0, 0, true, "\\'b1\\'7c\\'b1\\'7c x", 2},
        {"\xB1|", 0, 0, true, "\\'b1| x", 0},
        {"\x80\x80", 0, 0, true, "\\'80\\'80 x", 1},
        // Three-byte marker: a pair, then a plain byte.
        {"\x81\x84>", 0, 0, true, "\\'81\\'84>\\'81\\'84> x", 2},
    };
    expectDepths(cases, sizeof cases / sizeof cases[0]);
}

TEST(QuoteDepth, RtfSyntaxCharactersAsMarkers)
{
    const DepthCase cases[] = {
        // Compared against raw RTF, so they match syntax as well as text.
        {"{", 0, 0, true, "{\\cf3 > x}\\par", 1},
        {"{,>", 0, 0, true, "{{> x\\par", 3},
        {"\\", 0, 0, true, "\\par", 1},
        {"\\", 0, 0, true, "\\\\\\ x", 3},
        {"\\,\x81\x84", 0, 0, true, "\\'81\\'84", 1},
        {"\x81\x84,\\", 0, 0, true, "\\'81\\'84", 1},
    };
    expectDepths(cases, sizeof cases / sizeof cases[0]);
}

// A marker whose last byte has the top bit set has no second byte to escape.
// In RTF the escaping must stop at the marker's end and the marker must never
// match. In plain text a marker that ends after the first byte of a Shift_JIS
// character never matches either (it would split the line's character), while
// a half-width katakana, a whole character of one byte, still does.
TEST(QuoteDepth, CutDoubleByteMarker)
{
    const DepthCase cases[] = {
        // At the end of the list: the scratch copy ends right after it.
        {">,\x81", 0, 0, true, "\\'81\\' 0 x", 0},
        {">,\x81", 0, 0, true, "\\'81\\'84 x", 0},
        {">,\x81", 0, 0, true, "\\'81 x", 0},
        {">,\x81", 0, 0, true, "> x", 1},
        {">,\x81", 0, 0, false, "\x81\x84 x", 0},
        {">,\x81", 0, 0, false, "> \x81\x84 x", 1},
        {">,\x81", 0, 0, false, "\x81\x81> x", 0},
        {"\xB1", 1, 0, true, " \\'b1\\' 0", 0},
        {"\xB1", 1, 0, false, " \xB1 x", 1},
        // Followed by another marker: escaping must not run into it.
        {"\x81,>", 0, 0, true, "\\'81\\' 0> x", 0},
        {"\x81,>", 0, 0, true, "\\'81\\'2c> x", 0},
        {"\x81,>", 0, 0, true, "> x", 1},
        {"\x81,>", 0, 0, false, "\x81> x", 0},
        {"\x81,>", 0, 0, false, "> x", 1},
        {"\x81\x84\x81,\x81\x84", 0, 0, true, "\\'81\\'84 x", 1},
        {"\x81\x84\x81,\x81\x84", 0, 0, false, "\x81\x84\x81 x", 1},
    };
    expectDepths(cases, sizeof cases / sizeof cases[0]);
}

TEST(QuoteDepth, HasNoUpperBound)
{
    for (unsigned n : {6u, 40u, 300u}) {
        std::string plain(n, '>');
        std::string rtf;
        for (unsigned i = 0; i < n; ++i)
            rtf += (i % 2) ? "\\'81\\'84" : "> ";
        MatcherFixture f(DEFAULT_MARKERS, 0, 0);
        EXPECT_EQ(n, quoteDepth(f.matcher, (plain + " x").c_str(), false)) << n << " plain markers";
        EXPECT_EQ(n, quoteDepth(f.matcher, (rtf + "x\\par").c_str(), true)) << n << " rtf markers";
    }
}

TEST(MatchMarker, StoresTheLengthOfTheComparedForm)
{
    struct {
        const char* markers;
        bool escaped;
        const char* text;
        int matched;
        size_t length;
    } cases[] = {
        {DEFAULT_MARKERS, false, "> x", 1, 1},
        {DEFAULT_MARKERS, false, "\x81\x84 x", 1, 2},
        {DEFAULT_MARKERS, true, "\\'81\\'84 x", 1, 8},
        {DEFAULT_MARKERS, true, "\\'81\\'e2", 1, 8},
        {"\x81\x84>", true, "\\'81\\'84> x", 1, 9},
        {">>,>", false, ">>>", 1, 2},
        {"> ", false, "> > x", 1, 2},
        {DEFAULT_MARKERS, false, " > x", 0, 0},
        {DEFAULT_MARKERS, true, "x", 0, 0},
    };
    for (const auto& k : cases) {
        MatcherFixture f(k.markers, 0, 0);
        const size_t untouched = 12345;
        size_t length = untouched;
        int got = matchMarker(f.matcher, k.text, &length, k.escaped);
        size_t wantLength = k.matched ? k.length : untouched;
        EXPECT_EQ(k.matched, got) << visible(k.text) << " against " << visible(k.markers);
        EXPECT_EQ(wantLength, length) << visible(k.text) << " against " << visible(k.markers)
                                      << ": expected length " << wantLength << ", got " << length;
    }
}

TEST(MatchMarkerAfterSpaces, AdvanceCoversSkippedSpacesAndMarker)
{
    struct {
        int ignoreLeadingSpaces;
        int ignoreColumn;
        size_t advanceIn;
        bool escaped;
        const char* text;
        int matched;
        size_t advanceOut;
    } cases[] = {
        {0, 0, 0, false, "> x", 1, 1},
        {0, 0, 0, false, " > x", 0, 0},
        {0, 0, 1, false, "   > x", 1, 4},
        {1, 0, 0, false, "   > x", 1, 4},
        {1, 0, 0, true, "   \\'81\\'84x", 1, 11},
        {1, 4, 0, true, "   \\'81\\'84x", 0, 0},
        {1, 5, 0, true, "   \\'81\\'84x", 1, 11},
        {1, 0, 7, false, "    ", 0, 7},
        {1, 0, 7, false, "", 0, 7},
        {0, 0, 3, false, "x>", 0, 3},
    };
    for (const auto& k : cases) {
        MatcherFixture f(DEFAULT_MARKERS, k.ignoreLeadingSpaces, k.ignoreColumn);
        size_t advance = k.advanceIn;
        int got = matchMarkerAfterSpaces(f.matcher, k.text, &advance, k.escaped);
        EXPECT_EQ(k.matched, got) << visible(k.text) << " with advance " << k.advanceIn;
        EXPECT_EQ(k.advanceOut, advance) << visible(k.text) << " with advance " << k.advanceIn
                                         << ": expected advance " << k.advanceOut << ", got "
                                         << advance;
    }
}

// A list whose room could not be had matches nothing, and a list whose writer
// filled its room to the last byte is read no further than that room.
TEST(MatchMarker, ListWithoutRoomMatchesNothingAndAFullRoomIsReadNoFurther)
{
    QuoteMarkers m{};
    size_t length = 0;
    EXPECT_EQ(nullptr, reserveQuoteList(m, SIZE_MAX / 2));
    prepareQuoteMarkers(m, 1, 0);
    EXPECT_EQ(0, matchMarker(m, "> x", &length, false));
    ASSERT_NE(nullptr, reserveQuoteList(m, 1));
    m.list[0] = m.list[1] = '|';
    prepareQuoteMarkers(m, 1, 0);
    EXPECT_EQ(2u, quoteDepth(m, "|| x", false));
    EXPECT_EQ(1, matchMarker(m, "|| x", &length, false));
    EXPECT_EQ(1u, length);
    releaseQuoteMarkers(m);
}

TEST(QuoteDepth, NullTextHasDepthZero)
{
    MatcherFixture f(DEFAULT_MARKERS, 1, 0);
    size_t n = 3;
    EXPECT_EQ(0u, quoteDepth(f.matcher, nullptr, true));
    EXPECT_EQ(0, matchMarker(f.matcher, nullptr, &n, false));
    EXPECT_EQ(0, matchMarkerAfterSpaces(f.matcher, nullptr, &n, false));
    EXPECT_EQ(3u, n);
}
