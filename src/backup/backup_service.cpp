#include "backup/backup_service.h"

#include <libimobiledevice/afc.h>
#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>
#include <libimobiledevice/mobilebackup2.h>
#include <libimobiledevice/notification_proxy.h>
#include <plist/plist.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>
#include <utility>

#include "backup/backup_info_reader.h"
#include "backup/imd_plist.h"
#include "platform/log_categories.h"
#include "platform/mobiledevice/sim/sim_backup_target.h"

namespace nimbara::backup {

namespace {

constexpr const char* kLabel = "nimbara-backup";
// The reason given when `stop` ended a wait (the caller says it in its own words).
constexpr const char* kStoppedText = "The run was stopped.";
constexpr const char* kSyncLockFile = "/com.apple.itunes.lock_sync";
constexpr const char* kPasscodeShown = "com.apple.LocalAuthentication.ui.presented";
constexpr const char* kPasscodeGone = "com.apple.LocalAuthentication.ui.dismissed";
// The sync lock is asked for this often, this far apart, while another host holds it.
constexpr int kLockTries = 50;
constexpr auto kLockPause = std::chrono::milliseconds(200);
// The backup service is asked for this far apart, this long at most, while the device is locked.
constexpr auto kUnlockPause = std::chrono::milliseconds(500);
constexpr auto kLongestUnlockWait = std::chrono::minutes(5);
// A raw read that times out is tried again this often before the device counts as gone.
constexpr int kRawReadTries = 24;

// The text for a lockdown error the device could not be connected with.
std::string connectText(lockdownd_error_t code) {
    switch (code) {
        case LOCKDOWN_E_PASSWORD_PROTECTED:
            return "The device is locked. Unlock it and try again.";
        case LOCKDOWN_E_PAIRING_FAILED:
        case LOCKDOWN_E_USER_DENIED_PAIRING:
        case LOCKDOWN_E_PAIRING_DIALOG_RESPONSE_PENDING:
        case LOCKDOWN_E_MISSING_HOST_ID:
        case LOCKDOWN_E_INVALID_HOST_ID:
        case LOCKDOWN_E_INVALID_PAIR_RECORD:
            return md::sim::untrustedText();
        default:
            return "The device could not be connected (error " + std::to_string(code) + ").";
    }
}

}  // namespace

struct BackupService::Parts final : DeviceLinkTransport {
    idevice_t device = nullptr;
    lockdownd_client_t lockdown = nullptr;
    np_client_t np = nullptr;
    afc_client_t afc = nullptr;
    uint64_t lockHandle = 0;
    bool locked = false;
    mobilebackup2_client_t backup = nullptr;
    Facts facts;
    std::function<void(DeviceNotice)> notice;
    std::function<bool()> stop;

    ~Parts() override {
        if (backup != nullptr) {
            mobilebackup2_client_free(backup);
        }
        if (afc != nullptr) {
            if (locked) {
                afc_file_lock(afc, lockHandle, AFC_LOCK_UN);
            }
            if (lockHandle != 0) {
                afc_file_close(afc, lockHandle);
            }
            afc_client_free(afc);
        }
        if (np != nullptr) {
            np_post_notification(np, NP_SYNC_DID_FINISH);
            np_client_free(np);  // ends its thread: no notice runs after this
        }
        if (lockdown != nullptr) {
            lockdownd_client_free(lockdown);
        }
        if (device != nullptr) {
            idevice_free(device);
        }
    }

    static void notified(const char* name, void* self) {
        auto* parts = static_cast<Parts*>(self);
        if (name == nullptr || !parts->notice) {
            return;
        }
        const std::string_view said = name;
        if (said == kPasscodeShown) {
            parts->notice(DeviceNotice::PasscodeAsked);
        } else if (said == kPasscodeGone) {
            parts->notice(DeviceNotice::PasscodeDismissed);
        } else if (said == NP_SYNC_CANCEL_REQUEST) {
            parts->notice(DeviceNotice::CancelledOnDevice);
        }
    }

    Receive receiveMessage(PlistValue& message) override {
        plist_t node = nullptr;
        char* name = nullptr;
        const mobilebackup2_error_t error = mobilebackup2_receive_message(backup, &node, &name);
        PlistHolder held(node);
        std::free(name);
        if (error == MOBILEBACKUP2_E_RECEIVE_TIMEOUT) {
            return Receive::Timeout;
        }
        auto value = error == MOBILEBACKUP2_E_SUCCESS ? toValue(node) : std::nullopt;
        if (!value || !value->isArray()) {
            return Receive::Failed;
        }
        message = std::move(*value);
        return Receive::Message;
    }

    bool sendRaw(const void* data, std::size_t length) override {
        const char* bytes = static_cast<const char*>(data);
        while (length > 0) {
            uint32_t sent = 0;
            if (mobilebackup2_send_raw(backup, bytes, static_cast<uint32_t>(length), &sent) !=
                    MOBILEBACKUP2_E_SUCCESS ||
                sent == 0) {
                return false;
            }
            bytes += sent;
            length -= sent;
        }
        return true;
    }

