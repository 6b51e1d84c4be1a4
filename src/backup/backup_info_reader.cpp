#include "backup/backup_info_reader.h"

#include <libimobiledevice/installation_proxy.h>
#include <libimobiledevice/lockdown.h>
#include <libimobiledevice/sbservices.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

#include "backup/imd_plist.h"
#include "platform/log_categories.h"

namespace nimbara::backup {

namespace {

// A host keeps no larger file of the device in Info.plist, and no larger icon.
constexpr std::uint64_t kMaxInfoFileBytes = 16ull * 1024 * 1024;
constexpr std::uint64_t kMaxIconBytes = 4ull * 1024 * 1024;
constexpr std::uint32_t kAfcChunk = 65536;
constexpr const char* kRestoreFolder = "/iTunesRestore";
constexpr const char* kRestoreApplications = "/iTunesRestore/RestoreApplications.plist";

struct Lockdown {
    lockdownd_client_t client = nullptr;
    ~Lockdown() {
        if (client != nullptr) {
            lockdownd_client_free(client);
        }
    }
};

// The value lockdown gives for `key` of `domain`; nullopt when it gives none.
std::optional<PlistValue> lockdownValue(lockdownd_client_t lockdown, const char* domain,
                                        const char* key) {
    plist_t node = nullptr;
    if (lockdownd_get_value(lockdown, domain, key, &node) != LOCKDOWN_E_SUCCESS) {
        plist_free(node);
        return std::nullopt;
    }
    const PlistHolder held(node);
    return toValue(node);
}

// The user apps' entries from the installation proxy.
PlistValue::Array browseUserApps(idevice_t device, lockdownd_client_t lockdown) {
    lockdownd_service_descriptor_t service = nullptr;
    instproxy_client_t proxy = nullptr;
    if (lockdownd_start_service(lockdown, INSTPROXY_SERVICE_NAME, &service) != LOCKDOWN_E_SUCCESS ||
        instproxy_client_new(device, service, &proxy) != INSTPROXY_E_SUCCESS) {
        lockdownd_service_descriptor_free(service);
        qCWarning(lcBackup) << "the device's installation proxy cannot be started: the backup "
                               "lists no apps";
        return {};
    }
    lockdownd_service_descriptor_free(service);
    const PlistHolder options(instproxy_client_options_new());
    instproxy_client_options_add(static_cast<plist_t>(options.get()), "ApplicationType", "User",
                                 nullptr);
    instproxy_client_options_set_return_attributes(static_cast<plist_t>(options.get()),
                                                   "CFBundleIdentifier", "ApplicationSINF",
                                                   "iTunesMetadata", nullptr);
    plist_t apps = nullptr;
    const instproxy_error_t error =
        instproxy_browse(proxy, static_cast<plist_t>(options.get()), &apps);
    const PlistHolder held(apps);
    instproxy_client_free(proxy);
    const auto value = toValue(apps);
    if (error != INSTPROXY_E_SUCCESS || !value || !value->isArray()) {
        qCWarning(lcBackup) << "the device's apps cannot be listed (error" << error
                            << "): the backup lists no apps";
        return {};
    }
    return value->toArray();
}

// SpringBoard's icon of each app that has one.
void readIcons(idevice_t device, lockdownd_client_t lockdown, BackupInfoExtras& extras) {
    lockdownd_service_descriptor_t service = nullptr;
    sbservices_client_t springBoard = nullptr;
    if (lockdownd_start_service(lockdown, SBSERVICES_SERVICE_NAME, &service) !=
            LOCKDOWN_E_SUCCESS ||
        sbservices_client_new(device, service, &springBoard) != SBSERVICES_E_SUCCESS) {
        lockdownd_service_descriptor_free(service);
        qCInfo(lcBackup) << "the device's SpringBoard cannot be reached: no app icons";
        return;
    }
    lockdownd_service_descriptor_free(service);
    for (const PlistValue& app : extras.apps) {
        const std::string& id = app["CFBundleIdentifier"].toString();
        if (id.empty() || !app.contains("ApplicationSINF") || !app.contains("iTunesMetadata")) {
            continue;  // no entry of "Applications" to put it in
        }
        char* png = nullptr;
        uint64_t size = 0;
        if (sbservices_get_icon_pngdata(springBoard, id.c_str(), &png, &size) ==
                SBSERVICES_E_SUCCESS &&
            png != nullptr && size > 0 && size <= kMaxIconBytes) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(png);
            extras.icons[id] = PlistValue::Bytes(bytes, bytes + size);
        }
        std::free(png);
    }
    sbservices_client_free(springBoard);
}

// The size AFC gives for `path`; nullopt for none.
std::optional<std::uint64_t> afcFileSize(afc_client_t afc, const char* path) {
    char** info = nullptr;
    if (afc_get_file_info(afc, path, &info) != AFC_E_SUCCESS || info == nullptr) {
        return std::nullopt;
    }
    std::optional<std::uint64_t> size;
    for (int i = 0; info[i] != nullptr && info[i + 1] != nullptr; i += 2) {
        if (std::string_view(info[i]) == "st_size") {
            size = std::strtoull(info[i + 1], nullptr, 10);
        }
    }
    afc_dictionary_free(info);
    return size;
}

// The whole file, when it is there, not empty and not larger than a host keeps.
std::optional<PlistValue::Bytes> readAfcFile(afc_client_t afc, const char* path) {
    const auto size = afcFileSize(afc, path);
    if (!size || *size == 0 || *size > kMaxInfoFileBytes) {
        return std::nullopt;
    }
    uint64_t handle = 0;
    if (afc_file_open(afc, path, AFC_FOPEN_RDONLY, &handle) != AFC_E_SUCCESS) {
        return std::nullopt;
    }
    PlistValue::Bytes bytes(*size);
    std::uint64_t done = 0;
    while (done < *size) {
        uint32_t got = 0;
        const auto part = static_cast<uint32_t>(std::min<std::uint64_t>(kAfcChunk, *size - done));
        if (afc_file_read(afc, handle, reinterpret_cast<char*>(bytes.data() + done), part, &got) !=
                AFC_E_SUCCESS ||
            got == 0) {
            break;
        }
        done += got;
    }
    afc_file_close(afc, handle);
    if (done != *size) {
        qCInfo(lcBackup) << "the device's" << path << "could not be read whole; left out";
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

void readInfoExtras(idevice_t device, const char* label, BackupInfoExtras& extras) {
    Lockdown lockdown;
    if (lockdownd_client_new_with_handshake(device, &lockdown.client, label) !=
        LOCKDOWN_E_SUCCESS) {
        lockdown.client = nullptr;
        qCWarning(lcBackup) << "no second lockdown session: the backup lists no apps";
        return;
    }
    if (auto settings = lockdownValue(lockdown.client, "com.apple.iTunes", nullptr);
        settings && settings->isDict()) {
        extras.iTunesSettings = std::move(*settings);
    }
    if (auto version =
            lockdownValue(lockdown.client, "com.apple.mobile.iTunes", "MinITunesVersion");
        version && version->isString()) {
        extras.iTunesVersion = version->toString();
    }
    extras.apps = browseUserApps(device, lockdown.client);
    readIcons(device, lockdown.client, extras);
}

void readAfcInfoFiles(afc_client_t afc, BackupInfoExtras& extras) {
    for (const char* name : kITunesFileNames) {
        const std::string path = std::string("/iTunes_Control/iTunes/") + name;
        if (auto bytes = readAfcFile(afc, path.c_str())) {
            extras.iTunesFiles[name] = std::move(*bytes);
        }
    }
    extras.iBooksData = readAfcFile(afc, "/Books/iBooksData2.plist");
}

std::string writeRestoreApplications(afc_client_t afc, const PlistValue& applications) {
    const std::string xml = applications.toXml();
    if (afc_make_directory(afc, kRestoreFolder) != AFC_E_SUCCESS) {
        return "the folder " + std::string(kRestoreFolder) + " cannot be made";
    }
    uint64_t handle = 0;
    if (afc_file_open(afc, kRestoreApplications, AFC_FOPEN_WR, &handle) != AFC_E_SUCCESS) {
        return std::string(kRestoreApplications) + " cannot be made";
    }
    std::size_t done = 0;
    while (done < xml.size()) {
        uint32_t written = 0;
        const auto part =
            static_cast<uint32_t>(std::min<std::size_t>(kAfcChunk, xml.size() - done));
        if (afc_file_write(afc, handle, xml.data() + done, part, &written) != AFC_E_SUCCESS ||
            written == 0) {
            break;
        }
        done += written;
    }
    const bool closed = afc_file_close(afc, handle) == AFC_E_SUCCESS;
    if (done != xml.size() || !closed) {
        return std::string(kRestoreApplications) + " cannot be written";
    }
    return {};
}

}  // namespace nimbara::backup
