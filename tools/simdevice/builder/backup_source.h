// What a backup of a simulated device holds: backup-source/<domain>/<relative path>. The
// address book is a real SQLite database with the tables and columns the device itself uses,
// so the readers meet the same queries they meet on a real backup.
#pragma once

#include "sim_database.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "backup/sqlite_db.h"
#include "sim_device_builder.h"

namespace nimbara::simdev {

// One person of the address book. Multi-values keep their order; empty texts are stored as
// NULL, as the device does for fields never filled in.
struct BackupContact {
    std::string first{};
    std::string middle{};
    std::string last{};
    std::string organization{};
    std::string department{};
    std::string jobTitle{};
    std::string nickname{};
    std::string note{};
    std::string birthday{};  // as the device stores it: seconds since 2001 as text
    std::vector<std::string> phones{};
    std::vector<std::string> emails{};
    std::vector<std::string> addresses{};  // one line each: street, city, postcode, country
    std::vector<std::string> homepages{};
    std::string imagePng{};  // empty: no picture
};

// The local path of a backed-up file. The domain must be a plain folder name and the relative
// path must stay inside it; otherwise std::invalid_argument.
std::filesystem::path backupSourcePath(const std::filesystem::path& deviceDir,
                                       const std::string& domain, const std::string& relativePath);

// A file of the backup, replacing an earlier one; folders are created as needed.
void addBackupFile(const SimDeviceBuilder& b, const std::string& domain,
                   const std::string& relativePath, const std::string& contents);
// A folder of the backup (empty folders are backed up too).
void addBackupDir(const SimDeviceBuilder& b, const std::string& domain,
                  const std::string& relativePath);

// HomeDomain/Library/AddressBook/AddressBook.sqlitedb and AddressBookImages.sqlitedb with these
// people (row ids from 1, in order). Replaces an earlier address book. Throws
// std::runtime_error when SQLite fails.
void addBackupAddressBook(const SimDeviceBuilder& b, const std::vector<BackupContact>& people);

// Seconds since 2001 of a calendar date at noon UTC, as text (the form of "Birthday").
std::string addressBookDate(int year, unsigned month, unsigned day);

// The demo device's backup: address book, camera-roll photos (copied from the media root,
// so call after the photos are written) and preferences.
void addDemoBackupSource(const SimDeviceBuilder& b);
std::vector<BackupContact> demoContacts();

}  // namespace nimbara::simdev
