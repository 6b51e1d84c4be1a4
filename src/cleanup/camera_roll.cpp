#include "cleanup/camera_roll.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "cleanup/protected_files.h"
#include "device/afc_service.h"
#include "device/device_target.h"
#include "platform/device_path.h"
#include "platform/text_format.h"

namespace nimbara::cleanup {

namespace {

constexpr const char* kCameraRoot = "/DCIM";

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string attribute(const std::map<std::string, std::string>& info, const char* key) {
    const auto it = info.find(key);
    return it == info.end() ? std::string() : it->second;
}

// Binds `afc` to the device and checks that it is still the one with `serial`.
CameraRollResult bindToDevice(amd::AfcService& afc, int index, std::uint64_t serial) {
    if (!deviceStillAttached(index, serial)) {
        return CameraRollResult::DeviceGone;
    }
    if (afc.Init(index) != 0) {
        return deviceStillAttached(index, serial) ? CameraRollResult::ServiceRefused
                                                  : CameraRollResult::DeviceGone;
    }
    // Serials are never given twice: when our device is still there now, it is the one bound.
    return deviceStillAttached(index, serial) ? CameraRollResult::Ok : CameraRollResult::DeviceGone;
}

}  // namespace

bool deviceStillAttached(int deviceIndex, std::uint64_t deviceSerial) {
    return amd::DeviceTarget{deviceIndex, deviceSerial}.stillAttached();
}

const char* cameraRollResultText(CameraRollResult result) {
    switch (result) {
        case CameraRollResult::Ok:
            return "Done.";
        case CameraRollResult::NotOpen:
            return "The camera roll is not open.";
        case CameraRollResult::ServiceRefused:
            return "The camera roll could not be opened: the device refused its file service.";
        case CameraRollResult::DeviceGone:
            return "The device was disconnected.";
    }
    return "Unknown result.";
}

std::string cameraItemTypeForName(const std::string& name) {
    static const std::set<std::string> images = {"jpg", "jpeg", "png",  "heic", "heif",
                                                 "gif", "tif",  "tiff", "dng",  "bmp"};
    static const std::set<std::string> movies = {"mov", "mp4", "m4v", "3gp", "avi"};
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 >= name.size()) {
        return {};
    }
    const std::string extension = lowerCase(name.substr(dot + 1));
    if (images.count(extension) != 0) {
        return kCameraItemImage;
    }
    if (movies.count(extension) != 0) {
        return kCameraItemMovie;
    }
    return {};
}

bool isCameraRollFolder(const std::string& folderName) {
    return lowerCase(folderName).find("apple") != std::string::npos;
}

PhotoStepFile photoStepFileOf(const std::string& devicePath) {
    // Only files below these folders count. While no name of the path starts with ".", its first
    // name stays first once normalised: most paths of a walk are told apart without splitting.
    if (devicePath.find("/.") == std::string::npos && devicePath.compare(0, 1, ".") != 0) {
        const std::size_t start = std::min(devicePath.find_first_not_of('/'), devicePath.size());
        const std::string_view first =
            std::string_view(devicePath).substr(start, devicePath.find('/', start) - start);
        if (first != "DCIM" && first != "PhotoStreamsData" && first != "PhotoData" &&
            first != "Photos") {
            return PhotoStepFile::None;
        }
    }
    const std::vector<std::string> parts = normalizedPathComponents(devicePath);
    if (parts.size() < 3 || cameraItemTypeForName(parts.back()).empty()) {
        return PhotoStepFile::None;
    }
    if (parts.size() == 3 && parts[0] == "DCIM" && isCameraRollFolder(parts[1])) {
        return PhotoStepFile::CameraRoll;
    }
    if (parts.size() != 4) {
        return PhotoStepFile::None;
    }
    const std::string folder = lowerCase(parts[2]);
    const bool stream = parts[0] == "PhotoStreamsData" && folder.find("apple") != std::string::npos;
    const bool synced = (parts[0] == "PhotoData" || parts[0] == "Photos") && parts[1] == "Sync" &&
                        folder.find("syncd") != std::string::npos;
    return stream || synced ? PhotoStepFile::CopyOnly : PhotoStepFile::None;
}

std::vector<CameraRollItem> CameraRoll::itemsNamed(const std::vector<std::string>& names) const {
    const std::set<std::string> wanted(names.begin(), names.end());
    std::vector<CameraRollItem> found;
    for (const CameraRollItem& item : items()) {
        if (wanted.count(item.name) != 0) {
            found.push_back(item);
        }
    }
    return found;
}

void CameraRoll::deleteItemsNamed(const std::vector<std::string>& names,
                                  const DeleteCallback& done) {
    deleteItems(itemsNamed(names), done);
}

