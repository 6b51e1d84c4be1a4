// The columns of the backup browser's record tables, one set per record family.
#pragma once

#include "browser/record_table_model.h"

class PRBookMarkNode;
class PRCalenderNode;
class PRCallHistoryNode;
class PRContactNode;
class PRFaceTwitterNode;
class PRPhotoAndVideoNode;
class PRMessageNode;
class PRMessageTreeNode;
class PRNoteNode;

namespace nimbara::browser {

std::vector<RecordColumn<PRPhotoAndVideoNode>> photoColumns();
std::vector<RecordColumn<PRFaceTwitterNode>> faceTwitterColumns();
std::vector<RecordColumn<PRContactNode>> contactColumns();
// The conversation's other party: its name, or its address when it has none.
QString conversationName(const PRMessageTreeNode& node);
// Conversations: the other party, its address and how many messages it holds.
std::vector<RecordColumn<PRMessageTreeNode>> conversationColumns();
// The messages of one conversation.
std::vector<RecordColumn<PRMessageNode>> messageColumns();
std::vector<RecordColumn<PRCallHistoryNode>> callHistoryColumns();
std::vector<RecordColumn<PRNoteNode>> noteColumns();
std::vector<RecordColumn<PRBookMarkNode>> bookMarkColumns();
std::vector<RecordColumn<PRCalenderNode>> calenderColumns();

}  // namespace nimbara::browser
