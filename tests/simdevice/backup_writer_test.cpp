// Backups written from simulated devices: both layouts, file keys, the descriptions, the
// address book, atomic replacement and refused device identifiers.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QString>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "backup/backup_list.h"
#include "backup/backup_manifest.h"
#include "backup/contact_reader.h"
#include "backup/manifest_mbdb.h"
#include "backup/pr_ios_device_node.h"
#include "backup/shah.h"
#include "backup/sqlite_db.h"
#include "backup_source.h"
#include "backup_writer.h"
#include "platform/plist_value.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace nimbara::simdev {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr const char* kUdid = "0f1e2d3c4b5a69788796a5b4c3d2e1f001122334";
constexpr const char* kSmsKey = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
constexpr const char* kAddressBookKey = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
constexpr const char* kImagesKey = "cd6702cea29fe89cf280a76794405adb17f9a0ee";
const std::string kSmsBytes = "SQLite format 3 stand-in";

fs::path makeDevice(const fs::path& dir, const std::string& udid = kUdid) {
    SimDeviceBuilder b(dir);
    b.setIdentity("Test Phone", udid, "iPhone10,4", "12.4.1");
    b.setValue("Global", "PhoneNumber", "+1 (555) 010-0111");
    addBackupFile(b, "HomeDomain", "Library/SMS/sms.db", kSmsBytes);
    addBackupFile(b, "CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG", "jpeg bytes");
    addBackupDir(b, "HomeDomain", "Library/Caches");
    BackupContact ann{.first = "Ann", .last = "Lee", .phones = {"111", "222"}};
    ann.imagePng = "\x89PNG fake";
    addBackupAddressBook(b, {ann, BackupContact{.organization = "Acme"}});
    EXPECT_TRUE(b.write());
    return dir;
}

std::vector<std::uint8_t> readBytes(const fs::path& file) {
    const std::string text = test::readText(file);
    return {text.begin(), text.end()};
}

std::uint64_t readBE(const std::vector<std::uint8_t>& b, std::size_t& at, int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i) {
        v = (v << 8) | b.at(at++);
    }
    return v;
}

std::string readString(const std::vector<std::uint8_t>& b, std::size_t& at, bool* absent) {
    const auto length = static_cast<std::size_t>(readBE(b, at, 2));
    *absent = length == 0xFFFF;
    if (*absent) {
        return {};
    }
    std::string s(b.begin() + static_cast<std::ptrdiff_t>(at),
                  b.begin() + static_cast<std::ptrdiff_t>(at + length));
    at += length;
    return s;
}

