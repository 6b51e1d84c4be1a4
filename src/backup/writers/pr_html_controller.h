// Conversations as an HTML page of speech bubbles: sent messages green on the right, received
// ones grey on the left, picture attachments inline. The page is held in memory (a head with the
// style sheet, then fragments, then the end) and written as one UTF-8 file.
//
// Everything that comes from a backup (names, addresses, dates, message texts, attachment names,
// the title) is escaped before it enters the page: a message text is always shown as text, never
// read as markup. Attachments are copied beside the page and linked by relative addresses, so the
// page and its folder stand on their own: nothing points into the backup. The file is named after
// the conversation, made safe as a file name and numbered when taken: an earlier export is never
// replaced.
//
// One writer per page, used by one thread.
#pragma once

#include "backup/writers/export_file.h"

#include <QString>

#include <filesystem>
#include <functional>

class PRMessageNode;
class PRMessageTreeNode;

namespace nimbara::backup {
class BackupFolder;
}

class PRHtmlController {
  public:
    PRHtmlController() = default;
    PRHtmlController(const PRHtmlController&) = delete;
    PRHtmlController& operator=(const PRHtmlController&) = delete;

    // Replaces the whole page with the head: `title` (escaped) as the page's title and heading.
    void initMessageHtmlHeader(const QString& title);
    // Appends a fragment of markup as it is: callers pass markup they made, with every value from
    // a backup escaped (htmlEscaped).
    void addHtmlContent(const QString& fragment);
    // Ends the page (once) and writes it into `folder` as a new file `name` + ".html".
    nimbara::backup::ExportWriteResult writeHtmlInPath(const std::filesystem::path& folder,
                                                       const QString& name);

    // The page as it stands (ended once written).
    const QString& strHtmlContent() const { return strHtmlContent_; }

  private:
    QString strHtmlContent_;
    bool ended_ = false;
};

namespace nimbara::backup {

// `text` with &, <, >, " and ' written as character references, for text and attribute values.
QString htmlEscaped(const QString& text);
// The page title of a device's messages: "<device name>'s Message".
QString messageDocumentTitle(const QString& deviceName);
// What a conversation's page is named after: its name when that has at least 2 characters, else
// its address.
QString conversationDocumentName(const PRMessageTreeNode& conversation);

// Where a conversation's attachments are copied while its page is made.
struct ConversationAttachments {
    // The backup the attachments are read from; null: no copies are made.
    const BackupFolder* backup = nullptr;
    // The folder the copies land in.
    std::filesystem::path folder;
    // Called after each copy tried, with its outcome (the backup browser counts movie copies).
    std::function<void(const PRMessageNode&, const ExportWriteResult&)> copied;
    // When given and it says yes, no further copy is made and a running one is discarded.
    std::function<bool()> stopRequested;
};

// Adds a conversation's heading, each of its messages in order (copying picture, contact,
// location and movie attachments as `attachments` says, each linked from its message) and the
// rule after it.
void addConversationHtml(PRHtmlController& html, const PRMessageTreeNode& conversation,
                         const ConversationAttachments& attachments = {});

}  // namespace nimbara::backup

// The conversation's heading: its name and address.
void handleFatherMessageHtml(const PRMessageTreeNode& conversation, PRHtmlController& html);
// One message: the sender line (messageSenderLabel) with the date, then its attachment (left for
// a received message, right otherwise) or the text in a bubble (green on the right for "Send",
// grey on the left otherwise); with `isFarther`, a heading with the sender's name and address
// first. `attachmentCopy` names the attachment's copy beside the page: a picture is shown from
// it, any other kind linked to it. Without a copy the text is shown, with a line saying that the
// attachment could not be copied.
void handleMessageHtml(const PRMessageNode& message, PRHtmlController& html, bool isFarther,
                       const QString& attachmentCopy = QString());
