// Columns of tables and outlines sized to what they show. A column grows to its widest text,
// header included, whenever the rows change (never past kMaxFittedColumnWidth, where a long path
// or message is cut); a size column is never narrower than the longest size text ("999.99bytes")
// and a date column than a date with its time. Widths a page designed, and widths the user
// dragged, stay as they are while the contents fit them: columns only grow. The last column is
// left to the header when it stretches, and so are sections the page gave a mode other than
// Interactive. GUI thread only.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QAbstractItemModel;
class QAbstractItemView;
class QHeaderView;

namespace nimbara::ui {

inline constexpr int kMaxFittedColumnWidth = 360;

class ColumnFitter : public QObject {
    Q_OBJECT
  public:
    // Fits the columns of `view` (a QTableView or a QTreeView) from now on; the object belongs to
    // the view.
    explicit ColumnFitter(QAbstractItemView* view);

    // Fits the columns now.
    void fit();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QHeaderView* header() const;
    void watchModel();
    void schedule();
    int minimumWidth(int column) const;

    QAbstractItemView* view_;
    QPointer<QAbstractItemModel> model_;
    QList<QMetaObject::Connection> modelConnections_;
    QTimer timer_;
};

// Fits the columns of `view` to their contents (see ColumnFitter); null is ignored, and a view
// fitted already is left as it is.
void fitColumnsToContents(QAbstractItemView* view);

}  // namespace nimbara::ui
