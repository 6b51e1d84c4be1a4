// A clean that cannot finish leaves nothing half-edited: a damaged database, a trigger calling a
// function only the device has, too little disk space, or a file that changed since the scan
// each end the clean at their step, with a message naming it; the working copy is gone and the
// original backup is byte for byte what it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "backup/shah.h"
#include "privacy/binary_cookies.h"
#include "privacy/privacy_clean_selection.h"
#include "privacy/privacy_cleaner.h"
#include "privacy/privacy_working_copy.h"
#include "privacy_clean_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::privacy;
using nimbara::test::PrivacyCleanBackup;

struct FailingClean {
    explicit FailingClean(bool legacy = false) : folder(backup.write(legacy)) {}

    // Scans, lets `tick` choose, and makes the working copy (with `options`).
    void prepare(const std::function<void(PrivacyScanResult&)>& tick,
                 const WorkingCopyOptions& options = {}) {
        original = nimbara::test::folderFingerprint(folder);
        scan = readPrivacyBackup(folder.string());
        nimbara::test::untickAll(scan);
        tick(scan);
        selection = snapshotPrivacySelection(scan);
        WorkingCopyResult made = PrivacyWorkingCopy::create(folder.string(), options);
        ASSERT_TRUE(made.copy) << made.error;
        copy = std::move(made.copy);
        copyPath = copy->path();
    }

    PrivacyCleanResult run() {
        PrivacyCleanOptions options;
        options.stepStarted = [this](PrivacyCleanStep step) { steps.push_back(step); };
        return cleanPrivacyWorkingCopy(*copy, selection, options);
    }

    // The clean failed at `step` and left nothing behind.
    void expectNothingLeft(const PrivacyCleanResult& result, PrivacyCleanStep step) {
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.failedStep, step);
        EXPECT_TRUE(result.message.contains(privacyCleanStepText(step)))
            << result.message.toStdString();
        EXPECT_EQ(steps.back(), step);
        EXPECT_EQ(copy->state(), PrivacyWorkingCopy::State::Discarded);
        EXPECT_FALSE(fs::exists(copyPath));
        EXPECT_EQ(nimbara::test::folderNames(folder.parent_path()),
                  std::vector<std::string>{folder.filename().string()});
        EXPECT_EQ(nimbara::test::folderFingerprint(folder), original);
    }

    PrivacyCleanBackup backup;
    fs::path folder;
    std::map<std::string, std::string> original;
    PrivacyScanResult scan;
    PrivacyCleanSelection selection;
    std::unique_ptr<PrivacyWorkingCopy> copy;
    fs::path copyPath;
    std::vector<PrivacyCleanStep> steps;
};

void tickFirstConversationAndContact(PrivacyScanResult& scan) {
    scan.messages.conversations.at(0)->setBSelected(true);
    scan.contacts.records.at(0)->setBSelected(true);
    scan.safariSearchHistoryArray.at(0)->setBSelected(true);
}

std::string storedName(const std::string& domain, const std::string& path, bool legacy = false) {
    const std::string key = nimbara::backup::fileKey(domain, path);
    return legacy ? key : key.substr(0, 2) + "/" + key;
}

TEST(PrivacyCleanFailure, ADamagedDatabaseEndsTheCleanAfterEarlierEditsWithoutATrace) {
    FailingClean clean;
    clean.prepare(tickFirstConversationAndContact);
    // The address book in the working copy turns out damaged past its first page.
    const std::string book = storedName("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb");
    std::string bytes = nimbara::test::readText(clean.copyPath / book);
    ASSERT_GT(bytes.size(), 8192u);
    for (std::size_t i = 4096; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(0xA5 ^ (i & 0xFF));
    }
    std::string error;
    ASSERT_TRUE(clean.copy->replaceFile(book, bytes, error)) << error;

    const PrivacyCleanResult result = clean.run();
    // The messages were already edited in the copy when the contacts failed.
    EXPECT_NE(std::find(clean.steps.begin(), clean.steps.end(), PrivacyCleanStep::Messages),
              clean.steps.end());
    clean.expectNothingLeft(result, PrivacyCleanStep::Contacts);
    EXPECT_EQ(result.removed.messages, 0u);
}

TEST(PrivacyCleanFailure, ATriggerCallingAFunctionOnlyTheDeviceHasFailsCleanly) {
    FailingClean clean;
    // The device keeps the removed messages' identifiers for its own sync.
    {
        const fs::path sms = nimbara::simdev::backupSourcePath(clean.backup.builder().dir(),
                                                               "HomeDomain", "Library/SMS/sms.db");
        auto db = nimbara::SqliteDb::open(sms.string(), nimbara::SqliteDb::Mode::ReadWrite);
        ASSERT_TRUE(db);
        ASSERT_TRUE(
            db->exec("CREATE TRIGGER after_delete_on_message AFTER DELETE ON message "
                     "BEGIN SELECT ck_record_message_deletion(OLD.guid); END;"))
            << db->lastError();
    }
    clean.folder = clean.backup.write(false);
    clean.prepare(tickFirstConversationAndContact);
    const PrivacyCleanResult result = clean.run();
    clean.expectNothingLeft(result, PrivacyCleanStep::Messages);
    EXPECT_TRUE(result.message.contains("ck_record_message_deletion")) << result.error;
}

