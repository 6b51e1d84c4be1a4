#include "privacy/privacy_clean_selection.h"

#include <QStringList>

#include <algorithm>
#include <set>

#include "privacy/privacy_scan.h"

namespace nimbara::privacy {

namespace {

// Sorted, each once, positive only (a row id of 0 or less names no row).
std::vector<std::int64_t> sortedKeys(std::set<std::int64_t> keys) {
    return std::vector<std::int64_t>(keys.begin(), keys.end());
}

// The ticked rows of one record family read from `source`, by the key each node carries.
template <class Node, class Key>
std::optional<KeyedRecords> tickedRows(const std::vector<std::shared_ptr<Node>>& records,
                                       const PrivacySourceRef& source, Key&& keyOf,
                                       std::size_t& withoutKey) {
    std::set<std::int64_t> keys;
    for (const auto& record : records) {
        if (!record || !record->bSelected()) {
            continue;
        }
        const std::int64_t key = keyOf(*record);
        if (key > 0 && source) {
            keys.insert(key);
        } else {
            ++withoutKey;
        }
    }
    if (keys.empty()) {
        return std::nullopt;
    }
    return KeyedRecords{*source, sortedKeys(std::move(keys))};
}

// The edit of `source` in `edits`, added when there is none yet.
template <class Edit>
Edit& editOf(std::vector<Edit>& edits, const PrivacySource& source) {
    for (Edit& edit : edits) {
        if (edit.source.storedName == source.storedName) {
            return edit;
        }
    }
    edits.push_back(Edit{source, {}});
    return edits.back();
}

// Ticked property-list entries and cookies, by their file.
void tickedEntries(const PrivacyList& nodes, std::vector<EntryEdit>& edits,
                   std::size_t& withoutKey) {
    for (const auto& node : nodes) {
        if (!node || !node->bSelected()) {
            continue;
        }
        const PrivacySourceRef source = node->recordSource();
        const bool named = node->recordKey() >= 0 || !node->recordName().isEmpty();
        if (!source || source->storedName.empty() || !named || node->recordDigest().isEmpty()) {
            ++withoutKey;
            continue;
        }
        editOf(edits, *source)
            .entries.push_back(
                {node->recordKey(), node->recordName().toStdString(), node->recordDigest()});
    }
}

// Ticked rows of history databases, by their database.
void tickedHistoryRows(const PrivacyList& nodes, std::vector<KeyedRecords>& edits,
                       std::size_t& withoutKey) {
    for (const auto& node : nodes) {
        if (!node || !node->bSelected()) {
            continue;
        }
        const PrivacySourceRef source = node->recordSource();
        if (!source || source->storedName.empty() || node->recordKey() <= 0) {
            ++withoutKey;
            continue;
        }
        editOf(edits, *source).keys.push_back(node->recordKey());
    }
    for (KeyedRecords& edit : edits) {
        std::sort(edit.keys.begin(), edit.keys.end());
        edit.keys.erase(std::unique(edit.keys.begin(), edit.keys.end()), edit.keys.end());
    }
}

// Ticked whole files (each once), or photos.
void tickedFiles(const PrivacyList& nodes, std::vector<PrivacySource>& files,
                 std::size_t& withoutKey) {
    for (const auto& node : nodes) {
        if (!node || !node->bSelected()) {
            continue;
        }
        const PrivacySourceRef source = node->recordSource();
        if (!source || source->storedName.empty()) {
            ++withoutKey;
            continue;
        }
        const bool listed = std::any_of(files.begin(), files.end(), [&](const PrivacySource& s) {
            return s.storedName == source->storedName;
        });
        if (!listed) {
            files.push_back(*source);
        }
    }
}

// How many records of each kind a clean takes.
struct TickedCounts {
    std::size_t messages = 0;
    std::size_t contacts = 0;
    std::size_t calls = 0;
    std::size_t notes = 0;
    std::size_t safariHistory = 0;  // entries of history databases and lists
    std::size_t cookies = 0;
    std::size_t wifiNetworks = 0;
    std::size_t photoPositions = 0;
    std::size_t attachmentFiles = 0;
    std::size_t cacheFiles = 0;
};

TickedCounts tickedCounts(const PrivacyCleanSelection& selection) {
    const auto rows = [](const std::optional<KeyedRecords>& records) {
        return records ? records->keys.size() : std::size_t{0};
    };
    const auto entries = [](const std::vector<EntryEdit>& edits) {
        std::size_t n = 0;
        for (const EntryEdit& edit : edits) {
            n += edit.entries.size();
        }
        return n;
    };
    TickedCounts counts;
    counts.messages = rows(selection.messages);
    counts.contacts = rows(selection.contacts);
    counts.calls = rows(selection.calls);
    counts.notes = rows(selection.notes);
    counts.safariHistory = entries(selection.historyLists);
    for (const KeyedRecords& database : selection.historyDatabases) {
        counts.safariHistory += database.keys.size();
    }
    counts.cookies = entries(selection.cookieFiles);
    counts.wifiNetworks = entries(selection.wifiLists);
    counts.photoPositions = selection.photoPositions.size();
    counts.attachmentFiles = selection.attachmentFiles.size();
    counts.cacheFiles = selection.webCacheFiles.size();
    return counts;
}

}  // namespace

bool PrivacyCleanSelection::empty() const {
    return size() == 0;
}

std::size_t PrivacyCleanSelection::size() const {
    std::size_t n = 0;
    for (const auto* rows : {&messages, &contacts, &calls, &notes}) {
        n += *rows ? (*rows)->keys.size() : 0;
    }
    for (const KeyedRecords& rows : historyDatabases) {
        n += rows.keys.size();
    }
    for (const auto* edits : {&historyLists, &cookieFiles, &wifiLists}) {
        for (const EntryEdit& edit : *edits) {
            n += edit.entries.size();
        }
    }
    return n + webCacheFiles.size() + attachmentFiles.size() + photoPositions.size();
}

QString countedKindsText(std::initializer_list<CountedKind> kinds) {
    QStringList parts;
    for (const CountedKind& kind : kinds) {
        if (kind.count > 0) {
            parts.push_back(QStringLiteral("%1 %2").arg(
                QString::number(kind.count),
                QString::fromLatin1(kind.count == 1 ? kind.one : kind.many)));
        }
    }
    if (parts.size() < 2) {
        return parts.join(QString());
    }
    const QString last = parts.takeLast();
    return parts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

PrivacyCleanQuestion privacyCleanQuestion(const PrivacyCleanSelection& selection) {
    const TickedCounts c = tickedCounts(selection);
    const QString list = countedKindsText({
        {c.messages, "message", "messages"},
        {c.contacts, "contact", "contacts"},
        {c.calls, "call", "calls"},
        {c.notes, "note", "notes"},
        {c.safariHistory, "Safari history entry", "Safari history entries"},
        {c.cookies, "cookie", "cookies"},
        {c.wifiNetworks, "Wi-Fi network", "Wi-Fi networks"},
        {c.photoPositions, "photo position", "photo positions"},
        {c.attachmentFiles, "attachment file", "attachment files"},
        {c.cacheFiles, "cache file", "cache files"},
    });
    const std::size_t total = selection.size();
    PrivacyCleanQuestion question;
    question.message = QStringLiteral("%1 %2 will be removed from a copy of the backup: %3.")
                           .arg(total)
                           .arg(QLatin1String(total == 1 ? "record" : "records"), list);
    question.informativeText = QStringLiteral(
        "Nimbara restores that copy onto the device, so they go from the device. Your own backup "
        "is kept as it is. Keep the device connected until it has finished.");
    if (selection.withoutKey > 0) {
        question.informativeText +=
            QStringLiteral("\n\n%1 ticked %2 can't be matched to the backup and %3.")
                .arg(selection.withoutKey)
                .arg(QLatin1String(selection.withoutKey == 1 ? "record" : "records"),
                     QLatin1String(selection.withoutKey == 1 ? "stays" : "stay"));
    }
    return question;
}

PrivacyCleanSelection snapshotPrivacySelection(const PrivacyScanResult& scan) {
    PrivacyCleanSelection selection;
    selection.backupFolder = scan.backupFolder;
    std::size_t& withoutKey = selection.withoutKey;

    // A message goes when it is ticked itself or its conversation is.
    std::set<std::int64_t> messageKeys;
    auto takeMessage = [&](const PRMessageNode& message) {
        if (message.rowId() > 0 && scan.messages.source) {
            messageKeys.insert(message.rowId());
        } else {
            ++withoutKey;
        }
    };
    std::set<const PRMessageNode*> taken;
    for (const auto& conversation : scan.messages.conversations) {
        if (!conversation || !conversation->bSelected()) {
            continue;
        }
        for (const auto& message : conversation->MessageNodeArray()) {
            if (message && taken.insert(message.get()).second) {
                takeMessage(*message);
            }
        }
    }
    for (const auto& message : scan.messages.messages) {
        if (message && message->bSelected() && taken.insert(message.get()).second) {
            takeMessage(*message);
        }
    }
    if (!messageKeys.empty()) {
        selection.messages = KeyedRecords{*scan.messages.source, sortedKeys(messageKeys)};
    }

    selection.contacts = tickedRows(
        scan.contacts.records, scan.contacts.source,
        [](const PRContactNode& c) { return std::int64_t{c.rowid()}; }, withoutKey);
    selection.calls = tickedRows(
        scan.calls.records, scan.calls.source,
        [](const PRCallHistoryNode& c) { return std::int64_t{c.rowid()}; }, withoutKey);
    selection.notes = tickedRows(
        scan.notes.records, scan.notes.source,
        [](const PRNoteNode& n) { return std::int64_t{n.uid()}; }, withoutKey);

    // History entries come from lists and from databases; each kind is removed its own way.
    PrivacyList listEntries;
    PrivacyList databaseRows;
    for (const auto& entry : scan.safariBroswerHistoryArray) {
        const PrivacySourceRef source = entry ? entry->recordSource() : nullptr;
        (source && source->format == PrivacyFileFormat::Sqlite ? databaseRows : listEntries)
            .push_back(entry);
    }
    tickedEntries(listEntries, selection.historyLists, withoutKey);
    tickedHistoryRows(databaseRows, selection.historyDatabases, withoutKey);
    tickedEntries(scan.safariSearchHistoryArray, selection.cookieFiles, withoutKey);
    tickedEntries(scan.wifiConnectArray, selection.wifiLists, withoutKey);
    tickedFiles(scan.files.safariWebCacheArray, selection.webCacheFiles, withoutKey);
    tickedFiles(scan.files.messageAttachmentArray, selection.attachmentFiles, withoutKey);
    tickedFiles(scan.gpsLocationArray, selection.photoPositions, withoutKey);
    return selection;
}

}  // namespace nimbara::privacy
