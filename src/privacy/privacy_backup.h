// The privacy cleaner's view of a fresh device backup: whether it can be read at all (an
// encrypted backup is recognised before anything else is read), which device it belongs to, and
// its file list, read once from whichever manifest the backup holds (Manifest.db with stored
// files in two-digit subfolders, or Manifest.mbdb with stored files flat in the folder). The kind
// and layout are always taken from the backup itself.
//
// The list pass also picks out, as file items, what the cleaner offers to empty whole: Safari's
// page thumbnails and web local storage, message attachments, and the photos whose positions the
// position reader looks for.
//
// Everything here only reads, through BackupFolder (never through a link below the backup
// folder), on the caller's thread; a stop check ends a pass early.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backup/backup_entry.h"
#include "backup/backup_manifest.h"
#include "backup/pr_tree_dir_node.h"
#include "privacy/pr_privacy_node.h"
#include "privacy/privacy_source.h"

namespace nimbara::backup {
class BackupFolder;
}

namespace nimbara::privacy {

using StopCheck = std::function<bool()>;
using PrivacyList = std::vector<std::shared_ptr<PRPrivacyNode>>;

enum class BackupEncryption {
    Plain,      // Manifest.plist says the backup is not encrypted, or there is none to say so
    Encrypted,  // "IsEncrypted" is true, or the list carries an encryption key
    Unreadable  // the folder, or a Manifest.plist that is there, cannot be read: nothing is known
};

struct BackupCheck {
    BackupEncryption encryption = BackupEncryption::Unreadable;
    // The device the backup was made of, from Manifest.plist's lockdown values or Info.plist;
    // empty when neither names it.
    QString udid;
    // For the user when the backup cannot be read: plain words, empty otherwise.
    QString message;
    // For the log when something could not be read.
    std::string error;

    bool readable() const { return encryption == BackupEncryption::Plain; }
    // Whether the backup names `deviceUdid` (compared without regard to case, as the backup
    // files spell it in capitals in places). False when it names no device.
    bool belongsTo(const QString& deviceUdid) const;
};

// Reads Manifest.plist (and Info.plist for the device) of the backup folder. A folder that is
// not there, or a Manifest.plist that is there but is no property list, is Unreadable: an
// encrypted backup must never be taken for a plain one.
BackupCheck ReadManifestEncyptedwithPath(const std::string& backupFolder);

// The file list and the file items of one backup.
struct PrivacyFileList {
    backup::ManifestKind kind = backup::ManifestKind::None;
    backup::BackupLayout layout = backup::BackupLayout::Flat;
    // Every entry of the list (files, folders and links), in list order; each record's fileKey
    // is the full path of its stored file.
    std::vector<std::shared_ptr<PRTreeDirNode>> backupFileArray;
    PrivacyList safariWebCacheArray;     // Safari thumbnails and web local storage
    PrivacyList messageAttachmentArray;  // stored message attachments
    PrivacyList PhotoPrivacyArray;       // photos of the media domains (not ticked)
    // File items found (cache files and attachments) and their bytes.
    std::uint64_t fileCount = 0;
    std::uint64_t fileBytes = 0;
    std::size_t refusedPaths = 0;  // entries left out for their paths: the list is damaged
    std::string error;             // why the list could not be read to its end
    bool stopped = false;

    bool found() const { return kind != backup::ManifestKind::None; }
    // The full stored path of the last file entry whose relative path equals `relativePath`
    // exactly; empty when none does.
    QString getFileKeyBytheFilepath(const QString& relativePath) const;
};

// The list pass over the backup folder. A backup without a file list gives an empty list
// (kind None) and no error; a list damaged part way keeps what was read before the damage and
// says so in `error`.
PrivacyFileList scanBackupDataAnalyThread(const std::string& backupFolder,
                                          const StopCheck& stop = {});

// What the pass makes of one entry (with the entry's stored file known, as BackupManifest::visit
// gives it): a web cache item, a message attachment item, a photo item, or nothing. Only a
// regular file the backup holds is an item; cache and attachment items must not be empty.
enum class FileItemKind { None, WebCache, MessageAttachment, Photo };
FileItemKind classifyBackupEntry(const backup::BackupEntry& entry);

// The source of a whole stored file of the backup (a file item, a photo).
PrivacySourceRef fileItemSource(const backup::BackupEntry& entry, backup::BackupLayout layout,
                                PrivacyFileFormat format);

}  // namespace nimbara::privacy
