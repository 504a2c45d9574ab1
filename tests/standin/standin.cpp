// The scripted machine behind the host stand-in of the Win32 calls.
#include "standin.h"

#include "expected.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace standin {

bool NoCase::operator()(const std::string &a, const std::string &b) const
{
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

namespace {

struct Fault {
    std::string function;
    DWORD error;
    int nth;
};

Machine machine;

// Each process's machine lives in a folder of its own below the build folder
// (STANDIN_FOLDER), removed when the process ends.
struct MachineFolder {
    ~MachineFolder()
    {
        if (!machine.root.empty())
            fs::remove_all(machine.root);
    }
} machineFolder;

std::vector<Fault> faults;
std::map<std::string, int> callCounts;
DWORD lastError;
uintptr_t nextHandle = 0x1000;
HMODULE const spoolerModule = reinterpret_cast<HMODULE>(0x73000000);
HMODULE const kernelModule = reinterpret_cast<HMODULE>(0x7c800000);
HANDLE const currentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

// Windows' ANSI calls refuse paths of MAX_PATH (260) characters or more.
const size_t MaxPath = 260;

std::string Text(const char *text)
{
    return text ? std::string(text) : "(null)";
}
std::string Number(uint64_t value)
{
    return std::to_string(value);
}
std::string Pointer(const void *p)
{
    return p ? "ptr" : "(null)";
}

// Records the call, then reports whether an injected fault hits it; a hit
// sets the last error.
bool Record(const std::string &function, std::vector<std::string> args)
{
    machine.calls.push_back({function, std::move(args)});
    int count = ++callCounts[function];
    for (const Fault &fault : faults) {
        if (fault.function == function && (fault.nth == 0 || fault.nth == count)) {
            lastError = fault.error;
            return true;
        }
    }
    return false;
}

LONG RecordedError(const std::string &function, std::vector<std::string> args)
{
    return Record(function, std::move(args)) ? static_cast<LONG>(lastError) : ERROR_SUCCESS;
}

HANDLE NewHandle()
{
    return reinterpret_cast<HANDLE>(nextHandle++);
}

// Copies text into a caller's buffer with the usual length protocol: the
// length without the NUL when it fits, else the size needed with the NUL.
DWORD Answer(const std::string &text, LPSTR buffer, DWORD size)
{
    if (text.size() + 1 > size)
        return static_cast<DWORD>(text.size() + 1);
    memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<DWORD>(text.size());
}

bool ParentExists(const std::string &hostPath)
{
    return fs::is_directory(fs::path(hostPath).parent_path());
}

} // namespace

Machine &M()
{
    return machine;
}

void Reset()
{
    if (!machine.root.empty())
        fs::remove_all(machine.root);
    machine = Machine();
    faults.clear();
    callCounts.clear();
    lastError = 0;
    fs::create_directories(STANDIN_FOLDER);
    std::string root = std::string(STANDIN_FOLDER) + "/machine-XXXXXX";
    if (mkdtemp(&root[0]) == NULL) {
        perror(("stand-in: cannot make " + root).c_str());
        abort();
    }
    machine.root = root;
    machine.environment["windir"] = machine.windowsDirectory;
    machine.environment["TEMP"] = "C:\\TEMP";
    MakeDirectory(machine.currentDirectory);
    MakeDirectory("C:\\TEMP");
    MakeDirectory(machine.driverDirectory);
    for (const char *name : expected::PackageFiles)
        PutFile(machine.currentDirectory + "\\" + name, std::string("contents of ") + name);
}

void Fail(const std::string &function, DWORD error, int nth)
{
    faults.push_back({function, error, nth});
}

std::vector<Call> CallsTo(const std::string &function)
{
    std::vector<Call> found;
    for (const Call &call : machine.calls) {
        if (call.function == function)
            found.push_back(call);
    }
    return found;
}

std::vector<std::string> FunctionsCalled()
{
    std::vector<std::string> names;
    for (const Call &call : machine.calls)
        names.push_back(call.function);
    return names;
}

std::string HostPath(const std::string &windowsPath)
{
    std::string path = windowsPath;
    if (!path.empty() && path[0] == '\\')
        path = machine.currentDirectory.substr(0, 2) + path; // root of the current drive
    else if (path.size() < 2 || path[1] != ':')
        path = machine.currentDirectory + "\\" + path;
    std::string drive(1, static_cast<char>(tolower(path[0])));
    std::vector<std::string> parts;
    std::stringstream rest(path.substr(2));
    std::string part;
    while (std::getline(rest, part, '\\')) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        for (char &c : part)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        parts.push_back(part);
    }
    std::string host = machine.root + "/" + drive;
    for (const std::string &p : parts)
        host += "/" + p;
    return host;
}

