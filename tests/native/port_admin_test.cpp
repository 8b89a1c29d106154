// Adding, configuring and deleting ports as a user does from a printer's port
// page: the folder browser, the duplicate check through the spooler, the
// message boxes and the registry afterwards.
#include <functional>
#include <thread>

#include "control.h"
#include "harness.h"
#include "monitor/exports.h"
#include "shell_control.h"

#include <shlobj.h>

using namespace harness;
using win32layer::AllocatorEvent;
using win32layer::Api;
using Names = std::vector<std::u16string>;

namespace {

const std::u16string kTakenText =
    u"The port cannot be added, because there\nis another one with the same name.";
const std::u16string kTakenCaption = u"Port already exists";

// A folder path of exactly `units` UTF-16 units, without a trailing backslash.
std::u16string PathOfLength(size_t units) {
    std::u16string path = u"D:\\";
    while (path.size() < units) path += u'a';
    return path;
}

class PortAdminTest : public MonitorTest {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
        itemListsBefore = win32layer::LiveItemLists();
    }

    void Add() { EXPECT_TRUE(monitor.ops().pfnAddPort(nullptr, owner, W(u"NORV Monitor"))); }
    void Delete(const std::u16string& name) {
        EXPECT_TRUE(monitor.ops().pfnDeletePort(nullptr, owner, W(name)));
    }

    // The one message box shown since the last check, shown as the product
    // shows all of them: OK only, owned by the caller's window, no lock held.
    void ExpectOneBox(const std::u16string& text, const std::u16string& caption) {
        auto boxes = win32layer::MessageBoxes();
        win32layer::ClearMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(U8(boxes[0].text), U8(text));
        EXPECT_EQ(U8(boxes[0].caption), U8(caption));
        EXPECT_EQ(boxes[0].type, UINT(MB_OK));
        EXPECT_EQ(boxes[0].owner, owner);
        EXPECT_FALSE(boxes[0].lockHeld);
    }
    void ExpectNoBox() { EXPECT_TRUE(win32layer::MessageBoxes().empty()); }

    // The browser's item list went back through the allocator, Free then
    // Release, and nothing else was done with it.
    void ExpectItemListFreed() {
        EXPECT_EQ(win32layer::AllocatorEvents(),
                  (std::vector<AllocatorEvent>{AllocatorEvent::GetMalloc, AllocatorEvent::Free,
                                               AllocatorEvent::Release}));
        ExpectNoItemListLeft();
    }
    void ExpectNoItemListLeft() {
        EXPECT_EQ(win32layer::LiveItemLists(), itemListsBefore);
        EXPECT_EQ(win32layer::AllocatorReferences(), 0);
        EXPECT_EQ(win32layer::AllocatorMisuses(), 0u);
    }

    // Every call of the spooler's EnumPortsW was a level-1 query of the local
    // machine made without the monitor's lock.
    void ExpectSpoolerAskedWithoutLock() {
        for (const auto& call : win32layer::EnumPortsCalls()) {
            EXPECT_FALSE(call.serverNamed);
            EXPECT_EQ(call.level, 1u);
            EXPECT_FALSE(call.lockHeld);
        }
    }

    const HWND owner = reinterpret_cast<HWND>(0x4711);
    size_t itemListsBefore = 0;
};

// ---- Adding ----

TEST_F(PortAdminTest, AddedFolderGetsBackslashComesFirstAndIsStoredOnTop) {
    StoreString(kRoot, u"1", u"D:\\A\\");
    monitor.Start();
    ASSERT_EQ(monitor.Ports(), (Names{u"NORV", u"D:\\A\\"}));

    win32layer::ChooseFolder(u"D:\\Scans");
    Add();

    EXPECT_EQ(monitor.Ports(), (Names{u"D:\\Scans\\", u"NORV", u"D:\\A\\"}));
    EXPECT_EQ(StoredPorts(), (Names{u"D:\\A\\", u"NORV", u"D:\\Scans\\"}));
    ExpectNoBox();
    ExpectItemListFreed();

    // The folder browser as the user sees it.
    auto browsers = win32layer::FolderBrowserCalls();
    ASSERT_EQ(browsers.size(), 1u);
    EXPECT_EQ(browsers[0].owner, owner);
    EXPECT_FALSE(browsers[0].hasRoot);
    EXPECT_TRUE(browsers[0].hasTitle);
    EXPECT_EQ(U8(browsers[0].title), "Please select output-directory:");
    EXPECT_EQ(browsers[0].flags, UINT(BIF_RETURNONLYFSDIRS));
    EXPECT_FALSE(browsers[0].hasCallback);
    EXPECT_TRUE(browsers[0].hasDisplayNameBuffer);
    EXPECT_FALSE(browsers[0].lockHeld);

    // The check went through the spooler, size first, and the spooler asked
    // this monitor (initialising it again each time) for its own ports.
    auto calls = win32layer::EnumPortsCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_FALSE(calls[0].bufferGiven);
    EXPECT_EQ(calls[0].bufferBytes, 0u);
    EXPECT_TRUE(calls[1].bufferGiven);
    ExpectSpoolerAskedWithoutLock();
    EXPECT_EQ(win32layer::SpoolerMonitorInitializations(), 2u);

    // The spooler's library stays loaded until the module goes.
    EXPECT_EQ(win32layer::SpoolerLoads(), 1u);
    EXPECT_EQ(win32layer::SpoolerReferences(), 1);
    monitor.Detach();
    EXPECT_EQ(win32layer::SpoolerReferences(), 0);
    EXPECT_EQ(win32layer::SpoolerFrees(), 1u);
}

