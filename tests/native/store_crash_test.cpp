// The store across a crash: for each sequence of adds and deletes, the
// process is stopped after every single registry write in turn (no write
// after it lands, nothing the monitor held survives), and a fresh load of the
// store must list every port as it was before the change in progress or as
// it is after it, each once.
#include <set>

#include "control.h"
#include "harness.h"
#include "monitor/exports.h"
#include "shell_control.h"

using namespace harness;
using Names = std::vector<std::u16string>;
using PortSet = std::set<std::string>;

namespace {

struct Step {
    bool add;
    std::u16string name;  // a folder to add (without its backslash), or a port to delete
};

struct Sequence {
    const char* what;
    Names stored;  // values 1.. before the start; an empty name leaves a gap
    std::vector<Step> steps;
};

std::string Text(const PortSet& ports) {
    std::string out;
    for (const auto& port : ports) out += " " + port;
    return out;
}

PortSet Upper(const Names& names) {
    PortSet out;
    for (const auto& name : names) {
        std::string upper = U8(name);
        for (char& c : upper) c = char(toupper(static_cast<unsigned char>(c)));
        out.insert(upper);
    }
    return out;
}

class StoreCrashTest : public MonitorTest {
protected:
    void Prepare() {
        ResetMachine();
        win32layer::SetSpoolerMonitor(InitializePrintMonitor, kRoot);
        CreateKey(kRoot);
        for (size_t i = 0; i < sequence->stored.size(); ++i)
            if (!sequence->stored[i].empty())
                StoreString(kRoot, win32layer::U16(std::to_string(i + 1)), sequence->stored[i]);
    }

    // Runs the start and the steps. `sets` gets the port set each one leaves
    // as the user was told it (a change reported failed leaves it as it was),
    // `writes` the count of registry changes made by its end.
    void Run(std::vector<PortSet>* sets, std::vector<unsigned>* writes) {
        monitor.Start();
        PortSet ports = Upper(monitor.Ports());
        if (sets) sets->push_back(ports);
        if (writes) writes->push_back(win32layer::RegistryChangeCount());
        for (const Step& step : sequence->steps) {
            win32layer::ClearMessageBoxes();
            if (step.add) {
                win32layer::ChooseFolder(step.name);
                monitor.ops().pfnAddPort(nullptr, nullptr, W(u"NORV Monitor"));
            } else {
                monitor.ops().pfnDeletePort(nullptr, nullptr, W(step.name));
            }
            const auto boxes = win32layer::MessageBoxes();
            const bool told = step.add ? boxes.empty()
                                       : boxes.size() == 1 && boxes[0].caption == u"Port removed";
            if (told && step.add) ports.insert(*Upper({step.name + u"\\"}).begin());
            if (told && !step.add) ports.erase(*Upper({step.name}).begin());
            if (sets) sets->push_back(ports);
            if (writes) writes->push_back(win32layer::RegistryChangeCount());
        }
        monitor.Detach();
    }

    // What a fresh load lists, by name: values 1.. up to a gap, empty ones
    // skipped, a name stored twice once.
    static PortSet Loaded() {
        Names stored = StoredPorts();
        stored.erase(std::remove(stored.begin(), stored.end(), u""), stored.end());
        return Upper(stored);
    }

    const Sequence* sequence = nullptr;
};

TEST_F(StoreCrashTest, EveryStoppingPointLeavesEachPortAsBeforeOrAfterTheChange) {
    const Sequence sequences[] = {
        {"empty store: the default port, adds and deletes at every place",
         {},
         {{true, u"D:\\A"}, {true, u"D:\\B"}, {false, u"NORV"}, {true, u"D:\\C"}, {false, u"D:\\B\\"},
          {false, u"D:\\A\\"}, {true, u"D:\\D"}, {false, u"D:\\D\\"}}},
        {"deletes from the middle, the bottom and the top",
         {u"D:\\A\\", u"NORV", u"D:\\B\\", u"D:\\C\\", u"D:\\E\\"},
         {{false, u"D:\\B\\"}, {false, u"D:\\A\\"}, {true, u"D:\\F"}, {false, u"D:\\F\\"},
          {false, u"norv"}, {true, u"D:\\A"}}},
        {"a store unlike the list (a name twice, another spelling) is first written whole",
         {u"norv", u"D:\\A\\", u"d:\\a\\", u"D:\\B\\"},
         {{true, u"D:\\C"}, {false, u"D:\\A\\"}, {true, u"D:\\A"}, {false, u"D:\\C\\"}}},
        {"a stale value past a gap never comes back",
         {u"D:\\A\\", u"D:\\B\\", u"", u"Z:\\Stale\\"},
         {{false, u"D:\\A\\"}, {true, u"D:\\C"}, {false, u"NORV"}}},
    };
    for (const Sequence& s : sequences) {
        SCOPED_TRACE(s.what);
        sequence = &s;
        Prepare();
        const PortSet initial = Loaded();
        std::vector<PortSet> sets;
        std::vector<unsigned> writes;
        Run(&sets, &writes);
        ASSERT_EQ(Upper(StoredPorts()), sets.back());  // nothing failed without a crash

        for (unsigned k = 0; k <= writes.back(); ++k) {
            SCOPED_TRACE("stopped after write " + std::to_string(k));
            Prepare();
            win32layer::FreezeRegistryAfter(k);
            Run(nullptr, nullptr);
            // The step in progress: the first whose writes reach k (the
            // start's when k is 0); before it, the set as the user knew it.
            size_t step = 0;
            while (writes[step] < k) ++step;
            const PortSet& before = step == 0 ? initial : sets[step - 1];
            const PortSet loaded = Loaded();
            EXPECT_TRUE(loaded == before || loaded == sets[step])
                << "loaded:" << Text(loaded) << "; before:" << Text(before) << "; after:" << Text(sets[step]);

            win32layer::ClearFaults();  // lifts the freeze; the store is read afresh below
            monitor.Start();
            const Names listed = monitor.Ports();
            EXPECT_EQ(Upper(listed).size(), listed.size()) << "a port listed twice";
            monitor.Detach();
        }
    }
}

}  // namespace
