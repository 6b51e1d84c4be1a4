#include "browser/pages/pr_result_view_controller.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QTableView>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "backup/backup_list.h"
#include "backup/backup_scan_readers.h"
#include "backup/contact_reader.h"
#include "backup/manifest_pass.h"
#include "backup/pages/pr_ios_device_controller.h"
#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_face_twitter_node.h"
#include "backup/pr_ios_device_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "backup/pr_photo_and_video_node.h"
#include "backup/record_notifications.h"
#include "browser/backup_outline_model.h"
#include "browser/pages/backup_files_view.h"
#include "browser/pages/deleted_row_delegate.h"
#include "browser/pages/recovery_export_sheet.h"
#include "browser/record_columns.h"
#include "platform/main_thread.h"
#include "platform/worker_reaper.h"
#include "ui/alerts.h"
#include "ui/fonts.h"
#include "ui/named_image.h"
#include "ui/progress_view.h"

namespace {

using nimbara::Notification;
using nimbara::NotificationCenter;
using nimbara::browser::ResultRecords;
using Row = PRResultViewController::CategoryRow;

const char* const kCategoryTitles[] = {"Backup files", "Contacts",  "Photos & Videos",
                                       "App files",    "Messages",  "Notes",
                                       "Call History", "Bookmarks", "Calendar"};

// The longest the GUI thread spends filing entries into the outline in one turn of the event
// loop; the rest waits for the next turn.
constexpr qint64 kOutlineSliceMs = 12;
// Entries filed between two looks at the clock.
constexpr std::size_t kOutlineClockStride = 128;

// The guide sheet's tip texts, by step.
const char* const kGuideTips[] = {
    "Step1: Reboot your iPhone or other i-device.",
    "Step2: Backup with iTunes to obtain the latest database file.",
    "Strep3: Run Nimbara and rescan.",
};

QLabel* infoLabel(const QString& name, QWidget* parent, int size = 11, bool bold = false) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setFont(nimbara::ui::appFont(size, bold));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

Row rowOfStep(nimbara::backup::ScanStepKind kind) {
    using K = nimbara::backup::ScanStepKind;
    switch (kind) {
        case K::Manifest:
            return Row::kBackupFiles;
        case K::Contacts:
            return Row::kContacts;
        case K::Messages:
            return Row::kMessages;
        case K::Notes:
            return Row::kNotes;
        case K::CallHistory:
            return Row::kCalls;
        case K::Bookmarks:
            return Row::kBookmarks;
        case K::Calendar:
            return Row::kCalendar;
    }
    return Row::kBackupFiles;
}

// Calls `take` with each record posted under `name` on `center` (on the posting thread).
template <class Node, class Take>
void observeRecord(NotificationCenter& center, nimbara::ObserverBag& bag, const char* name,
                   Take take) {
    bag.add(center.addObserver(name, [take](const Notification& n) {
        if (auto node = n.objectAs<std::shared_ptr<Node>>()) {
            take(std::move(node));
        }
    }));
}

}  // namespace

// One scan: the centre it posts on, the page's observers there, and the gate every handler
// passes. Members are destroyed in reverse: the scan thread is joined first, then the observers
// go, then the centre.
struct PRResultViewController::ScanSession {
    NotificationCenter center;
    std::mutex gate;
    bool open = true;
    int generation = 0;
    nimbara::ObserverBag observers;
    std::unique_ptr<nimbara::backup::BackupScan> scan;

    // Runs `take` while the gate is open; closing it waits for a handler inside to leave, so
    // nothing of this scan reaches the page once close() returned.
    template <class Take>
    void pass(Take&& take) {
        std::lock_guard<std::mutex> lock(gate);
        if (open) {
            take();
        }
    }
    void close() {
        std::lock_guard<std::mutex> lock(gate);
        open = false;
    }
};

PRResultViewController::PRResultViewController(nimbara::ui::PageHost& host, QObject* parent)
    : PageControllerBase(host, "PRResultViewController", QStringLiteral("Backup Browser"), parent),
      treeController_(std::make_unique<PRTreeController>()),
      outlineModel_(std::make_unique<nimbara::browser::BackupOutlineModel>(treeController_.get())),
      categoryReadable_(kCategoryRowCount, true),
      reaper_(std::make_unique<nimbara::WorkerReaper>()) {}

PRResultViewController::~PRResultViewController() {
    retireScan();
    if (outlineModel_) {
        outlineModel_->setController(nullptr);
    }
    releaseOutline(std::move(treeController_), takeWaitingEntries());
    // Nothing here waits: scans still ending (asked to stop, their gates closed) are left to a
    // reaper that outlives the page, and outlines being let go to the release runner's.
    nimbara::outliveOwner(std::move(reaper_));
}

