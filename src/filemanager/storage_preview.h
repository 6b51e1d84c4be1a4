// Preview copies: a device file (a photo, or any file a page shows) copied into the private
// scratch space so the GUI can show it without a device round trip.
//
// Each device path of each attached device has its own copy ("<scratch>/Previews/<serial>/<hash
// of the path>/<name>"), so two "IMG_0001.JPG" of two folders never share one, and a copy is
// only ever read back for the path it was made from. The copy is written under a temporary name
// and renamed into place when complete: a failed or stopped copy leaves none, and only a
// complete one is reported as copied. Files above the size limit are not copied at all.
#pragma once

#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "filemanager/preview_size_limit.h"
#include "filemanager/storage_items.h"

namespace nimbara::filemanager {

// Where the preview copy of `devicePath` of the device `target` lives (whether or not it was
// made); empty when the scratch space can't be used or the path has no plain last component.
// `bundleId` names the app container the path is in (empty: the media root), so the same path in
// two containers gets two copies.
std::filesystem::path previewCopyPath(const StorageTarget& target, const std::string& devicePath,
                                      const std::string& bundleId = {});

enum class PreviewCopyResult {
    Copied,      // the copy is complete
    TooLarge,    // above the limit: nothing copied
    Gone,        // the device has no such file any more
    NotAFile,    // a folder or something else that is not a regular file
    Failed,      // the device refused, or the local copy could not be written
    DeviceGone,  // the device went away (or another one took its index)
    Stopped,     // the caller's stop check asked to stop
};

struct PreviewCopy {
    PreviewCopyResult result = PreviewCopyResult::Failed;
    std::filesystem::path path;  // the copy (only for Copied)
    std::uint64_t size = 0;      // the device file's size, where known
    QString reason;              // why not, for the user

    bool copied() const { return result == PreviewCopyResult::Copied; }
};

// Worker thread: copies `devicePath` of the media root (or of the container of the app
// `bundleId`) into its preview place. A copy made before for the same path and size is used
// again without a device copy.
PreviewCopy copyForPreview(const StorageTarget& target, const std::string& devicePath,
                           std::uint64_t sizeLimit = kPreviewSizeLimit,
                           const std::function<bool()>& stop = {},
                           const std::string& bundleId = {});

}  // namespace nimbara::filemanager
