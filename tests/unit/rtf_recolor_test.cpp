#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "viewer/rtf_recolor.h"

namespace {

const char DEFAULT_MARKERS[] = ">,|,\x81\x84,\x81\x62,\x81\x74,\x81\xE2";
const char GUARD = '\x5A';
const size_t GUARD_SIZE = 64;
const size_t UNCHANGED = static_cast<size_t>(-1);

// Level colours chosen so that every entry has a different text.
ViewColoring defaultColoring()
{
    ViewColoring c{};
    c.quoteColoring = 1;
    c.headerColoring = 1;
    c.headerColor = 0x808080;
    c.levelColors[0] = 0x0000C0;
    c.levelColors[1] = 0x00A000;
    c.levelColors[2] = 0xFF0000;
    c.levelColors[3] = 0x102030;
    c.levelColors[4] = 0xFFFFFF;
    return c;
}

// The same colours as the table entries they must become.
const char HEADER_ENTRY[] = "\\red128\\green128\\blue128;";
const char LEVEL_ENTRIES[] = "\\red192\\green0\\blue0;"
                             "\\red0\\green160\\blue0;"
                             "\\red0\\green0\\blue255;"
                             "\\red48\\green32\\blue16;"
                             "\\red255\\green255\\blue255;";

struct Matcher {
    QuoteMarkers m{};
    explicit Matcher(const char* markers = DEFAULT_MARKERS)
    {
        setQuoteMarkers(m, markers, strlen(markers), 0, 0);
    }
    ~Matcher() { releaseQuoteMarkers(m); }
};

struct Outcome {
    int rewritten;
    std::string text;      // the zero-terminated piece in the buffer afterwards
    size_t newLength;      // UNCHANGED when not stored
    bool bufferKept;       // all cb bytes as before
    bool guardKept;        // nothing written after cb
};

// Runs one piece through the rewrite in a buffer of cb bytes followed by a
// guard region, the bytes after the piece's terminator filled with a pattern
// so that a changed buffer is noticed as well. Outside the signature unless
// the caller keeps that state.
Outcome recolor(const std::string& piece, size_t cb, const ViewColoring& c, const QuoteMarkers& m,
                int* base, int* signature = nullptr)
{
    int outside = 0;
    std::vector<char> buffer(cb + GUARD_SIZE, GUARD);
    for (size_t i = 0; i < cb; ++i)
        buffer[i] = static_cast<char>('a' + i % 26);
    size_t copied = piece.size() + 1 <= cb ? piece.size() + 1 : cb;
    memcpy(buffer.data(), piece.c_str(), copied);
    const std::vector<char> before = buffer;

    Outcome o{};
    o.newLength = UNCHANGED;
    o.rewritten =
        recolorRtfPiece(buffer.data(), cb, c, m, base, signature ? signature : &outside, &o.newLength);
    o.bufferKept = std::equal(buffer.begin(), buffer.begin() + cb, before.begin());
    o.guardKept = std::equal(buffer.begin() + cb, buffer.end(), before.begin() + cb);
    const void* end = memchr(buffer.data(), '\0', cb);
    o.text = end ? std::string(buffer.data()) : std::string("<no terminator>");
    return o;
}

// Readable form of a piece for failure messages: CR and LF spelled out.
std::string shown(const std::string& s)
{
    std::string out = "\xC2\xAB";
    for (char ch : s) {
        if (ch == '\r')
            out += "\\r";
        else if (ch == '\n')
            out += "\\n";
        else
            out += ch;
    }
    return out + "\xC2\xBB";
}

void expectRewritten(const Outcome& o, const std::string& want, const std::string& what)
{
    EXPECT_EQ(1, o.rewritten) << what << ": expected a rewrite to " << shown(want);
    EXPECT_EQ(want, o.text) << what << ": expected " << shown(want) << ", got " << shown(o.text);
    EXPECT_EQ(want.size(), o.newLength) << what << ": expected new length " << want.size();
    EXPECT_TRUE(o.guardKept) << what << ": written past cb";
}

void expectUnchanged(const Outcome& o, const std::string& what)
{
    EXPECT_EQ(0, o.rewritten) << what << ": expected to pass unchanged, got " << shown(o.text);
    EXPECT_TRUE(o.bufferKept) << what << ": buffer changed to " << shown(o.text);
    EXPECT_TRUE(o.guardKept) << what << ": written past cb";
}

std::string colorTableWithAppendedEntries(const std::string& hostTable)
{
    return hostTable + HEADER_ENTRY + LEVEL_ENTRIES + "}";
}

} // namespace