TEST_F(PortAdminTest, DriveRootIsAddedUnchangedAndLibraryIsLoadedOnce) {
    CreateKey(kRoot);
    monitor.Start();
    win32layer::ChooseFolder(u"E:\\");
    Add();
    win32layer::ChooseFolder(u"D:\\Scans");
    Add();
    EXPECT_EQ(monitor.Ports(), (Names{u"D:\\Scans\\", u"E:\\", u"NORV"}));
    EXPECT_EQ(StoredPorts(), (Names{u"NORV", u"E:\\", u"D:\\Scans\\"}));
    ExpectNoBox();
    EXPECT_EQ(win32layer::SpoolerLoads(), 1u);
    EXPECT_EQ(win32layer::SpoolerReferences(), 1);
    ExpectNoItemListLeft();
}

// Names already taken anywhere in the spooler, in any letter case: the box,
// and neither the list nor the registry changes.
TEST_F(PortAdminTest, TakenNamesAreRefused) {
    struct Case {
        const char* what;
        std::u16string folder;
    };
    const Case cases[] = {
        {"own port, other case", u"d:\\SCANS"},
        {"own port, same case", u"D:\\Scans"},
        {"another monitor's port", u"c:\\output"},
        // Listed by the spooler as "NORV" only, so the list itself must catch it.
        {"the default port's directory", u"C:\\Windows\\Temp\\NORV"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetMachine();
        win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
        win32layer::SetOtherPorts({u"LPT1:", u"COM1:", u"FILE:", u"C:\\Output\\"});
        StoreString(kRoot, u"1", u"D:\\Scans\\");
        StoreString(kRoot, u"2", u"NORV");
        monitor.Start();
        unsigned changes = win32layer::RegistryChangeCount();

        win32layer::ChooseFolder(c.folder);
        Add();

        ExpectOneBox(kTakenText, kTakenCaption);
        EXPECT_EQ(monitor.Ports(), (Names{u"NORV", u"D:\\Scans\\"}));
        EXPECT_EQ(win32layer::RegistryChangeCount(), changes);
        EXPECT_EQ(StoredPorts(), (Names{u"D:\\Scans\\", u"NORV"}));
        ExpectItemListFreed();
        ExpectSpoolerAskedWithoutLock();
        monitor.Detach();
    }
}

// Case beyond A-Z, with the system's comparison and with the fallback a
// system without CompareStringOrdinal gets: the folder is taken, and deleting
// by another spelling removes the port.
TEST_F(PortAdminTest, NamesDifferingInCaseBeyondAsciiAreOnePort) {
    for (bool withCompareStringOrdinal : {true, false}) {
        SCOPED_TRACE(withCompareStringOrdinal ? "CompareStringOrdinal" : "CharUpperBuffW");
        ResetMachine();
        win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
        StoreString(kRoot, u"1", u"C:\\ÄRZTE\\");
        if (!withCompareStringOrdinal) win32layer::FailEvery(Api::GetProcAddress);
        monitor.Start();
        win32layer::ClearFaults();

        win32layer::ChooseFolder(u"c:\\ärzte");
        Add();
        ExpectOneBox(kTakenText, kTakenCaption);
        win32layer::ChooseFolder(u"C:\\ARZTE");
        Add();
        ExpectNoBox();

        Delete(u"c:\\Ärzte\\");
        win32layer::ClearMessageBoxes();
        EXPECT_EQ(monitor.Ports(), (Names{u"C:\\ARZTE\\", u"NORV"}));
        EXPECT_EQ(StoredPorts(), (Names{u"NORV", u"C:\\ARZTE\\"}));
        monitor.Detach();
    }
}

TEST_F(PortAdminTest, OtherMonitorsPortsDoNotHideFreeNames) {
    win32layer::SetOtherPorts({u"LPT1:", u"COM1:", u"FILE:", u"C:\\Output\\"});
    CreateKey(kRoot);
    monitor.Start();
    win32layer::ChooseFolder(u"C:\\Output\\Sub");
    Add();
    ExpectNoBox();
    EXPECT_EQ(monitor.Ports(), (Names{u"C:\\Output\\Sub\\", u"NORV"}));
}

// Cancelling, and a browser that cannot open, change nothing and leave the
// spooler alone.
TEST_F(PortAdminTest, CancelledOrFailedBrowserChangesNothing) {
    StoreString(kRoot, u"1", u"NORV");
    monitor.Start();
    unsigned changes = win32layer::RegistryChangeCount();

    win32layer::CancelFolderBrowser();
    Add();
    Add();  // no answer scripted: the user closes the browser
    win32layer::ChooseFolder(u"D:\\Scans");
    win32layer::FailCall(Api::SHBrowseForFolderW);
    Add();

    EXPECT_EQ(win32layer::FolderBrowserCalls().size(), 3u);
    ExpectNoBox();
    EXPECT_EQ(monitor.Ports(), Names{u"NORV"});
    EXPECT_EQ(win32layer::RegistryChangeCount(), changes);
    EXPECT_TRUE(win32layer::EnumPortsCalls().empty());
    EXPECT_EQ(win32layer::SpoolerLoads(), 0u);
    EXPECT_TRUE(win32layer::AllocatorEvents().empty());
    ExpectNoItemListLeft();
}

// The check fails closed: whatever step of it fails, the user is told the
// name is taken and nothing is added.
TEST_F(PortAdminTest, EveryFailureOfTheSpoolerCheckRefusesThePort) {
    struct Case {
        const char* what;
        Api api;
        unsigned nth;
        DWORD error;
    };
    const Case cases[] = {
        {"library not loaded", Api::LoadLibraryW, 1, 0},
        {"EnumPortsW not found", Api::GetProcAddress, 1, 0},
        {"size query fails", Api::EnumPortsW, 1, 0},
        {"size query denied", Api::EnumPortsW, 1, ERROR_ACCESS_DENIED},
        {"listing fails", Api::EnumPortsW, 2, 0},
        {"no memory for the answer", Api::HeapAlloc, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetMachine();
        win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
        StoreString(kRoot, u"1", u"NORV");
        monitor.Start();
        monitor.Ports();  // EnumPorts keeps its packed answer from here on
        size_t blocks = win32layer::LiveHeapBlocks();
        unsigned changes = win32layer::RegistryChangeCount();

        win32layer::ChooseFolder(u"D:\\Scans");
        win32layer::FailCall(c.api, c.nth, c.error);
        Add();

        ExpectOneBox(kTakenText, kTakenCaption);
        EXPECT_EQ(monitor.Ports(), Names{u"NORV"});
        EXPECT_EQ(win32layer::RegistryChangeCount(), changes);
        EXPECT_EQ(win32layer::LiveHeapBlocks(), blocks);
        ExpectItemListFreed();
        ExpectSpoolerAskedWithoutLock();
        // A library without the function is not kept.
        if (c.api == Api::GetProcAddress) {
            EXPECT_EQ(win32layer::SpoolerReferences(), 0);
        }

        // The next try, with the spooler healthy, adds the port.
        win32layer::ChooseFolder(u"D:\\Scans");
        Add();
        ExpectNoBox();
        EXPECT_EQ(monitor.Ports(), (Names{u"D:\\Scans\\", u"NORV"}));
        EXPECT_EQ(StoredPorts(), (Names{u"NORV", u"D:\\Scans\\"}));
        EXPECT_EQ(win32layer::SpoolerReferences(), 1);
        monitor.Detach();
        EXPECT_EQ(win32layer::SpoolerReferences(), 0);
    }
}

TEST_F(PortAdminTest, NoMemoryForTheNewPortKeepsListAndStore) {
    StoreString(kRoot, u"1", u"NORV");
    monitor.Start();
    monitor.Ports();  // EnumPorts keeps its packed answer from here on
    win32layer::ChooseFolder(u"D:\\Scans");
    // The first allocation holds the spooler's answer, the second the record.
    win32layer::FailCall(Api::HeapAlloc, 2);
    Add();
    ExpectOneBox(u"The port could not be added: not enough memory.", u"Error");
    EXPECT_EQ(monitor.Ports(), Names{u"NORV"});
    EXPECT_EQ(StoredPorts(), Names{u"NORV"});
}

// Folders that cannot become a port: refused with a box, nothing added, and
// the item list freed all the same.
TEST_F(PortAdminTest, FoldersWithoutUsablePathAreRefused) {
    struct Case {
        const char* what;
        std::u16string path;  // empty: a folder with no file-system path
        Api fail;
        const char* text;
    };
    const char* kNoPath =
        "The selected folder is not a folder of the file system.\n\nPlease select a folder on a "
        "drive.";
    const char* kTooLong =
        "The path of the selected folder is too long for a port.\n\nPlease select a folder "
        "with a shorter path.";
    const Case cases[] = {
        {"no file-system path", u"", Api::Count, kNoPath},
        {"path look-up fails", u"D:\\Scans", Api::SHGetPathFromIDListW, kNoPath},
        {"259 units, no room for the backslash", PathOfLength(259), Api::Count, kTooLong},
        // The shell returns no path that does not fit MAX_PATH.
        {"260 units", PathOfLength(260), Api::Count, kNoPath},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetMachine();
        win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
        StoreString(kRoot, u"1", u"NORV");
        monitor.Start();
        unsigned changes = win32layer::RegistryChangeCount();

        if (c.path.empty()) win32layer::ChooseFolderWithoutPath(u"Network");
        else win32layer::ChooseFolder(c.path);
        if (c.fail != Api::Count) win32layer::FailCall(c.fail);
        Add();

        ExpectOneBox(win32layer::U16(c.text), u"Port not added");
        EXPECT_EQ(monitor.Ports(), Names{u"NORV"});
        EXPECT_EQ(win32layer::RegistryChangeCount(), changes);
        EXPECT_TRUE(win32layer::EnumPortsCalls().empty());
        ExpectItemListFreed();
        monitor.Detach();
    }
}

TEST_F(PortAdminTest, LongestPathThatTakesTheBackslashIsAdded) {
    CreateKey(kRoot);
    monitor.Start();
    const std::u16string path = PathOfLength(258);
    win32layer::ChooseFolder(path);
    Add();
    ExpectNoBox();
    EXPECT_EQ(monitor.Ports(), (Names{path + u"\\", u"NORV"}));
    EXPECT_EQ(StoredPorts(), (Names{u"NORV", path + u"\\"}));
    HANDLE handle = monitor.Open(path + u"\\");
    EXPECT_NE(handle, nullptr);
}

// Without the shell's allocator the item list goes back through the task
// allocator's own free, which is the same heap.
TEST_F(PortAdminTest, ItemListIsFreedWhenTheShellAllocatorIsUnavailable) {
    CreateKey(kRoot);
    monitor.Start();
    win32layer::ChooseFolder(u"D:\\Scans");
    win32layer::FailCall(Api::SHGetMalloc);
    Add();
    EXPECT_EQ(win32layer::AllocatorEvents(),
              std::vector<AllocatorEvent>{AllocatorEvent::CoTaskMemFree});
    ExpectNoItemListLeft();
    EXPECT_EQ(monitor.Ports(), (Names{u"D:\\Scans\\", u"NORV"}));
}

// Two users add the same folder at once. Both pass the browser together and
// both ask the spooler before either adds, so only the check under the lock
// can keep the second out.
TEST_F(PortAdminTest, TwoAddsRacingForOneFolderAddItOnceAndLoadTheLibraryOnce) {
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        ResetMachine();
        win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
        StoreString(kRoot, u"1", u"NORV");
        monitor.Start();
        win32layer::ChooseFolder(u"D:\\Race");
        win32layer::ChooseFolder(u"d:\\race");
        win32layer::GateCalls(Api::SHBrowseForFolderW, 2);
        win32layer::GateCalls(Api::EnumPortsW, 2, 2);  // the size query, then the listing

        auto user = [this] {
            monitor.ops().pfnAddPort(nullptr, owner, W(u"NORV Monitor"));
            win32layer::LeaveGate(Api::SHBrowseForFolderW);
            win32layer::LeaveGate(Api::EnumPortsW);
        };
        std::thread first(user), second(user);
        first.join();
        second.join();

        EXPECT_EQ(monitor.Ports().size(), 2u);
        EXPECT_NE(monitor.Open(u"D:\\Race\\"), nullptr);
        EXPECT_EQ(StoredPorts().size(), 2u);
        ExpectOneBox(kTakenText, kTakenCaption);
        ExpectSpoolerAskedWithoutLock();
        EXPECT_EQ(win32layer::EnumPortsCalls().size(), 4u);
        EXPECT_EQ(win32layer::SpoolerLoads(), 1u);
        EXPECT_EQ(win32layer::SpoolerReferences(), 1);
        ExpectNoItemListLeft();
        for (const auto& browser : win32layer::FolderBrowserCalls()) EXPECT_FALSE(browser.lockHeld);

        monitor.Detach();
        EXPECT_EQ(win32layer::SpoolerReferences(), 0);
    }
}

// ---- Configuring ----

TEST_F(PortAdminTest, ConfiguringOnlyTellsTheUserItCannotBeDone) {
    StoreString(kRoot, u"1", u"NORV");
    monitor.Start();
    unsigned changes = win32layer::RegistryChangeCount();
    for (const char16_t* port : {u"NORV", u"D:\\Nowhere\\"}) {
        EXPECT_TRUE(monitor.ops().pfnConfigurePort(nullptr, owner, W(port)));
        ExpectOneBox(u"This port cannot be configured.\n\nTo change the output-directory, add a new one.",
                     u"NORV Monitor");
    }
    EXPECT_EQ(monitor.Ports(), Names{u"NORV"});
    EXPECT_EQ(win32layer::RegistryChangeCount(), changes);
    EXPECT_TRUE(win32layer::FolderBrowserCalls().empty());
}

// ---- Deleting ----

TEST_F(PortAdminTest, DeletingTheDefaultPortRewritesTheStore) {
    StoreString(kRoot, u"1", u"D:\\A\\");
    StoreString(kRoot, u"2", u"NORV");
    StoreString(kRoot, u"Other", u"kept");
    monitor.Start();

    Delete(u"NORV");

    ExpectOneBox(u"Port \"NORV\" successfully removed.", u"Port removed");
    EXPECT_EQ(monitor.Ports(), Names{u"D:\\A\\"});
    EXPECT_EQ(StoredPorts(), Names{u"D:\\A\\"});
    EXPECT_FALSE(HasValue(kRoot, u"2"));
    EXPECT_TRUE(HasValue(kRoot, u"Other"));

    // The next start brings it back.
    monitor.Detach();
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), (Names{u"NORV", u"D:\\A\\"}));
}

