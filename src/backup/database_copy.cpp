#include "backup/database_copy.h"

#include "backup/backup_folder.h"
#include "backup/sqlite_db.h"
#include "platform/log_categories.h"
#include "platform/scratch_dir.h"

#include <atomic>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace nimbara::backup {

namespace {

constexpr const char* kSidecarSuffixes[] = {"-wal", "-shm", "-journal"};

bool commit(const std::string& databasePath, bool durable) {
    auto db = SqliteDb::open(databasePath, SqliteDb::Mode::ReadWrite);
    if (!db) {
        return false;
    }
    if (!durable) {
        // A private copy about to be read: nothing of it needs to reach the disk first.
        db->exec("PRAGMA synchronous=OFF;");
    }
    if (!db->exec("PRAGMA journal_mode=WAL;")) {
        return false;
    }
    if (sqlite3_wal_checkpoint_v2(db->handle(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr,
                                  nullptr) != SQLITE_OK) {
        qCWarning(lcBackup, "Failed to commit");
        return false;
    }
    return true;
}

}  // namespace

bool commitDB(const std::string& databasePath) {
    return commit(databasePath, true);
}

std::optional<std::string> copyDatabaseWithCompanions(
    const BackupFolder& source, const std::string& relative,
    const std::vector<DatabaseCompanion>& companions, const std::string& scratchName, CopyLog log) {
    if (!source.isOpen() || !isSafePathComponent(scratchName) || !source.isFile(relative)) {
        return std::nullopt;
    }
    const fs::path folder = scratchFolder("DB");
    if (folder.empty()) {
        return std::nullopt;
    }
    const fs::path target = folder / scratchName;
    // A log left by an earlier copy would be replayed into this one.
    std::error_code ec;
    fs::remove(target, ec);
    for (const char* suffix : kSidecarSuffixes) {
        fs::remove(fs::path(target.string() + suffix), ec);
    }
    if (!source.copyFile(relative, target.string())) {
        return std::nullopt;
    }
    for (const DatabaseCompanion& companion : companions) {
        const bool known = companion.suffix == "-wal" || companion.suffix == "-shm";
        if (!known || companion.relative.empty() || !source.isFile(companion.relative)) {
            continue;
        }
        if (!source.copyFile(companion.relative, target.string() + companion.suffix)) {
            fs::remove(target, ec);
            for (const char* suffix : kSidecarSuffixes) {
                fs::remove(fs::path(target.string() + suffix), ec);
            }
            return std::nullopt;
        }
    }
    // A copy that cannot be committed is still readable as far as its main file goes.
    if (log == CopyLog::Fold) {
        commit(target.string(), false);
    }
    return target.string();
}

std::optional<std::string> copyDatabaseWithCompanions(const BackupFolder& source,
                                                      const std::string& relative,
                                                      const std::string& walRelative,
                                                      const std::string& scratchName) {
    return copyDatabaseWithCompanions(source, relative,
                                      storedCompanions(source, relative, walRelative), scratchName);
}

std::vector<DatabaseCompanion> storedCompanions(const BackupFolder& source,
                                                const std::string& relative,
                                                const std::string& walRelative) {
    // A log stored under its own key stands for the log; an index beside the database would not
    // describe it (SQLite rebuilds the index from the log).
    if (!walRelative.empty() && source.isFile(walRelative)) {
        return {{"-wal", walRelative}};
    }
    return {{"-wal", relative + "-wal"}, {"-shm", relative + "-shm"}};
}

std::optional<std::string> prepareDatabaseCopy(const BackupFolder& source,
                                               const std::string& relative,
                                               const std::string& scratchName) {
    return copyDatabaseWithCompanions(source, relative, storedCompanions(source, relative, {}),
                                      scratchName);
}

DatabaseScratchCopy::DatabaseScratchCopy(const BackupFolder& folder, const std::string& relative,
                                         const std::vector<DatabaseCompanion>& companions,
                                         const std::string& baseName, CopyLog log) {
    static std::atomic<unsigned> counter{0};
    if (relative.empty()) {
        return;
    }
    const std::string name = baseName + "-" + std::to_string(++counter);
    if (auto copy = copyDatabaseWithCompanions(folder, relative, companions, name, log)) {
        path_ = *copy;
    }
}

bool DatabaseScratchCopy::foldLog() const {
    return !path_.empty() && commit(path_, false);
}

DatabaseScratchCopy::~DatabaseScratchCopy() {
    if (path_.empty()) {
        return;
    }
    std::error_code ec;
    fs::remove(fs::path(path_), ec);
    for (const char* suffix : kSidecarSuffixes) {
        fs::remove(fs::path(path_ + suffix), ec);
    }
}

std::optional<std::string> prepareDatabaseCopy(const std::string& sourcePath,
                                               const std::string& scratchName) {
    const fs::path source(sourcePath);
    if (sourcePath.empty() || !source.has_filename()) {
        return std::nullopt;
    }
    const fs::path parent = source.has_parent_path() ? source.parent_path() : fs::path(".");
    return prepareDatabaseCopy(BackupFolder::open(parent.string()), source.filename().string(),
                               scratchName);
}

}  // namespace nimbara::backup
