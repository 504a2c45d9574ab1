// Registering the driver and the printer with the spooler.
#include "fixture.h"

namespace {

class RegistrationTest : public InstallerTest {};

TEST_F(RegistrationTest, TheDriverRecordNamesTheCopiedFiles)
{
    Answer({IDOK, IDNO});
    ASSERT_EQ(RunInstaller(), 1);
    std::vector<standin::Call> adds = standin::CallsTo("AddPrinterDriverA");
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_EQ(adds[0].args, (std::vector<std::string>{"(null)", "3"}));
    ASSERT_EQ(standin::M().drivers.count(expected::DriverName), 1u);
    const standin::Driver &driver = standin::M().drivers[expected::DriverName];
    EXPECT_EQ(driver.version, 2024u);
    EXPECT_EQ(driver.name, expected::DriverName);
    EXPECT_EQ(driver.environment, "Windows NT x86");
    EXPECT_EQ(driver.driverPath, expected::DriverFile);
    EXPECT_EQ(driver.dataFile, expected::DataFile);
    EXPECT_EQ(driver.configFile, expected::ConfigFile);
    EXPECT_FALSE(driver.helpFileNull) << "the help file is an empty string, not a null pointer";
    EXPECT_EQ(driver.helpFile, "");
    std::string dependents;
    for (const char *name :
         {expected::DriverFile, expected::ConfigFile, expected::HelperFile, expected::DataFile})
        dependents += name + std::string(1, '\0');
    EXPECT_EQ(driver.dependentBytes, dependents + '\0');
    EXPECT_TRUE(driver.monitorNull);
    EXPECT_EQ(driver.defaultDataType, "RAW");
}

TEST_F(RegistrationTest, ThePrinterRecordSetsOnlyItsFiveFields)
{
    Answer({IDOK, IDNO});
    ASSERT_EQ(RunInstaller(), 1);
    std::vector<standin::Call> adds = standin::CallsTo("AddPrinterA");
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_EQ(adds[0].args, (std::vector<std::string>{"(null)", "2", expected::DriverName}));
    const standin::Printer &printer = standin::M().printers[expected::DriverName];
    EXPECT_EQ(printer.name, expected::DriverName);
    EXPECT_EQ(printer.port, expected::Port);
    EXPECT_EQ(printer.driver, expected::DriverName);
    EXPECT_EQ(printer.printProcessor, "WinPrint");
    EXPECT_EQ(printer.datatype, "RAW");
    const PRINTER_INFO_2A &added = printer.added;
    const void *unset[] = {added.pServerName, added.pShareName,         added.pComment,
                           added.pLocation,   added.pDevMode,           added.pSepFile,
                           added.pParameters, added.pSecurityDescriptor};
    for (const void *field : unset)
        EXPECT_EQ(field, nullptr);
    const DWORD zero[] = {added.Attributes, added.Priority,  added.DefaultPriority,
                          added.StartTime,  added.UntilTime, added.Status,
                          added.cJobs,      added.AveragePPM};
    for (DWORD field : zero)
        EXPECT_EQ(field, 0u);
    EXPECT_EQ(LogAfterCopies(), (std::vector<std::string>{"Result = 0"}))
        << "an added printer logs nothing";
}

TEST_F(RegistrationTest, AnExistingPrinterIsReopenedAndTheRunGoesOn)
{
    for (bool productPrinterExists : {true, false}) {
        StartOver();
        standin::AddPrinter(expected::DriverName, expected::DriverName, expected::Port);
        if (productPrinterExists)
            standin::AddPrinter(expected::ProductPrinterName, expected::DriverName, expected::Port);
        Answer({IDOK, IDNO});
        EXPECT_EQ(RunInstaller(), 1) << productPrinterExists;
        EXPECT_EQ(LogAfterCopies(),
                  (std::vector<std::string>{"Add Printer Error 1802", "Result = 0"}));
        std::vector<standin::Call> opens = standin::CallsTo("OpenPrinterA");
        ASSERT_EQ(opens.size(), 1u);
        EXPECT_EQ(opens[0].args,
                  (std::vector<std::string>{expected::ProductPrinterName, "(null)"}));
        EXPECT_EQ(standin::M().boxes.back().text, CompletionText);
    }
}

TEST_F(RegistrationTest, AnyOtherAddFailureEndsTheRunWithItsCodeLogged)
{
    // The driver add fails, so the spooler refuses the printer for its unknown driver.
    standin::Fail("AddPrinterDriverA", ERROR_ACCESS_DENIED);
    Answer({IDOK});
    EXPECT_EQ(RunInstaller(), 0);
    EXPECT_EQ(LogAfterCopies(), (std::vector<std::string>{"Add Printer Error 1797"}));
    EXPECT_TRUE(BoxesAre({{InstallQuestionText, InstallQuestionType}}))
        << "no box after the question";
    for (const char *name : expected::PackageFiles)
        EXPECT_TRUE(standin::FileExists(standin::M().driverDirectory + "\\" + name));
    EXPECT_TRUE(standin::CallsTo("OpenPrinterA").empty());
    EXPECT_TRUE(standin::CallsTo("RegCreateKeyExA").empty());
}

TEST_F(RegistrationTest, AnAlreadyRegisteredDriverIsNoObstacle)
{
    standin::Fail("AddPrinterDriverA", 3012 /* ERROR_PRINTER_DRIVER_ALREADY_INSTALLED */);
    standin::M().drivers[expected::DriverName].name = expected::DriverName;
    EXPECT_EQ(AddDriverAndPrinter(), 1);
    EXPECT_EQ(standin::M().printers.count(expected::DriverName), 1u);
}

} // namespace
