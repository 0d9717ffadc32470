// Tab characters of text entering the compose control, turned into spaces up
// to the next tab stop, and the space count the Tab key types instead.
// Columns here are byte or position counts from the start of a line, not
// display widths.
#pragma once
#include <cstddef>
#include <cstdint>

// DEFAULT_TAB_WIDTH, the width a configured 0 falls back to.
#include "settings/settings.h"

// The tab width actually divided by: a configured 0 falls back to the default.
unsigned usableTabWidth(unsigned tabWidth);

// Tab bytes in a NUL-terminated text; 0 for a null text.
size_t countTabs(const char* text);

// Bytes an expansion of a text of `length` bytes holding `tabs` tabs may need,
// terminator included: every tab at its widest. 0 when that overflows.
size_t expandedCapacity(size_t tabs, size_t length, unsigned tabWidth);

// Column the first line of an inserted text starts from: the selection start
// less its line's first position, or 0 when the selection begins before that
// line (a selection spanning lines).
unsigned insertionStartColumn(uint32_t selectionStart, uint32_t lineStart);

// Copies the NUL-terminated `text` into `out` with every tab replaced by
// spaces up to the next stop, counting from `startColumn`. Writes at most
// `outSize` bytes, terminator included. Returns the length written, or
// (size_t)-1 when `out` is too small (out then holds nothing usable).
size_t expandTabsInto(const char* text, unsigned startColumn, unsigned tabWidth,
                      char* out, size_t outSize);

// Spaces the Tab key types at `column`: between 1 and the tab width.
unsigned spacesForTabKey(unsigned column, unsigned tabWidth);
