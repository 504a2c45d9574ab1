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

// The SHA-256 of the bytes, in hexadecimal; "?" where the system cannot make one.
std::string Sha256(const std::string &bytes)
{
    HCRYPTPROV provider;
    HCRYPTHASH hash = 0;
    BYTE digest[32];
    DWORD size = sizeof digest;
    if (!CryptAcquireContextA(&provider, NULL, NULL, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        return "?";
    bool made = CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash);
    made = made &&
           CryptHashData(hash, reinterpret_cast<const BYTE *>(bytes.data()),
                         static_cast<DWORD>(bytes.size()), 0) &&
           CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0) && size == sizeof digest;
    if (hash)
        CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
    std::string hex;
    for (BYTE byte : digest) {
        char two[3];
        snprintf(two, sizeof two, "%02x", byte);
        hex += two;
    }
    return made ? hex : "?";
}

// A file's last-write time, as "YYYY-MM-DD HH:MM:SS UTC"; "?" where it cannot be had.
std::string LastWritten(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    SYSTEMTIME time;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToSystemTime(&data.ftLastWriteTime, &time))
        return "?";
    char text[32];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC", time.wYear, time.wMonth,
             time.wDay, time.wHour, time.wMinute, time.wSecond);
    return text;
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
        boxes.push_back(Show(box.text) + " [" + box.buttons + "] caption " + Show(box.title) +
                        (box.traced ? std::string(" flags ") + flags : ""));
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
        bool same = box.programFile == expected::PrivateCopyOf(program);
        printf("Private copy: SHA-256 %s, %s\n", Sha256(box.programFile).c_str(),
               !same                        ? "not the program started"
               : box.programFile == program ? "the program started, byte for byte"
                                            : "the program started, up to its signature");
        if (!same)
            copyProblem = box.program + " (" + std::to_string(box.programFile.size()) +
                          " bytes) is not the program started";
        break;
    }
    printf("Exit status: %lu\n", static_cast<unsigned long>(result.exitCode));
    for (const std::string &problem : result.problems)
        printf("Problem: %s\n", problem.c_str());
    if (!copyProblem.empty())
        printf("Problem: %s\n", copyProblem.c_str());

    std::string log;
    ReadWholeFile(TempDirectory() + expected::LogName, &log);
    PrintLines(("Log entries added to " + TempDirectory() + expected::LogName + ":").c_str(),
               expected::ReadLog(log.substr(std::min(logBefore.size(), log.size()))).messages);
    // Each installed file, and whether it is the package's byte for byte.
    std::vector<std::string> files, foreign;
    for (const char *file : PackageFiles) {
        std::string bytes, package, path = DriverDirectory() + "\\" + file;
        if (!ReadWholeFile(path, &bytes))
            continue;
        files.push_back(path + " (" + std::to_string(bytes.size()) + " bytes, SHA-256 " +
                        Sha256(bytes) + ", last written " + LastWritten(path) + ")");
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
        spooler.push_back(std::string("driver \"") + DriverName + "\": " + driver.driverPath +
                          ", " + driver.dataFile + ", " + driver.configFile + ", data type " +
                          driver.dataType);
    if (printer.found)
        spooler.push_back("printer \"" + printer.name + "\" on " + printer.port + ", driver \"" +
                          printer.driver + "\", " + printer.printProcessor + ", " +
                          printer.dataType);
    PrintLines("Spooler:", spooler);
    std::vector<std::string> settings;
    for (const char *name : {expected::LogDirValue, expected::TrueTypeValue}) {
        RegistryValue value = ReadUserValue(ProductKey, name);
        if (value.found)
            settings.push_back(std::string("HKCU\\") + ProductKey + " " + name + " = " +
                               Show(value.data.substr(0, value.data.find('\0'))) +
                               (value.type == REG_SZ ? " (REG_SZ)" : ""));
    }
    std::string ini = IniBytes();
    if (ini != "(no file)")
        settings.push_back(WindowsDirectory() + "\\" + expected::IniName + ": " + Show(ini));
    PrintLines("Settings:", settings);
    std::string after = DefaultPrinter();
    printf("Default printer: %s%s\n", after.empty() ? "(none)" : after.c_str(),
           after == before ? " (unchanged)" : " (changed)");
    return result.finished && result.problems.empty() && foreign.empty() && copyProblem.empty() ? 0
                                                                                                : 1;
}
