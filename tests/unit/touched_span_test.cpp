#include <gtest/gtest.h>
#include "compose/touched_span.h"

namespace {
struct SpanCase { const char* name; int64_t beforeMin, afterMin, afterMax, growth; bool atSelection; int64_t from, to; };

TEST(TouchedSpan, CoversWhatTheEditChanged)
{
    const SpanCase cases[] = {
        {"a character typed at 7", 7, 8, 8, 1, true, 7, 8},
        {"Backspace at 7", 7, 6, 6, -1, true, 6, 6},
        {"a range [3, 9) replaced by two characters", 3, 5, 5, -4, true, 3, 5},
        {"undo of typing, caret far away before", 900, 12, 12, -3, false, 12, 12},
        {"redo of a paste of 5, caret after it", 900, 20, 20, 5, false, 15, 20},
        {"undo restoring a selected range", 0, 4, 9, 5, false, 0, 9},
        {"growth reaching past the start", 0, 2, 2, 9, false, 0, 2},
    };
    for (const SpanCase& c : cases) {
        TouchedSpan span = touchedSpan(c.beforeMin, c.afterMin, c.afterMax, c.growth, c.atSelection);
        EXPECT_EQ(c.from, span.from) << c.name;
        EXPECT_EQ(c.to, span.to) << c.name;
    }
}
}  // namespace
