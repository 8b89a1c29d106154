// What the monitor makes of the registry, through its exports only: the same
// expectations hold over our Win32 layer and over real Win32.
#include "harness.h"

using namespace harness;
using Names = std::vector<std::u16string>;

namespace {

class RegistryConformance : public MonitorTest {
protected:
    // DeletePort rewrites the stored list; its message box does not wait here.
    void DeleteThroughSpooler(const std::u16string& name) {
        EXPECT_TRUE(monitor.ops().pfnDeletePort(nullptr, nullptr, W(name)));
    }
};

TEST_F(RegistryConformance, EmptyKeyGetsTheDefaultPort) {
    CreateKey(kRoot);
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), Names{u"NORV"});
    EXPECT_EQ(StoredPorts(), Names{u"NORV"});
}

TEST_F(RegistryConformance, MissingKeyStartsWithTheDefaultPortAndStaysMissing) {
    ASSERT_NE(monitor.Start(), nullptr);
    EXPECT_EQ(monitor.Ports(), Names{u"NORV"});
    EXPECT_TRUE(StoredValues(kRoot).empty());
}

TEST_F(RegistryConformance, StoredOrderIsListOrderAndTheDefaultGoesOnTop) {
    StoreString(kRoot, u"1", u"D:\\A\\");
    StoreString(kRoot, u"2", u"E:\\B\\");
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), (Names{u"NORV", u"E:\\B\\", u"D:\\A\\"}));
    EXPECT_EQ(StoredPorts(), (Names{u"D:\\A\\", u"E:\\B\\", u"NORV"}));
}

TEST_F(RegistryConformance, ReadingStopsAtAGapAndAtAValueTooLongForTheBuffer) {
    std::u16string tooLong(260, u'x');  // 522 bytes with its terminator
    StoreString(kRoot, u"1", u"NORV");
    StoreString(kRoot, u"2", u"D:\\A\\");
    StoreString(kRoot, u"3", tooLong);
    StoreString(kRoot, u"4", u"E:\\B\\");
    StoreString(kRoot, u"6", u"F:\\C\\");
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), (Names{u"D:\\A\\", u"NORV"}));
}

TEST_F(RegistryConformance, UnterminatedAndBufferFillingValuesAreRead) {
    std::u16string full(259, u'f');  // with its terminator: exactly 520 bytes
    std::u16string unterminated(260, u'u');
    StoreString(kRoot, u"1", u"D:\\NoNul\\", false);
    StoreString(kRoot, u"2", full);
    StoreString(kRoot, u"3", unterminated, false);
    StoreString(kRoot, u"4", u"NORV");
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), (Names{u"NORV", unterminated.substr(0, 259), full, u"D:\\NoNul\\"}));
}

TEST_F(RegistryConformance, SavingRewritesTheListAndClearsWhatLiesPastIt) {
    StoreString(kRoot, u"1", u"D:\\A\\");
    StoreString(kRoot, u"2", u"norv");
    StoreString(kRoot, u"3", u"E:\\B\\");
    StoreString(kRoot, u"Other", u"kept");
    monitor.Start();
    DeleteThroughSpooler(u"e:\\b\\");
    EXPECT_EQ(StoredPorts(), (Names{u"D:\\A\\", u"NORV"}));
    EXPECT_FALSE(HasValue(kRoot, u"3"));
    EXPECT_TRUE(HasValue(kRoot, u"Other"));
    monitor.Detach();
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), (Names{u"NORV", u"D:\\A\\"}));
}

TEST_F(RegistryConformance, SecondInitialiseInTheSameProcessChangesNothing) {
    StoreString(kRoot, u"1", u"D:\\A\\");
    LPMONITOREX first = monitor.Start();
    auto stored = StoredValues(kRoot);
    EXPECT_EQ(monitor.Initialize(), first);
    EXPECT_EQ(monitor.Ports(), (Names{u"NORV", u"D:\\A\\"}));
    EXPECT_EQ(StoredValues(kRoot), stored);
}

TEST_F(RegistryConformance, DefaultPortFollowsTheTempDirectory) {
    SetTempPath(u"C:\\Spool Temp\\");
    StoreString(kRoot, u"1", u"NORV");
    monitor.Start();
    HANDLE byName = monitor.Open(u"NORV");
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(monitor.Open(u"c:\\spool temp\\norv\\"), byName);
}

}  // namespace
