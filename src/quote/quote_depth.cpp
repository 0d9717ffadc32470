#include "quote/quote_depth.h"

#include "text/dbcs.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

const char HEX_DIGITS[] = "0123456789abcdef";

// One byte the way the host's RTF writes a byte of a double-byte character:
// "\'" and the value as printf's "%2x" gives it, lower-case and padded with
// a space when it has one digit.
void writeRtfByteEscape(char* out, unsigned char byte)
{
    out[0] = '\\';
    out[1] = '\'';
    out[2] = byte >= 0x10 ? HEX_DIGITS[byte >> 4] : ' ';
    out[3] = HEX_DIGITS[byte & 0x0F];
}

// RTF form of the marker entry[0..length), written to out. A byte with the
// top bit set is taken as the first of a double-byte character and escaped
// together with the byte after it, even when that one is ASCII, because that
// is how the host's RTF spells the pair. The top bit decides, not the code
// page's lead-byte table, so a half-width katakana drags its neighbour along
// too.
// A marker that ends in such a byte has no second byte to escape, and the RTF
// never spells half a character, so it can never match: returns false and
// the caller leaves it out.
bool buildEscapedForm(const char* entry, size_t length, char* out, size_t capacity,
                      size_t* formLength)
{
    size_t used = 0;
    for (size_t i = 0; i < length; ++i) {
        unsigned char byte = static_cast<unsigned char>(entry[i]);
        if (byte < 0x80) {
            if (capacity - used < 1)
                return false;
            out[used++] = static_cast<char>(byte);
            continue;
        }
        if (i + 1 == length)
            return false;
        if (capacity - used < 8)
            return false;
        writeRtfByteEscape(out + used, byte);
        writeRtfByteEscape(out + used + 4, static_cast<unsigned char>(entry[i + 1]));
        used += 8;
        ++i;
    }
    *formLength = used;
    return true;
}

// Whether the marker entry[0..length) stops after the first byte of a
// double-byte character. The options page never produces one, but a list
// length that cuts the stored text does; compared as bytes, such a marker
// would take every line beginning with a character of the same first byte
// (the ideographic space, "、", "。") for a quote and leave the depth count in
// the middle of a character. The mail is Shift_JIS whatever the system, so
// its table decides.
bool endsInsideCharacter(const char* entry, size_t length)
{
    return endsInLoneLeadByte(entry, length, cp932Table());
}

// The first form in list order that text begins with: its length, or 0.
// The comparison stops at the first differing byte, and the text's
// terminator differs from every form byte (a form never holds a NUL), so a
// short line is never read past.
size_t firstMatchingForm(const QuoteFormSet& set, const char* text)
{
    const char* form = set.forms;
    const char* end = set.forms + set.size;
    while (form < end) {
        size_t i = 0;
        while (form[i] != '\0' && form[i] == text[i])
            ++i;
        if (form[i] == '\0')
            return i;
        form += i;
        while (*form != '\0')
            ++form;
        ++form;
    }
    return 0;
}

const QuoteFormSet& formsOfKind(const QuoteMarkers& m, bool escaped)
{
    return escaped ? m.escaped : m.plain;
}

inline size_t countLeadingSpaces(const char* text)
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

// Two roads. The first marker of a line, when leading spaces are not to be
// ignored, must stand at the very first byte and no column limit applies.
// Every other marker may be preceded by spaces (0x20 only: a tab or a
// double-byte space ends the quote), and must start before ignoreColumn,
// counted from 1 at the start of text, i.e. from the end of the previous marker.
// Returns the bytes covered, spaces included, or 0.
inline size_t markerAfterSpaces(const QuoteMarkers& m, const QuoteFormSet& set, const char* text,
                                bool firstOfLine)
{
    if (!m.ignoreLeadingSpaces && firstOfLine)
        return firstMatchingForm(set, text);
    size_t spaces = countLeadingSpaces(text);
    if (text[spaces] == '\0')
        return 0;
    if (columnBeyondLimit(m.ignoreColumn, spaces + 1))
        return 0;
    size_t length = firstMatchingForm(set, text + spaces);
    return length ? spaces + length : 0;
}

} // namespace

QuoteMarkers quoteMarkers;

void releaseQuoteMarkers(QuoteMarkers& markers)
{
    free(markers.list);
    free(markers.plain.forms);
    free(markers.escaped.forms);
    markers = QuoteMarkers();
}

