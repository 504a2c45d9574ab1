// The process-wide state, zero-filled when the process starts: the buffers
// shared by the installation steps and the system libraries' binding.
#include "scrivox.h"

char DriverDirectory[DRIVER_DIRECTORY_SIZE];
char MessageBuffer[MESSAGE_BUFFER_SIZE];

HMODULE SystemModules[SYSTEM_LIBRARY_COUNT];
FARPROC SystemEntries[SYSTEM_ENTRY_COUNT];
