#include "rtf_escape.h"

#include <stdio.h>

static bool isShiftJisLeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::string hostRtfEscape(const std::string& text)
{
    std::string out;
    bool trail = false;
    for (unsigned char c : text) {
        const bool escapeTrail = trail;
        trail = !trail && isShiftJisLeadByte(c);
        if (c >= 0x80 || escapeTrail) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\'%02x", c);
            out += hex;
        } else if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string hostRtfBodyPiece(const std::string& line)
{
    return hostRtfEscape(line) + "\\par\r\n";
}

std::string hostRtfHeaderPiece(const char* label, const std::string& value)
{
    std::string piece = "\\plain\\fs20\\b ";
    piece += label;
    // The control words end at the first space; the second one is text.
    piece += "\\b0\\cf0  ";
    piece += hostRtfEscape(value);
    piece += "\r\n\\par ";
    return piece;
}
