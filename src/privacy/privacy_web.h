// The web browser's private data in a backup: the history database of newer devices and the
// cookie files.
#pragma once

#include "privacy/privacy_backup.h"
#include "privacy/privacy_reader.h"

namespace nimbara::backup {
class BackupFolder;
}

namespace nimbara::privacy {

// Where the device keeps them; every one the backup holds is read.
inline constexpr backup::DatabaseSource kSafariHistoryDatabaseSources[] = {
    {"AppDomain-com.apple.mobilesafari", "Library/Safari/History.db"},
    {"HomeDomain", "Library/Safari/History.db"},
};
inline constexpr backup::DatabaseSource kCookieSources[] = {
    {"HomeDomain", "Library/Cookies/Cookies.binarycookies"},
    {"AppDomain-com.apple.mobilesafari", "Library/Cookies/Cookies.binarycookies"},
};

// Appends the visited pages of every history database (table history_items, read from a
// private copy with its log): address, visit count, domain expansion as the name, and the last
// visit when the visits table has it; ticked. A record's key is its row id in history_items.
PrivacyReadReport readSafariHistoryDatabases(const backup::BackupFolder& folder,
                                             PrivacyList& history, const StopCheck& stop = {});

// Appends the cookies of every cookie file: address, name, path and value, ticked. A record's key
// is its place among the cookies of its file, its digest that of its record bytes.
PrivacyReadReport readSafariCookiesBinaryWithFilePath(const backup::BackupFolder& folder,
                                                      PrivacyList& cookies,
                                                      const StopCheck& stop = {});

}  // namespace nimbara::privacy
