// The compose hook under Wine with real rich edit controls: what reaches the
// control, what the plug-in answers itself, the background it paints, the
// colours it follows, the Tab key, the input method and the timer filter.
#include "compose_support.h"
#include <imm.h>
#include <algorithm>
#include <set>

class ComposeHook : public ComposeTest {};

TEST_F(ComposeHook, WindowWithoutRichEditIsNotHooked)
{
    configure("");
    start();
    HWND folder = track(hostCreateFolderWindow("folder"));
    EXPECT_EQ(0, plugin.sendCreate(folder)) << "a window without a rich edit control";
}

TEST_F(ComposeHook, SecondCreateForTheSameWindowKeepsMessagesFlowing)
{
    configure("Change=0\r\n");
    openCompose(RICHEDIT_20A);
    EXPECT_NE(0, plugin.sendCreate(frame)) << "second create";
    recorder().messages.clear();
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("still here"));
    EXPECT_EQ("still here", controlText(control));
    EXPECT_EQ(1u, recorder().count(WM_SETTEXT)) << "the text reaches the control once, not through the hook twice";
}

// Each control keeps its own class's procedure and line arithmetic, whichever
// class was hooked first: a RichEdit 1.0 reply (CR LF, two positions a
// break) after a RichEdit 2.0 viewer and compose window, then the 2.0 one
// again.
TEST_F(ComposeHook, ControlsOfBothClassesEachKeepTheirOwnProcedureAndLines)
{
    configure("Change=1\r\n");
    openCompose(RICHEDIT_20A, false);
    HWND viewer = track(hostCreateViewerWindow(RICHEDIT_20A, "viewer", 0, 0, 300, 200));
    plugin.viewCreate(viewer);
    HWND older = track(hostCreateComposeWindow(RICHEDIT_10, "compose 1.0", 0, 0, 300, 200));
    ASSERT_NE(0, plugin.sendCreate(older));
    const char reply[] = "> one\r\ntwo\r\n> three\r\nfour";
    for (HWND edit : {hostEditControl(older), control}) {
        SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(reply));
        EXPECT_EQ("> one|two|> three|four", withBreaksShown(controlText(edit)));
        for (int line = 0; line < 4; ++line) {
            bool uniform = false;
            const COLORREF color = lineColor(edit, line, &uniform);
            const COLORREF expected = line % 2 ? TEST_TEXT_COLOR : TEST_QUOTE_COLOR;
            EXPECT_TRUE(uniform && color == expected) << (edit == control ? "2.0" : "1.0") << ", line " << line
                                                      << ": expected " << colorName(expected) << ", got "
                                                      << colorName(color);
        }
    }
}

TEST_F(ComposeHook, UnhandledAndObservedMessagesReachTheControlUnchanged)
{
    configure("Change=0\r\n");
    openCompose(RICHEDIT_20A);
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    format.dwMask = CFM_BOLD;
    format.dwEffects = CFE_BOLD;
    POINTL point = {};
    struct { const char* name; UINT message; WPARAM wParam; LPARAM lParam; } cases[] = {
        {"WM_SETFOCUS", WM_SETFOCUS, 0, 0},
        {"WM_KILLFOCUS", WM_KILLFOCUS, 0, 0},
        {"WM_PAINT", WM_PAINT, 0, 0},
        {"WM_KEYDOWN (A)", WM_KEYDOWN, 'A', 0},
        {"WM_CHAR (x)", WM_CHAR, 'x', 1},
        {"EM_POSFROMCHAR", EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&point), 0},
        {"EM_SETBKGNDCOLOR", EM_SETBKGNDCOLOR, 0, RGB(1, 2, 3)},
        {"EM_SETCHARFORMAT", EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format)},
        {"EM_GETLINECOUNT", EM_GETLINECOUNT, 0, 0},
        {"WM_TIMER (ruler off)", WM_TIMER, 4242, 0},
    };
    for (const auto& c : cases) {
        recorder().messages.clear();
        SendMessageA(control, c.message, c.wParam, c.lParam);
        size_t seen = 0;
        for (const RecordedMessage& m : recorder().messages)
            seen += m.message == c.message && m.wParam == c.wParam && m.lParam == c.lParam;
        EXPECT_EQ(1u, seen) << c.name << ": expected to reach the control once with its own wParam and lParam";
    }
}

