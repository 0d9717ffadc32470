// The quote-marker list in use, owned by quote matching: the list, its two
// working buffers, the compared forms built into them and the matcher over
// them, all set whenever a list is read or applied and used as they stand by
// the viewer and the compose window alike.
#pragma once
#include <cstddef>
#include "quote/quote_depth.h"

struct QuoteMarkers {
    char* list;                      // heap; null when its buffers could not be had
    char* scratch;
    size_t scratchSize;
    char* escaped;
    size_t escapedSize;
    QuoteMarkerForms forms;
    QuoteMatcher matcher;
};

extern QuoteMarkers quoteMarkers;

// An empty list of room for length bytes with its working buffers. If any of
// them cannot be had, none is kept and 0 is returned: a null list matches
// nothing.
int allocateQuoteMarkers(QuoteMarkers& markers, size_t length);
void releaseQuoteMarkers(QuoteMarkers& markers);
// Builds the compared forms of markers.list and the matcher that uses them,
// under the space and column rules; called once the list's text is in place.
void applyQuoteMarkers(QuoteMarkers& markers, int ignoreLeadingSpaces, int ignoreColumn);

// Quote depth of a line under the list in use.
unsigned quoteDepth(const char* text, bool escaped);
