// Copying the driver files and the installation question.
#include "fixture.h"

#include <string.h>

#include <algorithm>
#include <filesystem>

namespace {

class FilesTest : public InstallerTest {
protected:
    static std::string Destination(const char *name)
    {
        return standin::M().driverDirectory + "\\" + name;
    }
};

TEST_F(FilesTest, AFirstInstallationCopiesTheFourFilesInOrderAndAsks)
{
    Answer({IDOK, IDNO});
    EXPECT_EQ(RunInstaller(), 1);

    std::vector<standin::Call> copies = standin::CallsTo("CopyFileA");
    std::vector<standin::Call> resets = standin::CallsTo("SetFileAttributesA");
    ASSERT_EQ(copies.size(), 4u);
    ASSERT_EQ(resets.size(), 4u);
    for (unsigned i = 0; i < 4; ++i) {
        const char *name = expected::PackageFiles[i];
        EXPECT_EQ(copies[i].args,
                  (std::vector<std::string>{std::string(".\\") + name, Destination(name), "0"}));
        EXPECT_EQ(resets[i].args, (std::vector<std::string>{Destination(name), "128"}));
        EXPECT_EQ(standin::FileContents(Destination(name)), std::string("contents of ") + name);
    }
    std::vector<std::string> called = standin::FunctionsCalled();
    auto firstReset = std::find(called.begin(), called.end(), "SetFileAttributesA");
    auto firstCopy = std::find(called.begin(), called.end(), "CopyFileA");
    EXPECT_LT(firstReset, firstCopy) << "attributes are reset before the copy";

    EXPECT_EQ(LogMessages(), ExpectedLog(4, {"Result = 0"}));
    EXPECT_TRUE(BoxesAre({{InstallQuestionText, InstallQuestionType},
                          {DefaultQuestionText, DefaultQuestionType},
                          {CompletionText, MB_ICONINFORMATION}}));
}

TEST_F(FilesTest, ReadOnlyCopiesInTheDriverDirectoryAreOverwritten)
{
    for (const char *name : expected::PackageFiles)
        standin::PutFile(Destination(name), "old version", FILE_ATTRIBUTE_READONLY);
    Answer({IDOK, IDNO});
    EXPECT_EQ(RunInstaller(), 1);
    for (const char *name : expected::PackageFiles)
        EXPECT_EQ(standin::FileContents(Destination(name)), std::string("contents of ") + name);
}

TEST_F(FilesTest, NoDriverFilesInTheCurrentDirectory)
{
    standin::M().currentDirectory = "C:\\ELSEWHERE";
    standin::MakeDirectory("C:\\ELSEWHERE");
    EXPECT_EQ(RunInstaller(), 0);
    EXPECT_TRUE(
        BoxesAre({{expected::CopyFailureText(expected::DataFile, standin::M().driverDirectory),
                   MB_ICONERROR},
                  {DoFilesErrorText, MB_ICONERROR}}));
    EXPECT_EQ(LogMessages(), (std::vector<std::string>{"", " BEGIN"}));
    EXPECT_EQ(standin::CallsTo("CopyFileA").size(), 1u);
    EXPECT_TRUE(standin::CallsTo("AddPrinterDriverA").empty());
}

TEST_F(FilesTest, AMissingThirdFileStopsTheCopiesThere)
{
    std::filesystem::remove(standin::HostPath(std::string("C:\\PKG\\") + expected::ConfigFile));
    EXPECT_EQ(RunInstaller(), 0);
    EXPECT_TRUE(
        BoxesAre({{expected::CopyFailureText(expected::ConfigFile, standin::M().driverDirectory),
                   MB_ICONERROR},
                  {DoFilesErrorText, MB_ICONERROR}}));
    EXPECT_EQ(LogMessages(), ExpectedLog(2));
    EXPECT_EQ(standin::CallsTo("CopyFileA").size(), 3u) << "the fourth file is never attempted";
    EXPECT_TRUE(standin::FileExists(Destination(expected::DriverFile)));
    EXPECT_FALSE(standin::FileExists(Destination(expected::HelperFile)));
}

TEST_F(FilesTest, CancelLeavesTheFilesCopiedAndStopsBeforeTheSpooler)
{
    Answer({IDCANCEL});
    EXPECT_EQ(RunInstaller(), 0);
    EXPECT_TRUE(
        BoxesAre({{InstallQuestionText, InstallQuestionType}, {DoFilesErrorText, MB_ICONERROR}}));
    for (const char *name : expected::PackageFiles)
        EXPECT_TRUE(standin::FileExists(Destination(name))) << name;
    EXPECT_EQ(LogMessages().size(), 6u);
    EXPECT_TRUE(standin::CallsTo("AddPrinterDriverA").empty());
    EXPECT_TRUE(standin::CallsTo("AddPrinterA").empty());
}

TEST_F(FilesTest, AnInstallationQuestionThatCannotBeShownIsNoConsent)
{
    standin::Fail("MessageBoxA", ERROR_NOT_ENOUGH_MEMORY, 1);
    EXPECT_EQ(RunInstaller(), 0);
    EXPECT_TRUE(BoxesAre({{DoFilesErrorText, MB_ICONERROR}}));
    EXPECT_TRUE(standin::CallsTo("AddPrinterDriverA").empty());
    EXPECT_TRUE(standin::CallsTo("AddPrinterA").empty());
}

TEST_F(FilesTest, ADriverDirectoryTooLongForADestinationIsAFailedCopy)
{
    // 256 bytes hold the directory, "\", the name and the NUL: the longest
    // name fits the longest directory that takes them all; one character more,
    // and the copies stop at the first name of that length.
    size_t longestName = 0;
    for (const char *name : expected::PackageFiles)
        longestName = std::max(longestName, strlen(name));
    int firstLongest = 0;
    while (strlen(expected::PackageFiles[firstLongest]) != longestName)
        ++firstLongest;
    const size_t longest = 256 - 2 - longestName;
    struct {
        size_t length;
        int copied; // files copied before the failure; 4 means none failed
    } cases[] = {{longest, 4}, {longest + 1, firstLongest}, {255, 0}};
    for (auto &c : cases) {
        StartOver();
        memset(DriverDirectory, 0, sizeof DriverDirectory);
        std::string directory = "C:\\" + std::string(c.length - 3, 'd');
        standin::M().driverDirectory = directory;
        standin::MakeDirectory(directory);
        if (c.copied == 4)
            Answer({IDOK, IDNO});
        EXPECT_EQ(RunInstaller(), c.copied == 4 ? 1 : 0) << c.length;
        EXPECT_EQ(standin::CallsTo("CopyFileA").size(), (size_t)c.copied) << c.length;
        for (const char *function : {"CopyFileA", "SetFileAttributesA"}) {
            for (const standin::Call &call : standin::CallsTo(function)) {
                const std::string &destination = call.args[function[0] == 'C' ? 1 : 0];
                std::string name = destination.substr(destination.rfind('\\') + 1);
                EXPECT_EQ(destination, directory + "\\" + name) << "a cut path was used";
                EXPECT_NE(std::find(std::begin(expected::PackageFiles),
                                    std::end(expected::PackageFiles), name),
                          std::end(expected::PackageFiles))
                    << "a cut path was used: " << name;
            }
        }
        if (c.copied < 4) {
            const char *failed = expected::PackageFiles[c.copied];
            ASSERT_EQ(standin::M().boxes.size(), 2u) << c.length;
            std::string opening = std::string(" .\\") + failed + " => \n " + directory;
            EXPECT_EQ(standin::M().boxes[0].text.rfind(opening, 0), 0u)
                << standin::M().boxes[0].text;
            EXPECT_EQ(standin::M().boxes[0].type, (UINT)MB_ICONERROR);
            EXPECT_EQ(standin::M().boxes[1].text, DoFilesErrorText);
            EXPECT_EQ(LogMessages().size(), 2u + c.copied) << c.length;
        }
    }
}

} // namespace
