#include <gtest/gtest.h>
#include "settings/sheet/sheet_layout.h"

namespace {
struct CentreCase {
    int ownerLeft, ownerTop, ownerWidth, ownerHeight, sheetWidth, sheetHeight;
    int x, y;
};

TEST(SheetLayout, CentresOverOwnerWithLeftEdgeOnMultipleOf8)
{
    const CentreCase cases[] = {
        // 200 + 101 + 4 = 305, cleared to 304; 150 + 50 = 200.
        {101, 50, 800, 600, 400, 300, 304, 200},
        // -100 - 300 + 4 = -396, cleared to -400 (rounded down, not towards zero).
        {-300, 0, 200, 300, 400, 300, -400, 0},
        // Already on a multiple of 8 after the nudge: 100 + 0 + 4 = 104.
        {0, 0, 600, 400, 400, 300, 104, 50},
        // Odd differences halve towards zero: (401 - 400) / 2 = 0, (301 - 300) / 2 = 0.
        {8, 9, 401, 301, 400, 300, 8, 9},
        // A sheet taller than its owner: (100 - 301) / 2 = -100 (truncated), not -101.
        {16, 40, 400, 100, 400, 301, 16, -60},
        // Negative halving of the width: (100 - 401) / 2 = -150, + 10 + 4 = -136.
        {10, 0, 100, 100, 401, 100, -136, 0},
        // -150 + 3 + 4 = -143, cleared to -144.
        {3, 0, 100, 100, 401, 100, -144, 0},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const CentreCase& c = cases[i];
        SheetPoint at = centreSheetOnOwner(c.ownerLeft, c.ownerTop, c.ownerWidth, c.ownerHeight, c.sheetWidth,
                                           c.sheetHeight);
        EXPECT_EQ(c.x, at.x) << "case " << i << ": expected x " << c.x << " got " << at.x;
        EXPECT_EQ(c.y, at.y) << "case " << i << ": expected y " << c.y << " got " << at.y;
    }
}

TEST(SheetLayout, AlignDownTo8RoundsTowardsMinusInfinity)
{
    const int cases[][2] = {{0, 0},   {7, 0},    {8, 8},     {15, 8},   {305, 304},
                            {-1, -8}, {-8, -8},  {-9, -16},  {-396, -400}, {-400, -400}};
    for (const auto& c : cases)
        EXPECT_EQ(c[1], alignDownTo8(c[0])) << "alignDownTo8(" << c[0] << "): expected " << c[1];
}
}  // namespace
