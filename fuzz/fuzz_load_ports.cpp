// Loading the port list from whatever a registry key may hold: any value
// names, types and lengths, strings without terminators, gaps, duplicates,
// with an odd temporary path and, now and then, one failing platform call.
// The list must be the stored ports read up to the first gap or oversized
// value, the registry must load back to the same list, and detach must
// release everything.
#include "port_model.h"

using namespace fuzz;

namespace {

std::u16string ValueName(uint8_t selector) {
    static const char16_t* const kOdd[] = {u"", u"01", u"a", u"1 ", u"4294967297", u"-1", u"0"};
    if (selector >= 0xF0) return kOdd[(selector - 0xF0) % (sizeof(kOdd) / sizeof(kOdd[0]))];
    return win32layer::U16(std::to_string(selector & 0x1F));
}

bool Contains(const std::vector<std::u16string>& list, const std::u16string& name) {
    for (const auto& entry : list)
        if (EqualNoCase(entry, name)) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Baseline baseline;
    Reader in(data, size);
    const uint8_t flags = in.Byte();
    const unsigned failAt = (flags & 1) ? in.Byte() + 1u : 0;
    std::u16string tempPath = u"C:\\WINDOWS\\TEMP\\";
    if (flags & 2) {
        tempPath = in.String();
        win32layer::SetTempPath(tempPath);
    }
    // The monitor's directory for the default port must fit a record with "NORV\".
    const bool defaultPossible = tempPath.size() + 5 < kPortUnits;

    win32layer::RegistryCreateKey(kRoot);
    while (!in.empty()) {
        std::u16string name = ValueName(in.Byte());
        DWORD type = in.Byte();
        size_t bytes = in.U16() % 1100;
        std::vector<uint8_t> value = in.Bytes(bytes);
        win32layer::RegistrySetValue(kRoot, name, type, value.data(), value.size());
    }
    if (flags & 4) win32layer::RegistryDeleteKey(kRoot);
    const std::vector<std::u16string> storedBefore = ReadablePorts();
    const std::vector<std::u16string> expected =
        ModelNames(InitialiseModel(storedBefore, defaultPossible, tempPath + u"NORV\\"));

    if (failAt) win32layer::FailNthCall(failAt);
    DllMain(Module(), DLL_PROCESS_ATTACH, nullptr);
    LPMONITOREX table = InitializePrintMonitor(W(kRoot));
    win32layer::ClearFaults();
    FUZZ_CHECK(table != nullptr);
    const std::vector<std::u16string> ports = Ports(table);
    for (const auto& port : ports) FUZZ_CHECK(!port.empty() && port.size() < kPortUnits);

    // Whatever failed, every port that could be read is still stored; a
    // failure may only cost the new default port its place in the registry.
    const std::vector<std::u16string> storedAfter = ReadablePorts();
    for (const auto& port : storedBefore) FUZZ_CHECK(Contains(storedAfter, port));
    if (!failAt) FUZZ_CHECK(ports == expected);
    DllMain(Module(), DLL_PROCESS_DETACH, nullptr);
    baseline.CheckReleased();

    if (!failAt) {
        // What was stored loads back to the same list.
        DllMain(Module(), DLL_PROCESS_ATTACH, nullptr);
        table = InitializePrintMonitor(W(kRoot));
        FUZZ_CHECK(Ports(table) == ports);
        DllMain(Module(), DLL_PROCESS_DETACH, nullptr);
        baseline.CheckReleased();
    }
    return 0;
}
