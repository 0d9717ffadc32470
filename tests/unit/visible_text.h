// Bytes shown readably in failure messages: control and high bytes as <XX>.
#pragma once
#include <string>

inline std::string visible(const std::string& s)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (unsigned char ch : s) {
        if (ch >= 0x20 && ch < 0x7F) {
            out += static_cast<char>(ch);
        } else {
            out += '<';
            out += hex[ch >> 4];
            out += hex[ch & 0xF];
            out += '>';
        }
    }
    return out + "\"";
}
