#include "ports.h"

#include <winspool.h>

#include "admin/port_name.h"
#include "console.h"
#include "exit_codes.h"
#include "heap_buffer.h"
#include "registration.h"
#include "spooler_functions.h"
#include "system_files.h"


namespace {

constexpr WCHAR kDefaultPort[] = L"NORV";

DWORD EnumeratePorts(HeapBuffer* buffer, DWORD* count) {
    return EnumerateInto(buffer, count, sizeof(PORT_INFO_2W), [](BYTE* data, DWORD size, DWORD* needed, DWORD* n) {
        return Spooler().EnumPorts(nullptr, 2, data, size, needed, n);
    });
}

LPCWSTR OrEmpty(LPCWSTR s) { return s ? s : L""; }

// One Xcv command to the modern monitor through the spooler: the monitor's
// status, or the spooler's error when the command could not be sent.
DWORD SendXcv(LPCWSTR command, LPCWSTR input) {
    WCHAR name[64] = L",XcvMonitor ";
    WideAppend(name, 64, kMonitorName);
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
    HANDLE xcv = nullptr;
    if (!Spooler().OpenPrinter(name, &xcv, &defaults)) return GetLastError();
    DWORD needed = 0, status = ERROR_SUCCESS;
    if (!Spooler().XcvData(xcv, command, reinterpret_cast<BYTE*>(const_cast<LPWSTR>(input)),
                  (WideLength(input) + 1) * sizeof(WCHAR), nullptr, 0, &needed, &status))
        status = GetLastError();
    Spooler().ClosePrinter(xcv);
    return status;
}

// The installed form, or null (the user has been told).
const Form* InstalledForm() {
    MonitorEntry entry;
    if (!FindMonitor(&entry)) return nullptr;
    if (!entry.found) {
        Err(L"%ls is not installed", kMonitorName);
        return nullptr;
    }
    const Form* form = FormOfDll(entry.dll);
    return form ? form : &kLegacy;
}

// A printer's port list holds names separated by commas (a printer pool).
bool ListHoldsPort(LPCWSTR list, LPCWSTR port) {
    const DWORD length = WideLength(port);
    for (LPCWSTR item = list; item && *item;) {
        while (*item == L' ') ++item;
        DWORD units = 0;
        while (item[units] && item[units] != L',') ++units;
        DWORD trimmed = units;
        while (trimmed > 0 && item[trimmed - 1] == L' ') --trimmed;
        if (WideEqualNoCase(item, trimmed, port, length)) return true;
        item += units;
        if (*item == L',') ++item;
    }
    return false;
}

// ERROR_SUCCESS when no printer prints to the port; ERROR_BUSY with the
// first printer that does in `printer`; or why the printers cannot be listed.
DWORD CheckPortUnused(LPCWSTR port, WCHAR (&printer)[kPortStringUnits]) {
    HeapBuffer buffer;
    DWORD count = 0;
    const DWORD error = EnumerateInto(&buffer, &count, sizeof(PRINTER_INFO_2W),
                                      [](BYTE* data, DWORD size, DWORD* needed, DWORD* n) {
                                          return Spooler().EnumPrinters(PRINTER_ENUM_LOCAL, nullptr, 2, data, size, needed, n);
                                      });
    if (error != ERROR_SUCCESS) return error;
    const auto* info = buffer.As<PRINTER_INFO_2W>();
    for (DWORD i = 0; i < count; ++i) {
        if (ListHoldsPort(info[i].pPortName, port)) {
            WideCopy(printer, kPortStringUnits, OrEmpty(info[i].pPrinterName));
            return ERROR_BUSY;
        }
    }
    return ERROR_SUCCESS;
}

}  // namespace

bool ListMonitorPortNames(LPWSTR names, DWORD capacity) {
    HeapBuffer buffer;
    DWORD count = 0;
    const DWORD error = EnumeratePorts(&buffer, &count);
    if (error != ERROR_SUCCESS) {
        Err(L"cannot list the spooler's ports: %ls", ErrorMessage(error).text);
        return false;
    }
    const auto* info = buffer.As<PORT_INFO_2W>();
    names[0] = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!SamePath(OrEmpty(info[i].pMonitorName), kMonitorName)) continue;
        if (names[0]) WideAppend(names, capacity, L", ");
        WideAppend(names, capacity, OrEmpty(info[i].pPortName));
    }
    return true;
}

