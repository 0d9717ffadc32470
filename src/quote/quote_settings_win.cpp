// Quote depth under the current settings and the shared working buffers.
#include "quote/quote_depth.h"
#include "shell/plugin_state.h"

QuoteMatcher currentQuoteMatcher()
{
    QuoteMatcher m;
    m.markers = settings.quoteMarkers;
    m.ignoreLeadingSpaces = settings.ignoreLeadingSpaces;
    m.ignoreColumn = settings.ignoreColumn;
    m.scratch = state.markerScratch;
    m.scratchSize = state.markerScratchSize;
    m.escaped = state.markerEscaped;
    m.escapedSize = state.markerEscapedSize;
    return m;
}

unsigned quoteDepth(const char* text, bool escaped)
{
    return quoteDepth(currentQuoteMatcher(), text, escaped);
}
