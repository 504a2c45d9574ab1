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
// XP's temporary directory, as an administrator's environment gives it: the
// short form of a long name with blanks.
const std::string LongTemp = "C:\\Documents and Settings\\Admin\\Local Settings\\Temp";
const std::string ShortTemp = "C:\\DOCUME~1\\Admin\\LOCALS~1\\Temp";
const std::string AnotherUser = std::string("\1\5\0\0\0\0\0\5\x15\0\0\0\7\0\0\0\x08\0\0\0\x09\0\0\0"
                                            "\xE9\3\0\0",
                                            28); // S-1-5-21-7-8-9-1001

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
            standin::PutFile(folder + "\\" + name, std::string("contents of ") + name, attributes);
        StartAs(folder + "\\ScrivoxSetup.exe", "\"" + folder + "\\ScrivoxSetup.exe\"", temp,
                attributes);
    }
    // The machine as the launcher leaves it for the copy it starts: the
    // program in a private folder, started with the role switch alone.
    static void BecomeTheCopy(const std::string &folder)
    {
        StartAs(folder + "\\ScrivoxSetup.exe", "/private-copy");
    }
    // Another process tries to rename the folder at each of those moments:
    // "CreateProcessW refused, WaitForSingleObject renamed, ...". A rename
    // that went through is undone, so that the run goes on.
    static void TryRenaming(const std::string &folder, std::string *tries)
    {
        standin::M().meanwhile = [folder, tries](const std::string &call) {
            if (call == "CreateDirectoryW")
                return;
            bool renamed = standin::Rename(folder, folder + "-theirs");
            if (renamed)
                standin::Rename(folder + "-theirs", folder);
            *tries += (tries->empty() ? "" : ", ") + call + (renamed ? " renamed" : " refused");
        };
    }
    // What the private folder holds when the copy is started: each name, and
    // whether its bytes are the package's and it can be written.
    static void NoteFolderAtStart(const std::string &folder, std::string *held)
    {
        standin::M().meanwhile = [folder, held](const std::string &call) {
            if (call != "CreateProcessW")
                return;
            for (const std::string &name : standin::FolderEntries(folder)) {
                std::string path = folder + "\\" + name;
                bool package = standin::FileContents(path).rfind("contents of ", 0) == 0;
                *held +=
                    name + (package ? " package" : "") +
                    (standin::FileAttributes(path) == FILE_ATTRIBUTE_NORMAL ? " writable" : "") +
                    "; ";
            }
        };
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
        const std::string folder = c.temp + "\\Scrivox-0001020304050607";
        std::string tries;
        TryRenaming(folder, &tries);
        EXPECT_EQ(StartProgram(), static_cast<int>(c.status)) << c.package << " " << c.temp;
        EXPECT_EQ(tries, "CreateProcessW refused, WaitForSingleObject refused")
            << "the folder is held from before the copy's start to its end";

        // Nothing but ADVAPI32 is loaded here: no USER32, whose start-up
        // loads DLLs by name from the program's folder.
        EXPECT_EQ(LibrariesLoaded(), (std::vector<std::string>{"advapi32.dll"}));
        ASSERT_EQ(standin::CallsTo("CreateDirectoryW").size(), 1u) << c.temp;
        EXPECT_EQ(standin::CallsTo("CreateDirectoryW")[0].args,
                  (std::vector<std::string>{folder, "ptr"}));
        EXPECT_EQ(standin::M().folderAccess[standin::HostPath(folder)],
                  (std::vector<std::string>{"protected", "S-1-5-21-7-8-9-1000 0x1f01ff 3",
                                            "S-1-5-32-544 0x1f01ff 3", "S-1-5-18 0x1f01ff 3"}))
            << "only the user, the Administrators and SYSTEM, passed on to what is inside";
        // Held right after it is made, before anything is copied into it.
        std::vector<std::string> order;
        for (const standin::Call &call : standin::M().calls) {
            if (call.function == "CreateDirectoryW" || call.function == "CopyFileW" ||
                (call.function == "CreateFileW" && call.args[0] == folder))
                order.push_back(call.function);
        }
        EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + 3),
                  (std::vector<std::string>{"CreateDirectoryW", "CreateFileW", "CopyFileW"}));
        EXPECT_EQ(
            standin::CallsTo("CreateFileW")[0].args,
            (std::vector<std::string>{folder, "131072", "3", "(null)", "3", "33554432", "(null)"}))
            << "READ_CONTROL, no FILE_SHARE_DELETE, backup semantics";
        const std::string copy = folder + "\\ScrivoxSetup.exe";
        // The program, then each of the package's files from the current
        // directory, each made writable.
        std::vector<std::vector<std::string>> copies = {
            {c.package + "\\ScrivoxSetup.exe", copy, "1"}};
        std::vector<std::vector<std::string>> writable = {{copy, "128"}};
        for (const char *name : expected::PackageFiles) {
            copies.push_back({std::string(".\\") + name, folder + "\\" + name, "1"});
            writable.push_back({folder + "\\" + name, "128"});
        }
        std::vector<std::vector<std::string>> made;
        for (const standin::Call &call : standin::CallsTo("CopyFileW"))
            made.push_back(call.args);
        EXPECT_EQ(made, copies) << c.package;
        made.clear();
        for (const standin::Call &call : standin::CallsTo("SetFileAttributesW"))
            made.push_back(call.args);
        EXPECT_EQ(made, writable) << c.package;

        ASSERT_EQ(standin::M().started.size(), 1u) << c.package << " " << c.temp;
        const standin::Machine::Started &started = standin::M().started[0];
        EXPECT_EQ(started.application, copy);
        EXPECT_EQ(started.commandLine, "/private-copy") << "the role switch and nothing else";
        EXPECT_EQ(started.currentDirectory, folder) << "the installation reads the copies";
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

