// Helpers for the compose editor's Wine tests: a compose window hooked by the
// plug-in over INI files written for the test, a recorder that sees what the
// plug-in hands on to the control, and reading a control's lines back.
#pragma once
#include <functional>
#include <string>
#include <vector>
#include "wine_support.h"

// The editor colours written into Mailbox.ini, and the compose quote colour
// and the five level colours written into Huescope.ini; all differ from one
// another and from the control's defaults.
const COLORREF TEST_TEXT_COLOR = RGB(0x20, 0x30, 0x40);
const COLORREF TEST_BACK_COLOR = RGB(0xF0, 0xE8, 0xD0);
const COLORREF TEST_QUOTE_COLOR = RGB(0xC0, 0x10, 0x20);
const COLORREF TEST_LEVEL_COLORS[5] = {RGB(0x10, 0x80, 0x10), RGB(0x10, 0x10, 0xA0), RGB(0xA0, 0x60, 0x00),
                                       RGB(0x80, 0x00, 0x80), RGB(0x00, 0x80, 0x80)};
// The plug-in's own timer on the compose control.
const UINT_PTR RECOLOR_TIMER = 101313;
// Pumps messages until a tick of the plug-in's recolour timer on control has
// been taken from the queue and handled; false when none came within the cap.
bool waitForRecolorTick(HWND control);

// What the control's own procedure received: the recorder is installed on
// the control before the plug-in hooks it, so the plug-in passes messages on
// to it.
struct RecordedMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    std::string text;   // the string of WM_SETTEXT and EM_REPLACESEL
};

// One recorder for the process; tests run one after another.
struct ControlRecorder {
    std::vector<RecordedMessage> messages;
    // Called before a message is recorded and passed on; returning true
    // answers the message with *result instead of the control.
    std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> intercept;
    WNDPROC original = nullptr;

    void install(HWND control);
    size_t count(UINT message) const;
    size_t count(UINT message, WPARAM wParam) const;
    std::vector<RecordedMessage> of(UINT message) const;
    // Calls the control's own procedure, past recorder and plug-in.
    LRESULT callOriginal(HWND control, UINT message, WPARAM wParam, LPARAM lParam) const;
};
ControlRecorder& recorder();

class ComposeTest : public PluginTest {
protected:
    // Drops the recorder's interception before the windows go.
    void TearDown() override;
    // Writes Mailbox.ini with the test's editor colours and Huescope.ini with
    // the quote and level colours, then the given lines of [Send], [Common]
    // and [View].
    void configure(const std::string& sendLines, const std::string& commonLines = "",
                   const std::string& viewLines = "");
    // Starts the plug-in, opens a compose window of cls (shown when visible
    // is set), installs the recorder (when record is set) and lets the
    // plug-in hook the control.
    void openCompose(RichEditClass cls, bool record = true, bool visible = false);

    HWND frame = NULL;
    HWND control = NULL;
};

// Line n of a control: its first position and its length in positions.
struct LineRange { LONG start, length; };
LineRange lineRange(HWND control, int line);
int lineCount(HWND control);

// The colour of a line as a whole; *uniform tells whether the control
// reports one colour for all of it (and not the automatic colour).
COLORREF lineColor(HWND control, int line, bool* uniform);

// Describes a colour for failure messages, naming the test colours.
std::string colorName(COLORREF color);

// A test-name suffix made of the letters and digits of a case description.
std::string caseName(const char* description);

// Line breaks (CR LF, CR or LF) written as "|", for comparing texts of
// either control version.
std::string withBreaksShown(const std::string& text);

CHARRANGE selectionOf(HWND control);
void setSelection(HWND control, LONG cpMin, LONG cpMax);

// Replaces the control's text without going through WM_SETTEXT (plain text
// streamed in), so that the plug-in neither converts nor colours it.
void streamPlainText(HWND control, const std::string& text);

// Puts bytes on the clipboard as CF_TEXT, in a block of exactly
// bytes.size() bytes (no terminating zero is added).
bool putClipboardBytes(HWND owner, const std::string& bytes);
std::string clipboardText(HWND owner);
