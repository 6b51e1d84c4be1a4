// The deleted-record scans. On the demo backup every family gives the records the demo deleted,
// filled as the family's reader fills its records, flagged deleted, never a live record, the same
// on a second run, after the readers and with their progress values in order; a backup without
// (or with a damaged) database posts only the progress; a stop ends the scan. Then small
// databases made with SQLite for what the demo does not show.
#include <gtest/gtest.h>

#include <QStringList>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

#include "attributed_body_archive.h"
#include "backup/carver/sqlite_carver.h"
#include "backup/contact_reader.h"
#include "backup/deleted_records.h"
#include "backup/message_reader.h"
#include "backup/note_reader.h"
#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_note_node.h"
#include "backup/record_notifications.h"
#include "backup_notes.h"
#include "demo_deleted_records.h"
#include "leftover_rows.h"
#include "record_backup_fixture.h"
#include "scan_posts.h"
#include "sim_database.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara;
using namespace nimbara::backup;
using test::localDateText;
using test::Posted;
using Family = DeletedFamily;

constexpr qint64 k2001 = 978307200;

// A record as one line of what the result page shows of it.
QString line(const PRContactNode& c) {
    return QStringList{c.contactName().trimmed(),     c.contactPhone().trimmed(),
                       c.contactEmail().trimmed(),    c.contactCompany().trimmed(),
                       c.contactHomepage().trimmed(), c.contactNote()}
        .join(u'|');
}
QString line(const PRMessageNode& m) {
    return QStringList{m.messageName(),
                       m.messagePhone(),
                       m.messageContent(),
                       m.messageType(),
                       m.bImessage() ? "iMessage" : "SMS",
                       m.messageDate()}
        .join(u'|');
}
QString line(const PRNoteNode& n) {
    return QStringList{n.noteTitle(), n.noteContent(), n.noteDate()}.join(u'|');
}
QString line(const PRCallHistoryNode& c) {
    return QStringList{c.callName(), c.callPhone(), c.callType(), c.callDuration(), c.callDate()}
        .join(u'|');
}
QString line(const PRBookMarkNode& b) {
    return b.bookMarkTitle() + u'|' + b.bookMarkURL();
}
QString line(const PRCalenderNode& c) {
    return QStringList{c.calTitle(), c.location(), c.calNote(), c.startDate(), c.endDate()}.join(
        u'|');
}

// The lines of the records posted under `name`; `deleted` is cleared when one is not flagged.
template <class Node>
QStringList linesOf(const Posted& posted, const char* name, bool* deleted = nullptr) {
    QStringList lines;
    for (const auto& node : posted.objects<std::shared_ptr<Node>>(name)) {
        lines << line(*node);
        if (deleted != nullptr && !node->bDeleted()) {
            *deleted = false;
        }
    }
    return lines;
}

struct FamilyRow {
    Family family;
    const char* live;  // the reader's notification
    QStringList (*lines)(const Posted&, const char*, bool*);
    QStringList expected;  // the demo's deleted records, in the order deleted
};

QString demoDate(qint64 unixTime) {
    return localDateText(unixTime);
}

