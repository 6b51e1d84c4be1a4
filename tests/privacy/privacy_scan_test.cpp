// The privacy scan over the demo device's backup, in both layouts: every category has records,
// nothing is reported damaged, the counts add up, the backup is exactly as it was, and a stop
// ends the scan part way.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QString>

#include <filesystem>
#include <map>
#include <string>

#include "../backup/record_backup_fixture.h"
#include "backup_calls.h"
#include "backup_messages.h"
#include "backup_notes.h"
#include "backup_privacy.h"
#include "backup_safari.h"
#include "backup_source.h"
#include "privacy/privacy_scan.h"
#include "sim_device_builder.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::privacy;
using nimbara::test::TempDir;

// Every file below `folder` by its relative name: the digest of its bytes and its time.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).string();
        if (entry.is_symlink() || !entry.is_regular_file()) {
            files[name] = "not a file";
            continue;
        }
        const QByteArray bytes = QByteArray::fromStdString(nimbara::test::readText(entry.path()));
        files[name] =
            QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().toStdString() + " " +
            std::to_string(entry.last_write_time().time_since_epoch().count());
    }
    return files;
}

class DemoPrivacyScan : public ::testing::TestWithParam<bool> {
  protected:
    static void SetUpTestSuite() {
        tmp_ = new TempDir;
        std::string error;
        ASSERT_TRUE(nimbara::simdev::makeDemoDevice(*tmp_ / "demo", &error)) << error;
    }
    static void TearDownTestSuite() {
        delete tmp_;
        tmp_ = nullptr;
    }
    fs::path backup() {
        const bool legacy = GetParam();
        return nimbara::test::writeDeviceBackup(*tmp_ / "demo", *tmp_ / (legacy ? "old" : "new"),
                                                legacy ? "9.3.5" : "12.4.1", legacy);
    }
    static TempDir* tmp_;
};

TempDir* DemoPrivacyScan::tmp_ = nullptr;

TEST_P(DemoPrivacyScan, EveryCategoryHasRecordsAndTheBackupStaysAsItWas) {
    const fs::path folder = backup();
    const auto before = snapshot(folder);
    std::vector<PrivacyScanStep> steps;
    PrivacyScanOptions options;
    options.stepStarted = [&](PrivacyScanStep step) { steps.push_back(step); };
    const PrivacyScanResult result = readPrivacyBackup(folder.string(), options);
    EXPECT_EQ(snapshot(folder), before) << "reading changed the backup";

    EXPECT_FALSE(result.refused());
    EXPECT_FALSE(result.stopped);
    for (const PrivacyReadReport& problem : result.problems()) {
        ADD_FAILURE() << problem.family << ": " << problem.error;
    }
    EXPECT_EQ(steps.size(), 10u);
    EXPECT_TRUE(
        result.backup.belongsTo(QStringLiteral("3f8a1c0d9e6b4a7f2c5d8e1b0a9c7f6e5d4c3b2a")));

    EXPECT_EQ(result.contacts.records.size(), nimbara::simdev::demoContacts().size());
    EXPECT_EQ(result.messages.messages.size(), nimbara::simdev::demoMessages().size());
    EXPECT_GT(result.messages.conversations.size(), 3u);
    EXPECT_FALSE(result.messages.attachments.empty());
    EXPECT_FALSE(result.files.messageAttachmentArray.empty());
    EXPECT_EQ(result.files.safariWebCacheArray.size(), 4u);
    EXPECT_EQ(
        result.safariBroswerHistoryArray.size(),
        nimbara::simdev::demoBrowserHistory().size() + nimbara::simdev::demoHistoryItems().size());
    EXPECT_EQ(result.safariSearchHistoryArray.size(), nimbara::simdev::demoCookies().size());
    EXPECT_EQ(result.wifiConnectArray.size(), nimbara::simdev::demoWifiNetworks().size());
    EXPECT_EQ(result.gpsLocationArray.size(), 7u);
    EXPECT_EQ(result.notes.records.size(), nimbara::simdev::demoNotes().size());
    EXPECT_EQ(result.calls.records.size(), nimbara::simdev::demoCalls().size());

    const std::uint64_t counted = result.files.fileCount + result.messages.messages.size() +
                                  result.safariBroswerHistoryArray.size() +
                                  result.wifiConnectArray.size() + result.notes.records.size() +
                                  result.calls.records.size();
    EXPECT_EQ(result.allScanFileNumber, counted);
    EXPECT_EQ(result.allScanFileSize, result.files.fileBytes);
    EXPECT_GT(result.allScanFileSize, 0u);

    // The photo south of the equator and west of Greenwich.
    bool quito = false;
    for (const auto& position : result.gpsLocationArray) {
        if (position->backupFilePath().endsWith(QLatin1String("IMG_0013.JPG"))) {
            quito = true;
            EXPECT_EQ(position->latitudeValue(), QStringLiteral("-0.1807"));
            EXPECT_EQ(position->LongitudeValue(), QStringLiteral("-78.4678"));
            EXPECT_EQ(position->altitudeValue(), QStringLiteral("2850"));
        }
    }
    EXPECT_TRUE(quito);
}

TEST_P(DemoPrivacyScan, AStopInsideAReaderEndsTheScan) {
    const fs::path folder = backup();
    int asked = 0;
    int stepsAfterStop = 0;
    PrivacyScanOptions options;
    options.stop = [&] { return ++asked > 40; };
    options.stepStarted = [&](PrivacyScanStep) { stepsAfterStop += asked > 40 ? 1 : 0; };
    const PrivacyScanResult result = readPrivacyBackup(folder.string(), options);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(stepsAfterStop, 0);
    EXPECT_TRUE(result.calls.records.empty());
}

INSTANTIATE_TEST_SUITE_P(BothLayouts, DemoPrivacyScan, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Mbdb" : "ManifestDb"; });

}  // namespace