TEST_F(LauncherTest, OnlyAFolderThisProcessMadeAndOwnsIsUsed)
{
    // A folder that already exists is never used. Where anyone may delete
    // what the temporary directory holds, another user can also remove the
    // new folder and make one of that name as their own before it is held.
    // Ours is owned by the owner the token gives what this process makes, or
    // by its user; a file system that keeps no owner (FAT) reports none or
    // the World, and the hold is all there is there. A folder that is not
    // ours is left as it was.
    const std::string World("\1\1\0\0\0\0\0\1\0\0\0\0", 12);
    struct {
        const char *why;
        bool ownersKept;
        std::string takenBy; // the first folder's owner once made; "" leaves it ours
        std::string used;
        bool planted = false; // the first folder is there beforehand, a DLL in it
    } cases[] = {
        {"already there", true, "", SecondFolder, true},
        {"made again by another user", true, AnotherUser, SecondFolder},
        {"ours", true, "", FirstFolder},
        {"owned by this user, as Wine reports a folder it made", true, standin::M().userSid,
         FirstFolder},
        {"on a file system that keeps no owner", false, "", FirstFolder},
        {"owned by the World, as such a file system may say", true, World, FirstFolder},
    };
    for (auto &c : cases) {
        StartOver();
        standin::M().ownersKept = c.ownersKept;
        if (c.planted)
            standin::PutFile(FirstFolder + "\\version.dll", "planted");
        std::string takenBy = c.takenBy;
        standin::M().meanwhile = [takenBy](const std::string &call) {
            if (call == "CreateDirectoryW" && !takenBy.empty() &&
                standin::CallsTo("CreateDirectoryW").size() == 1)
                standin::SetOwner(FirstFolder, takenBy);
        };
        EXPECT_EQ(StartProgram(), 1) << c.why;
        ASSERT_EQ(standin::M().started.size(), 1u) << c.why;
        EXPECT_EQ(standin::M().started[0].application, c.used + "\\ScrivoxSetup.exe") << c.why;
        EXPECT_EQ(standin::FolderEntries(Temp).size(), c.used == FirstFolder ? 0u : 1u)
            << c.why << ": another's folder is left to them, ours removed";
        if (c.planted) {
            EXPECT_EQ(standin::FolderEntries(FirstFolder),
                      (std::vector<std::string>{"version.dll"}))
                << "the folder found is left as it was";
        }
        EXPECT_EQ(standin::CallsTo("GetTokenInformation").back().args[0],
                  std::to_string(TokenOwner))
            << "compared with the owner this process gives what it makes";
    }
}

