#include "privacy/privacy_manifest_update.h"

#include <plist/plist.h>

#include <QCryptographicHash>

#include <cstdlib>
#include <memory>
#include <span>

#include "backup/backup_folder.h"
#include "backup/backup_manifest.h"
#include "backup/file_description.h"
#include "backup/manifest_mbdb.h"
#include "backup/shah.h"
#include "platform/failure_reason.h"
#include "platform/plist_nesting.h"
#include "privacy/privacy_database_edit.h"
#include "privacy/privacy_working_copy.h"

namespace nimbara::privacy {

namespace {

struct PlistRelease {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistRelease>;

plist_t newData(const QByteArray& bytes) {
    return plist_new_data(bytes.constData(), static_cast<uint64_t>(bytes.size()));
}

// Puts the new digest where the description records one: inline, or as the archived object its
// reference names (plain data, or an archived data object holding it).
void setDigest(plist_t objects, plist_t file, const QByteArray& sha1) {
    plist_t digest = plist_dict_get_item(file, "Digest");
    if (digest == nullptr || sha1.isEmpty()) {
        return;
    }
    switch (plist_get_node_type(digest)) {
        case PLIST_DATA:
            plist_dict_set_item(file, "Digest", newData(sha1));
            break;
        case PLIST_UID: {
            uint64_t ref = 0;
            plist_get_uid_val(digest, &ref);
            if (ref >= plist_array_get_size(objects)) {
                break;
            }
            plist_t target = plist_array_get_item(objects, static_cast<uint32_t>(ref));
            if (plist_get_node_type(target) == PLIST_DATA) {
                plist_array_set_item(objects, newData(sha1), static_cast<uint32_t>(ref));
            } else if (plist_get_node_type(target) == PLIST_DICT &&
                       plist_dict_get_item(target, "NS.data") != nullptr) {
                plist_dict_set_item(target, "NS.data", newData(sha1));
            }
            break;
        }
        default:
            break;
    }
}

// The Manifest.db rows of `changes` updated in one transaction of the staged list.
bool changeManifestDb(SqliteDb& db, const ManifestChanges& changes, std::string& error) {
    SqliteStatement read = db.prepare("SELECT file FROM Files WHERE fileID = ?1");
    SqliteStatement write = db.prepare("UPDATE Files SET file = ?1 WHERE fileID = ?2");
    SqliteStatement remove = db.prepare("DELETE FROM Files WHERE fileID = ?1");
    if (!read.valid() || !write.valid() || !remove.valid()) {
        error = "the file list cannot be changed: " + db.lastError();
        return false;
    }
    for (const auto& [key, change] : changes.all()) {
        if (change.removed) {
            remove.reset();
            if (!remove.bind(1, key) || (remove.step(), !remove.done())) {
                error = "the row of " + key + " cannot be removed: " + db.lastError();
                return false;
            }
            continue;
        }
        read.reset();
        if (!read.bind(1, key)) {
            error = "the row of " + key + " cannot be read: " + db.lastError();
            return false;
        }
        std::vector<QByteArray> blobs;
        while (read.step()) {
            blobs.push_back(read.columnBlob(0));
        }
        if (!read.done()) {
            error = "the row of " + key + " cannot be read: " + db.lastError();
            return false;
        }
        for (const QByteArray& blob : blobs) {
            const std::optional<std::string> described = describedFile(
                std::string_view(blob.constData(), blob.size()), change.size, change.sha1, error);
            if (!described) {
                error = failureText("the row of " + key + " does not describe its file", error,
                                    "reading the description");
                return false;
            }
            write.reset();
            if (!write.bind(1, QByteArray::fromStdString(*described)) || !write.bind(2, key) ||
                (write.step(), !write.done())) {
                error = "the row of " + key + " cannot be written: " + db.lastError();
                return false;
            }
        }
    }
    return true;
}

bool updateManifestMbdb(PrivacyWorkingCopy& copy, const ManifestChanges& changes,
                        std::string& error) {
    const std::optional<std::string> bytes =
        copy.folder().readFile("Manifest.mbdb", backup::kMaxManifestBytes, &error);
    if (!bytes) {
        error = failureText("Manifest.mbdb cannot be read", error, "reading the file");
        return false;
    }
    backup::MbdbReadResult list = backup::parseMbdb(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()));
    if (!list.ok()) {
        error = failureText("Manifest.mbdb is damaged", list.error, "reading the list");
        return false;
    }
    std::vector<backup::MbdbRecord> kept;
    kept.reserve(list.records.size());
    for (backup::MbdbRecord& record : list.records) {
        const std::string key =
            backup::fileKey(record.domain.value_or(std::string()), record.path.value_or(""));
        const auto change = changes.all().find(key);
        if (change != changes.all().end() && !record.isDirectory() && !record.isSymlink()) {
            if (change->second.removed) {
                continue;
            }
            record.size = change->second.size;
            // A record that carries its contents' digest gets the new one.
            if (record.dataHash && record.dataHash->size() == 20 &&
                change->second.sha1.size() == 20) {
                record.dataHash = change->second.sha1.toStdString();
            }
        }
        kept.push_back(std::move(record));
    }
    if (!copy.replaceFile("Manifest.mbdb", backup::writeMbdb(kept), error)) {
        error = "Manifest.mbdb cannot be written: " + error;
        return false;
    }
    return true;
}

}  // namespace

void ManifestChanges::rewritten(const std::string& fileKey, std::uint64_t size,
                                const QByteArray& sha1) {
    ManifestChange& change = changes_[fileKey];
    change.removed = false;
    change.size = size;
    change.sha1 = sha1;
}

void ManifestChanges::removed(const std::string& fileKey) {
    changes_[fileKey] = ManifestChange{true, 0, {}};
}

bool ManifestChanges::isRemoved(const std::string& fileKey) const {
    const auto it = changes_.find(fileKey);
    return it != changes_.end() && it->second.removed;
}

QByteArray sha1Of(std::string_view bytes) {
    return QCryptographicHash::hash(QByteArrayView(bytes.data(), qsizetype(bytes.size())),
                                    QCryptographicHash::Sha1);
}

std::optional<std::string> describedFile(std::string_view blob, std::uint64_t size,
                                         const QByteArray& sha1, std::string& error) {
    if (blob.empty() || blob.size() > backup::kMaxFileDescriptionBytes) {
        error = "no file description";
        return std::nullopt;
    }
    if (const auto problem = plistNestingProblem(blob.data(), blob.size())) {
        error = *problem;
        return std::nullopt;
    }
    plist_t parsed = nullptr;
    plist_from_memory(blob.data(), static_cast<uint32_t>(blob.size()), &parsed);
    const PlistPtr root(parsed);
    if (parsed == nullptr || plist_get_node_type(parsed) != PLIST_DICT) {
        error = "the description is no property list";
        return std::nullopt;
    }
    plist_t objects = plist_dict_get_item(parsed, "$objects");
    if (objects == nullptr || plist_get_node_type(objects) != PLIST_ARRAY ||
        plist_array_get_size(objects) < 2) {
        error = "the description is no archive";
        return std::nullopt;
    }
    plist_t file = plist_array_get_item(objects, 1);
    if (plist_get_node_type(file) != PLIST_DICT) {
        error = "the archive holds no file description";
        return std::nullopt;
    }
    plist_dict_set_item(file, "Size", plist_new_uint(size));
    setDigest(objects, file, sha1);
    char* out = nullptr;
    uint32_t length = 0;
    const bool binary = plist_is_binary(blob.data(), static_cast<uint32_t>(blob.size())) != 0;
    if (binary) {
        plist_to_bin(parsed, &out, &length);
    } else {
        plist_to_xml(parsed, &out, &length);
    }
    if (out == nullptr) {
        error = "the description cannot be written";
        return std::nullopt;
    }
    std::string written(out, length);
    if (binary) {
        plist_to_bin_free(out);
    } else {
        plist_to_xml_free(out);
    }
    return written;
}

bool updateManifest(PrivacyWorkingCopy& copy, const ManifestChanges& changes, std::string& error,
                    const std::function<bool()>& stop) {
    if (changes.empty()) {
        return true;
    }
    switch (backup::detectManifestKind(copy.folder())) {
        case backup::ManifestKind::Db:
            if (!editDatabaseFile(
                    copy, "Manifest.db", {}, "Manifest.db",
                    [&changes](SqliteDb& db, std::string& why) {
                        return changeManifestDb(db, changes, why);
                    },
                    error, stop)) {
                error = "Manifest.db: " + error;
                return false;
            }
            return true;
        case backup::ManifestKind::Mbdb:
            return updateManifestMbdb(copy, changes, error);
        case backup::ManifestKind::None:
            break;
    }
    error = "the backup has no file list";
    return false;
}

}  // namespace nimbara::privacy
