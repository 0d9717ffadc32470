// Compose colouring under Wine with real rich edit controls: text set,
// replaced, pasted and recoloured from the menu, read back line by line with
// EM_GETCHARFORMAT; and the plug-in's conduct when the control, the
// clipboard or the heap give it less than it hoped for.
#include "compose_support.h"
#include <richole.h>
#include <tom.h>
#include <limits.h>
#include <malloc.h>
#include <string.h>
#include <algorithm>
#include <random>

// One letter per line of the control: Q the quote colour, T the text colour,
// 1 to 5 that level's colour, - anything but the quote colour (left as the
// control had it). Empty lines have no characters to read and are passed over.
static void expectLineColors(HWND control, const char* expected, const std::string& context)
{
    const int lines = lineCount(control);
    ASSERT_GE(lines, static_cast<int>(strlen(expected))) << context << ": text is " << controlText(control);
    for (int i = 0; expected[i]; ++i) {
        LineRange r = lineRange(control, i);
        if (r.length == 0)
            continue;
        CharFormatRead f = readCharFormat(control, r.start, r.start + r.length);
        const bool uniform = (f.mask & CFM_COLOR) != 0;
        std::string got = !uniform ? "mixed colours" : f.autoColor ? "the automatic colour" : colorName(f.color);
        const bool isQuote = uniform && !f.autoColor && f.color == TEST_QUOTE_COLOR;
        const bool isText = uniform && !f.autoColor && f.color == TEST_TEXT_COLOR;
        const char letter = expected[i];
        if (letter >= '1' && letter <= '5') {
            const COLORREF level = TEST_LEVEL_COLORS[letter - '1'];
            EXPECT_TRUE(uniform && !f.autoColor && f.color == level)
                << context << ", line " << i << ": expected " << colorName(level) << ", got " << got;
            continue;
        }
        switch (letter) {
        case 'Q': EXPECT_TRUE(isQuote) << context << ", line " << i << ": expected quote colour, got " << got; break;
        case 'T': EXPECT_TRUE(isText) << context << ", line " << i << ": expected text colour, got " << got; break;
        default: EXPECT_FALSE(isQuote) << context << ", line " << i << ": expected no quote colour, got " << got;
        }
    }
}

