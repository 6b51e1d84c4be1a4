// The files of the folder chosen in the backup file outline, as a table: a tick, the name, the
// size and the type. The rows are the folder's files as the outline shows them, in arrival
// order; files that come while a scan runs are appended as rows. The tick column's decoration
// is the name of the tick image ("selected" or "unselected"), for an image cell to draw; the
// model never changes a tick itself (the ticks spread to the folders, which is the outline's
// business). GUI thread only.
#pragma once

#include <QAbstractTableModel>

#include <memory>
#include <vector>

class PRTreeDirNode;
class PRTreeFileNode;

namespace nimbara::browser {

class BackupFileTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { kTickColumn, kNameColumn, kSizeColumn, kTypeColumn, kColumnCount };

    explicit BackupFileTableModel(QObject* parent = nullptr);

    // Shows `files` of `folder` (null and nothing: an empty table), resetting the views.
    void setFiles(std::shared_ptr<PRTreeDirNode> folder,
                  std::vector<std::shared_ptr<PRTreeFileNode>> files);
    // The same folder's files again: rows for files that came are inserted at the end when the
    // shown ones are still there in order; otherwise the table is reset.
    void updateFiles(std::vector<std::shared_ptr<PRTreeFileNode>> files);
    // The folder shown (null when none).
    const std::shared_ptr<PRTreeDirNode>& folder() const { return folder_; }
    const std::vector<std::shared_ptr<PRTreeFileNode>>& files() const { return files_; }
    // The file of a row; null outside the table.
    std::shared_ptr<PRTreeFileNode> fileAt(int row) const;
    // Tells the views that every row's tick may have changed.
    void ticksChanged();

    // "bSelected", "Name", "Size", "Type": the identifiers of the columns.
    static QString columnIdentifier(int column);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  private:
    std::shared_ptr<PRTreeDirNode> folder_;
    std::vector<std::shared_ptr<PRTreeFileNode>> files_;
};

}  // namespace nimbara::browser
