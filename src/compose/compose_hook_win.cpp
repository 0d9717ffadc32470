// The compose window's rich edit control hook. Every message to the control
// comes here first; each case below hands it to a small handler, and every
// message but the background erase and a Tab typed as spaces then reaches the
// control's own procedure.
#include "compose/compose.h"
#include "shell/exports.h"

ComposeState compose;

void releaseComposeResources()
{
    if (compose.rulerFont) {
        DeleteObject(compose.rulerFont);
        compose.rulerFont = NULL;
    }
    free(compose.conversionBuffer);
    compose.conversionBuffer = NULL;
    free(compose.pendingText);
    compose.pendingText = NULL;
    compose.pendingControl = NULL;
    releaseLiveChangeProofs();
}

// The RichEdit 2.0 control's own timers that keep running when flicker
// suppression is on; any other timer of the control only makes it repaint
// over the ruler.
static const UINT_PTR KEPT_RICHEDIT20_TIMERS[] = {1, 431, 433, 435};

HUESCOPE_EXPORT int WINAPI ZekSendCreate(HWND window)
{
    bool version20 = false;
    HWND control = findRichEdit(window, &version20);
    // A control already hooked (the host handed the same window again) keeps
    // the procedure saved for it.
    if (!control || !hookControl(&compose.controls, control, composeWindowProc, version20))
        return 0;
    attachLiveChange(control);
    createRulerFont(control);
    return 1;
}

LRESULT passToControl(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    return passToSaved(&compose.controls, control, message, wParam, lParam);
}

bool isRichEdit20(HWND control)
{
    const HookedControl* hooked = hookedControl(&compose.controls, control);
    if (hooked)
        return hooked->isRichEdit20;
    char className[32] = "";
    GetClassNameA(control, className, 28);
    return isRichEdit20Class(className);
}

