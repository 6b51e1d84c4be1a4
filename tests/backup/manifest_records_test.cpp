// The records a manifest pass hands on: small (sharing their domain, folder and backup folder),
// yet each with its own path, stored path, kind, and whether its stored file is there with its
// size; and a pass that stops does so at the row it was asked to.
#include "backup/backup_file_tree.h"
#include "backup/manifest_pass.h"
#include "backup/shah.h"
#include "backup/sqlite_db.h"
#include "platform/notification_center.h"
#include "platform/plist_value.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace nimbara::backup;
using nimbara::test::TempDir;
using nimbara::test::writeText;

struct Row {
    std::string domain{};
    std::string path{};
    int flags = 1;
    std::int64_t listedSize = 0;  // 0: the description gives none
    std::string key{};            // empty: the key of domain and path
};

QByteArray describe(std::int64_t size) {
    nimbara::PlistValue description = nimbara::PlistValue::dict();
    if (size > 0) {
        description.set("Size", size);
    }
    description.set("Mode", 0100644);
    nimbara::PlistValue objects = nimbara::PlistValue::array();
    objects.append("$null");
    objects.append(description);
    nimbara::PlistValue archive = nimbara::PlistValue::dict();
    archive.set("$objects", objects);
    const auto bytes = archive.toBinary();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

std::string keyOf(const Row& row) {
    return row.key.empty() ? fileKey(row.domain, row.path) : row.key;
}

void writeManifestDb(const fs::path& file, const std::vector<Row>& rows) {
    auto db = nimbara::SqliteDb::open(file.string(), nimbara::SqliteDb::Mode::ReadWriteCreate);
    ASSERT_TRUE(db);
    ASSERT_TRUE(
        db->exec("CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, "
                 "relativePath TEXT, flags INTEGER, file BLOB); BEGIN"));
    auto insert = db->prepare("INSERT INTO Files VALUES (?, ?, ?, ?, ?)");
    for (const Row& row : rows) {
        insert.reset();
        insert.bind(1, keyOf(row));
        insert.bind(2, row.domain);
        insert.bind(3, row.path);
        insert.bind(4, std::int64_t{row.flags});
        insert.bind(5, describe(row.listedSize));
        ASSERT_FALSE(insert.step());
        ASSERT_TRUE(insert.done()) << db->lastError();
    }
    ASSERT_TRUE(db->exec("COMMIT"));
}

fs::path storedAt(const fs::path& backup, const std::string& key) {
    fs::create_directories(backup / key.substr(0, 2));
    return backup / key.substr(0, 2) / key;
}

struct Entries {
    std::vector<std::shared_ptr<PRTreeDirNode>> all;
    nimbara::ObserverBag bag;
    explicit Entries(nimbara::NotificationCenter& center) {
        bag.add(center.addObserver(kFindBackupFileNotification, [this](const auto& n) {
            all.push_back(n.template objectAs<std::shared_ptr<PRTreeDirNode>>());
        }));
    }
};

}  // namespace

