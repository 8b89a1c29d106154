// StartDocPort with any document name, printer name, job number and level on
// a port of any directory; then the rest of the job. The output name must stay
// inside its record (the port's directory, the document's part, ".xpm"),
// EndDocPort must delete the job it was given, and nothing may leak.
#include "fuzz_support.h"
#include "monitor/state.h"
#include "printers_control.h"

using namespace fuzz;

namespace {

constexpr size_t kPortUnits = 260;
const std::u16string kExtension = u".xpm";

DWORD Level(Reader& in) {
    uint8_t selector = in.Byte();
    if (selector < 0xF0) return selector % 4;
    return in.U32();
}

bool EndsWith(const std::u16string& s, const std::u16string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Baseline baseline;
    Reader in(data, size);
    const DWORD level = Level(in);
    const uint8_t flags = in.Byte();
    const DWORD jobId = in.U32();
    std::u16string path = in.String();
    const std::u16string printer = in.String();
    const std::u16string document = in.String();

    // An empty or default-looking directory prints to the default port instead.
    if (path.size() >= kPortUnits) path.resize(kPortUnits - 1);
    const bool onDefault = path.empty() || EqualNoCase(path, u"NORV");
    if (!onDefault) win32layer::RegistrySetString(kRoot, u"1", path);
    const std::u16string portName = onDefault ? u"NORV" : path;
    const bool printerKnown = !printer.empty() && printer.size() < kPortUnits;
    if (printerKnown) {
        win32layer::AddPrinter(printer);
        win32layer::AddJob(printer, jobId);
    }

    DllMain(Module(), DLL_PROCESS_ATTACH, nullptr);
    LPMONITOREX table = InitializePrintMonitor(W(kRoot));
    FUZZ_CHECK(table != nullptr);
    const MONITOR& m = table->Monitor;
    HANDLE port = nullptr;
    FUZZ_CHECK(m.pfnOpenPort(W(portName), &port) && port);
    const PortRecord* record = static_cast<const PortRecord*>(port);
    const std::u16string directory(reinterpret_cast<const char16_t*>(record->path));

    DOC_INFO_2W info = {};
    info.pDocName = (flags & 1) ? nullptr : W(document);
    LPBYTE docInfo = (flags & 2) ? nullptr : reinterpret_cast<LPBYTE>(&info);
    FUZZ_CHECK(m.pfnStartDocPort(port, W(printer), jobId, level, docInfo));

    // The output name is terminated inside its buffer, keeps the directory up
    // to its last backslash (a stored path need not end in one, and then its
    // last part counts as the file name) and, where the directory leaves
    // room, ends in the extension.
    size_t length = 0;
    while (length < kPortUnits && record->outputFile[length]) ++length;
    FUZZ_CHECK(length < kPortUnits);
    const std::u16string output(reinterpret_cast<const char16_t*>(record->outputFile), length);
    const size_t slash = directory.rfind(u'\\');
    const size_t folder = slash == std::u16string::npos ? 0 : slash + 1;
    FUZZ_CHECK(output.compare(0, folder, directory, 0, folder) == 0);
    if (directory.size() + kExtension.size() < kPortUnits) FUZZ_CHECK(EndsWith(output, kExtension));
    // Without a document name the directory alone takes the extension.
    const bool named = (level == 1 || level == 2) && docInfo && info.pDocName && !document.empty();
    if (!named && directory.size() + kExtension.size() < kPortUnits)
        FUZZ_CHECK(output.size() <= directory.size() + kExtension.size());

    BYTE bytes[16] = {};
    DWORD written = 0;
    FUZZ_CHECK(m.pfnWritePort(port, bytes, sizeof(bytes), &written));
    // A second document cannot start before the first has ended.
    FUZZ_CHECK(!m.pfnStartDocPort(port, W(printer), jobId + 1, level, docInfo));
    FUZZ_CHECK(m.pfnEndDocPort(port));
    FUZZ_CHECK(record->outputFile[0] == 0 && !(record->flags & PORT_DOC_ACTIVE));
    if (printerKnown) {
        for (DWORD job : win32layer::Jobs(printer)) FUZZ_CHECK(job != jobId);
    }
    FUZZ_CHECK(win32layer::OpenPrinterHandleCount() == 0);
    FUZZ_CHECK(m.pfnClosePort(port));

    DllMain(Module(), DLL_PROCESS_DETACH, nullptr);
    baseline.CheckReleased();
    return 0;
}
