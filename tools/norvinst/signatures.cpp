#include "signatures.h"

#include <wincrypt.h>
#include <wintrust.h>

#include "common/wide_string.h"
#include "console.h"
#include "exit_codes.h"
#include "host.h"
#include "system_files.h"
#include "system_library.h"

namespace {

typedef LONG(WINAPI* WinVerifyTrustProc)(HWND, GUID*, LPVOID);
typedef CRYPT_PROVIDER_DATA*(WINAPI* ProvDataFromStateDataProc)(HANDLE);
typedef CRYPT_PROVIDER_SGNR*(WINAPI* ProvSignerFromChainProc)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
typedef DWORD(WINAPI* CertGetNameStringProc)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);

// WINTRUST_ACTION_GENERIC_VERIFY_V2: Authenticode.
GUID kAuthenticode = {0xaac56b, 0xcd44, 0x11d0, {0x8c, 0xc2, 0x00, 0xc0, 0x4f, 0xc2, 0x95, 0xee}};

constexpr DWORD kNameUnits = 256;

// One signer's certificate, as its encoded bytes, and its name for messages.
struct Signer {
    BYTE* encoded = nullptr;
    DWORD bytes = 0;
    WCHAR name[kNameUnits] = {};
    Signer() = default;
    Signer(const Signer&) = delete;
    Signer& operator=(const Signer&) = delete;
    ~Signer() {
        if (encoded) HeapFree(GetProcessHeap(), 0, encoded);
    }
    bool Same(const Signer& other) const {
        if (bytes != other.bytes) return false;
        for (DWORD i = 0; i < bytes; ++i)
            if (encoded[i] != other.encoded[i]) return false;
        return true;
    }
};

struct TrustFunctions {
    WinVerifyTrustProc verify = nullptr;
    ProvDataFromStateDataProc providerData = nullptr;
    ProvSignerFromChainProc signer = nullptr;
    CertGetNameStringProc name = nullptr;
};

// wintrust.dll and crypt32.dll, from the system directory; they stay loaded.
DWORD LoadTrust(TrustFunctions* trust) {
    HMODULE wintrust = LoadSystemLibrary(L"wintrust.dll");
    if (!wintrust) return GetLastError();
    HMODULE crypt32 = LoadSystemLibrary(L"crypt32.dll");
    if (!crypt32) return GetLastError();
    trust->verify = FunctionOf<WinVerifyTrustProc>(wintrust, "WinVerifyTrust");
    trust->providerData = FunctionOf<ProvDataFromStateDataProc>(wintrust, "WTHelperProvDataFromStateData");
    trust->signer = FunctionOf<ProvSignerFromChainProc>(wintrust, "WTHelperGetProvSignerFromChain");
    trust->name = FunctionOf<CertGetNameStringProc>(crypt32, "CertGetNameStringW");
    return trust->verify && trust->providerData && trust->signer && trust->name ? DWORD(ERROR_SUCCESS)
                                                                               : DWORD(ERROR_PROC_NOT_FOUND);
}

// WinVerifyTrust of the file's Authenticode signature, then its signer's
// certificate into *signer. ERROR_SUCCESS or the reason it does not verify.
// Revocation is not checked: the installer must work offline.
LONG Verify(const TrustFunctions& trust, LPCWSTR path, Signer* signer) {
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path;
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    LONG status = trust.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &kAuthenticode, &data);
    if (status == ERROR_SUCCESS) {
        CRYPT_PROVIDER_DATA* provider = trust.providerData(data.hWVTStateData);
        CRYPT_PROVIDER_SGNR* first = provider ? trust.signer(provider, 0, FALSE, 0) : nullptr;
        PCCERT_CONTEXT certificate = first && first->csCertChain > 0 ? first->pasCertChain[0].pCert : nullptr;
        signer->encoded = certificate ? static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, certificate->cbCertEncoded))
                                      : nullptr;
        if (signer->encoded) {
            signer->bytes = certificate->cbCertEncoded;
            for (DWORD i = 0; i < signer->bytes; ++i) signer->encoded[i] = certificate->pbCertEncoded[i];
            trust.name(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, signer->name, kNameUnits);
        } else {
            status = certificate ? LONG(ERROR_NOT_ENOUGH_MEMORY) : LONG(TRUST_E_NO_SIGNER_CERT);
        }
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    trust.verify(static_cast<HWND>(INVALID_HANDLE_VALUE), &kAuthenticode, &data);
    return status;
}

