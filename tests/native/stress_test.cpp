// Eight spooler threads at once, each making a bounded number of random calls:
// jobs on random ports, enumerations at both levels into buffers of random
// size, ports deleted (and added through the folder browser) under their
// feet. Afterwards every handle handed out still works, the registry holds
// exactly the list, and it loads back to that list. Run under ThreadSanitizer
// in CI; the operation count, not the clock, bounds it.
#include <atomic>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "control.h"
#include "harness.h"
#include "threads.h"
#include "monitor/exports.h"
#include "printers_control.h"
#include "shell_control.h"

using namespace harness;
using Names = std::vector<std::u16string>;

namespace {

constexpr int kThreads = 8;
constexpr int kOperationsPerThread = 4000;
constexpr size_t kHeldPerThread = 8;
constexpr size_t kGuard = 16;
constexpr BYTE kFill = 0xCD;
const std::u16string kPrinters[2] = {u"Printer A", u"Printer B"};

Names PortPool() {
    Names pool{u"NORV"};
    for (int i = 0; i < 12; ++i) pool.push_back(u"D:\\Stress" + win32layer::U16(std::to_string(i)) + u"\\");
    return pool;
}

bool InPool(const Names& pool, const std::u16string& name) {
    for (const auto& entry : pool)
        if (entry == name) return true;
    return false;
}

// The string a returned pointer leads to, if it ends inside [begin, end).
bool ReadString(const BYTE* pointer, const BYTE* begin, const BYTE* end, std::u16string* out) {
    if (pointer < begin || pointer >= end) return false;
    out->clear();
    for (const BYTE* p = pointer; p + 2 <= end; p += 2) {
        char16_t c;
        std::memcpy(&c, p, 2);
        if (!c) return true;
        *out += c;
    }
    return false;
}

class StressTest : public MonitorTest {
protected:
    const Names pool = PortPool();
    const Names initial{pool.begin(), pool.begin() + 7};  // NORV and the six stored ports
    Problems problems;
    std::atomic<bool> sawAddedPort{false};

    // One enumeration into a guarded buffer of random size; every answer checked.
    void Enumerate(std::mt19937& random) {
        const DWORD level = 1 + random() % 2;
        const DWORD cbBuf = random() % 4096;
        std::vector<BYTE> memory(kGuard + cbBuf + kGuard, kFill);
        BYTE* buffer = memory.data() + kGuard;
        DWORD needed = 0, returned = 0;
        SetLastError(0);
        BOOL ok = monitor.ops().pfnEnumPorts(nullptr, level, buffer, cbBuf, &needed, &returned);
        for (size_t i = 0; i < kGuard; ++i) {
            if (memory[i] != kFill || memory[kGuard + cbBuf + i] != kFill) {
                problems.Add("EnumPorts wrote outside the buffer");
                return;
            }
        }
        if (!ok) {
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= cbBuf || returned != 0)
                problems.Add("EnumPorts failed without a size answer");
            return;
        }
        if (needed > cbBuf || (returned == 0) != (needed == 0))
            problems.Add("EnumPorts answered a size that does not match its ports");
        const size_t record = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
        for (DWORD i = 0; i < returned && (i + 1) * record <= cbBuf; ++i) {
            LPWSTR name;
            std::memcpy(&name, buffer + i * record, sizeof(name));  // pName and pPortName lead
            std::u16string text;
            if (!ReadString(reinterpret_cast<const BYTE*>(name), buffer, buffer + cbBuf, &text))
                problems.Add("EnumPorts returned a pointer outside the buffer");
            else if (!InPool(pool, text))
                problems.Add("EnumPorts listed an unknown port " + U8(text));
            else if (!InPool(initial, text))
                sawAddedPort = true;
        }
    }

