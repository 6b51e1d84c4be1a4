#include "backup/calendar_reader.h"

#include "backup/backup_folder.h"
#include "backup/backup_list.h"
#include "backup/backup_scan_readers.h"
#include "backup/record_database.h"
#include "backup/record_dates.h"
#include "backup/record_notifications.h"
#include "platform/log_categories.h"
#include "platform/notification_center.h"

#include <QFile>
#include <QtGlobal>

#include <initializer_list>

namespace nimbara::backup {

namespace {

using StopCheck = std::function<bool()>;
using Post = std::function<void(const std::shared_ptr<PRCalenderNode>&)>;

constexpr const char* kCalendarDomain = "HomeDomain";
constexpr const char* kCalendarDatabasePath = "Library/Calendar/Calendar.sqlitedb";
// The zone of an item whose times are wall-clock times (all-day events).
constexpr const char* kFloatingTimeZone = "_float";
// Calendars of this kind hold reminders only.
constexpr int kReminderListEntityTypes = 8;

bool isTable(SqliteDb& db, const char* table) {
    return db.objectKind(table) == SqliteDb::ObjectKind::Table;
}

// The title of the item's place, when the database has places; else NULL.
struct LocationJoin {
    std::string title = "NULL";
    std::string join;
};
LocationJoin locationJoin(SqliteDb& db) {
    LocationJoin location;
    if (isTable(db, "Location") && columnOrNull(db, "CalendarItem", "location_id") != "NULL") {
        location.title = columnOrNull(db, "Location", "title");
        location.join = " LEFT JOIN Location ON CalendarItem.location_id = Location.ROWID";
    }
    return location;
}

// The columns of `table` by name, each "NULL" where the table lacks it, joined by ", ".
std::string columnList(SqliteDb& db, const char* table,
                       std::initializer_list<const char*> columns) {
    std::string list;
    for (const char* column : columns) {
        list += (list.empty() ? "" : ", ") + columnOrNull(db, table, column);
    }
    return list;
}

// Title, place, note, start, end and the start's zone of every item; `excludeReminderLists`
// leaves out the items of calendars that hold reminders only.
std::string itemQuery(SqliteDb& db, bool excludeReminderLists) {
    const LocationJoin location = locationJoin(db);
    std::string sql =
        "SELECT " + columnOrNull(db, "CalendarItem", "summary") + ", " + location.title + ", " +
        columnList(db, "CalendarItem", {"description", "start_date", "end_date", "start_tz"}) +
        " FROM CalendarItem" + location.join;
    if (excludeReminderLists && isTable(db, "Calendar") &&
        columnOrNull(db, "CalendarItem", "calendar_id") != "NULL") {
        const std::string kinds = columnOrNull(db, "Calendar", "supported_entity_types");
        if (kinds != "NULL") {
            // An item whose calendar is gone is still an item.
            sql +=
                " LEFT JOIN Calendar ON CalendarItem.calendar_id = Calendar.ROWID WHERE "
                "coalesce(" +
                kinds + ", 0) != " + std::to_string(kReminderListEntityTypes);
        }
    }
    return sql;
}

// The older layout: the place is the event's own text.
std::string eventQuery(SqliteDb& db) {
    return "SELECT " +
           columnList(
               db, "Event",
               {"summary", "location", "description", "start_date", "end_date", "start_tz"}) +
           " FROM Event";
}

std::shared_ptr<PRCalenderNode> nodeFromRow(const SqliteStatement& st) {
    auto node = std::make_shared<PRCalenderNode>();
    // A NULL or empty column changes nothing.
    auto text = [&st](int column, auto&& assign) {
        const QString value = st.columnText(column);
        if (!value.isEmpty()) {
            assign(value);
        }
    };
    // An all-day event's times float: they are its wall-clock times in whatever zone.
    const bool floating = st.columnText(5) == QLatin1String(kFloatingTimeZone);
    auto date = [&st, floating](int column, auto&& assign) {
        if (const auto value = columnNumber(st, column)) {
            if (const auto seconds = referenceDateSeconds(*value); utcDateTime(seconds).isValid()) {
                assign(recordDateText(seconds, floating));
            }
        }
    };
    text(0, [&](const QString& v) { node->setCalTitle(v); });
    text(1, [&](const QString& v) { node->setLocation(v); });
    text(2, [&](const QString& v) { node->setCalNote(v); });
    date(3, [&](const QString& v) { node->setStartDate(v); });
    date(4, [&](const QString& v) { node->setEndDate(v); });
    return node;
}

class CalenderRead {
  public:
    CalenderRead(StopCheck stop, Post post) : stop_(std::move(stop)), post_(std::move(post)) {}

    // Runs one query; false when it could not run to its end (the reason is in the result).
    bool run(SqliteDb& db, const std::string& sql, const char* table) {
        SqliteStatement st = db.prepare(sql);
        if (!st.valid()) {
            result.error = std::string(table) + " query failed: " + db.lastError();
            return false;
        }
        while (st.step()) {
            if (stop_ && stop_()) {
                result.stopped = true;
                return false;
            }
            auto node = nodeFromRow(st);
            post_(node);
            result.records.push_back(std::move(node));
        }
        if (st.abortReason() == SqliteAbort::Stopped) {
            result.stopped = true;
            return false;
        }
        if (std::string problem = queryProblem(st, table, db); !problem.empty()) {
            result.error = problem;
            return false;
        }
        return true;
    }

