// Classification of the Windows version, and the gate that lets only NT 4.0
// and NT 5.x install.
#include "fixture.h"

namespace {

struct VersionCase {
    const char *system;
    DWORD platform, major, minor;
    PlatformCode code;
};

const VersionCase Versions[] = {
    {"Windows 2000", VER_PLATFORM_WIN32_NT, 5, 0, PLATFORM_NT5},
    {"Windows XP", VER_PLATFORM_WIN32_NT, 5, 1, PLATFORM_NT5},
    {"Windows Server 2003", VER_PLATFORM_WIN32_NT, 5, 2, PLATFORM_NT5},
    {"NT 5 with an unknown minor", VER_PLATFORM_WIN32_NT, 5, 7, PLATFORM_NT5},
    {"Windows NT 4.0", VER_PLATFORM_WIN32_NT, 4, 0, PLATFORM_NT4},
    {"NT 4.1", VER_PLATFORM_WIN32_NT, 4, 1, PLATFORM_UNKNOWN},
    {"Windows NT 3.51", VER_PLATFORM_WIN32_NT, 3, 51, PLATFORM_NT351},
    {"NT 3.5", VER_PLATFORM_WIN32_NT, 3, 50, PLATFORM_UNKNOWN},
    {"Windows Vista", VER_PLATFORM_WIN32_NT, 6, 0, PLATFORM_UNKNOWN},
    {"Windows 7", VER_PLATFORM_WIN32_NT, 6, 1, PLATFORM_UNKNOWN},
    {"Windows 10", VER_PLATFORM_WIN32_NT, 10, 0, PLATFORM_UNKNOWN},
    {"Windows 95", VER_PLATFORM_WIN32_WINDOWS, 4, 0, PLATFORM_WIN95},
    {"Windows 98", VER_PLATFORM_WIN32_WINDOWS, 4, 10, PLATFORM_WIN98},
    {"9x minor 10, major not examined", VER_PLATFORM_WIN32_WINDOWS, 9, 10, PLATFORM_WIN98},
    {"Windows Me", VER_PLATFORM_WIN32_WINDOWS, 4, 90, PLATFORM_UNKNOWN},
    {"Win32s", VER_PLATFORM_WIN32s, 3, 10, PLATFORM_UNKNOWN},
};

class VersionTest : public InstallerTest {};

TEST_F(VersionTest, EachSystemHasItsCode)
{
    for (const VersionCase &v : Versions) {
        SetVersion(v.platform, v.major, v.minor);
        EXPECT_EQ(DetectWindowsVersion(), v.code) << v.system;
    }
    for (const standin::Call &call : standin::CallsTo("GetVersionExA"))
        EXPECT_EQ(call.args[0], "148") << "the record's size field";
}

TEST_F(VersionTest, AFailedQueryIsUnknown)
{
    standin::Fail("GetVersionExA", ERROR_INVALID_PARAMETER);
    EXPECT_EQ(DetectWindowsVersion(), PLATFORM_UNKNOWN);
}

TEST_F(VersionTest, OnlyNt4AndNt5PassTheGate)
{
    for (const VersionCase &v : Versions) {
        StartOver();
        SetVersion(v.platform, v.major, v.minor);
        bool accepted = v.code == PLATFORM_NT4 || v.code == PLATFORM_NT5;
        if (accepted) {
            Answer({IDOK, IDNO});
            EXPECT_EQ(RunInstaller(), 1) << v.system;
        } else {
            ExpectRefused(v.system);
        }
    }
}

// A 32-bit program sees NT 5.x on a 64-bit Windows too; only KERNEL32's
// IsWow64Process, or failing that GetNativeSystemInfo, tells it apart.
TEST_F(VersionTest, ASixtyFourBitWindowsIsNotRecognised)
{
    enum IsWow64Process { ABSENT, FAILS, SAYS_NO, SAYS_YES };
    const WORD X86 = PROCESSOR_ARCHITECTURE_INTEL, AMD64 = PROCESSOR_ARCHITECTURE_AMD64,
               IA64 = PROCESSOR_ARCHITECTURE_IA64;
    const struct {
        const char *system;
        IsWow64Process isWow64Process;
        bool hasGetNativeSystemInfo;
        WORD nativeArchitecture;
        PlatformCode code;
    } cases[] = {
        {"Windows 2000: neither entry", ABSENT, false, X86, PLATFORM_NT5},
        {"XP SP2, 32-bit", SAYS_NO, true, X86, PLATFORM_NT5},
        {"XP x64", SAYS_YES, true, AMD64, PLATFORM_UNKNOWN},
        {"XP before SP2, 32-bit", ABSENT, true, X86, PLATFORM_NT5},
        {"only GetNativeSystemInfo, AMD64", ABSENT, true, AMD64, PLATFORM_UNKNOWN},
        {"only GetNativeSystemInfo, IA64", ABSENT, true, IA64, PLATFORM_UNKNOWN},
        {"IsWow64Process fails on 2003 x64", FAILS, true, AMD64, PLATFORM_UNKNOWN},
        {"IsWow64Process fails on a 32-bit XP", FAILS, true, X86, PLATFORM_NT5},
    };
    for (const auto &c : cases) {
        StartOver();
        standin::M().wow64 = c.isWow64Process == SAYS_YES;
        standin::M().nativeArchitecture = c.nativeArchitecture;
        if (c.isWow64Process == ABSENT)
            standin::M().missingEntries.insert("IsWow64Process");
        if (!c.hasGetNativeSystemInfo)
            standin::M().missingEntries.insert("GetNativeSystemInfo");
        if (c.isWow64Process == FAILS)
            standin::Fail("IsWow64Process", ERROR_INVALID_PARAMETER);
        Rebind();
        EXPECT_EQ(DetectWindowsVersion(), c.code) << c.system;
    }

    // Refused at the gate like any system not recognised, before anything is done.
    StartOver();
    standin::M().wow64 = true;
    standin::M().nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    ExpectRefused("XP x64");
}

TEST_F(VersionTest, AFailedQueryIsRefused)
{
    standin::Fail("GetVersionExA", ERROR_INVALID_PARAMETER);
    ExpectRefused("version query fails");
}

} // namespace
