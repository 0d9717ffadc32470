// Quillpost stand-in: the host's side of the plug-in contract, as a library
// used by the demo program and by the Wine integration tests.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "rtf_escape.h"

typedef int(WINAPI* HostCommandHandler)(HWND window, int param);

// The mailbox directory GetMailbox answers (should end in a separator).
void hostSetMailbox(const char* directory);
const char* hostMailbox();

// Registered commands: identifiers handed out by RegistCallback.
struct RegisteredCommand { int id; HostCommandHandler handler; int param; };
const std::vector<RegisteredCommand>& hostRegisteredCommands();
// Calls the handler registered under id with window; false when id is unknown.
bool hostRouteCommand(HWND window, int id, int* result);

// The plug-in's entry points.
struct PluginApi {
    HMODULE module;
    const char*(WINAPI* getPlugName)();
    INT_PTR(WINAPI* versionInfo)(HWND);
    int(WINAPI* startUp)(int);
    void(WINAPI* cleanUp)();
    INT_PTR(WINAPI* setup)(HWND);
    void(WINAPI* folderCreate)(HWND);
    void(WINAPI* viewCreate)(HWND);
    void(WINAPI* viewClose)(int);
    void(WINAPI* viewInitMenu)(int, HMENU, int);
    int(WINAPI* sendCreate)(HWND);
    void(WINAPI* sendClose)(int);
    void(WINAPI* sendInitMenu)(int, HMENU, int);
};
bool hostLoadPlugin(const char* path, PluginApi* api);
void hostUnloadPlugin(PluginApi* api);

// Host windows. The rich edit control of a viewer or compose window lies on
// the chain of first children (behind a plain container when nested is set).
enum RichEditClass { RICHEDIT_20A, RICHEDIT_10 };
HWND hostCreateFolderWindow(const char* title);
HWND hostCreateViewerWindow(RichEditClass cls, const char* title, int x, int y, int width, int height);
HWND hostCreateComposeWindow(RichEditClass cls, const char* title, int x, int y, int width, int height,
                             bool nested = false);
HWND hostEditControl(HWND window);   // first rich edit on the chain of first children
HWND hostToolbar(HWND window);

// Menus as the host builds them, handed to the plug-in with their kind code.
HMENU hostBuildViewerMenuBar();      // four submenus; kind 201 targets position 2
HMENU hostBuildComposeMenuBar();     // three submenus; kind 301 targets position 1

// A message as the host streams it into the viewer.
struct HostMessage {
    std::string from, subject, date;     // Shift_JIS
    std::vector<std::string> body;       // Shift_JIS lines
};
// The RTF pieces of a message, one line of RTF each, in the host's shape.
std::vector<std::string> hostRtfPieces(const HostMessage& message);
// Streams pieces into control with EM_STREAMIN, one piece (or as much of it
// as fits) per callback call, zero-terminated.
LRESULT hostStreamPieces(HWND control, const std::vector<std::string>& pieces);

// Pumps the thread's messages for about ms milliseconds.
void hostPump(DWORD ms);

// The sample Japanese reply used by the demo and the tests.
HostMessage hostSampleMessage();
std::string hostSampleReplyText();   // CR LF lines, Shift_JIS

// Writes what the screen shows of window (frame included) as a 24-bit BMP.
bool hostCaptureWindow(HWND window, const char* bmpPath);
