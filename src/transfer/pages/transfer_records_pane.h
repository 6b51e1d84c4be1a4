// The transfer page's contacts, messages and notes: read from one backup made for them, and
// exported from their tables' context menus into the Documents folder.
//
// The first record category entered backs the device up (once per device; the host's busy mark of
// that category is on meanwhile), once the user agreed to its replacing the device's existing
// backup when there is one (a cancel starts nothing and says so). Only a backup that the tool
// finished with status 0, of the very device it was started for and newer than the start, is read:
// a failed one is reported, no older backup is read in its place, and the categories can be entered
// again. Categories entered later read the same backup without a new one. Reading runs on the
// page's worker, bound to the device (index AND serial) it was started for; each reader call has
// its own result sink. The lists are replaced, never added to. A device change (reset) stops
// everything and forgets the backup. GUI thread only.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "backup/backup_runner.h"
#include "platform/job_runner.h"
#include "transfer/pages/transfer_record_exports.h"
#include "transfer/transfer_records.h"
#include "ui/page_host.h"

class PRContactNode;
class PRTansferViewController;
class QPoint;
class QTableView;
struct TransferUi;

namespace nimbara::transfer {

// What a conversation export writes.
enum class ConversationFormat { Html, Pdf };

class TransferRecordsPane : public QObject {
  public:
    using StatusLine = std::function<void(const QString&)>;

    // `page` and `host` outlive the pane.
    TransferRecordsPane(PRTansferViewController& page, ui::PageHost& host, StatusLine status);
    ~TransferRecordsPane() override;

    // The category entries (showContact, showMessage, showNote): nothing while the category
    // loads or after it was loaded.
    void show(RecordKind kind, int deviceIndex);
    // Another device became current: stops the load and any export, forgets the backup and the
    // flags (the shell's spinners of a stopped load stop).
    void reset();
    // A device went away: what was read from it goes with it.
    void deviceDetached(int index);

    // The context menus of the three tables.
    void attachMenus(TransferUi& ui);

    // Exports into the Documents folder: the record of `row` (none when out of range), or all.
    void exportContacts(std::optional<int> row);
    void exportConversations(ConversationFormat format, std::optional<int> row);
    void exportNotes(std::optional<int> row);

    bool started(RecordKind kind) const { return started_.count(kind) != 0; }
    bool finished(RecordKind kind) const { return finished_.count(kind) != 0; }
    // A backup was made for this device and is read by later categories.
    bool bBackup() const { return !backupFolder_.isEmpty(); }
    bool loading() const { return worker_.busy(); }
    bool exporting() const { return exportWorker_.busy(); }
    std::size_t workersEnding() const { return worker_.ending() + exportWorker_.ending(); }

    // Where exports go: the user's Documents folder unless set.
    void setDocumentsFolder(std::filesystem::path folder) { documents_ = std::move(folder); }
    void setBackupSettings(backup::BackupRunSettings settings) { settings_ = std::move(settings); }
    // The outcome of the last export (for the page's tests).
    const std::optional<RecordExportResult>& lastExport() const { return lastExport_; }

  private:
    struct Target {
        int deviceIndex = -1;
        std::uint64_t deviceSerial = 0;
        bool stillAttached() const;
    };
    struct Loaded;

    void startNext();
    void loadEnded(const std::shared_ptr<Loaded>& loaded);
    void loadFailed(const QString& text);
    void startedHandle(RecordKind kind);
    void finishedHandle(RecordKind kind);
    // The host's busy mark of `kind` (its sidebar spinner) starts or stops.
    void markBusy(RecordKind kind, bool busy);
    void runExport(std::function<RecordExportResult(const std::filesystem::path&)> work);
    void showMenu(QTableView* table, const QPoint& at);
    void clearLists();

    PRTansferViewController& page_;
    ui::PageHost& host_;
    StatusLine status_;
    std::set<RecordKind> started_;
    std::set<RecordKind> finished_;
    std::vector<RecordKind> pending_;  // entered, waiting for the worker
    Target target_;
    QString udid_;
    QString deviceName_;
    QString backupFolder_;  // the checked backup read; empty: none made yet
    std::shared_ptr<const std::vector<std::shared_ptr<PRContactNode>>> contacts_;
    std::filesystem::path documents_;
    backup::BackupRunSettings settings_;
    std::optional<RecordExportResult> lastExport_;
    nimbara::JobRunner worker_;
    nimbara::JobRunner exportWorker_;
};

}  // namespace nimbara::transfer
