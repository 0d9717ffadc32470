// The entry points the host calls, exported by name and ordinal (Huescope.def).
#pragma once
#include <windows.h>

#define HUESCOPE_EXPORT extern "C"

HUESCOPE_EXPORT const char* WINAPI ZekGetPlugName();
HUESCOPE_EXPORT INT_PTR WINAPI ZekVersionInfo(HWND owner);
HUESCOPE_EXPORT int WINAPI ZekStartUp(int unused);
HUESCOPE_EXPORT void WINAPI ZekCleanUp();
HUESCOPE_EXPORT INT_PTR WINAPI ZekSetup(HWND owner);
HUESCOPE_EXPORT void WINAPI ZekFolderCreate(HWND window);
HUESCOPE_EXPORT void WINAPI ZekViewCreate(HWND window);
// ZekSendClose is ZekViewClose exported under a second name.
HUESCOPE_EXPORT void WINAPI ZekViewClose(int unused);
HUESCOPE_EXPORT void WINAPI ZekViewInitMenu(int unused, HMENU menu, int kind);
HUESCOPE_EXPORT int WINAPI ZekSendCreate(HWND window);
HUESCOPE_EXPORT void WINAPI ZekSendInitMenu(int unused, HMENU menu, int kind);
