// Every platform call that initialisation and the port-changing operations
// make, failed once in turn: the k-th faultable call of the operation fails,
// for every k a clean run makes. The monitor must not crash, must give back
// every heap block, key and handle at detach, and must never drop from the
// registry a port that was stored before and is still in its list.
#include <functional>

#include "control.h"
#include "harness.h"
#include "monitor/exports.h"
#include "printers_control.h"
#include "shell_control.h"

using namespace harness;
using win32layer::Api;
using Names = std::vector<std::u16string>;

namespace {

bool Contains(const Names& names, const std::u16string& name) {
    for (const auto& entry : names)
        if (entry == name) return true;
    return false;
}

struct Scenario {
    // The machine before the module is loaded.
    std::function<void()> machine;
    // Run after attach and initialisation, faults off.
    std::function<void(Monitor&)> prepare = [](Monitor&) {};
    // The operation whose calls fail in turn. It starts the module itself
    // when initialisation is what is under test.
    std::function<void(Monitor&)> operation;
    bool startsModule = false;
    // The stored port the operation is to remove; every other stays stored.
    std::u16string removes;
};

class FaultInjectionTest : public MonitorTest {
protected:
    // One run: the k-th call of the operation fails (0: none does). Returns the
    // number of faultable calls the operation made.
    unsigned Run(const Scenario& scenario, unsigned k) {
        ResetMachine();
        scenario.machine();
        const size_t blocks = win32layer::LiveHeapBlocks();
        const size_t itemLists = win32layer::LiveItemLists();
        if (!scenario.startsModule) {
            monitor.Start();
            scenario.prepare(monitor);
        }
        const Names storedBefore = StoredPorts();
        const unsigned before = win32layer::TotalCallCount();
        if (k) win32layer::FailNthCall(k);
        scenario.operation(monitor);
        win32layer::ClearFaults();
        const unsigned calls = win32layer::TotalCallCount() - before;
        if (k) {
            EXPECT_GE(calls, k) << "the failing call was never made";
        }

        // The module still answers, and what it lists that was stored is still stored.
        const Names listed = monitor.Ports();
        const Names storedAfter = StoredPorts();
        if (k == 0) {
            // Without a fault the registry holds the list, head as the last value.
            EXPECT_EQ(Names(storedAfter.rbegin(), storedAfter.rend()), listed);
        }
        for (const auto& port : listed) {
            if (Contains(storedBefore, port)) {
                EXPECT_TRUE(Contains(storedAfter, port)) << U8(port) << " lost from the registry";
            }
        }
        // Nor is a stored port that a failure kept out of the list written over.
        for (const auto& port : storedBefore) {
            if (port != scenario.removes) {
                EXPECT_TRUE(Contains(storedAfter, port)) << U8(port) << " written over";
            }
        }

        monitor.Detach();
        EXPECT_EQ(win32layer::LiveHeapBlocks(), blocks);
        EXPECT_EQ(win32layer::LiveItemLists(), itemLists);
        EXPECT_EQ(win32layer::SpoolerReferences(), 0);
        EXPECT_EQ(win32layer::OpenKeyCount(), 0u);
        EXPECT_EQ(win32layer::OpenHandleCount(), 0u);
        return calls;
    }

