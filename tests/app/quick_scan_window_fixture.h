// The quick-scan window against a simulated device with junk, large files (one of them a
// protected database) and apps: the window's fixture and the sizes the device holds.
#pragma once

#include <gtest/gtest.h>

#include <QTableView>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/pr_large_file_controller.h"
#include "app/quick_scan_window_ui.h"
#include "cleanup/pr_large_file_node.h"
#include "delegate_fixture.h"
#include "ui/core/text_utilities.h"
#include "ui/notification_buttons.h"
#include "ui/table_cell_views.h"
#include "widget_test_support.h"

namespace nimbara::test {

namespace fs = std::filesystem;

inline constexpr std::uint64_t kCrashLog = 1000;
inline constexpr std::uint64_t kDownload = 2000;
inline constexpr std::uint64_t kDownloadInFolder = 3000;
inline constexpr std::uint64_t kDownloadQueue = 4000;  // protected database
inline constexpr std::uint64_t kBook = 6'000'000;
inline constexpr std::uint64_t kRecording = 9'000'000;
inline constexpr std::uint64_t kPhotoLibrary = 7'000'000;  // protected database
inline constexpr std::uint64_t kAppStatic = 150'000'000;
inline constexpr std::uint64_t kAppDynamic = 50'000'000;

inline QString sizeText(std::uint64_t bytes) {
    return QStringLiteral(" ") + shell::size_to_unit(bytes);
}

class QuickScanWindowTest : public DelegateTest {
  protected:
    QuickScanWindowUi& quick() { return *hub().quickScanUi(); }

    // A device with junk, large files (one of them a protected database) and apps.
    std::string writeDevice(const std::string& udid, int extraDownloads = 0) {
        simdev::SimDeviceBuilder b(tmp_ / udid);
        b.setIdentity("Scan Phone", udid);
        b.addCrashLog("/Panic-2026.ips", kCrashLog);
        b.addMediaFileOfSize("/Downloads/a.tmp", kDownload);
        b.addMediaFileOfSize("/Downloads/sub/b.tmp", kDownloadInFolder);
        b.addMediaFileOfSize("/Downloads/downloads.28.sqlitedb", kDownloadQueue);
        b.addMediaFileOfSize("/Books/aaa-handbook.pdf", kBook);
        b.addMediaFileOfSize("/Recordings/zzz-meeting.m4a", kRecording);
        b.addMediaFileOfSize("/PhotoData/Photos.sqlite", kPhotoLibrary);
        for (int i = 0; i < extraDownloads; ++i) {
            b.addMediaFile("/Downloads/many/f" + std::to_string(i) + ".tmp", "x");
        }
        simdev::AppSpec big;
        big.bundleId = "com.example.bigapp";
        big.displayName = "Big App";
        big.staticDiskUsage = static_cast<std::int64_t>(kAppStatic);
        big.dynamicDiskUsage = static_cast<std::int64_t>(kAppDynamic);
        b.addApp(big);
        simdev::AppSpec small;
        small.bundleId = "com.example.small";
        small.displayName = "Small";
        small.staticDiskUsage = 1'000'000;
        b.addApp(small);
        simdev::AppSpec system;
        system.bundleId = "com.example.system";
        system.displayName = "System Big";
        system.type = "System";
        system.staticDiskUsage = 900'000'000;
        b.addApp(system);
        EXPECT_TRUE(b.write());
        device_ = b;
        return (tmp_ / udid).string();
    }

    bool mediaExists(const std::string& devicePath) {
        return fs::exists(device_->mediaPath(devicePath));
    }

    void attachDevice(int extraDownloads = 0) {
        ASSERT_GE(attach(writeDevice("scan-phone", extraDownloads)), 0);
        ASSERT_TRUE(pumpUntil([&] { return hub().getDeviceConnected(); }));
        quick().quickScanWindow->show();
    }

    bool barShown(QWidget* bar) { return !bar->isHidden(); }

    // Presses the scan button and waits for the clean-up bar.
    void scanThroughButton() {
        sendClick(quick().quickScnDeviceBtn);
        ASSERT_TRUE(pumpUntil([&] { return barShown(quick().cleanupBottomView); }));
    }

    std::vector<QString> paths(const std::vector<std::shared_ptr<PRLargeFileNode>>& list) {
        std::vector<QString> result;
        for (const auto& record : list) {
            result.push_back(record->filePath().isEmpty() ? record->appBundId()
                                                          : record->filePath());
        }
        return result;
    }

    std::shared_ptr<PRLargeFileNode> fileRecord(const QString& path) {
        for (const auto& record : hub().bigFileController()->arrangedObjects()) {
            if (record->filePath() == path) {
                return record;
            }
        }
        return nullptr;
    }

    PRCustomCellView* fileCell(int row) {
        QTableView* table = quick().bigFileTableView;
        return qobject_cast<PRCustomCellView*>(
            table->indexWidget(table->model()->index(row, PRLargeFileController::kNameColumn)));
    }

    std::optional<simdev::SimDeviceBuilder> device_;
};

}  // namespace nimbara::test
