// ScrivoxCheck.exe, the check kit: on a real NT 4.0, 2000, XP or Server 2003
// it runs the release's programs as a user would and checks, in the words of
// scripts/run's report and with the e2e scenarios' code (tests/machine),
// what Wine cannot show: the boxes in front, the private folder's access
// list and hold, the DLL search, the spooler's answers, the signature.
//   main.cpp       the arguments, the question, the report
//   system.cpp     which Windows this is, and who runs the kit
//   checks.cpp     the checks that run the programs (1 to 6)
//   signature.cpp  the signature, as WinVerifyTrust judges it (7)
#ifndef KIT_KIT_H
#define KIT_KIT_H

#include <string>
#include <vector>

#include "machine/machine.h"

enum class Verdict { Pass, Fail, NotShown, Found };

// A line of the report: its verdict, the check it belongs to ("4. The
// outcome") and what was seen, or got and expected.
struct Line {
    Verdict verdict;
    std::string check;
    std::string words;
};
std::string LineText(const Line &line);

// This Windows, as the kit tells it (system.cpp).
struct SystemFacts {
    OSVERSIONINFOEXA version = {};
    bool wow64 = false;
    std::string wine; // Wine's version where this is Wine, else ""
    bool administrator = false;
    std::string user; // the user's SID
};
SystemFacts ReadSystem();
// Whether the kit checks this system: a 32-bit NT 4.0, 2000, XP or Server 2003.
bool Checked(const SystemFacts &facts);
// "Windows XP 5.1, Service Pack 3, build 2600", and "64-bit" where it is.
std::string SystemWords(const SystemFacts &facts);
std::string LanguageWords();
std::string ComputerName();

// What the kit's folder holds: the single program, the archive's program
// beside the package's files; each program's path and its bytes, as read
// once, which the checks run.
struct KitFiles {
    std::string kit, folder, single, archive;
    std::string kitBytes, singleBytes, archiveBytes;
};

// The checks, each adding its lines (checks.cpp, signature.cpp). `inFront`
// tells whether the kit was the foreground process itself, so that the box
// it starts may come to the front.
void RunChecks(const SystemFacts &facts, const KitFiles &files, const std::string &work,
               bool inFront, std::vector<Line> *lines);
Line CheckSignature(const SystemFacts &facts, const std::string &program);

#endif
