#include "browser/pages/pr_result_view_controller.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "app/alerts.h"
#include "app/quennic_app_delegate.h"
#include "backup/backup_list.h"
#include "backup/backup_scan_readers.h"
#include "backup/contact_reader.h"
#include "backup/manifest_pass.h"
#include "backup/pages/pr_ios_device_controller.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_face_twitter_node.h"
#include "backup/pr_ios_device_node.h"
#include "backup/pr_photo_and_video_node.h"
#include "platform/main_thread.h"
#include "ui/fonts.h"

namespace {

using nimbara::Notification;
using nimbara::NotificationCenter;

// Rows of the category list, in display order.
enum CategoryRow {
    kContacts,
    kPhotos,
    kAppFiles,
    kMessages,
    kNotes,
    kCalls,
    kBookmarks,
    kCalendar
};

const char* const kCategoryTitles[] = {"Contacts", "Photos & Videos", "App files", "Messages",
                                       "Notes",    "Call History",    "Bookmarks", "Calendar"};

QString categoryText(int row, int count, bool available) {
    QString text =
        QStringLiteral("%1:  %2").arg(QString::fromLatin1(kCategoryTitles[row])).arg(count);
    if (!available) {
        text += QStringLiteral("  (not available yet)");
    }
    return text;
}

QLabel* infoLabel(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setFont(nimbara::ui::appFont(11));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

}  // namespace

PRResultViewController::PRResultViewController(QObject* parent)
    : PageControllerBase("PRResultViewController", QStringLiteral("Backup Browser"), parent),
      scan_(std::make_unique<nimbara::backup::BackupScan>()) {
    auto& center = NotificationCenter::defaultCenter();
    // Posted on the scan thread: keep the records, let the GUI thread show them.
    observers_.add(
        center.addObserver(nimbara::backup::kScanContactInfo, [this](const Notification& n) {
            auto node = n.objectAs<std::shared_ptr<PRContactNode>>();
            if (!node || !accepting_.load()) {
                return;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                contacts_.push_back(std::move(node));
            }
            ++backUpFilesNum_;
            requestRefresh();
        }));
    observers_.add(center.addObserver(
        nimbara::backup::kScanPhotoAndVideoNotification, [this](const Notification& n) {
            auto node = n.objectAs<std::shared_ptr<PRPhotoAndVideoNode>>();
            if (!node || !accepting_.load()) {
                return;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                photos_.push_back(std::move(node));
            }
            ++backUpFilesNum_;
            requestRefresh();
        }));
    observers_.add(center.addObserver(
        nimbara::backup::kScanFaceTwitterNotification, [this](const Notification& n) {
            auto node = n.objectAs<std::shared_ptr<PRFaceTwitterNode>>();
            if (!node || !accepting_.load()) {
                return;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                faceTwitter_.push_back(std::move(node));
            }
            ++backUpFilesNum_;
            requestRefresh();
        }));
    observers_.add(
        center.addObserver(nimbara::backup::kScanProgressInfo, [this](const Notification& n) {
            if (!accepting_.load()) {
                return;
            }
            const int percent = std::clamp(n.objectAs<int>(0), 0, 100);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                progress_ = percent;
            }
            requestRefresh();
        }));
}

PRResultViewController::~PRResultViewController() {
    accepting_.store(false);
    scan_->requestStop();
    scan_->wait();
}

std::vector<std::shared_ptr<PRContactNode>> PRResultViewController::contactArray() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return contacts_;
}

std::vector<std::shared_ptr<PRPhotoAndVideoNode>> PRResultViewController::photoAndVideoArray()
    const {
    std::lock_guard<std::mutex> lock(mutex_);
    return photos_;
}