TEST_F(ComposeHook, FormattingRectanglePassesUntouchedWithTheRulerOff)
{
    configure("Ruler=0\r\n");
    openCompose(RICHEDIT_20A);
    RECT rect = {4, 0, 300, 200};
    SendMessageA(control, EM_SETRECT, 0, reinterpret_cast<LPARAM>(&rect));
    std::vector<RecordedMessage> seen = recorder().of(EM_SETRECT);
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(0, rect.top) << "the top stays where the host put it";
}

// The erase is answered by the plug-in: the control never sees it, and the
// client area comes out in the editor's background colour, including after
// the host asked for the system colour.
TEST_F(ComposeHook, BackgroundIsPaintedInTheEditorColourAndNeverErasedByTheControl)
{
    configure("Change=0\r\n");
    openCompose(RICHEDIT_20A, true, true);
    RECT client;
    GetClientRect(control, &client);
    HDC screen = GetDC(control);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const POINT probes[] = {{0, 0}, {client.right / 2, client.bottom / 2}, {client.right - 1, client.bottom - 1}};

    struct { const char* name; bool setColor; WPARAM useSystem; COLORREF color; } cases[] = {
        {"editor colour from Mailbox.ini", false, 0, TEST_BACK_COLOR},
        {"EM_SETBKGNDCOLOR with a colour", true, 0, RGB(0x11, 0x88, 0x33)},
        {"EM_SETBKGNDCOLOR asking for the system colour", true, 1, RGB(0x55, 0x22, 0x99)},
    };
    for (const auto& c : cases) {
        if (c.setColor)
            SendMessageA(control, EM_SETBKGNDCOLOR, c.useSystem, c.color);
        RECT all = {0, 0, client.right, client.bottom};
        FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        recorder().messages.clear();
        LRESULT answer = SendMessageA(control, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0);
        EXPECT_EQ(1, answer) << c.name;
        EXPECT_EQ(0u, recorder().count(WM_ERASEBKGND)) << c.name << ": the control must not see the erase";
        for (const POINT& p : probes) {
            COLORREF pixel = GetPixel(memory, p.x, p.y);
            EXPECT_EQ(c.color, pixel) << c.name << " at (" << p.x << "," << p.y << "): expected "
                                      << colorName(c.color) << ", got " << colorName(pixel);
        }
    }

    // An erase that the window manager asks for does not reach it either.
    recorder().messages.clear();
    RedrawWindow(control, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ERASENOW | RDW_UPDATENOW);
    pumpPending();
    EXPECT_EQ(0u, recorder().count(WM_ERASEBKGND));
    EXPECT_GT(recorder().count(WM_PAINT), 0u) << "painting itself is passed on";

    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(control, screen);
}

static CHARFORMATA colorFormat(DWORD mask, COLORREF color)
{
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    format.dwMask = mask;
    format.crTextColor = color;
    format.dwEffects = CFE_BOLD;
    return format;
}

// The text colour the plug-in follows shows in the colour it gives unquoted
// lines of the next text set.
TEST_F(ComposeHook, CharFormatColourIsFollowedUnlessItIsTheQuoteColour)
{
    configure("Change=1\r\n");
    openCompose(RICHEDIT_20A);
    const COLORREF green = RGB(0x10, 0x90, 0x10), blue = RGB(0x10, 0x10, 0xA0);
    struct { const char* name; CHARFORMATA format; COLORREF expectedText; } cases[] = {
        {"the quote colour is not taken", colorFormat(CFM_COLOR, TEST_QUOTE_COLOR), TEST_TEXT_COLOR},
        {"a colour without CFM_COLOR is not taken", colorFormat(CFM_BOLD, green), TEST_TEXT_COLOR},
        {"any other colour is taken", colorFormat(CFM_COLOR | CFM_BOLD, green), green},
        {"the quote colour later still is not", colorFormat(CFM_COLOR, TEST_QUOTE_COLOR), green},
        {"a second colour replaces the first", colorFormat(CFM_COLOR, blue), blue},
    };
    for (const auto& c : cases) {
        SendMessageA(control, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&c.format));
        SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("plain line\r\n> quoted line\r\n"));
        bool uniform = false;
        COLORREF plain = lineColor(control, 0, &uniform);
        EXPECT_TRUE(uniform) << c.name;
        EXPECT_EQ(c.expectedText, plain) << c.name << ": expected " << colorName(c.expectedText) << ", got "
                                         << colorName(plain);
        COLORREF quoted = lineColor(control, 1, &uniform);
        EXPECT_EQ(TEST_QUOTE_COLOR, quoted) << c.name << ": quoted line got " << colorName(quoted);
    }
}

