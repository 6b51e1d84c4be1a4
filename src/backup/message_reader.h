// The message readers: the text messages of a backup's message database become PRMessageNode
// records, each with the other party's contact name and picture and the message's attachment.
//
// Plain reader (backup browser): "ScanMessageInfo" per message, then "ScanProgressInfo" with the
// int 50. Copy reader (transfer and one-click copy pages): "ScanTransferMessageInfo" per message,
// then always "ScanTransferMessageFinished" with no object, whatever went wrong, so a page that
// waits for it never waits forever. The object of a per-message notification is a
// std::shared_ptr<PRMessageNode>. Both run and post on the calling thread and read a private copy
// of the database (with the companion "-wal" the backup's list names beside it), so the backup is
// never changed.
//
// Two layouts are read, told apart by the database itself: the one with a `handle` table (iOS 6
// and later) and the older one with `group_member` and the "madrid" columns. Real databases come
// in many shapes: every column the reader wants that a table lacks reads as NULL, a missing
// attachment table leaves the messages without attachments, a missing `message` table gives no
// messages. Only a database that is there and cannot be read is an error.
#pragma once

#include "backup/contact_reader.h"
#include "backup/pr_message_attach_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_tree_dir_node.h"
#include "backup/sqlite_db.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace nimbara {
class NotificationCenter;
}

namespace nimbara::backup {

class BackupFolder;

// The message database of a backup: HomeDomain, Library/SMS/sms.db.
inline constexpr const char* kMessageDatabaseKey = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
inline constexpr const char* kMessageDatabaseDomain = "HomeDomain";
inline constexpr const char* kMessageDatabasePath = "Library/SMS/sms.db";

inline constexpr const char* kScanTransferMessageInfo = "ScanTransferMessageInfo";
inline constexpr const char* kScanTransferMessageFinished = "ScanTransferMessageFinished";
inline constexpr int kMessageScanProgress = 50;

// The largest "Contact" or "Location" attachment whose contents a message carries.
inline constexpr std::uint64_t kMaxCardAttachmentBytes = 4 * 1024 * 1024;

enum class MessageLayout { None, Handle, GroupMember };

// "Image" for a picture extension, "Mov" for a movie or sound, "Contact" for a file named
// "Contact.vcf", "Location" for "Current Location.loc.vcf", else a null text.
QString messageAttachType(const QString& attachpath);

// The device path of an attachment as the database names it ("~/Library/SMS/Attachments/..."),
// relative to the home folder as the backup's list names it: every "~/" removed, and a leading
// "/var/mobile/" (older databases) too.
QString messageAttachPath(const QString& filename);

// The other party's contact name for an address, or a null text; on a match `picture` receives
// the contact's picture.
using MessageNameLookup = std::function<QString(const QString& address, QByteArray& picture)>;

// The name look-up over a contact list: the middle of the shorter number found in the longer one,
// at least 6 characters of it.
MessageNameLookup contactNameLookup(ContactList contacts);

// The stored files of a backup by their relative path on the device (the last entry of a path
// wins), for the attachments.
class AttachmentFiles {
  public:
    AttachmentFiles() = default;
    // From the entries of the manifest pass (fileKey holds the stored file's full path): those
    // below "Library/SMS/", where a device keeps message attachments.
    AttachmentFiles(const std::vector<std::shared_ptr<PRTreeDirNode>>& entries,
                    const std::string& backupFolder);

    void add(const QString& relativePath, const QString& storedPath);
    // The full path of the stored file, or a null text when the list does not name one.
    QString storedPath(const QString& relativePath) const;
    // The name of that file inside the backup folder (for reading it through BackupFolder);
    // empty when it does not lie inside the folder.
    std::string storedName(const QString& relativePath) const;
    bool empty() const { return files_.empty(); }

  private:
    std::string folder_;
    std::unordered_map<QString, QString> files_;
};

// A message database to read: the stored file inside a backup folder, and the stored companion
// "-wal" (empty when the backup has none).
struct MessageDatabase {
    const BackupFolder* folder = nullptr;
    std::string relative;
    std::string walRelative;
};

struct MessageReadOptions {
    MessageNameLookup nameOf;                          // empty: no names
    const AttachmentFiles* attachmentFiles = nullptr;  // null: attachments stay unresolved
    std::function<bool()> stop;  // checked between rows and while a query runs
    // Called once every row was handed on, with the private copy still open, for a reader that
    // needs more of the same database (only reads); may be empty.
    std::function<void(SqliteDb& db)> afterRows;
};

struct MessageReadResult {
    bool databaseFound = false;  // there is a message database (read or not)
    bool ok = false;             // it was read to its end
    std::string error;           // why not, when !ok and found: a line for the log
    MessageLayout layout = MessageLayout::None;
    std::size_t messages = 0;     // messages handed on
    std::size_t attachments = 0;  // attachment rows read
    bool walCompanion = false;    // a companion "-wal" was copied with the database
    bool progressPosted = false;  // the reader posted its end notification
    bool stopped = false;         // the stop check ended the read
};

using MessageSink = std::function<void(const std::shared_ptr<PRMessageNode>&)>;

// Reads every message of the database, handing each to `sink` in row order; nothing is kept.
MessageReadResult readMessages(const MessageDatabase& database, const MessageReadOptions& options,
                               const MessageSink& sink);

// The attachment rows of a database, in row order; empty when it has no attachment tables.
std::vector<std::shared_ptr<PRMessageAttachNode>> readMessageAttachments(const std::string& path);
std::vector<std::shared_ptr<PRMessageAttachNode>> readMessageAttachments(SqliteDb& db);

// What the plain reader takes from the scan's earlier steps.
struct MessageScanInputs {
    ContactList contacts;                                   // for the names
    std::vector<std::shared_ptr<PRTreeDirNode>> treeFiles;  // for the attachments
    // Whether the backup's list names a file key; empty: the list is not known, and a stored
    // companion counts on its own.
    std::function<bool(const std::string& fileKey)> isListed;
};

// The plain reader over a backup folder. A backup without a message database posts nothing.
MessageReadResult scanMessageThread(const std::string& backupFolder, NotificationCenter* center,
                                    const MessageScanInputs& inputs,
                                    const std::function<bool()>& stop = {});

// The copy reader over a backup folder; names come from `transContacts` (the copy contact
// reader's list). It reads the backup's list itself for the attachments and the companion
// "-wal", and always ends with "ScanTransferMessageFinished".
MessageReadResult scanTransferMessageThread(const std::string& backupFolder,
                                            const ContactList& transContacts,
                                            NotificationCenter* center = nullptr);

}  // namespace nimbara::backup
