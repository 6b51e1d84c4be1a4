// The engines behind the main window's summary, the quick scan and the quick clean-up, run
// headless on the real-device backend and on the simulated one for the same device folder: what
// they find, remove, copy and keep must be the same.
#include <algorithm>
#include <sstream>

#include "cleanup/quick_clean_engine.h"
#include "cleanup/quick_scan_engine.h"
#include "imd_backend_fixture.h"
#include "platform/mobiledevice/sim/simulated_library.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using cleanup::QuickCleanEngine;
using cleanup::QuickCleanReport;

// A scan result as comparable text: every list's paths and sizes, in a fixed order, and the
// totals.
std::string describe(const QuickScanResult& r) {
    std::ostringstream out;
    auto files = [&](const char* name, const auto& list) {
        std::vector<std::string> lines;
        for (const auto& node : list) {
            lines.push_back(node->filePath().toStdString() + " " +
                            std::to_string(node->fileSizeNumber()) +
                            (node->isProtected() ? " protected" : ""));
        }
        std::sort(lines.begin(), lines.end());
        out << name << ":\n";
        for (const auto& line : lines) {
            out << "  " << line << "\n";
        }
    };
    files("logs", r.systemLogArray);
    files("downloads", r.downloadTempArray);
    files("storage", r.userStorageArray);
    files("sync failed", r.iTunesSyncFailedArray);
    files("sync cache", r.iTunesSyncCacheArray);
    files("large files", r.userDataBigFileArray);
    std::vector<std::string> apps;
    for (const auto& node : r.appBigFileArray) {
        apps.push_back(node->appBundId().toStdString() + " " +
                       std::to_string(node->appFileSizeNumber()));
    }
    std::sort(apps.begin(), apps.end());
    out << "apps:\n";
    for (const auto& app : apps) {
        out << "  " << app << "\n";
    }
    out << "junk " << r.junkFileSize << " big " << r.bigFileSize << " apps " << r.bigAppFileSize
        << " stopped " << r.stopped << "\n";
    return out.str();
}

std::string describe(const QuickCleanReport& r) {
    std::ostringstream out;
    out << "status " << static_cast<int>(r.status) << " photos " << r.freedPhotos << " junk "
        << r.freedJunk << " files " << r.freedLargeFiles << " apps " << r.freedLargeApps
        << " removed " << r.removedCount << " failed " << r.failedCount << "\n";
    std::vector<std::string> failures;
    for (const auto& failure : r.failures) {
        failures.push_back(std::to_string(static_cast<int>(failure.category)) + " " + failure.path +
                           " " + std::to_string(failure.code));
    }
    std::sort(failures.begin(), failures.end());
    for (const auto& failure : failures) {
        out << "failed " << failure << "\n";
    }
    std::vector<std::string> kept = r.protectedSkipped;
    std::sort(kept.begin(), kept.end());
    for (const auto& path : kept) {
        out << "kept " << path << "\n";
    }
    std::vector<std::string> copied;
    for (const auto& path : r.photosCopied) {
        copied.push_back(fs::path(path).filename().string());
    }
    std::sort(copied.begin(), copied.end());
    for (const auto& name : copied) {
        out << "copied " << name << "\n";
    }
    out << r.message.toStdString() << "\n";
    return out.str();
}

// Every file below `root` with its size, relative to it, sorted.
std::string tree(const fs::path& root) {
    std::vector<std::string> lines;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
        const fs::path relative = fs::relative(it->path(), root);
        if (it->is_regular_file()) {
            lines.push_back(relative.string() + " " + std::to_string(it->file_size()));
        } else if (it->is_directory()) {
            lines.push_back(relative.string() + "/");
        }
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    return text;
}

class ImdBackendCleanup : public ImdBackendTest {
  protected:
    // A device with something in every list of the scan, protected files among them.
    static void fill(simdev::SimDeviceBuilder& device) {
        device.setIdentity("Test iPhone", kUdid, "iPhone12,1", "14.2");
        device.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", pattern(70000))
            .addMediaFileOfSize("/DCIM/100APPLE/IMG_0002.MOV", 6000000)
            .addMediaFile("/Downloads/a.tmp", "aaaa")
            .addMediaFile("/Downloads/Sub/b.tmp", "bbbbbbbb")
            .addMediaFile("/Downloads/downloads.28.sqlitedb", "queue")
            .addMediaFile("/general_storage/c.bin", "cccccc")
            .addMediaFile("/iTunes_Control/Sync/Media/failed.mp3", pattern(3000))
            .addMediaFile("/PhotoData/Mutations/DCIM/100APPLE/IMG_0001/FullSizeRender.jpg",
                          pattern(5000))
            .addMediaFile("/PhotoData/Mutations/DCIM/100APPLE/IMG_0001/Adjustments.plist", "p")
            .addMediaFileOfSize("/PhotoData/Photos.sqlite", 6000000)
            .addMediaFileOfSize("/Movies/big.m4v", 6000001)
            .addMediaFileOfSize("/Movies/Deep/er/huge.m4v", 9000000)
            .addMediaFileOfSize("/Movies/small.m4v", 1000)
            .addCrashLog("/Panic-1.ips", 100)
            .addCrashLog("/Retired/App-2.ips", 2000);
        simdev::AppSpec huge;
        huge.bundleId = "com.example.huge";
        huge.displayName = "Huge";
        huge.staticDiskUsage = 150000000;
        huge.dynamicDiskUsage = 50000000;
        huge.withIcon = false;
        device.addApp(huge);
        simdev::AppSpec small = huge;
        small.bundleId = "com.example.small";
        small.displayName = "Small";
        small.staticDiskUsage = 1000;
        small.dynamicDiskUsage = 10;
        device.addApp(small);
    }

