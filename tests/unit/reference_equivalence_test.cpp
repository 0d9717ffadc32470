// The quote matching and the RTF piece rewrite against the plain first
// version kept in tests/fuzz/recolor_reference.h: on generated marker lists,
// lines and pieces, with the marker list set as the plug-in sets it, both
// must answer the same and leave the same bytes behind.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../fuzz/recolor_reference.h"
#include "quote/quote_depth.h"
#include "visible_text.h"
#include "viewer/rtf_recolor.h"

namespace {

struct Random {
    uint64_t state;
    unsigned below(unsigned n)
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<unsigned>(state % n);
    }
    bool chance(unsigned inEvery) { return below(inEvery) == 0; }
};

// Bytes that matter to the matcher: marker characters, the space, the comma,
// RTF syntax, both halves of double-byte characters, bytes whose escape has
// one hex digit, and a half-width katakana.
const unsigned char MARKER_BYTES[] = {'>', '>', '|', ' ', ',', ',', '\\', '\'', '{', '#', 'a', '0',
                                      0x81, 0x81, 0x84, 0x62, 0xE2, 0xB1, 0x05, 0x80, 0xFF, 0x7C};

std::string randomList(Random& r)
{
    static const char* const FIXED[] = {
        ">,|,\x81\x84,\x81\x62,\x81\x74,\x81\xE2", ">", ">>,>", ">,>>", "> ", " >", "",
        ",", ",,>,,", ">,\x81", "\x81,>", "\xB1|", "\xA1\x05", "\\", "{,>", "\x81\x84>",
        "\x81,>> ,\\'", "\x81\x84\x81,\x81\x84",
        // Many entries, and forms longer than four bytes.
        "a,b,c,d,e,f,g,h,>,|", ",a,,b,c,d,e,f,g,h,i,\x81\x84,>> ,|", ">>>>>,>>>>,>>>,>>,>",
        "\x81\x84\x81\x84\x81\x84,\x81\x84", "> > >,> >,>",
    };
    if (r.chance(3))
        return FIXED[r.below(sizeof FIXED / sizeof FIXED[0])];
    std::string list;
    // Now and then a long list, so that the forms past the headed ones count.
    unsigned length = r.chance(4) ? 13 + r.below(30) : r.below(13);
    for (unsigned i = 0; i < length; ++i)
        list += static_cast<char>(MARKER_BYTES[r.below(sizeof MARKER_BYTES)]);
    return list;
}

// The host's spelling: a byte with the top bit set and the one after it as
// \'xx, lower case ("%2x" pads one digit with a space).
std::string escapeForRtf(const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80 || i + 1 == text.size()) {
            out += static_cast<char>(c);
            continue;
        }
        for (unsigned char b : {c, static_cast<unsigned char>(text[i + 1])}) {
            out += "\\'";
            out += b >= 0x10 ? hex[b >> 4] : ' ';
            out += hex[b & 0xF];
        }
        ++i;
    }
    return out;
}

// A line made mostly of the list's own entries, spaces and stray bytes, so
// that lines of several levels, near misses and cut markers all come up.
std::string randomLine(Random& r, const std::string& list, bool rtf)
{
    std::vector<std::string> entries;
    size_t start = 0;
    for (size_t i = 0; i <= list.size(); ++i) {
        if (i == list.size() || list[i] == ',') {
            entries.push_back(list.substr(start, i - start));
            start = i + 1;
        }
    }
    std::string line;
    unsigned parts = r.below(8);
    for (unsigned i = 0; i < parts; ++i) {
        switch (r.below(6)) {
        case 0:
        case 1: {
            const std::string& e = entries[r.below(static_cast<unsigned>(entries.size()))];
            line += rtf && !r.chance(4) ? escapeForRtf(e) : e;
            break;
        }
        case 2: line.append(r.below(4), ' '); break;
        case 3: {
            // A prefix of an entry: markers cut short.
            const std::string& e = entries[r.below(static_cast<unsigned>(entries.size()))];
            std::string form = rtf ? escapeForRtf(e) : e;
            line += form.substr(0, form.empty() ? 0 : r.below(static_cast<unsigned>(form.size())));
            break;
        }
        case 4: line += static_cast<char>(MARKER_BYTES[r.below(sizeof MARKER_BYTES)]); break;
        default: line += rtf ? "\\'82\\'a0" : "\x82\xA0"; break;
        }
    }
    std::string cleaned;
    for (char ch : line)
        if (ch != '\0')
            cleaned += ch;
    return cleaned;
}

