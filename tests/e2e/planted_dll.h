// What the planted DLL leaves behind when it runs (a line for each load),
// and the names it is planted under: those that system code loads by name,
// beside the program.
#ifndef E2E_PLANTED_DLL_H
#define E2E_PLANTED_DLL_H

static const char PlantedDllTrace[] = "C:\\planted-dll-ran.txt";
enum { PlantedDllExitCode = 77 };

// NT 4.0's RPC runtime loads its client transports by name (rpcltc1.dll
// for named pipes, rpcltc3.dll for TCP).
static const char *const PlantedNames[] = {
    "WINSPOOL.DRV", "lpk.dll",     "usp10.dll",   "imm32.dll",   "uxtheme.dll", "msctf.dll",
    "version.dll",  "secur32.dll", "userenv.dll", "apphelp.dll", "rpcltc1.dll", "rpcltc3.dll",
};

// The names a private assembly beside the program redirects: those above,
// and what Wine's ADVAPI32 and KERNELBASE import.
static const char *const RedirectedNames[] = {
    "version.dll", "imm32.dll", "sechost.dll", "msvcrt.dll", "ucrtbase.dll", "rpcrt4.dll",
};

#endif
