// Colouring the compose text by quote: each line of text that enters the
// control through a message (set, replaced, pasted, or re-inserted by the
// recolour command) is selected and given the quote colour, or its level's
// colour, or the editor's text colour. Which positions a line takes is the
// core's business (line_positions.h); this file sends the messages.
#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include "compose/compose.h"
#include "compose/line_positions.h"
#include "quote/quote_depth.h"
#include "shell/exports.h"

static const char RECOLOR_CAPTION[] = "再配色(&R)";
static const int MENU_KIND_COMPOSE_BAR = 301;     // the item goes into its second sub-menu
static const int MENU_KIND_COMPOSE_POPUP = 302;   // the item goes into the menu itself
static const UINT CODE_PAGE_UTF16 = 1200;

static char* duplicateText(const char* text, size_t length)
{
    char* copy = static_cast<char*>(malloc(length + 1));
    if (copy) {
        memcpy(copy, text, length);
        copy[length] = '\0';
    }
    return copy;
}

CHARRANGE readSelection(HWND control)
{
    CHARRANGE range = {0, 0};
    SendMessageA(control, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return range;
}

static void selectRange(HWND control, LONG cpMin, LONG cpMax)
{
    CHARRANGE range = {cpMin, cpMax};
    SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

LONG clampToText(int64_t position, LONG textEnd)
{
    if (position < 0)
        return 0;
    return position > textEnd ? textEnd : static_cast<LONG>(position);
}

static void redrawWithoutErasing(HWND control)
{
    InvalidateRgn(control, NULL, FALSE);
}

int64_t textPositionCount(HWND control)
{
    if (isRichEdit20(control)) {
        GETTEXTLENGTHEX how = {GTL_NUMCHARS | GTL_PRECISE, CODE_PAGE_UTF16};
        return SendMessageA(control, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&how), 0);
    }
    return SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
}

COLORREF lineColorForDepth(unsigned depth)
{
    if (depth == 0)
        return settings.editorTextColor;
    if (!settings.sendColorByLevel)
        return settings.sendQuoteColor;
    return settings.levelColors[levelForDepth(depth, settings.levelRepeat) - 1];
}

// Compared as the control holds them, without the top byte. The compose
// quote colour counts even while the levels are used: it is never the
// host's text colour either.
bool isQuoteColor(COLORREF color)
{
    if (rgbOnly(color) == rgbOnly(settings.sendQuoteColor))
        return true;
    if (settings.sendColorByLevel)
        for (uint32_t level : settings.levelColors)
            if (rgbOnly(color) == rgbOnly(level))
                return true;
    return false;
}

void colorLines(HWND control, const char* text, LONG start)
{
    SendMessageA(control, EM_HIDESELECTION, 1, 0);
    SendMessageA(control, WM_SETREDRAW, 0, 0);
    const size_t length = text ? strlen(text) : 0;
    char* copy = duplicateText(text ? text : "", length);
    if (copy) {
        LineWalk walk;
        beginLineWalk(&walk, copy, length, start, isRichEdit20(control), systemDbcsTable());
        LineSpan line;
        while (nextLine(&walk, &line)) {
            const int64_t end = line.cpStart + line.cpLength;
            if (end > LONG_MAX)
                break;   // beyond anything a control can hold
            // A line is judged on its own bytes: it ends where its separator was.
            copy[line.byteStart + line.byteLength] = '\0';
            selectRange(control, static_cast<LONG>(line.cpStart), static_cast<LONG>(end));
            const unsigned depth = quoteDepth(quoteMarkers, copy + line.byteStart, false);
            setSelectionColor(control, lineColorForDepth(depth));
        }
        free(copy);
    }
    SendMessageA(control, WM_SETREDRAW, 1, 0);
    SendMessageA(control, EM_HIDESELECTION, 0, 0);
}

// RichEdit 2.0 hands out its line breaks as bare CRs; they go back in as
// CR LF. Takes text (a heap block of size bytes) and returns the widened
// block, or NULL when there is nothing to re-insert: an empty selection, one
// without a line break, or no memory. text is freed in every case.
static char* widenSelectedText(char* text, size_t size)
{
    const size_t length = strnlen(text, size);
    if (length == 0) {
        free(text);
        return NULL;
    }
    // The nested EM_REPLACESEL may convert tabs into conversionBuffer again;
    // what it held before is no one's any more.
    free(compose.conversionBuffer);
    compose.conversionBuffer = NULL;
    const size_t breaks = countByte(text, length, '\r');
    if (breaks == 0 || breaks > SIZE_MAX - 1 - length) {
        free(text);
        return NULL;
    }
    const size_t widenedSize = length + breaks + 1;
    char* widened = static_cast<char*>(malloc(widenedSize));
    if (widened && widenLineBreaks(text, length, widened, widenedSize) == static_cast<size_t>(-1)) {
        free(widened);
        widened = NULL;
    }
    free(text);
    return widened;
}

// The buffer is sized from the selection the control actually made (read
// back, since it may clamp or extend what was asked for) at two bytes a
// position: EM_GETSELTEXT writes a double-byte character as two bytes even
// where the control counts it as one position, and it is told no size. No
// selection holds more than the whole text, whatever end is reported: a
// buffer for the reported end alone could be gigabytes, which a 32-bit
// process cannot have.
void reinsertSelection(HWND control, LONG cpMin, LONG cpMax)
{
    if (cpMin < 0 || cpMax < cpMin)
        return;
    selectRange(control, cpMin, cpMax);
    const CHARRANGE selected = readSelection(control);
    if (selected.cpMin < 0 || selected.cpMax < selected.cpMin)
        return;
    const int64_t textEnd = textPositionCount(control);
    const int64_t end = selected.cpMax < textEnd ? selected.cpMax : textEnd;
    const uint64_t positions = end > selected.cpMin ? static_cast<uint64_t>(end - selected.cpMin) : 0;
    if (positions > (SIZE_MAX - 1) / 2)
        return;
    const size_t size = static_cast<size_t>(positions) * 2 + 1;
    char* text = static_cast<char*>(malloc(size));
    if (!text)
        return;
    text[0] = '\0';
    SendMessageA(control, EM_GETSELTEXT, 0, reinterpret_cast<LPARAM>(text));
    text[size - 1] = '\0';
    if (isRichEdit20(control))
        text = widenSelectedText(text, size);
    if (!text)
        return;
    // wParam 0: the re-insertion is no step of the control's undo history.
    SendMessageA(control, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text));
    free(text);
}

