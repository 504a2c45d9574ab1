// What the planted WINSPOOL.DRV leaves behind when it runs.
#ifndef E2E_PLANTED_SPOOLER_H
#define E2E_PLANTED_SPOOLER_H

static const char PlantedSpoolerTrace[] = "C:\\planted-winspool-ran.txt";
enum { PlantedSpoolerExitCode = 77 };

#endif
