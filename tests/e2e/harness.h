// The end-to-end harness: runs the real ScrivoxSetup.exe in a chosen working
// folder, environment and Windows version, answers its message boxes, and
// reads back what the run left behind.
#ifndef E2E_HARNESS_H
#define E2E_HARNESS_H

#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "expected.h"

struct BoxSeen {
    std::string program; // the image of the process that showed it
    std::string text;    // as the box's text control shows it
    std::string title;   // its window's title: the caption, as the screen shows it
    std::string buttons; // "OK", "OK,Cancel", "Yes,No"
    bool traced = false; // the MessageBoxA call was found in the relay trace
    std::string owner;   // from the trace: "00000000" for none
    std::string caption;
    unsigned flags = 0;
    std::string tracedText;
    // While it was up: the current directory of the process showing it (in
    // its long form), and
    // what became of another process's attempt to rename a private folder
    // that holds that program ("refused with error 32", "renamed"; "" where
    // the program is in no such folder).
    std::string currentDirectory;
    std::string folderRename;
    std::string programFile; // that program's file, read while the box was up
};

// Paths and names are UTF-8 here; they reach Windows through the wide calls.
struct RunOptions {
    std::string installer;            // path of ScrivoxSetup.exe
    std::string commandLine;          // when set, its whole command line, the program named apart
    std::string workingFolder;        // its current directory
    std::string windowsVersion;       // Wine's name: nt40, win2k, winxp, ...
    std::vector<std::string> answers; // for the questions, in order: ok, cancel, yes, no
    bool answerBoxes = true;          // false: the user answers them on the display
    std::map<std::string, std::string> setEnvironment;
    std::vector<std::string> removeEnvironment;
    std::string relayFile;            // where Wine's relay trace of MessageBoxA lands
    std::string screenshotFolder;     // when set, each box is saved there as box-N.bmp
    size_t endAtBox = 0;              // when set, the process showing that box (from 1) is ended
    DWORD endStatus = 0;              // with this exit status, as End Task would end it
    std::function<void()> atFirstBox; // when set, called as soon as the first box is seen
    // When set, the program is started suspended, as the system has mapped
    // it, and this is called before it runs.
    std::function<void()> whileSuspended;
};

struct RunResult {
    std::string installer;     // the program started
    std::string installerFile; // its file, as it was when started
    DWORD processId = 0;       // of the process started
    bool started = false;
    bool finished = false;
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<BoxSeen> boxes;
    std::vector<std::string> problems;    // unanswerable boxes and the like
    std::vector<std::string> answersLeft; // the answers given that no box asked for
    std::vector<std::string> tempAdded;   // what the temporary directory holds that it did not
    size_t processes = 0; // the process started and those it started, as seen while it ran
};

RunResult RunInstaller(const RunOptions &options);

// The seconds each program run took, from its start to its end, in order,
// for the suite's timing lines.
std::vector<double> &RunSeconds();
double Seconds(); // a clock reading, in seconds

std::string Lower(std::string text);
// The long form of a path that exists, else the path: Wine gives a program
// its own path in the long form whatever form started it.
std::string LongForm(const std::string &path);
std::wstring Wide(const std::string &utf8);
std::string Utf8(const std::wstring &wide);

// A module load in Wine's trace (WINEDEBUG=+pid,+loaddll), in the order seen.
struct ModuleLoad {
    DWORD processId;
    std::string path;
};
std::vector<ModuleLoad> ModuleLoads(const std::string &trace);

// Wine's settings for the program alone (by default by its own name, which its
// private copy has): value name of HKCU\Software\Wine\AppDefaults\PROGRAM[\subkey],
// removed when value is "".
void SetInstallerDefault(const std::string &subkey, const char *name, const std::string &value,
                         const std::string &program = expected::ProgramName);

// Milliseconds from starting the program to the first visible message box of
// it or a process it started, which is then cancelled and every later box
// answered; -1 when none came.
double MillisecondsToFirstBox(const std::string &program, const std::string &folder);

// What the machine holds (machine.cpp).
std::set<std::string> FolderEntries(const std::string &folder); // the names in it
// Every file of that name in the folder or below it, as a 64-bit Windows
// holds it: WOW64's redirection of System32 is turned off for the search.
std::vector<std::string> FindFiles(const std::string &folder, const char *name);
bool ReadWholeFile(const std::string &path, std::string *contents);
bool WriteWholeFile(const std::string &path, const std::string &contents);
std::string DriverDirectory();
std::string TempDirectory();
std::string WindowsDirectory();

struct DriverState {
    bool found = false;
    std::string environment, driverPath, dataFile, configFile, helpFile, monitor, dataType;
    std::vector<std::string> dependentFiles;
};
DriverState ReadDriver(const char *name, const char *environment = "Windows NT x86");

struct PrinterState {
    bool found = false;
    std::string name, port, driver, printProcessor, dataType;
};
PrinterState ReadPrinter(const char *name);

std::string DefaultPrinter(); // "" when there is none
std::string DeviceEntry();    // win.ini [windows] device

struct RegistryValue {
    bool keyFound = false, found = false;
    DWORD type = 0;
    std::string data; // every byte stored, the NUL included; text in UTF-8
};
RegistryValue ReadValue(HKEY root, const char *key, const char *name);
inline RegistryValue ReadUserValue(const char *key, const char *name)
{
    return ReadValue(HKEY_CURRENT_USER, key, name);
}

#endif
