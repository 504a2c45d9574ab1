// What the driver's commands do alike: the working folder a run starts in,
// the run itself.
#include "driver.h"

#include <algorithm>

#include "expected.h"

std::string MakeWorkingFolder(const std::string &scenario, std::vector<std::string> omit)
{
    std::string folder = "C:\\scenario-" + scenario;
    CreateDirectoryW(Wide(folder).c_str(), NULL);
    // Copied with their times, as unpacking an archive leaves them.
    for (const char *name : expected::PackageFiles) {
        if (std::find(omit.begin(), omit.end(), name) == omit.end())
            CopyFileW(Wide(options.package + "\\" + name).c_str(),
                      Wide(folder + "\\" + name).c_str(), FALSE);
    }
    return folder;
}

static std::string WineVersion(const std::string &windows)
{
    const std::string suffix = "-64";
    if (windows.size() > suffix.size() &&
        windows.compare(windows.size() - suffix.size(), suffix.size(), suffix) == 0)
        return windows.substr(0, windows.size() - suffix.size());
    return windows;
}

RunOptions MakeRun(const std::string &folder, const std::string &windows,
                   std::vector<std::string> answers)
{
    RunOptions run;
    run.installer = options.installer;
    run.workingFolder = folder;
    run.windowsVersion = WineVersion(windows);
    run.answers = std::move(answers);
    run.relayFile = options.relay;
    return run;
}
