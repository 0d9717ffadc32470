// The quote matching and RTF piece rewrite as they were first written (and
// later the signature and the level repeat, written the same plain way): every
// marker's compared form rebuilt on every call, byte-by-byte searches, a
// heap block per rewrite. Slow and plain, kept only to check the production
// code against: both must give the same answer, byte for byte, on any input.
// Header-only, so that the unit tests and the fuzz targets share it.
#pragma once
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "quote/quote_depth.h"
#include "viewer/rtf_recolor.h"

namespace reference {

const char HEX_DIGITS[] = "0123456789abcdef";

// The matcher as first written: the list and its rules, and two working
// buffers into which every call builds the forms it compares.
struct QuoteMatcher {
    const char* markers;       // comma-separated list, NUL-terminated; null = empty list
    int ignoreLeadingSpaces;
    int ignoreColumn;
    char* scratch;  size_t scratchSize;   // >= strlen(markers)+1
    char* escaped;  size_t escapedSize;   // >= 4*strlen(markers)+11
};

// The caller sizes both working buffers from the length of the whole list, so
// that no marker's compared form can outgrow them. A caller that got this
// wrong (or has not allocated them yet) gets no match rather than an overrun.
inline bool buffersFitList(const QuoteMatcher& m, size_t listLength)
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
inline bool appendRtfByteEscape(char* out, size_t capacity, size_t* length, unsigned char byte)
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
inline bool buildEscapedForm(const char* marker, char* out, size_t capacity, size_t* formLength)
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

// A marker cut after the first byte of a Shift_JIS character never matches
// in plain text either.
inline bool buildPlainForm(const char* marker, char* out, size_t capacity, size_t* formLength)
{
    size_t length = strlen(marker);
    for (size_t i = 0; i < length; ++i) {
        unsigned char byte = static_cast<unsigned char>(marker[i]);
        if ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)) {
            if (i + 1 == length)
                return false;
            ++i;
        }
    }
    if (length >= capacity)
        return false;
    memcpy(out, marker, length + 1);
    *formLength = length;
    return true;
}

inline bool buildComparedForm(const char* marker, bool escaped, char* out, size_t capacity,
                       size_t* formLength)
{
    return escaped ? buildEscapedForm(marker, out, capacity, formLength)
                   : buildPlainForm(marker, out, capacity, formLength);
}

