// How the installer reaches the print spooler: loaded once by its full path
// in the system directory, each entry bound on first use, and a spooler that
// cannot be had failing the step that needed it.
#include "fixture.h"

namespace {

const char SpoolerPath[] = "C:\\WINDOWS\\system32\\winspool.drv";

class SpoolerTest : public InstallerTest {
protected:
    static std::vector<std::string> EntriesBound()
    {
        std::vector<std::string> names;
        for (const standin::Call &call : standin::CallsTo("GetProcAddress")) {
            if (call.args[0] == "kernel32.dll")
                continue; // the version check's own look-ups
            EXPECT_EQ(call.args[0], "winspool.drv") << "looked up in a module that was not loaded";
            names.push_back(call.args[1]);
        }
        return names;
    }
};

TEST_F(SpoolerTest, ItIsLoadedOnceFromTheSystemDirectoryAndEachEntryBoundOnce)
{
    // NT 5, Yes: the driver directory, both adds and the set-default entry.
    Answer({IDOK, IDYES});
    ASSERT_EQ(RunInstaller(), 1);
    std::vector<standin::Call> loads = standin::CallsTo("LoadLibraryExA");
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].args, (std::vector<std::string>{SpoolerPath, "(null)", "8"}))
        << "the full path, with LOAD_WITH_ALTERED_SEARCH_PATH";
    EXPECT_EQ(standin::CallsTo("GetSystemDirectoryA")[0].args[0], "260");
    EXPECT_EQ(EntriesBound(),
              (std::vector<std::string>{"GetPrinterDriverDirectoryA", "AddPrinterDriverA",
                                        "AddPrinterA", "SetDefaultPrinterA"}));

    // NT 4.0 over an existing printer, Yes: OpenPrinterA is called twice,
    // bound once, and SetDefaultPrinterA, which NT 4.0 lacks, is never asked for.
    StartOver();
    SetVersion(VER_PLATFORM_WIN32_NT, 4, 0);
    standin::AddPrinter(expected::DriverName, expected::DriverName, "LPT1:");
    standin::M().drivers[expected::DriverName].name = expected::DriverName;
    standin::M().missingSpoolerEntries.insert("SetDefaultPrinterA");
    Answer({IDOK, IDYES});
    ASSERT_EQ(RunInstaller(), 1);
    EXPECT_EQ(standin::CallsTo("LoadLibraryExA").size(), 1u);
    EXPECT_EQ(standin::CallsTo("OpenPrinterA").size(), 2u);
    std::vector<std::string> bound = EntriesBound();
    EXPECT_EQ(bound, (std::vector<std::string>{"GetPrinterDriverDirectoryA", "AddPrinterDriverA",
                                               "AddPrinterA", "OpenPrinterA", "GetPrinterA",
                                               "ClosePrinter"}));
    EXPECT_EQ(standin::M().defaultPrinter, expected::DriverName);
}

TEST_F(SpoolerTest, WithoutTheSystemsSpoolerTheRunEndsSilentlyAtTheDriverDirectory)
{
    struct {
        const char *why;
        void (*arrange)();
        size_t loads; // LoadLibraryExA calls expected
    } cases[] = {
        {"system directory query fails",
         [] { standin::Fail("GetSystemDirectoryA", ERROR_ACCESS_DENIED); }, 0},
        {"system directory longer than the path buffer",
         [] { standin::M().systemDirectory = "C:\\" + std::string(300, 'S'); }, 0},
        {"system directory fits, but not with \\winspool.drv",
         [] { standin::M().systemDirectory = "C:\\" + std::string(250, 'S'); }, 0},
        {"no spooler in the system directory", [] { standin::M().spoolerInstalled = false; }, 1},
        {"the load fails", [] { standin::Fail("LoadLibraryExA", 193 /* ERROR_BAD_EXE_FORMAT */); },
         1},
        {"no driver-directory entry",
         [] { standin::M().missingSpoolerEntries.insert("GetPrinterDriverDirectoryA"); }, 1},
    };
    for (auto &c : cases) {
        StartOver();
        c.arrange();
        ExpectEndedSilently(c.why);
        EXPECT_EQ(standin::CallsTo("LoadLibraryExA").size(), c.loads) << c.why;
    }
}

TEST_F(SpoolerTest, AMissingEntryFailsAsThatCallWould)
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
            standin::AddPrinter(expected::DriverName, expected::DriverName, "LPT1:");
            standin::M().drivers[expected::DriverName].name = expected::DriverName;
        }
        standin::M().missingSpoolerEntries.insert(c.entry);
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