static void setText(HWND control, const std::string& text)
{
    SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

static void replaceSelection(HWND control, const std::string& text)
{
    SendMessageA(control, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}

static void expectCaret(HWND control, LONG position, const std::string& context)
{
    CHARRANGE r = selectionOf(control);
    EXPECT_TRUE(r.cpMin == position && r.cpMax == position)
        << context << ": expected the caret at " << position << ", got [" << r.cpMin << ", " << r.cpMax << ")";
}

// ---- the plug-in's imports, redirected for fault injection ----

// Redirects one import for the life of the object.
class ImportRedirect {
public:
    ImportRedirect(HMODULE module, const char* dll, const char* function, void* replacement)
        : module_(module), dll_(dll), function_(function)
    {
        previous_ = redirectImport(module, dll, function, replacement);
    }
    ~ImportRedirect()
    {
        if (previous_)
            redirectImport(module_, dll_, function_, previous_);
    }
    void* previous() const { return previous_; }
private:
    HMODULE module_;
    const char* dll_;
    const char* function_;
    void* previous_;
};

// malloc that refuses blocks of one size.
typedef void* (*MallocFn)(size_t);
static MallocFn realMalloc;
static size_t refusedSize;
static int refusals;
static void* mallocRefusingOneSize(size_t size)
{
    if (size == refusedSize) {
        ++refusals;
        return nullptr;
    }
    return realMalloc(size);
}

// GlobalLock that hands out a copy of the block placed so that its last byte
// is followed by an inaccessible page: any read past GlobalSize faults.
typedef LPVOID(WINAPI* GlobalLockFn)(HGLOBAL);
static GlobalLockFn realGlobalLock;
static std::vector<void*> guardedCopies;
static int guardedLocks;
static int unterminatedLocks;
static LPVOID WINAPI guardedGlobalLock(HGLOBAL block)
{
    BYTE* data = static_cast<BYTE*>(realGlobalLock(block));
    if (!data)
        return data;
    const SIZE_T size = GlobalSize(block);
    const SIZE_T page = 4096;
    const SIZE_T pages = (size + page - 1) / page + 1;
    BYTE* region = static_cast<BYTE*>(VirtualAlloc(NULL, pages * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD protection;
    VirtualProtect(region + (pages - 1) * page, page, PAGE_NOACCESS, &protection);
    BYTE* copy = region + (pages - 1) * page - size;
    memcpy(copy, data, size);
    guardedCopies.push_back(region);
    ++guardedLocks;
    if (!memchr(copy, 0, size))
        ++unterminatedLocks;
    return copy;
}

// GetClipboardData that hands out a block of the test's own for CF_TEXT.
// Wine's clipboard stores CF_TEXT with its last byte made a terminator; the
// block as a program put it there, unterminated, is what Windows hands out.
typedef HANDLE(WINAPI* GetClipboardDataFn)(UINT);
static GetClipboardDataFn realGetClipboardData;
static HGLOBAL rawTextBlock;
static HANDLE WINAPI rawGetClipboardData(UINT format)
{
    if (format == CF_TEXT && rawTextBlock)
        return rawTextBlock;
    return realGetClipboardData(format);
}

class ComposeColor : public ComposeTest {
protected:
    void TearDown() override
    {
        ComposeTest::TearDown();
        if (rawTextBlock)
            GlobalFree(rawTextBlock);
        rawTextBlock = NULL;
        for (void* region : guardedCopies)
            VirtualFree(region, 0, MEM_RELEASE);
        guardedCopies.clear();
    }
};

// ---- text set with WM_SETTEXT ----

// A reply of quote depths 1, 2, 3 and 6 on both control versions: one quote
// colour, or with [Send] LevelColor the level colours of the viewer, the
// deepest line capped at level 5 or, with [View] LevelRepeat, back at 1.
struct SetTextCase {
    const char* name;
    RichEditClass cls;
    const char* send;
    const char* view;
    const char* colors;
};
class SetText : public ComposeColor, public ::testing::WithParamInterface<SetTextCase> {};

TEST_P(SetText, ColoursQuotedLinesAndLeavesCaretAtStartWithNoUndo)
{
    const SetTextCase& c = GetParam();
    configure(std::string("Change=1\r\n") + c.send, "", c.view);
    openCompose(c.cls);
    setText(control, "plain one\r\n> quoted\r\n>> deeper\r\n| > > third\r\n>>>>>> sixth\r\nplain two\r\n");
    expectLineColors(control, c.colors, c.name);
    EXPECT_EQ(7, lineCount(control)) << c.name << ": the text's last line break leaves one empty line";
    expectCaret(control, 0, c.name);
    EXPECT_EQ(0, SendMessageA(control, EM_CANUNDO, 0, 0)) << c.name << ": the undo buffer is emptied";
    EXPECT_GE(recorder().count(EM_SETCHARFORMAT), 6u) << c.name << ": a colour for each line went to the control";
}

INSTANTIATE_TEST_SUITE_P(
    ComposeColor, SetText,
    ::testing::Values(
        SetTextCase{"RichEdit 2.0 one quote colour", RICHEDIT_20A, "", "", "TQQQQT"},
        SetTextCase{"RichEdit 2.0 by level", RICHEDIT_20A, "LevelColor=1\r\n", "", "T1235T"},
        SetTextCase{"RichEdit 2.0 by level repeated", RICHEDIT_20A, "LevelColor=1\r\n", "LevelRepeat=1\r\n",
                    "T1231T"},
        SetTextCase{"RichEdit 2.0 viewer switches alone", RICHEDIT_20A, "",
                    "LevelColor=1\r\nLevelRepeat=1\r\n", "TQQQQT"},
        SetTextCase{"RichEdit 1.0 one quote colour", RICHEDIT_10, "", "", "TQQQQT"},
        SetTextCase{"RichEdit 1.0 by level", RICHEDIT_10, "LevelColor=1\r\n", "", "T1235T"}),
    [](const ::testing::TestParamInfo<SetTextCase>& info) { return caseName(info.param.name); });

TEST_F(ComposeColor, SetTextWithColouringOffLeavesTheTextAlone)
{
    configure("Change=0\r\n");
    openCompose(RICHEDIT_20A);
    recorder().messages.clear();
    setText(control, "plain\r\n> quoted\r\n");
    expectLineColors(control, "--", "colouring off");
    EXPECT_EQ(0u, recorder().count(EM_SETCHARFORMAT));
}

// A text of RecolorCount - 1 bytes is coloured inside WM_SETTEXT; one byte
// more, and it is coloured by the timer's tick.
TEST_F(ComposeColor, LongTextsAreColouredAfterTheTimerTick)
{
    configure("Change=1\r\nRecolorCount=64\r\n");
    openCompose(RICHEDIT_20A);
    auto textOfLength = [](size_t length) {
        std::string text = "> quoted line\r\nplain ";
        text.append(length - text.size(), 'x');
        return text;
    };

    setText(control, textOfLength(63));
    expectLineColors(control, "QT", "63 bytes, at once");

    const std::string longer = textOfLength(64);
    setText(control, longer);
    expectLineColors(control, "--", "64 bytes, before the tick");
    ASSERT_TRUE(waitForRecolorTick(control)) << "the recolour timer ticks";
    expectLineColors(control, "QT", "64 bytes, after the tick");
    EXPECT_EQ(withBreaksShown(longer), withBreaksShown(controlText(control)));
    expectCaret(control, 0, "after the tick");
    EXPECT_EQ(0, KillTimer(control, RECOLOR_TIMER)) << "the tick ended its timer";

    // A key typed before the tick stays: the colouring comes first, and no
    // tick is left to put the text as it was set back.
    setText(control, longer);
    SendMessageA(control, EM_SETSEL, 100000, 100000);
    SendMessageA(control, WM_CHAR, 'Z', 1);
    EXPECT_EQ(withBreaksShown(longer + "Z"), withBreaksShown(controlText(control)));
    expectLineColors(control, "QT", "typed before the tick");
    EXPECT_EQ(0, KillTimer(control, RECOLOR_TIMER)) << "no tick is pending";
}

TEST_F(ComposeColor, ASecondLongTextBeforeTheTickIsTheOneColoured)
{
    configure("Change=1\r\nRecolorCount=16\r\n");
    openCompose(RICHEDIT_20A);
    setText(control, "> first text, long enough\r\nplain\r\n");
    const std::string second = "plain second text\r\n> its quote\r\n>> and another";
    setText(control, second);
    ASSERT_TRUE(waitForRecolorTick(control)) << "the recolour timer ticks";
    EXPECT_EQ(withBreaksShown(second), withBreaksShown(controlText(control)));
    expectLineColors(control, "TQQ", "the newer text");
}

// ---- EM_REPLACESEL ----

TEST_F(ComposeColor, ReplacingASelectionColoursTheInsertedLines)
{
    configure("Change=1\r\n");
    openCompose(RICHEDIT_20A);
    streamPlainText(control, "alpha\r\nbravo\r\ncharlie");
    setSelection(control, 6, 11);   // "bravo"
    replaceSelection(control, "> new quote\r\nplain new");
    EXPECT_EQ("alpha|> new quote|plain new|charlie", withBreaksShown(controlText(control)));
    expectLineColors(control, "-QT-", "replaced selection");
    expectCaret(control, 11, "where the replaced range ended");
}

TEST_F(ComposeColor, InsertingAtTheCaretOnRichEdit20ColoursNothing)
{
    configure("Change=1\r\n");
    openCompose(RICHEDIT_20A);
    streamPlainText(control, "alpha\r\nbravo");
    setSelection(control, 6, 6);
    recorder().messages.clear();
    replaceSelection(control, "> inserted\r\n");
    EXPECT_EQ("alpha|> inserted|bravo", withBreaksShown(controlText(control)));
    expectLineColors(control, "---", "insertion at the caret");
    EXPECT_EQ(0u, recorder().count(EM_SETCHARFORMAT)) << "no colour was set";
    expectCaret(control, 17, "after the inserted text, where the control put it");
}

// ---- EM_PASTESPECIAL ----

TEST_F(ComposeColor, PastedLinesAreColouredAndTheCaretEndsAfterThem)
{
    configure("Change=1\r\n");
    openCompose(RICHEDIT_20A);
    streamPlainText(control, "first line\r\nlast line");
    const std::string pasted = "> pasted quote\r\nplain pasted\r\n";
    ASSERT_TRUE(putClipboardBytes(frame, pasted + '\0'));
    setSelection(control, 11, 11);
    SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0);
    EXPECT_EQ("first line|> pasted quote|plain pasted|last line", withBreaksShown(controlText(control)));
    expectLineColors(control, "-QT-", "pasted text");
    expectCaret(control, 11 + 15 + 13, "right after the pasted text");
    EXPECT_EQ(withBreaksShown(pasted), withBreaksShown(clipboardText(frame)))
        << "the clipboard holds the pasted range";
    EXPECT_TRUE(IsClipboardFormatAvailable(RegisterClipboardFormatA(CF_RTF)))
        << "as the control cut it, rich text and all, in place of the plain text copied";
}

// Pastes of several shapes, read back whole: text, line colours, caret.
struct PasteCase {
    const char* name;
    const char* existing;
    LONG caret;
    const char* clipboard;
    const char* expectedText;   // line breaks as "|"
    const char* colors;
    LONG caretAfter;
};
class Paste : public ComposeColor, public ::testing::WithParamInterface<PasteCase> {};

TEST_P(Paste, ColoursWhatWasPastedAndLeavesTheCaretAfterIt)
{
    const PasteCase& c = GetParam();
    configure("Change=1\r\nTabCode2Space=1\r\n");
    openCompose(RICHEDIT_20A);
    streamPlainText(control, c.existing);
    ASSERT_TRUE(putClipboardBytes(frame, std::string(c.clipboard) + '\0'));
    setSelection(control, c.caret, c.caret);
    SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0);
    EXPECT_EQ(c.expectedText, withBreaksShown(controlText(control))) << c.name;
    expectLineColors(control, c.colors, c.name);
    expectCaret(control, c.caretAfter, c.name);
}

INSTANTIATE_TEST_SUITE_P(
    ComposeColor, Paste,
    ::testing::Values(
        PasteCase{"one line onto an empty line", "top\r\n\r\nend", 4, "> single quote", "top|> single quote|end", "-Q-",
                  4 + 14},
        PasteCase{"Japanese, a character one position", "top\r\n\r\nend", 4, "> 引用です\r\n本文\r\n",
                  "top|> 引用です|本文||end", "-QT-", 4 + 7 + 3},
        PasteCase{"a tab widened on the way back in", "top\r\nend", 4, "> a\tb\r\nplain\r\n",
                  "top|> a     b|plain|end", "-QT-", 4 + 10 + 6},
        PasteCase{"into the middle of a line", "abc\r\nend", 2, "\r\n> q\r\n", "ab|> q|c|end", "-Q--", 2 + 1 + 4}),
    [](const ::testing::TestParamInfo<PasteCase>& info) { return caseName(info.param.name); });

TEST_F(ComposeColor, PasteWithoutClipboardTextColoursNothingFurther)
{
    configure("Change=1\r\n");
    openCompose(RICHEDIT_20A);
    streamPlainText(control, "first line\r\n> second");
    ASSERT_TRUE(OpenClipboard(frame));
    EmptyClipboard();
    CloseClipboard();
    setSelection(control, 3, 3);
    recorder().messages.clear();
    SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0);
    EXPECT_EQ(1u, recorder().count(EM_PASTESPECIAL)) << "the paste is passed on";
    EXPECT_EQ(1u, recorder().count(EM_SETCHARFORMAT)) << "only the typing colour is reset";
    EXPECT_EQ(0u, recorder().count(EM_REPLACESEL));
    EXPECT_EQ(0u, recorder().count(WM_CUT) + recorder().count(WM_PASTE) + recorder().count(WM_CLEAR));
    EXPECT_EQ("first line|> second", withBreaksShown(controlText(control)));
    expectCaret(control, 3, "nothing pasted");
}

struct UntouchedPasteCase { const char* name; const char* send; };
class UntouchedPaste : public ComposeColor, public ::testing::WithParamInterface<UntouchedPasteCase> {};

TEST_P(UntouchedPaste, ReachesTheControlAsItCame)
{
    configure(GetParam().send);
    openCompose(RICHEDIT_20A);
    streamPlainText(control, "first line\r\n");
    ASSERT_TRUE(putClipboardBytes(frame, std::string("> pasted quote\r\nplain\0", 22)));
    setSelection(control, 11, 11);
    recorder().messages.clear();
    REPASTESPECIAL special = {DVASPECT_CONTENT, 0};
    SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, reinterpret_cast<LPARAM>(&special));
    std::vector<RecordedMessage> paste = recorder().of(EM_PASTESPECIAL);
    ASSERT_EQ(1u, paste.size());
    EXPECT_EQ(static_cast<WPARAM>(CF_TEXT), paste[0].wParam);
    EXPECT_EQ(reinterpret_cast<LPARAM>(&special), paste[0].lParam);
    EXPECT_EQ(0u, recorder().count(EM_SETCHARFORMAT)) << "no colour";
    EXPECT_EQ(0u, recorder().count(EM_REPLACESEL)) << "no re-insertion";
    EXPECT_EQ(0u, recorder().count(WM_CUT)) << "no cut";
    EXPECT_EQ("first line|> pasted quote|plain", withBreaksShown(controlText(control)));
    expectLineColors(control, "--", GetParam().name);
    EXPECT_EQ("> pasted quote\r\nplain", clipboardText(frame)) << "the clipboard keeps what was copied";
    EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatA(CF_RTF))) << "nothing was cut";
}

