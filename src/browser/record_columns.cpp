#include "browser/record_columns.h"

#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_face_twitter_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "backup/pr_photo_and_video_node.h"

namespace nimbara::browser {

bool recordIsDeleted(const PRMessageTreeNode& node) {
    return node.bdeleted();
}
bool recordIsDeleted(const PRPhotoAndVideoNode&) {
    return false;
}
bool recordIsDeleted(const PRFaceTwitterNode&) {
    return false;
}

namespace {

// A column showing one text field of the record.
template <class Node>
RecordColumn<Node> field(const char* title, QString (Node::*get)() const) {
    return {QString::fromLatin1(title), [get](const Node& node) { return (node.*get)(); }};
}

// The conversation's name, or its address when the other party has no name.
QString conversationName(const PRMessageTreeNode& node) {
    const QString name = node.messageTreeNodeName();
    return name.trimmed().isEmpty() ? node.messageTreeNodeAdress() : name;
}

// What a message holds besides its text: the attachment's kind, or nothing.
QString attachmentText(const PRMessageNode& node) {
    if (!node.isHasAttach()) {
        return {};
    }
    const QString type = node.attachType();
    return type.isEmpty() ? QStringLiteral("Attachment") : type;
}

}  // namespace

std::vector<RecordColumn<PRPhotoAndVideoNode>> photoColumns() {
    return {field("Name", &PRPhotoAndVideoNode::fileNodeName),
            field("Size", &PRPhotoAndVideoNode::fileNodeSize),
            field("Date", &PRPhotoAndVideoNode::fileModifyTime)};
}

std::vector<RecordColumn<PRFaceTwitterNode>> faceTwitterColumns() {
    return {field("Name", &PRFaceTwitterNode::faceTwitterFileName),
            field("Size", &PRFaceTwitterNode::fileSize)};
}

std::vector<RecordColumn<PRContactNode>> contactColumns() {
    return {field("Name", &PRContactNode::contactName),
            field("Phone", &PRContactNode::contactPhone),
            field("E-mail", &PRContactNode::contactEmail),
            field("Company", &PRContactNode::contactCompany)};
}

std::vector<RecordColumn<PRMessageTreeNode>> conversationColumns() {
    return {{QStringLiteral("Name"), conversationName},
            field("Address", &PRMessageTreeNode::messageTreeNodeAdress),
            {QStringLiteral("Messages"),
             [](const PRMessageTreeNode& node) { return QString::number(node.messageCount()); }}};
}

std::vector<RecordColumn<PRMessageNode>> messageColumns() {
    return {field("Date", &PRMessageNode::messageDate),
            field("Type", &PRMessageNode::messageType),
            field("Message", &PRMessageNode::messageContent),
            {QStringLiteral("Attachment"), attachmentText}};
}

std::vector<RecordColumn<PRCallHistoryNode>> callHistoryColumns() {
    return {field("Name", &PRCallHistoryNode::callName),
            field("Phone", &PRCallHistoryNode::callPhone),
            field("Type", &PRCallHistoryNode::callType),
            field("Duration", &PRCallHistoryNode::callDuration),
            field("Date", &PRCallHistoryNode::callDate)};
}

std::vector<RecordColumn<PRNoteNode>> noteColumns() {
    return {field("Title", &PRNoteNode::noteTitle), field("Date", &PRNoteNode::noteDate),
            field("Note", &PRNoteNode::noteContent)};
}

std::vector<RecordColumn<PRBookMarkNode>> bookMarkColumns() {
    return {field("Title", &PRBookMarkNode::bookMarkTitle),
            field("URL", &PRBookMarkNode::bookMarkURL)};
}

std::vector<RecordColumn<PRCalenderNode>> calenderColumns() {
    return {field("Title", &PRCalenderNode::calTitle),
            field("Start Date", &PRCalenderNode::startDate),
            field("End Date", &PRCalenderNode::endDate),
            field("Location", &PRCalenderNode::location), field("Note", &PRCalenderNode::calNote)};
}

}  // namespace nimbara::browser
