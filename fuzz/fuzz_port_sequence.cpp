// Any sequence of what happens to the port list: starts over any stored
// values, AddPort with the folder browser answering a folder from a small set
// of case and Unicode variants (or cancelling), AddPortEx at level 1 or 2 with
// a folder of the same set (or a missing one, a relative path, or the default
// port's name), DeletePort, the same add and delete as Xcv commands (with and
// without SERVER_ACCESS_ADMINISTER), job cycles (also
// ones left open across other steps), restarts, and any platform call failing
// at a point the input chooses. The monitor is checked against a plain model
// of the list after every step:
//  - no name is listed twice;
//  - a step without a failure gives exactly the model's list;
//  - a change reported as made leaves the store holding exactly the list; one
//    reported as failed (or refused) leaves the list as it was, or as the
//    store's ports the last load missed complete it, whether or not a fault
//    struck;
//  - every port the user did not delete stays stored, and a failed change
//    loses none.
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "files_control.h"
#include "monitor/state.h"
#include "port_model.h"
#include "printers_control.h"
#include "shell_control.h"
#include "xcv/xcv.h"

#include <shlobj.h>

using namespace fuzz;

namespace {

// The default port's directory on the layer's default temp path.
const std::u16string kDirectory = u"C:\\WINDOWS\\TEMP\\NORV\\";
const std::u16string kPrinter = u"P";
const HWND kOwner = reinterpret_cast<HWND>(0x4711);

// What the folder browser answers; past the end it cancels.
const char16_t* const kFolders[] = {
    u"C:\\ÄRZTE",  u"C:\\ärzte", u"c:\\Ärzte\\", u"D:\\Scans",  u"d:\\SCANS",
    u"E:\\",       u"D:\\ΣΟΦΙΑ", u"d:\\σοφια",  u"D:\\Straße", u"D:\\STRAẞE",
    u"F:\\ıx",     u"F:\\IX",    u"C:\\WINDOWS\\TEMP\\NORV",    u"c:\\windows\\temp\\norv\\",
};
constexpr size_t kFolderCount = sizeof(kFolders) / sizeof(kFolders[0]);

// What a program hands AddPortEx beyond the folders above: a folder that does
// not exist, a relative path, and the default port's name.
const char16_t* const kMissingFolder = u"D:\\Missing";
const char16_t* const kExFolders[] = {kMissingFolder, u"Scans", u"NORV", u"norv"};
constexpr size_t kExFolderCount = kFolderCount + sizeof(kExFolders) / sizeof(kExFolders[0]);

// The drives of the folders above over one native directory per process,
// mapped anew after each reset; each folder exists, made once. Folders of
// one name in another case share a directory where the layer finds them so.
class Drives {
public:
    Drives() : root_(std::filesystem::temp_directory_path() /
                     ("norv-fuzz-port-sequence-" + std::to_string(getpid()))) {
        for (char16_t letter : kLetters) std::filesystem::create_directories(Drive(letter));
        Map();
        for (const char16_t* folder : kFolders)
            if (GetFileAttributesW(reinterpret_cast<LPCWSTR>(folder)) == INVALID_FILE_ATTRIBUTES)
                std::filesystem::create_directories(win32layer::NativePath(folder));
    }
    ~Drives() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    void Map() const {
        for (char16_t letter : kLetters) win32layer::MapDrive(letter, Drive(letter).string());
    }

private:
    static constexpr char16_t kLetters[] = {u'C', u'D', u'E', u'F'};
    std::filesystem::path Drive(char16_t letter) const { return root_ / std::string(1, char(letter)); }
    std::filesystem::path root_;
};

void MapDrives() {
    static const Drives drives;  // removed at exit
    drives.Map();
}

// A folder as the port name AddPort makes of it.
std::u16string PortOf(const std::u16string& folder) {
    return folder.back() == u'\\' ? folder : folder + u'\\';
}

// Names a user or the spooler may give: the folders as ports, the default
// port in two spellings, and a port of another monitor.
std::u16string NameOf(uint8_t selector) {
    const size_t i = selector % (kFolderCount + 3);
    if (i < kFolderCount) return PortOf(kFolders[i]);
    static const char16_t* const kOthers[] = {u"NORV", u"norv", u"LPT1:"};
    return kOthers[i - kFolderCount];
}

const std::u16string kTakenText =
    u"The port cannot be added, because there\nis another one with the same name.";
const std::u16string kUnreadText = u"The list of ports could not be read.\n\nNothing was changed.";
const std::u16string kUnsavedText = u"The port list could not be saved.\n\nNothing was changed.";
const std::u16string kNoMemoryText = u"The port could not be added: not enough memory.";
const std::u16string kUnknownText = u"An unknown error has occurred\n\nCouldn't remove the port.";

enum class Op : uint8_t {
    AddPort,
    AddPortEx,
    DeletePort,
    JobCycle,
    JobStart,  // open and start a document, left open for later steps
    JobEnd,    // end and close the oldest job left open
    Restart,
    Count
};
// Codes from here on (low seven bits) are the Xcv commands, even "AddPort",
// odd "DeletePort"; those below map to the operations above.
constexpr uint8_t kXcvCodes = 0x70;

class Sequence {
public:
    explicit Sequence(Reader& in) : in_(in) {}

