// Hostile text in the compose window: replies of megabytes, texts of tabs
// only, texts and clipboard data ending in half a character, clipboard text
// without line breaks or made of nothing else, and the recolour command over
// the whole text. Real RichEdit20A controls where Wine's control can take
// the size in time; beyond that a recording stand-in control, so that the
// plug-in's own path still runs at full size. Every case checks that the
// control answers, that the text is exactly the text sent (tabs expanded
// where that is on), and that each line has its colour; the repeated cases
// check that nothing is left behind on the heap or in GDI.
#include "compose_support.h"
#include "abuse_support.h"
#include <stdio.h>
#include <string.h>
#include <tuple>

namespace {

using abuse::controlAnswers;
using abuse::expandedTabs;
using abuse::firstDifference;

// ---------------------------------------------------------------------------
// Texts.

// A Japanese reply of about `bytes` bytes in CR LF lines of about 70 bytes,
// every third one quoted, each numbered so that no two are alike.
std::string japaneseReply(size_t bytes)
{
    std::string out;
    out.reserve(bytes + 128);
    for (int i = 0; out.size() < bytes; ++i) {
        std::string line = i % 3 == 0 ? "> 引用された行です。" : "返信の本文です。";
        while (line.size() < 60)
            line += "あいう";
        out += line + std::to_string(i) + "\r\n";
    }
    return out;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

bool isLeadByte(unsigned char c)
{
    return IsDBCSLeadByteEx(932, c) != 0;
}

// RichEdit 2.0 positions of a Shift_JIS text: a lead byte with the byte
// after it is one, a CR LF pair is one, any other byte is one.
LONG positionsOf(const std::string& text)
{
    LONG n = 0;
    for (size_t i = 0; i < text.size(); ++i, ++n) {
        unsigned char c = text[i];
        if ((isLeadByte(c) && i + 1 < text.size()) || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            ++i;
    }
    return n;
}

// ---------------------------------------------------------------------------
// The recording stand-in. Its class name begins with "RichEdit20", so the
// plug-in takes it for a RichEdit 2.0 control. It keeps its text as such a
// control does (bare CR line breaks, a double-byte character one position),
// answers the selection, length, text and clipboard messages the plug-in
// sends, and records every colour set on a selection. Wine's own control
// needs minutes for a megabyte; this one shows what the plug-in itself does
// with five.

struct ColorRun { LONG from, to; COLORREF color; };

struct StandIn {
    std::string text;               // narrow, bare CR line breaks
    LONG length = 0;                // its positions, counted when it changes
    CHARRANGE selection = {0, 0};
    std::vector<ColorRun> runs;
    std::vector<std::string> setTexts, replacements;
    void clear()
    {
        text.clear();
        length = 0;
        selection = CHARRANGE{0, 0};
        runs.clear();
        setTexts.clear();
        replacements.clear();
    }
};

StandIn& standIn()
{
    static StandIn s;
    return s;
}

// CR LF and lone LF become the control's bare CR.
std::string toControlBreaks(const char* text)
{
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '\r' && p[1] == '\n')
            ++p;
        out += *p == '\n' ? '\r' : *p;
    }
    return out;
}

std::string toClipboardBreaks(const std::string& text)
{
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\r')
            out += '\n';
    }
    return out;
}

// Byte offset of position pos in the stand-in's text (its end when beyond).
size_t byteOf(const std::string& text, LONG pos)
{
    size_t i = 0;
    for (LONG n = 0; n < pos && i < text.size(); ++n)
        i += (isLeadByte(text[i]) && i + 1 < text.size()) ? 2 : 1;
    return i;
}

// Sets the stand-in's text (already in the control's form) and counts it.
void setStandInText(const std::string& text)
{
    StandIn& s = standIn();
    s.text = text;
    s.length = positionsOf(text);
}

LONG standInLength()
{
    return standIn().length;
}

CHARRANGE normalised(CHARRANGE r)
{
    LONG end = standInLength();
    if (r.cpMax < 0 || r.cpMax > end)
        r.cpMax = end;
    if (r.cpMin < 0)
        r.cpMin = r.cpMax;   // the control's rule: a negative start selects nothing
    if (r.cpMin > r.cpMax)
        std::swap(r.cpMin, r.cpMax);
    return r;
}

void replaceSelection(const std::string& narrow)
{
    StandIn& s = standIn();
    size_t from = byteOf(s.text, s.selection.cpMin), to = byteOf(s.text, s.selection.cpMax);
    std::string inserted = toControlBreaks(narrow.c_str());
    s.text.replace(from, to - from, inserted);
    const LONG added = positionsOf(inserted);
    s.length += added - (s.selection.cpMax - s.selection.cpMin);
    LONG caret = s.selection.cpMin + added;
    s.selection = CHARRANGE{caret, caret};
}

