#include "privacy/privacy_database_edit.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QtGlobal>

#include <cerrno>
#include <filesystem>
#include <limits>
#include <optional>

#include "backup/backup_folder.h"
#include "backup/database_copy.h"
#include "backup/manifest_db.h"
#include "backup/record_database.h"
#include "backup/shah.h"
#include "platform/failure_reason.h"
#include "platform/log_categories.h"
#include "privacy/privacy_manifest_update.h"
#include "privacy/privacy_working_copy.h"

namespace fs = std::filesystem;

namespace nimbara::privacy {

namespace {

constexpr const char* kSidecars[] = {"-wal", "-shm", "-journal"};
constexpr std::string_view kNoSuchFunction = "no such function: ";

// Functions the device's message database calls from its triggers, whose work the cleaner does
// itself: the device removes a deleted attachment's file, the cleaner removes the stored file.
constexpr const char* kDeviceFunctions[] = {"delete_attachment_path"};

void doNothing(sqlite3_context* context, int, sqlite3_value**) {
    sqlite3_result_null(context);
}

bool exec(SqliteDb& db, const char* sql, const char* step, std::string& error) {
    if (!db.exec(sql)) {
        error = std::string(step) + " failed: " + db.lastError();
        return false;
    }
    return true;
}

// The rows "PRAGMA integrity_check" gives; "ok" alone when the database is sound.
bool integrityOk(SqliteDb& db, std::string& error) {
    SqliteStatement check = db.prepare("PRAGMA integrity_check");
    if (!check.valid()) {
        error = "the integrity check could not run: " + db.lastError();
        return false;
    }
    std::string rows;
    int count = 0;
    while (check.step()) {
        rows += (count++ > 0 ? "; " : "") + check.columnString(0);
    }
    if (!check.done()) {
        error = "the integrity check failed: " + db.lastError();
        return false;
    }
    if (count != 1 || rows != "ok") {
        error = "the edited database failed its integrity check: " + rows;
        return false;
    }
    return true;
}

bool journalIsWal(SqliteDb& db) {
    SqliteStatement mode = db.prepare("PRAGMA journal_mode");
    return mode.valid() && mode.step() && mode.columnString(0) == "wal";
}

// Size and SHA-1 of a file of the working copy.
bool digestOf(const backup::BackupFolder& folder, const std::string& relative, std::uint64_t& size,
              QByteArray& sha1, std::string& error) {
    const backup::UniqueFd fd = folder.openFile(relative, &error);
    if (!fd.valid()) {
        return false;
    }
    QCryptographicHash hash(QCryptographicHash::Sha1);
    std::vector<char> buffer(1 << 16);
    size = 0;
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = "cannot read " + relative;
            return false;
        }
        if (n == 0) {
            break;
        }
        hash.addData(QByteArrayView(buffer.data(), n));
        size += static_cast<std::uint64_t>(n);
    }
    sha1 = hash.result();
    return true;
}

std::optional<SqliteDb> openStaged(const fs::path& staged, const EditStopCheck& stop,
                                   std::string& error) {
    std::string why;
    auto db = SqliteDb::open(staged.string(), SqliteDb::Mode::ReadWrite, &why);
    if (!db) {
        error = "cannot open the database: " + why;
        return std::nullopt;
    }
    db->setRowLimit(std::numeric_limits<std::int64_t>::max());
    db->setStopCheck(stop);
    registerDeviceFunctions(db->handle());
    return db;
}

// A digest of the row ids of every table that has them. VACUUM may give the rows of a table
// without an INTEGER PRIMARY KEY new row ids, and device databases link rows by them (a note's
// body names its note's row id): a compaction that changed any is not kept.
bool rowidDigest(SqliteDb& db, QByteArray& digest, std::string& error) {
    SqliteStatement tables = db.prepare(
        "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' "
        "ESCAPE '\\' AND sql NOT LIKE 'CREATE VIRTUAL%' ORDER BY name");
    if (!tables.valid()) {
        error = "the tables cannot be listed: " + db.lastError();
        return false;
    }
    std::vector<std::string> names;
    while (tables.step()) {
        names.push_back(tables.columnString(0));
    }
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const std::string& name : names) {
        std::string quoted = "\"";
        for (char c : name) {
            quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        }
        quoted += '"';
        SqliteStatement rows = db.prepare("SELECT rowid FROM " + quoted + " ORDER BY rowid");
        if (!rows.valid()) {
            continue;  // a table without row ids keeps its keys
        }
        hash.addData(QByteArrayView(name.data(), qsizetype(name.size() + 1)));
        while (rows.step()) {
            const std::int64_t id = rows.columnInt64(0);
            hash.addData(QByteArrayView(reinterpret_cast<const char*>(&id), sizeof id));
        }
        if (!rows.done()) {
            error = "the rows of " + name + " cannot be read: " + db.lastError();
            return false;
        }
    }
    digest = hash.result();
    return true;
}

