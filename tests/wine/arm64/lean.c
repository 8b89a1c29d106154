#include "lean.h"

#include <winspool.h>

static int failures;
static char output[16384];

char sayLine[1024];

void SayWritten(int n) {
    if (n < 0) return;
    sayLine[n++] = '\n';
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), sayLine, (DWORD)n, &written, NULL);
}

void Check(BOOL fact, const char* what) {
    if (!fact) failures++;
    Say("%s %s", fact ? "ok  " : "FAIL", what);
}

int Failures(void) {
    return failures;
}

static const char* Find(const char* text, const char* part) {
    for (; *text; ++text) {
        const char* a = text;
        const char* b = part;
        while (*b && *a == *b) a++, b++;
        if (!*b) return a;
    }
    return NULL;
}

BOOL Contains(const char* text, const char* part) {
    return Find(text, part) != NULL;
}

BOOL LineHolds(const char* text, const char* const* parts) {
    while (*text) {
        char line[512];
        int n = 0;
        while (*text && *text != '\n' && n < (int)sizeof line - 1) line[n++] = *text++;
        while (*text && *text != '\n') text++;
        if (*text) text++;
        line[n] = '\0';
        const char* at = line;
        const char* const* part = parts;
        while (*part && (at = Find(at, *part)) != NULL) part++;
        if (!*part) return TRUE;
    }
    return FALSE;
}

static void Directory(wchar_t* path, DWORD size) {
    DWORD n = GetModuleFileNameW(NULL, path, size);
    while (n > 0 && path[n - 1] != L'\\' && path[n - 1] != L'/') n--;
    path[n] = L'\0';
}

Run Installer(const wchar_t* arguments) {
    Run run = {0xFFFFFFFF, output};
    output[0] = '\0';
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    wchar_t exe[MAX_PATH], line[2 * MAX_PATH];
    Directory(exe, MAX_PATH - 16);
    lstrcatW(exe, L"norvinst.exe");
    wsprintfW(line, L"\"%ls\" %ls", exe, arguments);
    STARTUPINFOW startup = {0};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessW(exe, line, NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, NULL, &startup, &process);
    CloseHandle(writeEnd);
    if (started) {
        DWORD used = 0, got;
        while (used < sizeof output - 1 &&
               ReadFile(readEnd, output + used, (DWORD)(sizeof output - 1 - used), &got, NULL) && got > 0)
            used += got;
        output[used] = '\0';
        WaitForSingleObject(process.hProcess, 120000);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return run;
}

BOOL Listed(DWORD level, const wchar_t* name) {
    DWORD needed = 0, count = 0;
    EnumPortsW(NULL, level, NULL, 0, &needed, &count);
    BYTE* buffer = HeapAlloc(GetProcessHeap(), 0, needed ? needed : 1);
    BOOL found = FALSE;
    if (buffer && EnumPortsW(NULL, level, buffer, needed, &needed, &count)) {
        for (DWORD i = 0; i < count && !found; ++i) {
            if (level == 1) {
                const PORT_INFO_1W* port = (const PORT_INFO_1W*)buffer + i;
                found = port->pName && lstrcmpiW(port->pName, name) == 0;
            } else {
                const PORT_INFO_2W* port = (const PORT_INFO_2W*)buffer + i;
                found = port->pPortName && lstrcmpiW(port->pPortName, name) == 0 && port->pMonitorName &&
                        lstrcmpW(port->pMonitorName, NORV_MONITOR) == 0 && port->pDescription &&
                        lstrcmpW(port->pDescription, NORV_DESCRIPTION) == 0;
            }
        }
    }
    HeapFree(GetProcessHeap(), 0, buffer);
    return found;
}

const wchar_t* InstalledDriver(void) {
    static wchar_t value[MAX_PATH];
    DWORD bytes = sizeof value;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, NORV_KEY, L"Driver", RRF_RT_REG_SZ, NULL, value, &bytes) != ERROR_SUCCESS)
        value[0] = L'\0';
    return value;
}

BOOL MonitorKeyExists(void) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, NORV_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS) return FALSE;
    RegCloseKey(key);
    return TRUE;
}

BOOL InSystemDirectory(const wchar_t* file) {
    wchar_t path[2 * MAX_PATH];
    UINT n = GetSystemDirectoryW(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return FALSE;
    wsprintfW(path + n, L"\\%ls", file);
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

BOOL RouteWinePortCalls(const wchar_t* port) {
    wchar_t path[3 * MAX_PATH];
    wsprintfW(path, L"%ls\\Ports\\%ls", NORV_KEY, port);
    HKEY key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) != ERROR_SUCCESS)
        return FALSE;
    RegCloseKey(key);
    return TRUE;
}

BOOL MakeFolder(const wchar_t* path) {
    wchar_t part[MAX_PATH];
    int n = lstrlenW(path);
    if (n >= MAX_PATH) return FALSE;
    for (int i = 3; i <= n; ++i) {
        if (i < n && path[i] != L'\\') continue;
        lstrcpynW(part, path, i + 1);
        if (!CreateDirectoryW(part, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) return FALSE;
    }
    return TRUE;
}
