// The delegate's state: the process-wide instance, the guarded object values and the page
// controllers.
#include "app/quennic_app_delegate.h"

#include <QMainWindow>

#include "app/main_window_ui.h"
#include "device/device_manager.h"
#include "device/pri_device_node.h"

std::atomic<QuennicAppDelegate*> QuennicAppDelegate::s_instance{nullptr};

QuennicAppDelegate* QuennicAppDelegate::GetAppControllor() {
    return s_instance.load();
}

QMainWindow* QuennicAppDelegate::window() const {
    return mainUi_ ? mainUi_->window : nullptr;
}

std::shared_ptr<PRIOSDeviceNode> QuennicAppDelegate::currentNode() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return currentNode_;
}

void QuennicAppDelegate::setCurrentNode(const std::shared_ptr<PRIOSDeviceNode>& node) {
    std::lock_guard<std::mutex> lock(objectMutex_);
    currentNode_ = node;
}

std::shared_ptr<PRiDeviceNode> QuennicAppDelegate::currentIDevicenode() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return currentIDevicenode_;
}

void QuennicAppDelegate::setCurrentIDevicenode(const std::shared_ptr<PRiDeviceNode>& node) {
    std::lock_guard<std::mutex> lock(objectMutex_);
    currentIDevicenode_ = node;
}

QString QuennicAppDelegate::allCleanFileNumber() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return allCleanFileNumber_;
}

void QuennicAppDelegate::setAllCleanFileNumber(const QString& value) {
    std::lock_guard<std::mutex> lock(objectMutex_);
    allCleanFileNumber_ = value;
}

QString QuennicAppDelegate::allCleanFileSize() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return allCleanFileSize_;
}

void QuennicAppDelegate::setAllCleanFileSize(const QString& value) {
    std::lock_guard<std::mutex> lock(objectMutex_);
    allCleanFileSize_ = value;
}

QString QuennicAppDelegate::nimbaraExportPath() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return nimbaraExportPath_;
}

void QuennicAppDelegate::setNimbaraExportPath(const QString& path) {
    std::lock_guard<std::mutex> lock(objectMutex_);
    nimbaraExportPath_ = path;
}

QByteArray QuennicAppDelegate::messageContactData() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return messageContactData_;
}

void QuennicAppDelegate::setMessageContactData(const QByteArray& data) {
    std::lock_guard<std::mutex> lock(objectMutex_);
    messageContactData_ = data;
}

std::optional<std::uint64_t> QuennicAppDelegate::photolibFileSize() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return photolibFileSize_;
}

std::optional<std::uint64_t> QuennicAppDelegate::cameraFileSize() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return cameraFileSize_;
}

std::uint64_t QuennicAppDelegate::currentDeviceSerial() const {
    const std::shared_ptr<PRiDeviceNode> node = currentIDevicenode();
    if (!node || !manager_) {
        return 0;
    }
    return manager_->DeviceSerial(node->deviceIndex());
}

void QuennicAppDelegate::resetStorageFigures() {
    setTotalAppRemoveFileSize(0);
    setTotalBooksRemoveFileSize(0);
    setTotalMusicRemoveFileSize(0);
    setTotalPhotoRemoveFileSize(0);
    setTotalUserdataRemoveFileSize(0);
    setTotalVideoRemoveFileSize(0);
    setCurrentAppFileSize(0);
    setCurrentBooksFileSize(0);
    setCurrentMusicFileSize(0);
    setCurrentVideoFileSize(0);
    setCurrentPhotoFileSize(0);
    setCurrentUserDataFileSize(0);
}

// The clean-up page's summary notifications are handled once that page is built; until then
// nothing posts them with a payload these handlers would have to show.
void QuennicAppDelegate::CleanFileProgressInfoHandle(const nimbara::Notification&) {}
void QuennicAppDelegate::AddCleanFileSizeThreadProgressInfoHandle(const nimbara::Notification&) {}
void QuennicAppDelegate::CleanFilehasFinishedHandle(const nimbara::Notification&) {}
