// What the backup browser's result page collects from one backup scan: the records by category
// and the counters its labels show. The scan thread adds records while the GUI thread reads
// copies, so every member is guarded by one mutex.
//
// A deleted record (recovered from a database's free space) is listed only when it is not a copy
// of a record already listed; the rules per category are in the add... functions.
#pragma once

#include <QString>

#include "backup/conversations.h"

#include <array>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <utility>
#include <vector>

class PRBookMarkNode;
class PRCalenderNode;
class PRCallHistoryNode;
class PRContactNode;
class PRFaceTwitterNode;
class PRNoteNode;
class PRPhotoAndVideoNode;

namespace nimbara::browser {

// The categories with a found and a deleted counter each.
enum class RecordCategory {
    PhotoVideo,
    Contact,
    Message,
    Note,
    Call,
    BookMark,
    Calender,
    FaceTwitter,
};
inline constexpr int kRecordCategoryCount = 8;

struct CategoryCount {
    int found = 0;
    int deleted = 0;
};

struct ResultCounters {
    // Records found in this scan (deleted ones are counted apart).
    int BackUpFilesNum = 0;
    // Deleted records listed in this scan.
    int deleteeFilesNum = 0;
    std::array<CategoryCount, kRecordCategoryCount> categories{};

    const CategoryCount& operator[](RecordCategory c) const {
        return categories[static_cast<int>(c)];
    }
    CategoryCount& operator[](RecordCategory c) { return categories[static_cast<int>(c)]; }
};

// One count label of the page: its object name and its text.
struct CountLabel {
    const char* name;
    QString text;
};

// The ten count labels, found and deleted for photos, contacts, messages, notes and calls
// ("Contacts:  12", two blanks after the colon). Deleted photos are never counted, so their
// label always reads "Photo&Video:  0".
std::vector<CountLabel> countLabelTexts(const ResultCounters& counters);

class ResultRecords {
  public:
    // Records as the scan finds them: listed, and counted in their category and in
    // BackUpFilesNum.
    void addPhotoAndVideo(std::shared_ptr<PRPhotoAndVideoNode> node);
    void addContact(std::shared_ptr<PRContactNode> node);
    // A message also joins its conversation (or opens one).
    void addMessage(std::shared_ptr<PRMessageNode> node);
    void addCallHistory(std::shared_ptr<PRCallHistoryNode> node);
    void addNote(std::shared_ptr<PRNoteNode> node);
    void addBookMark(std::shared_ptr<PRBookMarkNode> node);
    void addCalender(std::shared_ptr<PRCalenderNode> node);
    void addFaceTwitter(std::shared_ptr<PRFaceTwitterNode> node);

    // Deleted records: marked deleted, listed and counted unless they repeat a listed record.
    // Each returns whether the record was listed.
    // A contact repeats one with the same name and phone.
    bool addDeletedContact(const std::shared_ptr<PRContactNode>& node);
    // A note without title and content (both null) is skipped, as is one whose content equals a
    // listed note's.
    bool addDeletedNote(const std::shared_ptr<PRNoteNode>& node);
    // A call with neither name nor number is skipped, as is one with a listed call's number and
    // date.
    bool addDeletedCallHistory(const std::shared_ptr<PRCallHistoryNode>& node);
    // A bookmark with neither address nor title is skipped, as is one with a listed bookmark's
    // address and title.
    bool addDeletedBookMark(const std::shared_ptr<PRBookMarkNode>& node);
    // A message without phone and content is skipped, as is one with a listed message's phone,
    // content and date; it joins a conversation of deleted messages only.
    bool addDeletedMessage(const std::shared_ptr<PRMessageNode>& node);
    // An event with neither title nor note is skipped, as is one with a listed event's title and
    // start.
    bool addDeletedCalender(const std::shared_ptr<PRCalenderNode>& node);

    // Before a scan: every counter to zero (the lists stay until clear()).
    void resetCounters();
    // At the end of a scan: the per-category counters to zero; the totals stay.
    void zeroCategoryCounters();
    // Empties every list (before another backup is scanned).
    void clear();

