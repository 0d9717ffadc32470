#include "viewer/rtf_recolor.h"

#include <climits>
#include <cstring>

// The vector paths need SSE2, which every x86_64 build has; the i686 build
// takes the byte-by-byte ones, and so does a build with
// HUESCOPE_SCALAR_SEARCH defined (the unit tests compile one, so that those
// paths are checked too).
#if defined(__SSE2__) && !defined(HUESCOPE_SCALAR_SEARCH)
#define HUESCOPE_VECTOR_SEARCH 1
#include <emmintrin.h>
#endif

// Every rewrite is done in place, in the control's buffer: the length of the
// result is worked out first, and only when it fits are the host's bytes
// moved (back to front, since the result only grows where it differs) and the
// new ones written. No allocation per piece, and a piece that does not fit is
// left exactly as it was.

namespace {

// The host leaves at least this much room after a piece only when it is this
// much shorter than the control's buffer; longer pieces are not touched.
const size_t REWRITE_MARGIN = 30;
const unsigned DEEPEST_COLOURED_LEVEL = 5;
const char SUBJECT_LABEL[] = "\\b Subject:";
const char COLOR_TABLE_OPENING[] = "{\\colortbl";
const char DEFAULT_COLOR_WORD[] = "\\cf0";
const char PARAGRAPH_MARK[] = "\\par";
const char LINE_BREAK[] = "\r\n";
const char SUBJECT_LINE_END[] = " \r\n\\par ";
const char HEADER_OPENING[] = "\\plain";

const size_t SUBJECT_LABEL_LENGTH = sizeof SUBJECT_LABEL - 1;
const size_t DEFAULT_COLOR_WORD_LENGTH = sizeof DEFAULT_COLOR_WORD - 1;
const size_t SUBJECT_LINE_END_LENGTH = sizeof SUBJECT_LINE_END - 1;
const size_t HEADER_OPENING_LENGTH = sizeof HEADER_OPENING - 1;


// ---------------------------------------------------------------------------
// Searching a piece. Escaped Japanese text has a backslash every four bytes,
// so the searches look for the first two bytes of what they want together:
// sixteen positions at a time with SSE2, otherwise one at a time.

#ifdef HUESCOPE_VECTOR_SEARCH
// Byte i all ones: block[i] == a and block[i + 1] == b, for i from 0 to 15.
inline __m128i pairMatches(const char* block, __m128i a, __m128i b)
{
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 1));
    return _mm_and_si128(_mm_cmpeq_epi8(here, a), _mm_cmpeq_epi8(next, b));
}

inline unsigned byteBits(__m128i matches)
{
    return static_cast<unsigned>(_mm_movemask_epi8(matches));
}

// Bit i: block[i] == a and block[i + 1] == b, for i from 0 to 15.
unsigned pairBits(const char* block, __m128i a, __m128i b)
{
    return byteBits(pairMatches(block, a, b));
}

// Bits 0 to 63 of four blocks' matches; one test tells first whether there
// is any, as mostly there is none.
inline unsigned long long bits64(__m128i m0, __m128i m1, __m128i m2, __m128i m3)
{
    if (!byteBits(_mm_or_si128(_mm_or_si128(m0, m1), _mm_or_si128(m2, m3))))
        return 0;
    return static_cast<unsigned long long>(byteBits(m0))
           | static_cast<unsigned long long>(byteBits(m1)) << 16
           | static_cast<unsigned long long>(byteBits(m2)) << 32
           | static_cast<unsigned long long>(byteBits(m3)) << 48;
}
#endif

#ifdef HUESCOPE_VECTOR_SEARCH
// The forward searches run to the piece's end, and recolorRtfPiece has made
// sure that the buffer goes on for REWRITE_MARGIN bytes after it. So they
// read whole blocks of 16, and the byte after each, even when the last one
// goes past the end: no narrower tail, no block read twice. What lies past
// the end is never taken for a hit.
static_assert(REWRITE_MARGIN >= 17, "a block and the byte after it fit after the piece");

