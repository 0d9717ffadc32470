#include "settings/settings.h"

static uint32_t channel(uint32_t color, int shift) { return (color >> shift) & 0xFF; }

void computeLevelColorsFrom(const uint32_t quoteColors[5], int autoGradient, uint32_t levelColors[5])
{
    if (!autoGradient) {
        for (int k = 0; k < 5; ++k)
            levelColors[k] = quoteColors[k];
        return;
    }
    const uint32_t a = quoteColors[0];
    const uint32_t b = quoteColors[4];
    levelColors[0] = a;
    levelColors[4] = b;
    for (int k = 1; k <= 3; ++k) {
        uint32_t mixed = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            // Signed division truncating toward zero: fifths of the span, so
            // levels 2 to 4 sit one to three fifths of the way from a.
            int step = (int(channel(a, shift)) - int(channel(b, shift))) / 5;
            int value = int(channel(a, shift)) - k * step;
            mixed |= uint32_t(value & 0xFF) << shift;
        }
        levelColors[k] = mixed;
    }
}

