#include "harness.h"

#include <tlhelp32.h>
#include <winspool.h>

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <set>

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
    MODULEENTRY32 module = {};
    module.dwSize = sizeof module;
    std::string program = Module32First(snapshot, &module) ? module.szExePath : "";
    CloseHandle(snapshot);
    return program;
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
BoxSearch SearchBox(DWORD processId)
{
    BoxSearch search = {ProcessTree(processId), NULL, 0};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    return search;
}

// The names in a folder.
std::set<std::string> FolderEntries(const std::string &folder)
{
    std::set<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.insert(entry.cFileName);
    while (FindNextFileA(search, &entry));
    FindClose(search);
    return names;
}

// The parent's environment with the scenario's changes, as a block for CreateProcessA.
std::string BuildEnvironment(const RunOptions &options)
{
    std::map<std::string, std::string> byName; // lower-case name -> "Name=value"
    char *block = GetEnvironmentStringsA();
    for (const char *entry = block; *entry; entry += strlen(entry) + 1) {
        std::string text = entry;
        size_t equals = text.find('=', 1);
        if (equals == std::string::npos)
            continue;
        byName[Lower(text.substr(0, equals))] = text;
    }
    FreeEnvironmentStringsA(block);
    for (const std::string &name : options.removeEnvironment)
        byName.erase(Lower(name));
    for (const auto &set : options.setEnvironment)
        byName[Lower(set.first)] = set.first + "=" + set.second;
    std::string result;
    for (const auto &entry : byName)
        result += entry.second + '\0';
    return result + '\0';
}

std::string Buttons(HWND box)
{
    std::string list;
    const struct {
        int id;
        const char *name;
    } buttons[] = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}, {IDYES, "Yes"}, {IDNO, "No"}};
    for (const auto &button : buttons) {
        if (GetDlgItem(box, button.id) != NULL)
            list += (list.empty() ? "" : ",") + std::string(button.name);
    }
    return list;
}

int AnswerId(const std::string &answer)
{
    if (answer == "ok")
        return IDOK;
    if (answer == "cancel")
        return IDCANCEL;
    if (answer == "yes")
        return IDYES;
    if (answer == "no")
        return IDNO;
    return 0;
}

void Press(HWND box, int id)
{
    HWND button = GetDlgItem(box, id);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// Turns the relay trace's quoted text back into the bytes that were passed.
std::string Unquote(const std::string &quoted)
{
    std::string text;
    for (size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] != '\\' || i + 1 == quoted.size()) {
            text += quoted[i];
            continue;
        }
        char next = quoted[++i];
        text += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next;
    }
    return text;
}