// The entries not filed into the outline yet, all of them, leaving none behind.
std::vector<std::shared_ptr<PRTreeDirNode>> PRResultViewController::takeWaitingEntries() {
    std::vector<std::shared_ptr<PRTreeDirNode>> waiting(std::make_move_iterator(filing_.begin()),
                                                        std::make_move_iterator(filing_.end()));
    filing_ = {};
    std::lock_guard<std::mutex> lock(pendingMutex_);
    waiting.insert(waiting.end(), std::make_move_iterator(pendingEntries_.begin()),
                   std::make_move_iterator(pendingEntries_.end()));
    pendingEntries_ = {};
    return waiting;
}

// Letting go of a large outline frees hundreds of thousands of nodes: that is done in the
// background. With `handBack` (the page let go of its results, the scan's records included) the
// memory freed is then handed back to the system, which malloc would keep for the process. A
// release runs to its end even once a later one took the runner over (it does not look at its
// stop check). Nothing may show the outline any more.
void PRResultViewController::releaseOutline(std::unique_ptr<PRTreeController> outline,
                                            std::vector<std::shared_ptr<PRTreeDirNode>> entries,
                                            bool handBack) {
    if ((!outline || outline->content().empty()) && entries.empty()) {
        return;  // nothing to speak of
    }
    struct Released {
        std::unique_ptr<PRTreeController> outline;
        std::vector<std::shared_ptr<PRTreeDirNode>> entries;
    };
    auto released = std::make_shared<Released>(Released{std::move(outline), std::move(entries)});
    releases_.replace([released, handBack](const nimbara::JobRunner::StopCheck&,
                                           const nimbara::JobRunner::Post&) {
        released->entries.clear();
        released->outline.reset();
#ifdef __GLIBC__
        if (handBack) {
            malloc_trim(0);
        }
#endif
    });
}

bool PRResultViewController::isScanning() const {
    return session_ && session_->scan && session_->scan->isRunning();
}

std::size_t PRResultViewController::endingScans() const {
    return reaper_->pending();
}

// Closes the current scan's gate, asks it to stop and hands it to the reaper: the GUI thread
// never waits for it to end.
void PRResultViewController::retireScan() {
    std::shared_ptr<ScanSession> session = std::move(session_);
    session_.reset();
    if (!session) {
        return;
    }
    session->close();
    session->scan->requestStop();
    if (!session->scan->isRunning()) {
        return;  // ended (or never started): released here, its join returns at once
    }
    ScanSession* ending = session.get();
    reaper_->retire(std::move(session), [ending] { return !ending->scan->isRunning(); });
}

// Every handler runs on the scan thread: it keeps the record and asks the GUI thread to show it.
void PRResultViewController::observeScan(ScanSession& session) {
    namespace nb = nimbara::backup;
    ScanSession* const gate = &session;
    auto keep = [this, gate](auto add) {
        return [this, gate, add](auto node) {
            gate->pass([&] {
                (records_.*add)(std::move(node));
                requestRefresh();
            });
        };
    };
    auto& bag = session.observers;
    auto& center = session.center;
    observeRecord<PRPhotoAndVideoNode>(center, bag, nb::kScanPhotoAndVideoNotification,
                                       keep(&ResultRecords::addPhotoAndVideo));
    observeRecord<PRContactNode>(center, bag, nb::kScanContactInfo,
                                 keep(&ResultRecords::addContact));
    observeRecord<PRMessageNode>(center, bag, nb::kScanMessageInfo,
                                 keep(&ResultRecords::addMessage));
    observeRecord<PRCallHistoryNode>(center, bag, nb::kScanCallHistoryInfo,
                                     keep(&ResultRecords::addCallHistory));
    observeRecord<PRNoteNode>(center, bag, nb::kScanNoteInfo, keep(&ResultRecords::addNote));
    observeRecord<PRBookMarkNode>(center, bag, nb::kScanBookMarkInfo,
                                  keep(&ResultRecords::addBookMark));
    observeRecord<PRCalenderNode>(center, bag, nb::kScanCalenderInfo,
                                  keep(&ResultRecords::addCalender));
    observeRecord<PRFaceTwitterNode>(center, bag, nb::kScanFaceTwitterNotification,
                                     keep(&ResultRecords::addFaceTwitter));
    observeRecord<PRMessageNode>(center, bag, nb::kScanDelMessageInfo,
                                 keep(&ResultRecords::addDeletedMessage));
    observeRecord<PRContactNode>(center, bag, nb::kScanDelContactInfo,
                                 keep(&ResultRecords::addDeletedContact));
    observeRecord<PRNoteNode>(center, bag, nb::kScanDelNoteInfo,
                              keep(&ResultRecords::addDeletedNote));
    observeRecord<PRCallHistoryNode>(center, bag, nb::kScanDelCallHistoryInfo,
                                     keep(&ResultRecords::addDeletedCallHistory));
    observeRecord<PRBookMarkNode>(center, bag, nb::kScanDelBookMarkInfo,
                                  keep(&ResultRecords::addDeletedBookMark));
    observeRecord<PRCalenderNode>(center, bag, nb::kScanDelCalenderInfo,
                                  keep(&ResultRecords::addDeletedCalender));

    // Backup file entries join the outline on the GUI thread, in arrival order; an entry without
    // a path has no place in it.
    observeRecord<PRTreeDirNode>(center, bag, nb::kFindBackupFileNotification,
                                 [this, gate](auto node) {
                                     if (node->filePath().isEmpty()) {
                                         return;
                                     }
                                     gate->pass([&] {
                                         {
                                             std::lock_guard<std::mutex> lock(pendingMutex_);
                                             pendingEntries_.push_back(std::move(node));
                                         }
                                         requestRefresh();
                                     });
                                 });
    const int generation = session.generation;
    bag.add(center.addObserver(
        nb::kScanProgressNotification, [this, gate, generation](const Notification& n) {
            const int percent = std::clamp(n.objectAs<int>(0), 0, 100);
            gate->pass([&] {
                QPointer<PRResultViewController> self(this);
                nimbara::postToMain([self, percent, generation] {
                    if (self && self->generation_ == generation && !self->scanFinished_) {
                        self->progress_ = percent;
                        self->refreshOnMain();
                    }
                });
            });
        }));
}

