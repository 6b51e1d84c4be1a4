// The note readers: the notes of a backup become PRNoteNode records.
//
// A device keeps its notes in one of three databases, newest first: the note store of iOS 9 and
// later (notes in ZICCLOUDSYNCINGOBJECT, their bodies gzip-compressed protocol buffers in
// ZICNOTEDATA), the notes database of iOS 4 to 8 (ZNOTE with ZNOTEBODY) and the one before it
// (`note` with `note_bodies`). Both readers take the first the backup holds, and read it by the
// tables it really has. Dates count from 2001.
//
// Plain reader (backup browser): "ScanNoteInfo" per note, then "ScanProgressInfo" with the int
// 70; nothing at all when the backup has no notes. Copy reader (transfer and one-click copy
// pages): "ScanTransferNoteInfo" per note, then "ScanTransferNoteFinished" with the int 70, which
// it always posts, whatever went wrong. The object of a per-note notification is a
// std::shared_ptr<PRNoteNode>.
//
// A store note's content is its body's text: " " (one blank) when the body cannot be decoded,
// "This note is too large to show." when it inflates past what its database allows (note_body.h),
// its title when the body is empty or missing. Store rows without a title or a date (folders,
// attachments) are not notes and are skipped. Older notes' content has the tags "<div>",
// "</div>", "<br>", "</br>" and the entity "&nbsp;" each replaced by one blank.
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backup/backup_scan.h"
#include "backup/note_body.h"
#include "backup/pr_note_node.h"
#include "backup/record_database.h"

namespace nimbara {
class NotificationCenter;
}

namespace nimbara::backup {

class BackupScanRecords;

inline constexpr const char* kScanTransferNoteInfo = "ScanTransferNoteInfo";
inline constexpr const char* kScanTransferNoteFinished = "ScanTransferNoteFinished";
inline constexpr int kNoteScanProgress = 70;

inline constexpr DatabaseSource kNoteStoreSource{"AppDomainGroup-group.com.apple.notes",
                                                 "NoteStore.sqlite"};
inline constexpr DatabaseSource kNotesDatabaseSource{"HomeDomain", "Library/Notes/notes.sqlite"};
inline constexpr DatabaseSource kOldNotesDatabaseSource{"HomeDomain", "Library/Notes/notes.db"};

using NoteList = std::vector<std::shared_ptr<PRNoteNode>>;

using NoteReadResult = RecordReadResult<PRNoteNode>;

// The plain reader over a backup folder; `stop` (may be empty) is checked between rows and
// while a query runs. Store bodies are inflated once each, within `allowance` (one of the read's
// own when null), which the deleted notes of the same database then share.
NoteReadResult scanNoteThread(const std::string& backupFolder, NotificationCenter* center = nullptr,
                              const std::function<bool()>& stop = {},
                              NoteBodyAllowance* allowance = nullptr);
// The copy reader, on the calling thread.
NoteReadResult scanTransferNoteThread(const std::string& backupFolder,
                                      NotificationCenter* center = nullptr);

// An older note's text with its markup tags and entities each replaced by one blank.
QString cleanedNoteContent(QString content);

// The backup scan's notes step.
ScanStepRunner noteStepRunner(const std::shared_ptr<BackupScanRecords>& records);

}  // namespace nimbara::backup
