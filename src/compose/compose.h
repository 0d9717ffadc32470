// The compose editor's Win32 operations, shared by its files.
#pragma once
#include "shell/plugin_state.h"
#include "settings/settings.h"

// The ruler's copy of the caret's line: up to 1 024 bytes read and more.
const size_t LINE_BUFFER_SIZE = 1027;

// What the compose window keeps between messages: the controls its hook
// serves (each with the procedure it passes messages on to and its
// version), the text the deferred colouring puts back, tab
// expansion's output, and the ruler's font, measurements and copy of the
// caret's line.
struct ComposeState {
    HookedControls controls;
    char* pendingText;      // a long reply as set, put back on its timer's tick
    HWND pendingControl;    // the control whose tick it waits for
    char* conversionBuffer;
    HFONT rulerFont;
    int rulerHeight;
    int editorCharWidth;
    char lineBuffer[LINE_BUFFER_SIZE];
};

extern ComposeState compose;

// Releases the buffers and the font; a second call releases nothing twice.
void releaseComposeResources();

const UINT_PTR RECOLOR_TIMER_ID = 101313;
const UINT RECOLOR_DELAY_MS = 100;

// compose hook
LRESULT CALLBACK composeWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
// Hands a message straight to the control's own procedure, bypassing the hook.
LRESULT passToControl(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
// Whether control is a RichEdit 2.0 one, as found when it was hooked.
bool isRichEdit20(HWND control);
// EM_SETCHARFORMAT on the selection with the colour only.
void setSelectionColor(HWND control, COLORREF color);
void resetTypingColor(HWND control);
void suppressRichEditTimers(HWND control, WPARAM timerId);

// tab conversion
const char* expandTabs(HWND control, const char* text);
LRESULT typeTabAsSpaces(HWND control);

// colouring
// The colour of a line of the given quote depth: the editor's text colour
// when unquoted, else the compose quote colour, or with sendColorByLevel the
// viewer's colour for the line's level.
COLORREF lineColorForDepth(unsigned depth);
// Whether a colour is one that the colouring gives quoted lines.
bool isQuoteColor(COLORREF color);
void colorLines(HWND control, const char* text, LONG start);
void reinsertSelection(HWND control, LONG cpMin, LONG cpMax);
int WINAPI recolorCommand(HWND window, int parameter);
// Whether a text of `length` bytes set whole is coloured on the timer's tick.
bool coloredOnTick(size_t length);
LRESULT colorSetText(HWND control, WPARAM wParam, const char* text);
void finishDeferredColoring(HWND control);
void colorBeforeEdit(HWND control);
LRESULT colorReplaceSel(HWND control, WPARAM wParam, const char* text);
LRESULT colorPaste(HWND control, WPARAM wParam, LPARAM lParam);
// The control's text length in its own positions.
int64_t textPositionCount(HWND control);
CHARRANGE readSelection(HWND control);
// position held within [0, textEnd].
LONG clampToText(int64_t position, LONG textEnd);

// live colours ([Send] LiveChange)
// Follows control from now on if the settings ask for it and the control
// proves that it keeps colours out of its undo.
void attachLiveChange(HWND control);
// Destroys the hidden controls the proofs were made on.
void releaseLiveChangeProofs();
// Whether control's colours follow its edits now.
bool liveColoring(HWND control);
// Messages after which the text may differ: typing, keys, clicks (a drag
// and drop), the input method, replace, clipboard, undo and redo.
bool messageMayEditText(UINT message);
// Told before each message to the control; true when the message is an edit
// being followed, which liveAfterMessage must then be told of once the
// control has handled it.
bool liveBeforeMessage(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
void liveAfterMessage(HWND control);
// The text was set whole: colour it now, or note it for the timer's tick.
void liveTextSet(HWND control, bool colorNow);
// Every line given its colour, outside the undo history.
void recolorLive(HWND control);
// The lines of the selection, or of the whole text when nothing is selected.
void recolorLiveSelection(HWND control);
LRESULT livePaste(HWND control, WPARAM wParam, LPARAM lParam);

// ruler and margin line
void measureEditorFont(HWND control);
void createRulerFont(HWND control);
void drawMarginLine(HWND control, HDC dc);
void drawRuler(HWND control, HDC dc);
void redrawMarginLine(HWND control);
void redrawRuler(HWND control);
void adjustFormatRect(RECT* rect);
void trackEditorFont(HWND control, const CHARFORMATA* format);

