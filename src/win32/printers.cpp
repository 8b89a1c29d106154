// Printers and their job queues, as the spooler client calls see them.
#include <winspool.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "layer_internal.h"
#include "printers_control.h"

using win32layer::Api;
using win32layer::detail::Lower;
using win32layer::detail::ShouldFail;
namespace detail = win32layer::detail;

namespace {

struct Printer {
    std::u16string name;  // as added
    std::deque<DWORD> jobs;
    std::u16string ports;
};

// What a printer handle points at. The print server (opened with no name) has
// no queue; `printer` names the printer's key in `printers` otherwise.
struct PrinterHandle {
    bool server = false;
    std::u16string printer;  // lower case
};

std::mutex printerMutex;
std::map<std::u16string, Printer> printers;  // by lower-case name
// Owns the handles, so that one left open at exit is freed with the rest.
std::map<HANDLE, std::unique_ptr<PrinterHandle>> openPrinters;
std::vector<win32layer::SetJobCall> setJobCalls;
std::vector<std::u16string> openPrinterNames;
std::atomic<unsigned> callDelay{0};

void Delay() {
    unsigned microseconds = callDelay.load();
    if (microseconds) std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}

}  // namespace

extern "C" {

BOOL WINAPI OpenPrinterW(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
    Delay();
    DWORD error;
    if (ShouldFail(Api::OpenPrinterW, ERROR_INVALID_PRINTER_NAME, &error)) {
        if (printer) *printer = nullptr;
        SetLastError(error);
        return FALSE;
    }
    if (printer && detail::IsXcvName(name)) return detail::OpenXcv(name, printer, defaults);
    std::lock_guard<std::mutex> guard(printerMutex);
    std::u16string given = name ? std::u16string(name) : std::u16string();
    openPrinterNames.push_back(given);
    if (!printer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto handle = std::make_unique<PrinterHandle>();
    if (given.empty()) {
        // No name opens the local print server itself.
        handle->server = true;
    } else {
        std::u16string key = Lower(given);
        if (!printers.count(key)) {
            *printer = nullptr;
            SetLastError(ERROR_INVALID_PRINTER_NAME);
            return FALSE;
        }
        handle->printer = key;
    }
    *printer = handle.get();
    openPrinters.emplace(handle.get(), std::move(handle));
    return TRUE;
}

BOOL WINAPI SetJobW(HANDLE printer, DWORD jobId, DWORD level, LPBYTE job, DWORD command) {
    Delay();
    DWORD error;
    if (ShouldFail(Api::SetJobW, ERROR_INVALID_PARAMETER, &error)) {
        SetLastError(error);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(printerMutex);
    auto open = openPrinters.find(printer);
    if (open == openPrinters.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const PrinterHandle* handle = open->second.get();
    win32layer::SetJobCall call;
    call.jobId = jobId;
    call.level = level;
    call.command = command;
    Printer* target = nullptr;
    if (!handle->server) {
        auto found = printers.find(handle->printer);
        if (found != printers.end()) {
            target = &found->second;
            call.printer = target->name;
        }
    }
    auto record = [&](bool succeeded, DWORD code) {
        call.succeeded = succeeded;
        setJobCalls.push_back(call);
        if (!succeeded) SetLastError(code);
        return succeeded ? TRUE : FALSE;
    };

    // Only a command alone (level 0, no job record) is simulated; levels 1 to
    // 4 would set the job's properties, which nothing here keeps.
    if (level > 4) return record(false, ERROR_INVALID_LEVEL);
    if (level == 0 && job) return record(false, ERROR_INVALID_PARAMETER);
    if (level != 0 && !job) return record(false, ERROR_INVALID_PARAMETER);
    // The server has no queue of its own; a job number names no job there.
    if (!target) return record(false, ERROR_INVALID_PARAMETER);
    auto queued = std::find(target->jobs.begin(), target->jobs.end(), jobId);
    if (queued == target->jobs.end()) return record(false, ERROR_INVALID_PARAMETER);
    switch (command) {
    case 0:  // properties only
    case JOB_CONTROL_PAUSE:
    case JOB_CONTROL_RESUME:
    case JOB_CONTROL_RESTART:
    case JOB_CONTROL_SENT_TO_PRINTER:
    case JOB_CONTROL_LAST_PAGE_EJECTED:
        return record(true, 0);
    case JOB_CONTROL_CANCEL:
    case JOB_CONTROL_DELETE:
        target->jobs.erase(queued);
        return record(true, 0);
    default:
        return record(false, ERROR_INVALID_PARAMETER);
    }
}

// The local printers at level 5 only, packed as Windows packs them: the
// records first, their strings after them in the same buffer. A buffer too
// small gets nothing but the size.
BOOL WINAPI EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD bufferBytes,
                          LPDWORD needed, LPDWORD returned) {
    DWORD error;
    if (ShouldFail(Api::EnumPrintersW, ERROR_INVALID_PARAMETER, &error)) {
        SetLastError(error);
        return FALSE;
    }
    if (!needed || !returned) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *needed = 0;
    *returned = 0;
    if (level != 5) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (name && name[0]) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(printerMutex);
    std::vector<const Printer*> listed;
    if (flags & PRINTER_ENUM_LOCAL)
        for (const auto& entry : printers) listed.push_back(&entry.second);
    size_t bytes = listed.size() * sizeof(PRINTER_INFO_5W);
    for (const Printer* printer : listed)
        bytes += (printer->name.size() + printer->ports.size() + 2) * sizeof(WCHAR);
    *needed = DWORD(bytes);
    if (bufferBytes < bytes || (bytes && !buffer)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto* records = reinterpret_cast<PRINTER_INFO_5W*>(buffer);
    auto* strings = reinterpret_cast<WCHAR*>(buffer + listed.size() * sizeof(PRINTER_INFO_5W));
    auto put = [&strings](const std::u16string& s) {
        LPWSTR start = strings;
        for (char16_t unit : s) *strings++ = unit;
        *strings++ = 0;
        return start;
    };
    for (size_t i = 0; i < listed.size(); ++i) {
        records[i] = PRINTER_INFO_5W{};
        records[i].pPrinterName = put(listed[i]->name);
        records[i].pPortName = put(listed[i]->ports);
        records[i].Attributes = PRINTER_ATTRIBUTE_LOCAL;
    }
    *returned = DWORD(listed.size());
    return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE printer) {
    Delay();
    DWORD error;
    if (ShouldFail(Api::ClosePrinter, ERROR_INVALID_HANDLE, &error)) {
        SetLastError(error);
        return FALSE;
    }
    if (detail::CloseXcv(printer)) return TRUE;
    std::lock_guard<std::mutex> guard(printerMutex);
    if (!openPrinters.erase(printer)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"

namespace win32layer {

void AddPrinter(const std::u16string& name) {
    std::lock_guard<std::mutex> guard(printerMutex);
    std::u16string key = detail::Lower(name);
    if (!printers.count(key)) printers[key] = Printer{name, {}, {}};
}

void SetPrinterPorts(const std::u16string& printer, const std::u16string& ports) {
    std::lock_guard<std::mutex> guard(printerMutex);
    auto found = printers.find(detail::Lower(printer));
    if (found != printers.end()) found->second.ports = ports;
}

bool PrinterExists(const std::u16string& name) {
    std::lock_guard<std::mutex> guard(printerMutex);
    return printers.count(detail::Lower(name)) != 0;
}

bool AddJob(const std::u16string& printer, DWORD jobId) {
    std::lock_guard<std::mutex> guard(printerMutex);
    auto found = printers.find(detail::Lower(printer));
    if (found == printers.end()) return false;
    auto& jobs = found->second.jobs;
    if (std::find(jobs.begin(), jobs.end(), jobId) != jobs.end()) return false;
    jobs.push_back(jobId);
    return true;
}

std::vector<DWORD> Jobs(const std::u16string& printer) {
    std::lock_guard<std::mutex> guard(printerMutex);
    auto found = printers.find(detail::Lower(printer));
    if (found == printers.end()) return {};
    return std::vector<DWORD>(found->second.jobs.begin(), found->second.jobs.end());
}

std::vector<SetJobCall> SetJobCalls() {
    std::lock_guard<std::mutex> guard(printerMutex);
    return setJobCalls;
}

std::vector<std::u16string> OpenPrinterNames() {
    std::lock_guard<std::mutex> guard(printerMutex);
    return openPrinterNames;
}

size_t OpenPrinterHandleCount() {
    std::lock_guard<std::mutex> guard(printerMutex);
    return openPrinters.size();
}

void SetPrinterCallDelay(unsigned microseconds) { callDelay.store(microseconds); }

void ResetPrinters() {
    std::lock_guard<std::mutex> guard(printerMutex);
    printers.clear();
    openPrinters.clear();
    setJobCalls.clear();
    openPrinterNames.clear();
    callDelay.store(0);
}

namespace detail {
void ResetPrinters() { win32layer::ResetPrinters(); }
}  // namespace detail

}  // namespace win32layer