// Bits 0 to 63: pairBits of the four blocks from block on.
inline unsigned long long pairBits64(const char* block, __m128i a, __m128i b)
{
    return bits64(pairMatches(block, a, b), pairMatches(block + 16, a, b),
                  pairMatches(block + 32, a, b), pairMatches(block + 48, a, b));
}
#endif

// First p in [begin, end) with p[0] == a and p[1] == b, both inside the
// range, or null. end is the piece's end (see above).
const char* findPair(const char* begin, const char* end, char a, char b)
{
    const char* p = begin;
#ifdef HUESCOPE_VECTOR_SEARCH
    const __m128i first = _mm_set1_epi8(a);
    const __m128i second = _mm_set1_epi8(b);
    // The first hit is the earliest; when it is not wholly inside the range,
    // no later one is either. What is looked for is often near the start (a
    // label after a control word or two), so one block goes first alone.
    if (p < end) {
        if (const unsigned hits = pairBits(p, first, second)) {
            const char* at = p + __builtin_ctz(hits);
            return end - at >= 2 ? at : nullptr;
        }
        p += 16;
    }
    for (; end - p >= 64; p += 64) {
        if (const unsigned long long hits = pairBits64(p, first, second)) {
            const char* at = p + __builtin_ctzll(hits);
            return end - at >= 2 ? at : nullptr;
        }
    }
    for (; p < end; p += 16) {
        if (const unsigned hits = pairBits(p, first, second)) {
            const char* at = p + __builtin_ctz(hits);
            return end - at >= 2 ? at : nullptr;
        }
    }
    return nullptr;
#else
    for (; end - p >= 2; ++p) {
        if (p[0] == a && p[1] == b)
            return p;
    }
    return nullptr;
#endif
}

// Last p in [begin, end) with p[0] == a and p[1] == b, both inside the range,
// or null.
const char* findLastPair(const char* begin, const char* end, char a, char b)
{
#ifdef HUESCOPE_VECTOR_SEARCH
    if (end - begin >= 17) {
        const __m128i first = _mm_set1_epi8(a);
        const __m128i second = _mm_set1_epi8(b);
        // Blocks from the back; the first one starts at begin and may overlap
        // the one after it, whose positions are masked off.
        const char* limit = end - 17;   // start of the next block to look at
        for (;;) {
            const char* block = limit >= begin ? limit : begin;
            unsigned hits = pairBits(block, first, second);
            if (block != limit)
                hits &= (1u << (16 - (block - limit))) - 1;
            if (hits)
                return block + (31 - __builtin_clz(hits));
            if (block == begin)
                return nullptr;
            limit -= 16;
        }
    }
#endif
    for (ptrdiff_t i = (end - begin) - 2; i >= 0; --i) {
        if (begin[i] == a && begin[i + 1] == b)
            return begin + i;
    }
    return nullptr;
}

// First byte c in [begin, end), or null; end is the piece's end (see
// findPair). The byte looked for is usually a few bytes away.
const char* findByte(const char* begin, const char* end, char c)
{
#ifdef HUESCOPE_VECTOR_SEARCH
    const __m128i wanted = _mm_set1_epi8(c);
    for (const char* p = begin; p < end; p += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (const unsigned hits = byteBits(_mm_cmpeq_epi8(block, wanted))) {
            const char* at = p + __builtin_ctz(hits);
            return at < end ? at : nullptr;
        }
    }
    return nullptr;
#else
    return static_cast<const char*>(memchr(begin, c, static_cast<size_t>(end - begin)));
#endif
}

// First occurrence of needle (a constant of at least two bytes) wholly
// inside [begin, end), or null; end is the piece's end.
template <size_t SIZE>
const char* findText(const char* begin, const char* end, const char (&needle)[SIZE])
{
    const size_t length = SIZE - 1;
    for (const char* p = begin; (p = findPair(p, end, needle[0], needle[1])) != nullptr; ++p) {
        if (static_cast<size_t>(end - p) < length)
            return nullptr;
        if (memcmp(p + 2, needle + 2, length - 2) == 0)
            return p;
    }
    return nullptr;
}

