// What the storage manager's category scans share: the device a scan belongs to, how it ended,
// and the job that binds its services and watches for a stop.
//
// Every scan runs on the calling (worker) thread, touches no widget and hands what it finds only
// in its result, so a scan cut short hands over nothing the page could show for the wrong device.
// A scan belongs to one device (index AND serial): it stops for good as soon as that device is
// gone, even when another device took the index meanwhile, or when the caller's stop check
// answers true. Each scan returns exactly once, whatever happened.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

#include "cleanup/app_clean_scan_walk.h"
#include "device/base_info.h"
#include "device/device_target.h"

namespace nimbara::filemanager {

// The device a scan belongs to (amd::DeviceManager index and serial).
using StorageDeviceTarget = amd::DeviceTarget;

enum class StorageScanStatus {
    Done,              // read to the end (possibly nothing found)
    ServiceRefused,    // the device refused the service the scan needs
    WaitingForUnlock,  // the device is locked: it pairs once unlocked
    WaitingForTrust,   // the device asks its user whether to trust this computer
    DeviceGone,        // the device went away (or another took its index)
    Stopped,           // the caller asked to stop
    NoAnswer,          // the device did not answer in time
};

// The status of a scan that failed with a device code: waiting for an unlock or for Trust,
// NoAnswer for a time-out, else ServiceRefused.
StorageScanStatus storageScanFailure(int deviceCode);

// One sentence for the user about a scan that did not end with Done (empty for Done).
QString storageScanStatusText(StorageScanStatus status);

using StorageStopCheck = std::function<bool()>;       // true: stop now
using StorageProgress = std::function<void(double)>;  // from 0 to 1

// The job of one scan: its device, the caller's stop check and the progress sink, with the
// progress kept from falling and from passing 1.
class StorageScanJob {
  public:
    StorageScanJob(StorageDeviceTarget target, StorageStopCheck stop, StorageProgress progress);

    nimbara::cleanup::CleanJobDevice& device() { return device_; }
    StorageDeviceTarget target() const { return {device_.index(), device_.serial()}; }
    // Asks the stop check and the device manager; once true, always true.
    bool shouldStop() { return device_.shouldStop(); }
    // Why the job stopped: its device is gone, or the caller asked.
    StorageScanStatus stopStatus() const;
    // The status of a service binding that failed with `rc` (see CleanJobDevice::bind).
    StorageScanStatus bindFailure(int rc);

    // Posts `fraction` when it is above what was posted last (and at most 1).
    void progress(double fraction);

  private:
    nimbara::cleanup::CleanJobDevice device_;
    StorageProgress progress_;
    double posted_ = -1.0;
};

// The device's disk figures (lockdown domain "com.apple.disk_usage"), read on the calling
// (worker) thread; nullopt when the device went away, can't be reached or reports no capacity.
std::optional<amd::DiskUsage> readDeviceDiskUsage(StorageDeviceTarget target);

}  // namespace nimbara::filemanager
