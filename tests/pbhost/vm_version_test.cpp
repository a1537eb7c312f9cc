// The VM's release, read from its version resource: real resources as the resource
// compiler writes them, and data that is no such resource.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "kit/product.h"
#include "pbhost/vm_version.h"

namespace {

TEST(VmVersion, TheMajorFileVersionOfEachStandInBuild) {
    const struct {
        const char* build;
        unsigned major;
    } builds[] = {{"standin\\pbvm90.dll", 9},
                  {"standin\\pbvm170.dll", 17},
                  {"standin-pb22\\pbvm.dll", 22},
                  {"standin-stdcall\\pbvm90.dll", 0},  // built without a version resource
                  {"standin\\noexport.dll", 0}};
    for (const auto& b : builds) {
        const std::string path = kit::TestProgramDirectory() + "\\" + b.build;
        const HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr) << path;
        EXPECT_EQ(ModuleVersionMajor(module), b.major) << b.build;
        FreeLibrary(module);
    }
}

TEST(VmVersion, DataThatIsNoVersionResourceGivesNoVersion) {
    // A minimal VS_VERSIONINFO of version 12.5: header, key, padding, fixed part.
    std::vector<unsigned char> data(92, 0);
    data[0] = 92;
    data[2] = 52;
    const char key[] = "VS_VERSION_INFO";
    for (size_t i = 0; i < sizeof key; ++i) data[6 + 2 * i] = static_cast<unsigned char>(key[i]);
    const unsigned char fixed[] = {0xBD, 0x04, 0xEF, 0xFE, 0, 0, 1, 0, 5, 0, 12, 0};
    std::copy(fixed, fixed + sizeof fixed, data.begin() + 40);
    EXPECT_EQ(VersionMajorFromResource(data.data(), data.size()), 12u);

    EXPECT_EQ(VersionMajorFromResource(data.data(), data.size() - 1), 0u) << "cut short";
    EXPECT_EQ(VersionMajorFromResource(nullptr, 0), 0u);
    struct Change {
        size_t at;
        unsigned char value;
        const char* what;
    } changes[] = {{0, 200, "longer than the data"}, {2, 0, "no fixed part"}, {8, 'X', "another key"},
                   {40, 0xBC, "another signature"}};
    for (const Change& c : changes) {
        std::vector<unsigned char> changed = data;
        changed[c.at] = c.value;
        EXPECT_EQ(VersionMajorFromResource(changed.data(), changed.size()), 0u) << c.what;
    }
}

}  // namespace
