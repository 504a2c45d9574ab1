// Common ground of the unit tests: a fresh stand-in machine and zeroed
// process-wide buffers per test, the installer run through WinMain, and
// readers for the boxes and the log it left.
#ifndef TESTS_FIXTURE_H
#define TESTS_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "expected.h"
#include "scrivox.h"
#include "standin.h"

struct ExpectedBox {
    std::string text;
    UINT type;
};

// Texts of the installer's boxes, as the user sees them.
using expected::CompletionText;
using expected::DefaultQuestionText;
using expected::DoFilesErrorText;
using expected::ExpectedLog;
using expected::InstallQuestionText;
using expected::RefusalText;
const UINT InstallQuestionType = expected::InstallQuestionFlags;
const UINT DefaultQuestionType = expected::DefaultQuestionFlags;

const std::string LogPath = std::string("C:\\TEMP\\") + expected::LogName;

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A fresh machine and a new process: the installer's process-wide state
    // is zero again and the system libraries are loaded, as before the
    // installation starts; the calls to load them are not kept.
    static void StartOver();
    // The binding made anew, for what was arranged about the libraries since.
    static void Rebind();
    static int RunInstaller();
    // Starts the program as Windows would: the launcher, or the private copy
    // when the machine's command line says so.
    static int StartProgram();
    static void Answer(std::vector<int> answers);
    // The log's messages (expected::ReadLog), its form checked.
    static std::vector<std::string> LogMessages();
    // The log's messages after the start entry and the four "Copied" entries.
    static std::vector<std::string> LogAfterCopies();
    static void SetVersion(DWORD platform, DWORD major, DWORD minor);
    // Runs the installer and expects it to end with 0 at the driver-directory
    // step: no box, only the start entry in the log, no file copied.
    static void ExpectEndedSilently(const char *why);
    // Runs the installer and expects it refused at the version check: the
    // refusal box, 0, only the start entry in the log, nothing asked of the
    // spooler, no file copied.
    static void ExpectRefused(const char *why);
};

// Every box shown, in order: text, flags, the installer's caption and no owner.
::testing::AssertionResult BoxesAre(const std::vector<ExpectedBox> &expected);

// The file names of the libraries LoadLibraryExA was asked for, in order.
std::vector<std::string> LibrariesLoaded();

#endif