static void typeText(HWND control, const char* text)
{
    for (const char* p = text; *p; ++p)
        SendMessageA(control, WM_CHAR, static_cast<unsigned char>(*p), 1);
}

static void pressEnter(HWND control)
{
    SendMessageA(control, WM_KEYDOWN, VK_RETURN, 1);
    SendMessageA(control, WM_CHAR, '\r', 1);
    SendMessageA(control, WM_KEYUP, VK_RETURN, 0xC0000001);
}

// Whether or not the plug-in colours quotes itself.
class EnterKey : public ComposeTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(EnterKey, TypingAfterEnterOnAQuotedLineTakesTheTextColour)
{
    configure(GetParam());
    openCompose(RICHEDIT_20A);
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("> quoted"));
    // Quote-colour the line whatever the colouring setting says.
    setSelection(control, 0, -1);
    CHARFORMATA quote = colorFormat(CFM_COLOR, TEST_QUOTE_COLOR);
    SendMessageA(control, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&quote));
    setSelection(control, 8, 8);

    typeText(control, "a");
    CharFormatRead sameLine = readCharFormat(control, 8, 9);
    EXPECT_EQ(TEST_QUOTE_COLOR, sameLine.color) << "typing on the quoted line continues its colour, got "
                                                << colorName(sameLine.color);
    pressEnter(control);
    typeText(control, "b");
    ASSERT_EQ(2, lineCount(control)) << "Enter broke the line: " << controlText(control);
    LineRange second = lineRange(control, 1);
    ASSERT_EQ(1, second.length);
    CharFormatRead typed = readCharFormat(control, second.start, second.start + 1);
    EXPECT_EQ(TEST_TEXT_COLOR, typed.color) << "expected text colour after Enter, got " << colorName(typed.color);
    EXPECT_FALSE(typed.autoColor);
}

static const char* const ENTER_KEY_CASE_NAMES[] = {"coloringOn", "coloringOff", "coloringByLevel"};
INSTANTIATE_TEST_SUITE_P(ComposeHook, EnterKey,
                         ::testing::Values("Change=1\r\n", "Change=0\r\n", "Change=1\r\nLevelColor=1\r\n"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(ENTER_KEY_CASE_NAMES[info.index]);
                         });

// The Tab key with TabKey2Space: the control gets spaces to the next stop and
// never the Tab.
struct TabKeyCase {
    const char* name;
    const char* common;       // [Common] lines
    const char* text;
    LONG caret;
    const char* expected;
};

class TabKey : public ComposeTest, public ::testing::WithParamInterface<TabKeyCase> {};

TEST_P(TabKey, TypesSpacesToTheNextStop)
{
    const TabKeyCase& c = GetParam();
    configure("Change=0\r\nTabKey2Space=1\r\n", c.common);
    openCompose(RICHEDIT_20A);
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.text));
    setSelection(control, c.caret, c.caret);
    recorder().messages.clear();
    LRESULT answer = SendMessageA(control, WM_CHAR, '\t', 1);
    EXPECT_EQ(1, answer);
    EXPECT_EQ(0u, recorder().count(WM_CHAR, '\t')) << "the control must never see the Tab";
    std::string expected = c.expected;
    size_t spaces = std::count(expected.begin(), expected.end(), ' ') -
                    std::count(std::string(c.text).begin(), std::string(c.text).end(), ' ');
    EXPECT_EQ(spaces, recorder().count(WM_CHAR, ' ')) << "spaces typed";
    EXPECT_EQ(withBreaksShown(expected), withBreaksShown(controlText(control)));
}

