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
