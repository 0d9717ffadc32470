// Helpers for the Wine integration tests: a fresh plug-in per test over a
// mailbox folder of its own, a watcher for modal windows, message pumping,
// and reading back what a rich edit control shows.
#pragma once
#include <windows.h>
#include <richedit.h>
#include <functional>
#include <string>
#include <gtest/gtest.h>
#include "host.h"

// A new temporary mailbox directory (ending in a backslash).
std::string makeMailboxDir();
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);

// Loads Huescope.dll with a fresh mailbox; the INI files may be written
// before startUp. Unloads at the end of the test, after the windows it
// tracked have been destroyed.
class PluginTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Loads the plug-in and runs ZekStartUp.
    void start();
    std::string iniPath() const { return mailbox + "Huescope.ini"; }
    std::string mailboxIniPath() const { return mailbox + "Mailbox.ini"; }
    void writeIni(const std::string& text) { writeFile(iniPath(), text); }
    void writeMailboxIni(const std::string& text) { writeFile(mailboxIniPath(), text); }
    HWND track(HWND window) { windows.push_back(window); return window; }

    std::string mailbox;
    PluginApi plugin = {};
    std::vector<HWND> windows;
};

// How long a wait for something that must happen goes on: a cap that only
// a fault reaches (the 32-bit lane runs emulated, and every timing shifts).
const DWORD WAIT_CAP_MS = 20000;

// Waits on another thread for a top-level window of class "#32770" with the
// given caption, then calls act(window) on that thread. Gives up after
// timeoutMs. join() returns whether the window was found; a window still
// shown timeoutMs after act is ended by the watcher and fails the test.
class ModalWatcher {
public:
    ModalWatcher(const char* caption, std::function<void(HWND)> act, DWORD timeoutMs = WAIT_CAP_MS);
    ~ModalWatcher();
    bool join();
private:
    static DWORD WINAPI run(void* self);
    std::string caption_;
    std::function<void(HWND)> act_;
    DWORD timeout_;
    HANDLE thread_;
    HANDLE started_;
    volatile LONG found_;
    volatile LONG leftOpen_;
};
HWND findDialog(const char* caption);

// Pumps this thread's messages until done() holds, giving up after capMs.
// Returns whether done() held.
bool pumpUntil(const std::function<bool()>& done, DWORD capMs = WAIT_CAP_MS);
// Dispatches what is waiting in this thread's queue, paints included.
void pumpPending();
std::string windowText(HWND window);

// Colour and effects of the characters [from, to) of a rich edit control.
struct CharFormatRead { COLORREF color; DWORD effects; DWORD mask; bool autoColor; };
CharFormatRead readCharFormat(HWND control, LONG from, LONG to);
std::string controlText(HWND control);   // WM_GETTEXT
// Finds text in the control's plain text; returns its character position on
// a RichEdit 2.0 control (positions of the wide text) or -1.
LONG findInControl(HWND control, const char* text);

// Points one import of module (a function imported by name from dll) at
// replacement; returns what it pointed at before, or null when module has no
// such import. For fault injection and for counting what the plug-in calls.
void* redirectImport(HMODULE module, const char* dll, const char* function, void* replacement);
