#include "viewer/rtf_recolor.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The host leaves at least this much room after a piece only when it is this
// much shorter than the control's buffer; longer pieces are not touched.
const size_t REWRITE_MARGIN = 30;
const unsigned DEEPEST_COLOURED_LEVEL = 5;
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

TextBuilder startBuilder(char* data, size_t capacity)
{
    data[0] = '\0';
    return TextBuilder{data, capacity, 0, false};
}

void appendBytes(TextBuilder& b, const char* text, size_t count)
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

void appendText(TextBuilder& b, const char* text)
{
    appendBytes(b, text, strlen(text));
}

void appendNumber(TextBuilder& b, long long value)
{
    char digits[24];
    int count = snprintf(digits, sizeof digits, "%lld", value);
    if (count > 0)
        appendBytes(b, digits, static_cast<size_t>(count));
}

// RTF colour-table entry: red, green and blue as unsigned decimals; the unused
// top byte of the COLORREF is ignored.
void appendColorEntry(TextBuilder& b, uint32_t color)
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
int deliverIfComplete(const TextBuilder& b, char* buf, size_t cb, size_t* newLength)
{
    if (b.overflow || b.length >= cb)
        return 0;
    memcpy(buf, b.data, b.length + 1);
    *newLength = b.length;
    return 1;
}

// First occurrence of needle in [begin, end), or null. Never looks at end or
// beyond, so it can search part of a piece.
const char* findWithin(const char* begin, const char* end, const char* needle)
{
    size_t needleLength = strlen(needle);
    for (const char* p = begin; static_cast<size_t>(end - p) >= needleLength; ++p) {
        if (memcmp(p, needle, needleLength) == 0)
            return p;
    }
    return nullptr;
}

// Copies [begin, end), turning every "\cf0" into a selection of colour index
// and, for quoted lines, setting bold and italic again: the host's resets to
// the default colour would otherwise end the quote colouring in mid-line. The
// index is written as a decimal number, so a large colour table still yields a
// valid control word.
void appendWithColorResets(TextBuilder& b, const char* begin, const char* end, long long index,
                           bool bold, bool italic)
{
    const char* p = begin;
    while (const char* reset = findWithin(p, end, DEFAULT_COLOR_WORD)) {
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

unsigned colouredLevel(const ViewColoring& c, unsigned depth)
{
    if (!c.colorByLevel)
        return 1;
    return depth < DEEPEST_COLOURED_LEVEL ? depth : DEEPEST_COLOURED_LEVEL;
}

// Wraps the line, up to its paragraph mark, in a group that selects the quote
// colour; a line without "\par" gets no closing brace, as the group then ends
// wherever the control closes it. Both passes build in scratch memory, so the
// control's buffer is written only once the result is known to fit.
int wrapQuotedLine(char* buf, size_t cb, size_t pieceLength, const ViewColoring& c,
                   long long index, size_t* newLength)
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
    if (c.quoteBold)
        appendText(wrapped, "\\b");
    if (c.quoteItalic)
        appendText(wrapped, "\\i");
    appendText(wrapped, " ");
    const char* par = findWithin(buf, end, "\\par");
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
        appendWithColorResets(result, wrapped.data, wrapped.data + wrapped.length, index,
                              c.quoteBold != 0, c.quoteItalic != 0);
        rewritten = deliverIfComplete(result, buf, cb, newLength);
    }
    free(work);
    return rewritten;
}

// The Subject header: the control-word run after the label ends with the
// host's "\cf0"; turning that into the header colour colours the value, and
// repeating the run as the host wrote it after the value brings the default
// colour back before the paragraph mark. Whatever followed the first CR LF is
// replaced by the paragraph mark.
int recolorSubjectLine(char* buf, size_t cb, size_t pieceLength, long long headerIndex,
                       size_t* newLength)
{
    const char* end = buf + pieceLength;
    const char* label = findWithin(buf, end, SUBJECT_LABEL);
    if (!label)
        return 0;
    const char* value = label + strlen(SUBJECT_LABEL);
    const char* runEnd = findWithin(value, end, " ");
    if (!runEnd)
        return 0;
    const char* lineBreak = findWithin(buf, end, "\r\n");

    char* work = static_cast<char*>(malloc(cb));
    if (!work)
        return 0;
    TextBuilder result = startBuilder(work, cb);
    const char* keptEnd = lineBreak ? lineBreak : end;
    if (keptEnd <= value) {
        appendBytes(result, buf, static_cast<size_t>(keptEnd - buf));
    } else {
        appendBytes(result, buf, static_cast<size_t>(value - buf));
        appendWithColorResets(result, value, keptEnd, headerIndex, false, false);
    }
    appendBytes(result, value, static_cast<size_t>(runEnd - value));
    if (lineBreak)
        appendText(result, " \r\n\\par ");
    int rewritten = deliverIfComplete(result, buf, cb, newLength);
    free(work);
    return rewritten;
}

// Appends the header colour and the five level colours to the host's table.
// The host's entry count, one per semicolon, becomes the index of the first
// appended colour. A table that does not close within the piece, or whose
// extension does not fit, is left alone, and so is the count.
int extendColorTable(char* buf, size_t cb, size_t pieceLength, const ViewColoring& c,
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
    appendBytes(result, close, static_cast<size_t>(end - close));
    int rewritten = deliverIfComplete(result, buf, cb, newLength);
    free(work);
    if (rewritten)
        *colorTableBase = static_cast<int>(entries);
    return rewritten;
}

bool beginsWith(const char* text, const char* prefix)
{
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

} // namespace

// The tests run in a fixed order and the first that applies decides: a quoted
// line is never examined as a header or a table, and a "\plain" header piece
// without the Subject label is never examined for a colour table.
int recolorRtfPiece(char* buf, size_t cb, const ViewColoring& c, const QuoteMatcher& m,
                    int* colorTableBase, size_t* newLength)
{
    if (!buf || !colorTableBase || !newLength || cb < REWRITE_MARGIN)
        return 0;
    // Mail content decides what the host writes; a piece that fills the buffer
    // without a terminator is not ours to measure.
    const char* terminator = static_cast<const char*>(memchr(buf, '\0', cb));
    if (!terminator)
        return 0;
    size_t pieceLength = static_cast<size_t>(terminator - buf);
    if (pieceLength > cb - REWRITE_MARGIN)
        return 0;

    if (c.quoteColoring) {
        unsigned depth = quoteDepth(m, buf, true);
        if (depth != 0) {
            long long index = static_cast<long long>(*colorTableBase) + colouredLevel(c, depth);
            return wrapQuotedLine(buf, cb, pieceLength, c, index, newLength);
        }
    }
    if (c.headerColoring && beginsWith(buf, "\\plain"))
        return recolorSubjectLine(buf, cb, pieceLength, *colorTableBase, newLength);
    return extendColorTable(buf, cb, pieceLength, c, colorTableBase, newLength);
}
