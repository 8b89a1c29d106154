// Call counting and fault injection for every part of the layer.
#include <array>
#include <mutex>

#include "layer_internal.h"

namespace win32layer {
namespace {

struct Fault {
    unsigned countdown = 0;  // the call that makes this reach 0 fails
    bool every = false;
    DWORD error = 0;
};

std::mutex faultMutex;
std::array<unsigned, size_t(Api::Count)> calls{};
std::array<Fault, size_t(Api::Count)> faults{};
unsigned totalCalls = 0;
unsigned globalCountdown = 0;

constexpr const char* kNames[] = {
    "RegOpenKeyExW", "RegQueryValueExW", "RegSetValueExW", "RegDeleteValueW", "RegCloseKey",
    "HeapAlloc", "GetTempPathW", "CreateEventW", "OpenPrinterW", "SetJobW", "ClosePrinter",
    "LoadLibraryW", "GetProcAddress", "EnumPortsW", "SHBrowseForFolderW", "SHGetPathFromIDListW",
    "SHGetMalloc", "EnumPrintersW", "GlobalAlloc"};
static_assert(sizeof(kNames) / sizeof(kNames[0]) == size_t(Api::Count), "one name per Api");

}  // namespace

const char* ApiName(Api api) { return kNames[size_t(api)]; }

void FailCall(Api api, unsigned nth, DWORD error) {
    std::lock_guard<std::mutex> guard(faultMutex);
    faults[size_t(api)] = Fault{nth, false, error};
}

void FailEvery(Api api, DWORD error) {
    std::lock_guard<std::mutex> guard(faultMutex);
    faults[size_t(api)] = Fault{0, true, error};
}

void ClearFaults() {
    {
        std::lock_guard<std::mutex> guard(faultMutex);
        faults = {};
        globalCountdown = 0;
    }
    detail::ThawRegistry();
}

unsigned CallCount(Api api) {
    std::lock_guard<std::mutex> guard(faultMutex);
    return calls[size_t(api)];
}

void FailNthCall(unsigned k) {
    std::lock_guard<std::mutex> guard(faultMutex);
    globalCountdown = k;
}

unsigned TotalCallCount() {
    std::lock_guard<std::mutex> guard(faultMutex);
    return totalCalls;
}

void Reset() {
    {
        std::lock_guard<std::mutex> guard(faultMutex);
        calls = {};
        faults = {};
        totalCalls = 0;
        globalCountdown = 0;
    }
    detail::ResetKernel();
    detail::ResetRegistry();
    detail::ResetUser();
    detail::ResetPrinters();
    detail::ResetShell();
    detail::ResetSpooler();
    detail::ResetFiles();
    detail::ResetResources();
}

namespace detail {

bool ShouldFail(Api api, DWORD usual, DWORD* error) {
    std::lock_guard<std::mutex> guard(faultMutex);
    ++calls[size_t(api)];
    ++totalCalls;
    Fault& fault = faults[size_t(api)];
    bool fail = fault.every;
    if (fault.countdown > 0 && --fault.countdown == 0) fail = true;
    if (globalCountdown > 0 && --globalCountdown == 0) fail = true;
    *error = fail && fault.error != 0 ? fault.error : usual;
    return fail;
}

std::u16string Lower(const std::u16string& s) {
    std::u16string out = s;
    for (auto& c : out)
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
    return out;
}

size_t Length(LPCWSTR s) {
    size_t n = 0;
    while (s && s[n]) ++n;
    return n;
}

}  // namespace detail

std::u16string U16(const std::string& utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = utf8[i];
        char32_t cp;
        int extra;
        if (c < 0x80) { cp = c; extra = 0; }
        else if ((c >> 5) == 6) { cp = c & 0x1F; extra = 1; }
        else if ((c >> 4) == 14) { cp = c & 0x0F; extra = 2; }
        else { cp = c & 0x07; extra = 3; }
        ++i;
        for (int k = 0; k < extra && i < utf8.size(); ++k, ++i) cp = (cp << 6) | (utf8[i] & 0x3F);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

std::string U8(const std::u16string& utf16) {
    std::string out;
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < utf16.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[++i] - 0xDC00);
        }
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

}  // namespace win32layer
