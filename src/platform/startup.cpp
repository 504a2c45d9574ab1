// The program's entry point, in place of a C runtime's start-up code (the
// installer links none, so no C runtime DLL is ever looked for beside it).
// It hands WinMain what Windows gives, the module handle, the command line
// after the program's name and the show state from the start-up information,
// and ends the process with WinMain's result as the exit status.
#include "scrivox.h"

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

// Windows calls the entry point with a stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void WinMainCRTStartup(void)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
    int result = WinMain(GetModuleHandleA(NULL), NULL, SkipProgramName(GetCommandLineA()), show);
    ExitProcess(static_cast<UINT>(result));
}
