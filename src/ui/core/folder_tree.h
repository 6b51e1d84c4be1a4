// The shape of a folder tree built from flat path records, shared by the device folder tree and
// the app and clean-up trees.
//
// A record's key is split into components: every component but the last names a folder, found
// or made (in sorted place) below the one before; the last names the entry filed in the last
// folder. The tree keeps, beside the folder nodes' own lists, a table of each folder's
// sub-folders, so that a record costs the length of its key times the logarithm of the sibling
// counts, and so that item models read rows without copying the nodes' lists. Sub-folders are
// changed only through the tree; entries are appended through it.
//
// Observers (the item models) are told before and after a folder is inserted or removed, after an
// entry was appended, and around a clear, so that views take the rows as they arrive. GUI thread
// only.
#pragma once

#include <QString>
#include <QStringView>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace nimbara::ui {

// The text before the first `ch`: "" when the text begins with it; nothing for an empty text or
// when `ch` does not occur.
std::optional<QString> substringToCh(const QString& text, QChar ch);
// The text after the first `ch`: nothing for an empty text, when `ch` does not occur, or when
// its first occurrence is the last character.
std::optional<QString> substringFromCh(const QString& text, QChar ch);
// The path without its last component, as the folder lookups of the trees compare it: "/a/b"
// gives "/a", "/a" gives "/", "a" gives "", a trailing "/" is ignored.
QString pathWithoutLastComponent(const QString& path);
// The kind text of an app-tree entry: the name's extension, or the whole name when it has none
// (".hidden", "data" and "a." are their own kinds).
QString entryKindOf(const QString& name);

// The components of a key below its top folder: `path` with every "/." made "/" (one leading
// dot of a component is not shown), split at "/". A leading "/" begins the path; an empty path
// gives no components. `top` is the first component, kept whole (a name may hold a "/").
std::vector<QString> keyComponents(const QString& top, const QString& path);

// What a key leads to: the folders of every component but the last, and the entry named by the
// last (none when it is empty, as for a path ending in "/"). At depth 1 a folder name's leading
// dot is dropped.
struct KeyPlan {
    std::vector<QString> folders;
    std::optional<QString> entry;
};
KeyPlan planKey(std::vector<QString> components);

template <class Dir>
class FolderTree {
  public:
    using DirPtr = std::shared_ptr<Dir>;
    using EntryPtr = typename Dir::FileList::value_type;

    class Observer {
      public:
        virtual ~Observer() = default;
        // `parent` is null for the top level.
        virtual void folderAboutToBeInserted(const Dir* parent, int row) = 0;
        virtual void folderInserted() = 0;
        // `folder` (with everything below it) is about to leave row `row` of `parent`.
        virtual void folderAboutToBeRemoved(const Dir* parent, int row, const Dir* folder) = 0;
        virtual void folderRemoved() = 0;
        // `entry` was appended to the folder's entries.
        virtual void entryAppended(const Dir* folder, const EntryPtr& entry) = 0;
        virtual void treeAboutToBeCleared() = 0;
        virtual void treeCleared() = 0;
        // The tree goes away; the observer must not use it any more.
        virtual void treeDestroyed() = 0;
    };

    FolderTree() = default;
    FolderTree(const FolderTree&) = delete;
    FolderTree& operator=(const FolderTree&) = delete;
    ~FolderTree() {
        const auto observers = observers_;
        for (Observer* observer : observers) {
            observer->treeDestroyed();
        }
    }

    void addObserver(Observer* observer) { observers_.push_back(observer); }
    void removeObserver(Observer* observer) {
        observers_.erase(std::remove(observers_.begin(), observers_.end(), observer),
                         observers_.end());
    }

