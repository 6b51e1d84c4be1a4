// Finding records of the result page by a typed text. Each searchable family is looked through
// by two of its fields; a record matches when either holds the text, ignoring case. Families
// without a search (photos, app files, bookmarks, the backup's files) are never narrowed.
//
// Pure functions: the page narrows what a category's table shows with them, on the GUI thread.
#pragma once

#include <QString>

#include <memory>
#include <utility>
#include <vector>

class PRCalenderNode;
class PRCallHistoryNode;
class PRContactNode;
class PRMessageTreeNode;
class PRNoteNode;

namespace nimbara::browser {

enum class SearchFamily { None, Conversations, Contacts, Notes, Calls, Calendar };

// The text a search looks for: what was typed, without blanks at its ends.
QString searchTextOf(const QString& typed);

// True when `first` or `second` holds `text`, ignoring case; an empty text matches everything.
bool fieldsMatch(const QString& first, const QString& second, const QString& text);

// The two fields each family is searched by.
std::pair<QString, QString> searchFields(const PRMessageTreeNode& node);  // name, address
std::pair<QString, QString> searchFields(const PRContactNode& node);      // name, phone
std::pair<QString, QString> searchFields(const PRNoteNode& node);         // title, content
std::pair<QString, QString> searchFields(const PRCallHistoryNode& node);  // name, phone
std::pair<QString, QString> searchFields(const PRCalenderNode& node);     // title, note

// The records of `records` that match `typed`, in their order; all of them for an empty text.
template <class Node>
std::vector<std::shared_ptr<Node>> searchRecords(const std::vector<std::shared_ptr<Node>>& records,
                                                 const QString& typed) {
    const QString text = searchTextOf(typed);
    if (text.isEmpty()) {
        return records;
    }
    std::vector<std::shared_ptr<Node>> found;
    for (const auto& record : records) {
        if (record) {
            const auto [first, second] = searchFields(*record);
            if (fieldsMatch(first, second, text)) {
                found.push_back(record);
            }
        }
    }
    return found;
}

}  // namespace nimbara::browser