const int COLUMNS[] = {0, 1, 2, 3, 5, -1, -7, 100};

// One list twice: in the first version's working buffers, of exactly the
// documented sizes, and set as the plug-in sets it.
struct Matcher {
    std::string list;
    std::vector<char> scratch, escaped;
    reference::QuoteMatcher slow{};
    QuoteMarkers fast{};
    Matcher(const std::string& markers, int spaces, int column)
        : list(markers), scratch(list.size() + 1), escaped(4 * list.size() + 11)
    {
        slow = {list.c_str(), spaces, column, scratch.data(), scratch.size(), escaped.data(),
                escaped.size()};
        setQuoteMarkers(fast, list.c_str(), list.size(), spaces, column);
    }
    ~Matcher() { releaseQuoteMarkers(fast); }
};

} // namespace

TEST(ReferenceEquivalence, QuoteMatchingAgreesWithTheFirstVersion)
{
    Random r{0x2545F4914F6CDD1Dull};
    int failures = 0;
    for (int round = 0; round < 40000 && failures < 10; ++round) {
        const std::string list = randomList(r);
        const int spaces = static_cast<int>(r.below(2));
        const int column = COLUMNS[r.below(sizeof COLUMNS / sizeof COLUMNS[0])];
        const bool rtf = r.below(2) != 0;
        const std::string line = randomLine(r, list, rtf);
        const std::string what = "list " + visible(list) + " line " + visible(line) + " spaces "
                                 + std::to_string(spaces) + " column " + std::to_string(column)
                                 + (rtf ? " rtf" : " plain");

        Matcher m(list, spaces, column);
        const unsigned want = reference::refQuoteDepth(m.slow, line.c_str(), rtf);
        size_t wantLength = 777;
        const int wantMatch = reference::refMatchMarker(m.slow, line.c_str(), &wantLength, rtf);
        const size_t advanceIn = r.below(2);
        size_t wantAdvance = advanceIn;
        const int wantAfter =
            reference::refMatchMarkerAfterSpaces(m.slow, line.c_str(), &wantAdvance, rtf);

        const unsigned got = quoteDepth(m.fast, line.c_str(), rtf);
        size_t gotLength = 777;
        const int gotMatch = matchMarker(m.fast, line.c_str(), &gotLength, rtf);
        size_t gotAdvance = advanceIn;
        const int gotAfter = matchMarkerAfterSpaces(m.fast, line.c_str(), &gotAdvance, rtf);
        const bool same = got == want && gotMatch == wantMatch && gotLength == wantLength
                          && gotAfter == wantAfter && gotAdvance == wantAdvance;
        EXPECT_TRUE(same) << what << ": expected depth " << want << ", match " << wantMatch << "/"
                          << wantLength << ", after spaces " << wantAfter << "/" << wantAdvance
                          << "; got depth " << got << ", match " << gotMatch << "/" << gotLength
                          << ", after spaces " << gotAfter << "/" << gotAdvance;
        failures += !same;
    }
}

