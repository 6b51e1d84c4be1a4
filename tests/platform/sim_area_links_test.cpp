// Symbolic links inside a simulated device's AFC area, resolved both ways the area can resolve
// them: by the kernel (openat2 beneath the area) and name by name (where the kernel can't, and
// for absolute links). Links that stay inside work; every way out is refused, whatever the
// operation. And the folders a connection holds open between calls: whatever happens to them on
// the host, a call answers as a lookup from the area's root would.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/mobiledevice/sim/sim_afc.h"
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

// ---- folders a connection holds between calls ----

namespace {

enum class Queue { Doorbell, ReadEveryUse };
enum class Changer { SameThread, OtherThread, OtherProcess };
using HeldParam = std::tuple<Queue, Changer>;

std::string heldName(const ::testing::TestParamInfo<HeldParam>& info) {
    const auto [queue, changer] = info.param;
    return std::string(queue == Queue::Doorbell ? "Doorbell" : "ReadEveryUse") +
           (changer == Changer::SameThread    ? "SameThread"
            : changer == Changer::OtherThread ? "OtherThread"
                                              : "OtherProcess");
}

// One change on the host, made with system calls only (so that a forked process can make it).
struct HostOp {
    enum Kind { Rename, Exchange, Symlink, Rmdir } kind;
    std::string from, to;
    int apply() const {
        switch (kind) {
            case Rename:
                return ::rename(from.c_str(), to.c_str());
            case Exchange:
                return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_EXCHANGE);
            case Symlink:
                return ::symlink(from.c_str(), to.c_str());
            case Rmdir:
                return ::rmdir(from.c_str());
        }
        return -1;
    }
};

class SimHeldFoldersTest : public MediaAreaTest, public ::testing::WithParamInterface<HeldParam> {
  protected:
    SimHeldFoldersTest() {
        md::sim::FolderChain::setQueueReadEveryUse(std::get<0>(GetParam()) == Queue::ReadEveryUse);
    }
    ~SimHeldFoldersTest() override { md::sim::FolderChain::setQueueReadEveryUse(false); }

    // Makes the changes in this thread, another one, or another process; true when all were made.
    bool change(const std::vector<HostOp>& ops) {
        const auto applyAll = [&ops] {
            for (const HostOp& op : ops) {
                if (op.apply() != 0) {
                    return false;
                }
            }
            return true;
        };
        switch (std::get<1>(GetParam())) {
            case Changer::SameThread:
                return applyAll();
            case Changer::OtherThread:
                return std::async(std::launch::async, applyAll).get();
            case Changer::OtherProcess:
                break;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::_exit(applyAll() ? 0 : 1);
        }
        int status = 0;
        return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
               WEXITSTATUS(status) == 0;
    }

    // What a lookup from the area's root answers now, as "rc kind size" or "rc name name...".
    std::string expected(const std::string& path, bool listing) const {
        const md::sim::Area plain(device.dir(), "media");
        if (listing) {
            std::vector<std::string> names;
            return answer(plain.listDirectory(path, names), names);
        }
        struct statx st {};
        const int rc = plain.describe(path, st);
        return answer(rc, rc == 0 ? std::vector<std::string>{std::to_string(st.stx_mode & S_IFMT),
                                                             std::to_string(st.stx_size)}
                                  : std::vector<std::string>{});
    }

    static std::string actual(md::AfcConnection& afc, const std::string& path, bool listing) {
        std::vector<std::string> names;
        if (listing) {
            const int rc = afc.readDirectory(path, names);
            if (rc == 0) {
                names.erase(names.begin(), names.begin() + 2);  // "." and ".."
            }
            return answer(rc, names);
        }
        std::vector<std::pair<std::string, std::string>> pairs;
        const int rc = afc.fileInfo(path, pairs);
        std::map<std::string, std::string> info(pairs.begin(), pairs.end());
        const std::string kind = info["st_ifmt"] == "S_IFDIR"   ? std::to_string(S_IFDIR)
                                 : info["st_ifmt"] == "S_IFLNK" ? std::to_string(S_IFLNK)
                                                                : std::to_string(S_IFREG);
        return answer(rc, rc == 0 ? std::vector<std::string>{kind, info["st_size"]}
                                  : std::vector<std::string>{});
    }

    static std::string answer(int rc, const std::vector<std::string>& words) {
        std::string text = std::to_string(rc);
        for (const std::string& word : words) {
            text += " " + word;
        }
        return text;
    }
};

}  // namespace

