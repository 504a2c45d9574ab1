// ScrivoxCheck.exe: double-clicked, it asks once whether to change this
// machine, runs each check and writes its report beside itself,
// ScrivoxCheck-COMPUTER-YYYYMMDD-HHMMSS.txt, saying where in a box.
//   ScrivoxCheck.exe /report FILE   writes the report to FILE and asks
//                                   nothing, for a script
// Exit status: 0 when no check failed, 1 when one did, 2 for a system it
// does not check, a folder that lacks the release's files, or bad arguments.
#include "kit.h"

#include <stdio.h>

#include "kit_names.h"
#include "machine/sha256.h"

using expected::DriverName;
using expected::PackageFiles;
using expected::ProgramName;

namespace {

// A box of the kit's, its text in UTF-8 (paths may hold any name).
int Say(const std::string &text, UINT style)
{
    return MessageBoxW(NULL, Wide(text).c_str(), Wide(KitCaption).c_str(), style);
}

const char Usage[] = "Usage: ScrivoxCheck.exe [/report FILE]\n\nStarted without arguments, it "
                     "asks first and writes its report beside itself.";

// The release's files in the kit's folder: the archive's program and the
// package's files by their names, and the single program, the one other
// program there, each read once: what is hashed is what runs. "" when they
// are all there, else what is wrong.
std::string FindKitFiles(KitFiles *files)
{
    wchar_t own[MAX_PATH] = L"";
    DWORD length = GetModuleFileNameW(NULL, own, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return "this program's own path is too long";
    files->kit = Utf8(own);
    if (!ReadWholeFile(files->kit, &files->kitBytes))
        return "this program's own file cannot be read";
    files->folder = files->kit.substr(0, files->kit.rfind('\\'));
    files->archive = files->folder + "\\" + ProgramName;
    std::vector<std::string> lacking;
    for (const char *name : PackageFiles) {
        if (!Exists(files->folder + "\\" + name))
            lacking.push_back(name);
    }
    if (!Exists(files->archive))
        lacking.push_back(ProgramName);
    std::vector<std::string> others = OtherPrograms(files->folder, BaseName(files->kit));
    std::string holds = "the kit's folder " + files->folder + " must hold, as its archive does, " +
                        ProgramName + " and the package's four files, and the single program: ";
    if (!lacking.empty()) {
        std::string names;
        for (const std::string &name : lacking)
            names += (names.empty() ? "" : ", ") + name;
        return holds + "it lacks " + names;
    }
    if (others.size() != 1)
        return holds + "it holds " + std::to_string(others.size()) + " programs besides these";
    files->single = others[0];
    if (!ReadWholeFile(files->single, &files->singleBytes) ||
        !ReadWholeFile(files->archive, &files->archiveBytes))
        return "the release's programs in " + files->folder + " cannot be read";
    return "";
}

// "YYYYMMDD-HHMMSS" and "YYYY-MM-DD HH:MM:SS" of the local time.
void Stamps(std::string *compact, std::string *readable)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[32];
    snprintf(text, sizeof text, "%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond);
    *compact = text;
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay,
             now.wHour, now.wMinute, now.wSecond);
    *readable = text;
}

// The digest, once this program's SHA-256 has given the standard's for "abc".
std::string Digest(const std::string &bytes)
{
    if (Sha256("abc") != "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad")
        return "not given: this program's SHA-256 is wrong on this machine";
    return "SHA-256 " + Sha256(bytes);
}

struct FrontWatch {
    volatile LONG stop = 0, seen = 0;
};

// Whether a window of this process is the foreground window, while the question is up.
DWORD WINAPI WatchFront(LPVOID param)
{
    FrontWatch *watch = static_cast<FrontWatch *>(param);
    while (!watch->stop) {
        DWORD owner = 0;
        HWND front = GetForegroundWindow();
        if (front != NULL && GetWindowThreadProcessId(front, &owner) &&
            owner == GetCurrentProcessId())
            InterlockedExchange(&watch->seen, 1);
        Sleep(50);
    }
    return 0;
}

// The one question: whether to change this machine. `inFront` tells whether
// the question came to the front, so that this process may give the
// foreground to the program it starts.
bool Ask(bool *inFront)
{
    std::string question =
        std::string("This kit runs the release's programs on this machine as a user would and "
                    "checks what they do. Like the installer, it installs the driver \"") +
        DriverName + "\" and a printer on " + expected::Port +
        ", makes that printer the default and writes the user's settings: run it on a test "
        "machine.\n\nChange this machine now?";
    FrontWatch watch;
    HANDLE thread = CreateThread(NULL, 0, WatchFront, &watch, 0, NULL);
    int answer = Say(question, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    InterlockedExchange(&watch.stop, 1);
    if (thread != NULL) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    *inFront = watch.seen != 0;
    return answer == IDYES;
}

const char *VerdictWord(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass:
        return "PASS";
    case Verdict::Fail:
        return "FAIL";
    case Verdict::NotShown:
        return "NOT SHOWN";
    default:
        return "FOUND";
    }
}

bool WriteReport(const std::string &path, const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\r\n";
    return WriteWholeFile(path, text);
}

// What the kit says where it checks nothing: in the report asked for, or in a box.
int Refuse(const std::string &report, std::vector<std::string> header, const std::string &why)
{
    if (report.empty()) {
        Say(why, MB_OK | MB_ICONERROR);
        return 2;
    }
    header.push_back(why);
    WriteReport(report, header);
    return 2;
}

} // namespace

