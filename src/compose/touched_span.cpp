#include "compose/touched_span.h"


TouchedSpan touchedSpan(int64_t beforeMin, int64_t afterMin, int64_t afterMax, int64_t growth,
                        bool atSelection)
{
    int64_t from = afterMin - (growth > 0 ? growth : 0);
    if (atSelection && beforeMin < from)
        from = beforeMin;
    if (from < 0)
        from = 0;
    TouchedSpan span = {from, afterMax > from ? afterMax : from};
    return span;
}

TouchedSpan changedSpan(const char16_t* before, size_t beforeLength, const char16_t* after, size_t afterLength)
{
    const size_t shorter = beforeLength < afterLength ? beforeLength : afterLength;
    size_t prefix = 0;
    while (prefix < shorter && before[prefix] == after[prefix])
        ++prefix;
    size_t suffix = 0;
    while (suffix < shorter - prefix && before[beforeLength - 1 - suffix] == after[afterLength - 1 - suffix])
        ++suffix;
    const int64_t from = static_cast<int64_t>(prefix);
    const int64_t to = static_cast<int64_t>(afterLength - suffix);
    TouchedSpan span = {from > 0 ? from - 1 : 0, to + 1};
    return span;
}
