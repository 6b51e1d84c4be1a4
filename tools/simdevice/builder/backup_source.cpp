// The backup side of a simulated device: loose files by domain and the address book.
#include "backup_source.h"

#include <QByteArray>

#include <chrono>
#include <stdexcept>
#include <system_error>

#include "backup/sqlite_db.h"
#include "device_path.h"
#include "file_writer.h"
#include "folder_steps.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "sim_database.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

namespace {

// Property numbers of the multi-values and the labels the device gives them.
constexpr int kPropertyPhone = 3;
constexpr int kPropertyEmail = 4;
constexpr int kPropertyAddress = 5;
constexpr int kPropertyHomepage = 22;

const char* const kPersonSchema =
    "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, "
    "Middle TEXT, FirstPhonetic TEXT, MiddlePhonetic TEXT, LastPhonetic TEXT, Organization TEXT, "
    "Department TEXT, Note TEXT, Kind INTEGER, Birthday TEXT, JobTitle TEXT, Nickname TEXT, "
    "Prefix TEXT, Suffix TEXT, FirstSort TEXT, LastSort TEXT, CreationDate INTEGER, "
    "ModificationDate INTEGER, CompositeNameFallback TEXT, ExternalIdentifier TEXT, "
    "StoreID INTEGER, DisplayName TEXT, ExternalRepresentation BLOB, FirstSortSection TEXT, "
    "LastSortSection TEXT, FirstSortLanguageIndex INTEGER DEFAULT 2147483647, "
    "LastSortLanguageIndex INTEGER DEFAULT 2147483647, PersonLink INTEGER DEFAULT -1, "
    "ImageURI TEXT, IsPreferredName INTEGER DEFAULT 1, guid TEXT, PhonemeData TEXT);"
    "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, "
    "identifier INTEGER, label INTEGER, value TEXT, guid TEXT);"
    "CREATE TABLE ABMultiValueLabel (value TEXT, UNIQUE(value));"
    "CREATE TABLE ABMultiValueEntry (parent_id INTEGER, key INTEGER, value TEXT, "
    "UNIQUE(parent_id, key));"
    "CREATE TABLE ABMultiValueEntryKey (value TEXT, UNIQUE(value));"
    "CREATE TABLE ABGroup (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT, StoreID INTEGER);"
    "CREATE TABLE ABGroupMembers (UID INTEGER PRIMARY KEY, group_id INTEGER, "
    "member_type INTEGER, member_id INTEGER, UNIQUE(group_id, member_type, member_id));"
    "CREATE INDEX ABMultiValueRecordIDIndex ON ABMultiValue(record_id);";

const char* const kImageSchema =
    "CREATE TABLE ABFullSizeImage (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, record_id INTEGER, "
    "crop_x INTEGER, crop_y INTEGER, crop_width INTEGER, data BLOB, UNIQUE(record_id));"
    "CREATE TABLE ABThumbnailImage (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, record_id INTEGER, "
    "format INTEGER, derived_from_format INTEGER, data BLOB, UNIQUE(record_id, format));";

const char* const kAddressBookDir = "Library/AddressBook";

// Row id of a label or entry key, added on first use.
std::int64_t internText(SqliteDb& db, const char* table, const std::string& text,
                        const fs::path& file) {
    SqliteStatement add =
        db.prepare(std::string("INSERT OR IGNORE INTO ") + table + " (value) VALUES (?)");
    SqliteStatement find =
        db.prepare(std::string("SELECT ROWID FROM ") + table + " WHERE value = ?");
    if (!add.valid() || !find.valid()) {
        sqlFailed(db, file);
    }
    add.bind(1, text);
    insertSim(db, add, file);
    find.bind(1, text);
    if (!find.step()) {
        sqlFailed(db, file);
    }
    return find.columnInt64(0);
}

std::string displayNameOf(const BackupContact& c) {
    std::string name = c.first;
    for (const std::string* part : {&c.middle, &c.last}) {
        if (!part->empty()) {
            name += (name.empty() ? "" : " ") + *part;
        }
    }
    return name.empty() ? c.organization : name;
}

// An address line "street, city, postcode, country" split into the entries the device keeps.
std::vector<std::pair<std::string, std::string>> addressEntries(const std::string& line) {
    static const char* const kKeys[] = {"Street", "City", "ZIP", "Country"};
    std::vector<std::pair<std::string, std::string>> entries;
    std::size_t start = 0;
    for (const char* key : kKeys) {
        if (start > line.size()) {
            break;
        }
        const std::size_t comma = line.find(", ", start);
        const bool last = comma == std::string::npos || key == kKeys[3];
        entries.emplace_back(key, line.substr(start, last ? std::string::npos : comma - start));
        if (last) {
            break;
        }
        start = comma + 2;
    }
    return entries;
}

void writePeople(const fs::path& file, const std::vector<BackupContact>& people) {
    SqliteDb db = createSimDatabase(file, kPersonSchema);
    SqliteStatement person = db.prepare(
        "INSERT INTO ABPerson (ROWID, First, Last, Middle, Organization, Department, Note, Kind, "
        "Birthday, JobTitle, Nickname, FirstSort, LastSort, CreationDate, ModificationDate, "
        "DisplayName, StoreID) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0)");
    SqliteStatement value = db.prepare(
        "INSERT INTO ABMultiValue (UID, record_id, property, identifier, label, value) "
        "VALUES (?, ?, ?, ?, ?, ?)");
    SqliteStatement entry =
        db.prepare("INSERT INTO ABMultiValueEntry (parent_id, key, value) VALUES (?, ?, ?)");
    if (!person.valid() || !value.valid() || !entry.valid()) {
        sqlFailed(db, file);
    }
    // Created over the spring of 2024, edited a little later (seconds since 2001).
    std::int64_t created = 733000000;
    std::int64_t uid = 0;
    for (std::size_t i = 0; i < people.size(); ++i) {
        const BackupContact& c = people[i];
        const auto rowid = static_cast<std::int64_t>(i + 1);
        created += 86400 * 3 + 4111 * rowid;
        person.bind(1, rowid);
        bindText(person, 2, c.first);
        bindText(person, 3, c.last);
        bindText(person, 4, c.middle);
        bindText(person, 5, c.organization);
        bindText(person, 6, c.department);
        bindText(person, 7, c.note);
        // An entry with only a company name is an organisation card.
        const bool organisation = c.first.empty() && c.last.empty() && !c.organization.empty();
        person.bind(8, static_cast<std::int64_t>(organisation ? 1 : 0));
        bindText(person, 9, c.birthday);
        bindText(person, 10, c.jobTitle);
        bindText(person, 11, c.nickname);
        bindText(person, 12, c.first + " " + c.last);
        bindText(person, 13, c.last + " " + c.first);
        person.bind(14, created);
        person.bind(15, created + 3600 * 5);
        bindText(person, 16, displayNameOf(c));
        insertSim(db, person, file);

        auto addValues = [&](int property, const std::vector<std::string>& values,
                             const char* label) {
            const std::int64_t labelId = internText(db, "ABMultiValueLabel", label, file);
            for (std::size_t k = 0; k < values.size(); ++k) {
                value.bind(1, ++uid);
                value.bind(2, rowid);
                value.bind(3, static_cast<std::int64_t>(property));
                value.bind(4, static_cast<std::int64_t>(k));
                value.bind(5, labelId);
                bindText(value, 6, values[k]);
                insertSim(db, value, file);
                if (property != kPropertyAddress) {
                    continue;
                }
                for (const auto& [key, text] : addressEntries(values[k])) {
                    entry.bind(1, uid);
                    entry.bind(2, internText(db, "ABMultiValueEntryKey", key, file));
                    entry.bind(3, text);
                    insertSim(db, entry, file);
                }
            }
        };
        addValues(kPropertyPhone, c.phones, "_$!<Mobile>!$_");
        addValues(kPropertyEmail, c.emails, "_$!<Home>!$_");
        addValues(kPropertyAddress, c.addresses, "_$!<Home>!$_");
        addValues(kPropertyHomepage, c.homepages, "_$!<HomePage>!$_");
    }
    commitSim(db, file);
}

void writeImages(const fs::path& file, const std::vector<BackupContact>& people) {
    SqliteDb db = createSimDatabase(file, kImageSchema);
    SqliteStatement full = db.prepare(
        "INSERT INTO ABFullSizeImage (record_id, crop_x, crop_y, crop_width, data) "
        "VALUES (?, 0, 0, 120, ?)");
    SqliteStatement thumb = db.prepare(
        "INSERT INTO ABThumbnailImage (record_id, format, derived_from_format, data) "
        "VALUES (?, 0, 0, ?)");
    if (!full.valid() || !thumb.valid()) {
        sqlFailed(db, file);
    }
    for (std::size_t i = 0; i < people.size(); ++i) {
        if (people[i].imagePng.empty()) {
            continue;
        }
        const QByteArray png = QByteArray::fromStdString(people[i].imagePng);
        for (SqliteStatement* st : {&full, &thumb}) {
            st->bind(1, static_cast<std::int64_t>(i + 1));
            st->bind(2, png);
            insertSim(db, *st, file);
        }
    }
    commitSim(db, file);
}

}  // namespace

