// The media-sync session: library identifier, connect, the reader thread and where metrics go.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <vector>

#include "device/air_traffic_host_helper.h"
#include "device/base_info.h"
#include "device/device_manager.h"
#include "sim_device_fixture.h"

namespace {

using amd::AirTrafficHostHelper;
using amd::DeviceManager;
using nimbara::PlistValue;
using nimbara::test::eventually;
using nimbara::test::RecordingNotify;
using nimbara::test::SimDeviceTest;

// Prefs of `size` bytes holding the four words the identifier is made of (as far as they fit).
std::vector<std::uint8_t> prefsWith(std::size_t size, std::uint32_t w20, std::uint32_t w24,
                                    std::uint32_t w96, std::uint32_t w100) {
    std::vector<std::uint8_t> bytes(size, 0xEE);
    auto put = [&](std::size_t offset, std::uint32_t word) {
        for (int i = 0; i < 4 && offset + static_cast<std::size_t>(i) < size; ++i) {
            bytes[offset + static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(word >> (8 * i));
        }
    };
    put(20, w20);
    put(24, w24);
    put(96, w96);
    put(100, w100);
    return bytes;
}

PlistValue metrics(std::int64_t apps) {
    PlistValue params = PlistValue::dict();
    params["Application"]["_PhysicalSize"] = apps;
    return params;
}

// The number of threads of this process.
int threadCount() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Threads:", 0) == 0) {
            return std::stoi(line.substr(8));
        }
    }
    return -1;
}

// Counts the media-sync sessions asked of the wrapped library.
class CountingLibrary : public nimbara::md::Library {
  public:
    explicit CountingLibrary(std::shared_ptr<nimbara::md::Library> inner)
        : inner_(std::move(inner)) {}
    int subscribe(nimbara::md::NotificationCallback callback,
                  std::unique_ptr<nimbara::md::Subscription>& subscription) override {
        return inner_->subscribe(std::move(callback), subscription);
    }
    std::unique_ptr<nimbara::md::MediaSyncConnection> createMediaSyncConnection(
        const std::string& libraryId, const std::string& deviceId) override {
        ++sessions;
        lastLibraryId = libraryId;
        return inner_->createMediaSyncConnection(libraryId, deviceId);
    }
    std::atomic<int> sessions{0};
    std::string lastLibraryId;

  private:
    std::shared_ptr<nimbara::md::Library> inner_;
};

TEST(LibraryId, DerivedFromFourWordsOfThePrefs) {
    EXPECT_EQ(amd::LibraryIdFromPrefs({}), "5B0E2D94A7C31F68");
    EXPECT_EQ(amd::LibraryIdFromPrefs(prefsWith(103, 1, 2, 3, 4)), "5B0E2D94A7C31F68");
    // high = w24 ^ w100, low = w20 ^ w96, little-endian words.
    EXPECT_EQ(
        amd::LibraryIdFromPrefs(prefsWith(104, 0x11111111, 0x22222222, 0x01010101, 0x02020202)),
        "2020202010101010");
    EXPECT_EQ(amd::LibraryIdFromPrefs(prefsWith(200, 0, 0, 0, 0)), "0");
    EXPECT_EQ(amd::LibraryIdFromPrefs(prefsWith(104, 0xABC, 0, 0, 0)), "ABC");  // no leading zeros
    EXPECT_EQ(amd::LibraryIdFromPrefs(prefsWith(104, 0x12345678, 0xDEADBEEF, 0, 0)),
              "DEADBEEF12345678");
}

class MediaSyncTest : public SimDeviceTest {};

TEST_F(MediaSyncTest, LibraryIdComesFromTheDeviceOrTheDefault) {
    RecordingNotify sink;
    subscribe(&sink);
    auto withPrefs = builder("aaaa");
    withPrefs.setITunesPrefs(prefsWith(104, 0x0000000F, 0x000000A0, 0, 0));
    ASSERT_TRUE(withPrefs.write());
    ASSERT_EQ(attach(deviceDir("aaaa").string()), 0);
    ASSERT_EQ(attach(makeDevice("bbbb")), 1);

    EXPECT_EQ(amd::CopyLibraryId(0), "A00000000F");
    EXPECT_EQ(amd::CopyLibraryId(1), "5B0E2D94A7C31F68");  // no prefs file
    EXPECT_EQ(amd::CopyLibraryId(5), "5B0E2D94A7C31F68");  // no such device
}

TEST_F(MediaSyncTest, ConnectNeedsAnIdentifierAndAWillingDevice) {
    auto counting = std::make_shared<CountingLibrary>(library_);
    nimbara::md::setLibrary(counting);
    RecordingNotify sink;
    subscribe(&sink);
    ASSERT_EQ(attach(makeDevice("aaaa")), 0);
    const int atAttach = counting->sessions.load();
    EXPECT_EQ(atAttach, 1);

    AirTrafficHostHelper helper;
    EXPECT_EQ(helper.Connect(std::nullopt, 0), 1);
    EXPECT_EQ(counting->sessions.load(), atAttach);  // the library was not asked
    EXPECT_FALSE(helper.connected());

    {
        nimbara::test::LogRecorder log;
        EXPECT_EQ(helper.Connect(std::string("no-such-device"), 0), 1);
        EXPECT_EQ(log.count("*** ATHostConnectionCreateWithLibrary failed(5B0E2D94A7C31F68)"), 1);
    }

    EXPECT_EQ(helper.Connect(std::string("aaaa"), 0), 0);
    EXPECT_TRUE(helper.connected());
    EXPECT_EQ(helper.deviceIndex(), 0);
    EXPECT_EQ(helper.deviceSerial(), DeviceManager::GetInstance().DeviceSerial(0));
    EXPECT_EQ(counting->lastLibraryId, "5B0E2D94A7C31F68");
}

