// The yardstick for the start-up benchmark: the floor of the installer's
// design, two process starts and a box. Started plainly, it starts itself
// again with a switch and waits; that second process shows the box. Like the
// installer it has no C runtime and imports from KERNEL32 alone: only the
// second process loads USER32.
#include <windows.h>

#include "scrivox.h"

typedef int(WINAPI *MessageBoxEntry)(HWND, LPCSTR, LPCSTR, UINT);

extern "C" __attribute__((force_align_arg_pointer, noreturn)) void MinimalStart(void)
{
    if (lstrcmpA(GetCommandLineA(), "/copy") == 0) {
        FARPROC entry = GetProcAddress(LoadLibraryA("user32.dll"), "MessageBoxA");
        MessageBoxEntry messageBox =
            reinterpret_cast<MessageBoxEntry>(reinterpret_cast<void (*)(void)>(entry));
        ExitProcess(static_cast<UINT>(
            messageBox(NULL, "minimal", INSTALLER_CAPTION, MB_OKCANCEL | MB_ICONQUESTION)));
    }
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    char copy[] = "/copy";
    if (!CreateProcessA(self, copy, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        ExitProcess(1);
    WaitForSingleObject(process.hProcess, INFINITE);
    ExitProcess(0);
}
