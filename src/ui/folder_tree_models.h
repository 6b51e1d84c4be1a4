// Item models over the folder trees of the device file browser, the storage manager's user data,
// the transfer page's app tree and the clean-up page's junk, cache and cookie trees.
//
// FolderOutlineModel shows a tree's folders (one column, "fileDirName": the folder's name, with
// its icon: the app's own picture for an app folder where known, else the named image). It
// reads the tree's own table of sub-folders and follows it as it grows: a folder the builder
// inserts becomes a row at once (rowsInserted, never a reset), so a view keeps its place,
// selection and open folders while a scan adds records; a clear of the tree resets it.
//
// FolderEntriesModel shows the entries of one chosen folder ("Name", "Size", "Kind", "Path"),
// in arrival order, and takes the entries appended to that folder while it is shown. A page
// that removed an entry takes its row away with removeEntry.
//
// Both keep their tree attached until either goes: a tree that goes first empties the models.
// GUI thread only.
#pragma once

#include <QAbstractItemModel>
#include <QAbstractTableModel>
#include <QByteArray>
#include <QIcon>
#include <QPixmap>
#include <QString>

#include <algorithm>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "ui/core/app_tree_nodes.h"
#include "ui/core/device_file_nodes.h"
#include "ui/core/folder_tree.h"
#include "ui/named_image.h"

namespace nimbara::ui {

// Roles both models answer besides the display and decoration roles.
enum FolderTreeRole {
    kIconNameRole = Qt::UserRole + 1,  // outline: the folder's image name
    kIsLeafRole,                       // outline: the folder's isLeaf flag
    kSizeBytesRole,                    // entries: the size in bytes (qulonglong)
    kFilePathRole,                     // both: the node's filePath
};

template <class Dir>
class FolderOutlineModel : public QAbstractItemModel, private FolderTree<Dir>::Observer {
  public:
    using Tree = FolderTree<Dir>;
    using DirPtr = std::shared_ptr<Dir>;
    using EntryPtr = typename Tree::EntryPtr;

    explicit FolderOutlineModel(Tree* tree = nullptr, QObject* parent = nullptr)
        : QAbstractItemModel(parent) {
        attach(tree);
    }
    ~FolderOutlineModel() override { detach(); }

    // Shows another tree (null: nothing), with a reset.
    void setTree(Tree* tree) {
        beginResetModel();
        detach();
        attach(tree);
        icons_.clear();
        endResetModel();
    }
    Tree* tree() const { return tree_; }