// Widgets.

void PRResultViewController::viewShown() {
    if (!resultView) {
        buildResultView();
    }
}

void PRResultViewController::buildResultView() {
    QWidget* root = view();
    auto* stack = qobject_cast<QStackedLayout*>(root->layout());

    resultView = new QWidget(root);
    resultView->setObjectName(QStringLiteral("resultView"));
    auto* layout = new QVBoxLayout(resultView);

    auto* top = new QHBoxLayout();
    auto* pickCaption = infoLabel(QStringLiteral("backupPopCaptionlab"), resultView);
    pickCaption->setText(QStringLiteral("Backup:"));
    top->addWidget(pickCaption);
    backupPopBtn = new QComboBox(resultView);
    backupPopBtn->setObjectName(QStringLiteral("backupPopBtn"));
    backupPopBtn->setMinimumWidth(260);
    connect(backupPopBtn, qOverload<int>(&QComboBox::activated), this, [this](int) {
        if (!fillingPopup_) {
            actSelectBackUpBtn(backupPopBtn);
        }
    });
    top->addWidget(backupPopBtn);
    top->addSpacing(16);
    auto* info = new QGridLayout();
    backupNameInfolab = infoLabel(QStringLiteral("backupNameInfolab"), resultView);
    backupSerialInfolab = infoLabel(QStringLiteral("backupSerialInfolab"), resultView);
    deviceTypeInfolab = infoLabel(QStringLiteral("deviceTypeInfolab"), resultView);
    iOSTypeInfolab = infoLabel(QStringLiteral("iOSTypeInfolab"), resultView);
    backupDateInfolab = infoLabel(QStringLiteral("backupDateInfolab"), resultView);
    info->addWidget(backupNameInfolab, 0, 0);
    info->addWidget(deviceTypeInfolab, 0, 1);
    info->addWidget(iOSTypeInfolab, 0, 2);
    info->addWidget(backupSerialInfolab, 1, 0);
    info->addWidget(backupDateInfolab, 1, 1, 1, 2);
    top->addLayout(info, 1);
    layout->addLayout(top);

    auto* progressRow = new QHBoxLayout();
    scanProgressor = new PRProgressView(resultView);
    scanProgressor->setObjectName(QStringLiteral("scanProgressor"));
    scanProgressor->setMinimumHeight(14);
    progressTextField = infoLabel(QStringLiteral("progressTextField"), resultView);
    progressTextField->setMinimumWidth(40);
    scanInfolab = infoLabel(QStringLiteral("scanInfolab"), resultView);
    progressRow->addWidget(scanProgressor, 1);
    progressRow->addWidget(progressTextField);
    layout->addLayout(progressRow);
    auto* infoRow = new QHBoxLayout();
    infoRow->addWidget(scanInfolab, 1);
    getLogBtn = new QPushButton(QStringLiteral("How to get the newest data"), resultView);
    getLogBtn->setObjectName(QStringLiteral("getLogBtn"));
    getLogBtn->setEnabled(false);
    connect(getLogBtn, &QPushButton::clicked, this, [this] { clickGetLog(getLogBtn); });
    infoRow->addWidget(getLogBtn);
    addLinkButtons(resultView, infoRow);
    layout->addLayout(infoRow);
    incompleteNoticelab = infoLabel(QStringLiteral("incompleteNoticelab"), resultView);
    incompleteNoticelab->setWordWrap(true);
    incompleteNoticelab->setText(
        QStringLiteral("This backup is incomplete: some of the files it lists are not stored in "
                       "it, so their records cannot be shown."));
    incompleteNoticelab->hide();
    layout->addWidget(incompleteNoticelab);

    auto* body = new QHBoxLayout();
    categoryList = new QListWidget(resultView);
    categoryList->setObjectName(QStringLiteral("categoryList"));
    categoryList->setFixedWidth(200);
    categoryList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    categoryList->setFont(nimbara::ui::appFont(12));
    for (int row = 0; row < kCategoryRowCount; ++row) {
        categoryList->addItem(QString::fromLatin1(kCategoryTitles[row]));
    }
    connect(categoryList, &QListWidget::currentRowChanged, this,
            [this](int row) { showCategory(row); });
    // The search field heads the categories; it narrows the list of the one shown.
    auto* side = new QVBoxLayout();
    side->addWidget(buildSearchField(resultView));
    side->addWidget(categoryList, 1);
    body->addLayout(side);

    CustomView = new QStackedWidget(resultView);
    CustomView->setObjectName(QStringLiteral("CustomView"));
    backupFilesView = new nimbara::browser::BackupFilesView(outlineModel_.get(), CustomView);
    connect(backupFilesView, &nimbara::browser::BackupFilesView::tickedFilesChanged, this,
            [this](quint64) { updateSelection(false); });
    treeView = backupFilesView->treeView;
    // The device folders open as they appear, showing their domains; folders below stay closed.
    connect(outlineModel_.get(), &QAbstractItemModel::rowsInserted, treeView,
            [this](const QModelIndex& parent, int first, int last) {
                if (!parent.isValid()) {
                    for (int row = first; row <= last; ++row) {
                        treeView->expand(outlineModel_->index(row, 0));
                    }
                }
            });
    CustomView->addWidget(backupFilesView);

    buildRecordTables();

    categoryNotelab = new QLabel(CustomView);
    categoryNotelab->setObjectName(QStringLiteral("categoryNotelab"));
    categoryNotelab->setAlignment(Qt::AlignCenter);
    categoryNotelab->setWordWrap(true);
    categoryNotelab->setFont(nimbara::ui::appFont(13));
    CustomView->addWidget(categoryNotelab);
    body->addWidget(CustomView, 1);
    layout->addLayout(body, 1);

    layout->addWidget(buildBottomBar(resultView));
    layout->addWidget(buildCountGrid(resultView));

    emptyView = new QWidget(root);
    emptyView->setObjectName(QStringLiteral("emptyView"));
    auto* emptyLayout = new QVBoxLayout(emptyView);
    emptyLayout->addStretch(1);
    emptyTextlab = new QLabel(emptyView);
    emptyTextlab->setObjectName(QStringLiteral("emptyTextlab"));
    emptyTextlab->setAlignment(Qt::AlignCenter);
    emptyTextlab->setWordWrap(true);
    emptyTextlab->setFont(nimbara::ui::appFont(13));
    emptyLayout->addWidget(emptyTextlab);
    emptyBackupBtn = new QPushButton(QStringLiteral(" Backup "), emptyView);
    emptyBackupBtn->setObjectName(QStringLiteral("emptyBackupBtn"));
    connect(emptyBackupBtn, &QPushButton::clicked, this,
            [this] { host().navigateTo(nimbara::ui::PageHost::Destination::BackupNow); });
    emptyLayout->addWidget(emptyBackupBtn, 0, Qt::AlignHCenter);
    emptyLayout->addStretch(1);

    stack->addWidget(resultView);
    stack->addWidget(emptyView);
    stack->setCurrentWidget(resultView);
    categoryList->setCurrentRow(kContacts);
}