// Last occurrence of needle (a constant of at least two bytes) wholly inside
// [begin, end).
template <size_t SIZE>
const char* findLastText(const char* begin, const char* end, const char (&needle)[SIZE])
{
    const size_t length = SIZE - 1;
    const char* limit = end;
    while (const char* p = findLastPair(begin, limit, needle[0], needle[1])) {
        if (static_cast<size_t>(end - p) >= length && memcmp(p + 2, needle + 2, length - 2) == 0)
            return p;
        limit = p + 1;
    }
    return nullptr;
}

// Mail text reaches the RTF with every backslash doubled, so a backslash that
// follows an odd number of backslashes is the second half of such a pair:
// "\\par" or "\\cf0" there is text the reader sees (a path such as
// C:\parts), not a control word. Counted back to the piece's start.
bool escapedByBackslash(const char* pieceStart, const char* p)
{
    size_t run = 0;
    while (p > pieceStart && p[-1] == '\\') {
        --p;
        ++run;
    }
    return (run & 1) != 0;
}

// The first control word needle (a constant beginning with a backslash) in
// the piece [begin, end) that is not text, or null.
template <size_t SIZE>
const char* findControlWord(const char* begin, const char* end, const char (&needle)[SIZE])
{
    for (const char* p = begin; (p = findText(p, end, needle)) != nullptr; ++p) {
        if (!escapedByBackslash(begin, p))
            return p;
    }
    return nullptr;
}

// The last of them in [from, end).
template <size_t SIZE>
const char* findLastControlWord(const char* pieceStart, const char* from, const char* end,
                                const char (&needle)[SIZE])
{
    for (const char* limit = end; const char* p = findLastText(from, limit, needle);
         limit = p) {
        if (!escapedByBackslash(pieceStart, p))
            return p;
    }
    return nullptr;
}

// What one pass over part of a piece found: the host's "\\cf0" resets to the
// default colour (where the first few are, so that the rewrite need not look
// for them again) and the first occurrence of one other mark.
const size_t NOTED_RESETS = 8;

struct PieceScan {
    const char* mark;    // first occurrence of the mark, or null
    size_t resets;       // every "\\cf0" scanned
    const char* resetAt[NOTED_RESETS];   // the first of them, in order
};

// Looks at one position where "\\c" or the mark's first two bytes may stand;
// returns true when the scan is to stop there.
template <size_t MARK_SIZE>
inline bool notePosition(const char* pieceStart, const char* p, const char* end,
                         const char (&mark)[MARK_SIZE], bool stopAtMark, PieceScan* scan)
{
    const size_t markLength = MARK_SIZE - 1;
    const size_t room = static_cast<size_t>(end - p);
    if (p[0] == '\\' && escapedByBackslash(pieceStart, p))
        return false;
    if (room >= DEFAULT_COLOR_WORD_LENGTH
        && memcmp(p, DEFAULT_COLOR_WORD, DEFAULT_COLOR_WORD_LENGTH) == 0) {
        if (scan->resets < NOTED_RESETS)
            scan->resetAt[scan->resets] = p;
        ++scan->resets;
        return false;
    }
    if (!scan->mark && room >= markLength && memcmp(p, mark, markLength) == 0) {
        scan->mark = p;
        return stopAtMark;
    }
    return false;
}

