// The scripted machine behind the host stand-in of the Win32 calls.
#include "standin.h"

#include <winternl.h>

#include "expected.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <type_traits>

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
std::map<HANDLE, std::string> filePaths; // each open file's host path
std::map<std::string, int> callCounts;
DWORD lastError;
uintptr_t nextHandle = 0x1000;
HMODULE const spoolerModule = reinterpret_cast<HMODULE>(0x73000000);
HMODULE const user32Module = reinterpret_cast<HMODULE>(0x77d40000);
HMODULE const advapi32Module = reinterpret_cast<HMODULE>(0x77dd0000);
HMODULE const kernelModule = reinterpret_cast<HMODULE>(0x7c800000);
HMODULE const ntdllModule = reinterpret_cast<HMODULE>(0x7c900000);

// The system libraries LoadLibraryExA finds in the system directory.
const std::map<std::string, HMODULE> SystemLibraries = {{"winspool.drv", spoolerModule},
                                                        {"user32.dll", user32Module},
                                                        {"advapi32.dll", advapi32Module}};
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

// A failing call's ending: the last error set, FALSE returned.
BOOL Refuse(DWORD error)
{
    lastError = error;
    return FALSE;
}

LONG RecordedError(const std::string &function, std::vector<std::string> args)
{
    return Record(function, std::move(args)) ? static_cast<LONG>(lastError) : ERROR_SUCCESS;
}

HANDLE NewHandle()
{
    return reinterpret_cast<HANDLE>(nextHandle++);
}

// Text between the machine's UTF-8 and the forms the calls pass: the ANSI
// code page (Latin-1 here: one byte a character, '?' for one it lacks, as
// Windows' conversion gives) and UTF-16 (the machine's names are all in its
// first plane, one unit a character).
std::u32string CodePoints(const std::string &utf8)
{
    std::u32string points;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char lead = static_cast<unsigned char>(utf8[i++]);
        int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        char32_t point = more ? lead & (0x3F >> more) : lead;
        for (; more > 0 && i < utf8.size(); --more)
            point = point << 6 | (static_cast<unsigned char>(utf8[i++]) & 0x3F);
        points.push_back(point);
    }
    return points;
}

template <typename C> std::basic_string<C> Encoded(const std::string &utf8)
{
    std::basic_string<C> text;
    for (char32_t point : CodePoints(utf8))
        text += static_cast<C>(point > (sizeof(C) == 1 ? 0xFFu : 0xFFFFu) ? U'?' : point);
    return text;
}

// A call's text in the machine's UTF-8; "(null)" for a null pointer.
template <typename C> std::string Decoded(const C *text)
{
    if (text == NULL)
        return "(null)";
    std::string utf8;
    for (; *text != 0; ++text) {
        char32_t point = static_cast<std::make_unsigned_t<C>>(*text);
        int more = point < 0x80 ? 0 : point < 0x800 ? 1 : 2;
        const unsigned char leads[] = {0, 0xC0, 0xE0};
        utf8 += static_cast<char>(leads[more] | point >> (6 * more));
        for (int shift = 6 * (more - 1); shift >= 0; shift -= 6)
            utf8 += static_cast<char>(0x80 | (point >> shift & 0x3F));
    }
    return utf8;
}

// Copies text into a caller's buffer of size characters with the usual
// length protocol: the length without the NUL when it fits, else the size
// needed with the NUL.
template <typename C> DWORD Answer(const std::string &text, C *buffer, DWORD size)
{
    std::basic_string<C> encoded = Encoded<C>(text);
    if (encoded.size() + 1 > size)
        return static_cast<DWORD>(encoded.size() + 1);
    std::copy(encoded.c_str(), encoded.c_str() + encoded.size() + 1, buffer);
    return static_cast<DWORD>(encoded.size());
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
    filePaths.clear();
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
    MapImage(SmallProgram(false));
    PutFile(machine.modulePath, machine.programFile);
    machine.startup.cb = sizeof machine.startup;
    machine.startup.dwFlags = STARTF_USESHOWWINDOW;
    machine.startup.wShowWindow = 1; // SW_SHOWNORMAL, as a double click gives
}

void Fail(const std::string &function, DWORD error, int nth)
{
    faults.push_back({function, error, nth});
}

