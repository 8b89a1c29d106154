// The bytes EnumPorts leaves in a spooler's buffer, for this build's pointer
// size, over our Win32 layer and over real Win32 alike.
#include <cstring>

#include "harness.h"

using namespace harness;

namespace {

class EnumerationConformance : public MonitorTest {
protected:
    // The list D:\Scans\ (head), NORV.
    void SetUp() override {
        MonitorTest::SetUp();
        StoreString(kRoot, u"1", u"NORV");
        StoreString(kRoot, u"2", u"D:\\Scans\\");
        monitor.Start();
    }
    BOOL Enum(DWORD level, BYTE* buffer, DWORD size) {
        needed = returned = 0xDEAD;
        return monitor.ops().pfnEnumPorts(nullptr, level, buffer, size, &needed, &returned);
    }
    static std::u16string At(const BYTE* p) { return std::u16string(reinterpret_cast<const char16_t*>(p)); }
    DWORD needed = 0, returned = 0;
};

TEST_F(EnumerationConformance, LevelOnePacksRecordsUpAndStringsDown) {
    const DWORD size = 2 * sizeof(PORT_INFO_1W) + 20 + 10;
    std::vector<BYTE> buffer(size, 0xCC);
    ASSERT_TRUE(Enum(1, buffer.data(), size));
    EXPECT_EQ(returned, 2u);
    EXPECT_EQ(needed, size);
    PORT_INFO_1W info[2];
    std::memcpy(info, buffer.data(), sizeof(info));
    EXPECT_EQ(reinterpret_cast<BYTE*>(info[0].pName), buffer.data() + size - 20);
    EXPECT_EQ(reinterpret_cast<BYTE*>(info[1].pName), buffer.data() + size - 30);
    EXPECT_EQ(At(buffer.data() + size - 20), u"D:\\Scans\\");
    EXPECT_EQ(At(buffer.data() + size - 30), u"NORV");
}

TEST_F(EnumerationConformance, LevelTwoPlacesPortDescriptionMonitorFromLowToHigh) {
    const DWORD strings = 2 * (13 + 25) * 2 + (10 + 5) * 2;
    const DWORD size = 2 * sizeof(PORT_INFO_2W) + strings;
    std::vector<BYTE> buffer(size + 16, 0xCC);
    ASSERT_TRUE(Enum(2, buffer.data(), size));
    EXPECT_EQ(needed, size);
    ASSERT_EQ(returned, 2u);
    PORT_INFO_2W info[2];
    std::memcpy(info, buffer.data(), sizeof(info));
    BYTE* end = buffer.data() + size;
    // First port's strings at the very end: monitor name, description, port name.
    EXPECT_EQ(reinterpret_cast<BYTE*>(info[0].pMonitorName), end - 26);
    EXPECT_EQ(reinterpret_cast<BYTE*>(info[0].pDescription), end - 26 - 50);
    EXPECT_EQ(reinterpret_cast<BYTE*>(info[0].pPortName), end - 26 - 50 - 20);
    EXPECT_EQ(reinterpret_cast<BYTE*>(info[1].pMonitorName), end - 96 - 26);
    EXPECT_EQ(reinterpret_cast<BYTE*>(info[1].pDescription), end - 96 - 76);
    EXPECT_EQ(reinterpret_cast<BYTE*>(info[1].pPortName), end - 96 - 86);
    EXPECT_EQ(S(info[0].pPortName), u"D:\\Scans\\");
    EXPECT_EQ(S(info[1].pPortName), u"NORV");
    for (const auto& port : info) {
        EXPECT_EQ(S(port.pMonitorName), u"NORV Monitor");
        EXPECT_EQ(S(port.pDescription), u"Norvale Document Monitor");
        EXPECT_EQ(port.fPortType, 0u);
        EXPECT_EQ(port.Reserved, 0u);
    }
    // Nothing past the caller's size is touched.
    for (size_t i = size; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xCC);
}

TEST_F(EnumerationConformance, ShortOrMissingBufferGetsTheSizeAndIsUntouched) {
    const DWORD size = 2 * sizeof(PORT_INFO_1W) + 30;
    std::vector<BYTE> buffer(size, 0xCC);
    SetLastError(0);
    EXPECT_FALSE(Enum(1, buffer.data(), size - 1));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, size);
    EXPECT_EQ(returned, 0u);
    for (BYTE b : buffer) EXPECT_EQ(b, 0xCC);

    SetLastError(0);
    EXPECT_FALSE(Enum(1, nullptr, 0));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(needed, size);
    EXPECT_EQ(returned, 0u);
}

}  // namespace
