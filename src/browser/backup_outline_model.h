// Read-only item model over the backup file outline of a PRTreeController: the device folders at
// the top; under each folder its sub-folders (in outline order), then its files (in arrival
// order). Columns "Name" and "Size" (the size text of a file; blank for a folder). The entry a
// backup keeps for a folder itself is not shown as a file when the folder is shown.
//
// reload() copies the outline's shape and texts into the model's own table, and every index
// refers to a row of that table, never to a node directly: the controller may grow its outline
// between reloads without any index going stale. The table shares the nodes, so a node stays
// valid for as long as the model shows it. GUI thread only.
#pragma once

#include <QAbstractItemModel>
#include <QString>

#include <memory>
#include <vector>

class PRTreeController;
class PRTreeDirNode;
class PRTreeFileNode;

namespace nimbara::browser {

class BackupOutlineModel : public QAbstractItemModel {
    Q_OBJECT
  public:
    static constexpr int kNameColumn = 0;
    static constexpr int kSizeColumn = 1;

    // The controller is not owned and must outlive the model, or be replaced first.
    explicit BackupOutlineModel(PRTreeController* controller = nullptr, QObject* parent = nullptr);

    // Replaces the controller (null shows nothing) and reloads.
    void setController(PRTreeController* controller);
    PRTreeController* controller() const { return controller_; }
    // Copies the controller's current outline and resets the attached views.
    void reload();
    // Files in the copied outline.
    int fileCount() const { return fileCount_; }

    // The folder or file node a row shows; null for another kind of row or an invalid index.
    std::shared_ptr<PRTreeDirNode> folderAt(const QModelIndex& index) const;
    std::shared_ptr<PRTreeFileNode> fileAt(const QModelIndex& index) const;

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    struct Row {
        std::shared_ptr<PRTreeDirNode> folder;  // set for a folder row
        std::shared_ptr<PRTreeFileNode> file;   // set for a file row
        QString name;
        QString size;
        int parent = -1;            // table position of the enclosing folder; -1 at the top
        int row = 0;                // position under that folder
        std::vector<int> children;  // table positions: sub-folders, then files
    };

    void capture();
    int addRow(Row row);
    // The table row of a valid index of this model; null otherwise.
    const Row* rowOf(const QModelIndex& index) const;
    const std::vector<int>& childrenOf(const QModelIndex& parent) const;

    PRTreeController* controller_ = nullptr;
    std::vector<Row> rows_;
    std::vector<int> top_;
    int fileCount_ = 0;
};

}  // namespace nimbara::browser
