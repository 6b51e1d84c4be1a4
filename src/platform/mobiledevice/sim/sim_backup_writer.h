// Writes a local backup of a simulated device, as the platform's backup tool leaves it:
// BACKUP_ROOT/<UDID>/ with Info.plist, Manifest.plist, Status.plist, the file list and every
// backed-up file stored under its file key.
//
// The device's iOS version decides the layout, as on a real device: from version 10 on the
// file list is Manifest.db and the files lie in subfolders named after the first two digits of
// their key; before it the list is Manifest.mbdb and the files lie flat in the folder.
//
// A file whose path the backup's readers would refuse (see backup_entry.h) is left out, with the
// folders below that depth, and named in the result: the backup stays one that can be restored.
//
// The options give the shapes real backups often take: a binary Info.plist, no Manifest.plist or
// Status.plist, and rows listed without a stored file.
//
// The backup is built in a hidden folder beside the target ("." + UDID + ".partial-XXXXXX") and
// moved into place only when it is complete, replacing an earlier backup of the same device
// without a moment in which a kill could lose both; a failure leaves the earlier backup as it was.
// Nothing is written outside BACKUP_ROOT.
//
// Both the backup tool (for a simulated device) and nimbara-simdevice write backups with this.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nimbara::md::sim {

// A row of the file list with nothing stored for it.
struct ListedOnlyEntry {
    std::string domain;
    std::string relativePath;
    bool folder = false;
    std::uint64_t size = 0;  // the size the row gives a file
};

struct BackupOptions {
    // Stands in for the device's ProductVersion ("9.3.5", "12.4").
    std::optional<std::string> iosVersionOverride{};
    // Forces the layout: true Manifest.mbdb and flat files, false Manifest.db and subfolders.
    std::optional<bool> legacyLayout{};
    // Info.plist as a binary property list instead of XML.
    bool binaryInfoPlist = false;
    // false: the backup has no Manifest.plist, or no Status.plist.
    bool manifestPlist = true;
    bool statusPlist = true;
    // Rows listed after those of backup-source/, without stored files.
    std::vector<ListedOnlyEntry> listedOnly{};
    // When set, the device must carry this UniqueDeviceID: a folder whose device.plist names
    // another device by now is not backed up under either name.
    std::string expectedUdid{};
    // Manifest.plist says the backup is encrypted ("IsEncrypted") and carries a key bag.
    bool encrypted = false;
    // Asked before each stored file (with the number stored so far) and once more, with
    // `complete` set, before the backup is put in place: a non-empty answer ends the backup with
    // that text as its error, and nothing is left behind.
    std::function<std::string(int storedFiles, bool complete)> interruption{};
    // Writes to `target` another form of the backed-up file `local` (domain, relative path) for
    // a backup made for `productVersion`, and says whether it did; the file is copied as it is
    // otherwise.
    std::function<bool(const std::string& domain, const std::string& relativePath,
                       const std::filesystem::path& local, const std::string& productVersion,
                       const std::filesystem::path& target)>
        variantWriter{};
};

struct BackupResult {
    bool ok = false;
    std::string error;
    std::filesystem::path folder;  // BACKUP_ROOT/<UDID>
    bool legacyLayout = false;
    int files = 0;            // stored files
    int folders = 0;          // folder entries of the list
    int listedOnlyFiles = 0;  // file entries of the list without a stored file
    // Files left out because a backup's readers would refuse their paths (nested deeper than
    // backup::kMaxPathComponents, or longer than backup::kMaxPathBytes): "<domain>/<path>".
    std::vector<std::string> leftOut;
};

// True when the version's major number is below 10 (or it cannot be read as a version).
bool usesLegacyLayout(const std::string& productVersion);

// A UDID that may name a folder: 1 to 64 letters, digits and hyphens.
bool isPlainUdid(const std::string& udid);

// The prefix of the hidden folders a backup of `udid` is built in, beside BACKUP_ROOT/<UDID>.
std::string partialBackupPrefix(const std::string& udid);

// Moves the finished backup `built` (a folder on the file system of `target`) to `target`
// (root/<UDID>), exchanging it with an earlier backup (folder_exchange.h): the earlier backup then
// lies in `built`. Throws when it cannot, leaving the earlier backup in place. Backups of real
// devices are put in place the same way.
void putBackupInPlace(const std::filesystem::path& built, const std::filesystem::path& target);

// The regular files below the backup-source/ of the open device folder `deviceFd`, outside
// hidden domains: what a backup's progress is counted against. Only the folders' listings are
// read.
std::int64_t sourceFileCount(int deviceFd);

// The archived file record a row of Manifest.db carries (its "file" column): a binary property
// list, an NSKeyedArchiver archive of one file object with the row's path, size, time, mode and
// inode. Made byte for byte as libplist makes it from the same values.
std::string manifestFileRecord(const std::string& relativePath, std::uint64_t size,
                               std::int64_t modified, std::uint64_t inode, bool folder);

BackupResult writeDeviceBackup(const std::filesystem::path& deviceDir,
                               const std::filesystem::path& backupRoot,
                               const BackupOptions& options = {});

}  // namespace nimbara::md::sim
