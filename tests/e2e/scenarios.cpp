// e2e_driver scenario and list: the end-to-end scenarios, each a run (or a
// few) of the real ScrivoxSetup.exe under Wine, and their checks of what it
// left behind.
#include "checks.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <functional>

#include "expected.h"
#include "planted_dll.h"

namespace {

using expected::DoFilesErrorText;
using expected::DriverName;
using expected::ErrorFlags;
using expected::ExpectedLog;
using expected::InstallQuestionFlags;
using expected::InstallQuestionText;
using expected::PackageFiles;
using expected::RefusalText;

void FirstInstallation(Checker &check, const std::string &windows, bool yes)
{
    ExpectFirstInstallation(check, MakeRun(MakeWorkingFolder(check.scenario), windows, {}), yes);
}

// No package file anywhere under the Windows directory (in a 64-bit prefix,
// System32 as well as SysWOW64), and nothing registered.
void ExpectNothingInstalled(Checker &check)
{
    ExpectFiles(check, 0, options.package);
    std::vector<std::string> found;
    for (const char *file : PackageFiles) {
        std::vector<std::string> copies = FindFiles(WindowsDirectory(), file);
        found.insert(found.end(), copies.begin(), copies.end());
    }
    check.Equal(Join(found), "", "package files under " + WindowsDirectory());
    ExpectNotRegistered(check);
}

// Refused before anything is done: the box, the start entry alone, and
// nothing installed.
void Refused(Checker &check, const std::string &windows)
{
    RunResult result = RunInstaller(MakeRun(MakeWorkingFolder(check.scenario), windows, {}));
    ExpectRun(check, result, 0, {{RefusalText, ErrorFlags, "OK"}});
    ExpectLog(check, ExpectedLog(0));
    ExpectNothingInstalled(check);
}

// The working folder lacks the files in `omit` (or has folders of their names
// in their place), so the copy of package file number `failed` fails: its
// failure box, then "Error 01", and nothing registered. The installation runs
// in the private folder all the same.
void CopyFails(Checker &check, const std::vector<std::string> &omit, int failed,
               bool folders = false)
{
    std::string folder = MakeWorkingFolder(check.scenario, omit);
    for (const std::string &name : omit) {
        if (folders)
            check.Expect(CreateDirectoryW(Wide(folder + "\\" + name).c_str(), NULL),
                         "a folder named " + name + " is in the package folder");
    }
    RunResult result = RunInstaller(MakeRun(folder, "winxp", {}));
    std::string failure = expected::CopyFailureText(PackageFiles[failed], DriverDirectory());
    ExpectRun(check, result, 0,
              {{failure.c_str(), ErrorFlags, "OK"}, {DoFilesErrorText, ErrorFlags, "OK"}});
    ExpectFiles(check, failed, options.package);
    ExpectNotRegistered(check);
    ExpectLog(check, ExpectedLog(failed));
}

// The signed release as a user gets it: the archive's one folder (named after
// the release) copied as it was unpacked, and the installer started in it.
void SignedRelease(Checker &check)
{
    std::set<std::string> entries = FolderEntries(options.release);
    entries.erase(".");
    entries.erase("..");
    check.Equal(entries.size(), 1,
                "entries of the unpacked release: " + Join({entries.begin(), entries.end()}));
    if (entries.size() != 1)
        return;
    std::string unpacked = options.release + "\\" + *entries.begin();
    std::string folder = "C:\\scenario-signed-release";
    CreateDirectoryA(folder.c_str(), NULL);
    std::vector<const char *> released(std::begin(PackageFiles), std::end(PackageFiles));
    released.push_back(expected::ProgramName);
    released.push_back("SHA256SUMS");
    for (const char *name : released)
        check.Expect(
            CopyFileA((unpacked + "\\" + name).c_str(), (folder + "\\" + name).c_str(), FALSE),
            std::string(name) + " is in the release");
    RunOptions run = MakeRun(folder, "winxp", {});
    run.installer = folder + "\\" + expected::ProgramName;
    ExpectFirstInstallation(check, run, true);
}

// Another process, as another user of a shared temporary directory would,
// tries again and again to rename each new Scrivox-* folder there (and puts it
// back), from before the installer starts until its first box, while the
// launcher copies a large package file into it. It holds nothing itself.
struct Watcher {
    std::string temp;
    HANDLE ready = CreateEventW(NULL, TRUE, FALSE, NULL);
    volatile LONG stop = 0;
    unsigned tries = 0, renamed = 0;
};

DWORD WINAPI Watch(LPVOID param)
{
    Watcher &watcher = *static_cast<Watcher *>(param);
    std::set<std::string> before = FolderEntries(watcher.temp);
    SetEvent(watcher.ready);
    while (!watcher.stop) {
        for (const std::string &name : FolderEntries(watcher.temp)) {
            if (before.count(name) ||
                Lower(name).rfind(Lower(expected::PrivateFolderPrefix), 0) != 0)
                continue;
            std::wstring from = Wide(watcher.temp + name), to = Wide(watcher.temp + "theirs");
            ++watcher.tries;
            if (MoveFileW(from.c_str(), to.c_str())) {
                ++watcher.renamed;
                MoveFileW(to.c_str(), from.c_str());
            }
        }
    }
    return 0;
}

void WatchedFolder(Checker &check, const std::string &windows)
{
    std::string folder = MakeWorkingFolder(check.scenario);
    std::string large(48 << 20, '\0');
    for (size_t i = 0; i < large.size(); i += 4096)
        large[i] = static_cast<char>(i >> 12);
    check.Expect(WriteWholeFile(folder + "\\" + PackageFiles[1], large),
                 "a package file of 48 MiB is in the package folder");
    Watcher watcher;
    watcher.temp = TempDirectory();
    HANDLE thread = CreateThread(NULL, 0, Watch, &watcher, 0, NULL);
    WaitForSingleObject(watcher.ready, INFINITE);
    RunOptions run = MakeRun(folder, windows, {"ok", "no"});
    run.atFirstBox = [&watcher] { InterlockedExchange(&watcher.stop, 1); };
    RunResult result = RunInstaller(run);
    InterlockedExchange(&watcher.stop, 1);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseHandle(watcher.ready);
    ExpectRun(check, result, 1, CompleteBoxes);
    check.Expect(watcher.tries > 0, "the watcher found the private folder");
    check.Equal(watcher.renamed, 0,
                "renames that went through, of the watcher's " + std::to_string(watcher.tries) +
                    " tries");
    ExpectFiles(check, 4, folder);
    ExpectRegistered(check);
}

// The installer built carrying the package, started as a user would: alone
// in a folder (as a zip viewer leaves it), or beside four other files of the
// package's names. It installs what it carries, byte for byte, and nothing
// of the folder it is in. Where it can make no private folder (no temporary
// directory), it ends at once with 0, beside DLLs planted there: no box, for
// none can be shown without loading DLLs from its folder, and no plant ran.
enum class Beside { Nothing, OtherFiles, NoTemporaryDirectory };

void Carrying(Checker &check, const std::string &windows, Beside beside)
{
    std::string folder =
        MakeWorkingFolder(check.scenario, {std::begin(PackageFiles), std::end(PackageFiles)});
    for (const char *name : PackageFiles) {
        if (beside != Beside::Nothing)
            WriteWholeFile(folder + "\\" + name, std::string("not the carried ") + name);
    }
    RunOptions run = MakeRun(folder, windows, {});
    run.installer = folder + "\\" + expected::ProgramName;
    check.Expect(CopyTo(options.carrying, run.installer), "the carrying installer is in " + folder);
    if (beside != Beside::NoTemporaryDirectory) {
        ExpectFirstInstallation(check, run, true);
        return;
    }
    check.Expect(Plant(check, folder, windows), "the plants are beside the installer");
    run.setEnvironment = {{"TEMP", "C:\\no-such-folder"}, {"TMP", "C:\\no-such-folder"}};
    ExpectRun(check, RunInstaller(run), 0, {}, ShownBy::Installer);
    check.Expect(!Exists(PlantedDllTrace), "no planted DLL ran");
    ExpectNothingInstalled(check);
}

struct Scenario {
    const char *name;
    std::function<void(Checker &)> run;
};

// Every scenario, by the name CTest runs it under: the build reads the
// names here (cmake/win32.cmake), each at the start of its entry's line.
const Scenario Table[] = {
    {"first-nt40-yes", [](Checker &c) { FirstInstallation(c, "nt40", true); }},
    {"first-nt40-no", [](Checker &c) { FirstInstallation(c, "nt40", false); }},
    {"first-win2k-yes", [](Checker &c) { FirstInstallation(c, "win2k", true); }},
    {"first-win2k-no", [](Checker &c) { FirstInstallation(c, "win2k", false); }},
    {"first-winxp-yes", [](Checker &c) { FirstInstallation(c, "winxp", true); }},
    {"first-winxp-no", [](Checker &c) { FirstInstallation(c, "winxp", false); }},
    {"first-win2003-yes", [](Checker &c) { FirstInstallation(c, "win2003", true); }},
    {"first-win2003-no", [](Checker &c) { FirstInstallation(c, "win2003", false); }},
    {"refused-nt351", [](Checker &c) { Refused(c, "nt351"); }},
    {"refused-win95", [](Checker &c) { Refused(c, "win95"); }},
    {"refused-win98", [](Checker &c) { Refused(c, "win98"); }},
    {"refused-winme", [](Checker &c) { Refused(c, "winme"); }},
    {"refused-vista", [](Checker &c) { Refused(c, "vista"); }},
    {"refused-win7", [](Checker &c) { Refused(c, "win7"); }},
    {"refused-win10", [](Checker &c) { Refused(c, "win10"); }},
    {"refused-winxp64", [](Checker &c) { Refused(c, "winxp64"); }},
    {"refused-win2003-64", [](Checker &c) { Refused(c, "win2003-64"); }},
    {"planted-dlls-winxp", [](Checker &c) { PlantedDlls(c, "winxp"); }},
    {"planted-dlls-nt40", [](Checker &c) { PlantedDlls(c, "nt40"); }},
    {"planted-dlls-unicode-folder",
     [](Checker &c) { PlantedDlls(c, "winxp", Unspelled::PackageFolder); }},
    {"planted-dlls-unicode-temp",
     [](Checker &c) { PlantedDlls(c, "winxp", Unspelled::TempDirectory); }},
    {"renamed-replaced", [](Checker &c) { Renamed(c, options.installer, true); }},

    {"renamed-replaced-carrying", [](Checker &c) { Renamed(c, options.carrying, true); }},

    {"renamed-beside-plants", [](Checker &c) { Renamed(c, options.installer, false); }},
    {"manifest-beside", [](Checker &c) { ManifestBeside(c); }},
    {"short-temp",
     [](Checker &c) {
         // XP gives an administrator the temporary directory in its short
         // form, which Wine gives the copy back in the long one.
         std::string folder = "C:\\Documents and Settings";
         for (const char *part : {"", "\\Setup User", "\\Local Settings", "\\Temp"})
             CreateDirectoryW(Wide(folder += part).c_str(), NULL);
         wchar_t shortForm[MAX_PATH] = L"";
         GetShortPathNameW(Wide(folder).c_str(), shortForm, MAX_PATH);
         std::string temp = Utf8(shortForm);
         c.Expect(temp.find(' ') == std::string::npos && temp.find('~') != std::string::npos,
                  "the temporary directory's short form, got " + Show(temp));
         SetEnvironmentVariableW(L"TEMP", shortForm);
         SetEnvironmentVariableW(L"TMP", shortForm);
         c.Equal(TempDirectory(), temp + "\\", "the temporary directory");
         FirstInstallation(c, "winxp", true);
     }},
    {"role-switch-in-package",
     [](Checker &c) {
         // Another program starts the installer in its package folder with
         // the role switch alone: it installs in place there, starting no
         // copy, and never removes itself.
         std::string folder = MakeWorkingFolder(c.scenario);
         RunOptions run = MakeRun(folder, "winxp", {"ok", "no"});
         run.installer = folder + "\\" + expected::ProgramName;
         run.commandLine = "/private-copy";
         c.Expect(CopyTo(options.installer, run.installer),
                  "the installer is in the package folder");
         ExpectRun(c, RunInstaller(run), 1, CompleteBoxes, ShownBy::Installer);
         c.Expect(PendingRemovals().find(Lower(folder)) == std::string::npos,
                  "nothing of the package folder is to be removed at restart, got " +
                      Show(PendingRemovals()));
         c.Expect(Exists(run.installer), "the installer is still there");
     }},
    {"cancel",
     [](Checker &c) {
         RunResult result =
             RunInstaller(MakeRun(MakeWorkingFolder(c.scenario), "winxp", {"cancel"}));
         ExpectRun(c, result, 0,
                   {{InstallQuestionText, InstallQuestionFlags, "OK,Cancel"},
                    {DoFilesErrorText, ErrorFlags, "OK"}});
         ExpectFiles(c, 4, options.package);
         ExpectNotRegistered(c);
         ExpectLog(c, ExpectedLog(4));
     }},
    {"files-missing",
     [](Checker &c) {
         CopyFails(c, {std::begin(PackageFiles), std::end(PackageFiles)}, 0);
     }},
    {"third-missing", [](Checker &c) { CopyFails(c, {PackageFiles[2]}, 2); }},

    {"third-a-folder", [](Checker &c) { CopyFails(c, {PackageFiles[2]}, 2, true); }},
    {"watched-temp-win2k", [](Checker &c) { WatchedFolder(c, "win2k"); }},
    {"watched-temp-nt40", [](Checker &c) { WatchedFolder(c, "nt40"); }},
    {"carrying-alone", [](Checker &c) { Carrying(c, "winxp", Beside::Nothing); }},
    {"carrying-nt40", [](Checker &c) { Carrying(c, "nt40", Beside::Nothing); }},

    {"carrying-beside-others", [](Checker &c) { Carrying(c, "win2k", Beside::OtherFiles); }},
    {"carrying-no-temp", [](Checker &c) { Carrying(c, "winxp", Beside::NoTemporaryDirectory); }},

    {"log-hard-link",
     [](Checker &c) {
         // Another user of a shared temporary directory made the log's name
         // a second name of a file the administrator may write.
         std::string other = WindowsDirectory() + "\\linked.ini";
         std::string log = TempDirectory() + expected::LogName;
         c.Expect(WriteWholeFile(other, "[kept]\r\n") &&
                      CreateHardLinkW(Wide(log).c_str(), Wide(other).c_str(), NULL),
                  "the log's name is a hard link to " + other);
         ExpectRun(c, RunInstaller(MakeRun(MakeWorkingFolder(c.scenario), "winxp", {"ok", "no"})),
                   1, CompleteBoxes);
         std::string bytes;
         ReadWholeFile(other, &bytes);
         c.Equal(bytes, "[kept]\r\n", "the linked file");
         ExpectRegistered(c);
     }},
    {"read-only-installed",
     [](Checker &c) {
         for (const char *name : PackageFiles) {
             std::string path = DriverDirectory() + "\\" + name;
             WriteWholeFile(path, "an older version");
             SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
         }
         RunResult result =
             RunInstaller(MakeRun(MakeWorkingFolder(c.scenario), "winxp", {"ok", "no"}));
         ExpectRun(c, result, 1, CompleteBoxes);
         ExpectFiles(c, 4, options.package);
         ExpectRegistered(c);
     }},

    {"second-run",
     [](Checker &c) {
         std::string folder = MakeWorkingFolder(c.scenario);
         ExpectRun(c, RunInstaller(MakeRun(folder, "winxp", {"ok", "yes"})), 1, CompleteBoxes);
         ExpectRun(c, RunInstaller(MakeRun(folder, "winxp", {"ok", "yes"})), 1, CompleteBoxes);
         ExpectFiles(c, 4, options.package);
         ExpectRegistered(c);
         ExpectSettings(c, WindowsDirectory());
         c.Equal(DefaultPrinter(), DriverName, "default printer");
         // Wine overwrites an existing printer instead of refusing it with 1802.
         std::vector<std::string> once = ExpectedLog(4, {"Result = 0"});
         std::vector<std::string> twice = once;
         twice.insert(twice.end(), once.begin(), once.end());
         ExpectLog(c, twice, "log of both runs");
     }},

    {"temp-missing",
     [](Checker &c) {
         RunOptions run = MakeRun(MakeWorkingFolder(c.scenario), "winxp", {"ok", "no"});
         run.setEnvironment = {{"TEMP", "C:\\no-such-folder"}, {"TMP", "C:\\no-such-folder"}};
         // No private folder can be made: the installation runs in place.
         ExpectRun(c, RunInstaller(run), 1, CompleteBoxes, ShownBy::Installer);
         ExpectRegistered(c);
         ExpectSettings(c, WindowsDirectory());
         c.Expect(GetFileAttributesA("C:\\no-such-folder") == INVALID_FILE_ATTRIBUTES,
                  "the missing temporary directory is not created");
         std::string log;
         c.Expect(!ReadWholeFile(TempDirectory() + expected::LogName, &log),
                  "no log is written elsewhere");
     }},
    {"copy-ended",
     [](Checker &c) {
         // End Task on the copy's question: the run ends with the copy's
         // status, nothing is left behind, and the next run completes.
         std::string folder = MakeWorkingFolder(c.scenario);
         RunOptions run = MakeRun(folder, "winxp", {});
         run.endAtBox = 1;
         run.endStatus = 42;
         ExpectRun(c, RunInstaller(run), 42,
                   {{InstallQuestionText, InstallQuestionFlags, "OK,Cancel"}});
         ExpectNotRegistered(c);
         ExpectLog(c, ExpectedLog(4), "log of the ended run");
         DeleteFileW(Wide(TempDirectory() + expected::LogName).c_str());
         ExpectFirstInstallation(c, MakeRun(folder, "winxp", {}), false);
     }},

    {"windir-removed",
     [](Checker &c) {
         RunOptions run = MakeRun(MakeWorkingFolder(c.scenario), "winxp", {"ok", "no"});
         run.removeEnvironment = {"windir"};
         ExpectRun(c, RunInstaller(run), 1, CompleteBoxes);
         ExpectSettings(c, WindowsDirectory());
     }},

    {"ini-kept",
     [](Checker &c) {
         std::string ini = WindowsDirectory() + "\\" + expected::IniName;
         WriteWholeFile(ini, std::string("[Other]\r\nkey=value\r\n[") + expected::IniSection +
                                 "]\r\nKeep=this\r\n" + expected::IniKey + "=another\r\n");
         ExpectRun(c, RunInstaller(MakeRun(MakeWorkingFolder(c.scenario), "winxp", {"ok", "no"})),
                   1, CompleteBoxes);
         char text[64];
         GetPrivateProfileStringA("Other", "key", "", text, sizeof text, ini.c_str());
         c.Equal(text, "value", "[Other] key kept");
         GetPrivateProfileStringA(expected::IniSection, "Keep", "", text, sizeof text, ini.c_str());
         c.Equal(text, "this", "the setting's section's other key kept");
         GetPrivateProfileStringA(expected::IniSection, expected::IniKey, "", text, sizeof text,
                                  ini.c_str());
         c.Equal(text, expected::IniValue, "the setting");
     }},
    {"signed-release", [](Checker &c) { SignedRelease(c); }},
    {"kit-nt40", [](Checker &c) { KitRun(c, "nt40", KitProgramIs::Shipped); }},
    {"kit-win2k", [](Checker &c) { KitRun(c, "win2k", KitProgramIs::Shipped); }},
    {"kit-winxp", [](Checker &c) { KitRun(c, "winxp", KitProgramIs::Shipped); }},
    {"kit-win2003", [](Checker &c) { KitRun(c, "win2003", KitProgramIs::Shipped); }},
    {"kit-win98", [](Checker &c) { KitRefused(c, "win98", "Windows 98 4.10"); }},
    {"kit-winxp64", [](Checker &c) { KitRefused(c, "winxp64", "Windows XP 5.2"); }},
    {"kit-in-place", [](Checker &c) { KitRun(c, "winxp", KitProgramIs::InPlace); }},
    {"kit-in-place-beside-plants",
     [](Checker &c) { KitRun(c, "winxp", KitProgramIs::InPlaceBesidePlants); }},
    {"kit-leaves-folder", [](Checker &c) { KitRun(c, "winxp", KitProgramIs::LeavesFolder); }},
    {"kit-other-package", [](Checker &c) { KitRun(c, "winxp", KitProgramIs::OtherPackage); }},
    {"kit-declined", [](Checker &c) { KitDeclined(c); }},

    {"version-info",
     [](Checker &c) {
         std::string path = options.installer;
         DWORD ignored = 0;
         DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
         c.Expect(size > 0, "the executable carries version information");
         std::vector<char> data(size + 1);
         if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, data.data()))
             return;
         VS_FIXEDFILEINFO *fixed = NULL;
         UINT length = 0;
         char root[] = "\\";
         c.Expect(VerQueryValueA(data.data(), root, reinterpret_cast<void **>(&fixed), &length) &&
                      fixed,
                  "fixed version information");
         if (fixed) {
             char version[64];
             snprintf(version, sizeof version, "%lu.%lu.%lu.%lu",
                      static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
                      static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
                      static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)),
                      static_cast<unsigned long>(LOWORD(fixed->dwFileVersionLS)));
             c.Equal(version, FOUR_NUMBER_VERSION, "file version");
             c.Equal(fixed->dwProductVersionMS, fixed->dwFileVersionMS, "product version");
             c.Equal(fixed->dwProductVersionLS, fixed->dwFileVersionLS, "product version");
         }
         const char *const strings[][2] = {{"FileDescription", expected::Caption},
                                           {"ProductName", expected::VersionProduct},
                                           {"CompanyName", expected::VersionCompany},
                                           {"LegalCopyright", expected::VersionCopyright},
                                           {"OriginalFilename", expected::ProgramName},
                                           {"FileVersion", PRODUCT_VERSION},
                                           {"ProductVersion", PRODUCT_VERSION}};
         for (const auto &entry : strings) {
             std::string query = std::string("\\StringFileInfo\\040904E4\\") + entry[0];
             char *value = NULL;
             bool found = VerQueryValueA(data.data(), &query[0], reinterpret_cast<void **>(&value),
                                         &length) &&
                          value;
             c.Equal(found ? value : "(missing)", entry[1], entry[0]);
         }
     }},
};

} // namespace

int ListScenarios()
{
    for (const Scenario &s : Table)
        printf("%s\n", s.name);
    return 0;
}

int RunScenario(const std::string &name)
{
    for (const Scenario &s : Table) {
        if (name != s.name)
            continue;
        Checker check;
        check.scenario = name;
        double started = Seconds();
        s.run(check);
        double runs = 0;
        for (size_t i = 0; i < RunSeconds().size(); ++i) {
            printf("timing: %s program run %u %.1f s\n", name.c_str(), static_cast<unsigned>(i + 1),
                   RunSeconds()[i]);
            runs += RunSeconds()[i];
        }
        printf("timing: %s checks and the driver's own work %.1f s\n", name.c_str(),
               Seconds() - started - runs);
        printf("%s: %d checks passed, %d failed\n", name.c_str(), check.passed, check.failed);
        return check.failed == 0 && check.passed > 0 ? 0 : 1;
    }
    fprintf(stderr, "no scenario named %s\n", name.c_str());
    return 2;
}
