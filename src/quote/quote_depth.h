// Quote markers at the start of a line, and how many of them stand in a row.
// One value serves plain text (the compose editor) and RTF (the viewer); for
// RTF each marker is compared in the form the host's RTF spells its bytes.
#pragma once
#include <cstddef>
#include <cstdint>

// The compared forms of one marker list of one kind (plain text or RTF): all
// of them back to back, each ended by a NUL. Empty entries, and in RTF the
// entries that cannot be spelled there, are left out, so every form is
// non-empty. The order is the list's.
struct QuoteFormSet {
    char* forms;
    size_t size;                // bytes used, the NULs included
};

// The marker list in use with the rules it is matched under and its forms of
// both kinds, built once by prepareQuoteMarkers and then only read. A value
// without a list, or whose forms were never prepared, matches nothing.
struct QuoteMarkers {
    char* list;                 // comma-separated, NUL-terminated; heap
    size_t room;                // bytes the list may hold before its terminator
    int ignoreLeadingSpaces;    // non-zero: spaces before the first marker are skipped
    int ignoreColumn;           // compared unsigned: 0 or negative = no limit
    QuoteFormSet plain;         // heap of room + 1 bytes
    QuoteFormSet escaped;       // heap of 4 x room + 11 bytes
};

// The plug-in's list in use, read with the settings and set again by the
// Common page; the viewer and the compose window match against it.
extern QuoteMarkers quoteMarkers;

// Replaces markers with an empty list of room for length bytes, its forms'
// room sized from that length. If any block cannot be had none is kept and
// null is returned (the value then matches nothing); otherwise the list to
// fill in.
char* reserveQuoteList(QuoteMarkers& markers, size_t length);
void releaseQuoteMarkers(QuoteMarkers& markers);
// Builds the compared forms of markers.list into its room, under the space
// and column rules; called once the list's text is in place.
void prepareQuoteMarkers(QuoteMarkers& markers, int ignoreLeadingSpaces, int ignoreColumn);
// The three steps for a list given as text: at most length bytes of it, up
// to its first NUL. Returns 0 when the room could not be had.
int setQuoteMarkers(QuoteMarkers& markers, const char* text, size_t length, int ignoreLeadingSpaces,
                    int ignoreColumn);

// Tries the markers in list order as a prefix of text; on the first match stores
// the number of text bytes it covered in *length and returns 1. Otherwise 0 and
// *length is left alone.
int matchMarker(const QuoteMarkers& m, const char* text, size_t* length, bool escaped);

// One marker at or after the start of text under the space and column rules.
// *advance must be 0 on entry for the first marker of a line, non-zero after
// that; on success it becomes spaces skipped plus marker length.
int matchMarkerAfterSpaces(const QuoteMarkers& m, const char* text, size_t* advance, bool escaped);

// Number of markers in succession at the start of a zero-terminated line.
unsigned quoteDepth(const QuoteMarkers& m, const char* text, bool escaped);

// The colour level, 1 to 5, of a quoted line of the given depth (1 or more):
// deeper lines keep level 5, or with repeatLevels start again at level 1.
unsigned levelForDepth(unsigned depth, int repeatLevels);
