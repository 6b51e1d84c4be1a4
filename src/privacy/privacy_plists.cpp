#include "privacy/privacy_plists.h"

#include <QCryptographicHash>

#include "backup/backup_folder.h"
#include "backup/record_dates.h"

namespace nimbara::privacy {

namespace {

using backup::BackupFolder;
using backup::DatabaseSource;
using backup::StoredDatabase;

constexpr const char* kHistoryListKey = "WebHistoryDates";
constexpr const char* kWifiListKey = "List of known networks";
constexpr std::string_view kKnownNetworkPrefix = "wifi.network.ssid.";

QString text(const PlistValue* value) {
    return value != nullptr && value->isString() ? QString::fromStdString(value->toString())
                                                 : QString();
}

// The list at `where`, when the backup holds it: its root, and the source of its records.
struct OpenedList {
    StoredPlist list;
    PrivacySourceRef source;
};
std::optional<OpenedList> openList(const BackupFolder& folder, const DatabaseSource& where,
                                   const char* listKey, PrivacyReadReport& report) {
    const StoredDatabase stored{backup::locateStoredFile(folder, where.key()), {}};
    if (!stored.exists()) {
        return std::nullopt;
    }
    report.found = true;
    std::string why;
    std::optional<StoredPlist> list =
        readStoredPlist(folder, stored.relative, kMaxPrivacyPlistBytes, why);
    if (!list) {
        report.fail(std::string(where.relativePath) + " cannot be read: " + why);
        return std::nullopt;
    }
    if (!list->root.isDict()) {
        report.fail(std::string(where.relativePath) + " is not a dictionary");
        return std::nullopt;
    }
    OpenedList opened{std::move(*list), nullptr};
    opened.source = makeSource(where, stored, opened.list.format, {}, {}, listKey);
    return opened;
}

bool stopNow(const StopCheck& stop, PrivacyReadReport& report) {
    if (stop && stop()) {
        report.stopped = true;
    }
    return report.stopped;
}

// The entries of the array `listKey` of `opened`, each a dictionary, with its index.
template <class Make>
void forEachListEntry(const OpenedList& opened, const char* listKey, PrivacyList& out,
                      PrivacyReadReport& report, const StopCheck& stop, Make&& make) {
    const PlistValue::Array& entries = opened.list.root[listKey].toArray();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (stopNow(stop, report)) {
            return;
        }
        if (!entries[i].isDict()) {
            continue;
        }
        auto node = std::make_shared<PRPrivacyNode>();
        make(entries[i], *node);
        node->setBSelected(true);
        node->setRecordSource(opened.source);
        node->setRecordKey(static_cast<std::int64_t>(i));
        node->setRecordDigest(plistEntryDigest(entries[i]));
        out.push_back(std::move(node));
    }
}

void historyEntry(const PlistValue& entry, PRPrivacyNode& node) {
    node.setFileName(text(entry.find("title")));
    node.setFileDate(plistDateText(entry["lastVisitedDate"]));
    const PlistValue& count = entry["visitCount"];
    if (count.isNumber()) {
        node.setVisitCount(static_cast<int>(count.toInt64()));
    }
    node.setFileURL(text(entry.find("")));
}

void wifiListEntry(const PlistValue& entry, PRPrivacyNode& node) {
    node.setFileName(text(entry.find("SSID_STR")));
    QString joined = plistDateText(entry["lastAutoJoined"]);
    node.setFileDate(joined.isNull() ? plistDateText(entry["lastJoined"]) : joined);
    node.setOtherInfo(text(entry.find("BSSID")));
}

// A network of the dictionary of known networks, filed under "wifi.network.ssid.<name>".
void knownNetwork(const std::string& key, const PlistValue& entry, PRPrivacyNode& node) {
    const PlistValue::Bytes& ssid = entry["SSID"].toData();
    QString name = ssid.empty() ? text(entry.find("SSID"))
                                : QString::fromUtf8(reinterpret_cast<const char*>(ssid.data()),
                                                    static_cast<qsizetype>(ssid.size()));
    if (name.isEmpty() && key.starts_with(kKnownNetworkPrefix)) {
        name = QString::fromStdString(key.substr(kKnownNetworkPrefix.size()));
    }
    node.setFileName(name);
    for (const char* date : {"JoinedBySystemAt", "JoinedByUserAt", "AddedAt"}) {
        if (const QString when = plistDateText(entry[date]); !when.isNull()) {
            node.setFileDate(when);
            break;
        }
    }
    QString bssid;
    for (const PlistValue& station : entry["BSSList"].toArray()) {
        bssid = text(station.find("LEAKY_AP_BSSID"));
        if (!bssid.isEmpty()) {
            break;
        }
    }
    node.setOtherInfo(bssid.isEmpty() ? text(entry["__OSSpecific__"].find("BSSID")) : bssid);
}

}  // namespace

