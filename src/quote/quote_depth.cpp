#include "quote/quote_depth.h"

#include <cstdint>
#include <cstring>

namespace {

const char HEX_DIGITS[] = "0123456789abcdef";

// The caller sizes both working buffers from the length of the whole list, so
// that no marker's compared form can outgrow them. A caller that got this
// wrong (or has not allocated them yet) gets no match rather than an overrun.
bool buffersFitList(const QuoteMatcher& m, size_t listLength)
{
    if (!m.scratch || !m.escaped)
        return false;
    if (listLength > (SIZE_MAX - 11) / 4)
        return false;
    return m.scratchSize >= listLength + 1 && m.escapedSize >= 4 * listLength + 11;
}

// Appends one byte the way the host's RTF writes a byte of a double-byte
// character: "\'" and the value as printf's "%2x" gives it, lower-case and
// padded with a space when it has one digit.
bool appendRtfByteEscape(char* out, size_t capacity, size_t* length, unsigned char byte)
{
    if (capacity - *length < 5)
        return false;
    char* p = out + *length;
    p[0] = '\\';
    p[1] = '\'';
    p[2] = byte >= 0x10 ? HEX_DIGITS[byte >> 4] : ' ';
    p[3] = HEX_DIGITS[byte & 0x0F];
    p[4] = '\0';
    *length += 4;
    return true;
}

// RTF form of a marker. A byte with the top bit set is taken as the first of a
// double-byte character and escaped together with the byte after it, even when
// that one is ASCII, because that is how the host's RTF spells the pair. The
// top bit decides, not the code page's lead-byte table, so a half-width
// katakana drags its neighbour along too.
// A marker that ends in such a byte has no second byte to escape. Walking on
// would step over the marker's terminator into the next marker or off the end
// of the list, and the RTF never spells half a character, so such a marker is
// reported as unmatchable (false).
bool buildEscapedForm(const char* marker, char* out, size_t capacity, size_t* formLength)
{
    size_t length = 0;
    out[0] = '\0';
    for (size_t i = 0; marker[i] != '\0'; ++i) {
        unsigned char byte = static_cast<unsigned char>(marker[i]);
        if (byte < 0x80) {
            if (capacity - length < 2)
                return false;
            out[length++] = static_cast<char>(byte);
            out[length] = '\0';
            continue;
        }
        unsigned char second = static_cast<unsigned char>(marker[i + 1]);
        if (second == '\0')
            return false;
        if (!appendRtfByteEscape(out, capacity, &length, byte)
            || !appendRtfByteEscape(out, capacity, &length, second))
            return false;
        ++i;
    }
    *formLength = length;
    return true;
}

bool buildPlainForm(const char* marker, char* out, size_t capacity, size_t* formLength)
{
    size_t length = strlen(marker);
    if (length >= capacity)
        return false;
    memcpy(out, marker, length + 1);
    *formLength = length;
    return true;
}

bool buildComparedForm(const char* marker, bool escaped, char* out, size_t capacity,
                       size_t* formLength)
{
    return escaped ? buildEscapedForm(marker, out, capacity, formLength)
                   : buildPlainForm(marker, out, capacity, formLength);
}

// strncmp stops at the text's terminator, so a short line is never read past.
bool textBeginsWith(const char* text, const char* form, size_t formLength)
{
    return strncmp(text, form, formLength) == 0;
}

size_t countLeadingSpaces(const char* text)
{
    size_t i = 0;
    while (text[i] == ' ')
        ++i;
    return i;
}

// The setting is compared unsigned on purpose: a negative value entered by the
// user becomes a huge limit, which is the same as no limit.
bool columnBeyondLimit(int ignoreColumn, size_t column)
{
    size_t limit = static_cast<unsigned int>(ignoreColumn);
    return limit != 0 && limit <= column;
}

} // namespace

// The list is split and each marker rebuilt on every call, in the working
// buffers: a comma of the copy becomes the terminator of the marker before it.
// Nothing is cached, so a newly applied list takes effect at once.
int matchMarker(const QuoteMatcher& m, const char* text, size_t* length, bool escaped)
{
    if (!m.markers || !text || !length)
        return 0;
    size_t listLength = strlen(m.markers);
    if (!buffersFitList(m, listLength))
        return 0;
    memcpy(m.scratch, m.markers, listLength + 1);

    size_t start = 0;
    for (size_t i = 0; i <= listLength; ++i) {
        if (m.scratch[i] != ',' && m.scratch[i] != '\0')
            continue;
        m.scratch[i] = '\0';
        size_t formLength = 0;
        bool built = buildComparedForm(m.scratch + start, escaped, m.escaped, m.escapedSize,
                                       &formLength);
        // An empty entry (",," or a comma at either end) never matches.
        if (built && formLength > 0 && textBeginsWith(text, m.escaped, formLength)) {
            *length = formLength;
            return 1;
        }
        start = i + 1;
    }
    return 0;
}

// Two roads. The first marker of a line, when leading spaces are not to be
// ignored, must stand at the very first byte and no column limit applies.
// Every other marker may be preceded by spaces (0x20 only: a tab or a
// double-byte space ends the quote), and must start before ignoreColumn,
// counted from 1 at the start of text, i.e. from the end of the previous marker.
int matchMarkerAfterSpaces(const QuoteMatcher& m, const char* text, size_t* advance, bool escaped)
{
    if (!text || !advance)
        return 0;
    if (!m.ignoreLeadingSpaces && *advance == 0)
        return matchMarker(m, text, advance, escaped);

    size_t spaces = countLeadingSpaces(text);
    if (text[spaces] == '\0')
        return 0;
    if (columnBeyondLimit(m.ignoreColumn, spaces + 1))
        return 0;
    size_t length = 0;
    if (!matchMarker(m, text + spaces, &length, escaped))
        return 0;
    *advance = spaces + length;
    return 1;
}

// A matched marker is never empty, so every round moves forward and the count
// needs no upper bound of its own.
unsigned quoteDepth(const QuoteMatcher& m, const char* text, bool escaped)
{
    if (!text)
        return 0;
    unsigned depth = 0;
    size_t position = 0;
    size_t advance = 0;
    while (matchMarkerAfterSpaces(m, text + position, &advance, escaped)) {
        ++depth;
        position += advance;
    }
    return depth;
}
