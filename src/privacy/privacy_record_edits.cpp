#include "privacy/privacy_record_edits.h"

#include <set>
#include <utility>

#include "backup/record_database.h"
#include "privacy/privacy_database_edit.h"

namespace nimbara::privacy {

namespace {

using Keys = std::vector<std::int64_t>;

// Runs `sql` for every key of `keys`; `changed` (may be null) adds up the rows changed.
bool forEachKey(SqliteDb& db, const std::string& sql, const Keys& keys, std::string& error,
                std::size_t* changed = nullptr) {
    KeyedStatement statement(db, sql);
    for (std::int64_t key : keys) {
        if (!statement.run(key, error)) {
            return false;
        }
        if (changed != nullptr) {
            *changed += static_cast<std::size_t>(statement.changes());
        }
    }
    return true;
}

// Whether some row of `table` still names `key` in one of `columns`.
bool stillReferred(SqliteDb& db, const char* table, const std::vector<std::string>& columns,
                   std::int64_t key, bool& referred, std::string& error) {
    referred = false;
    for (const std::string& column : columns) {
        KeyedStatement probe(
            db, std::string("SELECT 1 FROM ") + table + " WHERE " + column + " = ?1 LIMIT 1");
        if (!probe.any(key, referred, error)) {
            return false;
        }
        if (referred) {
            return true;
        }
    }
    return true;
}

std::vector<std::string> presentColumns(SqliteDb& db, const char* table,
                                        std::initializer_list<const char*> columns) {
    std::vector<std::string> present;
    for (const char* column : columns) {
        if (backup::hasColumnNamed(db, table, column)) {
            present.emplace_back(column);
        }
    }
    return present;
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

// What the removed messages referred to, to be removed when nothing else does any more.
struct MessageLinks {
    std::set<std::int64_t> attachments;
    std::set<std::int64_t> chats;
    std::set<std::int64_t> handles;
    std::set<std::int64_t> groups;
};

bool collectLinks(SqliteDb& db, const Keys& ids, const std::vector<std::string>& handleColumns,
                  MessageLinks& links, std::string& error) {
    const bool attachments =
        hasTableWith(db, "message_attachment_join", {"message_id", "attachment_id"});
    const bool chats = hasTableWith(db, "chat_message_join", {"chat_id", "message_id"});
    const bool groups = backup::hasColumnNamed(db, "message", "group_id");
    KeyedStatement attachmentsOf(
        db, "SELECT attachment_id FROM message_attachment_join WHERE message_id = ?1");
    KeyedStatement chatsOf(db, "SELECT chat_id FROM chat_message_join WHERE message_id = ?1");
    KeyedStatement handlesOf(
        db, "SELECT " + (handleColumns.empty() ? std::string("NULL") : joined(handleColumns)) +
                " FROM message WHERE ROWID = ?1");
    KeyedStatement groupOf(db, "SELECT group_id FROM message WHERE ROWID = ?1");
    for (std::int64_t id : ids) {
        std::vector<std::int64_t> found;
        if (attachments && !attachmentsOf.integers(id, found, error)) {
            return false;
        }
        links.attachments.insert(found.begin(), found.end());
        found.clear();
        if (chats && !chatsOf.integers(id, found, error)) {
            return false;
        }
        links.chats.insert(found.begin(), found.end());
        if (!handleColumns.empty() && !handlesOf.run(id, error, [&](const SqliteStatement& row) {
                for (int c = 0; c < row.columnCount(); ++c) {
                    if (!row.isNull(c) && row.columnInt64(c) > 0) {
                        links.handles.insert(row.columnInt64(c));
                    }
                }
            })) {
            return false;
        }
        found.clear();
        if (groups && !groupOf.integers(id, found, error)) {
            return false;
        }
        links.groups.insert(found.begin(), found.end());
    }
    return true;
}

}  // namespace

bool removeMessageRows(SqliteDb& db, const Keys& messageIds, MessageRemoval& removal,
                       std::string& error) {
    if (!hasTableWith(db, "message")) {
        error = "the database has no message table";
        return false;
    }
    const std::vector<std::string> handleColumns =
        presentColumns(db, "message", {"handle_id", "other_handle"});
    MessageLinks links;
    if (!collectLinks(db, messageIds, handleColumns, links, error)) {
        return false;
    }

    // The messages and the rows that are parts of them.
    const bool attachmentJoin =
        hasTableWith(db, "message_attachment_join", {"message_id", "attachment_id"});
    const bool chatJoin = hasTableWith(db, "chat_message_join", {"chat_id", "message_id"});
    if ((chatJoin && !forEachKey(db, "DELETE FROM chat_message_join WHERE message_id = ?1",
                                 messageIds, error)) ||
        (attachmentJoin &&
         !forEachKey(db, "DELETE FROM message_attachment_join WHERE message_id = ?1", messageIds,
                     error)) ||
        (hasTableWith(db, "msg_pieces", {"message_id"}) &&
         !forEachKey(db, "DELETE FROM msg_pieces WHERE message_id = ?1", messageIds, error)) ||
        !forEachKey(db, "DELETE FROM message WHERE ROWID = ?1", messageIds, error,
                    &removal.messages)) {
        return false;
    }

    // Attachment rows no message shows any more, with their files.
    if (hasTableWith(db, "attachment")) {
        const bool named = backup::hasColumnNamed(db, "attachment", "filename");
        KeyedStatement filename(db, "SELECT filename FROM attachment WHERE ROWID = ?1");
        KeyedStatement remove(db, "DELETE FROM attachment WHERE ROWID = ?1");
        for (std::int64_t attachment : links.attachments) {
            bool referred = false;
            if (attachmentJoin && !stillReferred(db, "message_attachment_join", {"attachment_id"},
                                                 attachment, referred, error)) {
                return false;
            }
            if (referred) {
                continue;
            }
            if (named && !filename.run(attachment, error, [&](const SqliteStatement& row) {
                    if (!row.isNull(0) && !row.columnString(0).empty()) {
                        removal.attachmentFiles.push_back(row.columnString(0));
                    }
                })) {
                return false;
            }
            if (!remove.run(attachment, error)) {
                return false;
            }
        }
    }

    // Chats left without messages, with their member rows.
    if (hasTableWith(db, "chat")) {
        const bool members = hasTableWith(db, "chat_handle_join", {"chat_id"});
        KeyedStatement removeMembers(db, "DELETE FROM chat_handle_join WHERE chat_id = ?1");
        KeyedStatement remove(db, "DELETE FROM chat WHERE ROWID = ?1");
        for (std::int64_t chat : links.chats) {
            bool referred = false;
            if (chatJoin &&
                !stillReferred(db, "chat_message_join", {"chat_id"}, chat, referred, error)) {
                return false;
            }
            if (referred) {
                continue;
            }
            if ((members && !removeMembers.run(chat, error)) || !remove.run(chat, error)) {
                return false;
            }
        }
    }

    // Address rows no message or chat names any more.
    if (hasTableWith(db, "handle")) {
        const bool members = hasTableWith(db, "chat_handle_join", {"handle_id"});
        KeyedStatement remove(db, "DELETE FROM handle WHERE ROWID = ?1");
        for (std::int64_t handle : links.handles) {
            bool referred = false;
            if (!stillReferred(db, "message", handleColumns, handle, referred, error) ||
                (!referred && members &&
                 !stillReferred(db, "chat_handle_join", {"handle_id"}, handle, referred, error))) {
                return false;
            }
            if (!referred && !remove.run(handle, error)) {
                return false;
            }
        }
    }

    // Message groups of the older layout left without messages, with their members.
    if (!links.groups.empty()) {
        const bool members = hasTableWith(db, "group_member", {"group_id"});
        const bool groups = hasTableWith(db, "msg_group");
        KeyedStatement removeMembers(db, "DELETE FROM group_member WHERE group_id = ?1");
        KeyedStatement remove(db, "DELETE FROM msg_group WHERE ROWID = ?1");
        for (std::int64_t group : links.groups) {
            bool referred = false;
            if (!stillReferred(db, "message", {"group_id"}, group, referred, error)) {
                return false;
            }
            if (referred) {
                continue;
            }
            if ((members && !removeMembers.run(group, error)) ||
                (groups && !remove.run(group, error))) {
                return false;
            }
        }
    }
    return true;
}

bool removeContactRows(SqliteDb& db, const Keys& personIds, std::size_t& removed,
                       std::string& error) {
    if (!hasTableWith(db, "ABPerson")) {
        error = "the address book has no person table";
        return false;
    }
    if (hasTableWith(db, "ABMultiValueEntry", {"parent_id"}) &&
        hasTableWith(db, "ABMultiValue", {"UID", "record_id"}) &&
        !forEachKey(db,
                    "DELETE FROM ABMultiValueEntry WHERE parent_id IN (SELECT UID FROM "
                    "ABMultiValue WHERE record_id = ?1)",
                    personIds, error)) {
        return false;
    }
    if (hasTableWith(db, "ABMultiValue", {"record_id"}) &&
        !forEachKey(db, "DELETE FROM ABMultiValue WHERE record_id = ?1", personIds, error)) {
        return false;
    }
    if (hasTableWith(db, "ABGroupMembers", {"member_id"})) {
        // Member type 0 is a person; other types name groups by the same numbers.
        const std::string sql =
            backup::hasColumnNamed(db, "ABGroupMembers", "member_type")
                ? "DELETE FROM ABGroupMembers WHERE member_id = ?1 AND member_type = 0"
                : "DELETE FROM ABGroupMembers WHERE member_id = ?1";
        if (!forEachKey(db, sql, personIds, error)) {
            return false;
        }
    }
    if (hasTableWith(db, "ABPersonSearchKey", {"person_id"}) &&
        !forEachKey(db, "DELETE FROM ABPersonSearchKey WHERE person_id = ?1", personIds, error)) {
        return false;
    }
    return forEachKey(db, "DELETE FROM ABPerson WHERE ROWID = ?1", personIds, error, &removed);
}

bool removeContactImages(SqliteDb& db, const Keys& personIds, std::string& error) {
    for (const char* table : {"ABFullSizeImage", "ABThumbnailImage"}) {
        if (hasTableWith(db, table, {"record_id"}) &&
            !forEachKey(db, std::string("DELETE FROM ") + table + " WHERE record_id = ?1",
                        personIds, error)) {
            return false;
        }
    }
    return true;
}

bool removeCallRows(SqliteDb& db, const std::string& table, const std::string& keyColumn,
                    const Keys& keys, std::size_t& removed, std::string& error) {
    // The table and its key are the reader's own names, checked here against the layouts it
    // reads before they become part of a statement.
    const bool known = (table == "ZCALLRECORD" && keyColumn == "Z_PK") ||
                       (table == "call" && keyColumn == "ROWID");
    if (!known) {
        error = "the calls were read from a table the cleaner does not know (" + table + ")";
        return false;
    }
    if (!hasTableWith(db, table)) {
        error = "the call history has no " + table + " table";
        return false;
    }
    return forEachKey(db, "DELETE FROM " + table + " WHERE " + keyColumn + " = ?1", keys, error,
                      &removed);
}

bool removeNoteRows(SqliteDb& db, const std::string& table, const std::string& keyColumn,
                    const Keys& keys, std::size_t& removed, std::string& error) {
    if (!hasTableWith(db, table)) {
        error = "the notes database has no " + table + " table";
        return false;
    }
    // Each layout's body rows: those the note names, and those that name the note.
    struct Bodies {
        const char* bodyTable;
        const char* noteColumn;   // the note's column naming its body (or null)
        const char* ownerColumn;  // the body's column naming its note (or null)
    };
    Bodies bodies{};
    if (table == "ZICCLOUDSYNCINGOBJECT" && keyColumn == "Z_PK") {
        bodies = {"ZICNOTEDATA", "ZNOTEDATA", "ZNOTE"};
    } else if (table == "ZNOTE" && keyColumn == "Z_PK") {
        bodies = {"ZNOTEBODY", "ZBODY", "ZOWNER"};
    } else if (table == "note" && keyColumn == "ROWID") {
        bodies = {"note_bodies", nullptr, "note_id"};
    } else {
        error = "the notes were read from a table the cleaner does not know (" + table + ")";
        return false;
    }
    if (hasTableWith(db, bodies.bodyTable)) {
        const std::string bodyKey =
            std::string(bodies.bodyTable) == "note_bodies" ? "ROWID" : "Z_PK";
        if (bodies.noteColumn != nullptr && backup::hasColumnNamed(db, table, bodies.noteColumn)) {
            KeyedStatement bodyOf(db, std::string("SELECT ") + bodies.noteColumn + " FROM " +
                                          table + " WHERE " + keyColumn + " = ?1");
            Keys owned;
            for (std::int64_t key : keys) {
                if (!bodyOf.integers(key, owned, error)) {
                    return false;
                }
            }
            if (!forEachKey(
                    db,
                    std::string("DELETE FROM ") + bodies.bodyTable + " WHERE " + bodyKey + " = ?1",
                    owned, error)) {
                return false;
            }
        }
        if (backup::hasColumnNamed(db, bodies.bodyTable, bodies.ownerColumn) &&
            !forEachKey(db,
                        std::string("DELETE FROM ") + bodies.bodyTable + " WHERE " +
                            bodies.ownerColumn + " = ?1",
                        keys, error)) {
            return false;
        }
    }
    return forEachKey(db, "DELETE FROM " + table + " WHERE " + keyColumn + " = ?1", keys, error,
                      &removed);
}

bool removeHistoryRows(SqliteDb& db, const Keys& itemIds, std::size_t& removed,
                       std::string& error) {
    if (!hasTableWith(db, "history_items")) {
        error = "the history database has no history_items table";
        return false;
    }
    if (hasTableWith(db, "history_visits", {"history_item"}) &&
        !forEachKey(db, "DELETE FROM history_visits WHERE history_item = ?1", itemIds, error)) {
        return false;
    }
    return forEachKey(db, "DELETE FROM history_items WHERE ROWID = ?1", itemIds, error, &removed);
}

}  // namespace nimbara::privacy
