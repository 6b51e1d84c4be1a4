// The message readers on hand-made databases of the shapes real backups hold: both layouts,
// attachment kinds, reduced and damaged databases, NULLs and BLOBs, dates in seconds and in
// nanoseconds, and the copy reader's end notification after every failure.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "address_book_fixture.h"
#include "attributed_body_archive.h"
#include "backup/backup_folder.h"
#include "backup/message_reader.h"
#include "backup/pr_contact_node.h"
#include "backup/record_dates.h"
#include "backup/record_notifications.h"
#include "backup/shah.h"
#include "platform/notification_center.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::backup;
using nimbara::Notification;
using nimbara::NotificationCenter;
using nimbara::test::SqlFixture;
using nimbara::test::TempDir;
using nimbara::test::writeText;

using Messages = std::vector<std::shared_ptr<PRMessageNode>>;

// 2021-06-01 12:00:00 UTC.
constexpr double kJune2021Unix = 1622548800.0;
constexpr std::int64_t kJune2021Since2001 = 644241600;

QString june2021() {
    return recordDateText(kJune2021Unix);
}

// A backup folder holding one message database stored flat under its key.
class MessageBackup {
  public:
    MessageBackup() { fs::create_directories(folder()); }
    fs::path folder() const { return tmp_ / "backup"; }
    fs::path database() const { return folder() / kMessageDatabaseKey; }
    SqlFixture& sql() {
        if (!sql_) {
            sql_ = std::make_unique<SqlFixture>(database());
        }
        return *sql_;
    }
    void close() { sql_.reset(); }

    // Reads with the plain reader's rules, the given contacts and stored attachment files.
    Messages read(MessageReadResult* out = nullptr, const ContactList& contacts = {}) {
        close();
        const BackupFolder opened = BackupFolder::open(folder().string());
        MessageReadOptions options;
        options.nameOf = contactNameLookup(contacts);
        options.attachmentFiles = &files_;
        Messages messages;
        const MessageReadResult result =
            readMessages({&opened, kMessageDatabaseKey, {}}, options,
                         [&](const std::shared_ptr<PRMessageNode>& m) { messages.push_back(m); });
        if (out != nullptr) {
            *out = result;
        }
        return messages;
    }

    // A file the backup stores for a device path, listed for the attachment look-up.
    void storeFile(const std::string& devicePath, const std::string& bytes) {
        const std::string key = fileKey("MediaDomain", devicePath);
        writeText(folder() / key, bytes);
        files_.add(QString::fromStdString(devicePath),
                   QString::fromStdString((folder() / key).string()));
    }

  private:
    TempDir tmp_;
    std::unique_ptr<SqlFixture> sql_;
    AttachmentFiles files_{{}, (tmp_ / "backup").string()};
};

const char* const kHandleTables =
    "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, id TEXT, service TEXT);"
    "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT, text TEXT, "
    "handle_id INTEGER, date INTEGER, date_read INTEGER, is_from_me INTEGER, "
    "cache_has_attachments INTEGER, service TEXT, an_extra_column TEXT);";

const char* const kAttachmentTables =
    "CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT, "
    "filename TEXT, mime_type TEXT);"
    "CREATE TABLE message_attachment_join (message_id INTEGER, attachment_id INTEGER);";

std::shared_ptr<PRContactNode> contact(const char* name, const char* phones,
                                       const char* picture = "") {
    auto node = std::make_shared<PRContactNode>();
    node->setContactName(QString::fromUtf8(name));
    node->setContactPhone(QString::fromUtf8(phones));
    node->setImageData(QByteArray(picture));
    return node;
}

TEST(MessageDatesTest, AMessageOf2021ShowsTheSameInSecondsAndNanoseconds) {
    const QTimeZone utc = QTimeZone::utc();
    EXPECT_EQ(recordDateText(referenceDateSeconds(kJune2021Since2001), utc),
              QStringLiteral("06-01-2021 12:00"));
    EXPECT_EQ(recordDateText(referenceDateSeconds(kJune2021Since2001 * 1e9), utc),
              QStringLiteral("06-01-2021 12:00"));
    EXPECT_EQ(recordDateText(unixSeconds(kJune2021Unix), utc), QStringLiteral("06-01-2021 12:00"));
    EXPECT_EQ(recordDateText(std::nullopt, utc), QStringLiteral(" "));
    // Local time is the zone's: two hours on in Berlin's summer.
    EXPECT_EQ(recordDateText(kJune2021Unix, QTimeZone("Europe/Berlin")),
              QStringLiteral("06-01-2021 14:00"));
}

