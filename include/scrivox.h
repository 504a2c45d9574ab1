// Shared constants, process-wide buffers and the routines of ScrivoxSetup.
#ifndef SCRIVOX_H
#define SCRIVOX_H

#include <windows.h>

// Texts kept as macros too, so that a routine can build a writable copy
// (char name[] = DRIVER_NAME;) for the spooler's LPSTR fields.
#define INSTALLER_CAPTION "Quorvane Scrivox Installer"
#define DRIVER_NAME "Scrivox Demo NT Driver"
#define PRODUCT_PRINTER_NAME "Quorvane Scrivox"

// Inline: one copy in the program, however many sources use them.
inline constexpr char InstallerCaption[] = INSTALLER_CAPTION;
inline constexpr char DriverName[] = DRIVER_NAME;
inline constexpr char ProductPrinterName[] = PRODUCT_PRINTER_NAME;

// The package's driver files, each named once, by its role in the driver
// record: the printer description (its data file), the driver, its user
// interface (configuration file) and the module the others depend on.
#define DATA_FILE_NAME "SCRIVOX.PPD"
#define DRIVER_FILE_NAME "SCRVDRV.DLL"
#define CONFIG_FILE_NAME "SCRVUI.DLL"
#define HELPER_FILE_NAME "SCRVUMPD.DLL"
// The same files, in the order they are copied.
enum { DRIVER_FILE_COUNT = 4 };
inline constexpr const char *DriverFileSet[DRIVER_FILE_COUNT] = {
    DATA_FILE_NAME,
    DRIVER_FILE_NAME,
    CONFIG_FILE_NAME,
    HELPER_FILE_NAME,
};

// Classification of the running Windows version.
typedef int PlatformCode;
enum {
    PLATFORM_UNKNOWN = -1,
    PLATFORM_NT4 = 0,
    PLATFORM_NT351 = 1,
    PLATFORM_NT5 = 2,
    PLATFORM_WIN95 = 3,
    PLATFORM_WIN98 = 4
};

// MAX_PATH: the longest path the ANSI calls take, for the paths the program
// builds itself (the spooler's, the log's and the settings' have their own sizes).
enum { PATH_SIZE = 260 };

// Process-wide buffers, zero-filled at start and owned by the sequence.
enum { DRIVER_DIRECTORY_SIZE = 256, MESSAGE_BUFFER_SIZE = 1024 };
extern char DriverDirectory[DRIVER_DIRECTORY_SIZE]; // the spooler's driver directory
extern char MessageBuffer[MESSAGE_BUFFER_SIZE];     // scratch text for message boxes

// The system libraries the installer reaches without a static import: each
// is loaded once, by its full path in the system directory, and never
// unloaded; KERNEL32 and NTDLL, loaded in every NT process, are only asked
// for their entries. A library's entries are bound as it is loaded
// (src/platform/libraries.cpp).
enum SystemLibrary {
    LIBRARY_KERNEL32,
    LIBRARY_NTDLL,
    LIBRARY_USER32,
    LIBRARY_ADVAPI32,
    LIBRARY_SPOOLER,
    SYSTEM_LIBRARY_COUNT
};
// The entries, in the order of their list (include/system_entries.inc).
enum SystemEntry {
#define SYSTEM_ENTRY(library, entry, exported) ENTRY_##entry,
#include "system_entries.inc"
#undef SYSTEM_ENTRY
    SYSTEM_ENTRY_COUNT
};
extern HMODULE SystemModules[SYSTEM_LIBRARY_COUNT];
extern FARPROC SystemEntries[SYSTEM_ENTRY_COUNT];

// The library's module, loaded and its entries bound when it is not yet;
// null when it cannot be had (its entries then stay null).
HMODULE LoadSystemLibrary(SystemLibrary library);
// Loads USER32, ADVAPI32 and the spooler, after taking the current directory
// out of the search for DLLs that system code loads by name later in the run
// (XP SP1 and later; older systems lack the means).
void LoadSystemLibraries(void);
// Whether every entry from the first to the last, in the list's order, is bound.
int EntriesBound(SystemEntry first, SystemEntry last);
// For a call whose entry is null: sets the last error the loader would have
// given (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND) and returns it.
DWORD Unbound(SystemEntry entry);

// An entry found with GetProcAddress as a pointer of its own type; null stays
// null. The detour through a plain function pointer is the cast GCC accepts
// between unrelated function types.
template <typename Entry> inline Entry EntryAs(FARPROC entry)
{
    return reinterpret_cast<Entry>(reinterpret_cast<void (*)(void)>(entry));
}
// The entry as bound, or null.
template <typename Entry> inline Entry Bound(SystemEntry entry)
{
    return EntryAs<Entry>(SystemEntries[entry]);
}

// One of KERNEL32's wide calls, through its entry, typed as the platform's
// header declares the call. Called only once the entry is known to be bound.
#define WIDE_CALL(function, entry) (Bound<decltype(&(function))>(entry))

// The private copy: the launcher makes a new folder in the temporary
// directory, writes the program there under its own name and starts it with
// the role switch alone as its command line.
#define PRIVATE_COPY_NAME "ScrivoxSetup.exe"
#define PRIVATE_FOLDER_PREFIX "Scrivox-"
inline constexpr char PrivateCopySwitch[] = "/private-copy";

// Runs the launcher's part or the copy's, then the installation; returns the
// process's exit status (src/sequence/start.cpp).
int StartSetup(void);
// Writes the program and the package's files into a private folder and runs
// the copy there to its end: 1 with its exit status, 0 when it could not be
// made or started and nothing of it is left (but, where it could not be
// removed, the emptied folder). Nothing is ever scheduled for the restart.
int LaunchPrivateCopy(DWORD *exitStatus);
// A new folder in the temporary directory that only this user, the
// Administrators and SYSTEM may enter, made and opened in one step so that
// its name is never another's, and held so that nobody can rename or remove
// it: 1 with its path and the handle that holds it, 0 when none was made.
int MakePrivateFolder(WCHAR (&folder)[PATH_SIZE], HANDLE *hold);
// Whether the program is the private copy's file directly inside such a
// folder directly inside the temporary directory, whatever the spelling of
// either.
int InPrivateFolder(const WCHAR *program);
// A new file at the path, open to write, or INVALID_HANDLE_VALUE where the
// name is there already or cannot be made.
HANDLE CreateNewFile(const WCHAR *path);
// Whether all the bytes were written.
int WriteWhole(HANDLE file, const void *bytes, DWORD size);
// Writes the program's own file, as the system mapped it when the process
// started, as a new file at the path (src/platform/own_image.cpp): 1 when the
// whole file was written, 0 otherwise (a file written in part, or one already
// there, stays for the caller to delete).
int WriteOwnImage(const WCHAR *path);
// Whether the program carries the package's files inside it (a build with
// the package gives it all four as resources of its own).
int CarriesPackage(void);
// Writes the carried file of that number in the copy order, byte for byte,
// as a new file at the path, where its bytes are those the program was built
// with: 1 when the whole file was written, 0 otherwise (a file written in
// part, or one already there, stays for the caller to delete).
int WriteCarriedFile(unsigned index, const WCHAR *path);

// Install log: appends one timestamped entry to %TEMP%\Scrivox.log.
void WriteLog(const char *format, ...);

PlatformCode DetectWindowsVersion(void);
int DoFiles(void);
int AddDriverAndPrinter(void);
void WriteDriverSettings(void);
void OfferDefaultPrinter(void);
int MakeDefaultPrinter(LPSTR name);

#endif
