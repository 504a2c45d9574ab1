// e2e_driver.exe, the end-to-end test driver: runs ScrivoxSetup.exe under Wine
// as a user would. One command a file:
//   e2e_driver list                      the scenarios (scenarios.cpp)
//   e2e_driver scenario NAME --installer EXE --package DIR --relay FILE
//              [--planted DLL] [--release DIR] [--carrying EXE] [--kit DIR]
//              [--other EXE]
//                                        one scenario and its checks (scenarios.cpp)
//   e2e_driver run --installer EXE --package DIR --expect DIR [--carrying EXE]
//                  [--relay FILE] [--windows VER]
//                  [--answers ok,yes | --default-answers ok,yes | --interactive]
//                  [--screenshots DIR]
//                                        a run of EXE, copied under its own name
//                                        into a folder with DIR's package files,
//                                        and a report of what it changed, the
//                                        installed files compared with --expect's
//                                        (report.cpp); --carrying names EXE again
//                                        when it carries its package; exits 0
//                                        when the run went as asked, 1 when the
//                                        report names a problem
//   e2e_driver firstbox --installer EXE --minimal EXE --package DIR [--runs N]
//                                        start-up time to the first box (firstbox.cpp)
// main.cpp reads the options they share; runs.cpp holds what they do alike.
#ifndef E2E_DRIVER_H
#define E2E_DRIVER_H

#include <string>
#include <vector>

#include "harness.h"

struct DriverOptions {
    std::string installer, package, relay, windows = "winxp", answers, defaultAnswers, screenshots,
                                           minimal;
    std::string planted, driver; // the DLL to plant, and this program's own path
    std::string release;         // the folder the signed release archive was unpacked into
    std::string carrying;        // the installer built carrying the package (--package's files)
    std::string expect;          // the folder whose files the installed ones must be, for run
    std::string kit;             // the folder the release's check archive was unpacked into
    std::string other;           // the single program of a release of another package
    int runs = 10;
    bool interactive = false;
};
extern DriverOptions options;

// A working folder holding the package's files, less those named in `omit`.
std::string MakeWorkingFolder(const std::string &scenario, std::vector<std::string> omit = {});
// A run of the installer in that folder. `windows` is a Windows version as
// Wine names it, or "win2003-64" for Server 2003 x64 (Wine's win2003 in a
// 64-bit prefix; wine.sh picks the prefix by the "64").
RunOptions MakeRun(const std::string &folder, const std::string &windows,
                   std::vector<std::string> answers);

int ListScenarios();
int RunScenario(const std::string &name);
int Report();
int FirstBoxTimes();

#endif
