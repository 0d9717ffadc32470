#include "text/dbcs.h"

static DbcsTable makeCp932()
{
    DbcsTable t = {};
    for (int b = 0; b < 256; ++b) {
        t.lead[b] = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        t.trail[b] = (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
    }
    return t;
}

const DbcsTable& cp932Table()
{
    static const DbcsTable table = makeCp932();
    return table;
}

bool endsInLoneLeadByte(const char* s, size_t length, const DbcsTable& t)
{
    size_t i = 0;
    bool lone = false;
    while (i < length) {
        const bool lead = isLeadByte(t, static_cast<unsigned char>(s[i]));
        lone = lead && i + 1 >= length;
        i += lead ? 2 : 1;
    }
    return lone;
}