TEST(RecolorQuotedLine, WrapsTheLineInTheLevelColour)
{
    struct {
        const char* what;
        int bold, italic, byLevel;
        const char* piece;
        const char* want;
        int repeat;
    } cases[] = {
        {"plain quote", 0, 0, 0, "> hello\\par ", "{\\cf3 > hello}\\par "},
        {"bold resets", 1, 0, 0, "> see \\cf2 x\\cf0  y\\par ",
         "{\\cf3\\b > see \\cf2 x\\cf3\\b  y}\\par "},
        {"italic resets", 0, 1, 0, "> see \\cf2 x\\cf0  y\\par ",
         "{\\cf3\\i > see \\cf2 x\\cf3\\i  y}\\par "},
        {"bold and italic resets", 1, 1, 0, "> a\\cf0 b\\cf0 c\\par ",
         "{\\cf3\\b\\i > a\\cf3\\b\\i b\\cf3\\b\\i c}\\par "},
        {"reset without bold", 0, 0, 0, "> a\\cf0 b\\par ", "{\\cf3 > a\\cf3 b}\\par "},
        {"reset after the paragraph mark", 0, 0, 0, "> a\\par\\cf0 ", "{\\cf3 > a}\\par\\cf3 "},
        {"no paragraph mark", 0, 0, 0, "> tail", "{\\cf3 > tail"},
        {"first paragraph mark only", 0, 0, 0, "> a\\par b\\par ", "{\\cf3 > a}\\par b\\par "},
        {"double-byte markers", 0, 0, 0, "\\'81\\'84\\'81\\'84 text\\par ",
         "{\\cf3 \\'81\\'84\\'81\\'84 text}\\par "},
        {"level 2 by level", 0, 0, 1, "> > x\\par ", "{\\cf4 > > x}\\par "},
        {"depth 7 capped at level 5", 0, 0, 1, ">>>>>>> x\\par ", "{\\cf7 >>>>>>> x}\\par "},
        {"depth 7 without levels", 0, 0, 0, ">>>>>>> x\\par ", "{\\cf3 >>>>>>> x}\\par "},
        {"depth 5 by level", 0, 0, 1, ">>>>> x\\par ", "{\\cf7 >>>>> x}\\par "},
        // Past the fifth level the levels start again, when asked to.
        {"depth 5 repeating", 0, 0, 1, ">>>>> x\\par ", "{\\cf7 >>>>> x}\\par ", 1},
        {"depth 6 repeating is level 1", 0, 0, 1, ">>>>>> x\\par ", "{\\cf3 >>>>>> x}\\par ", 1},
        {"depth 10 repeating is level 5", 0, 0, 1, ">>>>>>>>>> x\\par ",
         "{\\cf7 >>>>>>>>>> x}\\par ", 1},
        {"depth 11 repeating is level 1", 0, 0, 1, ">>>>>>>>>>> x\\par ",
         "{\\cf3 >>>>>>>>>>> x}\\par ", 1},
        {"depth 16 repeating is level 1", 0, 0, 1, ">>>>>>>>>>>>>>>> x\\par ",
         "{\\cf3 >>>>>>>>>>>>>>>> x}\\par ", 1},
        {"depth 6 capped", 0, 0, 1, ">>>>>> x\\par ", "{\\cf7 >>>>>> x}\\par "},
        {"depth 11 capped", 0, 0, 1, ">>>>>>>>>>> x\\par ", "{\\cf7 >>>>>>>>>>> x}\\par "},
        {"depth 10 repeating without levels", 0, 0, 0, ">>>>>>>>>> x\\par ",
         "{\\cf3 >>>>>>>>>> x}\\par ", 1},
        {"depth 11 repeating without levels", 0, 0, 0, ">>>>>>>>>>> x\\par ",
         "{\\cf3 >>>>>>>>>>> x}\\par ", 1},
    };
    Matcher mt;
    for (const auto& k : cases) {
        ViewColoring c = defaultColoring();
        c.quoteBold = k.bold;
        c.quoteItalic = k.italic;
        c.colorByLevel = k.byLevel;
        c.levelRepeat = k.repeat;
        int base = 2;
        expectRewritten(recolor(k.piece, 256, c, mt.m, &base), k.want, k.what);
        EXPECT_EQ(2, base) << k.what << ": a quoted line must not change the table base";
    }
}

