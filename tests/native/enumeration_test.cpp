// EnumPorts as the spooler sees it: the packed PORT_INFO_1/PORT_INFO_2 buffer
// byte for byte for this build's pointer size, the size answer and the
// failures.
#include <cstring>

#include "control.h"
#include "harness.h"

using namespace harness;

namespace {

constexpr BYTE kFill = 0xCD;  // what the caller's buffer holds before the call
constexpr DWORD kInfo1 = sizeof(PORT_INFO_1W);
constexpr DWORD kInfo2 = sizeof(PORT_INFO_2W);
const std::u16string kScans = u"D:\\Scans\\";
const std::u16string kMonitorName = u"NORV Monitor";
const std::u16string kDescription = u"Norvale Document Monitor";

DWORD Bytes(const std::u16string& s) { return DWORD((s.size() + 1) * sizeof(char16_t)); }

struct Answer {
    BOOL ok;
    DWORD needed;
    DWORD returned;
    DWORD error;
};

// The buffer as the monitor must leave it, built from the documented layout:
// records from the start, strings put where the test says.
class Expected {
public:
    explicit Expected(const std::vector<BYTE>& actual) : base_(actual.data()), bytes_(actual.size(), kFill) {}
    // Writes s with its terminator at `offset`; returns the pointer the monitor
    // must have stored for it.
    LPWSTR String(DWORD offset, const std::u16string& s) {
        std::memcpy(bytes_.data() + offset, s.c_str(), Bytes(s));
        return reinterpret_cast<LPWSTR>(const_cast<BYTE*>(base_) + offset);
    }
    template <typename Record>
    void Put(DWORD offset, const Record& record) {
        std::memcpy(bytes_.data() + offset, &record, sizeof(record));
    }
    const std::vector<BYTE>& bytes() const { return bytes_; }

private:
    const BYTE* base_;
    std::vector<BYTE> bytes_;
};

std::u16string StringAt(const BYTE* p) {
    std::u16string s;
    for (;; p += 2) {
        char16_t c;
        std::memcpy(&c, p, 2);
        if (!c) return s;
        s += c;
    }
}

class EnumerationTest : public MonitorTest {
protected:
    Answer Enum(DWORD level, BYTE* buffer, DWORD size) {
        DWORD needed = 0xDEADBEEF, returned = 0xDEADBEEF;
        SetLastError(0);
        BOOL ok = monitor.ops().pfnEnumPorts(nullptr, level, buffer, size, &needed, &returned);
        return {ok, needed, returned, ok ? 0 : GetLastError()};
    }
    Answer Enum(DWORD level, std::vector<BYTE>& buffer) {
        return Enum(level, buffer.data(), DWORD(buffer.size()));
    }

    // D:\Scans\ at the head, the default port after it.
    void StartWithScansAndDefault() {
        StoreString(kRoot, u"1", u"NORV");
        StoreString(kRoot, u"2", kScans);
        monitor.Start();
        ASSERT_EQ(monitor.Ports(), (std::vector<std::u16string>{kScans, u"NORV"}));
    }

    void StartEmpty() {
        CreateKey(kRoot);
        monitor.Start();
        monitor.ops().pfnDeletePort(nullptr, nullptr, W(u"NORV"));
        win32layer::ClearMessageBoxes();
        ASSERT_TRUE(monitor.Ports().empty());
    }

    // Level 1 of the two-port list: D:\Scans\ (20 bytes) in the buffer's last
    // bytes, NORV (10 bytes) just below it.
    static constexpr DWORD kLevel1Needed = 2 * kInfo1 + 20 + 10;
    // The buffer holds exactly the level-1 answer for the two-port list whose
    // strings end at `end`; every other byte is as the test filled it.
    static void ExpectLevel1ScansAndDefault(const std::vector<BYTE>& buffer, DWORD end) {
        Expected expected(buffer);
        PORT_INFO_1W scans{expected.String(end - 20, kScans)};
        PORT_INFO_1W norv{expected.String(end - 30, u"NORV")};
        expected.Put(0, scans);
        expected.Put(kInfo1, norv);
        EXPECT_EQ(buffer, expected.bytes());
    }
};

TEST_F(EnumerationTest, Level1PacksRecordsUpwardsAndStringsDownFromTheEnd) {
    StartWithScansAndDefault();
    std::vector<BYTE> buffer(kLevel1Needed, kFill);
    Answer a = Enum(1, buffer);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.needed, kLevel1Needed);
    EXPECT_EQ(a.returned, 2u);

