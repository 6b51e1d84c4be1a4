// Backups made to hurt the reader: views that never end in place of the tables it reads, paths
// deeper than any device writes, and links that lead out of the backup. Each must end by itself
// as damage (or as nothing found), quickly, and nothing outside the backup may be read.
#include <gtest/gtest.h>

#include <QString>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "address_book_fixture.h"
#include "backup/backup_manifest.h"
#include "backup/backup_scan.h"
#include "backup/backup_scan_readers.h"
#include "backup/contact_reader.h"
#include "backup/manifest_db.h"
#include "backup/manifest_mbdb.h"
#include "backup/manifest_pass.h"
#include "backup/pr_photo_and_video_node.h"
#include "backup/shah.h"
#include "backup/sqlite_db.h"
#include "platform/notification_center.h"
#include "scan_posts.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::backup;
using nimbara::NotificationCenter;
using nimbara::SqliteDb;
using nimbara::test::AddressBookFixture;
using nimbara::test::resultOf;
using nimbara::test::ScanPosts;
using nimbara::test::SqlFixture;
using nimbara::test::TempDir;
using nimbara::test::writeText;
using Outcome = ScanStepOutcome;

// The rows of this view never end; each has the columns the file-list reader selects.
const char* const kEndlessFilesView =
    "CREATE VIEW Files AS WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) "
    "SELECT printf('%040x', x) AS fileID, 'HomeDomain' AS domain, 'f' || x AS relativePath, "
    "1 AS flags, NULL AS file FROM r";
// The same for the person table of an address book.
const char* const kEndlessPersonView =
    "CREATE VIEW ABPerson AS WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) "
    "SELECT x AS ROWID, 'Endless' || x AS First, NULL AS Department, NULL AS DisplayName, "
    "NULL AS FirstPhonetic, NULL AS JobTitle, NULL AS Organization, NULL AS Middle, "
    "NULL AS MiddlePhonetic, NULL AS CreationDate, NULL AS Last, NULL AS Note, NULL AS Nickname, "
    "NULL AS Prefix, NULL AS Suffix, NULL AS Birthday FROM r";

MbdbRecord fileRecord(const std::string& domain, const std::string& path) {
    MbdbRecord r;
    r.domain = domain;
    r.path = path;
    r.mode = 0100644;
    return r;
}

// A Manifest.db whose Files table holds the given (domain, path) file rows.
void writeFilesTable(const fs::path& file,
                     const std::vector<std::pair<std::string, std::string>>& rows) {
    SqlFixture db(file);
    db.exec(
        "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, "
        "flags INTEGER, file BLOB)");
    for (const auto& [domain, path] : rows) {
        nimbara::SqliteStatement insert =
            db.db().prepare("INSERT INTO Files VALUES (?1, ?2, ?3, 1, NULL)");
        insert.bind(1, fileKey(domain, path));
        insert.bind(2, domain);
        insert.bind(3, path);
        ASSERT_FALSE(insert.step());
        ASSERT_TRUE(insert.done());
    }
}

std::string deepPath(int levels) {
    std::string path;
    for (int i = 0; i < levels; ++i) {
        path += "d/";
    }
    return path + "leaf.jpg";
}

QString q(const fs::path& path) {
    return QString::fromStdString(path.string());
}

// A legacy backup (flat files, Manifest.mbdb listing the address book) holding `addressBook`.
void writeFlatBackupWithAddressBook(const fs::path& folder, const fs::path& addressBook) {
    fs::create_directories(folder);
    writeText(folder / "Manifest.mbdb",
              writeMbdb({fileRecord("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb")}));
    fs::copy_file(addressBook, folder / kAddressBookKey);
}

}  // namespace

// --- views that never end ------------------------------------------------------------------

TEST(HostileBackupTest, AViewInPlaceOfTheFileTableIsDamageNotAnEndlessRead) {
    TempDir dir;
    {
        SqlFixture db(dir / "Manifest.db");
        db.exec(kEndlessFilesView);
    }
    const ManifestDbReadResult endless = readManifestDb((dir / "Manifest.db").string());
    EXPECT_FALSE(endless.ok());
    EXPECT_NE(endless.error.find("not a table"), std::string::npos) << endless.error;
    EXPECT_TRUE(endless.entries.empty());

    // A view that would end is no table either.
    TempDir small;
    {
        SqlFixture db(small / "Manifest.db");
        db.exec(
            "CREATE VIEW Files AS SELECT printf('%040x', 1) AS fileID, 'HomeDomain' AS domain, "
            "'a' AS relativePath, 1 AS flags, NULL AS file");
    }
    EXPECT_FALSE(readManifestDb((small / "Manifest.db").string()).ok());
}

