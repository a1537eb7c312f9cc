// The image path is never left unquoted where the command line would split: the
// program's path when it holds a blank (else Windows would first try to run, say,
// C:\Program.exe), and the service name when it holds a blank or a tab.  The service
// process then receives exactly its three arguments and starts.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "kit/files.h"
#include "kit/product.h"
#include "kit/registry.h"
#include "kit/services.h"
#include "runtime/hosted_service.h"
#include "standin/journal_text.h"

namespace {

// pbvmsvc.exe and the stand-in VM in a folder of their own under C:\ (where a service
// process finds them), installed under a name that need not be a valid folder name.
class ServiceInFolder {
public:
    ServiceInFolder(const std::string& folderName, const std::string& serviceName)
        : folder_("C:\\pbvmtest\\" + folderName), name_(serviceName) {
        CreateDirectoryA("C:\\pbvmtest", nullptr);
        CreateDirectoryA(folder_.c_str(), nullptr);
        CopyFileA(kit::ProductPath().c_str(), program().c_str(), FALSE);
        // Installed without PBVMName: the service loads the build's default VM.
        kit::DefaultNamedVm().placeIn(folder_);
        runtime_test::HostedClass hosted;
        hosted.run = "returns 0";  // one call, then the service stops itself
        kit::WriteWholeFile(library(), hosted.Text());
    }
    ~ServiceInFolder() {
        kit::RemoveServiceCompletely(name_);
        // The service process may still be ending and holding its files for a moment.
        for (int i = 0; i < 50 && kit::FileExists(folder_); ++i) {
            kit::DeleteTree(folder_);
            if (kit::FileExists(folder_)) Sleep(100);
        }
    }
    ServiceInFolder(const ServiceInFolder&) = delete;
    ServiceInFolder& operator=(const ServiceInFolder&) = delete;

    std::string program() const { return folder_ + "\\pbvmsvc.exe"; }
    std::string library() const { return folder_ + "\\app.pbl"; }
    std::string Run(const std::vector<std::string>& arguments) const {
        return kit::RunProgram(program(), arguments, folder_).output;
    }
    // Installs with the copy in the folder and stores the parameters; the output of -im.
    std::string Install() const {
        const std::string output = Run({"-im", name_, name_});
        // The ";" makes the value a list rather than the name of a list file.
        Run({"-l", name_, library() + ";"});
        Run({"-a", name_, "app"});
        Run({"-o", name_, "n_svc"});
        Run({"-reg", name_, "LogFileName", folder_ + "\\service.log"});
        return output;
    }
    std::string Log() const { return kit::ReadWholeFile(folder_ + "\\service.log"); }
    std::string Journal() const { return kit::ReadWholeFile(kit::DefaultNamedVm().journalIn(folder_)); }

private:
    std::string folder_;
    std::string name_;
};

void ExpectStartsWithItsOwnName(const ServiceInFolder& service, const std::string& name) {
    EXPECT_EQ(service.Run({"-start", name}), "Start service successful!\r\n");
    ASSERT_TRUE(kit::WaitForServiceState(name, SERVICE_STOPPED));
    EXPECT_EQ(service.Log(), "LibList: From Registry\r\nLibrary Count: 1\r\n" + service.library() +
                                 "\r\nBefore CreateSession\r\nAfter CreateSession\r\n"
                                 "PBNI Interface Initialized\r\n");
    // of_startup receives the name that the service process read from its command line.
    EXPECT_NE(service.Journal().find("InvokeBegin \"of_startup\""), std::string::npos);
    EXPECT_NE(service.Journal().find(" " + standin::quote(name) + " false\r\n"), std::string::npos)
        << service.Journal();
}

TEST(ImagePath, ProgramUnderAPathWithABlankIsQuotedAndTheServiceStarts) {
    const std::string name = kit::UniqueName("PbvmSecQuoted");
    ServiceInFolder service(name + " with blank", name);
    EXPECT_EQ(service.Install(), "Install service '" + name + "' successful!\r\n");
    EXPECT_EQ(kit::ReadServiceConfig(name).imagePath, "\"" + service.program() + "\" -r " + name);
    EXPECT_EQ(kit::StringData(kit::ReadRegValue(kit::ServiceKey(name), "ImagePath")),
              "\"" + service.program() + "\" -r " + name);
    ExpectStartsWithItsOwnName(service, name);
}

TEST(ImagePath, NameWithATabIsQuotedAndTheServiceStarts) {
    // Unquoted, the service process received the name as two arguments, printed the
    // usage text instead of starting, and the start failed with 1053.
    const std::string folder = kit::UniqueName("PbvmSecTab");
    const std::string name = "PbvmSec\tTab" + folder;
    ServiceInFolder service(folder + " blank", name);
    EXPECT_EQ(service.Install(), "Install service '" + name + "' successful!\r\n");
    EXPECT_EQ(kit::ReadServiceConfig(name).imagePath, "\"" + service.program() + "\" -r \"" + name + "\"");
    ExpectStartsWithItsOwnName(service, name);
}

}  // namespace