    ExpectLevel1ScansAndDefault(buffer, kLevel1Needed);
    if (kInfo1 == 4) {
        EXPECT_EQ(kLevel1Needed, 38u);  // the 32-bit figure
    }
}

TEST_F(EnumerationTest, Level2DefaultPortAlonePutsMonitorNameHighestThenDescriptionThenName) {
    monitor.Start();
    const DWORD needed = kInfo2 + Bytes(kMonitorName) + Bytes(kDescription) + Bytes(u"NORV");
    if (kInfo2 == 20) {
        EXPECT_EQ(needed, 106u);  // the 32-bit figure
    }
    std::vector<BYTE> buffer(needed, kFill);
    Answer a = Enum(2, buffer);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.needed, needed);
    EXPECT_EQ(a.returned, 1u);

    Expected expected(buffer);
    PORT_INFO_2W info{};
    info.pMonitorName = expected.String(needed - 26, kMonitorName);
    info.pDescription = expected.String(needed - 26 - 50, kDescription);
    info.pPortName = expected.String(needed - 26 - 50 - 10, u"NORV");
    info.fPortType = 0;
    info.Reserved = 0;
    expected.Put(0, info);
    EXPECT_EQ(buffer, expected.bytes());
}

TEST_F(EnumerationTest, Level2TwoPortsKeepEachPortsStringsTogetherFirstPortHighest) {
    StartWithScansAndDefault();
    const DWORD shared = Bytes(kMonitorName) + Bytes(kDescription);  // 76
    const DWORD needed = 2 * kInfo2 + shared + 20 + shared + 10;
    std::vector<BYTE> buffer(needed, kFill);
    Answer a = Enum(2, buffer);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.needed, needed);
    EXPECT_EQ(a.returned, 2u);

    Expected expected(buffer);
    PORT_INFO_2W first{}, second{};
    DWORD top = needed;
    first.pMonitorName = expected.String(top -= 26, kMonitorName);
    first.pDescription = expected.String(top -= 50, kDescription);
    first.pPortName = expected.String(top -= 20, kScans);
    second.pMonitorName = expected.String(top -= 26, kMonitorName);
    second.pDescription = expected.String(top -= 50, kDescription);
    second.pPortName = expected.String(top -= 10, u"NORV");
    ASSERT_EQ(top, 2 * kInfo2);
    expected.Put(0, first);
    expected.Put(kInfo2, second);
    EXPECT_EQ(buffer, expected.bytes());
}

TEST_F(EnumerationTest, LargerBufferLeavesTheGapUntouched) {
    StartWithScansAndDefault();
    const DWORD size = kLevel1Needed + 16;
    std::vector<BYTE> buffer(size, kFill);
    Answer a = Enum(1, buffer);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.needed, kLevel1Needed);
    EXPECT_EQ(a.returned, 2u);

    ExpectLevel1ScansAndDefault(buffer, size);
}

TEST_F(EnumerationTest, OddSizedBufferPutsStringsAtOddAddresses) {
    StartWithScansAndDefault();
    const DWORD needed = 2 * kInfo2 + 2 * (26 + 50) + 20 + 10;
    const DWORD size = needed + 3;
    std::vector<BYTE> buffer(size, kFill);
    Answer a = Enum(2, buffer);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.returned, 2u);

    PORT_INFO_2W records[2];
    std::memcpy(records, buffer.data(), sizeof(records));
    EXPECT_EQ(reinterpret_cast<BYTE*>(records[0].pMonitorName), buffer.data() + size - 26);
    EXPECT_EQ(reinterpret_cast<BYTE*>(records[1].pPortName), buffer.data() + size - needed + 2 * kInfo2);
    const std::u16string names[2] = {kScans, u"NORV"};
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(StringAt(reinterpret_cast<BYTE*>(records[i].pPortName)), names[i]);
        EXPECT_EQ(StringAt(reinterpret_cast<BYTE*>(records[i].pMonitorName)), kMonitorName);
        EXPECT_EQ(StringAt(reinterpret_cast<BYTE*>(records[i].pDescription)), kDescription);
    }
    // The three bytes between the records and the strings are the gap.
    for (DWORD i = 2 * kInfo2; i < 2 * kInfo2 + 3; ++i) EXPECT_EQ(buffer[i], kFill) << i;
}

