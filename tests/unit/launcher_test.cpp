// The launcher, which runs the installation from a private copy of the
// program, written from its own image, in a new folder of the temporary
// directory, and the copy, which loads the system libraries in its own folder
// before it installs from there; where no copy can be had, the installation
// runs in place.
#include "fixture.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <set>

namespace {

const std::string Temp = "C:\\TEMP";
const std::string Prefix = expected::PrivateFolderPrefix;
const std::string Exe = std::string("\\") + expected::ProgramName; // the program, in its folder
// The folder the launcher tries at its nth try (from 0): the stand-in's
// high-resolution counter, which counts up at each reading, its tick count
// and its process and thread ids, mixed.
std::string FolderTried(int n, const std::string &temp = Temp)
{
    char name[17];
    snprintf(name, sizeof name, "%02x564c44e4fff412", 0x78 + n);
    return temp + "\\" + Prefix + name;
}
const std::string FirstFolder = FolderTried(0);
const std::string SecondFolder = FolderTried(1);
const std::string FirstName = FirstFolder.substr(Temp.size() + 1);
const std::string Program = "C:\\PKG" + Exe;
const std::string ThirdInPackage = std::string("C:\\PKG\\") + expected::PackageFiles[2];
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

std::string Lower(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

// Each ASCII letter in the other case.
std::string OtherCase(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(isupper(static_cast<unsigned char>(c))
                                  ? tolower(static_cast<unsigned char>(c))
                                  : toupper(static_cast<unsigned char>(c)));
    return text;
}

class LauncherTest : public InstallerTest {
protected:
    // The private folders in the temporary directory.
    static std::vector<std::string> PrivateFolders()
    {
        std::vector<std::string> folders;
        for (const std::string &name : standin::FolderEntries(Temp)) {
            if (Lower(name).compare(0, Prefix.size(), Lower(Prefix)) == 0)
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
        standin::PutFile(program, standin::M().programFile, attributes);
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
        StartAs(folder + Exe, "\"" + folder + Exe + "\"", temp, attributes);
    }
    // The machine as the launcher leaves it for the copy it starts: the
    // program in a private folder, started with the role switch alone.
    static void BecomeTheCopy(const std::string &folder) { StartAs(folder + Exe, "/private-copy"); }
    // Another process tries to rename the folder: "renamed" or "refused". A
    // rename that went through is undone, so that the run goes on.
    static std::string TryRename(const std::string &folder)
    {
        bool renamed = standin::Rename(folder, folder + "-theirs");
        if (renamed)
            standin::Rename(folder + "-theirs", folder);
        return renamed ? "renamed" : "refused";
    }
    // Another process tries to rename the folder at each of the moments the
    // stand-in offers: "NtCreateFile refused, WriteFile refused, ...", each
    // outcome once where several moments in a row have it. When the folder's
    // handle is closed, what the folder still holds is noted too.
    static void TryRenaming(const std::string &folder, std::string *tries)
    {
        auto last = std::make_shared<std::string>();
        standin::M().meanwhile = [folder, tries, last](const std::string &call) {
            if (!standin::FolderExists(folder))
                return;
            std::string tried = call + " " + TryRename(folder);
            if (call == "CloseHandle")
                tried += " with " + std::to_string(standin::FolderEntries(folder).size()) +
                         " files in it";
            if (tried != *last)
                *tries += (tries->empty() ? "" : ", ") + tried;
            *last = tried;
        };
    }
    // What the private folder holds when the copy is started: the program,
    // with whether its bytes are the program the launcher was started from,
    // then each of the package's files in their order, each with whether its
    // bytes are the package folder's or those the program carries, and
    // whether it can be written; then any other name. The hook may do
    // something before.
    static void NoteFolderAtStart(const std::string &folder, std::string *held,
                                  std::function<void(const std::string &)> before = {})
    {
        standin::M().meanwhile = [folder, held, before](const std::string &call) {
            if (before)
                before(call);
            if (call != "CreateProcessW")
                return;
            std::vector<std::string> entries = standin::FolderEntries(folder);
            std::vector<std::string> names = {expected::ProgramName};
            names.insert(names.end(), std::begin(expected::PackageFiles),
                         std::end(expected::PackageFiles));
            for (const std::string &name : names) {
                auto entry = std::find(entries.begin(), entries.end(), Lower(name));
                if (entry == entries.end())
                    continue;
                entries.erase(entry);
                std::string path = folder + "\\" + name, bytes = standin::FileContents(path);
                const char *kind = bytes == "contents of " + name ? " package"
                                   : bytes == CarriedBytes(name)  ? " carried"
                                   : bytes == expected::PrivateCopyOf(standin::M().programFile)
                                       ? " image"
                                       : "";
                *held +=
                    name + kind +
                    (standin::FileAttributes(path) & FILE_ATTRIBUTE_READONLY ? "" : " writable") +
                    "; ";
            }
            for (const std::string &other : entries)
                *held += other + " besides; ";
        };
    }
    // What NoteFolderAtStart should note: the program, and the package's
    // files of that kind but those left out (by their number in the order).
    static std::string Holding(const char *kind, std::vector<unsigned> leftOut = {})
    {
        std::string held = std::string(expected::ProgramName) + " image writable; ";
        for (unsigned i = 0; i < expected::PackageFileCount; ++i) {
            if (std::find(leftOut.begin(), leftOut.end(), i) == leftOut.end())
                held += std::string(expected::PackageFiles[i]) + " " + kind + " writable; ";
        }
        return held;
    }
    // The bytes a program built with the package carries for that file.
    static std::string CarriedBytes(const std::string &name)
    {
        return "carried " + name + std::string(1, '\0') + "\xff and more";
    }
    // The time a program built with the package carries for its file of
    // that number, a FILETIME: each its own.
    static uint64_t CarriedTime(unsigned file) { return 0x01DA17A2C0FFEE00 + 0x100000 * file; }
    // The package's files as a program built with them carries them, and
    // each one's record: its CRC-32 and its time, least significant first.
    static void CarryThePackage()
    {
        std::string records;
        for (unsigned file = 0; file < expected::PackageFileCount; ++file) {
            const char *name = expected::PackageFiles[file];
            standin::M().resources[name] = CarriedBytes(name);
            uint32_t crc = standin::Crc32(CarriedBytes(name));
            for (int i = 0; i < 4; ++i)
                records += static_cast<char>(crc >> 8 * i);
            for (int i = 0; i < 8; ++i)
                records += static_cast<char>(CarriedTime(file) >> 8 * i);
        }
        standin::M().resources["#1"] = records;
    }
    // A whole installation ran in this process: every box, and exit status 1.
    static void ExpectInstalledHere(const std::string &why)
    {
        EXPECT_TRUE(BoxesAre({{InstallQuestionText, InstallQuestionType},
                              {DefaultQuestionText, DefaultQuestionType},
                              {CompletionText, MB_ICONINFORMATION}}))
            << why;
        std::vector<standin::Call> copies = standin::CallsTo("CopyFileA");
        EXPECT_EQ(copies.empty() ? "(none)" : copies.back().args[0],
                  std::string(".\\") + expected::PackageFiles[3])
            << why;
        EXPECT_TRUE(standin::M().started.empty()) << why << ": no process was started";
    }
};

TEST_F(LauncherTest, TheInstallationRunsInAPrivateCopyWhoseStatusIsTheRuns)
{
    // Whatever the copy's status, End Task's among them, it is the run's;
    // whatever the names of the package folder and the temporary directory,
    // and the length of the program's own path, which the launcher never
    // needs. The copy is the program as the system mapped it, written anew:
    // whatever becomes of the program's file after the start (renamed away
    // by whoever may delete what the download folder holds, another file put
    // under its name, deleted), the copy is the program that was started,
    // and a signed one's copy ends where its signature began. A compatibility
    // layer that makes NT report Windows 98 changes nothing.
    const std::string LongPackage = "C:\\" + std::string(120, 'P') + "\\" + std::string(140, 'Q');
    struct {
        DWORD status;
        std::string package, temp;
        DWORD attributes = 0;    // the downloaded program's
        void (*after)() = [] {}; // what becomes of its file after the start
        bool withSignature = false;
    } cases[] = {
        {1, "C:\\PKG", Temp},
        {0, UnspelledPackage, Temp, FILE_ATTRIBUTE_READONLY},
        {42, "C:\\PKG", UnspelledTemp},
        {1, LongPackage, Temp},
        {1, "C:\\PKG", Temp, 0,
         [] {
             standin::Rename(Program, "C:\\PKG\\away.exe");
             standin::PutFile(Program, "another program");
         }},
        {1, "C:\\PKG", Temp, 0, [] { standin::Rename(Program, "C:\\PKG\\away.exe"); }},
        {1, "C:\\PKG", Temp, 0, [] { std::remove(standin::HostPath(Program).c_str()); }},
        {1, "C:\\PKG", Temp, 0, [] {}, true},
        {1, "C:\\PKG", Temp, 0, [] { SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10); }},
    };
    for (auto &c : cases) {
        StartOver();
        standin::MapImage(standin::SmallProgram(c.withSignature));
        PlaceProgram(c.package, c.temp, c.attributes);
        c.after();
        standin::M().childExitCode = c.status;
        // Start-up information as a shortcut "run minimized" gives, and the
        // C runtime's private handle block, which is not passed on.
        standin::M().startup.wShowWindow = 7; // SW_SHOWMINNOACTIVE
        BYTE runtimeBlock[4] = {};
        standin::M().startup.cbReserved2 = sizeof runtimeBlock;
        standin::M().startup.lpReserved2 = runtimeBlock;
        const std::string folder = FolderTried(0, c.temp), why = c.package + " " + c.temp;
        std::string tries;
        TryRenaming(folder, &tries);
        EXPECT_EQ(StartProgram(), static_cast<int>(c.status)) << why;
        EXPECT_EQ(tries, "NtCreateFile refused, WriteFile refused, CopyFileW refused, "
                         "CreateProcessW refused, WaitForSingleObject refused, "
                         "CloseHandle renamed with 0 files in it")
            << why << ": the folder is held from its making until every file in it is deleted";

        // No library is loaded here: no USER32, whose start-up loads DLLs by
        // name from the program's folder, nor any other.
        EXPECT_EQ(LibrariesLoaded(), std::vector<std::string>{}) << why;
        // Made and held in one step, with its access list, before anything
        // is written into it: listing access, so that its sharing counts, and
        // no FILE_SHARE_DELETE; synchronous; case-insensitive; a new folder only.
        ASSERT_EQ(standin::CallsTo("NtCreateFile").size(), 1u) << why;
        EXPECT_EQ(standin::CallsTo("NtCreateFile")[0].args,
                  (std::vector<std::string>{"\\??\\" + folder, "1048577", "64", "ptr", "(null)",
                                            "128", "3", "2", "33", "(null)", "0"}));
        EXPECT_EQ(standin::M().folderAccess[standin::HostPath(folder)],
                  (std::vector<std::string>{"protected", "S-1-5-21-7-8-9-1000 0x1f01ff 3",
                                            "S-1-5-32-544 0x1f01ff 3", "S-1-5-18 0x1f01ff 3"}))
            << "only the user, the Administrators and SYSTEM, passed on to what is inside";
        // The program, written as a new file and never read by any name, then
        // each of the package's files from the current directory, each copy
        // made writable.
        const std::string copy = folder + Exe;
        std::vector<std::string> order;
        for (const standin::Call &call : standin::M().calls) {
            if (call.function == "NtCreateFile" || call.function == "CopyFileW" ||
                call.function == "CreateFileW")
                order.push_back(call.function + " " + call.args[0]);
        }
        ASSERT_GE(order.size(), 2u) << why;
        EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + 2),
                  (std::vector<std::string>{"NtCreateFile \\??\\" + folder, "CreateFileW " + copy}))
            << why;
        std::vector<standin::Call> made = standin::CallsTo("CreateFileW");
        EXPECT_EQ(
            made.empty() ? std::vector<std::string>{} : made[0].args,
            (std::vector<std::string>{copy, "1073741824", "0", "(null)", "1", "128", "(null)"}))
            << "GENERIC_WRITE, no sharing, CREATE_NEW, FILE_ATTRIBUTE_NORMAL";
        std::vector<std::vector<std::string>> copies, writable, done;
        for (const char *name : expected::PackageFiles) {
            copies.push_back({std::string(".\\") + name, folder + "\\" + name, "1"});
            writable.push_back({folder + "\\" + name, "128"});
        }
        for (const standin::Call &call : standin::CallsTo("CopyFileW"))
            done.push_back(call.args);
        EXPECT_EQ(done, copies) << why;
        done.clear();
        for (const standin::Call &call : standin::CallsTo("SetFileAttributesW"))
            done.push_back(call.args);
        EXPECT_EQ(done, writable) << why;

        ASSERT_EQ(standin::M().started.size(), 1u) << why;
        const standin::Machine::Started &started = standin::M().started[0];
        EXPECT_EQ(started.application, copy);
        std::string image = expected::PrivateCopyOf(standin::M().programFile);
        EXPECT_TRUE(started.program == image)
            << why << ": the copy is not the program that was started, "
            << (c.withSignature ? "cut where its signature began" : "byte for byte") << " ("
            << started.program.size() << " bytes, expected " << image.size() << ")";
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
            << why << ": the copy and its folder are left, or the log";
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
        {"the user's token cannot be read",
         [] { standin::Fail("NtOpenProcessToken", 0xC0000022 /* STATUS_ACCESS_DENIED */); }, 0},
        {"the access list refused",
         [] { standin::Fail("RtlAddAccessAllowedAce", 0xC0000099 /* no room */); }, 0},
        {"the folder refused",
         [] { standin::Fail("NtCreateFile", 0xC0000022 /* STATUS_ACCESS_DENIED */); }, 0},
        {"NTDLL's call missing", [] { standin::M().missingEntries.insert("NtCreateFile"); }, 0},
        {"an access-list call of NTDLL's missing",
         [] { standin::M().missingEntries.insert("RtlGetAce"); }, 0},
        {"a folder under every name tried",
         [] {
             for (int i = 0; i < 8; ++i)
                 standin::MakeDirectory(FolderTried(i));
         },
         8},
        {"the copy not written whole, the disk full", [] { standin::M().diskRoom = 1000; }, 0},
        {"the start refused by policy",
         [] { standin::Fail("CreateProcessW", ERROR_ACCESS_DISABLED_BY_POLICY); }, 0},
        {"a wide call missing", [] { standin::M().missingEntries.insert("CreateProcessW"); }, 0},
        // Windows 95, 98 and Me, whatever version they report.
        {"no NTDLL", [] { standin::M().ntdll = false; }, 0},
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

TEST_F(LauncherTest, ANameThatIsThereInAnyFormIsNeverUsed)
{
    // The folder is made and held in one step, so no other process can come
    // between: a name that is there already, as a folder, a file or a
    // junction (which the open would follow), makes the next one be tried and
    // is left as it was. Any other failure means no private folder: the
    // installation runs in place.
    struct {
        const char *why;
        void (*arrange)();
        std::string used; // "" for the installation in place
        size_t tries;
        std::string kept = ""; // a folder that still holds the DLL planted in it
    } cases[] = {
        {"a folder already there, a DLL in it",
         [] { standin::PutFile(FirstFolder + "\\version.dll", "planted"); }, SecondFolder, 2,
         FirstFolder},
        {"a file of that name", [] { standin::PutFile(FirstFolder, "a file"); }, SecondFolder, 2},
        {"a junction to another folder",
         [] {
             standin::PutFile("C:\\THEIRS\\version.dll", "planted");
             standin::MakeJunction(FirstFolder, "C:\\THEIRS");
         },
         SecondFolder, 2, "C:\\THEIRS"},
        {"a junction whose folder is gone",
         [] {
             standin::MakeDirectory("C:\\GONE");
             standin::MakeJunction(FirstFolder, "C:\\GONE");
             std::remove(standin::HostPath("C:\\GONE").c_str());
         },
         SecondFolder, 2},
        {"the first name refused for another reason",
         [] { standin::Fail("NtCreateFile", 0xC0000022 /* STATUS_ACCESS_DENIED */, 1); }, "", 1},
    };
    for (auto &c : cases) {
        StartOver();
        c.arrange();
        std::vector<std::string> before = PrivateFolders();
        if (c.used.empty())
            Answer({IDOK, IDNO});
        EXPECT_EQ(StartProgram(), 1) << c.why;
        EXPECT_EQ(standin::CallsTo("NtCreateFile").size(), c.tries) << c.why;
        std::vector<std::string> started;
        for (const standin::Machine::Started &process : standin::M().started)
            started.push_back(process.application);
        EXPECT_EQ(started, c.used.empty() ? std::vector<std::string>{}
                                          : std::vector<std::string>{c.used + Exe})
            << c.why;
        EXPECT_EQ(PrivateFolders(), before)
            << c.why << ": what was there is left as it was, and ours is removed";
        if (!c.kept.empty()) {
            EXPECT_EQ(standin::FolderEntries(c.kept), (std::vector<std::string>{"version.dll"}))
                << c.why;
        }
    }
}

TEST_F(LauncherTest, TheFolderIsNamedAsNTNamesIt)
{
    // A drive's path is named as the first table shows. A network one (on a
    // server not there: the installation then runs in place), and those given
    // in the forms that take paths as they stand.
    struct {
        std::string temp, name;
        bool made;
    } cases[] = {
        {"\\\\server\\share\\temp\\", "\\??\\UNC\\server\\share\\temp\\" + FirstName, false},
        {"\\\\?\\C:\\TEMP\\", "\\??\\C:\\TEMP\\" + FirstName, true},
        {"\\\\.\\C:\\TEMP\\", "\\??\\C:\\TEMP\\" + FirstName, true},
    };
    for (auto &c : cases) {
        StartOver();
        standin::M().tempPath = c.temp;
        if (!c.made)
            Answer({IDOK, IDNO});
        EXPECT_EQ(StartProgram(), 1) << c.temp;
        ASSERT_EQ(standin::CallsTo("NtCreateFile").size(), 1u) << c.temp;
        EXPECT_EQ(standin::CallsTo("NtCreateFile")[0].args[0], c.name) << c.temp;
        if (c.made)
            EXPECT_EQ(standin::M().started.size(), 1u) << c.temp;
        else
            ExpectInstalledHere(c.temp);
        EXPECT_TRUE(PrivateFolders().empty()) << c.temp;
    }
}

TEST_F(LauncherTest, ThePackagesFilesTravelWithTheCopyAndOneThatCannotIsLeftOut)
{
    // Each file that is there is copied byte for byte and made writable; one
    // that is not, or cannot be copied, is left out for the installation to
    // report as a missing file. The copy always starts in its private folder.
    struct {
        const char *why;
        void (*arrange)();
        std::string held; // what the private folder holds when the copy starts
    } cases[] = {
        {"all four", [] {}, Holding("package")},
        {"the third missing", [] { std::remove(standin::HostPath(ThirdInPackage).c_str()); },
         Holding("package", {2})},
        {"the third a folder",
         [] {
             std::remove(standin::HostPath(ThirdInPackage).c_str());
             standin::MakeDirectory(ThirdInPackage);
         },
         Holding("package", {2})},
        {"the second unreadable", [] { standin::Fail("CopyFileW", ERROR_ACCESS_DENIED, 2); },
         Holding("package", {1})},
        {"the disk full at the fourth", [] { standin::Fail("CopyFileW", ERROR_DISK_FULL, 4); },
         Holding("package", {3})},
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
        EXPECT_EQ(standin::M().started[0].currentDirectory, FirstFolder)
            << c.why << ": the download folder is never the copy's current directory";
        EXPECT_TRUE(PrivateFolders().empty()) << c.why << ": the folder and its files are removed";
        bool thirdThere =
            c.held.find(std::string(expected::PackageFiles[2]) + " package") != std::string::npos;
        for (const char *name : expected::PackageFiles)
            EXPECT_EQ(standin::FileExists("C:\\PKG\\" + std::string(name)),
                      thirdThere || name != std::string(expected::PackageFiles[2]))
                << c.why << ": nothing of the package folder is removed";
    }
}

TEST_F(LauncherTest, AProgramThatCarriesThePackageWritesItsOwnFilesAndReadsNoOthers)
{
    // Each carried file is written byte for byte as a new, writable file of
    // the private folder; the package folder's files, whatever lies there,
    // are never read. One that cannot be written whole (its making refused,
    // the disk full, a file of that name already there, made by one who may
    // enter the folder) is never written through, is deleted, and is left out
    // for the installation to report as a missing file; so is one whose bytes
    // no longer give the CRC-32 it was built with (a download damaged on the
    // way), which is never written. While each file is written, another
    // process's rename of the folder is refused.
    ASSERT_EQ(standin::Crc32("123456789"), 0xCBF43926u) << "CRC-32's check value";
    const std::string All = Holding("carried");
    struct {
        const char *why;
        void (*arrange)();
        std::string held;
        void (*during)(const std::string &call) = nullptr; // another process, meanwhile
        unsigned firstMade = 0;                            // the first carried file made
        std::string neverMade = "\\";                      // a carried file never made
    } cases[] = {
        {"beside four other files of those names", [] {}, All},
        {"alone in its folder",
         [] {
             for (const char *name : expected::PackageFiles)
                 std::remove(standin::HostPath(std::string("C:\\PKG\\") + name).c_str());
         },
         All},
        {"the second's making refused", // after the program's and the first's
         [] { standin::Fail("CreateFileW", ERROR_ACCESS_DENIED, 3); }, Holding("carried", {1})},
        {"the disk full in the third",
         [] {
             standin::M().diskRoom = static_cast<int64_t>(
                 standin::M().programFile.size() + CarriedBytes(expected::PackageFiles[0]).size() +
                 CarriedBytes(expected::PackageFiles[1]).size() + 4);
         },
         Holding("carried", {2, 3})},
        {"the second changed by one byte since the program was built",
         [] { standin::M().resources[expected::PackageFiles[1]][3] ^= 1; }, Holding("carried", {1}),
         nullptr, 0, expected::PackageFiles[1]},
        {"the records cut short", [] { standin::M().resources["#1"].resize(36); },
         Holding("carried", {0, 1, 2, 3}), nullptr, expected::PackageFileCount,
         expected::PackageFiles[0]},
        {"a file of that name already there", [] {}, Holding("carried", {2}),
         [](const std::string &call) {
             if (call == "NtCreateFile")
                 standin::PutFile(FirstFolder + "\\" + expected::PackageFiles[2], "theirs");
         }},
    };
    for (auto &c : cases) {
        StartOver();
        CarryThePackage();
        c.arrange();
        std::string held, tries;
        NoteFolderAtStart(FirstFolder, &held, [&c, &tries](const std::string &call) {
            if (c.during)
                c.during(call);
            if (call == "WriteFile")
                tries += TryRename(FirstFolder) + " ";
        });
        EXPECT_EQ(StartProgram(), 1) << c.why;
        EXPECT_EQ(held, c.held) << c.why;
        EXPECT_NE(tries.find("refused"), std::string::npos) << c.why << ": no write was seen";
        EXPECT_EQ(tries.find("renamed"), std::string::npos) << c.why << ": " << tries;
        // The program's copy first, then each carried file, as new files; one
        // that is damaged is never even made.
        std::vector<standin::Call> opens = standin::CallsTo("CreateFileW");
        ASSERT_EQ(opens.size() > 1, c.firstMade < expected::PackageFileCount) << c.why;
        EXPECT_EQ(opens[0].args[0], FirstFolder + Exe) << c.why;
        if (opens.size() > 1) {
            EXPECT_EQ(opens[1].args, (std::vector<std::string>{
                                         FirstFolder + "\\" + expected::PackageFiles[c.firstMade],
                                         "1073741824", "0", "(null)", "1", "128", "(null)"}))
                << c.why << ": GENERIC_WRITE, no sharing, CREATE_NEW, FILE_ATTRIBUTE_NORMAL";
        }
        for (const standin::Call &open : opens)
            EXPECT_NE(open.args[0], FirstFolder + "\\" + c.neverMade) << c.why;
        EXPECT_TRUE(standin::CallsTo("CopyFileW").empty()) << c.why << ": a file was copied in";
        // Each one written has the time it was built with, as the archive's
        // files keep theirs.
        for (unsigned file = 0; file < expected::PackageFileCount; ++file) {
            std::string name = expected::PackageFiles[file];
            if (c.held.find(name + " carried") != std::string::npos) {
                EXPECT_EQ(standin::M().lastWrites[standin::HostPath(FirstFolder + "\\" + name)],
                          CarriedTime(file))
                    << c.why << ": " << name << "'s time";
            }
        }
        ASSERT_EQ(standin::M().started.size(), 1u) << c.why;
        EXPECT_EQ(standin::M().started[0].currentDirectory, FirstFolder) << c.why;
        EXPECT_TRUE(PrivateFolders().empty()) << c.why;
    }
}

TEST_F(LauncherTest, AProgramThatCarriesThePackageNeverRunsInPlaceOnNT)
{
    // Where no private copy can be had, or the role switch is given outside
    // a private folder, a program that carries the package ends at once with
    // 0 on NT, whatever version a compatibility layer makes it report: no
    // DLL loaded (USER32's start-up loads DLLs by name from the program's
    // folder), no box, no log, nothing installed. Windows 95, 98 and Me,
    // which have no NTDLL and try no private folder, refuse it as ever.
    struct {
        const char *why;
        void (*arrange)();
        bool refused = false; // the refusal, on the 95 family
    } cases[] = {
        {"no private folder", [] { standin::Fail("NtCreateFile", 0xC0000022); }},
        {"the program not written", [] { standin::Fail("WriteFile", ERROR_DISK_FULL, 1); }},
        {"the copy not started", [] { standin::Fail("CreateProcessW", ERROR_ACCESS_DENIED); }},
        {"the role switch in the package folder",
         [] { standin::M().commandLine = "/private-copy"; }},
        {"no private folder, NT reporting Windows 98",
         [] {
             SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
             standin::Fail("NtCreateFile", 0xC0000022);
         }},
        {"Windows 98",
         [] {
             SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
             standin::M().ntdll = false;
             standin::Fail("GetTempPathW", ERROR_CALL_NOT_IMPLEMENTED);
         },
         true},
    };
    for (auto &c : cases) {
        StartOver();
        CarryThePackage();
        c.arrange();
        EXPECT_EQ(StartProgram(), 0) << c.why;
        if (c.refused) {
            EXPECT_TRUE(BoxesAre({{RefusalText, MB_ICONERROR}})) << c.why;
            EXPECT_EQ(LogMessages(), ExpectedLog(0)) << c.why;
        } else {
            EXPECT_EQ(LibrariesLoaded(), std::vector<std::string>{}) << c.why;
            EXPECT_TRUE(standin::M().boxes.empty()) << c.why;
            EXPECT_FALSE(standin::FileExists(LogPath)) << c.why << ": the log was written";
        }
        EXPECT_TRUE(standin::FolderEntries(standin::M().driverDirectory).empty()) << c.why;
        EXPECT_TRUE(standin::M().started.empty()) << c.why;
        EXPECT_TRUE(PrivateFolders().empty()) << c.why;
    }
}

TEST_F(LauncherTest, TheFoldersNameComesFromTheMomentAndTheProcess)
{
    // The high-resolution counter, the tick count and the process and thread
    // ids, mixed, give sixteen hexadecimal digits after the prefix: another
    // moment or another process, another name.
    struct {
        const char *why;
        void (*arrange)();
    } cases[] = {
        {"as the stand-in starts", [] {}},
        {"another counter reading", [] { standin::M().counter += 0x100000000; }},
        {"another tick count", [] { standin::M().ticks ^= 0x10; }},
        {"another process", [] { standin::M().processId ^= 0x10; }},
        {"another thread", [] { standin::M().threadId ^= 0x10; }},
    };
    std::set<std::string> names;
    for (auto &c : cases) {
        StartOver();
        c.arrange();
        EXPECT_EQ(StartProgram(), 1) << c.why;
        ASSERT_EQ(standin::CallsTo("NtCreateFile").size(), 1u) << c.why;
        std::string name = standin::CallsTo("NtCreateFile")[0].args[0];
        name = name.substr(name.rfind('\\') + 1);
        ASSERT_EQ(name.compare(0, Prefix.size(), Prefix), 0) << name;
        EXPECT_EQ(name.size(), Prefix.size() + 16) << name;
        EXPECT_EQ(name.find_first_not_of("0123456789abcdef", Prefix.size()), std::string::npos)
            << name;
        EXPECT_TRUE(names.insert(name).second) << c.why << ": the same name again, " << name;
    }
}

TEST_F(LauncherTest, RemovalIsRetriedBrieflyAndNeverHoldsUpTheStatus)
{
    // The files are deleted while the folder is held, then the folder by its
    // name. A folder that cannot be removed stays, and nothing is ever
    // scheduled for the restart: once let go, the name may be another's. A
    // wait that fails leaves the copy, which may still run, all it has.
    struct {
        const char *why;
        int failures; // of DeleteFileW, the system holding the copy that just ended
        bool folderRefused;
        size_t attempts; // deletions of the copy
        size_t pauses;
        int left; // files left in the folder; -1 where it is removed
        bool waitFails = false;
    } cases[] = {
        {"released at the third attempt", 2, false, 3, 2, -1},
        {"never released", -1, false, 20, 19, 5},
        {"the folder refused every time", 0, true, 1, 19, 0},
        {"the wait failed", 0, false, 0, 0, 5, true},
    };
    for (auto &c : cases) {
        StartOver();
        // The copy is the first of the five names removed in each attempt.
        if (c.failures < 0)
            standin::Fail("DeleteFileW", ERROR_SHARING_VIOLATION);
        for (int nth = 1; nth <= c.failures; ++nth)
            standin::Fail("DeleteFileW", ERROR_SHARING_VIOLATION, 5 * nth - 4);
        if (c.folderRefused)
            standin::Fail("RemoveDirectoryW", ERROR_SHARING_VIOLATION);
        if (c.waitFails)
            standin::Fail("WaitForSingleObject", ERROR_INVALID_HANDLE);
        standin::M().childExitCode = 1;
        EXPECT_EQ(StartProgram(), c.waitFails ? 0 : 1) << c.why;
        size_t copyDeletions = 0;
        for (const standin::Call &call : standin::CallsTo("DeleteFileW"))
            copyDeletions += call.args[0] == FirstFolder + Exe;
        EXPECT_EQ(copyDeletions, c.attempts) << c.why;
        std::vector<standin::Call> pauses = standin::CallsTo("Sleep");
        ASSERT_EQ(pauses.size(), c.pauses) << c.why;
        if (!pauses.empty()) {
            EXPECT_EQ(pauses[0].args[0], "100") << c.why;
        }
        ASSERT_EQ(standin::FolderExists(FirstFolder), c.left >= 0) << c.why;
        if (c.left >= 0) {
            EXPECT_EQ(standin::FolderEntries(FirstFolder).size(), static_cast<size_t>(c.left))
                << c.why << ": the files left";
        }
        EXPECT_TRUE(standin::CallsTo("MoveFileExW").empty()) << c.why << ": a restart's removal";
        EXPECT_TRUE(standin::M().openHandles.empty()) << c.why << ": a handle was left open";
    }
}

TEST_F(LauncherTest, NothingIsRemovedThroughAJunctionPutInTheFoldersPlace)
{
    // Once the launcher lets go of the folder, anyone who may delete what the
    // temporary directory holds can rename it away and put a junction to
    // another folder in its place (Windows 2000 and later). By then every
    // file in it is gone, and the folder is removed by its name: the junction
    // itself, nothing it leads to.
    const std::string Victim = "C:\\WINDOWS\\system32\\spool\\drivers\\w32x86";
    for (const char *name : expected::PackageFiles)
        standin::PutFile(Victim + "\\" + name, "installed");
    standin::PutFile(Victim + Exe, "installed");
    std::string swapped;
    standin::M().meanwhile = [&](const std::string &call) {
        if (call != "CloseHandle" || !standin::Rename(FirstFolder, FirstFolder + "-theirs"))
            return;
        standin::MakeJunction(FirstFolder, Victim);
        swapped = "swapped";
    };
    EXPECT_EQ(StartProgram(), 1);
    EXPECT_EQ(swapped, "swapped");
    EXPECT_EQ(standin::FolderEntries(Victim).size(), 5u)
        << "a file was deleted through the junction";
    EXPECT_FALSE(standin::FolderExists(FirstFolder)) << "the junction is removed";
    EXPECT_TRUE(standin::FolderEntries(FirstFolder + "-theirs").empty());
    EXPECT_TRUE(standin::M().removalsAtRestart.empty());
}

TEST_F(LauncherTest, TheRoleSwitchAloneMakesTheCopyOnlyInAPrivateFolder)
{
    // A user cannot type it: a shell puts the program's name first. A program
    // started with it anywhere but in a private folder directly in the
    // temporary directory installs in place: it starts no copy (a copy that
    // took itself for the launcher would start copies without end) and never
    // removes itself. The temporary directory is known by what it is, not by
    // how it is spelt: its volume and its index there. The copy schedules
    // nothing for the restart.
    const std::string Own = FirstFolder + Exe;
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
        {"in a folder of another name", Switch, Temp + "\\" + Prefix + "setup" + Exe, Temp,
         InPlace},
        {"fifteen digits", Switch, Temp + "\\" + Prefix + "000102030405060" + Exe, Temp, InPlace},
        {"a letter that is no digit", Switch, Temp + "\\" + Prefix + "000102030405060g" + Exe, Temp,
         InPlace},
        {"in a nested one", Switch, Temp + "\\setup\\" + Prefix + "0001020304050607" + Exe, Temp,
         InPlace},
        {"under another name", Switch, FirstFolder + "\\Setup.exe", Temp, InPlace},
        {"under a longer one", Switch, Own + ".old", Temp, InPlace},
        {"another temporary directory's", Switch, Own, "C:\\OTHER", InPlace},
        {"a look-alike folder of the same name elsewhere", Switch,
         "C:\\OTHER\\TEMP\\" + Prefix + "0001020304050607" + Exe, Temp, InPlace},
        {"one of a name like the temporary directory's", Switch,
         "C:\\TEMPA\\" + Prefix + "0001020304050607" + Exe, "C:\\TEMP#", InPlace},
        {"one on another volume with the temporary directory's index", Switch,
         "D:\\TEMP\\" + Prefix + "0001020304050607" + Exe, Temp, InPlace},
        {"in a private folder", Switch, Own, Temp, Copy},
        {"the same, in other letters", Switch, OtherCase(Own), Temp, Copy},
        {"in a temporary directory that ANSI cannot spell", Switch,
         UnspelledTemp + "\\" + Prefix + "0001020304050607" + Exe, UnspelledTemp, Copy},
        // XP: the launcher made the folder through the short form, and the
        // copy's own path may come back in the long one, or the other way.
        {"the temporary directory short, the program long", Switch,
         LongTemp + "\\" + Prefix + "0001020304050607" + Exe, ShortTemp, Copy},
        {"the temporary directory long, the program short", Switch,
         ShortTemp + "\\" + Prefix + "0001020304050607" + Exe, LongTemp, Copy},
    };
    for (auto &c : cases) {
        StartOver();
        standin::M().shortNames = {{"docume~1", "documents and settings"},
                                   {"locals~1", "local settings"}};
        StartAs(c.program, c.commandLine, c.temp);
        standin::MakeDirectory("D:\\TEMP");
        standin::M().fileIndexes = {{standin::HostPath("C:\\TEMP"), 7},
                                    {standin::HostPath("D:\\TEMP"), 7}};
        // The copy installs from its own folder, where the launcher put the
        // package; in place, it installs from the current directory.
        for (const char *name : expected::PackageFiles) {
            if (c.role == Copy)
                standin::PutFile(c.program.substr(0, c.program.rfind('\\') + 1) + name, "copied");
        }
        if (c.role != Launcher)
            Answer({IDOK, IDNO});
        EXPECT_EQ(StartProgram(), 1) << c.why;
        EXPECT_EQ(standin::M().started.size(), c.role == Launcher ? 1u : 0u)
            << c.why << ": " << (c.role == Launcher ? "no copy was started" : "a copy was started");
        EXPECT_EQ(standin::M().boxes.size(), c.role == Launcher ? 0u : 3u) << c.why;
        EXPECT_TRUE(standin::M().removalsAtRestart.empty()) << c.why;
        if (c.role != Launcher) {
            const std::string first = expected::PackageFiles[0];
            EXPECT_EQ(standin::FileContents(standin::M().driverDirectory + "\\" + first),
                      c.role == Copy ? "copied" : "contents of " + first)
                << c.why << ": installed from " << (c.role == Copy ? "its folder" : "in place");
        }
    }
}

TEST_F(LauncherTest, TheCopyLoadsTheSystemLibrariesAndInstallsInItsOwnFolder)
{
    // Its own folder, where the launcher copied the package's files, is its
    // current directory whatever it was started with: it loads the system
    // libraries there (XP SP1 and later also take the current directory out
    // of the DLL search; NT 4.0, 2000 and XP before SP1 cannot) and installs
    // from there. Where that folder cannot be made current, it stays where it
    // was started (the launcher starts it there).
    struct {
        const char *why;
        bool hasSetDllDirectory;
        std::string startedIn;
        bool refused;         // SetCurrentDirectoryW refuses its own folder
        bool carries = false; // built with the package, whose files the launcher wrote
    } cases[] = {
        {"started in its own folder", true, FirstFolder, false},
        {"started in the package folder", false, "C:\\PKG", false},
        {"started in a folder ANSI cannot spell", false, UnspelledPackage, false},
        {"its own folder refused", true, FirstFolder, true},
        {"a program that carries the package", true, FirstFolder, false, true},
    };
    for (auto &c : cases) {
        StartOver();
        if (c.carries)
            CarryThePackage();
        PlaceProgram(c.startedIn == FirstFolder ? "C:\\PKG" : c.startedIn, Temp);
        standin::M().currentDirectory = c.startedIn;
        BecomeTheCopy(FirstFolder);
        for (const char *name : expected::PackageFiles)
            standin::PutFile(FirstFolder + "\\" + name, std::string("copied ") + name);
        if (!c.hasSetDllDirectory)
            standin::M().missingEntries.insert("SetDllDirectoryA");
        if (c.refused)
            standin::Fail("SetCurrentDirectoryW", ERROR_ACCESS_DENIED);
        Answer({IDOK, IDNO});
        EXPECT_EQ(StartProgram(), 1) << c.why;
        ExpectInstalledHere(c.why);
        EXPECT_TRUE(standin::CallsTo("NtCreateFile").empty()) << c.why;
        for (const char *name : expected::PackageFiles)
            EXPECT_EQ(standin::FileContents(standin::M().driverDirectory + "\\" + name),
                      std::string("copied ") + name)
                << c.why << ": installed from its own folder";
        EXPECT_EQ(standin::M().currentDirectory, FirstFolder) << c.why;
        EXPECT_TRUE(standin::M().removalsAtRestart.empty()) << c.why;
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
        };
        if (!c.hasSetDllDirectory)
            expected.erase(expected.begin() + 1);
        for (const char *name : expected::PackageFiles)
            expected.push_back(std::string("CopyFileA .\\") + name);
        EXPECT_EQ(steps, expected) << c.why;
    }
}

} // namespace
