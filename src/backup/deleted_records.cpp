#include "backup/deleted_records.h"

#include <QFile>

#include "backup/backup_folder.h"
#include "backup/backup_scan_readers.h"
#include "backup/call_history_reader.h"
#include "backup/deleted_families.h"
#include "backup/message_reader.h"
#include "backup/note_reader.h"
#include "backup/record_notifications.h"
#include "platform/log_categories.h"

namespace nimbara::backup {

namespace {

constexpr DatabaseSource kAddressBookSource{"HomeDomain",
                                            "Library/AddressBook/AddressBook.sqlitedb"};
constexpr DatabaseSource kMessageSource{kMessageDatabaseDomain, kMessageDatabasePath};
constexpr DatabaseSource kBookmarksSource{"HomeDomain", "Library/Safari/Bookmarks.db"};
constexpr DatabaseSource kCalendarSource{"HomeDomain", "Library/Calendar/Calendar.sqlitedb"};

// One family: where its database is (the reader's files, in the reader's order), what is carved,
// and how the rows become records.
struct Family {
    const char* title;
    int progress;
    const char* notification;
    std::vector<const DatabaseSource*> sources;
    const std::vector<deleted::CarvedTable>& tables;
    std::size_t (*post)(deleted::FamilyRun&);
};

const Family& familyOf(DeletedFamily family) {
    static const Family kContacts{"Deleted contacts",      75,
                                  kScanDelContactInfo,     {&kAddressBookSource},
                                  deleted::kContactTables, &deleted::postDeletedContacts};
    static const Family kMessages{"Deleted messages",      80,
                                  kScanDelMessageInfo,     {&kMessageSource},
                                  deleted::kMessageTables, &deleted::postDeletedMessages};
    static const Family kNotes{
        "Deleted notes",      85,
        kScanDelNoteInfo,     {&kNoteStoreSource, &kNotesDatabaseSource, &kOldNotesDatabaseSource},
        deleted::kNoteTables, &deleted::postDeletedNotes};
    static const Family kCalls{"Deleted calls",
                               90,
                               kScanDelCallHistoryInfo,
                               {&kCallStoreSource, &kCallDatabaseSource, &kHomeCallDatabaseSource},
                               deleted::kCallTables,
                               &deleted::postDeletedCalls};
    static const Family kBookmarks{"Deleted bookmarks",      95,
                                   kScanDelBookMarkInfo,     {&kBookmarksSource},
                                   deleted::kBookmarkTables, &deleted::postDeletedBookmarks};
    static const Family kCalendar{"Deleted calendar items", 100,
                                  kScanDelCalenderInfo,     {&kCalendarSource},
                                  deleted::kCalendarTables, &deleted::postDeletedCalendarItems};
    switch (family) {
        case DeletedFamily::Contacts:
            return kContacts;
        case DeletedFamily::Messages:
            return kMessages;
        case DeletedFamily::Notes:
            return kNotes;
        case DeletedFamily::CallHistory:
            return kCalls;
        case DeletedFamily::Bookmarks:
            return kBookmarks;
        case DeletedFamily::Calendar:
            break;
    }
    return kCalendar;
}

ScanStepKind stepKindOf(DeletedFamily family) {
    switch (family) {
        case DeletedFamily::Contacts:
            return ScanStepKind::Contacts;
        case DeletedFamily::Messages:
            return ScanStepKind::Messages;
        case DeletedFamily::Notes:
            return ScanStepKind::Notes;
        case DeletedFamily::CallHistory:
            return ScanStepKind::CallHistory;
        case DeletedFamily::Bookmarks:
            return ScanStepKind::Bookmarks;
        case DeletedFamily::Calendar:
            break;
    }
    return ScanStepKind::Calendar;
}

}  // namespace

int deletedScanProgress(DeletedFamily family) {
    return familyOf(family).progress;
}

const char* deletedRecordNotification(DeletedFamily family) {
    return familyOf(family).notification;
}

DeletedScanResult scanDeletedRecords(DeletedFamily family, const std::string& backupFolder,
                                     NotificationCenter& center, const DeletedScanInputs& inputs,
                                     const std::function<bool()>& stop) {
    DeletedScanResult result;
    if (backupFolder.empty()) {
        return result;
    }
    const Family& plan = familyOf(family);
    const BackupFolder folder = BackupFolder::open(backupFolder);
    deleted::DeletedRowSource source(folder, plan.sources, plan.tables, stop);
    switch (source.state()) {
        case deleted::DeletedRowSource::State::Missing:
            return result;
        case deleted::DeletedRowSource::State::Unreadable:
            result.databaseFound = true;
            result.problem = source.problem();
            return result;
        case deleted::DeletedRowSource::State::Stopped:
            result.databaseFound = true;
            result.stopped = true;
            return result;
        case deleted::DeletedRowSource::State::Ready:
            break;
    }
    result.databaseFound = true;
    deleted::FamilyRun run{source, inputs, center, stop};
    result.posted = plan.post(run);
    result.stopped = deleted::stopped(stop);
    result.cutShort = !result.stopped && source.budget().exhausted();
    return result;
}

ScanStep deletedRecordStep(DeletedFamily family,
                           const std::shared_ptr<BackupScanRecords>& records) {
    const Family& plan = familyOf(family);
    const char* title = plan.title;
    ScanStepRunner runner = [family, records, title](const ScanStepContext& context) {
        DeletedScanInputs inputs;
        if (records) {
            inputs.contacts = records->contacts();
            inputs.noteBodies = &records->noteBodies();
        }
        const DeletedScanResult result = scanDeletedRecords(
            family, QFile::encodeName(context.folder()).toStdString(), context.center(), inputs,
            [&context] { return context.stopRequested(); });
        if (result.stopped) {
            return ScanStepReport{ScanStepOutcome::Stopped, QString()};
        }
        if (!result.problem.empty()) {
            qCWarning(lcBackup, "Backup scan: %s: %s", title, result.problem.c_str());
        }
        if (result.cutShort) {
            qCWarning(lcBackup,
                      "Backup scan: %s: the rows were joined only in part: the database "
                      "asked for more work than its size allows",
                      title);
        }
        return ScanStepReport{};
    };
    return ScanStep{stepKindOf(family), QString::fromLatin1(title), plan.progress,
                    std::move(runner)};
}

void appendDeletedRecordSteps(BackupScanPlan& plan,
                              const std::shared_ptr<BackupScanRecords>& records) {
    for (DeletedFamily family : kDeletedFamilies) {
        plan.append(deletedRecordStep(family, records));
    }
}

}  // namespace nimbara::backup
