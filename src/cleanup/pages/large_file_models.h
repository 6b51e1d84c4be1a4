// The list controllers behind the large-file finder's four tables: a table model over a list of
// PRLargeFileNode records, for user files or for apps (and the files found in their containers).
// The model holds its own list and shares the records with the page's scan lists.
//
// User-file columns: "Type" (the info image, clicked for the advice), "Name", "Size", "Path".
// App columns: "Icon", "Name", "Version", "App Size", "Data Size", "Total Size", "Location" (the
// owning app and the path of a file found in its container; empty for an app). GUI thread only.
#pragma once

#include <QAbstractTableModel>

#include <memory>
#include <vector>

class PRLargeFileNode;

class PRLargeFileRecordsController : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum class Kind { UserFiles, Apps };
    static constexpr int kImageColumn = 0;

    explicit PRLargeFileRecordsController(Kind kind, QObject* parent = nullptr);

    Kind kind() const { return kind_; }
    // Content cleared, then `records` added.
    void setArrangedObjects(std::vector<std::shared_ptr<PRLargeFileNode>> records);
    void removeAllObjects() { setArrangedObjects({}); }
    const std::vector<std::shared_ptr<PRLargeFileNode>>& arrangedObjects() const {
        return records_;
    }
    std::shared_ptr<PRLargeFileNode> recordAt(int row) const;
    // The row of `record`; -1 when it is not listed.
    int rowOf(const PRLargeFileNode* record) const;
    // Tells the views that the texts of `record`'s row changed.
    void recordChanged(const PRLargeFileNode* record);

    // The column's identifier ("Type", "Name", ...); empty outside the columns.
    QString columnIdentifier(int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    Kind kind_;
    std::vector<std::shared_ptr<PRLargeFileNode>> records_;
};
