// e2e_driver firstbox: the start-up time to the first message box, of the
// installer and of a minimal program, for bench/run.sh.
#include "driver.h"

#include <stdio.h>

#include <algorithm>

#include "expected.h"

static double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// Start-up time to the first box, the installer and the minimal program
// taking turns so that both see the same machine.
int FirstBoxTimes()
{
    if (options.runs < 1) {
        printf("--runs must be a whole number of at least 1: nothing measured\n");
        return 2;
    }
    std::string folder = MakeWorkingFolder("bench");
    std::vector<double> installer, minimal;
    for (int i = 0; i < options.runs; ++i) {
        installer.push_back(MillisecondsToFirstBox(options.installer, folder));
        minimal.push_back(MillisecondsToFirstBox(options.minimal, folder));
    }
    if (std::count(installer.begin(), installer.end(), -1.0) ||
        std::count(minimal.begin(), minimal.end(), -1.0)) {
        printf("a program showed no box\n");
        return 1;
    }
    double a = Median(installer), b = Median(minimal);
    printf("first box, median of %d runs: %s %.1f ms, minimal program %.1f ms, ratio %.2f\n",
           options.runs, expected::ProgramName, a, b, a / b);
    return 0;
}
