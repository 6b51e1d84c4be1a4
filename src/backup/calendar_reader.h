// The calendar readers: the events and reminders of a backup's calendar database become
// PRCalenderNode records (title, location, note, start and end).
//
// Plain reader (backup browser): "scanCalenderInfo" per record on the scan's centre, no end
// notification. Copy reader (one-click copy page): "scanCopyRemindMarkInfo" per record, then
// "scanCopyRemindMarkInfoFinished" with no object, always, whatever went wrong.
//
// Two layouts: devices from iOS 6 on keep calendar items in `CalendarItem` with their places in
// `Location` (an item names its place by row number); older ones keep events in `Event` with the
// place as text. For a backup of iOS 6 or later every calendar item is read with its place's
// title; for an older backup the items of calendars that are not reminder lists, and when there
// are none the `Event` rows. A database of the older layout in a newer backup is read as what it
// is. Missing tables and columns read as empty; dates are seconds since 2001 (nanoseconds from
// iOS 11 on), shown in local time.
#pragma once

#include "backup/backup_scan.h"
#include "backup/pr_calender_node.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace nimbara {
class NotificationCenter;
}

namespace nimbara::backup {

class BackupScanRecords;

// HomeDomain Library/Calendar/Calendar.sqlitedb
inline constexpr const char* kCalendarDatabaseKey = "2041457d5fe04d39d0ab481178355df6781e6858";

inline constexpr const char* kScanCopyRemindMarkInfo = "scanCopyRemindMarkInfo";
inline constexpr const char* kScanCopyRemindMarkInfoFinished = "scanCopyRemindMarkInfoFinished";

using CalenderList = std::vector<std::shared_ptr<PRCalenderNode>>;

// Which rows are read.
enum class CalendarQuery {
    Items,   // iOS 6 and later: every CalendarItem with its Location's title
    Events,  // older backups: items outside reminder lists, else the Event table
};

struct CalenderReadResult {
    bool databaseFound = false;   // the backup holds a calendar database (read or not)
    std::string error;            // why it could not be read in full, for the log
    CalenderList records;         // every record posted, in order
    bool stopped = false;         // the stop check ended the read; nothing more was posted
    bool finishedPosted = false;  // the copy reader's end notification went out
};

// The query for a backup: Items for iOS 6 and later (and when the version cannot be read),
// Events before.
CalendarQuery calendarQueryForBackup(const std::string& backupFolder);

// The readers over a backup folder (either storage layout). An empty folder path reads
// nothing. `query` unset: as calendarQueryForBackup says. `center` null: the default centre.
// `stop` (may be empty) is checked between records and while a query runs.
CalenderReadResult scanCalenderThread(const std::string& backupFolder,
                                      NotificationCenter* center = nullptr,
                                      const std::function<bool()>& stop = {},
                                      std::optional<CalendarQuery> query = std::nullopt);
CalenderReadResult scanTransferCalenderThread(const std::string& backupFolder,
                                              NotificationCenter* center = nullptr,
                                              std::optional<CalendarQuery> query = std::nullopt);

// The backup scan's step.
ScanStepRunner calenderStepRunner(const std::shared_ptr<BackupScanRecords>& records);

}  // namespace nimbara::backup
