#include "backup/manifest_db.h"
#include "backup/backup_manifest.h"
#include "backup/manifest_mbdb.h"
#include "backup/shah.h"
#include "backup/sqlite_db.h"
#include "platform/plist_value.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace nimbara::backup;
namespace fs = std::filesystem;
using nimbara::SqliteDb;

namespace {

const std::string kSmsKey = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";

// The archived description of an entry: its size and mode in the second object.
QByteArray describe(std::int64_t size, int mode) {
    nimbara::PlistValue archive = nimbara::PlistValue::dict();
    nimbara::PlistValue objects = nimbara::PlistValue::array();
    objects.append("$null");
    nimbara::PlistValue description = nimbara::PlistValue::dict();
    description.set("Size", size);
    description.set("Mode", mode);
    objects.append(description);
    archive.set("$objects", objects);
    const auto binary = archive.toBinary();
    return QByteArray(reinterpret_cast<const char*>(binary.data()),
                      static_cast<qsizetype>(binary.size()));
}

using AddRow = std::function<void(const std::string& id, const char* domain,
                                  const std::string& path, int flags, const QByteArray& file)>;

// An empty Manifest.db; `rows` adds the rows.
void writeRows(const fs::path& file, const std::function<void(const AddRow&)>& rows) {
    auto db = SqliteDb::open(file.string(), SqliteDb::Mode::ReadWriteCreate);
    ASSERT_TRUE(db);
    ASSERT_TRUE(
        db->exec("CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, "
                 "flags INTEGER, file BLOB)"));
    auto insert = db->prepare("INSERT INTO Files VALUES (?, ?, ?, ?, ?)");
    ASSERT_TRUE(insert.valid());
    rows([&](const std::string& id, const char* domain, const std::string& path, int flags,
             const QByteArray& file) {
        insert.reset();
        insert.bind(1, id);
        if (domain != nullptr) {
            insert.bind(2, std::string(domain));
        } else {
            insert.bindNull(2);
        }
        insert.bind(3, path);
        insert.bind(4, std::int64_t{flags});
        if (file.isNull()) {
            insert.bindNull(5);
        } else {
            insert.bind(5, file);
        }
        EXPECT_FALSE(insert.step());
        EXPECT_TRUE(insert.done());
    });
}

// Writes a Manifest.db with the rows a device writes, plus damaged ones that must be skipped.
void writeManifestDb(const fs::path& file) {
    writeRows(file, [](const AddRow& add) {
        const QByteArray none;
        add(kSmsKey, "HomeDomain", "Library/SMS/sms.db", 1, describe(4242, 0100644));
        add(fileKey("HomeDomain", "Library/SMS"), "HomeDomain", "Library/SMS", 2, none);
        add(fileKey("x", "no domain"), nullptr, "no domain", 1, none);
        add(fileKey("x", "empty domain"), "", "empty domain", 1, none);
        add(fileKey("HomeDomain", "garbage"), "HomeDomain", "garbage", 1, QByteArray("bplist00xx"));
        add("../../../etc/passwd", "HomeDomain", "hostile", 1, none);
        add("ab", "HomeDomain", "short", 1, none);
    });
}

}  // namespace

TEST(ManifestDbTest, ReadsRowsAndSkipsUnusableOnes) {
    nimbara::test::TempDir dir;
    const fs::path file = dir / "Manifest.db";
    writeManifestDb(file);
    const auto before = fs::last_write_time(file);

    const ManifestDbReadResult r = readManifestDb(file.string());
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.entries.size(), 3u);
    EXPECT_EQ(r.entries[0].fileKey, kSmsKey);
    EXPECT_EQ(r.entries[0].size, 4242u);
    EXPECT_EQ(r.entries[0].mode, 0100644u);
    EXPECT_EQ(r.entries[2].size, 0u);  // a malformed description
    EXPECT_EQ(r.entries[2].relativePath, "garbage");
    EXPECT_EQ(r.entries[0].domain, "HomeDomain");
    EXPECT_EQ(r.entries[0].relativePath, "Library/SMS/sms.db");
    EXPECT_FALSE(r.entries[0].isDirectory);
    EXPECT_TRUE(r.entries[1].isDirectory);

    // reading leaves the backup as it was: no journal or lock files, same file
    EXPECT_EQ(fs::last_write_time(file), before);
    EXPECT_FALSE(fs::exists(dir / "Manifest.db-wal"));
    EXPECT_FALSE(fs::exists(dir / "Manifest.db-journal"));
    EXPECT_FALSE(fs::exists(dir / "Manifest.db-shm"));
}

