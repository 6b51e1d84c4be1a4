// Files on a real device through the device layer's AFC service: folders, attributes, copies both
// ways, removal, renaming and new folders; names no device should send; and a device that
// vanishes in the middle of a copy or stops answering.
#include <atomic>
#include <fstream>
#include <thread>

#include "device/afc_service.h"
#include "imd_backend_fixture.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;

class ImdBackendAfc : public ImdBackendTest {
  protected:
    // Starts everything and binds `afc` to the phone.
    void bindAfc(amd::AfcService& afc, md::imd::ImdLibrary::Options options = shortLimits()) {
        index = startWithDeviceManager(std::move(options));
        ASSERT_GE(index, 0);
        ASSERT_EQ(afc.Init(index), 0);
    }
    // The local files of a folder (to see that nothing stray was left behind).
    static std::vector<std::string> localNames(const fs::path& dir) { return folderNames(dir); }

    int index = -1;
};

TEST_F(ImdBackendAfc, ListsReadsAttributesAndCopiesFilesOfSeveralChunksBothWays) {
    // Larger than the AFC client's largest read and its write chunk, and not a multiple of
    // either.
    const std::string movie = pattern(2 * 1024 * 1024 + 12345);
    phone.addMediaFile("/DCIM/100APPLE/IMG_0001.MOV", movie, 1600000000);
    phone.addMediaFile("/DCIM/100APPLE/IMG_0002.JPG", "jpeg");
    phone.addMediaDir("/Books");
    amd::AfcService afc;
    bindAfc(afc);

    auto names = afc.ReadDirectory("/DCIM/100APPLE");
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    EXPECT_EQ(*names, (std::vector<std::string>{"IMG_0001.MOV", "IMG_0002.JPG"}));
    EXPECT_EQ(afc.ReadDirectory("/NoSuchFolder"), std::nullopt);

    const auto info = afc.GetFileInfo("/DCIM/100APPLE/IMG_0001.MOV");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->at("st_ifmt"), "S_IFREG");
    EXPECT_EQ(info->at("st_size"), std::to_string(movie.size()));
    EXPECT_EQ(info->at("st_mtime"), "1600000000000000000");
    EXPECT_EQ(afc.GetFileInfo("/DCIM")->at("st_ifmt"), "S_IFDIR");
    EXPECT_EQ(afc.GetFileInfo("/DCIM/missing.jpg"), std::nullopt);

    const fs::path local = tmp / "IMG_0001.MOV";
    ASSERT_EQ(afc.CopyFileToLocal("/DCIM/100APPLE/IMG_0001.MOV", local.string()), 0);
    EXPECT_EQ(readText(local), movie);

    const std::string book = pattern(1024 * 1024 + 7).substr(3);
    const fs::path upload = tmp / "book.epub";
    writeText(upload, book);
    ASSERT_EQ(afc.CopyFileToDevice(upload.string(), "/Books/book.epub"), 0);
    EXPECT_EQ(readText(phone.mediaPath("/Books/book.epub")), book);
    EXPECT_EQ(afc.ReadFile("/Books/book.epub"),
              std::vector<std::uint8_t>(book.begin(), book.end()));
    // An empty file copies as one.
    writeText(tmp / "empty", "");
    ASSERT_EQ(afc.CopyFileToDevice((tmp / "empty").string(), "/Books/empty"), 0);
    ASSERT_EQ(afc.CopyFileToLocal("/Books/empty", (tmp / "empty-back").string()), 0);
    EXPECT_EQ(readText(tmp / "empty-back"), "");
}

TEST_F(ImdBackendAfc, MakesRenamesAndRemovesOnTheDevice) {
    phone.addMediaFile("/Downloads/a.txt", "a");
    amd::AfcService afc;
    bindAfc(afc);

    ASSERT_EQ(afc.CreateDirectory("/Books/Sub/Deeper"), 0);
    EXPECT_TRUE(fs::is_directory(phone.mediaPath("/Books/Sub/Deeper")));
    EXPECT_EQ(afc.CreateDirectory("/Books/Sub"), 0);  // already there

    ASSERT_EQ(afc.RenamePath("/Downloads/a.txt", "/Books/Sub/b.txt"), 0);
    EXPECT_FALSE(fs::exists(phone.mediaPath("/Downloads/a.txt")));
    EXPECT_EQ(readText(phone.mediaPath("/Books/Sub/b.txt")), "a");
    EXPECT_NE(afc.RenamePath("/Downloads/gone.txt", "/Books/c.txt"), 0);

    EXPECT_NE(afc.RemovePath("/Books/Sub"), 0);  // not empty
    EXPECT_TRUE(fs::exists(phone.mediaPath("/Books/Sub/b.txt")));
    ASSERT_EQ(afc.RemovePath("/Books/Sub/b.txt"), 0);
    ASSERT_EQ(afc.RemovePath("/Books/Sub/Deeper"), 0);
    ASSERT_EQ(afc.RemovePath("/Books/Sub"), 0);
    EXPECT_FALSE(fs::exists(phone.mediaPath("/Books/Sub")));
    EXPECT_NE(afc.RemovePath("/Books/Sub"), 0);

    // Paths that climb stay inside the media root.
    ASSERT_EQ(afc.WriteFile("/../../outside.txt", {'x'}), 0);
    EXPECT_FALSE(fs::exists(phone.dir() / "outside.txt"));
    EXPECT_EQ(readText(phone.mediaPath("/outside.txt")), "x");
}

