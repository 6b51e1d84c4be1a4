#include "transfer/pages/transfer_photos.h"

#include <QFileInfo>
#include <QIcon>
#include <QSlider>

#include <algorithm>
#include <cmath>
#include <utility>

#include "device/device_manager.h"
#include "platform/notification_center.h"
#include "transfer/pages/transfer_ui.h"
#include "ui/chat_picture_loader.h"
#include "ui/named_image.h"

using nimbara::transfer::PhotoLoader;
using nimbara::transfer::PhotoLoadResult;
using nimbara::transfer::PhotoLoadSink;
using nimbara::transfer::PhotoLoadStatus;

namespace {

constexpr const char* kPhotoFinished = "photoScanFinished";
constexpr const char* kMovieImage = "videos_Nom";
constexpr const char* kPictureImage = "photos_Nom";
constexpr int kThumbnailsCached = 400;
constexpr int kSmallestIcon = 48;
constexpr int kLargestIcon = 256;
constexpr int kCellMargin = 16;
constexpr int kNameHeight = 20;

const QString kNoDeviceText = QStringLiteral("Connect a device to see its photos.");
const QString kReadingText = QStringLiteral("Reading the device's photos…");
const QString kGoneAfterReadingText =
    QStringLiteral("The device went away: its photos are no longer shown.");

int iconSide(double zoom) {
    return kSmallestIcon + static_cast<int>(std::lround(zoom * (kLargestIcon - kSmallestIcon)));
}

}  // namespace

// ------------------------------------------------------------------ model

PRImageBrowserModel::PRImageBrowserModel(QObject* parent)
    : QAbstractListModel(parent),
      loader_(new nimbara::ui::ChatPictureLoader(this)),
      cache_(kThumbnailsCached) {}

PRImageBrowserModel::~PRImageBrowserModel() = default;

int PRImageBrowserModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : numberOfItemsInImageBrowser();
}

PRImageBrowserModel::Item PRImageBrowserModel::itemAtIndex(int index) const {
    return index >= 0 && index < numberOfItemsInImageBrowser()
               ? items_[static_cast<std::size_t>(index)]
               : nullptr;
}

QVariant PRImageBrowserModel::data(const QModelIndex& index, int role) const {
    const Item item = itemAtIndex(index.row());
    if (!index.isValid() || !item) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return QFileInfo(item->filePath()).fileName();
        case Qt::DecorationRole:
            // An icon, so the browser draws it at its zoom's size.
            return QIcon(thumbnail(*item));
        default:
            return {};
    }
}

QPixmap PRImageBrowserModel::thumbnail(const IKImageItem& item) const {
    const QString copy = item.hasCopy();
    if (item.imageRepresentationType() != IKImageItem::RepresentationType::Path ||
        !item.bhasCopy() || copy.isEmpty()) {
        return nimbara::ui::namedImage(
            QLatin1String(item.fileType() == QLatin1String("Movie") ? kMovieImage : kPictureImage));
    }
    if (const QPixmap* cached = cache_.object(copy)) {
        return *cached;
    }
    if (!asked_.contains(copy)) {
        // Read on the loader's worker; the row redraws when it arrives.
        asked_.insert(copy);
        auto* self = const_cast<PRImageBrowserModel*>(this);
        loader_->loadFile(
            copy, QSize(kThumbnailBox, kThumbnailBox), [self, copy](const QImage& image) {
                self->asked_.remove(copy);
                self->cache_.insert(
                    copy, new QPixmap(image.isNull()
                                          ? nimbara::ui::namedImage(QLatin1String(kPictureImage))
                                          : QPixmap::fromImage(image)));
                for (int row = 0; row < self->rowCount(); ++row) {
                    if (self->items_[static_cast<std::size_t>(row)]->hasCopy() == copy) {
                        const QModelIndex at = self->index(row);
                        emit self->dataChanged(at, at, {Qt::DecorationRole});
                    }
                }
            });
    }
    return nimbara::ui::namedImage(QLatin1String(kPictureImage));
}

void PRImageBrowserModel::append(Item item) {
    const int row = rowCount();
    beginInsertRows({}, row, row);
    items_.push_back(std::move(item));
    endInsertRows();
}

void PRImageBrowserModel::clear() {
    loader_->cancelAll();
    beginResetModel();
    items_.clear();
    cache_.clear();
    asked_.clear();
    endResetModel();
}

std::size_t PRImageBrowserModel::thumbnailsLoading() const {
    return loader_->outstanding();
}

// ------------------------------------------------------------------ category

TransferPhotos::TransferPhotos(nimbara::ui::PageHost& host, QObject* parent)
    : QObject(parent), host_(host), model_(new PRImageBrowserModel(this)) {}

TransferPhotos::~TransferPhotos() {
    worker_.stop();
}