// Keys are told by every one of their 40 characters, the ones next to the digit and letter
// ranges included.
TEST(ManifestDbTest, FileKeysAreFortyHexDigitsAndLowerCaseOnesNameTheirFiles) {
    const std::string lower = "0123456789abcdef0123456789abcdef01234567";
    struct Case {
        std::string key;
        bool valid;
        bool lowerCase;
    };
    std::vector<Case> cases = {{lower, true, true},
                               {"ABCDEF0123456789ABCDEF0123456789ABCDEF01", true, false},
                               {lower.substr(0, 39) + "F", true, false},
                               {lower.substr(0, 39), false, false},
                               {lower + "0", false, false},
                               {"", false, false}};
    for (const char odd : {'/', ':', '`', 'g', '@', 'G', ' ', '\0', '\x80', '\xe6'}) {
        for (const std::size_t at : {std::size_t{0}, std::size_t{17}, std::size_t{39}}) {
            std::string key = lower;
            key[at] = odd;
            cases.push_back({key, false, false});
        }
    }
    for (const Case& c : cases) {
        EXPECT_EQ(isValidFileKey(c.key), c.valid) << c.key;
        EXPECT_EQ(isLowerCaseFileKey(c.key), c.lowerCase) << c.key;
    }
}

TEST(ManifestDbTest, FoldersAndLinksAreToldFromFilesByFlagsOrElseByMode) {
    nimbara::test::TempDir dir;
    const fs::path file = dir / "Manifest.db";
    const char* const paths[] = {"file",           "folder",       "link",
                                 "folder by mode", "link by mode", "unknown"};
    writeRows(file, [&paths](const AddRow& add) {
        const std::string domain = "CameraRollDomain";
        auto row = [&](int i, int flags, const QByteArray& description) {
            add(fileKey(domain, paths[i]), domain.c_str(), paths[i], flags, description);
        };
        // A thumbnail folder named like a picture says so in its flags, whatever its mode.
        row(0, 1, describe(10, 0100644));
        row(1, 2, describe(0, 0100644));
        row(2, 4, describe(0, 0120755));
        // Flags the reader does not know: the mode decides, and without one it is a file.
        row(3, 0, describe(0, 040755));
        row(4, 8, describe(0, 0120755));
        row(5, 0, QByteArray());
    });
    const ManifestDbReadResult r = readManifestDb(file.string());
    ASSERT_TRUE(r.ok()) << r.error;
    ASSERT_EQ(r.entries.size(), 6u);
    const bool folder[] = {false, true, false, true, false, false};
    const bool link[] = {false, false, true, false, true, false};
    for (std::size_t i = 0; i < r.entries.size(); ++i) {
        EXPECT_EQ(r.entries[i].relativePath, paths[i]);
        EXPECT_EQ(r.entries[i].isDirectory, folder[i]) << paths[i];
        EXPECT_EQ(r.entries[i].isLink, link[i]) << paths[i];
        EXPECT_EQ(r.entries[i].isFile(), !folder[i] && !link[i]) << paths[i];
    }
}

TEST(ManifestDbTest, MissingOrDamagedDatabasesGiveErrors) {
    nimbara::test::TempDir dir;
    EXPECT_FALSE(readManifestDb((dir / "Manifest.db").string()).ok());

    nimbara::test::writeText(dir / "garbage.db", std::string(4096, 'x'));
    const ManifestDbReadResult garbage = readManifestDb((dir / "garbage.db").string());
    EXPECT_FALSE(garbage.ok());
    EXPECT_TRUE(garbage.entries.empty());

    // a real database without the Files table
    {
        auto db = SqliteDb::open((dir / "other.db").string(), SqliteDb::Mode::ReadWriteCreate);
        ASSERT_TRUE(db);
        ASSERT_TRUE(db->exec("CREATE TABLE Other (x INTEGER)"));
    }
    EXPECT_FALSE(readManifestDb((dir / "other.db").string()).ok());
}