TEST_F(ImdBackendAfc, NamesNoFileSystemHoldsAreLeftOutOfListings) {
    phone.addMediaFile("/Downloads/ok.txt", "ok");
    PlistValue listed = PlistValue::dict();
    listed["/Downloads"] = PlistValue(PlistValue::Array{"..", ".", "", "../../../etc", "a/b",
                                                        "/abs", std::string(300, 'n'), "fine.txt"});
    phone.setFault(usbmuxsim::kFaultListedNames, std::move(listed));
    amd::AfcService afc;
    bindAfc(afc);

    auto names = afc.ReadDirectory("/Downloads");
    ASSERT_TRUE(names);
    std::sort(names->begin(), names->end());
    // The same checks as for the simulated device: only single path components that name an
    // entry. (A name too long for a path component is left to the calls on it to refuse.)
    EXPECT_EQ(*names, (std::vector<std::string>{"fine.txt", std::string(300, 'n'), "ok.txt"}));
    // A name listed but not there is simply missing.
    EXPECT_EQ(afc.GetFileInfo("/Downloads/fine.txt"), std::nullopt);
    EXPECT_EQ(afc.ReadFile("/Downloads/" + std::string(300, 'n')), std::vector<std::uint8_t>());
}

TEST_F(ImdBackendAfc, ADeviceThatVanishesMidCopyFailsTheCopyAndLeavesNothingBehind) {
    // Large enough that the copy is still running when the device goes.
    phone.addMediaFileOfSize("/DCIM/100APPLE/IMG_0009.MOV", 1024ull * 1024 * 1024);
    amd::AfcService afc;
    bindAfc(afc);
    const fs::path target = tmp / "copies";
    fs::create_directories(target);

    std::atomic<int> result{-1};
    std::thread copy([&] {
        result = afc.CopyFileToLocal("/DCIM/100APPLE/IMG_0009.MOV", (target / "movie").string());
    });
    // Once bytes arrived, the device is unplugged.
    const bool started = loopUntil([&] {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(target, ec)) {
            if (entry.file_size(ec) > 0) {
                return true;
            }
        }
        return result.load() != -1;
    });
    fs::rename(phone.dir(), server.folder() / "unplugged");
    EXPECT_EQ(server.control("SimRescan"), 0);
    copy.join();
    EXPECT_TRUE(started);
    EXPECT_EQ(result.load(), 1);
    EXPECT_TRUE(localNames(target).empty());
    ASSERT_TRUE(loopUntil([&] { return amd::DeviceManager::GetInstance().Indices().empty(); }));
    // The service's later calls fail at once.
    EXPECT_EQ(afc.ReadDirectory("/DCIM"), std::nullopt);
    EXPECT_NE(afc.CopyFileToDevice((tmp / "none").string(), "/x"), 0);
}

TEST_F(ImdBackendAfc, ADeviceThatVanishesMidUploadFailsTheUpload) {
    phone.addMediaDir("/Downloads");
    amd::AfcService afc;
    bindAfc(afc);
    // A local file large enough that the upload is still running when the device goes.
    const fs::path big = tmp / "big";
    { std::ofstream out(big, std::ios::binary); }
    fs::resize_file(big, 1024ull * 1024 * 1024);
    const fs::path onDevice = phone.mediaPath("/Downloads/big");
    const fs::path away = server.folder() / "unplugged";

    std::atomic<int> result{-1};
    std::thread upload([&] { result = afc.CopyFileToDevice(big.string(), "/Downloads/big"); });
    const bool started = loopUntil([&] {
        std::error_code ec;
        return fs::file_size(onDevice, ec) > 0 || result.load() != -1;
    });
    fs::rename(phone.dir(), away);
    EXPECT_EQ(server.control("SimRescan"), 0);
    upload.join();
    EXPECT_TRUE(started);
    EXPECT_EQ(result.load(), 1);
    ASSERT_TRUE(loopUntil([&] { return amd::DeviceManager::GetInstance().Indices().empty(); }));
    EXPECT_EQ(afc.ReadDirectory("/Downloads"), std::nullopt);
}

