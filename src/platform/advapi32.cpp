// ADVAPI32's entries that the installer calls: the registry for the settings,
// and the token and access-list calls for the launcher's private folder. They
// are bound from ADVAPI32 loaded by its full path; a call that cannot reach
// ADVAPI32 fails as the call itself would (the registry's calls return the
// error code rather than setting it).
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

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD access, PHANDLE token)
{
    typedef BOOL(WINAPI * Entry)(HANDLE, DWORD, PHANDLE);
    Entry entry = Bound<Entry>(ENTRY_OPEN_PROCESS_TOKEN);
    return entry != NULL ? entry(process, access, token)
                         : (Unbound(ENTRY_OPEN_PROCESS_TOKEN), FALSE);
}

BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID buffer,
                                DWORD size, PDWORD needed)
{
    typedef BOOL(WINAPI * Entry)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
    Entry entry = Bound<Entry>(ENTRY_GET_TOKEN_INFORMATION);
    return entry != NULL ? entry(token, kind, buffer, size, needed)
                         : (Unbound(ENTRY_GET_TOKEN_INFORMATION), FALSE);
}

BOOL WINAPI InitializeAcl(PACL acl, DWORD size, DWORD revision)
{
    typedef BOOL(WINAPI * Entry)(PACL, DWORD, DWORD);
    Entry entry = Bound<Entry>(ENTRY_INITIALIZE_ACL);
    return entry != NULL ? entry(acl, size, revision) : (Unbound(ENTRY_INITIALIZE_ACL), FALSE);
}

BOOL WINAPI AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid)
{
    typedef BOOL(WINAPI * Entry)(PACL, DWORD, DWORD, PSID);
    Entry entry = Bound<Entry>(ENTRY_ADD_ACCESS_ALLOWED_ACE);
    return entry != NULL ? entry(acl, revision, mask, sid)
                         : (Unbound(ENTRY_ADD_ACCESS_ALLOWED_ACE), FALSE);
}

BOOL WINAPI GetAce(PACL acl, DWORD index, LPVOID *ace)
{
    typedef BOOL(WINAPI * Entry)(PACL, DWORD, LPVOID *);
    Entry entry = Bound<Entry>(ENTRY_GET_ACE);
    return entry != NULL ? entry(acl, index, ace) : (Unbound(ENTRY_GET_ACE), FALSE);
}

BOOL WINAPI InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision)
{
    typedef BOOL(WINAPI * Entry)(PSECURITY_DESCRIPTOR, DWORD);
    Entry entry = Bound<Entry>(ENTRY_INITIALIZE_SECURITY_DESCRIPTOR);
    return entry != NULL ? entry(descriptor, revision)
                         : (Unbound(ENTRY_INITIALIZE_SECURITY_DESCRIPTOR), FALSE);
}

BOOL WINAPI SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL acl,
                                      BOOL defaulted)
{
    typedef BOOL(WINAPI * Entry)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL);
    Entry entry = Bound<Entry>(ENTRY_SET_SECURITY_DESCRIPTOR_DACL);
    return entry != NULL ? entry(descriptor, present, acl, defaulted)
                         : (Unbound(ENTRY_SET_SECURITY_DESCRIPTOR_DACL), FALSE);
}

} // extern "C"