INSTANTIATE_TEST_SUITE_P(
    ComposeHook, TabKey,
    ::testing::Values(
        TabKeyCase{"column 0 types eight", "", "0123456789", 0, "        0123456789"},
        TabKeyCase{"column 7 types one", "", "0123456789", 7, "0123456 789"},
        TabKeyCase{"column 8 types eight", "", "0123456789", 8, "01234567        89"},
        TabKeyCase{"counted from the caret's line", "", "abcdef\r\nxy", 9, "abcdef\r\nxy      "},
        TabKeyCase{"tab width 4", "Tab=4\r\n", "0123456789", 5, "01234   56789"},
        TabKeyCase{"tab width 0 falls back to 8", "Tab=0\r\n", "0123456789", 3, "012     3456789"},
        TabKeyCase{"tab width 256 falls back to 8", "Tab=256\r\n", "0123456789", 9, "012345678       9"}),
    [](const ::testing::TestParamInfo<TabKeyCase>& info) { return caseName(info.param.name); });

TEST_F(ComposeHook, TabKeyReachesTheControlWhenTabKey2SpaceIsOff)
{
    configure("Change=0\r\nTabKey2Space=0\r\n");
    openCompose(RICHEDIT_20A);
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("ab"));
    setSelection(control, 1, 1);
    recorder().messages.clear();
    SendMessageA(control, WM_CHAR, '\t', 1);
    EXPECT_EQ(1u, recorder().count(WM_CHAR, '\t'));
    EXPECT_EQ(0u, recorder().count(WM_CHAR, ' '));
    EXPECT_EQ("a\tb", controlText(control));
}

// While the spaces go in the input method is in alphanumeric mode; afterwards
// it is back in the mode it was in.
TEST_F(ComposeHook, TabKeyRestoresTheInputMethodModes)
{
    configure("Change=0\r\nTabKey2Space=1\r\n");
    openCompose(RICHEDIT_20A);
    SetFocus(control);
    HIMC context = ImmGetContext(control);
    if (!context)
        GTEST_SKIP() << "Wine gives this control no input context; only the spaces are checked elsewhere";
    ImmSetOpenStatus(context, TRUE);
    const DWORD conversion = IME_CMODE_NATIVE | IME_CMODE_FULLSHAPE | IME_CMODE_ROMAN;
    const DWORD sentence = IME_SMODE_PHRASEPREDICT;
    ASSERT_TRUE(ImmSetConversionStatus(context, conversion, sentence));
    DWORD c = 0, s = 0;
    ASSERT_TRUE(ImmGetConversionStatus(context, &c, &s));
    ASSERT_EQ(conversion, c) << "Wine keeps the conversion mode that was set";
    ASSERT_TRUE(ImmGetOpenStatus(context));

    std::vector<std::pair<DWORD, DWORD>> duringSpaces;
    recorder().intercept = [&](HWND window, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        if (message == WM_CHAR && wParam == ' ') {
            HIMC now = ImmGetContext(window);
            DWORD nc = 99, ns = 99;
            ImmGetConversionStatus(now, &nc, &ns);
            ImmReleaseContext(window, now);
            duringSpaces.push_back({nc, ns});
        }
        return false;
    };
    SendMessageA(control, WM_CHAR, '\t', 1);
    recorder().intercept = nullptr;

    ASSERT_EQ(8u, duringSpaces.size()) << "spaces typed at column 0";
    for (const auto& modes : duringSpaces) {
        EXPECT_EQ(0u, modes.first) << "conversion mode while typing";
        EXPECT_EQ(0u, modes.second) << "sentence mode while typing";
    }
    ASSERT_TRUE(ImmGetConversionStatus(context, &c, &s));
    EXPECT_EQ(conversion, c) << "conversion mode afterwards";
    EXPECT_EQ(sentence, s) << "sentence mode afterwards";
    EXPECT_TRUE(ImmGetOpenStatus(context)) << "the input method stays open";
    ImmReleaseContext(control, context);
}

