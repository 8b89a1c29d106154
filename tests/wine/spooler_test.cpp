// The monitor inside Wine's print spooler, driven the way an administrator
// and a user drive it: norvinst installs it, the spooler lists its ports,
// a user adds, configures and deletes ports through the real shell folder
// browser and message boxes, and a document prints to the default port.
//
// Runs under a display (Xvfb): the folder browser and message boxes are
// real windows, answered by DialogDriver.

#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "dialog_driver.h"
#include "spooler_client.h"

// winspool.drv exports AddPortExW; MinGW-w64's winspool.h does not declare it.
extern "C" BOOL WINAPI AddPortExW(LPWSTR pName, DWORD Level, LPBYTE pBuffer, LPWSTR pMonitorName);

using norv::Narrow;

namespace {

const wchar_t kMonitorName[] = L"NORV Monitor";

std::wstring SystemDllPath() {
    wchar_t directory[MAX_PATH] = {0};
    GetSystemDirectoryW(directory, MAX_PATH);  // SysWOW64 for the 32-bit build
    return std::wstring(directory) + L"\\norvmon.dll";
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MonitorRegistered() {
    DWORD needed = 0, count = 0;
    EnumMonitorsW(nullptr, 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed ? needed : 1);
    if (!EnumMonitorsW(nullptr, 1, buffer.data(), needed, &needed, &count)) return false;
    const MONITOR_INFO_1W* info = reinterpret_cast<const MONITOR_INFO_1W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (info[i].pName && lstrcmpW(info[i].pName, kMonitorName) == 0) return true;
    }
    return false;
}

// The names EnumPortsW level 1 gives, in order.
std::vector<std::wstring> PortNames() {
    std::vector<std::wstring> names;
    DWORD error = 0;
    EXPECT_TRUE(norv::EnumPortsLevel1(&names, &error)) << "EnumPortsW level 1 failed with " << error;
    return names;
}

// Only this monitor's ports, by EnumPortsW level 2, in order.
std::vector<norv::Port> OurPorts() {
    std::vector<norv::Port> all, ours;
    DWORD error = 0;
    EXPECT_TRUE(norv::EnumPortsLevel2(&all, &error)) << "EnumPortsW level 2 failed with " << error;
    for (const norv::Port& port : all) {
        if (port.monitor == kMonitorName) ours.push_back(port);
    }
    return ours;
}

std::vector<std::wstring> OurPortNames() {
    std::vector<std::wstring> names;
    for (const norv::Port& port : OurPorts()) names.push_back(port.name);
    return names;
}

size_t CountOf(const std::vector<std::wstring>& names, const std::wstring& name) {
    return static_cast<size_t>(std::count(names.begin(), names.end(), name));
}

std::string Show(const std::vector<std::wstring>& names) {
    std::string text = "{";
    for (size_t i = 0; i < names.size(); ++i) text += (i ? ", \"" : "\"") + Narrow(names[i]) + "\"";
    return text + "}";
}

std::string Show(const std::vector<SeenDialog>& dialogs) {
    std::string text;
    for (const SeenDialog& dialog : dialogs) {
        text += "\n  [" + Narrow(dialog.caption) + "] " + Narrow(dialog.text) +
                (dialog.folderBrowser ? " (folder browser, selected \"" + Narrow(dialog.selected) + "\")" : "");
    }
    return text.empty() ? "no dialog" : text;
}

// True when some line of text starts with parts[0] and contains the others.
bool HasLine(const std::string& text, const std::vector<std::string>& parts) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        bool all = line.compare(0, parts[0].size(), parts[0]) == 0;
        for (size_t i = 1; all && i < parts.size(); ++i) all = line.find(parts[i]) != std::string::npos;
        if (all) return true;
        start = end + 1;
    }
    return false;
}

// ---------------------------------------------------------- norvinst ----

