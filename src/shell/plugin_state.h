// What the entry points own: the module handles, the host functions bound
// at load and the control version found.
#pragma once
#include <windows.h>
#include <richedit.h>

typedef int(WINAPI* CommandHandler)(HWND window, int param);
typedef int(WINAPI* RegistCallbackFn)(CommandHandler handler, int param);
typedef const char*(WINAPI* GetMailboxFn)(void);

const int HOST_FUNCTION_COUNT = 21;

// The host's exported functions, in binding order. Only RegistCallback and
// GetMailbox are ever called; the rest must merely exist.
struct HostApi {
    RegistCallbackFn registCallback;
    FARPROC setTimer, killTimer;
    GetMailboxFn getMailbox;
    FARPROC getAccount, importFile, moveMail, markMail, deleteMail;
    FARPROC folderGetCurrentEntry, folderGetSelectEntry;
    FARPROC sendGetText, sendGetHeader, sendSetText, sendSetHeader;
    FARPROC viewGetText, viewGetHeader, viewSetText, viewGetPath;
    FARPROC sjisToJis, jisToSjis;
};

struct PluginState {
    HINSTANCE pluginModule;
    HMODULE hostModule;
    HostApi host;
};

extern PluginState state;

const size_t PATH_BUFFER_SIZE = 260;

// shell
// The rich edit control on the chain of window's first children, or NULL;
// *isRichEdit20 (when asked for) tells its version.
HWND findRichEdit(HWND window, bool* isRichEdit20);
// RichEdit20A, RichEdit20W and any class named like them are RichEdit 2.0.
bool isRichEdit20Class(const char* className);
void applyFlatToolbar(HWND window);
int bindHostApi();
void releaseHostApi();

// The controls one hook procedure serves, each with the procedure it passes
// messages on to and its version as found when it was hooked: two controls
// of different classes each keep their own.
struct HookedControl {
    HWND control;
    WNDPROC savedProc;
    bool isRichEdit20;
};
const int MAX_HOOKED_CONTROLS = 32;
struct HookedControls {
    HookedControl entries[MAX_HOOKED_CONTROLS];
};
// Installs procedure on control and keeps what it replaced; a control already
// in the table keeps its entry (the host handed the same window again).
// False when the table has no room, and the control is left alone.
bool hookControl(HookedControls* table, HWND control, WNDPROC procedure, bool isRichEdit20);
const HookedControl* hookedControl(const HookedControls* table, HWND control);
// The message handed to the procedure control's hook replaced.
LRESULT passToSaved(const HookedControls* table, HWND control, UINT message, WPARAM wParam, LPARAM lParam);
// Drops control's entry once it has had its last message.
void forgetControl(HookedControls* table, HWND control);
