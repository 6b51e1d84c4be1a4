// Removals of the storage manager: the items the user confirmed, and the uninstall of a user app.
//
// The items are taken when the user confirms (itemsAtRows on the GUI thread); a selection
// changed afterwards changes nothing. Each item is removed by its exact device path:
// - camera-roll photos through the device's camera roll (cleanup::DeviceCameraRoll), by path,
//   never by name, so a same-named photo of another folder stays;
// - photo-stream and photo-library photos can't be removed here: they say so and stay;
// - tracks, videos, user-data files and single-file books as one device file; a book stored as
//   a folder with everything below it (a folder holding something the device keeps stays).
// Files the device itself needs (cleanup::isProtectedDeviceFile) are never removed.
//
// Only what the device confirmed counts: an item's bytes are the size the device reported for
// what it removed, and an item the device refused stays listed (StorageReport::settled() names
// the rows a page drops). The run checks before every removal that its own device (index and
// serial) is still attached, and stops when it is not.
#pragma once

#include <QString>

#include <string>
#include <vector>

#include "filemanager/storage_export.h"
#include "filemanager/storage_items.h"

class PRAppDirTreeNode;

namespace nimbara::filemanager {

// Worker thread: removes `items` from the device `target`; one result per item.
StorageReport removeStorageItems(const StorageTarget& target, const std::vector<StorageItem>& items,
                                 const StorageProgressSink& progress = {},
                                 const StorageStopCheck& stop = {});

// Worker thread: uninstalls the app (asked first by the page). The report has one item, Done
// with the app's `bytes` when the device uninstalled it, Failed with the device's code when
// not.
StorageReport uninstallApp(const StorageTarget& target, const std::string& bundleId,
                           const QString& displayName, std::uint64_t bytes,
                           const StorageStopCheck& stop = {});
StorageReport uninstallApp(const StorageTarget& target, const PRAppDirTreeNode& app,
                           const StorageStopCheck& stop = {});

// The confirmation texts of the page.
// "Are you sure you want to permanently delete the selected file(s) from your device?"
QString removeQuestionText();
// The books' caution ("CAUTION: Only advanced users should delete files. ...").
QString removeBooksCautionText();
// "Are you sure you want to permanently uninstall the <name>.app from your device?"
QString uninstallQuestionText(const QString& displayName);

}  // namespace nimbara::filemanager
