#include "runtime/static_init.h"

#include <stdint.h>

#include "runtime/exit_table.h"

// Supplied by the linker around the .ctors and .dtors sections.
extern "C" runtime::Routine __CTOR_LIST__[];
extern "C" runtime::Routine __DTOR_LIST__[];

namespace runtime {

namespace {

ExitTable exitTable;

bool IsHead(Routine entry) { return reinterpret_cast<intptr_t>(entry) == -1; }

}  // namespace

void RunConstructorList(const Routine* list) {
    if (IsHead(list[0])) ++list;
    size_t count = 0;
    while (list[count]) ++count;
    while (count > 0) list[--count]();
}

void RunDestructorList(const Routine* list) {
    if (IsHead(list[0])) ++list;
    for (; *list; ++list) (*list)();
}

void RunConstructors() { RunConstructorList(__CTOR_LIST__); }

void RunDestructors() {
    RunExitRoutines();
    RunDestructorList(__DTOR_LIST__);
}

void RunExitRoutines() { exitTable.RunAll(); }

}  // namespace runtime

extern "C" int atexit(void (*routine)()) { return runtime::exitTable.Add(routine) ? 0 : -1; }