void ForgetCalls()
{
    machine.calls.clear();
    callCounts.clear();
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
    // A path in the forms that take it as it stands (\\?\C:\..., \\.\C:\...) is
    // the same path.
    bool asItStands =
        windowsPath.compare(0, 4, "\\\\?\\") == 0 || windowsPath.compare(0, 4, "\\\\.\\") == 0;
    std::string path = asItStands ? windowsPath.substr(4) : windowsPath;
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
        auto longName = machine.shortNames.find(part);
        parts.push_back(longName == machine.shortNames.end() ? part : longName->second);
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

bool FolderExists(const std::string &windowsPath)
{
    return fs::is_directory(HostPath(windowsPath));
}

std::vector<std::string> FolderEntries(const std::string &windowsPath)
{
    std::vector<std::string> names;
    for (const fs::directory_entry &entry : fs::directory_iterator(HostPath(windowsPath)))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
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

// A folder held by a handle opened for data or delete access without
// FILE_SHARE_DELETE: NT records no share mode for any other open.
static bool Held(const std::string &host)
{
    const DWORD DataOrDelete = FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_EXECUTE |
                               DELETE | GENERIC_READ | GENERIC_WRITE;
    for (const auto &open : machine.openFolders) {
        if (open.second.host == host && (open.second.access & DataOrDelete) &&
            !(open.second.share & FILE_SHARE_DELETE))
            return true;
    }
    return false;
}

bool Rename(const std::string &from, const std::string &to)
{
    std::string host = HostPath(from);
    std::error_code failed;
    if (Held(host))
        return false;
    fs::rename(host, HostPath(to), failed);
    return !failed;
}

// A junction is a host symbolic link to the target folder: opened, listed or
// written through, it leads there; removed, it goes itself.
void MakeJunction(const std::string &at, const std::string &target)
{
    fs::create_directory_symlink(HostPath(target), HostPath(at));
}

void MakeHardLink(const std::string &at, const std::string &existing)
{
    fs::create_hard_link(HostPath(existing), HostPath(at));
    machine.attributes[HostPath(at)] = machine.attributes[HostPath(existing)];
}

// A name that is there in any form: a file, a folder or a junction, even one
// whose folder is gone.
static bool NameTaken(const std::string &host)
{
    return fs::exists(fs::symlink_status(host));
}

// What a folder is, whatever its spelling: its volume (the drive's letter,
// which follows the machine's root in the host path) and its index there.
static Machine::OpenFolder Identity(const std::string &host, const struct stat &status,
                                    DWORD access, DWORD share)
{
    auto index = machine.fileIndexes.find(host);
    return {host, access, share, static_cast<uint64_t>(host[machine.root.size() + 1]),
            index != machine.fileIndexes.end() ? index->second
                                               : static_cast<uint64_t>(status.st_ino)};
}

namespace {

template <typename T> void Put(std::string &bytes, size_t at, const T &value)
{
    memcpy(&bytes[at], &value, sizeof value);
}
template <typename T> T Get(const std::string &bytes, size_t at)
{
    T value;
    memcpy(&value, &bytes[at], sizeof value);
    return value;
}

const IMAGE_NT_HEADERS32 &Headers(const std::string &image)
{
    return *reinterpret_cast<const IMAGE_NT_HEADERS32 *>(
        &image[Get<LONG>(image, offsetof(IMAGE_DOS_HEADER, e_lfanew))]);
}

size_t DirectoryAt(const std::string &image, int entry)
{
    return static_cast<size_t>(Get<LONG>(image, offsetof(IMAGE_DOS_HEADER, e_lfanew))) +
           offsetof(IMAGE_NT_HEADERS32, OptionalHeader.DataDirectory) +
           entry * sizeof(IMAGE_DATA_DIRECTORY);
}

} // namespace

std::string SmallProgram(bool withSignature)
{
    // The headers, then .text, .idata, .bss and .rsrc, a page each in memory
    // and 512 bytes each in the file (.bss none).
    const DWORD FileAlignment = 0x200, Page = 0x1000, NtAt = 0x40;
    std::string file(4 * FileAlignment, '\0');
    Put<WORD>(file, 0, 0x5A4D); // MZ
    Put<LONG>(file, offsetof(IMAGE_DOS_HEADER, e_lfanew), NtAt);
    IMAGE_NT_HEADERS32 nt = {};
    nt.Signature = 0x4550; // PE
    nt.FileHeader = {0x14C, 4, 0, 0, 0, sizeof(IMAGE_OPTIONAL_HEADER32), 0x30F};
    IMAGE_OPTIONAL_HEADER32 &optional = nt.OptionalHeader;
    optional.Magic = 0x10B;
    optional.ImageBase = 0x400000;
    optional.SectionAlignment = Page;
    optional.FileAlignment = FileAlignment;
    optional.SizeOfImage = 5 * Page;
    optional.SizeOfHeaders = FileAlignment;
    optional.CheckSum = 0xBE5A;
    optional.Subsystem = 2;
    optional.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT] = {2 * Page, 2 * 20};
    optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE] = {4 * Page, 0x30};
    optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT] = {2 * Page + 0x60, 12};
    Put(file, NtAt, nt);
    // Name, mapped size, address, stored size, where stored.
    const IMAGE_SECTION_HEADER sections[] = {
        {".text", {0x1A0}, Page, FileAlignment, FileAlignment, 0, 0, 0, 0, 0x60000020},
        {".idata", {0x90}, 2 * Page, FileAlignment, 2 * FileAlignment, 0, 0, 0, 0, 0xC0000040},
        {".bss", {0x100}, 3 * Page, 0, 0, 0, 0, 0, 0, 0xC0000080},
        // The last section's stored size need not be aligned: the file is.
        {".rsrc", {0x30}, 4 * Page, 0x30, 3 * FileAlignment, 0, 0, 0, 0, 0xC0000040},
    };
    for (size_t i = 0; i < 4; ++i)
        Put(file, NtAt + sizeof nt + i * sizeof(IMAGE_SECTION_HEADER), sections[i]);
    for (DWORD i = 0; i < 0x1A0; ++i)
        file[FileAlignment + i] = static_cast<char>(0x90 + i * 7);
    // KERNEL32's imports: the descriptor, the lookup table, two hint and
    // name entries, the address table as the file holds it (the lookup
    // table's entries), the library's name.
    const size_t idata = 2 * FileAlignment;
    const DWORD rva = 2 * Page;
    Put(file, idata, IMAGE_IMPORT_DESCRIPTOR{{rva + 0x30}, 0, 0, rva + 0x80, rva + 0x60});
    const DWORD lookup[] = {rva + 0x40, rva + 0x50, 0};
    Put(file, idata + 0x30, lookup);
    memcpy(&file[idata + 0x42], "CloseHandle", 11);
    memcpy(&file[idata + 0x52], "WriteFile", 9);
    Put(file, idata + 0x60, lookup);
    memcpy(&file[idata + 0x80], "KERNEL32.dll", 12);
    memcpy(&file[3 * FileAlignment], "the program's resources", 23);
    if (!withSignature)
        return file;
    // Authenticode's certificate table, which the checksum then covers too.
    std::string table(0x40, '\x5A');
    Put<DWORD>(table, 0, static_cast<DWORD>(table.size()));
    Put(file, DirectoryAt(file, IMAGE_DIRECTORY_ENTRY_SECURITY),
        IMAGE_DATA_DIRECTORY{static_cast<DWORD>(file.size()), static_cast<DWORD>(table.size())});
    Put<DWORD>(file, NtAt + offsetof(IMAGE_NT_HEADERS32, OptionalHeader.CheckSum), 0xC0DE);
    return file + table;
}

