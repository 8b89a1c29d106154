// The spooler's threads at once: jobs printed on separate ports and on one
// shared port while other threads enumerate. Bounded by operation counts.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "control.h"
#include "harness.h"
#include "threads.h"
#include "ports/port_list.h"
#include "printers_control.h"

using namespace harness;

namespace {

constexpr int kOwnPortThreads = 4;
constexpr int kSharedPortThreads = 3;
constexpr int kEnumerators = 2;
constexpr int kJobsPerThread = 1000;
constexpr int kEnumerationsPerThread = 1000;

const std::u16string kPrinters[2] = {u"Printer A", u"Printer B"};
const std::u16string kShared = u"D:\\Shared\\";

std::u16string OwnPort(int thread) { return u"D:\\Port" + win32layer::U16(std::to_string(thread)) + u"\\"; }

// A string the monitor put in the buffer, read without running past its end.
bool ReadString(const std::vector<BYTE>& buffer, LPCWSTR at, DWORD lowest, std::u16string* out) {
    const BYTE* p = reinterpret_cast<const BYTE*>(at);
    if (p < buffer.data() + lowest || p >= buffer.data() + buffer.size()) return false;
    out->clear();
    for (size_t offset = p - buffer.data(); offset + 2 <= buffer.size(); offset += 2) {
        char16_t c;
        std::memcpy(&c, buffer.data() + offset, 2);
        if (!c) return true;
        *out += c;
    }
    return false;
}

// Whether one EnumPorts answer holds together: the records name the expected
// ports in order, every pointer lies in the string area, and the strings fill
// exactly the `needed` bytes at the buffer's end.
std::string CheckAnswer(DWORD level, const std::vector<BYTE>& buffer, DWORD needed,
                        DWORD returned, const std::vector<std::u16string>& names) {
    if (returned != names.size()) return "returned " + std::to_string(returned);
    const DWORD recordSize = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
    const DWORD records = returned * recordSize;
    if (needed > buffer.size() || needed < records) return "needed " + std::to_string(needed);
    const DWORD lowest = DWORD(buffer.size()) - (needed - records);
    DWORD stringBytes = 0;
    std::u16string s;
    for (DWORD i = 0; i < returned; ++i) {
        std::vector<std::pair<LPCWSTR, std::u16string>> fields;
        if (level == 1) {
            PORT_INFO_1W info;
            std::memcpy(&info, buffer.data() + i * recordSize, sizeof(info));
            fields = {{info.pName, names[i]}};
        } else {
            PORT_INFO_2W info;
            std::memcpy(&info, buffer.data() + i * recordSize, sizeof(info));
            if (info.fPortType || info.Reserved) return "port type of record " + std::to_string(i);
            fields = {{info.pPortName, names[i]},
                      {info.pMonitorName, u"NORV Monitor"},
                      {info.pDescription, u"Norvale Document Monitor"}};
        }
        for (const auto& field : fields) {
            if (!ReadString(buffer, field.first, lowest, &s))
                return "pointer of record " + std::to_string(i) + " outside the strings";
            if (s != field.second) return "record " + std::to_string(i) + " reads " + U8(s);
            stringBytes += DWORD((s.size() + 1) * 2);
        }
    }
    if (records + stringBytes != needed) return "strings do not add up to needed";
    return "";
}

class JobConcurrencyTest : public MonitorTest {
protected:
    void SetUp() override {
        MonitorTest::SetUp();
        // Stored oldest first: the list reads D:\Shared\, D:\Port3\ ... D:\Port0\, NORV.
        int value = 1;
        auto store = [&](const std::u16string& port) {
            StoreString(kRoot, win32layer::U16(std::to_string(value++)), port);
        };
        store(u"NORV");
        for (int t = 0; t < kOwnPortThreads; ++t) store(OwnPort(t));
        store(kShared);
        monitor.Start();
        names = monitor.Ports();
        ASSERT_EQ(names.size(), size_t(kOwnPortThreads + 2));
        for (const auto& printer : kPrinters) win32layer::AddPrinter(printer);
    }

    static DWORD JobId(int thread, int i) { return DWORD((thread + 1) * 100000 + i); }
    static const std::u16string& PrinterOf(int i) { return kPrinters[i % 2]; }

    // Prints kJobsPerThread documents on `port`; returns the jobs it started.
    std::vector<DWORD> PrintJobs(int thread, const std::u16string& port, bool mustStart,
                                 Problems& problems) {
        std::vector<DWORD> started;
        const MONITOR& ops = monitor.ops();
        for (int i = 0; i < kJobsPerThread; ++i) {
            HANDLE handle = nullptr;
            if (!ops.pfnOpenPort(W(port), &handle)) {
                problems.Add("OpenPort failed on " + U8(port));
                continue;
            }
            std::u16string document = u"Doc " + win32layer::U16(std::to_string(i)) + u".txt";
            DOC_INFO_1W info{};
            info.pDocName = W(document);
            DWORD job = JobId(thread, i);
            if (ops.pfnStartDocPort(handle, W(PrinterOf(i)), job, 1,
                                    reinterpret_cast<LPBYTE>(&info))) {
                started.push_back(job);
                BYTE data[64] = {};
                DWORD written = 0;
                if (!ops.pfnWritePort(handle, data, sizeof(data), &written) ||
                    written != sizeof(data))
                    problems.Add("WritePort did not take the whole buffer");
                if (!ops.pfnEndDocPort(handle)) problems.Add("EndDocPort failed");
            } else if (mustStart) {
                problems.Add("StartDocPort failed on the thread's own port " + U8(port));
            }
            if (!ops.pfnClosePort(handle)) problems.Add("ClosePort failed");
        }
        return started;
    }

