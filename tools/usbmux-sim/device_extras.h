// What the USB side reads from a simulated device's device.plist beyond what the simulated device
// itself acts on: the state a real device shows only over the wire (its passcode lock, a trust
// question on its screen, the container policy of its iOS version) and the values it answers
// before a session. The keys are listed at the top of main.cpp.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/plist_value.h"
#include "sim_profile.h"

namespace nimbara::md::sim {
class SimulatedDevice;
}

namespace nimbara::usbmuxsim {

inline constexpr const char* kFaultPasscodeLocked = "PasscodeLocked";
inline constexpr const char* kFaultTrustPending = "TrustPending";
inline constexpr const char* kFaultRestrictedContainers = "RestrictedContainers";
inline constexpr const char* kFaultStalledServices = "StalledServices";
inline constexpr const char* kFaultStalledLockdown = "StalledLockdown";
inline constexpr const char* kFaultStalledInSession = "StalledInSession";
inline constexpr const char* kFaultListedNames = "ListedNames";
inline constexpr const char* kFaultMoverAnswer = "MoverAnswer";
inline constexpr const char* kFaultSlowDiskUsageMs = "SlowDiskUsageMs";
inline constexpr const char* kFaultSyncLockHeld = "SyncLockHeld";
inline constexpr const char* kFaultBeforeFirstUnlock = "BeforeFirstUnlock";
inline constexpr const char* kFaultLockdownDelayMs = "LockdownDelayMs";

// Crash reports the device wrote that its crash-report mover has not yet moved into the crash
// area: <device folder>/crashes-new/, laid out as the crash area is.
inline constexpr const char* kNewCrashesDir = "crashes-new";

struct DeviceExtras {
    // The device's own "SimProfile"; none (or an unknown name) follows the server's.
    std::optional<Profile> profile;
    bool trusted = true;
    bool passcodeLocked = false;
    bool trustPending = false;
    bool restrictedContainers = false;
    std::set<std::string> refusedServices;
    std::set<std::string> stalledServices;
    // Lockdown requests ("GetValue", "StartSession", ...) read and never answered.
    std::set<std::string> stalledLockdown;
    // The same, only once a session started on the connection.
    std::set<std::string> stalledInSession;
    // Names a listing of a media folder answers besides the folder's own entries.
    std::map<std::string, std::vector<std::string>> listedNames;
    // What the crash-report mover says instead of "ping", having moved nothing.
    std::optional<std::string> moverAnswer;
    // The installation proxy's delay for each batch of apps with their disk usage; none: the
    // profile's.
    std::optional<std::chrono::milliseconds> slowDiskUsage;
    // Another program holds the sync lock: it lets go this long after a host asked for it
    // (negative: never).
    std::optional<std::chrono::milliseconds> syncLockHeld;
    // The device was not unlocked since it restarted: its protected data cannot be reached.
    bool lockedSinceRestart = false;
    // How long lockdown waits before each answer (a busy device on a slow bus).
    std::chrono::milliseconds lockdownDelay{0};
    PlistValue lockdown;  // the "Lockdown" dictionary: values by domain
};

// Whether a device not unlocked since its restart refuses to start this service.
bool needsFirstUnlock(const std::string& service);
// The flag file of the "BeforeFirstUnlock" fault, written when the device restarts; empty when
// the fault names none.
std::filesystem::path firstUnlockFlag(const md::sim::SimulatedDevice& device);

// Reads the device's device.plist now. nullopt when it cannot be read (the device went away, or
// the file is being rewritten).
std::optional<DeviceExtras> readExtras(const md::sim::SimulatedDevice& device);

// The profile the device behaves by: its own, else `serverProfile`.
Profile profileOf(const std::optional<DeviceExtras>& extras, Profile serverProfile);

// The device's public key, as lockdown hands it out ("DevicePublicKey", PEM): the device.plist's
// own value when it has one, else a fixed key that clients can make certificates for.
PlistValue devicePublicKey(const DeviceExtras& extras);

// Whether lockdown answers this global value before a session (to a host it does not trust
// yet).
bool isPublicValue(const std::string& key);
// The global domain as seen before a session: only its public values.
PlistValue publicValues(const DeviceExtras& extras);

}  // namespace nimbara::usbmuxsim
