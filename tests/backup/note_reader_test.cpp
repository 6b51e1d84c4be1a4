// The note readers over backups holding each of the device's note databases, note-store bodies
// decoded from their protocol buffers, and reduced, damaged and logged databases.
#include "backup/note_reader.h"

#include "cost_bound.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <QStringList>

#include <filesystem>
#include <memory>

#include "backup/contact_reader.h"
#include "backup/note_body.h"
#include "backup/record_notifications.h"
#include "backup_notes.h"
#include "backup_snapshot.h"
#include "record_backup_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara;
using namespace nimbara::backup;
using nimbara::simdev::BackupNote;
using nimbara::simdev::NotesKind;
using nimbara::test::localDateText;
using nimbara::test::Posted;
using nimbara::test::RecordBackup;

using NotePtr = std::shared_ptr<PRNoteNode>;

constexpr std::int64_t kMay = 1716800000;  // 2024-05-27, Unix seconds

// Longer than 200 characters (and so than 128 bytes, where a length takes two bytes).
const std::string kLongText =
    "Long note\nThe first characters of a long note must survive: its length no longer fits in "
    "one byte of the body, so a reader that looks for the text at a fixed place loses the start "
    "of it. This one goes on past two hundred characters.";
const std::string kEmojiText = "Party 🎉\nCake 🎂 and 🇮🇹 flags, naïve café";

std::vector<BackupNote> sampleNotes() {
    return {{"Long note", kLongText, kMay - 86400, kMay},
            {"Party 🎉", kEmojiText, kMay - 3600, kMay + 60},
            {"Short", "Short\nMilk", kMay, kMay + 120}};
}

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

// Bytes in gzip form.
QByteArray gzip(const QByteArray& bytes) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, bytes.size()) + 32), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return out;
}

TEST(NoteBodyTest, LongAndEmojiNotesDecodeWhole) {
    for (const std::string& text : {kLongText, kEmojiText, std::string("A"), std::string()}) {
        const std::string stored = simdev::noteStoreBody(text);
        EXPECT_EQ(noteBodyText(QByteArray::fromStdString(stored)), q(text)) << text;
    }
    // A note of many kilobytes: lengths of three bytes.
    const std::string big(40000, 'x');
    EXPECT_EQ(noteBodyText(QByteArray::fromStdString(simdev::noteStoreBody(big))), q(big));
}

TEST(NoteBodyTest, FieldsAreWalkedNotFoundByPosition) {
    // Unknown fields of every wire type before the wanted ones are skipped.
    const QByteArray note = QByteArray("\x08\x01\x11", 3) + QByteArray(8, '\x07') +
                            QByteArray("\x1d\x01\x02\x03\x04\x12\x02hi", 9);
    QByteArray document = QByteArray("\x10\x00\x1a", 3);
    document += static_cast<char>(note.size());
    document += note;
    QByteArray proto = QByteArray("\x0a\x00\x12", 3);
    proto += static_cast<char>(document.size());
    proto += document;
    EXPECT_EQ(noteTextOfProto(proto), std::optional<QString>(QStringLiteral("hi")));
    EXPECT_EQ(noteBodyText(gzip(proto)), QStringLiteral("hi"));
    // A note without a text field has the empty text.
    EXPECT_EQ(noteTextOfProto(QByteArray("\x12\x02\x1a\x00", 4)),
              std::optional<QString>(QLatin1String("")));
}

TEST(NoteBodyTest, UndecodableBodiesGiveOneBlank) {
    const QByteArray good = QByteArray::fromStdString(simdev::noteStoreBody(kLongText));
    // Corrupt gzip, a truncated stream, plain bytes, an empty blob.
    QByteArray corrupt = good;
    corrupt[12] = static_cast<char>(corrupt[12] ^ 0x5a);
    corrupt[20] = static_cast<char>(corrupt[20] ^ 0x33);
    for (const QByteArray& bad :
         {corrupt, good.left(good.size() / 2), QByteArray("not gzip at all"), QByteArray()}) {
        EXPECT_EQ(noteBodyText(bad), QStringLiteral(" "));
    }
    // Inflated bytes that are no protocol buffer, or one whose length runs past its end.
    EXPECT_EQ(noteBodyText(gzip("\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff")),
              QStringLiteral(" "));
    EXPECT_EQ(noteBodyText(gzip(QByteArray("\x12\x7f\x1a\x02", 4))), QStringLiteral(" "));
    // A body inflating beyond the cap is refused.
    const QByteArray bomb = gzip(QByteArray(1 << 20, '\0'));
    EXPECT_FALSE(inflateNoteData(bomb, 4096));
    EXPECT_TRUE(inflateNoteData(bomb, 1 << 20));
}