TEST(Installer, RejectsBadCommandLinesWithUsage) {
    norv::CommandResult none = norv::RunInstaller(L"");
    EXPECT_EQ(1u, none.exitCode) << none.output;
    EXPECT_NE(std::string::npos, none.output.find("Usage: norvinst")) << none.output;

    norv::CommandResult unknown = norv::RunInstaller(L"frobnicate");
    EXPECT_EQ(1u, unknown.exitCode) << unknown.output;
    EXPECT_NE(std::string::npos, unknown.output.find("unknown command \"frobnicate\"")) << unknown.output;

    norv::CommandResult extra = norv::RunInstaller(L"status now");
    EXPECT_EQ(1u, extra.exitCode) << extra.output;

    norv::CommandResult help = norv::RunInstaller(L"help");
    EXPECT_EQ(0u, help.exitCode) << help.output;
    EXPECT_NE(std::string::npos, help.output.find("Exit codes")) << help.output;
}

TEST(Installer, MissingDllFailsAndInstallsNothing) {
    norv::CommandResult result = norv::RunInstaller(L"install C:\\no\\such\\folder\\norvmon.dll");
    EXPECT_EQ(2u, result.exitCode) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("was not found")) << result.output;
    EXPECT_FALSE(MonitorRegistered());
    EXPECT_EQ(4u, norv::RunInstaller(L"status").exitCode);
}

// Writes a file in the temporary directory and returns its path.
std::wstring TempFile(const std::wstring& name, const std::string& bytes) {
    wchar_t temp[MAX_PATH] = {0};
    GetTempPathW(MAX_PATH, temp);
    std::wstring path = std::wstring(temp) + name;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return path;
}

// The first bytes of a PE image for the given machine.
std::string ImageHeader(WORD machine) {
    std::string bytes(512, '\0');
    bytes[0] = 'M';
    bytes[1] = 'Z';
    bytes[0x3C] = static_cast<char>(0x80);  // offset of the PE header
    bytes.replace(0x80, 4, std::string("PE\0\0", 4));
    bytes[0x84] = static_cast<char>(machine & 0xFF);
    bytes[0x85] = static_cast<char>(machine >> 8);
    return bytes;
}

TEST(Installer, RefusesADllOfTheOtherArchitectureOrNoDll) {
#ifdef _WIN64
    const WORD other = IMAGE_FILE_MACHINE_I386;
    const char* otherName = "built for x86";
#else
    const WORD other = IMAGE_FILE_MACHINE_AMD64;
    const char* otherName = "built for x64";
#endif
    std::wstring foreign = TempFile(L"norv-foreign.dll", ImageHeader(other));
    norv::CommandResult result = norv::RunInstaller(L"install \"" + foreign + L"\"");
    EXPECT_EQ(2u, result.exitCode) << result.output;
    EXPECT_NE(std::string::npos, result.output.find(otherName)) << result.output;

    std::wstring text = TempFile(L"norv-text.dll", "not a program\n");
    result = norv::RunInstaller(L"install \"" + text + L"\"");
    EXPECT_EQ(2u, result.exitCode) << result.output;
    EXPECT_NE(std::string::npos, result.output.find("not a Windows DLL")) << result.output;

    EXPECT_FALSE(MonitorRegistered());
    EXPECT_FALSE(FileExists(SystemDllPath()));
    DeleteFileW(foreign.c_str());
    DeleteFileW(text.c_str());
}

TEST(Installer, InstallsAndUninstallsTheMonitor) {
    norv::CommandResult before = norv::RunInstaller(L"status");
    ASSERT_EQ(4u, before.exitCode) << "monitor already installed at the start:\n" << before.output;
    EXPECT_NE(std::string::npos, before.output.find("not installed")) << before.output;

    norv::CommandResult install = norv::RunInstaller(L"install --legacy");
    ASSERT_EQ(0u, install.exitCode) << install.output;
    EXPECT_TRUE(FileExists(SystemDllPath())) << Narrow(SystemDllPath());
    EXPECT_TRUE(MonitorRegistered());
    EXPECT_EQ(1u, CountOf(PortNames(), L"NORV")) << Show(PortNames());

    norv::CommandResult status = norv::RunInstaller(L"status");
    EXPECT_EQ(0u, status.exitCode) << status.output;
    EXPECT_NE(std::string::npos, status.output.find("Ports:       NORV")) << status.output;

    norv::CommandResult ports = norv::RunInstaller(L"ports");
    EXPECT_EQ(0u, ports.exitCode) << ports.output;
    EXPECT_TRUE(HasLine(ports.output, {"NORV ", "NORV Monitor", "Norvale Document Monitor"})) << ports.output;

    norv::CommandResult again = norv::RunInstaller(L"install --legacy");
    EXPECT_EQ(0u, again.exitCode) << again.output;
    EXPECT_NE(std::string::npos, again.output.find("already registered")) << again.output;

    norv::CommandResult uninstall = norv::RunInstaller(L"uninstall");
    EXPECT_EQ(0u, uninstall.exitCode) << uninstall.output;
    EXPECT_FALSE(FileExists(SystemDllPath()));
    EXPECT_FALSE(MonitorRegistered());
    EXPECT_EQ(0u, CountOf(PortNames(), L"NORV")) << Show(PortNames());

    EXPECT_EQ(4u, norv::RunInstaller(L"status").exitCode);
    norv::CommandResult twice = norv::RunInstaller(L"uninstall");
    EXPECT_EQ(4u, twice.exitCode) << twice.output;
}