TEST(MessageReaderTest, HandleLayoutFillsTypeAddressDateAndNames) {
    MessageBackup backup;
    backup.sql().exec(kHandleTables);
    backup.sql().exec(
        "INSERT INTO handle (ROWID, id) VALUES (1, '+14155550188'), (2, 'friend@mail.example');"
        "INSERT INTO message (ROWID, text, handle_id, date, date_read, is_from_me) VALUES "
        // seconds since 2001, never read: date_read 0
        "(10, 'received', 1, 644241600, 0, 0),"
        // nanoseconds since 2001, read an hour later
        "(11, 'sent', 1, 644241600000000000, 644245200000000000, 1),"
        "(12, 'odd', 2, 644241600, NULL, 2);");
    MessageReadResult result;
    const Messages messages =
        backup.read(&result, {contact("Amelia Hartwell", " +1 (415) 555-0188", "picture")});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.layout, MessageLayout::Handle);
    ASSERT_EQ(messages.size(), 3u);

    EXPECT_EQ(messages[0]->rowId(), 10);
    EXPECT_EQ(messages[0]->messageType(), QStringLiteral("Received"));
    EXPECT_EQ(messages[1]->messageType(), QStringLiteral("Send"));
    EXPECT_EQ(messages[2]->messageType(), QStringLiteral("unknown"));
    EXPECT_EQ(messages[0]->messagePhone(), QStringLiteral("+14155550188"));
    EXPECT_EQ(messages[0]->handle_id(), 1);
    EXPECT_EQ(messages[2]->messagePhone(), QStringLiteral("friend@mail.example"));
    // The date the message was sent or received, never the read time (0 for unread messages).
    for (const auto& m : messages) {
        EXPECT_EQ(m->messageDate(), june2021()) << m->messageContent().toStdString();
    }
    EXPECT_EQ(messages[0]->messageName(), QStringLiteral("Amelia Hartwell"));
    EXPECT_EQ(messages[0]->contactImageData(), QByteArray("picture"));
    EXPECT_EQ(messages[2]->messageName(), QString());
    EXPECT_TRUE(messages[2]->contactImageData().isNull());
}