DeviceCameraRoll::DeviceCameraRoll(int deviceIndex, std::uint64_t deviceSerial)
    : deviceIndex_(deviceIndex), deviceSerial_(deviceSerial) {}

bool DeviceCameraRoll::deviceStillAttached() const {
    return cleanup::deviceStillAttached(deviceIndex_, deviceSerial_);
}

void DeviceCameraRoll::openSession(const ReadyCallback& ready) {
    std::vector<CameraRollItem> listed;
    amd::AfcService afc;
    CameraRollResult result = bindToDevice(afc, deviceIndex_, deviceSerial_);
    if (result == CameraRollResult::Ok) {
        // A device without "/DCIM" simply has an empty camera roll.
        const auto folders = afc.ReadDirectory(kCameraRoot);
        for (const std::string& folder : folders.value_or(std::vector<std::string>{})) {
            if (!deviceStillAttached()) {
                result = CameraRollResult::DeviceGone;
                break;
            }
            if (!isCameraRollFolder(folder)) {
                continue;
            }
            const std::string folderPath = std::string(kCameraRoot) + "/" + folder;
            const auto folderInfo = afc.GetFileInfo(folderPath);
            if (!folderInfo || attribute(*folderInfo, "st_ifmt") != "S_IFDIR") {
                continue;
            }
            const auto names = afc.ReadDirectory(folderPath);
            for (const std::string& name : names.value_or(std::vector<std::string>{})) {
                const std::string type = cameraItemTypeForName(name);
                if (type.empty()) {
                    continue;
                }
                const std::string path = folderPath + "/" + name;
                const auto info = afc.GetFileInfo(path);
                if (!info || attribute(*info, "st_ifmt") != "S_IFREG") {
                    continue;
                }
                CameraRollItem item;
                item.name = name;
                item.typeIdentifier = type;
                item.devicePath = path;
                const auto size = parseInt64(attribute(*info, "st_size"));
                item.size = size && *size > 0 ? static_cast<std::uint64_t>(*size) : 0;
                const auto mtime = parseInt64(attribute(*info, "st_mtime"));
                item.mtime = mtime ? *mtime / 1000000000 : 0;  // the device counts nanoseconds
                listed.push_back(std::move(item));
            }
        }
        if (result == CameraRollResult::Ok && !deviceStillAttached()) {
            result = CameraRollResult::DeviceGone;
        }
    }
    if (result != CameraRollResult::Ok) {
        listed.clear();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = result == CameraRollResult::Ok;
        items_ = listed;
    }
    if (ready) {
        ready(result, listed);
    }
}

bool DeviceCameraRoll::isOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return open_;
}

std::vector<CameraRollItem> DeviceCameraRoll::items() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return items_;
}

void DeviceCameraRoll::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = false;
    items_.clear();
}

void DeviceCameraRoll::deleteItems(const std::vector<CameraRollItem>& requested,
                                   const DeleteCallback& done) {
    CameraRollDeletion outcome;
    std::set<std::string> listedPaths;
    bool open = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open = open_;
        for (const CameraRollItem& item : items_) {
            listedPaths.insert(item.devicePath);
        }
    }
    if (requested.empty()) {
        if (done) {
            done(outcome);
        }
        return;
    }
    amd::AfcService afc;
    if (!open) {
        outcome.result = CameraRollResult::NotOpen;
    } else {
        outcome.result = bindToDevice(afc, deviceIndex_, deviceSerial_);
    }
    std::set<std::string> removedPaths;
    for (const CameraRollItem& item : requested) {
        if (outcome.result != CameraRollResult::Ok) {
            outcome.notTried.push_back(item);
            continue;
        }
        // Only what this session listed, each once, and never a file the device itself needs.
        if (listedPaths.count(item.devicePath) == 0 || removedPaths.count(item.devicePath) != 0 ||
            isProtectedDeviceFile(item.devicePath)) {
            outcome.notTried.push_back(item);
            continue;
        }
        if (!deviceStillAttached()) {
            outcome.result = CameraRollResult::DeviceGone;
            outcome.notTried.push_back(item);
            continue;
        }
        const int code = afc.RemovePath(item.devicePath);
        if (code == 0) {
            removedPaths.insert(item.devicePath);
            outcome.deleted.push_back(item);
        } else {
            outcome.failed.push_back({item, code});
        }
    }
    if (outcome.result == CameraRollResult::Ok && !outcome.failed.empty() &&
        !deviceStillAttached()) {
        outcome.result = CameraRollResult::DeviceGone;
    }
    if (done) {
        done(outcome);
    }
}

}  // namespace nimbara::cleanup
