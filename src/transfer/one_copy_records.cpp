// The record steps of a one-click copy run: the run's own backup read with the copy readers, and
// the records written as cards, conversation pages and text lists.
#include <QDebug>

#include <memory>
#include <string>
#include <vector>

#include "backup/backup_folder.h"
#include "backup/bookmark_reader.h"
#include "backup/calendar_reader.h"
#include "backup/call_history_reader.h"
#include "backup/contact_reader.h"
#include "backup/conversations.h"
#include "backup/message_reader.h"
#include "backup/note_reader.h"
#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_note_node.h"
#include "backup/writers/attachment_copy.h"
#include "backup/writers/pr_html_controller.h"
#include "backup/writers/pr_rtf_controller.h"
#include "backup/writers/pr_vcf_controller.h"
#include "backup/writers/record_formatters.h"
#include "platform/log_categories.h"
#include "platform/notification_center.h"
#include "transfer/one_copy_steps.h"

namespace nimbara::transfer::onecopy {

namespace fs = std::filesystem;
using backup::ExportWriteResult;

namespace {

// Collects what the copy readers post on the run's own centre.
template <class Node>
void collect(NotificationCenter& center, ObserverBag& bag, const char* name,
             std::vector<std::shared_ptr<Node>>& into) {
    bag.add(center.addObserver(name, [&into](const Notification& n) {
        if (auto node = n.objectAs<std::shared_ptr<Node>>(nullptr)) {
            into.push_back(std::move(node));
        }
    }));
}

OneCopyRowEnd rowEnd(OneCopyRow row) {
    OneCopyRowEnd end;
    end.row = row;
    return end;
}

class RecordSteps {
  public:
    RecordSteps(RunContext& run, const std::string& backupFolder, OneCopyReport& report)
        : run_(run), backupFolder_(backupFolder), report_(report) {}

    OneCopyRowEnd contacts() {
        OneCopyRowEnd end = rowEnd(OneCopyRow::Contacts);
        const auto folder = target(kOneCopyContactFolder, end);
        ObserverBag bag;
        // Each card is written as its contact arrives.
        bag.add(center_.addObserver(backup::kScanTransferContactInfo, [&](const Notification& n) {
            const auto contact = n.objectAs<std::shared_ptr<PRContactNode>>(nullptr);
            if (!contact || !folder) {
                return;
            }
            count(end, PRVCFController().creatFile(*contact, *folder),
                  backup::vCardFileStem(*contact));
        }));
        const backup::ContactReadResult read =
            backup::scanTransferContactThread(backupFolder_, &center_);
        contacts_ = read.contacts;
        report_.contacts = read.contacts.size();
        return finish(end, read.addressBookFound && !read.ok, read.error);
    }

    OneCopyRowEnd messages() {
        OneCopyRowEnd end = rowEnd(OneCopyRow::Messages);
        backup::ConversationGrouping grouping;
        ObserverBag bag;
        bag.add(center_.addObserver(backup::kScanTransferMessageInfo, [&](const Notification& n) {
            if (auto message = n.objectAs<std::shared_ptr<PRMessageNode>>(nullptr)) {
                grouping.addMessage(message);
            }
        }));
        const backup::MessageReadResult read =
            backup::scanTransferMessageThread(backupFolder_, contactsForNames(), &center_);
        report_.messages = grouping.messages().size();
        report_.conversations = grouping.conversations().size();
        const auto folder = target(kOneCopyMessageFolder, end);
        if (folder) {
            const backup::BackupFolder backup = backup::BackupFolder::open(backupFolder_);
            backup::ConversationAttachments attachments;
            attachments.backup = backup.isOpen() ? &backup : nullptr;
            attachments.folder = *folder;
            attachments.stopRequested = [this] { return run_.interrupted(); };
            QString name;
            attachments.copied = [&](const PRMessageNode& message,
                                     const ExportWriteResult& written) {
                count(end, written,
                      QStringLiteral("The attachment of %1's message of %2")
                          .arg(name, message.messageDate()));
            };
            for (const auto& conversation : grouping.conversations()) {
                if (run_.interrupted()) {
                    break;
                }
                name = backup::conversationDocumentName(*conversation);
                PRHtmlController html;
                html.initMessageHtmlHeader(backup::messageDocumentTitle(run_.device().deviceName));
                backup::addConversationHtml(html, *conversation, attachments);
                count(end, html.writeHtmlInPath(*folder, name),
                      QStringLiteral("The conversation with %1").arg(name));
            }
        }
        return finish(end, read.databaseFound && !read.ok, read.error);
    }

