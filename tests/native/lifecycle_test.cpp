// The module as a spooler drives it: attach, initialise, the table, detach.
#include "control.h"
#include "harness.h"
#include "monitor/state.h"

using namespace harness;
using Values = std::vector<std::pair<std::u16string, std::u16string>>;

namespace {

class LifecycleTest : public MonitorTest {};

TEST_F(LifecycleTest, TableHasFourteenPointerSlotsWithNullsWhereNothingIsOffered) {
    LPMONITOREX table = monitor.Start();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->dwMonitorSize, 14 * sizeof(void*));
    const MONITOR& m = table->Monitor;
    EXPECT_NE(m.pfnEnumPorts, nullptr);
    EXPECT_NE(m.pfnOpenPort, nullptr);
    EXPECT_EQ(m.pfnOpenPortEx, nullptr);
    EXPECT_NE(m.pfnStartDocPort, nullptr);
    EXPECT_NE(m.pfnEndDocPort, nullptr);
    EXPECT_NE(m.pfnClosePort, nullptr);
    EXPECT_NE(m.pfnAddPort, nullptr);
    EXPECT_NE(m.pfnConfigurePort, nullptr);
    EXPECT_NE(m.pfnDeletePort, nullptr);
    EXPECT_EQ(m.pfnGetPrinterDataFromPort, nullptr);
    EXPECT_EQ(m.pfnSetPortTimeOuts, nullptr);
    EXPECT_EQ(m.pfnXcvOpenPort, nullptr);
    EXPECT_EQ(m.pfnXcvDataPort, nullptr);
    EXPECT_EQ(m.pfnXcvClosePort, nullptr);
    // Write, read and AddPortEx each have their own operation.
    EXPECT_NE(reinterpret_cast<void*>(m.pfnWritePort), reinterpret_cast<void*>(m.pfnReadPort));
    EXPECT_NE(reinterpret_cast<void*>(m.pfnWritePort), reinterpret_cast<void*>(m.pfnAddPortEx));
    EXPECT_NE(reinterpret_cast<void*>(m.pfnReadPort), reinterpret_cast<void*>(m.pfnAddPortEx));
}

TEST_F(LifecycleTest, EmptyKeyGetsTheDefaultPortStoredAsValueOne) {
    CreateKey(kRoot);
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), std::vector<std::u16string>{u"NORV"});
    EXPECT_EQ(StoredValues(kRoot), (Values{{u"1", u"NORV"}}));
}

TEST_F(LifecycleTest, StoredPortWithoutDefaultGetsDefaultInFrontAndStoredOnTop) {
    StoreString(kRoot, u"1", u"D:\\A\\");
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), (std::vector<std::u16string>{u"NORV", u"D:\\A\\"}));
    EXPECT_EQ(StoredPorts(), (std::vector<std::u16string>{u"D:\\A\\", u"NORV"}));
}

TEST_F(LifecycleTest, KeyHoldingTheDefaultPortIsNotWritten) {
    StoreString(kRoot, u"1", u"D:\\A\\");
    StoreString(kRoot, u"2", u"norv");
    unsigned before = win32layer::RegistryChangeCount();
    monitor.Start();
    EXPECT_EQ(win32layer::RegistryChangeCount(), before);
    EXPECT_EQ(monitor.Ports(), (std::vector<std::u16string>{u"NORV", u"D:\\A\\"}));
    EXPECT_EQ(StoredPorts(), (std::vector<std::u16string>{u"D:\\A\\", u"norv"}));
}

TEST_F(LifecycleTest, MissingKeyLeavesDefaultPortOnlyAndWritesNothing) {
    LPMONITOREX table = monitor.Start();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(monitor.Ports(), std::vector<std::u16string>{u"NORV"});
    EXPECT_FALSE(win32layer::RegistryKeyExists(kRoot));
    EXPECT_EQ(win32layer::RegistryChangeCount(), 0u);
}

TEST_F(LifecycleTest, AttachDisablesThreadCallsAndInitialiseCreatesTheNamedEvent) {
    monitor.Attach();
    EXPECT_TRUE(win32layer::ThreadCallsDisabled(reinterpret_cast<HMODULE>(0x10000000)));
    EXPECT_FALSE(win32layer::EventExists(u"NORV Monitor"));
    monitor.Initialize();
    EXPECT_TRUE(win32layer::EventExists(u"NORV Monitor"));
    monitor.Detach();
    EXPECT_FALSE(win32layer::EventExists(u"NORV Monitor"));
}