TEST_F(LauncherTest, ThePackagesFilesTravelWithTheCopyWhenTheyCan)
{
    // Each file that is there is copied byte for byte and made writable; one
    // that is not is left for the installation to report. Where one that is
    // there cannot be copied, the copy reads the package folder, as it could
    // always.
    struct {
        const char *why;
        void (*arrange)();
        std::string held; // what the private folder holds when the copy starts
        bool travelled;   // the copy starts in its private folder
    } cases[] = {
        {"all four", [] {},
         "scrivox.ppd package writable; scrivoxsetup.exe writable; scrvdrv.dll package writable; "
         "scrvui.dll package writable; scrvumpd.dll package writable; ",
         true},
        {"the third missing", [] { std::remove(standin::HostPath("C:\\PKG\\SCRVUI.DLL").c_str()); },
         "scrivox.ppd package writable; scrivoxsetup.exe writable; scrvdrv.dll package writable; "
         "scrvumpd.dll package writable; ",
         true},
        {"the second unreadable", [] { standin::Fail("CopyFileW", ERROR_ACCESS_DENIED, 3); },
         "scrivox.ppd package writable; scrivoxsetup.exe writable; ", false},
        {"the disk full at the fourth", [] { standin::Fail("CopyFileW", ERROR_DISK_FULL, 5); },
         "scrivox.ppd package writable; scrivoxsetup.exe writable; scrvdrv.dll package writable; "
         "scrvui.dll package writable; ",
         false},
    };
    for (auto &c : cases) {
        StartOver();
        PlaceProgram("C:\\PKG", Temp, FILE_ATTRIBUTE_READONLY);
        c.arrange();
        std::string held;
        NoteFolderAtStart(FirstFolder, &held);
        EXPECT_EQ(StartProgram(), 1) << c.why;
        EXPECT_EQ(held, c.held) << c.why;
        ASSERT_EQ(standin::M().started.size(), 1u) << c.why;
        EXPECT_EQ(standin::M().started[0].currentDirectory, c.travelled ? FirstFolder : "(null)")
            << c.why;
        EXPECT_TRUE(PrivateFolders().empty()) << c.why << ": the folder and its files are removed";
        for (const char *name : expected::PackageFiles)
            EXPECT_NE(standin::FileExists("C:\\PKG\\" + std::string(name)),
                      c.why == std::string("the third missing") &&
                          name == std::string("SCRVUI.DLL"))
                << c.why << ": nothing of the package folder is removed";
    }
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
        // The copy is the first of the five names removed in each attempt.
        if (c.failures < 0)
            standin::Fail("DeleteFileW", ERROR_SHARING_VIOLATION);
        for (int nth = 1; nth <= c.failures; ++nth)
            standin::Fail("DeleteFileW", ERROR_SHARING_VIOLATION, 5 * nth - 4);
        standin::M().childExitCode = 1;
        EXPECT_EQ(StartProgram(), 1) << c.why;
        size_t copyDeletions = 0;
        for (const standin::Call &call : standin::CallsTo("DeleteFileW"))
            copyDeletions += call.args[0] == FirstFolder + "\\ScrivoxSetup.exe";
        EXPECT_EQ(copyDeletions, c.attempts) << c.why;
        std::vector<standin::Call> pauses = standin::CallsTo("Sleep");
        ASSERT_EQ(pauses.size(), c.attempts - 1) << c.why;
        EXPECT_EQ(pauses[0].args[0], "100") << c.why;
        EXPECT_EQ(standin::FolderExists(FirstFolder), !c.removed) << c.why;
    }
}

