// A monitor loaded over the layer with a given number of ports, for the benchmarks.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <string>

#include "control.h"

namespace bench {

extern const std::u16string kRoot;

// A port's name as users pick them: a folder a few levels down.
std::u16string PortName(int i);

inline LPWSTR W(const std::u16string& s) {
    return reinterpret_cast<LPWSTR>(const_cast<char16_t*>(s.c_str()));
}

// Fresh machine, `ports` ports stored (the default port among them), the
// module attached and initialised. Detached again on destruction.
class LoadedMonitor {
public:
    explicit LoadedMonitor(int ports);
    ~LoadedMonitor();
    LoadedMonitor(const LoadedMonitor&) = delete;
    LoadedMonitor& operator=(const LoadedMonitor&) = delete;
    const MONITOR& ops() const { return table_->Monitor; }

private:
    LPMONITOREX table_;
};

}  // namespace bench
