// The archive and reinstall jobs of the large-file finder on simulated devices: what lands in the
// export folder, what the device keeps, and that no archive the device hands over (however it is
// made) costs the user the app or writes outside the job's scratch folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cleanup/app_archive_jobs.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "platform/scratch_dir.h"
#include "quick_clean_test_support.h"

namespace fs = std::filesystem;

namespace nimbara::test {
namespace {

using cleanup::AppJobResult;
using cleanup::AppJobTarget;
using Outcome = AppJobResult::Outcome;

constexpr const char* kNotes = "com.example.notes";

bool hasEntryLike(const std::set<std::string>& names, const std::string& prefix,
                  const std::string& suffix) {
    for (const auto& name : names) {
        if (name.starts_with(prefix) && name.ends_with(suffix)) {
            return true;
        }
    }
    return false;
}

std::string infoPlist(const std::string& bundleId) {
    PlistValue info = PlistValue::dict();
    info["CFBundleIdentifier"] = bundleId;
    info["CFBundleDisplayName"] = "Notes";
    info["CFBundleName"] = "Notes";
    return info.toXml();
}

// The mode of a link entry of a hand-made archive (a link to the entry's text).
constexpr unsigned kLink = S_IFLNK | 0777;

class AppArchiveJobsTest : public QuickCleanTest {
  protected:
    void SetUp() override {
        QuickCleanTest::SetUp();
        exportFolder_ = tmp_ / "Pellucor";
    }

    simdev::SimDeviceBuilder& device() {
        if (!device_) {
            device_ = std::make_unique<simdev::SimDeviceBuilder>(builder("phone"));
        }
        return *device_;
    }
    void addNotes(const std::string& type = "User") {
        simdev::AppSpec app;
        app.bundleId = kNotes;
        app.displayName = "Notes";
        app.type = type;
        device().addApp(app);
        device().addContainerText(kNotes, "/Documents/note.txt", "my note");
    }
    AppJobTarget attachTarget() {
        const int index = attachBuilt(device());
        EXPECT_GE(index, 0);
        return {index, serialOf(index), kNotes};
    }

    fs::path deviceArchive() const {
        return mediaFile("phone", std::string("/ApplicationArchives/") + kNotes + ".zip");
    }
    fs::path appDir() const { return deviceDir("phone") / "apps" / kNotes; }
    bool installed() const { return fs::exists(appDir() / "attributes.plist"); }
    // What the jobs leave in their scratch space: nothing, once they ended.
    std::vector<std::string> exported() const {
        return fs::exists(exportFolder_) ? folderNames(exportFolder_) : std::vector<std::string>{};
    }
    std::vector<std::string> scratchLeft() const {
        return folderNames(scratchFolder("app-archives"));
    }

    // A stop check that never stops but, the first time the device holds the app's archive,
    // replaces it with `entries`: the device hands over that archive instead of its own.
    cleanup::AppJobStopCheck handOver(std::vector<ZipEntry> entries) {
        return [this, entries = std::move(entries), done = false]() mutable {
            if (!done && fs::exists(deviceArchive())) {
                done = true;
                EXPECT_TRUE(writeZip(deviceArchive(), entries));
            }
            return false;
        };
    }
    // A stop check that detaches the device as soon as it holds the app's archive.
    cleanup::AppJobStopCheck detachOnArchive() {
        return [this] {
            if (fs::exists(deviceArchive())) {
                library_->detach(deviceDir("phone").string());
            }
            return false;
        };
    }

