// Throughput of the platform-free core on the hot paths the host drives: the
// quote depth of every line the compose window recolours, the rewrite of every
// RTF piece streamed into the viewer, and the tab expansion of pasted text.
//
// Every measurement comes in a pair: the core operation, and next to it the
// cheapest thing that touches the same bytes (finding the line's end, copying
// the piece). The absolute numbers depend on the machine; the ratio within a
// pair does not, much, and is what tells whether the core is the bottleneck.
// Each core row carries that ratio as its x_baseline column.
//
// The sample text is Japanese in Shift_JIS, the only encoding the host uses.
// It is written here in UTF-8 for the reader and converted once with iconv.
#include <benchmark/benchmark.h>

#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "compose/tab_expand.h"
#include "quote/quote_depth.h"
#include "settings/settings.h"
#include "viewer/rtf_recolor.h"
#include "../host/rtf_escape.h"

namespace {

// ---------------------------------------------------------------------------
// Sample text

std::string toShiftJis(const char* utf8)
{
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        fprintf(stderr, "huescope_bench: iconv has no CP932 converter\n");
        exit(2);
    }
    std::string in(utf8);
    std::string out(in.size() * 2 + 8, '\0');
    char* src = &in[0];
    size_t srcLeft = in.size();
    char* dst = &out[0];
    size_t dstLeft = out.size();
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1)) {
        fprintf(stderr, "huescope_bench: cannot convert \"%s\" to Shift_JIS\n", utf8);
        exit(2);
    }
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

// A fixed generator, so every run measures the same bytes.
struct Random {
    uint64_t state;
    unsigned below(unsigned n)
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<unsigned>(state % n);
    }
};

// Phrases of business mail. Several have a trail byte that is ASCII: 0x5C
// (表, ソ, 能, 申, 予, 構, 十), 0x7C (ポ), 0x7B (ボ), the bytes a careless
// scanner mistakes for a backslash, a bar or a brace. None begins with a
// quote marker or a space, so a line's depth is exactly its prefix's.
const char* const PHRASES[] = {
    "お世話になっております。", "田中です。", "ご連絡ありがとうございます。",
    "表示の件ですが、", "機能の追加について", "ソフトの更新は", "来週の打ち合わせで",
    "確認しました。", "よろしくお願いいたします。", "資料を添付します。", "予定通り",
    "進めてください。", "問題ありません。", "メールの文字化けは", "設定を変更すると",
    "直りました。", "サーバーの", "再起動が必要です。", "ご検討ください。",
    "以下の通りです：", "次回は", "午後3時から", "会議室Bで", "ファイル名は report_v2.txt です。",
    "了解です。", "申し訳ありませんが、", "本日中に", "対応します。", "価格表の", "予算は",
    "構成を見直して", "ポイントは", "ボタンを押すと", "十分です。", "はい。", "版",
    "見積もり", "(2) 納期", "テスト結果:", "OK", "バージョン 3.1 では", "引用の色が",
};

struct Prefix {
    const char* utf8;
    unsigned depth;   // under the default markers, spaces before a marker ignored
    unsigned weight;
};

// A reply a few rounds deep, as it reaches the compose window: the new text,
// then older rounds quoted with the markers people actually type.
const Prefix PREFIXES[] = {
    {"", 0, 34},      {"> ", 1, 20},   {">> ", 2, 12},  {"> > ", 2, 6},
    {"＞ ", 1, 8},    {"＞＞ ", 2, 6}, {"> | ", 2, 5},  {"｜ ", 1, 4},
    {"  > ", 1, 3},   {">>> ", 3, 2},
};

const size_t LINE_COUNT = 3000;
const size_t SHORTEST_LINE = 20;
const size_t LONGEST_LINE = 70;

std::string makeLine(Random& r, const std::string& prefix, const std::vector<std::string>& phrases)
{
    const size_t target = SHORTEST_LINE + r.below(LONGEST_LINE - SHORTEST_LINE + 1);
    std::string line = prefix;
    for (int tries = 0; line.size() < target && tries < 40; ++tries) {
        const std::string& p = phrases[r.below(static_cast<unsigned>(phrases.size()))];
        if (line.size() + p.size() <= LONGEST_LINE)
            line += p;
    }
    const std::string fullStop = toShiftJis("。");
    while (line.size() < SHORTEST_LINE)
        line += fullStop;
    return line;
}

