// A media-sync session with one device: a reader thread takes the messages the device sends and
// keeps the storage metrics ("AssetMetrics") in the device's lockdown-values object.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/base_device.h"
#include "platform/mobiledevice/mobile_device.h"
#include "platform/owned_thread.h"
#include "platform/plist_value.h"

namespace amd {

// Used when the device's media preferences give no identifier.
inline constexpr const char* kDefaultLibraryId = "5B0E2D94A7C31F68";

// The media library identifier derived from the device's "/iTunes_Control/iTunes/iTunesPrefs"
// (the default when the device or the file can't be read).
std::string CopyLibraryId(int deviceIndex);
// The same read from a device given by the caller (see BaseService::Bind).
std::string CopyLibraryId(int deviceIndex, const std::shared_ptr<BaseDevice>& device);
// The identifier from the bytes of such a file: the default for fewer than 104 bytes.
std::string LibraryIdFromPrefs(const std::vector<std::uint8_t>& prefs);

// "AssetMetrics" parameters with every group and item unknown (kMetricUnknown): the figures of a
// device that sent none.
nimbara::PlistValue UnknownAssetMetrics();

class AirTrafficHostHelper {
  public:
    AirTrafficHostHelper();
    // Closes the session (waking a blocked read), stops and joins the reader.
    virtual ~AirTrafficHostHelper();
    AirTrafficHostHelper(const AirTrafficHostHelper&) = delete;
    AirTrafficHostHelper& operator=(const AirTrafficHostHelper&) = delete;

    // Opens the session for the device with that identifier, attached at `deviceIndex`. Returns
    // 1 without touching the library when `deviceId` is null, and 1 (logging
    // "*** ATHostConnectionCreateWithLibrary failed(%s)") when the device refuses. Binds the
    // object to the device now at that index: messages only ever reach that very device. The
    // library identifier is read from the device once per attachment (CopyLibraryId).
    int Connect(const std::optional<std::string>& deviceId, int deviceIndex);
    // The same for a device given by the caller, with the serial it has or will have in the
    // device manager (the manager connects a device this way before it can be looked up).
    int Connect(const std::optional<std::string>& deviceId, int deviceIndex,
                std::uint64_t deviceSerial, const std::shared_ptr<BaseDevice>& device);

    // Starts the reader thread once; later calls do nothing and return 0.
    int StartReader();

    // Hands "AssetMetrics" parameters to the bound device's values; ignores everything else.
    void HandleMessage(const std::string& command, const nimbara::PlistValue& params);

    // What the destructor does, for owners that must stop the reader before releasing shared
    // state: close the session, signal the stop, join. Idempotent; never called by the reader.
    void Stop();

    int deviceIndex() const { return index_; }
    // The serial of the device this object was connected for (0 = none).
    std::uint64_t deviceSerial() const { return serial_; }
    bool connected() const;

  private:
    void ReaderMain(const nimbara::OwnedThread::StopCheck& stop);
    std::shared_ptr<nimbara::md::MediaSyncConnection> currentConnection() const;

    int index_ = -1;
    std::uint64_t serial_ = 0;
    nimbara::OwnedThread reader_;  // runs ReaderMain; Stop() joins it
    mutable std::mutex connectionMutex_;
    std::shared_ptr<nimbara::md::MediaSyncConnection> connection_;
};

}  // namespace amd
