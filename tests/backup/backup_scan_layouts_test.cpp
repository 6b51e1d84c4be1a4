// A whole backup scan over backups of the demo iPhone in both storage layouts, the older one
// (Manifest.mbdb, files flat in the folder) and the newer one (Manifest.db, files in two-digit
// subfolders): every record reaches the scan's own centre and the backup stays byte for byte.
#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "backup/backup_scan.h"
#include "backup/backup_scan_readers.h"
#include "backup/contact_reader.h"
#include "backup/manifest_pass.h"
#include "backup/pr_photo_and_video_node.h"
#include "backup_messages.h"
#include "backup_snapshot.h"
#include "backup_source.h"
#include "backup_writer.h"
#include "platform/notification_center.h"
#include "scan_posts.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::backup;
using nimbara::NotificationCenter;
using nimbara::test::folderSnapshot;
using nimbara::test::readText;
using nimbara::test::TempDir;

struct Layout {
    const char* name;
    const char* version;  // the product version the backup is written for
    bool sharded;         // Manifest.db and two-digit subfolders
};

void PrintTo(const Layout& layout, std::ostream* out) {
    *out << layout.name << " (" << layout.version << ")";
}

const Layout kLayouts[] = {{"Legacy", "9.3.5", false}, {"Current", "12.4", true}};

using Posted = nimbara::test::ScanPosts;

using nimbara::test::resultOf;

// The values of the steps that post one (the readers', then the deleted records'), in plan order,
// end every scan; the manifest pass counts within 0..20 before them.
void expectProgressEndsWithTheStepValues(const std::vector<int>& progress) {
    std::vector<int> fixed;
    const BackupScanPlan plan = wiredBackupScanPlan(nullptr);
    for (const ScanStep& step : plan.steps()) {
        if (step.progressAfter >= 0) {
            fixed.push_back(step.progressAfter);
        }
    }
    ASSERT_GE(progress.size(), fixed.size());
    const auto tail = progress.end() - static_cast<std::ptrdiff_t>(fixed.size());
    EXPECT_EQ(std::vector<int>(tail, progress.end()), fixed);
    EXPECT_TRUE(std::all_of(progress.begin(), tail, [](int p) { return p >= 0 && p <= 20; }));
}

// Readers not built yet are reported as such, never as done.
void expectUnbuiltStepsNotAvailable(const BackupScanSummary& summary) {
    const BackupScanPlan plan = wiredBackupScanPlan(nullptr);
    ASSERT_EQ(summary.steps.size(), plan.steps().size());
    for (const ScanStep& step : plan.steps()) {
        if (!step.runner) {
            EXPECT_EQ(resultOf(summary, step.kind).outcome, ScanStepOutcome::NotAvailable)
                << step.title.toStdString();
        }
    }
}

class DemoBackupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(nimbara::simdev::makeDemoDevice(device_, &error)) << error;
    }

    nimbara::simdev::BackupResult writeDemoBackup(const std::string& version) {
        nimbara::simdev::BackupOptions options;
        options.iosVersionOverride = version;
        return nimbara::simdev::writeBackup(device_, tmp_ / "backups", options);
    }

    // Runs the wired plan over the folder with a private centre and notes whether anything of
    // the scan reached the process's default centre instead.
    BackupScanSummary scan(const fs::path& folder) {
        Posted leaked(NotificationCenter::defaultCenter());
        const BackupScanSummary summary = nimbara::test::runWiredScan(folder, center_, records_);
        leakedNothing_ = leaked.empty();
        return summary;
    }

    // The demo's people as the address book reader names them, checked on a few.
    void expectTheDemoPeople(const std::vector<std::shared_ptr<PRContactNode>>& contacts) {
        ASSERT_EQ(contacts.size(), nimbara::simdev::demoContacts().size());
        std::vector<QString> names;
        for (const auto& contact : contacts) {
            ASSERT_TRUE(contact);
            names.push_back(contact->contactName());
        }
        EXPECT_EQ(names.front(), QStringLiteral("Amelia Hartwell"));
        EXPECT_EQ(contacts.front()->contactPhone(),
                  QStringLiteral(" +1 (415) 555-0188 +1 (415) 555-0102"));
        EXPECT_FALSE(contacts.front()->imageData().isEmpty());
        for (const char* name : {"Chiara Lucia Ventimiglia", "Mom", "Priya Raman"}) {
            EXPECT_NE(std::find(names.begin(), names.end(), QString::fromUtf8(name)), names.end())
                << name;
        }
        EXPECT_EQ(records_->contacts().size(), contacts.size());
    }

    TempDir tmp_;
    const fs::path device_ = tmp_ / "demo";
    NotificationCenter center_;
    Posted posted_{center_};
    bool leakedNothing_ = false;
    std::shared_ptr<BackupScanRecords> records_ = std::make_shared<BackupScanRecords>();
};

