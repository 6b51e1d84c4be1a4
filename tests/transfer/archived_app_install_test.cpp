// Installing an app archive from this computer on a simulated device: an archive the large-file
// page made goes back as an upgrade that keeps the app's data, and no hostile or unfitting
// archive changes the device or leaves anything in the scratch space.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QString>

#include <filesystem>
#include <string>
#include <vector>

#include "../device/sim_device_fixture.h"
#include "cleanup/app_archive_jobs.h"
#include "platform/plist_value.h"
#include "platform/scratch_dir.h"
#include "transfer/archived_app_install.h"

namespace fs = std::filesystem;

namespace nimbara::test {
namespace {

using transfer::ArchiveCheckResult;
using transfer::ArchiveInstallResult;
using CheckOutcome = ArchiveCheckResult::Outcome;

constexpr const char* kNotes = "com.example.notes";

std::string plistText(const std::vector<std::pair<const char*, std::string>>& values) {
    PlistValue dict = PlistValue::dict();
    for (const auto& [key, value] : values) {
        dict[key] = value;
    }
    return dict.toXml();
}
std::string infoFor(const std::string& id) {
    return plistText({{"CFBundleIdentifier", id}, {"CFBundleDisplayName", "Notes"}});
}
std::string metadataFor(const std::string& id) {
    return plistText({{"softwareVersionBundleId", id}, {"itemName", "Notes"}});
}

// Rewrites the unpacked size every entry of the archive declares.
void declareSize(const fs::path& zip, std::uint32_t size) {
    std::string bytes = readText(zip);
    for (const auto& [signature, offset] :
         {std::pair{std::string("PK\x03\x04", 4), 22}, {std::string("PK\x01\x02", 4), 24}}) {
        for (auto at = bytes.find(signature); at != std::string::npos;
             at = bytes.find(signature, at + 4)) {
            for (int i = 0; i < 4; ++i) {
                bytes[at + offset + i] = static_cast<char>((size >> (8 * i)) & 0xff);
            }
        }
    }
    writeText(zip, bytes);
}

class ArchivedAppInstallTest : public SimDeviceTest {
  protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        subscribe(nullptr);
        simdev::SimDeviceBuilder device = builder("phone");
        simdev::AppSpec app;
        app.bundleId = kNotes;
        app.displayName = "Notes";
        device.addApp(app);
        device.addContainerText(kNotes, "/Documents/note.txt", "my note");
        ASSERT_TRUE(device.write());
        const int index = attach(deviceDir("phone").string());
        ASSERT_GE(index, 0);
        target_ = {index, amd::DeviceManager::GetInstance().DeviceSerial(index)};
    }

    fs::path appDir() const { return deviceDir("phone") / "apps" / kNotes; }
    // What the device holds of its apps: every file and its bytes.
    std::vector<std::string> appsState() const {
        std::vector<std::string> state;
        for (const auto& file : filesBelow(deviceDir("phone") / "apps")) {
            state.push_back(file + "=" + readText(deviceDir("phone") / "apps" / file));
        }
        return state;
    }
    static std::vector<std::string> scratchLeft() {
        return folderNames(scratchFolder("app-archives"));
    }
    ArchiveCheckResult check(const fs::path& zip) {
        return transfer::checkAppArchive(QString::fromStdString(zip.string()), target_);
    }