std::string LineText(const Line &line)
{
    return std::string(VerdictWord(line.verdict)) + " " + line.check +
           (line.words.empty() ? "" : ": " + line.words);
}

int wmain(int argc, wchar_t **argv)
{
    std::string report;
    bool control = false, bad = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = Lower(Utf8(argv[i]));
        if (argument == "/report" && i + 1 < argc)
            report = Utf8(argv[++i]);
        else if (argument == "/control")
            control = true;
        else
            bad = true;
    }
    // The copy that shows that planted DLLs load here: none ran if it gets this far.
    if (control)
        return 0;
    if (bad) {
        Say(Usage, MB_OK | MB_ICONERROR);
        return 2;
    }
    SystemFacts facts = ReadSystem();
    KitFiles files;
    std::string lacking = FindKitFiles(&files);
    std::string compact, readable;
    Stamps(&compact, &readable);
    std::string computer = ComputerName();
    std::vector<std::string> header = {
        std::string("Scrivox check kit report of ") + readable + " (local time), computer " +
            computer,
        "Windows: " + SystemWords(facts), "Language: " + LanguageWords(),
        "Check program: " + files.kit + ", " + Digest(files.kitBytes)};
    if (!Checked(facts))
        return Refuse(report, header,
                      "This kit checks Windows NT 4.0, 2000, XP and Server 2003, 32-bit editions; "
                      "this is " +
                          SystemWords(facts) + ": nothing was checked.");
    if (!lacking.empty())
        return Refuse(report, header, "Nothing was checked: " + lacking + ".");
    header.push_back("Single program: " + files.single + ", " + Digest(files.singleBytes));
    header.push_back("Archive's program: " + files.archive + ", " + Digest(files.archiveBytes));
    header.push_back(std::string("Administrator: ") + (facts.administrator ? "yes" : "no"));
    bool asked = report.empty(), inFront = false;
    if (asked && !Ask(&inFront))
        return 0;
    std::string stem = files.folder + "\\ScrivoxCheck-" + computer + "-" + compact;
    if (asked)
        report = stem + ".txt";
    if (!CreateDirectoryW(Wide(stem).c_str(), NULL))
        return Refuse(asked ? "" : report, header,
                      "Nothing was checked: the folder " + stem + " cannot be made.");
    header.push_back("The runs' folders: " + stem);

    std::vector<Line> lines;
    RunChecks(facts, files, stem, inFront, &lines);
    int counts[4] = {};
    for (const Line &line : lines) {
        ++counts[static_cast<int>(line.verdict)];
        header.push_back(LineText(line));
    }
    std::string summary = std::to_string(counts[0]) + " passed, " + std::to_string(counts[1]) +
                          " failed, " + std::to_string(counts[2]) + " not shown, " +
                          std::to_string(counts[3]) + " found";
    header.push_back("Result: " + summary);
    bool written = WriteReport(report, header);
    if (asked)
        Say(written ? "The report is in\n" + report + "\n\n" + summary
                    : "The report could not be written to\n" + report,
            MB_OK | (counts[1] || !written ? MB_ICONERROR : MB_ICONINFORMATION));
    return counts[1] || !written ? 1 : 0;
}
