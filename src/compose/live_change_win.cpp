// Colours that follow every edit of the compose text ([Send] LiveChange).
// The hook tells this file before and after each message that can change
// the text; the lines the change touched are then given the colour their
// quote depth calls for. Everything here is done through the control's text
// object model and in its units (a position per UTF-16 unit): the selection,
// the text and the colours alike. The messages of a RichEdit 1.0 control
// count a double-byte character as two positions on Windows and as one
// under Wine, while the model counts it once on both, so no message's
// position is ever handed to the model. A range of the document is coloured
// without the selection moving (nothing scrolls, the caret stays and the
// host hears of no selection change), with the control's undo suspended
// around it, so that no colour is ever an undo step and each undo takes
// back exactly the user's edit. Whether suspension does that is proven on
// the machine, by what it does, before a control is trusted; a control that
// fails the proof keeps the colouring that follows messages only.
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

// The model hands out text as BSTRs, which belong to the system's OLE
// automation library (the control itself loads it); its two functions are
// looked up rather than imported.
typedef void(WINAPI* FreeStringFn)(BSTR);
typedef UINT(WINAPI* StringLengthFn)(BSTR);
static FreeStringFn freeString;
static StringLengthFn stringLength;

// The line of the last keystroke, as it stands after it: while the user
// types on it, a character that leaves its quote depth as it was needs no
// look at the control, since the control gives a typed character the colour
// of the one before it, which is the line's.
const size_t TYPED_LINE_ROOM = 256;
struct TypedLine {
    bool known;
    long start, length;
    unsigned depth;
    char16_t text[TYPED_LINE_ROOM];
};

// How an edit is followed: by the selection and the length before and after
// it, or by the whole text before and after it (undo, redo, a drag-move).
enum FollowKind { FOLLOW_SELECTION, FOLLOW_WHOLE_TEXT, FOLLOW_COMPOSITION };

// The edit in progress: what was seen before its message.
struct PendingEdit {
    UINT message;
    WPARAM wParam;
    FollowKind kind;
    long selectionFrom, selectionTo;
    long length;
    BSTR text;          // the whole text, for FOLLOW_WHOLE_TEXT
};

// A stretch of text as it stood when its colours were last made right, or
// when the last paint found it: its span and its checksum.
struct CheckedText {
    long from, to;
    uint32_t checksum;
    bool known;
};

struct LiveControl {
    HWND control;
    ITextDocument* document;
    ITextSelection* selection;
    // One range and its font, moved from line to line: the control builds a
    // font object by reading every property of every character of its range.
    ITextRange* probe;
    ITextFont* probeFont;
    long knownLength;        // the text's length when its colours were last made right
    CheckedText checked;     // the text the last colouring or paint looked at
    bool composing;          // the input method is composing: nothing is coloured
    long composedFrom;       // where the composition began
    int busy;                // inside an edit already being followed
    bool leadBytePending;    // the last character typed was a lead byte: the next is its trail
    PendingEdit edit;
    TypedLine typed;
};

// A compose window is rarely open more than a few at a time; a control
// beyond these keeps the colouring that follows messages only.
static const int MAX_LIVE_CONTROLS = 32;
static LiveControl liveControls[MAX_LIVE_CONTROLS];
static int liveControlCount;
// How far around an edit the text is first read to find its lines' ends;
// a longer line is read again with four times the reach. (The model's own
// Expand(tomParagraph) would find them, but Wine's answers E_NOTIMPL.)
static const long FIRST_REACH = 128;
// The most text a paint compares by checksum.
static const size_t CHECKED_ROOM = 16 * FIRST_REACH;

