// The deleting destructor of a class with a virtual destructor refers to
// operator delete. Objects come from the process heap (common/heap.h), so
// that is where one given to delete goes back to.
#include <windows.h>

#include <stddef.h>

void operator delete(void* object) noexcept {
    if (object) HeapFree(GetProcessHeap(), 0, object);
}

void operator delete(void* object, size_t) noexcept { operator delete(object); }