    bool receiveRaw(void* data, std::size_t length) override {
        char* bytes = static_cast<char*>(data);
        int idle = 0;
        while (length > 0) {
            uint32_t got = 0;
            const mobilebackup2_error_t error =
                mobilebackup2_receive_raw(backup, bytes, static_cast<uint32_t>(length), &got);
            if (got == 0) {
                // Nothing within the connection's time limit: a slow device, or a gone one.
                if ((error != MOBILEBACKUP2_E_SUCCESS &&
                     error != MOBILEBACKUP2_E_RECEIVE_TIMEOUT) ||
                    ++idle >= kRawReadTries || (stop && stop())) {
                    return false;
                }
                continue;
            }
            idle = 0;
            bytes += got;
            length -= got;
        }
        return true;
    }

    bool sendStatus(int code, const std::string& text, const PlistValue& contents) override {
        const PlistHolder node = toNode(contents);
        return mobilebackup2_send_status_response(
                   backup, code, text.empty() ? nullptr : text.c_str(),
                   static_cast<plist_t>(node.get())) == MOBILEBACKUP2_E_SUCCESS;
    }

    void tell(DeviceNotice what) const {
        if (notice) {
            notice(what);
        }
    }
    bool stopped() const { return stop && stop(); }

    // Takes the sync lock as hosts do: asked for, then taken once the device's other host let go.
    std::string takeSyncLock(lockdownd_service_descriptor_t service) {
        if (afc_client_new(device, service, &afc) != AFC_E_SUCCESS) {
            afc = nullptr;
            return "The device's file service could not be started.";
        }
        if (afc_file_open(afc, kSyncLockFile, AFC_FOPEN_RW, &lockHandle) != AFC_E_SUCCESS) {
            lockHandle = 0;
            qCWarning(lcBackup) << "the device's sync lock file cannot be opened; going on";
            return {};
        }
        np_post_notification(np, NP_SYNC_LOCK_REQUEST);
        bool waited = false;
        for (int i = 0; i < kLockTries; ++i) {
            const afc_error_t error = afc_file_lock(afc, lockHandle, AFC_LOCK_EX);
            if (error == AFC_E_SUCCESS) {
                locked = true;
                if (waited) {
                    tell(DeviceNotice::SyncLockTaken);
                }
                return {};
            }
            if (error != AFC_E_OP_WOULD_BLOCK) {
                qCWarning(lcBackup) << "the device's sync lock cannot be taken: AFC error" << error;
                return "The device's sync lock could not be taken (error " + std::to_string(error) +
                       "). Try again.";
            }
            if (stopped()) {
                return kStoppedText;
            }
            if (!waited) {
                waited = true;
                tell(DeviceNotice::SyncLockBusy);
            }
            std::this_thread::sleep_for(kLockPause);
        }
        return "Another program is syncing with the device. Try again when it has finished.";
    }

