#include "system_files.h"

#include "console.h"
#include "exit_codes.h"
#include "machine.h"

namespace {

// Deletes the file, waiting up to timeoutMs for the spooler to let it go.
// ERROR_SUCCESS or the error of the last attempt.
DWORD DeleteWhenReleased(LPCWSTR path, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (DeleteFileW(path)) return ERROR_SUCCESS;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) return error;
        if (GetTickCount() - start >= timeoutMs) return error;
        Sleep(250);
    }
}

bool FullPath(LPCWSTR path, WCHAR (&full)[kPathUnits]) {
    const DWORD n = GetFullPathNameW(path, kPathUnits, full, nullptr);
    return n != 0 && n < kPathUnits;
}

}  // namespace

void JoinPath(WCHAR (&path)[kPathUnits], LPCWSTR dir, LPCWSTR name) {
    WideCopy(path, kPathUnits, dir);
    WideAppend(path, kPathUnits, L"\\");
    WideAppend(path, kPathUnits, name);
}

bool FileExists(LPCWSTR path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool SamePath(LPCWSTR a, LPCWSTR b) { return WideEqualNoCase(a, b); }

namespace {

// The start of a PE file, with its PE header's offset in `pe`; false when the
// file is no PE image (with *error set when it cannot be read).
struct PeHeader {
    BYTE bytes[4096];
    DWORD got = 0;
    DWORD pe = 0;
    DWORD Read32(DWORD at) const {
        return DWORD(bytes[at]) | DWORD(bytes[at + 1]) << 8 | DWORD(bytes[at + 2]) << 16 | DWORD(bytes[at + 3]) << 24;
    }
};

bool ReadPeHeader(LPCWSTR path, PeHeader* header, DWORD* error) {
    *error = ERROR_SUCCESS;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    const bool read = ReadFile(file, header->bytes, sizeof header->bytes, &header->got, nullptr);
    CloseHandle(file);
    if (!read || header->got < 0x40 || header->bytes[0] != 'M' || header->bytes[1] != 'Z') return false;
    header->pe = header->Read32(0x3C);
    const BYTE* signature = header->bytes + header->pe;
    return header->pe <= header->got - 26 && signature[0] == 'P' && signature[1] == 'E' && signature[2] == 0 &&
           signature[3] == 0;
}

}  // namespace

WORD ImageMachine(LPCWSTR path, DWORD* error) {
    PeHeader header;
    if (!ReadPeHeader(path, &header, error)) return 0;
    return WORD(header.bytes[header.pe + 4] | header.bytes[header.pe + 5] << 8);
}

bool HasEmbeddedSignature(LPCWSTR path) {
    PeHeader header;
    DWORD error = ERROR_SUCCESS;
    if (!ReadPeHeader(path, &header, &error)) return false;
    // The optional header's magic tells where its data directories start;
    // the fifth, the certificate table, holds an Authenticode signature.
    const DWORD optional = header.pe + 24;
    const WORD magic = WORD(header.bytes[optional] | header.bytes[optional + 1] << 8);
    const DWORD security = optional + (magic == 0x20B ? 112 : 96) + 4 * 8;
    return security + 8 <= header.got && header.Read32(security + 4) != 0;
}

int CheckDll(LPCWSTR path, WORD machine, LPCWSTR hint) {
    if (!FileExists(path)) {
        Err(L"the monitor DLL %ls was not found", path);
        if (hint) Err(L"%ls", hint);
        return kExitFile;
    }
    DWORD error = ERROR_SUCCESS;
    const WORD found = ImageMachine(path, &error);
    if (error != ERROR_SUCCESS) {
        Err(L"cannot read %ls: %ls", path, ErrorMessage(error).text);
        return kExitFile;
    }
    if (found != machine) {
        Err(L"%ls is %ls%ls; this norvinst installs the %ls monitor", path,
            found ? L"built for " : L"not a Windows DLL", found ? MachineName(found) : L"", MachineName(machine));
        return kExitFile;
    }
    return kExitOk;
}

int CopyDll(LPCWSTR from, LPCWSTR dir, LPCWSTR name) {
    WCHAR target[kPathUnits], fullFrom[kPathUnits], fullTarget[kPathUnits];
    JoinPath(target, dir, name);
    if (FullPath(from, fullFrom) && FullPath(target, fullTarget) && SamePath(fullFrom, fullTarget)) {
        Out(L"%ls is already in %ls", name, dir);
        return kExitOk;
    }
    if (!CopyFileW(from, target, FALSE)) {
        const DWORD error = GetLastError();
        Err(L"cannot copy %ls to %ls: %ls", from, target, ErrorMessage(error).text);
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_USER_MAPPED_FILE) {
            Err(L"the spooler is using the installed monitor; run \"norvinst uninstall\" first");
        } else if (error == ERROR_ACCESS_DENIED) {
            Err(L"installing a print monitor needs administrator rights");
        }
        return kExitFile;
    }
    Out(L"Copied %ls to %ls", from, target);
    return kExitOk;
}

int DeleteDll(LPCWSTR dir, LPCWSTR name) {
    WCHAR target[kPathUnits];
    JoinPath(target, dir, name);
    if (!FileExists(target)) return kExitOk;
    const DWORD error = DeleteWhenReleased(target, 10000);
    if (error == ERROR_SUCCESS) {
        Out(L"Deleted %ls", target);
        return kExitOk;
    }
    if (MoveFileExW(target, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        Out(L"The spooler still holds %ls; it will be deleted at the next restart", target);
        return kExitRemovalPending;
    }
    Err(L"cannot delete %ls: %ls", target, ErrorMessage(error).text);
    return kExitFile;
}

int DeleteDlls(LPCWSTR dir, const Form* keep) {
    int result = kExitOk;
    for (LPCWSTR name : kAllDlls) {
        if (keep && (SamePath(name, keep->monitorDll) || (keep->uiDll && SamePath(name, keep->uiDll)))) continue;
        const int deleted = DeleteDll(dir, name);
        if (deleted == kExitFile || (deleted == kExitRemovalPending && result == kExitOk)) result = deleted;
    }
    return result;
}