std::vector<FamilyRow> demoRows() {
    QStringList contacts, messages, notes, calls, bookmarks, calendar;
    for (const auto& c : simdev::demoDeletedContacts()) {
        auto joined = [](const std::vector<std::string>& v) {
            QStringList list;
            for (const auto& s : v) {
                list << QString::fromStdString(s);
            }
            return list.join(u' ');
        };
        contacts << QStringList{QString::fromStdString(c.first + " " + c.last),
                                joined(c.phones),
                                joined(c.emails),
                                QString::fromStdString(c.organization),
                                joined(c.homepages),
                                QString::fromStdString(c.note)}
                        .join(u'|');
    }
    const char* names[] = {"Amelia Hartwell", "", "Mom"};  // from the live address book
    int i = 0;
    for (const auto& m : simdev::demoDeletedMessages()) {
        messages << QStringList{names[i++],
                                QString::fromStdString(m.address),
                                QString::fromStdString(m.text),
                                m.fromMe ? "Send" : "Received",
                                m.imessage ? "iMessage" : "SMS",
                                demoDate(m.unixTime)}
                        .join(u'|');
    }
    for (const auto& n : simdev::demoDeletedNotes()) {
        notes << QStringList{QString::fromStdString(n.title), QString::fromStdString(n.text),
                             demoDate(n.modified)}
                     .join(u'|');
    }
    const QStringList callNames = {"", "Bruno Castellane"};
    const QStringList durations = {"3 minutes", "Missed"};
    i = 0;
    for (const auto& c : simdev::demoDeletedCalls()) {
        calls << QStringList{callNames[i], QString::fromStdString(c.address),
                             c.outgoing ? "Outgoing" : "Incoming", durations[i],
                             demoDate(c.unixTime)}
                     .join(u'|');
        ++i;
    }
    for (const auto& b : simdev::demoDeletedBookmarks()) {
        bookmarks << QString::fromStdString(b.title + "|" + b.url);
    }
    for (const auto& e : simdev::demoDeletedCalendarEvents()) {
        // The place's row was deleted with the item: freeing a cell overwrites its row id, so
        // nothing names the place any more.
        calendar << QStringList{QString::fromStdString(e.summary), QString(),
                                QString::fromStdString(e.notes),
                                demoDate(static_cast<qint64>(e.start) + k2001),
                                demoDate(static_cast<qint64>(e.end) + k2001)}
                        .join(u'|');
    }
    return {
        {Family::Contacts, kScanContactInfo, &linesOf<PRContactNode>, contacts},
        {Family::Messages, kScanMessageInfo, &linesOf<PRMessageNode>, messages},
        {Family::Notes, kScanNoteInfo, &linesOf<PRNoteNode>, notes},
        {Family::CallHistory, kScanCallHistoryInfo, &linesOf<PRCallHistoryNode>, calls},
        {Family::Bookmarks, kScanBookMarkInfo, &linesOf<PRBookMarkNode>, bookmarks},
        {Family::Calendar, kScanCalenderInfo, &linesOf<PRCalenderNode>, calendar},
    };
}

// The lines sorted, one text (readable when a comparison fails).
std::string sorted(QStringList list) {
    list.sort();
    return list.join(u'\n').toStdString();
}

// Every record and progress notification of a scan.
struct AllPosted : Posted {
    explicit AllPosted(NotificationCenter& center)
        : Posted(center, {kScanProgressInfo, kScanContactInfo, kScanMessageInfo, kScanNoteInfo,
                          kScanCallHistoryInfo, kScanBookMarkInfo, kScanCalenderInfo,
                          kScanDelContactInfo, kScanDelMessageInfo, kScanDelNoteInfo,
                          kScanDelCallHistoryInfo, kScanDelBookMarkInfo, kScanDelCalenderInfo}) {}
};

class DemoDeletedRecordsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        tmp_ = new test::TempDir;
        std::string error;
        ASSERT_TRUE(simdev::makeDemoDevice(*tmp_ / "device", &error)) << error;
        folder_ = test::writeDeviceBackup(*tmp_ / "device", *tmp_ / "backups", "12.4.1");
    }
    static void TearDownTestSuite() { delete tmp_; }

    // The records one family's scan posts alone.
    static QStringList scanAlone(const FamilyRow& row, const std::function<bool()>& stop = {}) {
        NotificationCenter center;
        Posted posted(center, {deletedRecordNotification(row.family)});
        DeletedScanInputs inputs;
        inputs.contacts =
            readContacts(backupFilePath(folder_.string(), kAddressBookKey), {}).contacts;
        scanDeletedRecords(row.family, folder_.string(), center, inputs, stop);
        return row.lines(posted, deletedRecordNotification(row.family), nullptr);
    }

    static test::TempDir* tmp_;
    static fs::path folder_;
};
test::TempDir* DemoDeletedRecordsTest::tmp_ = nullptr;
fs::path DemoDeletedRecordsTest::folder_;

}  // namespace