TEST(HostileBackupTest, ViewsInPlaceOfAddressBookTablesAreDamage) {
    TempDir dir;
    {
        SqlFixture db(dir / "person.db");
        db.exec(kEndlessPersonView);
    }
    const ContactReadResult person = readContacts((dir / "person.db").string(), "");
    EXPECT_FALSE(person.ok);
    EXPECT_NE(person.error.find("not a table"), std::string::npos) << person.error;
    EXPECT_TRUE(person.contacts.empty());

    // An endless multi-value view beside a real person table.
    {
        AddressBookFixture ab(dir / "multi.db", /*withMultiValues=*/false);
        ab.addPerson({.rowid = 1, .first = "Ann"});
        ab.exec(
            "CREATE VIEW ABMultiValue AS WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
            "FROM r) SELECT x AS UID, 1 AS record_id, 3 AS property, 1 AS label, 'n' AS value "
            "FROM r");
    }
    const ContactReadResult multi = readContacts((dir / "multi.db").string(), "");
    EXPECT_FALSE(multi.ok);
    EXPECT_NE(multi.error.find("ABMultiValue"), std::string::npos) << multi.error;

    // An endless picture view: the contacts are read, the pictures reported.
    {
        AddressBookFixture ab(dir / "book.db");
        ab.addPerson({.rowid = 1, .first = "Ann"});
        SqlFixture images(dir / "images.db");
        images.exec(
            "CREATE VIEW ABFullSizeImage AS WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT "
            "x + 1 FROM r) SELECT x AS record_id, zeroblob(1000) AS data FROM r");
    }
    const ContactReadResult pictures =
        readContacts((dir / "book.db").string(), (dir / "images.db").string());
    EXPECT_TRUE(pictures.ok) << pictures.error;
    ASSERT_EQ(pictures.contacts.size(), 1u);
    EXPECT_TRUE(pictures.imagesFound);
    EXPECT_NE(pictures.imageError.find("not a table"), std::string::npos) << pictures.imageError;
}

TEST(HostileBackupTest, AScanOfEitherEndlessViewBackupEndsByItselfAsDamage) {
    TempDir dir;
    // A current backup whose Files table is an endless view.
    const fs::path files = dir / "files-view";
    fs::create_directories(files);
    {
        SqlFixture db(files / "Manifest.db");
        db.exec(kEndlessFilesView);
    }
    // An old backup whose address book has an endless ABPerson view.
    {
        SqlFixture db(dir / "person.db");
        db.exec(kEndlessPersonView);
    }
    const fs::path person = dir / "person-view";
    writeFlatBackupWithAddressBook(person, dir / "person.db");

    for (const auto& [folder, failing] :
         {std::pair{files, ScanStepKind::Manifest}, std::pair{person, ScanStepKind::Contacts}}) {
        NotificationCenter center;
        ScanPosts posts(center);
        const BackupScanSummary summary =
            nimbara::test::runWiredScan(folder, center, std::make_shared<BackupScanRecords>());
        EXPECT_FALSE(summary.stopped);
        const ScanStepResult step = resultOf(summary, failing);
        EXPECT_EQ(step.outcome, Outcome::Failed) << folder;
        EXPECT_FALSE(step.message.isEmpty());
        EXPECT_TRUE(posts.contacts.empty()) << folder;
        EXPECT_TRUE(posts.entries.size() <= 1u) << folder;
    }
}

// --- stopping ------------------------------------------------------------------------------

