// What the viewer fuzz targets choose by input bytes.
#pragma once
#include <cstdint>

#include "viewer/rtf_recolor.h"

// Marker lists, by one input byte: the shipped list, single markers, markers
// that are RTF syntax, a marker cut inside a double-byte character, a marker
// with a space, empty entries, no markers.
static const char* const MARKER_LISTS[] = {
    ">,|,\x81\x84,\x81\x62,\x81\x74,\x81\xE2",
    ">",
    "\\",
    "{,>",
    ">,\x81",
    "\x81,>> ,\\'",
    "",
    ",,>,,",
};

// The viewer's switches from the low five bits of a flags byte: quote
// colouring, header colouring, colour by level, bold, italic; and from the
// low two bits of a keys byte: the signature set apart, the levels repeated
// past the fifth. The colours are the target's own choice.
inline ViewColoring coloringFromFlags(uint8_t flags, uint8_t keys)
{
    ViewColoring c{};
    c.quoteColoring = flags & 1;
    c.headerColoring = (flags >> 1) & 1;
    c.colorByLevel = (flags >> 2) & 1;
    c.quoteBold = (flags >> 3) & 1;
    c.quoteItalic = (flags >> 4) & 1;
    c.signatureChange = keys & 1;
    c.levelRepeat = (keys >> 1) & 1;
    return c;
}

// Bit 2 of the keys byte: the stream is already inside a signature.
inline int insideSignatureFromKeys(uint8_t keys)
{
    return (keys >> 2) & 1;
}
