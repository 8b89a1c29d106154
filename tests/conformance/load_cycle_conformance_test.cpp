// A spooler host that loads the monitor for every call attaches, initialises,
// uses and detaches it over and over: nothing may pile up in its process.
#include "harness.h"

using namespace harness;

namespace {

class LoadCycleConformance : public MonitorTest {
protected:
    void Cycle() {
        monitor.Start();
        EXPECT_EQ(monitor.Ports().size(), 2u);
        HANDLE port = monitor.Open(u"NORV");
        EXPECT_NE(port, nullptr);
        monitor.ops().pfnClosePort(port);
        monitor.Detach();
    }
};

TEST_F(LoadCycleConformance, ThousandLoadsLeaveNoHandlesOrMemoryBehind) {
    StoreString(kRoot, u"1", u"NORV");
    StoreString(kRoot, u"2", u"D:\\Scans\\");
    // Warm up: the first loads fill caches of the loader and the registry.
    for (int i = 0; i < 50; ++i) Cycle();
    Resources before = ProcessResources();
    for (int i = 0; i < 1000; ++i) Cycle();
    Resources after = ProcessResources();
    EXPECT_EQ(after.handles, before.handles);
    // The smallest leak a cycle could make, a port record, would add 1000
    // blocks natively and over a megabyte of private memory on Windows.
    const size_t slack = SupportsFaults() ? 0 : 256 * 1024;
    EXPECT_LE(after.memory, before.memory + slack)
        << "before " << before.memory << ", after " << after.memory;
}

}  // namespace