void MapImage(const std::string &file)
{
    machine.programFile = file;
    const IMAGE_NT_HEADERS32 &nt = Headers(file);
    std::string image(nt.OptionalHeader.SizeOfImage, '\0');
    const DWORD Page = nt.OptionalHeader.SectionAlignment;
    image.replace(0, nt.OptionalHeader.SizeOfHeaders, file, 0, nt.OptionalHeader.SizeOfHeaders);
    const IMAGE_SECTION_HEADER *section = reinterpret_cast<const IMAGE_SECTION_HEADER *>(
        reinterpret_cast<const char *>(&nt.OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader);
    for (WORD i = 0; i < nt.FileHeader.NumberOfSections; ++i, ++section) {
        DWORD mapped = section->Misc.VirtualSize, stored = section->SizeOfRawData;
        image.replace(section->VirtualAddress, std::min(mapped, stored), file,
                      section->PointerToRawData, std::min(mapped, stored));
        // Data the program writes where the file stores none, and, past the
        // mapped size to the page's end, bytes that are not the file's.
        if (stored == 0)
            image.replace(section->VirtualAddress, mapped, mapped, '\xAA');
        DWORD end = (section->VirtualAddress + mapped + Page - 1) / Page * Page;
        image.replace(section->VirtualAddress + mapped, end - section->VirtualAddress - mapped,
                      end - section->VirtualAddress - mapped, '\xCC');
    }
    // The loader fills the import address table in.
    const IMAGE_DATA_DIRECTORY &addresses =
        nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    for (DWORD at = addresses.VirtualAddress; at + 4 <= addresses.VirtualAddress + addresses.Size;
         at += 4) {
        if (Get<DWORD>(image, at) != 0)
            Put<DWORD>(image, at, 0x7C800000 + at);
    }
    machine.image = image;
}

uint32_t Crc32(const std::string &bytes)
{
    static uint32_t table[256];
    for (uint32_t n = 0; table[255] == 0 && n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes)
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
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
    if (size < length)
        return Refuse(ERROR_INSUFFICIENT_BUFFER);
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
    if (name == NULL || machine.printers.count(name) == 0)
        return Refuse(ERROR_INVALID_PRINTER_NAME);
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
    if (buffer == NULL || size < total)
        return Refuse(ERROR_INSUFFICIENT_BUFFER);
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
    if (machine.openPrinters.erase(printer) == 0)
        return Refuse(ERROR_INVALID_HANDLE);
    return TRUE;
}

BOOL WINAPI SetDefaultPrinterA(LPCSTR name)
{
    if (Record("SetDefaultPrinterA", {Text(name)}))
        return FALSE;
    if (name == NULL || machine.printers.count(name) == 0)
        return Refuse(ERROR_INVALID_PRINTER_NAME);
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
    if (process != currentProcess)
        return Refuse(ERROR_INVALID_HANDLE);
    *wow64 = machine.wow64;
    return TRUE;
}

// XP SP1 and later: "" takes the current directory out of the DLL search.
BOOL WINAPI SetDllDirectoryA(LPCSTR directory)
{
    return !Record("SetDllDirectoryA", {Text(directory)});
}

void WINAPI GetNativeSystemInfo(LPSYSTEM_INFO info)
{
    Record("GetNativeSystemInfo", {});
    memset(info, 0, sizeof *info);
    info->wProcessorArchitecture = machine.nativeArchitecture;
    info->dwNumberOfProcessors = 1;
}

} // namespace kernel

// USER32's and ADVAPI32's entries, reached only through GetProcAddress, as
// the installer binds them.
namespace user32 {

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

} // namespace user32

namespace advapi32 {

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

} // namespace advapi32

// What NTDLL's security calls build: ACLs as Windows lays them out, the
// header, then each entry's header, its access mask and its SID.
namespace security {

size_t SidLength(const void *sid)
{
    return 8 + 4 * static_cast<const BYTE *>(sid)[1];
}

std::string SidText(const void *sid)
{
    const BYTE *bytes = static_cast<const BYTE *>(sid);
    std::string text = "S-" + Number(bytes[0]) + "-" + Number(bytes[7]);
    for (int i = 0; i < bytes[1]; ++i) {
        DWORD part;
        memcpy(&part, bytes + 8 + 4 * i, 4);
        text += "-" + Number(part);
    }
    return text;
}

BYTE *AceAt(PACL acl, DWORD index)
{
    BYTE *at = reinterpret_cast<BYTE *>(acl) + sizeof(ACL);
    for (DWORD i = 0; i < index; ++i)
        at += reinterpret_cast<ACE_HEADER *>(at)->AceSize;
    return at;
}

// How a folder made with these security attributes is kept (Machine::folderAccess).
std::vector<std::string> DescribeAccess(const void *descriptor)
{
    if (descriptor == NULL)
        return {"default"};
    const SECURITY_DESCRIPTOR *sd = static_cast<const SECURITY_DESCRIPTOR *>(descriptor);
    std::vector<std::string> lines = {(sd->Control & SE_DACL_PROTECTED) ? "protected"
                                                                        : "inheriting"};
    for (DWORD i = 0; sd->Dacl != NULL && i < sd->Dacl->AceCount; ++i) {
        const BYTE *ace = AceAt(sd->Dacl, i);
        DWORD mask;
        memcpy(&mask, ace + sizeof(ACE_HEADER), sizeof mask);
        char hex[16];
        snprintf(hex, sizeof hex, "0x%x", mask);
        lines.push_back(SidText(ace + sizeof(ACE_HEADER) + sizeof mask) + " " + hex + " " +
                        Number(reinterpret_cast<const ACE_HEADER *>(ace)->AceFlags));
    }
    return lines;
}

} // namespace security