    void Worker(int index) {
        std::mt19937 random(1000 + index);
        std::vector<HANDLE> held;
        const DWORD firstJob = DWORD(index) * 1000000u;
        auto pick = [&](size_t n) { return size_t(random() % n); };
        for (int op = 0; op < kOperationsPerThread; ++op) {
            const unsigned kind = random() % 100;
            if (kind < 15) {
                HANDLE handle = nullptr;
                if (monitor.ops().pfnOpenPort(W(pool[pick(pool.size())]), &handle)) {
                    if (!handle) problems.Add("OpenPort gave no handle");
                    if (held.size() == kHeldPerThread) {
                        if (!monitor.ops().pfnClosePort(held.front())) problems.Add("ClosePort failed");
                        held.erase(held.begin());
                    }
                    held.push_back(handle);
                    std::lock_guard<std::mutex> guard(handlesMutex);
                    everHeld.push_back(handle);
                }
            } else if (kind < 55 && !held.empty()) {
                // A job on one of the ports this thread holds; other threads
                // may print to the same port, so a start may find it busy.
                HANDLE handle = held[pick(held.size())];
                const std::u16string& printer = kPrinters[pick(2)];
                const DWORD job = firstJob + DWORD(op);
                win32layer::AddJob(printer, job);
                DOC_INFO_1W info = {W(u"Stress.doc"), nullptr, nullptr};
                SetLastError(0);
                BOOL started = monitor.ops().pfnStartDocPort(handle, W(printer), job, 1,
                                                             reinterpret_cast<LPBYTE>(&info));
                if (!started && GetLastError() != 0) problems.Add("StartDocPort refused a handle");
                BYTE data[64] = {};
                DWORD written = 0;
                if (!monitor.ops().pfnWritePort(handle, data, sizeof(data), &written))
                    problems.Add("WritePort failed");
                if (!monitor.ops().pfnEndDocPort(handle)) problems.Add("EndDocPort refused a handle");
            } else if (kind < 60 && !held.empty()) {
                size_t at = pick(held.size());
                if (!monitor.ops().pfnClosePort(held[at])) problems.Add("ClosePort refused a handle");
                held.erase(held.begin() + long(at));
            } else if (kind < 90) {
                Enumerate(random);
            } else if (kind < 94) {
                if (!monitor.ops().pfnDeletePort(nullptr, nullptr, W(pool[pick(pool.size())])))
                    problems.Add("DeletePort failed");
            } else {
                AddOnePort(random);
            }
        }
        for (HANDLE handle : held)
            if (!monitor.ops().pfnClosePort(handle)) problems.Add("ClosePort refused a handle");
    }

    // A user picks one of the pool's folders; one that is listed already is refused.
    void AddOnePort(std::mt19937& random) {
        std::u16string folder = pool[1 + random() % (pool.size() - 1)];
        folder.pop_back();  // the browser answers without the trailing backslash
        win32layer::ChooseFolder(folder);
        if (!monitor.ops().pfnAddPort(nullptr, nullptr, W(u"NORV Monitor"))) problems.Add("AddPort failed");
    }

    std::mutex handlesMutex;
    std::vector<HANDLE> everHeld;
};

TEST_F(StressTest, EightThreadsMixingJobsEnumerationAndPortChanges) {
    const size_t blocks = win32layer::LiveHeapBlocks();
    for (int i = 0; i < 6; ++i)
        StoreString(kRoot, win32layer::U16(std::to_string(i + 1)), pool[1 + i]);
    for (const auto& printer : kPrinters) win32layer::AddPrinter(printer);
    win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
    monitor.Start();

    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) threads.emplace_back([this, i] { Worker(i); });
    for (auto& thread : threads) thread.join();
    ASSERT_EQ(problems.count(), 0u) << problems.Describe();
    // Ports came and went: some were removed, some added that were not there at the start.
    size_t removed = 0;
    for (const auto& box : win32layer::MessageBoxes()) removed += box.caption == u"Port removed";
    EXPECT_GT(removed, 0u);
    EXPECT_TRUE(sawAddedPort);

    // Every handle handed out still works, its port deleted or not.
    ASSERT_FALSE(everHeld.empty());
    for (HANDLE handle : everHeld) {
        EXPECT_TRUE(monitor.ops().pfnEndDocPort(handle));
        EXPECT_TRUE(monitor.ops().pfnClosePort(handle));
    }
    DOC_INFO_1W info = {W(u"Last.doc"), nullptr, nullptr};
    EXPECT_TRUE(monitor.ops().pfnStartDocPort(everHeld.front(), W(kPrinters[0]), 1, 1,
                                              reinterpret_cast<LPBYTE>(&info)));
    EXPECT_TRUE(monitor.ops().pfnEndDocPort(everHeld.front()));
    EXPECT_EQ(win32layer::OpenPrinterHandleCount(), 0u);
    for (const auto& box : win32layer::MessageBoxes()) EXPECT_FALSE(box.lockHeld) << U8(box.text);

    // The registry holds the list, head as the highest value, and loads back to it.
    const Names listed = monitor.Ports();
    const Names stored = StoredPorts();
    EXPECT_EQ(Names(stored.rbegin(), stored.rend()), listed);
    monitor.Detach();
    EXPECT_EQ(win32layer::LiveHeapBlocks(), blocks);
    // A start without the default port adds it in front, as on every start.
    Names expected = listed;
    if (!InPool(listed, u"NORV")) expected.insert(expected.begin(), u"NORV");
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), expected);
    monitor.Detach();
    EXPECT_EQ(win32layer::LiveHeapBlocks(), blocks);
    EXPECT_EQ(win32layer::OpenKeyCount(), 0u);
    EXPECT_EQ(win32layer::OpenHandleCount(), 0u);
}

}  // namespace
