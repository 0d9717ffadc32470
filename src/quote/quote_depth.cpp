#include "quote/quote_depth.h"

#include "text/dbcs.h"

#include <cstdint>
#include <cstring>

namespace {

const char HEX_DIGITS[] = "0123456789abcdef";

// The caller sizes both working buffers from the length of the whole list, so
// that every marker's compared form fits. A caller that got this wrong (or
// has not allocated them yet) gets no match rather than an overrun.
bool buffersFitList(const QuoteMatcher& m, size_t listLength)
{
    if (!m.scratch || !m.escaped)
        return false;
    if (listLength > (SIZE_MAX - 11) / 4)
        return false;
    return m.scratchSize >= listLength + 1 && m.escapedSize >= 4 * listLength + 11;
}

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

// The prepared forms when they were built from m's list into m's buffers
// (and the buffers still hold them), otherwise null.
inline const QuoteMarkerForms* preparedForms(const QuoteMatcher& m)
{
    const QuoteMarkerForms* f = m.forms;
    if (f && f->list && f->list == m.markers && f->plain.forms == m.scratch
        && f->escaped.forms == m.escaped && f->plain.size <= m.scratchSize
        && f->escaped.size <= m.escapedSize)
        return f;
    return nullptr;
}

// Forms fit for m: the prepared ones, otherwise built now into local. Null
// when there are none. A build writes over the working buffers, so prepared
// forms that lived there (of a list since replaced without being applied)
// are dropped rather than trusted once that list is back.
inline const QuoteMarkerForms* usableForms(const QuoteMatcher& m, QuoteMarkerForms* local)
{
    if (const QuoteMarkerForms* f = preparedForms(m))
        return f;
    if (m.forms && (m.forms->plain.forms == m.scratch || m.forms->escaped.forms == m.escaped))
        m.forms->list = nullptr;
    return prepareQuoteMarkers(m, local) ? local : nullptr;
}

const QuoteFormSet& formsOfKind(const QuoteMarkerForms& f, bool escaped)
{
    return escaped ? f.escaped : f.plain;
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
inline size_t markerAfterSpaces(const QuoteMatcher& m, const QuoteFormSet& set, const char* text,
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

// Each entry of the list is copied once into scratch and spelled once in
// escaped, so that matching a line compares bytes and nothing else. Both fit:
// the plain forms with their NULs take at most the list's length plus one.
// An entry of k bytes spells in at most 4k, so the RTF forms of e entries
// (e - 1 commas) with their NULs take at most 4(n - (e - 1)) + e <= 4n + 1
// for a list of n bytes.
int prepareQuoteMarkers(const QuoteMatcher& m, QuoteMarkerForms* forms)
{
    if (!forms)
        return 0;
    *forms = QuoteMarkerForms{};
    if (!m.markers)
        return 0;
    size_t listLength = strlen(m.markers);
    if (!buffersFitList(m, listLength))
        return 0;

    QuoteMarkerForms f{};
    f.plain.forms = m.scratch;
    f.escaped.forms = m.escaped;
    const char* entry = m.markers;
    for (;;) {
        size_t length = strcspn(entry, ",");
        // An empty entry (",," or a comma at either end) never matches, nor
        // does half a character in plain text.
        if (length > 0) {
            const size_t plainAt = f.plain.size;
            if (m.scratchSize - plainAt <= length)
                return 0;
            if (!endsInsideCharacter(entry, length)) {
                memcpy(m.scratch + plainAt, entry, length);
                m.scratch[plainAt + length] = '\0';
                f.plain.size = plainAt + length + 1;
            }

            const size_t escapedAt = f.escaped.size;
            size_t formLength = 0;
            if (buildEscapedForm(entry, length, m.escaped + escapedAt,
                                 m.escapedSize - escapedAt - 1, &formLength)) {
                m.escaped[escapedAt + formLength] = '\0';
                f.escaped.size = escapedAt + formLength + 1;
            }
        }
        if (entry[length] == '\0')
            break;
        entry += length + 1;
    }
    f.list = m.markers;
    *forms = f;
    return 1;
}

// The forms of the kind asked for, built into local when m has none of its
// own; null when there are none.
static const QuoteFormSet* formsFor(const QuoteMatcher& m, bool escaped, QuoteMarkerForms* local)
{
    const QuoteMarkerForms* f = usableForms(m, local);
    return f ? &formsOfKind(*f, escaped) : nullptr;
}

int matchMarker(const QuoteMatcher& m, const char* text, size_t* length, bool escaped)
{
    QuoteMarkerForms local;
    const QuoteFormSet* set = text && length ? formsFor(m, escaped, &local) : nullptr;
    const size_t matched = set ? firstMatchingForm(*set, text) : 0;
    if (matched)
        *length = matched;
    return matched != 0;
}

int matchMarkerAfterSpaces(const QuoteMatcher& m, const char* text, size_t* advance, bool escaped)
{
    QuoteMarkerForms local;
    const QuoteFormSet* set = text && advance ? formsFor(m, escaped, &local) : nullptr;
    const size_t covered = set ? markerAfterSpaces(m, *set, text, *advance == 0) : 0;
    if (covered)
        *advance = covered;
    return covered != 0;
}

namespace {

// A matched marker is never empty, so every round moves forward and the count
// needs no upper bound of its own.
unsigned depthWithForms(const QuoteMatcher& m, const QuoteMarkerForms& f, const char* text,
                        bool escaped)
{
    const QuoteFormSet& set = formsOfKind(f, escaped);
    unsigned depth = 0;
    size_t position = 0;
    while (size_t covered = markerAfterSpaces(m, set, text + position, depth == 0)) {
        ++depth;
        position += covered;
    }
    return depth;
}

} // namespace

unsigned quoteDepth(const QuoteMatcher& m, const char* text, bool escaped)
{
    if (!text)
        return 0;
    QuoteMarkerForms local;
    const QuoteMarkerForms* f = usableForms(m, &local);
    return f ? depthWithForms(m, *f, text, escaped) : 0;
}

unsigned levelForDepth(unsigned depth, int repeatLevels)
{
    if (depth <= 5)
        return depth == 0 ? 1 : depth;
    return repeatLevels ? (depth - 1) % 5 + 1 : 5;
}