TEST_F(ImdBackendAfc, AServiceThatNeverAnswersFailsWithinTheTimeoutAndTheDeviceStays) {
    phone.addMediaFile("/DCIM/a.jpg", "a");
    phone.setFault(usbmuxsim::kFaultStalledServices,
                   PlistValue(PlistValue::Array{"com.apple.afc"}));
    amd::AfcService afc;
    md::imd::ImdLibrary::Options options = shortLimits();
    options.timeout = std::chrono::milliseconds(2000);
    bindAfc(afc, std::move(options));
    EXPECT_EQ(afc.ReadDirectory("/DCIM"), std::nullopt);  // after the library's time limit
    // The client can't tell a late answer from the next one: it stays broken, as timed out.
    EXPECT_EQ(afc.GetFileInfo("/DCIM/a.jpg"), std::nullopt);
    EXPECT_EQ(afc.CopyFileToLocal("/DCIM/a.jpg", (tmp / "a.jpg").string()), 1);
    EXPECT_FALSE(fs::exists(tmp / "a.jpg"));
    EXPECT_EQ(afc.CreateDirectory("/DCIM/b"), md::AfcError::Timeout);
    EXPECT_TRUE(afc.TimedOut());
    // The device itself is fine: a new service over a device that answers works.
    clearFaults();
    amd::AfcService again;
    ASSERT_EQ(again.Init(index), 0);
    EXPECT_EQ(again.ReadDirectory("/DCIM"), (std::vector<std::string>{"a.jpg"}));
    EXPECT_EQ(again.GetFileInfo("/DCIM/none"), std::nullopt);
    EXPECT_FALSE(again.TimedOut());  // a missing file is no time-out
}

TEST_F(ImdBackendAfc, ACallStuckOnAStalledServiceEndsWhenTheDeviceIsUnplugged) {
    phone.addMediaDir("/DCIM");
    phone.setFault(usbmuxsim::kFaultStalledServices,
                   PlistValue(PlistValue::Array{"com.apple.afc"}));
    // A limit far beyond the test's own, so that only the unplugging can end the wait.
    md::imd::ImdLibrary::Options options = shortLimits();
    options.timeout = std::chrono::minutes(10);
    startLibrary(std::move(options));
    subscribe();
    const md::DeviceHandle handle = waitForAttached();
    ASSERT_TRUE(handle);
    ASSERT_EQ(handle->connect(), 0);
    ASSERT_EQ(handle->startSession(), 0);
    std::unique_ptr<md::ServiceConnection> service;
    ASSERT_EQ(handle->startService("com.apple.afc", service), 0);
    std::unique_ptr<md::AfcConnection> client;
    ASSERT_EQ(service->openAfc(client), 0);
    handle->stopSession();
    handle->disconnect();

    std::atomic<int> result{0};
    std::atomic<bool> done{false};
    std::thread call([&] {
        std::vector<std::string> names;
        result = client->readDirectory("/DCIM", names);
        done = true;
    });
    fs::rename(phone.dir(), server.folder() / "unplugged");
    EXPECT_EQ(server.control("SimRescan"), 0);
    call.join();
    EXPECT_TRUE(done.load());
    EXPECT_NE(result.load(), 0);
    EXPECT_NE(result.load(), md::AfcError::Timeout);  // it went: no time-out
    ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageDetached) == 1; }));
    // Closing after the device went is harmless, and so is closing twice.
    client->close();
    client->close();
    service->close();
    client.reset();
    service.reset();
}

TEST_F(ImdBackendAfc, WorkBoundToOneDeviceNeverReachesAnotherThatCameLater) {
    phone.addMediaFile("/Downloads/phone.txt", "phone");
    simdev::SimDeviceBuilder tablet(server.folder() / "tablet");
    tablet.setIdentity("Test iPad", "00008027-000A11B22C33D44E", "iPad8,1", "13.3");
    tablet.addMediaFile("/Downloads/tablet.txt", "tablet");
    ASSERT_TRUE(tablet.write());
    amd::AfcService onPhone;
    bindAfc(onPhone);
    auto& manager = amd::DeviceManager::GetInstance();
    ASSERT_EQ(server.control("SimAttach", tablet.dir()), 0);
    ASSERT_TRUE(loopUntil([&] { return manager.Indices().size() == 2; }));
    const int tabletIndex = manager.Indices().back();
    const std::uint64_t tabletSerial = manager.DeviceSerial(tabletIndex);
    amd::AfcService onTablet;
    ASSERT_EQ(onTablet.Init(tabletIndex), 0);
    EXPECT_EQ(onTablet.ReadDirectory("/Downloads"), std::vector<std::string>{"tablet.txt"});

    // The tablet goes and comes back: its old service and serial stay with the old attachment.
    ASSERT_EQ(server.control("SimDetach", tablet.dir()), 0);
    ASSERT_TRUE(loopUntil([&] { return manager.Indices().size() == 1; }));
    ASSERT_EQ(server.control("SimAttach", tablet.dir()), 0);
    ASSERT_TRUE(loopUntil([&] { return manager.Indices().size() == 2; }));
    EXPECT_FALSE(manager.IsAttached(tabletIndex, tabletSerial));
    EXPECT_NE(manager.DeviceSerial(manager.Indices().back()), tabletSerial);
    EXPECT_EQ(onTablet.ReadDirectory("/Downloads"), std::nullopt);
    EXPECT_NE(onTablet.WriteFile("/Downloads/late.txt", {'x'}), 0);
    EXPECT_FALSE(fs::exists(tablet.mediaPath("/Downloads/late.txt")));
    // The phone's own service was never disturbed.
    EXPECT_EQ(onPhone.ReadDirectory("/Downloads"), std::vector<std::string>{"phone.txt"});
}

}  // namespace
}  // namespace nimbara::test
