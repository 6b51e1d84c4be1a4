#include "privacy/privacy_selection.h"

#include "privacy/privacy_scan.h"

namespace nimbara::privacy {

namespace {

const PrivacyList kNoItems;

// Calls `f` with the list of `category` in `scan`.
template <class F>
decltype(auto) withCategory(const PrivacyScanResult& scan, PrivacyCategory category, F&& f) {
    switch (category) {
        case PrivacyCategory::Contacts:
            return f(scan.contacts.records);
        case PrivacyCategory::Messages:
            return f(scan.messages.conversations);
        case PrivacyCategory::Notes:
            return f(scan.notes.records);
        case PrivacyCategory::Calls:
            return f(scan.calls.records);
        default:
            return f(privacyItems(scan, category));
    }
}

template <class Node>
std::size_t countTicked(const std::vector<std::shared_ptr<Node>>& records) {
    std::size_t count = 0;
    for (const std::shared_ptr<Node>& record : records) {
        count += record && record->bSelected() ? 1 : 0;
    }
    return count;
}

// The ticked records of `records`, in their order.
template <class Node>
std::vector<std::shared_ptr<Node>> ticked(const std::vector<std::shared_ptr<Node>>& records) {
    std::vector<std::shared_ptr<Node>> out;
    for (const std::shared_ptr<Node>& record : records) {
        if (record && record->bSelected()) {
            out.push_back(record);
        }
    }
    return out;
}

}  // namespace

std::array<bool, kPrivacyCategoryCount> initialCheckAll() {
    std::array<bool, kPrivacyCategoryCount> flags{};
    for (std::size_t i = 0; i < kPrivacyCategoryCount; ++i) {
        flags[i] = hasCheckAll(static_cast<PrivacyCategory>(i));
    }
    flags[categoryIndex(PrivacyCategory::Contacts)] = false;
    flags[categoryIndex(PrivacyCategory::Messages)] = false;
    return flags;
}

const PrivacyList& privacyItems(const PrivacyScanResult& scan, PrivacyCategory category) {
    switch (category) {
        case PrivacyCategory::MessageAttachments:
            return scan.files.messageAttachmentArray;
        case PrivacyCategory::SafariHistory:
            return scan.safariBroswerHistoryArray;
        case PrivacyCategory::SafariCookies:
            return scan.safariSearchHistoryArray;
        case PrivacyCategory::WebContent:
            return scan.files.safariWebCacheArray;
        case PrivacyCategory::WifiNetworks:
            return scan.wifiConnectArray;
        case PrivacyCategory::Locations:
            return scan.gpsLocationArray;
        default:
            return kNoItems;
    }
}

std::size_t categorySize(const PrivacyScanResult& scan, PrivacyCategory category) {
    return withCategory(scan, category, [](const auto& records) { return records.size(); });
}

std::size_t categoryTicked(const PrivacyScanResult& scan, PrivacyCategory category) {
    return withCategory(scan, category, [](const auto& records) { return countTicked(records); });
}

bool categoryAllTicked(const PrivacyScanResult& scan, PrivacyCategory category) {
    return withCategory(scan, category, [](const auto& records) {
        return !records.empty() && countTicked(records) == records.size();
    });
}

std::size_t PrivacyTickSnapshot::tickedCount(PrivacyCategory category) const {
    switch (category) {
        case PrivacyCategory::Contacts:
            return contacts.size();
        case PrivacyCategory::Messages:
            return conversations.size();
        case PrivacyCategory::MessageAttachments:
            return messageAttachments.size();
        case PrivacyCategory::SafariHistory:
            return safariHistory.size();
        case PrivacyCategory::SafariCookies:
            return cookies.size();
        case PrivacyCategory::WebContent:
            return webContent.size();
        case PrivacyCategory::KeyboardInput:
            return 0;
        case PrivacyCategory::WifiNetworks:
            return wifiNetworks.size();
        case PrivacyCategory::Locations:
            return locations.size();
        case PrivacyCategory::Notes:
            return notes.size();
        case PrivacyCategory::Calls:
            return calls.size();
    }
    return 0;
}

std::size_t PrivacyTickSnapshot::size() const {
    std::size_t total = 0;
    for (std::size_t i = 0; i < kPrivacyCategoryCount; ++i) {
        total += tickedCount(static_cast<PrivacyCategory>(i));
    }
    return total;
}

PrivacyTickSnapshot snapshotTicks(const PrivacyScanResult& scan,
                                  const std::array<bool, kPrivacyCategoryCount>& checkAll,
                                  int deviceIndex) {
    using C = PrivacyCategory;
    PrivacyTickSnapshot snapshot;
    snapshot.backupFolder = scan.backupFolder;
    snapshot.udid = scan.backup.udid;
    snapshot.deviceIndex = deviceIndex;

    snapshot.contacts = ticked(scan.contacts.records);
    snapshot.conversations = ticked(scan.messages.conversations);
    for (const auto& conversation : snapshot.conversations) {
        const auto messages = conversation->MessageNodeArray();
        snapshot.messages.insert(snapshot.messages.end(), messages.begin(), messages.end());
    }
    snapshot.messageAttachments = ticked(privacyItems(scan, C::MessageAttachments));
    snapshot.safariHistory = ticked(privacyItems(scan, C::SafariHistory));
    snapshot.cookies = ticked(privacyItems(scan, C::SafariCookies));
    snapshot.webContent = ticked(privacyItems(scan, C::WebContent));
    snapshot.wifiNetworks = ticked(privacyItems(scan, C::WifiNetworks));
    snapshot.locations = ticked(privacyItems(scan, C::Locations));
    snapshot.notes = ticked(scan.notes.records);
    snapshot.calls = ticked(scan.calls.records);

    for (std::size_t i = 0; i < kPrivacyCategoryCount; ++i) {
        const auto category = static_cast<C>(i);
        snapshot.checkAll[i] =
            checkAll[i] && hasCheckAll(category) && categoryAllTicked(scan, category);
    }
    return snapshot;
}

}  // namespace nimbara::privacy
