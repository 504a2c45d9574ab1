// Host stand-in for <winspool.h>: the print spooler calls ScrivoxSetup uses.
// The installer defines these itself, as forwarders to the spooler module it
// loads; the stand-in's spooler is reached only through LoadLibraryExA and
// GetProcAddress.
#ifndef STANDIN_WINSPOOL_H
#define STANDIN_WINSPOOL_H

#include <windows.h>

typedef struct _devicemodeA *LPDEVMODEA;
typedef void *PSECURITY_DESCRIPTOR;
typedef struct _PRINTER_DEFAULTSA *LPPRINTER_DEFAULTSA;

typedef struct _DRIVER_INFO_3A {
    DWORD cVersion;
    LPSTR pName;
    LPSTR pEnvironment;
    LPSTR pDriverPath;
    LPSTR pDataFile;
    LPSTR pConfigFile;
    LPSTR pHelpFile;
    LPSTR pDependentFiles;
    LPSTR pMonitorName;
    LPSTR pDefaultDataType;
} DRIVER_INFO_3A;

typedef struct _PRINTER_INFO_2A {
    LPSTR pServerName;
    LPSTR pPrinterName;
    LPSTR pShareName;
    LPSTR pPortName;
    LPSTR pDriverName;
    LPSTR pComment;
    LPSTR pLocation;
    LPDEVMODEA pDevMode;
    LPSTR pSepFile;
    LPSTR pPrintProcessor;
    LPSTR pDatatype;
    LPSTR pParameters;
    PSECURITY_DESCRIPTOR pSecurityDescriptor;
    DWORD Attributes;
    DWORD Priority;
    DWORD DefaultPriority;
    DWORD StartTime;
    DWORD UntilTime;
    DWORD Status;
    DWORD cJobs;
    DWORD AveragePPM;
} PRINTER_INFO_2A;

#ifdef __cplusplus
extern "C" {
#endif

BOOL WINAPI GetPrinterDriverDirectoryA(LPSTR server, LPSTR environment, DWORD level, LPBYTE buffer,
                                       DWORD size, LPDWORD needed);
BOOL WINAPI AddPrinterDriverA(LPSTR server, DWORD level, LPBYTE info);
HANDLE WINAPI AddPrinterA(LPSTR server, DWORD level, LPBYTE info);
BOOL WINAPI OpenPrinterA(LPSTR name, HANDLE *printer, LPPRINTER_DEFAULTSA defaults);
BOOL WINAPI GetPrinterA(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed);
BOOL WINAPI ClosePrinter(HANDLE printer);
BOOL WINAPI SetDefaultPrinterA(LPCSTR name);

#ifdef __cplusplus
}
#endif

#endif
