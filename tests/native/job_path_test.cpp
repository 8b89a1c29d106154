// The job path as the spooler drives it: OpenPort, StartDocPort, WritePort,
// EndDocPort, ClosePort, with the printers' queues underneath.
#include <cstring>

#include "control.h"
#include "harness.h"
#include "ports/port_list.h"
#include "printers_control.h"

using namespace harness;
using win32layer::Api;
using Jobs = std::vector<DWORD>;

namespace {

const std::u16string kScans = u"D:\\Scans\\";
const std::u16string kDefaultDirectory = u"C:\\WINDOWS\\TEMP\\NORV\\";
const std::u16string kPrinter = u"Norv Printer";
const std::u16string kOther = u"Other Printer";

PortRecord* Record(HANDLE handle) { return static_cast<PortRecord*>(handle); }

class JobPathTest : public MonitorTest {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        StoreString(kRoot, u"1", u"NORV");
        StoreString(kRoot, u"2", kScans);
        monitor.Start();
        win32layer::AddPrinter(kPrinter);
        win32layer::AddPrinter(kOther);
    }

    HANDLE OpenOrFail(const std::u16string& name) {
        HANDLE handle = monitor.Open(name);
        EXPECT_NE(handle, nullptr) << U8(name);
        return handle;
    }

    BOOL StartDoc(HANDLE port, const std::u16string& printer, DWORD job, const char16_t* document,
                  DWORD level = 1) {
        DOC_INFO_1W info{};
        info.pDocName = reinterpret_cast<LPWSTR>(const_cast<char16_t*>(document));
        return monitor.ops().pfnStartDocPort(port, W(printer), job, level,
                                             reinterpret_cast<LPBYTE>(&info));
    }

    // The output name the port records for `document` printed at `level`.
    std::u16string OutputFor(const std::u16string& port, const char16_t* document,
                             DWORD level = 1) {
        HANDLE handle = OpenOrFail(port);
        if (!handle) return u"<no port>";
        EXPECT_TRUE(StartDoc(handle, kPrinter, 1, document, level));
        std::u16string output = S(Record(handle)->outputFile);
        EXPECT_TRUE(monitor.ops().pfnEndDocPort(handle));
        EXPECT_TRUE(monitor.ops().pfnClosePort(handle));
        return output;
    }
};

TEST_F(JobPathTest, OpenPortFindsPortsByNameInAnyCaseAndRejectsOthers) {
    HANDLE byName = OpenOrFail(u"norv");
    HANDLE byPath = OpenOrFail(u"c:\\windows\\temp\\NORV\\");
    EXPECT_EQ(byName, byPath);
    EXPECT_EQ(S(Record(byName)->path), kDefaultDirectory);
    EXPECT_NE(Record(byName)->isDefault, 0u);
    EXPECT_EQ(Record(byName)->flags, PORT_OPEN);

    HANDLE scans = OpenOrFail(u"d:\\scans\\");
    EXPECT_NE(scans, byName);
    EXPECT_EQ(S(Record(scans)->path), kScans);

    for (const char16_t* name : {u"D:\\Scans", u"NORV\\", u"", u"E:\\"}) {
        HANDLE handle = reinterpret_cast<HANDLE>(0x1234);
        SetLastError(0);
        EXPECT_FALSE(monitor.ops().pfnOpenPort(W(name), &handle)) << U8(name);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
        EXPECT_EQ(handle, reinterpret_cast<HANDLE>(0x1234));
    }
}

