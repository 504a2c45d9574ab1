#include "harness.h"

#include <tlhelp32.h>
#include <winternl.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <set>

#include "expected.h"

namespace {

const DWORD RunTimeoutMs = 60000;

// The process and every process it started, and theirs: the installer's
// boxes are shown by the private copy it starts.
std::set<DWORD> ProcessTree(DWORD root)
{
    std::set<DWORD> tree = {root};
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return tree;
    std::vector<std::pair<DWORD, DWORD>> parents; // process, parent
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        parents.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
    CloseHandle(snapshot);
    for (size_t found = 0; found != tree.size();) {
        found = tree.size();
        for (const auto &process : parents) {
            if (tree.count(process.second))
                tree.insert(process.first);
        }
    }
    return tree;
}

// The path of the process's program, "" when it is gone.
std::string ProgramOf(DWORD processId)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return "";
    MODULEENTRY32W module = {};
    module.dwSize = sizeof module;
    std::string program = Module32FirstW(snapshot, &module) ? Utf8(module.szExePath) : "";
    CloseHandle(snapshot);
    return program;
}

// The current directory of a running process, as its parameters block holds
// it: the PEB's ProcessParameters (offset 0x10), whose CurrentDirectory's
// DOS path (offset 0x24 in the 32-bit layout) the system keeps up to date.
std::string CurrentDirectoryOf(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    PROCESS_BASIC_INFORMATION basic = {};
    ULONG got = 0;
    BYTE *parameters = NULL;
    UNICODE_STRING path = {};
    std::wstring directory;
    if (process != NULL &&
        NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, &got) ==
            0 &&
        ReadProcessMemory(process, reinterpret_cast<BYTE *>(basic.PebBaseAddress) + 0x10,
                          &parameters, sizeof parameters, NULL) &&
        ReadProcessMemory(process, parameters + 0x24, &path, sizeof path, NULL)) {
        directory.resize(path.Length / sizeof(wchar_t));
        if (!ReadProcessMemory(process, path.Buffer, &directory[0], path.Length, NULL))
            directory.clear();
    }
    if (process != NULL)
        CloseHandle(process);
    return Utf8(directory);
}

// Another process tries to rename the private folder that holds the
// program, and undoes it where it went through; "" for a program in another
// folder, which is left alone.
std::string TryRenamingFolder(const std::string &program)
{
    std::string folder = program.substr(0, program.rfind('\\'));
    if (Lower(folder.substr(folder.rfind('\\') + 1))
            .rfind(Lower(expected::PrivateFolderPrefix), 0) != 0)
        return "";
    std::wstring from = Wide(folder), to = Wide(folder + "-renamed");
    if (!MoveFileW(from.c_str(), to.c_str()))
        return "refused with error " + std::to_string(GetLastError());
    MoveFileW(to.c_str(), from.c_str());
    return "renamed";
}

struct BoxSearch {
    std::set<DWORD> processes;
    HWND found;
    DWORD owner;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param)
{
    BoxSearch *search = reinterpret_cast<BoxSearch *>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (search->processes.count(owner) && strcmp(className, "#32770") == 0 &&
        IsWindowVisible(window)) {
        search->found = window;
        search->owner = owner;
        return FALSE;
    }
    return TRUE;
}

// A visible box of the process or of one it started, or null.
BoxSearch SearchBox(DWORD processId, std::set<DWORD> *seen = NULL)
{
    BoxSearch search = {ProcessTree(processId), NULL, 0};
    if (seen != NULL)
        seen->insert(search.processes.begin(), search.processes.end());
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    return search;
}

// The parent's environment with the scenario's changes, as a block for CreateProcessW.
std::wstring BuildEnvironment(const RunOptions &options)
{
    std::map<std::string, std::string> byName; // lower-case name -> "Name=value"
    wchar_t *block = GetEnvironmentStringsW();
    for (const wchar_t *entry = block; *entry; entry += wcslen(entry) + 1) {
        std::string text = Utf8(entry);
        size_t equals = text.find('=', 1);
        if (equals != std::string::npos)
            byName[Lower(text.substr(0, equals))] = text;
    }
    FreeEnvironmentStringsW(block);
    for (const std::string &name : options.removeEnvironment)
        byName.erase(Lower(name));
    for (const auto &set : options.setEnvironment)
        byName[Lower(set.first)] = set.first + "=" + set.second;
    std::string result;
    for (const auto &entry : byName)
        result += entry.second + '\0';
    return Wide(result + '\0');
}