// Mail text reaches the RTF with its backslashes doubled: "\\par" or "\\cf0"
// there is text the reader sees (a path such as C:\parts), never the
// control word, and must come out as it went in.
TEST(RecolorQuotedLine, EscapedBackslashesStayText)
{
    struct {
        const char* what;
        int bold;
        const char* piece;
        const char* want;
    } cases[] = {
        {"path with \\par in it", 0, "> C:\\\\parts\\\\list\\par ", "{\\cf3 > C:\\\\parts\\\\list}\\par "},
        {"\\par right after the marker", 0, ">\\\\par\\par ", "{\\cf3 >\\\\par}\\par "},
        {"\\cf0 in the text", 1, "> \\\\cf0 x\\par ", "{\\cf3\\b > \\\\cf0 x}\\par "},
        {"\\cf0 in the text, no style", 0, "> a\\\\cf0\\\\cf0\\par ", "{\\cf3 > a\\\\cf0\\\\cf0}\\par "},
        {"literal backslash before a real reset", 1, "> a\\\\\\cf0 b\\par ",
         "{\\cf3\\b > a\\\\\\cf3\\b b}\\par "},
        {"two literal backslashes before a real mark", 0, "> a\\\\\\\\\\par ",
         "{\\cf3 > a\\\\\\\\}\\par "},
        {"many escaped resets", 1,
         "> \\\\cf0\\\\cf0\\\\cf0\\\\cf0\\\\cf0\\\\cf0\\\\cf0\\\\cf0\\\\cf0\\\\cf0 \\cf0 x\\par ",
         "{\\cf3\\b > \\\\cf0\\\\cf0\\\\cf0\\\\cf0\\\\cf0\\\\cf0\\\\cf0\\\\cf0\\\\cf0\\\\cf0 \\cf3\\b x}\\par "},
    };
    Matcher mt;
    for (const auto& k : cases) {
        ViewColoring c = defaultColoring();
        c.quoteBold = k.bold;
        int base = 2;
        expectRewritten(recolor(k.piece, 256, c, mt.m, &base), k.want, k.what);
    }
}

TEST(RecolorQuotedLine, UsesTheCurrentTableBase)
{
    Matcher mt;
    ViewColoring c = defaultColoring();
    int base = 1;   // before any colour table was seen
    expectRewritten(recolor("> x\\par ", 64, c, mt.m, &base), "{\\cf2 > x}\\par ", "base 1");
    base = 5;
    expectRewritten(recolor("> x\\par ", 64, c, mt.m, &base), "{\\cf6 > x}\\par ", "base 5");
}

// Indexes above 9 are written in full, where the "\cf0" rewrite would
// otherwise produce a character that is no digit.
TEST(RecolorQuotedLine, LargeColourIndexStaysANumber)
{
    Matcher mt;
    ViewColoring c = defaultColoring();
    c.colorByLevel = 1;
    c.quoteBold = 1;
    int base = 8;
    expectRewritten(recolor("> > a\\cf0 b\\par ", 64, c, mt.m, &base),
                    "{\\cf10\\b > > a\\cf10\\b b}\\par ", "index 10");
    base = 123;
    expectRewritten(recolor("> a\\cf0 b\\par ", 64, c, mt.m, &base),
                    "{\\cf124\\b > a\\cf124\\b b}\\par ", "index 124");
    // The table base plus the level must not overflow an int.
    base = INT_MAX;
    expectRewritten(recolor("> > a\\cf0 b\\par ", 64, c, mt.m, &base),
                    "{\\cf2147483649\\b > > a\\cf2147483649\\b b}\\par ", "index past INT_MAX");
}

