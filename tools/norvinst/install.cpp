#include "install.h"

#include "console.h"
#include "exit_codes.h"
#include "host.h"
#include "machine.h"
#include "ports.h"
#include "registration.h"
#include "signatures.h"
#include "system_files.h"

namespace {

constexpr WCHAR kBesideHint[] = L"put the monitor's DLLs beside norvinst.exe or name it: norvinst install PATH";

// A 32-bit program that adds or configures a port loads the UI DLL in its
// own process, so a 64-bit Windows needs the x86 one in SysWOW64 as well. It
// comes from the bundle's x86 folder beside this build's (or the build
// tree's windows-x86): its path into `from`, false when it is in neither
// (`tried` is the first place looked).
bool FindWow64UiDll(const Form& form, WCHAR (&from)[kPathUnits], WCHAR (&tried)[kPathUnits]) {
    WCHAR here[kPathUnits];
    ModuleDirectory(here);
    LPCWSTR const folders[] = {L"\\..\\x86\\", L"\\..\\windows-x86\\"};
    for (LPCWSTR folder : folders) {
        WCHAR relative[kPathUnits];
        WideCopy(relative, kPathUnits, here);
        WideAppend(relative, kPathUnits, folder);
        WideAppend(relative, kPathUnits, form.uiDll);
        const DWORD n = GetFullPathNameW(relative, kPathUnits, from, nullptr);
        if (n == 0 || n >= kPathUnits) WideCopy(from, kPathUnits, relative);
        if (folder == folders[0]) WideCopy(tried, kPathUnits, from);
        if (FileExists(from)) return true;
    }
    return false;
}

// The other forms' DLLs leave SysWOW64, and the x86 UI DLL found (`from`,
// or null) goes in. Its absence is told, not fatal: the monitor works.
int InstallWow64UiDll(const Form& form, LPCWSTR from, LPCWSTR tried) {
    WCHAR wow64[kPathUnits];
    if (kMachine == IMAGE_FILE_MACHINE_I386 || !Wow64SystemDirectory(wow64)) return kExitOk;
    int result = kExitOk;
    for (LPCWSTR name : kAllDlls) {
        if (form.uiDll && SamePath(name, form.uiDll)) continue;
        const int deleted = DeleteDll(wow64, name);
        if (deleted != kExitOk) result = deleted;
    }
    if (!form.uiDll) return result;
    if (from) {
        const int checked = CheckDll(from, IMAGE_FILE_MACHINE_I386, nullptr);
        return checked != kExitOk ? checked : CopyDll(from, wow64, form.uiDll);
    }
    Err(L"warning: the x86 %ls was not found (%ls): 32-bit programs cannot add or configure NORV ports until it "
        L"is copied to %ls",
        form.uiDll, tried, wow64);
    return result;
}

}  // namespace

int Install(const Form* chosen, LPCWSTR source) {
    const int architecture = CheckArchitecture();
    if (architecture != kExitOk) return architecture;
    WCHAR from[kPathUnits], folder[kPathUnits], ui[kPathUnits], system[kPathUnits];
    const bool named = source != nullptr;
    LPCWSTR base = nullptr;
    if (named) {
        const DWORD n = GetFullPathNameW(source, kPathUnits, from, nullptr);
        if (n == 0 || n >= kPathUnits) WideCopy(from, kPathUnits, source);
        WideCopy(folder, kPathUnits, from);
        DWORD slash = WideLength(folder);
        while (slash > 0 && folder[slash - 1] != L'\\' && folder[slash - 1] != L'/') --slash;
        if (slash > 0) folder[slash - 1] = 0;
        base = from + slash;
    } else {
        ModuleDirectory(folder);
    }
    // A DLL named on the command line is the monitor DLL of its form.
    const Form& form = chosen ? *chosen
                       : named ? (SamePath(base, kModern.monitorDll) ? kModern : kLegacy)
                               : DefaultForm();
    if (!named) JoinPath(from, folder, form.monitorDll);
    int result = CheckDll(from, kMachine, named ? nullptr : kBesideHint);
    if (result != kExitOk) return result;
    if (form.uiDll) {
        JoinPath(ui, folder, form.uiDll);
        if ((result = CheckDll(ui, kMachine, named ? nullptr : kBesideHint)) != kExitOk) return result;
    }
    // Every DLL that will be copied passes the signature check before any is.
    WCHAR wow64Ui[kPathUnits], wow64Tried[kPathUnits] = {};
    WCHAR wow64[kPathUnits];
    const bool hasWow64Ui = form.uiDll && kMachine != IMAGE_FILE_MACHINE_I386 && Wow64SystemDirectory(wow64) &&
                            FindWow64UiDll(form, wow64Ui, wow64Tried);
    if ((result = CheckSignature(from)) != kExitOk) return result;
    if (form.uiDll && (result = CheckSignature(ui)) != kExitOk) return result;
    if (hasWow64Ui && (result = CheckSignature(wow64Ui)) != kExitOk) return result;
    if (!NativeSystemDirectory(system)) {
        Err(L"cannot find the system directory: %ls", ErrorMessage(GetLastError()).text);
        return kExitFile;
    }
    MonitorEntry existing;
    if (!FindMonitor(&existing)) return kExitSpooler;

    // Another form is registered: it goes, its ports stay.
    PortValues ports;
    if ((result = RemoveOtherForm(existing, form, &ports)) != kExitOk) return result;
    const bool switching = existing.found && FormOfDll(existing.dll) != &form;
    result = CopyDll(from, system, form.monitorDll);
    if (result == kExitOk && form.uiDll) result = CopyDll(ui, system, form.uiDll);
    if (result != kExitOk) return result;
    if (existing.found) DeleteDlls(system, &form);
    InstallWow64UiDll(form, hasWow64Ui ? wow64Ui : nullptr, wow64Tried);

    if (existing.found && !switching) {
        Out(L"%ls was already registered with the spooler (DLL %ls); the DLL has been updated", kMonitorName,
            existing.dll);
        return kExitOk;
    }
    bool already = false;
    result = RegisterForm(form, ports, &already);
    if (already) {
        Out(L"%ls was already registered with the spooler; the DLL has been updated", kMonitorName);
        return kExitOk;
    }
    if (result != kExitOk) {
        DeleteDlls(system, nullptr);
        return result;
    }
    if (form.uiDll) {
        Out(L"Installed the modern form: norvmon2.dll in the spooler, its dialogs from norvmonui.dll in the"
            L" user's process.");
    } else {
        Out(L"Installed the legacy form: norvmon.dll, dialogs shown by the spooler itself.");
    }
    if (!switching) Out(L"The default port NORV is now offered to printers.");
    return kExitOk;
}