// KERNEL32's calls on files, folders and processes. Those the installer makes
// in both forms have one implementation, reached by the ANSI form and the
// wide one with the names as each passes them; the machine keeps UTF-8.
namespace kernel {

template <typename C> size_t Units(const C *text)
{
    return std::char_traits<C>::length(text);
}

// A query of one of the machine's paths, recorded with the buffer's size.
template <typename C>
DWORD PathQuery(const char *function, const std::string &path, C *buffer, DWORD size)
{
    if (Record(function, {Number(size)}))
        return 0;
    return Answer(path, buffer, size);
}

template <typename C> void StartupInfo(const char *function, C *startup)
{
    Record(function, {});
    // The same layout in both forms; the machine's start-up strings are null.
    memcpy(static_cast<void *>(startup), &machine.startup, sizeof *startup);
    startup->lpReserved = startup->lpDesktop = startup->lpTitle = NULL;
}

template <typename C> BOOL SetAttributes(const char *function, const C *path, DWORD attributes)
{
    if (Record(function, {Decoded(path), Number(attributes)}))
        return FALSE;
    if (Units(path) >= MaxPath)
        return Refuse(ERROR_FILENAME_EXCED_RANGE);
    std::string host = HostPath(Decoded(path));
    if (!fs::is_regular_file(host))
        return Refuse(ParentExists(host) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    machine.attributes[host] = attributes;
    return TRUE;
}

template <typename C>
BOOL Copy(const char *function, const C *source, const C *destination, BOOL failIfExists)
{
    if (Record(function, {Decoded(source), Decoded(destination), Number(failIfExists)}))
        return FALSE;
    if (Units(source) >= MaxPath || Units(destination) >= MaxPath)
        return Refuse(ERROR_FILENAME_EXCED_RANGE);
    std::string from = HostPath(Decoded(source)), to = HostPath(Decoded(destination));
    if (fs::is_directory(from))
        return Refuse(ERROR_ACCESS_DENIED); // a folder is no file to copy
    if (!fs::is_regular_file(from))
        return Refuse(ParentExists(from) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    if (!ParentExists(to))
        return Refuse(ERROR_PATH_NOT_FOUND);
    if (fs::exists(to) && (failIfExists || (machine.attributes[to] & FILE_ATTRIBUTE_READONLY)))
        return Refuse(failIfExists ? 80 /* ERROR_FILE_EXISTS */ : ERROR_ACCESS_DENIED);
    std::error_code failed;
    if (fs::equivalent(from, to, failed) ||
        !fs::copy_file(from, to, fs::copy_options::overwrite_existing, failed))
        return Refuse(ERROR_SHARING_VIOLATION);        // a file cannot be copied onto itself
    machine.attributes[to] = machine.attributes[from]; // CopyFile keeps the attributes
    if (machine.meanwhile)
        machine.meanwhile(function);
    return TRUE;
}

// Opened to append alone (FILE_APPEND_DATA without FILE_WRITE_DATA), every
// write goes to the end of the file; GENERIC_WRITE writes where the file
// pointer stands.
template <typename C>
HANDLE Create(const char *function, const C *path, DWORD access, DWORD share,
              LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags, HANDLE templateFile)
{
    if (Record(function, {Decoded(path), Number(access), Number(share), Pointer(security),
                          Number(disposition), Number(flags), Pointer(templateFile)}))
        return INVALID_HANDLE_VALUE;
    std::string host = HostPath(Decoded(path));
    if (Units(path) >= MaxPath || !ParentExists(host)) {
        lastError = Units(path) >= MaxPath ? ERROR_FILENAME_EXCED_RANGE : ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    // A folder is opened only for backup semantics, and only where no other
    // handle's sharing refuses it.
    if (fs::is_directory(host)) {
        struct stat status;
        if (!(flags & FILE_FLAG_BACKUP_SEMANTICS) || stat(host.c_str(), &status) != 0) {
            lastError = ERROR_ACCESS_DENIED;
            return INVALID_HANDLE_VALUE;
        }
        HANDLE handle = NewHandle();
        machine.openFolders[handle] = Identity(host, status, access, share);
        return handle;
    }
    bool exists = fs::is_regular_file(host);
    if (disposition == OPEN_EXISTING && !exists) {
        lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    if (disposition == CREATE_NEW && NameTaken(host)) {
        lastError = ERROR_FILE_EXISTS;
        return INVALID_HANDLE_VALUE;
    }
    bool writes = (access & (GENERIC_WRITE | FILE_WRITE_DATA)) != 0;
    bool appends = !writes && (access & FILE_APPEND_DATA) != 0;
    if (exists && (writes || appends) && (machine.attributes[host] & FILE_ATTRIBUTE_READONLY)) {
        lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    int mode = writes ? O_RDWR | O_CREAT : appends ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY;
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
    filePaths[handle] = host;
    return handle;
}

DWORD WINAPI GetTempPathW(DWORD size, LPWSTR buffer)
{
    return PathQuery("GetTempPathW", machine.tempPath, buffer, size);
}

HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile)
{
    return Create("CreateFileW", path, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI CopyFileW(LPCWSTR source, LPCWSTR destination, BOOL failIfExists)
{
    return Copy("CopyFileW", source, destination, failIfExists);
}

BOOL WINAPI SetFileAttributesW(LPCWSTR path, DWORD attributes)
{
    return SetAttributes("SetFileAttributesW", path, attributes);
}

// Only the last-write time is ever given, on a file open to write.
BOOL WINAPI SetFileTime(HANDLE file, const FILETIME *creation, const FILETIME *access,
                        const FILETIME *lastWrite)
{
    uint64_t time =
        lastWrite ? (uint64_t{lastWrite->dwHighDateTime} << 32) | lastWrite->dwLowDateTime : 0;
    if (Record("SetFileTime", {Pointer(creation), Pointer(access), Number(time)}))
        return FALSE;
    auto path = filePaths.find(file);
    if (path == filePaths.end() || creation != NULL || access != NULL || lastWrite == NULL)
        return Refuse(ERROR_INVALID_PARAMETER);
    machine.lastWrites[path->second] = time;
    return TRUE;
}

void WINAPI GetStartupInfoW(LPSTARTUPINFOW startup)
{
    StartupInfo("GetStartupInfoW", startup);
}

// As XP does: a program path that does not fit is cut, unterminated, and
// the whole buffer is reported.
DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    if (Record("GetModuleFileNameW", {Pointer(module), Number(size)}))
        return 0;
    if (module != NULL && module != reinterpret_cast<HMODULE>(&machine.image[0])) {
        lastError = ERROR_MOD_NOT_FOUND;
        return 0;
    }
    std::u16string path = Encoded<WCHAR>(machine.modulePath);
    if (path.size() >= size) {
        std::copy(path.begin(), path.begin() + size, buffer);
        lastError = ERROR_INSUFFICIENT_BUFFER;
        return size;
    }
    std::copy(path.c_str(), path.c_str() + path.size() + 1, buffer);
    return static_cast<DWORD>(path.size());
}

// A folder's volume and index, as the handle opened it; a file's count of
// names (its hard links).
BOOL WINAPI GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information)
{
    if (Record("GetFileInformationByHandle", {}))
        return FALSE;
    memset(information, 0, sizeof *information);
    auto folder = machine.openFolders.find(file);
    auto opened = machine.openFiles.find(file);
    struct stat status;
    if (folder != machine.openFolders.end()) {
        information->dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
        information->dwVolumeSerialNumber = static_cast<DWORD>(folder->second.volume);
        information->nFileIndexHigh = static_cast<DWORD>(folder->second.index >> 32);
        information->nFileIndexLow = static_cast<DWORD>(folder->second.index);
        information->nNumberOfLinks = 1;
        return TRUE;
    }
    if (opened == machine.openFiles.end() || fstat(opened->second, &status) != 0)
        return Refuse(ERROR_INVALID_HANDLE);
    information->dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE;
    information->nNumberOfLinks = static_cast<DWORD>(status.st_nlink);
    return TRUE;
}

DWORD WINAPI GetCurrentThreadId(void)
{
    Record("GetCurrentThreadId", {});
    return machine.threadId;
}

BOOL WINAPI SetCurrentDirectoryW(LPCWSTR path)
{
    if (Record("SetCurrentDirectoryW", {Decoded(path)}))
        return FALSE;
    if (!fs::is_directory(HostPath(Decoded(path))))
        return Refuse(ERROR_FILE_NOT_FOUND);
    machine.currentDirectory = Decoded(path);
    return TRUE;
}

BOOL WINAPI RemoveDirectoryW(LPCWSTR path)
{
    if (Record("RemoveDirectoryW", {Decoded(path)}))
        return FALSE;
    std::string host = HostPath(Decoded(path));
    if (fs::is_symlink(host)) {
        fs::remove(host); // a junction goes itself, whatever its folder holds
        return TRUE;
    }
    if (!fs::is_directory(host) || !fs::is_empty(host))
        return Refuse(fs::is_directory(host) ? ERROR_DIR_NOT_EMPTY : ERROR_FILE_NOT_FOUND);
    if (Held(host))
        return Refuse(ERROR_SHARING_VIOLATION);
    fs::remove(host);
    return TRUE;
}

// A read-only file, or the program of a process that still runs, is not deleted.
BOOL WINAPI DeleteFileW(LPCWSTR path)
{
    if (Record("DeleteFileW", {Decoded(path)}))
        return FALSE;
    std::string host = HostPath(Decoded(path));
    if (!fs::is_regular_file(host))
        return Refuse(ERROR_FILE_NOT_FOUND);
    bool running = false;
    for (const Machine::Started &process : machine.started)
        running = running || (process.runsForMs > 0 && HostPath(process.application) == host);
    if (running || (machine.attributes[host] & FILE_ATTRIBUTE_READONLY))
        return Refuse(ERROR_ACCESS_DENIED);
    fs::remove(host);
    return TRUE;
}

BOOL WINAPI MoveFileExW(LPCWSTR existing, LPCWSTR replacement, DWORD flags)
{
    if (Record("MoveFileExW", {Decoded(existing), Decoded(replacement), Number(flags)}))
        return FALSE;
    if (replacement != NULL || !(flags & MOVEFILE_DELAY_UNTIL_REBOOT))
        return Refuse(ERROR_INVALID_PARAMETER); // only removal at restart is needed here
    machine.removalsAtRestart.push_back(Decoded(existing));
    return TRUE;
}

BOOL WINAPI CreateProcessW(LPCWSTR application, LPWSTR commandLine,
                           LPSECURITY_ATTRIBUTES processAttributes,
                           LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                           DWORD creationFlags, LPVOID environment, LPCWSTR currentDirectory,
                           LPSTARTUPINFOW startup, LPPROCESS_INFORMATION process)
{
    if (Record("CreateProcessW",
               {Decoded(application), Decoded(commandLine), Pointer(processAttributes),
                Pointer(threadAttributes), Number(inheritHandles), Number(creationFlags),
                Pointer(environment), Decoded(currentDirectory)}))
        return FALSE;
    if (machine.meanwhile)
        machine.meanwhile("CreateProcessW");
    if (application == NULL || !fs::is_regular_file(HostPath(Decoded(application))))
        return Refuse(ERROR_FILE_NOT_FOUND);
    process->hProcess = NewHandle();
    process->hThread = NewHandle();
    machine.started.push_back({Decoded(application), Decoded(commandLine),
                               Decoded(currentDirectory), FileContents(Decoded(application)),
                               inheritHandles != FALSE, environment != NULL, creationFlags,
                               *startup, process->hProcess, machine.childRunsMs});
    process->dwProcessId = machine.processId + static_cast<DWORD>(machine.started.size());
    process->dwThreadId = process->dwProcessId + 1;
    machine.openHandles[process->hProcess] = "process";
    machine.openHandles[process->hThread] = "thread";
    return TRUE;
}

// The program's resources, from the machine's table: a found resource is its
// entry there, and its bytes are given in place.
HRSRC WINAPI FindResourceA(HMODULE module, LPCSTR name, LPCSTR type)
{
    bool rcdata = type == RT_RCDATA;
    std::string key =
        IS_INTRESOURCE(name) ? "#" + Number(reinterpret_cast<uintptr_t>(name)) : Text(name);
    if (Record("FindResourceA", {Pointer(module), key, rcdata ? "RT_RCDATA" : "other"}))
        return NULL;
    auto found = machine.resources.find(key);
    if (module != NULL || !rcdata || found == machine.resources.end()) {
        lastError = 1813; // ERROR_RESOURCE_TYPE_NOT_FOUND
        return NULL;
    }
    return reinterpret_cast<HRSRC>(&*found);
}

DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource)
{
    Record("SizeofResource", {Pointer(module)});
    return static_cast<DWORD>(
        reinterpret_cast<std::pair<const std::string, std::string> *>(resource)->second.size());
}

HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource)
{
    if (Record("LoadResource", {Pointer(module)}))
        return NULL;
    return &reinterpret_cast<std::pair<const std::string, std::string> *>(resource)->second[0];
}

} // namespace kernel

// NTDLL's one call, reached through GetProcAddress: it makes a folder and
// opens it in one step, as no other process can come between.
namespace ntdll {

const NTSTATUS NameCollision = static_cast<NTSTATUS>(0xC0000035);
const NTSTATUS PathNotFound = static_cast<NTSTATUS>(0xC000003A);
const NTSTATUS NotImplemented = static_cast<NTSTATUS>(0xC0000002);
const NTSTATUS NameInvalid = static_cast<NTSTATUS>(0xC0000033);

// An injected fault's "error" is the NTSTATUS the call returns. Only a new
// folder (FILE_CREATE, FILE_DIRECTORY_FILE) by a drive's NT name (\??\C:\...)
// is made here; a name there in any form collides.
NTSTATUS WINAPI NtCreateFile(PHANDLE handle, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                             PIO_STATUS_BLOCK status, PLARGE_INTEGER allocationSize,
                             ULONG fileAttributes, ULONG share, ULONG disposition, ULONG options,
                             PVOID extendedAttributes, ULONG extendedLength)
{
    std::u16string units(attributes->ObjectName->Buffer,
                         attributes->ObjectName->Length / sizeof(WCHAR));
    std::string name = Decoded(units.c_str());
    if (Record("NtCreateFile",
               {name, Number(access), Number(attributes->Attributes),
                Pointer(attributes->SecurityDescriptor), Pointer(allocationSize),
                Number(fileAttributes), Number(share), Number(disposition), Number(options),
                Pointer(extendedAttributes), Number(extendedLength)}))
        return static_cast<NTSTATUS>(lastError);
    if (units.find(u'\0') != std::u16string::npos)
        return NameInvalid; // NT takes the whole length as the name
    if (disposition != FILE_CREATE || !(options & FILE_DIRECTORY_FILE) ||
        ((options & FILE_SYNCHRONOUS_IO_NONALERT) && !(access & SYNCHRONIZE)))
        return NotImplemented;
    if (name.compare(0, 4, "\\??\\") != 0 || name.size() < 6 || name[5] != ':')
        return PathNotFound; // a network name: no such server here
    std::string host = HostPath(name.substr(4));
    if (NameTaken(host))
        return NameCollision;
    if (!ParentExists(host))
        return PathNotFound;
    fs::create_directory(host);
    machine.folderAccess[host] = security::DescribeAccess(attributes->SecurityDescriptor);
    struct stat made;
    stat(host.c_str(), &made);
    *handle = NewHandle();
    machine.openFolders[*handle] = Identity(host, made, access, share);
    status->Status = 0;
    status->Information = 2; // FILE_CREATED
    if (machine.meanwhile)
        machine.meanwhile("NtCreateFile");
    return 0;
}

const NTSTATUS InvalidHandle = static_cast<NTSTATUS>(0xC0000008);
const NTSTATUS InvalidParameter = static_cast<NTSTATUS>(0xC000000D);
const NTSTATUS BufferTooSmall = static_cast<NTSTATUS>(0xC0000023);
const NTSTATUS AllottedSpaceExceeded = static_cast<NTSTATUS>(0xC0000099);

NTSTATUS WINAPI NtOpenProcessToken(HANDLE process, ACCESS_MASK access, PHANDLE token)
{
    if (Record("NtOpenProcessToken",
               {process == currentProcess ? "current" : "other", Number(access)}))
        return static_cast<NTSTATUS>(lastError);
    if (process != currentProcess)
        return InvalidHandle;
    *token = NewHandle();
    machine.openHandles[*token] = "token";
    return 0;
}

NTSTATUS WINAPI NtQueryInformationToken(HANDLE token, TOKEN_INFORMATION_CLASS kind, PVOID buffer,
                                        ULONG size, PULONG needed)
{
    if (Record("NtQueryInformationToken", {Number(kind), Number(size)}))
        return static_cast<NTSTATUS>(lastError);
    const std::string &wanted = machine.userSid;
    size_t record = sizeof(TOKEN_USER);
    *needed = static_cast<ULONG>(record + wanted.size());
    if (machine.openHandles.count(token) == 0)
        return InvalidHandle;
    if (kind != TokenUser)
        return InvalidParameter;
    if (size < *needed)
        return BufferTooSmall;
    // The SID follows the record, as Windows lays it out.
    memset(buffer, 0, record);
    char *sid = static_cast<char *>(buffer) + record;
    memcpy(sid, wanted.data(), wanted.size());
    static_cast<TOKEN_USER *>(buffer)->User.Sid = sid;
    return 0;
}

NTSTATUS WINAPI RtlCreateAcl(PACL acl, ULONG size, ULONG revision)
{
    if (Record("RtlCreateAcl", {Number(size), Number(revision)}))
        return static_cast<NTSTATUS>(lastError);
    memset(acl, 0, sizeof(ACL));
    acl->AclRevision = static_cast<BYTE>(revision);
    acl->AclSize = static_cast<WORD>(size);
    return 0;
}

NTSTATUS WINAPI RtlAddAccessAllowedAce(PACL acl, ULONG revision, ACCESS_MASK mask, PSID sid)
{
    if (Record("RtlAddAccessAllowedAce", {Number(revision), Number(mask), security::SidText(sid)}))
        return static_cast<NTSTATUS>(lastError);
    BYTE *ace = security::AceAt(acl, acl->AceCount);
    size_t size = sizeof(ACE_HEADER) + sizeof(DWORD) + security::SidLength(sid);
    if (ace + size > reinterpret_cast<BYTE *>(acl) + acl->AclSize)
        return AllottedSpaceExceeded;
    ACE_HEADER header = {ACCESS_ALLOWED_ACE_TYPE, 0, static_cast<WORD>(size)};
    memcpy(ace, &header, sizeof header);
    memcpy(ace + sizeof header, &mask, sizeof mask);
    memcpy(ace + sizeof header + sizeof mask, sid, security::SidLength(sid));
    ++acl->AceCount;
    return 0;
}

NTSTATUS WINAPI RtlGetAce(PACL acl, ULONG index, PVOID *ace)
{
    if (Record("RtlGetAce", {Number(index)}))
        return static_cast<NTSTATUS>(lastError);
    if (index >= acl->AceCount)
        return InvalidParameter;
    *ace = security::AceAt(acl, index);
    return 0;
}

NTSTATUS WINAPI RtlCreateSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, ULONG revision)
{
    if (Record("RtlCreateSecurityDescriptor", {Number(revision)}))
        return static_cast<NTSTATUS>(lastError);
    SECURITY_DESCRIPTOR *sd = static_cast<SECURITY_DESCRIPTOR *>(descriptor);
    memset(sd, 0, sizeof *sd);
    sd->Revision = static_cast<BYTE>(revision);
    return 0;
}

NTSTATUS WINAPI RtlSetDaclSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, BOOLEAN present,
                                             PACL acl, BOOLEAN defaulted)
{
    if (Record("RtlSetDaclSecurityDescriptor", {Number(present), Pointer(acl), Number(defaulted)}))
        return static_cast<NTSTATUS>(lastError);
    SECURITY_DESCRIPTOR *sd = static_cast<SECURITY_DESCRIPTOR *>(descriptor);
    sd->Dacl = present ? acl : NULL;
    sd->Control =
        static_cast<WORD>(present ? sd->Control | SE_DACL_PRESENT : sd->Control & ~SE_DACL_PRESENT);
    return 0;
}

} // namespace ntdll

