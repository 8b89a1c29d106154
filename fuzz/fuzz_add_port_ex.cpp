// AddPortEx with any level, any buffer and any name. The record lies in a
// heap block of exactly its level's size (for other levels, of a size the
// input picks) and the name in one of exactly its units and terminator, so
// AddressSanitizer catches any read outside what the caller gave. The call
// answers ERROR_SUCCESS exactly when it added one new port, an existing
// folder, on top of the list and of the store; otherwise the list and the
// store are as before. No added name holds a comma. No window opens and
// nothing leaks.
#include "files_control.h"
#include "fuzz_support.h"
#include "shell_control.h"

#include <filesystem>

using namespace fuzz;

namespace {

// Folders that exist on drive C:, so that names get past the existence check.
const std::string& DriveRoot() {
    static const std::string root = [] {
        auto dir = std::filesystem::temp_directory_path() / "norv-fuzz-add-port-ex";
        for (const char* sub : {"Out/Scans", "Out/Tmp", "a", "a,b"})
            std::filesystem::create_directories(dir / sub);
        return dir.string();
    }();
    return root;
}

std::vector<std::pair<std::u16string, std::u16string>> Stored() {
    std::vector<std::pair<std::u16string, std::u16string>> values;
    for (const auto& value : win32layer::RegistryValues(kRoot)) values.emplace_back(value.name, value.AsString());
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Baseline baseline;
    win32layer::MapDrive(u'C', DriveRoot());
    win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
    Reader in(data, size);
    const uint8_t selector = in.Byte();
    const DWORD level = selector < 0xF0 ? selector % 4 : in.U32();
    const uint8_t shape = in.Byte();  // 1: no buffer, 2: no name, 4: default port deleted
    const size_t otherBytes = in.Byte() % 48;
    const std::u16string given = in.String();

    win32layer::RegistrySetString(kRoot, u"1", u"C:\\Out\\Tmp\\");
    if (!(shape & 4)) win32layer::RegistrySetString(kRoot, u"2", u"NORV");
    DllMain(Module(), DLL_PROCESS_ATTACH, nullptr);
    LPMONITOREX table = InitializePrintMonitor(W(kRoot));
    FUZZ_CHECK(table != nullptr);
    if (shape & 4) {
        table->Monitor.pfnDeletePort(nullptr, nullptr, W(u"NORV"));
        win32layer::ClearMessageBoxes();
    }
    const std::vector<std::u16string> before = Ports(table);
    const auto storedBefore = Stored();

    auto* name = static_cast<char16_t*>(std::malloc((given.size() + 1) * sizeof(char16_t)));
    std::memcpy(name, given.c_str(), (given.size() + 1) * sizeof(char16_t));
    LPWSTR namePointer = (shape & 2) ? nullptr : reinterpret_cast<LPWSTR>(name);
    const size_t recordBytes = level == 1 ? sizeof(PORT_INFO_1W) : level == 2 ? sizeof(PORT_INFO_2W) : otherBytes;
    auto* record = static_cast<uint8_t*>(std::malloc(recordBytes ? recordBytes : 1));
    if (level == 1 || level == 2) {
        std::memset(record, 0, recordBytes);
        std::memcpy(record, &namePointer, sizeof(namePointer));
    } else {
        std::vector<uint8_t> bytes = in.Bytes(recordBytes);
        bytes.resize(recordBytes, 0xA5);
        if (recordBytes) std::memcpy(record, bytes.data(), recordBytes);
    }
    LPBYTE buffer = (shape & 1) ? nullptr : record;

    SetLastError(0xDEAD);
    const BOOL added = table->Monitor.pfnAddPortEx(nullptr, level, buffer, W(u"NORV Monitor"));
    const DWORD error = GetLastError();
    FUZZ_CHECK((added != FALSE) == (error == ERROR_SUCCESS));
    if (level != 1 && level != 2) FUZZ_CHECK(error == ERROR_INVALID_LEVEL);
    else if (!buffer || !namePointer || given.empty()) FUZZ_CHECK(error == ERROR_INVALID_PARAMETER);

    const std::vector<std::u16string> after = Ports(table);
    if (added) {
        FUZZ_CHECK(after.size() == before.size() + 1);
        FUZZ_CHECK(std::equal(before.begin(), before.end(), after.begin() + 1));
        const std::u16string& port = after.front();
        for (const auto& old : before) FUZZ_CHECK(!EqualNoCase(old, port));
        FUZZ_CHECK(port.size() < 260);
        // A printer's port list would read it as two ports.
        FUZZ_CHECK(port.find(u',') == std::u16string::npos);
        if (port != u"NORV") {
            FUZZ_CHECK(port.back() == u'\\');
            const DWORD attributes = GetFileAttributesW(W(port));
            FUZZ_CHECK(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
        }
        std::u16string top;
        for (char c : std::to_string(after.size())) top += char16_t(c);
        auto value = win32layer::RegistryGetValue(kRoot, top);
        FUZZ_CHECK(value && value->AsString() == port);
    } else {
        FUZZ_CHECK(after == before);
        FUZZ_CHECK(Stored() == storedBefore);
    }
    FUZZ_CHECK(win32layer::MessageBoxes().empty());
    FUZZ_CHECK(win32layer::FolderBrowserCalls().empty());

    std::free(record);
    std::free(name);
    DllMain(Module(), DLL_PROCESS_DETACH, nullptr);
    baseline.CheckReleased();
    return 0;
}
