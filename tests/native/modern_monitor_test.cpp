// The modern pair through the layer: the monitor's MONITOR2 table and its Xcv
// commands as the spooler calls them, and the UI DLL's functions reaching the
// monitor through OpenPrinterW(",XcvMonitor NORV Monitor") and XcvDataW.
#include <cstring>
#include <filesystem>
#include <unistd.h>

#include "control.h"
#include "files_control.h"
#include "harness.h"
#include "monitor/exports.h"
#include "shell_control.h"
#include "ui/exports.h"
#include "xcv_control.h"

#include <shlobj.h>

using namespace harness;
using Names = std::vector<std::u16string>;

namespace {

const HWND kOwner = reinterpret_cast<HWND>(0x4712);

// Input bytes for an Xcv command: a string with its terminator.
std::vector<BYTE> Input(const std::u16string& s) {
    std::vector<BYTE> bytes((s.size() + 1) * sizeof(char16_t));
    std::memcpy(bytes.data(), s.c_str(), bytes.size());
    return bytes;
}

class ModernMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // ctest runs each test in a process of its own, several at once.
        drive = std::filesystem::temp_directory_path() /
                ("norv-modern-monitor-test-" + std::to_string(getpid()));
        for (const char* folder : {"Out", "New", "Scans", "Modern", "Legacy", "Taken"})
            std::filesystem::create_directories(drive / folder);
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        std::filesystem::remove_all(drive, ignored);
    }
    // A clean machine whose drive D: holds the folders the tests add.
    void SetUp() override {
        ResetMachine();
        CreateKey(kRoot);
        win32layer::MapDrive(u'D', drive.string());
    }
    void TearDown() override {
        if (table) Stop();
    }

    // Process attach and InitializePrintMonitor2 with the layer's registry
    // functions and `root` opened as the spooler opens the monitor's key.
    void Start(const std::u16string& root = kRoot) {
        DllMain(module, DLL_PROCESS_ATTACH, nullptr);
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(root), 0, KEY_READ | KEY_WRITE, &key),
                  ERROR_SUCCESS);
        MONITORINIT init = {sizeof(MONITORINIT), spooler, key, const_cast<PMONITORREG>(win32layer::MonitorReg()),
                            TRUE, nullptr};
        table = InitializePrintMonitor2(&init, &handle);
        ASSERT_NE(table, nullptr);
        win32layer::SetSpoolerMonitor2(table, handle, u"NORV Monitor");
    }
    void Stop() {
        win32layer::SetSpoolerMonitor2(nullptr, nullptr, u"");
        table->pfnShutdown(handle);
        RegCloseKey(key);
        DllMain(module, DLL_PROCESS_DETACH, nullptr);
        table = nullptr;
    }

    std::vector<std::u16string> Ports() const {
        DWORD needed = 0, returned = 0;
        table->pfnEnumPorts(handle, nullptr, 1, nullptr, 0, &needed, &returned);
        std::vector<BYTE> buffer(needed);
        EXPECT_TRUE(table->pfnEnumPorts(handle, nullptr, 1, buffer.data(), needed, &needed, &returned));
        Names names;
        for (DWORD i = 0; i < returned; ++i)
            names.push_back(S(reinterpret_cast<PORT_INFO_1W*>(buffer.data())[i].pName));
        return names;
    }

    // One Xcv command on a handle opened with `access`.
    DWORD Xcv(const std::u16string& command, std::vector<BYTE> input, ACCESS_MASK access,
              DWORD outBytes = 0, std::vector<BYTE>* out = nullptr, DWORD* needed = nullptr) {
        HANDLE xcv = nullptr;
        EXPECT_TRUE(table->pfnXcvOpenPort(handle, W(u""), access, &xcv));
        std::vector<BYTE> output(outBytes);
        DWORD size = 0xDEAD;
        DWORD status = table->pfnXcvDataPort(xcv, W(command), input.empty() ? nullptr : input.data(),
                                             DWORD(input.size()), outBytes ? output.data() : nullptr,
                                             outBytes, &size);
        EXPECT_TRUE(table->pfnXcvClosePort(xcv));
        if (out) *out = output;
        if (needed) *needed = size;
        return status;
    }

    static std::filesystem::path drive;
    HINSTANCE module = reinterpret_cast<HINSTANCE>(0x20000000);
    HANDLE spooler = reinterpret_cast<HANDLE>(0x5000);
    HKEY key = nullptr;
    HANDLE handle = nullptr;
    LPMONITOR2 table = nullptr;
};