TEST_F(ComposeHook, TabKeyWithTheInputMethodClosedLeavesItsModesAlone)
{
    configure("Change=0\r\nTabKey2Space=1\r\n");
    openCompose(RICHEDIT_20A);
    HIMC context = ImmGetContext(control);
    if (!context)
        GTEST_SKIP() << "Wine gives this control no input context";
    ImmSetOpenStatus(context, FALSE);
    ImmSetConversionStatus(context, IME_CMODE_NATIVE, IME_SMODE_NONE);
    bool touched = false;
    recorder().intercept = [&](HWND window, UINT message, WPARAM wParam, LPARAM, LRESULT*) {
        if (message == WM_CHAR && wParam == ' ') {
            HIMC now = ImmGetContext(window);
            DWORD nc = 0, ns = 0;
            ImmGetConversionStatus(now, &nc, &ns);
            ImmReleaseContext(window, now);
            touched = touched || nc != IME_CMODE_NATIVE;
        }
        return false;
    };
    SendMessageA(control, WM_CHAR, '\t', 1);
    recorder().intercept = nullptr;
    EXPECT_FALSE(touched) << "a closed input method keeps its modes while the spaces go in";
    EXPECT_EQ(8u, recorder().count(WM_CHAR, ' '));
    ImmReleaseContext(control, context);
}

// Timer filter: which of the control's timers survive their first tick.
struct TimerCase {
    const char* name;
    RichEditClass cls;
    const char* send;              // [Send] lines
    std::set<UINT_PTR> killed;     // of the ids below
};
static const UINT_PTR TIMER_IDS[] = {1, 2, 7, 430, 431, 432, 433, 434, 435, 436, 1000};

class TimerFilter : public ComposeTest, public ::testing::WithParamInterface<TimerCase> {};

TEST_P(TimerFilter, KeepsOnlyTheTimersItShould)
{
    const TimerCase& c = GetParam();
    configure(std::string("Change=0\r\n") + c.send);
    openCompose(c.cls);
    for (UINT_PTR id : TIMER_IDS)
        SetTimer(control, id, 60000, NULL);
    recorder().messages.clear();
    for (UINT_PTR id : TIMER_IDS)
        SendMessageA(control, WM_TIMER, id, 0);
    for (UINT_PTR id : TIMER_IDS) {
        EXPECT_EQ(1u, recorder().count(WM_TIMER, id)) << "tick " << id << " is passed on all the same";
        bool stillThere = KillTimer(control, id) != 0;
        bool expectKilled = c.killed.count(id) != 0;
        EXPECT_EQ(!expectKilled, stillThere) << "timer " << id << (expectKilled ? " should have been killed"
                                                                              : " should still run");
    }

    // A tick the timer itself delivers.
    const UINT_PTR ticking = 77;
    SetTimer(control, ticking, 10, NULL);
    recorder().messages.clear();
    pumpUntil([&] { return recorder().count(WM_TIMER, ticking) > 0; });
    ASSERT_GT(recorder().count(WM_TIMER, ticking), 0u) << "the timer ticked";
    bool expectKilled = c.killed.count(2) != 0;   // any id outside the kept four
    EXPECT_EQ(!expectKilled, KillTimer(control, ticking) != 0) << "timer 77 after its first real tick";

    // The recolour timer is the plug-in's own: its tick always ends it.
    SetTimer(control, RECOLOR_TIMER, 60000, NULL);
    SendMessageA(control, WM_TIMER, RECOLOR_TIMER, 0);
    EXPECT_EQ(0, KillTimer(control, RECOLOR_TIMER)) << "the recolour timer is killed at its tick";
}

static const std::set<UINT_PTR> NOT_KEPT = {2, 7, 430, 432, 434, 436, 1000};
INSTANTIATE_TEST_SUITE_P(
    ComposeHook, TimerFilter,
    ::testing::Values(TimerCase{"RichEdit 2.0, ruler and flicker on", RICHEDIT_20A, "Ruler=1\r\nFlicker=1\r\n", NOT_KEPT},
                      TimerCase{"RichEdit 1.0, ruler and flicker on", RICHEDIT_10, "Ruler=1\r\nFlicker=1\r\n", {}},
                      TimerCase{"RichEdit 2.0, ruler off", RICHEDIT_20A, "Ruler=0\r\nFlicker=1\r\n", {}},
                      TimerCase{"RichEdit 2.0, flicker off", RICHEDIT_20A, "Ruler=1\r\nFlicker=0\r\n", {}}),
    [](const ::testing::TestParamInfo<TimerCase>& info) { return caseName(info.param.name); });

