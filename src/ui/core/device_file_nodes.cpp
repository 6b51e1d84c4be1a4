#include "ui/core/device_file_nodes.h"

#include <algorithm>

PRPhoneSystemDirNode::DirList PRPhoneSystemDirNode::children() const {
    std::lock_guard<std::mutex> lock(listMutex_);
    return children_;
}

PRPhoneSystemDirNode::FileList PRPhoneSystemDirNode::fileChildren() const {
    std::lock_guard<std::mutex> lock(listMutex_);
    return fileChildren_;
}

void PRPhoneSystemDirNode::setChildren(const DirList& value) {
    DirList copy(value);  // made before locking: `value` may be another folder's snapshot
    std::lock_guard<std::mutex> lock(listMutex_);
    children_.swap(copy);
}

void PRPhoneSystemDirNode::setFileChildren(const FileList& value) {
    FileList copy(value);
    std::lock_guard<std::mutex> lock(listMutex_);
    fileChildren_.swap(copy);
}

void PRPhoneSystemDirNode::addChildren(const std::shared_ptr<PRPhoneSystemDirNode>& node) {
    std::lock_guard<std::mutex> lock(listMutex_);
    children_.push_back(node);
}

void PRPhoneSystemDirNode::insertChildren(std::size_t index,
                                          const std::shared_ptr<PRPhoneSystemDirNode>& node) {
    std::lock_guard<std::mutex> lock(listMutex_);
    const auto offset = static_cast<DirList::difference_type>(std::min(index, children_.size()));
    children_.insert(children_.begin() + offset, node);
}

void PRPhoneSystemDirNode::addFileChildren(const std::shared_ptr<PRPhoneSystemFileNode>& node) {
    std::lock_guard<std::mutex> lock(listMutex_);
    fileChildren_.push_back(node);
}

std::size_t PRPhoneSystemDirNode::childrenCount() const {
    std::lock_guard<std::mutex> lock(listMutex_);
    return children_.size();
}

std::size_t PRPhoneSystemDirNode::fileChildrenCount() const {
    std::lock_guard<std::mutex> lock(listMutex_);
    return fileChildren_.size();
}
