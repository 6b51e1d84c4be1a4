#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "attached_device_fixture.h"
#include "device/afc_file_ops.h"
#include "device/afc_service.h"
#include "device/app_dir_service.h"

namespace {

namespace fs = std::filesystem;
namespace md = nimbara::md;
using nimbara::simdev::AppSpec;
using nimbara::test::AttachedDeviceTest;
using nimbara::test::writeText;

// ---- AFC service against a simulated device ----------------------------------------------

class AfcServiceTest : public AttachedDeviceTest {
  protected:
    // Attaches the device and binds `afc_` to its media area.
    void bind() {
        index_ = attach();
        ASSERT_GE(index_, 0);
        ASSERT_EQ(afc_.Init(index_), 0);
    }
    std::optional<std::string> mediaBytes(const std::string& devicePath) {
        return fileBytes(device().mediaPath(devicePath));
    }

    int index_ = -1;
    amd::AfcService afc_;
};

TEST_F(AfcServiceTest, ListsFoldersWithoutDotEntries) {
    device().addMediaDir("/Empty");
    device().addMediaFile("/DCIM/b.jpg", "b");
    device().addMediaFile("/DCIM/a.jpg", "a");
    device().addMediaDir("/DCIM/100APPLE");
    bind();

    auto empty = afc_.ReadDirectory("/Empty");
    ASSERT_TRUE(empty.has_value()) << "an empty folder is a listing, not a failure";
    EXPECT_TRUE(empty->empty());

    auto dcim = afc_.ReadDirectory("/DCIM");
    ASSERT_TRUE(dcim.has_value());
    std::vector<std::string> sorted = *dcim;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{"100APPLE", "a.jpg", "b.jpg"}));

    EXPECT_FALSE(afc_.ReadDirectory("/Missing").has_value());
    EXPECT_FALSE(afc_.ReadDirectory("/DCIM/a.jpg").has_value()) << "a file is not a folder";
}

TEST_F(AfcServiceTest, ReadsFileAttributes) {
    device().addMediaFile("/Books/story.epub", pattern(1234));
    bind();

    auto file = afc_.GetFileInfo("/Books/story.epub");
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ((*file)["st_ifmt"], "S_IFREG");
    EXPECT_EQ((*file)["st_size"], "1234");
    EXPECT_FALSE((*file)["st_mtime"].empty());

    auto folder = afc_.GetFileInfo("/Books");
    ASSERT_TRUE(folder.has_value());
    EXPECT_EQ((*folder)["st_ifmt"], "S_IFDIR");

    EXPECT_FALSE(afc_.GetFileInfo("/Books/missing.epub").has_value());
}

TEST_F(AfcServiceTest, CopiesToLocalByteExactAtChunkBoundaries) {
    for (std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(4096), std::size_t(4097),
                             std::size_t(3 * 4096 + 5)}) {
        device().addMediaFile("/Downloads/f" + std::to_string(size), pattern(size));
    }
    bind();
    for (std::size_t size : {std::size_t(0), std::size_t(1), std::size_t(4096), std::size_t(4097),
                             std::size_t(3 * 4096 + 5)}) {
        SCOPED_TRACE(size);
        const std::string target = local("f" + std::to_string(size));
        EXPECT_EQ(afc_.CopyFileToLocal("/Downloads/f" + std::to_string(size), target), 0)
            << "a whole copy succeeds, an empty file included";
        EXPECT_EQ(fileBytes(target), pattern(size));
    }
    // Only the targets: no temporary names left behind.
    EXPECT_EQ(folderNames(localDir()).size(), 5u);
}

TEST_F(AfcServiceTest, CopyToLocalReplacesAnOlderFileOnlyOnSuccess) {
    device().addMediaFile("/Downloads/new.txt", "new contents");
    bind();
    const std::string target = local("file.txt");
    writeText(target, "old contents");

    EXPECT_EQ(afc_.CopyFileToLocal("/Downloads/missing.txt", target), 1);
    EXPECT_EQ(fileBytes(target), "old contents") << "a failed copy leaves the target alone";

    EXPECT_EQ(afc_.CopyFileToLocal("/Downloads/new.txt", target), 0);
    EXPECT_EQ(fileBytes(target), "new contents");
    EXPECT_EQ(folderNames(localDir()), std::vector<std::string>{"file.txt"});
}