std::string selectedText()
{
    const StandIn& s = standIn();
    size_t from = byteOf(s.text, s.selection.cpMin), to = byteOf(s.text, s.selection.cpMax);
    return s.text.substr(from, to - from);
}

std::string standInClipboard(HWND owner)
{
    return clipboardText(owner);
}

LRESULT CALLBACK standInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    StandIn& s = standIn();
    switch (message) {
    case WM_SETTEXT:
        s.setTexts.push_back(reinterpret_cast<const char*>(lParam));
        setStandInText(toControlBreaks(reinterpret_cast<const char*>(lParam)));
        s.selection = CHARRANGE{0, 0};
        return TRUE;
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(s.text.size());
    case EM_GETTEXTLENGTHEX:
        return standInLength();
    case EM_SETSEL:
        s.selection = normalised(CHARRANGE{static_cast<LONG>(wParam), static_cast<LONG>(lParam)});
        return 0;
    case EM_EXSETSEL:
        s.selection = normalised(*reinterpret_cast<CHARRANGE*>(lParam));
        return s.selection.cpMax;
    case EM_EXGETSEL:
        *reinterpret_cast<CHARRANGE*>(lParam) = s.selection;
        return 0;
    case EM_REPLACESEL:
        s.replacements.push_back(reinterpret_cast<const char*>(lParam));
        replaceSelection(reinterpret_cast<const char*>(lParam));
        return 0;
    case EM_GETSELTEXT: {
        std::string t = selectedText();
        memcpy(reinterpret_cast<char*>(lParam), t.c_str(), t.size() + 1);
        return static_cast<LRESULT>(t.size());
    }
    case EM_SETCHARFORMAT: {
        const CHARFORMATA* f = reinterpret_cast<const CHARFORMATA*>(lParam);
        if (wParam == SCF_SELECTION && (f->dwMask & CFM_COLOR))
            s.runs.push_back(ColorRun{s.selection.cpMin, s.selection.cpMax, f->crTextColor});
        return 1;
    }
    case EM_PASTESPECIAL:
    case WM_PASTE:
        replaceSelection(standInClipboard(window));
        return 0;
    case WM_CUT:
        putClipboardBytes(window, toClipboardBreaks(selectedText()) + '\0');
        replaceSelection("");
        return 0;
    case WM_CLEAR:
        replaceSelection("");
        return 0;
    case EM_LINEINDEX: {
        // The start of the caret's line (or of line wParam, counted in CRs).
        LONG pos = 0, line = 0;
        LONG target = static_cast<LONG>(wParam);
        const std::string& t = s.text;
        LONG caretLineStart = 0;
        for (size_t i = 0; i < t.size(); ++pos) {
            if (target < 0 && pos >= s.selection.cpMin)
                break;
            if (target >= 0 && line == target)
                return pos;
            bool lead = isLeadByte(t[i]) && i + 1 < t.size();
            if (t[i] == '\r') {
                ++line;
                caretLineStart = pos + 1;
            }
            i += lead ? 2 : 1;
        }
        return target < 0 ? caretLineStart : (line == target ? pos : -1);
    }
    case EM_GETOPTIONS:
    case EM_HIDESELECTION:
    case EM_EMPTYUNDOBUFFER:
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// A frame whose first child is the stand-in.
HWND createStandInWindow()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = standInProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "RichEdit20Abuse";
        RegisterClassA(&wc);
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "AbuseStandInFrame";
        RegisterClassA(&wc);
        registered = true;
    }
    HWND frame = CreateWindowExA(0, "AbuseStandInFrame", "stand-in", WS_OVERLAPPEDWINDOW, 0, 0, 480, 320, NULL, NULL,
                                 GetModuleHandleA(NULL), NULL);
    CreateWindowExA(0, "RichEdit20Abuse", "", WS_CHILD | WS_VISIBLE, 0, 0, 480, 320, frame, NULL,
                    GetModuleHandleA(NULL), NULL);
    return frame;
}