namespace {

// Fragments the host writes, and the ones a rewrite looks for, so that pieces
// with several resets, a paragraph mark anywhere, a Subject label, a colour
// table, a signature separator and quotes past the fifth level come up.
const char* const PIECE_PARTS[] = {
    "> ", ">> ", ">>>>>> ", ">>>>>>>>>> ", ">>>>>>>>>>> ", "--", "-- ", "\\'81\\'84", "\\'82\\'a0\\'82\\'a2", "\\par", "\\par\r\n", "\\cf0", "\\cf0 ",
    "\\cf1", "\r\n", "\\plain", "\\plain\\fs20", "\\b Subject:", "\\b0", " ", "  ",
    "{\\colortbl", " ;", "\\red0\\green0\\blue0;", "}", "{", ";", "\\", "\\c", "\\p", "x", "|",
    "\\b Subject:\\b0\\cf0  Re: ", "{\\colortbl ;\\red0\\green0\\blue0;}",
};

// A line with many of the host's colour resets, quoted or a Subject header,
// so that more resets come up than a pass over the piece notes down.
std::string pieceWithManyResets(Random& r)
{
    static const char* const OPENINGS[] = {
        "> ", ">> ", "\\plain\\fs20\\b Subject:\\b0\\cf0  ", "\\plain\\b Subject:", "\\'81\\'84 ",
        // Resets before the label, more than a pass notes down.
        "\\plain\\cf0\\cf0\\cf0\\cf0\\cf0\\cf0\\cf0\\cf0\\cf0\\cf0\\b Subject:\\cf0 ",
        "\\plain\\cf0\\cf0\\b Subject:",
        // The label after the first line break.
        "\\plain\\cf0 x\r\n\\b Subject:\\cf0 ", "\\plain\r\n\\b Sub\\b Subject:",
    };
    static const char* const FILLERS[] = {"x", "\\'82\\'a0", " ", "\\cf", "\\c", "\\cf1",
                                          "\\par", "\r\n", "abcdefghijklmnopq"};
    std::string piece = OPENINGS[r.below(sizeof OPENINGS / sizeof OPENINGS[0])];
    unsigned resets = 5 + r.below(30);
    for (unsigned i = 0; i < resets; ++i) {
        piece += "\\cf0";
        unsigned fill = r.below(4);
        for (unsigned k = 0; k < fill; ++k) {
            const char* filler = FILLERS[r.below(sizeof FILLERS / sizeof FILLERS[0])];
            // Line breaks and paragraph marks only now and then, so that most
            // resets come before them.
            if ((filler[0] == '\r' || filler[1] == 'p') && !r.chance(8))
                continue;
            piece += filler;
        }
    }
    if (r.chance(2))
        piece += r.chance(2) ? "\\par\r\n" : "\r\n\\par ";
    return piece;
}

// "--", maybe spaces, maybe the paragraph mark: separators and near misses.
std::string separatorLikePiece(Random& r)
{
    static const char* const HEADS[] = {"--", "--", "-", "---", ">--", "\\\\--", " --"};
    static const char* const TAILS[] = {"\\par\r\n", "\\par ", "\\par", "\\par\r\n ", "\\pard\r\n",
                                        "x\\par\r\n", "\\par x", "\\par\\par\r\n", "\r\n", ""};
    std::string piece = HEADS[r.below(sizeof HEADS / sizeof HEADS[0])];
    piece.append(r.below(4), ' ');
    return piece + TAILS[r.below(sizeof TAILS / sizeof TAILS[0])];
}

std::string randomPiece(Random& r)
{
    if (r.chance(5))
        return pieceWithManyResets(r);
    if (r.chance(6))
        return separatorLikePiece(r);
    std::string piece;
    unsigned parts = r.below(14);
    for (unsigned i = 0; i < parts; ++i) {
        if (r.chance(8))
            piece += static_cast<char>(1 + r.below(255));
        else
            piece += PIECE_PARTS[r.below(sizeof PIECE_PARTS / sizeof PIECE_PARTS[0])];
    }
    // Longer pieces now and then, so that the in-place moves go a long way.
    if (r.chance(4)) {
        std::string body;
        while (body.size() < 40 + r.below(300))
            body += PIECE_PARTS[r.below(sizeof PIECE_PARTS / sizeof PIECE_PARTS[0])];
        piece.insert(r.below(static_cast<unsigned>(piece.size() + 1)), body);
    }
    return piece;
}

const int BASES[] = {2, 0, -1, -2, -5, 7, 123456, INT_MAX - 3, INT_MAX, INT_MIN, INT_MIN + 1};
const size_t GUARD = 48;

struct PieceRun {
    int rewritten;
    size_t newLength;
    int base;
    int signature;             // inside the signature afterwards
    std::vector<char> bytes;   // cb bytes and the guard after them
};

template <class Rewrite>
PieceRun runPiece(const std::string& piece, size_t cb, int base, int signature, Rewrite rewrite)
{
    PieceRun run;
    run.bytes.assign(cb + GUARD, 'G');
    for (size_t i = 0; i < cb; ++i)
        run.bytes[i] = static_cast<char>('a' + i % 26);
    memcpy(run.bytes.data(), piece.data(), piece.size() < cb ? piece.size() : cb);
    if (piece.size() < cb)
        run.bytes[piece.size()] = '\0';
    run.newLength = 9999;
    run.base = base;
    run.signature = signature;
    run.rewritten = rewrite(run.bytes.data(), cb, &run.base, &run.signature, &run.newLength);
    return run;
}

} // namespace

