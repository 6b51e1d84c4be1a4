// Waiting for a device that restarts, as a real device does at the end of a restore: it goes
// away, and comes back as a new attachment (another serial) with the same UniqueDeviceID once it
// has started, been unlocked and trusts this computer again. A simulated device never restarts.
//
// The device is watched through a probe that asks the device manager, never the device, so a
// look costs nothing; tests give their own.
#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>

namespace nimbara::backup {

// The serial of the attachment of the device `udid` that is attached and trusts this computer
// now; 0 when there is none. Called on the waiting thread.
using AttachedSerialProbe = std::function<std::uint64_t(const QString& udid)>;

// The device manager's list (DeviceManager::SerialOfDevice).
AttachedSerialProbe deviceManagerSerials();

struct RestartWaitSettings {
    AttachedSerialProbe attachedSerial;  // empty: deviceManagerSerials()
    // How long the device may take to go away after it said it restarts (it finishes the restore
    // first), and then to come back: start up, be unlocked, trust this computer.
    std::chrono::milliseconds goneWithin = std::chrono::minutes(3);
    std::chrono::milliseconds backWithin = std::chrono::minutes(10);
};

enum class RestartPhase { Going, ComingBack };
enum class RestartEnd { Back, NeverWent, NotBack, Stopped };

// Waits for the device `udid`, attached as `serialBefore` (0: not known), to go and come back.
// Looks every 20 ms, so `stop` (may be empty) ends it within that. `phase` (may be empty) is told
// as each phase begins. For a worker thread.
RestartEnd waitForRestart(const QString& udid, std::uint64_t serialBefore,
                          const RestartWaitSettings& settings, const std::function<bool()>& stop,
                          const std::function<void(RestartPhase)>& phase = {});

}  // namespace nimbara::backup
