#include "backup/database_copy.h"

#include "backup/sqlite_db.h"
#include "platform/scratch_dir.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace nimbara::backup {

namespace {

constexpr const char* kSidecarSuffixes[] = {"-wal", "-shm", "-journal"};

bool isRegularFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(fs::symlink_status(path, ec));
}

bool copyFile(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        return false;
    }
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace,
                    ec);
    return true;
}

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

std::optional<std::string> prepareDatabaseCopy(const std::string& sourcePath,
                                               const std::string& scratchName) {
    if (sourcePath.empty() || !isSafePathComponent(scratchName)) {
        return std::nullopt;
    }
    const fs::path source(sourcePath);
    if (!isRegularFile(source)) {
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
    if (!copyFile(source, target)) {
        return std::nullopt;
    }
    for (const char* suffix : {"-wal", "-shm"}) {
        const fs::path sidecar(sourcePath + suffix);
        if (isRegularFile(sidecar) && !copyFile(sidecar, fs::path(target.string() + suffix))) {
            return std::nullopt;
        }
    }
    // A copy that cannot be committed is still readable as far as its main file goes.
    commitDB(target.string());
    return target.string();
}

}  // namespace nimbara::backup
