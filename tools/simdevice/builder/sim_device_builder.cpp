// The device.plist side of the builder: identity, lockdown values, trust, metrics, faults.
#include "sim_device_builder.h"

#include <algorithm>
#include <stdexcept>

#include "backup/shah.h"
#include "device_path.h"
#include "folder_steps.h"
#include "platform/mobiledevice/sim/sim_layout.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;
namespace layout = md::sim;

namespace {

using backup::sha1Hex;

// A serial number in the usual 12-character form, derived from the device identifier.
std::string serialFrom(const std::string& udid) {
    static const char kAlphabet[] = "0123456789ABCDEFGHJKLMNPQRSTUVWXYZ";
    const std::string digest = sha1Hex("serial:" + udid);
    std::string serial;
    for (std::size_t i = 0; i < 12; ++i) {
        const unsigned value =
            static_cast<unsigned>(std::stoul(digest.substr(i * 2, 2), nullptr, 16));
        serial += kAlphabet[value % (sizeof(kAlphabet) - 1)];
    }
    return serial;
}

std::string macFrom(const std::string& udid, const char* salt) {
    const std::string digest = sha1Hex(salt + udid);
    std::string mac;
    for (int i = 0; i < 6; ++i) {
        if (i) {
            mac += ':';
        }
        mac += digest.substr(static_cast<std::size_t>(i) * 2, 2);
    }
    return mac;
}

const char* buildOf(const std::string& productVersion) {
    struct Build {
        const char* version;
        const char* build;
    };
    static const Build kBuilds[] = {{"10.3.3", "14G60"},  {"11.4.1", "15G77"}, {"12.4", "16G77"},
                                    {"12.4.1", "16G102"}, {"13.3", "17C54"},   {"13.5", "17F75"}};
    for (const Build& b : kBuilds) {
        if (productVersion == b.version) {
            return b.build;
        }
    }
    return nullptr;
}

}  // namespace

SimDeviceBuilder::SimDeviceBuilder(fs::path dir) : dir_(std::move(dir)) {
    if (dir_.empty()) {
        throw std::invalid_argument("device folder not given");
    }
    makeFolders(dir_ / layout::kMediaDir);
    makeFolders(dir_ / layout::kAppsDir);
    makeFolders(dir_ / layout::kCrashesDir);

    device_ = PlistValue::dict();
    device_[layout::kKeyTrusted] = true;
    device_[layout::kKeyLockdown] = PlistValue::dict();

    std::error_code ec;
    const fs::path absolute = fs::absolute(dir_, ec);
    const std::string udid = sha1Hex((ec ? dir_ : absolute).lexically_normal().string());
    setIdentity("iPhone", udid);
    setValue(layout::kGlobalDomain, "DeviceClass", "iPhone");
    setValue(layout::kGlobalDomain, "ProductName", "iPhone OS");
    setValue(layout::kGlobalDomain, "HardwareModel", "D201AP");
    setValue(layout::kGlobalDomain, "ModelNumber", "MQ8L2");
    setValue(layout::kGlobalDomain, "RegionInfo", "LL/A");
    setValue(layout::kGlobalDomain, "CPUArchitecture", "arm64");
    setValue(layout::kGlobalDomain, "ActivationState", "Activated");
    setValue(layout::kGlobalDomain, "DeviceColor", "1");
    setValue(layout::kGlobalDomain, "PhoneNumber", "+1 (555) 010-0199");
    setValue(layout::kGlobalDomain, "TimeZone", "Europe/Berlin");
    setValue(layout::kGlobalDomain, "TimeZoneOffsetFromUTC", 3600.0);
    setValue(layout::kGlobalDomain, "Uses24HourClock", true);
    setDiskUsage(64000000000ULL, 21000000000ULL);
    setValue("com.apple.mobile.battery", "BatteryCurrentCapacity", 76);
    setValue("com.apple.mobile.battery", "BatteryIsCharging", false);
}

fs::path SimDeviceBuilder::mediaPath(const std::string& devicePath) const {
    return confinedPath(dir_ / layout::kMediaDir, devicePath, true);
}

fs::path SimDeviceBuilder::appPath(const std::string& bundleId) const {
    checkFolderName(bundleId, "bundle identifier");
    return dir_ / layout::kAppsDir / bundleId;
}

fs::path SimDeviceBuilder::containerPath(const std::string& bundleId,
                                         const std::string& devicePath) const {
    return confinedPath(appPath(bundleId) / layout::kAppContainer, devicePath, true);
}

