// The snapshot of what the user ticked: only ticked records, and a check-all flag only where
// the whole category really is ticked (never for an empty category, nor once a row was left
// unticked), so a clean can never take a flag for "every row of the table".
#include <gtest/gtest.h>

#include "privacy/privacy_scan.h"
#include "privacy/privacy_selection.h"

namespace nimbara::privacy {
namespace {

template <class Node>
std::shared_ptr<Node> made(bool ticked) {
    auto node = std::make_shared<Node>();
    node->setBSelected(ticked);
    return node;
}

std::array<bool, kPrivacyCategoryCount> allOn() {
    std::array<bool, kPrivacyCategoryCount> flags{};
    flags.fill(true);
    return flags;
}

TEST(PrivacySelection, OnlyTickedRecordsAreTaken) {
    PrivacyScanResult scan;
    scan.backupFolder = "/backups/abc";
    scan.backup.udid = QStringLiteral("abc");
    scan.contacts.records = {made<PRContactNode>(false), made<PRContactNode>(true)};
    auto talk = made<PRMessageTreeNode>(true);
    talk->addMessageNode(std::make_shared<PRMessageNode>());
    talk->addMessageNode(std::make_shared<PRMessageNode>());
    auto other = made<PRMessageTreeNode>(false);
    other->addMessageNode(std::make_shared<PRMessageNode>());
    scan.messages.conversations = {other, talk};
    scan.safariSearchHistoryArray = {made<PRPrivacyNode>(true), made<PRPrivacyNode>(false)};
    scan.gpsLocationArray = {made<PRPrivacyNode>(true)};
    scan.files.PhotoPrivacyArray = scan.gpsLocationArray;  // the same photo, in both lists
    scan.calls.records = {made<PRCallHistoryNode>(true), made<PRCallHistoryNode>(true)};

    const PrivacyTickSnapshot snapshot = snapshotTicks(scan, allOn(), 4);
    EXPECT_EQ(snapshot.backupFolder, "/backups/abc");
    EXPECT_EQ(snapshot.udid, QStringLiteral("abc"));
    EXPECT_EQ(snapshot.deviceIndex, 4);
    EXPECT_EQ(snapshot.contacts, std::vector{scan.contacts.records[1]});
    EXPECT_EQ(snapshot.conversations, std::vector{talk});
    EXPECT_EQ(snapshot.messages, talk->MessageNodeArray());
    EXPECT_EQ(snapshot.cookies, std::vector{scan.safariSearchHistoryArray[0]});
    EXPECT_EQ(snapshot.locations.size(), 1u);
    EXPECT_EQ(snapshot.calls.size(), 2u);
    EXPECT_EQ(snapshot.size(), 6u);
    EXPECT_EQ(snapshot.size(), categoryTicked(scan, PrivacyCategory::Contacts) +
                                   categoryTicked(scan, PrivacyCategory::Messages) +
                                   categoryTicked(scan, PrivacyCategory::SafariCookies) +
                                   categoryTicked(scan, PrivacyCategory::Locations) +
                                   categoryTicked(scan, PrivacyCategory::Calls));

    // The flags: only where every record is ticked, the category has a box, and has records.
    EXPECT_TRUE(snapshot.checkAllOf(PrivacyCategory::Calls));
    EXPECT_TRUE(snapshot.checkAllOf(PrivacyCategory::Locations));
    EXPECT_FALSE(snapshot.checkAllOf(PrivacyCategory::Contacts));
    EXPECT_FALSE(snapshot.checkAllOf(PrivacyCategory::Messages));
    EXPECT_FALSE(snapshot.checkAllOf(PrivacyCategory::Notes));  // none at all
    EXPECT_FALSE(snapshot.checkAllOf(PrivacyCategory::KeyboardInput));
    scan.safariSearchHistoryArray[1]->setBSelected(true);
    EXPECT_TRUE(categoryAllTicked(scan, PrivacyCategory::SafariCookies));
    EXPECT_FALSE(snapshotTicks(scan, allOn(), 4).checkAllOf(PrivacyCategory::SafariCookies));

    // A flag the page has off stays off, whatever is ticked.
    auto flags = allOn();
    flags[categoryIndex(PrivacyCategory::Calls)] = false;
    EXPECT_FALSE(snapshotTicks(scan, flags, 4).checkAllOf(PrivacyCategory::Calls));
    // One call unticked: the flag goes, and that call is not in the snapshot.
    scan.calls.records[0]->setBSelected(false);
    const PrivacyTickSnapshot later = snapshotTicks(scan, allOn(), 4);
    EXPECT_FALSE(later.checkAllOf(PrivacyCategory::Calls));
    EXPECT_EQ(later.calls, std::vector{scan.calls.records[1]});
    // The earlier snapshot still holds what was ticked then.
    EXPECT_EQ(snapshot.calls.size(), 2u);
}

TEST(PrivacySelection, CategoriesAndTheirStartingCheckAll) {
    const auto flags = initialCheckAll();
    for (std::size_t i = 0; i < kPrivacyCategoryCount; ++i) {
        const auto category = static_cast<PrivacyCategory>(i);
        const bool expected = hasCheckAll(category) && category != PrivacyCategory::Contacts &&
                              category != PrivacyCategory::Messages;
        EXPECT_EQ(flags[i], expected) << i;
    }
    EXPECT_FALSE(hasCheckAll(PrivacyCategory::SafariCookies));
    EXPECT_FALSE(hasCheckAll(PrivacyCategory::KeyboardInput));

    PrivacyScanResult scan;
    scan.files.messageAttachmentArray = {made<PRPrivacyNode>(true)};
    scan.files.safariWebCacheArray = {made<PRPrivacyNode>(true), made<PRPrivacyNode>(true)};
    scan.wifiConnectArray = {made<PRPrivacyNode>(false)};
    EXPECT_EQ(&privacyItems(scan, PrivacyCategory::MessageAttachments),
              &scan.files.messageAttachmentArray);
    EXPECT_EQ(&privacyItems(scan, PrivacyCategory::WebContent), &scan.files.safariWebCacheArray);
    EXPECT_TRUE(privacyItems(scan, PrivacyCategory::Contacts).empty());
    EXPECT_TRUE(privacyItems(scan, PrivacyCategory::KeyboardInput).empty());
    EXPECT_EQ(categorySize(scan, PrivacyCategory::WebContent), 2u);
    EXPECT_EQ(categoryTicked(scan, PrivacyCategory::WifiNetworks), 0u);
    EXPECT_FALSE(categoryAllTicked(scan, PrivacyCategory::KeyboardInput));
    EXPECT_TRUE(categoryAllTicked(scan, PrivacyCategory::WebContent));
    const PrivacyScanResult nothing;
    EXPECT_TRUE(snapshotTicks(nothing, allOn(), 0).empty());
}

}  // namespace
}  // namespace nimbara::privacy
