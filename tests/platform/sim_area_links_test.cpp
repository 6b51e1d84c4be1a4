// Symbolic links inside a simulated device's AFC area, resolved both ways the area can resolve
// them: by the kernel (openat2 beneath the area) and name by name (where the kernel can't, and
// for absolute links). Links that stay inside work; every way out is refused, whatever the
// operation.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <map>
#include <string>
#include <vector>

#include "platform/mobiledevice/sim/sim_area.h"
#include "sim_test_device.h"

namespace fs = std::filesystem;
namespace md = nimbara::md;
using nimbara::test::readText;
using nimbara::test::writeText;

namespace {

enum class Resolver { Kernel, NameByName };

std::string resolverName(const ::testing::TestParamInfo<Resolver>& info) {
    return info.param == Resolver::Kernel ? "Kernel" : "NameByName";
}

// A device in a session, with an AFC connection to its media area on request.
class MediaAreaTest : public nimbara::test::AttachedDeviceTest {
  protected:
    MediaAreaTest() : AttachedDeviceTest(true) {}

    std::unique_ptr<md::AfcConnection> open() {
        EXPECT_EQ(handle->startService("com.apple.afc", service_), 0);
        std::unique_ptr<md::AfcConnection> afc;
        if (service_) {
            EXPECT_EQ(service_->openAfc(afc), 0);
        }
        return afc;
    }

    fs::path media() const { return device.dir() / "media"; }

  private:
    std::unique_ptr<md::ServiceConnection> service_;
};

class SimAreaLinksTest : public MediaAreaTest, public ::testing::WithParamInterface<Resolver> {
  protected:
    SimAreaLinksTest() { md::sim::Area::setNameByNameOnly(GetParam() == Resolver::NameByName); }
    ~SimAreaLinksTest() override { md::sim::Area::setNameByNameOnly(false); }

    static std::string readAll(md::AfcConnection& afc, const std::string& path, int& rc) {
        std::unique_ptr<md::AfcFile> file;
        rc = afc.openFile(path, md::AfcMode::Read, file);
        if (rc != 0) {
            return {};
        }
        std::string text(4096, '\0');
        std::size_t n = text.size();
        rc = file->read(text.data(), n);
        text.resize(n);
        return text;
    }

    static int writeAll(md::AfcConnection& afc, const std::string& path, const std::string& text) {
        std::unique_ptr<md::AfcFile> file;
        if (int rc = afc.openFile(path, md::AfcMode::Write, file)) {
            return rc;
        }
        return file->write(text.data(), text.size());
    }

    static std::map<std::string, std::string> info(md::AfcConnection& afc, const std::string& path,
                                                   int& rc) {
        std::vector<std::pair<std::string, std::string>> pairs;
        rc = afc.fileInfo(path, pairs);
        return {pairs.begin(), pairs.end()};
    }
};

}  // namespace

TEST_P(SimAreaLinksTest, LinksThatStayInsideAreFollowedAbsoluteOnesToo) {
    device.media("DCIM/photo.jpg", "photo");
    fs::create_symlink("DCIM", media() / "relative");
    fs::create_symlink(fs::canonical(media() / "DCIM"), media() / "absolute");
    fs::create_symlink("..", media() / "DCIM/up");
    fs::create_symlink("../relative/photo.jpg", media() / "DCIM/again.jpg");
    auto afc = open();
    int rc = 0;

    EXPECT_EQ(readAll(*afc, "/relative/photo.jpg", rc), "photo");
    EXPECT_EQ(readAll(*afc, "/absolute/photo.jpg", rc), "photo");
    EXPECT_EQ(readAll(*afc, "/DCIM/up/absolute/up/DCIM/photo.jpg", rc), "photo");
    EXPECT_EQ(readAll(*afc, "/DCIM/again.jpg", rc), "photo");
    std::vector<std::string> names;
    ASSERT_EQ(afc->readDirectory("/absolute", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "again.jpg", "photo.jpg", "up"}));
    ASSERT_EQ(afc->readDirectory("/DCIM/up", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "DCIM", "absolute", "relative"}));

    // Attributes describe a link itself; below it, what it leads to.
    EXPECT_EQ(info(*afc, "/absolute", rc)["st_ifmt"], "S_IFLNK");
    EXPECT_EQ(info(*afc, "/absolute/photo.jpg", rc)["st_size"], "5");
    EXPECT_EQ(rc, 0);

    ASSERT_EQ(afc->makeDirectory("/absolute/made/deeper"), 0);
    EXPECT_TRUE(fs::is_directory(media() / "DCIM/made/deeper"));
    ASSERT_EQ(writeAll(*afc, "/relative/made/new.txt", "new"), 0);
    EXPECT_EQ(readText(media() / "DCIM/made/new.txt"), "new");
    ASSERT_EQ(afc->renamePath("/absolute/made/new.txt", "/DCIM/up/moved.txt"), 0);
    EXPECT_EQ(readText(media() / "moved.txt"), "new");
    EXPECT_EQ(afc->removePath("/relative/made/deeper"), 0);
    EXPECT_FALSE(fs::exists(media() / "DCIM/made/deeper"));
}

