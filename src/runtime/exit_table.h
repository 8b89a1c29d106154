// A fixed table of routines to run once, last added first. Fixed, because it
// fills before any heap is wanted: the compiler adds one entry per static
// object with a destructor.
#pragma once

#include <stddef.h>

namespace runtime {

class ExitTable {
public:
    static constexpr size_t kCapacity = 64;

    // False when the table is full or the routine is null.
    bool Add(void (*routine)()) {
        if (!routine || count_ == kCapacity) return false;
        routines_[count_++] = routine;
        return true;
    }

    // Each routine is taken off before it runs, so one that adds another
    // routine has it run in the same pass.
    void RunAll() {
        while (count_ > 0) routines_[--count_]();
    }

private:
    void (*routines_[kCapacity])() = {};
    size_t count_ = 0;
};

}  // namespace runtime
