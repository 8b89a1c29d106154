// The module's own lists: lld lays out __CTOR_LIST__ and __DTOR_LIST__ around
// the .ctors and .dtors sections of the objects it links.
#include "runtime/exit_table.h"
#include "runtime/static_init.h"

extern "C" runtime::Routine __CTOR_LIST__[];
extern "C" runtime::Routine __DTOR_LIST__[];

namespace runtime {

namespace {
ExitTable exitTable;
bool destroyed = false;
}  // namespace

void RunConstructors() { RunConstructorList(__CTOR_LIST__); }

void RunDestructors() {
    if (destroyed) return;
    destroyed = true;
    exitTable.RunAll();
    RunDestructorList(__DTOR_LIST__);
}

}  // namespace runtime

extern "C" int atexit(void (*routine)()) { return runtime::exitTable.Add(routine) ? 0 : -1; }