// Found and deleted counts of the five record families the labels cover: one column a family,
// found above deleted, in the order of countLabelTexts.
QWidget* PRResultViewController::buildCountGrid(QWidget* parent) {
    auto* box = new QWidget(parent);
    box->setObjectName(QStringLiteral("countView"));
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(24);
    auto* foundCaption = infoLabel(QStringLiteral("foundCaptionlab"), box);
    foundCaption->setText(QStringLiteral("Found"));
    auto* deletedCaption = infoLabel(QStringLiteral("deletedCaptionlab"), box);
    deletedCaption->setText(QStringLiteral("Deleted"));
    grid->addWidget(foundCaption, 0, 0);
    grid->addWidget(deletedCaption, 1, 0);
    QLabel** const outlets[] = {
        &photovideoNumlab, &delPhotovideoNumlab, &contactNumlab, &delContactNumlab, &messageNumlab,
        &delMessageNumlab, &noteNumlab,          &delNoteNumlab, &callNumlab,       &delCallNumlab};
    const auto entries = nimbara::browser::countLabelTexts({});
    for (std::size_t i = 0; i < entries.size(); ++i) {
        QLabel* label = infoLabel(QString::fromLatin1(entries[i].name), box, 12, /*bold=*/true);
        *outlets[i] = label;
        countLabels_.push_back(label);
        grid->addWidget(label, static_cast<int>(i % 2), static_cast<int>(i / 2) + 1);
    }
    grid->setColumnStretch(6, 1);
    return box;
}

