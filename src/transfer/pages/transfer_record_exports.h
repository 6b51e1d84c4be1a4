// The transfer page's record exports into the user's Documents folder: contacts as vCards into
// "Contact", conversations as HTML or PDF pages into "Message" (their attachments beside them),
// notes as one list into "Note". Every file is new: a taken name gets a number, nothing is
// replaced, and a file is written whole or not at all. A PDF that could not be made is reported,
// never written empty. Pages link the attachment copies beside them by relative addresses. Worker
// thread (the PDF is drawn with Qt's text document, no window).
#pragma once

#include <QByteArray>
#include <QLocale>
#include <QPageSize>
#include <QString>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class PRContactNode;
class PRMessageTreeNode;
class PRNoteNode;

namespace nimbara::transfer {

// The user's Documents folder.
std::filesystem::path documentsFolder();

struct RecordExportResult {
    std::filesystem::path folder;  // the export's folder; empty when it could not be made
    std::vector<std::filesystem::path> files;  // the files written
    std::size_t failures = 0;                  // files that could not be written
    QString message;  // why something failed, one line for the user; empty when all went well

    bool ok() const { return !folder.empty() && failures == 0; }
};

// What a conversation export reads besides the conversations.
struct ConversationExportSource {
    QString deviceName;        // the pages' title is "<device name>'s Message"
    std::string backupFolder;  // where attachments are copied from; empty: none
};

RecordExportResult exportContactsToDocuments(
    const std::filesystem::path& documents,
    const std::vector<std::shared_ptr<PRContactNode>>& contacts);
RecordExportResult exportConversationsHtml(
    const std::filesystem::path& documents,
    const std::vector<std::shared_ptr<PRMessageTreeNode>>& conversations,
    const ConversationExportSource& source);
RecordExportResult exportConversationsPdf(
    const std::filesystem::path& documents,
    const std::vector<std::shared_ptr<PRMessageTreeNode>>& conversations,
    const ConversationExportSource& source);
RecordExportResult exportNotesToDocuments(const std::filesystem::path& documents,
                                          const std::vector<std::shared_ptr<PRNoteNode>>& notes);

// The paper of a PDF: Letter where the locale measures in US units, A4 elsewhere.
QPageSize::PageSizeId pdfPageSize(const QLocale& locale);

// A page of HTML laid out as a PDF document titled `title`, on the paper of the current locale,
// at the page's own sizes (CSS pixels, 96 to the inch: its text is 9-point print); the pictures it
// links by relative addresses are read from `folder` and drawn at most half the page wide. Empty
// when no page came out.
QByteArray htmlToPdf(const QString& html, const QString& title,
                     const std::filesystem::path& folder = {});

}  // namespace nimbara::transfer
