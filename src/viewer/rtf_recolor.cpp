#include "viewer/rtf_recolor.h"

#include <climits>
#include <cstdint>
#include <cstring>


// Every rewrite is done in place, in the control's buffer: the length of the
// result is worked out first, and only when it fits are the host's bytes
// moved and the new ones written. A piece that does not fit is left exactly
// as it was. The piece is searched with the library's string functions, so
// nothing is read after its terminator.

namespace {

// The host leaves at least this much room after a piece only when it is this
// much shorter than the control's buffer; longer pieces are not touched.
const size_t REWRITE_MARGIN = 30;
// Colour-table indexes past the host's entries: the header colour, the five
// quote levels, then the signature colour.
const int HEADER_ENTRY = 0;
const int SIGNATURE_ENTRY = 6;
const char SUBJECT_LABEL[] = "\\b Subject:";
const char COLOR_TABLE_OPENING[] = "{\\colortbl";
const char DEFAULT_COLOR_WORD[] = "\\cf0";
const char PARAGRAPH_MARK[] = "\\par";
const char SUBJECT_LINE_END[] = " \r\n\\par ";
const char HEADER_OPENING[] = "\\plain";

const size_t SUBJECT_LABEL_LENGTH = sizeof SUBJECT_LABEL - 1;
const size_t DEFAULT_COLOR_WORD_LENGTH = sizeof DEFAULT_COLOR_WORD - 1;
const size_t SUBJECT_LINE_END_LENGTH = sizeof SUBJECT_LINE_END - 1;
const size_t HEADER_OPENING_LENGTH = sizeof HEADER_OPENING - 1;

// ---------------------------------------------------------------------------
// Searching

// The backslashes right before p, counted back to the text's start.
size_t backslashesBefore(const char* textStart, const char* p)
{
    const char* run = p;
    while (run > textStart && run[-1] == '\\')
        --run;
    return static_cast<size_t>(p - run);
}

// Mail text reaches the RTF with every backslash doubled, so a backslash that
// follows an odd number of backslashes is the second half of such a pair:
// "\\par" or "\\cf0" there is text the reader sees (a path such as
// C:\parts), not a control word.
bool escapedByBackslash(const char* textStart, const char* p)
{
    return (backslashesBefore(textStart, p) & 1) != 0;
}

// The first control word word (beginning with a backslash) at or after from
// in the zero-terminated text that starts at textStart, or null.
const char* findControlWord(const char* textStart, const char* from, const char* word)
{
    const char* p = strstr(from, word);
    while (p && escapedByBackslash(textStart, p))
        p = strstr(p + 1, word);
    return p;
}

// The host's resets to the default colour, "\cf0", in [from, end) of the
// zero-terminated text that starts at textStart. "\cf0" cannot overlap
// itself, so this is what a left-to-right replacement meets.
size_t countColorResets(const char* textStart, const char* from, const char* end)
{
    size_t count = 0;
    for (const char* p = findControlWord(textStart, from, DEFAULT_COLOR_WORD); p && p < end;
         p = findControlWord(textStart, p + DEFAULT_COLOR_WORD_LENGTH, DEFAULT_COLOR_WORD))
        ++count;
    return count;
}

// ---------------------------------------------------------------------------
// Writing

// Decimal digits of value, with a minus sign when negative; returns the count.
size_t writeDecimal(char* out, long long value)
{
    unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    char digits[24];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    size_t length = 0;
    if (value < 0)
        out[length++] = '-';
    while (count > 0)
        out[length++] = digits[--count];
    return length;
}

size_t writeBytes(char* out, const char* text, size_t length)
{
    memcpy(out, text, length);
    return length;
}

// "\cf<index>", then "\b" and "\i" when asked: what a "\cf0" of the host
// becomes, so that its reset to the default colour does not end the
// colouring in mid-line. The index is written as a decimal number, so a large
// colour table still yields a valid control word.
struct ColorSelection {
    char text[32];   // "\cf", a sign and 19 digits at most, "\b\i"
    size_t length;
    size_t styleLength;
};

ColorSelection colorSelection(long long index, bool bold, bool italic)
{
    ColorSelection s;
    s.length = writeBytes(s.text, "\\cf", 3);
    s.length += writeDecimal(s.text + s.length, index);
    s.styleLength = 0;
    if (bold)
        s.styleLength += writeBytes(s.text + s.length + s.styleLength, "\\b", 2);
    if (italic)
        s.styleLength += writeBytes(s.text + s.length + s.styleLength, "\\i", 2);
    s.length += s.styleLength;
    return s;
}

// RTF colour-table entry: red, green and blue as unsigned decimals; the unused
// top byte of the COLORREF is ignored.
size_t writeColorEntry(char* out, uint32_t color)
{
    size_t length = writeBytes(out, "\\red", 4);
    length += writeDecimal(out + length, color & 0xFF);
    length += writeBytes(out + length, "\\green", 6);
    length += writeDecimal(out + length, (color >> 8) & 0xFF);
    length += writeBytes(out + length, "\\blue", 5);
    length += writeDecimal(out + length, (color >> 16) & 0xFF);
    out[length++] = ';';
    return length;
}

// Moves [from, to) to out (at or before from) and returns the end.
char* moveDown(char* out, const char* from, const char* to)
{
    if (out != from)
        memmove(out, from, static_cast<size_t>(to - from));
    return out + (to - from);
}

// Copies [from, to) to out with every reset in it replaced by the selection,
// and returns the end of the copy. The text is zero-terminated at or after
// to and does not begin with the second half of a backslash pair. The copy
// may overlap it: out lies before from by at most the growth of its resets,
// so every write lands on bytes already read, and never on a backslash that
// decides whether a later reset is text.
char* copyWithColorResets(char* out, const char* from, const char* to,
                          const ColorSelection& selection)
{
    const char* kept = from;
    for (const char* reset = findControlWord(from, kept, DEFAULT_COLOR_WORD); reset && reset < to;
         reset = findControlWord(from, kept, DEFAULT_COLOR_WORD)) {
        out = moveDown(out, kept, reset);
        out += writeBytes(out, selection.text, selection.length);
        kept = reset + DEFAULT_COLOR_WORD_LENGTH;
    }
    return moveDown(out, kept, to);
}

// ---------------------------------------------------------------------------
// The three rewrites

// Wraps the line, up to its paragraph mark, in a group that selects colour
// index (and bold and italic when asked); a line without "\par" gets no
// closing brace, as the group then ends wherever the control closes it.
// Every "\cf0" of the line, the group's own opening included (a colour index
// of 0 spells one), becomes the selection.
int wrapLine(char* buf, size_t cb, size_t pieceLength, long long index, bool bold, bool italic,
             size_t* newLength)
{
    if (cb > SIZE_MAX / 2)
        return 0;
    const char* par = findControlWord(buf, buf, PARAGRAPH_MARK);
    const size_t parAt = par ? static_cast<size_t>(par - buf) : pieceLength;
    const ColorSelection selection = colorSelection(index, bold, italic);
    // "{", the selection, the style words once more when the selection's own
    // "\cf0" is a reset to replace, a space.
    const size_t openingLength =
        1 + selection.length + (index == 0 ? selection.styleLength : 0) + 1;
    // The resets matter to the length only when the selection is longer.
    const char* firstReset = findControlWord(buf, buf, DEFAULT_COLOR_WORD);
    const size_t growth = selection.length - DEFAULT_COLOR_WORD_LENGTH;
    const size_t resets =
        growth != 0 && firstReset ? countColorResets(buf, firstReset, buf + pieceLength) : 0;
    if (growth != 0 && resets > (cb - pieceLength) / growth)
        return 0;
    const size_t length = openingLength + pieceLength + (par ? 1 : 0) + resets * growth;
    if (length >= cb)
        return 0;

    buf[length] = '\0';
    if (firstReset) {
        // The line moves to the end of the result, then is copied forward
        // into place behind the opening, its resets replaced. No reset
        // straddles the paragraph mark: only its first byte is a backslash.
        char* line = buf + (length - pieceLength);
        memmove(line, buf, pieceLength);
        char* out = copyWithColorResets(buf + openingLength, line, line + parAt, selection);
        if (par) {
            *out++ = '}';
            copyWithColorResets(out, line + parAt, line + pieceLength, selection);
        }
    } else {
        // Nothing to replace: the paragraph mark and the text move straight
        // to their places.
        if (par) {
            memmove(buf + openingLength + parAt + 1, par, pieceLength - parAt);
            buf[openingLength + parAt] = '}';
        }
        memmove(buf + openingLength, buf, parAt);
    }
    char* out = buf;
    *out++ = '{';
    out += writeBytes(out, selection.text, selection.length);
    if (index == 0)
        writeBytes(out, selection.text + selection.length - selection.styleLength,
                   selection.styleLength);
    buf[openingLength - 1] = ' ';
    *newLength = length;
    return 1;
}

bool isAsciiLetter(char c)
{
    return static_cast<unsigned char>((c | 0x20) - 'a') < 26;
}

bool isAsciiDigit(char c)
{
    return static_cast<unsigned char>(c - '0') < 10;
}

// The end of the run of control words (a backslash, letters, an optional
// number) that begins at text, when a space ends it; otherwise null. Text in
// the run (a subject written right after the label) would be shown twice
// once the run is repeated after the value.
const char* controlWordRunEnd(const char* text)
{
    const char* p = text;
    while (p[0] == '\\' && isAsciiLetter(p[1])) {
        p += 2;
        while (isAsciiLetter(*p))
            ++p;
        if (*p == '-')
            ++p;
        while (isAsciiDigit(*p))
            ++p;
    }
    return *p == ' ' ? p : nullptr;
}

// The Subject header: the control-word run after the label ends with the
// host's "\cf0"; turning that into the header colour colours the value, and
// repeating the run as the host wrote it after the value brings the default
// colour back before the paragraph mark. Whatever followed the first CR LF
// after the value is replaced by the paragraph mark; a line before the label
// (another header in the same piece) is kept as it is. A piece whose label is
// text, or whose run holds anything but control words, passes unchanged.
int recolorSubjectLine(char* buf, size_t cb, size_t pieceLength, long long headerIndex,
                       size_t* newLength)
{
    const char* label = findControlWord(buf, buf, SUBJECT_LABEL);
    if (!label)
        return 0;
    char* value = buf + (label - buf) + SUBJECT_LABEL_LENGTH;
    const char* runEnd = controlWordRunEnd(value);
    if (!runEnd)
        return 0;
    // The run holds no CR, so the line break comes after it. The label ends
    // in a colon, so no reset straddles the value's start.
    const char* lineBreak = strchr(runEnd, '\r');
    while (lineBreak && lineBreak[1] != '\n')
        lineBreak = strchr(lineBreak + 1, '\r');
    const char* keptEnd = lineBreak ? lineBreak : buf + pieceLength;

    const ColorSelection selection = colorSelection(headerIndex, false, false);
    const size_t growth = selection.length - DEFAULT_COLOR_WORD_LENGTH;
    const size_t resets = growth != 0 ? countColorResets(buf, value, keptEnd) : 0;
    const size_t keptAt = static_cast<size_t>(keptEnd - buf);
    const size_t valueLength = static_cast<size_t>(keptEnd - value);
    const size_t runLength = static_cast<size_t>(runEnd - value);
    const size_t lineEndLength = lineBreak ? SUBJECT_LINE_END_LENGTH : 0;

    // Up to the line break (the value's resets coloured), the run again, the
    // paragraph mark.
    if (growth != 0 && resets > cb / growth)
        return 0;
    const size_t coloured = keptAt + resets * growth;
    const size_t length = coloured + runLength + lineEndLength;
    if (coloured >= cb || length >= cb)
        return 0;

    // The run goes first, to where the line break stood or later; then the
    // value moves to end where the run begins and is copied forward into
    // place, its resets coloured.
    memmove(buf + coloured, value, runLength);
    memcpy(buf + coloured + runLength, SUBJECT_LINE_END, lineEndLength);
    buf[length] = '\0';
    char* movedValue = buf + (coloured - valueLength);
    if (movedValue != value)
        memmove(movedValue, value, valueLength);
    copyWithColorResets(value, movedValue, movedValue + valueLength, selection);
    *newLength = length;
    return 1;
}

// Appends the header colour, the five level colours and, while the signature
// is set apart, the signature colour to the host's table. The host's entry
// count, one per semicolon, becomes the index of the first appended colour.
// A table that does not close within the piece, or whose extension does not
// fit, is left alone, and so is the count.
int extendColorTable(char* buf, size_t cb, size_t pieceLength, const char* table,
                     const ViewColoring& c, int* colorTableBase, size_t* newLength)
{
    const char* close = strchr(table, '}');
    if (!close)
        return 0;
    size_t entries = 0;
    for (const char* p = table; p < close; ++p)
        entries += *p == ';';
    if (entries > INT_MAX)
        return 0;

    // Each entry is at most 25 bytes, "\red255\green255\blue255;".
    char added[7 * 25];
    size_t addedLength = writeColorEntry(added, c.headerColor);
    for (uint32_t color : c.levelColors)
        addedLength += writeColorEntry(added + addedLength, color);
    if (c.signatureChange)
        addedLength += writeColorEntry(added + addedLength, c.signatureColor);
    const size_t length = pieceLength + addedLength;
    if (length >= cb)
        return 0;

    const size_t closeAt = static_cast<size_t>(close - buf);
    memmove(buf + closeAt + addedLength, close, pieceLength - closeAt);
    memcpy(buf + closeAt, added, addedLength);
    buf[length] = '\0';
    *newLength = length;
    *colorTableBase = static_cast<int>(entries);
    return 1;
}

// The signature separator: a body line whose text, trailing spaces left
// aside, is "--" (the standard "-- " and the common "--" alike), then its
// paragraph mark and nothing but the line's end.
bool isSignatureSeparator(const char* piece)
{
    if (piece[0] != '-' || piece[1] != '-')
        return false;
    const char* p = piece + 2;
    while (*p == ' ')
        ++p;
    if (strncmp(p, PARAGRAPH_MARK, sizeof PARAGRAPH_MARK - 1) != 0)
        return false;
    for (p += sizeof PARAGRAPH_MARK - 1; *p != '\0'; ++p) {
        if (*p != ' ' && *p != '\r' && *p != '\n')
            return false;
    }
    return true;
}

// Whether a piece ends a line of the host's: trailing spaces, CR and LF
// aside, it ends with the paragraph mark or with a closing brace (the lines
// of the document's prolog and colour table end so). A backslash run that
// reaches back to the piece's start may have begun in the piece before, so
// the mark after it might be text: such a piece is not taken to end a line.
bool endsLine(const char* piece, const char* end)
{
    while (end > piece && (end[-1] == ' ' || end[-1] == '\r' || end[-1] == '\n'))
        --end;
    const size_t markLength = sizeof PARAGRAPH_MARK - 1;
    const char* mark;
    if (end > piece && end[-1] == '}')
        mark = end - 1;
    else if (static_cast<size_t>(end - piece) >= markLength
             && memcmp(end - markLength, PARAGRAPH_MARK, markLength) == 0)
        mark = end - markLength;
    else
        return false;
    const size_t run = backslashesBefore(piece, mark);
    return mark - run > piece && (run & 1) == 0;
}

} // namespace