PrivacyFileFormat plistFormatOf(std::string_view bytes) {
    return bytes.starts_with("bplist") ? PrivacyFileFormat::BinaryPlist
                                       : PrivacyFileFormat::XmlPlist;
}

std::optional<StoredPlist> readStoredPlist(const BackupFolder& folder, const std::string& relative,
                                           std::uint64_t maxBytes, std::string& error) {
    const std::optional<std::string> bytes = folder.readFile(relative, maxBytes, &error);
    if (!bytes) {
        if (error.empty()) {
            error = "larger than " + std::to_string(maxBytes) + " bytes";
        }
        return std::nullopt;
    }
    std::optional<PlistValue> root = PlistValue::parse(*bytes, &error);
    if (!root) {
        return std::nullopt;
    }
    return StoredPlist{std::move(*root), plistFormatOf(*bytes)};
}

QByteArray plistEntryDigest(const PlistValue& entry) {
    const std::string xml = entry.toXml();
    return QCryptographicHash::hash(QByteArrayView(xml.data(), qsizetype(xml.size())),
                                    QCryptographicHash::Sha1);
}

QString plistDateText(const PlistValue& value) {
    std::optional<double> seconds;
    if (value.isDate()) {
        seconds = value.toDateSeconds();
    } else if (value.isNumber()) {
        seconds = value.toDouble();
    } else if (value.isString()) {
        bool ok = false;
        const double parsed = QString::fromStdString(value.toString()).trimmed().toDouble(&ok);
        if (ok) {
            seconds = parsed;
        }
    }
    if (!seconds) {
        return QString();
    }
    return backup::recordDateText(backup::referenceDateSeconds(*seconds));
}

PrivacyReadReport readSafariHistoryLists(const BackupFolder& folder, PrivacyList& history,
                                         const StopCheck& stop) {
    return readEachSource(
        "Safari history list", kSafariHistoryListSources,
        [&](const DatabaseSource& where, PrivacyReadReport& report) {
            if (const auto opened = openList(folder, where, kHistoryListKey, report)) {
                forEachListEntry(*opened, kHistoryListKey, history, report, stop, historyEntry);
            }
        });
}

PrivacyReadReport readWifiConnectionWithPath(const BackupFolder& folder, PrivacyList& networks,
                                             const StopCheck& stop) {
    PrivacyReadReport report("Wi-Fi networks");
    if (const auto opened = openList(folder, kWifiListSource, kWifiListKey, report)) {
        forEachListEntry(*opened, kWifiListKey, networks, report, stop, wifiListEntry);
    }
    if (report.stopped) {
        return report;
    }
    const auto known = openList(folder, kKnownNetworksSource, "", report);
    if (!known) {
        return report;
    }
    for (const auto& [key, entry] : known->list.root.toDict()) {
        if (stopNow(stop, report)) {
            break;
        }
        if (!entry.isDict()) {
            continue;
        }
        auto node = std::make_shared<PRPrivacyNode>();
        knownNetwork(key, entry, *node);
        node->setBSelected(true);
        node->setRecordSource(known->source);
        node->setRecordName(QString::fromStdString(key));
        node->setRecordDigest(plistEntryDigest(entry));
        networks.push_back(std::move(node));
    }
    return report;
}

}  // namespace nimbara::privacy
