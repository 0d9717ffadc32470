// Faults the hostile-input suite found under Wine, pinned to the bytes of
// the core: each case is what a real control showed wrongly, reduced to the
// core call that decides it.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>

#include "compose/line_positions.h"
#include "quote/quote_depth.h"
#include "viewer/rtf_recolor.h"

namespace {

std::string spans(const std::string& text)
{
    LineWalk w;
    LineSpan s;
    std::ostringstream o;
    beginLineWalk(&w, text.data(), text.size(), 0, true, cp932Table());
    while (nextLine(&w, &s))
        o << "[" << s.cpStart << "," << s.cpStart + s.cpLength << ");";
    return o.str();
}

// A lead byte without its trail byte just before a CR LF pair: the
// control's conversion takes the CR for the trail byte, so the two are one
// character and the LF alone breaks the line. Every later line starts one
// position further on than a count without the lead byte says.
TEST(HostileInput, LoneLeadByteBeforeACrLfPairCountsWithItsLine)
{
    struct Case { const char* name; std::string text; const char* expected; };
    const Case cases[] = {
        {"quoted line", "> a\x82\r\n> b", "[0,4);[5,8);"},
        {"two in a row", "x\x82\r\ny\x81\r\nz", "[0,2);[3,5);[6,7);"},
        {"after a whole character", "\x82\xa0\x82\r\nz", "[0,2);[3,4);"},
        // A bare CR is not a CR LF pair; at the end the lead byte is not
        // counted at all (the text has nothing after it).
        {"at the very end", "a\r\nb\x82", "[0,1);[2,3);"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, spans(c.text)) << c.name;
}

// One marker list set as the settings set it, leading spaces ignored.
struct Matcher {
    QuoteMarkers m{};
    explicit Matcher(const char* markers) { setQuoteMarkers(m, markers, strlen(markers), 1, 0); }
    ~Matcher() { releaseQuoteMarkers(m); }
};

// A marker list cut inside a double-byte character keeps the lead byte
// alone. Half a character is no marker: in plain text it must not match
// the first byte of every character with that lead byte (the ideographic
// space, "、", "。", "＞"), which would also leave the count in the middle
// of a character. The RTF form already refuses it.
TEST(HostileInput, HalfACharacterIsNoMarker)
{
    Matcher half(">,\x81");
    for (const char* line : {"\x81\x40 indented", "\x81\x41 comma", "\x81\x42 full stop", "\x81\x84 quoted"}) {
        EXPECT_EQ(0u, quoteDepth(half.m, line, false)) << "plain line beginning " << std::hex
                                                       << (unsigned)(unsigned char)line[1];
    }
    EXPECT_EQ(1u, quoteDepth(half.m, "> still a quote", false));
    EXPECT_EQ(0u, quoteDepth(half.m, "\\'81\\'40 rtf", true));
}

ViewColoring headerColoring()
{
    ViewColoring c = {};
    c.quoteColoring = 1;
    c.headerColoring = 1;
    c.headerColor = 0x808080;
    for (uint32_t& level : c.levelColors)
        level = 0x0000FF;
    return c;
}

size_t occurrences(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// A Subject piece whose label is not followed by a space before the line
// break: the first space lies after the paragraph mark. Whatever the
// rewrite does with it, the subject's text must reach the control once and
// the piece must keep one paragraph mark.
TEST(HostileInput, SubjectWithoutASpaceBeforeTheLineBreakIsNotRepeated)
{
    Matcher markers(">");
    struct Case { const char* name; const char* piece; const char* value; };
    const Case cases[] = {
        {"value glued to the label", "\\plain\\fs20\\b Subject:Hello\r\n\\par ", "Hello"},
        {"value glued to the control words", "\\plain\\fs20\\b Subject:\\b0\\cf0\\'8c\\'8f\r\n\\par ", "\\'8c\\'8f"},
    };
    for (const Case& c : cases) {
        char buf[256];
        memset(buf, 0, sizeof buf);
        strcpy(buf, c.piece);
        int base = 2;
        size_t length = 0;
        int signature = 0;
        recolorRtfPiece(buf, sizeof buf, headerColoring(), markers.m, &base, &signature, &length);
        const std::string out = buf;
        EXPECT_EQ(1u, occurrences(out, c.value)) << c.name << ": " << out;
        EXPECT_EQ(1u, occurrences(out, "\\par")) << c.name << ": " << out;
    }
}

} // namespace