TEST_F(LifecycleTest, DetachReleasesEverythingTheModuleAllocated) {
    size_t blocks = win32layer::LiveHeapBlocks();
    StoreString(kRoot, u"1", u"D:\\A\\");
    monitor.Start();
    monitor.Ports();
    monitor.Detach();
    EXPECT_EQ(win32layer::LiveHeapBlocks(), blocks);
    EXPECT_EQ(win32layer::OpenHandleCount(), 0u);
    EXPECT_EQ(win32layer::OpenKeyCount(), 0u);
}

TEST_F(LifecycleTest, SecondInitialiseKeepsPortsStoreAndEvent) {
    StoreString(kRoot, u"1", u"D:\\A\\");
    LPMONITOREX first = monitor.Start();
    Values stored = StoredValues(kRoot);
    std::vector<std::u16string> ports = monitor.Ports();
    size_t handles = win32layer::OpenHandleCount();

    LPMONITOREX second = monitor.Initialize();
    EXPECT_EQ(second, first);
    EXPECT_EQ(monitor.Ports(), ports);
    EXPECT_EQ(StoredValues(kRoot), stored);
    EXPECT_EQ(win32layer::OpenHandleCount(), handles);

    size_t blocks = win32layer::LiveHeapBlocks();
    monitor.Detach();
    EXPECT_LT(win32layer::LiveHeapBlocks(), blocks);
    EXPECT_EQ(win32layer::OpenHandleCount(), 0u);
}

TEST_F(LifecycleTest, ReattachAfterDetachStartsAfresh) {
    StoreString(kRoot, u"1", u"D:\\A\\");
    monitor.Start();
    monitor.Detach();
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), (std::vector<std::u16string>{u"NORV", u"D:\\A\\"}));
}

TEST_F(LifecycleTest, EventCreationFailureIsIgnored) {
    win32layer::FailCall(win32layer::Api::CreateEventW);
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), std::vector<std::u16string>{u"NORV"});
    EXPECT_FALSE(win32layer::EventExists(u"NORV Monitor"));
}

// Every allocation of attach failing in turn: the module stays usable (with no
// list, every operation is safe) and detach frees what was made.
TEST_F(LifecycleTest, AllocationFailureAtAttachLeavesEveryOperationSafe) {
    for (unsigned k = 1; k <= 6; ++k) {
        SCOPED_TRACE(k);
        ResetMachine();
        StoreString(kRoot, u"1", u"D:\\A\\");
        size_t blocks = win32layer::LiveHeapBlocks();
        win32layer::FailCall(win32layer::Api::HeapAlloc, k);
        monitor.Attach();
        bool listMissing = portList == nullptr;
        win32layer::ClearFaults();
        LPMONITOREX table = monitor.Initialize();
        ASSERT_NE(table, nullptr);
        const MONITOR& m = table->Monitor;

        DWORD needed = 1, returned = 1;
        BYTE buffer[256];
        if (listMissing) {
            EXPECT_TRUE(m.pfnEnumPorts(nullptr, 1, buffer, sizeof(buffer), &needed, &returned));
            EXPECT_EQ(returned, 0u);
            HANDLE handle = nullptr;
            EXPECT_FALSE(m.pfnOpenPort(W(u"NORV"), &handle));
            EXPECT_FALSE(m.pfnStartDocPort(reinterpret_cast<HANDLE>(buffer), W(u"P"), 1, 1, nullptr));
            EXPECT_FALSE(m.pfnEndDocPort(reinterpret_cast<HANDLE>(buffer)));
            EXPECT_FALSE(m.pfnClosePort(reinterpret_cast<HANDLE>(buffer)));
            EXPECT_TRUE(m.pfnDeletePort(nullptr, nullptr, W(u"NORV")));
            // Nothing stored was lost.
            EXPECT_EQ(StoredPorts(), std::vector<std::u16string>{u"D:\\A\\"});
        } else {
            EXPECT_TRUE(m.pfnEnumPorts(nullptr, 1, buffer, sizeof(buffer), &needed, &returned));
        }
        monitor.Detach();
        EXPECT_EQ(win32layer::LiveHeapBlocks(), blocks);
    }
}

}  // namespace