TEST_P(SimAreaLinksTest, EveryWayOutIsRefusedAndOnlyTheLinkItselfIsRemoved) {
    const fs::path outside = tmp / "outside";
    writeText(outside / "secret.txt", "secret");
    device.media("DCIM/photo.jpg", "photo");
    const std::string config = readText(device.dir() / "device.plist");
    // Relative ways up, absolute ways to the device's own folder and out of it, and a loop.
    const std::map<std::string, fs::path> links = {
        {"up", ".."},
        {"cfg", "../device.plist"},
        {"DCIM/deep-up", "../../crashes"},
        {"device", fs::canonical(device.dir())},
        {"out", fs::canonical(outside)},
        {"out-file", fs::canonical(outside) / "secret.txt"},
        {"loop-a", "loop-b"},
        {"loop-b", "loop-a"},
        {"proc", "/proc/self/cwd"},
    };
    for (const auto& [name, target] : links) {
        fs::create_symlink(target, media() / name);
    }
    auto afc = open();
    int rc = 0;
    std::vector<std::string> names;
    for (const auto& [name, target] : links) {
        SCOPED_TRACE(name);
        const std::string link = "/" + name;
        EXPECT_EQ(readAll(*afc, link, rc), "");
        EXPECT_NE(rc, 0);
        EXPECT_EQ(readAll(*afc, link + "/device.plist", rc), "");
        EXPECT_NE(rc, 0);
        EXPECT_EQ(readAll(*afc, link + "/secret.txt", rc), "");
        EXPECT_NE(rc, 0);
        EXPECT_NE(afc->readDirectory(link, names), 0);
        EXPECT_TRUE(names.empty());
        info(*afc, link + "/secret.txt", rc);
        EXPECT_NE(rc, 0);
        EXPECT_NE(writeAll(*afc, link + "/new.txt", "x"), 0);
        EXPECT_NE(writeAll(*afc, link, "overwritten"), 0);
        EXPECT_NE(afc->makeDirectory(link + "/made"), 0);
        EXPECT_NE(afc->removePath(link + "/secret.txt"), 0);
        EXPECT_NE(afc->removePath(link + "/device.plist"), 0);
        EXPECT_NE(afc->renamePath(link + "/secret.txt", "/stolen.txt"), 0);
        EXPECT_NE(afc->renamePath("/DCIM/photo.jpg", link + "/photo.jpg"), 0);
        // The link itself is an entry of the area, and can be described.
        EXPECT_EQ(info(*afc, link, rc)["st_ifmt"], "S_IFLNK");
    }
    EXPECT_EQ(readText(outside / "secret.txt"), "secret");
    EXPECT_EQ(readText(device.dir() / "device.plist"), config);
    EXPECT_FALSE(fs::exists(outside / "new.txt"));
    EXPECT_FALSE(fs::exists(outside / "made"));
    EXPECT_FALSE(fs::exists(device.dir() / "new.txt"));
    EXPECT_FALSE(fs::exists(device.dir() / "crashes/new.txt"));
    EXPECT_EQ(readText(media() / "DCIM/photo.jpg"), "photo");

    for (const auto& [name, target] : links) {
        SCOPED_TRACE(name);
        EXPECT_EQ(afc->removePath("/" + name), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(media() / name)));
    }
    EXPECT_EQ(readText(outside / "secret.txt"), "secret");
    EXPECT_EQ(readText(device.dir() / "device.plist"), config);
    EXPECT_TRUE(fs::is_directory(device.dir() / "crashes"));
}