TEST(Installer, StatusReportsARegistrationWithoutItsDll) {
    ASSERT_EQ(0u, norv::RunInstaller(L"install --legacy").exitCode);
    ASSERT_TRUE(DeleteFileW(SystemDllPath().c_str()));
    norv::CommandResult status = norv::RunInstaller(L"status");
    EXPECT_EQ(5u, status.exitCode) << status.output;
    EXPECT_NE(std::string::npos, status.output.find("incomplete")) << status.output;
    EXPECT_EQ(0u, norv::RunInstaller(L"uninstall").exitCode);
    EXPECT_FALSE(MonitorRegistered());
}

// ------------------------------------------------- through the spooler ----

class Spooler : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        install_ = new norv::CommandResult(norv::RunInstaller(L"install --legacy"));
        root_ = L"C:\\norvtest\\" + std::wstring(norv::kArchitecture);
    }

    static void TearDownTestSuite() {
        norv::DeletePrinterNamed(PrinterName());
        norv::RunInstaller(L"uninstall");
        delete install_;
        install_ = nullptr;
    }

    // Every test starts from a monitor whose key holds no ports: the next
    // call that loads the monitor stores the default port alone.
    void SetUp() override {
        ASSERT_EQ(0u, install_->exitCode) << install_->output;
        ASSERT_TRUE(norv::ClearStoredPorts());
    }

    static std::wstring Folder(const std::wstring& name) {
        std::wstring folder = root_ + L"\\" + name;
        EXPECT_TRUE(norv::MakeFolder(folder)) << Narrow(folder);
        return folder;
    }

    static std::wstring PrinterName() { return L"NORV Test Printer " + std::wstring(norv::kArchitecture); }

    // AddPortW as a user does it: the folder browser opens and the user
    // picks folder (or cancels).
    static std::vector<SeenDialog> AddPortChoosing(const std::wstring& folder, bool cancel = false) {
        DialogDriver driver;
        driver.ChooseFolder(folder);
        driver.CancelFolderBrowser(cancel);
        EXPECT_TRUE(AddPortW(nullptr, nullptr, const_cast<wchar_t*>(kMonitorName)))
            << "AddPortW failed with " << GetLastError();
        return driver.Seen();
    }

    static std::vector<SeenDialog> DeletePortNamed(const std::wstring& port) {
        EXPECT_TRUE(norv::RouteWinePortCalls(port));
        DialogDriver driver;
        EXPECT_TRUE(DeletePortW(nullptr, nullptr, const_cast<wchar_t*>(port.c_str())))
            << "DeletePortW failed with " << GetLastError();
        return driver.Seen();
    }

    static norv::CommandResult* install_;
    static std::wstring root_;
};

norv::CommandResult* Spooler::install_ = nullptr;
std::wstring Spooler::root_;

TEST_F(Spooler, ListsTheDefaultPortAtLevel1) {
    std::vector<std::wstring> names = PortNames();
    EXPECT_EQ(1u, CountOf(names, L"NORV")) << Show(names);
    EXPECT_EQ(1u, CountOf(names, L"FILE:")) << "the spooler's own ports are listed too: " << Show(names);
}

