#include "privacy/privacy_cleaner.h"

#include <QtGlobal>

#include <filesystem>

#include "backup/backup_folder.h"
#include "backup/backup_manifest.h"
#include "backup/contact_reader.h"
#include "backup/message_reader.h"
#include "backup/record_database.h"
#include "backup/shah.h"
#include "platform/failure_reason.h"
#include "platform/log_categories.h"
#include "privacy/binary_cookies.h"
#include "privacy/privacy_database_edit.h"
#include "privacy/privacy_file_edits.h"
#include "privacy/privacy_manifest_update.h"
#include "privacy/privacy_plists.h"
#include "privacy/privacy_record_edits.h"
#include "privacy/privacy_working_copy.h"
#include "ui/core/text_utilities.h"

namespace nimbara::privacy {

namespace {

namespace fs = std::filesystem;
using backup::BackupFolder;

// The largest photo the cleaner rewrites.
constexpr std::uint64_t kMaxPhotoBytes = 512ull * 1024 * 1024;
// Where a device keeps the contacts' pictures.
constexpr const char* kContactImagesPath = "Library/AddressBook/AddressBookImages.sqlitedb";
// The domains a message attachment is stored under.
constexpr const char* kAttachmentDomains[] = {"MediaDomain", "HomeDomain"};

class Cleaner {
  public:
    Cleaner(PrivacyWorkingCopy& copy, const PrivacyCleanSelection& selection,
            const PrivacyCleanOptions& options)
        : copy_(copy), selection_(selection), options_(options), folder_(copy.folder()) {}

    PrivacyCleanResult run() {
        const std::pair<PrivacyCleanStep, bool (Cleaner::*)()> steps[] = {
            {PrivacyCleanStep::CheckBackup, &Cleaner::checkBackup},
            {PrivacyCleanStep::DiskSpace, &Cleaner::checkSpace},
            {PrivacyCleanStep::Messages, &Cleaner::messages},
            {PrivacyCleanStep::MessageAttachments, &Cleaner::messageAttachments},
            {PrivacyCleanStep::Calls, &Cleaner::calls},
            {PrivacyCleanStep::Contacts, &Cleaner::contacts},
            {PrivacyCleanStep::SafariHistory, &Cleaner::safariHistory},
            {PrivacyCleanStep::Cookies, &Cleaner::cookies},
            {PrivacyCleanStep::WebCache, &Cleaner::webCache},
            {PrivacyCleanStep::PhotoPositions, &Cleaner::photoPositions},
            {PrivacyCleanStep::WifiNetworks, &Cleaner::wifiNetworks},
            {PrivacyCleanStep::Notes, &Cleaner::notes},
            {PrivacyCleanStep::FileList, &Cleaner::fileList},
        };
        for (const auto& [step, body] : steps) {
            if (options_.stepStarted) {
                options_.stepStarted(step);
            }
            if (stopRequested()) {
                return fail(step, "the clean was stopped");
            }
            if (!(this->*body)()) {
                return fail(step, stopRequested() ? "the clean was stopped" : error_);
            }
        }
        copy_.clearStaging();
        result_.ok = true;
        return result_;
    }

  private:
    PrivacyCleanResult fail(PrivacyCleanStep step, const std::string& why) {
        qCWarning(lcPrivacy, "Privacy clean failed while %s: %s",
                  privacyCleanStepText(step).toUtf8().constData(), why.c_str());
        copy_.discard();
        PrivacyCleanResult failed;
        failed.failedStep = step;
        failed.stopped = stopRequested();
        failed.error = why;
        failed.message = QStringLiteral(
                             "The backup could not be cleaned: %1 failed (%2). Nothing was "
                             "changed and nothing will be restored to the device.")
                             .arg(privacyCleanStepText(step), QString::fromStdString(why));
        return failed;
    }

    bool stopRequested() const { return options_.stop && options_.stop(); }

