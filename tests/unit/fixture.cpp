#include "fixture.h"

#include <string.h>

void InstallerTest::SetUp()
{
    StartOver();
}

void InstallerTest::StartOver()
{
    standin::Reset();
    memset(DriverDirectory, 0, sizeof DriverDirectory);
    memset(MessageBuffer, 0, sizeof MessageBuffer);
    Rebind();
    standin::ForgetCalls();
}

void InstallerTest::Rebind()
{
    memset(SystemModules, 0, sizeof SystemModules);
    memset(SystemEntries, 0, sizeof SystemEntries);
    LoadSystemLibraries();
}

void InstallerTest::TearDown()
{
    EXPECT_EQ(standin::M().unansweredBoxes, 0)
        << "a question was shown that the test did not answer";
    EXPECT_TRUE(standin::M().answers.empty()) << "answers were left over: a box was not shown";
    EXPECT_TRUE(standin::M().openFiles.empty()) << "a file handle was left open";
    EXPECT_TRUE(standin::M().openFolders.empty()) << "a folder handle was left open";
}

int InstallerTest::RunInstaller()
{
    Rebind(); // as the program does before its installation, in place or as the copy
    char commandLine[] = "";
    return WinMain(NULL, NULL, commandLine, 1);
}

int InstallerTest::StartProgram()
{
    memset(SystemModules, 0, sizeof SystemModules);
    memset(SystemEntries, 0, sizeof SystemEntries);
    return StartSetup();
}

void InstallerTest::Answer(std::vector<int> answers)
{
    standin::M().answers = std::move(answers);
}

void InstallerTest::SetVersion(DWORD platform, DWORD major, DWORD minor)
{
    standin::M().platformId = platform;
    standin::M().majorVersion = major;
    standin::M().minorVersion = minor;
}

std::vector<std::string> InstallerTest::LogMessages()
{
    expected::LogLines log = expected::ReadLog(standin::FileContents(LogPath));
    EXPECT_EQ(log.fault, "") << "the log's form";
    return log.messages;
}

std::vector<std::string> InstallerTest::LogAfterCopies()
{
    std::vector<std::string> log = LogMessages();
    return std::vector<std::string>(log.begin() + std::min<size_t>(6, log.size()), log.end());
}

void InstallerTest::ExpectEndedSilently(const char *why)
{
    EXPECT_EQ(RunInstaller(), 0) << why;
    EXPECT_TRUE(BoxesAre({})) << why;
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"", " BEGIN"})) << why;
    EXPECT_TRUE(standin::CallsTo("CopyFileA").empty()) << why;
}

void InstallerTest::ExpectRefused(const char *why)
{
    EXPECT_EQ(RunInstaller(), 0) << why;
    EXPECT_TRUE(BoxesAre({{RefusalText, MB_ICONERROR}})) << why;
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"", " BEGIN"})) << why;
    EXPECT_TRUE(standin::CallsTo("GetPrinterDriverDirectoryA").empty()) << why;
    EXPECT_TRUE(standin::CallsTo("CopyFileA").empty()) << why;
}

::testing::AssertionResult BoxesAre(const std::vector<ExpectedBox> &expected)
{
    const std::vector<standin::Box> &shown = standin::M().boxes;
    for (size_t i = 0; i < shown.size() || i < expected.size(); ++i) {
        if (i >= shown.size())
            return ::testing::AssertionFailure()
                   << "box " << i << " \"" << expected[i].text << "\" was expected but not shown";
        if (i >= expected.size())
            return ::testing::AssertionFailure()
                   << "box " << i << " \"" << shown[i].text << "\" was shown but not expected";
        const standin::Box &box = shown[i];
        if (box.text != expected[i].text || box.type != expected[i].type ||
            box.caption != expected::Caption || box.owner != NULL)
            return ::testing::AssertionFailure()
                   << "box " << i << ": got text \"" << box.text << "\" type 0x" << std::hex
                   << box.type << " caption \"" << box.caption << "\" owner "
                   << (box.owner ? "set" : "none") << "; expected \"" << expected[i].text
                   << "\" type 0x" << expected[i].type << " caption \"" << expected::Caption
                   << "\" owner none";
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::string> LibrariesLoaded()
{
    std::vector<std::string> names;
    for (const standin::Call &call : standin::CallsTo("LoadLibraryExA"))
        names.push_back(call.args[0].substr(call.args[0].rfind('\\') + 1));
    return names;
}