TEST(MessageReaderTest, AttachmentKindsComeFromTheStoredBackupFiles) {
    MessageBackup backup;
    backup.sql().exec(kHandleTables);
    backup.sql().exec(kAttachmentTables);
    const std::string dir = "Library/SMS/Attachments/0a/10/GUID/";
    backup.sql().exec(
        "INSERT INTO handle (ROWID, id) VALUES (1, '+14155550188');"
        "INSERT INTO message (ROWID, text, handle_id, date, is_from_me, cache_has_attachments) "
        "VALUES (1, 'photo', 1, 0, 0, 1), (2, 'movie', 1, 0, 0, 1), (3, 'card', 1, 0, 1, 1),"
        "(4, 'here', 1, 0, 0, 1), (5, 'unlisted', 1, 0, 0, 1), (6, 'pdf', 1, 0, 0, 1),"
        "(7, 'flag only', 1, 0, 0, 0), (8, 'no row', 1, 0, 0, 1);"
        "INSERT INTO attachment (ROWID, filename) VALUES "
        "(1, '~/" +
        dir + "IMG_0001.JPG'), (2, '~/" + dir +
        "IMG_0002.MOV'),"
        "(3, '~/" +
        dir + "Contact.vcf'), (4, '~/" + dir +
        "Current Location.loc.vcf'),"
        "(5, '~/" +
        dir + "IMG_0005.jpeg'), (6, '/var/mobile/" + dir +
        "notes.pdf'),"
        "(7, '~/" +
        dir + "IMG_0007.JPG'), (8, '~/" + dir +
        "IMG_0008.JPG');"
        "INSERT INTO message_attachment_join VALUES (1, 1), (2, 2), (3, 3), (4, 4), (5, 5), "
        "(6, 6), (7, 7), (1, 8);");
    backup.storeFile(dir + "IMG_0001.JPG", "jpeg bytes");
    backup.storeFile(dir + "IMG_0002.MOV", "movie bytes");
    backup.storeFile(dir + "Contact.vcf", "BEGIN:VCARD\r\nFN:Garrison\r\nEND:VCARD\r\n");
    backup.storeFile(dir + "Current Location.loc.vcf", "BEGIN:VCARD\r\nFN:Here\r\nEND:VCARD\r\n");
    backup.storeFile(dir + "notes.pdf", "pdf");
    backup.storeFile(dir + "IMG_0007.JPG", "jpeg");

    // A file at the device's relative path below the working folder must never be read instead.
    TempDir elsewhere;
    writeText(elsewhere / (dir + "Contact.vcf"), "NOT FROM THE BACKUP");
    const fs::path before = fs::current_path();
    fs::current_path(elsewhere.path());
    MessageReadResult result;
    const Messages messages = backup.read(&result);
    fs::current_path(before);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(messages.size(), 8u);
    EXPECT_EQ(result.attachments, 8u);

    auto storedOf = [&](const std::string& name) {
        return QString::fromStdString(
            (backup.folder() / fileKey("MediaDomain", dir + name)).string());
    };
    EXPECT_EQ(messages[0]->attachType(), QStringLiteral("Image"));
    EXPECT_EQ(messages[0]->attachmentPath(), storedOf("IMG_0001.JPG"));  // the first row counts
    EXPECT_TRUE(messages[0]->contactImageData().isNull());
    EXPECT_EQ(messages[1]->attachType(), QStringLiteral("Mov"));
    EXPECT_EQ(messages[1]->attachmentPath(), storedOf("IMG_0002.MOV"));
    EXPECT_EQ(messages[2]->attachType(), QStringLiteral("Contact"));
    EXPECT_EQ(messages[2]->contactImageData(),
              QByteArray("BEGIN:VCARD\r\nFN:Garrison\r\nEND:VCARD\r\n"));
    EXPECT_EQ(messages[3]->attachType(), QStringLiteral("Location"));
    EXPECT_EQ(messages[3]->contactImageData(),
              QByteArray("BEGIN:VCARD\r\nFN:Here\r\nEND:VCARD\r\n"));
    // Not listed by the backup: the type, no stored file, still an attachment.
    EXPECT_EQ(messages[4]->attachType(), QStringLiteral("Image"));
    EXPECT_TRUE(messages[4]->attachmentPath().isNull());
    EXPECT_TRUE(messages[4]->isHasAttach());
    // An older absolute path resolves too; an unknown kind has no type.
    EXPECT_EQ(messages[5]->attachmentPath(), storedOf("notes.pdf"));
    EXPECT_TRUE(messages[5]->attachType().isNull());
    // Without the flag the row is not looked at; with the flag and no row nothing is set.
    EXPECT_TRUE(messages[6]->attachmentPath().isNull());
    EXPECT_TRUE(messages[7]->attachmentPath().isNull());
    EXPECT_TRUE(messages[7]->isHasAttach());
}

TEST(MessageReaderTest, AttachTypesByNameAndExtension) {
    EXPECT_EQ(messageAttachType("a/IMG_1.jpeg"), QStringLiteral("Image"));
    EXPECT_EQ(messageAttachType("a/clip.mp4"), QStringLiteral("Mov"));
    EXPECT_EQ(messageAttachType("a/voice.m4a"), QStringLiteral("Mov"));
    EXPECT_EQ(messageAttachType("a/Contact.vcf"), QStringLiteral("Contact"));
    EXPECT_EQ(messageAttachType("a/Current Location.loc.vcf"), QStringLiteral("Location"));
    EXPECT_TRUE(messageAttachType("a/Someone Else.vcf").isNull());
    EXPECT_TRUE(messageAttachType("").isNull());
    EXPECT_EQ(messageAttachPath("~/Library/SMS/Attachments/x.jpg"),
              QStringLiteral("Library/SMS/Attachments/x.jpg"));
}

TEST(MessageReaderTest, ADatabaseWithOnlyHandleAndMessageStillGivesItsMessages) {
    MessageBackup backup;
    backup.sql().exec(
        "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY, id TEXT);"
        "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, text TEXT, handle_id INTEGER, "
        "date INTEGER);"
        "INSERT INTO handle VALUES (1, '+14155550188');"
        "INSERT INTO message VALUES (1, 'hello', 1, 644241600), (2, 'again', 1, NULL);");
    MessageReadResult result;
    const Messages messages = backup.read(&result);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0]->messageContent(), QStringLiteral("hello"));
    EXPECT_EQ(messages[0]->messagePhone(), QStringLiteral("+14155550188"));
    EXPECT_EQ(messages[0]->messageDate(), june2021());
    EXPECT_EQ(messages[1]->messageDate(), QString());  // NULL changes nothing
    EXPECT_EQ(messages[0]->messageType(), QString());
    EXPECT_FALSE(messages[0]->isHasAttach());
    EXPECT_EQ(result.attachments, 0u);
}

