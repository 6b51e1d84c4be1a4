#include "backup/contact_reader.h"

#include "backup/record_dates.h"

#include "backup/backup_folder.h"
#include "backup/record_database.h"
#include "backup/sqlite_db.h"
#include "platform/log_categories.h"
#include "platform/notification_center.h"

#include <QDebug>

#include <filesystem>
#include <functional>
#include <unordered_map>

namespace fs = std::filesystem;

namespace nimbara::backup {

namespace {

constexpr const char* kImagesQuery = "select record_id, data from ABFullSizeImage";
constexpr const char* kPersonQuery =
    "select DISTINCT Rowid, first, Department,DisplayName,firstPhonetic,jobTitle,organization,"
    "middle,middlePhonetic,CreationDate,Last,Note,Nickname,prefix, suffix, Birthday from abperson ";
// Every person's values in one pass, each row joined to its person as `record_id = rowid` would
// match it; SQLite indexes the join itself where the table has no index on record_id.
constexpr const char* kMultiValueQuery =
    "select m.property, m.label, m.value, p.rowid from abmultivalue m "
    "join abperson p on m.record_id = p.rowid";

// Person query columns.
enum PersonColumn {
    kRowid = 0,
    kFirst = 1,
    kDepartment = 2,
    kJobTitle = 5,
    kOrganization = 6,
    kMiddle = 7,
    kLast = 10,
    kNote = 11,
    kBirthday = 15,
};

// Multi-value properties.
enum Property { kPhone = 3, kEmail = 4, kAddress = 5, kHomepage = 22 };

using StopCheck = std::function<bool()>;

// A database of a backup: a name inside a backup folder opened once, reached without a link.
struct DatabaseFile {
    const BackupFolder* folder = nullptr;
    std::string relative;

