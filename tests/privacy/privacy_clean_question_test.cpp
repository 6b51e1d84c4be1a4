// The question before a privacy clean: how many records of which kinds go, from a copy of the
// backup restored onto the device, and which ticked records stay.
#include <gtest/gtest.h>

#include <functional>

#include "privacy/privacy_clean_selection.h"

namespace nimbara::privacy {
namespace {

KeyedRecords rows(int count) {
    KeyedRecords made;
    for (int i = 1; i <= count; ++i) {
        made.keys.push_back(i);
    }
    return made;
}

EntryEdit entries(int count) {
    EntryEdit edit;
    edit.entries.resize(static_cast<std::size_t>(count));
    return edit;
}

TEST(PrivacyCleanQuestion, NamesHowManyRecordsOfEachKindGoAndWhatStays) {
    const struct {
        std::function<void(PrivacyCleanSelection&)> tick;
        const char* message;
        const char* stays;
    } cases[] = {
        {[](PrivacyCleanSelection& s) { s.notes = rows(1); },
         "1 record will be removed from a copy of the backup: 1 note.", nullptr},
        // History from a database and a list counts as one kind.
        {[](PrivacyCleanSelection& s) {
             s.messages = rows(12);
             s.contacts = rows(3);
             s.calls = rows(2);
             s.historyDatabases = {rows(4)};
             s.historyLists = {entries(1)};
             s.cookieFiles = {entries(2), entries(1)};
             s.wifiLists = {entries(1)};
             s.photoPositions.resize(4);
             s.attachmentFiles.resize(1);
             s.webCacheFiles.resize(2);
             s.withoutKey = 1;
         },
         "33 records will be removed from a copy of the backup: 12 messages, 3 contacts, 2 calls, "
         "5 Safari history entries, 3 cookies, 1 Wi-Fi network, 4 photo positions, 1 attachment "
         "file and 2 cache files.",
         "1 ticked record can't be matched to the backup and stays."},
        {[](PrivacyCleanSelection& s) {
             s.wifiLists = {entries(2)};
             s.withoutKey = 3;
         },
         "2 records will be removed from a copy of the backup: 2 Wi-Fi networks.",
         "3 ticked records can't be matched to the backup and stay."},
    };
    for (const auto& c : cases) {
        PrivacyCleanSelection selection;
        c.tick(selection);
        const PrivacyCleanQuestion question = privacyCleanQuestion(selection);
        EXPECT_EQ(question.message, QString::fromUtf8(c.message));
        // The user's own backup is kept; the copy is what the device gets.
        EXPECT_TRUE(question.informativeText.startsWith(
            QStringLiteral("Nimbara restores that copy onto the device, so they go from the "
                           "device. Your own backup is kept as it is.")));
        EXPECT_EQ(question.informativeText.contains(QStringLiteral("can't be matched")),
                  c.stays != nullptr);
        if (c.stays != nullptr) {
            EXPECT_TRUE(question.informativeText.endsWith(QString::fromUtf8(c.stays)));
        }
    }
}

}  // namespace
}  // namespace nimbara::privacy