// Closes the edited database with its log folded in; false when a log or journal is left.
bool closeClean(SqliteDb& db, const fs::path& staged, std::string& error) {
    if (journalIsWal(db) &&
        !exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", "the log checkpoint", error)) {
        return false;
    }
    db.close();
    for (const char* suffix : kSidecars) {
        std::error_code ec;
        if (fs::exists(fs::symlink_status(staged.string() + suffix, ec))) {
            error = std::string("the edited database left its ") + suffix + " file behind";
            return false;
        }
    }
    return true;
}

// The edit of the staged copy: the change in one transaction, the integrity check, then the
// compaction (kept only when every row id stayed as it was; the rows removed are overwritten
// either way).
bool changeStaged(const fs::path& staged, const DatabaseChange& change, std::string& error,
                  const EditStopCheck& stop) {
    {
        std::optional<SqliteDb> db = openStaged(staged, stop, error);
        if (!db) {
            return false;
        }
        if (const std::string problem = backup::schemaProblem(*db); !problem.empty()) {
            error = "the database cannot be read: " + problem;
            return false;
        }
        // Removed rows are overwritten, not only unlinked.
        if (!exec(*db, "PRAGMA secure_delete = ON", "secure delete", error) ||
            !exec(*db, "BEGIN IMMEDIATE", "BEGIN", error)) {
            return false;
        }
        if (!change(*db, error)) {
            db->exec("ROLLBACK");
            return false;
        }
        if (!db->exec("COMMIT")) {
            error = "COMMIT failed: " + db->lastError();
            db->exec("ROLLBACK");
            return false;
        }
        if (!integrityOk(*db, error) || !closeClean(*db, staged, error)) {
            return false;
        }
    }
    const fs::path uncompacted = staged.string() + ".uncompacted";
    std::error_code ec;
    if (!fs::copy_file(staged, uncompacted, fs::copy_options::overwrite_existing, ec)) {
        error = "cannot keep the edited database aside: " + ec.message();
        return false;
    }
    std::optional<SqliteDb> db = openStaged(staged, stop, error);
    QByteArray before;
    QByteArray after;
    if (!db || !exec(*db, "PRAGMA secure_delete = ON", "secure delete", error) ||
        !rowidDigest(*db, before, error) || !exec(*db, "VACUUM", "VACUUM", error) ||
        !rowidDigest(*db, after, error) || !closeClean(*db, staged, error)) {
        fs::remove(uncompacted, ec);
        return false;
    }
    if (before != after) {
        qCInfo(lcPrivacy, "Privacy clean: compacting %s would renumber rows; it stays uncompacted",
               staged.filename().c_str());
        fs::rename(uncompacted, staged, ec);
        if (ec) {
            error = "cannot put the uncompacted database back: " + ec.message();
            return false;
        }
        return true;
    }
    fs::remove(uncompacted, ec);
    return true;
}

}  // namespace

void registerDeviceFunctions(sqlite3* db) {
    for (const char* name : kDeviceFunctions) {
        sqlite3_create_function_v2(db, name, -1, SQLITE_UTF8 | SQLITE_INNOCUOUS, nullptr,
                                   &doNothing, nullptr, nullptr, nullptr);
    }
}

std::string preparationProblem(SqliteDb& db, const std::string& sql) {
    const std::string& why = db.lastError();
    if (why.starts_with(kNoSuchFunction)) {
        return "a trigger of the database calls \"" + why.substr(kNoSuchFunction.size()) +
               "\", a function only the device has; the database was left as it was";
    }
    return "\"" + sql + "\" cannot run: " + why;
}

