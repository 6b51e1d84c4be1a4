#include "privacy/pages/privacy_columns.h"

#include "browser/record_columns.h"

#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "privacy/pr_privacy_node.h"

namespace nimbara::privacy {

namespace {

using browser::RecordColumn;

using browser::recordField;

QString lastMessageText(const PRMessageTreeNode& node) {
    const auto messages = node.MessageNodeArray();
    return messages.empty() || !messages.back() ? QString() : messages.back()->messageContent();
}

// A visit count the reader found (-1: none).
QString visitCountText(const PRPrivacyNode& node) {
    return node.visitCount() < 0 ? QString() : QString::number(node.visitCount());
}

template <class Node>
QStringList titlesOf(const std::vector<RecordColumn<Node>>& columns) {
    QStringList titles;
    for (const RecordColumn<Node>& column : columns) {
        titles.push_back(column.title);
    }
    return titles;
}

}  // namespace

std::vector<RecordColumn<PRContactNode>> privacyContactColumns() {
    return {recordField("Contact Name", &PRContactNode::contactName),
            {QStringLiteral("Contact Email"),
             [](const PRContactNode& node) { return node.contactEmail().trimmed(); }},
            {QStringLiteral("Contact Phone"),
             [](const PRContactNode& node) { return node.contactPhone().trimmed(); }}};
}

std::vector<RecordColumn<PRMessageTreeNode>> privacyConversationColumns() {
    return {{QStringLiteral("Message Name"), browser::conversationName},
            recordField("Message Address", &PRMessageTreeNode::messageTreeNodeAdress),
            {QStringLiteral("Message Content"), lastMessageText}};
}

std::vector<RecordColumn<PRNoteNode>> privacyNoteColumns() {
    return {recordField("Note Title", &PRNoteNode::noteTitle),
            recordField("Note Content", &PRNoteNode::noteContent)};
}

std::vector<RecordColumn<PRCallHistoryNode>> privacyCallColumns() {
    return {recordField("Call Name", &PRCallHistoryNode::callName),
            recordField("Call Phone", &PRCallHistoryNode::callPhone),
            recordField("Call Date", &PRCallHistoryNode::callDate)};
}

std::vector<RecordColumn<PRPrivacyNode>> privacyItemColumns(PrivacyCategory category) {
    using N = PRPrivacyNode;
    switch (category) {
        case PrivacyCategory::MessageAttachments:
            return {recordField(" File Name", &N::fileName),
                    recordField(" File Size", &N::fileSize)};
        case PrivacyCategory::SafariHistory:
            return {recordField("History URL", &N::fileURL),
                    recordField("Webpage Title", &N::fileName),
                    {QStringLiteral("Visit Count"), visitCountText}};
        case PrivacyCategory::SafariCookies:
            return {recordField("Cookie Name", &N::fileName),
                    recordField("Cookie URL", &N::fileURL)};
        case PrivacyCategory::WebContent:
        case PrivacyCategory::KeyboardInput:
            return {recordField("Web Cache", &N::fileName), recordField("File Size", &N::fileSize)};
        case PrivacyCategory::WifiNetworks:
            return {recordField("WiFi hotspot Name", &N::fileName),
                    recordField("NetWork Address", &N::otherInfo)};
        case PrivacyCategory::Locations:
            return {recordField("GPS location", &N::fileName)};
        default:
            return {};
    }
}

QStringList privacyColumnTitles(PrivacyCategory category) {
    switch (category) {
        case PrivacyCategory::Contacts:
            return titlesOf(privacyContactColumns());
        case PrivacyCategory::Messages:
            return titlesOf(privacyConversationColumns());
        case PrivacyCategory::Notes:
            return titlesOf(privacyNoteColumns());
        case PrivacyCategory::Calls:
            return titlesOf(privacyCallColumns());
        default:
            return titlesOf(privacyItemColumns(category));
    }
}

}  // namespace nimbara::privacy
