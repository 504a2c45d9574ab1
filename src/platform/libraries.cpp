// The system libraries, reached without a static import. An installer runs as
// an administrator from the folder it was downloaded or unpacked into, and for
// an import of any DLL that is not a Known DLL Windows would first look in
// that folder and run a file of that name found there. So the program imports
// from KERNEL32 alone, and loads USER32, ADVAPI32 and the print spooler by
// their full paths in the system directory, once, never unloading them. A
// library's entries are bound as it is loaded, so that each call reads its
// entry and jumps to it. The entries newer than NT 4.0, KERNEL32's among
// them, are only ever reached this way, so the program still loads on NT 4.0,
// which lacks them.
#include "scrivox.h"

#include "text.h"

static const char *const LibraryNames[] = {
    "kernel32.dll",
    "\\user32.dll",
    "\\advapi32.dll",
    "\\winspool.drv",
};
static_assert(COUNT_OF(LibraryNames) == SYSTEM_LIBRARY_COUNT, "one name for each library");

// Each library's entries follow one another, from its first (below).
static const char *const EntryNames[] = {
    "IsWow64Process",
    "GetNativeSystemInfo",
    "SetDllDirectoryA",
    "MessageBoxA",
    "SendMessageTimeoutA",
    "RegCreateKeyExA",
    "RegSetValueExA",
    "OpenProcessToken",
    "GetTokenInformation",
    "InitializeAcl",
    "AddAccessAllowedAce",
    "GetAce",
    "InitializeSecurityDescriptor",
    "SetSecurityDescriptorDacl",
    "SetSecurityDescriptorControl",
    "SystemFunction036", // RtlGenRandom
    "GetPrinterDriverDirectoryA",
    "AddPrinterDriverA",
    "AddPrinterA",
    "OpenPrinterA",
    "GetPrinterA",
    "ClosePrinter",
    "SetDefaultPrinterA",
};
static const SystemEntry FirstEntries[] = {
    ENTRY_IS_WOW64_PROCESS,  ENTRY_MESSAGE_BOX,
    ENTRY_REG_CREATE_KEY_EX, ENTRY_GET_PRINTER_DRIVER_DIRECTORY,
    SYSTEM_ENTRY_COUNT,
};
static_assert(COUNT_OF(EntryNames) == SYSTEM_ENTRY_COUNT, "one name for each entry");

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
    for (unsigned entry = FirstEntries[library];
         module != NULL && entry < FirstEntries[library + 1]; ++entry)
        SystemEntries[entry] = GetProcAddress(module, EntryNames[entry]);
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

DWORD Unbound(SystemEntry entry)
{
    unsigned library = 0;
    while (entry >= FirstEntries[library + 1])
        ++library;
    DWORD error = SystemModules[library] == NULL ? ERROR_MOD_NOT_FOUND : ERROR_PROC_NOT_FOUND;
    SetLastError(error);
    return error;
}
