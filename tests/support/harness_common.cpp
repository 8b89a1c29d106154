// Harness parts that only go through the monitor's table or the harness itself.
#include "harness.h"

#include <cstring>

namespace harness {

LPMONITOREX Monitor::Start(const std::u16string& root) {
    Attach();
    return Initialize(root);
}

std::vector<std::u16string> Monitor::Ports() const {
    std::vector<std::u16string> names;
    DWORD needed = 0, returned = 0;
    ops().pfnEnumPorts(nullptr, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed + 1);
    if (!ops().pfnEnumPorts(nullptr, 1, buffer.data(), needed, &needed, &returned)) return names;
    for (DWORD i = 0; i < returned; ++i) {
        PORT_INFO_1W info;
        std::memcpy(&info, buffer.data() + i * sizeof(info), sizeof(info));
        names.push_back(S(info.pName));
    }
    return names;
}

HANDLE Monitor::Open(const std::u16string& name) const {
    HANDLE handle = nullptr;
    return ops().pfnOpenPort(W(name), &handle) ? handle : nullptr;
}

std::vector<std::u16string> StoredPorts(const std::u16string& path) {
    std::vector<std::u16string> ports;
    auto values = StoredValues(path);
    for (unsigned i = 1;; ++i) {
        std::u16string name;
        for (char c : std::to_string(i)) name += char16_t(c);
        bool found = false;
        for (const auto& value : values) {
            if (value.first == name) {
                ports.push_back(value.second);
                found = true;
                break;
            }
        }
        if (!found) return ports;
    }
}

}  // namespace harness
