#include "compose/tab_expand.h"

#include <cstdint>

unsigned usableTabWidth(unsigned tabWidth)
{
    // The width comes from an INI value whose low byte may be 0; dividing by
    // it would crash the host, so it means the default instead.
    return tabWidth == 0 ? DEFAULT_TAB_WIDTH : tabWidth;
}

size_t countTabs(const char* text)
{
    size_t tabs = 0;
    if (!text)
        return 0;
    for (; *text; ++text)
        if (*text == '\t')
            ++tabs;
    return tabs;
}

size_t expandedCapacity(size_t tabs, size_t length, unsigned tabWidth)
{
    const size_t width = usableTabWidth(tabWidth);
    if (tabs > (SIZE_MAX - 1) / width)
        return 0;
    const size_t spaces = tabs * width;
    if (length > SIZE_MAX - 1 - spaces)
        return 0;
    return spaces + length + 1;
}

unsigned insertionStartColumn(uint32_t selectionStart, uint32_t lineStart)
{
    return selectionStart >= lineStart ? selectionStart - lineStart : 0;
}

unsigned spacesForTabKey(unsigned column, unsigned tabWidth)
{
    const unsigned width = usableTabWidth(tabWidth);
    return width - column % width;
}

// A half-converted text must not pass for a whole one.
static size_t failExpansion(char* out)
{
    out[0] = '\0';
    return (size_t)-1;
}

// Only the column's place between two stops decides a tab's width, so the
// column is kept modulo the width: a huge start column or a long line can
// then never overflow it.
size_t expandTabsInto(const char* text, unsigned startColumn, unsigned tabWidth,
                      char* out, size_t outSize)
{
    const unsigned width = usableTabWidth(tabWidth);
    unsigned column = startColumn % width;
    size_t written = 0;
    if (!out || outSize == 0)
        return (size_t)-1;
    out[0] = '\0';
    if (!text)
        return 0;
    for (; *text; ++text) {
        const char c = *text;
        if (c == '\t') {
            const unsigned spaces = width - column;
            if (outSize - 1 - written < spaces)
                return failExpansion(out);
            for (unsigned i = 0; i < spaces; ++i)
                out[written++] = ' ';
            column = 0;
            continue;
        }
        if (written >= outSize - 1)
            return failExpansion(out);
        out[written++] = c;
        column = c == '\n' ? 0 : (column + 1) % width;
    }
    out[written] = '\0';
    return written;
}
