#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "sim_test_device.h"

namespace fs = std::filesystem;
namespace md = nimbara::md;
using nimbara::PlistValue;
using nimbara::test::readText;
using nimbara::test::writeText;

namespace {

// A device attached and in a session, with helpers for its services.
class SimAfcTest : public nimbara::test::AttachedDeviceTest {
  protected:
    SimAfcTest() : AttachedDeviceTest(true) {}

    std::unique_ptr<md::AfcConnection> open(const std::string& service = "com.apple.afc") {
        std::unique_ptr<md::ServiceConnection> connection;
        EXPECT_EQ(handle->startService(service, connection), 0);
        if (!connection) {
            return nullptr;
        }
        std::unique_ptr<md::AfcConnection> afc;
        EXPECT_EQ(connection->openAfc(afc), 0);
        services.push_back(std::move(connection));
        return afc;
    }

    std::unique_ptr<md::AfcConnection> openContainer(const std::string& bundleId, int& rc) {
        std::unique_ptr<md::ServiceConnection> connection;
        rc = handle->startHouseArrestService(bundleId, connection);
        if (rc != 0) {
            EXPECT_FALSE(connection);
            return nullptr;
        }
        std::unique_ptr<md::AfcConnection> afc;
        EXPECT_EQ(connection->openAfc(afc), 0);
        services.push_back(std::move(connection));
        return afc;
    }

    static std::string readAll(md::AfcConnection& afc, const std::string& path, int& rc) {
        std::unique_ptr<md::AfcFile> file;
        rc = afc.openFile(path, md::AfcMode::Read, file);
        if (rc != 0) {
            return {};
        }
        std::string text;
        char buffer[7];  // small on purpose: several reads per file
        for (;;) {
            std::size_t n = sizeof buffer;
            rc = file->read(buffer, n);
            if (rc != 0 || n == 0) {
                break;
            }
            text.append(buffer, n);
        }
        return text;
    }

    static int writeAll(md::AfcConnection& afc, const std::string& path, const std::string& text) {
        std::unique_ptr<md::AfcFile> file;
        if (int rc = afc.openFile(path, md::AfcMode::Write, file)) {
            return rc;
        }
        if (int rc = file->write(text.data(), text.size())) {
            return rc;
        }
        return file->close();
    }

    std::vector<std::unique_ptr<md::ServiceConnection>> services;
};

}  // namespace

TEST_F(SimAfcTest, ListsFoldersInNameOrderWithDotEntriesFirst) {
    device.media("DCIM/b.jpg", "b").media("DCIM/a.jpg", "a").media("DCIM/C/x", "x");
    fs::create_directories(device.dir() / "media/Empty");
    auto afc = open();
    std::vector<std::string> names;
    ASSERT_EQ(afc->readDirectory("/DCIM", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "C", "a.jpg", "b.jpg"}));
    ASSERT_EQ(afc->readDirectory("/Empty", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{".", ".."}));
    ASSERT_EQ(afc->readDirectory("/", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "DCIM", "Empty"}));
    EXPECT_EQ(afc->readDirectory("/Missing", names), md::AfcError::NotFound);
    EXPECT_TRUE(names.empty());
    EXPECT_NE(afc->readDirectory("/DCIM/a.jpg", names), 0) << "a file is not a folder";
}

TEST_F(SimAfcTest, DescribesFilesFoldersAndLinks) {
    device.media("Downloads/song.mp3", std::string(5000, 's'));
    const auto file = device.dir() / "media/Downloads/song.mp3";
    const struct timespec times[2] = {{1500000000, 123456789}, {1500000000, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    fs::create_symlink("song.mp3", device.dir() / "media/Downloads/link");
    auto afc = open();

    std::vector<std::pair<std::string, std::string>> info;
    ASSERT_EQ(afc->fileInfo("/Downloads/song.mp3", info), 0);
    std::vector<std::string> keys;
    for (const auto& [key, value] : info) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"st_size", "st_blocks", "st_nlink", "st_ifmt",
                                              "st_mtime", "st_birthtime"}));
    std::map<std::string, std::string> values(info.begin(), info.end());
    EXPECT_EQ(values["st_size"], "5000");
    EXPECT_EQ(values["st_ifmt"], "S_IFREG");
    EXPECT_EQ(values["st_nlink"], "1");
    EXPECT_EQ(values["st_mtime"], "1500000000123456789");

    auto kind = [&](const std::string& path) {
        EXPECT_EQ(afc->fileInfo(path, info), 0) << path;
        return std::map<std::string, std::string>(info.begin(), info.end())["st_ifmt"];
    };
    EXPECT_EQ(kind("/Downloads"), "S_IFDIR");
    EXPECT_EQ(kind("/Downloads/link"), "S_IFLNK");
    EXPECT_EQ(afc->fileInfo("/Downloads/none", info), md::AfcError::NotFound);
    EXPECT_TRUE(info.empty());
}

