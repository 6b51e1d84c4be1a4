// The recovery export without widgets: the plan taken from the ticks, and the worker writing it
// into the chosen folder. First a whole export of the demo backup, checked file by file against
// what was ticked; then backups made by hand for hostile names, exact copies, failing copies,
// files that must not be replaced, links in the export folder, progress and stopping.
#include "browser/recovery_export.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "../backup/backup_snapshot.h"
#include "../backup/scan_posts.h"
#include "backup/backup_file_tree.h"
#include "backup/backup_scan.h"
#include "backup/conversations.h"
#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_face_twitter_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "backup/pr_photo_and_video_node.h"
#include "backup/record_notifications.h"
#include "backup/writers/export_file.h"
#include "backup_writer.h"
#include "browser/result_records.h"
#include "platform/notification_center.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::browser;
using nimbara::NotificationCenter;
using nimbara::test::readText;
using nimbara::test::TempDir;
using nimbara::test::writeText;

// Every regular file below `dir`, by path relative to it, with its bytes.
std::map<std::string, std::string> filesBelow(const fs::path& dir) {
    std::map<std::string, std::string> out;
    for (const auto& snapshot : nimbara::test::folderSnapshot(dir)) {
        if (snapshot.first.back() != '/') {
            out.insert(snapshot);
        }
    }
    return out;
}

// The lists and the conversation page every export writes, whatever was ticked.
const std::set<std::string> kFamilyFiles = {
    "BookMark/BookMark.txt",        "Calendar&Reminder/Calendar&Reminder.txt",
    "CallHistory/Call History.txt", "Contact/Contacts.txt",
    "Message/Messages.html",        "Note/Notes.txt"};

// The files below `dir` apart from the family lists.
std::map<std::string, std::string> recordsBelow(const fs::path& dir) {
    std::map<std::string, std::string> out = filesBelow(dir);
    std::erase_if(out, [](const auto& file) { return kFamilyFiles.count(file.first) != 0; });
    return out;
}

RecoveryExportSummary exportPlan(const RecoveryExportPlan& plan, const fs::path& root) {
    RecoveryExportProgress progress;
    const std::atomic<bool> stop{false};
    const RecoveryExportSummary summary = runRecoveryExport(plan, root, progress, stop);
    // The counters the sheet reads end where the plan said they would.
    EXPECT_EQ(progress.total.load(), plan.steps());
    EXPECT_EQ(progress.done.load(), plan.steps());
    EXPECT_EQ(summary.done, plan.steps());
    return summary;
}

std::string failuresOf(const RecoveryExportSummary& summary) {
    std::string out;
    for (const ExportFailure& f : summary.failed) {
        out += f.item.toStdString() + ": " + f.reason.toStdString() + "\n";
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// The demo backup, scanned as the result page scans it.

class DemoExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(nimbara::simdev::makeDemoDevice(tmp_ / "demo", &error)) << error;
        const auto written = nimbara::simdev::writeBackup(tmp_ / "demo", tmp_ / "backups", {});
        ASSERT_TRUE(written.ok) << written.error;
        backup_ = written.folder;

        NotificationCenter center;
        nimbara::test::ScanPosts posts(center);
        std::mutex mutex;
        std::vector<nimbara::ObserverToken> tokens;
        const auto observe = [&](const char* name, auto add) {
            tokens.push_back(
                center.addObserver(name, [&mutex, add](const nimbara::Notification& n) {
                    std::lock_guard<std::mutex> lock(mutex);
                    add(n);
                }));
        };
        using namespace nimbara::backup;
        observe(kScanMessageInfo, [this](const nimbara::Notification& n) {
            grouping_.addMessage(n.objectAs<std::shared_ptr<PRMessageNode>>());
        });
        observe(kScanNoteInfo, [this](const nimbara::Notification& n) {
            records_.addNote(n.objectAs<std::shared_ptr<PRNoteNode>>());
        });
        observe(kScanCallHistoryInfo, [this](const nimbara::Notification& n) {
            records_.addCallHistory(n.objectAs<std::shared_ptr<PRCallHistoryNode>>());
        });
        observe(kScanBookMarkInfo, [this](const nimbara::Notification& n) {
            records_.addBookMark(n.objectAs<std::shared_ptr<PRBookMarkNode>>());
        });
        observe(kScanCalenderInfo, [this](const nimbara::Notification& n) {
            records_.addCalender(n.objectAs<std::shared_ptr<PRCalenderNode>>());
        });
        nimbara::test::runWiredScan(backup_, center, std::make_shared<BackupScanRecords>());
        for (const auto& contact : posts.contacts) {
            records_.addContact(contact);
        }
        for (const auto& photo : posts.photos) {
            records_.addPhotoAndVideo(photo);
        }
        for (const auto& social : posts.social) {
            records_.addFaceTwitter(social);
        }
        tree_.setDeviceName(QStringLiteral("Amelia's iPhone"));
        for (const auto& entry : posts.entries) {
            if (entry && !entry->filePath().isEmpty()) {
                tree_.addTreeNode(entry);
            }
        }
    }

    ExportSelection selection() const {
        return exportSelectionOf(records_, grouping_.conversations(), &tree_,
                                 QStringLiteral("Amelia's iPhone"),
                                 QString::fromStdString(backup_.string()));
    }

    std::shared_ptr<PRTreeDirNode> folderNamed(const QString& name) const {
        std::vector<std::shared_ptr<PRTreeDirNode>> pending = tree_.content();
        while (!pending.empty()) {
            auto folder = pending.back();
            pending.pop_back();
            if (folder->fileName() == name) {
                return folder;
            }
            pending.insert(pending.end(), folder->children().begin(), folder->children().end());
        }
        return nullptr;
    }

    TempDir tmp_;
    fs::path backup_;
    ResultRecords records_;
    nimbara::backup::ConversationGrouping grouping_;
    PRTreeController tree_;
};

