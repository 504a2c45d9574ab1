// What the end-to-end driver (under Wine) and the check kit (on a real
// Windows) do alike on a Windows machine: start the installer as a user
// would and answer its message boxes (run.cpp), and read back what it left
// behind: files, the spooler, the registry (state.cpp). Each calls only what
// NT 4.0 has; what later systems brought is looked up at run time
// (SystemEntry) and done without where it is missing.
#ifndef MACHINE_MACHINE_H
#define MACHINE_MACHINE_H

#include <windows.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "expected.h"

// An entry of a system DLL that every process of the program has loaded
// (KERNEL32, NTDLL, USER32, ADVAPI32), looked up at run time: NULL where
// this Windows lacks it.
template <typename Function> Function SystemEntry(const char *module, const char *name)
{
    HMODULE loaded = GetModuleHandleA(module);
    FARPROC entry = loaded != NULL ? GetProcAddress(loaded, name) : NULL;
    return reinterpret_cast<Function>(reinterpret_cast<void *>(entry));
}

// The access list of a folder, as GetSecurityInfo reads it: the SIDs its
// entries allow, in order ("S-1-5-18"), any other kind of entry as
// "(type N)", and whether it is protected from its parent's.
struct FolderAccess {
    bool read = false;
    std::vector<std::string> allowed;
    bool protectedList = false;
};

struct BoxSeen {
    std::string program; // the image of the process that showed it
    std::string text;    // as the box's text control shows it
    std::string title;   // its window's title: the caption, as the screen shows it
    std::string buttons; // "OK", "OK,Cancel", "Yes,No"
    // Its icon, by the system's icon it is: "error", "question", "warning",
    // "information", "none", "another" (one of the box's own), or
    // "unreadable" where the system gives no other process its icons.
    std::string icon;
    bool foreground = false; // it came to the front within 2 s (ProgramRun::watchForeground)
    // From Wine's relay trace of MessageBoxA, which the e2e driver reads.
    bool traced = false;
    std::string owner; // "00000000" for none
    std::string caption;
    unsigned flags = 0;
    std::string tracedText;
    // While it was up: the current directory of the process showing it (in
    // its long form), and what became of another process's attempts to
    // rename the private folder that holds that program and to open it for
    // deletion ("refused with error 32", "renamed", "opened"; "" where the
    // program is in no such folder), and that folder's access list.
    std::string currentDirectory;
    std::string folderRename, folderDelete;
    FolderAccess folderAccess;
    std::string programFile; // that program's file, read while the box was up
};

// Paths and names are UTF-8 here; they reach Windows through the wide calls.
struct ProgramRun {
    std::string installer;            // path of the program started
    std::string commandLine;          // when set, its whole command line, the program named apart
    std::string workingFolder;        // its current directory
    std::vector<std::string> answers; // for the questions, in order: ok, cancel, yes, no
    bool answerBoxes = true;          // false: the user answers them on the display
    bool watchForeground = false;     // whether the first box comes to the front
    std::map<std::string, std::string> setEnvironment;
    std::vector<std::string> removeEnvironment;
    size_t endAtBox = 0;              // when set, the process showing that box (from 1) is ended
    DWORD endStatus = 0;              // with this exit status, as End Task would end it
    std::function<void()> atFirstBox; // when set, called as soon as the first box is seen
    // When set, called with each box (numbered from 1) before it is answered.
    std::function<void(HWND, size_t)> atEachBox;
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

// Starts the program, answers its boxes and those of the processes it
// starts, and waits for its end (a minute at most).
RunResult RunProgram(const ProgramRun &run);

// The seconds each program run took, from its start to its end, in order,
// for the suite's timing lines.
std::vector<double> &RunSeconds();
double Seconds(); // a clock reading, in seconds
// Starts the program with those arguments in the folder, as Explorer would,
// and waits for its end, answering nothing: its exit status, or 0xFFFFFFFF
// where it did not start or end within the time.
DWORD RunToEnd(const std::string &program, const std::string &arguments, const std::string &folder,
               DWORD timeoutMs);
// Milliseconds from starting the program to the first visible message box of
// it or a process it started, which is then cancelled and every later box
// answered; -1 when none came.
double MillisecondsToFirstBox(const std::string &program, const std::string &folder);

std::string Lower(std::string text);
// The long form of a path that exists, else the path: Wine gives a program
// its own path in the long form whatever form started it.
std::string LongForm(const std::string &path);
std::wstring Wide(const std::string &utf8);
std::string Utf8(const std::wstring &wide);
// Text as a C literal would show it: quoted, with \n, \r and \0 spelled out.
std::string Show(const std::string &text);
std::string Join(const std::vector<std::string> &lines); // each line and a '|'
std::string BaseName(const std::string &path);
// A SID as text, "S-1-5-32-544".
std::string SidText(PSID sid);

// What the machine holds (state.cpp).
std::set<std::string> FolderEntries(const std::string &folder); // the names in it
// Every file of that name in the folder or below it, as a 64-bit Windows
// holds it: WOW64's redirection of System32 is turned off for the search.
std::vector<std::string> FindFiles(const std::string &folder, const char *name);
bool Exists(const std::string &path);
// The programs (*.exe) in the folder but the installer's and the one named
// `beside`: in the check kit's folder, the single program alone.
std::vector<std::string> OtherPrograms(const std::string &folder, const std::string &beside);
bool CopyTo(const std::string &from, const std::string &to);
bool ReadWholeFile(const std::string &path, std::string *contents);
bool WriteWholeFile(const std::string &path, const std::string &contents);
std::string DriverDirectory();
std::string TempDirectory();
std::string WindowsDirectory();
// Whether the path is TEMP\<prefix><16 hexadecimal digits>\<the program's name>.
bool IsPrivateCopy(const std::string &path);
// The files the system is to delete at the next restart, in small letters.
std::string PendingRemovals();
// outval.ini in the Windows directory, or "(no file)".
std::string IniBytes();

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
