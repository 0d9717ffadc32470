// The quote matcher and the piece rewrite compiled a second time, with the
// byte-by-byte searches the i686 build takes (it has no SSE2), under names of
// their own, so that the unit tests check those paths on this machine too.
#include "core_variants.h"

#define HUESCOPE_SCALAR_SEARCH
#define prepareQuoteMarkers scalarPrepareQuoteMarkers
#define matchMarker scalarMatchMarker
#define matchMarkerAfterSpaces scalarMatchMarkerAfterSpaces
#define quoteDepth scalarQuoteDepth
#define recolorRtfPiece scalarRecolorRtfPiece

// The headers are in already, under the usual names; these are the renamed
// entry points the sources call before defining them.
int prepareQuoteMarkers(const QuoteMatcher& m, QuoteMarkerForms* forms);
unsigned quoteDepth(const QuoteMatcher& m, const char* text, bool escaped);

#include "../../src/quote/quote_depth.cpp"
#include "../../src/viewer/rtf_recolor.cpp"

#undef prepareQuoteMarkers
#undef matchMarker
#undef matchMarkerAfterSpaces
#undef quoteDepth
#undef recolorRtfPiece

#ifdef HUESCOPE_VECTOR_SEARCH
#error "the second build of the core must not use the vector searches"
#endif

const CoreFunctions SCALAR_CORE = {
    "byte-by-byte searches", scalarPrepareQuoteMarkers, scalarMatchMarker,
    scalarMatchMarkerAfterSpaces, scalarQuoteDepth, scalarRecolorRtfPiece,
};

const CoreFunctions LINKED_CORE = {
    "core as linked", prepareQuoteMarkers, matchMarker, matchMarkerAfterSpaces, quoteDepth,
    recolorRtfPiece,
};