#ifdef HUESCOPE_VECTOR_SEARCH
// Positions 0 to 15 of block where "\\c" or the mark's first two bytes stand,
// as bytes of all ones (blockHits: as bits), and possibly others, which
// notePosition turns away. The mark's bytes are template arguments so that
// they are constants. When the mark is a control word too, every backslash
// that does not open a "\\'" escape is taken: in escaped text the escapes
// are nearly all the backslashes there are, and one comparison fewer covers
// both.
template <char MARK_FIRST, char MARK_SECOND>
__m128i blockMatches(const char* block)
{
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 1));
    const __m128i backslash = _mm_cmpeq_epi8(here, _mm_set1_epi8('\\'));
    if (MARK_FIRST == '\\' && MARK_SECOND != '\'') {
        const __m128i escape = _mm_cmpeq_epi8(next, _mm_set1_epi8('\''));
        return _mm_andnot_si128(escape, backslash);
    }
    const __m128i resets = _mm_and_si128(backslash, _mm_cmpeq_epi8(next, _mm_set1_epi8('c')));
    const __m128i marks = _mm_and_si128(_mm_cmpeq_epi8(here, _mm_set1_epi8(MARK_FIRST)),
                                        _mm_cmpeq_epi8(next, _mm_set1_epi8(MARK_SECOND)));
    return _mm_or_si128(resets, marks);
}

template <char MARK_FIRST, char MARK_SECOND>
unsigned blockHits(const char* block)
{
    return byteBits(blockMatches<MARK_FIRST, MARK_SECOND>(block));
}
#endif

// One pass over [begin, end), end being the piece's end, for "\\cf0" and for
// mark (two bytes or more, beginning MARK_FIRST MARK_SECOND, and such that no
// "\\cf0" can overlap it: "\\par", CR LF). "\\cf0" cannot overlap itself
// either, so the count is what a left-to-right replacement meets. With
// stopAtMark the pass ends at the mark, and only the resets before it count.
// Backslashes that are text are told by counting back to begin, which must
// not follow a backslash (the piece's start, or the byte after the Subject
// label's colon).
template <char MARK_FIRST, char MARK_SECOND, size_t MARK_SIZE>
void scanPiece(const char* begin, const char* end, const char (&mark)[MARK_SIZE], bool stopAtMark,
               PieceScan* scan)
{
    scan->mark = nullptr;
    scan->resets = 0;
    const char* p = begin;
#ifdef HUESCOPE_VECTOR_SEARCH
    // Whole blocks (see findPair); the positions of the last one from end on
    // are dropped.
    for (; end - p >= 64; p += 64) {
        unsigned long long hits = bits64(blockMatches<MARK_FIRST, MARK_SECOND>(p),
                                         blockMatches<MARK_FIRST, MARK_SECOND>(p + 16),
                                         blockMatches<MARK_FIRST, MARK_SECOND>(p + 32),
                                         blockMatches<MARK_FIRST, MARK_SECOND>(p + 48));
        for (; hits; hits &= hits - 1) {
            if (notePosition(begin, p + __builtin_ctzll(hits), end, mark, stopAtMark, scan))
                return;
        }
    }
    for (; p < end; p += 16) {
        unsigned hits = blockHits<MARK_FIRST, MARK_SECOND>(p);
        if (end - p < 16)
            hits &= (1u << (end - p)) - 1;
        for (; hits; hits &= hits - 1) {
            if (notePosition(begin, p + __builtin_ctz(hits), end, mark, stopAtMark, scan))
                return;
        }
    }
#else
    for (; end - p >= 2; ++p) {
        if ((p[0] == '\\' && p[1] == 'c') || (p[0] == MARK_FIRST && p[1] == MARK_SECOND)) {
            if (notePosition(begin, p, end, mark, stopAtMark, scan))
                return;
        }
    }
#endif
}

// The resets of one stretch of a piece, for a move: all of them by position
// when the scan noted them all, otherwise looked for again, from the back.
struct ResetList {
    const char* const* at;
    size_t count;
    bool complete;
};

ResetList notedResets(const PieceScan& scan, size_t first, size_t count)
{
    if (scan.resets > NOTED_RESETS)
        return ResetList{nullptr, 0, false};
    return ResetList{scan.resetAt + first, count, true};
}

// ---------------------------------------------------------------------------
// Writing

// Everything is written straight into its place, byte by byte or from
// constants: text assembled in a scratch array and then copied would be read
// back with wider loads than it was stored with, which stalls.

