// The EDITSTREAM callback put in the host's place while a message is shown:
// the host fills the control's buffer with one piece of RTF (a line, or part
// of one too long for the buffer), and the piece is rewritten in that buffer
// before the control reads it.
#include "shell/plugin_state.h"
#include "viewer/rtf_recolor.h"
#include "viewer/viewer.h"

// Read afresh for every piece, so a change made in the options shows with the
// next message.
static ViewColoring currentViewColoring()
{
    ViewColoring c;
    c.quoteColoring = settings.viewQuoteColoring;
    c.headerColoring = settings.viewHeaderColoring;
    c.colorByLevel = settings.colorByLevel;
    c.quoteBold = settings.quoteBold;
    c.quoteItalic = settings.quoteItalic;
    c.levelRepeat = settings.levelRepeat;
    c.signatureChange = settings.signatureChange;
    c.headerColor = settings.headerColor;
    for (int k = 0; k < 5; ++k)
        c.levelColors[k] = settings.levelColors[k];
    c.signatureColor = settings.signatureColor;
    return c;
}

// The host's result goes back unchanged whatever happens to the piece; the
// count in *pcb is replaced only when the piece was rewritten. Without a host
// callback there is nothing to read: the stream ends empty.
DWORD CALLBACK streamCallback(DWORD_PTR cookie, LPBYTE buffer, LONG cb, LONG* pcb)
{
    EDITSTREAMCALLBACK host = viewer.savedStream.pfnCallback;
    if (!host || host == streamCallback) {
        if (pcb)
            *pcb = 0;
        return 0;
    }
    DWORD result = host(cookie, buffer, cb, pcb);
    if (!buffer || cb <= 0 || !pcb)
        return result;
    size_t newLength = 0;
    const size_t count = *pcb > 0 ? static_cast<size_t>(*pcb) : 0;
    if (recolorStreamedPiece(reinterpret_cast<char*>(buffer), static_cast<size_t>(cb), count,
                             currentViewColoring(), quoteMarkers, &viewer.colorTableBase,
                             &viewer.stream, &newLength))
        *pcb = static_cast<LONG>(newLength);
    return result;
}
