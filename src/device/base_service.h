// The root of every device service object: binds to a device index, starts a named lockdown
// service and exchanges length-prefixed property lists over it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "device/base_device.h"
#include "platform/plist_value.h"

namespace amd {

class BaseService {
  public:
    BaseService();
    virtual ~BaseService();
    BaseService(const BaseService&) = delete;
    BaseService& operator=(const BaseService&) = delete;

    // Binds to the attached device with that index: 0, or 1 when there is none (the object is
    // left unchanged). Starts no service.
    virtual int Init(int deviceIndex);
    // Binds to the given device, known by the caller to be the one at that index (the device
    // manager binds a device this way before it can be looked up): 0, or 1 without a device.
    virtual int Bind(int deviceIndex, const std::shared_ptr<BaseDevice>& device);

    // Starts a lockdown service inside one device bracket; the connection is kept in the object.
    int StartService(const std::string& serviceName);

    // Sends a 4-byte big-endian length and the XML body. Returns the length word as stored
    // (nonzero) when the whole message went out, 0 when it could not be built or sent.
    unsigned int SendPlist(const nimbara::PlistValue& message);
    // Receives one length-prefixed property list; nullopt when the length is 0 or too large, the
    // peer closes or fails mid-message, or the body does not parse.
    std::optional<nimbara::PlistValue> ReceivePlist();

    int deviceIndex() const { return index_; }
    bool bound() const { return device_ != nullptr; }
    BaseDevice* device() const { return device_.get(); }
    nimbara::md::ServiceConnection* connection() const { return socket_.get(); }

  protected:
    void setConnection(std::unique_ptr<nimbara::md::ServiceConnection> connection);

    std::unique_ptr<BaseDevice> device_;                      // null until Init succeeds
    std::unique_ptr<nimbara::md::ServiceConnection> socket_;  // null = none
    int index_ = -1;
};

}  // namespace amd