TEST_F(SimAfcTest, ReadsAndWritesFiles) {
    device.media("Books/old.txt", "a longer text that will be truncated");
    auto afc = open();
    int rc = 0;
    EXPECT_EQ(readAll(*afc, "/Books/old.txt", rc), "a longer text that will be truncated");
    EXPECT_EQ(rc, 0);

    ASSERT_EQ(writeAll(*afc, "/Books/old.txt", "short"), 0);
    EXPECT_EQ(readText(device.dir() / "media/Books/old.txt"), "short");
    ASSERT_EQ(writeAll(*afc, "/Books/new.txt", ""), 0) << "write mode creates";
    EXPECT_TRUE(fs::exists(device.dir() / "media/Books/new.txt"));

    std::unique_ptr<md::AfcFile> file;
    EXPECT_EQ(afc->openFile("/Books/missing.txt", md::AfcMode::Read, file), md::AfcError::NotFound);
    EXPECT_EQ(afc->openFile("/NoFolder/x.txt", md::AfcMode::Write, file), md::AfcError::NotFound);
    EXPECT_FALSE(fs::exists(device.dir() / "media/NoFolder"));
    EXPECT_EQ(afc->openFile("/Books", md::AfcMode::Read, file), md::AfcError::IsDirectory);
    EXPECT_EQ(afc->openFile("/Books", md::AfcMode::Write, file), md::AfcError::IsDirectory);
    EXPECT_EQ(afc->openFile("/Books/old.txt", 7, file), md::AfcError::InvalidArgument);

    ASSERT_EQ(afc->openFile("/Books/old.txt", md::AfcMode::Read, file), 0);
    EXPECT_NE(file->write("x", 1), 0) << "a file opened for reading is not written";
    ASSERT_EQ(file->close(), 0);
    char byte;
    std::size_t n = 1;
    EXPECT_NE(file->read(&byte, n), 0);
    EXPECT_EQ(n, 0u);
    EXPECT_NE(file->close(), 0);

    // Closing the connection ends its open files.
    ASSERT_EQ(afc->openFile("/Books/old.txt", md::AfcMode::Read, file), 0);
    ASSERT_EQ(afc->close(), 0);
    n = 1;
    EXPECT_EQ(file->read(&byte, n), md::AfcError::NotConnected);
    std::vector<std::string> names;
    EXPECT_EQ(afc->readDirectory("/", names), md::AfcError::NotConnected);
}

TEST_F(SimAfcTest, RemovesRenamesAndMakesFolders) {
    device.media("Recordings/a.m4a", "a");
    auto afc = open();
    ASSERT_EQ(afc->makeDirectory("/One/Two/Three"), 0);
    EXPECT_TRUE(fs::is_directory(device.dir() / "media/One/Two/Three"));
    EXPECT_EQ(afc->makeDirectory("/One/Two"), 0) << "an existing folder is fine";
    EXPECT_NE(afc->makeDirectory("/Recordings/a.m4a/sub"), 0);

    EXPECT_EQ(afc->removePath("/One"), md::AfcError::NotEmpty);
    EXPECT_EQ(afc->removePath("/One/Two/Three"), 0);
    EXPECT_FALSE(fs::exists(device.dir() / "media/One/Two/Three"));
    EXPECT_EQ(afc->removePath("/One/Two/Three"), md::AfcError::NotFound);
    EXPECT_NE(afc->removePath("/"), 0);
    EXPECT_TRUE(fs::exists(device.dir() / "media"));

    ASSERT_EQ(afc->renamePath("/Recordings/a.m4a", "/One/b.m4a"), 0);
    EXPECT_EQ(readText(device.dir() / "media/One/b.m4a"), "a");
    EXPECT_EQ(afc->renamePath("/Recordings/a.m4a", "/One/c.m4a"), md::AfcError::NotFound);
    EXPECT_NE(afc->renamePath("/One/b.m4a", "/Missing/b.m4a"), 0);
    EXPECT_EQ(afc->removePath("/One/b.m4a"), 0);
}

