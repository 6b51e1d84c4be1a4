// The categories of what the clean-up page finds and removes, and where each lives.
#pragma once

#include <QString>

#include <cstddef>

namespace nimbara::cleanup {

// Cache, Document, Cookie and Junk (temporary files) lie in an app's container; SyncFailed on
// the media root; AdCache folders stand directly in an app's "/Library/Caches"; UserFile is any
// file of the media root (the large-file finder's user files).
enum class CleanCategory { Cache = 0, Document, Cookie, Junk, SyncFailed, AdCache, UserFile };
inline constexpr std::size_t kCleanCategoryCount = 7;

// The folder that holds a category: "/Library/Caches", "/Documents", "/Library/Cookies", "/tmp"
// inside the app's container, "/iTunes_Control/Sync" and "/" (UserFile) on the media root.
const char* categoryFolder(CleanCategory category);
// SyncFailed and UserFile lie on the media root, the others in an app's container.
inline bool isMediaRootCategory(CleanCategory category) {
    return category == CleanCategory::SyncFailed || category == CleanCategory::UserFile;
}

// The category name the page sets on tree nodes (cleanType): "Cache", "Junk", "Cook"; empty
// for the others.
QString cleanTypeName(CleanCategory category);
// The category's folder type as the app scan names it: "Caches", "Cookies", "tmp" or
// "Documents"; empty for the others.
QString cleanCategoryType(CleanCategory category);

}  // namespace nimbara::cleanup
