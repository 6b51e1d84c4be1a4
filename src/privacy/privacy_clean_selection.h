// What a privacy clean removes, taken from the scan's lists on the GUI thread the moment the user
// confirms: plain values only (the stored files, tables and keys of the ticked records), so that
// the clean thread never reads a node or a view the page may still change, and a record that was
// never shown is removed exactly when its row is ticked.
//
// Every record is named by its own key: a row by its primary key, a property-list entry by its
// place and the digest of its contents, a cookie by its place in its file and the digest of its
// record. A category whose every row is ticked is still removed row by row, so a row unticked
// under "check all" always stays. A ticked record that names no key (made by hand, or from a
// database whose source is unknown) is counted and never removed.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "privacy/privacy_source.h"

namespace nimbara::privacy {

struct PrivacyScanResult;

// Rows of one database table, by the table's primary key (ascending, each once).
struct KeyedRecords {
    PrivacySource source;
    std::vector<std::int64_t> keys;
};

// One entry of a property list or cookie file.
struct ListEntryKey {
    std::int64_t index = -1;  // its place in the array, or among the cookies of its file
    std::string name;         // its key in a dictionary of entries; empty otherwise
    QByteArray digest;        // SHA-1 of the entry (or cookie record) as it was read
};

// Entries of one property list or cookie file.
struct EntryEdit {
    PrivacySource source;
    std::vector<ListEntryKey> entries;
};

struct PrivacyCleanSelection {
    std::string backupFolder;              // the backup the scan read
    std::optional<KeyedRecords> messages;  // message rows, with their attachments
    std::optional<KeyedRecords> contacts;  // person rows, with their values and pictures
    std::optional<KeyedRecords> calls;
    std::optional<KeyedRecords> notes;
    std::vector<KeyedRecords> historyDatabases;  // visited pages of each history database
    std::vector<EntryEdit> historyLists;         // entries of each history list
    std::vector<EntryEdit> cookieFiles;
    std::vector<EntryEdit> wifiLists;            // the list and the dictionary of known networks
    std::vector<PrivacySource> webCacheFiles;    // emptied
    std::vector<PrivacySource> attachmentFiles;  // stored message attachments, emptied
    std::vector<PrivacySource> photoPositions;   // photos whose position goes
    // Ticked records that name no row, entry or file: they are not removed.
    std::size_t withoutKey = 0;

    // Nothing to remove.
    bool empty() const;
    // Records and files to remove.
    std::size_t size() const;
};

// The question before a clean: how many records of which kinds go, that they go from a copy of
// the backup restored onto the device while the user's backup stays, and how many ticked records
// can't be matched to the backup and stay.
// Counts of kinds of records in words: "4 messages, 1 call and 5 notes" (kinds counted 0 are
// left out; empty when all are).
struct CountedKind {
    std::size_t count;
    const char* one;
    const char* many;
};
QString countedKindsText(std::initializer_list<CountedKind> kinds);

struct PrivacyCleanQuestion {
    QString message;          // "12 records will be removed from a copy of the backup: ..."
    QString informativeText;  // how the clean works, and what stays
};
PrivacyCleanQuestion privacyCleanQuestion(const PrivacyCleanSelection& selection);

// The ticked records of a scan. Messages go with their conversation: a ticked conversation takes
// all its messages, and a ticked message goes on its own.
PrivacyCleanSelection snapshotPrivacySelection(const PrivacyScanResult& scan);

}  // namespace nimbara::privacy
