// Device paths given to the builder never lead out of the area they belong to.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "backup_source.h"
#include "device_path.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace fs = std::filesystem;
namespace layout = nimbara::md::sim;
using nimbara::simdev::addBackupDir;
using nimbara::simdev::addBackupFile;
using nimbara::simdev::AppSpec;
using nimbara::simdev::confinedPath;
using nimbara::simdev::SimDeviceBuilder;
using nimbara::test::TempDir;

namespace {

// Every file below `root`, so a test can show that a refused call wrote nothing anywhere.
std::size_t countFiles(const fs::path& root) {
    std::size_t n = 0;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        n += e.is_regular_file() ? 1 : 0;
    }
    return n;
}

}  // namespace

TEST(DevicePath, MapsAbsolutePathsAndDropsEmptyAndDotComponents) {
    const fs::path root = "/r";
    EXPECT_EQ(confinedPath(root, "/DCIM/100APPLE/IMG_0001.JPG"),
              fs::path("/r/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_EQ(confinedPath(root, "//DCIM/./a.jpg/"), fs::path("/r/DCIM/a.jpg"));
    EXPECT_EQ(confinedPath(root, "/", true), root);
    EXPECT_EQ(confinedPath(root, "/a..b/..c"), fs::path("/r/a..b/..c"));  // names, not ".."
}

TEST(DevicePath, RefusesParentComponentsRelativeEmptyAndNul) {
    const fs::path root = "/r";
    for (const char* bad : {"/../etc/passwd", "/DCIM/../../x", "/a/..", "..", "DCIM/a.jpg", ""}) {
        EXPECT_THROW(confinedPath(root, bad), std::invalid_argument) << bad;
    }
    EXPECT_THROW(confinedPath(root, std::string("/a\0b", 4)), std::invalid_argument);
    EXPECT_THROW(confinedPath(root, "/"), std::invalid_argument);  // names no file
}

TEST(SimDeviceBuilderPaths, RefusedCallsWriteNothingOutsideOrInside) {
    TempDir tmp;
    SimDeviceBuilder b(tmp / "dev");
    AppSpec app;
    app.bundleId = "com.example.notes";
    app.displayName = "Notes";
    b.addApp(app);
    const std::size_t before = countFiles(tmp.path());

    EXPECT_THROW(b.addMediaFile("/../escaped.txt", "x"), std::invalid_argument);
    EXPECT_THROW(b.addMediaFileOfSize("/DCIM/../../escaped.bin", 10), std::invalid_argument);
    EXPECT_THROW(b.addMediaDir("/../escaped"), std::invalid_argument);
    EXPECT_THROW(b.addContainerFile("com.example.notes", "/../../escaped", 1),
                 std::invalid_argument);
    EXPECT_THROW(b.addContainerText("com.example.notes", "/Documents/../../../x", "x"),
                 std::invalid_argument);
    EXPECT_THROW(b.addCrashLog("/../escaped.ips", 1), std::invalid_argument);
    EXPECT_THROW(b.addCrashLog("", 1), std::invalid_argument);

    EXPECT_EQ(countFiles(tmp.path()), before);
    EXPECT_FALSE(fs::exists(tmp / "escaped.txt"));
    EXPECT_FALSE(fs::exists(tmp / "dev/escaped.ips"));
}

TEST(SimDeviceBuilderPaths, BundleIdentifiersMustBePlainFolderNames) {
    TempDir tmp;
    SimDeviceBuilder b(tmp / "dev");
    for (const char* id : {"", ".", "..", "com/example", "../media"}) {
        AppSpec app;
        app.bundleId = id;
        EXPECT_THROW(b.addApp(app), std::invalid_argument) << id;
        EXPECT_THROW(b.addContainerFile(id, "/Documents/a", 1), std::invalid_argument) << id;
    }
    EXPECT_TRUE(fs::is_empty(tmp / "dev/apps"));
}

TEST(SimDeviceBuilderPaths, LinkPlantedInTheMediaRootIsNotFollowed) {
    TempDir tmp;
    SimDeviceBuilder b(tmp / "dev");
    fs::create_directories(tmp / "outside");
    fs::create_directory_symlink(tmp / "outside", tmp / "dev/media/Linked");
    EXPECT_THROW(b.addMediaFile("/Linked/file.txt", "x"), std::invalid_argument);
    // Refused before any folder on the way is made through the link.
    EXPECT_THROW(b.addMediaFile("/Linked/sub/file.txt", "x"), std::invalid_argument);
    EXPECT_THROW(b.addMediaFileOfSize("/Linked/sized/file.bin", 10), std::invalid_argument);
    EXPECT_THROW(b.addMediaDir("/Linked/folder"), std::invalid_argument);
    fs::create_directories(tmp / "dev" / layout::kBackupSourceDir);
    fs::create_directory_symlink(tmp / "outside",
                                 tmp / "dev" / layout::kBackupSourceDir / "HomeDomain");
    EXPECT_THROW(addBackupFile(b, "HomeDomain", "Library/SMS/sms.db", "x"), std::invalid_argument);
    EXPECT_THROW(addBackupDir(b, "HomeDomain", "Library/Caches"), std::invalid_argument);
    EXPECT_TRUE(fs::is_empty(tmp / "outside"));
}
