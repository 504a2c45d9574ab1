// The process-wide buffers shared by the installation steps.
#include "scrivox.h"

char DriverDirectory[DRIVER_DIRECTORY_SIZE];
char MessageBuffer[MESSAGE_BUFFER_SIZE];
