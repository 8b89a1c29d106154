// What the spooler calls while it prints a document to one of our ports. No
// file is written: the port records the document and the data is dropped.
#include <shlwapi.h>
#include <winspool.h>

#include "monitor/lock.h"
#include "monitor/operations.h"
#include "monitor/state.h"

namespace {

constexpr WCHAR kOutputExtension[] = TEXT(".xpm");

// The record behind a handle, or null when the handle is none of ours.
PortRecord* PortFromHandle(HANDLE hPort) {
    if (!portList || !portList->IsPortHandle(hPort)) return nullptr;
    return static_cast<PortRecord*>(hPort);
}

// The port's directory, the document name and ".xpm", within one buffer of
// kPortStringUnits. A name too long for it loses the end of its document part,
// never its extension.
void BuildOutputName(const PortRecord* port, LPCWSTR documentName, LPWSTR output) {
    WideCopy(output, kPortStringUnits, port->path);
    WideAppend(output, kPortStringUnits, documentName);
    // Room for the extension after the name's own extension is replaced.
    const DWORD extension = WideLength(kOutputExtension);
    DWORD length = WideLength(output);
    DWORD pathLength = WideLength(port->path);
    if (length + extension >= kPortStringUnits) {
        DWORD keep = kPortStringUnits - 1 - extension;
        output[keep > pathLength ? keep : pathLength] = 0;
    }
    PathRenameExtensionW(output, kOutputExtension);
}

}  // namespace

BOOL WINAPI OpenPort(LPWSTR pName, PHANDLE pHandle) {
    if (!pHandle) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    MonitorLock lock;
    PortRecord* port = portList ? portList->Find(pName) : nullptr;
    if (!port) {
        SetLastError(ERROR_UNKNOWN_PORT);
        return FALSE;
    }
    port->flags |= PORT_OPEN;
    port->handedOut = 1;
    *pHandle = port;
    return TRUE;
}

BOOL WINAPI StartDocPort(HANDLE hPort, LPWSTR pPrinterName, DWORD JobId, DWORD Level,
                         LPBYTE pDocInfo) {
    MonitorLock lock;
    PortRecord* port = PortFromHandle(hPort);
    if (!port) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (port->flags & PORT_DOC_ACTIVE) return FALSE;

    // DOC_INFO_1 and DOC_INFO_2 both begin with the document name.
    LPCWSTR documentName = nullptr;
    if ((Level == 1 || Level == 2) && pDocInfo)
        documentName = reinterpret_cast<DOC_INFO_1W*>(pDocInfo)->pDocName;
    WCHAR output[kPortStringUnits];
    BuildOutputName(port, documentName, output);

    WideCopy(port->outputFile, kPortStringUnits, output);
    WideCopy(port->printerName, kPortStringUnits, pPrinterName);
    port->flags |= PORT_DOC_ACTIVE;
    port->jobId = JobId;
    return TRUE;
}

// The data is dropped, and reported as written in full: a spooler compares the
// count with what it handed over and abandons the job on a difference.
BOOL WINAPI WritePort(HANDLE, LPBYTE, DWORD cbBuf, LPDWORD pcbWritten) {
    if (pcbWritten) *pcbWritten = cbBuf;
    return TRUE;
}

// There is never anything to read.
BOOL WINAPI ReadPort(HANDLE, LPBYTE, DWORD, LPDWORD pcbRead) {
    if (pcbRead) *pcbRead = 0;
    return TRUE;
}

BOOL WINAPI EndDocPort(HANDLE hPort) {
    MonitorLock lock;
    PortRecord* port = PortFromHandle(hPort);
    if (!port) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    port->outputFile[0] = 0;
    port->flags &= ~PORT_DOC_ACTIVE;

    // With no name, OpenPrinterW would open the print server: no job of ours.
    HANDLE printer = nullptr;
    if (port->printerName[0] && OpenPrinterW(port->printerName, &printer, nullptr)) {
        SetJobW(printer, port->jobId, 0, nullptr, JOB_CONTROL_DELETE);
        ClosePrinter(printer);
    }
    return TRUE;
}

BOOL WINAPI ClosePort(HANDLE hPort) {
    MonitorLock lock;
    PortRecord* port = PortFromHandle(hPort);
    if (!port) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    port->flags &= ~PORT_OPEN;
    return TRUE;
}
