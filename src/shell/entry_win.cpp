// Library entry routine, the shell's entry points, the version dialog and
// clean-up.
#include <stdio.h>
#include "compose/compose.h"
#include "shell/exports.h"
#include "shell/plugin_state.h"
#include "settings/settings.h"
#include "shell/resource.h"

PluginState state;

static const char PLUGIN_NAME[] = "Huescope";

static void showLoadFailure()
{
    char message[256];
    wsprintfA(message,
              "プラグイン「%s」でエラーが発生しました。\r\nQuillpost32とプラグインのバージョンを確認してください",
              PLUGIN_NAME);
    MessageBoxA(NULL, message, "プラグインエラー", MB_ICONERROR);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        state.pluginModule = module;
        if (!bindHostApi()) {
            showLoadFailure();
            return FALSE;
        }
        return TRUE;
    case DLL_PROCESS_DETACH:
        releaseHostApi();
        return TRUE;
    default:
        return TRUE;
    }
}

HUESCOPE_EXPORT const char* WINAPI ZekGetPlugName()
{
    return PLUGIN_NAME;
}

static INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}

HUESCOPE_EXPORT INT_PTR WINAPI ZekVersionInfo(HWND owner)
{
    return DialogBoxParamA(state.pluginModule, MAKEINTRESOURCEA(IDD_VERSION), owner, aboutDialogProc, 0);
}

HUESCOPE_EXPORT int WINAPI ZekStartUp(int)
{
    loadSettings();
    return 1;
}

// Every pointer and handle is cleared as it is released, so a second call
// releases nothing twice.
HUESCOPE_EXPORT void WINAPI ZekCleanUp()
{
    releaseSettingsBuffers();
    releaseComposeResources();
}

HUESCOPE_EXPORT void WINAPI ZekFolderCreate(HWND window)
{
    applyFlatToolbar(window);
}

// One routine serves both close entry points: hooks end with their controls.
HUESCOPE_EXPORT void WINAPI ZekViewClose(int)
{
}
