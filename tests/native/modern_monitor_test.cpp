// The modern pair through the layer: the monitor's MONITOR2 table and its Xcv
// commands as the spooler calls them, and the UI DLL's functions reaching the
// monitor through OpenPrinterW(",XcvMonitor NORV Monitor") and XcvDataW.
#include <cstring>
#include <filesystem>
#include <functional>
#include <unistd.h>

#include "control.h"
#include "files_control.h"
#include "harness.h"
#include "monitor/exports.h"
#include "printers_control.h"
#include "monitor/modern_table.h"
#include "port_ui_cases.h"
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
    // The whole table, its four last slots unserved.
    const ModernTable* whole = reinterpret_cast<const ModernTable*>(table);
    EXPECT_EQ(table->cbSize, sizeof(void*) == 4 ? 92u : 184u);
    for (const void* slot : {whole->pfnSendRecvBidiDataFromPort, whole->pfnNotifyUsedPorts,
                             whole->pfnNotifyUnusedPorts, whole->pfnPowerEvent})
        EXPECT_EQ(slot, nullptr);
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

// Windows 2000 reads the table up to pfnShutdown; its padding is kept, so that
// no pointer is cut in half.
TEST_F(ModernMonitorTest, Windows2000GetsTheTableUpToShutdown) {
    win32layer::SetWindowsVersion(5, 0);
    Start();
    EXPECT_EQ(table->cbSize, sizeof(void*) == 4 ? 76u : 152u);
    Stop();
    win32layer::SetWindowsVersion(5, 1);
    Start();
    EXPECT_EQ(table->cbSize, sizeof(void*) == 4 ? 92u : 184u);
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

// Without a handle only "MonitorUI" answers; every other command, valid or
// not, is refused before it reads its input.
TEST_F(ModernMonitorTest, XcvWithoutAHandleAnswersOnlyMonitorUi) {
    Start();
    BYTE out[64] = {};
    DWORD needed = 0xDEAD;
    EXPECT_EQ(table->pfnXcvDataPort(nullptr, W(u"MonitorUI"), nullptr, 0, out, sizeof(out), &needed),
              DWORD(ERROR_SUCCESS));
    EXPECT_EQ(needed, DWORD(sizeof(u"norvmonui.dll")));
    EXPECT_EQ(S(reinterpret_cast<LPCWSTR>(out)), u"norvmonui.dll");
    std::vector<BYTE> input = Input(u"D:\\New\\");
    for (const char16_t* command : {u"PortExists", u"AddPort", u"DeletePort", u"monitorui", u""}) {
        SCOPED_TRACE(win32layer::U8(command));
        EXPECT_EQ(table->pfnXcvDataPort(nullptr, W(command), input.data(), DWORD(input.size()), out,
                                        sizeof(out), &needed),
                  DWORD(ERROR_INVALID_HANDLE));
    }
    EXPECT_EQ(Ports(), (Names{u"NORV"}));
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
    // Freed as callers of Windows' own UI DLL free it.
    EXPECT_EQ(GlobalSize(added), sizeof(u"D:\\Scans\\"));
    EXPECT_EQ(GlobalFree(added), nullptr);
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

    // A user who may not administer the print server is told before picking
    // a folder; with no window, the refusal alone.
    const size_t browsedBefore = win32layer::FolderBrowserCalls().size();
    win32layer::SetClientAccess(SERVER_ACCESS_ENUMERATE);
    EXPECT_EQ(AddPortUi(), std::make_pair(FALSE, DWORD(ERROR_ACCESS_DENIED)));
    ExpectOneBox(u"You are not allowed to change the ports of this computer.\n\nPlease ask an "
                 u"administrator.",
                 u"Port not added");
    EXPECT_EQ(AddPortUi(nullptr, nullptr), std::make_pair(FALSE, DWORD(ERROR_ACCESS_DENIED)));
    EXPECT_TRUE(win32layer::MessageBoxes().empty());
    EXPECT_EQ(win32layer::FolderBrowserCalls().size(), browsedBefore);

    // No memory for the name handed back: nothing is added.
    win32layer::SetClientAccess(SERVER_ACCESS_ADMINISTER);
    win32layer::ChooseFolder(u"D:\\Scans");
    win32layer::FailCall(win32layer::Api::GlobalAlloc, 1);
    PWSTR added = nullptr;
    SetLastError(0);
    EXPECT_FALSE(ui->pfnAddPortUI(nullptr, kOwner, W(u"NORV Monitor"), &added));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(added, nullptr);
    ExpectOneBox(u"Not enough memory resources are available to process this command.\r\n",
                 u"Port not added");

    // No monitor behind the spooler: its name is refused before any dialog.
    win32layer::SetSpoolerMonitor2(nullptr, nullptr, u"");
    const size_t picks = win32layer::FolderBrowserCalls().size();
    EXPECT_EQ(AddPortUi(), std::make_pair(FALSE, DWORD(ERROR_INVALID_PRINTER_NAME)));
    EXPECT_EQ(win32layer::FolderBrowserCalls().size(), picks);
    EXPECT_TRUE(win32layer::MessageBoxes().empty());
    win32layer::SetSpoolerMonitor2(table, handle, u"NORV Monitor");

    // Cancelled, remote, or no window to own a dialog: no dialog at all.
    win32layer::CancelFolderBrowser();
    EXPECT_EQ(AddPortUi(), std::make_pair(FALSE, DWORD(ERROR_CANCELLED)));
    const size_t browsed = win32layer::FolderBrowserCalls().size();
    EXPECT_EQ(AddPortUi(W(u"\\\\server")), std::make_pair(FALSE, DWORD(ERROR_CANCELLED)));
    EXPECT_EQ(AddPortUi(nullptr, nullptr), std::make_pair(FALSE, DWORD(ERROR_CANCELLED)));
    EXPECT_EQ(win32layer::FolderBrowserCalls().size(), browsed);
    EXPECT_TRUE(win32layer::MessageBoxes().empty());
    EXPECT_EQ(StoredPorts(), (Names{u"NORV"}));
}

// The table Wine's suite runs too: names that name no monitor or port of
// ours, and what the DLL is asked for and will not do. No row shows more than
// the one box of a port of ours, none leaves an Xcv handle open.
TEST_F(MonitorUiTest, AnswersTheNamesGivenAsWindowsDoes) {
    using namespace port_ui_cases;
    for (const Case& c : kCases) {
        for (HWND owner : {HWND(nullptr), kOwner}) {
            if (!CalledWith(c, owner)) continue;
            SCOPED_TRACE(std::string(c.what) + (owner ? ", window" : ", no window"));
            WCHAR unchanged[] = u"x";
            PWSTR added = unchanged;
            SetLastError(0);
            EXPECT_FALSE(Invoke(*ui, c, owner, &added));
            EXPECT_TRUE(Answers(c, GetLastError())) << GetLastError();
            if (c.call == Call::kAddPortUi) {
                EXPECT_EQ(added, nullptr);
            }
            if (owner && c.box) {
                ExpectOneBox(u"This port cannot be configured.\n\nTo change the output-directory, add a new one.",
                             u"NORV Monitor");
            }
            EXPECT_TRUE(win32layer::MessageBoxes().empty());
            EXPECT_TRUE(win32layer::FolderBrowserCalls().empty());
            EXPECT_EQ(win32layer::OpenXcvHandleCount(), 0u);
        }
    }
    EXPECT_EQ(StoredPorts(), (Names{u"NORV"}));
}

// Beyond the shared table: monitor names as the spooler matches them, and a
// port name no port of ours can have.
TEST_F(MonitorUiTest, NamesAsTheSpoolerMatchesThem) {
    EXPECT_EQ(AddPortUi(nullptr, nullptr), std::make_pair(FALSE, DWORD(ERROR_CANCELLED)));
    SetLastError(0);
    EXPECT_FALSE(ui->pfnAddPortUI(nullptr, nullptr, W(u"norv monitor"), nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANCELLED));
    const std::u16string longName(600, u'N');
    SetLastError(0);
    EXPECT_FALSE(ui->pfnAddPortUI(nullptr, kOwner, W(longName.c_str()), nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
    SetLastError(0);
    EXPECT_FALSE(ui->pfnConfigurePortUI(nullptr, kOwner, W(longName.c_str())));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
    // Ports are named ignoring case, and a non-administrator may ask.
    win32layer::SetClientAccess(SERVER_ACCESS_ENUMERATE);
    SetLastError(0);
    EXPECT_FALSE(ui->pfnConfigurePortUI(nullptr, kOwner, W(u"norv")));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANCELLED));
    ExpectOneBox(u"This port cannot be configured.\n\nTo change the output-directory, add a new one.",
                 u"NORV Monitor");
    EXPECT_TRUE(win32layer::FolderBrowserCalls().empty());
}

TEST_F(MonitorUiTest, ConfigureAndDeletePortUiShowTheLegacyBoxes) {
    SetLastError(0);
    EXPECT_FALSE(ui->pfnConfigurePortUI(nullptr, kOwner, W(u"NORV")));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANCELLED));
    ExpectOneBox(u"This port cannot be configured.\n\nTo change the output-directory, add a new one.",
                 u"NORV Monitor");
    EXPECT_FALSE(ui->pfnConfigurePortUI(nullptr, nullptr, W(u"NORV")));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANCELLED));
    EXPECT_TRUE(win32layer::MessageBoxes().empty());

    EXPECT_TRUE(ui->pfnDeletePortUI(nullptr, kOwner, W(u"NORV")));
    ExpectOneBox(u"Port \"NORV\" successfully removed.", u"Port removed");
    EXPECT_TRUE(StoredPorts().empty());

    SetLastError(0);
    EXPECT_FALSE(ui->pfnDeletePortUI(nullptr, kOwner, W(u"NORV")));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
    ExpectOneBox(u"An unknown error has occurred\n\nCouldn't remove the port.", u"Error");

}

