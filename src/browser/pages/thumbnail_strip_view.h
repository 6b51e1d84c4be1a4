// The thumbnail strip of the backup browser's photo category: every media file of the backup as
// a thumbnail with a tick box under it, in a grid of 140-point cells (a 120-point item and a
// 20-point gap). A list view in icon mode, so only the items in sight are drawn and thousands of
// records stay cheap; Qt's static icon grid places the cells with the numbers the strip's
// geometry uses (stripColumns, stripCellRect).
//
// Thumbnails are made for the loading range only: the rows in sight and one below, worked out
// from the scroll bar's offset and the real column count, each time the view scrolls, changes
// size, takes records or is shown. A click highlights the item under it; a click on the tick box
// ticks or unticks the record. GUI thread only.
#pragma once

#include <QListView>

#include <functional>
#include <memory>

#include "browser/pages/thumbnail_strip_model.h"

namespace nimbara::browser {

class PRSrollThumView final : public QListView {
    Q_OBJECT
  public:
    // `records` is the photo category's list; it outlives the view.
    PRSrollThumView(ThumbnailStripModel::Records* records, std::unique_ptr<ThumbnailSource> source,
                    QWidget* parent = nullptr);

    ThumbnailStripModel* strip() const { return strip_; }
    // Columns of the grid at the view's present width.
    int columns() const;
    // The items whose thumbnails the view wants now.
    IndexRange loadingRange() const;

    // The tick box line of the item in `cell`: a click there ticks, it does not highlight.
    static QRect tickBoxRect(const QRect& cell);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    void loadVisible();

    ThumbnailStripModel* strip_;
};

}  // namespace nimbara::browser
