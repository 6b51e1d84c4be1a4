// The local copy a chosen track or video is played from.
//
// Each device file gets a folder of its own below the scratch folder "Music": one per device
// serial and device path ("Music/<serial>/<16 hex digits of the path's hash>"), so two tracks of
// the same title, or two "IMG_0001.MOV" in two folders, never share a copy. Inside it the copy is
// named after the track (PRTranMusicNode::localFileName), a name of its own, never replacing a
// file.
//
// A track counts as copied (bhasCopy, bCopyLocationPath) only once its copy was written whole; a
// copy that failed or was stopped leaves nothing behind and the track uncopied, so it is copied
// again when it is chosen next time.
#pragma once

#include <QString>

#include <filesystem>
#include <functional>
#include <string>

#include "transfer/media_library.h"

namespace nimbara::transfer {

enum class PreviewCopyStatus {
    Copied,         // written, the track marked
    AlreadyCopied,  // the track's copy was still there: nothing copied
    NoFile,         // the track names no device file
    DeviceGone,     // the device went away, or another took its index
    Failed,         // the device's files could not be reached, or the copy failed
    Stopped,        // the caller asked to stop
};

struct PreviewCopyResult {
    PreviewCopyStatus status = PreviewCopyStatus::Failed;
    std::filesystem::path path;  // the copy, when there is one
    std::string error;           // why not, one line for the log

    bool playable() const {
        return status == PreviewCopyStatus::Copied || status == PreviewCopyStatus::AlreadyCopied;
    }
};

// One sentence for the user about a copy that did not give a playable file; empty otherwise.
QString previewCopyStatusText(PreviewCopyStatus status);

// The folder the copy of `devicePath` of the device with `serial` goes to, made where missing;
// empty when the scratch space can't be used.
std::filesystem::path previewCopyFolder(std::uint64_t serial, const std::string& devicePath);

// True when the track is marked copied and its copy is still a regular file.
bool hasUsableCopy(const PRTranMusicNode& track);

// Copies the track's device file for playing and marks it on success. Blocking: run it on a
// worker. `stop` may be empty.
PreviewCopyResult copyTrackForPreview(const MediaDeviceTarget& device, PRTranMusicNode& track,
                                      const std::function<bool()>& stop);

}  // namespace nimbara::transfer
