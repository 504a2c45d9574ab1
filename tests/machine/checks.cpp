#include "checks.h"

#include <algorithm>

#include "expected.h"
#include "words.h"

using expected::CompletionFlags;
using expected::CompletionText;
using expected::DefaultQuestionFlags;
using expected::DefaultQuestionText;
using expected::DriverName;
using expected::InstallQuestionFlags;
using expected::InstallQuestionText;
using expected::PackageFiles;
using expected::ProductKey;

const std::vector<Box> CompleteBoxes = {{InstallQuestionText, InstallQuestionFlags, "OK,Cancel"},
                                        {DefaultQuestionText, DefaultQuestionFlags, "Yes,No"},
                                        {CompletionText, CompletionFlags, "OK"}};

std::string IconName(unsigned flags)
{
    switch (flags & MB_ICONMASK) {
    case MB_ICONERROR:
        return "error";
    case MB_ICONQUESTION:
        return "question";
    case MB_ICONWARNING:
        return "warning";
    case MB_ICONINFORMATION:
        return "information";
    default:
        return "none";
    }
}

static std::string PackageFile(const std::string &package, const std::string &name)
{
    std::string bytes;
    ReadWholeFile(package + "\\" + name, &bytes);
    return bytes;
}

void ExpectEnded(Checker &check, const RunResult &result, DWORD exitCode)
{
    check.Expect(result.started && result.finished, "the installer ran to its end");
    for (const std::string &problem : result.problems)
        check.Expect(false, problem);
    check.Equal(Join(result.answersLeft), "", "answers left over: fewer questions than expected");
    check.Equal(result.exitCode, exitCode, "exit status");
}

void ExpectBoxes(Checker &check, const RunResult &result, const std::vector<Box> &boxes,
                 ShownBy shownBy)
{
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
            continue;
        }
        check.Expect(IsPrivateCopy(seen.program),
                     which + " shown by a private copy, got " + Show(seen.program));
        // The folder was the current directory of the process showing it:
        // the download folder is not.
        std::string folder = seen.program.substr(0, seen.program.rfind('\\'));
        check.Equal(Lower(seen.currentDirectory), Lower(folder) + "\\",
                    which + ": the current directory of the process showing it");
        // Written from the image of the program started, whatever became of
        // its file since.
        check.Equal(
            PrivateCopyWords(seen.programFile, result.installerFile),
            PrivateCopyWords(expected::PrivateCopyOf(result.installerFile), result.installerFile),
            which + ": its private copy (" + std::to_string(seen.programFile.size()) + " bytes)");
    }
}

void ExpectHeld(Checker &check, const RunResult &result)
{
    for (size_t i = 0; i < result.boxes.size(); ++i) {
        const BoxSeen &seen = result.boxes[i];
        if (!IsPrivateCopy(seen.program))
            continue;
        std::string which = "box " + std::to_string(i + 1);
        check.Equal(seen.folderRename, "refused with error 32",
                    which + ": another process's rename of the private folder");
        check.Equal(seen.folderDelete, "refused with error 32",
                    which + ": another process's opening of the private folder for deletion");
    }
}

void ExpectNothingLeft(Checker &check, const RunResult &result)
{
    for (const BoxSeen &seen : result.boxes) {
        std::string folder = seen.program.substr(0, seen.program.rfind('\\'));
        if (IsPrivateCopy(seen.program))
            check.Expect(!Exists(folder), "the private folder " + folder + " is gone");
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

std::vector<std::string> LogMessages(Checker &check, size_t from)
{
    std::string bytes;
    if (!ReadWholeFile(TempDirectory() + expected::LogName, &bytes))
        return {"(no log file)"};
    expected::LogLines log = expected::ReadLog(bytes.substr(std::min(from, bytes.size())));
    check.Equal(log.fault, "", "the log's form");
    return log.messages;
}

void ExpectLog(Checker &check, const std::vector<std::string> &messages, const std::string &what,
               size_t from)
{
    check.Equal(Join(LogMessages(check, from)), Join(messages), what);
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

std::vector<std::string> DriverFilePaths()
{
    DriverState driver = ReadDriver(DriverName);
    std::vector<std::string> paths;
    std::vector<std::string> named = {driver.driverPath, driver.dataFile, driver.configFile};
    named.insert(named.end(), driver.dependentFiles.begin(), driver.dependentFiles.end());
    for (const std::string &path : named) {
        if (driver.found && std::find(paths.begin(), paths.end(), path) == paths.end())
            paths.push_back(path);
    }
    return paths;
}

void ExpectDriverFiles(Checker &check, const std::string &package)
{
    std::vector<std::string> paths = DriverFilePaths();
    check.Expect(!paths.empty(), "the spooler names the driver's files");
    for (const std::string &path : paths) {
        std::string bytes;
        check.Expect(ReadWholeFile(path, &bytes) && bytes == PackageFile(package, BaseName(path)),
                     path + ", where the spooler keeps it, is the package's " + BaseName(path) +
                         " byte for byte, got " +
                         (Exists(path) ? FileWords(path, bytes) : "no such file"));
    }
}

void ExpectRegistered(Checker &check)
{
    DriverState driver = ReadDriver(DriverName);
    check.Expect(driver.found, "the driver is registered");
    check.Equal(driver.environment, "Windows NT x86", "driver environment");
    check.Equal(BaseName(driver.driverPath), expected::DriverFile, "driver file");
    check.Equal(BaseName(driver.dataFile), expected::DataFile, "driver data file");
    check.Equal(BaseName(driver.configFile), expected::ConfigFile, "driver configuration file");
    // The query reports an empty help file as null; the stored record, under
    // the version the spooler filed the driver as (its files' folder), shows
    // what was given.
    std::string folder = driver.driverPath.substr(0, driver.driverPath.rfind('\\'));
    std::string stored = std::string("System\\CurrentControlSet\\Control\\Print\\Environments\\"
                                     "Windows NT x86\\Drivers\\Version-") +
                         BaseName(folder) + "\\" + DriverName;
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
