// e2e_driver run: a run of the installer as a user would make it, then a
// report of what it changed, for scripts/run.
#include "driver.h"

#include <stdio.h>

#include <algorithm>

#include "expected.h"
#include "machine/sha256.h"
#include "machine/words.h"

using expected::DriverName;
using expected::PackageFiles;

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
    // A fresh folder with the package's files, and the program under its own
    // name, as a user has them.
    std::string name = "run";
    for (int i = 2; GetFileAttributesA(("C:\\scenario-" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
         ++i)
        name = "run-" + std::to_string(i);
    RunOptions run = MakeRun(MakeWorkingFolder(name), options.windows,
                             Split(defaults ? options.defaultAnswers : options.answers));
    std::string program;
    ReadWholeFile(options.installer, &program);
    run.installer = run.workingFolder + options.installer.substr(options.installer.rfind('\\'));
    if (!WriteWholeFile(run.installer, program)) {
        printf("Problem: %s could not be copied to %s\n", options.installer.c_str(),
               run.workingFolder.c_str());
        return 1;
    }
    run.answerBoxes = !options.interactive;
    run.screenshotFolder = options.screenshots;
    RunResult result = RunInstaller(run);

    printf("Windows version: %s\n", options.windows.c_str());
    printf("Program started: %s, SHA-256 %s, %s\n", result.installer.c_str(),
           Sha256(program).c_str(),
           options.carrying.empty() ? "the program that installs the files beside it"
                                    : "the single program, carrying its package's files");
    std::vector<std::string> boxes;
    for (const BoxSeen &box : result.boxes) {
        char flags[16];
        snprintf(flags, sizeof flags, "0x%04X", box.flags);
        boxes.push_back(BoxWords(box) + (box.traced ? std::string(" flags ") + flags : ""));
    }
    PrintLines("Message boxes:", boxes);
    // Answers no box asked for (after a refusal, say) are said, and are no
    // problem: the boxes shown had the buttons asked for.
    std::string unused;
    for (const std::string &answer : result.answersLeft)
        unused += (unused.empty() ? "" : ",") + answer;
    if (!defaults && !unused.empty())
        printf("Answers not used: %s (the run asked fewer questions)\n", unused.c_str());
    std::vector<std::string> programs;
    for (const BoxSeen &box : result.boxes) {
        if (std::find(programs.begin(), programs.end(), box.program) == programs.end())
            programs.push_back(box.program);
    }
    PrintLines("Shown by:", programs);
    // The private copy that showed them: the program started, written from
    // its image (where it is signed, up to its signature).
    std::string copyProblem;
    for (const BoxSeen &box : result.boxes) {
        if (Lower(box.program) == Lower(result.installer))
            continue;
        std::string words = PrivateCopyWords(box.programFile, program);
        printf("Private copy: SHA-256 %s, %s\n", Sha256(box.programFile).c_str(), words.c_str());
        if (words == "not the program started")
            copyProblem = box.program + " (" + std::to_string(box.programFile.size()) +
                          " bytes) is not the program started";
        break;
    }
    printf("Exit status: %lu\n", static_cast<unsigned long>(result.exitCode));
    for (const std::string &problem : result.problems)
        printf("Problem: %s\n", problem.c_str());
    if (!copyProblem.empty())
        printf("Problem: %s\n", copyProblem.c_str());

    PrintLines(("Log entries added to " + TempDirectory() + expected::LogName + ":").c_str(),
               LogEntriesAfter(logBefore.size()));
    // Each installed file, and whether it is the package's byte for byte.
    std::vector<std::string> files, foreign;
    for (const char *file : PackageFiles) {
        std::string bytes, package, path = DriverDirectory() + "\\" + file;
        if (!ReadWholeFile(path, &bytes))
            continue;
        files.push_back(FileWords(path, bytes));
        if (!options.expect.empty() && ReadWholeFile(options.expect + "\\" + file, &package) &&
            bytes != package)
            foreign.push_back(path + " is not the package's " + file + " byte for byte (" +
                              std::to_string(package.size()) + " bytes, SHA-256 " +
                              Sha256(package) + ")");
    }
    PrintLines("Files in the driver directory:", files);
    printf("Installed files compared with: %s\n",
           options.expect.empty() ? "nothing (scripts/run --package DIR names what they must be)"
                                  : (options.expect + "'s files").c_str());
    for (const std::string &problem : foreign)
        printf("Problem: %s\n", problem.c_str());
    DriverState driver = ReadDriver(DriverName);
    PrinterState printer = ReadPrinter(DriverName);
    std::vector<std::string> spooler;
    if (driver.found)
        spooler.push_back(DriverWords(DriverName, driver));
    if (printer.found)
        spooler.push_back(PrinterWords(printer));
    PrintLines("Spooler:", spooler);
    PrintLines("Settings:", SettingsWords());
    std::string after = DefaultPrinter();
    printf("Default printer: %s\n", DefaultPrinterWords(before, after).c_str());
    return result.finished && result.problems.empty() && foreign.empty() && copyProblem.empty() ? 0
                                                                                                : 1;
}
