// The device's camera roll: the pictures and movies the device's camera took, listed and deleted
// as one session. CameraRoll is the interface the delegate, the quick clean-up and the storage
// manager page use; DeviceCameraRoll serves it from the device's media area.
//
// Callbacks: every request calls its callback exactly once, whatever happens (a session that
// does not open, a departed device, nothing to list), so a caller waiting for it never hangs.
// DeviceCameraRoll works synchronously on the calling thread and calls back before it returns:
// call it from a worker, never from the GUI thread.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace nimbara::cleanup {

// Type identifiers of the items a camera roll lists.
inline constexpr const char* kCameraItemImage = "public.image";
inline constexpr const char* kCameraItemMovie = "public.movie";

struct CameraRollItem {
    std::string name;            // file name on the device ("IMG_0001.JPG")
    std::string typeIdentifier;  // kCameraItemImage or kCameraItemMovie
    std::string devicePath;      // full media path ("/DCIM/100APPLE/IMG_0001.JPG")
    std::uint64_t size = 0;      // "st_size"
    std::int64_t mtime = 0;      // seconds since 1970 ("st_mtime"; 0 when unknown)
};

// Results of a session or a deletion.
enum class CameraRollResult {
    Ok = 0,
    NotOpen,         // deletion asked without an open session
    ServiceRefused,  // the device's file service could not be started (session did not open)
    DeviceGone,      // the device went away (or another device took its index)
};

// A short English sentence for the result ("The camera roll could not be opened.").
const char* cameraRollResultText(CameraRollResult result);

struct CameraRollFailure {
    CameraRollItem item;
    int code = 0;  // the removal's nonzero result
};

struct CameraRollDeletion {
    CameraRollResult result = CameraRollResult::Ok;
    std::vector<CameraRollItem> deleted;    // removed, in request order
    std::vector<CameraRollFailure> failed;  // removal answered nonzero
    std::vector<CameraRollItem> notTried;   // left alone: device gone, unknown or protected item
};

class CameraRoll {
  public:
    using ReadyCallback =
        std::function<void(CameraRollResult result, const std::vector<CameraRollItem>& items)>;
    using DeleteCallback = std::function<void(const CameraRollDeletion& outcome)>;

    virtual ~CameraRoll() = default;

    // Opens the session and lists the items; `ready` gets Ok and the items (possibly none) or
    // the failure and no items. Opening an open session lists afresh.
    virtual void openSession(const ReadyCallback& ready) = 0;
    virtual bool isOpen() const = 0;
    // The items of the last listing (empty before a session opened).
    virtual std::vector<CameraRollItem> items() const = 0;
    // Deletes the listed items with those device paths; paths not in the listing are reported
    // in notTried. An empty request still calls back (with nothing deleted).
    virtual void deleteItems(const std::vector<CameraRollItem>& items,
                             const DeleteCallback& done) = 0;
    virtual void close() = 0;

    // The listed items whose name is one of `names`, in listing order (several items may share
    // a name when they lie in different folders).
    std::vector<CameraRollItem> itemsNamed(const std::vector<std::string>& names) const;
    // deleteItems(itemsNamed(names)): the request is sent even when nothing matches.
    void deleteItemsNamed(const std::vector<std::string>& names, const DeleteCallback& done);
};

// True while the very device with that serial is attached at that index, and has not dropped off
// in the middle of a call (the device manager hears of such a drop only later, on its own
// thread; the device's handle knows at once).
bool deviceStillAttached(int deviceIndex, std::uint64_t deviceSerial);

// The type identifier of a camera-roll file name by its extension (case-insensitive): image
// and movie extensions the device's camera writes; empty for anything else (".AAE" sidecars,
// ".plist", folders).
std::string cameraItemTypeForName(const std::string& name);

// True for a folder of "/DCIM" that holds camera-roll files ("100APPLE", "101apple"):
// case-insensitive "contains APPLE".
bool isCameraRollFolder(const std::string& folderName);

// Where a picture or movie file lies for the quick clean-up's photo step, which copies the
// folders "/DCIM/*APPLE*", "/PhotoStreamsData/*/*APPLE*", "/PhotoData/Sync/*SYNCD*" and
// "/Photos/Sync/*SYNCD*" (names matched without regard to case) and deletes from the device
// only what the camera roll lists.
enum class PhotoStepFile {
    None,        // not a picture or movie of those folders
    CameraRoll,  // a camera-roll item: copied, then deleted from the device
    CopyOnly,    // a picture of a photo stream or a synced album: copied, kept on the device
};
PhotoStepFile photoStepFileOf(const std::string& devicePath);

// The camera roll of one attached device, identified by index and serial: the picture and movie
// files of the "/DCIM" folders named like isCameraRollFolder. Deleting removes the device file
// (AfcService::RemovePath) after checking, before each removal, that the same device is still
// attached; a protected device file is never removed.
class DeviceCameraRoll : public CameraRoll {
  public:
    DeviceCameraRoll(int deviceIndex, std::uint64_t deviceSerial);

    void openSession(const ReadyCallback& ready) override;
    bool isOpen() const override;
    std::vector<CameraRollItem> items() const override;
    void deleteItems(const std::vector<CameraRollItem>& items, const DeleteCallback& done) override;
    void close() override;

    int deviceIndex() const { return deviceIndex_; }
    std::uint64_t deviceSerial() const { return deviceSerial_; }

  private:
    bool deviceStillAttached() const;

    const int deviceIndex_;
    const std::uint64_t deviceSerial_;
    mutable std::mutex mutex_;
    bool open_ = false;
    std::vector<CameraRollItem> items_;
};

}  // namespace nimbara::cleanup
