// The words in which scripts/run's report and the check kit's report say
// what a run left: one code for both, so that both say a thing alike.
#ifndef MACHINE_WORDS_H
#define MACHINE_WORDS_H

#include <string>
#include <vector>

#include "machine.h"

// A file's last-write time, as "YYYY-MM-DD HH:MM:SS UTC"; "?" where it cannot be had.
std::string LastWritten(const std::string &path);
// "PATH (N bytes, SHA-256 HEX, last written TIME)"
std::string FileWords(const std::string &path, const std::string &bytes);
// "\"TEXT\" [OK,Cancel] caption \"CAPTION\""
std::string BoxWords(const BoxSeen &box);
// What the private copy that showed a box is, against the program started:
// "the program started, byte for byte", "..., up to its signature", or "not
// the program started".
std::string PrivateCopyWords(const std::string &copy, const std::string &started);
// "driver \"NAME\": DRIVER, DATA, CONFIGURATION, data type TYPE"
std::string DriverWords(const char *name, const DriverState &driver);
// "printer \"NAME\" on PORT, driver \"DRIVER\", PROCESSOR, TYPE"
std::string PrinterWords(const PrinterState &printer);
// The product's settings that are there: each registry value, then the INI file.
std::vector<std::string> SettingsWords();
// "NAME (changed)", "(none) (unchanged)"
std::string DefaultPrinterWords(const std::string &before, const std::string &after);
// The messages of the log's entries after its first `from` bytes.
std::vector<std::string> LogEntriesAfter(size_t from);

#endif
