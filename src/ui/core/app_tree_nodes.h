// Records of files inside apps' containers and the folders of the app trees built from them.
//
// The plain tree (the transfer page's app tree) is made of PRAppDirTreeNode folders holding
// PRAppFileTreeNode entries; a PRAppDirTreeNode is also the record of one app in the app lists of
// the transfer page and the storage manager. The clean tree (the clean-up page's junk, cache and
// cookie trees) is made of PRCleanDirNode folders holding PRCleanFileNode entries; a
// PRCleanDirNode is also the record of one found file, and a PRCleanFileNode the record of one
// sync-failed media file.
//
// As with the device file nodes: nodes are held by std::shared_ptr, a folder owns its children
// and the parent links are weak; every single getter or setter is atomic, and a folder's lists
// are handed out as snapshots. Texts keep "empty" (QString("")) and "absent" (null QString)
// apart: see each field. Paths are kept both as the device listed them (bytes, for every
// operation on the device) and as display text.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/locked_device_path.h"
#include "platform/locked_value.h"
#include "ui/core/folder_lists.h"

class PRAppDirTreeNode;
class PRCleanDirNode;

// What the entries of both trees share. `Dir` is the folder class of the tree.
template <class Dir>
class AppTreeEntry {
  public:
    AppTreeEntry() = default;
    AppTreeEntry(const AppTreeEntry&) = delete;
    AppTreeEntry& operator=(const AppTreeEntry&) = delete;

    // The folder whose fileChildren list this entry (null when none or gone).
    std::shared_ptr<Dir> parent() const { return parent_.get().lock(); }
    void setParent(const std::shared_ptr<Dir>& value) { parent_.set(value); }
    // Path inside the app's container (or on the media root for a sync-failed file), beginning
    // with "/"; devicePath is the same path as the device listed it.
    QString filePath() const { return filePath_.text(); }
    void setFilePath(const QString& value) { filePath_.setText(value); }
    std::string devicePath() const { return filePath_.bytes(); }
    void setDevicePath(const std::string& value) { filePath_.setBytes(value); }
    // Display name: the last component of the path.
    QString fileName() const { return fileName_.get(); }
    void setFileName(const QString& value) { fileName_.set(value); }
    // Size text.
    QString fileSize() const { return fileSize_.get(); }
    void setFileSize(const QString& value) { fileSize_.set(value); }
    // The name's extension, or the whole name when it has none.
    QString fileType() const { return fileType_.get(); }
    void setFileType(const QString& value) { fileType_.set(value); }
    // Bundle identifier of the owning app.
    QString appBundleName() const { return appBundleName_.get(); }
    void setAppBundleName(const QString& value) { appBundleName_.set(value); }
    // Whether the file was copied to a local folder already, and where.
    bool btransfer() const { return btransfer_.load(); }
    void setBtransfer(bool value) { btransfer_.store(value); }
    QString transferPath() const { return transferPath_.get(); }
    void setTransferPath(const QString& value) { transferPath_.set(value); }
    // Size in bytes (kept beside the text so that totals never come from rounded texts).
    std::uint64_t fileSizeNumber() const { return fileSizeNumber_.load(); }
    void setFileSizeNumber(std::uint64_t value) { fileSizeNumber_.store(value); }

  private:
    LockedValue<std::weak_ptr<Dir>> parent_;
    LockedDevicePath filePath_;
    LockedValue<QString> fileName_;
    LockedValue<QString> fileSize_;
    LockedValue<QString> fileType_;
    LockedValue<QString> appBundleName_;
    LockedValue<QString> transferPath_;
    std::atomic<bool> btransfer_{false};
    std::atomic<std::uint64_t> fileSizeNumber_{0};
};

// An entry of the plain tree. Every text starts absent.
class PRAppFileTreeNode : public AppTreeEntry<PRAppDirTreeNode> {
  public:
    // Display name of the owning app.
    QString appDisplayName() const { return appDisplayName_.get(); }
    void setAppDisplayName(const QString& value) { appDisplayName_.set(value); }

