// The home-screen services ("com.apple.springboardservices"): app icons as PNG data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/base_service.h"
#include "platform/plist_value.h"

namespace amd {

class SBService : public BaseService {
  public:
    // Binds and starts the service: the first nonzero result, else 0.
    int Init(int deviceIndex) override;

    // Fills `png` with the app's home-screen icon. 0 on success; 1 when the request couldn't be
    // sent; 2 when no reply came or it held no "pngData". `png` is empty on failure.
    int GetIconPNGData(const std::string& bundleId, std::vector<std::uint8_t>& png);

    // The home-screen layout; nullopt when the request couldn't be sent or no reply came.
    std::optional<nimbara::PlistValue> getIconState();
};

}  // namespace amd
