// The functions Quillpost exports for plug-ins. Only GetMailbox and
// RegistCallback do anything; the rest exist so that a plug-in binds.
#include "host.h"

static std::string mailbox = ".\\";
static std::vector<RegisteredCommand> commands;
static const int FIRST_COMMAND_ID = 40001;

void hostSetMailbox(const char* directory) { mailbox = directory ? directory : ""; }
const char* hostMailbox() { return mailbox.c_str(); }
const std::vector<RegisteredCommand>& hostRegisteredCommands() { return commands; }

bool hostRouteCommand(HWND window, int id, int* result)
{
    for (const RegisteredCommand& c : commands) {
        if (c.id == id) {
            int r = c.handler(window, c.param);
            if (result)
                *result = r;
            return true;
        }
    }
    return false;
}

extern "C" {
int WINAPI hostRegistCallback(HostCommandHandler handler, int param)
{
    int id = FIRST_COMMAND_ID + static_cast<int>(commands.size());
    commands.push_back({id, handler, param});
    return id;
}
const char* WINAPI hostGetMailbox() { return mailbox.c_str(); }
int WINAPI hostSetTimer(int, int, int) { return 0; }
int WINAPI hostKillTimer(int) { return 0; }
int WINAPI hostGetAccount(int) { return 0; }
int WINAPI hostImportFile(int, int, int) { return 0; }
int WINAPI hostMoveMail(int, int) { return 0; }
int WINAPI hostMarkMail(int, int, int) { return 0; }
int WINAPI hostDeleteMail(int) { return 0; }
int WINAPI hostFolderGetCurrentEntry(int) { return 0; }
int WINAPI hostFolderGetSelectEntry(int, int) { return 0; }
int WINAPI hostSendGetText(int, int) { return 0; }
int WINAPI hostSendGetHeader(int) { return 0; }
int WINAPI hostSendSetText(int, int) { return 0; }
int WINAPI hostSendSetHeader(int, int) { return 0; }
int WINAPI hostViewGetText(int) { return 0; }
int WINAPI hostViewGetHeader(int) { return 0; }
int WINAPI hostViewSetText(int, int) { return 0; }
int WINAPI hostViewGetPath(int) { return 0; }
int WINAPI hostSjisToJis(int, int, int) { return 0; }
int WINAPI hostJisToSjis(int, int, int) { return 0; }
}
