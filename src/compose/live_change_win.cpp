// Colours that follow every edit of the compose text ([Send] LiveChange).
// After each message that can change the text, the lines the change touched
// are given the colour their quote depth calls for. The colour goes on
// through the control's text object model: a range of the document is
// coloured without the selection moving (so nothing scrolls, the caret stays
// and the host hears of no selection change), and the control's undo is
// suspended around it, so that no colour is ever an undo step of its own and
// each undo takes back exactly the user's edit. A control whose document
// cannot be had, or will not suspend its undo, keeps the colouring that
// follows messages only.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include "compose/compose.h"
#include <richole.h>
#include <tom.h>
#include "compose/touched_span.h"

// The document interface's identifier, defined here so that the DLL imports
// nothing for it.
static const GUID TEXT_DOCUMENT_IID = {0x8cc497c0, 0xa1df, 0x11ce, {0x80, 0x98, 0x00, 0xaa, 0x00, 0x47, 0xbe, 0x5d}};

struct LiveControl {
    HWND control;
    ITextDocument* document;
    int64_t knownLength;   // the text's length when its colours were last made right
    int composing;         // the input method is composing: nothing is coloured
    LONG composedFrom;     // where the composition began
    int busy;              // inside an edit already being followed
};

// A compose window is rarely open more than a few at a time; a control
// beyond these keeps the colouring that follows messages only.
static const int MAX_LIVE_CONTROLS = 32;
static LiveControl liveControls[MAX_LIVE_CONTROLS];
static int liveControlCount;

static LiveControl* liveControlOf(HWND control)
{
    if (liveControlCount == 0)
        return NULL;
    for (LiveControl& live : liveControls)
        if (live.control == control)
            return &live;
    return NULL;
}

bool liveColoring(HWND control)
{
    return settings.liveChange && settings.sendQuoteColoring && liveControlOf(control);
}

static LONG clampToText(int64_t position, LONG textEnd)
{
    if (position < 0)
        return 0;
    return position > textEnd ? textEnd : static_cast<LONG>(position);
}

static LONG textEndOf(HWND control)
{
    return clampToText(textPositionCount(control), LONG_MAX);
}