INSTANTIATE_TEST_SUITE_P(ComposeColor, UntouchedPaste,
                         ::testing::Values(UntouchedPasteCase{"PasteChange off", "Change=1\r\nPasteChange=0\r\n"},
                                           UntouchedPasteCase{"colouring off", "Change=0\r\nPasteChange=1\r\n"}),
                         [](const ::testing::TestParamInfo<UntouchedPasteCase>& info) {
                             return caseName(info.param.name);
                         });

// Clipboard text need not end in a zero inside its block. The plug-in is
// handed such a block, and its GlobalLock gives out a copy whose end touches
// an inaccessible page, so a read past the block would fault.
TEST_F(ComposeColor, ClipboardTextWithoutATerminatorIsNeverReadPastItsBlock)
{
    configure("Change=1\r\n");
    openCompose(RICHEDIT_20A);
    // The control pastes from Wine's clipboard, which drops the block's last
    // byte; a final LF keeps what it shows the same as the block's text.
    const std::string pasted = "> unterminated quote\r\nplain end\r\n";
    ASSERT_TRUE(putClipboardBytes(frame, pasted));
    rawTextBlock = GlobalAlloc(GMEM_MOVEABLE, pasted.size());
    ASSERT_TRUE(rawTextBlock != NULL);
    memcpy(GlobalLock(rawTextBlock), pasted.data(), pasted.size());
    GlobalUnlock(rawTextBlock);
    ASSERT_EQ(pasted.size(), GlobalSize(rawTextBlock));
    ImportRedirect lock(plugin.module, "KERNEL32.dll", "GlobalLock", reinterpret_cast<void*>(guardedGlobalLock));
    ASSERT_TRUE(lock.previous() != nullptr) << "the plug-in imports GlobalLock";
    realGlobalLock = reinterpret_cast<GlobalLockFn>(lock.previous());
    ImportRedirect data(plugin.module, "USER32.dll", "GetClipboardData", reinterpret_cast<void*>(rawGetClipboardData));
    ASSERT_TRUE(data.previous() != nullptr) << "the plug-in imports GetClipboardData";
    realGetClipboardData = reinterpret_cast<GetClipboardDataFn>(data.previous());
    guardedLocks = unterminatedLocks = 0;

    streamPlainText(control, "top\r\n");
    setSelection(control, 4, 4);
    SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0);
    EXPECT_GT(guardedLocks, 0) << "the plug-in read the clipboard through GlobalLock";
    EXPECT_GT(unterminatedLocks, 0) << "and was given a block without a terminator";
    const std::string text = withBreaksShown(controlText(control));
    ASSERT_EQ(0u, text.find("top|> unterminated quote|plain end|")) << text;
    expectLineColors(control, "-QT", "unterminated clipboard text");
    expectCaret(control, 4 + 21 + 10, "after the block's text");
}

TEST_F(ComposeColor, ClipboardTextEndingInALoneLeadByteIsPastedAndColoured)
{
    configure("Change=1\r\n");
    openCompose(RICHEDIT_20A);
    streamPlainText(control, "top\r\n");
    ASSERT_TRUE(putClipboardBytes(frame, std::string("> quote\r\nplain\x82", 15) + '\0'));
    setSelection(control, 4, 4);
    SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0);
    EXPECT_EQ(0u, withBreaksShown(controlText(control)).find("top|> quote|plain"));
    expectLineColors(control, "-QT", "lone lead byte at the end");
}

// ---- the recolour command, from the menus the host builds ----

struct MenuEntry { UINT type; UINT id; std::string text; };

static std::vector<MenuEntry> menuEntries(HMENU menu)
{
    std::vector<MenuEntry> entries;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[64] = "";
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof text;
        GetMenuItemInfoA(menu, i, TRUE, &info);
        entries.push_back({info.fType, info.wID, text});
    }
    return entries;
}

struct RecolorMenuCase { const char* name; int kind; };
class RecolorMenu : public ComposeColor, public ::testing::WithParamInterface<RecolorMenuCase> {};

TEST_P(RecolorMenu, AppendsTheCommandThatRecoloursSelectionOrWholeText)
{
    const RecolorMenuCase& c = GetParam();
    configure("Change=1\r\n");
    openCompose(RICHEDIT_20A);
    HMENU bar = hostBuildComposeMenuBar();
    HMENU target = c.kind == 301 ? GetSubMenu(bar, 1) : bar;
    const size_t registeredBefore = hostRegisteredCommands().size();
    const int itemsBefore = GetMenuItemCount(target);
    plugin.sendInitMenu(0, bar, c.kind);

    ASSERT_EQ(registeredBefore + 1, hostRegisteredCommands().size()) << c.name << ": one command registered";
    const int id = hostRegisteredCommands().back().id;
    std::vector<MenuEntry> entries = menuEntries(target);
    ASSERT_EQ(static_cast<size_t>(itemsBefore + 2), entries.size()) << c.name;
    EXPECT_TRUE(entries[itemsBefore].type & MFT_SEPARATOR) << c.name << ": a separator first";
    EXPECT_EQ(0u, entries[itemsBefore + 1].type & MFT_SEPARATOR);
    EXPECT_EQ(static_cast<UINT>(id), entries[itemsBefore + 1].id) << c.name << ": the item carries the registered id";
    EXPECT_EQ(std::string("再配色(&R)"), entries[itemsBefore + 1].text) << c.name;
    if (c.kind == 301) {
        EXPECT_EQ(3, GetMenuItemCount(bar)) << "the bar itself keeps its sub-menus only";
    }
    DestroyMenu(bar);

    // No selection: the whole text, and the caret back where it stood.
    streamPlainText(control, "plain a\r\n> quote b\r\nplain c\r\n> quote d");
    const std::string before = controlText(control);
    setSelection(control, 12, 12);
    SendMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    EXPECT_EQ(before, controlText(control)) << "the text is re-inserted unchanged";
    expectLineColors(control, "TQTQ", std::string(c.name) + ", whole text");
    expectCaret(control, 12, "the caret is restored");

    // A selection: only its lines, and the selection restored.
    streamPlainText(control, "plain a\r\n> quote b\r\nplain c\r\n> quote d");
    LineRange second = lineRange(control, 1), third = lineRange(control, 2);
    setSelection(control, second.start, third.start + third.length);
    SendMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    expectLineColors(control, "-QT-", std::string(c.name) + ", selection of two lines");
    CHARRANGE kept = selectionOf(control);
    EXPECT_EQ(second.start, kept.cpMin);
    EXPECT_EQ(third.start + third.length, kept.cpMax);

    // A selection without a line break is left as it is on RichEdit 2.0.
    LineRange last = lineRange(control, 3);
    setSelection(control, last.start, last.start + last.length);
    SendMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    expectLineColors(control, "-QT-", std::string(c.name) + ", selection within one line");
}

