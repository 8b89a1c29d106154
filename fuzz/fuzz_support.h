// Shared pieces of the fuzz targets: reading the fuzzer's bytes, driving the
// module as the spooler does, and failing loudly on a broken promise.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "control.h"
#include "monitor/exports.h"

namespace fuzz {

const std::u16string kRoot = u"System\\CurrentControlSet\\Control\\Print\\Monitors\\NORV Monitor";
inline HINSTANCE Module() { return reinterpret_cast<HINSTANCE>(0x10000000); }

// A broken promise of the monitor: report and abort so libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                \
    do {                                                                                \
        if (!(cond)) {                                                                  \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                               \
        }                                                                               \
    } while (0)

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return pos_ >= size_; }
    size_t left() const { return size_ - pos_; }
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    uint16_t U16() { return uint16_t(Byte() | (Byte() << 8)); }
    uint32_t U32() { return uint32_t(U16()) | (uint32_t(U16()) << 16); }
    std::vector<uint8_t> Bytes(size_t n) {
        n = n < left() ? n : left();
        std::vector<uint8_t> out(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        return out;
    }
    // UTF-16 units up to a 0 unit or the end of the input.
    std::u16string String() {
        std::u16string out;
        while (left() >= 2) {
            char16_t c = char16_t(U16());
            if (!c) break;
            out += c;
        }
        if (left() == 1) Byte();
        return out;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

inline LPWSTR W(const std::u16string& s) {
    return reinterpret_cast<LPWSTR>(const_cast<char16_t*>(s.c_str()));
}

// Port names are equal as Windows compares file names; the layer's
// CompareStringOrdinal is pinned to real Win32 by the conformance tests.
inline bool EqualNoCase(const std::u16string& a, const std::u16string& b) {
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// The port names at level 1, head first, read with a buffer of exactly the size asked for.
inline std::vector<std::u16string> Ports(const MONITOREX* table) {
    std::vector<std::u16string> names;
    DWORD needed = 0, returned = 0;
    table->Monitor.pfnEnumPorts(nullptr, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed ? needed : 1);
    FUZZ_CHECK(table->Monitor.pfnEnumPorts(nullptr, 1, buffer.data(), needed, &needed, &returned));
    for (DWORD i = 0; i < returned; ++i) {
        PORT_INFO_1W info;
        std::memcpy(&info, buffer.data() + i * sizeof(info), sizeof(info));
        names.emplace_back(reinterpret_cast<const char16_t*>(info.pName));
    }
    return names;
}

// A fresh machine and the resources it starts with, to compare after detach.
struct Baseline {
    Baseline() {
        win32layer::Reset();
        blocks = win32layer::LiveHeapBlocks();
    }
    // Everything the module took is back after process detach.
    void CheckReleased() const {
        FUZZ_CHECK(win32layer::LiveHeapBlocks() == blocks);
        FUZZ_CHECK(win32layer::OpenKeyCount() == 0);
        FUZZ_CHECK(win32layer::OpenHandleCount() == 0);
    }
    size_t blocks;
};

}  // namespace fuzz