int Ports() {
    HeapBuffer buffer;
    DWORD count = 0;
    const DWORD error = EnumeratePorts(&buffer, &count);
    if (error != ERROR_SUCCESS) {
        Err(L"cannot list the spooler's ports: %ls", ErrorMessage(error).text);
        return kExitSpooler;
    }
    const auto* info = buffer.As<PORT_INFO_2W>();
    int width = 4, monitorWidth = 7;
    for (DWORD i = 0; i < count; ++i) {
        const int name = int(WideLength(info[i].pPortName)), monitor = int(WideLength(info[i].pMonitorName));
        width = name > width ? name : width;
        monitorWidth = monitor > monitorWidth ? monitor : monitorWidth;
    }
    Out(L"%-*ls  %-*ls  %ls", width, L"Port", monitorWidth, L"Monitor", L"Description");
    for (DWORD i = 0; i < count; ++i)
        Out(L"%-*ls  %-*ls  %ls", width, OrEmpty(info[i].pPortName), monitorWidth, OrEmpty(info[i].pMonitorName),
            OrEmpty(info[i].pDescription));
    Out(L"%u port(s)", unsigned(count));
    return kExitOk;
}

// Each folder goes to the monitor by the name it will store, so that the
// spooler records the same name: the modern form takes it through Xcv
// "AddPort", the legacy one through AddPortExW.
int AddPorts(int count, wchar_t** folders) {
    const Form* form = InstalledForm();
    if (!form) return kExitNotInstalled;
    int refused = 0;
    for (int i = 0; i < count; ++i) {
        WCHAR name[kPortStringUnits];
        DWORD error = ERROR_SUCCESS;
        if (WideEqualNoCase(folders[i], kDefaultPort)) WideCopy(name, kPortStringUnits, kDefaultPort);
        else error = CanonicalPortName(folders[i], name);
        if (error == ERROR_SUCCESS && form->uiDll) {
            error = SendXcv(L"AddPort", name);
        } else if (error == ERROR_SUCCESS) {
            PORT_INFO_1W info;
            info.pName = name;
            if (!Spooler().AddPortEx(nullptr, 1, reinterpret_cast<BYTE*>(&info), const_cast<LPWSTR>(kMonitorName)))
                error = GetLastError();
        }
        if (error == ERROR_SUCCESS) {
            Out(L"Added the port for %ls as %ls", folders[i], name);
        } else {
            // The system's words for the code speak of syntax, which a folder with a
            // comma does not get wrong.
            const bool comma = error == ERROR_INVALID_NAME && HoldsComma(folders[i]);
            Err(L"cannot add the port for %ls: %ls%ls", folders[i], ErrorMessage(error).text,
                comma ? L"; a port name cannot contain a comma" : L"");
            ++refused;
        }
    }
    return refused ? kExitPortRefused : kExitOk;
}

// A port a printer prints to stays: the printer would be left on a port
// that no monitor lists.
int RemovePorts(int count, wchar_t** ports) {
    const Form* form = InstalledForm();
    if (!form) return kExitNotInstalled;
    if (!form->uiDll) {
        Err(L"the legacy form removes ports only from a printer's port page (its Delete Port button); "
            L"\"norvinst install --modern\" installs the form that removes them here");
        return kExitPortPageOnly;
    }
    int refused = 0, busy = 0;
    for (int i = 0; i < count; ++i) {
        WCHAR printer[kPortStringUnits];
        DWORD error = CheckPortUnused(ports[i], printer);
        if (error == ERROR_BUSY) {
            Err(L"cannot remove the port %ls: the printer \"%ls\" prints to it (%ls); move that printer to another "
                L"port first",
                ports[i], printer, ErrorMessage(error).text);
            ++busy;
            continue;
        }
        if (error != ERROR_SUCCESS) {
            Err(L"cannot remove the port %ls: the printers cannot be listed to check that none uses it: %ls",
                ports[i], ErrorMessage(error).text);
            ++refused;
            continue;
        }
        error = SendXcv(L"DeletePort", ports[i]);
        if (error == ERROR_SUCCESS) {
            Out(L"Removed the port %ls", ports[i]);
        } else {
            Err(L"cannot remove the port %ls: %ls", ports[i], ErrorMessage(error).text);
            ++refused;
        }
    }
    return refused ? kExitPortRefused : busy ? kExitPortInUse : kExitOk;
}