// Lines one after another, each with its terminator, the way the compose
// window hands them over after cutting its text copy at every separator.
struct LineBlock {
    std::string bytes;
    std::vector<size_t> starts;
    size_t textBytes = 0;   // the lines without their terminators
    void add(const std::string& line)
    {
        starts.push_back(bytes.size());
        bytes += line;
        bytes += '\0';
        textBytes += line.size();
    }
    const char* line(size_t i) const { return bytes.data() + starts[i]; }
};

struct QuoteSample {
    LineBlock plain;
    LineBlock rtf;          // the same lines as the viewer's pieces
    unsigned totalDepth = 0;
};

const QuoteSample& quoteSample()
{
    static const QuoteSample sample = [] {
        QuoteSample s;
        std::vector<std::string> phrases;
        for (const char* p : PHRASES)
            phrases.push_back(toShiftJis(p));
        std::vector<std::string> prefixes;
        unsigned weightSum = 0;
        for (const Prefix& p : PREFIXES) {
            prefixes.push_back(toShiftJis(p.utf8));
            weightSum += p.weight;
        }
        Random r{0x9E3779B97F4A7C15ull};
        for (size_t i = 0; i < LINE_COUNT; ++i) {
            unsigned pick = r.below(weightSum);
            size_t k = 0;
            while (pick >= PREFIXES[k].weight)
                pick -= PREFIXES[k++].weight;
            const std::string line = makeLine(r, prefixes[k], phrases);
            s.plain.add(line);
            s.rtf.add(hostRtfBodyPiece(line));
            s.totalDepth += PREFIXES[k].depth;
        }
        return s;
    }();
    return sample;
}

// Tabbed text as it is pasted into the compose window: prose, a table lined
// up with tabs, and indented code, CR LF between lines.
const std::string& tabSample()
{
    static const std::string sample = [] {
        const char* const paragraph[] = {
            "お世話になっております。田中です。",
            "来週の打ち合わせの資料を以下に貼ります。",
            "",
            "氏名\t所属\t内線\t備考",
            "田中 一郎\t開発部\t1234\t表示機能の担当",
            "佐藤 花子\t営業部\t2345\t予算の申請",
            "ソフト 太郎\t品質保証部\t3456\tテスト結果の確認",
            "",
            "修正箇所は次の通りです。",
            "int expand(const char* text)",
            "{",
            "\tif (!text)",
            "\t\treturn 0;\t// 空の場合",
            "\tfor (int i = 0; text[i]; ++i) {",
            "\t\tif (text[i] == '\\t')",
            "\t\t\tcount++;\t\t// タブを数える",
            "\t}",
            "\treturn count;",
            "}",
            "",
            "ご確認よろしくお願いいたします。",
        };
        std::string text;
        while (text.size() < 48 * 1024) {
            for (const char* line : paragraph) {
                text += toShiftJis(line);
                text += "\r\n";
            }
        }
        return text;
    }();
    return sample;
}

// One piece each of the three kinds the viewer's stream callback meets most.
struct Pieces {
    std::string quoted, unquoted, subject;
};

const Pieces& pieces()
{
    static const Pieces p = [] {
        Pieces p;
        p.quoted = hostRtfBodyPiece(toShiftJis(
            "> 田中さん、ご連絡ありがとうございます。表示の件、了解しました。"));
        p.unquoted = hostRtfBodyPiece(toShiftJis(
            "ソフトの更新は予定通り本日中に対応します。よろしくお願いします。"));
        p.subject = hostRtfHeaderPiece("Subject:", toShiftJis("Re: 来週の打ち合わせ資料について"));
        return p;
    }();
    return p;
}

// ---------------------------------------------------------------------------
// The settings the plug-in ships with

