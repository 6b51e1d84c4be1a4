#include "backup/backup_info_plist.h"

#include <QString>

#include <algorithm>
#include <functional>
#include <iterator>
#include <random>
#include <utility>
#include <vector>

#include "platform/log_categories.h"

namespace nimbara::backup {

namespace {

// The default "iTunes Version" where the device names no least version of its host.
constexpr const char* kDefaultITunesVersion = "10.0.1";

// "Applications": an entry for each user app the store can give back (it has its store
// signature and metadata), with its placeholder icon where SpringBoard gave one.
PlistValue applicationsOf(const BackupInfoExtras& extras, PlistValue& installed) {
    PlistValue applications = PlistValue::dict();
    installed = PlistValue::array();
    for (const PlistValue& app : extras.apps) {
        const PlistValue& id = app["CFBundleIdentifier"];
        if (!id.isString() || id.toString().empty()) {
            continue;
        }
        installed.append(id);
        const PlistValue* sinf = app.find("ApplicationSINF");
        const PlistValue* metadata = app.find("iTunesMetadata");
        if (sinf == nullptr || metadata == nullptr) {
            continue;
        }
        PlistValue entry = PlistValue::dict();
        entry.set("ApplicationSINF", *sinf);
        entry.set("iTunesMetadata", *metadata);
        if (const auto icon = extras.icons.find(id.toString()); icon != extras.icons.end()) {
            entry.set("PlaceholderIcon", icon->second);
        }
        applications.set(id.toString(), std::move(entry));
    }
    return applications;
}

// Something Info.plist can do without, and how many characters of its XML it takes at least.
struct Droppable {
    std::uint64_t characters = 0;
    std::function<void()> drop;
};

// The characters `bytes` of data take at least in XML inside `depth` dictionaries below the top
// one: base64 in lines of 60, each indented and ended.
std::uint64_t xmlCharacters(std::uint64_t bytes, int depth) {
    const std::uint64_t base64 = (bytes + 2) / 3 * 4;
    return base64 + (base64 + 59) / 60 * static_cast<std::uint64_t>(depth + 2);
}

// Largest first.
void addLargestFirst(std::vector<Droppable>& out, std::vector<Droppable> items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const Droppable& a, const Droppable& b) { return a.characters > b.characters; });
    out.insert(out.end(), std::make_move_iterator(items.begin()),
               std::make_move_iterator(items.end()));
}

// What `info` can do without, least needed first.
std::vector<Droppable> droppablesOf(PlistValue& info) {
    std::vector<Droppable> order;
    std::vector<Droppable> icons;
    for (auto& [id, entry] : info["Applications"].asDict()) {
        if (const PlistValue* icon = entry.find("PlaceholderIcon")) {
            icons.push_back({xmlCharacters(icon->size(), 2),
                             [&entry] { entry.asDict().erase("PlaceholderIcon"); }});
        }
    }
    addLargestFirst(order, std::move(icons));
    if (const PlistValue* books = info.find("iBooks Data 2")) {
        order.push_back(
            {xmlCharacters(books->size(), 0), [&info] { info.asDict().erase("iBooks Data 2"); }});
    }
    std::vector<Droppable> files;
    PlistValue& iTunesFiles = info["iTunes Files"];
    for (const auto& [name, bytes] : iTunesFiles.toDict()) {
        files.push_back({xmlCharacters(bytes.size(), 1),
                         [&iTunesFiles, name = name] { iTunesFiles.asDict().erase(name); }});
    }
    addLargestFirst(order, std::move(files));
    order.push_back({0, [&info] { info.set("iTunes Settings", PlistValue::dict()); }});
    return order;
}

// Leaves out of `info` what it can do without until its XML is at most `maxBytes` long.
void fitWithin(PlistValue& info, std::uint64_t maxBytes) {
    std::uint64_t size = info.toXml().size();
    if (size <= maxBytes) {
        return;
    }
    const std::vector<Droppable> order = droppablesOf(info);
    auto next = order.begin();
    while (size > maxBytes && next != order.end()) {
        std::uint64_t saved = 0;
        do {
            next->drop();
            saved += next->characters;
            ++next;
        } while (next != order.end() && size - std::min(saved, size) > maxBytes);
        size = info.toXml().size();
    }
    if (size > maxBytes) {
        qCWarning(lcBackup) << "the apps alone take" << size
                            << "bytes of Info.plist: more than its readers read";
    }
}

}  // namespace

PlistValue backupInfoPlist(const PlistValue& lockdown, const BackupInfoExtras& extras,
                           const std::string& udid, double secondsSince2001,
                           std::uint64_t maxBytes) {
    // Info.plist key, lockdown key.
    static constexpr std::pair<const char*, const char*> kCopied[] = {
        {"Build Version", "BuildVersion"},
        {"Device Name", "DeviceName"},
        {"Display Name", "DeviceName"},
        {"ICCID", "IntegratedCircuitCardIdentity"},
        {"IMEI", "InternationalMobileEquipmentIdentity"},
        {"MEID", "MobileEquipmentIdentifier"},
        {"Phone Number", "PhoneNumber"},
        {"Product Type", "ProductType"},
        {"Product Version", "ProductVersion"},
        {"Serial Number", "SerialNumber"},
    };
    PlistValue info = PlistValue::dict();
    for (const auto& [key, from] : kCopied) {
        if (const PlistValue* value = lockdown.find(from); value && value->isString()) {
            info.set(key, value->toString());
        }
    }
    PlistValue installed;
    info.set("Applications", applicationsOf(extras, installed));
    info.set("Installed Applications", std::move(installed));
    info.set("GUID", extras.guid);
    info.set("Last Backup Date", PlistValue::date(secondsSince2001));
    info.set("Target Identifier", udid);
    info.set("Target Type", "Device");
    info.set("Unique Identifier", QString::fromStdString(udid).toUpper().toStdString());
    if (extras.iBooksData) {
        info.set("iBooks Data 2", *extras.iBooksData);
    }
    PlistValue files = PlistValue::dict();
    for (const auto& [name, bytes] : extras.iTunesFiles) {
        files.set(name, bytes);
    }
    info.set("iTunes Files", std::move(files));
    info.set("iTunes Settings",
             extras.iTunesSettings.isDict() ? extras.iTunesSettings : PlistValue::dict());
    info.set("iTunes Version",
             extras.iTunesVersion.empty() ? kDefaultITunesVersion : extras.iTunesVersion);
    fitWithin(info, maxBytes);
    return info;
}

std::string newBackupGuid() {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::random_device source;
    std::uniform_int_distribution<int> digit(0, 15);
    std::string guid(32, '0');
    for (char& c : guid) {
        c = kDigits[digit(source)];
    }
    return guid;
}

}  // namespace nimbara::backup
