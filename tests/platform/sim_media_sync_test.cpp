#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sim_test_device.h"

namespace md = nimbara::md;
using nimbara::PlistValue;
using nimbara::test::SimTestDevice;
using nimbara::test::TempDir;

namespace {

constexpr const char* kLibraryId = "5B0E2D94A7C31F68";

PlistValue assetMetrics() {
    PlistValue metrics = PlistValue::dict();
    metrics["Application"]["_PhysicalSize"] = std::int64_t(1000);
    metrics["Media"]["Music"]["_PhysicalSize"] = std::int64_t(2000);
    metrics["Photo"]["CameraRoll"]["_PhysicalSize"] = std::int64_t(3000);
    return metrics;
}

class SimSpringBoard : public nimbara::test::AttachedDeviceTest {
  protected:
    SimSpringBoard() : AttachedDeviceTest(true) {}
};

}  // namespace

TEST(SimMediaSync, SessionOpensWithSyncAllowedAndAssetMetrics) {
    TempDir tmp;
    SimTestDevice device(tmp / "device", "UDID-M");
    device.config()["AssetMetrics"] = assetMetrics();
    device.write();
    md::sim::SimulatedLibrary library;
    ASSERT_TRUE(library.attach(device.str()));
    EXPECT_FALSE(library.createMediaSyncConnection(kLibraryId, "UDID-UNKNOWN"));

    auto sync = library.createMediaSyncConnection(kLibraryId, "UDID-M");
    ASSERT_TRUE(sync);
    auto first = sync->readMessage();
    ASSERT_TRUE(first);
    EXPECT_EQ((*first)["Command"].toString(), "SyncAllowed");
    EXPECT_TRUE((*first)["Params"].isDict());
    auto second = sync->readMessage();
    ASSERT_TRUE(second);
    EXPECT_EQ((*second)["Command"].toString(), "AssetMetrics");
    EXPECT_EQ((*second)["Params"], assetMetrics());

    PlistValue pushed = PlistValue::dict();
    pushed["Command"] = "SyncFinished";
    pushed["Params"] = PlistValue::dict();
    library.pushMediaSyncMessage("UDID-M", pushed);
    auto third = sync->readMessage();
    ASSERT_TRUE(third);
    EXPECT_EQ(*third, pushed);

    // Without metrics in device.plist the session only allows syncing.
    SimTestDevice bare(tmp / "bare", "UDID-B");
    ASSERT_TRUE(library.attach(bare.str()));
    auto plain = library.createMediaSyncConnection(kLibraryId, "UDID-B");
    ASSERT_TRUE(plain);
    ASSERT_TRUE(plain->readMessage());
    plain->close();
    EXPECT_FALSE(plain->readMessage());
    plain->close();  // twice is fine
}

TEST(SimMediaSync, BlockedReadEndsOnCloseOrDetach) {
    TempDir tmp;
    SimTestDevice device(tmp / "device", "UDID-M");
    md::sim::SimulatedLibrary library;
    ASSERT_TRUE(library.attach(device.str()));

    for (const bool byDetach : {false, true}) {
        auto sync = library.createMediaSyncConnection(kLibraryId, "UDID-M");
        ASSERT_TRUE(sync);
        ASSERT_TRUE(sync->readMessage());  // SyncAllowed
        std::atomic<int> results{0};
        std::atomic<bool> ended{false};
        std::thread reader([&] {
            while (sync->readMessage()) {
                ++results;
            }
            ended = true;
        });
        PlistValue message = PlistValue::dict();
        message["Command"] = "Ping";
        library.pushMediaSyncMessage("UDID-M", message);
        if (byDetach) {
            ASSERT_TRUE(library.detach(device.str()));
        } else {
            sync->close();
        }
        reader.join();  // returns only because the blocked read was woken
        EXPECT_TRUE(ended);
        EXPECT_LE(results.load(), 1);
    }
}

TEST_F(SimSpringBoard, AnswersIconsAndTheHomeScreen) {
    device.app("com.example.maps", "Maps");
    device.app("com.example.plain", "Plain");
    device.app("com.apple.system", "System", "System");
    std::string png = "\x89PNG\r\n";
    png += std::string(4500, 'p');  // a body of several pieces
    nimbara::test::writeText(device.dir() / "apps/com.example.maps/icon.png", png);
    std::unique_ptr<md::ServiceConnection> sb;
    ASSERT_EQ(handle->startService("com.apple.springboardservices", sb), 0);

    auto ask = [&](const std::string& bundleId) {
        PlistValue request = PlistValue::dict();
        request["command"] = "getIconPNGData";
        request["bundleId"] = bundleId;
        EXPECT_EQ(md::sendFrame(*sb, request), 0);
        return md::receiveFrame(*sb);
    };
    auto reply = ask("com.example.maps");
    ASSERT_TRUE(reply);
    const auto& data = (*reply)["pngData"].toData();
    EXPECT_EQ(std::string(data.begin(), data.end()), png);

    // The reply arrives in pieces: the length alone, then chunks of at most 1000 bytes.
    PlistValue request = PlistValue::dict();
    request["command"] = "getIconPNGData";
    request["bundleId"] = "com.example.maps";
    ASSERT_EQ(md::sendFrame(*sb, request), 0);
    std::vector<char> buffer(100000);
    EXPECT_EQ(sb->receive(buffer.data(), buffer.size()), 4);
    long total = 0;
    for (long n; (n = sb->receive(buffer.data(), buffer.size())) > 0;) {
        EXPECT_LE(n, 1000);
        total += n;
    }
    EXPECT_GT(total, 6000);

    for (const std::string id : {"com.example.plain", "com.example.none", "../apps/x", ""}) {
        reply = ask(id);
        ASSERT_TRUE(reply) << id;
        EXPECT_FALSE(reply->contains("pngData")) << id;
    }

    PlistValue state = PlistValue::dict();
    state["command"] = "getIconState";
    ASSERT_EQ(md::sendFrame(*sb, state), 0);
    reply = md::receiveFrame(*sb);
    ASSERT_TRUE(reply);
    ASSERT_TRUE(reply->isArray());
    ASSERT_EQ(reply->size(), 1u);
    const PlistValue& page = reply->toArray()[0];
    ASSERT_EQ(page.size(), 2u) << "user apps only";
    EXPECT_EQ(page.toArray()[0]["bundleIdentifier"].toString(), "com.example.maps");
    EXPECT_EQ(page.toArray()[0]["displayName"].toString(), "Maps");
}
