// What the program does when it starts: the launcher's part, or the private
// copy's, then the installation (WinMain). The user gives no options: a
// command line that does not begin with the role switch is ignored. The
// paths of both parts are wide, so that a folder or user name that the ANSI
// code page cannot spell serves as well.
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
static int IsRoleSwitch(LPCSTR line)
{
    for (unsigned i = 0; PrivateCopySwitch[i] != '\0'; ++i) {
        if (line[i] != PrivateCopySwitch[i])
            return 0;
    }
    return line[COUNT_OF(PrivateCopySwitch) - 1] == '\0';
}

// Cuts the path at its last backslash, leaving its folder.
static void CutFileName(WCHAR *path)
{
    WCHAR *last = path;
    for (WCHAR *at = path; *at != 0; ++at) {
        if (*at == '\\')
            last = at;
    }
    *last = 0;
}

// The copy, started by the launcher with its private folder, where the
// package's files were copied, as the current directory. It makes that
// folder current itself all the same, before it loads the system libraries
// (on NT 4.0 and 2000 the current directory is searched before the system
// directory for the DLLs that USER32's start-up loads by name), and installs
// from there, the ".\NAME" sources read there: the download folder is never
// its current directory. It schedules nothing for the restart; the launcher
// removes what it made.
static void PrepareCopy(WCHAR (&own)[PATH_SIZE])
{
    CutFileName(own);
    WIDE_CALL(SetCurrentDirectoryW, ENTRY_SET_CURRENT_DIRECTORY_W)(own);
    LoadSystemLibraries();
}

int StartSetup(void)
{
    LoadSystemLibrary(LIBRARY_KERNEL32);
    // NTDLL is in every NT process and in none of Windows 95, 98 and Me,
    // whatever version a compatibility layer makes the system report.
    int nt = LoadSystemLibrary(LIBRARY_NTDLL) != NULL;
    LPSTR line = GetCommandLineA();
    // The role switch counts only in a private folder, which the program's
    // own path tells (on NT; the 95 family lacks or fails the wide calls). A
    // program started with it anywhere else runs the installation in place:
    // it never starts another copy (a copy that took itself for the launcher
    // would start copies without end) and never removes itself.
    int roleSwitch = IsRoleSwitch(line);
    int wide = EntriesBound(ENTRY_GET_TEMP_PATH_W, ENTRY_SET_CURRENT_DIRECTORY_W);
    WCHAR program[PATH_SIZE];
    DWORD length =
        roleSwitch && wide
            ? WIDE_CALL(GetModuleFileNameW, ENTRY_GET_MODULE_FILE_NAME_W)(NULL, program, PATH_SIZE)
            : 0;
    // A path that fills the buffer may be cut.
    if (length != 0 && length < PATH_SIZE && InPrivateFolder(program)) {
        PrepareCopy(program);
    } else {
        // The launcher needs no path of its own: it writes its copy from
        // what the system mapped.
        DWORD status = 0;
        if (!roleSwitch && wide && LaunchPrivateCopy(&status))
            return static_cast<int>(status);
        // No private copy could be made or started (any user who can fill
        // the temporary directory's volume can bring that about). A program
        // that carries the package installs only from its private folder, so
        // on NT it ends here, having loaded no DLL: no box can be shown
        // without USER32, whose start-up loads DLLs by name from the
        // program's folder. The 95 family, which has no users to keep apart
        // and where no private folder is tried, is refused by the
        // installation as ever. A program built without the package installs
        // the files beside it, in place, as it always could.
        if (nt && CarriesPackage())
            return 0;
        LoadSystemLibraries();
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    char none[] = "";
    return WinMain(GetModuleHandleA(NULL), NULL, roleSwitch ? none : SkipProgramName(line), show);
}
