// Binding the host's exported functions at load.
#include "shell/plugin_state.h"

static_assert(sizeof(HostApi) == HOST_FUNCTION_COUNT * sizeof(FARPROC), "HostApi holds one pointer per host function");

// Looks name up and stores it in member as member's own pointer type. Every
// export comes back as FARPROC; going by way of void (*)(), the type that
// stands for any function, says that the type is restored, not reinterpreted.
template <typename Function>
static bool bindHostFunction(Function& member, const char* name)
{
    member = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(state.hostModule, name)));
    return member != NULL;
}

// In the host's order; the first name that is missing ends the binding.
static bool bindHostFunctions(HostApi& h)
{
    return bindHostFunction(h.registCallback, "_ZorRegistCallback@8")
        && bindHostFunction(h.setTimer, "_ZorSetTimer@12")
        && bindHostFunction(h.killTimer, "_ZorKillTimer@4")
        && bindHostFunction(h.getMailbox, "_ZorGetMailbox@0")
        && bindHostFunction(h.getAccount, "_ZorGetAccount@4")
        && bindHostFunction(h.importFile, "_ZorImportFile@12")
        && bindHostFunction(h.moveMail, "_ZorMoveMail@8")
        && bindHostFunction(h.markMail, "_ZorMarkMail@12")
        && bindHostFunction(h.deleteMail, "_ZorDeleteMail@4")
        && bindHostFunction(h.folderGetCurrentEntry, "_ZorFolderGetCurrentEntry@4")
        && bindHostFunction(h.folderGetSelectEntry, "_ZorFolderGetSelectEntry@8")
        && bindHostFunction(h.sendGetText, "_ZorSendGetText@8")
        && bindHostFunction(h.sendGetHeader, "_ZorSendGetHeader@4")
        && bindHostFunction(h.sendSetText, "_ZorSendSetText@8")
        && bindHostFunction(h.sendSetHeader, "_ZorSendSetHeader@8")
        && bindHostFunction(h.viewGetText, "_ZorViewGetText@4")
        && bindHostFunction(h.viewGetHeader, "_ZorViewGetHeader@4")
        && bindHostFunction(h.viewSetText, "_ZorViewSetText@8")
        && bindHostFunction(h.viewGetPath, "_ZorViewGetPath@4")
        && bindHostFunction(h.sjisToJis, "_ZorSjisToJis@12")
        && bindHostFunction(h.jisToSjis, "_ZorJisToSjis@12");
}

int bindHostApi()
{
    if (state.hostModule)
        return 1;
    state.hostModule = LoadLibraryA("Quillpost.exe");
    if (!state.hostModule)
        return 0;
    if (!bindHostFunctions(state.host)) {
        FreeLibrary(state.hostModule);
        state.hostModule = NULL;
        return 0;
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
