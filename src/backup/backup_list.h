// The local device backups on this computer: one PRIOSDeviceNode per usable backup folder.
#pragma once

#include <QDateTime>
#include <QString>

#include <memory>
#include <vector>

#include "backup/pr_ios_device_node.h"
#include "platform/result.h"

namespace nimbara::backup {

// A folder entry of the backup root that is not offered, and why.
struct SkippedBackupEntry {
    QString name;
    QString reason;
};

struct BackupListing {
    // Sorted by folder name (see listLocalBackups).
    std::vector<std::shared_ptr<PRIOSDeviceNode>> backups;
    // Entries that were left out; hidden names (starting with ".") are not reported.
    std::vector<SkippedBackupEntry> skipped;
};

// Reads every backup folder directly inside root. A backup folder is listed when it holds at
// least two entries and a readable Info.plist, or else a readable Manifest.plist with a "Lockdown"
// dictionary. Hidden entries, plain files, empty folders, links that lead out of root and folders
// with neither plist are left out. A missing or unreadable root gives an empty listing.
//
// The order is the folder names' code-unit order. The folder name is the device identifier, so it
// is unique and never changes; unlike the listing order of the file system or the backup time it
// keeps the first row (the one a scan of "the first backup" takes) the same from run to run.
BackupListing scanLocalBackups(const QString& root);
std::vector<std::shared_ptr<PRIOSDeviceNode>> listLocalBackups(const QString& root);

// Reads one backup folder: its node (never null), or why it is not a usable backup ("not a
// folder", ...).
Result<std::shared_ptr<PRIOSDeviceNode>> readBackupFolder(const QString& folder);

// Whether the backup in folder is encrypted (Manifest.plist "IsEncrypted" is true).
bool isEncryptedBackup(const QString& folder);
// The text shown when an encrypted backup is refused.
QString encryptedBackupMessage();

// Backup time as the list shows it: "yyyy-MM-dd HH:mm" in UTC.
QString formatBackupTime(const QDateTime& modified);

// Whether a backup's iOS version uses the iOS 6 and later database layouts. iOS7OrLater (may be
// null) is set to true for 7, 8 and every major version from 9 on, and left alone otherwise.
bool iosVersionIsIOS6OrLater(const QString& version, bool* iOS7OrLater);

}  // namespace nimbara::backup
