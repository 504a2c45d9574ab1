// The launcher, which runs the installation from a private copy of the
// program in a new folder of the temporary directory, and the copy, which
// loads the system libraries in its own folder before it installs from the
// package folder; where no copy can be had, the installation runs in place.
#include "fixture.h"

namespace {

const std::string Temp = "C:\\TEMP";
const std::string FirstFolder = Temp + "\\Scrivox-0001020304050607"; // the stand-in's first name
const std::string SecondFolder = Temp + "\\Scrivox-08090a0b0c0d0e0f";
const std::string Program = "C:\\PKG\\ScrivoxSetup.exe";

class LauncherTest : public InstallerTest {
protected:
    // The private folders in the temporary directory.
    static std::vector<std::string> PrivateFolders()
    {
        std::vector<std::string> folders;
        for (const std::string &name : standin::FolderEntries(Temp)) {
            if (name.compare(0, 8, "scrivox-") == 0)
                folders.push_back(name);
        }
        return folders;
    }
    // The machine as the launcher leaves it for the copy it starts: the
    // program in a private folder, started with the role switch alone.
    static void BecomeTheCopy(const std::string &folder)
    {
        standin::M().modulePath = folder + "\\ScrivoxSetup.exe";
        standin::PutFile(standin::M().modulePath, "the installer's program");
        standin::M().commandLine = "/private-copy";
    }
    // A whole installation ran in this process: every box, and exit status 1.
    static void ExpectInstalledHere(const std::string &why)
    {
        EXPECT_TRUE(BoxesAre({{InstallQuestionText, InstallQuestionType},
                              {DefaultQuestionText, DefaultQuestionType},
                              {CompletionText, MB_ICONINFORMATION}}))
            << why;
        EXPECT_EQ(standin::CallsTo("CopyFileA").back().args[0], ".\\SCRVUMPD.DLL") << why;
        EXPECT_TRUE(standin::M().started.empty()) << why << ": no process was started";
    }
};

TEST_F(LauncherTest, TheInstallationRunsInAPrivateCopyWhoseStatusIsTheRuns)
{
    // Whatever the copy's status, End Task's among them, it is the run's.
    for (DWORD status : {1u, 0u, 42u}) {
        StartOver();
        standin::M().childExitCode = status;
        // Start-up information as a shortcut "run minimized" gives, and the
        // C runtime's private handle block, which is not passed on.
        standin::M().startup.wShowWindow = 7; // SW_SHOWMINNOACTIVE
        BYTE runtimeBlock[4] = {};
        standin::M().startup.cbReserved2 = sizeof runtimeBlock;
        standin::M().startup.lpReserved2 = runtimeBlock;
        EXPECT_EQ(StartProgram(), static_cast<int>(status));

        // Nothing but ADVAPI32 is loaded here: no USER32, whose start-up
        // loads DLLs by name from the program's folder.
        EXPECT_EQ(LibrariesLoaded(), (std::vector<std::string>{"advapi32.dll"}));
        ASSERT_EQ(standin::CallsTo("CreateDirectoryA").size(), 1u);
        EXPECT_EQ(standin::CallsTo("CreateDirectoryA")[0].args,
                  (std::vector<std::string>{FirstFolder, "ptr"}));
        EXPECT_EQ(standin::M().folderAccess[standin::HostPath(FirstFolder)],
                  (std::vector<std::string>{"protected", "S-1-5-21-7-8-9-1000 0x1f01ff 3",
                                            "S-1-5-32-544 0x1f01ff 3", "S-1-5-18 0x1f01ff 3"}))
            << "only the user, the Administrators and SYSTEM, passed on to what is inside";
        const std::string copy = FirstFolder + "\\ScrivoxSetup.exe";
        EXPECT_EQ(standin::CallsTo("CopyFileA")[0].args,
                  (std::vector<std::string>{Program, copy, "1"}));

        ASSERT_EQ(standin::M().started.size(), 1u);
        const standin::Machine::Started &started = standin::M().started[0];
        EXPECT_EQ(started.application, copy);
        EXPECT_EQ(started.commandLine, "/private-copy") << "the role switch and nothing else";
        EXPECT_EQ(started.currentDirectory, "(null)") << "the package folder is inherited";
        EXPECT_FALSE(started.environment);
        EXPECT_FALSE(started.inheritHandles);
        EXPECT_EQ(started.startup.dwFlags, (DWORD)STARTF_USESHOWWINDOW);
        EXPECT_EQ(started.startup.wShowWindow, 7);
        EXPECT_EQ(started.startup.cbReserved2, 0);
        EXPECT_EQ(started.startup.lpReserved2, nullptr);

        EXPECT_TRUE(standin::M().boxes.empty()) << "the launcher shows nothing";
        EXPECT_FALSE(standin::FileExists(LogPath)) << "nor does it log";
        EXPECT_TRUE(standin::FolderEntries(Temp).empty()) << "the copy and its folder are gone";
        EXPECT_TRUE(standin::M().openHandles.empty()) << "a handle was left open";
    }
}

TEST_F(LauncherTest, WhereNoPrivateCopyCanBeMadeTheInstallationRunsInPlace)
{
    struct {
        const char *why;
        void (*arrange)();
        size_t foldersBefore; // private folders that were there before
    } cases[] = {
        {"no temporary directory", [] { standin::Fail("GetTempPathA", ERROR_ACCESS_DENIED, 1); },
         0},
        {"a temporary directory that does not exist",
         [] { standin::M().tempPath = "C:\\NOWHERE\\"; }, 0},
        {"a program path that fills the buffer",
         [] { standin::M().modulePath = "C:\\PKG\\" + std::string(260, 'P') + ".exe"; }, 0},
        {"ADVAPI32 cannot be had", [] { standin::M().missingLibraries.insert("advapi32.dll"); }, 0},
        {"the user's token cannot be read",
         [] { standin::Fail("OpenProcessToken", ERROR_ACCESS_DENIED); }, 0},
        {"the access list refused",
         [] { standin::Fail("AddAccessAllowedAce", 1344 /* ERROR_ALLOTTED_SPACE_EXCEEDED */); }, 0},
        {"the folder refused", [] { standin::Fail("CreateDirectoryA", ERROR_ACCESS_DENIED); }, 0},
        {"a folder under every name tried",
         [] {
             for (int i = 0; i < 8; ++i) {
                 char name[32];
                 snprintf(name, sizeof name, "Scrivox-%02x%02x%02x%02x%02x%02x%02x%02x", 8 * i,
                          8 * i + 1, 8 * i + 2, 8 * i + 3, 8 * i + 4, 8 * i + 5, 8 * i + 6,
                          8 * i + 7);
                 standin::MakeDirectory(Temp + "\\" + name);
             }
         },
         8},
        {"the copy refused, the disk full", [] { standin::Fail("CopyFileA", ERROR_DISK_FULL, 1); },
         0},
        {"the start refused by policy",
         [] { standin::Fail("CreateProcessA", ERROR_ACCESS_DISABLED_BY_POLICY); }, 0},
    };
    for (auto &c : cases) {
        StartOver();
        c.arrange();
        Answer({IDOK, IDNO});
        EXPECT_EQ(StartProgram(), 1) << c.why;
        ExpectInstalledHere(c.why);
        EXPECT_EQ(PrivateFolders().size(), c.foldersBefore)
            << c.why << ": a private folder is left";
    }
}

TEST_F(LauncherTest, AFolderThatAlreadyExistsIsNeverUsed)
{
    standin::PutFile(FirstFolder + "\\version.dll", "planted");
    EXPECT_EQ(StartProgram(), 1);
    ASSERT_EQ(standin::M().started.size(), 1u);
    EXPECT_EQ(standin::M().started[0].application, SecondFolder + "\\ScrivoxSetup.exe");
    EXPECT_EQ(standin::FolderEntries(FirstFolder), (std::vector<std::string>{"version.dll"}))
        << "the folder found is left as it was";
    EXPECT_FALSE(standin::FolderExists(SecondFolder));
}

TEST_F(LauncherTest, WithoutTheSystemsRandomGeneratorTheNameComesFromItsCounters)
{
    // NT 4.0 and 2000 lack RtlGenRandom: another moment, another name.
    std::vector<std::string> names;
    for (int64_t counter : {0x0000000A12345678, 0x0000000A12345679}) {
        StartOver();
        standin::M().missingEntries.insert("SystemFunction036");
        standin::M().counter = counter;
        EXPECT_EQ(StartProgram(), 1);
        ASSERT_EQ(standin::M().started.size(), 1u);
        std::string folder = standin::CallsTo("CreateDirectoryA")[0].args[0];
        names.push_back(folder.substr(Temp.size() + 1));
    }
    for (const std::string &name : names)
        EXPECT_EQ(name.find_first_not_of("0123456789abcdef", 8), std::string::npos) << name;
    EXPECT_EQ(names[0].size(), 24u);
    EXPECT_NE(names[0], names[1]);
}

TEST_F(LauncherTest, RemovalIsRetriedBrieflyAndNeverHoldsUpTheStatus)
{
    struct {
        const char *why;
        int failures; // of DeleteFileA, the system holding the copy that just ended
        size_t attempts;
        bool removed;
    } cases[] = {
        {"released at the third attempt", 2, 3, true},
        {"never released", -1, 20, false},
    };
    for (auto &c : cases) {
        StartOver();
        if (c.failures < 0)
            standin::Fail("DeleteFileA", ERROR_SHARING_VIOLATION);
        for (int nth = 1; nth <= c.failures; ++nth)
            standin::Fail("DeleteFileA", ERROR_SHARING_VIOLATION, nth);
        standin::M().childExitCode = 1;
        EXPECT_EQ(StartProgram(), 1) << c.why;
        EXPECT_EQ(standin::CallsTo("DeleteFileA").size(), c.attempts) << c.why;
        std::vector<standin::Call> pauses = standin::CallsTo("Sleep");
        ASSERT_EQ(pauses.size(), c.attempts - 1) << c.why;
        EXPECT_EQ(pauses[0].args[0], "100") << c.why;
        EXPECT_EQ(standin::FolderExists(FirstFolder), !c.removed) << c.why;
    }
}

TEST_F(LauncherTest, OnlyTheRoleSwitchAloneMakesTheProgramTheCopy)
{
    // A user cannot type it: a shell puts the program's name first.
    for (const char *line : {"\"C:\\PKG\\ScrivoxSetup.exe\" /private-copy", "/private-copy2",
                             "/private-copy /x", "/private"}) {
        StartOver();
        standin::M().commandLine = line;
        EXPECT_EQ(StartProgram(), 1) << line;
        EXPECT_EQ(standin::M().started.size(), 1u) << line << ": the launcher's part ran";
    }
}

TEST_F(LauncherTest, TheCopyLoadsTheSystemLibrariesInItsOwnFolderThenInstallsFromThePackage)
{
    // XP SP1 and later take the current directory out of the DLL search;
    // NT 4.0, 2000 and XP before SP1 cannot.
    for (bool hasSetDllDirectory : {true, false}) {
        StartOver();
        BecomeTheCopy(FirstFolder);
        if (!hasSetDllDirectory)
            standin::M().missingEntries.insert("SetDllDirectoryA");
        Answer({IDOK, IDNO});
        EXPECT_EQ(StartProgram(), 1);
        ExpectInstalledHere("the copy");
        EXPECT_TRUE(standin::CallsTo("CreateDirectoryA").empty());

        const std::string copy = FirstFolder + "\\ScrivoxSetup.exe";
        EXPECT_EQ(standin::M().removalsAtRestart, (std::vector<std::string>{copy, FirstFolder}))
            << "should the launcher not remove them";
        std::vector<std::string> steps;
        for (const standin::Call &call : standin::M().calls) {
            if (call.function == "SetCurrentDirectoryA" || call.function == "SetDllDirectoryA" ||
                call.function == "LoadLibraryExA" || call.function == "CopyFileA")
                steps.push_back(call.function + " " + call.args[0]);
        }
        std::vector<std::string> expected = {
            "SetCurrentDirectoryA C:\\PKG", // it leads back there
            "SetCurrentDirectoryA " + FirstFolder,
            "SetDllDirectoryA ",
            "LoadLibraryExA C:\\WINDOWS\\system32\\user32.dll",
            "LoadLibraryExA C:\\WINDOWS\\system32\\advapi32.dll",
            "LoadLibraryExA C:\\WINDOWS\\system32\\winspool.drv",
            "SetCurrentDirectoryA C:\\PKG",
        };
        if (!hasSetDllDirectory)
            expected.erase(expected.begin() + 2);
        for (const char *name : expected::PackageFiles)
            expected.push_back(std::string("CopyFileA .\\") + name);
        EXPECT_EQ(steps, expected);
    }
}

TEST_F(LauncherTest, APackageFolderTheCopyCouldNotReturnToStaysCurrent)
{
    struct {
        const char *why;
        void (*arrange)();
    } cases[] = {
        {"a name the ANSI code page cannot spell",
         [] { standin::Fail("SetCurrentDirectoryA", ERROR_FILE_NOT_FOUND, 1); }},
        {"the current directory not known",
         [] { standin::Fail("GetCurrentDirectoryA", ERROR_ACCESS_DENIED); }},
        {"its own path not known",
         [] { standin::M().modulePath = FirstFolder + "\\" + std::string(260, 'P'); }},
    };
    for (auto &c : cases) {
        StartOver();
        BecomeTheCopy(FirstFolder);
        c.arrange();
        Answer({IDOK, IDNO});
        EXPECT_EQ(StartProgram(), 1) << c.why;
        ExpectInstalledHere(c.why);
        EXPECT_EQ(standin::M().currentDirectory, "C:\\PKG") << c.why;
        for (const standin::Call &call : standin::CallsTo("SetCurrentDirectoryA"))
            EXPECT_EQ(call.args[0], "C:\\PKG") << c.why << ": the package folder was left";
    }
}

} // namespace
