// The message viewer under Wine: the host streams its RTF into a real
// RichEdit20A control hooked by the plug-in, and the test reads back what the
// reader sees, against the same message streamed into an unhooked control.
#include "wine_support.h"
#include <stdio.h>
#include <commctrl.h>

namespace {

const COLORREF LEVEL_COLORS[5] = {RGB(200, 0, 0), RGB(0, 150, 0), RGB(0, 0, 210), RGB(160, 100, 0),
                                  RGB(120, 0, 160)};
const COLORREF HEADER_COLOR = RGB(0, 120, 140);
const DWORD EFFECT_MASK = CFE_BOLD | CFE_ITALIC | CFE_AUTOCOLOR;
const DWORD UNIFORM_MASK = CFM_COLOR | CFM_BOLD | CFM_ITALIC;

struct ViewConfig {
    const char* name;
    int quoteColoring, headerColoring, levelColor, bold, italic;
};

std::string viewIni(const ViewConfig& c)
{
    char text[512];
    snprintf(text, sizeof text,
             "[View]\r\nChange=%d\r\nHeaderChange=%d\r\nColor=%ld\r\nColor2=%ld\r\nColor3=%ld\r\n"
             "Color4=%ld\r\nColor5=%ld\r\nHeaderColor=%ld\r\nBold=%d\r\nItalic=%d\r\nLevelColor=%d\r\n",
             c.quoteColoring, c.headerColoring, static_cast<long>(LEVEL_COLORS[0]),
             static_cast<long>(LEVEL_COLORS[1]), static_cast<long>(LEVEL_COLORS[2]),
             static_cast<long>(LEVEL_COLORS[3]), static_cast<long>(LEVEL_COLORS[4]),
             static_cast<long>(HEADER_COLOR), c.bold, c.italic, c.levelColor);
    return text;
}

std::string describe(const CharFormatRead& f)
{
    char text[128];
    snprintf(text, sizeof text, "colour %06lx%s%s%s%s (mask %08lx)", static_cast<unsigned long>(f.color),
             f.autoColor ? " auto" : "", (f.effects & CFE_BOLD) ? " bold" : "",
             (f.effects & CFE_ITALIC) ? " italic" : "", (f.mask & CFM_COLOR) ? "" : " mixed-colour",
             static_cast<unsigned long>(f.mask));
    return text;
}

bool sameLook(const CharFormatRead& a, const CharFormatRead& b)
{
    if ((a.mask & UNIFORM_MASK) != (b.mask & UNIFORM_MASK) || (a.effects & EFFECT_MASK) != (b.effects & EFFECT_MASK))
        return false;
    return a.autoColor || a.color == b.color;
}

// Characters a Shift_JIS line takes in a RichEdit 2.0 control.
LONG wideLength(const std::string& text)
{
    return MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()), NULL, 0);
}

LONG findFrom(HWND control, const std::string& text, LONG from)
{
    FINDTEXTA ft = {};
    ft.chrg.cpMin = from;
    ft.chrg.cpMax = -1;
    ft.lpstrText = text.c_str();
    return static_cast<LONG>(
        SendMessageA(control, EM_FINDTEXT, FR_DOWN | FR_MATCHCASE, reinterpret_cast<LPARAM>(&ft)));
}

struct TextRange { LONG from, to; };

TextRange locate(HWND control, const std::string& text, LONG from)
{
    LONG at = findFrom(control, text, from);
    return TextRange{at, at < 0 ? at : at + wideLength(text)};
}

// What WM_GETTEXT gives for a message streamed in the host's shape (the
// last paragraph mark is the control's own and not part of the text).
std::string expectedText(const HostMessage& m)
{
    std::string text = "From: " + m.from + "\r\nSubject: " + m.subject + "\r\nDate: " + m.date + "\r\n";
    for (const std::string& line : m.body)
        text += "\r\n" + line;
    return text;
}

// The pieces of a message with extra raw RTF pieces before its closing brace.
std::vector<std::string> piecesWith(const HostMessage& m, const std::vector<std::string>& extra)
{
    std::vector<std::string> pieces = hostRtfPieces(m);
    pieces.insert(pieces.end() - 1, extra.begin(), extra.end());
    return pieces;
}

// The sample message with the quote depth the plug-in should find per line.
const int SAMPLE_DEPTHS[] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 2, 0, 0, 0, 0, 0, 0, 0};

// Every marker of the default list, depths beyond the five levels, leading
// spaces, and lines that only contain a marker later on.
HostMessage levelsMessage(std::vector<int>* depths)
{
    HostMessage m;
    m.from = "鈴木 花子 <hanako@example.jp>";
    m.subject = "深さの見本";
    m.date = "Wed, 09 Dec 2026 09:00:00 +0900";
    struct Line { const char* text; int depth; };
    static const Line lines[] = {
        {"本文の一行目", 0},
        {"> one", 1},
        {">> two", 2},
        {">>> three", 3},
        {">>>> four", 4},
        {">>>>> five", 5},
        {">>>>>> six", 6},
        {">>>>>>> seven", 7},
        {"＞＞ 全角の二段", 2},
        {"  > indented", 1},
        {"》 二重山括弧", 1},
        {"｜ 縦棒", 1},
        {"≫≫ 二段", 2},
        {"| > mixed", 2},
        {"a > not quoted", 0},
        {"終わり", 0},
    };
    for (const Line& line : lines) {
        m.body.push_back(line.text);
        depths->push_back(line.depth);
    }
    return m;
}