void TransferPhotos::attach(TransferUi& ui) {
    browser_ = ui.imageBroswerView;
    infoLabel_ = ui.photoInfolab;
    browser_->setModel(model_);
    zoomSliderDidChange(zoom_);
    QSlider* slider = ui.zoomSlider;
    slider->setValue(static_cast<int>(std::lround(zoom_ * slider->maximum())));
    connect(slider, &QSlider::valueChanged, this, [this, slider](int value) {
        zoomSliderDidChange(static_cast<double>(value) / slider->maximum());
    });
    showInfo();
}

void TransferPhotos::zoomSliderDidChange(double value) {
    zoom_ = std::clamp(value, 0.0, 1.0);
    if (browser_) {
        const int side = iconSide(zoom_);
        browser_->setIconSize(QSize(side, side));
        // Room for the picture and one line of its name under it.
        browser_->setGridSize(QSize(side + kCellMargin, side + kCellMargin + kNameHeight));
        browser_->viewport()->update();
    }
}

void TransferPhotos::ShowPhoto(int deviceIndex) {
    if (started_ || finished_) {
        return;  // loading, or loaded
    }
    const amd::DeviceTarget target{deviceIndex,
                                   amd::DeviceManager::GetInstance().DeviceSerial(deviceIndex)};
    if (target.deviceSerial == 0) {
        emit statusChanged(kNoDeviceText);
        return;
    }
    // Marked at once, on this thread: a second click before the worker got going starts nothing.
    started_ = true;
    target_ = target;
    model_->clear();
    emit statusChanged(QString());
    showInfo();
    host_.markBusy(nimbara::ui::PageHost::BusyMark::Photos, true);
    const std::filesystem::path copies = nimbara::transfer::photoCopyFolder(target.deviceSerial);
    worker_.start([this, target, copies](const nimbara::JobRunner::StopCheck& stop,
                                         const nimbara::JobRunner::Post& post) {
        // This load's own sink: its items go to this load and nowhere else.
        PhotoLoadSink sink;
        sink.itemAdded = [this, post](std::shared_ptr<IKImageItem> item) {
            post([this, item = std::move(item)]() mutable { UpImageDataSource(std::move(item)); });
        };
        const PhotoLoadResult result = PhotoLoader(target, copies, stop).load(sink);
        post([this, result] { ScanphotoFinishHandle(result); });
    });
}

void TransferPhotos::UpImageDataSource(std::shared_ptr<IKImageItem> item) {
    model_->append(std::move(item));
    showInfo();
}

void TransferPhotos::ScanphotoFinishHandle(const PhotoLoadResult& result) {
    worker_.finish();
    if (result.status != PhotoLoadStatus::Done || !target_.stillAttached()) {
        loadFailed(result.status == PhotoLoadStatus::Done
                       ? nimbara::transfer::photoLoadStatusText(PhotoLoadStatus::DeviceGone)
                       : nimbara::transfer::photoLoadStatusText(result.status) +
                             QStringLiteral(" Choose Photos to try again."));
        return;
    }
    started_ = false;
    // Copies that failed are tried again by the next visit: the category stays open.
    finished_ = result.failedCopies == 0;
    showInfo();
    emit statusChanged(finished_ ? QString()
                                 : QStringLiteral("%1 of the device's photos could not be copied. "
                                                  "Choose Photos to try again.")
                                       .arg(result.failedCopies));
    nimbara::NotificationCenter::defaultCenter().post(kPhotoFinished);
}

void TransferPhotos::loadFailed(const QString& text) {
    worker_.stop();
    started_ = false;
    finished_ = false;
    model_->clear();
    showInfo();
    emit statusChanged(text);
    nimbara::NotificationCenter::defaultCenter().post(kPhotoFinished);
}

void TransferPhotos::showInfo() {
    if (!infoLabel_) {
        return;
    }
    infoLabel_->setText(infoText());
}

QString TransferPhotos::infoText() const {
    const int count = model_->rowCount();
    if (started_) {
        return count == 0 ? kReadingText
                          : QStringLiteral("%1 (%2 so far)").arg(kReadingText).arg(count);
    }
    if (count == 0) {
        return finished_ ? QStringLiteral("The device holds no photos or movies.") : QString();
    }
    return count == 1 ? QStringLiteral("1 photo or movie")
                      : QStringLiteral("%1 photos and movies").arg(count);
}

void TransferPhotos::initAllDataAndAllView() {
    const bool wasLoading = started_;
    worker_.stop();
    started_ = false;
    finished_ = false;
    target_ = {};
    model_->clear();
    showInfo();
    if (wasLoading) {
        // The spinner of the stopped load never stays on.
        nimbara::NotificationCenter::defaultCenter().post(kPhotoFinished);
    }
}

void TransferPhotos::deviceDetached(int index) {
    if (target_.deviceIndex != index || (!started_ && model_->rowCount() == 0) ||
        target_.stillAttached()) {
        return;
    }
    if (started_) {
        loadFailed(nimbara::transfer::photoLoadStatusText(PhotoLoadStatus::DeviceGone) +
                   QStringLiteral(" Choose Photos to try again."));
        return;
    }
    // What was read from it goes with it.
    finished_ = false;
    model_->clear();
    showInfo();
    emit statusChanged(kGoneAfterReadingText);
}
