// Loads the DLL named on its command line by that bare name, as a program
// that leaves Windows its default search order does. Exit 0 when it loaded.
#include <windows.h>

int wmain(int argc, wchar_t** argv) { return argc == 2 && LoadLibraryW(argv[1]) ? 0 : 1; }