    static QuickScanOptions scanOptions(int index) {
        QuickScanOptions options;
        options.deviceIndex = index;
        return options;
    }
    static cleanup::QuickCleanOptions cleanOptions(int index, const fs::path& exportFolder) {
        cleanup::QuickCleanOptions options;
        options.deviceIndex = index;
        options.deviceSerial = amd::DeviceManager::GetInstance().DeviceSerial(index);
        options.exportFolder = exportFolder.string();
        options.photosTicked = true;
        options.junkTicked = true;
        options.photoLibrarySize = 6070000;
        return options;
    }

    // Runs `work` with the simulated library serving `deviceDir` at the returned index.
    template <typename Work>
    void onSimulatedBackend(const fs::path& deviceDir, Work work) {
        auto simulated = std::make_shared<md::sim::SimulatedLibrary>();
        md::setLibrary(simulated);
        auto& manager = amd::DeviceManager::GetInstance();
        ASSERT_EQ(manager.Subscribe(), 0);
        ASSERT_TRUE(simulated->attach(deviceDir.string()));
        ASSERT_TRUE(waitForDeviceBinds());
        ASSERT_EQ(manager.Indices().size(), 1u);
        work(manager.Indices().front());
        manager.Reset();
        md::setLibrary(nullptr);
    }
};

TEST_F(ImdBackendCleanup, TheQuickScanFindsTheSameOnBothBackends) {
    fill(phone);
    ASSERT_TRUE(phone.write());
    std::string simulated;
    onSimulatedBackend(phone.dir(), [&](int index) {
        simulated = describe(QuickScanEngine(scanOptions(index), {}).run());
    });
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_NE(simulated.find("/Movies/Deep/er/huge.m4v"), std::string::npos) << simulated;
    ASSERT_NE(simulated.find("com.example.huge"), std::string::npos) << simulated;

    // Over USB the device also lists names no file system holds: they change nothing.
    PlistValue listed = PlistValue::dict();
    listed["/Downloads"] = PlistValue(PlistValue::Array{"..", "../Movies", "x/y", ""});
    listed["/"] = PlistValue(PlistValue::Array{".", "..", "/"});
    phone.setFault(usbmuxsim::kFaultListedNames, std::move(listed));
    const int index = startWithDeviceManager();
    ASSERT_GE(index, 0);
    const std::string real = describe(QuickScanEngine(scanOptions(index), {}).run());
    EXPECT_EQ(real, simulated);
}

TEST_F(ImdBackendCleanup, TheQuickCleanUpDoesTheSameOnBothBackends) {
    // Two copies of one device: one cleaned through each backend.
    simdev::SimDeviceBuilder twin(tmp / "twin");
    fill(twin);
    ASSERT_TRUE(twin.write());
    fill(phone);

    std::string simulatedReport;
    onSimulatedBackend(twin.dir(), [&](int index) {
        QuickScanResult scan = QuickScanEngine(scanOptions(index), {}).run();
        QuickCleanEngine engine(cleanOptions(index, tmp / "export-simulated"), std::move(scan));
        simulatedReport = describe(engine.run());
    });
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_NE(simulatedReport.find("copied IMG_0001.JPG"), std::string::npos) << simulatedReport;

    const int index = startWithDeviceManager();
    ASSERT_GE(index, 0);
    QuickScanResult scan = QuickScanEngine(scanOptions(index), {}).run();
    QuickCleanEngine engine(cleanOptions(index, tmp / "export-real"), std::move(scan));
    const std::string realReport = describe(engine.run());

    EXPECT_EQ(realReport, simulatedReport);
    EXPECT_EQ(tree(phone.dir() / md::sim::kMediaDir), tree(twin.dir() / md::sim::kMediaDir));
    EXPECT_EQ(tree(phone.dir() / md::sim::kCrashesDir), tree(twin.dir() / md::sim::kCrashesDir));
    EXPECT_EQ(tree(phone.dir() / md::sim::kAppsDir), tree(twin.dir() / md::sim::kAppsDir));
    EXPECT_EQ(tree(tmp / "export-real"), tree(tmp / "export-simulated"));
    EXPECT_FALSE(fs::exists(phone.mediaPath("/Movies/big.m4v")));
    EXPECT_TRUE(fs::exists(phone.mediaPath("/PhotoData/Photos.sqlite")));
}

}  // namespace
}  // namespace nimbara::test
