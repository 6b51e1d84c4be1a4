#include "global_values.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <functional>
#include <utility>

namespace nimbara::usbmuxsim {

namespace {

constexpr const char* kProductVersion = "ProductVersion";
constexpr const char* kBuildVersion = "BuildVersion";

// What a current iPhone's global domain holds beside its identity, where the device.plist does
// not say otherwise.
const std::array<std::pair<const char*, PlistValue>, 20>& fixedValues() {
    static const std::array<std::pair<const char*, PlistValue>, 20> values = {{
        {"DeviceClass", PlistValue("iPhone")},
        {"ProductName", PlistValue("iPhone OS")},
        {"HardwareModel", PlistValue("N104AP")},
        {"ModelNumber", PlistValue("MWLT2")},
        {"RegionInfo", PlistValue("LL/A")},
        {"CPUArchitecture", PlistValue("arm64e")},
        {"ActivationState", PlistValue("Activated")},
        {"DeviceColor", PlistValue("1")},
        {"TimeZone", PlistValue("Europe/Berlin")},
        {"TimeZoneOffsetFromUTC", PlistValue(3600.0)},
        {"Uses24HourClock", PlistValue(true)},
        {"FirmwareVersion", PlistValue("iBoot-10151.120.12")},
        {"BasebandVersion", PlistValue("5.00.00")},
        {"SIMStatus", PlistValue("kCTSIMSupportSIMStatusReady")},
        {"TelephonyCapability", PlistValue(true)},
        {"ProductionSOC", PlistValue(true)},
        {"BrickState", PlistValue(false)},
        {"PartitionType", PlistValue("GUID_partition_scheme")},
        {"HostAttached", PlistValue(true)},
        {"TrustedHostAttached", PlistValue(true)},
    }};
    return values;
}

// The chip's identifier: the second part of a current UDID ("00008030-001A2B3C4D5E6F70"), else
// a number made from the UDID.
std::int64_t chipIdOf(const std::string& udid) {
    const auto dash = udid.find('-');
    if (dash != std::string::npos && udid.size() - dash - 1 == 16) {
        std::uint64_t id = 0;
        const char* begin = udid.data() + dash + 1;
        const char* end = udid.data() + udid.size();
        const auto [stop, ec] = std::from_chars(begin, end, id, 16);
        if (ec == std::errc() && stop == end) {
            return static_cast<std::int64_t>(id & 0x7FFFFFFFFFFFFFFFull);
        }
    }
    return static_cast<std::int64_t>(std::hash<std::string>{}(udid)&0xFFFFFFFFFFFFull);
}

}  // namespace

void serveProfileVersion(PlistValue& values, Profile profile) {
    if (!values.contains(kProductVersion)) {
        return;
    }
    const std::string own = values[kProductVersion].toString();
    const std::string served = servedProductVersion(profile, own);
    values[kProductVersion] = served;
    if (served != own) {
        values[kBuildVersion] = servedBuildVersion(profile);
    }
}

PlistValue servedGlobalValues(const PlistValue& own, const DeviceExtras& extras, Profile profile) {
    PlistValue values = own.isDict() ? own : PlistValue::dict();
    for (const auto& [key, value] : fixedValues()) {
        if (!values.contains(key)) {
            values[key] = value;
        }
    }
    if (!values.contains("UniqueChipID")) {
        values["UniqueChipID"] = chipIdOf(values["UniqueDeviceID"].toString());
    }
    values["DevicePublicKey"] = devicePublicKey(extras);
    values["PasswordProtected"] = extras.passcodeLocked;
    serveProfileVersion(values, profile);
    return values;
}

}  // namespace nimbara::usbmuxsim