// The outline's copy of a file: device, domain and folders as the outline names them, the file
// by its own name (a leading dot shown as "_").
fs::path expectedOutlineTarget(const fs::path& root, const PlannedTreeFile& file) {
    fs::path at = root;
    for (const QString& name : file.folders) {
        at /= name.toStdString();
    }
    QString name = file.record->filePath().section(QLatin1Char('/'), -1);
    if (name.startsWith(QLatin1Char('.'))) {
        name[0] = QLatin1Char('_');
    }
    return at / name.toStdString();
}

TEST_F(DemoExportTest, WritesExactlyWhatWasTickedFileByFile) {
    // Ticks: every other photo, one whole folder of the outline and one file elsewhere, two
    // contacts, every conversation (their attachments are copied), one note and one call;
    // bookmarks and calendar items stay unticked.
    const auto photos = records_.photoAndVideoArray();
    ASSERT_GE(photos.size(), 2u);
    std::vector<std::shared_ptr<PRPhotoAndVideoNode>> tickedPhotos;
    for (std::size_t i = 0; i < photos.size(); i += 2) {
        photos[i]->setBSelected(true);
        tickedPhotos.push_back(photos[i]);
    }
    const auto library = folderNamed(QStringLiteral("SMS"));
    ASSERT_TRUE(library);
    PRTreeController::setFolderChecked(library, true);
    const auto home = folderNamed(QStringLiteral("HomeDomain"));
    ASSERT_TRUE(home);
    std::shared_ptr<PRTreeFileNode> single;
    std::vector<std::shared_ptr<PRTreeDirNode>> pending{home};
    while (!single && !pending.empty()) {
        auto folder = pending.back();
        pending.pop_back();
        for (const auto& file : folder->fileChildren()) {
            if (file->isFile() && folder->isSelected() == PRTreeDirNode::kUnselected) {
                single = file;
                break;
            }
        }
        pending.insert(pending.end(), folder->children().begin(), folder->children().end());
    }
    ASSERT_TRUE(single);
    PRTreeController::setFileChecked(single, true);
    const auto contacts = records_.contactArray();
    ASSERT_GE(contacts.size(), 2u);
    contacts[0]->setBSelected(true);
    contacts[1]->setBSelected(true);
    const auto& conversations = grouping_.conversations();
    ASSERT_FALSE(conversations.empty());
    for (const auto& conversation : conversations) {
        conversation->setBSelected(true);
    }
    ASSERT_FALSE(records_.noteArray().empty());
    records_.noteArray().front()->setBSelected(true);
    ASSERT_FALSE(records_.callHistoryArray().empty());
    records_.callHistoryArray().front()->setBSelected(true);

    const auto backupBefore = nimbara::test::folderSnapshot(backup_);
    const RecoveryExportPlan plan = makeRecoveryExportPlan(selection());
    EXPECT_EQ(plan.media.size(), tickedPhotos.size());
    ASSERT_GT(plan.treeFiles.size(), 1u);
    std::size_t attachmentCopies = 0;
    for (const auto& conversation : plan.conversations) {
        for (const auto& message : conversation->MessageNodeArray()) {
            const QString type = message->attachType();
            attachmentCopies += type == QLatin1String("Contact") ||
                                type == QLatin1String("Location") || type == QLatin1String("Mov") ||
                                type == QLatin1String("Image");
        }
    }
    EXPECT_GT(attachmentCopies, 0u) << "the demo's conversations carry cards and locations";
    EXPECT_EQ(plan.steps(), plan.media.size() + plan.treeFiles.size() + 2 +
                                plan.conversations.size() + attachmentCopies + 1 + 1);

    const fs::path root = tmp_ / "export";
    fs::create_directory(root);
    const RecoveryExportSummary summary = exportPlan(plan, root);
    EXPECT_TRUE(summary.failed.empty()) << failuresOf(summary);
    EXPECT_FALSE(summary.stopped);

    // Every family has its folder, ticked or not.
    std::set<std::string> top;
    for (const auto& entry : fs::directory_iterator(root)) {
        top.insert(entry.path().filename().string());
    }
    EXPECT_EQ(top, (std::set<std::string>{"Amelia's iPhone", "BookMark", "Calendar&Reminder",
                                          "CallHistory", "Contact", "FaceBook&Twitter", "Message",
                                          "Note", "Photo&Video"}));

    // Photos: the stored bytes of each ticked one, under its own name.
    const auto media = filesBelow(root / "Photo&Video");
    std::multiset<std::string> expectedMedia;
    std::multiset<std::string> gotMedia;
    for (const auto& photo : tickedPhotos) {
        expectedMedia.insert(readText(photo->filePath().toStdString()));
    }
    for (const auto& [name, bytes] : media) {
        gotMedia.insert(bytes);
    }
    EXPECT_EQ(gotMedia, expectedMedia);
    std::multiset<std::string> tickedNames;
    for (const auto& photo : tickedPhotos) {
        tickedNames.insert(photo->fileNodeName().toStdString());
    }
    for (const std::string& name : tickedNames) {
        EXPECT_EQ(media.count(name), 1u) << name;  // the first of a name keeps it as it is
    }

    // Outline: every ticked file where the outline shows it, byte for byte, and nothing else.
    const auto outline = filesBelow(root / "Amelia's iPhone");
    EXPECT_EQ(outline.size(), plan.treeFiles.size());
    for (const PlannedTreeFile& file : plan.treeFiles) {
        const fs::path target = expectedOutlineTarget(root, file);
        ASSERT_TRUE(fs::is_regular_file(target)) << target;
        EXPECT_EQ(readText(target), readText(file.record->fileKey().toStdString())) << target;
    }

    // Contacts: the list and one card each.
    const std::string list = readText(root / "Contact" / "Contacts.txt");
    EXPECT_NE(list.find("Name:" + contacts[0]->contactName().toStdString() + "  "),
              std::string::npos);
    EXPECT_NE(list.find("Name:" + contacts[1]->contactName().toStdString() + "  "),
              std::string::npos);
    EXPECT_EQ(filesBelow(root / "Contact").size(), 3u);
    EXPECT_TRUE(fs::exists(root / "Contact" / (contacts[0]->contactName().toStdString() + ".vcf")));

    // Conversations: one page and the attachment copies.
    const auto messages = filesBelow(root / "Message");
    ASSERT_EQ(messages.count("Messages.html"), 1u);
    EXPECT_EQ(messages.size(), 1 + attachmentCopies);
    const std::string page = messages.at("Messages.html");
    EXPECT_NE(page.find("<title>Amelia&#39;s iPhone&#39;s Message</title>"), std::string::npos);
    for (const auto& conversation : plan.conversations) {
        EXPECT_NE(page.find(conversation->messageTreeNodeAdress().toStdString()),
                  std::string::npos);
    }
    EXPECT_EQ(filesBelow(root / "Note").size(), 1u);
    EXPECT_EQ(filesBelow(root / "CallHistory").size(), 1u);
    // The two lists of families with nothing ticked (bookmarks, calendar) are written empty.
    EXPECT_EQ(summary.written, media.size() + outline.size() + 3 + messages.size() + 2 + 2);

    // Reading the backup left it as it was.
    EXPECT_EQ(nimbara::test::folderSnapshot(backup_), backupBefore);
}

