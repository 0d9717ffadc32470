// The message viewer's Win32 operations.
#pragma once
#include "shell/plugin_state.h"

LRESULT CALLBACK viewerWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
DWORD CALLBACK streamCallback(DWORD_PTR cookie, LPBYTE buffer, LONG cb, LONG* pcb);
int WINAPI fontMenuCommand(HWND window, int param);
