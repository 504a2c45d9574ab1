// Classification of the running Windows version.
#include "scrivox.h"

PlatformCode DetectWindowsVersion(void)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return PLATFORM_UNKNOWN;

    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        switch (version.dwMajorVersion) {
        case 5:
            return PLATFORM_NT5;
        case 4:
            return version.dwMinorVersion == 0 ? PLATFORM_NT4 : PLATFORM_UNKNOWN;
        case 3:
            return version.dwMinorVersion == 51 ? PLATFORM_NT351 : PLATFORM_UNKNOWN;
        default:
            return PLATFORM_UNKNOWN;
        }
    }
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        // Windows 9x: only the minor version tells 95 from 98.
        if (version.dwMinorVersion == 0)
            return PLATFORM_WIN95;
        if (version.dwMinorVersion == 10)
            return PLATFORM_WIN98;
    }
    return PLATFORM_UNKNOWN;
}
