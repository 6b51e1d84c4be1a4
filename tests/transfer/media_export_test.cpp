// The transfer page's exports of photos, tracks and videos into a folder: local copies and device
// files, unsafe titles, taken names, failing items, empty plans and a device that went away.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../device/sim_device_fixture.h"
#include "transfer/media_export.h"
#include "transfer/pr_tran_music_node.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using cleanup::CleanRunStatus;
using transfer::MediaExportItem;

constexpr const char* kTrack = "/iTunes_Control/Music/F01/T1.m4a";
constexpr const char* kPhoto = "/DCIM/100APPLE/IMG_0001.JPG";

std::string bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class MediaExportTest : public SimDeviceTest {
  protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        subscribe(nullptr);
        auto device = builder("export");
        device.addMediaFile(kPhoto, "photo from the device");
        device.addMediaFile(kTrack, "track from the device");
        const int index = attach(device.write() ? deviceDir("export").string() : std::string());
        ASSERT_GE(index, 0);
        target_ = {index, amd::DeviceManager::GetInstance().DeviceSerial(index)};
    }
    amd::DeviceTarget target_;
};

TEST_F(MediaExportTest, EachItemLandsInsideUnderASafeNameOfItsOwnAndFailuresAreCounted) {
    const fs::path folder = tmp_ / "out";
    fs::create_directories(folder);
    std::ofstream(folder / "Song.m4a") << "was there before";
    std::ofstream(tmp_ / "copy.m4a") << "local copy";
    PRTranMusicNode hostile;
    hostile.setMusicTitle("AC/DC ../../Live");
    hostile.setMusicLoctionpath(kTrack);
    const std::string hostileName = transfer::mediaExportItem(hostile).name.toStdString();

    struct Row {
        std::string name, localCopy, devicePath;
        std::string file;   // the name it gets; empty: it fails
        std::string bytes;  // what it holds
    };
    const std::vector<Row> rows = {
        {"Song.m4a", "copy.m4a", kTrack, "Song (2).m4a", "local copy"},  // taken: numbered
        {"Song.m4a", "", kTrack, "Song (3).m4a", "track from the device"},
        {"IMG_0001.JPG", "", kPhoto, "IMG_0001.JPG", "photo from the device"},
        {"Gone.m4a", "gone.m4a", kTrack, "Gone.m4a", "track from the device"},  // copy went
        {hostileName, "", kTrack, "AC_DC ._._Live.m4a", "track from the device"},
        {"Missing.m4a", "", "/iTunes_Control/Music/F01/NONE.m4a", "", ""},
        {"No File.m4a", "", "", "", ""},
    };
    std::vector<MediaExportItem> plan;
    for (const Row& row : rows) {
        plan.push_back({QString::fromStdString(row.name),
                        row.localCopy.empty() ? "" : (tmp_ / row.localCopy).string(),
                        row.devicePath});
    }
    const auto report = transfer::exportMediaItems(target_, plan, folder);

    EXPECT_EQ(report.status, CleanRunStatus::DoneWithFailures);
    std::size_t failed = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        failed += row.file.empty() ? 1 : 0;
        EXPECT_TRUE(row.file.empty() || bytesOf(folder / row.file) == row.bytes);
    }
    EXPECT_EQ(report.failures.size(), failed);
    EXPECT_EQ(report.written.size(), rows.size() - failed);
    EXPECT_EQ(bytesOf(folder / "Song.m4a"), "was there before");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 6);  // nothing anywhere else
    EXPECT_TRUE(report.revealFolder());
    EXPECT_TRUE(transfer::mediaExportOutcomeText(report).startsWith(
        "2 of 7 files could not be exported: \"Missing.m4a\": the device file could not be "
        "opened (and 1 more). Exported 5 files"));
}

TEST_F(MediaExportTest, AnExportThatWritesNothingLeavesNoFolderBehindAndShowsNone) {
    struct Row {
        const char* name;
        std::vector<MediaExportItem> plan;
        CleanRunStatus status;
    };
    const std::vector<Row> rows = {
        {"nothing chosen", {}, CleanRunStatus::NothingToDo},
        {"every item fails", {{"X.m4a", "", "/nowhere/X.m4a"}}, CleanRunStatus::DoneWithFailures},
        {"device gone", {{"IMG.JPG", "", kPhoto}}, CleanRunStatus::DeviceGone},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path folder = tmp_ / row.name / "new";
        if (row.status == CleanRunStatus::DeviceGone) {
            ASSERT_TRUE(library_->detach(deviceDir("export").string()));
            ASSERT_TRUE(eventually([&] { return !target_.stillAttached(); }));
        }
        const auto report = transfer::exportMediaItems(target_, row.plan, folder);
        EXPECT_EQ(report.status, row.status);
        EXPECT_FALSE(report.revealFolder());
        EXPECT_FALSE(fs::exists(folder));
    }
}

}  // namespace
}  // namespace nimbara::test
