// Writes the product's settings: two values under HKCU\SOFTWARE\QRN\Scrivox
// and "Output Mode" in the Windows directory's outval.ini. No outcome stops
// the installation; the registry result is recorded in the log.
#include "scrivox.h"
#include "text.h"

enum { INI_PATH_SIZE = 128 };

// Puts the Windows directory into MessageBuffer, from "windir" or, when that
// is unset or too long, from the system. Returns its length, 0 if neither.
static DWORD ReadWindowsDirectory(void)
{
    DWORD length = GetEnvironmentVariableA("windir", MessageBuffer, sizeof MessageBuffer);
    if (length != 0 && length < sizeof MessageBuffer)
        return length;
    length = GetWindowsDirectoryA(MessageBuffer, sizeof MessageBuffer);
    if (length != 0 && length < sizeof MessageBuffer)
        return length;
    return 0;
}

static void WriteRegistryValues(HKEY key)
{
    DWORD length = ReadWindowsDirectory();
    if (length != 0)
        RegSetValueExA(key, "LogDir", 0, REG_SZ, (const BYTE *)MessageBuffer, length + 1);
#define TRUE_TYPE_DATA "Yes" // written with its NUL
    RegSetValueExA(key, "QrnTrueType", 0, REG_SZ, (const BYTE *)TRUE_TYPE_DATA,
                   sizeof TRUE_TYPE_DATA);
}

static void WriteIniValue(void)
{
    char path[INI_PATH_SIZE];
    UINT length = GetWindowsDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;
    if (!APPEND_TEXT(path, "\\outval.ini"))
        return; // a cut path would name another file
    WritePrivateProfileStringA("Values", "Output Mode", "1", path);
}

void WriteDriverSettings(void)
{
    // The key stays open until the process ends.
    HKEY key = NULL;
    DWORD disposition = 0;
    char keyClass[] = "REG_SZ";
    LONG result =
        RegCreateKeyExA(HKEY_CURRENT_USER, "SOFTWARE\\QRN\\Scrivox", 0, keyClass,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &key, &disposition);
    WriteLog("Result = %d", (int)result);
    if (result == ERROR_SUCCESS)
        WriteRegistryValues(key);
    WriteIniValue();
}
