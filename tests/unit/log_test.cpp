// The install log, checked in the file the stand-in's file system holds.
#include "fixture.h"

#include <string>

namespace {

class LogTest : public InstallerTest {};

TEST_F(LogTest, AnEntryStartsWithDateAndTimeAndEndsInCrLf)
{
    standin::M().clock = {2004, 3, 6, 6, 9, 5, 7, 0}; // 6 March 2004, 9:05:07
    WriteLog("Copied %s", ".\\SCRIVOX.PPD");
    EXPECT_EQ(standin::FileContents(LogPath), "03/06/04 09:05:07 Copied .\\SCRIVOX.PPD\r\n");

    standin::M().clock = {2010, 12, 5, 31, 23, 59, 58, 999};
    WriteLog("Result = %d", 5);
    EXPECT_EQ(standin::FileContents(LogPath),
              "03/06/04 09:05:07 Copied .\\SCRIVOX.PPD\r\n12/31/10 23:59:58 Result = 5\r\n");
}

TEST_F(LogTest, TheStartEntrySpansTwoLinesAndEveryLineFeedBecomesCrLf)
{
    WriteLog("\n BEGIN");
    WriteLog("one\ntwo");
    EXPECT_EQ(standin::FileContents(LogPath),
              "03/06/04 09:05:07 \r\n BEGIN\r\n03/06/04 09:05:07 one\r\ntwo\r\n");
}

TEST_F(LogTest, EachEntryReadsTheClockOnce)
{
    WriteLog("\n BEGIN");
    EXPECT_EQ(standin::CallsTo("GetLocalTime").size(), 1u)
        << "date and time must come from one reading";
}

TEST_F(LogTest, TheFileIsOpenedForAppendingWithSharing)
{
    WriteLog("x");
    std::vector<standin::Call> opens = standin::CallsTo("CreateFileA");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].args[0], LogPath);
    EXPECT_EQ(opens[0].args[1], std::to_string(GENERIC_WRITE));
    EXPECT_EQ(opens[0].args[2], std::to_string(FILE_SHARE_READ | FILE_SHARE_WRITE));
    EXPECT_EQ(opens[0].args[4], std::to_string(OPEN_ALWAYS));
    EXPECT_EQ(standin::CallsTo("GetTempPathA")[0].args[0], "512");
    EXPECT_EQ(standin::FileAttributes(LogPath), (DWORD)FILE_ATTRIBUTE_ARCHIVE)
        << "the log is made an ordinary file, open to the next entry";
}

TEST_F(LogTest, AFailedSeekToTheEndSkipsTheEntry)
{
    standin::PutFile(LogPath, "earlier run\r\n");
    standin::Fail("SetFilePointer", ERROR_INVALID_PARAMETER);
    WriteLog("x");
    EXPECT_EQ(standin::FileContents(LogPath), "earlier run\r\n")
        << "an entry written where the file was opened overwrites its start";
    EXPECT_TRUE(standin::CallsTo("WriteFile").empty());
}

TEST_F(LogTest, TwoRunsAppendToTheSameFile)
{
    standin::PutFile(LogPath, "earlier run\r\n");
    Answer({IDOK, IDNO});
    ASSERT_EQ(RunInstaller(), 1);
    memset(MessageBuffer, 0, sizeof MessageBuffer);
    Answer({IDOK, IDNO});
    standin::M().clock.wDay = 7;
    ASSERT_EQ(RunInstaller(), 1);
    std::string log = standin::FileContents(LogPath);
    EXPECT_EQ(log.rfind("earlier run\r\n03/06/04 09:05:07 \r\n BEGIN\r\n", 0), 0u) << log;
    EXPECT_NE(log.find("\r\n03/07/04 09:05:07 \r\n BEGIN\r\n"), std::string::npos) << log;
    std::vector<std::string> messages = LogMessages();
    EXPECT_EQ(std::count(messages.begin(), messages.end(), " BEGIN"), 2);
    EXPECT_EQ(std::count(messages.begin(), messages.end(), "Result = 0"), 2);
}

TEST_F(LogTest, AnUnopenableLogIsSkippedAndTheRunGoesOn)
{
    struct {
        const char *why;
        void (*arrange)();
    } cases[] = {
        {"temporary directory missing", [] { standin::M().tempPath = "C:\\NOWHERE\\"; }},
        {"file locked", [] { standin::Fail("CreateFileA", ERROR_SHARING_VIOLATION); }},
        {"temporary directory query fails",
         [] { standin::Fail("GetTempPathA", ERROR_ACCESS_DENIED); }},
    };
    for (auto &c : cases) {
        StartOver();
        c.arrange();
        Answer({IDOK, IDNO});
        EXPECT_EQ(RunInstaller(), 1) << c.why;
        EXPECT_FALSE(standin::FileExists(LogPath)) << c.why;
        EXPECT_FALSE(standin::FileExists("C:\\NOWHERE\\Scrivox.log")) << c.why;
        EXPECT_TRUE(standin::CallsTo("WriteFile").empty()) << c.why;
    }
}

TEST_F(LogTest, ATemporaryDirectoryTooLongForThePathMeansNoEntry)
{
    // 512 bytes hold a directory of up to 500 characters, "Scrivox.log" and the NUL.
    struct {
        size_t length;
        bool written;
    } cases[] = {{500, true}, {501, false}, {600, false}};
    for (auto &c : cases) {
        StartOver();
        std::string directory = "C:\\" + std::string(c.length - 4, 'T') + "\\";
        standin::M().tempPath = directory;
        WriteLog("x");
        std::vector<standin::Call> opens = standin::CallsTo("CreateFileA");
        if (c.written) {
            ASSERT_EQ(opens.size(), 1u) << c.length;
            EXPECT_EQ(opens[0].args[0], directory + "Scrivox.log");
        } else {
            EXPECT_TRUE(opens.empty()) << c.length << ": a cut path was opened";
        }
    }
}

TEST_F(LogTest, AnOverlongMessageIsCutAt511Characters)
{
    std::string longText(700, 'm');
    WriteLog("%s", longText.c_str());
    EXPECT_EQ(standin::FileContents(LogPath),
              "03/06/04 09:05:07 " + std::string(511, 'm') + "\r\n");

    // A cut message full of line feeds still fits the entry with its CR LFs.
    StartOver();
    std::string feeds(600, '\n');
    WriteLog("%s", feeds.c_str());
    std::string expected = "03/06/04 09:05:07 ";
    for (int i = 0; i < 511; ++i)
        expected += "\r\n";
    EXPECT_EQ(standin::FileContents(LogPath), expected + "\r\n");
}

} // namespace
