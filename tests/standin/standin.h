// The scripted machine behind the host stand-in of the Win32 calls: its
// state, the record of every call made, and fault injection.
#ifndef STANDIN_STANDIN_H
#define STANDIN_STANDIN_H

#include <windows.h>
#include <winspool.h>

#include <stdint.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "expected.h"

namespace standin {

struct NoCase {
    bool operator()(const std::string &a, const std::string &b) const;
};

// One call into the stand-in: the function's name and its arguments as text
// (strings as they were passed, "(null)" for a null pointer, numbers in decimal).
struct Call {
    std::string function;
    std::vector<std::string> args;
};

struct Box {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

// A driver as AddPrinterDriverA received it, strings copied out.
struct Driver {
    DWORD version = 0;
    std::string name, environment, driverPath, dataFile, configFile, helpFile, defaultDataType;
    bool helpFileNull = false, monitorNull = false;
    std::vector<std::string> dependentFiles; // the multi-string, split at its NULs
    std::string dependentBytes;              // its bytes up to and including the closing NUL
};

struct Printer {
    std::string name, port, driver, printProcessor = "WinPrint", datatype = "RAW";
    bool nullDriverName = false, nullPortName = false; // for descriptions that lack them
    PRINTER_INFO_2A added = {};                        // the record AddPrinterA was given
};

struct RegValue {
    DWORD type;
    std::string data; // the bytes written, as many as the size said
};

typedef std::map<std::string, std::map<std::string, std::string, NoCase>, NoCase> Profile;

struct Machine {
    // GetVersionExA
    DWORD platformId = VER_PLATFORM_WIN32_NT, majorVersion = 5, minorVersion = 1;
    // The entries GetProcAddress finds in no module (KERNEL32's newer ones,
    // ADVAPI32's, USER32's, the spooler's), by name.
    std::set<std::string> missingEntries;
    // IsWow64Process and GetNativeSystemInfo: a 32-bit Windows on x86 unless
    // told otherwise.
    bool wow64 = false;
    WORD nativeArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
    // Directories and environment, as Windows paths in UTF-8. Files live
    // below a host folder: C:\X\Y is <root>/c/x/y, case folded. The ANSI
    // calls see them in a Western code page (Latin-1), where a character it
    // lacks is '?', as on Windows; the wide calls see them whole.
    std::string root;
    std::string currentDirectory = "C:\\PKG";
    std::string tempPath = "C:\\TEMP\\";
    std::string windowsDirectory = "C:\\WINDOWS";
    std::string driverDirectory = "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86";
    bool driverDirectoryUnterminated = false; // the spooler fills the buffer without a NUL
    std::string systemDirectory = "C:\\WINDOWS\\system32";
    std::map<std::string, std::string, NoCase> environment;
    std::map<std::string, DWORD> attributes;    // host path -> attributes of existing files,
                                                // new ones as CreateFileA was asked to make them
    std::map<std::string, uint64_t> lastWrites; // host path -> the time SetFileTime gave it
    SYSTEMTIME clock = {2004, 3, 6, 6, 9, 5, 7, 0};
    // Message boxes: answers given in order; with none left an OK-only box is
    // answered IDOK and any other box counts as unanswered and returns 0. A
    // failing MessageBoxA (Fail) shows nothing and returns 0.
    std::vector<int> answers;
    std::vector<Box> boxes;
    int unansweredBoxes = 0;
    // Spooler
    std::map<std::string, Driver, NoCase> drivers;
    std::map<std::string, Printer, NoCase> printers;
    std::string defaultPrinter;
    // LoadLibraryExA finds "user32.dll", "advapi32.dll" and "winspool.drv"
    // only by their full paths in the system directory, and not those named here.
    std::set<std::string> missingLibraries;
    bool openPrinterYieldsNull = false; // OpenPrinterA succeeds but hands back no handle
    // Registry: key path ("HKCU\SOFTWARE\...") -> values
    std::map<std::string, std::map<std::string, RegValue, NoCase>, NoCase> registry;
    // Profiles: win.ini, and each private profile by its Windows path
    Profile systemProfile;
    std::map<std::string, Profile, NoCase> privateProfiles;
    // What is outstanding: open printers, files and keys, and global blocks with their sizes
    std::map<HANDLE, std::string> openPrinters;
    std::map<HANDLE, int> openFiles;
    std::map<HKEY, std::string> openKeys;
    std::map<void *, SIZE_T> globalBlocks;
    // This process: its program, command line and start-up information. The
    // program's file as it was when the process started (Reset puts it at
    // modulePath too), and its image as the system mapped it then, whose
    // address GetModuleHandleA(NULL) gives (MapImage).
    std::string modulePath = std::string("C:\\PKG\\") + expected::ProgramName;
    std::string commandLine = "\"" + modulePath + "\"";
    std::string programFile, image;
    STARTUPINFOA startup = {};
    DWORD processId = 0x1234, threadId = 0x5678, ticks = 0x00C0FFEE;
    int64_t counter = 0x0000000A12345678; // counts up by one at each reading
    // NTDLL is in every NT process and in none of Windows 95, 98 and Me.
    bool ntdll = true;
    std::string userSid = std::string("\1\5\0\0\0\0\0\5\x15\0\0\0\7\0\0\0\x08\0\0\0\x09\0\0\0"
                                      "\xE8\3\0\0",
                                      28); // S-1-5-21-7-8-9-1000
    // The processes CreateProcessW started, as it was asked to. Each runs for
    // childRunsMs (a wait or a pause of the launcher passes that time; a wait
    // without time-out sees it to its end), and meanwhile its program cannot
    // be deleted; then it ends with the status childExitCode.
    struct Started {
        std::string application, commandLine, currentDirectory;
        std::string program; // the program's bytes, as the process was started with them
        bool inheritHandles, environment;
        DWORD creationFlags;
        STARTUPINFOW startup;
        HANDLE process;
        DWORD runsForMs; // what remains of its run
    };
    std::vector<Started> started;
    DWORD childExitCode = 1, childRunsMs = 30000;
    // Each folder made, by host path: "default" when made without security
    // attributes, else "protected" or "inheriting" and an entry a line,
    // "SID mask flags" (S-1-5-32-544 0x1f01ff 3).
    std::map<std::string, std::vector<std::string>> folderAccess;
    // Short (8.3) names and the long names they stand for, in any folder,
    // both lower case: "docume~1" -> "documents and settings". Either
    // spelling reaches the same file or folder.
    std::map<std::string, std::string> shortNames;
    // Folders opened with CreateFileW (FILE_FLAG_BACKUP_SEMANTICS) or made
    // and opened by NtCreateFile. As on NT, an open holds the folder only
    // where it asks for data or delete access (reading, listing, writing,
    // appending, executing, traversing, deleting): one such open without
    // FILE_SHARE_DELETE keeps anyone from removing or renaming it meanwhile.
    // An open for READ_CONTROL, attributes or SYNCHRONIZE alone holds nothing.
    struct OpenFolder {
        std::string host;
        DWORD access, share;
        uint64_t volume, index;
    };
    std::map<HANDLE, OpenFolder> openFolders;
    // Each drive is a volume of its own, its serial number the drive's
    // letter; a file's index on it is its host inode, or the one given here
    // by host path (so that folders on two volumes can share an index).
    std::map<std::string, uint64_t> fileIndexes;
    // The program's RCDATA resources, by name, "#N" for number N: what it carries.
    std::map<std::string, std::string> resources;
    // Bytes the disk still takes; a write that meets the end puts down what
    // fits and fails with ERROR_DISK_FULL. -1: no end.
    int64_t diskRoom = -1;
    // What other processes do meanwhile: called with the call's name right
    // after NtCreateFile makes a folder, after each file CopyFileW (A) copies or
    // WriteFile writes to (the moments a folder is being filled), right after
    // CloseHandle closes a folder's handle, when CreateProcessW is about to
    // start a program, and in each wait while a started process runs.
    std::function<void(const std::string &call)> meanwhile;
    std::vector<std::string> removalsAtRestart; // MoveFileExW's, Windows paths
    std::map<HANDLE, std::string> openHandles;  // tokens, processes and threads
    std::vector<Call> calls;
};

Machine &M();

// A fresh machine: Windows XP, the package's four files in C:\PKG (the current
// directory), existing temporary, Windows and driver directories, "windir" set.
void Reset();

// Makes the nth call (counted from 1) of function fail with error; nth 0 makes
// every call fail.
void Fail(const std::string &function, DWORD error, int nth = 0);

// Forgets the calls made so far: those counted by Fail, too.
void ForgetCalls();
std::vector<Call> CallsTo(const std::string &function);
std::vector<std::string> FunctionsCalled(); // the names of all calls, in order
std::string HostPath(const std::string &windowsPath);
void MakeDirectory(const std::string &windowsPath);
void PutFile(const std::string &windowsPath, const std::string &contents, DWORD attributes = 0);
bool FileExists(const std::string &windowsPath);
bool FolderExists(const std::string &windowsPath);
std::vector<std::string> FolderEntries(const std::string &windowsPath); // names, sorted
std::string FileContents(const std::string &windowsPath);
DWORD FileAttributes(const std::string &windowsPath);
void AddPrinter(const std::string &name, const std::string &driver, const std::string &port);
// As another process would: renames a file or folder (false when a handle
// holds it), or makes a junction (Windows 2000 and later) at `at` that leads
// to the folder `target`.
bool Rename(const std::string &from, const std::string &to);
void MakeJunction(const std::string &at, const std::string &target);
// A second name of an existing file, as NTFS's hard links give.
void MakeHardLink(const std::string &at, const std::string &existing);

// A small program as our linker lays one out: the headers, code, an import
// table of KERNEL32's (lookup and address tables alike), uninitialised data,
// resources; signed, with a certificate table after its sections, as
// Authenticode adds one.
std::string SmallProgram(bool withSignature);
// The program as the system maps it when it starts, with the machine's
// program file and image set: the headers, each section at its address, its
// import address table filled in, its uninitialised data written, and what
// lies past each section's mapped size not the file's.
void MapImage(const std::string &file);
// The CRC-32 of ZIP and PNG.
uint32_t Crc32(const std::string &bytes);

} // namespace standin

#endif