// The colour runs of one colouring pass, checked against the lines of the
// text that stands in the control from position start: each line is
// selected exactly once, in order, and gets the quote colour when it begins
// with '>', the text colour otherwise.
void expectRunsCoverTheLines(const std::vector<ColorRun>& runs, size_t firstRun, const std::string& text, LONG start,
                             const std::string& what)
{
    std::vector<std::string> lines = linesOf(text);
    if (!text.empty() && text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        lines.pop_back();   // a final line break leaves no line to colour
    ASSERT_GE(runs.size(), firstRun + lines.size()) << what << ": a colour for every line";
    LONG pos = start;
    int wrong = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const ColorRun& r = runs[firstRun + i];
        LONG length = positionsOf(lines[i]);
        COLORREF want = !lines[i].empty() && lines[i][0] == '>' ? TEST_QUOTE_COLOR : TEST_TEXT_COLOR;
        if ((r.from != pos || r.to != pos + length || r.color != want) && ++wrong <= 5)
            ADD_FAILURE() << what << ", line " << i << ": expected [" << pos << ", " << pos + length << ") in "
                          << colorName(want) << ", got [" << r.from << ", " << r.to << ") in " << colorName(r.color);
        pos += length + 1;
    }
    EXPECT_EQ(0, wrong) << what << ": lines coloured wrongly";
}

// ---------------------------------------------------------------------------
// Real controls.

class AbuseCompose : public ComposeTest {
protected:
    // An unhooked compose control: what Wine's control makes of a text by
    // itself.
    HWND openBaseline()
    {
        HWND window = track(hostCreateComposeWindow(RICHEDIT_20A, "baseline", 40, 40, 480, 320));
        return hostEditControl(window);
    }

    void setText(HWND target, const std::string& text)
    {
        SendMessageA(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }

    void expectText(const std::string& expected, const std::string& what)
    {
        ASSERT_TRUE(controlAnswers(control)) << what << ": the control no longer answers";
        std::string got = controlText(control);
        EXPECT_TRUE(withBreaksShown(expected) == withBreaksShown(got))
            << what << ": " << firstDifference(withBreaksShown(expected), withBreaksShown(got));
    }

    // The colour of every `step`-th line (and the last with text) of the
    // control, against the text's lines: quote colour for lines beginning
    // with '>'. Lines are found by their positions in the text, not by the
    // control's line count, which counts wrapped lines too.
    void expectLineColours(const std::string& text, int step, const std::string& what)
    {
        std::vector<std::string> lines = linesOf(text);
        std::vector<LONG> starts;
        LONG pos = 0;
        for (const std::string& line : lines) {
            starts.push_back(pos);
            pos += positionsOf(line) + 1;
        }
        std::vector<size_t> checked;
        for (size_t i = 0; i < lines.size(); i += step)
            checked.push_back(i);
        if (lines.size() > 1)
            checked.push_back(lines.size() - 2);
        int wrong = 0;
        for (size_t i : checked) {
            if (lines[i].empty())
                continue;
            CharFormatRead f = readCharFormat(control, starts[i], starts[i] + positionsOf(lines[i]));
            const bool uniform = (f.mask & CFM_COLOR) && !f.autoColor;
            COLORREF want = lines[i][0] == '>' ? TEST_QUOTE_COLOR : TEST_TEXT_COLOR;
            if ((!uniform || f.color != want) && ++wrong <= 5)
                ADD_FAILURE() << what << ", line " << i << ": expected " << colorName(want) << ", got "
                              << (uniform ? colorName(f.color) : "mixed colours");
        }
        EXPECT_EQ(0, wrong) << what;
    }

    int routeRecolour()
    {
        const std::vector<RegisteredCommand>& commands = hostRegisteredCommands();
        if (commands.empty())
            return -1;
        return static_cast<int>(SendMessageA(frame, WM_COMMAND, commands.back().id, 0));
    }
};

// The reply is deferred: shown at once, coloured at the timer's tick. Wine's
// control takes ~13 s to colour 256 KB line by line and minutes for a
// megabyte (superlinear in its own format runs), so 256 KB is the largest
// reply the real control can take within the test's time; the stand-in
// below takes the 5 MB one.
TEST_F(AbuseCompose, DeferredReplyOfTheLargestSizeWinesControlManages)
{
    configure("Change=1\r\n");
    openCompose(RICHEDIT_20A, false);
    const std::string text = japaneseReply(256 * 1024);
    DWORD t0 = GetTickCount();
    setText(control, text);
    DWORD set = abuse::elapsedSince(t0);
    t0 = GetTickCount();
    ASSERT_TRUE(waitForRecolorTick(control)) << "the recolour timer ticks";
    DWORD tick = abuse::elapsedSince(t0);
    printf("[ timing   ] 256 KB reply: set %lu ms, set and coloured at the tick %lu ms\n", set, tick);
    expectText(text, "256 KB reply");
    expectLineColours(text, 97, "256 KB reply");
    CHARRANGE caret = selectionOf(control);
    EXPECT_TRUE(caret.cpMin == 0 && caret.cpMax == 0) << "the caret ends at the start";
}

// Just over the threshold: the deferred path with a text the control takes
// in a moment, every line checked.
TEST_F(AbuseCompose, DeferredReplyJustOverTheThresholdEveryLine)
{
    configure("Change=1\r\nRecolorCount=4000\r\n");
    openCompose(RICHEDIT_20A, false);
    const std::string text = japaneseReply(4100);
    ASSERT_GE(text.size(), 4000u);
    setText(control, text);
    ASSERT_TRUE(waitForRecolorTick(control)) << "the recolour timer ticks";
    expectText(text, "reply over the threshold");
    expectLineColours(text, 1, "reply over the threshold");
}

// Texts of tabs only (and tabs between line breaks), set, replaced at a
// column and pasted, with TabCode2Space on: every tab becomes the spaces up
// to its stop, at widths 1, 8 and 255.
struct TabCase { const char* name; std::string text; unsigned width; };

void PrintTo(const TabCase& c, std::ostream* os) { *os << c.name; }

class TabsOnly : public AbuseCompose, public ::testing::WithParamInterface<TabCase> {};

TEST_P(TabsOnly, BecomeSpacesUpToEachStop)
{
    const TabCase& c = GetParam();
    configure("Change=1\r\nTabCode2Space=1\r\n", "Tab=" + std::to_string(c.width) + "\r\n");
    openCompose(RICHEDIT_20A, false);
    setText(control, c.text);
    if (c.text.size() * c.width >= 4000)
        ASSERT_TRUE(waitForRecolorTick(control)) << c.name << ": the recolour timer ticks";
    const std::string expected = expandedTabs(c.text, c.width);
    expectText(expected, std::string(c.name) + ", set");
    expectLineColours(expected, 1, std::string(c.name) + ", set");

    // Replaced after "abc" on a line of its own: the first line counts from
    // column 3.
    setText(control, "abc");
    setSelection(control, 3, 3);
    SendMessageA(control, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(c.text.c_str()));
    pumpPending();
    expectText("abc" + expandedTabs(c.text, c.width, 3), std::string(c.name) + ", replaced at column 3");

    // Pasted at the start of an empty control. A pasted text without a
    // line break is not re-inserted on RichEdit 2.0, so it keeps its tabs.
    setText(control, "");
    ASSERT_TRUE(putClipboardBytes(frame, c.text + '\0'));
    SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0);
    const bool reinserted = c.text.find('\r') != std::string::npos;
    expectText(reinserted ? expected : c.text, std::string(c.name) + ", pasted");
}

