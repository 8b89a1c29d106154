// EnumPorts over any port list, at any level, into buffers of any size and
// alignment, across changes of the list: ports added (dialog, AddPortEx),
// deleted, read again at a restart (also one whose load stops early, so that
// the next change completes the list from the store), and calls that find no
// memory. After each call the caller's memory, guard bytes on both sides
// included, must be exactly what a plain packing of the listed names gives:
// records from the start, strings from the end downwards, the gap untouched;
// and nothing at all when the call fails.
#include "monitor/state.h"
#include "port_model.h"
#include "shell_control.h"

using namespace fuzz;

namespace {

constexpr size_t kGuard = 64;
constexpr uint8_t kFill = 0xA5;
const std::u16string kMonitorName = u"NORV Monitor";
const std::u16string kDescription = u"Norvale Document Monitor";
const HWND kOwner = reinterpret_cast<HWND>(0x4711);

// Names the steps add and delete, so that they meet; others come from the input.
const char16_t* const kNames[] = {u"D:\\Scans\\", u"d:\\scans\\", u"E:\\", u"NORV",
                                  u"C:\\WINDOWS\\TEMP\\NORV\\", u"F:\\A Much Longer Folder\\"};
constexpr size_t kNameCount = sizeof(kNames) / sizeof(kNames[0]);

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

// The listed names, head first, read from the list itself.
std::vector<std::u16string> Listed() {
    std::vector<std::u16string> names;
    if (!portList) return names;
    for (const PortRecord* record = portList->head; record->next; record = record->next)
        names.emplace_back(reinterpret_cast<const char16_t*>(portList->DisplayName(record)));
    return names;
}

// `memory` with the answer for `names` packed the plain way into the cbBuf
// bytes at `base`, one port after another, its pointers into `caller`'s.
std::vector<BYTE> Packed(std::vector<BYTE> memory, const BYTE* caller, size_t base, size_t cbBuf,
                         DWORD level, const std::vector<std::u16string>& names) {
    BYTE* const buffer = memory.data() + base;
    size_t end = base + cbBuf;
    auto put = [&](const std::u16string& s) {
        end -= Bytes(s);
        std::memcpy(memory.data() + end, s.c_str(), Bytes(s));
        return reinterpret_cast<LPWSTR>(const_cast<BYTE*>(caller) + end);
    };
    for (size_t i = 0; i < names.size(); ++i) {
        if (level == 1) {
            PORT_INFO_1W info;
            info.pName = put(names[i]);
            std::memcpy(buffer + i * sizeof(info), &info, sizeof(info));
        } else {
            PORT_INFO_2W info;
            info.pMonitorName = put(kMonitorName);
            info.pDescription = put(kDescription);
            info.pPortName = put(names[i]);
            info.fPortType = 0;
            info.Reserved = 0;
            std::memcpy(buffer + i * sizeof(info), &info, sizeof(info));
        }
    }
    return memory;
}

class Sequence {
public:
    explicit Sequence(Reader& in) : in_(in) {}

    void Run() {
        StoreInitialPorts();
        Start(0);
        // The first answer lists what the store held.
        FUZZ_CHECK(Listed() == expected_);
        Enum();
        for (int steps = 0; steps < 64 && !in_.empty(); ++steps) {
            switch (in_.Byte() % 6) {
            case 0:
            case 1: Enum(); break;
            case 2: Add(NameOf(in_.Byte())); break;
            case 3: Delete(); break;
            case 4: Stop(); Start(in_.Byte()); break;
            default: Add(in_.String().substr(0, 300)); break;
            }
        }
        Stop();
    }

private:
    // Stored ports, value 1 first; the default port goes where the input
    // says, or in front by initialisation when it is not stored.
    void StoreInitialPorts() {
        const uint8_t defaultAt = in_.Byte();
        const unsigned count = in_.Byte() % 49;
        std::vector<std::u16string> stored;
        for (unsigned i = 0; i < count && !in_.empty(); ++i) {
            std::u16string name = in_.Byte() < 0x40 ? NameOf(in_.Byte()) : in_.String();
            if (name.size() > 259) name.resize(259);
            // Loading lists a name once, and the default port's directory names it.
            bool listed = name.empty() || EqualNoCase(name, u"NORV") ||
                          EqualNoCase(name, u"C:\\WINDOWS\\TEMP\\NORV\\");
            for (const auto& earlier : stored) listed = listed || EqualNoCase(earlier, name);
            if (!listed) stored.push_back(name);
        }
        if (defaultAt < 0x80) stored.insert(stored.begin() + defaultAt % (stored.size() + 1), u"NORV");
        for (size_t i = 0; i < stored.size(); ++i)
            win32layer::RegistrySetString(kRoot, win32layer::U16(std::to_string(i + 1)), stored[i]);
        expected_.assign(stored.rbegin(), stored.rend());
        if (defaultAt >= 0x80) expected_.insert(expected_.begin(), u"NORV");
    }