TEST_F(DemoExportTest, ThePlanIsTheTicksAtTheStartNotLaterChanges) {
    const auto contacts = records_.contactArray();
    ASSERT_GE(contacts.size(), 2u);
    contacts[0]->setBSelected(true);
    const auto& conversations = grouping_.conversations();
    ASSERT_FALSE(conversations.empty());
    conversations[0]->setBSelected(true);
    const std::size_t messagesAtStart = conversations[0]->messageCount();
    const RecoveryExportPlan plan = makeRecoveryExportPlan(selection());
    const std::uint64_t steps = plan.steps();

    // After the plan was taken: another tick, an untick and a message with a movie arriving.
    contacts[0]->setBSelected(false);
    contacts[1]->setBSelected(true);
    auto late = std::make_shared<PRMessageNode>();
    late->setMessageContent(QStringLiteral("arrived late"));
    late->setIsHasAttach(true);
    late->setAttachType(QStringLiteral("Mov"));
    late->setAttachmentPath(QString::fromStdString((backup_ / "missing.mov").string()));
    conversations[0]->addMessageNode(late);

    ASSERT_EQ(plan.conversations.size(), 1u);
    EXPECT_EQ(plan.conversations[0]->messageCount(), messagesAtStart);
    EXPECT_EQ(plan.steps(), steps);
    const fs::path root = tmp_ / "export";
    fs::create_directory(root);
    const RecoveryExportSummary summary = exportPlan(plan, root);
    EXPECT_TRUE(summary.failed.empty()) << failuresOf(summary);
    const std::string list = readText(root / "Contact" / "Contacts.txt");
    EXPECT_NE(list.find(contacts[0]->contactName().toStdString()), std::string::npos);
    EXPECT_EQ(list.find(contacts[1]->contactName().toStdString()), std::string::npos);
    EXPECT_EQ(readText(root / "Message" / "Messages.html").find("arrived late"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Backups made by hand: a folder of stored files, and records pointing into it.

class HandExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(backup_);
        fs::create_directories(root_);
        plan_.deviceName = QStringLiteral("Phone");
        plan_.backupFolder = QString::fromStdString(backup_.string());
    }

    // A stored file of the backup, by its name in the backup folder.
    QString store(const std::string& key, const std::string& bytes) {
        writeText(backup_ / key, bytes);
        return QString::fromStdString((backup_ / key).string());
    }

    std::shared_ptr<PRPhotoAndVideoNode> media(const QString& name, const QString& stored) {
        auto node = std::make_shared<PRPhotoAndVideoNode>();
        node->setFileNodeName(name);
        node->setFilePath(stored);
        node->setBSelected(true);
        return node;
    }

    static std::shared_ptr<PRContactNode> contact(const QString& name, const QString& phone) {
        auto node = std::make_shared<PRContactNode>();
        node->setContactName(name);
        node->setContactPhone(phone);
        node->setBSelected(true);
        return node;
    }

    TempDir tmp_;
    const fs::path backup_ = tmp_ / "backup";
    const fs::path root_ = tmp_ / "export";
    RecoveryExportPlan plan_;
};

TEST_F(HandExportTest, HostileNamesStayInsideTheExportFolder) {
    const std::vector<QString> hostile = {
        QStringLiteral("../../x"),    QStringLiteral("a/b"), QString(),
        QStringLiteral("$(touch x)"), QStringLiteral(".."),  QStringLiteral("x\nNUL\0y")};
    int n = 0;
    for (const QString& name : hostile) {
        plan_.media.push_back(
            media(name, store("m" + std::to_string(n), "media " + name.toStdString())));
        plan_.social.push_back([&] {
            auto node = std::make_shared<PRFaceTwitterNode>();
            node->setFaceTwitterFileName(name);
            node->setFaceTwitterFilePath(store("s" + std::to_string(n), "social"));
            return node;
        }());
        plan_.contacts.push_back(contact(name, QStringLiteral("555-01%1").arg(n)));
        ++n;
    }
    // An outline under a hostile device name, with hostile domain and folder names.
    PRTreeController tree;
    tree.setDeviceName(QStringLiteral("../../x"));
    for (const auto& [domain, path] : std::vector<std::pair<QString, QString>>{
             {QStringLiteral(".."), QStringLiteral("../../../y")},
             {QStringLiteral("HomeDomain"), QStringLiteral("a/../../b/$(touch x)")},
             {QStringLiteral("HomeDomain"), QStringLiteral("a//c")}}) {
        auto record = std::make_shared<PRTreeDirNode>();
        record->setFileDomain(domain);
        record->setFilePath(path);
        record->setFileKey(store("t" + std::to_string(n++), path.toStdString()));
        tree.addTreeNode(record);
    }
    PRTreeController::setFolderChecked(tree.content().front(), true);
    ExportSelection selection;
    selection.treeContent = tree.content();
    plan_.treeFiles = makeRecoveryExportPlan(selection).treeFiles;
    ASSERT_EQ(plan_.treeFiles.size(), 3u);
    // A conversation of a hostile name whose card attachment is named "..".
    auto conversation = std::make_shared<PRMessageTreeNode>();
    conversation->setMessageTreeNodeName(QStringLiteral("../../x"));
    auto card = std::make_shared<PRMessageNode>();
    card->setIsHasAttach(true);
    card->setAttachType(QStringLiteral("Contact"));
    card->setAttachmentPath(QString::fromStdString((backup_ / "cards" / "..").string()));
    conversation->addMessageNode(card);
    plan_.conversations.push_back(conversation);

    const fs::path cwd = fs::current_path();
    const bool xBefore = fs::exists(cwd / "x");
    const RecoveryExportSummary summary = exportPlan(plan_, root_);

    // Nothing outside the export folder: beside it there are still only the backup and it, and
    // no command ran.
    std::set<std::string> beside;
    for (const auto& entry : fs::directory_iterator(tmp_.path())) {
        beside.insert(entry.path().filename().string());
    }
    EXPECT_EQ(beside, (std::set<std::string>{"backup", "export"}));
    EXPECT_EQ(fs::exists(cwd / "x"), xBefore);
    const fs::path realRoot = fs::canonical(root_);
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
        const fs::path real = fs::canonical(entry.path());
        EXPECT_EQ(real.string().rfind(realRoot.string() + "/", 0), 0u) << real;
        EXPECT_FALSE(entry.is_symlink()) << entry.path();
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name != "." && name != ".." && name.find('\n') == std::string::npos) << name;
    }

    // Every item is there under a name of its own; the only failure is the card ".." (not a
    // file of the backup).
    ASSERT_EQ(summary.failed.size(), 1u) << failuresOf(summary);
    EXPECT_EQ(summary.failed[0].item, QStringLiteral("Message/.."));
    EXPECT_EQ(filesBelow(root_ / "Photo&Video").size(), hostile.size());
    EXPECT_EQ(filesBelow(root_ / "FaceBook&Twitter").size(), hostile.size());
    EXPECT_EQ(filesBelow(root_ / "Contact").size(), hostile.size() + 1);
    EXPECT_TRUE(fs::is_regular_file(root_ / "Photo&Video" / "$(touch x)"));
    EXPECT_TRUE(fs::is_regular_file(root_ / "Contact" / "$(touch x).vcf"));
    EXPECT_EQ(readText(root_ / "Photo&Video" / "a_b"), "media a/b");
    // The device name "../../x" is three folders of the outline: "..", "." (a domain-level name
    // loses its dot) and "x"; each "." or ".." is "_", an empty name "Untitled".
    EXPECT_EQ(filesBelow(root_ / "_"),
              (std::map<std::string, std::string>{
                  {"_/x/_/_/_/_/y", "../../../y"},
                  {"_/x/HomeDomain/a/_/_/b/$(touch x)", "a/../../b/$(touch x)"},
                  {"_/x/HomeDomain/a/Untitled/c", "a//c"}}));
}

