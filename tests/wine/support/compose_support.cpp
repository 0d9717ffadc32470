#include "compose_support.h"
#include <stdio.h>
#include <string.h>

ControlRecorder& recorder()
{
    static ControlRecorder instance;
    return instance;
}

static LRESULT CALLBACK recordingProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    ControlRecorder& r = recorder();
    LRESULT answer = 0;
    if (r.intercept && r.intercept(control, message, wParam, lParam, &answer))
        return answer;
    RecordedMessage m = {message, wParam, lParam, std::string()};
    if ((message == WM_SETTEXT || message == EM_REPLACESEL) && lParam)
        m.text = reinterpret_cast<const char*>(lParam);
    r.messages.push_back(m);
    return CallWindowProcA(r.original, control, message, wParam, lParam);
}

void ControlRecorder::install(HWND control)
{
    messages.clear();
    intercept = nullptr;
    original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(recordingProc)));
}

size_t ControlRecorder::count(UINT message) const
{
    size_t n = 0;
    for (const RecordedMessage& m : messages)
        n += m.message == message;
    return n;
}

size_t ControlRecorder::count(UINT message, WPARAM wParam) const
{
    size_t n = 0;
    for (const RecordedMessage& m : messages)
        n += m.message == message && m.wParam == wParam;
    return n;
}

std::vector<RecordedMessage> ControlRecorder::of(UINT message) const
{
    std::vector<RecordedMessage> out;
    for (const RecordedMessage& m : messages)
        if (m.message == message)
            out.push_back(m);
    return out;
}

LRESULT ControlRecorder::callOriginal(HWND control, UINT message, WPARAM wParam, LPARAM lParam) const
{
    return CallWindowProcA(original, control, message, wParam, lParam);
}

void ComposeTest::configure(const std::string& sendLines, const std::string& commonLines,
                            const std::string& viewLines)
{
    char editor[128];
    snprintf(editor, sizeof editor, "[Editor]\r\nTextColor=%d\r\nBkColor=%d\r\n",
             static_cast<int>(TEST_TEXT_COLOR), static_cast<int>(TEST_BACK_COLOR));
    writeMailboxIni(editor);
    char quote[64];
    snprintf(quote, sizeof quote, "[Send]\r\nColor=%d\r\n", static_cast<int>(TEST_QUOTE_COLOR));
    char levels[160];
    snprintf(levels, sizeof levels, "[View]\r\nColor=%d\r\nColor2=%d\r\nColor3=%d\r\nColor4=%d\r\nColor5=%d\r\n",
             static_cast<int>(TEST_LEVEL_COLORS[0]), static_cast<int>(TEST_LEVEL_COLORS[1]),
             static_cast<int>(TEST_LEVEL_COLORS[2]), static_cast<int>(TEST_LEVEL_COLORS[3]),
             static_cast<int>(TEST_LEVEL_COLORS[4]));
    writeIni(std::string(quote) + sendLines + "[Common]\r\n" + commonLines + levels + viewLines);
}

void ComposeTest::TearDown()
{
    recorder().intercept = nullptr;
    PluginTest::TearDown();
}

void ComposeTest::openCompose(RichEditClass cls, bool record, bool visible)
{
    start();
    frame = track(hostCreateComposeWindow(cls, "compose", 40, 40, 480, 320));
    ASSERT_TRUE(frame != NULL);
    control = hostEditControl(frame);
    ASSERT_TRUE(control != NULL);
    if (visible) {
        // Wine waits for the window to be mapped: about two seconds under
        // Xvfb, so only tests that look at the screen show the window.
        ShowWindow(frame, SW_SHOW);
        UpdateWindow(frame);
        pumpPending();
    }
    if (record)
        recorder().install(control);
    ASSERT_NE(0, plugin.sendCreate(frame)) << "the compose window holds a rich edit control";
}

// Ticks of the recolour timer as this thread's message retrieval sees them.
static HWND tickWindow;
static int ticksSeen;
static HHOOK tickHook;

static LRESULT CALLBACK countRecolorTicks(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WM_TIMER && msg->hwnd == tickWindow &&
        msg->wParam == RECOLOR_TIMER)
        ++ticksSeen;
    return CallNextHookEx(tickHook, code, wParam, lParam);
}

