// How the installer reaches USER32, ADVAPI32, the print spooler and KERNEL32's
// newer entries: each library loaded once by its full path in the system
// directory, its entries bound as it is loaded, and a library or entry that
// cannot be had failing the calls that needed it.
#include "fixture.h"

namespace {

const char SystemDirectory[] = "C:\\WINDOWS\\system32\\";

class LibrariesTest : public InstallerTest {
protected:
    // "module!entry" for every entry looked up, in order.
    static std::vector<std::string> EntriesBound()
    {
        std::vector<std::string> names;
        for (const standin::Call &call : standin::CallsTo("GetProcAddress"))
            names.push_back(call.args[0] + "!" + call.args[1]);
        return names;
    }
};

TEST_F(LibrariesTest, EachIsLoadedOnceFromTheSystemDirectoryAndEachEntryBoundOnce)
{
    Answer({IDOK, IDYES});
    ASSERT_EQ(RunInstaller(), 1);
    std::vector<std::vector<std::string>> loads;
    for (const standin::Call &call : standin::CallsTo("LoadLibraryExA"))
        loads.push_back(call.args);
    EXPECT_EQ(loads, (std::vector<std::vector<std::string>>{
                         {std::string(SystemDirectory) + "user32.dll", "(null)", "8"},
                         {std::string(SystemDirectory) + "advapi32.dll", "(null)", "8"},
                         {std::string(SystemDirectory) + "winspool.drv", "(null)", "8"}}))
        << "full paths, with LOAD_WITH_ALTERED_SEARCH_PATH";
    EXPECT_EQ(standin::CallsTo("GetModuleHandleA")[0].args[0], "kernel32.dll");
    EXPECT_EQ(standin::CallsTo("GetSystemDirectoryA")[0].args[0], "260");
    EXPECT_EQ(EntriesBound(), (std::vector<std::string>{
                                  "kernel32.dll!IsWow64Process",
                                  "kernel32.dll!GetNativeSystemInfo",
                                  "kernel32.dll!SetDllDirectoryA",
                                  "kernel32.dll!FindResourceA",
                                  "kernel32.dll!SizeofResource",
                                  "kernel32.dll!LoadResource",
                                  "kernel32.dll!GetTempPathW",
                                  "kernel32.dll!CreateFileW",
                                  "kernel32.dll!GetFileInformationByHandle",
                                  "kernel32.dll!GetModuleFileNameW",
                                  "kernel32.dll!CopyFileW",
                                  "kernel32.dll!SetFileAttributesW",
                                  "kernel32.dll!SetFileTime",
                                  "kernel32.dll!GetStartupInfoW",
                                  "kernel32.dll!CreateProcessW",
                                  "kernel32.dll!DeleteFileW",
                                  "kernel32.dll!RemoveDirectoryW",
                                  "kernel32.dll!SetCurrentDirectoryW",
                                  "kernel32.dll!GetCurrentThreadId",
                                  "user32.dll!MessageBoxA",
                                  "user32.dll!SendMessageTimeoutA",
                                  "advapi32.dll!RegCreateKeyExA",
                                  "advapi32.dll!RegSetValueExA",
                                  "winspool.drv!GetPrinterDriverDirectoryA",
                                  "winspool.drv!AddPrinterDriverA",
                                  "winspool.drv!AddPrinterA",
                                  "winspool.drv!OpenPrinterA",
                                  "winspool.drv!GetPrinterA",
                                  "winspool.drv!ClosePrinter",
                                  "winspool.drv!SetDefaultPrinterA",
                              }));

    // Loading them again in the same process binds nothing anew.
    standin::ForgetCalls();
    LoadSystemLibraries();
    EXPECT_TRUE(standin::CallsTo("LoadLibraryExA").empty());
    EXPECT_TRUE(standin::CallsTo("GetProcAddress").empty());
}

TEST_F(LibrariesTest, WithoutTheSystemsSpoolerTheRunEndsSilentlyAtTheDriverDirectory)
{
    struct {
        const char *why;
        void (*arrange)();
        size_t loads; // LoadLibraryExA calls for the spooler expected
    } cases[] = {
        {"system directory query fails",
         [] { standin::Fail("GetSystemDirectoryA", ERROR_ACCESS_DENIED); }, 0},
        {"system directory longer than the path buffer",
         [] { standin::M().systemDirectory = "C:\\" + std::string(300, 'S'); }, 0},
        {"system directory fits, but not with \\winspool.drv",
         [] { standin::M().systemDirectory = "C:\\" + std::string(250, 'S'); }, 0},
        {"no spooler in the system directory",
         [] { standin::M().missingLibraries.insert("winspool.drv"); }, 1},
        {"the load fails", [] { standin::Fail("LoadLibraryExA", 193 /* ERROR_BAD_EXE_FORMAT */); },
         1},
        {"no driver-directory entry",
         [] { standin::M().missingEntries.insert("GetPrinterDriverDirectoryA"); }, 1},
    };
    for (auto &c : cases) {
        StartOver();
        c.arrange();
        ExpectEndedSilently(c.why);
        std::vector<std::string> loaded = LibrariesLoaded();
        EXPECT_EQ(std::count(loaded.begin(), loaded.end(), "winspool.drv"), c.loads) << c.why;
    }
}

TEST_F(LibrariesTest, AMissingLibraryFailsItsCallsAsTheLoaderWould)
{
    // Without USER32 no box can be shown: the installation question is no
    // consent. Without ADVAPI32 the registry's calls return the loader's code.
    struct {
        const char *library;
        int exitStatus;
        std::vector<std::string> logTail;
        size_t boxes;
    } cases[] = {
        {"user32.dll", 0, {}, 0},
        {"advapi32.dll", 1, {"Result = 126"}, 3},
    };
    for (auto &c : cases) {
        StartOver();
        standin::M().missingLibraries.insert(c.library);
        Answer(c.boxes ? std::vector<int>{IDOK, IDNO} : std::vector<int>{});
        EXPECT_EQ(RunInstaller(), c.exitStatus) << c.library;
        EXPECT_EQ(LogAfterCopies(), c.logTail) << c.library;
        EXPECT_EQ(standin::M().boxes.size(), c.boxes) << c.library;
        EXPECT_TRUE(standin::M().registry.empty()) << c.library;
    }
}

TEST_F(LibrariesTest, AMissingEntryFailsAsThatCallWould)
{
    struct {
        const char *entry;
        DWORD major;
        bool printerExists;
        int exitStatus;
        std::vector<std::string> logTail;
        const char *defaultAfter;
    } cases[] = {
        // The driver is not registered, so the spooler refuses the printer.
        {"AddPrinterDriverA", 5, false, 0, {"Add Printer Error 1797"}, "Other"},
        // The loader's own error code is what the log records.
        {"AddPrinterA", 5, false, 0, {"Add Printer Error 127"}, "Other"},
        // An existing printer's reopen and the NT 4.0 default both need it.
        {"OpenPrinterA", 4, true, 1, {"Add Printer Error 1802", "Result = 0"}, "Other"},
        {"GetPrinterA", 4, false, 1, {"Result = 0"}, "Other"},
        // Nothing depends on the close: the default is made all the same.
        {"ClosePrinter", 4, false, 1, {"Result = 0"}, expected::DriverName},
        {"SetDefaultPrinterA", 5, false, 1, {"Result = 0"}, "Other"},
    };
    for (auto &c : cases) {
        StartOver();
        SetVersion(VER_PLATFORM_WIN32_NT, c.major, 0);
        standin::M().defaultPrinter = "Other";
        if (c.printerExists) {
            standin::AddPrinter(expected::DriverName, expected::DriverName, expected::Port);
            standin::M().drivers[expected::DriverName].name = expected::DriverName;
        }
        standin::M().missingEntries.insert(c.entry);
        bool completes = c.exitStatus == 1;
        Answer(completes ? std::vector<int>{IDOK, IDYES} : std::vector<int>{IDOK});
        EXPECT_EQ(RunInstaller(), c.exitStatus) << c.entry;
        EXPECT_EQ(LogAfterCopies(), c.logTail) << c.entry;
        EXPECT_EQ(standin::M().defaultPrinter, c.defaultAfter) << c.entry;
        EXPECT_EQ(standin::M().boxes.back().text, completes ? CompletionText : InstallQuestionText)
            << c.entry;
        EXPECT_TRUE(standin::M().globalBlocks.empty()) << c.entry << ": a global block was kept";
        EXPECT_EQ(standin::CallsTo(c.entry).size(), 0u)
            << c.entry << " reached the spooler although it was not bound";
    }
}

} // namespace