TEST(ReferenceEquivalence, PieceRewriteAgreesWithTheFirstVersion)
{
    Random r{0x9E3779B97F4A7C15ull};
    int failures = 0;
    int rewrites = 0;
    for (int round = 0; round < 20000 && failures < 10; ++round) {
        const std::string list = randomList(r);
        ViewColoring c{};
        const unsigned flags = r.below(256);
        c.quoteColoring = !(flags & 1) || r.chance(2);
        c.headerColoring = !(flags & 2) || r.chance(2);
        c.colorByLevel = (flags >> 2) & 1;
        c.quoteBold = (flags >> 3) & 1;
        c.quoteItalic = (flags >> 4) & 1;
        c.levelRepeat = (flags >> 5) & 1;
        c.signatureChange = (flags >> 6) & 1;
        c.headerColor = r.below(2) ? 0x808080u : static_cast<uint32_t>(r.below(0xFFFFFF)) * 257u;
        for (uint32_t& level : c.levelColors)
            level = static_cast<uint32_t>(r.below(0x7FFFFFFF)) * 2u + r.below(2);
        c.signatureColor = static_cast<uint32_t>(r.below(0x7FFFFFFF)) * 2u + r.below(2);
        const int base = BASES[r.below(sizeof BASES / sizeof BASES[0])];
        const int signature = static_cast<int>(flags >> 7);
        const int spaces = static_cast<int>(r.below(2));
        const int column = COLUMNS[r.below(sizeof COLUMNS / sizeof COLUMNS[0])];
        const std::string piece = randomPiece(r);

        Matcher m(list, spaces, column);
        auto slowRewrite = [&](char* buf, size_t cb, int* b, int* s, size_t* n) {
            return reference::refRecolorRtfPiece(buf, cb, c, m.slow, b, s, n);
        };
        // Learn the rewritten length with room to spare, then try the sizes
        // around both limits: the result just fitting, and the margin.
        const PieceRun roomy = runPiece(piece, piece.size() + 600, base, signature, slowRewrite);
        std::vector<size_t> sizes = {piece.size() + 600, piece.size() + 30, piece.size() + 29,
                                     piece.size() + 31, 30, piece.size(), 4096};
        if (roomy.rewritten)
            for (size_t extra : {0, 1, 2})
                sizes.push_back(roomy.newLength + extra);

        for (size_t cb : sizes) {
            if (cb < 1)
                continue;
            const PieceRun want = runPiece(piece, cb, base, signature, slowRewrite);
            rewrites += want.rewritten;
            const PieceRun got = runPiece(
                piece, cb, base, signature, [&](char* buf, size_t n, int* b, int* s, size_t* l) {
                    return recolorRtfPiece(buf, n, c, m.fast, b, s, l);
                });
            const bool same = got.rewritten == want.rewritten
                              && got.newLength == want.newLength && got.base == want.base
                              && got.signature == want.signature && got.bytes == want.bytes;
            EXPECT_TRUE(same)
                << "piece " << visible(piece) << " cb " << cb << " list " << visible(list)
                << " base " << base << " flags " << flags << ": expected " << want.rewritten
                << " length " << want.newLength << " base " << want.base << " signature "
                << want.signature << " text "
                << visible(std::string(want.bytes.data(), strnlen(want.bytes.data(), cb)))
                << "; got " << got.rewritten << " length " << got.newLength << " base "
                << got.base << " signature " << got.signature << " text "
                << visible(std::string(got.bytes.data(), strnlen(got.bytes.data(), cb)));
            failures += !same;
        }
    }
    // The generator must reach the rewrites, not only the pass-through.
    EXPECT_GT(rewrites, 20000) << "too few pieces were rewritten to compare";
}

