// Binding the host's exported functions at load.
#include "shell/plugin_state.h"

static const char* const HOST_FUNCTION_NAMES[HOST_FUNCTION_COUNT] = {
    "_ZorRegistCallback@8", "_ZorSetTimer@12", "_ZorKillTimer@4", "_ZorGetMailbox@0",
    "_ZorGetAccount@4", "_ZorImportFile@12", "_ZorMoveMail@8", "_ZorMarkMail@12",
    "_ZorDeleteMail@4", "_ZorFolderGetCurrentEntry@4", "_ZorFolderGetSelectEntry@8",
    "_ZorSendGetText@8", "_ZorSendGetHeader@4", "_ZorSendSetText@8", "_ZorSendSetHeader@8",
    "_ZorViewGetText@4", "_ZorViewGetHeader@4", "_ZorViewSetText@8", "_ZorViewGetPath@4",
    "_ZorSjisToJis@12", "_ZorJisToSjis@12",
};

static_assert(sizeof(HostApi) == HOST_FUNCTION_COUNT * sizeof(FARPROC), "HostApi holds one pointer per name");

int bindHostApi()
{
    if (state.hostModule)
        return 1;
    state.hostModule = LoadLibraryA("Quillpost.exe");
    if (!state.hostModule)
        return 0;
    FARPROC* slots = reinterpret_cast<FARPROC*>(&state.host);
    for (int i = 0; i < HOST_FUNCTION_COUNT; ++i) {
        slots[i] = GetProcAddress(state.hostModule, HOST_FUNCTION_NAMES[i]);
        if (!slots[i]) {
            FreeLibrary(state.hostModule);
            state.hostModule = NULL;
            return 0;
        }
    }
    return 1;
}

void releaseHostApi()
{
    if (state.hostModule) {
        FreeLibrary(state.hostModule);
        state.hostModule = NULL;
    }
}