    ResultCounters counters() const;

    // Copies of the lists.
    std::vector<std::shared_ptr<PRPhotoAndVideoNode>> photoAndVideoArray() const;
    std::vector<std::shared_ptr<PRContactNode>> contactArray() const;
    std::vector<std::shared_ptr<PRMessageNode>> messageArray() const;
    // The conversations in order of creation, and how many there are.
    std::vector<std::shared_ptr<PRMessageTreeNode>> messageTreeArray() const;
    std::size_t conversationCount() const;
    std::vector<std::shared_ptr<PRCallHistoryNode>> callHistoryArray() const;
    std::vector<std::shared_ptr<PRNoteNode>> noteArray() const;
    std::vector<std::shared_ptr<PRBookMarkNode>> bookMarkArray() const;
    std::vector<std::shared_ptr<PRCalenderNode>> calenderArray() const;
    std::vector<std::shared_ptr<PRFaceTwitterNode>> faceTwitterArray() const;
    // The records of each list from index `from` on (the page adds new rows as they arrive).
    std::vector<std::shared_ptr<PRPhotoAndVideoNode>> photosFrom(std::size_t from) const;
    std::vector<std::shared_ptr<PRFaceTwitterNode>> faceTwitterFrom(std::size_t from) const;
    std::vector<std::shared_ptr<PRContactNode>> contactsFrom(std::size_t from) const;
    std::vector<std::shared_ptr<PRMessageTreeNode>> conversationsFrom(std::size_t from) const;
    std::vector<std::shared_ptr<PRCallHistoryNode>> callsFrom(std::size_t from) const;
    std::vector<std::shared_ptr<PRNoteNode>> notesFrom(std::size_t from) const;
    std::vector<std::shared_ptr<PRBookMarkNode>> bookMarksFrom(std::size_t from) const;
    std::vector<std::shared_ptr<PRCalenderNode>> calendarsFrom(std::size_t from) const;
    // Size of each list, by category.
    std::array<int, kRecordCategoryCount> listSizes() const;

  private:
    // What makes two records of a list the same record (up to two texts).
    using RecordKey = std::pair<QString, QString>;
    struct RecordKeyHash {
        std::size_t operator()(const RecordKey& key) const;
    };
    // The keys of a list's records, from its first `indexed` records (a deleted record is looked
    // up here rather than compared with every record listed).
    struct ListedKeys {
        std::unordered_set<RecordKey, RecordKeyHash> keys;
        std::size_t indexed = 0;
    };

    // Lists a found record and counts it.
    template <class Node>
    void listFound(std::vector<std::shared_ptr<Node>>& list, std::shared_ptr<Node> node,
                   RecordCategory category);
    // Lists a deleted record unless a listed one has the same key (`keyOf`).
    template <class Node, class KeyOf>
    bool listDeleted(std::vector<std::shared_ptr<Node>>& list, ListedKeys& listed,
                     const std::shared_ptr<Node>& node, RecordCategory category, KeyOf keyOf);

    mutable std::mutex mutex_;
    ResultCounters counters_;
    std::vector<std::shared_ptr<PRPhotoAndVideoNode>> photos_;
    std::vector<std::shared_ptr<PRContactNode>> contacts_;
    // Every message (deleted ones too) and their conversations.
    nimbara::backup::ConversationGrouping messages_;
    std::vector<std::shared_ptr<PRCallHistoryNode>> calls_;
    std::vector<std::shared_ptr<PRNoteNode>> notes_;
    std::vector<std::shared_ptr<PRBookMarkNode>> bookMarks_;
    std::vector<std::shared_ptr<PRCalenderNode>> calendars_;
    std::vector<std::shared_ptr<PRFaceTwitterNode>> faceTwitter_;
    ListedKeys contactKeys_;
    ListedKeys callKeys_;
    ListedKeys noteKeys_;
    ListedKeys bookMarkKeys_;
    ListedKeys calendarKeys_;
};

}  // namespace nimbara::browser