// The buttons a box may have, and the answers that press them.
const struct {
    int id;
    const char *name, *answer;
} ButtonNames[] = {
    {IDOK, "OK", "ok"}, {IDCANCEL, "Cancel", "cancel"}, {IDYES, "Yes", "yes"}, {IDNO, "No", "no"}};

std::string Buttons(HWND box)
{
    std::string list;
    for (const auto &button : ButtonNames) {
        if (GetDlgItem(box, button.id) != NULL)
            list += (list.empty() ? "" : ",") + std::string(button.name);
    }
    return list;
}

int AnswerId(const std::string &answer)
{
    for (const auto &button : ButtonNames) {
        if (answer == button.answer)
            return button.id;
    }
    return 0;
}

void Press(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// Until the box is gone or the process has ended.
void WaitGone(HWND box, HANDLE process)
{
    while (IsWindow(box) && WaitForSingleObject(process, 20) == WAIT_TIMEOUT)
        ;
}

// Starts a program in a folder, by wide names; with an environment block of
// its own when one is given, else with this process's; suspended, for what
// is to be done before it runs, when that is given.
bool Start(const std::string &application, const std::string &commandLine,
           const std::string &folder, std::wstring *environment, PROCESS_INFORMATION *process,
           const std::function<void()> &whileSuspended = {})
{
    std::wstring line = Wide(commandLine);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    DWORD flags =
        (environment ? CREATE_UNICODE_ENVIRONMENT : 0) | (whileSuspended ? CREATE_SUSPENDED : 0);
    if (!CreateProcessW(application.empty() ? NULL : Wide(application).c_str(), &line[0], NULL,
                        NULL, FALSE, flags, environment ? &(*environment)[0] : NULL,
                        Wide(folder).c_str(), &startup, process))
        return false;
    if (whileSuspended) {
        whileSuspended();
        ResumeThread(process->hThread);
    }
    CloseHandle(process->hThread);
    return true;
}

// Ends a process as End Task would, with that exit status.
bool EndProcess(DWORD processId, DWORD status)
{
    HANDLE running = OpenProcess(PROCESS_TERMINATE, FALSE, processId);
    bool ended = running != NULL && TerminateProcess(running, status);
    if (running != NULL)
        CloseHandle(running);
    return ended;
}

// Turns Wine's quoted text back into what was passed: a wide character
// outside ASCII is a backslash and four hexadecimal digits, given back in UTF-8.
std::string Unquote(const std::string &quoted)
{
    std::string text;
    for (size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] != '\\' || i + 1 == quoted.size()) {
            text += quoted[i];
            continue;
        }
        char next = quoted[++i];
        if (isxdigit(static_cast<unsigned char>(next)) && i + 4 <= quoted.size()) {
            text += Utf8(std::wstring(
                1, static_cast<wchar_t>(strtoul(quoted.substr(i, 4).c_str(), NULL, 16))));
            i += 3;
            continue;
        }
        text += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next;
    }
    return text;
}

// Each line of the trace that holds the marker: the text before it (the
// process and thread) and after it.
std::vector<std::pair<std::string, std::string>> TraceLines(const std::string &trace,
                                                            const std::string &marker)
{
    std::vector<std::pair<std::string, std::string>> lines;
    for (size_t at = trace.find(marker); at != std::string::npos; at = trace.find(marker, at + 1)) {
        size_t start = trace.rfind('\n', at) == std::string::npos ? 0 : trace.rfind('\n', at) + 1;
        size_t end = std::min(trace.find('\n', at), trace.size());
        lines.push_back({trace.substr(start, at - start),
                         trace.substr(at + marker.size(), end - at - marker.size())});
    }
    return lines;
}

