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
    int isRichEdit20;
};

extern PluginState state;

const size_t PATH_BUFFER_SIZE = 260;

// shell
HWND findRichEdit(HWND window, int* isRichEdit20);
void applyFlatToolbar(HWND window);
int bindHostApi();
void releaseHostApi();
// Installs procedure on control unless it is already there; returns the
// procedure to pass messages on to (never procedure itself).
WNDPROC subclassControl(HWND control, WNDPROC procedure, WNDPROC previous);
