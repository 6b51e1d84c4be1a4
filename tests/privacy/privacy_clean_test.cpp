// The privacy clean end to end on backups of the simulated device, with both kinds of file list:
// scan, tick a few records of every kind, clean the working copy, then read the working copy as
// a backup and find exactly the ticked records gone and every other one there, while the
// original backup is byte for byte what it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <span>
#include <string>

#include "backup/manifest_mbdb.h"
#include "backup/shah.h"
#include "privacy/privacy_clean_selection.h"
#include "privacy/privacy_cleaner.h"
#include "privacy/privacy_manifest_update.h"
#include "privacy/privacy_working_copy.h"
#include "privacy_clean_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::privacy;
using nimbara::test::FoundRecords;
using nimbara::test::foundRecords;
using nimbara::test::PrivacyCleanBackup;

template <class List, class Match>
auto findIn(const List& list, Match&& match) {
    for (const auto& node : list) {
        if (match(*node)) {
            return node;
        }
    }
    ADD_FAILURE() << "no such record";
    return typename List::value_type();
}

// A few records of every kind, some of them still in their database's log.
void tickSubset(PrivacyScanResult& scan) {
    nimbara::test::untickAll(scan);
    // A whole conversation, with a contact card attached to one of its messages.
    findIn(scan.messages.conversations, [](const PRMessageTreeNode& c) {
        return c.messageTreeNodeAdress() == "+14155550188";
    })->setBSelected(true);
    // One message with a film attached and one without, from other conversations.
    findIn(scan.messages.messages, [](const PRMessageNode& m) {
        return m.messageContent().startsWith("Caught the goal");
    })->setBSelected(true);
    findIn(scan.messages.messages, [](const PRMessageNode& m) {
        return m.messageContent().startsWith("Beautiful!");
    })->setBSelected(true);
    findIn(scan.contacts.records, [](const PRContactNode& c) {
        return c.contactName().startsWith("Bruno");
    })->setBSelected(true);
    for (std::size_t i : {1u, 4u, 10u}) {
        scan.calls.records.at(i)->setBSelected(true);
    }
    for (std::size_t i : {0u, 4u}) {
        scan.notes.records.at(i)->setBSelected(true);
    }
    for (const auto& entry : scan.safariBroswerHistoryArray) {
        const bool database = entry->recordSource()->format == PrivacyFileFormat::Sqlite;
        const QString url = entry->fileURL();
        if ((database && url.contains("railpass")) || (!database && url.contains("wanderlog"))) {
            entry->setBSelected(true);
        }
    }
    scan.safariSearchHistoryArray.at(1)->setBSelected(true);
    scan.safariSearchHistoryArray.at(4)->setBSelected(true);
    findIn(scan.wifiConnectArray, [](const PRPrivacyNode& w) {
        return nimbara::test::wifiName(w) == "Lantern Books Free WiFi (list)";
    })->setBSelected(true);
    findIn(scan.wifiConnectArray, [](const PRPrivacyNode& w) {
        return nimbara::test::wifiName(w) == "LIS-Airport-Free (known)";
    })->setBSelected(true);
    findIn(scan.files.safariWebCacheArray, [](const PRPrivacyNode& f) {
        return f.backupFilePath().endsWith("A1.png");
    })->setBSelected(true);
    findIn(scan.gpsLocationArray, [](const PRPrivacyNode& p) {
        return p.backupFilePath().endsWith("IMG_0001.JPG");
    })->setBSelected(true);
}

// The attachment files of the removed messages: they leave the backup with their rows.
std::set<QString> attachmentsOf(const PrivacyScanResult& scan, const std::set<int>& messages) {
    std::set<QString> paths;
    for (const auto& message : scan.messages.messages) {
        if (!messages.contains(message->rowId()) || message->attachmentPath().isEmpty()) {
            continue;
        }
        for (const auto& item : scan.files.messageAttachmentArray) {
            if (item->backupFileKey() == message->attachmentPath()) {
                paths.insert(item->backupFilePath());
            }
        }
    }
    return paths;
}

struct Cleaned {
    std::unique_ptr<PrivacyWorkingCopy> copy;
    PrivacyCleanResult result;
};

