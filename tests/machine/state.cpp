// What the machine holds, read back after a run: files and folders, the
// spooler's driver and printer, the default printer and the registry.
#include "machine.h"

#include <winspool.h>

#include <string.h>

#include <algorithm>

std::set<std::string> FolderEntries(const std::string &folder)
{
    std::set<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(Wide(folder + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.insert(Utf8(entry.cFileName));
    while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

static void FindFilesBelow(const std::string &folder, const char *name,
                           std::vector<std::string> *found)
{
    for (const std::string &entry : FolderEntries(folder)) {
        std::string path = folder + "\\" + entry;
        DWORD attributes = GetFileAttributesW(Wide(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            if (entry != "." && entry != "..")
                FindFilesBelow(path, name, found);
        } else if (Lower(entry) == Lower(name)) {
            found->push_back(path);
        }
    }
}

std::vector<std::string> FindFiles(const std::string &folder, const char *name)
{
    typedef BOOL(WINAPI * RedirectionEntry)(PVOID *);
    // XP x64 and Server 2003 SP1 on; failing outside WOW64.
    auto disable = SystemEntry<RedirectionEntry>("kernel32.dll", "Wow64DisableWow64FsRedirection");
    auto revert = SystemEntry<RedirectionEntry>("kernel32.dll", "Wow64RevertWow64FsRedirection");
    std::vector<std::string> found;
    PVOID redirection = NULL;
    BOOL redirected = disable != NULL && revert != NULL && disable(&redirection);
    FindFilesBelow(folder, name, &found);
    if (redirected)
        revert(&redirection);
    return found;
}

std::vector<std::string> OtherPrograms(const std::string &folder, const std::string &beside)
{
    std::vector<std::string> programs;
    for (const std::string &name : FolderEntries(folder)) {
        std::string lower = Lower(name);
        if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".exe") == 0 &&
            lower != Lower(beside) && lower != Lower(expected::ProgramName))
            programs.push_back(folder + "\\" + name);
    }
    return programs;
}

bool Exists(const std::string &path)
{
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CopyTo(const std::string &from, const std::string &to)
{
    return CopyFileW(Wide(from).c_str(), Wide(to).c_str(), FALSE);
}

bool ReadWholeFile(const std::string &path, std::string *contents)
{
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, 0, NULL);
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
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
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
    wchar_t directory[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, directory);
    return Utf8(directory);
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

bool IsPrivateCopy(const std::string &path)
{
    std::string prefix = Lower(LongForm(TempDirectory()) + expected::PrivateFolderPrefix);
    std::string name = Lower(std::string("\\") + expected::ProgramName);
    std::string lower = Lower(path);
    if (lower.size() != prefix.size() + 16 + name.size() ||
        lower.compare(0, prefix.size(), prefix) ||
        lower.compare(prefix.size() + 16, name.size(), name))
        return false;
    return lower.find_first_not_of("0123456789abcdef", prefix.size()) == prefix.size() + 16;
}

std::string PendingRemovals()
{
    RegistryValue pending =
        ReadValue(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                  "PendingFileRenameOperations");
    return Lower(pending.data);
}

std::string IniBytes()
{
    std::string bytes;
    if (!ReadWholeFile(WindowsDirectory() + "\\" + expected::IniName, &bytes))
        return "(no file)";
    return bytes;
}

// The spooler's answer where it has one (2000 and later), else the printer
// that win.ini's device entry names, as NT 4.0 keeps the default.
std::string DefaultPrinter()
{
    typedef BOOL(WINAPI * DefaultEntry)(LPSTR, LPDWORD);
    auto query = SystemEntry<DefaultEntry>("winspool.drv", "GetDefaultPrinterA");
    char name[512] = "";
    DWORD size = sizeof name;
    if (query != NULL)
        return query(name, &size) ? name : "";
    std::string device = DeviceEntry();
    return device.substr(0, device.find(','));
}

std::string DeviceEntry()
{
    char device[512] = "";
    GetProfileStringA("windows", "device", "", device, sizeof device);
    return device;
}

// Strings in UTF-8, as the wide call gives them.
RegistryValue ReadValue(HKEY root, const char *keyName, const char *name)
{
    RegistryValue value;
    HKEY key;
    if (RegOpenKeyExA(root, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    value.keyFound = true;
    wchar_t data[2048];
    DWORD size = sizeof data;
    if (RegQueryValueExW(key, Wide(name).c_str(), NULL, &value.type, reinterpret_cast<BYTE *>(data),
                         &size) == ERROR_SUCCESS) {
        value.found = true;
        bool text =
            value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
        value.data = text ? Utf8(std::wstring(data, size / sizeof data[0]))
                          : std::string(reinterpret_cast<const char *>(data), size);
    }
    RegCloseKey(key);
    return value;
}