class ViewerTest : public PluginTest {
protected:
    // A viewer window as the host makes it; hooked unless told otherwise.
    // Left hidden: the formats read back are the same, and Wine without a
    // window manager waits two seconds for every shown window to go away.
    HWND openViewer(bool hooked = true)
    {
        HWND viewer = track(hostCreateViewerWindow(RICHEDIT_20A, "Quillpost - viewer", 0, 0, 700, 460));
        if (hooked)
            plugin.viewCreate(viewer);
        return viewer;
    }

    // Shows pieces in a hooked viewer and an unhooked one; both controls out.
    void showBoth(const std::vector<std::string>& pieces, HWND* shown, HWND* baseline)
    {
        *shown = hostEditControl(openViewer(true));
        *baseline = hostEditControl(openViewer(false));
        hostStreamPieces(*shown, pieces);
        hostStreamPieces(*baseline, pieces);
    }

    // Each header value and body line of m, from position from on, as the
    // configuration says it should look, or as the unhooked control shows it.
    void expectMessageLook(HWND shown, HWND baseline, const HostMessage& m, const std::vector<int>& depths,
                           const ViewConfig& c)
    {
        EXPECT_EQ(controlText(baseline), controlText(shown)) << "the hook must not change the text";

        TextRange label = locate(shown, "Subject:", 0);
        ASSERT_GE(label.from, 0) << "Subject label not found";
        TextRange value = locate(shown, m.subject, label.to);
        ASSERT_GE(value.from, 0) << "Subject value not found";
        EXPECT_TRUE(sameLook(readCharFormat(baseline, label.from, label.to), readCharFormat(shown, label.from, label.to)))
            << "the Subject label keeps the host's look: expected "
            << describe(readCharFormat(baseline, label.from, label.to)) << ", got "
            << describe(readCharFormat(shown, label.from, label.to));
        expectLine(shown, baseline, value, c.headerColoring, HEADER_COLOR, 0, "Subject value");
        for (const std::string* header : {&m.from, &m.date}) {
            TextRange r = locate(shown, *header, 0);
            expectLine(shown, baseline, r, false, 0, 0, header->c_str());
        }

        LONG cursor = value.to;
        for (size_t i = 0; i < m.body.size(); ++i) {
            if (m.body[i].empty())
                continue;
            TextRange r = locate(shown, m.body[i], cursor);
            ASSERT_GE(r.from, 0) << "body line " << i << " not found";
            cursor = r.to;
            int depth = depths[i];
            bool coloured = c.quoteColoring && depth > 0;
            int level = c.levelColor ? (depth < 5 ? depth : 5) : 1;
            DWORD effects = (c.bold ? CFE_BOLD : 0) | (c.italic ? CFE_ITALIC : 0);
            std::string what = "body line " + std::to_string(i) + " (depth " + std::to_string(depth) + ")";
            expectLine(shown, baseline, r, coloured, coloured ? LEVEL_COLORS[level - 1] : 0, effects, what.c_str());
        }
    }

    void expectLine(HWND shown, HWND baseline, TextRange r, bool coloured, COLORREF color, DWORD effects,
                    const char* what)
    {
        CharFormatRead got = readCharFormat(shown, r.from, r.to);
        if (!coloured) {
            CharFormatRead host = readCharFormat(baseline, r.from, r.to);
            EXPECT_TRUE(sameLook(host, got))
                << what << ": expected the host's own look, " << describe(host) << ", got " << describe(got);
            return;
        }
        CharFormatRead want = {color, effects, UNIFORM_MASK, false};
        EXPECT_TRUE(sameLook(want, got)) << what << ": expected " << describe(want) << ", got " << describe(got);
    }
};

// ---------------------------------------------------------------------------
// Recolouring, for each combination of the viewer settings.

class ViewerColouring : public ViewerTest, public ::testing::WithParamInterface<ViewConfig> {};

TEST_P(ViewerColouring, SampleAndLevelMessagesShowConfiguredColours)
{
    const ViewConfig& c = GetParam();
    writeIni(viewIni(c));
    start();

    HostMessage sample = hostSampleMessage();
    std::vector<int> sampleDepths(std::begin(SAMPLE_DEPTHS), std::end(SAMPLE_DEPTHS));
    ASSERT_EQ(sample.body.size(), sampleDepths.size());
    HWND shown, baseline;
    showBoth(hostRtfPieces(sample), &shown, &baseline);
    EXPECT_EQ(expectedText(sample), controlText(shown));
    expectMessageLook(shown, baseline, sample, sampleDepths, c);

    // A second message into the same control: the table is seen afresh.
    std::vector<int> depths;
    HostMessage levels = levelsMessage(&depths);
    hostStreamPieces(shown, hostRtfPieces(levels));
    hostStreamPieces(baseline, hostRtfPieces(levels));
    EXPECT_EQ(expectedText(levels), controlText(shown));
    expectMessageLook(shown, baseline, levels, depths, c);
}

const ViewConfig VIEW_CONFIGS[] = {
    {"LevelsBold", 1, 1, 1, 1, 0},
    {"LevelsItalic", 1, 1, 1, 0, 1},
    {"OneColourBoldItalic", 1, 1, 0, 1, 1},
    {"HeaderOnly", 0, 1, 1, 1, 0},
    {"QuoteOnly", 1, 0, 1, 0, 0},
    {"BothOff", 0, 0, 1, 1, 1},
};