Cleaned clean(const fs::path& folder, const PrivacyScanResult& scan) {
    const PrivacyCleanSelection selection = snapshotPrivacySelection(scan);
    WorkingCopyResult made = PrivacyWorkingCopy::create(folder.string());
    EXPECT_TRUE(made.copy) << made.error;
    if (!made.copy) {
        return {};
    }
    Cleaned cleaned{std::move(made.copy), {}};
    cleaned.result = cleanPrivacyWorkingCopy(*cleaned.copy, selection);
    return cleaned;
}

TEST(PrivacyClean, TheTickedRecordsAndOnlyThemLeaveTheWorkingCopy) {
    for (bool legacy : {false, true}) {
        SCOPED_TRACE(legacy ? "Manifest.mbdb" : "Manifest.db");
        PrivacyCleanBackup backup;
        const fs::path folder = backup.write(legacy);
        const auto original = nimbara::test::folderFingerprint(folder);

        PrivacyScanResult scan = readPrivacyBackup(folder.string());
        ASSERT_FALSE(scan.refused());
        ASSERT_TRUE(scan.problems().empty()) << scan.problems().front().error;
        const FoundRecords all = foundRecords(scan);
        tickSubset(scan);
        FoundRecords ticked = foundRecords(scan, true);
        EXPECT_EQ(ticked.messages.size(), 5u + 2u);
        ticked.attachments = attachmentsOf(scan, ticked.messages);
        ASSERT_EQ(ticked.attachments.size(), 2u);  // the card and the film

        Cleaned cleaned = clean(folder, scan);
        ASSERT_TRUE(cleaned.result.ok) << cleaned.result.error;
        const fs::path copy = cleaned.copy->path();

        // Read back as a backup: exactly the ticked records are gone.
        const PrivacyScanResult after = readPrivacyBackup(copy.string());
        ASSERT_TRUE(after.problems().empty()) << after.problems().front().error;
        EXPECT_EQ(foundRecords(after), nimbara::test::withoutRecords(all, ticked));

        const PrivacyCleanCounts& removed = cleaned.result.removed;
        EXPECT_EQ(removed.messages, ticked.messages.size());
        EXPECT_EQ(removed.attachmentFiles, 2u);
        EXPECT_EQ(removed.contacts, 1u);
        EXPECT_EQ(removed.calls, 3u);
        EXPECT_EQ(removed.notes, 2u);
        EXPECT_EQ(removed.historyEntries, 2u);
        EXPECT_EQ(removed.cookies, 2u);
        EXPECT_EQ(removed.wifiNetworks, 2u);
        EXPECT_EQ(removed.emptiedFiles, 1u);
        EXPECT_EQ(removed.photoPositions, 1u);

        // The contact's picture went with it; the others keep theirs.
        ASSERT_EQ(after.contacts.images.size(), 1u);
        EXPECT_EQ(after.contacts.images[0]->rowid(), 1);
        // The photo itself stays, without its position.
        EXPECT_EQ(after.files.PhotoPrivacyArray.size(), 3u);

        // The original was not touched, and the edited databases are sound and alone.
        EXPECT_EQ(nimbara::test::folderFingerprint(folder), original);
        for (const std::string& changed : cleaned.result.changedFiles) {
            const fs::path file = copy / changed;
            if (fs::exists(file) && nimbara::test::readText(file).starts_with("SQLite format 3")) {
                EXPECT_EQ(nimbara::test::integrityOf(file), "ok") << changed;
            }
            for (const char* suffix : {"-wal", "-shm", "-journal"}) {
                EXPECT_FALSE(fs::exists(file.string() + suffix)) << changed << suffix;
            }
        }
        EXPECT_FALSE(fs::exists(copy / ".nimbara-staging"));
        nimbara::test::expectListedSizesMatch(copy);
        // The removed attachments left the file list too, so a restore does not look for them.
        nimbara::backup::BackupManifest::visit(nimbara::backup::BackupFolder::open(copy.string()),
                                               [&](nimbara::backup::BackupEntry&& entry) {
                                                   EXPECT_FALSE(ticked.attachments.contains(
                                                       QString::fromStdString(entry.relativePath)))
                                                       << entry.relativePath;
                                                   return true;
                                               });

        // The logs stored beside the calls, notes and history under their own keys are empty.
        for (const auto& [domain, path] :
             {std::pair{"HomeDomain", "Library/CallHistoryDB/CallHistory.storedata-wal"},
              std::pair{"AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite-wal"},
              std::pair{"AppDomain-com.apple.mobilesafari", "Library/Safari/History.db-wal"}}) {
            const std::string key = nimbara::backup::fileKey(domain, path);
            const fs::path stored = legacy ? copy / key : copy / key.substr(0, 2) / key;
            ASSERT_TRUE(fs::exists(stored)) << path;
            EXPECT_EQ(fs::file_size(stored), 0u) << path;
        }

        if (legacy) {
            // Manifest.mbdb records the new digest of every file it describes with one.
            const std::string list = nimbara::test::readText(copy / "Manifest.mbdb");
            const auto read = nimbara::backup::parseMbdb(std::span<const std::uint8_t>(
                reinterpret_cast<const std::uint8_t*>(list.data()), list.size()));
            ASSERT_TRUE(read.ok()) << read.error;
            std::size_t checked = 0;
            for (const auto& record : read.records) {
                // Folder entries of a domain's root have no path (nor a digest).
                if (!record.dataHash || !record.domain || !record.path) {
                    continue;
                }
                const std::string key = nimbara::backup::fileKey(*record.domain, *record.path);
                if (!fs::exists(copy / key)) {
                    continue;
                }
                ++checked;
                EXPECT_EQ(QByteArray::fromStdString(*record.dataHash),
                          sha1Of(nimbara::test::readText(copy / key)))
                    << *record.path;
            }
            EXPECT_GT(checked, 10u);
        }
    }
}