    void Enumerate(int thread, Problems& problems) {
        const MONITOR& ops = monitor.ops();
        for (int i = 0; i < kEnumerationsPerThread; ++i) {
            DWORD level = (i + thread) % 2 + 1;
            DWORD needed = 0, returned = 0;
            if (ops.pfnEnumPorts(nullptr, level, nullptr, 0, &needed, &returned) ||
                GetLastError() != ERROR_INSUFFICIENT_BUFFER || returned != 0) {
                problems.Add("size query did not answer 122");
                continue;
            }
            std::vector<BYTE> buffer(needed + i % 3, 0xCD);  // sometimes odd-sized
            if (!ops.pfnEnumPorts(nullptr, level, buffer.data(), DWORD(buffer.size()), &needed,
                                  &returned)) {
                problems.Add("EnumPorts failed with error " + std::to_string(GetLastError()));
                continue;
            }
            std::string problem = CheckAnswer(level, buffer, needed, returned, names);
            if (!problem.empty()) problems.Add("level " + std::to_string(level) + ": " + problem);
        }
    }

    std::vector<std::u16string> names;  // the list as enumerated before the threads run
};

TEST_F(JobConcurrencyTest, JobsOnOwnAndSharedPortsWhileOthersEnumerate) {
    const int threads = kOwnPortThreads + kSharedPortThreads;
    for (int t = 0; t < threads; ++t)
        for (int i = 0; i < kJobsPerThread; ++i)
            ASSERT_TRUE(win32layer::AddJob(PrinterOf(i), JobId(t, i)));

    Problems problems;
    std::vector<std::vector<DWORD>> started(threads);
    std::vector<std::thread> running;
    StartLine startLine(threads + kEnumerators);
    for (int t = 0; t < threads; ++t) {
        running.emplace_back([&, t] {
            startLine.Wait();
            bool own = t < kOwnPortThreads;
            started[t] = PrintJobs(t, own ? OwnPort(t) : kShared, own, problems);
        });
    }
    for (int e = 0; e < kEnumerators; ++e) {
        running.emplace_back([&, e] {
            startLine.Wait();
            Enumerate(e, problems);
        });
    }
    for (auto& thread : running) thread.join();
    ASSERT_EQ(problems.count(), 0u) << problems.Describe();

    // Every job that was started was deleted from its own printer exactly once;
    // every other job is still queued.
    std::map<std::pair<std::u16string, DWORD>, int> deletions;
    for (const auto& call : win32layer::SetJobCalls()) {
        EXPECT_TRUE(call.succeeded) << "job " << call.jobId;
        EXPECT_EQ(call.command, DWORD(JOB_CONTROL_DELETE));
        ++deletions[{call.printer, call.jobId}];
    }
    const size_t distinctDeletions = deletions.size();
    auto deletionsOf = [&](const std::u16string& printer, DWORD job) {
        auto found = deletions.find({printer, job});
        return found == deletions.end() ? 0 : found->second;
    };
    std::vector<DWORD> remaining[2];
    size_t startedCount = 0, sharedStarted = 0;
    for (int t = 0; t < threads; ++t) {
        size_t next = 0;
        for (int i = 0; i < kJobsPerThread; ++i) {
            DWORD job = JobId(t, i);
            bool wasStarted = next < started[t].size() && started[t][next] == job;
            if (wasStarted) ++next;
            EXPECT_EQ(deletionsOf(PrinterOf(i), job), wasStarted ? 1 : 0) << "job " << job;
            if (!wasStarted) remaining[i % 2].push_back(job);
        }
        startedCount += started[t].size();
        if (t >= kOwnPortThreads) sharedStarted += started[t].size();
    }
    EXPECT_EQ(distinctDeletions, startedCount);
    EXPECT_GT(sharedStarted, 0u);
    for (int p = 0; p < 2; ++p) {
        std::vector<DWORD> queue = win32layer::Jobs(kPrinters[p]);
        std::sort(queue.begin(), queue.end());
        std::sort(remaining[p].begin(), remaining[p].end());
        EXPECT_EQ(queue, remaining[p]) << U8(kPrinters[p]);
    }
    EXPECT_EQ(win32layer::OpenPrinterHandleCount(), 0u);

    // Every port ends closed and idle, with the list unchanged.
    EXPECT_EQ(monitor.Ports(), names);
    for (const auto& name : names) {
        HANDLE handle = monitor.Open(name);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(static_cast<PortRecord*>(handle)->flags, PORT_OPEN) << U8(name);
        EXPECT_EQ(static_cast<PortRecord*>(handle)->outputFile[0], 0) << U8(name);
    }
}

}  // namespace