std::string tabs(int n)
{
    return std::string(n, '\t');
}

const TabCase TAB_CASES[] = {
    {"OneTab", "\t", 8},
    {"TabsBetweenBreaks", "\t\t\r\n\t\r\n\r\n\t\t\t\r\n", 8},
    {"ThousandTabsOnOneLine", tabs(1000), 8},
    {"TwoHundredLinesOfTabs", [] { std::string t; for (int i = 0; i < 200; ++i) t += tabs(1 + i % 9) + "\r\n"; return t; }(), 8},
    {"WidthOne", tabs(300), 1},
    {"WidthTwoHundredFiftyFive", tabs(40) + "\r\n" + tabs(3), 255},
};
INSTANTIATE_TEST_SUITE_P(Abuse, TabsOnly, ::testing::ValuesIn(TAB_CASES),
                         [](const ::testing::TestParamInfo<TabCase>& i) { return std::string(i.param.name); });

// Texts ending in a lead byte with no trail byte, through every way text
// enters the control, with tab conversion on and off. Wine's own control
// decides what a lone lead byte shows as; the hooked control must show
// exactly what an unhooked one shows for the same text, and every whole
// line keeps its colour.
struct LoneLeadCase { const char* name; std::string text; };

void PrintTo(const LoneLeadCase& c, std::ostream* os) { *os << c.name; }

class LoneLeadByte : public AbuseCompose,
                     public ::testing::WithParamInterface<std::tuple<LoneLeadCase, bool>> {};