TEST_F(HandExportTest, TwoContactsOfOneNameKeepBothCards) {
    plan_.contacts = {contact(QStringLiteral("Anna Berg"), QStringLiteral("555-0101")),
                      contact(QStringLiteral("Anna Berg"), QStringLiteral("555-0202"))};
    const RecoveryExportSummary summary = exportPlan(plan_, root_);
    EXPECT_TRUE(summary.failed.empty()) << failuresOf(summary);
    const auto cards = filesBelow(root_ / "Contact");
    ASSERT_EQ(cards.size(), 3u);
    EXPECT_NE(cards.at("Anna Berg.vcf").find("555-0101"), std::string::npos);
    EXPECT_NE(cards.at("Anna Berg (2).vcf").find("555-0202"), std::string::npos);
    const std::string list = cards.at("Contacts.txt");
    EXPECT_NE(list.find("555-0101"), std::string::npos);
    EXPECT_NE(list.find("555-0202"), std::string::npos);
}

TEST_F(HandExportTest, CopiesAreExactNeverPaddedToAStatedSize) {
    // A size stated larger than the file, and a file over several copy chunks.
    auto small = media(QStringLiteral("small.jpg"), store("small", "0123456789"));
    small->setFileSizeNumber(1 << 20);
    std::string large(3 * (1 << 20) + 1, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<char>(i * 7 + i / 4096);
    }
    plan_.media = {small, media(QStringLiteral("large.mov"), store("large", large))};
    const RecoveryExportSummary summary = exportPlan(plan_, root_);
    EXPECT_TRUE(summary.failed.empty()) << failuresOf(summary);
    EXPECT_EQ(readText(root_ / "Photo&Video" / "small.jpg"), "0123456789");
    EXPECT_EQ(readText(root_ / "Photo&Video" / "large.mov"), large);
}

