#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "attached_device_fixture.h"
#include "device/crash_report_service.h"

namespace {

namespace fs = std::filesystem;
namespace md = nimbara::md;
using nimbara::test::AttachedDeviceTest;

class CrashReportServiceTest : public AttachedDeviceTest {
  protected:
    void bind() {
        const int index = attach();
        ASSERT_GE(index, 0);
        ASSERT_EQ(crashes_.Init(index), 0);
    }
    static std::vector<std::string> sorted(std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    }
    amd::CrashReportService crashes_;
};

TEST_F(CrashReportServiceTest, EmptyAreaListsNothing) {
    bind();
    EXPECT_TRUE(crashes_.ListAllFiles().empty());
}

TEST_F(CrashReportServiceTest, WalksNestedFoldersAndListsOnlyFiles) {
    device().addCrashLog("/top.ips", 10);
    device().addCrashLog("/Retired/old.ips", 20);
    device().addCrashLog("/Panics/2019/05/kernel.panic", 30);
    fs::create_directories(device().crashPath("/Panics/Empty"));
    bind();

    EXPECT_EQ(
        sorted(crashes_.ListAllFiles()),
        (std::vector<std::string>{"/Panics/2019/05/kernel.panic", "/Retired/old.ips", "/top.ips"}));

    // One "/" between folder and name, whether or not the folder was given with one.
    std::vector<std::string> files;
    crashes_.ListDirectory("/Retired/", files);
    crashes_.ListDirectory("/Retired", files);
    crashes_.ListDirectory("/Missing", files);
    EXPECT_EQ(files, (std::vector<std::string>{"/Retired/old.ips", "/Retired/old.ips"}));

    EXPECT_TRUE(crashes_.IsDirectory("/Panics/Empty"));
    EXPECT_FALSE(crashes_.IsDirectory("/top.ips"));
    EXPECT_FALSE(crashes_.IsDirectory("/missing"));
    EXPECT_EQ(crashes_.GetFileInfo("/Retired/old.ips").value()["st_size"], "20");
}

TEST_F(CrashReportServiceTest, CopiesWholeLogsAndRemovesThem) {
    const std::uint64_t big = 1024 * 1024 + 1;  // two passes through the 1 MiB buffer
    device().addCrashLog("/empty.ips", 0);
    device().addCrashLog("/small.ips", 777);
    device().addCrashLog("/big.ips", big);
    bind();

    for (const char* name : {"empty.ips", "small.ips", "big.ips"}) {
        SCOPED_TRACE(name);
        const std::string devicePath = std::string("/") + name;
        EXPECT_EQ(crashes_.CopyToLocal(devicePath, local(name)), 0);
        EXPECT_EQ(fileBytes(local(name)), fileBytes(device().crashPath(devicePath)));
    }
    EXPECT_EQ(fs::file_size(local("big.ips")), big);

    EXPECT_EQ(crashes_.CopyToLocal("/missing.ips", local("missing.ips")), 1);
    EXPECT_FALSE(fs::exists(local("missing.ips")));

    EXPECT_EQ(crashes_.RemovePath("/small.ips"), 0);
    EXPECT_EQ(sorted(crashes_.ListAllFiles()),
              (std::vector<std::string>{"/big.ips", "/empty.ips"}));

    auto file = crashes_.OpenFile("/big.ips", md::AfcMode::Read);
    ASSERT_TRUE(file);
    EXPECT_EQ(crashes_.CloseFile(file), 0);
}

TEST_F(CrashReportServiceTest, UnboundServiceListsAndCopiesNothing) {
    device().addCrashLog("/top.ips", 10);
    attach();
    amd::CrashReportService unbound;
    EXPECT_EQ(unbound.Init(42), 1);
    EXPECT_TRUE(unbound.ListAllFiles().empty());
    EXPECT_FALSE(unbound.GetFileInfo("/top.ips").has_value());
    EXPECT_EQ(unbound.CopyToLocal("/top.ips", local("top.ips")), 1);
    EXPECT_EQ(unbound.RemovePath("/top.ips"), 1);
    EXPECT_FALSE(fs::exists(local("top.ips")));
}

// A device that reports a folder holding itself, forever.
class EndlessFolders : public md::AfcConnection {
  public:
    int readDirectory(const std::string&, std::vector<std::string>& names) override {
        names = {".", "..", "again", "log.ips"};
        return 0;
    }
    int fileInfo(const std::string& path,
                 std::vector<std::pair<std::string, std::string>>& info) override {
        const bool folder = path.size() >= 5 && path.compare(path.size() - 5, 5, "again") == 0;
        info = {{"st_ifmt", folder ? "S_IFDIR" : "S_IFREG"}, {"st_size", "1"}};
        return 0;
    }
    int openFile(const std::string&, int, std::unique_ptr<md::AfcFile>&) override {
        return md::AfcError::NotFound;
    }
    int removePath(const std::string&) override { return 0; }
    int renamePath(const std::string&, const std::string&) override { return 0; }
    int makeDirectory(const std::string&) override { return 0; }
    int close() override { return 0; }
};

class CrashReportServiceOver : public amd::CrashReportService {
  public:
    explicit CrashReportServiceOver(std::unique_ptr<md::AfcConnection> afc) {
        afc_connection_ = std::move(afc);
    }
};

TEST(CrashReportWalk, EndsOnAFolderThatHoldsItself) {
    CrashReportServiceOver crashes(std::make_unique<EndlessFolders>());
    const std::vector<std::string> files = crashes.ListAllFiles();
    ASSERT_FALSE(files.empty());
    EXPECT_LT(files.size(), 1000u);
    for (const std::string& file : files) {
        EXPECT_EQ(file.rfind("/log.ips"), file.size() - 8) << file;
    }
    EXPECT_EQ(files.back(), "/log.ips");
}

}  // namespace
