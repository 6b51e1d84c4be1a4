// Builds outline trees of the files found inside apps' containers. The top-level folders are the
// apps, named by their display names; below each stand the folders of the paths inside the app's
// container, and every record is filed as an entry of the folder of its parent directory.
//
// Two variants, chosen by the operation called:
// - the plain tree (addTreeNode), the transfer page's app tree: PRAppDirTreeNode folders holding
//   PRAppFileTreeNode entries; a folder keeps the path of the record whose placement made it;
// - the clean tree (addTreeNode with `withClean`), the clean-up page's junk, cache and cookie
//   trees: PRCleanDirNode folders (with an empty filePath) holding PRCleanFileNode entries.
// One controller serves one tree; each variant has its own content.
//
// An app's folder is its own: two apps that show the same name get two folders (ordered by
// bundle identifier), so a folder's appBundleName names the container of everything below it.
// A display name is one folder name even when it holds a "/". Entries keep the record's path as
// the device listed it and its size in bytes, so removals and totals never work from the texts.
//
// The page hands each found record over on the GUI thread; the tree only grows, clear() starts
// afresh (a new scan, another device). GUI thread only.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/core/app_tree_nodes.h"
#include "ui/core/folder_tree.h"

class PRAppTreeController {
  public:
    using AppDir = std::shared_ptr<PRAppDirTreeNode>;
    using CleanDir = std::shared_ptr<PRCleanDirNode>;
    using PlainTree = nimbara::ui::FolderTree<PRAppDirTreeNode>;
    using CleanTree = nimbara::ui::FolderTree<PRCleanDirNode>;

    PRAppTreeController() = default;

    // Plain tree: files an app record (appDisplayName, filePath inside the container, fileSize,
    // appBundleName, appIcon).
    void addTreeNode(const AppDir& record);
    // Clean tree: files a found-file record (appDisplayName, filePath, fileSize, fileSizeNumber,
    // fileType, appBundleName, and the app's icon in nodeIcon or appIcon). The flag is not read.
    void addTreeNode(const CleanDir& record, bool withClean);

    // Places a key (the display name, then the path's components) in the plain or clean tree.
    void addPathToTreeFolder(const std::vector<QString>& key);
    void addPathToTreeFolder(const std::vector<QString>& key, bool withClean);
    // Files an entry named `name` for the record being added.
    void addFileNode(const AppDir& folder, const QString& name);
    void addFileNode(const CleanDir& folder, const QString& name, bool withClean);

    // A new folder that holds an entry was made: brackets the re-arrangement with
    // BRefreshTreeFlag, then runs the variant's refresh callback (the transfer page folds its
    // app outline; the clean-up page expands the first row of its outlines).
    void reloadOutLineData();
    void reloadOutLineDatawithClean(bool withClean);
    void setRefreshCallback(std::function<void()> callback) { refresh_ = std::move(callback); }
    void setCleanRefreshCallback(std::function<void()> callback) {
        cleanRefresh_ = std::move(callback);
    }

    void SaveDirArray(const AppDir& folder) { fileDirArray_.push_back(folder); }
    void SaveDirArray(const CleanDir& folder, bool /*withClean*/) {
        cleanDirArray_.push_back(folder);
    }
    // Empties the lists of folders made to hold an entry (both variants).
    void initData() {
        fileDirArray_.clear();
        cleanDirArray_.clear();
    }
    const std::vector<AppDir>& fileDirArray() const { return fileDirArray_; }
    const std::vector<CleanDir>& cleanDirArray() const { return cleanDirArray_; }
    // The first folder made to hold an entry whose filePath is the record's path without its
    // last component, or null.
    AppDir IsThisDirOrFileFatherHasCreate(const AppDir& record) const;
    CleanDir IsThisDirOrFileFatherHasCreate(const CleanDir& record, bool withClean) const;

    static std::optional<QString> SubstringToCh(const QString& text, QChar ch) {
        return nimbara::ui::substringToCh(text, ch);
    }
    static std::optional<QString> SubstringFromCh(const QString& text, QChar ch) {
        return nimbara::ui::substringFromCh(text, ch);
    }

    QString nodeFullPath() const { return nodeFullPath_; }
    QString nodeFileSize() const { return nodeFileSize_; }
    QString nodeFileType() const { return nodeFileType_; }
    QString currentNodeBundleName() const { return currentNodeBundleName_; }
    QString currentDisplayName() const { return currentDisplayName_; }
    bool BRefreshTreeFlag() const { return refreshing_; }

    // The top-level (app) folders of each variant.
    const std::vector<AppDir>& content() const { return plain_.content(); }
    const std::vector<CleanDir>& cleanContent() const { return clean_.content(); }
    // The trees' shapes, for the outline models.
    PlainTree& plainTree() { return plain_; }
    CleanTree& cleanTree() { return clean_; }
    // After entries were removed: the clean tree's folders left without an entry go (an app
    // whose files all went leaves the tree).
    void pruneEmptyCleanFolders();
    // Forgets both trees and the folder lists, for a new scan or another device.
    void clear();

  private:
    // The icon given to a new app folder: an image name and the app's own picture.
    struct AppImage {
        QString name;
        QByteArray png;
    };
    template <class Record>
    void remember(const Record& record);
    template <class Dir>
    int orderFolder(const Dir& folder, const QString& name, std::size_t depth) const;
    template <class Dir>
    std::shared_ptr<Dir> makeFolder(const std::shared_ptr<Dir>& parent, const QString& name) const;
    // Places a key in `tree` with this variant's entry class.
    template <class Entry, class Dir, class MadeForEntry>
    void place(nimbara::ui::FolderTree<Dir>& tree, const std::vector<QString>& key,
               MadeForEntry madeForEntry);
    template <class Entry, class Dir>
    std::shared_ptr<Entry> makeEntry(const std::shared_ptr<Dir>& folder, const QString& name) const;

    PlainTree plain_;
    CleanTree clean_;
    std::vector<AppDir> fileDirArray_;
    std::vector<CleanDir> cleanDirArray_;
    QString nodeFullPath_;
    std::string nodeDevicePath_;
    QString nodeFileSize_;
    QString nodeFileType_;
    std::uint64_t nodeFileSizeNumber_ = 0;
    QString currentNodeBundleName_;
    QString currentDisplayName_;
    AppImage nodeAppImage_;
    bool refreshing_ = false;
    std::function<void()> refresh_;
    std::function<void()> cleanRefresh_;
};
