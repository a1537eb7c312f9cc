// One service started and stopped again and again through the product's own commands.
// The suite runs 20 cycles; PBVMSVC_LOAD_CYCLES (or PBVMSVC_LOAD_FULL=1 for 100) sets
// the number.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "reliability/load_support.h"
#include "runtime/hosted_service.h"

namespace reliability_test {
namespace {

using runtime_test::HostedClass;
using runtime_test::HostedService;
using runtime_test::JournalEntry;

size_t CountOperation(const std::vector<JournalEntry>& journal, const std::string& operation) {
    size_t n = 0;
    for (const JournalEntry& entry : journal) n += entry.operation == operation ? 1 : 0;
    return n;
}

TEST(LoadCycles, EveryStartAndStopCompletesAndLeavesNoProcessBehind) {
    const unsigned cycles = LoadSize("PBVMSVC_LOAD_CYCLES", 20, 100);
    HostedService service("PbvmCycles");
    HostedClass hosted;
    hosted.run = "returns 60000";  // one call per cycle, then a wait that the stop ends
    service.Install(hosted);
    ASSERT_TRUE(WaitForNoProcessIn(service.folder(), 10000));
    const std::set<DWORD> earlier = RunningProcessIds();

    const DWORD began = GetTickCount();
    std::set<DWORD> pids;
    for (unsigned cycle = 1; cycle <= cycles; ++cycle) {
        ASSERT_EQ(service.Start(), "Start service successful!\r\n") << "cycle " << cycle;
        ASSERT_TRUE(service.WaitForState(SERVICE_RUNNING)) << "cycle " << cycle;
        ASSERT_TRUE(service.WaitForCalls("InvokeEnd", "of_run", cycle)) << "cycle " << cycle;
        const DWORD pid = service.Status().dwProcessId;
        EXPECT_EQ(ProcessesIn(service.folder()), std::vector<DWORD>{pid})
            << "exactly the service's own process runs, cycle " << cycle;
        pids.insert(pid);
        ASSERT_EQ(service.Run({"-stop", service.name()}), "Service command successful!\r\n")
            << "cycle " << cycle;
        ASSERT_TRUE(service.WaitForState(SERVICE_STOPPED)) << "cycle " << cycle;
        EXPECT_EQ(service.Status().dwWin32ExitCode, 0u) << "cycle " << cycle;
        // The manager reports the stop a moment before the process has ended.
        ASSERT_TRUE(WaitForNoProcessIn(service.folder(), 10000)) << "cycle " << cycle;
    }
    std::printf("%u start/stop cycles in %lu ms\n", cycles,
                static_cast<unsigned long>(GetTickCount() - began));

    // The log holds the start-up lines once per cycle, whole and in order.
    bool whole = false;
    const std::vector<std::string> lines = SplitLogLines(service.Log(), &whole);
    EXPECT_TRUE(whole);
    std::vector<std::string> expected;
    for (unsigned cycle = 0; cycle < cycles; ++cycle) {
        for (const std::string& line : service.StartUpLogLines()) expected.push_back(line);
    }
    EXPECT_EQ(lines, expected);

    // Every process loaded the VM, started the object once, stopped it and unloaded it.
    const std::vector<JournalEntry> journal = service.Journal();
    EXPECT_EQ(CountOperation(journal, "attach"), cycles);
    EXPECT_EQ(CountOperation(journal, "ReleaseSession"), cycles);
    EXPECT_EQ(service.Calls("InvokeBegin", "of_startup").size(), cycles);
    EXPECT_EQ(service.Calls("InvokeBegin", "of_run").size(), cycles);
    const auto stops = service.Calls("InvokeBegin", "of_stop");
    ASSERT_EQ(stops.size(), cycles);
    for (const JournalEntry& stop : stops) EXPECT_EQ(stop.Field(4), "false");
    size_t unloads = 0;
    for (const JournalEntry& entry : journal) {
        if (entry.operation == "detach") unloads += entry.Field(1) == "unload" ? 1 : 0;
    }
    EXPECT_EQ(unloads, cycles) << "the host unloads the VM itself at every stop";

    // Three information events per cycle, nothing else.
    std::vector<std::string> events;
    for (unsigned cycle = 0; cycle < cycles; ++cycle) {
        events.push_back("4:40000001:PBNI Interface Initialized");
        events.push_back("4:40000001:Service started");
        events.push_back("4:40000001:Service stopped");
    }
    EXPECT_EQ(service.Events(events.size()), events);

    // Nothing the service's processes started outlives them.  (Counting all the prefix's
    // processes instead also counted what the tests running alongside had started.)
    EXPECT_EQ(ProcessesIn(service.folder()).size(), 0u);
    std::vector<std::string> children = ChildrenOf(pids, earlier);
    for (int i = 0; i < 100 && !children.empty(); ++i, Sleep(100)) children = ChildrenOf(pids, earlier);
    EXPECT_EQ(children, std::vector<std::string>{}) << "left behind by the service's processes";
}

}  // namespace
}  // namespace reliability_test
