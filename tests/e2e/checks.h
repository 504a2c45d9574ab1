// e2e_driver's checks of what a run left behind (checks.cpp), for the
// scenarios (scenarios.cpp).
#ifndef E2E_CHECKS_H
#define E2E_CHECKS_H

#include <stdio.h>

#include <string>
#include <vector>

#include "driver.h"

// A scenario's checks: each counted, each failure printed with what was got
// and what was expected.
struct Checker {
    std::string scenario;
    int passed = 0, failed = 0;
    void Expect(bool ok, const std::string &what)
    {
        if (ok) {
            ++passed;
            return;
        }
        ++failed;
        printf("FAIL %s: %s\n", scenario.c_str(), what.c_str());
    }
    void Equal(const std::string &got, const std::string &expected, const std::string &what)
    {
        Expect(got == expected, what + ": got " + Show(got) + ", expected " + Show(expected));
    }
    void Equal(unsigned long got, unsigned long expected, const std::string &what)
    {
        Expect(got == expected,
               what + ": got " + std::to_string(got) + ", expected " + std::to_string(expected));
    }
};

struct Box {
    const char *text;
    unsigned flags;
    const char *buttons;
};

bool Exists(const std::string &path);
bool CopyTo(const std::string &from, const std::string &to);
// Whether the system's ANSI code page lacks a character of the text.
bool AnsiCannotSpell(const std::string &text);
// The files the system is to delete at the next restart.
std::string PendingRemovals();
std::string BaseName(const std::string &path);
std::string Join(const std::vector<std::string> &lines); // each line and a '|'

// Who shows the boxes: the private copy the installer starts, or, where no
// copy can be made, the installer itself.
enum class ShownBy { PrivateCopy, Installer };
// The run's end, its boxes and who showed them, the private copy's traces
// while each was up and after, and what it left in the temporary directory.
void ExpectRun(Checker &check, const RunResult &result, DWORD exitCode,
               const std::vector<Box> &boxes, ShownBy shownBy = ShownBy::PrivateCopy);
// The messages of the log's entries, its form checked.
std::vector<std::string> LogMessages(Checker &check);
// The log holds those messages, and is well formed.
void ExpectLog(Checker &check, const std::vector<std::string> &messages,
               const std::string &what = "log");
// The first `copied` package files are in the driver directory byte for byte
// (as the package folder holds them), the others not.
void ExpectFiles(Checker &check, int copied, const std::string &package = options.package);
void ExpectRegistered(Checker &check);
void ExpectNotRegistered(Checker &check);
void ExpectSettings(Checker &check, const std::string &logDir);
// The boxes of a whole installation: the question, the default question, the completion.
extern const std::vector<Box> CompleteBoxes;
// A whole first installation, answered "ok" and then yes or no, and all it
// leaves behind: boxes, exit status, files, spooler, settings, log and default.
RunResult ExpectFirstInstallation(Checker &check, RunOptions run, bool yes);

// What the program loads, and from where (loads.cpp). Where a run meets a
// name that the ANSI code page cannot spell: nowhere, in the package folder,
// or in the temporary directory (a user's name in another script than the
// system's; wine.sh sets it for the session, under HKCU\Environment, for the
// scenarios whose names end in -unicode-temp).
enum class Unspelled { Nowhere, PackageFolder, TempDirectory };
// DLLs planted in the folder under the names that system code loads by
// name, Wine told to prefer them, once a control run has shown they work.
bool Plant(Checker &check, const std::string &folder, const std::string &windows);
void PlantedDlls(Checker &check, const std::string &windows,
                 Unspelled unspelled = Unspelled::Nowhere);
void Renamed(Checker &check, const std::string &program, bool replaced);
void ManifestBeside(Checker &check);

#endif
