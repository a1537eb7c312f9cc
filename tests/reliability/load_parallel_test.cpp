// Twenty services installed from INI files, started, stopped and removed all at once,
// each step as overlapping product commands.  Each service has values of its own, which
// must reach it and only it; all of them write their start-up lines into one shared log
// file.  PBVMSVC_LOAD_SERVICES sets the number.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kit/files.h"
#include "kit/product.h"
#include "kit/registry.h"
#include "kit/services.h"
#include "reliability/load_support.h"
#include "runtime/hosted_service.h"

namespace reliability_test {
namespace {

using runtime_test::HostedClass;
using runtime_test::HostedService;
using runtime_test::JournalEntry;

struct Parallel {
    std::unique_ptr<HostedService> service;
    std::string number;  // "07"
    std::string className, appName, libList, description, displayName;
    bool eventLog = true;
};

// Runs step(i) for every service at the same time, one thread each.
void AllAtOnce(size_t count, const std::function<void(size_t)>& step) {
    std::vector<std::thread> threads;
    for (size_t i = 0; i < count; ++i) threads.emplace_back(step, i);
    for (std::thread& thread : threads) thread.join();
}

std::string Value(const HostedService& service, const char* name) {
    const kit::RegValue value = kit::ReadRegValue(kit::ServiceKey(service.name()), name);
    return value.exists ? kit::StringData(value) : "<missing>";
}

TEST(LoadParallel, ServicesInstalledStartedStoppedAndRemovedAtOnceKeepTheirOwnValues) {
    const unsigned count = LoadSize("PBVMSVC_LOAD_SERVICES", 20, 20);
    std::vector<Parallel> all(count);
    for (unsigned i = 0; i < count; ++i) {
        Parallel& p = all[i];
        p.service.reset(new HostedService("PbvmPar"));
        char number[8];
        std::snprintf(number, sizeof number, "%02u", i);
        p.number = number;
        p.className = "n_svc" + p.number;
        p.appName = "app" + p.number;
        const std::string folder = p.service->folder();
        p.libList = folder + "\\app.pbl;" + folder + "\\common" + p.number + ".pbd";
        p.description = "Load test service number " + p.number;
        p.displayName = "Parallel service " + p.number;
        p.eventLog = i % 2 == 0;
        HostedClass hosted;
        hosted.run = "returns 60000";
        std::string text = hosted.Text();
        text.replace(text.find("class n_svc"), 11, "class " + p.className);
        ASSERT_TRUE(kit::WriteWholeFile(folder + "\\app.pbl", text));
        ASSERT_TRUE(kit::WriteWholeFile(
            folder + "\\install.ini",
            "[Install]\r\nServiceName=" + p.service->name() + "\r\nDisplayName=" + p.displayName +
                "\r\nStartup=manual\r\nDescription=" + p.description + "\r\nPBAppName=" + p.appName +
                "\r\nPBLibList=" + p.libList + "\r\nPBObjName=" + p.className +
                "\r\nPBVMName=" + kit::TestVm().file + "\r\n"));
    }
    const std::string sharedLog = all[0].service->folder() + "\\shared.log";
    std::vector<std::string> folders;
    for (const Parallel& p : all) folders.push_back(p.service->folder());

    // Installed at once: each from its own INI file, then its log file and event switch.
    std::vector<std::string> outputs(count);
    DWORD began = GetTickCount();
    AllAtOnce(count, [&](size_t i) {
        const HostedService& s = *all[i].service;
        outputs[i] = s.Run({"-i", s.folder() + "\\install.ini"});
        outputs[i] += s.Run({"-reg", s.name(), "LogFileName", sharedLog});
        outputs[i] += s.Run({"-reg", s.name(), "EventLog", all[i].eventLog ? "true" : "false"});
    });
    std::printf("%u installations at once: %lu ms\n", count, static_cast<unsigned long>(GetTickCount() - began));
    for (unsigned i = 0; i < count; ++i) {
        EXPECT_EQ(outputs[i], "Install service '" + all[i].service->name() + "' successful!\r\n"
                              "Update Description successful!\r\n"
                              "Update PBAppName successful!\r\n"
                              "Update PBLibList successful!\r\n"
                              "Update PBObjName successful!\r\n"
                              "Update PBVMName successful!\r\n"
                              "Update LogFileName successful!\r\n"
                              "Update EventLog successful!\r\n")
            << "service " << i;
    }

    // Started at once.
    began = GetTickCount();
    AllAtOnce(count, [&](size_t i) { outputs[i] = all[i].service->Start(); });
    for (unsigned i = 0; i < count; ++i) {
        EXPECT_EQ(outputs[i], "Start service successful!\r\n") << "service " << i;
    }
    for (unsigned i = 0; i < count; ++i) {
        ASSERT_TRUE(all[i].service->WaitForState(SERVICE_RUNNING, 60000)) << "service " << i;
        ASSERT_TRUE(all[i].service->WaitForCalls("InvokeEnd", "of_run", 1, 60000)) << "service " << i;
    }
    std::printf("%u starts at once, all running: %lu ms\n", count,
                static_cast<unsigned long>(GetTickCount() - began));
    for (unsigned i = 0; i < count; ++i) {
        const HostedService& s = *all[i].service;
        EXPECT_EQ(ProcessesIn(s.folder()), std::vector<DWORD>{s.Status().dwProcessId}) << "service " << i;
    }

    // Stopped at once.
    AllAtOnce(count, [&](size_t i) { outputs[i] = all[i].service->Run({"-stop", all[i].service->name()}); });
    for (unsigned i = 0; i < count; ++i) {
        const HostedService& s = *all[i].service;
        EXPECT_EQ(outputs[i], "Service command successful!\r\n") << "service " << i;
        ASSERT_TRUE(s.WaitForState(SERVICE_STOPPED, 60000)) << "service " << i;
        EXPECT_EQ(s.Status().dwWin32ExitCode, 0u) << "service " << i;
        EXPECT_TRUE(WaitForNoProcessIn(s.folder(), 10000)) << "service " << i;
    }

    // Each service ran with its own values: application, libraries, class, name, switch.
    for (unsigned i = 0; i < count; ++i) {
        const Parallel& p = all[i];
        const HostedService& s = *p.service;
        const auto sessions = s.Calls("CreateSession", p.appName);
        ASSERT_EQ(sessions.size(), 1u) << "service " << i;
        const std::string folder = s.folder();
        EXPECT_EQ(sessions[0].fields, (std::vector<std::string>{p.appName, "2", folder + "\\app.pbl",
                                                                 folder + "\\common" + p.number + ".pbd", "->",
                                                                 "0", "#1"}))
            << "service " << i;
        const auto starts = s.Calls("InvokeBegin", "of_startup");
        ASSERT_EQ(starts.size(), 1u) << "service " << i;
        EXPECT_EQ(starts[0].Field(4), s.name());
        EXPECT_EQ(s.Calls("FindGroup", p.className).size(), 1u) << "service " << i;
        EXPECT_EQ(s.Calls("InvokeBegin", "of_stop").size(), 1u) << "service " << i;
        const std::vector<std::string> expectedEvents =
            p.eventLog ? std::vector<std::string>{"4:40000001:PBNI Interface Initialized",
                                                  "4:40000001:Service started", "4:40000001:Service stopped"}
                       : std::vector<std::string>{};
        EXPECT_EQ(s.Events(expectedEvents.size(), 10000), expectedEvents) << "service " << i;
    }

    // The registry holds for each exactly what its own file and commands said.
    for (unsigned i = 0; i < count; ++i) {
        const Parallel& p = all[i];
        const HostedService& s = *p.service;
        EXPECT_EQ(Value(s, "PBAppName"), p.appName) << "service " << i;
        EXPECT_EQ(Value(s, "PBLibList"), p.libList) << "service " << i;
        EXPECT_EQ(Value(s, "PBObjName"), p.className) << "service " << i;
        EXPECT_EQ(Value(s, "PBVMName"), kit::TestVm().file) << "service " << i;
        EXPECT_EQ(Value(s, "LogFileName"), sharedLog) << "service " << i;
        EXPECT_EQ(Value(s, "EventLog"), p.eventLog ? "true" : "false") << "service " << i;
        const kit::ServiceConfig config = kit::ReadServiceConfig(s.name());
        EXPECT_EQ(config.displayName, p.displayName) << "service " << i;
        EXPECT_EQ(config.description, p.description) << "service " << i;
        EXPECT_EQ(config.startType, static_cast<unsigned long>(SERVICE_DEMAND_START)) << "service " << i;
    }

    // The shared log holds every start-up line of every service, whole; each service's
    // own lines in their order.
    bool whole = false;
    const std::vector<std::string> lines = SplitLogLines(kit::ReadWholeFile(sharedLog), &whole);
    EXPECT_TRUE(whole);
    std::map<std::string, size_t> counted;
    for (const std::string& line : lines) ++counted[line];
    std::map<std::string, size_t> expected = {{"LibList: From Registry", count},
                                              {"Library Count: 2", count},
                                              {"Before CreateSession", count},
                                              {"After CreateSession", count},
                                              {"PBNI Interface Initialized", (count + 1) / 2}};
    for (const Parallel& p : all) {
        expected[p.service->folder() + "\\app.pbl"] = 1;
        expected[p.service->folder() + "\\common" + p.number + ".pbd"] = 1;
    }
    EXPECT_EQ(counted, expected);
    for (const Parallel& p : all) {
        const auto first = std::find(lines.begin(), lines.end(), p.service->folder() + "\\app.pbl");
        const auto second = std::find(lines.begin(), lines.end(), p.service->folder() + "\\common" + p.number + ".pbd");
        EXPECT_LT(first - lines.begin(), second - lines.begin()) << p.number;
    }

    // Removed at once.
    AllAtOnce(count, [&](size_t i) { outputs[i] = all[i].service->Run({"-u", all[i].service->name()}); });
    for (unsigned i = 0; i < count; ++i) {
        const HostedService& s = *all[i].service;
        EXPECT_EQ(outputs[i], "Uninstall service '" + s.name() + "' successful!\r\n") << "service " << i;
        EXPECT_FALSE(kit::RegKeyExists(kit::ServiceKey(s.name()))) << "service " << i;
        EXPECT_FALSE(kit::RegKeyExists(kit::EventSourceKey(s.name()))) << "service " << i;
        EXPECT_FALSE(kit::ReadServiceConfig(s.name()).exists) << "service " << i;
    }
}

}  // namespace
}  // namespace reliability_test
