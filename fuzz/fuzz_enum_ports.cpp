// EnumPorts over any port list, at any level, into buffers of any size and
// alignment. The monitor may write only inside [pPorts, pPorts + cbBuf)
// (guard bytes on both sides must survive), must write nothing when it
// fails, and every pointer it returns must lead to a terminated string inside
// the buffer, packed from its end downwards.
#include "fuzz_support.h"

using namespace fuzz;

namespace {

constexpr size_t kGuard = 64;
constexpr uint8_t kFill = 0xA5;
const std::u16string kMonitorName = u"NORV Monitor";
const std::u16string kDescription = u"Norvale Document Monitor";

DWORD Level(Reader& in) {
    static const DWORD kInvalid[] = {0, 3, 4, 0xFFFFFFFFu, 0x80000001u};
    uint8_t selector = in.Byte() % 8;
    if (selector < 3) return 1;
    if (selector < 6) return 2;
    if (selector == 6) return kInvalid[in.Byte() % 5];
    return in.U32();
}

size_t Bytes(const std::u16string& s) { return (s.size() + 1) * sizeof(char16_t); }

size_t EntrySize(DWORD level, const std::u16string& name) {
    if (level == 1) return sizeof(PORT_INFO_1W) + Bytes(name);
    return sizeof(PORT_INFO_2W) + Bytes(kMonitorName) + Bytes(kDescription) + Bytes(name);
}

// The string a returned pointer leads to, which must end inside [begin, end).
std::u16string StringAt(const BYTE* pointer, const BYTE* begin, const BYTE* end) {
    FUZZ_CHECK(pointer >= begin && pointer < end);
    std::u16string out;
    for (const BYTE* p = pointer;; p += 2) {
        FUZZ_CHECK(p + 2 <= end);
        char16_t c;
        std::memcpy(&c, p, 2);
        if (!c) return out;
        out += c;
    }
}

bool Untouched(const std::vector<BYTE>& memory, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (memory[i] != kFill) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Baseline baseline;
    Reader in(data, size);
    const DWORD level = Level(in);
    const uint8_t sizeMode = in.Byte();
    const uint8_t sizeDelta = in.Byte();
    const uint16_t rawSize = in.U16();
    const size_t offset = in.Byte() % 8;
    const uint8_t defaultAt = in.Byte();

    // Stored ports, value 1 first; the default port goes where the input says,
    // or in front by initialisation when it is not stored.
    std::vector<std::u16string> stored;
    while (!in.empty() && stored.size() < 48) {
        std::u16string name = in.String();
        if (name.size() > 259) name.resize(259);
        // Loading lists a name once, and the default port's directory names it.
        bool listed = name.empty() || EqualNoCase(name, u"NORV") ||
                      EqualNoCase(name, u"C:\\WINDOWS\\TEMP\\NORV\\");
        for (const auto& earlier : stored) listed = listed || EqualNoCase(earlier, name);
        if (listed) continue;
        stored.push_back(name);
    }
    if (defaultAt < 0x80) stored.insert(stored.begin() + defaultAt % (stored.size() + 1), u"NORV");
    for (size_t i = 0; i < stored.size(); ++i)
        win32layer::RegistrySetString(kRoot, win32layer::U16(std::to_string(i + 1)), stored[i]);
    std::vector<std::u16string> expected(stored.rbegin(), stored.rend());
    if (defaultAt >= 0x80) expected.insert(expected.begin(), u"NORV");

    DllMain(Module(), DLL_PROCESS_ATTACH, nullptr);
    LPMONITOREX table = InitializePrintMonitor(W(kRoot));
    FUZZ_CHECK(table != nullptr);
    const bool validLevel = level == 1 || level == 2;
    size_t expectedNeeded = 0;
    if (validLevel)
        for (const auto& name : expected) expectedNeeded += EntrySize(level, name);

    size_t cbBuf;
    switch (sizeMode % 4) {
    case 0: cbBuf = expectedNeeded; break;
    case 1: cbBuf = expectedNeeded > sizeDelta ? expectedNeeded - sizeDelta : 0; break;
    case 2: cbBuf = expectedNeeded + sizeDelta; break;
    default: cbBuf = rawSize; break;
    }
    const bool nullBuffer = cbBuf == 0 && (sizeMode & 0x80);

    std::vector<BYTE> memory(kGuard + offset + cbBuf + kGuard, kFill);
    BYTE* buffer = nullBuffer ? nullptr : memory.data() + kGuard + offset;
    DWORD needed = 0xDEADBEEF, returned = 0xDEADBEEF;
    SetLastError(0);
    BOOL ok = table->Monitor.pfnEnumPorts(nullptr, level, buffer, DWORD(cbBuf), &needed, &returned);
    const DWORD error = GetLastError();
    FUZZ_CHECK(Untouched(memory, 0, kGuard + offset));
    FUZZ_CHECK(Untouched(memory, kGuard + offset + cbBuf, memory.size()));

    if (!validLevel) {
        FUZZ_CHECK(!ok && error == ERROR_INVALID_LEVEL && needed == 0 && returned == 0);
        FUZZ_CHECK(Untouched(memory, 0, memory.size()));
    } else if (expectedNeeded > cbBuf) {
        FUZZ_CHECK(!ok && error == ERROR_INSUFFICIENT_BUFFER);
        FUZZ_CHECK(needed == expectedNeeded && returned == 0);
        FUZZ_CHECK(Untouched(memory, 0, memory.size()));
    } else {
        FUZZ_CHECK(ok && needed == expectedNeeded && returned == expected.size());
        const BYTE* end = buffer + cbBuf;
        const size_t record = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
        const BYTE* recordsEnd = buffer + record * returned;
        // Strings fill the end of the buffer exactly; the gap above the
        // records keeps whatever the caller had there.
        const BYTE* stringsBegin = end - (needed - record * returned);
        FUZZ_CHECK(Untouched(memory, recordsEnd - memory.data(), stringsBegin - memory.data()));
        for (DWORD i = 0; i < returned; ++i) {
            if (level == 1) {
                PORT_INFO_1W info;
                std::memcpy(&info, buffer + i * record, record);
                const BYTE* name = reinterpret_cast<const BYTE*>(info.pName);
                FUZZ_CHECK(name >= stringsBegin);
                FUZZ_CHECK(StringAt(name, buffer, end) == expected[i]);
            } else {
                PORT_INFO_2W info;
                std::memcpy(&info, buffer + i * record, record);
                for (LPWSTR s : {info.pPortName, info.pMonitorName, info.pDescription})
                    FUZZ_CHECK(reinterpret_cast<const BYTE*>(s) >= stringsBegin);
                FUZZ_CHECK(StringAt(reinterpret_cast<const BYTE*>(info.pPortName), buffer, end) ==
                           expected[i]);
                FUZZ_CHECK(StringAt(reinterpret_cast<const BYTE*>(info.pMonitorName), buffer, end) ==
                           kMonitorName);
                FUZZ_CHECK(StringAt(reinterpret_cast<const BYTE*>(info.pDescription), buffer, end) ==
                           kDescription);
                FUZZ_CHECK(info.fPortType == 0 && info.Reserved == 0);
            }
        }
    }

    DllMain(Module(), DLL_PROCESS_DETACH, nullptr);
    baseline.CheckReleased();
    return 0;
}