TEST(HostileBackupTest, TheContactStepEndsAtAStopBetweenContactsAndInsideItsQuery) {
    TempDir dir;
    {
        AddressBookFixture ab(dir / "book.db");
        ab.exec("BEGIN");
        for (int i = 1; i <= 300; ++i) {
            ab.addPerson({.rowid = i, .first = "Person"});
            ab.addValue(i, 3, "555");
        }
        ab.exec("COMMIT");
    }
    const fs::path folder = dir / "backup";
    writeFlatBackupWithAddressBook(folder, dir / "book.db");

    // A stop asked for when the first contact arrives ends the step: no more contacts follow.
    {
        NotificationCenter center;
        nimbara::backup::BackupScan scan(&center);
        int contacts = 0;
        nimbara::ObserverToken token =
            center.addObserver(kScanContactInfo, [&](const nimbara::Notification&) {
                ++contacts;
                scan.requestStop();
            });
        ASSERT_TRUE(scan.start(q(folder), wiredBackupScanPlan(nullptr)));
        scan.wait();
        EXPECT_EQ(contacts, 1);
        EXPECT_TRUE(scan.lastSummary().stopped);
        EXPECT_EQ(resultOf(scan.lastSummary(), ScanStepKind::Contacts).outcome, Outcome::Stopped);
    }
    // A stop that is already set when the person query runs ends it before any contact.
    {
        NotificationCenter center;
        ScanPosts posts(center);
        int looks = 0;
        const ContactReadResult r =
            scanContactThread(folder.string(), &center, [&looks] { return ++looks > 0; });
        EXPECT_TRUE(r.stopped);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(posts.contacts.empty());
        EXPECT_TRUE(posts.progress.empty()) << "a stopped reader posts no end value";
    }
}

TEST(HostileBackupTest, AStopEndsTheFileListBetweenRowsOfEitherKind) {
    TempDir db;
    writeFilesTable(db / "Manifest.db", {{"HomeDomain", "a"}, {"HomeDomain", "b"}});
    TempDir mbdb;
    writeText(mbdb / "Manifest.mbdb",
              writeMbdb({fileRecord("HomeDomain", "a"), fileRecord("HomeDomain", "b")}));
    for (const TempDir* backup : {&db, &mbdb}) {
        NotificationCenter center;
        ScanPosts posts(center);
        const ManifestPassResult r = runManifestPass(
            q(backup->path()), center,
            {.stopRequested = [&] { return !posts.entries.empty(); }, .postProgress = {}});
        EXPECT_TRUE(r.stopped);
        EXPECT_TRUE(r.error.empty()) << r.error;
        EXPECT_EQ(posts.entries.size(), 1u);
    }
}

// --- paths deeper than any device writes ---------------------------------------------------

