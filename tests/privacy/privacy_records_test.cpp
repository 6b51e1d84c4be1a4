// The record families of the privacy cleaner: each record carries the primary key of the table
// it was read from (never its place in the list, never -1), and the family the table and column
// that key belongs to, whichever database of the family the backup holds.
#include <gtest/gtest.h>

#include <QString>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "../backup/record_backup_fixture.h"
#include "backup/shah.h"
#include "backup/sqlite_db.h"
#include "backup_messages.h"
#include "backup_notes.h"
#include "backup_source.h"
#include "cost_bound.h"
#include "privacy/privacy_records.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::privacy;
using nimbara::SqliteDb;
using nimbara::test::RecordBackup;

std::vector<int> callKeys(const RecordFamily<PRCallHistoryNode>& family) {
    std::vector<int> keys;
    for (const auto& call : family.records) {
        keys.push_back(call->rowid());
    }
    return keys;
}

TEST(PrivacyRecords, CallsCarryThePrimaryKeyOfTheTableTheyWereReadFrom) {
    struct Case {
        const char* domain;
        const char* path;
        const char* sql;
        const char* table;
        const char* key;
    };
    const Case cases[] = {
        {"HomeDomain", "Library/CallHistoryDB/CallHistory.storedata",
         "CREATE TABLE ZCALLRECORD (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, ZADDRESS BLOB, "
         "ZDATE TIMESTAMP, ZDURATION FLOAT, ZORIGINATED INTEGER);"
         "INSERT INTO ZCALLRECORD VALUES (40, 2, '+1 (415) 555-0188', 600000000, 62, 1);"
         "INSERT INTO ZCALLRECORD VALUES (7, 2, '+1 (415) 555-0188', 600000100, 0, 0);",
         "ZCALLRECORD", "Z_PK"},
        {"WirelessDomain", "Library/CallHistory/call_history.db",
         "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date "
         "INTEGER, duration INTEGER, flags INTEGER);"
         "INSERT INTO call VALUES (40, '4155550188', 1300000000, 62, 5);"
         "INSERT INTO call VALUES (7, '4155550102', 1300000100, 0, 4);",
         "call", "ROWID"},
    };
    for (const Case& c : cases) {
        RecordBackup backup;
        nimbara::simdev::addBackupAddressBook(backup.builder(),
                                              {{.first = "Amelia", .phones = {"(415) 555-0188"}}});
        backup.writeDatabase(c.domain, c.path, c.sql);
        const fs::path folder = backup.write();
        const ContactFamily contacts = scanContactThread(folder.string());
        const RecordFamily<PRCallHistoryNode> calls =
            readCallHistorySqliteWithPath(folder.string(), contacts.records);
        EXPECT_TRUE(calls.report.ok) << calls.report.error;
        // Rows come in key order: the first call is the one with key 7.
        EXPECT_EQ(callKeys(calls), (std::vector<int>{7, 40})) << c.table;
        ASSERT_TRUE(calls.source) << c.table;
        EXPECT_EQ(calls.source->table, c.table);
        EXPECT_EQ(calls.source->keyColumn, c.key);
        EXPECT_EQ(calls.source->domain, c.domain);
        EXPECT_EQ(calls.source->fileKey, nimbara::backup::fileKey(c.domain, c.path));
        EXPECT_TRUE(fs::is_regular_file(folder / calls.source->storedName));
        EXPECT_TRUE(calls.records[0]->bSelected());
        EXPECT_EQ(calls.records[0]->callDuration(), QStringLiteral("Missed"));
        EXPECT_EQ(calls.records[1]->callName(), QStringLiteral("Amelia"));
    }
}

