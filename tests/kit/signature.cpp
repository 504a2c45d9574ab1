// 7: the single program's signature as this system judges it: WinVerifyTrust
// (WINTRUST.DLL, which NT 4.0 has only with Internet Explorer 4 or later),
// with the signer and each time stamp it recognises, their names from
// CRYPT32. Both are loaded by their full paths and bound at run time.
#include "kit.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <stdio.h>

namespace {

typedef LONG(WINAPI *VerifyEntry)(HWND, GUID *, LPVOID);
typedef CRYPT_PROVIDER_DATA *(WINAPI *ProviderDataEntry)(HANDLE);
typedef CRYPT_PROVIDER_SGNR *(WINAPI *SignerEntry)(CRYPT_PROVIDER_DATA *, DWORD, BOOL, DWORD);
typedef DWORD(WINAPI *NameEntry)(PCCERT_CONTEXT, DWORD, DWORD, void *, LPSTR, DWORD);
typedef DWORD(WINAPI *NameToTextEntry)(DWORD, PCERT_NAME_BLOB, DWORD, LPSTR, DWORD);

HMODULE LoadSystemDll(const char *name)
{
    char path[MAX_PATH] = "";
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenA(name) >= MAX_PATH)
        return NULL;
    lstrcatA(path, "\\");
    lstrcatA(path, name);
    return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// A certificate's subject, as simply as the system can say it.
std::string SubjectOf(PCCERT_CONTEXT certificate, HMODULE crypt32)
{
    auto name = reinterpret_cast<NameEntry>(
        reinterpret_cast<void *>(GetProcAddress(crypt32, "CertGetNameStringA"))); // IE 5 on
    auto text = reinterpret_cast<NameToTextEntry>(
        reinterpret_cast<void *>(GetProcAddress(crypt32, "CertNameToStrA")));
    char words[512] = "";
    if (certificate == NULL)
        return "(no certificate)";
    if (name != NULL)
        name(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, NULL, words, sizeof words);
    else if (text != NULL)
        text(X509_ASN_ENCODING, &certificate->pCertInfo->Subject, CERT_SIMPLE_NAME_STR, words,
             sizeof words);
    return words[0] ? words : "(unnamed)";
}

std::string ResultWords(LONG result)
{
    const struct {
        LONG code;
        const char *meaning;
    } known[] = {
        {0, "trusted"},
        {static_cast<LONG>(TRUST_E_NOSIGNATURE), "TRUST_E_NOSIGNATURE: no signature it knows"},
        {static_cast<LONG>(TRUST_E_BAD_DIGEST),
         "TRUST_E_BAD_DIGEST: the file is not what was signed"},
        {static_cast<LONG>(CERT_E_UNTRUSTEDROOT),
         "CERT_E_UNTRUSTEDROOT: the root is not trusted here"},
        {static_cast<LONG>(CERT_E_CHAINING), "CERT_E_CHAINING: no chain to a trusted root"},
        {static_cast<LONG>(CERT_E_EXPIRED), "CERT_E_EXPIRED: a certificate is not valid now"},
        {static_cast<LONG>(TRUST_E_SUBJECT_FORM_UNKNOWN), "TRUST_E_SUBJECT_FORM_UNKNOWN"},
        {static_cast<LONG>(TRUST_E_PROVIDER_UNKNOWN), "TRUST_E_PROVIDER_UNKNOWN"},
        {static_cast<LONG>(TRUST_E_ACTION_UNKNOWN), "TRUST_E_ACTION_UNKNOWN"},
    };
    char code[16];
    snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    for (const auto &entry : known) {
        if (entry.code == result)
            return std::string(code) + " (" + entry.meaning + ")";
    }
    return code;
}

} // namespace

Line CheckSignature(const SystemFacts &facts, const std::string &program)
{
    const std::string check = "7. The single program's signature";
    std::string bytes;
    if (!ReadWholeFile(program, &bytes))
        return {Verdict::Fail, check, "the single program cannot be read"};
    if (expected::PrivateCopyOf(bytes) == bytes)
        return {Verdict::NotShown, check, "the release is unsigned"};
    HMODULE wintrust = LoadSystemDll("wintrust.dll"), crypt32 = LoadSystemDll("crypt32.dll");
    auto verify = wintrust != NULL ? reinterpret_cast<VerifyEntry>(reinterpret_cast<void *>(
                                         GetProcAddress(wintrust, "WinVerifyTrust")))
                                   : NULL;
    if (verify == NULL || crypt32 == NULL)
        return {Verdict::NotShown, check,
                "this system has no WinVerifyTrust (Internet Explorer 4 or later brings it)"};
    auto providerData = reinterpret_cast<ProviderDataEntry>(
        reinterpret_cast<void *>(GetProcAddress(wintrust, "WTHelperProvDataFromStateData")));
    auto signerOf = reinterpret_cast<SignerEntry>(
        reinterpret_cast<void *>(GetProcAddress(wintrust, "WTHelperGetProvSignerFromChain")));

    std::wstring path = Wide(program);
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG result = verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    std::string names = "signer: not given by this system";
    CRYPT_PROVIDER_DATA *provider = providerData != NULL && data.hWVTStateData != NULL
                                        ? providerData(data.hWVTStateData)
                                        : NULL;
    CRYPT_PROVIDER_SGNR *signer =
        provider != NULL && signerOf != NULL ? signerOf(provider, 0, FALSE, 0) : NULL;
    if (signer != NULL) {
        names =
            "signer " + (signer->csCertChain > 0 ? SubjectOf(signer->pasCertChain[0].pCert, crypt32)
                                                 : std::string("(no certificate)"));
        std::string stamps;
        for (DWORD i = 0; i < signer->csCounterSigners; ++i) {
            const CRYPT_PROVIDER_SGNR &stamp = signer->pasCounterSigners[i];
            stamps += (stamps.empty() ? "" : ", ") +
                      (stamp.csCertChain > 0 ? SubjectOf(stamp.pasCertChain[0].pCert, crypt32)
                                             : std::string("(no certificate)"));
        }
        names += "; time stamps it recognises: " + (stamps.empty() ? "none" : stamps);
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    std::string words = "WinVerifyTrust: " + ResultWords(result) + "; " + names;
    if (!facts.wine.empty())
        return {Verdict::NotShown, check,
                "Wine does not judge a signature as Windows does; its " + words};
    if (result == 0)
        return {Verdict::Pass, check, words};
    return {Verdict::Fail, check, words + "; expected: trusted (0x00000000)"};
}
