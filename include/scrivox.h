// Shared constants, process-wide buffers and the routines of ScrivoxSetup.
#ifndef SCRIVOX_H
#define SCRIVOX_H

#include <windows.h>

// Texts kept as macros too, so that a routine can build a writable copy
// (char name[] = DRIVER_NAME;) for the spooler's LPSTR fields.
#define INSTALLER_CAPTION "Quorvane Scrivox Installer"
#define DRIVER_NAME "Scrivox Demo NT Driver"
#define PRODUCT_PRINTER_NAME "Quorvane Scrivox"

static const char InstallerCaption[] = INSTALLER_CAPTION;
static const char DriverName[] = DRIVER_NAME;
static const char ProductPrinterName[] = PRODUCT_PRINTER_NAME;

// The package's driver files, in the order they are copied.
enum { DRIVER_FILE_COUNT = 4 };
static const char *const DriverFileSet[DRIVER_FILE_COUNT] = {
    "SCRIVOX.PPD",
    "SCRVDRV.DLL",
    "SCRVUI.DLL",
    "SCRVUMPD.DLL",
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

// Process-wide buffers, zero-filled at start and owned by the sequence.
enum { DRIVER_DIRECTORY_SIZE = 256, MESSAGE_BUFFER_SIZE = 1024 };
extern char DriverDirectory[DRIVER_DIRECTORY_SIZE]; // the spooler's driver directory
extern char MessageBuffer[MESSAGE_BUFFER_SIZE];     // scratch text for message boxes

// The print spooler, loaded from the system directory on first use and never
// unloaded, and its entries as they are bound (src/platform/spooler.cpp).
enum { SPOOLER_ENTRY_COUNT = 7 };
extern HMODULE SpoolerModule;
extern FARPROC SpoolerEntries[SPOOLER_ENTRY_COUNT];

// An entry found with GetProcAddress as a pointer of its own type; null stays
// null. The detour through a plain function pointer is the cast GCC accepts
// between unrelated function types.
template <typename Entry> inline Entry EntryAs(FARPROC entry)
{
    return reinterpret_cast<Entry>(reinterpret_cast<void (*)(void)>(entry));
}

// Install log: appends one timestamped entry to %TEMP%\Scrivox.log.
void WriteLog(const char *format, ...);

PlatformCode DetectWindowsVersion(void);
int DoFiles(void);
int AddDriverAndPrinter(void);
void WriteDriverSettings(void);
void OfferDefaultPrinter(void);
int MakeDefaultPrinter(LPSTR name);

#endif
