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
        if (accepted)
            Answer({IDOK, IDNO});
        int result = RunInstaller();
        EXPECT_EQ(result, accepted ? 1 : 0) << v.system;
        if (!accepted) {
            EXPECT_TRUE(BoxesAre({{RefusalText, MB_ICONERROR}})) << v.system;
            EXPECT_EQ(LogMessages(), (std::vector<std::string>{"", " BEGIN"})) << v.system;
            EXPECT_TRUE(standin::CallsTo("GetPrinterDriverDirectoryA").empty()) << v.system;
            EXPECT_TRUE(standin::CallsTo("CopyFileA").empty()) << v.system;
        }
    }
}

TEST_F(VersionTest, AFailedQueryIsRefused)
{
    standin::Fail("GetVersionExA", ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RunInstaller(), 0);
    EXPECT_TRUE(BoxesAre({{RefusalText, MB_ICONERROR}}));
}

} // namespace
