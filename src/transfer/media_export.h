// The transfer page's exports of photos, tracks and videos into a folder on the computer (a
// folder chosen in the save panel, or the Documents folder).
//
// The plan is a list of plain values taken on the GUI thread (a later change of the page's lists
// changes nothing): each item's file name and where its bytes come from, the local copy the
// page already holds or else the device file. exportMediaItems copies the plan on the calling
// (worker) thread, bound to one device (index AND serial): once that device went away (or the
// caller asked to stop) nothing more is written. The device is reached over one connection,
// opened only when some item has no local copy.
//
// Every name is made one safe file name (a title's "/" or ".." never leads out of the folder), a
// file never replaces another (a taken name is numbered "Name (2).m4a"), and each copy is written
// under a temporary name that is renamed into place once complete. An item that fails is
// counted with its reason and the export goes on with the next. An empty plan makes no folder,
// and a folder the export made stays only when something was written into it.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cleanup/clean_removal.h"
#include "device/device_target.h"

class IKImageItem;
class PRTranMusicNode;

namespace nimbara::transfer {

// One file to export.
struct MediaExportItem {
    QString name;            // its name in the export folder (made safe and numbered there)
    std::string localCopy;   // the copy the page holds; empty (or gone): the device file is read
    std::string devicePath;  // the device file
};

// A track or video: named after its title with the media file's extension.
MediaExportItem mediaExportItem(const PRTranMusicNode& track);
// A photo or movie: named after its device file.
MediaExportItem mediaExportItem(const IKImageItem& photo);

struct MediaExportFailure {
    std::size_t item = 0;  // index into the plan
    QString name;
    QString reason;
};

struct MediaExportReport {
    cleanup::CleanRunStatus status = cleanup::CleanRunStatus::Done;
    std::filesystem::path folder;  // where the copies went (canonical once made)
    std::size_t total = 0;         // items in the plan
    std::vector<std::filesystem::path> written;
    std::uint64_t copiedBytes = 0;
    std::vector<MediaExportFailure> failures;
    QString folderProblem;  // why the folder could not be used; nothing was tried then

    // Only an export that wrote something shows its folder.
    bool revealFolder() const { return !written.empty(); }
};

// Called after each item: how many were handled of how many.
using MediaExportProgress = std::function<void(std::size_t handled, std::size_t total)>;

// Copies the plan into `folder` (made with its parents where missing). Blocking.
MediaExportReport exportMediaItems(amd::DeviceTarget device,
                                   const std::vector<MediaExportItem>& plan,
                                   const std::filesystem::path& folder,
                                   const MediaExportProgress& progress = {},
                                   const std::function<bool()>& stop = {});

// The reason of a failed write (backup::ExportWriteResult::error) for the user: without the local
// path it starts with.
QString exportWriteReason(const std::string& error);

// The sentence for the page at the end of an export: what was written and where, and how many
// items could not be exported with the first one's reason ("3 of 10 files could not be
// exported: ...").
QString mediaExportOutcomeText(const MediaExportReport& report);

}  // namespace nimbara::transfer