    bool exists() const {
        return folder != nullptr && !relative.empty() && folder->isFile(relative);
    }
};

// A private copy of a database that exists(), removed when the reader is done with it.
StoredDatabase stored(const DatabaseFile& file) {
    return StoredDatabase{file.relative, std::string()};
}

bool stopped(const StopCheck& stop) {
    return stop && stop();
}

void readImages(const DatabaseFile& images, const StopCheck& stop, ContactReadResult& result) {
    if (!images.exists()) {
        result.imageError = "no pictures database";
        return;
    }
    result.imagesFound = true;
    PrivateDatabaseCopy copy(*images.folder, stored(images), kContactImagesKey);
    if (copy.path().empty()) {
        result.imageError = "pictures database could not be copied";
        return;
    }
    auto db = openPrivateCopy(copy, stop, result.imageError);
    if (!db) {
        return;
    }
    if (std::string problem = tableProblem(*db, "ABFullSizeImage"); !problem.empty()) {
        result.imageError = "pictures database: " + problem;
        return;
    }
    SqliteStatement st = db->prepare(kImagesQuery);
    if (!st.valid()) {
        result.imageError = "pictures query failed: " + db->lastError();
        return;
    }
    while (st.step()) {
        if (stopped(stop)) {
            result.stopped = true;
            return;
        }
        auto node = std::make_shared<PRContactImageNode>();
        node->setRowid(st.columnInt(0));
        node->setImageData(st.columnBlob(1));
        result.images.push_back(std::move(node));
    }
    result.stopped = st.abortReason() == SqliteAbort::Stopped;
    if (std::string problem = queryProblem(st, "ABFullSizeImage", *db); !problem.empty()) {
        result.imageError = "pictures database: " + problem;
    }
}

std::shared_ptr<PRContactNode> personFromRow(const SqliteStatement& st) {
    auto node = std::make_shared<PRContactNode>();
    if (const int rowid = st.columnInt(kRowid); rowid != 0) {
        node->setRowid(rowid);
    }
    auto apply = [&](int column, auto&& assign) {
        const QString value = st.columnText(column);
        if (!value.isEmpty()) {
            assign(value);
        }
    };
    apply(kFirst, [&](const QString& v) { node->setContactName(v); });
    apply(kDepartment, [&](const QString& v) { node->setContactCompany(v); });
    apply(kJobTitle, [&](const QString& v) { node->setContactJobtitle(v); });
    apply(kOrganization, [&](const QString& v) {
        node->setContactCompany(joinedContactText(node->contactCompany(), v));
    });
    apply(kMiddle, [&](const QString& v) {
        node->setContactName(joinedContactText(node->contactName(), v));
    });
    apply(kLast, [&](const QString& v) {
        node->setContactName(joinedContactText(node->contactName(), v));
    });
    apply(kNote, [&](const QString& v) { node->setContactNote(v); });
    apply(kBirthday, [&](const QString& v) { node->setContactBirthday(birthdayText(v)); });
    return node;
}

// The labels of the multi-values by row id ("_$!<Mobile>!$_", ...); none when the table is
// missing or not a real table (a view could run forever).
using LabelTexts = std::unordered_map<std::int64_t, QString>;
LabelTexts readLabels(SqliteDb& db) {
    LabelTexts labels;
    if (db.objectKind("ABMultiValueLabel") != SqliteDb::ObjectKind::Table) {
        return labels;
    }
    SqliteStatement st = db.prepare("select rowid, value from ABMultiValueLabel");
    while (st.valid() && st.step()) {
        labels.emplace(st.columnInt64(0), st.columnText(1));
    }
    return labels;
}

// A value's label: the label row it names, or the text itself where a database keeps the label
// as text.
QString labelOf(const SqliteStatement& st, const LabelTexts& labels) {
    if (st.isNull(1)) {
        return {};
    }
    const QString text = st.columnText(1);
    bool number = false;
    const qint64 id = text.toLongLong(&number);
    if (!number) {
        return text;
    }
    const auto it = labels.find(id);
    return it == labels.end() ? QString() : it->second;
}

struct MultiValue {
    std::int64_t property = 0;
    QString label;
    QString value;
};
// Each person's values in the order the table holds them, by the person's row id.
using MultiValuesOf = std::unordered_map<std::int64_t, std::vector<MultiValue>>;

// False when the query ended early (stopped or damaged).
bool readMultiValues(SqliteStatement& st, const LabelTexts& labels, MultiValuesOf& values) {
    while (st.step()) {
        QString value = st.columnText(2);
        if (!value.isEmpty()) {
            values[st.columnInt64(3)].push_back(
                {st.columnInt(0), labelOf(st, labels), std::move(value)});
        }
    }
    return st.abortReason() == SqliteAbort::None;
}

// Reads everything; `post` is called for each finished contact, in order. A stop ends the read
// early with `stopped` set and nothing more posted.
template <class Post>
ContactReadResult read(const DatabaseFile& addressBook, const DatabaseFile& images,
                       const StopCheck& stop, Post&& post) {
    ContactReadResult result;
    if (!addressBook.exists()) {
        result.error = "contactDB is not exist";
        return result;
    }
    result.addressBookFound = true;
    PrivateDatabaseCopy copy(*addressBook.folder, stored(addressBook), kAddressBookKey);
    if (copy.path().empty()) {
        result.error = "address book could not be copied";
        return result;
    }
    readImages(images, stop, result);
    if (result.stopped) {
        return result;
    }

    auto db = openPrivateCopy(copy, stop, result.error);
    if (!db) {
        result.error = "address book could not be opened: " + result.error;
        return result;
    }
    if (std::string problem = tableProblem(*db, "ABPerson"); !problem.empty()) {
        result.error = "address book has no readable person table: " + problem;
        return result;
    }
    SqliteStatement persons = db->prepare(kPersonQuery);
    if (!persons.valid()) {
        result.error = "address book has no readable person table: " + db->lastError();
        return result;
    }
    while (persons.step()) {
        if (stopped(stop)) {
            break;
        }
        result.contacts.push_back(personFromRow(persons));
    }
    if (stopped(stop) || persons.abortReason() == SqliteAbort::Stopped) {
        result.stopped = true;
        result.contacts.clear();
        return result;
    }
    if (std::string problem = queryProblem(persons, "ABPerson", *db); !problem.empty()) {
        result.error = "address book read failed: " + problem;
        result.contacts.clear();
        return result;
    }
    persons = SqliteStatement();

    // A missing multi-value table leaves the contacts without numbers and addresses; a view in
    // its place is damage.
    SqliteStatement multi;
    if (db->objectKind("ABMultiValue") != SqliteDb::ObjectKind::Missing) {
        if (std::string problem = tableProblem(*db, "ABMultiValue"); !problem.empty()) {
            result.error = "address book read failed: " + problem;
            result.contacts.clear();
            return result;
        }
        multi = db->prepare(kMultiValueQuery);
    }
    const LabelTexts labels = multi.valid() ? readLabels(*db) : LabelTexts();
    MultiValuesOf multiValues;
    if (multi.valid() && !readMultiValues(multi, labels, multiValues)) {
        if (multi.abortReason() == SqliteAbort::Stopped) {
            result.stopped = true;
            return result;
        }
        result.error = "address book read failed: " + queryProblem(multi, "ABMultiValue", *db);
        return result;
    }
    // The last picture of each person counts.
    std::unordered_map<int, std::size_t> imageOf;
    for (std::size_t i = 0; i < result.images.size(); ++i) {
        imageOf[result.images[i]->rowid()] = i;
    }
    for (const auto& contact : result.contacts) {
        if (stopped(stop)) {
            result.stopped = true;
            return result;
        }
        if (const auto it = imageOf.find(contact->rowid()); it != imageOf.end()) {
            contact->setImageData(result.images[it->second]->imageData());
        }
        if (const auto found = multiValues.find(contact->rowid()); found != multiValues.end()) {
            ContactValues values(*contact);
            for (const MultiValue& each : found->second) {
                values.add(each.property, each.label, each.value);
            }
        }
        post(contact);
    }
    result.ok = true;
    return result;
}

// The database at `path`, read from the folder that holds it.
struct PathDatabase {
    explicit PathDatabase(const std::string& path) {
        const fs::path file(path);
        if (path.empty() || !file.has_filename()) {
            return;
        }
        folder = BackupFolder::open(file.has_parent_path() ? file.parent_path().string() : ".");
        name = file.filename().string();
    }
    DatabaseFile file() const { return {&folder, name}; }

