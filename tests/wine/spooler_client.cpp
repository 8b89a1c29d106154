#include "spooler_client.h"

#include <winspool.h>

namespace norv {

const wchar_t kMonitorName[] = L"NORV Monitor";
const wchar_t kDescription[] = L"Norvale Document Monitor";
const wchar_t kDefaultPort[] = L"NORV";
const wchar_t kMonitorKey[] = L"System\\CurrentControlSet\\Control\\Print\\Monitors\\NORV Monitor";
#ifdef _WIN64
const wchar_t kArchitecture[] = L"x64";
#else
const wchar_t kArchitecture[] = L"x86";
#endif

std::wstring Widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string narrow(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], n, nullptr, nullptr);
    return narrow;
}

std::wstring ExecutableDirectory() {
    wchar_t path[MAX_PATH * 2] = {0};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring result(path, n);
    size_t slash = result.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : result.substr(0, slash);
}

CommandResult RunInstaller(const std::wstring& arguments) {
    CommandResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    std::wstring exe = ExecutableDirectory() + L"\\norvinst.exe";
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                  nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        result.output = "cannot start norvinst.exe";
        CloseHandle(readEnd);
        return result;
    }
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) result.output.append(buffer, got);
    CloseHandle(readEnd);
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

bool EnumPortsLevel1(std::vector<std::wstring>* names, DWORD* error) {
    DWORD needed = 0, count = 0;
    EnumPortsW(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumPortsW(nullptr, 1, buffer.data(), needed, &needed, &count)) {
        *error = GetLastError();
        return false;
    }
    const PORT_INFO_1W* info = reinterpret_cast<const PORT_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) names->push_back(info[i].pName ? info[i].pName : L"");
    return true;
}

bool EnumPortsLevel2(std::vector<Port>* ports, DWORD* error) {
    DWORD needed = 0, count = 0;
    EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &count)) {
        *error = GetLastError();
        return false;
    }
    const PORT_INFO_2W* info = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        Port port;
        port.name = info[i].pPortName ? info[i].pPortName : L"";
        port.monitor = info[i].pMonitorName ? info[i].pMonitorName : L"";
        port.description = info[i].pDescription ? info[i].pDescription : L"";
        port.type = info[i].fPortType;
        ports->push_back(port);
    }
    return true;
}

bool ClearStoredPorts() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
    for (int i = 1; i < 100; ++i) RegDeleteValueW(key, std::to_wstring(i).c_str());
    RegCloseKey(key);
    return true;
}

std::vector<std::wstring> StoredPorts() {
    std::vector<std::wstring> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMonitorKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return values;
    for (int i = 1;; ++i) {
        wchar_t name[16];
        _snwprintf(name, 15, L"%d", i);
        name[15] = L'\0';
        wchar_t data[512] = {0};
        DWORD type = 0, size = sizeof data - sizeof(wchar_t);
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS)
            break;
        values.push_back(data);
    }
    RegCloseKey(key);
    return values;
}

bool RouteWinePortCalls(const std::wstring& portName) {
    std::wstring path = std::wstring(kMonitorKey) + L"\\Ports\\" + portName;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool MakeFolder(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\') {
            std::wstring part = path.substr(0, i);
            if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
        }
    }
    return true;
}

namespace {

// Wine's PostScript driver with a real printer description: Wine's own
// generic PPD (resource PPDFILE #1 of winspool.drv) as the data file. With
// the DLL itself as data file the driver finds no page sizes, a device
// context reports a 0x0 page, and applications print endless empty pages.
const wchar_t kDriverName[] = L"NORV Generic PostScript";
const wchar_t kPpdName[] = L"norv-generic.ppd";

bool DriverInstalled() {
    DWORD needed = 0, count = 0;
    EnumPrinterDriversW(nullptr, nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumPrinterDriversW(nullptr, nullptr, 1, buffer.data(), needed, &needed, &count)) return false;
    const DRIVER_INFO_1W* info = reinterpret_cast<const DRIVER_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (info[i].pName && lstrcmpiW(info[i].pName, kDriverName) == 0) return true;
    }
    return false;
}

