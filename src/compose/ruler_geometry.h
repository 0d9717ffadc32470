// Where the compose ruler puts its ticks, digits and caret marker, and which
// column the caret stands in. All coordinates are client pixels of the
// compose control; the text is taken as a grid of equal columns of width w
// starting at COLUMN_ORIGIN_X. H is the ruler strip's height.
#pragma once
#include <cstddef>
#include <cstdint>

#include "text/dbcs.h"

const int32_t COLUMN_ORIGIN_X = 8;

// A caret line longer than this is not read; its caret column is the raw
// character offset.
const int64_t CARET_LINE_READ_LIMIT = 1024;

// x of column n: COLUMN_ORIGIN_X + n * w, held at the int32_t range.
int32_t columnX(int64_t n, int32_t w);

// Highest column whose x lies at or left of `clientRight`; -1 when there is
// none, or when w < 1 (no width, no columns).
int32_t rulerLastColumn(int32_t clientRight, int32_t w);

// First row of column n's tick; every tick runs down to row H - 2.
int32_t tickTopRow(int32_t n, int32_t H);

// The digit above column n, if it carries one, and the x of its text cell's
// left edge (the cell's top is row 0).
bool rulerDigit(int32_t n, int32_t w, char* digit, int32_t* x);

// The caret marker's columns of pixels, right edge exclusive; rows H - 6 to
// H - 2.
struct MarkerSpan {
    bool visible;
    int32_t left, right;
};
MarkerSpan caretMarkerSpan(uint32_t caretColumn, int32_t last, int32_t w);

// Column of the caret `offset` characters into a line of `lineLength` bytes:
// tabs move to the next stop, a double-byte character takes two columns.
uint32_t caretColumnWalk(const char* line, size_t lineLength, int64_t offset,
                         unsigned tabWidth, bool isRichEdit20, const DbcsTable& dbcs);

// The caret column as the ruler shows it: a line of more than
// CARET_LINE_READ_LIMIT characters is never read and gives the raw offset;
// otherwise the walk over the line text that was copied (`line` may be null
// for a long line).
uint32_t caretColumnForLine(int64_t lineChars, int64_t offset, const char* line,
                            size_t lineLength, unsigned tabWidth, bool isRichEdit20,
                            const DbcsTable& dbcs);

// Bytes of a line read into `buf`: up to the first NUL among the `copied`
// bytes the control reports, never beyond `bufSize`.
size_t copiedLineLength(const char* buf, size_t bufSize, int64_t copied);
