// The process-wide state, zero-filled when the process starts: the buffers
// shared by the installation steps and the spooler's binding.
#include "scrivox.h"

char DriverDirectory[DRIVER_DIRECTORY_SIZE];
char MessageBuffer[MESSAGE_BUFFER_SIZE];

HMODULE SpoolerModule;
FARPROC SpoolerEntries[SPOOLER_ENTRY_COUNT];
