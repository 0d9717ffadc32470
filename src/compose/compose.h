// The compose editor's Win32 operations, shared by its files.
#pragma once
#include "shell/plugin_state.h"
#include "settings/settings.h"

// The ruler's copy of the caret's line: up to 1 024 bytes read and more.
const size_t LINE_BUFFER_SIZE = 1027;

// What the compose window keeps between messages: the procedure its hook
// passes messages on to, the text the deferred colouring puts back, tab
// expansion's output, and the ruler's font, measurements and copy of the
// caret's line.
struct ComposeState {
    WNDPROC savedProc;
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
// What the hook does with a message, live colours aside.
LRESULT dispatchComposeMessage(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
// Hands a message straight to the control's own procedure, bypassing the hook.
LRESULT passToControl(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
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
// Follows control from now on if the settings ask for it and it can.
void attachLiveChange(HWND control);
// Whether control's colours follow its edits now.
bool liveColoring(HWND control);
// composeWindowProc for a followed control: the edit, then its lines coloured.
LRESULT liveComposeMessage(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
// Messages after which the text may differ: typing, keys, clicks (a drag
// and drop), the input method, replace, clipboard, undo and redo.
bool messageMayEditText(UINT message);
LRESULT liveSetText(HWND control, WPARAM wParam, const char* text);
// Colours the lines over [from, to], outside the undo history; with
// `inserted` every character of [from, to) is looked at, else only each
// line's ends (text that came in one colour).
void recolorLive(HWND control, int64_t from, int64_t to, bool inserted);
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