// A printer's ports are one comma-separated string, so no door adds a port
// whose name holds a comma, and nothing changes; one stored by an older
// version is listed and goes out through every door that deletes.
TEST_F(MonitorUiTest, CommaInAPortNameAtEveryDoor) {
    std::filesystem::create_directories(drive / "a,b");
    const std::u16string folder = u"D:\\a,b";
    const std::u16string port = u"D:\\a,b\\";
    const std::u16string commaBox =
        u"The path of the selected folder contains a comma, which a port name cannot contain."
        u"\n\nPlease select a folder without a comma in its path.";
    const std::u16string removedBox = u"Port \"D:\\a,b\\\" successfully removed.";
    Monitor legacy;
    auto addPortEx = [&](DWORD level, const std::u16string& name) {
        PORT_INFO_2W info = {W(name), nullptr, nullptr, 0, 0};
        return legacy.ops().pfnAddPortEx(nullptr, level, reinterpret_cast<LPBYTE>(&info), nullptr)
                   ? DWORD(ERROR_SUCCESS)
                   : GetLastError();
    };
    auto dialog = [&](BOOL ok) { return ok ? DWORD(ERROR_SUCCESS) : GetLastError(); };
    const struct {
        const char* door;
        bool legacyForm;
        bool stored;  // the comma port is stored beforehand, to be deleted
        std::function<DWORD()> act;
        DWORD expected;
        std::u16string box;  // empty: none
        std::u16string caption;
    } doors[] = {
        {"AddPort", true, false, [&] {
             win32layer::ChooseFolder(folder);
             return dialog(legacy.ops().pfnAddPort(nullptr, kOwner, nullptr));
         }, ERROR_SUCCESS, commaBox, u"Port not added"},
        {"AddPortEx level 1", true, false, [&] { return addPortEx(1, folder); }, ERROR_INVALID_NAME, {}, {}},
        {"AddPortEx level 2", true, false, [&] { return addPortEx(2, port); }, ERROR_INVALID_NAME, {}, {}},
        {"AddPortEx, share", true, false, [&] { return addPortEx(1, u"\\\\srv,1\\out"); },
         ERROR_INVALID_NAME, {}, {}},
        {"Xcv AddPort", false, false, [&] {
             return Xcv(u"AddPort", Input(port), SERVER_ACCESS_ADMINISTER);
         }, ERROR_INVALID_NAME, {}, {}},
        {"AddPortUI", false, false, [&] {
             win32layer::ChooseFolder(folder);
             return dialog(ui->pfnAddPortUI(nullptr, kOwner, W(u"NORV Monitor"), nullptr));
         }, ERROR_INVALID_NAME, commaBox, u"Port not added"},
        {"DeletePort", true, true, [&] {
             return dialog(legacy.ops().pfnDeletePort(nullptr, kOwner, W(port)));
         }, ERROR_SUCCESS, removedBox, u"Port removed"},
        {"Xcv DeletePort", false, true, [&] {
             return Xcv(u"DeletePort", Input(port), SERVER_ACCESS_ADMINISTER);
         }, ERROR_SUCCESS, {}, {}},
        {"DeletePortUI", false, true, [&] {
             return dialog(ui->pfnDeletePortUI(nullptr, kOwner, W(port)));
         }, ERROR_SUCCESS, removedBox, u"Port removed"},
    };
    for (const auto& door : doors) {
        SCOPED_TRACE(door.door);
        if (table) Stop();
        ModernMonitorTest::SetUp();
        StoreString(kRoot, u"1", u"NORV");
        if (door.stored) StoreString(kRoot, u"2", port);
        if (door.legacyForm) legacy.Start();
        else Start();
        auto listed = [&] { return door.legacyForm ? legacy.Ports() : Ports(); };
        const Names before = door.stored ? Names{port, u"NORV"} : Names{u"NORV"};
        ASSERT_EQ(listed(), before);
        SetLastError(0);
        EXPECT_EQ(door.act(), door.expected);
        if (door.box.empty()) EXPECT_TRUE(win32layer::MessageBoxes().empty());
        else ExpectOneBox(door.box, door.caption);
        EXPECT_EQ(listed(), Names{u"NORV"});
        EXPECT_EQ(StoredPorts(), Names{u"NORV"});
        if (door.legacyForm) legacy.Detach();
        else Stop();
    }
}