void PRResultViewController::showCounts(const nimbara::browser::ResultCounters& counters) {
    const auto entries = nimbara::browser::countLabelTexts(counters);
    for (std::size_t i = 0; i < entries.size() && i < countLabels_.size(); ++i) {
        countLabels_[i]->setText(entries[i].text);
    }
}

void PRResultViewController::fillInfo(const std::shared_ptr<PRIOSDeviceNode>& node) {
    if (!node) {
        return;
    }
    backupNameInfolab->setText(QStringLiteral("Name: %1").arg(node->strDeviceName()));
    backupSerialInfolab->setText(QStringLiteral("Serial: %1").arg(node->strDeviceSerial()));
    const QString type = node->strDeviceType();
    deviceTypeInfolab->setText(
        QStringLiteral("Type: %1").arg(type.isEmpty() ? QStringLiteral("Unknown") : type));
    iOSTypeInfolab->setText(QStringLiteral("iOS: %1").arg(node->strIOSVersion()));
    backupDateInfolab->setText(QStringLiteral("Backup date: %1").arg(node->strDeviceBackUpTime()));
}

void PRResultViewController::fillPopup() {
    const PRIOSDeviceController* backups = host().localBackups();
    if (!backups) {
        return;
    }
    fillingPopup_ = true;
    backupPopBtn->clear();
    for (const auto& node : backups->content()) {
        backupPopBtn->addItem(
            QStringLiteral("%1 %2").arg(node->strDeviceName(), node->strDeviceBackUpTime()));
    }
    fillingPopup_ = false;
}

// Scans.

void PRResultViewController::resetForScan() {
    scannedNode_.reset();
    records_.clear();
    records_.resetCounters();
    // A fresh outline for the new backup; the old one, and the entries of the old scan not
    // filed yet, are let go once nothing shows them.
    auto old = std::move(treeController_);
    treeController_ = std::make_unique<PRTreeController>();
    outlineModel_->setController(treeController_.get());
    releaseOutline(std::move(old), takeWaitingEntries());
    endedScan_.reset();
    progress_ = 0;
    backupFileCount_ = 0;
    incompleteNoticelab->hide();
    std::fill(categoryReadable_.begin(), categoryReadable_.end(), true);
    clearRecordTables();
    scanProgressor->setProgressValue(0.0f);
    scanProgressor->show();
    progressTextField->setText(QStringLiteral("1%"));
    progressTextField->show();
    scanInfolab->setText(QStringLiteral("Scanning the backup..."));
    scanInfolab->show();
    getLogBtn->setEnabled(false);
    homeBtn->setEnabled(false);
    saveBtn->setEnabled(false);
    checkBtn->hide();
    selectAllBtn->hide();
    showCounts({});
    scanFinished_ = false;
    refreshOnMain();
}

void PRResultViewController::showNoBackup() {
    fillingPopup_ = true;
    backupPopBtn->clear();
    backupPopBtn->addItem(QStringLiteral("No Device"));
    fillingPopup_ = false;
    scanProgressor->setProgressValue(0.0f);
    progressTextField->setText(QStringLiteral("0%"));
    scanProgressor->hide();
    progressTextField->hide();
    scanInfolab->hide();

    const bool connected = host().deviceConnected();
    nimbara::Alerts::Question question;
    if (connected) {
        question.message = QStringLiteral(
            "No backups have been found. Do you want to backup your device with Nimbara?");
        question.defaultButton = QStringLiteral(" Backup ");
        question.alternateButton = QStringLiteral("Cancel");
    } else {
        question.message = QStringLiteral(
            "No backups have been found. Please connect your iOS device to the computer and "
            "backup with Nimbara/iTunes.");
        question.defaultButton = QStringLiteral(" OK ");
    }
    emptyTextlab->setText(question.message);
    emptyBackupBtn->setVisible(connected);
    qobject_cast<QStackedLayout*>(view()->layout())->setCurrentWidget(emptyView);
    const auto answer = nimbara::Alerts::ask(view()->window(), question);
    if (connected && answer == nimbara::Alerts::Answer::Default) {
        host().navigateTo(nimbara::ui::PageHost::Destination::BackupNow);
    }
}

