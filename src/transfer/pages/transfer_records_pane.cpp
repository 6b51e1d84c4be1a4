#include "transfer/pages/transfer_records_pane.h"

#include <QMenu>
#include <QPointer>
#include <QTableView>

#include "backup/pages/backup_replace_dialog.h"
#include "backup/pages/unlock_notice.h"
#include "device/device_manager.h"
#include "device/pri_device_node.h"
#include "transfer/pages/pr_tansfer_view_controller.h"
#include "transfer/pages/transfer_ui.h"
#include "ui/save_panel.h"
#include "ui/status_line_views.h"

namespace nimbara::transfer {

namespace fs = std::filesystem;

namespace {

const QString kNoDeviceText =
    QStringLiteral("No device is connected: connect it and choose the category again.");
const QString kGoneText = QStringLiteral(
    "The device was disconnected: its contacts, messages and notes are no longer shown.");
const QString kEncryptedText =
    QStringLiteral("The backup is encrypted: its contacts, messages and notes can't be read.");
const QString kUnreadableText = QStringLiteral("Some of the backup's records could not be read.");
const QString kNotReadText = QStringLiteral(
    "The contacts, messages and notes were not read: the device's existing backup was kept.");
const QString kExportBusyText =
    QStringLiteral("An export is still running: try again when it has finished.");

// The records of `row`, or all of them when there is no row.
template <class Model>
auto chosen(const Model* model, std::optional<int> row) {
    using Rows = std::decay_t<decltype(model->content())>;
    if (!row) {
        return model->content();
    }
    Rows rows;
    if (auto record = model->rowAt(*row)) {
        rows.push_back(std::move(record));
    }
    return rows;
}

}  // namespace

// What a load hands to the GUI thread.
struct TransferRecordsPane::Loaded {
    RecordKind kind = RecordKind::Contacts;
    std::optional<backup::BackupRunResult> backup;  // the backup made for it, if one was made
    QString folder;                                 // the backup read
    TransferRecords records;
};

bool TransferRecordsPane::Target::stillAttached() const {
    return deviceSerial != 0 &&
           amd::DeviceManager::GetInstance().DeviceSerial(deviceIndex) == deviceSerial;
}

TransferRecordsPane::TransferRecordsPane(PRTansferViewController& page, ui::PageHost& host,
                                         StatusLine status)
    : QObject(&page), page_(page), host_(host), status_(std::move(status)) {}

TransferRecordsPane::~TransferRecordsPane() {
    worker_.stop();
    exportWorker_.stop();
}

// ------------------------------------------------------------------ loads

void TransferRecordsPane::show(RecordKind kind, int deviceIndex) {
    if (started(kind) || finished(kind)) {
        return;  // loading, or loaded
    }
    const std::shared_ptr<PRiDeviceNode> node = host_.currentDeviceNode();
    const Target target{deviceIndex, amd::DeviceManager::GetInstance().DeviceSerial(deviceIndex)};
    if (!node || node->deviceIndex() != deviceIndex || node->udidNumber().isEmpty() ||
        target.deviceSerial == 0) {
        status_(kNoDeviceText);
        return;
    }
    if (target_.deviceSerial != target.deviceSerial || target_.deviceIndex != deviceIndex) {
        // Nothing read for another device is kept for this one.
        reset();
        target_ = target;
    }
    udid_ = node->udidNumber();
    deviceName_ = node->deviceName();
    // The first category entered makes the backup the others read: before it takes the place of
    // the device's existing backup, the user says so.
    const backup::BackupDevice device{target_.deviceIndex, target_.deviceSerial, udid_,
                                      deviceName_};
    if (backupFolder_.isEmpty() && started_.empty()) {
        switch (
            backup::confirmBackupReplace(host_.hostWindow(), device, settings_,
                                         QStringLiteral("read its contacts, messages and notes"))) {
            case backup::BackupReplaceAnswer::GoOn:
                break;
            case backup::BackupReplaceAnswer::Cancelled:
                status_(kNotReadText);
                return;
            case backup::BackupReplaceAnswer::DeviceGone:
                status_(backup::backupReplaceDeviceGoneText());
                return;
        }
    }
    if (target_.deviceIndex != device.deviceIndex || target_.deviceSerial != device.deviceSerial) {
        return;  // the device changed while the question showed: its answer is not this one's
    }
    status_(QString());
    // Marked at once, on this thread: a second click before the worker got going starts nothing.
    started_.insert(kind);
    pending_.push_back(kind);
    startedHandle(kind);
    startNext();
}

void TransferRecordsPane::startNext() {
    if (worker_.busy() || pending_.empty()) {
        return;
    }
    const RecordKind kind = pending_.front();
    pending_.erase(pending_.begin());
    const backup::BackupDevice device{target_.deviceIndex, target_.deviceSerial, udid_,
                                      deviceName_};
    const std::string folder = backupFolder_.toStdString();
    const auto contacts = contacts_;
    const backup::BackupRunSettings settings = settings_;
    QPointer<QWidget> window = page_.transferUi().view->window();
    worker_.start(
        [this, kind, device, folder, contacts, settings, window](
            const nimbara::JobRunner::StopCheck& stop, const nimbara::JobRunner::Post& post) {
            auto loaded = std::make_shared<Loaded>();
            loaded->kind = kind;
            std::string read = folder;
            if (read.empty()) {
                // Shown on the GUI thread right after the launch, unless the load was dropped (the
                // pane going stops it).
                auto notice = [stop, window](const backup::BackupDevice&) {
                    if (!stop()) {
                        backup::EnteriPhonePassCodetoUnlockScreen(window);
                    }
                };
                loaded->backup = runCheckedBackup(backup::BackupVariant::TransferPage, device,
                                                  notice, settings, stop);
                if (!loaded->backup) {
                    return;  // stopped: nothing of it is shown
                }
                if (!loaded->backup->ok() || loaded->backup->encrypted) {
                    post([this, loaded] { loadEnded(loaded); });
                    return;
                }
                read = loaded->backup->backupFolder.toStdString();
            }
            loaded->folder = QString::fromStdString(read);
            loaded->records = readTransferRecords(read, kind, contacts.get());
            post([this, loaded] { loadEnded(loaded); });
        });
}

void TransferRecordsPane::loadEnded(const std::shared_ptr<Loaded>& loaded) {
    worker_.finish();
    if (!target_.stillAttached()) {
        loadFailed(kGoneText);
        return;
    }
    if (loaded->backup && !loaded->backup->ok()) {
        // No older backup is read in place of the one that failed.
        loadFailed(backup::backupHeadline(*loaded->backup) + QLatin1Char(' ') +
                   backup::backupDetail(*loaded->backup) +
                   QStringLiteral(" Choose the category to try again."));
        return;
    }
    if (loaded->backup && loaded->backup->encrypted) {
        loadFailed(kEncryptedText);
        return;
    }
    backupFolder_ = loaded->folder;
    // The records are read now: no view goes on saying they were not.
    ui::withdrawStatus(page_.transferUi().statuslab, kNotReadText);
    TransferRecords& records = loaded->records;
    const auto done = [this](RecordKind kind) {
        started_.erase(kind);
        finished_.insert(kind);
        finishedHandle(kind);
    };
    if (records.contacts) {
        contacts_ =
            std::make_shared<const std::vector<std::shared_ptr<PRContactNode>>>(*records.contacts);
        // Contacts read for the message senders fill the contact list too.
        if (!finished(RecordKind::Contacts)) {
            page_.UpContactDataSource(std::move(*records.contacts));
            std::erase(pending_, RecordKind::Contacts);
            done(RecordKind::Contacts);
        }
    }
    if (records.conversations) {
        page_.UpMessageDataSource(std::move(*records.conversations));
        done(RecordKind::Messages);
    }
    if (records.notes) {
        page_.UpNoteDataSource(std::move(*records.notes));
        done(RecordKind::Notes);
    }
    if (records.unreadable) {
        status_(kUnreadableText);
    }
    startNext();
}

void TransferRecordsPane::loadFailed(const QString& text) {
    worker_.stop();
    pending_.clear();
    const std::set<RecordKind> running = std::exchange(started_, {});
    for (const RecordKind kind : running) {
        finishedHandle(kind);  // the spinners stop
    }
    status_(text);
}

void TransferRecordsPane::startedHandle(RecordKind kind) {
    markBusy(kind, true);
}

void TransferRecordsPane::finishedHandle(RecordKind kind) {
    markBusy(kind, false);
}

void TransferRecordsPane::markBusy(RecordKind kind, bool busy) {
    using Mark = ui::PageHost::BusyMark;
    switch (kind) {
        case RecordKind::Contacts:
            host_.markBusy(Mark::Contacts, busy);
            return;
        case RecordKind::Messages:
            host_.markBusy(Mark::Messages, busy);
            return;
        case RecordKind::Notes:
            host_.markBusy(Mark::Notes, busy);
            return;
    }
}

void TransferRecordsPane::reset() {
    worker_.stop();
    exportWorker_.stop();
    const std::set<RecordKind> running = std::exchange(started_, {});
    for (const RecordKind kind : running) {
        finishedHandle(kind);
    }
    finished_.clear();
    pending_.clear();
    target_ = {};
    udid_.clear();
    deviceName_.clear();
    backupFolder_.clear();
    contacts_.reset();
}

void TransferRecordsPane::deviceDetached(int index) {
    if (target_.deviceIndex != index || target_.stillAttached() ||
        (started_.empty() && finished_.empty())) {
        return;
    }
    reset();
    clearLists();
    status_(kGoneText);
}

void TransferRecordsPane::clearLists() {
    page_.UpContactDataSource({});
    page_.UpMessageDataSource({});
    page_.UpNoteDataSource({});
}

// ------------------------------------------------------------------ exports

void TransferRecordsPane::exportContacts(std::optional<int> row) {
    auto contacts = chosen(page_.contactController(), row);
    runExport([contacts = std::move(contacts)](const fs::path& documents) {
        return exportContactsToDocuments(documents, contacts);
    });
}

void TransferRecordsPane::exportConversations(ConversationFormat format, std::optional<int> row) {
    auto conversations = chosen(page_.messageController(), row);
    const ConversationExportSource source{deviceName_, backupFolder_.toStdString()};
    runExport(
        [conversations = std::move(conversations), source, format](const fs::path& documents) {
            return format == ConversationFormat::Pdf
                       ? exportConversationsPdf(documents, conversations, source)
                       : exportConversationsHtml(documents, conversations, source);
        });
}

void TransferRecordsPane::exportNotes(std::optional<int> row) {
    auto notes = chosen(page_.noteController(), row);
    runExport([notes = std::move(notes)](const fs::path& documents) {
        return exportNotesToDocuments(documents, notes);
    });
}

void TransferRecordsPane::runExport(std::function<RecordExportResult(const fs::path&)> work) {
    if (exportWorker_.busy()) {
        status_(kExportBusyText);
        return;
    }
    const fs::path documents = documents_.empty() ? documentsFolder() : documents_;
    exportWorker_.start([this, documents, work = std::move(work)](
                            const nimbara::JobRunner::StopCheck&,
                            const nimbara::JobRunner::Post& post) {
        auto result = std::make_shared<RecordExportResult>(work(documents));
        post([this, result] {
            exportWorker_.finish();
            lastExport_ = *result;
            if (!result->ok()) {
                status_(result->message);
            } else {
                const std::size_t count = result->files.size();
                const QString folder = QString::fromStdString(result->folder.string());
                status_(count == 1
                            ? QStringLiteral("1 file saved in \"%1\".").arg(folder)
                            : QStringLiteral("%1 files saved in \"%2\".").arg(count).arg(folder));
            }
            if (!result->folder.empty()) {
                nimbara::ui::FileViewer::reveal(QString::fromStdString(result->folder.string()));
            }
        });
    });
}

void TransferRecordsPane::attachMenus(TransferUi& ui) {
    for (QTableView* table : {ui.contactTableView, ui.messageTableView, ui.noteTableView}) {
        table->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(table, &QWidget::customContextMenuRequested, this,
                [this, table = QPointer<QTableView>(table)](const QPoint& at) {
                    if (table) {
                        showMenu(table, at);
                    }
                });
    }
}

void TransferRecordsPane::showMenu(QTableView* table, const QPoint& at) {
    const QModelIndex clicked = table->indexAt(at);
    const std::optional<int> row =
        clicked.isValid() ? std::optional<int>(clicked.row()) : std::optional<int>(-1);
    auto* menu = new QMenu(table);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    TransferUi& ui = page_.transferUi();
    if (table == ui.contactTableView) {
        menu->addAction(QStringLiteral("Export to Documents"), this,
                        [this, row] { exportContacts(row); });
        menu->addAction(QStringLiteral("Export All to Documents"), this,
                        [this] { exportContacts(std::nullopt); });
    } else if (table == ui.messageTableView) {
        const auto add = [&](const QString& text, ConversationFormat format,
                             std::optional<int> which) {
            menu->addAction(text, this,
                            [this, format, which] { exportConversations(format, which); });
        };
        add(QStringLiteral("Export to Documents as HTML"), ConversationFormat::Html, row);
        add(QStringLiteral("Export All to Documents as HTML"), ConversationFormat::Html,
            std::nullopt);
        add(QStringLiteral("Export to Documents as PDF"), ConversationFormat::Pdf, row);
        add(QStringLiteral("Export All to Documents as PDF"), ConversationFormat::Pdf,
            std::nullopt);
    } else {
        menu->addAction(QStringLiteral("Export to Documents"), this,
                        [this, row] { exportNotes(row); });
        menu->addAction(QStringLiteral("Export All to Documents"), this,
                        [this] { exportNotes(std::nullopt); });
    }
    menu->popup(table->viewport()->mapToGlobal(at));
}

}  // namespace nimbara::transfer