    // The folder a row shows; null for an invalid index.
    DirPtr folderAt(const QModelIndex& index) const {
        const Dir* folder = folderOf(index);
        if (!folder || !tree_) {
            return nullptr;
        }
        const auto& siblings = tree_->childrenOf(tree_->parentOf(folder));
        const auto row = static_cast<std::size_t>(index.row());
        return row < siblings.size() && siblings[row].get() == folder ? siblings[row] : nullptr;
    }
    // The row of a folder the tree holds (invalid otherwise).
    QModelIndex indexOf(const Dir* folder) const {
        if (!folder || !tree_) {
            return QModelIndex();
        }
        const int row = tree_->rowOf(folder);
        return row < 0 ? QModelIndex() : createIndex(row, 0, const_cast<Dir*>(folder));
    }

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override {
        if (!tree_ || row < 0 || column != 0 || (parent.isValid() && parent.column() != 0)) {
            return QModelIndex();
        }
        const auto& children = tree_->childrenOf(folderOf(parent));
        if (static_cast<std::size_t>(row) >= children.size()) {
            return QModelIndex();
        }
        return createIndex(row, column, children[static_cast<std::size_t>(row)].get());
    }
    QModelIndex parent(const QModelIndex& child) const override {
        const Dir* folder = folderOf(child);
        return folder && tree_ ? indexOf(tree_->parentOf(folder)) : QModelIndex();
    }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        if (!tree_ || (parent.isValid() && parent.column() != 0)) {
            return 0;
        }
        return static_cast<int>(tree_->childrenOf(folderOf(parent)).size());
    }
    int columnCount(const QModelIndex& /*parent*/ = QModelIndex()) const override { return 1; }

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
        const Dir* folder = folderOf(index);
        if (!folder) {
            return QVariant();
        }
        switch (role) {
            case Qt::DisplayRole:
            case Qt::ToolTipRole:
                return folder->fileDirName();
            case Qt::DecorationRole:
                return iconOf(*folder);
            case kIconNameRole:
                return folder->nodeIcon();
            case kIsLeafRole:
                return folder->isLeaf();
            case kFilePathRole:
                return folder->filePath();
            default:
                return QVariant();
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override {
        if (orientation != Qt::Horizontal || section != 0) {
            return QVariant();
        }
        if (role == Qt::DisplayRole) {
            return QStringLiteral("Name");
        }
        if (role == Qt::UserRole) {
            return QStringLiteral("fileDirName");  // the column's identifier
        }
        return QVariant();
    }

  private:
    const Dir* folderOf(const QModelIndex& index) const {
        return index.isValid() && index.model() == this
                   ? static_cast<const Dir*>(index.internalPointer())
                   : nullptr;
    }

    QIcon iconOf(const Dir& folder) const {
        const auto cached = icons_.find(&folder);
        if (cached != icons_.end()) {
            return cached->second;
        }
        QIcon icon;
        if constexpr (requires { folder.appIcon(); }) {
            const QByteArray png = folder.appIcon();
            QPixmap picture;
            if (!png.isEmpty() && picture.loadFromData(png)) {
                icon = QIcon(picture);
            }
        }
        if (icon.isNull()) {
            icon = namedIcon(folder.nodeIcon());
        }
        icons_.emplace(&folder, icon);
        return icon;
    }

    void attach(Tree* tree) {
        tree_ = tree;
        if (tree_) {
            tree_->addObserver(this);
        }
    }
    void detach() {
        if (tree_) {
            tree_->removeObserver(this);
        }
        tree_ = nullptr;
    }

    void folderAboutToBeInserted(const Dir* parent, int row) override {
        beginInsertRows(indexOf(parent), row, row);
    }
    void folderInserted() override { endInsertRows(); }
    void folderAboutToBeRemoved(const Dir* parent, int row, const Dir* folder) override {
        beginRemoveRows(indexOf(parent), row, row);
        icons_.erase(folder);
    }
    void folderRemoved() override { endRemoveRows(); }
    void entryAppended(const Dir* /*folder*/, const EntryPtr& /*entry*/) override {}
    void treeAboutToBeCleared() override { beginResetModel(); }
    void treeCleared() override {
        icons_.clear();
        endResetModel();
    }
    void treeDestroyed() override {
        beginResetModel();
        tree_ = nullptr;
        icons_.clear();
        endResetModel();
    }

    Tree* tree_ = nullptr;
    mutable std::unordered_map<const Dir*, QIcon> icons_;
};

template <class Dir>
class FolderEntriesModel : public QAbstractTableModel, private FolderTree<Dir>::Observer {
  public:
    using Tree = FolderTree<Dir>;
    using DirPtr = std::shared_ptr<Dir>;
    using EntryPtr = typename Tree::EntryPtr;

    static constexpr int kNameColumn = 0;
    static constexpr int kSizeColumn = 1;
    static constexpr int kKindColumn = 2;
    static constexpr int kPathColumn = 3;

    explicit FolderEntriesModel(Tree* tree = nullptr, QObject* parent = nullptr)
        : QAbstractTableModel(parent), tree_(tree) {
        if (tree_) {
            tree_->addObserver(this);
        }
    }
    ~FolderEntriesModel() override {
        if (tree_) {
            tree_->removeObserver(this);
        }
    }