    BackupFolder folder;
    std::string name;
};

ContactReadResult plainScan(const DatabaseFile& book, const DatabaseFile& images,
                            NotificationCenter* target, const StopCheck& stop) {
    auto& center = target != nullptr ? *target : NotificationCenter::defaultCenter();
    ContactReadResult result =
        read(book, images, stop, [&](const std::shared_ptr<PRContactNode>& contact) {
            center.post(kScanContactInfo, contact);
        });
    if (result.error == "contactDB is not exist") {
        qCInfo(lcBackup, "contactDB is not exist");
        return result;
    }
    if (result.stopped) {
        return result;  // the scan was stopped: its end is not this reader's to post
    }
    center.post(kScanProgressInfo, kContactScanProgress);
    result.progressPosted = true;
    return result;
}

ContactReadResult transferScan(const DatabaseFile& book, const DatabaseFile& images,
                               NotificationCenter* target) {
    auto& center = target != nullptr ? *target : NotificationCenter::defaultCenter();
    ContactReadResult result =
        read(book, images, {}, [&](const std::shared_ptr<PRContactNode>& contact) {
            center.post(kScanTransferContactInfo, contact);
        });
    if (result.error == "contactDB is not exist") {
        qCInfo(lcBackup, "contactDB is not exist");
        return result;
    }
    center.post(kScanTransferContactFinished);
    return result;
}

}  // namespace

ContactReadResult readContacts(const std::string& addressBookPath, const std::string& imagesPath) {
    const PathDatabase book(addressBookPath);
    const PathDatabase images(imagesPath);
    return read(book.file(), images.file(), {}, [](const std::shared_ptr<PRContactNode>&) {});
}

ContactReadResult scanContacts(const std::string& addressBookPath, const std::string& imagesPath,
                               NotificationCenter* target, const std::function<bool()>& stop) {
    const PathDatabase book(addressBookPath);
    const PathDatabase images(imagesPath);
    return plainScan(book.file(), images.file(), target, stop);
}

ContactReadResult scanTransferContacts(const std::string& addressBookPath,
                                       const std::string& imagesPath) {
    const PathDatabase book(addressBookPath);
    const PathDatabase images(imagesPath);
    return transferScan(book.file(), images.file(), nullptr);
}

std::string backupFilePath(const std::string& backupFolder, const std::string& key) {
    const std::string name = locateStoredFile(BackupFolder::open(backupFolder), key);
    return name.empty() ? std::string() : (fs::path(backupFolder) / name).string();
}

namespace {

template <class Scan>
ContactReadResult scanFolder(const std::string& backupFolder, const BackupManifest* manifest,
                             Scan&& scan) {
    if (backupFolder.empty()) {
        ContactReadResult result;
        result.error = "no backup folder";
        return result;
    }
    const BackupFolder folder = BackupFolder::open(backupFolder);
    auto locate = [&](const char* key) {
        if (manifest == nullptr) {
            return locateStoredFile(folder, key);
        }
        const std::string name = storedFileName(key, manifest->layout);
        return folder.isFile(name) ? name : std::string();
    };
    const std::string addressBook = locate(kAddressBookKey);
    if (addressBook.empty()) {
        qCInfo(lcBackup, "contactDB is not exist");
        ContactReadResult result;
        result.error = "contactDB is not exist";
        return result;
    }
    return scan(DatabaseFile{&folder, addressBook},
                DatabaseFile{&folder, locate(kContactImagesKey)});
}

}  // namespace

ContactReadResult scanContactThread(const std::string& backupFolder, NotificationCenter* center,
                                    const std::function<bool()>& stop) {
    return scanFolder(backupFolder, nullptr,
                      [center, &stop](const DatabaseFile& book, const DatabaseFile& images) {
                          return plainScan(book, images, center, stop);
                      });
}

ContactReadResult scanTransferContactThread(const std::string& backupFolder,
                                            NotificationCenter* center) {
    return scanFolder(backupFolder, nullptr,
                      [center](const DatabaseFile& book, const DatabaseFile& images) {
                          return transferScan(book, images, center);
                      });
}

ContactReadResult scanContactThread(const std::string& backupFolder,
                                    const BackupManifest& manifest) {
    return scanFolder(backupFolder, &manifest,
                      [](const DatabaseFile& book, const DatabaseFile& images) {
                          return plainScan(book, images, nullptr, {});
                      });
}

ContactReadResult scanTransferContactThread(const std::string& backupFolder,
                                            const BackupManifest& manifest) {
    return scanFolder(backupFolder, &manifest,
                      [](const DatabaseFile& book, const DatabaseFile& images) {
                          return transferScan(book, images, nullptr);
                      });
}

namespace {

QString stripPhone(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c != u'-' && c != u'(' && c != u')' && c != u' ') {
            out.append(c);
        }
    }
    return out;
}

}  // namespace