// The bodies of one database inflate to 32 times its bytes and 64 MiB more, live and deleted notes
// together: a body past that shows as too large, the notes before it and those without a body
// still show, and a body named twice is inflated once.
TEST(NoteBodyTest, BodiesPastTheirDatabasesAllowanceShowAsTooLarge) {
    RecordBackup backup;
    const QByteArray good = QByteArray::fromStdString(simdev::noteStoreBody("Good\nbody"));
    // About 40 KB each, 40 MiB inflated: the second goes past what a database this small allows.
    const std::string bomb = gzip(QByteArray(40 << 20, '\0')).toHex().toStdString();
    backup.writeDatabase("AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite",
                         "CREATE TABLE ZICCLOUDSYNCINGOBJECT (Z_PK INTEGER PRIMARY KEY, ZTITLE1, "
                         "ZMODIFICATIONDATE1, ZNOTEDATA);"
                         "CREATE TABLE ZICNOTEDATA (Z_PK INTEGER PRIMARY KEY, ZDATA BLOB);"
                         "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (1, 'Good', 738000000, 11);"
                         "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (2, 'Big', 738000000, 12);"
                         "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (3, 'Bigger', 738000000, 13);"
                         "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (4, 'Again', 738000000, 11);"
                         "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (5, 'No body', 738000000, NULL);"
                         "INSERT INTO ZICNOTEDATA VALUES (11, X'" +
                             good.toHex().toStdString() +
                             "');INSERT INTO ZICNOTEDATA VALUES (12, X'" + bomb +
                             "');INSERT INTO ZICNOTEDATA VALUES (13, X'" + bomb + "');");
    const std::string folder = backup.write().string();
    NoteBodyAllowance allowance;
    const NoteReadResult read = scanNoteThread(folder, nullptr, {}, &allowance);
    ASSERT_TRUE(read.ok) << read.error;
    QStringList contents;
    for (const NotePtr& note : read.records) {
        contents << note->noteContent();
    }
    const QString tooLarge = QString::fromLatin1(kNoteTooLargeText);
    EXPECT_EQ(contents, QStringList({QStringLiteral("Good\nbody"), QStringLiteral(" "), tooLarge,
                                     QStringLiteral("Good\nbody"), QStringLiteral("No body")}));
    EXPECT_LE(allowance.inflated(),
              (64u << 20) + 32 * fs::file_size(backupFilePath(folder, kNoteStoreSource.key())));
    // What is spent stays spent for the next reader of the same database.
    const NoteReadResult again = scanNoteThread(folder, nullptr, {}, &allowance);
    ASSERT_FALSE(again.records.empty());
    EXPECT_EQ(again.records.front()->noteContent(), tooLarge);
}

TEST(NoteKeysTest, TheDatabasesAreFoundUnderTheDevicesKeys) {
    EXPECT_EQ(kNoteStoreSource.key(), "4f98687d8ab0d6d1a371110e6b7300f6e465bef2");
    EXPECT_EQ(kNotesDatabaseSource.key(), "ca3bc056d4da0bbf88b5fb3be254f3b7147e639c");
    EXPECT_EQ(kOldNotesDatabaseSource.key(), "740b7eaf93d6ea5d305e88bb349c8e9643f48c3b");
}

class NoteReaderTest : public ::testing::TestWithParam<bool> {
  protected:
    bool legacy() const { return GetParam(); }
    NotificationCenter center_;
};

