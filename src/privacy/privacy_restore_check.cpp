#include "privacy/privacy_restore_check.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "privacy/privacy_scan.h"

namespace nimbara::privacy {

namespace {

// The report a scan kept for `family`; null when the scan did not get there.
const PrivacyReadReport* reportOf(const PrivacyScanResult& scan, std::string_view family) {
    for (const PrivacyReadReport& report : scan.reports) {
        if (report.family == family) {
            return &report;
        }
    }
    return nullptr;
}

bool readToItsEnd(const PrivacyReadReport* report) {
    return report != nullptr && report->ok && !report->stopped;
}

// Whether two sources are the same file of the device. Either name matching counts: a wrong
// match can only keep a record counted as there.
bool sameFile(const PrivacySource& a, const PrivacySource& b) {
    return (!a.fileKey.empty() && a.fileKey == b.fileKey) ||
           (!a.relativePath.empty() && a.domain == b.domain && a.relativePath == b.relativePath);
}

bool sameFile(const PrivacySourceRef& a, const PrivacySource& b) {
    return a && sameFile(*a, b);
}

// Whether `a` is certainly the file `b`: by domain and path, and by key where both have one. A
// database is read back only from that file, since missing rows there confirm their removal.
bool surelySameFile(const PrivacySource& a, const PrivacySource& b) {
    return !a.relativePath.empty() && a.domain == b.domain && a.relativePath == b.relativePath &&
           (a.fileKey.empty() || b.fileKey.empty() || a.fileKey == b.fileKey);
}

class Checker {
  public:
    Checker(const PrivacyScanResult& readBack, RestoreCheck& check)
        : readBack_(readBack), check_(check) {
        const PrivacyReadReport* list = reportOf(readBack, "file list");
        listRead_ = !readBack.refused() && readBack.files.found() && readToItsEnd(list);
    }

    // Rows of a family read from one database, by primary key.
    template <class Node, class KeyOf>
    void rows(const std::optional<KeyedRecords>& removed, const char* family, const char* kind,
              const PrivacySourceRef& readSource, const std::vector<std::shared_ptr<Node>>& records,
              KeyOf keyOf, std::size_t& still) {
        if (!removed || removed->keys.empty() || !readable(family, kind)) {
            return;
        }
        if (!readSource || !surelySameFile(*readSource, removed->source)) {
            // The database the rows were removed from was not read back, or another one was.
            unread(kind);
            return;
        }
        const std::set<std::int64_t> keys(removed->keys.begin(), removed->keys.end());
        std::set<std::int64_t> seen;
        for (const auto& record : records) {
            if (record && keys.contains(keyOf(*record))) {
                seen.insert(keyOf(*record));
            }
        }
        still += seen.size();
    }

    // Rows of the history databases, among the read-back's history entries.
    void historyRows(const std::vector<KeyedRecords>& removed, const PrivacyList& entries,
                     std::size_t& still) {
        for (const KeyedRecords& database : removed) {
            if (database.keys.empty() || !readable("Safari history database", "Safari history")) {
                continue;
            }
            const std::set<std::int64_t> keys(database.keys.begin(), database.keys.end());
            std::set<std::int64_t> seen;
            for (const auto& entry : entries) {
                const PrivacySourceRef source = entry ? entry->recordSource() : nullptr;
                if (source && source->format == PrivacyFileFormat::Sqlite &&
                    sameFile(*source, database.source) && keys.contains(entry->recordKey())) {
                    seen.insert(entry->recordKey());
                }
            }
            still += seen.size();
        }
    }

    // Entries of property lists and cookie files, by digest or dictionary name.
    void entries(const std::vector<EntryEdit>& removed, const char* family, const char* kind,
                 const PrivacyList& nodes, std::size_t& still) {
        for (const EntryEdit& edit : removed) {
            if (edit.entries.empty() || !readable(family, kind)) {
                continue;
            }
            for (const ListEntryKey& entry : edit.entries) {
                const bool there = std::any_of(nodes.begin(), nodes.end(), [&](const auto& node) {
                    if (!node || !sameFile(node->recordSource(), edit.source)) {
                        return false;
                    }
                    const bool sameName = !entry.name.empty() &&
                                          node->recordName() == QString::fromStdString(entry.name);
                    return sameName ||
                           (!entry.digest.isEmpty() && node->recordDigest() == entry.digest);
                });
                still += there ? 1 : 0;
            }
        }
    }

