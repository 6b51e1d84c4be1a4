// How the simulated device behaves by the iOS generation it stands for. The server has one
// profile ("--profile", default the newest); a device.plist's "SimProfile" (the same names)
// overrides it for that device.
//
//   legacy   no TLS anywhere, "ValidatePair" accepted; the device's own "ProductVersion"
//   ios11    "ValidatePair" is a request the device no longer knows: {"Error": "InvalidRequest"},
//            which libimobiledevice reports as an unknown error. "StartSession" answers
//            "EnableSessionSSL" true and the session goes on in TLS 1.2 or later only (a client
//            capped at TLS 1.0 fails the handshake); "ProductVersion" at least 11.4.1 (a version
//            raised to it comes with its "BuildVersion", 15G77)
//   ios17    as ios11, and the services of the TLS column of lockdown.cpp's service table
//            answer "EnableServiceSSL" true and speak TLS; "ProductVersion" at least 17.5.1 (build
//            21F90); the installation proxy's disk-usage answers are slow (300 ms a batch) unless
//            the device's "SlowDiskUsageMs" says otherwise
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace nimbara::usbmuxsim {

enum class Profile { Legacy, Ios11, Ios17 };

inline constexpr Profile kNewestProfile = Profile::Ios17;
inline constexpr const char* kKeySimProfile = "SimProfile";

std::optional<Profile> parseProfile(std::string_view name);
const char* profileName(Profile profile);

bool acceptsValidatePair(Profile profile);
bool sessionTls(Profile profile);
bool serviceTls(Profile profile);
// The installation proxy's delay for each batch of apps it answers with their disk usage, where
// the device's faults do not say ("SlowDiskUsageMs").
std::chrono::milliseconds diskUsageDelay(Profile profile);
// The "ProductVersion" served for a device whose own is `own`: the own one, raised to the
// profile's lowest when it is older (or unreadable).
std::string servedProductVersion(Profile profile, const std::string& own);
// The "BuildVersion" served with a "ProductVersion" raised to the profile's lowest.
std::string servedBuildVersion(Profile profile);

}  // namespace nimbara::usbmuxsim
