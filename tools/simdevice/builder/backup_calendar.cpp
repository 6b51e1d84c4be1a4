#include "backup_calendar.h"

#include <map>
#include <stdexcept>

#include "backup_safari.h"
#include "demo_device_parts.h"
#include "sim_database.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

namespace {

const char* const kCommonSchema =
    "CREATE TABLE Store (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT, "
    "default_alarm_offset INTEGER, type INTEGER, constraint_path TEXT, disabled INTEGER, "
    "external_id TEXT, flags INTEGER);"
    "CREATE TABLE Alarm (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, trigger_date INTEGER, "
    "trigger_interval INTEGER, type INTEGER, calendaritem_owner_id INTEGER, UUID TEXT);"
    "CREATE TABLE Recurrence (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, frequency INTEGER, "
    "interval INTEGER, week_start INTEGER, count INTEGER, cached_end_date REAL, "
    "end_date REAL, specifier TEXT, owner_id INTEGER);";

// iOS 6 and later: places are rows of their own; a calendar says which kinds of item it holds.
const char* const kItemSchema =
    "CREATE TABLE Calendar (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, store_id INTEGER, "
    "title TEXT, flags INTEGER, color TEXT, symbolic_color_name TEXT, type TEXT, "
    "supported_entity_types INTEGER, external_id TEXT, external_mod_tag TEXT, "
    "external_rep BLOB, display_order INTEGER, UUID TEXT, shared_owner_name TEXT, "
    "sharing_status INTEGER);"
    "CREATE TABLE Location (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT, address TEXT, "
    "latitude REAL, longitude REAL, reference_frame INTEGER, radius REAL, "
    "map_kit_handle BLOB, item_owner_id INTEGER, external_id TEXT);"
    "CREATE TABLE CalendarItem (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, summary TEXT, "
    "location_id INTEGER, description TEXT, start_date REAL, start_tz TEXT, end_date REAL, "
    "all_day INTEGER, calendar_id INTEGER, orig_item_id INTEGER, orig_date REAL, "
    "organizer_id INTEGER, self_attendee_id INTEGER, status INTEGER, availability INTEGER, "
    "privacy_level INTEGER, url TEXT, last_modified REAL, sequence_num INTEGER, "
    "birthday_id INTEGER, modified_properties INTEGER, external_tracking_status INTEGER, "
    "external_id TEXT, external_mod_tag TEXT, unique_identifier TEXT, "
    "external_schedule_id TEXT, external_rep BLOB, response_comment TEXT, hidden INTEGER, "
    "has_recurrences INTEGER, has_attendees INTEGER, UUID TEXT, entity_type INTEGER, "
    "priority INTEGER, due_date REAL, due_tz TEXT, due_all_day INTEGER, "
    "completion_date REAL, creation_date REAL, conference TEXT, display_order INTEGER);"
    "CREATE INDEX CalendarItemCalendarId ON CalendarItem (calendar_id);"
    "CREATE INDEX CalendarItemStartDate ON CalendarItem (start_date);";

// Before iOS 6: events only, the place as the event's text.
const char* const kEventSchema =
    "CREATE TABLE Calendar (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, title TEXT, flags INTEGER, "
    "color TEXT, type TEXT, store_id INTEGER, external_id TEXT, external_mod_tag TEXT, "
    "display_order INTEGER, UUID TEXT);"
    "CREATE TABLE Event (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, summary TEXT, location TEXT, "
    "description TEXT, start_date INTEGER, start_tz TEXT, end_date INTEGER, all_day INTEGER, "
    "calendar_id INTEGER, orig_event_id INTEGER, orig_start_date INTEGER, "
    "organizer_id INTEGER, organizer_is_self INTEGER, organizer_external_id TEXT, "
    "self_attendee_status INTEGER, status INTEGER, availability INTEGER, "
    "privacy_level INTEGER, url TEXT, last_modified INTEGER, sequence_num INTEGER, "
    "birthday_id INTEGER, modified_properties INTEGER, external_tracking_status INTEGER, "
    "external_id TEXT, external_mod_tag TEXT, unique_identifier TEXT, "
    "external_schedule_id TEXT, external_rep BLOB, response_comment TEXT, hidden INTEGER, "
    "has_recurrences INTEGER, has_attendees INTEGER);"
    "CREATE INDEX EventCalendarId ON Event (calendar_id);";

// Entity kinds as the device counts them.
constexpr std::int64_t kEventEntity = 2;
constexpr std::int64_t kReminderEntity = 3;
constexpr std::int64_t kEventCalendar = 4;
constexpr std::int64_t kReminderList = 8;

const char* const kTimeZone = "America/Los_Angeles";

// Row ids of the calendars by title, each added on first use.
class Calendars {
  public:
    Calendars(SqliteDb& db, const fs::path& file, bool itemLayout)
        : db_(db),
          file_(file),
          itemLayout_(itemLayout),
          insert_(prepareSim(db,
                             itemLayout ? "INSERT INTO Calendar (store_id, title, flags, color, "
                                          "type, supported_entity_types, UUID) VALUES (1, ?, "
                                          "0, '#1BADF8', 'local', ?, ?)"
                                        : "INSERT INTO Calendar (title, flags, color, type, "
                                          "store_id, UUID) VALUES (?, 0, '#1BADF8', 'local', "
                                          "1, ?)",
                             file)) {}

