// The checks of what a run of the real installer left behind, which the e2e
// scenarios make under Wine and the check kit on a real Windows: each the
// same fact, checked by the same code.
#ifndef MACHINE_CHECKS_H
#define MACHINE_CHECKS_H

#include <stdio.h>

#include <string>
#include <vector>

#include "machine.h"

// A scenario's or a check's checks: each counted, each failure kept with
// what was got and what was expected, and printed at once for a scenario.
struct Checker {
    std::string scenario; // printed with each failure where it is set
    int passed = 0, failed = 0;
    std::vector<std::string> failures;
    void Expect(bool ok, const std::string &what)
    {
        if (ok) {
            ++passed;
            return;
        }
        ++failed;
        failures.push_back(what);
        if (!scenario.empty())
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
// The boxes of a whole installation: the question, the default question, the completion.
extern const std::vector<Box> CompleteBoxes;
// The system's icon that a box of those style flags shows ("error", ...).
std::string IconName(unsigned flags);

// Who shows the boxes: the private copy the installer starts, or, where no
// copy can be made, the installer itself.
enum class ShownBy { PrivateCopy, Installer };
// The run went to its end, with that exit status, all its answers used.
void ExpectEnded(Checker &check, const RunResult &result, DWORD exitCode);
// Its boxes: how many, their texts, buttons and captions, and who showed
// them: the private copy, the program started (in its own folder), as its
// current directory.
void ExpectBoxes(Checker &check, const RunResult &result, const std::vector<Box> &boxes,
                 ShownBy shownBy = ShownBy::PrivateCopy);
// While each box was up, another process could neither rename the private
// folder nor open it for deletion.
void ExpectHeld(Checker &check, const RunResult &result);
// Nothing of the private folders is left, in the temporary directory (but
// the log) or among what the system is to remove at the restart.
void ExpectNothingLeft(Checker &check, const RunResult &result);
// The messages of the log's entries after its first `from` bytes, its form checked.
std::vector<std::string> LogMessages(Checker &check, size_t from = 0);
// The log holds those messages after its first `from` bytes, and is well formed.
void ExpectLog(Checker &check, const std::vector<std::string> &messages,
               const std::string &what = "log", size_t from = 0);
// The first `copied` package files are in the driver directory byte for byte
// (as the package folder holds them), the others not.
void ExpectFiles(Checker &check, int copied, const std::string &package);
// The driver's files, where the spooler says it keeps them (its version
// directory), each once; none where the driver is not registered.
std::vector<std::string> DriverFilePaths();
// Those files are the package's byte for byte.
void ExpectDriverFiles(Checker &check, const std::string &package);
void ExpectRegistered(Checker &check);
void ExpectNotRegistered(Checker &check);
void ExpectSettings(Checker &check, const std::string &logDir);

#endif
