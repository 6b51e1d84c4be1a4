#include "backup/contact_reader.h"

#include "backup/database_copy.h"
#include "backup/sqlite_db.h"
#include "platform/notification_center.h"

#include <QDebug>

#include <atomic>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace nimbara::backup {

namespace {

constexpr const char* kImagesQuery = "select record_id, data from ABFullSizeImage";
constexpr const char* kPersonQuery =
    "select DISTINCT Rowid, first, Department,DisplayName,firstPhonetic,jobTitle,organization,"
    "middle,middlePhonetic,CreationDate,Last,Note,Nickname,prefix, suffix, Birthday from abperson ";
constexpr const char* kMultiValueQuery =
    "select property,label,value, UID from abmultivalue where record_id = ? ";

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

// A private copy of a backed-up database, removed when the reader is done with it.
class ScratchCopy {
  public:
    ScratchCopy(const std::string& source, const char* key) {
        static std::atomic<unsigned> counter{0};
        const std::string name = std::string(key) + "-" + std::to_string(++counter);
        if (auto copy = prepareDatabaseCopy(source, name)) {
            path_ = *copy;
        }
    }
    ~ScratchCopy() {
        if (path_.empty()) {
            return;
        }
        std::error_code ec;
        for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
            fs::remove(fs::path(path_ + suffix), ec);
        }
    }
    ScratchCopy(const ScratchCopy&) = delete;
    ScratchCopy& operator=(const ScratchCopy&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

QString joined(const QString& current, const QString& value) {
    return QStringLiteral("%1 %2").arg(current, value);
}

bool isRegularFile(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(fs::symlink_status(path, ec));
}

void readImages(const std::string& imagesPath, ContactReadResult& result) {
    if (!isRegularFile(imagesPath)) {
        result.imageError = "no pictures database";
        return;
    }
    result.imagesFound = true;
    ScratchCopy copy(imagesPath, kContactImagesKey);
    if (copy.path().empty()) {
        result.imageError = "pictures database could not be copied";
        return;
    }
    auto db = SqliteDb::open(copy.path(), SqliteDb::Mode::ReadOnly, &result.imageError);
    if (!db) {
        return;
    }
    SqliteStatement st = db->prepare(kImagesQuery);
    if (!st.valid()) {
        result.imageError = "pictures query failed: " + db->lastError();
        return;
    }
    while (st.step()) {
        auto node = std::make_shared<PRContactImageNode>();
        node->setRowid(st.columnInt(0));
        node->setImageData(st.columnBlob(1));
        result.images.push_back(std::move(node));
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
    apply(kJobTitle,
          [&](const QString& v) { node->setContactCompany(joined(node->contactCompany(), v)); });
    apply(kOrganization,
          [&](const QString& v) { node->setContactCompany(joined(node->contactCompany(), v)); });
    apply(kMiddle, [&](const QString& v) { node->setContactName(joined(node->contactName(), v)); });
    apply(kLast, [&](const QString& v) { node->setContactName(joined(node->contactName(), v)); });
    apply(kNote, [&](const QString& v) { node->setContactNote(v); });
    apply(kBirthday, [&](const QString& v) { node->setContactBirthday(v); });
    return node;
}

void applyMultiValues(SqliteStatement& st, PRContactNode& contact) {
    st.reset();
    if (!st.bind(1, static_cast<std::int64_t>(contact.rowid()))) {
        return;
    }
    while (st.step()) {
        const QString value = st.columnText(2);
        if (value.isEmpty()) {
            continue;
        }
        switch (st.columnInt(0)) {
            case kPhone:
                contact.setContactPhone(joined(contact.contactPhone(), value));
                break;
            case kEmail:
                contact.setContactEmail(joined(contact.contactEmail(), value));
                break;
            case kAddress:
                contact.setContactAdress(joined(contact.contactAdress(), value));
                break;
            case kHomepage:
                contact.setContactHomepage(joined(contact.contactHomepage(), value));
                break;
            default:
                break;
        }
    }
}

// Reads everything; `post` is called for each finished contact, in order.
template <class Post>
ContactReadResult read(const std::string& addressBookPath, const std::string& imagesPath,
                       Post&& post) {
    ContactReadResult result;
    if (!isRegularFile(addressBookPath)) {
        result.error = "contactDB is not exist";
        return result;
    }
    result.addressBookFound = true;
    ScratchCopy copy(addressBookPath, kAddressBookKey);
    if (copy.path().empty()) {
        result.error = "address book could not be copied";
        return result;
    }
    readImages(imagesPath, result);

    auto db = SqliteDb::open(copy.path(), SqliteDb::Mode::ReadOnly, &result.error);
    if (!db) {
        result.error = "address book could not be opened: " + result.error;
        return result;
    }
    SqliteStatement persons = db->prepare(kPersonQuery);
    if (!persons.valid()) {
        result.error = "address book has no readable person table: " + db->lastError();
        return result;
    }
    while (persons.step()) {
        result.contacts.push_back(personFromRow(persons));
    }
    if (!persons.done()) {
        result.error =
            "address book read failed: " + std::string(sqlite3_errstr(persons.lastResult()));
        result.contacts.clear();
        return result;
    }
    persons = SqliteStatement();

    // A missing multi-value table leaves the contacts without numbers and addresses.
    SqliteStatement multi = db->prepare(kMultiValueQuery);
    for (const auto& contact : result.contacts) {
        for (auto it = result.images.rbegin(); it != result.images.rend(); ++it) {
            if ((*it)->rowid() == contact->rowid()) {
                contact->setImageData((*it)->imageData());
                break;
            }
        }
        if (multi.valid()) {
            applyMultiValues(multi, *contact);
        }
        post(contact);
    }
    result.ok = true;
    return result;
}

}  // namespace

ContactReadResult readContacts(const std::string& addressBookPath, const std::string& imagesPath) {
    return read(addressBookPath, imagesPath, [](const std::shared_ptr<PRContactNode>&) {});
}

ContactReadResult scanContacts(const std::string& addressBookPath, const std::string& imagesPath,
                               NotificationCenter* target) {
    auto& center = target != nullptr ? *target : NotificationCenter::defaultCenter();
    ContactReadResult result =
        read(addressBookPath, imagesPath, [&](const std::shared_ptr<PRContactNode>& contact) {
            center.post(kScanContactInfo, contact);
        });
    if (result.error == "contactDB is not exist") {
        qInfo("contactDB is not exist");
        return result;
    }
    center.post(kScanProgressInfo, kContactScanProgress);
    result.progressPosted = true;
    return result;
}

ContactReadResult scanTransferContacts(const std::string& addressBookPath,
                                       const std::string& imagesPath) {
    auto& center = NotificationCenter::defaultCenter();
    ContactReadResult result =
        read(addressBookPath, imagesPath, [&](const std::shared_ptr<PRContactNode>& contact) {
            center.post(kScanTransferContactInfo, contact);
        });
    if (result.error == "contactDB is not exist") {
        qInfo("contactDB is not exist");
        return result;
    }
    center.post(kScanTransferContactFinished);
    return result;
}

std::string backupFilePath(const std::string& backupFolder, const std::string& key) {
    std::error_code ec;
    for (BackupLayout layout : {BackupLayout::Sharded, BackupLayout::Flat}) {
        const std::string candidate = storedFilePath(backupFolder, key, layout);
        if (!candidate.empty() && fs::is_regular_file(fs::symlink_status(candidate, ec))) {
            return candidate;
        }
    }
    return {};
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
    auto locate = [&](const char* key) {
        return manifest != nullptr ? storedFilePath(backupFolder, key, manifest->layout)
                                   : backupFilePath(backupFolder, key);
    };
    const std::string addressBook = locate(kAddressBookKey);
    if (addressBook.empty()) {
        qInfo("contactDB is not exist");
        ContactReadResult result;
        result.error = "contactDB is not exist";
        return result;
    }
    return scan(addressBook, locate(kContactImagesKey));
}

}  // namespace

ContactReadResult scanContactThread(const std::string& backupFolder, NotificationCenter* center) {
    return scanFolder(backupFolder, nullptr,
                      [center](const std::string& book, const std::string& images) {
                          return scanContacts(book, images, center);
                      });
}

ContactReadResult scanTransferContactThread(const std::string& backupFolder) {
    return scanFolder(backupFolder, nullptr, scanTransferContacts);
}

ContactReadResult scanContactThread(const std::string& backupFolder,
                                    const BackupManifest& manifest) {
    return scanFolder(backupFolder, &manifest,
                      [](const std::string& book, const std::string& images) {
                          return scanContacts(book, images);
                      });
}

ContactReadResult scanTransferContactThread(const std::string& backupFolder,
                                            const BackupManifest& manifest) {
    return scanFolder(backupFolder, &manifest, scanTransferContacts);
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

}  // namespace nimbara::backup