TEST_F(HandExportTest, AFailingCopyIsCountedAndReported) {
    // One stored file is gone, one is a link out of the backup, one is fine.
    writeText(tmp_ / "outside", "not the backup's");
    fs::create_symlink(tmp_ / "outside", backup_ / "linked");
    plan_.media = {
        media(QStringLiteral("gone.jpg"), store("gone", "x")),
        media(QStringLiteral("linked.jpg"), QString::fromStdString((backup_ / "linked").string())),
        media(QStringLiteral("fine.jpg"), store("fine", "fine"))};
    fs::remove(backup_ / "gone");
    // An outline file the backup lists but does not hold.
    auto record = std::make_shared<PRTreeDirNode>();
    record->setFileDomain(QStringLiteral("HomeDomain"));
    record->setFilePath(QStringLiteral("Library/absent.db"));
    record->setStoredFile(false, 0);
    plan_.treeFiles.push_back(
        {record,
         {QStringLiteral("Phone"), QStringLiteral("HomeDomain"), QStringLiteral("Library")}});

    const RecoveryExportSummary summary = exportPlan(plan_, root_);
    EXPECT_EQ(summary.done, 4u);
    EXPECT_EQ(summary.written, 1u + kFamilyFiles.size());
    ASSERT_EQ(summary.failed.size(), 3u) << failuresOf(summary);
    EXPECT_EQ(summary.failed[0].item, QStringLiteral("Photo&Video/gone.jpg"));
    EXPECT_EQ(summary.failed[1].item, QStringLiteral("Photo&Video/linked.jpg"));
    EXPECT_EQ(summary.failed[2].item, QStringLiteral("Phone/HomeDomain/Library/absent.db"));
    // Reasons in plain words, without the target's path in front.
    EXPECT_TRUE(
        summary.failed[0].reason.startsWith(QStringLiteral("the backup's file can't be read: ")))
        << summary.failed[0].reason.toStdString();
    EXPECT_TRUE(
        summary.failed[1].reason.startsWith(QStringLiteral("the backup's file can't be read: ")))
        << summary.failed[1].reason.toStdString();
    EXPECT_EQ(summary.failed[2].reason,
              QStringLiteral("the backup lists this file but does not hold it"));
    // Nothing half made: only the good copy (no partial or empty files of the others).
    EXPECT_EQ(recordsBelow(root_),
              (std::map<std::string, std::string>{{"Photo&Video/fine.jpg", "fine"}}));
}