fs::path SimDeviceBuilder::crashPath(const std::string& devicePath) const {
    return confinedPath(dir_ / layout::kCrashesDir, devicePath, true);
}

SimDeviceBuilder& SimDeviceBuilder::setIdentity(const std::string& name, const std::string& udid,
                                                const std::string& productType,
                                                const std::string& productVersion) {
    if (udid.empty()) {
        throw std::invalid_argument("empty UniqueDeviceID");
    }
    setValue(layout::kGlobalDomain, "DeviceName", name);
    setValue(layout::kGlobalDomain, "UniqueDeviceID", udid);
    setValue(layout::kGlobalDomain, "ProductType", productType);
    setValue(layout::kGlobalDomain, "ProductVersion", productVersion);
    setValue(layout::kGlobalDomain, "SerialNumber", serialFrom(udid));
    setValue(layout::kGlobalDomain, "WiFiAddress", macFrom(udid, "wifi:"));
    setValue(layout::kGlobalDomain, "BluetoothAddress", macFrom(udid, "bt:"));
    if (const char* build = buildOf(productVersion)) {
        setValue(layout::kGlobalDomain, "BuildVersion", build);
    } else if (!device_[layout::kKeyLockdown][layout::kGlobalDomain].contains("BuildVersion")) {
        setValue(layout::kGlobalDomain, "BuildVersion", "16G102");
    }
    return *this;
}

SimDeviceBuilder& SimDeviceBuilder::setValue(const std::string& domain, const std::string& key,
                                             PlistValue v) {
    if (domain.empty() || key.empty()) {
        throw std::invalid_argument("lockdown domain and key must not be empty");
    }
    device_[layout::kKeyLockdown][domain][key] = std::move(v);
    return *this;
}

SimDeviceBuilder& SimDeviceBuilder::setDiskUsage(std::uint64_t totalDiskCapacity,
                                                 std::uint64_t amountDataAvailable) {
    // The system partition takes a sixteenth (4 GB of a 64 GB device), the rest is data.
    const std::uint64_t system = totalDiskCapacity / 16;
    const std::uint64_t data = totalDiskCapacity - system;
    if (amountDataAvailable > data) {
        throw std::invalid_argument("more space available than the data partition holds");
    }
    // Purgeable space the device could free on demand comes on top of what is free now.
    const std::uint64_t purgeable = std::min<std::uint64_t>(data - amountDataAvailable, 250000000);
    const char* domain = "com.apple.disk_usage";
    setValue(domain, "TotalDiskCapacity", totalDiskCapacity);
    setValue(domain, "TotalSystemCapacity", system);
    setValue(domain, "TotalDataCapacity", data);
    setValue(domain, "TotalSystemAvailable", system / 5);
    setValue(domain, "AmountDataAvailable", amountDataAvailable);
    setValue(domain, "TotalDataAvailable", amountDataAvailable + purgeable);
    return *this;
}

SimDeviceBuilder& SimDeviceBuilder::setTrusted(bool trusted) {
    device_[layout::kKeyTrusted] = trusted;
    return *this;
}

SimDeviceBuilder& SimDeviceBuilder::setAssetMetrics(std::int64_t apps, std::int64_t music,
                                                    std::int64_t movies, std::int64_t photos,
                                                    std::int64_t cameraRoll) {
    auto size = [](std::int64_t bytes) {
        PlistValue d = PlistValue::dict();
        d["_PhysicalSize"] = bytes;
        return d;
    };
    PlistValue metrics = PlistValue::dict();
    metrics["Application"] = size(apps);
    metrics["Media"]["Music"] = size(music);
    metrics["Media"]["Movie"] = size(movies);
    metrics["Photo"]["Photo"] = size(photos);
    metrics["Photo"]["CameraRoll"] = size(cameraRoll);
    device_[layout::kKeyAssetMetrics] = std::move(metrics);
    return *this;
}

SimDeviceBuilder& SimDeviceBuilder::setFault(const std::string& key, PlistValue value) {
    if (key.empty()) {
        throw std::invalid_argument("empty fault name");
    }
    device_[layout::kKeyFaults][key] = std::move(value);
    return *this;
}

bool SimDeviceBuilder::write() {
    return device_.writeFile((dir_ / layout::kDevicePlist).string());
}

}  // namespace nimbara::simdev
