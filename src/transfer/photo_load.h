// The transfer page's photo load: the pictures and movies of the device's camera folders copied
// into the private scratch space, one IKImageItem per file.
//
// Folders read: each entry of "/DCIM" whose name contains "APPLE" (any letter case), then
// "/DiskAid/DCIM/100APPLE". Every regular file of them is copied to a local file whose name
// is made from its whole device path, so two "IMG_0001.JPG" of two folders never share a copy.
// A copy lands whole or not at all; a file already copied whole by an earlier load of the same
// device is not fetched again, and one whose copy failed gets an item without a copy (bhasCopy
// false) and is tried again by the next load. Copies run one after another on the caller's
// thread. Worker thread only.
#pragma once

#include <QString>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/device_target.h"
#include "transfer/ik_image_item.h"

namespace nimbara::transfer {

// The device folders the load reads, in order, on top of the "/DCIM" camera folders.
inline constexpr const char* kPhotoCameraRoot = "/DCIM";
inline constexpr const char* kPhotoExtraFolder = "/DiskAid/DCIM/100APPLE";

enum class PhotoLoadStatus {
    Done,            // every folder read (some copies may have failed: see failedCopies)
    ServiceRefused,  // the device's file service could not be opened
    DeviceGone,      // the device went away (or another took its index)
    Stopped,         // the caller asked to stop
    NoScratch,       // the local folder for the copies could not be made
};
// One sentence for the user.
QString photoLoadStatusText(PhotoLoadStatus status);

struct PhotoLoadResult {
    PhotoLoadStatus status = PhotoLoadStatus::Done;
    std::size_t items = 0;
    std::size_t failedCopies = 0;
};

struct PhotoLoadSink {
    // One item per file, in load order, as soon as its copy was tried.
    std::function<void(std::shared_ptr<IKImageItem>)> itemAdded;
};

// "Movie" for the endings MOV, MP4, M4V and MPEG (any letter case), else "Image".
QString photoFileType(const QString& fileName);

// The local copy of `devicePath` inside `folder`: a short digest of the whole device path, a dash
// and the file name made safe.
std::filesystem::path photoCopyPath(const std::filesystem::path& folder,
                                    const std::string& devicePath);

// The scratch folder of the copies of one device ("Photos/<serial>" under the scratch root);
// empty when it could not be made.
std::filesystem::path photoCopyFolder(std::uint64_t deviceSerial);

class PhotoLoader {
  public:
    using StopCheck = std::function<bool()>;

    // `copies`: the local folder the copies go to (photoCopyFolder of the device in the page).
    PhotoLoader(amd::DeviceTarget target, std::filesystem::path copies, StopCheck stop = {});

    PhotoLoadResult load(const PhotoLoadSink& sink);

  private:
    bool interrupted(PhotoLoadResult& result);

    amd::DeviceTarget target_;
    std::filesystem::path copies_;
    StopCheck stop_;
};

}  // namespace nimbara::transfer