INSTANTIATE_TEST_SUITE_P(Settings, ViewerColouring, ::testing::ValuesIn(VIEW_CONFIGS),
                         [](const ::testing::TestParamInfo<ViewConfig>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The caller's stream record.

struct PieceSource {
    const std::vector<std::string>* pieces;
    size_t next;
    int calls;
};

DWORD CALLBACK pieceSourceCallback(DWORD_PTR cookie, LPBYTE buffer, LONG cb, LONG* pcb)
{
    PieceSource* source = reinterpret_cast<PieceSource*>(cookie);
    source->calls++;
    *pcb = 0;
    buffer[0] = 0;
    if (source->next >= source->pieces->size())
        return 0;
    const std::string& piece = (*source->pieces)[source->next++];
    if (piece.size() + 1 > static_cast<size_t>(cb))
        return 1;
    memcpy(buffer, piece.c_str(), piece.size() + 1);
    *pcb = static_cast<LONG>(piece.size());
    return 0;
}

class StreamRecord : public ViewerTest {
protected:
    // How often an unhooked control calls the host's callback for pieces.
    int callsWithoutHook(const std::vector<std::string>& pieces)
    {
        HWND control = hostEditControl(openViewer(false));
        PieceSource source = {&pieces, 0, 0};
        EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&source), 0, pieceSourceCallback};
        SendMessageA(control, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
        return source.calls;
    }
};

TEST_F(StreamRecord, BothColouringsOffLeaveTheCallersRecordAlone)
{
    writeIni("[View]\r\nChange=0\r\nHeaderChange=0\r\n");
    start();
    HWND control = hostEditControl(openViewer());
    HostMessage m = hostSampleMessage();
    std::vector<std::string> pieces = hostRtfPieces(m);
    PieceSource source = {&pieces, 0, 0};
    EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&source), 0, pieceSourceCallback};
    SendMessageA(control, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    EXPECT_EQ(reinterpret_cast<void*>(pieceSourceCallback), reinterpret_cast<void*>(stream.pfnCallback))
        << "the record must still hold the host's callback";
    EXPECT_EQ(reinterpret_cast<DWORD_PTR>(&source), stream.dwCookie);
    EXPECT_EQ(expectedText(m), controlText(control));
}