TEST(ManifestRecordsTest, EachRecordKeepsItsOwnPathKeyAndStoredFile) {
    TempDir outside;
    writeText(outside / "big", std::string(5000, 'x'));
    TempDir backup;
    const std::string upper = "ABCDEF0123456789ABCDEF0123456789ABCDEF01";
    // Rows of two domains and several folders, interleaved, as a real list may give them.
    const std::vector<Row> rows = {
        {"HomeDomain", "Library/SMS/sms.db", 1, 4242},
        {"CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG", 1, 0},  // size from the file
        {"HomeDomain", "Library/SMS/Attachments/a.jpg", 1, 10},          // listed, not stored
        {"HomeDomain", "Library/SMS/sms.db-wal", 1, 3},
        {"CameraRollDomain", "Media/DCIM/100APPLE", 2, 0},               // a folder
        {"CameraRollDomain", "Media/DCIM/100APPLE/IMG_0002.JPG", 1, 0},  // a link: not stored
        {"HomeDomain", "top.plist", 1, 0},
        {"HomeDomain", "/rooted", 1, 0},
        {"HomeDomain", std::string("Library/caf\xe9.txt"), 1, 0},  // not UTF-8
        {"HomeDomain", "Library/SMS/upper.db", 1, 0, upper},       // an upper-case key
        {"MediaDomain", "Library/SMS/sms.db", 1, 0},  // the same folder in another domain
        {"HomeDomain", "Library/a.plist", 1, 7},      // a folder where its stored file should be
    };
    writeManifestDb(backup / "Manifest.db", rows);
    writeText(storedAt(backup.path(), keyOf(rows[0])), std::string(4242, 's'));
    writeText(storedAt(backup.path(), keyOf(rows[1])), std::string(1234, 'p'));
    writeText(storedAt(backup.path(), keyOf(rows[3])), "wal");
    fs::create_symlink(outside / "big", storedAt(backup.path(), keyOf(rows[5])));
    writeText(storedAt(backup.path(), keyOf(rows[6])), "plist");
    writeText(storedAt(backup.path(), upper), "upper!");
    fs::create_directories(storedAt(backup.path(), keyOf(rows[11])));

    nimbara::NotificationCenter center;
    Entries seen(center);
    const ManifestPassResult r = runManifestPass(QString::fromStdString(backup.str()), center);
    ASSERT_TRUE(r.error.empty()) << r.error;
    ASSERT_EQ(seen.all.size(), rows.size());

    struct Expected {
        bool stored;
        std::uint64_t size;
        PRTreeDirNode::EntryKind kind;
    };
    using Kind = PRTreeDirNode::EntryKind;
    const Expected expected[] = {
        {true, 4242, Kind::File}, {true, 1234, Kind::File}, {false, 0, Kind::File},
        {true, 3, Kind::File},    {false, 0, Kind::Folder}, {false, 0, Kind::File},
        {true, 5, Kind::File},    {false, 0, Kind::File},   {false, 0, Kind::File},
        {true, 6, Kind::File},    {false, 0, Kind::File},   {false, 0, Kind::File}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& record = *seen.all[i];
        const std::string shown =
            QString::fromUtf8(rows[i].path.data(), static_cast<qsizetype>(rows[i].path.size()))
                .toStdString();
        EXPECT_EQ(record.fileDomain(), QString::fromStdString(rows[i].domain)) << i;
        EXPECT_EQ(record.filePath().toStdString(), shown) << i;
        EXPECT_EQ(record.filePathUtf8(), shown) << i;
        EXPECT_TRUE(record.hasFilePath(shown)) << i;
        EXPECT_FALSE(record.hasFilePath(shown + "x")) << i;
        const std::string key = keyOf(rows[i]);
        EXPECT_EQ(record.fileKey().toStdString(), (backup.path() / key.substr(0, 2) / key).string())
            << i;
        EXPECT_TRUE(record.storedFileKnown()) << i;
        EXPECT_EQ(record.isStored(), expected[i].stored) << i;
        EXPECT_EQ(record.storedSize(), expected[i].size) << i;
        EXPECT_EQ(record.entryKind(), expected[i].kind) << i;
    }
    EXPECT_EQ(seen.all[8]->filePath(), QString::fromUtf8("Library/caf\xEF\xBF\xBD.txt"));

    // The outline shows the same: files with their sizes, whether they are stored, and where.
    PRTreeController tree;
    tree.setDeviceName("Phone");
    for (const auto& record : seen.all) {
        tree.addTreeNode(record);
    }
    std::map<std::string, std::shared_ptr<PRTreeFileNode>> files;
    std::vector<std::shared_ptr<PRTreeDirNode>> pending(tree.content().begin(),
                                                        tree.content().end());
    while (!pending.empty()) {
        const auto folder = pending.back();
        pending.pop_back();
        for (const auto& file : folder->fileChildren()) {
            files[file->dirFilePath().toStdString()] = file;
        }
        pending.insert(pending.end(), folder->children().begin(), folder->children().end());
    }
    const auto& sms = files.at("HomeDomain/Library/SMS/sms.db");
    EXPECT_TRUE(sms->isFile());
    EXPECT_EQ(sms->realFileSize(), 4242u);
    EXPECT_EQ(sms->treefileName(), "sms.db");
    EXPECT_EQ(sms->treefileType(), "db");
    EXPECT_EQ(sms->filePath(), seen.all[0]->fileKey());
    EXPECT_FALSE(sms->fileSize().isEmpty());
    EXPECT_EQ(files.at("CameraRollDomain/Media/DCIM/100APPLE/IMG_0001.JPG")->realFileSize(), 1234u);
    EXPECT_FALSE(files.at("HomeDomain/Library/SMS/Attachments/a.jpg")->isFile());
    EXPECT_FALSE(files.at("CameraRollDomain/Media/DCIM/100APPLE/IMG_0002.JPG")->isFile());
    EXPECT_EQ(files.at("HomeDomain/top.plist")->realFileSize(), 5u);
    EXPECT_EQ(files.at("HomeDomain/Library/SMS/upper.db")->realFileSize(), 6u);
    EXPECT_EQ(files.count("CameraRollDomain/Media/DCIM/100APPLE"), 0u) << "a folder as a file";
    EXPECT_EQ(files.size(), rows.size() - 1);
}

TEST(ManifestRecordsTest, AStopMidPassEndsAtTheRowItWasAskedAt) {
    TempDir backup;
    std::vector<Row> rows;
    for (int i = 0; i < 3000; ++i) {
        rows.push_back({i % 2 == 0 ? "CameraRollDomain" : "HomeDomain",
                        "Media/f" + std::to_string(i / 100) + "/x" + std::to_string(i) + ".dat", 1,
                        10});
    }
    writeManifestDb(backup / "Manifest.db", rows);

    for (const std::size_t stopAt : {std::size_t{1}, std::size_t{1500}, std::size_t{2999}}) {
        nimbara::NotificationCenter center;
        Entries seen(center);
        const ManifestPassResult r = runManifestPass(
            QString::fromStdString(backup.str()), center,
            {.stopRequested = [&] { return seen.all.size() >= stopAt; }, .postProgress = {}});
        EXPECT_TRUE(r.stopped) << stopAt;
        EXPECT_TRUE(r.error.empty()) << r.error;
        // Every row was handed on as it was read, and none after the stop.
        EXPECT_EQ(seen.all.size(), stopAt);
        EXPECT_LE(r.treeFileArray.size(), stopAt);
        EXPECT_LE(r.listedFileKeys.size(), stopAt);
        for (std::size_t i = 0; i < seen.all.size(); ++i) {
            ASSERT_EQ(seen.all[i]->filePathUtf8(), rows[i].path);
        }
    }
}
