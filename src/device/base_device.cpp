#include "device/base_device.h"

#include <cstdio>

#include "platform/main_thread.h"

namespace amd {

std::recursive_mutex g_deviceLock;

BaseDevice::BaseDevice(nimbara::md::DeviceHandle handle) : handle_(std::move(handle)) {}
BaseDevice::~BaseDevice() = default;

int BaseDevice::Connect() {
    if (!handle_) {
        return -1;
    }
    g_deviceLock.lock();
    nimbara::noteMainWaitForbidden(+1);
    const int rc = handle_->connect();
    if (rc != 0) {
        std::printf("* Can't connect (%d)\n", rc);
        std::fflush(stdout);
        nimbara::noteMainWaitForbidden(-1);
        g_deviceLock.unlock();
    }
    return rc;
}

int BaseDevice::Disconnect() {
    if (!handle_) {
        return -1;
    }
    const int rc = handle_->disconnect();
    if (rc != 0) {
        std::printf("* Can't disconnect (%d)\n", rc);
        std::fflush(stdout);
    }
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
    std::printf("* Invalid pair\n");
    std::fflush(stdout);
    return 1;
}

int BaseDevice::StartSession() {
    if (!handle_) {
        return -1;
    }
    const int rc = handle_->startSession();
    if (rc != 0) {
        std::printf("* Can't start session (%d)\n", rc);
        std::fflush(stdout);
    }
    return rc;
}

int BaseDevice::StopSession() {
    if (!handle_) {
        return -1;
    }
    const int rc = handle_->stopSession();
    if (rc != 0) {
        std::printf("* Can't stop session (%d)\n", rc);
        std::fflush(stdout);
    }
    return rc;
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

}  // namespace amd