TEST(RecolorQuotedLine, QuoteColouringOffLeavesQuotedLinesAlone)
{
    Matcher mt;
    ViewColoring c = defaultColoring();
    c.quoteColoring = 0;
    int base = 2;
    expectUnchanged(recolor("> hello\\par ", 64, c, mt.m, &base), "quote colouring off");
    expectRewritten(recolor("\\plain\\b Subject:\\b0\\cf0 Hi\r\n\\par ", 64, c, mt.m, &base),
                    "\\plain\\b Subject:\\b0\\cf2 Hi\\b0\\cf0 \r\n\\par ", "subject still coloured");
    expectRewritten(recolor("{\\colortbl;}", 256, c, mt.m, &base),
                    colorTableWithAppendedEntries("{\\colortbl;"), "table still extended");
    EXPECT_EQ(1, base);
}

// A quoted line is decided before anything else: a header piece that starts
// with a marker is treated as a quoted line.
TEST(RecolorQuotedLine, QuotedLineTestComesBeforeSubjectAndTable)
{
    Matcher backslash("\\");
    ViewColoring c = defaultColoring();
    int base = 2;
    expectRewritten(recolor("\\plain\\b Subject:\\b0\\cf0 Hi\r\n\\par ", 128, c, backslash.m, &base),
                    "{\\cf3 \\plain\\b Subject:\\b0\\cf3 Hi\r\n}\\par ", "subject under marker \\");
    Matcher brace("{");
    expectRewritten(recolor("{\\colortbl;\\red1\\green2\\blue3;}", 256, c, brace.m, &base),
                    "{\\cf3 {\\colortbl;\\red1\\green2\\blue3;}", "table under marker {");
    EXPECT_EQ(2, base);
}

// The separator is a body line of "--" and trailing spaces; it and the lines
// after it take the signature colour (index base + 6). Anything else leaves
// the signature unstarted and the piece as it would be without the key.
TEST(RecolorSignature, OnlyTheSeparatorStartsIt)
{
    struct {
        const char* what;
        const char* piece;
        const char* want;   // null: unchanged
        int starts;
    } cases[] = {
        {"standard separator", "-- \\par\r\n", "{\\cf8 -- }\\par\r\n", 1},
        {"without the space", "--\\par\r\n", "{\\cf8 --}\\par\r\n", 1},
        {"two spaces", "--  \\par\r\n", "{\\cf8 --  }\\par\r\n", 1},
        {"three dashes", "---\\par\r\n", nullptr, 0},
        {"text after the dashes", "-- x\\par\r\n", nullptr, 0},
        {"quoted separator", ">-- \\par\r\n", "{\\cf3 >-- }\\par\r\n", 0},
        {"escaped backslash before it", "\\\\-- \\par\r\n", nullptr, 0},
        {"inside a longer line", "x -- \\par\r\n", nullptr, 0},
        {"a line after it in the piece", "-- \\par x\\par\r\n", nullptr, 0},
        {"another control word", "-- \\pard\r\n", nullptr, 0},
        {"lone paragraph mark", "\\par\r\n", nullptr, 0},
        {"no paragraph mark", "-- ", nullptr, 0},
        {"a header line", "\\plain\\fs20\\b Subject:\\b0\\cf0  --\r\n\\par ",
         "\\plain\\fs20\\b Subject:\\b0\\cf2  --\\b0\\cf0 \r\n\\par ", 0},
    };
    Matcher mt;
    for (const auto& k : cases) {
        ViewColoring c = defaultColoring();
        c.signatureChange = 1;
        int base = 2;
        int signature = 0;
        Outcome o = recolor(k.piece, 256, c, mt.m, &base, &signature);
        if (k.want)
            expectRewritten(o, k.want, k.what);
        else
            expectUnchanged(o, k.what);
        EXPECT_EQ(k.starts, signature) << k.what;
        // With the key off nothing is a separator.
        c.signatureChange = 0;
        signature = 0;
        Outcome off = recolor(k.piece, 256, c, mt.m, &base, &signature);
        EXPECT_EQ(0, signature) << k.what << ", key off";
        if (k.starts)
            expectUnchanged(off, std::string(k.what) + ", key off");
    }
}