TEST_P(NoteReaderTest, EachNoteDatabaseGivesItsNotesToBothReaders) {
    for (NotesKind kind :
         {NotesKind::NoteStore, NotesKind::NotesDatabase, NotesKind::OldNotesDatabase}) {
        RecordBackup backup;
        simdev::addBackupNotes(backup.builder(), sampleNotes(), kind);
        const fs::path folder = backup.write(legacy());
        const auto before = test::folderSnapshot(folder);
        const bool store = kind == NotesKind::NoteStore;

        Posted plain(center_, {kScanNoteInfo, kScanProgressNotification});
        const NoteReadResult read = scanNoteThread(folder.string(), &center_);
        ASSERT_TRUE(read.ok) << read.error;
        // The store's account and folder rows are not notes.
        ASSERT_EQ(read.records.size(), 3u);
        EXPECT_EQ(plain.objects<NotePtr>(kScanNoteInfo), read.records);
        EXPECT_EQ(plain.seen.back().name, kScanProgressNotification);
        EXPECT_EQ(plain.seen.back().objectAs<int>(), 70);
        plain.tokens.clear();
        const NotePtr& longNote = read.records[0];
        EXPECT_EQ(longNote->noteTitle(), QStringLiteral("Long note"));
        EXPECT_EQ(longNote->noteDate(), localDateText(kMay)) << static_cast<int>(kind);
        EXPECT_EQ(read.records[1]->noteTitle(), QStringLiteral("Party 🎉"));
        if (store) {
            EXPECT_EQ(longNote->noteContent(), q(kLongText));
            EXPECT_EQ(read.records[1]->noteContent(), q(kEmojiText));
            EXPECT_EQ(longNote->uid(), 3);
        } else {
            // Older bodies are HTML, each line after the first in a division.
            EXPECT_EQ(read.records[2]->noteContent(), QStringLiteral("Short Milk "));
            EXPECT_TRUE(read.records[1]->noteContent().contains(QStringLiteral("Cake 🎂")));
            EXPECT_EQ(longNote->uid(), 1);
        }
        EXPECT_TRUE(longNote->noteAttachPath().isNull());

        Posted copy(center_, {kScanTransferNoteInfo, kScanTransferNoteFinished});
        const NoteReadResult copied = scanTransferNoteThread(folder.string(), &center_);
        ASSERT_EQ(copied.records.size(), 3u);
        EXPECT_EQ(copied.records[0]->noteContent(), read.records[0]->noteContent());
        ASSERT_EQ(copy.seen.size(), 4u);
        EXPECT_EQ(copy.seen.back().name, kScanTransferNoteFinished);
        EXPECT_EQ(copy.seen.back().objectAs<int>(), 70);
        EXPECT_EQ(test::folderSnapshot(folder), before);
    }
}

