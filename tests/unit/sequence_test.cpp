// The installation sequence as a whole: the driver-directory step, the
// completion message and the order of the steps.
#include "fixture.h"

#include <string.h>

namespace {

class SequenceTest : public InstallerTest {};

TEST_F(SequenceTest, TheDriverDirectoryIsAskedOfTheLocalSpoolerForThisPlatform)
{
    Answer({IDOK, IDNO});
    ASSERT_EQ(RunInstaller(), 1);
    std::vector<standin::Call> queries = standin::CallsTo("GetPrinterDriverDirectoryA");
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].args,
              (std::vector<std::string>{"(null)", "(null)", "1", "ptr", "256", "ptr"}));
    EXPECT_STREQ(DriverDirectory, standin::M().driverDirectory.c_str());
}

TEST_F(SequenceTest, AFailedDriverDirectoryQueryEndsSilently)
{
    struct {
        const char *why;
        void (*arrange)();
    } cases[] = {
        {"query fails", [] { standin::Fail("GetPrinterDriverDirectoryA", ERROR_ACCESS_DENIED); }},
        {"directory longer than the buffer",
         [] { standin::M().driverDirectory = "C:\\" + std::string(300, 'D'); }},
        {"an answer without its terminator",
         [] {
             standin::M().driverDirectory = "C:\\" + std::string(300, 'D');
             standin::M().driverDirectoryUnterminated = true;
         }},
    };
    for (auto &c : cases) {
        StartOver();
        c.arrange();
        ExpectEndedSilently(c.why);
    }
}

TEST_F(SequenceTest, ACompletedRunEndsWithTheCompletionBoxAndOne)
{
    Answer({IDOK, IDNO});
    EXPECT_EQ(RunInstaller(), 1);
    ASSERT_FALSE(standin::M().boxes.empty());
    const standin::Box &last = standin::M().boxes.back();
    EXPECT_EQ(last.text, CompletionText);
    EXPECT_EQ(last.type, (UINT)MB_ICONINFORMATION);
    EXPECT_EQ(last.caption, expected::Caption);
    EXPECT_EQ(last.owner, (HWND)NULL);
}

TEST_F(SequenceTest, TheStepsRunInOrder)
{
    Answer({IDOK, IDNO});
    ASSERT_EQ(RunInstaller(), 1);
    // The first call of each step's characteristic operation, in order; a box
    // is known by its text.
    const struct {
        const char *function, *boxText;
    } steps[] = {{"CreateFileW", NULL},
                 {"GetVersionExA", NULL},
                 {"GetPrinterDriverDirectoryA", NULL},
                 {"CopyFileA", NULL},
                 {"MessageBoxA", InstallQuestionText},
                 {"AddPrinterDriverA", NULL},
                 {"AddPrinterA", NULL},
                 {"RegCreateKeyExA", NULL},
                 {"WritePrivateProfileStringA", NULL},
                 {"MessageBoxA", DefaultQuestionText},
                 {"MessageBoxA", CompletionText}};
    const std::vector<standin::Call> &calls = standin::M().calls;
    auto at = calls.begin();
    for (const auto &step : steps) {
        at = std::find_if(at, calls.end(), [&](const standin::Call &call) {
            return call.function == step.function &&
                   (step.boxText == NULL || call.args[1] == step.boxText);
        });
        ASSERT_NE(at, calls.end()) << step.function << " " << (step.boxText ? step.boxText : "")
                                   << " not called after the previous step";
    }
}

} // namespace

namespace {

TEST_F(SequenceTest, AFirstInstallationOnNt4AndNt5ShowsEveryBoxAndLogsEveryStep)
{
    const struct {
        const char *system;
        DWORD major;
    } systems[] = {{"Windows NT 4.0", 4}, {"Windows 2000", 5}};
    for (const auto &system : systems) {
        StartOver();
        memset(DriverDirectory, 0, sizeof DriverDirectory);
        SetVersion(VER_PLATFORM_WIN32_NT, system.major, 0);
        Answer({IDOK, IDYES});
        EXPECT_EQ(RunInstaller(), 1) << system.system;
        EXPECT_TRUE(BoxesAre({{InstallQuestionText, InstallQuestionType},
                              {DefaultQuestionText, DefaultQuestionType},
                              {CompletionText, MB_ICONINFORMATION}}))
            << system.system;
        EXPECT_EQ(LogMessages(), ExpectedLog(4, {"Result = 0"})) << system.system;
        EXPECT_EQ(standin::M().defaultPrinter, expected::DriverName) << system.system;
    }
}

} // namespace
