// The recovery export: everything ticked on the backup browser's result page (media files, files
// of the backup file outline, contacts, conversations, notes, calls, bookmarks, calendar items,
// social-app files) written into a folder the user chose.
//
// Two halves. The plan is taken on the GUI thread from the ticks (bSelected of the records and
// conversations, the outline's isSelected / bSelected), never from what a filter shows: a
// ticked record the deleted-only filter hides is still exported. It holds the records it needs,
// the outline's ticked files as their manifest records (plain data), and each conversation's
// messages as they were when it was taken, so nothing the worker reads changes under it and the
// number of steps is known before the first file is written. The worker then writes the plan,
// family by family, into one folder each:
//
//   <root>/Photo&Video/<file>                       media files
//   <root>/<device>/<domain>/<folders>/<file>       files of the backup file outline
//   <root>/Contact/Contacts.txt, <name>.vcf         contacts
//   <root>/Message/Messages.html, attachment copies conversations
//   <root>/Note/Notes.txt, CallHistory/Call History.txt, BookMark/BookMark.txt,
//   <root>/Calendar&Reminder/Calendar&Reminder.txt
//   <root>/FaceBook&Twitter/<file>                  social-app files
//
// A family with nothing ticked gets no folder, so an empty plan writes nothing. Every name taken
// from the backup is made one safe name (no "/", "..", NUL; never "." or ".."); each folder is
// made level by level, refusing a link or anything that is not a folder, and must lie under the
// chosen folder; files are new files that never replace one already there (" (2)" names). Copies
// are exact: the bytes of the backup's stored file, read through the backup folder, never padded
// to a stated size; a failed copy leaves nothing behind and is reported with its reason.
#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/job_queue.h"

class PRBookMarkNode;
class PRCalenderNode;
class PRCallHistoryNode;
class PRContactNode;
class PRFaceTwitterNode;
class PRMessageTreeNode;
class PRNoteNode;
class PRPhotoAndVideoNode;
class PRTreeController;
class PRTreeDirNode;

namespace nimbara::browser {

class ResultRecords;

// Everything the result page holds of one backup; the ticks say what goes.
struct ExportSelection {
    // The backup's device name: the conversation page's title.
    QString deviceName;
    // The backup folder, as the scan was given it: every file is read from inside it.
    QString backupFolder;
    std::vector<std::shared_ptr<PRPhotoAndVideoNode>> photoAndVideoArray;
    std::vector<std::shared_ptr<PRContactNode>> contactArray;
    std::vector<std::shared_ptr<PRMessageTreeNode>> messageTreeArray;
    std::vector<std::shared_ptr<PRNoteNode>> noteArray;
    std::vector<std::shared_ptr<PRCallHistoryNode>> callHistoryArray;
    std::vector<std::shared_ptr<PRBookMarkNode>> bookMarkArray;
    std::vector<std::shared_ptr<PRCalenderNode>> calenderArray;
    std::vector<std::shared_ptr<PRFaceTwitterNode>> faceTwitterArray;
    // The backup file outline's top-level folders (GUI-thread objects).
    std::vector<std::shared_ptr<PRTreeDirNode>> treeContent;
};

// A selection of the page's full record lists, its conversations and its outline (may be null).
// GUI thread.
ExportSelection exportSelectionOf(const ResultRecords& records,
                                  std::vector<std::shared_ptr<PRMessageTreeNode>> conversations,
                                  const PRTreeController* outline, const QString& deviceName,
                                  const QString& backupFolder);

// The family folders.
inline constexpr const char* kPhotoVideoFolder = "Photo&Video";
inline constexpr const char* kContactFolder = "Contact";
inline constexpr const char* kMessageFolder = "Message";
inline constexpr const char* kNoteFolder = "Note";
inline constexpr const char* kCallHistoryFolder = "CallHistory";
inline constexpr const char* kBookMarkFolder = "BookMark";
inline constexpr const char* kCalendarFolder = "Calendar&Reminder";
inline constexpr const char* kFaceTwitterFolder = "FaceBook&Twitter";
// The conversation page in the Message folder ("Messages.html").
inline constexpr const char* kConversationDocumentName = "Messages";

// One ticked file of the backup file outline.
struct PlannedTreeFile {
    // Its manifest record: where the backup stores it, and its own name.
    std::shared_ptr<const PRTreeDirNode> record;
    // The outline's folders above it, from the device's folder down to its own.
    QStringList folders;
};

struct RecoveryExportPlan {
    QString deviceName;
    QString backupFolder;
    std::vector<std::shared_ptr<PRPhotoAndVideoNode>> media;
    // Fully ticked folders of the outline that hold nothing: made as empty folders.
    std::vector<QStringList> treeFolders;
    std::vector<PlannedTreeFile> treeFiles;
    std::vector<std::shared_ptr<PRContactNode>> contacts;
    // Copies of the ticked conversations holding the messages they had when planned.
    std::vector<std::shared_ptr<PRMessageTreeNode>> conversations;
    std::vector<std::shared_ptr<PRNoteNode>> notes;
    std::vector<std::shared_ptr<PRCallHistoryNode>> calls;
    std::vector<std::shared_ptr<PRBookMarkNode>> bookMarks;
    std::vector<std::shared_ptr<PRCalenderNode>> calendars;
    std::vector<std::shared_ptr<PRFaceTwitterNode>> social;

