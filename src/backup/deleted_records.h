// The deleted-record scans: rows that were deleted from a backup's record databases but still lie
// in their free space (or in older frames of their "-wal" files) become record nodes, as the
// record readers would have made them, posted as deleted records.
//
// One scan per family: contacts ("ScanDelContactInfo"), messages ("ScanDelMessageInfo"), notes
// ("ScanDelNoteInfo"), calls ("ScanDelCallHistoryInfo"), bookmarks ("scanDelBookMarkInfo") and
// calendar items ("scanDelCalenderInfo"); the object is a std::shared_ptr of the family's node,
// with bDeleted set. Each scan reads the same database the family's reader reads, found the same
// way, from a private copy that keeps the stored "-wal" beside it byte for byte (the carver needs
// the log as it is; folding it in would lose the older frames), and removes the copy when done.
// The backup itself is only read.
//
// Rows are carved by sqlite_carver.h and mapped by column name from each table's own schema. A
// value the carver could not recover stays empty: nothing is filled in. A carved row whose row id
// a live row of its table still holds is an older version of that live record (an update leaves
// the old cell in the free space) and is not reported; nor is a record reported twice in one run.
// Joins look in the live rows and in the carved rows alike (a deleted message's address in its
// handle row, a deleted contact's numbers in its multi-value rows, a deleted note's body).
//
// A backup without the family's database has no deleted records of it; a database that cannot be
// carved (damaged, or not copied) gives a line in the log and no records: the reader of the family
// reports the damage to the user. Everything runs and posts on the calling thread (the scan
// thread), checking the stop between pages and at every step of the joins. The joins go through
// maps built once and count their steps against a budget in proportion to the database's size:
// once it is spent, what was posted stands and the log says the rows were joined only in part.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "backup/backup_scan.h"
#include "backup/contact_reader.h"
#include "backup/note_body.h"

namespace nimbara {
class NotificationCenter;
}

namespace nimbara::backup {

class BackupScanRecords;

enum class DeletedFamily { Contacts, Messages, Notes, CallHistory, Bookmarks, Calendar };

// The families in scan order, after the record readers.
inline constexpr DeletedFamily kDeletedFamilies[] = {
    DeletedFamily::Contacts,    DeletedFamily::Messages,  DeletedFamily::Notes,
    DeletedFamily::CallHistory, DeletedFamily::Bookmarks, DeletedFamily::Calendar,
};

// "ScanProgressInfo" after each family: 75, 80, 85, 90, 95 and 100.
int deletedScanProgress(DeletedFamily family);
// The notification each deleted record of the family is posted under.
const char* deletedRecordNotification(DeletedFamily family);

// What a scan takes from the backup scan's earlier steps.
struct DeletedScanInputs {
    ContactList contacts;  // names of the other party of messages and calls
    // What the note bodies of the notes database may still inflate to, shared with the note
    // reader's step; null: the scan's own.
    NoteBodyAllowance* noteBodies = nullptr;
};

struct DeletedScanResult {
    bool databaseFound = false;  // the backup holds the family's database
    bool stopped = false;        // the stop ended the scan; nothing more was posted
    std::string problem;         // why the database could not be carved: a line for the log
    std::size_t posted = 0;      // deleted records posted
    // The joins asked for more work than the database's size allows: what they posted until
    // then stands.
    bool cutShort = false;
};

// Scans one family of the backup at `backupFolder`, posting on `center`. `stop` (may be empty) is
// checked between the pages of the database and between records.
DeletedScanResult scanDeletedRecords(DeletedFamily family, const std::string& backupFolder,
                                     NotificationCenter& center, const DeletedScanInputs& inputs,
                                     const std::function<bool()>& stop = {});

// The backup scan's step of one family: names from the contact step, its end value posted by the
// scan, and never a failure of the backup (a database the reader could read is read again here;
// one it could not is the reader's to report).
ScanStep deletedRecordStep(DeletedFamily family, const std::shared_ptr<BackupScanRecords>& records);

// Appends the six steps, in scan order, to `plan`.
void appendDeletedRecordSteps(BackupScanPlan& plan,
                              const std::shared_ptr<BackupScanRecords>& records);

}  // namespace nimbara::backup