TEST_F(LauncherTest, TheRoleSwitchAloneMakesTheCopyOnlyInAPrivateFolder)
{
    // A user cannot type it: a shell puts the program's name first. A program
    // started with it anywhere but in a private folder directly in the
    // temporary directory installs in place: it starts no copy (a copy that
    // took itself for the launcher would start copies without end) and never
    // removes itself. The temporary directory is known by what it is, not by
    // how it is spelt.
    const std::string Own = FirstFolder + "\\ScrivoxSetup.exe";
    const std::string Switch = "/private-copy";
    enum Role { Launcher, InPlace, Copy };
    struct {
        const char *why;
        std::string commandLine, program, temp;
        Role role;
    } cases[] = {
        {"the program's name first", "\"" + Own + "\" /private-copy", Own, Temp, Launcher},
        {"a longer switch", "/private-copy2", Own, Temp, Launcher},
        {"more after it", "/private-copy /x", Own, Temp, Launcher},
        {"a shorter one", "/private", Own, Temp, Launcher},
        {"in the package folder", Switch, Program, Temp, InPlace},
        {"in a folder of another name", Switch, Temp + "\\Scrivox-setup\\ScrivoxSetup.exe", Temp,
         InPlace},
        {"fifteen digits", Switch, Temp + "\\Scrivox-000102030405060\\ScrivoxSetup.exe", Temp,
         InPlace},
        {"a letter that is no digit", Switch, Temp + "\\Scrivox-000102030405060g\\ScrivoxSetup.exe",
         Temp, InPlace},
        {"in a nested one", Switch, Temp + "\\setup\\Scrivox-0001020304050607\\ScrivoxSetup.exe",
         Temp, InPlace},
        {"under another name", Switch, FirstFolder + "\\Setup.exe", Temp, InPlace},
        {"under a longer one", Switch, Own + ".old", Temp, InPlace},
        {"another temporary directory's", Switch, Own, "C:\\OTHER", InPlace},
        {"a look-alike folder of the same name elsewhere", Switch,
         "C:\\OTHER\\TEMP\\Scrivox-0001020304050607\\ScrivoxSetup.exe", Temp, InPlace},
        {"one of a name like the temporary directory's", Switch,
         "C:\\TEMPA\\Scrivox-0001020304050607\\ScrivoxSetup.exe", "C:\\TEMP#", InPlace},
        {"in a private folder", Switch, Own, Temp, Copy},
        {"the same, in other letters", Switch,
         "c:\\temp\\SCRIVOX-0001020304050607\\scrivoxsetup.EXE", Temp, Copy},
        {"in a temporary directory that ANSI cannot spell", Switch,
         UnspelledTemp + "\\Scrivox-0001020304050607\\ScrivoxSetup.exe", UnspelledTemp, Copy},
        // XP: the launcher made the folder through the short form, and the
        // copy's own path may come back in the long one, or the other way.
        {"the temporary directory short, the program long", Switch,
         LongTemp + "\\Scrivox-0001020304050607\\ScrivoxSetup.exe", ShortTemp, Copy},
        {"the temporary directory long, the program short", Switch,
         ShortTemp + "\\Scrivox-0001020304050607\\ScrivoxSetup.exe", LongTemp, Copy},
    };
    for (auto &c : cases) {
        StartOver();
        standin::M().shortNames = {{"docume~1", "documents and settings"},
                                   {"locals~1", "local settings"}};
        StartAs(c.program, c.commandLine, c.temp);
        if (c.role != Launcher)
            Answer({IDOK, IDNO});
        EXPECT_EQ(StartProgram(), 1) << c.why;
        EXPECT_EQ(standin::M().started.size(), c.role == Launcher ? 1u : 0u)
            << c.why << ": " << (c.role == Launcher ? "no copy was started" : "a copy was started");
        EXPECT_EQ(standin::M().boxes.size(), c.role == Launcher ? 0u : 3u) << c.why;
        std::vector<std::string> removals;
        if (c.role == Copy)
            removals = {c.program, c.program.substr(0, c.program.rfind('\\'))};
        EXPECT_EQ(standin::M().removalsAtRestart, removals) << c.why;
    }
}

TEST_F(LauncherTest, TheCopyLoadsTheSystemLibrariesInItsOwnFolderThenInstallsFromThePackage)
{
    // XP SP1 and later take the current directory out of the DLL search;
    // NT 4.0, 2000 and XP before SP1 cannot. The folder it was started in is
    // returned to whatever its name: its own, where the package's files
    // travelled with it, or the package folder.
    struct {
        bool hasSetDllDirectory;
        std::string package;
    } cases[] = {{true, "C:\\PKG"}, {false, UnspelledPackage}, {false, FirstFolder}};
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