TEST_F(StreamRecord, ColouringOnReplacesTheCallbackAndAReusedRecordStillShows)
{
    writeIni(viewIni({"", 1, 1, 0, 0, 0}));
    start();
    HWND control = hostEditControl(openViewer());
    HostMessage m = hostSampleMessage();
    std::vector<std::string> pieces = hostRtfPieces(m);
    PieceSource source = {&pieces, 0, 0};
    EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&source), 0, pieceSourceCallback};
    SendMessageA(control, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    EXPECT_NE(reinterpret_cast<void*>(pieceSourceCallback), reinterpret_cast<void*>(stream.pfnCallback))
        << "the plug-in's callback must stand in the record";
    EXPECT_TRUE(stream.pfnCallback != NULL);
    int hostCalls = callsWithoutHook(pieces);
    EXPECT_EQ(hostCalls, source.calls) << "the host's callback runs for every piece";
    TextRange quoted = locate(control, m.body[4], 0);
    EXPECT_EQ(LEVEL_COLORS[0], readCharFormat(control, quoted.from, quoted.to).color);

    // The host sends the same record again, which now names the plug-in's
    // callback: the host's callback saved before must still be the one called.
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    source.next = 0;
    source.calls = 0;
    SendMessageA(control, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    EXPECT_EQ(hostCalls, source.calls) << "the host's callback must still be called";
    EXPECT_EQ(expectedText(m), controlText(control));
    quoted = locate(control, m.body[4], 0);
    ASSERT_GE(quoted.from, 0);
    CharFormatRead f = readCharFormat(control, quoted.from, quoted.to);
    EXPECT_EQ(LEVEL_COLORS[0], f.color) << describe(f);
}

TEST_F(StreamRecord, RecordWithoutCallbackLoadsNothing)
{
    writeIni(viewIni({"", 1, 1, 0, 0, 0}));
    start();
    HWND control = hostEditControl(openViewer());
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("old text"));
    EDITSTREAM stream = {0, 0, NULL};
    SendMessageA(control, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    EXPECT_EQ("", controlText(control)) << "an empty stream replaces the text with nothing";
    // And the viewer goes on working for the next message.
    HostMessage m = hostSampleMessage();
    hostStreamPieces(control, hostRtfPieces(m));
    EXPECT_EQ(expectedText(m), controlText(control));
}

// ---------------------------------------------------------------------------
// The colour-table base, read from the host's table and kept across messages.

// A message whose own colour table hides in a header piece, which the
// plug-in neither examines for a table nor extends: its quoted line then
// selects whatever index the base left from before names in this table.
std::vector<std::string> hiddenTablePieces(const HostMessage& m, const std::vector<COLORREF>& table)
{
    std::vector<std::string> pieces = hostRtfPieces(m);
    std::string hidden = "\\plain{\\colortbl ;";
    for (COLORREF color : table) {
        char entry[64];
        snprintf(entry, sizeof entry, "\\red%d\\green%d\\blue%d;", GetRValue(color), GetGValue(color),
                 GetBValue(color));
        hidden += entry;
    }
    hidden += "}\r\n";
    pieces[1] = hidden;
    return pieces;
}

std::vector<COLORREF> distinctColours(int count)
{
    std::vector<COLORREF> colours;
    for (int i = 1; i <= count; ++i)
        colours.push_back(RGB(10 * i, 255 - 10 * i, 5 * i));
    return colours;
}

HostMessage oneQuoteMessage()
{
    HostMessage m;
    m.from = "a@example.jp";
    m.subject = "base";
    m.date = "today";
    m.body = {"> quoted", "plain"};
    return m;
}

class ColourTableBase : public ViewerTest {};

TEST_F(ColourTableBase, QuotedLineBeforeAnyTableUsesIndexTwo)
{
    writeIni(viewIni({"", 1, 1, 0, 0, 0}));
    start();
    HWND control = hostEditControl(openViewer());
    std::vector<COLORREF> table = distinctColours(9);   // indexes 1 to 9
    HostMessage m = oneQuoteMessage();
    hostStreamPieces(control, hiddenTablePieces(m, table));
    TextRange r = locate(control, "> quoted", 0);
    CharFormatRead f = readCharFormat(control, r.from, r.to);
    EXPECT_EQ(table[1], f.color) << "base 1 + level 1 = index 2; got " << describe(f);
}

TEST_F(ColourTableBase, BaseFromOneMessageCarriesToTheNext)
{
    writeIni(viewIni({"", 1, 1, 0, 0, 0}));
    start();
    HWND control = hostEditControl(openViewer());
    HostMessage m = oneQuoteMessage();
    // First message: a table of four entries, so the base becomes 4.
    std::vector<std::string> first = hostRtfPieces(m);
    first[1] = "{\\colortbl ;\\red1\\green1\\blue1;\\red2\\green2\\blue2;\\red3\\green3\\blue3;}\r\n";
    hostStreamPieces(control, first);
    TextRange r = locate(control, "> quoted", 0);
    CharFormatRead f = readCharFormat(control, r.from, r.to);
    EXPECT_EQ(LEVEL_COLORS[0], f.color) << describe(f);
    r = locate(control, "base", 0);
    f = readCharFormat(control, r.from, r.to);
    EXPECT_EQ(HEADER_COLOR, f.color) << describe(f);

    // Second message: no table the plug-in sees, so index 4 + 1 = 5 of
    // whatever table the control has.
    std::vector<COLORREF> table = distinctColours(9);
    hostStreamPieces(control, hiddenTablePieces(m, table));
    r = locate(control, "> quoted", 0);
    f = readCharFormat(control, r.from, r.to);
    EXPECT_EQ(table[4], f.color) << "expected index 5 (base 4 kept), got " << describe(f);
    r = locate(control, "base", 0);
    f = readCharFormat(control, r.from, r.to);
    EXPECT_EQ(table[3], f.color) << "the Subject takes index 4, got " << describe(f);
}

// ---------------------------------------------------------------------------
// The signature set apart, and the levels repeated past the fifth.

class ViewerSignature : public ViewerTest {
protected:
    // Every character of text, found from *cursor on, looks as expectLine
    // says; *cursor moves past it.
    void expectEachCharacter(HWND shown, HWND baseline, const std::string& text, COLORREF colour,
                             bool host, LONG* cursor)
    {
        TextRange r = locate(shown, text, *cursor);
        ASSERT_GE(r.from, 0) << text << " not found";
        *cursor = r.to;
        for (LONG at = r.from; at < r.to; ++at) {
            const std::string what = text + ", character " + std::to_string(at - r.from);
            expectLine(shown, baseline, TextRange{at, at + 1}, !host, colour, 0, what.c_str());
        }
    }
};

// From the separator on, every line of the message is in the signature
// colour, a quoted one too; before it, quotes take their levels, a sixth
// level the first colour again; a line longer than the buffer, cut inside its
// escapes, keeps the host's look. The next message, streamed without a table
// the plug-in sees, starts outside the signature.
TEST_F(ViewerSignature, SignatureAndDeepQuotesReadBackPerCharacter)
{
    const COLORREF SIGNATURE_COLOR = RGB(90, 60, 30);
    writeIni(viewIni({"", 1, 1, 1, 0, 0}) + "SignatureChange=1\r\nSignatureColor="
             + std::to_string(SIGNATURE_COLOR) + "\r\nLevelRepeat=1\r\n");
    start();
    HostMessage m = oneQuoteMessage();
    m.subject = "署名の見本";
    std::string longLine;   // 16 800 bytes of RTF
    while (longLine.size() < 4200)
        longLine += "署";
    m.body = {"本文です。", "> 一段の引用", ">>>>>> 六段の引用", "-- ", "山田 太郎", longLine,
              "> 署名の中の引用", "C:\\par\\list"};
    HWND shown, baseline;
    showBoth(hostRtfPieces(m), &shown, &baseline);
    ASSERT_EQ(expectedText(m), controlText(shown));

    struct Line { const std::string& text; COLORREF colour; bool host; };
    const Line lines[] = {
        {m.subject, HEADER_COLOR, false},
        {m.body[0], 0, true},
        {m.body[1], LEVEL_COLORS[0], false},
        {m.body[2], LEVEL_COLORS[0], false},
        {m.body[3], SIGNATURE_COLOR, false},
        {m.body[4], SIGNATURE_COLOR, false},
        {m.body[5], 0, true},
        {m.body[6], SIGNATURE_COLOR, false},
        {m.body[7], SIGNATURE_COLOR, false},
    };
    LONG cursor = 0;
    for (const Line& line : lines)
        expectEachCharacter(shown, baseline, line.text, line.colour, line.host, &cursor);

    // Base 2 is kept; in the second message's own table index 3 is the
    // quote's (base + level 1), index 8 the signature's (base + 6).
    std::vector<COLORREF> table = distinctColours(9);
    HostMessage next = oneQuoteMessage();
    hostStreamPieces(shown, hiddenTablePieces(next, table));
    hostStreamPieces(baseline, hiddenTablePieces(next, table));
    cursor = 0;
    expectEachCharacter(shown, baseline, next.body[0], table[2], false, &cursor);
    expectEachCharacter(shown, baseline, next.body[1], 0, true, &cursor);
}

// The signature key alone, quote and header colouring off: the signature is
// still coloured, and everything before it keeps the host's look.
TEST_F(ViewerSignature, SignatureAloneIsColouredWithQuotesAndHeaderOff)
{
    const COLORREF SIGNATURE_COLOR = RGB(90, 60, 30);
    writeIni(viewIni({"", 0, 0, 1, 0, 0}) + "SignatureChange=1\r\nSignatureColor="
             + std::to_string(SIGNATURE_COLOR) + "\r\n");
    start();
    HostMessage m = oneQuoteMessage();
    m.body = {"本文です。", "> 一段の引用", "-- ", "山田 太郎"};
    HWND shown, baseline;
    showBoth(hostRtfPieces(m), &shown, &baseline);
    ASSERT_EQ(expectedText(m), controlText(shown));
    LONG cursor = 0;
    expectEachCharacter(shown, baseline, m.subject, 0, true, &cursor);
    for (size_t i = 0; i < m.body.size(); ++i)
        expectEachCharacter(shown, baseline, m.body[i], i < 2 ? 0 : SIGNATURE_COLOR, i < 2, &cursor);
}

// ---------------------------------------------------------------------------
// The reading keys.

HostMessage longMessage()
{
    HostMessage m = hostSampleMessage();
    for (int i = 1; i <= 120; ++i)
        m.body.push_back("本文の行 " + std::to_string(i));
    return m;
}

// Key events as the system's input queue sees them.
std::vector<std::string> keyEvents;
HHOOK keyboardHook;

LRESULT CALLBACK recordKeyEvents(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const KBDLLHOOKSTRUCT* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        char text[32];
        snprintf(text, sizeof text, "%s %02lX", (k->flags & LLKHF_UP) ? "up" : "down",
                 static_cast<unsigned long>(k->vkCode));
        keyEvents.push_back(text);
    }
    return CallNextHookEx(keyboardHook, code, wParam, lParam);
}

