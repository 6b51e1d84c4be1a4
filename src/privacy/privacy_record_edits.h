// The row removals of the privacy cleaner, one per record family, each run inside the
// transaction of a database edit (privacy_database_edit.h). Rows go by their primary key only,
// one bound key at a time, together with the rows that belong to them and nothing else: a row
// another record still refers to stays. Tables and columns a database lacks are skipped, so the
// older layouts the readers read are edited as well.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "backup/sqlite_db.h"

namespace nimbara::privacy {

struct MessageRemoval {
    std::size_t messages = 0;  // message rows removed
    // The device paths ("~/Library/SMS/Attachments/…") of the attachment rows removed: their
    // stored files go as well.
    std::vector<std::string> attachmentFiles;
};

// Messages by row id with their chat and attachment join rows and (older layout) their parts;
// then each attachment row, chat, address row and message group that nothing refers to any more.
bool removeMessageRows(SqliteDb& db, const std::vector<std::int64_t>& messageIds,
                       MessageRemoval& removal, std::string& error);

// People by row id with their multi-values (and the values' entries), group memberships and
// search keys.
bool removeContactRows(SqliteDb& db, const std::vector<std::int64_t>& personIds,
                       std::size_t& removed, std::string& error);
// The pictures of those people (the pictures database).
bool removeContactImages(SqliteDb& db, const std::vector<std::int64_t>& personIds,
                         std::string& error);

// Calls by the primary key of the table they were read from ("ZCALLRECORD" by "Z_PK", "call" by
// "ROWID"). Any other table is refused.
bool removeCallRows(SqliteDb& db, const std::string& table, const std::string& keyColumn,
                    const std::vector<std::int64_t>& keys, std::size_t& removed,
                    std::string& error);

// Notes by the primary key of the table they were read from, with their bodies.
bool removeNoteRows(SqliteDb& db, const std::string& table, const std::string& keyColumn,
                    const std::vector<std::int64_t>& keys, std::size_t& removed,
                    std::string& error);

// Visited pages of a history database by row id, with their visits.
bool removeHistoryRows(SqliteDb& db, const std::vector<std::int64_t>& itemIds, std::size_t& removed,
                       std::string& error);

}  // namespace nimbara::privacy
