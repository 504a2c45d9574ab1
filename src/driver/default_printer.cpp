// Offers to make the installed printer the user's default, and makes a named
// printer the default: through win.ini's device entry on NT 4.0, through the
// spooler's SetDefaultPrinterA on NT 5 and later. NT 4.0's spooler has no
// SetDefaultPrinterA; like every spooler entry it is bound on its first call
// (src/platform/spooler.cpp), so it is never asked for there.
#include "scrivox.h"

#include <winspool.h>

#include "text.h"

// Writes "name,driver,port" as the "device" entry of win.ini's [windows]
// section. What it acquires is handed back to the caller, which releases it.
static int WriteDeviceEntry(LPSTR name, HANDLE *printer, PRINTER_INFO_2A **info, char **device)
{
    if (!OpenPrinterA(name, printer, NULL)) {
        *printer = NULL;
        return 0;
    }
    if (*printer == NULL)
        return 0;

    DWORD needed = 0;
    GetPrinterA(*printer, 2, NULL, 0, &needed);
    if (needed == 0)
        return 0;
    *info = (PRINTER_INFO_2A *)GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, needed);
    if (*info == NULL)
        return 0;
    if (!GetPrinterA(*printer, 2, (LPBYTE)*info, needed, &needed))
        return 0;
    const char *driverName = (*info)->pDriverName;
    const char *portName = (*info)->pPortName;
    if (driverName == NULL || portName == NULL)
        return 0;

    // Exactly the three texts, two commas and the NUL.
    unsigned size = TextLength(name) + TextLength(driverName) + TextLength(portName) + 3;
    *device = (char *)GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, size);
    if (*device == NULL)
        return 0;
    int fits = CopyText(*device, size, name);
    fits = fits && AppendText(*device, size, ",");
    fits = fits && AppendText(*device, size, driverName);
    fits = fits && AppendText(*device, size, ",");
    fits = fits && AppendText(*device, size, portName);
    if (!fits)
        return 0;
    return WriteProfileStringA("windows", "device", *device) != 0;
}

int MakeDefaultPrinter(LPSTR name)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    BOOL known = GetVersionExA(&version);
    if (name == NULL)
        return 0;
    if (!known || version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return 0;

    HANDLE printer = NULL;
    PRINTER_INFO_2A *info = NULL;
    char *device = NULL;
    int made;
    if (version.dwMajorVersion < 5)
        made = WriteDeviceEntry(name, &printer, &info, &device);
    else
        made = SetDefaultPrinterA(name) != 0;

    if (made) {
        // Running programs re-read the default printer on this notice.
        SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, 0, SMTO_NORMAL, 1000, NULL);
    }
    if (printer != NULL)
        ClosePrinter(printer);
    if (info != NULL)
        GlobalFree(info);
    if (device != NULL)
        GlobalFree(device);
    return made;
}

void OfferDefaultPrinter(void)
{
    COPY_TEXT(MessageBuffer, "Set Quorvane Scrivox as default?");
    int answer = MessageBoxA(NULL, MessageBuffer, InstallerCaption,
                             MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL);
    if (answer == IDYES) {
        // The printer the installer registers bears the driver's name.
        char printerName[] = DRIVER_NAME;
        MakeDefaultPrinter(printerName);
    }
}