int WINAPI recolorCommand(HWND window, int)
{
    HWND control = findRichEdit(window, NULL);
    if (!control)
        return 0;
    // Live colours need no re-insertion, and the selection stays as it is.
    if (liveColoring(control)) {
        recolorLiveSelection(control);
        return 1;
    }
    CHARRANGE remembered = readSelection(control);
    CHARRANGE range = remembered;
    if (range.cpMin == range.cpMax) {
        range.cpMin = 0;
        range.cpMax = -1;
    }
    SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    range = readSelection(control);
    reinsertSelection(control, range.cpMin, range.cpMax);
    return static_cast<int>(SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&remembered)));
}

HUESCOPE_EXPORT void WINAPI ZekSendInitMenu(int, HMENU menu, int kind)
{
    HMENU target = NULL;
    if (kind == MENU_KIND_COMPOSE_BAR)
        target = GetSubMenu(menu, 1);
    else if (kind == MENU_KIND_COMPOSE_POPUP)
        target = menu;
    // A menu without the expected place gets nothing, and no command is
    // registered for an item that is never shown.
    if (!target || !state.host.registCallback)
        return;
    const int command = state.host.registCallback(recolorCommand, 0);
    AppendMenuA(target, MF_SEPARATOR, 0, NULL);
    AppendMenuA(target, MF_STRING, static_cast<UINT_PTR>(command), RECOLOR_CAPTION);
}

