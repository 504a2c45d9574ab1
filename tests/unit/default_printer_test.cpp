// The default-printer offer and the two ways a printer becomes the default.
#include "fixture.h"

#include <string.h>

namespace {

class DefaultPrinterTest : public InstallerTest {
protected:
    static void ExpectBroadcast(size_t count)
    {
        std::vector<standin::Call> sent = standin::CallsTo("SendMessageTimeoutA");
        ASSERT_EQ(sent.size(), count);
        if (count) {
            EXPECT_EQ(sent[0].args,
                      (std::vector<std::string>{"65535", "26", "0", "0", "0", "1000", "(null)"}));
        }
    }
    // After a full run only the printer handle of the registration step is open.
    static void ExpectReleased(const char *why)
    {
        EXPECT_EQ(standin::M().openPrinters.size(), 1u)
            << why << ": a printer handle was left open";
        EXPECT_TRUE(standin::M().globalBlocks.empty()) << why << ": a global block was not freed";
    }
};

TEST_F(DefaultPrinterTest, OnlyYesChangesTheDefaultPrinter)
{
    for (bool boxFails : {false, true}) {
        const char *why = boxFails ? "the question could not be shown" : "No";
        StartOver();
        standin::M().defaultPrinter = "Other";
        if (boxFails) {
            Answer({IDOK});
            standin::Fail("MessageBoxA", ERROR_NOT_ENOUGH_MEMORY, 2);
        } else {
            Answer({IDOK, IDNO});
        }
        EXPECT_EQ(RunInstaller(), 1) << why;
        EXPECT_EQ(standin::M().defaultPrinter, "Other") << why;
        EXPECT_TRUE(standin::CallsTo("SetDefaultPrinterA").empty()) << why;
        EXPECT_TRUE(standin::CallsTo("OpenPrinterA").empty()) << why;
        ExpectBroadcast(0);
    }
}

TEST_F(DefaultPrinterTest, YesOnNt5SetsTheInstalledPrinterThroughTheSpooler)
{
    for (DWORD minor : {0u, 1u, 2u}) {
        StartOver();
        SetVersion(VER_PLATFORM_WIN32_NT, 5, minor);
        Answer({IDOK, IDYES});
        EXPECT_EQ(RunInstaller(), 1);
        EXPECT_EQ(standin::M().defaultPrinter, expected::DriverName);
        EXPECT_EQ(standin::CallsTo("GetProcAddress").back().args,
                  (std::vector<std::string>{"winspool.drv", "SetDefaultPrinterA"}))
            << "bound from the spooler loaded for the earlier steps";
        EXPECT_EQ(standin::CallsTo("SetDefaultPrinterA")[0].args[0], expected::DriverName);
        ExpectBroadcast(1);
        ExpectReleased("NT 5");
        EXPECT_TRUE(BoxesAre({{InstallQuestionText, InstallQuestionType},
                              {DefaultQuestionText, DefaultQuestionType},
                              {CompletionText, MB_ICONINFORMATION}}));
    }
}

TEST_F(DefaultPrinterTest, YesOnNt4WritesTheDeviceEntryFromTheDescription)
{
    SetVersion(VER_PLATFORM_WIN32_NT, 4, 0);
    Answer({IDOK, IDYES});
    EXPECT_EQ(RunInstaller(), 1);
    EXPECT_EQ(standin::M().systemProfile["windows"]["device"], expected::DeviceEntry);
    EXPECT_EQ(standin::M().defaultPrinter, expected::DriverName);
    EXPECT_TRUE(standin::CallsTo("SetDefaultPrinterA").empty());
    std::vector<standin::Call> blocks = standin::CallsTo("GlobalAlloc");
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].args[0], "64") << "zero-filled";
    EXPECT_EQ(blocks[1].args,
              (std::vector<std::string>{"64", std::to_string(expected::DeviceEntry.size() + 1)}))
        << "the device string's block holds exactly the three texts, two commas and the NUL";
    ExpectBroadcast(1);
    ExpectReleased("NT 4.0");
}

TEST_F(DefaultPrinterTest, ALongDriverAndPortNameFitTheirExactBlock)
{
    SetVersion(VER_PLATFORM_WIN32_NT, 4, 0);
    std::string driver(400, 'D'), port(300, 'P');
    standin::AddPrinter("Long", driver, port);
    char name[] = "Long";
    EXPECT_EQ(MakeDefaultPrinter(name), 1);
    EXPECT_EQ(standin::M().systemProfile["windows"]["device"], "Long," + driver + "," + port);
    EXPECT_EQ(standin::CallsTo("GlobalAlloc")[1].args[1], std::to_string(4 + 400 + 300 + 3));
    EXPECT_TRUE(standin::M().openPrinters.empty());
    EXPECT_TRUE(standin::M().globalBlocks.empty());
}

