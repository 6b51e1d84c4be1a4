#include "browser/record_search.h"

#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"

namespace nimbara::browser {

QString searchTextOf(const QString& typed) {
    return typed.trimmed();
}

bool fieldsMatch(const QString& first, const QString& second, const QString& text) {
    if (text.isEmpty()) {
        return true;
    }
    return first.contains(text, Qt::CaseInsensitive) || second.contains(text, Qt::CaseInsensitive);
}

std::pair<QString, QString> searchFields(const PRMessageTreeNode& node) {
    return {node.messageTreeNodeName(), node.messageTreeNodeAdress()};
}
std::pair<QString, QString> searchFields(const PRContactNode& node) {
    return {node.contactName(), node.contactPhone()};
}
std::pair<QString, QString> searchFields(const PRNoteNode& node) {
    return {node.noteTitle(), node.noteContent()};
}
std::pair<QString, QString> searchFields(const PRCallHistoryNode& node) {
    return {node.callName(), node.callPhone()};
}
std::pair<QString, QString> searchFields(const PRCalenderNode& node) {
    return {node.calTitle(), node.calNote()};
}

}  // namespace nimbara::browser
