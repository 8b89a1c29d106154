// What the ARM64 Wine checks share. Plain Win32 C: Debian ships no C or C++
// runtime for ARM64 Windows, so these programs import system DLLs only and
// bring their own entry point.
#pragma once

#include <windows.h>

#define NORV_MONITOR L"NORV Monitor"
#define NORV_DESCRIPTION L"Norvale Document Monitor"
#define NORV_KEY L"System\\CurrentControlSet\\Control\\Print\\Monitors\\NORV Monitor"

// Prints one line (wsprintf format, wide strings as %ls) to stdout. No
// va_list: Debian's ARM64 Wine builds user32 as ELF, whose va_list is not
// the Windows one, so wvsprintf crashes there.
extern char sayLine[1024];
void SayWritten(int length);
#define Say(...) SayWritten(wsprintfA(sayLine, __VA_ARGS__))
// Counts a failed fact and prints it with the check's own words.
void Check(BOOL fact, const char* what);
int Failures(void);

// norvinst.exe from beside this program; its output, NUL-terminated, stays
// valid until the next call.
typedef struct {
    DWORD exitCode;
    const char* output;
} Run;
Run Installer(const wchar_t* arguments);
BOOL Contains(const char* text, const char* part);
// A line of text holding every part (NULL-terminated list) in order.
BOOL LineHolds(const char* text, const char* const* parts);

// Whether EnumPortsW at the level lists name; at level 2 it must come from
// our monitor with our description.
BOOL Listed(DWORD level, const wchar_t* name);
// The installed form's DLL (the monitor key's Driver value), or "".
const wchar_t* InstalledDriver(void);
BOOL MonitorKeyExists(void);
BOOL InSystemDirectory(const wchar_t* file);
// Wine hands port calls and jobs to a monitor only when its key lists the port.
BOOL RouteWinePortCalls(const wchar_t* port);
BOOL MakeFolder(const wchar_t* path);

// The raw job: a printer on port with Wine's PostScript driver, one RAW
// document written and ended. Returns the jobs left in its queue, or -1
// with the failing call printed.
int PrintRawJob(const wchar_t* printer, const wchar_t* port);
void DeletePrinterNamed(const wchar_t* printer);

// AddPortW(NULL, owner, "NORV Monitor") with every dialog answered: the
// folder browser picks folder, boxes are acknowledged. Returns AddPortW's
// result; the last error is kept.
typedef struct {
    int count;
    BOOL browser[4];
    wchar_t caption[4][64];
    wchar_t text[4][160];
} Dialogs;
BOOL AddPortAnswering(HWND owner, const wchar_t* folder, Dialogs* seen);