KeyedStatement::KeyedStatement(SqliteDb& db, std::string sql) : db_(db), sql_(std::move(sql)) {}

bool KeyedStatement::run(std::int64_t key, std::string& error,
                         const std::function<void(const SqliteStatement&)>& onRow) {
    if (!prepared_) {
        statement_ = db_.prepare(sql_);
        if (!statement_.valid()) {
            error = preparationProblem(db_, sql_);
            return false;
        }
        prepared_ = true;
    }
    statement_.reset();
    if (!statement_.bind(1, key)) {
        error = "\"" + sql_ + "\" cannot take its key: " + db_.lastError();
        return false;
    }
    while (statement_.step()) {
        if (onRow) {
            onRow(statement_);
        }
    }
    if (!statement_.done()) {
        error = "\"" + sql_ + "\" failed: " + std::string(sqlite3_errmsg(db_.handle()));
        return false;
    }
    changes_ = sqlite3_changes(db_.handle());
    return true;
}

bool KeyedStatement::integers(std::int64_t key, std::vector<std::int64_t>& out,
                              std::string& error) {
    return run(key, error, [&out](const SqliteStatement& row) {
        if (!row.isNull(0)) {
            out.push_back(row.columnInt64(0));
        }
    });
}

bool KeyedStatement::any(std::int64_t key, bool& found, std::string& error) {
    found = false;
    return run(key, error, [&found](const SqliteStatement&) { found = true; });
}

bool hasTableWith(SqliteDb& db, const std::string& table,
                  std::initializer_list<const char*> columns) {
    if (db.objectKind(table) != SqliteDb::ObjectKind::Table) {
        return false;
    }
    for (const char* column : columns) {
        if (!backup::hasColumnNamed(db, table, column)) {
            return false;
        }
    }
    return true;
}

bool editDatabaseFile(PrivacyWorkingCopy& copy, const std::string& relative,
                      const std::string& walRelative, const std::string& stagedName,
                      const DatabaseChange& change, std::string& error, const EditStopCheck& stop) {
    const backup::BackupFolder folder = copy.folder();
    if (!folder.isFile(relative)) {
        error = relative + " is missing from the backup";
        return false;
    }
    const std::optional<fs::path> staged = copy.stage(relative, stagedName, error);
    if (!staged) {
        return false;
    }
    for (const backup::DatabaseCompanion& log :
         backup::storedCompanions(folder, relative, walRelative)) {
        if (folder.isFile(log.relative) &&
            !copy.stage(log.relative, stagedName + log.suffix, error)) {
            return false;
        }
    }
    if (!changeStaged(*staged, change, error, stop) ||
        !copy.commitStaged(*staged, relative, error)) {
        return false;
    }
    // Logs beside the stored database belonged to the old file.
    for (const char* suffix : kSidecars) {
        if (!copy.removeFile(relative + suffix, error)) {
            return false;
        }
    }
    return true;
}

bool editStoredDatabase(PrivacyWorkingCopy& copy, const PrivacySource& source,
                        const DatabaseChange& change, ManifestChanges& changes, std::string& error,
                        const EditStopCheck& stop) {
    if (!backup::isValidFileKey(source.fileKey) || source.storedName.empty()) {
        error = "the database " + source.relativePath + " is not a file of the backup";
        return false;
    }
    const std::string name = source.relativePath;
    if (!editDatabaseFile(copy, source.storedName, source.walStoredName, source.fileKey, change,
                          error, stop)) {
        error = failureText(name, error, "editing the database");
        return false;
    }
    const backup::BackupFolder folder = copy.folder();
    std::uint64_t size = 0;
    QByteArray sha1;
    if (!digestOf(folder, source.storedName, size, sha1, error)) {
        return false;
    }
    changes.rewritten(source.fileKey, size, sha1);
    // The logs the backup lists under their own keys are emptied: a restored device must not
    // replay the removed rows from them.
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string key = backup::fileKey(source.domain, source.relativePath + suffix);
        const std::string stored = backup::locateStoredFile(folder, key);
        if (stored.empty()) {
            continue;
        }
        if (!copy.replaceFile(stored, {}, error)) {
            error = failureText(name + suffix, error, "emptying the log");
            return false;
        }
        changes.rewritten(key, 0, sha1Of({}));
    }
    return true;
}

}  // namespace nimbara::privacy