    void Run() {
        win32layer::AddPrinter(kPrinter);
        MapDrives();
        StoreInitialPorts();
        const uint8_t startFault = in_.Byte();
        Start(startFault & 0x80 ? startFault % 64 + 1 : 0);
        for (int steps = 0; steps < 48 && !in_.empty(); ++steps) {
            const uint8_t code = in_.Byte();
            const unsigned fault = (code & 0x80) ? TakeFault() : 0;
            if (trace_) std::fprintf(stderr, "op %d, fault at call %u (0: none)\n", (code & 0x7F) % int(Op::Count), fault);
            if ((code & 0x7F) >= kXcvCodes) {
                const uint8_t argument = in_.Byte();
                if (code & 1) XcvDeletePort(NameOf(argument), argument & 0x80, fault);
                else AddPortEx(argument, fault, true);
                continue;
            }
            switch (Op((code & 0x7F) % uint8_t(Op::Count))) {
            case Op::AddPort: AddPort(in_.Byte(), fault); break;
            case Op::AddPortEx: AddPortEx(in_.Byte(), fault); break;
            case Op::DeletePort: DeletePort(NameOf(in_.Byte()), fault); break;
            case Op::JobCycle: JobCycle(NameOf(in_.Byte()), fault); break;
            case Op::JobStart: JobStart(NameOf(in_.Byte()), fault); break;
            case Op::JobEnd: JobEnd(fault); break;
            case Op::Restart: Stop(); Start(fault); break;
            case Op::Count: break;
            }
        }
        Stop();
    }

private:
    unsigned TakeFault() { return in_.Byte() % 64 + 1; }

    // Values 1..n from the name set, some spelled twice, now and then a gap.
    void StoreInitialPorts() {
        win32layer::RegistryCreateKey(kRoot);
        const unsigned count = in_.Byte() % 8;
        unsigned value = 1;
        for (unsigned i = 0; i < count; ++i) {
            const uint8_t selector = in_.Byte();
            if (selector == 0xFF) ++value;  // leaves a gap: what lies beyond never loads
            win32layer::RegistrySetString(kRoot, win32layer::U16(std::to_string(value++)),
                                          NameOf(selector));
        }
        mustStore_ = ModelNames(LoadModel(ReadablePorts(), true));
    }

    // ---- Faults ----
    void Arm(unsigned fault) {
        callsBefore_ = win32layer::TotalCallCount();
        if (fault) win32layer::FailNthCall(fault);
    }
    // Clears the fault; true when it struck during the step.
    bool Disarm(unsigned fault) {
        win32layer::ClearFaults();
        return fault && win32layer::TotalCallCount() - callsBefore_ >= fault;
    }

