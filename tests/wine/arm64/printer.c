#include "lean.h"

#include <winspool.h>

// Wine's PostScript driver needs a real printer description to give a page:
// its own generic PPD (resource PPDFILE #1 of winspool.drv).
#define DRIVER_NAME L"NORV Generic PostScript"
#define PPD_NAME L"norv-generic.ppd"

static BOOL WriteGenericPpd(void) {
    HMODULE winspool = GetModuleHandleW(L"winspool.drv");
    HRSRC resource = winspool ? FindResourceW(winspool, MAKEINTRESOURCEW(1), L"PPDFILE") : NULL;
    HGLOBAL loaded = resource ? LoadResource(winspool, resource) : NULL;
    const void* ppd = loaded ? LockResource(loaded) : NULL;
    wchar_t path[2 * MAX_PATH];
    DWORD needed;
    if (ppd == NULL || !GetPrinterDriverDirectoryW(NULL, NULL, 1, (BYTE*)path, MAX_PATH * sizeof(wchar_t), &needed))
        return FALSE;
    lstrcatW(path, L"\\" PPD_NAME);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    DWORD size = SizeofResource(winspool, resource), written = 0;
    BOOL ok = WriteFile(file, ppd, size, &written, NULL) && written == size;
    CloseHandle(file);
    return ok;
}

static int Failed(const char* call) {
    Say("     %s failed with %lu", call, GetLastError());
    return -1;
}

/* Whether the printer's queue holds the job. Wine's EnumJobsW is a stub that
   fails without an error code, so the job is looked up by its id. */
static int JobQueued(HANDLE printer, DWORD id) {
    DWORD needed = 0;
    BYTE job[2048];
    return GetJobW(printer, id, 1, job, sizeof job, &needed) != FALSE;
}

int PrintRawJob(const wchar_t* printerName, const wchar_t* port) {
    DRIVER_INFO_3W driver = {0};
    driver.cVersion = 3;
    driver.pName = DRIVER_NAME;
    driver.pDriverPath = L"wineps.drv";
    driver.pDataFile = PPD_NAME;
    driver.pConfigFile = L"wineps.drv";
    if (!WriteGenericPpd()) return Failed("writing the generic PPD");
    if (!AddPrinterDriverExW(NULL, 3, (BYTE*)&driver, APD_COPY_NEW_FILES)) return Failed("AddPrinterDriverExW");

    PRINTER_INFO_2W info = {0};
    info.pPrinterName = (wchar_t*)printerName;
    info.pPortName = (wchar_t*)port;
    info.pDriverName = DRIVER_NAME;
    info.pPrintProcessor = L"WinPrint";
    info.pDatatype = L"RAW";
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    HANDLE printer = AddPrinterW(NULL, 2, (BYTE*)&info);
    if (printer == NULL) return Failed("AddPrinterW");

    static const char data[] = "%!PS\n72 720 moveto (NORV arm64) show showpage\n";
    DOC_INFO_1W doc = {L"Arm64.doc", NULL, L"RAW"};
    DWORD written = 0;
    int left = -1;
    const DWORD id = StartDocPrinterW(printer, 1, (BYTE*)&doc);
    if (id == 0) {
        Failed("StartDocPrinterW");
    } else if (!WritePrinter(printer, (void*)data, sizeof data - 1, &written) || written != sizeof data - 1) {
        Failed("WritePrinter");
        EndDocPrinter(printer);
    } else {
        const int queued = JobQueued(printer, id);
        if (!queued) Say("     job %lu is not in the queue while the document is open", (unsigned long)id);
        if (!EndDocPrinter(printer)) Failed("EndDocPrinter");
        else if (queued) left = JobQueued(printer, id);
    }
    ClosePrinter(printer);
    return left;
}

void DeletePrinterNamed(const wchar_t* name) {
    HANDLE printer;
    PRINTER_DEFAULTSW access = {NULL, NULL, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW((wchar_t*)name, &printer, &access)) return;
    DeletePrinter(printer);
    ClosePrinter(printer);
}