void PRResultViewController::scanBackup(const std::shared_ptr<PRIOSDeviceNode>& node, int index) {
    record(QStringLiteral("scanBackup(%1)").arg(argument(index)));
    view();
    if (!resultView) {
        buildResultView();
    }
    // The old scan is told to stop and left to end on its own; its gate closes first, so none
    // of its records land in the lists reset below.
    retireScan();
    ++generation_;
    currentSelect_ = index;
    resetForScan();
    if (!node) {
        scanFinished_ = true;
        showNoBackup();
        return;
    }
    qobject_cast<QStackedLayout*>(view()->layout())->setCurrentWidget(resultView);
    if (index == 0 || backupPopBtn->count() == 0) {
        fillPopup();
    }
    fillingPopup_ = true;
    backupPopBtn->setCurrentIndex(index);
    fillingPopup_ = false;
    backupPopBtn->setEnabled(false);
    fillInfo(node);
    scannedNode_ = node;
    treeController_->setDeviceName(node->strDeviceName());

    const QString why = node->unreadableReason();
    if (!why.isEmpty()) {
        showScanFailure(why);
        return;
    }
    auto session = std::make_shared<ScanSession>();
    session->generation = generation_;
    session->scan = std::make_unique<nimbara::backup::BackupScan>(&session->center);
    observeScan(*session);
    const int generation = generation_;
    QPointer<PRResultViewController> self(this);
    session->scan->setFinishedHandler(
        [self, generation](const nimbara::backup::BackupScanSummary& summary) {
            nimbara::postToMain([self, generation, summary] {
                if (self && self->generation_ == generation) {
                    self->scanEnded(summary);
                }
            });
        });
    auto records = std::make_shared<nimbara::backup::BackupScanRecords>();
    // The host's backup contacts are this scan's, and no other backup's: the list starts empty
    // and the contact step's list reaches the host on the GUI thread, through this scan's gate
    // and only while the scan is still the page's current one.
    host().setBackupContacts({});
    ScanSession* const gate = session.get();
    // (Inside the open gate the page is alive, so it can be the posted call's context.)
    records->setContactsListener(
        [this, gate, generation](const nimbara::backup::ContactList& contacts) {
            gate->pass([&] {
                nimbara::postToMain(this, [this, generation, contacts] {
                    if (generation_ == generation) {
                        host().setBackupContacts(contacts);
                    }
                });
            });
        });
    const auto plan =
        planMaker_ ? planMaker_(records) : nimbara::backup::wiredBackupScanPlan(records);
    for (const auto& step : plan.steps()) {
        categoryReadable_[rowOfStep(step.kind)] = static_cast<bool>(step.runner);
    }
    updateCategoryRows();
    session_ = session;
    if (const nimbara::Result<void> started = session->scan->start(node->backUpFilePath(), plan);
        !started) {
        session->close();
        showScanFailure(started.sentence());
    }
}

void PRResultViewController::actSelectBackUpBtn(QObject*) {
    if (!backupPopBtn) {
        return;
    }
    const int index = backupPopBtn->currentIndex();
    if (index < 0 || index == currentSelect_) {
        return;
    }
    const PRIOSDeviceController* backups = host().localBackups();
    if (!backups) {
        return;
    }
    const auto node = backups->nodeAt(index);
    if (!node) {
        return;
    }
    // The pop-up is on this page, which is on show: the chosen backup is scanned in place.
    host().chooseBackup(node);
    scanBackup(node, index);
}

void PRResultViewController::requestRefresh() {
    if (refreshQueued_.exchange(true)) {
        return;
    }
    QPointer<PRResultViewController> self(this);
    nimbara::postToMain([self] {
        if (self) {
            self->refreshQueued_.store(false);
            self->refreshOnMain();
        }
    });
}

