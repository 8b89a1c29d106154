// The modern monitor's Xcv door as any client may knock on it: any sequence
// of XcvOpenPort with any granted access, XcvDataPort with any command name
// (the real ones, near misses, other cases, names running on past a real
// one), any input bytes in a heap block of exactly the length given (names
// with and without their terminator, odd lengths, none), any output size
// with or without a buffer, with or without a handle, and XcvClosePort; any
// registry call the command makes may fail.
// After every call:
//  - the needed size is what the command documents, and nothing is written
//    past it (AddressSanitizer guards the end of each block);
//  - a refused command changes neither the list nor the store, and nothing
//    changes without SERVER_ACCESS_ADMINISTER;
//  - an add puts one port on top, a delete takes out the one named, and the
//    store then holds exactly the list; a failed one changes neither (the
//    values a delete moved are written back), and one that met no failure
//    does not fail;
//  - "PortExists" answers whether the monitor lists the name.
// After shutdown and detach nothing the monitor took is left.
#include <filesystem>

#include "files_control.h"
#include "fuzz_support.h"
#include "xcv/xcv.h"
#include "xcv_control.h"

using namespace fuzz;

namespace {

const std::u16string kUi = u"norvmonui.dll";
const DWORD kUiBytes = DWORD((kUi.size() + 1) * sizeof(char16_t));
const std::u16string kDirectory = u"C:\\WINDOWS\\TEMP\\NORV\\";

const char16_t* const kCommands[] = {
    u"MonitorUI", u"PortExists", u"AddPort",    u"DeletePort", u"monitorui",  u"MONITORUI",
    u"portexists", u"addport",   u"DELETEPORT", u"MonitorU",   u"MonitorUI ", u"AddPortX",
    u"DeletePor", u"PortExistsPortExists", u"",  u"ConfigurePort",
};
constexpr size_t kCommandCount = sizeof(kCommands) / sizeof(kCommands[0]);

const char16_t* const kNames[] = {
    u"C:\\Out\\Scans", u"C:\\Out\\Scans\\", u"c:\\OUT\\scans\\", u"C:\\Out\\Tmp\\",
    u"C:\\a\\",        u"NORV",             u"norv",             u"C:\\WINDOWS\\TEMP\\NORV\\",
    u"C:\\Missing\\",  u"LPT1:",            u"Scans",            u"C:\\Out\\..\\a",
};
constexpr size_t kNameCount = sizeof(kNames) / sizeof(kNames[0]);

// The registry calls the store makes through the spooler's functions.
const win32layer::Api kRegistryCalls[] = {win32layer::Api::RegQueryValueExW,
                                          win32layer::Api::RegSetValueExW,
                                          win32layer::Api::RegDeleteValueW};

const ACCESS_MASK kAccesses[] = {0, SERVER_ACCESS_ADMINISTER, 0x000F0003 /* all access */,
                                 SERVER_ACCESS_ENUMERATE};

// Folders on drive C: that exist, so that adds get past the existence check.
const std::string& DriveRoot() {
    static const std::string root = [] {
        auto dir = std::filesystem::temp_directory_path() / "norv-fuzz-xcv";
        for (const char* sub : {"Out/Scans", "Out/Tmp", "a"}) std::filesystem::create_directories(dir / sub);
        return dir.string();
    }();
    return root;
}

// A heap block of exactly `bytes` bytes (none for 0), freed with the object.
class Block {
public:
    explicit Block(size_t bytes) : data_(bytes ? static_cast<BYTE*>(std::malloc(bytes)) : nullptr) {}
    ~Block() { std::free(data_); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    BYTE* data() const { return data_; }

private:
    BYTE* data_;
};

using Names = std::vector<std::u16string>;
using Stored = std::vector<std::pair<std::u16string, std::u16string>>;

Stored StoredValues() {
    Stored values;
    for (const auto& value : win32layer::RegistryValues(kRoot)) values.emplace_back(value.name, value.AsString());
    return values;
}

// The stored ports, value 1 first.
Names StoredPorts() {
    Names ports;
    for (unsigned i = 1;; ++i) {
        auto value = win32layer::RegistryGetValue(kRoot, win32layer::U16(std::to_string(i)));
        if (!value) return ports;
        ports.push_back(value->AsString());
    }
}

// What the monitor reads from input bytes: the status, and the name when it
// reads one.
DWORD ReadModel(const std::vector<uint8_t>& bytes, bool present, std::u16string* name) {
    if (!present) return ERROR_INVALID_PARAMETER;
    for (size_t i = 0; i < bytes.size() / 2; ++i) {
        const char16_t unit = char16_t(bytes[2 * i] | (bytes[2 * i + 1] << 8));
        if (i == 260) return ERROR_INVALID_NAME;
        if (!unit) return i == 0 ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
        *name += unit;
    }
    return ERROR_INVALID_PARAMETER;
}

class Session {
public:
    explicit Session(Reader& in) : in_(in) {}

