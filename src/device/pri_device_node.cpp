#include "device/pri_device_node.h"

#include "device/base_info.h"

PRiDeviceNode::PRiDeviceNode() = default;

QString PRiDeviceNode::get(const QString& field) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return field;
}

void PRiDeviceNode::put(QString& field, const QString& value) {
    // QString copies are values: later changes to the caller's text don't reach the node.
    QString copy = value;
    std::lock_guard<std::mutex> lock(mutex_);
    field.swap(copy);
}

std::shared_ptr<amd::BaseInfo> PRiDeviceNode::getBi() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return bi_.lock();
}

void PRiDeviceNode::SetBaseInfo(const std::shared_ptr<amd::BaseInfo>& bi) {
    std::lock_guard<std::mutex> lock(mutex_);
    bi_ = bi;
}

QString PRiDeviceNode::deviceName() const {
    return get(deviceName_);
}
void PRiDeviceNode::setDeviceName(const QString& value) {
    put(deviceName_, value);
}

QString PRiDeviceNode::deviceSize() const {
    return get(deviceSize_);
}
void PRiDeviceNode::setDeviceSize(const QString& value) {
    put(deviceSize_, value);
}

QString PRiDeviceNode::freeSize() const {
    return get(freeSize_);
}
void PRiDeviceNode::setFreeSize(const QString& value) {
    put(freeSize_, value);
}

QString PRiDeviceNode::musicSize() const {
    return get(musicSize_);
}
void PRiDeviceNode::setMusicSize(const QString& value) {
    put(musicSize_, value);
}

QString PRiDeviceNode::photoSize() const {
    return get(photoSize_);
}
void PRiDeviceNode::setPhotoSize(const QString& value) {
    put(photoSize_, value);
}

QString PRiDeviceNode::videoSize() const {
    return get(videoSize_);
}
void PRiDeviceNode::setVideoSize(const QString& value) {
    put(videoSize_, value);
}

QString PRiDeviceNode::appSize() const {
    return get(appSize_);
}
void PRiDeviceNode::setAppSize(const QString& value) {
    put(appSize_, value);
}

QString PRiDeviceNode::otherSize() const {
    return get(otherSize_);
}
void PRiDeviceNode::setOtherSize(const QString& value) {
    put(otherSize_, value);
}

QString PRiDeviceNode::productVersion() const {
    return get(productVersion_);
}
void PRiDeviceNode::setProductVersion(const QString& value) {
    put(productVersion_, value);
}

QString PRiDeviceNode::iOSVersion() const {
    return get(iOSVersion_);
}
void PRiDeviceNode::setIOSVersion(const QString& value) {
    put(iOSVersion_, value);
}

QString PRiDeviceNode::seriNumber() const {
    return get(seriNumber_);
}
void PRiDeviceNode::setSeriNumber(const QString& value) {
    put(seriNumber_, value);
}

QString PRiDeviceNode::udidNumber() const {
    return get(udidNumber_);
}
void PRiDeviceNode::setUdidNumber(const QString& value) {
    put(udidNumber_, value);
}

QString PRiDeviceNode::firemVersion() const {
    return get(firemVersion_);
}
void PRiDeviceNode::setFiremVersion(const QString& value) {
    put(firemVersion_, value);
}

QString PRiDeviceNode::PhoneNumber() const {
    return get(PhoneNumber_);
}
void PRiDeviceNode::setPhoneNumber(const QString& value) {
    put(PhoneNumber_, value);
}

QString PRiDeviceNode::deviceModel() const {
    return get(deviceModel_);
}
void PRiDeviceNode::setDeviceModel(const QString& value) {
    put(deviceModel_, value);
}
