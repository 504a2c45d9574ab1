// e2e_driver's checks of what a run of the real ScrivoxSetup.exe left behind:
// its boxes and the programs that showed them, the log, the driver files, the
// spooler, the settings, the private copy's traces.
#include "checks.h"

#include "expected.h"

using expected::CompletionFlags;
using expected::CompletionText;
using expected::DefaultQuestionFlags;
using expected::DefaultQuestionText;
using expected::DriverName;
using expected::ExpectedLog;
using expected::InstallQuestionFlags;
using expected::InstallQuestionText;
using expected::PackageFiles;
using expected::ProductKey;

static std::string PackageFile(const std::string &package, const char *name)
{
    std::string bytes;
    ReadWholeFile(package + "\\" + name, &bytes);
    return bytes;
}

bool Exists(const std::string &path)
{
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CopyTo(const std::string &from, const std::string &to)
{
    return CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE);
}

// Whether the system's ANSI code page lacks a character of the text.
bool AnsiCannotSpell(const std::string &text)
{
    BOOL lacking = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, Wide(text).c_str(), -1, NULL, 0, NULL,
                        &lacking);
    return lacking != FALSE;
}

// Whether path is TEMP\<prefix><16 hexadecimal digits>\<the program's name>.
static bool IsPrivateCopy(const std::string &path)
{
    std::string prefix = Lower(LongForm(TempDirectory()) + expected::PrivateFolderPrefix);
    std::string name = Lower(std::string("\\") + expected::ProgramName);
    std::string lower = Lower(path);
    if (lower.size() != prefix.size() + 16 + name.size() ||
        lower.compare(0, prefix.size(), prefix) ||
        lower.compare(prefix.size() + 16, name.size(), name))
        return false;
    return lower.find_first_not_of("0123456789abcdef", prefix.size()) == prefix.size() + 16;
}

// The files the system is to delete at the next restart.
std::string PendingRemovals()
{
    RegistryValue pending =
        ReadValue(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                  "PendingFileRenameOperations");
    return Lower(pending.data);
}

void ExpectRun(Checker &check, const RunResult &result, DWORD exitCode,
               const std::vector<Box> &boxes, ShownBy shownBy)
{
    check.Expect(result.started && result.finished, "the installer ran to its end");
    for (const std::string &problem : result.problems)
        check.Expect(false, problem);
    check.Equal(Join(result.answersLeft), "", "answers left over: fewer questions than expected");
    check.Equal(result.exitCode, exitCode, "exit status");
    check.Equal(result.boxes.size(), boxes.size(), "number of message boxes");
    check.Equal(result.processes, shownBy == ShownBy::Installer ? 1 : 2,
                "processes: the installer, and one private copy where it makes one");
    for (size_t i = 0; i < result.boxes.size() && i < boxes.size(); ++i) {
        const BoxSeen &seen = result.boxes[i];
        std::string which = "box " + std::to_string(i + 1);
        check.Equal(seen.text, boxes[i].text, which + " text");
        check.Equal(seen.buttons, boxes[i].buttons, which + " buttons");
        check.Equal(seen.title, expected::Caption, which + " caption on the screen");
        if (shownBy == ShownBy::Installer) {
            check.Equal(Lower(seen.program), Lower(result.installer), which + " shown by");
        } else {
            std::string folder = seen.program.substr(0, seen.program.rfind('\\'));
            check.Expect(IsPrivateCopy(seen.program),
                         which + " shown by a private copy, got " + Show(seen.program));
            check.Expect(!Exists(folder), "the private folder " + folder + " is gone");
            // While the box was up, the folder was held against other users,
            // and it was the current directory: the download folder is not.
            check.Equal(seen.folderRename, "refused with error 32",
                        which + ": another process's rename of the private folder");
            check.Equal(Lower(seen.currentDirectory), Lower(folder) + "\\",
                        which + ": the current directory of the process showing it");
            // Written from the image of the program started, whatever became
            // of its file since.
            std::string copy = expected::PrivateCopyOf(result.installerFile);
            check.Expect(seen.programFile == copy,
                         which + ": the private copy is the program started (" +
                             std::to_string(copy.size()) + " bytes), got " +
                             std::to_string(seen.programFile.size()) + " bytes");
        }
        check.Expect(seen.traced, which + " found in the relay trace of MessageBoxA");
        if (!seen.traced)
            continue;
        check.Equal(seen.tracedText, boxes[i].text, which + " text passed");
        check.Equal(seen.caption, expected::Caption, which + " caption");
        check.Equal(seen.owner, "00000000", which + " owner");
        check.Equal(seen.flags, boxes[i].flags, which + " style flags");
    }
    std::string added;
    for (const std::string &name : result.tempAdded) {
        if (name != expected::LogName)
            added += name + " ";
    }
    check.Equal(added, "", "what the run left in " + TempDirectory() + " but the log");
    // Read before any restart of the prefix, which would carry the entries out.
    check.Expect(PendingRemovals().find(Lower(expected::PrivateFolderPrefix)) == std::string::npos,
                 "nothing of the run is to be removed at restart, got " + Show(PendingRemovals()));
}

// The messages of the log's entries, its form checked.
std::vector<std::string> LogMessages(Checker &check)
{
    std::string bytes;
    if (!ReadWholeFile(TempDirectory() + expected::LogName, &bytes))
        return {"(no log file)"};
    expected::LogLines log = expected::ReadLog(bytes);
    check.Equal(log.fault, "", "the log's form");
    return log.messages;
}

