// Test control surface for the layer's printers: simulated printers with job
// queues that OpenPrinterW, SetJobW and ClosePrinter act on. Only tests and
// native tools include this.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace win32layer {

// Printer names compare case-insensitively, as the spooler's do. Adding a
// printer that exists already leaves it and its queue as they are.
void AddPrinter(const std::u16string& name);
bool PrinterExists(const std::u16string& name);
// The printer's ports as EnumPrintersW gives them in pPortName: names
// separated by commas ("LPT1:,D:\\Out\\"). Empty after AddPrinter.
void SetPrinterPorts(const std::u16string& printer, const std::u16string& ports);
// Queues job `jobId` at the end of the printer's queue; false when there is no
// such printer or the printer already holds that job.
bool AddJob(const std::u16string& printer, DWORD jobId);
// The printer's queue in order; empty for an unknown printer.
std::vector<DWORD> Jobs(const std::u16string& printer);

// One SetJobW call that got past fault injection and handle checks alike.
struct SetJobCall {
    std::u16string printer;  // as the printer was added; empty for the print server
    DWORD jobId = 0;
    DWORD level = 0;
    DWORD command = 0;
    bool succeeded = false;
};
std::vector<SetJobCall> SetJobCalls();
// Names passed to OpenPrinterW, in call order (null recorded as empty).
std::vector<std::u16string> OpenPrinterNames();

// Printer handles opened and not yet closed.
size_t OpenPrinterHandleCount();

// Every OpenPrinterW, SetJobW and ClosePrinter call takes this long, to stand
// in for a spooler that answers slowly. 0 (the default) means no delay.
void SetPrinterCallDelay(unsigned microseconds);

// No printers, no jobs, no open handles, no recorded calls, no delay.
void ResetPrinters();

}  // namespace win32layer
