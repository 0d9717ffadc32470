// Quote depth under the current settings and the shared working buffers.
#include "quote/quote_depth.h"
#include "shell/plugin_state.h"

// The prepared forms go along whenever there are any; the matcher itself
// checks that they were built from this list into these buffers, and builds
// them afresh per call otherwise.
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
    m.forms = &state.markerForms;
    return m;
}

void prepareCurrentQuoteMarkers()
{
    prepareQuoteMarkers(currentQuoteMatcher(), &state.markerForms);
}

unsigned quoteDepth(const char* text, bool escaped)
{
    return quoteDepth(currentQuoteMatcher(), text, escaped);
}