namespace {

// The started process a handle stands for, or null.
Machine::Started *StartedProcess(HANDLE handle)
{
    for (Machine::Started &process : machine.started) {
        if (process.process == handle && machine.openHandles.count(handle))
            return &process;
    }
    return NULL;
}

// Time passes for the processes that run.
void Pass(DWORD milliseconds)
{
    for (Machine::Started &process : machine.started)
        process.runsForMs -= std::min(process.runsForMs, milliseconds);
}

} // namespace

extern "C" {

DWORD WINAPI GetLastError(void)
{
    return lastError;
}

void WINAPI SetLastError(DWORD error)
{
    lastError = error;
}

DWORD WINAPI GetCurrentProcessId(void)
{
    Record("GetCurrentProcessId", {});
    return machine.processId;
}

LPSTR WINAPI GetCommandLineA(void)
{
    Record("GetCommandLineA", {});
    return &machine.commandLine[0];
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER *counter)
{
    Record("QueryPerformanceCounter", {});
    counter->QuadPart = machine.counter++;
    return TRUE;
}

DWORD WINAPI GetTickCount(void)
{
    Record("GetTickCount", {});
    return machine.ticks;
}

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA version)
{
    if (Record("GetVersionExA", {Number(version->dwOSVersionInfoSize)}))
        return FALSE;
    if (version->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA))
        return Refuse(ERROR_INSUFFICIENT_BUFFER);
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
    return kernel::PathQuery("GetTempPathA", machine.tempPath, buffer, size);
}

