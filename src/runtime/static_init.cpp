#include "runtime/static_init.h"

#include <stddef.h>

namespace runtime {

void RunConstructorList(const Routine* list) {
    ++list;  // the -1 head
    size_t count = 0;
    while (list[count]) ++count;
    while (count > 0) list[--count]();
}

void RunDestructorList(const Routine* list) {
    for (++list; *list; ++list) (*list)();
}

}  // namespace runtime
