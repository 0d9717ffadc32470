// End-to-end timings of the plug-in inside the stand-in host under Wine, all
// in one process so that machine noise hits every side alike. Each figure is
// the median of several runs. Prints a Markdown table on stdout.
//   Quillpost.exe [--runs N]
#include <stdio.h>
#include <string.h>
#include <algorithm>
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

template <typename F>
static double medianSeconds(F work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        double start = now();
        work();
        times.push_back(now() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
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

// A multi-level Japanese reply of n body lines.
static HostMessage replyMessage(int n)
{
    static const char* const lines[] = {
        "山田です。ご連絡ありがとうございます。",
        "> 来週の打ち合わせですが、火曜日の午後はいかがでしょうか。",
        "> 資料は前日までにお送りします。",
        ">> 先日はありがとうございました。次回の日程を決めたいと思います。",
        "＞＞＞ 議事録を添付します。ご確認ください。",
        "> | 会議室は三階の大会議室です。",
        "火曜日の午後で大丈夫です。資料をお待ちしております。",
        "",
    };
    HostMessage m = hostSampleMessage();
    m.body.clear();
    for (int i = 0; i < n; ++i)
        m.body.push_back(lines[i % (sizeof lines / sizeof lines[0])]);
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

static double streamSeconds(HWND edit, const std::vector<std::string>& pieces)
{
    return medianSeconds([&] {
        SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
        hostStreamPieces(edit, pieces);
    });
}

static void viewerTimings()
{
    loadPlugin("[View]\r\nChange=1\r\nHeaderChange=1\r\nLevelColor=1\r\nColor=255\r\nColor2=32768\r\n"
               "Color3=16711680\r\nColor4=33023\r\nColor5=8421504\r\n");
    printf("\n### Viewer: streaming a multi-level Japanese reply\n\n");
    printf("| body lines | A plain control, plain RTF (ms) | B plain control, coloured RTF (ms) | "
           "C hooked control, plain RTF (ms) | C/B | C/A |\n|---|---|---|---|---|---|\n");
    for (int n : {1000, 4000}) {
        std::vector<std::string> pieces = hostRtfPieces(replyMessage(n));
        std::vector<std::string> coloured = colouredPieces(pieces);
        HWND plain = hostCreateViewerWindow(RICHEDIT_20A, "plain", 0, 0, 600, 400);
        HWND hooked = hostCreateViewerWindow(RICHEDIT_20A, "hooked", 0, 0, 600, 400);
        plugin.viewCreate(hooked);
        double a = streamSeconds(hostEditControl(plain), pieces);
        double b = streamSeconds(hostEditControl(plain), coloured);
        double c = streamSeconds(hostEditControl(hooked), pieces);
        printf("| %d | %.1f | %.1f | %.1f | %.3f | %.2f |\n", n, a * 1e3, b * 1e3, c * 1e3, c / b, c / a);
        fflush(stdout);
        DestroyWindow(plain);
        DestroyWindow(hooked);
    }
}

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

static void composeTimings()
{
    const COLORREF quote = 255;
    loadPlugin("[Send]\r\nChange=1\r\nColor=255\r\nRecolorCount=100000000\r\n");
    printf("\n### Compose: WM_SETTEXT of a reply\n\n");
    printf("| lines | bytes | plain control (ms) | coloured at once (ms) | ratio | colouring's own part (ms) |\n"
           "|---|---|---|---|---|---|\n");
    for (int n : {500, 1000, 2000}) {
        std::string text = replyText(n);
        HWND plain = hostCreateComposeWindow(RICHEDIT_20A, "plain", 0, 0, 600, 400);
        HWND hooked = hostCreateComposeWindow(RICHEDIT_20A, "hooked", 0, 0, 600, 400);
        plugin.sendCreate(hooked);
        double p = medianSeconds([&] {
            SendMessageA(hostEditControl(plain), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        });
        double c = medianSeconds([&] {
            SendMessageA(hostEditControl(hooked), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        });
        printf("| %d | %zu | %.1f | %.1f | %.2f | %.1f |\n", n, text.size(), p * 1e3, c * 1e3, c / p, (c - p) * 1e3);
        fflush(stdout);
        DestroyWindow(plain);
        DestroyWindow(hooked);
    }

    loadPlugin("[Send]\r\nChange=1\r\nColor=255\r\n");
    printf("\n### Compose: deferred colouring at the default threshold (4000 bytes)\n\n");
    printf("| lines | bytes | WM_SETTEXT returns (ms) | colours in place (ms) |\n|---|---|---|---|\n");
    for (int n : {500, 1000, 2000}) {
        std::string text = replyText(n);
        std::vector<double> shown, done;
        for (int i = 0; i < runs; ++i) {
            HWND hooked = hostCreateComposeWindow(RICHEDIT_20A, "deferred", 0, 0, 600, 400);
            plugin.sendCreate(hooked);
            HWND edit = hostEditControl(hooked);
            double start = now();
            SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
            shown.push_back(now() - start);
            // Pump until the timer has fired and the re-insertion is coloured.
            while (now() - start < 30) {
                hostPump(5);
                if (lastQuoteColoured(edit, quote))
                    break;
            }
            done.push_back(now() - start);
            DestroyWindow(hooked);
        }
        std::sort(shown.begin(), shown.end());
        std::sort(done.begin(), done.end());
        printf("| %d | %zu | %.1f | %.1f |\n", n, text.size(), shown[runs / 2] * 1e3, done[runs / 2] * 1e3);
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
        SendMessageA(hostEditControl(f), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    hostPump(300);
    auto repaint = [](HWND edit) {
        return medianSeconds([&] {
            for (int i = 0; i < 20; ++i) {
                InvalidateRect(edit, NULL, TRUE);
                UpdateWindow(edit);
            }
        }) / 20;
    };
    double p = repaint(hostEditControl(plain));
    double h = repaint(hostEditControl(hooked));
    printf("\n### Compose: ruler and margin line\n\n");
    printf("| measure | value |\n|---|---|\n");
    printf("| full repaint, plain control (us) | %.0f |\n", p * 1e6);
    printf("| full repaint, with ruler and margin line (us) | %.0f |\n", h * 1e6);
    printf("| ruler and margin line's own part (us) | %.0f |\n", (h - p) * 1e6);

    HWND edit = hostEditControl(hooked);
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

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = atoi(argv[++i]) > 0 ? atoi(argv[i]) : runs;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    mailbox = std::string(temp) + "huescope-timing\\";
    CreateDirectoryA(mailbox.c_str(), NULL);
    hostSetMailbox(mailbox.c_str());
    printf("Median of %d runs each.\n", runs);
    viewerTimings();
    composeTimings();
    rulerTimings();
    plugin.cleanUp();
    hostUnloadPlugin(&plugin);
    return 0;
}
