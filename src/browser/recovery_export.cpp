#include "browser/recovery_export.h"

#include <QtGlobal>

#include <cstring>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <utility>

#include "backup/backup_file_tree.h"
#include "backup/backup_folder.h"
#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_face_twitter_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "backup/pr_photo_and_video_node.h"
#include "backup/pr_tree_dir_node.h"
#include "backup/writers/attachment_copy.h"
#include "backup/writers/export_file.h"
#include "backup/writers/pr_html_controller.h"
#include "backup/writers/pr_rtf_controller.h"
#include "backup/writers/pr_vcf_controller.h"
#include "backup/writers/record_formatters.h"
#include "browser/result_records.h"
#include "platform/log_categories.h"

namespace nimbara::browser {

namespace fs = std::filesystem;
using backup::ExportWriteResult;

namespace {

template <class Node>
std::vector<std::shared_ptr<Node>> ticked(const std::vector<std::shared_ptr<Node>>& list) {
    std::vector<std::shared_ptr<Node>> out;
    for (const auto& node : list) {
        if (node && node->bSelected()) {
            out.push_back(node);
        }
    }
    return out;
}

// A copy of `conversation` that keeps the messages it has now.
std::shared_ptr<PRMessageTreeNode> snapshotOf(const PRMessageTreeNode& conversation) {
    auto copy = std::make_shared<PRMessageTreeNode>();
    copy->setMessageTreeNodeName(conversation.messageTreeNodeName());
    copy->setMessageTreeNodeAdress(conversation.messageTreeNodeAdress());
    copy->setMessageNodeArray(conversation.MessageNodeArray());
    copy->setBSelected(true);
    copy->setBdeleted(conversation.bdeleted());
    copy->setHandle_id(conversation.handle_id());
    copy->setChat_id(conversation.chat_id());
    return copy;
}

// Walks the outline depth first, in order, passing by every folder that is not ticked at all
// (with everything under it); a list of its own, never recursion.
void planOutline(const std::vector<std::shared_ptr<PRTreeDirNode>>& top, RecoveryExportPlan& plan) {
    struct Pending {
        const PRTreeDirNode* folder;
        QStringList names;
    };
    std::vector<Pending> pending;
    for (auto it = top.rbegin(); it != top.rend(); ++it) {
        if (*it) {
            pending.push_back({it->get(), {}});
        }
    }
    while (!pending.empty()) {
        Pending at = std::move(pending.back());
        pending.pop_back();
        const PRTreeDirNode& folder = *at.folder;
        if (folder.isSelected() == PRTreeDirNode::kUnselected) {
            continue;
        }
        at.names.append(folder.fileName());
        // (read without making the folder's file nodes: an unopened folder has none)
        const std::size_t files = folder.fileCount();
        const auto& children = folder.children();
        if (files == 0 && children.empty() && folder.isSelected() == PRTreeDirNode::kSelected) {
            plan.treeFolders.push_back(at.names);
        }
        for (std::size_t i = 0; i < files; ++i) {
            if (folder.fileTickedAt(i) && folder.fileRecordAt(i)) {
                plan.treeFiles.push_back({folder.fileRecordAt(i), at.names});
            }
        }
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            if (*it) {
                pending.push_back({it->get(), at.names});
            }
        }
    }
}

// One safe folder name, fitted to the longest name a folder takes.
std::string folderName(const QString& name, const QString& fallback) {
    return fittedFileName(backup::safeFileStem(name, fallback), {}, {});
}

QString lastName(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

// Writes one plan; one object per run, on the worker.
class Exporter {
  public:
    Exporter(const RecoveryExportPlan& plan, RecoveryExportProgress& progress,
             const std::atomic<bool>& stop)
        : plan_(plan), progress_(progress), stop_(stop) {}

    RecoveryExportSummary run(const fs::path& root) {
        summary_.root = root;
        summary_.steps = plan_.steps();
        progress_.total.store(summary_.steps);
        std::error_code ec;
        root_ = fs::canonical(root, ec);
        if (ec || !fs::is_directory(root_, ec)) {
            fail(QString::fromStdString(root.string()),
                 QStringLiteral("The folder can't be used: %1")
                     .arg(QString::fromStdString(ec ? ec.message() : "not a folder")));
            return finish();
        }
        std::string why;
        backup_ = backup::BackupFolder::open(plan_.backupFolder.toStdString(), &why);
        if (!backup_.isOpen()) {
            qCWarning(lcBrowser, "Recovery export: the backup can't be opened: %s", why.c_str());
        }
        if (plan_.empty()) {
            return finish();  // nothing was ticked: no folder is filled with empty lists
        }
        exportFiles(
            plan_.media, QLatin1String(kPhotoVideoFolder),
            [](const PRPhotoAndVideoNode& n) { return std::pair(n.filePath(), n.fileNodeName()); });
        exportOutline();
        exportList(plan_.contacts, kContactFolder, "Contact",
                   [this](const PRContactNode& node, PRRtfController& rtf, const fs::path& folder) {
                       backup::RecordExportOptions options;
                       options.vCardFolder = folder;
                       const auto card = recoverContactNode(node, rtf, options);
                       if (card) {
                           noteWrite(*card, QLatin1String(kContactFolder) + QLatin1Char('/') +
                                                backup::vCardFileStem(node) +
                                                QLatin1String(".vcf"));
                       }
                   });
        exportConversations();
        exportRecords(plan_.notes, kNoteFolder, "Note", &recoverNoteNode);
        exportRecords(plan_.calls, kCallHistoryFolder, "CallHistory", &recoverCallHistoryNode);
        exportRecords(plan_.bookMarks, kBookMarkFolder, "BookMark", &recoverBookMarkNode);
        exportRecords(plan_.calendars, kCalendarFolder, "Calendar&Reminder", &recoverCalenderNode);
        exportFiles(plan_.social, QLatin1String(kFaceTwitterFolder),
                    [](const PRFaceTwitterNode& n) {
                        return std::pair(n.faceTwitterFilePath(), n.faceTwitterFileName());
                    });
        return finish();
    }

  private:
    bool stopped() const { return stop_.load(); }

    void step() {
        progress_.done.fetch_add(1);
        ++summary_.done;
    }

    // Reports an item that could not be exported; the log gets `detail` when given.
    void fail(const QString& item, const QString& reason, const std::string& detail = {}) {
        qCWarning(lcBrowser, "Recovery export: %s: %s", qUtf8Printable(item),
                  detail.empty() ? qUtf8Printable(reason) : detail.c_str());
        summary_.failed.push_back({item, reason});
    }

    // Counts a file written, or reports it; a write ended by a stop is neither.
    void noteWrite(const ExportWriteResult& result, const QString& item) {
        if (result.ok) {
            ++summary_.written;
        } else if (!stopped()) {
            fail(item, plainReason(result.error), result.error);
        }
    }

    // A writer's error without the target's path in front (the item names it already). Names
    // below the export folder are safe names, which hold no ":".
    QString plainReason(const std::string& error) const {
        const std::string prefix = root_.string() + "/";
        if (error.compare(0, prefix.size(), prefix) == 0) {
            const std::size_t at = error.find(": ", prefix.size());
            if (at != std::string::npos) {
                return QString::fromStdString(error.substr(at + 2));
            }
        }
        return QString::fromStdString(error);
    }

    RecoveryExportSummary finish() {
        summary_.stopped = stopped() && summary_.done < summary_.steps;
        return std::move(summary_);
    }

    // The folder root/names..., made level by level. Each level must be a real folder (not a
    // link, not a file) and the result must lie under the export folder; otherwise nullopt with
    // the reason in `why`.
    std::optional<fs::path> folderInside(const std::vector<std::string>& names, QString* why) {
        std::string key;
        for (const std::string& name : names) {
            key += name;
            key += '/';
        }
        if (made_.count(key) != 0) {
            fs::path at = root_;
            for (const std::string& name : names) {
                at /= name;
            }
            return at;
        }
        std::string reason;
        auto at = backup::makeFolderInside(root_, names, &reason);
        if (!at) {
            *why = QString::fromStdString(reason);
            return std::nullopt;
        }
        made_.insert(key);
        return at;
    }

    // Copies the backup's stored file into `folder` under `fileName` (numbered before its
    // extension when taken).
    void copyStored(const QString& stored, const fs::path& folder, const QString& fileName,
                    const QString& item) {
        const backup::ExportNameParts parts = backup::exportNameParts(fileName);
        noteWrite(backup::copyBackupFile(backup_, stored, folder, parts.stem, parts.extension,
                                         [this] { return stopped(); }),
                  item);
    }

    // Media and social-app files: `source` gives a node's stored path and its name.
    template <class Node, class Source>
    void exportFiles(const std::vector<std::shared_ptr<Node>>& nodes, const QString& family,
                     Source source) {
        // Every family has its folder, ticked or not, so an export always has the same shape.
        if (stopped()) {
            return;
        }
        QString why;
        const auto folder = folderInside({family.toStdString()}, &why);
        if (!folder && nodes.empty()) {
            fail(family, why);
        }
        for (const auto& node : nodes) {
            if (stopped()) {
                return;
            }
            const auto [stored, name] = source(*node);
            const QString item = family + QLatin1Char('/') + name;
            if (folder) {
                copyStored(stored, *folder, name, item);
            } else {
                fail(item, why);
            }
            step();
        }
    }

    // The first level of the outline's copy: the device's folder, never one of the family
    // folders beside it.
    static std::string deviceFolderName(const QString& name) {
        const std::string safe = folderName(name, QStringLiteral("Backup Files"));
        for (const char* family :
             {kPhotoVideoFolder, kContactFolder, kMessageFolder, kNoteFolder, kCallHistoryFolder,
              kBookMarkFolder, kCalendarFolder, kFaceTwitterFolder}) {
            if (safe == family) {
                return safe + " (2)";
            }
        }
        return safe;
    }

    static std::vector<std::string> outlineFolderNames(const QStringList& names) {
        std::vector<std::string> out;
        out.reserve(static_cast<std::size_t>(names.size()));
        for (qsizetype i = 0; i < names.size(); ++i) {
            out.push_back(i == 0 ? deviceFolderName(names[i])
                                 : folderName(names[i], QStringLiteral("Untitled")));
        }
        return out;
    }

    void exportOutline() {
        if (stopped()) {
            return;
        }
        if (plan_.treeFolders.empty() && plan_.treeFiles.empty()) {
            // Nothing of the outline ticked: its device folder is still made, empty.
            QString why;
            const std::string device = deviceFolderName(plan_.deviceName);
            if (!folderInside({device}, &why)) {
                fail(QString::fromStdString(device), why);
            }
            return;
        }
        for (const QStringList& names : plan_.treeFolders) {
            if (stopped()) {
                return;
            }
            QString why;
            if (!folderInside(outlineFolderNames(names), &why)) {
                fail(names.join(QLatin1Char('/')), why);
            }
        }
        for (const PlannedTreeFile& file : plan_.treeFiles) {
            if (stopped()) {
                return;
            }
            const PRTreeDirNode& record = *file.record;
            // The file keeps its own name: ".x" and "x" stay two files.
            const QString name = lastName(record.filePath());
            const QString item = file.folders.join(QLatin1Char('/')) + QLatin1Char('/') + name;
            QString why;
            const auto folder = folderInside(outlineFolderNames(file.folders), &why);
            if (!folder) {
                fail(item, why);
            } else if (!record.isFileEntry()) {
                fail(item, QStringLiteral("a link in the backup, with no contents to copy"));
            } else if (record.storedFileKnown() && !record.isStored()) {
                fail(item, QStringLiteral("the backup lists this file but does not hold it"));
            } else {
                copyStored(record.fileKey(), *folder, name, item);
            }
            step();
        }
    }

    // A plain-text list family: `add` adds one record to the list (and may write more).
    template <class Node, class Add>
    void exportList(const std::vector<std::shared_ptr<Node>>& nodes, const char* family,
                    const char* fileType, Add add) {
        if (stopped()) {
            return;
        }
        QString why;
        const auto folder = folderInside({family}, &why);
        const QString listItem = QLatin1String(family) + QLatin1Char('/') +
                                 PRRtfController::familyFileStem(QLatin1String(fileType)) +
                                 QLatin1String(".txt");
        if (!folder) {
            fail(listItem, why);
        }
        PRRtfController rtf;
        for (const auto& node : nodes) {
            if (stopped()) {
                return;
            }
            if (folder) {
                add(*node, rtf, *folder);
            }
            step();
        }
        if (folder) {
            noteWrite(rtf.writeRtfInPath(*folder, QLatin1String(fileType)), listItem);
        }
    }

    // A family whose records go into its list alone.
    template <class Node>
    void exportRecords(const std::vector<std::shared_ptr<Node>>& nodes, const char* family,
                       const char* fileType,
                       void (*format)(const Node&, PRRtfController&,
                                      const backup::RecordExportOptions&)) {
        exportList(nodes, family, fileType,
                   [format](const Node& node, PRRtfController& rtf, const fs::path&) {
                       format(node, rtf, {});
                   });
    }

    void exportConversations() {
        if (stopped()) {
            return;
        }
        QString why;
        const auto folder = folderInside({kMessageFolder}, &why);
        const QString document = QLatin1String(kMessageFolder) + QLatin1Char('/') +
                                 QLatin1String(kConversationDocumentName) + QLatin1String(".html");
        PRHtmlController html;
        html.initMessageHtmlHeader(backup::messageDocumentTitle(plan_.deviceName));
        backup::ConversationAttachments attachments;
        attachments.backup = folder ? &backup_ : nullptr;
        if (folder) {
            attachments.folder = *folder;
        } else {
            fail(document, why);
        }
        attachments.stopRequested = [this] { return stopped(); };
        attachments.copied = [this](const PRMessageNode& message, const ExportWriteResult& r) {
            noteWrite(r, QLatin1String(kMessageFolder) + QLatin1Char('/') +
                             backup::attachmentFileName(message.attachmentPath()));
            step();
        };
        for (const auto& conversation : plan_.conversations) {
            if (stopped()) {
                return;
            }
            if (!folder) {
                // No copies can be made: their steps are taken with the conversation's.
                for (const auto& message : conversation->MessageNodeArray()) {
                    if (message && backup::keepsAttachmentCopy(*message)) {
                        step();
                    }
                }
                step();
                continue;
            }
            backup::addConversationHtml(html, *conversation, attachments);
            if (stopped()) {
                return;
            }
            step();
        }
        if (folder) {
            noteWrite(html.writeHtmlInPath(*folder, QLatin1String(kConversationDocumentName)),
                      document);
        }
    }

    const RecoveryExportPlan& plan_;
    RecoveryExportProgress& progress_;
    const std::atomic<bool>& stop_;
    fs::path root_;
    backup::BackupFolder backup_;
    std::set<std::string> made_;  // folders made (or found) so far, as "a/b/"
    RecoveryExportSummary summary_;
};

}  // namespace

ExportSelection exportSelectionOf(const ResultRecords& records,
                                  std::vector<std::shared_ptr<PRMessageTreeNode>> conversations,
                                  const PRTreeController* outline, const QString& deviceName,
                                  const QString& backupFolder) {
    ExportSelection selection;
    selection.deviceName = deviceName;
    selection.backupFolder = backupFolder;
    selection.photoAndVideoArray = records.photoAndVideoArray();
    selection.contactArray = records.contactArray();
    selection.messageTreeArray = std::move(conversations);
    selection.noteArray = records.noteArray();
    selection.callHistoryArray = records.callHistoryArray();
    selection.bookMarkArray = records.bookMarkArray();
    selection.calenderArray = records.calenderArray();
    selection.faceTwitterArray = records.faceTwitterArray();
    if (outline != nullptr) {
        selection.treeContent = outline->content();
    }
    return selection;
}

std::uint64_t RecoveryExportPlan::steps() const {
    std::uint64_t n = media.size() + treeFiles.size() + contacts.size() + notes.size() +
                      calls.size() + bookMarks.size() + calendars.size() + social.size();
    for (const auto& conversation : conversations) {
        ++n;
        for (const auto& message : conversation->MessageNodeArray()) {
            if (message && backup::keepsAttachmentCopy(*message)) {
                ++n;
            }
        }
    }
    return n;
}

RecoveryExportPlan makeRecoveryExportPlan(const ExportSelection& selection) {
    RecoveryExportPlan plan;
    plan.deviceName = selection.deviceName;
    plan.backupFolder = selection.backupFolder;
    plan.media = ticked(selection.photoAndVideoArray);
    planOutline(selection.treeContent, plan);
    plan.contacts = ticked(selection.contactArray);
    for (const auto& conversation : selection.messageTreeArray) {
        if (conversation && conversation->bSelected()) {
            plan.conversations.push_back(snapshotOf(*conversation));
        }
    }
    plan.notes = ticked(selection.noteArray);
    plan.calls = ticked(selection.callHistoryArray);
    plan.bookMarks = ticked(selection.bookMarkArray);
    plan.calendars = ticked(selection.calenderArray);
    plan.social = ticked(selection.faceTwitterArray);
    return plan;
}

int exportPercent(std::uint64_t done, std::uint64_t total) {
    if (total == 0) {
        return 0;
    }
    if (done >= total) {
        return 100;
    }
    // Widened, so done * 100 cannot overflow; the result is below 100 since done < total.
    return static_cast<int>(static_cast<unsigned __int128>(done) * 100 / total);
}

RecoveryExportSummary runRecoveryExport(const RecoveryExportPlan& plan, const fs::path& root,
                                        RecoveryExportProgress& progress,
                                        const std::atomic<bool>& stop) {
    return Exporter(plan, progress, stop).run(root);
}

RecoveryExportJob::RecoveryExportJob(RecoveryExportPlan plan, fs::path root)
    : shared_(std::make_shared<Shared>()) {
    shared_->plan = std::move(plan);
    shared_->root = std::move(root);
    shared_->progress.total.store(shared_->plan.steps());
}

RecoveryExportJob::~RecoveryExportJob() {
    requestStop();  // the queue going never waits: a running export ends on its own
}

void RecoveryExportJob::start() {
    if (shared_->started) {
        return;
    }
    shared_->started = true;
    shared_->finished.store(false);
    jobs_.post([shared = shared_](const JobQueue::StopCheck&) mutable {
        // Held here for the run, so whatever the owner left is let go on this thread.
        const std::shared_ptr<Shared> held = std::move(shared);
        RecoveryExportSummary summary =
            runRecoveryExport(held->plan, held->root, held->progress, held->stop);
        {
            std::lock_guard<std::mutex> lock(held->mutex);
            held->summary = std::move(summary);
        }
        held->finished.store(true, std::memory_order_release);  // the job's last step
    });
}

RecoveryExportSummary RecoveryExportJob::summary() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->summary;
}

}  // namespace nimbara::browser