// Writes the generic PPD into the printer driver directory.
bool WriteGenericPpd() {
    HMODULE winspool = GetModuleHandleW(L"winspool.drv");
    HRSRC resource = winspool ? FindResourceW(winspool, MAKEINTRESOURCEW(1), L"PPDFILE") : nullptr;
    HGLOBAL loaded = resource ? LoadResource(winspool, resource) : nullptr;
    const void* ppd = loaded ? LockResource(loaded) : nullptr;
    if (ppd == nullptr) return false;
    DWORD size = SizeofResource(winspool, resource);
    wchar_t directory[MAX_PATH];
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(directory), sizeof(directory),
                                    &needed))
        return false;
    std::wstring path = std::wstring(directory) + L"\\" + kPpdName;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, ppd, size, &written, nullptr) && written == size;
    CloseHandle(file);
    return ok != FALSE;
}

// A printer left by an earlier run may use another driver: it is made again.
bool UsesOurDriver(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!GetPrinterW(printer, 2, buffer.data(), needed, &needed)) return false;
    const PRINTER_INFO_2W* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    return info->pDriverName && lstrcmpiW(info->pDriverName, kDriverName) == 0;
}

PrintResult Failed(const char* step) {
    PrintResult result;
    result.step = step;
    result.error = GetLastError();
    return result;
}

}  // namespace

PrintResult MakePrinter(const std::wstring& printerName, const std::wstring& portName, HANDLE* opened) {
    if (!DriverInstalled()) {
        if (!WriteGenericPpd()) return Failed("writing the generic PPD");
        DRIVER_INFO_3W driver = {};
        driver.cVersion = 3;
        driver.pName = const_cast<wchar_t*>(kDriverName);
        driver.pDriverPath = const_cast<wchar_t*>(L"wineps.drv");
        driver.pDataFile = const_cast<wchar_t*>(kPpdName);
        driver.pConfigFile = const_cast<wchar_t*>(L"wineps.drv");
        if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_NEW_FILES))
            return Failed("AddPrinterDriverExW");
    }

    HANDLE printer = nullptr;
    if (OpenPrinterW(const_cast<wchar_t*>(printerName.c_str()), &printer, nullptr) && !UsesOurDriver(printer)) {
        ClosePrinter(printer);
        printer = nullptr;
        DeletePrinterNamed(printerName);
    }
    if (printer == nullptr && !OpenPrinterW(const_cast<wchar_t*>(printerName.c_str()), &printer, nullptr)) {
        PRINTER_INFO_2W info = {};
        info.pPrinterName = const_cast<wchar_t*>(printerName.c_str());
        info.pPortName = const_cast<wchar_t*>(portName.c_str());
        info.pDriverName = const_cast<wchar_t*>(kDriverName);
        info.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
        info.pDatatype = const_cast<wchar_t*>(L"RAW");
        info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
        printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
        if (printer == nullptr) return Failed("AddPrinterW");
        ClosePrinter(printer);
        if (!OpenPrinterW(const_cast<wchar_t*>(printerName.c_str()), &printer, nullptr))
            return Failed("OpenPrinterW");
    }
    *opened = printer;
    PrintResult made;
    made.ok = true;
    return made;
}

PrintResult PrintRaw(const std::wstring& printerName, const std::wstring& portName,
                     const std::wstring& documentName, const std::string& data) {
    HANDLE printer = nullptr;
    PrintResult made = MakePrinter(printerName, portName, &printer);
    if (!made.ok) return made;

    PrintResult result;
    DOC_INFO_1W doc = {};
    doc.pDocName = const_cast<wchar_t*>(documentName.c_str());
    doc.pDatatype = const_cast<wchar_t*>(L"RAW");
    result.jobId = StartDocPrinterW(printer, 1, reinterpret_cast<BYTE*>(&doc));
    if (result.jobId == 0) {
        PrintResult failed = Failed("StartDocPrinterW");
        ClosePrinter(printer);
        return failed;
    }
    DWORD written = 0;
    if (!WritePrinter(printer, const_cast<char*>(data.data()), static_cast<DWORD>(data.size()), &written)) {
        PrintResult failed = Failed("WritePrinter");
        EndDocPrinter(printer);
        ClosePrinter(printer);
        return failed;
    }
    result.written = written;
    if (!EndDocPrinter(printer)) {
        PrintResult failed = Failed("EndDocPrinter");
        failed.jobId = result.jobId;
        failed.written = written;
        ClosePrinter(printer);
        return failed;
    }
    ClosePrinter(printer);
    result.ok = true;
    return result;
}

bool DeletePrinterNamed(const std::wstring& printerName) {
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW access = {nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(const_cast<wchar_t*>(printerName.c_str()), &printer, &access)) return false;
    BOOL deleted = DeletePrinter(printer);
    ClosePrinter(printer);
    return deleted != FALSE;
}

}  // namespace norv
