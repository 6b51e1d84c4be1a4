// Deleted calls, bookmarks and calendar items: each carved row becomes the node the family's
// reader makes of a live row.
#include <cmath>
#include <limits>
#include <unordered_map>

#include "backup/deleted_families.h"
#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/record_dates.h"
#include "backup/record_notifications.h"
#include "ui/core/text_utilities.h"

namespace nimbara::backup::deleted {

const std::vector<CarvedTable> kCallTables = {{"ZCALLRECORD", "ZUNIQUE_ID"}, {"call"}};
const std::vector<CarvedTable> kBookmarkTables = {{"bookmarks", "external_uuid"}};
const std::vector<CarvedTable> kCalendarTables = {
    {"CalendarItem", "UUID"}, {"Location"}, {"Event", "unique_identifier"}};

namespace {

// Calls.

struct CallLayout {
    const char* table;
    const char* address;
    const char* date;
    const char* duration;
    const char* direction;
    bool dateFrom2001;      // the call store counts from 2001, the call database in Unix seconds
    std::int64_t outgoing;  // the direction value of a call this device placed
};

const CallLayout kCallLayouts[] = {
    {"ZCALLRECORD", "ZADDRESS", "ZDATE", "ZDURATION", "ZORIGINATED", true, 1},
    {"call", "address", "date", "duration", "flags", false, 5},
};

int wholeSeconds(double value) {
    if (!std::isfinite(value) || value <= 0) {
        return 0;
    }
    return value >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                    : static_cast<int>(value);
}

// The columns of a layout's table, found once.
struct CallColumns {
    CallColumns(const CallLayout& layout, const carver::Table* table)
        : address(columnIndex(table, layout.address)),
          date(columnIndex(table, layout.date)),
          duration(columnIndex(table, layout.duration)),
          direction(columnIndex(table, layout.direction)) {}
    int address, date, duration, direction;
};

// The contact names of the calls' numbers, each number looked up once (a look-up compares it with
// every contact, counted against the budget).
class CallNames {
  public:
    CallNames(const ContactList& contacts, carver::WorkBudget& budget)
        : contacts_(contacts), budget_(budget) {}
    const QString& nameOf(const QString& phone) {
        auto it = names_.find(phone);
        if (it == names_.end()) {
            budget_.spend(contacts_.size());
            it = names_.emplace(phone, shell::getNameByPhoneNumber(phone, contacts_)).first;
        }
        return it->second;
    }

  private:
    const ContactList& contacts_;
    carver::WorkBudget& budget_;
    std::unordered_map<QString, QString> names_;
};

std::shared_ptr<PRCallHistoryNode> callOf(const TableRow& row, const CallLayout& layout,
                                          const CallColumns& columns, CallNames& names) {
    auto node = std::make_shared<PRCallHistoryNode>();
    if (row.rowid) {
        node->setRowid(static_cast<int>(*row.rowid));
    }
    // The address, whether kept as text or as a blob of its text's bytes.
    QString address = textOf(row.value(columns.address));
    address.remove(QChar(u'\0'));
    if (address = address.trimmed(); !address.isEmpty()) {
        node->setCallPhone(address);
    }
    if (const auto date = numberOf(row.value(columns.date))) {
        const std::optional<double> began =
            layout.dateFrom2001 ? referenceDateSeconds(*date) : unixSeconds(*date);
        node->setCallDate(recordDateText(began));
        if (began) {
            node->setCallTimestamp(*began);
        }
    }
    // A direction or a duration that was not recovered is left unsaid.
    const auto direction = integerOf(row.value(columns.direction));
    if (direction) {
        node->setCallType(*direction == layout.outgoing ? QStringLiteral("Outgoing")
                                                        : QStringLiteral("Incoming"));
    }
    if (const auto duration = numberOf(row.value(columns.duration))) {
        const int seconds = wholeSeconds(*duration);
        node->setCallTime(seconds);
        if (seconds != 0) {
            node->setCallDuration(shell::getCallHistoryDuration(seconds));
        } else if (direction) {
            node->setCallDuration(*direction == layout.outgoing ? QStringLiteral("Cancelled")
                                                                : QStringLiteral("Missed"));
        }
    }
    if (const QString& name = names.nameOf(node->callPhone()); !name.isEmpty()) {
        node->setCallName(name);
    }
    return node;
}

// Calendar items.

struct CalendarLayout {
    const char* table;
    const char* location;    // the place's text, where the item keeps it (null: none)
    const char* locationId;  // the row of Location it names, where places are rows (null: none)
};

const CalendarLayout kCalendarLayouts[] = {
    {"CalendarItem", nullptr, "location_id"},
    {"Event", "location", nullptr},
};

// The zone of an item whose times are wall-clock times (all-day events).
constexpr const char* kFloatingTimeZone = "_float";

// The join of calendar items with their places: the columns found once, each place row read
// once.
class CalendarJoin {
  public:
    CalendarJoin(const CalendarLayout& layout, DeletedRowSource& source)
        : source_(source),
          layout_(layout),
          location_(layout.location == nullptr
                        ? -1
                        : columnIndex(source.table(layout.table), layout.location)),
          locationId_(layout.locationId == nullptr
                          ? -1
                          : columnIndex(source.table(layout.table), layout.locationId)),
          placeTitle_(columnIndex(source.table("Location"), "title")),
          summary_(columnIndex(source.table(layout.table), "summary")),
          description_(columnIndex(source.table(layout.table), "description")),
          startDate_(columnIndex(source.table(layout.table), "start_date")),
          endDate_(columnIndex(source.table(layout.table), "end_date")),
          startZone_(columnIndex(source.table(layout.table), "start_tz")) {}