TEST_P(SimAreaLinksTest, AFolderReplacedByALinkIsNotFollowedFromThenOn) {
    device.media("Folder/Inner/a.txt", "a").media("Folder/b.txt", "b");
    auto afc = open();
    int rc = 0;
    ASSERT_EQ(info(*afc, "/Folder/Inner/a.txt", rc)["st_size"], "1");

    // The folder moves out of the device and a link to it takes its place.
    fs::create_directories(tmp / "outside");
    fs::rename(media() / "Folder", tmp / "outside/Folder");
    fs::create_directory_symlink(tmp / "outside/Folder", media() / "Folder");

    std::vector<std::string> names;
    EXPECT_EQ(afc->readDirectory("/Folder", names), md::AfcError::PermissionDenied);
    EXPECT_EQ(afc->readDirectory("/Folder/Inner", names), md::AfcError::PermissionDenied);
    EXPECT_TRUE(info(*afc, "/Folder/Inner/a.txt", rc).empty());
    EXPECT_EQ(rc, md::AfcError::PermissionDenied);
    EXPECT_TRUE(info(*afc, "/Folder/b.txt", rc).empty());
    EXPECT_NE(rc, 0);
    EXPECT_EQ(info(*afc, "/Folder", rc)["st_ifmt"], "S_IFLNK");
    EXPECT_NE(afc->removePath("/Folder/Inner/a.txt"), 0);
    EXPECT_NE(afc->removePath("/Folder/b.txt"), 0);
    EXPECT_EQ(readText(tmp / "outside/Folder/Inner/a.txt"), "a");
    EXPECT_EQ(readText(tmp / "outside/Folder/b.txt"), "b");
}

INSTANTIATE_TEST_SUITE_P(BothResolvers, SimAreaLinksTest,
                         ::testing::Values(Resolver::Kernel, Resolver::NameByName), resolverName);

namespace {

class SimAfcEntriesTest : public MediaAreaTest {};

}  // namespace

TEST_F(SimAfcEntriesTest, APipeInPlaceOfAFileIsRefusedWithoutWaitingForTheOtherEnd) {
    device.media("Downloads/song.mp3", "song");
    const fs::path pipe = media() / "Downloads/pipe";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0644), 0);
    auto afc = open();

    for (const int mode : {md::AfcMode::Read, md::AfcMode::Write}) {
        SCOPED_TRACE(mode);
        auto opening = std::async(std::launch::async, [&] {
            std::unique_ptr<md::AfcFile> file;
            return afc->openFile("/Downloads/pipe", mode, file);
        });
        if (opening.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            // Release the open that waits for the other end, so that the test can end.
            const int other =
                ::open(pipe.c_str(),
                       (mode == md::AfcMode::Read ? O_WRONLY : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
            opening.wait();
            if (other >= 0) {
                ::close(other);
            }
            ADD_FAILURE() << "the open waited for the pipe's other end";
            continue;
        }
        EXPECT_NE(opening.get(), 0);
    }
    EXPECT_EQ(readText(media() / "Downloads/song.mp3"), "song");
}

TEST_F(SimAfcEntriesTest, AttributesReplaceWhatTheListHeldAndNothingIsLeftOnFailure) {
    device.media("Books/book.epub", "book");
    auto afc = open();
    std::vector<std::pair<std::string, std::string>> info(10, {"stale", "value"});
    ASSERT_EQ(afc->fileInfo("/Books/book.epub", info), 0);
    std::vector<std::string> keys;
    for (const auto& [key, value] : info) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"st_size", "st_blocks", "st_nlink", "st_ifmt",
                                              "st_mtime", "st_birthtime"}));
    EXPECT_EQ(info[0].second, "4");

    EXPECT_EQ(afc->fileInfo("/Books/missing", info), md::AfcError::NotFound);
    EXPECT_TRUE(info.empty());
    info.assign(3, {"stale", "value"});
    EXPECT_EQ(afc->fileInfo("/Missing/book.epub", info), md::AfcError::NotFound);
    EXPECT_TRUE(info.empty());
}