    void Run() {
        win32layer::MapDrive(u'C', DriveRoot());
        const uint8_t stored = in_.Byte();
        if (stored & 1) win32layer::RegistrySetString(kRoot, u"1", u"C:\\Out\\Tmp\\");
        if (stored & 2) win32layer::RegistrySetString(kRoot, stored & 1 ? u"2" : u"1", u"NORV");
        win32layer::RegistryCreateKey(kRoot);
        Start();
        for (int steps = 0; steps < 32 && !in_.empty(); ++steps) {
            const uint8_t code = in_.Byte();
            switch (code % 4) {
            case 0: Open(); break;
            case 1: Close(code >> 2); break;
            default: Data(code >> 2); break;
            }
        }
        for (HANDLE xcv : open_) FUZZ_CHECK(table_->pfnXcvClosePort(xcv));
        Stop();
    }

private:
    void Start() {
        DllMain(Module(), DLL_PROCESS_ATTACH, nullptr);
        FUZZ_CHECK(RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(kRoot), 0, KEY_READ | KEY_WRITE, &key_) ==
                   ERROR_SUCCESS);
        MONITORINIT init = {sizeof(MONITORINIT), reinterpret_cast<HANDLE>(0x5000), key_,
                            const_cast<PMONITORREG>(win32layer::MonitorReg()), TRUE, nullptr};
        table_ = InitializePrintMonitor2(&init, &monitor_);
        FUZZ_CHECK(table_ != nullptr);
        win32layer::SetSpoolerMonitor2(table_, monitor_, u"NORV Monitor");
    }

    void Stop() {
        win32layer::SetSpoolerMonitor2(nullptr, nullptr, u"");
        table_->pfnShutdown(monitor_);
        RegCloseKey(key_);
        DllMain(Module(), DLL_PROCESS_DETACH, nullptr);
    }

    ACCESS_MASK Access() {
        const uint8_t selector = in_.Byte();
        return selector < 0xF0 ? kAccesses[selector % 4] : in_.U32();
    }

    void Open() {
        const ACCESS_MASK access = Access();
        const std::u16string object = in_.Byte() & 1 ? u"" : u",XcvMonitor NORV Monitor";
        HANDLE xcv = nullptr;
        FUZZ_CHECK(table_->pfnXcvOpenPort(monitor_, W(object), access, &xcv));
        FUZZ_CHECK(xcv != nullptr);
        open_.push_back(xcv);
        granted_.push_back(access);
    }

    void Close(uint8_t which) {
        if (open_.empty()) return;
        const size_t i = which % open_.size();
        FUZZ_CHECK(table_->pfnXcvClosePort(open_[i]));
        open_.erase(open_.begin() + long(i));
        granted_.erase(granted_.begin() + long(i));
    }

    std::u16string Command() {
        const uint8_t selector = in_.Byte();
        if (selector < 0xE0) return kCommands[selector % kCommandCount];
        return in_.String();  // anything, up to a 0 unit
    }

