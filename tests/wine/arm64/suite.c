// The ARM64 build inside an ARM64 Wine, through its spooler: norvinst's
// commands in both forms, the port list at both levels, a raw job, AddPortW
// through the UI DLL. The x64 suites cover the shared code; this proves the
// ARM64 binaries and their install.
#include "lean.h"

#define FOLDER_SCRIPTED L"C:\\norvarm64\\Scripted"
#define FOLDER_CHOSEN L"C:\\norvarm64\\Chosen"
#define PRINTER L"NORV ARM64 Printer"

static void Installs(const wchar_t* form, const wchar_t* driver, BOOL withUi) {
    wchar_t arguments[32];
    wsprintfW(arguments, L"install %ls", form);
    Run run = Installer(arguments);
    Say("---- norvinst %ls: exit %lu", arguments, run.exitCode);
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), run.output, (DWORD)lstrlenA(run.output), &(DWORD){0}, NULL);
    Check(run.exitCode == 0, "install exits 0");
    Check(lstrcmpiW(InstalledDriver(), driver) == 0, "the monitor key names the form's DLL");
    Check(InSystemDirectory(driver), "the form's DLL is in the system directory");
    Check(InSystemDirectory(L"norvmonui.dll") == withUi, "the UI DLL is there with the modern form only");
    Check(Listed(1, L"NORV"), "EnumPortsW level 1 lists NORV");
    Check(Listed(2, L"NORV"), "EnumPortsW level 2 lists NORV from \"NORV Monitor\"");
}

static void RawJobLeavesTheQueue(void) {
    Check(RouteWinePortCalls(L"NORV"), "Wine routes the NORV port to the monitor");
    DeletePrinterNamed(PRINTER);
    Check(PrintRawJob(PRINTER, L"NORV") == 0, "a raw job to NORV completes and leaves the queue");
    DeletePrinterNamed(PRINTER);
}

static void PortsFromTheCommandLine(void) {
    Run run = Installer(L"add-port " FOLDER_SCRIPTED);
    Check(run.exitCode == 0, "add-port exits 0");
    Check(Listed(2, FOLDER_SCRIPTED L"\\"), "the added port is listed by the spooler");
    run = Installer(L"ports");
    Say("---- norvinst ports: exit %lu", run.exitCode);
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), run.output, (DWORD)lstrlenA(run.output), &(DWORD){0}, NULL);
    static const char* const added[] = {"C:\\norvarm64\\Scripted\\", "NORV Monitor", NULL};
    static const char* const builtIn[] = {"NORV ", "NORV Monitor", "Norvale Document Monitor", NULL};
    Check(run.exitCode == 0 && LineHolds(run.output, added) && LineHolds(run.output, builtIn),
          "ports lists the added port and NORV with our monitor");
    run = Installer(L"add-port " FOLDER_SCRIPTED);
    Check(run.exitCode == 7, "add-port of a folder already added exits 7");
}

static void AddPortThroughTheUi(HWND owner) {
    Dialogs seen;
    BOOL added = AddPortAnswering(owner, FOLDER_CHOSEN, &seen);
    Say("     AddPortW: %d, error %lu, %d dialogs", added, GetLastError(), seen.count);
    Check(added && seen.count == 1 && seen.browser[0], "AddPortW shows the folder browser and adds the port");
    Check(Listed(2, FOLDER_CHOSEN L"\\"), "the chosen folder is listed as a port");

    added = AddPortAnswering(owner, FOLDER_CHOSEN, &seen);
    DWORD error = GetLastError();
    for (int i = 0; i < seen.count; ++i) Say("     dialog [%ls] %ls", seen.caption[i], seen.text[i]);
    Check(!added && error == ERROR_ALREADY_EXISTS, "AddPortW of the same folder fails with ERROR_ALREADY_EXISTS");
    Check(seen.count == 2 && lstrcmpW(seen.caption[1], L"Port already exists") == 0 &&
              lstrcmpW(seen.text[1], L"The port cannot be added, because there\nis another one with the same name.") == 0,
          "the refusal box says the port exists");
}

static void RemovesAndUninstalls(void) {
    Run run = Installer(L"remove-port " FOLDER_SCRIPTED L"\\");
    Check(run.exitCode == 0 && !Listed(1, FOLDER_SCRIPTED L"\\"), "remove-port removes the port");
    run = Installer(L"remove-port " FOLDER_SCRIPTED L"\\");
    Check(run.exitCode == 7, "remove-port of an unknown port exits 7");

    run = Installer(L"uninstall");
    Say("---- norvinst uninstall: exit %lu", run.exitCode);
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), run.output, (DWORD)lstrlenA(run.output), &(DWORD){0}, NULL);
    Check(run.exitCode == 0, "uninstall exits 0");
    Check(!MonitorKeyExists(), "no monitor key is left");
    Check(!Listed(1, L"NORV") && !Listed(1, FOLDER_CHOSEN L"\\"), "the spooler lists none of our ports");
    Check(!InSystemDirectory(L"norvmon.dll") && !InSystemDirectory(L"norvmon2.dll") &&
              !InSystemDirectory(L"norvmonui.dll"),
          "no DLL of ours is left in the system directory");
    run = Installer(L"status");
    Check(run.exitCode == 4, "status then says not installed (exit 4)");
}

static int RunChecks(void) {
    Check(MakeFolder(FOLDER_SCRIPTED) && MakeFolder(FOLDER_CHOSEN), "the port folders exist");
    HWND owner = CreateWindowExW(0, L"STATIC", L"NORV owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL, NULL,
                                 GetModuleHandleW(NULL), NULL);
    Check(owner != NULL, "an owner window opens on the display");

    Installs(L"--legacy", L"norvmon.dll", FALSE);
    RawJobLeavesTheQueue();
    Installs(L"--modern", L"norvmon2.dll", TRUE);
    Run status = Installer(L"status");
    Say("---- norvinst status: exit %lu", status.exitCode);
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), status.output, (DWORD)lstrlenA(status.output), &(DWORD){0}, NULL);
    Check(status.exitCode == 0 && Contains(status.output, "ARM64"), "status reports the ARM64 DLL");
    RawJobLeavesTheQueue();
    PortsFromTheCommandLine();
    AddPortThroughTheUi(owner);

    Installs(L"--legacy", L"norvmon.dll", FALSE);
    Check(Listed(2, FOLDER_SCRIPTED L"\\") && Listed(2, FOLDER_CHOSEN L"\\"), "the legacy form keeps both ports");
    Installs(L"--modern", L"norvmon2.dll", TRUE);
    Check(Listed(2, FOLDER_SCRIPTED L"\\") && Listed(2, FOLDER_CHOSEN L"\\"), "the modern form keeps both ports");
    RemovesAndUninstalls();

    if (owner) DestroyWindow(owner);
    Say("arm64 checks: %d failed", Failures());
    return Failures() ? 1 : 0;
}

void __cdecl mainCRTStartup(void) {
    ExitProcess((UINT)RunChecks());
}
