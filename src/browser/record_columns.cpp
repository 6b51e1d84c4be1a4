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

// What a message holds besides its text: the attachment's kind, or nothing.
QString attachmentText(const PRMessageNode& node) {
    if (!node.isHasAttach()) {
        return {};
    }
    const QString type = node.attachType();
    return type.isEmpty() ? QStringLiteral("Attachment") : type;
}

}  // namespace

QString conversationName(const PRMessageTreeNode& node) {
    const QString name = node.messageTreeNodeName();
    return name.trimmed().isEmpty() ? node.messageTreeNodeAdress() : name;
}

std::vector<RecordColumn<PRPhotoAndVideoNode>> photoColumns() {
    return {recordField("Name", &PRPhotoAndVideoNode::fileNodeName),
            recordField("Size", &PRPhotoAndVideoNode::fileNodeSize),
            recordField("Date", &PRPhotoAndVideoNode::fileModifyTime)};
}

std::vector<RecordColumn<PRFaceTwitterNode>> faceTwitterColumns() {
    return {recordField("Name", &PRFaceTwitterNode::faceTwitterFileName),
            recordField("Size", &PRFaceTwitterNode::fileSize)};
}

std::vector<RecordColumn<PRContactNode>> contactColumns() {
    return {recordField("Name", &PRContactNode::contactName),
            recordField("Phone", &PRContactNode::contactPhone),
            recordField("E-mail", &PRContactNode::contactEmail),
            recordField("Company", &PRContactNode::contactCompany)};
}

std::vector<RecordColumn<PRMessageTreeNode>> conversationColumns() {
    return {{QStringLiteral("Name"), conversationName},
            recordField("Address", &PRMessageTreeNode::messageTreeNodeAdress),
            {QStringLiteral("Messages"),
             [](const PRMessageTreeNode& node) { return QString::number(node.messageCount()); }}};
}

std::vector<RecordColumn<PRMessageNode>> messageColumns() {
    return {recordField("Date", &PRMessageNode::messageDate),
            recordField("Type", &PRMessageNode::messageType),
            recordField("Message", &PRMessageNode::messageContent),
            {QStringLiteral("Attachment"), attachmentText}};
}

std::vector<RecordColumn<PRCallHistoryNode>> callHistoryColumns() {
    return {recordField("Name", &PRCallHistoryNode::callName),
            recordField("Phone", &PRCallHistoryNode::callPhone),
            recordField("Type", &PRCallHistoryNode::callType),
            recordField("Duration", &PRCallHistoryNode::callDuration),
            recordField("Date", &PRCallHistoryNode::callDate)};
}

std::vector<RecordColumn<PRNoteNode>> noteColumns() {
    return {recordField("Title", &PRNoteNode::noteTitle),
            recordField("Date", &PRNoteNode::noteDate),
            recordField("Note", &PRNoteNode::noteContent)};
}

std::vector<RecordColumn<PRBookMarkNode>> bookMarkColumns() {
    return {recordField("Title", &PRBookMarkNode::bookMarkTitle),
            recordField("URL", &PRBookMarkNode::bookMarkURL)};
}

std::vector<RecordColumn<PRCalenderNode>> calenderColumns() {
    return {recordField("Title", &PRCalenderNode::calTitle),
            recordField("Start Date", &PRCalenderNode::startDate),
            recordField("End Date", &PRCalenderNode::endDate),
            recordField("Location", &PRCalenderNode::location),
            recordField("Note", &PRCalenderNode::calNote)};
}

}  // namespace nimbara::browser