TEST_F(AfcServiceTest, CopyFromMissingDeviceFileLeavesNoLocalFile) {
    bind();
    EXPECT_EQ(afc_.CopyFileToLocal("/Downloads/missing.txt", local("missing.txt")), 1);
    EXPECT_EQ(afc_.CopyFileToLocal("/Downloads", local("folder")), 1) << "a folder isn't a file";
    EXPECT_EQ(afc_.CopyFileToLocal("/Downloads/missing.txt", local("no/such/dir/x")), 1);
    EXPECT_TRUE(folderNames(localDir()).empty());
}

TEST_F(AfcServiceTest, CopiesToDeviceByteExactAtChunkBoundaries) {
    device().addMediaDir("/Uploads");
    bind();
    for (std::size_t size : {std::size_t(0), std::size_t(4096), std::size_t(4097)}) {
        SCOPED_TRACE(size);
        const std::string source = local("u" + std::to_string(size));
        writeText(source, pattern(size));
        const std::string target = "/Uploads/u" + std::to_string(size);
        EXPECT_EQ(afc_.CopyFileToDevice(source, target), 0);
        EXPECT_EQ(mediaBytes(target), pattern(size));
    }
}

TEST_F(AfcServiceTest, CopyFromUnreadableLocalFileLeavesDeviceFileUntouched) {
    device().addMediaFile("/Uploads/keep.txt", "device contents");
    bind();
    EXPECT_EQ(afc_.CopyFileToDevice(local("missing.txt"), "/Uploads/keep.txt"), 1);
    EXPECT_EQ(mediaBytes("/Uploads/keep.txt"), "device contents");

    // A folder opens for reading but has no bytes to give: refused before the device is touched.
    EXPECT_EQ(afc_.CopyFileToDevice(localDir().string(), "/Uploads/keep.txt"), 1);
    EXPECT_EQ(mediaBytes("/Uploads/keep.txt"), "device contents");

    EXPECT_FALSE(afc_.GetFileInfo("/Uploads/missing.txt").has_value());
    EXPECT_EQ(afc_.CopyFileToDevice(local("missing.txt"), "/Uploads/missing.txt"), 1);
    EXPECT_FALSE(afc_.GetFileInfo("/Uploads/missing.txt").has_value())
        << "no empty device file is made for a missing local one";
}

TEST_F(AfcServiceTest, ReadsWritesAndEditsPaths) {
    device().addMediaFile("/iTunes_Control/iTunes/iTunesPrefs", pattern(5000));
    bind();

    const std::string prefs = pattern(5000);
    EXPECT_EQ(afc_.ReadFile("/iTunes_Control/iTunes/iTunesPrefs"),
              std::vector<std::uint8_t>(prefs.begin(), prefs.end()));
    EXPECT_TRUE(afc_.ReadFile("/missing").empty());

    const std::vector<std::uint8_t> bytes{0, 1, 2, 0xFF};
    EXPECT_EQ(afc_.WriteFile("/notes.bin", bytes), 0);
    EXPECT_EQ(afc_.ReadFile("/notes.bin"), bytes);
    EXPECT_NE(afc_.WriteFile("/no/such/folder/notes.bin", bytes), 0)
        << "a file that can't be opened is a failure";

    EXPECT_EQ(afc_.CreateDirectory("/Made/Deep"), 0);
    EXPECT_EQ(afc_.GetFileInfo("/Made/Deep").value()["st_ifmt"], "S_IFDIR");
    EXPECT_EQ(afc_.RenamePath("/notes.bin", "/Made/renamed.bin"), 0);
    EXPECT_EQ(afc_.ReadFile("/Made/renamed.bin"), bytes);
    EXPECT_FALSE(afc_.GetFileInfo("/notes.bin").has_value());

    EXPECT_NE(afc_.RemovePath("/Made"), 0) << "a folder with content isn't removed";
    EXPECT_EQ(afc_.RemovePath("/Made/renamed.bin"), 0);
    EXPECT_EQ(afc_.RemovePath("/Made/Deep"), 0);
    EXPECT_EQ(afc_.RemovePath("/Made"), 0);
    EXPECT_FALSE(afc_.GetFileInfo("/Made").has_value());
    EXPECT_NE(afc_.RemovePath("/Made"), 0);

    auto file = afc_.OpenFile("/iTunes_Control/iTunes/iTunesPrefs", md::AfcMode::Read);
    ASSERT_TRUE(file);
    EXPECT_EQ(afc_.CloseFile(file), 0);
    EXPECT_FALSE(file);
    EXPECT_EQ(afc_.CloseFile(file), 1) << "a null file";
    EXPECT_FALSE(afc_.OpenFile("/missing", md::AfcMode::Read));
}

