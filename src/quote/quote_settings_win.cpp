// The quote-marker list in use and its working buffers.
#include <stdlib.h>
#include "quote/quote_markers.h"

QuoteMarkers quoteMarkers;

void releaseQuoteMarkers(QuoteMarkers& markers)
{
    free(markers.list);
    free(markers.scratch);
    free(markers.escaped);
    markers = QuoteMarkers();
}

// Both buffers are sized from the length of the whole list, so that every
// marker's compared form fits.
int allocateQuoteMarkers(QuoteMarkers& markers, size_t length)
{
    releaseQuoteMarkers(markers);
    markers.list = static_cast<char*>(calloc(length + 1, 1));
    markers.scratch = static_cast<char*>(calloc(length + 1, 1));
    markers.escaped = static_cast<char*>(calloc(length * 4 + 11, 1));
    if (!markers.list || !markers.scratch || !markers.escaped) {
        releaseQuoteMarkers(markers);
        return 0;
    }
    markers.scratchSize = length + 1;
    markers.escapedSize = length * 4 + 11;
    return 1;
}

void applyQuoteMarkers(QuoteMarkers& markers, int ignoreLeadingSpaces, int ignoreColumn)
{
    QuoteMatcher& m = markers.matcher;
    m.markers = markers.list;
    m.ignoreLeadingSpaces = ignoreLeadingSpaces;
    m.ignoreColumn = ignoreColumn;
    m.scratch = markers.scratch;
    m.scratchSize = markers.scratchSize;
    m.escaped = markers.escaped;
    m.escapedSize = markers.escapedSize;
    m.forms = &markers.forms;
    prepareQuoteMarkers(m, &markers.forms);
}

unsigned quoteDepth(const char* text, bool escaped)
{
    return quoteDepth(quoteMarkers.matcher, text, escaped);
}