static LiveControl* liveControlOf(HWND control)
{
    if (liveControlCount == 0 || !control)
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

// ---- the document, through the text object model ----

// The story's length, its final paragraph mark included where the model
// counts one.
static long storyLength(LiveControl* live)
{
    long length = 0;
    if (FAILED(live->probe->GetStoryLength(&length)) || length < 0)
        length = 0;
    return length;
}

struct Span {
    long from, to;
};

static Span selectionOf(LiveControl* live)
{
    long from = 0, to = 0;
    if (FAILED(live->selection->GetStart(&from)) || FAILED(live->selection->GetEnd(&to)))
        from = to = 0;
    if (to < from)
        to = from;
    return Span{from, to};
}

static long clampPosition(int64_t position, long end)
{
    if (position < 0)
        return 0;
    return position > end ? end : static_cast<long>(position);
}

// The text [from, to) of the document: *text is NULL for an empty or an
// unreadable range. The caller frees it with freeString.
static size_t readRange(LiveControl* live, long from, long to, BSTR* text)
{
    *text = NULL;
    if (FAILED(live->probe->SetRange(from, to)) || FAILED(live->probe->GetText(text)) || !*text) {
        *text = NULL;
        return 0;
    }
    return stringLength(*text);
}

static size_t readWholeText(LiveControl* live, BSTR* text)
{
    return readRange(live, 0, storyLength(live), text);
}

static const char16_t* unitsOf(BSTR text)
{
    return reinterpret_cast<const char16_t*>(text);
}

// The colour of [from, to): an RGB value, or tomAutoColor, or tomUndefined
// when the range holds more than one colour or cannot be read. The control
// reads it character by character.
static long colorOf(LiveControl* live, long from, long to)
{
    long color = tomUndefined;
    if (SUCCEEDED(live->probe->SetRange(from, to)) && FAILED(live->probeFont->GetForeColor(&color)))
        color = tomUndefined;
    return color;
}

// Undo is suspended only around the colour itself and resumed on every
// path: suspension does not nest, and undo does nothing while it holds.
static void setColor(LiveControl* live, long from, long to, COLORREF color)
{
    if (FAILED(live->probe->SetRange(from, to)))
        return;
    live->document->Undo(tomSuspend, NULL);
    live->probeFont->SetForeColor(static_cast<long>(color));
    live->document->Undo(tomResume, NULL);
}

// The quote depth of a line, judged on its text in the ANSI code page;
// `bytes` has room for two bytes a unit and its terminator.
static unsigned depthOfLine(const char16_t* line, size_t length, char* bytes, size_t room)
{
    int written = 0;
    if (length > 0 && length <= (room - 1) / 2)
        written = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<LPCWSTR>(line), static_cast<int>(length), bytes,
                                      static_cast<int>(room - 1), NULL, NULL);
    bytes[written > 0 ? written : 0] = '\0';
    return quoteDepth(quoteMarkers, bytes, false);
}

// ---- colouring the lines an edit touched ----

// What an edit did to the text, as far as the colours care: the positions
// it put in, whether it may also have taken text out (which can join the
// rests of two lines into one), and where the caret stands after it when
// the edit was typing (-1 otherwise), whose line is then remembered.
struct EditedText {
    long insertedFrom, insertedTo;
    bool removed;
    long caret;
    bool wholeLines;   // every line read whole: an undo may restore formats around what it changed
};