TEST_F(AfcServiceTest, UnboundServiceFailsEveryOperation) {
    attach();
    amd::AfcService unbound;
    EXPECT_EQ(unbound.Init(99), 1);
    EXPECT_FALSE(unbound.hasConnection());
    EXPECT_FALSE(unbound.ReadDirectory("/").has_value());
    EXPECT_FALSE(unbound.GetFileInfo("/").has_value());
    EXPECT_EQ(unbound.CopyFileToLocal("/x", local("x")), 1);
    writeText(local("y"), "y");
    EXPECT_EQ(unbound.CopyFileToDevice(local("y"), "/y"), 1);
    EXPECT_TRUE(unbound.ReadFile("/x").empty());
    EXPECT_NE(unbound.WriteFile("/x", {1, 2, 3}), 0);
    EXPECT_EQ(unbound.RemovePath("/x"), 1);
    EXPECT_EQ(unbound.CreateDirectory("/x"), 1);
    EXPECT_EQ(unbound.RenamePath("/x", "/z"), 1);
    EXPECT_FALSE(unbound.OpenFile("/x", md::AfcMode::Read));
    EXPECT_NE(unbound.TransferApplication(local("y"), nullptr), 0);
    EXPECT_EQ(folderNames(localDir()), std::vector<std::string>{"y"});
}

TEST_F(AfcServiceTest, RefusedServiceLeavesNoConnection) {
    device().setFault(
        "RefusedServices",
        nimbara::PlistValue(nimbara::PlistValue::Array{nimbara::PlistValue("com.apple.afc")}));
    const int index = attach();
    ASSERT_GE(index, 0);
    amd::AfcService afc;
    EXPECT_EQ(afc.Init(index), md::Error::ServiceRefused);
    EXPECT_FALSE(afc.hasConnection());
    EXPECT_FALSE(afc.ReadDirectory("/").has_value());
}

// ---- app containers -----------------------------------------------------------------------

class AppDirServiceTest : public AttachedDeviceTest {
  protected:
    void SetUp() override {
        AttachedDeviceTest::SetUp();
        AppSpec app;
        app.bundleId = "com.example.notes";
        app.displayName = "Notes Plus";
        device().addApp(app);
        device().addContainerText("com.example.notes", "/Documents/todo.txt", "milk");
        device().addMediaFile("/media-only.txt", "media");
        index_ = attach();
        ASSERT_GE(index_, 0);
    }
    int index_ = -1;
};

TEST_F(AppDirServiceTest, WorksInsideTheAppContainer) {
    amd::AppDirService dir;
    ASSERT_EQ(dir.Init(index_, "com.example.notes"), 0);
    EXPECT_EQ(dir.deviceIndex(), index_);
    auto docs = dir.ReadDirectory("/Documents");
    ASSERT_TRUE(docs.has_value());
    EXPECT_EQ(*docs, std::vector<std::string>{"todo.txt"});
    EXPECT_EQ(dir.CopyFileToLocal("/Documents/todo.txt", local("todo.txt")), 0);
    EXPECT_EQ(fileBytes(local("todo.txt")), "milk");
    EXPECT_FALSE(dir.GetFileInfo("/media-only.txt").has_value()) << "not the media area";
}

TEST_F(AppDirServiceTest, MissingAppFailsInitAndEveryLaterOperation) {
    amd::AppDirService dir;
    const int rc = dir.Init(index_, "com.example.absent");
    EXPECT_NE(rc, 0);
    EXPECT_NE(rc, 1) << "the platform's own code is passed on";
    EXPECT_FALSE(dir.hasConnection());
    EXPECT_FALSE(dir.ReadDirectory("/").has_value());
    EXPECT_FALSE(dir.GetFileInfo("/Documents").has_value());
    EXPECT_EQ(dir.CopyFileToLocal("/Documents/todo.txt", local("todo.txt")), 1);
    EXPECT_NE(dir.WriteFile("/Documents/new.txt", {1}), 0);
    EXPECT_NE(dir.RemovePath("/Documents/todo.txt"), 0);
    EXPECT_TRUE(folderNames(localDir()).empty());
}

