// Quote markers at the start of a line, and how many of them stand in a row.
// One matcher serves plain text (the compose editor) and RTF (the viewer); for
// RTF each marker is compared in the form the host's RTF spells its bytes.
#pragma once
#include <cstddef>
#include <cstdint>

// The compared forms of one marker list of one kind (plain text or RTF): all
// of them back to back in a working buffer, each ended by a NUL. Empty
// entries, and in RTF the entries that cannot be spelled there, are left out,
// so every form is non-empty. The order is the list's.
struct QuoteFormSet {
    const char* forms;
    size_t size;                // bytes used, the NULs included
};

// Both kinds, built once by prepareQuoteMarkers into the matcher's working
// buffers: the plain forms in scratch, the RTF forms in escaped.
struct QuoteMarkerForms {
    const char* list;          // the list they were built from; null = nothing built
    QuoteFormSet plain;
    QuoteFormSet escaped;
};

struct QuoteMatcher {
    const char* markers;       // comma-separated list, NUL-terminated; null = empty list
    int ignoreLeadingSpaces;   // non-zero: spaces before the first marker are skipped
    int ignoreColumn;          // compared unsigned: 0 or negative = no limit
    char* scratch;  size_t scratchSize;   // working buffer, >= strlen(markers)+1
    char* escaped;  size_t escapedSize;   // working buffer, >= 4*strlen(markers)+11
    // Forms prepared from markers into these buffers when the list was applied.
    // Null (or forms of another list or other buffers): they are built again
    // on every call, and forms that the build overwrites are dropped.
    QuoteMarkerForms* forms;
};

// Builds the compared forms of m.markers into m's working buffers. Returns 0,
// leaving forms->list null, when there is no list or a buffer is missing or
// smaller than its stated minimum; such a matcher matches nothing.
int prepareQuoteMarkers(const QuoteMatcher& m, QuoteMarkerForms* forms);

// Tries the markers in list order as a prefix of text; on the first match stores
// the number of text bytes it covered in *length and returns 1. Otherwise 0 and
// *length is left alone.
int matchMarker(const QuoteMatcher& m, const char* text, size_t* length, bool escaped);

// One marker at or after the start of text under the space and column rules.
// *advance must be 0 on entry for the first marker of a line, non-zero after
// that; on success it becomes spaces skipped plus marker length.
int matchMarkerAfterSpaces(const QuoteMatcher& m, const char* text, size_t* advance, bool escaped);

// Number of markers in succession at the start of a zero-terminated line.
unsigned quoteDepth(const QuoteMatcher& m, const char* text, bool escaped);

// The colour level, 1 to 5, of a quoted line of the given depth (1 or more):
// deeper lines keep level 5, or with repeatLevels start again at level 1.
unsigned levelForDepth(unsigned depth, int repeatLevels);
