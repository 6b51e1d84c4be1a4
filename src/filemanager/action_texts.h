// The texts the storage manager and the device file browser show around their actions: what a
// removal or an uninstall will take off the device, asked before anything changes, and where an
// export put its copies. Pure functions of the values the pages fix when the user chose.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "filemanager/storage_items.h"

namespace nimbara::filemanager {

struct FsRemovalItem;

// How many names a question lists before it says how many more there are.
inline constexpr std::size_t kNamesListed = 8;

// "a, b and c", or "a, b, … and 5 more" past `listed` names.
QString namesText(const std::vector<QString>& names, std::size_t listed = kNamesListed);

// What removing the storage manager's `items` does, one sentence per kind in the order the
// items first show it: "2 photos (6.00bytes) will be deleted from the device: IMG_0001.JPG and
// IMG_0002.JPG." Items the removal will keep (Photo Stream and Photo Library photos, files the
// device itself needs) are said to stay.
QString storageRemovalSummary(const std::vector<StorageItem>& items);

// "This app will be uninstalled with its data (6.00MB): Notes."
QString uninstallSummary(const QString& displayName, std::uint64_t bytes);

// What the device file browser's delete of `plan` does: its files, its folders (only removed
// when empty) and the files the device itself needs, which stay.
QString deviceRemovalSummary(const std::vector<FsRemovalItem>& plan);

// The sentence an export ends with: the run's own `message`, and where the copies are once
// something was written.
QString exportEndText(const QString& message, const std::filesystem::path& folder, bool wrote);

}  // namespace nimbara::filemanager
