// The port list's registry form: loading at initialisation and the rewrite
// after every change, seen through the module and the registry.
#include "control.h"
#include "harness.h"
#include "monitor/state.h"
#include "ports/port_store.h"

using namespace harness;
using win32layer::Api;
using Names = std::vector<std::u16string>;

namespace {

class PortStoreTest : public MonitorTest {
protected:
    // Saves the module's list under the lock, as every caller does.
    void Save() {
        EnterCriticalSection(&monitorLock);
        SavePorts(portList, registryRoot);
        LeaveCriticalSection(&monitorLock);
    }
    // What a fresh load of the key gives, head first.
    Names Reload() {
        monitor.Detach();
        monitor.Start();
        return monitor.Ports();
    }
};

TEST_F(PortStoreTest, LoadKeepsStoredOrderAndRewritesDefaultUnderItsOwnName) {
    StoreString(kRoot, u"1", u"D:\\A\\");
    StoreString(kRoot, u"2", u"norv");
    StoreString(kRoot, u"3", u"E:\\B\\");
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), (Names{u"E:\\B\\", u"NORV", u"D:\\A\\"}));
    // The default port is found by its directory too.
    EXPECT_EQ(monitor.Open(u"c:\\windows\\temp\\norv\\"), monitor.Open(u"NORV"));
    Save();
    EXPECT_EQ(StoredPorts(), (Names{u"D:\\A\\", u"NORV", u"E:\\B\\"}));
    auto value = win32layer::RegistryGetValue(kRoot, u"2");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, DWORD(REG_SZ));
    // Written with its terminator: 2 x (4 + 1) bytes.
    EXPECT_EQ(value->data.size(), 10u);
}

TEST_F(PortStoreTest, OtherValuesUnderTheKeyAreLeftAlone) {
    StoreString(kRoot, u"1", u"NORV");
    StoreString(kRoot, u"Driver", u"norvmon.dll");
    StoreString(kRoot, u"0", u"X:\\");
    monitor.Start();
    Save();
    auto values = StoredValues(kRoot);
    EXPECT_EQ(values.size(), 3u);
    EXPECT_TRUE(HasValue(kRoot, u"Driver"));
    EXPECT_TRUE(HasValue(kRoot, u"0"));
    EXPECT_EQ(monitor.Ports(), Names{u"NORV"});
}

TEST_F(PortStoreTest, GapEndsLoadingAndSavingNeverResurrectsWhatLiesBeyond) {
    StoreString(kRoot, u"1", u"NORV");
    StoreString(kRoot, u"2", u"D:\\A\\");
    StoreString(kRoot, u"4", u"Z:\\Stale\\");
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), (Names{u"D:\\A\\", u"NORV"}));
    // Three ports are saved over values 1, 2 and the stale 4: value 4 goes.
    EnterCriticalSection(&monitorLock);
    portList->Insert(u"E:\\B\\", false);
    LeaveCriticalSection(&monitorLock);
    Save();
    EXPECT_EQ(StoredPorts(), (Names{u"NORV", u"D:\\A\\", u"E:\\B\\"}));
    EXPECT_FALSE(HasValue(kRoot, u"4"));
    EXPECT_EQ(Reload(), (Names{u"E:\\B\\", u"D:\\A\\", u"NORV"}));
}

TEST_F(PortStoreTest, ShrinkingListDeletesEveryValuePastItsEnd) {
    for (int i = 1; i <= 5; ++i)
        StoreString(kRoot, std::u16string(1, char16_t(u'0' + i)), u"D:\\P" + std::u16string(1, char16_t(u'0' + i)) + u"\\");
    monitor.Start();  // six ports, the default on top
    EnterCriticalSection(&monitorLock);
    for (int i = 1; i <= 4; ++i) portList->Remove((u"D:\\P" + std::u16string(1, char16_t(u'0' + i)) + u"\\").c_str());
    LeaveCriticalSection(&monitorLock);
    Save();
    EXPECT_EQ(StoredPorts(), (Names{u"D:\\P5\\", u"NORV"}));
    EXPECT_EQ(StoredValues(kRoot).size(), 2u);
}

TEST_F(PortStoreTest, SavingAnEmptyListClearsTheNumberedValues) {
    StoreString(kRoot, u"1", u"NORV");
    StoreString(kRoot, u"2", u"D:\\A\\");
    StoreString(kRoot, u"Keep", u"x");
    monitor.Start();
    EnterCriticalSection(&monitorLock);
    portList->Remove(u"NORV");
    portList->Remove(u"D:\\A\\");
    LeaveCriticalSection(&monitorLock);
    Save();
    EXPECT_EQ(StoredValues(kRoot).size(), 1u);
    EXPECT_TRUE(HasValue(kRoot, u"Keep"));
}

TEST_F(PortStoreTest, ValuesWithoutTerminatorOrWithOddLengthLoad) {
    StoreString(kRoot, u"1", u"D:\\NoNul\\", false);
    // An odd byte count: the stray byte is ignored.
    std::u16string odd = u"E:\\Odd\\";
    std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(odd.data()),
                               reinterpret_cast<const uint8_t*>(odd.data()) + odd.size() * 2);
    bytes.push_back('x');
    StoreValue(kRoot, u"2", REG_SZ, bytes.data(), bytes.size());
    StoreString(kRoot, u"3", u"NORV");
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), (Names{u"NORV", u"E:\\Odd\\", u"D:\\NoNul\\"}));
}