TEST_F(DemoDeletedRecordsTest, TheBrowserScanFindsWhatTheDemoDeletedAfterTheReaders) {
    NotificationCenter center;
    AllPosted posted(center);
    const BackupScanSummary summary =
        test::runWiredScan(folder_, center, std::make_shared<BackupScanRecords>());
    EXPECT_FALSE(summary.stopped);
    for (const ScanStepResult& step : summary.steps) {
        EXPECT_EQ(step.outcome, ScanStepOutcome::Done) << step.message.toStdString();
    }
    // Every deleted record comes after the last record of the readers.
    const std::vector<std::string> order = posted.names();
    std::size_t lastLive = 0, firstDeleted = order.size();
    for (std::size_t i = 0; i < order.size(); ++i) {
        const bool isDeleted =
            order[i].rfind("ScanDel", 0) == 0 || order[i].rfind("scanDel", 0) == 0;
        if (isDeleted) {
            firstDeleted = std::min(firstDeleted, i);
        } else if (order[i] != kScanProgressInfo) {
            lastLive = i;
        }
    }
    EXPECT_LT(lastLive, firstDeleted);
    const std::vector<int> progress = posted.objects<int>(kScanProgressInfo);
    ASSERT_GE(progress.size(), 6u);
    EXPECT_EQ(std::vector<int>(progress.end() - 6, progress.end()),
              (std::vector<int>{75, 80, 85, 90, 95, 100}));

    for (const FamilyRow& row : demoRows()) {
        SCOPED_TRACE(deletedRecordNotification(row.family));
        bool flagged = true;
        const QStringList found =
            row.lines(posted, deletedRecordNotification(row.family), &flagged);
        EXPECT_EQ(sorted(found), sorted(row.expected));
        EXPECT_TRUE(flagged);
        const QStringList live = row.lines(posted, row.live, nullptr);
        EXPECT_FALSE(live.isEmpty());
        for (const QString& record : found) {
            EXPECT_FALSE(live.contains(record)) << record.toStdString();
        }
        // Run again, alone: the same records, once each.
        EXPECT_EQ(scanAlone(row), found);
    }
}

TEST_F(DemoDeletedRecordsTest, AStopEndsTheScanBetweenPagesAndBetweenRecords) {
    // Stopped while the database is carved: nothing at all.
    for (const FamilyRow& row : demoRows()) {
        EXPECT_TRUE(scanAlone(row, [] { return true; }).isEmpty());
    }
    // Stopped at the first deleted contact: the rest of the scan is skipped, its progress too.
    NotificationCenter center;
    Posted posted(center, {kScanProgressInfo, kScanDelContactInfo, kScanDelMessageInfo});
    BackupScanPlan plan;
    appendDeletedRecordSteps(plan, nullptr);
    BackupScan scan(&center);
    ObserverToken stopper = center.addObserver(
        kScanDelContactInfo, [&scan](const Notification&) { scan.requestStop(); });
    ASSERT_TRUE(scan.start(QString::fromStdString(folder_.string()), plan));
    scan.wait();
    EXPECT_TRUE(scan.lastSummary().stopped);
    EXPECT_EQ(posted.objects<std::shared_ptr<PRContactNode>>(kScanDelContactInfo).size(), 1u);
    EXPECT_TRUE(posted.objects<std::shared_ptr<PRMessageNode>>(kScanDelMessageInfo).empty());
    EXPECT_TRUE(posted.objects<int>(kScanProgressInfo).empty());
}

// A backup without the databases, or with one that is no database: only the progress values,
// no failure of the scan (the readers report damage), and a line in the log for the damage.
TEST(DeletedRecordsTest, MissingOrDamagedDatabasesPostOnlyTheProgress) {
    struct Row {
        const char* name;
        bool damagedMessages;
    };
    for (const Row& row : {Row{"no databases", false}, Row{"damaged message database", true}}) {
        SCOPED_TRACE(row.name);
        test::RecordBackup backup;
        simdev::addBackupFile(backup.builder(), "HomeDomain", "Library/Preferences/x.plist", "x");
        if (row.damagedMessages) {
            simdev::addBackupFile(backup.builder(), "HomeDomain", "Library/SMS/sms.db",
                                  std::string("SQLite format 3\0", 16) + std::string(4000, 'x'));
        }
        const fs::path folder = backup.write();
        NotificationCenter center;
        AllPosted posted(center);
        test::LogRecorder log;
        BackupScanPlan plan;
        appendDeletedRecordSteps(plan, nullptr);
        BackupScan scan(&center);
        ASSERT_TRUE(scan.start(QString::fromStdString(folder.string()), plan));
        scan.wait();
        EXPECT_EQ(posted.objects<int>(kScanProgressInfo),
                  (std::vector<int>{75, 80, 85, 90, 95, 100}));
        EXPECT_EQ(posted.seen.size(), 6u);
        for (const ScanStepResult& step : scan.lastSummary().steps) {
            EXPECT_EQ(step.outcome, ScanStepOutcome::Done);
        }
        EXPECT_EQ(log.countContaining(QStringLiteral("Deleted messages")),
                  row.damagedMessages ? 1 : 0);
    }
}

