#include "device/sb_service.h"

namespace amd {

using nimbara::PlistValue;

namespace {
constexpr const char* kSpringBoardServices = "com.apple.springboardservices";
}  // namespace

int SBService::Init(int deviceIndex) {
    const int rc = BaseService::Init(deviceIndex);
    if (rc != 0) {
        return rc;
    }
    return StartService(kSpringBoardServices);
}

int SBService::GetIconPNGData(const std::string& bundleId, std::vector<std::uint8_t>& png) {
    png.clear();
    PlistValue request = PlistValue::dict();
    request.set("command", "getIconPNGData");
    request.set("bundleId", bundleId);
    if (SendPlist(request) == 0) {
        return 1;
    }
    std::optional<PlistValue> reply = ReceivePlist();
    if (!reply) {
        return 2;
    }
    const PlistValue* data = reply->find("pngData");
    if (!data || !data->isData()) {
        return 2;
    }
    png = data->toData();
    return 0;
}

std::optional<PlistValue> SBService::getIconState() {
    PlistValue request = PlistValue::dict();
    request.set("command", "getIconState");
    if (SendPlist(request) == 0) {
        return std::nullopt;
    }
    return ReceivePlist();
}

}  // namespace amd
