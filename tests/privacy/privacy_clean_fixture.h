// What the privacy clean tests share: a backup holding every kind of private record the cleaner
// removes (with logs beside the databases, the device's trigger in the message database, both
// forms of Wi-Fi list), a fingerprint of a folder to show that the original backup never
// changes, the identities of the records a scan found, and checks of an edited backup.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QCryptographicHash>
#include <QString>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "../backup/record_backup_fixture.h"
#include "backup/backup_folder.h"
#include "backup/backup_manifest.h"
#include "backup/sqlite_db.h"
#include "backup_calls.h"
#include "backup_messages.h"
#include "backup_notes.h"
#include "backup_privacy.h"
#include "backup_safari.h"
#include "backup_source.h"
#include "generated_images.h"
#include "privacy/privacy_scan.h"

namespace nimbara::test {

inline const std::string& cleanTestPhoto() {
    static const std::string jpeg = simdev::makePhotoJpeg(48, 32, 11);
    return jpeg;
}

// A device whose backup holds contacts with pictures, conversations with attachments, calls and
// notes with rows still in their logs, Safari's history list and database, cookies, both Wi-Fi
// lists, web cache files and photos with and without a position.
class PrivacyCleanBackup {
  public:
    PrivacyCleanBackup() {
        const simdev::SimDeviceBuilder& b = backup_.builder();
        std::vector<simdev::BackupContact> people = {
            {.first = "Amelia", .last = "Hart", .phones = {"+1 415 555 0188"}},
            {.first = "Bruno",
             .last = "Costa",
             .phones = {"628-555-0131"},
             .emails = {"bruno@mailbox.example"}},
            {.first = "Chiara", .last = "Rossi", .phones = {"+39 02 5550 1187"}},
            {.first = "Dmitri", .last = "Volkov", .phones = {"(510) 555-0164"}},
        };
        people[0].imagePng = simdev::makeAppIconPng("A", "amelia", 16);
        people[1].imagePng = simdev::makeAppIconPng("B", "bruno", 16);
        simdev::addBackupAddressBook(b, people);
        simdev::addBackupMessages(b, simdev::demoMessages());
        simdev::addBackupCallHistory(b, simdev::demoCalls(), simdev::CallHistoryKind::CallStore, 3);
        simdev::addBackupNotes(b, simdev::demoNotes(), simdev::NotesKind::NoteStore, 1);
        simdev::addBackupHistoryDatabase(b, simdev::demoHistoryItems(), 2);
        simdev::addBackupBrowserHistory(b, simdev::demoBrowserHistory(),
                                        "AppDomain-com.apple.mobilesafari");
        simdev::addBackupCookies(b, simdev::demoCookies());
        simdev::addBackupWifiNetworks(b, simdev::demoWifiNetworks());
        const auto networks = simdev::demoWifiNetworks();
        simdev::addBackupKnownNetworks(b, {networks[0], networks[2], networks[4]});
        const std::string safari = "AppDomain-com.apple.mobilesafari";
        simdev::addBackupFile(b, safari, "Library/Safari/Thumbnails/A1.png", std::string(90, 'a'));
        simdev::addBackupFile(b, safari, "Library/Safari/Thumbnails/B2.png", std::string(70, 'b'));
        simdev::addBackupCameraRollPhoto(b, "IMG_0001.JPG", cleanTestPhoto(),
                                         simdev::PhotoPosition{37.7955, -122.3937, 4.0});
        simdev::addBackupCameraRollPhoto(b, "IMG_0002.JPG", cleanTestPhoto(),
                                         simdev::PhotoPosition{-33.8568, 151.2153, {}});
        simdev::addBackupCameraRollPhoto(b, "IMG_0003.JPG", cleanTestPhoto());
    }

