// The in-memory port list: records, lookup, removal, and the default port's
// directory as the temp path makes it.
#include "control.h"
#include "harness.h"
#include "ports/port_list.h"

using namespace harness;
using win32layer::Api;

namespace {

class PortListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetMachine();
        blocks = win32layer::LiveHeapBlocks();
    }
    void TearDown() override {
        PortList::Destroy(list);
        EXPECT_EQ(win32layer::LiveHeapBlocks(), blocks);
    }
    PortList* Make() {
        list = PortList::Create(u"NORV Monitor", u"Norvale Document Monitor", u"NORV");
        return list;
    }
    PortList* list = nullptr;
    size_t blocks = 0;
};

TEST_F(PortListTest, NewListIsEmptyAndFindsNothingNotEvenTheEmptyName) {
    ASSERT_TRUE(Make());
    EXPECT_EQ(list->Count(), 0u);
    EXPECT_FALSE(list->HasDefaultPort());
    EXPECT_EQ(list->Find(u""), nullptr);
    EXPECT_EQ(list->Find(u"NORV"), nullptr);
    EXPECT_EQ(list->Remove(u""), 0);
    EXPECT_EQ(S(list->tempDirectory), u"C:\\WINDOWS\\TEMP\\NORV\\");
}

TEST_F(PortListTest, DefaultPortIsFoundByNameAndDirectoryInAnyCase) {
    ASSERT_TRUE(Make());
    ASSERT_EQ(list->Insert(u"D:\\Scans\\", false), 1);
    ASSERT_EQ(list->Insert(nullptr, true), 1);
    PortRecord* def = list->head;
    EXPECT_EQ(def->isDefault, 1u);
    EXPECT_EQ(def->flags, 0u);
    EXPECT_EQ(def->jobId, 0u);
    EXPECT_EQ(S(def->path), u"C:\\WINDOWS\\TEMP\\NORV\\");
    EXPECT_EQ(S(list->DisplayName(def)), u"NORV");
    EXPECT_EQ(list->Find(u"norv"), def);
    EXPECT_EQ(list->Find(u"c:\\windows\\temp\\NORV\\"), def);
    EXPECT_EQ(list->Find(u"d:\\scans\\"), def->next);
    EXPECT_TRUE(list->HasDefaultPort());
    EXPECT_EQ(list->Count(), 2u);
    // A plain port named like the default port is not the default port.
    EXPECT_EQ(list->Find(u"NORV\\"), nullptr);
}

TEST_F(PortListTest, RemoveTakesTheFirstMatchAndKeepsTheRest) {
    ASSERT_TRUE(Make());
    list->Insert(nullptr, true);
    list->Insert(u"D:\\Scans\\", false);
    EXPECT_EQ(list->Remove(u"NORV"), 1);
    EXPECT_EQ(list->Count(), 1u);
    EXPECT_EQ(S(list->head->path), u"D:\\Scans\\");
    EXPECT_EQ(list->Remove(u"E:\\Nope\\"), 0);
    EXPECT_EQ(list->Count(), 1u);
    // Duplicates are two records; removing one leaves the other.
    list->Insert(u"D:\\Scans\\", false);
    EXPECT_EQ(list->Remove(u"d:\\SCANS\\"), 1);
    EXPECT_EQ(list->Count(), 1u);
    EXPECT_NE(list->Find(u"D:\\Scans\\"), nullptr);
}

TEST_F(PortListTest, NamesAreCutToTheRecordBuffer) {
    ASSERT_TRUE(Make());
    for (size_t units : {0u, 259u, 260u, 300u}) {
        SCOPED_TRACE(units);
        std::u16string name(units, u'x');
        ASSERT_EQ(list->Insert(W(name), false), 1);
        EXPECT_EQ(S(list->head->path), name.substr(0, 259));
        EXPECT_EQ(list->head->path[std::min<size_t>(units, 259)], 0);
    }
}

TEST_F(PortListTest, AllocationFailureInInsertLeavesTheListUnchanged) {
    ASSERT_TRUE(Make());
    list->Insert(u"D:\\A\\", false);
    PortRecord* head = list->head;
    win32layer::FailCall(Api::HeapAlloc);
    EXPECT_EQ(list->Insert(u"E:\\B\\", false), 0);
    EXPECT_EQ(list->head, head);
    EXPECT_EQ(list->Count(), 1u);
}

TEST_F(PortListTest, EveryAllocationFailureInCreateGivesNoListAndNoLeak) {
    for (unsigned k = 1; k <= 6; ++k) {
        SCOPED_TRACE(k);
        win32layer::FailCall(Api::HeapAlloc, k);
        PortList* attempt = PortList::Create(u"NORV Monitor", u"Norvale Document Monitor", u"NORV");
        win32layer::ClearFaults();
        if (attempt) {
            // Only a failure after construction is complete may give a list.
            EXPECT_GT(k, 5u);
            PortList::Destroy(attempt);
        }
        EXPECT_EQ(win32layer::LiveHeapBlocks(), blocks);
    }
}

// The default port's directory from GetTempPathW's answer.
struct TempCase {
    size_t units;  // length of the temp path, with its trailing backslash
    bool usable;   // whether it leaves room for "NORV\" in a record's path
};
// Printed by value: gtest's byte dump would read the struct's padding.
void PrintTo(const TempCase& c, std::ostream* os) { *os << c.units << (c.usable ? " usable" : " unusable"); }

class TempDirectoryTest : public PortListTest, public ::testing::WithParamInterface<TempCase> {};