// Whether the line [from, to) is all in `wanted`. Every line was one colour
// before the edit, so what the edit did not put in came from one line, or
// from two when text was taken out: the line's first character begins the
// one and its last character ends the other. Those and the inserted text
// tell the whole line.
static bool lineHasColor(LiveControl* live, long from, long to, const EditedText& edit, long wanted)
{
    if (edit.wholeLines)
        return colorOf(live, from, to) == wanted;
    const long a = edit.insertedFrom > from ? edit.insertedFrom : from;
    const long b = edit.insertedTo < to ? edit.insertedTo : to;
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
    long from, to;
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
static void checkLine(LiveControl* live, unsigned depth, long from, long to, const EditedText& edit,
                      PendingColor* pending)
{
    if (from >= to)
        return;   // an empty line has nothing to colour
    const COLORREF wanted = rgbOnly(lineColorForDepth(depth));
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

static void rememberTypedLine(LiveControl* live, const char16_t* line, long start, size_t length, unsigned depth)
{
    live->typed.known = length < TYPED_LINE_ROOM;
    if (!live->typed.known)
        return;
    memcpy(live->typed.text, line, length * sizeof(char16_t));
    live->typed.start = start;
    live->typed.length = static_cast<long>(length);
    live->typed.depth = depth;
}

// Colours the lines of text[0, length), which begins at position start.
static void colorWindow(LiveControl* live, const char16_t* text, size_t length, long start, const EditedText& edit)
{
    if (length > (SIZE_MAX - 1) / 2)
        return;
    const size_t room = length * 2 + 1;
    char* bytes = static_cast<char*>(malloc(room));
    if (!bytes)
        return;
    PendingColor pending = {0, 0, 0, false};
    size_t next = 0;
    TextLine line;
    while (nextTextLine(text, length, &next, &line)) {
        const long from = start + static_cast<long>(line.start);
        const long to = from + static_cast<long>(line.length);
        const unsigned depth = depthOfLine(text + line.start, line.length, bytes, room);
        checkLine(live, depth, from, to, edit, &pending);
        if (edit.caret > from && edit.caret <= to)
            rememberTypedLine(live, text + line.start, from, line.length, depth);
    }
    flushPending(live, &pending);
    free(bytes);
}

// Every line that holds a position of [from, to] is given its colour; with
// `inserted` the edit put [from, to) in, and all of it is looked at, and
// with `removed` it may also have taken text out. The text around is read
// to find where those lines begin and end.
static void colorLinesLive(LiveControl* live, int64_t from, int64_t to, bool inserted, bool removed,
                           long caret = -1, bool wholeLines = false)
{
    const long textEnd = storyLength(live);
    live->knownLength = textEnd;
    live->checked.known = false;
    live->typed.known = false;
    const long first = clampPosition(from, textEnd);
    const long last = clampPosition(to < first ? first : to, textEnd);
    ++live->busy;
    for (int64_t reach = FIRST_REACH;; reach *= 4) {
        const long a = clampPosition(first - reach, textEnd);
        const long b = clampPosition(last + reach, textEnd);
        BSTR window = NULL;
        const size_t length = readRange(live, a, b, &window);
        const char16_t* text = unitsOf(window);
        const ParagraphBounds bounds = paragraphBounds(text, length, static_cast<size_t>(first - a),
                                                       static_cast<size_t>(last - a));
        const bool whole = (bounds.startFound || a == 0) && (bounds.endFound || b == textEnd);
        const EditedText edit = {inserted ? first : 0, inserted ? last : 0, removed, caret, wholeLines};
        if (whole && text) {
            colorWindow(live, text + bounds.start, bounds.end - bounds.start, a + static_cast<long>(bounds.start),
                        edit);
            // A paint reads what is kept here again; a long text is left to
            // the paint to take around the selection.
            if (length <= CHECKED_ROOM)
                live->checked = CheckedText{a, a + static_cast<long>(length), textChecksum(text, length), true};
        }
        if (window)
            freeString(window);
        if (whole || !window)
            break;
    }
    --live->busy;
}

void recolorLive(HWND control)
{
    LiveControl* live = liveControlOf(control);
    if (live)
        colorLinesLive(live, 0, INT64_MAX, false, false);
}

void recolorLiveSelection(HWND control)
{
    LiveControl* live = liveControlOf(control);
    if (!live)
        return;
    const Span selection = selectionOf(live);
    const bool whole = selection.from == selection.to;
    colorLinesLive(live, whole ? 0 : selection.from, whole ? INT64_MAX : selection.to, true, true);
}

// ---- proving that the control keeps colours out of its undo ----

static bool bindStringFunctions()
{
    if (freeString && stringLength)
        return true;
    HMODULE automation = LoadLibraryA("oleaut32.dll");
    if (!automation)
        return false;
    FreeStringFn freeFn = reinterpret_cast<FreeStringFn>(reinterpret_cast<void (*)()>(GetProcAddress(automation, "SysFreeString")));
    StringLengthFn lengthFn = reinterpret_cast<StringLengthFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(automation, "SysStringLen")));
    if (!freeFn || !lengthFn)
        return false;
    freeString = freeFn;
    stringLength = lengthFn;
    return true;
}

