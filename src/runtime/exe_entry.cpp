// The entry of a console program built with no C runtime: wmain gets the
// command line as CommandLineToArgvW splits it, and its result is the exit
// code. Without the memory for argv, the program ends with code 1.
#include <windows.h>
#include <shellapi.h>

#include "runtime/static_init.h"

extern "C" int wmain(int argc, wchar_t** argv);

extern "C" void mainCRTStartup() {
    runtime::RunConstructors();
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    UINT code = 1;
    if (argv) {
        code = static_cast<UINT>(wmain(argc, argv));
        LocalFree(argv);
    }
    runtime::RunDestructors();
    ExitProcess(code);
}