TEST(MessageReaderTest, WithoutAHandleTableOrAMessageTableNothingFails) {
    {
        MessageBackup backup;
        backup.sql().exec(
            "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, text TEXT, handle_id INTEGER);"
            "INSERT INTO message VALUES (1, 'orphan', 7);");
        MessageReadResult result;
        const Messages messages = backup.read(&result);
        ASSERT_TRUE(result.ok) << result.error;
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0]->messagePhone(), QString());
        EXPECT_EQ(messages[0]->handle_id(), 7);
    }
    {
        MessageBackup backup;
        backup.sql().exec("CREATE TABLE chat (ROWID INTEGER PRIMARY KEY, guid TEXT);");
        MessageReadResult result;
        EXPECT_TRUE(backup.read(&result).empty());
        EXPECT_TRUE(result.ok);
        EXPECT_TRUE(result.databaseFound);
    }
}

TEST(MessageReaderTest, BlobsAndNullsWhereTextIsExpected) {
    MessageBackup backup;
    backup.sql().exec(kHandleTables);
    backup.sql().exec(
        "INSERT INTO handle (ROWID, id) VALUES (1, CAST('+14155550188' AS BLOB)), (2, NULL);"
        "INSERT INTO message (ROWID, text, handle_id, date, is_from_me, cache_has_attachments) "
        "VALUES (1, CAST('blob text' AS BLOB), 1, CAST('644241600' AS TEXT), '1', NULL),"
        "(2, NULL, 2, X'00FF', NULL, X'01'),"
        "(3, '', NULL, '', 0, 0),"
        "(4, X'C3', 1, 644241600.5, 0, 0);");
    MessageReadResult result;
    const Messages messages = backup.read(&result);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0]->messageContent(), QStringLiteral("blob text"));
    EXPECT_EQ(messages[0]->messagePhone(), QStringLiteral("+14155550188"));
    EXPECT_EQ(messages[0]->messageDate(), june2021());
    EXPECT_EQ(messages[0]->messageType(), QStringLiteral("Send"));
    // NULLs, empty texts and blobs where a number belongs leave the defaults.
    EXPECT_EQ(messages[1]->messageContent(), QString());
    EXPECT_EQ(messages[1]->messagePhone(), QString());
    EXPECT_EQ(messages[1]->messageDate(), QString());
    EXPECT_EQ(messages[1]->messageType(), QString());
    EXPECT_FALSE(messages[1]->isHasAttach());
    EXPECT_EQ(messages[2]->handle_id(), -1);
    EXPECT_EQ(messages[2]->messageDate(), QString());
    // Bytes that are not UTF-8 are shown replaced, not dropped.
    EXPECT_FALSE(messages[3]->messageContent().isEmpty());
    EXPECT_EQ(messages[3]->messageDate(), june2021());
}

// The archive as an SQL blob literal.
std::string blobLiteral(const std::vector<std::uint8_t>& bytes) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string literal = "X'";
    for (const std::uint8_t b : bytes) {
        literal += kHex[b >> 4];
        literal += kHex[b & 0x0F];
    }
    return literal + "'";
}

// Newer devices leave `text` empty and keep the words in `attributedBody` only; the databases
// of the other tests, which lack that column, read as before.
TEST(MessageReaderTest, AttributedBodyGivesTheWordsWhereTextIsEmpty) {
    using nimbara::test::archive;
    const std::string words = "See you at 8 \xF0\x9F\x99\x82";
    MessageBackup backup;
    backup.sql().exec(
        "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, text TEXT, handle_id INTEGER, "
        "attributedBody BLOB);"
        "INSERT INTO message VALUES (1, NULL, 0, " +
        blobLiteral(archive(words)) +
        "),"
        "(2, '', 0, " +
        blobLiteral(archive("empty text")) +
        "),"
        "(3, 'plain', 0, " +
        blobLiteral(archive("archived")) +
        "),"
        "(4, NULL, 0, X'040B0102'), (5, NULL, 0, NULL), (6, NULL, 0, 'not a blob');");
    MessageReadResult result;
    const Messages messages = backup.read(&result);
    ASSERT_TRUE(result.ok) << result.error;
    ASSERT_EQ(messages.size(), 6u);
    const std::vector<QString> expected{QString::fromStdString(words),
                                        QStringLiteral("empty text"),
                                        QStringLiteral("plain"),
                                        QString(),
                                        QString(),
                                        QString()};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(messages[i]->messageContent(), expected[i]) << i;
    }
}

