#include "backup/manifest_db.h"

#include "backup/sqlite_db.h"
#include "platform/plist_value.h"

#include <filesystem>
#include <system_error>

namespace nimbara::backup {

namespace {

constexpr std::uint32_t kFlagFile = 1;
constexpr std::uint32_t kFlagFolder = 2;
constexpr std::uint32_t kFlagLink = 4;

// The archived file description (column `file`) holds the listed size and mode in its second
// archived object. A missing or malformed description leaves both 0.
void readFileDescription(const QByteArray& blob, BackupEntry& entry) {
    constexpr qsizetype kMaxDescriptionBytes = 64 * 1024;
    if (blob.isEmpty() || blob.size() > kMaxDescriptionBytes) {
        return;
    }
    const std::optional<PlistValue> archive = PlistValue::parse(blob.constData(), blob.size());
    if (!archive) {
        return;
    }
    const PlistValue::Array& objects = (*archive)["$objects"].toArray();
    if (objects.size() < 2 || !objects[1].isDict()) {
        return;
    }
    const std::int64_t size = objects[1]["Size"].toInt64();
    const std::int64_t mode = objects[1]["Mode"].toInt64();
    entry.size = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    entry.mode = mode > 0 && mode <= 0xFFFF ? static_cast<std::uint32_t>(mode) : 0;
}

// The row's flags say what it is; a row whose flags are none of the three known values is
// judged by the mode of its description (a file when that says nothing either).
void setKind(BackupEntry& entry) {
    switch (entry.flags) {
        case kFlagFile:
            break;
        case kFlagFolder:
            entry.isDirectory = true;
            break;
        case kFlagLink:
            entry.isLink = true;
            break;
        default:
            entry.isDirectory = (entry.mode & kModeTypeMask) == kModeFolder;
            entry.isLink = (entry.mode & kModeTypeMask) == kModeLink;
            break;
    }
}

}  // namespace

bool isValidFileKey(const std::string& key) {
    if (key.size() != 40) {
        return false;
    }
    for (char c : key) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex) {
            return false;
        }
    }
    return true;
}

ManifestDbReadResult readManifestDb(const std::string& path) {
    ManifestDbReadResult result;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        result.error = "no manifest database at " + path;
        return result;
    }
    std::string openError;
    auto db = SqliteDb::open(path, SqliteDb::Mode::ReadOnly, &openError, /*immutable=*/true);
    if (!db) {
        result.error = "cannot open " + path + ": " + openError;
        return result;
    }
    SqliteStatement query =
        db->prepare("SELECT fileID, domain, relativePath, flags, file FROM Files");
    if (!query.valid()) {
        result.error = "not a backup manifest database: " + db->lastError();
        return result;
    }
    while (query.step()) {
        BackupEntry entry;
        entry.domain = query.columnString(1);
        if (entry.domain.empty()) {
            continue;
        }
        entry.fileKey = query.columnString(0);
        if (!isValidFileKey(entry.fileKey)) {
            continue;
        }
        entry.relativePath = query.columnString(2);
        const std::int64_t flags = query.columnInt64(3);
        entry.flags = flags < 0 ? 0u : static_cast<std::uint32_t>(flags);
        readFileDescription(query.columnBlob(4), entry);
        setKind(entry);
        result.entries.push_back(std::move(entry));
    }
    if (!query.done()) {
        result.error = "the manifest database is damaged: " + db->lastError();
    }
    return result;
}

}  // namespace nimbara::backup
