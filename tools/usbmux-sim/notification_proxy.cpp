#include "notification_proxy.h"

#include <algorithm>

#include "afc_locks.h"
#include "platform/plist_value.h"
#include "socket_io.h"

namespace nimbara::usbmuxsim {

namespace {

PlistValue command(const char* name) {
    PlistValue message = PlistValue::dict();
    message["Command"] = name;
    return message;
}

}  // namespace

NotificationHub& NotificationHub::instance() {
    static NotificationHub hub;
    return hub;
}

void NotificationHub::post(std::uint32_t deviceId, const std::string& name) {
    std::vector<std::shared_ptr<Observer>> receivers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& observer : observers_) {
            if (observer->deviceId == deviceId && observer->names.count(name)) {
                receivers.push_back(observer);
            }
        }
    }
    PlistValue relay = command("RelayNotification");
    relay["Name"] = name;
    for (const auto& observer : receivers) {
        std::lock_guard<std::mutex> lock(observer->writeMutex);
        if (observer->open) {
            writeFrame(observer->fd, relay);
        }
    }
}

void NotificationHub::serve(UsbmuxServer& server, int fd, const AttachedDevice& device) {
    auto self = std::make_shared<Observer>();
    self->deviceId = device.id;
    self->fd = fd;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        observers_.push_back(self);
    }
    while (auto request = readRequest(fd)) {
        const std::string& what = (*request)["Command"].toString();
        const std::string& name = (*request)["Name"].toString();
        server.log("notification proxy " + what + " " + name);
        if (what == "ObserveNotification" && !name.empty()) {
            std::lock_guard<std::mutex> lock(mutex_);
            self->names.insert(name);
        } else if (what == "PostNotification" && !name.empty()) {
            if (name == kSyncLockRequest) {
                OtherSyncHost::instance().lockRequested(device.id);
            }
            post(device.id, name);
        } else if (what == "Shutdown") {
            std::lock_guard<std::mutex> lock(self->writeMutex);
            writeFrame(fd, command("ProxyDeath"));
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::erase(observers_, self);
    }
    // The descriptor is closed once this returns: no relay may write to it from now on.
    std::lock_guard<std::mutex> lock(self->writeMutex);
    self->open = false;
}

}  // namespace nimbara::usbmuxsim