// Each entry of k bytes spells in at most 4k in RTF, so the RTF forms of e
// entries (e - 1 commas) with their NULs take at most 4(n - (e - 1)) + e
// <= 4n + 1 for a list of n bytes; the plain forms take at most n + 1. A
// length that would overflow that arithmetic gets no room.
char* reserveQuoteList(QuoteMarkers& markers, size_t length)
{
    releaseQuoteMarkers(markers);
    if (length > (SIZE_MAX - 11) / 4)
        return nullptr;
    markers.list = static_cast<char*>(calloc(length + 1, 1));
    markers.plain.forms = static_cast<char*>(calloc(length + 1, 1));
    markers.escaped.forms = static_cast<char*>(calloc(length * 4 + 11, 1));
    if (!markers.list || !markers.plain.forms || !markers.escaped.forms) {
        releaseQuoteMarkers(markers);
        return nullptr;
    }
    markers.room = length;
    return markers.list;
}

// Each entry of the list is copied once into the plain forms and spelled
// once into the RTF ones, so that matching a line compares bytes and nothing
// else. The list is read only up to its room, whatever its writer did.
void prepareQuoteMarkers(QuoteMarkers& markers, int ignoreLeadingSpaces, int ignoreColumn)
{
    markers.ignoreLeadingSpaces = ignoreLeadingSpaces;
    markers.ignoreColumn = ignoreColumn;
    markers.plain.size = 0;
    markers.escaped.size = 0;
    if (!markers.list)
        return;
    markers.list[markers.room] = '\0';
    const size_t escapedRoom = markers.room * 4 + 11;
    QuoteFormSet& plain = markers.plain;
    QuoteFormSet& escaped = markers.escaped;
    const char* entry = markers.list;
    for (;;) {
        size_t length = strcspn(entry, ",");
        // An empty entry (",," or a comma at either end) never matches, nor
        // does half a character in plain text.
        if (length > 0) {
            if (!endsInsideCharacter(entry, length) && plain.size + length < markers.room + 1) {
                memcpy(plain.forms + plain.size, entry, length);
                plain.forms[plain.size + length] = '\0';
                plain.size += length + 1;
            }
            size_t formLength = 0;
            if (buildEscapedForm(entry, length, escaped.forms + escaped.size,
                                 escapedRoom - escaped.size - 1, &formLength)) {
                escaped.forms[escaped.size + formLength] = '\0';
                escaped.size += formLength + 1;
            }
        }
        if (entry[length] == '\0')
            break;
        entry += length + 1;
    }
}

int setQuoteMarkers(QuoteMarkers& markers, const char* text, size_t length, int ignoreLeadingSpaces,
                    int ignoreColumn)
{
    char* list = reserveQuoteList(markers, length);
    if (list && text)
        memcpy(list, text, strnlen(text, length));
    prepareQuoteMarkers(markers, ignoreLeadingSpaces, ignoreColumn);
    return list != nullptr;
}

int matchMarker(const QuoteMarkers& m, const char* text, size_t* length, bool escaped)
{
    const size_t matched = text && length ? firstMatchingForm(formsOfKind(m, escaped), text) : 0;
    if (matched)
        *length = matched;
    return matched != 0;
}

int matchMarkerAfterSpaces(const QuoteMarkers& m, const char* text, size_t* advance, bool escaped)
{
    const size_t covered =
        text && advance ? markerAfterSpaces(m, formsOfKind(m, escaped), text, *advance == 0) : 0;
    if (covered)
        *advance = covered;
    return covered != 0;
}

// A matched marker is never empty, so every round moves forward and the count
// needs no upper bound of its own.
unsigned quoteDepth(const QuoteMarkers& m, const char* text, bool escaped)
{
    if (!text)
        return 0;
    const QuoteFormSet& set = formsOfKind(m, escaped);
    unsigned depth = 0;
    size_t position = 0;
    while (size_t covered = markerAfterSpaces(m, set, text + position, depth == 0)) {
        ++depth;
        position += covered;
    }
    return depth;
}

unsigned levelForDepth(unsigned depth, int repeatLevels)
{
    if (depth <= 5)
        return depth == 0 ? 1 : depth;
    return repeatLevels ? (depth - 1) % 5 + 1 : 5;
}
