#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "device/device_manager.h"
#include "quick_scan_fixture.h"

namespace {

using nimbara::simdev::SimDeviceBuilder;
using nimbara::test::QuickScanTest;

class QuickScanStopTest : public QuickScanTest {
  protected:
    // A device with `count` large files in folders of ten, and one large user app.
    SimDeviceBuilder manyFiles(const std::string& udid, int count) {
        SimDeviceBuilder b = builder(udid);
        for (int i = 0; i < count; ++i) {
            b.addMediaFileOfSize("/F" + std::to_string(i / 10) + "/f" + std::to_string(i) + ".bin",
                                 6000000);
        }
        nimbara::simdev::AppSpec big;
        big.bundleId = "com.example.big";
        big.displayName = "Big";
        big.staticDiskUsage = 500000000;
        big.withIcon = false;
        big.withContainer = false;
        b.addApp(big);
        return b;
    }
};

TEST_F(QuickScanStopTest, DetachMidWalkEndsTheScanAndLaterStepsFindNothing) {
    SimDeviceBuilder b = manyFiles("leaving", 60);
    const int index = attachDevice(b);
    int checks = 0;
    QuickScanEngine engine(optionsFor(index), [&] {
        if (++checks == 25) {
            library_->detach(b.dir().string());
        }
        return false;
    });
    const QuickScanResult r = engine.run();
    EXPECT_TRUE(r.stopped);
    EXPECT_LT(r.userDataBigFileArray.size(), 60u);
    EXPECT_TRUE(r.appBigFileArray.empty());
    EXPECT_EQ(r.bigFileSize, sumOf(r.userDataBigFileArray));
}

TEST_F(QuickScanStopTest, DeviceThatDropsOffByItselfStopsTheWalk) {
    // Attaching and the junk step cost far fewer than 200 device operations; the walk of 300
    // files costs more than 300.
    SimDeviceBuilder b = manyFiles("flaky", 300);
    b.setFault("DetachAfterOperations", nimbara::PlistValue(std::int64_t{200}));
    const int index = attachDevice(b);
    ASSERT_GE(index, 0);
    QuickScanEngine engine(optionsFor(index), {});
    const QuickScanResult r = engine.run();
    EXPECT_TRUE(r.stopped);
    EXPECT_GT(r.userDataBigFileArray.size(), 0u);
    EXPECT_LT(r.userDataBigFileArray.size(), 300u);
    EXPECT_TRUE(r.appBigFileArray.empty());
    EXPECT_EQ(r.bigFileSize, sumOf(r.userDataBigFileArray));
    // The manager hears of the drop only later, on its own loop: the engine saw it at once.
    EXPECT_TRUE(engine.shouldStop());
}

TEST_F(QuickScanStopTest, OtherDevicesComingAndGoingDoNotStopTheScan) {
    SimDeviceBuilder b = manyFiles("staying", 40);
    const int index = attachDevice(b);
    SimDeviceBuilder other = builder("other");
    ASSERT_TRUE(other.write());
    int checks = 0;
    QuickScanEngine engine(optionsFor(index), [&] {
        ++checks;
        if (checks == 5) {
            EXPECT_GE(attach(other.dir().string()), 0);
        } else if (checks == 15) {
            EXPECT_TRUE(library_->detach(other.dir().string()));
        }
        return false;
    });
    const QuickScanResult r = engine.run();
    EXPECT_GT(checks, 15);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(r.userDataBigFileArray.size(), 40u);
    EXPECT_EQ(r.appBigFileArray.size(), 1u);
}

TEST_F(QuickScanStopTest, NewDeviceAtTheSameIndexIsNotScannedByTheOldScan) {
    SimDeviceBuilder b = manyFiles("first", 30);
    const int index = attachDevice(b);
    SimDeviceBuilder second = manyFiles("second", 30);
    ASSERT_TRUE(second.write());
    int checks = 0;
    int secondIndex = -1;
    QuickScanEngine engine(optionsFor(index), [&] {
        if (++checks == 10) {
            library_->detach(b.dir().string());
            secondIndex = attach(second.dir().string());
        }
        return false;
    });
    const QuickScanResult r = engine.run();
    EXPECT_EQ(secondIndex, index);  // the index is given out again
    EXPECT_TRUE(r.stopped);
    EXPECT_LT(r.userDataBigFileArray.size(), 30u);
    EXPECT_TRUE(r.appBigFileArray.empty());
    for (const auto& node : r.userDataBigFileArray) {
        EXPECT_TRUE(node->filePath().startsWith("/F0/")) << node->filePath().toStdString();
    }
    // Once stopped the engine stays stopped, though a device is attached at its index again.
    EXPECT_TRUE(engine.shouldStop());
}

TEST_F(QuickScanStopTest, CancelAndMissingDeviceStopBeforeAnyDeviceTraffic) {
    SimDeviceBuilder b = manyFiles("cancelled", 10);
    const int index = attachDevice(b);
    QuickScanEngine cancelled(optionsFor(index), [] { return true; });
    QuickScanResult r = cancelled.run();
    EXPECT_TRUE(r.stopped);
    EXPECT_TRUE(r.userDataBigFileArray.empty());
    EXPECT_TRUE(r.appBigFileArray.empty());

    QuickScanEngine nobody(optionsFor(index + 5), {});
    r = nobody.run();
    EXPECT_TRUE(r.stopped);
    EXPECT_TRUE(r.userDataBigFileArray.empty());
    EXPECT_EQ(r.totalCleanupFileSize(0), 0u);
}

}  // namespace
