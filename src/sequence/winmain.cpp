// The installer's entry routine: one linear pass through the installation
// steps, stopping at the first that fails. Nothing done is ever undone.
#include "scrivox.h"

#include <winspool.h>

#include "text.h"

// The spooler's answer counts only when it is a whole, terminated path.
static int QueryDriverDirectory(void)
{
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryA(NULL, NULL, 1, (LPBYTE)DriverDirectory, sizeof DriverDirectory,
                                    &needed))
        return 0;
    for (unsigned i = 0; i < sizeof DriverDirectory; ++i) {
        if (DriverDirectory[i] == '\0')
            return 1;
    }
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;

    WriteLog("\n BEGIN");

    PlatformCode platform = DetectWindowsVersion();
    if (platform != PLATFORM_NT4 && platform != PLATFORM_NT5) {
        MessageBoxA(NULL, "This driver requires Windows NT 4.0 or 2000", InstallerCaption,
                    MB_ICONERROR);
        return 0;
    }

    if (!QueryDriverDirectory())
        return 0;

    if (!DoFiles()) {
        MessageBoxA(NULL, "Error 01: (DoFiles)", InstallerCaption, MB_ICONERROR);
        return 0;
    }

    if (!AddDriverAndPrinter())
        return 0; // the log holds the spooler's error code

    WriteDriverSettings();
    OfferDefaultPrinter();

    COPY_TEXT(MessageBuffer, "Install procedure has been\nsuccessfully completed.");
    MessageBoxA(NULL, MessageBuffer, InstallerCaption, MB_ICONINFORMATION);
    return 1;
}