std::vector<std::shared_ptr<PRFaceTwitterNode>> PRResultViewController::faceTwitterArray() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return faceTwitter_;
}

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
    backupPopBtn = new QComboBox(resultView);
    backupPopBtn->setObjectName(QStringLiteral("backupPopBtn"));
    backupPopBtn->setMinimumWidth(240);
    connect(backupPopBtn, qOverload<int>(&QComboBox::activated), this, [this](int) {
        if (!fillingPopup_) {
            actSelectBackUpBtn(backupPopBtn);
        }
    });
    top->addWidget(backupPopBtn);
    auto* info = new QVBoxLayout();
    backupNameInfolab = infoLabel(QStringLiteral("backupNameInfolab"), resultView);
    backupSerialInfolab = infoLabel(QStringLiteral("backupSerialInfolab"), resultView);
    deviceTypeInfolab = infoLabel(QStringLiteral("deviceTypeInfolab"), resultView);
    iOSTypeInfolab = infoLabel(QStringLiteral("iOSTypeInfolab"), resultView);
    backupDateInfolab = infoLabel(QStringLiteral("backupDateInfolab"), resultView);
    for (QLabel* label : {backupNameInfolab, backupSerialInfolab, deviceTypeInfolab, iOSTypeInfolab,
                          backupDateInfolab}) {
        info->addWidget(label);
    }
    top->addLayout(info, 1);
    layout->addLayout(top);

    auto* progressRow = new QHBoxLayout();
    scanProgressor = new QProgressBar(resultView);
    scanProgressor->setObjectName(QStringLiteral("scanProgressor"));
    scanProgressor->setRange(0, 100);
    scanProgressor->setTextVisible(false);
    progressTextField = infoLabel(QStringLiteral("progressTextField"), resultView);
    scanInfolab = infoLabel(QStringLiteral("scanInfolab"), resultView);
    progressRow->addWidget(scanProgressor, 1);
    progressRow->addWidget(progressTextField);
    layout->addLayout(progressRow);
    layout->addWidget(scanInfolab);

    auto* body = new QHBoxLayout();
    categoryList = new QListWidget(resultView);
    categoryList->setObjectName(QStringLiteral("categoryList"));
    categoryList->setFixedWidth(260);
    for (int row = kContacts; row <= kCalendar; ++row) {
        categoryList->addItem(categoryText(row, 0, row <= kAppFiles));
    }
    body->addWidget(categoryList);
    contactTable = new QTableWidget(0, 4, resultView);
    contactTable->setObjectName(QStringLiteral("contactTable"));
    contactTable->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Phone"),
                                             QStringLiteral("E-mail"), QStringLiteral("Company")});
    contactTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    contactTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    contactTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    contactTable->horizontalHeader()->setStretchLastSection(true);
    contactTable->setColumnWidth(0, 200);
    body->addWidget(contactTable, 1);
    layout->addLayout(body, 1);

    auto* counts = new QHBoxLayout();
    contactNumlab = infoLabel(QStringLiteral("contactNumlab"), resultView);
    photovideoNumlab = infoLabel(QStringLiteral("photovideoNumlab"), resultView);
    contactNumlab->setFont(nimbara::ui::appFont(12, true));
    photovideoNumlab->setFont(nimbara::ui::appFont(12, true));
    counts->addWidget(contactNumlab);
    counts->addWidget(photovideoNumlab);
    counts->addStretch(1);
    layout->addLayout(counts);

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
    connect(emptyBackupBtn, &QPushButton::clicked, this, [] {
        if (auto* hub = QuennicAppDelegate::GetAppControllor()) {
            hub->ClickBackup(nullptr);
            hub->ClickBackupAction(nullptr);
        }
    });
    emptyLayout->addWidget(emptyBackupBtn, 0, Qt::AlignHCenter);
    emptyLayout->addStretch(1);

    stack->addWidget(resultView);
    stack->addWidget(emptyView);
    stack->setCurrentWidget(resultView);
}

