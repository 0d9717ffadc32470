// Quote matching against hostile marker lists and lines.
// Input: [flags][ignoreColumn] marker-list NUL line
//   flags bit 0: ignoreLeadingSpaces, bit 1: LevelRepeat (the level a
//   quoted line of that depth is coloured at, in the viewer and the compose
//   window, is checked too)
// The list and line are copied into heap blocks of exactly their size, and the
// first version's working buffers get exactly the documented sizes, so that
// any read or write past them is reported. Every answer of the list set as
// the plug-in sets it is checked against that first, plain version of the
// matcher (recolor_reference.h).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "quote/quote_depth.h"
#include "settings/settings.h"
#include "recolor_reference.h"

static char* copyAsString(const uint8_t* data, size_t size)
{
    char* s = static_cast<char*>(malloc(size + 1));
    memcpy(s, data, size);
    s[size] = '\0';
    return s;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    int ignoreLeadingSpaces = data[0] & 1;
    int levelRepeat = (data[0] >> 1) & 1;
    int ignoreColumn = static_cast<int8_t>(data[1]);
    data += 2;
    size -= 2;

    const uint8_t* separator = static_cast<const uint8_t*>(memchr(data, 0, size));
    size_t listSize = separator ? static_cast<size_t>(separator - data) : size;
    size_t lineOffset = separator ? listSize + 1 : size;
    char* list = copyAsString(data, listSize);
    char* line = copyAsString(data + lineOffset, size - lineOffset);
    size_t listLength = strlen(list);
    size_t lineLength = strlen(line);
    char* listBefore = copyAsString(data, listSize);

    size_t scratchSize = listLength + 1;
    size_t escapedSize = 4 * listLength + 11;
    char* referenceScratch = static_cast<char*>(malloc(scratchSize));
    char* referenceEscaped = static_cast<char*>(malloc(escapedSize));
    reference::QuoteMatcher slow{list, ignoreLeadingSpaces, ignoreColumn, referenceScratch, scratchSize,
                                 referenceEscaped, escapedSize};
    QuoteMarkers m{};
    if (!setQuoteMarkers(m, list, listLength, ignoreLeadingSpaces, ignoreColumn))
        __builtin_trap();

    for (bool rtf : {false, true}) {
        const unsigned want = reference::refQuoteDepth(slow, line, rtf);
        size_t wantLength = 0;
        const int wantMatch = reference::refMatchMarker(slow, line, &wantLength, rtf);
        for (size_t advanceIn : {0, 1}) {
            size_t wantAdvance = advanceIn;
            const int wantAfter = reference::refMatchMarkerAfterSpaces(slow, line, &wantAdvance, rtf);
            size_t gotAdvance = advanceIn;
            if (matchMarkerAfterSpaces(m, line, &gotAdvance, rtf) != wantAfter
                || gotAdvance != wantAdvance)
                __builtin_trap();
        }
        size_t gotLength = 0;
        if (quoteDepth(m, line, rtf) != want
            || matchMarker(m, line, &gotLength, rtf) != wantMatch || gotLength != wantLength)
            __builtin_trap();

        unsigned depth = quoteDepth(m, line, rtf);
        // Every marker that counts covers at least one byte of the line.
        if (depth > lineLength)
            __builtin_trap();
        size_t length = 0;
        if (matchMarker(m, line, &length, rtf) && (length == 0 || length > lineLength))
            __builtin_trap();
        size_t advance = 0;
        if (matchMarkerAfterSpaces(m, line, &advance, rtf) && (advance == 0 || advance > lineLength))
            __builtin_trap();
        // An empty list holds only the empty marker, which never matches.
        if (depth > 0 && listLength == 0)
            __builtin_trap();
        // Depths past five stay at level 5, or cycle through 1 to 5.
        if (depth > 0) {
            const unsigned level = levelForDepth(depth, levelRepeat);
            const unsigned wantLevel = depth <= 5 ? depth : levelRepeat ? (depth - 1) % 5 + 1 : 5;
            if (level != wantLevel)
                __builtin_trap();
        }
    }
    if (strcmp(list, listBefore) != 0)
        __builtin_trap();

    free(referenceScratch);
    free(referenceEscaped);
    releaseQuoteMarkers(m);
    free(listBefore);
    free(line);
    free(list);
    return 0;
}
