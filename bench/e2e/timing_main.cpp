// End-to-end timings of the plug-in inside the stand-in host under Wine, all
// in one process so that machine noise hits every side alike. Prints Markdown
// tables on stdout.
//   Quillpost.exe [--runs N] [--live]   (--live: the live colours' sections alone)
//
// Every comparison runs its sides in rounds, one measurement of each side per
// round and the order turned round from one round to the next, after one
// warm-up round that is not counted (Wine loads fonts and grows its heaps on
// first use). Times are medians over the rounds; a ratio is the median of the
// rounds' own ratios, each taken from measurements made back to back.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>
#include <richedit.h>
#include "host.h"

static int runs = 7;
static PluginApi plugin;
static std::string mailbox;

static double now()
{
    static LARGE_INTEGER frequency = {};
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(frequency.QuadPart);
}

static double seconds(const std::function<void()>& work)
{
    double start = now();
    work();
    return now() - start;
}

static double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Times of each side, round by round.
typedef std::vector<std::vector<double>> RoundTimes;

// One warm-up round, then `rounds` rounds (--runs unless given); round r
// starts with side r mod n.
// prepare and finish, when given, run untimed before and after each
// measurement of a side (a fresh window for it, say, and its removal).
static RoundTimes interleaved(const std::vector<std::function<void()>>& sides,
                              const std::function<void(size_t)>& prepare = nullptr,
                              const std::function<void(size_t)>& finish = nullptr,
                              int rounds = runs)
{
    const size_t n = sides.size();
    RoundTimes times(n);
    for (int round = -1; round < rounds; ++round) {
        for (size_t k = 0; k < n; ++k) {
            size_t side = (static_cast<size_t>(round + 1) + k) % n;
            if (prepare)
                prepare(side);
            double t = seconds(sides[side]);
            if (finish)
                finish(side);
            if (round >= 0)
                times[side].push_back(t);
        }
    }
    return times;
}

static double medianRatio(const std::vector<double>& top, const std::vector<double>& bottom)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < top.size() && i < bottom.size(); ++i)
        if (bottom[i] > 0)
            ratios.push_back(top[i] / bottom[i]);
    return median(ratios);
}

static double medianDifference(const std::vector<double>& top, const std::vector<double>& bottom)
{
    std::vector<double> differences;
    for (size_t i = 0; i < top.size() && i < bottom.size(); ++i)
        differences.push_back(top[i] - bottom[i]);
    return median(differences);
}

static void writeText(const std::string& path, const std::string& text)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (f) {
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
}

// (Re)loads the plug-in with the given Huescope.ini: settings are read once
// at start-up, so each configuration is a fresh load in this process.
static void loadPlugin(const std::string& ini)
{
    if (plugin.module) {
        plugin.cleanUp();
        hostUnloadPlugin(&plugin);
    }
    writeText(mailbox + "Huescope.ini", ini);
    if (!hostLoadPlugin("Huescope.dll", &plugin)) {
        fprintf(stderr, "Huescope.dll did not load\n");
        ExitProcess(1);
    }
    plugin.startUp(0);
}

// A multi-level Japanese reply: eight lines repeated, five of them quoted.
static const char* const REPLY_LINES[] = {
    "山田です。ご連絡ありがとうございます。",
    "> 来週の打ち合わせですが、火曜日の午後はいかがでしょうか。",
    "> 資料は前日までにお送りします。",
    ">> 先日はありがとうございました。次回の日程を決めたいと思います。",
    "＞＞＞ 議事録を添付します。ご確認ください。",
    "> | 会議室は三階の大会議室です。",
    "火曜日の午後で大丈夫です。資料をお待ちしております。",
    "",
};
static const size_t REPLY_LINE_KINDS = sizeof REPLY_LINES / sizeof REPLY_LINES[0];

static bool replyLineQuoted(size_t i)
{
    const char* line = REPLY_LINES[i % REPLY_LINE_KINDS];
    return line[0] == '>' || strncmp(line, "＞", strlen("＞")) == 0;
}