bool waitForRecolorTick(HWND control)
{
    tickWindow = control;
    ticksSeen = 0;
    tickHook = SetWindowsHookExA(WH_GETMESSAGE, countRecolorTicks, NULL, GetCurrentThreadId());
    // The hook sees the tick as it is taken; the pump dispatches it before
    // the condition is looked at again.
    bool ticked = pumpUntil([] { return ticksSeen > 0; });
    UnhookWindowsHookEx(tickHook);
    tickHook = NULL;
    return ticked;
}

int lineCount(HWND control)
{
    return static_cast<int>(SendMessageA(control, EM_GETLINECOUNT, 0, 0));
}

LineRange lineRange(HWND control, int line)
{
    LONG start = static_cast<LONG>(SendMessageA(control, EM_LINEINDEX, line, 0));
    LONG length = static_cast<LONG>(SendMessageA(control, EM_LINELENGTH, start, 0));
    return LineRange{start, length};
}

COLORREF lineColor(HWND control, int line, bool* uniform)
{
    LineRange r = lineRange(control, line);
    CharFormatRead f = readCharFormat(control, r.start, r.start + r.length);
    *uniform = (f.mask & CFM_COLOR) && !f.autoColor;
    return f.color;
}

std::string colorName(COLORREF color)
{
    if (color == TEST_TEXT_COLOR)
        return "text colour";
    for (int k = 0; k < 5; ++k)
        if (color == TEST_LEVEL_COLORS[k])
            return "level " + std::to_string(k + 1) + " colour";
    if (color == TEST_QUOTE_COLOR)
        return "quote colour";
    char name[32];
    snprintf(name, sizeof name, "colour 0x%06lX", static_cast<unsigned long>(color));
    return name;
}

std::string caseName(const char* description)
{
    std::string name;
    bool upper = true;
    for (const char* p = description; *p; ++p) {
        char c = *p;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            name += upper && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
            upper = false;
        } else {
            upper = true;
        }
    }
    return name.empty() ? "Case" : name;
}

std::string withBreaksShown(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        out += text[i] == '\r' || text[i] == '\n' ? '|' : text[i];
    }
    return out;
}

CHARRANGE selectionOf(HWND control)
{
    CHARRANGE r = {-99, -99};
    SendMessageA(control, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&r));
    return r;
}

void setSelection(HWND control, LONG cpMin, LONG cpMax)
{
    CHARRANGE r = {cpMin, cpMax};
    SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
}

struct StreamSource { const std::string* text; size_t offset; };

static DWORD CALLBACK streamOut(DWORD_PTR cookie, LPBYTE buffer, LONG size, LONG* written)
{
    StreamSource* s = reinterpret_cast<StreamSource*>(cookie);
    size_t left = s->text->size() - s->offset;
    size_t n = left < static_cast<size_t>(size) ? left : static_cast<size_t>(size);
    memcpy(buffer, s->text->data() + s->offset, n);
    s->offset += n;
    *written = static_cast<LONG>(n);
    return 0;
}

void streamPlainText(HWND control, const std::string& text)
{
    StreamSource source = {&text, 0};
    EDITSTREAM stream = {reinterpret_cast<DWORD_PTR>(&source), 0, streamOut};
    SendMessageA(control, EM_STREAMIN, SF_TEXT, reinterpret_cast<LPARAM>(&stream));
}

bool putClipboardBytes(HWND owner, const std::string& bytes)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block)
        return false;
    memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    if (!OpenClipboard(owner)) {
        GlobalFree(block);
        return false;
    }
    EmptyClipboard();
    bool ok = SetClipboardData(CF_TEXT, block) != NULL;
    CloseClipboard();
    if (!ok)
        GlobalFree(block);
    return ok;
}

std::string clipboardText(HWND owner)
{
    std::string text;
    if (!OpenClipboard(owner))
        return "<clipboard busy>";
    HANDLE data = GetClipboardData(CF_TEXT);
    if (data) {
        const char* p = static_cast<const char*>(GlobalLock(data));
        if (p)
            text.assign(p, strnlen(p, GlobalSize(data)));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}