    OneCopyRowEnd notes() {
        OneCopyRowEnd end = rowEnd(OneCopyRow::Notes);
        std::vector<std::shared_ptr<PRNoteNode>> notes;
        ObserverBag bag;
        collect(center_, bag, backup::kScanTransferNoteInfo, notes);
        const backup::NoteReadResult read = backup::scanTransferNoteThread(backupFolder_, &center_);
        report_.notes = notes.size();
        if (const auto folder = target(kOneCopyNoteFolder, end)) {
            const backup::BackupFolder backup = backup::BackupFolder::open(backupFolder_);
            PRRtfController rtf;
            for (const auto& note : notes) {
                recoverNoteNode(*note, rtf);
                // A note's picture is read from inside the backup only, and never replaces
                // another of the same name.
                const QString picture = note->noteAttachPath();
                if (!picture.isEmpty() && backup.isOpen()) {
                    count(end,
                          backup::copyBackupFile(backup, picture, *folder, note->noteAttachName(),
                                                 ".png"),
                          QStringLiteral("The picture of the note \"%1\"").arg(note->noteTitle()));
                }
            }
            count(end, rtf.writeRtfInPath(*folder, QStringLiteral("Note")),
                  QStringLiteral("The list of notes"));
        }
        return finish(end, read.databaseFound && !read.ok, read.error);
    }

    OneCopyRowEnd bookmarks() {
        OneCopyRowEnd end = rowEnd(OneCopyRow::Bookmarks);
        std::vector<std::shared_ptr<PRBookMarkNode>> marks;
        ObserverBag bag;
        collect(center_, bag, backup::kScanCopyBookMarkInfo, marks);
        const backup::BookMarkReadResult read =
            backup::scanTransferBookMarkThread(backupFolder_, &center_);
        report_.bookmarks = marks.size();
        writeList(end, kOneCopyBookMarkFolder, "BookMark", "The list of bookmarks", marks,
                  [](const PRBookMarkNode& node, PRRtfController& rtf) {
                      recoverBookMarkNode(node, rtf);
                  });
        return finish(end, read.bookmarksFound && !read.error.empty(), read.error);
    }

    OneCopyRowEnd calendar() {
        OneCopyRowEnd end = rowEnd(OneCopyRow::Calendar);
        std::vector<std::shared_ptr<PRCalenderNode>> items;
        ObserverBag bag;
        collect(center_, bag, backup::kScanCopyRemindMarkInfo, items);
        const backup::CalenderReadResult read =
            backup::scanTransferCalenderThread(backupFolder_, &center_);
        report_.calendarItems = items.size();
        writeList(end, kOneCopyCalendarFolder, "Calendar&Reminder",
                  "The list of events and reminders", items,
                  [](const PRCalenderNode& node, PRRtfController& rtf) {
                      recoverCalenderNode(node, rtf);
                  });
        return finish(end, read.databaseFound && !read.error.empty(), read.error);
    }

