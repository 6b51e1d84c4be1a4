#include "ui/core/device_file_nodes.h"

namespace {

QString readLocked(std::mutex& mutex, const QString& field) {
    std::lock_guard<std::mutex> lock(mutex);
    return field;
}

void writeLocked(std::mutex& mutex, QString& field, const QString& value) {
    std::lock_guard<std::mutex> lock(mutex);
    field = value;
}

}  // namespace

// ---- PRPhoneSystemFileNode ----

PRPhoneSystemFileNode::PRPhoneSystemFileNode()
    : filePath_(QLatin1String("")),
      fileName_(QLatin1String("")),
      fileSize_(QLatin1String("")),
      fileType_(QLatin1String("")),
      transferPath_(QLatin1String("")) {}

std::shared_ptr<PRPhoneSystemDirNode> PRPhoneSystemFileNode::parent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return parent_.lock();
}

void PRPhoneSystemFileNode::setParent(const std::shared_ptr<PRPhoneSystemDirNode>& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    parent_ = value;
}

QString PRPhoneSystemFileNode::filePath() const {
    return readLocked(mutex_, filePath_);
}
void PRPhoneSystemFileNode::setFilePath(const QString& value) {
    writeLocked(mutex_, filePath_, value);
}
QString PRPhoneSystemFileNode::fileName() const {
    return readLocked(mutex_, fileName_);
}
void PRPhoneSystemFileNode::setFileName(const QString& value) {
    writeLocked(mutex_, fileName_, value);
}
QString PRPhoneSystemFileNode::fileSize() const {
    return readLocked(mutex_, fileSize_);
}
void PRPhoneSystemFileNode::setFileSize(const QString& value) {
    writeLocked(mutex_, fileSize_, value);
}
QString PRPhoneSystemFileNode::fileType() const {
    return readLocked(mutex_, fileType_);
}
void PRPhoneSystemFileNode::setFileType(const QString& value) {
    writeLocked(mutex_, fileType_, value);
}
QString PRPhoneSystemFileNode::transferPath() const {
    return readLocked(mutex_, transferPath_);
}
void PRPhoneSystemFileNode::setTransferPath(const QString& value) {
    writeLocked(mutex_, transferPath_, value);
}

// ---- PRPhoneSystemDirNode ----

PRPhoneSystemDirNode::PRPhoneSystemDirNode()
    : filePath_(QLatin1String("")),
      fileDirName_(QLatin1String("")),
      nodeIcon_(QStringLiteral("folder")) {}

void PRPhoneSystemDirNode::setChildren(const DirList& value) {
    if (&value == &children_) {
        return;
    }
    DirList copy(value);
    std::lock_guard<std::mutex> lock(mutex_);
    children_.swap(copy);
}

void PRPhoneSystemDirNode::setFileChildren(const FileList& value) {
    if (&value == &fileChildren_) {
        return;
    }
    FileList copy(value);
    std::lock_guard<std::mutex> lock(mutex_);
    fileChildren_.swap(copy);
}

void PRPhoneSystemDirNode::addFileChildren(const std::shared_ptr<PRPhoneSystemFileNode>& node) {
    std::lock_guard<std::mutex> lock(mutex_);
    fileChildren_.push_back(node);
}

QString PRPhoneSystemDirNode::filePath() const {
    return readLocked(mutex_, filePath_);
}
void PRPhoneSystemDirNode::setFilePath(const QString& value) {
    writeLocked(mutex_, filePath_, value);
}
QString PRPhoneSystemDirNode::fileSize() const {
    return readLocked(mutex_, fileSize_);
}
void PRPhoneSystemDirNode::setFileSize(const QString& value) {
    writeLocked(mutex_, fileSize_, value);
}
QString PRPhoneSystemDirNode::fileType() const {
    return readLocked(mutex_, fileType_);
}
void PRPhoneSystemDirNode::setFileType(const QString& value) {
    writeLocked(mutex_, fileType_, value);
}

std::shared_ptr<PRPhoneSystemDirNode> PRPhoneSystemDirNode::parent() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return parent_.lock();
}

void PRPhoneSystemDirNode::setParent(const std::shared_ptr<PRPhoneSystemDirNode>& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    parent_ = value;
}

QString PRPhoneSystemDirNode::fileDirName() const {
    return readLocked(mutex_, fileDirName_);
}
void PRPhoneSystemDirNode::setFileDirName(const QString& value) {
    writeLocked(mutex_, fileDirName_, value);
}
QString PRPhoneSystemDirNode::nodeIcon() const {
    return readLocked(mutex_, nodeIcon_);
}
void PRPhoneSystemDirNode::setNodeIcon(const QString& value) {
    writeLocked(mutex_, nodeIcon_, value);
}
