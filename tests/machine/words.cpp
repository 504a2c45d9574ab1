#include "words.h"

#include <stdio.h>

#include <algorithm>

#include "sha256.h"

using expected::ProductKey;

std::string LastWritten(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    SYSTEMTIME time;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToSystemTime(&data.ftLastWriteTime, &time))
        return "?";
    char text[32];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC", time.wYear, time.wMonth,
             time.wDay, time.wHour, time.wMinute, time.wSecond);
    return text;
}

std::string FileWords(const std::string &path, const std::string &bytes)
{
    return path + " (" + std::to_string(bytes.size()) + " bytes, SHA-256 " + Sha256(bytes) +
           ", last written " + LastWritten(path) + ")";
}

std::string BoxWords(const BoxSeen &box)
{
    return Show(box.text) + " [" + box.buttons + "] caption " + Show(box.title);
}

std::string PrivateCopyWords(const std::string &copy, const std::string &started)
{
    if (copy != expected::PrivateCopyOf(started))
        return "not the program started";
    return copy == started ? "the program started, byte for byte"
                           : "the program started, up to its signature";
}

std::string DriverWords(const char *name, const DriverState &driver)
{
    return std::string("driver \"") + name + "\": " + driver.driverPath + ", " + driver.dataFile +
           ", " + driver.configFile + ", data type " + driver.dataType;
}

std::string PrinterWords(const PrinterState &printer)
{
    return "printer \"" + printer.name + "\" on " + printer.port + ", driver \"" + printer.driver +
           "\", " + printer.printProcessor + ", " + printer.dataType;
}

std::vector<std::string> SettingsWords()
{
    std::vector<std::string> settings;
    for (const char *name : {expected::LogDirValue, expected::TrueTypeValue}) {
        RegistryValue value = ReadUserValue(ProductKey, name);
        if (value.found)
            settings.push_back(std::string("HKCU\\") + ProductKey + " " + name + " = " +
                               Show(value.data.substr(0, value.data.find('\0'))) +
                               (value.type == REG_SZ ? " (REG_SZ)" : ""));
    }
    std::string ini = IniBytes();
    if (ini != "(no file)")
        settings.push_back(WindowsDirectory() + "\\" + expected::IniName + ": " + Show(ini));
    return settings;
}

std::string DefaultPrinterWords(const std::string &before, const std::string &after)
{
    return (after.empty() ? "(none)" : after) + (after == before ? " (unchanged)" : " (changed)");
}

std::vector<std::string> LogEntriesAfter(size_t from)
{
    std::string log;
    ReadWholeFile(TempDirectory() + expected::LogName, &log);
    return expected::ReadLog(log.substr(std::min(from, log.size()))).messages;
}
