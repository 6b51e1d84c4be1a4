// The copy of device trees into an export folder that the clean-up, storage and file browser
// exports share: how each rule writes hidden names, the device's layout below the export folder,
// and a device that goes away part-way.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cleanup/device_export_copy.h"
#include "device/afc_service.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "quick_clean_test_support.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using cleanup::CleanRunGuard;
using cleanup::DeviceExportCopy;
using cleanup::HiddenNameRule;

TEST(HiddenNameRules, EachRuleWritesHiddenNamesItsWayAndNeverLeavesTheFolder) {
    struct Case {
        const char* name;
        const char* underscore;
        const char* dropDot;
        const char* dropDots;
    };
    for (const Case& c :
         {Case{".x", "_x", "x", "x"}, Case{"..x", "_x", "_x", "x"},
          Case{"...", "_", "_", "Untitled"}, Case{"..", "_", "_", "Untitled"},
          Case{"a/b", "a_b", "a_b", "a_b"}, Case{"plain", "plain", "plain", "plain"}}) {
        EXPECT_EQ(cleanup::localDeviceName(c.name, HiddenNameRule::Underscore), c.underscore)
            << c.name;
        EXPECT_EQ(cleanup::localDeviceName(c.name, HiddenNameRule::DropLeadingDot), c.dropDot)
            << c.name;
        EXPECT_EQ(cleanup::localDeviceName(c.name, HiddenNameRule::DropLeadingDots), c.dropDots)
            << c.name;
    }
    // Files keep their own name for the writer, which numbers them before the extension.
    EXPECT_EQ(cleanup::shownDeviceName(".profile.txt", HiddenNameRule::Underscore), ".profile.txt");
    EXPECT_EQ(cleanup::shownDeviceName("..a.txt", HiddenNameRule::DropLeadingDot), ".a.txt");
    EXPECT_EQ(cleanup::shownDeviceName("..a.txt", HiddenNameRule::DropLeadingDots), "a.txt");
    for (const HiddenNameRule rule : {HiddenNameRule::Underscore, HiddenNameRule::DropLeadingDot,
                                      HiddenNameRule::DropLeadingDots}) {
        EXPECT_EQ(cleanup::localDeviceName(std::string(400, 'a'), rule).size(), 255u);
    }
}

class DeviceExportCopyTest : public QuickCleanTest {
  protected:
    struct Run {
        std::vector<std::string> failed;  // device path: reason
        std::uint64_t bytes = 0;
        std::size_t files = 0;
    };
    // Copies the device folder `parts` by `rule` into `into` over a fresh connection.
    Run copy(const cleanup::CleanDeviceTarget& target, const std::vector<std::string>& parts,
             HiddenNameRule rule, const fs::path& into, bool* gone = nullptr) {
        Run run;
        CleanRunGuard guard(target, {});
        amd::AfcService afc;
        if (afc.Init(target.deviceIndex) != 0) {
            guard.checkGone();
            if (gone) {
                *gone = guard.deviceGone();
            }
            return run;
        }
        fs::create_directories(into);
        DeviceExportCopy copier(
            &afc, guard, fs::canonical(into), rule,
            [&run](const std::string& path, int, const QString& reason) {
                run.failed.push_back(path + ": " + reason.toStdString());
            },
            [&run](const fs::path&, std::uint64_t bytes) {
                ++run.files;
                run.bytes += bytes;
            });
        copier.copyMirroredTree(parts);
        guard.checkGone();
        if (gone) {
            *gone = guard.deviceGone();
        }
        return run;
    }
    simdev::SimDeviceBuilder docs(const std::string& udid) {
        simdev::SimDeviceBuilder b = builder(udid);
        b.addMediaFile("/Docs/.hidden/a.txt", "aaa");
        b.addMediaFile("/Docs/..twice/b.txt", "bb");
        b.addMediaFile("/Docs/.c.txt", "c");
        b.addMediaFile("/Docs/c.txt", "cc");
        for (int i = 0; i < 6; ++i) {
            b.addMediaFile("/Docs/sub" + std::to_string(i) + "/f.txt", "f");
        }
        return b;
    }
};

