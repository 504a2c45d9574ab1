// What the tests expect of the installer, written once for the unit tests, the
// stand-in and the end-to-end driver: the texts a user sees, the names it
// registers and writes, and the package's files.
#ifndef TESTS_EXPECTED_H
#define TESTS_EXPECTED_H

namespace expected {

const char Caption[] = "Quorvane Scrivox Installer";
const char DriverName[] = "Scrivox Demo NT Driver"; // the driver, and the printer added with it
const char ProductPrinterName[] = "Quorvane Scrivox";
const char ProductKey[] = "SOFTWARE\\QRN\\Scrivox"; // under HKEY_CURRENT_USER
const char LogName[] = "Scrivox.log";               // in the temporary directory
// win.ini's [windows] device entry that makes the printer the default on NT 4.0.
const char DeviceEntry[] = "Scrivox Demo NT Driver,Scrivox Demo NT Driver,LPT1:";

// The package's driver files, in the order they are copied.
const char *const PackageFiles[] = {"SCRIVOX.PPD", "SCRVDRV.DLL", "SCRVUI.DLL", "SCRVUMPD.DLL"};
const unsigned PackageFileCount = sizeof PackageFiles / sizeof PackageFiles[0];

// The message boxes: text and style flags.
const char RefusalText[] = "This driver requires Windows NT 4.0 or 2000";
const char DoFilesErrorText[] = "Error 01: (DoFiles)";
const char InstallQuestionText[] = "Scrivox Driver (NT-2000-XP)\nDo you want to install it?";
const char DefaultQuestionText[] = "Set Quorvane Scrivox as default?";
const char CompletionText[] = "Install procedure has been\nsuccessfully completed.";
const unsigned ErrorFlags = 0x10;             // MB_ICONERROR: the refusal and every failure
const unsigned InstallQuestionFlags = 0x21;   // MB_OKCANCEL | MB_ICONQUESTION
const unsigned DefaultQuestionFlags = 0x2024; // MB_YESNO | MB_ICONQUESTION | MB_TASKMODAL
const unsigned CompletionFlags = 0x40;        // MB_ICONINFORMATION

} // namespace expected

#endif