    // Input bytes: a name from the set, with or without its terminator, cut
    // or padded to an odd length, or raw bytes; `present` false for none.
    std::vector<uint8_t> Input(bool* present) {
        const uint8_t shape = in_.Byte();
        *present = shape % 5 != 0;
        std::vector<uint8_t> bytes;
        if (shape % 5 == 4) {
            bytes = in_.Bytes(in_.Byte());
        } else if (*present) {
            const std::u16string name =
                shape & 0x80 ? std::u16string(300, u'x') : kNames[(shape >> 3) % kNameCount];
            const size_t units = name.size() + (shape % 5 == 1 ? 0 : 1);
            bytes.resize(units * 2);
            std::memcpy(bytes.data(), name.c_str(), bytes.size());
            if (shape % 5 == 3) bytes.push_back(uint8_t(shape));  // odd length
        }
        return bytes;
    }

    Names Listed() const {
        DWORD needed = 0, returned = 0;
        table_->pfnEnumPorts(monitor_, nullptr, 1, nullptr, 0, &needed, &returned);
        std::vector<BYTE> buffer(needed ? needed : 1);
        FUZZ_CHECK(table_->pfnEnumPorts(monitor_, nullptr, 1, buffer.data(), needed, &needed, &returned));
        Names names;
        for (DWORD i = 0; i < returned; ++i) {
            PORT_INFO_1W info;
            std::memcpy(&info, buffer.data() + i * sizeof(info), sizeof(info));
            names.emplace_back(reinterpret_cast<const char16_t*>(info.pName));
        }
        return names;
    }

    // The port a name names: its listed name, or the default port's directory.
    static int Named(const Names& listed, const std::u16string& name) {
        for (size_t i = 0; i < listed.size(); ++i)
            if (EqualNoCase(listed[i], name) || (listed[i] == u"NORV" && EqualNoCase(kDirectory, name)))
                return int(i);
        return -1;
    }

