#include "filemanager/pages/pr_diska_manager_view_controller.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTableView>
#include <QTreeView>

#include <algorithm>
#include <utility>

#include "cleanup/device_walk.h"
#include "device/device_manager.h"
#include "filemanager/app_scan.h"
#include "filemanager/book_scan.h"
#include "filemanager/device_space_text.h"
#include "filemanager/photo_scan.h"
#include "filemanager/storage_count.h"
#include "filemanager/user_data_scan.h"
#include "transfer/media_library.h"
#include "transfer/pages/pr_tansfer_view_controller.h"
#include "ui/chat_picture_loader.h"
#include "ui/core/text_utilities.h"
#include "ui/named_image.h"
#include "ui/notification_buttons.h"
#include "ui/progress_view.h"
#include "ui/view_helpers.h"
#include "ui/window_builders.h"

using nimbara::filemanager::StorageDeviceTarget;
using nimbara::filemanager::StorageScanStatus;
using nimbara::shell::size_to_unit;
using nimbara::ui::setImageViewImage;
using Scan = PRDiskaManagerViewController::Scan;
using ScanState = PRDiskaManagerViewController::ScanState;

namespace {

const QString kNoDeviceText = QStringLiteral("Connect a device to see what fills it.");
const QString kScanningText = QStringLiteral("Scanning…");
const QString kMusicImage = QStringLiteral("defaultMuisc");
constexpr QSize kArtworkBox{128, 128};
const QColor kProblemColour(178, 34, 34);

int scanIndex(Scan scan) {
    return static_cast<int>(scan);
}

std::vector<DiskCategory> categoriesOf(Scan scan) {
    switch (scan) {
        case Scan::Photo:
            return {DiskCategory::Photo};
        case Scan::Media:
            return {DiskCategory::Music, DiskCategory::Video};
        case Scan::Books:
            return {DiskCategory::Books};
        case Scan::Apps:
            return {DiskCategory::UserApps, DiskCategory::SystemApps};
        case Scan::UserData:
            break;
    }
    return {DiskCategory::UserData};
}

const char* viewNameOf(DiskCategory category) {
    static const char* const kNames[kDiskCategoryCount] = {
        "photo", "music", "video", "books", "userApps", "systemApps", "userData"};
    return kNames[static_cast<int>(category)];
}

using nimbara::cleanup::textColumn;

QString countText(std::size_t count, const char* one, const char* many) {
    return count == 1 ? QStringLiteral("1 %1").arg(QLatin1String(one))
                      : QStringLiteral("%1 %2").arg(count).arg(QLatin1String(many));
}

QIcon appIconOf(const PRAppDirTreeNode& app) {
    QPixmap picture;
    const QByteArray png = app.appIcon();
    if (!png.isEmpty() && picture.loadFromData(png)) {
        return QIcon(picture.scaled(36, 36, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    const QString name = app.nodeIcon();
    return nimbara::ui::namedIcon(name.isEmpty() ? QStringLiteral("NULLImage") : name);
}

// The used share of a total: empty for no total, full when nothing is free.
float usedShare(std::int64_t total, std::int64_t free) {
    if (total <= 0) {
        return 0.0f;
    }
    const std::int64_t used = std::clamp<std::int64_t>(total - free, 0, total);
    return static_cast<float>(static_cast<double>(used) / static_cast<double>(total));
}

std::uint64_t nonNegative(std::int64_t value) {
    return value > 0 ? static_cast<std::uint64_t>(value) : 0;
}

}  // namespace

Scan PRDiskaManagerViewController::scanOf(DiskCategory category) {
    switch (category) {
        case DiskCategory::Photo:
            return Scan::Photo;
        case DiskCategory::Music:
        case DiskCategory::Video:
            return Scan::Media;
        case DiskCategory::Books:
            return Scan::Books;
        case DiskCategory::UserApps:
        case DiskCategory::SystemApps:
            return Scan::Apps;
        case DiskCategory::UserData:
            break;
    }
    return Scan::UserData;
}

PRDiskaManagerViewController::PRDiskaManagerViewController(nimbara::ui::PageHost& host,
                                                           QObject* parent)
    : PageControllerBase(host, "PRDiskaManagerViewController", QStringLiteral("Storage Manager"),
                         parent) {
    using Photo = PRPhotoAndVideoNode;
    photoController_ = new PRTansferPhotoController(
        {textColumn("Name", &Photo::fileNodeName), textColumn("Kind", &Photo::fileType),
         textColumn("Date", &Photo::fileModifyTime), textColumn("Size", &Photo::fileNodeSize)},
        this);
    musicController_ = makeTrackListModel(this);
    videoController_ = makeVideoListModel(this);
    booksController_ = new PRBookController(
        {textColumn("Name", &PRBookNode::bookName), textColumn("Kind", &PRBookNode::fileType),
         textColumn("Size", &PRBookNode::fileSize)},
        this);
    appController_ =
        new PRAppFileController({textColumn("Name", &PRAppDirTreeNode::appDisplayName),
                                 textColumn("Version", &PRAppDirTreeNode::appVersion),
                                 textColumn("App", &PRAppDirTreeNode::appSize),
                                 textColumn("Data", &PRAppDirTreeNode::appDocumentSize)},
                                this);
    appController_->setIconOf(appIconOf);
    systemAppController_ =
        new PRSystemAppFileController({textColumn("Name", &PRAppDirTreeNode::appDisplayName),
                                       textColumn("Version", &PRAppDirTreeNode::appVersion),
                                       textColumn("Kind", &PRAppDirTreeNode::fileType),
                                       textColumn("App", &PRAppDirTreeNode::appSize),
                                       textColumn("Data", &PRAppDirTreeNode::appDocumentSize)},
                                      this);
    systemAppController_->setIconOf(appIconOf);
    libOutline_ = new nimbara::ui::PRSystemLibOutlineModel(&libTreeController_.tree(), this);
    libFileController_ = new nimbara::ui::PRSystemLibEntriesModel(&libTreeController_.tree(), this);
    libTreeController_.setRefreshCallback([this] { refreshOutlineView(); });
    pictureLoader_ = new nimbara::ui::ChatPictureLoader(this);
    observers_.add(nimbara::NotificationCenter::defaultCenter().addObserver(
        "MyDiskManagebuttonMouseDown",
        [this](const nimbara::Notification& n) { MyDiskManagebuttonMouseDownHandle(n); }));
    watchDeviceDetach();
}

PRDiskaManagerViewController::~PRDiskaManagerViewController() {
    actions_.stop();
    previewer_.stop();
    for (nimbara::JobRunner& worker : workers_) {
        worker.stop();
    }
    figuresWorker_.stop();
    delete uiRoot_.data();
    ui_.reset();
}

// ------------------------------------------------------------------ widgets

DiskManagerUi& PRDiskaManagerViewController::diskUi() {
    ensureBuilt();
    return *ui_;
}

void PRDiskaManagerViewController::ensureBuilt() {
    if (ui_ && uiRoot_) {
        return;
    }
    // First use, or the container took the views with it when it went.
    ui_ = std::make_unique<DiskManagerUi>(buildDiskManagerView());
    uiRoot_ = ui_->view;
    showPageView(ui_->view);
    wire();
    refreshRows();
    clearPreviews();
    QWidget* shown = ui_->diskStateView;
    const std::pair<const char*, QWidget*> named[] = {
        {"table", ui_->diskTableView},    {"photo", ui_->photo.view},
        {"music", ui_->music.view},       {"video", ui_->video.view},
        {"books", ui_->books.view},       {"userApps", ui_->apps.view},
        {"systemApps", ui_->system.view}, {"userData", ui_->userLibDataView}};
    for (const auto& [name, view] : named) {
        if (shownView_ == QLatin1String(name)) {
            shown = view;
        }
    }
    showOnly(shown, shown == ui_->diskStateView ? QStringLiteral("overview") : shownView_);
}

void PRDiskaManagerViewController::wire() {
    const std::pair<QTableView*, QAbstractItemModel*> tables[] = {
        {ui_->photo.table, photoController_},
        {ui_->music.table, musicController_},
        {ui_->video.table, videoController_},
        {ui_->books.table, booksController_},
        {ui_->apps.table, appController_},
        {ui_->system.table, systemAppController_},
        {ui_->userLibDataFileTableView, libFileController_},
    };
    for (const auto& [table, model] : tables) {
        table->setModel(model);
        QTableView* const view = table;
        connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this, view] { tableViewSelectionDidChange(view); });
    }
    ui_->apps.table->setIconSize(QSize(36, 36));
    ui_->system.table->setIconSize(QSize(36, 36));
    ui_->apps.table->verticalHeader()->setDefaultSectionSize(40);
    ui_->system.table->verticalHeader()->setDefaultSectionSize(40);
    ui_->photo.table->setColumnWidth(0, 170);
    ui_->music.table->setColumnWidth(0, 170);
    ui_->video.table->setColumnWidth(0, 240);
    ui_->books.table->setColumnWidth(0, 240);
    ui_->apps.table->setColumnWidth(0, 220);
    ui_->system.table->setColumnWidth(0, 200);
    ui_->userLibDataFileTableView->setColumnWidth(0, 200);

    QTreeView* outline = ui_->userLibDataFileOutlineView;
    outline->setModel(libOutline_);
    connect(outline->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { outlineViewSelectionDidChange(); });

    const std::pair<QPushButton*, void (PRDiskaManagerViewController::*)(QObject*)> opens[] = {
        {ui_->row(DiskCategory::Photo).button, &PRDiskaManagerViewController::ScanDiskPhotoFiles},
        {ui_->row(DiskCategory::Music).button, &PRDiskaManagerViewController::ScanDiskMusicFiles},
        {ui_->row(DiskCategory::Video).button, &PRDiskaManagerViewController::ScanDiskVideoFiles},
        {ui_->row(DiskCategory::Books).button, &PRDiskaManagerViewController::ScanDiskBooksFiles},
        {ui_->row(DiskCategory::UserApps).button,
         &PRDiskaManagerViewController::ScanDiskUserAppFiles},
        {ui_->row(DiskCategory::SystemApps).button,
         &PRDiskaManagerViewController::ScanDiskSystemAppFiles},
        {ui_->row(DiskCategory::UserData).button,
         &PRDiskaManagerViewController::ScanDiskUserDataFiles},
    };
    for (const auto& [button, action] : opens) {
        QPushButton* const source = button;
        connect(button, &QPushButton::clicked, this,
                [this, source, action = action] { (this->*action)(source); });
    }
    connect(ui_->scanAllBtn, &QPushButton::clicked, this,
            [this] { ScanDiskUsage(ui_->scanAllBtn); });
    for (DiskListViewUi* list : ui_->lists()) {
        connect(list->backBtn, &QPushButton::clicked, this,
                [this, back = list->backBtn] { BackToDiskTalbeView(back); });
    }
    connect(ui_->userLibDataBackBtn, &QPushButton::clicked, this,
            [this] { BackToDiskTalbeView(ui_->userLibDataBackBtn); });
    wireActions();
}

void PRDiskaManagerViewController::viewShown() {
    // Each showing starts from the overview with the index 0; the shell sends the index next.
    deviceIndex_ = 0;
    ensureBuilt();
    refreshRows();
    showStateView();
}

void PRDiskaManagerViewController::setStatus(const QString& text, bool problem) {
    if (ui_ && uiRoot_) {
        nimbara::ui::setLabelColour(ui_->statuslab,
                                    problem ? kProblemColour : nimbara::ui::build::kText);
        ui_->statuslab->setText(text);
        ui_->statuslab->setVisible(!text.isEmpty());
    }
}

QString PRDiskaManagerViewController::statusText() const {
    return ui_ && uiRoot_ && !ui_->statuslab->isHidden() ? ui_->statuslab->text() : QString();
}

// ------------------------------------------------------------------ views

void PRDiskaManagerViewController::showOnly(QWidget* view, const QString& name) {
    shownView_ = name;
    for (QWidget* candidate : ui_->views()) {
        candidate->setVisible(candidate == view);
    }
}

void PRDiskaManagerViewController::showStateView() {
    ensureBuilt();
    showOnly(ui_->diskStateView, QStringLiteral("overview"));
}

void PRDiskaManagerViewController::showTableView() {
    ensureBuilt();
    showOnly(ui_->diskTableView, QStringLiteral("table"));
}

void PRDiskaManagerViewController::showList(DiskCategory category) {
    ensureBuilt();
    const QString name = QLatin1String(viewNameOf(category));
    switch (category) {
        case DiskCategory::Photo:
            photoController_->setContent(photoFilesArray_);
            updateInfoLine(category);
            ui_->photo.table->clearSelection();
            showOnly(ui_->photo.view, name);
            return;
        case DiskCategory::Music:
            musicController_->setContent(musicFilesArray_);
            updateInfoLine(category);
            ui_->music.table->clearSelection();
            showOnly(ui_->music.view, name);
            return;
        case DiskCategory::Video:
            videoController_->setContent(videoFilesArray_);
            updateInfoLine(category);
            ui_->video.table->clearSelection();
            showOnly(ui_->video.view, name);
            return;
        case DiskCategory::Books:
            booksController_->setContent(bookFilesArray_);
            updateInfoLine(category);
            ui_->books.table->clearSelection();
            showOnly(ui_->books.view, name);
            return;
        case DiskCategory::UserApps:
            appController_->setContent(appFilesArray_);
            updateInfoLine(category);
            ui_->apps.table->clearSelection();
            showOnly(ui_->apps.view, name);
            return;
        case DiskCategory::SystemApps:
            systemAppController_->setContent(systemAppFileArray_);
            updateInfoLine(category);
            ui_->system.table->clearSelection();
            showOnly(ui_->system.view, name);
            return;
        case DiskCategory::UserData:
            showOnly(ui_->userLibDataView, name);
            return;
    }
}

void PRDiskaManagerViewController::updateInfoLine(DiskCategory category) {
    if (!ui_ || !uiRoot_) {
        return;
    }
    switch (category) {
        case DiskCategory::Photo:
            ui_->photo.infolab->setText(
                countText(photoFilesArray_.size(), "photo or video", "photos and videos"));
            return;
        case DiskCategory::Music:
            ui_->music.infolab->setText(countText(musicFilesArray_.size(), "song", "songs"));
            return;
        case DiskCategory::Video:
            ui_->video.infolab->setText(countText(videoFilesArray_.size(), "video", "videos"));
            return;
        case DiskCategory::Books:
            ui_->books.infolab->setText(countText(bookFilesArray_.size(), "book", "books"));
            return;
        case DiskCategory::UserApps:
            ui_->apps.infolab->setText(countText(appFilesArray_.size(), "app", "apps"));
            return;
        case DiskCategory::SystemApps:
            ui_->system.infolab->setText(
                countText(systemAppFileArray_.size(), "system app", "system apps"));
            return;
        case DiskCategory::UserData:
            return;
    }
}

void PRDiskaManagerViewController::ViewScanPhotoFiles(QObject* /*sender*/) {
    showList(DiskCategory::Photo);
}
void PRDiskaManagerViewController::ViewScanMusicFiles(QObject* /*sender*/) {
    showList(DiskCategory::Music);
}
void PRDiskaManagerViewController::ViewScanVideoFiles(QObject* /*sender*/) {
    showList(DiskCategory::Video);
}
void PRDiskaManagerViewController::ViewScanBookFiles(QObject* /*sender*/) {
    showList(DiskCategory::Books);
}
void PRDiskaManagerViewController::ViewScanAppFiles(QObject* /*sender*/) {
    showList(DiskCategory::UserApps);
}
void PRDiskaManagerViewController::ViewScanSystemAppFile(QObject* /*sender*/) {
    showList(DiskCategory::SystemApps);
}
void PRDiskaManagerViewController::ViewScanUserlibDataFile(QObject* /*sender*/) {
    showList(DiskCategory::UserData);
}

void PRDiskaManagerViewController::BackToDiskTalbeView(QObject* sender) {
    record(QStringLiteral("BackToDiskTalbeView(%1)").arg(argument(sender)));
    waitingFor_ = -1;
    showTableView();
}

// The category table shows each category's state: a scanned one its size and an enabled arrow,
// a scanning one its bar, an idle one nothing.
void PRDiskaManagerViewController::refreshRows() {
    if (!ui_ || !uiRoot_) {
        return;
    }
    for (int i = 0; i < kDiskCategoryCount; ++i) {
        const auto category = static_cast<DiskCategory>(i);
        DiskCategoryRowUi& row = ui_->row(category);
        const ScanState state = scanState(scanOf(category));
        const bool done = state == ScanState::Done;
        row.button->setEnabled(done);
        row.button->setIcon(nimbara::ui::namedIcon(done ? QStringLiteral("arrowright")
                                                        : QStringLiteral("arrowrightUnNom")));
        row.sizelab->setVisible(done);
        if (done) {
            row.sizelab->setText(category == DiskCategory::SystemApps
                                     ? QStringLiteral(" ")
                                     : size_to_unit(totals_[static_cast<std::size_t>(i)]));
        }
        row.progress->setVisible(state == ScanState::Scanning || done);
        if (state == ScanState::Idle) {
            row.progress->setProgressValue(0.0f);
        } else if (done) {
            row.progress->setProgressValue(1.0f);
        }
        if (state == ScanState::Scanning) {
            row.statelab->setText(kScanningText);
        } else if (done) {
            row.statelab->clear();
        }
        row.statelab->setVisible(!done && !row.statelab->text().isEmpty());
        row.headImageView->setScaledContents(true);
    }
}

// ------------------------------------------------------------------ category actions

void PRDiskaManagerViewController::setDiskManageDeviceIndex(int index) {
    record(QStringLiteral("setDiskManageDeviceIndex(%1)").arg(argument(index)));
    deviceIndex_ = index;
    readDiskFigures();
}

PRDiskaManagerViewController::ScanState PRDiskaManagerViewController::scanState(Scan scan) const {
    const Flags& f = flags_[static_cast<std::size_t>(scanIndex(scan))];
    return f.finished ? ScanState::Done : f.started ? ScanState::Scanning : ScanState::Idle;
}

bool PRDiskaManagerViewController::scanRunning(Scan scan) const {
    return workers_[static_cast<std::size_t>(scanIndex(scan))].busy();
}

std::size_t PRDiskaManagerViewController::workersEnding() const {
    std::size_t ending = figuresWorker_.ending() + actions_.ending() + previewer_.ending();
    for (const nimbara::JobRunner& worker : workers_) {
        ending += worker.ending();
    }
    return ending;
}

StorageDeviceTarget PRDiskaManagerViewController::scanTarget(Scan scan) const {
    return targets_[static_cast<std::size_t>(scanIndex(scan))];
}

std::uint64_t PRDiskaManagerViewController::categoryBytes(DiskCategory category) const {
    return totals_[static_cast<std::size_t>(static_cast<int>(category))];
}

void PRDiskaManagerViewController::enterCategory(const char* method, QObject* sender,
                                                 DiskCategory category) {
    record(QStringLiteral("%1(%2)").arg(QString::fromLatin1(method), argument(sender)));
    ensureBuilt();
    if (category == DiskCategory::Music || category == DiskCategory::Video) {
        bClickMusic_ = category == DiskCategory::Music;
    } else if (category == DiskCategory::UserApps || category == DiskCategory::SystemApps) {
        bUserApps_ = category == DiskCategory::UserApps;
    }
    const Scan scan = scanOf(category);
    const std::size_t s = static_cast<std::size_t>(scanIndex(scan));
    // Results of a device that is no longer the page's are never shown.
    const std::uint64_t serial = amd::DeviceManager::GetInstance().DeviceSerial(deviceIndex_);
    if (flags_[s].finished &&
        (targets_[s].deviceIndex != deviceIndex_ || targets_[s].deviceSerial != serial)) {
        forgetScan(scan);
    }
    waitingFor_ = static_cast<int>(category);
    switch (scanState(scan)) {
        case ScanState::Done:
            showList(category);
            return;
        case ScanState::Scanning:
            showTableView();
            return;
        case ScanState::Idle:
            break;
    }
    showTableView();
    startScan(scan);
}

void PRDiskaManagerViewController::ScanDiskPhotoFiles(QObject* sender) {
    enterCategory("ScanDiskPhotoFiles", sender, DiskCategory::Photo);
}
void PRDiskaManagerViewController::ScanDiskMusicFiles(QObject* sender) {
    enterCategory("ScanDiskMusicFiles", sender, DiskCategory::Music);
}
void PRDiskaManagerViewController::ScanDiskVideoFiles(QObject* sender) {
    enterCategory("ScanDiskVideoFiles", sender, DiskCategory::Video);
}
void PRDiskaManagerViewController::ScanDiskBooksFiles(QObject* sender) {
    enterCategory("ScanDiskBooksFiles", sender, DiskCategory::Books);
}
void PRDiskaManagerViewController::ScanDiskUserAppFiles(QObject* sender) {
    enterCategory("ScanDiskUserAppFiles", sender, DiskCategory::UserApps);
}
void PRDiskaManagerViewController::ScanDiskSystemAppFiles(QObject* sender) {
    enterCategory("ScanDiskSystemAppFiles", sender, DiskCategory::SystemApps);
}
void PRDiskaManagerViewController::ScanDiskUserDataFiles(QObject* sender) {
    enterCategory("ScanDiskUserDataFiles", sender, DiskCategory::UserData);
}

void PRDiskaManagerViewController::ScanDiskUsage(QObject* sender) {
    record(QStringLiteral("ScanDiskUsage(%1)").arg(argument(sender)));
    ensureBuilt();
    const StorageDeviceTarget target{deviceIndex_,
                                     amd::DeviceManager::GetInstance().DeviceSerial(deviceIndex_)};
    if (target.deviceSerial == 0) {
        setStatus(kNoDeviceText);
        return;
    }
    scanAll_.clear();
    for (const Scan scan : {Scan::Photo, Scan::Media, Scan::Books, Scan::Apps, Scan::UserData}) {
        if (scanState(scan) == ScanState::Scanning) {
            continue;  // already under way: it ends on its own
        }
        forgetScan(scan);
        scanAll_.push_back(scan);
    }
    waitingFor_ = static_cast<int>(DiskCategory::UserData);
    setStatus(QString());
    showTableView();
    startNextOfScanAll();
}

void PRDiskaManagerViewController::startNextOfScanAll() {
    while (!scanAll_.empty()) {
        const Scan next = scanAll_.front();
        scanAll_.pop_front();
        if (scanState(next) == ScanState::Idle) {
            startScan(next);
            return;
        }
    }
}

void PRDiskaManagerViewController::MyDiskManagebuttonMouseDownHandle(
    const nimbara::Notification& notification) {
    if (!ui_ || !uiRoot_ ||
        notification.objectAs<QObject*>() != static_cast<QObject*>(ui_->diskManageButton)) {
        return;
    }
    ui_->diskManageButton->setImage(QStringLiteral("scanDown.png"));
    ScanDiskUsage(ui_->diskManageButton);
}

// ------------------------------------------------------------------ scans

bool PRDiskaManagerViewController::startScan(Scan scan) {
    const std::size_t s = static_cast<std::size_t>(scanIndex(scan));
    const StorageDeviceTarget target{deviceIndex_,
                                     amd::DeviceManager::GetInstance().DeviceSerial(deviceIndex_)};
    if (target.deviceSerial == 0) {
        setStatus(kNoDeviceText);
        return false;
    }
    if (workers_[s].busy()) {
        return false;  // one scan per category at a time
    }
    forgetScan(scan);
    for (DiskCategory category : categoriesOf(scan)) {
        totals_[static_cast<std::size_t>(static_cast<int>(category))] = 0;
        ui_->row(category).statelab->clear();
    }
    // Marked at once, on this thread: a second click before the worker got going starts nothing.
    flags_[s].started = true;
    targets_[s] = target;
    setStatus(QString());
    if (scan == Scan::UserData) {
        libTreeController_.clear();
        libFileController_->setFolder(nullptr);
    }
    refreshRows();
    runScan(scan, target);
    return true;
}

void PRDiskaManagerViewController::runScan(Scan scan, StorageDeviceTarget target) {
    namespace fm = nimbara::filemanager;
    using nimbara::JobRunner;
    workers_[static_cast<std::size_t>(scanIndex(scan))].start(
        [this, scan, target](const JobRunner::StopCheck& stop, const JobRunner::Post& post) {
            const auto progress = [this, scan, &post](double fraction) {
                post([this, scan, fraction] { setScanProgress(scan, fraction); });
            };
            switch (scan) {
                case Scan::Photo: {
                    auto result = std::make_shared<fm::PhotoScanResult>(
                        fm::scanDevicePhotos(target, stop, progress));
                    post([this, result] { tookPhotos(*result); });
                    return;
                }
                case Scan::Media: {
                    nimbara::transfer::MediaLibraryOptions options;
                    options.requireFilesOnDevice = true;
                    nimbara::transfer::MediaLibrarySink sink;
                    sink.progress = progress;
                    auto result = std::make_shared<nimbara::transfer::MediaLibraryResult>(
                        nimbara::transfer::MediaLibraryReader(
                            {target.deviceIndex, target.deviceSerial}, options, stop)
                            .read(sink));
                    post([this, result] { tookMedia(*result); });
                    return;
                }
                case Scan::Books: {
                    auto result = std::make_shared<fm::BookScanResult>(
                        fm::scanDeviceBooks(target, stop, progress));
                    post([this, result] { tookBooks(*result); });
                    return;
                }
                case Scan::Apps: {
                    auto result = std::make_shared<fm::AppScanResult>(
                        fm::scanDeviceApps(target, stop, progress));
                    post([this, result] { tookApps(*result); });
                    return;
                }
                case Scan::UserData: {
                    const auto records = [this, &post](fm::UserDataRecords batch) {
                        auto shared = std::make_shared<fm::UserDataRecords>(std::move(batch));
                        post([this, shared] {
                            for (const auto& record : *shared) {
                                libTreeController_.addTreeNode(record);
                            }
                        });
                    };
                    auto result = std::make_shared<fm::UserDataScanResult>(
                        fm::scanDeviceUserData(target, stop, progress, records));
                    post([this, result] { tookUserData(*result); });
                    return;
                }
            }
        });
}

void PRDiskaManagerViewController::setScanProgress(Scan scan, double fraction) {
    if (!ui_ || !uiRoot_) {
        return;
    }
    for (DiskCategory category : categoriesOf(scan)) {
        PRProgressView* bar = ui_->row(category).progress;
        bar->show();
        bar->setProgressValue(static_cast<float>(fraction));
    }
}

void PRDiskaManagerViewController::tookPhotos(const nimbara::filemanager::PhotoScanResult& result) {
    if (result.status != StorageScanStatus::Done) {
        scanFailed(Scan::Photo, result.status);
        return;
    }
    photoFilesArray_ = result.photos;
    totals_[static_cast<std::size_t>(DiskCategory::Photo)] = result.totalBytes;
    scanFinished(Scan::Photo);
}

void PRDiskaManagerViewController::tookMedia(const nimbara::transfer::MediaLibraryResult& result) {
    const StorageScanStatus status = nimbara::filemanager::storageStatusOfMedia(result.status);
    if (status != StorageScanStatus::Done) {
        scanFailed(Scan::Media, status);
        if (status == StorageScanStatus::ServiceRefused) {
            setStatus(nimbara::transfer::mediaLibraryStatusText(result.status));
        }
        return;
    }
    musicFilesArray_ = result.music;
    videoFilesArray_ = result.videos;
    totals_[static_cast<std::size_t>(DiskCategory::Music)] = result.musicBytes;
    totals_[static_cast<std::size_t>(DiskCategory::Video)] = result.videoBytes;
    scanFinished(Scan::Media);
}

void PRDiskaManagerViewController::tookBooks(const nimbara::filemanager::BookScanResult& result) {
    if (result.status != StorageScanStatus::Done) {
        scanFailed(Scan::Books, result.status);
        return;
    }
    bookFilesArray_ = result.books;
    totals_[static_cast<std::size_t>(DiskCategory::Books)] = result.totalBytes;
    scanFinished(Scan::Books);
}

void PRDiskaManagerViewController::tookApps(const nimbara::filemanager::AppScanResult& result) {
    if (result.status != StorageScanStatus::Done) {
        scanFailed(Scan::Apps, result.status);
        return;
    }
    appFilesArray_ = result.userApps;
    systemAppFileArray_ = result.systemApps;
    totals_[static_cast<std::size_t>(DiskCategory::UserApps)] = result.userBytes;
    totals_[static_cast<std::size_t>(DiskCategory::SystemApps)] = result.systemBytes;
    scanFinished(Scan::Apps);
}

void PRDiskaManagerViewController::tookUserData(
    const nimbara::filemanager::UserDataScanResult& result) {
    if (result.status != StorageScanStatus::Done) {
        scanFailed(Scan::UserData, result.status);
        return;
    }
    totals_[static_cast<std::size_t>(DiskCategory::UserData)] = result.totalBytes;
    if (ui_ && uiRoot_) {
        ui_->userLibDatainfolab->setText(QStringLiteral("%1 in %2")
                                             .arg(countText(result.files, "file", "files"),
                                                  countText(result.folders, "folder", "folders")));
    }
    scanFinished(Scan::UserData);
}

void PRDiskaManagerViewController::scanFinished(Scan scan) {
    const std::size_t s = static_cast<std::size_t>(scanIndex(scan));
    workers_[s].finish();
    flags_[s] = {false, true};
    refreshRows();
    // The list shows when the user waits for it on the category table.
    if (waitingFor_ >= 0 && shownView_ == QLatin1String("table")) {
        const auto waiting = static_cast<DiskCategory>(waitingFor_);
        if (scanOf(waiting) == scan) {
            waitingFor_ = -1;
            showList(waiting);
        }
    }
    if (scan == Scan::UserData) {
        refreshOutlineView();
    }
    if (ui_ && uiRoot_) {
        ui_->diskManageButton->setImage(QStringLiteral("scanNom.png"));
    }
    startNextOfScanAll();
    if (scanEnded_) {
        scanEnded_(scan);
    }
}

void PRDiskaManagerViewController::scanFailed(Scan scan, StorageScanStatus status) {
    const std::size_t s = static_cast<std::size_t>(scanIndex(scan));
    workers_[s].stop();
    flags_[s] = {};
    const QString why = nimbara::filemanager::storageScanStatusText(status);
    refreshRows();
    if (ui_ && uiRoot_) {
        for (DiskCategory category : categoriesOf(scan)) {
            DiskCategoryRowUi& row = ui_->row(category);
            row.progress->setProgressValue(0.0f);
            row.progress->hide();
            row.statelab->setText(why);
            row.statelab->setVisible(!why.isEmpty());
        }
        ui_->diskManageButton->setImage(QStringLiteral("scanNom.png"));
    }
    setStatus(why.isEmpty() ? QString()
                            : why + QStringLiteral(" Choose the category to try again."));
    if (status == StorageScanStatus::DeviceGone) {
        scanAll_.clear();
    }
    startNextOfScanAll();
    if (scanEnded_) {
        scanEnded_(scan);
    }
}

void PRDiskaManagerViewController::forgetScan(Scan scan) {
    const std::size_t s = static_cast<std::size_t>(scanIndex(scan));
    workers_[s].stop();
    flags_[s] = {};
    targets_[s] = {};
    for (DiskCategory category : categoriesOf(scan)) {
        totals_[static_cast<std::size_t>(static_cast<int>(category))] = 0;
    }
    switch (scan) {
        case Scan::Photo:
            photoFilesArray_.clear();
            photoController_->clear();
            break;
        case Scan::Media:
            musicFilesArray_.clear();
            videoFilesArray_.clear();
            musicController_->clear();
            videoController_->clear();
            break;
        case Scan::Books:
            bookFilesArray_.clear();
            booksController_->clear();
            break;
        case Scan::Apps:
            appFilesArray_.clear();
            systemAppFileArray_.clear();
            appController_->clear();
            systemAppController_->clear();
            break;
        case Scan::UserData:
            libFileController_->setFolder(nullptr);
            libTreeController_.clear();
            if (ui_ && uiRoot_) {
                ui_->userLibDatainfolab->clear();
            }
            break;
    }
    refreshRows();
}

// ------------------------------------------------------------------ device changes

void PRDiskaManagerViewController::initAllDataAndAllView() {
    record(QStringLiteral("initAllDataAndAllView()"));
    // Whatever an action or a preview copy still hands over belongs to the former device.
    ++generation_;
    actions_.stop();
    previewer_.stop();
    previewPhoto_.reset();
    scanAll_.clear();
    waitingFor_ = -1;
    for (const Scan scan : {Scan::Photo, Scan::Media, Scan::Books, Scan::Apps, Scan::UserData}) {
        forgetScan(scan);
    }
    if (ui_ && uiRoot_) {
        for (DiskCategoryRowUi& row : ui_->rows) {
            row.statelab->clear();
            row.statelab->hide();
        }
        ui_->diskManageButton->setImage(QStringLiteral("scanNom.png"));
        clearPreviews();
        setStatus(QString());
        refreshRows();
        showTableView();
    } else {
        shownView_ = QStringLiteral("table");
    }
}

void PRDiskaManagerViewController::deviceChanged(const amd::DeviceTarget& target) {
    if (target.deviceIndex >= 0) {
        setDiskManageDeviceIndex(target.deviceIndex);
    }
    initAllDataAndAllView();
}

void PRDiskaManagerViewController::deviceDetached(int index) {
    const auto& devices = amd::DeviceManager::GetInstance();
    for (const Scan scan : {Scan::Photo, Scan::Media, Scan::Books, Scan::Apps, Scan::UserData}) {
        const std::size_t s = static_cast<std::size_t>(scanIndex(scan));
        const StorageDeviceTarget& target = targets_[s];
        if (target.deviceIndex != index || target.deviceSerial == 0 ||
            devices.IsAttached(target.deviceIndex, target.deviceSerial)) {
            continue;
        }
        if (flags_[s].started) {
            scanFailed(scan, StorageScanStatus::DeviceGone);
        } else if (flags_[s].finished) {
            // What was read from it goes with it.
            forgetScan(scan);
        }
    }
}

// ------------------------------------------------------------------ overview figures

void PRDiskaManagerViewController::readDiskFigures() {
    const StorageDeviceTarget target{deviceIndex_,
                                     amd::DeviceManager::GetInstance().DeviceSerial(deviceIndex_)};
    figuresWorker_.stop();
    if (target.deviceSerial == 0) {
        showDeviceSpace({});
        return;
    }
    figuresWorker_.start(
        [this, target](const nimbara::JobRunner::StopCheck&, const nimbara::JobRunner::Post& post) {
            const std::optional<amd::DiskUsage> usage =
                nimbara::filemanager::readDeviceDiskUsage(target);
            post([this, usage] {
                figuresWorker_.finish();
                if (usage) {
                    showDeviceSpace(amd::deviceSpace(*usage));
                }
            });
        });
}

void PRDiskaManagerViewController::showDeviceSpace(const amd::DeviceSpace& space) {
    const auto figure = [](std::uint64_t value) {
        return static_cast<std::int64_t>(
            std::min<std::uint64_t>(value, static_cast<std::uint64_t>(INT64_MAX)));
    };
    // The user's row ends at the device's free space, as on the device's status; the system's
    // free part stays on its own row.
    setDiskManageDeviceWithAllUserData(figure(space.userUsed + space.free), figure(space.free),
                                       figure(space.systemUsed + space.systemFree),
                                       figure(space.systemFree));
    ui_->deviceSpacelab->setText(nimbara::filemanager::deviceSpaceText(space));
    nimbara::ui::setShown(ui_->deviceSpacelab, !ui_->deviceSpacelab->text().isEmpty());
}

void PRDiskaManagerViewController::setDiskManageDeviceWithAllUserData(std::int64_t allUserData,
                                                                      std::int64_t freeData,
                                                                      std::int64_t allIOSData,
                                                                      std::int64_t iosFreeData) {
    ensureBuilt();
    const auto used = [](std::int64_t total, std::int64_t free) {
        return total > free ? static_cast<std::uint64_t>(total - std::max<std::int64_t>(free, 0))
                            : 0;
    };
    ui_->iOSUsedlab->setText(
        QStringLiteral("iOS Used:   %1").arg(size_to_unit(used(allIOSData, iosFreeData))));
    ui_->iOSFreelab->setText(
        QStringLiteral("iOS Free:   %1").arg(size_to_unit(nonNegative(iosFreeData))));
    ui_->userUsedlab->setText(
        QStringLiteral("User Used:   %1").arg(size_to_unit(used(allUserData, freeData))));
    ui_->userFreelab->setText(
        QStringLiteral("User Free:   %1").arg(size_to_unit(nonNegative(freeData))));
    ui_->systemProgress->setProgressValue(usedShare(allIOSData, iosFreeData));
    ui_->userDataProgress->setProgressValue(usedShare(allUserData, freeData));
}

// ------------------------------------------------------------------ previews

void PRDiskaManagerViewController::clearPreviews() {
    if (!ui_ || !uiRoot_) {
        return;
    }
    pictureLoader_->cancelAll();
    previewer_.stop();
    previewPhoto_.reset();
    const std::pair<DiskListViewUi*, QString> previews[] = {
        {&ui_->photo, QStringLiteral("photos_Nom")},
        {&ui_->music, kMusicImage},
        {&ui_->video, kMusicImage},
        {&ui_->books, QStringLiteral("books_Nom")},
        {&ui_->apps, QStringLiteral("NULLImage")},
        {&ui_->system, QStringLiteral("appstore")},
    };
    for (const auto& [list, image] : previews) {
        setImageViewImage(list->previewImage, image);
        list->previewName->clear();
        list->previewSize->clear();
    }
}

void PRDiskaManagerViewController::showPhotoPreview(
    const std::shared_ptr<PRPhotoAndVideoNode>& photo) {
    ensureBuilt();
    if (!photo) {
        return;
    }
    setImageViewImage(ui_->photo.previewImage,
                      photo->bmov() ? QStringLiteral("quicktime") : QStringLiteral("photos_Nom"));
    ui_->photo.previewName->setText(
        QString::fromStdString(nimbara::cleanup::lastPathComponent(photo->devicePath())));
    ui_->photo.previewSize->setText(photo->fileNodeSize());
}

void PRDiskaManagerViewController::setPhotoPreviewPicture(const QPixmap& picture) {
    ensureBuilt();
    if (!picture.isNull()) {
        ui_->photo.previewImage->setProperty("imageName", QString());
        ui_->photo.previewImage->setPixmap(picture);
    }
}

void PRDiskaManagerViewController::tableViewSelectionDidChange(QTableView* table) {
    if (!ui_ || !uiRoot_ || table == nullptr) {
        return;
    }
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return;
    }
    const int row = rows.front().row();
    if (table == ui_->photo.table) {
        const auto photo = photoController_->rowAt(row);
        showPhotoPreview(photo);
        PreviewCopyOnThread(photo);
    } else if (table == ui_->music.table || table == ui_->video.table) {
        const bool music = table == ui_->music.table;
        const auto track = (music ? musicController_ : videoController_)->rowAt(row);
        if (!track) {
            return;
        }
        DiskListViewUi& list = music ? ui_->music : ui_->video;
        setImageViewImage(list.previewImage, kMusicImage);
        list.previewName->setText(track->musicTitle());
        list.previewSize->setText(track->musicFileSize());
    } else if (table == ui_->books.table) {
        const auto book = booksController_->rowAt(row);
        if (!book) {
            return;
        }
        ui_->books.previewName->setText(book->bookName());
        ui_->books.previewSize->setText(book->fileSize());
        QLabel* picture = ui_->books.previewImage;
        setImageViewImage(picture, QStringLiteral("books_Nom"));
        pictureLoader_->cancelAll();
        const QByteArray artwork = book->imageIcon();
        if (!artwork.isEmpty()) {
            // Decoded off the GUI thread; until it arrives the stand-in shows.
            pictureLoader_->loadData(artwork, kArtworkBox,
                                     [target = QPointer<QLabel>(picture)](const QImage& image) {
                                         if (target && !image.isNull()) {
                                             target->setProperty("imageName", QString());
                                             target->setPixmap(QPixmap::fromImage(image));
                                         }
                                     });
        }
    } else if (table == ui_->apps.table || table == ui_->system.table) {
        const bool user = table == ui_->apps.table;
        const auto app = (user ? appController_ : systemAppController_)->rowAt(row);
        if (!app) {
            return;
        }
        DiskListViewUi& list = user ? ui_->apps : ui_->system;
        QPixmap icon;
        if (!app->appIcon().isEmpty() && icon.loadFromData(app->appIcon())) {
            list.previewImage->setProperty("imageName", QString());
            list.previewImage->setPixmap(icon);
        } else {
            setImageViewImage(list.previewImage, app->nodeIcon().isEmpty()
                                                     ? QStringLiteral("NULLImage")
                                                     : app->nodeIcon());
        }
        if (!app->appDisplayName().isNull()) {
            list.previewName->setText(app->appDisplayName());
        }
        if (!app->appVersion().isNull()) {
            list.previewSize->setText(app->appVersion());
        }
    }
}

void PRDiskaManagerViewController::outlineViewSelectionDidChange() {
    if (!ui_ || !uiRoot_ || libTreeController_.BRefreshTreeFlag()) {
        return;
    }
    const QModelIndexList rows = ui_->userLibDataFileOutlineView->selectionModel()->selectedRows();
    libFileController_->setFolder(rows.isEmpty() ? nullptr : libOutline_->folderAt(rows.front()));
    ui_->userLibDataFileTableView->clearSelection();
}

void PRDiskaManagerViewController::refreshOutlineView() {
    if (!ui_ || !uiRoot_ || libOutline_->rowCount() == 0) {
        return;
    }
    ui_->userLibDataFileOutlineView->expand(libOutline_->index(0, 0));
}