TEST_P(SimHeldFoldersTest, AHeldFolderMovedOrReplacedOnTheHostIsLookedUpAfreshAtTheNextCall) {
    const fs::path m = media();
    const fs::path out = tmp / "outside";
    writeText(out / "secret.txt", "secret");
    const std::string o = out.string();
    struct Case {
        const char* what;
        const char* held;  // the folder listed before the change
        std::vector<HostOp> ops;
        std::function<void(md::AfcConnection&)> through =
            {};  // or the change through the connection
    };
    const std::vector<Case> cases = {
        {"moved out, a link to it in its place",
         "/Walk",
         {{HostOp::Rename, m / "Walk", out / "Walk2"},
          {HostOp::Symlink, o + "/Walk2", m / "Walk"}}},
        {"the folder above moved out, a link in its place",
         "/Walk/Inner",
         {{HostOp::Rename, m / "Walk", out / "Walk2"},
          {HostOp::Symlink, o + "/Walk2", m / "Walk"}}},
        {"renamed, another folder moved to its name",
         "/Walk",
         {{HostOp::Rename, m / "Walk", m / "Walk-old"}, {HostOp::Rename, m / "Other", m / "Walk"}}},
        {"removed, a link out put there",
         "/Empty",
         {{HostOp::Rmdir, m / "Empty", {}}, {HostOp::Symlink, o, m / "Empty"}}},
        {"another folder moved over it", "/Empty", {{HostOp::Rename, m / "Other", m / "Empty"}}},
        {"exchanged with a link out at once",
         "/Walk/Inner",
         {{HostOp::Symlink, o, m / "swap"}, {HostOp::Exchange, m / "swap", m / "Walk"}}},
        {"the area's own folder moved away, a link in its place",
         "/Walk",
         {{HostOp::Rename, m, device.dir() / "media-away"},
          {HostOp::Symlink, (device.dir() / "media-away").string(), m}}},
        {"renamed through the connection",
         "/Walk/Inner",
         {},
         [](md::AfcConnection& afc) { EXPECT_EQ(afc.renamePath("/Walk", "/Moved"), 0); }},
        {"removed and made again through the connection",
         "/Empty",
         {},
         [](md::AfcConnection& afc) {
             EXPECT_EQ(afc.removePath("/Empty"), 0);
             EXPECT_EQ(afc.makeDirectory("/Empty"), 0);
             EXPECT_EQ(afc.renamePath("/Other/x.txt", "/Empty/x.txt"), 0);
         }},
    };
    // Attributes first: a listing would read the news anyway.
    const std::vector<std::pair<std::string, bool>> probes = {
        {"/Walk/b.txt", false},        {"/Walk/Inner/a.txt", false},
        {"/Walk/x.txt", false},        {"/Walk/secret.txt", false},
        {"/Empty/x.txt", false},       {"/Empty/secret.txt", false},
        {"/Moved/Inner/a.txt", false}, {"/Walk", true},
        {"/Walk/Inner", true},         {"/Empty", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(m);
        fs::remove_all(device.dir() / "media-away");
        fs::remove_all(out / "Walk2");
        device.media("Walk/Inner/a.txt", "a").media("Walk/b.txt", "bb").media("Other/x.txt", "x");
        fs::create_directories(m / "Empty");
        auto afc = open();
        auto* sim = dynamic_cast<md::sim::SimAfcConnection*>(afc.get());
        ASSERT_TRUE(sim);
        std::vector<std::string> names;
        ASSERT_EQ(afc->readDirectory(c.held, names), 0);
        std::vector<std::pair<std::string, std::string>> info;
        ASSERT_EQ(afc->fileInfo(std::string(c.held) + "/" + names.back(), info), 0);
        ASSERT_GT(sim->heldFolders(), 0u);

        if (c.through) {
            c.through(*afc);
        } else {
            ASSERT_TRUE(change(c.ops));
        }
        for (const auto& [path, listing] : probes) {
            EXPECT_EQ(actual(*afc, path, listing), expected(path, listing)) << path;
        }
        EXPECT_EQ(readText(out / "secret.txt"), "secret");
        afc->close();
        EXPECT_EQ(sim->heldFolders(), 0u) << "a closed connection holds nothing";
    }
}

INSTANTIATE_TEST_SUITE_P(QueuesAndChangers, SimHeldFoldersTest,
                         ::testing::Combine(::testing::Values(Queue::Doorbell, Queue::ReadEveryUse),
                                            ::testing::Values(Changer::SameThread,
                                                              Changer::OtherThread,
                                                              Changer::OtherProcess)),
                         heldName);