TEST(PrivacyClean, UntickingOneRowUnderCheckAllRemovesOnlyTheTickedRows) {
    PrivacyCleanBackup backup;
    const fs::path folder = backup.write(false);
    PrivacyScanResult scan = readPrivacyBackup(folder.string());
    const FoundRecords all = foundRecords(scan);
    // Every row of these families ticked, as "check all" does, but one unticked again.
    nimbara::test::untickAll(scan);
    for (const auto& c : scan.messages.conversations) {
        c->setBSelected(c->messageTreeNodeAdress() != "72404");
    }
    for (const auto& c : scan.contacts.records) {
        c->setBSelected(c->rowid() != 3);
    }
    for (const auto& c : scan.calls.records) {
        c->setBSelected(c != scan.calls.records.back());
    }
    for (const auto& n : scan.notes.records) {
        n->setBSelected(n != scan.notes.records.front());
    }
    for (const auto& w : scan.wifiConnectArray) {
        w->setBSelected(w != scan.wifiConnectArray[2]);
    }
    for (const auto& c : scan.safariSearchHistoryArray) {
        c->setBSelected(c != scan.safariSearchHistoryArray.back());
    }
    for (const auto& h : scan.safariBroswerHistoryArray) {
        h->setBSelected(h != scan.safariBroswerHistoryArray.front());
    }
    FoundRecords ticked = foundRecords(scan, true);
    ticked.attachments = attachmentsOf(scan, ticked.messages);

    Cleaned cleaned = clean(folder, scan);
    ASSERT_TRUE(cleaned.result.ok) << cleaned.result.error;
    const PrivacyScanResult after = readPrivacyBackup(cleaned.copy->path().string());
    const FoundRecords left = foundRecords(after);
    EXPECT_EQ(left, nimbara::test::withoutRecords(all, ticked));
    EXPECT_EQ(left.contacts, std::set<int>{3});
    EXPECT_EQ(left.calls, std::set<int>{scan.calls.records.back()->rowid()});
    EXPECT_EQ(left.notes, std::set<int>{scan.notes.records.front()->uid()});
    EXPECT_EQ(left.wifi.size(), 1u);
    EXPECT_EQ(left.cookies.size(), 1u);
    EXPECT_EQ(left.history.size(), 1u);
    ASSERT_EQ(after.messages.conversations.size(), 1u);
    EXPECT_EQ(after.messages.conversations[0]->messageTreeNodeAdress(), "72404");
}

