#include "backup/pr_ios_device_node.h"

PRIOSDeviceNode::PRIOSDeviceNode() = default;

QString PRIOSDeviceNode::get(const QString& field) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return field;
}

void PRIOSDeviceNode::put(QString& field, const QString& value) {
    QString copy = value;
    std::lock_guard<std::mutex> lock(mutex_);
    field.swap(copy);
}

QString PRIOSDeviceNode::strDeviceName() const {
    return get(deviceName_);
}
void PRIOSDeviceNode::setStrDeviceName(const QString& value) {
    put(deviceName_, value);
}

QString PRIOSDeviceNode::strDeviceSize() const {
    return get(deviceSize_);
}
void PRIOSDeviceNode::setStrDeviceSize(const QString& value) {
    put(deviceSize_, value);
}

QString PRIOSDeviceNode::strDeviceBackUpTime() const {
    return get(backUpTime_);
}
void PRIOSDeviceNode::setStrDeviceBackUpTime(const QString& value) {
    put(backUpTime_, value);
}

QString PRIOSDeviceNode::strDeviceSerial() const {
    return get(serial_);
}
void PRIOSDeviceNode::setStrDeviceSerial(const QString& value) {
    put(serial_, value);
}

QString PRIOSDeviceNode::strDeviceType() const {
    return get(deviceType_);
}
void PRIOSDeviceNode::setStrDeviceType(const QString& value) {
    put(deviceType_, value);
}

QString PRIOSDeviceNode::strIOSVersion() const {
    return get(iosVersion_);
}
void PRIOSDeviceNode::setStrIOSVersion(const QString& value) {
    put(iosVersion_, value);
}

QString PRIOSDeviceNode::deviceImage() const {
    return get(deviceImage_);
}
void PRIOSDeviceNode::setDeviceImage(const QString& value) {
    put(deviceImage_, value);
}

QString PRIOSDeviceNode::itunesVersion() const {
    return get(itunesVersion_);
}
void PRIOSDeviceNode::setItunesVersion(const QString& value) {
    put(itunesVersion_, value);
}

QString PRIOSDeviceNode::backUpFilePath() const {
    return get(backUpFilePath_);
}
void PRIOSDeviceNode::setBackUpFilePath(const QString& value) {
    put(backUpFilePath_, value);
}

QString PRIOSDeviceNode::unreadableReason() const {
    return get(unreadableReason_);
}
void PRIOSDeviceNode::setUnreadableReason(const QString& value) {
    put(unreadableReason_, value);
}