TEST_P(LoneLeadByte, ShowsWhatTheControlShowsAndColoursTheLines)
{
    const LoneLeadCase& c = std::get<0>(GetParam());
    const bool tabsOn = std::get<1>(GetParam());
    configure(std::string("Change=1\r\nTabCode2Space=") + (tabsOn ? "1" : "0") + "\r\n");
    openCompose(RICHEDIT_20A, false);
    HWND baseline = openBaseline();
    const std::string sent = tabsOn ? expandedTabs(c.text, 8) : c.text;
    setText(baseline, sent);
    const std::string shown = controlText(baseline);

    setText(control, c.text);
    expectText(shown, std::string(c.name) + ", set");
    // Every line is coloured. A lone lead byte at the very end of the text
    // is not counted (the line is coloured up to it); one before a line
    // break takes the CR for its trail byte in the control, and the two
    // are one character, coloured with its line.
    std::vector<std::string> lines = linesOf(sent);
    LONG start = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        bool loneLeadAtEnd = false;
        for (size_t b = 0; b < line.size(); b += (isLeadByte(line[b]) && b + 1 < line.size()) ? 2 : 1)
            loneLeadAtEnd = isLeadByte(line[b]) && b + 1 == line.size();
        const bool last = i + 1 == lines.size();
        const LONG counted = positionsOf(loneLeadAtEnd && last ? line.substr(0, line.size() - 1) : line);
        if (counted > 0) {
            CharFormatRead f = readCharFormat(control, start, start + counted);
            const bool uniform = (f.mask & CFM_COLOR) && !f.autoColor;
            COLORREF want = line[0] == '>' ? TEST_QUOTE_COLOR : TEST_TEXT_COLOR;
            EXPECT_TRUE(uniform && f.color == want) << c.name << ", line " << i << " [" << start << ", "
                                                    << start + counted << "): expected " << colorName(want)
                                                    << ", got " << (uniform ? colorName(f.color) : "mixed colours");
        }
        start += counted + 1;
    }

    setText(control, "");
    SendMessageA(control, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(c.text.c_str()));
    expectText(shown, std::string(c.name) + ", replaced");

    // Pasting goes through the clipboard, which the unhooked control reads
    // the same way (given the text as the plug-in converts it: a pasted
    // text without a line break is not re-inserted, so keeps its tabs).
    const bool reinserted = c.text.find('\r') != std::string::npos;
    setText(baseline, "");
    ASSERT_TRUE(putClipboardBytes(frame, (reinserted ? sent : c.text) + '\0'));
    SendMessageA(baseline, EM_PASTESPECIAL, CF_TEXT, 0);
    const std::string pastedShown = controlText(baseline);
    setText(control, "");
    ASSERT_TRUE(putClipboardBytes(frame, c.text + '\0'));
    SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0);
    expectText(pastedShown, std::string(c.name) + ", pasted");
}

const LoneLeadCase LONE_LEAD_CASES[] = {
    {"OnlyALeadByte", "\x82"},
    {"QuoteThenPlainEndingInALeadByte", "> quote\r\nplain\x82"},
    {"TabThenALeadByte", "\t\x82"},
    {"QuotedLineEndingInALeadByte", "> quoted \x82"},
    {"LeadByteBeforeALineBreak", "> before\x82\r\n> after\r\nplain\r\n>> end"},
    {"PlainLeadByteBeforeALineBreak", "plain\x82\r\n> q\x81\r\n> \x82\r\nend"},
    {"JapaneseThenALeadByte", "> 日本語の引用\r\n本文\t\x83"},
};
INSTANTIATE_TEST_SUITE_P(Abuse, LoneLeadByte,
                         ::testing::Combine(::testing::ValuesIn(LONE_LEAD_CASES), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<LoneLeadCase, bool>>& i) {
                             return std::string(std::get<0>(i.param).name) + (std::get<1>(i.param) ? "TabsOn" : "TabsOff");
                         });

// Clipboard text of one 16 KB line, and of 16 KB of nothing but line breaks.
// Wine's control needs 6 s for 8 192 pasted empty lines and a minute and a
// half for four times as many (and over a minute to wrap a 128 KB line), so
// 16 KB is as far as the real control goes; the stand-in takes a megabyte of
// line breaks below.
TEST_F(AbuseCompose, ClipboardTextWithoutALineBreak)
{
    configure("Change=1\r\nPasteChange=1\r\n");
    openCompose(RICHEDIT_20A, false);
    std::string line = "> ";
    while (line.size() < 16 * 1024)
        line += "引用";
    setText(control, "top\r\n");
    setSelection(control, 4, 4);
    ASSERT_TRUE(putClipboardBytes(frame, line + '\0'));
    DWORD t0 = GetTickCount();
    SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0);
    printf("[ timing   ] 16 KB line pasted in %lu ms\n", abuse::elapsedSince(t0));
    expectText("top\r\n" + line, "16 KB line");
    bool uniform = false;
    EXPECT_EQ(TEST_QUOTE_COLOR, lineColor(control, 1, &uniform)) << "the pasted line is quoted";
    EXPECT_TRUE(uniform);
    CHARRANGE caret = selectionOf(control);
    LONG end = 4 + positionsOf(line);
    EXPECT_TRUE(caret.cpMin == end && caret.cpMax == end)
        << "caret after the pasted text: expected " << end << ", got [" << caret.cpMin << ", " << caret.cpMax << ")";
}

