// The install log, checked in the file the stand-in's file system holds.
#include "fixture.h"

#include <string.h>

#include <string>

namespace {

class LogTest : public InstallerTest {};

TEST_F(LogTest, AnEntryStartsWithDateAndTimeAndEndsInCrLf)
{
    standin::M().clock = {2004, 3, 6, 6, 9, 5, 7, 0}; // 6 March 2004, 9:05:07
    WriteLog("Copied %s", ".\\A.PPD");
    EXPECT_EQ(standin::FileContents(LogPath), "03/06/04 09:05:07 Copied .\\A.PPD\r\n");
    EXPECT_EQ(standin::FileAttributes(LogPath), (DWORD)FILE_ATTRIBUTE_ARCHIVE)
        << "the log is made an ordinary file, open to the next entry";

    standin::M().clock = {2010, 12, 5, 31, 23, 59, 58, 999};
    WriteLog("Result = %d", 5);
    EXPECT_EQ(standin::FileContents(LogPath),
              "03/06/04 09:05:07 Copied .\\A.PPD\r\n12/31/10 23:59:58 Result = 5\r\n");
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

TEST_F(LogTest, EachEntryIsAppendedWithoutASeekWhereverTheSystemAllowsIt)
{
    // Opened to append alone, no other writer can come between finding the
    // end and writing; where that is refused (the 95 family may refuse it),
    // the file is opened to write and each entry put at its end by a seek.
    // The wide path reaches a temporary directory that ANSI cannot spell;
    // the 95 family, which lacks the wide calls or fails them, gets the ANSI
    // one, and may give an append-only handle that cannot write.
    const std::string Unspelled = "C:\\Users\\Σοφία-Юлия\\Temp";
    const std::string Temp = "C:\\TEMP";
    struct {
        const char *why;
        std::string temp;
        std::vector<std::string> missing, refused; // entries missing, calls refused the first time
        std::string opens;                  // each open's form and access: "W append", "A write"
        unsigned writes = 1;                // WriteFile calls
        std::vector<std::string> failing{}; // calls refused every time
        int64_t room = -1;                  // bytes the disk takes
        std::string entry = "03/06/04 09:05:07 x\r\n"; // what the log gets
    } cases[] = {
        {"every NT", Temp, {}, {}, "W append"},
        {"a temporary directory ANSI cannot spell", Unspelled, {}, {}, "W append"},
        {"appending alone refused", Temp, {}, {"CreateFileW"}, "W append, W write"},
        {"appending alone giving a handle that cannot write",
         Temp,
         {},
         {"WriteFile"},
         "W append, W write",
         2},
        {"neither way able to write", Temp, {}, {}, "W append, W write", 2, {"WriteFile"}, -1, ""},
        // What a write put down stays; the entry is not written again.
        {"a disk that takes part of the entry", Temp, {}, {}, "W append", 1, {}, 5, "03/06"},
        // Written where the file was opened, the entry would overwrite its start.
        {"the seek failing too",
         Temp,
         {},
         {"CreateFileW", "SetFilePointer"},
         "W append, W write",
         0,
         {},
         -1,
         ""},
        {"no wide calls", Temp, {"GetTempPathW", "CreateFileW"}, {}, "A append"},
        {"wide calls that fail, appending alone refused",
         Temp,
         {},
         {"CreateFileA"},
         "A append, A write",
         1,
         {"GetTempPathW"}},
    };
    for (auto &c : cases) {
        StartOver();
        standin::M().tempPath = c.temp + "\\";
        standin::PutFile(c.temp + "\\" + expected::LogName, "earlier run\r\n");
        standin::M().missingEntries.insert(c.missing.begin(), c.missing.end());
        for (const std::string &function : c.refused)
            standin::Fail(function, ERROR_CALL_NOT_IMPLEMENTED, 1);
        for (const std::string &function : c.failing)
            standin::Fail(function, ERROR_CALL_NOT_IMPLEMENTED);
        standin::M().diskRoom = c.room;
        Rebind();
        WriteLog("x");
        EXPECT_EQ(standin::FileContents(c.temp + "\\" + expected::LogName),
                  "earlier run\r\n" + c.entry)
            << c.why << ": the entry written once, or skipped";
        EXPECT_EQ(standin::CallsTo("WriteFile").size(), c.writes) << c.why;
        std::string opens;
        for (const standin::Call &call : standin::M().calls) {
            if (call.function.compare(0, 10, "CreateFile") == 0) {
                const char *access = call.args[1] == std::to_string(FILE_APPEND_DATA) ? "append"
                                     : call.args[1] == std::to_string(GENERIC_WRITE)  ? "write"
                                                                                      : "other";
                opens += (opens.empty() ? "" : ", ") + call.function.substr(10) + " " + access;
                EXPECT_EQ(call.args[0], c.temp + "\\" + expected::LogName) << c.why;
                EXPECT_EQ(call.args[2], std::to_string(FILE_SHARE_READ | FILE_SHARE_WRITE));
                EXPECT_EQ(call.args[4], std::to_string(OPEN_ALWAYS));
            }
        }
        EXPECT_EQ(opens, c.opens) << c.why;
        // Only a file opened to write is moved to its end.
        EXPECT_EQ(standin::CallsTo("SetFilePointer").size(),
                  opens.find("write") != std::string::npos ? 1u : 0u)
            << c.why;
        for (const standin::Call &call : standin::CallsTo("GetTempPathW"))
            EXPECT_EQ(call.args[0], "512");
    }
}

TEST_F(LogTest, ALogThatIsAnotherFilesSecondNameGetsNothing)
{
    // Another user of a shared temporary directory may make the log's name a
    // hard link to a file the administrator may write (NTFS, NT 4.0 on): a
    // log with more than one name is not written, and not opened another
    // way. Where its count of names cannot be had, the entry is written.
    const std::string Other = "C:\\WINDOWS\\boot.ini";
    struct {
        const char *why;
        bool linked;
        std::vector<std::string> missing, failing;
        std::string opens;
    } cases[] = {
        {"linked", true, {}, {}, "W append"},
        {"linked, the 95 family's way", true, {"GetTempPathW", "CreateFileW"}, {}, "A append"},
        {"its one name", false, {}, {}, "W append"},
        {"linked, its names not counted", true, {}, {"GetFileInformationByHandle"}, "W append"},
    };
    for (auto &c : cases) {
        StartOver();
        standin::PutFile(Other, "[boot loader]\r\n");
        standin::PutFile(LogPath, "");
        if (c.linked) {
            std::remove(standin::HostPath(LogPath).c_str());
            standin::MakeHardLink(LogPath, Other);
        }
        standin::M().missingEntries.insert(c.missing.begin(), c.missing.end());
        for (const std::string &function : c.failing)
            standin::Fail(function, ERROR_CALL_NOT_IMPLEMENTED);
        Rebind();
        WriteLog("x");
        bool written = !c.linked || !c.failing.empty();
        EXPECT_EQ(standin::FileContents(Other),
                  std::string("[boot loader]\r\n") +
                      (c.linked && written ? "03/06/04 09:05:07 x\r\n" : ""))
            << c.why;
        if (!c.linked) {
            EXPECT_EQ(standin::FileContents(LogPath), "03/06/04 09:05:07 x\r\n") << c.why;
        }
        std::string opens;
        for (const standin::Call &call : standin::M().calls) {
            if (call.function.compare(0, 10, "CreateFile") == 0)
                opens += (opens.empty() ? "" : ", ") + call.function.substr(10) +
                         (call.args[1] == std::to_string(FILE_APPEND_DATA) ? " append" : " write");
        }
        EXPECT_EQ(opens, c.opens) << c.why;
    }
}

TEST_F(LogTest, TwoRunsAppendToTheSameFile)
{
    standin::PutFile(LogPath, "03/05/04 18:00:00 earlier run\r\n");
    Answer({IDOK, IDNO});
    ASSERT_EQ(RunInstaller(), 1);
    memset(MessageBuffer, 0, sizeof MessageBuffer);
    Answer({IDOK, IDNO});
    standin::M().clock.wDay = 7;
    ASSERT_EQ(RunInstaller(), 1);
    std::string log = standin::FileContents(LogPath);
    EXPECT_EQ(log.rfind("03/05/04 18:00:00 earlier run\r\n03/06/04 09:05:07 \r\n BEGIN\r\n", 0), 0u)
        << log;
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
        {"file locked", [] { standin::Fail("CreateFileW", ERROR_SHARING_VIOLATION); }},
        {"temporary directory query fails",
         [] {
             standin::Fail("GetTempPathW", ERROR_ACCESS_DENIED);
             standin::Fail("GetTempPathA", ERROR_ACCESS_DENIED);
         }},
    };
    for (auto &c : cases) {
        StartOver();
        c.arrange();
        Answer({IDOK, IDNO});
        EXPECT_EQ(RunInstaller(), 1) << c.why;
        EXPECT_FALSE(standin::FileExists(LogPath)) << c.why;
        EXPECT_FALSE(standin::FileExists(std::string("C:\\NOWHERE\\") + expected::LogName))
            << c.why;
        EXPECT_TRUE(standin::CallsTo("WriteFile").empty()) << c.why;
        // Where the wide path was had, its ANSI form (which best fit may
        // make another folder's) is never tried.
        EXPECT_TRUE(standin::CallsTo("CreateFileA").empty()) << c.why;
    }
}

TEST_F(LogTest, ATemporaryDirectoryTooLongForThePathMeansNoEntry)
{
    // 512 bytes hold the directory (its backslash included), the log's name and the NUL.
    const size_t longest = 512 - 1 - strlen(expected::LogName);
    struct {
        size_t length;
        bool written;
    } cases[] = {{longest, true}, {longest + 1, false}, {600, false}};
    for (auto &c : cases) {
        StartOver();
        std::string directory = "C:\\" + std::string(c.length - 4, 'T') + "\\";
        standin::M().tempPath = directory;
        WriteLog("x");
        std::vector<standin::Call> opens = standin::CallsTo("CreateFileW");
        if (c.written) {
            ASSERT_FALSE(opens.empty()) << c.length;
            EXPECT_EQ(opens[0].args[0], directory + expected::LogName);
        } else {
            EXPECT_TRUE(opens.empty()) << c.length << ": a cut path was opened";
            EXPECT_TRUE(standin::CallsTo("CreateFileA").empty()) << c.length;
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