// Lines such as: Call user32.MessageBoxA(00000000,0040504c "text",004050c0 "caption",00000010)
// ret=...
void ReadTrace(const std::string &trace, std::vector<BoxSeen> *boxes)
{
    auto lines = TraceLines(trace, "Call user32.MessageBoxA(");
    for (size_t i = 0; i < boxes->size() && i < lines.size(); ++i) {
        const std::string &line = lines[i].second;
        BoxSeen &box = (*boxes)[i];
        size_t firstQuote = line.find(" \"");
        size_t captionStart = line.rfind(" \"");
        size_t flagsStart = line.rfind("\",");
        if (firstQuote == std::string::npos || captionStart == firstQuote ||
            flagsStart == std::string::npos)
            continue;
        size_t textEnd = line.rfind("\",", captionStart);
        box.owner = line.substr(0, line.find(','));
        box.tracedText = Unquote(line.substr(firstQuote + 2, textEnd - firstQuote - 2));
        box.caption = Unquote(line.substr(captionStart + 2, flagsStart - captionStart - 2));
        box.flags = static_cast<unsigned>(strtoul(line.c_str() + flagsStart + 2, NULL, 16));
        box.traced = true;
    }
}

// The box as it stands on the screen, as a 24-bit BMP file.
void SaveScreenshot(HWND box, const std::string &path)
{
    RECT rect;
    GetWindowRect(box, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::string pixels(stride * static_cast<DWORD>(height), '\0');
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), &pixels[0],
              reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS);
    DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof info;
    BITMAPFILEHEADER header = {0x4D42, static_cast<DWORD>(offset + pixels.size()), 0, 0, offset};
    std::string file(reinterpret_cast<const char *>(&header), sizeof header);
    file.append(reinterpret_cast<const char *>(&info), sizeof info);
    WriteWholeFile(path, file + pixels);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
}

} // namespace

std::string Lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string LongForm(const std::string &path)
{
    wchar_t full[MAX_PATH] = L"";
    DWORD length = GetLongPathNameW(Wide(path).c_str(), full, MAX_PATH);
    return length > 0 && length < MAX_PATH ? Utf8(full) : path;
}

std::wstring Wide(const std::string &utf8)
{
    std::wstring wide(utf8.size(), L'\0');
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                     &wide[0], static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return wide;
}

std::string Utf8(const std::wstring &wide)
{
    std::string utf8(4 * wide.size(), '\0');
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                     &utf8[0], static_cast<int>(utf8.size()), NULL, NULL);
    utf8.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return utf8;
}

// Lines such as
// 0140:0144:trace:loaddll:build_module Loaded L"C:\\dir\\x.dll" at 00400000: native
std::vector<ModuleLoad> ModuleLoads(const std::string &trace)
{
    std::vector<ModuleLoad> loads;
    for (const auto &line : TraceLines(trace, ":trace:loaddll:build_module Loaded L\"")) {
        DWORD process = static_cast<DWORD>(strtoul(line.first.c_str(), NULL, 16));
        loads.push_back({process, Unquote(line.second.substr(0, line.second.find('"')))});
    }
    return loads;
}

