// The array controllers behind the quick-scan window's two result tables: a table model over a
// list of large-file or large-app records. The model holds its own list (the scan hands it a
// sorted copy) and shares the records, so a tick set on a record is seen by the clean-up.
//
// Columns: "Name" (the shortened name) and "Size" (the file's size text; for an app its total
// size text, or one blank when it has none). GUI thread only.
#pragma once

#include <QAbstractTableModel>

#include <memory>
#include <vector>

class PRLargeFileNode;

class PRLargeFileController : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum class Kind { LargeFiles, LargeApps };
    static constexpr int kNameColumn = 0;
    static constexpr int kSizeColumn = 1;

    explicit PRLargeFileController(Kind kind, QObject* parent = nullptr);

    Kind kind() const { return kind_; }
    // Replaces every record (the "remove all, then add" of the finishing step).
    void setArrangedObjects(std::vector<std::shared_ptr<PRLargeFileNode>> records);
    void removeAllObjects();
    const std::vector<std::shared_ptr<PRLargeFileNode>>& arrangedObjects() const {
        return records_;
    }
    // The record of a row; null outside the list.
    std::shared_ptr<PRLargeFileNode> recordAt(int row) const;
    // Tells the views that the ticks of every row may have changed.
    void ticksChanged();

    // The column's identifier, "Name" or "Size"; empty for another column.
    static QString columnIdentifier(int column);
    // What the two columns show for a record of this kind.
    QString nameText(const PRLargeFileNode& record) const;
    QString sizeText(const PRLargeFileNode& record) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    Kind kind_;
    std::vector<std::shared_ptr<PRLargeFileNode>> records_;
};