// Decimal digits of value, with a minus sign when negative; returns the count.
inline size_t writeDecimal(char* out, long long value)
{
    if (value >= 0 && value < 10) {
        out[0] = static_cast<char>('0' + value);
        return 1;
    }
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

size_t decimalLength(long long value)
{
    if (value >= 0 && value < 10)
        return 1;
    unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    size_t length = value < 0 ? 2 : 1;
    while (magnitude >= 10) {
        magnitude /= 10;
        ++length;
    }
    return length;
}

size_t writeBytes(char* out, const char* text, size_t length)
{
    memcpy(out, text, length);
    return length;
}

// "\cf<index>", then "\b" and "\i" when asked: what a "\cf0" of the host
// becomes, so that its reset to the default colour does not end the quote
// colouring in mid-line. The index is written as a decimal number, so a large
// colour table still yields a valid control word.
struct ColorSelection {
    long long index;
    bool bold, italic;
    size_t length;
};

ColorSelection colorSelection(long long index, bool bold, bool italic)
{
    return ColorSelection{index, bold, italic,
                          3 + decimalLength(index) + (bold ? 2 : 0) + (italic ? 2 : 0)};
}

size_t writeStyleWords(char* out, bool bold, bool italic)
{
    size_t length = 0;
    if (bold)
        length += writeBytes(out + length, "\\b", 2);
    if (italic)
        length += writeBytes(out + length, "\\i", 2);
    return length;
}

inline size_t writeColorSelection(char* out, const ColorSelection& s)
{
    size_t length = writeBytes(out, "\\cf", 3);
    length += writeDecimal(out + length, s.index);
    return length + writeStyleWords(out + length, s.bold, s.italic);
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

size_t colorEntryLength(uint32_t color)
{
    return 4 + 6 + 5 + 1 + decimalLength(color & 0xFF) + decimalLength((color >> 8) & 0xFF)
           + decimalLength((color >> 16) & 0xFF);
}

// Moves buf[from, to) so that it ends at buf + destinationEnd, every "\cf0"
// in it replaced by selection (at least as long). Works from the back, so the
// bytes not yet moved are never overwritten; returns where the moved text
// now starts.
size_t moveWithColorResets(char* buf, size_t from, size_t to, size_t destinationEnd,
                           const ColorSelection& selection, ResetList resets)
{
    const char* begin = buf + from;
    const char* limit = buf + to;
    size_t destination = destinationEnd;
    size_t left = resets.count;
    for (;;) {
        const char* reset;
        if (resets.complete)
            reset = left > 0 ? resets.at[--left] : nullptr;
        else
            reset = findLastControlWord(buf, begin, limit, DEFAULT_COLOR_WORD);
        if (!reset)
            break;
        const char* after = reset + DEFAULT_COLOR_WORD_LENGTH;
        size_t tail = static_cast<size_t>(limit - after);
        destination -= tail;
        if (buf + destination != after)
            memmove(buf + destination, after, tail);
        destination -= selection.length;
        writeColorSelection(buf + destination, selection);
        limit = reset;
    }
    size_t rest = static_cast<size_t>(limit - begin);
    destination -= rest;
    if (buf + destination != begin)
        memmove(buf + destination, begin, rest);
    return destination;
}

// ---------------------------------------------------------------------------
// The three rewrites

unsigned colouredLevel(const ViewColoring& c, unsigned depth)
{
    if (!c.colorByLevel)
        return 1;
    return depth < DEEPEST_COLOURED_LEVEL ? depth : DEEPEST_COLOURED_LEVEL;
}

// Wraps the line, up to its paragraph mark, in a group that selects the quote
// colour; a line without "\par" gets no closing brace, as the group then ends
// wherever the control closes it. Every "\cf0" of the line, the group's own
// opening included (a colour index of 0 spells one), becomes the selection.
int wrapQuotedLine(char* buf, size_t cb, size_t pieceLength, const ViewColoring& c,
                   long long index, size_t* newLength)
{
    if (cb > SIZE_MAX / 2)
        return 0;
    const bool bold = c.quoteBold != 0;
    const bool italic = c.quoteItalic != 0;
    const ColorSelection selection = colorSelection(index, bold, italic);
    // "{", the selection, the style words once more when the selection's own
    // "\cf0" is a reset to replace, a space.
    const size_t styleLength = (bold ? 2 : 0) + (italic ? 2 : 0);
    const size_t openingLength = 1 + selection.length + (index == 0 ? styleLength : 0) + 1;

    PieceScan scan;
    scanPiece<'\\', 'p'>(buf, buf + pieceLength, PARAGRAPH_MARK, false, &scan);
    const char* par = scan.mark;
    const size_t growth = selection.length - DEFAULT_COLOR_WORD_LENGTH;
    if (growth != 0 && scan.resets > (cb - pieceLength) / growth)
        return 0;
    const size_t length = openingLength + pieceLength + (par ? 1 : 0) + scan.resets * growth;
    if (length >= cb)
        return 0;

    buf[length] = '\0';
    if (scan.resets == 0) {
        // The usual line: the text moves right past the opening, and the
        // paragraph mark one byte further, past the closing brace.
        const size_t parAt = par ? static_cast<size_t>(par - buf) : pieceLength;
        if (par) {
            memmove(buf + openingLength + parAt + 1, par, pieceLength - parAt);
            buf[openingLength + parAt] = '}';
        }
        memmove(buf + openingLength, buf, parAt);
    } else if (par) {
        const size_t parAt = static_cast<size_t>(par - buf);
        size_t before = 0;
        while (before < scan.resets && before < NOTED_RESETS && scan.resetAt[before] < par)
            ++before;
        size_t destination = moveWithColorResets(buf, parAt, pieceLength, length, selection,
                                                 notedResets(scan, before, scan.resets - before));
        buf[--destination] = '}';
        moveWithColorResets(buf, 0, parAt, destination, selection, notedResets(scan, 0, before));
    } else {
        moveWithColorResets(buf, 0, pieceLength, length, selection,
                            notedResets(scan, 0, scan.resets));
    }
    buf[0] = '{';
    size_t written = 1 + writeColorSelection(buf + 1, selection);
    if (index == 0)
        written += writeStyleWords(buf + written, bold, italic);
    buf[written] = ' ';
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

// Whether [begin, end) is nothing but control words: a backslash, letters,
// and an optional number. Text there (a subject written right after the
// label) would be shown twice once the run is repeated after the value.
// *end is the space that ends the run: no letter, digit or "-", so it stops
// every step at end without a bounds test of its own.
bool isControlWordRun(const char* begin, const char* end)
{
    const char* p = begin;
    while (p < end) {
        if (p[0] != '\\' || !isAsciiLetter(p[1]))
            return false;
        p += 2;
        while (isAsciiLetter(*p))
            ++p;
        if (*p == '-')
            ++p;
        while (isAsciiDigit(*p))
            ++p;
    }
    return true;
}

// The Subject header: the control-word run after the label ends with the
// host's "\cf0"; turning that into the header colour colours the value, and
// repeating the run as the host wrote it after the value brings the default
// colour back before the paragraph mark. Whatever followed the first CR LF
// after the value is replaced by the paragraph mark. A piece whose label is
// text, or whose run holds anything but control words, passes unchanged.
int recolorSubjectLine(char* buf, size_t cb, size_t pieceLength, long long headerIndex,
                       size_t* newLength)
{
    const char* end = buf + pieceLength;
    const char* label = findControlWord(buf, end, SUBJECT_LABEL);
    if (!label)
        return 0;
    const char* value = label + SUBJECT_LABEL_LENGTH;
    const char* runEnd = findByte(value, end, ' ');
    if (!runEnd || !isControlWordRun(value, runEnd))
        return 0;
    // One pass over the value for the line break that ends the Subject line,
    // counting resets on the way (the label ends in a colon, so no reset
    // straddles the value's start). The run holds no CR, so the line break
    // comes after it. A line before the label (another header in the same
    // piece) is kept as it is.
    PieceScan scan;
    scanPiece<'\r', '\n'>(value, end, LINE_BREAK, true, &scan);
    const char* lineBreak = scan.mark;
    const char* keptEnd = lineBreak ? lineBreak : end;

    const ColorSelection selection = colorSelection(headerIndex, false, false);
    const size_t growth = selection.length - DEFAULT_COLOR_WORD_LENGTH;
    const size_t valueAt = static_cast<size_t>(value - buf);
    const size_t keptAt = static_cast<size_t>(keptEnd - buf);
    const size_t runLength = static_cast<size_t>(runEnd - value);
    const size_t lineEndLength = lineBreak ? SUBJECT_LINE_END_LENGTH : 0;

    // Up to the line break (the value's resets coloured), the run again, the
    // paragraph mark.
    if (growth != 0 && scan.resets > cb / growth)
        return 0;
    const size_t coloured = keptAt + scan.resets * growth;
    const size_t length = coloured + runLength + lineEndLength;
    if (coloured >= cb || length >= cb)
        return 0;

    // The run is read before anything is written over it, and lands after
    // the value's old bytes, so the value is still whole when it moves.
    memmove(buf + coloured, value, runLength);
    if (lineBreak)
        memcpy(buf + coloured + runLength, SUBJECT_LINE_END, SUBJECT_LINE_END_LENGTH);
    buf[length] = '\0';
    // The header colour's index usually has one digit: the resets are
    // overwritten where they stand.
    if (growth == 0 && scan.resets <= NOTED_RESETS) {
        for (size_t k = 0; k < scan.resets; ++k)
            writeColorSelection(buf + (scan.resetAt[k] - buf), selection);
    } else {
        moveWithColorResets(buf, valueAt, keptAt, coloured, selection,
                            notedResets(scan, 0, scan.resets));
    }
    *newLength = length;
    return 1;
}

// Appends the header colour and the five level colours to the host's table.
// The host's entry count, one per semicolon, becomes the index of the first
// appended colour. A table that does not close within the piece, or whose
// extension does not fit, is left alone, and so is the count.
int extendColorTable(char* buf, size_t cb, size_t pieceLength, const ViewColoring& c,
                     int* colorTableBase, size_t* newLength)
{
    const char* end = buf + pieceLength;
    const char* table = findText(buf, end, COLOR_TABLE_OPENING);
    if (!table)
        return 0;
    const char* close = findByte(table, end, '}');
    if (!close)
        return 0;
    size_t entries = 0;
    for (const char* p = table; p < close; ++p)
        entries += *p == ';';
    if (entries > INT_MAX)
        return 0;

    size_t addedLength = colorEntryLength(c.headerColor);
    for (uint32_t color : c.levelColors)
        addedLength += colorEntryLength(color);
    const size_t length = pieceLength + addedLength;
    if (length >= cb)
        return 0;

    const size_t closeAt = static_cast<size_t>(close - buf);
    memmove(buf + closeAt + addedLength, close, pieceLength - closeAt);
    buf[length] = '\0';
    size_t at = closeAt + writeColorEntry(buf + closeAt, c.headerColor);
    for (uint32_t color : c.levelColors)
        at += writeColorEntry(buf + at, color);
    *newLength = length;
    *colorTableBase = static_cast<int>(entries);
    return 1;
}

// The piece is known to hold length bytes before its terminator.
bool beginsWith(const char* text, size_t length, const char* prefix, size_t prefixLength)
{
    return length >= prefixLength && memcmp(text, prefix, prefixLength) == 0;
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
    if (c.headerColoring && beginsWith(buf, pieceLength, HEADER_OPENING, HEADER_OPENING_LENGTH))
        return recolorSubjectLine(buf, cb, pieceLength, *colorTableBase, newLength);
    return extendColorTable(buf, cb, pieceLength, c, colorTableBase, newLength);
}
