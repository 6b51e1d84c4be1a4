// Lockdown of a simulated device on a connected socket (port 62078): length-prefixed property
// lists, one answer per request, each carrying the request's name and, on failure, "Error".
//
//   QueryType      "com.apple.mobile.lockdown"
//   GetValue       by "Domain" and "Key"; before a session only the public global values
//                  (device_extras.h), after it everything; "MissingValue" when there is none
//   Pair           refused with "PasswordProtected" (passcode lock), "PairingDialogResponsePending"
//                  (trust question on screen) or "UserDeniedPairing" (not trusted); on success
//                  the device trusts the record's HostID and answers an "EscrowBag"
//   ValidatePair   "InvalidHostID" unless the device trusts the record's HostID
//   Unpair         forgets the HostID
//   StartSession   "InvalidHostID" unless the device trusts "HostID"; answers "SessionID" and
//                  "EnableSessionSSL" false: the session stays in plain text
//   StopSession, Goodbye
//   StartService   needs a session; "InvalidService" for a service the device does not have,
//                  "ServiceProhibited" for one it refuses; else "Port" and "EnableServiceSSL"
//                  false
//
// A request named in the device's stalled lockdown requests (device_extras.h) is read and never
// answered: the socket stays open, even after the device went away, until the peer closes it.
//
// The device is connected for the life of the socket (the caller connected it; run()
// disconnects it). When the device goes away the socket is dropped without an answer.
#pragma once

#include <optional>
#include <string>

#include "platform/plist_value.h"
#include "usbmux_server.h"

namespace nimbara::usbmuxsim {

class LockdownSession {
  public:
    LockdownSession(UsbmuxServer& server, int fd, AttachedDevice device);
    // Answers requests until the peer closes, says goodbye or the device goes away.
    void run();

  private:
    // Whether the request stalls; if so it returns once the peer closed the socket.
    bool stalls(const PlistValue& request);
    // The answer to one request; nullopt when the connection must be dropped unanswered.
    std::optional<PlistValue> handle(const PlistValue& request, bool& goodbye);
    std::optional<PlistValue> getValue(const PlistValue& request);
    std::optional<PlistValue> pair(const PlistValue& request);
    std::optional<PlistValue> startSession(const PlistValue& request);
    std::optional<PlistValue> startService(const PlistValue& request);

    UsbmuxServer& server_;
    const int fd_;
    const AttachedDevice device_;
    bool sessionOpen_ = false;
    std::string sessionId_;
};

}  // namespace nimbara::usbmuxsim