INSTANTIATE_TEST_SUITE_P(ComposeColor, RecolorMenu,
                         ::testing::Values(RecolorMenuCase{"kind 301 menu bar", 301},
                                           RecolorMenuCase{"kind 302 popup", 302}),
                         [](const ::testing::TestParamInfo<RecolorMenuCase>& info) {
                             return caseName(info.param.name);
                         });

TEST_F(ComposeColor, OtherMenuKindsGetNoRecolourCommand)
{
    configure("Change=1\r\n");
    start();
    for (int kind : {303, 201, 202, 0}) {
        HMENU bar = hostBuildComposeMenuBar();
        const size_t registered = hostRegisteredCommands().size();
        plugin.sendInitMenu(0, bar, kind);
        EXPECT_EQ(registered, hostRegisteredCommands().size()) << "kind " << kind << ": nothing registered";
        EXPECT_EQ(3, GetMenuItemCount(bar)) << "kind " << kind;
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(1, GetMenuItemCount(GetSubMenu(bar, i))) << "kind " << kind << ", sub-menu " << i;
        DestroyMenu(bar);
    }
}

TEST_F(ComposeColor, RecolourCommandWithoutARichEditDoesNothing)
{
    configure("Change=1\r\n");
    start();
    HMENU popup = CreatePopupMenu();
    plugin.sendInitMenu(0, popup, 302);
    ASSERT_FALSE(hostRegisteredCommands().empty());
    HWND folder = track(hostCreateFolderWindow("folder"));
    int result = -1;
    ASSERT_TRUE(hostRouteCommand(folder, hostRegisteredCommands().back().id, &result));
    EXPECT_EQ(0, result);
    DestroyMenu(popup);
}

// ---- RichEdit 1.0, with ASCII text ----

TEST_F(ComposeColor, RichEdit10ColoursSetReplacedPastedAndRecolouredText)
{
    configure("Change=1\r\n");
    openCompose(RICHEDIT_10);
    setText(control, "> a\r\nb\r\n> c\r\n");
    expectLineColors(control, "QTQ", "RichEdit 1.0 WM_SETTEXT");
    expectCaret(control, 0, "RichEdit 1.0 after WM_SETTEXT");

    // An insertion at the caret is coloured, and the caret stays before it.
    streamPlainText(control, "alpha\r\nbravo");
    setSelection(control, 7, 7);
    replaceSelection(control, "> ins\r\nplain\r\n");
    EXPECT_EQ("alpha|> ins|plain|bravo", withBreaksShown(controlText(control)));
    expectLineColors(control, "-QT-", "RichEdit 1.0 insertion at the caret");
    expectCaret(control, 7, "RichEdit 1.0: before the inserted text");

    // A paste, restored by clear and undo.
    streamPlainText(control, "top\r\nend");
    ASSERT_TRUE(putClipboardBytes(frame, std::string("> p\r\nq\r\n") + '\0'));
    setSelection(control, 5, 5);
    SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0);
    EXPECT_EQ("top|> p|q|end", withBreaksShown(controlText(control)));
    expectLineColors(control, "-QT-", "RichEdit 1.0 paste");
    expectCaret(control, 5 + 8, "RichEdit 1.0: after the pasted text");
    EXPECT_EQ("> p\r\nq\r\n", clipboardText(frame)) << "RichEdit 1.0 leaves the clipboard alone";
    EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatA(CF_RTF))) << "nothing was cut";

    // The recolour command over the whole text; a selection within one line
    // is re-inserted too on RichEdit 1.0.
    HMENU popup = CreatePopupMenu();
    plugin.sendInitMenu(0, popup, 302);
    const int id = hostRegisteredCommands().back().id;
    streamPlainText(control, "one\r\n> two\r\nthree");
    setSelection(control, 2, 2);
    SendMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    EXPECT_EQ("one|> two|three", withBreaksShown(controlText(control)));
    expectLineColors(control, "TQT", "RichEdit 1.0 recolour");
    expectCaret(control, 2, "RichEdit 1.0: caret restored");
    streamPlainText(control, "one\r\n> two\r\nthree");
    setSelection(control, 5, 10);
    SendMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    expectLineColors(control, "-Q-", "RichEdit 1.0 recolour of one line");
    DestroyMenu(popup);
}

// ---- a Japanese reply ----

TEST_F(ComposeColor, JapaneseReplyHasItsQuotedLinesColoured)
{
    configure("Change=1\r\nTabCode2Space=1\r\n");
    openCompose(RICHEDIT_20A);
    setText(control, hostSampleReplyText());
    // 佐藤さん / (empty) / three quoted lines / (empty) / two lines of reply
    expectLineColors(control, "T-QQQ-TT", "the sample reply");
    const std::string text = controlText(control);
    EXPECT_NE(std::string::npos, text.find("承知しました。  火曜日")) << "the tab after 14 bytes became two spaces";
    EXPECT_EQ(std::string::npos, text.find('\t'));
}

// ---- what EM_GETSELTEXT writes, and ranges the control should never give ----

// The recorder answers EM_GETSELTEXT itself with the bytes a control writes
// there and checks that the plug-in's buffer (its heap block's size) holds
// them. Wine's RICHEDIT counts a double-byte character as one position, as
// RichEdit 2.0 does, but cuts its own EM_GETSELTEXT output to one byte a
// position; with wholeText set the answer is the whole text as WM_GETTEXT
// gives it (for a selection of everything), which is what such a control
// writes in full.
struct SelectedTextCheck {
    int calls = 0;
    std::string failures;
};

static void checkSelectedTextBuffers(SelectedTextCheck* check, bool wholeText = false)
{
    recorder().intercept = [check, wholeText](HWND window, UINT message, WPARAM, LPARAM lParam, LRESULT* answer) {
        if (message != EM_GETSELTEXT)
            return false;
        std::vector<char> written(1 << 16, 0);
        if (wholeText)
            recorder().callOriginal(window, WM_GETTEXT, written.size(), reinterpret_cast<LPARAM>(written.data()));
        else
            recorder().callOriginal(window, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(written.data()));
        const size_t needed = strlen(written.data()) + 1;
        const size_t capacity = _msize(reinterpret_cast<void*>(lParam));
        ++check->calls;
        if (capacity < needed)
            check->failures += "buffer of " + std::to_string(capacity) + " bytes for " + std::to_string(needed) + "; ";
        const size_t copied = needed < capacity ? needed : capacity;
        memcpy(reinterpret_cast<char*>(lParam), written.data(), copied);
        reinterpret_cast<char*>(lParam)[copied - 1] = '\0';
        *answer = static_cast<LRESULT>(copied - 1);
        return true;
    };
}

struct SelectionSizeCase { const char* name; RichEditClass cls; const char* text; bool wholeText; };
class SelectedTextBuffer : public ComposeColor, public ::testing::WithParamInterface<SelectionSizeCase> {};

