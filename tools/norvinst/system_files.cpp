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

WORD ImageMachine(LPCWSTR path, DWORD* error) {
    *error = ERROR_SUCCESS;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return 0;
    }
    WORD machine = 0;
    BYTE header[4096];
    DWORD got = 0;
    if (ReadFile(file, header, sizeof header, &got, nullptr) && got >= 0x40 && header[0] == 'M' &&
        header[1] == 'Z') {
        const DWORD pe = DWORD(header[0x3C]) | DWORD(header[0x3D]) << 8 | DWORD(header[0x3E]) << 16 |
                         DWORD(header[0x3F]) << 24;
        if (pe <= got - 6 && header[pe] == 'P' && header[pe + 1] == 'E' && header[pe + 2] == 0 &&
            header[pe + 3] == 0)
            machine = WORD(header[pe + 4] | header[pe + 5] << 8);
    }
    CloseHandle(file);
    return machine;
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
