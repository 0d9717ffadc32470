#include "compose/line_positions.h"

#include <cstring>

void beginLineWalk(LineWalk* w, const char* text, size_t length, int64_t start,
                   bool isRichEdit20, const DbcsTable& dbcs)
{
    w->text = text;
    w->length = text ? length : 0;
    w->next = 0;
    w->position = start;
    w->isRichEdit20 = isRichEdit20;
    w->dbcs = &dbcs;
    w->done = false;
}

// Offset of the first `separator` byte at or after `from`, or `length`.
static size_t findSeparator(const char* text, size_t length, size_t from, char separator)
{
    if (from >= length)
        return length;
    const void* hit = memchr(text + from, separator, length - from);
    return hit ? (size_t)((const char*)hit - text) : length;
}

bool nextLine(LineWalk* w, LineSpan* out)
{
    if (w->done)
        return false;
    const char separator = w->isRichEdit20 ? '\r' : '\n';
    const size_t start = w->next;
    const size_t end = findSeparator(w->text, w->length, start, separator);
    out->byteStart = start;
    out->byteLength = end - start;
    out->cpStart = w->position;
    out->cpLength = w->isRichEdit20
        ? multibyteCharCount(w->text + start, end - start, *w->dbcs)
        : (int64_t)(end - start);

    size_t following = end + 1;
    // RichEdit 2.0 keeps a CR LF pair as one break, so the LF goes with it.
    if (w->isRichEdit20 && following < w->length && w->text[following] == '\n') {
        ++following;
        // A lead byte without its trail byte before the pair takes the CR
        // for its trail byte when the control converts the text: the two
        // show as one character, and the LF alone breaks the line.
        if (endsInLoneLeadByte(w->text + start, end - start, *w->dbcs))
            ++out->cpLength;
    }
    w->position += out->cpLength + 1;
    w->next = following;
    // No separator, or nothing after the last one: the text ended in a break,
    // and the empty line the control shows there is not the text's own.
    w->done = end >= w->length || following >= w->length;
    return true;
}

int64_t multibyteCharCount(const char* s, size_t length, const DbcsTable& dbcs)
{
    int64_t count = 0;
    size_t i = 0;
    while (i < length) {
        if (isLeadByte(dbcs, (unsigned char)s[i])) {
            if (i + 1 >= length)
                break;
            i += 2;
        } else {
            i += 1;
        }
        ++count;
    }
    return count;
}

// Bytes the position at text[i] takes: on RichEdit 2.0 a lead byte with a
// trail byte after it, or a CR LF pair, takes two; anything else one.
static size_t positionBytes(const char* text, size_t i, size_t length, bool isRichEdit20, const DbcsTable& dbcs)
{
    if (!isRichEdit20 || i + 1 >= length)
        return 1;
    const unsigned char b = (unsigned char)text[i];
    const unsigned char after = (unsigned char)text[i + 1];
    return (isLeadByte(dbcs, b) && isTrailByte(dbcs, after)) || (b == '\r' && after == '\n') ? 2 : 1;
}

int64_t pastedPositionCount(const char* text, size_t length, bool isRichEdit20,
                            const DbcsTable& dbcs)
{
    if (!text)
        return 0;
    int64_t count = 0;
    for (size_t i = 0; i < length; i += positionBytes(text, i, length, isRichEdit20, dbcs))
        ++count;
    return count;
}

static bool isBreak(char16_t c)
{
    return c == u'\r' || c == u'\n';
}

ParagraphBounds paragraphBounds(const char16_t* text, size_t length, size_t from, size_t to)
{
    ParagraphBounds bounds = {0, length, false, false};
    if (to > length)
        to = length;
    if (from > to)
        from = to;
    // A position between the CR and the LF of a pair stands in the break
    // that ends the line before it.
    if (from > 0 && from < length && text[from - 1] == u'\r' && text[from] == u'\n')
        --from;
    if (to > 0 && to < length && text[to - 1] == u'\r' && text[to] == u'\n')
        --to;
    for (size_t i = from; i > 0; --i) {
        if (isBreak(text[i - 1])) {
            bounds.start = i;
            bounds.startFound = true;
            break;
        }
    }
    for (size_t i = to; i < length; ++i) {
        if (isBreak(text[i])) {
            bounds.end = i;
            bounds.endFound = true;
            break;
        }
    }
    return bounds;
}

bool nextTextLine(const char16_t* text, size_t length, size_t* next, TextLine* line)
{
    if (*next >= length)
        return false;
    size_t end = *next;
    while (end < length && !isBreak(text[end]))
        ++end;
    line->start = *next;
    line->length = end - *next;
    if (end < length && text[end] == u'\r' && end + 1 < length && text[end + 1] == u'\n')
        ++end;
    *next = end < length ? end + 1 : end;
    return true;
}

// FNV-1a over the units.
uint32_t textChecksum(const char16_t* text, size_t length)
{
    uint32_t sum = 2166136261u;
    for (size_t i = 0; i < length; ++i) {
        sum = (sum ^ static_cast<uint16_t>(text[i])) * 16777619u;
    }
    return sum;
}

size_t countByte(const char* text, size_t length, char b)
{
    size_t count = 0;
    if (!text)
        return 0;
    for (size_t i = 0; i < length; ++i)
        if (text[i] == b)
            ++count;
    return count;
}

size_t widenLineBreaks(const char* text, size_t length, char* out, size_t outSize)
{
    if (!out || outSize == 0)
        return (size_t)-1;
    size_t written = 0;
    for (size_t i = 0; text && i < length; ++i) {
        const bool cr = text[i] == '\r';
        const size_t need = cr ? 2 : 1;
        if (outSize - 1 - written < need) {
            out[0] = '\0';
            return (size_t)-1;
        }
        out[written++] = text[i];
        if (cr)
            out[written++] = '\n';
    }
    out[written] = '\0';
    return written;
}