// Key messages that the plug-in passes on to the control.
std::vector<std::string> controlMessages;
WNDPROC controlProcedure;

LRESULT CALLBACK recordControlMessages(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    const char* name = message == WM_KEYDOWN ? "down" : message == WM_KEYUP ? "up" : message == WM_CHAR ? "char" : NULL;
    if (name) {
        char text[32];
        snprintf(text, sizeof text, "%s %02lX", name, static_cast<unsigned long>(wParam));
        controlMessages.push_back(text);
    }
    return CallWindowProcA(controlProcedure, control, message, wParam, lParam);
}

std::string joined(const std::vector<std::string>& items)
{
    std::string out;
    for (const std::string& item : items)
        out += (out.empty() ? "" : ", ") + item;
    return out;
}

class ReadingKeys : public ViewerTest {
protected:
    // A visible, focused viewer showing a long message, with a recorder
    // beneath the plug-in's hook.
    HWND openFocusedViewer()
    {
        HWND viewer = track(hostCreateViewerWindow(RICHEDIT_20A, "Quillpost - keys", 0, 0, 700, 300));
        HWND control = hostEditControl(viewer);
        controlMessages.clear();
        controlProcedure = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordControlMessages)));
        plugin.viewCreate(viewer);
        ShowWindow(viewer, SW_SHOW);
        SetForegroundWindow(viewer);
        SetFocus(control);
        hostStreamPieces(control, hostRtfPieces(longMessage()));
        CHARRANGE start = {0, 0};
        SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
        pumpUntil([&] { return GetFocus() == control; });
        return control;
    }

    static LONG firstVisibleLine(HWND control)
    {
        return static_cast<LONG>(SendMessageA(control, EM_GETFIRSTVISIBLELINE, 0, 0));
    }

    // A real key press through the input queue, with modifiers held. Returns
    // once this thread has taken every release from its queue and handled
    // it, and until() holds (for what the press itself sets off).
    static void press(BYTE key, const std::vector<BYTE>& modifiers = {},
                      const std::function<bool()>& until = nullptr)
    {
        releasesTaken = 0;
        releaseHook = SetWindowsHookExA(WH_KEYBOARD, countReleases, NULL, GetCurrentThreadId());
        for (BYTE m : modifiers)
            keybd_event(m, 0, 0, 0);
        keybd_event(key, 0, 0, 0);
        keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
        for (auto m = modifiers.rbegin(); m != modifiers.rend(); ++m)
            keybd_event(*m, 0, KEYEVENTF_KEYUP, 0);
        const int releases = 1 + static_cast<int>(modifiers.size());
        EXPECT_TRUE(pumpUntil([&] { return releasesTaken >= releases && (!until || until()); }))
            << "the key press was handled";
        UnhookWindowsHookEx(releaseHook);
    }

    static int releasesTaken;
    static HHOOK releaseHook;
    static LRESULT CALLBACK countReleases(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HC_ACTION && (lParam & 0x80000000))
            ++releasesTaken;
        return CallNextHookEx(releaseHook, code, wParam, lParam);
    }
    // The shifted space that B sends has reached the control.
    static bool shiftSpaceArrived()
    {
        return !controlMessages.empty() && controlMessages.back() == "up 10";
    }
};

int ReadingKeys::releasesTaken;
HHOOK ReadingKeys::releaseHook;

TEST_F(ReadingKeys, JAndKScrollOneLineAndTypeNothing)
{
    start();
    HWND control = openFocusedViewer();
    ASSERT_EQ(control, GetFocus()) << "the viewer must have the keyboard focus";
    std::string text = controlText(control);
    ASSERT_EQ(0, firstVisibleLine(control));

    struct Step { const char* what; BYTE key; std::vector<BYTE> modifiers; LONG line; };
    const Step steps[] = {
        {"J", 'J', {}, 1},
        {"J again", 'J', {}, 2},
        {"Ctrl+J", 'J', {VK_CONTROL}, 3},
        {"K", 'K', {}, 2},
        {"Shift+K", 'K', {VK_SHIFT}, 1},
        {"Shift+J", 'J', {VK_SHIFT}, 2},
        {"Ctrl+K", 'K', {VK_CONTROL}, 1},
    };
    for (const Step& step : steps) {
        press(step.key, step.modifiers);
        EXPECT_EQ(step.line, firstVisibleLine(control)) << "after " << step.what;
        EXPECT_EQ(text, controlText(control)) << "no character typed after " << step.what;
    }
    for (const std::string& m : controlMessages)
        EXPECT_TRUE(m != "down 4A" && m != "down 4B") << "the key press reached the control: " << m;
}

