// The calendar database in a backup, in the layout of iOS 6 and later (`CalendarItem` with
// places in `Location`) or the older one (`Event` with the place as text), with the tables and
// columns the device uses.
#pragma once

#include <string>
#include <vector>

#include "sim_device_builder.h"

namespace nimbara::simdev {

// One event, or with `reminder` a reminder (kept in a reminder list).
struct BackupCalendarEvent {
    std::string summary{};
    std::string location{};  // empty: no place
    std::string notes{};
    double start = 0;  // seconds since 2001
    double end = 0;
    bool allDay = false;
    std::string calendar = "Home";
    bool reminder = false;
};

enum class BackupCalendarLayout {
    CalendarItems,  // iOS 6 and later
    Events,         // before iOS 6
};

// HomeDomain/Library/Calendar/Calendar.sqlitedb with these items in order. Replaces an earlier
// one. Throws std::runtime_error when SQLite fails.
void addBackupCalendar(const SimDeviceBuilder& b, const std::vector<BackupCalendarEvent>& events,
                       BackupCalendarLayout layout = BackupCalendarLayout::CalendarItems);

// Seconds since 2001 of a UTC date and time.
double calendarTime(int year, unsigned month, unsigned day, int hour = 12, int minute = 0);

std::vector<BackupCalendarEvent> demoCalendarEvents();

// The demo device's bookmarks, history and calendar.
void addDemoBrowserAndCalendar(const SimDeviceBuilder& b);

}  // namespace nimbara::simdev
