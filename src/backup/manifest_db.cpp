#include "backup/manifest_db.h"

#include "backup/sqlite_db.h"
#include "platform/plist_value.h"

#include <algorithm>
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

EntryStreamResult streamManifestDb(const std::string& path, const BackupEntryVisitor& visit,
                                   const std::function<bool()>& stop,
                                   const ListPosition& position) {
    EntryStreamResult result;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(path, ec))) {
        result.error = "no manifest database at " + path;
        return result;
    }
    std::string openError;
    auto db = SqliteDb::open(path, SqliteDb::Mode::ReadOnly, &openError, /*immutable=*/true);
    if (!db) {
        result.error = "cannot open " + path + ": " + openError;
        return result;
    }
    db->setStopCheck(stop);
    switch (db->objectKind("Files")) {
        case SqliteDb::ObjectKind::Table:
            break;
        case SqliteDb::ObjectKind::Missing:
            result.error = "not a backup manifest database: it has no Files table";
            return result;
        case SqliteDb::ObjectKind::View:
        case SqliteDb::ObjectKind::Other:
            result.error = "the manifest database is damaged: Files is not a table";
            return result;
    }
    SqliteStatement query =
        db->prepare("SELECT fileID, domain, relativePath, flags, file FROM Files");
    if (!query.valid()) {
        result.error = "not a backup manifest database: " + db->lastError();
        return result;
    }
    std::uint64_t rows = 0;
    std::uint64_t total = 0;
    if (position) {
        SqliteStatement count = db->prepare("SELECT count(*) FROM Files");
        if (count.valid() && count.step()) {
            total = static_cast<std::uint64_t>(std::max<std::int64_t>(count.columnInt64(0), 0));
        }
    }
    while (query.step()) {
        ++rows;
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
        ++result.entries;
        if (position) {
            position(rows, std::max(rows, total));
        }
        if (!visit(std::move(entry))) {
            result.stopped = true;
            return result;
        }
    }
    switch (query.abortReason()) {
        case SqliteAbort::None:
            if (!query.done()) {
                result.error = "the manifest database is damaged: " + db->lastError();
            }
            break;
        case SqliteAbort::Stopped:
            result.stopped = true;
            break;
        case SqliteAbort::RowLimit:
            result.error = "the manifest database is damaged: it lists more than " +
                           std::to_string(kSqliteDefaultRowLimit) + " rows";
            break;
        case SqliteAbort::MemoryLimit:
            result.error = "the manifest database is damaged: reading it took too much memory";
            break;
    }
    return result;
}

ManifestDbReadResult readManifestDb(const std::string& path) {
    ManifestDbReadResult result;
    const EntryStreamResult stream = streamManifestDb(path, [&result](BackupEntry&& entry) {
        result.entries.push_back(std::move(entry));
        return true;
    });
    result.error = stream.error;
    return result;
}

}  // namespace nimbara::backup