    simdev::SimDeviceBuilder& builder() { return backup_.builder(); }
    const TempDir& tmp() const { return backup_.tmp(); }
    // `legacy`: Manifest.mbdb and flat files, else Manifest.db and subfolders.
    std::filesystem::path write(bool legacy) { return backup_.write(legacy); }
    // The backup as a device of iOS `version` leaves it (before 6: the older message layout).
    std::filesystem::path writeAs(const std::string& version, bool legacy) {
        EXPECT_TRUE(backup_.builder().write());
        return writeDeviceBackup(backup_.builder().dir(), backup_.tmp() / ("as-" + version),
                                 version, legacy);
    }

  private:
    RecordBackup backup_;
};

// Everything a folder holds, file by file: contents, size, inode and modification time. Equal
// fingerprints mean no file was written, replaced, added or removed.
inline std::map<std::string, std::string> folderFingerprint(const std::filesystem::path& folder) {
    std::map<std::string, std::string> prints;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        struct stat st {};
        EXPECT_EQ(::lstat(entry.path().c_str(), &st), 0);
        std::string print = std::to_string(st.st_mode) + "/" + std::to_string(st.st_size) + "/" +
                            std::to_string(st.st_ino) + "/" + std::to_string(st.st_mtim.tv_sec) +
                            "." + std::to_string(st.st_mtim.tv_nsec);
        if (S_ISREG(st.st_mode)) {
            const std::string bytes = readText(entry.path());
            print += "/" + QCryptographicHash::hash(QByteArray::fromStdString(bytes),
                                                    QCryptographicHash::Sha1)
                               .toHex()
                               .toStdString();
        }
        prints[entry.path().lexically_relative(folder).string()] = print;
    }
    return prints;
}

// Clears every tick of a scan.
inline void untickAll(privacy::PrivacyScanResult& scan) {
    for (const auto& c : scan.messages.conversations) {
        c->setBSelected(false);
    }
    for (const auto& m : scan.messages.messages) {
        m->setBSelected(false);
    }
    for (const auto& c : scan.contacts.records) {
        c->setBSelected(false);
    }
    for (const auto& c : scan.calls.records) {
        c->setBSelected(false);
    }
    for (const auto& n : scan.notes.records) {
        n->setBSelected(false);
    }
    for (const privacy::PrivacyList* list :
         {&scan.safariBroswerHistoryArray, &scan.safariSearchHistoryArray, &scan.wifiConnectArray,
          &scan.gpsLocationArray, &scan.files.safariWebCacheArray,
          &scan.files.messageAttachmentArray, &scan.files.PhotoPrivacyArray}) {
        for (const auto& node : *list) {
            node->setBSelected(false);
        }
    }
}

// What a scan found, each record by what names it for the user.
struct FoundRecords {
    std::set<int> messages;  // row ids
    std::set<int> contacts;
    std::set<int> calls;
    std::set<int> notes;
    std::set<QString> history;  // addresses, marked by the kind of file
    std::set<QString> cookies;  // address and name
    std::set<QString> wifi;     // network names, marked by the list they came from
    std::set<QString> webCache;
    std::set<QString> attachments;
    std::set<QString> positions;  // photo paths

    auto tie() {
        return std::tie(messages, contacts, calls, notes, history, cookies, wifi, webCache,
                        attachments, positions);
    }
    auto tie() const {
        return std::tie(messages, contacts, calls, notes, history, cookies, wifi, webCache,
                        attachments, positions);
    }
    bool operator==(const FoundRecords& o) const { return tie() == o.tie(); }
};

inline QString wifiName(const PRPrivacyNode& node) {
    const auto source = node.recordSource();
    return node.fileName() + (source && source->listKey.empty() ? " (known)" : " (list)");
}

