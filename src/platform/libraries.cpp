// The print spooler, reached without a static import. WINSPOOL.DRV is not a
// Known DLL, so for an import Windows would first look in the installer's own
// folder, wherever the package was unpacked or downloaded, and run a file of
// that name found there with the administrator's rights. Instead the spooler
// is loaded once, by its full path in the system directory, and never
// unloaded; each entry is bound on its first call. The steps call the
// functions below as they would call the spooler's own.
//
// When the spooler cannot be loaded or lacks an entry, the call fails as the
// spooler's own failing call would, with the loader's error code as the last
// error (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND and the like).
#include "scrivox.h"

#include <winspool.h>

#include "text.h"

enum {
    GET_PRINTER_DRIVER_DIRECTORY,
    ADD_PRINTER_DRIVER,
    ADD_PRINTER,
    OPEN_PRINTER,
    GET_PRINTER,
    CLOSE_PRINTER,
    SET_DEFAULT_PRINTER, // NT 5 and later only; NT 4.0's spooler lacks it
};

static const char *const EntryNames[] = {
    "GetPrinterDriverDirectoryA",
    "AddPrinterDriverA",
    "AddPrinterA",
    "OpenPrinterA",
    "GetPrinterA",
    "ClosePrinter",
    "SetDefaultPrinterA",
};
static_assert(COUNT_OF(EntryNames) == SPOOLER_ENTRY_COUNT, "one name for each spooler entry");

enum { SYSTEM_PATH_SIZE = 260 }; // MAX_PATH: the system directory and "\winspool.drv"

static HMODULE LoadSpooler(void)
{
    if (SpoolerModule != NULL)
        return SpoolerModule;
    char path[SYSTEM_PATH_SIZE];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return NULL;
    if (!APPEND_TEXT(path, "\\winspool.drv"))
        return NULL; // a cut path would name another file
    // The altered search path makes the spooler's own imports be looked for
    // beside it, in the system directory, rather than beside the installer.
    SpoolerModule = LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
    return SpoolerModule;
}

// The entry as a pointer of its own type, or null when it cannot be had.
template <typename Entry> static Entry Bind(unsigned entry)
{
    if (SpoolerEntries[entry] == NULL && LoadSpooler() != NULL)
        SpoolerEntries[entry] = GetProcAddress(SpoolerModule, EntryNames[entry]);
    return EntryAs<Entry>(SpoolerEntries[entry]);
}

extern "C" {

BOOL WINAPI GetPrinterDriverDirectoryA(LPSTR server, LPSTR environment, DWORD level, LPBYTE buffer,
                                       DWORD size, LPDWORD needed)
{
    typedef BOOL(WINAPI * Entry)(LPSTR, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD);
    Entry entry = Bind<Entry>(GET_PRINTER_DRIVER_DIRECTORY);
    return entry != NULL ? entry(server, environment, level, buffer, size, needed) : FALSE;
}

BOOL WINAPI AddPrinterDriverA(LPSTR server, DWORD level, LPBYTE info)
{
    typedef BOOL(WINAPI * Entry)(LPSTR, DWORD, LPBYTE);
    Entry entry = Bind<Entry>(ADD_PRINTER_DRIVER);
    return entry != NULL ? entry(server, level, info) : FALSE;
}

HANDLE WINAPI AddPrinterA(LPSTR server, DWORD level, LPBYTE info)
{
    typedef HANDLE(WINAPI * Entry)(LPSTR, DWORD, LPBYTE);
    Entry entry = Bind<Entry>(ADD_PRINTER);
    return entry != NULL ? entry(server, level, info) : NULL;
}

BOOL WINAPI OpenPrinterA(LPSTR name, HANDLE *printer, LPPRINTER_DEFAULTSA defaults)
{
    typedef BOOL(WINAPI * Entry)(LPSTR, HANDLE *, LPPRINTER_DEFAULTSA);
    Entry entry = Bind<Entry>(OPEN_PRINTER);
    return entry != NULL ? entry(name, printer, defaults) : FALSE;
}

BOOL WINAPI GetPrinterA(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed)
{
    typedef BOOL(WINAPI * Entry)(HANDLE, DWORD, LPBYTE, DWORD, LPDWORD);
    Entry entry = Bind<Entry>(GET_PRINTER);
    return entry != NULL ? entry(printer, level, buffer, size, needed) : FALSE;
}

BOOL WINAPI ClosePrinter(HANDLE printer)
{
    typedef BOOL(WINAPI * Entry)(HANDLE);
    Entry entry = Bind<Entry>(CLOSE_PRINTER);
    return entry != NULL ? entry(printer) : FALSE;
}

BOOL WINAPI SetDefaultPrinterA(LPCSTR name)
{
    typedef BOOL(WINAPI * Entry)(LPCSTR);
    Entry entry = Bind<Entry>(SET_DEFAULT_PRINTER);
    return entry != NULL ? entry(name) : FALSE;
}

} // extern "C"
