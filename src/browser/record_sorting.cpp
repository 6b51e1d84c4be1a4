#include "browser/record_sorting.h"

#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_photo_and_video_node.h"
#include "ui/core/text_utilities.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <utility>

namespace nimbara::browser {

SortRequest RecordSortState::columnClicked(SortableTable table, QStringView identifier) {
    if (identifier == QStringView(kTickColumn)) {
        return {};
    }
    const auto flip = [](bool& ascending, SortKey key) {
        ascending = !ascending;
        return SortRequest{key, ascending};
    };
    const bool nameColumn = identifier == QStringView(kNameColumn);
    switch (table) {
        case SortableTable::Photo:
            if (nameColumn) {
                return flip(nameAscending_, SortKey::Name);
            }
            if (identifier == QStringView(kSizeColumn)) {
                return flip(sizeAscending_, SortKey::Size);
            }
            return {};
        case SortableTable::Contact:
        case SortableTable::Message:
            return flip(nameAscending_, SortKey::Name);
        case SortableTable::Call:
            return nameColumn ? flip(nameAscending_, SortKey::Name)
                              : flip(dateAscending_, SortKey::Date);
        case SortableTable::Other:
            break;
    }
    return {};
}

namespace {

// Reads every record's key once, so a record changed by another thread meanwhile cannot break
// the order the sort relies on, then sorts stably by `less` over the keys. Records are never
// null.
template <class Node, class Key, class Less>
void sortByKey(std::vector<std::shared_ptr<Node>>& records, Key key, Less less) {
    using KeyValue = std::invoke_result_t<Key, const Node&>;
    std::vector<std::pair<KeyValue, std::shared_ptr<Node>>> keyed;
    keyed.reserve(records.size());
    for (std::shared_ptr<Node>& record : records) {
        KeyValue value = key(*record);
        keyed.emplace_back(std::move(value), std::move(record));
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [&less](const auto& a, const auto& b) { return less(a.first, b.first); });
    records.clear();
    for (auto& entry : keyed) {
        records.push_back(std::move(entry.second));
    }
}

// `less` in the asked direction.
template <class Less>
auto directed(Less less, bool ascending) {
    return [less, ascending](const auto& a, const auto& b) {
        return ascending ? less(a, b) : less(b, a);
    };
}

template <class Node, class Text>
void sortByText(std::vector<std::shared_ptr<Node>>& records, bool ascending, Text text) {
    sortByKey(records, text, directed(std::less<QString>(), ascending));
}

struct PhotoNameKey {
    int number;
    QString name;

    friend bool operator<(const PhotoNameKey& a, const PhotoNameKey& b) {
        return a.number != b.number ? a.number < b.number : a.name < b.name;
    }
};

PhotoNameKey photoNameKey(const PRPhotoAndVideoNode& photo) {
    const QString name = photo.fileNodeName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QStringView stem = dot < 0 ? QStringView(name) : QStringView(name).left(dot);
    return {shell::leadingInt(stem), name};
}

}  // namespace

void sortPhotosByName(std::vector<std::shared_ptr<PRPhotoAndVideoNode>>& photos, bool ascending) {
    sortByKey(photos, photoNameKey, directed(std::less<PhotoNameKey>(), ascending));
}

void sortPhotosBySize(std::vector<std::shared_ptr<PRPhotoAndVideoNode>>& photos, bool ascending) {
    sortByKey(
        photos,
        [](const PRPhotoAndVideoNode& photo) {
            return shell::sizeFormString(photo.fileNodeSize());
        },
        directed(std::less<std::uint64_t>(), ascending));
}

void sortContactsByName(std::vector<std::shared_ptr<PRContactNode>>& contacts, bool ascending) {
    sortByText(contacts, ascending, [](const PRContactNode& c) { return c.contactName(); });
}

void sortMessagesByName(std::vector<std::shared_ptr<PRMessageNode>>& messages, bool ascending) {
    sortByText(messages, ascending, [](const PRMessageNode& m) { return m.messageName(); });
}

void sortCallsByName(std::vector<std::shared_ptr<PRCallHistoryNode>>& calls, bool ascending) {
    sortByText(calls, ascending, [](const PRCallHistoryNode& c) { return c.callName(); });
}

void sortCallsByDate(std::vector<std::shared_ptr<PRCallHistoryNode>>& calls, bool ascending) {
    // Unknown dates (NaN) are all alike and come after every known one, in both directions.
    const auto laterUnknown = [ascending](double a, double b) {
        if (std::isnan(a)) {
            return false;
        }
        if (std::isnan(b)) {
            return true;
        }
        return ascending ? a < b : b < a;
    };
    sortByKey(
        calls, [](const PRCallHistoryNode& call) { return call.callTimestamp(); }, laterUnknown);
}

bool applySort(const SortRequest& request,
               std::vector<std::shared_ptr<PRPhotoAndVideoNode>>& photos) {
    switch (request.key) {
        case SortKey::Name:
            sortPhotosByName(photos, request.ascending);
            return true;
        case SortKey::Size:
            sortPhotosBySize(photos, request.ascending);
            return true;
        default:
            return false;
    }
}

bool applySort(const SortRequest& request, std::vector<std::shared_ptr<PRContactNode>>& contacts) {
    if (request.key != SortKey::Name) {
        return false;
    }
    sortContactsByName(contacts, request.ascending);
    return true;
}

bool applySort(const SortRequest& request, std::vector<std::shared_ptr<PRMessageNode>>& messages) {
    if (request.key != SortKey::Name) {
        return false;
    }
    sortMessagesByName(messages, request.ascending);
    return true;
}

bool applySort(const SortRequest& request, std::vector<std::shared_ptr<PRCallHistoryNode>>& calls) {
    switch (request.key) {
        case SortKey::Name:
            sortCallsByName(calls, request.ascending);
            return true;
        case SortKey::Date:
            sortCallsByDate(calls, request.ascending);
            return true;
        default:
            return false;
    }
}

}  // namespace nimbara::browser
