// The quote matcher and the piece rewrite as entry points to call through,
// so that one test can run over both builds of them: the one the x86_64 DLL
// ships (vector searches) and the byte-by-byte one the i686 DLL ships.
#pragma once
#include "quote/quote_depth.h"
#include "viewer/rtf_recolor.h"

struct CoreFunctions {
    const char* name;
    int (*prepareQuoteMarkers)(const QuoteMatcher& m, QuoteMarkerForms* forms);
    int (*matchMarker)(const QuoteMatcher& m, const char* text, size_t* length, bool escaped);
    int (*matchMarkerAfterSpaces)(const QuoteMatcher& m, const char* text, size_t* advance,
                                  bool escaped);
    unsigned (*quoteDepth)(const QuoteMatcher& m, const char* text, bool escaped);
    int (*recolorRtfPiece)(char* buf, size_t cb, const ViewColoring& c, const QuoteMatcher& m,
                           int* colorTableBase, size_t* newLength);
};

// The core as linked: vector searches wherever the compiler has SSE2.
extern const CoreFunctions LINKED_CORE;
// The same sources compiled again without them (scalar_core.cpp).
extern const CoreFunctions SCALAR_CORE;