// Why a signature does not verify, in words an administrator can act on,
// for the reasons Windows gives most; the system's message for any other.
// The code follows in hexadecimal, as trust errors are HRESULTs.
struct TrustMessage {
    explicit TrustMessage(LONG status) {
        struct Reason {
            DWORD code;
            LPCWSTR text;
        };
        static const Reason reasons[] = {
            {DWORD(TRUST_E_NOSIGNATURE), L"no signature was found"},
            {DWORD(TRUST_E_BAD_DIGEST), L"the file was changed after it was signed"},
            {DWORD(CERT_E_UNTRUSTEDROOT), L"its certificate chains to a root this Windows does not trust"},
            {DWORD(CERT_E_CHAINING), L"its certificate chain cannot be built"},
            {DWORD(CERT_E_EXPIRED), L"a certificate has expired and the signature has no time stamp"},
            {DWORD(TRUST_E_EXPLICIT_DISTRUST), L"its certificate is marked as not trusted"},
        };
        DWORD n = 0;
        text[0] = 0;
        for (const Reason& reason : reasons) {
            if (reason.code != DWORD(status)) continue;
            WideCopy(text, kErrorTextUnits, reason.text);
            n = WideLength(text);
        }
        if (n == 0) {
            n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, DWORD(status), 0,
                               text, kErrorTextUnits - 16, nullptr);
            while (n > 0 && (text[n - 1] == L'\n' || text[n - 1] == L'\r' || text[n - 1] == L' ' || text[n - 1] == L'.'))
                --n;
        }
        WCHAR* at = text + n;
        if (n > 0) *at++ = L' ', *at++ = L'(';
        *at++ = L'0', *at++ = L'x';
        for (int shift = 28; shift >= 0; shift -= 4) *at++ = L"0123456789ABCDEF"[(DWORD(status) >> shift) & 0xF];
        if (n > 0) *at++ = L')';
        *at = 0;
    }
    WCHAR text[kErrorTextUnits];
};

enum class Own { kUnknown, kUnsigned, kSigned, kBroken };
Own own = Own::kUnknown;
LONG ownStatus = ERROR_SUCCESS;
Signer ownSigner;
TrustFunctions trust;

void LearnOwnSignature() {
    WCHAR self[kPathUnits];
    const DWORD n = GetModuleFileNameW(nullptr, self, kPathUnits);
    if (n == 0 || n >= kPathUnits || !HasEmbeddedSignature(self)) {
        own = Own::kUnsigned;
        Out(L"This norvinst is not signed: it checks no signature of the DLLs it installs.");
        return;
    }
    ownStatus = LONG(LoadTrust(&trust));
    if (ownStatus == ERROR_SUCCESS) ownStatus = Verify(trust, self, &ownSigner);
    own = ownStatus == ERROR_SUCCESS ? Own::kSigned : Own::kBroken;
    if (own == Own::kSigned)
        Out(L"This norvinst is signed by \"%ls\": it installs only DLLs signed with the same certificate.",
            ownSigner.name);
}

}  // namespace

int CheckSignature(LPCWSTR path) {
    if (own == Own::kUnknown) LearnOwnSignature();
    if (own == Own::kUnsigned) return kExitOk;
    if (own == Own::kBroken) {
        Err(L"%ls was not installed: this norvinst is signed, but its own signature does not verify, so no DLL "
            L"can be checked against it: %ls",
            path, TrustMessage(ownStatus).text);
        return kExitSignature;
    }
    if (!HasEmbeddedSignature(path)) {
        Err(L"%ls was not installed: it is not signed, and this norvinst installs only DLLs signed with its "
            L"own certificate (\"%ls\")",
            path, ownSigner.name);
        return kExitSignature;
    }
    Signer signer;
    const LONG status = Verify(trust, path, &signer);
    if (status != ERROR_SUCCESS) {
        Err(L"%ls was not installed: its signature does not verify: %ls", path, TrustMessage(status).text);
        return kExitSignature;
    }
    if (!signer.Same(ownSigner)) {
        Err(L"%ls was not installed: it is signed by \"%ls\", not with this norvinst's certificate (\"%ls\")", path,
            signer.name, ownSigner.name);
        return kExitSignature;
    }
    return kExitOk;
}