TEST_F(MediaSyncTest, ReaderKeepsTheMetricsOfItsDevice) {
    RecordingNotify sink;
    subscribe(&sink);
    auto b = builder("aaaa");
    b.setAssetMetrics(111, 222, 333, 444, 555);
    ASSERT_TRUE(b.write());
    ASSERT_EQ(attach(deviceDir("aaaa").string()), 0);
    std::shared_ptr<amd::BaseInfo> info = DeviceManager::GetInstance().FindItem(0)->sharedInfo();

    // The metrics sent when the session opened.
    ASSERT_TRUE(eventually([&] { return info->GetValues() != nullptr; }));
    EXPECT_EQ((*info->GetValues())["Application"]["_PhysicalSize"].toInt64(), 111);

    // Later messages replace them; other commands and malformed ones are ignored.
    library_->pushMediaSyncMessage(
        "aaaa", PlistValue(PlistValue::Dict{{"Command", "SyncAllowed"}, {"Params", metrics(1)}}));
    library_->pushMediaSyncMessage(
        "aaaa", PlistValue(PlistValue::Dict{{"Command", "AssetMetrics"}, {"Params", "garbage"}}));
    library_->pushMediaSyncMessage(
        "aaaa", PlistValue(PlistValue::Dict{{"Command", "AssetMetrics"}, {"Params", metrics(7)}}));
    ASSERT_TRUE(eventually(
        [&] { return (*info->GetValues())["Application"]["_PhysicalSize"].toInt64() == 7; }));
}

TEST_F(MediaSyncTest, HandleMessageFeedsOnlyTheDeviceItWasConnectedFor) {
    RecordingNotify sink;
    subscribe(&sink);
    const std::string a = makeDevice("aaaa");
    ASSERT_EQ(attach(a), 0);

    // A second session for the same device, as the storage overview opens one.
    AirTrafficHostHelper overview;
    ASSERT_EQ(overview.Connect(std::string("aaaa"), 0), 0);
    std::shared_ptr<amd::BaseInfo> first = DeviceManager::GetInstance().FindItem(0)->sharedInfo();
    overview.HandleMessage("AssetMetrics", metrics(5));
    ASSERT_TRUE(first->GetValues());
    EXPECT_EQ((*first->GetValues())["Application"]["_PhysicalSize"].toInt64(), 5);
    overview.HandleMessage("Other", metrics(6));
    EXPECT_EQ((*first->GetValues())["Application"]["_PhysicalSize"].toInt64(), 5);

    // Another device takes index 0: the old session must not write into it.
    ASSERT_TRUE(library_->detach(a));
    ASSERT_EQ(attach(makeDevice("bbbb")), 0);
    std::shared_ptr<amd::BaseInfo> second = DeviceManager::GetInstance().FindItem(0)->sharedInfo();
    const nimbara::PlistRef before = second->GetValues();
    overview.HandleMessage("AssetMetrics", metrics(99));
    EXPECT_EQ(second->GetValues(), before);

    // A helper without a device at its index drops everything.
    AirTrafficHostHelper unbound;
    unbound.HandleMessage("AssetMetrics", metrics(1));
}

TEST_F(MediaSyncTest, ReaderStartsOnceAndStopsWithoutWaitingForMessages) {
    RecordingNotify sink;
    subscribe(&sink);
    ASSERT_EQ(attach(makeDevice("aaaa")), 0);

    {
        AirTrafficHostHelper helper;
        ASSERT_EQ(helper.Connect(std::string("aaaa"), 0), 0);
        const int before = threadCount();
        EXPECT_EQ(helper.StartReader(), 0);
        EXPECT_EQ(threadCount(), before + 1);
        EXPECT_EQ(helper.StartReader(), 0);
        EXPECT_EQ(threadCount(), before + 1);
        // The reader is now blocked waiting for a message; destruction must still return.
    }

    // Stopping and destroying after the device went away, and twice, is just as safe.
    AirTrafficHostHelper helper;
    ASSERT_EQ(helper.Connect(std::string("aaaa"), 0), 0);
    ASSERT_EQ(helper.StartReader(), 0);
    ASSERT_TRUE(library_->detach(deviceDir("aaaa").string()));
    helper.Stop();
    helper.Stop();
    EXPECT_FALSE(helper.connected());

    // A helper that never connected starts a reader that ends at once.
    AirTrafficHostHelper idle;
    EXPECT_EQ(idle.StartReader(), 0);
}

}  // namespace