TEST_F(PortStoreTest, NamesAtTheBufferLimit) {
    // 259 units with a terminator fill the 520-byte buffer exactly; 260 units
    // without one fill it too and lose their last unit; 260 with a terminator
    // do not fit, and loading stops there.
    std::u16string fits(258, u'a');
    fits += u'\\';
    std::u16string exact(259, u'b');
    exact += u'\\';
    StoreString(kRoot, u"1", fits);
    StoreString(kRoot, u"2", exact, false);
    StoreString(kRoot, u"3", exact);
    StoreString(kRoot, u"4", u"D:\\After\\");
    monitor.Start();
    Names ports = monitor.Ports();
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0], u"NORV");
    EXPECT_EQ(ports[1], exact.substr(0, 259));
    EXPECT_EQ(ports[2], fits);
}

TEST_F(PortStoreTest, EmptyValuesAreSkippedNotTurnedIntoPorts) {
    StoreString(kRoot, u"1", u"");
    StoreString(kRoot, u"2", u"D:\\A\\");
    StoreValue(kRoot, u"3", REG_SZ, "", 0);
    StoreString(kRoot, u"4", u"NORV");
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), (Names{u"NORV", u"D:\\A\\"}));
}

TEST_F(PortStoreTest, InvariantSavedListLoadsBackExactly) {
    const std::vector<Names> lists = {
        {u"NORV"},
        {u"D:\\A\\", u"NORV", u"e:\\b\\"},
        {u"D:\\A\\", u"D:\\A\\", u"NORV", u"X:\\"},
    };
    for (const auto& list : lists) {
        ResetMachine();
        StoreString(kRoot, u"7", u"Q:\\Old\\");  // beyond a gap: never loads
        for (unsigned i = 0; i < list.size(); ++i)
            StoreString(kRoot, std::u16string(1, char16_t(u'1' + i)), list[i]);
        monitor.Start();
        Names loaded = monitor.Ports();
        Save();
        EXPECT_EQ(Reload(), loaded);
        monitor.Detach();
    }
}

// A save stopped by a failed write, or a hand edit, can leave one port under
// two values: it is listed once, from the lower value, and saved once.
TEST_F(PortStoreTest, NameStoredTwiceIsListedAndSavedOnce) {
    StoreString(kRoot, u"1", u"D:\\Scans\\");
    StoreString(kRoot, u"2", u"norv");
    StoreString(kRoot, u"3", u"d:\\SCANS\\");
    StoreString(kRoot, u"4", u"NORV");
    StoreString(kRoot, u"5", u"E:\\");
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), (Names{u"E:\\", u"NORV", u"D:\\Scans\\"}));
    Save();
    EXPECT_EQ(StoredPorts(), (Names{u"D:\\Scans\\", u"NORV", u"E:\\"}));
    EXPECT_EQ(StoredValues(kRoot).size(), 3u);
}

// ---- Registry failures ----

TEST_F(PortStoreTest, UnopenableKeyLoadsNothingAndSavesNothing) {
    StoreString(kRoot, u"1", u"D:\\A\\");
    win32layer::FailEvery(Api::RegOpenKeyExW);
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), Names{u"NORV"});
    EXPECT_EQ(StoredPorts(), Names{u"D:\\A\\"});
    EXPECT_EQ(win32layer::RegistryChangeCount(), 0u);
}

TEST_F(PortStoreTest, FailedReadEndsLoadingAndKeepsWhatWasRead) {
    StoreString(kRoot, u"1", u"NORV");
    StoreString(kRoot, u"2", u"D:\\A\\");
    StoreString(kRoot, u"3", u"E:\\B\\");
    win32layer::FailCall(Api::RegQueryValueExW, 3, ERROR_MORE_DATA);
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), (Names{u"D:\\A\\", u"NORV"}));
    EXPECT_EQ(win32layer::OpenKeyCount(), 0u);
}

TEST_F(PortStoreTest, FailedWriteLosesNoStoredPort) {
    StoreString(kRoot, u"1", u"NORV");
    StoreString(kRoot, u"2", u"D:\\A\\");
    monitor.Start();
    EnterCriticalSection(&monitorLock);
    portList->Insert(u"E:\\B\\", false);
    LeaveCriticalSection(&monitorLock);
    for (unsigned k = 1; k <= 3; ++k) {
        SCOPED_TRACE(k);
        win32layer::FailCall(Api::RegSetValueExW, k);
        Save();
        // Every port that was stored is still stored under some number.
        Names stored = StoredPorts();
        for (const auto& name : {u"NORV", u"D:\\A\\"})
            EXPECT_NE(std::find(stored.begin(), stored.end(), name), stored.end()) << U8(name);
        EXPECT_EQ(win32layer::OpenKeyCount(), 0u);
    }
    Save();
    EXPECT_EQ(StoredPorts(), (Names{u"NORV", u"D:\\A\\", u"E:\\B\\"}));
}

TEST_F(PortStoreTest, FailedDeleteOrCloseLeavesTheSavedPortsIntact) {
    for (int i = 1; i <= 4; ++i) StoreString(kRoot, std::u16string(1, char16_t(u'0' + i)), u"D:\\" + std::u16string(1, char16_t(u'0' + i)) + u"\\");
    monitor.Start();
    EnterCriticalSection(&monitorLock);
    portList->Remove(u"D:\\1\\");
    portList->Remove(u"D:\\2\\");
    LeaveCriticalSection(&monitorLock);
    win32layer::FailCall(Api::RegDeleteValueW);
    win32layer::FailCall(Api::RegCloseKey);
    Save();
    Names stored = StoredPorts();
    ASSERT_GE(stored.size(), 3u);
    EXPECT_EQ(Names(stored.begin(), stored.begin() + 3), (Names{u"D:\\3\\", u"D:\\4\\", u"NORV"}));
}

}  // namespace
