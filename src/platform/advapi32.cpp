// ADVAPI32's entries that the installer calls: the registry, for the
// settings. They are bound from ADVAPI32 loaded by its full path; a call that
// cannot reach ADVAPI32 fails as the call itself would (the registry's calls
// return the error code rather than setting it).
#include "scrivox.h"

extern "C" {

LONG WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options,
                            REGSAM access, LPSECURITY_ATTRIBUTES security, PHKEY result,
                            LPDWORD disposition)
{
    typedef LONG(WINAPI * Entry)(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                                 PHKEY, LPDWORD);
    Entry entry = Bound<Entry>(ENTRY_REG_CREATE_KEY_EX);
    return entry != NULL ? entry(key, subKey, reserved, keyClass, options, access, security, result,
                                 disposition)
                         : static_cast<LONG>(Unbound(ENTRY_REG_CREATE_KEY_EX));
}

LONG WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE *data,
                           DWORD size)
{
    typedef LONG(WINAPI * Entry)(HKEY, LPCSTR, DWORD, DWORD, const BYTE *, DWORD);
    Entry entry = Bound<Entry>(ENTRY_REG_SET_VALUE_EX);
    return entry != NULL ? entry(key, name, reserved, type, data, size)
                         : static_cast<LONG>(Unbound(ENTRY_REG_SET_VALUE_EX));
}

} // extern "C"
