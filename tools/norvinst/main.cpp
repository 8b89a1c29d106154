// norvinst: installs, registers, removes and inspects the NORV port monitor.
// The commands and exit codes are listed in Usage() and in the README.
#include <windows.h>

#include "common/wide_string.h"
#include "console.h"
#include "exit_codes.h"
#include "forms.h"
#include "install.h"
#include "machine.h"
#include "ports.h"
#include "registration.h"
#include "related_products.h"
#include "spooler_functions.h"
#include "system_library.h"

namespace {

void Usage(HANDLE handle) {
    Write(handle,
          L"Usage: norvinst COMMAND\n"
          L"\n"
          L"Installs the NORV port monitor into the Windows print spooler: from Windows Vista on\n"
          L"the modern pair (norvmon2.dll, whose dialogs come from norvmonui.dll in the user's\n"
          L"process), before it the legacy norvmon.dll.\n");
    WCHAR line[128] = L"This is the ";
    WideAppend(line, 128, MachineName(kMachine));
    WideAppend(line, 128, L" build: it registers the monitor for the \"");
    WideAppend(line, 128, EnvironmentOf(kMachine));
    WideAppend(line, 128, L"\" environment,\non a Windows of that architecture only.\n");
    Write(handle, line);
    Write(handle,
          L"\n"
          L"Commands:\n"
          L"  install [--legacy|--modern] [DLL]\n"
          L"                 copy the monitor's DLLs (from beside norvinst.exe, or the file DLL)\n"
          L"                 into the system directory and register \"NORV Monitor\"; the flags\n"
          L"                 choose the form, and the ports are kept when one form replaces the other.\n"
          L"                 A 64-bit install also copies the x86 norvmonui.dll (from ..\\x86) into\n"
          L"                 SysWOW64 for 32-bit programs. A signed norvinst installs only DLLs signed\n"
          L"                 with its own certificate\n"
          L"  uninstall      unregister \"NORV Monitor\" and delete its DLLs, whichever form\n"
          L"  register [--legacy|--modern]\n"
          L"                 register the DLLs already in the system directory; copies no file\n"
          L"  unregister [--unless-related UPGRADECODE PRODUCTCODE]\n"
          L"                 unregister \"NORV Monitor\" and delete its ports; deletes no file. With\n"
          L"                 --unless-related, nothing changes while Windows Installer lists another\n"
          L"                 product than PRODUCTCODE of UPGRADECODE (codes in braces)\n"
          L"  status         show whether the monitor is registered and its DLL present\n"
          L"  ports          list the spooler's ports with their monitor and description\n"
          L"  add-port DIR...  add each folder DIR (C:\\Out\\Scans, \\\\server\\share\\Out) as a port\n"
          L"                 of \"NORV Monitor\", named by its full path ending in a backslash\n"
          L"  remove-port PORT...  remove each port no printer uses (modern form; the legacy form\n"
          L"                 removes ports from a printer's port page)\n"
          L"  help           show this text\n"
          L"\n"
          L"Exit codes:\n"
          L"  0  success (status: installed)\n"
          L"  1  bad command line\n"
          L"  2  the DLL could not be found, read, copied or deleted, or is for another architecture\n"
          L"  3  the spooler refused the request or could not be asked\n"
          L"  4  the monitor is not installed (status, uninstall)\n"
          L"  5  status: the monitor is registered but its DLL is missing, or the other way round\n"
          L"  6  uninstall: the DLL is still in use and will be deleted at the next restart\n"
          L"  7  add-port, remove-port: at least one was refused (each is reported with its error)\n"
          L"  8  remove-port: the legacy form is installed, which removes ports only from the port page\n"
          L"  9  install, register: this norvinst is not for this Windows' architecture\n"
          L"  10 remove-port: a printer prints to the port (and nothing else was refused)\n"
          L"  11 unregister --unless-related: Windows Installer could not be asked; nothing changed\n"
          L"  12 install: this norvinst is signed and a DLL is not signed with the same certificate, or a\n"
          L"     signature does not verify (the file and the reason are named); nothing changed\n");
}

bool Is(LPCWSTR arg, LPCWSTR word) { return WideEqualNoCase(arg, word) && WideLength(arg) == WideLength(word); }

// "--legacy" or "--modern" at argv[*next], taken when present.
const Form* FormFlag(int argc, wchar_t** argv, int* next) {
    if (*next >= argc) return nullptr;
    if (Is(argv[*next], L"--modern")) return ++*next, &kModern;
    if (Is(argv[*next], L"--legacy")) return ++*next, &kLegacy;
    return nullptr;
}

int UsageError(LPCWSTR command, LPCWSTR problem) {
    if (problem) Err(problem, command);
    Usage(GetStdHandle(STD_ERROR_HANDLE));
    return kExitUsage;
}

}  // namespace

extern "C" int wmain(int argc, wchar_t** argv) {
    RestrictDllSearch();
    LoadNameComparison();
    if (argc < 2) return UsageError(nullptr, nullptr);
    LPCWSTR command = argv[1];
    if (Is(command, L"help") || Is(command, L"-h") || Is(command, L"--help") || Is(command, L"/?")) {
        Usage(GetStdHandle(STD_OUTPUT_HANDLE));
        return kExitOk;
    }
    if (!LoadSpoolerFunctions()) return kExitSpooler;
    int next = 2;
    if (Is(command, L"install")) {
        const Form* form = FormFlag(argc, argv, &next);
        if (argc == next) return Install(form, nullptr);
        if (argc == next + 1 && argv[next][0] != L'-') return Install(form, argv[next]);
        return UsageError(command, L"too many arguments for \"%ls\"");
    }
    if (Is(command, L"register")) {
        const Form* form = FormFlag(argc, argv, &next);
        if (argc == next) return Register(form);
        return UsageError(command, L"too many arguments for \"%ls\"");
    }
    if (Is(command, L"unregister")) {
        if (argc == 2) return Unregister(nullptr, nullptr);
        if (argc == 5 && Is(argv[2], L"--unless-related") && IsBracedGuid(argv[3]) && IsBracedGuid(argv[4]))
            return Unregister(argv[3], argv[4]);
        return UsageError(command, L"\"%ls\" takes nothing or --unless-related {UPGRADE-CODE} {PRODUCT-CODE}");
    }
    if (Is(command, L"add-port")) {
        if (argc >= 3) return AddPorts(argc - 2, argv + 2);
        return UsageError(command, L"\"%ls\" needs at least one folder");
    }
    if (Is(command, L"remove-port")) {
        if (argc >= 3) return RemovePorts(argc - 2, argv + 2);
        return UsageError(command, L"\"%ls\" needs at least one port");
    }
    typedef int (*Command)();
    struct Plain {
        LPCWSTR name;
        Command run;
    };
    const Plain plain[] = {{L"uninstall", Uninstall}, {L"status", Status}, {L"ports", Ports}};
    for (const Plain& entry : plain) {
        if (!Is(command, entry.name)) continue;
        if (argc == 2) return entry.run();
        return UsageError(command, L"too many arguments for \"%ls\"");
    }
    return UsageError(command, L"unknown command \"%ls\"");
}
