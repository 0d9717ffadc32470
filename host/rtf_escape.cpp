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
