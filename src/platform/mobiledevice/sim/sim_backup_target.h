// The simulated device that one run of the backup tool works on: found by its UniqueDeviceID
// among the folders of the simulated-devices root, held open (a folder put in its place later is
// never read or written) and locked for the run, so that two runs never work on one device at
// once. The faults of its device.plist that concern backups and restores are read with it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/mobiledevice/sim/sim_folder.h"

namespace nimbara::md::sim {

// The faults of one kind of run (see sim_layout.h).
struct TransferFaults {
    std::optional<std::string> error;  // fail at once with this text
    bool writesNothing = false;        // end as if successful, writing nothing
    std::optional<std::int64_t> goneAfterFiles;
    std::string waitsFor;  // a file name in the device's folder to wait for; empty: none
};

class BackupTarget {
  public:
    enum class Run { Backup, Restore };

    // Finds, opens and locks the device. Null, with the text for the user in `error`, when no
    // device or more than one has that identifier, when it cannot be reached (untrusted, an
    // injected connect error, an area that is a link) or when another run holds it.
    static std::unique_ptr<BackupTarget> open(const std::filesystem::path& devicesRoot,
                                              const std::string& udid, std::string* error);
    ~BackupTarget();
    BackupTarget(const BackupTarget&) = delete;
    BackupTarget& operator=(const BackupTarget&) = delete;

    const std::string& udid() const { return udid_; }
    // The path the device was found at.
    const std::filesystem::path& dir() const { return dir_; }
    // The device's folder as opened, for the paths below it.
    const std::filesystem::path& anchor() const { return folder_.anchor(); }
    // A descriptor of the folder for the *at calls (the one that holds the lock).
    int folderFd() const { return lockFd_; }

    const TransferFaults& faults(Run run) const {
        return run == Run::Backup ? backupFaults_ : restoreFaults_;
    }
    // The device's backups are encrypted.
    bool encryptsBackups() const { return encrypted_; }

    // Whether the device's path still names the folder it was found in.
    bool stillThere() const;
    // Waits until the folder holds a file called `name`, the device goes away, `stop` says so,
    // or a long time (two minutes) passed.
    enum class WaitEnd { Ready, Gone, Stopped, TimedOut };
    WaitEnd waitForFile(const std::string& name, const std::function<bool()>& stop) const;

  private:
    BackupTarget(std::filesystem::path dir, DeviceFolder folder, std::string udid);

    std::filesystem::path dir_;
    DeviceFolder folder_;
    std::string udid_;
    int lockFd_ = -1;
    TransferFaults backupFaults_;
    TransferFaults restoreFaults_;
    bool encrypted_ = false;
};

// The texts the tool answers with when the device is not there, does not trust this computer,
// went away or the run was stopped (for simulated and real devices alike).
std::string noDeviceText(const std::string& udid);
std::string untrustedText();
std::string deviceGoneText(BackupTarget::Run run);
std::string runStoppedText(BackupTarget::Run run);

}  // namespace nimbara::md::sim
