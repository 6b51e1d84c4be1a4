#include "device/base_device.h"

#include "platform/log_categories.h"
#include "platform/main_thread.h"

namespace amd {

std::recursive_mutex g_deviceLock;

namespace {

// Logs "* Can't <what> (<rc>)" for a failed step; returns `rc`.
int reportFailure(const char* what, int rc) {
    if (rc != 0) {
        qCWarning(lcDevice, "* Can't %s (%d)", what, rc);
    }
    return rc;
}

}  // namespace

BaseDevice::BaseDevice(nimbara::md::DeviceHandle handle) : handle_(std::move(handle)) {}
BaseDevice::~BaseDevice() = default;

int BaseDevice::Connect() {
    if (!handle_) {
        return -1;
    }
    g_deviceLock.lock();
    nimbara::noteMainWaitForbidden(+1);
    const int rc = reportFailure("connect", handle_->connect());
    if (rc != 0) {
        nimbara::noteMainWaitForbidden(-1);
        g_deviceLock.unlock();
    }
    return rc;
}

int BaseDevice::Disconnect() {
    if (!handle_) {
        return -1;
    }
    const int rc = reportFailure("disconnect", handle_->disconnect());
    nimbara::noteMainWaitForbidden(-1);
    g_deviceLock.unlock();
    return rc;
}

int BaseDevice::ValidatePairing() {
    if (!handle_) {
        return -1;
    }
    if (handle_->validatePairing() == 0) {
        return 0;
    }
    if (handle_->pair() == 0 && handle_->isPaired() != 0) {
        return 0;
    }
    qCWarning(lcDevice, "* Invalid pair");
    return 1;
}

int BaseDevice::StartSession() {
    return handle_ ? reportFailure("start session", handle_->startSession()) : -1;
}

int BaseDevice::StopSession() {
    return handle_ ? reportFailure("stop session", handle_->stopSession()) : -1;
}

DeviceBracket::DeviceBracket(BaseDevice& device) : device_(device) {
    result_ = device_.Connect();
    if (result_ != 0) {
        return;
    }
    connected_ = true;
    result_ = device_.ValidatePairing();
    if (result_ != 0) {
        return;
    }
    result_ = device_.StartSession();
    session_ = result_ == 0;
}

DeviceBracket::~DeviceBracket() {
    if (session_) {
        device_.StopSession();  // its result does not change the operation's
    }
    if (connected_) {
        device_.Disconnect();
    }
}

bool SessionStarts(BaseDevice& device) {
    return DeviceBracket(device).ok();
}

}  // namespace amd