static ITextDocument* documentOf(HWND control)
{
    IUnknown* ole = NULL;
    if (!SendMessageA(control, EM_GETOLEINTERFACE, 0, reinterpret_cast<LPARAM>(&ole)) || !ole)
        return NULL;
    ITextDocument* document = NULL;
    if (FAILED(ole->QueryInterface(TEXT_DOCUMENT_IID, reinterpret_cast<void**>(&document))))
        document = NULL;
    ole->Release();
    return document;
}

// A hidden control of each rich edit class the compose window uses, made
// once and kept for the proofs, so that they never touch the user's text or
// undo history.
struct ProofControl {
    char className[32];
    HWND control;
};
static const int MAX_PROOF_CLASSES = 4;
static ProofControl proofControls[MAX_PROOF_CLASSES];

static HWND proofControlLike(HWND control)
{
    char className[32] = "";
    if (!GetClassNameA(control, className, sizeof className))
        return NULL;
    for (ProofControl& proof : proofControls) {
        if (proof.control && strcmp(proof.className, className) == 0)
            return proof.control;
    }
    for (ProofControl& proof : proofControls) {
        if (proof.control)
            continue;
        HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(control, GWLP_HINSTANCE));
        proof.control = CreateWindowExA(0, className, "", WS_POPUP, 0, 0, 200, 40, NULL, NULL, instance, NULL);
        if (proof.control)
            memcpy(proof.className, className, sizeof className);
        return proof.control;
    }
    return NULL;
}

void releaseLiveChangeProofs()
{
    for (ProofControl& proof : proofControls) {
        if (proof.control)
            DestroyWindow(proof.control);
        proof = ProofControl{};
    }
}

// No return code proves anything here: Microsoft documents no answer for
// tomSuspend and tomResume, nor which versions honour them, and a document
// that takes them for ordinary counts answers a success code too. So a
// colour is really changed and put back with undo suspended, on a control
// that had nothing to undo, and must leave it with nothing to undo; then,
// resumed, a typed character must be undoable again.
static bool suspensionHoldsIn(HWND scratch, ITextDocument* document)
{
    ITextRange* range = NULL;
    ITextFont* font = NULL;
    if (FAILED(document->Range(0, 1, &range)) || !range || FAILED(range->GetFont(&font)) || !font) {
        if (range)
            range->Release();
        return false;
    }
    long original = tomUndefined;
    font->GetForeColor(&original);
    const long changed = original == RGB(0xC0, 0, 0) ? RGB(0, 0, 0xC0) : RGB(0xC0, 0, 0);
    long seen = tomUndefined;
    bool holds = false;
    if (SUCCEEDED(document->Undo(tomSuspend, NULL))) {
        font->SetForeColor(changed);
        font->GetForeColor(&seen);
        font->SetForeColor(original);
        holds = seen == changed && !SendMessageA(scratch, EM_CANUNDO, 0, 0);
    }
    document->Undo(tomResume, NULL);
    font->Release();
    range->Release();
    if (!holds)
        return false;
    SendMessageA(scratch, EM_SETSEL, 2, 2);
    SendMessageA(scratch, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("x"));
    return SendMessageA(scratch, EM_CANUNDO, 0, 0) != 0;
}