// A message streamed piece by piece: the table gains the signature colour,
// quoted lines are quotes up to the separator, and every body line after it,
// a quoted one too, is the signature's; the next table starts a new message,
// even one too long to extend.
TEST(RecolorSignature, LastsUntilTheNextColourTable)
{
    Matcher mt;
    ViewColoring c = defaultColoring();
    c.colorByLevel = 1;
    c.signatureChange = 1;
    c.signatureColor = 0xFF336699;   // a top byte set: only the low 24 bits count
    const std::string table = "{\\colortbl ;\\red0\\green0\\blue0;}\r\n";
    const std::string extended = std::string("{\\colortbl ;\\red0\\green0\\blue0;") + HEADER_ENTRY +
                                 LEVEL_ENTRIES + "\\red153\\green102\\blue51;}\r\n";
    struct {
        std::string piece;
        const char* want;   // null: unchanged
        int signatureAfter;
    } stream[] = {
        {table, extended.c_str(), 0},
        {"\\plain\\fs20\\b Subject:\\b0\\cf0  Hi\r\n\\par ",
         "\\plain\\fs20\\b Subject:\\b0\\cf2  Hi\\b0\\cf0 \r\n\\par ", 0},
        {"> quoted\\par\r\n", "{\\cf3 > quoted}\\par\r\n", 0},
        {"-- \\par\r\n", "{\\cf8 -- }\\par\r\n", 1},
        {"> quoted in the signature\\par\r\n", "{\\cf8 > quoted in the signature}\\par\r\n", 1},
        {"C:\\\\par \\cf0 x\\par\r\n", "{\\cf8 C:\\\\par \\cf8 x}\\par\r\n", 1},
        {"\\plain\\fs20\\cf0\\par\r\n", nullptr, 1},
        {"}\r\n", nullptr, 1},
        {"{\\colortbl" + std::string(480, ';') + "}\r\n", nullptr, 0},
        {table, extended.c_str(), 0},
        {">> quoted again\\par\r\n", "{\\cf4 >> quoted again}\\par\r\n", 0},
    };
    int base = 1;
    int signature = 1;   // left over from a message that had a signature
    for (const auto& step : stream) {
        Outcome o = recolor(step.piece, 512, c, mt.m, &base, &signature);
        if (step.want)
            expectRewritten(o, step.want, step.piece);
        else
            expectUnchanged(o, step.piece);
        EXPECT_EQ(step.signatureAfter, signature) << shown(step.piece);
    }
    EXPECT_EQ(2, base);

    // A signature line whose resets cannot all fit passes as the host wrote
    // it, and the signature goes on.
    base = 5;   // signature index 11: every reset grows by a byte
    signature = 1;
    std::string resets = "x";
    for (int i = 0; i < 40; ++i)
        resets += "\\cf0";
    resets += "\\par\r\n";
    expectUnchanged(recolor(resets, resets.size() + 30, c, mt.m, &base, &signature), "40 resets");
    EXPECT_EQ(1, signature);
}

TEST(RecolorSubjectLine, ColoursTheValueAndRestoresTheRun)
{
    struct {
        const char* what;
        int base;
        const char* piece;
        const char* want;
    } cases[] = {
        {"host shape", 2, "\\plain\\b Subject:\\b0\\cf0 Hi there\r\n\\par ",
         "\\plain\\b Subject:\\b0\\cf2 Hi there\\b0\\cf0 \r\n\\par "},
        {"no line break", 2, "\\plain\\b Subject:\\b0\\cf0 Hi there",
         "\\plain\\b Subject:\\b0\\cf2 Hi there\\b0\\cf0"},
        {"text after the line break replaced", 2,
         "\\plain\\b Subject:\\b0\\cf0 Hi\r\n\\par\\plain\\b From:\\b0 x\r\n",
         "\\plain\\b Subject:\\b0\\cf2 Hi\\b0\\cf0 \r\n\\par "},
        {"reset before the label kept", 3, "\\plain\\cf0\\b Subject:\\b0\\cf0 Hi\r\n\\par ",
         "\\plain\\cf0\\b Subject:\\b0\\cf3 Hi\\b0\\cf0 \r\n\\par "},
        {"reset in the value", 2, "\\plain\\b Subject:\\cf0 a\\cf0 b\r\n\\par ",
         "\\plain\\b Subject:\\cf2 a\\cf2 b\\cf0 \r\n\\par "},
        {"double-byte value", 2, "\\plain\\b Subject:\\b0\\cf0 \\'81\\'84 x\r\n\\par ",
         "\\plain\\b Subject:\\b0\\cf2 \\'81\\'84 x\\b0\\cf0 \r\n\\par "},
        {"line before the label kept", 2, "\\plain\\b From:\\b0\\cf0 a\r\n\\par \\plain\\b Subject:\\cf0 Hi\r\n\\par x",
         "\\plain\\b From:\\b0\\cf0 a\r\n\\par \\plain\\b Subject:\\cf2 Hi\\cf0 \r\n\\par "},
        {"empty run", 2, "\\plain\\b Subject: Hi\r\n\\par ",
         "\\plain\\b Subject: Hi \r\n\\par "},
        {"header index 12 written in full", 12, "\\plain\\b Subject:\\b0\\cf0 Hi\r\n\\par ",
         "\\plain\\b Subject:\\b0\\cf12 Hi\\b0\\cf0 \r\n\\par "},
        {"before any table", 1, "\\plain\\b Subject:\\b0\\cf0 Hi\r\n\\par ",
         "\\plain\\b Subject:\\b0\\cf1 Hi\\b0\\cf0 \r\n\\par "},
    };
    Matcher mt;
    for (const auto& k : cases) {
        ViewColoring c = defaultColoring();
        int base = k.base;
        expectRewritten(recolor(k.piece, 256, c, mt.m, &base), k.want, k.what);
        EXPECT_EQ(k.base, base) << k.what << ": the Subject line must not change the table base";
    }
}

