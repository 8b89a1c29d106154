// Test control surface of the layer's spooler for the modern interface: a
// monitor with a handle (MONITOR2), the Xcv calls that reach it, and the
// registry functions a spooler gives it in MONITORINIT. Only tests and native
// tools include this.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <string>
#include <vector>

namespace win32layer {

// The modern monitor the simulated spooler hosts, as initialised by the test:
// EnumPortsW lists its ports (after the other monitors'),
// OpenPrinterW(",XcvMonitor <name>") opens an Xcv handle through its
// XcvOpenPort, and XcvDataW and ClosePrinter reach XcvDataPort and
// XcvClosePort. A null table hosts none.
void SetSpoolerMonitor2(LPMONITOR2 table, HANDLE monitor, const std::u16string& name);

// The access the caller holds on the print server; OpenPrinterW asking for
// more fails with ERROR_ACCESS_DENIED. By default an administrator's.
void SetClientAccess(ACCESS_MASK access);

// Xcv opens that reached the monitor: the object named and the access granted.
struct XcvOpenCall {
    std::u16string object;
    ACCESS_MASK granted = 0;
};
std::vector<XcvOpenCall> XcvOpenCalls();
// Xcv handles open now.
size_t OpenXcvHandleCount();

// Registry functions for MONITORINIT over the layer's registry; a key handle
// is a registry key handle. Calls of them are counted.
const MONITORREG* MonitorReg();
unsigned MonitorRegCalls();
// Makes them answer ERROR_CALL_NOT_IMPLEMENTED, as a spooler's stubs do.
void StubMonitorReg(bool stubbed);

}  // namespace win32layer
