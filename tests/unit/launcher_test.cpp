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
// Names that the ANSI code page cannot spell: Cyrillic and Greek together
// have no single one.
const std::string UnspelledPackage = "C:\\Загрузки Ωμέγα";
const std::string UnspelledTemp = "C:\\Users\\Σοφία-Юлия\\Temp";

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
    // The program's file, started with that command line by a user with that
    // temporary directory.
    static void StartAs(const std::string &program, const std::string &commandLine,
                        const std::string &temp = Temp, DWORD attributes = 0)
    {
        standin::M().modulePath = program;
        standin::PutFile(program, "the installer's program", attributes);
        standin::M().commandLine = commandLine;
        standin::M().tempPath = temp + "\\";
        standin::MakeDirectory(temp);
    }
    // The package's files and the program in a folder, which is current, as
    // a double click there starts it.
    static void PlaceProgram(const std::string &folder, const std::string &temp,
                             DWORD attributes = 0)
    {
        standin::M().currentDirectory = folder;
        for (const char *name : expected::PackageFiles)
            standin::PutFile(folder + "\\" + name, std::string("contents of ") + name);
        StartAs(folder + "\\ScrivoxSetup.exe", "\"" + folder + "\\ScrivoxSetup.exe\"", temp,
                attributes);
    }
    // The machine as the launcher leaves it for the copy it starts: the
    // program in a private folder, started with the role switch alone.
    static void BecomeTheCopy(const std::string &folder)
    {
        StartAs(folder + "\\ScrivoxSetup.exe", "/private-copy");
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
    // Whatever the copy's status, End Task's among them, it is the run's;
    // whatever the names of the package folder and the temporary directory.
    struct {
        DWORD status;
        std::string package, temp;
        DWORD attributes; // the downloaded program's
    } cases[] = {
        {1, "C:\\PKG", Temp, 0},
        {0, UnspelledPackage, Temp, FILE_ATTRIBUTE_READONLY},
        {42, "C:\\PKG", UnspelledTemp, 0},
    };
    for (auto &c : cases) {
        StartOver();
        PlaceProgram(c.package, c.temp, c.attributes);
        standin::M().childExitCode = c.status;
        // Start-up information as a shortcut "run minimized" gives, and the
        // C runtime's private handle block, which is not passed on.
        standin::M().startup.wShowWindow = 7; // SW_SHOWMINNOACTIVE
        BYTE runtimeBlock[4] = {};
        standin::M().startup.cbReserved2 = sizeof runtimeBlock;
        standin::M().startup.lpReserved2 = runtimeBlock;
        EXPECT_EQ(StartProgram(), static_cast<int>(c.status)) << c.package << " " << c.temp;

        // Nothing but ADVAPI32 is loaded here: no USER32, whose start-up
        // loads DLLs by name from the program's folder.
        EXPECT_EQ(LibrariesLoaded(), (std::vector<std::string>{"advapi32.dll"}));
        const std::string folder = c.temp + "\\Scrivox-0001020304050607";
        ASSERT_EQ(standin::CallsTo("CreateDirectoryW").size(), 1u) << c.temp;
        EXPECT_EQ(standin::CallsTo("CreateDirectoryW")[0].args,
                  (std::vector<std::string>{folder, "ptr"}));
        EXPECT_EQ(standin::M().folderAccess[standin::HostPath(folder)],
                  (std::vector<std::string>{"protected", "S-1-5-21-7-8-9-1000 0x1f01ff 3",
                                            "S-1-5-32-544 0x1f01ff 3", "S-1-5-18 0x1f01ff 3"}))
            << "only the user, the Administrators and SYSTEM, passed on to what is inside";
        const std::string copy = folder + "\\ScrivoxSetup.exe";
        ASSERT_EQ(standin::CallsTo("CopyFileW").size(), 1u) << c.package;
        EXPECT_EQ(standin::CallsTo("CopyFileW")[0].args,
                  (std::vector<std::string>{c.package + "\\ScrivoxSetup.exe", copy, "1"}));

        ASSERT_EQ(standin::M().started.size(), 1u) << c.package << " " << c.temp;
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
        EXPECT_TRUE(standin::FolderEntries(c.temp).empty())
            << c.package << " " << c.temp << ": the copy and its folder are left, or the log";
        EXPECT_TRUE(standin::M().removalsAtRestart.empty());
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
        {"no temporary directory", [] { standin::Fail("GetTempPathW", ERROR_ACCESS_DENIED, 1); },
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
        {"the folder refused", [] { standin::Fail("CreateDirectoryW", ERROR_ACCESS_DENIED); }, 0},
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
        {"the copy refused, the disk full", [] { standin::Fail("CopyFileW", ERROR_DISK_FULL); }, 0},
        {"the start refused by policy",
         [] { standin::Fail("CreateProcessW", ERROR_ACCESS_DISABLED_BY_POLICY); }, 0},
        // Windows 95, 98 and Me lack some of the wide calls and fail the others.
        {"a wide call missing", [] { standin::M().missingEntries.insert("CreateProcessW"); }, 0},
        {"a wide call that fails",
         [] { standin::Fail("GetModuleFileNameW", ERROR_CALL_NOT_IMPLEMENTED); }, 0},
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
        std::string folder = standin::CallsTo("CreateDirectoryW")[0].args[0];
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
        int failures; // of DeleteFileW, the system holding the copy that just ended
        size_t attempts;
        bool removed;
    } cases[] = {
        {"released at the third attempt", 2, 3, true},
        {"never released", -1, 20, false},
    };
    for (auto &c : cases) {
        StartOver();
        if (c.failures < 0)
            standin::Fail("DeleteFileW", ERROR_SHARING_VIOLATION);
        for (int nth = 1; nth <= c.failures; ++nth)
            standin::Fail("DeleteFileW", ERROR_SHARING_VIOLATION, nth);
        standin::M().childExitCode = 1;
        EXPECT_EQ(StartProgram(), 1) << c.why;
        EXPECT_EQ(standin::CallsTo("DeleteFileW").size(), c.attempts) << c.why;
        std::vector<standin::Call> pauses = standin::CallsTo("Sleep");
        ASSERT_EQ(pauses.size(), c.attempts - 1) << c.why;
        EXPECT_EQ(pauses[0].args[0], "100") << c.why;
        EXPECT_EQ(standin::FolderExists(FirstFolder), !c.removed) << c.why;
    }
}

TEST_F(LauncherTest, TheRoleSwitchAloneMakesTheCopyOnlyInAPrivateFolder)
{
    // A user cannot type it: a shell puts the program's name first. And a
    // program started with it anywhere but in a private folder directly in
    // the temporary directory is the launcher, which never removes itself.
    const std::string Own = FirstFolder + "\\ScrivoxSetup.exe";
    const std::string Switch = "/private-copy";
    struct {
        const char *why;
        std::string commandLine, program, temp;
        bool copy;
    } cases[] = {
        {"the program's name first", "\"" + Own + "\" /private-copy", Own, Temp, false},
        {"a longer switch", "/private-copy2", Own, Temp, false},
        {"more after it", "/private-copy /x", Own, Temp, false},
        {"a shorter one", "/private", Own, Temp, false},
        {"in the package folder", Switch, Program, Temp, false},
        {"in a folder of another name", Switch, Temp + "\\Scrivox-setup\\ScrivoxSetup.exe", Temp,
         false},
        {"fifteen digits", Switch, Temp + "\\Scrivox-000102030405060\\ScrivoxSetup.exe", Temp,
         false},
        {"a letter that is no digit", Switch, Temp + "\\Scrivox-000102030405060g\\ScrivoxSetup.exe",
         Temp, false},
        {"in a nested one", Switch, Temp + "\\setup\\Scrivox-0001020304050607\\ScrivoxSetup.exe",
         Temp, false},
        {"under another name", Switch, FirstFolder + "\\Setup.exe", Temp, false},
        {"under a longer one", Switch, Own + ".old", Temp, false},
        {"another temporary directory's", Switch, Own, "C:\\OTHER", false},
        {"one of a name like the temporary directory's", Switch,
         "C:\\TEMPA\\Scrivox-0001020304050607\\ScrivoxSetup.exe", "C:\\TEMP#", false},
        {"in a private folder", Switch, Own, Temp, true},
        {"the same, in other letters", Switch,
         "c:\\temp\\SCRIVOX-0001020304050607\\scrivoxsetup.EXE", Temp, true},
        {"in a temporary directory that ANSI cannot spell", Switch,
         UnspelledTemp + "\\Scrivox-0001020304050607\\ScrivoxSetup.exe", UnspelledTemp, true},
    };
    for (auto &c : cases) {
        StartOver();
        StartAs(c.program, c.commandLine, c.temp);
        if (c.copy)
            Answer({IDOK, IDNO});
        EXPECT_EQ(StartProgram(), 1) << c.why;
        EXPECT_EQ(standin::M().started.size(), c.copy ? 0u : 1u)
            << c.why << ": " << (c.copy ? "the launcher's part ran" : "it was taken for the copy");
        std::vector<std::string> removals;
        if (c.copy)
            removals = {c.program, c.program.substr(0, c.program.rfind('\\'))};
        EXPECT_EQ(standin::M().removalsAtRestart, removals) << c.why;
    }
}

TEST_F(LauncherTest, TheCopyLoadsTheSystemLibrariesInItsOwnFolderThenInstallsFromThePackage)
{
    // XP SP1 and later take the current directory out of the DLL search;
    // NT 4.0, 2000 and XP before SP1 cannot. The package folder is returned
    // to whatever its name.
    struct {
        bool hasSetDllDirectory;
        std::string package;
    } cases[] = {{true, "C:\\PKG"}, {false, UnspelledPackage}};
    for (auto &c : cases) {
        StartOver();
        PlaceProgram(c.package, Temp);
        BecomeTheCopy(FirstFolder);
        if (!c.hasSetDllDirectory)
            standin::M().missingEntries.insert("SetDllDirectoryA");
        Answer({IDOK, IDNO});
        EXPECT_EQ(StartProgram(), 1);
        ExpectInstalledHere("the copy");
        EXPECT_TRUE(standin::CallsTo("CreateDirectoryW").empty());
        for (const char *name : expected::PackageFiles)
            EXPECT_EQ(standin::FileContents(standin::M().driverDirectory + "\\" + name),
                      std::string("contents of ") + name)
                << c.package;

        const std::string copy = FirstFolder + "\\ScrivoxSetup.exe";
        EXPECT_EQ(standin::M().removalsAtRestart, (std::vector<std::string>{copy, FirstFolder}))
            << "should the launcher not remove them";
        std::vector<std::string> steps;
        for (const standin::Call &call : standin::M().calls) {
            if (call.function == "SetCurrentDirectoryW" || call.function == "SetDllDirectoryA" ||
                call.function == "LoadLibraryExA" || call.function == "CopyFileA")
                steps.push_back(call.function + " " + call.args[0]);
        }
        std::vector<std::string> expected = {
            "SetCurrentDirectoryW " + FirstFolder,
            "SetDllDirectoryA ",
            "LoadLibraryExA C:\\WINDOWS\\system32\\user32.dll",
            "LoadLibraryExA C:\\WINDOWS\\system32\\advapi32.dll",
            "LoadLibraryExA C:\\WINDOWS\\system32\\winspool.drv",
            "SetCurrentDirectoryW " + c.package,
        };
        if (!c.hasSetDllDirectory)
            expected.erase(expected.begin() + 1);
        for (const char *name : expected::PackageFiles)
            expected.push_back(std::string("CopyFileA .\\") + name);
        EXPECT_EQ(steps, expected) << c.package;
    }
}

TEST_F(LauncherTest, APackageFolderTheCopyCannotNoteIsNeverLeft)
{
    struct {
        const char *why;
        std::string package;
        void (*arrange)();
        size_t changes; // SetCurrentDirectoryW calls expected
    } cases[] = {
        {"the current directory not known", "C:\\PKG",
         [] { standin::Fail("GetCurrentDirectoryW", ERROR_ACCESS_DENIED); }, 0},
        {"a current directory longer than the buffer",
         "C:\\" + std::string(100, 'D') + "\\" + std::string(100, 'E') + "\\" +
             std::string(100, 'F'),
         [] {}, 0},
        {"its own folder refused", "C:\\PKG",
         [] { standin::Fail("SetCurrentDirectoryW", ERROR_ACCESS_DENIED, 1); }, 1},
    };
    for (auto &c : cases) {
        StartOver();
        PlaceProgram(c.package, Temp);
        BecomeTheCopy(FirstFolder);
        c.arrange();
        Answer({IDOK, IDNO});
        EXPECT_EQ(StartProgram(), 1) << c.why;
        ExpectInstalledHere(c.why);
        EXPECT_EQ(standin::M().currentDirectory, c.package) << c.why;
        EXPECT_EQ(standin::CallsTo("SetCurrentDirectoryW").size(), c.changes) << c.why;
    }
}

} // namespace