// A text too long to colour inside WM_SETTEXT is shown first and coloured on
// the timer's tick from pendingText. Without that copy (no memory) there is
// nothing to colour it from, so no tick may come: re-inserting a missing
// text would empty the control, and an older copy would bring back text the
// host has just replaced.
// The copy belongs to the control whose tick it waits for: another compose
// window's tick never puts it back.
static bool deferredFor(HWND control)
{
    return compose.pendingText && control == compose.pendingControl;
}

bool coloredOnTick(size_t length)
{
    return length >= static_cast<uint32_t>(settings.recolorThreshold);   // length + 1 > threshold, without the overflow
}

LRESULT colorSetText(HWND control, WPARAM wParam, const char* text)
{
    const char* shown = text ? text : "";
    const size_t length = strlen(shown);
    free(compose.pendingText);
    compose.pendingText = duplicateText(shown, length);
    compose.pendingControl = NULL;
    LRESULT result = passToControl(control, WM_SETTEXT, wParam, reinterpret_cast<LPARAM>(text));
    if (coloredOnTick(length)) {
        if (compose.pendingText) {
            compose.pendingControl = control;
            SetTimer(control, RECOLOR_TIMER_ID, RECOLOR_DELAY_MS, NULL);
        } else {
            KillTimer(control, RECOLOR_TIMER_ID);
        }
        return result;
    }
    colorLines(control, shown, 0);
    SendMessageA(control, EM_EMPTYUNDOBUFFER, 0, 0);
    selectRange(control, 0, 0);
    redrawWithoutErasing(control);
    return result;
}

// The copy is put back once: taken first, so that nothing sent on the way
// finds it again.
void finishDeferredColoring(HWND control)
{
    KillTimer(control, RECOLOR_TIMER_ID);
    if (!deferredFor(control))
        return;
    char* text = compose.pendingText;
    compose.pendingText = NULL;
    compose.pendingControl = NULL;
    SendMessageA(control, EM_SETSEL, 0, -1);
    // Through the hook, so that colorReplaceSel colours it; its tabs were
    // converted when it was set.
    SendMessageA(control, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text));
    SendMessageA(control, EM_SETSEL, 0, 0);
    free(text);
}

// An edit made before the tick would be lost when the tick puts the copy
// back: the colouring comes first, then the edit goes where the user made it.
void colorBeforeEdit(HWND control)
{
    if (!deferredFor(control))
        return;
    CHARRANGE selection = readSelection(control);
    finishDeferredColoring(control);
    SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
}

LRESULT colorReplaceSel(HWND control, WPARAM wParam, const char* text)
{
    const CHARRANGE replaced = readSelection(control);
    LRESULT result = passToControl(control, EM_REPLACESEL, wParam, reinterpret_cast<LPARAM>(text));
    if (isRichEdit20(control)) {
        passToControl(control, EM_HIDESELECTION, 1, 0);
        // On RichEdit 2.0 text inserted at the caret keeps the colour the
        // control gave it; only a replaced selection is coloured.
        if (replaced.cpMin == replaced.cpMax) {
            passToControl(control, EM_HIDESELECTION, 0, 0);
            return result;
        }
    }
    colorLines(control, text, replaced.cpMin);
    // The caret goes where the replaced range ended: after a re-insertion of
    // the same text, that is the end of the new text.
    CHARRANGE caret = {replaced.cpMax, replaced.cpMax};
    if (isRichEdit20(control)) {
        passToControl(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&caret));
        passToControl(control, EM_HIDESELECTION, 0, 0);
    } else {
        SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&caret));
    }
    redrawWithoutErasing(control);
    return result;
}