std::filesystem::path ModernMonitorTest::drive;

TEST_F(ModernMonitorTest, TableHasNoDialogSlotsAndListsTheStoredPorts) {
    StoreString(kRoot, u"1", u"D:\\Out\\");
    Start();
    // Up to the end of pfnShutdown, padding included: a spooler copies cbSize bytes.
    EXPECT_EQ(table->cbSize, offsetof(MONITOR2, pfnShutdown) + sizeof(void*));
    EXPECT_EQ(table->pfnAddPort, nullptr);
    EXPECT_EQ(table->pfnAddPortEx, nullptr);
    EXPECT_EQ(table->pfnConfigurePort, nullptr);
    EXPECT_EQ(table->pfnDeletePort, nullptr);
    for (const void* slot : {(const void*)table->pfnEnumPorts, (const void*)table->pfnOpenPort,
                             (const void*)table->pfnStartDocPort, (const void*)table->pfnEndDocPort,
                             (const void*)table->pfnXcvOpenPort, (const void*)table->pfnXcvDataPort,
                             (const void*)table->pfnXcvClosePort, (const void*)table->pfnShutdown})
        EXPECT_NE(slot, nullptr);
    EXPECT_EQ(Ports(), (Names{u"NORV", u"D:\\Out\\"}));
    EXPECT_EQ(StoredPorts(), (Names{u"D:\\Out\\", u"NORV"}));
    // A bad level fails as in the legacy DLL, but shows no box.
    DWORD needed = 0, returned = 0;
    BYTE buffer[256];
    EXPECT_FALSE(table->pfnEnumPorts(handle, nullptr, 3, buffer, sizeof(buffer), &needed, &returned));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
    EXPECT_TRUE(win32layer::MessageBoxes().empty());
}

