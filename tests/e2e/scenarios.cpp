// e2e_driver.exe: runs ScrivoxSetup.exe under Wine as a user would and checks
// what it left behind.
//   e2e_driver scenario NAME --installer EXE --package DIR --relay FILE
//   e2e_driver run --installer EXE --package DIR [--relay FILE] [--windows VER]
//                  [--answers ok,yes | --default-answers ok,yes | --interactive]
//                  [--screenshots DIR]
//     exits 0 when the run went as asked, 1 when the report names a problem
//   e2e_driver firstbox --installer EXE --minimal EXE --package DIR [--runs N]
//   e2e_driver list
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include <functional>

#include "harness.h"
#include "planted_spooler.h"

namespace {

const char DriverName[] = "Scrivox Demo NT Driver";
const char ProductKey[] = "SOFTWARE\\QRN\\Scrivox";
const char *const PackageFiles[] = {"SCRIVOX.PPD", "SCRVDRV.DLL", "SCRVUI.DLL", "SCRVUMPD.DLL"};

const char InstallQuestion[] = "Scrivox Driver (NT-2000-XP)\nDo you want to install it?";
const char DefaultQuestion[] = "Set Quorvane Scrivox as default?";
const char Completion[] = "Install procedure has been\nsuccessfully completed.";
const char Refusal[] = "This driver requires Windows NT 4.0 or 2000";
const char DoFilesError[] = "Error 01: (DoFiles)";

struct DriverOptions {
    std::string installer, package, relay, windows = "winxp", answers, defaultAnswers, screenshots,
                                           minimal;
    std::string planted, driver; // the planted WINSPOOL.DRV, and this program's own path
    std::string release;         // the folder the signed release archive was unpacked into
    int runs = 10;
    bool interactive = false;
};
DriverOptions options;

std::string Show(const std::string &text)
{
    std::string shown = "\"";
    for (char c : text) {
        if (c == '\n')
            shown += "\\n";
        else if (c == '\r')
            shown += "\\r";
        else if (c == '\0')
            shown += "\\0";
        else
            shown += c;
    }
    return shown + "\"";
}

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

std::string PackageFile(const char *name)
{
    std::string bytes;
    ReadWholeFile(options.package + "\\" + name, &bytes);
    return bytes;
}

// A working folder holding the package's files, less those named in `omit`.
std::string MakeWorkingFolder(const std::string &scenario, std::vector<std::string> omit = {})
{
    std::string folder = "C:\\scenario-" + scenario;
    CreateDirectoryA(folder.c_str(), NULL);
    for (const char *name : PackageFiles) {
        std::string bytes;
        bool inPackage = ReadWholeFile(options.package + "\\" + name, &bytes);
        if (inPackage && std::find(omit.begin(), omit.end(), name) == omit.end())
            WriteWholeFile(folder + "\\" + name, bytes);
    }
    return folder;
}

// The Windows version Wine is told to report. "win2003-64" is Server 2003 x64:
// Wine's win2003 in a 64-bit prefix (wine.sh picks the prefix by the "64").
std::string WineVersion(const std::string &windows)
{
    const std::string suffix = "-64";
    if (windows.size() > suffix.size() &&
        windows.compare(windows.size() - suffix.size(), suffix.size(), suffix) == 0)
        return windows.substr(0, windows.size() - suffix.size());
    return windows;
}

RunOptions MakeRun(const std::string &folder, const std::string &windows,
                   std::vector<std::string> answers)
{
    RunOptions run;
    run.installer = options.installer;
    run.workingFolder = folder;
    run.windowsVersion = WineVersion(windows);
    run.answers = std::move(answers);
    run.relayFile = options.relay;
    return run;
}

void ExpectRun(Checker &check, const RunResult &result, DWORD exitCode,
               const std::vector<Box> &boxes)
{
    check.Expect(result.started && result.finished, "the installer ran to its end");
    for (const std::string &problem : result.problems)
        check.Expect(false, problem);
    check.Equal(result.exitCode, exitCode, "exit status");
    check.Equal(result.boxes.size(), boxes.size(), "number of message boxes");
    for (size_t i = 0; i < result.boxes.size() && i < boxes.size(); ++i) {
        const BoxSeen &seen = result.boxes[i];
        std::string which = "box " + std::to_string(i + 1);
        check.Equal(seen.text, boxes[i].text, which + " text");
        check.Equal(seen.buttons, boxes[i].buttons, which + " buttons");
        check.Expect(seen.traced, which + " found in the relay trace of MessageBoxA");
        if (!seen.traced)
            continue;
        check.Equal(seen.tracedText, boxes[i].text, which + " text passed");
        check.Equal(seen.caption, "Quorvane Scrivox Installer", which + " caption");
        check.Equal(seen.owner, "00000000", which + " owner");
        check.Equal(seen.flags, boxes[i].flags, which + " style flags");
    }
}

// The message parts of the log's entries; every line ends in CR LF and every
// entry opens with a stamp (the start entry's second line has none).
std::vector<std::string> LogMessages(Checker &check)
{
    std::string bytes;
    if (!ReadWholeFile(TempDirectory() + "Scrivox.log", &bytes))
        return {"(no log file)"};
    bool crlf;
    std::vector<std::string> lines = SplitLines(bytes, &crlf);
    check.Expect(crlf, "every line of the log ends in CR LF");
    std::vector<std::string> messages;
    for (size_t i = 0; i < lines.size(); ++i) {
        bool stamped;
        std::string message = StripStamp(lines[i], &stamped);
        bool continuation = i > 0 && lines[i] == " BEGIN";
        check.Expect(stamped || continuation, "log line " + Show(lines[i]) + " has its stamp");
        messages.push_back(message);
    }
    return messages;
}

std::string Join(const std::vector<std::string> &lines)
{
    std::string joined;
    for (const std::string &line : lines)
        joined += line + "|";
    return joined;
}

std::vector<std::string> ExpectedLog(int copied, std::vector<std::string> tail = {})
{
    std::vector<std::string> log = {"", " BEGIN"};
    for (int i = 0; i < copied; ++i)
        log.push_back(std::string("Copied .\\") + PackageFiles[i]);
    log.insert(log.end(), tail.begin(), tail.end());
    return log;
}

void ExpectFiles(Checker &check, int copied)
{
    for (int i = 0; i < 4; ++i) {
        std::string bytes;
        bool present = ReadWholeFile(DriverDirectory() + "\\" + PackageFiles[i], &bytes);
        if (i < copied)
            check.Expect(present && bytes == PackageFile(PackageFiles[i]),
                         std::string(PackageFiles[i]) +
                             " is in the driver directory byte for byte");
        else
            check.Expect(!present,
                         std::string(PackageFiles[i]) + " is not in the driver directory");
    }
}

std::string BaseName(const std::string &path)
{
    return path.substr(path.rfind('\\') + 1);
}

void ExpectRegistered(Checker &check)
{
    DriverState driver = ReadDriver(DriverName);
    check.Expect(driver.found, "the driver is registered");
    check.Equal(driver.environment, "Windows NT x86", "driver environment");
    check.Equal(BaseName(driver.driverPath), "SCRVDRV.DLL", "driver file");
    check.Equal(BaseName(driver.dataFile), "SCRIVOX.PPD", "driver data file");
    check.Equal(BaseName(driver.configFile), "SCRVUI.DLL", "driver configuration file");
    // The query reports an empty help file as null; the stored record shows what was given.
    RegistryValue help = ReadValue(HKEY_LOCAL_MACHINE,
                                   "System\\CurrentControlSet\\Control\\Print\\Environments\\"
                                   "Windows NT x86\\Drivers\\Version-3\\Scrivox Demo NT Driver",
                                   "Help File");
    check.Expect(help.found, "the driver's help file is stored");
    check.Equal(help.data.substr(0, help.data.find('\0')), "", "driver help file");
    check.Equal(driver.dataType, "RAW", "driver default data type");
    std::string dependents;
    for (const std::string &file : driver.dependentFiles)
        dependents += BaseName(file) + ";";
    check.Equal(dependents, "SCRVDRV.DLL;SCRVUI.DLL;SCRVUMPD.DLL;SCRIVOX.PPD;",
                "driver dependent files");

    PrinterState printer = ReadPrinter(DriverName);
    check.Expect(printer.found, "the printer is registered");
    check.Equal(printer.name, DriverName, "printer name");
    check.Equal(printer.port, "LPT1:", "printer port");
    check.Equal(printer.driver, DriverName, "printer driver");
    check.Equal(printer.printProcessor, "WinPrint", "printer print processor");
    check.Equal(printer.dataType, "RAW", "printer data type");
}

std::string IniBytes()
{
    std::string bytes;
    if (!ReadWholeFile(WindowsDirectory() + "\\outval.ini", &bytes))
        return "(no file)";
    return bytes;
}

void ExpectNotRegistered(Checker &check)
{
    for (const char *environment : {"Windows NT x86", "Windows x64"})
        check.Expect(!ReadDriver(DriverName, environment).found,
                     std::string("no driver is registered for ") + environment);
    check.Expect(!ReadPrinter(DriverName).found, "no printer is registered");
    check.Expect(!UserKeyExists(ProductKey), "no settings key is written");
    check.Equal(IniBytes(), "(no file)", "outval.ini");
}

void ExpectSettings(Checker &check, const std::string &logDir)
{
    RegistryValue dir = ReadUserValue(ProductKey, "LogDir");
    check.Expect(dir.found, "LogDir is written");
    check.Equal(dir.type, REG_SZ, "LogDir type");
    check.Equal(dir.data, logDir + std::string(1, '\0'), "LogDir data");
    RegistryValue trueType = ReadUserValue(ProductKey, "QrnTrueType");
    check.Equal(trueType.type, REG_SZ, "QrnTrueType type");
    check.Equal(trueType.data, std::string("Yes\0", 4), "QrnTrueType data");
    check.Expect(IniBytes().find("[Values]\r\nOutput Mode=1\r\n") != std::string::npos,
                 "outval.ini holds [Values] Output Mode=1, got " + Show(IniBytes()));
}

const std::vector<Box> CompleteBoxes = {{InstallQuestion, 0x21, "OK,Cancel"},
                                        {DefaultQuestion, 0x2024, "Yes,No"},
                                        {Completion, 0x40, "OK"}};

// A whole first installation, answered "ok" and then yes or no, and all it
// leaves behind: boxes, exit status, files, spooler, settings, log and default.
void ExpectFirstInstallation(Checker &check, RunOptions run, bool yes)
{
    std::string windows = run.windowsVersion;
    run.answers = {"ok", yes ? "yes" : "no"};
    std::string before = DefaultPrinter();
    RunResult result = RunInstaller(run);
    ExpectRun(check, result, 1, CompleteBoxes);
    ExpectFiles(check, 4);
    ExpectRegistered(check);
    ExpectSettings(check, WindowsDirectory());
    check.Equal(Join(LogMessages(check)), Join(ExpectedLog(4, {"Result = 0"})), "log");
    if (yes) {
        check.Equal(DefaultPrinter(), DriverName, "default printer");
        if (windows == "nt40")
            check.Equal(DeviceEntry(), "Scrivox Demo NT Driver,Scrivox Demo NT Driver,LPT1:",
                        "win.ini device entry");
    } else {
        check.Equal(DefaultPrinter(), before, "default printer unchanged");
    }
}

void FirstInstallation(Checker &check, const std::string &name, const std::string &windows,
                       bool yes)
{
    ExpectFirstInstallation(check, MakeRun(MakeWorkingFolder(name), windows, {}), yes);
}

bool Exists(const char *path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// The installer copied into the package folder beside a planted WINSPOOL.DRV,
// and Wine told to prefer a native winspool.drv for ScrivoxSetup.exe, as
// Windows would for a DLL that is not a Known DLL. The planted code must
// never run, and the installation must be the usual one.
void PlantedSpooler(Checker &check, const std::string &name, const std::string &windows)
{
    std::string folder = MakeWorkingFolder(name);
    SetInstallerDefault("DllOverrides", "winspool.drv", "native,builtin");

    // First make sure the plant works in this prefix: a program that imports
    // the spooler, started under the installer's name beside the plant, is
    // taken over by it. Otherwise the real run below would prove nothing.
    std::string control = folder + "\\control";
    CreateDirectoryA(control.c_str(), NULL);
    CopyFileA(options.planted.c_str(), (control + "\\WINSPOOL.DRV").c_str(), FALSE);
    CopyFileA(options.driver.c_str(), (control + "\\ScrivoxSetup.exe").c_str(), FALSE);
    DWORD controlStatus = RunAndWait(control + "\\ScrivoxSetup.exe list", control);
    check.Equal(controlStatus, PlantedSpoolerExitCode,
                "exit status of a spooler-importing program beside the plant (the plant works)");
    check.Expect(Exists(PlantedSpoolerTrace), "the plant left its trace for that program");
    DeleteFileA(PlantedSpoolerTrace);

    std::string installer = folder + "\\ScrivoxSetup.exe";
    check.Expect(CopyFileA(options.installer.c_str(), installer.c_str(), FALSE) &&
                     CopyFileA(options.planted.c_str(), (folder + "\\WINSPOOL.DRV").c_str(), FALSE),
                 "the installer and the plant are in the package folder");
    RunOptions run = MakeRun(folder, windows, {});
    run.installer = installer;
    ExpectFirstInstallation(check, run, true);
    check.Expect(!Exists(PlantedSpoolerTrace), "the planted WINSPOOL.DRV never ran");
}

// Refused before anything is done: the box, the start entry alone, and no
// package file anywhere under the Windows directory (in a 64-bit prefix,
// System32 as well as SysWOW64).
void Refused(Checker &check, const std::string &name, const std::string &windows)
{
    RunResult result = RunInstaller(MakeRun(MakeWorkingFolder(name), windows, {}));
    ExpectRun(check, result, 0, {{Refusal, 0x10, "OK"}});
    check.Equal(Join(LogMessages(check)), Join(ExpectedLog(0)), "log");
    ExpectFiles(check, 0);
    std::vector<std::string> found;
    for (const char *file : PackageFiles) {
        std::vector<std::string> copies = FindFiles(WindowsDirectory(), file);
        found.insert(found.end(), copies.begin(), copies.end());
    }
    check.Equal(Join(found), "", "package files under " + WindowsDirectory());
    ExpectNotRegistered(check);
}

std::string FailureText(const char *name)
{
    return std::string(" .\\") + name + " => \n " + DriverDirectory() + "\\" + name;
}

// The working folder lacks the files in `omit`, so the copy of package file
// number `failed` fails: its failure box, then "Error 01", and nothing registered.
void CopyFails(Checker &check, const std::string &name, const std::vector<std::string> &omit,
               int failed)
{
    RunResult result = RunInstaller(MakeRun(MakeWorkingFolder(name, omit), "winxp", {}));
    std::string failure = FailureText(PackageFiles[failed]);
    ExpectRun(check, result, 0, {{failure.c_str(), 0x10, "OK"}, {DoFilesError, 0x10, "OK"}});
    ExpectFiles(check, failed);
    ExpectNotRegistered(check);
    check.Equal(Join(LogMessages(check)), Join(ExpectedLog(failed)), "log");
}

// The signed release as a user gets it: the archive's one folder copied as it
// was unpacked, and the installer started in it.
void SignedRelease(Checker &check)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((options.release + "\\ScrivoxSetup-*").c_str(), &found);
    check.Expect(search != INVALID_HANDLE_VALUE,
                 "the unpacked release holds a ScrivoxSetup-VERSION folder");
    if (search == INVALID_HANDLE_VALUE)
        return;
    FindClose(search);
    std::string unpacked = options.release + "\\" + found.cFileName;
    std::string folder = "C:\\scenario-signed-release";
    CreateDirectoryA(folder.c_str(), NULL);
    for (const char *name : {"ScrivoxSetup.exe", "SCRIVOX.PPD", "SCRVDRV.DLL", "SCRVUI.DLL",
                             "SCRVUMPD.DLL", "SHA256SUMS"})
        check.Expect(
            CopyFileA((unpacked + "\\" + name).c_str(), (folder + "\\" + name).c_str(), FALSE),
            std::string(name) + " is in the release");
    RunOptions run = MakeRun(folder, "winxp", {});
    run.installer = folder + "\\ScrivoxSetup.exe";
    ExpectFirstInstallation(check, run, true);
}

struct Scenario {
    const char *name;
    std::function<void(Checker &)> run;
};

std::vector<Scenario> Scenarios()
{
    std::vector<Scenario> list;
    const char *const accepted[] = {"nt40", "win2k", "winxp", "win2003"};
    for (const char *windows : accepted) {
        for (bool yes : {true, false}) {
            std::string name = std::string("first-") + windows + (yes ? "-yes" : "-no");
            list.push_back({strdup(name.c_str()),
                            [=](Checker &c) { FirstInstallation(c, name, windows, yes); }});
        }
    }
    const char *const refused[] = {"nt351", "win95", "win98",   "winme",     "vista",
                                   "win7",  "win10", "winxp64", "win2003-64"};
    for (const char *windows : refused) {
        std::string name = std::string("refused-") + windows;
        list.push_back({strdup(name.c_str()), [=](Checker &c) { Refused(c, name, windows); }});
    }
    for (const char *windows : {"winxp", "nt40"}) {
        std::string name = std::string("planted-spooler-") + windows;
        list.push_back(
            {strdup(name.c_str()), [=](Checker &c) { PlantedSpooler(c, name, windows); }});
    }
    list.push_back({"cancel", [](Checker &c) {
                        RunResult result =
                            RunInstaller(MakeRun(MakeWorkingFolder("cancel"), "winxp", {"cancel"}));
                        ExpectRun(
                            c, result, 0,
                            {{InstallQuestion, 0x21, "OK,Cancel"}, {DoFilesError, 0x10, "OK"}});
                        ExpectFiles(c, 4);
                        ExpectNotRegistered(c);
                        c.Equal(Join(LogMessages(c)), Join(ExpectedLog(4)), "log");
                    }});
    list.push_back(
        {"files-missing", [](Checker &c) {
             CopyFails(c, "files-missing", {std::begin(PackageFiles), std::end(PackageFiles)}, 0);
         }});
    list.push_back(
        {"third-missing", [](Checker &c) { CopyFails(c, "third-missing", {"SCRVUI.DLL"}, 2); }});
    list.push_back({"read-only-installed", [](Checker &c) {
                        for (const char *name : PackageFiles) {
                            std::string path = DriverDirectory() + "\\" + name;
                            WriteWholeFile(path, "an older version");
                            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
                        }
                        RunResult result = RunInstaller(MakeRun(
                            MakeWorkingFolder("read-only-installed"), "winxp", {"ok", "no"}));
                        ExpectRun(c, result, 1, CompleteBoxes);
                        ExpectFiles(c, 4);
                        ExpectRegistered(c);
                    }});
    list.push_back(
        {"second-run", [](Checker &c) {
             std::string folder = MakeWorkingFolder("second-run");
             ExpectRun(c, RunInstaller(MakeRun(folder, "winxp", {"ok", "yes"})), 1, CompleteBoxes);
             ExpectRun(c, RunInstaller(MakeRun(folder, "winxp", {"ok", "yes"})), 1, CompleteBoxes);
             ExpectFiles(c, 4);
             ExpectRegistered(c);
             ExpectSettings(c, WindowsDirectory());
             c.Equal(DefaultPrinter(), DriverName, "default printer");
             // Wine overwrites an existing printer instead of refusing it with 1802.
             std::vector<std::string> once = ExpectedLog(4, {"Result = 0"});
             std::vector<std::string> twice = once;
             twice.insert(twice.end(), once.begin(), once.end());
             c.Equal(Join(LogMessages(c)), Join(twice), "log of both runs");
         }});
    list.push_back(
        {"temp-missing", [](Checker &c) {
             RunOptions run = MakeRun(MakeWorkingFolder("temp-missing"), "winxp", {"ok", "no"});
             run.setEnvironment = {{"TEMP", "C:\\no-such-folder"}, {"TMP", "C:\\no-such-folder"}};
             ExpectRun(c, RunInstaller(run), 1, CompleteBoxes);
             ExpectRegistered(c);
             ExpectSettings(c, WindowsDirectory());
             c.Expect(GetFileAttributesA("C:\\no-such-folder") == INVALID_FILE_ATTRIBUTES,
                      "the missing temporary directory is not created");
             std::string log;
             c.Expect(!ReadWholeFile(TempDirectory() + "Scrivox.log", &log),
                      "no log is written elsewhere");
         }});
    list.push_back(
        {"windir-removed", [](Checker &c) {
             RunOptions run = MakeRun(MakeWorkingFolder("windir-removed"), "winxp", {"ok", "no"});
             run.removeEnvironment = {"windir"};
             ExpectRun(c, RunInstaller(run), 1, CompleteBoxes);
             ExpectSettings(c, WindowsDirectory());
         }});
    list.push_back(
        {"ini-kept", [](Checker &c) {
             std::string ini = WindowsDirectory() + "\\outval.ini";
             WriteWholeFile(ini,
                            "[Other]\r\nkey=value\r\n[Values]\r\nKeep=this\r\nOutput Mode=7\r\n");
             ExpectRun(c,
                       RunInstaller(MakeRun(MakeWorkingFolder("ini-kept"), "winxp", {"ok", "no"})),
                       1, CompleteBoxes);
             char text[64];
             GetPrivateProfileStringA("Other", "key", "", text, sizeof text, ini.c_str());
             c.Equal(text, "value", "[Other] key kept");
             GetPrivateProfileStringA("Values", "Keep", "", text, sizeof text, ini.c_str());
             c.Equal(text, "this", "[Values] Keep kept");
             GetPrivateProfileStringA("Values", "Output Mode", "", text, sizeof text, ini.c_str());
             c.Equal(text, "1", "[Values] Output Mode");
         }});
    list.push_back({"signed-release", [](Checker &c) { SignedRelease(c); }});
    list.push_back(
        {"version-info", [](Checker &c) {
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
             c.Expect(
                 VerQueryValueA(data.data(), root, reinterpret_cast<void **>(&fixed), &length) &&
                     fixed,
                 "fixed version information");
             if (fixed) {
                 char version[64];
                 snprintf(version, sizeof version, "%lu.%lu.%lu",
                          static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
                          static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
                          static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)));
                 c.Equal(version, PRODUCT_VERSION, "file version");
                 c.Equal(fixed->dwProductVersionMS, fixed->dwFileVersionMS, "product version");
             }
             const char *const expected[][2] = {{"FileDescription", "Quorvane Scrivox Installer"},
                                                {"ProductName", "Quorvane Scrivox"},
                                                {"CompanyName", "Quorvane"},
                                                {"LegalCopyright", "Copyright (C) 2026 Quorvane"},
                                                {"OriginalFilename", "ScrivoxSetup.exe"},
                                                {"FileVersion", PRODUCT_VERSION},
                                                {"ProductVersion", PRODUCT_VERSION}};
             for (const auto &entry : expected) {
                 std::string query = std::string("\\StringFileInfo\\040904E4\\") + entry[0];
                 char *value = NULL;
                 bool found = VerQueryValueA(data.data(), &query[0],
                                             reinterpret_cast<void **>(&value), &length) &&
                              value;
                 c.Equal(found ? value : "(missing)", entry[1], entry[0]);
             }
         }});
    return list;
}

