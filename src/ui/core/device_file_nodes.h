// Records of files and folders on the device's AFC file system and in its crash-log area. The
// quick scan and the system boost page keep their junk lists as PRPhoneSystemFileNode lists; the
// device walks hand PRPhoneSystemDirNode records to the folder-tree builder, which makes a tree of
// PRPhoneSystemDirNode folders holding PRPhoneSystemFileNode entries.
//
// Nodes are held by std::shared_ptr; a folder owns its children, the parent links are weak.
// Every single getter or setter is atomic (a reader never sees a half-written value), and a
// folder's lists are handed out as snapshots and changed only through its own locked adders and
// setters, so a worker may fill nodes that the GUI shows. Texts keep "empty" (QString("")) and
// "absent" (null QString) apart: see each field.
//
// Protected files: isProtected() tells whether the file is one the clean-up must never remove
// (nimbara::cleanup::isProtectedDeviceFile of its path). The quick scan sets it on every record it
// makes; the clean-up still asks isProtectedDeviceFile itself before removing anything.
#pragma once

#include <QString>

#include "platform/locked_device_path.h"
#include "platform/locked_value.h"
#include "ui/core/folder_lists.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class PRPhoneSystemDirNode;

class PRPhoneSystemFileNode {
  public:
    // Empty (not null) texts, size 0, not transferred, not protected, no parent.
    PRPhoneSystemFileNode() = default;
    PRPhoneSystemFileNode(const PRPhoneSystemFileNode&) = delete;
    PRPhoneSystemFileNode& operator=(const PRPhoneSystemFileNode&) = delete;

    // The folder whose fileChildren list this node (a back link; null when none or gone).
    std::shared_ptr<PRPhoneSystemDirNode> parent() const { return parent_.get().lock(); }
    void setParent(const std::shared_ptr<PRPhoneSystemDirNode>& value) { parent_.set(value); }

    // Full device path, beginning with "/", as display text; devicePath is the same path as the
    // device listed it, and every removal uses it (see LockedDevicePath).
    QString filePath() const { return filePath_.text(); }
    void setFilePath(const QString& value) { filePath_.setText(value); }
    std::string devicePath() const { return filePath_.bytes(); }
    void setDevicePath(const std::string& value) { filePath_.setBytes(value); }
    // The last component of the path.
    QString fileName() const { return fileName_.get(); }
    void setFileName(const QString& value) { fileName_.set(value); }
    // Size text (may be set to a null text by a producer that has none).
    QString fileSize() const { return fileSize_.get(); }
    void setFileSize(const QString& value) { fileSize_.set(value); }
    // "Log" for a crash log, "File" or "Folder" for tree entries, empty otherwise.
    QString fileType() const { return fileType_.get(); }
    void setFileType(const QString& value) { fileType_.set(value); }
    // Whether the file was copied to a local folder already, and where (for previews).
    bool btransfer() const { return btransfer_.load(); }
    void setBtransfer(bool value) { btransfer_.store(value); }
    QString transferPath() const { return transferPath_.get(); }
    void setTransferPath(const QString& value) { transferPath_.set(value); }
    // Size in bytes.
    std::uint64_t fileSizeNumber() const { return fileSizeNumber_.load(); }
    void setFileSizeNumber(std::uint64_t value) { fileSizeNumber_.store(value); }

    // A file the clean-up must never remove (set by the producer; see the file comment).
    bool isProtected() const { return isProtected_.load(); }
    void setIsProtected(bool value) { isProtected_.store(value); }

  private:
    LockedValue<std::weak_ptr<PRPhoneSystemDirNode>> parent_;
    LockedDevicePath filePath_;
    LockedValue<QString> fileName_{QLatin1String("")};
    LockedValue<QString> fileSize_{QLatin1String("")};
    LockedValue<QString> fileType_{QLatin1String("")};
    LockedValue<QString> transferPath_{QLatin1String("")};
    std::atomic<bool> btransfer_{false};
    std::atomic<std::uint64_t> fileSizeNumber_{0};
    std::atomic<bool> isProtected_{false};
};

class PRPhoneSystemDirNode {
  public:
    using Lists = FolderLists<PRPhoneSystemDirNode, PRPhoneSystemFileNode>;
    using DirList = Lists::DirList;
    using FileList = Lists::FileList;

