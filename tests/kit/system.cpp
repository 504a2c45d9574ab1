// Which Windows the kit runs on, in which language, under whom: by the calls
// NT 4.0 has, what later systems brought looked up at run time.
#include "kit.h"

#include <stdio.h>

SystemFacts ReadSystem()
{
    SystemFacts facts;
    // The longer record where the system takes it (NT 4.0 SP6 and later).
    facts.version.dwOSVersionInfoSize = sizeof facts.version;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA *>(&facts.version))) {
        facts.version = OSVERSIONINFOEXA();
        facts.version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        GetVersionExA(reinterpret_cast<OSVERSIONINFOA *>(&facts.version));
    }
    typedef BOOL(WINAPI * Wow64Entry)(HANDLE, PBOOL);
    auto isWow64 = SystemEntry<Wow64Entry>("kernel32.dll", "IsWow64Process"); // XP SP2 on
    BOOL wow64 = FALSE;
    facts.wow64 = isWow64 != NULL && isWow64(GetCurrentProcess(), &wow64) && wow64;
    typedef const char *(CDECL * WineEntry)(void);
    auto wine = SystemEntry<WineEntry>("ntdll.dll", "wine_get_version");
    facts.wine = wine != NULL ? wine() : "";

    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return facts;
    std::vector<BYTE> buffer(4096);
    DWORD size = 0;
    if (GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()),
                            &size))
        facts.user = SidText(reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid);
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = NULL;
    if (GetTokenInformation(token, TokenGroups, buffer.data(), static_cast<DWORD>(buffer.size()),
                            &size) &&
        AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                 0, 0, 0, 0, &administrators)) {
        const TOKEN_GROUPS *groups = reinterpret_cast<TOKEN_GROUPS *>(buffer.data());
        for (DWORD i = 0; i < groups->GroupCount; ++i) {
            if (EqualSid(groups->Groups[i].Sid, administrators) &&
                (groups->Groups[i].Attributes & SE_GROUP_ENABLED))
                facts.administrator = true;
        }
        FreeSid(administrators);
    }
    CloseHandle(token);
    return facts;
}

bool Checked(const SystemFacts &facts)
{
    const OSVERSIONINFOEXA &v = facts.version;
    return v.dwPlatformId == VER_PLATFORM_WIN32_NT && !facts.wow64 &&
           ((v.dwMajorVersion == 4 && v.dwMinorVersion == 0) ||
            (v.dwMajorVersion == 5 && v.dwMinorVersion <= 2));
}

std::string SystemWords(const SystemFacts &facts)
{
    const OSVERSIONINFOEXA &v = facts.version;
    std::string name = "Windows";
    if (v.dwPlatformId != VER_PLATFORM_WIN32_NT)
        name += v.dwMinorVersion == 0 ? " 95" : v.dwMinorVersion == 10 ? " 98" : " Me";
    else if (v.dwMajorVersion == 4)
        name += " NT 4.0";
    else if (v.dwMajorVersion == 5)
        name += v.dwMinorVersion == 0                                 ? " 2000"
                : v.dwMinorVersion == 1                               ? " XP"
                : facts.wow64 && v.wProductType == VER_NT_WORKSTATION ? " XP"
                                                                      : " Server 2003";
    std::string words = name + " " + std::to_string(v.dwMajorVersion) + "." +
                        std::to_string(v.dwMinorVersion) +
                        (v.szCSDVersion[0] ? std::string(", ") + v.szCSDVersion : "") + ", build " +
                        std::to_string(v.dwBuildNumber & 0xFFFF);
    if (facts.wow64)
        words += ", 64-bit";
    if (!facts.wine.empty())
        words += " (Wine " + facts.wine + ")";
    return words;
}

std::string LanguageWords()
{
    LANGID language = GetSystemDefaultLangID();
    char name[128] = "", country[128] = "", code[8];
    LCID locale = MAKELCID(language, SORT_DEFAULT);
    GetLocaleInfoA(locale, LOCALE_SENGLANGUAGE, name, sizeof name);
    GetLocaleInfoA(locale, LOCALE_SENGCOUNTRY, country, sizeof country);
    snprintf(code, sizeof code, "%04X", language);
    return std::string(name) + " (" + country + "), " + code;
}

std::string ComputerName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? name : "computer";
}