TEST_F(PortAdminTest, DeletedPortIsNamedAsTheUserGaveIt) {
    StoreString(kRoot, u"1", u"D:\\Scans\\");
    StoreString(kRoot, u"2", u"E:\\");
    StoreString(kRoot, u"3", u"NORV");
    monitor.Start();
    Delete(u"d:\\scans\\");
    ExpectOneBox(u"Port \"d:\\scans\\\" successfully removed.", u"Port removed");
    EXPECT_EQ(monitor.Ports(), (Names{u"NORV", u"E:\\"}));
    EXPECT_EQ(StoredPorts(), (Names{u"E:\\", u"NORV"}));
    EXPECT_FALSE(HasValue(kRoot, u"3"));
}

TEST_F(PortAdminTest, DeletingAnUnknownPortLeavesEverythingAlone) {
    StoreString(kRoot, u"1", u"D:\\A\\");
    StoreString(kRoot, u"2", u"NORV");
    monitor.Start();
    unsigned changes = win32layer::RegistryChangeCount();
    for (const char16_t* name : {u"D:\\B\\", u"D:\\A", u"", u"LPT1:"}) {
        SCOPED_TRACE(U8(name));
        Delete(name);
        ExpectOneBox(u"An unknown error has occurred\n\nCouldn't remove the port.", u"Error");
    }
    EXPECT_EQ(monitor.Ports(), (Names{u"NORV", u"D:\\A\\"}));
    EXPECT_EQ(win32layer::RegistryChangeCount(), changes);
}

