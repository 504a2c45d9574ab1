// e2e_driver run: a run of the installer as a user would make it, then a
// report of what it changed, for scripts/run.
#include "driver.h"

#include <stdio.h>

#include <algorithm>

#include "expected.h"

using expected::DriverName;
using expected::PackageFiles;
using expected::ProductKey;

namespace {

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

} // namespace

// A run as a user would make it, then a report of what it changed.
int Report()
{
    std::string before = DefaultPrinter();
    std::string logBefore;
    ReadWholeFile(TempDirectory() + expected::LogName, &logBefore);
    bool defaults = options.answers.empty();
    RunOptions run = MakeRun(MakeWorkingFolder("run"), options.windows,
                             Split(defaults ? options.defaultAnswers : options.answers));
    run.answersAreDefaults = defaults;
    run.answerBoxes = !options.interactive;
    run.screenshotFolder = options.screenshots;
    RunResult result = RunInstaller(run);

    printf("Windows version: %s\n", options.windows.c_str());
    printf("Program started: %s, %s\n", result.installer.c_str(),
           Lower(result.installer) == Lower(options.carrying)
               ? "the single program, carrying the package's files"
               : "the program that installs the files beside it");
    std::vector<std::string> boxes;
    for (const BoxSeen &box : result.boxes) {
        char flags[16];
        snprintf(flags, sizeof flags, "0x%04X", box.flags);
        boxes.push_back(Show(box.text) + " [" + box.buttons + "]" +
                        (box.traced ? std::string(" flags ") + flags : ""));
    }
    PrintLines("Message boxes:", boxes);
    std::vector<std::string> programs;
    for (const BoxSeen &box : result.boxes) {
        if (std::find(programs.begin(), programs.end(), box.program) == programs.end())
            programs.push_back(box.program);
    }
    PrintLines("Shown by:", programs);
    printf("Exit status: %lu\n", static_cast<unsigned long>(result.exitCode));
    for (const std::string &problem : result.problems)
        printf("Problem: %s\n", problem.c_str());

    std::string log;
    ReadWholeFile(TempDirectory() + expected::LogName, &log);
    PrintLines(("Log entries added to " + TempDirectory() + expected::LogName + ":").c_str(),
               expected::ReadLog(log.substr(std::min(logBefore.size(), log.size()))).messages);
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
