// The launcher: the process the user starts, in the folder the package was
// downloaded or unpacked into. Before any DLL but KERNEL32 (and ADVAPI32, by
// its full path) is loaded, it copies the program and the package's files
// into a new private folder and runs the installation there, with that folder
// as its current directory, so that no DLL that system code loads by name is
// ever looked for in the download folder. It shows nothing itself. Its paths
// are wide, so that any folder or user name serves.
#include "scrivox.h"

#include "text.h"

enum {
    REMOVAL_ATTEMPTS = 20, // the system may hold a program that just ended for a moment
    REMOVAL_PAUSE_MS = 100,
};

// The path of a file in the private folder; 0 when it does not fit, and so
// was never made there either.
static int PathIn(const WCHAR *folder, const char *name, WCHAR (&path)[PATH_SIZE])
{
    return COPY_TEXT(path, folder) && APPEND_TEXT(path, "\\") && APPEND_TEXT(path, name);
}

// Removes the copy, the package's files and the folder, retrying briefly.
// What cannot be removed stays for the removal the copy scheduled at restart.
// Only these names are ever removed, and only inside the private folder.
static void RemovePrivateFolder(const WCHAR *folder)
{
    for (int attempt = 0; attempt < REMOVAL_ATTEMPTS; ++attempt) {
        if (attempt > 0)
            Sleep(REMOVAL_PAUSE_MS);
        int emptied = 1;
        for (int i = -1; i < DRIVER_FILE_COUNT; ++i) {
            WCHAR path[PATH_SIZE];
            if (PathIn(folder, i < 0 ? PRIVATE_COPY_NAME : DriverFileSet[i], path) &&
                !WIDE_CALL(DeleteFileW, ENTRY_DELETE_FILE_W)(path) &&
                GetLastError() != ERROR_FILE_NOT_FOUND)
                emptied = 0;
        }
        if (emptied && WIDE_CALL(RemoveDirectoryW, ENTRY_REMOVE_DIRECTORY_W)(folder))
            return;
    }
}

// Copies a file into the private folder, byte for byte, and makes the copy
// writable, so that a read-only download gives a copy that can be removed.
static int CopyIn(const WCHAR *source, const WCHAR *copy)
{
    return WIDE_CALL(CopyFileW, ENTRY_COPY_FILE_W)(source, copy, TRUE) &&
           WIDE_CALL(SetFileAttributesW, ENTRY_SET_FILE_ATTRIBUTES_W)(copy, FILE_ATTRIBUTE_NORMAL);
}

// Copies each of the package's files found in the current directory (the
// package folder) into the private folder, under its own name; a file that is
// not there is left out, for the installation to report as it always has.
// 0 when a file that is there could not be copied: the installation then
// reads the package folder after all.
static int CopyPackage(const WCHAR *folder)
{
    for (unsigned i = 0; i < DRIVER_FILE_COUNT; ++i) {
        WCHAR source[PATH_SIZE], copy[PATH_SIZE];
        source[0] = 0;
        if (!APPEND_TEXT(source, ".\\") || !APPEND_TEXT(source, DriverFileSet[i]) ||
            !PathIn(folder, DriverFileSet[i], copy))
            return 0;
        if (!CopyIn(source, copy) && GetLastError() != ERROR_FILE_NOT_FOUND)
            return 0;
    }
    return 1;
}

// Starts the copy with the role switch alone as its command line: no path is
// ever passed on a command line. Its current directory is the given folder,
// or where that is null this process's (the package folder). It inherits the
// environment and gets this process's start-up information, so that its
// boxes appear as this process's would.
static int StartCopy(const WCHAR *copy, const WCHAR *current, PROCESS_INFORMATION *process)
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
                                                             0, NULL, current, &startup, process);
}

int LaunchPrivateCopy(const WCHAR *program, DWORD *exitStatus)
{
    WCHAR folder[PATH_SIZE];
    HANDLE hold;
    if (!MakePrivateFolder(folder, &hold))
        return 0;
    WCHAR copy[PATH_SIZE];
    PROCESS_INFORMATION process = {};
    if (!PathIn(folder, PRIVATE_COPY_NAME, copy) || !CopyIn(program, copy) ||
        !StartCopy(copy, CopyPackage(folder) ? folder : NULL, &process)) {
        CloseHandle(hold);
        RemovePrivateFolder(folder);
        return 0;
    }
    CloseHandle(process.hThread);
    // The copy runs the whole installation; its end, however it came (End
    // Task included), is the end of the run.
    *exitStatus = 0;
    DWORD waited = WaitForSingleObject(process.hProcess, INFINITE);
    if (waited == WAIT_OBJECT_0 && !GetExitCodeProcess(process.hProcess, exitStatus))
        *exitStatus = 0;
    CloseHandle(process.hProcess);
    // Let go only now: a held folder cannot be removed.
    CloseHandle(hold);
    if (waited == WAIT_OBJECT_0)
        RemovePrivateFolder(folder);
    // Otherwise the copy may still run: its folder is left to it.
    return 1;
}
