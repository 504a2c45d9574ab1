// The system libraries, reached without a static import. An installer runs as
// an administrator from the folder it was downloaded or unpacked into, and for
// an import of any DLL that is not a Known DLL Windows would first look in
// that folder and run a file of that name found there. So the program imports
// from KERNEL32 alone, and loads USER32, ADVAPI32 and the print spooler by
// their full paths in the system directory, once, never unloading them. A
// library's entries are bound as it is loaded, so that each call reads its
// entry and jumps to it. The entries newer than NT 4.0, KERNEL32's among
// them, are only ever reached this way, so the program still loads on NT 4.0,
// which lacks them; so are KERNEL32's wide calls, so that it still loads on
// Windows 95, 98 and Me, whose KERNEL32 lacks some of them.
#include "scrivox.h"

#include "text.h"

static const char *const LibraryNames[] = {
    "kernel32.dll",
    "\\user32.dll",
    "\\advapi32.dll",
    "\\winspool.drv",
};
static_assert(COUNT_OF(LibraryNames) == SYSTEM_LIBRARY_COUNT, "one name for each library");

// Each library's entries follow one another, from its first (below), their
// names one after another, each ended by its NUL.
static constexpr char EntryNames[] = "IsWow64Process\0"
                                     "GetNativeSystemInfo\0"
                                     "SetDllDirectoryA\0"
                                     "GetTempPathW\0"
                                     "CreateFileW\0"
                                     "GetFileInformationByHandle\0"
                                     "GetModuleFileNameW\0"
                                     "CreateDirectoryW\0"
                                     "CopyFileW\0"
                                     "SetFileAttributesW\0"
                                     "GetStartupInfoW\0"
                                     "CreateProcessW\0"
                                     "DeleteFileW\0"
                                     "RemoveDirectoryW\0"
                                     "MoveFileExW\0"
                                     "GetCurrentDirectoryW\0"
                                     "SetCurrentDirectoryW\0"
                                     "MessageBoxA\0"
                                     "SendMessageTimeoutA\0"
                                     "RegCreateKeyExA\0"
                                     "RegSetValueExA\0"
                                     "OpenProcessToken\0"
                                     "GetTokenInformation\0"
                                     "GetKernelObjectSecurity\0"
                                     "InitializeAcl\0"
                                     "AddAccessAllowedAce\0"
                                     "GetAce\0"
                                     "InitializeSecurityDescriptor\0"
                                     "SetSecurityDescriptorDacl\0"
                                     "SetSecurityDescriptorControl\0"
                                     "SystemFunction036\0" // RtlGenRandom
                                     "GetPrinterDriverDirectoryA\0"
                                     "AddPrinterDriverA\0"
                                     "AddPrinterA\0"
                                     "OpenPrinterA\0"
                                     "GetPrinterA\0"
                                     "ClosePrinter\0"
                                     "SetDefaultPrinterA\0";
// Each library's first entry, and the count of all after the last; a byte
// each, for they are few.
static const BYTE FirstEntries[] = {
    ENTRY_IS_WOW64_PROCESS,  ENTRY_MESSAGE_BOX,
    ENTRY_REG_CREATE_KEY_EX, ENTRY_GET_PRINTER_DRIVER_DIRECTORY,
    SYSTEM_ENTRY_COUNT,
};
static_assert(SYSTEM_ENTRY_COUNT < 256, "every entry's number fits a byte");
// The names counted at compile time, so that each entry has its own.
static constexpr unsigned CountNames(const char *names, unsigned size)
{
    unsigned count = 0;
    for (unsigned i = 0; i < size; ++i)
        count += names[i] == '\0' ? 1 : 0;
    return count;
}
static_assert(CountNames(EntryNames, sizeof EntryNames - 1) == SYSTEM_ENTRY_COUNT,
              "one name for each entry");

HMODULE LoadSystemLibrary(SystemLibrary library)
{
    if (SystemModules[library] != NULL)
        return SystemModules[library];
    HMODULE module = NULL;
    char path[PATH_SIZE];
    UINT length;
    if (library == LIBRARY_KERNEL32) {
        module = GetModuleHandleA(LibraryNames[library]);
    } else if ((length = GetSystemDirectoryA(path, sizeof path)) != 0 && length < sizeof path &&
               APPEND_TEXT(path, LibraryNames[library])) {
        // A cut path would name another file, and is never loaded. The
        // altered search path makes the library's own imports be looked for
        // beside it, in the system directory, rather than beside the installer.
        module = LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    SystemModules[library] = module;
    const char *name = EntryNames;
    for (unsigned entry = 0; module != NULL && entry < FirstEntries[library + 1]; ++entry) {
        if (entry >= FirstEntries[library])
            SystemEntries[entry] = GetProcAddress(module, name);
        name += TextLength(name) + 1;
    }
    return module;
}

void LoadSystemLibraries(void)
{
    typedef BOOL(WINAPI * SetDllDirectoryEntry)(LPCSTR directory);
    LoadSystemLibrary(LIBRARY_KERNEL32);
    SetDllDirectoryEntry setDllDirectory = Bound<SetDllDirectoryEntry>(ENTRY_SET_DLL_DIRECTORY);
    if (setDllDirectory != NULL)
        setDllDirectory(""); // the empty name takes the current directory out
    LoadSystemLibrary(LIBRARY_USER32);
    LoadSystemLibrary(LIBRARY_ADVAPI32);
    LoadSystemLibrary(LIBRARY_SPOOLER);
}

int WideCallsBound(void)
{
    for (unsigned entry = ENTRY_GET_TEMP_PATH_W; entry <= ENTRY_SET_CURRENT_DIRECTORY_W; ++entry) {
        if (SystemEntries[entry] == NULL)
            return 0;
    }
    return 1;
}

DWORD Unbound(SystemEntry entry)
{
    unsigned library = 0;
    while (entry >= FirstEntries[library + 1])
        ++library;
    DWORD error = SystemModules[library] == NULL ? ERROR_MOD_NOT_FOUND : ERROR_PROC_NOT_FOUND;
    SetLastError(error);
    return error;
}