TEST_F(Spooler, ListsMonitorAndDescriptionAtLevel2) {
    std::vector<norv::Port> ours = OurPorts();
    ASSERT_EQ(1u, ours.size());
    EXPECT_EQ(L"NORV", ours[0].name);
    EXPECT_EQ(L"NORV Monitor", ours[0].monitor);
    EXPECT_EQ(L"Norvale Document Monitor", ours[0].description);
    EXPECT_EQ(1u, norv::StoredPorts().size());
}

TEST_F(Spooler, AddPortStoresTheChosenFolder) {
    std::wstring folder = Folder(L"Scans");
    std::vector<SeenDialog> dialogs = AddPortChoosing(folder);

    ASSERT_EQ(1u, dialogs.size()) << Show(dialogs);
    EXPECT_TRUE(dialogs[0].folderBrowser) << Show(dialogs);
    EXPECT_NE(std::wstring::npos, dialogs[0].text.find(L"Please select output-directory:")) << Show(dialogs);

    std::wstring port = folder + L"\\";
    std::vector<norv::Port> ours = OurPorts();
    ASSERT_EQ(2u, ours.size());
    EXPECT_EQ(port, ours[0].name) << "the newest port comes first";
    EXPECT_EQ(L"Norvale Document Monitor", ours[0].description);
    EXPECT_EQ(L"NORV", ours[1].name);
    EXPECT_EQ(1u, CountOf(PortNames(), port)) << Show(PortNames());

    std::vector<std::wstring> stored = norv::StoredPorts();
    EXPECT_EQ((std::vector<std::wstring>{L"NORV", port}), stored) << Show(stored);
}

TEST_F(Spooler, PortsAreListedAndStoredNewestFirst) {
    std::wstring first = Folder(L"First") + L"\\";
    std::wstring second = Folder(L"Second") + L"\\";
    AddPortChoosing(first);
    AddPortChoosing(second);

    EXPECT_EQ((std::vector<std::wstring>{second, first, L"NORV"}), OurPortNames()) << Show(OurPortNames());
    std::vector<std::wstring> stored = norv::StoredPorts();
    EXPECT_EQ((std::vector<std::wstring>{L"NORV", first, second}), stored) << Show(stored);
}

TEST_F(Spooler, AddPortRefusesAFolderThatIsAlreadyAPort) {
    std::wstring folder = Folder(L"Twice");
    AddPortChoosing(folder);
    std::vector<std::wstring> storedBefore = norv::StoredPorts();

    std::vector<SeenDialog> dialogs = AddPortChoosing(folder);
    ASSERT_EQ(2u, dialogs.size()) << Show(dialogs);
    EXPECT_TRUE(dialogs[0].folderBrowser);
    EXPECT_EQ(L"Port already exists", dialogs[1].caption);
    EXPECT_EQ(L"The port cannot be added, because there\nis another one with the same name.", dialogs[1].text);

    EXPECT_EQ(storedBefore, norv::StoredPorts());
    EXPECT_EQ(1u, CountOf(PortNames(), folder + L"\\")) << Show(PortNames());
}

TEST_F(Spooler, AddPortCancelledInTheBrowserChangesNothing) {
    std::vector<SeenDialog> dialogs = AddPortChoosing(Folder(L"Cancelled"), /*cancel=*/true);
    ASSERT_EQ(1u, dialogs.size()) << Show(dialogs);
    EXPECT_TRUE(dialogs[0].folderBrowser);
    EXPECT_EQ((std::vector<std::wstring>{L"NORV"}), OurPortNames());
    EXPECT_EQ((std::vector<std::wstring>{L"NORV"}), norv::StoredPorts());
}

TEST_F(Spooler, ConfigurePortSaysPortsCannotBeConfigured) {
    ASSERT_TRUE(norv::RouteWinePortCalls(L"NORV"));
    DialogDriver driver;
    EXPECT_TRUE(ConfigurePortW(nullptr, nullptr, const_cast<wchar_t*>(L"NORV")))
        << "ConfigurePortW failed with " << GetLastError();
    ASSERT_EQ(1u, driver.Seen().size()) << Show(driver.Seen());
    EXPECT_EQ(L"NORV Monitor", driver.Seen()[0].caption);
    EXPECT_EQ(L"This port cannot be configured.\n\nTo change the output-directory, add a new one.",
              driver.Seen()[0].text);
    EXPECT_EQ((std::vector<std::wstring>{L"NORV"}), norv::StoredPorts());
}

