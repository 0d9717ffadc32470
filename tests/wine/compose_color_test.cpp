// Compose colouring under Wine with real rich edit controls: text set,
// replaced, pasted and recoloured from the menu, read back line by line with
// EM_GETCHARFORMAT; and the plug-in's conduct when the control, the
// clipboard or the heap give it less than it hoped for.
#include "compose_support.h"
#include <limits.h>
#include <malloc.h>
#include <string.h>

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
// follows messages only, with LiveChange=0.
enum LiveEdit { TYPE_TEXT, BACKSPACE, ENTER, PASTE_COMMAND, SET_REPLY, REPLACE_NEXT_CHARACTER };
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

TEST_P(LiveEdits, ShowEachLineInItsColourAndUndoOnlyTheEdit)
{
    const LiveRow& row = std::get<0>(GetParam());
    const bool live = std::get<2>(GetParam());
    configure(live ? "Change=1\r\nLiveChange=1\r\n" : "Change=1\r\n");
    openCompose(std::get<1>(GetParam()));
    setText(control, row.start);
    const LONG caret = lineRange(control, row.line).start + row.column;
    setSelection(control, caret, caret);
    const std::string copied = std::string(row.input);
    if (row.edit == PASTE_COMMAND)
        ASSERT_TRUE(putClipboardBytes(frame, copied + '\0'));
    switch (row.edit) {
    case TYPE_TEXT: for (char c : copied) pressKey(control, VkKeyScanA(c) & 0xFF, c); break;
    case BACKSPACE: pressKey(control, VK_BACK, '\b'); break;
    case ENTER: pressKey(control, VK_RETURN, '\r'); break;
    case PASTE_COMMAND: SendMessageA(control, EM_PASTESPECIAL, CF_TEXT, 0); break;
    case SET_REPLY: setText(control, copied); break;
    case REPLACE_NEXT_CHARACTER: setSelection(control, caret, caret + 1); replaceSelection(control, copied); break;
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
    {"marker typed at the start of a line", "plain\r\n> quoted", 0, 0, TYPE_TEXT, ">", 1,
     {{">plain|> quoted", "QQ"}, {"plain|> quoted", "TQ"}, {}, {">plain|> quoted", "QQ"}},
     {{">plain|> quoted", "TQ"}, {"plain|> quoted", "TQ"}, {}, {">plain|> quoted", "TQ"}}},
    {"marker deleted with Backspace", "> quoted\r\nplain", 0, 1, BACKSPACE, "", 1,
     {{" quoted|plain", "TT"}, {"> quoted|plain", "QT"}, {}, {" quoted|plain", "TT"}},
     {{" quoted|plain", "QT"}, {"> quoted|plain", "QT"}, {}, {" quoted|plain", "QT"}}},
    {"Enter inside a quoted line", "> quoted line\r\nplain", 0, 4, ENTER, "", 1,
     {{"> qu|oted line|plain", "QTT"}, {"> quoted line|plain", "QT"}, {}, {"> qu|oted line|plain", "QTT"}},
     {{"> qu|oted line|plain", "QQT"}, {"> quoted line|plain", "QT"}, {}, {"> qu|oted line|plain", "QQT"}}},
    {"two quoted lines pasted with the paste command", "top\r\nend", 1, 0, PASTE_COMMAND, "> p1\r\n> p2\r\n", 2,
     {{"top|> p1|> p2|end", "TQQT"}, {"top|end", "TT"}, {"top|end", "TT"}, {"top|> p1|> p2|end", "TQQT"}},
     // Messages only, the paste's own re-insertion and cut and paste (RichEdit
     // 1.0: clear and undo) are undo steps too: on RichEdit 2.0 the first
     // Ctrl+Z takes the paste away and the second brings it back, on 1.0 the
     // paste stays through both. Not asserted beyond the paste itself.
     {{"top|> p1|> p2|end", "TQQT"}, {}, {}, {}}},
    {"typing on a quoted line", "> quoted\r\nplain", 0, 8, TYPE_TEXT, "abc", 1,
     {{"> quotedabc|plain", "QT"}, {"> quoted|plain", "QT"}, {}, {"> quotedabc|plain", "QT"}}, {}},
    // An undo that leaves the length as it was is no caret move.
    {"marker put over a character", "plain\r\n> quoted", 0, 0, REPLACE_NEXT_CHARACTER, ">", 1,
     {{">lain|> quoted", "QQ"}, {"plain|> quoted", "TQ"}, {}, {">lain|> quoted", "QQ"}},
     {{">lain|> quoted", "-Q"}, {}, {}, {}}},
    {"reply set whole", "", 0, 0, SET_REPLY, "> a\r\nb\r\n>> c", 1,
     {{"> a|b|>> c", "QTQ"}, {"> a|b|>> c", "QTQ"}, {}, {"> a|b|>> c", "QTQ"}}, {}},
};

INSTANTIATE_TEST_SUITE_P(
    ComposeColor, LiveEdits,
    ::testing::Combine(::testing::ValuesIn(LIVE_ROWS), ::testing::Values(RICHEDIT_20A, RICHEDIT_10), ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<LiveRow, RichEditClass, bool>>& info) {
        return caseName(std::get<0>(info.param).name) + (std::get<1>(info.param) == RICHEDIT_10 ? "Re10" : "Re20") +
               (std::get<2>(info.param) ? "Live" : "Messages");
    });
