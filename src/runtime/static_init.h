// Static construction and destruction for programs linked with no C runtime.
#pragma once

namespace runtime {

using Routine = void (*)();

// Calls a constructor list as the linker lays it out: a -1 head, the entries,
// a null end. Entries run last to first, as the compiler expects.
void RunConstructorList(const Routine* list);

// Calls a destructor list of the same layout, first to last.
void RunDestructorList(const Routine* list);

// This module's static constructors; its destructors, those registered with
// atexit first (last registered first), then the destructor list, once.
void RunConstructors();
void RunDestructors();

}  // namespace runtime

// The module's own atexit: the compiler registers static destructors here, and
// in a DLL they must run at detach, not at the process's exit. Nonzero when
// the table is full.
extern "C" int atexit(void (*routine)());