TEST(PrivacyCleanFailure, TooLittleDiskSpaceForTheEditsIsFoundBeforeTheFirstEdit) {
    FailingClean clean;
    WorkingCopyOptions options;
    int asked = 0;
    // Room for the copy's folders, then no room for the edits.
    options.freeSpace = [&asked](const fs::path&) {
        return std::optional<std::uint64_t>(++asked == 1 ? 1ull << 40 : 64ull * 1024 * 1024);
    };
    clean.prepare(
        [](PrivacyScanResult& scan) {
            for (const auto& c : scan.messages.conversations) {
                c->setBSelected(true);
            }
        },
        options);
    // A large address book makes the edits need more than is free.
    const std::string book = storedName("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb");
    clean.selection.contacts = KeyedRecords{
        clean.scan.contacts.source ? *clean.scan.contacts.source : PrivacySource{}, {1}};
    std::string error;
    std::string bytes = nimbara::test::readText(clean.copyPath / book);
    bytes.resize(20u * 1024 * 1024, '\0');
    ASSERT_TRUE(clean.copy->replaceFile(book, bytes, error)) << error;

    const PrivacyCleanResult result = clean.run();
    clean.expectNothingLeft(result, PrivacyCleanStep::DiskSpace);
    EXPECT_EQ(clean.steps, (std::vector<PrivacyCleanStep>{PrivacyCleanStep::CheckBackup,
                                                          PrivacyCleanStep::DiskSpace}));
}

TEST(PrivacyCleanFailure, AListThatChangedSinceTheScanIsNotEditedByGuesswork) {
    FailingClean clean(true);
    clean.prepare(tickFirstConversationAndContact);
    // The cookie file in the copy no longer holds the ticked cookie.
    const std::string cookies =
        storedName("HomeDomain", "Library/Cookies/Cookies.binarycookies", true);
    std::string error;
    ASSERT_TRUE(
        clean.copy->replaceFile(cookies,
                                writeBinaryCookies({makeCookieRecord({.url = ".other.example",
                                                                      .name = "n",
                                                                      .path = "/",
                                                                      .value = "v",
                                                                      .flags = 0,
                                                                      .expiry = 0,
                                                                      .creation = 0})}),
                                error))
        << error;
    const PrivacyCleanResult result = clean.run();
    clean.expectNothingLeft(result, PrivacyCleanStep::Cookies);
    EXPECT_NE(result.error.find("no longer"), std::string::npos) << result.error;
}

TEST(PrivacyCleanFailure, AStoredFileMissingFromTheCopyFailsItsStep) {
    FailingClean clean;
    clean.prepare(tickFirstConversationAndContact);
    std::string error;
    ASSERT_TRUE(clean.copy->removeFile(storedName("HomeDomain", "Library/SMS/sms.db"), error));
    const PrivacyCleanResult result = clean.run();
    clean.expectNothingLeft(result, PrivacyCleanStep::Messages);
    EXPECT_NE(result.error.find("missing"), std::string::npos) << result.error;
}

TEST(PrivacyCleanFailure, AWorkingCopyOfAnotherBackupIsRefused) {
    FailingClean clean;
    clean.prepare(tickFirstConversationAndContact);
    // The selection was read from another backup (another device's, say).
    clean.selection.backupFolder = clean.backup.write(true).string();
    const PrivacyCleanResult result = clean.run();
    EXPECT_EQ(clean.steps, std::vector<PrivacyCleanStep>{PrivacyCleanStep::CheckBackup});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failedStep, PrivacyCleanStep::CheckBackup);
    EXPECT_FALSE(fs::exists(clean.copyPath));
    EXPECT_EQ(nimbara::test::folderFingerprint(clean.folder), clean.original);
}

TEST(PrivacyCleanFailure, AStopEndsTheCleanAndKeepsNothing) {
    FailingClean clean;
    clean.prepare(tickFirstConversationAndContact);
    bool stop = false;
    PrivacyCleanOptions options;
    options.stepStarted = [&](PrivacyCleanStep step) {
        clean.steps.push_back(step);
        stop = step == PrivacyCleanStep::Contacts;
    };
    options.stop = [&stop] { return stop; };
    const PrivacyCleanResult result =
        cleanPrivacyWorkingCopy(*clean.copy, clean.selection, options);
    EXPECT_TRUE(result.stopped);
    clean.expectNothingLeft(result, PrivacyCleanStep::Contacts);
}

TEST(PrivacyCleanFailure, NothingTickedChangesNothingButTheCopyStaysUsable) {
    FailingClean clean;
    clean.prepare([](PrivacyScanResult&) {});
    EXPECT_TRUE(clean.selection.empty());
    const auto before = nimbara::test::folderFingerprint(clean.copyPath);
    const PrivacyCleanResult result = clean.run();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.changedFiles.empty());
    EXPECT_EQ(nimbara::test::folderFingerprint(clean.copyPath), before);
    EXPECT_EQ(nimbara::test::folderFingerprint(clean.folder), clean.original);
}

}  // namespace
