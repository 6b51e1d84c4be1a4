#include "backup/database_copy.h"

#include "backup/backup_folder.h"
#include "backup/sqlite_db.h"
#include "platform/scratch_dir.h"

#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace nimbara::backup {

namespace {

constexpr const char* kSidecarSuffixes[] = {"-wal", "-shm", "-journal"};

}  // namespace

bool commitDB(const std::string& databasePath) {
    auto db = SqliteDb::open(databasePath, SqliteDb::Mode::ReadWrite);
    if (!db) {
        return false;
    }
    if (!db->exec("PRAGMA journal_mode=WAL;")) {
        return false;
    }
    if (sqlite3_wal_checkpoint_v2(db->handle(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr,
                                  nullptr) != SQLITE_OK) {
        std::fputs("Failed to commit\n", stdout);
        return false;
    }
    return true;
}

namespace {

// Copies `relative` to the scratch name and each (source, suffix) companion that exists beside
// it as the copy's name plus suffix, then folds the log into the copy.
std::optional<std::string> copyWith(
    const BackupFolder& source, const std::string& relative, const std::string& scratchName,
    std::initializer_list<std::pair<std::string, const char*>> companions) {
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
    for (const auto& [companion, suffix] : companions) {
        if (!companion.empty() && source.isFile(companion) &&
            !source.copyFile(companion, target.string() + suffix)) {
            return std::nullopt;
        }
    }
    // A copy that cannot be committed is still readable as far as its main file goes.
    commitDB(target.string());
    return target.string();
}

}  // namespace

std::optional<std::string> prepareDatabaseCopy(const BackupFolder& source,
                                               const std::string& relative,
                                               const std::string& scratchName) {
    return copyWith(source, relative, scratchName,
                    {{relative + "-wal", "-wal"}, {relative + "-shm", "-shm"}});
}

std::optional<std::string> copyDatabaseWithCompanions(const BackupFolder& source,
                                                      const std::string& relative,
                                                      const std::string& walRelative,
                                                      const std::string& scratchName) {
    // The stored log is the device's; its shared-memory index is rebuilt from it.
    return copyWith(source, relative, scratchName, {{walRelative, "-wal"}});
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
