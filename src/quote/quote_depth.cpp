#include "quote/quote_depth.h"

#include "compose/dbcs.h"

#include <cstdint>
#include <cstring>

// The vector paths need SSE2, which every x86_64 build has; the i686 build
// takes the byte-by-byte ones, and so does a build with
// HUESCOPE_SCALAR_SEARCH defined (the unit tests compile one, so that those
// paths are checked too).
#if defined(__SSE2__) && !defined(HUESCOPE_SCALAR_SEARCH)
#define HUESCOPE_VECTOR_SEARCH 1
#include <emmintrin.h>
#endif

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

bool hasFirstByte(const uint32_t* table, unsigned char byte)
{
    return (table[byte >> 5] >> (byte & 31)) & 1;
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

// A set with no forms: every head slot unusable (no line masked to nothing
// equals 1).
QuoteFormSet emptyFormSet(const char* forms)
{
    QuoteFormSet set{};
    set.forms = forms;
    for (size_t k = 0; k < QUOTE_FORM_HEADS; ++k)
        set.heads[k] = 1;
    return set;
}

// Adds the form just written at set.forms + offset (length bytes, the NUL
// after them already there).
void addForm(QuoteFormSet& set, size_t offset, size_t length)
{
    const unsigned char* form = reinterpret_cast<const unsigned char*>(set.forms + offset);
    set.firstBytes[form[0] >> 5] |= uint32_t(1) << (form[0] & 31);
    set.size = offset + length + 1;
    if (set.headCount == QUOTE_FORM_HEADS)
        return;
    const size_t k = set.headCount++;
    uint32_t head = 0;
    uint32_t mask = 0;
    for (size_t i = 0; i < 4 && i < length; ++i) {
        head |= static_cast<uint32_t>(form[i]) << (8 * i);
        mask |= uint32_t(0xFF) << (8 * i);
    }
    set.heads[k] = head;
    set.masks[k] = mask;
    set.lengths[k] = length;
    set.offsets[k] = offset;
    set.rest = set.size;
}

// Bit k set: the k-th head matches the line's first four bytes.
static_assert(QUOTE_FORM_HEADS == 8, "the heads are compared four at a time, in two halves");

unsigned matchingHeads(const QuoteFormSet& set, uint32_t head)
{
#ifdef HUESCOPE_VECTOR_SEARCH
    const __m128i line = _mm_set1_epi32(static_cast<int>(head));
    const __m128i low = _mm_cmpeq_epi32(
        _mm_and_si128(line, _mm_loadu_si128(reinterpret_cast<const __m128i*>(set.masks))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(set.heads)));
    const __m128i high = _mm_cmpeq_epi32(
        _mm_and_si128(line, _mm_loadu_si128(reinterpret_cast<const __m128i*>(set.masks + 4))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(set.heads + 4)));
    return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(low)))
           | static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(high))) << 4;
#else
    unsigned bits = 0;
    for (size_t k = 0; k < QUOTE_FORM_HEADS; ++k)
        bits |= static_cast<unsigned>((head & set.masks[k]) == set.heads[k]) << k;
    return bits;
#endif
}

// The first four bytes of text, the first in the low byte, zero from the
// terminator on; text[0] is known not to be the terminator. Nothing after
// the terminator is read.
uint32_t textHead(const char* text)
{
    const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
    uint32_t head = t[0];
    if (t[1] != 0) {
        head |= static_cast<uint32_t>(t[1]) << 8;
        if (t[2] != 0)
            head |= static_cast<uint32_t>(t[2]) << 16 | static_cast<uint32_t>(t[3]) << 24;
    }
    return head;
}

// The comparisons stop at the first differing byte, and the text's
// terminator differs from every form byte (a form never holds a NUL), so a
// short line is never read past.

// Long lists: the forms after the headed ones, each stepped over to the NUL
// after it when it does not match.
size_t firstMatchingLaterForm(const QuoteFormSet& set, const char* text)
{
    const char* form = set.forms + set.rest;
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

// A form whose head matched in all four bytes is compared on from the fifth:
// those four are then known to be in the line.
inline size_t firstMatchingForm(const QuoteFormSet& set, const char* text)
{
    if (!hasFirstByte(set.firstBytes, static_cast<unsigned char>(text[0])))
        return 0;
    for (unsigned bits = matchingHeads(set, textHead(text)); bits; bits &= bits - 1) {
        const size_t k = static_cast<size_t>(__builtin_ctz(bits));
        const size_t length = set.lengths[k];
        if (length <= 4)
            return length;
        const char* form = set.forms + set.offsets[k];
        size_t i = 4;
        while (i < length && form[i] == text[i])
            ++i;
        if (i == length)
            return length;
    }
    return set.rest < set.size ? firstMatchingLaterForm(set, text) : 0;
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
// when there are none.
inline const QuoteMarkerForms* usableForms(const QuoteMatcher& m, QuoteMarkerForms* local)
{
    if (const QuoteMarkerForms* f = preparedForms(m))
        return f;
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
    f.plain = emptyFormSet(m.scratch);
    f.escaped = emptyFormSet(m.escaped);
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
                addForm(f.plain, plainAt, length);
            }

            const size_t escapedAt = f.escaped.size;
            size_t formLength = 0;
            if (buildEscapedForm(entry, length, m.escaped + escapedAt,
                                 m.escapedSize - escapedAt - 1, &formLength)) {
                m.escaped[escapedAt + formLength] = '\0';
                addForm(f.escaped, escapedAt, formLength);
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

int matchMarker(const QuoteMatcher& m, const char* text, size_t* length, bool escaped)
{
    if (!text || !length)
        return 0;
    QuoteMarkerForms local;
    const QuoteMarkerForms* f = usableForms(m, &local);
    if (!f)
        return 0;
    size_t matched = firstMatchingForm(formsOfKind(*f, escaped), text);
    if (!matched)
        return 0;
    *length = matched;
    return 1;
}

int matchMarkerAfterSpaces(const QuoteMatcher& m, const char* text, size_t* advance, bool escaped)
{
    if (!text || !advance)
        return 0;
    QuoteMarkerForms local;
    const QuoteMarkerForms* f = usableForms(m, &local);
    if (!f)
        return 0;
    size_t covered = markerAfterSpaces(m, formsOfKind(*f, escaped), text, *advance == 0);
    if (!covered)
        return 0;
    *advance = covered;
    return 1;
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

// Without prepared forms: built for this line alone.
unsigned depthBuildingForms(const QuoteMatcher& m, const char* text, bool escaped)
{
    QuoteMarkerForms local;
    if (!prepareQuoteMarkers(m, &local))
        return 0;
    return depthWithForms(m, local, text, escaped);
}

} // namespace

unsigned quoteDepth(const QuoteMatcher& m, const char* text, bool escaped)
{
    if (!text)
        return 0;
    if (const QuoteMarkerForms* f = preparedForms(m))
        return depthWithForms(m, *f, text, escaped);
    return depthBuildingForms(m, text, escaped);
}
