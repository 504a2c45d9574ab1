// e2e_driver's rows of the check kit: ScrivoxCheck.exe from the release's
// check archive (unpacked by the release check), run under Wine in a Windows
// version as a tester runs it from a script (/report FILE), and its report's
// lines compared: each check's verdict, and the words that say why where
// Wine cannot show a fact. A program broken on purpose in the single
// program's place makes the right check fail.
#include "checks.h"

#include <string.h>

#include <algorithm>

#include "expected.h"
#include "kit/kit_names.h"

using expected::ProgramName;

namespace {

const DWORD KitTimeoutMs = 300000;

// A line of the report as expected: its verdict and check, and words it holds.
struct Expected {
    std::string line;
    std::string phrase;
};

// The kit's report of the release as it ships, under Wine.
const std::vector<Expected> SoundUnderWine = {
    {"PASS 1. DLLs planted beside the single program", "in either process"},
    {"PASS 2. The boxes", "each shown by the private copy"},
    {"NOT SHOWN 2. Their icons", "gives no other process a box's icon"},
    {"NOT SHOWN 2. The first box in front", "Wine does not keep the foreground rules"},
    {"PASS 3. The private folder, while the boxes are up", "refused with error 32"},
    {"NOT SHOWN 3. Its access list", "Wine keeps no access list"},
    {"NOT SHOWN 3. Its access list is protected", "Wine keeps no access list"},
    {"PASS 4. The outcome", "nothing of the private folder left"},
    {"NOT SHOWN 5. A second run", "instead of refusing it with 1802"},
    {"NOT SHOWN 6. An upgrade", "copies every file it is given"},
    {"FOUND 6. The single program over the upgrade", " the shipped one"},
    {"NOT SHOWN 7. The single program's signature", "Wine does not judge a signature"},
};

// The check a line is of: the line without its verdict.
std::string CheckOf(const std::string &line)
{
    for (const char *verdict : {"PASS ", "FAIL ", "NOT SHOWN ", "FOUND "}) {
        if (line.rfind(verdict, 0) == 0)
            return line.substr(strlen(verdict));
    }
    return "";
}

// That report with these lines in place of the sound ones of their checks.
std::vector<Expected> With(const std::vector<Expected> &changed)
{
    std::vector<Expected> lines = SoundUnderWine;
    for (const Expected &line : changed) {
        for (Expected &sound : lines) {
            if (CheckOf(sound.line) == CheckOf(line.line))
                sound = line;
        }
    }
    return lines;
}

// The verdict lines of a report: "VERDICT CHECK" and the words after it.
std::vector<std::pair<std::string, std::string>> VerdictLines(const std::string &report)
{
    std::vector<std::pair<std::string, std::string>> lines;
    for (size_t start = 0, end; start < report.size(); start = end + 2) {
        end = std::min(report.find("\r\n", start), report.size());
        std::string line = report.substr(start, end - start);
        size_t colon = line.find(": ");
        if (!CheckOf(line).empty())
            lines.push_back(
                {line.substr(0, colon), colon == std::string::npos ? "" : line.substr(colon + 2)});
    }
    return lines;
}

// The kit's one folder, as its archive was unpacked, copied into a folder of
// the scenario's; "" where the release check left none.
std::string CopyKit(Checker &check)
{
    std::set<std::string> entries = FolderEntries(options.kit);
    entries.erase(".");
    entries.erase("..");
    check.Equal(entries.size(), 1,
                "entries of the unpacked kit: " + Join({entries.begin(), entries.end()}));
    if (entries.size() != 1)
        return "";
    std::string unpacked = options.kit + "\\" + *entries.begin();
    std::string folder = "C:\\" + check.scenario;
    CreateDirectoryW(Wide(folder).c_str(), NULL);
    for (const std::string &name : FolderEntries(unpacked)) {
        if (name != "." && name != "..")
            check.Expect(CopyTo(unpacked + "\\" + name, folder + "\\" + name),
                         name + " is in " + folder);
    }
    return folder;
}

// The single program in the kit's folder: the one program but the kit's and
// the archive's.
std::string SingleIn(const std::string &folder)
{
    std::vector<std::string> programs = OtherPrograms(folder, KitProgramName);
    return programs.empty() ? "" : programs[0];
}

// The kit run as from a script, writing its report in its folder: its exit
// status and the report's text.
DWORD RunKit(Checker &check, const std::string &folder, std::string *text)
{
    std::string report = folder + "\\report.txt";
    DWORD status =
        RunToEnd(folder + "\\" + KitProgramName, "/report " + report, folder, KitTimeoutMs);
    check.Expect(ReadWholeFile(report, text), "the kit wrote its report " + report);
    return status;
}

// A program broken on purpose: one name of a system entry it binds at run
// time spelled as the ANSI call's, which then reads the wide path it is
// given as a one-letter name and fails.
bool Break(Checker &check, const std::string &from, const std::string &to, const char *entry)
{
    std::string bytes, name = std::string(entry) + '\0';
    ReadWholeFile(from, &bytes);
    size_t at = bytes.find(name);
    check.Expect(at != std::string::npos && bytes.find(name, at + 1) == std::string::npos,
                 std::string("the program names ") + entry + " once");
    if (at == std::string::npos)
        return false;
    bytes[at + name.size() - 2] = 'A';
    return WriteWholeFile(to, bytes);
}

// Wine's settings for the kit's programs: the Windows version, and where
// the plants are to be preferred, native DLLs for those names.
void ConfigureWine(const std::string &windows, const std::string &single, bool plants)
{
    for (const std::string &program :
         {std::string(KitProgramName), std::string(ProgramName), single})
        SetInstallerDefault("", "Version", windows, program);
    if (plants) {
        PreferPlants();
        PreferPlants(single);
    }
}

} // namespace

