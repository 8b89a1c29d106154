// The layer's printers answer the spooler client calls as Windows does; the
// job-path tests and the benchmarks stand on this.
#include <winspool.h>

#include "control.h"
#include "harness.h"
#include "printers_control.h"

using harness::W;
using Jobs = std::vector<DWORD>;

namespace {

class PrintersLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        win32layer::Reset();
        win32layer::AddPrinter(u"Office Laser");
        win32layer::AddJob(u"Office Laser", 3);
        win32layer::AddJob(u"OFFICE LASER", 4);
    }
};

TEST_F(PrintersLayerTest, OpenPrinterFindsPrintersInAnyCaseWithAHandlePerOpen) {
    HANDLE first = nullptr, second = nullptr;
    ASSERT_TRUE(OpenPrinterW(W(u"office laser"), &first, nullptr));
    ASSERT_TRUE(OpenPrinterW(W(u"Office Laser"), &second, nullptr));
    EXPECT_NE(first, nullptr);
    EXPECT_NE(first, second);
    EXPECT_EQ(win32layer::OpenPrinterHandleCount(), 2u);

    HANDLE unknown = reinterpret_cast<HANDLE>(1);
    SetLastError(0);
    EXPECT_FALSE(OpenPrinterW(W(u"Office Laser 2"), &unknown, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
    EXPECT_EQ(unknown, nullptr);

    EXPECT_TRUE(ClosePrinter(first));
    EXPECT_TRUE(ClosePrinter(second));
    EXPECT_EQ(win32layer::OpenPrinterHandleCount(), 0u);
    EXPECT_EQ(win32layer::Jobs(u"Office Laser"), (Jobs{3, 4}));
}

TEST_F(PrintersLayerTest, DeleteRemovesOnlyAQueuedJobOfThatPrinter) {
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(W(u"Office Laser"), &printer, nullptr));
    EXPECT_TRUE(SetJobW(printer, 4, 0, nullptr, JOB_CONTROL_DELETE));
    EXPECT_EQ(win32layer::Jobs(u"Office Laser"), Jobs{3});
    SetLastError(0);
    EXPECT_FALSE(SetJobW(printer, 4, 0, nullptr, JOB_CONTROL_DELETE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    // Telling the spooler the job was sent does not remove it.
    EXPECT_TRUE(SetJobW(printer, 3, 0, nullptr, JOB_CONTROL_SENT_TO_PRINTER));
    EXPECT_EQ(win32layer::Jobs(u"Office Laser"), Jobs{3});
    ASSERT_TRUE(ClosePrinter(printer));

    auto calls = win32layer::SetJobCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].printer, u"Office Laser");
    EXPECT_TRUE(calls[0].succeeded);
    EXPECT_FALSE(calls[1].succeeded);
    EXPECT_EQ(calls[2].command, DWORD(JOB_CONTROL_SENT_TO_PRINTER));
}

TEST_F(PrintersLayerTest, NoNameOpensThePrintServerWhichHoldsNoJobs) {
    for (LPWSTR name : {static_cast<LPWSTR>(nullptr), W(u"")}) {
        HANDLE server = nullptr;
        ASSERT_TRUE(OpenPrinterW(name, &server, nullptr));
        SetLastError(0);
        EXPECT_FALSE(SetJobW(server, 3, 0, nullptr, JOB_CONTROL_DELETE));
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
        EXPECT_TRUE(ClosePrinter(server));
    }
    EXPECT_EQ(win32layer::Jobs(u"Office Laser"), (Jobs{3, 4}));
}

TEST_F(PrintersLayerTest, ClosedHandleIsNoLongerAPrinter) {
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(W(u"Office Laser"), &printer, nullptr));
    ASSERT_TRUE(ClosePrinter(printer));
    SetLastError(0);
    EXPECT_FALSE(SetJobW(printer, 3, 0, nullptr, JOB_CONTROL_DELETE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(ClosePrinter(printer));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(win32layer::Jobs(u"Office Laser"), (Jobs{3, 4}));
}

TEST_F(PrintersLayerTest, InjectedFailuresFailTheCallAndResetForgetsEverything) {
    HANDLE printer = reinterpret_cast<HANDLE>(1);
    win32layer::FailCall(win32layer::Api::OpenPrinterW);
    EXPECT_FALSE(OpenPrinterW(W(u"Office Laser"), &printer, nullptr));
    EXPECT_EQ(printer, nullptr);
    ASSERT_TRUE(OpenPrinterW(W(u"Office Laser"), &printer, nullptr));
    win32layer::FailCall(win32layer::Api::SetJobW);
    EXPECT_FALSE(SetJobW(printer, 3, 0, nullptr, JOB_CONTROL_DELETE));
    EXPECT_EQ(win32layer::Jobs(u"Office Laser"), (Jobs{3, 4}));
    win32layer::FailCall(win32layer::Api::ClosePrinter);
    EXPECT_FALSE(ClosePrinter(printer));
    EXPECT_EQ(win32layer::OpenPrinterHandleCount(), 1u);
    EXPECT_EQ(win32layer::CallCount(win32layer::Api::OpenPrinterW), 2u);

    win32layer::Reset();
    EXPECT_EQ(win32layer::OpenPrinterHandleCount(), 0u);
    EXPECT_FALSE(win32layer::PrinterExists(u"Office Laser"));
    EXPECT_TRUE(win32layer::SetJobCalls().empty());
    EXPECT_TRUE(win32layer::OpenPrinterNames().empty());
    EXPECT_FALSE(win32layer::AddJob(u"Office Laser", 3));
}

}  // namespace