// Another machine's ports are not this DLL's to change: each call is
// cancelled before any dialog. This machine's own name is no other machine.
TEST_F(MonitorUiTest, OnlyAnotherServerIsCancelled) {
    const struct {
        const char16_t* server;
        bool local;
    } cases[] = {
        {u"", true},           {u"\\\\THISPC", true}, {u"\\\\thisPC", true},
        {u"\\\\server", false}, {u"\\\\THISPC2", false}, {u"\\\\THISP", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(U8(c.server));
        if (table) Stop();
        SetUp();
        win32layer::SetComputerName(u"THISPC");
        win32layer::CancelFolderBrowser();
        EXPECT_EQ(AddPortUi(W(c.server)), std::make_pair(FALSE, DWORD(ERROR_CANCELLED)));
        EXPECT_EQ(win32layer::FolderBrowserCalls().size(), c.local ? 1u : 0u);

        SetLastError(0);
        EXPECT_FALSE(ui->pfnConfigurePortUI(W(c.server), kOwner, W(u"NORV")));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_CANCELLED));
        EXPECT_EQ(win32layer::MessageBoxes().size(), c.local ? 1u : 0u);
        win32layer::ClearMessageBoxes();

        SetLastError(0);
        EXPECT_EQ(ui->pfnDeletePortUI(W(c.server), kOwner, W(u"NORV")), c.local ? TRUE : FALSE);
        if (!c.local) {
            EXPECT_EQ(GetLastError(), DWORD(ERROR_CANCELLED));
        }
        EXPECT_EQ(StoredPorts(), c.local ? Names() : (Names{u"NORV"}));
        EXPECT_EQ(win32layer::MessageBoxes().size(), c.local ? 1u : 0u);
    }
}

