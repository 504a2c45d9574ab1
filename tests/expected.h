// What the tests expect of the installer, written once for the unit tests, the
// stand-in and the end-to-end driver: the texts a user sees, the names it
// registers and writes, the package's files, and its log's form.
#ifndef TESTS_EXPECTED_H
#define TESTS_EXPECTED_H

#include <stdint.h>

#include <string>
#include <vector>

namespace expected {

const char Caption[] = "Quorvane Scrivox Installer";
// The driver, and the printer added with it.
const char DriverName[] = "Scrivox Demo NT Driver";
const char ProductPrinterName[] = "Quorvane Scrivox";
// The printer's port, and the product's key under HKEY_CURRENT_USER.
const char Port[] = "LPT1:";
const char ProductKey[] = "SOFTWARE\\QRN\\Scrivox";
// Its values: the Windows directory, and a fixed text.
const char LogDirValue[] = "LogDir";
const char TrueTypeValue[] = "QrnTrueType";
const char TrueTypeData[] = "Yes";
// The INI file in the Windows directory, and its one setting.
const char IniName[] = "outval.ini";
const char IniSection[] = "Values";
const char IniKey[] = "Output Mode";
const char IniValue[] = "1";
// The log's name, in the temporary directory.
const char LogName[] = "Scrivox.log";
// The program's file name, which its private copy keeps, in a folder of the
// temporary directory named with this prefix and 16 hexadecimal digits.
const char ProgramName[] = "ScrivoxSetup.exe";
const char PrivateFolderPrefix[] = "Scrivox-";
// The program's version resource: who makes it, and what.
const char VersionCompany[] = "Quorvane";
const char VersionProduct[] = "Quorvane Scrivox";
const char VersionCopyright[] = "Copyright (C) 2026 Quorvane";
// win.ini's [windows] device entry that makes the printer the default on NT 4.0.
const std::string DeviceEntry = std::string(DriverName) + "," + DriverName + "," + Port;

// The package's driver files, in the order they are copied, and each one's
// role in the driver record.
const char DataFile[] = "SCRIVOX.PPD";
const char DriverFile[] = "SCRVDRV.DLL";
const char ConfigFile[] = "SCRVUI.DLL";
const char HelperFile[] = "SCRVUMPD.DLL";
const char *const PackageFiles[] = {DataFile, DriverFile, ConfigFile, HelperFile};
const unsigned PackageFileCount = sizeof PackageFiles / sizeof PackageFiles[0];

// The message boxes: text and style flags (MB_ICONERROR for the refusal and
// every failure; MB_OKCANCEL | MB_ICONQUESTION; MB_YESNO | MB_ICONQUESTION |
// MB_TASKMODAL; MB_ICONINFORMATION).
const char RefusalText[] = "This driver requires Windows NT 4.0 or 2000";
const char DoFilesErrorText[] = "Error 01: (DoFiles)";
const char InstallQuestionText[] = "Scrivox Driver (NT-2000-XP)\nDo you want to install it?";
const char DefaultQuestionText[] = "Set Quorvane Scrivox as default?";
const char CompletionText[] = "Install procedure has been\nsuccessfully completed.";
const unsigned ErrorFlags = 0x10;
const unsigned InstallQuestionFlags = 0x21;
const unsigned DefaultQuestionFlags = 0x2024;
const unsigned CompletionFlags = 0x40;

// The box of a driver file that could not be copied into the driver directory.
inline std::string CopyFailureText(const std::string &name, const std::string &driverDirectory)
{
    return " .\\" + name + " => \n " + driverDirectory + "\\" + name;
}

// The log read back: each line's message, with the stamp "MM/DD/YY HH:MM:SS "
// that opens each entry taken off, and what is wrong with its form, "" when
// nothing is: every line ends in CR LF, and every line has its stamp but the
// start entry's second, " BEGIN" (its message begins with a line feed).
struct LogLines {
    std::vector<std::string> messages;
    std::string fault;
};

inline LogLines ReadLog(const std::string &bytes)
{
    LogLines log;
    const std::string stamp = "dd/dd/dd dd:dd:dd ";
    for (size_t start = 0, end; start < bytes.size(); start = end + 1) {
        end = bytes.find('\n', start);
        bool crlf = end != std::string::npos && end > start && bytes[end - 1] == '\r';
        if (end == std::string::npos)
            end = bytes.size();
        std::string line = bytes.substr(start, end - start - (crlf ? 1 : 0));
        bool stamped = line.size() >= stamp.size();
        for (size_t i = 0; stamped && i < stamp.size(); ++i)
            stamped = stamp[i] == 'd' ? line[i] >= '0' && line[i] <= '9' : line[i] == stamp[i];
        if (!crlf && log.fault.empty())
            log.fault = "the line \"" + line + "\" does not end in CR LF";
        if (!stamped && !(line == " BEGIN" && !log.messages.empty()) && log.fault.empty())
            log.fault = "the line \"" + line + "\" has no stamp";
        log.messages.push_back(stamped ? line.substr(stamp.size()) : line);
    }
    return log;
}

// The messages a run leaves: the start entry's two lines, the entries of the
// first `copied` package files, then the rest.
inline std::vector<std::string> ExpectedLog(unsigned copied, std::vector<std::string> rest = {})
{
    std::vector<std::string> log = {"", " BEGIN"};
    for (unsigned i = 0; i < copied; ++i)
        log.push_back(std::string("Copied .\\") + PackageFiles[i]);
    log.insert(log.end(), rest.begin(), rest.end());
    return log;
}

// The private copy the launcher writes of a program from its image: the
// program's file itself or, for a signed program, its bytes up to its
// certificate table, with that table's entry in the headers zeroed (the
// fifth data directory of the PE32 optional header, 152 bytes after the
// signature "PE\0\0" that e_lfanew, at 0x3C, points to).
inline std::string PrivateCopyOf(const std::string &program)
{
    auto dword = [&program](size_t at) {
        uint32_t value = 0;
        for (int i = 3; i >= 0 && at + 4 <= program.size(); --i)
            value = value << 8 | static_cast<unsigned char>(program[at + i]);
        return value;
    };
    size_t entry = dword(0x3C) + 152;
    uint32_t table = dword(entry);
    if (table == 0 || table > program.size() || entry + 8 > table)
        return program;
    return program.substr(0, entry) + std::string(8, '\0') +
           program.substr(entry + 8, table - entry - 8);
}

} // namespace expected

#endif