    // Shows the entries of `folder` (null: none), with a reset.
    void setFolder(const DirPtr& folder) {
        beginResetModel();
        folder_ = folder;
        entries_ = folder ? folder->fileChildren() : typename Dir::FileList();
        endResetModel();
    }
    DirPtr folder() const { return folder_; }
    const typename Dir::FileList& entries() const { return entries_; }
    EntryPtr entryAt(int row) const {
        return row >= 0 && static_cast<std::size_t>(row) < entries_.size()
                   ? entries_[static_cast<std::size_t>(row)]
                   : nullptr;
    }
    // Takes the row of `entry` away; false when it is not shown.
    bool removeEntry(const EntryPtr& entry) {
        const auto found = std::find(entries_.begin(), entries_.end(), entry);
        if (!entry || found == entries_.end()) {
            return false;
        }
        const int row = static_cast<int>(found - entries_.begin());
        beginRemoveRows(QModelIndex(), row, row);
        entries_.erase(found);
        endRemoveRows();
        return true;
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(entries_.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : 4;
    }
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
        const EntryPtr entry = index.isValid() ? entryAt(index.row()) : nullptr;
        if (!entry) {
            return QVariant();
        }
        if (role == kSizeBytesRole) {
            return QVariant::fromValue<qulonglong>(entry->fileSizeNumber());
        }
        if (role == kFilePathRole) {
            return entry->filePath();
        }
        if (role != Qt::DisplayRole && role != Qt::ToolTipRole) {
            return QVariant();
        }
        switch (index.column()) {
            case kNameColumn:
                return entry->fileName();
            case kSizeColumn:
                return entry->fileSize();
            case kKindColumn:
                return entry->fileType();
            case kPathColumn:
                return entry->filePath();
            default:
                return QVariant();
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override {
        static const char* const kTitles[] = {"Name", "Size", "Kind", "Path"};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= 4) {
            return QVariant();
        }
        return QString::fromLatin1(kTitles[section]);
    }

  private:
    void folderAboutToBeInserted(const Dir* /*parent*/, int /*row*/) override {}
    void folderInserted() override {}
    void folderAboutToBeRemoved(const Dir* /*parent*/, int /*row*/, const Dir* folder) override {
        if (folder == folder_.get()) {
            setFolder(nullptr);  // the folder shown left the tree
        }
    }
    void folderRemoved() override {}
    void entryAppended(const Dir* folder, const EntryPtr& entry) override {
        if (!folder || folder != folder_.get()) {
            return;
        }
        const int row = static_cast<int>(entries_.size());
        beginInsertRows(QModelIndex(), row, row);
        entries_.push_back(entry);
        endInsertRows();
    }
    void treeAboutToBeCleared() override {}
    void treeCleared() override { setFolder(nullptr); }
    void treeDestroyed() override {
        tree_ = nullptr;
        setFolder(nullptr);
    }

    Tree* tree_ = nullptr;
    DirPtr folder_;
    typename Dir::FileList entries_;
};

// The outlines and entry tables of the trees.
using PRSystemLibOutlineModel = FolderOutlineModel<PRPhoneSystemDirNode>;
using PRSystemLibEntriesModel = FolderEntriesModel<PRPhoneSystemDirNode>;
using PRAppOutlineModel = FolderOutlineModel<PRAppDirTreeNode>;
using PRAppEntriesModel = FolderEntriesModel<PRAppDirTreeNode>;
using PRCleanOutlineModel = FolderOutlineModel<PRCleanDirNode>;
using PRCleanEntriesModel = FolderEntriesModel<PRCleanDirNode>;

extern template class FolderOutlineModel<PRPhoneSystemDirNode>;
extern template class FolderEntriesModel<PRPhoneSystemDirNode>;
extern template class FolderOutlineModel<PRAppDirTreeNode>;
extern template class FolderEntriesModel<PRAppDirTreeNode>;
extern template class FolderOutlineModel<PRCleanDirNode>;
extern template class FolderEntriesModel<PRCleanDirNode>;

}  // namespace nimbara::ui
