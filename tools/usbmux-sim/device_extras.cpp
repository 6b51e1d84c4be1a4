#include "device_extras.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/mobiledevice/sim/simulated_device.h"
#include "platform/scratch_dir.h"

namespace nimbara::usbmuxsim {

namespace {

namespace layout = md::sim;

// An RSA public key (PKCS#1 PEM) standing in for the device's own: clients build the device
// certificate of a pair record from it. Only its public half exists.
constexpr const char* kFallbackPublicKey =
    "-----BEGIN RSA PUBLIC KEY-----\n"
    "MIIBCgKCAQEA1tEHIoHwCym9vdMD21jfnhbQtFucMiP5cx9ycNjcR5gNvlnhDEUJ\n"
    "S7Yt/ty/K9tZ+e70DmJYv/U08nRa9kr/lbTLXfApgNkF1Ie2+trV16plOamKEAl2\n"
    "nub+zKq/hqw2e4kiZAA/Rhe4dRpGXNlgV2f0y+t3x6IsVbjgTTbrS5MA8WqI2y3z\n"
    "BNeUHJ0jbEem26uQx+bqXE+0xWBWAAieQT4Y+IAGp5OBWyHXuplFaoiLQZ+pUb3l\n"
    "bMYVeYVYpQSR8egwJVAjGWEkeavXqSSfY4NCnwznz73BJXxAkWJ23w2dnIr3emWw\n"
    "2S54E9Iyf3iiHY0drIe+N9L8LnuYg4TWowIDAQAB\n"
    "-----END RSA PUBLIC KEY-----\n";

constexpr std::array<std::string_view, 14> kPublicValues = {
    "ActivationState", "BuildVersion",    "CPUArchitecture", "DeviceClass",       "DeviceColor",
    "DeviceName",      "DevicePublicKey", "HardwareModel",   "PasswordProtected", "ProductName",
    "ProductType",     "ProductVersion",  "UniqueDeviceID",  "WiFiAddress"};

// The longest "SlowDiskUsageMs" and "LockdownDelayMs" taken: a device slow, not hung.
constexpr std::int64_t kMaxSlowDiskUsageMs = 10000;
constexpr std::int64_t kMaxLockdownDelayMs = 10000;
// The longest "SyncLockHeld" taken as a time; more is for ever.
constexpr std::int64_t kMaxSyncLockHeldMs = 60000;

// The strings of an array of names.
void addNames(const PlistValue& names, std::set<std::string>& into) {
    for (const auto& name : names.toArray()) {
        if (name.isString()) {
            into.insert(name.toString());
        }
    }
}

// The file the "BeforeFirstUnlock" fault names; empty when it names none.
std::filesystem::path flagOf(const md::sim::SimulatedDevice& device, const PlistValue& faults) {
    const PlistValue& name = faults[kFaultBeforeFirstUnlock];
    if (!name.isString() || !isSafePathComponent(name.toString())) {
        return {};
    }
    return device.anchor() / name.toString();
}

}  // namespace

std::optional<DeviceExtras> readExtras(const md::sim::SimulatedDevice& device) {
    auto config = device.folder().readConfig(nullptr);
    if (!config) {
        return std::nullopt;
    }
    DeviceExtras extras;
    extras.profile = parseProfile((*config)[kKeySimProfile].toString());
    extras.trusted = (*config)[layout::kKeyTrusted].toBool(true);
    const PlistValue& faults = (*config)[layout::kKeyFaults];
    extras.passcodeLocked = faults[kFaultPasscodeLocked].toBool(false);
    extras.trustPending = faults[kFaultTrustPending].toBool(false);
    extras.restrictedContainers = faults[kFaultRestrictedContainers].toBool(false);
    addNames(faults[layout::kFaultRefusedServices], extras.refusedServices);
    addNames(faults[kFaultStalledServices], extras.stalledServices);
    addNames(faults[kFaultStalledLockdown], extras.stalledLockdown);
    addNames(faults[kFaultStalledInSession], extras.stalledInSession);
    for (const auto& [folder, names] : faults[kFaultListedNames].toDict()) {
        for (const auto& name : names.toArray()) {
            if (name.isString()) {
                extras.listedNames[folder].push_back(name.toString());
            }
        }
    }
    if (faults[kFaultMoverAnswer].isString()) {
        extras.moverAnswer = faults[kFaultMoverAnswer].toString();
    }
    if (faults[kFaultSlowDiskUsageMs].isInteger()) {
        extras.slowDiskUsage = std::chrono::milliseconds(std::clamp<std::int64_t>(
            faults[kFaultSlowDiskUsageMs].toInt64(), 0, kMaxSlowDiskUsageMs));
    }
    if (faults[kFaultSyncLockHeld].isInteger()) {
        const std::int64_t held = faults[kFaultSyncLockHeld].toInt64();
        extras.syncLockHeld = std::chrono::milliseconds(held > kMaxSyncLockHeldMs ? -1 : held);
    }
    const PlistValue& firstUnlock = faults[kFaultBeforeFirstUnlock];
    if (firstUnlock.isBool()) {
        extras.lockedSinceRestart = firstUnlock.toBool();
    } else if (const auto flag = flagOf(device, faults); !flag.empty()) {
        std::error_code ec;
        extras.lockedSinceRestart =
            std::filesystem::exists(std::filesystem::symlink_status(flag, ec));
    }
    if (faults[kFaultLockdownDelayMs].isInteger()) {
        extras.lockdownDelay = std::chrono::milliseconds(std::clamp<std::int64_t>(
            faults[kFaultLockdownDelayMs].toInt64(), 0, kMaxLockdownDelayMs));
    }
    extras.lockdown = (*config)[layout::kKeyLockdown];
    return extras;
}

bool needsFirstUnlock(const std::string& service) {
    return service == "com.apple.mobile.house_arrest" || service == "com.apple.mobilebackup2";
}

std::filesystem::path firstUnlockFlag(const md::sim::SimulatedDevice& device) {
    auto config = device.folder().readConfig(nullptr);
    return config ? flagOf(device, (*config)[layout::kKeyFaults]) : std::filesystem::path();
}

Profile profileOf(const std::optional<DeviceExtras>& extras, Profile serverProfile) {
    return extras && extras->profile ? *extras->profile : serverProfile;
}

PlistValue devicePublicKey(const DeviceExtras& extras) {
    const PlistValue& own = extras.lockdown[layout::kGlobalDomain]["DevicePublicKey"];
    if (own.isData()) {
        return own;
    }
    const std::string_view pem(kFallbackPublicKey);
    return PlistValue(PlistValue::Bytes(pem.begin(), pem.end()));
}

bool isPublicValue(const std::string& key) {
    for (const auto& name : kPublicValues) {
        if (name == key) {
            return true;
        }
    }
    return false;
}

PlistValue publicValues(const DeviceExtras& extras) {
    PlistValue values = PlistValue::dict();
    for (const auto& [key, value] : extras.lockdown[layout::kGlobalDomain].toDict()) {
        if (isPublicValue(key)) {
            values[key] = value;
        }
    }
    values["DevicePublicKey"] = devicePublicKey(extras);
    values["PasswordProtected"] = extras.passcodeLocked;
    return values;
}

}  // namespace nimbara::usbmuxsim