    std::vector<win32layer::MessageBoxCall> TakeBoxes() {
        auto boxes = win32layer::MessageBoxes();
        win32layer::ClearMessageBoxes();
        if (trace_)
            for (const auto& box : boxes) std::fprintf(stderr, "  box: %s\n", win32layer::U8(box.text).c_str());
        for (const auto& box : boxes) {
            FUZZ_CHECK(!box.lockHeld);
            FUZZ_CHECK(box.type == MB_OK);
        }
        FUZZ_CHECK(boxes.size() <= 1);
        return boxes;
    }

    // ---- Steps ----
    void Start(unsigned fault) {
        const auto storedBefore = ReadablePorts();
        Arm(fault);
        DllMain(Module(), DLL_PROCESS_ATTACH, nullptr);
        table_ = InitializePrintMonitor(W(kRoot));
        const bool struck = Disarm(fault);
        FUZZ_CHECK(table_ != nullptr);
        win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
        // A failed temp path look-up leaves the default port a directory of
        // its own: the model follows the module.
        directory_ = portList ? std::u16string(portList->tempDirectory) : kDirectory;
        // Without its copy of the key's name it reads nothing and saves nothing.
        canSave_ = registryRoot != nullptr;
        if (!struck) {
            model_ = InitialiseModel(storedBefore, true, directory_);
            incomplete_ = false;
        } else {
            // Whatever failed, what is listed was stored or is the default port.
            const auto readable = ReadablePorts();
            for (const auto& name : Listed()) {
                bool known = name == u"NORV";
                for (const auto& stored : readable) known = known || EqualNoCase(stored, name);
                FUZZ_CHECK(known);
            }
            Resync();
        }
        Check(struck, false);
    }

    void Stop() {
        if (!table_) return;
        held_.clear();  // the spooler that held them is gone too
        DllMain(Module(), DLL_PROCESS_DETACH, nullptr);
        table_ = nullptr;
        baseline_.CheckReleased();
    }

    void AddPort(uint8_t answer, unsigned fault) {
        const bool cancel = answer % (kFolderCount + 1) == kFolderCount;
        const std::u16string port = cancel ? u"" : PortOf(kFolders[answer % (kFolderCount + 1)]);
        // A browser that failed left its answer queued: take it away first.
        for (;;) {
            BROWSEINFOW info = {};
            PIDLIST_ABSOLUTE left = SHBrowseForFolderW(&info);
            if (!left) break;
            CoTaskMemFree(left);
        }
        if (cancel) win32layer::CancelFolderBrowser();
        else win32layer::ChooseFolder(kFolders[answer % (kFolderCount + 1)]);
        const ModelList before = model_;
        const auto storedBefore = ReadablePorts();
        const Unchanged unchanged = Before(storedBefore);

        Arm(fault);
        FUZZ_CHECK(table_->Monitor.pfnAddPort(nullptr, kOwner, W(u"NORV Monitor")));
        const bool struck = Disarm(fault);
        const auto boxes = TakeBoxes();
        const std::u16string text = boxes.empty() ? u"" : boxes[0].text;

        if (!struck) {
            // What the model says must happen.
            if (cancel) {
                FUZZ_CHECK(boxes.empty());
            } else if (!portList || Count(model_, port) > 0) {
                // The spooler's list, checked before the lock, has it already;
                // without a list (no memory at attach) every name counts as taken.
                FUZZ_CHECK(text == kTakenText);
            } else {
                // Under the lock the store is read again first when the last
                // load missed ports; the name may be one of those, or the
                // default port's directory.
                ModelList completed = CompletedModel(storedBefore);
                if (FindPort(completed, port, directory_) >= 0) {
                    FUZZ_CHECK(text == kTakenText);
                } else if (!canSave_) {
                    FUZZ_CHECK(text == kUnsavedText);  // taken back out
                } else {
                    FUZZ_CHECK(boxes.empty());
                    completed.insert(completed.begin(), ModelPort{port, false});
                }
                model_ = completed;
                incomplete_ = false;
            }
        } else {
            FUZZ_CHECK(boxes.empty() || text == kTakenText || text == kUnreadText ||
                       text == kUnsavedText || text == kNoMemoryText ||
                       boxes[0].caption == u"Port not added");
            Resync();
        }
        // Added: no box, and the new port heads the list. The user was told of
        // every other outcome, and nothing else may have added it.
        const bool added = !cancel && boxes.empty() && !model_.empty() && model_[0].name == port &&
                           FindPort(before, port, directory_) < 0;
        if (!cancel && boxes.empty() && !struck) FUZZ_CHECK(added);
        if (!added) CheckUnchanged(unchanged);
        if (added) mustStore_.push_back(port);
        Check(struck, added);
    }