TEST_F(ReadingKeys, BSendsShiftSpaceAndNothingElse)
{
    start();
    HWND control = openFocusedViewer();
    SendMessageA(control, EM_SETREADONLY, TRUE, 0);   // as a viewer is: Shift+Space types nothing
    std::string text = controlText(control);
    keyboardHook = SetWindowsHookExA(WH_KEYBOARD_LL, recordKeyEvents, GetModuleHandleA(NULL), 0);
    ASSERT_TRUE(keyboardHook != NULL);

    // The key press as the control receives it, without the key itself in
    // the input queue: exactly the four synthesised events come out.
    keyEvents.clear();
    controlMessages.clear();
    LRESULT result = SendMessageA(control, WM_KEYDOWN, 'B', 0x00300001);
    pumpUntil(shiftSpaceArrived);
    EXPECT_EQ(1, result);
    EXPECT_EQ("down 10, down 20, up 20, up 10", joined(keyEvents)) << "events in the input queue";
    EXPECT_EQ("down 10, down 20, char 20, up 20, up 10", joined(controlMessages))
        << "what reaches the control: Shift+Space, typed as a space character by the system";

    // A real B press: the press itself never reaches the control, nor its
    // character; its release does, as the hook only consumes presses.
    keyEvents.clear();
    controlMessages.clear();
    press('B', {}, shiftSpaceArrived);
    UnhookWindowsHookEx(keyboardHook);
    EXPECT_EQ("down 42, up 42, down 10, down 20, up 20, up 10", joined(keyEvents));
    EXPECT_EQ("up 42, down 10, down 20, char 20, up 20, up 10", joined(controlMessages));
    EXPECT_EQ(text, controlText(control));
}

TEST_F(ReadingKeys, CharactersJKBAreConsumedOthersTyped)
{
    start();
    HWND control = hostEditControl(openViewer());
    struct Case { char ch; bool consumed; };
    const Case cases[] = {{'j', true}, {'J', true}, {'k', true}, {'K', true}, {'b', true}, {'B', true},
                          {'a', false}, {'z', false}, {'A', false}, {'Z', false}, {'1', false},
                          {' ', false}, {'[', false}, {'i', false}, {'l', false}, {'c', false}};
    for (const Case& c : cases) {
        SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
        LRESULT result = SendMessageA(control, WM_CHAR, static_cast<unsigned char>(c.ch), 1);
        std::string expected = c.consumed ? "" : std::string(1, c.ch);
        EXPECT_EQ(expected, controlText(control)) << "character '" << c.ch << "'";
        if (c.consumed) {
            EXPECT_EQ(1, result) << "character '" << c.ch << "'";
        }
    }
}

// With the input method open the key arrives as VK_PROCESSKEY, and the
// input method tells which it was (faked here): J, K and B act as with it
// closed and leave no word composed; any other key reaches the control as
// it came, for the input method.
static UINT fakedVirtualKey;
static int compositionsCancelled;
static UINT WINAPI fakeImmGetVirtualKey(HWND) { return fakedVirtualKey; }
static BOOL WINAPI countingImmNotifyIME(HIMC, DWORD action, DWORD index, DWORD)
{
    compositionsCancelled += action == NI_COMPOSITIONSTR && index == CPS_CANCEL;
    return TRUE;
}

TEST_F(ReadingKeys, KeysThroughTheOpenInputMethodAreTheKeysPressed)
{
    start();
    HWND control = openFocusedViewer();
    void* realGetKey = redirectImport(plugin.module, "imm32.dll", "ImmGetVirtualKey",
                                      reinterpret_cast<void*>(fakeImmGetVirtualKey));
    void* realNotify = redirectImport(plugin.module, "imm32.dll", "ImmNotifyIME",
                                      reinterpret_cast<void*>(countingImmNotifyIME));
    ASSERT_TRUE(realGetKey && realNotify);
    const struct { UINT key; LONG line; int cancelled; const char* reached; } steps[] = {
        {'J', 1, 1, ""}, {'J', 2, 2, ""}, {'K', 1, 3, ""}, {'X', 1, 3, "down E5"}, {VK_DOWN, 1, 3, "down E5"},
        {'B', -1, 4, "down 10, down 20, char 20, up 20, up 10"}};
    for (const auto& step : steps) {
        fakedVirtualKey = step.key;
        controlMessages.clear();
        SendMessageA(control, WM_KEYDOWN, VK_PROCESSKEY, 1);
        if (step.key == 'B') {
            EXPECT_TRUE(pumpUntil(shiftSpaceArrived)) << "B pages down with Shift+Space";
        }
        if (step.line >= 0) {
            EXPECT_EQ(step.line, firstVisibleLine(control)) << "key " << step.key;
        }
        EXPECT_EQ(step.cancelled, compositionsCancelled) << "key " << step.key;
        EXPECT_EQ(step.reached, joined(controlMessages)) << "key " << step.key;
    }
    redirectImport(plugin.module, "imm32.dll", "ImmGetVirtualKey", realGetKey);
    redirectImport(plugin.module, "imm32.dll", "ImmNotifyIME", realNotify);
}