TEST(HostileBackupTest, APathTooDeepOrTooLongIsRefusedAndReportedAsDamage) {
    const std::string legal = deepPath(199);     // 200 names
    const std::string tooDeep = deepPath(300);   // 301 names in 605 bytes
    const std::string huge = deepPath(100'000);  // 200 KB, 100,001 names
    const std::string tooLong(kMaxPathBytes + 1, 'x');

    // Manifest.mbdb cannot hold a text of 200 KB; Manifest.db can.
    TempDir mbdb;
    writeText(
        mbdb / "Manifest.mbdb",
        writeMbdb({fileRecord("CameraRollDomain", legal), fileRecord("CameraRollDomain", tooDeep),
                   fileRecord("HomeDomain", tooLong), fileRecord("HomeDomain", "ok")}));
    TempDir db;
    writeFilesTable(db / "Manifest.db", {{"CameraRollDomain", legal},
                                         {"CameraRollDomain", tooDeep},
                                         {"CameraRollDomain", huge},
                                         {"HomeDomain", tooLong},
                                         {"HomeDomain", "ok"}});
    for (const auto& [backup, refused] : {std::pair{&mbdb, 2u}, std::pair{&db, 3u}}) {
        NotificationCenter center;
        ScanPosts posts(center);
        const ManifestPassResult r = runManifestPass(q(backup->path()), center);
        EXPECT_EQ(r.refusedPaths, refused);
        ASSERT_EQ(posts.entries.size(), 2u);
        EXPECT_EQ(posts.entries[0]->filePath(), QString::fromStdString(legal));
        EXPECT_EQ(posts.entries[1]->filePath(), QStringLiteral("ok"));

        // The scan says the list is damaged, in plain words.
        NotificationCenter scanCenter;
        const BackupScanSummary summary = nimbara::test::runWiredScan(
            backup->path(), scanCenter, std::make_shared<BackupScanRecords>());
        const ScanStepResult manifest = resultOf(summary, ScanStepKind::Manifest);
        EXPECT_EQ(manifest.outcome, Outcome::Failed);
        EXPECT_TRUE(manifest.message.contains(QStringLiteral("damaged")))
            << manifest.message.toStdString();
    }
    // The whole list, read at once, reports the damage too.
    const BackupManifest whole = BackupManifest::read(db.str());
    EXPECT_FALSE(whole.ok());
    EXPECT_EQ(whole.refusedPaths, 3u);
    EXPECT_EQ(whole.entries.size(), 2u);
}

// --- links out of the backup ---------------------------------------------------------------

TEST(HostileBackupTest, AShardFolderLinkedOutOfTheBackupIsNotFollowed) {
    TempDir outside;
    {
        AddressBookFixture ab(outside / "book.db");
        ab.addPerson({.rowid = 1, .first = "Mallory", .last = "Outside"});
    }
    const fs::path shard = outside / "shard";
    fs::create_directories(shard);
    fs::copy_file(outside / "book.db", shard / kAddressBookKey);

    TempDir backup;
    writeFilesTable(backup / "Manifest.db",
                    {{"HomeDomain", "Library/AddressBook/AddressBook.sqlitedb"}});
    fs::create_directory_symlink(shard, backup / std::string(kAddressBookKey).substr(0, 2));

    EXPECT_EQ(backupFilePath(backup.str(), kAddressBookKey), "");
    NotificationCenter center;
    ScanPosts posts(center);
    const BackupScanSummary summary =
        nimbara::test::runWiredScan(backup.path(), center, std::make_shared<BackupScanRecords>());
    EXPECT_TRUE(posts.contacts.empty()) << "a contact from outside the backup was read";
    // The address book is listed but not held inside the backup: incomplete, not damaged.
    const ScanStepResult contacts = resultOf(summary, ScanStepKind::Contacts);
    EXPECT_EQ(contacts.outcome, Outcome::Done);
    EXPECT_TRUE(contacts.incomplete);
}

TEST(HostileBackupTest, ManifestsThatAreLinksAreNotRead) {
    TempDir outside;
    writeFilesTable(outside / "Manifest.db", {{"HomeDomain", "outside-db"}});
    writeText(outside / "Manifest.mbdb", writeMbdb({fileRecord("HomeDomain", "outside-mbdb")}));
    for (const char* name : {"Manifest.db", "Manifest.mbdb"}) {
        TempDir backup;
        fs::create_symlink(outside / name, backup / name);
        EXPECT_EQ(detectManifestKind(backup.str()), ManifestKind::None) << name;
        NotificationCenter center;
        ScanPosts posts(center);
        const ManifestPassResult r = runManifestPass(q(backup.path()), center);
        EXPECT_EQ(r.kind, ManifestKind::None) << name;
        EXPECT_TRUE(posts.entries.empty()) << name;
    }
    // A real list beside a linked one is read, the linked one is not.
    TempDir mixed;
    fs::create_symlink(outside / "Manifest.db", mixed / "Manifest.db");
    writeText(mixed / "Manifest.mbdb", writeMbdb({fileRecord("HomeDomain", "inside")}));
    const BackupManifest m = BackupManifest::read(mixed.str());
    EXPECT_EQ(m.kind, ManifestKind::Mbdb);
    ASSERT_EQ(m.entries.size(), 1u);
    EXPECT_EQ(m.entries[0].relativePath, "inside");
}

TEST(HostileBackupTest, AStoredFileThatIsALinkIsNotStoredAndItsSizeNotTaken) {
    TempDir outside;
    writeText(outside / "big.jpg", std::string(12345, 'x'));
    const std::string photo = "Media/DCIM/100APPLE/IMG_0001.JPG";
    for (bool sharded : {false, true}) {
        TempDir backup;
        const std::string key = fileKey("CameraRollDomain", photo);
        if (sharded) {
            writeFilesTable(backup / "Manifest.db", {{"CameraRollDomain", photo}});
            fs::create_directories(backup / key.substr(0, 2));
            fs::create_symlink(outside / "big.jpg", backup / key.substr(0, 2) / key);
        } else {
            writeText(backup / "Manifest.mbdb", writeMbdb({fileRecord("CameraRollDomain", photo)}));
            fs::create_symlink(outside / "big.jpg", backup / key);
        }
        NotificationCenter center;
        ScanPosts posts(center);
        const ManifestPassResult r = runManifestPass(q(backup.path()), center);
        ASSERT_TRUE(r.error.empty()) << r.error;
        ASSERT_EQ(posts.photos.size(), 1u);
        EXPECT_EQ(posts.photos[0]->fileSizeNumber(), 0u) << "size taken through a link";
        EXPECT_EQ(r.missingFiles, 1u);
        ASSERT_EQ(posts.entries.size(), 1u);
        EXPECT_FALSE(posts.entries[0]->isStored());
    }
}