    amd::DeviceTarget target_;
};

TEST_F(ArchivedAppInstallTest, AnArchiveOfTheLargeFilePageGoesBackAsAnUpgradeKeepingTheData) {
    const fs::path exportFolder = tmp_ / "Pellucor";
    const cleanup::AppJobResult archived =
        cleanup::archiveAppToFolder({target_.deviceIndex, target_.deviceSerial, kNotes},
                                    QString::fromStdString(exportFolder.string()));
    ASSERT_EQ(archived.outcome, cleanup::AppJobResult::Outcome::Done)
        << archived.message.toStdString();
    EXPECT_TRUE(zipNames(archived.archivePath.toStdString()).count("iTunesMetadata.plist"));
    // The device's copy changes meanwhile: the install brings the archived bundle back.
    writeText(appDir() / "bundle/added-later", "x");

    ArchiveCheckResult ready = check(archived.archivePath.toStdString());
    ASSERT_EQ(ready.outcome, CheckOutcome::Ready) << ready.message.toStdString();
    EXPECT_EQ(ready.archive->bundleId, kNotes);
    EXPECT_EQ(ready.archive->appName.toStdString(), "Notes");
    EXPECT_TRUE(ready.archive->installed);
    const auto question = transfer::archiveInstallQuestion(*ready.archive, "Phone phone");
    EXPECT_EQ(question.message.toStdString(),
              "Install Notes (com.example.notes) from com.example.notes.zip on Phone phone?");
    EXPECT_NE(
        question.informativeText.indexOf("The installed version of the app, 1.0 (1), is replaced"),
        -1);

    const ArchiveInstallResult done = transfer::installCheckedArchive(*ready.archive, target_);
    EXPECT_EQ(done.outcome, ArchiveInstallResult::Outcome::Installed) << done.message.toStdString();
    EXPECT_FALSE(fs::exists(appDir() / "bundle/added-later"));
    EXPECT_EQ(readText(appDir() / "container/Documents/note.txt"), "my note") << "never removed";
    ready.archive.reset();
    EXPECT_TRUE(scratchLeft().empty());

    // When the device can't take the package, the installed app stays as it was.
    const fs::path staging = deviceDir("phone") / "media/PublicStaging";
    fs::remove_all(staging);
    writeText(staging, "in the way");
    const std::vector<std::string> before = appsState();
    ready = check(archived.archivePath.toStdString());
    ASSERT_EQ(ready.outcome, CheckOutcome::Ready);
    const ArchiveInstallResult refused = transfer::installCheckedArchive(*ready.archive, target_);
    EXPECT_EQ(refused.outcome, ArchiveInstallResult::Outcome::Failed);
    EXPECT_NE(refused.message.indexOf("The version installed before stays on it."), -1)
        << refused.message.toStdString();
    EXPECT_EQ(appsState(), before);
}

TEST_F(ArchivedAppInstallTest, HostileOrUnfittingArchivesChangeNothingAndLeaveNothing) {
    const std::string info = infoFor(kNotes);
    const std::string metadata = metadataFor(kNotes);
    const ZipEntry meta{"iTunesMetadata.plist", metadata};
    const ZipEntry app{"Payload/Notes.app/Info.plist", info};
    struct Case {
        const char* what;
        std::vector<ZipEntry> entries;
        CheckOutcome outcome;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"climbs out", {meta, app, {"../x", "x"}}, CheckOutcome::Unusable, "climbs out"},
        {"absolute", {meta, app, {"/tmp/x", "x"}}, CheckOutcome::Unusable, "absolute"},
        {"link",
         {meta, app, {"Payload/Notes.app/up", "/", S_IFLNK | 0777}},
         CheckOutcome::Unusable,
         "link"},
        {"two apps",
         {meta, app, {"Payload/Other.app/Info.plist", info}},
         CheckOutcome::Unusable,
         "more than one app"},
        {"another app",
         {meta, {"Payload/Notes.app/Info.plist", infoFor("com.example.other")}},
         CheckOutcome::Unusable,
         "another app (com.example.other)"},
        {"no app", {meta}, CheckOutcome::Unusable, "holds no app"},
        {"no metadata", {app}, CheckOutcome::NotAnArchive, transfer::kNotAnAppArchiveText},
        {"no key",
         {{"iTunesMetadata.plist", plistText({{"itemName", "Notes"}})}, app},
         CheckOutcome::NotAnArchive,
         transfer::kNotAnAppArchiveText},
        {"larger than declared",
         {meta, app},
         CheckOutcome::Unusable,
         "holds more than the archive says"},
        {"not a zip", {}, CheckOutcome::Unusable, "not a zip archive"},
    };
    const std::vector<std::string> before = appsState();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path zip = tmp_ / (std::string(c.what) + ".zip");
        if (c.entries.empty()) {
            writeText(zip, "not an archive");
        } else {
            ASSERT_TRUE(writeZip(zip, c.entries));
        }
        if (std::string(c.what) == "larger than declared") {
            declareSize(zip, 8);
        }
        const ArchiveCheckResult r = check(zip);
        EXPECT_EQ(r.outcome, c.outcome) << r.message.toStdString();
        EXPECT_NE(r.message.indexOf(QString::fromUtf8(c.says)), -1) << r.message.toStdString();
        EXPECT_FALSE(r.archive);
        EXPECT_EQ(appsState(), before);
        EXPECT_TRUE(scratchLeft().empty());
        EXPECT_FALSE(fs::exists(scratchRoot() / "x"));
    }
}