// The default list set once, as the plug-in sets it when the settings are
// read (IgnoreSpace on, IgnoreColumn no limit).
struct Matcher {
    QuoteMarkers m{};
    Matcher()
    {
        if (!setQuoteMarkers(m, DEFAULT_QUOTE_MARKERS, DEFAULT_QUOTE_LIST_LENGTH, 1, 0)) {
            fprintf(stderr, "huescope_bench: the default marker list cannot be set\n");
            exit(2);
        }
    }
    ~Matcher() { releaseQuoteMarkers(m); }
    Matcher(const Matcher&) = delete;
    Matcher& operator=(const Matcher&) = delete;
};

ViewColoring defaultColoring()
{
    ViewColoring c{};
    c.quoteColoring = 1;
    c.headerColoring = 1;
    c.headerColor = DEFAULT_QUOTE_COLOR;
    for (uint32_t& level : c.levelColors)
        level = DEFAULT_QUOTE_COLOR;
    return c;
}

// The host's colour table " ;\red0\green0\blue0;" has two entries.
const int HOST_COLOR_TABLE_ENTRIES = 2;
// A rich edit control reads the stream 4 KB at a time.
const size_t RICH_EDIT_READ_SIZE = 4096;
const unsigned TAB_WIDTH = DEFAULT_TAB_WIDTH;

// ---------------------------------------------------------------------------
// Checks that the benchmarks measure what they claim: a sample that stopped
// matching (a changed marker list, a broken generator) would otherwise make
// the core look fast for the wrong reason.

bool checkSamples()
{
    bool ok = true;
    const QuoteSample& s = quoteSample();
    Matcher holder;
    const QuoteMarkers& m = holder.m;
    for (bool escaped : {false, true}) {
        const LineBlock& lines = escaped ? s.rtf : s.plain;
        unsigned total = 0;
        for (size_t i = 0; i < lines.starts.size(); ++i)
            total += quoteDepth(m, lines.line(i), escaped);
        if (total != s.totalDepth) {
            fprintf(stderr, "huescope_bench: %s quote depth total %u, expected %u\n",
                    escaped ? "RTF" : "plain", total, s.totalDepth);
            ok = false;
        }
    }
    for (size_t i = 0; i < s.plain.starts.size(); ++i) {
        const size_t length = strlen(s.plain.line(i));
        if (length < SHORTEST_LINE || length > LONGEST_LINE) {
            fprintf(stderr, "huescope_bench: sample line %zu is %zu bytes\n", i, length);
            ok = false;
            break;
        }
    }

    const ViewColoring c = defaultColoring();
    struct {
        const char* name;
        const std::string* piece;
        int rewritten;
    } const expected[] = {
        {"quoted", &pieces().quoted, 1},
        {"unquoted", &pieces().unquoted, 0},
        {"subject", &pieces().subject, 1},
    };
    for (const auto& e : expected) {
        std::vector<char> buffer(RICH_EDIT_READ_SIZE);
        memcpy(buffer.data(), e.piece->c_str(), e.piece->size() + 1);
        int base = HOST_COLOR_TABLE_ENTRIES;
        int signature = 0;
        size_t newLength = 0;
        if (recolorRtfPiece(buffer.data(), buffer.size(), c, m, &base, &signature, &newLength)
            != e.rewritten) {
            fprintf(stderr, "huescope_bench: %s piece %s rewritten\n", e.name,
                    e.rewritten ? "not" : "unexpectedly");
            ok = false;
        }
    }

    const std::string& text = tabSample();
    const size_t tabs = countTabs(text.c_str());
    std::vector<char> out(expandedCapacity(tabs, text.size(), TAB_WIDTH));
    const size_t written = expandTabsInto(text.c_str(), 0, TAB_WIDTH, out.data(), out.size());
    if (tabs == 0 || written == static_cast<size_t>(-1) || written <= text.size()
        || memchr(out.data(), '\t', written)) {
        fprintf(stderr, "huescope_bench: tab sample not expanded\n");
        ok = false;
    }
    return ok;
}

