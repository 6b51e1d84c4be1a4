// The storage manager's items as its actions take them: plain values made on the GUI thread from
// the page's nodes when the user confirmed or chose, so nothing a worker reads changes under it.
//
// The actions (storage_preview.h, storage_export.h, storage_removal.h) each run on a worker,
// bound to the device the items were found on (index and serial), and answer with a report of
// what really happened, one outcome per item.
#pragma once

#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cleanup/clean_removal.h"

class PRPhotoAndVideoNode;
class PRTranMusicNode;
class PRPhoneSystemFileNode;

namespace nimbara::filemanager {

// The device an action belongs to (amd::DeviceManager index and serial).
using StorageTarget = cleanup::CleanDeviceTarget;

enum class StorageKind {
    CameraRollPhoto,    // "/DCIM/...APPLE/...": removed through the camera roll
    PhotoStreamPhoto,   // "/PhotoStreamsData/...": kept in step with the device's cloud
    PhotoLibraryPhoto,  // "/PhotoData/Sync", "/Photos/Sync": synced from a computer
    Music,
    Video,
    Book,          // a single file, or a folder (`folder`) with everything below it
    UserDataFile,  // a file of the user-data tree
};

struct StorageItem {
    StorageKind kind = StorageKind::UserDataFile;
    std::string devicePath;  // as the device listed it
    QString name;            // what the page shows (file name, track title, book name)
    std::uint64_t size = 0;  // bytes as listed (0 for a folder)
    bool folder = false;     // a book stored as a folder
    // The name an export gives the copy; empty: the device file's own last component.
    std::string exportName;
    // A local copy made earlier (a photo's preview copy); an export copies it instead of the
    // device file when it is still there.
    std::filesystem::path localCopy;
};

// The photo scan's kind texts.
inline constexpr const char* kPhotoKindCameraRoll = "Camera roll";
inline constexpr const char* kPhotoKindPhotoStream = "Photo Stream";
inline constexpr const char* kPhotoKindPhotoLibrary = "Photo Library";

// ---------------------------------------------------------------- items of the page's nodes

// A photo node: the kind from its fileType (a path under "/PhotoStreamsData" or a "Sync"
// folder decides when the text is missing), its size, and its preview copy when it has one.
StorageItem itemOfPhoto(const PRPhotoAndVideoNode& node, const StorageTarget& target);
// A music or video track: the media file, its size, named by PRTranMusicNode::localFileName().
StorageItem itemOfTrack(const PRTranMusicNode& node);
// A file of the user-data tree.
StorageItem itemOfUserDataFile(const PRPhoneSystemFileNode& node);
// A book: a single file, or a folder when `folder`.
StorageItem itemOfBook(const std::string& devicePath, const QString& name, std::uint64_t size,
                       bool folder);

// The items of `nodes` at the given rows, in row order, each row once; rows past the end are
// skipped. What a page takes when the user confirmed.
template <class Node, class Make>
std::vector<StorageItem> itemsAtRows(const std::vector<std::shared_ptr<Node>>& nodes,
                                     std::vector<int> rows, const Make& make) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<StorageItem> items;
    for (const int row : rows) {
        if (row >= 0 && static_cast<std::size_t>(row) < nodes.size() && nodes[row]) {
            items.push_back(make(*nodes[row]));
        }
    }
    return items;
}

// Every row of a list of `count` rows: what "export all" takes.
inline std::vector<int> allRows(std::size_t count) {
    std::vector<int> rows(count);
    for (std::size_t i = 0; i < count; ++i) {
        rows[i] = static_cast<int>(i);
    }
    return rows;
}

// ---------------------------------------------------------------- reports

enum class StorageOutcome {
    NotTried,      // the run stopped first
    Done,          // removed (or exported)
    Gone,          // no longer on the device: nothing to remove or export
    CannotRemove,  // a kind the device doesn't let us remove (photo stream, photo library)
    Kept,          // refused here: protected, not what was listed, or not a plain path
    Failed,        // the device refused, or a copy failed
};

struct StorageItemResult {
    StorageOutcome outcome = StorageOutcome::NotTried;
    std::uint64_t bytes = 0;        // bytes removed or copied for this item
    int code = 0;                   // the device's nonzero answer (-1: refused here)
    std::filesystem::path written;  // an export: the file or folder made
    QString reason;                 // why not, for the user
};

struct StorageReport {
    cleanup::CleanRunStatus status = cleanup::CleanRunStatus::Done;
    std::vector<StorageItemResult> items;         // one per item, in the items' order
    std::uint64_t bytes = 0;                      // removed or copied, over all items
    std::filesystem::path folder;                 // an export: where the copies went
    std::vector<cleanup::CleanFailure> failures;  // every failure, with its item and device path
    QString message;                              // one or two sentences for the user

    std::size_t count(StorageOutcome outcome) const;
    // The items that left the device (Done or Gone): the rows a page drops after a removal.
    std::vector<std::size_t> settled() const;
    // The bytes of the items removed, as the device reported them.
    std::uint64_t removedBytes() const { return bytes; }
};

// GUI thread, after a removal: drops from `nodes` the rows whose items settled, matched by
// device path (`pathOf` gives a node's), keeping the order of the rest. The rows kept are the
// ones whose removal failed or was refused.
template <class Node, class PathOf>
std::size_t dropSettled(std::vector<std::shared_ptr<Node>>& nodes,
                        const std::vector<StorageItem>& items, const StorageReport& report,
                        const PathOf& pathOf) {
    std::vector<std::string> gone;
    for (const std::size_t index : report.settled()) {
        if (index < items.size()) {
            gone.push_back(items[index].devicePath);
        }
    }
    const std::size_t before = nodes.size();
    std::erase_if(nodes, [&](const std::shared_ptr<Node>& node) {
        return node && std::find(gone.begin(), gone.end(), pathOf(*node)) != gone.end();
    });
    return before - nodes.size();
}

}  // namespace nimbara::filemanager
