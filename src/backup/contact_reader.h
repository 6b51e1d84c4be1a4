// The contact readers: the address book and the contact pictures of a backup become
// PRContactNode records posted on the default notification centre.
//
// Plain reader (backup browser): "ScanContactInfo" per contact, then "ScanProgressInfo" with the
// int 40. Copy reader (transfer and one-click copy pages): "ScanTransferContactInfo" per contact,
// then "ScanTransferContactFinished" with no object. The object of a per-contact notification is
// a std::shared_ptr<PRContactNode>. When the address book is missing or unreadable nothing is
// posted. Both run and post on the calling thread, and read private copies of the databases, so
// the backup itself is never changed. The databases are found and copied through BackupFolder:
// one reached through a link is not read.
//
// Only real tables are read: a view standing in for ABPerson, ABMultiValue or ABFullSizeImage
// (which could run forever) is damage. A missing ABMultiValue leaves the contacts without
// numbers and addresses.
#pragma once

#include "backup/backup_manifest.h"
#include "backup/pr_contact_image_node.h"
#include "backup/pr_contact_node.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace nimbara {
class NotificationCenter;
}

namespace nimbara::backup {

// File keys of the address book and of the contact pictures in a backup.
inline constexpr const char* kAddressBookKey = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
inline constexpr const char* kContactImagesKey = "cd6702cea29fe89cf280a76794405adb17f9a0ee";

inline constexpr const char* kScanContactInfo = "ScanContactInfo";
inline constexpr const char* kScanProgressInfo = "ScanProgressInfo";
inline constexpr const char* kScanTransferContactInfo = "ScanTransferContactInfo";
inline constexpr const char* kScanTransferContactFinished = "ScanTransferContactFinished";
inline constexpr int kContactScanProgress = 40;

using ContactList = std::vector<std::shared_ptr<PRContactNode>>;
using ContactImageList = std::vector<std::shared_ptr<PRContactImageNode>>;

struct ContactReadResult {
    bool ok = false;                // the address book was read
    bool addressBookFound = false;  // there is an address book (read or not)
    bool imagesFound = false;       // there is a pictures database (read or not)
    std::string error;              // why not, when !ok: a line for the log
    std::string imageError;         // why the pictures could not be read (contacts are still read)
    ContactList contacts;           // in the order of the person rows
    ContactImageList images;
    bool progressPosted = false;  // the reader posted its end notification
    bool stopped = false;         // the stop check ended the read; nothing more was posted
};

// Reads the address book at `addressBookPath` and the pictures at `imagesPath` (either may be
// missing; an empty path is a missing file) without posting anything. Both are read from private
// copies. A missing address book, or one without the person table, gives !ok and no contacts.
ContactReadResult readContacts(const std::string& addressBookPath, const std::string& imagesPath);

// The plain and the copy reader over explicit database paths; they return what they posted.
// `stop` (may be empty) is checked between rows and while a query runs; a stopped read posts
// neither more contacts nor its end value.
ContactReadResult scanContacts(const std::string& addressBookPath, const std::string& imagesPath,
                               NotificationCenter* center = nullptr,
                               const std::function<bool()>& stop = {});
ContactReadResult scanTransferContacts(const std::string& addressBookPath,
                                       const std::string& imagesPath);

// Where a backed-up file with the given key is stored in `backupFolder`: "<folder>/<kk>/<key>"
// (two-hex-digit subfolders) or "<folder>/<key>" (flat), whichever exists as a regular file
// reached without a link, the subfolder form first. Empty when neither does or `key` is not a
// 40-digit lower-case key.
std::string backupFilePath(const std::string& backupFolder, const std::string& key);

// The readers over a backup folder; the layout is taken from the backup itself. An empty folder
// path does nothing; a missing address book logs "contactDB is not exist" and posts nothing.
ContactReadResult scanContactThread(const std::string& backupFolder,
                                    NotificationCenter* center = nullptr,
                                    const std::function<bool()>& stop = {});
// `center` null: the default centre.
ContactReadResult scanTransferContactThread(const std::string& backupFolder,
                                            NotificationCenter* center = nullptr);
// The same with the layout and file list of an already read manifest.
ContactReadResult scanContactThread(const std::string& backupFolder,
                                    const BackupManifest& manifest);
ContactReadResult scanTransferContactThread(const std::string& backupFolder,
                                            const BackupManifest& manifest);

// The contact whose phone numbers match `phone`: "-", "(", ")" and blanks are removed from both
// texts, the middle of the shorter one (from a quarter of its length, half plus a quarter of its
// length long) is searched case-insensitively in the longer one; the first contact in list order
// wins. With `requireLongMatch` the searched part must be longer than 5 characters. An empty part
// never matches.
std::shared_ptr<PRContactNode> findContactByPhone(const ContactList& contacts, const QString& phone,
                                                  bool requireLongMatch);

// Two texts of a contact joined as its lists show them: "<current> <value>".
QString joinedContactText(const QString& current, const QString& value);

// Fills a contact's phones, e-mails, address and home page from its multi-value rows (property
// code, label, value), one row at a time, in the order they are given. The values are gathered
// here (each added in the same time however many came before) and the contact takes them when
// this goes: the texts joined after its own, the lists of the numbers and e-mails added here.
class ContactValues {
  public:
    explicit ContactValues(PRContactNode& contact);
    ~ContactValues();
    ContactValues(const ContactValues&) = delete;
    ContactValues& operator=(const ContactValues&) = delete;

    void add(std::int64_t property, const QString& label, const QString& value);

  private:
    PRContactNode& contact_;
    QString phone_;
    QString email_;
    QString address_;
    QString homepage_;
    std::vector<PRContactValue> phones_;
    std::vector<PRContactValue> emails_;
};

}  // namespace nimbara::backup