// Files waiting entries into the outline for at most kOutlineSliceMs, and has the model insert
// the new rows; what is left waits for the next turn of the event loop, so the window stays
// responsive however fast a large backup is read.
void PRResultViewController::takeOutlineEntries() {
    QElapsedTimer slice;
    slice.start();
    bool more = true;
    while (more) {
        if (filing_.empty()) {
            std::lock_guard<std::mutex> lock(pendingMutex_);
            filing_.swap(pendingEntries_);
        }
        if (filing_.empty()) {
            more = false;
            break;
        }
        // (taken from the front: the list's blocks are let go as it is filed)
        for (std::size_t n = 0; n < kOutlineClockStride && !filing_.empty(); ++n) {
            std::shared_ptr<PRTreeDirNode> entry = std::move(filing_.front());
            filing_.pop_front();
            treeController_->addTreeNode(entry, backupfiles_ == 0);
            ++backupfiles_;
            if (entry->entryKind() != PRTreeDirNode::EntryKind::Folder) {
                ++backupFileCount_;
            }
        }
        if (slice.elapsed() >= kOutlineSliceMs) {
            break;
        }
    }
    outlineModel_->update();
    if (more) {
        requestRefresh();
    }
}

bool PRResultViewController::outlineEntriesWaiting() {
    if (!filing_.empty()) {
        return true;
    }
    std::lock_guard<std::mutex> lock(pendingMutex_);
    return !pendingEntries_.empty();
}

void PRResultViewController::refreshOnMain() {
    if (!contactTableView) {
        return;
    }
    takeOutlineEntries();
    takeNewRecords();
    if (!scanFinished_) {
        scanProgressor->setProgressValue(static_cast<float>(progress_) / 100.0f);
        progressTextField->setText(QStringLiteral("%1%").arg(progress_));
        // The category counters are zeroed when the scan ends; the labels keep their last text.
        showCounts(records_.counters());
    }
    updateCategoryRows();
    if (endedScan_ && !outlineEntriesWaiting()) {
        const nimbara::backup::BackupScanSummary summary = std::move(*endedScan_);
        endedScan_.reset();
        showScanEnd(summary);
    }
}

void PRResultViewController::updateCategoryRows() {
    const auto sizes = records_.listSizes();
    using C = nimbara::browser::RecordCategory;
    auto size = [&sizes](C c) { return sizes[static_cast<int>(c)]; };
    const int counts[] = {static_cast<int>(backupFileCount_),
                          size(C::Contact),
                          size(C::PhotoVideo),
                          size(C::FaceTwitter),
                          size(C::Message),
                          size(C::Note),
                          size(C::Call),
                          size(C::BookMark),
                          size(C::Calender)};
    for (int row = 0; row < kCategoryRowCount; ++row) {
        QString text = QString::fromLatin1(kCategoryTitles[row]);
        if (!categoryReadable_[row]) {
            text += QStringLiteral(" (not available yet)");
        } else {
            text += QStringLiteral(" (%1)").arg(counts[row]);
        }
        categoryList->item(row)->setText(text);
    }
    if (CustomView->currentWidget() == categoryNotelab) {
        showCategory(categoryList->currentRow());
    }
}

QString PRResultViewController::categoryTitle(int row) {
    if (row < 0 || row >= kCategoryRowCount) {
        return {};
    }
    return QString::fromLatin1(kCategoryTitles[row]);
}

int PRResultViewController::tickedBackupFiles() const {
    return backupFilesView ? static_cast<int>(backupFilesView->getTreeSelectedItemNum()) : 0;
}

// Exports what is ticked (not what a filter shows) into a folder the user chooses.
void PRResultViewController::actRecovery(QObject*) {
    if (!scanFinished_ || !scannedNode_) {
        return;
    }
    if (!recoveryExport_) {
        recoveryExport_ = new nimbara::browser::RecoveryExport(this);
    }
    const auto selection = nimbara::browser::exportSelectionOf(
        records_, records_.messageTreeArray(), treeController_.get(), scannedNode_->strDeviceName(),
        scannedNode_->backUpFilePath());
    recoveryExport_->startRecoveryExport(view()->window(), selection);
}

void PRResultViewController::actBackUpBoswer(QObject*) {
    if (categoryList) {
        categoryList->setCurrentRow(kBackupFiles);
        showCategory(kBackupFiles);
    }
}

// The scan thread has ended: nothing more arrives. Its end is shown once the outline has taken
// every entry it sent, a slice at a time.
void PRResultViewController::scanEnded(const nimbara::backup::BackupScanSummary& summary) {
    if (session_) {
        session_->close();
    }
    endedScan_ = summary;
    refreshOnMain();
}

