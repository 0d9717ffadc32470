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
#include "quote/quote_depth.h"
#include <richole.h>
#include <tom.h>
#include "compose/line_positions.h"
#include "compose/touched_span.h"

// The document interface's identifier, defined here so that the DLL imports
// nothing for it.
static const GUID TEXT_DOCUMENT_IID = {0x8cc497c0, 0xa1df, 0x11ce, {0x80, 0x98, 0x00, 0xaa, 0x00, 0x47, 0xbe, 0x5d}};

struct LiveControl {
    HWND control;
    ITextDocument* document;
    // One range and its font, moved from line to line: the control builds a
    // font object by reading every property of every character of its range.
    ITextRange* probe;
    ITextFont* probeFont;
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
// How far around an edit the text is first read to find its lines' ends;
// a longer line is read again with four times the reach.
static const int64_t FIRST_REACH = 128;

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

// ---- the document's colours, through the text object model ----

// The colour of [from, to): an RGB value, or tomAutoColor, or tomUndefined
// when the range holds more than one colour or cannot be read. The control
// reads it character by character.
static long colorOf(LiveControl* live, LONG from, LONG to)
{
    long color = tomUndefined;
    if (SUCCEEDED(live->probe->SetRange(from, to)) && FAILED(live->probeFont->GetForeColor(&color)))
        color = tomUndefined;
    return color;
}

// Undo is suspended only around the colour itself and resumed on every
// path: suspension does not nest, and undo does nothing while it holds.
static void setColor(LiveControl* live, LONG from, LONG to, COLORREF color)
{
    if (FAILED(live->probe->SetRange(from, to)))
        return;
    live->document->Undo(tomSuspend, NULL);
    live->probeFont->SetForeColor(static_cast<long>(color));
    live->document->Undo(tomResume, NULL);
}

// What an edit did to the text, as far as the colours care: the positions
// it put in, and whether it may also have taken text out (which can join
// the rests of two lines into one).
struct EditedText {
    LONG insertedFrom, insertedTo;
    bool removed;
};

// Whether the line [from, to) is all in `wanted`. Every line was one colour
// before the edit, so what the edit did not put in came from one line, or
// from two when text was taken out: the line's first character begins the
// one and its last character ends the other. Those and the inserted text
// tell the whole line.
static bool lineHasColor(LiveControl* live, LONG from, LONG to, const EditedText& edit, long wanted)
{
    const LONG a = edit.insertedFrom > from ? edit.insertedFrom : from;
    const LONG b = edit.insertedTo < to ? edit.insertedTo : to;
    const bool firstInserted = a <= from && from < b;
    const bool lastInserted = a <= to - 1 && to - 1 < b;
    // What lies between the line's first character and the inserted text
    // came with that character, so the two are read as one range: the
    // control finds each range it is asked for by walking its paragraphs
    // from the top of the text, and typing asks on every key.
    if (a < b && !firstInserted) {
        if (colorOf(live, from, b) != wanted)
            return false;
    } else {
        if (a < b && colorOf(live, a, b) != wanted)
            return false;
        if (!firstInserted && colorOf(live, from, from + 1) != wanted)
            return false;
    }
    if (lastInserted || (!firstInserted && !edit.removed))
        return true;
    return colorOf(live, to - 1, to) == wanted;
}

// Lines found in the wrong colour, gathered while they follow one another
// and want the same colour, so that a block is coloured at once.
struct PendingColor {
    LONG from, to;
    COLORREF color;
    bool any;
};

static void flushPending(LiveControl* live, PendingColor* pending)
{
    if (pending->any)
        setColor(live, pending->from, pending->to, pending->color);
    pending->any = false;
}

// A line already in its colour is left alone.
static void checkLine(LiveControl* live, const char* line, LONG from, LONG to, const EditedText& edit,
                      PendingColor* pending)
{
    if (from >= to)
        return;   // an empty line has nothing to colour
    const COLORREF wanted = rgbOnly(lineColorForDepth(quoteDepth(quoteMarkers, line, false)));
    if (lineHasColor(live, from, to, edit, static_cast<long>(wanted))) {
        flushPending(live, pending);
        return;
    }
    if (pending->any && pending->color == wanted) {
        pending->to = to;
        return;
    }
    flushPending(live, pending);
    *pending = PendingColor{from, to, wanted, true};
}

// The text [from, to) as the control gives it in the ANSI code page (up to
// two bytes a position, line breaks as RichEdit 2.0's CR or 1.0's CR LF),
// or NULL.
static char* readText(HWND control, LONG from, LONG to, size_t* length)
{
    const uint64_t positions = static_cast<uint64_t>(to - from);
    if (to < from || positions > (SIZE_MAX - 1) / 2)
        return NULL;
    const size_t size = static_cast<size_t>(positions) * 2 + 1;
    char* text = static_cast<char*>(malloc(size));
    if (!text)
        return NULL;
    text[0] = '\0';
    TEXTRANGEA range = {{from, to}, text};
    SendMessageA(control, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    text[size - 1] = '\0';
    *length = strlen(text);
    return text;
}

// Colours the lines of text[bounds], which begin at position start.
static void colorWindow(LiveControl* live, char* text, const ParagraphBounds& bounds, int64_t start,
                        const EditedText& edit)
{
    char* lines = text + bounds.byteStart;
    LineWalk walk;
    beginLineWalk(&walk, lines, bounds.byteEnd - bounds.byteStart, start, state.isRichEdit20 != 0,
                  systemDbcsTable());
    PendingColor pending = {0, 0, 0, false};
    LineSpan line;
    while (nextLine(&walk, &line)) {
        int64_t length = line.cpLength;
        // RichEdit 1.0 keeps a line's CR: the break takes no colour.
        if (!state.isRichEdit20 && line.byteLength > 0 && lines[line.byteStart + line.byteLength - 1] == '\r')
            --length;
        if (line.cpStart + length > LONG_MAX)
            break;
        lines[line.byteStart + line.byteLength] = '\0';   // a line is judged on its own bytes
        checkLine(live, lines + line.byteStart, static_cast<LONG>(line.cpStart),
                  static_cast<LONG>(line.cpStart + length), edit, &pending);
    }
    flushPending(live, &pending);
}

// Every line that holds a position of [from, to] is given its colour; with
// `inserted` the edit put [from, to) in, and all of it is looked at, and
// with `removed` it may also have taken text out. The text around is read
// to find where those lines begin and end.
static void colorLinesLive(LiveControl* live, int64_t from, int64_t to, bool inserted, bool removed)
{
    HWND control = live->control;
    const LONG textEnd = clampToText(textPositionCount(control), LONG_MAX);
    live->knownLength = textEnd;
    const LONG first = clampToText(from, textEnd);
    const LONG last = clampToText(to, textEnd) < first ? first : clampToText(to, textEnd);
    const bool isRichEdit20 = state.isRichEdit20 != 0;
    for (int64_t reach = FIRST_REACH;; reach *= 4) {
        const LONG a = clampToText(first - reach, textEnd);
        const LONG b = clampToText(last + reach, textEnd);
        size_t length = 0;
        char* text = readText(control, a, b, &length);
        if (!text)
            return;
        const ParagraphBounds bounds =
            paragraphBounds(text, length, byteOffsetOfPosition(text, length, first - a, isRichEdit20, systemDbcsTable()),
                            byteOffsetOfPosition(text, length, last - a, isRichEdit20, systemDbcsTable()));
        const bool whole = (bounds.startFound || a == 0) && (bounds.endFound || b == textEnd);
        const EditedText edit = {inserted ? first : 0, inserted ? last : 0, removed};
        if (whole)
            colorWindow(live, text, bounds, a + pastedPositionCount(text, bounds.byteStart, isRichEdit20, systemDbcsTable()),
                        edit);
        free(text);
        if (whole)
            return;
    }
}

void recolorLive(HWND control, int64_t from, int64_t to, bool inserted)
{
    LiveControl* live = liveControlOf(control);
    if (live)
        colorLinesLive(live, from, to, inserted, inserted);
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
    ITextRange* probe = NULL;
    ITextFont* probeFont = NULL;
    if (FAILED(document->Range(0, 0, &probe)) || !probe || FAILED(probe->GetFont(&probeFont)) || !probeFont) {
        if (probe)
            probe->Release();
        document->Release();
        return;
    }
    *slot = LiveControl{control, document, probe, probeFont, textPositionCount(control), 0, 0, 0};
    ++liveControlCount;
}

static void detachLiveChange(LiveControl* live)
{
    live->probeFont->Release();
    live->probe->Release();
    live->document->Release();
    *live = LiveControl{};
    --liveControlCount;
}

// Messages after which the text may have changed.
bool messageMayEditText(UINT message)
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
// the text anywhere: where a step puts the selection need not cover what it
// brought back, and a step may leave the length as it was.
static bool undoesOrRedoes(UINT message, WPARAM wParam)
{
    switch (message) {
    case EM_UNDO: case WM_UNDO: case EM_REDO: return true;
    case WM_KEYDOWN: return (wParam == 'Z' || wParam == 'Y') && GetKeyState(VK_CONTROL) < 0;
    case WM_SYSKEYDOWN: return wParam == VK_BACK;
    default: return false;
    }
}

// The message itself, with anything it sends on the way not followed.
static LRESULT dispatchFollowed(LiveControl* live, UINT message, WPARAM wParam, LPARAM lParam)
{
    ++live->busy;
    const LRESULT result = dispatchComposeMessage(live->control, message, wParam, lParam);
    --live->busy;
    return result;
}

static char* readWholeText(HWND control, size_t* length)
{
    return readText(control, 0, clampToText(textPositionCount(control), LONG_MAX), length);
}

// The whole text, read before and after the step, tells what it changed;
// without either, every line is looked at.
static LRESULT followUndo(LiveControl* live, UINT message, WPARAM wParam, LPARAM lParam)
{
    size_t beforeLength = 0, afterLength = 0;
    char* before = readWholeText(live->control, &beforeLength);
    const LRESULT result = dispatchFollowed(live, message, wParam, lParam);
    char* after = before ? readWholeText(live->control, &afterLength) : NULL;
    TouchedSpan span = {0, INT64_MAX};
    if (after)
        span = changedSpan(before, beforeLength, after, afterLength, state.isRichEdit20 != 0, systemDbcsTable());
    free(before);
    free(after);
    colorLinesLive(live, span.from, span.to, true, true);
    return result;
}

static LRESULT followEdit(LiveControl* live, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (undoesOrRedoes(message, wParam))
        return followUndo(live, message, wParam, lParam);
    HWND control = live->control;
    const CHARRANGE before = readSelection(control);
    const int64_t lengthBefore = textPositionCount(control);
    const LRESULT result = dispatchFollowed(live, message, wParam, lParam);
    const CHARRANGE after = readSelection(control);
    const int64_t growth = textPositionCount(control) - lengthBefore;
    if (growth == 0 && mostlyNavigates(message))
        return result;
    if (message == EM_STREAMIN && !(wParam & SFF_SELECTION)) {
        colorLinesLive(live, 0, INT64_MAX, true, true);
        return result;
    }
    const TouchedSpan span = touchedSpan(before.cpMin, after.cpMin, after.cpMax, growth, true);
    // At the selection, an edit took out what it did not add to the length.
    colorLinesLive(live, span.from, span.to, true, span.to - span.from > growth);
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
    const CHARRANGE selection = readSelection(live->control);
    const TouchedSpan span =
        touchedSpan(selection.cpMin, selection.cpMin, selection.cpMax, length - live->knownLength, false);
    colorLinesLive(live, span.from, span.to, true, true);
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
        live->composedFrom = readSelection(control).cpMin;
        break;
    case WM_IME_ENDCOMPOSITION: {
        const LRESULT result = dispatchComposeMessage(control, message, wParam, lParam);
        live->composing = 0;
        const CHARRANGE selection = readSelection(control);
        const LONG from = live->composedFrom < selection.cpMin ? live->composedFrom : selection.cpMin;
        colorLinesLive(live, from, selection.cpMax, true, true);
        return result;
    }
    case WM_PAINT:
        if (!live->composing)
            catchUp(live);
        break;
    }
    if (live->composing || !messageMayEditText(message))
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
    // Text set whole comes in one colour: each line's ends tell its colour.
    colorLinesLive(live, 0, INT64_MAX, false, false);
    SendMessageA(control, EM_EMPTYUNDOBUFFER, 0, 0);
    return result;
}