// A control that counts a double-byte character as one position writes two
// bytes for it: a buffer of one byte a position would be overrun.
TEST_P(SelectedTextBuffer, HoldsEveryByteTheControlWrites)
{
    const SelectionSizeCase& c = GetParam();
    configure("Change=1\r\n");
    openCompose(c.cls);
    HMENU popup = CreatePopupMenu();
    plugin.sendInitMenu(0, popup, 302);
    const int id = hostRegisteredCommands().back().id;
    setText(control, c.text);
    const std::string before = controlText(control);
    SelectedTextCheck check;
    checkSelectedTextBuffers(&check, c.wholeText);
    SendMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), 0);
    recorder().intercept = nullptr;
    EXPECT_EQ(1, check.calls) << c.name;
    EXPECT_EQ("", check.failures) << c.name;
    EXPECT_EQ(before, controlText(control)) << c.name << ": the text comes back as it was";
    DestroyMenu(popup);
}

INSTANTIATE_TEST_SUITE_P(
    ComposeColor, SelectedTextBuffer,
    ::testing::Values(
        SelectionSizeCase{"RichEdit 2.0 Japanese", RICHEDIT_20A, "> 来週の打ち合わせ\r\n承知しました。\r\n", false},
        SelectionSizeCase{"RichEdit 1.0 Japanese", RICHEDIT_10, "> 来週の打ち合わせ\r\n承知しました。", true},
        SelectionSizeCase{"RichEdit 2.0 ASCII", RICHEDIT_20A, "> quoted\r\nplain\r\n", false},
        SelectionSizeCase{"RichEdit 1.0 ASCII", RICHEDIT_10, "> quoted\r\nplain\r\n", false}),
    [](const ::testing::TestParamInfo<SelectionSizeCase>& info) { return caseName(info.param.name); });

// The recorder reports a selection no control would: reversed, negative,
// or as long as a position can be. Nothing is read or re-inserted for the
// impossible ones, and the huge one gets a buffer that holds what the
// control really writes.
TEST_F(ComposeColor, ImpossibleSelectionsAreRefusedBeforeAnyBufferIsSized)
{
    configure("Change=1\r\n");
    openCompose(RICHEDIT_20A);
    HMENU popup = CreatePopupMenu();
    plugin.sendInitMenu(0, popup, 302);
    const int id = hostRegisteredCommands().back().id;
    struct { const char* name; CHARRANGE reported; bool readsText; } cases[] = {
        {"reversed", {9, 2}, false},
        {"negative start", {-4, 3}, false},
        {"both negative", {-7, -3}, false},
        {"from the lowest to the highest position", {LONG_MIN, LONG_MAX}, false},
        {"huge", {1, LONG_MAX}, true},
    };
    for (const auto& c : cases) {
        setText(control, "> quoted\r\nplain\r\n> again\r\n");
        const std::string before = controlText(control);
        SelectedTextCheck check;
        checkSelectedTextBuffers(&check);
        auto checkText = recorder().intercept;
        CHARRANGE reported = c.reported;
        recorder().intercept = [&](HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* answer) {
            if (message == EM_EXGETSEL) {
                *reinterpret_cast<CHARRANGE*>(lParam) = reported;
                *answer = 0;
                return true;
            }
            return checkText(window, message, wParam, lParam, answer);
        };
        recorder().messages.clear();
        SendMessageA(frame, WM_COMMAND, MAKEWPARAM(id, 0), 0);
        recorder().intercept = nullptr;
        EXPECT_EQ("", check.failures) << c.name;
        if (c.readsText) {
            EXPECT_EQ(1, check.calls) << c.name << ": the text is read";
        } else {
            EXPECT_EQ(0, check.calls) << c.name << ": nothing may be read for this range";
            EXPECT_EQ(0u, recorder().count(EM_REPLACESEL)) << c.name << ": nothing re-inserted";
        }
        EXPECT_EQ(before, controlText(control)) << c.name;
    }
    DestroyMenu(popup);
}

// ---- deferred colouring without its copy ----

// The copy of a long text cannot be made: the text still reaches the
// control, and no tick re-inserts a missing or an older copy over it.
TEST_F(ComposeColor, LongTextWhoseCopyFailsIsShownAndKept)
{
    configure("Change=1\r\nRecolorCount=16\r\n");
    openCompose(RICHEDIT_20A);
    const std::string older = "> an older text that was set first\r\nplain";
    const std::string newer = "plain newer text\r\n> quoted newer line";
    setText(control, older);
    {
        ImportRedirect redirect(plugin.module, "msvcrt.dll", "malloc", reinterpret_cast<void*>(mallocRefusingOneSize));
        ASSERT_TRUE(redirect.previous() != nullptr) << "the plug-in imports malloc";
        realMalloc = reinterpret_cast<MallocFn>(redirect.previous());
        refusedSize = newer.size() + 1;
        refusals = 0;
        setText(control, newer);
        EXPECT_GT(refusals, 0) << "the copy was refused";
    }
    EXPECT_EQ(withBreaksShown(newer), withBreaksShown(controlText(control))) << "shown at once";
    // Without its copy there is nothing to colour from: no tick may come to
    // bring back the older text.
    EXPECT_EQ(0, KillTimer(control, RECOLOR_TIMER)) << "no recolour tick is pending";
    pumpPending();
    EXPECT_EQ(withBreaksShown(newer), withBreaksShown(controlText(control))) << "still the newer text";
}

TEST_F(ComposeColor, RecolourTickWithNoTextSetChangesNothing)
{
    configure("Change=1\r\n");
    openCompose(RICHEDIT_20A);
    streamPlainText(control, "text the host streamed\r\n> in");
    recorder().messages.clear();
    SendMessageA(control, WM_TIMER, RECOLOR_TIMER, 0);
    EXPECT_EQ("text the host streamed|> in", withBreaksShown(controlText(control)));
    EXPECT_EQ(0u, recorder().count(EM_REPLACESEL));
}

// ---- text ending in a lone lead byte ----

TEST_F(ComposeColor, TextEndingInALoneLeadByteIsColouredUpToIt)
{
    configure("Change=1\r\n");
    openCompose(RICHEDIT_20A);
    // The lone byte itself is no character of the text and is not counted;
    // what the control makes of it is the control's affair.
    auto expectPlainBeforeLoneByte = [&](int line, LONG characters, const char* context) {
        LineRange r = lineRange(control, line);
        CharFormatRead f = readCharFormat(control, r.start, r.start + characters);
        EXPECT_TRUE((f.mask & CFM_COLOR) && !f.autoColor && f.color == TEST_TEXT_COLOR)
            << context << ": expected text colour before the lone byte, got " << colorName(f.color);
    };
    setText(control, "> quoted\r\nplain\x82");
    expectLineColors(control, "Q", "WM_SETTEXT ending in a lead byte");
    expectPlainBeforeLoneByte(1, 5, "WM_SETTEXT ending in a lead byte");

    streamPlainText(control, "alpha\r\nbravo");
    setSelection(control, 0, 5);
    replaceSelection(control, "> q\r\nx\x82");
    expectLineColors(control, "Q", "EM_REPLACESEL ending in a lead byte");
    expectPlainBeforeLoneByte(1, 1, "EM_REPLACESEL ending in a lead byte");
    EXPECT_NE(std::string::npos, withBreaksShown(controlText(control)).find("|bravo")) << "the next line is intact";
}

// ---- colours that follow every edit ([Send] LiveChange) ----

// Each row is an edit as the user makes it, and what the user then sees (the
// text, breaks as "|", and each line's colour) after it, after each Ctrl+Z
// and after Ctrl+Y, with LiveChange=1 and, documenting the colouring that
// follows messages only, with LiveChange=0: the edits the random test below
// cannot make beside a bare control.
enum LiveEdit {
    PASTE_COMMAND, SET_REPLY,
    // Text the hook never sees go in (a drop from another program, say), over
    // the next character or at the caret, then the control is painted; or as
    // an input method puts in what it composed, between the composition's
    // start and end.
    REPLACED_PAST_HOOK, INSERTED_PAST_HOOK, COMPOSED
};
struct Seen { const char* text; const char* colors; };
struct LiveRow {
    const char* name;
    const char* start;     // set whole before the edit
    int line, column;      // the caret for the edit
    LiveEdit edit;
    const char* input;     // typed, put on the clipboard, or set
    int undos;
    Seen live[4];          // after the edit, the first Ctrl+Z, the second, Ctrl+Y
    Seen today[4];         // none: as with LiveChange=1
};
class LiveEdits : public ComposeColor,
                  public ::testing::WithParamInterface<std::tuple<LiveRow, RichEditClass, bool>> {};