    void Data(uint8_t how) {
        // A handle opened before, or none.
        const bool withHandle = !open_.empty() && how % 4 != 0;
        const size_t which = withHandle ? in_.Byte() % open_.size() : 0;
        HANDLE xcv = withHandle ? open_[which] : nullptr;
        const ACCESS_MASK access = withHandle ? granted_[which] : 0;
        const bool noCommand = in_.Byte() == 0xFF;
        const std::u16string command = noCommand ? u"" : Command();
        bool present = false;
        const std::vector<uint8_t> input = Input(&present);
        const uint8_t outShape = in_.Byte();
        const DWORD outBytes = outShape < 0xF0 ? outShape % 40 : in_.U32();
        const bool outBuffer = outShape % 7 != 0 && outBytes <= 64;
        const bool neededPointer = outShape % 11 != 0;

        // Exactly the bytes given; a command name of exactly its units.
        Block inBlock(input.size());
        if (!input.empty()) std::memcpy(inBlock.data(), input.data(), input.size());
        Block commandBlock((command.size() + 1) * sizeof(char16_t));
        std::memcpy(commandBlock.data(), command.c_str(), (command.size() + 1) * sizeof(char16_t));
        Block outBlock(outBuffer ? outBytes : 0);
        if (outBuffer && outBytes) std::memset(outBlock.data(), 0xA5, outBytes);

        // Now and then the nth call of one registry function fails.
        const uint8_t fault = in_.Byte();
        // (A command makes a few calls: the store holds a few ports.)
        const win32layer::Api faulted = kRegistryCalls[(fault >> 2) % 3];
        const unsigned nth = (fault & 0x03) + 1;
        const unsigned callsBefore = win32layer::CallCount(faulted);

        const Names before = Listed();
        const Stored storedBefore = StoredValues();
        DWORD needed = 0xDEADBEEF;
        if (fault & 0x80) win32layer::FailCall(faulted, nth);
        const DWORD status = table_->pfnXcvDataPort(
            xcv, noCommand ? nullptr : reinterpret_cast<LPCWSTR>(commandBlock.data()), present ? inBlock.data() : nullptr,
            DWORD(input.size()), outBuffer ? outBlock.data() : nullptr, outBytes,
            neededPointer ? &needed : nullptr);
        win32layer::ClearFaults();
        const bool struck = (fault & 0x80) && win32layer::CallCount(faulted) - callsBefore >= nth;
        const Names after = Listed();
        const Stored storedAfter = StoredValues();
        const bool changed = after != before || storedAfter != storedBefore;
        const bool fits = outBuffer && outBytes > 0;

        if (noCommand) {
            FUZZ_CHECK(status == DWORD(xcv ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE));
            if (neededPointer) FUZZ_CHECK(needed == 0);
        } else if (command == u"MonitorUI") {
            if (neededPointer) FUZZ_CHECK(needed == kUiBytes);
            FUZZ_CHECK(status == (fits && outBytes >= kUiBytes ? DWORD(ERROR_SUCCESS)
                                                               : DWORD(ERROR_INSUFFICIENT_BUFFER)));
            if (status == ERROR_SUCCESS)
                FUZZ_CHECK(std::memcmp(outBlock.data(), kUi.c_str(), kUiBytes) == 0);
        } else if (!xcv) {
            FUZZ_CHECK(status == ERROR_INVALID_HANDLE);
            if (neededPointer) FUZZ_CHECK(needed == 0);
        } else if (command == u"PortExists") {
            if (neededPointer) FUZZ_CHECK(needed == sizeof(DWORD));
            std::u16string name;
            const DWORD read = ReadModel(input, present, &name);
            if (!fits || outBytes < sizeof(DWORD)) {
                FUZZ_CHECK(status == ERROR_INSUFFICIENT_BUFFER);
            } else {
                FUZZ_CHECK(status == read);
                DWORD answer = 2;
                if (read == ERROR_SUCCESS) {
                    std::memcpy(&answer, outBlock.data(), sizeof(answer));
                    FUZZ_CHECK(answer == (Named(before, name) >= 0 ? 1u : 0u));
                }
            }
        } else if (command == u"AddPort" || command == u"DeletePort") {
            if (neededPointer) FUZZ_CHECK(needed == 0);
            std::u16string name;
            const DWORD read = ReadModel(input, present, &name);
            if (!(access & SERVER_ACCESS_ADMINISTER)) FUZZ_CHECK(status == ERROR_ACCESS_DENIED);
            else if (read != ERROR_SUCCESS) FUZZ_CHECK(status == read);
            else if (command == u"DeletePort" && Named(before, name) < 0)
                FUZZ_CHECK(status == ERROR_UNKNOWN_PORT);
            else if (command == u"DeletePort" && !struck)
                FUZZ_CHECK(status == ERROR_SUCCESS);
            if (status == ERROR_SUCCESS) CheckChange(command == u"AddPort", name, before, after);
        } else {
            if (neededPointer) FUZZ_CHECK(needed == 0);
            FUZZ_CHECK(status == ERROR_INVALID_PARAMETER);
        }
        // Nothing past what the command says it needs.
        if (fits) {
            DWORD used = 0;
            if (status == ERROR_SUCCESS && command == u"MonitorUI") used = kUiBytes;
            if (status == ERROR_SUCCESS && command == u"PortExists") used = sizeof(DWORD);
            for (DWORD i = used; i < outBytes; ++i) FUZZ_CHECK(outBlock.data()[i] == 0xA5);
        }
        if (status != ERROR_SUCCESS || !(access & SERVER_ACCESS_ADMINISTER)) FUZZ_CHECK(!changed);
    }

    // A successful add or delete: one port more on top, or the one named
    // gone; the store holds the list, head last.
    void CheckChange(bool add, const std::u16string& name, const Names& before, const Names& after) {
        if (add) {
            FUZZ_CHECK(after.size() == before.size() + 1);
            FUZZ_CHECK(Names(after.begin() + 1, after.end()) == before);
            FUZZ_CHECK(Named(before, after[0]) < 0);
        } else {
            const int at = Named(before, name);
            FUZZ_CHECK(at >= 0);
            Names expected = before;
            expected.erase(expected.begin() + at);
            FUZZ_CHECK(after == expected);
        }
        FUZZ_CHECK(StoredPorts() == Names(after.rbegin(), after.rend()));
    }

    Reader& in_;
    LPMONITOR2 table_ = nullptr;
    HANDLE monitor_ = nullptr;
    HKEY key_ = nullptr;
    std::vector<HANDLE> open_;
    std::vector<ACCESS_MASK> granted_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Baseline baseline;
    {
        Reader in(data, size);
        Session session(in);
        session.Run();
    }
    baseline.CheckReleased();
    return 0;
}
