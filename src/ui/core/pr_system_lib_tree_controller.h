// Turns the flat entries of a device walk into a folder tree for an outline: one top-level
// folder "System" stands for the device's root, every entry is filed (as a PRPhoneSystemFileNode)
// in the folder of its parent directory, and the folders along its path are made as needed. A
// directory therefore shows twice: as an outline folder once something below it arrived, and as
// an entry of kind "Folder" in its parent's file list.
//
// The device file-system browser and the storage manager's user-data view each own one; their
// walks run on a worker and hand the records over to the GUI thread, where addTreeNode files
// them. The tree only grows; clear() starts a fresh one (a device change, a new walk).
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ui/core/device_file_nodes.h"
#include "ui/core/folder_tree.h"

class PRSystemLibTreeController {
  public:
    using DirNode = std::shared_ptr<PRPhoneSystemDirNode>;
    using Tree = nimbara::ui::FolderTree<PRPhoneSystemDirNode>;

    PRSystemLibTreeController() = default;

    // Files one walk record: its filePath is the full device path ("/" then the path), its
    // fileSize the size text (absent or empty for a folder) and fileSizeNumber its bytes.
    void addTreeNode(const DirNode& record);
    // Places the key ("System" followed by the path's components).
    void addPathToTreeFolder(const std::vector<QString>& key);
    // Files an entry named `name` for the record being added in `folder`.
    void addFileNode(const DirNode& folder, const QString& name);

    // A new folder that holds an entry was made: the outline has new rows. Raises
    // BRefreshTreeFlag around the refresh and then runs the refresh callback (the page expands
    // its first row).
    void reloadOutLineData();
    void setRefreshCallback(std::function<void()> callback) { refresh_ = std::move(callback); }

    void SaveDirArray(const DirNode& folder) { fileDirArray_.push_back(folder); }
    void initData() { fileDirArray_.clear(); }
    // Every folder made to hold an entry, in creation order.
    const std::vector<DirNode>& fileDirArray() const { return fileDirArray_; }
    // The first folder of fileDirArray whose filePath is the record's path without its last
    // component (tree folders keep an empty filePath, so only a record directly below "" finds
    // one), or null.
    DirNode IsThisDirOrFileFatherHasCreate(const DirNode& record) const;

    static std::optional<QString> SubstringToCh(const QString& text, QChar ch) {
        return nimbara::ui::substringToCh(text, ch);
    }
    static std::optional<QString> SubstringFromCh(const QString& text, QChar ch) {
        return nimbara::ui::substringFromCh(text, ch);
    }

    QString nodeFullPath() const { return nodeFullPath_; }
    void setNodeFullPath(const QString& value) { nodeFullPath_ = value; }
    QString nodeFileSize() const { return nodeFileSize_; }
    void setNodeFileSize(const QString& value) { nodeFileSize_ = value; }
    bool BRefreshTreeFlag() const { return refreshing_; }
    void setBRefreshTreeFlag(bool value) { refreshing_ = value; }

    // The top-level folders ("System" once anything arrived).
    const std::vector<DirNode>& content() const { return tree_.content(); }
    // The tree's shape, for the outline model.
    Tree& tree() { return tree_; }
    // Forgets the tree and fileDirArray, for a new walk.
    void clear();

  private:
    std::shared_ptr<PRPhoneSystemFileNode> makeEntry(const DirNode& folder,
                                                     const QString& name) const;

    Tree tree_;
    std::vector<DirNode> fileDirArray_;
    QString nodeFullPath_;
    QString nodeFileSize_;
    std::uint64_t nodeFileSizeNumber_ = 0;
    bool refreshing_ = false;
    std::function<void()> refresh_;
};
