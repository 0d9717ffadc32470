// The ANSI code page's lead and trail bytes, for the platform-free core.
#include <windows.h>
#include "text/dbcs.h"

static DbcsTable makeSystemTable()
{
    DbcsTable t = {};
    for (int b = 0; b < 256; ++b)
        t.lead[b] = IsDBCSLeadByte(static_cast<BYTE>(b)) ? 1 : 0;
    // A byte is a trail byte when, after some lead byte, the pair converts to
    // exactly one character. Every lead byte is tried: each row of the code
    // page leaves cells unassigned (row 0x81 of code page 932 lacks 0xAD-0xB7,
    // among others), and a conversion that refuses invalid characters fails
    // on those cells.
    for (int lead = 0x80; lead < 256; ++lead) {
        if (!t.lead[lead])
            continue;
        for (int b = 1; b < 256; ++b) {
            if (t.trail[b])
                continue;
            char pair[2] = {static_cast<char>(lead), static_cast<char>(b)};
            WCHAR wide[2];
            if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, pair, 2, wide, 2) == 1)
                t.trail[b] = 1;
        }
    }
    return t;
}

const DbcsTable& systemDbcsTable()
{
    static const DbcsTable table = makeSystemTable();
    return table;
}