TEST(RecolorSubjectLine, OtherPiecesPassUnchanged)
{
    struct {
        const char* what;
        int header;
        const char* piece;
    } cases[] = {
        {"another header line", 1, "\\plain\\b From:\\b0\\cf0 someone\r\n\\par "},
        {"header line holding a table", 1, "\\plain{\\colortbl;\\red0\\green0\\blue0;}"},
        {"label with no space after it", 1, "\\plain\\b Subject:\\b0\\cf0\\par"},
        // The subject text would be repeated: the "run" up to the first space
        // is the value, its line break and the paragraph mark.
        {"space only after the line break", 1, "\\plain\\b Subject:Hello\r\n\\par "},
        // Text before the first space is no control-word run: repeated after
        // the value it would show twice.
        {"words glued to the label", 1, "\\plain\\b Subject:Hello World\r\n\\par "},
        {"double-byte text glued to the label", 1,
         "\\plain\\b Subject:\\'82\\'a0x y\r\n\\par "},
        {"escaped backslash glued to the label", 1, "\\plain\\b Subject:\\\\b0 y\r\n\\par "},
        // The label written by the sender, in another header's value.
        {"label in the text of another header", 1,
         "\\plain\\b From:\\b0\\cf0 x\\\\b Subject:\\cf0 y\r\n\\par "},
        {"label not after \\plain", 1, "\\pard\\b Subject:\\b0\\cf0 Hi\r\n\\par "},
        {"header colouring off", 0, "\\plain\\b Subject:\\b0\\cf0 Hi\r\n\\par "},
        {"ordinary line", 1, "Hello \\cf0 world\\par "},
        {"empty piece", 1, ""},
    };
    Matcher mt;
    for (const auto& k : cases) {
        ViewColoring c = defaultColoring();
        c.headerColoring = k.header;
        int base = 4;
        expectUnchanged(recolor(k.piece, 256, c, mt.m, &base), k.what);
        EXPECT_EQ(4, base) << k.what << ": table base changed";
    }
}

TEST(RecolorColorTable, AppendsHeaderAndLevelColours)
{
    struct {
        const char* what;
        const char* piece;
        std::string want;
        int base;
    } cases[] = {
        {"one host colour", "{\\colortbl;\\red0\\green0\\blue0;}",
         colorTableWithAppendedEntries("{\\colortbl;\\red0\\green0\\blue0;"), 2},
        {"text around the table", "{\\rtf1{\\colortbl;\\red1\\green2\\blue3;\\red4\\green5\\blue6;}\\f0 x",
         colorTableWithAppendedEntries("{\\rtf1{\\colortbl;\\red1\\green2\\blue3;\\red4\\green5\\blue6;") +
             "\\f0 x", 3},
        {"empty table", "{\\colortbl}", colorTableWithAppendedEntries("{\\colortbl"), 0},
        {"semicolons after the table not counted", "{\\colortbl;};;;",
         colorTableWithAppendedEntries("{\\colortbl;") + ";;;", 1},
        {"first table only", "{\\colortbl;}{\\colortbl;;}",
         colorTableWithAppendedEntries("{\\colortbl;") + "{\\colortbl;;}", 1},
    };
    Matcher mt;
    for (const auto& k : cases) {
        ViewColoring c = defaultColoring();
        int base = 1;
        expectRewritten(recolor(k.piece, 512, c, mt.m, &base), k.want, k.what);
        EXPECT_EQ(k.base, base) << k.what << ": expected table base " << k.base << ", got " << base;
    }
}