TEST_P(TempDirectoryTest, DefaultPortDirectoryFitsOrThereIsNoDefaultPort) {
    std::u16string temp = u"C:\\" + std::u16string(GetParam().units - 4, u't') + u"\\";
    ASSERT_EQ(temp.size(), GetParam().units);
    SetTempPath(temp);
    ASSERT_TRUE(Make());
    if (GetParam().usable) {
        EXPECT_EQ(S(list->tempDirectory), temp + u"NORV\\");
        ASSERT_EQ(list->Insert(nullptr, true), 1);
        EXPECT_EQ(S(list->head->path), temp + u"NORV\\");
    } else {
        EXPECT_EQ(S(list->tempDirectory), u"");
        // No record with an unreadable path: the default port is not made.
        EXPECT_EQ(list->Insert(nullptr, true), 0);
        EXPECT_EQ(list->Count(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, TempDirectoryTest,
                         ::testing::Values(TempCase{16, true}, TempCase{254, true},
                                           TempCase{255, false}, TempCase{260, false},
                                           TempCase{261, false}, TempCase{300, false}));

TEST_F(PortListTest, TempPathFailureGivesTheBareSubdirectory) {
    win32layer::FailEvery(Api::GetTempPathW);
    ASSERT_TRUE(Make());
    EXPECT_EQ(S(list->tempDirectory), u"NORV\\");
    ASSERT_EQ(list->Insert(nullptr, true), 1);
    EXPECT_EQ(list->Find(u"NORV"), list->head);
}

TEST_F(PortListTest, EmptyDefaultNameMakesNoDefaultPort) {
    list = PortList::Create(u"NORV Monitor", u"Norvale Document Monitor", nullptr);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->Insert(nullptr, true), 0);
    EXPECT_FALSE(list->HasDefaultPort());
}

// Through the module: a machine whose temp path is unusable still starts,
// with no default port and nothing of the stored list lost from the registry.
TEST_F(PortListTest, ModuleWithoutTempDirectoryKeepsStoredPorts) {
    SetTempPath(u"C:\\" + std::u16string(300, u't') + u"\\");
    StoreString(kRoot, u"1", u"D:\\A\\");
    Monitor monitor;
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), std::vector<std::u16string>{u"D:\\A\\"});
    EXPECT_EQ(StoredPorts(), std::vector<std::u16string>{u"D:\\A\\"});
}

}  // namespace

namespace {

// Names as a folder port list holds them, and one spelling of each in
// another case (ASCII and beyond).
std::u16string PortName(int i) { return u"D:\\Ärzte\\Fach" + win32layer::U16(std::to_string(i)) + u"\\"; }
std::u16string OtherCase(int i) { return u"d:\\äRZTE\\fACH" + win32layer::U16(std::to_string(i)) + u"\\"; }

}  // namespace

// Many ports, every growth of the index refused: each is still found in any
// case, by name and by handle, through removals of every other one; the
// handle of a removed port the spooler held stays valid, others do not.
TEST_F(PortListTest, LookupsHoldThroughGrowthRemovalAndRefusedMemory) {
    ASSERT_TRUE(Make());
    constexpr int kPorts = 70;
    for (bool refuseGrowth : {true, false}) {
        SCOPED_TRACE(refuseGrowth ? "growth refused" : "growth allowed");
        std::vector<PortRecord*> records;
        for (int i = 0; i < kPorts; ++i) {
            // The record is the first allocation; a growth of the index the second.
            if (refuseGrowth) win32layer::FailCall(Api::HeapAlloc, 2);
            ASSERT_EQ(list->Insert(W(PortName(i)), false), 1);
            win32layer::ClearFaults();
            records.push_back(list->head);
        }
        records[1]->handedOut = 1;
        for (int i = 0; i < kPorts; i += 2) ASSERT_EQ(list->Remove(W(OtherCase(i))), 1);
        EXPECT_EQ(list->Count(), DWORD(kPorts / 2));
        for (int i = 0; i < kPorts; ++i) {
            const bool kept = i % 2 == 1;
            EXPECT_EQ(list->Find(W(OtherCase(i))), kept ? records[i] : nullptr) << i;
            EXPECT_EQ(list->FindListed(W(PortName(i))), kept ? records[i] : nullptr) << i;
            if (kept) {
                EXPECT_TRUE(list->IsPortHandle(records[i]));
            }
        }
        int dummy = 0;
        EXPECT_FALSE(list->IsPortHandle(&dummy));
        EXPECT_FALSE(list->IsPortHandle(nullptr));
        for (int i = 1; i < kPorts; i += 2) ASSERT_EQ(list->Remove(W(PortName(i))), 1);
        EXPECT_EQ(list->Count(), 0u);
        EXPECT_EQ(list->Find(W(PortName(1))), nullptr);
        EXPECT_TRUE(list->IsPortHandle(records[1]));  // retired, not freed
    }
}

// Where several records match, the first in list order wins, whatever the
// order they were indexed in.
TEST_F(PortListTest, FirstMatchInListOrderWins) {
    ASSERT_TRUE(Make());
    const std::u16string directory = S(list->tempDirectory);
    ASSERT_EQ(list->Insert(W(directory), false), 1);
    PortRecord* plain = list->head;
    ASSERT_EQ(list->Insert(nullptr, true), 1);
    PortRecord* def = list->head;
    ASSERT_EQ(list->Insert(u"NORV", false), 1);
    PortRecord* named = list->head;
    EXPECT_EQ(list->Find(W(directory)), def);
    EXPECT_EQ(list->Find(u"norv"), named);
    EXPECT_EQ(list->FindListed(W(directory)), plain);  // not the default port by its directory
    ASSERT_EQ(list->Remove(u"NORV"), 1);
    EXPECT_EQ(list->Find(u"NORV"), def);
    ASSERT_EQ(list->Remove(W(directory)), 1);
    EXPECT_EQ(list->Find(W(directory)), plain);
    EXPECT_EQ(list->Find(u"NORV"), nullptr);
}