TEST(PrivacyRecords, NotesCarryTheKeyOfTheirNoteRowNotOfTheirBody) {
    RecordBackup backup;
    // Bodies numbered apart from their notes: a body key would name another note.
    backup.writeDatabase("HomeDomain", "Library/Notes/notes.sqlite",
                         "CREATE TABLE ZNOTE (Z_PK INTEGER PRIMARY KEY, ZBODY INTEGER, ZTITLE "
                         "VARCHAR, ZMODIFICATIONDATE TIMESTAMP);"
                         "CREATE TABLE ZNOTEBODY (Z_PK INTEGER PRIMARY KEY, ZCONTENT VARCHAR);"
                         "INSERT INTO ZNOTE VALUES (12, 3, 'Groceries', 600000000);"
                         "INSERT INTO ZNOTE VALUES (5, 12, 'Gate code', 600000100);"
                         "INSERT INTO ZNOTEBODY VALUES (3, 'lentils<br>bread');"
                         "INSERT INTO ZNOTEBODY VALUES (12, '4471#');");
    const fs::path folder = backup.write();
    const RecordFamily<PRNoteNode> notes = readNoteSqliteWithPath(folder.string());
    EXPECT_TRUE(notes.report.ok) << notes.report.error;
    ASSERT_EQ(notes.records.size(), 2u);
    // Rows come in key order.
    EXPECT_EQ(notes.records[0]->uid(), 5);
    EXPECT_EQ(notes.records[0]->noteTitle(), QStringLiteral("Gate code"));
    EXPECT_EQ(notes.records[0]->noteContent(), QStringLiteral("4471#"));
    EXPECT_EQ(notes.records[1]->uid(), 12);
    EXPECT_EQ(notes.records[1]->noteTitle(), QStringLiteral("Groceries"));
    EXPECT_TRUE(notes.records[1]->bSelected());
    ASSERT_TRUE(notes.source);
    EXPECT_EQ(notes.source->table, "ZNOTE");
    EXPECT_EQ(notes.source->keyColumn, "Z_PK");

    for (auto [kind, table, key] :
         {std::tuple{nimbara::simdev::NotesKind::NoteStore, "ZICCLOUDSYNCINGOBJECT", "Z_PK"},
          std::tuple{nimbara::simdev::NotesKind::OldNotesDatabase, "note", "ROWID"}}) {
        RecordBackup other;
        nimbara::simdev::addBackupNotes(other.builder(), nimbara::simdev::demoNotes(), kind, 1);
        const RecordFamily<PRNoteNode> read = readNoteSqliteWithPath(other.write().string());
        EXPECT_TRUE(read.report.ok) << read.report.error;
        ASSERT_FALSE(read.records.empty()) << table;
        EXPECT_EQ(read.source->table, table);
        EXPECT_EQ(read.source->keyColumn, key);
        EXPECT_FALSE(read.source->walStoredName.empty()) << table;
        for (const auto& note : read.records) {
            EXPECT_GT(note->uid(), 0) << table;
        }
    }
}

TEST(PrivacyRecords, ContactsCarryTheirPersonRowAndAreNotTicked) {
    RecordBackup backup;
    nimbara::simdev::addBackupAddressBook(backup.builder(), nimbara::simdev::demoContacts());
    const ContactFamily contacts = scanContactThread(backup.write().string());
    EXPECT_TRUE(contacts.report.ok) << contacts.report.error;
    ASSERT_EQ(contacts.records.size(), nimbara::simdev::demoContacts().size());
    for (std::size_t i = 0; i < contacts.records.size(); ++i) {
        EXPECT_EQ(contacts.records[i]->rowid(), static_cast<int>(i + 1));
        EXPECT_FALSE(contacts.records[i]->bSelected());
    }
    EXPECT_FALSE(contacts.images.empty());
    EXPECT_EQ(contacts.source->table, "ABPerson");
    EXPECT_EQ(contacts.source->keyColumn, "ROWID");

    RecordBackup none;
    const ContactFamily nothing = scanContactThread(none.write().string());
    EXPECT_FALSE(nothing.report.found);
    EXPECT_TRUE(nothing.report.ok);
    EXPECT_FALSE(nothing.source);
}