static CHARRANGE selectionOf(HWND control)
{
    CHARRANGE range = {0, 0};
    SendMessageA(control, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
    return range;
}

// ---- the document's colours, through the text object model ----

// The colour of [from, to): an RGB value, or tomAutoColor, or tomUndefined
// when the range holds more than one colour or cannot be read.
static long rangeColor(ITextDocument* document, LONG from, LONG to)
{
    long color = tomUndefined;
    ITextRange* range = NULL;
    if (FAILED(document->Range(from, to, &range)) || !range)
        return color;
    ITextFont* font = NULL;
    if (SUCCEEDED(range->GetFont(&font)) && font) {
        if (FAILED(font->GetForeColor(&color)))
            color = tomUndefined;
        font->Release();
    }
    range->Release();
    return color;
}

// Undo is suspended only around the colour itself and resumed on every
// path: suspension does not nest, and undo does nothing while it holds.
static void setRangeColor(ITextDocument* document, LONG from, LONG to, COLORREF color)
{
    ITextRange* range = NULL;
    if (FAILED(document->Range(from, to, &range)) || !range)
        return;
    ITextFont* font = NULL;
    if (SUCCEEDED(range->GetFont(&font)) && font) {
        document->Undo(tomSuspend, NULL);
        font->SetForeColor(static_cast<long>(color));
        document->Undo(tomResume, NULL);
        font->Release();
    }
    range->Release();
}

// ---- paragraphs, as the control lays them out ----
// A quote is judged by the paragraph (a line of the mail); the control
// counts rows, which a long paragraph wraps into several.

static LONG rowOf(HWND control, LONG position)
{
    return static_cast<LONG>(SendMessageA(control, EM_EXLINEFROMCHAR, 0, position));
}

static LONG rowStart(HWND control, LONG row)
{
    return static_cast<LONG>(SendMessageA(control, EM_LINEINDEX, static_cast<WPARAM>(row), 0));
}

// Whether the character at position is a line break (RichEdit 2.0 holds a
// CR, RichEdit 1.0 a CR and an LF). No trail byte of a double-byte
// character is a CR or an LF.
static bool isBreakAt(HWND control, LONG position)
{
    char text[4] = "";
    TEXTRANGEA range = {{position, position + 1}, text};
    SendMessageA(control, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    return text[0] == '\r' || text[0] == '\n';
}

static LONG paragraphStart(HWND control, LONG position)
{
    LONG row = rowOf(control, position);
    LONG start = rowStart(control, row);
    while (row > 0 && start > 0 && !isBreakAt(control, start - 1))
        start = rowStart(control, --row);
    return start < 0 ? 0 : start;
}

// The end of the paragraph that begins at start: where its line break
// stands, or the text's end. *lastRow is its last row.
static LONG paragraphEnd(HWND control, LONG start, LONG textEnd, LONG* lastRow)
{
    LONG row = rowOf(control, start);
    for (;;) {
        *lastRow = row;
        const LONG begin = rowStart(control, row);
        if (begin < 0)
            return textEnd;
        const LONG end = begin + static_cast<LONG>(SendMessageA(control, EM_LINELENGTH, begin, 0));
        if (end >= textEnd)
            return textEnd;
        if (end >= begin && isBreakAt(control, end))
            return end;
        if (rowStart(control, row + 1) <= begin)
            return textEnd;   // no further row: a control that answers oddly
        ++row;
    }
}

// The depth of the paragraph [from, to), from its text as the control gives
// it in the ANSI code page: up to two bytes a position.
static unsigned paragraphDepth(HWND control, LONG from, LONG to)
{
    const uint64_t positions = static_cast<uint64_t>(to - from);
    if (positions > (SIZE_MAX - 1) / 2)
        return 0;
    const size_t size = static_cast<size_t>(positions) * 2 + 1;
    char* text = static_cast<char*>(malloc(size));
    if (!text)
        return 0;
    text[0] = '\0';
    TEXTRANGEA range = {{from, to}, text};
    SendMessageA(control, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    text[size - 1] = '\0';
    const unsigned depth = quoteDepth(text, false);
    free(text);
    return depth;
}

// Paragraphs found in the wrong colour, gathered while they follow one
// another and want the same colour, so that a block is coloured at once.
struct PendingColor {
    LONG from, to;
    COLORREF color;
    bool any;
};

static void flushPending(ITextDocument* document, PendingColor* pending)
{
    if (pending->any)
        setRangeColor(document, pending->from, pending->to, pending->color);
    pending->any = false;
}

// A paragraph already in its colour is left alone.
static void checkParagraph(LiveControl* live, LONG from, LONG to, PendingColor* pending)
{
    if (from >= to)
        return;   // an empty line has nothing to colour
    const COLORREF wanted = rgbOnly(lineColorForDepth(paragraphDepth(live->control, from, to)));
    if (rangeColor(live->document, from, to) == static_cast<long>(wanted)) {
        flushPending(live->document, pending);
        return;
    }
    if (pending->any && pending->color == wanted) {
        pending->to = to;
        return;
    }
    flushPending(live->document, pending);
    *pending = PendingColor{from, to, wanted, true};
}

// Every paragraph that holds a position of [from, to) or touches to.
static void colorParagraphs(LiveControl* live, int64_t from, int64_t to)
{
    HWND control = live->control;
    const LONG textEnd = textEndOf(control);
    live->knownLength = textEnd;
    const LONG last = clampToText(to, textEnd);
    LONG start = paragraphStart(control, clampToText(from, last));
    PendingColor pending = {0, 0, 0, false};
    for (;;) {
        LONG lastRow = 0;
        const LONG end = paragraphEnd(control, start, textEnd, &lastRow);
        checkParagraph(live, start, end, &pending);
        if (end >= last || end >= textEnd)
            break;
        const LONG next = rowStart(control, lastRow + 1);
        if (next <= end)
            break;
        start = next;
    }
    flushPending(live->document, &pending);
}

void recolorLive(HWND control, int64_t from, int64_t to)
{
    LiveControl* live = liveControlOf(control);
    if (live)
        colorParagraphs(live, from, to);
}

// ---- following the control ----

// Checked once, when the control is hooked: a control without the text
// object model, or whose document refuses to suspend its undo, is left to
// the colouring that follows messages.
void attachLiveChange(HWND control)
{
    if (!settings.liveChange || !settings.sendQuoteColoring || liveControlOf(control))
        return;
    LiveControl* slot = NULL;
    for (LiveControl& live : liveControls)
        if (!live.control && !slot)
            slot = &live;
    IUnknown* ole = NULL;
    if (!slot || !SendMessageA(control, EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(&ole)) || !ole)
        return;
    ITextDocument* document = NULL;
    const HRESULT found = ole->QueryInterface(TEXT_DOCUMENT_IID, reinterpret_cast<void**>(&document));
    ole->Release();
    if (FAILED(found) || !document)
        return;
    // Both answer S_FALSE where they work; a failure code means no suspension.
    const HRESULT suspended = document->Undo(tomSuspend, NULL);
    const HRESULT resumed = document->Undo(tomResume, NULL);
    if (FAILED(suspended) || FAILED(resumed)) {
        document->Release();
        return;
    }
    *slot = LiveControl{control, document, textPositionCount(control), 0, 0, 0};
    ++liveControlCount;
}

static void detachLiveChange(LiveControl* live)
{
    live->document->Release();
    *live = LiveControl{};
    --liveControlCount;
}

// Messages after which the text may have changed.
static bool mayEdit(UINT message)
{
    switch (message) {
    case WM_CHAR: case WM_KEYDOWN: case WM_SYSKEYDOWN: case WM_IME_CHAR: case WM_IME_COMPOSITION:
    case EM_REPLACESEL: case WM_CUT: case WM_PASTE: case WM_CLEAR: case EM_PASTESPECIAL:
    case EM_UNDO: case WM_UNDO: case EM_REDO: case EM_STREAMIN:
    case WM_LBUTTONDOWN: case WM_LBUTTONUP:   // a drag and drop within the control
        return true;
    default:
        return false;
    }
}

// Keys and clicks mostly move the caret: their lines are looked at only
// when the text's length changed.
static bool mostlyNavigates(UINT message)
{
    return message == WM_KEYDOWN || message == WM_SYSKEYDOWN || message == WM_LBUTTONDOWN ||
           message == WM_LBUTTONUP;
}

// Undo and redo (their messages, Ctrl+Z, Ctrl+Y and Alt+Backspace) change
// the text where the control then puts the selection, not where it stood.
static bool editsAtSelection(UINT message, WPARAM wParam)
{
    switch (message) {
    case EM_UNDO: case WM_UNDO: case EM_REDO: return false;
    case WM_KEYDOWN: return wParam != 'Z' && wParam != 'Y';
    case WM_SYSKEYDOWN: return wParam != VK_BACK;
    default: return true;
    }
}

static LRESULT followEdit(LiveControl* live, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND control = live->control;
    const CHARRANGE before = selectionOf(control);
    const int64_t lengthBefore = textPositionCount(control);
    ++live->busy;
    const LRESULT result = dispatchComposeMessage(control, message, wParam, lParam);
    --live->busy;
    const CHARRANGE after = selectionOf(control);
    const int64_t growth = textPositionCount(control) - lengthBefore;
    if (growth == 0 && mostlyNavigates(message))
        return result;
    if (message == EM_STREAMIN && !(wParam & SFF_SELECTION)) {
        colorParagraphs(live, 0, INT64_MAX);
        return result;
    }
    const TouchedSpan span = touchedSpan(before.cpMin, after.cpMin, after.cpMax, growth,
                                         editsAtSelection(message, wParam));
    colorParagraphs(live, span.from, span.to);
    return result;
}

// Text can change without a message through this hook (a drop from another
// program, say): before a paint, a length that moved has its lines around
// the selection looked at.
static void catchUp(LiveControl* live)
{
    const int64_t length = textPositionCount(live->control);
    if (length == live->knownLength)
        return;
    const CHARRANGE selection = selectionOf(live->control);
    const TouchedSpan span =
        touchedSpan(selection.cpMin, selection.cpMin, selection.cpMax, length - live->knownLength, false);
    colorParagraphs(live, span.from, span.to);
}

LRESULT liveComposeMessage(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    LiveControl* live = liveControlOf(control);
    if (!live)
        return dispatchComposeMessage(control, message, wParam, lParam);
    if (message == WM_DESTROY) {
        detachLiveChange(live);
        return dispatchComposeMessage(control, message, wParam, lParam);
    }
    if (!liveColoring(control) || live->busy)
        return dispatchComposeMessage(control, message, wParam, lParam);
    switch (message) {
    case WM_IME_STARTCOMPOSITION:
        live->composing = 1;
        live->composedFrom = selectionOf(control).cpMin;
        break;
    case WM_IME_ENDCOMPOSITION: {
        const LRESULT result = dispatchComposeMessage(control, message, wParam, lParam);
        live->composing = 0;
        const CHARRANGE selection = selectionOf(control);
        const LONG from = live->composedFrom < selection.cpMin ? live->composedFrom : selection.cpMin;
        colorParagraphs(live, from, selection.cpMax);
        return result;
    }
    case WM_PAINT:
        if (!live->composing)
            catchUp(live);
        break;
    }
    if (live->composing || !mayEdit(message))
        return dispatchComposeMessage(control, message, wParam, lParam);
    return followEdit(live, message, wParam, lParam);
}

// The whole reply: shown, coloured without a step of undo, and the undo
// buffer emptied, as without the live colours. A long one is coloured on the
// timer's tick, where it stands by then.
LRESULT liveSetText(HWND control, WPARAM wParam, const char* text)
{
    const LRESULT result = passToControl(control, WM_SETTEXT, wParam, reinterpret_cast<LPARAM>(text));
    LiveControl* live = liveControlOf(control);
    const size_t threshold = static_cast<uint32_t>(settings.recolorThreshold);
    if (strlen(text ? text : "") >= threshold) {
        live->knownLength = textPositionCount(control);
        SetTimer(control, RECOLOR_TIMER_ID, RECOLOR_DELAY_MS, NULL);
        return result;
    }
    colorParagraphs(live, 0, INT64_MAX);
    SendMessageA(control, EM_EMPTYUNDOBUFFER, 0, 0);
    return result;
}