    // The working copy must be one of the backup the selection was read from.
    bool checkBackup() {
        if (!copy_.isOpen() || !folder_.isOpen()) {
            error_ = "the working copy cannot be read";
            return false;
        }
        std::error_code ec;
        const fs::path scanned = fs::canonical(selection_.backupFolder, ec);
        if (ec || scanned != copy_.originalPath()) {
            error_ = "the working copy was made of another backup than the one that was read";
            return false;
        }
        return true;
    }

    std::uint64_t sizeOf(const std::string& relative) const {
        if (relative.empty()) {
            return 0;
        }
        const auto info = folder_.fileInfo(relative);
        return info ? info->size : 0;
    }
    // A database is copied with its log, kept aside once more while it is compacted, and the
    // compaction may take as much again.
    std::uint64_t databaseRoom(const PrivacySource& source) const {
        return 4 * (sizeOf(source.storedName) + sizeOf(source.walStoredName));
    }

    // The pictures database that goes with the address book, when the backup holds one.
    std::optional<PrivacySource> contactImages() const {
        const backup::StoredDatabase stored = backup::locateStoredDatabase(
            folder_, backup::kContactImagesKey, "HomeDomain", kContactImagesPath);
        if (!stored.exists()) {
            return std::nullopt;
        }
        PrivacySource source;
        source.domain = "HomeDomain";
        source.relativePath = kContactImagesPath;
        source.fileKey = backup::kContactImagesKey;
        source.storedName = stored.relative;
        source.walStoredName = stored.walRelative;
        source.format = PrivacyFileFormat::Sqlite;
        return source;
    }

    bool checkSpace() {
        std::uint64_t needed = kWorkingSpaceReserve;
        for (const auto* rows :
             {&selection_.messages, &selection_.contacts, &selection_.calls, &selection_.notes}) {
            needed += *rows ? databaseRoom((*rows)->source) : 0;
        }
        if (selection_.contacts) {
            if (const auto images = contactImages()) {
                needed += databaseRoom(*images);
            }
        }
        for (const KeyedRecords& rows : selection_.historyDatabases) {
            needed += databaseRoom(rows.source);
        }
        for (const auto* edits :
             {&selection_.historyLists, &selection_.cookieFiles, &selection_.wifiLists}) {
            for (const EntryEdit& edit : *edits) {
                needed += sizeOf(edit.source.storedName);
            }
        }
        for (const PrivacySource& photo : selection_.photoPositions) {
            needed += sizeOf(photo.storedName);
        }
        needed += 4 * sizeOf("Manifest.db") + sizeOf("Manifest.mbdb");
        const std::optional<std::uint64_t> free = copy_.freeBytes();
        if (!free || *free < needed) {
            error_ = "not enough free disk space: " + shell::size_to_unit(needed).toStdString() +
                     " needed, " +
                     (free ? shell::size_to_unit(*free).toStdString() : std::string("unknown")) +
                     " free";
            return false;
        }
        return true;
    }

    bool editDatabase(const PrivacySource& source, const DatabaseChange& change) {
        if (!editStoredDatabase(copy_, source, change, changes_, error_, options_.stop)) {
            return false;
        }
        result_.changedFiles.push_back(source.storedName);
        return true;
    }

    // Replaces a stored file of the copy with `bytes` and notes its new size and digest.
    bool rewrite(const PrivacySource& source, const std::string& bytes) {
        if (!copy_.replaceFile(source.storedName, bytes, error_)) {
            error_ = failureText(source.relativePath, error_, "replacing the stored file");
            return false;
        }
        changes_.rewritten(source.fileKey, bytes.size(), sha1Of(bytes));
        result_.changedFiles.push_back(source.storedName);
        return true;
    }

    std::optional<std::string> read(const PrivacySource& source, std::uint64_t maxBytes) {
        std::string why;
        std::optional<std::string> bytes = folder_.readFile(source.storedName, maxBytes, &why);
        if (!bytes) {
            error_ = failureText(source.relativePath + " cannot be read", why,
                                 "reading the stored file");
        }
        return bytes;
    }

