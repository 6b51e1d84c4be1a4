// Writing the device's own SQLite databases into backup-source/: a fresh file with its schema
// in one transaction, rows through bound statements.
#pragma once

#include <filesystem>
#include <string>

#include "backup/sqlite_db.h"

namespace nimbara::simdev {

// The local file of a database the backup holds at (domain, relativePath), its folder made.
std::filesystem::path backupDatabaseFile(const std::filesystem::path& deviceDir,
                                         const std::string& domain,
                                         const std::string& relativePath);

// A fresh database at `file` (an earlier one and its journals removed) with `schema` run and a
// transaction open. Throws std::runtime_error when SQLite fails.
SqliteDb createSimDatabase(const std::filesystem::path& file, const char* schema);
// Prepares `sql`; throws when it does not compile.
SqliteStatement prepareSim(SqliteDb& db, const std::string& sql, const std::filesystem::path& file);
// Runs a bound insert once and resets it; returns the new row id. Throws on failure.
std::int64_t insertSim(SqliteDb& db, SqliteStatement& st, const std::filesystem::path& file);
// Commits the transaction; throws on failure.
void commitSim(SqliteDb& db, const std::filesystem::path& file);
// Throws std::runtime_error naming the file and SQLite's last error.
[[noreturn]] void sqlFailed(const SqliteDb& db, const std::filesystem::path& file);
// Binds the text, or NULL when it is empty (as the device stores a field never filled in).
void bindText(SqliteStatement& st, int index, const std::string& text);

}  // namespace nimbara::simdev