    // Whole files: still there while the read-back lists them among `nodes` (file items are
    // listed only when not empty; photos only with a position).
    void files(const std::vector<PrivacySource>& removed, const char* family, const char* kind,
               const PrivacyList& nodes, std::size_t& still) {
        if (removed.empty() || !readable(family, kind)) {
            return;
        }
        for (const PrivacySource& file : removed) {
            still += std::any_of(nodes.begin(), nodes.end(),
                                 [&](const auto& node) {
                                     return node && sameFile(node->recordSource(), file);
                                 })
                         ? 1
                         : 0;
        }
    }

  private:
    // Whether the family's reader read the read-back to its end; otherwise the kind is unread.
    bool readable(const char* family, const char* kind) {
        if (listRead_ && readToItsEnd(reportOf(readBack_, family))) {
            return true;
        }
        unread(kind);
        return false;
    }

    void unread(const char* kind) {
        const QString text = QString::fromLatin1(kind);
        if (!check_.unread.contains(text)) {
            check_.unread.push_back(text);
        }
    }

    const PrivacyScanResult& readBack_;
    RestoreCheck& check_;
    bool listRead_ = false;
};

std::size_t total(const PrivacyCleanCounts& c) {
    return c.messages + c.attachmentFiles + c.calls + c.contacts + c.historyEntries + c.cookies +
           c.emptiedFiles + c.photoPositions + c.wifiNetworks + c.notes;
}

}  // namespace

bool RestoreCheck::confirmed() const {
    return unread.isEmpty() && total(stillThere) == 0;
}

RestoreCheck checkRemovedRecords(const PrivacyCleanSelection& removed,
                                 const PrivacyScanResult& readBack) {
    RestoreCheck check;
    PrivacyCleanCounts& still = check.stillThere;
    Checker checker(readBack, check);
    checker.rows(
        removed.messages, "messages", "messages", readBack.messages.source,
        readBack.messages.messages, [](const PRMessageNode& m) { return std::int64_t{m.rowId()}; },
        still.messages);
    checker.rows(
        removed.contacts, "contacts", "contacts", readBack.contacts.source,
        readBack.contacts.records, [](const PRContactNode& c) { return std::int64_t{c.rowid()}; },
        still.contacts);
    checker.rows(
        removed.calls, "calls", "calls", readBack.calls.source, readBack.calls.records,
        [](const PRCallHistoryNode& c) { return std::int64_t{c.rowid()}; }, still.calls);
    checker.rows(
        removed.notes, "notes", "notes", readBack.notes.source, readBack.notes.records,
        [](const PRNoteNode& n) { return std::int64_t{n.uid()}; }, still.notes);
    checker.historyRows(removed.historyDatabases, readBack.safariBroswerHistoryArray,
                        still.historyEntries);
    checker.entries(removed.historyLists, "Safari history list", "Safari history",
                    readBack.safariBroswerHistoryArray, still.historyEntries);
    checker.entries(removed.cookieFiles, "Safari cookies", "cookies",
                    readBack.safariSearchHistoryArray, still.cookies);
    checker.entries(removed.wifiLists, "Wi-Fi networks", "Wi-Fi networks",
                    readBack.wifiConnectArray, still.wifiNetworks);
    checker.files(removed.webCacheFiles, "file list", "web caches",
                  readBack.files.safariWebCacheArray, still.emptiedFiles);
    checker.files(removed.attachmentFiles, "file list", "message attachments",
                  readBack.files.messageAttachmentArray, still.emptiedFiles);
    checker.files(removed.photoPositions, "photo positions", "photo positions",
                  readBack.gpsLocationArray, still.photoPositions);
    return check;
}

QString privacyCountsText(const PrivacyCleanCounts& counts) {
    return countedKindsText({
        {counts.messages, "message", "messages"},
        {counts.attachmentFiles, "attachment file", "attachment files"},
        {counts.contacts, "contact", "contacts"},
        {counts.calls, "call", "calls"},
        {counts.notes, "note", "notes"},
        {counts.historyEntries, "Safari history entry", "Safari history entries"},
        {counts.cookies, "cookie", "cookies"},
        {counts.wifiNetworks, "Wi-Fi network", "Wi-Fi networks"},
        {counts.emptiedFiles, "cache or attachment file", "cache or attachment files"},
        {counts.photoPositions, "photo position", "photo positions"},
    });
}

}  // namespace nimbara::privacy