    // AddPortEx runs in the spooler's process: never a box or a browser, an
    // error code for every outcome, and the model changes as after AddPort.
    // Xcv "AddPort" is the same add; without SERVER_ACCESS_ADMINISTER (the
    // choice's low bit) it is refused, and it may refuse a folder not given
    // as its canonical port name.
    void AddPortEx(uint8_t choice, unsigned fault, bool viaXcv = false) {
        const DWORD level = choice & 1 ? 2 : 1;
        const size_t i = (choice >> 1) % kExFolderCount;
        std::u16string folder = i < kFolderCount ? kFolders[i] : kExFolders[i - kFolderCount];
        const bool isDefault = EqualNoCase(folder, u"NORV");
        const std::u16string port = isDefault ? u"NORV" : PortOf(folder);
        DWORD refusal = ERROR_SUCCESS;  // what the name alone earns
        if (folder == kMissingFolder) refusal = ERROR_PATH_NOT_FOUND;
        else if (folder == u"Scans") refusal = ERROR_INVALID_NAME;
        const ModelList before = model_;
        const auto storedBefore = ReadablePorts();
        const Unchanged unchanged = Before(storedBefore);
        const size_t browsed = win32layer::FolderBrowserCalls().size();

        PORT_INFO_1W info1 = {W(folder)};
        PORT_INFO_2W info2 = {W(folder), W(u"NORV Monitor"), nullptr, 0, 0};
        LPBYTE buffer = level == 1 ? reinterpret_cast<LPBYTE>(&info1) : reinterpret_cast<LPBYTE>(&info2);
        Arm(fault);
        SetLastError(0xDEAD);
        const ACCESS_MASK access = level == 1 ? SERVER_ACCESS_ADMINISTER : SERVER_ACCESS_ENUMERATE;
        const BOOL ok = viaXcv ? TRUE
                               : table_->Monitor.pfnAddPortEx(nullptr, level, buffer, W(u"NORV Monitor"));
        const DWORD error = viaXcv ? Xcv(u"AddPort", folder, access) : GetLastError();
        const bool struck = Disarm(fault);
        if (viaXcv) {
            if (xcvUnopened_) refusal = ERROR_NOT_ENOUGH_MEMORY;
            else if (access != SERVER_ACCESS_ADMINISTER) refusal = ERROR_ACCESS_DENIED;
            else if (error == ERROR_INVALID_NAME && (isDefault || folder != port)) refusal = error;
        }
        if (trace_) std::fprintf(stderr, "  AddPortEx(%s, level %u): %u\n", win32layer::U8(folder).c_str(), unsigned(level), unsigned(error));
        FUZZ_CHECK(TakeBoxes().empty());
        FUZZ_CHECK(win32layer::FolderBrowserCalls().size() == browsed);
        FUZZ_CHECK(viaXcv || bool(ok) == (error == ERROR_SUCCESS));

        if (refusal != ERROR_SUCCESS) {
            // Refused by its name before anything that can fail.
            FUZZ_CHECK(error == refusal);
        } else if (!struck) {
            // The default port is named "NORV" in the spooler's list, a folder
            // by its port name; the lock's check also knows the stored ports
            // the last load missed and the default port's directory.
            if (Count(model_, port) > 0) {
                FUZZ_CHECK(error == ERROR_ALREADY_EXISTS);
            } else if (!portList) {
                FUZZ_CHECK(error == ERROR_NOT_ENOUGH_MEMORY);  // no list since attach
            } else {
                ModelList completed = CompletedModel(storedBefore);
                const bool taken = isDefault ? FindListed(completed, u"NORV") >= 0
                                             : FindPort(completed, port, directory_) >= 0;
                if (taken) {
                    FUZZ_CHECK(error == ERROR_ALREADY_EXISTS);
                } else if (!canSave_) {
                    FUZZ_CHECK(error == ERROR_CANTWRITE);  // taken back out
                } else {
                    FUZZ_CHECK(error == ERROR_SUCCESS);
                    completed.insert(completed.begin(), ModelPort{port, isDefault});
                }
                model_ = completed;
                incomplete_ = false;
            }
        } else {
            // The spooler's check failing counts the name as taken; a
            // failure under the lock is the registry's code or one of ours.
            FUZZ_CHECK(error == ERROR_SUCCESS || error == ERROR_ALREADY_EXISTS ||
                       error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_CANTWRITE ||
                       error == ERROR_ACCESS_DENIED);
            Resync();
        }
        const bool added = error == ERROR_SUCCESS;
        if (added) {
            FUZZ_CHECK(!model_.empty() && model_[0].name == port && FindPort(before, port, directory_) < 0);
            mustStore_.push_back(port);
        } else {
            // A failed add leaves no new port behind: one listed now was
            // listed or stored before.
            bool known = FindPort(before, port, directory_) >= 0;
            for (const auto& stored : storedBefore) known = known || EqualNoCase(stored, port);
            FUZZ_CHECK(FindListed(model_, port) < 0 || known);
            CheckUnchanged(unchanged);
        }
        Check(struck, added);
    }