    void read(SqliteDb& db, CalendarQuery query) {
        if (std::string problem = schemaProblem(db); !problem.empty()) {
            result.error = "calendar database: " + problem;
            return;
        }
        // A view standing in for a table could run forever: only tables are read.
        for (const char* table : {"CalendarItem", "Event"}) {
            if (db.objectKind(table) != SqliteDb::ObjectKind::Missing) {
                if (std::string problem = tableProblem(db, table); !problem.empty()) {
                    result.error = "calendar database: " + problem;
                    return;
                }
            }
        }
        const bool hasItems = isTable(db, "CalendarItem");
        if (hasItems) {
            const bool ran = run(db, itemQuery(db, query == CalendarQuery::Events), "CalendarItem");
            if (!ran || query == CalendarQuery::Items || !result.records.empty()) {
                return;
            }
        }
        if (isTable(db, "Event")) {
            run(db, eventQuery(db), "Event");
        }
    }

    CalenderReadResult result;

  private:
    StopCheck stop_;
    Post post_;
};

CalenderReadResult readCalender(const std::string& backupFolder, const StopCheck& stop,
                                std::optional<CalendarQuery> query, Post post) {
    CalenderRead read(stop, std::move(post));
    if (backupFolder.empty()) {
        return std::move(read.result);
    }
    const BackupFolder folder = BackupFolder::open(backupFolder);
    const StoredDatabase stored =
        locateStoredDatabase(folder, kCalendarDatabaseKey, kCalendarDomain, kCalendarDatabasePath);
    if (!stored.exists()) {
        qCInfo(lcBackup, "CalenderDB is not exist");
        return std::move(read.result);
    }
    read.result.databaseFound = true;
    PrivateDatabaseCopy copy(folder, stored, kCalendarDatabaseKey);
    if (copy.path().empty()) {
        read.result.error = "calendar database could not be copied";
        return std::move(read.result);
    }
    std::string why;
    auto db = openPrivateCopy(copy, stop, why);
    if (!db) {
        read.result.error = "calendar database could not be opened: " + why;
        return std::move(read.result);
    }
    read.read(*db, query.value_or(calendarQueryForBackup(backupFolder)));
    return std::move(read.result);
}

}  // namespace

CalendarQuery calendarQueryForBackup(const std::string& backupFolder) {
    const auto node = readBackupFolder(QFile::decodeName(backupFolder.c_str()));
    if (!node || (*node)->strIOSVersion().isEmpty()) {
        return CalendarQuery::Items;
    }
    return iosVersionIsIOS6OrLater((*node)->strIOSVersion(), nullptr) ? CalendarQuery::Items
                                                                      : CalendarQuery::Events;
}

CalenderReadResult scanCalenderThread(const std::string& backupFolder, NotificationCenter* center,
                                      const std::function<bool()>& stop,
                                      std::optional<CalendarQuery> query) {
    NotificationCenter& target = center != nullptr ? *center : NotificationCenter::defaultCenter();
    return readCalender(backupFolder, stop, query,
                        [&target](const std::shared_ptr<PRCalenderNode>& node) {
                            target.post(kScanCalenderInfo, node);
                        });
}

CalenderReadResult scanTransferCalenderThread(const std::string& backupFolder,
                                              NotificationCenter* center,
                                              std::optional<CalendarQuery> query) {
    NotificationCenter& target = center != nullptr ? *center : NotificationCenter::defaultCenter();
    CalenderReadResult result =
        readCalender(backupFolder, {}, query, [&target](const std::shared_ptr<PRCalenderNode>& n) {
            target.post(kScanCopyRemindMarkInfo, n);
        });
    // The page waiting for it ends its wait here, whatever was found.
    target.post(kScanCopyRemindMarkInfoFinished);
    result.finishedPosted = true;
    return result;
}

// A backup without a calendar has none: no damage. One that lists the calendar without holding
// it is incomplete. Only a database that is there and cannot be read fails the step.
ScanStepRunner calenderStepRunner(const std::shared_ptr<BackupScanRecords>& records) {
    return [records](const ScanStepContext& context) {
        const CalenderReadResult result =
            scanCalenderThread(QFile::encodeName(context.folder()).toStdString(), &context.center(),
                               [&context] { return context.stopRequested(); });
        if (result.stopped) {
            return ScanStepReport{ScanStepOutcome::Stopped, QString()};
        }
        ScanStepReport report;
        report.incomplete =
            !result.databaseFound && records && records->isListed(kCalendarDatabaseKey);
        if (!result.error.empty()) {
            qCWarning(lcBackup, "Backup scan: calendar: %s", result.error.c_str());
            report.outcome = ScanStepOutcome::Failed;
            report.message = QStringLiteral("The calendar in this backup could not be read.");
        }
        return report;
    };
}

}  // namespace nimbara::backup