void PRResultViewController::showScanEnd(const nimbara::backup::BackupScanSummary& summary) {
    scanFinished_ = true;
    updateCategoryRows();
    scanProgressor->setProgressValue(0.0f);
    scanProgressor->hide();
    progressTextField->setText(QStringLiteral("0%"));
    progressTextField->hide();
    backupPopBtn->setEnabled(true);
    getLogBtn->setEnabled(true);
    homeBtn->setEnabled(true);
    updateSelection(false);
    records_.zeroCategoryCounters();
    QStringList failures;
    for (const auto& step : summary.steps) {
        if (step.outcome == nimbara::backup::ScanStepOutcome::Failed) {
            failures << step.message;
        }
    }
    scanInfolab->setText(
        summary.stopped ? QStringLiteral("The scan was stopped.")
                        : QStringLiteral("Scan complete: %1 items found.").arg(BackUpFilesNum()));
    scanInfolab->show();
    // Files listed but not stored are not damage: a quiet line says so, no alert.
    incompleteNoticelab->setVisible(summary.incomplete());
    actBackUpBoswer(nullptr);
    if (!failures.isEmpty()) {
        nimbara::Alerts::Question question;
        question.message = QStringLiteral("Part of this backup could not be read.");
        question.informativeText = failures.join(QLatin1Char('\n'));
        question.defaultButton = QStringLiteral(" OK ");
        nimbara::Alerts::ask(view()->window(), question);
    }
}

void PRResultViewController::showScanFailure(const QString& message) {
    scanFinished_ = true;
    scanProgressor->hide();
    progressTextField->hide();
    backupPopBtn->setEnabled(true);
    scanInfolab->setText(message);
    nimbara::Alerts::Question question;
    question.message = QStringLiteral("This backup cannot be scanned.");
    question.informativeText = message;
    question.defaultButton = QStringLiteral(" OK ");
    nimbara::Alerts::ask(view()->window(), question);
}

// Guide sheet.

void PRResultViewController::buildGuideSheet() {
    QWidget* parent = view()->window();
    guidWindow = new QDialog(parent);
    guidWindow->setObjectName(QStringLiteral("guidWindow"));
    guidWindow->setWindowTitle(QStringLiteral("Get the newest data"));
    guidWindow->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(guidWindow);
    showStepBtn = new QLabel(guidWindow);
    showStepBtn->setObjectName(QStringLiteral("showStepBtn"));
    showStepBtn->setAlignment(Qt::AlignCenter);
    layout->addWidget(showStepBtn);
    showStepImageView = new QLabel(guidWindow);
    showStepImageView->setObjectName(QStringLiteral("showStepImageView"));
    showStepImageView->setAlignment(Qt::AlignCenter);
    layout->addWidget(showStepImageView);
    firstTiplab = new QLabel(guidWindow);
    firstTiplab->setObjectName(QStringLiteral("firstTiplab"));
    firstTiplab->setAlignment(Qt::AlignCenter);
    firstTiplab->setWordWrap(true);
    firstTiplab->setFont(nimbara::ui::appFont(12));
    layout->addWidget(firstTiplab);
    nextBtn = new QPushButton(guidWindow);
    nextBtn->setObjectName(QStringLiteral("nextBtn"));
    nextBtn->setFlat(true);
    connect(nextBtn, &QPushButton::clicked, this, [this] { actNextClick(nextBtn); });
    layout->addWidget(nextBtn, 0, Qt::AlignHCenter);
}

namespace {

void setImage(QLabel* label, const char* name) {
    label->setPixmap(nimbara::ui::namedImage(QString::fromLatin1(name)));
}

void setButtonImage(QPushButton* button, const char* name) {
    const QPixmap image = nimbara::ui::namedImage(QString::fromLatin1(name));
    button->setIcon(QIcon(image));
    button->setIconSize(image.size());
    button->setAccessibleName(QString::fromLatin1(name));
}

}  // namespace

void PRResultViewController::clickGetLog(QObject*) {
    record(QStringLiteral("clickGetLog"));
    if (!guidWindow) {
        buildGuideSheet();
    }
    setImage(showStepImageView, "firstSteppic");
    setImage(showStepBtn, "firstStep");
    setButtonImage(nextBtn, "nextBtn");
    firstTiplab->setText(QString::fromLatin1(kGuideTips[0]));
    currentStep_ = 0;
    guidWindow->open();
}

void PRResultViewController::actNextClick(QObject*) {
    if (!guidWindow) {
        return;
    }
    switch (currentStep_) {
        case 0:
            setImage(showStepImageView, "secondStepPic");
            setImage(showStepBtn, "secondStep");
            currentStep_ = 1;
            break;
        case 1:
            setImage(showStepImageView, "thirdSteppic");
            setImage(showStepBtn, "thirdStep");
            setButtonImage(nextBtn, "doneNom");
            currentStep_ = 2;
            break;
        default:
            setButtonImage(nextBtn, "nextBtn");
            currentStep_ = 0;
            guidWindow->close();
            break;
    }
    firstTiplab->setText(QString::fromLatin1(kGuideTips[currentStep_]));
}
