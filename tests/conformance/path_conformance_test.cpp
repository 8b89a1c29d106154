// What the monitor relies on when a program names a folder: the full path
// Windows makes of it and the attributes it reports, the same over our Win32
// layer and over real Win32; and AddPortEx built on them, through the exports.
#include "harness.h"

using namespace harness;

namespace {

std::u16string FullPath(const std::u16string& path) {
    WCHAR buffer[MAX_PATH];
    DWORD length = GetFullPathNameW(W(path), MAX_PATH, buffer, nullptr);
    return length && length < MAX_PATH ? S(buffer) : u"(failed)";
}

TEST(PathConformance, FullPathNamesAreMadeAsWindowsMakesThem) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"C:\\Out\\Scans", u"C:\\Out\\Scans"},
        {u"C:/Out/Scans/", u"C:\\Out\\Scans\\"},
        {u"C:\\Out\\\\\\Scans", u"C:\\Out\\Scans"},
        {u"C:\\Out\\.\\Scans\\.", u"C:\\Out\\Scans"},
        {u"C:\\Out\\Tmp\\..\\Scans", u"C:\\Out\\Scans"},
        {u"C:\\Out\\Scans\\..", u"C:\\Out"},
        {u"C:\\..\\..\\Out", u"C:\\Out"},
        {u"C:\\Out\\..", u"C:\\"},
        {u"C:\\", u"C:\\"},
        {u"C:\\Out\\Scans. . ", u"C:\\Out\\Scans"},
        {u"C:\\Out.\\Scans", u"C:\\Out\\Scans"},
        {u"C:\\Out..\\Scans", u"C:\\Out.\\Scans"},
        {u"C:\\Out\\...\\Scans", u"C:\\Out\\..\\Scans"},  // one dot of an inner name goes
        {u"C:\\Out\\.Scans", u"C:\\Out\\.Scans"},
        {u"\\\\Server\\Share\\Out\\..\\..\\Scans", u"\\\\Server\\Share\\Scans"},
        {u"\\\\Server\\Share", u"\\\\Server\\Share"},
        {u"//Server/Share/Out/", u"\\\\Server\\Share\\Out\\"},
    };
    for (const auto& c : cases) EXPECT_EQ(U8(FullPath(c.first)), U8(c.second)) << U8(c.first);
}

TEST(PathConformance, FullPathNameSizesAndFilePart) {
    const std::u16string path = u"C:\\Out\\Scans\\Report.doc";
    EXPECT_EQ(GetFullPathNameW(W(path), 0, nullptr, nullptr), DWORD(path.size() + 1));
    WCHAR small[8];
    EXPECT_EQ(GetFullPathNameW(W(path), 8, small, nullptr), DWORD(path.size() + 1));
    WCHAR buffer[MAX_PATH];
    LPWSTR filePart = nullptr;
    EXPECT_EQ(GetFullPathNameW(W(path), MAX_PATH, buffer, &filePart), DWORD(path.size()));
    EXPECT_EQ(U8(S(filePart)), "Report.doc");
    EXPECT_EQ(GetFullPathNameW(W(u"C:\\Out\\"), MAX_PATH, buffer, &filePart), 7u);
    EXPECT_EQ(filePart, nullptr);
}

TEST(PathConformance, AttributesTellFoldersFromFilesAndWhatIsMissing) {
    ResetMachine();
    const std::u16string folder = NewFolder();
    MakeFolder(folder + u"Scans");
    MakeFile(folder + u"Report.doc");
    EXPECT_NE(GetFileAttributesW(W(folder + u"Scans")) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(GetFileAttributesW(W(folder + u"SCANS\\")) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(GetFileAttributesW(W(folder + u"Scans\\..\\scans. ")) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    DWORD file = GetFileAttributesW(W(folder + u"report.DOC"));
    EXPECT_NE(file, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(file & FILE_ATTRIBUTE_DIRECTORY, 0u);

    EXPECT_EQ(GetFileAttributesW(W(folder + u"Missing")), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(W(folder + u"Missing\\Scans")), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
}

// AddPortEx over real paths: the canonical name on top of the store, and the
// refusals Windows' path rules lead to.
TEST(PathConformance, AddPortExTakesAFolderByItsCanonicalName) {
    ResetMachine();
    const std::u16string folder = NewFolder();
    MakeFolder(folder + u"Scans");
    StoreString(kRoot, u"1", u"NORV");
    Monitor monitor;
    monitor.Start();
    auto add = [&monitor](const std::u16string& name) {
        PORT_INFO_1W info = {W(name)};
        SetLastError(0);
        return monitor.ops().pfnAddPortEx(nullptr, 1, reinterpret_cast<LPBYTE>(&info), nullptr)
                   ? DWORD(ERROR_SUCCESS)
                   : GetLastError();
    };
    EXPECT_EQ(add(folder + u"Out\\..\\Scans."), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(StoredPorts(), (std::vector<std::u16string>{u"NORV", folder + u"Scans\\"}));
    EXPECT_EQ(monitor.Ports().front(), folder + u"Scans\\");
    EXPECT_EQ(add(folder + u"SCANS\\"), DWORD(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(add(u"Scans"), DWORD(ERROR_INVALID_NAME));
    EXPECT_EQ(add(folder + u"Sc?ns"), DWORD(ERROR_INVALID_NAME));
    EXPECT_EQ(add(folder + u"Missing"), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(StoredPorts(), (std::vector<std::u16string>{u"NORV", folder + u"Scans\\"}));
    monitor.Detach();
    ResetMachine();
}

}  // namespace
