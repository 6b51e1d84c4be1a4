// The notification proxy of the simulated devices ("com.apple.mobile.notification_proxy"):
// length-prefixed property lists, each a dictionary with a "Command".
//
//   host -> device  {"Command": "ObserveNotification", "Name": n}   relay n to this connection
//                   {"Command": "PostNotification", "Name": n}      post n on the device
//                   {"Command": "Shutdown"}                         answered by ProxyDeath, then
//                                                                   the device closes
//   device -> host  {"Command": "RelayNotification", "Name": n}     n was posted on the device
//                   {"Command": "ProxyDeath"}
//
// A notification posted on a device, by a host or by the device itself (the backup service posts
// the passcode dialog's notifications), goes to every connection of that device that observes
// its name, once per connection.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "usbmux_server.h"

namespace nimbara::usbmuxsim {

class NotificationHub {
  public:
    // The hub of this process: the devices' notification centres, by usbmux device id.
    static NotificationHub& instance();

    // Relays `name` to the connections of the device that observe it.
    void post(std::uint32_t deviceId, const std::string& name);
    // Serves one notification-proxy connection until the peer shuts it down or closes it.
    void serve(UsbmuxServer& server, int fd, const AttachedDevice& device);

  private:
    struct Observer {
        std::uint32_t deviceId = 0;
        int fd = -1;
        std::set<std::string> names;  // guarded by the hub's mutex
        std::mutex writeMutex;        // relays from other threads versus the connection's own
        bool open = true;             // guarded by writeMutex: fd is still this connection's
    };

    std::mutex mutex_;
    std::vector<std::shared_ptr<Observer>> observers_;
};

}  // namespace nimbara::usbmuxsim
