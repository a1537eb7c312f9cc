// A value too long for its field is refused whole, before anything is created: it is
// never cut, never copied past its field, and never shown, however long it is.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kit/files.h"
#include "kit/product.h"
#include "kit/registry.h"
#include "kit/services.h"

namespace {

struct Field {
    const char* key;
    size_t capacity;  // counts the terminating zero
};

const Field kFields[] = {
    {"ServiceName", 260}, {"DisplayName", 260}, {"Domain", 264},   {"Userid", 260},
    {"Password", 260},    {"Description", 1028}, {"PBAppName", 50}, {"PBLibList", 2048},
    {"PBObjName", 50},    {"PBVMName", 16},
};

TEST(OverLongValue, IniValueIsRefusedWholeBeforeAnythingIsCreatedAndNeverShown) {
    kit::TempDir dir("pbvmsec");
    const std::string name = kit::UniqueName("PbvmSecLong");
    for (const Field& field : kFields) {
        // The capacity itself, and far beyond what one read of the profile returns.
        for (size_t length : {field.capacity, static_cast<size_t>(100000)}) {
            const std::string marker = kit::UniqueName("Marker");
            const std::string value = marker + std::string(length - marker.size(), 'v');
            // A key given twice counts the first time, so the long value comes first.
            ASSERT_TRUE(kit::WriteWholeFile(dir / "install.ini",
                                            "[Install]\r\n" + std::string(field.key) + "=" + value +
                                                "\r\nServiceName=" + name +
                                                "\r\nDisplayName=x\r\nDomain=D\r\nUserid=u\r\nPassword=p\r\n"));

            const kit::RunResult r = kit::RunProduct({"-i", "install.ini"}, dir.path());
            EXPECT_EQ(r.output, "The value for " + std::string(field.key) + " is too long (at most " +
                                    std::to_string(field.capacity - 1) + " characters)!\r\n")
                << field.key << " " << length;
            EXPECT_EQ(r.output.find(marker), std::string::npos);
            EXPECT_FALSE(kit::ReadServiceConfig(name).exists) << field.key;
            EXPECT_FALSE(kit::RegKeyExists(kit::ServiceKey(name))) << field.key;
            EXPECT_FALSE(kit::RegKeyExists(kit::EventSourceKey(name))) << field.key;
        }
    }
}

TEST(OverLongValue, CommandLineOperandIsRefusedWholeAndNeverShown) {
    kit::ServiceCleanup service(kit::UniqueName("PbvmSecLongArg"));
    ASSERT_TRUE(kit::CreateTestService(service.name(), "C:\\windows\\notepad.exe"));
    const std::string marker = kit::UniqueName("Marker");
    const std::string value = marker + std::string(20000, 'v');
    const struct {
        std::vector<std::string> args;
        const char* field;
        int most;
    } cases[] = {
        {{"-l", service.name(), value}, "PBLibList", 2047},
        {{"-a", service.name(), value}, "PBAppName", 49},
        {{"-o", service.name(), value}, "PBObjName", 49},
        {{"-v", service.name(), value}, "PBVMName", 15},
        {{"-d", service.name(), value}, "Description", 1027},
        {{"-c", service.name(), "d", "u", value}, "Password", 259},
        {{"-u", value}, "ServiceName", 259},
    };
    for (const auto& c : cases) {
        const kit::RunResult r = kit::RunProduct(c.args);
        EXPECT_EQ(r.output, "The value for " + std::string(c.field) + " is too long (at most " +
                                std::to_string(c.most) + " characters)!\r\n");
        EXPECT_EQ(r.output.find(marker), std::string::npos);
    }
    for (const char* value : {"PBLibList", "PBAppName", "PBObjName", "PBVMName"}) {
        EXPECT_FALSE(kit::ReadRegValue(kit::ServiceKey(service.name()), value).exists) << value;
    }
    EXPECT_EQ(kit::ReadServiceConfig(service.name()).account, "LocalSystem");
}

}  // namespace
