// The ANSI code page's lead and trail bytes, for the platform-free core.
#include "compose/compose.h"
#include "compose/dbcs.h"

static DbcsTable makeSystemTable()
{
    DbcsTable t = {};
    for (int b = 0; b < 256; ++b)
        t.lead[b] = IsDBCSLeadByte(static_cast<BYTE>(b)) ? 1 : 0;
    // A byte is a trail byte when some lead byte followed by it converts to
    // exactly one character.
    BYTE lead = 0;
    for (int b = 0x80; b < 256 && !lead; ++b)
        if (t.lead[b])
            lead = static_cast<BYTE>(b);
    if (lead) {
        for (int b = 1; b < 256; ++b) {
            char pair[2] = {static_cast<char>(lead), static_cast<char>(b)};
            WCHAR wide[2];
            t.trail[b] = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, pair, 2, wide, 2) == 1 ? 1 : 0;
        }
    }
    return t;
}

const DbcsTable& systemDbcsTable()
{
    static const DbcsTable table = makeSystemTable();
    return table;
}