    fs::path exportFolder_;
    std::unique_ptr<simdev::SimDeviceBuilder> device_;
};

TEST_F(AppArchiveJobsTest, ArchivesIntoTheFolderNumberingASecondCopyAndTheDeviceKeepsNone) {
    addNotes();
    const AppJobTarget target = attachTarget();

    const AppJobResult first =
        cleanup::archiveAppToFolder(target, QString::fromStdString(exportFolder_));
    ASSERT_EQ(first.outcome, Outcome::Done) << first.message.toStdString();
    const fs::path zip = exportFolder_ / (std::string(kNotes) + ".zip");
    EXPECT_EQ(first.archivePath.toStdString(), zip.string());
    const auto names = zipNames(zip);
    EXPECT_TRUE(hasEntryLike(names, "Payload/", ".app/Info.plist"));
    EXPECT_TRUE(names.count("Container/Documents/note.txt")) << "documents and application";
    EXPECT_FALSE(fs::exists(deviceArchive())) << "the device keeps no archive";
    EXPECT_TRUE(installed()) << "archiving keeps the app";
    EXPECT_NE(first.message.indexOf("Notes"), -1);

    const std::string before = readText(zip);
    const AppJobResult second =
        cleanup::archiveAppToFolder(target, QString::fromStdString(exportFolder_));
    ASSERT_EQ(second.outcome, Outcome::Done) << second.message.toStdString();
    EXPECT_EQ(second.archivePath.toStdString(),
              (exportFolder_ / (std::string(kNotes) + " (2).zip")).string());
    EXPECT_EQ(readText(zip), before) << "an earlier archive is never replaced";
    EXPECT_EQ(exported().size(), 2u);
    EXPECT_FALSE(fs::exists(deviceArchive()));
    EXPECT_TRUE(scratchLeft().empty());
}

TEST_F(AppArchiveJobsTest, ARefusedOrMissingAppIsReportedAndNothingIsWritten) {
    addNotes();
    device().setFault(md::sim::kFaultNoAppArchives, PlistValue(true));
    AppJobTarget target = attachTarget();

    const AppJobResult refused =
        cleanup::archiveAppToFolder(target, QString::fromStdString(exportFolder_));
    EXPECT_EQ(refused.outcome, Outcome::Refused);
    EXPECT_NE(refused.message.indexOf("doesn't make app archives"), -1)
        << refused.message.toStdString();
    EXPECT_TRUE(refused.archivePath.isEmpty());
    EXPECT_TRUE(exported().empty());

    const AppJobResult reinstall = cleanup::reinstallApp(target);
    EXPECT_EQ(reinstall.outcome, Outcome::Refused);
    EXPECT_TRUE(installed());

    target.bundleId = "com.example.gone";
    const AppJobResult missing =
        cleanup::archiveAppToFolder(target, QString::fromStdString(exportFolder_));
    EXPECT_EQ(missing.outcome, Outcome::Failed);
    EXPECT_EQ(missing.message.toStdString(), "This app is no longer on the device.");

    target.bundleId = "../apps";
    EXPECT_EQ(cleanup::reinstallApp(target).outcome, Outcome::Failed);
    EXPECT_TRUE(scratchLeft().empty());
}

TEST_F(AppArchiveJobsTest, ReinstallsFromAFreshArchiveAndLeavesTheUsersArchiveAlone) {
    addNotes();
    const AppJobTarget target = attachTarget();
    fs::create_directories(exportFolder_);
    const fs::path earlier = exportFolder_ / (std::string(kNotes) + ".zip");
    writeText(earlier, "the user's earlier archive of everything");

    const AppJobResult done =
        cleanup::reinstallApp(target, {}, QString::fromStdString(exportFolder_));
    ASSERT_EQ(done.outcome, Outcome::Done) << done.message.toStdString();
    EXPECT_TRUE(installed());
    const auto attributes = PlistValue::readFile((appDir() / "attributes.plist").string());
    ASSERT_TRUE(attributes);
    EXPECT_EQ((*attributes)["CFBundleIdentifier"].toString(), kNotes);
    EXPECT_EQ((*attributes)["ApplicationType"].toString(), "User");
    EXPECT_FALSE(fs::exists(appDir() / "container/Documents/note.txt"))
        << "back to the state of its first installation";
    EXPECT_GT(done.staticDiskUsage, 0u);
    EXPECT_EQ(readText(earlier), "the user's earlier archive of everything");
    EXPECT_EQ(exported(), std::vector<std::string>{std::string(kNotes) + ".zip"});
    EXPECT_FALSE(fs::exists(deviceArchive()));
    EXPECT_TRUE(scratchLeft().empty());
}

TEST_F(AppArchiveJobsTest, BuiltInAppsAreNeitherArchivedNorReinstalled) {
    addNotes("System");
    const AppJobTarget target = attachTarget();
    const AppJobResult reinstall = cleanup::reinstallApp(target);
    EXPECT_EQ(reinstall.outcome, Outcome::Failed);
    EXPECT_NE(reinstall.message.indexOf("came with the device"), -1);
    EXPECT_TRUE(installed());
    const AppJobResult archive =
        cleanup::archiveAppToFolder(target, QString::fromStdString(exportFolder_));
    EXPECT_EQ(archive.outcome, Outcome::Refused);
    EXPECT_FALSE(fs::exists(deviceArchive()));
}

TEST_F(AppArchiveJobsTest, AHostileOrWrongArchiveIsRefusedWithTheAppStillInstalled) {
    addNotes();
    const AppJobTarget target = attachTarget();
    const std::string info = infoPlist(kNotes);
    const std::string bundleBefore = readText(appDir() / "bundle/Info.plist");
    struct Case {
        const char* what;
        std::vector<ZipEntry> entries;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"climbs out",
         {{"Payload/Notes.app/Info.plist", info}, {"../escaped.txt", "x"}},
         "climbs out"},
        {"climbs out deeper",
         {{"Payload/Notes.app/Info.plist", info}, {"Payload/../../../escaped.txt", "x"}},
         "climbs out"},
        {"absolute",
         {{"Payload/Notes.app/Info.plist", info}, {"/tmp/escaped.txt", "x"}},
         "absolute"},
        {"link",
         {{"Payload/Notes.app/Info.plist", info}, {"Payload/Notes.app/up", "/", kLink}},
         "link"},
        {"two apps",
         {{"Payload/Notes.app/Info.plist", info}, {"Payload/Other.app/Info.plist", info}},
         "more than one app"},
        {"another app",
         {{"Payload/Notes.app/Info.plist", infoPlist("com.example.other")}},
         "another app (com.example.other)"},
        {"no payload", {{"Notes.app/Info.plist", info}}, "holds no app"},
        {"no Info.plist", {{"Payload/Notes.app/Notes", "binary"}}, "no Info.plist"},
        {"not a zip", {}, "can't be used"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ZipEntry> entries = c.entries;
        cleanup::AppJobStopCheck stop = handOver(entries);
        if (entries.empty()) {
            stop = [this, done = false]() mutable {
                if (!done && fs::exists(deviceArchive())) {
                    done = true;
                    writeText(deviceArchive(), "not an archive");
                }
                return false;
            };
        }
        const AppJobResult r =
            cleanup::reinstallApp(target, stop, QString::fromStdString(exportFolder_));
        EXPECT_EQ(r.outcome, Outcome::Failed) << r.message.toStdString();
        EXPECT_NE(r.message.indexOf(QString::fromUtf8(c.says)), -1) << r.message.toStdString();
        EXPECT_NE(r.message.indexOf("left as it was"), -1) << r.message.toStdString();
        EXPECT_TRUE(installed());
        EXPECT_EQ(readText(appDir() / "bundle/Info.plist"), bundleBefore);
        EXPECT_TRUE(fs::exists(appDir() / "container/Documents/note.txt"));
        EXPECT_FALSE(fs::exists(deviceArchive()));
        EXPECT_TRUE(scratchLeft().empty()) << "nothing written beside the job's own folder";
        EXPECT_FALSE(fs::exists(scratchRoot() / "escaped.txt"));
        EXPECT_FALSE(fs::exists("/tmp/escaped.txt"));
        EXPECT_FALSE(fs::exists(exportFolder_)) << "nothing saved: nothing was lost";
    }
}

TEST_F(AppArchiveJobsTest, ADeviceGoneMidJobEndsItAndTheAppStays) {
    addNotes();
    AppJobTarget target = attachTarget();
    const AppJobResult reinstall = cleanup::reinstallApp(target, detachOnArchive());
    EXPECT_EQ(reinstall.outcome, Outcome::DeviceGone) << reinstall.message.toStdString();
    EXPECT_TRUE(installed());
    EXPECT_TRUE(scratchLeft().empty());

    // Attached again it has a new serial: the old job's target is no longer its device.
    const int index = attach(deviceDir("phone").string());
    ASSERT_GE(index, 0);
    fs::remove(deviceArchive());
    EXPECT_EQ(cleanup::archiveAppToFolder(target, QString::fromStdString(exportFolder_)).outcome,
              Outcome::DeviceGone);
    EXPECT_FALSE(fs::exists(deviceArchive())) << "another device's turn is never asked for";

    target = {index, serialOf(index), kNotes};
    const AppJobResult archive = cleanup::archiveAppToFolder(
        target, QString::fromStdString(exportFolder_), detachOnArchive());
    EXPECT_EQ(archive.outcome, Outcome::DeviceGone);
    EXPECT_TRUE(exported().empty());
}

TEST_F(AppArchiveJobsTest, AStopBeforeTheUninstallLeavesTheAppAndOneAfterItIsNotHeard) {
    addNotes();
    const AppJobTarget target = attachTarget();
    const AppJobResult stopped = cleanup::reinstallApp(target, [] { return true; });
    EXPECT_EQ(stopped.outcome, Outcome::Stopped);
    EXPECT_TRUE(installed());
    EXPECT_FALSE(fs::exists(deviceArchive()));

    // Stopping once the archive is on the device: the device's archive still goes.
    const AppJobResult late =
        cleanup::reinstallApp(target, [this] { return fs::exists(deviceArchive()); });
    EXPECT_EQ(late.outcome, Outcome::Stopped);
    EXPECT_TRUE(installed());
    EXPECT_FALSE(fs::exists(deviceArchive()));
    EXPECT_TRUE(scratchLeft().empty());
}

TEST_F(AppArchiveJobsTest, AnAppLostAfterAllKeepsItsPackageBesideTheEarlierArchive) {
    addNotes();
    const AppJobTarget target = attachTarget();
    fs::create_directories(exportFolder_);
    const fs::path earlier = exportFolder_ / (std::string(kNotes) + ".zip");
    writeText(earlier, "earlier");
    // Once the archive is copied, the device's staging folder becomes a file: the app can be
    // removed but no package can reach the device any more.
    const fs::path staging = mediaFile("phone", "/PublicStaging");
    const auto blockStaging = [&, this] {
        if (fs::exists(deviceArchive())) {
            fs::remove_all(staging);
            writeText(staging, "in the way");
        }
        return false;
    };
    const AppJobResult r =
        cleanup::reinstallApp(target, blockStaging, QString::fromStdString(exportFolder_));
    ASSERT_EQ(r.outcome, Outcome::AppLost) << r.message.toStdString();
    EXPECT_FALSE(installed());
    EXPECT_EQ(r.archivePath.toStdString(),
              (exportFolder_ / (std::string(kNotes) + " (2).zip")).string());
    EXPECT_TRUE(hasEntryLike(zipNames(r.archivePath.toStdString()), "Payload/", ".app/Info.plist"));
    EXPECT_NE(r.message.indexOf("no longer on the device"), -1);
    EXPECT_NE(r.message.indexOf(r.archivePath), -1);
    EXPECT_EQ(readText(earlier), "earlier");
    EXPECT_TRUE(scratchLeft().empty());
}

}  // namespace
}  // namespace nimbara::test
