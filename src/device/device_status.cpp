#include "device/device_status.h"

namespace amd {

std::string ContainerRefusalText(int code) {
    switch (code) {
        case DeviceCode::ContainerRefused:
            return "This app doesn't share its files with computers, so its container can't be "
                   "opened.";
        case DeviceCode::AppNotInstalled:
            return "This app is not installed on the device any more.";
        case DeviceCode::ServiceRefused:
            return "The device refused to open the containers of its apps.";
        default:
            return DeviceCodeText(code);
    }
}

std::string ArchiveRefusalText(int code) {
    switch (code) {
        case nimbara::md::Error::Ok:
            return {};
        case DeviceCode::Refused:
        case DeviceCode::ServiceRefused:
            return "The device doesn't make app archives (newer iOS versions no longer do), so "
                   "this app can't be copied from it.";
        default:
            return DeviceCodeText(code);
    }
}

std::string ContainersRefusedText(const std::vector<std::string>& appNames) {
    if (appNames.empty()) {
        return {};
    }
    constexpr std::size_t kNamed = 3;  // more than this are counted, not named
    std::string names = appNames.front();
    const std::size_t named = appNames.size() > kNamed ? kNamed - 1 : appNames.size();
    for (std::size_t i = 1; i < named; ++i) {
        names += (i + 1 == named && named == appNames.size() ? " and " : ", ") + appNames[i];
    }
    if (named < appNames.size()) {
        names += " and " + std::to_string(appNames.size() - named) + " other apps";
    }
    return appNames.size() == 1
               ? names + " doesn't share its files with computers, so its files were not looked at."
               : names +
                     " don't share their files with computers, so their files were not looked "
                     "at.";
}

}  // namespace amd