// Ctrl+Z and Ctrl+Y as the control reads them: the key with Ctrl held.
static void pressWithCtrl(HWND control, WPARAM key)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    const BYTE ctrl = keys[VK_CONTROL];
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    SendMessageA(control, WM_KEYDOWN, key, 1);
    keys[VK_CONTROL] = ctrl;
    SetKeyboardState(keys);
}

// A key as the message loop hands it on: its key-down, then its character.
static void pressKey(HWND control, WPARAM key, WPARAM character)
{
    SendMessageA(control, WM_KEYDOWN, key, 1);
    SendMessageA(control, WM_CHAR, character, 1);
}

// Text as the user types it: ASCII by its keys, a double-byte character as
// the input method commits it, which the control puts in itself between the
// composition's start and end (Wine's controls take one neither as a WM_CHAR
// lead and trail byte, each converted alone, nor as WM_IME_CHAR, which comes
// out as "?"). With `committed` the input method commits all of it.
static void typeText(HWND target, bool hooked, const std::string& text, bool committed)
{
    for (size_t i = 0, length; i < text.size(); i += length) {
        length = committed ? text.size() : IsDBCSLeadByte(static_cast<BYTE>(text[i])) ? 2 : 1;
        if (length == 1) {
            pressKey(target, VkKeyScanA(text[i]) & 0xFF, static_cast<BYTE>(text[i]));
            continue;
        }
        const std::string piece = text.substr(i, length);
        const LPARAM bytes = reinterpret_cast<LPARAM>(piece.c_str());
        SendMessageA(target, WM_IME_STARTCOMPOSITION, 0, 0);
        hooked ? recorder().callOriginal(target, EM_REPLACESEL, TRUE, bytes)
               : SendMessageA(target, EM_REPLACESEL, TRUE, bytes);
        SendMessageA(target, WM_IME_ENDCOMPOSITION, 0, 0);
    }
}

TEST_P(LiveEdits, ShowEachLineInItsColourAndUndoOnlyTheEdit)
{
    const LiveRow& row = std::get<0>(GetParam());
    const bool live = std::get<2>(GetParam());
    configure(live ? "Change=1\r\nLiveChange=1\r\n" : "Change=1\r\n");
    openCompose(std::get<1>(GetParam()), true, row.edit == REPLACED_PAST_HOOK || row.edit == INSERTED_PAST_HOOK);
    setText(control, row.start);
    const LONG caret = lineRange(control, row.line).start + row.column;
    setSelection(control, caret, caret);
    const std::string copied = std::string(row.input);
    if (row.edit == PASTE_COMMAND)
        ASSERT_TRUE(putClipboardBytes(frame, copied + '\0'));
    switch (row.edit) {
    case PASTE_COMMAND: SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0); break;
    case SET_REPLY: setText(control, copied); break;
    case REPLACED_PAST_HOOK:
    case INSERTED_PAST_HOOK:
        setSelection(control, caret, caret + (row.edit == REPLACED_PAST_HOOK));
        recorder().callOriginal(control, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(copied.c_str()));
        RedrawWindow(control, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
        break;
    case COMPOSED: typeText(control, true, copied, true); break;
    }
    const Seen* seen = live || !row.today[0].text ? row.live : row.today;
    const std::string context = std::string(row.name) + (live ? ", live" : ", messages only");
    auto expectSeen = [&](const Seen& expected, const char* when) {
        if (!expected.text)
            return;
        EXPECT_EQ(expected.text, withBreaksShown(controlText(control))) << context << ", " << when;
        expectLineColors(control, expected.colors, context + ", " + when);
    };
    expectSeen(seen[0], "after the edit");
    if (row.edit == SET_REPLY)
        EXPECT_EQ(0, SendMessageA(control, EM_CANUNDO, 0, 0)) << context << ": nothing to undo";
    if (row.edit == PASTE_COMMAND && live)
        EXPECT_EQ(copied, clipboardText(frame)) << context << ": the clipboard keeps what was copied";
    for (int i = 0; i < row.undos; ++i) {
        pressWithCtrl(control, 'Z');
        expectSeen(seen[1 + i], i ? "after the second Ctrl+Z" : "after Ctrl+Z");
    }
    pressWithCtrl(control, 'Y');
    expectSeen(seen[3], "after Ctrl+Y");
}

static const LiveRow LIVE_ROWS[] = {
    {"two quoted lines pasted with the paste command", "top\r\nend", 1, 0, PASTE_COMMAND, "> p1\r\n> p2\r\n", 2,
     {{"top|> p1|> p2|end", "TQQT"}, {"top|end", "TT"}, {"top|end", "TT"}, {"top|> p1|> p2|end", "TQQT"}},
     // Messages only, the paste's own re-insertion and cut and paste (RichEdit
     // 1.0: clear and undo) are undo steps too: on RichEdit 2.0 the first
     // Ctrl+Z takes the paste away and the second brings it back, on 1.0 the
     // paste stays through both. Not asserted beyond the paste itself.
     {{"top|> p1|> p2|end", "TQQT"}, {}, {}, {}}},
    {"reply set whole", "", 0, 0, SET_REPLY, "> a\r\nb\r\n>> c", 1,
     {{"> a|b|>> c", "QTQ"}, {"> a|b|>> c", "QTQ"}, {}, {"> a|b|>> c", "QTQ"}}, {}},
    // The same length as before: only the paint can tell that the text moved.
    {"marker put over a character past the hook", "plain\r\n> quoted", 0, 0, REPLACED_PAST_HOOK, ">", 1,
     {{">lain|> quoted", "QQ"}, {"plain|> quoted", "TQ"}, {}, {">lain|> quoted", "QQ"}},
     {{">lain|> quoted", "-Q"}, {}, {}, {}}},
    {"a quoted line and a marker put in past the hook", "plain\r\n> quoted", 0, 0, INSERTED_PAST_HOOK, "> a\r\n> ", 1,
     {{"> a|> plain|> quoted", "QQQ"}, {"plain|> quoted", "TQ"}, {}, {"> a|> plain|> quoted", "QQQ"}},
     {{"> a|> plain|> quoted", "--Q"}, {}, {}, {}}},
    {"two quoted lines composed by the input method", "top\r\nend", 1, 0, COMPOSED, "> a\r\n> b", 1,
     {{"top|> a|> bend", "TQQ"}, {"top|end", "TT"}, {}, {"top|> a|> bend", "TQQ"}},
     {{"top|> a|> bend", "T--"}, {}, {}, {}}},
};

INSTANTIATE_TEST_SUITE_P(
    ComposeColor, LiveEdits,
    ::testing::Combine(::testing::ValuesIn(LIVE_ROWS), ::testing::Values(RICHEDIT_20A, RICHEDIT_10), ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<LiveRow, RichEditClass, bool>>& info) {
        return caseName(std::get<0>(info.param).name) + (std::get<1>(info.param) == RICHEDIT_10 ? "Re10" : "Re20") +
               (std::get<2>(info.param) ? "Live" : "Messages");
    });

// ---- random edits, side by side with a bare control ----

// Markers ">" and "＞" only, none after leading spaces: a line is quoted when
// it begins with a marker, its depth the count of markers in a row from there
// (spaces between them passed over). The letters of expectLineColors.
static const char* const TWO_MARKERS = "IgnoreSpace=0\r\nQuaote=4\r\nQuaoteStr=>,＞\r\n";
static std::string colorsFor(const std::string& text, bool levels)
{
    std::string letters;
    for (size_t from = 0, end = 0; end != std::string::npos; from = end + 2) {
        end = text.find("\r\n", from);
        const std::string line = text.substr(from, end == std::string::npos ? end : end - from);
        int depth = 0;
        for (size_t at = 0, marker = 1; marker; depth += marker != 0, at += marker) {
            at = depth > 0 ? line.find_first_not_of(' ', at) : at;
            marker = at >= line.size() ? 0 : line[at] == '>' ? 1 : line.compare(at, 2, "＞") == 0 ? 2 : 0;
        }
        letters += depth == 0 ? 'T' : !levels ? 'Q' : static_cast<char>('0' + std::min(depth, 5));
    }
    return letters;
}

