// Events and the event-source registration.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/service_settings.h"
#include "diag/event_log.h"
#include "diag/event_source.h"
#include "kit/events.h"
#include "kit/product.h"
#include "kit/registry.h"
#include "kit/services.h"

namespace {

class Events : public ::testing::Test {
protected:
    void SetUp() override {
        ResetServiceSettings();
        CopyToField(ServiceSettings.ServiceName, source_.c_str());
    }
    std::string source_ = kit::UniqueName("PbvmEvents");
};

TEST_F(Events, EachKindCarriesItsEventIdAndOneInsertionString) {
    const kit::EventMark mark = kit::MarkEvents();
    ReportServiceEvent(kEventError, "Function FindGroup failed");
    ReportServiceEvent(kEventWarning, "a warning");
    ReportServiceEvent(kEventInformation, "Service paused");
    ReportServiceEvent(3, "odd kind");
    const auto events = kit::CollectEvents(source_, mark, 4, 5000);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(kit::Summarize(events),
              (std::vector<std::string>{"1:C0000003:Function FindGroup failed",
                                        "2:80000002:a warning", "4:40000001:Service paused",
                                        "3:00000000:odd kind"}));
    for (const kit::ReportedEvent& event : events) {
        EXPECT_EQ(event.category, 0u);
        EXPECT_EQ(event.strings.size(), 1u);
    }
}

TEST_F(Events, TextIsPassedUnchanged) {
    const kit::EventMark mark = kit::MarkEvents();
    ReportServiceEvent(kEventError, "line one\r\nline \"two\" %1 %s \\");
    const auto events = kit::CollectEvents(source_, mark, 1, 5000);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].strings[0], "line one\r\nline \"two\" %1 %s \\");
}

TEST_F(Events, SwitchIsOnOnlyForExactlyTrue) {
    for (const char* off : {"", "True", "TRUE", "1", "yes", "true ", " true", "truex"}) {
        CopyToField(ServiceSettings.EventLog, off);
        EXPECT_FALSE(EventLogEnabled()) << '"' << off << '"';
    }
    CopyToField(ServiceSettings.EventLog, "true");
    EXPECT_TRUE(EventLogEnabled());
}

class EventSource : public ::testing::Test {
protected:
    void TearDown() override { kit::DeleteRegTree(kit::EventSourceKey(name_)); }
    std::string name_ = kit::UniqueName("PbvmSource");
};

TEST_F(EventSource, RegistrationCreatesTheKeyWithMessageFileAndTypes) {
    const kit::RunResult r = kit::RunProduct({"-e", name_});
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.output, "") << "-e prints nothing";
    const std::string key = kit::EventSourceKey(name_);
    const kit::RegValue file = kit::ReadRegValue(key, "EventMessageFile");
    ASSERT_TRUE(file.exists);
    EXPECT_EQ(file.type, static_cast<unsigned long>(REG_SZ));
    EXPECT_EQ(file.data, kit::ProductPath() + '\0') << "stored with its terminator";
    const kit::RegValue types = kit::ReadRegValue(key, "TypesSupported");
    ASSERT_TRUE(types.exists);
    EXPECT_EQ(types.type, static_cast<unsigned long>(REG_DWORD));
    EXPECT_EQ(types.data, std::string("\x07\x00\x00\x00", 4));
    EXPECT_FALSE(kit::ReadRegValue(key, "CategoryMessageFile").exists);
    EXPECT_FALSE(kit::ReadRegValue(key, "ParameterMessageFile").exists);
}

TEST_F(EventSource, ExistingKeyIsReusedValuesRewrittenOthersKept) {
    const std::string key = kit::EventSourceKey(name_);
    ASSERT_TRUE(kit::WriteRegValue(key, "EventMessageFile", REG_SZ, std::string("C:\\old.exe") + '\0'));
    ASSERT_TRUE(kit::WriteRegValue(key, "TypesSupported", REG_DWORD, std::string("\x01\0\0\0", 4)));
    ASSERT_TRUE(kit::WriteRegValue(key, "CustomValue", REG_SZ, std::string("keep") + '\0'));
    EXPECT_EQ(kit::RunProduct({"-e", name_}).output, "");
    EXPECT_EQ(kit::StringData(kit::ReadRegValue(key, "EventMessageFile")), kit::ProductPath());
    EXPECT_EQ(kit::ReadRegValue(key, "TypesSupported").data, std::string("\x07\0\0\0", 4));
    EXPECT_EQ(kit::StringData(kit::ReadRegValue(key, "CustomValue")), "keep");
}

TEST_F(EventSource, RemovalDeletesOnlyThatSourceAndIgnoresOneNeverRegistered) {
    ResetServiceSettings();
    CopyToField(ServiceSettings.ServiceName, name_.c_str());
    AddEventSource();
    ASSERT_TRUE(kit::RegKeyExists(kit::EventSourceKey(name_)));
    RemoveEventSource();
    EXPECT_FALSE(kit::RegKeyExists(kit::EventSourceKey(name_)));
    RemoveEventSource();  // a second time: nothing there, nothing happens
    EXPECT_TRUE(kit::RegKeyExists("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application"));
}

}  // namespace