static bool suspensionHolds(HWND control)
{
    HWND scratch = proofControlLike(control);
    if (!scratch)
        return false;
    SendMessageA(scratch, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("ab"));
    SendMessageA(scratch, EM_EMPTYUNDOBUFFER, 0, 0);
    if (SendMessageA(scratch, EM_CANUNDO, 0, 0))
        return false;
    ITextDocument* document = documentOf(scratch);
    if (!document)
        return false;
    const bool holds = suspensionHoldsIn(scratch, document);
    document->Release();
    return holds;
}

static void releaseInterfaces(ITextDocument* document, ITextSelection* selection, ITextRange* probe,
                              ITextFont* probeFont)
{
    if (probeFont)
        probeFont->Release();
    if (probe)
        probe->Release();
    if (selection)
        selection->Release();
    if (document)
        document->Release();
}

void attachLiveChange(HWND control)
{
    if (!settings.liveChange || !settings.sendQuoteColoring || liveControlOf(control))
        return;
    LiveControl* slot = NULL;
    for (LiveControl& live : liveControls)
        if (!live.control && !slot)
            slot = &live;
    if (!slot || !bindStringFunctions())
        return;
    ITextDocument* document = documentOf(control);
    if (!document)
        return;
    ITextSelection* selection = NULL;
    ITextRange* probe = NULL;
    ITextFont* probeFont = NULL;
    const bool usable = SUCCEEDED(document->GetSelection(&selection)) && selection &&
                        SUCCEEDED(document->Range(0, 0, &probe)) && probe && SUCCEEDED(probe->GetFont(&probeFont)) &&
                        probeFont && suspensionHolds(control);
    if (!usable) {
        releaseInterfaces(document, selection, probe, probeFont);
        return;
    }
    *slot = LiveControl{};
    slot->control = control;
    slot->document = document;
    slot->selection = selection;
    slot->probe = probe;
    slot->probeFont = probeFont;
    slot->knownLength = storyLength(slot);
    ++liveControlCount;
}

static void detachLiveChange(LiveControl* live)
{
    if (live->edit.text)
        freeString(live->edit.text);
    releaseInterfaces(live->document, live->selection, live->probe, live->probeFont);
    *live = LiveControl{};
    --liveControlCount;
}

// ---- following the control ----

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

// Keys and clicks mostly move the caret: without a selection before them
// they are looked at only when the text's length changed.
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

// Keys that only move the caret or copy the selection.
static bool onlyMovesOrCopies(UINT message, WPARAM key)
{
    if (message != WM_KEYDOWN)
        return false;
    switch (key) {
    case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN: case VK_HOME: case VK_END: case VK_PRIOR: case VK_NEXT:
    case VK_SHIFT: case VK_CONTROL: case VK_MENU:
        return true;
    case 'C': case VK_INSERT:   // Ctrl+C and Ctrl+Insert; Shift+Insert pastes
        return GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_SHIFT) >= 0;
    default:
        return false;
    }
}

// Any other key or click with a selection before it may change the text
// while keeping its length (Enter or Ctrl+V over one character), and a
// press inside a selection may start a drag that moves it, which lands
// anywhere.
static bool mayChangeAnywhere(UINT message, WPARAM wParam, const Span& selection)
{
    return mostlyNavigates(message) && selection.from < selection.to && !onlyMovesOrCopies(message, wParam);
}

// A character typed at the caret on the remembered line, after its first
// character: one byte that is a character of its own.
static bool typedOnRememberedLine(LiveControl* live, const PendingEdit& edit)
{
    const TypedLine& line = live->typed;
    const WPARAM c = edit.wParam;
    return edit.message == WM_CHAR && line.known && !live->leadBytePending &&
           edit.selectionFrom == edit.selectionTo &&
           edit.selectionFrom > line.start && edit.selectionFrom <= line.start + line.length &&
           static_cast<size_t>(line.length) + 1 < TYPED_LINE_ROOM && c >= 0x20 && c <= 0xFF && c != 0x7F &&
           !isLeadByte(systemDbcsTable(), static_cast<unsigned char>(c));
}

