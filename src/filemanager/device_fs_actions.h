// What the device file-system browser and the transfer page's app containers do with the
// entries they show: exports to a folder on the computer, removals on the device, a file added
// from the computer, and the browser's preview copy.
//
// Each job works through a plan of plain values taken on the GUI thread (a later change of the
// page's selection changes nothing), on the calling (worker) thread over one AFC connection it
// opens for the whole job, to the device's media area or to one app's data container (house
// arrest), bound to one device (index AND serial): once that device went away nothing more is
// sent.
//
// Exports: every local name built from a device name drops one leading dot (".cache" gives
// "cache", as the folder tree shows it) and is then made one safe name (device_export_copy.h); the
// chosen folder itself is used as it is, dots and all. A copy never replaces a file (" (2)"),
// never leaves the chosen folder and is written under a temporary name first.
// Removals count only what the device confirmed. The upload reads the local file before anything
// on the device changes, asks (through its outcome) before it replaces a device file, and writes
// under a temporary device name that is renamed into place once complete.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cleanup/clean_removal.h"
#include "filemanager/preview_size_limit.h"

namespace nimbara::filemanager {

using cleanup::CleanDeviceTarget;
using cleanup::CleanFailure;
using cleanup::CleanItemOutcome;
using cleanup::CleanRunStatus;

using StopCheck = std::function<bool()>;  // true: stop now

// Where a job's device paths lie: the media area of the device, or the data container of the
// app `bundleId`. The job opens one connection to it and keeps it to its end.
struct DeviceFsRoot {
    CleanDeviceTarget target;
    std::string bundleId;  // empty: the media area
};

// The folder holding a device path: "/a/b" gives "/a", "/a" gives "/".
std::string deviceParentFolder(const std::string& path);
// The local name of one device path component: one leading dot dropped, then made safe.
std::string localNameOfDeviceName(const std::string& name);

// ---------------------------------------------------------------- export

// One entry of an export plan.
struct FsExportItem {
    std::string devicePath;
    bool folder = false;  // everything below the folder is copied
};

enum class FsExportLayout {
    Flat,    // <folder>/<name>: the chosen files
    Mirror,  // <folder>/<device path>: a folder's entries keep the device's full path
};

struct FsExportReport {
    CleanRunStatus status = CleanRunStatus::Done;
    std::filesystem::path folder;  // canonical, where the copies went
    std::vector<std::filesystem::path> written;
    std::uint64_t copiedBytes = 0;
    std::vector<CleanFailure> failures;
    QString message;

    bool revealFolder() const { return !written.empty(); }
};

// After each file written: the files and bytes written so far (on the worker).
using FsExportProgress = std::function<void(std::size_t files, std::uint64_t bytes)>;

// Copies the plan into `folder` (made with its parents when missing). In the Mirror layout a
// folder item "/" stands for everything in the root.
FsExportReport exportDeviceEntries(const DeviceFsRoot& root, const std::vector<FsExportItem>& plan,
                                   const std::filesystem::path& folder, FsExportLayout layout,
                                   const StopCheck& stop = {},
                                   const FsExportProgress& progress = {});
// The same on the media area.
FsExportReport exportDeviceEntries(CleanDeviceTarget target, const std::vector<FsExportItem>& plan,
                                   const std::filesystem::path& folder, FsExportLayout layout,
                                   const StopCheck& stop = {});

// ---------------------------------------------------------------- removal

struct FsRemovalItem {
    std::string devicePath;
    bool folder = false;  // an (empty) folder
};

struct FsRemovalReport {
    CleanRunStatus status = CleanRunStatus::Done;
    std::vector<CleanItemOutcome> outcomes;  // one per plan item
    std::uint64_t removedFiles = 0;          // items the device removed
    std::uint64_t removedBytes = 0;          // their sizes as the device reported them
    std::vector<CleanFailure> failures;
    QString message;

    // Whether plan item `index` is off the device now (removed, or found gone).
    bool settled(std::size_t index) const {
        return index < outcomes.size() && (outcomes[index] == CleanItemOutcome::Removed ||
                                           outcomes[index] == CleanItemOutcome::Gone);
    }
};

// Removes the plan's entries: files (never a protected device file of the media area), and
// folders only when the device agrees to (it removes empty ones).
FsRemovalReport removeDeviceEntries(const DeviceFsRoot& root,
                                    const std::vector<FsRemovalItem>& plan,
                                    const StopCheck& stop = {});
// The same on the media area.
FsRemovalReport removeDeviceEntries(CleanDeviceTarget target,
                                    const std::vector<FsRemovalItem>& plan,
                                    const StopCheck& stop = {});

// ---------------------------------------------------------------- upload

enum class FsUploadOutcome {
    Added,            // a new device file
    Replaced,         // the device file of that name was replaced (allowReplace)
    NeedsApproval,    // a file of that name is there: nothing was changed (ask, then again)
    LocalUnreadable,  // the local file could not be read: nothing was changed
    Refused,          // the name or target can't be used (a folder of that name, a bad name)
    Failed,           // the device refused; its file of that name is as it was
    DeviceGone,
};

struct FsUploadReport {
    FsUploadOutcome outcome = FsUploadOutcome::Failed;
    std::string devicePath;  // the target
    std::uint64_t size = 0;  // bytes on the device after an upload
    int code = 0;
    QString message;

    bool uploaded() const {
        return outcome == FsUploadOutcome::Added || outcome == FsUploadOutcome::Replaced;
    }
};

// Copies the local file into the device folder `deviceFolder` under its own name. Only a regular
// file is taken (a named pipe, device or folder is refused before it is opened); `stop` returning
// true ends the copy, leaving the device as it was.
FsUploadReport uploadFileToDevice(const DeviceFsRoot& root, const std::filesystem::path& localFile,
                                  const std::string& deviceFolder, bool allowReplace,
                                  const StopCheck& stop = {});
// The same on the media area.
FsUploadReport uploadFileToDevice(CleanDeviceTarget target, const std::filesystem::path& localFile,
                                  const std::string& deviceFolder, bool allowReplace,
                                  const StopCheck& stop = {});

// ---------------------------------------------------------------- preview copy

enum class FsPreviewStatus { Copied, TooLarge, NotAFile, Failed, DeviceGone, Cancelled };

struct FsPreviewCopy {
    FsPreviewStatus status = FsPreviewStatus::Failed;
    std::filesystem::path localPath;  // the copy (Copied)
    std::uint64_t size = 0;           // the device file's bytes
    QString message;
};

// Copies the device file into `scratch` (a private folder) under a fresh name, unless it is
// larger than `sizeLimit`.
FsPreviewCopy copyForPreview(CleanDeviceTarget target, const std::string& devicePath,
                             const std::filesystem::path& scratch, std::uint64_t sizeLimit,
                             const StopCheck& stop = {});

}  // namespace nimbara::filemanager
