// The launcher: the process the user starts, in the folder the package was
// downloaded or unpacked into. Before any DLL but KERNEL32 (and ADVAPI32, by
// its full path) is loaded, it copies the program into a new private folder
// and runs the installation there, so that no DLL that system code loads by
// name is ever looked for beside the download. It shows nothing itself. Its
// paths are wide, so that any folder or user name serves.
#include "scrivox.h"

#include "text.h"

enum {
    REMOVAL_ATTEMPTS = 20, // the system may hold a program that just ended for a moment
    REMOVAL_PAUSE_MS = 100,
};

// Removes the copy, when its path is known, and the folder, retrying briefly.
// What cannot be removed stays for the removal the copy scheduled at restart.
static void RemovePrivateFolder(const WCHAR *copy, const WCHAR *folder)
{
    for (int attempt = 0; attempt < REMOVAL_ATTEMPTS; ++attempt) {
        if (attempt > 0)
            Sleep(REMOVAL_PAUSE_MS);
        if (copy != NULL && !WIDE_CALL(DeleteFileW, ENTRY_DELETE_FILE_W)(copy) &&
            GetLastError() != ERROR_FILE_NOT_FOUND)
            continue;
        if (WIDE_CALL(RemoveDirectoryW, ENTRY_REMOVE_DIRECTORY_W)(folder))
            return;
    }
}

// Starts the copy with the role switch alone as its command line: no path is
// ever passed on a command line. The copy inherits the current directory
// (the package folder) and the environment, and gets this process's start-up
// information, so that its boxes appear as this process's would.
static int StartCopy(const WCHAR *copy, PROCESS_INFORMATION *process)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    WIDE_CALL(GetStartupInfoW, ENTRY_GET_STARTUP_INFO_W)(&startup);
    // What is reserved, and standard handles this process does not pass on.
    startup.lpReserved = NULL;
    startup.cbReserved2 = 0;
    startup.lpReserved2 = NULL;
    startup.dwFlags &= ~static_cast<DWORD>(STARTF_USESTDHANDLES);
    WCHAR commandLine[COUNT_OF(PrivateCopySwitch)]; // the call may write to it
    commandLine[0] = 0;
    return APPEND_TEXT(commandLine, PrivateCopySwitch) &&
           WIDE_CALL(CreateProcessW, ENTRY_CREATE_PROCESS_W)(copy, commandLine, NULL, NULL, FALSE,
                                                             0, NULL, NULL, &startup, process);
}

int LaunchPrivateCopy(const WCHAR *program, DWORD *exitStatus)
{
    WCHAR folder[PATH_SIZE];
    if (!MakePrivateFolder(folder))
        return 0;
    WCHAR copy[PATH_SIZE];
    if (!COPY_TEXT(copy, folder) || !APPEND_TEXT(copy, "\\" PRIVATE_COPY_NAME)) {
        RemovePrivateFolder(NULL, folder);
        return 0;
    }
    PROCESS_INFORMATION process = {};
    // A read-only download would make a read-only copy that cannot be removed.
    if (!WIDE_CALL(CopyFileW, ENTRY_COPY_FILE_W)(program, copy, TRUE) ||
        !WIDE_CALL(SetFileAttributesW, ENTRY_SET_FILE_ATTRIBUTES_W)(copy, FILE_ATTRIBUTE_NORMAL) ||
        !StartCopy(copy, &process)) {
        RemovePrivateFolder(copy, folder);
        return 0;
    }
    CloseHandle(process.hThread);
    // The copy runs the whole installation; its end, however it came (End
    // Task included), is the end of the run.
    *exitStatus = 0;
    if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0) {
        CloseHandle(process.hProcess);
        return 1; // the copy may still run: its folder is left to it
    }
    if (!GetExitCodeProcess(process.hProcess, exitStatus))
        *exitStatus = 0;
    CloseHandle(process.hProcess);
    RemovePrivateFolder(copy, folder);
    return 1;
}