void MakeDirectory(const std::string &windowsPath)
{
    fs::create_directories(HostPath(windowsPath));
}

void PutFile(const std::string &windowsPath, const std::string &contents, DWORD attributes)
{
    std::string host = HostPath(windowsPath);
    fs::create_directories(fs::path(host).parent_path());
    std::ofstream(host, std::ios::binary) << contents;
    machine.attributes[host] = attributes ? attributes : FILE_ATTRIBUTE_ARCHIVE;
}

bool FileExists(const std::string &windowsPath)
{
    return fs::is_regular_file(HostPath(windowsPath));
}

std::string FileContents(const std::string &windowsPath)
{
    std::ifstream in(HostPath(windowsPath), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

DWORD FileAttributes(const std::string &windowsPath)
{
    auto found = machine.attributes.find(HostPath(windowsPath));
    return found == machine.attributes.end() ? 0 : found->second;
}

void AddPrinter(const std::string &name, const std::string &driver, const std::string &port)
{
    Printer printer;
    printer.name = name;
    printer.driver = driver;
    printer.port = port;
    machine.printers[name] = printer;
}

} // namespace standin

using namespace standin;

// The spooler module's entries, reached only through GetProcAddress.
namespace spooler {

BOOL WINAPI GetPrinterDriverDirectoryA(LPSTR server, LPSTR environment, DWORD level, LPBYTE buffer,
                                       DWORD size, LPDWORD needed)
{
    if (Record("GetPrinterDriverDirectoryA", {Text(server), Text(environment), Number(level),
                                              Pointer(buffer), Number(size), Pointer(needed)}))
        return FALSE;
    if (machine.driverDirectoryUnterminated) {
        // A faulty spooler: as much of the path as the buffer holds, no NUL.
        memset(buffer, 'X', size);
        memcpy(buffer, machine.driverDirectory.data(),
               std::min<size_t>(size, machine.driverDirectory.size()));
        return TRUE;
    }
    DWORD length = static_cast<DWORD>(machine.driverDirectory.size() + 1);
    if (needed)
        *needed = length;
    if (size < length) {
        lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    memcpy(buffer, machine.driverDirectory.c_str(), length);
    return TRUE;
}

BOOL WINAPI AddPrinterDriverA(LPSTR server, DWORD level, LPBYTE info)
{
    if (Record("AddPrinterDriverA", {Text(server), Number(level)}))
        return FALSE;
    const DRIVER_INFO_3A *record = reinterpret_cast<const DRIVER_INFO_3A *>(info);
    Driver driver;
    driver.version = record->cVersion;
    driver.name = Text(record->pName);
    driver.environment = Text(record->pEnvironment);
    driver.driverPath = Text(record->pDriverPath);
    driver.dataFile = Text(record->pDataFile);
    driver.configFile = Text(record->pConfigFile);
    driver.helpFileNull = record->pHelpFile == NULL;
    driver.helpFile = Text(record->pHelpFile);
    driver.monitorNull = record->pMonitorName == NULL;
    driver.defaultDataType = Text(record->pDefaultDataType);
    for (const char *file = record->pDependentFiles; file && *file; file += strlen(file) + 1) {
        driver.dependentFiles.push_back(file);
        driver.dependentBytes.append(file, strlen(file) + 1);
    }
    if (record->pDependentFiles)
        driver.dependentBytes.push_back('\0');
    machine.drivers[driver.name] = driver;
    return TRUE;
}

HANDLE WINAPI AddPrinterA(LPSTR server, DWORD level, LPBYTE info)
{
    const PRINTER_INFO_2A *record = reinterpret_cast<const PRINTER_INFO_2A *>(info);
    if (Record("AddPrinterA", {Text(server), Number(level), Text(record->pPrinterName)}))
        return NULL;
    if (machine.printers.count(Text(record->pPrinterName))) {
        lastError = ERROR_PRINTER_ALREADY_EXISTS;
        return NULL;
    }
    if (machine.drivers.count(Text(record->pDriverName)) == 0) {
        lastError = ERROR_UNKNOWN_PRINTER_DRIVER;
        return NULL;
    }
    Printer printer;
    printer.name = Text(record->pPrinterName);
    printer.port = Text(record->pPortName);
    printer.driver = Text(record->pDriverName);
    printer.printProcessor = Text(record->pPrintProcessor);
    printer.datatype = Text(record->pDatatype);
    printer.added = *record; // pointers kept only to be compared with null
    machine.printers[printer.name] = printer;
    HANDLE handle = NewHandle();
    machine.openPrinters[handle] = printer.name;
    return handle;
}

BOOL WINAPI OpenPrinterA(LPSTR name, HANDLE *printer, LPPRINTER_DEFAULTSA defaults)
{
    if (Record("OpenPrinterA", {Text(name), Pointer(defaults)}))
        return FALSE;
    if (name == NULL || machine.printers.count(name) == 0) {
        lastError = ERROR_INVALID_PRINTER_NAME;
        return FALSE;
    }
    if (machine.openPrinterYieldsNull) {
        *printer = NULL;
        return TRUE;
    }
    *printer = NewHandle();
    machine.openPrinters[*printer] = machine.printers[name].name;
    return TRUE;
}

BOOL WINAPI GetPrinterA(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed)
{
    if (Record("GetPrinterA", {Number(level), Pointer(buffer), Number(size)})) {
        *needed = 0;
        return FALSE;
    }
    auto open = machine.openPrinters.find(printer);
    if (open == machine.openPrinters.end() || level != 2) {
        lastError =
            open == machine.openPrinters.end() ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    const Printer &p = machine.printers[open->second];
    // The record, then its strings, as the spooler lays them out.
    std::vector<const std::string *> strings = {&p.name, &p.port, &p.driver, &p.printProcessor,
                                                &p.datatype};
    DWORD total = sizeof(PRINTER_INFO_2A);
    for (const std::string *s : strings)
        total += static_cast<DWORD>(s->size() + 1);
    *needed = total;
    if (buffer == NULL || size < total) {
        lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    PRINTER_INFO_2A *info = reinterpret_cast<PRINTER_INFO_2A *>(buffer);
    memset(info, 0, sizeof *info);
    char *at = reinterpret_cast<char *>(buffer) + sizeof(PRINTER_INFO_2A);
    LPSTR *fields[] = {&info->pPrinterName, &info->pPortName, &info->pDriverName,
                       &info->pPrintProcessor, &info->pDatatype};
    for (size_t i = 0; i < strings.size(); ++i) {
        memcpy(at, strings[i]->c_str(), strings[i]->size() + 1);
        *fields[i] = at;
        at += strings[i]->size() + 1;
    }
    if (p.nullDriverName)
        info->pDriverName = NULL;
    if (p.nullPortName)
        info->pPortName = NULL;
    return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE printer)
{
    Record("ClosePrinter", {});
    if (machine.openPrinters.erase(printer) == 0) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI SetDefaultPrinterA(LPCSTR name)
{
    if (Record("SetDefaultPrinterA", {Text(name)}))
        return FALSE;
    if (name == NULL || machine.printers.count(name) == 0) {
        lastError = ERROR_INVALID_PRINTER_NAME;
        return FALSE;
    }
    machine.defaultPrinter = name;
    return TRUE;
}

} // namespace spooler

// KERNEL32's entries that not every supported Windows has, reached only
// through GetProcAddress.
namespace kernel {

BOOL WINAPI IsWow64Process(HANDLE process, PBOOL wow64)
{
    if (Record("IsWow64Process", {process == currentProcess ? "current" : "other"}))
        return FALSE;
    if (process != currentProcess) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    *wow64 = machine.wow64;
    return TRUE;
}

void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info)
{
    Record("GetNativeSystemInfo", {});
    memset(info, 0, sizeof *info);
    info->wProcessorArchitecture = machine.nativeArchitecture;
    info->dwNumberOfProcessors = 1;
}

} // namespace kernel

extern "C" {

DWORD WINAPI GetLastError(void)
{
    return lastError;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA version)
{
    if (Record("GetVersionExA", {Number(version->dwOSVersionInfoSize)}))
        return FALSE;
    if (version->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
        lastError = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    version->dwMajorVersion = machine.majorVersion;
    version->dwMinorVersion = machine.minorVersion;
    version->dwBuildNumber = 0;
    version->dwPlatformId = machine.platformId;
    version->szCSDVersion[0] = '\0';
    return TRUE;
}

void WINAPI GetLocalTime(LPSYSTEMTIME time)
{
    Record("GetLocalTime", {});
    *time = machine.clock;
}

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer)
{
    if (Record("GetTempPathA", {Number(size)}))
        return 0;
    return Answer(machine.tempPath, buffer, size);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    if (Record("GetWindowsDirectoryA", {Number(size)}))
        return 0;
    return Answer(machine.windowsDirectory, buffer, size);
}

DWORD WINAPI GetEnvironmentVariableA(LPCSTR name, LPSTR buffer, DWORD size)
{
    if (Record("GetEnvironmentVariableA", {Text(name), Number(size)}))
        return 0;
    auto found = machine.environment.find(name);
    if (found == machine.environment.end()) {
        lastError = ERROR_ENVVAR_NOT_FOUND;
        return 0;
    }
    return Answer(found->second, buffer, size);
}

BOOL WINAPI SetFileAttributesA(LPCSTR path, DWORD attributes)
{
    if (Record("SetFileAttributesA", {Text(path), Number(attributes)}))
        return FALSE;
    if (strlen(path) >= MaxPath) {
        lastError = ERROR_FILENAME_EXCED_RANGE;
        return FALSE;
    }
    std::string host = HostPath(path);
    if (!fs::is_regular_file(host)) {
        lastError = ParentExists(host) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    machine.attributes[host] = attributes;
    return TRUE;
}

BOOL WINAPI CopyFileA(LPCSTR source, LPCSTR destination, BOOL failIfExists)
{
    if (Record("CopyFileA", {Text(source), Text(destination), Number(failIfExists)}))
        return FALSE;
    if (strlen(source) >= MaxPath || strlen(destination) >= MaxPath) {
        lastError = ERROR_FILENAME_EXCED_RANGE;
        return FALSE;
    }
    std::string from = HostPath(source), to = HostPath(destination);
    if (!fs::is_regular_file(from)) {
        lastError = ParentExists(from) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    if (!ParentExists(to)) {
        lastError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    if (fs::exists(to) && (failIfExists || (machine.attributes[to] & FILE_ATTRIBUTE_READONLY))) {
        lastError = failIfExists ? 80 /* ERROR_FILE_EXISTS */ : ERROR_ACCESS_DENIED;
        return FALSE;
    }
    std::error_code failed;
    if (fs::equivalent(from, to, failed) ||
        !fs::copy_file(from, to, fs::copy_options::overwrite_existing, failed)) {
        lastError = ERROR_SHARING_VIOLATION; // a file cannot be copied onto itself
        return FALSE;
    }
    machine.attributes[to] = machine.attributes[from]; // CopyFile keeps the attributes
    return TRUE;
}

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile)
{
    if (Record("CreateFileA", {Text(path), Number(access), Number(share), Pointer(security),
                               Number(disposition), Number(flags), Pointer(templateFile)}))
        return INVALID_HANDLE_VALUE;
    std::string host = HostPath(path);
    if (strlen(path) >= MaxPath || !ParentExists(host)) {
        lastError = strlen(path) >= MaxPath ? ERROR_FILENAME_EXCED_RANGE : ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    bool exists = fs::is_regular_file(host);
    if (disposition == OPEN_EXISTING && !exists) {
        lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    if (exists && (access & GENERIC_WRITE) &&
        (machine.attributes[host] & FILE_ATTRIBUTE_READONLY)) {
        lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    int mode = (access & GENERIC_WRITE) ? O_RDWR | O_CREAT : O_RDONLY;
    if (disposition == CREATE_ALWAYS)
        mode |= O_TRUNC;
    int fd = open(host.c_str(), mode, 0644);
    if (fd < 0) {
        lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    if (!exists) {
        // A new file takes the attributes it is created with (the low word of
        // the flags); "normal" alone gives an ordinary file, which Windows
        // marks for archiving.
        DWORD attributes = flags & 0xFFFF & ~static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL);
        machine.attributes[host] = attributes ? attributes : FILE_ATTRIBUTE_ARCHIVE;
    }
    HANDLE handle = NewHandle();
    machine.openFiles[handle] = fd;
    return handle;
}

DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method)
{
    if (Record("SetFilePointer", {Number(distance), Pointer(distanceHigh), Number(method)}))
        return INVALID_SET_FILE_POINTER;
    auto found = machine.openFiles.find(file);
    if (found == machine.openFiles.end()) {
        lastError = ERROR_INVALID_HANDLE;
        return INVALID_SET_FILE_POINTER;
    }
    off_t at = lseek(found->second, distance, method == FILE_END ? SEEK_END : SEEK_SET);
    return static_cast<DWORD>(at);
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written,
                      LPOVERLAPPED overlapped)
{
    if (Record("WriteFile", {std::string(static_cast<const char *>(data), size), Number(size),
                             Pointer(overlapped)}))
        return FALSE;
    auto found = machine.openFiles.find(file);
    if (found == machine.openFiles.end()) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    ssize_t done = write(found->second, data, size);
    if (written)
        *written = done < 0 ? 0 : static_cast<DWORD>(done);
    return done == static_cast<ssize_t>(size);
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    Record("CloseHandle", {});
    auto found = machine.openFiles.find(handle);
    if (found == machine.openFiles.end()) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    close(found->second);
    machine.openFiles.erase(found);
    return TRUE;
}

BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    if (Record("WritePrivateProfileStringA", {Text(section), Text(key), Text(value), Text(file)}))
        return FALSE;
    machine.privateProfiles[file][section][key] = value;
    return TRUE;
}

BOOL WINAPI WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value)
{
    if (Record("WriteProfileStringA", {Text(section), Text(key), Text(value)}))
        return FALSE;
    machine.systemProfile[section][key] = value;
    // As on NT, win.ini's device entry names the default printer.
    if (strcasecmp(section, "windows") == 0 && strcasecmp(key, "device") == 0) {
        std::string device = value;
        machine.defaultPrinter = device.substr(0, device.find(','));
    }
    return TRUE;
}

HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T size)
{
    if (Record("GlobalAlloc", {Number(flags), Number(size)}))
        return NULL;
    void *block = malloc(size ? size : 1);
    if (flags & GMEM_ZEROINIT)
        memset(block, 0, size);
    else
        memset(block, 0xCD, size);
    machine.globalBlocks[block] = size;
    return block;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL block)
{
    Record("GlobalFree", {});
    auto found = machine.globalBlocks.find(block);
    if (found == machine.globalBlocks.end()) {
        lastError = ERROR_INVALID_HANDLE;
        return block;
    }
    free(block);
    machine.globalBlocks.erase(found);
    return NULL;
}

UINT WINAPI GetSystemDirectoryA(LPSTR buffer, UINT size)
{
    if (Record("GetSystemDirectoryA", {Number(size)}))
        return 0;
    return Answer(machine.systemDirectory, buffer, size);
}

HMODULE WINAPI LoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags)
{
    if (Record("LoadLibraryExA", {Text(path), Pointer(file), Number(flags)}))
        return NULL;
    // Only the system's own spooler is there: any other name or folder finds nothing.
    if (path == NULL || !machine.spoolerInstalled ||
        strcasecmp(path, (machine.systemDirectory + "\\winspool.drv").c_str()) != 0) {
        lastError = ERROR_MOD_NOT_FOUND;
        return NULL;
    }
    return spoolerModule;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name)
{
    if (Record("GetModuleHandleA", {Text(name)}))
        return NULL;
    // Only KERNEL32 is loaded in every process; the spooler is not asked for here.
    if (name != NULL &&
        (strcasecmp(name, "kernel32.dll") == 0 || strcasecmp(name, "kernel32") == 0))
        return kernelModule;
    lastError = ERROR_MOD_NOT_FOUND;
    return NULL;
}

HANDLE WINAPI GetCurrentProcess(void)
{
    Record("GetCurrentProcess", {});
    return currentProcess;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name)
{
    bool ordinal = reinterpret_cast<uintptr_t>(name) < 0x10000;
    std::string moduleName = module == spoolerModule  ? "winspool.drv"
                             : module == kernelModule ? "kernel32.dll"
                                                      : Pointer(module);
    if (Record(
            "GetProcAddress",
            {moduleName, ordinal ? "#" + Number(reinterpret_cast<uintptr_t>(name)) : Text(name)}))
        return NULL;
    typedef void (*Entry)(void);
    // Each module's entries by name, and those the machine is told it lacks.
    static const std::map<std::string, Entry> spoolerEntries = {
        {"GetPrinterDriverDirectoryA",
         reinterpret_cast<Entry>(spooler::GetPrinterDriverDirectoryA)},
        {"AddPrinterDriverA", reinterpret_cast<Entry>(spooler::AddPrinterDriverA)},
        {"AddPrinterA", reinterpret_cast<Entry>(spooler::AddPrinterA)},
        {"OpenPrinterA", reinterpret_cast<Entry>(spooler::OpenPrinterA)},
        {"GetPrinterA", reinterpret_cast<Entry>(spooler::GetPrinterA)},
        {"ClosePrinter", reinterpret_cast<Entry>(spooler::ClosePrinter)},
        {"SetDefaultPrinterA", reinterpret_cast<Entry>(spooler::SetDefaultPrinterA)},
    };
    static const std::map<std::string, Entry> kernelEntries = {
        {"IsWow64Process", reinterpret_cast<Entry>(kernel::IsWow64Process)},
        {"GetNativeSystemInfo", reinterpret_cast<Entry>(kernel::GetNativeSystemInfo)},
    };
    const std::map<std::string, Entry> *entries = module == spoolerModule  ? &spoolerEntries
                                                  : module == kernelModule ? &kernelEntries
                                                                           : NULL;
    const std::set<std::string> &missing =
        module == spoolerModule ? machine.missingSpoolerEntries : machine.missingKernelEntries;
    if (entries == NULL || ordinal || entries->count(name) == 0 || missing.count(name)) {
        lastError = ERROR_PROC_NOT_FOUND;
        return NULL;
    }
    return reinterpret_cast<FARPROC>(entries->at(name));
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    // A box that cannot be made is never shown, and the call returns 0.
    if (Record("MessageBoxA", {Pointer(owner), Text(text), Text(caption), Number(type)}))
        return 0;
    machine.boxes.push_back({owner, Text(text), Text(caption), type});
    if (!machine.answers.empty()) {
        int answer = machine.answers.front();
        machine.answers.erase(machine.answers.begin());
        return answer;
    }
    if ((type & 0xF) == MB_OK)
        return IDOK;
    ++machine.unansweredBoxes;
    return 0;
}

LRESULT WINAPI SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT flags, UINT timeout, PDWORD_PTR result)
{
    if (Record("SendMessageTimeoutA", {Number(reinterpret_cast<uintptr_t>(window)), Number(message),
                                       Number(wParam), Number(static_cast<uint64_t>(lParam)),
                                       Number(flags), Number(timeout), Pointer(result)}))
        return 0;
    return 1;
}

LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                            REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                            LPDWORD disposition)
{
    LONG error = RecordedError("RegCreateKeyExA",
                               {key == HKEY_CURRENT_USER ? "HKCU" : "other", Text(subKey),
                                Number(reserved), Text(keyClass), Number(options), Number(access),
                                Pointer(security), Pointer(result), Pointer(disposition)});
    if (error != ERROR_SUCCESS)
        return error;
    std::string path = std::string(key == HKEY_CURRENT_USER ? "HKCU" : "other") + "\\" + subKey;
    bool existed = machine.registry.count(path) != 0;
    machine.registry[path];
    HKEY handle = reinterpret_cast<HKEY>(NewHandle());
    machine.openKeys[handle] = path;
    *result = handle;
    if (disposition)
        *disposition = existed ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data,
                           DWORD size)
{
    std::string bytes = data ? std::string(reinterpret_cast<const char *>(data), size) : "";
    LONG error = RecordedError("RegSetValueExA", {Pointer(key), Text(name), Number(reserved),
                                                  Number(type), bytes, Number(size)});
    if (error != ERROR_SUCCESS)
        return error;
    auto found = machine.openKeys.find(key);
    if (found == machine.openKeys.end())
        return ERROR_INVALID_HANDLE;
    machine.registry[found->second][name] = {type, bytes};
    return ERROR_SUCCESS;
}

} // extern "C"