void PRResultViewController::fillInfo(const std::shared_ptr<PRIOSDeviceNode>& node) {
    if (!node) {
        return;
    }
    backupNameInfolab->setText(QStringLiteral("Name: %1").arg(node->strDeviceName()));
    backupSerialInfolab->setText(QStringLiteral("Serial: %1").arg(node->strDeviceSerial()));
    const QString type = node->strDeviceType();
    deviceTypeInfolab->setText(
        QStringLiteral("Type: %1").arg(type.isNull() ? QStringLiteral("Unknown") : type));
    iOSTypeInfolab->setText(QStringLiteral("iOS: %1").arg(node->strIOSVersion()));
    backupDateInfolab->setText(QStringLiteral("Backup date: %1").arg(node->strDeviceBackUpTime()));
}

void PRResultViewController::fillPopup() {
    auto* hub = QuennicAppDelegate::GetAppControllor();
    if (!hub || !hub->GetPRIOSDeviceController()) {
        return;
    }
    fillingPopup_ = true;
    backupPopBtn->clear();
    for (const auto& node : hub->GetPRIOSDeviceController()->content()) {
        backupPopBtn->addItem(
            QStringLiteral("%1 %2").arg(node->strDeviceName(), node->strDeviceBackUpTime()));
    }
    fillingPopup_ = false;
}

void PRResultViewController::resetForScan() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        contacts_.clear();
        photos_.clear();
        faceTwitter_.clear();
        progress_ = 0;
    }
    backUpFilesNum_.store(0);
    shownContacts_ = 0;
    contactTable->setRowCount(0);
    scanProgressor->setValue(0);
    scanProgressor->show();
    progressTextField->setText(QStringLiteral("1%"));
    progressTextField->show();
    scanInfolab->setText(QStringLiteral("Scanning the backup..."));
    scanInfolab->show();
    scanFinished_ = false;
    refreshOnMain();
}

void PRResultViewController::showEmpty() {
    auto* stack = qobject_cast<QStackedLayout*>(view()->layout());
    auto* hub = QuennicAppDelegate::GetAppControllor();
    const bool connected = hub && hub->getDeviceConnected();
    emptyTextlab->setText(
        connected ? QStringLiteral("No backups have been found. Do you want to backup your device?")
                  : QStringLiteral("No backups have been found. Please connect your iOS device "
                                   "and make a backup first."));
    emptyBackupBtn->setVisible(connected);
    stack->setCurrentWidget(emptyView);
}

