// What the program does when it starts: the launcher's part, or the private
// copy's, then the installation (WinMain). The user gives no options: a
// command line that does not begin with the role switch is ignored.
#include "scrivox.h"

#include "text.h"

// The command line without the program's name, which comes first, quoted
// when it holds blanks, as WinMain receives it.
static LPSTR SkipProgramName(LPSTR line)
{
    if (*line == '"') {
        ++line;
        while (*line != '\0' && *line != '"')
            ++line;
        if (*line == '"')
            ++line;
    } else {
        while (static_cast<unsigned char>(*line) > ' ')
            ++line;
    }
    while (*line != '\0' && static_cast<unsigned char>(*line) <= ' ')
        ++line;
    return line;
}

// Whether the command line is the launcher's: the role switch alone. Anyone
// starting the program from a shell puts the program's name first.
static int IsPrivateCopy(LPCSTR line)
{
    const char role[] = PRIVATE_COPY_SWITCH;
    for (unsigned i = 0; role[i] != '\0'; ++i) {
        if (line[i] != role[i])
            return 0;
    }
    return line[COUNT_OF(role) - 1] == '\0';
}

// The folder part of a path: the path up to its last backslash, which is cut.
static int CutFileName(char *path)
{
    char *last = NULL;
    for (char *at = path; *at != '\0'; ++at) {
        if (*at == '\\')
            last = at;
    }
    if (last == NULL)
        return 0;
    *last = '\0';
    return 1;
}

// The copy, started by the launcher in its private folder with the package
// folder as the current directory. The system libraries are loaded while its
// own folder, which holds nothing else, is current: on NT 4.0 and 2000 the
// current directory is searched before the system directory for the DLLs
// that USER32's start-up loads by name. Then the package folder is current
// again, for the installation's ".\NAME" sources.
static void PrepareCopy(void)
{
    // The copy's own path, then, cut, its folder.
    char own[PATH_SIZE];
    DWORD length = GetModuleFileNameA(NULL, own, sizeof own);
    int known = length != 0 && length < sizeof own;
    if (known) {
        // Should the launcher not live to remove them, the next restart does
        // (where this user may ask for that: administrators only).
        MoveFileExA(own, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
        known = CutFileName(own);
    }
    if (known)
        MoveFileExA(own, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);

    // The package folder is left only when its name leads back to it: one
    // that the ANSI code page cannot spell does not, and stays current.
    char package[PATH_SIZE];
    length = GetCurrentDirectoryA(sizeof package, package);
    int left = known && length != 0 && length < sizeof package && SetCurrentDirectoryA(package) &&
               SetCurrentDirectoryA(own);
    LoadSystemLibraries();
    if (left)
        SetCurrentDirectoryA(package);
}

int StartSetup(void)
{
    LPSTR line = GetCommandLineA();
    int copy = IsPrivateCopy(line);
    if (copy) {
        PrepareCopy();
    } else {
        DWORD status = 0;
        if (LaunchPrivateCopy(&status))
            return static_cast<int>(status);
        // No private copy could be made or started: the installation runs
        // here, as it always could.
        LoadSystemLibraries();
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    char none[] = "";
    return WinMain(GetModuleHandleA(NULL), NULL, copy ? none : SkipProgramName(line), show);
}
