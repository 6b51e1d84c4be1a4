// One manifest entry of a backup, and also one folder of the backup file outline. Held by
// std::shared_ptr. The text fields are thread-safe (a record is made on the scan thread and read
// on the main thread); the outline links (parent, children, files, check state) belong to the
// main thread, which alone builds the outline.
#pragma once

#include "platform/locked_value.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class PRTreeFileNode;

class PRTreeDirNode {
  public:
    // check states
    static constexpr int kUnselected = 0;
    static constexpr int kSelected = 1;
    static constexpr int kSelectedSome = 2;

    // What a manifest record stands for; only a file has contents in the backup.
    enum class EntryKind { File, Folder, Link };

    PRTreeDirNode() = default;
    PRTreeDirNode(const PRTreeDirNode&) = delete;
    PRTreeDirNode& operator=(const PRTreeDirNode&) = delete;
    // A deep outline is released level by level, not by one nested destructor per level.
    ~PRTreeDirNode() {
        std::vector<std::shared_ptr<PRTreeDirNode>> pending = std::move(children_);
        while (!pending.empty()) {
            std::shared_ptr<PRTreeDirNode> node = std::move(pending.back());
            pending.pop_back();
            if (node.use_count() == 1) {
                for (auto& child : node->children_) {
                    pending.push_back(std::move(child));
                }
                node->children_.clear();
            }
        }
    }

    // enclosing folder; null at the top. Held weakly: the folder owns its children.
    std::shared_ptr<PRTreeDirNode> parent() const { return parent_.lock(); }
    void setParent(const std::shared_ptr<PRTreeDirNode>& value) { parent_ = value; }
    // folder name shown in the outline
    QString fileName() const { return fileName_.get(); }
    void setFileName(const QString& value) { fileName_.set(value); }
    // record: relative path of the entry inside its domain
    QString filePath() const { return filePath_.get(); }
    void setFilePath(const QString& value) { filePath_.set(value); }
    // record: full path of the stored backup file (empty when unknown)
    QString fileKey() const { return fileKey_.get(); }
    void setFileKey(const QString& value) { fileKey_.set(value); }
    // record: backup domain
    QString fileDomain() const { return fileDomain_.get(); }
    void setFileDomain(const QString& value) { fileDomain_.set(value); }
    // record: a file, a folder or a link (a file unless the list says otherwise)
    EntryKind entryKind() const { return entryKind_.load(); }
    void setEntryKind(EntryKind value) { entryKind_.store(value); }
    bool isFileEntry() const { return entryKind() == EntryKind::File; }
    // record: whether the backup holds the entry's stored file (reached without a link) and its
    // size, as the backup's reader found them; unknown for a record made another way
    void setStoredFile(bool stored, std::uint64_t size) {
        storedSize_.store(stored ? size : 0);
        stored_.store(stored ? kStored : kNotStored);
    }
    bool storedFileKnown() const { return stored_.load() != kUnknown; }
    bool isStored() const { return stored_.load() == kStored; }
    std::uint64_t storedSize() const { return storedSize_.load(); }
    // name of the check-state image: "unselected", "selected" or "selectedSome"
    QString nodeIcon() const { return nodeIcon_.get(); }
    void setNodeIcon(const QString& value) { nodeIcon_.set(value); }
    // a folder that holds files and, so far, no sub-folders
    bool isLeaf() const { return isLeaf_; }
    void setIsLeaf(bool value) { isLeaf_ = value; }
    // check state: kUnselected, kSelected or kSelectedSome
    int isSelected() const { return isSelected_; }
    void setIsSelected(int value) { isSelected_ = value; }

    // sub-folders, sorted
    std::vector<std::shared_ptr<PRTreeDirNode>>& children() { return children_; }
    const std::vector<std::shared_ptr<PRTreeDirNode>>& children() const { return children_; }
    void setChildren(std::vector<std::shared_ptr<PRTreeDirNode>> value) {
        children_ = std::move(value);
    }
    // files, in arrival order
    const std::vector<std::shared_ptr<PRTreeFileNode>>& fileChildren() const {
        return fileChildren_;
    }
    void setFileChildren(std::vector<std::shared_ptr<PRTreeFileNode>> value) {
        fileChildren_ = std::move(value);
    }
    void addFileChildren(std::shared_ptr<PRTreeFileNode> file) {
        fileChildren_.push_back(std::move(file));
    }

  private:
    static constexpr int kUnknown = -1;
    static constexpr int kNotStored = 0;
    static constexpr int kStored = 1;

    std::weak_ptr<PRTreeDirNode> parent_;
    LockedValue<QString> fileName_{QLatin1String("")};
    LockedValue<QString> filePath_{QLatin1String("")};
    LockedValue<QString> fileKey_{QLatin1String("")};
    LockedValue<QString> fileDomain_{QLatin1String("")};
    LockedValue<QString> nodeIcon_{QStringLiteral("unselected")};
    std::atomic<EntryKind> entryKind_{EntryKind::File};
    std::atomic<int> stored_{kUnknown};
    std::atomic<std::uint64_t> storedSize_{0};
    bool isLeaf_ = false;
    int isSelected_ = kUnselected;
    std::vector<std::shared_ptr<PRTreeDirNode>> children_;
    std::vector<std::shared_ptr<PRTreeFileNode>> fileChildren_;
};

// One backup file in a folder of the outline. Main thread only.
class PRTreeFileNode {
  public:
    PRTreeFileNode() = default;
    PRTreeFileNode(const PRTreeFileNode&) = delete;
    PRTreeFileNode& operator=(const PRTreeFileNode&) = delete;

    std::shared_ptr<PRTreeDirNode> parent() const { return parent_.lock(); }
    void setParent(const std::shared_ptr<PRTreeDirNode>& value) { parent_ = value; }
    // file name shown in the table
    QString treefileName() const { return treefileName_; }
    void setTreefileName(const QString& value) { treefileName_ = value; }
    // the name's extension, or the whole name when it has none
    QString treefileType() const { return treefileType_; }
    void setTreefileType(const QString& value) { treefileType_ = value; }
    // size text
    QString fileSize() const { return fileSize_; }
    void setFileSize(const QString& value) { fileSize_ = value; }
    // size in bytes of the stored file
    std::uint64_t realFileSize() const { return realFileSize_; }
    void setRealFileSize(std::uint64_t value) { realFileSize_ = value; }
    // full path of the stored file
    QString filePath() const { return filePath_; }
    void setFilePath(const QString& value) { filePath_ = value; }
    // domain, "/", relative path
    QString dirFilePath() const { return dirFilePath_; }
    void setDirFilePath(const QString& value) { dirFilePath_ = value; }
    // a file exists at filePath
    bool isFile() const { return isFile_; }
    void setIsFile(bool value) { isFile_ = value; }
    // check state of the file row
    bool bSelected() const { return bSelected_; }
    void setBSelected(bool value) { bSelected_ = value; }

  private:
    std::weak_ptr<PRTreeDirNode> parent_;
    QString treefileName_{QLatin1String("")};
    QString treefileType_{QLatin1String("")};
    QString fileSize_;
    std::uint64_t realFileSize_ = 0;
    QString filePath_;
    QString dirFilePath_{QLatin1String("")};
    bool isFile_ = false;
    bool bSelected_ = false;
};
