// What -reg can write, by design: any string value under the key of any service whose
// name it is given, the Service Control Manager's own values included.  Only an
// administrator can run the program, and only an administrator can write those keys.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "kit/product.h"
#include "kit/registry.h"
#include "kit/services.h"

namespace {

using kit::RunProduct;

TEST(RegPower, OverwritesTheManagersOwnValuesOfTheService) {
    kit::ServiceCleanup service(kit::UniqueName("PbvmSecReg"));
    const std::string& name = service.name();
    const std::string key = kit::ServiceKey(name);
    ASSERT_EQ(RunProduct({"-im", name, name}).output, "Install service '" + name + "' successful!\r\n");
    ASSERT_EQ(kit::ReadRegValue(key, "Start").type, static_cast<unsigned long>(REG_DWORD));

    const std::string image = "C:\\elsewhere\\other.exe -r " + name;
    EXPECT_EQ(RunProduct({"-reg", name, "ImagePath", image}).output, "Update ImagePath successful!\r\n");
    EXPECT_EQ(RunProduct({"-reg", name, "ObjectName", ".\\someone"}).output,
              "Update ObjectName successful!\r\n");
    EXPECT_EQ(RunProduct({"-reg", name, "Start", "2"}).output, "Update Start successful!\r\n");

    const kit::RegValue imagePath = kit::ReadRegValue(key, "ImagePath");
    EXPECT_EQ(imagePath.type, static_cast<unsigned long>(REG_SZ));
    EXPECT_EQ(kit::StringData(imagePath), image);
    EXPECT_EQ(kit::StringData(kit::ReadRegValue(key, "ObjectName")), ".\\someone");
    // Always a string: a value the manager keeps as a number changes its type.
    const kit::RegValue start = kit::ReadRegValue(key, "Start");
    EXPECT_EQ(start.type, static_cast<unsigned long>(REG_SZ));
    EXPECT_EQ(kit::StringData(start), "2");
}

TEST(RegPower, WritesUnderAServiceThatItDidNotInstall) {
    kit::ServiceCleanup service(kit::UniqueName("PbvmSecForeign"));
    ASSERT_TRUE(kit::CreateTestService(service.name(), "C:\\windows\\notepad.exe"));
    EXPECT_EQ(RunProduct({"-a", service.name(), "app"}).output, "Update PBAppName successful!\r\n");
    EXPECT_EQ(RunProduct({"-reg", service.name(), "ImagePath", "C:\\x.exe"}).output,
              "Update ImagePath successful!\r\n");
    EXPECT_EQ(kit::StringData(kit::ReadRegValue(kit::ServiceKey(service.name()), "PBAppName")), "app");
    EXPECT_EQ(kit::StringData(kit::ReadRegValue(kit::ServiceKey(service.name()), "ImagePath")), "C:\\x.exe");
}

}  // namespace
