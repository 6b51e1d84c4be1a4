#include "backup/device_restart_wait.h"

#include <thread>

#include "device/device_manager.h"

namespace nimbara::backup {

AttachedSerialProbe deviceManagerSerials() {
    return [](const QString& udid) {
        return amd::DeviceManager::GetInstance().SerialOfDevice(udid.toStdString());
    };
}

RestartEnd waitForRestart(const QString& udid, std::uint64_t serialBefore,
                          const RestartWaitSettings& settings, const std::function<bool()>& stop,
                          const std::function<void(RestartPhase)>& phase) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kLook = std::chrono::milliseconds(20);
    const AttachedSerialProbe probe =
        settings.attachedSerial ? settings.attachedSerial : deviceManagerSerials();
    auto tell = [&phase](RestartPhase now) {
        if (phase) {
            phase(now);
        }
    };
    tell(RestartPhase::Going);
    bool gone = false;
    Clock::time_point deadline = Clock::now() + settings.goneWithin;
    while (true) {
        if (stop && stop()) {
            return RestartEnd::Stopped;
        }
        const std::uint64_t serial = probe(udid);
        // Another attachment than the one before is the device back, even when its going fell
        // between two looks.
        if (serial != 0 && (gone || (serialBefore != 0 && serial != serialBefore))) {
            return RestartEnd::Back;
        }
        if (!gone && serial == 0) {
            gone = true;
            deadline = Clock::now() + settings.backWithin;
            tell(RestartPhase::ComingBack);
        }
        if (Clock::now() >= deadline) {
            return gone ? RestartEnd::NotBack : RestartEnd::NeverWent;
        }
        std::this_thread::sleep_for(kLook);
    }
}

}  // namespace nimbara::backup
