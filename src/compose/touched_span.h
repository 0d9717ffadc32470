// Which positions of the compose text an edit touched, judged from what the
// control shows before and after it: the selection and the text length.
#pragma once
#include <cstddef>
#include <cstdint>


struct TouchedSpan {
    int64_t from;   // first position whose line must be looked at again
    int64_t to;     // last such position (from <= to)
};

// An edit at the selection (typing, deleting, a paste, a replaced range)
// changes the text from where the selection began; an undo, a redo or a drop
// changes it wherever the control then puts the selection, which covers what
// came back or stands where text went. Text that grew by `growth` positions
// ends at the new selection, so it began that many positions before it.
TouchedSpan touchedSpan(int64_t beforeMin, int64_t afterMin, int64_t afterMax, int64_t growth,
                        bool atSelection);

// What an undo, a redo or a move changed, from the whole text before and
// after it as the text object model gives it (a position per UTF-16 unit):
// what the two share at their start and at their end is untouched, and the
// rest of the text after it is what came back or stands where text went.
// A position is added on either side, so that a line break cut in two by
// the shared units still has both its lines looked at.
TouchedSpan changedSpan(const char16_t* before, size_t beforeLength, const char16_t* after, size_t afterLength);
