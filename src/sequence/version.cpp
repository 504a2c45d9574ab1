// Classification of the running Windows version. The installer and its driver
// are for 32-bit Windows on x86. A 64-bit Windows (XP x64, Server 2003 x64, the
// Itanium editions) runs the installer under WOW64 and reports NT 5.x to it,
// but it never loads a 32-bit printer driver: its spooler would refuse the
// printer after the files were copied. So it is not recognised.
#include "scrivox.h"

// Both entries are bound from KERNEL32 at run time: NT 4.0, Windows 2000 and
// XP before SP2 lack IsWow64Process, and NT 4.0 and 2000 GetNativeSystemInfo,
// so an import of either would keep the program from loading there.
typedef BOOL(WINAPI *IsWow64ProcessEntry)(HANDLE process, PBOOL wow64);
typedef void(WINAPI *GetNativeSystemInfoEntry)(LPSYSTEM_INFO info);

// Whether this 32-bit program runs on a 64-bit Windows. A system that has
// neither entry is a 32-bit one.
static int IsSixtyFourBitWindows(void)
{
    LoadSystemLibrary(LIBRARY_KERNEL32);
    IsWow64ProcessEntry isWow64Process = Bound<IsWow64ProcessEntry>(ENTRY_IS_WOW64_PROCESS);
    BOOL wow64 = FALSE;
    if (isWow64Process != NULL && isWow64Process(GetCurrentProcess(), &wow64))
        return wow64 != FALSE;
    // No answer from IsWow64Process: the processor the system itself runs on.
    GetNativeSystemInfoEntry getNativeSystemInfo =
        Bound<GetNativeSystemInfoEntry>(ENTRY_GET_NATIVE_SYSTEM_INFO);
    if (getNativeSystemInfo == NULL)
        return 0;
    SYSTEM_INFO system = {};
    getNativeSystemInfo(&system);
    return system.wProcessorArchitecture != PROCESSOR_ARCHITECTURE_INTEL;
}

static PlatformCode ClassifyVersion(const OSVERSIONINFOA &version)
{
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

PlatformCode DetectWindowsVersion(void)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return PLATFORM_UNKNOWN;

    PlatformCode platform = ClassifyVersion(version);
    // Only the systems the installer accepts need the closer look.
    if ((platform == PLATFORM_NT4 || platform == PLATFORM_NT5) && IsSixtyFourBitWindows())
        return PLATFORM_UNKNOWN;
    return platform;
}
