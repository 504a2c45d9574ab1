// The print spooler's entries, called by the steps as they would call the
// spooler's own. When the spooler could not be loaded or lacks an entry, the
// call fails as the spooler's own failing call would, with the loader's error
// code as the last error (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND). NT 4.0's
// spooler lacks SetDefaultPrinterA, which is only ever called on NT 5.
#include "scrivox.h"

#include <winspool.h>

extern "C" {

BOOL WINAPI GetPrinterDriverDirectoryA(LPSTR server, LPSTR environment, DWORD level, LPBYTE buffer,
                                       DWORD size, LPDWORD needed)
{
    typedef BOOL(WINAPI * Entry)(LPSTR, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD);
    Entry entry = Bound<Entry>(ENTRY_GET_PRINTER_DRIVER_DIRECTORY);
    return entry != NULL ? entry(server, environment, level, buffer, size, needed)
                         : (Unbound(ENTRY_GET_PRINTER_DRIVER_DIRECTORY), FALSE);
}

BOOL WINAPI AddPrinterDriverA(LPSTR server, DWORD level, LPBYTE info)
{
    typedef BOOL(WINAPI * Entry)(LPSTR, DWORD, LPBYTE);
    Entry entry = Bound<Entry>(ENTRY_ADD_PRINTER_DRIVER);
    return entry != NULL ? entry(server, level, info) : (Unbound(ENTRY_ADD_PRINTER_DRIVER), FALSE);
}

HANDLE WINAPI AddPrinterA(LPSTR server, DWORD level, LPBYTE info)
{
    typedef HANDLE(WINAPI * Entry)(LPSTR, DWORD, LPBYTE);
    Entry entry = Bound<Entry>(ENTRY_ADD_PRINTER);
    return entry != NULL ? entry(server, level, info)
                         : (Unbound(ENTRY_ADD_PRINTER), static_cast<HANDLE>(NULL));
}

BOOL WINAPI OpenPrinterA(LPSTR name, HANDLE *printer, LPPRINTER_DEFAULTSA defaults)
{
    typedef BOOL(WINAPI * Entry)(LPSTR, HANDLE *, LPPRINTER_DEFAULTSA);
    Entry entry = Bound<Entry>(ENTRY_OPEN_PRINTER);
    return entry != NULL ? entry(name, printer, defaults) : (Unbound(ENTRY_OPEN_PRINTER), FALSE);
}

BOOL WINAPI GetPrinterA(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed)
{
    typedef BOOL(WINAPI * Entry)(HANDLE, DWORD, LPBYTE, DWORD, LPDWORD);
    Entry entry = Bound<Entry>(ENTRY_GET_PRINTER);
    return entry != NULL ? entry(printer, level, buffer, size, needed)
                         : (Unbound(ENTRY_GET_PRINTER), FALSE);
}

BOOL WINAPI ClosePrinter(HANDLE printer)
{
    typedef BOOL(WINAPI * Entry)(HANDLE);
    Entry entry = Bound<Entry>(ENTRY_CLOSE_PRINTER);
    return entry != NULL ? entry(printer) : (Unbound(ENTRY_CLOSE_PRINTER), FALSE);
}

BOOL WINAPI SetDefaultPrinterA(LPCSTR name)
{
    typedef BOOL(WINAPI * Entry)(LPCSTR);
    Entry entry = Bound<Entry>(ENTRY_SET_DEFAULT_PRINTER);
    return entry != NULL ? entry(name) : (Unbound(ENTRY_SET_DEFAULT_PRINTER), FALSE);
}

} // extern "C"
