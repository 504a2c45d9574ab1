// The checks that run the release's programs: the single program started
// as Explorer starts it, beside planted DLLs; its boxes; its private folder
// while the first is up; the outcome; a second run; an upgrade by the
// archive's program. Each is a fact an e2e scenario checks under Wine, by
// the same code (tests/machine/checks.h).
#include "kit.h"

#include <winspool.h>

#include <algorithm>

#include "e2e/planted_dll.h"
#include "machine/checks.h"
#include "machine/words.h"

using expected::DriverName;
using expected::ExpectedLog;
using expected::PackageFiles;
using expected::ProgramName;

namespace {

const DWORD ControlTimeoutMs = 60000;
const char Administrators[] = "S-1-5-32-544";
const char LocalSystem[] = "S-1-5-18";

std::string Joined(const std::vector<std::string> &items, const char *between = "; ")
{
    std::string joined;
    for (const std::string &item : items)
        joined += (joined.empty() ? "" : between) + item;
    return joined;
}

// PASS with what was seen, or FAIL with each failure's got and expected.
Line Judged(const std::string &check, const Checker &checker, const std::string &seen)
{
    if (checker.failed == 0)
        return {Verdict::Pass, check, seen};
    return {Verdict::Fail, check, Joined(checker.failures)};
}

std::string NewFolder(const std::string &work, const char *name)
{
    std::string folder = work + "\\" + name;
    CreateDirectoryW(Wide(folder).c_str(), NULL);
    return folder;
}

// The DLL this program carries (RCDATA PLANTED), written into the folder
// under each name that system code loads by name.
bool Plant(const std::string &folder)
{
    HRSRC found = FindResourceA(NULL, "PLANTED", MAKEINTRESOURCEA(10)); // RT_RCDATA
    HGLOBAL loaded = found != NULL ? LoadResource(NULL, found) : NULL;
    const char *bytes = loaded != NULL ? static_cast<const char *>(LockResource(loaded)) : NULL;
    if (bytes == NULL)
        return false;
    std::string dll(bytes, SizeofResource(NULL, found));
    bool planted = true;
    for (const char *name : PlantedNames)
        planted = WriteWholeFile(folder + "\\" + name, dll) && planted;
    return planted;
}

// The lines the planted DLLs left, each "PATH ran in PROGRAM", and the trace
// taken away for the next run.
std::string TakePlantTrace()
{
    std::string trace;
    ReadWholeFile(PlantedDllTrace, &trace);
    DeleteFileA(PlantedDllTrace);
    std::string lines;
    for (char c : trace)
        lines += c == '\r' ? "" : c == '\n' ? "; " : std::string(1, c);
    return lines.size() > 2 ? lines.substr(0, lines.size() - 2) : lines;
}

// The log's entries after its first `from` bytes, each as a C literal.
std::string EntriesWords(size_t from)
{
    std::vector<std::string> shown;
    for (const std::string &entry : LogEntriesAfter(from))
        shown.push_back(Show(entry));
    return Joined(shown, ", ");
}

size_t LogSize()
{
    std::string log;
    ReadWholeFile(TempDirectory() + expected::LogName, &log);
    return log.size();
}

// A run as a user makes it: started in its folder, OK and then Yes.
RunResult RunAsUser(const std::string &program, bool watchForeground = false)
{
    ProgramRun run;
    run.installer = program;
    run.workingFolder = program.substr(0, program.rfind('\\'));
    run.answers = {"ok", "yes"};
    run.watchForeground = watchForeground;
    return RunProgram(run);
}

// The printer and the driver an earlier run left, removed with the files the
// spooler keeps for it, so that the checks start as on a machine without them.
std::string CleanStart()
{
    if (!ReadPrinter(DriverName).found && !ReadDriver(DriverName).found)
        return "";
    // The spooler's calls take LPSTR: writable copies.
    std::string name = DriverName;
    char environment[] = "Windows NT x86";
    PRINTER_DEFAULTSA all = {NULL, NULL, PRINTER_ALL_ACCESS};
    HANDLE printer = NULL;
    if (OpenPrinterA(&name[0], &printer, &all)) {
        DeletePrinter(printer);
        ClosePrinter(printer);
    }
    std::vector<std::string> files = DriverFilePaths();
    typedef BOOL(WINAPI * DeleteExEntry)(LPSTR, LPSTR, LPSTR, DWORD, DWORD);
    auto deleteEx = SystemEntry<DeleteExEntry>("winspool.drv", "DeletePrinterDriverExA"); // 2000 on
    if (deleteEx == NULL || !deleteEx(NULL, environment, &name[0], DPD_DELETE_UNUSED_FILES, 0))
        DeletePrinterDriverA(NULL, environment, &name[0]);
    for (const std::string &file : files)
        DeleteFileW(Wide(file).c_str());
    return "the printer and the driver \"" + std::string(DriverName) +
           "\" of an earlier run were removed, and their files where the spooler kept them";
}

std::string AccessWords(const std::vector<std::string> &allowed, const std::string &user)
{
    std::vector<std::string> named;
    for (const std::string &sid : allowed)
        named.push_back(sid + (sid == user             ? " (the user)"
                               : sid == Administrators ? " (Administrators)"
                               : sid == LocalSystem    ? " (SYSTEM)"
                                                       : ""));
    return named.empty() ? "no entry" : Joined(named, ", ");
}

// 1: the single program beside DLLs of the names that system code loads by
// name; first a copy of this program beside them shows that they load here.
Line CheckPlants(bool planted, DWORD controlStatus, const std::string &controlTrace,
                 const RunResult &run, const std::string &trace)
{
    const std::string check = "1. DLLs planted beside the single program";
    std::vector<std::string> names(std::begin(PlantedNames), std::end(PlantedNames));
    if (!planted)
        return {Verdict::Fail, check, "the planted DLLs could not be written beside it"};
    if (!trace.empty() || run.exitCode == PlantedDllExitCode)
        return {Verdict::Fail, check,
                "got: " + (trace.empty() ? "exit status 77, a planted DLL's" : trace) +
                    "; expected: none of them loaded"};
    if (controlStatus != PlantedDllExitCode && controlTrace.empty())
        return {Verdict::NotShown, check,
                "none of them loaded beside it, but none loaded beside a copy of this program "
                "either (it imports WINSPOOL.DRV and USER32; exit status " +
                    std::to_string(controlStatus) + "): this system loads none of these plants"};
    return {Verdict::Pass, check,
            "none of " + Joined(names, ", ") +
                " loaded, in either process; beside a copy of this program they did (" +
                controlTrace + ")"};
}

void CheckBoxes(const SystemFacts &facts, const RunResult &run, bool inFront,
                std::vector<Line> *lines)
{
    Checker boxes;
    ExpectBoxes(boxes, run, CompleteBoxes);
    std::vector<std::string> seen, icons;
    for (const BoxSeen &box : run.boxes)
        seen.push_back(BoxWords(box));
    std::string shownBy = run.boxes.empty() ? "" : run.boxes[0].program;
    lines->push_back(Judged("2. The boxes", boxes,
                            Joined(seen) + "; each shown by the private copy " + shownBy +
                                ", the program started, written from its image"));

    Checker iconed;
    bool unreadable = false;
    for (size_t i = 0; i < run.boxes.size() && i < CompleteBoxes.size(); ++i) {
        unreadable = unreadable || run.boxes[i].icon == "unreadable";
        icons.push_back(run.boxes[i].icon);
        iconed.Equal(run.boxes[i].icon, IconName(CompleteBoxes[i].flags),
                     "box " + std::to_string(i + 1) + " icon");
    }
    iconed.Expect(!run.boxes.empty(), "no box was shown");
    if (unreadable)
        lines->push_back({Verdict::NotShown, "2. Their icons",
                          "this system gives no other process a box's icon"});
    else
        lines->push_back(Judged("2. Their icons", iconed, Joined(icons, ", ")));

    const std::string front = "2. The first box in front";
    if (!facts.wine.empty())
        lines->push_back({Verdict::NotShown, front, "Wine does not keep the foreground rules"});
    else if (!inFront)
        lines->push_back({Verdict::NotShown, front,
                          "this program was not in the foreground itself (started with "
                          "/report, or its question did not come to the front)"});
    else if (run.boxes.empty())
        lines->push_back({Verdict::Fail, front, "no box was shown"});
    else if (run.boxes[0].foreground)
        lines->push_back({Verdict::Pass, front,
                          "the first box came to the front within 2 s, started from this "
                          "program in the foreground"});
    else
        lines->push_back({Verdict::Fail, front,
                          "got: the first box was not the foreground window within 2 s of "
                          "showing; expected: in front, as Explorer's start gives it"});
}

void CheckFolder(const SystemFacts &facts, const RunResult &run, std::vector<Line> *lines)
{
    Checker held;
    held.Expect(!run.boxes.empty() && IsPrivateCopy(run.boxes[0].program),
                "the first box is shown by a private copy in " + TempDirectory() + ", got " +
                    Show(run.boxes.empty() ? "no box" : run.boxes[0].program));
    ExpectHeld(held, run);
    std::string folder = run.boxes.empty() ? "" : run.boxes[0].program;
    folder = folder.substr(0, folder.rfind('\\'));
    lines->push_back(Judged("3. The private folder, while the boxes are up", held,
                            folder +
                                ": another process's rename refused with error 32, its opening "
                                "for deletion refused with error 32"));

    FolderAccess access = run.boxes.empty() ? FolderAccess() : run.boxes[0].folderAccess;
    std::vector<std::string> got = access.allowed,
                             wanted = {facts.user, Administrators, LocalSystem};
    std::sort(got.begin(), got.end());
    std::sort(wanted.begin(), wanted.end());
    const std::string list = "3. Its access list";
    const std::string shielded = "3. Its access list is protected";
    bool nt4 = facts.version.dwMajorVersion == 4;
    if (!facts.wine.empty()) {
        std::string why = "Wine keeps no access list of NT's for a folder; it gave " +
                          AccessWords(access.allowed, facts.user);
        lines->push_back({Verdict::NotShown, list, why});
        lines->push_back({Verdict::NotShown, shielded, why});
        return;
    }
    if (!access.read) {
        lines->push_back({Verdict::Fail, list, "GetSecurityInfo could not read it"});
        return;
    }
    if (got == wanted)
        lines->push_back({Verdict::Pass, list, AccessWords(access.allowed, facts.user)});
    else
        lines->push_back({Verdict::Fail, list,
                          "got " + AccessWords(access.allowed, facts.user) + "; expected " +
                              AccessWords({facts.user, Administrators, LocalSystem}, facts.user)});
    if (nt4)
        lines->push_back(
            {Verdict::NotShown, shielded, "NT 4.0 has none: it never adds a parent's entries"});
    else if (access.protectedList)
        lines->push_back({Verdict::Pass, shielded,
                          "no entry of the temporary directory's is taken in (SE_DACL_PROTECTED)"});
    else
        lines->push_back({Verdict::Fail, shielded,
                          "got: not protected, so the temporary directory's inheritable entries "
                          "are added; expected: SE_DACL_PROTECTED"});
}

Line CheckOutcome(const KitFiles &files, const RunResult &run, size_t logBefore,
                  const std::string &defaultBefore)
{
    Checker outcome;
    ExpectEnded(outcome, run, 1);
    ExpectRegistered(outcome);
    ExpectFiles(outcome, 4, files.folder);
    ExpectDriverFiles(outcome, files.folder);
    ExpectSettings(outcome, WindowsDirectory());
    ExpectLog(outcome, ExpectedLog(4, {"Result = 0"}), "the log's new entries", logBefore);
    outcome.Equal(DefaultPrinter(), DriverName, "default printer");
    ExpectNothingLeft(outcome, run);
    return Judged("4. The outcome", outcome,
                  "exit status 1; " + DriverWords(DriverName, ReadDriver(DriverName)) + "; " +
                      PrinterWords(ReadPrinter(DriverName)) +
                      "; the package's files byte for byte in the driver directory and where "
                      "the spooler keeps them; " +
                      Joined(SettingsWords()) + "; the log's new entries " +
                      EntriesWords(logBefore) + "; default printer " +
                      DefaultPrinterWords(defaultBefore, DefaultPrinter()) +
                      "; nothing of the private folder left, nothing to remove at the restart");
}

// 5: the single program again, where the printer is there already.
Line CheckSecondRun(const SystemFacts &facts, const std::string &single)
{
    const std::string check = "5. A second run";
    size_t logBefore = LogSize();
    RunResult run = RunAsUser(single);
    Checker second;
    ExpectEnded(second, run, 1);
    ExpectBoxes(second, run, CompleteBoxes);
    std::string entries = EntriesWords(logBefore);
    if (second.failed == 0 && !facts.wine.empty())
        return {Verdict::NotShown, check,
                "Wine adds a printer that is there already anew instead of refusing it with "
                "1802; the run ended with 1, its log's new entries " +
                    entries};
    ExpectLog(second, ExpectedLog(4, {"Add Printer Error 1802", "Result = 0"}),
              "the log's new entries", logBefore);
    return Judged(check, second, "exit status 1; the log's new entries " + entries);
}

// Which of the two each driver file where the spooler keeps it is.
std::string KeptWords(const std::string &shipped, const std::string &upgrade)
{
    std::vector<std::string> kept;
    for (const std::string &path : DriverFilePaths()) {
        std::string bytes, ours, theirs;
        ReadWholeFile(path, &bytes);
        ReadWholeFile(shipped + "\\" + BaseName(path), &ours);
        ReadWholeFile(upgrade + "\\" + BaseName(path), &theirs);
        kept.push_back(BaseName(path) + (bytes == theirs ? " the upgrade's"
                                         : bytes == ours ? " the shipped one"
                                                         : " neither: " + FileWords(path, bytes)));
    }
    return Joined(kept, ", ");
}

// 6: the archive's program beside the package's files with bytes appended
// (a DLL so changed loads as before) and written now, later than the
// package's own times; then the single program again.
void CheckUpgrade(const SystemFacts &facts, const KitFiles &files, const std::string &work,
                  const std::string &single, std::vector<Line> *lines)
{
    const std::string check = "6. An upgrade";
    std::string upgrade = NewFolder(work, "upgrade");
    Checker upgraded;
    upgraded.Expect(WriteWholeFile(upgrade + "\\" + ProgramName, files.archiveBytes),
                    "the archive's program is in " + upgrade);
    for (const char *name : PackageFiles) {
        std::string bytes;
        upgraded.Expect(
            ReadWholeFile(files.folder + "\\" + name, &bytes) &&
                WriteWholeFile(upgrade + "\\" + name, bytes + "\r\nChanged by the check kit.\r\n"),
            std::string("the changed ") + name + " is in " + upgrade);
    }
    RunResult run = RunAsUser(upgrade + "\\" + ProgramName);
    ExpectEnded(upgraded, run, 1);
    ExpectBoxes(upgraded, run, CompleteBoxes);
    std::string kept = KeptWords(files.folder, upgrade);
    if (upgraded.failed == 0 && !facts.wine.empty())
        lines->push_back({Verdict::NotShown, check,
                          "Wine's spooler loads no driver and copies every file it is given; "
                          "after the upgrade it kept " +
                              kept});
    else {
        ExpectDriverFiles(upgraded, upgrade);
        lines->push_back(Judged(check, upgraded, "where the spooler keeps them: " + kept));
    }

    RunResult again = RunAsUser(single);
    Checker shipped;
    ExpectEnded(shipped, again, 1);
    ExpectBoxes(shipped, again, CompleteBoxes);
    const std::string over = "6. The single program over the upgrade";
    if (shipped.failed != 0)
        lines->push_back(Judged(over, shipped, ""));
    else
        lines->push_back({Verdict::Found, over,
                          "where the spooler keeps them: " + KeptWords(files.folder, upgrade)});
}

} // namespace