TEST_F(Spooler, DeletePortRemovesThePortAndSaysSo) {
    std::wstring port = Folder(L"Removed") + L"\\";
    AddPortChoosing(port);
    ASSERT_EQ(1u, CountOf(OurPortNames(), port)) << Show(OurPortNames());

    std::vector<SeenDialog> dialogs = DeletePortNamed(port);
    ASSERT_EQ(1u, dialogs.size()) << Show(dialogs);
    EXPECT_EQ(L"Port removed", dialogs[0].caption);
    EXPECT_EQ(L"Port \"" + port + L"\" successfully removed.", dialogs[0].text);

    EXPECT_EQ((std::vector<std::wstring>{L"NORV"}), OurPortNames());
    EXPECT_EQ((std::vector<std::wstring>{L"NORV"}), norv::StoredPorts());
}

TEST_F(Spooler, DeletePortOfAnUnknownPortShowsAnError) {
    std::wstring kept = Folder(L"Kept") + L"\\";
    AddPortChoosing(kept);
    std::vector<std::wstring> storedBefore = norv::StoredPorts();

    std::vector<SeenDialog> dialogs = DeletePortNamed(root_ + L"\\NeverAdded\\");
    ASSERT_EQ(1u, dialogs.size()) << Show(dialogs);
    EXPECT_EQ(L"Error", dialogs[0].caption);
    EXPECT_EQ(L"An unknown error has occurred\n\nCouldn't remove the port.", dialogs[0].text);
    EXPECT_EQ(storedBefore, norv::StoredPorts());
}

TEST_F(Spooler, DeletedDefaultPortComesBackWhenTheMonitorNextStarts) {
    std::vector<SeenDialog> dialogs = DeletePortNamed(L"NORV");
    ASSERT_EQ(1u, dialogs.size()) << Show(dialogs);
    EXPECT_EQ(L"Port removed", dialogs[0].caption);
    EXPECT_EQ(L"Port \"NORV\" successfully removed.", dialogs[0].text);

    // Wine loads the monitor afresh for each call, so listing the ports is
    // the monitor's next start.
    EXPECT_EQ((std::vector<std::wstring>{L"NORV"}), OurPortNames());
    EXPECT_EQ((std::vector<std::wstring>{L"NORV"}), norv::StoredPorts());
}

TEST_F(Spooler, RawDocumentPrintedToTheDefaultPortCompletes) {
    ASSERT_TRUE(norv::RouteWinePortCalls(L"NORV"));
    std::string data = "%!PS\n/Helvetica findfont 12 scalefont setfont 72 720 moveto (NORV) show showpage\n";
    norv::PrintResult result = norv::PrintRaw(PrinterName(), L"NORV", L"Report.doc", data);
    EXPECT_TRUE(result.ok) << result.step << " failed with " << result.error;
    EXPECT_NE(0u, result.jobId);
    EXPECT_EQ(data.size(), result.written);
    // Applications print to this printer only if its driver gives a page.
    HDC dc = CreateDCW(L"WINSPOOL", PrinterName().c_str(), nullptr, nullptr);
    ASSERT_NE(nullptr, dc);
    EXPECT_GT(GetDeviceCaps(dc, PHYSICALWIDTH), 0);
    EXPECT_GT(GetDeviceCaps(dc, PHYSICALHEIGHT), 0);
    DeleteDC(dc);

    // A second document on the same port starts and ends as well: the port
    // left the first one finished.
    norv::PrintResult second = norv::PrintRaw(PrinterName(), L"NORV", L"Second.txt", "plain text\n");
    EXPECT_TRUE(second.ok) << second.step << " failed with " << second.error;
    EXPECT_EQ((std::vector<std::wstring>{L"NORV"}), OurPortNames());
}

// ------------------------------------------------- ports without a dialog ----

// The Windows message for an error code, as norvinst prints it.
std::string WindowsMessage(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = text ? text : L"";
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ' ||
                                message.back() == L'.')) {
        message.pop_back();
    }
    return Narrow(message) + " (error " + std::to_string(code) + ")";
}