TEST(MessageReaderTest, OlderLayoutFlagsMadridColumnsAndDates) {
    MessageBackup backup;
    backup.sql().exec(
        "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, "
        "date INTEGER, text TEXT, flags INTEGER, group_id INTEGER, association_id INTEGER, "
        "svc_center TEXT, subject TEXT, is_madrid INTEGER, madrid_handle TEXT, "
        "madrid_account TEXT, madrid_flags INTEGER, madrid_attachmentInfo BLOB);"
        "CREATE TABLE group_member (ROWID INTEGER PRIMARY KEY, group_id INTEGER, address TEXT);"
        "INSERT INTO group_member VALUES (1, 1, '+14155550188'), (2, 2, '6285550131');"
        // text messages: Unix seconds
        "INSERT INTO message (ROWID, date, text, flags, group_id, is_madrid) VALUES "
        "(1, 1622548800, 'sent', 16387, 1, 0), (2, 1622548800, 'received', 22, 2, 0),"
        "(3, 1622548800, 'odd', 0, 1, 0), (4, 1622548800, 'plain sent', 3, 1, NULL);"
        // iMessages: seconds since 2001, their own address and flags
        "INSERT INTO message (ROWID, date, text, flags, group_id, is_madrid, madrid_handle, "
        "madrid_flags, madrid_attachmentInfo) VALUES "
        "(5, 644241600, 'imessage', 0, 0, 1, 'friend@mail.example', 12289, NULL),"
        "(6, 644241600, 'replaced', 0, 0, 1, 'friend@mail.example', 36869, "
        "X'6F6E6500747769636500'),"
        "(7, 644241600, 'table flag', 0, 0, 1, 'friend@mail.example', 2, X'');");
    MessageReadResult result;
    const Messages messages =
        backup.read(&result, {contact("Bruno Castellane", "+1 (628) 555-0131")});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.layout, MessageLayout::GroupMember);
    ASSERT_EQ(messages.size(), 7u);
    EXPECT_EQ(messages[0]->messageType(), QStringLiteral("Send"));
    EXPECT_EQ(messages[1]->messageType(), QStringLiteral("Received"));
    EXPECT_EQ(messages[2]->messageType(), QStringLiteral("unknown"));
    EXPECT_EQ(messages[3]->messageType(), QStringLiteral("Send"));
    EXPECT_EQ(messages[0]->messagePhone(), QStringLiteral("+14155550188"));
    EXPECT_EQ(messages[1]->messageName(), QStringLiteral("Bruno Castellane"));
    for (const auto& m : messages) {
        EXPECT_EQ(m->messageDate(), june2021()) << m->messageContent().toStdString();
    }
    EXPECT_FALSE(messages[0]->bImessage());
    EXPECT_TRUE(messages[4]->bImessage());
    EXPECT_EQ(messages[4]->messagePhone(), QStringLiteral("friend@mail.example"));
    EXPECT_EQ(messages[4]->messageType(), QStringLiteral("Received"));
    EXPECT_EQ(messages[4]->messageContent(), QStringLiteral("imessage"));
    // Two NUL-terminated pieces joined without a separator, in place of the text.
    EXPECT_EQ(messages[5]->messageContent(), QStringLiteral("onetwice"));
    EXPECT_EQ(messages[5]->messageType(), QStringLiteral("Send"));
    EXPECT_EQ(messages[6]->messageContent(), QStringLiteral("table flag"));
    EXPECT_EQ(messages[6]->messageType(), QStringLiteral("Received"));
}

TEST(MessageReaderTest, OlderLayoutWithoutMemberTableReadsTheMessagesOwnAddress) {
    MessageBackup backup;
    backup.sql().exec(
        "CREATE TABLE message (ROWID INTEGER PRIMARY KEY, address TEXT, date INTEGER, "
        "text TEXT, flags INTEGER, group_id INTEGER);"
        "INSERT INTO message VALUES (1, '+14155550188', 1622548800, 'hi', 2, 9);");
    MessageReadResult result;
    const Messages messages = backup.read(&result);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.layout, MessageLayout::GroupMember);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0]->messagePhone(), QStringLiteral("+14155550188"));
    EXPECT_EQ(messages[0]->messageType(), QStringLiteral("Received"));
}

