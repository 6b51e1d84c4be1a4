#include "privacy/privacy_records.h"

#include <QDateTime>
#include <QtGlobal>

#include <algorithm>
#include <limits>
#include <tuple>

#include <sqlite3.h>

#include "backup/backup_folder.h"
#include "backup/call_history_reader.h"
#include "backup/conversations.h"
#include "backup/message_reader.h"
#include "backup/note_reader.h"
#include "backup/sqlite_db.h"
#include "platform/log_categories.h"
#include "platform/notification_center.h"

namespace nimbara::privacy {

namespace {

using backup::BackupFolder;
using backup::DatabaseSource;

template <class Result>
void takeReport(const Result& read, bool found, PrivacyReadReport& report) {
    report.found = found;
    report.stopped = read.stopped;
    if (found && !read.ok && !read.stopped) {
        report.fail(read.error);
    }
}

// The source of a family read by a record reader from the database with `fileKey`.
PrivacySourceRef sourceOf(const std::string& backupFolder,
                          std::initializer_list<const DatabaseSource*> candidates,
                          const std::string& fileKey, const std::string& table,
                          const std::string& keyColumn) {
    for (const DatabaseSource* where : candidates) {
        if (where->key() == fileKey) {
            const BackupFolder folder = BackupFolder::open(backupFolder);
            return makeSource(*where, backup::locateStoredDatabase(folder, *where),
                              PrivacyFileFormat::Sqlite, table, keyColumn);
        }
    }
    return nullptr;
}

// A family read by a record reader from the first of `candidates` the backup holds, every
// record ticked.
template <class Node, class Result>
RecordFamily<Node> tickedFamily(const char* name, const Result& read,
                                const std::string& backupFolder,
                                std::initializer_list<const DatabaseSource*> candidates) {
    RecordFamily<Node> family;
    family.report.family = name;
    takeReport(read, read.databaseFound, family.report);
    family.records = read.records;
    for (const auto& record : family.records) {
        record->setBSelected(true);
    }
    if (read.databaseFound && !read.table.empty()) {
        family.source =
            sourceOf(backupFolder, candidates, read.fileKey, read.table, read.keyColumn);
    }
    return family;
}

// The time of a message date text ("MM-dd-yyyy HH:mm"), the oldest possible when it is none.
qint64 messageTime(const QString& date) {
    const QDateTime when = QDateTime::fromString(date, QStringLiteral("MM-dd-yyyy HH:mm"));
    return when.isValid() ? when.toSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

}  // namespace

ContactFamily scanContactThread(const std::string& backupFolder, const StopCheck& stop) {
    ContactFamily family;
    family.report.family = "contacts";
    // The reader posts what it reads; the results are kept instead, so nobody listens here.
    NotificationCenter quiet;
    const backup::ContactReadResult read = backup::scanContactThread(backupFolder, &quiet, stop);
    takeReport(read, read.addressBookFound, family.report);
    if (read.imagesFound && !read.imageError.empty()) {
        qCInfo(lcPrivacy, "Contacts: %s", read.imageError.c_str());
    }
    family.records = read.contacts;
    family.images = read.images;
    if (read.addressBookFound) {
        family.source = sourceOf(backupFolder, {&kAddressBookSource}, kAddressBookSource.key(),
                                 "ABPerson", "ROWID");
    }
    return family;
}

ChatIdsByHandle readChatIdsByHandle(SqliteDb& db) {
    ChatIdsByHandle chats;
    if (db.objectKind("chat_handle_join") != SqliteDb::ObjectKind::Table ||
        !backup::hasColumnNamed(db, "chat_handle_join", "chat_id") ||
        !backup::hasColumnNamed(db, "chat_handle_join", "handle_id")) {
        return chats;
    }
    // One pass: a look-up per address would read the whole table each time, since no index of
    // the device's starts with handle_id.
    SqliteStatement st =
        db.prepare("SELECT handle_id, chat_id FROM chat_handle_join ORDER BY ROWID");
    while (st.valid() && st.step()) {
        if (sqlite3_column_type(st.handle(), 0) != SQLITE_INTEGER || st.isNull(1) ||
            st.columnString(1).empty()) {
            continue;
        }
        chats.try_emplace(st.columnInt64(0), st.columnInt(1));  // the first row counts
    }
    return chats;
}

int GetChatIDwithMessgaeID(int handleId, const ChatIdsByHandle& chats) {
    const auto found = chats.find(handleId);
    return found == chats.end() ? 0 : found->second;
}

MessageFamily readMessageDBWithPath(const std::string& backupFolder,
                                    const std::vector<std::shared_ptr<PRContactNode>>& contacts,
                                    const PrivacyFileList& files, const StopCheck& stop) {
    MessageFamily family;
    family.report.family = "messages";
    if (backupFolder.empty()) {
        return family;
    }
    const BackupFolder folder = BackupFolder::open(backupFolder);
    const backup::StoredDatabase stored =
        backup::locateStoredDatabase(folder, kMessageDatabaseSource);
    if (!stored.exists()) {
        return family;
    }
    const backup::AttachmentFiles attachmentFiles(files.backupFileArray, backupFolder);
    backup::ConversationGrouping grouping;
    backup::MessageReadOptions options;
    options.nameOf = backup::contactNameLookup(contacts);
    options.attachmentFiles = &attachmentFiles;
    options.stop = stop;
    options.afterRows = [&](SqliteDb& db) {
        family.attachments = backup::readMessageAttachments(db);
        const ChatIdsByHandle chats = readChatIdsByHandle(db);
        for (const auto& conversation : grouping.conversations()) {
            if (conversation->handle_id() > 0) {
                conversation->setChat_id(GetChatIDwithMessgaeID(conversation->handle_id(), chats));
            }
        }
    };
    const backup::MessageReadResult read =
        backup::readMessages({&folder, stored.relative, stored.walRelative}, options,
                             [&](const std::shared_ptr<PRMessageNode>& message) {
                                 const auto conversation = grouping.addMessage(message);
                                 if (conversation->messageCount() == 1) {
                                     conversation->setHandle_id(message->handle_id());
                                 }
                             });
    takeReport(read, read.databaseFound, family.report);
    family.messages = grouping.messages();
    family.conversations = grouping.conversations();
    messageThreadOrder(family.conversations);
    family.source =
        makeSource(kMessageDatabaseSource, stored, PrivacyFileFormat::Sqlite, "message", "ROWID");
    return family;
}

RecordFamily<PRNoteNode> readNoteSqliteWithPath(const std::string& backupFolder,
                                                const StopCheck& stop) {
    // The reader posts what it reads; the results are kept instead, so nobody listens here.
    NotificationCenter quiet;
    return tickedFamily<PRNoteNode>("notes", backup::scanNoteThread(backupFolder, &quiet, stop),
                                    backupFolder,
                                    {&backup::kNoteStoreSource, &backup::kNotesDatabaseSource,
                                     &backup::kOldNotesDatabaseSource});
}

RecordFamily<PRCallHistoryNode> readCallHistorySqliteWithPath(
    const std::string& backupFolder, const std::vector<std::shared_ptr<PRContactNode>>& contacts,
    const StopCheck& stop) {
    NotificationCenter quiet;
    return tickedFamily<PRCallHistoryNode>(
        "calls", backup::scanCallHistoryThread(backupFolder, contacts, &quiet, stop), backupFolder,
        {&backup::kCallStoreSource, &backup::kCallDatabaseSource,
         &backup::kHomeCallDatabaseSource});
}

void messageThreadOrder(std::vector<std::shared_ptr<PRMessageTreeNode>>& conversations) {
    // (no messages, recovered, minus the last message's time): smaller sorts first.
    using Key = std::tuple<bool, bool, qint64>;
    std::vector<std::pair<Key, std::shared_ptr<PRMessageTreeNode>>> keyed;
    keyed.reserve(conversations.size());
    for (auto& conversation : conversations) {
        const auto messages = conversation->MessageNodeArray();
        const qint64 last = messages.empty() || !messages.back()
                                ? std::numeric_limits<qint64>::min()
                                : messageTime(messages.back()->messageDate());
        // Negated so that newer comes first; the oldest possible stays the largest.
        const qint64 newestFirst =
            last == std::numeric_limits<qint64>::min() ? std::numeric_limits<qint64>::max() : -last;
        keyed.emplace_back(Key{messages.empty(), conversation->bdeleted(), newestFirst},
                           std::move(conversation));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        conversations[i] = std::move(keyed[i].second);
    }
}

}  // namespace nimbara::privacy
