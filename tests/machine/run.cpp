// A run of the real installer as a user would make it: started by its wide
// path in a chosen folder and environment, its boxes and those of the
// processes it starts found, read and answered, and what each box's process
// was doing while it was up.
#include "machine.h"

#include <aclapi.h>
#include <winternl.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace {

const DWORD RunTimeoutMs = 60000;
const DWORD ForegroundWaitMs = 2000;

typedef NTSTATUS(NTAPI *QuerySystemEntry)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
typedef NTSTATUS(NTAPI *QueryProcessEntry)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

// Each process and its parent, from NTDLL's process list (NT 4.0 has no
// snapshots of KERNEL32's).
std::vector<std::pair<DWORD, DWORD>> ProcessParents()
{
    std::vector<std::pair<DWORD, DWORD>> parents;
    auto query = SystemEntry<QuerySystemEntry>("ntdll.dll", "NtQuerySystemInformation");
    std::vector<BYTE> list(1 << 16);
    NTSTATUS status = -1;
    for (int tries = 0; query != NULL && tries < 8; ++tries) {
        ULONG needed = 0;
        status =
            query(SystemProcessInformation, list.data(), static_cast<ULONG>(list.size()), &needed);
        if (status >= 0)
            break;
        list.resize(std::max<size_t>(2 * list.size(), needed + 4096));
    }
    if (status < 0)
        return parents;
    for (size_t at = 0;;) {
        const SYSTEM_PROCESS_INFORMATION *entry =
            reinterpret_cast<const SYSTEM_PROCESS_INFORMATION *>(list.data() + at);
        parents.push_back(
            {static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(entry->UniqueProcessId)),
             static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(entry->InheritedFromUniqueProcessId))});
        if (entry->NextEntryOffset == 0 || at + entry->NextEntryOffset >= list.size())
            break;
        at += entry->NextEntryOffset;
    }
    return parents;
}

// The process and every process it started, and theirs: the installer's
// boxes are shown by the private copy it starts.
std::set<DWORD> ProcessTree(DWORD root)
{
    std::set<DWORD> tree = {root};
    std::vector<std::pair<DWORD, DWORD>> parents = ProcessParents();
    for (size_t found = 0; found != tree.size();) {
        found = tree.size();
        for (const auto &process : parents) {
            if (tree.count(process.second))
                tree.insert(process.first);
        }
    }
    return tree;
}

// A text of a running process's parameters block: the PEB's
// ProcessParameters (offset 0x10), whose UNICODE_STRINGs are kept at fixed
// offsets in the 32-bit layout of every NT: the current directory's DOS path
// at 0x24, the image's path at 0x38.
std::string ProcessText(DWORD processId, size_t offset)
{
    auto query = SystemEntry<QueryProcessEntry>("ntdll.dll", "NtQueryInformationProcess");
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    PROCESS_BASIC_INFORMATION basic = {};
    ULONG got = 0;
    BYTE *parameters = NULL;
    UNICODE_STRING text = {};
    std::wstring read;
    if (process != NULL && query != NULL &&
        query(process, ProcessBasicInformation, &basic, sizeof basic, &got) >= 0 &&
        ReadProcessMemory(process, reinterpret_cast<BYTE *>(basic.PebBaseAddress) + 0x10,
                          &parameters, sizeof parameters, NULL) &&
        ReadProcessMemory(process, parameters + offset, &text, sizeof text, NULL)) {
        read.resize(text.Length / sizeof(wchar_t));
        if (!ReadProcessMemory(process, text.Buffer, &read[0], text.Length, NULL))
            read.clear();
    }
    if (process != NULL)
        CloseHandle(process);
    return Utf8(read);
}

// The path of the process's program, in its long form; "" when it is gone.
std::string ProgramOf(DWORD processId)
{
    return LongForm(ProcessText(processId, 0x38));
}

std::string CurrentDirectoryOf(DWORD processId)
{
    return ProcessText(processId, 0x24);
}

// The private folder that holds the program, "" for a program in another folder.
std::string PrivateFolderOf(const std::string &program)
{
    std::string folder = program.substr(0, program.rfind('\\'));
    bool named = Lower(BaseName(folder)).rfind(Lower(expected::PrivateFolderPrefix), 0) == 0;
    return named ? folder : "";
}

