// e2e_driver.exe: reads the options its commands share and starts the one
// asked for (driver.h).
#include "driver.h"

#include <stdio.h>
#include <stdlib.h>

DriverOptions options;

int main(int argc, char **argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    std::string scenario;
    int first = 2;
    if (command == "scenario" && argc > 2) {
        scenario = argv[2];
        first = 3;
    }
    std::string runs = "10";
    const struct {
        const char *flag;
        std::string *value;
    } valued[] = {{"--installer", &options.installer},
                  {"--package", &options.package},
                  {"--relay", &options.relay},
                  {"--windows", &options.windows},
                  {"--answers", &options.answers},
                  {"--screenshots", &options.screenshots},
                  {"--default-answers", &options.defaultAnswers},
                  {"--minimal", &options.minimal},
                  {"--runs", &runs},
                  {"--planted", &options.planted},
                  {"--release", &options.release},
                  {"--carrying", &options.carrying},
                  {"--expect", &options.expect},
                  {"--kit", &options.kit},
                  {"--other", &options.other}};
    for (int i = first; i < argc; ++i) {
        std::string arg = argv[i];
        bool known = arg == "--interactive";
        if (known)
            options.interactive = true;
        for (const auto &option : valued) {
            if (arg == option.flag && i + 1 < argc) {
                *option.value = argv[++i];
                known = true;
            }
        }
        if (!known) {
            fprintf(stderr, "unknown or incomplete argument %s\n", arg.c_str());
            return 2;
        }
    }
    options.runs = atoi(runs.c_str());
    char self[MAX_PATH] = "";
    GetModuleFileNameA(NULL, self, sizeof self);
    options.driver = self;
    setvbuf(stdout, NULL, _IONBF, 0);
    if (command == "list")
        return ListScenarios();
    if (command == "scenario")
        return RunScenario(scenario);
    if (command == "run")
        return Report();
    if (command == "firstbox")
        return FirstBoxTimes();
    fprintf(stderr, "usage: e2e_driver list | scenario NAME ... | run ... | firstbox ...\n");
    return 2;
}
