// How a narrow Shift_JIS text maps onto the compose control's character
// positions, line by line, for both rich edit versions:
//   RichEdit 2.0: lines end in CR (a CR LF pair is one break), a double-byte
//                 character is one position;
//   RichEdit 1.0: lines end in LF and keep the CR before it, every byte is a
//                 position.
// Texts are (pointer, length) slices of the caller's buffer; every byte of
// the slice is text, nothing past it is read. Positions are 64-bit so that the
// arithmetic is the same on both Windows targets and can never overflow for
// a start that came from a control.
#pragma once
#include <cstddef>
#include <cstdint>

#include "text/dbcs.h"

struct LineSpan {
    size_t byteStart;   // offset of the line's first byte in the text
    size_t byteLength;  // bytes of the line, separator excluded
    int64_t cpStart;    // control position of the line's first character
    int64_t cpLength;   // positions the line occupies, separator excluded
};

struct LineWalk {
    const char* text;
    size_t length;
    size_t next;        // byte offset where the next line begins
    int64_t position;   // control position where the next line begins
    bool isRichEdit20;
    const DbcsTable* dbcs;
    bool done;
};

// Prepares a walk over `text`, which stands in the control from `start` on.
void beginLineWalk(LineWalk* w, const char* text, size_t length, int64_t start,
                   bool isRichEdit20, const DbcsTable& dbcs);

// The next line to colour; false when there is none. An empty text yields one
// empty line at the start; a text ending in a line break yields no empty line
// after it.
bool nextLine(LineWalk* w, LineSpan* out);

// Characters of a RichEdit 2.0 line: a lead byte and the byte after it count
// once; a lead byte that is the slice's last byte ends the count uncounted.
int64_t multibyteCharCount(const char* s, size_t length, const DbcsTable& dbcs);

// Positions a pasted text occupies: bytes on RichEdit 1.0; on RichEdit 2.0 a
// lead byte with a trail byte after it is one, a CR LF pair is one, and any
// other byte is one.
int64_t pastedPositionCount(const char* text, size_t length, bool isRichEdit20,
                            const DbcsTable& dbcs);

// ---- the text as the text object model gives it ----
// UTF-16, a position per unit on both control versions; a line ends at CR,
// LF or a CR LF pair, whichever the control keeps (RichEdit 1.0 may keep
// CR LF, later versions CR).

// The lines of the slice that hold the units from `from` to `to`: from just
// after the last line break before `from` to the first one at or after
// `to`. A side with no break in the slice runs to the slice's end, and
// *found says which sides a break bounded.
struct ParagraphBounds {
    size_t start, end;
    bool startFound, endFound;
};
ParagraphBounds paragraphBounds(const char16_t* text, size_t length, size_t from, size_t to);

// The line that begins at *next, its break excluded; *next moves past the
// break. False once *next has reached the end.
struct TextLine {
    size_t start, length;
};
bool nextTextLine(const char16_t* text, size_t length, size_t* next, TextLine* line);

// A checksum of the slice, to tell cheaply whether a text is still the one
// seen before.
uint32_t textChecksum(const char16_t* text, size_t length);

// Occurrences of `b` in the slice.
size_t countByte(const char* text, size_t length, char b);

// Copies the slice into `out` with every CR written as CR LF, NUL-terminated:
// RichEdit 2.0 hands out bare CRs that must become real line breaks before the
// text goes back in. Needs length + CR count + 1 bytes; returns the length
// written, or (size_t)-1 when `out` is too small.
size_t widenLineBreaks(const char* text, size_t length, char* out, size_t outSize);