TEST_F(AppDirServiceTest, OneArgumentInitNeverOpensTheMediaArea) {
    amd::AppDirService dir;
    amd::AfcService& asAfc = dir;
    EXPECT_EQ(asAfc.Init(index_), 1);
    EXPECT_FALSE(dir.hasConnection());
    EXPECT_FALSE(dir.GetFileInfo("/media-only.txt").has_value());
    EXPECT_EQ(dir.deviceIndex(), -1) << "nothing was bound";
}

// ---- copy loops against scripted failures -------------------------------------------------

// An in-memory AFC area whose reads and writes fail on request.
class ScriptedAfc : public md::AfcConnection {
  public:
    std::map<std::string, std::string> files;
    int failReadAtChunk = -1;   // the read of this chunk (0-based) fails
    int failWriteAtChunk = -1;  // the write of this chunk fails
    std::vector<std::string> removed;
    int opensForWriting = 0;

    class File : public md::AfcFile {
      public:
        File(ScriptedAfc& afc, std::string path, bool writing)
            : afc_(afc), path_(std::move(path)), writing_(writing) {}
        int read(void* buffer, std::size_t& length) override {
            if (chunk_++ == afc_.failReadAtChunk) {
                return md::AfcError::ReadError;
            }
            const std::string& data = afc_.files[path_];
            length = std::min(length, data.size() - offset_);
            std::memcpy(buffer, data.data() + offset_, length);
            offset_ += length;
            return 0;
        }
        int write(const void* buffer, std::size_t length) override {
            if (!writing_ || chunk_++ == afc_.failWriteAtChunk) {
                return md::AfcError::WriteError;
            }
            afc_.files[path_].append(static_cast<const char*>(buffer), length);
            return 0;
        }
        int close() override { return 0; }

      private:
        ScriptedAfc& afc_;
        std::string path_;
        bool writing_;
        int chunk_ = 0;
        std::size_t offset_ = 0;
    };

    int readDirectory(const std::string&, std::vector<std::string>& names) override {
        names = {".", "..", "", "a/..", "ok"};
        return 0;
    }
    int fileInfo(const std::string&,
                 std::vector<std::pair<std::string, std::string>>& info) override {
        info = {{"st_ifmt", "S_IFREG"}, {"st_size", "3"}, {"", "x"}, {"st_mtime", "1"}};
        return 0;
    }
    int openFile(const std::string& path, int mode, std::unique_ptr<md::AfcFile>& file) override {
        if (mode == md::AfcMode::Read && !files.count(path)) {
            return md::AfcError::NotFound;
        }
        if (mode == md::AfcMode::Write) {
            ++opensForWriting;
            files[path].clear();
        }
        file = std::make_unique<File>(*this, path, mode == md::AfcMode::Write);
        return 0;
    }
    int removePath(const std::string& path) override {
        removed.push_back(path);
        files.erase(path);
        return 0;
    }
    int renamePath(const std::string&, const std::string&) override { return 0; }
    int makeDirectory(const std::string&) override { return 0; }
    int close() override { return 0; }
};

TEST(AfcCopyLoop, BrokenReadLeavesNoLocalFileAndKeepsTheOldOne) {
    nimbara::test::TempDir temp;
    ScriptedAfc afc;
    afc.files["/big"] = AttachedDeviceTest::pattern(3 * 4096);
    afc.failReadAtChunk = 1;
    std::array<std::uint8_t, 4096> buffer;

    const std::string fresh = (temp / "fresh").string();
    EXPECT_EQ(amd::afc::CopyToLocal(&afc, "/big", fresh, buffer), 1);
    EXPECT_FALSE(fs::exists(fresh));

    const std::string existing = (temp / "existing").string();
    writeText(existing, "complete older copy");
    EXPECT_EQ(amd::afc::CopyToLocal(&afc, "/big", existing, buffer), 1);
    EXPECT_EQ(AttachedDeviceTest::fileBytes(existing), "complete older copy");
    EXPECT_EQ(AttachedDeviceTest::folderNames(temp.path()), std::vector<std::string>{"existing"});
}

