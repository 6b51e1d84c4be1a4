// Lockdown of a simulated device on a connected socket (port 62078): length-prefixed property
// lists, one answer per request, each carrying the request's name and, on failure, "Error".
//
//   QueryType      "com.apple.mobile.lockdown"
//   GetValue       by "Domain" and "Key"; before a session only the public global values
//                  (device_extras.h), after it everything; "MissingValue" when there is none
//   Pair           refused with "PasswordProtected" (passcode lock), "PairingDialogResponsePending"
//                  (trust question on screen) or "UserDeniedPairing" (not trusted); on success
//                  the device trusts the record's HostID and answers an "EscrowBag"
//   ValidatePair   "InvalidHostID" unless the device trusts the record's HostID; "InvalidRequest"
//                  where the profile no longer knows the request (sim_profile.h)
//   Unpair         forgets the HostID
//   StartSession   "InvalidHostID" unless the device trusts "HostID"; answers "SessionID" and
//                  "EnableSessionSSL" as the profile has it: when true, the session goes on in
//                  TLS (tls_link.h) from the answer on, and a failed handshake ends the connection
//   StopSession    answered in the session's TLS; plain text after it
//   Goodbye
//   StartService   needs a session; "InvalidService" for a service the device does not have,
//                  "ServiceProhibited" for one it refuses; else "Port" and "EnableServiceSSL"
//                  (true for the TLS services of the profile)
//
// The global domain is served as global_values.h makes it: "ProductVersion" and "BuildVersion" as
// the profile has them, and the keys of a current iPhone.
//
// A request named in the device's stalled lockdown requests (device_extras.h), or in its
// requests stalled in a session while one is open, is read and never answered: the socket stays
// open, even after the device went away, until the peer closes it.
// With the device's lockdown delay every answer waits that long first.
//
// The device is connected for the life of the socket (the caller connected it; run()
// disconnects it). When the device goes away the socket is dropped without an answer.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "device_extras.h"
#include "platform/plist_value.h"
#include "sim_profile.h"
#include "tls_link.h"
#include "usbmux_server.h"

namespace nimbara::usbmuxsim {

class LockdownSession {
  public:
    LockdownSession(UsbmuxServer& server, int fd, AttachedDevice device);
    ~LockdownSession();
    // Answers requests until the peer closes, says goodbye or the device goes away.
    void run();

  private:
    // The server's side of the handshake after StartSession's answer; false when it failed.
    bool beginTls(HandshakeLog::Pending handshake);
    // Whether the request stalls; if so it returns once the peer closed the socket.
    bool stalls(const std::optional<DeviceExtras>& extras, const PlistValue& request);
    // Waits `delay` before an answer; false when the device went meanwhile.
    bool waitBeforeAnswer(std::chrono::milliseconds delay) const;
    // The answer to one request; nullopt when the connection must be dropped unanswered.
    std::optional<PlistValue> handle(const PlistValue& request, bool& goodbye);
    std::optional<PlistValue> getValue(const PlistValue& request);
    std::optional<PlistValue> pair(const PlistValue& request);
    std::optional<PlistValue> startSession(const PlistValue& request);
    std::optional<PlistValue> startService(const PlistValue& request);
    bool refusedUntilUnlocked(const std::string& service) const;

    UsbmuxServer& server_;
    const int fd_;
    const AttachedDevice device_;
    const Profile profile_;
    bool sessionOpen_ = false;
    std::string sessionId_;
    std::unique_ptr<TlsLink> tls_;  // the session's TLS, between StartSession and StopSession
    bool enterTls_ = false;         // TLS begins after the answer being sent
    bool leaveTls_ = false;         // TLS ends after the answer being sent
};

}  // namespace nimbara::usbmuxsim
