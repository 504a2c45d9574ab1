// e2e_driver's scenarios of what the program loads, and from where: DLLs
// planted beside it under the names system code loads by name, its file
// renamed away or replaced after its start, a manifest and a private
// assembly beside it; each checked in Wine's module-load trace.
#include "checks.h"

#include <algorithm>

#include "expected.h"
#include "planted_dll.h"

using expected::PackageFiles;

namespace {

// A name that no ANSI code page can spell: Cyrillic and Greek together.
const char UnspelledName[] = "Загрузки Ωμέγα";

// What a run loaded, from Wine's module-load trace since `traceStart`:
// nothing from the package folder or below it but the installer, and nothing in the
// process started there (the launcher) but the installer, NTDLL and KERNEL32
// (and KERNELBASE, which Wine's KERNEL32 imports), so that no DLL that
// system code loads by name, USER32's start-up among it, is ever looked for
// beside it.
void ExpectLoads(Checker &check, size_t traceStart, const RunResult &result,
                 const std::string &folder)
{
    std::string trace;
    ReadWholeFile(options.relay, &trace);
    std::vector<ModuleLoad> loads = ModuleLoads(trace.substr(std::min(traceStart, trace.size())));
    std::string fromPackage, byLauncher;
    bool installerSeen = false;
    for (const ModuleLoad &load : loads) {
        bool launcher = load.processId == result.processId;
        bool installer = Lower(load.path) == Lower(result.installer);
        installerSeen = installerSeen || (launcher && installer);
        if (Lower(load.path).rfind(Lower(folder) + "\\", 0) == 0 && !installer)
            fromPackage += load.path + " ";
        std::string module = Lower(BaseName(load.path));
        if (launcher && !installer && module != "ntdll.dll" && module != "kernel32.dll" &&
            module != "kernelbase.dll")
            byLauncher += load.path + " ";
    }
    check.Expect(installerSeen, "the trace shows the installer loaded in the process started");
    check.Equal(fromPackage, "", "modules loaded from the package folder");
    check.Equal(byLauncher, "",
                "modules but NTDLL and KERNEL32 loaded by the process started there");
}

size_t TraceSize()
{
    std::string trace;
    ReadWholeFile(options.relay, &trace);
    return trace.size();
}

} // namespace

// DLLs planted in the folder under the names that system code loads by name,
// with Wine told to prefer native DLLs of those names for ScrivoxSetup.exe,
// as Windows would for a DLL that is not a Known DLL. First it makes sure the
// plants work in this prefix: a program that imports USER32 and the spooler,
// started under the installer's name beside them, is taken over. Otherwise a
// run beside them would prove nothing.
void PreferPlants(const std::string &program)
{
    for (std::string planted : PlantedNames) {
        planted = Lower(planted);
        if (planted.size() > 4 && planted.compare(planted.size() - 4, 4, ".dll") == 0)
            planted.resize(planted.size() - 4); // as Wine names an override
        SetInstallerDefault("DllOverrides", planted.c_str(), "native,builtin", program);
    }
}

bool Plant(Checker &check, const std::string &folder, const std::string &windows)
{
    PreferPlants();
    auto plant = [&](const std::string &where) {
        bool planted = true;
        for (const char *plantedName : PlantedNames)
            planted = CopyTo(options.planted, where + "\\" + plantedName) && planted;
        return planted;
    };
    RunOptions control = MakeRun(folder + "\\control", windows, {});
    control.installer = control.workingFolder + "\\" + expected::ProgramName;
    control.commandLine = std::string(expected::ProgramName) + " list";
    control.relayFile = "";
    CreateDirectoryW(Wide(control.workingFolder).c_str(), NULL);
    plant(control.workingFolder);
    CopyTo(options.driver, control.installer);
    check.Equal(RunInstaller(control).exitCode, PlantedDllExitCode,
                "exit status of a USER32-importing program beside the plants (they work)");
    check.Expect(Exists(PlantedDllTrace), "the plant left its trace for that program");
    DeleteFileA(PlantedDllTrace);
    return plant(folder);
}

