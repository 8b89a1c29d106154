// Port names beyond A-Z: the monitor compares them as Windows compares file
// names, through the system's upper-case mapping. The same expectations hold
// over our Win32 layer and over real Win32, which pins the layer's mapping.
#include "harness.h"

using namespace harness;
using Names = std::vector<std::u16string>;

namespace {

class PortNameConformance : public MonitorTest {};

// Lookup by OpenPort: a name opens the stored port exactly when the two are
// equal unit by unit after upper-casing.
TEST_F(PortNameConformance, LookupIgnoresCaseThroughTheUpperCaseMapping) {
    struct Case {
        const char16_t* stored;
        const char16_t* asked;
        bool same;
    };
    const Case cases[] = {
        {u"C:\\ÄRZTE\\", u"C:\\ärzte\\", true},
        {u"C:\\ärzte\\", u"c:\\ÄrZtE\\", true},
        {u"C:\\ÄRZTE\\", u"C:\\ARZTE\\", false},
        {u"D:\\ΣΟΦΙΑ\\", u"d:\\σοφια\\", true},
        {u"E:\\Дом\\", u"e:\\ДОМ\\", true},
        // Mapped to upper case only: ß stays, and ẞ is already upper.
        {u"F:\\Straße\\", u"F:\\STRAẞE\\", false},
        // Dotless ı and final ς upper-case to I and Σ, but those map back to
        // i and σ: the system's table leaves ı and ς as they are.
        {u"G:\\ıx\\", u"G:\\IX\\", false},
        {u"H:\\ΟΔΟΣ\\", u"h:\\οδος\\", false},
        {u"H:\\ΟΔΟΣ\\", u"h:\\οδοσ\\", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(U8(c.stored) + " asked as " + U8(c.asked));
        ResetMachine();
        StoreString(kRoot, u"1", c.stored);
        monitor.Start();
        HANDLE stored = monitor.Open(c.stored);
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(monitor.Open(c.asked), c.same ? stored : nullptr);
        monitor.Detach();
    }
}

// One folder stored under two values in different cases is one port, kept
// from the lower value; deleting it by a third spelling removes it.
TEST_F(PortNameConformance, NameStoredTwiceInOtherCasesIsOnePort) {
    StoreString(kRoot, u"1", u"C:\\Ärzte\\");
    StoreString(kRoot, u"2", u"NORV");
    StoreString(kRoot, u"3", u"c:\\ÄRZTE\\");
    monitor.Start();
    EXPECT_EQ(monitor.Ports(), (Names{u"NORV", u"C:\\Ärzte\\"}));

    EXPECT_TRUE(monitor.ops().pfnDeletePort(nullptr, nullptr, W(u"C:\\ärzte\\")));
    EXPECT_EQ(monitor.Ports(), Names{u"NORV"});
    EXPECT_EQ(StoredPorts(), Names{u"NORV"});
}

// The mapping itself, over every unit of the BMP: the two ways the monitor
// may compare (CompareStringOrdinal, or CharUpperBuffW where that is missing)
// agree, and the table is the one this suite was written against.
TEST_F(PortNameConformance, UpperCaseMappingOfTheWholeBmp) {
    typedef int(WINAPI * CompareOrdinal)(LPCWSTR, int, LPCWSTR, int, BOOL);
    HMODULE kernel = GetModuleHandleW(TEXT("kernel32.dll"));
    ASSERT_NE(kernel, nullptr);
    auto compare = reinterpret_cast<CompareOrdinal>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel, "CompareStringOrdinal")));
    ASSERT_NE(compare, nullptr);

    unsigned mapped = 0;
    uint32_t hash = 2166136261u;  // FNV-1a over (unit, upper) of every mapped unit
    for (uint32_t unit = 1; unit < 0x10000; ++unit) {
        WCHAR original = WCHAR(unit);
        WCHAR upper = original;
        CharUpperBuffW(&upper, 1);
        if (upper == original) continue;
        ++mapped;
        for (uint32_t part : {unit, uint32_t(upper)}) {
            hash = (hash ^ (part & 0xFF)) * 16777619u;
            hash = (hash ^ (part >> 8)) * 16777619u;
        }
        EXPECT_EQ(compare(&original, 1, &upper, 1, TRUE), CSTR_EQUAL) << std::hex << unit;
        // Upper case is a fixed point.
        WCHAR twice = upper;
        CharUpperBuffW(&twice, 1);
        EXPECT_EQ(uint32_t(twice), uint32_t(upper)) << std::hex << unit;
    }
    EXPECT_EQ(mapped, 1163u);
    EXPECT_EQ(hash, 132199362u);
}

}  // namespace
