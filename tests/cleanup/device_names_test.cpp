// Device file names at the edges: names as long as a name may be, and names that are not UTF-8,
// go from the scan through the copy to the removal with their bytes intact.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cleanup/quick_clean_engine.h"
#include "cleanup/quick_scan_engine.h"
#include "quick_clean_test_support.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using cleanup::QuickCleanEngine;
using cleanup::QuickCleanStatus;

class DeviceNamesTest : public QuickCleanTest {};

TEST_F(DeviceNamesTest, PhotosWithTheLongestNamesAreCopiedAndDeleted) {
    const std::string longName = std::string(246, 'L') + ".JPG";     // 250 bytes
    const std::string longestName = std::string(251, 'M') + ".JPG";  // 255 bytes
    ASSERT_EQ(longName.size(), 250u);
    ASSERT_EQ(longestName.size(), 255u);
    auto device = builder("long");
    device.addMediaFile("/DCIM/100APPLE/" + longName, "long one")
        .addMediaFile("/DCIM/100APPLE/" + longestName, "longest");
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);
    // The user's own file already holds the longest name: the copy needs a numbered name that
    // still fits.
    const fs::path exportDir = tmp_ / "Export";
    fs::create_directories(exportDir);
    writeText(exportDir / longestName, "the user's own");

    auto options = optionsFor(index, exportDir);
    options.photosTicked = true;
    const auto report = QuickCleanEngine(options, QuickScanResult{}).run();

    EXPECT_EQ(report.status, QuickCleanStatus::Done) << report.message.toStdString();
    EXPECT_EQ(readText(exportDir / longName), "long one");
    EXPECT_EQ(readText(exportDir / longestName), "the user's own");
    const std::vector<std::string> names = folderNames(exportDir);
    ASSERT_EQ(names.size(), 3u);
    std::string numbered;
    for (const std::string& name : names) {
        EXPECT_LE(name.size(), 255u);
        if (name != longName && name != longestName) {
            numbered = name;
        }
    }
    EXPECT_TRUE(numbered.ends_with(" (2).JPG")) << numbered;
    EXPECT_TRUE(numbered.starts_with("MMMM")) << numbered;
    EXPECT_EQ(readText(exportDir / numbered), "longest");

    EXPECT_FALSE(onDevice("long", "/DCIM/100APPLE/" + longName));
    EXPECT_FALSE(onDevice("long", "/DCIM/100APPLE/" + longestName));
    EXPECT_EQ(report.freedPhotos, 8u + 7u);
    EXPECT_EQ(report.removedCount, 2);
}

TEST_F(DeviceNamesTest, FilesNamedWithBytesThatAreNotUtf8AreScannedAndRemoved) {
    const std::string junkPath = "/Downloads/\xff\xfe.tmp";
    const std::string storagePath = "/general_storage/caf\xe9.log";  // Latin-1, not UTF-8
    const std::string largePath = "/big\xc3(.bin";                   // a cut-off sequence
    auto device = builder("bytes");
    device.addMediaFile(junkPath, "junk!")
        .addMediaFile(storagePath, "old log")
        .addMediaFile("/Downloads/plain.tmp", "ok")
        .addMediaFileOfSize(largePath, 6000000);
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);

    QuickScanOptions scanOptions;
    scanOptions.deviceIndex = index;
    QuickScanResult scan = QuickScanEngine(scanOptions, {}).run();
    ASSERT_EQ(scan.downloadTempArray.size(), 2u);
    ASSERT_EQ(scan.userStorageArray.size(), 1u);
    ASSERT_EQ(scan.userDataBigFileArray.size(), 1u);
    EXPECT_EQ(scan.junkFileSize, 5u + 7u + 2u);
    EXPECT_EQ(scan.userStorageArray[0]->devicePath(), storagePath);
    EXPECT_EQ(scan.userDataBigFileArray[0]->devicePath(), largePath);
    // The display texts stay readable (a replacement character stands for each bad byte).
    EXPECT_TRUE(scan.userDataBigFileArray[0]->filePath().startsWith(QStringLiteral("/big")));
    EXPECT_TRUE(scan.userStorageArray[0]->fileName().startsWith(QStringLiteral("caf")));

    auto options = optionsFor(index, tmp_ / "Export");
    options.junkTicked = true;
    const auto report = QuickCleanEngine(options, scan).run();

    EXPECT_EQ(report.status, QuickCleanStatus::Done) << report.message.toStdString();
    EXPECT_EQ(report.failedCount, 0);
    EXPECT_FALSE(onDevice("bytes", junkPath));
    EXPECT_FALSE(onDevice("bytes", storagePath));
    EXPECT_FALSE(onDevice("bytes", "/Downloads/plain.tmp"));
    EXPECT_FALSE(onDevice("bytes", largePath));
    EXPECT_EQ(report.freedJunk, 5u + 7u + 2u);
    EXPECT_EQ(report.freedLargeFiles, 6000000u);
    EXPECT_EQ(report.removedCount, 4);
}

TEST_F(DeviceNamesTest, ARecordMadeFromTextRemovesThatPath) {
    auto device = builder("text");
    device.addMediaFile("/Downloads/caf\xc3\xa9.tmp", "utf8");
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);
    QuickScanResult scan;
    scan.downloadTempArray.push_back(junk("/Downloads/caf\xc3\xa9.tmp", 4));
    EXPECT_EQ(scan.downloadTempArray[0]->devicePath(), "/Downloads/caf\xc3\xa9.tmp");

    auto options = optionsFor(index, tmp_ / "Export");
    options.junkTicked = true;
    const auto report = QuickCleanEngine(options, scan).run();
    EXPECT_EQ(report.status, QuickCleanStatus::Done) << report.message.toStdString();
    EXPECT_FALSE(onDevice("text", "/Downloads/caf\xc3\xa9.tmp"));
    EXPECT_EQ(report.freedJunk, 4u);
}

}  // namespace
}  // namespace nimbara::test
