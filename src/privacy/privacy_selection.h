// What the user has chosen on the privacy cleaner's results: the eleven categories of private
// data, and a snapshot of the ticked records taken on the GUI thread for the clean that follows.
//
// The snapshot holds the ticked records themselves (shared pointers copied out of the lists), so
// later ticks on the page change nothing in it, and the clean never reads a list, a table or a
// view. Every record it holds is ticked: an unticked record is never in it, whatever a check-all
// box said. A category's check-all flag in the snapshot is true only when the category had
// records, every one of them was ticked, and the user's check-all was still on: once a row was
// unticked it is false, so a clean never takes it for "the whole table".
#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "privacy/pr_privacy_node.h"

namespace nimbara::privacy {

struct PrivacyScanResult;

// The categories of the results, in the order of their buttons.
enum class PrivacyCategory {
    Contacts,
    Messages,  // conversations
    MessageAttachments,
    SafariHistory,
    SafariCookies,
    WebContent,
    KeyboardInput,  // nothing is read for it: it stays empty
    WifiNetworks,
    Locations,  // photos with a position
    Notes,
    Calls,
};
inline constexpr std::size_t kPrivacyCategoryCount = 11;

constexpr std::size_t categoryIndex(PrivacyCategory category) {
    return static_cast<std::size_t>(category);
}

// Whether the category has a check-all box (all but Safari cookies and keyboard input).
constexpr bool hasCheckAll(PrivacyCategory category) {
    return category != PrivacyCategory::SafariCookies && category != PrivacyCategory::KeyboardInput;
}

// The check-all flags a new result starts from: on for every category with a box but contacts
// and messages (whose records come unticked).
std::array<bool, kPrivacyCategoryCount> initialCheckAll();

struct PrivacyTickSnapshot {
    std::string backupFolder;  // the backup the records were read from
    QString udid;              // the device that backup names
    int deviceIndex = -1;      // the device the page showed the results for

    std::vector<std::shared_ptr<PRContactNode>> contacts;
    std::vector<std::shared_ptr<PRMessageTreeNode>> conversations;
    // Every message of the ticked conversations, conversation by conversation.
    std::vector<std::shared_ptr<PRMessageNode>> messages;
    std::vector<std::shared_ptr<PRPrivacyNode>> messageAttachments;
    std::vector<std::shared_ptr<PRPrivacyNode>> safariHistory;
    std::vector<std::shared_ptr<PRPrivacyNode>> cookies;
    std::vector<std::shared_ptr<PRPrivacyNode>> webContent;
    std::vector<std::shared_ptr<PRPrivacyNode>> wifiNetworks;
    std::vector<std::shared_ptr<PRPrivacyNode>> locations;
    std::vector<std::shared_ptr<PRNoteNode>> notes;
    std::vector<std::shared_ptr<PRCallHistoryNode>> calls;

    // Per category (categoryIndex): check-all was on and every one of its records is here.
    std::array<bool, kPrivacyCategoryCount> checkAll{};

    bool checkAllOf(PrivacyCategory category) const { return checkAll[categoryIndex(category)]; }
    // Ticked records of one category (conversations for messages).
    std::size_t tickedCount(PrivacyCategory category) const;
    // Ticked records over every category.
    std::size_t size() const;
    bool empty() const { return size() == 0; }
};

// The file items, history entries, cookies, networks or located photos of `scan` that make up
// `category`; an empty list for the other categories (their records have types of their own).
const std::vector<std::shared_ptr<PRPrivacyNode>>& privacyItems(const PrivacyScanResult& scan,
                                                                PrivacyCategory category);
// Records of `category` in `scan` (conversations for messages), and how many are ticked.
std::size_t categorySize(const PrivacyScanResult& scan, PrivacyCategory category);
std::size_t categoryTicked(const PrivacyScanResult& scan, PrivacyCategory category);
// Whether the category has records and every one is ticked.
bool categoryAllTicked(const PrivacyScanResult& scan, PrivacyCategory category);

// The records of `scan` that are ticked now, with `checkAll` (the page's flags) kept only where
// the category's every record is ticked. Call on the GUI thread, where the ticks change.
PrivacyTickSnapshot snapshotTicks(const PrivacyScanResult& scan,
                                  const std::array<bool, kPrivacyCategoryCount>& checkAll,
                                  int deviceIndex);

}  // namespace nimbara::privacy
