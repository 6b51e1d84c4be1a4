#include "browser/result_records.h"

#include <QHash>

#include <algorithm>

#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_face_twitter_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_note_node.h"
#include "backup/pr_photo_and_video_node.h"

namespace nimbara::browser {

namespace {

QString countText(const char* title, int count) {
    return QStringLiteral("%1:  %2").arg(QLatin1String(title)).arg(count);
}

template <class Node>
std::vector<std::shared_ptr<Node>> copyOf(std::mutex& mutex,
                                          const std::vector<std::shared_ptr<Node>>& list) {
    std::lock_guard<std::mutex> lock(mutex);
    return list;
}

template <class Node>
std::vector<std::shared_ptr<Node>> tailOf(std::mutex& mutex,
                                          const std::vector<std::shared_ptr<Node>>& list,
                                          std::size_t from) {
    std::lock_guard<std::mutex> lock(mutex);
    if (from >= list.size()) {
        return {};
    }
    return {list.begin() + static_cast<std::ptrdiff_t>(from), list.end()};
}

}  // namespace

std::vector<CountLabel> countLabelTexts(const ResultCounters& counters) {
    using C = RecordCategory;
    return {
        {"photovideoNumlab", countText("Photo&Video", counters[C::PhotoVideo].found)},
        {"delPhotovideoNumlab", countText("Photo&Video", 0)},
        {"contactNumlab", countText("Contacts", counters[C::Contact].found)},
        {"delContactNumlab", countText("Contacts", counters[C::Contact].deleted)},
        {"messageNumlab", countText("Messages", counters[C::Message].found)},
        {"delMessageNumlab", countText("Messages", counters[C::Message].deleted)},
        {"noteNumlab", countText("Notes", counters[C::Note].found)},
        {"delNoteNumlab", countText("Notes", counters[C::Note].deleted)},
        {"callNumlab", countText("Call History", counters[C::Call].found)},
        {"delCallNumlab", countText("Call History", counters[C::Call].deleted)},
    };
}

template <class Node>
void ResultRecords::listFound(std::vector<std::shared_ptr<Node>>& list, std::shared_ptr<Node> node,
                              RecordCategory category) {
    std::lock_guard<std::mutex> lock(mutex_);
    list.push_back(std::move(node));
    ++counters_[category].found;
    ++counters_.BackUpFilesNum;
}

std::size_t ResultRecords::RecordKeyHash::operator()(const RecordKey& key) const {
    return qHashMulti(0, key.first, key.second);
}

template <class Node, class KeyOf>
bool ResultRecords::listDeleted(std::vector<std::shared_ptr<Node>>& list, ListedKeys& listed,
                                const std::shared_ptr<Node>& node, RecordCategory category,
                                KeyOf keyOf) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Records listed since the last look-up (found ones are listed without one) join the keys.
    for (; listed.indexed < list.size(); ++listed.indexed) {
        listed.keys.insert(keyOf(*list[listed.indexed]));
    }
    if (!listed.keys.insert(keyOf(*node)).second) {
        return false;
    }
    node->setBDeleted(true);
    list.push_back(node);
    ++listed.indexed;
    ++counters_[category].deleted;
    ++counters_.deleteeFilesNum;
    return true;
}

void ResultRecords::addPhotoAndVideo(std::shared_ptr<PRPhotoAndVideoNode> node) {
    listFound(photos_, std::move(node), RecordCategory::PhotoVideo);
}
void ResultRecords::addContact(std::shared_ptr<PRContactNode> node) {
    listFound(contacts_, std::move(node), RecordCategory::Contact);
}
void ResultRecords::addMessage(std::shared_ptr<PRMessageNode> node) {
    if (!node) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.addMessage(node);
    ++counters_[RecordCategory::Message].found;
    ++counters_.BackUpFilesNum;
}

bool ResultRecords::addDeletedMessage(const std::shared_ptr<PRMessageNode>& node) {
    if (!node) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!messages_.addDeletedMessage(node)) {
        return false;
    }
    ++counters_[RecordCategory::Message].deleted;
    ++counters_.deleteeFilesNum;
    return true;
}
void ResultRecords::addCallHistory(std::shared_ptr<PRCallHistoryNode> node) {
    listFound(calls_, std::move(node), RecordCategory::Call);
}
void ResultRecords::addNote(std::shared_ptr<PRNoteNode> node) {
    listFound(notes_, std::move(node), RecordCategory::Note);
}
void ResultRecords::addBookMark(std::shared_ptr<PRBookMarkNode> node) {
    listFound(bookMarks_, std::move(node), RecordCategory::BookMark);
}
void ResultRecords::addCalender(std::shared_ptr<PRCalenderNode> node) {
    listFound(calendars_, std::move(node), RecordCategory::Calender);
}
void ResultRecords::addFaceTwitter(std::shared_ptr<PRFaceTwitterNode> node) {
    listFound(faceTwitter_, std::move(node), RecordCategory::FaceTwitter);
}

bool ResultRecords::addDeletedContact(const std::shared_ptr<PRContactNode>& node) {
    if (!node) {
        return false;
    }
    return listDeleted(contacts_, contactKeys_, node, RecordCategory::Contact,
                       [](const PRContactNode& c) {
                           return RecordKey{c.contactName(), c.contactPhone()};
                       });
}

bool ResultRecords::addDeletedNote(const std::shared_ptr<PRNoteNode>& node) {
    if (!node) {
        return false;
    }
    if (node->noteTitle().isNull() && node->noteContent().isNull()) {
        return false;
    }
    return listDeleted(notes_, noteKeys_, node, RecordCategory::Note, [](const PRNoteNode& n) {
        return RecordKey{n.noteContent(), QString()};
    });
}