// The clipboard's text, copied out of its block. The data need not end in a
// zero within the block, so nothing past GlobalSize is ever read.
static char* copyClipboardText(HANDLE data)
{
    const SIZE_T size = GlobalSize(data);
    const char* locked = static_cast<const char*>(GlobalLock(data));
    if (!locked)
        return NULL;
    char* copy = duplicateText(locked, strnlen(locked, size));
    GlobalUnlock(data);
    return copy;
}

static char* takeClipboardText(HWND control)
{
    if (!OpenClipboard(control))
        return NULL;
    char* text = NULL;
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data)
        text = copyClipboardText(data);
    CloseClipboard();
    return text;
}

// The pasted text is coloured where the control put it, then re-inserted so
// that it passes the tab conversion and colouring of EM_REPLACESEL; the
// range is counted from the clipboard's text as the control received it, so
// that no character after the paste is ever re-inserted, and it grows by
// whatever the tab conversion added on the way back in. The control may
// have taken in less than the clipboard's block holds (a block without a
// terminator loses its last byte on the way in, and a lead byte may take
// the byte after it along), so the count never exceeds what the paste added.
static void colorPastedText(HWND control, const char* pasted, LONG start, int64_t inserted)
{
    int64_t count = pastedPositionCount(pasted, strlen(pasted), isRichEdit20(control), systemDbcsTable());
    if (count > inserted)
        count = inserted;
    if (count <= 0)
        return;   // nothing was pasted: cutting and pasting again would paste twice
    const int64_t before = textPositionCount(control);
    colorLines(control, pasted, start);
    const LONG end = clampToText(static_cast<int64_t>(start) + count, LONG_MAX);
    reinsertSelection(control, start, end);
    const int64_t growth = textPositionCount(control) - before;
    redrawWithoutErasing(control);
    CHARRANGE range = {start, clampToText(static_cast<int64_t>(end) + (growth > 0 ? growth : 0), LONG_MAX)};
    SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    // The coloured range then goes through the control's own cut and paste
    // (RichEdit 1.0: clear and undo). On RichEdit 2.0 this leaves the pasted
    // range on the clipboard in place of what the user had copied.
    if (isRichEdit20(control)) {
        SendMessageA(control, WM_CUT, 0, 0);
        SendMessageA(control, WM_PASTE, 0, 0);
    } else {
        SendMessageA(control, WM_CLEAR, 0, 0);
        SendMessageA(control, EM_UNDO, 0, 0);
    }
    range.cpMin = range.cpMax;
    SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
}

LRESULT colorPaste(HWND control, WPARAM wParam, LPARAM lParam)
{
    // Plain pasted text takes the typing colour: make that the text colour.
    resetTypingColor(control);
    const CHARRANGE target = readSelection(control);
    const int64_t before = textPositionCount(control);
    LRESULT result = passToControl(control, EM_PASTESPECIAL, wParam, lParam);
    // Positions the paste added: the growth, plus what it replaced.
    const int64_t inserted = textPositionCount(control) - before + (target.cpMax - target.cpMin);
    char* pasted = takeClipboardText(control);
    if (pasted) {
        colorPastedText(control, pasted, target.cpMin, inserted);
        free(pasted);
    }
    return result;
}

// With live colours the paste is the control's own, one step of undo, and
// its lines are coloured after it like any edit's; the clipboard keeps what
// the user copied. Only a text whose tabs must become spaces goes in as a
// replacement of the selection instead, which is one step too.
LRESULT livePaste(HWND control, WPARAM wParam, LPARAM lParam)
{
    if (settings.tabCodeToSpaces && (wParam == 0 || wParam == CF_TEXT)) {
        char* text = takeClipboardText(control);
        const bool hasTab = text && strchr(text, '\t');
        if (hasTab)
            SendMessageA(control, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
        free(text);
        if (hasTab)
            return 0;
    }
    return passToControl(control, EM_PASTESPECIAL, wParam, lParam);
}
