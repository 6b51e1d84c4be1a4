// What the pages may know of the mobile-device library's codes: why a device waits, which
// failures are refusals of the device, the sentence for a code, and the mark of a storage figure
// the device doesn't report. Pages use these instead of the library's header.
#pragma once

#include <string>
#include <vector>

#include "platform/mobiledevice/mobile_device.h"

namespace amd {

namespace DeviceCode {
constexpr int Locked = nimbara::md::Error::PasswordProtected;     // locked with a passcode
constexpr int TrustPending = nimbara::md::Error::PairingPending;  // the trust question shows
constexpr int TrustRefused = nimbara::md::Error::PairingRefused;  // the user chose not to trust
constexpr int NotTrusted = nimbara::md::Error::InvalidPairing;    // not paired yet
constexpr int ContainerRefused = nimbara::md::Error::ContainerRefused;  // app shares no files
constexpr int Refused = nimbara::md::Error::Refused;                    // the device said no
constexpr int ServiceRefused = nimbara::md::Error::ServiceRefused;      // no such service
constexpr int AppNotInstalled = nimbara::md::Error::AppNotInstalled;    // no such app
constexpr int NoAnswer = nimbara::md::Error::Timeout;       // the device did not answer in time
constexpr int Connecting = nimbara::md::Error::Connecting;  // plugged in, being read
}  // namespace DeviceCode

// A sentence the user can read for a device code ("" for 0).
inline std::string DeviceCodeText(int code) {
    return nimbara::md::errorText(code);
}

// Why one app's container can't be opened (the result of AppDirService::Init): "" for 0.
std::string ContainerRefusalText(int code);
// Why the device won't archive an app (the result of AppService::ArchiveApplication): "" for 0.
std::string ArchiveRefusalText(int code);
// For a walk over several apps: the apps passed over because their containers were refused,
// named ("" for none), so that what the walk shows is not taken for all there is.
std::string ContainersRefusedText(const std::vector<std::string>& appNames);

// Marks a storage-metrics group or item the device doesn't report.
inline constexpr const char* kMetricUnknown = nimbara::md::kMetricUnknown;

}  // namespace amd
