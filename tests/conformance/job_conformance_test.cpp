// Output names of the job path, made with the platform's extension rule: the
// same names over our Win32 layer and over real Win32.
#include "harness.h"
#include "ports/port_list.h"

using namespace harness;

namespace {

class JobConformance : public MonitorTest {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        StoreString(kRoot, u"1", u"NORV");
        StoreString(kRoot, u"2", u"D:\\My.Scans\\");
        monitor.Start();
    }
    // The output name StartDocPort records for a document on a port.
    std::u16string OutputName(const std::u16string& port, const std::u16string& document, DWORD level = 1) {
        HANDLE handle = monitor.Open(port);
        EXPECT_NE(handle, nullptr);
        if (!handle) return u"";
        DOC_INFO_1W info = {W(document), nullptr, nullptr};
        EXPECT_TRUE(monitor.ops().pfnStartDocPort(handle, W(u"Printer"), 7, level,
                                                  reinterpret_cast<LPBYTE>(&info)));
        std::u16string name = S(static_cast<PortRecord*>(handle)->outputFile);
        monitor.ops().pfnEndDocPort(handle);
        monitor.ops().pfnClosePort(handle);
        return name;
    }
};

TEST_F(JobConformance, ExtensionOfTheLastComponentIsReplacedOrAdded) {
    EXPECT_EQ(OutputName(u"D:\\My.Scans\\", u"Report.doc"), u"D:\\My.Scans\\Report.xpm");
    EXPECT_EQ(OutputName(u"D:\\My.Scans\\", u"archive.tar.gz"), u"D:\\My.Scans\\archive.tar.xpm");
    EXPECT_EQ(OutputName(u"D:\\My.Scans\\", u"Untitled - Notepad"), u"D:\\My.Scans\\Untitled - Notepad.xpm");
    EXPECT_EQ(OutputName(u"D:\\My.Scans\\", u"Notes."), u"D:\\My.Scans\\Notes.xpm");
    EXPECT_EQ(OutputName(u"D:\\My.Scans\\", u".profile"), u"D:\\My.Scans\\.xpm");
    // A dot before a space starts no extension.
    EXPECT_EQ(OutputName(u"D:\\My.Scans\\", u"v1.0 draft"), u"D:\\My.Scans\\v1.0 draft.xpm");
}

TEST_F(JobConformance, DefaultPortNamesInTheTempDirectory) {
    EXPECT_EQ(OutputName(u"NORV", u"Untitled - Notepad"),
              u"C:\\WINDOWS\\TEMP\\NORV\\Untitled - Notepad.xpm");
}

TEST_F(JobConformance, LevelsOtherThanOneAndTwoUseThePortPathAlone) {
    EXPECT_EQ(OutputName(u"D:\\My.Scans\\", u"Report.doc", 2), u"D:\\My.Scans\\Report.xpm");
    EXPECT_EQ(OutputName(u"D:\\My.Scans\\", u"Report.doc", 3), u"D:\\My.Scans\\.xpm");
}

TEST_F(JobConformance, OverlongNamesStayWithinTheBufferAndKeepTheExtension) {
    for (size_t units : {240u, 250u, 255u, 256u, 300u}) {
        SCOPED_TRACE(units);
        std::u16string name = OutputName(u"D:\\My.Scans\\", std::u16string(units, u'd') + u".doc");
        EXPECT_LT(name.size(), 260u);
        EXPECT_EQ(name.substr(name.size() - 4), u".xpm");
        EXPECT_EQ(name.substr(0, 12), u"D:\\My.Scans\\");
    }
}

}  // namespace
