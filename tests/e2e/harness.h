// The end-to-end harness's part that is Wine's: a run of the real
// ScrivoxSetup.exe (machine/machine.h) in a chosen Windows version, as
// Wine's per-program settings give it, with each box's call read from
// Wine's relay trace of MessageBoxA; and the module loads of Wine's trace.
#ifndef E2E_HARNESS_H
#define E2E_HARNESS_H

#include "machine/machine.h"

struct RunOptions : ProgramRun {
    std::string windowsVersion;   // Wine's name: nt40, win2k, winxp, ...
    std::string relayFile;        // where Wine's relay trace of MessageBoxA lands
    std::string screenshotFolder; // when set, each box is saved there as box-N.bmp
};

RunResult RunInstaller(const RunOptions &options);

// A module load in Wine's trace (WINEDEBUG=+pid,+loaddll), in the order seen.
struct ModuleLoad {
    DWORD processId;
    std::string path;
};
std::vector<ModuleLoad> ModuleLoads(const std::string &trace);

// Wine's settings for the program alone (by default by its own name, which its
// private copy has): value name of HKCU\Software\Wine\AppDefaults\PROGRAM[\subkey],
// removed when value is "".
void SetInstallerDefault(const std::string &subkey, const char *name, const std::string &value,
                         const std::string &program = expected::ProgramName);

#endif