void RunChecks(const SystemFacts &facts, const KitFiles &files, const std::string &work,
               bool inFront, std::vector<Line> *lines)
{
    // The single program as the report's digest gives it, in a new folder.
    std::string first = NewFolder(work, "first");
    std::string single = first + "\\" + BaseName(files.single);
    bool written = WriteWholeFile(single, files.singleBytes);
    if (!facts.administrator) {
        for (const char *check : {"1. DLLs planted beside the single program", "2. The boxes",
                                  "3. The private folder, while the boxes are up", "4. The outcome",
                                  "5. A second run", "6. An upgrade"})
            lines->push_back({Verdict::NotShown, check,
                              "not an administrator: the installer needs one, and so do these"});
        lines->push_back(CheckSignature(facts, single));
        return;
    }
    std::string cleaned = CleanStart();
    if (!cleaned.empty())
        lines->push_back({Verdict::Found, "Before the checks", cleaned});
    // A copy of this program, named as the installer, beside the plants: it
    // imports WINSPOOL.DRV, which no Windows knows as its own, and USER32.
    std::string control = NewFolder(work, "control");
    TakePlantTrace();
    bool planted = Plant(control) && WriteWholeFile(control + "\\" + ProgramName, files.kitBytes);
    DWORD controlStatus =
        RunToEnd(control + "\\" + ProgramName, "/control", control, ControlTimeoutMs);
    std::string controlTrace = TakePlantTrace();

    planted = Plant(first) && written && planted;
    size_t logBefore = LogSize();
    std::string defaultBefore = DefaultPrinter();
    RunResult run = RunAsUser(single, inFront);
    lines->push_back(CheckPlants(planted, controlStatus, controlTrace, run, TakePlantTrace()));
    CheckBoxes(facts, run, inFront, lines);
    CheckFolder(facts, run, lines);
    lines->push_back(CheckOutcome(files, run, logBefore, defaultBefore));
    lines->push_back(CheckSecondRun(facts, single));
    CheckUpgrade(facts, files, work, single, lines);
    lines->push_back(CheckSignature(facts, single));
}
