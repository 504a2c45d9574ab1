// The program's entry point, in place of a C runtime's start-up code (the
// installer links none, so no C runtime DLL is ever looked for beside it). It
// ends the process with the run's result as the exit status.
#include "scrivox.h"

// Windows calls the entry point with a stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer, noreturn)) void WinMainCRTStartup(void)
{
    ExitProcess(static_cast<UINT>(StartSetup()));
}
