// e2e_driver's checks of a run that only Wine shows: each box's call to
// MessageBoxA, from the relay trace; and a whole first installation.
#include "checks.h"

#include "expected.h"

using expected::DriverName;
using expected::ExpectedLog;

bool AnsiCannotSpell(const std::string &text)
{
    BOOL lacking = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, Wide(text).c_str(), -1, NULL, 0, NULL,
                        &lacking);
    return lacking != FALSE;
}

void ExpectRun(Checker &check, const RunResult &result, DWORD exitCode,
               const std::vector<Box> &boxes, ShownBy shownBy)
{
    ExpectEnded(check, result, exitCode);
    ExpectBoxes(check, result, boxes, shownBy);
    ExpectHeld(check, result);
    ExpectNothingLeft(check, result);
    for (size_t i = 0; i < result.boxes.size() && i < boxes.size(); ++i) {
        const BoxSeen &seen = result.boxes[i];
        std::string which = "box " + std::to_string(i + 1);
        check.Expect(seen.traced, which + " found in the relay trace of MessageBoxA");
        if (!seen.traced)
            continue;
        check.Equal(seen.tracedText, boxes[i].text, which + " text passed");
        check.Equal(seen.caption, expected::Caption, which + " caption");
        check.Equal(seen.owner, "00000000", which + " owner");
        check.Equal(seen.flags, boxes[i].flags, which + " style flags");
    }
}

RunResult ExpectFirstInstallation(Checker &check, RunOptions run, bool yes)
{
    std::string windows = run.windowsVersion;
    run.answers = {"ok", yes ? "yes" : "no"};
    std::string before = DefaultPrinter();
    RunResult result = RunInstaller(run);
    ExpectRun(check, result, 1, CompleteBoxes);
    ExpectFiles(check, 4, options.package);
    ExpectDriverFiles(check, options.package);
    ExpectRegistered(check);
    ExpectSettings(check, WindowsDirectory());
    ExpectLog(check, ExpectedLog(4, {"Result = 0"}));
    if (yes) {
        check.Equal(DefaultPrinter(), DriverName, "default printer");
        if (windows == "nt40")
            check.Equal(DeviceEntry(), expected::DeviceEntry, "win.ini device entry");
    } else {
        check.Equal(DefaultPrinter(), before, "default printer unchanged");
    }
    return result;
}
