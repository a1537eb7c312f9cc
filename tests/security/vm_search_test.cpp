// Where the VM DLL comes from.  PBVMName holds a bare file name of at most 15
// characters, which LoadLibraryA looks for along the standard search order: the
// program's own folder first, then the system folders, the Windows folder, the current
// folder and the folders of PATH.  A DLL of that name planted in any of those places
// that is writable, and searched before the real one, runs inside the service.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "kit/files.h"
#include "kit/product.h"
#include "kit/registry.h"
#include "runtime/hosted_service.h"

namespace {

std::string WindowsDirectory() {
    char path[MAX_PATH] = {0};
    GetWindowsDirectoryA(path, MAX_PATH);
    return path;
}

// A copy of the stand-in VM under a bare name of its own in the Windows folder, removed
// again at the end of the test.  The stand-in names its journal after its own file, so
// the journal shows which copy the service loaded.
class VmCopyInWindowsFolder {
public:
    explicit VmCopyInWindowsFolder(const std::string& baseName)
        : base_(WindowsDirectory() + "\\" + baseName) {
        CopyFileA(kit::TestVm().built().c_str(), dll().c_str(), FALSE);
    }
    ~VmCopyInWindowsFolder() {
        // The service process may still be ending and holding the DLL.
        for (int i = 0; i < 50 && kit::FileExists(dll()) && !DeleteFileA(dll().c_str()); ++i) Sleep(100);
        DeleteFileA(journal().c_str());
    }
    VmCopyInWindowsFolder(const VmCopyInWindowsFolder&) = delete;
    VmCopyInWindowsFolder& operator=(const VmCopyInWindowsFolder&) = delete;

    std::string dll() const { return base_ + ".dll"; }
    std::string journal() const { return base_ + ".journal"; }

private:
    std::string base_;
};

// A bare name no other test uses, short enough for PBVMName: "pv<pid>_<n>".
std::string ShortUniqueName() { return kit::UniqueName("pv"); }

void StartAndWaitForTheEnd(const runtime_test::HostedService& service) {
    EXPECT_EQ(service.StartUntilStopped(), "Start service successful!\r\n");
}

TEST(VmSearch, TheProgramsOwnFolderComesFirst) {
    runtime_test::HostedService service("PbvmSecVm");
    runtime_test::HostedClass hosted;
    hosted.run = "returns 0";
    service.Install(hosted);
    const std::string vm = ShortUniqueName();
    ASSERT_LE(vm.size() + 4, 15u);
    VmCopyInWindowsFolder planted(vm);
    ASSERT_TRUE(CopyFileA(kit::TestVm().built().c_str(),
                          (service.folder() + "\\" + vm + ".dll").c_str(), FALSE));
    ASSERT_EQ(service.Run({"-v", service.name(), vm + ".dll"}), "Update PBVMName successful!\r\n");

    StartAndWaitForTheEnd(service);
    EXPECT_NE(kit::ReadWholeFile(service.folder() + "\\" + vm + ".journal").find("InvokeBegin \"of_run\""),
              std::string::npos);
    EXPECT_FALSE(kit::FileExists(planted.journal())) << "the copy outside the program's folder is not loaded";
}

TEST(VmSearch, ABareNameMissingFromTheProgramsFolderIsTakenFromTheSearchPath) {
    // What planting exploits: the service loads a DLL of that name from outside its folder.
    runtime_test::HostedService service("PbvmSecVm");
    runtime_test::HostedClass hosted;
    hosted.run = "returns 0";
    service.Install(hosted);
    const std::string vm = ShortUniqueName();
    VmCopyInWindowsFolder planted(vm);
    ASSERT_EQ(service.Run({"-v", service.name(), vm + ".dll"}), "Update PBVMName successful!\r\n");

    StartAndWaitForTheEnd(service);
    EXPECT_NE(kit::ReadWholeFile(planted.journal()).find("InvokeBegin \"of_run\""), std::string::npos);
    EXPECT_NE(service.Log().find("After CreateSession\r\n"), std::string::npos);
}

TEST(VmSearch, VmNameHoldsAtMost15CharactersAndALongerValueIsNotUsed) {
    runtime_test::HostedService service("PbvmSecVm");
    runtime_test::HostedClass hosted;
    hosted.run = "returns 0";
    service.Install(hosted);
    const std::string key = kit::ServiceKey(service.name());

    EXPECT_EQ(service.Run({"-v", service.name(), "abcdefghijk.dll"}), "Update PBVMName successful!\r\n");
    EXPECT_EQ(service.Run({"-v", service.name(), "C:\\vm\\pbvm90.dll"}),
              "The value for PBVMName is too long (at most 15 characters)!\r\n");
    EXPECT_EQ(kit::StringData(kit::ReadRegValue(key, "PBVMName")), "abcdefghijk.dll");

    // -reg stores any length; the service reads at most 15 characters, takes a longer
    // value as missing, and loads the build's default VM from its own folder.
    const std::string elsewhere = "C:\\pbvm_no_such_folder\\" + kit::TestVm().file;
    ASSERT_EQ(service.Run({"-reg", service.name(), "PBVMName", elsewhere}), "Update PBVMName successful!\r\n");
    service.PlaceDefaultNamedVm();
    StartAndWaitForTheEnd(service);
    EXPECT_NE(kit::ReadWholeFile(service.JournalPath(kit::DefaultNamedVm())).find("InvokeBegin \"of_run\""),
              std::string::npos);
    EXPECT_NE(service.Log().find("After CreateSession\r\n"), std::string::npos) << service.Log();
}

}  // namespace