TEST(BackupManifestTest, LayoutComesFromTheBackupItself) {
    nimbara::test::TempDir modern;
    writeManifestDb(modern / "Manifest.db");
    fs::create_directories(modern / "3d");
    nimbara::test::writeText(modern / "3d" / kSmsKey, "0123456789");
    const BackupManifest m = BackupManifest::read(modern.str());
    ASSERT_TRUE(m.ok()) << m.error;
    EXPECT_EQ(m.kind, ManifestKind::Db);
    EXPECT_EQ(m.layout, BackupLayout::Sharded);
    ASSERT_EQ(m.entries.size(), 3u);
    EXPECT_EQ(m.entries[0].size, 4242u);  // as listed
    fs::create_directories(modern / fileKey("HomeDomain", "garbage").substr(0, 2));
    nimbara::test::writeText(
        modern / fileKey("HomeDomain", "garbage").substr(0, 2) / fileKey("HomeDomain", "garbage"),
        "0123456789");
    EXPECT_EQ(BackupManifest::read(modern.str()).entries[2].size, 10u);  // listed without one
    EXPECT_EQ(m.storedPathOf(modern.str(), "Library/SMS/sms.db"),
              (modern / "3d" / kSmsKey).string());
    EXPECT_EQ(m.storedPathOf(modern.str(), "nothing"), "");

    // an old backup: flat files; a later entry with the same path wins the look-up
    nimbara::test::TempDir old;
    MbdbRecord sms;
    sms.domain = "HomeDomain";
    sms.path = "Library/SMS/sms.db";
    sms.size = 77;
    MbdbRecord media = sms;
    media.domain = "MediaDomain";
    nimbara::test::writeText(old / "Manifest.mbdb", writeMbdb({sms, media}));
    const BackupManifest o = BackupManifest::read(old.str());
    ASSERT_TRUE(o.ok()) << o.error;
    EXPECT_EQ(o.kind, ManifestKind::Mbdb);
    EXPECT_EQ(o.layout, BackupLayout::Flat);
    ASSERT_EQ(o.entries.size(), 2u);
    EXPECT_EQ(o.entries[0].fileKey, kSmsKey);
    EXPECT_EQ(o.entries[0].size, 77u);
    EXPECT_EQ(o.storedPathOf(old.str(), "Library/SMS/sms.db"),
              (old / fileKey("MediaDomain", "Library/SMS/sms.db")).string());

    // both lists present: the database is the current one
    nimbara::test::writeText(modern / "Manifest.mbdb", writeMbdb({sms}));
    EXPECT_EQ(detectManifestKind(modern.str()), ManifestKind::Db);

    // neither, or a damaged one: a clear error
    nimbara::test::TempDir none;
    EXPECT_EQ(BackupManifest::read(none.str()).kind, ManifestKind::None);
    EXPECT_FALSE(BackupManifest::read(none.str()).ok());
    nimbara::test::writeText(none / "Manifest.mbdb", "not a manifest");
    const BackupManifest bad = BackupManifest::read(none.str());
    EXPECT_EQ(bad.kind, ManifestKind::Mbdb);
    EXPECT_FALSE(bad.ok());
    EXPECT_TRUE(bad.entries.empty());
}

TEST(BackupManifestTest, StoredPathsStayInsideTheBackup) {
    EXPECT_EQ(storedFilePath("/b", kSmsKey, BackupLayout::Flat), "/b/" + kSmsKey);
    EXPECT_EQ(storedFilePath("/b", kSmsKey, BackupLayout::Sharded), "/b/3d/" + kSmsKey);
    EXPECT_EQ(storedFilePath("/b", "../../etc/passwd", BackupLayout::Flat), "");
    EXPECT_EQ(storedFilePath("/b", "ab", BackupLayout::Sharded), "");
    EXPECT_EQ(storedFilePath("/b", std::string(39, 'a') + "/", BackupLayout::Flat), "");
    EXPECT_EQ(storedFilePath("", kSmsKey, BackupLayout::Flat), "");
}
