// The message viewer's Win32 operations.
#pragma once
#include "shell/plugin_state.h"
#include "settings/settings.h"
#include "viewer/rtf_recolor.h"

// What the viewer keeps between calls: the controls its hook serves (each
// with the procedure it passes messages on to), the host's stream record while a message streams in, the
// colour table's entry count (the index of the first appended colour, 1
// before any table was seen), the stream's signature and cut-line state, and
// the font submenus.
struct ViewerState {
    HookedControls controls;
    EDITSTREAM savedStream;
    int colorTableBase;
    RtfStreamState stream;
    HMENU barPopup, ctxPopup;
};

extern ViewerState viewer;

LRESULT CALLBACK viewerWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
DWORD CALLBACK streamCallback(DWORD_PTR cookie, LPBYTE buffer, LONG cb, LONG* pcb);
int WINAPI fontMenuCommand(HWND window, int param);