static HostMessage replyMessage(int n)
{
    HostMessage m = hostSampleMessage();
    m.body.clear();
    for (int i = 0; i < n; ++i)
        m.body.push_back(REPLY_LINES[i % REPLY_LINE_KINDS]);
    return m;
}

static std::string replyText(int n)
{
    HostMessage m = replyMessage(n);
    std::string text;
    for (const std::string& line : m.body)
        text += line + "\r\n";
    return text;
}

static void setText(HWND edit, const std::string& text)
{
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// ---------------------------------------------------------------------------
// Viewer

// A window class the plug-in takes for a rich edit control: on EM_STREAMIN it
// pulls the stream through the callback and keeps each piece as delivered,
// which is the plug-in's coloured output.
static std::vector<std::string> captured;
static LRESULT CALLBACK captureProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == EM_STREAMIN) {
        EDITSTREAM* es = reinterpret_cast<EDITSTREAM*>(lp);
        captured.clear();
        std::vector<BYTE> buffer(4096);
        for (;;) {
            LONG got = 0;
            buffer[0] = 0;
            es->pfnCallback(es->dwCookie, buffer.data(), static_cast<LONG>(buffer.size()), &got);
            if (got <= 0)
                break;
            captured.push_back(std::string(reinterpret_cast<char*>(buffer.data()), static_cast<size_t>(got)));
        }
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

static std::vector<std::string> colouredPieces(const std::vector<std::string>& pieces)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = captureProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "RichEdit20Capture";
    RegisterClassA(&wc);
    HWND frame = hostCreateViewerWindow(RICHEDIT_20A, "capture", 0, 0, 200, 200);
    HWND edit = hostEditControl(frame);
    DestroyWindow(edit);
    // The capturing control heads the chain of first children.
    HWND capture = CreateWindowExA(0, "RichEdit20Capture", "", WS_CHILD, 0, 0, 10, 10, frame, NULL,
                                   GetModuleHandleA(NULL), NULL);
    SetWindowPos(capture, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    plugin.viewCreate(frame);
    hostStreamPieces(capture, pieces);
    DestroyWindow(frame);
    return captured;
}

// Every measurement takes a fresh control: Wine's rich edit takes far longer
// to empty a long text than to take one in, and the time would grow with the
// measurements before it. The plug-in's part is small beside the control's,
// so this comparison gets twice the rounds.
static void viewerTimings()
{
    const int viewerRounds = 2 * runs;
    loadPlugin("[View]\r\nChange=1\r\nHeaderChange=1\r\nLevelColor=1\r\nColor=255\r\nColor2=32768\r\n"
               "Color3=16711680\r\nColor4=33023\r\nColor5=8421504\r\n");
    printf("\n### Viewer: streaming a multi-level Japanese reply\n\n"
           "A: a plain control takes the host's RTF; B: a plain control takes the RTF as the "
           "plug-in rewrote it; C: a hooked control takes the host's RTF (the plug-in rewrites "
           "it on the way in). C - B is the plug-in's own cost. A fresh control each time; %d "
           "rounds.\n\n", viewerRounds);
    printf("| body lines | A (ms) | B (ms) | C (ms) | C/B | C/A | C - B (ms) |\n"
           "|---|---|---|---|---|---|---|\n");
    for (int n : {1000, 4000}) {
        std::vector<std::string> pieces = hostRtfPieces(replyMessage(n));
        std::vector<std::string> coloured = colouredPieces(pieces);
        HWND window = NULL;
        HWND edit = NULL;
        RoundTimes t = interleaved(
            {
                [&] { hostStreamPieces(edit, pieces); },
                [&] { hostStreamPieces(edit, coloured); },
                [&] { hostStreamPieces(edit, pieces); },
            },
            [&](size_t side) {
                window = hostCreateViewerWindow(RICHEDIT_20A, "viewer", 0, 0, 600, 400);
                if (side == 2)
                    plugin.viewCreate(window);
                edit = hostEditControl(window);
            },
            [&](size_t) { DestroyWindow(window); }, viewerRounds);
        printf("| %d | %.1f | %.1f | %.1f | %.3f | %.2f | %.1f |\n", n, median(t[0]) * 1e3,
               median(t[1]) * 1e3, median(t[2]) * 1e3, medianRatio(t[2], t[1]),
               medianRatio(t[2], t[0]), medianDifference(t[2], t[1]) * 1e3);
        fflush(stdout);
    }
}

// ---------------------------------------------------------------------------
// Compose

static bool lastQuoteColoured(HWND edit, COLORREF quote)
{
    GETTEXTLENGTHEX gtl = {GTL_NUMCHARS, CP_ACP};
    LONG length = static_cast<LONG>(SendMessageA(edit, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&gtl), 0));
    // The last lines of the reply include a quoted one: look at the text's
    // last quoted character run through its colour near the end.
    for (LONG p = length - 1; p > 0 && p > length - 200; --p) {
        CHARRANGE r = {p - 1, p};
        SendMessageA(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
        CHARFORMATA cf = {};
        cf.cbSize = sizeof cf;
        SendMessageA(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
        if (!(cf.dwEffects & CFE_AUTOCOLOR) && cf.crTextColor == quote)
            return true;
    }
    return false;
}

// The control positions of each line of a reply in a RichEdit 2.0 control:
// one position per UTF-16 unit, one for each line break.
struct LineRange {
    LONG start, end;
    bool quoted;
};

static std::vector<LineRange> replyLineRanges(int n)
{
    std::vector<LineRange> ranges;
    LONG position = 0;
    for (int i = 0; i < n; ++i) {
        const char* line = REPLY_LINES[i % REPLY_LINE_KINDS];
        LONG units = MultiByteToWideChar(932, 0, line, static_cast<int>(strlen(line)), NULL, 0);
        ranges.push_back(LineRange{position, position + units, replyLineQuoted(i)});
        position += units + 1;
    }
    return ranges;
}

static void selectRange(HWND edit, LONG from, LONG to)
{
    CHARRANGE r = {from, to};
    SendMessageA(edit, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
}

static void colourSelection(HWND edit, COLORREF colour)
{
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    format.dwMask = CFM_COLOR;
    format.crTextColor = colour;
    SendMessageA(edit, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
}

// Around every replay, as the plug-in does around its colouring.
static void quietly(HWND edit, const std::function<void()>& work)
{
    SendMessageA(edit, EM_HIDESELECTION, 1, 0);
    SendMessageA(edit, WM_SETREDRAW, 0, 0);
    work();
    SendMessageA(edit, WM_SETREDRAW, 1, 0);
    SendMessageA(edit, EM_HIDESELECTION, 0, 0);
}

// The reply as RTF with the quoted lines in a colour group, the way a
// coloured text could be handed to the control in one message.
static std::string colouredReplyRtf(int n, COLORREF quote)
{
    char table[96];
    snprintf(table, sizeof table, "{\\colortbl ;\\red%u\\green%u\\blue%u;}",
             static_cast<unsigned>(GetRValue(quote)), static_cast<unsigned>(GetGValue(quote)),
             static_cast<unsigned>(GetBValue(quote)));
    std::string rtf = "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fmodern\\fcharset128 "
                      "\\'82\\'6c\\'82\\'72 \\'83\\'53\\'83\\'56\\'83\\'62\\'83\\'4e;}}";
    rtf += table;
    rtf += "\\pard\\plain ";
    for (int i = 0; i < n; ++i) {
        const std::string line = hostRtfEscape(REPLY_LINES[i % REPLY_LINE_KINDS]);
        rtf += replyLineQuoted(static_cast<size_t>(i)) ? "{\\cf1 " + line + "}" : line;
        rtf += i + 1 < n ? "\\par\r\n" : "";
    }
    rtf += "}";
    return rtf;
}

static const COLORREF QUOTE_COLOUR = 255;

// All text in the default colour in one EM_SETCHARFORMAT, then one selection
// and colour per block of consecutive quoted lines.
static void colourQuotedBlocks(HWND edit, const std::vector<LineRange>& lines)
{
    quietly(edit, [&] {
        selectRange(edit, 0, -1);
        colourSelection(edit, 0);
        for (size_t i = 0; i < lines.size();) {
            if (!lines[i].quoted) {
                ++i;
                continue;
            }
            size_t last = i;
            while (last + 1 < lines.size() && lines[last + 1].quoted)
                ++last;
            selectRange(edit, lines[i].start, lines[last].end);
            colourSelection(edit, QUOTE_COLOUR);
            i = last + 1;
        }
    });
}
static const int COMPOSE_SIZES[] = {500, 1000, 2000};

static void composeAtOnceTimings()
{
    loadPlugin("[Send]\r\nChange=1\r\nColor=255\r\nRecolorCount=100000000\r\n");
    printf("\n### Compose: WM_SETTEXT of a reply, coloured at once\n\n"
           "The threshold is raised so that the text is coloured inside WM_SETTEXT. P: a plain "
           "control; H: a hooked control; a fresh one each time, %d rounds. H - P is the "
           "colouring's own part.\n\n", 2 * runs);
    printf("| lines | bytes | P (ms) | H (ms) | H/P | H - P (ms) | P per line (us) | "
           "H - P per line (us) |\n|---|---|---|---|---|---|---|---|\n");
    for (int n : COMPOSE_SIZES) {
        std::string text = replyText(n);
        HWND window = NULL;
        HWND edit = NULL;
        RoundTimes t = interleaved(
            {
                [&] { setText(edit, text); },
                [&] { setText(edit, text); },
            },
            [&](size_t side) {
                window = hostCreateComposeWindow(RICHEDIT_20A, "compose", 0, 0, 600, 400);
                if (side == 1)
                    plugin.sendCreate(window);
                edit = hostEditControl(window);
            },
            [&](size_t) { DestroyWindow(window); }, 2 * runs);
        double p = median(t[0]);
        double own = medianDifference(t[1], t[0]);
        printf("| %d | %zu | %.1f | %.1f | %.2f | %.1f | %.0f | %.0f |\n", n, text.size(), p * 1e3,
               median(t[1]) * 1e3, medianRatio(t[1], t[0]), own * 1e3, p / n * 1e6, own / n * 1e6);
        fflush(stdout);
    }
}

// The colouring's messages replayed on a plain control that holds the text
// (set afresh, untimed, before each replay), the plug-in not involved: the
// plug-in's own sequence and its two halves, and two other sequences that
// end in the same colours.
static void composeBreakdownTimings()
{
    printf("\n### Compose: where the colouring's time goes\n\n"
           "Replayed on a fresh plain control holding the reply (its WM_SETTEXT untimed), "
           "inside EM_HIDESELECTION and WM_SETREDRAW 0 as the plug-in does. "
           "1: the plug-in's sequence, EM_EXSETSEL of every line then EM_SETCHARFORMAT of its "
           "colour, and at the end EM_EMPTYUNDOBUFFER and the caret to the start (that end alone: "
           "1: undo); 2: EM_EXSETSEL of every line alone; 3: all text in the default colour in one "
           "EM_SETCHARFORMAT, then EM_EXSETSEL + EM_SETCHARFORMAT once per block of consecutive "
           "quoted lines, and the same end as 1; 4: the same coloured text as RTF in one EM_STREAMIN instead of "
           "WM_SETTEXT and any colouring; P: WM_SETTEXT alone (4 and P into an empty control). "
           "Times in ms; per line in "
           "microseconds.\n\n");
    printf("| lines | P | 1 | 1: undo | 2 | 3 | 4 | 1 per line | 2 per line | 3 per line | 4/P |\n"
           "|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (int n : COMPOSE_SIZES) {
        const std::string text = replyText(n);
        const std::vector<LineRange> lines = replyLineRanges(n);
        const std::vector<std::string> rtf(1, colouredReplyRtf(n, QUOTE_COLOUR));
        std::vector<double> undoTimes;   // the end of sequence 1, warm-up round first
        HWND frame = NULL;
        HWND edit = NULL;
        RoundTimes t = interleaved(
            {
                [&] { setText(edit, text); },
                [&] {
                    quietly(edit, [&] {
                        for (const LineRange& line : lines) {
                            selectRange(edit, line.start, line.end);
                            colourSelection(edit, line.quoted ? QUOTE_COLOUR : 0);
                        }
                    });
                    const double start = now();
                    SendMessageA(edit, EM_EMPTYUNDOBUFFER, 0, 0);
                    selectRange(edit, 0, 0);
                    undoTimes.push_back(now() - start);
                },
                [&] {
                    quietly(edit, [&] {
                        for (const LineRange& line : lines)
                            selectRange(edit, line.start, line.end);
                    });
                },
                [&] {
                    colourQuotedBlocks(edit, lines);
                    SendMessageA(edit, EM_EMPTYUNDOBUFFER, 0, 0);
                    selectRange(edit, 0, 0);
                },
                [&] { hostStreamPieces(edit, rtf); },
            },
            [&](size_t side) {
                frame = hostCreateComposeWindow(RICHEDIT_20A, "replay", 0, 0, 600, 400);
                edit = hostEditControl(frame);
                if (side == 1 || side == 2 || side == 3)
                    setText(edit, text);
            },
            [&](size_t) { DestroyWindow(frame); });
        if (!undoTimes.empty())
            undoTimes.erase(undoTimes.begin());
        printf("| %d | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %.0f | %.0f | %.0f | %.2f |\n", n,
               median(t[0]) * 1e3, median(t[1]) * 1e3, median(undoTimes) * 1e3, median(t[2]) * 1e3,
               median(t[3]) * 1e3, median(t[4]) * 1e3, median(t[1]) / n * 1e6,
               median(t[2]) / n * 1e6, median(t[3]) / n * 1e6, medianRatio(t[4], t[0]));
        fflush(stdout);
    }
}

// Above the threshold the text is shown first and coloured on the timer's
// tick, by selecting all of it and putting it back with EM_REPLACESEL, which
// the hook colours. The re-insertion alone is replayed on a fresh plain
// control holding the text.
static void composeDeferredTimings()
{
    loadPlugin("[Send]\r\nChange=1\r\nColor=255\r\n");
    printf("\n### Compose: deferred colouring at the default threshold (4000 bytes)\n\n"
           "Shown: WM_SETTEXT returns; coloured: the last quoted line has its colour (the "
           "timer's 100 ms included); re-insertion: EM_SETSEL 0,-1 and EM_REPLACESEL of the same "
           "text on a plain control that holds it, the plug-in not involved.\n\n");
    printf("| lines | bytes | shown (ms) | coloured (ms) | re-insertion on a plain control (ms) |\n"
           "|---|---|---|---|---|\n");
    for (int n : COMPOSE_SIZES) {
        std::string text = replyText(n);
        std::vector<double> shown, done;
        for (int i = 0; i < runs; ++i) {
            HWND hooked = hostCreateComposeWindow(RICHEDIT_20A, "deferred", 0, 0, 600, 400);
            plugin.sendCreate(hooked);
            HWND edit = hostEditControl(hooked);
            double start = now();
            setText(edit, text);
            shown.push_back(now() - start);
            // Pump until the timer has fired and the re-insertion is coloured.
            while (now() - start < 30) {
                hostPump(5);
                if (lastQuoteColoured(edit, QUOTE_COLOUR))
                    break;
            }
            done.push_back(now() - start);
            DestroyWindow(hooked);
        }
        HWND frame = NULL;
        HWND edit = NULL;
        RoundTimes t = interleaved(
            {[&] {
                SendMessageA(edit, EM_SETSEL, 0, -1);
                SendMessageA(edit, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(text.c_str()));
            }},
            [&](size_t) {
                frame = hostCreateComposeWindow(RICHEDIT_20A, "plain", 0, 0, 600, 400);
                edit = hostEditControl(frame);
                setText(edit, text);
            },
            [&](size_t) { DestroyWindow(frame); });
        printf("| %d | %zu | %.1f | %.1f | %.1f |\n", n, text.size(), median(shown) * 1e3,
               median(done) * 1e3, median(t[0]) * 1e3);
        fflush(stdout);
    }
}

// Counts the messages that make the plug-in redraw the ruler or margin line,
// as they arrive at the control (a subclass outside the plug-in's).
static WNDPROC innerProc;
static int redrawMessages;
static LRESULT CALLBACK countingProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_PAINT || m == WM_ERASEBKGND || m == WM_SETFOCUS || m == EM_POSFROMCHAR || m == WM_TIMER)
        ++redrawMessages;
    return CallWindowProcA(innerProc, w, m, wp, lp);
}

static void rulerTimings()
{
    loadPlugin("[Send]\r\nRuler=1\r\nMarginLine=72\r\n");
    HWND plain = hostCreateComposeWindow(RICHEDIT_20A, "plain", 0, 0, 700, 400);
    HWND hooked = hostCreateComposeWindow(RICHEDIT_20A, "hooked", 0, 0, 700, 400);
    plugin.sendCreate(hooked);
    ShowWindow(plain, SW_SHOW);
    ShowWindow(hooked, SW_SHOW);
    std::string text = replyText(40);
    for (HWND f : {plain, hooked})
        setText(hostEditControl(f), text);
    hostPump(300);
    auto repaint = [](HWND edit) {
        for (int i = 0; i < 20; ++i) {
            InvalidateRect(edit, NULL, TRUE);
            UpdateWindow(edit);
        }
    };
    HWND plainEdit = hostEditControl(plain);
    HWND hookedEdit = hostEditControl(hooked);
    RoundTimes t = interleaved({[&] { repaint(plainEdit); }, [&] { repaint(hookedEdit); }});
    printf("\n### Compose: ruler and margin line\n\n");
    printf("| measure | value |\n|---|---|\n");
    printf("| full repaint, plain control (us) | %.0f |\n", median(t[0]) / 20 * 1e6);
    printf("| full repaint, with ruler and margin line (us) | %.0f |\n", median(t[1]) / 20 * 1e6);
    printf("| ruler and margin line's own part (us) | %.0f |\n", medianDifference(t[1], t[0]) / 20 * 1e6);

    HWND edit = hookedEdit;
    SetForegroundWindow(hooked);
    SetFocus(edit);
    hostPump(200);
    innerProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(countingProc)));
    redrawMessages = 0;
    SendMessageA(edit, WM_CHAR, 'a', 1);
    hostPump(200);
    printf("| messages that redraw the ruler per typed character | %d |\n", redrawMessages);
    SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(innerProc));
    DestroyWindow(plain);
    DestroyWindow(hooked);
}