TEST_F(DeviceExportCopyTest, TheDeviceLayoutIsKeptWithHiddenNamesByTheRule) {
    simdev::SimDeviceBuilder b = docs("docs");
    const int index = attachBuilt(b);
    ASSERT_GE(index, 0);
    const cleanup::CleanDeviceTarget target{index, serialOf(index)};

    const Run underscore = copy(target, {"Docs"}, HiddenNameRule::Underscore, tmp_ / "u");
    EXPECT_TRUE(underscore.failed.empty());
    EXPECT_EQ(underscore.files, 10u);
    EXPECT_EQ(underscore.bytes, 3u + 2u + 1u + 2u + 6u);
    const std::vector<std::string> u = filesBelow(tmp_ / "u");
    EXPECT_EQ(std::count(u.begin(), u.end(), "Docs/_hidden/a.txt"), 1);
    EXPECT_EQ(std::count(u.begin(), u.end(), "Docs/_twice/b.txt"), 1);
    EXPECT_EQ(std::count(u.begin(), u.end(), "Docs/_c.txt"), 1);
    EXPECT_EQ(std::count(u.begin(), u.end(), "Docs/c.txt"), 1);

    // Without the dot ".c.txt" meets "c.txt": one of them is numbered, nothing is replaced.
    const Run dropped = copy(target, {"Docs"}, HiddenNameRule::DropLeadingDot, tmp_ / "d");
    EXPECT_TRUE(dropped.failed.empty());
    const std::vector<std::string> d = filesBelow(tmp_ / "d");
    EXPECT_EQ(d.size(), 10u);
    EXPECT_EQ(std::count(d.begin(), d.end(), "Docs/hidden/a.txt"), 1);
    EXPECT_EQ(std::count(d.begin(), d.end(), "Docs/_twice/b.txt"), 1);
    EXPECT_EQ(std::count(d.begin(), d.end(), "Docs/c.txt"), 1);
    EXPECT_EQ(std::count(d.begin(), d.end(), "Docs/c (2).txt"), 1);

    EXPECT_TRUE(copy(target, {"Docs"}, HiddenNameRule::DropLeadingDots, tmp_ / "a").failed.empty());
    const std::vector<std::string> all = filesBelow(tmp_ / "a");
    EXPECT_EQ(std::count(all.begin(), all.end(), "Docs/twice/b.txt"), 1);
}

TEST_F(DeviceExportCopyTest, ADeviceGoneMidCopyLeavesWholeFilesAndNoFolderFailures) {
    bool sawGone = false;
    for (int limit = 6; limit <= 60; limit += 3) {
        simdev::SimDeviceBuilder b = docs("gone" + std::to_string(limit));
        b.setFault(md::sim::kFaultDetachAfter, PlistValue(static_cast<std::int64_t>(limit)));
        const int index = attachBuilt(b);
        if (index < 0) {
            continue;  // the limit ran out while attaching
        }
        const fs::path into = tmp_ / ("gone" + std::to_string(limit));
        bool gone = false;
        const Run run =
            copy({index, serialOf(index)}, {"Docs"}, HiddenNameRule::Underscore, into, &gone);
        if (gone) {
            sawGone = true;
            // The departure is the run's status, never a folder that "could not be read".
            EXPECT_TRUE(run.failed.empty()) << limit << " " << run.failed.front();
        }
        if (fs::exists(into)) {
            for (const std::string& file : filesBelow(into)) {
                EXPECT_EQ(file.find(".partial"), std::string::npos) << file;
                EXPECT_GT(fs::file_size(into / file), 0u) << file;
            }
        }
        amd::DeviceManager::GetInstance().Reset();
        ASSERT_EQ(amd::DeviceManager::GetInstance().Subscribe(), 0);
    }
    EXPECT_TRUE(sawGone);
}

}  // namespace
}  // namespace nimbara::test