class BackupScanLayoutsTest : public DemoBackupTest,
                              public ::testing::WithParamInterface<Layout> {};

TEST_P(BackupScanLayoutsTest, FindsEveryRecordAndLeavesTheBackupAsItWas) {
    const Layout& layout = GetParam();
    const auto written = writeDemoBackup(layout.version);
    ASSERT_TRUE(written.ok) << written.error;
    const fs::path folder = written.folder;
    ASSERT_EQ(written.legacyLayout, !layout.sharded);
    ASSERT_EQ(fs::is_regular_file(folder / "Manifest.db"), layout.sharded);
    ASSERT_FALSE(fs::exists(folder / (layout.sharded ? "Manifest.mbdb" : "Manifest.db")));
    const auto before = folderSnapshot(folder);

    const BackupScanSummary summary = scan(folder);
    EXPECT_FALSE(summary.stopped);
    EXPECT_EQ(resultOf(summary, ScanStepKind::Manifest).outcome, ScanStepOutcome::Done);
    EXPECT_EQ(resultOf(summary, ScanStepKind::Contacts).outcome, ScanStepOutcome::Done);
    expectUnbuiltStepsNotAvailable(summary);
    EXPECT_TRUE(leakedNothing_) << "the scan posted on the default centre";
    expectTheDemoPeople(posted_.contacts);
    expectProgressEndsWithTheStepValues(posted_.progress);

    // Every listed entry, each file pointing at its stored copy with the original bytes.
    int files = 0;
    int folders = 0;
    for (const auto& entry : posted_.entries) {
        ASSERT_TRUE(entry);
        const std::string domain = entry->fileDomain().toStdString();
        const std::string path = entry->filePath().toStdString();
        // The domain itself is listed as a folder with an empty path.
        const fs::path source =
            path.empty() ? fs::path() : nimbara::simdev::backupSourcePath(device_, domain, path);
        if (path.empty() || fs::is_directory(source)) {
            ++folders;
            continue;
        }
        ++files;
        const fs::path stored = entry->fileKey().toStdString();
        const std::string key = stored.filename().string();
        ASSERT_EQ(key.size(), 40u) << domain << "-" << path;
        EXPECT_EQ(stored.parent_path(), layout.sharded ? folder / key.substr(0, 2) : folder);
        EXPECT_TRUE(fs::is_regular_file(stored)) << domain << "-" << path;
        EXPECT_EQ(readText(stored), readText(source)) << domain << "-" << path;
    }
    EXPECT_EQ(files, written.files);
    EXPECT_EQ(folders, written.folders);
    EXPECT_FALSE(records_->treeFiles().empty());

    // The photos are exactly the camera roll the backup holds.
    std::map<std::string, fs::path> cameraRoll;
    const fs::path dcim =
        nimbara::simdev::backupSourcePath(device_, "CameraRollDomain", "Media/DCIM");
    for (const auto& file : fs::recursive_directory_iterator(dcim)) {
        if (file.is_regular_file()) {
            cameraRoll[file.path().filename().string()] = file.path();
        }
    }
    ASSERT_FALSE(cameraRoll.empty());
    // The pictures and movies sent in messages are media of the backup as well.
    std::map<std::string, bool> messageMedia;
    for (const auto& message : nimbara::simdev::demoMessages()) {
        if (message.attachment && message.attachment->mimeType.rfind("text/", 0) != 0) {
            messageMedia[message.attachment->name] =
                message.attachment->mimeType == "video/quicktime";
        }
    }
    std::map<std::string, fs::path> photos;
    for (const auto& photo : posted_.photos) {
        ASSERT_TRUE(photo);
        const std::string name = photo->fileNodeName().toStdString();
        if (const auto it = messageMedia.find(name); it != messageMedia.end()) {
            EXPECT_EQ(photo->bmov(), it->second) << name;
            continue;
        }
        EXPECT_FALSE(photo->bmov());
        photos[name] = photo->filePath().toStdString();
    }
    EXPECT_EQ(posted_.photos.size(), cameraRoll.size() + messageMedia.size());
    for (const auto& [name, source] : cameraRoll) {
        ASSERT_EQ(photos.count(name), 1u) << name;
        EXPECT_EQ(readText(photos[name]), readText(source)) << name;
        EXPECT_EQ(photos[name].string().rfind(folder.string() + "/", 0), 0u) << name;
    }

    // Read only: the same bytes, and no journal, log or other new file beside the lists.
    EXPECT_EQ(folderSnapshot(folder), before);
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, BackupScanLayoutsTest, ::testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

// A damaged database fails its own step with a reason; the scan reads on and changes nothing.
TEST_F(DemoBackupTest, AGarbageDatabaseFailsOnlyItsOwnStep) {
    const auto written = writeDemoBackup("12.4");
    ASSERT_TRUE(written.ok) << written.error;
    const std::string book = std::string(kAddressBookKey).substr(0, 2) + "/" + kAddressBookKey;
    const std::string header("SQLite format 3", 16);
    const struct {
        std::string file;
        std::string lead;  // the noise follows it
        ScanStepKind fails;
        ScanStepKind reads;
    } damages[] = {{"Manifest.db", "", ScanStepKind::Manifest, ScanStepKind::Contacts},
                   {"Manifest.db", header, ScanStepKind::Manifest, ScanStepKind::Contacts},
                   {book, header, ScanStepKind::Contacts, ScanStepKind::Manifest}};
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.file + (damage.lead.empty() ? " noise" : " header and noise"));
        TempDir copyRoot;
        const fs::path folder = copyRoot / "backup";
        fs::copy(written.folder, folder, fs::copy_options::recursive);
        ASSERT_TRUE(fs::is_regular_file(folder / damage.file));
        std::mt19937 random(7);
        std::string garbage = damage.lead;
        while (garbage.size() < 8192) {
            garbage += static_cast<char>(random() & 0xFF);
        }
        nimbara::test::writeText(folder / damage.file, garbage);
        const auto before = folderSnapshot(folder);
        posted_.clear();

        const BackupScanSummary summary = scan(folder);
        const ScanStepResult failed = resultOf(summary, damage.fails);
        EXPECT_EQ(failed.outcome, ScanStepOutcome::Failed);
        EXPECT_FALSE(failed.message.isEmpty());
        EXPECT_EQ(resultOf(summary, damage.reads).outcome, ScanStepOutcome::Done);
        expectUnbuiltStepsNotAvailable(summary);
        EXPECT_TRUE(leakedNothing_) << "the scan posted on the default centre";
        // Each step still ends with its value, once.
        expectProgressEndsWithTheStepValues(posted_.progress);
        if (damage.fails == ScanStepKind::Manifest) {
            // The address book is found by its key without the list.
            EXPECT_TRUE(posted_.entries.empty());
            EXPECT_TRUE(records_->treeFiles().empty());
            expectTheDemoPeople(posted_.contacts);
        } else {
            EXPECT_EQ(static_cast<int>(posted_.entries.size()), written.files + written.folders);
            EXPECT_TRUE(posted_.contacts.empty());
        }
        EXPECT_EQ(folderSnapshot(folder), before);
    }
}

}  // namespace
