#include <gtest/gtest.h>
#include "settings/settings.h"

namespace {
struct GradientCase { uint32_t a, b; uint32_t expected[5]; };

TEST(LevelColors, GradientInFifthsTruncatingTowardZero)
{
    const GradientCase cases[] = {
        {0x000000, 0xFFFFFF, {0x000000, 0x333333, 0x666666, 0x999999, 0xFFFFFF}},
        {0x000000, 0x0000FE, {0x000000, 0x000032, 0x000064, 0x000096, 0x0000FE}},
        // Falling span: step +51 per channel.
        {0xFFFFFF, 0x000000, {0xFFFFFF, 0xCCCCCC, 0x999999, 0x666666, 0x000000}},
        // Channel boundaries: each channel on its own, spans of 4 (step 0) and 5 (step 1).
        {0x0000FF, 0x0000FB, {0x0000FF, 0x0000FF, 0x0000FF, 0x0000FF, 0x0000FB}},
        {0x00FF00, 0x00FA00, {0x00FF00, 0x00FE00, 0x00FD00, 0x00FC00, 0x00FA00}},
        {0xFF0000, 0x000000, {0xFF0000, 0xCC0000, 0x990000, 0x660000, 0x000000}},
        {0x000000, 0x010101, {0x000000, 0x000000, 0x000000, 0x000000, 0x010101}},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const GradientCase& c = cases[i];
        // The middle quote colours must not matter in gradient mode.
        uint32_t quote[5] = {c.a, 0x123456, 0xABCDEF, 0x00FF00, c.b};
        uint32_t level[5] = {};
        computeLevelColorsFrom(quote, 1, level);
        for (int k = 0; k < 5; ++k)
            EXPECT_EQ(c.expected[k], level[k]) << "case " << i << " level " << k + 1 << std::hex
                                              << ": expected 0x" << c.expected[k] << " got 0x" << level[k];
    }
}

TEST(LevelColors, CopiedWhenNoGradientAndTopByteDropped)
{
    uint32_t quote[5] = {1, 2, 3, 4, 5};
    uint32_t level[5] = {};
    computeLevelColorsFrom(quote, 0, level);
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(quote[k], level[k]) << "level " << k + 1;

    // A stored value with bits above 23 keeps its ends whole but the mixed
    // levels carry only the three channels.
    uint32_t odd[5] = {0x7F000000, 0, 0, 0, 0x010000FF};
    computeLevelColorsFrom(odd, 1, level);
    EXPECT_EQ(0x7F000000u, level[0]);
    EXPECT_EQ(0x010000FFu, level[4]);
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(0u, level[k] >> 24) << "level " << k + 1;
}
}  // namespace