  private:
    LockedValue<QString> appDisplayName_;
};

// An entry of the clean tree, or a sync-failed media record. Every text starts absent.
class PRCleanFileNode : public AppTreeEntry<PRCleanDirNode> {};

// What the folders of both trees share. `Dir` and `File` are the tree's classes.
template <class Dir, class File>
class AppTreeFolder {
  public:
    using Lists = FolderLists<Dir, File>;
    using DirList = typename Lists::DirList;
    using FileList = typename Lists::FileList;

    AppTreeFolder() = default;
    AppTreeFolder(const AppTreeFolder&) = delete;
    AppTreeFolder& operator=(const AppTreeFolder&) = delete;

    // Snapshots of the lists; changes go through the setters and adders.
    DirList children() const { return lists_.children(); }
    FileList fileChildren() const { return lists_.fileChildren(); }
    void setChildren(const DirList& value) { lists_.setChildren(value); }
    void setFileChildren(const FileList& value) { lists_.setFileChildren(value); }
    void addChildren(const std::shared_ptr<Dir>& node) { lists_.addChildren(node); }
    void insertChildren(std::size_t index, const std::shared_ptr<Dir>& node) {
        lists_.insertChildren(index, node);
    }
    void addFileChildren(const std::shared_ptr<File>& node) { lists_.addFileChildren(node); }
    bool removeFileChild(const std::shared_ptr<File>& node) { return lists_.removeFileChild(node); }
    bool removeChild(const std::shared_ptr<Dir>& node) { return lists_.removeChild(node); }
    std::size_t childrenCount() const { return lists_.childrenCount(); }
    std::size_t fileChildrenCount() const { return lists_.fileChildrenCount(); }

    // The enclosing folder; null at the top level or once it is gone.
    std::shared_ptr<Dir> parent() const { return parent_.get().lock(); }
    void setParent(const std::shared_ptr<Dir>& value) { parent_.set(value); }
    // As a record: the item's path (devicePath as the device listed it). As a folder: see the
    // tree's folder class.
    QString filePath() const { return filePath_.text(); }
    void setFilePath(const QString& value) { filePath_.setText(value); }
    std::string devicePath() const { return filePath_.bytes(); }
    void setDevicePath(const std::string& value) { filePath_.setBytes(value); }
    // The record is a regular file.
    bool isFile() const { return isFile_.load(); }
    void setIsFile(bool value) { isFile_.store(value); }
    // The folder has no sub-folders.
    bool isLeaf() const { return isLeaf_.load(); }
    void setIsLeaf(bool value) { isLeaf_.store(value); }
    // The folder's name in the outline (one path component).
    QString fileDirName() const { return fileDirName_.get(); }
    void setFileDirName(const QString& value) { fileDirName_.set(value); }
    // Outline icon as an image name ("folder" until set; an app folder may carry the app's
    // icon in appIcon instead).
    QString nodeIcon() const { return nodeIcon_.get(); }
    void setNodeIcon(const QString& value) { nodeIcon_.set(value); }
    // The app's icon as PNG data, where known (empty otherwise).
    QByteArray appIcon() const { return appIcon_.get(); }
    void setAppIcon(const QByteArray& value) { appIcon_.set(value); }

  private:
    Lists lists_;
    LockedValue<std::weak_ptr<Dir>> parent_;
    LockedDevicePath filePath_;
    LockedValue<QString> fileDirName_{QLatin1String("")};
    LockedValue<QString> nodeIcon_{QStringLiteral("folder")};
    LockedValue<QByteArray> appIcon_;
    std::atomic<bool> isFile_{false};
    std::atomic<bool> isLeaf_{false};
};

// A folder of the plain tree, or the record of an app in an app list. Texts start empty; a
// folder's filePath is the path of the record whose placement created it.
class PRAppDirTreeNode : public AppTreeFolder<PRAppDirTreeNode, PRAppFileTreeNode> {
  public:
    PRAppDirTreeNode() { setFilePath(QLatin1String("")); }

