// Copies the package's driver files from the current directory into the
// spooler's driver directory, then asks whether to go on with the installation.
#include "scrivox.h"
#include "text.h"

enum { SOURCE_PATH_SIZE = 128, DESTINATION_PATH_SIZE = 256 };

// Builds ".\name" and "<driver directory>\name". Both are always built, so a
// failure can name them; 0 means one of them was cut and must not be used.
static int BuildPaths(const char *name, char (&source)[SOURCE_PATH_SIZE],
                      char (&destination)[DESTINATION_PATH_SIZE])
{
    int fits = COPY_TEXT(destination, DriverDirectory);
    fits = fits && APPEND_TEXT(destination, "\\");
    fits = fits && APPEND_TEXT(destination, name);

    int sourceFits = COPY_TEXT(source, ".\\");
    sourceFits = sourceFits && APPEND_TEXT(source, name);
    return fits && sourceFits;
}

static int CopyDriverFile(const char *name)
{
    char source[SOURCE_PATH_SIZE];
    char destination[DESTINATION_PATH_SIZE];
    int copied = 0;
    if (BuildPaths(name, source, destination)) {
        // A read-only copy left by an earlier installation would refuse the overwrite.
        SetFileAttributesA(destination, FILE_ATTRIBUTE_NORMAL);
        copied = CopyFileA(source, destination, FALSE);
    }
    if (!copied) {
        FORMAT_TEXT(MessageBuffer, " %s => \n %s", source, destination);
        MessageBoxA(NULL, MessageBuffer, InstallerCaption, MB_ICONERROR);
        return 0;
    }
    WriteLog("Copied %s", source);
    return 1;
}

int DoFiles(void)
{
    for (unsigned i = 0; i < DRIVER_FILE_COUNT; ++i) {
        if (!CopyDriverFile(DriverFileSet[i]))
            return 0;
    }
    COPY_TEXT(MessageBuffer, "Scrivox Driver (NT-2000-XP)\nDo you want to install it?");
    return MessageBoxA(NULL, MessageBuffer, InstallerCaption, MB_OKCANCEL | MB_ICONQUESTION) ==
           IDOK;
}