void WINAPI GetStartupInfoA(LPSTARTUPINFOA startup)
{
    kernel::StartupInfo("GetStartupInfoA", startup);
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    if (Record("WaitForSingleObject", {Number(milliseconds)}))
        return WAIT_FAILED;
    Machine::Started *process = StartedProcess(handle);
    if (process == NULL) {
        lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    if (process->runsForMs > 0 && machine.meanwhile)
        machine.meanwhile("WaitForSingleObject");
    if (milliseconds != INFINITE && milliseconds < process->runsForMs) {
        Pass(milliseconds);
        return WAIT_TIMEOUT;
    }
    Pass(process->runsForMs);
    return WAIT_OBJECT_0;
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode)
{
    if (Record("GetExitCodeProcess", {}))
        return FALSE;
    Machine::Started *started = StartedProcess(process);
    if (started == NULL)
        return Refuse(ERROR_INVALID_HANDLE);
    *exitCode = started->runsForMs > 0 ? STILL_ACTIVE : machine.childExitCode;
    return TRUE;
}

void WINAPI Sleep(DWORD milliseconds)
{
    Record("Sleep", {Number(milliseconds)});
    Pass(milliseconds);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size)
{
    return kernel::PathQuery("GetWindowsDirectoryA", machine.windowsDirectory, buffer, size);
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
    return kernel::SetAttributes("SetFileAttributesA", path, attributes);
}

BOOL WINAPI CopyFileA(LPCSTR source, LPCSTR destination, BOOL failIfExists)
{
    return kernel::Copy("CopyFileA", source, destination, failIfExists);
}

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile)
{
    return kernel::Create("CreateFileA", path, access, share, security, disposition, flags,
                          templateFile);
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
    if (found == machine.openFiles.end())
        return Refuse(ERROR_INVALID_HANDLE);
    DWORD fits =
        machine.diskRoom < 0 ? size : static_cast<DWORD>(std::min<int64_t>(size, machine.diskRoom));
    ssize_t done = write(found->second, data, fits);
    if (written)
        *written = done < 0 ? 0 : static_cast<DWORD>(done);
    if (machine.diskRoom >= 0 && done > 0)
        machine.diskRoom -= done;
    if (machine.meanwhile)
        machine.meanwhile("WriteFile");
    if (done == static_cast<ssize_t>(size))
        return TRUE;
    return Refuse(fits < size ? ERROR_DISK_FULL : ERROR_WRITE_FAULT);
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    Record("CloseHandle", {});
    if (machine.openFolders.erase(handle)) {
        if (machine.meanwhile)
            machine.meanwhile("CloseHandle");
        return TRUE;
    }
    if (machine.openHandles.erase(handle))
        return TRUE;
    auto found = machine.openFiles.find(handle);
    if (found == machine.openFiles.end())
        return Refuse(ERROR_INVALID_HANDLE);
    close(found->second);
    machine.openFiles.erase(found);
    filePaths.erase(handle);
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
    return kernel::PathQuery("GetSystemDirectoryA", machine.systemDirectory, buffer, size);
}