    QString fileSize() const { return fileSize_.get(); }
    void setFileSize(const QString& value) { fileSize_.set(value); }
    // "DIR" or "FILE" for a record.
    QString fileType() const { return fileType_.get(); }
    void setFileType(const QString& value) { fileType_.set(value); }
    QString appBundleName() const { return appBundleName_.get(); }
    void setAppBundleName(const QString& value) { appBundleName_.set(value); }
    QString appDisplayName() const { return appDisplayName_.get(); }
    void setAppDisplayName(const QString& value) { appDisplayName_.set(value); }
    // The transfer page has already asked for the folder's contents.
    bool bExpand() const { return bExpand_.load(); }
    void setBExpand(bool value) { bExpand_.store(value); }
    // App lists: version, data size and app size texts, bundle id, app plus data in bytes.
    QString appVersion() const { return appVersion_.get(); }
    void setAppVersion(const QString& value) { appVersion_.set(value); }
    QString appDocumentSize() const { return appDocumentSize_.get(); }
    void setAppDocumentSize(const QString& value) { appDocumentSize_.set(value); }
    QString appSize() const { return appSize_.get(); }
    void setAppSize(const QString& value) { appSize_.set(value); }
    QString appBundleId() const { return appBundleId_.get(); }
    void setAppBundleId(const QString& value) { appBundleId_.set(value); }
    std::uint64_t totalAppSizeNumber() const { return totalAppSizeNumber_.load(); }
    void setTotalAppSizeNumber(std::uint64_t value) { totalAppSizeNumber_.store(value); }

  private:
    LockedValue<QString> fileSize_{QLatin1String("")};
    LockedValue<QString> fileType_{QLatin1String("")};
    LockedValue<QString> appBundleName_{QLatin1String("")};
    LockedValue<QString> appDisplayName_{QLatin1String("")};
    LockedValue<QString> appVersion_{QLatin1String("")};
    LockedValue<QString> appDocumentSize_{QLatin1String("")};
    LockedValue<QString> appSize_{QLatin1String("")};
    LockedValue<QString> appBundleId_{QLatin1String("")};
    std::atomic<bool> bExpand_{false};
    std::atomic<std::uint64_t> totalAppSizeNumber_{0};
};

// A folder of a clean tree, or the record of one file the clean-up page found. Folders keep an
// empty filePath; the other texts start absent.
class PRCleanDirNode : public AppTreeFolder<PRCleanDirNode, PRCleanFileNode> {
  public:
    PRCleanDirNode() { setFilePath(QLatin1String("")); }

    QString fileSize() const { return fileSize_.get(); }
    void setFileSize(const QString& value) { fileSize_.set(value); }
    QString fileType() const { return fileType_.get(); }
    void setFileType(const QString& value) { fileType_.set(value); }
    QString appBundleName() const { return appBundleName_.get(); }
    void setAppBundleName(const QString& value) { appBundleName_.set(value); }
    QString appDisplayName() const { return appDisplayName_.get(); }
    void setAppDisplayName(const QString& value) { appDisplayName_.set(value); }
    // "Cache", "Junk" or "Cook": the clean-up category of a folder.
    QString cleanType() const { return cleanType_.get(); }
    void setCleanType(const QString& value) { cleanType_.set(value); }
    // Name of a found file (record).
    QString fileName() const { return fileName_.get(); }
    void setFileName(const QString& value) { fileName_.set(value); }
    // Size in bytes (record).
    std::uint64_t fileSizeNumber() const { return fileSizeNumber_.load(); }
    void setFileSizeNumber(std::uint64_t value) { fileSizeNumber_.store(value); }

  private:
    LockedValue<QString> fileSize_;
    LockedValue<QString> fileType_;
    LockedValue<QString> appBundleName_;
    LockedValue<QString> appDisplayName_;
    LockedValue<QString> cleanType_;
    LockedValue<QString> fileName_;
    std::atomic<std::uint64_t> fileSizeNumber_{0};
};