// The spooler still holds the handle of a port the user deletes: the port
// leaves the list and the store, and the handle keeps working until the
// spooler lets go of it (run under native-asan to see no freed memory is used).
TEST_F(PortAdminTest, DeletingAnOpenPortKeepsItsHandleUsable) {
    size_t blocks = win32layer::LiveHeapBlocks();
    StoreString(kRoot, u"1", u"D:\\Scans\\");
    StoreString(kRoot, u"2", u"NORV");
    monitor.Start();
    HANDLE handle = monitor.Open(u"D:\\Scans\\");
    ASSERT_NE(handle, nullptr);
    const MONITOR& ops = monitor.ops();
    std::u16string document = u"Report.doc";
    DOC_INFO_1W doc = {W(document), nullptr, nullptr};
    ASSERT_TRUE(ops.pfnStartDocPort(handle, W(u"Printer"), 12, 1, reinterpret_cast<LPBYTE>(&doc)));

    Delete(u"D:\\Scans\\");
    ExpectOneBox(u"Port \"D:\\Scans\\\" successfully removed.", u"Port removed");
    EXPECT_EQ(monitor.Ports(), Names{u"NORV"});
    EXPECT_EQ(StoredPorts(), Names{u"NORV"});
    EXPECT_EQ(monitor.Open(u"D:\\Scans\\"), nullptr);

    // The document in progress ends and another one runs on the same handle.
    BYTE data[16] = {};
    DWORD written = 0;
    EXPECT_TRUE(ops.pfnWritePort(handle, data, sizeof(data), &written));
    EXPECT_TRUE(ops.pfnEndDocPort(handle));
    EXPECT_TRUE(ops.pfnStartDocPort(handle, W(u"Printer"), 13, 1, reinterpret_cast<LPBYTE>(&doc)));
    EXPECT_TRUE(ops.pfnEndDocPort(handle));
    EXPECT_TRUE(ops.pfnClosePort(handle));

    // Adding the folder again makes a new port beside the retired one.
    win32layer::ChooseFolder(u"D:\\Scans");
    Add();
    ExpectNoBox();
    HANDLE again = monitor.Open(u"D:\\Scans\\");
    EXPECT_NE(again, nullptr);
    EXPECT_NE(again, handle);
    EXPECT_TRUE(ops.pfnClosePort(handle));

    monitor.Detach();
    EXPECT_EQ(win32layer::LiveHeapBlocks(), blocks);
}