TEST_F(ReadingKeys, OtherKeysPassOn)
{
    start();
    HWND control = openFocusedViewer();
    controlMessages.clear();
    std::string text = controlText(control);
    press('X');
    press(VK_DOWN);
    EXPECT_EQ("down 58, char 78, up 58, down 28, up 28", joined(controlMessages));
    EXPECT_EQ("x" + text, controlText(control)) << "the x is typed at the caret";
}

// ---------------------------------------------------------------------------
// Hooking.

class ViewerHook : public ViewerTest {};

TEST_F(ViewerHook, SecondCreateOnTheSameControlKeepsWorking)
{
    writeIni(viewIni({"", 1, 1, 1, 0, 0}));
    start();
    HWND viewer = openViewer();
    HWND control = hostEditControl(viewer);
    LONG_PTR hook = GetWindowLongPtrA(control, GWLP_WNDPROC);
    plugin.viewCreate(viewer);
    EXPECT_EQ(hook, GetWindowLongPtrA(control, GWLP_WNDPROC)) << "the control keeps one hook";

    SendMessageA(control, WM_CHAR, 'x', 1);
    EXPECT_EQ("x", controlText(control)) << "other characters still reach the control";
    HostMessage m = longMessage();
    hostStreamPieces(control, hostRtfPieces(m));
    EXPECT_EQ(expectedText(m), controlText(control));
    TextRange r = locate(control, m.body[6], 0);
    CharFormatRead f = readCharFormat(control, r.from, r.to);
    EXPECT_EQ(LEVEL_COLORS[1], f.color) << describe(f);
    LONG before = static_cast<LONG>(SendMessageA(control, EM_GETFIRSTVISIBLELINE, 0, 0));
    SendMessageA(control, WM_KEYDOWN, 'J', 1);
    EXPECT_EQ(before + 1, SendMessageA(control, EM_GETFIRSTVISIBLELINE, 0, 0));
}

// A window on which the plug-in must not subclass anything: a toolbar and
// a plain edit control, no rich edit.
HWND createViewerWithoutRichEdit()
{
    HWND frame = hostCreateFolderWindow("Quillpost - no rich edit");
    CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_MULTILINE, 0, 40, 200, 100, frame, NULL,
                    GetModuleHandleA(NULL), NULL);
    return frame;
}

struct ToolbarCase { const char* name; bool richEdit; int flat; };

class ViewerToolbar : public ViewerTest, public ::testing::WithParamInterface<ToolbarCase> {};

