// A plain model of the port list and its registry form, for the fuzz targets
// that check the monitor's list against what it should be.
#pragma once

#include <string>
#include <vector>

#include "fuzz_support.h"

namespace fuzz {

constexpr size_t kValueBufferBytes = 520;  // 260 units, what the monitor reads into
constexpr size_t kPortUnits = 260;

// What a stored value means as a port name, as the monitor is to read it.
inline std::u16string StoredName(const win32layer::RegistryValue& value) {
    size_t units = value.data.size() / 2;
    if (units > kPortUnits - 1) units = kPortUnits - 1;
    std::u16string name;
    for (size_t i = 0; i < units; ++i) {
        char16_t c = char16_t(value.data[2 * i] | (value.data[2 * i + 1] << 8));
        if (!c) break;
        name += c;
    }
    return name;
}

// The stored ports as the monitor reads them, value 1 first: up to the first
// missing or oversized value, empty ones skipped.
inline std::vector<std::u16string> ReadablePorts() {
    std::vector<std::u16string> ports;
    for (unsigned i = 1;; ++i) {
        auto value = win32layer::RegistryGetValue(kRoot, win32layer::U16(std::to_string(i)));
        if (!value || value->data.size() > kValueBufferBytes) return ports;
        std::u16string name = StoredName(*value);
        if (!name.empty()) ports.push_back(name);
    }
}

struct ModelPort {
    std::u16string name;  // as listed
    bool isDefault;
};
using ModelList = std::vector<ModelPort>;  // head first

// A port is named by its listed name and, the default port, by its directory.
inline bool Names(const ModelPort& port, const std::u16string& name, const std::u16string& directory) {
    return EqualNoCase(port.name, name) || (port.isDefault && EqualNoCase(directory, name));
}

inline int FindPort(const ModelList& list, const std::u16string& name, const std::u16string& directory) {
    for (size_t i = 0; i < list.size(); ++i)
        if (Names(list[i], name, directory)) return int(i);
    return -1;
}

// The port listed (and stored) under `name`; unlike FindPort, not the
// default port by its directory.
inline int FindListed(const ModelList& list, const std::u16string& name) {
    for (size_t i = 0; i < list.size(); ++i)
        if (EqualNoCase(list[i].name, name)) return int(i);
    return -1;
}

// The port a stored name makes: the default port under the default name when
// it has a directory, otherwise a port under the stored spelling.
inline ModelPort StoredPort(const std::u16string& name, bool defaultPossible) {
    const bool isDefault = defaultPossible && EqualNoCase(name, u"NORV");
    return {isDefault ? u"NORV" : name, isDefault};
}

// The list a load of `readable` (value 1 first) gives, head first, before
// initialisation adds a missing default port: a name already listed is
// skipped, so the lower value wins.
inline ModelList LoadModel(const std::vector<std::u16string>& readable, bool defaultPossible) {
    ModelList list;
    for (const auto& name : readable)
        if (FindListed(list, StoredPort(name, defaultPossible).name) < 0)
            list.insert(list.begin(), StoredPort(name, defaultPossible));
    return list;
}

// What initialisation lists: the load, and the default port on top when the
// load did not list it.
inline ModelList InitialiseModel(const std::vector<std::u16string>& readable, bool defaultPossible,
                                 const std::u16string& directory) {
    ModelList list = LoadModel(readable, defaultPossible);
    if (defaultPossible && FindPort(list, u"NORV", directory) < 0)
        list.insert(list.begin(), ModelPort{u"NORV", true});
    return list;
}

// A list that missed stored ports, completed from the store: the listed ports
// not stored stay on top in their order, the stored ones follow in stored
// order (head last), each listed port keeping its place among them. A stored
// value is the port listed under its name, never the default port by its
// directory, so that the next save writes each port where it was.
inline ModelList CompleteModel(const ModelList& list, const std::vector<std::u16string>& readable,
                               bool defaultPossible) {
    ModelList stored;  // value 1 first
    std::vector<bool> claimed(list.size(), false);
    for (const auto& name : readable) {
        if (FindListed(stored, name) >= 0) continue;
        const int listed = FindListed(list, name);
        if (listed >= 0) {
            claimed[size_t(listed)] = true;
            stored.push_back(list[size_t(listed)]);
        } else {
            stored.push_back(StoredPort(name, defaultPossible));
        }
    }
    ModelList out;
    for (size_t i = 0; i < list.size(); ++i)
        if (!claimed[i]) out.push_back(list[i]);
    for (auto port = stored.rbegin(); port != stored.rend(); ++port) out.push_back(*port);
    return out;
}

inline std::vector<std::u16string> ModelNames(const ModelList& list) {
    std::vector<std::u16string> names;
    for (const auto& port : list) names.push_back(port.name);
    return names;
}

}  // namespace fuzz