    bool messages() {
        if (!selection_.messages) {
            return true;
        }
        const KeyedRecords& rows = *selection_.messages;
        if (!editDatabase(rows.source, [&](SqliteDb& db, std::string& why) {
                return removeMessageRows(db, rows.keys, messageRemoval_, why);
            })) {
            return false;
        }
        result_.removed.messages = messageRemoval_.messages;
        return true;
    }

    // The stored files of the attachment rows removed with the messages go from the backup and
    // its list; the ticked attachment files are emptied.
    bool messageAttachments() {
        for (const std::string& filename : messageRemoval_.attachmentFiles) {
            const std::string path =
                backup::messageAttachPath(QString::fromStdString(filename)).toStdString();
            if (path.empty() || !backup::isAcceptableEntryPath({}, path)) {
                continue;
            }
            for (const char* domain : kAttachmentDomains) {
                const std::string key = backup::fileKey(domain, path);
                const std::string stored = backup::locateStoredFile(folder_, key);
                if (stored.empty()) {
                    continue;
                }
                if (!copy_.removeFile(stored, error_)) {
                    return false;
                }
                changes_.removed(key);
                result_.changedFiles.push_back(stored);
                ++result_.removed.attachmentFiles;
            }
        }
        return emptyFiles(selection_.attachmentFiles);
    }

    bool emptyFiles(const std::vector<PrivacySource>& files) {
        for (const PrivacySource& file : files) {
            if (changes_.isRemoved(file.fileKey)) {
                continue;  // it went with its message
            }
            if (!folder_.isFile(file.storedName)) {
                error_ = file.relativePath + " is missing from the backup";
                return false;
            }
            if (!rewrite(file, {})) {
                return false;
            }
            ++result_.removed.emptiedFiles;
        }
        return true;
    }

    bool calls() {
        if (!selection_.calls) {
            return true;
        }
        const KeyedRecords& rows = *selection_.calls;
        return editDatabase(rows.source, [&](SqliteDb& db, std::string& why) {
            return removeCallRows(db, rows.source.table, rows.source.keyColumn, rows.keys,
                                  result_.removed.calls, why);
        });
    }

    bool contacts() {
        if (!selection_.contacts) {
            return true;
        }
        const KeyedRecords& rows = *selection_.contacts;
        if (!editDatabase(rows.source, [&](SqliteDb& db, std::string& why) {
                return removeContactRows(db, rows.keys, result_.removed.contacts, why);
            })) {
            return false;
        }
        const std::optional<PrivacySource> images = contactImages();
        return !images || editDatabase(*images, [&](SqliteDb& db, std::string& why) {
            return removeContactImages(db, rows.keys, why);
        });
    }

    // The entries of each list or cookie file, rewritten by `without`.
    template <class Without>
    bool rewriteEntries(const std::vector<EntryEdit>& edits, std::uint64_t maxBytes,
                        std::size_t& removed, Without&& without) {
        for (const EntryEdit& edit : edits) {
            const std::optional<std::string> bytes = read(edit.source, maxBytes);
            if (!bytes) {
                return false;
            }
            std::size_t count = 0;
            const std::optional<std::string> kept = without(*bytes, edit, count, error_);
            if (!kept) {
                error_ =
                    failureText(edit.source.relativePath, error_, "removing the chosen entries");
                return false;
            }
            if (!rewrite(edit.source, *kept)) {
                return false;
            }
            removed += count;
        }
        return true;
    }

    static std::optional<std::string> plistWithout(const std::string& bytes, const EntryEdit& edit,
                                                   std::size_t& count, std::string& why) {
        return withoutPlistEntries(bytes, edit.source.listKey, edit.entries, count, why);
    }

    bool safariHistory() {
        if (!rewriteEntries(selection_.historyLists, kMaxPrivacyPlistBytes,
                            result_.removed.historyEntries, &Cleaner::plistWithout)) {
            return false;
        }
        for (const KeyedRecords& rows : selection_.historyDatabases) {
            if (!editDatabase(rows.source, [&](SqliteDb& db, std::string& why) {
                    return removeHistoryRows(db, rows.keys, result_.removed.historyEntries, why);
                })) {
                return false;
            }
        }
        return true;
    }

