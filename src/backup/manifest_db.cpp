#include "backup/manifest_db.h"

#include "backup/file_description.h"
#include "backup/sqlite_db.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace nimbara::backup {

namespace {

constexpr std::uint32_t kFlagFile = 1;
constexpr std::uint32_t kFlagFolder = 2;
constexpr std::uint32_t kFlagLink = 4;

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

bool fileKeyBytes(std::string_view hexKey, std::array<std::uint8_t, 20>& key, bool lowerCaseOnly) {
    if (hexKey.size() != 2 * key.size()) {
        return false;
    }
    // One table look-up a digit; 0xFF marks what is no hex digit of the kind asked for.
    using Nibbles = std::array<std::uint8_t, 256>;
    static const std::array<Nibbles, 2> kNibbles = [] {
        std::array<Nibbles, 2> tables{};
        for (int lowerOnly = 0; lowerOnly < 2; ++lowerOnly) {
            Nibbles& table = tables[static_cast<std::size_t>(lowerOnly)];
            table.fill(0xFF);
            for (int c = 0; c < 16; ++c) {
                table[static_cast<unsigned char>("0123456789abcdef"[c])] =
                    static_cast<std::uint8_t>(c);
                if (!lowerOnly) {
                    table[static_cast<unsigned char>("0123456789ABCDEF"[c])] =
                        static_cast<std::uint8_t>(c);
                }
            }
        }
        return tables;
    }();
    const Nibbles& nibbles = kNibbles[lowerCaseOnly ? 1 : 0];
    const auto* digits = reinterpret_cast<const unsigned char*>(hexKey.data());
    unsigned bad = 0;
    for (std::size_t i = 0; i < key.size(); ++i) {
        const std::uint8_t high = nibbles[digits[2 * i]];
        const std::uint8_t low = nibbles[digits[2 * i + 1]];
        bad |= high | low;
        key[i] = static_cast<std::uint8_t>((high << 4) | (low & 0x0F));
    }
    return (bad & 0xF0) == 0;
}

bool isValidFileKey(std::string_view key) {
    std::array<std::uint8_t, 20> bytes;
    return fileKeyBytes(key, bytes, /*lowerCaseOnly=*/false);
}

bool isLowerCaseFileKey(std::string_view key) {
    std::array<std::uint8_t, 20> bytes;
    return fileKeyBytes(key, bytes, /*lowerCaseOnly=*/true);
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
    // The list is read once from start to end: a page is never read twice, so a large page
    // cache would only hold memory while the list is read.
    db->exec("PRAGMA cache_size = -256");
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
        // Only for the progress shown: the highest row number stands in for the row count,
        // which SQLite would have to walk the whole table for.
        SqliteStatement last = db->prepare("SELECT max(rowid) FROM Files");
        if (last.valid() && last.step()) {
            total = static_cast<std::uint64_t>(std::max<std::int64_t>(last.columnInt64(0), 0));
        }
    }
    while (query.step()) {
        ++rows;
        // Checked on the bytes SQLite holds, so that a skipped row costs no copy.
        const std::string_view domain = query.columnTextView(1);
        const std::string_view key = query.columnTextView(0);
        if (domain.empty() || !isValidFileKey(key)) {
            continue;
        }
        BackupEntry entry;
        entry.domain.assign(domain);
        entry.fileKey.assign(key);
        entry.relativePath.assign(query.columnTextView(2));
        const std::int64_t flags = query.columnInt64(3);
        entry.flags = flags < 0 ? 0u : static_cast<std::uint32_t>(flags);
        const FileDescription description = readFileDescription(query.columnBlobView(4));
        entry.size = description.size;
        entry.mode = description.mode;
        entry.modified = description.modified;
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