// The tests run in a fixed order and the first that applies decides: a line
// of the signature is never examined as a quote, a quoted line never as a
// header or a table, and a "\plain" header piece without the Subject label
// never has its colour table extended. Header pieces (they begin with
// "\plain") are never part of the signature.
int recolorRtfPiece(char* buf, size_t cb, const ViewColoring& c, const QuoteMarkers& m,
                    int* colorTableBase, int* insideSignature, size_t* newLength)
{
    if (!buf || !colorTableBase || !insideSignature || !newLength || cb < REWRITE_MARGIN)
        return 0;
    // Mail content decides what the host writes; a piece that fills the buffer
    // without a terminator is not ours to measure.
    const char* terminator = static_cast<const char*>(memchr(buf, '\0', cb));
    if (!terminator)
        return 0;
    // A new table is a new message, which starts outside its signature, even
    // when the table cannot be extended.
    const char* table = strstr(buf, COLOR_TABLE_OPENING);
    if (table)
        *insideSignature = 0;
    const size_t pieceLength = static_cast<size_t>(terminator - buf);
    if (pieceLength > cb - REWRITE_MARGIN)
        return 0;
    const long long base = *colorTableBase;
    const bool header = strncmp(buf, HEADER_OPENING, HEADER_OPENING_LENGTH) == 0;

    bool signature = false;
    if (c.signatureChange && !header) {
        if (!*insideSignature && isSignatureSeparator(buf))
            *insideSignature = 1;
        signature = *insideSignature != 0;
        if (signature && findControlWord(buf, buf, PARAGRAPH_MARK))
            return wrapLine(buf, cb, pieceLength, base + SIGNATURE_ENTRY, false, false, newLength);
    }
    if (c.quoteColoring && !signature) {
        const unsigned depth = quoteDepth(m, buf, true);
        if (depth != 0) {
            const unsigned level = c.colorByLevel ? levelForDepth(depth, c.levelRepeat) : 1;
            return wrapLine(buf, cb, pieceLength, base + level, c.quoteBold != 0,
                            c.quoteItalic != 0, newLength);
        }
    }
    if (c.headerColoring && header)
        return recolorSubjectLine(buf, cb, pieceLength, base + HEADER_ENTRY, newLength);
    return table ? extendColorTable(buf, cb, pieceLength, table, c, colorTableBase, newLength) : 0;
}