// Another process tries to rename the folder, and undoes it where it went through.
std::string TryRenaming(const std::string &folder)
{
    std::wstring from = Wide(folder), to = Wide(folder + "-renamed");
    if (!MoveFileW(from.c_str(), to.c_str()))
        return "refused with error " + std::to_string(GetLastError());
    MoveFileW(to.c_str(), from.c_str());
    return "renamed";
}

// Another process tries to open the folder for deletion, sharing everything.
std::string TryOpeningForDeletion(const std::string &folder)
{
    HANDLE opened = CreateFileW(Wide(folder).c_str(), DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (opened == INVALID_HANDLE_VALUE)
        return "refused with error " + std::to_string(GetLastError());
    CloseHandle(opened);
    return "opened";
}

FolderAccess ReadAccess(const std::string &folder)
{
    FolderAccess access;
    HANDLE opened = CreateFileW(Wide(folder).c_str(), READ_CONTROL,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (opened == INVALID_HANDLE_VALUE)
        return access;
    PACL list = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (GetSecurityInfo(opened, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, NULL, NULL, &list, NULL,
                        &descriptor) == ERROR_SUCCESS &&
        GetSecurityDescriptorControl(descriptor, &control, &revision)) {
        access.read = true;
        access.protectedList = (control & SE_DACL_PROTECTED) != 0;
        for (DWORD i = 0; list != NULL && i < list->AceCount; ++i) {
            ACCESS_ALLOWED_ACE *entry = NULL;
            if (!GetAce(list, i, reinterpret_cast<LPVOID *>(&entry)))
                continue;
            access.allowed.push_back(entry->Header.AceType == ACCESS_ALLOWED_ACE_TYPE
                                         ? SidText(&entry->SidStart)
                                         : "(type " + std::to_string(entry->Header.AceType) + ")");
        }
    }
    if (descriptor != NULL)
        LocalFree(descriptor);
    CloseHandle(opened);
    return access;
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

BOOL CALLBACK FindIconControl(HWND child, LPARAM param)
{
    char className[64] = "";
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") != 0 ||
        (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
        return TRUE;
    *reinterpret_cast<HWND *>(param) = child;
    return FALSE;
}

// The bits of an icon's mask and colour bitmaps, "" where they cannot be read.
std::string IconBits(HICON icon)
{
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return "";
    std::string bits;
    for (HBITMAP bitmap : {info.hbmMask, info.hbmColor}) {
        BITMAP shape = {};
        if (bitmap == NULL || !GetObjectA(bitmap, sizeof shape, &shape))
            continue;
        std::string part(static_cast<size_t>(shape.bmWidthBytes) * shape.bmHeight, '\0');
        LONG got = GetBitmapBits(bitmap, static_cast<LONG>(part.size()), &part[0]);
        bits += part.substr(0, got > 0 ? static_cast<size_t>(got) : 0);
        DeleteObject(bitmap);
    }
    return bits;
}

// Which of the system's icons the box shows: by its handle, which the
// system's shared icons keep in every process, else by its bits.
std::string IconOf(HWND box)
{
    HWND control = NULL;
    EnumChildWindows(box, FindIconControl, reinterpret_cast<LPARAM>(&control));
    HICON shown =
        control != NULL ? reinterpret_cast<HICON>(SendMessageA(control, STM_GETICON, 0, 0)) : NULL;
    if (shown == NULL)
        return "none";
    const struct {
        LPCSTR id;
        const char *name;
    } icons[] = {{MAKEINTRESOURCEA(32513), "error"}, // IDI_HAND, IDI_QUESTION, ...
                 {MAKEINTRESOURCEA(32514), "question"},
                 {MAKEINTRESOURCEA(32515), "warning"},
                 {MAKEINTRESOURCEA(32516), "information"}};
    for (const auto &icon : icons) {
        if (LoadIconA(NULL, icon.id) == shown)
            return icon.name;
    }
    std::string bits = IconBits(shown);
    if (bits.empty())
        return "unreadable";
    for (const auto &icon : icons) {
        if (IconBits(LoadIconA(NULL, icon.id)) == bits)
            return icon.name;
    }
    return "another";
}

// The environment of this process with the run's changes, as a block for CreateProcessW.
std::wstring BuildEnvironment(const ProgramRun &run)
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
    for (const std::string &name : run.removeEnvironment)
        byName.erase(Lower(name));
    for (const auto &set : run.setEnvironment)
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

// Whether the box is the foreground window, or becomes it within 2 s.
bool ComesToFront(HWND box)
{
    for (DWORD since = GetTickCount(); GetTickCount() - since < ForegroundWaitMs; Sleep(20)) {
        if (GetForegroundWindow() == box)
            return true;
    }
    return GetForegroundWindow() == box;
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

// What a box shows, and what its process is doing, while it is up.
BoxSeen ReadBox(HWND box, DWORD owner)
{
    BoxSeen seen;
    seen.program = ProgramOf(owner);
    char text[2048] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    seen.text = text;
    GetWindowTextA(box, text, sizeof text);
    seen.title = text;
    seen.buttons = Buttons(box);
    seen.icon = IconOf(box);
    seen.currentDirectory = LongForm(CurrentDirectoryOf(owner));
    std::string folder = PrivateFolderOf(seen.program);
    if (!folder.empty()) {
        seen.folderAccess = ReadAccess(folder);
        seen.folderDelete = TryOpeningForDeletion(folder);
        seen.folderRename = TryRenaming(folder);
    }
    ReadWholeFile(seen.program, &seen.programFile);
    return seen;
}

} // namespace

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

RunResult RunProgram(const ProgramRun &run)
{
    RunResult result;
    result.installer = run.installer;
    ReadWholeFile(run.installer, &result.installerFile);
    double startedAt = Seconds();
    std::set<std::string> tempBefore = FolderEntries(TempDirectory());
    std::wstring environment = BuildEnvironment(run);
    // As Explorer starts it: by its wide path, or as another program might,
    // the program named apart from a command line of its own.
    bool ownLine = !run.commandLine.empty();
    PROCESS_INFORMATION process;
    if (!Start(ownLine ? run.installer : "",
               ownLine ? run.commandLine : "\"" + run.installer + "\"", run.workingFolder,
               &environment, &process, run.whileSuspended)) {
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
        bool first = result.boxes.empty();
        if (first && run.atFirstBox)
            run.atFirstBox();
        bool foreground = first && run.watchForeground && ComesToFront(box);
        Sleep(50); // let the box finish drawing
        result.boxes.push_back(ReadBox(box, search.owner));
        BoxSeen &seen = result.boxes.back();
        seen.foreground = foreground;
        if (run.atEachBox)
            run.atEachBox(box, result.boxes.size());
        if (result.boxes.size() == run.endAtBox) {
            if (!EndProcess(search.owner, run.endStatus))
                result.problems.push_back("the process showing the box could not be ended");
        } else if (run.answerBoxes) {
            std::string answer = seen.buttons == "OK"              ? "ok"
                                 : nextAnswer < run.answers.size() ? run.answers[nextAnswer++]
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
    result.answersLeft.assign(run.answers.begin() + static_cast<long>(nextAnswer),
                              run.answers.end());
    for (const std::string &name : FolderEntries(TempDirectory())) {
        if (!tempBefore.count(name))
            result.tempAdded.push_back(name);
    }
    return result;
}

DWORD RunToEnd(const std::string &program, const std::string &arguments, const std::string &folder,
               DWORD timeoutMs)
{
    PROCESS_INFORMATION process;
    DWORD status = 0xFFFFFFFF;
    if (!Start(program, "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments), folder,
               NULL, &process))
        return status;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &status);
    else
        TerminateProcess(process.hProcess, status);
    CloseHandle(process.hProcess);
    return status;
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

std::string Lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string LongForm(const std::string &path)
{
    typedef DWORD(WINAPI * LongPathEntry)(LPCWSTR, LPWSTR, DWORD);
    auto longPath = SystemEntry<LongPathEntry>("kernel32.dll", "GetLongPathNameW"); // 98, 2000 on
    wchar_t full[MAX_PATH] = L"";
    DWORD length = longPath != NULL ? longPath(Wide(path).c_str(), full, MAX_PATH) : 0;
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

std::string Join(const std::vector<std::string> &lines)
{
    std::string joined;
    for (const std::string &line : lines)
        joined += line + "|";
    return joined;
}

// By the calls NT 4.0 has.
std::string SidText(PSID sid)
{
    const SID_IDENTIFIER_AUTHORITY *authority = GetSidIdentifierAuthority(sid);
    unsigned long long value = 0;
    for (BYTE part : authority->Value)
        value = value << 8 | part;
    std::string text = "S-1-" + std::to_string(value);
    for (UCHAR i = 0; i < *GetSidSubAuthorityCount(sid); ++i)
        text += "-" + std::to_string(*GetSidSubAuthority(sid, i));
    return text;
}

std::string BaseName(const std::string &path)
{
    return path.substr(path.rfind('\\') + 1);
}