// Colour only: every other member of the format stays zero, so the rest of
// the selection's format is left as it is.
void setSelectionColor(HWND control, COLORREF color)
{
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.crTextColor = rgbOnly(color);
    SendMessageA(control, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}

void resetTypingColor(HWND control)
{
    setSelectionColor(control, settings.editorTextColor);
}

void suppressRichEditTimers(HWND control, WPARAM timerId)
{
    if (!settings.suppressFlicker || !isRichEdit20(control))
        return;
    for (UINT_PTR kept : KEPT_RICHEDIT20_TIMERS)
        if (timerId == kept)
            return;
    KillTimer(control, timerId);
}

static LRESULT onSetFocus(HWND control, WPARAM wParam, LPARAM lParam)
{
    redrawRuler(control);
    return passToControl(control, WM_SETFOCUS, wParam, lParam);
}

// With live colours the reply is shown, coloured without a step of undo, and
// the undo buffer emptied, as without them; a long one is coloured on the
// timer's tick.
static LRESULT setTextLive(HWND control, WPARAM wParam, const char* text)
{
    const LRESULT result = passToControl(control, WM_SETTEXT, wParam, reinterpret_cast<LPARAM>(text));
    const bool later = coloredOnTick(strlen(text ? text : ""));
    liveTextSet(control, !later);
    if (later)
        SetTimer(control, RECOLOR_TIMER_ID, RECOLOR_DELAY_MS, NULL);
    else
        SendMessageA(control, EM_EMPTYUNDOBUFFER, 0, 0);
    return result;
}

static LRESULT onSetText(HWND control, WPARAM wParam, LPARAM lParam)
{
    const char* text = expandTabs(control, reinterpret_cast<const char*>(lParam));
    if (liveColoring(control))
        return setTextLive(control, wParam, text);
    if (settings.sendQuoteColoring)
        return colorSetText(control, wParam, text);
    return passToControl(control, WM_SETTEXT, wParam, reinterpret_cast<LPARAM>(text));
}

static LRESULT onPaint(HWND control, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = passToControl(control, WM_PAINT, wParam, lParam);
    redrawMarginLine(control);
    if (isRichEdit20(control))
        redrawRuler(control);
    return result;
}

// The control never erases its own background: the plug-in paints it in the
// editor's colour, so that the ruler strip above the text has it too.
static LRESULT onEraseBackground(HWND control, HDC dc)
{
    RECT client;
    GetClientRect(control, &client);
    HBRUSH brush = CreateSolidBrush(rgbOnly(settings.editorBackColor));
    if (brush) {
        FillRect(dc, &client, brush);
        DeleteObject(brush);
    }
    redrawRuler(control);
    return 1;
}

static LRESULT onSetRect(HWND control, WPARAM wParam, LPARAM lParam)
{
    if (settings.showRuler && lParam)
        adjustFormatRect(reinterpret_cast<RECT*>(lParam));
    return passToControl(control, EM_SETRECT, wParam, lParam);
}

static LRESULT onReplaceSel(HWND control, WPARAM wParam, LPARAM lParam)
{
    const char* text = expandTabs(control, reinterpret_cast<const char*>(lParam));
    // Live colours follow the replacement like any other edit.
    if (settings.sendQuoteColoring && !liveColoring(control))
        return colorReplaceSel(control, wParam, text);
    return passToControl(control, EM_REPLACESEL, wParam, reinterpret_cast<LPARAM>(text));
}

static LRESULT onPosFromChar(HWND control, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = passToControl(control, EM_POSFROMCHAR, wParam, lParam);
    if (settings.showRuler)
        redrawRuler(control);
    return result;
}

// The reset is sent, not applied directly, so it passes the colour tracking
// like any other format; it equals editorTextColor and so changes nothing.
// Live colours need no reset, and leave the typing group whole.
static LRESULT onKeyDown(HWND control, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = passToControl(control, WM_KEYDOWN, wParam, lParam);
    if (wParam == VK_RETURN && !liveColoring(control))
        resetTypingColor(control);
    return result;
}

static LRESULT onChar(HWND control, WPARAM wParam, LPARAM lParam)
{
    if (wParam == '\t' && settings.tabKeyToSpaces)
        return typeTabAsSpaces(control);
    return passToControl(control, WM_CHAR, wParam, lParam);
}

static LRESULT onTimer(HWND control, WPARAM timerId, LPARAM lParam)
{
    if (timerId == RECOLOR_TIMER_ID && liveColoring(control)) {
        KillTimer(control, RECOLOR_TIMER_ID);
        recolorLive(control);
    } else if (timerId == RECOLOR_TIMER_ID) {
        finishDeferredColoring(control);
    }
    if (!settings.showRuler)
        return passToControl(control, WM_TIMER, timerId, lParam);
    suppressRichEditTimers(control, timerId);
    LRESULT result = passToControl(control, WM_TIMER, timerId, lParam);
    redrawRuler(control);
    return result;
}

static LRESULT onPasteSpecial(HWND control, WPARAM wParam, LPARAM lParam)
{
    if (liveColoring(control))
        return livePaste(control, wParam, lParam);
    if (settings.sendQuoteColoring && settings.colorOnPaste)
        return colorPaste(control, wParam, lParam);
    return passToControl(control, EM_PASTESPECIAL, wParam, lParam);
}

// Whatever wParam asks for, the colour given is the one the erase uses.
static LRESULT onSetBackgroundColor(HWND control, WPARAM wParam, LPARAM lParam)
{
    settings.editorBackColor = static_cast<COLORREF>(lParam);
    return passToControl(control, EM_SETBKGNDCOLOR, wParam, lParam);
}

// The host's own format changes keep the plug-in's idea of the editor's text
// colour and font current. A quote colour (each level's too, when the levels
// are used) is never taken for the text colour: the plug-in's own colouring
// sends it.
static LRESULT onSetCharFormat(HWND control, WPARAM wParam, LPARAM lParam)
{
    const CHARFORMATA* format = reinterpret_cast<const CHARFORMATA*>(lParam);
    if (format && format->cbSize >= sizeof(CHARFORMATA)) {
        if ((format->dwMask & CFM_COLOR) && !isQuoteColor(format->crTextColor))
            settings.editorTextColor = format->crTextColor;
        if (settings.marginColumn > 0 || settings.showRuler)
            trackEditorFont(control, format);
    }
    return passToControl(control, EM_SETCHARFORMAT, wParam, lParam);
}

static LRESULT dispatchComposeMessage(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SETFOCUS:      return onSetFocus(control, wParam, lParam);
    case WM_SETTEXT:       return onSetText(control, wParam, lParam);
    case WM_PAINT:         return onPaint(control, wParam, lParam);
    case WM_ERASEBKGND:    return onEraseBackground(control, reinterpret_cast<HDC>(wParam));
    case EM_SETRECT:       return onSetRect(control, wParam, lParam);
    case EM_REPLACESEL:    return onReplaceSel(control, wParam, lParam);
    case EM_POSFROMCHAR:   return onPosFromChar(control, wParam, lParam);
    case WM_KEYDOWN:       return onKeyDown(control, wParam, lParam);
    case WM_CHAR:          return onChar(control, wParam, lParam);
    case WM_TIMER:         return onTimer(control, wParam, lParam);
    case EM_PASTESPECIAL:  return onPasteSpecial(control, wParam, lParam);
    case EM_SETBKGNDCOLOR: return onSetBackgroundColor(control, wParam, lParam);
    case EM_SETCHARFORMAT: return onSetCharFormat(control, wParam, lParam);
    default:               return passToControl(control, message, wParam, lParam);
    }
}

// An edit made before a deferred colouring's tick has that colouring done
// first; live colours are told of each message before and after it. The
// control's entry goes with its last message.
LRESULT CALLBACK composeWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (messageMayEditText(message))
        colorBeforeEdit(control);
    const bool followed = liveBeforeMessage(control, message, wParam, lParam);
    const LRESULT result = dispatchComposeMessage(control, message, wParam, lParam);
    if (followed)
        liveAfterMessage(control);
    if (message == WM_NCDESTROY)
        forgetControl(&compose.controls, control);
    return result;
}
