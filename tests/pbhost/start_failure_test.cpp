// Start-up failures: each stage that can go wrong, with its log lines, its event and 1627.
#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <stdexcept>
#include <string>

#include "common/service_settings.h"
#include "kit/product.h"
#include "pbhost/host_environment.h"
#include "pbhost/host_state.h"
#include "pbhost/vm_startup.h"

namespace pbhost_test {
namespace {

class StartFailure : public HostEnvironment {};

TEST_F(StartFailure, VmDllMissingOrWithoutExportOrItsWorkingOrRuntimeFolderMissing) {
    ASSERT_TRUE(CopyToField(ServiceSettings.PBVMName, "missing.dll"));
    ExpectStartFails("PowerBuilder VM was not found\r\n", "PowerBuilder VM was not found");
    EXPECT_EQ(HostState.VmModule, nullptr);

    // A runtime folder that is not there (or is a file) fails before any VM is looked for.
    for (const std::string& folder : {dir_ / "Runtime 22.2", WriteFile("a file", "")}) {
        Restart();
        ASSERT_TRUE(CopyToField(ServiceSettings.PBVMName, kit::TestVm().file.c_str()));
        ASSERT_TRUE(CopyToField(ServiceSettings.PBRuntimeDir, folder.c_str()));
        ExpectStartFails("PowerBuilder runtime folder was not found\r\n", "PowerBuilder runtime folder was not found");
        EXPECT_EQ(HostState.VmModule, nullptr);
    }
    // A working folder that is not there fails first of all.
    Restart();
    ASSERT_TRUE(CopyToField(ServiceSettings.PBWorkDir, (dir_ / "Data").c_str()));
    ExpectStartFails("Working folder was not found\r\n", "Working folder was not found");
    EXPECT_EQ(HostState.VmModule, nullptr);
    ServiceSettings.PBRuntimeDir[0] = ServiceSettings.PBWorkDir[0] = '\0';

    // The export's absence is reported, but not logged.
    Restart();
    ASSERT_TRUE(CopyToField(ServiceSettings.PBVMName, "noexport.dll"));
    ExpectStartFails("", "Function PB_GetVM was not found");
    EXPECT_NE(HostState.VmModule, nullptr);
}

// A VM of the other bitness is there but cannot be loaded (ERROR_BAD_EXE_FORMAT): the
// text names the bitness this build needs, not a missing file.
TEST_F(StartFailure, VmOfTheOtherBitness) {
    const std::string other = kit::OtherBitnessVm();
    ASSERT_NE(GetFileAttributesA(other.c_str()), INVALID_FILE_ATTRIBUTES)
        << other << ": the build of the other bitness is needed (scripts/build.sh makes both)";
    ASSERT_TRUE(CopyFileA(other.c_str(), (dir_ / "otherbits.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyToField(ServiceSettings.PBVMName, "otherbits.dll"));
    const std::string text = sizeof(void*) == 8 ? "PowerBuilder VM is not a 64-bit DLL" : "PowerBuilder VM is not a 32-bit DLL";
    ExpectStartFails(text + "\r\n", text);
    EXPECT_EQ(HostState.VmModule, nullptr);
}

TEST_F(StartFailure, NoVmFromTheExportWhateverItReturns) {
    for (const char* getVm : {"null", "error"}) {
        SCOPED_TRACE(getVm);
        Restart();
        WriteVmSettings(std::string("get_vm = ") + getVm + "\r\n");
        ExpectStartFails("Function PB_GetVM failed\r\n", "Function PB_GetVM failed");
        EXPECT_EQ(Journal().back(), "PB_GetVM -> " + std::string(getVm[0] == 'n' ? "0" : "-1") + " null");
    }
}

TEST_F(StartFailure, ListFileThatCannotBeOpened) {
    const std::string list = WriteFile("held.txt", "a.pbl");
    SetLibraryList(list);
    HANDLE holder = CreateFileA(list.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    ExpectStartFails("LibList: From File\r\nOpen of LibList file failed\r\n", "Open of LibList file failed");
    CloseHandle(holder);
    EXPECT_EQ(Journal({"CreateSession"}), Lines{});
}

// A file of the given size, made by setting its end (sparse where the file system can).
bool MakeFileOfSize(const std::string& path, unsigned long long size, const std::string& start) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool ok = WriteFile(file, start.data(), static_cast<DWORD>(start.size()), &written, nullptr) &&
                    SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

TEST_F(StartFailure, ListFileAbove64MiBIsRefusedCountingAll64Bits) {
    // 4 GiB + 5 would look like 5 bytes through the low 32 bits alone.
    for (unsigned long long size : {64ull * 1024 * 1024 + 1, 0x100000005ull}) {
        SCOPED_TRACE(size);
        const std::string list = dir_ / "huge.txt";
        if (!MakeFileOfSize(list, size, "a.pbl")) {
            ADD_FAILURE() << "cannot make the file";
            continue;
        }
        SetLibraryList(list);
        Restart();
        ExpectStartFails("LibList: From File\r\nLibList file is too large\r\n", "LibList file is too large");
        DeleteFileA(list.c_str());
    }
    EXPECT_EQ(Journal({"CreateSession"}), Lines{});
}

TEST_F(StartFailure, ListFileOfExactly64MiBIsRead) {
    const std::string library = WriteFile("app.pbl", HostedClass());
    ASSERT_TRUE(MakeFileOfSize(dir_ / "big.txt", 64ull * 1024 * 1024, library + ";"));
    SetLibraryList(dir_ / "big.txt");
    EXPECT_EQ(StartPowerBuilderHost(), 0u);
    EXPECT_EQ(Log(), ListLog("File", {library}) + "After CreateSession\r\nPBNI Interface Initialized\r\n");
}

TEST_F(StartFailure, SessionRefusedOrNull) {
    UseLibrary();
    WriteVmSettings("create_session = fail:7\r\n");
    ExpectStartFails(ListLog("Registry", {libraryPath_}) + "Function CreateSession failed\r\n",
                     "Function CreateSession failed");
    EXPECT_EQ(Journal({"CreateSession"}),
              Lines{"CreateSession \"pbhostapp\" 1 " + Q(libraryPath_) + " -> fail 7"});

    // Success with no session to show for it is no success: nothing is called through it.
    Restart();
    WriteVmSettings("create_session = null\r\n");
    ExpectStartFails(ListLog("Registry", {libraryPath_}) + "Function CreateSession failed\r\n",
                     "Function CreateSession failed");
    EXPECT_EQ(Journal().back(), "CreateSession \"pbhostapp\" 1 " + Q(libraryPath_) + " -> 0 null");
}

// The head of the 32-bit registration chain at fs:0; x64 keeps no chain (its handlers are
// found in the unwind tables), so there it is always null.
EXCEPTION_REGISTRATION_RECORD* ExceptionChainHead() {
#if defined(_WIN64)
    return nullptr;
#elif defined(_MSC_VER)
    return reinterpret_cast<EXCEPTION_REGISTRATION_RECORD*>(__readfsdword(0));
#else
    EXCEPTION_REGISTRATION_RECORD* head;
    __asm__ __volatile__("movl %%fs:0, %0" : "=r"(head));
    return head;
#endif
}

// Each kind of structured exception that a VM can leave CreateSession by.
class SessionAborted : public HostEnvironment, public ::testing::WithParamInterface<const char*> {};

TEST_P(SessionAborted, IsCaughtReportedAndTheProcessCarriesOn) {
    UseLibrary();
    WriteVmSettings(std::string("create_session = ") + GetParam() + "\r\n");
    EXCEPTION_REGISTRATION_RECORD* const chain = ExceptionChainHead();
    ExpectStartFails(ListLog("Registry", {libraryPath_}) + "Function CreateSession aborted\r\n",
                     "Function CreateSession aborted");
    EXPECT_EQ(ExceptionChainHead(), chain) << "the exception chain is restored";
    EXPECT_EQ(HostState.Session, nullptr);

    // Again and again: nothing of a catch is left behind for the next.
    int aborted = 0;
    for (int i = 0; i < 50; ++i) {
        ResetHostState();
        aborted += StartPowerBuilderHost() == 1627u;
    }
    EXPECT_EQ(aborted, 50);
    EXPECT_EQ(ExceptionChainHead(), chain);
    EXPECT_EQ(Events(51).size(), 51u);
    bool caught = false;
    try {
        throw std::runtime_error("the program's own exceptions still work");
    } catch (const std::exception&) {
        caught = true;
    }
    EXPECT_TRUE(caught);
}

INSTANTIATE_TEST_SUITE_P(EachKind, SessionAborted,
                         ::testing::Values("raise", "raise:0xE0000001", "access-violation", "msvc-throw"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST_F(StartFailure, GroupOrClassNotFound) {
    UseLibrary();
    ASSERT_TRUE(CopyToField(ServiceSettings.PBObjName, "no_such_class"));
    ExpectStartFails(ListLog("Registry", {libraryPath_}) + "After CreateSession\r\nFunction FindGroup failed\r\n",
                     "Function FindGroup failed");
    EXPECT_EQ(Journal().back(), "FindGroup \"no_such_class\" 6 -> null");
    EXPECT_NE(HostState.Session, nullptr) << "the session stays open";

    Restart();
    ASSERT_TRUE(CopyToField(ServiceSettings.PBObjName, "svc_host"));
    WriteVmSettings("find_class = null\r\n");
    ExpectStartFails(ListLog("Registry", {libraryPath_}) + "After CreateSession\r\nFunction FindClass failed\r\n",
                     "Function FindClass failed");
    EXPECT_EQ(Journal({"FindGroup", "FindClass", "CreateObject"}),
              (Lines{"FindGroup \"svc_host\" 6 -> #3", "FindClass #3 \"svc_host\" -> null forced"}));
}

}  // namespace
}  // namespace pbhost_test
