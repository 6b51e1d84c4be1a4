// The web browser's files in a backup: the bookmarks database (and the property list older
// devices kept instead) and the history list, with the tables, columns and keys the device
// uses.
#pragma once

#include <string>
#include <vector>

#include "sim_device_builder.h"

namespace nimbara::simdev {

// A bookmark, or a folder (no address) with the bookmarks and folders in it.
struct BackupBookmark {
    std::string title{};
    std::string url{};  // empty: a folder
    std::vector<BackupBookmark> children{};
};

// One visited page of the history list.
struct BackupHistoryEntry {
    std::string url{};
    std::string title{};     // empty: the entry has no title
    double lastVisited = 0;  // seconds since 2001, as the list stores them
    int visitCount = 1;
};

// HomeDomain/Library/Safari/Bookmarks.db: the root folder, the reading list and these bookmarks
// and folders below the root, in order. Replaces an earlier one. Throws std::runtime_error when
// SQLite fails.
void addBackupBookmarks(const SimDeviceBuilder& b, const std::vector<BackupBookmark>& bookmarks);
// HomeDomain/Library/Safari/Bookmarks.plist: the property list older devices kept instead.
void addBackupBookmarksPlist(const SimDeviceBuilder& b,
                             const std::vector<BackupBookmark>& bookmarks);
// <domain>/Library/Safari/History.plist, newest visit first as the device keeps it: HomeDomain
// on the oldest devices, the browser's own domain ("AppDomain-com.apple.mobilesafari") later.
void addBackupBrowserHistory(const SimDeviceBuilder& b,
                             const std::vector<BackupHistoryEntry>& entries,
                             const std::string& domain = "HomeDomain");

std::vector<BackupBookmark> demoBookmarks();
std::vector<BackupHistoryEntry> demoBrowserHistory();

}  // namespace nimbara::simdev
