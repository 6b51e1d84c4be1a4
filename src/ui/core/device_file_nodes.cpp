#include "ui/core/device_file_nodes.h"

void PRPhoneSystemDirNode::setChildren(const DirList& value) {
    if (&value == &children_) {
        return;
    }
    DirList copy(value);
    std::lock_guard<std::mutex> lock(listMutex_);
    children_.swap(copy);
}

void PRPhoneSystemDirNode::setFileChildren(const FileList& value) {
    if (&value == &fileChildren_) {
        return;
    }
    FileList copy(value);
    std::lock_guard<std::mutex> lock(listMutex_);
    fileChildren_.swap(copy);
}

void PRPhoneSystemDirNode::addFileChildren(const std::shared_ptr<PRPhoneSystemFileNode>& node) {
    std::lock_guard<std::mutex> lock(listMutex_);
    fileChildren_.push_back(node);
}
