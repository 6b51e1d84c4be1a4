#include "browser/record_details.h"

#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_face_twitter_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_note_node.h"

namespace nimbara::browser {

namespace {

// `prefix` followed by the value as it stands (the value is never read as a format).
DetailLine line(const char* outlet, const char* prefix, const QString& value) {
    return {outlet, QString::fromUtf8(prefix) + value, true, nullptr};
}

// A contact's line: hidden while its field is empty.
DetailLine contactLine(const char* outlet, const char* prefix, const QString& value) {
    DetailLine result = line(outlet, prefix, value);
    result.shown = !value.isEmpty();
    return result;
}

}  // namespace

std::vector<DetailLine> contactDetails(const PRContactNode& node) {
    DetailLine note = contactLine("contactNotelab", "Note: ", node.contactNote());
    note.holder = "contactNoteScrollView";
    return {contactLine("contactNamelab", "", node.contactName()),
            contactLine("contactPhonelab", "Phone: ", node.contactPhone()),
            contactLine("contactEmaillab", "Email: ", node.contactEmail()),
            contactLine("contactHomePagelab", "HomePage: ", node.contactHomepage()),
            contactLine("contactCompanylab", "Company: ", node.contactCompany()),
            contactLine("contactJobTitlelab", "JobTitle: ", node.contactJobtitle()),
            contactLine("contactBirthdaylab", "Birthday: ", node.contactBirthday()),
            note};
}

std::vector<DetailLine> messageDetails(const PRMessageNode& node) {
    const QString content = node.messageContent();
    DetailLine view = line("messageConteView", "", content);
    view.holder = "messageScrollView";
    return {line("messageNamelab", "Name: ", node.messageName()),
            line("messagePhonelab", "Phone: ", node.messagePhone()),
            line("messageTypelab", "Type: ", node.messageType()),
            line("messageDatelab", "Date: ", node.messageDate()),
            view,
            line("messageContentlab", "Message: \n\n", content)};
}

std::vector<DetailLine> callHistoryDetails(const PRCallHistoryNode& node) {
    return {line("callNamelab", "Name: ", node.callName()),
            line("callPhonelab", "Phone: ", node.callPhone()),
            line("callTypelab", "Type: ", node.callType()),
            line("callTimelab", "Duration: ", node.callDuration()),
            line("callDatelab", "Date: ", node.callDate())};
}

std::vector<DetailLine> noteDetails(const PRNoteNode& node) {
    const QString content = node.noteContent();
    DetailLine view = line("noteContentView", "", content);
    view.holder = "noteScrollView";
    return {line("noteTitlelab", "Title: ", node.noteTitle()),
            line("noteDatelab", "Date: ", node.noteDate()), view,
            line("noteContentlab", "Note: ", content)};
}

std::vector<DetailLine> bookMarkDetails(const PRBookMarkNode& node) {
    return {line("bookMarkTitlelab", "Title: \n", node.bookMarkTitle()),
            line("bookMarkURLlab", "URL: \n", node.bookMarkURL())};
}

std::vector<DetailLine> calenderDetails(const PRCalenderNode& node) {
    return {line("calTitlelab", "Title: \n", node.calTitle()),
            line("calNotelab", "Note: \n", node.calNote()),
            line("calStartDatelab", "Start Date: ", node.startDate()),
            line("calEndDatelab", "Start End: ", node.endDate())};
}

std::vector<DetailLine> faceTwitterDetails(const PRFaceTwitterNode& node, bool loadsAsImage) {
    return {line("faceTwitterFileNamelab", "Name: ", node.faceTwitterFileName()),
            line("faceTwitterFileSizelab", "Size: ", node.fileSize()),
            {"faceTwitterShowImageView", {}, loadsAsImage, nullptr},
            {"previewBtn", {}, !loadsAsImage, nullptr}};
}

}  // namespace nimbara::browser
