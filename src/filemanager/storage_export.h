// Exports of the storage manager: photos, tracks, books and user-data files into the export
// folder, and the whole container of a user app.
//
// Where the copies go, below the export folder E (made with its parents when missing; a folder
// the user chose is used as it stands, dotted names such as "~/.local/x" included):
//   photos, tracks, single-file books, user-data files   E/<name>
//   a book stored as a folder                            E/<book folder>/<the book's files>
//   an app's container                                   E/<app display name>/<container layout>
// Names from the device are made safe one component at a time: "/", control and refused
// characters become "_", and a name that starts with dots loses them (".profile" is written as
// "profile"; "..." becomes "Untitled"), so nothing lands outside E. A file never replaces
// another: a taken name is numbered "IMG_0001 (2).JPG", "IMG_0001 (3).JPG", ...; a folder made for
// a book or an app is always a new one ("Story.epub (2)", "Notes (2)"). Every file is written under
// a temporary name and renamed into place when complete, so a failed or stopped copy leaves nothing
// behind.
//
// Each export runs on the calling (worker) thread over one device connection, checks before
// every file that its own device (index and serial) is still attached, and stops when it is
// not. Nothing on the device changes.
#pragma once

#include <QString>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cleanup/clean_removal.h"
#include "filemanager/storage_items.h"

class PRAppDirTreeNode;

namespace nimbara::filemanager {

using StorageStopCheck = std::function<bool()>;  // true: stop now
// After each item: items handled so far of all, the percent and the bytes copied so far.
using StorageProgressSink = std::function<void(const cleanup::CleanProgress&)>;

// One local name for a component from the device: leading dots dropped, then made one safe
// file name (see above).
std::string localComponentName(const std::string& deviceName);

// Copies `items` into `exportFolder`: a preview copy (localCopy) when it is still there, else the
// device file; a folder item with everything below it. One result per item.
StorageReport exportStorageItems(const StorageTarget& target, const std::vector<StorageItem>& items,
                                 const std::filesystem::path& exportFolder,
                                 const StorageProgressSink& progress = {},
                                 const StorageStopCheck& stop = {});

// Copies the whole container of the app `bundleId` into a new folder named after `displayName`
// (the bundle identifier when empty) inside `exportFolder`. The report has one item (the app),
// whose `written` is that folder; every file that could not be copied is in `failures`.
StorageReport exportAppContainer(const StorageTarget& target, const std::string& bundleId,
                                 const QString& displayName,
                                 const std::filesystem::path& exportFolder,
                                 const StorageStopCheck& stop = {});
StorageReport exportAppContainer(const StorageTarget& target, const PRAppDirTreeNode& app,
                                 const std::filesystem::path& exportFolder,
                                 const StorageStopCheck& stop = {});

}  // namespace nimbara::filemanager
