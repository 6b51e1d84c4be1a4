// The walk of the device file-system browser: every folder and regular file of the device's media
// root, handed over in batches of flat records for the folder-tree builder. A folder's record
// always comes after everything below it, so the tree receives children before their folders
// (it files either order).
//
// The walk runs on the calling (worker) thread over one AFC connection, bound to one device
// (index AND serial). After every entry it asks whether to stop: the caller wants it, or its
// device went away (a device that later took the index has another serial and is never read).
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "cleanup/clean_removal.h"

namespace nimbara::filemanager {

using cleanup::CleanDeviceTarget;

// One entry met by the walk.
struct FsEntryRecord {
    std::string path;  // full device path, "/" then the names
    bool isFile = false;
    std::uint64_t size = 0;  // bytes of a file; 0 for a folder
};

enum class FsWalkStatus {
    Done,        // the whole device was walked
    BindFailed,  // the device's files could not be reached (see code)
    Unreadable,  // the device would not list its files at all
    NoAnswer,    // the device stopped answering (at the start or half-way): not all was read
    DeviceGone,  // the device went away: the walk stopped early
    Cancelled,   // the caller's stop check asked to stop
};

struct FsWalkResult {
    FsWalkStatus status = FsWalkStatus::Done;
    int code = 0;  // the bind's result when it failed
    std::uint64_t files = 0;
    std::uint64_t folders = 0;
    std::uint64_t bytes = 0;
    QString message;  // empty when the walk finished
};

class DeviceFsWalk {
  public:
    using Batch = std::function<void(std::vector<FsEntryRecord> records)>;
    using StopCheck = std::function<bool()>;  // true: stop now

    // `onBatch` runs on the walking thread with up to `batchSize` records at a time, in walk
    // order; the last batch is handed over before run() returns, also when the walk stopped.
    DeviceFsWalk(CleanDeviceTarget target, Batch onBatch, StopCheck stop = {},
                 std::size_t batchSize = 256);

    // `done` runs on the walking thread after each entry of the root (and everything below it),
    // once the records met so far were handed over: how many of the root's names are done, of
    // all. Not after the entry the walk stopped in.
    using TopLevelDone = std::function<void(std::size_t done, std::size_t total)>;
    void onTopLevelDone(TopLevelDone done) { topLevelDone_ = std::move(done); }

    // Call once.
    FsWalkResult run();

    // Folder levels entered below the root.
    static constexpr int kMaxDepth = 64;

  private:
    void add(FsEntryRecord record);
    void flush();
    // The status as the guard last saw the device and the stop check.
    void settle();

    cleanup::CleanRunGuard guard_;
    Batch onBatch_;
    TopLevelDone topLevelDone_;
    std::size_t batchSize_;
    std::vector<FsEntryRecord> pending_;
    FsWalkResult result_;
};

}  // namespace nimbara::filemanager
