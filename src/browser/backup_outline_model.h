// Read-only item model over the backup file outline of a PRTreeController: the device folders at
// the top; under each folder its sub-folders (in outline order), then its files (in arrival
// order). Columns "Name" and "Size" (the size text of a file; blank for a folder). The entry a
// backup keeps for a folder itself is not shown as a file when the folder is shown. An outline
// that shows its files in a table beside it shows its folders only (setShowsFiles).
//
// The name column's decoration is the name of the row's tick image ("unselected", "selected"
// or "selectedSome"), for an image cell to draw; ticksChanged() tells the views which rows to
// draw again after the ticks changed.
//
// The model mirrors the outline's shape, and only its shape: a table of the folders it shows,
// each with its sub-folders, how many of the folder's files it has looked at and which of them
// it leaves out (a folder's own entry); every text is read from the nodes when asked. It never
// makes a folder's file nodes (PRTreeDirNode keeps files as records until asked) unless its
// files are asked for: shownFiles, fileAt, or the rows of a folder's files when files are rows.
// reload() copies the whole outline and resets the attached views; update() takes only what the
// controller added since the model last looked and inserts those rows where they belong, so that a
// view keeps its place, selection and open folders while a scan adds hundreds of thousands of rows.
// Between the two the controller may grow its outline without any index going stale. The table
// shares the folder nodes, so a node stays valid for as long as the model shows it. GUI thread
// only.
#pragma once

#include <QAbstractItemModel>
#include <QString>

#include <cstdint>
#include <memory>
#include <unordered_map>
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
    // Inserts the rows the controller added since the last reload or update (rowsInserted, in
    // runs), and removes the file row of a folder's own entry once its folder is shown. Never
    // resets. Costs the number of new rows, not the size of the outline.
    void update();
    // Files in the mirrored outline.
    int fileCount() const { return fileCount_; }
    // Whether files are rows of the outline (the default) or only folders are.
    bool showsFiles() const { return showsFiles_; }
    void setShowsFiles(bool shows);

    // The files of a folder row, as the outline shows them (a folder's own entry left out), in
    // arrival order. Empty for another kind of row.
    std::vector<std::shared_ptr<PRTreeFileNode>> shownFiles(const QModelIndex& folder) const;
    // The row of a folder the model shows (invalid when it shows no such folder).
    QModelIndex indexOfFolder(const PRTreeDirNode* folder) const;
    // Tells the views that the ticks of `folder`, of everything shown below it and of the
    // folders above it changed. Costs the number of folders shown below it.
    void ticksChanged(const std::shared_ptr<PRTreeDirNode>& folder);

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

  signals:
    // The files shown for the folder of `folder` changed: some came, or a folder's own entry
    // was found and left out. Sent whether or not files are rows of the outline.
    void folderFilesChanged(const QModelIndex& folder);

  private:
    // One folder shown. Position 0 of the table is the invisible root above the device folders.
    struct Folder {
        std::shared_ptr<PRTreeDirNode> node;  // null for the root
        int parent = -1;                      // table position of the enclosing folder
        int row = 0;                          // position under it
        std::vector<int> folders;             // table positions of the sub-folders shown
        std::size_t filesSeen = 0;            // the node's files looked at so far
        std::vector<std::uint32_t> hidden;    // positions of those not shown, ascending
        std::size_t unstored = 0;             // files shown without a stored file
        std::size_t shownFiles() const { return filesSeen - hidden.size(); }
    };
    // What the files of a folder that were not looked at yet add.
    struct NewFiles {
        std::size_t seen = 0;               // the node's files looked at, with these
        std::size_t shown = 0;              // new files shown
        std::size_t unstored = 0;           // of them, without a stored file
        std::vector<std::uint32_t> hidden;  // new positions not shown
    };
    struct RowRef {
        int folder = -1;  // the folder shown by the row, or the folder holding the file
        int file = -1;    // position of the file in `files`; -1 for a folder row
    };

    void capture();
    int addFolder(const std::shared_ptr<PRTreeDirNode>& node, int parent, int row);
    // Copies a newly shown folder's sub-folders and files, all the way down.
    void mirror(int top);
    // Copies the sub-folders and files `at` gained since it was last looked at, with signals.
    void sync(int at);
    // The files of `folder` not looked at yet, and taking them (after which they are rows).
    NewFiles newFiles(const Folder& folder) const;
    void takeFiles(Folder& folder, NewFiles& files);
    // The position in the node's files of the shown file `shown`.
    static std::size_t positionOf(const Folder& folder, std::size_t shown);
    // Hides the shown file rows of `at` that are a folder's own entry for `name`.
    void hideEntriesOf(int at, const QString& name);
    const std::vector<std::shared_ptr<PRTreeDirNode>>& subFolders(int at) const;
    QModelIndex indexOfFolder(int at) const;
    // Rows under a folder: its sub-folders, and its files when they are rows.
    int rowsOf(const Folder& folder) const;
    RowRef refOf(const QModelIndex& index) const;
    // The position in its folder's files of a file row's file.
    std::size_t filePosition(const RowRef& ref) const;

    PRTreeController* controller_ = nullptr;
    std::vector<Folder> folders_;
    std::unordered_map<const PRTreeDirNode*, int> folderAt_;
    int fileCount_ = 0;
    bool showsFiles_ = true;
};

}  // namespace nimbara::browser