// ---- After a load that missed stored ports ----

const std::u16string kUnreadText = u"The list of ports could not be read.\n\nNothing was changed.";

// The start reads values 1 and 2 and misses the rest. A change reads the store
// again first: the missed ports rejoin the list at their stored places, the
// ports already listed keep their handles, and the save keeps every port.
TEST_F(PortAdminTest, ChangeAfterAnIncompleteLoadKeepsEveryStoredPort) {
    struct Case {
        const char* what;
        Names stored;  // value 1 first
        std::u16string added;    // the folder added, or
        std::u16string deleted;  // the port deleted
        Names listed;            // head first
    };
    const Case cases[] = {
        {"add", {u"D:\\A\\", u"NORV", u"D:\\B\\", u"D:\\C\\"},
         u"D:\\New", u"",
         {u"D:\\New\\", u"D:\\C\\", u"D:\\B\\", u"NORV", u"D:\\A\\"}},
        {"delete a missed port", {u"D:\\A\\", u"NORV", u"D:\\B\\", u"D:\\C\\"},
         u"", u"d:\\b\\",
         {u"D:\\C\\", u"NORV", u"D:\\A\\"}},
        // The default port, listed at the start but not stored, stays on top.
        {"add without a stored default port", {u"D:\\A\\", u"D:\\B\\", u"D:\\C\\"},
         u"D:\\New", u"",
         {u"D:\\New\\", u"NORV", u"D:\\C\\", u"D:\\B\\", u"D:\\A\\"}},
        // A port named as the default port's directory is its own stored value:
        // the default port, found by that name too, must not take its place.
        {"add with a port on the default port's directory",
         {u"C:\\WINDOWS\\TEMP\\NORV\\", u"D:\\B\\", u"D:\\C\\"}, u"D:\\New", u"",
         {u"D:\\New\\", u"NORV", u"D:\\C\\", u"D:\\B\\", u"C:\\WINDOWS\\TEMP\\NORV\\"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetMachine();
        win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
        for (size_t i = 0; i < c.stored.size(); ++i)
            StoreString(kRoot, win32layer::U16(std::to_string(i + 1)), c.stored[i]);
        win32layer::FailCall(Api::RegQueryValueExW, 3, ERROR_ACCESS_DENIED);
        monitor.Start();
        ASSERT_EQ(monitor.Ports().size(), 2u + (c.stored[1] != u"NORV"));
        HANDLE first = monitor.Open(c.stored[0]);

        if (!c.added.empty()) {
            win32layer::ChooseFolder(c.added);
            Add();
            ExpectNoBox();
        } else {
            Delete(c.deleted);
            ExpectOneBox(u"Port \"" + c.deleted + u"\" successfully removed.", u"Port removed");
        }
        EXPECT_EQ(monitor.Ports(), c.listed);
        EXPECT_EQ(StoredPorts(), Names(c.listed.rbegin(), c.listed.rend()));
        EXPECT_EQ(monitor.Open(c.stored[0]), first);
        monitor.Detach();
    }
}

// When the store still cannot be read, nothing changes and the user is told;
// once it can, the same change goes through.
TEST_F(PortAdminTest, StoreThatStillCannotBeReadRefusesTheChange) {
    struct Case {
        const char* what;
        std::function<void()> fault;
        bool add;
    };
    const Case cases[] = {
        {"add, key cannot be opened", [] { win32layer::FailCall(Api::RegOpenKeyExW); }, true},
        {"add, value cannot be read",
         [] { win32layer::FailCall(Api::RegQueryValueExW, 2, ERROR_ACCESS_DENIED); }, true},
        // After the spooler's answer: the list of the store's ports, then a record.
        {"add, no memory for the list", [] { win32layer::FailCall(Api::HeapAlloc, 2); }, true},
        {"add, no memory for a record", [] { win32layer::FailCall(Api::HeapAlloc, 3); }, true},
        {"delete, key cannot be opened", [] { win32layer::FailCall(Api::RegOpenKeyExW); }, false},
        {"delete, value cannot be read",
         [] { win32layer::FailCall(Api::RegQueryValueExW, 3, ERROR_ACCESS_DENIED); }, false},
        {"delete, no memory for a record", [] { win32layer::FailCall(Api::HeapAlloc, 2); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetMachine();
        win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
        StoreString(kRoot, u"1", u"NORV");
        StoreString(kRoot, u"2", u"D:\\A\\");
        StoreString(kRoot, u"3", u"D:\\B\\");
        win32layer::FailCall(Api::RegQueryValueExW, 2, ERROR_ACCESS_DENIED);
        monitor.Start();
        const Names listed = monitor.Ports();
        ASSERT_EQ(listed, Names{u"NORV"});
        const size_t blocks = win32layer::LiveHeapBlocks();
        const unsigned changes = win32layer::RegistryChangeCount();
        auto change = [&] {
            if (c.add) {
                win32layer::ChooseFolder(u"D:\\New");
                Add();
            } else {
                Delete(u"NORV");
            }
        };

        c.fault();
        change();
        ExpectOneBox(kUnreadText, u"Error");
        EXPECT_EQ(monitor.Ports(), listed);
        EXPECT_EQ(win32layer::RegistryChangeCount(), changes);
        EXPECT_EQ(win32layer::LiveHeapBlocks(), blocks);
        EXPECT_EQ(win32layer::OpenKeyCount(), 0u);

        win32layer::ClearFaults();
        change();
        win32layer::ClearMessageBoxes();
        const Names after = monitor.Ports();
        EXPECT_EQ(after.size(), c.add ? 4u : 2u);
        EXPECT_EQ(StoredPorts(), Names(after.rbegin(), after.rend()));
        monitor.Detach();
    }
}

// A change the store refused is not made: the list stays as it was, and so
// does the store (values a delete moved before the failure are written back,
// or else the list is written whole), and the user is told. When the store
// cannot be brought back either, the user is told so, and the next change
// writes the store whole.
TEST_F(PortAdminTest, ChangeThatCouldNotBeSavedIsNotMade) {
    const std::u16string unsavedText = u"The port list could not be saved.\n\nNothing was changed.";
    const std::u16string inDoubtText =
        u"The port list could not be saved.\n\nThe list may not have been saved as shown.";
    struct Case {
        const char* what;
        Api api;
        unsigned nth;
        bool add;
        unsigned failedWriteBack;  // the RegSetValueExW call that fails too (a write-back or an undo), 0 for none
        unsigned frozenAfter = 0;  // value changes the registry takes before it refuses all, 0 for no limit
        bool storeUnlikeList = false;  // value 3 spelled "norv": the change writes the store whole
        bool inDoubt = false;          // the store could not be brought back either
    };
    const Case cases[] = {
        {"add, key cannot be opened for writing", Api::RegOpenKeyExW, 1, true, 0},
        {"add, the new port's value cannot be written", Api::RegSetValueExW, 1, true, 0},
        {"add, the value past the end cannot be cleared", Api::RegDeleteValueW, 1, true, 0},
        {"delete, key cannot be opened for writing", Api::RegOpenKeyExW, 1, false, 0},
        {"delete, the first moved port cannot be written", Api::RegSetValueExW, 1, false, 0},
        {"delete, the second moved port cannot be written", Api::RegSetValueExW, 2, false, 0},
        {"delete, the old last value cannot be deleted", Api::RegDeleteValueW, 1, false, 0},
        {"delete, neither the last value nor the writing back", Api::RegDeleteValueW, 1, false, 3},
        {"delete, nor the writing back, nor the whole list", Api::RegDeleteValueW, 1, false, 0, 2,
         false, true},
        {"add written whole, whose undo fails", Api::RegDeleteValueW, 1, true, 6, 0, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetMachine();
        win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
        StoreString(kRoot, u"1", u"D:\\A\\");
        StoreString(kRoot, u"2", u"D:\\B\\");
        StoreString(kRoot, u"3", c.storeUnlikeList ? u"norv" : u"NORV");
        StoreString(kRoot, u"4", u"E:\\C\\");
        monitor.Start();
        const Names listed = monitor.Ports();
        const auto stored = StoredValues(kRoot);
        win32layer::FailCall(c.api, c.nth);
        if (c.failedWriteBack) win32layer::FailCall(Api::RegSetValueExW, c.failedWriteBack);
        if (c.frozenAfter) win32layer::FreezeRegistryAfter(c.frozenAfter);
        const auto change = [&] {
            if (c.add) {
                win32layer::ChooseFolder(u"D:\\New");
                Add();
            } else {
                Delete(u"D:\\B\\");
            }
        };
        change();
        win32layer::ClearFaults();
        ExpectOneBox(c.inDoubt ? inDoubtText : unsavedText, u"Error");
        EXPECT_EQ(monitor.Ports(), listed);
        if (!c.inDoubt) {
            EXPECT_EQ(StoredValues(kRoot), stored);
        } else {
            EXPECT_NE(StoredPorts(), Names(listed.rbegin(), listed.rend()));  // the box is due
        }

        change();
        if (c.add) ExpectNoBox();
        else ExpectOneBox(u"Port \"D:\\B\\\" successfully removed.", u"Port removed");
        const Names after = monitor.Ports();
        EXPECT_EQ(after.size(), c.add ? 5u : 3u);
        EXPECT_EQ(StoredPorts(), Names(after.rbegin(), after.rend()));
        EXPECT_EQ(StoredValues(kRoot).size(), after.size());
        monitor.Detach();
    }
}

// ---- The spooler underneath ----

// What the monitor relies on in the spooler's library, as Windows does it.
TEST_F(PortAdminTest, SpoolerLibraryAnswersAsWindowsDoes) {
    monitor.Start();
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(W(u"winspool.drv")), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
    HMODULE module = LoadLibraryW(W(u"spoolss.DLL"));
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetProcAddress(module, "EnumPorts"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
    typedef BOOL(WINAPI * EnumProc)(LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);
    auto enumPorts = reinterpret_cast<EnumProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "EnumPortsW")));
    ASSERT_NE(enumPorts, nullptr);

    DWORD needed = 0, returned = 7;
    EXPECT_FALSE(enumPorts(nullptr, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(returned, 0u);
    // LPT1:, COM1:, FILE: and NORV, each a record and its terminated name.
    const DWORD expected = 4 * sizeof(PORT_INFO_1W) + 2 * (6 + 6 + 6 + 5);
    EXPECT_EQ(needed, expected);
    std::vector<BYTE> buffer(needed);
    EXPECT_FALSE(enumPorts(nullptr, 1, buffer.data(), needed - 1, &needed, &returned));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    ASSERT_TRUE(enumPorts(nullptr, 1, buffer.data(), needed, &needed, &returned));
    ASSERT_EQ(returned, 4u);
    auto* ports = reinterpret_cast<PORT_INFO_1W*>(buffer.data());
    Names names;
    for (DWORD i = 0; i < returned; ++i) {
        EXPECT_GE(reinterpret_cast<BYTE*>(ports[i].pName), buffer.data() + 4 * sizeof(PORT_INFO_1W));
        EXPECT_LT(reinterpret_cast<BYTE*>(ports[i].pName), buffer.data() + buffer.size());
        names.push_back(S(ports[i].pName));
    }
    EXPECT_EQ(names, (Names{u"LPT1:", u"COM1:", u"FILE:", u"NORV"}));
    EXPECT_EQ(win32layer::SpoolerMonitorInitializations(), 3u);
    EXPECT_FALSE(enumPorts(nullptr, 2, buffer.data(), needed, &needed, &returned));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));

    // A spooler with no ports at all answers the size query with success.
    win32layer::SetOtherPorts({});
    win32layer::SetSpoolerMonitor(nullptr, kRoot);
    needed = 1;
    EXPECT_TRUE(enumPorts(nullptr, 1, nullptr, 0, &needed, &returned));
    EXPECT_EQ(needed, 0u);
    EXPECT_EQ(returned, 0u);

    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_FALSE(FreeLibrary(module));
    EXPECT_EQ(GetProcAddress(module, "EnumPortsW"), nullptr);
}

}  // namespace

namespace {

// With its own default port deleted and no other monitor's ports, the spooler
// has no ports at all: the check answers with success and nothing is taken.
TEST_F(PortAdminTest, FolderCanBeAddedWhenTheSpoolerHasNoPortsAtAll) {
    win32layer::SetOtherPorts({});
    CreateKey(kRoot);
    monitor.Start();
    Delete(u"NORV");
    win32layer::ClearMessageBoxes();
    ASSERT_TRUE(monitor.Ports().empty());

    win32layer::ChooseFolder(u"D:\\Scans");
    Add();
    ExpectNoBox();
    EXPECT_EQ(monitor.Ports(), Names{u"D:\\Scans\\"});
    EXPECT_EQ(StoredPorts(), Names{u"D:\\Scans\\"});
}

}  // namespace
