#include "device/base_info.h"

#include <array>
#include <string_view>
#include <utility>

#include "device/value_conversions.h"

namespace amd {

using nimbara::PlistValue;

BaseInfo::BaseInfo() = default;
BaseInfo::~BaseInfo() = default;

int BaseInfo::Bind(int deviceIndex, const std::shared_ptr<BaseDevice>& device) {
    std::lock_guard<std::mutex> lock(bindMutex_);
    return BaseService::Bind(deviceIndex, device);
}

std::optional<PlistValue> BaseInfo::CopyValue(const std::optional<std::string>& domain,
                                              const std::optional<std::string>& key) {
    nimbara::md::DeviceHandle handle;
    {
        std::lock_guard<std::mutex> lock(bindMutex_);
        if (!device_) {
            return std::nullopt;
        }
        handle = device_->handle();
    }
    PlistValue value;
    switch (handle->recentValue(domain, key, value)) {
        case nimbara::md::Device::Recent::Found:
            return value;
        case nimbara::md::Device::Recent::Missing:
            return std::nullopt;
        case nimbara::md::Device::Recent::NotKnown:
            break;
    }
    // A holder of our own: several threads may read values at once.
    BaseDevice device(handle);
    const int rc = RunInBracket(device, [&] { return handle->copyValue(domain, key, value); });
    if (rc != 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> BaseInfo::copyText(const char* key) {
    std::optional<PlistValue> value = CopyValue(std::nullopt, std::string(key));
    if (!value || !value->isString()) {
        return std::nullopt;
    }
    return cfStringToStdString(*value);
}

std::optional<std::string> BaseInfo::GetDeviceName() {
    return copyText("DeviceName");
}
std::optional<std::string> BaseInfo::GetUniqueDeviceID() {
    return copyText("UniqueDeviceID");
}
std::optional<std::string> BaseInfo::GetProductType() {
    return copyText("ProductType");
}
std::optional<std::string> BaseInfo::GetProductVersion() {
    return copyText("ProductVersion");
}
std::optional<std::string> BaseInfo::GetPhoneNumber() {
    return copyText("PhoneNumber");
}
std::optional<std::string> BaseInfo::GetBuildVersion() {
    return copyText("BuildVersion");
}
std::optional<std::string> BaseInfo::GetSerialNumber() {
    return copyText("SerialNumber");
}

std::optional<PlistValue> BaseInfo::GetBatteryInfo() {
    return CopyValue(std::string("com.apple.mobile.battery"), std::nullopt);
}

std::int64_t BaseInfo::GetTimeZoneOffset() {
    return cfNumberToInt64(CopyValue(std::nullopt, std::string("TimeZoneOffsetFromUTC")));
}

DiskUsage BaseInfo::GetDiskUsage() {
    DiskUsage usage;
    std::optional<PlistValue> domain = CopyValue(std::string("com.apple.disk_usage"), std::nullopt);
    if (!domain || !domain->isDict()) {
        return usage;
    }
    auto read = [&](const char* key) -> std::uint64_t {
        const std::int64_t n = cfNumberToInt64(domain->find(key));
        return n > 0 ? static_cast<std::uint64_t>(n) : 0;
    };
    usage.TotalDiskCapacity = read("TotalDiskCapacity");
    usage.TotalDataCapacity = read("TotalDataCapacity");
    usage.TotalSystemCapacity = read("TotalSystemCapacity");
    usage.AmountDataAvailable = read("AmountDataAvailable");
    usage.TotalSystemAvailable = read("TotalSystemAvailable");
    usage.TotalDataAvailable = read("TotalDataAvailable");
    return usage;
}

void BaseInfo::SetValues(const PlistValue& values) {
    nimbara::PlistRef copy = std::make_shared<const PlistValue>(values);
    {
        std::lock_guard<std::mutex> lock(valuesMutex_);
        std::swap(values_, copy);
    }
    // `copy` now holds the previous snapshot; it is released here, outside the lock.
}

nimbara::PlistRef BaseInfo::GetValues() const {
    std::lock_guard<std::mutex> lock(valuesMutex_);
    return values_;
}

int BaseInfo::GetProductFamily() {
    std::optional<std::string> type = GetProductType();
    return type ? ProductFamilyOf(*type) : 0;
}

int BaseInfo::ProductFamilyOf(const std::string& productType) {
    struct Family {
        int code;
        std::array<std::string_view, 4> models;
    };
    // Tried in this order; the first contained model code decides.
    static constexpr Family kFamilies[] = {
        {1, {"iPad1,1"}},
        {2, {"iPad2,1", "iPad2,2", "iPad2,3", "iPad2,4"}},
        {3, {"iPad3,1", "iPad3,2", "iPad3,3"}},
        {4, {"iPad3,4", "iPad3,5", "iPad3,6"}},
        {5, {"iPad4,1", "iPad4,2"}},
        {6, {"iPad2,5", "iPad2,6", "iPad2,7"}},
        {7, {"iPad4,4", "iPad4,5"}},
        {8, {"iPhone1,1"}},
        {9, {"iPhone1,2"}},
        {10, {"iPhone2,2"}},
        {11, {"iPhone3,1", "iPhone3,2", "iPhone3,3"}},
        {12, {"iPhone4,1"}},
        {13, {"iPhone5,1", "iPhone5,2", "iPhone5,3"}},
        {14, {"iPhone6,1", "iPhone6,2"}},
        {15, {"iPod1,1"}},
        {16, {"iPod2,1"}},
        {17, {"iPod3,1"}},
        {18, {"iPod4,1"}},
        {19, {"iPod5,1"}},
    };
    for (const Family& family : kFamilies) {
        for (std::string_view model : family.models) {
            if (!model.empty() && productType.find(model) != std::string::npos) {
                return family.code;
            }
        }
    }
    return 0;
}

}  // namespace amd
