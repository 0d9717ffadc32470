// Marker lists the fuzz targets choose from by one input byte: the shipped
// list, single markers, markers that are RTF syntax, a marker cut inside a
// double-byte character, a marker with a space, empty entries, no markers.
#pragma once

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
