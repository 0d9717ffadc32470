// Hostile messages in the viewer: RTF pieces the host could be made to
// write by the mail it shows, streamed into a real RichEdit20A control
// hooked by the plug-in and into an unhooked one beside it. Every case
// checks that the control still answers, that the text shown is exactly the
// text the unhooked control shows, and that each colour read back is either
// the configured one or the one the host asked for; the repeated cases
// check that nothing is left behind on the heap or in GDI.
#include "abuse_support.h"
#include <stdio.h>
#include <set>

namespace {

using abuse::controlAnswers;
using abuse::firstDifference;
using abuse::hexColor;
using abuse::wideLength;

const COLORREF LEVEL_COLORS[5] = {RGB(200, 0, 0), RGB(0, 150, 0), RGB(0, 0, 210), RGB(160, 100, 0),
                                  RGB(120, 0, 160)};
const COLORREF HEADER_COLOR = RGB(0, 120, 140);

struct ViewOptions {
    int levelColor = 1, bold = 0, italic = 0;
};

std::string viewIni(const ViewOptions& o)
{
    char text[512];
    snprintf(text, sizeof text,
             "[View]\r\nChange=1\r\nHeaderChange=1\r\nColor=%ld\r\nColor2=%ld\r\nColor3=%ld\r\n"
             "Color4=%ld\r\nColor5=%ld\r\nHeaderColor=%ld\r\nBold=%d\r\nItalic=%d\r\nLevelColor=%d\r\n",
             static_cast<long>(LEVEL_COLORS[0]), static_cast<long>(LEVEL_COLORS[1]),
             static_cast<long>(LEVEL_COLORS[2]), static_cast<long>(LEVEL_COLORS[3]),
             static_cast<long>(LEVEL_COLORS[4]), static_cast<long>(HEADER_COLOR), o.bold, o.italic, o.levelColor);
    return text;
}

std::string describe(const CharFormatRead& f)
{
    char text[128];
    snprintf(text, sizeof text, "colour %06lx%s%s%s%s", static_cast<unsigned long>(f.color),
             f.autoColor ? " auto" : "", (f.effects & CFE_BOLD) ? " bold" : "",
             (f.effects & CFE_ITALIC) ? " italic" : "", (f.mask & CFM_COLOR) ? "" : " mixed-colour");
    return text;
}

// The same look: colour (unless automatic), bold and italic, and whether
// the range is uniform in them.
bool sameLook(const CharFormatRead& a, const CharFormatRead& b)
{
    const DWORD uniform = CFM_COLOR | CFM_BOLD | CFM_ITALIC;
    const DWORD effects = CFE_BOLD | CFE_ITALIC | CFE_AUTOCOLOR;
    if ((a.mask & uniform) != (b.mask & uniform) || (a.effects & effects) != (b.effects & effects))
        return false;
    return a.autoColor || a.color == b.color;
}

bool isColored(const CharFormatRead& f, COLORREF color)
{
    return (f.mask & CFM_COLOR) && !f.autoColor && f.color == color;
}

struct TextRange { LONG from, to; };

TextRange locate(HWND control, const std::string& text, LONG from = 0)
{
    FINDTEXTA ft = {};
    ft.chrg.cpMin = from;
    ft.chrg.cpMax = -1;
    ft.lpstrText = text.c_str();
    LONG at = static_cast<LONG>(SendMessageA(control, EM_FINDTEXT, FR_DOWN | FR_MATCHCASE, reinterpret_cast<LPARAM>(&ft)));
    return TextRange{at, at < 0 ? at : at + wideLength(text)};
}

std::string repeat(const std::string& s, int n)
{
    std::string out;
    out.reserve(s.size() * n);
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

// A short message whose body the test supplies as raw RTF pieces, placed
// between the host's header pieces and its closing brace.
HostMessage shortMessage()
{
    HostMessage m;
    m.from = "差出人 <from@example.jp>";
    m.subject = "件名のテスト";
    m.date = "Thu, 10 Dec 2026 12:00:00 +0900";
    return m;
}

std::vector<std::string> piecesWith(const HostMessage& m, const std::vector<std::string>& extra)
{
    std::vector<std::string> pieces = hostRtfPieces(m);
    pieces.insert(pieces.end() - 1, extra.begin(), extra.end());
    return pieces;
}

// A body line as the host writes it.
std::string bodyPiece(const std::string& line)
{
    return hostRtfBodyPiece(line);
}

// An EDITSTREAM callback in the host's manner (one piece per call, as much
// as fits, zero-terminated) that also records the buffer sizes the control
// offers: the boundary cases need the real one.
struct PieceCursor {
    const std::vector<std::string>* pieces;
    size_t index, offset;
    std::set<LONG> sizes;
};

DWORD CALLBACK recordingPieceCallback(DWORD_PTR cookie, LPBYTE buffer, LONG cb, LONG* pcb)
{
    PieceCursor* c = reinterpret_cast<PieceCursor*>(cookie);
    c->sizes.insert(cb);
    *pcb = 0;
    if (cb <= 0)
        return 0;
    if (c->index >= c->pieces->size()) {
        buffer[0] = 0;
        return 0;
    }
    const std::string& piece = (*c->pieces)[c->index];
    size_t n = piece.size() - c->offset;
    if (n > static_cast<size_t>(cb - 1))
        n = static_cast<size_t>(cb - 1);
    memcpy(buffer, piece.data() + c->offset, n);
    buffer[n] = 0;
    c->offset += n;
    if (c->offset >= piece.size()) {
        c->index++;
        c->offset = 0;
    }
    *pcb = static_cast<LONG>(n);
    return 0;
}

class AbuseViewer : public PluginTest {
protected:
    void startWith(const ViewOptions& o)
    {
        writeIni(viewIni(o));
        start();
    }

    // Hidden windows: the formats read back are the same, and Wine without
    // a window manager waits for every shown window to go away.
    HWND openViewer(bool hooked)
    {
        HWND viewer = track(hostCreateViewerWindow(RICHEDIT_20A, "Quillpost - viewer", 0, 0, 700, 460));
        if (hooked)
            plugin.viewCreate(viewer);
        return hostEditControl(viewer);
    }

    void showBoth(const std::vector<std::string>& pieces, HWND* shown, HWND* baseline)
    {
        *shown = openViewer(true);
        *baseline = openViewer(false);
        hostStreamPieces(*shown, pieces);
        hostStreamPieces(*baseline, pieces);
    }

    // What every case asks first: both controls alive, and the hook has not
    // changed one byte of the text.
    void expectAliveAndSameText(HWND shown, HWND baseline, const char* what)
    {
        ASSERT_TRUE(controlAnswers(shown)) << what << ": the hooked control no longer answers";
        ASSERT_TRUE(controlAnswers(baseline)) << what << ": the unhooked control no longer answers";
        std::string expected = controlText(baseline), got = controlText(shown);
        EXPECT_EQ(expected.size(), got.size()) << what;
        EXPECT_TRUE(expected == got) << what << ": " << firstDifference(expected, got);
    }

    // The range r shows in color (with the configured effects), or, when
    // coloured is false, exactly as the unhooked control shows it.
    void expectLook(HWND shown, HWND baseline, TextRange r, bool coloured, COLORREF color, DWORD effects,
                    const std::string& what)
    {
        ASSERT_GE(r.from, 0) << what << " not found";
        CharFormatRead got = readCharFormat(shown, r.from, r.to);
        if (!coloured) {
            CharFormatRead host = readCharFormat(baseline, r.from, r.to);
            EXPECT_TRUE(sameLook(host, got))
                << what << ": expected the host's look, " << describe(host) << ", got " << describe(got);
            return;
        }
        CharFormatRead want = {color, effects, CFM_COLOR | CFM_BOLD | CFM_ITALIC, false};
        EXPECT_TRUE(sameLook(want, got)) << what << ": expected " << describe(want) << ", got " << describe(got);
    }

    // The buffer size the control offers its stream callback.
    LONG controlBufferSize()
    {
        HWND probe = openViewer(false);
        std::vector<std::string> pieces = hostRtfPieces(shortMessage());
        PieceCursor cursor = {&pieces, 0, 0, {}};
        EDITSTREAM es = {reinterpret_cast<DWORD_PTR>(&cursor), 0, recordingPieceCallback};
        SendMessageA(probe, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&es));
        return cursor.sizes.size() == 1 ? *cursor.sizes.begin() : -1;
    }
};

// ---------------------------------------------------------------------------
// Lines longer than the control's buffer.

// A line of 100 000 bytes reaches the stream callback in pieces that fill
// the control's buffer, which the plug-in must pass untouched, and a last
// short piece that begins in the middle of the line. The texts are double-
// byte characters and control words: Wine takes half a minute to lay out a
// 100 000-character ASCII paragraph, hook or no hook.
TEST_F(AbuseViewer, HundredThousandByteLinesOfEveryKindPassWhole)
{
    startWith(ViewOptions{1, 1, 1});
    const std::string a = "\\'82\\'a0";   // あ
    // checkAfter: the line after is coloured. Not after the colour table:
    // a second table replaces the host's own in both controls, and with it
    // the colours the plug-in's indexes select.
    struct Case { const char* name; std::string piece; std::string shownText; bool checkAfter; };
    std::vector<Case> cases;
    // A quoted line with a colour reset every hundred characters.
    cases.push_back({"quoted double-byte line with resets",
                     "> " + repeat(repeat(a, 100) + "\\cf0 ", 125) + "\\par\r\n",
                     "> " + repeat("あ", 12500), true});
    // A plain line of control words, a space between each.
    cases.push_back({"control words", repeat("\\b\\i\\b0\\i0 ", 10000) + "end\\par\r\n", "end", true});
    // A header line with the Subject label in its first part.
    cases.push_back({"Subject line", "\\plain\\fs20\\b Subject:\\b0\\cf0  " + repeat(a, 12500) + "\r\n\\par ",
                     "Subject: " + repeat("あ", 12500), true});
    // A colour table whose closing brace lies 100 000 bytes later.
    cases.push_back({"colour table", "{\\colortbl ;" + repeat("\\red1\\green2\\blue3;", 5300) + "}\r\n", "", false});
    std::vector<std::string> extra;
    for (const Case& c : cases) {
        ASSERT_GE(c.piece.size(), 100000u) << c.name;
        extra.push_back(c.piece);
        extra.push_back(bodyPiece(">> after"));
    }
    HWND shown, baseline;
    DWORD t0 = GetTickCount();
    showBoth(piecesWith(shortMessage(), extra), &shown, &baseline);
    DWORD took = abuse::elapsedSince(t0);
    expectAliveAndSameText(shown, baseline, "hundred-thousand-byte lines");
    std::string text = controlText(shown);
    LONG cursor = 0;
    for (const Case& c : cases) {
        if (!c.shownText.empty()) {
            EXPECT_NE(std::string::npos, text.find(c.shownText)) << c.name << ": the line is shown whole";
        }
        // The long line went past untouched: its look is the host's.
        if (c.shownText.size() > 4) {
            TextRange r = locate(shown, c.shownText.substr(c.shownText.size() - 4), cursor);
            expectLook(shown, baseline, r, false, 0, 0, std::string(c.name) + ", its end");
        }
        // The line after it is coloured again.
        TextRange after = locate(shown, ">> after", cursor);
        if (c.checkAfter)
            expectLook(shown, baseline, after, true, LEVEL_COLORS[1], CFE_BOLD | CFE_ITALIC,
                   std::string("the line after the ") + c.name);
        if (after.to > cursor)
            cursor = after.to;
    }
    RecordProperty("stream_ms", static_cast<int>(took));
}

// Pieces at the rewrite margin: one 30 bytes shorter than the control's
// buffer is coloured, one a byte longer is left as the host wrote it, and
// neither loses a character.
TEST_F(AbuseViewer, PiecesAtTheEdgeOfTheBuffer)
{
    startWith(ViewOptions{1, 0, 0});
    const LONG cb = controlBufferSize();
    ASSERT_GT(cb, 200) << "the control offers one buffer size";
    printf("[ buffer   ] the control's stream buffer holds %ld bytes\n", static_cast<long>(cb));
    struct Case { const char* name; LONG length; bool coloured; };
    const Case cases[] = {
        {"cb - 31", cb - 31, true},
        {"cb - 30", cb - 30, true},
        {"cb - 29", cb - 29, false},
        {"cb - 1", cb - 1, false},
    };
    const std::string mark = "\\par\r\n";
    std::vector<std::string> extra;
    std::vector<std::string> lines;
    for (const Case& c : cases) {
        // "> " and the case's name, double-byte characters, then ASCII
        // padding to the exact length, then the paragraph mark.
        const std::string head = std::string("> ") + c.name + " ";
        std::string piece = head;
        int characters = 0;
        while (piece.size() + 8 + mark.size() <= static_cast<size_t>(c.length)) {
            piece += "\\'82\\'a0";
            ++characters;
        }
        const std::string tail(c.length - mark.size() - piece.size(), 'x');
        piece += tail + mark;
        ASSERT_EQ(static_cast<size_t>(c.length), piece.size()) << c.name;
        extra.push_back(piece);
        lines.push_back(head + repeat("あ", characters) + tail);
    }
    extra.push_back(bodyPiece("> last"));
    HWND shown, baseline;
    showBoth(piecesWith(shortMessage(), extra), &shown, &baseline);
    expectAliveAndSameText(shown, baseline, "edge pieces");
    std::string text = controlText(shown);
    for (size_t i = 0; i < lines.size(); ++i) {
        const Case& c = cases[i];
        EXPECT_NE(std::string::npos, text.find(lines[i] + "\r\n")) << c.name << ": the line is shown whole";
        TextRange r = locate(shown, lines[i]);
        expectLook(shown, baseline, r, c.coloured, LEVEL_COLORS[0], 0, std::string("piece of ") + c.name);
    }
    expectLook(shown, baseline, locate(shown, "> last"), true, LEVEL_COLORS[0], 0, "the line after them");
}

// ---------------------------------------------------------------------------
// Colour resets, colour tables and Subject lines the host's shape does not
// promise.

// Two hundred resets in a depth-3 line with bold and italic on, after a
// colour table of thirty entries: every reset becomes the two-digit index
// of the level colour and bold and italic come back after each.
TEST_F(AbuseViewer, TwoHundredResetsAfterAThirtyEntryTable)
{
    startWith(ViewOptions{1, 1, 1});
    HostMessage m = shortMessage();
    std::vector<std::string> pieces = hostRtfPieces(m);
    std::string table = "{\\colortbl ;";
    for (int i = 1; i < 30; ++i)
        table += "\\red" + std::to_string(i * 8) + "\\green2\\blue3;";
    pieces[1] = table + "}\r\n";
    std::string line = ">>> start";
    for (int i = 0; i < 200; ++i)
        line += "\\cf7 x\\cf0 y";
    pieces.insert(pieces.end() - 1, {line + "\\par\r\n", bodyPiece("plain after")});
    HWND shown, baseline;
    showBoth(pieces, &shown, &baseline);
    expectAliveAndSameText(shown, baseline, "two hundred resets");
    TextRange start = locate(shown, ">>> start");
    ASSERT_GE(start.from, 0);
    for (int i : {0, 1, 99, 199}) {
        LONG x = start.to + 2 * i;
        std::string n = std::to_string(i);
        CharFormatRead fx = readCharFormat(shown, x, x + 1);
        EXPECT_TRUE(isColored(fx, RGB(7 * 8, 2, 3))) << "x " << n << " keeps the host's colour 7: " << describe(fx);
        expectLook(shown, baseline, TextRange{x + 1, x + 2}, true, LEVEL_COLORS[2], CFE_BOLD | CFE_ITALIC, "y " + n);
    }
    expectLook(shown, baseline, locate(shown, "件名のテスト"), true, HEADER_COLOR, 0, "Subject value (index 30)");
    expectLook(shown, baseline, locate(shown, "plain after"), false, 0, 0, "the plain line after it");
}

// A colour table whose closing brace comes in the next piece is left as
// the host wrote it: no colour of the plug-in's is appended, and since the
// plug-in cannot know the new table's size, the indexes it writes point
// into the host's table. What is shown is then a colour the host itself
// defined (or the automatic colour), never a made-up one; and the next
// message with a whole table is coloured right again.
TEST_F(AbuseViewer, ColourTableSplitAcrossPieces)
{
    startWith(ViewOptions{1, 0, 0});
    HostMessage m = shortMessage();
    std::vector<std::string> pieces = hostRtfPieces(m);
    const COLORREF hostColors[] = {RGB(0, 0, 0), RGB(11, 22, 33), RGB(44, 55, 66)};
    pieces[1] = "{\\colortbl ;\\red0\\green0\\blue0;\r\n";
    pieces.insert(pieces.begin() + 2, "\\red11\\green22\\blue33;\\red44\\green55\\blue66;}\r\n");
    pieces.insert(pieces.end() - 1, {bodyPiece("> one"), bodyPiece(">> two"), bodyPiece("plain")});
    HWND shown, baseline;
    showBoth(pieces, &shown, &baseline);
    expectAliveAndSameText(shown, baseline, "split colour table");
    for (const char* text : {"> one", ">> two", "件名のテスト", "plain"}) {
        TextRange r = locate(shown, text);
        ASSERT_GE(r.from, 0) << text;
        CharFormatRead f = readCharFormat(shown, r.from, r.to);
        bool hostDefined = f.autoColor;
        for (COLORREF c : hostColors)
            hostDefined = hostDefined || f.color == c;
        EXPECT_TRUE(hostDefined) << text << ": shows " << describe(f) << ", which the host's table does not hold";
        EXPECT_TRUE(f.mask & CFM_COLOR) << text << ": one colour over the whole line";
    }

    // The next message, whole again.
    HostMessage next = shortMessage();
    next.body = {"> one again", ">> two again"};
    HWND shownNext, baselineNext;
    showBoth(hostRtfPieces(next), &shownNext, &baselineNext);
    expectAliveAndSameText(shownNext, baselineNext, "the message after");
    expectLook(shownNext, baselineNext, locate(shownNext, "> one again"), true, LEVEL_COLORS[0], 0, "level 1 after");
    expectLook(shownNext, baselineNext, locate(shownNext, ">> two again"), true, LEVEL_COLORS[1], 0, "level 2 after");
    expectLook(shownNext, baselineNext, locate(shownNext, "件名のテスト"), true, HEADER_COLOR, 0, "Subject after");
}

// Subject lines whose label is not followed by a space where the host's
// shape puts one. Whatever the plug-in does with them, the reader must see
// the header as the host wrote it: no text lost, none repeated, no extra
// line.
struct SubjectCase { const char* name; const char* piece; };
void PrintTo(const SubjectCase& c, std::ostream* os) { *os << c.name; }

class SubjectWithoutSpace : public AbuseViewer, public ::testing::WithParamInterface<SubjectCase> {};

TEST_P(SubjectWithoutSpace, ShowsTheHeaderAsWritten)
{
    const SubjectCase& c = GetParam();
    startWith(ViewOptions{1, 0, 0});
    HostMessage m = shortMessage();
    std::vector<std::string> pieces = hostRtfPieces(m);
    // The host's own Subject piece is the fifth; the case replaces it.
    ASSERT_NE(std::string::npos, pieces[4].find("Subject:"));
    pieces[4] = c.piece;
    pieces.insert(pieces.end() - 1, {bodyPiece("> quoted"), bodyPiece("plain")});
    HWND shown, baseline;
    showBoth(pieces, &shown, &baseline);
    expectAliveAndSameText(shown, baseline, c.name);
    EXPECT_EQ(controlText(baseline).size(), controlText(shown).size()) << c.name << ": nothing repeated";
    expectLook(shown, baseline, locate(shown, "> quoted"), true, LEVEL_COLORS[0], 0,
               std::string(c.name) + ": the quoted line after it");
}

const SubjectCase SUBJECT_CASES[] = {
    {"LabelEndsThePiece", "\\plain\\fs20\\b Subject:"},
    {"ValueRightAfterTheRunNoSpaceAtAll", "\\plain\\fs20\\b Subject:\\b0\\cf0\\'8c\\'8f\\'96\\'bc\r\n\\par"},
    {"SpaceOnlyAfterTheParagraphMark", "\\plain\\fs20\\b Subject:\\b0\\cf0\\'8c\\'8f\\'96\\'bc\r\n\\par "},
    {"ValueGluedToTheLabel", "\\plain\\fs20\\b Subject:Hello\r\n\\par "},
    {"NoLineBreakAndNoSpace", "\\plain\\fs20\\b Subject:\\b0\\cf0\\'8c\\'8f\\par"},
    {"EmptyValue", "\\plain\\fs20\\b Subject:\\b0\\cf0 \r\n\\par "},
};
INSTANTIATE_TEST_SUITE_P(Abuse, SubjectWithoutSpace, ::testing::ValuesIn(SUBJECT_CASES),
                         [](const ::testing::TestParamInfo<SubjectCase>& i) { return std::string(i.param.name); });

// Lead bytes without their trail byte as the last byte of a piece, raw or
// escaped, after the colour table, in and after the Subject, in and after
// quoted and plain lines. The text shown must be the unhooked control's, and
// every line keeps its colour.
TEST_F(AbuseViewer, StrayLeadBytesBeforeTheTerminator)
{
    startWith(ViewOptions{1, 0, 0});
    HostMessage m = shortMessage();
    std::vector<std::string> pieces = hostRtfPieces(m);
    pieces[1] = "{\\colortbl ;\\red0\\green0\\blue0;}\r\n\\'82";
    // The Subject value ends in a lead byte (the host's Subject piece ends
    // with its paragraph mark, and what follows the line break is the
    // plug-in's to replace).
    pieces[4] = "\\plain\\fs20\\b Subject:\\b0\\cf0  \\'8c\\'8f\\'82\r\n\\par ";
    // A lead byte ending a piece pairs, in Wine's control, with the first
    // text byte after it: the next line loses its first character into one
    // "・". Before a quoted line the plug-in's colour group stands between
    // them, so there the line keeps its first character. `shown` is what
    // the line then shows without the hook and `hookedShown` with it.
    struct Line { const char* piece; const char* text; int depth; const char* shown; const char* hookedShown; };
    const Line lines[] = {
        {"> escaped after the mark\\par\r\n\\'82", "> escaped after the mark", 1, nullptr, nullptr},
        {">> escaped before the mark\\'82\\par\r\n", ">> escaped before the mark", 2, "・> escaped", "・>> escaped"},
        {"plain escaped\\'82\\'82\\'82\\par\r\n\\'82", "plain escaped", 0, nullptr, nullptr},
        {"> raw after the mark\\par\r\n\x82", "> raw after the mark", 1, "・ raw after", "・> raw after"},
        {">>> after a raw lead\\par\r\n", ">>> after a raw lead", 3, "・>> after a raw", "・>>> after a raw"},
        {"plain raw after the mark\\par\r\n\x82", "plain raw after the mark", 0, nullptr, nullptr},
        {"0 plain after a raw lead\\par\r\n", " plain after a raw lead", 0, "・ plain after", "・ plain after"},
        {"> last\\par\r\n", "> last", 1, nullptr, nullptr},
    };
    for (const Line& l : lines)
        pieces.insert(pieces.end() - 1, l.piece);
    HWND shown, baseline;
    showBoth(pieces, &shown, &baseline);
    ASSERT_TRUE(controlAnswers(shown));
    ASSERT_TRUE(controlAnswers(baseline));
    std::string expected = controlText(baseline);
    for (const Line& l : lines) {
        if (!l.shown)
            continue;
        size_t at = expected.find(l.shown);
        ASSERT_NE(std::string::npos, at) << "the unhooked control shows \"" << l.shown << "\" in: " << expected;
        expected.replace(at, strlen(l.shown), l.hookedShown);
    }
    std::string got = controlText(shown);
    EXPECT_TRUE(expected == got) << "stray lead bytes: " << firstDifference(expected, got);
    expectLook(shown, baseline, locate(shown, "件"), true, HEADER_COLOR, 0, "the Subject value");
    for (const Line& l : lines) {
        TextRange r = locate(shown, l.text);
        if (l.depth > 0) {
            expectLook(shown, baseline, r, true, LEVEL_COLORS[l.depth - 1], 0, l.text);
            continue;
        }
        // The texts differ in length before it: each control's own range.
        TextRange h = locate(baseline, l.text);
        ASSERT_GE(r.from, 0) << l.text;
        ASSERT_GE(h.from, 0) << l.text;
        CharFormatRead got = readCharFormat(shown, r.from, r.to), host = readCharFormat(baseline, h.from, h.to);
        EXPECT_TRUE(sameLook(host, got)) << l.text << ": expected the host's look, " << describe(host) << ", got "
                                         << describe(got);
    }
}

// A quoted piece without its paragraph mark (the host never writes one, but
// the piece is the plug-in's to judge) opens a colour group that nothing
// closes before the document ends: the plain lines after it take the quote
// colour, later quoted lines their own. The text stays the host's.
// Backslashes typed in mail (a Windows path, RTF quoted in a message) reach
// the RTF doubled. "\par", "\cf0" and "\b Subject:" there are text: the
// reader must see them as typed, the quote colour must end with its line, and
// a header whose text spells the Subject label stays a plain header.
TEST_F(AbuseViewer, BackslashesInMailTextStayText)
{
    startWith(ViewOptions{1, 1, 0});
    HostMessage m = shortMessage();
    m.from = "x\\b Subject:\\b0 y <from@example.jp>";
    m.subject = "C:\\cf0\\資料";
    std::vector<std::string> extra = {bodyPiece("> 資料は C:\\parts\\cf0\\list\\par にあります"),
                                      bodyPiece("plain after"), bodyPiece(">> \\\\server\\cf0 quoted after")};
    HWND shown, baseline;
    showBoth(piecesWith(m, extra), &shown, &baseline);
    expectAliveAndSameText(shown, baseline, "backslashes in the text");
    EXPECT_GE(locate(shown, "C:\\parts\\cf0\\list\\par").from, 0) << controlText(shown);
    expectLook(shown, baseline, locate(shown, "> 資料は C:\\parts\\cf0\\list\\par にあります"), true,
               LEVEL_COLORS[0], CFE_BOLD, "the quoted path");
    expectLook(shown, baseline, locate(shown, "plain after"), false, 0, 0, "the plain line after it");
    expectLook(shown, baseline, locate(shown, ">> \\\\server\\cf0 quoted after"), true, LEVEL_COLORS[1],
               CFE_BOLD, "the next quoted line");
    expectLook(shown, baseline, locate(shown, "C:\\cf0\\資料"), true, HEADER_COLOR, 0, "the Subject value");
    expectLook(shown, baseline, locate(shown, "x\\b Subject:\\b0 y"), false, 0, 0,
               "the From line that spells the label");
}

TEST_F(AbuseViewer, QuotedPieceWithoutItsParagraphMark)
{
    startWith(ViewOptions{1, 0, 0});
    std::vector<std::string> extra = {"> no mark\\'82\\'a0", "\\par\r\n", bodyPiece("plain after"),
                                      bodyPiece(">> quoted after")};
    HWND shown, baseline;
    showBoth(piecesWith(shortMessage(), extra), &shown, &baseline);
    expectAliveAndSameText(shown, baseline, "quoted piece without a paragraph mark");
    expectLook(shown, baseline, locate(shown, "> no mark"), true, LEVEL_COLORS[0], 0, "the piece itself");
    expectLook(shown, baseline, locate(shown, ">> quoted after"), true, LEVEL_COLORS[1], 0, "the quoted line after");
    TextRange plain = locate(shown, "plain after");
    ASSERT_GE(plain.from, 0);
    CharFormatRead f = readCharFormat(shown, plain.from, plain.to);
    CharFormatRead host = readCharFormat(baseline, plain.from, plain.to);
    EXPECT_TRUE(sameLook(host, f) || isColored(f, LEVEL_COLORS[0]))
        << "the plain line after: the host's look or the open group's quote colour, got " << describe(f);
}

// A line longer than the buffer whose last piece happens to begin with a
// quote marker: that piece goes on with the line the piece before filled the
// buffer with, so it is no quoted line of its own. Its text is untouched and
// keeps the host's look; the lines after it are as before.
TEST_F(AbuseViewer, LongLineWhoseLastPieceBeginsWithAMarker)
{
    startWith(ViewOptions{1, 0, 0});
    const LONG cb = controlBufferSize();
    ASSERT_GT(cb, 200);
    // The first piece fills the buffer (cb - 1 bytes); the second begins
    // with "> ".
    std::string head = "head ";
    while (head.size() + 8 <= static_cast<size_t>(cb - 1))
        head += "\\'82\\'a0";
    head += std::string(cb - 1 - head.size(), 'h');
    std::vector<std::string> extra = {head + "> tail of the line\\par\r\n", bodyPiece("plain after"),
                                      bodyPiece(">> quoted after")};
    HWND shown, baseline;
    showBoth(piecesWith(shortMessage(), extra), &shown, &baseline);
    expectAliveAndSameText(shown, baseline, "long line with a marker at the piece boundary");
    expectLook(shown, baseline, locate(shown, "head "), false, 0, 0, "the head of the line");
    expectLook(shown, baseline, locate(shown, "> tail of the line"), false, 0, 0, "the tail of the line");
    expectLook(shown, baseline, locate(shown, "plain after"), false, 0, 0, "the plain line after");
    expectLook(shown, baseline, locate(shown, ">> quoted after"), true, LEVEL_COLORS[1], 0, "the quoted line after");
}

// Raw bytes with the top bit set are no part of the host's RTF (it escapes
// them), but mail can smuggle anything into a line. A raw lead byte as the
// piece's last byte is followed, once the plug-in closes its colour group,
// by the closing brace, which code page 932 accepts as a trail byte.
TEST_F(AbuseViewer, RawLeadByteBeforeTheParagraphMark)
{
    startWith(ViewOptions{1, 0, 0});
    std::vector<std::string> extra = {
        "> raw lead\x82\\par\r\n",
        "plain raw lead\x82\\par\r\n",
        bodyPiece("plain after"),
        bodyPiece("> quoted after"),
    };
    HWND shown, baseline;
    showBoth(piecesWith(shortMessage(), extra), &shown, &baseline);
    expectAliveAndSameText(shown, baseline, "raw lead bytes");
    expectLook(shown, baseline, locate(shown, "plain after"), false, 0, 0, "the plain line after them");
    expectLook(shown, baseline, locate(shown, "> quoted after"), true, LEVEL_COLORS[0], 0, "the quoted line after them");
}

// ---------------------------------------------------------------------------
// Size.

// A message of many lines, a quarter of them quoted at depths 1 to 5.
TEST_F(AbuseViewer, FiftyThousandLineMessage)
{
    startWith(ViewOptions{1, 0, 0});
    const int LINES = 50000;
    HostMessage m = shortMessage();
    m.body.reserve(LINES);
    for (int i = 0; i < LINES; ++i) {
        // Fixed-width numbers: no line's text begins another's.
        char number[8];
        snprintf(number, sizeof number, "%05d", i);
        if (i % 4 == 0)
            m.body.push_back(std::string(1 + (i / 4) % 5, '>') + " 引用 " + number);
        else
            m.body.push_back(std::string("本文 ") + number);
    }
    std::vector<std::string> pieces = hostRtfPieces(m);
    HWND shown = openViewer(true), baseline = openViewer(false);
    DWORD t0 = GetTickCount();
    hostStreamPieces(shown, pieces);
    DWORD hooked = abuse::elapsedSince(t0);
    t0 = GetTickCount();
    hostStreamPieces(baseline, pieces);
    DWORD plain = abuse::elapsedSince(t0);
    RecordProperty("hooked_ms", static_cast<int>(hooked));
    RecordProperty("unhooked_ms", static_cast<int>(plain));
    printf("[ timing   ] %d lines: hooked %lu ms, unhooked %lu ms\n", LINES, hooked, plain);
    expectAliveAndSameText(shown, baseline, "fifty thousand lines");
    EXPECT_GE(SendMessageA(shown, EM_GETLINECOUNT, 0, 0), static_cast<LRESULT>(LINES + 4));
    for (int i : {0, 1, 4, 8, 12, 16, 24999, 25000, 49996, 49999}) {
        TextRange r = locate(shown, m.body[i]);
        int depth = i % 4 == 0 ? 1 + (i / 4) % 5 : 0;
        expectLook(shown, baseline, r, depth > 0, depth > 0 ? LEVEL_COLORS[depth - 1] : 0, 0, "line " + std::to_string(i));
    }
}

// ---------------------------------------------------------------------------
// Repetition: a thousand hostile messages into one control.

TEST_F(AbuseViewer, AThousandHostileMessagesLeaveNothingBehind)
{
    startWith(ViewOptions{1, 1, 1});
    HostMessage m = shortMessage();
    std::vector<std::string> pieces = hostRtfPieces(m);
    std::string table = "{\\colortbl ;";
    for (int i = 1; i < 30; ++i)
        table += "\\red" + std::to_string(i) + "\\green2\\blue3;";
    pieces[1] = table + "}\r\n";
    pieces[4] = "\\plain\\fs20\\b Subject:\\b0\\cf0\\'8c\\'8f\\par";
    std::string resets = ">> start";
    for (int i = 0; i < 200; ++i)
        resets += "\\cf0 y";
    std::vector<std::string> extra = {resets + "\\par\r\n", "> stray\\'82", "\\par\r\n",
                                      "> " + repeat("\\'82\\'a0", 1000) + "\\par\r\n", bodyPiece("> last")};
    pieces.insert(pieces.end() - 1, extra.begin(), extra.end());

    HWND shown = openViewer(true), baseline = openViewer(false);
    for (int i = 0; i < 20; ++i) {   // the controls' own caches settle
        hostStreamPieces(shown, pieces);
        hostStreamPieces(baseline, pieces);
    }
    pumpPending();
    // Wine's rich edit control keeps a couple of heap blocks per stream-in
    // of its own (an unhooked control does the same), so the process heap
    // is compared against the same thousand messages streamed unhooked.
    const abuse::HeapSummary unhookedBefore = abuse::processHeapSummary();
    for (int i = 0; i < 1000; ++i)
        hostStreamPieces(baseline, pieces);
    const abuse::HeapSummary unhookedAfter = abuse::processHeapSummary();

    const int gdiBefore = abuse::liveGdiObjects();
    const abuse::HeapSummary heapBefore = abuse::processHeapSummary();
    size_t pluginLiveAfterEach = 0, allocations = 0;
    {
        abuse::PluginHeapWatch watch(plugin.module);
        ASSERT_TRUE(watch.installed()) << "the plug-in's malloc and free were found";
        for (int i = 0; i < 1000; ++i) {
            hostStreamPieces(shown, pieces);
            if (watch.liveBlocks() > pluginLiveAfterEach)
                pluginLiveAfterEach = watch.liveBlocks();
        }
        // A start-up allocates the marker list, its working buffers and the
        // ruler's line buffer: proof that the counting sees the plug-in.
        const size_t before = watch.allocations();
        plugin.startUp(0);
        allocations = watch.allocations() - before;
    }
    pumpPending();
    const int gdiAfter = abuse::liveGdiObjects();
    const abuse::HeapSummary heapAfter = abuse::processHeapSummary();
    EXPECT_GE(allocations, 1u) << "the counting sees the plug-in's allocations";
    EXPECT_EQ(0u, pluginLiveAfterEach) << "blocks the plug-in still held after a stream";
    EXPECT_LE(gdiAfter, gdiBefore) << "GDI objects: " << gdiBefore << " before, " << gdiAfter << " after";
    // The whole process, as a cross-check: a block lost per message would
    // be a thousand blocks more than the unhooked control's growth.
    const long long hookedGrowth = static_cast<long long>(heapAfter.blocks) - static_cast<long long>(heapBefore.blocks);
    const long long unhookedGrowth =
        static_cast<long long>(unhookedAfter.blocks) - static_cast<long long>(unhookedBefore.blocks);
    EXPECT_LT(hookedGrowth - unhookedGrowth, 100)
        << "process heap blocks grew by " << hookedGrowth << " hooked against " << unhookedGrowth << " unhooked";
    printf("[ heap     ] process heap growth over 1000 messages: %lld blocks hooked, %lld unhooked; GDI %d before, %d after\n",
           hookedGrowth, unhookedGrowth, gdiBefore, gdiAfter);
    expectAliveAndSameText(shown, baseline, "after a thousand messages");
    expectLook(shown, baseline, locate(shown, "> last"), true, LEVEL_COLORS[0], CFE_BOLD | CFE_ITALIC, "the last line");
}

} // namespace
