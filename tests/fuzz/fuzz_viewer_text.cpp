// What the reader sees of hostile mail text in the viewer. The input is the
// text of one mail line; it is put into a piece the way the host writes one
// (escaped, as a body line or as the Subject header) and streamed as the
// host streams it: cb - 1 bytes a call, each rewritten in a heap block of
// exactly cb bytes. Whatever the rewrite does, the RTF must still show
// exactly that text, and its groups must still close: a brace or a paragraph
// mark in the wrong place, or in a cut escape, shows up here as lost or
// changed text.
// Input: [flags][list][cb] text
//   flags: bit 0 quote colouring, 1 header colouring, 2 colour by level,
//          3 bold, 4 italic, 5 ignore leading spaces, 6 the Subject line,
//          7 a colour table base of 9 instead of 2
//   list: low 3 bits pick a marker list, the next three are the keys of
//         fuzz_choices.h (signature set apart, levels repeated, inside the
//         signature already)
//   cb: the control's buffer is 30 + cb bytes
// CR, LF and NUL are left out of the text: the host splits lines at them.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "viewer/rtf_recolor.h"
#include "../../host/rtf_escape.h"
#include "fuzz_choices.h"

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The text an RTF reader shows for [p, end): control words (a backslash,
// letters, an optional number and the space that may end them) show
// nothing but "\par", a line break; "\'xx" is the byte xx; a backslash
// before any other character shows that character; braces open and close
// groups; raw CR and LF show nothing. *balanced: no group closed that was
// not open, and none left open.
std::string visibleText(const char* p, const char* end, bool* balanced)
{
    std::string out;
    long depth = 0;
    *balanced = true;
    while (p < end) {
        const char c = *p++;
        if (c == '\\') {
            if (p == end)
                break;
            if (isLetter(*p)) {
                const char* word = p;
                while (p < end && isLetter(*p))
                    ++p;
                const bool par = p - word == 3 && memcmp(word, "par", 3) == 0;
                if (p < end && *p == '-')
                    ++p;
                while (p < end && *p >= '0' && *p <= '9')
                    ++p;
                if (p < end && *p == ' ')
                    ++p;
                if (par)
                    out += '\n';
            } else if (*p == '\'') {
                const int high = end - p >= 3 ? hexValue(p[1]) : -1;
                const int low = end - p >= 3 ? hexValue(p[2]) : -1;
                if (high < 0 || low < 0)
                    __builtin_trap();   // the host always writes two digits
                out += static_cast<char>(high * 16 + low);
                p += 3;
            } else {
                out += *p++;
            }
        } else if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (--depth < 0)
                *balanced = false;
        } else if (c != '\r' && c != '\n') {
            out += c;
        }
    }
    if (depth != 0)
        *balanced = false;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t HEADER = 3;
    if (size < HEADER)
        return 0;
    const uint8_t flags = data[0];
    const char* list = MARKER_LISTS[data[1] & 7];
    const size_t cb = 30 + data[2];

    std::string text;
    for (size_t i = HEADER; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c != '\0' && c != '\r' && c != '\n')
            text += c;
    }
    const bool subject = (flags >> 6) & 1;
    const std::string piece = subject
        ? hostRtfHeaderPiece("Subject:", text)
        : hostRtfBodyPiece(text);
    const std::string shown = (subject ? "Subject: " + text : text) + "\n";

    const uint8_t keys = data[1] >> 3;
    ViewColoring c = coloringFromFlags(flags, keys);
    c.headerColor = 0x808080;
    for (uint32_t& level : c.levelColors)
        level = 0x0000FF;
    c.signatureColor = 0x00FF00;
    int base = (flags & 0x80) ? 9 : 2;
    RtfStreamState stream = {insideSignatureFromKeys(keys), 0};

    QuoteMarkers m{};
    setQuoteMarkers(m, list, strlen(list), (flags >> 5) & 1, 0);

    std::string delivered;
    char* buf = static_cast<char*>(malloc(cb));
    for (size_t at = 0; at < piece.size(); at += cb - 1) {
        const size_t n = std::min(piece.size() - at, cb - 1);
        memcpy(buf, piece.data() + at, n);
        buf[n] = '\0';
        size_t newLength = 0;
        const int rewritten = recolorStreamedPiece(buf, cb, n, c, m, &base, &stream, &newLength);
        const size_t length = rewritten ? newLength : n;
        if (length >= cb || buf[length] != '\0')
            __builtin_trap();
        delivered.append(buf, length);
    }
    bool balanced = false;
    const std::string seen = visibleText(delivered.data(), delivered.data() + delivered.size(), &balanced);
    if (seen != shown || !balanced)
        __builtin_trap();
    free(buf);
    releaseQuoteMarkers(m);
    return 0;
}
