#include "wine_support.h"
#include <stdio.h>
#include <vector>

std::string makeMailboxDir()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    static LONG counter = 0;
    for (;;) {
        char dir[MAX_PATH];
        snprintf(dir, sizeof dir, "%shuescope-%lu-%ld\\", temp, GetCurrentProcessId(),
                 InterlockedIncrement(&counter));
        if (CreateDirectoryA(dir, NULL))
            return dir;
    }
}

void writeFile(const std::string& path, const std::string& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f != NULL) << path;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string readFile(const std::string& path)
{
    std::string out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    fclose(f);
    return out;
}

bool fileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void PluginTest::SetUp()
{
    mailbox = makeMailboxDir();
    hostSetMailbox(mailbox.c_str());
}

void PluginTest::start()
{
    ASSERT_TRUE(hostLoadPlugin("Huescope.dll", &plugin)) << "Huescope.dll did not load";
    EXPECT_EQ(1, plugin.startUp(0));
}

void PluginTest::TearDown()
{
    for (HWND w : windows)
        if (IsWindow(w))
            DestroyWindow(w);
    windows.clear();
    pumpPending();
    if (plugin.module) {
        plugin.cleanUp();
        hostUnloadPlugin(&plugin);
    }
}

void pumpPending()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool pumpUntil(const std::function<bool()>& done, DWORD capMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        pumpPending();
        if (done())
            return true;
        if (GetTickCount() - start >= capMs)
            return false;
        // Sleeps until a message arrives, or briefly for conditions that
        // change without one (another thread's window, a file).
        MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
    }
}

HWND findDialog(const char* caption)
{
    return FindWindowA("#32770", caption);
}

std::string windowText(HWND window)
{
    int n = GetWindowTextLengthA(window);
    std::vector<char> buf(n + 1);
    GetWindowTextA(window, buf.data(), n + 1);
    return std::string(buf.data());
}

ModalWatcher::ModalWatcher(const char* caption, std::function<void(HWND)> act, DWORD timeoutMs)
    : caption_(caption), act_(act), timeout_(timeoutMs), found_(0), leftOpen_(0)
{
    started_ = CreateEventA(NULL, TRUE, FALSE, NULL);
    thread_ = CreateThread(NULL, 0, run, this, 0, NULL);
    // The thread must be past its start-up before the caller may take the
    // loader lock (a modal box shown from inside LoadLibrary).
    WaitForSingleObject(started_, 5000);
    CloseHandle(started_);
}

ModalWatcher::~ModalWatcher()
{
    join();
}

bool ModalWatcher::join()
{
    if (thread_) {
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = NULL;
    }
    if (leftOpen_) {
        leftOpen_ = 0;
        ADD_FAILURE() << "\"" << caption_ << "\" did not close after the test acted on it";
    }
    return found_ != 0;
}

static bool waitUntilClosed(HWND dialog, DWORD capMs)
{
    for (const DWORD start = GetTickCount(); IsWindow(dialog) && IsWindowVisible(dialog); Sleep(20))
        if (GetTickCount() - start >= capMs)
            return false;
    return true;
}

// A dialog that outlives what the test did to it would keep the modal call,
// and the test, waiting for CTest's own timeout. It is ended from here: as a
// dialog if it is one, else by ending its thread's modal loop.
static void endLeftOpenDialog(HWND dialog)
{
    EndDialog(dialog, 0);
    if (!waitUntilClosed(dialog, 2000))
        PostThreadMessageA(GetWindowThreadProcessId(dialog, NULL), WM_QUIT, 0, 0);
}

DWORD WINAPI ModalWatcher::run(void* self)
{
    ModalWatcher* w = static_cast<ModalWatcher*>(self);
    SetEvent(w->started_);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < w->timeout_) {
        HWND dialog = findDialog(w->caption_.c_str());
        if (dialog && IsWindowVisible(dialog)) {
            // Initialised once its thread is back in its message loop: a
            // message sent now is answered only from there.
            DWORD_PTR answer;
            SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_NORMAL, w->timeout_, &answer);
            w->found_ = 1;
            w->act_(dialog);
            if (!waitUntilClosed(dialog, w->timeout_)) {
                w->leftOpen_ = 1;
                endLeftOpenDialog(dialog);
            }
            return 0;
        }
        Sleep(20);
    }
    return 0;
}

CharFormatRead readCharFormat(HWND control, LONG from, LONG to)
{
    CHARRANGE old;
    SendMessageA(control, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&old));
    CHARRANGE r = {from, to};
    SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
    CHARFORMATA cf = {};
    cf.cbSize = sizeof cf;
    SendMessageA(control, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&cf));
    SendMessageA(control, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&old));
    CharFormatRead out = {cf.crTextColor, cf.dwEffects, cf.dwMask, (cf.dwEffects & CFE_AUTOCOLOR) != 0};
    return out;
}

std::string controlText(HWND control)
{
    LRESULT n = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
    std::vector<char> buf(static_cast<size_t>(n) * 2 + 2);
    SendMessageA(control, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()));
    return std::string(buf.data());
}

LONG findInControl(HWND control, const char* text)
{
    FINDTEXTA ft = {};
    ft.chrg.cpMin = 0;
    ft.chrg.cpMax = -1;
    ft.lpstrText = text;
    return static_cast<LONG>(SendMessageA(control, EM_FINDTEXT, FR_DOWN | FR_MATCHCASE, reinterpret_cast<LPARAM>(&ft)));
}

void* redirectImport(HMODULE module, const char* dll, const char* function, void* replacement)
{
    BYTE* base = reinterpret_cast<BYTE*>(module);
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress)
        return nullptr;
    auto import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
    for (; import->Name; ++import) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + import->Name), dll) != 0)
            continue;
        DWORD namesAt = import->OriginalFirstThunk ? import->OriginalFirstThunk : import->FirstThunk;
        auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + namesAt);
        auto slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<char*>(byName->Name), function) != 0)
                continue;
            DWORD protection;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return previous;
        }
    }
    return nullptr;
}