    std::int64_t of(const std::string& title, bool reminders) {
        const std::string key = title + (reminders ? "\n1" : "\n0");
        if (auto it = ids_.find(key); it != ids_.end()) {
            return it->second;
        }
        int index = 1;
        insert_.bind(index++, title);
        if (itemLayout_) {
            insert_.bind(index++, reminders ? kReminderList : kEventCalendar);
        }
        insert_.bind(index, "CALENDAR-" + std::to_string(ids_.size() + 1));
        return ids_[key] = insertSim(db_, insert_, file_);
    }

  private:
    SqliteDb& db_;
    fs::path file_;
    bool itemLayout_;
    SqliteStatement insert_;
    std::map<std::string, std::int64_t> ids_;
};

void writeItems(SqliteDb& db, const fs::path& file,
                const std::vector<BackupCalendarEvent>& events) {
    Calendars calendars(db, file, true);
    SqliteStatement location =
        prepareSim(db, "INSERT INTO Location (title, item_owner_id) VALUES (?, NULL)", file);
    SqliteStatement owner =
        prepareSim(db, "UPDATE Location SET item_owner_id = ? WHERE ROWID = ?", file);
    SqliteStatement item = prepareSim(
        db,
        "INSERT INTO CalendarItem (summary, location_id, description, start_date, start_tz, "
        "end_date, all_day, calendar_id, status, hidden, has_recurrences, has_attendees, UUID, "
        "entity_type, creation_date, last_modified) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 0, 0, 0, 0, "
        "?, ?, ?, ?)",
        file);
    int uuid = 0;
    for (const BackupCalendarEvent& event : events) {
        std::int64_t placeId = 0;  // the device writes 0 for an item without a place
        if (!event.location.empty()) {
            location.bind(1, event.location);
            placeId = insertSim(db, location, file);
        }
        bindText(item, 1, event.summary);
        item.bind(2, placeId);
        bindText(item, 3, event.notes);
        item.bind(4, static_cast<std::int64_t>(event.start));
        item.bind(5, std::string(event.allDay ? "_float" : kTimeZone));
        item.bind(6, static_cast<std::int64_t>(event.end));
        item.bind(7, static_cast<std::int64_t>(event.allDay ? 1 : 0));
        item.bind(8, calendars.of(event.calendar, event.reminder));
        item.bind(9, "ITEM-" + std::to_string(++uuid));
        item.bind(10, event.reminder ? kReminderEntity : kEventEntity);
        item.bind(11, static_cast<std::int64_t>(event.start) - 86400 * 7);
        item.bind(12, static_cast<std::int64_t>(event.start) - 86400 * 7);
        const std::int64_t itemId = insertSim(db, item, file);
        if (placeId != 0) {
            owner.bind(1, itemId);
            owner.bind(2, placeId);
            insertSim(db, owner, file);
        }
    }
}

void writeEvents(SqliteDb& db, const fs::path& file,
                 const std::vector<BackupCalendarEvent>& events) {
    Calendars calendars(db, file, false);
    SqliteStatement insert = prepareSim(
        db,
        "INSERT INTO Event (summary, location, description, start_date, start_tz, end_date, "
        "all_day, calendar_id, status, hidden, has_recurrences, has_attendees, "
        "unique_identifier) VALUES (?, ?, ?, ?, ?, ?, ?, ?, 0, 0, 0, 0, ?)",
        file);
    int uuid = 0;
    for (const BackupCalendarEvent& event : events) {
        if (event.reminder) {
            continue;  // the older layout keeps no reminders
        }
        bindText(insert, 1, event.summary);
        bindText(insert, 2, event.location);
        bindText(insert, 3, event.notes);
        insert.bind(4, static_cast<std::int64_t>(event.start));
        insert.bind(5, std::string(event.allDay ? "_float" : kTimeZone));
        insert.bind(6, static_cast<std::int64_t>(event.end));
        insert.bind(7, static_cast<std::int64_t>(event.allDay ? 1 : 0));
        insert.bind(8, calendars.of(event.calendar, false));
        insert.bind(9, "EVENT-" + std::to_string(++uuid));
        insertSim(db, insert, file);
    }
}

}  // namespace

