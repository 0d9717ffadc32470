// The rewrite of one streamed RTF piece against hostile mail content.
// Input: [cb lo][cb hi][flags][base][list][colours x3][keys] piece bytes
//   cb = 30 + (cb lo | cb hi << 8) % 8163, so 30 to 8192
//   flags: bit 0 quote colouring, 1 header colouring, 2 colour by level,
//          3 bold, 4 italic, 5 ignore leading spaces, 6 wide colour table base
//   list: low 3 bits pick a marker list, the rest is the ignore column
//   keys: bit 0 signature set apart, 1 levels repeated, 2 inside the
//         signature already; the byte also makes the signature colour
// The control's buffer is a heap block of exactly cb bytes, so any access
// past it is reported. The piece bytes, up to a NUL, are a line of the
// host's, which streams it cb - 1 bytes and a terminator a call.
// The outcome of its first call (answer, new length, colour-table base,
// signature state and every byte of the buffer) must be the first, plain
// version's (recolor_reference.h). A piece left as it was leaves the base as it
// was and starts no signature. Each later call goes on with the line: it
// passes as it came and keeps the signature, unless the piece before ended
// as a line may end (in "\par" or "}").
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "viewer/rtf_recolor.h"
#include "fuzz_choices.h"
#include "recolor_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const size_t HEADER = 9;
    if (size < HEADER)
        return 0;
    size_t cb = 30 + (static_cast<size_t>(data[0]) | static_cast<size_t>(data[1]) << 8) % 8163;
    uint8_t flags = data[2];
    int base = static_cast<int8_t>(data[3]);
    if (flags & 0x40)
        base *= 16777215;   // near the ends of int, never past them
    const char* list = MARKER_LISTS[data[4] & 7];

    const uint8_t keys = data[8];
    ViewColoring c = coloringFromFlags(flags, keys);
    c.headerColor = static_cast<uint32_t>(data[5]) * 0x010203u;
    for (int i = 0; i < 5; ++i)
        c.levelColors[i] = static_cast<uint32_t>(data[6 + (i & 1)]) << (8 * (i % 4));
    // A top byte set now and then: only the low 24 bits may count.
    c.signatureColor = static_cast<uint32_t>(keys) * 0x03050709u;
    const int signatureBefore = insideSignatureFromKeys(keys);

    size_t listLength = strlen(list);
    size_t scratchSize = listLength + 1;
    size_t escapedSize = 4 * listLength + 11;
    const int spaces = (flags >> 5) & 1;
    const int column = static_cast<int8_t>(data[4]) >> 3;
    QuoteMarkers m{};
    if (!setQuoteMarkers(m, list, listLength, spaces, column))
        __builtin_trap();

    const uint8_t* piece = data + HEADER;
    const size_t pieceSize = strnlen(reinterpret_cast<const char*>(piece), size - HEADER);
    const size_t first = pieceSize < cb - 1 ? pieceSize : cb - 1;
    char* buf = static_cast<char*>(malloc(cb));
    char* before = static_cast<char*>(malloc(cb));
    memset(buf, 'Z', cb);
    memcpy(buf, piece, first);
    buf[first] = '\0';
    memcpy(before, buf, cb);

    int baseBefore = base;
    char* want = static_cast<char*>(malloc(cb));
    memcpy(want, before, cb);
    int wantBase = base;
    int wantSignature = signatureBefore;
    size_t wantLength = 0;
    // The first version builds its forms into working buffers on every call.
    char* referenceScratch = static_cast<char*>(malloc(scratchSize));
    char* referenceEscaped = static_cast<char*>(malloc(escapedSize));
    reference::QuoteMatcher slow{list, spaces, column, referenceScratch, scratchSize, referenceEscaped,
                                 escapedSize};
    const int wantRewritten =
        reference::refRecolorRtfPiece(want, cb, c, slow, &wantBase, &wantSignature, &wantLength);

    RtfStreamState stream = {signatureBefore, 0};
    size_t newLength = 0;
    int rewritten = recolorStreamedPiece(buf, cb, first, c, m, &base, &stream, &newLength);
    const int signature = stream.insideSignature;
    if (rewritten) {
        if (newLength >= cb || buf[newLength] != '\0' || strlen(buf) != newLength)
            __builtin_trap();
    } else {
        if (memcmp(buf, before, cb) != 0 || base != baseBefore
            || (signature != signatureBefore && signature != 0))
            __builtin_trap();
    }
    if (rewritten != wantRewritten || base != wantBase || signature != wantSignature
        || memcmp(buf, want, cb) != 0 || (rewritten && newLength != wantLength))
        __builtin_trap();
    for (size_t at = first; at < pieceSize; at += cb - 1) {
        const char* previous = reinterpret_cast<const char*>(piece) + at - (cb - 1);
        size_t end = cb - 1;
        while (end > 0 && strchr(" \r\n", previous[end - 1]))
            --end;
        const bool mayEnd = (end >= 1 && previous[end - 1] == '}')
                            || (end >= 4 && memcmp(previous + end - 4, "\\par", 4) == 0);
        const size_t n = pieceSize - at < cb - 1 ? pieceSize - at : cb - 1;
        memcpy(buf, piece + at, n);
        buf[n] = '\0';
        memcpy(before, buf, cb);
        const int signatureWas = stream.insideSignature;
        size_t newLength = 0;
        const int rewritten = recolorStreamedPiece(buf, cb, n, c, m, &base, &stream, &newLength);
        if (!mayEnd && (rewritten || memcmp(buf, before, cb) != 0 || stream.insideSignature != signatureWas))
            __builtin_trap();
    }

    free(referenceScratch);
    free(referenceEscaped);
    free(want);
    free(before);
    free(buf);
    releaseQuoteMarkers(m);
    return 0;
}