// ---------------------------------------------------------------------------
// Pairs
//
// A core row runs the core operation under the library's clock, then its
// baseline as many times under the same CPU clock, and reports the
// quotient as x_baseline: both halves of the ratio measured back to back, in
// every output format. The baseline also has a row of its own (x_baseline 1)
// for its absolute speed.

// Process CPU time: the benchmarks run on one thread, so this is the clock of
// the library's CPU column.
double cpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

bool samplesUsable(benchmark::State& state)
{
    static const bool ok = checkSamples();
    if (!ok)
        state.SkipWithError("sample check failed (see stderr)");
    return ok;
}

template <class Core, class Baseline>
void measureCore(benchmark::State& state, size_t bytes, Core core, Baseline baseline)
{
    if (!samplesUsable(state))
        return;
    double start = cpuSeconds();
    for (auto _ : state)
        core();
    const double coreSeconds = cpuSeconds() - start;
    start = cpuSeconds();
    for (benchmark::IterationCount i = 0; i < state.iterations(); ++i)
        baseline();
    const double baselineSeconds = cpuSeconds() - start;
    state.counters["x_baseline"] = baselineSeconds > 0 ? coreSeconds / baselineSeconds : 0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

template <class Baseline>
void measureBaseline(benchmark::State& state, size_t bytes, Baseline baseline)
{
    if (!samplesUsable(state))
        return;
    for (auto _ : state)
        baseline();
    state.counters["x_baseline"] = 1;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

// ---------------------------------------------------------------------------
// Quote depth over every line of the reply; the baseline finds where each
// line ends, the least any per-line pass over the same lines costs.

struct QuoteDepthPair {
    const LineBlock& lines;
    bool escaped;
    Matcher holder;
    const QuoteMarkers& m = holder.m;

    explicit QuoteDepthPair(bool rtf) : lines(rtf ? quoteSample().rtf : quoteSample().plain), escaped(rtf) {}
    void core()
    {
        unsigned total = 0;
        for (size_t i = 0; i < lines.starts.size(); ++i)
            total += quoteDepth(m, lines.line(i), escaped);
        benchmark::DoNotOptimize(total);
    }
    void baseline()
    {
        size_t total = 0;
        for (size_t i = 0; i < lines.starts.size(); ++i) {
            const char* line = lines.line(i);
            benchmark::DoNotOptimize(line);
            total += strlen(line);
        }
        benchmark::DoNotOptimize(total);
    }
    void perLine(benchmark::State& state)
    {
        state.SetItemsProcessed(static_cast<int64_t>(state.iterations())
                                * static_cast<int64_t>(lines.starts.size()));
    }
};

void quoteDepthCore(benchmark::State& state, bool rtf)
{
    QuoteDepthPair pair(rtf);
    measureCore(state, pair.lines.textBytes, [&] { pair.core(); }, [&] { pair.baseline(); });
    pair.perLine(state);
}

void quoteDepthBaseline(benchmark::State& state, bool rtf)
{
    QuoteDepthPair pair(rtf);
    measureBaseline(state, pair.lines.textBytes, [&] { pair.baseline(); });
    pair.perLine(state);
}

// ---------------------------------------------------------------------------
// RTF piece rewrite. The control's buffer is refilled with the host's piece
// every time, as the host does before each call; the baseline is that refill
// alone.

struct PiecePair {
    const std::string& piece;
    std::vector<char> buffer = std::vector<char>(RICH_EDIT_READ_SIZE, 'x');
    Matcher holder;
    const QuoteMarkers& m = holder.m;
    ViewColoring coloring = defaultColoring();

    explicit PiecePair(const std::string* p) : piece(*p) {}
    void core()
    {
        memcpy(buffer.data(), piece.c_str(), piece.size() + 1);
        int base = HOST_COLOR_TABLE_ENTRIES;
        int signature = 0;
        size_t newLength = 0;
        int rewritten =
            recolorRtfPiece(buffer.data(), buffer.size(), coloring, m, &base, &signature, &newLength);
        benchmark::DoNotOptimize(rewritten);
        benchmark::DoNotOptimize(newLength);
        benchmark::ClobberMemory();
    }
    void baseline()
    {
        char* out = buffer.data();
        benchmark::DoNotOptimize(out);
        memcpy(out, piece.c_str(), piece.size() + 1);
        benchmark::ClobberMemory();
    }
};

void pieceRewriteCore(benchmark::State& state, const std::string* piece)
{
    PiecePair pair(piece);
    measureCore(state, piece->size(), [&] { pair.core(); }, [&] { pair.baseline(); });
}

void pieceRewriteBaseline(benchmark::State& state, const std::string* piece)
{
    PiecePair pair(piece);
    measureBaseline(state, piece->size(), [&] { pair.baseline(); });
}

// ---------------------------------------------------------------------------
// Tab expansion of the pasted text; the baseline copies it.

struct TabPair {
    const std::string& text = tabSample();
    std::vector<char> out =
        std::vector<char>(expandedCapacity(countTabs(text.c_str()), text.size(), TAB_WIDTH));

    void expand()
    {
        size_t written = expandTabsInto(text.c_str(), 0, TAB_WIDTH, out.data(), out.size());
        benchmark::DoNotOptimize(written);
        benchmark::ClobberMemory();
    }
    // What the compose window does per paste: count the tabs and the length
    // to size the buffer, then expand (the allocation itself left out).
    void countSizeExpand()
    {
        const size_t capacity =
            expandedCapacity(countTabs(text.c_str()), strlen(text.c_str()), TAB_WIDTH);
        size_t written = expandTabsInto(text.c_str(), 0, TAB_WIDTH, out.data(), capacity);
        benchmark::DoNotOptimize(written);
        benchmark::ClobberMemory();
    }
    void baseline()
    {
        char* dst = out.data();
        benchmark::DoNotOptimize(dst);
        memcpy(dst, text.c_str(), text.size() + 1);
        benchmark::ClobberMemory();
    }
};

void tabExpandCore(benchmark::State& state)
{
    TabPair pair;
    measureCore(state, pair.text.size(), [&] { pair.expand(); }, [&] { pair.baseline(); });
}

void tabExpandWithSizing(benchmark::State& state)
{
    TabPair pair;
    measureCore(state, pair.text.size(), [&] { pair.countSizeExpand(); }, [&] { pair.baseline(); });
}

void tabExpandBaseline(benchmark::State& state)
{
    TabPair pair;
    measureBaseline(state, pair.text.size(), [&] { pair.baseline(); });
}

// ---------------------------------------------------------------------------
// Registration: "<pair>/core:<what>" next to "<pair>/baseline:<what>".

bool registerAll()
{
    for (bool rtf : {false, true}) {
        const std::string pair = rtf ? "quote_depth.rtf" : "quote_depth.plain";
        benchmark::RegisterBenchmark((pair + "/core:quoteDepth").c_str(), quoteDepthCore, rtf);
        benchmark::RegisterBenchmark((pair + "/baseline:strlen").c_str(), quoteDepthBaseline, rtf);
    }
    const struct {
        const char* name;
        const std::string* piece;
    } kinds[] = {
        {"piece_rewrite.quoted", &pieces().quoted},
        {"piece_rewrite.unquoted", &pieces().unquoted},
        {"piece_rewrite.subject", &pieces().subject},
    };
    for (const auto& k : kinds) {
        benchmark::RegisterBenchmark((std::string(k.name) + "/core:copy+recolorRtfPiece").c_str(),
                                     pieceRewriteCore, k.piece);
        benchmark::RegisterBenchmark((std::string(k.name) + "/baseline:copy").c_str(),
                                     pieceRewriteBaseline, k.piece);
    }
    benchmark::RegisterBenchmark("tab_expand/core:expandTabsInto", tabExpandCore);
    benchmark::RegisterBenchmark("tab_expand/core:count+size+expand", tabExpandWithSizing);
    benchmark::RegisterBenchmark("tab_expand/baseline:memcpy", tabExpandBaseline);
    return true;
}

const bool registered = registerAll();

} // namespace

BENCHMARK_MAIN();