TEST(PrivacyRecords, MessagesKeepTheirRowsConversationsTheirAddressAndChat) {
    RecordBackup backup;
    const auto& b = backup.builder();
    nimbara::simdev::addBackupAddressBook(b, nimbara::simdev::demoContacts());
    nimbara::simdev::addBackupMessages(b, nimbara::simdev::demoMessages());
    const fs::path folder = backup.write();
    const std::string folderPath = folder.string();

    const ContactFamily contacts = scanContactThread(folderPath);
    const PrivacyFileList files = scanBackupDataAnalyThread(folderPath);
    const MessageFamily messages = readMessageDBWithPath(folderPath, contacts.records, files);
    EXPECT_TRUE(messages.report.ok) << messages.report.error;
    ASSERT_EQ(messages.messages.size(), nimbara::simdev::demoMessages().size());
    ASSERT_TRUE(messages.source);
    EXPECT_EQ(messages.source->table, "message");
    EXPECT_EQ(messages.source->keyColumn, "ROWID");

    // What the database itself says, read apart from the reader.
    auto db = SqliteDb::open((folder / messages.source->storedName).string(),
                             SqliteDb::Mode::ReadOnly, nullptr, true);
    ASSERT_TRUE(db);
    std::map<int, int> handleOf;
    auto rows = db->prepare("SELECT ROWID, handle_id FROM message");
    while (rows.step()) {
        handleOf[rows.columnInt(0)] = rows.columnInt(1);
    }
    std::map<int, int> chatOf;
    auto joins = db->prepare("SELECT handle_id, chat_id FROM chat_handle_join ORDER BY ROWID DESC");
    while (joins.step()) {
        chatOf[joins.columnInt(0)] = joins.columnInt(1);  // the first row wins
    }
    auto attachments = db->prepare("SELECT COUNT(*) FROM attachment");
    ASSERT_TRUE(attachments.step());
    EXPECT_EQ(messages.attachments.size(), static_cast<std::size_t>(attachments.columnInt(0)));
    EXPECT_FALSE(messages.attachments.empty());

    std::set<int> rowIds;
    std::size_t grouped = 0;
    for (const auto& conversation : messages.conversations) {
        const auto list = conversation->MessageNodeArray();
        grouped += list.size();
        ASSERT_FALSE(list.empty());
        EXPECT_EQ(conversation->handle_id(), list.front()->handle_id());
        EXPECT_EQ(conversation->chat_id(), chatOf.at(conversation->handle_id()));
        EXPECT_FALSE(conversation->bSelected());
    }
    for (const auto& message : messages.messages) {
        EXPECT_EQ(handleOf.at(message->rowId()), message->handle_id());
        rowIds.insert(message->rowId());
    }
    EXPECT_EQ(rowIds.size(), messages.messages.size());
    EXPECT_EQ(grouped, messages.messages.size());

    // A stored attachment is found through the file list.
    bool attached = false;
    for (const auto& message : messages.messages) {
        if (!message->attachmentPath().isEmpty()) {
            attached = true;
            EXPECT_TRUE(fs::is_regular_file(message->attachmentPath().toStdString()));
        }
    }
    EXPECT_TRUE(attached);
}

// A database with as many addresses as messages is grouped into conversations, each with its
// chat, in time that grows with the database rather than with conversations times addresses.
TEST(PrivacyRecords, ConversationsAreGroupedInTimeThatFollowsTheDatabase) {
    constexpr int kAddresses = 1500;
    MessageFamily read;  // the last read, of the larger database
    nimbara::test::expectCostFollowsSize(
        [&read](int addresses) {
            std::vector<nimbara::simdev::BackupMessage> messages;
            for (int i = 0; i < addresses; ++i) {
                messages.push_back({.address = "+1707555" + std::to_string(100000 + i),
                                    .text = "hi",
                                    .unixTime = 1700000000 + i});
            }
            auto backup = std::make_shared<RecordBackup>();
            nimbara::simdev::addBackupMessages(backup->builder(), messages);
            return [&read, backup, folder = backup->write().string()] {
                read = readMessageDBWithPath(folder, {}, PrivacyFileList());
            };
        },
        kAddresses, false, 1);  // the smaller takes long enough to measure once
    ASSERT_EQ(read.conversations.size(), 4u * kAddresses);
    for (const auto& conversation : read.conversations) {
        ASSERT_GT(conversation->chat_id(), 0);
    }
}

std::shared_ptr<PRMessageTreeNode> conversation(const char* name, const char* lastDate,
                                                bool deleted = false) {
    auto node = std::make_shared<PRMessageTreeNode>();
    node->setMessageTreeNodeName(QString::fromLatin1(name));
    node->setBdeleted(deleted);
    if (lastDate != nullptr) {
        auto older = std::make_shared<PRMessageNode>();
        older->setMessageDate(QStringLiteral("01-01-2000 00:00"));
        auto last = std::make_shared<PRMessageNode>();
        last->setMessageDate(QString::fromLatin1(lastDate));
        node->setMessageNodeArray({older, last});
    }
    return node;
}

TEST(PrivacyRecords, ConversationsSortNewestFirstWithTheOthersInAFixedPlace) {
    std::vector<std::shared_ptr<PRMessageTreeNode>> list = {
        conversation("A", "09-01-2026 10:00"),
        conversation("B", nullptr),
        conversation("C", "not a date"),
        conversation("D", "09-02-2026 10:00"),
        conversation("E", "09-01-2026 10:00"),
        conversation("F", "12-24-2026 10:00", true),
        conversation("G", nullptr),
    };
    messageThreadOrder(list);
    QString order;
    for (const auto& node : list) {
        order += node->messageTreeNodeName();
    }
    EXPECT_EQ(order, QStringLiteral("DAECFBG"));
}

}  // namespace