TEST_F(HandExportTest, NothingTickedWritesNothing) {
    ExportSelection selection;
    selection.contactArray = {contact(QStringLiteral("A"), QString())};
    selection.contactArray[0]->setBSelected(false);
    auto conversation = std::make_shared<PRMessageTreeNode>();
    selection.messageTreeArray = {conversation};
    PRTreeController tree;
    tree.setDeviceName(QStringLiteral("Phone"));
    auto record = std::make_shared<PRTreeDirNode>();
    record->setFileDomain(QStringLiteral("HomeDomain"));
    record->setFilePath(QStringLiteral("a/b"));
    tree.addTreeNode(record);
    selection.treeContent = tree.content();

    const RecoveryExportPlan plan = makeRecoveryExportPlan(selection);
    EXPECT_TRUE(plan.empty());
    EXPECT_EQ(plan.steps(), 0u);
    EXPECT_EQ(exportPercent(0, plan.steps()), 0);
    const RecoveryExportSummary summary = exportPlan(plan, root_);
    EXPECT_TRUE(summary.failed.empty());
    EXPECT_EQ(summary.written, 0u);
    EXPECT_TRUE(fs::is_empty(root_));
}

TEST_F(HandExportTest, AnExistingFileIsNeverReplaced) {
    writeText(root_ / "Contact" / "Contacts.txt", "earlier list");
    writeText(root_ / "Contact" / "Anna.vcf", "earlier card");
    writeText(root_ / "Photo&Video" / "IMG_1.JPG", "earlier photo");
    writeText(root_ / "Message" / "Messages.html", "earlier page");
    plan_.contacts = {contact(QStringLiteral("Anna"), QStringLiteral("555"))};
    plan_.media = {media(QStringLiteral("IMG_1.JPG"), store("p", "new photo"))};
    plan_.conversations = {std::make_shared<PRMessageTreeNode>()};

    const RecoveryExportSummary summary = exportPlan(plan_, root_);
    EXPECT_TRUE(summary.failed.empty()) << failuresOf(summary);
    EXPECT_EQ(readText(root_ / "Contact" / "Contacts.txt"), "earlier list");
    EXPECT_EQ(readText(root_ / "Contact" / "Anna.vcf"), "earlier card");
    EXPECT_EQ(readText(root_ / "Photo&Video" / "IMG_1.JPG"), "earlier photo");
    EXPECT_EQ(readText(root_ / "Message" / "Messages.html"), "earlier page");
    EXPECT_NE(readText(root_ / "Contact" / "Contacts (2).txt").find("Name:Anna  "),
              std::string::npos);
    EXPECT_NE(readText(root_ / "Contact" / "Anna (2).vcf").find("555"), std::string::npos);
    EXPECT_EQ(readText(root_ / "Photo&Video" / "IMG_1 (2).JPG"), "new photo");
    EXPECT_TRUE(fs::is_regular_file(root_ / "Message" / "Messages (2).html"));
}

TEST_F(HandExportTest, ALinkInTheExportFolderIsNeverWrittenThrough) {
    // A family folder that is a link to elsewhere, and a device folder that is a file.
    fs::create_directories(tmp_ / "elsewhere");
    fs::create_directory_symlink(tmp_ / "elsewhere", root_ / "Contact");
    writeText(root_ / "Phone", "a file where the outline's folder would go");
    plan_.contacts = {contact(QStringLiteral("Anna"), QStringLiteral("555"))};
    auto record = std::make_shared<PRTreeDirNode>();
    record->setFileDomain(QStringLiteral("HomeDomain"));
    record->setFilePath(QStringLiteral("a"));
    record->setFileKey(store("a", "a"));
    plan_.treeFiles.push_back({record, {QStringLiteral("Phone"), QStringLiteral("HomeDomain")}});
    plan_.notes = {std::make_shared<PRNoteNode>()};

    const RecoveryExportSummary summary = exportPlan(plan_, root_);
    EXPECT_TRUE(fs::is_empty(tmp_ / "elsewhere"));
    EXPECT_EQ(readText(root_ / "Phone"), "a file where the outline's folder would go");
    ASSERT_EQ(summary.failed.size(), 2u) << failuresOf(summary);
    EXPECT_EQ(summary.failed[0].item, QStringLiteral("Phone/HomeDomain/a"));
    EXPECT_EQ(summary.failed[1].item, QStringLiteral("Contact/Contacts.txt"));
    // The other families still go out.
    EXPECT_TRUE(fs::is_regular_file(root_ / "Note" / "Notes.txt"));
}

TEST_F(HandExportTest, OnlyMediaTickedStillMakesEveryFamilyWithItsEmptyList) {
    plan_.media = {media(QStringLiteral("IMG_1.JPG"), store("m1", "photo"))};
    plan_.deviceName = QStringLiteral("Phone");

    const RecoveryExportSummary summary = exportPlan(plan_, root_);
    EXPECT_TRUE(summary.failed.empty()) << failuresOf(summary);
    for (const char* folder : {"Photo&Video", "Phone", "Contact", "Message", "Note", "CallHistory",
                               "BookMark", "Calendar&Reminder", "FaceBook&Twitter"}) {
        EXPECT_TRUE(fs::is_directory(root_ / folder)) << folder;
    }
    for (const std::string& list : kFamilyFiles) {
        EXPECT_TRUE(fs::is_regular_file(root_ / list)) << list;
    }
    EXPECT_EQ(readText(root_ / "Note" / "Notes.txt"), "");
    EXPECT_EQ(recordsBelow(root_),
              (std::map<std::string, std::string>{{"Photo&Video/IMG_1.JPG", "photo"}}));
}