// Tabs in text that enters by WM_SETTEXT or EM_REPLACESEL: the control gets
// them expanded when TabCode2Space is on, as they came when it is off, with
// colouring on or off.
struct TabCodeCase {
    const char* name;
    const char* send;
    bool expands;
};

class TabCode : public ComposeTest, public ::testing::WithParamInterface<TabCodeCase> {};

TEST_P(TabCode, ArrivesExpandedOnlyWhenSwitchedOn)
{
    const TabCodeCase& c = GetParam();
    configure(c.send);
    openCompose(RICHEDIT_20A);
    recorder().messages.clear();
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("abc\tx\r\n\ty"));
    std::vector<RecordedMessage> set = recorder().of(WM_SETTEXT);
    ASSERT_EQ(1u, set.size());
    EXPECT_EQ(c.expands ? "abc     x\r\n        y" : "abc\tx\r\n\ty", set[0].text) << "WM_SETTEXT";

    // The caret at column 3 of its line: a tab at the start of the inserted
    // text reaches the stop at 8.
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("first\r\nabcdef"));
    setSelection(control, 9, 9);
    recorder().messages.clear();
    SendMessageA(control, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("\tz\t"));
    std::vector<RecordedMessage> replaced = recorder().of(EM_REPLACESEL);
    ASSERT_EQ(1u, replaced.size());
    EXPECT_EQ(c.expands ? "     z       " : "\tz\t", replaced[0].text) << "EM_REPLACESEL";
    EXPECT_EQ(TRUE, replaced[0].wParam) << "the undo flag goes on";
    LineRange second = lineRange(control, 1);
    std::vector<char> line(64, 0);
    *reinterpret_cast<WORD*>(line.data()) = static_cast<WORD>(line.size() - 1);
    LRESULT n = SendMessageA(control, EM_GETLINE, 1, reinterpret_cast<LPARAM>(line.data()));
    std::string shown(line.data(), n);
    while (!shown.empty() && (shown.back() == '\r' || shown.back() == '\n'))
        shown.pop_back();
    EXPECT_EQ(std::string(c.expands ? "abc     z       def" : "abc\tz\tdef"), shown)
        << "what the control shows; line starts at " << second.start;
}

// Text without tabs is handed on as it came, the very same string; a null
// text (WM_SETTEXT clearing the control) goes on as null.
TEST_P(TabCode, TextWithoutTabsIsHandedOnUncopied)
{
    configure(GetParam().send);
    openCompose(RICHEDIT_20A);
    static const char text[] = "no tabs here\r\n> quoted";
    recorder().messages.clear();
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    SendMessageA(control, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text));
    SendMessageA(control, WM_SETTEXT, 0, 0);
    std::vector<RecordedMessage> set = recorder().of(WM_SETTEXT);
    std::vector<RecordedMessage> replaced = recorder().of(EM_REPLACESEL);
    ASSERT_EQ(2u, set.size());
    ASSERT_EQ(1u, replaced.size());
    EXPECT_EQ(reinterpret_cast<LPARAM>(text), set[0].lParam);
    EXPECT_EQ(reinterpret_cast<LPARAM>(text), replaced[0].lParam);
    EXPECT_EQ(0, set[1].lParam);
    EXPECT_EQ("", controlText(control)) << "a null text empties the control";
}

INSTANTIATE_TEST_SUITE_P(
    ComposeHook, TabCode,
    ::testing::Values(TabCodeCase{"on, colouring on", "TabCode2Space=1\r\nChange=1\r\n", true},
                      TabCodeCase{"on, colouring off", "TabCode2Space=1\r\nChange=0\r\n", true},
                      TabCodeCase{"off, colouring on", "TabCode2Space=0\r\nChange=1\r\n", false},
                      TabCodeCase{"off, colouring off", "TabCode2Space=0\r\nChange=0\r\n", false}),
    [](const ::testing::TestParamInfo<TabCodeCase>& info) { return caseName(info.param.name); });
