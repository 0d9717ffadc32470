// Hostile text through the tab expansion, into a buffer of exactly the size
// the compose hook would allocate: any write past it is an ASan report.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "compose/tab_expand.h"

static void check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

// Every byte but tabs comes out in order; each tab becomes the spaces up to
// the next stop.
static void checkExpansion(const std::string& in, unsigned start, unsigned width,
                           const char* out, size_t n)
{
    uint64_t column = start;
    size_t j = 0;
    for (char c : in) {
        if (c == '\t') {
            // The next stop strictly beyond the column, counted from the start.
            const uint64_t spaces = width - column % width;
            check(n - j >= spaces, "tab cut short");
            for (uint64_t i = 0; i < spaces; ++i)
                check(out[j++] == ' ', "tab not expanded to spaces");
            column += spaces;
            continue;
        }
        check(j < n && out[j] == c, "non-tab byte lost or moved");
        ++j;
        column = c == '\n' ? 0 : column + 1;
    }
    check(j == n, "extra output");
    check(memchr(out, '\t', n) == nullptr, "tab left in output");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    unsigned start;
    memcpy(&start, data, 4);
    const unsigned width = data[4];
    const std::string text((const char*)data + 5, strnlen((const char*)data + 5, size - 5));
    const unsigned stop = usableTabWidth(width);

    const size_t capacity = expandedCapacity(countTabs(text.c_str()), text.size(), width);
    check(capacity > text.size(), "capacity below the text");
    char* out = (char*)malloc(capacity);
    const size_t n = expandTabsInto(text.c_str(), start, width, out, capacity);
    check(n != (size_t)-1 && n < capacity && out[n] == '\0', "worst-case capacity refused");
    checkExpansion(text, start, stop, out, n);
    free(out);

    // One byte less than the result needs must be refused without overrun.
    char* tight = (char*)malloc(n + 1);
    check(expandTabsInto(text.c_str(), start, width, tight, n + 1) == n, "exact size refused");
    check(expandTabsInto(text.c_str(), start, width, tight, n) == (size_t)-1, "short buffer accepted");
    free(tight);
    return 0;
}