bool ResultRecords::addDeletedCallHistory(const std::shared_ptr<PRCallHistoryNode>& node) {
    if (!node) {
        return false;
    }
    if (node->callName().isEmpty() && node->callPhone().isEmpty()) {
        return false;
    }
    return listDeleted(calls_, callKeys_, node, RecordCategory::Call,
                       [](const PRCallHistoryNode& c) {
                           return RecordKey{c.callPhone(), c.callDate()};
                       });
}

bool ResultRecords::addDeletedBookMark(const std::shared_ptr<PRBookMarkNode>& node) {
    if (!node) {
        return false;
    }
    if (node->bookMarkURL().isEmpty() && node->bookMarkTitle().isEmpty()) {
        return false;
    }
    return listDeleted(bookMarks_, bookMarkKeys_, node, RecordCategory::BookMark,
                       [](const PRBookMarkNode& b) {
                           return RecordKey{b.bookMarkURL(), b.bookMarkTitle()};
                       });
}

bool ResultRecords::addDeletedCalender(const std::shared_ptr<PRCalenderNode>& node) {
    if (!node) {
        return false;
    }
    if (node->calTitle().isEmpty() && node->calNote().isEmpty()) {
        return false;
    }
    return listDeleted(calendars_, calendarKeys_, node, RecordCategory::Calender,
                       [](const PRCalenderNode& c) {
                           return RecordKey{c.calTitle(), c.startDate()};
                       });
}

void ResultRecords::resetCounters() {
    std::lock_guard<std::mutex> lock(mutex_);
    counters_ = ResultCounters{};
}

void ResultRecords::zeroCategoryCounters() {
    std::lock_guard<std::mutex> lock(mutex_);
    counters_.categories = {};
}

void ResultRecords::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    photos_.clear();
    contacts_.clear();
    messages_.clear();
    calls_.clear();
    notes_.clear();
    bookMarks_.clear();
    calendars_.clear();
    faceTwitter_.clear();
    for (ListedKeys* listed :
         {&contactKeys_, &callKeys_, &noteKeys_, &bookMarkKeys_, &calendarKeys_}) {
        *listed = ListedKeys{};
    }
}

ResultCounters ResultRecords::counters() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counters_;
}

std::vector<std::shared_ptr<PRPhotoAndVideoNode>> ResultRecords::photoAndVideoArray() const {
    return copyOf(mutex_, photos_);
}
std::vector<std::shared_ptr<PRContactNode>> ResultRecords::contactArray() const {
    return copyOf(mutex_, contacts_);
}
std::vector<std::shared_ptr<PRMessageNode>> ResultRecords::messageArray() const {
    return copyOf(mutex_, messages_.messages());
}
std::vector<std::shared_ptr<PRMessageTreeNode>> ResultRecords::messageTreeArray() const {
    return copyOf(mutex_, messages_.conversations());
}
std::size_t ResultRecords::conversationCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.conversations().size();
}
std::vector<std::shared_ptr<PRCallHistoryNode>> ResultRecords::callHistoryArray() const {
    return copyOf(mutex_, calls_);
}
std::vector<std::shared_ptr<PRNoteNode>> ResultRecords::noteArray() const {
    return copyOf(mutex_, notes_);
}
std::vector<std::shared_ptr<PRBookMarkNode>> ResultRecords::bookMarkArray() const {
    return copyOf(mutex_, bookMarks_);
}
std::vector<std::shared_ptr<PRCalenderNode>> ResultRecords::calenderArray() const {
    return copyOf(mutex_, calendars_);
}
std::vector<std::shared_ptr<PRFaceTwitterNode>> ResultRecords::faceTwitterArray() const {
    return copyOf(mutex_, faceTwitter_);
}

std::vector<std::shared_ptr<PRPhotoAndVideoNode>> ResultRecords::photosFrom(
    std::size_t from) const {
    return tailOf(mutex_, photos_, from);
}
std::vector<std::shared_ptr<PRFaceTwitterNode>> ResultRecords::faceTwitterFrom(
    std::size_t from) const {
    return tailOf(mutex_, faceTwitter_, from);
}
std::vector<std::shared_ptr<PRContactNode>> ResultRecords::contactsFrom(std::size_t from) const {
    return tailOf(mutex_, contacts_, from);
}
std::vector<std::shared_ptr<PRMessageTreeNode>> ResultRecords::conversationsFrom(
    std::size_t from) const {
    return tailOf(mutex_, messages_.conversations(), from);
}
std::vector<std::shared_ptr<PRCallHistoryNode>> ResultRecords::callsFrom(std::size_t from) const {
    return tailOf(mutex_, calls_, from);
}
std::vector<std::shared_ptr<PRNoteNode>> ResultRecords::notesFrom(std::size_t from) const {
    return tailOf(mutex_, notes_, from);
}
std::vector<std::shared_ptr<PRBookMarkNode>> ResultRecords::bookMarksFrom(std::size_t from) const {
    return tailOf(mutex_, bookMarks_, from);
}
std::vector<std::shared_ptr<PRCalenderNode>> ResultRecords::calendarsFrom(std::size_t from) const {
    return tailOf(mutex_, calendars_, from);
}

std::array<int, kRecordCategoryCount> ResultRecords::listSizes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto size = [](const auto& list) { return static_cast<int>(list.size()); };
    return {size(photos_), size(contacts_),  size(messages_.messages()), size(notes_),
            size(calls_),  size(bookMarks_), size(calendars_),           size(faceTwitter_)};
}

}  // namespace nimbara::browser
