// The advisory file locks of the simulated devices' AFC ("file lock" requests), as flock(2) takes
// them: each open file holds its own lock, shared or exclusive, and a lock another open file
// holds stands in the way of an exclusive one (and an exclusive one in the way of any). Locks go
// with the file's close or its connection's end. Keys name a file of one AFC area of one device.
//
// The "SyncLockHeld" fault's other host lives here too: another program syncing with the device,
// holding its sync lock ("/com.apple.itunes.lock_sync") from the first time a host asks to lock it
// until the given time after a host posted the sync-lock request through the notification proxy
// (as a syncing host lets go when asked), or for ever.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace nimbara::usbmuxsim {

inline constexpr const char* kSyncLockPath = "/com.apple.itunes.lock_sync";
inline constexpr const char* kSyncLockRequest = "com.apple.itunes-mobdev.syncLockRequest";

class AfcLocks {
  public:
    enum class Kind { Shared, Exclusive };

    static AfcLocks& instance();
    // An owner number no open file has had.
    std::uint64_t newOwner();
    // Takes `kind` for `owner` (changing the one it holds); false when another owner's lock
    // stands in the way.
    bool take(const std::string& key, std::uint64_t owner, Kind kind);
    void release(const std::string& key, std::uint64_t owner);

  private:
    struct Holders {
        std::uint64_t exclusive = 0;
        std::set<std::uint64_t> shared;
    };
    std::mutex mutex_;
    std::map<std::string, Holders> locks_;
    std::uint64_t nextOwner_ = 1;
};

class OtherSyncHost {
  public:
    static OtherSyncHost& instance();
    // Before a lock of the sync lock file (`key`) of the device is handled. `letGoAfter`: the
    // device's fault (none: no other host; negative: it never lets go).
    void beforeLock(std::uint32_t deviceId, const std::string& key,
                    std::optional<std::chrono::milliseconds> letGoAfter);
    // A host posted the sync-lock request on the device.
    void lockRequested(std::uint32_t deviceId);

  private:
    struct State {
        std::uint64_t owner = 0;  // 0: not taken yet
        bool released = false;
        std::optional<std::chrono::steady_clock::time_point> askedAt;
    };
    std::mutex mutex_;
    std::map<std::uint32_t, State> devices_;
};

}  // namespace nimbara::usbmuxsim