TEST_F(JobPathTest, PortWalksThroughItsStatesAndDeletesEachJobAtItsEnd) {
    win32layer::AddJob(kPrinter, 12);
    win32layer::AddJob(kPrinter, 13);
    HANDLE port = OpenOrFail(kScans);
    PortRecord* record = Record(port);
    EXPECT_EQ(record->flags, PORT_OPEN);

    ASSERT_TRUE(StartDoc(port, kPrinter, 12, u"Report.doc"));
    EXPECT_EQ(record->flags, PORT_OPEN | PORT_DOC_ACTIVE);
    EXPECT_EQ(S(record->outputFile), u"D:\\Scans\\Report.xpm");
    EXPECT_EQ(S(record->printerName), kPrinter);
    EXPECT_EQ(record->jobId, 12u);

    // A second document while one is in progress: refused, nothing changes,
    // the last error is not touched.
    SetLastError(4242);
    EXPECT_FALSE(StartDoc(port, kOther, 99, u"Other.txt"));
    EXPECT_EQ(GetLastError(), 4242u);
    EXPECT_EQ(S(record->outputFile), u"D:\\Scans\\Report.xpm");
    EXPECT_EQ(S(record->printerName), kPrinter);
    EXPECT_EQ(record->jobId, 12u);

    // Writes are reported in full and change nothing.
    PortRecord before = *record;
    BYTE data[300] = {1, 2, 3};
    DWORD written = 0;
    EXPECT_TRUE(monitor.ops().pfnWritePort(port, data, sizeof(data), &written));
    EXPECT_EQ(written, DWORD(sizeof(data)));
    EXPECT_TRUE(monitor.ops().pfnWritePort(port, data, 0, &written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(std::memcmp(&before, record, sizeof(before)), 0);

    EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
    EXPECT_EQ(record->flags, PORT_OPEN);
    EXPECT_EQ(S(record->outputFile), u"");
    EXPECT_EQ(S(record->printerName), kPrinter);  // kept after the document
    EXPECT_EQ(record->jobId, 12u);
    EXPECT_EQ(win32layer::Jobs(kPrinter), Jobs{13});

    ASSERT_TRUE(StartDoc(port, kPrinter, 13, u"Next"));
    EXPECT_EQ(S(record->outputFile), u"D:\\Scans\\Next.xpm");
    EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
    EXPECT_TRUE(win32layer::Jobs(kPrinter).empty());

    EXPECT_TRUE(monitor.ops().pfnClosePort(port));
    EXPECT_EQ(record->flags, 0u);
    EXPECT_EQ(monitor.Ports(), (std::vector<std::u16string>{kScans, u"NORV"}));

    auto calls = win32layer::SetJobCalls();
    ASSERT_EQ(calls.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(calls[i].printer, kPrinter);
        EXPECT_EQ(calls[i].jobId, 12u + i);
        EXPECT_EQ(calls[i].level, 0u);
        EXPECT_EQ(calls[i].command, DWORD(JOB_CONTROL_DELETE));
        EXPECT_TRUE(calls[i].succeeded);
    }
    EXPECT_EQ(win32layer::OpenPrinterHandleCount(), 0u);
}

TEST_F(JobPathTest, FlagsChangeBitByBitWhateverTheOrder) {
    HANDLE port = OpenOrFail(kScans);
    EXPECT_TRUE(monitor.ops().pfnClosePort(port));
    // Never reopened: starting still works.
    ASSERT_TRUE(StartDoc(port, kPrinter, 5, u"a.txt"));
    EXPECT_EQ(Record(port)->flags, PORT_DOC_ACTIVE);
    // Closing in the middle of a document leaves the document in progress.
    EXPECT_TRUE(OpenOrFail(kScans));
    EXPECT_TRUE(monitor.ops().pfnClosePort(port));
    EXPECT_EQ(Record(port)->flags, PORT_DOC_ACTIVE);
    EXPECT_FALSE(StartDoc(port, kPrinter, 6, u"b.txt"));
    EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
    EXPECT_EQ(Record(port)->flags, 0u);
    // Opening twice is allowed and gives the same record.
    EXPECT_EQ(OpenOrFail(kScans), port);
    EXPECT_EQ(OpenOrFail(kScans), port);
    EXPECT_EQ(Record(port)->flags, PORT_OPEN);
}

TEST_F(JobPathTest, OutputNameIsPortDirectoryAndDocumentWithTheExtensionReplaced) {
    struct Case {
        std::u16string port;
        const char16_t* document;
        DWORD level;
        std::u16string output;
    };
    const Case cases[] = {
        {kScans, u"Report.doc", 1, u"D:\\Scans\\Report.xpm"},
        {u"NORV", u"Untitled - Notepad", 1, u"C:\\WINDOWS\\TEMP\\NORV\\Untitled - Notepad.xpm"},
        {kScans, u"archive.tar.gz", 1, u"D:\\Scans\\archive.tar.xpm"},
        {kScans, u"Report.doc", 2, u"D:\\Scans\\Report.xpm"},
        // Other levels use the port's directory alone.
        {kScans, u"Report.doc", 3, u"D:\\Scans\\.xpm"},
        {u"NORV", u"Report.doc", 0, u"C:\\WINDOWS\\TEMP\\NORV\\.xpm"},
        // An extension cannot hold a space.
        {kScans, u"Minutes v1.2 final", 1, u"D:\\Scans\\Minutes v1.2 final.xpm"},
        {kScans, u"Q3 figures.xlsx", 1, u"D:\\Scans\\Q3 figures.xpm"},
        // A document name holding a path: only its last component counts,
        // and only a backslash ends a component.
        {kScans, u"C:\\Work.d\\Notes", 1, u"D:\\Scans\\C:\\Work.d\\Notes.xpm"},
        {kScans, u"example.com/index", 1, u"D:\\Scans\\example.xpm"},
        {kScans, u"Trailing.", 1, u"D:\\Scans\\Trailing.xpm"},
        {kScans, u"", 1, u"D:\\Scans\\.xpm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(U8(c.document) + " at level " + std::to_string(c.level));
        EXPECT_EQ(OutputFor(c.port, c.document, c.level), c.output);
    }
}

TEST_F(JobPathTest, DotInThePortDirectoryIsNotTakenForAnExtension) {
    monitor.Detach();
    StoreString(kRoot, u"3", u"D:\\My.Scans\\");
    monitor.Start();
    EXPECT_EQ(OutputFor(u"D:\\My.Scans\\", u"Report"), u"D:\\My.Scans\\Report.xpm");
    EXPECT_EQ(OutputFor(u"D:\\My.Scans\\", nullptr, 3), u"D:\\My.Scans\\.xpm");
}

TEST_F(JobPathTest, WhatARealSpoolerHostPassesIsTakenWithoutHarm) {
    HANDLE port = OpenOrFail(kScans);
    // No printer name, job 0, no document name.
    ASSERT_TRUE(StartDoc(port, u"", 0, nullptr));
    EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
    ASSERT_TRUE(monitor.ops().pfnStartDocPort(port, nullptr, 0, 1, nullptr));
    EXPECT_EQ(S(Record(port)->printerName), u"");
    EXPECT_EQ(Record(port)->jobId, 0u);
    EXPECT_EQ(S(Record(port)->outputFile), u"D:\\Scans\\.xpm");
    EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
    ASSERT_TRUE(monitor.ops().pfnStartDocPort(port, nullptr, 0, 2, nullptr));
    EXPECT_EQ(S(Record(port)->outputFile), u"D:\\Scans\\.xpm");

    // An empty printer name names no printer: the print server is not opened.
    unsigned opens = win32layer::CallCount(Api::OpenPrinterW);
    EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
    EXPECT_EQ(win32layer::CallCount(Api::OpenPrinterW), opens);
    EXPECT_EQ(win32layer::CallCount(Api::SetJobW), 0u);
    EXPECT_TRUE(win32layer::OpenPrinterNames().empty());
}

TEST_F(JobPathTest, OverlongOutputNameIsShortenedInTheDocumentPartAndKeepsItsExtension) {
    const std::u16string a246(246, u'a');  // D:\Scans\ + 246 = 255 units
    struct Case {
        std::u16string document;
        std::u16string output;  // empty: only the general rules below
    };
    const Case cases[] = {
        // Exactly fills the buffer with the extension appended.
        {a246, kScans + a246 + u".xpm"},
        {a246 + u"b", kScans + a246 + u".xpm"},
        {a246 + u".doc", kScans + a246 + u".xpm"},
        {std::u16string(300, u'x') + u".pdf", u""},
        {u"v1.0 " + std::u16string(400, u'y'), u""},
        {u"dir\\" + std::u16string(260, u'z') + u".txt", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.document.size());
        HANDLE port = OpenOrFail(kScans);
        PortRecord* record = Record(port);
        ASSERT_TRUE(StartDoc(port, kPrinter, 7, c.document.c_str()));
        std::u16string output = S(record->outputFile);
        EXPECT_LT(output.size(), size_t(kPortStringUnits));
        ASSERT_GE(output.size(), 4u);
        EXPECT_EQ(output.substr(output.size() - 4), u".xpm");
        EXPECT_EQ(output.substr(0, kScans.size()), kScans);
        // What stands before the extension is the start of the document name.
        std::u16string kept = output.substr(kScans.size(), output.size() - kScans.size() - 4);
        EXPECT_EQ(c.document.substr(0, kept.size()), kept);
        if (!c.output.empty()) {
            EXPECT_EQ(output, c.output);
        }
        // The fields after the name are intact.
        EXPECT_EQ(record->flags, PORT_OPEN | PORT_DOC_ACTIVE);
        EXPECT_EQ(record->isDefault, 0u);
        EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
    }
}

TEST_F(JobPathTest, JobIsDeletedFromTheNamedPrinterOnly) {
    win32layer::AddJob(kPrinter, 11);
    win32layer::AddJob(kPrinter, 12);
    win32layer::AddJob(kPrinter, 13);
    win32layer::AddJob(kOther, 12);
    HANDLE port = OpenOrFail(u"NORV");
    ASSERT_TRUE(StartDoc(port, u"NORV PRINTER", 12, u"Report.doc"));
    EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
    EXPECT_EQ(win32layer::Jobs(kPrinter), (Jobs{11, 13}));
    EXPECT_EQ(win32layer::Jobs(kOther), Jobs{12});
    EXPECT_EQ(win32layer::OpenPrinterNames(), std::vector<std::u16string>{u"NORV PRINTER"});
    auto calls = win32layer::SetJobCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].printer, kPrinter);
    EXPECT_EQ(calls[0].jobId, 12u);
    EXPECT_EQ(calls[0].command, DWORD(JOB_CONTROL_DELETE));
    EXPECT_EQ(win32layer::OpenPrinterHandleCount(), 0u);
}

TEST_F(JobPathTest, EndDocPortSucceedsWhenThePrinterCannotBeReached) {
    win32layer::AddJob(kPrinter, 21);
    HANDLE port = OpenOrFail(kScans);

    // Opening the printer fails: the job stays.
    ASSERT_TRUE(StartDoc(port, kPrinter, 21, u"a"));
    win32layer::FailCall(Api::OpenPrinterW);
    EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
    EXPECT_EQ(win32layer::Jobs(kPrinter), Jobs{21});
    EXPECT_EQ(win32layer::CallCount(Api::SetJobW), 0u);
    EXPECT_EQ(Record(port)->flags, PORT_OPEN);

    // A printer that does not exist.
    ASSERT_TRUE(StartDoc(port, u"Gone Printer", 21, u"a"));
    EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
    EXPECT_EQ(win32layer::CallCount(Api::SetJobW), 0u);

    // The deletion fails: the printer is still closed.
    ASSERT_TRUE(StartDoc(port, kPrinter, 21, u"a"));
    win32layer::FailCall(Api::SetJobW);
    EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
    EXPECT_EQ(win32layer::Jobs(kPrinter), Jobs{21});
    EXPECT_EQ(win32layer::CallCount(Api::ClosePrinter), 1u);

    // A job that is no longer queued.
    ASSERT_TRUE(StartDoc(port, kPrinter, 22, u"a"));
    EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
    auto calls = win32layer::SetJobCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].jobId, 22u);
    EXPECT_FALSE(calls[0].succeeded);
    EXPECT_EQ(win32layer::Jobs(kPrinter), Jobs{21});
    EXPECT_EQ(win32layer::OpenPrinterHandleCount(), 0u);
}