void KitRun(Checker &check, const std::string &windows, KitProgramIs program)
{
    std::string folder = CopyKit(check);
    if (folder.empty())
        return;
    std::string single = SingleIn(folder);
    check.Expect(!single.empty(), "the kit's folder holds the single program");
    std::vector<Expected> expected = SoundUnderWine;
    switch (program) {
    case KitProgramIs::Shipped:
        break;
    case KitProgramIs::InPlace:
    case KitProgramIs::InPlaceBesidePlants:
        // The archive's program with its launcher unable to start its copy:
        // it installs in place, showing the first box itself, or, where
        // Wine takes the plants beside it, loads one of them as it starts.
        check.Expect(Break(check, folder + "\\" + ProgramName, single, "CreateProcessW"),
                     "the program that runs in place is the kit's single program");
        if (program == KitProgramIs::InPlaceBesidePlants) {
            expected = With({{"FAIL 1. DLLs planted beside the single program", " ran in "},
                             {"FAIL 2. The boxes", "number of message boxes: got 0"},
                             {"FAIL 2. Their icons", "no box was shown"},
                             {"FAIL 3. The private folder, while the boxes are up", "no box"},
                             {"FAIL 4. The outcome", "exit status: got 77, expected 1"},
                             {"FAIL 5. A second run", "exit status: got 77, expected 1"},
                             {"FAIL 6. The single program over the upgrade", "got 77"}});
            break;
        }
        expected =
            With({{"NOT SHOWN 1. DLLs planted beside the single program",
                   "none loaded beside a copy of this program either"},
                  {"FAIL 2. The boxes", "shown by a private copy, got"},
                  {"FAIL 3. The private folder, while the boxes are up",
                   "the first box is shown by a private copy"},
                  {"FAIL 4. The outcome", "exit status: got 0, expected 1"},
                  {"FAIL 5. A second run", "shown by a private copy, got"},
                  {"FAIL 6. The single program over the upgrade", "shown by a private copy"}});
        break;
    case KitProgramIs::LeavesFolder:
        check.Expect(Break(check, single, single, "RemoveDirectoryW"),
                     "the program that leaves its folder is the kit's single program");
        expected = With({{"FAIL 4. The outcome", "is gone"}});
        break;
    case KitProgramIs::OtherPackage:
        check.Expect(CopyTo(options.other, single),
                     "another package's single program is the kit's single program");
        expected =
            With({{"FAIL 4. The outcome", "is in the driver directory byte for byte"},
                  {"FOUND 6. The single program over the upgrade", "neither"},
                  {"NOT SHOWN 7. The single program's signature", "the release is unsigned"}});
        break;
    }
    ConfigureWine(windows, BaseName(single), program != KitProgramIs::InPlace);
    std::string text;
    DWORD status = RunKit(check, folder, &text);
    printf("%s", text.c_str());
    check.Equal(status, program == KitProgramIs::Shipped ? 0 : 1, "the kit's exit status");
    auto lines = VerdictLines(text);
    check.Equal(lines.size(), expected.size(), "the report's verdict lines");
    for (size_t i = 0; i < lines.size() && i < expected.size(); ++i) {
        check.Equal(lines[i].first, expected[i].line, "verdict line " + std::to_string(i + 1));
        check.Expect(lines[i].second.find(expected[i].phrase) != std::string::npos,
                     lines[i].first + " says " + Show(expected[i].phrase) + ", got " +
                         Show(lines[i].second));
    }
}

void KitRefused(Checker &check, const std::string &windows, const char *system)
{
    std::string folder = CopyKit(check);
    if (folder.empty())
        return;
    ConfigureWine(windows, BaseName(SingleIn(folder)), false);
    std::string text;
    check.Equal(RunKit(check, folder, &text), 2, "the kit's exit status");
    std::string refusal = std::string("This kit checks Windows NT 4.0, 2000, XP and Server 2003, "
                                      "32-bit editions; this is ") +
                          system;
    check.Expect(text.find(refusal) != std::string::npos &&
                     text.find("nothing was checked") != std::string::npos,
                 "the report says " + Show(refusal) + ", got " + Show(text));
    check.Expect(VerdictLines(text).empty(), "no check ran");
    ExpectNotRegistered(check);
}

void KitDeclined(Checker &check)
{
    std::string folder = CopyKit(check);
    if (folder.empty())
        return;
    RunOptions run;
    run.installer = folder + "\\" + KitProgramName;
    run.workingFolder = folder;
    run.windowsVersion = "winxp";
    run.answers = {"no"};
    RunResult result = RunInstaller(run);
    ExpectEnded(check, result, 0);
    check.Equal(result.boxes.size(), 1, "the kit's boxes");
    if (!result.boxes.empty()) {
        check.Equal(result.boxes[0].title, KitCaption, "its caption");
        check.Equal(result.boxes[0].buttons, "Yes,No", "its buttons");
        check.Expect(result.boxes[0].text.find("run it on a test machine") != std::string::npos,
                     "it asks whether to change this machine, got " + Show(result.boxes[0].text));
    }
    std::set<std::string> entries = FolderEntries(folder);
    check.Equal(std::count_if(entries.begin(), entries.end(),
                              [](const std::string &name) {
                                  return Lower(name).rfind("scrivoxcheck-", 0) == 0;
                              }),
                0, "reports and run folders the kit wrote");
    ExpectNotRegistered(check);
}