// Some notes were still in the write-ahead log when the backup was taken.
TEST_P(NoteReaderTest, RowsInTheLogAreRead) {
    for (NotesKind kind : {NotesKind::NoteStore, NotesKind::NotesDatabase}) {
        RecordBackup backup;
        simdev::addBackupNotes(backup.builder(), sampleNotes(), kind, 2);
        const fs::path folder = backup.write(legacy());
        const DatabaseSource& source =
            kind == NotesKind::NoteStore ? kNoteStoreSource : kNotesDatabaseSource;
        EXPECT_FALSE(
            locateStoredFile(BackupFolder::open(folder.string()), source.walKey()).empty());
        const NoteReadResult read = scanNoteThread(folder.string());
        ASSERT_EQ(read.records.size(), 3u);
        EXPECT_EQ(read.records[2]->noteTitle(), QStringLiteral("Short"));
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, NoteReaderTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Flat" : "Sharded"; });

// The store first, then the newer older database, then the oldest.
TEST(NoteSourcesTest, TheNewestDatabaseWins) {
    RecordBackup backup;
    simdev::addBackupNotes(backup.builder(), {{"Old", "Old\nx", kMay, kMay}},
                           NotesKind::OldNotesDatabase);
    simdev::addBackupNotes(backup.builder(), {{"Middle", "Middle\nx", kMay, kMay}},
                           NotesKind::NotesDatabase);
    {
        const NoteReadResult read = scanNoteThread(backup.write().string());
        ASSERT_EQ(read.records.size(), 1u);
        EXPECT_EQ(read.records[0]->noteTitle(), QStringLiteral("Middle"));
    }
    simdev::addBackupNotes(backup.builder(), {{"New", "New\nx", kMay, kMay}}, NotesKind::NoteStore);
    const NoteReadResult read = scanNoteThread(backup.write().string());
    ASSERT_EQ(read.records.size(), 1u);
    EXPECT_EQ(read.records[0]->noteTitle(), QStringLiteral("New"));
}

// Bodies are found the same way whether Z_PK is the body table's key or a plain column.
class StoreBodyKeyTest : public ::testing::TestWithParam<const char*> {};

TEST_P(StoreBodyKeyTest, StoreBodiesFallBackAndReducedStoresStillGiveNotes) {
    RecordBackup backup;
    const QByteArray good = QByteArray::fromStdString(simdev::noteStoreBody("Good\nbody"));
    const QByteArray empty = QByteArray::fromStdString(simdev::noteStoreBody(""));
    backup.writeDatabase(
        "AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite",
        "CREATE TABLE ZICCLOUDSYNCINGOBJECT (Z_PK INTEGER PRIMARY KEY, ZTITLE1, "
        "ZMODIFICATIONDATE1, ZNOTEDATA, ZEXTRA);"
        "CREATE TABLE ZICNOTEDATA (Z_PK " +
            std::string(GetParam()) +
            ", ZDATA BLOB);"
            "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (1, 'Good', 738000000.5, 11, 'x');"
            "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (2, 'Corrupt', 738000000, 12, NULL);"
            "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (3, 'Empty', 738000000, 13, NULL);"
            "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (4, 'No body', 738000000, NULL, NULL);"
            "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (5, 'Lost body', 738000000, 99, NULL);"
            "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (6, NULL, 738000000, 11, NULL);"
            "INSERT INTO ZICCLOUDSYNCINGOBJECT VALUES (7, 'No date', NULL, 11, NULL);"
            "INSERT INTO ZICNOTEDATA VALUES (11, X'" +
            good.toHex().toStdString() +
            "');"
            "INSERT INTO ZICNOTEDATA VALUES (12, X'1f8b0800deadbeef');"
            "INSERT INTO ZICNOTEDATA VALUES (13, X'" +
            empty.toHex().toStdString() + "');");
    const NoteReadResult read = scanNoteThread(backup.write().string());
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(read.records.size(), 5u);
    EXPECT_EQ(read.records[0]->noteContent(), QStringLiteral("Good\nbody"));
    // Dates count from 2001.
    EXPECT_EQ(read.records[0]->noteDate(), localDateText(978307200 + 738000000));
    EXPECT_EQ(read.records[1]->noteContent(), QStringLiteral(" "));
    EXPECT_EQ(read.records[2]->noteContent(), QStringLiteral("Empty"));
    EXPECT_EQ(read.records[3]->noteContent(), QStringLiteral("No body"));
    EXPECT_EQ(read.records[4]->noteContent(), QStringLiteral("Lost body"));
    EXPECT_TRUE(read.records[0]->noteAttachName().isNull());
}

INSTANTIATE_TEST_SUITE_P(Keys, StoreBodyKeyTest,
                         ::testing::Values("INTEGER PRIMARY KEY", "INTEGER"));

// A store whose body table has no key on Z_PK (a crafted one) is read in time that grows with
// its notes, not with notes times bodies.
TEST(NoteShapesTest, BodiesWithoutAKeyAreFoundInTimeThatFollowsTheStore) {
    const std::string body =
        QByteArray::fromStdString(simdev::noteStoreBody("Body")).toHex().toStdString();
    auto store = [&](int notes) {
        const std::string count = std::to_string(notes);
        return "CREATE TABLE ZICCLOUDSYNCINGOBJECT (Z_PK INTEGER PRIMARY KEY, ZTITLE1, "
               "ZMODIFICATIONDATE1, ZNOTEDATA);"
               "CREATE TABLE ZICNOTEDATA (Z_PK INTEGER, ZDATA BLOB);"
               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
               count +
               ") INSERT INTO ZICCLOUDSYNCINGOBJECT SELECT i, 'T' || i, 738000000, 100000 + i "
               "FROM n;"
               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
               count + ") INSERT INTO ZICNOTEDATA SELECT 100000 + i, X'" + body + "' FROM n;";
    };
    constexpr int kNotes = 3000;
    NoteReadResult read;  // the last read, of the larger store
    nimbara::test::expectCostFollowsSize(
        [&](int notes) {
            auto backup = std::make_shared<RecordBackup>();
            backup->writeDatabase("AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite",
                                  store(notes));
            return [&read, backup, folder = backup->write().string()] {
                read = scanNoteThread(folder);
            };
        },
        kNotes, false);
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(read.records.size(), 4u * kNotes);
    EXPECT_EQ(read.records.back()->noteContent(), QStringLiteral("Body"));
}

TEST(NoteShapesTest, OlderNotesJoinTheirOwnBodiesAndLoseTheirMarkup) {
    RecordBackup backup;
    // Body row ids differ from note row ids: each note names its body.
    backup.writeDatabase(
        "HomeDomain", "Library/Notes/notes.sqlite",
        "CREATE TABLE ZNOTE (Z_PK INTEGER PRIMARY KEY, ZBODY INTEGER, ZTITLE VARCHAR, "
        "ZMODIFICATIONDATE TIMESTAMP);"
        "CREATE TABLE ZNOTEBODY (Z_PK INTEGER PRIMARY KEY, ZOWNER INTEGER, ZCONTENT VARCHAR);"
        "INSERT INTO ZNOTE VALUES (1, 2, 'First', 700000000);"
        "INSERT INTO ZNOTE VALUES (2, 1, 'Second', NULL);"
        "INSERT INTO ZNOTE VALUES (3, NULL, NULL, 700000000);"
        "INSERT INTO ZNOTEBODY VALUES (1, 2, 'Second<div>word</div>&nbsp;x<br>y</br>');"
        "INSERT INTO ZNOTEBODY VALUES (2, 1, X'4669727374');");
    const NoteReadResult read = scanNoteThread(backup.write().string());
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(read.records.size(), 3u);
    EXPECT_EQ(read.records[0]->noteContent(), QStringLiteral("First"));
    EXPECT_EQ(read.records[1]->noteContent(), QStringLiteral("Second word  x y "));
    EXPECT_EQ(read.records[1]->noteDate(), QString());
    EXPECT_EQ(read.records[2]->noteTitle(), QString());
    EXPECT_EQ(cleanedNoteContent(QStringLiteral("a<div>b</div>c")), QStringLiteral("a b c"));
}

TEST(NoteShapesTest, ADatabaseWithoutBodiesOrNotesIsNoFailure) {
    RecordBackup backup;
    backup.writeDatabase("HomeDomain", "Library/Notes/notes.db",
                         "CREATE TABLE Note (title TEXT, modification_date INTEGER);"
                         "INSERT INTO Note VALUES ('Only a title', 300000000);");
    const NoteReadResult read = scanNoteThread(backup.write().string());
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(read.records.size(), 1u);
    EXPECT_EQ(read.records[0]->noteContent(), QString());
    EXPECT_EQ(read.records[0]->uid(), 1);

    RecordBackup empty;
    empty.writeDatabase("HomeDomain", "Library/Notes/notes.sqlite", "CREATE TABLE Z_METADATA (x);");
    const NoteReadResult none = scanNoteThread(empty.write().string());
    EXPECT_TRUE(none.ok);
    EXPECT_TRUE(none.databaseFound);
    EXPECT_TRUE(none.records.empty());
}

TEST(NoteFailureTest, MissingIsQuietDamageIsReportedAndTheCopyReaderAlwaysEnds) {
    NotificationCenter center;
    {
        RecordBackup backup;
        const fs::path folder = backup.write();
        Posted posted(center, {kScanNoteInfo, kScanProgressNotification, kScanTransferNoteInfo,
                               kScanTransferNoteFinished});
        const NoteReadResult read = scanNoteThread(folder.string(), &center);
        EXPECT_TRUE(read.ok);
        EXPECT_FALSE(read.databaseFound);
        scanTransferNoteThread(folder.string(), &center);
        scanTransferNoteThread("", &center);
        EXPECT_EQ(posted.names(),
                  (std::vector<std::string>{kScanTransferNoteFinished, kScanTransferNoteFinished}));
        const ScanStepReport report = test::runStep(noteStepRunner(nullptr), folder, center);
        EXPECT_EQ(report.outcome, ScanStepOutcome::Done);
        EXPECT_FALSE(report.incomplete);
        EXPECT_FALSE(report.progressPosted);
    }
    RecordBackup backup;
    simdev::addBackupFile(backup.builder(), "AppDomainGroup-group.com.apple.notes",
                          "NoteStore.sqlite", std::string(4096, '\x5a'));
    const fs::path folder = backup.write();
    Posted posted(center, {kScanNoteInfo, kScanProgressNotification, kScanTransferNoteInfo,
                           kScanTransferNoteFinished});
    const NoteReadResult read = scanNoteThread(folder.string(), &center);
    EXPECT_TRUE(read.databaseFound);
    EXPECT_FALSE(read.ok);
    scanTransferNoteThread(folder.string(), &center);
    ASSERT_EQ(posted.names(), std::vector<std::string>{kScanTransferNoteFinished});
    EXPECT_EQ(posted.seen[0].objectAs<int>(), 70);
    const ScanStepReport report = test::runStep(noteStepRunner(nullptr), folder, center);
    EXPECT_EQ(report.outcome, ScanStepOutcome::Failed);
    EXPECT_EQ(report.message, QStringLiteral("The notes in this backup could not be read."));
}

}  // namespace