TEST_F(HandExportTest, ConversationPagesEscapeEveryBackupText) {
    auto conversation = std::make_shared<PRMessageTreeNode>();
    conversation->setMessageTreeNodeName(QStringLiteral("<b>Eve</b>"));
    conversation->setMessageTreeNodeAdress(QStringLiteral("eve@example.com"));
    auto message = std::make_shared<PRMessageNode>();
    message->setMessageName(QStringLiteral("Eve & co"));
    message->setMessageContent(QStringLiteral("<script>alert('x')</script>"));
    message->setMessageType(QStringLiteral("Received"));
    conversation->addMessageNode(message);
    plan_.conversations = {conversation};
    plan_.deviceName = QStringLiteral("<i>Phone</i>");

    const RecoveryExportSummary summary = exportPlan(plan_, root_);
    EXPECT_TRUE(summary.failed.empty()) << failuresOf(summary);
    const std::string page = readText(root_ / "Message" / "Messages.html");
    EXPECT_EQ(page.find("<script>"), std::string::npos);
    EXPECT_EQ(page.find("<b>Eve"), std::string::npos);
    EXPECT_EQ(page.find("<i>Phone"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.find("Eve &amp; co"), std::string::npos);
}

TEST_F(HandExportTest, OutlineFoldersAndFilesAsTicked) {
    // A fully ticked empty folder is made (and is no step); a ticked file of a partly ticked
    // folder goes; an unticked sibling and a folder left unticked do not; ".x" and "x" stay two.
    PRTreeController tree;
    tree.setDeviceName(QStringLiteral("Phone"));
    const auto add = [&](const QString& path, PRTreeDirNode::EntryKind kind) {
        auto record = std::make_shared<PRTreeDirNode>();
        record->setFileDomain(QStringLiteral("HomeDomain"));
        record->setFilePath(path);
        record->setEntryKind(kind);
        if (kind == PRTreeDirNode::EntryKind::File) {
            record->setFileKey(store(path.toStdString().substr(path.lastIndexOf('/') + 1) + "-k",
                                     path.toStdString()));
        }
        tree.addTreeNode(record);
    };
    add(QStringLiteral("Library/empty"), PRTreeDirNode::EntryKind::Folder);
    add(QStringLiteral("Library/Prefs/.x"), PRTreeDirNode::EntryKind::File);
    add(QStringLiteral("Library/Prefs/x"), PRTreeDirNode::EntryKind::File);
    add(QStringLiteral("Library/Prefs/y"), PRTreeDirNode::EntryKind::File);
    add(QStringLiteral("Documents/z"), PRTreeDirNode::EntryKind::File);
    const auto homeDomain = tree.content().front()->children().front();
    std::shared_ptr<PRTreeDirNode> library;
    for (const auto& child : homeDomain->children()) {
        if (child->fileName() == QStringLiteral("Library")) {
            library = child;
        }
    }
    ASSERT_TRUE(library);
    std::shared_ptr<PRTreeDirNode> empty;
    std::shared_ptr<PRTreeDirNode> prefs;
    for (const auto& child : library->children()) {
        (child->fileName() == QStringLiteral("empty") ? empty : prefs) = child;
    }
    ASSERT_TRUE(empty && prefs);
    PRTreeController::setFolderChecked(empty, true);
    ASSERT_EQ(prefs->fileChildren().size(), 3u);
    PRTreeController::setFileChecked(prefs->fileChildren()[0], true);
    PRTreeController::setFileChecked(prefs->fileChildren()[1], true);

    ExportSelection selection;
    selection.backupFolder = plan_.backupFolder;
    selection.treeContent = tree.content();
    const RecoveryExportPlan plan = makeRecoveryExportPlan(selection);
    EXPECT_EQ(plan.treeFolders.size(), 1u);
    EXPECT_EQ(plan.steps(), 2u);
    const RecoveryExportSummary summary = exportPlan(plan, root_);
    EXPECT_TRUE(summary.failed.empty()) << failuresOf(summary);
    EXPECT_TRUE(fs::is_directory(root_ / "Phone/HomeDomain/Library/empty"));
    EXPECT_EQ(recordsBelow(root_), (std::map<std::string, std::string>{
                                       {"Phone/HomeDomain/Library/Prefs/_x", "Library/Prefs/.x"},
                                       {"Phone/HomeDomain/Library/Prefs/x", "Library/Prefs/x"}}));
}

TEST_F(HandExportTest, ADeviceNamedLikeAFamilyFolderKeepsItsOwnFolder) {
    plan_.contacts = {contact(QStringLiteral("Anna"), QString())};
    auto record = std::make_shared<PRTreeDirNode>();
    record->setFileDomain(QStringLiteral("HomeDomain"));
    record->setFilePath(QStringLiteral("Contacts.txt"));
    record->setFileKey(store("c", "from the backup"));
    plan_.treeFiles.push_back({record, {QStringLiteral("Contact"), QStringLiteral("HomeDomain")}});
    const RecoveryExportSummary summary = exportPlan(plan_, root_);
    EXPECT_TRUE(summary.failed.empty()) << failuresOf(summary);
    EXPECT_EQ(readText(root_ / "Contact (2)" / "HomeDomain" / "Contacts.txt"), "from the backup");
    EXPECT_NE(readText(root_ / "Contact" / "Contacts.txt").find("Name:Anna"), std::string::npos);
}

TEST(RecoveryExportProgressTest, PercentRunsFromZeroToAHundredAndNeverPast) {
    EXPECT_EQ(exportPercent(0, 0), 0);
    EXPECT_EQ(exportPercent(5, 0), 0);
    EXPECT_EQ(exportPercent(0, 7), 0);
    EXPECT_EQ(exportPercent(1, 3), 33);
    EXPECT_EQ(exportPercent(2, 3), 66);
    EXPECT_EQ(exportPercent(3, 3), 100);
    EXPECT_EQ(exportPercent(4, 3), 100);
    EXPECT_EQ(exportPercent(UINT64_MAX - 1, UINT64_MAX), 99);
    EXPECT_EQ(exportPercent(UINT64_MAX / 2, UINT64_MAX), 49);
}

TEST_F(HandExportTest, MovieAttachmentsAreStepsOfThePlan) {
    // Every attachment copy is a step the plan counts, so the count ends at the total exactly.
    auto conversation = std::make_shared<PRMessageTreeNode>();
    for (const char* type : {"Mov", "Mov", "Contact", "Location", "Image"}) {
        auto message = std::make_shared<PRMessageNode>();
        message->setIsHasAttach(true);
        message->setAttachType(QLatin1String(type));
        message->setAttachmentPath(store(std::string("att-") + type, type));
        conversation->addMessageNode(message);
    }
    plan_.conversations = {conversation};
    EXPECT_EQ(plan_.steps(), 6u);
    const RecoveryExportSummary summary = exportPlan(plan_, root_);
    EXPECT_TRUE(summary.failed.empty()) << failuresOf(summary);
    const auto files = filesBelow(root_ / "Message");
    EXPECT_EQ(files.size(), 6u);
    EXPECT_EQ(files.count("att-Image"), 1u);  // the picture the page shows, beside it
    EXPECT_EQ(files.count("att-Mov.mov"), 1u);
    EXPECT_EQ(files.count("att-Mov (2).mov"), 1u);
    EXPECT_EQ(files.count("att-Contact.vcf"), 1u);
    EXPECT_EQ(files.count("att-Location.vcf"), 1u);
}

TEST_F(HandExportTest, AStopEndsTheRunAndLeavesNoHalfFile) {
    for (int i = 0; i < 5; ++i) {
        plan_.media.push_back(
            media(QStringLiteral("p%1.jpg").arg(i), store("p" + std::to_string(i), "p")));
    }
    RecoveryExportProgress progress;
    const std::atomic<bool> stop{true};
    const RecoveryExportSummary summary = runRecoveryExport(plan_, root_, progress, stop);
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(progress.done.load(), 0u);
    EXPECT_TRUE(summary.failed.empty());
    EXPECT_TRUE(fs::is_empty(root_));

    // A copy stopped between chunks is discarded, its name given back.
    std::string large(3 << 20, 'z');
    writeText(tmp_ / "large", large);
    const int fd = ::open((tmp_ / "large").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int asked = 0;
    const auto copy = nimbara::backup::copyToExportFile(
        fd, root_, QStringLiteral("large"), ".bin", QString(), [&asked] { return ++asked > 1; });
    ::close(fd);
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(copy.ok);
    EXPECT_TRUE(copy.error.ends_with(": stopped")) << copy.error;
    EXPECT_TRUE(fs::is_empty(root_));
}

TEST_F(HandExportTest, AJobRunsOnItsOwnThreadAndEndsWithItsSummary) {
    for (int i = 0; i < 40; ++i) {
        plan_.media.push_back(
            media(QStringLiteral("p%1.jpg").arg(i), store("p" + std::to_string(i), "photo")));
    }
    RecoveryExportJob job(plan_, root_);
    EXPECT_TRUE(job.finished());  // not started
    EXPECT_EQ(job.total(), 40u);
    job.start();
    int lastPercent = 0;
    for (int i = 0; i < 5000 && !job.finished(); ++i) {
        const int percent = exportPercent(job.done(), job.total());
        EXPECT_GE(percent, lastPercent);
        EXPECT_LE(percent, 100);
        lastPercent = percent;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(job.finished());
    const RecoveryExportSummary summary = job.summary();
    EXPECT_EQ(summary.done, 40u);
    EXPECT_EQ(summary.written, 40u + kFamilyFiles.size());
    EXPECT_EQ(exportPercent(job.done(), job.total()), 100);
    EXPECT_EQ(filesBelow(root_ / "Photo&Video").size(), 40u);
}

}  // namespace