// ---------------------------------------------------------------------------
// Compose: live colours ([Send] LiveChange)

static const char LIVE_INI[] = "[Send]\r\nChange=1\r\nColor=255\r\nRecolorCount=100000000\r\nLiveChange=1\r\n";
static const char MESSAGES_ONLY_INI[] = "[Send]\r\nChange=1\r\nColor=255\r\nRecolorCount=100000000\r\n";
static const char TYPED[] = "> see you on Tuesday. ";
// The reply sizes typed into, each at its middle line (unquoted). The
// longer one shows whether a keystroke's cost grows with the reply.
static const int TYPING_SIZES[] = {2000, 8000};

// Counts what reaches the control's own procedure, below every hook.
static WNDPROC ownProc;
static int ownMessages;
static LRESULT CALLBACK countingOwnProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    ++ownMessages;
    return CallWindowProcA(ownProc, w, m, wp, lp);
}

// With `paint`, each keystroke is followed by the repaint the message loop
// would give it.
static void typeAtLineStart(HWND edit, int line, bool paint)
{
    LONG start = static_cast<LONG>(SendMessageA(edit, EM_LINEINDEX, line, 0));
    selectRange(edit, start, start);
    for (const char* c = TYPED; *c; ++c) {
        SendMessageA(edit, WM_KEYDOWN, VkKeyScanA(*c) & 0xFF, 1);
        SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(*c), 1);
        SendMessageA(edit, WM_KEYUP, VkKeyScanA(*c) & 0xFF, 0xC0000001);
        if (paint)
            UpdateWindow(edit);
    }
}

