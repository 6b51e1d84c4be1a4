// Sorting the result page's record tables by a click on a column header.
//
// Three directions are kept, one per key: name, size and date. The name direction is one for the
// photo, contact, message and call tables together, so a name sort in one table turns the
// direction of the next name sort in another. Each click flips its direction before sorting and
// every direction starts descending, so the first click on a column sorts ascending.
//
// Sorts are stable: records with equal keys keep their order in both directions.
#pragma once

#include <QStringView>

#include <memory>
#include <vector>

class PRCallHistoryNode;
class PRContactNode;
class PRMessageNode;
class PRPhotoAndVideoNode;

namespace nimbara::browser {

// The tables a header click can sort (every other table ignores clicks).
enum class SortableTable { Photo, Contact, Message, Call, Other };

enum class SortKey { None, Name, Size, Date };

struct SortRequest {
    SortKey key = SortKey::None;
    bool ascending = false;

    bool sorts() const { return key != SortKey::None; }
};

// The column identifiers the rule reads; every other column is "another column".
inline constexpr char16_t kTickColumn[] = u"bSelected";
inline constexpr char16_t kNameColumn[] = u"Name";
inline constexpr char16_t kSizeColumn[] = u"Size";

class RecordSortState {
  public:
    // What a click on the column `identifier` of `table` sorts by, in which direction; the
    // direction it uses is flipped first. A click that sorts nothing flips nothing.
    //   tick column of any table: nothing;
    //   photos: "Name" by name, "Size" by size, other columns nothing;
    //   contacts and messages: any column by name;
    //   calls: "Name" by name, any other column by date.
    SortRequest columnClicked(SortableTable table, QStringView identifier);

    bool nameAscending() const { return nameAscending_; }
    bool sizeAscending() const { return sizeAscending_; }
    bool dateAscending() const { return dateAscending_; }

  private:
    bool nameAscending_ = false;
    bool sizeAscending_ = false;
    bool dateAscending_ = false;
};

// Photos by the whole number their name starts with once the extension is cut off ("9.jpg"
// before "10.jpg"), then by the name's text (names without a number still come in order).
void sortPhotosByName(std::vector<std::shared_ptr<PRPhotoAndVideoNode>>& photos, bool ascending);
// Photos by the byte count of their size text ("12.50KB" before "3.00MB").
void sortPhotosBySize(std::vector<std::shared_ptr<PRPhotoAndVideoNode>>& photos, bool ascending);
// By the name's text, compared character by character (case counts).
void sortContactsByName(std::vector<std::shared_ptr<PRContactNode>>& contacts, bool ascending);
void sortMessagesByName(std::vector<std::shared_ptr<PRMessageNode>>& messages, bool ascending);
void sortCallsByName(std::vector<std::shared_ptr<PRCallHistoryNode>>& calls, bool ascending);
// Calls by when they began (`callTimestamp`, never the date text); calls without a date come
// last in both directions.
void sortCallsByDate(std::vector<std::shared_ptr<PRCallHistoryNode>>& calls, bool ascending);

// Sorts the records of a table as `request` asks; a key the family has no sort for leaves the
// records as they are. Returns whether it sorted.
bool applySort(const SortRequest& request,
               std::vector<std::shared_ptr<PRPhotoAndVideoNode>>& photos);
bool applySort(const SortRequest& request, std::vector<std::shared_ptr<PRContactNode>>& contacts);
bool applySort(const SortRequest& request, std::vector<std::shared_ptr<PRMessageNode>>& messages);
bool applySort(const SortRequest& request, std::vector<std::shared_ptr<PRCallHistoryNode>>& calls);

}  // namespace nimbara::browser
