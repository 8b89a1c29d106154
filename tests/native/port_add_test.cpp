// AddPortEx: a port added by a program, as winspool's AddPortExW hands it to
// the monitor. Folders are real directories on drives and a share the layer
// maps; the list, the registry, the spooler's calls and the absence of any
// window are checked after each call.
#include <algorithm>
#include <filesystem>
#include <unistd.h>
#include <fstream>
#include <thread>

#include "control.h"
#include "files_control.h"
#include "harness.h"
#include "monitor/exports.h"
#include "shell_control.h"

using namespace harness;
using win32layer::Api;
using Names = std::vector<std::u16string>;

namespace {

const std::u16string kLongest(255, u'a');  // a folder of C:\\ named with 255 units

class PortAddTest : public MonitorTest {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
        root = std::filesystem::temp_directory_path() /
               ("norv-port-add-" + std::to_string(getpid()) +
                "-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::remove_all(root);
        for (const char* dir : {"c/Out/Scans", "c/Out/Tmp", "c/WINDOWS/TEMP/NORV", "share/Out"})
            std::filesystem::create_directories(root / dir);
        std::filesystem::create_directories(root / "c" / win32layer::U8(kLongest));
        std::ofstream((root / "c/Out/file.txt").string()) << "x";
        win32layer::MapDrive(u'C', (root / "c").string());
        win32layer::MapShare(u"Server", u"Share", (root / "share").string());
    }
    void TearDown() override {
        MonitorTest::TearDown();
        std::filesystem::remove_all(root);
    }

    // AddPortEx at `level` with the name in the level's record; the error code
    // it left, ERROR_SUCCESS exactly when it returned TRUE.
    DWORD AddEx(const std::u16string& folder, DWORD level = 1) {
        PORT_INFO_2W info2 = {W(folder), W(u"NORV Monitor"), nullptr, 0, 0};
        PORT_INFO_1W info1 = {W(folder)};
        LPBYTE buffer = level == 2 ? reinterpret_cast<LPBYTE>(&info2) : reinterpret_cast<LPBYTE>(&info1);
        SetLastError(0xDEAD);
        BOOL ok = monitor.ops().pfnAddPortEx(nullptr, level, buffer, W(u"NORV Monitor"));
        DWORD error = GetLastError();
        EXPECT_EQ(ok != FALSE, error == ERROR_SUCCESS) << "returned " << ok << ", error " << error;
        return error;
    }

    // Nothing a spooler's service process could not bear: no box, no browser,
    // and the spooler asked only without the monitor's lock.
    void ExpectNoWindowAndNoLockedSpoolerCall() {
        EXPECT_TRUE(win32layer::MessageBoxes().empty());
        EXPECT_TRUE(win32layer::FolderBrowserCalls().empty());
        for (const auto& call : win32layer::EnumPortsCalls()) EXPECT_FALSE(call.lockHeld);
    }