TEST_F(AbuseCompose, ClipboardTextOfNothingButLineBreaks)
{
    configure("Change=1\r\nPasteChange=1\r\n");
    openCompose(RICHEDIT_20A, false);
    std::string breaks;
    while (breaks.size() < 16 * 1024)
        breaks += "\r\n";
    setText(control, "> top\r\nend");
    setSelection(control, 6, 6);
    ASSERT_TRUE(putClipboardBytes(frame, breaks + '\0'));
    DWORD t0 = GetTickCount();
    SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0);
    printf("[ timing   ] %zu line breaks pasted in %lu ms\n", breaks.size() / 2, abuse::elapsedSince(t0));
    expectText("> top\r\n" + breaks + "end", "16 KB of line breaks");
    EXPECT_EQ(static_cast<int>(breaks.size() / 2) + 2, lineCount(control));
    bool uniform = false;
    EXPECT_EQ(TEST_QUOTE_COLOR, lineColor(control, 0, &uniform)) << "the line before keeps its colour";
    CHARRANGE caret = selectionOf(control);
    LONG end = 6 + static_cast<LONG>(breaks.size() / 2);
    EXPECT_TRUE(caret.cpMin == end && caret.cpMax == end)
        << "caret after the pasted text: expected " << end << ", got [" << caret.cpMin << ", " << caret.cpMax << ")";
}

// Clipboard blocks with no terminating zero (the block's size is all the
// text there is): one ending in a lead byte, one that is nothing but a lead
// byte, and one of 16 KB without a line break. The hooked control shows
// what the unhooked one shows for the same block.
TEST_F(AbuseCompose, UnterminatedClipboardBlocksShowWhatTheControlShows)
{
    configure("Change=1\r\nPasteChange=1\r\n");
    openCompose(RICHEDIT_20A, false);
    HWND baseline = openBaseline();
    std::string big = "> ";
    while (big.size() < 16 * 1024)
        big += "あ";
    struct Case { const char* name; std::string block; };
    const Case cases[] = {
        {"ends in a lead byte", "> quoted\r\nplain\x82"},
        {"only a lead byte", "\x82"},
        {"16 KB without a line break", big},
        {"quote, then a lead byte and a line break", "> q\x82\r\n"},
    };
    for (const Case& c : cases) {
        setText(baseline, "top\r\n");
        setSelection(baseline, 4, 4);
        ASSERT_TRUE(putClipboardBytes(frame, c.block));
        SendMessageA(baseline, EM_PASTESPECIAL, CF_TEXT, 0);
        std::string shown = controlText(baseline);

        setText(control, "top\r\n");
        setSelection(control, 4, 4);
        ASSERT_TRUE(putClipboardBytes(frame, c.block));
        SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0);
        expectText(shown, c.name);
        bool uniform = false;
        if (c.block[0] == '>') {
            EXPECT_EQ(TEST_QUOTE_COLOR, lineColor(control, 1, &uniform)) << c.name << ": the pasted quote";
        }
    }
}

// The recolour command with the whole text selected, from the host's menu:
// the text stays as it was, every line gets its colour, and the caret
// returns. A thousand times over leaves nothing behind.
TEST_F(AbuseCompose, RecolourOfTheWholeSelectionAThousandTimes)
{
    configure("Change=1\r\nTabCode2Space=1\r\n");
    openCompose(RICHEDIT_20A, false);
    HMENU bar = hostBuildComposeMenuBar();
    plugin.sendInitMenu(0, bar, 301);
    const std::string text = "> 引用\tの行\r\n本文の行\r\n>> 二段\r\n\r\n｜ 縦棒\r\nplain end";
    streamPlainText(control, text);   // in without conversion or colour
    const std::string shown = controlText(control);
    setSelection(control, 0, -1);
    int result = routeRecolour();
    EXPECT_NE(-1, result) << "the command is registered";
    // The re-inserted text passes the tab conversion: its tab is spaces now.
    const std::string expected = expandedTabs(text, 8);
    expectText(expected, "whole text recoloured");
    const char* const want = "QTQ-QT";
    for (int i = 0; want[i]; ++i) {
        if (want[i] == '-')
            continue;
        bool uniform = false;
        COLORREF got = lineColor(control, i, &uniform);
        COLORREF w = want[i] == 'Q' ? TEST_QUOTE_COLOR : TEST_TEXT_COLOR;
        EXPECT_TRUE(uniform && got == w) << "line " << i << ": expected " << colorName(w) << ", got " << colorName(got);
    }
    CHARRANGE after = selectionOf(control);
    LONG end = static_cast<LONG>(SendMessageA(control, WM_GETTEXTLENGTH, 0, 0));
    EXPECT_TRUE(after.cpMin == 0 && (after.cpMax == -1 || after.cpMax >= positionsOf(expected) - 1))
        << "the selection comes back: [" << after.cpMin << ", " << after.cpMax << "), length " << end;

    for (int i = 0; i < 20; ++i) {   // the control's caches settle
        setSelection(control, 0, -1);
        routeRecolour();
    }
    pumpPending();
    const int gdiBefore = abuse::liveGdiObjects();
    size_t live = 0, allocations = 0;
    {
        abuse::PluginHeapWatch watch(plugin.module);
        ASSERT_TRUE(watch.installed());
        for (int i = 0; i < 1000; ++i) {
            setSelection(control, 0, -1);
            routeRecolour();
        }
        live = watch.liveBlocks();
        allocations = watch.allocations();
    }
    pumpPending();
    const int gdiAfter = abuse::liveGdiObjects();
    EXPECT_GE(allocations, 2000u) << "each command copies the selection and the lines: the count is live";
    EXPECT_EQ(0u, live) << "blocks the plug-in still held after a thousand commands";
    EXPECT_LE(gdiAfter, gdiBefore) << "GDI objects: " << gdiBefore << " before, " << gdiAfter << " after";
    expectText(expected, "after a thousand commands");
    DestroyMenu(bar);
}