int Uninstall() {
    WCHAR system[kPathUnits], path[kPathUnits], wow64[kPathUnits];
    if (!NativeSystemDirectory(system)) {
        Err(L"cannot find the system directory: %ls", ErrorMessage(GetLastError()).text);
        return kExitFile;
    }
    // The x86 UI DLL a 64-bit install put beside 32-bit programs.
    const bool hasWow64 = NativeMachine() != IMAGE_FILE_MACHINE_I386 && Wow64SystemDirectory(wow64);
    MonitorEntry existing;
    if (!FindMonitor(&existing)) return kExitSpooler;
    bool dllPresent = false;
    for (LPCWSTR name : kAllDlls) {
        JoinPath(path, system, name);
        dllPresent = dllPresent || FileExists(path);
        if (hasWow64) {
            JoinPath(path, wow64, name);
            dllPresent = dllPresent || FileExists(path);
        }
    }
    if (!existing.found && !dllPresent) {
        Out(L"%ls is not installed; nothing to remove", kMonitorName);
        return kExitNotInstalled;
    }
    if (existing.found) {
        if (!DeleteRegistration()) return kExitSpooler;
        const Form* form = FormOfDll(existing.dll);
        Out(L"Removed %ls (%ls form) from the spooler", kMonitorName, form ? form->name : existing.dll);
    } else {
        Out(L"%ls was not registered with the spooler", kMonitorName);
    }
    int deleted = DeleteDlls(system, nullptr);
    if (hasWow64) {
        const int more = DeleteDlls(wow64, nullptr);
        if (more == kExitFile || (more == kExitRemovalPending && deleted == kExitOk)) deleted = more;
    }
    if (deleted == kExitOk) Out(L"Uninstalled.");
    return deleted;
}

int Status() {
    MonitorEntry entry;
    if (!FindMonitor(&entry)) return kExitSpooler;
    WCHAR system[kPathUnits], target[kPathUnits], ui[kPathUnits];
    if (!NativeSystemDirectory(system)) system[0] = 0;
    const Form* form = entry.found ? FormOfDll(entry.dll) : nullptr;
    JoinPath(target, system, entry.found ? entry.dll : kLegacy.monitorDll);
    bool dllPresent = FileExists(target);
    if (form && form->uiDll) {
        JoinPath(ui, system, form->uiDll);
        dllPresent = dllPresent && FileExists(ui);
    }
    DWORD error = ERROR_SUCCESS;
    const WORD machine = FileExists(target) ? ImageMachine(target, &error) : NativeMachine();

    Out(L"Monitor:     %ls", kMonitorName);
    if (form) Out(L"Form:        %ls", form->name);
    if (entry.found) {
        Out(L"Registered:  yes (DLL %ls)", entry.dll);
    } else {
        Out(L"Registered:  no");
    }
    Out(L"DLL:         %ls (%ls, %ls)", target, MachineName(machine), dllPresent ? L"present" : L"missing");

    if (entry.found) {
        WCHAR names[4096];
        names[0] = 0;
        if (!ListMonitorPortNames(names, sizeof names / sizeof names[0])) return kExitSpooler;
        Out(L"Ports:       %ls", names[0] ? names : L"(none)");
    }
    if (entry.found && dllPresent) {
        Out(L"Status:      installed");
        return kExitOk;
    }
    if (!entry.found && !dllPresent) {
        Out(L"Status:      not installed");
        return kExitNotInstalled;
    }
    Out(L"Status:      incomplete (run \"norvinst install\" or \"norvinst uninstall\")");
    return kExitIncomplete;
}