    std::filesystem::path root;
};

// Accepted folders: made canonical as Windows makes them, given one trailing
// backslash, listed first and stored under the highest value.
TEST_F(PortAddTest, FolderIsAddedCanonicalFirstAndOnTop) {
    struct Case {
        std::u16string given;
        std::u16string port;
    };
    const Case cases[] = {
        {u"C:\\Out\\Scans", u"C:\\Out\\Scans\\"},
        {u"C:/Out/Scans/", u"C:\\Out\\Scans\\"},
        {u"C:\\Out\\.\\Tmp\\..\\\\Scans\\\\", u"C:\\Out\\Scans\\"},
        {u"C:\\Out\\Scans. ", u"C:\\Out\\Scans\\"},
        {u"C:\\..\\Out\\Scans", u"C:\\Out\\Scans\\"},
        {u"c:\\OUT\\scans", u"c:\\OUT\\scans\\"},  // found ignoring case, kept as given
        {u"C:\\", u"C:\\"},
        {u"C:\\Out\\..", u"C:\\"},
        {u"\\\\Server\\Share\\Out", u"\\\\Server\\Share\\Out\\"},
        {u"\\\\server\\share", u"\\\\server\\share\\"},
        // The longest name that still takes the backslash within 260 units.
        {u"C:\\" + kLongest, u"C:\\" + kLongest + u"\\"},
    };
    DWORD level = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(U8(c.given));
        ResetMachine();
        SetUp();
        StoreString(kRoot, u"1", u"D:\\A\\");
        StoreString(kRoot, u"2", u"NORV");
        monitor.Start();
        level = 3 - level;  // both records, in turn

        EXPECT_EQ(AddEx(c.given, level), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(monitor.Ports(), (Names{c.port, u"NORV", u"D:\\A\\"}));
        EXPECT_EQ(StoredPorts(), (Names{u"D:\\A\\", u"NORV", c.port}));
        ExpectNoWindowAndNoLockedSpoolerCall();
        EXPECT_EQ(win32layer::EnumPortsCalls().size(), 2u);
        monitor.Detach();
    }
}

// Refusals: FALSE with the code, and neither the list nor the registry changes.
TEST_F(PortAddTest, RefusedFoldersChangeNothing) {
    const std::u16string tooLong(256, u'a');  // C:\ and 256 units: no room for the backslash
    struct Case {
        const char* what;
        std::u16string given;
        DWORD error;
        DWORD level;
    };
    const Case cases[] = {
        {"relative", u"Out\\Scans", ERROR_INVALID_NAME, 1},
        {"rooted on the current drive", u"\\Out\\Scans", ERROR_INVALID_NAME, 2},
        {"drive-relative", u"C:Out\\Scans", ERROR_INVALID_NAME, 1},
        {"dot", u".", ERROR_INVALID_NAME, 1},
        {"device path", u"\\\\.\\C:\\Out\\Scans", ERROR_INVALID_NAME, 1},
        {"long-path prefix", u"\\\\?\\C:\\Out\\Scans", ERROR_INVALID_NAME, 2},
        {"server without share", u"\\\\Server", ERROR_INVALID_NAME, 1},
        {"no drive letter", u"1:\\Out", ERROR_INVALID_NAME, 1},
        {"asterisk", u"C:\\Out\\Sc*ns", ERROR_INVALID_NAME, 1},
        {"question mark", u"C:\\Out\\Scans?", ERROR_INVALID_NAME, 2},
        {"pipe", u"C:\\Out|Scans", ERROR_INVALID_NAME, 1},
        {"angle bracket", u"C:\\Out\\<Scans>", ERROR_INVALID_NAME, 1},
        {"quote", u"C:\\Out\\\"Scans\"", ERROR_INVALID_NAME, 1},
        {"colon", u"C:\\Out\\Scans:x", ERROR_INVALID_NAME, 1},
        {"control character", u"C:\\Out\\Sc\tans", ERROR_INVALID_NAME, 1},
        {"no room for the backslash", u"C:\\" + tooLong, ERROR_INVALID_NAME, 1},
        {"longer than a path", u"C:\\" + tooLong + u"\\b", ERROR_INVALID_NAME, 2},
        {"missing folder", u"C:\\Out\\Missing", ERROR_PATH_NOT_FOUND, 1},
        {"missing parent", u"C:\\Nowhere\\Scans", ERROR_PATH_NOT_FOUND, 1},
        {"a file", u"C:\\Out\\file.txt", ERROR_PATH_NOT_FOUND, 2},
        {"unmapped drive", u"Q:\\Out", ERROR_PATH_NOT_FOUND, 1},
        {"unknown share", u"\\\\Server\\Other\\Out", ERROR_PATH_NOT_FOUND, 1},
        {"own port in another case", u"c:\\OUT\\SCANS", ERROR_ALREADY_EXISTS, 1},
        {"another monitor's port", u"C:\\Out\\Tmp", ERROR_ALREADY_EXISTS, 2},
        {"the default port's directory", u"C:\\WINDOWS\\TEMP\\NORV", ERROR_ALREADY_EXISTS, 1},
        {"the default port, listed", u"nOrV", ERROR_ALREADY_EXISTS, 2},
        {"empty name", u"", ERROR_INVALID_PARAMETER, 1},
        {"empty name, level 2", u"", ERROR_INVALID_PARAMETER, 2},
        {"level 0", u"C:\\Out\\Tmp", ERROR_INVALID_LEVEL, 0},
        {"level 3", u"C:\\Out\\Tmp", ERROR_INVALID_LEVEL, 3},
        {"level 0xFFFFFFFF", u"C:\\Out\\Tmp", ERROR_INVALID_LEVEL, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetMachine();
        SetUp();
        win32layer::SetOtherPorts({u"LPT1:", u"C:\\Out\\Tmp\\"});
        StoreString(kRoot, u"1", u"C:\\Out\\Scans\\");
        StoreString(kRoot, u"2", u"NORV");
        monitor.Start();
        monitor.Ports();  // EnumPorts keeps its packed answer from here on
        const unsigned changes = win32layer::RegistryChangeCount();
        const size_t blocks = win32layer::LiveHeapBlocks();

        EXPECT_EQ(AddEx(c.given, c.level), c.error);
        EXPECT_EQ(monitor.Ports(), (Names{u"NORV", u"C:\\Out\\Scans\\"}));
        EXPECT_EQ(win32layer::RegistryChangeCount(), changes);
        EXPECT_EQ(win32layer::LiveHeapBlocks(), blocks);
        ExpectNoWindowAndNoLockedSpoolerCall();
        // Only a well-formed, existing folder is worth asking the spooler about.
        if (c.error != ERROR_ALREADY_EXISTS) {
            EXPECT_TRUE(win32layer::EnumPortsCalls().empty());
        }
        monitor.Detach();
    }
}

// "NORV" brings the deleted default port back, stored on top, and only once.
TEST_F(PortAddTest, DefaultPortNameBringsBackTheDeletedDefaultPort) {
    StoreString(kRoot, u"1", u"C:\\Out\\Scans\\");
    monitor.Start();  // stores the default port as value 2
    ASSERT_TRUE(monitor.ops().pfnDeletePort(nullptr, nullptr, W(u"NORV")));
    win32layer::ClearMessageBoxes();
    ASSERT_EQ(StoredPorts(), Names{u"C:\\Out\\Scans\\"});

    EXPECT_EQ(AddEx(u"norv", 2), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(monitor.Ports(), (Names{u"NORV", u"C:\\Out\\Scans\\"}));
    EXPECT_EQ(StoredPorts(), (Names{u"C:\\Out\\Scans\\", u"NORV"}));
    EXPECT_EQ(AddEx(u"NORV"), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(monitor.Ports(), (Names{u"NORV", u"C:\\Out\\Scans\\"}));
    ExpectNoWindowAndNoLockedSpoolerCall();
}

// What fails under the lock is undone: the call fails and the list and the
// store are as before. A save the registry refused is not reported as done.
TEST_F(PortAddTest, FailuresUnderTheLockLeaveListAndStoreAsTheyWere) {
    struct Case {
        const char* what;
        Api api;
        unsigned nth;
        DWORD error;
    };
    const Case cases[] = {
        // The first allocation holds the spooler's answer, the second the record.
        {"no memory for the record", Api::HeapAlloc, 2, ERROR_NOT_ENOUGH_MEMORY},
        {"registry refuses the key", Api::RegOpenKeyExW, 1, ERROR_CANTWRITE},
        {"registry refuses the new value", Api::RegSetValueExW, 1, ERROR_CANTWRITE},
        {"spooler cannot be asked", Api::LoadLibraryW, 1, ERROR_ALREADY_EXISTS},
        {"spooler fails the listing", Api::EnumPortsW, 2, ERROR_ALREADY_EXISTS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetMachine();
        SetUp();
        StoreString(kRoot, u"1", u"NORV");
        monitor.Start();
        monitor.Ports();  // EnumPorts keeps its packed answer from here on
        const size_t blocks = win32layer::LiveHeapBlocks();

        win32layer::FailCall(c.api, c.nth);
        EXPECT_EQ(AddEx(u"C:\\Out\\Scans"), c.error);
        EXPECT_EQ(monitor.Ports(), Names{u"NORV"});
        EXPECT_EQ(StoredPorts(), Names{u"NORV"});
        EXPECT_EQ(win32layer::LiveHeapBlocks(), blocks);
        EXPECT_EQ(win32layer::OpenKeyCount(), 0u);
        ExpectNoWindowAndNoLockedSpoolerCall();

        // Once the machine is healthy the same call succeeds.
        EXPECT_EQ(AddEx(u"C:\\Out\\Scans"), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(StoredPorts(), (Names{u"NORV", u"C:\\Out\\Scans\\"}));
        monitor.Detach();
    }
}

// Two programs add the same folder at once, both passing the spooler's check
// before either adds: the check under the lock adds it once.
TEST_F(PortAddTest, TwoAddsRacingForOneFolderAddItOnce) {
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        ResetMachine();
        SetUp();
        StoreString(kRoot, u"1", u"NORV");
        monitor.Start();
        win32layer::GateCalls(Api::EnumPortsW, 2, 2);  // the size query, then the listing

        DWORD results[2] = {};
        auto add = [this, &results](int i, std::u16string folder) {
            PORT_INFO_1W info = {W(folder)};
            results[i] = monitor.ops().pfnAddPortEx(nullptr, 1, reinterpret_cast<LPBYTE>(&info), nullptr)
                             ? DWORD(ERROR_SUCCESS)
                             : GetLastError();
            win32layer::LeaveGate(Api::EnumPortsW);
        };
        std::thread first(add, 0, u"C:\\Out\\Scans"), second(add, 1, u"c:\\out\\scans\\");
        first.join();
        second.join();

        std::vector<DWORD> outcome(results, results + 2);
        std::sort(outcome.begin(), outcome.end());
        EXPECT_EQ(outcome, (std::vector<DWORD>{ERROR_SUCCESS, ERROR_ALREADY_EXISTS}));
        EXPECT_EQ(monitor.Ports().size(), 2u);
        EXPECT_EQ(StoredPorts().size(), 2u);
        EXPECT_EQ(win32layer::EnumPortsCalls().size(), 4u);
        ExpectNoWindowAndNoLockedSpoolerCall();
        monitor.Detach();
    }
}

}  // namespace

namespace {

// After a start that could not read every stored port, the add reads the
// store again first: the ports it missed are kept, or nothing changes and the
// registry's error is the answer.
TEST_F(PortAddTest, IncompleteLoadIsCompletedBeforeTheAddOrRefusesIt) {
    for (bool readable : {false, true}) {
        SCOPED_TRACE(readable ? "store readable again" : "store still unreadable");
        ResetMachine();
        SetUp();
        StoreString(kRoot, u"1", u"D:\\A\\");
        StoreString(kRoot, u"2", u"D:\\B\\");
        StoreString(kRoot, u"3", u"NORV");
        win32layer::FailCall(Api::RegQueryValueExW, 2);
        monitor.Start();
        ASSERT_EQ(monitor.Ports(), (Names{u"NORV", u"D:\\A\\"}));
        const unsigned changes = win32layer::RegistryChangeCount();

        if (!readable) win32layer::FailEvery(Api::RegQueryValueExW, ERROR_ACCESS_DENIED);
        const DWORD error = AddEx(u"C:\\Out\\Scans");
        win32layer::ClearFaults();
        if (readable) {
            EXPECT_EQ(error, DWORD(ERROR_SUCCESS));
            EXPECT_EQ(StoredPorts(), (Names{u"D:\\A\\", u"D:\\B\\", u"NORV", u"C:\\Out\\Scans\\"}));
            EXPECT_EQ(monitor.Ports().front(), u"C:\\Out\\Scans\\");
        } else {
            EXPECT_EQ(error, DWORD(ERROR_ACCESS_DENIED));
            EXPECT_EQ(win32layer::RegistryChangeCount(), changes);
            EXPECT_EQ(monitor.Ports(), (Names{u"NORV", u"D:\\A\\"}));
        }
        ExpectNoWindowAndNoLockedSpoolerCall();
        monitor.Detach();
    }
}

}  // namespace
