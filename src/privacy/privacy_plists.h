// The property lists the privacy cleaner reads: Safari's history list (older devices) and the
// known Wi-Fi networks, in both forms the device has kept them (the list of known networks, and
// the dictionary of known networks of newer systems).
//
// A list is read through the platform's property-list value (which bounds its nesting) and its
// format, binary or XML, is remembered with the records' source so that an edit can write it back
// in the form the device wrote. Each record is named exactly by its place in its array (or its
// key in its dictionary) and the digest of its entry as read.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/plist_value.h"
#include "privacy/privacy_backup.h"
#include "privacy/privacy_reader.h"

namespace nimbara::backup {
class BackupFolder;
}

namespace nimbara::privacy {

// A property list larger than this is not read.
inline constexpr std::uint64_t kMaxPrivacyPlistBytes = 64ull * 1024 * 1024;

// The format of property-list bytes: BinaryPlist for "bplist", XmlPlist otherwise.
PrivacyFileFormat plistFormatOf(std::string_view bytes);

struct StoredPlist {
    PlistValue root;
    PrivacyFileFormat format = PrivacyFileFormat::XmlPlist;
};
// The property list stored at `relative` in the backup folder; nullopt (with `error`) when it
// cannot be read or parsed, or is larger than `maxBytes`.
std::optional<StoredPlist> readStoredPlist(const backup::BackupFolder& folder,
                                           const std::string& relative, std::uint64_t maxBytes,
                                           std::string& error);

// SHA-1 (20 bytes) of an entry, as its XML form: the same for the same value whichever format
// the list was read from.
QByteArray plistEntryDigest(const PlistValue& entry);

// The date text of a property-list date or a number of seconds since 2001 (also as text); null
// for anything else.
QString plistDateText(const PlistValue& value);

// Where the device keeps the lists.
inline constexpr backup::DatabaseSource kSafariHistoryListSources[] = {
    {"AppDomain-com.apple.mobilesafari", "Library/Safari/History.plist"},
    {"HomeDomain", "Library/Safari/History.plist"},
};
inline constexpr backup::DatabaseSource kWifiListSource{"SystemPreferencesDomain",
                                                        "SystemConfiguration/com.apple.wifi.plist"};
inline constexpr backup::DatabaseSource kKnownNetworksSource{
    "SystemPreferencesDomain", "SystemConfiguration/com.apple.wifi.known-networks.plist"};

// Appends the entries of "WebHistoryDates" of every history list the backup holds: title,
// address, last visit and visit count, ticked. Entries that are not dictionaries are skipped.
PrivacyReadReport readSafariHistoryLists(const backup::BackupFolder& folder, PrivacyList& history,
                                         const StopCheck& stop = {});

// Appends the known Wi-Fi networks: name, last automatic join and BSSID, ticked.
PrivacyReadReport readWifiConnectionWithPath(const backup::BackupFolder& folder,
                                             PrivacyList& networks, const StopCheck& stop = {});

}  // namespace nimbara::privacy
