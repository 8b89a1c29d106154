// What the Wine-hosted tests and the demo do to the spooler, in one place:
// run norvinst, list ports, read the monitor's registry values, make Wine
// route port calls to the monitor, and print a raw document.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace norv {

extern const wchar_t kMonitorName[];     // "NORV Monitor"
extern const wchar_t kDescription[];     // "Norvale Document Monitor"
extern const wchar_t kDefaultPort[];     // "NORV"
extern const wchar_t kMonitorKey[];      // System\CurrentControlSet\Control\Print\Monitors\NORV Monitor
extern const wchar_t kArchitecture[];    // "x86" or "x64"

struct Port {
    std::wstring name, monitor, description;
    DWORD type = 0;
};

struct CommandResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // stdout and stderr together
};

// Folder of the running executable (norvinst.exe and norvmon.dll lie there).
std::wstring ExecutableDirectory();

// Runs norvinst.exe from beside this executable with the given arguments.
CommandResult RunInstaller(const std::wstring& arguments);

// EnumPortsW at level 1 (names only) or 2. Returns false with the error in
// *error if the spooler fails.
bool EnumPortsLevel1(std::vector<std::wstring>* names, DWORD* error);
bool EnumPortsLevel2(std::vector<Port>* ports, DWORD* error);

// The monitor's numbered registry values 1..N (stops at the first gap),
// in value order: element 0 is value 1.
std::vector<std::wstring> StoredPorts();
// Deletes the monitor's values 1..99: the next call that loads the monitor
// stores the default port alone.
bool ClearStoredPorts();

// Wine hands ConfigurePortW, DeletePortW and printing to a monitor only when
// HKLM\<monitor key>\Ports\<port name> exists. Creates that key.
bool RouteWinePortCalls(const std::wstring& portName);

// Creates a folder and its parents.
bool MakeFolder(const std::wstring& path);

struct PrintResult {
    bool ok = false;
    std::string step;    // the call that failed, when !ok
    DWORD error = 0;
    DWORD jobId = 0;
    DWORD written = 0;
};

// Makes sure a printer named printerName exists on portName, one that
// applications can print to: Wine's PostScript driver with a generic PPD
// (A4 page), the WinPrint processor, RAW data. On success *opened is a
// handle to it for the caller to close.
PrintResult MakePrinter(const std::wstring& printerName, const std::wstring& portName, HANDLE* opened);

// MakePrinter, then prints data as the document documentName.
PrintResult PrintRaw(const std::wstring& printerName, const std::wstring& portName,
                     const std::wstring& documentName, const std::string& data);

// Deletes the printer if it exists.
bool DeletePrinterNamed(const std::wstring& printerName);

std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& text);

}  // namespace norv
