#include <gtest/gtest.h>
#include "text/dbcs.h"

TEST(Cp932Table, LeadAndTrailRanges)
{
    const DbcsTable& t = cp932Table();
    struct { unsigned char b; bool lead, trail; } cases[] = {
        {0x3E, false, false}, {0x40, false, true}, {0x7E, false, true}, {0x7F, false, false},
        {0x80, false, true}, {0x81, true, true}, {0x9F, true, true}, {0xA0, false, true},
        {0xA1, false, true}, {0xDF, false, true}, {0xE0, true, true}, {0xFC, true, true},
        {0xFD, false, false}, {0x00, false, false},
    };
    for (auto& c : cases) {
        EXPECT_EQ(c.lead, isLeadByte(t, c.b)) << "byte " << std::hex << int(c.b);
        EXPECT_EQ(c.trail, isTrailByte(t, c.b)) << "byte " << std::hex << int(c.b);
    }
}