TEST_F(SimAfcTest, NoPathLeavesTheArea) {
    const fs::path outside = tmp / "outside";
    fs::create_directories(outside);
    writeText(outside / "secret.txt", "secret");
    fs::create_symlink(outside, device.dir() / "media/escape");
    fs::create_symlink(outside / "secret.txt", device.dir() / "media/secret-link");
    fs::create_symlink(outside / "new.txt", device.dir() / "media/dangling");
    fs::create_symlink("DCIM", device.dir() / "media/inside-link");
    device.media("DCIM/photo.jpg", "photo");
    auto afc = open();
    int rc = 0;

    // ".." is normalised lexically and never climbs above the area's root.
    EXPECT_EQ(readAll(*afc, "../device.plist", rc), "");
    EXPECT_EQ(rc, md::AfcError::NotFound);
    EXPECT_EQ(readAll(*afc, "/../../device.plist", rc), "");
    EXPECT_NE(rc, 0);
    EXPECT_EQ(readAll(*afc, "/DCIM/../../../DCIM/photo.jpg", rc), "photo");
    ASSERT_EQ(writeAll(*afc, "/a/../../escaped.txt", "x"), 0);
    EXPECT_TRUE(fs::exists(device.dir() / "media/escaped.txt"));
    EXPECT_FALSE(fs::exists(device.dir() / "escaped.txt"));
    EXPECT_FALSE(fs::exists(tmp / "escaped.txt"));
    EXPECT_EQ(readAll(*afc, std::string("/DCIM/photo.jpg\0/../../device.plist", 35), rc), "");
    EXPECT_EQ(rc, md::AfcError::InvalidArgument);
    std::vector<std::pair<std::string, std::string>> info;
    EXPECT_EQ(afc->fileInfo(tmp.str() + "/outside/secret.txt", info), md::AfcError::NotFound)
        << "an absolute host path is a path inside the area";

    // Links that lead outside are not followed.
    std::vector<std::string> names;
    EXPECT_EQ(afc->readDirectory("/escape", names), md::AfcError::PermissionDenied);
    EXPECT_EQ(readAll(*afc, "/escape/secret.txt", rc), "");
    EXPECT_NE(rc, 0);
    EXPECT_EQ(readAll(*afc, "/secret-link", rc), "");
    EXPECT_EQ(rc, md::AfcError::PermissionDenied);
    EXPECT_NE(writeAll(*afc, "/secret-link", "overwritten"), 0);
    EXPECT_NE(writeAll(*afc, "/escape/new.txt", "x"), 0);
    EXPECT_NE(writeAll(*afc, "/dangling", "x"), 0);
    EXPECT_NE(afc->makeDirectory("/escape/made"), 0);
    EXPECT_NE(afc->fileInfo("/escape/secret.txt", info), 0);
    EXPECT_NE(afc->renamePath("/escape/secret.txt", "/stolen.txt"), 0);
    EXPECT_NE(afc->renamePath("/DCIM/photo.jpg", "/escape/photo.jpg"), 0);
    EXPECT_NE(afc->removePath("/escape/secret.txt"), 0);
    EXPECT_EQ(readText(outside / "secret.txt"), "secret");
    EXPECT_FALSE(fs::exists(outside / "new.txt"));
    EXPECT_FALSE(fs::exists(outside / "made"));
    EXPECT_FALSE(fs::exists(outside / "photo.jpg"));

    // Removing a link removes the link, never what it points at.
    EXPECT_EQ(afc->removePath("/escape"), 0);
    EXPECT_TRUE(fs::exists(outside / "secret.txt"));

    // Links that stay inside work.
    EXPECT_EQ(readAll(*afc, "/inside-link/photo.jpg", rc), "photo");
    ASSERT_EQ(afc->readDirectory("/inside-link", names), 0);
    EXPECT_EQ(names.size(), 3u);
}