// Every record of a scan, or (`tickedOnly`) the ticked ones.
inline FoundRecords foundRecords(const privacy::PrivacyScanResult& scan, bool tickedOnly = false) {
    FoundRecords found;
    auto take = [tickedOnly](const auto& node) { return !tickedOnly || node->bSelected(); };
    for (const auto& c : scan.messages.conversations) {
        for (const auto& m : c->MessageNodeArray()) {
            if (!tickedOnly || c->bSelected() || m->bSelected()) {
                found.messages.insert(m->rowId());
            }
        }
    }
    for (const auto& c : scan.contacts.records) {
        if (take(c)) {
            found.contacts.insert(c->rowid());
        }
    }
    for (const auto& c : scan.calls.records) {
        if (take(c)) {
            found.calls.insert(c->rowid());
        }
    }
    for (const auto& n : scan.notes.records) {
        if (take(n)) {
            found.notes.insert(n->uid());
        }
    }
    for (const auto& h : scan.safariBroswerHistoryArray) {
        if (take(h)) {
            const auto source = h->recordSource();
            const bool database = source && source->format == privacy::PrivacyFileFormat::Sqlite;
            found.history.insert((database ? "database " : "list ") + h->fileURL());
        }
    }
    for (const auto& c : scan.safariSearchHistoryArray) {
        if (take(c)) {
            found.cookies.insert(c->fileURL() + " " + c->fileName());
        }
    }
    for (const auto& w : scan.wifiConnectArray) {
        if (take(w)) {
            found.wifi.insert(wifiName(*w));
        }
    }
    for (const auto& f : scan.files.safariWebCacheArray) {
        if (take(f)) {
            found.webCache.insert(f->backupFilePath());
        }
    }
    for (const auto& f : scan.files.messageAttachmentArray) {
        if (take(f)) {
            found.attachments.insert(f->backupFilePath());
        }
    }
    for (const auto& p : scan.gpsLocationArray) {
        if (take(p)) {
            found.positions.insert(p->backupFilePath());
        }
    }
    return found;
}

template <class T>
std::set<T> without(const std::set<T>& all, const std::set<T>& gone) {
    std::set<T> left;
    for (const T& item : all) {
        if (!gone.contains(item)) {
            left.insert(item);
        }
    }
    return left;
}

template <std::size_t... Family>
void subtractFamilies(FoundRecords& left, const FoundRecords& all, const FoundRecords& gone,
                      std::index_sequence<Family...>) {
    ((std::get<Family>(left.tie()) =
          without(std::get<Family>(all.tie()), std::get<Family>(gone.tie()))),
     ...);
}

// The records of `all` that are not in `gone`, family by family.
inline FoundRecords withoutRecords(const FoundRecords& all, const FoundRecords& gone) {
    FoundRecords left;
    subtractFamilies(left, all, gone,
                     std::make_index_sequence<std::tuple_size_v<decltype(left.tie())>>());
    return left;
}

// "PRAGMA integrity_check" of a database file, read without changing it.
inline std::string integrityOf(const std::filesystem::path& file) {
    auto db = SqliteDb::open(file.string(), SqliteDb::Mode::ReadOnly, nullptr, true);
    if (!db) {
        return "cannot open";
    }
    SqliteStatement check = db->prepare("PRAGMA integrity_check");
    std::string rows;
    while (check.valid() && check.step()) {
        rows += check.columnString(0);
    }
    return rows;
}

// Every file row of a backup's list whose stored file is there lists the stored file's size;
// none lists a file the backup does not hold when `allStored`.
inline void expectListedSizesMatch(const std::filesystem::path& folder) {
    std::size_t files = 0;
    const backup::ManifestVisitResult read = backup::BackupManifest::visit(
        backup::BackupFolder::open(folder.string()), [&](backup::BackupEntry&& entry) {
            if (entry.isFile() && entry.stored) {
                ++files;
                EXPECT_EQ(entry.size, entry.storedSize)
                    << entry.domain << "-" << entry.relativePath;
            }
            return true;
        });
    EXPECT_TRUE(read.ok()) << read.error;
    EXPECT_GT(files, 0u);
}

}  // namespace nimbara::test
