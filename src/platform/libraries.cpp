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

// KERNEL32 and NTDLL by name alone: the loader finds those already loaded
// without any search. The others by their paths in the system directory.
static const char *const LibraryNames[] = {
    "kernel32.dll", "ntdll.dll", "\\user32.dll", "\\advapi32.dll", "\\winspool.drv",
};
static_assert(COUNT_OF(LibraryNames) == SYSTEM_LIBRARY_COUNT, "one name for each library");

// The entries' exported names one after another, each ended by its NUL, in
// the order of their list.
static constexpr char EntryNames[] =
#define SYSTEM_ENTRY(library, entry, exported) #exported "\0"
#include "system_entries.inc"
#undef SYSTEM_ENTRY
    ;
// Each entry's library, for the compile-time work below only.
static constexpr SystemLibrary EntryLibraries[] = {
#define SYSTEM_ENTRY(library, entry, exported) LIBRARY_##library,
#include "system_entries.inc"
#undef SYSTEM_ENTRY
};
static_assert(COUNT_OF(EntryLibraries) == SYSTEM_ENTRY_COUNT, "one library for each entry");

// Whether each library's entries stand together, the libraries in their order.
static constexpr bool Grouped()
{
    for (unsigned i = 1; i < SYSTEM_ENTRY_COUNT; ++i) {
        if (EntryLibraries[i] < EntryLibraries[i - 1])
            return false;
    }
    return true;
}
static_assert(Grouped(), "a library's entries stand together, in the libraries' order");

// The number of the first entry of a library: the count of those before it.
static constexpr BYTE FirstEntryOf(unsigned library)
{
    BYTE first = 0;
    for (SystemLibrary owner : EntryLibraries)
        first += owner < library ? 1 : 0;
    return first;
}
// Each library's first entry, and the count of all after the last; a byte
// each, for they are few.
static const BYTE FirstEntries[] = {
    FirstEntryOf(LIBRARY_KERNEL32), FirstEntryOf(LIBRARY_NTDLL),   FirstEntryOf(LIBRARY_USER32),
    FirstEntryOf(LIBRARY_ADVAPI32), FirstEntryOf(LIBRARY_SPOOLER), SYSTEM_ENTRY_COUNT,
};
static_assert(COUNT_OF(FirstEntries) == SYSTEM_LIBRARY_COUNT + 1, "a first entry for each library");
static_assert(SYSTEM_ENTRY_COUNT < 256, "every entry's number fits a byte");

HMODULE LoadSystemLibrary(SystemLibrary library)
{
    if (SystemModules[library] != NULL)
        return SystemModules[library];
    HMODULE module = NULL;
    char path[PATH_SIZE];
    UINT length;
    if (library <= LIBRARY_NTDLL) {
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

int EntriesBound(SystemEntry first, SystemEntry last)
{
    for (unsigned entry = first; entry <= last; ++entry) {
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