TEST_F(JobPathTest, EndDocPortWithoutADocumentRepeatsTheLastDeletion) {
    win32layer::AddJob(kPrinter, 31);
    HANDLE port = OpenOrFail(kScans);
    ASSERT_TRUE(StartDoc(port, kPrinter, 31, u"a"));
    EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
    win32layer::AddJob(kPrinter, 31);
    EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
    EXPECT_TRUE(win32layer::Jobs(kPrinter).empty());
    EXPECT_EQ(win32layer::SetJobCalls().size(), 2u);
    EXPECT_EQ(win32layer::OpenPrinterHandleCount(), 0u);
}

TEST_F(JobPathTest, DoNothingSlotsAnswerWithoutTouchingAnything) {
    HANDLE port = OpenOrFail(kScans);
    PortRecord before = *Record(port);
    BYTE data[16] = {};
    DWORD count = 777;
    EXPECT_TRUE(monitor.ops().pfnReadPort(port, data, sizeof(data), &count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(std::memcmp(&before, Record(port), sizeof(before)), 0);

    unsigned changes = win32layer::RegistryChangeCount();
    SetLastError(0);
    // A record of zeros names no folder.
    EXPECT_FALSE(monitor.ops().pfnAddPortEx(nullptr, 1, data, W(u"NORV Monitor")));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(monitor.Ports(), (std::vector<std::u16string>{kScans, u"NORV"}));
    EXPECT_EQ(win32layer::RegistryChangeCount(), changes);
}

TEST_F(JobPathTest, HandlesThatAreNotPortsAreRefused) {
    PortRecord stranger{};
    HANDLE handle = &stranger;
    SetLastError(0);
    EXPECT_FALSE(StartDoc(handle, kPrinter, 1, u"a"));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(monitor.ops().pfnEndDocPort(handle));
    EXPECT_FALSE(monitor.ops().pfnClosePort(handle));
    EXPECT_EQ(stranger.flags, 0u);
    EXPECT_EQ(win32layer::CallCount(Api::OpenPrinterW), 0u);
}

TEST_F(JobPathTest, PortDeletedWhileOpenStaysUsableThroughItsHandle) {
    win32layer::AddJob(kPrinter, 41);
    HANDLE port = OpenOrFail(kScans);
    ASSERT_TRUE(StartDoc(port, kPrinter, 41, u"a"));
    monitor.ops().pfnDeletePort(nullptr, nullptr, W(kScans));
    EXPECT_EQ(monitor.Ports(), std::vector<std::u16string>{u"NORV"});
    EXPECT_TRUE(monitor.ops().pfnEndDocPort(port));
    EXPECT_TRUE(monitor.ops().pfnClosePort(port));
    EXPECT_TRUE(win32layer::Jobs(kPrinter).empty());
    EXPECT_EQ(monitor.Open(kScans), nullptr);
}

}  // namespace
