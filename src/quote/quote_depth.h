// Quote markers at the start of a line, and how many of them stand in a row.
// One matcher serves plain text (the compose editor) and RTF (the viewer); for
// RTF each marker is compared in the form the host's RTF spells its bytes.
#pragma once
#include <cstddef>

struct QuoteMatcher {
    const char* markers;       // comma-separated list, NUL-terminated; null = empty list
    int ignoreLeadingSpaces;   // non-zero: spaces before the first marker are skipped
    int ignoreColumn;          // compared unsigned: 0 or negative = no limit
    char* scratch;  size_t scratchSize;   // working copy of the list, >= strlen(markers)+1
    char* escaped;  size_t escapedSize;   // compared form, >= 4*strlen(markers)+11
};

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