std::vector<std::string> Split(const std::string &list)
{
    std::vector<std::string> items;
    size_t start = 0;
    while (start <= list.size() && !list.empty()) {
        size_t comma = list.find(',', start);
        items.push_back(list.substr(start, comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return items;
}

void PrintLines(const char *title, const std::vector<std::string> &lines)
{
    printf("%s\n", title);
    if (lines.empty())
        printf("  (none)\n");
    for (const std::string &line : lines)
        printf("  %s\n", line.c_str());
}

// A run as a user would make it, then a report of what it changed.
int Report()
{
    std::string before = DefaultPrinter();
    std::string logBefore;
    ReadWholeFile(TempDirectory() + "Scrivox.log", &logBefore);
    bool defaults = options.answers.empty();
    RunOptions run = MakeRun(MakeWorkingFolder("run"), options.windows,
                             Split(defaults ? options.defaultAnswers : options.answers));
    run.answersAreDefaults = defaults;
    run.answerBoxes = !options.interactive;
    run.screenshotFolder = options.screenshots;
    RunResult result = RunInstaller(run);

    printf("Windows version: %s\n", options.windows.c_str());
    std::vector<std::string> boxes;
    for (const BoxSeen &box : result.boxes) {
        char flags[16];
        snprintf(flags, sizeof flags, "0x%04X", box.flags);
        boxes.push_back(Show(box.text) + " [" + box.buttons + "]" +
                        (box.traced ? std::string(" flags ") + flags : ""));
    }
    PrintLines("Message boxes:", boxes);
    printf("Exit status: %lu\n", static_cast<unsigned long>(result.exitCode));
    for (const std::string &problem : result.problems)
        printf("Problem: %s\n", problem.c_str());

    std::string log;
    ReadWholeFile(TempDirectory() + "Scrivox.log", &log);
    bool crlf;
    PrintLines(("Log entries added to " + TempDirectory() + "Scrivox.log:").c_str(),
               SplitLines(log.substr(std::min(logBefore.size(), log.size())), &crlf));
    std::vector<std::string> files;
    for (const char *name : PackageFiles) {
        std::string bytes;
        if (ReadWholeFile(DriverDirectory() + "\\" + name, &bytes))
            files.push_back(DriverDirectory() + "\\" + name + " (" + std::to_string(bytes.size()) +
                            " bytes)");
    }
    PrintLines("Files in the driver directory:", files);
    DriverState driver = ReadDriver(DriverName);
    PrinterState printer = ReadPrinter(DriverName);
    std::vector<std::string> spooler;
    if (driver.found)
        spooler.push_back(std::string("driver \"") + DriverName + "\": " + driver.driverPath +
                          ", " + driver.dataFile + ", " + driver.configFile + ", data type " +
                          driver.dataType);
    if (printer.found)
        spooler.push_back("printer \"" + printer.name + "\" on " + printer.port + ", driver \"" +
                          printer.driver + "\", " + printer.printProcessor + ", " +
                          printer.dataType);
    PrintLines("Spooler:", spooler);
    std::vector<std::string> settings;
    for (const char *name : {"LogDir", "QrnTrueType"}) {
        RegistryValue value = ReadUserValue(ProductKey, name);
        if (value.found)
            settings.push_back(std::string("HKCU\\") + ProductKey + " " + name + " = " +
                               Show(value.data.substr(0, value.data.find('\0'))) +
                               (value.type == REG_SZ ? " (REG_SZ)" : ""));
    }
    std::string ini = IniBytes();
    if (ini != "(no file)")
        settings.push_back(WindowsDirectory() + "\\outval.ini: " + Show(ini));
    PrintLines("Settings:", settings);
    std::string after = DefaultPrinter();
    printf("Default printer: %s%s\n", after.empty() ? "(none)" : after.c_str(),
           after == before ? " (unchanged)" : " (changed)");
    return result.finished && result.problems.empty() ? 0 : 1;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// Start-up time to the first box, the installer and the minimal program
// taking turns so that both see the same machine.
int FirstBoxTimes()
{
    if (options.runs < 1) {
        printf("--runs must be a whole number of at least 1: nothing measured\n");
        return 2;
    }
    std::string folder = MakeWorkingFolder("bench");
    std::vector<double> installer, minimal;
    for (int i = 0; i < options.runs; ++i) {
        installer.push_back(MillisecondsToFirstBox(options.installer, folder));
        minimal.push_back(MillisecondsToFirstBox(options.minimal, folder));
    }
    if (std::count(installer.begin(), installer.end(), -1.0) ||
        std::count(minimal.begin(), minimal.end(), -1.0)) {
        printf("a program showed no box\n");
        return 1;
    }
    double a = Median(installer), b = Median(minimal);
    printf("first box, median of %d runs: ScrivoxSetup.exe %.1f ms, minimal program %.1f ms, "
           "ratio %.2f\n",
           options.runs, a, b, a / b);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    std::string scenario;
    int first = 2;
    if (command == "scenario" && argc > 2) {
        scenario = argv[2];
        first = 3;
    }
    std::string runs = "10";
    const struct {
        const char *flag;
        std::string *value;
    } valued[] = {{"--installer", &options.installer},
                  {"--package", &options.package},
                  {"--relay", &options.relay},
                  {"--windows", &options.windows},
                  {"--answers", &options.answers},
                  {"--screenshots", &options.screenshots},
                  {"--default-answers", &options.defaultAnswers},
                  {"--minimal", &options.minimal},
                  {"--runs", &runs},
                  {"--planted", &options.planted},
                  {"--release", &options.release}};
    for (int i = first; i < argc; ++i) {
        std::string arg = argv[i];
        bool known = arg == "--interactive";
        if (known)
            options.interactive = true;
        for (const auto &option : valued) {
            if (arg == option.flag && i + 1 < argc) {
                *option.value = argv[++i];
                known = true;
            }
        }
        if (!known) {
            fprintf(stderr, "unknown or incomplete argument %s\n", arg.c_str());
            return 2;
        }
    }
    options.runs = atoi(runs.c_str());
    char self[MAX_PATH] = "";
    GetModuleFileNameA(NULL, self, sizeof self);
    options.driver = self;
    setvbuf(stdout, NULL, _IONBF, 0);
    if (command == "list") {
        for (const Scenario &s : Scenarios())
            printf("%s\n", s.name);
        return 0;
    }
    if (command == "run")
        return Report();
    if (command == "firstbox")
        return FirstBoxTimes();
    if (command == "scenario") {
        for (const Scenario &s : Scenarios()) {
            if (scenario != s.name)
                continue;
            Checker check;
            check.scenario = scenario;
            s.run(check);
            printf("%s: %d checks passed, %d failed\n", scenario.c_str(), check.passed,
                   check.failed);
            return check.failed == 0 && check.passed > 0 ? 0 : 1;
        }
        fprintf(stderr, "no scenario named %s\n", scenario.c_str());
        return 2;
    }
    fprintf(stderr, "usage: e2e_driver list | scenario NAME ... | run ...\n");
    return 2;
}