std::string hexOf(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (const unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

std::vector<std::string> listNames(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(BackupWriterTest, LayoutFollowsTheMajorVersion) {
    EXPECT_TRUE(usesLegacyLayout("9.3.5"));
    EXPECT_TRUE(usesLegacyLayout("5.1"));
    EXPECT_FALSE(usesLegacyLayout("10.0"));
    EXPECT_FALSE(usesLegacyLayout("12.4.1"));
    EXPECT_TRUE(usesLegacyLayout(""));
    EXPECT_TRUE(usesLegacyLayout("beta"));
}

TEST(BackupWriterTest, NewerDevicesGetManifestDbAndSubfolders) {
    TempDir tmp;
    const fs::path device = makeDevice(tmp / "dev");
    const BackupResult r = writeBackup(device, tmp / "root");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(r.legacyLayout);
    EXPECT_EQ(r.folder, fs::canonical(tmp / "root") / kUdid);
    EXPECT_FALSE(fs::exists(r.folder / "Manifest.mbdb"));
    EXPECT_EQ(test::readText(r.folder / "3d" / kSmsKey), kSmsBytes);
    EXPECT_TRUE(fs::is_regular_file(r.folder / "31" / kAddressBookKey));
    EXPECT_TRUE(fs::is_regular_file(r.folder / "cd" / kImagesKey));
    EXPECT_FALSE(fs::exists(r.folder / kSmsKey));

    auto db = SqliteDb::open((r.folder / "Manifest.db").string(), SqliteDb::Mode::ReadOnly);
    ASSERT_TRUE(db);
    EXPECT_TRUE(db->hasTable("Properties"));
    SqliteStatement st =
        db->prepare("select fileID,domain,relativePath,flags,file from Files order by rowid");
    ASSERT_TRUE(st.valid());
    std::map<std::string, std::int64_t> flagsByPath;
    int files = 0;
    while (st.step()) {
        const std::string key = st.columnString(0);
        const std::string domain = st.columnString(1);
        const std::string path = st.columnString(2);
        EXPECT_EQ(key, backup::fileKey(domain, path));
        EXPECT_FALSE(st.columnBlob(4).isEmpty());
        flagsByPath[domain + "-" + path] = st.columnInt64(3);
        if (st.columnInt64(3) == 1) {
            ++files;
            EXPECT_TRUE(fs::is_regular_file(r.folder / key.substr(0, 2) / key)) << path;
        }
    }
    EXPECT_TRUE(st.done());
    EXPECT_EQ(flagsByPath["HomeDomain-Library/SMS/sms.db"], 1);
    EXPECT_EQ(flagsByPath["HomeDomain-Library/SMS"], 2);
    EXPECT_EQ(flagsByPath["HomeDomain-Library/Caches"], 2);  // empty folders are listed too
    EXPECT_EQ(flagsByPath["HomeDomain-"], 2);                // the domain itself
    EXPECT_EQ(flagsByPath["CameraRollDomain-"], 2);
    EXPECT_EQ(files, r.files);
    EXPECT_EQ(files, 4);
    EXPECT_EQ(static_cast<int>(flagsByPath.size()), r.files + r.folders);
}

TEST(BackupWriterTest, OlderDevicesGetManifestMbdbAndFlatFiles) {
    TempDir tmp;
    const fs::path device = makeDevice(tmp / "dev");
    const BackupResult r =
        writeBackup(device, tmp / "root", BackupOptions{.iosVersionOverride = "9.3.5"});
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.legacyLayout);
    EXPECT_FALSE(fs::exists(r.folder / "Manifest.db"));
    EXPECT_EQ(test::readText(r.folder / kSmsKey), kSmsBytes);
    EXPECT_TRUE(fs::is_regular_file(r.folder / kAddressBookKey));
    for (const auto& e : fs::directory_iterator(r.folder)) {
        EXPECT_FALSE(e.is_directory()) << "no subfolders in a flat backup: " << e.path();
    }

    const std::vector<std::uint8_t> b = readBytes(r.folder / "Manifest.mbdb");
    ASSERT_GE(b.size(), 6u);
    EXPECT_EQ(std::vector<std::uint8_t>(b.begin(), b.begin() + 6),
              (std::vector<std::uint8_t>{'m', 'b', 'd', 'b', 5, 0}));
    // Walk every record by hand; the sms.db record is checked field by field.
    std::size_t at = 6;
    int records = 0;
    bool sawSms = false;
    while (at < b.size()) {
        ++records;
        bool absent = false;
        const std::string domain = readString(b, at, &absent);
        EXPECT_FALSE(absent);
        const std::string path = readString(b, at, &absent);
        EXPECT_FALSE(absent);
        readString(b, at, &absent);
        EXPECT_TRUE(absent) << "no link target";
        bool noHash = false;
        const std::string hash = readString(b, at, &noHash);
        readString(b, at, &absent);
        EXPECT_TRUE(absent) << "no encryption key";
        const auto mode = readBE(b, at, 2);
        at += 8 + 4 + 4 + 12;  // inode, user, group, three times
        const auto size = readBE(b, at, 8);
        at += 1;  // protection class
        EXPECT_EQ(readBE(b, at, 1), 0u) << "no properties";
        if (domain == "HomeDomain" && path == "Library/SMS/sms.db") {
            sawSms = true;
            EXPECT_EQ(mode, 0100644u);
            EXPECT_EQ(size, kSmsBytes.size());
            EXPECT_EQ(backup::fileKey(domain, path), kSmsKey);
            ASSERT_FALSE(noHash);
            ASSERT_EQ(hash.size(), 20u);
            std::string hex;
            for (unsigned char c : hash) {
                static const char* digits = "0123456789abcdef";
                hex += digits[c >> 4];
                hex += digits[c & 15];
            }
            EXPECT_EQ(hex, backup::sha1Hex(kSmsBytes));
        }
        if ((mode & 0170000) == 040000) {
            EXPECT_TRUE(noHash) << "folders carry no data hash";
            EXPECT_EQ(size, 0u);
        }
    }
    EXPECT_EQ(at, b.size());
    EXPECT_TRUE(sawSms);
    EXPECT_EQ(records, r.files + r.folders);
}

TEST(BackupWriterTest, DescriptionsCarryTheKeysTheListReads) {
    TempDir tmp;
    const fs::path device = makeDevice(tmp / "dev");
    const BackupResult r =
        writeBackup(device, tmp / "root", BackupOptions{.iosVersionOverride = "9.3.5"});
    ASSERT_TRUE(r.ok) << r.error;

    auto info = PlistValue::readFile((r.folder / "Info.plist").string());
    ASSERT_TRUE(info && info->isDict());
    EXPECT_EQ((*info)["Device Name"].toString(), "Test Phone");
    EXPECT_EQ((*info)["Display Name"].toString(), "Test Phone");
    EXPECT_EQ((*info)["Product Type"].toString(), "iPhone10,4");
    EXPECT_EQ((*info)["Product Version"].toString(), "9.3.5");  // the override
    EXPECT_EQ((*info)["Phone Number"].toString(), "+1 (555) 010-0111");
    EXPECT_FALSE((*info)["Serial Number"].toString().empty());
    EXPECT_FALSE((*info)["Build Version"].toString().empty());
    EXPECT_FALSE((*info)["iTunes Version"].toString().empty());
    EXPECT_EQ(QString::fromStdString((*info)["Unique Identifier"].toString()).toLower(),
              QString(kUdid));
    EXPECT_EQ((*info)["Target Identifier"], (*info)["Unique Identifier"]);
    EXPECT_TRUE((*info)["Last Backup Date"].isDate());

    auto manifest = PlistValue::readFile((r.folder / "Manifest.plist").string());
    ASSERT_TRUE(manifest && manifest->isDict());
    ASSERT_TRUE((*manifest)["IsEncrypted"].isBool());
    EXPECT_FALSE((*manifest)["IsEncrypted"].toBool(true));
    EXPECT_TRUE((*manifest)["Date"].isDate());
    EXPECT_FALSE((*manifest)["Version"].toString().empty());
    const PlistValue& lockdown = (*manifest)["Lockdown"];
    EXPECT_EQ(lockdown["DeviceName"].toString(), "Test Phone");
    EXPECT_EQ(lockdown["ProductVersion"].toString(), "9.3.5");
    EXPECT_EQ(lockdown["UniqueDeviceID"].toString(), kUdid);
    EXPECT_EQ(lockdown["SerialNumber"], (*info)["Serial Number"]);
    EXPECT_EQ(lockdown["BuildVersion"], (*info)["Build Version"]);

    auto status = PlistValue::readFile((r.folder / "Status.plist").string());
    ASSERT_TRUE(status && status->isDict());
    EXPECT_EQ((*status)["SnapshotState"].toString(), "finished");
}

TEST(BackupWriterTest, AddressBookAnswersTheReaderQueries) {
    TempDir tmp;
    const fs::path device = makeDevice(tmp / "dev");
    const fs::path dir = backupSourcePath(device, "HomeDomain", "Library/AddressBook");
    auto book = SqliteDb::open((dir / "AddressBook.sqlitedb").string(), SqliteDb::Mode::ReadOnly);
    ASSERT_TRUE(book);
    SqliteStatement people = book->prepare(
        "select DISTINCT Rowid, first, Department,DisplayName,firstPhonetic,jobTitle,"
        "organization,middle,middlePhonetic,CreationDate,Last,Note,Nickname,prefix, suffix, "
        "Birthday from abperson ");
    ASSERT_TRUE(people.valid()) << book->lastError();
    ASSERT_TRUE(people.step());
    EXPECT_EQ(people.columnInt(0), 1);
    EXPECT_EQ(people.columnString(1), "Ann");
    EXPECT_EQ(people.columnString(10), "Lee");
    EXPECT_TRUE(people.isNull(2)) << "unset fields are NULL";
    ASSERT_TRUE(people.step());
    EXPECT_EQ(people.columnInt(0), 2);
    EXPECT_TRUE(people.isNull(1));
    EXPECT_EQ(people.columnString(6), "Acme");
    EXPECT_FALSE(people.step());
    SqliteStatement kinds = book->prepare("select Kind from ABPerson order by ROWID");
    ASSERT_TRUE(kinds.step());
    EXPECT_EQ(kinds.columnInt(0), 0);
    ASSERT_TRUE(kinds.step());
    EXPECT_EQ(kinds.columnInt(0), 1) << "a card with only a company is an organisation";

    SqliteStatement values =
        book->prepare("select property,label,value, UID from abmultivalue where record_id = ? ");
    ASSERT_TRUE(values.valid());
    values.bind(1, std::int64_t{1});
    std::vector<std::string> phones;
    while (values.step()) {
        EXPECT_EQ(values.columnInt(0), 3);
        phones.push_back(values.columnString(2));
    }
    EXPECT_EQ(phones, (std::vector<std::string>{"111", "222"}));

    auto images =
        SqliteDb::open((dir / "AddressBookImages.sqlitedb").string(), SqliteDb::Mode::ReadOnly);
    ASSERT_TRUE(images);
    SqliteStatement pictures = images->prepare("select record_id, data from ABFullSizeImage");
    ASSERT_TRUE(pictures.valid());
    ASSERT_TRUE(pictures.step());
    EXPECT_EQ(pictures.columnInt(0), 1);
    EXPECT_EQ(pictures.columnBlob(1).toStdString(), "\x89PNG fake");
    EXPECT_FALSE(pictures.step()) << "only the contact with a picture has one";
}

TEST(BackupWriterTest, ReplacingABackupSwapsItWholeAndLeavesNothingBehind) {
    TempDir tmp;
    const fs::path device = makeDevice(tmp / "dev");
    const fs::path root = tmp / "root";
    BackupResult first = writeBackup(device, root);
    ASSERT_TRUE(first.ok) << first.error;
    test::writeText(first.folder / "stale-file", "left from before");

    // A failed run leaves the earlier backup as it was.
    BackupResult failed =
        writeBackup(device, root, BackupOptions{.iosVersionOverride = "not-a-version"});
    EXPECT_FALSE(failed.ok);
    EXPECT_FALSE(failed.error.empty());
    EXPECT_TRUE(fs::exists(first.folder / "stale-file"));
    EXPECT_TRUE(fs::exists(first.folder / "Manifest.db"));

    BackupResult second = writeBackup(device, root, BackupOptions{.iosVersionOverride = "8.4.1"});
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_EQ(second.folder, first.folder);
    EXPECT_FALSE(fs::exists(second.folder / "stale-file"));
    EXPECT_FALSE(fs::exists(second.folder / "Manifest.db"));
    EXPECT_TRUE(fs::exists(second.folder / "Manifest.mbdb"));
    // No partial or displaced folder stays in the root, hidden or not.
    EXPECT_EQ(listNames(root), std::vector<std::string>{kUdid});

    // Something else under the device's name is not replaced.
    const fs::path otherRoot = tmp / "other";
    fs::create_directories(otherRoot);
    test::writeText(otherRoot / kUdid, "not a backup");
    EXPECT_FALSE(writeBackup(device, otherRoot).ok);
    EXPECT_EQ(test::readText(otherRoot / kUdid), "not a backup");
    EXPECT_EQ(listNames(otherRoot), std::vector<std::string>{kUdid});
}

TEST(BackupWriterTest, UdidsThatAreNotPlainNamesAreRefused) {
    for (const std::string udid : {"../escape", "a/b", "..", ".hidden", "name with blank"}) {
        TempDir tmp;
        const fs::path device = makeDevice(tmp / "dev", udid);
        const BackupResult r = writeBackup(device, tmp / "area" / "root");
        EXPECT_FALSE(r.ok) << udid;
        EXPECT_NE(r.error.find("UniqueDeviceID"), std::string::npos) << r.error;
        EXPECT_FALSE(fs::exists(tmp / "area")) << "nothing written for " << udid;
        EXPECT_FALSE(fs::exists(tmp / "escape"));
    }
    EXPECT_TRUE(isPlainUdid("00008020-001A2B3C4D5E6F70"));
    EXPECT_FALSE(isPlainUdid(""));
    EXPECT_FALSE(isPlainUdid(std::string(65, 'a')));

    TempDir tmp;
    EXPECT_FALSE(writeBackup(tmp / "no-device", tmp / "root").ok);
}

TEST(BackupWriterTest, LinksInTheSourceAreNotFollowed) {
    TempDir tmp;
    const fs::path device = makeDevice(tmp / "dev");
    test::writeText(tmp / "outside.txt", "private");
    const fs::path source = backupSourcePath(device, "HomeDomain", "Library");
    fs::create_symlink(tmp / "outside.txt", source / "link.txt");
    fs::create_directory_symlink(tmp.path(), source / "linkdir");
    const BackupResult r = writeBackup(device, tmp / "root");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.files, 4);
    const auto m = backup::BackupManifest::read(r.folder.string());
    for (const auto& e : m.entries) {
        EXPECT_EQ(e.relativePath.find("link"), std::string::npos) << e.relativePath;
    }
}

// Stored copies are byte for byte the device's files, holes included, and a hole stays a hole.
TEST(BackupWriterTest, StoredCopiesKeepContentsAndHoles) {
    TempDir tmp;
    const fs::path device = makeDevice(tmp / "dev");
    const fs::path source = backupSourcePath(device, "HomeDomain", "Library/Holes");
    fs::create_directories(source);
    const std::string head(5000, 'h');
    const std::string tail = "the end";
    {
        std::ofstream out(source / "sparse.bin", std::ios::binary);
        out << head;
        out.seekp(2 << 20);
        out << tail;
    }
    for (const char* name : {"empty.bin", "hole.bin"}) {
        std::ofstream out(source / name, std::ios::binary);
    }
    fs::resize_file(source / "hole.bin", 2 << 20);
    for (const bool legacy : {false, true}) {
        const BackupResult r = writeBackup(device, tmp / (legacy ? "flat" : "sharded"),
                                           BackupOptions{.legacyLayout = legacy});
        ASSERT_TRUE(r.ok) << r.error;
        const auto layout = legacy ? backup::BackupLayout::Flat : backup::BackupLayout::Sharded;
        for (const char* name : {"sparse.bin", "empty.bin", "hole.bin"}) {
            const std::string stored = backup::storedFilePath(
                r.folder.string(),
                backup::fileKey("HomeDomain", std::string("Library/Holes/") + name), layout);
            ASSERT_TRUE(fs::is_regular_file(stored)) << name;
            EXPECT_EQ(test::readText(stored), test::readText(source / name)) << name;
        }
        if (legacy) {
            // The digest is taken in the same read as the copy, holes as zeros.
            const auto list = backup::readMbdbFile((r.folder / "Manifest.mbdb").string());
            int hashed = 0;
            for (const backup::MbdbRecord& record : list.records) {
                const std::string name = record.path.value_or("");
                if (name.starts_with("Library/Holes/") && record.dataHash) {
                    const std::string hex =
                        backup::sha1Hex(test::readText(source / name.substr(14)));
                    EXPECT_EQ(hexOf(*record.dataHash), hex) << name;
                    ++hashed;
                }
            }
            EXPECT_EQ(hashed, 3);
        }
        struct stat hole {};
        ASSERT_EQ(::stat(backup::storedFilePath(
                             r.folder.string(),
                             backup::fileKey("HomeDomain", "Library/Holes/hole.bin"), layout)
                             .c_str(),
                         &hole),
                  0);
        EXPECT_LT(hole.st_blocks * 512, 2 << 20) << "a hole written out";
    }
}

TEST(BackupWriterTest, BothKindsReadBackThroughTheManifestReaders) {
    TempDir tmp;
    const fs::path device = makeDevice(tmp / "dev");
    for (const char* version : {"9.3.5", "12.4.1"}) {
        const fs::path root = tmp / (std::string("root-") + version);
        const BackupResult r =
            writeBackup(device, root, BackupOptions{.iosVersionOverride = version});
        ASSERT_TRUE(r.ok) << r.error;
        const auto m = backup::BackupManifest::read(r.folder.string());
        ASSERT_TRUE(m.ok()) << m.error;
        EXPECT_EQ(m.kind, r.legacyLayout ? backup::ManifestKind::Mbdb : backup::ManifestKind::Db);
        EXPECT_EQ(static_cast<int>(m.entries.size()), r.files + r.folders) << version;
        const std::string sms = m.storedPathOf(r.folder.string(), "Library/SMS/sms.db");
        ASSERT_FALSE(sms.empty()) << version;
        EXPECT_EQ(test::readText(sms), kSmsBytes);
        int folders = 0;
        for (const auto& e : m.entries) {
            folders += e.isDirectory ? 1 : 0;
        }
        EXPECT_EQ(folders, r.folders) << version;

        // The contact reader finds the address book and its pictures in either layout.
        const auto contacts =
            backup::readContacts(backup::backupFilePath(r.folder.string(), kAddressBookKey),
                                 backup::backupFilePath(r.folder.string(), kImagesKey));
        ASSERT_TRUE(contacts.ok) << contacts.error;
        ASSERT_EQ(contacts.contacts.size(), 2u);
        EXPECT_EQ(contacts.contacts[0]->contactName(), "Ann Lee");
        EXPECT_EQ(contacts.contacts[0]->contactPhone(), " 111 222");
        EXPECT_EQ(contacts.contacts[1]->contactCompany(), " Acme");
        ASSERT_EQ(contacts.images.size(), 1u);
        EXPECT_EQ(contacts.images[0]->rowid(), 1);

        // The backup list offers it with the device's values.
        const auto read = backup::readBackupFolder(QString::fromStdString(r.folder.string()));
        ASSERT_TRUE(read) << version;
        const auto& node = read.value();
        EXPECT_EQ(node->strDeviceName(), "Test Phone");
        EXPECT_EQ(node->strIOSVersion(), QString(version));
    }
}

// The file record of a Manifest.db row is made without libplist: the same bytes as libplist makes
// from the same values, whatever values coincide (libplist writes an equal value once).
TEST(BackupWriterTest, FileRecordsAreTheBytesLibplistMakes) {
    const struct {
        std::string path;
        std::uint64_t size;
        std::int64_t modified;
        std::uint64_t inode;
        bool folder;
    } rows[] = {
        {"Media/DCIM/100APPLE/IMG_0001.JPG", 123456, 1600000000, 1005, false},
        {"", 0, 1600000000, 1000, true},          // a domain; Flags and ProtectionClass 0
        {"Library", 0, 0, 0, true},               // every integer but the mode is 0
        {"a", 1, 1, 1, false},                    // equal to the archive's root reference
        {"b", 501, 501, 4, false},                // the user, group and protection class
        {"c", 100000, 4294967296, 65535, false},  // the archive's version; widths 4 and 8
        {"d", 255, -1, 256, false},               // before 1970: written unsigned
        {"e", 0, INT64_MIN, UINT64_MAX, false},
        {"Birth", 2, 3, 5, false},  // a path that is also a key
        {"$null", 2, 3, 5, false},  // ... or another string of the archive
        {"NSKeyedArchiver", 2, 3, 5, false},
        {"root", 2, 3, 5, true},
        {"fourteen chars", 2, 3, 5, false},  // the longest short string
        {"fifteen chars!!", 2, 3, 5, false},
        {std::string(255, 'x'), 2, 3, 5, false},  // the offsets grow to two bytes
        {std::string(4096, 'y'), 2, 3, 5, false},
        {"Médias/café.jpg", 2, 3, 5, false},  // not ASCII: through libplist
        {"bad \xff\xfe name", 2, 3, 5, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path.substr(0, 40));
        PlistValue file = PlistValue::dict();
        file["RelativePath"] = row.path;
        file["Size"] = row.size;
        file["LastModified"] = row.modified;
        file["LastStatusChange"] = row.modified;
        file["Birth"] = row.modified;
        file["Mode"] = row.folder ? 040755 : 0100644;
        file["InodeNumber"] = row.inode;
        file["UserID"] = 501;
        file["GroupID"] = 501;
        file["ProtectionClass"] = row.folder ? 0 : 4;
        file["Flags"] = 0;
        PlistValue archive = PlistValue::dict();
        archive["$version"] = 100000;
        archive["$archiver"] = "NSKeyedArchiver";
        archive["$top"]["root"] = 1;
        archive["$objects"] = PlistValue(PlistValue::Array{"$null", file});
        const PlistValue::Bytes expected = archive.toBinary();

        const std::string made =
            md::sim::manifestFileRecord(row.path, row.size, row.modified, row.inode, row.folder);
        EXPECT_EQ(made, std::string(expected.begin(), expected.end()));
        const auto read = PlistValue::parse(made);
        ASSERT_TRUE(read);
        EXPECT_EQ(*read, *PlistValue::parse(std::string(expected.begin(), expected.end())));
        if (QString::fromStdString(row.path).toStdString() == row.path) {  // valid UTF-8
            EXPECT_EQ((*read)["$objects"].toArray().at(1)["RelativePath"].toString(), row.path);
        }
    }
}

TEST(BackupWriterTest, DemoDeviceCarriesAnAddressBookAndItsPhotos) {
    TempDir tmp;
    std::string error;
    ASSERT_TRUE(makeDemoDevice(tmp / "demo", &error)) << error;
    const fs::path book =
        backupSourcePath(tmp / "demo", "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb");
    auto db = SqliteDb::open(book.string(), SqliteDb::Mode::ReadOnly);
    ASSERT_TRUE(db);
    SqliteStatement count = db->prepare("select count(*) from ABPerson");
    ASSERT_TRUE(count.step());
    EXPECT_EQ(count.columnInt(0), static_cast<int>(demoContacts().size()));
    EXPECT_GE(count.columnInt(0), 12);

    const fs::path photos = tmp / "demo" / "media" / "DCIM" / "100APPLE";
    int copied = 0;
    for (const auto& e : fs::directory_iterator(photos)) {
        if (e.path().extension() != ".JPG") {
            continue;
        }
        const fs::path copy =
            backupSourcePath(tmp / "demo", "CameraRollDomain",
                             "Media/DCIM/100APPLE/" + e.path().filename().string());
        EXPECT_EQ(test::readText(copy), test::readText(e.path()));
        ++copied;
    }
    EXPECT_GT(copied, 0);

    const BackupResult r = writeBackup(tmp / "demo", tmp / "root");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(fs::is_regular_file(r.folder / "31" / kAddressBookKey));
}

}  // namespace
}  // namespace nimbara::simdev