TEST(MessageReaderTest, DamagedDatabaseIsAnErrorAndAMissingOneIsQuiet) {
    {
        MessageBackup backup;
        writeText(backup.database(), std::string(4096, 'x'));
        MessageReadResult result;
        EXPECT_TRUE(backup.read(&result).empty());
        EXPECT_TRUE(result.databaseFound);
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.error.empty());
    }
    {
        MessageBackup backup;
        backup.sql().exec("CREATE VIEW message AS SELECT 1 AS ROWID;");
        MessageReadResult result;
        EXPECT_TRUE(backup.read(&result).empty());
        EXPECT_FALSE(result.ok);
    }
    {
        TempDir tmp;
        NotificationCenter center;
        int posted = 0;
        auto token = center.addObserver(kScanProgressInfo, [&](const Notification&) { ++posted; });
        const MessageReadResult result = scanMessageThread(tmp.str(), &center, {});
        EXPECT_FALSE(result.databaseFound);
        EXPECT_FALSE(result.progressPosted);
        EXPECT_EQ(posted, 0);
    }
}

// Everything the copy reader posted.
struct CopyPosts {
    explicit CopyPosts(NotificationCenter& center) {
        tokens.push_back(
            center.addObserver(kScanTransferMessageInfo, [this](const Notification& n) {
                messages.push_back(n.objectAs<std::shared_ptr<PRMessageNode>>());
            }));
        tokens.push_back(
            center.addObserver(kScanTransferMessageFinished, [this](const Notification& n) {
                ++finished;
                finishedWithObject = n.object.has_value();
            }));
    }
    Messages messages;
    int finished = 0;
    bool finishedWithObject = false;
    std::vector<nimbara::ObserverToken> tokens;
};

TEST(MessageReaderTest, CopyReaderEndsOnEveryFailure) {
    TempDir tmp;
    fs::create_directories(tmp / "empty");
    fs::create_directories(tmp / "damaged");
    writeText(tmp / "damaged" / kMessageDatabaseKey, "not a database at all, not at all");
    fs::create_directories(tmp / "notable" / "3d");
    {
        SqlFixture db(tmp / "notable" / "3d" / kMessageDatabaseKey);
        db.exec("CREATE TABLE handle (ROWID INTEGER PRIMARY KEY, id TEXT);");
    }
    for (const std::string& folder :
         {std::string(), (tmp / "missing").string(), (tmp / "empty").string(),
          (tmp / "damaged").string(), (tmp / "notable").string()}) {
        NotificationCenter center;
        CopyPosts posts(center);
        scanTransferMessageThread(folder, {}, &center);
        EXPECT_TRUE(posts.messages.empty()) << folder;
        EXPECT_EQ(posts.finished, 1) << folder;
        EXPECT_FALSE(posts.finishedWithObject) << folder;
    }
}

TEST(MessageReaderTest, CopyReaderReadsTheSameDateAsThePlainOne) {
    TempDir tmp;
    fs::create_directories(tmp / "b");
    {
        SqlFixture db(tmp / "b" / kMessageDatabaseKey);
        db.exec(kHandleTables);
        // An 18-digit nanosecond value, a 9-digit seconds value, and a nanosecond value of
        // 2002-06-01 12:00 UTC with 17 digits (its first 9 digits would be a date of 2010).
        db.exec(
            "INSERT INTO message (ROWID, text, date, date_read) VALUES "
            "(1, 'ns', 644241600000000000, 0), (2, 's', 644241600, 0),"
            "(3, '2002', 44625600000000000, 0);");
    }
    NotificationCenter center;
    CopyPosts posts(center);
    const MessageReadResult result = scanTransferMessageThread((tmp / "b").string(), {}, &center);
    EXPECT_TRUE(result.ok) << result.error;
    ASSERT_EQ(posts.messages.size(), 3u);
    EXPECT_EQ(posts.messages[0]->messageDate(), june2021());
    EXPECT_EQ(posts.messages[1]->messageDate(), june2021());
    EXPECT_EQ(posts.messages[2]->messageDate(), recordDateText(1022932800.0));
    EXPECT_EQ(posts.finished, 1);
}

}  // namespace