// Nothing after the piece's terminator belongs to it. Whatever the buffer
// holds there (here, every word, brace, space and line break the rewrite
// looks for) must not change the result: the rewrite is held against the
// first version run on the same piece with neutral bytes after it. The
// buffer is exactly cb bytes on the heap, so a read past it is reported.
TEST(ReferenceEquivalence, BytesAfterThePieceAreNeverTakenForIt)
{
    const char* const heads[] = {
        "> ",                                         // quoted, no paragraph mark
        "> \\'82\\'a0\\\\",                           // quoted, ends in a text backslash
        "\\plain\\fs20\\b Subject:\\b0\\cf0  Re: ",   // Subject, no line break
        "\\plain\\fs20\\b Subject:\\b0\\cf0",         // Subject, no space after the run
        "\\plain\\fs20\\b Subj",                      // label cut short
        "{\\rtf1{\\colortbl;\\red0\\green0\\blue0;",  // table that does not close
        "abc{\\colort",                               // table opening cut short
        "-- ",                                        // separator, no paragraph mark
        "--  \\pa",                                   // separator's mark cut short
    };
    const char* const tails[] = {
        "\\par\r\n", "\\cf0", "{\\colortbl;\\red1\\green2\\blue3;}", " \r\n\\par ",
        "\\b Subject:\\b0\\cf0 x\r\n", "}", " ", "\r\n", "\\",
    };
    ViewColoring c{};
    c.quoteColoring = 1;
    c.headerColoring = 1;
    c.signatureChange = 1;
    c.headerColor = 0x808080u;
    for (uint32_t& level : c.levelColors)
        level = 0x123456u;
    c.signatureColor = 0x654321u;
    int failures = 0;
    int checked = 0;
    int rewrites = 0;
    for (const char* head : heads) {
        for (size_t filler = 0; filler < 40 && failures < 10; ++filler) {
            // The filler goes where it keeps the piece's kind: after a quote
            // marker, inside the Subject value, before a table opening or
            // inside the table, among the separator's spaces or the header's
            // control words.
            std::string piece = head;
            if (piece[0] == '-')
                piece.insert(2, std::string(filler, ' '));
            else if (piece[0] == 'a')
                piece.insert(0, std::string(filler, 'q'));
            else if (piece[0] == '{')
                piece += std::string(filler, ';');
            else if (piece.compare(0, 2, "> ") == 0 || piece.back() == ' ')
                piece += std::string(filler, 'q');
            else
                piece.insert(piece.find('\\', 1), std::string(filler, ' ') + "\\i0");
            for (const char* tail : tails) {
                for (size_t extra : {30, 31, 33, 47, 64, 100, 300}) {
                    const size_t cb = piece.size() + extra;
                    std::vector<char> neutral(cb, 'x');
                    memcpy(neutral.data(), piece.c_str(), piece.size() + 1);
                    std::vector<char> hostile = neutral;
                    const size_t tailLength = strlen(tail);
                    for (size_t i = piece.size() + 1; i < cb; ++i)
                        hostile[i] = tail[(i - piece.size() - 1) % tailLength];

                    Matcher m(">", 1, 0);
                    int wantBase = 2;
                    int wantSignature = 0;
                    size_t wantLength = 9999;
                    const int want = reference::refRecolorRtfPiece(
                        neutral.data(), cb, c, m.slow, &wantBase, &wantSignature, &wantLength);
                    rewrites += want;
                    std::vector<char> buf = hostile;
                    int base = 2;
                    int signature = 0;
                    size_t length = 9999;
                    const int got =
                        recolorRtfPiece(buf.data(), cb, c, m.fast, &base, &signature, &length);
                    bool same = got == want && base == wantBase && signature == wantSignature;
                    if (same && got)
                        same = length == wantLength
                               && memcmp(buf.data(), neutral.data(), length + 1) == 0;
                    else if (same)
                        same = buf == hostile;
                    EXPECT_TRUE(same) << "piece " << visible(piece) << " cb " << cb
                                      << " after it " << visible(tail) << ": expected " << want
                                      << " length " << wantLength << ", got " << got
                                      << " length " << length;
                    failures += !same;
                    ++checked;
                }
            }
        }
    }
    EXPECT_GT(checked, 1000);
    // Both kinds of outcome are compared: rewrites, and pieces left alone.
    EXPECT_GT(rewrites, 500);
    EXPECT_LT(rewrites, checked / 2);
}