    bool cookies() {
        return rewriteEntries(
            selection_.cookieFiles, kMaxCookieFileBytes, result_.removed.cookies,
            [](const std::string& bytes, const EntryEdit& edit, std::size_t& count,
               std::string& why) { return withoutCookies(bytes, edit.entries, count, why); });
    }

    bool webCache() { return emptyFiles(selection_.webCacheFiles); }

    bool photoPositions() {
        for (const PrivacySource& photo : selection_.photoPositions) {
            const std::optional<std::string> bytes = read(photo, kMaxPhotoBytes);
            if (!bytes) {
                return false;
            }
            const std::optional<std::string> cleaned = withoutGpsPosition(*bytes, error_);
            if (!cleaned) {
                error_ = failureText(photo.relativePath, error_, "removing the position");
                return false;
            }
            if (*cleaned == *bytes) {
                continue;  // it holds no position: nothing was removed
            }
            if (!rewrite(photo, *cleaned)) {
                return false;
            }
            ++result_.removed.photoPositions;
        }
        return true;
    }

    bool wifiNetworks() {
        return rewriteEntries(selection_.wifiLists, kMaxPrivacyPlistBytes,
                              result_.removed.wifiNetworks, &Cleaner::plistWithout);
    }

    bool notes() {
        if (!selection_.notes) {
            return true;
        }
        const KeyedRecords& rows = *selection_.notes;
        return editDatabase(rows.source, [&](SqliteDb& db, std::string& why) {
            return removeNoteRows(db, rows.source.table, rows.source.keyColumn, rows.keys,
                                  result_.removed.notes, why);
        });
    }

    bool fileList() { return updateManifest(copy_, changes_, error_, options_.stop); }

    PrivacyWorkingCopy& copy_;
    const PrivacyCleanSelection& selection_;
    const PrivacyCleanOptions& options_;
    BackupFolder folder_;
    ManifestChanges changes_;
    MessageRemoval messageRemoval_;
    PrivacyCleanResult result_;
    std::string error_;
};

}  // namespace

QString privacyCleanStepText(PrivacyCleanStep step) {
    switch (step) {
        case PrivacyCleanStep::CheckBackup:
            return QStringLiteral("checking the backup");
        case PrivacyCleanStep::DiskSpace:
            return QStringLiteral("checking the free disk space");
        case PrivacyCleanStep::Messages:
            return QStringLiteral("removing the messages");
        case PrivacyCleanStep::MessageAttachments:
            return QStringLiteral("removing the message attachments");
        case PrivacyCleanStep::Calls:
            return QStringLiteral("removing the calls");
        case PrivacyCleanStep::Contacts:
            return QStringLiteral("removing the contacts");
        case PrivacyCleanStep::SafariHistory:
            return QStringLiteral("removing the Safari history");
        case PrivacyCleanStep::Cookies:
            return QStringLiteral("removing the cookies");
        case PrivacyCleanStep::WebCache:
            return QStringLiteral("emptying the web cache");
        case PrivacyCleanStep::PhotoPositions:
            return QStringLiteral("removing the photo positions");
        case PrivacyCleanStep::WifiNetworks:
            return QStringLiteral("removing the Wi-Fi networks");
        case PrivacyCleanStep::Notes:
            return QStringLiteral("removing the notes");
        case PrivacyCleanStep::FileList:
            return QStringLiteral("updating the backup's file list");
    }
    return QString();
}

PrivacyCleanResult cleanPrivacyWorkingCopy(PrivacyWorkingCopy& copy,
                                           const PrivacyCleanSelection& selection,
                                           const PrivacyCleanOptions& options) {
    return Cleaner(copy, selection, options).run();
}

}  // namespace nimbara::privacy