TEST_F(EnumerationTest, BufferOneByteShortGetsTheSizeAndStaysUntouched) {
    StartWithScansAndDefault();
    const DWORD needed2 = 2 * kInfo2 + 2 * (26 + 50) + 20 + 10;
    for (DWORD level : {1u, 2u}) {
        SCOPED_TRACE(level);
        const DWORD needed = level == 1 ? kLevel1Needed : needed2;
        std::vector<BYTE> buffer(needed - 1, kFill);
        Answer a = Enum(level, buffer);
        EXPECT_FALSE(a.ok);
        EXPECT_EQ(a.error, DWORD(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(a.needed, needed);
        EXPECT_EQ(a.returned, 0u);
        EXPECT_EQ(buffer, std::vector<BYTE>(needed - 1, kFill));
    }
}

TEST_F(EnumerationTest, NullBufferOfSizeZeroGetsTheSize) {
    StartWithScansAndDefault();
    Answer a = Enum(1, nullptr, 0);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.error, DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(a.needed, kLevel1Needed);
    EXPECT_EQ(a.returned, 0u);

    a = Enum(2, nullptr, 0);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.error, DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(a.needed, 2 * kInfo2 + 2 * (26 + 50) + 20 + 10);
    EXPECT_EQ(a.returned, 0u);
    EXPECT_TRUE(win32layer::MessageBoxes().empty());
}

TEST_F(EnumerationTest, EmptyListAnswersNothingAtEveryLevelWithoutABox) {
    StartEmpty();
    std::vector<BYTE> buffer(8, kFill);
    for (DWORD level : {0u, 1u, 2u, 3u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(level);
        for (BYTE* p : {static_cast<BYTE*>(nullptr), buffer.data()}) {
            Answer a = Enum(level, p, p ? DWORD(buffer.size()) : 0);
            EXPECT_TRUE(a.ok);
            EXPECT_EQ(a.needed, 0u);
            EXPECT_EQ(a.returned, 0u);
        }
    }
    EXPECT_EQ(buffer, std::vector<BYTE>(8, kFill));
    EXPECT_TRUE(win32layer::MessageBoxes().empty());
}

TEST_F(EnumerationTest, BadLevelWithPortsShowsOneBoxUnderTheLockAndFails) {
    StartWithScansAndDefault();
    for (DWORD level : {0u, 3u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(level);
        win32layer::ClearMessageBoxes();
        std::vector<BYTE> buffer(64, kFill);
        Answer a = Enum(level, buffer);
        EXPECT_FALSE(a.ok);
        EXPECT_EQ(a.error, DWORD(ERROR_INVALID_LEVEL));
        EXPECT_EQ(a.needed, 0u);
        EXPECT_EQ(a.returned, 0u);
        EXPECT_EQ(buffer, std::vector<BYTE>(64, kFill));

        auto boxes = win32layer::MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].owner, nullptr);
        EXPECT_EQ(boxes[0].text, u"Error");
        EXPECT_EQ(boxes[0].caption, u"invalid level");
        EXPECT_EQ(boxes[0].type, UINT(MB_OK));
        EXPECT_TRUE(boxes[0].lockHeld);
    }
    // Without a buffer the answer is the same: nothing is sized at a bad level.
    win32layer::ClearMessageBoxes();
    Answer a = Enum(3, nullptr, 0);
    EXPECT_FALSE(a.ok);
    EXPECT_EQ(a.error, DWORD(ERROR_INVALID_LEVEL));
    EXPECT_EQ(a.needed, 0u);
    EXPECT_EQ(win32layer::MessageBoxes().size(), 1u);
    // And the lock was released: enumeration still works.
    EXPECT_EQ(monitor.Ports(), (std::vector<std::u16string>{kScans, u"NORV"}));
}

TEST_F(EnumerationTest, MissingOutArgumentsFailWithoutTouchingTheBuffer) {
    StartWithScansAndDefault();
    std::vector<BYTE> buffer(256, kFill);
    DWORD count = 0;
    SetLastError(0);
    EXPECT_FALSE(monitor.ops().pfnEnumPorts(nullptr, 1, buffer.data(), 256, nullptr, &count));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(monitor.ops().pfnEnumPorts(nullptr, 1, buffer.data(), 256, &count, nullptr));
    EXPECT_EQ(buffer, std::vector<BYTE>(256, kFill));
}

}  // namespace