    // The top-level folders, in order.
    const std::vector<DirPtr>& content() const { return root_.children; }
    // The sub-folders of `parent` (the top level for null), in order; empty for a folder the
    // tree does not hold.
    const std::vector<DirPtr>& childrenOf(const Dir* parent) const {
        static const std::vector<DirPtr> kNone;
        const Level* level = levelOf(parent);
        return level ? level->children : kNone;
    }
    // The folder above `folder` (null at the top level or for a folder the tree does not hold).
    Dir* parentOf(const Dir* folder) const {
        const auto found = levels_.find(folder);
        return found == levels_.end() ? nullptr : found->second.parent;
    }
    // The row of `folder` below its parent; -1 for a folder the tree does not hold.
    int rowOf(const Dir* folder) const {
        const auto found = levels_.find(folder);
        if (found == levels_.end()) {
            return -1;
        }
        const auto& siblings = childrenOf(found->second.parent);
        for (std::size_t i = 0; i < siblings.size(); ++i) {
            if (siblings[i].get() == folder) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    bool holds(const Dir* folder) const { return levels_.count(folder) != 0; }
    // Folders in the tree.
    std::size_t folderCount() const { return levels_.size(); }

    // The sub-folder of `parent` that `order` places at 0 (order(folder) < 0: the folder comes
    // before the one looked for, > 0: after), or the position where such a folder belongs.
    // Sibling folders are kept in ascending order, so the search halves.
    template <class Order>
    DirPtr find(const Dir* parent, Order order, std::size_t& insertAt) const {
        const auto& level = childrenOf(parent);
        const auto at = std::partition_point(
            level.begin(), level.end(), [&](const DirPtr& folder) { return order(*folder) < 0; });
        insertAt = static_cast<std::size_t>(at - level.begin());
        if (at != level.end() && order(**at) == 0) {
            return *at;
        }
        return nullptr;
    }

    // Inserts `folder` at `row` below `parent` (the top level for null), in the node's own
    // children too, and tells the observers.
    void insertFolder(const DirPtr& parent, std::size_t row, const DirPtr& folder) {
        Level* level = parent ? levelOf(parent.get()) : &root_;
        if (!level || !folder || holds(folder.get())) {
            return;
        }
        row = std::min(row, level->children.size());
        const auto observers = observers_;
        for (Observer* observer : observers) {
            observer->folderAboutToBeInserted(parent.get(), static_cast<int>(row));
        }
        level->children.insert(level->children.begin() + static_cast<std::ptrdiff_t>(row), folder);
        Level made;
        made.parent = parent.get();
        levels_.emplace(folder.get(), std::move(made));
        if (parent) {
            parent->insertChildren(row, folder);
        }
        for (Observer* observer : observers) {
            observer->folderInserted();
        }
    }

    // Appends `entry` to the folder's entries and tells the observers.
    void appendEntry(const DirPtr& folder, const EntryPtr& entry) {
        folder->addFileChildren(entry);
        const auto observers = observers_;
        for (Observer* observer : observers) {
            observer->entryAppended(folder.get(), entry);
        }
    }

    // Takes away every folder that holds no entry, itself or below it, so that the tree shows
    // what is left after its entries were removed. Returns the folders taken away.
    std::size_t pruneEmptyFolders() {
        std::vector<DirPtr> order;  // parents before their sub-folders
        std::vector<const Dir*> pending{nullptr};
        while (!pending.empty()) {
            const Dir* at = pending.back();
            pending.pop_back();
            for (const DirPtr& child : childrenOf(at)) {
                order.push_back(child);
                pending.push_back(child.get());
            }
        }
        std::size_t removed = 0;
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
            if ((*it)->fileChildrenCount() == 0 && childrenOf(it->get()).empty()) {
                removeFolder(*it);
                ++removed;
            }
        }
        return removed;
    }

    // Forgets every folder (the nodes themselves stay with whoever holds them).
    void clear() {
        const auto observers = observers_;
        for (Observer* observer : observers) {
            observer->treeAboutToBeCleared();
        }
        root_.children.clear();
        levels_.clear();
        for (Observer* observer : observers) {
            observer->treeCleared();
        }
    }

  private:
    struct Level {
        Dir* parent = nullptr;
        std::vector<DirPtr> children;
    };

    // Takes a folder without sub-folders out of the tree and out of its parent node.
    void removeFolder(const DirPtr& folder) {
        const auto found = levels_.find(folder.get());
        if (found == levels_.end() || !found->second.children.empty()) {
            return;
        }
        Dir* parent = found->second.parent;
        Level* level = levelOf(parent);
        const auto at = std::find(level->children.begin(), level->children.end(), folder);
        const int row = static_cast<int>(at - level->children.begin());
        const auto observers = observers_;
        for (Observer* observer : observers) {
            observer->folderAboutToBeRemoved(parent, row, folder.get());
        }
        level->children.erase(at);
        levels_.erase(found);
        if (const DirPtr node = folder->parent()) {
            node->removeChild(folder);
        }
        for (Observer* observer : observers) {
            observer->folderRemoved();
        }
    }

    const Level* levelOf(const Dir* folder) const {
        if (!folder) {
            return &root_;
        }
        const auto found = levels_.find(folder);
        return found == levels_.end() ? nullptr : &found->second;
    }
    Level* levelOf(const Dir* folder) {
        return const_cast<Level*>(std::as_const(*this).levelOf(folder));
    }

    Level root_;
    std::unordered_map<const Dir*, Level> levels_;
    std::vector<Observer*> observers_;
};

// Places a key's plan in `tree`, the walk every tree builder shares. For each folder name:
// `order(folder, name, depth)` orders an existing folder against the name (as find() takes it),
// `make(parent, name, depth)` makes a new folder node (not yet inserted). The last folder
// receives the entry from `makeEntry(folder, name)`. Folders passed through on the way to a
// deeper one stop being leaves; a folder made to hold the entry becomes a leaf, and
// `madeForEntry(folder)` is called for it after the entry was filed. Returns the folder holding
// the entry (null when there is none).
template <class Dir, class Order, class Make, class MakeEntry, class MadeForEntry>
std::shared_ptr<Dir> placeKey(FolderTree<Dir>& tree, const KeyPlan& plan, Order order, Make make,
                              MakeEntry makeEntry, MadeForEntry madeForEntry) {
    std::shared_ptr<Dir> parent;
    const std::size_t count = plan.folders.size();
    for (std::size_t depth = 0; depth < count; ++depth) {
        const QString& name = plan.folders[depth];
        const bool holdsEntry = depth + 1 == count && plan.entry.has_value();
        std::size_t insertAt = 0;
        std::shared_ptr<Dir> folder = tree.find(
            parent.get(), [&](const Dir& existing) { return order(existing, name, depth); },
            insertAt);
        const bool made = !folder;
        if (made) {
            folder = make(parent, name, depth);
            folder->setParent(parent);
            tree.insertFolder(parent, insertAt, folder);
        }
        if (!holdsEntry) {
            if (!made) {
                folder->setIsLeaf(false);
            }
            parent = folder;
            continue;
        }
        tree.appendEntry(folder, makeEntry(folder, *plan.entry));
        if (made) {
            folder->setIsLeaf(true);
            madeForEntry(folder);
        }
        return folder;
    }
    return nullptr;
}

// Every entry in `folder` and in the folders below it: the folder's own entries first, then each
// sub-folder's in outline order. A loop, so a deep tree needs no deep recursion.
template <class Dir>
auto entriesBelow(const std::shared_ptr<Dir>& folder) {
    typename Dir::FileList entries;
    std::vector<std::shared_ptr<Dir>> pending;
    if (folder) {
        pending.push_back(folder);
    }
    while (!pending.empty()) {
        const std::shared_ptr<Dir> at = pending.back();
        pending.pop_back();
        const auto files = at->fileChildren();
        entries.insert(entries.end(), files.begin(), files.end());
        const auto children = at->children();
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return entries;
}

// The first of `folders` whose filePath is the record's path without its last component, or
// null.
template <class Dir, class Record>
std::shared_ptr<Dir> folderOfParentPath(const std::vector<std::shared_ptr<Dir>>& folders,
                                        const std::shared_ptr<Record>& record) {
    if (!record) {
        return nullptr;
    }
    const QString wanted = pathWithoutLastComponent(record->filePath());
    for (const auto& folder : folders) {
        if (folder->filePath() == wanted) {
            return folder;
        }
    }
    return nullptr;
}

// A tree made a folder that holds an entry. The outline models took the new rows as they were
// inserted; `refreshing` still brackets the re-arrangement (pages ignore outline selection
// changes while it is set), then `refresh` tells the page (which expands its first row).
inline void refreshTree(bool& refreshing, const std::function<void()>& refresh) {
    refreshing = true;
    refreshing = false;
    if (refresh) {
        refresh();
    }
}

// Localized comparison of folder names, as every tree orders its siblings: -1, 0 or 1; 0 only
// for equal names.
int compareFolderNames(const QString& a, const QString& b);

}  // namespace nimbara::ui
