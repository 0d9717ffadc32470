// How the host spells message text in the RTF it streams to the viewer.
// Platform-free, so that the native benchmarks and fuzz targets build the
// same pieces the stand-in host streams.
#pragma once
#include <string>

// Escapes Shift_JIS text for RTF: \'xx (lower-case hex) for both bytes of a
// double-byte character, the trail byte too when it is ASCII (the trail of
// "ソ" is a backslash, that of "｜" is 'b'), and for any other byte >= 0x80;
// a backslash or brace of the text escaped with a backslash.
std::string hostRtfEscape(const std::string& text);

// A body line as the host streams it: the escaped text and the paragraph mark.
std::string hostRtfBodyPiece(const std::string& line);

// A header line as the host streams it: "\plain", the label in bold, then
// control words ending at the first space with "\cf0" for the default
// colour, the escaped value, CR LF and the paragraph mark.
std::string hostRtfHeaderPiece(const char* label, const std::string& value);
