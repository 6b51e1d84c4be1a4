// One attached device and the connect / pair / session steps, under the process-wide device lock.
#pragma once

#include <mutex>

#include "platform/mobiledevice/mobile_device.h"

namespace amd {

// Serialises every connect-to-disconnect bracket of every thread and device. Recursive: a thread
// holding it may take it again. Statically initialised.
extern std::recursive_mutex g_deviceLock;

class BaseDevice {
  public:
    explicit BaseDevice(nimbara::md::DeviceHandle handle);
    // Does not disconnect; the handle stays shared with the device manager.
    ~BaseDevice();

    // -1 without a handle (no lock taken). Otherwise takes g_deviceLock and connects; on failure
    // logs "* Can't connect (%d)", releases the lock and returns the code.
    int Connect();
    // -1 without a handle. Otherwise disconnects (logging "* Can't disconnect (%d)" on
    // failure) and always releases the lock taken by Connect.
    int Disconnect();
    int ValidatePairing();
    int StartSession();
    int StopSession();

    const nimbara::md::DeviceHandle& handle() const { return handle_; }

  private:
    nimbara::md::DeviceHandle handle_;
};

// The device bracket as a scope: Connect on construction; Disconnect (releasing the lock) on
// destruction whenever Connect succeeded, whatever happens in between.
class DeviceBracket {
  public:
    explicit DeviceBracket(BaseDevice& device);
    ~DeviceBracket();
    DeviceBracket(const DeviceBracket&) = delete;
    DeviceBracket& operator=(const DeviceBracket&) = delete;

    // The result of Connect, then of pairing and session start (first failure wins).
    int result() const { return result_; }
    bool ok() const { return result_ == 0; }

  private:
    BaseDevice& device_;
    bool connected_ = false;
    bool session_ = false;
    int result_ = 0;
};

// Runs `operation` (returning int) inside one device bracket: connect, validate pairing, start a
// session, the operation, stop the session, disconnect. Returns the first failure or the
// operation's result.
template <class Operation>
int RunInBracket(BaseDevice& device, Operation&& operation) {
    DeviceBracket bracket(device);
    if (!bracket.ok()) {
        return bracket.result();
    }
    return operation();
}

// Whether a whole bracket (connect, pairing, session) succeeds: the device trusts this computer.
bool SessionStarts(BaseDevice& device);

}  // namespace amd