    std::shared_ptr<PRCalenderNode> itemOf(const TableRow& row);

  private:
    QString placeOf(const TableRow& row) {
        if (layout_.location != nullptr) {
            return textOf(row.value(location_));
        }
        const auto id = integerOf(row.value(locationId_));
        if (!id || *id == 0) {
            return {};
        }
        const TableRow* place = source_.row("Location", *id);
        return place != nullptr ? textOf(place->value(placeTitle_)) : QString();
    }

    DeletedRowSource& source_;
    const CalendarLayout& layout_;
    const int location_, locationId_, placeTitle_;
    const int summary_, description_, startDate_, endDate_, startZone_;
};

std::shared_ptr<PRCalenderNode> CalendarJoin::itemOf(const TableRow& row) {
    auto node = std::make_shared<PRCalenderNode>();
    auto text = [](const QString& value, auto&& assign) {
        if (!value.isEmpty()) {
            assign(value);
        }
    };
    const bool floating = textOf(row.value(startZone_)) == QLatin1String(kFloatingTimeZone);
    auto date = [&row, floating](int column, auto&& assign) {
        if (const auto value = numberOf(row.value(column))) {
            if (const auto seconds = referenceDateSeconds(*value); utcDateTime(seconds).isValid()) {
                assign(recordDateText(seconds, floating));
            }
        }
    };
    text(textOf(row.value(summary_)), [&](const QString& v) { node->setCalTitle(v); });
    text(placeOf(row), [&](const QString& v) { node->setLocation(v); });
    text(textOf(row.value(description_)), [&](const QString& v) { node->setCalNote(v); });
    date(startDate_, [&](const QString& v) { node->setStartDate(v); });
    date(endDate_, [&](const QString& v) { node->setEndDate(v); });
    return node;
}

}  // namespace

std::size_t postDeletedCalls(FamilyRun& run) {
    DeletedPoster<PRCallHistoryNode> poster(run.center, kScanDelCallHistoryInfo);
    for (const CallLayout& layout : kCallLayouts) {
        if (run.source.table(layout.table) == nullptr) {
            continue;
        }
        const CallColumns columns(layout, run.source.table(layout.table));
        CallNames names(run.inputs.contacts, run.source.budget());
        for (const TableRow& row : run.source.carved(layout.table)) {
            if (!run.goOn()) {
                break;
            }
            auto call = callOf(row, layout, columns, names);
            if (call->callPhone().isEmpty() && call->callDate().isEmpty()) {
                continue;  // neither who nor when
            }
            poster.post(call, recordKey({call->callPhone(), call->callDate(), call->callType(),
                                         call->callDuration()}));
        }
        break;  // one layout per database
    }
    return poster.posted();
}

std::size_t postDeletedBookmarks(FamilyRun& run) {
    DeletedPoster<PRBookMarkNode> poster(run.center, kScanDelBookMarkInfo);
    const int titleColumn = columnIndex(run.source.table("bookmarks"), "title");
    const int urlColumn = columnIndex(run.source.table("bookmarks"), "url");
    for (const TableRow& row : run.source.carved("bookmarks")) {
        if (!run.goOn()) {
            break;
        }
        const QString title = textOf(row.value(titleColumn));
        const QString url = textOf(row.value(urlColumn));
        // Folders of the device's own, and rows with nothing recovered.
        if (title == QLatin1String("Root") || title == QLatin1String("com.apple.ReadingList") ||
            (title.isEmpty() && url.isEmpty())) {
            continue;
        }
        auto node = std::make_shared<PRBookMarkNode>();
        if (!title.isEmpty()) {
            node->setBookMarkTitle(title);
        }
        if (!url.isEmpty()) {
            node->setBookMarkURL(url);
        }
        poster.post(node, recordKey({title, url}));
    }
    return poster.posted();
}

std::size_t postDeletedCalendarItems(FamilyRun& run) {
    DeletedPoster<PRCalenderNode> poster(run.center, kScanDelCalenderInfo);
    for (const CalendarLayout& layout : kCalendarLayouts) {
        if (run.source.table(layout.table) == nullptr) {
            continue;
        }
        CalendarJoin join(layout, run.source);
        for (const TableRow& row : run.source.carved(layout.table)) {
            if (!run.goOn()) {
                break;
            }
            auto item = join.itemOf(row);
            const QString key = recordKey({item->calTitle(), item->location(), item->calNote(),
                                           item->startDate(), item->endDate()});
            if (key == recordKey({{}, {}, {}, {}, {}})) {
                continue;  // nothing of the item was recovered
            }
            poster.post(item, key);
        }
        break;  // the newer layout when the database has both
    }
    return poster.posted();
}

}  // namespace nimbara::backup::deleted