// Japanese replies, and the pieces typed and put in, the line break last
// (put in, never typed), on both classes. Windows' RichEdit 1.0 messages
// count a double-byte character as two positions and Wine's as one; the
// test's positions are the bare control's own, given to both controls, and
// the plug-in's live colours take none of them, so either count is met.
static const std::string LONG_QUOTE = "> " + std::string(60, 'a') + "長い引用の行" + std::string(140, 'b');
static const std::string REPLIES[] = {"＞ 了解しました\r\n本文です\r\n> 明日の会議\r\n",
                                      "本文です\r\n>> ＞ 引用\r\n\r\n> 了解\r\n承知しました",
                                      ">\r\n＞＞\r\n> > 深い\r\nおわり", LONG_QUOTE + "\r\n続き\r\n" + LONG_QUOTE};
static const std::vector<std::string> PIECES = {"a", " ", ">", "＞", "了", "解", "\r\n"};

struct RandomCase { const char* name; RichEditClass cls; const char* send; bool levels, deferred; };

class LiveSideBySide : public ComposeColor {
protected:
    // A control of the compose control's class and styles in a top-level
    // window of its own, which the plug-in never hooks: what the control
    // itself makes of each step, its text and its undo history.
    void openBare(RichEditClass cls)
    {
        LoadLibraryA(cls == RICHEDIT_10 ? "riched32.dll" : "riched20.dll");
        HWND top = track(CreateWindowExA(0, "STATIC", "bare", WS_OVERLAPPEDWINDOW, 0, 0, 480, 320, 0, 0, 0, 0));
        bare = CreateWindowExA(WS_EX_CLIENTEDGE, cls == RICHEDIT_10 ? "RICHEDIT" : "RichEdit20A", "",
                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN |
                                   ES_NOHIDESEL, 0, 0, 460, 300, top, NULL, NULL, NULL);
        ASSERT_TRUE(bare != NULL);
    }
    bool runSequence(unsigned seed, const RandomCase& c, bool checkColors, bool allSteps);
    HWND bare = NULL;
};

// One seeded sequence of steps on both controls, then Ctrl+Z on both until
// there is nothing to undo; false after the first difference, which is
// reported with the seed and the steps. Without allSteps, no step whose undo
// the colouring that follows messages changes: EM_REPLACESEL and the paste
// command, whose lines it colours as steps of their own, and Enter, after
// which its reset of the typing colour splits the typing.
bool LiveSideBySide::runSequence(unsigned seed, const RandomCase& c, bool checkColors, bool allSteps)
{
    std::mt19937 rng(seed);
    auto pick = [&](LONG n) { return static_cast<LONG>(rng() % n); };
    const bool re10 = c.cls == RICHEDIT_10;
    const std::vector<std::string>& pieces = PIECES;
    auto randomText = [&](LONG most, size_t from) {
        std::string text;
        for (LONG n = pick(most + 1); n-- > 0;)
            text += pieces[pick(from)];
        return text;
    };
    auto both = [&](const std::function<void(HWND, bool)>& act) { act(control, true); act(bare, false); };
    auto failures = [] {
        return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    };
    const int failuresBefore = failures();
    std::string log;
    bool tickPending = false;
    auto matches = [&](const std::string& when) {
        const std::string text = controlText(bare);
        EXPECT_EQ(withBreaksShown(text), withBreaksShown(controlText(control))) << when;
        // Lines are read back by the control's rows (lines are not wrapped).
        // Wine sometimes gives an empty paragraph that an undo left no row of
        // its own, in the bare control too; that step's colours cannot be
        // read by row.
        const std::string letters = colorsFor(text, c.levels);
        const bool rowsAreLines = static_cast<int>(letters.size()) == lineCount(control);
        if (checkColors && !tickPending && failures() == failuresBefore &&
            (rowsAreLines || lineCount(control) != lineCount(bare))) {
            EXPECT_TRUE(rowsAreLines) << when << ": " << lineCount(control) << " rows for " << letters.size() << " lines";
            expectLineColors(control, letters.c_str(), when);
        }
        if (failures() > failuresBefore)
            ADD_FAILURE() << c.name << ": seed " << seed << " (HUESCOPE_RANDOM_SEED replays it), steps: " << log
                          << "\nthe text now: " << withBreaksShown(controlText(control));
        return failures() == failuresBefore;
    };
    auto tick = [&] {
        EXPECT_TRUE(waitForRecolorTick(control)) << "the recolour timer ticks";
        tickPending = false;
        return std::string("tick");
    };
    both([](HWND w, bool) { SendMessageA(w, EM_SETTARGETDEVICE, 0, 1); });
    putClipboardBytes(frame, randomText(8, pieces.size()) + '\0');
    bool overSelection = false;
    for (int n = 2 + pick(30); n > 0; --n) {
        // A reply first; a selection is often typed, broken, deleted,
        // replaced, cut or pasted over at once.
        LONG kind = log.empty() ? 15 : overSelection ? 3 + pick(9) : pick(16);
        kind = !allSteps && (kind == 6 || kind == 9) ? 0 : kind;
        overSelection = false;
        const bool key = pick(2);
        std::string step;
        std::function<void(HWND, bool)> act;
        if (kind < 3) {
            // Up to the text's end, not over the final paragraph mark (Wine
            // leaves the caret past the end after a paste over it), and on
            // RichEdit 1.0 never inside CR LF (a position a UTF-16 unit of its
            // text under Wine).
            GETTEXTLENGTHEX length = {GTL_NUMCHARS | GTL_PRECISE, 1200};
            const LONG end =
                static_cast<LONG>(SendMessageA(bare, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0));
            const std::string bytes = controlText(bare);
            std::wstring text(bytes.size() + 1, L'\0');
            text.resize(MultiByteToWideChar(932, 0, bytes.data(), bytes.size(), &text[0], text.size()));
            LONG from =
                key ? static_cast<LONG>(SendMessageA(bare, EM_LINEINDEX, pick(lineCount(bare)), 0)) : pick(end + 1);
            from += re10 && from > 0 && from <= static_cast<LONG>(text.size()) && text[from - 1] == L'\r';
            LONG to = std::max(from, std::min(end, from + (pick(3) ? pick(3) : pick(end + 1))));
            to += re10 && to > 0 && to <= static_cast<LONG>(text.size()) && text[to - 1] == L'\r';
            act = [=](HWND w, bool) { setSelection(w, from, to); };
            overSelection = pick(2);
            step = "select " + std::to_string(from) + "-" + std::to_string(to);
        } else if (kind < 6) {
            const std::string typed = randomText(3, pieces.size() - 1);
            act = [=](HWND w, bool hooked) { typeText(w, hooked, typed, !key); };
            step = (key ? "type \"" : "commit \"") + withBreaksShown(typed) + "\"";
        } else if (kind < 9) {
            act = [kind](HWND w, bool) {
                kind == 8 ? (void)SendMessageA(w, WM_KEYDOWN, VK_DELETE, 1)
                          : pressKey(w, kind == 6 ? VK_RETURN : VK_BACK, kind == 6 ? '\r' : '\b');
            };
            step = kind == 6 ? "Enter" : kind == 7 ? "Backspace" : "Delete";
        } else if (kind == 9) {
            const std::string text = randomText(8, pieces.size());
            act = [=](HWND w, bool) { replaceSelection(w, text); };
            step = "EM_REPLACESEL \"" + withBreaksShown(text) + "\"";
        } else if (kind < 14) {
            // Cut, paste (the paste command too), undo and redo, by key or message.
            static const char* const names[] = {"Ctrl+X", "WM_CUT",  "Ctrl+V", "WM_PASTE",
                                                "Ctrl+Z", "EM_UNDO", "Ctrl+Y", "EM_REDO"};
            static const UINT messages[] = {WM_CUT, WM_PASTE, EM_UNDO, EM_REDO};
            const bool special = kind == 11 && allSteps && pick(3) == 0;
            act = [=](HWND w, bool) {
                special ? (void)SendMessageA(w, EM_PASTESPECIAL, CF_TEXT, 0)
                : key   ? pressWithCtrl(w, "XVZY"[kind - 10])
                        : (void)SendMessageA(w, messages[kind - 10], 0, 0);
            };
            step = special ? "EM_PASTESPECIAL" : names[2 * (kind - 10) + !key];
        } else if (tickPending && key) {
            step = tick();
        } else {
            const std::string reply = REPLIES[pick(4)];
            act = [=](HWND w, bool) { setText(w, reply); };
            tickPending = c.deferred;
            step = "reply set";
        }
        if (act)
            both(act);
        log += step + "; ";
        if (!matches("after " + step))
            return false;
    }
    if (tickPending && !matches("after the " + tick() + " at the end"))
        return false;
    for (int undos = 0;; ++undos) {
        const bool more = SendMessageA(bare, EM_CANUNDO, 0, 0) != 0;
        EXPECT_EQ(more, SendMessageA(control, EM_CANUNDO, 0, 0) != 0)
            << "EM_CANUNDO after " << undos << " Ctrl+Z at the end: the bare control answers " << more;
        EXPECT_LT(undos, 200) << "Ctrl+Z never empties the undo history";
        if (!matches("after " + std::to_string(undos) + " Ctrl+Z at the end") || !more || undos == 200)
            return failures() == failuresBefore;
        both([](HWND w, bool) { pressWithCtrl(w, 'Z'); });
    }
}