TEST_F(ArchivedAppInstallTest, AnIdentifierBothPlistsAgreeOnIsRefusedUnlessItIsValid) {
    const struct {
        std::string id;
        CheckOutcome outcome;
    } rows[] = {
        {kNotes, CheckOutcome::Ready},
        {"com.example/notes", CheckOutcome::Unusable},
        {"com..notes", CheckOutcome::Unusable},
        {"", CheckOutcome::NotAnArchive},
        {"com.example notes", CheckOutcome::Unusable},
        {".com.example.notes", CheckOutcome::Unusable},
        {"com." + std::string(252, 'n'), CheckOutcome::Unusable},
        {"com.ex\xC3\xA4mple.notes", CheckOutcome::Unusable},
    };
    const std::vector<std::string> before = appsState();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.id);
        const fs::path zip = tmp_ / "agreeing.zip";
        ASSERT_TRUE(writeZip(zip, {{"iTunesMetadata.plist", metadataFor(row.id)},
                                   {"Payload/Notes.app/Info.plist", infoFor(row.id)}}));
        ArchiveCheckResult r = check(zip);
        EXPECT_EQ(r.outcome, row.outcome) << r.message.toStdString();
        if (row.outcome == CheckOutcome::Unusable) {
            EXPECT_NE(r.message.indexOf("identifier that isn't valid"), -1)
                << r.message.toStdString();
        }
        r.archive.reset();
        EXPECT_EQ(appsState(), before);
        EXPECT_TRUE(scratchLeft().empty());
    }
}

TEST_F(ArchivedAppInstallTest, AStopOrADepartureEndsTheRunWithNothingInstalled) {
    const fs::path zip = tmp_ / "notes.zip";
    ASSERT_TRUE(writeZip(zip, {{"iTunesMetadata.plist", metadataFor(kNotes)},
                               {"Payload/Notes.app/Info.plist", infoFor(kNotes)},
                               {"Payload/Notes.app/Notes", "version 2"}}));
    EXPECT_EQ(transfer::checkAppArchive(QString::fromStdString(zip.string()), target_,
                                        [] { return true; })
                  .outcome,
              CheckOutcome::Stopped);
    ArchiveCheckResult ready = check(zip);
    ASSERT_EQ(ready.outcome, CheckOutcome::Ready);
    const std::vector<std::string> before = appsState();
    EXPECT_EQ(transfer::installCheckedArchive(*ready.archive, target_, [] { return true; }).outcome,
              ArchiveInstallResult::Outcome::Stopped);
    ASSERT_TRUE(library_->detach(deviceDir("phone").string()));
    EXPECT_EQ(transfer::installCheckedArchive(*ready.archive, target_).outcome,
              ArchiveInstallResult::Outcome::DeviceGone);
    // Attached again it is another device to the run, which never reaches it.
    ASSERT_GE(attach(deviceDir("phone").string()), 0);
    EXPECT_EQ(check(zip).outcome, CheckOutcome::DeviceGone);
    EXPECT_EQ(appsState(), before);
    ready.archive.reset();
    EXPECT_TRUE(scratchLeft().empty());
}

}  // namespace
}  // namespace nimbara::test