TEST(AfcCopyLoop, ExistingTemporaryNameIsNeitherUsedNorRemoved) {
    nimbara::test::TempDir temp;
    ScriptedAfc afc;
    afc.files["/f"] = "device bytes";
    std::array<std::uint8_t, 4096> buffer;
    const std::string target = (temp / "f").string();
    writeText(target + ".partial", "someone else's file");

    EXPECT_EQ(amd::afc::CopyToLocal(&afc, "/f", target, buffer), 0);
    EXPECT_EQ(AttachedDeviceTest::fileBytes(target), "device bytes");
    EXPECT_EQ(AttachedDeviceTest::fileBytes(target + ".partial"), "someone else's file");
}

TEST(AfcCopyLoop, TargetsWithTheLongestNamesAreCopied) {
    nimbara::test::TempDir temp;
    ScriptedAfc afc;
    afc.files["/f"] = "device bytes";
    std::array<std::uint8_t, 4096> buffer;
    for (std::size_t length : {std::size_t(248), std::size_t(255)}) {
        SCOPED_TRACE(length);
        const std::string name(length, 'n');
        EXPECT_EQ(amd::afc::CopyToLocal(&afc, "/f", (temp / name).string(), buffer), 0);
        EXPECT_EQ(AttachedDeviceTest::fileBytes(temp / name), "device bytes");
    }
    EXPECT_EQ(AttachedDeviceTest::folderNames(temp.path()).size(), 2u);
}

TEST(AfcCopyLoop, BrokenDeviceWriteRemovesTheCutShortFile) {
    nimbara::test::TempDir temp;
    ScriptedAfc afc;
    afc.failWriteAtChunk = 1;
    const std::string source = (temp / "src").string();
    writeText(source, AttachedDeviceTest::pattern(3 * 4096));
    std::array<std::uint8_t, 4096> buffer;

    EXPECT_EQ(amd::afc::CopyToDevice(&afc, source, "/dst", buffer), 1);
    EXPECT_EQ(afc.removed, std::vector<std::string>{"/dst"});
    EXPECT_FALSE(afc.files.count("/dst"));

    // A missing local file never opens the device file.
    EXPECT_EQ(amd::afc::CopyToDevice(&afc, (temp / "missing").string(), "/dst", buffer), 1);
    EXPECT_EQ(afc.opensForWriting, 1);
}

TEST(AfcCopyLoop, APipeIsNeverOpenedAndAStopEndsTheCopy) {
    nimbara::test::TempDir temp;
    const std::string pipe = (temp / "pipe").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string source = (temp / "src").string();
    writeText(source, AttachedDeviceTest::pattern(3 * 4096));
    struct Case {
        std::string local;
        int stopAtAsk;  // the ask of the stop check (0-based) that says stop; -1 never
        int opensForWriting;
    };
    // A pipe nobody writes to would hold a blocking open for ever.
    const std::vector<Case> cases = {{pipe, -1, 0}, {source, 0, 1}, {source, 2, 1}};
    std::array<std::uint8_t, 4096> buffer;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.local + " " + std::to_string(c.stopAtAsk));
        ScriptedAfc afc;
        int asks = 0;
        const auto stop = [&] { return asks++ == c.stopAtAsk; };
        EXPECT_EQ(amd::afc::CopyToDevice(&afc, c.local, "/dst", buffer, stop), 1);
        EXPECT_EQ(afc.opensForWriting, c.opensForWriting);
        EXPECT_FALSE(afc.files.count("/dst")) << "a stopped copy is removed";
    }
}

TEST(AfcCopyLoop, ListingAndAttributesDropWhatCannotBeAnEntry) {
    ScriptedAfc afc;
    EXPECT_EQ(amd::afc::ReadDirectory(&afc, "/"), (std::vector<std::string>{"ok"}));
    auto info = amd::afc::ReadFileInfo(&afc, "/ok");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->size(), 2u) << "reading stops at the first empty key";
    EXPECT_EQ((*info)["st_size"], "3");
}

}  // namespace