    OneCopyRowEnd callLogs() {
        OneCopyRowEnd end = rowEnd(OneCopyRow::CallLogs);
        std::vector<std::shared_ptr<PRCallHistoryNode>> calls;
        ObserverBag bag;
        collect(center_, bag, backup::kScanCopyCallLogInfo, calls);
        const backup::CallHistoryReadResult read =
            backup::scanTransferCallLogThread(backupFolder_, contactsForNames(), &center_);
        report_.calls = calls.size();
        writeList(end, kOneCopyCallLogFolder, "CallHistory", "The list of calls", calls,
                  [](const PRCallHistoryNode& node, PRRtfController& rtf) {
                      recoverCallHistoryNode(node, rtf);
                  });
        return finish(end, read.databaseFound && !read.ok, read.error);
    }

  private:
    // The contacts the messages and calls are named after: those read by the contacts step, or
    // read now (without cards) when that step was off.
    const backup::ContactList& contactsForNames() {
        if (!contacts_) {
            NotificationCenter quiet;
            contacts_ = backup::scanTransferContactThread(backupFolder_, &quiet).contacts;
        }
        return *contacts_;
    }

    std::optional<fs::path> target(const char* name, OneCopyRowEnd& end) {
        std::string why;
        auto folder = run_.folder(name, &why);
        if (!folder) {
            end.ok = false;
            end.message = QStringLiteral("The folder for the copies could not be made: %1")
                              .arg(QString::fromStdString(why));
        }
        return folder;
    }

    // Counts a file written, or lists `item` as not copied.
    void count(OneCopyRowEnd& end, const ExportWriteResult& written, const QString& item) {
        if (written) {
            ++end.items;
        } else {
            run_.failed(end, item, written.error);
        }
    }

    template <class Node, class Format>
    void writeList(OneCopyRowEnd& end, const char* folderName, const char* fileType,
                   const char* item, const std::vector<std::shared_ptr<Node>>& records,
                   Format&& format) {
        const auto folder = target(folderName, end);
        if (!folder) {
            return;
        }
        PRRtfController rtf;
        for (const auto& record : records) {
            format(*record, rtf);
        }
        count(end, rtf.writeRtfInPath(*folder, QString::fromLatin1(fileType)),
              QString::fromLatin1(item));
    }

    // A database that is there and could not be read fails the row (an encrypted backup).
    static OneCopyRowEnd finish(OneCopyRowEnd& end, bool unreadable, const std::string& error) {
        if (unreadable && end.ok) {
            end.ok = false;
            end.message = QStringLiteral("The backup's records could not be read.");
            qCWarning(lcTransfer).noquote() << "One-click copy:" << QString::fromStdString(error);
        }
        return end;
    }

    RunContext& run_;
    std::string backupFolder_;
    OneCopyReport& report_;
    // The run's own centre: what the readers post here reaches no other page.
    NotificationCenter center_;
    std::optional<backup::ContactList> contacts_;
};

}  // namespace

bool copyRecords(RunContext& run, const std::string& backupFolder,
                 const std::function<bool(OneCopyRow)>& isOn,
                 const std::function<void(const OneCopyRowEnd&)>& ended, OneCopyReport& report) {
    RecordSteps steps(run, backupFolder, report);
    using Step = OneCopyRowEnd (RecordSteps::*)();
    const std::pair<OneCopyRow, Step> order[] = {
        {OneCopyRow::Contacts, &RecordSteps::contacts},
        {OneCopyRow::Messages, &RecordSteps::messages},
        {OneCopyRow::Notes, &RecordSteps::notes},
        {OneCopyRow::Bookmarks, &RecordSteps::bookmarks},
        {OneCopyRow::Calendar, &RecordSteps::calendar},
        {OneCopyRow::CallLogs, &RecordSteps::callLogs},
    };
    for (const auto& [row, step] : order) {
        if (run.interrupted()) {
            return false;
        }
        if (!isOn(row)) {
            continue;
        }
        const OneCopyRowEnd end = (steps.*step)();
        if (run.interrupted()) {
            return false;
        }
        ended(end);
    }
    return true;
}

}  // namespace nimbara::transfer::onecopy
