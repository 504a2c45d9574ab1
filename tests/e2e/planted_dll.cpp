// A DLL as someone could plant it beside a downloaded installer, under each
// name that system code loads by name (planted_dll.h): it exports every
// spooler entry that e2e_driver.exe and ScrivoxCheck.exe import, and what
// Wine's USER32 imports from version.dll, so that the loader takes it for
// any of them. If it is ever loaded, its DllMain adds a line to a trace file
// (which DLL, in which program) and ends the whole process with status 77,
// before the program's own code runs.
#include <windows.h>

#include "planted_dll.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        // Which DLL ran, in which program: "PATH ran in PROGRAM".
        char line[2 * MAX_PATH + 16] = "";
        DWORD length = GetModuleFileNameA(instance, line, MAX_PATH);
        lstrcpyA(line + length, " ran in ");
        length += 8;
        length += GetModuleFileNameA(NULL, line + length, MAX_PATH);
        lstrcpyA(line + length, "\r\n");
        HANDLE trace = CreateFileA(PlantedDllTrace, FILE_APPEND_DATA, 0, NULL, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, NULL);
        if (trace != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(trace, line, length + 2, &written, NULL);
            CloseHandle(trace);
        }
        ExitProcess(PlantedDllExitCode);
    }
    return TRUE;
}

// The exports only have to exist: the process never gets as far as calling them.
extern "C" {
__declspec(dllexport) BOOL WINAPI AddPrinterDriverA(LPSTR, DWORD, LPBYTE)
{
    return FALSE;
}
__declspec(dllexport) HANDLE WINAPI AddPrinterA(LPSTR, DWORD, LPBYTE)
{
    return NULL;
}
__declspec(dllexport) BOOL WINAPI ClosePrinter(HANDLE)
{
    return FALSE;
}
__declspec(dllexport) BOOL WINAPI DeletePrinter(HANDLE)
{
    return FALSE;
}
__declspec(dllexport) BOOL WINAPI DeletePrinterDriverA(LPSTR, LPSTR, LPSTR)
{
    return FALSE;
}
__declspec(dllexport) BOOL WINAPI
    EnumPrinterDriversA(LPSTR, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD)
{
    return FALSE;
}
__declspec(dllexport) BOOL WINAPI GetDefaultPrinterA(LPSTR, LPDWORD)
{
    return FALSE;
}
__declspec(dllexport) BOOL WINAPI GetPrinterA(HANDLE, DWORD, LPBYTE, DWORD, LPDWORD)
{
    return FALSE;
}
__declspec(dllexport) BOOL WINAPI
    GetPrinterDriverDirectoryA(LPSTR, LPSTR, DWORD, LPBYTE, DWORD, LPDWORD)
{
    return FALSE;
}
__declspec(dllexport) BOOL WINAPI OpenPrinterA(LPSTR, LPHANDLE, LPPRINTER_DEFAULTSA)
{
    return FALSE;
}
__declspec(dllexport) BOOL WINAPI SetDefaultPrinterA(LPCSTR)
{
    return FALSE;
}
__declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR, LPDWORD)
{
    return 0;
}
__declspec(dllexport) BOOL WINAPI GetFileVersionInfoW(LPCWSTR, DWORD, DWORD, LPVOID)
{
    return FALSE;
}
__declspec(dllexport) BOOL WINAPI VerQueryValueW(LPCVOID, LPCWSTR, LPVOID *, PUINT)
{
    return FALSE;
}
}
