// The columns of the privacy cleaner's record tables, one set per category, titled as the page
// titles them; the tick column comes before them.
#pragma once

#include <QStringList>

#include <vector>

#include "browser/record_table_model.h"
#include "privacy/privacy_selection.h"

class PRCallHistoryNode;
class PRContactNode;
class PRMessageTreeNode;
class PRNoteNode;
class PRPrivacyNode;

namespace nimbara::privacy {

std::vector<browser::RecordColumn<PRContactNode>> privacyContactColumns();
// Conversations: the other party, its address and the text of the last message.
std::vector<browser::RecordColumn<PRMessageTreeNode>> privacyConversationColumns();
std::vector<browser::RecordColumn<PRNoteNode>> privacyNoteColumns();
std::vector<browser::RecordColumn<PRCallHistoryNode>> privacyCallColumns();
// The columns of a category of PRPrivacyNode records (attachments, Safari history and cookies,
// web content, keyboard input, Wi-Fi networks, locations); none for the others.
std::vector<browser::RecordColumn<PRPrivacyNode>> privacyItemColumns(PrivacyCategory category);

// The titles of the category's columns, in order.
QStringList privacyColumnTitles(PrivacyCategory category);

}  // namespace nimbara::privacy
