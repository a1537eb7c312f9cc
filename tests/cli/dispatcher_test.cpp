// The executable's command line, run as an administrator would run it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/product.h"
#include "kit/registry.h"
#include "kit/services.h"

namespace {

using kit::RunProduct;
using kit::UsageText;

TEST(Usage, PrintedForEveryUnknownCommandLineWithExitCodeZero) {
    const std::vector<std::vector<std::string>> lines = {
        {},
        {"-u"},
        {"-start"},
        {"-U", "svc"},
        {"/u", "svc"},
        {"-uninstall", "svc"},
        {"-start", "svc", "extra"},
        {"-status"}, {"-status", "svc", "extra"}, {"-dep", "svc"}, {"-dep", "svc", "a", "b"},
        {"-im", "svc"},
        {"-reg", "svc", "name"},
        {"-c", "svc", "dom", "user", "pw", "extra"},
        {"-x", "1", "2", "3", "4", "5", "6", "7", "8", "9"},
        {"", ""},
    };
    for (const auto& args : lines) {
        const kit::RunResult r = RunProduct(args);
        EXPECT_EQ(r.exitCode, 0u) << (args.empty() ? "(none)" : args[0]);
        EXPECT_EQ(r.output, UsageText()) << (args.empty() ? "(none)" : args[0]);
    }
}

TEST(Usage, SurvivesHostileArguments) {
    const std::string huge(10000, 'x');
    const std::string bytes = "\xe9\xff\x80\x01 \"quoted\" %s%n%x \\ ;";
    const std::vector<std::vector<std::string>> lines = {
        {huge},
        {huge, huge},
        {"-u", huge, huge},
        {bytes, bytes, bytes, bytes, bytes},
        {"%s%n%x", "%s%n%x"},
    };
    for (const auto& args : lines) {
        const kit::RunResult r = RunProduct(args);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.output, UsageText());
    }
}

class OperandBounds : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(kit::CreateTestService(service_.name(), "C:\\windows\\notepad.exe"));
    }
    std::string Stored(const std::string& valueName) {
        return kit::StringData(kit::ReadRegValue(kit::ServiceKey(service_.name()), valueName));
    }
    kit::ServiceCleanup service_{kit::UniqueName("PbvmBounds")};
};

TEST_F(OperandBounds, CapacityLessOneFitsAndCapacityIsRefusedForEachParameterField) {
    struct Case {
        const char* option;
        const char* valueName;
        size_t capacity;
    } cases[] = {{"-l", "PBLibList", 2048}, {"-a", "PBAppName", 50},
                 {"-o", "PBObjName", 50},  {"-v", "PBVMName", 16}};
    for (const Case& c : cases) {
        const std::string fits(c.capacity - 1, 'f');
        kit::RunResult r = RunProduct({c.option, service_.name(), fits});
        EXPECT_EQ(r.output, std::string("Update ") + c.valueName + " successful!\r\n");
        EXPECT_EQ(Stored(c.valueName), fits);

        r = RunProduct({c.option, service_.name(), std::string(c.capacity, 'n')});
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.output, std::string("The value for ") + c.valueName +
                                " is too long (at most " + std::to_string(c.capacity - 1) +
                                " characters)!\r\n");
        EXPECT_EQ(Stored(c.valueName), fits) << "a refused value must change nothing";
    }
}

TEST_F(OperandBounds, ServiceNameOfFieldCapacityIsRefusedBeforeAnythingHappens) {
    const std::string name(260, 's');
    for (const char* option : {"-u", "-e", "-start", "-stop", "-pause", "-resume", "-status"}) {
        const kit::RunResult r = RunProduct({option, name});
        EXPECT_EQ(r.output,
                  "The value for ServiceName is too long (at most 259 characters)!\r\n")
            << option;
    }
    EXPECT_FALSE(kit::RegKeyExists(kit::EventSourceKey(name)));
    const kit::RunResult r = RunProduct({"-c", service_.name(), std::string(264, 'd'), "u", "p"});
    EXPECT_EQ(r.output, "The value for Domain is too long (at most 263 characters)!\r\n");
    const kit::RunResult d = RunProduct({"-d", service_.name(), std::string(1028, 'd')});
    EXPECT_EQ(d.output, "The value for Description is too long (at most 1027 characters)!\r\n");
    const kit::RunResult i = RunProduct({"-im", service_.name(), std::string(260, 'n')});
    EXPECT_EQ(i.output, "The value for DisplayName is too long (at most 259 characters)!\r\n");
}

TEST_F(OperandBounds, UserTextIsNeverAFormat) {
    const kit::RunResult r = RunProduct({"-reg", service_.name(), "%s%n%x%d", "%s%n"});
    EXPECT_EQ(r.output, "Update %s%n%x%d successful!\r\n");
    EXPECT_EQ(Stored("%s%n%x%d"), "%s%n");
}

}  // namespace

namespace {

TEST(EmptyServiceName, IsRefusedByEveryFormAndTouchesNoSharedKey) {
    const std::string services = "SYSTEM\\CurrentControlSet\\Services";
    const std::string application = services + "\\EventLog\\Application";
    const std::vector<std::vector<std::string>> lines = {
        {"-u", ""}, {"-e", ""}, {"-start", ""}, {"-stop", ""}, {"-pause", ""}, {"-resume", ""},
        {"-r", ""}, {"-status", ""}, {"-im", "", "d"}, {"-ia", "", "d"}, {"-d", "", "d"},
        {"-ds", "", "true"}, {"-dep", "", "x"},
        {"-l", "", "x"}, {"-a", "", "x"}, {"-o", "", "x"}, {"-v", "", "x"},
        {"-reg", "", "PbvmEmptyNameProbe", "x"}, {"-c", "", "d", "u", "p"},
    };
    for (const auto& args : lines) {
        const kit::RunResult r = kit::RunProduct(args);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.output, "The service name must not be empty!\r\n") << args[0];
    }
    for (const char* value : {"PBLibList", "PBAppName", "PBObjName", "PBVMName", "PbvmEmptyNameProbe"}) {
        EXPECT_FALSE(kit::ReadRegValue(services, value).exists) << value;
    }
    EXPECT_FALSE(kit::ReadRegValue(application, "EventMessageFile").exists);
    EXPECT_TRUE(kit::RegKeyExists(application));
}

}  // namespace