    // The steps the worker takes, one per: media file, outline file, contact, conversation,
    // attachment copy of a conversation's message, note, call, bookmark, calendar item and
    // social-app file. Folders are no steps.
    std::uint64_t steps() const;
    // Nothing to write at all.
    bool empty() const { return steps() == 0 && treeFolders.empty(); }
};

// The plan of what `selection` has ticked. GUI thread (the outline is read).
RecoveryExportPlan makeRecoveryExportPlan(const ExportSelection& selection);

// `done` of `total` as a whole percentage, truncated, never above 100; 0 when `total` is 0.
int exportPercent(std::uint64_t done, std::uint64_t total);

// One item that could not be exported.
struct ExportFailure {
    QString item;    // what it is, e.g. "Photo&Video/IMG_0001.JPG"
    QString reason;  // why not, one line
};

struct RecoveryExportSummary {
    std::filesystem::path root;
    // The plan's steps, and how many were taken (all of them unless stopped).
    std::uint64_t steps = 0;
    std::uint64_t done = 0;
    // Files written (lists, cards, pages and copies).
    std::uint64_t written = 0;
    std::vector<ExportFailure> failed;
    bool stopped = false;
};

// What the progress sheet reads while the worker runs; the worker alone writes it.
struct RecoveryExportProgress {
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::uint64_t> total{0};
};

// Writes `plan` into `root` (a folder made beforehand) on the calling thread, counting each
// step in `progress`, until done or `stop` is set (checked between items and within copies).
RecoveryExportSummary runRecoveryExport(const RecoveryExportPlan& plan,
                                        const std::filesystem::path& root,
                                        RecoveryExportProgress& progress,
                                        const std::atomic<bool>& stop);

// One export as the background job of its own queue (no event loop needed). The owner reads the
// counters from the GUI thread and takes the summary once finished() says so. Going away asks a
// running export to stop and never waits for it: it ends on its own.
class RecoveryExportJob {
  public:
    RecoveryExportJob(RecoveryExportPlan plan, std::filesystem::path root);
    ~RecoveryExportJob();
    RecoveryExportJob(const RecoveryExportJob&) = delete;
    RecoveryExportJob& operator=(const RecoveryExportJob&) = delete;

    // Starts the export (once).
    void start();
    void requestStop() { shared_->stop.store(true); }
    bool stopRequested() const { return shared_->stop.load(); }
    // The export has ended (or was never started): the summary is there.
    bool finished() const { return shared_->finished.load(std::memory_order_acquire); }

    std::uint64_t done() const { return shared_->progress.done.load(); }
    std::uint64_t total() const { return shared_->progress.total.load(); }
    const std::filesystem::path& root() const { return shared_->root; }
    // The summary of the run (empty before finished()).
    RecoveryExportSummary summary() const;

  private:
    // What the export shares with its owner; the job keeps it for as long as it runs.
    struct Shared {
        RecoveryExportPlan plan;
        std::filesystem::path root;
        RecoveryExportProgress progress;
        std::atomic<bool> stop{false};
        std::atomic<bool> finished{true};
        bool started = false;  // owner's thread only
        mutable std::mutex mutex;
        RecoveryExportSummary summary;
    };
    std::shared_ptr<Shared> shared_;
    JobQueue jobs_;
};

}  // namespace nimbara::browser
