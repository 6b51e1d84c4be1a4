// The photo category of the transfer page: the device's pictures and movies in an image browser
// (a list view in icon mode) with a zoom slider.
//
// The load runs once per device on the category's own worker, bound to the device (index AND
// serial) it was started for: the host's photo busy mark is on while it runs, and every end posts
// "photoScanFinished". A load that failed, was cut short by a departed device, or could not copy
// every file clears its flags, so choosing Photos again tries again (copies made whole are kept
// and not fetched twice). Items appear one by one as their copies land; thumbnails are read from
// the local copies off the GUI thread and kept in a cache, movies show a movie picture.
// GUI thread only.
#pragma once

#include <QAbstractListModel>
#include <QCache>
#include <QLabel>
#include <QListView>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QSet>

#include <memory>
#include <vector>

#include "device/device_target.h"
#include "platform/job_runner.h"
#include "transfer/ik_image_item.h"
#include "transfer/photo_load.h"
#include "ui/page_host.h"

struct TransferUi;

namespace nimbara::ui {
class ChatPictureLoader;
}

// The image browser's items (imageArray): one row per IKImageItem, its file name as text and
// its thumbnail as decoration. A thumbnail not cached yet is asked for on first draw.
class PRImageBrowserModel : public QAbstractListModel {
    Q_OBJECT
  public:
    using Item = std::shared_ptr<IKImageItem>;
    // The size thumbnails are read at; the browser's zoom scales them down.
    static constexpr int kThumbnailBox = 256;

    explicit PRImageBrowserModel(QObject* parent = nullptr);
    ~PRImageBrowserModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // numberOfItemsInImageBrowser / imageBrowser:itemAtIndex:
    int numberOfItemsInImageBrowser() const { return static_cast<int>(items_.size()); }
    Item itemAtIndex(int index) const;

    void append(Item item);
    // Empties the list, the cache and the loads not handed back yet.
    void clear();
    // Thumbnails asked for and not handed back yet.
    std::size_t thumbnailsLoading() const;
    // A thumbnail of the copy at `path` is cached.
    bool hasThumbnail(const QString& path) const { return cache_.contains(path); }

  private:
    QPixmap thumbnail(const IKImageItem& item) const;

    std::vector<Item> items_;
    nimbara::ui::ChatPictureLoader* loader_ = nullptr;
    mutable QCache<QString, QPixmap> cache_;
    mutable QSet<QString> asked_;
};

class TransferPhotos : public QObject {
    Q_OBJECT
  public:
    // `host` outlives the category.
    explicit TransferPhotos(nimbara::ui::PageHost& host, QObject* parent = nullptr);
    ~TransferPhotos() override;

    // Hooks the browser, the zoom slider and the info line of (re)built page widgets.
    void attach(TransferUi& ui);

    // Starts the load of the device at `deviceIndex` unless one runs or the photos were read.
    void ShowPhoto(int deviceIndex);
    // The browser's zoom: 0 (smallest icons) to 1 (largest).
    void zoomSliderDidChange(double value);
    double zoomValue() const { return zoom_; }

    // Another device became current: stops the load, empties the browser and clears the flags.
    void initAllDataAndAllView();
    // The device at `index` went away: a load for it ends, and its photos leave the browser.
    void deviceDetached(int index);

    bool bImageStartTransfer() const { return started_; }
    bool bPhotoLoadFinished() const { return finished_; }
    bool loading() const { return worker_.busy(); }
    std::size_t workersEnding() const { return worker_.ending(); }
    PRImageBrowserModel* model() const { return model_; }
    // The device the browser's items were read from (none: serial 0).
    const amd::DeviceTarget& target() const { return target_; }
    // What the photo view's info line says.
    QString infoText() const;

  signals:
    // A sentence for the page's status line (empty: nothing wrong).
    void statusChanged(const QString& text);

  private:
    void UpImageDataSource(std::shared_ptr<IKImageItem> item);
    void ScanphotoFinishHandle(const nimbara::transfer::PhotoLoadResult& result);
    void loadFailed(const QString& text);
    void showInfo();

    nimbara::ui::PageHost& host_;
    PRImageBrowserModel* model_ = nullptr;
    QPointer<QListView> browser_;
    QPointer<QLabel> infoLabel_;
    amd::DeviceTarget target_;
    bool started_ = false;
    bool finished_ = false;
    double zoom_ = 0.35;
    nimbara::JobRunner worker_;
};