    // Starts the backup service, waiting while the device refuses it as locked (it was not
    // unlocked since it restarted).
    std::string startBackupService() {
        const auto deadline = std::chrono::steady_clock::now() + kLongestUnlockWait;
        bool asked = false;
        for (;;) {
            lockdownd_service_descriptor_t service = nullptr;
            const lockdownd_error_t started = lockdownd_start_service_with_escrow_bag(
                lockdown, MOBILEBACKUP2_SERVICE_NAME, &service);
            if (started == LOCKDOWN_E_SUCCESS) {
                const mobilebackup2_error_t made =
                    mobilebackup2_client_new(device, service, &backup);
                lockdownd_service_descriptor_free(service);
                if (made != MOBILEBACKUP2_E_SUCCESS) {
                    backup = nullptr;
                    return "The device's backup service could not be started.";
                }
                if (asked) {
                    tell(DeviceNotice::Unlocked);
                }
                return {};
            }
            lockdownd_service_descriptor_free(service);
            if (started != LOCKDOWN_E_PASSWORD_PROTECTED) {
                qCWarning(lcBackup)
                    << "the device's backup service did not start: lockdown error" << started;
                return "The device's backup service could not be started.";
            }
            if (stopped()) {
                return kStoppedText;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                return "The device was not unlocked. Unlock it with its passcode and try again.";
            }
            if (!asked) {
                asked = true;
                tell(DeviceNotice::UnlockAsked);
            }
            std::this_thread::sleep_for(kUnlockPause);
        }
    }
};

BackupService::BackupService(std::unique_ptr<Parts> parts) : parts_(std::move(parts)) {}
BackupService::~BackupService() = default;

const BackupService::Facts& BackupService::facts() const {
    return parts_->facts;
}

DeviceLinkTransport& BackupService::link() {
    return *parts_;
}

BackupInfoExtras BackupService::readInfoExtras() {
    BackupInfoExtras extras;
    backup::readInfoExtras(parts_->device, kLabel, extras);
    readAfcInfoFiles(parts_->afc, extras);
    return extras;
}

std::string BackupService::leaveAppsToReinstall(const PlistValue& applications) {
    return writeRestoreApplications(parts_->afc, applications);
}

bool BackupService::request(const char* name, const std::string& udid, const PlistValue& options) {
    const PlistHolder node = toNode(options);
    const mobilebackup2_error_t error = mobilebackup2_send_request(
        parts_->backup, name, udid.c_str(), udid.c_str(), static_cast<plist_t>(node.get()));
    if (error != MOBILEBACKUP2_E_SUCCESS) {
        qCWarning(lcBackup) << "the device refused the request" << name << "error" << error;
    }
    return error == MOBILEBACKUP2_E_SUCCESS;
}

std::unique_ptr<BackupService> BackupService::connect(const std::string& udid,
                                                      std::function<void(DeviceNotice)> notice,
                                                      const std::function<bool()>& stop,
                                                      std::string* error) {
    auto parts = std::make_unique<Parts>();
    parts->notice = std::move(notice);
    parts->stop = stop;
    if (idevice_new_with_options(&parts->device, udid.c_str(), IDEVICE_LOOKUP_USBMUX) !=
        IDEVICE_E_SUCCESS) {
        parts->device = nullptr;
        *error = md::sim::noDeviceText(udid);
        return nullptr;
    }
    const lockdownd_error_t shaken =
        lockdownd_client_new_with_handshake(parts->device, &parts->lockdown, kLabel);
    if (shaken != LOCKDOWN_E_SUCCESS) {
        parts->lockdown = nullptr;
        *error = connectText(shaken);
        return nullptr;
    }
    plist_t node = nullptr;
    lockdownd_get_value(parts->lockdown, nullptr, nullptr, &node);
    parts->facts.lockdown = toValue(node).value_or(PlistValue::dict());
    plist_free(node);
    node = nullptr;
    lockdownd_get_value(parts->lockdown, "com.apple.mobile.backup", "WillEncrypt", &node);
    if (const auto encrypt = toValue(node)) {
        parts->facts.willEncrypt = encrypt->toBool();
    }
    plist_free(node);
    parts->facts.passcodeSet = parts->facts.lockdown["PasswordProtected"].toBool();

    lockdownd_service_descriptor_t service = nullptr;
    if (lockdownd_start_service(parts->lockdown, NP_SERVICE_NAME, &service) != LOCKDOWN_E_SUCCESS ||
        np_client_new(parts->device, service, &parts->np) != NP_E_SUCCESS) {
        parts->np = nullptr;
        lockdownd_service_descriptor_free(service);
        *error = "The device's notification service could not be started.";
        return nullptr;
    }
    lockdownd_service_descriptor_free(service);
    service = nullptr;
    const char* observed[] = {NP_SYNC_CANCEL_REQUEST,
                              NP_SYNC_SUSPEND_REQUEST,
                              NP_SYNC_RESUME_REQUEST,
                              NP_BACKUP_DOMAIN_CHANGED,
                              kPasscodeShown,
                              kPasscodeGone,
                              nullptr};
    np_observe_notifications(parts->np, observed);
    np_set_notify_callback(parts->np, &Parts::notified, parts.get());
    np_post_notification(parts->np, NP_SYNC_WILL_START);

    if (lockdownd_start_service(parts->lockdown, AFC_SERVICE_NAME, &service) !=
        LOCKDOWN_E_SUCCESS) {
        *error = "The device's file service could not be started.";
        return nullptr;
    }
    std::string lockError = parts->takeSyncLock(service);
    lockdownd_service_descriptor_free(service);
    if (!lockError.empty()) {
        *error = std::move(lockError);
        return nullptr;
    }
    np_post_notification(parts->np, NP_SYNC_DID_START);

    if (std::string why = parts->startBackupService(); !why.empty()) {
        *error = std::move(why);
        return nullptr;
    }
    double versions[std::size(kBackupProtocolVersions)];
    std::copy(std::begin(kBackupProtocolVersions), std::end(kBackupProtocolVersions), versions);
    if (mobilebackup2_version_exchange(parts->backup, versions,
                                       static_cast<char>(std::size(versions)),
                                       &parts->facts.protocolVersion) != MOBILEBACKUP2_E_SUCCESS) {
        *error = "The device's backup service speaks no version this program knows.";
        return nullptr;
    }
    // Lockdown is not needed while the backup service works.
    lockdownd_client_free(parts->lockdown);
    parts->lockdown = nullptr;
    return std::unique_ptr<BackupService>(new BackupService(std::move(parts)));
}

bool waitsForPasscode(const std::string& productVersion) {
    int major = 0;
    int minor = 0;
    if (std::sscanf(productVersion.c_str(), "%d.%d", &major, &minor) < 1) {
        return false;
    }
    return major > 16 || (major == 16 && minor >= 1);
}

}  // namespace nimbara::backup