void addBackupCalendar(const SimDeviceBuilder& b, const std::vector<BackupCalendarEvent>& events,
                       BackupCalendarLayout layout) {
    const fs::path file =
        backupDatabaseFile(b.dir(), "HomeDomain", "Library/Calendar/Calendar.sqlitedb");
    const bool items = layout == BackupCalendarLayout::CalendarItems;
    SqliteDb db = createSimDatabase(
        file, (std::string(kCommonSchema) + (items ? kItemSchema : kEventSchema)).c_str());
    if (!db.exec("INSERT INTO Store (name, type, disabled, flags) VALUES ('Default', 0, 0, 0)")) {
        throw std::runtime_error("cannot write " + file.string() + ": " + db.lastError());
    }
    if (items) {
        writeItems(db, file, events);
    } else {
        writeEvents(db, file, events);
    }
    commitSim(db, file);
}

double calendarTime(int year, unsigned month, unsigned day, int hour, int minute) {
    return since2001(demo::utc(year, month, day, hour, minute));
}

std::vector<BackupCalendarEvent> demoCalendarEvents() {
    // Times in UTC; the device is on Pacific time (UTC-7 in summer).
    return {
        {.summary = "Dentist: check-up",
         .location = "Bayline Clinic, 1800 Divisadero Street",
         .notes = "Bring the insurance card. Ask about the night guard.",
         .start = calendarTime(2019, 7, 30, 16, 30),
         .end = calendarTime(2019, 7, 30, 17, 15)},
        {.summary = "Climbing with Dima",
         .location = "Mission Cliffs",
         .notes = "Thursday session; bring the new shoes.",
         .start = calendarTime(2019, 8, 1, 1, 0),
         .end = calendarTime(2019, 8, 1, 3, 0)},
        {.summary = "Quarterly tax review",
         .location = "Cedar Accounting",
         .notes = "Noor needs the 1099s and the home-office receipts.",
         .start = calendarTime(2019, 8, 5, 17, 0),
         .end = calendarTime(2019, 8, 5, 18, 0),
         .calendar = "Work"},
        {.summary = "Mom's birthday dinner",
         .location = "44 Orchard Lane, Sebastopol",
         .notes = "Pick up the cake from the bakery on the way.",
         .start = calendarTime(2019, 8, 10, 1, 30),
         .end = calendarTime(2019, 8, 10, 4, 0)},
        {.summary = "Flight to Lisbon",
         .location = "San Francisco International Airport",
         .notes = "Check in online 24 hours before. Seat 23A.",
         .start = calendarTime(2019, 8, 17, 22, 45),
         .end = calendarTime(2019, 8, 18, 13, 50),
         .calendar = "Travel"},
        {.summary = "Library book club",
         .start = calendarTime(2019, 8, 22, 2, 0),
         .end = calendarTime(2019, 8, 22, 3, 30)},
        {.summary = "Labor Day",
         .start = calendarTime(2019, 9, 2, 0, 0),
         .end = calendarTime(2019, 9, 2, 23, 59),
         .allDay = true},
    };
}

void addDemoBrowserAndCalendar(const SimDeviceBuilder& b) {
    addBackupBookmarks(b, demoBookmarks());
    addBackupBrowserHistory(b, demoBrowserHistory());
    addBackupCalendar(b, demoCalendarEvents());
}

}  // namespace nimbara::simdev