// Lines such as: Call user32.MessageBoxA(00000000,0040504c "text",004050c0 "caption",00000010)
// ret=...
void ReadTrace(const std::string &trace, std::vector<BoxSeen> *boxes)
{
    const std::string marker = "Call user32.MessageBoxA(";
    size_t at = 0;
    for (BoxSeen &box : *boxes) {
        at = trace.find(marker, at);
        if (at == std::string::npos)
            return;
        size_t end = trace.find('\n', at);
        std::string line = trace.substr(at + marker.size(), end - at - marker.size());
        at = end;
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

DWORD FileSize(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return data.nFileSizeLow;
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
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::string pixels(stride * static_cast<DWORD>(height), '\0');
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), &pixels[0],
              reinterpret_cast<BITMAPINFO *>(&info), DIB_RGB_COLORS);
    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = static_cast<DWORD>(header.bfOffBits + pixels.size());
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

// Lines such as
// 0140:0144:trace:loaddll:build_module Loaded L"C:\\dir\\x.dll" at 00400000: native
std::vector<ModuleLoad> ModuleLoads(const std::string &trace)
{
    std::vector<ModuleLoad> loads;
    const std::string marker = ":trace:loaddll:build_module Loaded L\"";
    for (size_t at = trace.find(marker); at != std::string::npos; at = trace.find(marker, at + 1)) {
        size_t lineStart = trace.rfind('\n', at);
        lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
        size_t pathStart = at + marker.size();
        size_t pathEnd = trace.find('"', pathStart);
        if (pathEnd == std::string::npos)
            break;
        DWORD process = static_cast<DWORD>(strtoul(trace.c_str() + lineStart, NULL, 16));
        loads.push_back({process, Unquote(trace.substr(pathStart, pathEnd - pathStart))});
    }
    return loads;
}

void SetInstallerDefault(const std::string &subkey, const char *name, const std::string &value)
{
    std::string path = "Software\\Wine\\AppDefaults\\ScrivoxSetup.exe";
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
    double startedAt = Seconds();
    SetInstallerDefault("", "Version", options.windowsVersion);
    DWORD traceStart = options.relayFile.empty() ? 0 : FileSize(options.relayFile);

    std::set<std::string> tempBefore = FolderEntries(TempDirectory());
    std::string environment = BuildEnvironment(options);
    std::string commandLine = "\"" + options.installer + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, &commandLine[0], NULL, NULL, FALSE, 0, &environment[0],
                        options.workingFolder.c_str(), &startup, &process)) {
        result.problems.push_back("CreateProcessA failed with " + std::to_string(GetLastError()));
        return result;
    }
    result.started = true;
    result.processId = process.dwProcessId;

    size_t nextAnswer = 0;
    DWORD started = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT) {
        if (GetTickCount() - started > RunTimeoutMs) {
            result.problems.push_back("the installer did not end within 60 s");
            for (DWORD id : ProcessTree(process.dwProcessId)) {
                HANDLE running = OpenProcess(PROCESS_TERMINATE, FALSE, id);
                if (running != NULL) {
                    TerminateProcess(running, 99);
                    CloseHandle(running);
                }
            }
            break;
        }
        BoxSearch search = SearchBox(process.dwProcessId);
        if (search.found == NULL)
            continue;
        HWND box = search.found;
        Sleep(50); // let the box finish drawing
        BoxSeen seen;
        seen.program = ProgramOf(search.owner);
        char text[2048] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        seen.text = text;
        seen.buttons = Buttons(box);
        result.boxes.push_back(seen);
        if (!options.screenshotFolder.empty()) {
            Sleep(300);
            SaveScreenshot(box, options.screenshotFolder + "\\box-" +
                                    std::to_string(result.boxes.size()) + ".bmp");
        }
        if (result.boxes.size() == options.endAtBox) {
            HANDLE owner = OpenProcess(PROCESS_TERMINATE, FALSE, search.owner);
            if (owner == NULL || !TerminateProcess(owner, options.endStatus))
                result.problems.push_back("the process showing the box could not be ended");
            if (owner != NULL)
                CloseHandle(owner);
            while (IsWindow(box) && WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT)
                ;
            continue;
        }
        if (!options.answerBoxes) {
            while (IsWindow(box) && WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT)
                ;
            continue;
        }
        int id = IDOK;
        if (seen.buttons != "OK") {
            if (nextAnswer < options.answers.size()) {
                id = AnswerId(options.answers[nextAnswer++]);
            } else {
                result.problems.push_back("no answer left for the box \"" + seen.text + "\"");
                id = seen.buttons.find("Cancel") != std::string::npos ? IDCANCEL : IDNO;
            }
            if (GetDlgItem(box, id) == NULL) {
                result.problems.push_back("the box \"" + seen.text + "\" has no such button");
                id = seen.buttons.find("Cancel") != std::string::npos ? IDCANCEL : IDNO;
            }
        }
        Press(box, id);
        while (IsWindow(box) && WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT)
            ;
    }
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    result.finished = true;
    RunSeconds().push_back(Seconds() - startedAt);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (nextAnswer < options.answers.size() && !options.answersAreDefaults)
        result.problems.push_back("answers were left over: fewer questions than expected");
    for (const std::string &name : FolderEntries(TempDirectory())) {
        if (!tempBefore.count(name))
            result.tempAdded.push_back(name);
    }

    if (!options.relayFile.empty()) {
        Sleep(100); // the trace is written by the installer's own process
        std::string trace;
        ReadWholeFile(options.relayFile, &trace);
        ReadTrace(trace.substr(std::min<size_t>(traceStart, trace.size())), &result.boxes);
    }
    return result;
}

DWORD RunAndWait(const std::string &commandLine, const std::string &folder)
{
    std::string writable = commandLine;
    double started = Seconds();
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(NULL, &writable[0], NULL, NULL, FALSE, 0, NULL, folder.c_str(), &startup,
                        &process))
        return 0xFFFFFFFF;
    DWORD status = 0xFFFFFFFF;
    if (WaitForSingleObject(process.hProcess, RunTimeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &status);
    else
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    RunSeconds().push_back(Seconds() - started);
    return status;
}

double MillisecondsToFirstBox(const std::string &program, const std::string &folder)
{
    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    double start = Seconds();
    if (!CreateProcessA(NULL, &commandLine[0], NULL, NULL, FALSE, 0, NULL, folder.c_str(), &startup,
                        &process))
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
        if (elapsed < 0) {
            elapsed = 1000.0 * (Seconds() - start);
        }
        Press(search.found, GetDlgItem(search.found, IDCANCEL) ? IDCANCEL : IDOK);
        while (IsWindow(search.found) && WaitForSingleObject(process.hProcess, 5) == WAIT_TIMEOUT)
            ;
    }
    TerminateProcess(process.hProcess, 0);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return elapsed;
}

static void FindFilesBelow(const std::string &folder, const char *name,
                           std::vector<std::string> *found)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string path = folder + "\\" + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0)
                FindFilesBelow(path, name, found);
        } else if (_stricmp(entry.cFileName, name) == 0) {
            found->push_back(path);
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

std::vector<std::string> FindFiles(const std::string &folder, const char *name)
{
    std::vector<std::string> found;
    PVOID redirection = NULL;
    BOOL redirected = Wow64DisableWow64FsRedirection(&redirection); // fails outside WOW64
    FindFilesBelow(folder, name, &found);
    if (redirected)
        Wow64RevertWow64FsRedirection(redirection);
    return found;
}

bool ReadWholeFile(const std::string &path, std::string *contents)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    contents->clear();
    char chunk[4096];
    DWORD got;
    while (ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0)
        contents->append(chunk, got);
    CloseHandle(file);
    return true;
}