// Databases made for one case each: the shape a row is left in, and what the family's scan makes
// of it. Rows deleted in a write-ahead log keep their row ids (the log's older frames hold them
// whole), so joins between two deleted rows are made there.
// Rows of the note store, added beside a kept note and deleted again in its log (which keeps
// their cells whole): a note's or body's key, the other's key it names (none: NULL), its text.
struct LeftRow {
    std::int64_t pk;
    std::optional<std::int64_t> names;
    const char* text;
};
void leaveNoteStoreRows(simdev::SimDeviceBuilder& b, qint64 when, const std::vector<LeftRow>& notes,
                        const std::vector<LeftRow>& bodies) {
    simdev::addBackupNotes(b, {{"Kept", "Kept\nstays", when, when}});
    simdev::LeftoverRows db(
        simdev::backupSourcePath(b.dir(), "AppDomainGroup-group.com.apple.notes",
                                 "NoteStore.sqlite"),
        true);
    auto note = db.prepare(
        "INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZNOTEDATA, ZMODIFICATIONDATE1, "
        "ZIDENTIFIER, ZTITLE1) VALUES (?1, 9, 1, ?2, ?3, 'GONE-' || ?1, ?4)");
    auto body = db.prepare(
        "INSERT INTO ZICNOTEDATA (Z_PK, Z_ENT, Z_OPT, ZNOTE, ZDATA) VALUES (?, 4, 1, ?, ?)");
    const auto bindKeys = [](SqliteStatement& st, const LeftRow& row) {
        st.bind(1, row.pk);
        row.names ? st.bind(2, *row.names) : st.bindNull(2);
    };
    for (const LeftRow& row : notes) {
        bindKeys(note, row);
        note.bind(3, static_cast<std::int64_t>(when - k2001));
        note.bind(4, std::string(row.text));
        db.insert("ZICCLOUDSYNCINGOBJECT", note);
    }
    for (const LeftRow& row : bodies) {
        bindKeys(body, row);
        body.bind(3, QByteArray::fromStdString(simdev::noteStoreBody(row.text)));
        db.insert("ZICNOTEDATA", body);
    }
    db.commit();
    db.deleteInserted();
    db.finish(true);
}

QStringList demoNotesDeleted() {
    for (const FamilyRow& row : demoRows()) {
        if (row.family == Family::Notes) {
            return row.expected;
        }
    }
    return {};
}

