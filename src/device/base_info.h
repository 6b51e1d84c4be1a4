// A device's lockdown values, its disk usage, and the last storage metrics it sent over media
// sync.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "device/base_service.h"
#include "platform/plist_value.h"

namespace amd {

// Byte counts of the lockdown domain "com.apple.disk_usage". The rest of the system uses
// TotalDiskCapacity as "total" and AmountDataAvailable as "free" (see device_space.h).
struct DiskUsage {
    std::uint64_t TotalDiskCapacity = 0;
    std::uint64_t TotalDataCapacity = 0;
    std::uint64_t TotalSystemCapacity = 0;
    std::uint64_t AmountDataAvailable = 0;
    std::uint64_t TotalSystemAvailable = 0;
    std::uint64_t TotalDataAvailable = 0;
};

class BaseInfo : public BaseService {
  public:
    BaseInfo();
    ~BaseInfo() override;

    // Binds like BaseService::Bind; safe while other threads read values through this object.
    int Bind(int deviceIndex, const std::shared_ptr<BaseDevice>& device) override;

    // One value (or, with no key, a whole domain as a dictionary) read inside one device bracket,
    // unless the device answered it moments ago (while its attach is handled: see
    // Device::recentValue). nullopt when the device can't be reached, pairing or session fail, or
    // there is no such value. No domain means the global domain.
    std::optional<nimbara::PlistValue> CopyValue(const std::optional<std::string>& domain,
                                                 const std::optional<std::string>& key);

    // Global-domain texts; nullopt when missing or not text.
    std::optional<std::string> GetDeviceName();
    std::optional<std::string> GetUniqueDeviceID();
    std::optional<std::string> GetProductType();
    std::optional<std::string> GetProductVersion();
    std::optional<std::string> GetPhoneNumber();
    std::optional<std::string> GetBuildVersion();
    std::optional<std::string> GetSerialNumber();

    // The domain "com.apple.mobile.battery".
    std::optional<nimbara::PlistValue> GetBatteryInfo();
    // "TimeZoneOffsetFromUTC"; 0 when missing.
    std::int64_t GetTimeZoneOffset();
    // Asked of the device on every call but those of its attach; all zeros when it can't be
    // read. Missing, non-number and
    // negative values count 0.
    DiskUsage GetDiskUsage();

    // Keeps a copy of the last "AssetMetrics" parameters. Called from media-sync readers.
    void SetValues(const nimbara::PlistValue& values);
    // The last metrics, null before the first. The snapshot stays valid for as long as the caller
    // holds it, even after a newer message replaced it.
    nimbara::PlistRef GetValues() const;

    // A small model-family code from "ProductType" (0 when unknown).
    int GetProductFamily();
    static int ProductFamilyOf(const std::string& productType);

  private:
    std::optional<std::string> copyText(const char* key);

    mutable std::mutex bindMutex_;    // guards binding against concurrent value reads
    mutable std::mutex valuesMutex_;  // guards values_
    nimbara::PlistRef values_;
};

}  // namespace amd