// The monitor takes only the name it stores, so the DLL sends the picked
// folder in that form and hands the same name back.
TEST_F(MonitorUiTest, AddPortUiSendsTheCanonicalNameOfThePick) {
    const struct {
        const char16_t* picked;
        DWORD expected;
        const char16_t* port;  // added and handed back; null when refused
    } cases[] = {
        {u"D:\\Scans", ERROR_SUCCESS, u"D:\\Scans\\"},
        {u"D:\\Out\\..\\Scans", ERROR_SUCCESS, u"D:\\Scans\\"},
        {u"D:/Scans/", ERROR_SUCCESS, u"D:\\Scans\\"},
        {u"Scans", ERROR_INVALID_NAME, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(U8(c.picked));
        if (table) Stop();
        SetUp();
        win32layer::ChooseFolder(c.picked);
        SetLastError(0);
        PWSTR added = nullptr;
        EXPECT_EQ(ui->pfnAddPortUI(nullptr, kOwner, W(u"NORV Monitor"), &added),
                  c.expected == ERROR_SUCCESS ? TRUE : FALSE);
        if (c.port) {
            ASSERT_NE(added, nullptr);
            EXPECT_EQ(S(added), c.port);
            EXPECT_EQ(GlobalFree(added), nullptr);
            EXPECT_EQ(Ports(), (Names{c.port, u"NORV"}));
            EXPECT_TRUE(win32layer::MessageBoxes().empty());
        } else {
            EXPECT_EQ(GetLastError(), c.expected);
            EXPECT_EQ(added, nullptr);
            EXPECT_EQ(Ports(), (Names{u"NORV"}));
            ExpectOneBox(u"The filename, directory name, or volume label syntax is incorrect.\r\n",
                         u"Port not added");
        }
    }
}

// A port a printer prints to stays: ERROR_BUSY and a box naming the printer.
TEST_F(MonitorUiTest, DeletePortUiKeepsAPortAPrinterUses) {
    const std::u16string inUse =
        u"Port \"D:\\Out\\\" cannot be removed, because\nthe printer \"Office\" prints to it.\n\n"
        u"Please set the printer to another port first.";
    const struct {
        const char* what;
        const char16_t* printerPorts;  // the printer's pPortName
        HWND owner;
        DWORD expected;
        const char16_t* box;  // null: no box
    } cases[] = {
        {"the printer's port", u"D:\\Out\\", kOwner, ERROR_BUSY, inUse.c_str()},
        {"one of a pool, spaced, other case", u"LPT1:, d:\\out\\", kOwner, ERROR_BUSY, inUse.c_str()},
        {"no window", u"LPT1:,D:\\Out\\", nullptr, ERROR_BUSY, nullptr},
        {"a folder below", u"D:\\Out\\Old\\,LPT1:", kOwner, ERROR_SUCCESS,
         u"Port \"D:\\Out\\\" successfully removed."},
        {"no port", u"", kOwner, ERROR_SUCCESS, u"Port \"D:\\Out\\\" successfully removed."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (table) Stop();
        SetUp();
        ASSERT_EQ(Xcv(u"AddPort", Input(u"D:\\Out\\"), SERVER_ACCESS_ADMINISTER), DWORD(ERROR_SUCCESS));
        win32layer::AddPrinter(u"Idle");
        win32layer::AddPrinter(u"Office");
        win32layer::SetPrinterPorts(u"Office", c.printerPorts);
        SetLastError(0);
        const BOOL ok = ui->pfnDeletePortUI(nullptr, c.owner, W(u"D:\\Out\\"));
        EXPECT_EQ(ok ? DWORD(ERROR_SUCCESS) : GetLastError(), c.expected);
        EXPECT_EQ(Ports(), c.expected == ERROR_BUSY ? (Names{u"D:\\Out\\", u"NORV"}) : (Names{u"NORV"}));
        if (c.box) {
            ExpectOneBox(c.box, c.expected == ERROR_BUSY ? u"Error" : u"Port removed");
        } else {
            EXPECT_TRUE(win32layer::MessageBoxes().empty());
        }
    }
    // Printers that cannot be listed leave the port as it is.
    Stop();
    SetUp();
    ASSERT_EQ(Xcv(u"AddPort", Input(u"D:\\Out\\"), SERVER_ACCESS_ADMINISTER), DWORD(ERROR_SUCCESS));
    win32layer::FailCall(win32layer::Api::EnumPrintersW, 1, ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(0);
    EXPECT_FALSE(ui->pfnDeletePortUI(nullptr, kOwner, W(u"D:\\Out\\")));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
    ExpectOneBox(u"An unknown error has occurred\n\nCouldn't remove the port.", u"Error");
    EXPECT_EQ(Ports(), (Names{u"D:\\Out\\", u"NORV"}));
}

}  // namespace