HMODULE WINAPI LoadLibraryExA(LPCSTR path, HANDLE file, DWORD flags)
{
    if (Record("LoadLibraryExA", {Text(path), Pointer(file), Number(flags)}))
        return NULL;
    // Only the system's own libraries are there, by their full paths: any
    // other name or folder finds nothing.
    for (const auto &library : SystemLibraries) {
        if (path != NULL && !machine.missingLibraries.count(library.first) &&
            strcasecmp(path, (machine.systemDirectory + "\\" + library.first).c_str()) == 0)
            return library.second;
    }
    lastError = ERROR_MOD_NOT_FOUND;
    return NULL;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR name)
{
    if (Record("GetModuleHandleA", {Text(name)}))
        return NULL;
    if (name == NULL)
        return reinterpret_cast<HMODULE>(&machine.image[0]);
    // KERNEL32 is loaded in every process, NTDLL in every NT process; no
    // other library is asked for here.
    if (strcasecmp(name, "kernel32.dll") == 0 || strcasecmp(name, "kernel32") == 0)
        return kernelModule;
    if (strcasecmp(name, "ntdll.dll") == 0 && machine.ntdll)
        return ntdllModule;
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
    std::string moduleName = module == kernelModule  ? "kernel32.dll"
                             : module == ntdllModule ? "ntdll.dll"
                                                     : Pointer(module);
    for (const auto &library : SystemLibraries) {
        if (module == library.second)
            moduleName = library.first;
    }
    if (Record(
            "GetProcAddress",
            {moduleName, ordinal ? "#" + Number(reinterpret_cast<uintptr_t>(name)) : Text(name)}))
        return NULL;
    typedef void (*Entry)(void);
#define ENTRY(space, name)                                                                         \
    {                                                                                              \
#name, reinterpret_cast < Entry>(space::name)                                              \
    }
    // Each module's entries by name.
    static const std::map<std::string, std::map<std::string, Entry>> entries = {
        {"winspool.drv",
         {ENTRY(spooler, GetPrinterDriverDirectoryA), ENTRY(spooler, AddPrinterDriverA),
          ENTRY(spooler, AddPrinterA), ENTRY(spooler, OpenPrinterA), ENTRY(spooler, GetPrinterA),
          ENTRY(spooler, ClosePrinter), ENTRY(spooler, SetDefaultPrinterA)}},
        {"kernel32.dll",
         {ENTRY(kernel, IsWow64Process),
          ENTRY(kernel, GetNativeSystemInfo),
          ENTRY(kernel, SetDllDirectoryA),
          ENTRY(kernel, FindResourceA),
          ENTRY(kernel, SizeofResource),
          ENTRY(kernel, LoadResource),
          ENTRY(kernel, GetTempPathW),
          ENTRY(kernel, CreateFileW),
          ENTRY(kernel, GetFileInformationByHandle),
          ENTRY(kernel, GetModuleFileNameW),
          ENTRY(kernel, CopyFileW),
          ENTRY(kernel, SetFileAttributesW),
          ENTRY(kernel, SetFileTime),
          ENTRY(kernel, GetStartupInfoW),
          ENTRY(kernel, CreateProcessW),
          ENTRY(kernel, DeleteFileW),
          ENTRY(kernel, RemoveDirectoryW),
          ENTRY(kernel, MoveFileExW),
          ENTRY(kernel, SetCurrentDirectoryW),
          ENTRY(kernel, GetCurrentThreadId)}},
        {"ntdll.dll",
         {ENTRY(ntdll, NtCreateFile), ENTRY(ntdll, NtOpenProcessToken),
          ENTRY(ntdll, NtQueryInformationToken), ENTRY(ntdll, RtlCreateAcl),
          ENTRY(ntdll, RtlAddAccessAllowedAce), ENTRY(ntdll, RtlGetAce),
          ENTRY(ntdll, RtlCreateSecurityDescriptor), ENTRY(ntdll, RtlSetDaclSecurityDescriptor)}},
        {"user32.dll", {ENTRY(user32, MessageBoxA), ENTRY(user32, SendMessageTimeoutA)}},
        {"advapi32.dll", {ENTRY(advapi32, RegCreateKeyExA), ENTRY(advapi32, RegSetValueExA)}},
    };
#undef ENTRY
    auto library = entries.find(moduleName);
    if (library == entries.end() || ordinal || library->second.count(name) == 0 ||
        machine.missingEntries.count(name)) {
        lastError = ERROR_PROC_NOT_FOUND;
        return NULL;
    }
    return reinterpret_cast<FARPROC>(library->second.at(name));
}

} // extern "C"
