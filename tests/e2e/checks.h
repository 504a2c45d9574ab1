// e2e_driver's checks of what a run left behind (machine/checks.h, and
// checks.cpp for what Wine's relay trace shows), for the scenarios
// (scenarios.cpp, loads.cpp, kit.cpp).
#ifndef E2E_CHECKS_H
#define E2E_CHECKS_H

#include "driver.h"
#include "machine/checks.h"

// Whether the system's ANSI code page lacks a character of the text.
bool AnsiCannotSpell(const std::string &text);

// The run's end, its boxes and who showed them, each box's call as Wine's
// relay trace shows it, the private folder held while each was up, and
// nothing of it left after.
void ExpectRun(Checker &check, const RunResult &result, DWORD exitCode,
               const std::vector<Box> &boxes, ShownBy shownBy = ShownBy::PrivateCopy);
// A whole first installation, answered "ok" and then yes or no, and all it
// leaves behind: boxes, exit status, files, spooler, settings, log and default.
RunResult ExpectFirstInstallation(Checker &check, RunOptions run, bool yes);

// What the program loads, and from where (loads.cpp). Where a run meets a
// name that the ANSI code page cannot spell: nowhere, in the package folder,
// or in the temporary directory (a user's name in another script than the
// system's; wine.sh sets it for the session, under HKCU\Environment, for the
// scenarios whose names end in -unicode-temp).
enum class Unspelled { Nowhere, PackageFolder, TempDirectory };
// Wine told to prefer native DLLs of the names that system code loads by
// name, for the program of that name (the installer's by default).
void PreferPlants(const std::string &program = expected::ProgramName);
// DLLs planted in the folder under the names that system code loads by
// name, Wine told to prefer them, once a control run has shown they work.
bool Plant(Checker &check, const std::string &folder, const std::string &windows);
void PlantedDlls(Checker &check, const std::string &windows,
                 Unspelled unspelled = Unspelled::Nowhere);
void Renamed(Checker &check, const std::string &program, bool replaced);
void ManifestBeside(Checker &check);

// The check kit from the release's check archive (kit.cpp): run from a
// script in a Windows version, with the single program as it ships or
// broken on purpose, its report's lines compared; refused on a system it
// does not check; declined at its question.
enum class KitProgramIs { Shipped, InPlace, InPlaceBesidePlants, LeavesFolder, OtherPackage };
void KitRun(Checker &check, const std::string &windows, KitProgramIs program);
void KitRefused(Checker &check, const std::string &windows, const char *system);
void KitDeclined(Checker &check);

#endif
