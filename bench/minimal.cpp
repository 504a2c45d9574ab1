// The yardstick for the start-up benchmark: a program that only shows a
// message box, built with the same flags as the installer.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    MessageBoxA(NULL, "minimal", "Quorvane Scrivox Installer", MB_OKCANCEL | MB_ICONQUESTION);
    return 0;
}
