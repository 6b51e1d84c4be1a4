// Large trees for the benchmarks: the asked number of files, in small nested folders.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "backup/backup_manifest.h"
#include "backup_writer.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace fs = std::filesystem;
namespace layout = nimbara::md::sim;
using nimbara::simdev::makeLargeTreeDevice;
using nimbara::test::TempDir;

TEST(LargeTreeDevice, HoldsTheRequestedFilesInSmallNestedFolders) {
    TempDir tmp;
    std::string error;
    ASSERT_TRUE(makeLargeTreeDevice(tmp / "tree", 12345, &error)) << error;
    EXPECT_TRUE(fs::is_regular_file(tmp / "tree" / layout::kDevicePlist));

    const fs::path media = tmp / "tree" / layout::kMediaDir;
    std::size_t files = 0, large = 0;
    std::map<fs::path, std::size_t> perFolder;
    for (const auto& e : fs::recursive_directory_iterator(media)) {
        if (!e.is_regular_file()) {
            continue;
        }
        ++files;
        ++perFolder[e.path().parent_path()];
        large += e.file_size() > 5000000 ? 1 : 0;
        const fs::path rel = e.path().lexically_relative(media);  // LargeTree/Annn/Bnnn/file
        EXPECT_EQ(std::distance(rel.begin(), rel.end()), 4) << rel;
    }
    EXPECT_EQ(files, 12345u);
    EXPECT_GE(large, 5u);
    EXPECT_LT(large, files / 100);  // mostly small
    for (const auto& [folder, n] : perFolder) {
        EXPECT_LE(n, 100u) << folder;
    }
}

TEST(LargeTreeDevice, RefusesCountsOutOfRange) {
    TempDir tmp;
    std::string error;
    EXPECT_FALSE(makeLargeTreeDevice(tmp / "a", -1, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(makeLargeTreeDevice(tmp / "b", nimbara::simdev::kMaxLargeTreeFiles + 1));
    EXPECT_FALSE(fs::exists(tmp / "a" / layout::kDevicePlist));

    ASSERT_TRUE(makeLargeTreeDevice(tmp / "empty", 0));
    EXPECT_TRUE(fs::is_regular_file(tmp / "empty" / layout::kDevicePlist));
}

// A backup of the large device lists and stores every file of it, one row a file, and its
// stored copies take no more disk than the device's files do.
TEST(LargeTreeDevice, ItsBackupStoresEveryFile) {
    TempDir tmp;
    std::string error;
    ASSERT_TRUE(makeLargeTreeDevice(tmp / "tree", 1234, &error)) << error;
    const auto written = nimbara::simdev::writeBackup(tmp / "tree", tmp / "backups");
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_FALSE(written.legacyLayout);
    EXPECT_EQ(written.files, 1234);

    const auto manifest = nimbara::backup::BackupManifest::read(written.folder.string());
    ASSERT_TRUE(manifest.ok()) << manifest.error;
    const fs::path media = tmp / "tree" / layout::kMediaDir;
    std::size_t files = 0;
    for (const auto& entry : manifest.entries) {
        if (!entry.isFile()) {
            continue;
        }
        ++files;
        EXPECT_EQ(entry.domain, nimbara::simdev::kLargeTreeBackupDomain);
        ASSERT_EQ(entry.relativePath.rfind("Media/", 0), 0u) << entry.relativePath;
        const fs::path original = media / entry.relativePath.substr(6);
        ASSERT_TRUE(fs::is_regular_file(original)) << entry.relativePath;
        EXPECT_TRUE(entry.stored) << entry.relativePath;
        EXPECT_EQ(entry.size, fs::file_size(original)) << entry.relativePath;
        EXPECT_EQ(entry.storedSize, entry.size) << entry.relativePath;
        struct stat copy {};
        struct stat source {};
        const std::string stored = nimbara::backup::storedFilePath(
            written.folder.string(), entry.fileKey, nimbara::backup::BackupLayout::Sharded);
        ASSERT_EQ(::stat(stored.c_str(), &copy), 0);
        ASSERT_EQ(::stat(original.c_str(), &source), 0);
        EXPECT_LE(copy.st_blocks, source.st_blocks) << "holes written out";
    }
    EXPECT_EQ(files, 1234u);
}
