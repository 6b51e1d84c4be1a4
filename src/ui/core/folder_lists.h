// The two lists of a tree folder (sub-folders and entries) under one lock, shared by every folder
// node of the device and app trees: a worker may add entries while the GUI reads a snapshot, and
// a snapshot never changes afterwards.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

template <class Dir, class File>
class FolderLists {
  public:
    using DirList = std::vector<std::shared_ptr<Dir>>;
    using FileList = std::vector<std::shared_ptr<File>>;

    FolderLists() = default;
    FolderLists(const FolderLists&) = delete;
    FolderLists& operator=(const FolderLists&) = delete;

    DirList children() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return children_;
    }
    FileList fileChildren() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return fileChildren_;
    }
    void setChildren(const DirList& value) {
        DirList copy(value);  // made before locking: `value` may be another folder's snapshot
        std::lock_guard<std::mutex> lock(mutex_);
        children_.swap(copy);
    }
    void setFileChildren(const FileList& value) {
        FileList copy(value);
        std::lock_guard<std::mutex> lock(mutex_);
        fileChildren_.swap(copy);
    }
    void addChildren(const std::shared_ptr<Dir>& node) {
        std::lock_guard<std::mutex> lock(mutex_);
        children_.push_back(node);
    }
    void insertChildren(std::size_t index, const std::shared_ptr<Dir>& node) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto offset =
            static_cast<typename DirList::difference_type>(std::min(index, children_.size()));
        children_.insert(children_.begin() + offset, node);
    }
    void addFileChildren(const std::shared_ptr<File>& node) {
        std::lock_guard<std::mutex> lock(mutex_);
        fileChildren_.push_back(node);
    }
    // Takes `node` out of fileChildren; false when it was not listed.
    bool removeFileChild(const std::shared_ptr<File>& node) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = std::find(fileChildren_.begin(), fileChildren_.end(), node);
        if (it == fileChildren_.end()) {
            return false;
        }
        fileChildren_.erase(it);
        return true;
    }
    // Takes `node` out of children; false when it was not listed.
    bool removeChild(const std::shared_ptr<Dir>& node) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = std::find(children_.begin(), children_.end(), node);
        if (it == children_.end()) {
            return false;
        }
        children_.erase(it);
        return true;
    }
    std::size_t childrenCount() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return children_.size();
    }
    std::size_t fileChildrenCount() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return fileChildren_.size();
    }

  private:
    mutable std::mutex mutex_;
    DirList children_;
    FileList fileChildren_;
};