TEST(PrivacyClean, AConversationLeavesNoChatOrAddressRowBehindButSharedOnesStay) {
    PrivacyCleanBackup backup;
    const fs::path folder = backup.write(false);
    PrivacyScanResult scan = readPrivacyBackup(folder.string());
    nimbara::test::untickAll(scan);
    // All of Priya's conversation, and one of Chiara's two messages.
    findIn(scan.messages.conversations, [](const PRMessageTreeNode& c) {
        return c.messageTreeNodeAdress() == "priya.raman@mailbox.example";
    })->setBSelected(true);
    findIn(scan.messages.messages, [](const PRMessageNode& m) {
        return m.messageContent().startsWith("Ciao Chiara");
    })->setBSelected(true);
    Cleaned cleaned = clean(folder, scan);
    ASSERT_TRUE(cleaned.result.ok) << cleaned.result.error;

    const std::string key = nimbara::backup::fileKey("HomeDomain", "Library/SMS/sms.db");
    auto db = nimbara::SqliteDb::open((cleaned.copy->path() / key.substr(0, 2) / key).string(),
                                      nimbara::SqliteDb::Mode::ReadOnly, nullptr, true);
    ASSERT_TRUE(db);
    auto count = [&](const std::string& sql) {
        nimbara::SqliteStatement st = db->prepare(sql);
        EXPECT_TRUE(st.valid()) << sql;
        return st.step() ? st.columnInt64(0) : -1;
    };
    EXPECT_EQ(count("SELECT COUNT(*) FROM handle WHERE id = 'priya.raman@mailbox.example'"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM chat WHERE chat_identifier = "
                    "'priya.raman@mailbox.example'"),
              0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM chat_handle_join WHERE chat_id NOT IN (SELECT ROWID "
                    "FROM chat)"),
              0);
    // Chiara keeps her address row and chat: one of her messages is still there.
    EXPECT_EQ(count("SELECT COUNT(*) FROM handle WHERE id = '+390255501187'"), 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM chat WHERE chat_identifier = '+390255501187'"), 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM chat_message_join WHERE message_id NOT IN (SELECT "
                    "ROWID FROM message)"),
              0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM message"), 20 - 3 - 1);
}

TEST(PrivacyClean, TheOlderMessageLayoutLosesTheTickedConversations) {
    PrivacyCleanBackup backup;
    const fs::path folder = backup.writeAs("5.1.1", true);
    PrivacyScanResult scan = readPrivacyBackup(folder.string());
    ASSERT_TRUE(scan.problems().empty()) << scan.problems().front().error;
    const FoundRecords all = foundRecords(scan);
    ASSERT_EQ(all.messages.size(), 20u);
    nimbara::test::untickAll(scan);
    findIn(scan.messages.conversations, [](const PRMessageTreeNode& c) {
        return c.messageTreeNodeAdress() == "6285550131";
    })->setBSelected(true);
    const FoundRecords ticked = foundRecords(scan, true);
    ASSERT_EQ(ticked.messages.size(), 3u);

    Cleaned cleaned = clean(folder, scan);
    ASSERT_TRUE(cleaned.result.ok) << cleaned.result.error;
    const PrivacyScanResult after = readPrivacyBackup(cleaned.copy->path().string());
    EXPECT_EQ(foundRecords(after).messages, nimbara::test::without(all.messages, ticked.messages));

    const std::string key = nimbara::backup::fileKey("HomeDomain", "Library/SMS/sms.db");
    auto db = nimbara::SqliteDb::open((cleaned.copy->path() / key).string(),
                                      nimbara::SqliteDb::Mode::ReadOnly, nullptr, true);
    ASSERT_TRUE(db);
    nimbara::SqliteStatement members =
        db->prepare("SELECT COUNT(*) FROM group_member WHERE address = '6285550131'");
    ASSERT_TRUE(members.step());
    EXPECT_EQ(members.columnInt64(0), 0);
    nimbara::SqliteStatement groups = db->prepare(
        "SELECT COUNT(*) FROM msg_group WHERE ROWID NOT IN (SELECT group_id FROM message)");
    ASSERT_TRUE(groups.step());
    EXPECT_EQ(groups.columnInt64(0), 0);
    nimbara::test::expectListedSizesMatch(cleaned.copy->path());
}