void PRResultViewController::scanBackup(const std::shared_ptr<PRIOSDeviceNode>& node, int index) {
    record(QStringLiteral("scanBackup(%1)").arg(argument(index)));
    view();
    if (!resultView) {
        buildResultView();
    }
    // The old scan ends before anything is reset, so none of its records land in the new lists.
    accepting_.store(false);
    scan_->requestStop();
    scan_->wait();
    ++generation_;
    currentSelect_ = index;
    resetForScan();
    if (!node) {
        backupPopBtn->clear();
        scanFinished_ = true;
        showEmpty();
        return;
    }
    auto* stack = qobject_cast<QStackedLayout*>(view()->layout());
    stack->setCurrentWidget(resultView);
    if (index == 0 || backupPopBtn->count() == 0) {
        fillPopup();
    }
    fillingPopup_ = true;
    backupPopBtn->setCurrentIndex(index);
    fillingPopup_ = false;
    backupPopBtn->setEnabled(false);
    fillInfo(node);

    const QString why = node->unreadableReason();
    if (!why.isEmpty()) {
        showScanFailure(why);
        return;
    }
    const int generation = generation_;
    QPointer<PRResultViewController> self(this);
    scan_->setFinishedHandler(
        [self, generation](const nimbara::backup::BackupScanSummary& summary) {
            nimbara::postToMain([self, generation, summary] {
                if (self && self->generation_ == generation) {
                    self->scanEnded(summary);
                }
            });
        });
    QString whyNot;
    accepting_.store(true);
    auto records = std::make_shared<nimbara::backup::BackupScanRecords>();
    if (!scan_->start(node->backUpFilePath(), nimbara::backup::wiredBackupScanPlan(records),
                      &whyNot)) {
        accepting_.store(false);
        showScanFailure(whyNot);
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
    auto* hub = QuennicAppDelegate::GetAppControllor();
    if (!hub || !hub->GetPRIOSDeviceController()) {
        return;
    }
    const auto node = hub->GetPRIOSDeviceController()->nodeAt(index);
    if (!node) {
        return;
    }
    hub->setCurrentNode(node);
    bool iOS7 = false;
    hub->setCurrentNodeIsiOS6Version(
        nimbara::backup::iosVersionIsIOS6OrLater(node->strIOSVersion(), &iOS7));
    hub->setBIOS7DeviceNode(iOS7);
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

void PRResultViewController::refreshOnMain() {
    if (!contactTable) {
        return;
    }
    std::vector<std::shared_ptr<PRContactNode>> fresh;
    int progress = 0;
    int photos = 0;
    int appFiles = 0;
    int contacts = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        contacts = static_cast<int>(contacts_.size());
        if (shownContacts_ < contacts) {
            fresh.assign(contacts_.begin() + shownContacts_, contacts_.end());
        }
        progress = progress_;
        photos = static_cast<int>(photos_.size());
        appFiles = static_cast<int>(faceTwitter_.size());
    }
    for (const auto& contact : fresh) {
        const int row = contactTable->rowCount();
        contactTable->insertRow(row);
        const QString cells[] = {contact->contactName(), contact->contactPhone(),
                                 contact->contactEmail(), contact->contactCompany()};
        for (int column = 0; column < 4; ++column) {
            contactTable->setItem(row, column, new QTableWidgetItem(cells[column]));
        }
    }
    shownContacts_ = contacts;
    if (!scanFinished_) {
        scanProgressor->setValue(progress);
        progressTextField->setText(QStringLiteral("%1%").arg(progress));
    }
    contactNumlab->setText(QStringLiteral("Contacts:  %1").arg(contacts));
    photovideoNumlab->setText(QStringLiteral("Photo&Video:  %1").arg(photos));
    categoryList->item(kContacts)->setText(categoryText(kContacts, contacts, true));
    categoryList->item(kPhotos)->setText(categoryText(kPhotos, photos, true));
    categoryList->item(kAppFiles)->setText(categoryText(kAppFiles, appFiles, true));
}

void PRResultViewController::scanEnded(const nimbara::backup::BackupScanSummary& summary) {
    accepting_.store(false);
    scanFinished_ = true;
    refreshOnMain();
    scanProgressor->setValue(0);
    scanProgressor->hide();
    progressTextField->setText(QStringLiteral("0%"));
    progressTextField->hide();
    backupPopBtn->setEnabled(true);
    QStringList failures;
    for (const auto& step : summary.steps) {
        const int row = step.kind == nimbara::backup::ScanStepKind::Messages      ? kMessages
                        : step.kind == nimbara::backup::ScanStepKind::Notes       ? kNotes
                        : step.kind == nimbara::backup::ScanStepKind::CallHistory ? kCalls
                        : step.kind == nimbara::backup::ScanStepKind::Bookmarks   ? kBookmarks
                        : step.kind == nimbara::backup::ScanStepKind::Calendar    ? kCalendar
                                                                                  : -1;
        if (row >= 0) {
            categoryList->item(row)->setText(categoryText(
                row, 0, step.outcome != nimbara::backup::ScanStepOutcome::NotAvailable));
        }
        if (step.outcome == nimbara::backup::ScanStepOutcome::Failed) {
            failures << QStringLiteral("%1: %2").arg(nimbara::backup::scanStepTitle(step.kind),
                                                     step.message);
        }
    }
    scanInfolab->setText(
        summary.stopped ? QStringLiteral("The scan was stopped.")
                        : QStringLiteral("Scan complete: %1 items found.").arg(BackUpFilesNum()));
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
