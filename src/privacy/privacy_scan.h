// The privacy cleaner's reading of a fresh device backup, in one call for its worker thread:
// first whether the backup can be read at all (an encrypted or unreadable backup is refused
// before anything else is read), then its file list, then every private-data reader in a fixed
// order (contacts, messages, Safari history, cookies, Wi-Fi networks, photo positions, notes,
// calls). The lists come back in a result the caller owns; nothing is posted and no view is
// touched, so the worker hands the result to the GUI thread in one step.
//
// A reader whose file the backup does not hold finds nothing (no damage); one whose file is
// there and cannot be read reports it and the next reader runs. The stop check is passed to every
// reader (checked between records and while a query runs); a stopped scan returns what it had
// with `stopped` set. The backup is only read.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "privacy/privacy_backup.h"
#include "privacy/privacy_reader.h"
#include "privacy/privacy_records.h"

namespace nimbara::privacy {

enum class PrivacyScanStep {
    CheckBackup,
    FileList,
    Contacts,
    Messages,
    SafariHistory,
    Cookies,
    WifiNetworks,
    PhotoPositions,
    Notes,
    Calls,
};

struct PrivacyScanOptions {
    StopCheck stop;  // may be empty
    // Told as each step starts, on the scanning thread; may be empty.
    std::function<void(PrivacyScanStep)> stepStarted;
};

struct PrivacyScanResult {
    std::string backupFolder;
    BackupCheck backup;  // encryption and the device the backup belongs to
    PrivacyFileList files;
    ContactFamily contacts;
    MessageFamily messages;
    PrivacyList safariBroswerHistoryArray;  // history entries, from the lists and the databases
    PrivacyList safariSearchHistoryArray;   // cookies
    PrivacyList wifiConnectArray;
    PrivacyList gpsLocationArray;  // photos with a position (the same nodes as in the photo list)
    RecordFamily<PRNoteNode> notes;
    RecordFamily<PRCallHistoryNode> calls;
    // One report per step that ran, in order (the file list's included).
    std::vector<PrivacyReadReport> reports;
    bool stopped = false;
    // Private items found (file items, messages, history entries, networks, notes, calls) and
    // the bytes of the file items among them.
    std::uint64_t allScanFileNumber = 0;
    std::uint64_t allScanFileSize = 0;

    // The backup was not read: it is encrypted, or whether it is could not be told.
    bool refused() const { return !backup.readable(); }
    // The reports of readers that found their file and could not read all of it.
    std::vector<PrivacyReadReport> problems() const;
};

// Checks, lists and reads the backup folder of one device.
PrivacyScanResult readPrivacyBackup(const std::string& backupFolder,
                                    const PrivacyScanOptions& options = {});

// The readers alone, over a result whose backup was checked and whose file list was read.
void ReadSqliteDataFromBackup(PrivacyScanResult& result, const PrivacyScanOptions& options = {});

}  // namespace nimbara::privacy