std::string Join(const std::vector<std::string> &lines)
{
    std::string joined;
    for (const std::string &line : lines)
        joined += line + "|";
    return joined;
}

// The log holds those messages, and is well formed.
void ExpectLog(Checker &check, const std::vector<std::string> &messages, const std::string &what)
{
    check.Equal(Join(LogMessages(check)), Join(messages), what);
}

void ExpectFiles(Checker &check, int copied, const std::string &package)
{
    for (int i = 0; i < 4; ++i) {
        std::string bytes;
        bool present = ReadWholeFile(DriverDirectory() + "\\" + PackageFiles[i], &bytes);
        if (i < copied)
            check.Expect(present && bytes == PackageFile(package, PackageFiles[i]),
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
    check.Equal(BaseName(driver.driverPath), expected::DriverFile, "driver file");
    check.Equal(BaseName(driver.dataFile), expected::DataFile, "driver data file");
    check.Equal(BaseName(driver.configFile), expected::ConfigFile, "driver configuration file");
    // The query reports an empty help file as null; the stored record shows what was given.
    std::string stored = std::string("System\\CurrentControlSet\\Control\\Print\\Environments\\"
                                     "Windows NT x86\\Drivers\\Version-3\\") +
                         DriverName;
    RegistryValue help = ReadValue(HKEY_LOCAL_MACHINE, stored.c_str(), "Help File");
    check.Expect(help.found, "the driver's help file is stored");
    check.Equal(help.data.substr(0, help.data.find('\0')), "", "driver help file");
    check.Equal(driver.dataType, "RAW", "driver default data type");
    std::string dependents;
    for (const std::string &file : driver.dependentFiles)
        dependents += BaseName(file) + ";";
    check.Equal(dependents,
                std::string(expected::DriverFile) + ";" + expected::ConfigFile + ";" +
                    expected::HelperFile + ";" + expected::DataFile + ";",
                "driver dependent files");

    PrinterState printer = ReadPrinter(DriverName);
    check.Expect(printer.found, "the printer is registered");
    check.Equal(printer.name, DriverName, "printer name");
    check.Equal(printer.port, expected::Port, "printer port");
    check.Equal(printer.driver, DriverName, "printer driver");
    check.Equal(printer.printProcessor, "WinPrint", "printer print processor");
    check.Equal(printer.dataType, "RAW", "printer data type");
}

void ExpectNotRegistered(Checker &check)
{
    for (const char *environment : {"Windows NT x86", "Windows x64"})
        check.Expect(!ReadDriver(DriverName, environment).found,
                     std::string("no driver is registered for ") + environment);
    check.Expect(!ReadPrinter(DriverName).found, "no printer is registered");
    check.Expect(!ReadUserValue(ProductKey, "").keyFound, "no settings key is written");
    check.Equal(IniBytes(), "(no file)", expected::IniName);
}

void ExpectSettings(Checker &check, const std::string &logDir)
{
    RegistryValue dir = ReadUserValue(ProductKey, expected::LogDirValue);
    check.Expect(dir.found, "the directory value is written");
    check.Equal(dir.type, REG_SZ, "the directory value's type");
    check.Equal(dir.data, logDir + std::string(1, '\0'), "the directory value's data");
    RegistryValue trueType = ReadUserValue(ProductKey, expected::TrueTypeValue);
    check.Equal(trueType.type, REG_SZ, "the fixed value's type");
    check.Equal(trueType.data, expected::TrueTypeData + std::string(1, '\0'),
                "the fixed value's data");
    std::string setting = std::string("[") + expected::IniSection + "]\r\n" + expected::IniKey +
                          "=" + expected::IniValue + "\r\n";
    check.Expect(IniBytes().find(setting) != std::string::npos, std::string(expected::IniName) +
                                                                    " holds " + Show(setting) +
                                                                    ", got " + Show(IniBytes()));
}

const std::vector<Box> CompleteBoxes = {{InstallQuestionText, InstallQuestionFlags, "OK,Cancel"},
                                        {DefaultQuestionText, DefaultQuestionFlags, "Yes,No"},
                                        {CompletionText, CompletionFlags, "OK"}};

// A whole first installation, answered "ok" and then yes or no, and all it
// leaves behind: boxes, exit status, files, spooler, settings, log and default.
RunResult ExpectFirstInstallation(Checker &check, RunOptions run, bool yes)
{
    std::string windows = run.windowsVersion;
    run.answers = {"ok", yes ? "yes" : "no"};
    std::string before = DefaultPrinter();
    RunResult result = RunInstaller(run);
    ExpectRun(check, result, 1, CompleteBoxes);
    ExpectFiles(check, 4);
    ExpectRegistered(check);
    ExpectSettings(check, WindowsDirectory());
    ExpectLog(check, ExpectedLog(4, {"Result = 0"}));
    if (yes) {
        check.Equal(DefaultPrinter(), DriverName, "default printer");
        if (windows == "nt40")
            check.Equal(DeviceEntry(), expected::DeviceEntry, "win.ini device entry");
    } else {
        check.Equal(DefaultPrinter(), before, "default printer unchanged");
    }
    return result;
}