void SetInstallerDefault(const std::string &subkey, const char *name, const std::string &value,
                         const std::string &program)
{
    std::string path = "Software\\Wine\\AppDefaults\\" + program;
    if (!subkey.empty())
        path += "\\" + subkey;
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return;
    if (value.empty())
        RegDeleteValueA(key, name);
    else
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

std::vector<double> &RunSeconds()
{
    static std::vector<double> seconds;
    return seconds;
}

double Seconds()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

RunResult RunInstaller(const RunOptions &options)
{
    RunResult result;
    result.installer = options.installer;
    ReadWholeFile(options.installer, &result.installerFile);
    double startedAt = Seconds();
    // The Windows version for the program as it is named, and for the
    // private copy it starts, which has the program's own name.
    SetInstallerDefault("", "Version", options.windowsVersion);
    std::string named = options.installer.substr(options.installer.rfind('\\') + 1);
    if (Lower(named) != Lower(expected::ProgramName))
        SetInstallerDefault("", "Version", options.windowsVersion, named);
    std::string trace;
    ReadWholeFile(options.relayFile, &trace);
    size_t traceStart = trace.size();

    std::set<std::string> tempBefore = FolderEntries(TempDirectory());
    std::wstring environment = BuildEnvironment(options);
    // As Explorer starts it: by its wide path, or as another program might,
    // the program named apart from a command line of its own.
    bool ownLine = !options.commandLine.empty();
    PROCESS_INFORMATION process;
    if (!Start(ownLine ? options.installer : "",
               ownLine ? options.commandLine : "\"" + options.installer + "\"",
               options.workingFolder, &environment, &process, options.whileSuspended)) {
        result.problems.push_back("CreateProcessW failed with " + std::to_string(GetLastError()));
        return result;
    }
    result.started = true;
    result.processId = process.dwProcessId;

    size_t nextAnswer = 0;
    std::set<DWORD> processes = {process.dwProcessId}; // however soon it ends
    DWORD started = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT) {
        if (GetTickCount() - started > RunTimeoutMs) {
            result.problems.push_back("the installer did not end within 60 s");
            for (DWORD id : ProcessTree(process.dwProcessId))
                EndProcess(id, 99);
            break;
        }
        BoxSearch search = SearchBox(process.dwProcessId, &processes);
        if (search.found == NULL)
            continue;
        HWND box = search.found;
        if (result.boxes.empty() && options.atFirstBox)
            options.atFirstBox();
        Sleep(50); // let the box finish drawing
        BoxSeen seen;
        seen.program = ProgramOf(search.owner);
        char text[2048] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        seen.text = text;
        GetWindowTextA(box, text, sizeof text);
        seen.title = text;
        seen.buttons = Buttons(box);
        seen.currentDirectory = LongForm(CurrentDirectoryOf(search.owner));
        seen.folderRename = TryRenamingFolder(seen.program);
        ReadWholeFile(seen.program, &seen.programFile);
        result.boxes.push_back(seen);
        if (!options.screenshotFolder.empty()) {
            Sleep(300);
            SaveScreenshot(box, options.screenshotFolder + "\\box-" +
                                    std::to_string(result.boxes.size()) + ".bmp");
        }
        if (result.boxes.size() == options.endAtBox) {
            if (!EndProcess(search.owner, options.endStatus))
                result.problems.push_back("the process showing the box could not be ended");
        } else if (options.answerBoxes) {
            std::string answer = seen.buttons == "OK" ? "ok"
                                 : nextAnswer < options.answers.size()
                                     ? options.answers[nextAnswer++]
                                     : "";
            if (GetDlgItem(box, AnswerId(answer)) == NULL) {
                result.problems.push_back("the box \"" + seen.text + "\" has " +
                                          (answer.empty() ? "no answer left" : "no such button"));
                answer = seen.buttons.find("Cancel") != std::string::npos ? "cancel" : "no";
            }
            Press(box, AnswerId(answer));
        }
        WaitGone(box, process.hProcess);
    }
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    result.finished = true;
    result.processes = processes.size();
    RunSeconds().push_back(Seconds() - startedAt);
    CloseHandle(process.hProcess);
    result.answersLeft.assign(options.answers.begin() + static_cast<long>(nextAnswer),
                              options.answers.end());
    for (const std::string &name : FolderEntries(TempDirectory())) {
        if (!tempBefore.count(name))
            result.tempAdded.push_back(name);
    }

    if (!options.relayFile.empty()) {
        Sleep(100); // the trace is written by the installer's own process
        ReadWholeFile(options.relayFile, &trace);
        ReadTrace(trace.substr(std::min(traceStart, trace.size())), &result.boxes);
    }
    return result;
}

double MillisecondsToFirstBox(const std::string &program, const std::string &folder)
{
    PROCESS_INFORMATION process;
    double start = Seconds();
    if (!Start("", "\"" + program + "\"", folder, NULL, &process))
        return -1;
    double elapsed = -1;
    DWORD began = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT &&
           GetTickCount() - began < RunTimeoutMs) {
        BoxSearch search = SearchBox(process.dwProcessId);
        if (search.found == NULL) {
            Sleep(1);
            continue;
        }
        if (elapsed < 0)
            elapsed = 1000.0 * (Seconds() - start);
        Press(search.found, GetDlgItem(search.found, IDCANCEL) ? IDCANCEL : IDOK);
        WaitGone(search.found, process.hProcess);
    }
    TerminateProcess(process.hProcess, 0);
    CloseHandle(process.hProcess);
    return elapsed;
}