// strncmp stops at the text's terminator, so a short line is never read past.
inline bool textBeginsWith(const char* text, const char* form, size_t formLength)
{
    return strncmp(text, form, formLength) == 0;
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
inline bool columnBeyondLimit(int ignoreColumn, size_t column)
{
    size_t limit = static_cast<unsigned int>(ignoreColumn);
    return limit != 0 && limit <= column;
}


// The list is split and each marker rebuilt on every call, in the working
// buffers: a comma of the copy becomes the terminator of the marker before it.
// Nothing is cached, so a newly applied list takes effect at once.
inline int refMatchMarker(const QuoteMatcher& m, const char* text, size_t* length, bool escaped)
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
inline int refMatchMarkerAfterSpaces(const QuoteMatcher& m, const char* text, size_t* advance, bool escaped)
{
    if (!text || !advance)
        return 0;
    if (!m.ignoreLeadingSpaces && *advance == 0)
        return refMatchMarker(m, text, advance, escaped);

    size_t spaces = countLeadingSpaces(text);
    if (text[spaces] == '\0')
        return 0;
    if (columnBeyondLimit(m.ignoreColumn, spaces + 1))
        return 0;
    size_t length = 0;
    if (!refMatchMarker(m, text + spaces, &length, escaped))
        return 0;
    *advance = spaces + length;
    return 1;
}

// A matched marker is never empty, so every round moves forward and the count
// needs no upper bound of its own.
inline unsigned refQuoteDepth(const QuoteMatcher& m, const char* text, bool escaped)
{
    if (!text)
        return 0;
    unsigned depth = 0;
    size_t position = 0;
    size_t advance = 0;
    while (refMatchMarkerAfterSpaces(m, text + position, &advance, escaped)) {
        ++depth;
        position += advance;
    }
    return depth;
}

// ---------------------------------------------------------------------------


// The host leaves at least this much room after a piece only when it is this
// much shorter than the control's buffer; longer pieces are not touched.
const size_t REWRITE_MARGIN = 30;
const unsigned DEEPEST_COLOURED_LEVEL = 5;
const int SIGNATURE_INDEX_AFTER_BASE = 6;
const char SUBJECT_LABEL[] = "\\b Subject:";
const char COLOR_TABLE_OPENING[] = "{\\colortbl";
const char DEFAULT_COLOR_WORD[] = "\\cf0";

// A bounded string under construction. Once something does not fit, the
// builder stops taking text and the whole rewrite is abandoned, so the control
// never gets a truncated piece.
struct TextBuilder {
    char* data;
    size_t capacity;   // including the terminator
    size_t length;
    bool overflow;
};

inline TextBuilder startBuilder(char* data, size_t capacity)
{
    data[0] = '\0';
    return TextBuilder{data, capacity, 0, false};
}

inline void appendBytes(TextBuilder& b, const char* text, size_t count)
{
    if (b.overflow)
        return;
    if (count >= b.capacity - b.length) {
        b.overflow = true;
        return;
    }
    memcpy(b.data + b.length, text, count);
    b.length += count;
    b.data[b.length] = '\0';
}

inline void appendText(TextBuilder& b, const char* text)
{
    appendBytes(b, text, strlen(text));
}

inline void appendNumber(TextBuilder& b, long long value)
{
    char digits[24];
    int count = snprintf(digits, sizeof digits, "%lld", value);
    if (count > 0)
        appendBytes(b, digits, static_cast<size_t>(count));
}

// RTF colour-table entry: red, green and blue as unsigned decimals; the unused
// top byte of the COLORREF is ignored.
inline void appendColorEntry(TextBuilder& b, uint32_t color)
{
    char entry[48];
    int count = snprintf(entry, sizeof entry, "\\red%u\\green%u\\blue%u;",
                         static_cast<unsigned>(color & 0xFF),
                         static_cast<unsigned>((color >> 8) & 0xFF),
                         static_cast<unsigned>((color >> 16) & 0xFF));
    if (count > 0)
        appendBytes(b, entry, static_cast<size_t>(count));
}

// Hands the finished text to the control's buffer, or reports that it cannot.
inline int deliverIfComplete(const TextBuilder& b, char* buf, size_t cb, size_t* newLength)
{
    if (b.overflow || b.length >= cb)
        return 0;
    memcpy(buf, b.data, b.length + 1);
    *newLength = b.length;
    return 1;
}

// First occurrence of needle in [begin, end), or null. Never looks at end or
// beyond, so it can search part of a piece.
inline const char* findWithin(const char* begin, const char* end, const char* needle)
{
    size_t needleLength = strlen(needle);
    for (const char* p = begin; static_cast<size_t>(end - p) >= needleLength; ++p) {
        if (memcmp(p, needle, needleLength) == 0)
            return p;
    }
    return nullptr;
}

// Whether p, in text that starts at start, is the second backslash of an
// escaped pair: mail text "\par" is written "\\par" and is no control word.
inline bool escapedAt(const char* start, const char* p)
{
    size_t run = 0;
    for (const char* q = p; q > start && q[-1] == '\\'; --q)
        ++run;
    return run % 2 == 1;
}

// First occurrence of the control word needle in [begin, end) that is not
// escaped text (backslashes counted back to start), or null.
inline const char* findControlWithin(const char* start, const char* begin, const char* end,
                                     const char* needle)
{
    for (const char* p = begin; (p = findWithin(p, end, needle)) != nullptr; ++p) {
        if (!escapedAt(start, p))
            return p;
    }
    return nullptr;
}

// Control words only: backslash, letters, an optional signed number.
inline bool onlyControlWords(const char* begin, const char* end)
{
    const char* p = begin;
    while (p < end) {
        if (*p != '\\' || p + 1 == end || !isalpha(static_cast<unsigned char>(p[1])))
            return false;
        p += 2;
        while (p < end && isalpha(static_cast<unsigned char>(*p)))
            ++p;
        if (p < end && *p == '-')
            ++p;
        while (p < end && isdigit(static_cast<unsigned char>(*p)))
            ++p;
    }
    return true;
}

// Copies [begin, end), turning every "\cf0" into a selection of colour index
// and, for quoted lines, setting bold and italic again: the host's resets to
// the default colour would otherwise end the quote colouring in mid-line. The
// index is written as a decimal number, so a large colour table still yields a
// valid control word.
inline void appendWithColorResets(TextBuilder& b, const char* begin, const char* end, long long index,
                           bool bold, bool italic)
{
    const char* p = begin;
    while (const char* reset = findControlWithin(begin, p, end, DEFAULT_COLOR_WORD)) {
        appendBytes(b, p, static_cast<size_t>(reset - p));
        appendText(b, "\\cf");
        appendNumber(b, index);
        if (bold)
            appendText(b, "\\b");
        if (italic)
            appendText(b, "\\i");
        p = reset + strlen(DEFAULT_COLOR_WORD);
    }
    appendBytes(b, p, static_cast<size_t>(end - p));
}

// Deeper lines than the five levels keep level 5, or with levelRepeat go
// round the levels again: 6 is 1, 7 is 2, 11 is 1.
inline unsigned colouredLevel(const ViewColoring& c, unsigned depth)
{
    if (!c.colorByLevel)
        return 1;
    if (depth <= DEEPEST_COLOURED_LEVEL)
        return depth;
    if (!c.levelRepeat)
        return DEEPEST_COLOURED_LEVEL;
    unsigned level = depth;
    while (level > DEEPEST_COLOURED_LEVEL)
        level -= DEEPEST_COLOURED_LEVEL;
    return level;
}

// Wraps the line, up to its paragraph mark, in a group that selects the
// colour (and bold and italic when asked); a line without "\par" gets no
// closing brace, as the group then ends wherever the control closes it. Both
// passes build in scratch memory, so the control's buffer is written only
// once the result is known to fit.
inline int wrapLine(char* buf, size_t cb, size_t pieceLength, long long index, bool bold,
                    bool italic, size_t* newLength)
{
    if (cb > SIZE_MAX / 2)
        return 0;
    char* work = static_cast<char*>(malloc(2 * cb));
    if (!work)
        return 0;

    const char* end = buf + pieceLength;
    TextBuilder wrapped = startBuilder(work, cb);
    appendText(wrapped, "{\\cf");
    appendNumber(wrapped, index);
    if (bold)
        appendText(wrapped, "\\b");
    if (italic)
        appendText(wrapped, "\\i");
    appendText(wrapped, " ");
    const char* par = findControlWithin(buf, buf, end, "\\par");
    if (par) {
        appendBytes(wrapped, buf, static_cast<size_t>(par - buf));
        appendText(wrapped, "}");
        appendBytes(wrapped, par, static_cast<size_t>(end - par));
    } else {
        appendBytes(wrapped, buf, pieceLength);
    }

    int rewritten = 0;
    if (!wrapped.overflow) {
        TextBuilder result = startBuilder(work + cb, cb);
        appendWithColorResets(result, wrapped.data, wrapped.data + wrapped.length, index, bold,
                              italic);
        rewritten = deliverIfComplete(result, buf, cb, newLength);
    }
    free(work);
    return rewritten;
}

// The Subject header: the control-word run after the label ends with the
// host's "\cf0"; turning that into the header colour colours the value, and
// repeating the run as the host wrote it after the value brings the default
// colour back before the paragraph mark. Whatever followed the first CR LF
// after the value is replaced by the paragraph mark.
inline int recolorSubjectLine(char* buf, size_t cb, size_t pieceLength, long long headerIndex,
                       size_t* newLength)
{
    const char* end = buf + pieceLength;
    const char* label = findControlWithin(buf, buf, end, SUBJECT_LABEL);
    if (!label)
        return 0;
    const char* value = label + strlen(SUBJECT_LABEL);
    const char* runEnd = findWithin(value, end, " ");
    if (!runEnd || !onlyControlWords(value, runEnd))
        return 0;
    const char* lineBreak = findWithin(value, end, "\r\n");

    char* work = static_cast<char*>(malloc(cb));
    if (!work)
        return 0;
    TextBuilder result = startBuilder(work, cb);
    const char* keptEnd = lineBreak ? lineBreak : end;
    appendBytes(result, buf, static_cast<size_t>(value - buf));
    appendWithColorResets(result, value, keptEnd, headerIndex, false, false);
    appendBytes(result, value, static_cast<size_t>(runEnd - value));
    if (lineBreak)
        appendText(result, " \r\n\\par ");
    int rewritten = deliverIfComplete(result, buf, cb, newLength);
    free(work);
    return rewritten;
}

// Appends the header colour, the five level colours and, with the signature
// set apart, the signature colour to the host's table.
// The host's entry count, one per semicolon, becomes the index of the first
// appended colour. A table that does not close within the piece, or whose
// extension does not fit, is left alone, and so is the count.
inline int extendColorTable(char* buf, size_t cb, size_t pieceLength, const ViewColoring& c,
                     int* colorTableBase, size_t* newLength)
{
    const char* end = buf + pieceLength;
    const char* table = findWithin(buf, end, COLOR_TABLE_OPENING);
    if (!table)
        return 0;
    const char* close = findWithin(table, end, "}");
    if (!close)
        return 0;
    size_t entries = 0;
    for (const char* p = table; p < close; ++p)
        entries += *p == ';';
    if (entries > INT_MAX)
        return 0;

    char* work = static_cast<char*>(malloc(cb));
    if (!work)
        return 0;
    TextBuilder result = startBuilder(work, cb);
    appendBytes(result, buf, static_cast<size_t>(close - buf));
    appendColorEntry(result, c.headerColor);
    for (uint32_t color : c.levelColors)
        appendColorEntry(result, color);
    if (c.signatureChange)
        appendColorEntry(result, c.signatureColor);
    appendBytes(result, close, static_cast<size_t>(end - close));
    int rewritten = deliverIfComplete(result, buf, cb, newLength);
    free(work);
    if (rewritten)
        *colorTableBase = static_cast<int>(entries);
    return rewritten;
}

inline bool beginsWith(const char* text, const char* prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0;
}


// The signature separator: the text before the first "\\par" is "--" and
// spaces, and only spaces, CR and LF follow it.
inline bool isSignatureSeparator(const char* piece)
{
    const char* par = strstr(piece, "\\par");
    if (!par || par - piece < 2 || piece[0] != '-' || piece[1] != '-')
        return false;
    for (const char* p = piece + 2; p < par; ++p) {
        if (*p != ' ')
            return false;
    }
    for (const char* p = par + 4; *p != '\0'; ++p) {
        if (*p != ' ' && *p != '\r' && *p != '\n')
            return false;
    }
    return true;
}

// With the signature set apart: from its separator on, every piece that is
// no header (no "\\plain" at its start) and holds a paragraph mark is wrapped
// in the signature colour and never taken for a quote. A colour table ends
// the signature, extended or not: it starts the next message.
inline int refRecolorRtfPiece(char* buf, size_t cb, const ViewColoring& c, const QuoteMatcher& m,
                    int* colorTableBase, int* insideSignature, size_t* newLength)
{
    if (!buf || !colorTableBase || !insideSignature || !newLength || cb < REWRITE_MARGIN)
        return 0;
    // Mail content decides what the host writes; a piece that fills the buffer
    // without a terminator is not ours to measure.
    const char* terminator = static_cast<const char*>(memchr(buf, '\0', cb));
    if (!terminator)
        return 0;
    if (findWithin(buf, terminator, COLOR_TABLE_OPENING))
        *insideSignature = 0;
    size_t pieceLength = static_cast<size_t>(terminator - buf);
    if (pieceLength > cb - REWRITE_MARGIN)
        return 0;

    const bool header = beginsWith(buf, "\\plain");
    bool inSignature = false;
    if (c.signatureChange && !header) {
        if (*insideSignature == 0 && isSignatureSeparator(buf))
            *insideSignature = 1;
        inSignature = *insideSignature != 0;
        if (inSignature && findControlWithin(buf, buf, terminator, "\\par")) {
            long long index = static_cast<long long>(*colorTableBase) + SIGNATURE_INDEX_AFTER_BASE;
            return wrapLine(buf, cb, pieceLength, index, false, false, newLength);
        }
    }
    if (c.quoteColoring && !inSignature) {
        unsigned depth = refQuoteDepth(m, buf, true);
        if (depth != 0) {
            long long index = static_cast<long long>(*colorTableBase) + colouredLevel(c, depth);
            return wrapLine(buf, cb, pieceLength, index, c.quoteBold != 0, c.quoteItalic != 0,
                            newLength);
        }
    }
    if (c.headerColoring && header)
        return recolorSubjectLine(buf, cb, pieceLength, *colorTableBase, newLength);
    return extendColorTable(buf, cb, pieceLength, c, colorTableBase, newLength);
}

} // namespace reference
