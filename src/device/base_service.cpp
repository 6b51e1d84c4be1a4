#include "device/base_service.h"

#include "device/device_manager.h"

namespace amd {

BaseService::BaseService() = default;

BaseService::~BaseService() {
    if (socket_) {
        socket_->close();
    }
}

int BaseService::Init(int deviceIndex) {
    return Bind(deviceIndex, DeviceManager::GetInstance().FindDevice(deviceIndex));
}

int BaseService::Bind(int deviceIndex, const std::shared_ptr<BaseDevice>& device) {
    if (!device) {
        return 1;
    }
    index_ = deviceIndex;
    device_ = std::make_unique<BaseDevice>(device->handle());
    return 0;
}

int BaseService::StartService(const std::string& serviceName) {
    if (!device_) {
        return -1;
    }
    return RunInBracket(*device_, [&] {
        std::unique_ptr<nimbara::md::ServiceConnection> connection;
        const int rc = device_->handle()->startService(serviceName, connection);
        if (rc == 0) {
            setConnection(std::move(connection));
        }
        return rc;
    });
}

void BaseService::setConnection(std::unique_ptr<nimbara::md::ServiceConnection> connection) {
    if (socket_) {
        socket_->close();
    }
    socket_ = std::move(connection);
}

unsigned int BaseService::SendPlist(const nimbara::PlistValue& message) {
    if (!socket_) {
        return 0;
    }
    std::uint32_t length = 0;
    if (nimbara::md::sendFrame(*socket_, message, &length) != 0) {
        return 0;
    }
    // The length word as it went over the wire (big-endian), which is never zero.
    return ((length & 0xFFu) << 24) | ((length & 0xFF00u) << 8) | ((length >> 8) & 0xFF00u) |
           (length >> 24);
}

std::optional<nimbara::PlistValue> BaseService::ReceivePlist() {
    if (!socket_) {
        return std::nullopt;
    }
    return nimbara::md::receiveFrame(*socket_);
}

}  // namespace amd
