// A backup a device sent with paths its readers refuse keeps everything else and can be read.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "backup/backup_manifest.h"
#include "backup/shah.h"
#include "backup/sqlite_db.h"
#include "backup/unreadable_entries.h"
#include "backup_source.h"
#include "backup_writer.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace nimbara::backup {
namespace {

TEST(UnreadableEntriesTest, RowsPastTheReadersBoundsAndTheirFilesAreTakenOut) {
    test::TempDir tmp;
    simdev::SimDeviceBuilder device(tmp / "phone");
    device.setIdentity("Ann's Phone", "5c1d9e0f2a3b4c5d6e7f8091a2b3c4d5e6f70819", "iPhone10,4",
                       "12.4.1");
    simdev::addBackupFile(device, "HomeDomain", "Library/kept.txt", "kept");
    ASSERT_TRUE(device.write());
    const std::filesystem::path backup = simdev::writeBackup(tmp / "phone", tmp / "backups").folder;
    std::string edge;  // as many names as the readers take
    for (std::size_t i = 1; i < kMaxPathComponents; ++i) {
        edge += "d/";
    }
    // Rows as a device could send them: a file and a folder nested too deep, a path too long.
    const struct {
        std::string path;
        int flags;
        bool kept;
    } rows[] = {{"d/" + edge + "deep.txt", 1, false},
                {edge + "d/d", 2, false},
                {std::string(kMaxPathBytes + 1, 'x'), 1, false},
                {edge + "edge.txt", 1, true}};
    {
        auto db = SqliteDb::open((backup / "Manifest.db").string(), SqliteDb::Mode::ReadWrite);
        ASSERT_TRUE(db);
        SqliteStatement insert = db->prepare(
            "INSERT INTO Files (fileID, domain, relativePath, "
            "flags) VALUES (?, 'HomeDomain', ?, ?)");
        for (const auto& row : rows) {
            const std::string key = fileKey("HomeDomain", row.path);
            ASSERT_TRUE(insert.bind(1, key) && insert.bind(2, row.path) &&
                        insert.bind(3, std::int64_t{row.flags}));
            insert.step();
            ASSERT_TRUE(insert.done()) << db->lastError();
            insert.reset();
            test::writeText(backup / key.substr(0, 2) / key, "stored");
        }
    }

    const UnreadableEntries taken = leaveOutUnreadableEntries(backup);
    ASSERT_TRUE(taken.ok()) << taken.error;
    EXPECT_EQ(taken.files, (std::vector<std::string>{"HomeDomain/" + rows[0].path,
                                                     "HomeDomain/" + rows[2].path}));
    const BackupManifest manifest = BackupManifest::read(backup.string());
    EXPECT_TRUE(manifest.ok()) << manifest.error;
    EXPECT_FALSE(manifest.storedPathOf(backup.string(), "Library/kept.txt").empty());
    for (const auto& row : rows) {
        const std::string key = fileKey("HomeDomain", row.path);
        EXPECT_EQ(std::filesystem::exists(backup / key.substr(0, 2) / key), row.kept);
    }
}

}  // namespace
}  // namespace nimbara::backup