TEST(RecolorColorTable, IgnoresTheTopByteOfAColour)
{
    Matcher mt;
    ViewColoring c = defaultColoring();
    c.headerColor = 0xFF010203;
    int base = 1;
    expectRewritten(recolor("{\\colortbl;}", 512, c, mt.m, &base),
                    std::string("{\\colortbl;\\red3\\green2\\blue1;") + LEVEL_ENTRIES + "}", "top byte");
}

TEST(RecolorColorTable, UnclosedTablePassesUnchanged)
{
    Matcher mt;
    ViewColoring c = defaultColoring();
    for (const char* piece : {"{\\colortbl;\\red0\\green0\\blue0;", "}{\\colortbl;;"}) {
        int base = 7;
        expectUnchanged(recolor(piece, 512, c, mt.m, &base), piece);
        EXPECT_EQ(7, base) << piece << ": table base changed";
    }
}

// The host promises 30 spare bytes at most; one piece longer than that passes
// whatever it is, and leaves the table base alone.
TEST(RecolorPiece, LengthLimitIsThirtyBytesBelowTheBuffer)
{
    const size_t cb = 300;
    Matcher mt;
    ViewColoring c = defaultColoring();

    std::string quoted = "> " + std::string(cb - 30 - 7, 'q') + "\\par ";
    ASSERT_EQ(cb - 30, quoted.size());
    int base = 2;
    expectRewritten(recolor(quoted, cb, c, mt.m, &base),
                    "{\\cf3 > " + std::string(cb - 30 - 7, 'q') + "}\\par ", "quoted at cb-30");

    std::string longer = "> " + std::string(cb - 29 - 7, 'q') + "\\par ";
    ASSERT_EQ(cb - 29, longer.size());
    expectUnchanged(recolor(longer, cb, c, mt.m, &base), "quoted at cb-29");

    std::string table = "{\\colortbl;;" + std::string(cb - 29 - 13, ' ') + "}";
    ASSERT_EQ(cb - 29, table.size());
    base = 5;
    expectUnchanged(recolor(table, cb, c, mt.m, &base), "table at cb-29");
    EXPECT_EQ(5, base) << "table base changed by a piece that passed";

    std::string subject = "\\plain\\b Subject:\\cf0 " + std::string(cb - 29 - 22, 's');
    ASSERT_EQ(cb - 29, subject.size());
    expectUnchanged(recolor(subject, cb, c, mt.m, &base), "subject at cb-29");
}

TEST(RecolorPiece, TooSmallBufferPassesUnchanged)
{
    Matcher mt;
    ViewColoring c = defaultColoring();
    int base = 2;
    expectUnchanged(recolor("> x\\par ", 29, c, mt.m, &base), "cb 29");
    expectUnchanged(recolor("", 1, c, mt.m, &base), "cb 1");
    size_t length = UNCHANGED;
    int signature = 0;
    EXPECT_EQ(0, recolorRtfPiece(nullptr, 0, c, mt.m, &base, &signature, &length)) << "cb 0";
    EXPECT_EQ(UNCHANGED, length) << "cb 0 stored a length";
    expectUnchanged(recolor("> x\\par ", 37, c, mt.m, &base), "8 bytes in cb 37");
    expectRewritten(recolor("> x\\par ", 38, c, mt.m, &base), "{\\cf3 > x}\\par ", "8 bytes in cb 38");
}