// Keystrokes typed into the middle of a long reply: a control the plug-in
// has not hooked (as if it were not loaded) against one whose colours follow
// every edit, and, to tell the plug-in's part from the control's, a control
// the plug-in has not hooked holding the same text already coloured. The
// first keystroke makes the line quoted, and its colour changes; every other
// one only has its line looked at. The longer reply gets half the rounds:
// setting it up costs Wine's control seconds.
static void liveTypingTimings()
{
    loadPlugin(LIVE_INI);
    const size_t keys = strlen(TYPED);
    HWND window = NULL;
    HWND edit = NULL;
    printf("\n### Compose: typing with live colours ([Send] LiveChange=1)\n\n"
           "\"%s\" (%zu keystrokes: WM_KEYDOWN, WM_CHAR, WM_KEYUP each) typed at the start of the middle "
           "line of a reply (unquoted; the first keystroke makes it quoted). P: a control the plug-in "
           "has not hooked, as if it were not loaded, holding the reply as WM_SETTEXT leaves it; C: the "
           "same, its quoted lines then coloured by messages (a block at a time), so C - P is what the "
           "control itself pays for typing into coloured text and L - C the plug-in's own part; L: a "
           "hooked control with LiveChange=1 (the reply set with WM_SETTEXT and coloured). A fresh "
           "control each time, the reply set untimed; %d rounds at 2000 lines, %d at 8000. Hidden: the "
           "windows are not shown, so no keystroke pays for painting (the least favourable ratio); shown: "
           "the window is on screen and each keystroke is followed by UpdateWindow, the repaint a message "
           "loop gives it.\n\n",
           TYPED, keys, 2 * runs, runs);
    printf("| lines | windows | P per keystroke (us) | C per keystroke (us) | L per keystroke (us) | **L/P** | C/P | "
           "L - C per keystroke (us) |\n|---|---|---|---|---|---|---|---|\n");
    for (int n : TYPING_SIZES) {
        const std::string text = replyText(n);
        const std::vector<LineRange> lines = replyLineRanges(n);
        for (int shown = 1; shown >= 0; --shown) {
            auto type = [&] { typeAtLineStart(edit, n / 2, shown != 0); };
            RoundTimes t = interleaved(
                {type, type, type},
                [&](size_t side) {
                    window = hostCreateComposeWindow(RICHEDIT_20A, "typing", 0, 0, 600, 400);
                    edit = hostEditControl(window);
                    if (side == 2)
                        plugin.sendCreate(window);
                    setText(edit, text);
                    if (side == 1)
                        colourQuotedBlocks(edit, lines);
                    if (shown) {
                        ShowWindow(window, SW_SHOW);
                        UpdateWindow(window);
                        hostPump(50);
                    }
                },
                [&](size_t) { DestroyWindow(window); }, n > 2000 ? runs : 2 * runs);
            printf("| %d | %s | %.0f | %.0f | %.0f | **%.2f** | %.2f | %.0f |\n", n, shown ? "shown" : "hidden",
                   median(t[0]) / keys * 1e6, median(t[1]) / keys * 1e6, median(t[2]) / keys * 1e6,
                   medianRatio(t[2], t[0]), medianRatio(t[1], t[0]), medianDifference(t[2], t[1]) / keys * 1e6);
            fflush(stdout);
        }
    }
    const int n = TYPING_SIZES[0];
    const std::string text = replyText(n);
    // The messages the control's own procedure receives per keystroke, with
    // and without the plug-in: the difference is what the plug-in asks.
    int perKey[2] = {0, 0};
    for (int side = 0; side < 2; ++side) {
        window = hostCreateComposeWindow(RICHEDIT_20A, "count", 0, 0, 600, 400);
        edit = hostEditControl(window);
        ownProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(countingOwnProc)));
        if (side == 1)
            plugin.sendCreate(window);
        setText(edit, text);
        ownMessages = 0;
        typeAtLineStart(edit, n / 2, false);
        perKey[side] = static_cast<int>((ownMessages - 1) / keys);   // less the caret's EM_EXSETSEL
        DestroyWindow(window);
    }
    printf("\nMessages reaching the control's own procedure per keystroke: %d without the plug-in, %d with "
           "LiveChange=1.\n", perKey[0], perKey[1]);
    fflush(stdout);
}

