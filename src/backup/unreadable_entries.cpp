// Taking the entries no reader accepts out of a backup a device sent.
#include "backup/unreadable_entries.h"

#include <string>
#include <system_error>

#include "backup/backup_entry.h"
#include "backup/backup_folder.h"
#include "backup/backup_manifest.h"
#include "backup/manifest_db.h"
#include "backup/sqlite_db.h"

namespace nimbara::backup {

namespace fs = std::filesystem;

namespace {

constexpr const char* kManifestDb = "Manifest.db";
constexpr int kFlagFile = 1;

}  // namespace

UnreadableEntries leaveOutUnreadableEntries(const fs::path& folder) {
    UnreadableEntries result;
    std::string why;
    const BackupFolder opened = BackupFolder::open(folder.string(), &why);
    if (!opened.isOpen()) {
        result.error = why;
        return result;
    }
    const ManifestVisitResult read =
        BackupManifest::visit(opened, [](BackupEntry&&) { return true; });
    if (!read.error.empty() || read.refusedPaths == 0) {
        return result;  // a list that cannot be read is for the backup's own check to refuse
    }
    if (read.kind != ManifestKind::Db) {
        result.error = "its Manifest.mbdb names " + std::to_string(read.refusedPaths) +
                       " paths deeper than " + std::to_string(kMaxPathComponents) +
                       " folders or longer than " + std::to_string(kMaxPathBytes) + " bytes";
        return result;
    }
    auto db = SqliteDb::open(opened.checkedPath(kManifestDb), SqliteDb::Mode::ReadWrite, &why);
    if (!db) {
        result.error = "Manifest.db cannot be changed: " + why;
        return result;
    }
    std::vector<std::string> keys;
    SqliteStatement rows = db->prepare("SELECT fileID, domain, relativePath, flags FROM Files");
    while (rows.valid() && rows.step()) {
        const std::string domain = rows.columnString(1);
        const std::string path = rows.columnString(2);
        if (!isAcceptableEntryPath(domain, path)) {
            keys.push_back(rows.columnString(0));
            if (rows.columnInt(3) == kFlagFile) {
                result.files.push_back(domain + "/" + path);
            }
        }
    }
    rows = SqliteStatement();
    SqliteStatement remove = db->prepare("DELETE FROM Files WHERE fileID = ?");
    bool removed = remove.valid() && db->exec("BEGIN");
    for (const std::string& key : keys) {
        removed = removed && remove.bind(1, key) && !remove.step() && remove.done();
        remove.reset();
    }
    if (!removed || !db->exec("COMMIT")) {
        result.error = "Manifest.db cannot be changed: " + db->lastError();
        result.files.clear();
        return result;
    }
    for (const std::string& key : keys) {
        if (isValidFileKey(key)) {
            std::error_code ignored;
            fs::remove(folder / key.substr(0, 2) / key, ignored);  // a link goes, not its target
        }
    }
    return result;
}

}  // namespace nimbara::backup