    // A clean run to count the calls, then one run per call failing.
    unsigned FailEachCall(const Scenario& scenario) {
        unsigned calls = 0;
        {
            SCOPED_TRACE("clean run");
            calls = Run(scenario, 0);
        }
        EXPECT_GT(calls, 0u);
        RecordProperty("faultableCalls", int(calls));
        for (unsigned k = 1; k <= calls; ++k) {
            SCOPED_TRACE(testing::Message() << "call " << k << " of " << calls << " fails");
            Run(scenario, k);
            if (HasFatalFailure()) break;
        }
        return calls;
    }
};

void StorePorts(const Names& valueOneFirst) {
    for (size_t i = 0; i < valueOneFirst.size(); ++i)
        StoreString(kRoot, win32layer::U16(std::to_string(i + 1)), valueOneFirst[i]);
}

TEST_F(FaultInjectionTest, InitialisationThatAddsTheDefaultPort) {
    Scenario scenario;
    scenario.startsModule = true;
    scenario.machine = [] { StorePorts({u"D:\\A\\", u"E:\\B\\", u"F:\\C\\"}); };
    scenario.operation = [](Monitor& m) { m.Start(); };
    unsigned calls = FailEachCall(scenario);
    // Attach allocates, initialisation reads four values and rewrites four.
    EXPECT_GE(calls, 10u);
}

TEST_F(FaultInjectionTest, InitialisationOfAnEmptyKey) {
    Scenario scenario;
    scenario.startsModule = true;
    scenario.machine = [] { CreateKey(kRoot); };
    scenario.operation = [](Monitor& m) { m.Start(); };
    FailEachCall(scenario);
}

TEST_F(FaultInjectionTest, InitialisationOfAStoredDefaultPort) {
    Scenario scenario;
    scenario.startsModule = true;
    scenario.machine = [] { StorePorts({u"D:\\A\\", u"NORV", u"E:\\B\\"}); };
    scenario.operation = [](Monitor& m) { m.Start(); };
    FailEachCall(scenario);
}

// The user picks a folder; the duplicate check asks the spooler, which lists
// this monitor's ports through its EnumPorts; the port is stored.
TEST_F(FaultInjectionTest, AddPortOfANewFolder) {
    Scenario scenario;
    scenario.machine = [] { StorePorts({u"C:\\P1\\", u"NORV", u"D:\\P3\\"}); };
    scenario.prepare = [](Monitor&) {
        win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
        win32layer::ChooseFolder(u"E:\\New");
    };
    scenario.operation = [](Monitor& m) {
        EXPECT_TRUE(m.ops().pfnAddPort(nullptr, nullptr, W(u"NORV Monitor")));
    };
    unsigned calls = FailEachCall(scenario);
    // Browser, path, allocator, library, look-up, two listings, buffer, record, rewrite.
    EXPECT_GE(calls, 12u);
}

// The second add finds the spooler's library loaded by the first.
TEST_F(FaultInjectionTest, AddPortWithTheSpoolerLibraryLoaded) {
    Scenario scenario;
    scenario.machine = [] { StorePorts({u"NORV"}); };
    scenario.prepare = [](Monitor& m) {
        win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
        win32layer::ChooseFolder(u"E:\\First");
        m.ops().pfnAddPort(nullptr, nullptr, W(u"NORV Monitor"));
        win32layer::ChooseFolder(u"E:\\Second");
    };
    scenario.operation = [](Monitor& m) {
        EXPECT_TRUE(m.ops().pfnAddPort(nullptr, nullptr, W(u"NORV Monitor")));
    };
    FailEachCall(scenario);
}

TEST_F(FaultInjectionTest, AddPortOfAFolderThatIsAPortAlready) {
    Scenario scenario;
    scenario.machine = [] { StorePorts({u"C:\\P1\\", u"NORV"}); };
    scenario.prepare = [](Monitor&) {
        win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
        win32layer::ChooseFolder(u"c:\\p1");
    };
    scenario.operation = [](Monitor& m) {
        EXPECT_TRUE(m.ops().pfnAddPort(nullptr, nullptr, W(u"NORV Monitor")));
        // Refused whatever failed: the port is listed once.
        EXPECT_EQ(m.Ports(), (Names{u"NORV", u"C:\\P1\\"}));
    };
    FailEachCall(scenario);
}

TEST_F(FaultInjectionTest, DeletePortInTheMiddleOfTheList) {
    Scenario scenario;
    scenario.machine = [] { StorePorts({u"C:\\P1\\", u"D:\\P2\\", u"NORV", u"E:\\P4\\"}); };
    scenario.removes = u"D:\\P2\\";
    scenario.operation = [](Monitor& m) {
        EXPECT_TRUE(m.ops().pfnDeletePort(nullptr, nullptr, W(u"d:\\p2\\")));
    };
    FailEachCall(scenario);
}

TEST_F(FaultInjectionTest, DeletePortAtTheHeadOfTheList) {
    Scenario scenario;
    scenario.machine = [] { StorePorts({u"C:\\P1\\", u"NORV", u"D:\\P3\\"}); };
    scenario.removes = u"D:\\P3\\";
    scenario.operation = [](Monitor& m) {
        EXPECT_TRUE(m.ops().pfnDeletePort(nullptr, nullptr, W(u"D:\\P3\\")));
    };
    FailEachCall(scenario);
}

TEST_F(FaultInjectionTest, DeletePortOfAnOpenPort) {
    Scenario scenario;
    scenario.machine = [] { StorePorts({u"C:\\P1\\", u"NORV"}); };
    scenario.removes = u"C:\\P1\\";
    HANDLE handle = nullptr;
    scenario.prepare = [&handle](Monitor& m) { handle = m.Open(u"C:\\P1\\"); };
    scenario.operation = [&handle](Monitor& m) {
        EXPECT_TRUE(m.ops().pfnDeletePort(nullptr, nullptr, W(u"C:\\P1\\")));
        // The spooler still holds the handle and closes it later.
        m.ops().pfnClosePort(handle);
    };
    FailEachCall(scenario);
}

// EndDocPort opens the printer, deletes the job and closes the printer. A
// failure of any of them leaves the port ready for the next document.
TEST_F(FaultInjectionTest, EndDocPort) {
    HANDLE handle = nullptr;
    Scenario scenario;
    scenario.machine = [] {
        StorePorts({u"D:\\Scans\\", u"NORV"});
        win32layer::AddPrinter(u"Printer");
        win32layer::AddJob(u"Printer", 12);
    };
    scenario.prepare = [&handle](Monitor& m) {
        handle = m.Open(u"D:\\Scans\\");
        ASSERT_NE(handle, nullptr);
        DOC_INFO_1W info = {W(u"Report.doc"), nullptr, nullptr};
        ASSERT_TRUE(m.ops().pfnStartDocPort(handle, W(u"Printer"), 12, 1,
                                            reinterpret_cast<LPBYTE>(&info)));
    };
    unsigned failing = 0;
    scenario.operation = [&handle, &failing](Monitor& m) {
        EXPECT_TRUE(m.ops().pfnEndDocPort(handle));
        // Only a failed ClosePrinter may leave its printer handle behind.
        EXPECT_EQ(win32layer::OpenPrinterHandleCount(), failing == 3 ? 1u : 0u);
        // The job is gone unless opening the printer or deleting the job failed.
        bool deleted = win32layer::Jobs(u"Printer").empty();
        EXPECT_EQ(deleted, failing != 1 && failing != 2);
        DOC_INFO_1W next = {W(u"Next.doc"), nullptr, nullptr};
        EXPECT_TRUE(m.ops().pfnStartDocPort(handle, W(u"Other"), 13, 1,
                                            reinterpret_cast<LPBYTE>(&next)));
        m.ops().pfnEndDocPort(handle);
        EXPECT_TRUE(m.ops().pfnClosePort(handle));
    };
    // Open, delete, close; then the next document's printer, which does not exist.
    EXPECT_EQ(Run(scenario, 0), 3u + 1u);
    for (failing = 1; failing <= 3; ++failing) {
        SCOPED_TRACE(testing::Message() << "call " << failing << " fails");
        Run(scenario, failing);
    }
}

}  // namespace