// After a keystroke on the remembered line: when the control took exactly
// that character and the line keeps its depth, the line is right as it
// stands, and nothing need be read. False sends the edit the long way.
static bool followTyping(LiveControl* live, const PendingEdit& edit, const Span& after, long length)
{
    TypedLine& line = live->typed;
    if (length != edit.length + 1 || after.from != edit.selectionFrom + 1 || after.to != after.from)
        return false;
    const char byte = static_cast<char>(edit.wParam);
    wchar_t unit = 0;
    if (MultiByteToWideChar(CP_ACP, 0, &byte, 1, &unit, 1) != 1)
        return false;
    char16_t typed[TYPED_LINE_ROOM];
    const size_t at = static_cast<size_t>(edit.selectionFrom - line.start);
    memcpy(typed, line.text, at * sizeof(char16_t));
    typed[at] = static_cast<char16_t>(unit);
    memcpy(typed + at + 1, line.text + at, (static_cast<size_t>(line.length) - at) * sizeof(char16_t));
    char bytes[TYPED_LINE_ROOM * 2 + 1];
    if (depthOfLine(typed, static_cast<size_t>(line.length) + 1, bytes, sizeof bytes) != line.depth)
        return false;
    memcpy(line.text, typed, (static_cast<size_t>(line.length) + 1) * sizeof(char16_t));
    ++line.length;
    live->knownLength = length;
    live->checked.known = false;
    return true;
}

// The whole text, read before and after the step, tells what it changed;
// without either, every line is looked at.
static void followWholeText(LiveControl* live, BSTR before)
{
    TouchedSpan span = {0, INT64_MAX};
    BSTR after = NULL;
    const size_t afterLength = before ? readWholeText(live, &after) : 0;
    if (before && after)
        span = changedSpan(unitsOf(before), stringLength(before), unitsOf(after), afterLength);
    if (after)
        freeString(after);
    // An undo may also give back formats beside what it changed (Wine's
    // rejoins a line's runs as they were before a break was put in), so the
    // lines around are read whole too.
    colorLinesLive(live, span.from - FIRST_REACH, span.to + FIRST_REACH, true, true, -1, true);
}

static void followAtSelection(LiveControl* live, const PendingEdit& edit, const Span& after, long length)
{
    const long growth = length - edit.length;
    if (growth == 0 && mostlyNavigates(edit.message))
        return;   // a caret move: a key or a click with a selection before it is judged by the whole text
    if (edit.message == EM_STREAMIN && !(edit.wParam & SFF_SELECTION)) {
        colorLinesLive(live, 0, INT64_MAX, true, true);
        return;
    }
    const TouchedSpan span = touchedSpan(edit.selectionFrom, after.from, after.to, growth, true);
    const bool typing = edit.message == WM_CHAR && after.from == after.to;
    // At the selection, an edit took out what it did not add to the length.
    colorLinesLive(live, span.from, span.to, true, span.to - span.from > growth, typing ? after.from : -1);
}

static uint32_t checksumOf(LiveControl* live, long from, long to)
{
    BSTR text = NULL;
    const size_t units = readRange(live, from, to, &text);
    const uint32_t checksum = textChecksum(unitsOf(text), units);
    if (text)
        freeString(text);
    return checksum;
}

// Text can change without a message through this hook (a drop from another
// program, say). Before a paint, a length that moved has the lines around
// the selection looked at; a text that the last colouring or paint looked
// at, and whose checksum has moved since, has its lines looked at again.
// Otherwise the text around the selection is taken for the next paint.
// Only that much is read: the whole text, read at every paint, would cost
// more than the keystroke itself.
static void catchUp(LiveControl* live)
{
    const long length = storyLength(live);
    if (length != live->knownLength) {
        const Span selection = selectionOf(live);
        const TouchedSpan span =
            touchedSpan(selection.from, selection.from, selection.to, length - live->knownLength, false);
        colorLinesLive(live, span.from, span.to, true, true);
        return;
    }
    const CheckedText& checked = live->checked;
    if (checked.known) {
        if (checksumOf(live, checked.from, checked.to) != checked.checksum)
            colorLinesLive(live, checked.from, checked.to, true, true);
        return;
    }
    const Span selection = selectionOf(live);
    const long from = clampPosition(static_cast<int64_t>(selection.from) - FIRST_REACH, length);
    const long to = clampPosition(static_cast<int64_t>(selection.to) + FIRST_REACH, length);
    live->checked = CheckedText{from, to, checksumOf(live, from, to), true};
}