fs::path backupSourcePath(const fs::path& deviceDir, const std::string& domain,
                          const std::string& relativePath) {
    checkFolderName(domain, "backup domain");
    return confinedPath(deviceDir / md::sim::kBackupSourceDir / domain, "/" + relativePath);
}

void addBackupFile(const SimDeviceBuilder& b, const std::string& domain,
                   const std::string& relativePath, const std::string& contents) {
    const fs::path file = backupSourcePath(b.dir(), domain, relativePath);
    checkResolvedInside(b.dir() / md::sim::kBackupSourceDir, file);
    writeBytes(file, contents);
}

void addBackupDir(const SimDeviceBuilder& b, const std::string& domain,
                  const std::string& relativePath) {
    const fs::path dir = backupSourcePath(b.dir(), domain, relativePath);
    checkResolvedInside(b.dir() / md::sim::kBackupSourceDir, dir);
    makeFolders(dir);
}

void addBackupAddressBook(const SimDeviceBuilder& b, const std::vector<BackupContact>& people) {
    const fs::path dir = backupSourcePath(b.dir(), "HomeDomain", kAddressBookDir);
    checkResolvedInside(b.dir() / md::sim::kBackupSourceDir, dir);
    makeFolders(dir);
    writePeople(dir / "AddressBook.sqlitedb", people);
    writeImages(dir / "AddressBookImages.sqlitedb", people);
}

std::string addressBookDate(int year, unsigned month, unsigned day) {
    using namespace std::chrono;
    const sys_days date =
        year_month_day{std::chrono::year{year}, std::chrono::month{month}, std::chrono::day{day}};
    const sys_days epoch2001 =
        year_month_day{std::chrono::year{2001}, January, std::chrono::day{1}};
    const auto seconds = duration_cast<std::chrono::seconds>(date - epoch2001).count() + 43200;
    return std::to_string(seconds);
}

}  // namespace nimbara::simdev