TEST_F(ModernMonitorTest, RefusesAnIncompleteInitRecord) {
    DllMain(module, DLL_PROCESS_ATTACH, nullptr);
    MONITORINIT init = {sizeof(MONITORINIT), spooler, nullptr, nullptr, TRUE, nullptr};
    EXPECT_EQ(InitializePrintMonitor2(&init, &handle), nullptr);  // no registry functions
    init.pMonitorReg = const_cast<PMONITORREG>(win32layer::MonitorReg());
    init.cbSize = sizeof(MONITORINIT) - 1;
    EXPECT_EQ(InitializePrintMonitor2(&init, &handle), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(InitializePrintMonitor2(nullptr, &handle), nullptr);
    DllMain(module, DLL_PROCESS_DETACH, nullptr);
}

// The store goes through MONITORINIT's functions and key, wherever that key is.
TEST_F(ModernMonitorTest, StoresThroughTheSpoolersRegistryFunctions) {
    const std::u16string elsewhere = u"Software\\Spooler\\Monitors\\NORV Monitor";
    CreateKey(elsewhere);
    Start(elsewhere);
    EXPECT_EQ(Xcv(u"AddPort", Input(u"D:\\Scans\\"), SERVER_ACCESS_ADMINISTER), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(StoredPorts(elsewhere), (Names{u"NORV", u"D:\\Scans\\"}));
    EXPECT_TRUE(StoredPorts(kRoot).empty());
    EXPECT_GT(win32layer::MonitorRegCalls(), 0u);
}

// Registry functions that are stubs (Wine's): the key every spooler keeps.
TEST_F(ModernMonitorTest, StubbedRegistryFunctionsFallBackToTheMonitorsKey) {
    const std::u16string elsewhere = u"Software\\Spooler\\Monitors\\NORV Monitor";
    CreateKey(elsewhere);
    win32layer::StubMonitorReg(true);
    Start(elsewhere);
    EXPECT_EQ(Xcv(u"AddPort", Input(u"D:\\Scans\\"), SERVER_ACCESS_ADMINISTER), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(StoredPorts(kRoot), (Names{u"NORV", u"D:\\Scans\\"}));
    EXPECT_TRUE(StoredPorts(elsewhere).empty());
}

// The legacy DLL and the pair share one key and one numbering.
TEST_F(ModernMonitorTest, SwitchingFormsKeepsThePorts) {
    {
        Monitor legacy;
        legacy.Start();
        EXPECT_TRUE(legacy.ops().pfnAddPortEx != nullptr);
        legacy.Detach();
    }
    StoreString(kRoot, u"2", u"D:\\Legacy\\");
    Start();
    EXPECT_EQ(Ports(), (Names{u"D:\\Legacy\\", u"NORV"}));
    EXPECT_EQ(Xcv(u"AddPort", Input(u"D:\\Modern\\"), SERVER_ACCESS_ADMINISTER), DWORD(ERROR_SUCCESS));
    Stop();
    Monitor legacy;
    legacy.Start();
    EXPECT_EQ(legacy.Ports(), (Names{u"D:\\Modern\\", u"D:\\Legacy\\", u"NORV"}));
}

struct XcvCase {
    const char* what;
    std::u16string command;
    std::vector<BYTE> input;
    ACCESS_MASK access;
    DWORD expected;
    Names portsAfter;  // head first
};

TEST_F(ModernMonitorTest, XcvCommandsChangePortsOnlyWithAdministerAccess) {
    const std::vector<BYTE> odd = {'D', 0, ':', 0, 0};
    const std::vector<BYTE> unterminated = {'D', 0, ':', 0};
    const std::u16string tooLong(300, u'a');
    const XcvCase cases[] = {
        {"add", u"AddPort", Input(u"D:\\New\\"), SERVER_ACCESS_ADMINISTER, ERROR_SUCCESS,
         {u"D:\\New\\", u"D:\\Out\\", u"NORV"}},
        {"add without administer", u"AddPort", Input(u"D:\\New\\"), SERVER_ACCESS_ENUMERATE,
         ERROR_ACCESS_DENIED, {u"D:\\Out\\", u"NORV"}},
        {"add a listed port, other case", u"AddPort", Input(u"d:\\OUT\\"), SERVER_ACCESS_ADMINISTER,
         ERROR_ALREADY_EXISTS, {u"D:\\Out\\", u"NORV"}},
        {"add another monitor's port", u"AddPort", Input(u"D:\\Taken\\"), SERVER_ACCESS_ADMINISTER,
         ERROR_ALREADY_EXISTS, {u"D:\\Out\\", u"NORV"}},
        {"add under AddPortEx's rules", u"AddPort", Input(u"FILE:"), SERVER_ACCESS_ADMINISTER,
         ERROR_INVALID_NAME, {u"D:\\Out\\", u"NORV"}},
        {"delete", u"DeletePort", Input(u"D:\\Out\\"), SERVER_ACCESS_ADMINISTER, ERROR_SUCCESS,
         {u"NORV"}},
        {"delete without administer", u"DeletePort", Input(u"D:\\Out\\"), 0, ERROR_ACCESS_DENIED,
         {u"D:\\Out\\", u"NORV"}},
        {"delete an unknown port", u"DeletePort", Input(u"D:\\None\\"), SERVER_ACCESS_ADMINISTER,
         ERROR_UNKNOWN_PORT, {u"D:\\Out\\", u"NORV"}},
        {"no input", u"DeletePort", {}, SERVER_ACCESS_ADMINISTER, ERROR_INVALID_PARAMETER,
         {u"D:\\Out\\", u"NORV"}},
        {"empty name", u"AddPort", Input(u""), SERVER_ACCESS_ADMINISTER, ERROR_INVALID_PARAMETER,
         {u"D:\\Out\\", u"NORV"}},
        {"odd byte count", u"AddPort", odd, SERVER_ACCESS_ADMINISTER, ERROR_INVALID_PARAMETER,
         {u"D:\\Out\\", u"NORV"}},
        {"no terminator", u"DeletePort", unterminated, SERVER_ACCESS_ADMINISTER,
         ERROR_INVALID_PARAMETER, {u"D:\\Out\\", u"NORV"}},
        {"too long for a port", u"AddPort", Input(tooLong), SERVER_ACCESS_ADMINISTER,
         ERROR_INVALID_NAME, {u"D:\\Out\\", u"NORV"}},
        {"unknown command", u"ConfigurePort", Input(u"D:\\Out\\"), SERVER_ACCESS_ADMINISTER,
         ERROR_INVALID_PARAMETER, {u"D:\\Out\\", u"NORV"}},
        {"command names match exactly", u"deleteport", Input(u"D:\\Out\\"), SERVER_ACCESS_ADMINISTER,
         ERROR_INVALID_PARAMETER, {u"D:\\Out\\", u"NORV"}},
    };
    for (const XcvCase& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        StoreString(kRoot, u"1", u"NORV");
        StoreString(kRoot, u"2", u"D:\\Out\\");
        win32layer::SetOtherPorts({u"FILE:", u"D:\\Taken\\"});
        Start();
        DWORD needed = 0;
        EXPECT_EQ(Xcv(c.command, c.input, c.access, 0, nullptr, &needed), c.expected);
        EXPECT_EQ(needed, 0u);
        EXPECT_EQ(Ports(), c.portsAfter);
        Names stored(c.portsAfter.rbegin(), c.portsAfter.rend());
        EXPECT_EQ(StoredPorts(), stored);
        EXPECT_TRUE(win32layer::MessageBoxes().empty());
        EXPECT_TRUE(win32layer::FolderBrowserCalls().empty());
        Stop();
    }
}

// Output follows the size protocol: the size needed always, the data only
// when it fits, ERROR_INSUFFICIENT_BUFFER otherwise.
TEST_F(ModernMonitorTest, XcvOutputSizes) {
    Start();
    const DWORD uiBytes = DWORD(sizeof(u"norvmonui.dll"));
    std::vector<BYTE> out;
    DWORD needed = 0;
    for (ACCESS_MASK access : {ACCESS_MASK(0), ACCESS_MASK(SERVER_ACCESS_ADMINISTER)}) {
        EXPECT_EQ(Xcv(u"MonitorUI", {}, access, 0, &out, &needed), DWORD(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(needed, uiBytes);
        EXPECT_EQ(Xcv(u"MonitorUI", {}, access, uiBytes - 1, &out, &needed),
                  DWORD(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(Xcv(u"MonitorUI", {}, access, uiBytes + 10, &out, &needed), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(needed, uiBytes);
        EXPECT_EQ(S(reinterpret_cast<LPCWSTR>(out.data())), u"norvmonui.dll");
    }
    for (const auto& [name, exists] : {std::pair<std::u16string, DWORD>{u"norv", 1},
                                       {u"D:\\None\\", 0}}) {
        EXPECT_EQ(Xcv(u"PortExists", Input(name), 0, 3, &out, &needed), DWORD(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(needed, sizeof(DWORD));
        EXPECT_EQ(Xcv(u"PortExists", Input(name), 0, sizeof(DWORD), &out, &needed), DWORD(ERROR_SUCCESS));
        DWORD answer;
        std::memcpy(&answer, out.data(), sizeof(answer));
        EXPECT_EQ(answer, exists);
    }
}

TEST_F(ModernMonitorTest, ShutdownReleasesWhatInitialisationMade) {
    StoreString(kRoot, u"1", u"NORV");
    StoreString(kRoot, u"2", u"D:\\Out\\");
    DllMain(module, DLL_PROCESS_ATTACH, nullptr);
    const Resources before = ProcessResources();
    DllMain(module, DLL_PROCESS_DETACH, nullptr);
    Start();
    EXPECT_TRUE(win32layer::EventExists(u"NORV Monitor"));
    HANDLE xcv = nullptr;
    ASSERT_TRUE(table->pfnXcvOpenPort(handle, W(u""), 0, &xcv));
    EXPECT_TRUE(table->pfnXcvClosePort(xcv));
    table->pfnShutdown(handle);
    EXPECT_FALSE(win32layer::EventExists(u"NORV Monitor"));
    EXPECT_FALSE(table->pfnXcvOpenPort(handle, W(u""), 0, &xcv));
    RegCloseKey(key);
    EXPECT_EQ(ProcessResources().handles, before.handles);
    EXPECT_EQ(ProcessResources().memory, before.memory);
    // A new session reads the store again, once.
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(kRoot), 0, KEY_READ | KEY_WRITE, &key), ERROR_SUCCESS);
    MONITORINIT init = {sizeof(MONITORINIT), spooler, key, const_cast<PMONITORREG>(win32layer::MonitorReg()),
                        TRUE, nullptr};
    ASSERT_EQ(InitializePrintMonitor2(&init, &handle), table);
    EXPECT_EQ(Ports(), (Names{u"D:\\Out\\", u"NORV"}));
}

// The spooler records the very name it sent once "AddPort" succeeds, so the
// monitor takes that name only when it is the one it stores.
TEST_F(ModernMonitorTest, XcvAddPortTakesOnlyTheNameItStores) {
    const struct {
        const char16_t* input;
        DWORD expected;
        Names portsAfter;  // head first
    } cases[] = {
        {u"D:\\New\\", ERROR_SUCCESS, {u"D:\\New\\", u"D:\\Out\\"}},
        {u"NORV", ERROR_SUCCESS, {u"NORV", u"D:\\Out\\"}},
        {u"norv", ERROR_INVALID_NAME, {u"D:\\Out\\"}},
        {u"D:\\New", ERROR_INVALID_NAME, {u"D:\\Out\\"}},
        {u"D:/New/", ERROR_INVALID_NAME, {u"D:\\Out\\"}},
        {u"D:\\Out\\..\\New\\", ERROR_INVALID_NAME, {u"D:\\Out\\"}},
        {u"D:\\New\\\\", ERROR_INVALID_NAME, {u"D:\\Out\\"}},
        {u"D:\\New.\\", ERROR_INVALID_NAME, {u"D:\\Out\\"}},
        {u"New\\", ERROR_INVALID_NAME, {u"D:\\Out\\"}},
        {u"D:\\Missing\\", ERROR_PATH_NOT_FOUND, {u"D:\\Out\\"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(U8(c.input));
        SetUp();
        StoreString(kRoot, u"1", u"D:\\Out\\");
        Start();
        ASSERT_EQ(Xcv(u"DeletePort", Input(u"NORV"), SERVER_ACCESS_ADMINISTER), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(Xcv(u"AddPort", Input(c.input), SERVER_ACCESS_ADMINISTER), c.expected);
        EXPECT_EQ(Ports(), c.portsAfter);
        EXPECT_EQ(StoredPorts(), Names(c.portsAfter.rbegin(), c.portsAfter.rend()));
        Stop();
    }
}

// ---- The UI DLL, in the client's process, through the layer's spooler ----

class MonitorUiTest : public ModernMonitorTest {
protected:
    void SetUp() override {
        ModernMonitorTest::SetUp();
        Start();
        win32layer::SetOtherPorts({u"LPT1:", u"D:\\Taken\\"});
        ui = InitializePrintMonitorUI();
        ASSERT_NE(ui, nullptr);
    }
    void ExpectOneBox(const std::u16string& text, const std::u16string& caption) {
        auto boxes = win32layer::MessageBoxes();
        win32layer::ClearMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(U8(boxes[0].text), U8(text));
        EXPECT_EQ(U8(boxes[0].caption), U8(caption));
        EXPECT_EQ(boxes[0].owner, kOwner);
    }
    // AddPortUI as the spooler calls it; its result and last error.
    std::pair<BOOL, DWORD> AddPortUi(LPCWSTR server = nullptr, HWND owner = kOwner) {
        SetLastError(0);
        BOOL ok = ui->pfnAddPortUI(server, owner, W(u"NORV Monitor"), nullptr);
        return {ok, ok ? 0 : GetLastError()};
    }
    PMONITORUI ui = nullptr;
};

TEST_F(MonitorUiTest, AddPortUiAddsTheChosenFolderThroughXcv) {
    win32layer::ChooseFolder(u"D:\\Scans");
    PWSTR added = nullptr;
    ASSERT_TRUE(ui->pfnAddPortUI(nullptr, kOwner, W(u"NORV Monitor"), &added));
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(S(added), u"D:\\Scans\\");
    HeapFree(GetProcessHeap(), 0, added);
    EXPECT_EQ(Ports(), (Names{u"D:\\Scans\\", u"NORV"}));
    EXPECT_EQ(StoredPorts(), (Names{u"NORV", u"D:\\Scans\\"}));
    // The legacy AddPort's browser: owner, title, flags.
    auto calls = win32layer::FolderBrowserCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].owner, kOwner);
    EXPECT_EQ(U8(calls[0].title), "Please select output-directory:");
    EXPECT_EQ(calls[0].flags, UINT(BIF_RETURNONLYFSDIRS));
    auto opens = win32layer::XcvOpenCalls();
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].granted, ACCESS_MASK(SERVER_ACCESS_ADMINISTER));
    EXPECT_EQ(win32layer::OpenXcvHandleCount(), 0u);
    EXPECT_TRUE(win32layer::MessageBoxes().empty());
}

TEST_F(MonitorUiTest, AddPortUiRefusals) {
    // Listed by another monitor: refused from the client's own EnumPortsW.
    win32layer::ChooseFolder(u"D:\\Taken");
    EXPECT_EQ(AddPortUi(), std::make_pair(FALSE, DWORD(ERROR_ALREADY_EXISTS)));
    ExpectOneBox(u"The port cannot be added, because there\nis another one with the same name.",
                 u"Port already exists");
    EXPECT_TRUE(win32layer::XcvOpenCalls().empty());

    // A user who may not administer the print server.
    win32layer::SetClientAccess(SERVER_ACCESS_ENUMERATE);
    win32layer::ChooseFolder(u"D:\\Scans");
    EXPECT_EQ(AddPortUi(), std::make_pair(FALSE, DWORD(ERROR_ACCESS_DENIED)));
    ExpectOneBox(u"You are not allowed to change the ports of this computer.\n\nPlease ask an "
                 u"administrator.",
                 u"Port not added");

    // No monitor behind the spooler: the system's text for the code.
    win32layer::SetClientAccess(SERVER_ACCESS_ADMINISTER);
    win32layer::SetSpoolerMonitor2(nullptr, nullptr, u"");
    win32layer::ChooseFolder(u"D:\\Scans");
    EXPECT_EQ(AddPortUi(), std::make_pair(FALSE, DWORD(ERROR_INVALID_PRINTER_NAME)));
    ExpectOneBox(u"The printer name is invalid.\r\n", u"Port not added");

    // Cancelled, remote, or no window to own a dialog: no dialog at all.
    win32layer::CancelFolderBrowser();
    EXPECT_EQ(AddPortUi(), std::make_pair(FALSE, DWORD(ERROR_CANCELLED)));
    const size_t browsed = win32layer::FolderBrowserCalls().size();
    EXPECT_EQ(AddPortUi(W(u"\\\\server")), std::make_pair(FALSE, DWORD(ERROR_NOT_SUPPORTED)));
    EXPECT_EQ(AddPortUi(nullptr, nullptr), std::make_pair(FALSE, DWORD(ERROR_CANCELLED)));
    EXPECT_EQ(win32layer::FolderBrowserCalls().size(), browsed);
    EXPECT_TRUE(win32layer::MessageBoxes().empty());
    EXPECT_EQ(StoredPorts(), (Names{u"NORV"}));
}

TEST_F(MonitorUiTest, ConfigureAndDeletePortUiShowTheLegacyBoxes) {
    EXPECT_TRUE(ui->pfnConfigurePortUI(nullptr, kOwner, W(u"NORV")));
    ExpectOneBox(u"This port cannot be configured.\n\nTo change the output-directory, add a new one.",
                 u"NORV Monitor");

    EXPECT_TRUE(ui->pfnDeletePortUI(nullptr, kOwner, W(u"NORV")));
    ExpectOneBox(u"Port \"NORV\" successfully removed.", u"Port removed");
    EXPECT_TRUE(StoredPorts().empty());

    SetLastError(0);
    EXPECT_FALSE(ui->pfnDeletePortUI(nullptr, kOwner, W(u"NORV")));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
    ExpectOneBox(u"An unknown error has occurred\n\nCouldn't remove the port.", u"Error");

    EXPECT_FALSE(ui->pfnDeletePortUI(W(u"\\\\server"), kOwner, W(u"NORV")));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
    EXPECT_FALSE(ui->pfnConfigurePortUI(W(u"\\\\server"), kOwner, W(u"NORV")));
    EXPECT_TRUE(win32layer::MessageBoxes().empty());
}

}  // namespace