bool WriteWholeFile(const std::string &path, const std::string &contents)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, NULL);
    CloseHandle(file);
    return ok && written == contents.size();
}

std::string DriverDirectory()
{
    char directory[MAX_PATH] = "";
    DWORD needed = 0;
    GetPrinterDriverDirectoryA(NULL, NULL, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory,
                               &needed);
    return directory;
}

std::string TempDirectory()
{
    char directory[MAX_PATH] = "";
    GetTempPathA(sizeof directory, directory);
    return directory;
}

std::string WindowsDirectory()
{
    char directory[MAX_PATH] = "";
    GetWindowsDirectoryA(directory, sizeof directory);
    return directory;
}

static std::string Text(const char *text)
{
    return text ? text : "(null)";
}

DriverState ReadDriver(const char *name, const char *environmentName)
{
    DriverState state;
    DWORD needed = 0, count = 0;
    std::string environment = environmentName;
    EnumPrinterDriversA(NULL, &environment[0], 3, NULL, 0, &needed, &count);
    std::vector<BYTE> buffer(needed + 1);
    if (!EnumPrinterDriversA(NULL, &environment[0], 3, buffer.data(), needed, &needed, &count))
        return state;
    const DRIVER_INFO_3A *drivers = reinterpret_cast<const DRIVER_INFO_3A *>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        const DRIVER_INFO_3A &d = drivers[i];
        if (d.pName == NULL || strcmp(d.pName, name) != 0)
            continue;
        state.found = true;
        state.environment = Text(d.pEnvironment);
        state.driverPath = Text(d.pDriverPath);
        state.dataFile = Text(d.pDataFile);
        state.configFile = Text(d.pConfigFile);
        state.helpFile = Text(d.pHelpFile);
        state.monitor = Text(d.pMonitorName);
        state.dataType = Text(d.pDefaultDataType);
        for (const char *file = d.pDependentFiles; file && *file; file += strlen(file) + 1)
            state.dependentFiles.push_back(file);
    }
    return state;
}

PrinterState ReadPrinter(const char *name)
{
    PrinterState state;
    HANDLE printer = NULL;
    std::string writable = name;
    if (!OpenPrinterA(&writable[0], &printer, NULL))
        return state;
    DWORD needed = 0;
    GetPrinterA(printer, 2, NULL, 0, &needed);
    std::vector<BYTE> buffer(needed + 1);
    if (GetPrinterA(printer, 2, buffer.data(), needed, &needed)) {
        const PRINTER_INFO_2A *info = reinterpret_cast<const PRINTER_INFO_2A *>(buffer.data());
        state.found = true;
        state.name = Text(info->pPrinterName);
        state.port = Text(info->pPortName);
        state.driver = Text(info->pDriverName);
        state.printProcessor = Text(info->pPrintProcessor);
        state.dataType = Text(info->pDatatype);
    }
    ClosePrinter(printer);
    return state;
}

std::string DefaultPrinter()
{
    char name[512] = "";
    DWORD size = sizeof name;
    if (!GetDefaultPrinterA(name, &size))
        return "";
    return name;
}

std::string DeviceEntry()
{
    char device[512] = "";
    GetProfileStringA("windows", "device", "", device, sizeof device);
    return device;
}

RegistryValue ReadValue(HKEY root, const char *keyName, const char *name)
{
    RegistryValue value;
    HKEY key;
    if (RegOpenKeyExA(root, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    BYTE data[2048];
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, NULL, &value.type, data, &size) == ERROR_SUCCESS) {
        value.found = true;
        value.data.assign(reinterpret_cast<const char *>(data), size);
    }
    RegCloseKey(key);
    return value;
}

bool UserKeyExists(const char *keyName)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::vector<std::string> SplitLines(const std::string &bytes, bool *allCrLf)
{
    std::vector<std::string> lines;
    *allCrLf = true;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            *allCrLf = false;
            lines.push_back(bytes.substr(start));
            break;
        }
        if (end == start || bytes[end - 1] != '\r')
            *allCrLf = false;
        size_t length = end - start - (end > start && bytes[end - 1] == '\r' ? 1 : 0);
        lines.push_back(bytes.substr(start, length));
        start = end + 1;
    }
    return lines;
}

std::string StripStamp(const std::string &line, bool *stamped)
{
    const char pattern[] = "dd/dd/dd dd:dd:dd ";
    *stamped = line.size() >= 18;
    for (size_t i = 0; *stamped && i < 18; ++i) {
        if (pattern[i] == 'd' ? !isdigit(static_cast<unsigned char>(line[i]))
                              : line[i] != pattern[i])
            *stamped = false;
    }
    return *stamped ? line.substr(18) : line;
}
