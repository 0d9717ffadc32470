// The viewer's rich edit control hook: the reading keys and the hand-over of
// every RTF stream-in to the recolouring callback.
#include "shell/exports.h"
#include "shell/plugin_state.h"
#include "viewer/viewer.h"
#include <imm.h>

ViewerState viewer = {HookedControls(), EDITSTREAM(), 1, RtfStreamState(), NULL, NULL};

// The host calls this once per viewer window, but a second call for a control
// that already carries the hook must not save the hook as its own successor:
// the control keeps the procedure saved the first time.
HUESCOPE_EXPORT void WINAPI ZekViewCreate(HWND window)
{
    bool isRichEdit20 = false;
    HWND control = findRichEdit(window, &isRichEdit20);
    if (control)
        hookControl(&viewer.controls, control, viewerWindowProc, isRichEdit20);
    applyFlatToolbar(window);
}

static LRESULT passOn(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    return passToSaved(&viewer.controls, control, message, wParam, lParam);
}

static void scrollOneLine(HWND control, WPARAM direction)
{
    SendMessageA(control, WM_VSCROLL, MAKEWPARAM(direction, 0), 0);
    SendMessageA(control, WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), 0);
}

// B pages down the way the host and the control already understand:
// Shift+Space, sent through the input queue so that it arrives as typed.
static void pressShiftSpace()
{
    keybd_event(VK_SHIFT, 0, 0, 0);
    keybd_event(VK_SPACE, 0, 0, 0);
    keybd_event(VK_SPACE, 0, KEYEVENTF_KEYUP, 0);
    keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
}

// With the input method open, a key press arrives as VK_PROCESSKEY and the
// key pressed is the input method's to tell.
static WPARAM pressedKey(HWND control, WPARAM key)
{
    return key == VK_PROCESSKEY ? ImmGetVirtualKey(control) : key;
}

// A reading key the input method had taken for the start of a word leaves
// no word behind.
static void cancelComposition(HWND control, WPARAM key)
{
    if (key != VK_PROCESSKEY)
        return;
    HIMC context = ImmGetContext(control);
    if (!context)
        return;
    ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
    ImmReleaseContext(control, context);
}

// Only the virtual key counts, so Shift, Ctrl and auto-repeat act alike;
// every other key, the input method's included, passes on as it came.
static LRESULT onKeyDown(HWND control, WPARAM key, LPARAM lParam)
{
    const WPARAM pressed = pressedKey(control, key);
    if (pressed != 'J' && pressed != 'K' && pressed != 'B')
        return passOn(control, WM_KEYDOWN, key, lParam);
    cancelComposition(control, key);
    if (pressed == 'B')
        pressShiftSpace();
    else
        scrollOneLine(control, pressed == 'J' ? SB_LINEDOWN : SB_LINEUP);
    return 1;
}

// The system still turns the consumed key presses into characters; they must
// not be typed into the message.
static LRESULT onChar(HWND control, WPARAM character, LPARAM lParam)
{
    WPARAM upper = (character >= 'a' && character <= 'z') ? character - ('a' - 'A') : character;
    if (upper == 'J' || upper == 'K' || upper == 'B')
        return 1;
    return passOn(control, WM_CHAR, character, lParam);
}

// Every stream-in is taken as RTF for the recolouring callback. A caller that
// hands over a record still holding our callback (it kept the record from a
// previous stream-in) must not make the callback its own host callback: the
// one saved before stays, or there is none and the callback delivers nothing.
// A stream is a new message, which starts outside its signature even when it
// brings no colour table, and with a line of its own.
static LRESULT onStreamIn(HWND control, WPARAM format, LPARAM lParam)
{
    EDITSTREAM* stream = reinterpret_cast<EDITSTREAM*>(lParam);
    viewer.stream = RtfStreamState();
    if ((settings.viewQuoteColoring || settings.viewHeaderColoring || settings.signatureChange)
        && stream) {
        EDITSTREAMCALLBACK hostCallback = viewer.savedStream.pfnCallback;
        if (stream->pfnCallback != streamCallback)
            hostCallback = stream->pfnCallback;
        viewer.savedStream = *stream;
        viewer.savedStream.pfnCallback = hostCallback;
        stream->pfnCallback = streamCallback;
    }
    return passOn(control, EM_STREAMIN, format, lParam);
}

LRESULT CALLBACK viewerWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        return onKeyDown(control, wParam, lParam);
    case WM_CHAR:
        return onChar(control, wParam, lParam);
    case EM_STREAMIN:
        return onStreamIn(control, wParam, lParam);
    case WM_NCDESTROY: {
        const LRESULT result = passOn(control, message, wParam, lParam);
        forgetControl(&viewer.controls, control);
        return result;
    }
    default:
        return passOn(control, message, wParam, lParam);
    }
}
