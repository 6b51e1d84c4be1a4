// The privacy cleaner's record families read through the backup's record readers: contacts,
// messages (with their conversations and attachment rows), notes and calls. The readers of the
// backup browser do the reading (private copies of the databases, with their logs, a stop check
// between rows); this layer keeps, for each family, the source its records came from: the stored
// database, the table and its primary-key column, so that each record can later be removed by the
// key it was read with (a contact by its ABPerson row id, a message by its message row id, a call
// or a note by the primary key of the table it was read from).
//
// Calls and notes come ticked; contacts, messages and conversations are left for the user to
// tick.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "backup/contact_reader.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_image_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_message_attach_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "privacy/privacy_backup.h"
#include "privacy/privacy_reader.h"

namespace nimbara {
class SqliteDb;
}

namespace nimbara::privacy {

// The records of one family and where they were read from (null when the backup holds none of
// the family's databases).
template <class Node>
struct RecordFamily {
    std::vector<std::shared_ptr<Node>> records;
    PrivacySourceRef source;
    PrivacyReadReport report;
};

struct ContactFamily : RecordFamily<PRContactNode> {
    std::vector<std::shared_ptr<PRContactImageNode>> images;  // contactImageArray
};

struct MessageFamily {
    std::vector<std::shared_ptr<PRMessageNode>> messages;           // messageArray
    std::vector<std::shared_ptr<PRMessageTreeNode>> conversations;  // messageTreeArray
    std::vector<std::shared_ptr<PRMessageAttachNode>> attachments;  // AttachArray
    PrivacySourceRef source;                                        // table "message", key "ROWID"
    PrivacyReadReport report;
};

inline constexpr backup::DatabaseSource kAddressBookSource{
    "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb"};
inline constexpr backup::DatabaseSource kMessageDatabaseSource{"HomeDomain", "Library/SMS/sms.db"};

// The address book (table ABPerson, key ROWID) and the contacts' pictures.
ContactFamily scanContactThread(const std::string& backupFolder, const StopCheck& stop = {});

// Every message with the other party's name from `contacts` and its attachment's stored file
// from the file list, grouped into conversations (each with the address row and the chat of its
// first message), and every attachment row. The conversations come sorted by messageThreadOrder.
MessageFamily readMessageDBWithPath(const std::string& backupFolder,
                                    const std::vector<std::shared_ptr<PRContactNode>>& contacts,
                                    const PrivacyFileList& files, const StopCheck& stop = {});

// The first chat of each address row (chat_handle_join), by the address row's id; none when the
// table cannot be read.
using ChatIdsByHandle = std::unordered_map<std::int64_t, int>;
ChatIdsByHandle readChatIdsByHandle(SqliteDb& db);
// The first chat of the address row `handleId`, 0 when there is none.
int GetChatIDwithMessgaeID(int handleId, const ChatIdsByHandle& chats);

// The notes of the first note database the backup holds, ticked.
RecordFamily<PRNoteNode> readNoteSqliteWithPath(const std::string& backupFolder,
                                                const StopCheck& stop = {});

// The calls of the first call history the backup holds, named from `contacts`, ticked.
RecordFamily<PRCallHistoryNode> readCallHistorySqliteWithPath(
    const std::string& backupFolder, const std::vector<std::shared_ptr<PRContactNode>>& contacts,
    const StopCheck& stop = {});

// The order of the conversation list: conversations with messages before those without, then
// conversations read from the device before recovered ones, then the newest last message first;
// conversations equal in all three keep their order. The key is worked out once per
// conversation, so the order is a strict weak ordering even when dates cannot be read (they sort
// as the oldest).
void messageThreadOrder(std::vector<std::shared_ptr<PRMessageTreeNode>>& conversations);

}  // namespace nimbara::privacy