std::shared_ptr<PRContactNode> findContactByPhone(const ContactList& contacts, const QString& phone,
                                                  bool requireLongMatch) {
    const QString number = stripPhone(phone);
    for (const auto& contact : contacts) {
        if (!contact) {
            continue;
        }
        const QString phones = contact->contactPhone();
        if (phones.isEmpty()) {
            continue;
        }
        const QString candidate = stripPhone(phones);
        const bool numberShorter = number.size() <= candidate.size();
        const QString& shorter = numberShorter ? number : candidate;
        const QString& longer = numberShorter ? candidate : number;
        const qsizetype length = shorter.size();
        const QString part = shorter.mid(length / 4, length / 2 + length / 4);
        if (part.isEmpty() || (requireLongMatch && part.size() <= 5)) {
            continue;
        }
        if (longer.contains(part, Qt::CaseInsensitive)) {
            return contact;
        }
    }
    return nullptr;
}

QString joinedContactText(const QString& current, const QString& value) {
    return QStringLiteral("%1 %2").arg(current, value);
}

ContactValues::ContactValues(PRContactNode& contact)
    : contact_(contact),
      phone_(contact.contactPhone()),
      email_(contact.contactEmail()),
      address_(contact.contactAdress()),
      homepage_(contact.contactHomepage()) {}

ContactValues::~ContactValues() {
    contact_.setContactPhone(phone_);
    contact_.setContactEmail(email_);
    contact_.setContactAdress(address_);
    contact_.setContactHomepage(homepage_);
    if (!phones_.empty()) {
        contact_.setContactPhones(phones_);
    }
    if (!emails_.empty()) {
        contact_.setContactEmails(emails_);
    }
}

void ContactValues::add(std::int64_t property, const QString& label, const QString& value) {
    // Appended in place: joinedContactText() of the text so far and the value.
    const auto join = [&value](QString& text) {
        text += u' ';
        text += value;
    };
    switch (property) {
        case kPhone:
            join(phone_);
            phones_.push_back({label, value});
            break;
        case kEmail:
            join(email_);
            emails_.push_back({label, value});
            break;
        case kAddress:
            join(address_);
            break;
        case kHomepage:
            join(homepage_);
            break;
        default:
            break;
    }
}

}  // namespace nimbara::backup