// A thousand texts set, pasted and drawn over: the plug-in holds at most
// its copy of the last deferred text and the last tab conversion.
TEST_F(AbuseCompose, AThousandSetsAndPastesLeaveNothingBehind)
{
    configure("Change=1\r\nTabCode2Space=1\r\nRuler=1\r\nMarginLine=40\r\n");
    openCompose(RICHEDIT_20A, false);
    const std::string text = "> 引用\t一\r\n本文\x82";
    const std::string longText = japaneseReply(4100);
    auto round = [&](int n) {
        for (int i = 0; i < n; ++i) {
            setText(control, i % 10 == 0 ? longText : text);
            if (i % 10 == 0)
                SendMessageA(control, WM_TIMER, RECOLOR_TIMER, 0);
            // The clipboard can be busy for a moment (the display's
            // selection owner takes it too): every round pastes once,
            // retried until the pasted line shows.
            const bool pasted = pumpUntil([&] {
                if (!putClipboardBytes(frame, std::string("> pasted\t\r\n") + '\0'))
                    return false;
                setSelection(control, 2, 2);
                SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0);
                return controlText(control).find("> pasted") != std::string::npos;
            });
            ASSERT_TRUE(pasted) << "round " << i << ": the paste never took";
            HDC dc = GetDC(control);
            SendMessageA(control, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
            ReleaseDC(control, dc);
        }
    };
    round(20);
    pumpPending();
    const int gdiBefore = abuse::liveGdiObjects();
    const abuse::HeapSummary heapBefore = abuse::processHeapSummary();
    size_t live = 0, allocations = 0;
    {
        abuse::PluginHeapWatch watch(plugin.module);
        ASSERT_TRUE(watch.installed());
        round(1000);
        live = watch.liveBlocks();
        allocations = watch.allocations();
    }
    pumpPending();
    const int gdiAfter = abuse::liveGdiObjects();
    // The whole process's heap, for the record only: Wine's control keeps
    // blocks of its own for every edit (an unhooked control sent the same
    // kinds of paste, replace, cut and paste by hand grows by about four
    // blocks a round), so this is no count of the plug-in's.
    const abuse::HeapSummary heapAfter = abuse::processHeapSummary();
    printf("[ heap     ] process heap over 1000 rounds: %zu blocks/%zu bytes before, %zu/%zu after\n",
           heapBefore.blocks, heapBefore.bytes, heapAfter.blocks, heapAfter.bytes);
    EXPECT_GE(allocations, 3000u);
    EXPECT_LE(live, 2u) << "at most the deferred copy and the last tab conversion are kept";
    EXPECT_LE(gdiAfter, gdiBefore) << "GDI objects: " << gdiBefore << " before, " << gdiAfter << " after";
    ASSERT_TRUE(controlAnswers(control));
}

// ---------------------------------------------------------------------------
// The stand-in: full sizes through the plug-in's own path.

class AbuseStandIn : public ComposeTest {
protected:
    void openStandIn()
    {
        start();
        standIn().clear();
        frame = track(createStandInWindow());
        control = GetWindow(frame, GW_CHILD);
        ASSERT_TRUE(control != NULL);
        ASSERT_NE(0, plugin.sendCreate(frame)) << "the stand-in passes for a rich edit control";
    }
};