// Messages that are no edit but still concern the live colours.
static void noteMessage(LiveControl* live, UINT message)
{
    switch (message) {
    case WM_IME_STARTCOMPOSITION:
        live->composing = true;
        live->composedFrom = selectionOf(live).from;
        live->typed.known = false;
        break;
    case WM_PAINT:
        if (!live->composing)
            catchUp(live);
        break;
    case EM_SETCHARFORMAT: case WM_SETFONT:
        live->typed.known = false;   // what the next character typed looks like may change
        break;
    }
}

bool liveBeforeMessage(HWND control, UINT message, WPARAM wParam, LPARAM)
{
    LiveControl* live = liveControlOf(control);
    if (!live)
        return false;
    if (message == WM_DESTROY) {
        detachLiveChange(live);
        return false;
    }
    if (!liveColoring(control) || live->busy)
        return false;
    if (message == WM_IME_ENDCOMPOSITION && live->composing) {
        live->edit = PendingEdit{message, wParam, FOLLOW_COMPOSITION, 0, 0, 0, NULL};
        ++live->busy;
        return true;
    }
    if (live->composing || !messageMayEditText(message)) {
        noteMessage(live, message);
        return false;
    }
    const Span selection = selectionOf(live);
    PendingEdit edit = {message, wParam, FOLLOW_SELECTION, selection.from, selection.to, storyLength(live), NULL};
    if (undoesOrRedoes(message, wParam) || mayChangeAnywhere(message, wParam, selection)) {
        edit.kind = FOLLOW_WHOLE_TEXT;
        readWholeText(live, &edit.text);
    }
    live->edit = edit;
    ++live->busy;
    return true;
}

void liveAfterMessage(HWND control)
{
    LiveControl* live = liveControlOf(control);
    if (!live || live->busy <= 0)
        return;
    --live->busy;
    PendingEdit& edit = live->edit;
    BSTR before = edit.text;
    edit.text = NULL;
    if (edit.kind == FOLLOW_WHOLE_TEXT) {
        followWholeText(live, before);
        if (before)
            freeString(before);
        return;
    }
    const Span after = selectionOf(live);
    if (edit.kind == FOLLOW_COMPOSITION) {
        live->composing = false;
        colorLinesLive(live, live->composedFrom < after.from ? live->composedFrom : after.from, after.to, true, true);
        return;
    }
    const long length = storyLength(live);
    const bool typed = typedOnRememberedLine(live, edit) && followTyping(live, edit, after, length);
    if (edit.message == WM_CHAR)
        live->leadBytePending = !live->leadBytePending && edit.wParam <= 0xFF &&
                                isLeadByte(systemDbcsTable(), static_cast<unsigned char>(edit.wParam));
    if (!typed)
        followAtSelection(live, edit, after, length);
}

// A reply set whole comes in one colour: each line's ends tell its colour.
// Coloured now, or (a long one) only noted, for the timer's tick to colour
// where it stands by then.
void liveTextSet(HWND control, bool colorNow)
{
    LiveControl* live = liveControlOf(control);
    if (!live)
        return;
    if (colorNow) {
        colorLinesLive(live, 0, INT64_MAX, false, false);
        return;
    }
    live->knownLength = storyLength(live);
    live->checked.known = false;
    live->typed.known = false;
}
