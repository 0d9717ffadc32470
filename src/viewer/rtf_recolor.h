// Rewrite of one piece of the RTF the host streams into the message viewer:
// quoted lines get their level's colour, the Subject value the header colour,
// the signature (when set apart) its own colour, and the colour table gets
// those colours appended.
#pragma once
#include <cstddef>
#include <cstdint>

#include "quote/quote_depth.h"

struct ViewColoring {
    int quoteColoring, headerColoring, colorByLevel, quoteBold, quoteItalic;
    int levelRepeat;            // depths past 5 start again at level 1
    int signatureChange;        // the signature shown in signatureColor
    uint32_t headerColor;       // 0x00BBGGRR
    uint32_t levelColors[5];    // quote levels 1 to 5
    uint32_t signatureColor;
};

// buf holds cb bytes, normally a zero-terminated piece that begins a line.
// Returns 1 when the piece was rewritten (buf then holds the new
// zero-terminated piece and *newLength its strlen), 0 when it passes
// unchanged (buf untouched). *colorTableBase is read for the indexes and
// updated when a colour table is extended.
// *insideSignature says whether the message's signature separator has been
// seen: set at the separator, cleared by any piece that holds a colour table
// (a new message); the caller clears it where a stream starts.
int recolorRtfPiece(char* buf, size_t cb, const ViewColoring& c, const QuoteMarkers& m,
                    int* colorTableBase, int* insideSignature, size_t* newLength);

// What a stream carries from one piece to the next; all zero where a stream
// starts.
struct RtfStreamState {
    int insideSignature;   // as for recolorRtfPiece
    int lineGoesOn;        // the last piece was cut from a line the next one continues
};

// One piece as the host streams it: count is the host's count of the bytes
// it put in buf, which the control takes whatever they hold. A line longer
// than the control's buffer comes in several pieces: the host fills the
// buffer (cb - 1 bytes and the terminator) and goes on with the same line in
// the next call, cut at any byte. The pieces that go on with a line pass
// unchanged, as the first one does (it is too long to rewrite), and so does
// a piece holding a NUL byte; any other piece is a line of its own for
// recolorRtfPiece, ended at the count first.
int recolorStreamedPiece(char* buf, size_t cb, size_t count, const ViewColoring& c, const QuoteMarkers& m,
                         int* colorTableBase, RtfStreamState* stream, size_t* newLength);