class LiveRandomEdits : public LiveSideBySide, public ::testing::WithParamInterface<RandomCase> {};
// Every reply coloured on the timer's tick.
static const char* const ON_THE_TICK = "RecolorCount=16\r\n";

// Seeds 1, 2, ... in turn for HUESCOPE_RANDOM_SECONDS (15 a case: half a
// minute a class); HUESCOPE_RANDOM_SEED replays one.
TEST_P(LiveRandomEdits, KeepTheBareControlsTextAndUndoAndEachLineInItsColour)
{
    const RandomCase& c = GetParam();
    configure(std::string("Change=1\r\nLiveChange=1\r\n") + c.send, TWO_MARKERS);
    openCompose(c.cls);
    openBare(c.cls);
    const char* replay = getenv("HUESCOPE_RANDOM_SEED");
    const char* seconds = getenv("HUESCOPE_RANDOM_SECONDS");
    const DWORD budget = static_cast<DWORD>(1000 * (seconds ? atof(seconds) : 15)), began = GetTickCount();
    unsigned seed = replay ? strtoul(replay, NULL, 10) : 1, sequences = 1;
    for (; runSequence(seed, c, true, true) && !replay && GetTickCount() - began < budget; ++seed)
        ++sequences;
    printf("%s: %u sequences in %lu ms\n", c.name, sequences, static_cast<unsigned long>(GetTickCount() - began));
}

INSTANTIATE_TEST_SUITE_P(
    ComposeColor, LiveRandomEdits,
    ::testing::Values(RandomCase{"RichEdit 2.0 by level", RICHEDIT_20A, "LevelColor=1\r\n", true, false},
                      RandomCase{"RichEdit 2.0 on the tick", RICHEDIT_20A, ON_THE_TICK, false, true},
                      RandomCase{"RichEdit 1.0 by level", RICHEDIT_10, "LevelColor=1\r\n", true, false},
                      RandomCase{"RichEdit 1.0 on the tick", RICHEDIT_10, ON_THE_TICK, false, true}),
    [](const ::testing::TestParamInfo<RandomCase>& info) { return caseName(info.param.name); });

// ---- a document whose undo suspension does nothing ----

static const GUID TEXT_DOCUMENT = {0x8cc497c0, 0xa1df, 0x11ce, {0x80, 0x98, 0x00, 0xaa, 0x00, 0x47, 0xbe, 0x5d}};
// IUnknown's three entries, IDispatch's four, then GetName to
// EndEditCollection: Undo is entry 22 of ITextDocument's function table.
const int UNDO_ENTRY = 22;
typedef HRESULT(STDMETHODCALLTYPE* UndoFn)(ITextDocument*, long, long*);
static UndoFn realUndo;
static bool suspendWorks, resumeWorks;

// Undo as a document might have it: success answered for a suspension or a
// resumption that does not happen.
static HRESULT STDMETHODCALLTYPE hollowUndo(ITextDocument* document, long count, long* done)
{
    if ((count == tomSuspend && !suspendWorks) || (count == tomResume && !resumeWorks))
        return S_FALSE;
    return realUndo(document, count, done);
}

static void* swapEntry(void** entry, void* value)
{
    DWORD protection;
    VirtualProtect(entry, sizeof *entry, PAGE_EXECUTE_READWRITE, &protection);
    void* was = *entry;
    *entry = value;
    VirtualProtect(entry, sizeof *entry, protection, &protection);
    return was;
}

// While it lives, the class's documents, the compose control's too, share
// the table whose Undo entry goes to hollowUndo.
struct HollowUndo {
    void** entry;
    explicit HollowUndo(ITextDocument* document) : entry(*reinterpret_cast<void***>(document) + UNDO_ENTRY)
    {
        realUndo = reinterpret_cast<UndoFn>(swapEntry(entry, reinterpret_cast<void*>(hollowUndo)));
    }
    ~HollowUndo() { swapEntry(entry, reinterpret_cast<void*>(realUndo)); }
};

struct HollowCase { const char* name; bool suspends, resumes; };
class HollowSuspension : public LiveSideBySide,
                         public ::testing::WithParamInterface<std::tuple<HollowCase, RichEditClass>> {};

TEST_P(HollowSuspension, KeepsTheColouringThatFollowsMessagesAndTheControlsUndo)
{
    const HollowCase& c = std::get<0>(GetParam());
    const RichEditClass cls = std::get<1>(GetParam());
    configure("Change=1\r\nLiveChange=1\r\n", TWO_MARKERS);
    // Through the bare control's document, before the compose control is
    // hooked: the plug-in looks at its document then.
    openBare(cls);
    IUnknown* ole = NULL;
    ITextDocument* document = NULL;
    ASSERT_TRUE(SendMessageA(bare, EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(&ole)) && ole);
    ole->QueryInterface(TEXT_DOCUMENT, reinterpret_cast<void**>(&document));
    ole->Release();
    ASSERT_TRUE(document != NULL);
    HollowUndo hollow(document);
    suspendWorks = c.suspends;
    resumeWorks = c.resumes;
    document->Release();

    openCompose(cls);
    setText(control, "plain\r\n> quoted");
    setSelection(control, 0, 0);
    pressKey(control, VkKeyScanA('>') & 0xFF, '>');
    EXPECT_EQ(">plain|> quoted", withBreaksShown(controlText(control))) << c.name;
    expectLineColors(control, "TQ", std::string(c.name) + ": a marker typed stays in the text colour");
    const RandomCase steps = {c.name, cls, "", false, false};
    for (unsigned seed = 1; seed <= 8 && runSequence(seed, steps, false, false); ++seed) {}
}

INSTANTIATE_TEST_SUITE_P(
    ComposeColor, HollowSuspension,
    ::testing::Combine(::testing::Values(HollowCase{"neither works", false, false},
                                         HollowCase{"only suspending works", true, false},
                                         HollowCase{"only resuming works", false, true}),
                       ::testing::Values(RICHEDIT_20A, RICHEDIT_10)),
    [](const ::testing::TestParamInfo<std::tuple<HollowCase, RichEditClass>>& info) {
        return caseName(std::get<0>(info.param).name) + (std::get<1>(info.param) == RICHEDIT_10 ? "Re10" : "Re20");
    });