    void DeletePort(const std::u16string& name, unsigned fault) {
        const auto storedBefore = ReadablePorts();
        const Unchanged unchanged = Before(storedBefore);
        Arm(fault);
        FUZZ_CHECK(table_->Monitor.pfnDeletePort(nullptr, kOwner, W(name)));
        const bool struck = Disarm(fault);
        const auto boxes = TakeBoxes();
        FUZZ_CHECK(boxes.size() == 1);
        const std::u16string text = boxes[0].text;
        const std::u16string removedText = u"Port \"" + name + u"\" successfully removed.";

        if (!struck) {
            ModelList completed = CompletedModel(storedBefore);
            const int at = portList ? FindPort(completed, name, directory_) : -1;
            if (at >= 0) {
                FUZZ_CHECK(text == (canSave_ ? removedText : kUnsavedText));
                if (canSave_) completed.erase(completed.begin() + at);
            } else {
                FUZZ_CHECK(text == kUnknownText);
            }
            model_ = completed;
            incomplete_ = false;
        } else {
            FUZZ_CHECK(text == removedText || text == kUnknownText || text == kUnreadText ||
                       text == kUnsavedText);
            Resync();
        }
        // The port the user deleted need not stay stored; one whose delete
        // failed is still listed and stored.
        if (text != removedText) CheckUnchanged(unchanged);
        if (text == removedText) {
            mustStore_.erase(std::remove_if(mustStore_.begin(), mustStore_.end(),
                                            [&](const std::u16string& kept) {
                                                return Names(ModelPort{kept, kept == u"NORV"}, name,
                                                             directory_);
                                            }),
                             mustStore_.end());
        }
        Check(struck, text == removedText);
    }