// Each older notes layout links a note to its body by row id; compacting must not renumber them.
TEST(PrivacyClean, NotesOfEveryLayoutKeepTheirOwnBodies) {
    using nimbara::simdev::NotesKind;
    for (NotesKind kind :
         {NotesKind::NoteStore, NotesKind::NotesDatabase, NotesKind::OldNotesDatabase}) {
        SCOPED_TRACE(static_cast<int>(kind));
        nimbara::test::RecordBackup backup;
        nimbara::simdev::addBackupNotes(backup.builder(), nimbara::simdev::demoNotes(), kind);
        const fs::path folder = backup.write(false);
        PrivacyScanResult scan = readPrivacyBackup(folder.string());
        ASSERT_EQ(scan.notes.records.size(), 5u);
        std::map<QString, QString> bodies;
        for (const auto& note : scan.notes.records) {
            bodies[note->noteTitle()] = note->noteContent();
        }
        nimbara::test::untickAll(scan);
        scan.notes.records[0]->setBSelected(true);
        scan.notes.records[2]->setBSelected(true);

        Cleaned cleaned = clean(folder, scan);
        ASSERT_TRUE(cleaned.result.ok) << cleaned.result.error;
        EXPECT_EQ(cleaned.result.removed.notes, 2u);
        const PrivacyScanResult after = readPrivacyBackup(cleaned.copy->path().string());
        ASSERT_EQ(after.notes.records.size(), 3u);
        for (const auto& note : after.notes.records) {
            EXPECT_NE(note->noteTitle(), scan.notes.records[0]->noteTitle());
            EXPECT_NE(note->noteTitle(), scan.notes.records[2]->noteTitle());
            EXPECT_EQ(note->noteContent().toStdString(), bodies[note->noteTitle()].toStdString())
                << note->noteTitle().toStdString();
        }
    }
}

TEST(PrivacyClean, ThePlaceOfTheOriginalGoesToTheCleanedCopyOrStaysAsItWas) {
    PrivacyCleanBackup backup;
    const fs::path folder = backup.write(false);
    const auto original = nimbara::test::folderFingerprint(folder);
    PrivacyScanResult scan = readPrivacyBackup(folder.string());
    tickSubset(scan);
    FoundRecords expected =
        nimbara::test::withoutRecords(foundRecords(scan), foundRecords(scan, true));
    expected.attachments = nimbara::test::without(
        expected.attachments, attachmentsOf(scan, foundRecords(scan, true).messages));

    // Kept: the original stays, the copy goes.
    {
        Cleaned cleaned = clean(folder, scan);
        ASSERT_TRUE(cleaned.result.ok) << cleaned.result.error;
        const fs::path copy = cleaned.copy->path();
        std::string error;
        ASSERT_TRUE(cleaned.copy->keepOriginal(error)) << error;
        EXPECT_FALSE(fs::exists(copy));
        EXPECT_EQ(nimbara::test::folderFingerprint(folder), original);
    }
    // Replaced: the cleaned copy stands where the original stood, and nothing else is left.
    const auto mode = fs::status(folder).permissions();
    Cleaned cleaned = clean(folder, scan);
    ASSERT_TRUE(cleaned.result.ok) << cleaned.result.error;
    std::string error;
    ASSERT_TRUE(cleaned.copy->replaceOriginal(error)) << error;
    EXPECT_EQ(cleaned.copy->state(), PrivacyWorkingCopy::State::Replaced);
    EXPECT_EQ(nimbara::test::folderNames(folder.parent_path()),
              std::vector<std::string>{folder.filename().string()});
    EXPECT_EQ(fs::status(folder).permissions(), mode);
    EXPECT_EQ(foundRecords(readPrivacyBackup(folder.string())), expected);
    nimbara::test::expectListedSizesMatch(folder);
}

}  // namespace
