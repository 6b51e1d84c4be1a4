// Builds the backup file outline from manifest records: device name, then domain, then the
// folders of each relative path, with every file in the folder of its own path. Each level is
// kept sorted by locale-aware name comparison; files keep their arrival order. Check states are
// three-valued (unselected, selected, partly selected) and kept consistent from a folder up to
// the top. Main thread only.
//
// Every walk is a loop, never a recursion, and a record costs the length of its path: a record
// deeper or longer than a device writes (see isAcceptableEntryPath) is refused and counted.
#pragma once

#include "backup/pr_tree_dir_node.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class PRTreeController {
  public:
    using DirNode = std::shared_ptr<PRTreeDirNode>;

    PRTreeController() = default;

    // The device name of the backup being browsed; records are not shown while it is empty.
    void setDeviceName(const QString& name) { deviceName_ = name; }
    QString deviceName() const { return deviceName_; }

    // Files one manifest record (domain, relative path, full stored path). Records with an empty
    // path are the caller's to skip. A folder's own record makes its folder (an empty one stays
    // in the outline) and is not listed as a file. `isFistNode` has no effect. A file takes
    // whether it is stored, and its size, from the record (storedFileOf), and shows the record:
    // the outline keeps no copy of its texts. A record that knows whether it is stored is kept
    // by its folder as it is (PRTreeDirNode::addFileRecord): its file node is only made when the
    // folder's files are asked for.
    void addTreeNode(const DirNode& record, bool isFistNode = false);
    // Records refused for paths deeper or longer than a device writes.
    std::size_t refusedRecords() const { return refusedRecords_; }
    // Whether a record of this domain and relative path is within the outline's bounds.
    static bool isShowablePath(const QString& domain, const QString& path);
    // Walks "<device>/<domain>/<relative path>", creating folders as needed; the last component
    // becomes a file of its folder (for the record being added; none outside addTreeNode).
    // `fileKey` is not used.
    void addTreeFolder(const QString& path, const QString& fileKey = QString());
    // Appends a file node for the record being added to `folder`.
    void addFileNode(const DirNode& folder);

    // What grew since the last call: whether top-level folders were added, and the folders that
    // gained sub-folders or files (each once). A model takes them to insert the new rows.
    struct Changes {
        bool top = false;
        std::vector<DirNode> folders;
    };
    Changes takeChanges();

    // Check-state propagation after `folder` was created (isFirstCreate: it is new, unticked,
    // and in its parent already) or received an unticked file: a ticked folder that holds
    // something unticked now becomes partly ticked, or unticked when that is all it holds, and
    // the ticked folders above follow.
    static void refreshNodeState(const DirNode& folder, bool isFirstCreate);

    // Ticks set by the user. A folder is unticked, ticked or partly ticked; a file is ticked or
    // not. Ticks spread down from a folder to everything in it and up to the folders above, and
    // every folder keeps the number of ticked stored files in it and below it
    // (PRTreeDirNode::tickedFileCount), so the outline's count is read, never walked. The
    // operations below keep those numbers; a file's own setter does not.

    // The state a click gives a folder in `state`: unticked for a ticked one, else ticked.
    static int NewStateAfterChangeState(int state);
    // A click on a folder's tick: the folder takes NewStateAfterChangeState of its state, so does
    // everything in it, and the folders above follow. Returns the folder's new state.
    static int toggleFolderTick(const DirNode& folder);
    // The folder, its files and every folder and file below it take `state` (0 or 1); the
    // ticked-file numbers of the folder, of those below it and of those above it follow. The
    // walk is a loop over the subtree, once.
    static void SetAllSel(int state, const DirNode& folder);
    // Whether every sub-folder of the folder's parent (for a file: every file of its folder)
    // has `state`; true for a node without parent.
    static bool sameLevelState(int state, const DirNode& folder);
    static bool sameLevelState(int state, const std::shared_ptr<PRTreeFileNode>& file);
    // Whether the contents of the node's parent are mixed with respect to `state`: some files
    // and sub-folders have it and some do not, or a sub-folder is partly ticked.
    static bool GetSelectedOverItem(const DirNode& folder, int state);
    static bool GetSelectedOverItem(const std::shared_ptr<PRTreeFileNode>& file, int state);
    // Ticks (`ticked`) or unticks the files, then the folders above `clicked` (one of them)
    // follow. Files of other folders are followed up as well.
    static void tickFiles(const std::vector<std::shared_ptr<PRTreeFileNode>>& files,
                          const std::shared_ptr<PRTreeFileNode>& clicked, bool ticked);
    // `start` plus the ticked stored files in the folder and below it.
    static std::uint64_t getNumSelectedItem(const DirNode& folder, std::uint64_t start);
    // Ticked stored files in the whole outline.
    std::uint64_t getTreeSelectedItemNum() const;

    // The user ticks or unticks a folder: it, its sub-folders and their files take the state,
    // and every ancestor becomes selected, unselected or partly selected from its contents.
    static void setFolderChecked(const DirNode& folder, bool checked);
    // The user ticks or unticks one file; the folders above follow.
    static void setFileChecked(const std::shared_ptr<PRTreeFileNode>& file, bool checked);

    // Marks the outline as being rebuilt, then asks the view to refresh (the reload callback).
    void reloadOutLineData();
    void setReloadCallback(std::function<void()> callback) { reload_ = std::move(callback); }
    bool bRefreshTreeFlag() const { return refreshing_; }

    void SaveDirArray(const DirNode& folder) { fileDirArray_.push_back(folder); }
    void initData() { fileDirArray_.clear(); }
    const std::vector<DirNode>& fileDirArray() const { return fileDirArray_; }
    DirNode IsThisDomainFileHasCreate(const DirNode& record) const;
    DirNode IsThisDirOrFileFatherHasCreate(const DirNode& record) const;

    // The top-level folders (one per device name).
    const std::vector<DirNode>& content() const { return content_; }

    // Text before the first `ch` found at index 1 or later; "" when the text starts with `ch`;
    // nothing for an empty text or when `ch` does not occur.
    static std::optional<QString> SubstringToCh(const QString& text, QChar ch);
    // Text after the first `ch`; nothing for an empty text, no `ch`, or nothing after it.
    static std::optional<QString> SubstringFromCh(const QString& text, QChar ch);

  private:
    // The folder `name` of `level` under `parent`, made (in sorted place) when missing.
    DirNode folderNamed(std::vector<DirNode>& level, const DirNode& parent, const QString& name,
                        bool& created);
    // Notes that `folder` (the top level when null) gained a sub-folder or a file.
    void markChanged(const DirNode& folder);

    std::vector<DirNode> content_;
    std::vector<DirNode> fileDirArray_;
    QString deviceName_;
    DirNode current_;              // the record being added
    bool recordIsFolder_ = false;  // it is a folder's own entry
    // The folders of the last record filed, from the top.
    std::vector<DirNode> lastChain_;
    bool topChanged_ = false;
    std::vector<DirNode> changedFolders_;
    std::size_t refusedRecords_ = 0;
    bool refreshing_ = false;
    std::function<void()> reload_;
};