TEST(DeletedRecordsTest, RowsBecomeRecordsByColumnNameAndJoinByKey) {
    const qint64 when = 1717000000;
    struct Row {
        const char* name;
        Family family;
        std::function<void(simdev::SimDeviceBuilder&)> make;
        QStringList expected;
        // Where the carver must find rows (of which none is posted): the database's key, a table.
        std::string carvedKey = {};
        const char* carvedTable = nullptr;
    };
    const Row rows[] = {
        {"a message whose words are only archived, to a party whose handle went too",
         Family::Messages,
         [when](simdev::SimDeviceBuilder& b) {
             simdev::addBackupMessages(
                 b, {{.address = "+15550002222", .text = "kept", .unixTime = when}});
             simdev::LeftoverRows db(
                 simdev::backupSourcePath(b.dir(), "HomeDomain", "Library/SMS/sms.db"), true);
             auto handle =
                 db.prepare("INSERT INTO handle (id, service) VALUES ('+15550001111', 'SMS')");
             const std::int64_t id = db.insert("handle", handle);
             auto message = db.prepare(
                 "INSERT INTO message (guid, text, attributedBody, handle_id, service, date, "
                 "is_from_me) VALUES ('G-1', NULL, ?, ?, 'SMS', ?, 0)");
             const auto body = test::archive("Hello from the archive");
             message.bind(1, QByteArray(reinterpret_cast<const char*>(body.data()),
                                        static_cast<qsizetype>(body.size())));
             message.bind(2, id);
             message.bind(3, (when - k2001) * 1000000000LL);
             db.insert("message", message);
             db.commit();
             db.deleteInserted();
             db.finish(true);
         },
         {"|+15550001111|Hello from the archive|Received|SMS|" + localDateText(when)}},
        {"older versions of live messages are no deleted records",
         Family::Messages,
         [when](simdev::SimDeviceBuilder& b) {
             std::vector<simdev::BackupMessage> kept;
             for (const char* text : {"first", "second", "third"}) {
                 kept.push_back({.address = "+15550002222", .text = text, .unixTime = when});
             }
             simdev::addBackupMessages(b, kept);
             simdev::LeftoverRows db(
                 simdev::backupSourcePath(b.dir(), "HomeDomain", "Library/SMS/sms.db"));
             auto edit = db.prepare("UPDATE message SET text = ?, is_read = 1 WHERE ROWID = ?");
             for (std::int64_t rowid : {1, 3}) {
                 edit.bind(1, std::string("edited, and now a good deal longer than before"));
                 edit.bind(2, rowid);
                 db.run(edit);
             }
             db.finish();
         },
         {},
         kMessageDatabaseKey,
         "message"},
        {"an edited note's older body is no deleted note",
         Family::Notes,
         [when](simdev::SimDeviceBuilder& b) {
             simdev::addBackupNotes(b, {{"Kept", "Kept\nfirst words", when, when},
                                        {"Other", "Other\nmore", when, when}});
             simdev::LeftoverRows db(simdev::backupSourcePath(
                 b.dir(), "AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite"));
             auto edit = db.prepare("UPDATE ZICNOTEDATA SET ZDATA = ? WHERE Z_PK = 100");
             edit.bind(1, QByteArray::fromStdString(simdev::noteStoreBody(
                              "Kept\nfirst words, and a good many more after them")));
             db.run(edit);
             db.finish();
         },
         {},
         kNoteStoreSource.key(),
         "ZICNOTEDATA"},
        {"notes and bodies are joined by their keys, not by their order",
         Family::Notes,
         [when](simdev::SimDeviceBuilder& b) {
             simdev::addBackupNotes(b, {{"Kept", "Kept\nstays", when, when}},
                                    simdev::NotesKind::NotesDatabase);
             simdev::LeftoverRows db(
                 simdev::backupSourcePath(b.dir(), "HomeDomain", "Library/Notes/notes.sqlite"));
             auto note = db.prepare(
                 "INSERT INTO ZNOTE (Z_PK, Z_ENT, Z_OPT, ZBODY, ZTITLE, ZMODIFICATIONDATE) VALUES "
                 "(?, 3, 1, ?, ?, ?)");
             auto body = db.prepare(
                 "INSERT INTO ZNOTEBODY (Z_PK, Z_ENT, Z_OPT, ZOWNER, ZCONTENT) VALUES (?, 2, 1, ?, "
                 "?)");
             // Bodies numbered against their notes' order.
             for (int i : {0, 1}) {
                 note.bind(1, static_cast<std::int64_t>(20 + i));
                 note.bind(2, static_cast<std::int64_t>(31 - i));
                 note.bind(3, QStringLiteral("Gone %1").arg(i));
                 note.bind(4, static_cast<std::int64_t>(when - k2001));
                 db.insert("ZNOTE", note);
                 body.bind(1, static_cast<std::int64_t>(31 - i));
                 body.bind(2, static_cast<std::int64_t>(20 + i));
                 body.bind(3, QStringLiteral("body of %1<div>line</div>").arg(i));
                 db.insert("ZNOTEBODY", body);
             }
             db.commit();
             db.deleteInserted();
             db.finish(true);
         },
         {"Gone 0|body of 0 line |" + localDateText(when),
          "Gone 1|body of 1 line |" + localDateText(when)}},
        {"a deleted note found both whole in the log and freed in a page shows once, titled",
         Family::Notes,
         [when](simdev::SimDeviceBuilder& b) {
             leaveNoteStoreRows(b, when, {{300, 400, "Spare key 0"}, {301, 401, "Spare key 1"}},
                                {{400, 300, "Spare key 0\nunder the mat"},
                                 {401, 301, "Spare key 1\nunder the mat"}});
         },
         {"Spare key 0|Spare key 0\nunder the mat|" + localDateText(when),
          "Spare key 1|Spare key 1\nunder the mat|" + localDateText(when)}},
        {"the demo's deleted notes, once its log is folded into the file, show once, whole",
         Family::Notes,
         [](simdev::SimDeviceBuilder& b) {
             simdev::addBackupNotes(b, simdev::demoNotes());
             simdev::addDemoDeletedNotes(b);
             // Notes and bodies freed in the file itself: each cell's row id written over.
             simdev::LeftoverRows(simdev::backupSourcePath(b.dir(),
                                                           "AppDomainGroup-group.com.apple.notes",
                                                           "NoteStore.sqlite"))
                 .finish();
         },
         demoNotesDeleted()},
        {"a body is not a note's by its title where keys or a second note or body deny it",
         Family::Notes,
         [when](simdev::SimDeviceBuilder& b) {
             leaveNoteStoreRows(b, when,
                                {{300, 400, "Apart"},
                                 {310, std::nullopt, "Same"},
                                 {311, std::nullopt, "Same"},
                                 {320, std::nullopt, "Twin"}},
                                {{401, 399, "Apart\nnot its body"},
                                 {410, std::nullopt, "Same\nfirst"},
                                 {420, std::nullopt, "Twin\na"},
                                 {421, std::nullopt, "Twin\nb"}});
         },
         {"Apart|Apart|" + localDateText(when), "|Apart\nnot its body|",
          "Same|Same|" + localDateText(when), "|Same\nfirst|", "Twin|Twin|" + localDateText(when),
          "|Twin\na|", "|Twin\nb|"}},
        {"columns are found by name, also one added later",
         Family::Bookmarks,
         [](simdev::SimDeviceBuilder& b) {
             const fs::path file =
                 simdev::backupDatabaseFile(b.dir(), "HomeDomain", "Library/Safari/Bookmarks.db");
             SqliteDb made = simdev::createSimDatabase(
                 file, "CREATE TABLE bookmarks (id INTEGER PRIMARY KEY, url TEXT, extra INTEGER);");
             simdev::execSim(made, "COMMIT; ALTER TABLE bookmarks ADD COLUMN title TEXT;", file);
             made.close();
             simdev::LeftoverRows db(file);
             auto mark = db.prepare("INSERT INTO bookmarks (url, extra, title) VALUES (?, 7, ?)");
             mark.bind(1, std::string("https://gone.example"));
             mark.bind(2, std::string("Gone page"));
             db.insert("bookmarks", mark);
             db.commit();
             db.deleteInserted();
             db.finish();
         },
         {"Gone page|https://gone.example"}},
    };
    const auto families = demoRows();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::RecordBackup backup;
        row.make(backup.builder());
        const fs::path folder = backup.write();
        NotificationCenter center;
        const char* name = deletedRecordNotification(row.family);
        Posted posted(center, {name});
        const DeletedScanResult result =
            scanDeletedRecords(row.family, folder.string(), center, {});
        EXPECT_TRUE(result.databaseFound);
        EXPECT_TRUE(result.problem.empty()) << result.problem;
        const auto family = std::find_if(families.begin(), families.end(), [&](const FamilyRow& f) {
            return f.family == row.family;
        });
        EXPECT_EQ(sorted(family->lines(posted, name, nullptr)), sorted(row.expected));
        if (row.carvedTable != nullptr) {
            const std::string stored = backupFilePath(folder.string(), row.carvedKey);
            EXPECT_FALSE(carver::carveDatabaseFile(stored, {row.carvedTable}).rows.empty());
        }
    }
}