TEST_F(SimAfcTest, HouseArrestOpensOnlyInstalledContainers) {
    device.app("com.example.notes", "Notes");
    device.app("com.example.other", "Other");
    writeText(device.container("com.example.notes") / "Documents/note.txt", "hello");
    writeText(device.container("com.example.other") / "Documents/private.txt", "other");
    int rc = 0;
    auto afc = openContainer("com.example.notes", rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(readAll(*afc, "/Documents/note.txt", rc), "hello");
    EXPECT_EQ(readAll(*afc, "/../com.example.other/container/Documents/private.txt", rc), "");
    EXPECT_NE(rc, 0);
    ASSERT_EQ(writeAll(*afc, "/Library/Offline/cache.db", "c"), md::AfcError::NotFound);
    ASSERT_EQ(afc->makeDirectory("/Library/Offline"), 0);
    ASSERT_EQ(writeAll(*afc, "/Library/Offline/cache.db", "c"), 0);
    EXPECT_TRUE(fs::exists(device.container("com.example.notes") / "Library/Offline/cache.db"));

    EXPECT_EQ(openContainer("com.example.missing", rc), nullptr);
    EXPECT_EQ(rc, md::Error::AppNotInstalled);
    for (const std::string& bad :
         std::vector<std::string>{"", "..", "../com.example.notes", "com.example.notes/../x", "a/b",
                                  ".hidden", std::string("com.example.notes\0x", 19)}) {
        EXPECT_EQ(openContainer(bad, rc), nullptr) << bad;
        EXPECT_NE(rc, 0) << bad;
    }

    // An app without a container, or whose container is a link, has nothing to share.
    device.app("com.example.linked", "Linked");
    fs::remove_all(device.container("com.example.linked"));
    EXPECT_EQ(openContainer("com.example.linked", rc), nullptr);
    EXPECT_EQ(rc, md::Error::AppNotInstalled);
    fs::create_symlink(tmp.path(), device.container("com.example.linked"));
    EXPECT_EQ(openContainer("com.example.linked", rc), nullptr);
    EXPECT_EQ(rc, md::Error::AppNotInstalled);

    device.fault("RefusedServices", PlistValue(PlistValue::Array{"com.apple.mobile.house_arrest"}));
    EXPECT_EQ(openContainer("com.example.notes", rc), nullptr);
    EXPECT_EQ(rc, md::Error::ServiceRefused);
}

TEST_F(SimAfcTest, CrashReportAreaIsItsOwnRoot) {
    writeText(device.dir() / "crashes/Retired/app.ips", "crash");
    device.media("DCIM/photo.jpg", "photo");
    auto afc = open("com.apple.crashreportcopymobile");
    std::vector<std::string> names;
    ASSERT_EQ(afc->readDirectory("/", names), 0);
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", "Retired"}));
    int rc = 0;
    EXPECT_EQ(readAll(*afc, "/Retired/app.ips", rc), "crash");
    EXPECT_EQ(readAll(*afc, "/../media/DCIM/photo.jpg", rc), "");
}

TEST_F(SimAfcTest, ServicesSpeakOnlyTheirOwnProtocol) {
    std::unique_ptr<md::ServiceConnection> afcService;
    ASSERT_EQ(handle->startService("com.apple.afc", afcService), 0);
    char byte = 0;
    EXPECT_EQ(afcService->send(&byte, 1), -1);
    EXPECT_EQ(afcService->receive(&byte, 1), -1);

    std::unique_ptr<md::ServiceConnection> proxy;
    ASSERT_EQ(handle->startService("com.apple.mobile.installation_proxy", proxy), 0);
    std::unique_ptr<md::AfcConnection> afc;
    EXPECT_NE(proxy->openAfc(afc), 0);
    EXPECT_FALSE(afc);

    std::unique_ptr<md::ServiceConnection> other;
    EXPECT_EQ(handle->startService("com.apple.afc2", other), md::Error::ServiceRefused);
    EXPECT_FALSE(other);

    afcService->close();
    EXPECT_NE(afcService->openAfc(afc), 0);
}
