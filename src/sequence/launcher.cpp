// The launcher: the process the user starts, in the folder the package was
// downloaded or unpacked into. It loads no DLL: with nothing in its process
// but KERNEL32 and NTDLL (loaded in every NT process), it puts the program,
// as the system mapped it, and the package's files into a new private folder
// and runs the installation there, with that folder as its current
// directory, so that no DLL that system code loads by name is ever looked for
// in the download folder, and no file of that folder's (the program's own
// among them) is read but the package's. It shows nothing itself. Its paths
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

// Deletes the copy and the package's files in the private folder: 1 when
// none of them is left there.
static int DeleteCopies(const WCHAR *folder)
{
    int emptied = 1;
    for (int i = -1; i < DRIVER_FILE_COUNT; ++i) {
        WCHAR path[PATH_SIZE];
        if (PathIn(folder, i < 0 ? PRIVATE_COPY_NAME : DriverFileSet[i], path) &&
            !WIDE_CALL(DeleteFileW, ENTRY_DELETE_FILE_W)(path) &&
            GetLastError() != ERROR_FILE_NOT_FOUND)
            emptied = 0;
    }
    return emptied;
}

// Gives the private folder up, retrying briefly: its files are deleted while
// the folder is still held, so that its name leads nowhere else meanwhile;
// then the hold is let go and the folder removed by its name (a junction put
// in its place in that moment is removed itself, and nothing through it).
// Only these names are ever removed, and only inside the private folder. A
// folder that cannot be removed stays where it is, and nothing is scheduled
// for the restart: once let go, its name may be another user's by then.
static void GiveUpPrivateFolder(const WCHAR *folder, HANDLE hold)
{
    int emptied = 0;
    for (int attempt = 0; attempt < REMOVAL_ATTEMPTS; ++attempt) {
        if (attempt > 0)
            Sleep(REMOVAL_PAUSE_MS);
        if (!emptied) {
            if (!DeleteCopies(folder))
                continue;
            emptied = 1;
            CloseHandle(hold);
        }
        if (WIDE_CALL(RemoveDirectoryW, ENTRY_REMOVE_DIRECTORY_W)(folder))
            return;
    }
    if (!emptied)
        CloseHandle(hold);
}

// Puts the package's files into the private folder, each under its own name.
// A program that carries the package writes the files it carries and never
// reads the download folder's; any other copies those it finds in the
// current directory (the package folder), byte for byte, each copy made
// writable, so that a read-only download gives a copy that can be removed. A
// file that is not there, or cannot be copied or written whole (unreadable, a
// folder of that name, the disk full), or a carried file damaged since the
// program was built, is left out, for the installation to report as a
// missing file; a carried file written in part is deleted. The installation
// never reads the download folder.
static void CopyPackage(const WCHAR *folder)
{
    int carried = CarriesPackage();
    for (unsigned i = 0; i < DRIVER_FILE_COUNT; ++i) {
        WCHAR source[PATH_SIZE], copy[PATH_SIZE];
        source[0] = 0;
        if (!APPEND_TEXT(source, ".\\") || !APPEND_TEXT(source, DriverFileSet[i]) ||
            !PathIn(folder, DriverFileSet[i], copy))
            continue;
        if (!carried) {
            if (WIDE_CALL(CopyFileW, ENTRY_COPY_FILE_W)(source, copy, TRUE))
                WIDE_CALL(SetFileAttributesW, ENTRY_SET_FILE_ATTRIBUTES_W)
            (copy, FILE_ATTRIBUTE_NORMAL);
        } else if (!WriteCarriedFile(i, copy))
            WIDE_CALL(DeleteFileW, ENTRY_DELETE_FILE_W)(copy);
    }
}

// Starts the copy with the role switch alone as its command line: no path is
// ever passed on a command line. Its current directory is its private folder.
// It inherits the environment and gets this process's start-up information,
// so that its boxes appear as this process's would.
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

int LaunchPrivateCopy(DWORD *exitStatus)
{
    WCHAR folder[PATH_SIZE];
    HANDLE hold;
    if (!MakePrivateFolder(folder, &hold))
        return 0;
    WCHAR copy[PATH_SIZE];
    PROCESS_INFORMATION process = {};
    int started = PathIn(folder, PRIVATE_COPY_NAME, copy) && WriteOwnImage(copy);
    if (started) {
        CopyPackage(folder);
        started = StartCopy(copy, folder, &process);
    }
    if (!started) {
        GiveUpPrivateFolder(folder, hold);
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
    if (waited == WAIT_OBJECT_0)
        GiveUpPrivateFolder(folder, hold);
    else
        CloseHandle(hold); // the copy may still run: its folder and files are left to it
    return 1;
}