TEST_F(DefaultPrinterTest, EveryFailureReturnsZeroReleasesAllAndTheRunCompletes)
{
    struct {
        const char *why;
        DWORD major;
        void (*arrange)();
    } cases[] = {
        {"open fails", 4, [] { standin::Fail("OpenPrinterA", ERROR_INVALID_PRINTER_NAME); }},
        {"open yields no handle", 4, [] { standin::M().openPrinterYieldsNull = true; }},
        {"size 0", 4, [] { standin::Fail("GetPrinterA", ERROR_INVALID_HANDLE, 1); }},
        {"allocation fails", 4, [] { standin::Fail("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, 1); }},
        {"read fails", 4, [] { standin::Fail("GetPrinterA", ERROR_INVALID_HANDLE, 2); }},
        {"no driver name", 4,
         [] { standin::M().printers[expected::DriverName].nullDriverName = true; }},
        {"no port name", 4,
         [] { standin::M().printers[expected::DriverName].nullPortName = true; }},
        {"device block fails", 4, [] { standin::Fail("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY, 2); }},
        {"profile write fails", 4,
         [] { standin::Fail("WriteProfileStringA", ERROR_ACCESS_DENIED); }},
        {"set-default fails", 5,
         [] { standin::Fail("SetDefaultPrinterA", ERROR_INVALID_PRINTER_NAME); }},
        {"set-default not exported", 5,
         [] { standin::M().missingEntries.insert("SetDefaultPrinterA"); }},
    };
    for (auto &c : cases) {
        StartOver();
        SetVersion(VER_PLATFORM_WIN32_NT, c.major, 0);
        standin::M().defaultPrinter = "Other";
        // Arranged once the printer exists, just before the question is answered.
        Answer({IDOK});
        strcpy(DriverDirectory, standin::M().driverDirectory.c_str());
        ASSERT_EQ(DoFiles(), 1);
        ASSERT_EQ(AddDriverAndPrinter(), 1);
        c.arrange();
        Rebind();
        std::string name = expected::DriverName;
        EXPECT_EQ(MakeDefaultPrinter(&name[0]), 0) << c.why;
        EXPECT_EQ(standin::M().defaultPrinter, "Other") << c.why;
        ExpectBroadcast(0);
        ExpectReleased(c.why);
        EXPECT_TRUE(standin::CallsTo("MessageBoxA").size() == 1) << c.why << ": nothing is shown";

        // The same failure inside a whole run still ends in the completion box.
        StartOver();
        SetVersion(VER_PLATFORM_WIN32_NT, c.major, 0);
        memset(DriverDirectory, 0, sizeof DriverDirectory);
        // Arranged before the run.
        standin::AddPrinter(expected::DriverName, expected::DriverName, expected::Port);
        standin::M().drivers[expected::DriverName].name = expected::DriverName;
        c.arrange();
        Answer({IDOK, IDYES});
        EXPECT_EQ(RunInstaller(), 1) << c.why;
        EXPECT_EQ(standin::M().boxes.back().text, CompletionText) << c.why;
    }
}

TEST_F(DefaultPrinterTest, ANullNameReturnsBeforeAnySpoolerCall)
{
    for (DWORD major : {4u, 5u}) {
        StartOver();
        SetVersion(VER_PLATFORM_WIN32_NT, major, 0);
        EXPECT_EQ(MakeDefaultPrinter(NULL), 0);
        EXPECT_EQ(standin::FunctionsCalled(), (std::vector<std::string>{"GetVersionExA"}));
    }
}

TEST_F(DefaultPrinterTest, NoDefaultIsMadeWithoutAKnownNtVersion)
{
    standin::AddPrinter(expected::DriverName, expected::DriverName, expected::Port);
    std::string name = expected::DriverName;
    standin::Fail("GetVersionExA", ERROR_INVALID_PARAMETER);
    EXPECT_EQ(MakeDefaultPrinter(&name[0]), 0);
    StartOver();
    standin::AddPrinter(expected::DriverName, expected::DriverName, expected::Port);
    SetVersion(VER_PLATFORM_WIN32_WINDOWS, 4, 10);
    EXPECT_EQ(MakeDefaultPrinter(&name[0]), 0);
    EXPECT_TRUE(standin::M().defaultPrinter.empty());
    ExpectBroadcast(0);
}

} // namespace