    std::u16string NameOf(uint8_t selector) {
        const auto listed = Listed();
        if (selector & 0x80 && !listed.empty()) return listed[selector % listed.size()];
        return kNames[selector % kNameCount];
    }

    // A restart; a `fault` below 0x40 fails that read of the store, so that
    // the load stops early and the next change completes the list.
    void Start(uint8_t fault) {
        if (fault && fault < 0x40) win32layer::FailCall(win32layer::Api::RegQueryValueExW, fault);
        DllMain(Module(), DLL_PROCESS_ATTACH, nullptr);
        table_ = InitializePrintMonitor(W(kRoot));
        win32layer::ClearFaults();
        FUZZ_CHECK(table_ != nullptr);
        Changed();
    }
    void Stop() { DllMain(Module(), DLL_PROCESS_DETACH, nullptr); }

    void Add(const std::u16string& name) {
        if (EqualNoCase(name, u"NORV")) {
            PORT_INFO_1W info = {W(name)};
            table_->Monitor.pfnAddPortEx(nullptr, 1, reinterpret_cast<LPBYTE>(&info), nullptr);
        } else {
            win32layer::ChooseFolder(name);
            table_->Monitor.pfnAddPort(nullptr, kOwner, nullptr);
        }
        Changed();
    }

    void Delete() {
        const std::u16string name = NameOf(in_.Byte());
        table_->Monitor.pfnDeletePort(nullptr, kOwner, W(name));
        Changed();
    }

    void Changed() {
        win32layer::ClearMessageBoxes();
        blocksAtChange_ = win32layer::LiveHeapBlocks();
    }

    void Enum() {
        const DWORD level = Level(in_);
        const uint8_t sizeMode = in_.Byte();
        const uint8_t sizeDelta = in_.Byte();
        const uint16_t rawSize = in_.U16();
        const size_t offset = in_.Byte() % 8;
        const auto names = Listed();
        const bool validLevel = level == 1 || level == 2;
        size_t expectedNeeded = 0;
        if (validLevel)
            for (const auto& name : names) expectedNeeded += EntrySize(level, name);

        size_t cbBuf;
        switch (sizeMode % 4) {
        case 0: cbBuf = expectedNeeded; break;
        case 1: cbBuf = expectedNeeded > sizeDelta ? expectedNeeded - sizeDelta : 0; break;
        case 2: cbBuf = expectedNeeded + sizeDelta; break;
        default: cbBuf = rawSize; break;
        }
        const bool nullBuffer = cbBuf == 0 && (sizeMode & 0x80);
        // No memory for the call's own work: the answer must not change.
        if (sizeMode & 0x40) win32layer::FailCall(win32layer::Api::HeapAlloc, 1);

        const std::vector<BYTE> before(kGuard + offset + cbBuf + kGuard, kFill);
        std::vector<BYTE> memory = before;
        BYTE* buffer = nullBuffer ? nullptr : memory.data() + kGuard + offset;
        DWORD needed = 0xDEADBEEF, returned = 0xDEADBEEF;
        SetLastError(0);
        BOOL ok = table_->Monitor.pfnEnumPorts(nullptr, level, buffer, DWORD(cbBuf), &needed, &returned);
        const DWORD error = GetLastError();
        win32layer::ClearFaults();

        if (!validLevel && !names.empty()) {
            FUZZ_CHECK(!ok && error == ERROR_INVALID_LEVEL && needed == 0 && returned == 0);
            FUZZ_CHECK(memory == before);
        } else if (expectedNeeded > cbBuf || (expectedNeeded && nullBuffer)) {
            FUZZ_CHECK(!ok && error == ERROR_INSUFFICIENT_BUFFER);
            FUZZ_CHECK(needed == expectedNeeded && returned == 0);
            FUZZ_CHECK(memory == before);
        } else {
            FUZZ_CHECK(ok && needed == expectedNeeded && returned == names.size());
            FUZZ_CHECK(memory == Packed(before, memory.data(), kGuard + offset, cbBuf, level, names));
        }
        // What EnumPorts keeps is bounded: an answer per level at most.
        FUZZ_CHECK(win32layer::LiveHeapBlocks() <= blocksAtChange_ + 2);
        win32layer::ClearMessageBoxes();
    }

    Reader& in_;
    LPMONITOREX table_ = nullptr;
    std::vector<std::u16string> expected_;
    size_t blocksAtChange_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Baseline baseline;
    Reader in(data, size);
    Sequence(in).Run();
    baseline.CheckReleased();
    return 0;
}
