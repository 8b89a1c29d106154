// Drives the monitor as a spooler does (process attach, InitializePrintMonitor,
// the table, process detach) and plays the machine underneath it. The same
// tests run natively over the Win32 layer and under Wine over real Win32;
// what only the layer can do (failing calls, recorded dialogs) is asked for
// through SupportsFaults() and skipped elsewhere.
#pragma once

#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace harness {

// The key a spooler names for this monitor, under HKEY_LOCAL_MACHINE.
extern const std::u16string kRoot;

// UTF-16 literal helpers: tests write u"..." and pass them to the monitor.
inline LPWSTR W(const std::u16string& s) {
    return reinterpret_cast<LPWSTR>(const_cast<char16_t*>(s.c_str()));
}
// A literal stays where it is: without this, W(u"...") would point into a
// temporary string that is gone by the time the monitor reads it.
inline LPWSTR W(const char16_t* s) { return reinterpret_cast<LPWSTR>(const_cast<char16_t*>(s)); }
inline std::u16string S(LPCWSTR s) {
    return s ? std::u16string(reinterpret_cast<const char16_t*>(s)) : std::u16string();
}
std::string U8(const std::u16string& s);

// ---- The machine ----
// A clean machine: no stored ports, the default temp path, no faults.
void ResetMachine();
// What GetTempPathW reports from now on (read by process attach).
void SetTempPath(const std::u16string& path);
std::u16string DefaultTempPath();
void CreateKey(const std::u16string& path);
void DeleteKey(const std::u16string& path);
void StoreString(const std::u16string& path, const std::u16string& name, const std::u16string& value,
                 bool terminate = true);
void StoreValue(const std::u16string& path, const std::u16string& name, DWORD type,
                const void* data, size_t bytes);
// The key's values, (name, data read as a string), in the order listed.
std::vector<std::pair<std::u16string, std::u16string>> StoredValues(const std::u16string& path);
// The numbered values 1..N as a list, value 1 first; stops at the first gap.
std::vector<std::u16string> StoredPorts(const std::u16string& path = kRoot);
bool HasValue(const std::u16string& path, const std::u16string& name);

// ---- Files ----
// A new empty folder as a full Windows path ending in a backslash (natively a
// fresh directory the layer maps a drive to; one per test).
std::u16string NewFolder();
void MakeFolder(const std::u16string& path);
void MakeFile(const std::u16string& path);

// True where calls can be made to fail and dialogs are recorded (native).
bool SupportsFaults();

// What the process holds that a leaking module would make grow: open handles
// and private memory (natively: the layer's handles, keys and heap blocks).
struct Resources {
    size_t handles = 0;
    size_t memory = 0;
};
Resources ProcessResources();

// ---- The module ----
class Monitor {
public:
    Monitor() = default;
    ~Monitor();
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    void Attach();
    LPMONITOREX Initialize(const std::u16string& root = kRoot);
    // Attach and Initialize.
    LPMONITOREX Start(const std::u16string& root = kRoot);
    void Detach();
    bool attached() const { return attached_; }

    const MONITOR& ops() const { return table_->Monitor; }
    LPMONITOREX table() const { return table_; }

    // Port names as EnumPorts lists them at level 1, head first.
    std::vector<std::u16string> Ports() const;
    // A handle from OpenPort, or null.
    HANDLE Open(const std::u16string& name) const;

private:
    bool attached_ = false;
    LPMONITOREX table_ = nullptr;
    void* module_ = nullptr;
};

// Fixture: a clean machine before each test, the module detached after it.
class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override { ResetMachine(); }
    void TearDown() override {
        if (monitor.attached()) monitor.Detach();
    }
    Monitor monitor;
};

}  // namespace harness
