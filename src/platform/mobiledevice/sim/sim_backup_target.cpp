#include "platform/mobiledevice/sim/sim_backup_target.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"

namespace fs = std::filesystem;

namespace nimbara::md::sim {

namespace {

// How often a wait for a file looks, and how long it waits at most.
constexpr auto kWaitStep = std::chrono::milliseconds(10);
constexpr auto kLongestWait = std::chrono::seconds(120);

std::string optionalText(const PlistValue& value) {
    return value.isString() ? value.toString() : std::string();
}

TransferFaults transferFaults(const PlistValue& faults, const char* error, const char* nothing,
                              const char* gone, const char* waits) {
    TransferFaults f;
    if (faults[error].isString()) {
        f.error = faults[error].toString();
    }
    f.writesNothing = faults[nothing].toBool(false);
    if (faults[gone].isNumber()) {
        f.goneAfterFiles = faults[gone].toInt64();
    }
    f.waitsFor = optionalText(faults[waits]);
    return f;
}

void setError(std::string* error, std::string text) {
    if (error) {
        *error = std::move(text);
    }
}

// A device found under the root: where, opened, and its device.plist.
struct Candidate {
    fs::path dir;
    DeviceFolder folder;
    PlistValue config;
};

}  // namespace

std::string noDeviceText(const std::string& udid) {
    return "No device with the identifier " + udid + " is connected.";
}

std::string untrustedText() {
    return "The device does not trust this computer. Unlock it, tap Trust and try again.";
}

std::string deviceGoneText(BackupTarget::Run run) {
    return run == BackupTarget::Run::Backup ? "The device was disconnected during the backup."
                                            : "The device was disconnected during the restore.";
}

std::string runStoppedText(BackupTarget::Run run) {
    return run == BackupTarget::Run::Backup ? "The backup was stopped."
                                            : "The restore was stopped.";
}

BackupTarget::BackupTarget(fs::path dir, DeviceFolder folder, std::string udid)
    : dir_(std::move(dir)), folder_(std::move(folder)), udid_(std::move(udid)) {}

BackupTarget::~BackupTarget() {
    if (lockFd_ >= 0) {
        ::close(lockFd_);  // releases the lock
    }
}

std::unique_ptr<BackupTarget> BackupTarget::open(const fs::path& devicesRoot,
                                                 const std::string& udid, std::string* error) {
    std::vector<Candidate> found;
    std::error_code ec;
    if (!devicesRoot.empty()) {
        for (fs::directory_iterator it(devicesRoot, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.empty() || name.front() == '.') {
                continue;
            }
            auto folder = DeviceFolder::open(it->path(), nullptr);
            if (!folder) {
                continue;
            }
            auto config = folder->readConfig(nullptr);
            if (!config || udidOf(*config, name) != udid) {
                continue;
            }
            found.push_back({it->path(), std::move(*folder), std::move(*config)});
        }
    }
    if (found.empty()) {
        setError(error, noDeviceText(udid));
        return nullptr;
    }
    if (found.size() > 1) {
        setError(error, "More than one device has the identifier " + udid + ".");
        return nullptr;
    }
    Candidate& device = found.front();
    const PlistValue& faults = device.config[kKeyFaults];
    if (!device.config[kKeyTrusted].toBool(true)) {
        setError(error, untrustedText());
        return nullptr;
    }
    if (faults[kFaultConnectError].isNumber() && faults[kFaultConnectError].toInt64() != 0) {
        setError(error, "The device could not be connected (error " +
                            std::to_string(faults[kFaultConnectError].toInt64()) + ").");
        return nullptr;
    }
    if (const std::string area = device.folder.linkedArea(); !area.empty()) {
        setError(error, "The device cannot be reached: its " + area + " area is a link.");
        return nullptr;
    }

    std::unique_ptr<BackupTarget> target(
        new BackupTarget(device.dir, std::move(device.folder), udid));
    target->backupFaults_ = transferFaults(faults, kFaultBackupError, kFaultBackupWritesNothing,
                                           kFaultBackupGoneAfterFiles, kFaultBackupWaitsFor);
    target->restoreFaults_ = transferFaults(faults, kFaultRestoreError, kFaultRestoreWritesNothing,
                                            kFaultRestoreGoneAfterFiles, kFaultRestoreWaitsFor);
    target->encrypted_ = faults[kFaultBackupEncrypted].toBool(false);

    // The lock is taken on the folder as opened, so it is the device's, whatever its path
    // names by now.
    target->lockFd_ = ::open(target->anchor().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (target->lockFd_ < 0) {
        setError(error, noDeviceText(udid));
        return nullptr;
    }
    if (::flock(target->lockFd_, LOCK_EX | LOCK_NB) != 0) {
        setError(error, "Another backup or restore of this device is running.");
        return nullptr;
    }
    if (!target->stillThere()) {
        setError(error, noDeviceText(udid));
        return nullptr;
    }
    return target;
}

bool BackupTarget::stillThere() const {
    return folder_.isAt(dir_);
}

BackupTarget::WaitEnd BackupTarget::waitForFile(const std::string& name,
                                                const std::function<bool()>& stop) const {
    const auto deadline = std::chrono::steady_clock::now() + kLongestWait;
    while (::faccessat(lockFd_, name.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) != 0) {
        if (stop && stop()) {
            return WaitEnd::Stopped;
        }
        if (!stillThere()) {
            return WaitEnd::Gone;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return WaitEnd::TimedOut;
        }
        std::this_thread::sleep_for(kWaitStep);
    }
    return WaitEnd::Ready;
}

}  // namespace nimbara::md::sim
