#include "transfer/pages/transfer_record_exports.h"

#include <QBuffer>
#include <QDebug>
#include <QPageSize>
#include <QPdfWriter>
#include <QStandardPaths>
#include <QTextDocument>

#include <system_error>

#include "backup/backup_folder.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "backup/writers/export_file.h"
#include "backup/writers/pr_html_controller.h"
#include "backup/writers/pr_rtf_controller.h"
#include "backup/writers/pr_vcf_controller.h"
#include "backup/writers/record_formatters.h"

namespace nimbara::transfer {

namespace fs = std::filesystem;
using backup::ExportWriteResult;

namespace {

// <documents>/<name>, made where missing; the result's folder stays empty when it can't be.
RecordExportResult startExport(const fs::path& documents, const char* name) {
    RecordExportResult result;
    std::error_code ec;
    fs::create_directories(documents, ec);
    const fs::path root = fs::canonical(documents, ec);
    std::string why = ec ? ec.message() : std::string();
    if (!ec) {
        if (auto folder = backup::makeFolderInside(root, {name}, &why)) {
            result.folder = *folder;
            return result;
        }
    }
    result.message = QStringLiteral("The folder \"%1\" in Documents could not be made: %2")
                         .arg(QString::fromLatin1(name), QString::fromStdString(why));
    return result;
}

void count(RecordExportResult& result, const ExportWriteResult& written) {
    if (written) {
        result.files.push_back(written.path);
        return;
    }
    ++result.failures;
    qWarning().noquote() << "Transfer export: a file could not be written:"
                         << QString::fromStdString(written.error);
    if (result.message.isEmpty()) {
        result.message = QStringLiteral("Some files could not be written: %1")
                             .arg(QString::fromStdString(written.error));
    }
}

template <class Write>
RecordExportResult exportConversations(
    const fs::path& documents, const std::vector<std::shared_ptr<PRMessageTreeNode>>& conversations,
    const ConversationExportSource& source, Write&& write) {
    RecordExportResult result = startExport(documents, "Message");
    if (result.folder.empty()) {
        return result;
    }
    const backup::BackupFolder backup = source.backupFolder.empty()
                                            ? backup::BackupFolder()
                                            : backup::BackupFolder::open(source.backupFolder);
    backup::ConversationAttachments attachments;
    attachments.backup = backup.isOpen() ? &backup : nullptr;
    attachments.folder = result.folder;
    for (const auto& conversation : conversations) {
        if (conversation) {
            // Each conversation's own page, its attachments copied beside it.
            PRHtmlController html;
            html.initMessageHtmlHeader(backup::messageDocumentTitle(source.deviceName));
            backup::addConversationHtml(html, *conversation, attachments);
            write(result, html, backup::conversationDocumentName(*conversation));
        }
    }
    return result;
}

}  // namespace

fs::path documentsFolder() {
    return fs::path(
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString());
}

RecordExportResult exportContactsToDocuments(
    const fs::path& documents, const std::vector<std::shared_ptr<PRContactNode>>& contacts) {
    RecordExportResult result = startExport(documents, "Contact");
    if (result.folder.empty()) {
        return result;
    }
    for (const auto& contact : contacts) {
        if (contact) {
            count(result, backup::writeContactVCard(*contact, result.folder));
        }
    }
    return result;
}

RecordExportResult exportConversationsHtml(
    const fs::path& documents, const std::vector<std::shared_ptr<PRMessageTreeNode>>& conversations,
    const ConversationExportSource& source) {
    return exportConversations(
        documents, conversations, source,
        [](RecordExportResult& result, PRHtmlController& html, const QString& name) {
            count(result, html.writeHtmlInPath(result.folder, name));
        });
}

RecordExportResult exportConversationsPdf(
    const fs::path& documents, const std::vector<std::shared_ptr<PRMessageTreeNode>>& conversations,
    const ConversationExportSource& source) {
    return exportConversations(
        documents, conversations, source,
        [](RecordExportResult& result, PRHtmlController& html, const QString& name) {
            // Drawn from that conversation's page straight into memory.
            const QByteArray pdf = htmlToPdf(html.strHtmlContent(), name);
            if (pdf.isEmpty()) {
                ExportWriteResult failed;
                failed.error = "the PDF of \"" + name.toStdString() + "\" could not be made";
                count(result, failed);
                return;
            }
            count(result, backup::writeExportFile(result.folder, name, ".pdf", pdf.toStdString(),
                                                  QStringLiteral("Message")));
        });
}

RecordExportResult exportNotesToDocuments(const fs::path& documents,
                                          const std::vector<std::shared_ptr<PRNoteNode>>& notes) {
    RecordExportResult result = startExport(documents, "Note");
    if (result.folder.empty()) {
        return result;
    }
    PRRtfController rtf;
    for (const auto& note : notes) {
        if (note) {
            recoverNoteNode(*note, rtf);
        }
    }
    count(result, rtf.writeRtfInPath(result.folder, QStringLiteral("Note")));
    return result;
}

QByteArray htmlToPdf(const QString& html, const QString& title) {
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::WriteOnly)) {
            return {};
        }
        QPdfWriter writer(&buffer);
        writer.setTitle(title);
        writer.setPageSize(QPageSize(QPageSize::A4));
        QTextDocument document;
        document.setHtml(html);
        document.print(&writer);
    }
    // A document without a page is no document.
    if (!bytes.startsWith("%PDF") || !bytes.contains("/Page")) {
        return {};
    }
    return bytes;
}

}  // namespace nimbara::transfer