    // Two empty lists, icon "folder", empty filePath and fileDirName, absent (null) fileSize and
    // fileType, flags false, size 0, no parent.
    PRPhoneSystemDirNode() = default;
    PRPhoneSystemDirNode(const PRPhoneSystemDirNode&) = delete;
    PRPhoneSystemDirNode& operator=(const PRPhoneSystemDirNode&) = delete;

    // Snapshots of the folder's lists, taken under the folder's lock: a worker may add entries
    // while another thread reads, and a snapshot never changes afterwards. Changes go through
    // the setters and adders below, never through a returned list.
    DirList children() const { return lists_.children(); }
    FileList fileChildren() const { return lists_.fileChildren(); }
    // Replace a list with a copy of `value` (a snapshot handed back in stores the same entries).
    void setChildren(const DirList& value) { lists_.setChildren(value); }
    void setFileChildren(const FileList& value) { lists_.setFileChildren(value); }
    // Appends one sub-folder at the end of children.
    void addChildren(const std::shared_ptr<PRPhoneSystemDirNode>& node) {
        lists_.addChildren(node);
    }
    // Inserts one sub-folder before position `index` of children (at the end when `index` is
    // past it): the tree builder keeps sibling folders sorted.
    void insertChildren(std::size_t index, const std::shared_ptr<PRPhoneSystemDirNode>& node) {
        lists_.insertChildren(index, node);
    }
    // Appends one entry at the end of fileChildren (the same node twice is listed twice).
    void addFileChildren(const std::shared_ptr<PRPhoneSystemFileNode>& node) {
        lists_.addFileChildren(node);
    }
    // The number of sub-folders and of entries, without copying a list.
    std::size_t childrenCount() const { return lists_.childrenCount(); }
    std::size_t fileChildrenCount() const { return lists_.fileChildrenCount(); }

    // Device path: "/" followed by the path for a flat walk record; empty for a tree folder.
    QString filePath() const { return filePath_.get(); }
    void setFilePath(const QString& value) { filePath_.set(value); }
    // Size text; null until set.
    QString fileSize() const { return fileSize_.get(); }
    void setFileSize(const QString& value) { fileSize_.set(value); }
    // "Folder" or "File" where set; null until set.
    QString fileType() const { return fileType_.get(); }
    void setFileType(const QString& value) { fileType_.set(value); }
    // The enclosing folder; null at the top level or once it is gone.
    std::shared_ptr<PRPhoneSystemDirNode> parent() const { return parent_.get().lock(); }
    void setParent(const std::shared_ptr<PRPhoneSystemDirNode>& value) { parent_.set(value); }
    // The entry is a regular file.
    bool isFile() const { return isFile_.load(); }
    void setIsFile(bool value) { isFile_.store(value); }
    // The folder has no sub-folders.
    bool isLeaf() const { return isLeaf_.load(); }
    void setIsLeaf(bool value) { isLeaf_.store(value); }
    // One path component: the folder's name in the outline.
    QString fileDirName() const { return fileDirName_.get(); }
    void setFileDirName(const QString& value) { fileDirName_.set(value); }
    // Outline icon as an image name (nimbara::ui::namedImage turns it into a picture).
    QString nodeIcon() const { return nodeIcon_.get(); }
    void setNodeIcon(const QString& value) { nodeIcon_.set(value); }
    // Size in bytes.
    std::uint64_t fileSizeNumber() const { return fileSizeNumber_.load(); }
    void setFileSizeNumber(std::uint64_t value) { fileSizeNumber_.store(value); }

  private:
    Lists lists_;
    LockedValue<QString> filePath_{QLatin1String("")};
    LockedValue<QString> fileSize_;
    LockedValue<QString> fileType_;
    LockedValue<std::weak_ptr<PRPhoneSystemDirNode>> parent_;
    LockedValue<QString> fileDirName_{QLatin1String("")};
    LockedValue<QString> nodeIcon_{QStringLiteral("folder")};
    std::atomic<bool> isFile_{false};
    std::atomic<bool> isLeaf_{false};
    std::atomic<std::uint64_t> fileSizeNumber_{0};
};
