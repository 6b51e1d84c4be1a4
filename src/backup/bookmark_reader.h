// The bookmark readers: the web browser's bookmarks and history of a backup become
// PRBookMarkNode records.
//
// Plain reader (backup browser): "scanBookMarkInfo" per record on the scan's centre, no end
// notification. Copy reader (one-click copy page): "scanCopyBookMarkInfo" per record, then
// "scanCopyBookMarkFinished" with no object, always, whatever went wrong. Records come in this
// order: the bookmarks (folders and bookmarks, without the root and the reading-list folder),
// then the history entries in the list's order. Nothing is posted that the backup doesn't hold.
//
// The bookmarks come from the bookmarks database, or when the backup has none from the older
// bookmarks property list; a property list is read as one, never handed to SQLite. The history
// is the history property list. A backup without them has no bookmarks or history: that is
// quiet. One that holds them unreadable says so in the result. Everything is read from private
// copies, through BackupFolder: the backup is never changed and a link is never followed.
#pragma once

#include "backup/backup_scan.h"
#include "backup/pr_book_mark_node.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace nimbara {
class NotificationCenter;
}

namespace nimbara::backup {

class BackupScanRecords;

// File keys (and where the device keeps the files).
// HomeDomain Library/Safari/Bookmarks.db
inline constexpr const char* kBookmarksDatabaseKey = "d1f062e2da26192a6625d968274bfda8d07821e4";
// HomeDomain Library/Safari/Bookmarks.plist (older devices)
inline constexpr const char* kBookmarksPlistKey = "04cc352fd9943f7c0c3f0781d4834fa137775761";
// HomeDomain Library/Safari/History.plist
inline constexpr const char* kSafariHistoryKey = "1d6740792a2b845f4c1e6220c43906d7f0afe8ab";

inline constexpr const char* kScanCopyBookMarkInfo = "scanCopyBookMarkInfo";
inline constexpr const char* kScanCopyBookMarkFinished = "scanCopyBookMarkFinished";

using BookMarkList = std::vector<std::shared_ptr<PRBookMarkNode>>;

struct BookMarkReadResult {
    bool bookmarksFound = false;  // a bookmarks database or list is there (read or not)
    bool historyFound = false;    // a history list is there (read or not)
    std::string error;            // why the bookmarks could not be read in full, for the log
    std::string historyError;     // why the history could not be read, for the log
    BookMarkList records;         // every record posted, in order
    bool stopped = false;         // the stop check ended the read; nothing more was posted
    bool finishedPosted = false;  // the copy reader's end notification went out
};

// The readers over a backup folder (either storage layout). An empty folder path reads
// nothing. `center` null: the default centre. `stop` (may be empty) is checked between
// records and while a query runs; a stopped read posts nothing more.
BookMarkReadResult scanBookMarkThread(const std::string& backupFolder,
                                      NotificationCenter* center = nullptr,
                                      const std::function<bool()>& stop = {});
BookMarkReadResult scanTransferBookMarkThread(const std::string& backupFolder,
                                              NotificationCenter* center = nullptr);

// The backup scan's step.
ScanStepRunner bookMarkStepRunner(const std::shared_ptr<BackupScanRecords>& records);

}  // namespace nimbara::backup