// The piece is the count bytes the control will take; NULs that end them
// are a terminator the host counted. A piece that fills the buffer is a line
// cut by the host unless it ends that line. Nothing is written into a piece
// that goes on with a line (its first bytes may finish an escape or a
// control word of the piece before), nor into one that holds a NUL: the
// rewrite measures a piece by its terminator, and would drop what follows.
int recolorStreamedPiece(char* buf, size_t cb, size_t count, const ViewColoring& c, const QuoteMarkers& m,
                         int* colorTableBase, RtfStreamState* stream, size_t* newLength)
{
    if (!buf || !stream || cb == 0)
        return 0;
    const bool goesOn = stream->lineGoesOn != 0;
    size_t pieceLength = count < cb ? count : cb;
    while (pieceLength > 0 && buf[pieceLength - 1] == '\0')
        --pieceLength;
    stream->lineGoesOn = pieceLength != 0 && pieceLength >= cb - 1 && !endsLine(buf, buf + pieceLength);
    if (goesOn || pieceLength == 0 || memchr(buf, '\0', pieceLength))
        return 0;
    // What lies after the count is not the piece, whether or not the host
    // ended it there.
    if (pieceLength < cb)
        buf[pieceLength] = '\0';
    return recolorRtfPiece(buf, cb, c, m, colorTableBase, &stream->insideSignature, newLength);
}