// The rich edit control, and nothing else, is hooked; the toolbar style
// follows FlatToolBar either way.
TEST_P(ViewerToolbar, FlatStyleAndHookedWindows)
{
    const ToolbarCase& c = GetParam();
    writeIni("[Common]\r\nFlatToolBar=" + std::to_string(c.flat) + "\r\n");
    start();
    HWND viewer = track(c.richEdit ? hostCreateViewerWindow(RICHEDIT_20A, "v", 0, 0, 300, 200)
                                   : createViewerWithoutRichEdit());
    std::vector<std::pair<HWND, LONG_PTR>> procedures;
    for (HWND child = GetWindow(viewer, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        procedures.push_back({child, GetWindowLongPtrA(child, GWLP_WNDPROC)});
    ASSERT_EQ(2u, procedures.size()) << "a toolbar and one other child";
    ASSERT_TRUE(hostToolbar(viewer) != NULL);
    EXPECT_EQ(0, GetWindowLongA(hostToolbar(viewer), GWL_STYLE) & TBSTYLE_FLAT) << "not flat before";
    plugin.viewCreate(viewer);
    LONG style = GetWindowLongA(hostToolbar(viewer), GWL_STYLE);
    EXPECT_EQ(c.flat != 0, (style & TBSTYLE_FLAT) != 0) << "toolbar style " << std::hex << style;
    for (const auto& p : procedures) {
        bool hooked = c.richEdit && p.first == hostEditControl(viewer);
        EXPECT_EQ(!hooked, p.second == GetWindowLongPtrA(p.first, GWLP_WNDPROC))
            << (hooked ? "the rich edit control must be hooked" : "no other window may be subclassed");
    }
}

const ToolbarCase TOOLBAR_CASES[] = {
    {"NoRichEditFlat", false, 1},
    {"NoRichEditPlain", false, 0},
    {"RichEditFlat", true, 1},
    {"RichEditPlain", true, 0},
};

INSTANTIATE_TEST_SUITE_P(Windows, ViewerToolbar, ::testing::ValuesIn(TOOLBAR_CASES),
                         [](const ::testing::TestParamInfo<ToolbarCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Hostile mail content through the real control.

class HostilePieces : public ViewerTest {};

TEST_F(HostilePieces, TwoHundredColourResetsWithBoldAndItalic)
{
    writeIni(viewIni({"", 1, 1, 1, 1, 1}));
    start();
    std::string line = "> start";
    for (int i = 0; i < 200; ++i)
        line += "\\cf1 x\\cf0 y";
    HostMessage m = oneQuoteMessage();
    HWND shown, baseline;
    showBoth(piecesWith(m, {line + "\\par\r\n", "after\\par\r\n"}), &shown, &baseline);
    std::string text = controlText(shown);
    EXPECT_EQ(controlText(baseline), text);
    LONG start = locate(shown, "> start", 0).from;
    ASSERT_GE(start, 0);
    // Every reset to the default colour comes back as the quote colour with
    // bold and italic; the host's own colour 1 stays on the x's.
    LONG first = start + 7;
    for (int i = 0; i < 200; i += 199) {
        LONG x = first + 2 * i;
        CharFormatRead fx = readCharFormat(shown, x, x + 1);
        CharFormatRead fy = readCharFormat(shown, x + 1, x + 2);
        EXPECT_EQ(RGB(0, 0, 0), fx.color) << "x number " << i << ": " << describe(fx);
        EXPECT_FALSE(fx.autoColor) << "x number " << i;
        EXPECT_EQ(LEVEL_COLORS[0], fy.color) << "y number " << i << ": " << describe(fy);
        EXPECT_EQ(static_cast<DWORD>(CFE_BOLD | CFE_ITALIC), fy.effects & (CFE_BOLD | CFE_ITALIC))
            << "y number " << i << ": " << describe(fy);
    }
    TextRange after = locate(shown, "after", 0);
    EXPECT_TRUE(sameLook(readCharFormat(baseline, after.from, after.to), readCharFormat(shown, after.from, after.to)));
}

TEST_F(HostilePieces, ResetsThatCannotFitLeaveTheLineAsTheHostWroteIt)
{
    writeIni(viewIni({"", 1, 1, 1, 1, 1}));
    start();
    std::string line = "> start";
    for (int i = 0; i < 650; ++i)
        line += "\\cf0 y";
    ASSERT_LT(line.size() + 7, 4066u) << "the piece itself must be short enough to be looked at";
    HostMessage m = oneQuoteMessage();
    HWND shown, baseline;
    showBoth(piecesWith(m, {line + "\\par\r\n", "> after\\par\r\n"}), &shown, &baseline);
    EXPECT_EQ(controlText(baseline), controlText(shown));
    TextRange r = locate(shown, "> start", 0);
    r.to += 650;
    CharFormatRead host = readCharFormat(baseline, r.from, r.to), got = readCharFormat(shown, r.from, r.to);
    EXPECT_TRUE(sameLook(host, got)) << "expected " << describe(host) << ", got " << describe(got);
    r = locate(shown, "> after", 0);
    got = readCharFormat(shown, r.from, r.to);
    EXPECT_EQ(LEVEL_COLORS[0], got.color) << "the next line is coloured again: " << describe(got);
}

// A NUL byte is mail content like any other: the control takes every byte
// the host counts, so a line holding one is shown as the host wrote it, and
// the line after it is coloured as usual.
TEST_F(HostilePieces, LineHoldingANulByteIsShownWhole)
{
    writeIni(viewIni({"", 1, 1, 1, 1, 0}));
    start();
    HostMessage m = oneQuoteMessage();
    HWND shown, baseline;
    showBoth(piecesWith(m, {std::string("> before", 9) + "after\\par\r\n", "> next\\par\r\n"}), &shown,
             &baseline);
    EXPECT_EQ(controlText(baseline), controlText(shown));
    const TextRange next = locate(shown, "> next", 0);
    ASSERT_GE(next.from, 0);
    EXPECT_EQ(LEVEL_COLORS[0], readCharFormat(shown, next.from, next.to).color);
}

TEST_F(HostilePieces, ColourTableOfThirtyEntries)
{
    writeIni(viewIni({"", 1, 1, 1, 1, 0}));
    start();
    HostMessage m = oneQuoteMessage();
    m.body = {"> one", ">>> three", "plain"};
    std::vector<std::string> pieces = hostRtfPieces(m);
    std::string table = "{\\colortbl ;";
    for (int i = 1; i < 30; ++i)
        table += "\\red" + std::to_string(i) + "\\green2\\blue3;";
    pieces[1] = table + "}\r\n";
    HWND shown, baseline;
    showBoth(pieces, &shown, &baseline);
    EXPECT_EQ(controlText(baseline), controlText(shown));
    struct Case { const char* text; COLORREF color; };
    const Case cases[] = {{"> one", LEVEL_COLORS[0]}, {">>> three", LEVEL_COLORS[2]}, {"base", HEADER_COLOR}};
    for (const Case& c : cases) {
        TextRange r = locate(shown, c.text, 0);
        CharFormatRead f = readCharFormat(shown, r.from, r.to);
        EXPECT_EQ(c.color, f.color) << c.text << ": expected colour " << std::hex << c.color << ", got " << describe(f);
    }
}

// Lines of 100 000 bytes reach the plug-in in pieces as large as the
// control's buffer, which pass untouched, and a shorter last piece. Plain
// ASCII text of that length is left out: Wine's own layout of a 100 000
// character paragraph takes half a minute, hook or no hook.
TEST_F(HostilePieces, HundredThousandByteLines)
{
    writeIni(viewIni({"", 1, 1, 1, 1, 1}));
    start();
    HostMessage m = oneQuoteMessage();
    std::string dbcs = "> ";
    for (int i = 0; i < 12500; ++i)
        dbcs += "\\'82\\'a0";   // あ
    std::string words = "> ";
    for (int i = 0; i < 25000; ++i)
        words += "\\b x";
    ASSERT_EQ(100002u, dbcs.size());
    ASSERT_EQ(100002u, words.size());
    HWND shown, baseline;
    showBoth(piecesWith(m, {dbcs + "\\par\r\n", words + "\\par\r\n", ">> after\\par\r\n"}), &shown,
             &baseline);
    std::string text = controlText(shown);
    EXPECT_EQ(controlText(baseline), text);
    std::string many;
    for (int i = 0; i < 12500; ++i)
        many += "あ";
    EXPECT_NE(std::string::npos, text.find("> " + many + "\r\n")) << "the double-byte line is whole";
    EXPECT_NE(std::string::npos, text.find("> " + std::string(25000, 'x') + "\r\n")) << "the control-word line is whole";
    TextRange r = locate(shown, ">> after", 0);
    CharFormatRead f = readCharFormat(shown, r.from, r.to);
    EXPECT_EQ(LEVEL_COLORS[1], f.color) << "the viewer goes on colouring: " << describe(f);
}

} // namespace