// Without a terminator inside cb the piece is not measured at all. The buffer
// is exactly cb bytes so that AddressSanitizer reports any read past it.
TEST(RecolorPiece, PieceWithoutTerminatorPassesUnchanged)
{
    Matcher mt;
    ViewColoring c = defaultColoring();
    for (size_t cb : {30u, 31u, 200u}) {
        for (const char* start : {"> x\\par ", "\\plain\\b Subject:\\cf0 ", "{\\colortbl;}"}) {
            std::vector<char> buffer(cb, 'z');
            memcpy(buffer.data(), start, strlen(start));
            const std::vector<char> before = buffer;
            int base = 2;
            int signature = 1;
            size_t length = UNCHANGED;
            EXPECT_EQ(0, recolorRtfPiece(buffer.data(), cb, c, mt.m, &base, &signature, &length))
                << start << " in cb " << cb;
            EXPECT_TRUE(buffer == before) << start << " in cb " << cb << ": buffer changed";
            EXPECT_EQ(2, base) << start << " in cb " << cb;
        }
    }
}

// Rewrites whose result would not fit in cb bytes pass unchanged rather than
// write past the control's buffer; one byte less and they are made.
TEST(RecolorPiece, RewriteThatWouldNotFitPassesUnchanged)
{
    Matcher mt;

    // Quoted line with bold and italic: 11 bytes of wrapping, 4 more per reset.
    {
        const size_t cb = 200;
        ViewColoring c = defaultColoring();
        c.quoteBold = c.quoteItalic = 1;
        const int resets = 6;
        std::string resetRun, wantRun;
        for (int i = 0; i < resets; ++i) {
            resetRun += "\\cf0";
            wantRun += "\\cf3\\b\\i";
        }
        for (size_t extra : {0u, 1u}) {
            // result = piece + 11 + 4 * resets, plus its terminator
            size_t pieceLength = cb - 12 - 4 * resets + extra;
            std::string fill(pieceLength - 2 - resetRun.size() - 5, 'w');
            std::string piece = "> " + fill + resetRun + "\\par ";
            ASSERT_EQ(pieceLength, piece.size());
            ASSERT_LE(piece.size(), cb - 30);
            int base = 2;
            Outcome o = recolor(piece, cb, c, mt.m, &base);
            std::string what = "quoted line of " + std::to_string(pieceLength) + " with " +
                               std::to_string(resets) + " resets in cb " + std::to_string(cb);
            if (extra == 0)
                expectRewritten(o, "{\\cf3\\b\\i > " + fill + wantRun + "}\\par ", what);
            else
                expectUnchanged(o, what);
        }
    }

    // Colour table closer than the six entries need.
    {
        ViewColoring c = defaultColoring();
        const std::string piece = "{\\colortbl;\\red0\\green0\\blue0;}";
        const std::string want = colorTableWithAppendedEntries("{\\colortbl;\\red0\\green0\\blue0;");
        for (size_t cb : {want.size() + 1, want.size()}) {
            ASSERT_LE(piece.size(), cb - 30);
            int base = 9;
            Outcome o = recolor(piece, cb, c, mt.m, &base);
            std::string what = "colour table in cb " + std::to_string(cb);
            if (cb > want.size()) {
                expectRewritten(o, want, what);
                EXPECT_EQ(2, base) << what;
            } else {
                expectUnchanged(o, what);
                EXPECT_EQ(9, base) << what << ": table base changed by a piece that passed";
            }
        }
    }

    // Subject line with a long control-word run, repeated after the value.
    {
        ViewColoring c = defaultColoring();
        const std::string run = "\\b0\\i0\\ul0\\strike0\\f1\\fs20\\lang1041\\cf0";
        const std::string piece = "\\plain\\b Subject:" + run + " Hi\r\n\\par ";
        const std::string want = "\\plain\\b Subject:" +
                                 run.substr(0, run.size() - 1) + "2 Hi" + run + " \r\n\\par ";
        for (size_t cb : {want.size() + 1, want.size()}) {
            ASSERT_LE(piece.size(), cb - 30);
            int base = 2;
            Outcome o = recolor(piece, cb, c, mt.m, &base);
            std::string what = "subject with a " + std::to_string(run.size()) + "-byte run in cb " +
                               std::to_string(cb);
            if (cb > want.size())
                expectRewritten(o, want, what);
            else
                expectUnchanged(o, what);
        }
    }

    // A wide colour index makes every reset longer.
    {
        ViewColoring c = defaultColoring();
        int base = 1000000;
        std::string piece = "> " + std::string(20, '\\') + "cf0\\cf0\\cf0\\cf0\\cf0\\cf0\\cf0";
        expectUnchanged(recolor(piece, 80, c, mt.m, &base), "seven wide resets in cb 80");
    }
}
