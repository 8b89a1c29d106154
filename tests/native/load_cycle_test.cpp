// A spooler that loads and unloads the monitor over and over: attach,
// initialise, enumerate, print, detach, a thousand times. Nothing may pile up
// from one cycle to the next. scripts/leak-check.sh runs this under valgrind,
// which also sees what the layer's counters cannot.
#include "control.h"
#include "harness.h"
#include "printers_control.h"

using namespace harness;
using Names = std::vector<std::u16string>;

namespace {

constexpr int kCycles = 1000;

class LoadCycleTest : public MonitorTest {
protected:
    // One load of the module as a spooler uses it.
    void Cycle() {
        monitor.Start();
        EXPECT_EQ(monitor.Ports(), (Names{u"D:\\Scans\\", u"NORV"}));
        DWORD needed = 0, returned = 0;
        monitor.ops().pfnEnumPorts(nullptr, 2, nullptr, 0, &needed, &returned);
        std::vector<BYTE> buffer(needed);
        EXPECT_TRUE(monitor.ops().pfnEnumPorts(nullptr, 2, buffer.data(), needed, &needed, &returned));
        HANDLE port = monitor.Open(u"D:\\Scans\\");
        EXPECT_NE(port, nullptr);
        win32layer::AddJob(u"Printer", 7);
        DOC_INFO_1W info = {W(u"Report.doc"), nullptr, nullptr};
        EXPECT_TRUE(monitor.ops().pfnStartDocPort(port, W(u"Printer"), 7, 1,
                                                  reinterpret_cast<LPBYTE>(&info)));
        EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
        EXPECT_TRUE(monitor.ops().pfnClosePort(port));
        monitor.Detach();
    }
};

TEST_F(LoadCycleTest, ThousandLoadsLeaveNothingBehind) {
    StoreString(kRoot, u"1", u"NORV");
    StoreString(kRoot, u"2", u"D:\\Scans\\");
    win32layer::AddPrinter(u"Printer");
    const size_t blocks = win32layer::LiveHeapBlocks();
    const auto stored = StoredValues(kRoot);
    for (int i = 0; i < kCycles; ++i) {
        Cycle();
        ASSERT_EQ(win32layer::LiveHeapBlocks(), blocks) << "cycle " << i;
        ASSERT_EQ(win32layer::OpenKeyCount(), 0u) << "cycle " << i;
        ASSERT_EQ(win32layer::OpenHandleCount(), 0u) << "cycle " << i;
        ASSERT_EQ(win32layer::OpenPrinterHandleCount(), 0u) << "cycle " << i;
        ASSERT_FALSE(win32layer::EventExists(u"NORV Monitor")) << "cycle " << i;
    }
    // Every job was deleted, and the stored ports were neither rewritten nor grown.
    EXPECT_TRUE(win32layer::Jobs(u"Printer").empty());
    EXPECT_EQ(StoredValues(kRoot), stored);
}

// A start that adds the default port writes once; later starts find it stored.
TEST_F(LoadCycleTest, DefaultPortIsStoredOnceAcrossLoads) {
    StoreString(kRoot, u"1", u"D:\\Scans\\");
    monitor.Start();
    monitor.Detach();
    const unsigned changes = win32layer::RegistryChangeCount();
    for (int i = 0; i < 100; ++i) {
        monitor.Start();
        monitor.Detach();
    }
    EXPECT_EQ(win32layer::RegistryChangeCount(), changes);
    EXPECT_EQ(StoredPorts(), (Names{u"D:\\Scans\\", u"NORV"}));
}

}  // namespace