TEST_F(AbuseStandIn, FiveMegabyteReplyIsShownWholeAndEveryLineColouredAtTheTick)
{
    configure("Change=1\r\n");
    openStandIn();
    const std::string text = japaneseReply(5 * 1024 * 1024);
    ASSERT_GE(text.size(), 5u * 1024 * 1024);
    // A small deferred text first: the runtime's one-time blocks (its exit
    // list and the like) are taken before the count starts.
    const std::string small = japaneseReply(4100);
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(small.c_str()));
    SendMessageA(control, WM_TIMER, RECOLOR_TIMER, 0);
    standIn().clear();
    abuse::PluginHeapWatch watch(plugin.module);
    ASSERT_TRUE(watch.installed());
    DWORD t0 = GetTickCount();
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    DWORD set = abuse::elapsedSince(t0);
    ASSERT_EQ(1u, standIn().setTexts.size());
    EXPECT_TRUE(standIn().setTexts[0] == text) << "the control is handed the reply as it came";
    EXPECT_TRUE(standIn().runs.empty()) << "nothing is coloured before the tick";
    t0 = GetTickCount();
    ASSERT_TRUE(waitForRecolorTick(control)) << "the recolour timer ticks";
    DWORD tick = abuse::elapsedSince(t0);
    printf("[ timing   ] 5 MB reply through the stand-in: set %lu ms, tick %lu ms\n", set, tick);
    ASSERT_EQ(1u, standIn().replacements.size()) << "the tick re-inserts the text once";
    EXPECT_TRUE(standIn().replacements[0] == text) << "and re-inserts it as it came";
    EXPECT_TRUE(standIn().text == toControlBreaks(text.c_str()))
        << firstDifference(toControlBreaks(text.c_str()), standIn().text);
    expectRunsCoverTheLines(standIn().runs, 0, text, 0, "5 MB reply");
    EXPECT_TRUE(controlAnswers(control));
    EXPECT_EQ(0u, watch.liveBlocks()) << "the copy kept for the tick goes once it is put back";
}

TEST_F(AbuseStandIn, RecolourOfAFiveMegabyteSelection)
{
    configure("Change=1\r\n");
    openStandIn();
    HMENU bar = hostBuildComposeMenuBar();
    plugin.sendInitMenu(0, bar, 301);
    const std::string text = japaneseReply(5 * 1024 * 1024);
    setStandInText(toControlBreaks(text.c_str()));
    standIn().selection = CHARRANGE{0, standInLength()};
    DWORD t0 = GetTickCount();
    ASSERT_TRUE(hostRouteCommand(frame, hostRegisteredCommands().back().id, NULL));
    printf("[ timing   ] 5 MB recoloured through the stand-in in %lu ms\n", abuse::elapsedSince(t0));
    ASSERT_EQ(1u, standIn().replacements.size());
    EXPECT_TRUE(standIn().replacements[0] == text) << "the selection goes back in with CR LF line breaks: "
                                                   << firstDifference(text, standIn().replacements[0]);
    EXPECT_TRUE(standIn().text == toControlBreaks(text.c_str())) << "the text is unchanged";
    expectRunsCoverTheLines(standIn().runs, 0, text, 0, "5 MB recoloured");
    DestroyMenu(bar);
}

TEST_F(AbuseStandIn, MegabyteOfLineBreaksPasted)
{
    configure("Change=1\r\nPasteChange=1\r\n");
    openStandIn();
    std::string breaks;
    while (breaks.size() < 1024 * 1024)
        breaks += "\r\n";
    setStandInText(toControlBreaks("> top\r\nend"));
    standIn().selection = CHARRANGE{6, 6};
    ASSERT_TRUE(putClipboardBytes(frame, breaks + '\0'));
    DWORD t0 = GetTickCount();
    SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0);
    printf("[ timing   ] %zu line breaks pasted through the stand-in in %lu ms\n", breaks.size() / 2,
           abuse::elapsedSince(t0));
    EXPECT_TRUE(standIn().text == toControlBreaks(("> top\r\n" + breaks + "end").c_str()))
        << "the pasted breaks, once, and nothing after them lost";
    // The first pass colours every pasted (empty) line in the text colour.
    expectRunsCoverTheLines(standIn().runs, 1, breaks, 6, "pasted line breaks");
    LONG end = 6 + static_cast<LONG>(breaks.size() / 2);
    EXPECT_TRUE(standIn().selection.cpMin == end && standIn().selection.cpMax == end)
        << "caret after the pasted text: expected " << end << ", got [" << standIn().selection.cpMin << ", "
        << standIn().selection.cpMax << ")";
}

} // namespace
