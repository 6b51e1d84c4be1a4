#include "transfer/pages/transfer_record_exports.h"

#include <QBuffer>
#include <QDebug>
#include <QImage>
#include <QPageSize>
#include <QPdfWriter>
#include <QPixmap>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QUrl>

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
#include "platform/log_categories.h"

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
    qCWarning(lcTransfer).noquote()
        << "Transfer export: a file could not be written:" << QString::fromStdString(written.error);
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
    // An attachment that could not be copied is a failure of the export, never passed over.
    attachments.copied = [&result](const PRMessageNode&, const ExportWriteResult& written) {
        count(result, written);
    };
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

constexpr int kCssPixelsPerInch = 96;

// Loads the pictures the page links into the document itself (the copy that printing lays out
// keeps them, but not the folder they are read from); those wider than `width` (device pixels)
// are drawn at that width, their shape kept.
void embedPictures(QTextDocument& document, int width) {
    QTextCursor cursor(&document);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QTextImageFormat format = fragment.charFormat().toImageFormat();
            if (!format.isValid()) {
                continue;
            }
            const QUrl name(format.name());
            const QVariant resource = document.resource(QTextDocument::ImageResource, name);
            if (!resource.isValid()) {
                continue;
            }
            document.addResource(QTextDocument::ImageResource, name, resource);
            const QImage image = resource.value<QImage>();
            const QSize size = image.isNull() ? resource.value<QPixmap>().size() : image.size();
            if (size.isEmpty() || size.width() <= width) {
                continue;
            }
            format.setWidth(width);
            format.setHeight(static_cast<qreal>(size.height()) * width / size.width());
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(format);
        }
    }
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
            const QByteArray pdf = htmlToPdf(html.strHtmlContent(), name, result.folder);
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

QPageSize::PageSizeId pdfPageSize(const QLocale& locale) {
    return locale.measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter
                                                                   : QPageSize::A4;
}

QByteArray htmlToPdf(const QString& html, const QString& title, const fs::path& folder) {
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::WriteOnly)) {
            return {};
        }
        QPdfWriter writer(&buffer);
        writer.setTitle(title);
        writer.setPageSize(QPageSize(pdfPageSize(QLocale())));
        // The page's sizes are CSS pixels, and a PDF writer's pixels are tiny by default (1200
        // to the inch): laid out at 96 to the inch, the page prints as a browser prints it (its
        // 12-pixel text is 9-point print, its headings larger).
        writer.setResolution(kCssPixelsPerInch);
        QTextDocument document;
        if (!folder.empty()) {
            // The pictures are the copies beside the page, linked by their names.
            document.setBaseUrl(
                QUrl::fromLocalFile(QString::fromStdString(folder.string()) + QLatin1Char('/')));
        }
        document.setHtml(html);
        embedPictures(document, writer.width() / 2);
        document.print(&writer);
    }
    // A document without a page is no document.
    if (!bytes.startsWith("%PDF") || !bytes.contains("/Page")) {
        return {};
    }
    return bytes;
}

}  // namespace nimbara::transfer