// The installer in the package folder beside the plants. Nothing may be
// loaded from the package folder but the installer itself, the process
// started there may load no DLL, the plant must never run, and the
// installation must be the usual one, its log in the temporary directory.
void PlantedDlls(Checker &check, const std::string &windows, Unspelled unspelled)
{
    const std::string &name = check.scenario;
    std::string folder = MakeWorkingFolder(
        unspelled == Unspelled::PackageFolder ? name + " " + UnspelledName : name);
    if (unspelled != Unspelled::Nowhere) {
        std::string where = unspelled == Unspelled::PackageFolder ? folder : TempDirectory();
        check.Expect(AnsiCannotSpell(where) && Exists(where),
                     "the ANSI code page cannot spell " + where + ", which exists");
    }
    std::string installer = folder + "\\" + expected::ProgramName;
    check.Expect(CopyTo(options.installer, installer) && Plant(check, folder, windows),
                 "the installer and the plants are in the package folder");
    size_t traceStart = TraceSize();
    RunOptions run = MakeRun(folder, windows, {});
    run.installer = installer;
    RunResult result = ExpectFirstInstallation(check, run, true);
    check.Expect(!Exists(PlantedDllTrace), "no planted DLL ran");
    ExpectLoads(check, traceStart, result, folder);
}

// The running program's file renamed away after its start, as whoever may
// delete what the download folder holds can do (here while it is suspended,
// as the system has mapped it): with another program put under its name,
// or, beside DLLs planted under the names system code loads by name, with
// nothing there. The installation completes all the same, from a private
// copy that is the program started, and no plant runs.
void Renamed(Checker &check, const std::string &program, bool replaced)
{
    bool carrying = program == options.carrying;
    std::string folder = MakeWorkingFolder(
        check.scenario,
        carrying ? std::vector<std::string>{std::begin(PackageFiles), std::end(PackageFiles)}
                 : std::vector<std::string>{});
    RunOptions run = MakeRun(folder, "winxp", {});
    run.installer = folder + "\\" + expected::ProgramName;
    check.Expect(CopyTo(program, run.installer), "the installer is in " + folder);
    if (!replaced)
        check.Expect(Plant(check, folder, "winxp"), "the plants are beside the installer");
    run.whileSuspended = [&] {
        check.Expect(MoveFileW(Wide(run.installer).c_str(), Wide(folder + "\\away.exe").c_str()),
                     "the started program's file renamed away");
        if (replaced)
            check.Expect(CopyTo(options.driver, run.installer),
                         "another program put under its name");
    };
    size_t traceStart = TraceSize();
    ExpectLoads(check, traceStart, ExpectFirstInstallation(check, run, true), folder);
    check.Expect(!Exists(PlantedDllTrace), "no planted DLL ran");
}

// Beside the installer, a manifest of its name that depends on a private
// assembly there, whose files redirect DLLs that system code loads, ADVAPI32's
// own imports among them, to plants there. The program embeds a manifest of
// its own, which Server 2003 SP1 and later (and Wine) take instead, and its
// launcher loads no DLL at all: nothing of them loads, in either process.
void ManifestBeside(Checker &check)
{
    std::string folder = MakeWorkingFolder(check.scenario);
    std::string assembly = folder + "\\Planted.Assembly";
    CreateDirectoryW(Wide(assembly).c_str(), NULL);
    RunOptions run = MakeRun(folder, "winxp", {});
    run.installer = folder + "\\" + expected::ProgramName;
    std::string identity = "<assemblyIdentity type=\"win32\" name=\"Planted.Assembly\" "
                           "version=\"1.0.0.0\" processorArchitecture=\"x86\"/>";
    std::string files;
    for (const char *name : RedirectedNames) {
        files += std::string("<file name=\"") + name + "\"/>";
        check.Expect(CopyTo(options.planted, assembly + "\\" + name),
                     std::string(name) + " planted");
        std::string override = Lower(name);
        SetInstallerDefault("DllOverrides", override.substr(0, override.size() - 4).c_str(),
                            "native,builtin");
    }
    const std::string head =
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">";
    check.Expect(CopyTo(options.installer, run.installer) &&
                     WriteWholeFile(run.installer + ".manifest",
                                    head + "<dependency><dependentAssembly>" + identity +
                                        "</dependentAssembly></dependency></assembly>") &&
                     WriteWholeFile(assembly + "\\Planted.Assembly.manifest",
                                    head + identity + files + "</assembly>"),
                 "the installer, its manifest and the private assembly are in " + folder);
    size_t traceStart = TraceSize();
    ExpectLoads(check, traceStart, ExpectFirstInstallation(check, run, true), folder);
    check.Expect(!Exists(PlantedDllTrace), "no planted DLL ran");
}