// A command-line argument in quotes. Backslashes before the closing quote are
// doubled: by Windows' parsing rule, "C:\Out\" would end in a quote character.
std::wstring Quoted(const std::wstring& argument) {
    size_t trailing = 0;
    while (trailing < argument.size() && argument[argument.size() - 1 - trailing] == L'\\') ++trailing;
    return L"\"" + argument + std::wstring(trailing, L'\\') + L"\"";
}

TEST_F(Spooler, AddPortCommandAddsAFolderListedFirstAndStoredOnTop) {
    std::wstring folder = Folder(L"Out\\Scans");
    norv::CommandResult add = norv::RunInstaller(L"add-port " + Quoted(folder));
    ASSERT_EQ(0u, add.exitCode) << add.output;
    EXPECT_NE(std::string::npos, add.output.find("Added the port for " + Narrow(folder))) << add.output;

    std::wstring port = folder + L"\\";
    EXPECT_EQ((std::vector<std::wstring>{port, L"NORV"}), OurPortNames()) << Show(OurPortNames());
    EXPECT_EQ((std::vector<std::wstring>{L"NORV", port}), norv::StoredPorts()) << Show(norv::StoredPorts());
    norv::CommandResult ports = norv::RunInstaller(L"ports");
    EXPECT_TRUE(HasLine(ports.output, {Narrow(port), "NORV Monitor", "Norvale Document Monitor"})) << ports.output;
}

// Each refusal: exit code 7, the Windows message for the code, nothing stored.
TEST_F(Spooler, AddPortCommandRefusalsGiveTheWindowsMessage) {
    std::wstring folder = Folder(L"Refused");
    ASSERT_EQ(0u, norv::RunInstaller(L"add-port " + Quoted(folder)).exitCode);
    std::vector<std::wstring> stored = norv::StoredPorts();

    std::wstring upper = folder;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
    struct Case {
        std::wstring folder;
        DWORD error;
    };
    const Case cases[] = {
        {upper + L"\\", ERROR_ALREADY_EXISTS},  // the same folder in another case
        {L"norvtest\\Refused", ERROR_INVALID_NAME},
        {root_ + L"\\No such folder", ERROR_PATH_NOT_FOUND},
        {L"nOrV", ERROR_ALREADY_EXISTS},  // the default port, listed
        {root_ + L"\\Out,Scans", ERROR_INVALID_NAME},  // a comma would split a printer's port list
    };
    for (const Case& c : cases) {
        norv::CommandResult result = norv::RunInstaller(L"add-port " + Quoted(c.folder));
        EXPECT_EQ(7u, result.exitCode) << result.output;
        EXPECT_TRUE(HasLine(result.output, {"norvinst: cannot add the port for " + Narrow(c.folder),
                                            WindowsMessage(c.error)}))
            << result.output;
        EXPECT_EQ(stored, norv::StoredPorts()) << Show(norv::StoredPorts());
    }
    EXPECT_EQ(1u, CountOf(PortNames(), folder + L"\\")) << Show(PortNames());
}

// AddPortExW straight from this process, where the dialog driver would see
// any window the monitor opened: at both levels, none.
TEST_F(Spooler, AddPortExShowsNoWindowAtEitherLevel) {
    std::wstring first = Folder(L"LevelOne");
    std::wstring second = Folder(L"LevelTwo");
    DialogDriver driver;
    PORT_INFO_1W one = {&first[0]};
    EXPECT_TRUE(AddPortExW(nullptr, 1, reinterpret_cast<BYTE*>(&one), const_cast<wchar_t*>(kMonitorName)))
        << GetLastError();
    PORT_INFO_2W two = {&second[0], const_cast<wchar_t*>(kMonitorName), nullptr, 0, 0};
    EXPECT_TRUE(AddPortExW(nullptr, 2, reinterpret_cast<BYTE*>(&two), const_cast<wchar_t*>(kMonitorName)))
        << GetLastError();
    EXPECT_FALSE(AddPortExW(nullptr, 1, reinterpret_cast<BYTE*>(&one), const_cast<wchar_t*>(kMonitorName)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_TRUE(driver.Seen().empty()) << Show(driver.Seen());
    EXPECT_EQ((std::vector<std::wstring>{second + L"\\", first + L"\\", L"NORV"}), OurPortNames())
        << Show(OurPortNames());
}

}  // namespace