// The whole reply set with WM_SETTEXT: a plain control, the colouring that
// follows messages (LiveChange=0), and live colours (LiveChange=1), each
// coloured at once. Settings are read at start-up, so the plug-in is loaded
// afresh (untimed) whenever the side needs the other setting.
static void liveSetTextTimings()
{
    printf("\n### Compose: WM_SETTEXT of a reply with live colours\n\n"
           "Coloured at once (threshold raised). P: a plain control; M: a hooked control, LiveChange=0 "
           "(each line selected and given its colour with EM_SETCHARFORMAT); L: a hooked control, "
           "LiveChange=1 (each line read, its colour checked through the text object model, and "
           "the lines in the wrong colour coloured a block at a time with undo suspended). A fresh "
           "control each time; %d rounds.\n\n", 2 * runs);
    printf("| lines | P (ms) | M (ms) | L (ms) | L/M | L/P | L - P per line (us) |\n"
           "|---|---|---|---|---|---|---|\n");
    const char* loaded = NULL;
    for (int n : COMPOSE_SIZES) {
        const std::string text = replyText(n);
        HWND window = NULL;
        HWND edit = NULL;
        auto set = [&] { setText(edit, text); };
        RoundTimes t = interleaved(
            {set, set, set},
            [&](size_t side) {
                const char* ini = side == 2 ? LIVE_INI : MESSAGES_ONLY_INI;
                if (side > 0 && loaded != ini) {
                    loadPlugin(ini);
                    loaded = ini;
                }
                window = hostCreateComposeWindow(RICHEDIT_20A, "compose", 0, 0, 600, 400);
                if (side > 0)
                    plugin.sendCreate(window);
                edit = hostEditControl(window);
            },
            [&](size_t) { DestroyWindow(window); }, 2 * runs);
        printf("| %d | %.1f | %.1f | %.1f | %.2f | %.2f | %.0f |\n", n, median(t[0]) * 1e3, median(t[1]) * 1e3,
               median(t[2]) * 1e3, medianRatio(t[2], t[1]), medianRatio(t[2], t[0]),
               medianDifference(t[2], t[0]) / n * 1e6);
        fflush(stdout);
    }
}

int main(int argc, char** argv)
{
    bool liveOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = atoi(argv[++i]) > 0 ? atoi(argv[i]) : runs;
        else if (strcmp(argv[i], "--live") == 0)
            liveOnly = true;
    }
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    mailbox = std::string(temp) + "huescope-timing\\";
    CreateDirectoryA(mailbox.c_str(), NULL);
    hostSetMailbox(mailbox.c_str());
    printf("Medians of %d rounds each unless a section says otherwise, after one warm-up round.\n",
           runs);
    if (!liveOnly) {
        viewerTimings();
        composeAtOnceTimings();
        composeBreakdownTimings();
        composeDeferredTimings();
        rulerTimings();
    }
    liveTypingTimings();
    liveSetTextTimings();
    plugin.cleanUp();
    hostUnloadPlugin(&plugin);
    return 0;
}
