// The items of the thumbnail strip: one per record of the photo category's list, in its order. It
// follows that list (records appended as the scan finds them, a reset for another backup or a
// sort, ticks made elsewhere, such as select all), so the strip and the category never disagree.
//
// Every item shows a placeholder until its thumbnail is made. Thumbnails are asked for only for
// the loading range the view hands in, at most once per item: an item asked for and not handed
// back is not asked again, and asks that left the range are dropped. Pictures are kept in a cache
// by file path (bounded in bytes; one pushed out is made again only when it is wanted again), so
// a reset of the same records (a sort) makes nothing anew. GUI thread only.
#pragma once

#include <QAbstractListModel>
#include <QCache>
#include <QHash>
#include <QPixmap>

#include <functional>
#include <memory>
#include <vector>

#include "browser/pages/thumbnail_strip_source.h"
#include "browser/record_table_model.h"
#include "browser/thumbnail_strip_geometry.h"

class PRPhotoAndVideoNode;

namespace nimbara::browser {

class ThumbnailStripModel final : public QAbstractListModel {
    Q_OBJECT
  public:
    using Records = RecordTableModel<PRPhotoAndVideoNode>;
    using Record = std::shared_ptr<PRPhotoAndVideoNode>;
    // Whether the item is highlighted (bool), and its Thumbnail (int).
    enum Role { kHighlightRole = Qt::UserRole + 20, kThumbnailRole };
    enum class Thumbnail { Placeholder, Loading, Picture, FileIcon, Movie, Unreadable };

    // `records` is the category's list and outlives the model.
    ThumbnailStripModel(Records* records, std::unique_ptr<ThumbnailSource> source,
                        QObject* parent = nullptr);
    ~ThumbnailStripModel() override;

    // Hears the change of the ticked count that each tick in the strip makes.
    void setTickHandler(std::function<void(int change)> handler) { ticked_ = std::move(handler); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Qt::CheckStateRole ticks or unticks the item's record.
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    Record record(int row) const { return records_ ? records_->record(row) : nullptr; }
    Thumbnail thumbnail(int row) const;

    // Asks for the thumbnails of `range` not made yet; asks outside it still waiting are dropped.
    void showNodeImageFromRange(IndexRange range);
    // Asks neither handed back nor dropped.
    std::size_t loading() const { return static_cast<std::size_t>(loading_.size()); }

    // A click on item `row` (-1: beside every item): it turns its highlight over and every other
    // item loses its highlight; a click on one of several highlighted items changes nothing.
    void mouseDown(int row);

  private:
    void tick(int row, bool ticked);
    void took(const QString& path, const ThumbnailSource::Made& made);
    void dropLoads();
    void forgetUnlisted();
    void setHighlight(int row, bool on);
    Thumbnail stateOf(const QString& path) const;

    Records* records_;
    std::unique_ptr<ThumbnailSource> source_;
    std::function<void(int)> ticked_;
    std::vector<char> highlighted_;
    // Thumbnails made or being made, by file path; pictures in the cache.
    QHash<QString, Thumbnail> made_;
    QCache<QString, QPixmap> pictures_;
    // Paths asked for and not handed back, with the row each was asked for.
    QHash<QString, int> loading_;
    QPixmap placeholder_;
    QPixmap movie_;
    QPixmap unreadable_;
};

}  // namespace nimbara::browser