    // One Xcv command with a terminated name as input, on a handle of its own;
    // ERROR_NOT_ENOUGH_MEMORY, and xcvUnopened_ set, when no handle could be had.
    DWORD Xcv(const std::u16string& command, const std::u16string& name, ACCESS_MASK access) {
        HANDLE xcv = nullptr;
        xcvUnopened_ = !XcvOpenPort(nullptr, W(u""), access, &xcv);
        if (xcvUnopened_) {
            FUZZ_CHECK(GetLastError() == ERROR_NOT_ENOUGH_MEMORY);
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        DWORD needed = 0xDEAD;
        const DWORD error = XcvDataPort(xcv, W(command), reinterpret_cast<PBYTE>(W(name)),
                                        DWORD((name.size() + 1) * sizeof(char16_t)), nullptr, 0, &needed);
        FUZZ_CHECK(needed == 0);
        FUZZ_CHECK(XcvClosePort(xcv));
        return error;
    }

    // Xcv "DeletePort": DeletePort's outcome as an error code, no box, and
    // nothing at all without SERVER_ACCESS_ADMINISTER.
    void XcvDeletePort(const std::u16string& name, bool administer, unsigned fault) {
        const auto storedBefore = ReadablePorts();
        const ModelList before = model_;
        const Unchanged unchanged = Before(storedBefore);
        Arm(fault);
        const DWORD error = Xcv(u"DeletePort", name, administer ? SERVER_ACCESS_ADMINISTER : 0);
        const bool struck = Disarm(fault);
        if (trace_) std::fprintf(stderr, "  Xcv DeletePort(%s): %u\n", win32layer::U8(name).c_str(), unsigned(error));
        FUZZ_CHECK(TakeBoxes().empty());

        if (xcvUnopened_) {
            FUZZ_CHECK(struck);
        } else if (!administer) {
            FUZZ_CHECK(error == ERROR_ACCESS_DENIED);
        } else if (!struck) {
            ModelList completed = CompletedModel(storedBefore);
            const int at = portList ? FindPort(completed, name, directory_) : -1;
            if (!portList) {
                FUZZ_CHECK(error == ERROR_NOT_ENOUGH_MEMORY);
            } else if (at >= 0) {
                FUZZ_CHECK(canSave_ ? error == ERROR_SUCCESS : error != ERROR_SUCCESS);
                if (canSave_) completed.erase(completed.begin() + at);
                model_ = completed;
                incomplete_ = false;
            } else {
                FUZZ_CHECK(error == ERROR_UNKNOWN_PORT);
                model_ = completed;
                incomplete_ = false;
            }
        } else {
            Resync();
        }
        // Deleted: it need not stay stored. Failed: nothing changed.
        if (error != ERROR_SUCCESS) CheckUnchanged(unchanged);
        if (error == ERROR_SUCCESS) {
            mustStore_.erase(std::remove_if(mustStore_.begin(), mustStore_.end(),
                                            [&](const std::u16string& kept) {
                                                return Names(ModelPort{kept, kept == u"NORV"}, name,
                                                             directory_);
                                            }),
                             mustStore_.end());
        }
        Check(struck, error == ERROR_SUCCESS);
    }

    // OpenPort finds a port exactly when the model lists one by that name.
    HANDLE Open(const std::u16string& name, bool struck) {
        HANDLE handle = nullptr;
        const BOOL opened = table_->Monitor.pfnOpenPort(W(name), &handle);
        if (!struck) FUZZ_CHECK(bool(opened) == (FindPort(model_, name, directory_) >= 0));
        return opened ? handle : nullptr;
    }

    void StartDocument(HANDLE handle) {
        std::u16string document = u"Report.doc";
        DOC_INFO_1W info = {W(document), nullptr, nullptr};
        FUZZ_CHECK(table_->Monitor.pfnStartDocPort(handle, W(kPrinter), ++jobId_, 1,
                                                   reinterpret_cast<LPBYTE>(&info)));
        BYTE data[64] = {};
        DWORD written = 0;
        FUZZ_CHECK(table_->Monitor.pfnWritePort(handle, data, sizeof(data), &written));
        FUZZ_CHECK(written == sizeof(data));
    }

    void EndDocument(HANDLE handle) {
        FUZZ_CHECK(table_->Monitor.pfnEndDocPort(handle));
        FUZZ_CHECK(table_->Monitor.pfnClosePort(handle));
    }

    void JobCycle(const std::u16string& name, unsigned fault) {
        Arm(fault);
        const bool heldBusy = [&] {
            HANDLE probe = nullptr;
            if (!table_->Monitor.pfnOpenPort(W(name), &probe)) return false;
            for (HANDLE held : held_)
                if (held == probe) return true;
            return false;
        }();
        HANDLE handle = heldBusy ? nullptr : Open(name, false);
        if (handle) {
            StartDocument(handle);
            EndDocument(handle);
        }
        const bool struck = Disarm(fault);
        TakeBoxes();
        Check(struck, false);
    }

    void JobStart(const std::u16string& name, unsigned fault) {
        Arm(fault);
        HANDLE handle = Open(name, false);
        bool busy = false;
        for (HANDLE held : held_) busy = busy || held == handle;
        if (handle && !busy) {
            StartDocument(handle);
            held_.push_back(handle);
        }
        const bool struck = Disarm(fault);
        TakeBoxes();
        Check(struck, false);
    }

    void JobEnd(unsigned fault) {
        Arm(fault);
        if (!held_.empty()) {
            EndDocument(held_.front());
            held_.erase(held_.begin());
        }
        const bool struck = Disarm(fault);
        TakeBoxes();
        Check(struck, false);
    }

    // ---- The model ----
    // The list after a change's read of the store: unchanged when the last
    // load was complete.
    ModelList CompletedModel(const std::vector<std::u16string>& storedBefore) const {
        return incomplete_ ? CompleteModel(model_, storedBefore, true) : model_;
    }

    // After a step a failure struck, the model takes the monitor's list and
    // whether it still misses stored ports; the checks below still apply.
    void Resync() {
        model_.clear();
        for (const auto& name : Listed())
            model_.push_back(ModelPort{name, name == u"NORV"});
        incomplete_ = portList && portList->missesStoredPorts;
    }

    static size_t Count(const ModelList& list, const std::u16string& name) {
        size_t n = 0;
        for (const auto& port : list) n += EqualNoCase(port.name, name);
        return n;
    }

    std::vector<std::u16string> Listed() const { return Ports(table_); }

    // ---- The checks after every step ----
    // The list before a change, and as the change's read of the store would
    // complete it.
    struct Unchanged {
        std::vector<std::u16string> listed;
        std::vector<std::u16string> completed;
    };
    Unchanged Before(const std::vector<std::u16string>& storedBefore) const {
        return {Listed(), ModelNames(CompletedModel(storedBefore))};
    }
    // A change reported as failed or refused was not made.
    void CheckUnchanged(const Unchanged& before) const {
        const auto listed = Listed();
        FUZZ_CHECK(listed == before.listed || listed == before.completed);
    }

    void Check(bool struck, bool savedByChange) {
        const auto listed = Listed();
        if (trace_) {
            std::string line = struck ? "  struck; listed:" : "  listed:";
            for (const auto& name : listed) line += " " + win32layer::U8(name);
            line += "; model:";
            for (const auto& port : model_) line += " " + win32layer::U8(port.name);
            line += "; stored:";
            for (const auto& name : ReadablePorts()) line += " " + win32layer::U8(name);
            std::fprintf(stderr, "%s%s\n", line.c_str(), incomplete_ ? " (incomplete)" : "");
        }
        for (size_t i = 0; i < listed.size(); ++i)
            for (size_t j = i + 1; j < listed.size(); ++j) FUZZ_CHECK(!EqualNoCase(listed[i], listed[j]));
        if (!struck) FUZZ_CHECK(listed == ModelNames(model_));

        const auto stored = ReadablePorts();
        // A change saved without a failure: the store is the list, head last.
        if (savedByChange) {
            FUZZ_CHECK(std::vector<std::u16string>(stored.rbegin(), stored.rend()) == listed);
            mustStore_ = listed;
        }
        // Failures have stopped: every port the user kept is stored.
        for (const auto& port : mustStore_) {
            bool found = false;
            for (const auto& name : stored) found = found || EqualNoCase(name, port);
            FUZZ_CHECK(found);
        }
    }

    Reader& in_;
    // FUZZ_TRACE=1 prints each step, to read a failing input.
    const bool trace_ = std::getenv("FUZZ_TRACE") != nullptr;
    Baseline baseline_;
    LPMONITOREX table_ = nullptr;
    ModelList model_;
    std::u16string directory_ = kDirectory;
    bool canSave_ = true;
    bool incomplete_ = false;
    std::vector<std::u16string> mustStore_;
    std::vector<HANDLE> held_;
    bool xcvUnopened_ = false;
    unsigned callsBefore_ = 0;
    DWORD jobId_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    Sequence sequence(in);
    sequence.Run();
    return 0;
}
