#include "transfer/pages/transfer_app_pane.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLayout>
#include <QPixmap>
#include <QSplitter>
#include <QTableView>
#include <QTreeView>

#include <filesystem>
#include <utility>

#include "cleanup/pages/clean_view_ui.h"
#include "device/device_manager.h"
#include "filemanager/storage_preview.h"
#include "platform/notification_center.h"
#include "ui/fonts.h"
#include "ui/named_image.h"
#include "ui/view_helpers.h"
#include "ui/window_builders.h"

namespace nimbara::transfer {

namespace {

constexpr const char* kAppFinished = "AppScanFinished";
constexpr int kPreviewSide = 512;
constexpr int kInfoPoints = 11;

const QString kNoDeviceText = QStringLiteral("Connect a device to see its apps.");
const QString kReadingText = QStringLiteral("Reading the device's apps…");
const QString kWalkingText = QStringLiteral("Reading the files of %1…");
const QString kGoneText = QStringLiteral("The device went away: its apps are no longer shown.");
const QString kRetryText = QStringLiteral(" Choose Apps to try again.");

bool isPictureType(const QString& type) {
    for (const char* kind : {"jpg", "png", "jpeg", "gif"}) {
        if (type.compare(QLatin1String(kind), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

// Worker thread: the picture of a preview copy, fitted into the preview box (null when it is
// no picture the program reads).
QImage previewImageOf(const QString& path, const QString& type) {
    if (!isPictureType(type)) {
        return {};
    }
    QImage image(path);
    if (image.isNull()) {
        return {};
    }
    if (image.width() > kPreviewSide || image.height() > kPreviewSide) {
        image =
            image.scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}

QString appCountText(std::size_t count) {
    return count == 1 ? QStringLiteral("1 app") : QStringLiteral("%1 apps").arg(count);
}

}  // namespace

bool AppOutlineModel::hasChildren(const QModelIndex& parent) const {
    if (parent.isValid() && !parent.parent().isValid()) {
        const auto app = folderAt(parent);
        if (app && !app->bExpand()) {
            return true;  // its container is walked when it is opened
        }
    }
    return nimbara::ui::PRAppOutlineModel::hasChildren(parent);
}

TransferAppPane::TransferAppPane(ui::PageHost& host, QObject* parent)
    : QObject(parent), host_(host) {
    outline_ = new AppOutlineModel(&appTreeController_.plainTree(), this);
    appFileController_ = new nimbara::ui::PRAppEntriesModel(&appTreeController_.plainTree(), this);
    appTreeController_.setRefreshCallback([this] { refreshOutlineView(); });
    files_ = new TransferAppFileActions(
        {appTreeController_, *outline_, *appFileController_, [this] { return target_; },
         [this](const QString& text) { setInfo(text); },
         [this](const std::shared_ptr<PRAppFileTreeNode>& file) { fileChanged(file); }},
        this);
}

TransferAppPane::~TransferAppPane() {
    delete files_;
    listWorker_.stop();
    walkWorker_.stop();
    previewWorker_.stop();
    // The models go before the tree they watch.
    delete outline_;
    delete appFileController_;
}

void TransferAppPane::attach(QWidget* appView) {
    using nimbara::ui::build::makeImageView;
    using nimbara::ui::build::makeLabel;
    using nimbara::ui::build::named;
    auto* layout = qobject_cast<QBoxLayout*>(appView->layout());
    appInfolab_ = makeLabel(appView, "appInfolab", QString(), kInfoPoints);
    appInfolab_->setWordWrap(true);
    auto* split = new QSplitter(Qt::Horizontal, appView);
    appOutlineView_ = named(new QTreeView(split), "appOutlineView");
    appOutlineView_->setHeaderHidden(true);
    appOutlineView_->setFont(nimbara::ui::appFont(kInfoPoints));
    appOutlineView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    appOutlineView_->setIconSize(QSize(20, 20));
    appOutlineView_->setMinimumWidth(200);
    appOutlineView_->setModel(outline_);
    // Several files can be chosen at once: the file menu deletes and exports them together.
    appTableView_ = cleanview::makeTable(split, "appTableView", true);
    appTableView_->setModel(appFileController_);
    appTableView_->setColumnWidth(0, 180);
    appImageView_ = makeImageView(split, "appImageView", QStringLiteral("document"));
    appImageView_->setMinimumWidth(180);
    appImageView_->setAlignment(Qt::AlignCenter);
    appImageView_->setScaledContents(false);
    split->addWidget(appOutlineView_);
    split->addWidget(appTableView_);
    split->addWidget(appImageView_);
    split->setSizes({220, 360, 200});
    // A wider window widens the files' table, not the picture beside it.
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setStretchFactor(2, 0);
    if (layout != nullptr) {
        layout->addWidget(appInfolab_);
        layout->addWidget(split, 1);
    }
    connect(appOutlineView_, &QTreeView::expanded, this, [this](const QModelIndex& index) {
        if (const auto node = outline_->folderAt(index)) {
            outlineViewShouldExpandItem(node);
        }
    });
    connect(appOutlineView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { outlineViewSelectionDidChange(); });
    connect(appTableView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { tableViewSelectionDidChange(); });
    files_->attach(appOutlineView_, appTableView_);
    setInfo(QString());
}

void TransferAppPane::setInfo(const QString& text) {
    if (appInfolab_ != nullptr) {
        appInfolab_->setText(text);
        appInfolab_->setVisible(!text.isEmpty());
    }
}

void TransferAppPane::setPreviewInfo(const QString& text) {
    // Only the preview's own line goes: what a file job said stays.
    if (!text.isEmpty() || infoText() == previewInfo_) {
        setInfo(text);
    }
    previewInfo_ = text;
}

QString TransferAppPane::infoText() const {
    return appInfolab_ != nullptr ? appInfolab_->text() : QString();
}

bool TransferAppPane::busy() const {
    return listWorker_.busy() || walkWorker_.busy() || previewWorker_.busy() || files_->busy();
}

// ------------------------------------------------------------------ the app list

void TransferAppPane::ShowApp(int deviceIndex) {
    if (started_ || finished_) {
        return;  // loading, or loaded
    }
    const amd::DeviceTarget target{deviceIndex,
                                   amd::DeviceManager::GetInstance().DeviceSerial(deviceIndex)};
    if (target.deviceSerial == 0) {
        setInfo(kNoDeviceText);
        return;
    }
    // Marked at once: a second click before the worker got going starts nothing.
    started_ = true;
    target_ = target;
    clearAll();
    setInfo(kReadingText);
    host_.markBusy(ui::PageHost::BusyMark::Apps, true);
    listWorker_.start([this, target](const nimbara::JobRunner::StopCheck& stop,
                                     const nimbara::JobRunner::Post& post) {
        auto result = std::make_shared<AppListResult>(listTransferApps(target, stop));
        post([this, result] { listEnded(result); });
    });
}

void TransferAppPane::listEnded(std::shared_ptr<AppListResult> result) {
    listWorker_.finish();
    if (result->status != AppLoadStatus::Done || !target_.stillAttached()) {
        loadFailed(result->status == AppLoadStatus::Done ? kGoneText : result->message);
        return;
    }
    // The list is replaced, never added to.
    appTreeController_.clear();
    appFileController_->setFolder(nullptr);
    for (const AppDir& app : result->apps) {
        appTreeController_.addTreeNode(app);
    }
    started_ = false;
    finished_ = true;
    setInfo(result->apps.empty() ? QStringLiteral("The device has no apps of its own.")
                                 : appCountText(result->apps.size()) +
                                       QStringLiteral(": open an app to see its files."));
    nimbara::NotificationCenter::defaultCenter().post(kAppFinished);
}

void TransferAppPane::loadFailed(const QString& text) {
    const bool wasLoading = started_;
    listWorker_.stop();
    walkWorker_.stop();
    previewWorker_.stop();
    files_->stop();
    started_ = false;
    finished_ = false;
    clearAll();
    setInfo(text.isEmpty() ? QString() : text + kRetryText);
    if (wasLoading) {
        // The spinner of the stopped load never stays on.
        nimbara::NotificationCenter::defaultCenter().post(kAppFinished);
    }
}

void TransferAppPane::refreshOutlineView() {
    if (!finished_ && appOutlineView_ != nullptr) {
        appOutlineView_->collapseAll();
    }
}

// ------------------------------------------------------------------ container walks

void TransferAppPane::outlineViewShouldExpandItem(const AppDir& node) {
    if (!node || node->bExpand() || !finished_ ||
        appTreeController_.plainTree().parentOf(node.get()) != nullptr) {
        return;  // walked (or being walked) already, or no app
    }
    node->setBExpand(true);
    pendingWalks_.push_back(node);
    startNextWalk();
}

void TransferAppPane::startNextWalk() {
    if (walkWorker_.busy() || pendingWalks_.empty()) {
        return;
    }
    AppDir app = pendingWalks_.front();
    pendingWalks_.pop_front();
    ++walksStarted_;
    setInfo(kWalkingText.arg(app->fileDirName()));
    const amd::DeviceTarget target = target_;
    walkWorker_.start([this, target, app](const nimbara::JobRunner::StopCheck& stop,
                                          const nimbara::JobRunner::Post& post) {
        auto result = std::make_shared<ContainerWalkResult>(
            walkAppContainer(target, *app, stop, [this, &post](std::vector<AppDir> records) {
                auto batch = std::make_shared<std::vector<AppDir>>(std::move(records));
                post([this, batch] { addRecords(*batch); });
            }));
        post([this, app, result] { walkEnded(app, result); });
    });
}

void TransferAppPane::addRecords(const std::vector<AppDir>& records) {
    for (const AppDir& record : records) {
        appTreeController_.addTreeNode(record);
    }
}

void TransferAppPane::walkEnded(const AppDir& app, std::shared_ptr<ContainerWalkResult> result) {
    walkWorker_.finish();
    switch (result->status) {
        case AppLoadStatus::Done:
            setInfo(result->files == 0 && result->folders == 0
                        ? QStringLiteral("%1 has no files.").arg(app->fileDirName())
                        : QString());
            break;
        case AppLoadStatus::Refused:
            // Not tried again: the device answers the same.
            setInfo(result->message);
            break;
        case AppLoadStatus::DeviceGone:
            loadFailed(kGoneText);
            return;
        case AppLoadStatus::Stopped:
            return;
    }
    startNextWalk();
}

// ------------------------------------------------------------------ files and previews

void TransferAppPane::outlineViewSelectionDidChange() {
    if (appOutlineView_ == nullptr || appTreeController_.BRefreshTreeFlag()) {
        return;
    }
    const QModelIndexList rows = appOutlineView_->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return;
    }
    appFileController_->setFolder(outline_->folderAt(rows.front()));
    appTableView_->clearSelection();
}

void TransferAppPane::tableViewSelectionDidChange() {
    if (appTableView_ == nullptr) {
        return;
    }
    const QModelIndexList rows = appTableView_->selectionModel()->selectedRows();
    if (rows.size() != 1) {
        return;
    }
    const auto file = appFileController_->entryAt(rows.front().row());
    if (!file) {
        return;
    }
    // A newer choice replaces the preview being copied.
    previewWorker_.stop();
    previewed_ = file;
    const amd::DeviceTarget target = target_;
    const QString type = file->fileType();
    const std::string bundleId = file->appBundleName().toStdString();
    const std::string devicePath = file->devicePath();
    const QString copied = file->btransfer() ? file->transferPath() : QString();
    setPreviewInfo(copied.isEmpty()
                       ? QStringLiteral("Copying %1 for its preview…").arg(file->fileName())
                       : QString());
    previewWorker_.start(
        [this, target, file, type, bundleId, devicePath, copied](
            const nimbara::JobRunner::StopCheck& stop, const nimbara::JobRunner::Post& post) {
            QString path = copied;
            QString reason;
            std::error_code ec;
            if (path.isEmpty() || !std::filesystem::is_regular_file(path.toStdString(), ec)) {
                const filemanager::PreviewCopy copy = filemanager::copyForPreview(
                    target, devicePath, filemanager::kPreviewSizeLimit, stop, bundleId);
                path = copy.copied() ? QString::fromStdString(copy.path.string()) : QString();
                reason = copy.reason;
            }
            const QImage image = path.isEmpty() ? QImage() : previewImageOf(path, type);
            post([this, file, path, image, reason] { previewEnded(file, path, image, reason); });
        });
}

void TransferAppPane::previewEnded(const std::shared_ptr<PRAppFileTreeNode>& file,
                                   const QString& path, const QImage& image,
                                   const QString& reason) {
    previewWorker_.finish();
    if (path.isEmpty()) {
        // Not copied: the next choice of the file tries again.
        file->setBtransfer(false);
        file->setTransferPath(QString());
        setPreviewInfo(reason.isEmpty()
                           ? QStringLiteral("The file could not be copied for its preview.")
                           : reason);
        return;
    }
    file->setBtransfer(true);
    file->setTransferPath(path);
    setPreviewInfo(QString());
    showPreview(image);
}

void TransferAppPane::showPreview(const QImage& image) {
    if (appImageView_ == nullptr) {
        return;
    }
    if (image.isNull()) {
        nimbara::ui::setImageViewImage(appImageView_, QStringLiteral("document"));
        return;
    }
    appImageView_->setProperty("imageName", QString());
    appImageView_->setPixmap(QPixmap::fromImage(image));
}

void TransferAppPane::fileChanged(const std::shared_ptr<PRAppFileTreeNode>& file) {
    if (!file || previewed_.lock() != file) {
        return;
    }
    previewWorker_.stop();
    previewed_.reset();
    showPreview(QImage());
}

// ------------------------------------------------------------------ device changes

void TransferAppPane::clearAll() {
    pendingWalks_.clear();
    appFileController_->setFolder(nullptr);
    appTreeController_.clear();
    if (appImageView_ != nullptr) {
        nimbara::ui::setImageViewImage(appImageView_, QStringLiteral("document"));
    }
}

void TransferAppPane::reset() {
    loadFailed(QString());
    target_ = {};
    walksStarted_ = 0;
}

void TransferAppPane::deviceDetached(int index) {
    if (target_.deviceIndex != index || (!started_ && !finished_) || target_.stillAttached()) {
        return;
    }
    loadFailed(kGoneText);
}

}  // namespace nimbara::transfer
