// The camera roll over the device's media area: what it lists, what it deletes, and that every
// request answers, whatever state the device is in.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "cleanup/camera_roll.h"
#include "platform/plist_value.h"
#include "quick_clean_test_support.h"

namespace nimbara::test {
namespace {

using cleanup::CameraRollDeletion;
using cleanup::CameraRollItem;
using cleanup::CameraRollResult;
using cleanup::DeviceCameraRoll;

struct Opened {
    bool called = false;
    CameraRollResult result = CameraRollResult::NotOpen;
    std::vector<CameraRollItem> items;
};

Opened openRoll(cleanup::CameraRoll& roll) {
    Opened opened;
    roll.openSession([&](CameraRollResult result, const std::vector<CameraRollItem>& items) {
        EXPECT_FALSE(opened.called) << "the ready callback runs once";
        opened.called = true;
        opened.result = result;
        opened.items = items;
    });
    return opened;
}

std::optional<CameraRollDeletion> deleteNamed(cleanup::CameraRoll& roll,
                                              const std::vector<std::string>& names) {
    std::optional<CameraRollDeletion> outcome;
    roll.deleteItemsNamed(names, [&](const CameraRollDeletion& d) { outcome = d; });
    return outcome;
}

std::vector<std::string> pathsOf(const std::vector<CameraRollItem>& items) {
    std::vector<std::string> paths;
    for (const auto& item : items) {
        paths.push_back(item.devicePath);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

class CameraRollTest : public QuickCleanTest {};

TEST(CameraItemKinds, TypeByExtensionAndCameraFolders) {
    EXPECT_EQ(cleanup::cameraItemTypeForName("IMG_0001.JPG"), "public.image");
    EXPECT_EQ(cleanup::cameraItemTypeForName("img_0002.heic"), "public.image");
    EXPECT_EQ(cleanup::cameraItemTypeForName("IMG_0003.MOV"), "public.movie");
    EXPECT_EQ(cleanup::cameraItemTypeForName("clip.mp4"), "public.movie");
    // Sidecars, extension-less names and hidden files are not camera items.
    EXPECT_EQ(cleanup::cameraItemTypeForName("IMG_0001.AAE"), "");
    EXPECT_EQ(cleanup::cameraItemTypeForName("JPG"), "");
    EXPECT_EQ(cleanup::cameraItemTypeForName(".jpg"), "");
    EXPECT_EQ(cleanup::cameraItemTypeForName("IMG."), "");

    EXPECT_TRUE(cleanup::isCameraRollFolder("100APPLE"));
    EXPECT_TRUE(cleanup::isCameraRollFolder("101apple"));
    EXPECT_FALSE(cleanup::isCameraRollFolder(".MISC"));
    EXPECT_FALSE(cleanup::isCameraRollFolder("100CANON"));
}

TEST_F(CameraRollTest, ListsPicturesAndMoviesOfTheCameraFoldersOnly) {
    auto device = builder("roll");
    device.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "jpeg bytes", 1500000000)
        .addMediaFile("/DCIM/100APPLE/IMG_0002.MOV", "movie")
        .addMediaFile("/DCIM/100APPLE/IMG_0001.AAE", "sidecar")
        .addMediaFile("/DCIM/101apple/IMG_0003.png", "png")
        .addMediaFile("/DCIM/.MISC/Info.jpg", "not the camera's")
        .addMediaFile("/DCIM/loose.jpg", "not in a camera folder")
        .addMediaDir("/DCIM/102APPLE/sub.jpg");  // a folder with a picture's name
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);

    DeviceCameraRoll roll(index, serialOf(index));
    EXPECT_FALSE(roll.isOpen());
    const Opened opened = openRoll(roll);
    ASSERT_TRUE(opened.called);
    EXPECT_EQ(opened.result, CameraRollResult::Ok);
    EXPECT_TRUE(roll.isOpen());
    EXPECT_EQ(pathsOf(opened.items), (std::vector<std::string>{"/DCIM/100APPLE/IMG_0001.JPG",
                                                               "/DCIM/100APPLE/IMG_0002.MOV",
                                                               "/DCIM/101apple/IMG_0003.png"}));
    for (const auto& item : opened.items) {
        if (item.name == "IMG_0001.JPG") {
            EXPECT_EQ(item.typeIdentifier, "public.image");
            EXPECT_EQ(item.size, 10u);
            EXPECT_EQ(item.mtime, 1500000000);
        } else if (item.name == "IMG_0002.MOV") {
            EXPECT_EQ(item.typeIdentifier, "public.movie");
        }
    }
    EXPECT_EQ(roll.items().size(), 3u);
    roll.close();
    EXPECT_FALSE(roll.isOpen());
    EXPECT_TRUE(roll.items().empty());
}

TEST_F(CameraRollTest, EverySessionRequestAnswers) {
    // No "/DCIM" at all: open, empty.
    auto empty = builder("empty");
    const int emptyIndex = attachBuilt(empty);
    ASSERT_GE(emptyIndex, 0);
    DeviceCameraRoll emptyRoll(emptyIndex, serialOf(emptyIndex));
    Opened opened = openRoll(emptyRoll);
    ASSERT_TRUE(opened.called);
    EXPECT_EQ(opened.result, CameraRollResult::Ok);
    EXPECT_TRUE(opened.items.empty());

    // The file service refused.
    auto refused = builder("refused");
    refused.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "x");
    PlistValue services = PlistValue::array();
    services.append(PlistValue("com.apple.afc"));
    refused.setFault("RefusedServices", services);
    const int refusedIndex = attachBuilt(refused);
    ASSERT_GE(refusedIndex, 0);
    DeviceCameraRoll refusedRoll(refusedIndex, serialOf(refusedIndex));
    opened = openRoll(refusedRoll);
    ASSERT_TRUE(opened.called);
    EXPECT_EQ(opened.result, CameraRollResult::ServiceRefused);
    EXPECT_FALSE(refusedRoll.isOpen());

    // The device left before the session.
    const std::uint64_t serial = serialOf(emptyIndex);
    ASSERT_TRUE(library_->detach(empty.dir().string()));
    DeviceCameraRoll goneRoll(emptyIndex, serial);
    opened = openRoll(goneRoll);
    ASSERT_TRUE(opened.called);
    EXPECT_EQ(opened.result, CameraRollResult::DeviceGone);
    EXPECT_TRUE(opened.items.empty());
}

TEST_F(CameraRollTest, DeletesByNameEveryMatchAndReportsWhatFailed) {
    auto device = builder("del");
    device.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "first")
        .addMediaFile("/DCIM/101APPLE/IMG_0001.JPG", "second")
        .addMediaFile("/DCIM/101APPLE/IMG_0002.JPG", "other")
        .addMediaFile("/DCIM/101APPLE/IMG_0003.JPG", "gone soon");
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);
    DeviceCameraRoll roll(index, serialOf(index));

    // Before the session opens nothing is deleted, and the request still answers.
    auto outcome = deleteNamed(roll, {"IMG_0002.JPG"});
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(outcome->deleted.empty());
    EXPECT_TRUE(onDevice("del", "/DCIM/101APPLE/IMG_0002.JPG"));

    ASSERT_EQ(openRoll(roll).result, CameraRollResult::Ok);

    // Names that match nothing: an empty request, answered.
    outcome = deleteNamed(roll, {"nothing.jpg"});
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->result, CameraRollResult::Ok);
    EXPECT_TRUE(outcome->deleted.empty() && outcome->failed.empty());

    // A file removed behind the session's back is a failure with the device's code.
    std::filesystem::remove(mediaFile("del", "/DCIM/101APPLE/IMG_0003.JPG"));
    outcome = deleteNamed(roll, {"IMG_0001.JPG", "IMG_0003.JPG"});
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(pathsOf(outcome->deleted), (std::vector<std::string>{"/DCIM/100APPLE/IMG_0001.JPG",
                                                                   "/DCIM/101APPLE/IMG_0001.JPG"}));
    ASSERT_EQ(outcome->failed.size(), 1u);
    EXPECT_EQ(outcome->failed[0].item.devicePath, "/DCIM/101APPLE/IMG_0003.JPG");
    EXPECT_NE(outcome->failed[0].code, 0);
    EXPECT_FALSE(onDevice("del", "/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_FALSE(onDevice("del", "/DCIM/101APPLE/IMG_0001.JPG"));
    EXPECT_TRUE(onDevice("del", "/DCIM/101APPLE/IMG_0002.JPG"));

    // An item the session never listed is left alone.
    CameraRollItem stranger;
    stranger.name = "IMG_0002.JPG";
    stranger.devicePath = "/DCIM/101APPLE/../101APPLE/IMG_0002.JPG";
    std::optional<CameraRollDeletion> strangerOutcome;
    roll.deleteItems({stranger}, [&](const CameraRollDeletion& d) { strangerOutcome = d; });
    ASSERT_TRUE(strangerOutcome.has_value());
    EXPECT_EQ(strangerOutcome->notTried.size(), 1u);
    EXPECT_TRUE(onDevice("del", "/DCIM/101APPLE/IMG_0002.JPG"));
}

TEST_F(CameraRollTest, NeverDeletesOnADeviceThatTookTheIndex) {
    auto first = builder("first");
    first.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "first device");
    const int index = attachBuilt(first);
    ASSERT_GE(index, 0);
    DeviceCameraRoll roll(index, serialOf(index));
    ASSERT_EQ(openRoll(roll).result, CameraRollResult::Ok);

    ASSERT_TRUE(library_->detach(first.dir().string()));
    auto second = builder("second");
    second.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "second device");
    const int secondIndex = attachBuilt(second);
    ASSERT_EQ(secondIndex, index) << "the test needs the index to be given again";

    const auto outcome = deleteNamed(roll, {"IMG_0001.JPG"});
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(outcome->result, CameraRollResult::DeviceGone);
    EXPECT_TRUE(outcome->deleted.empty());
    EXPECT_EQ(outcome->notTried.size(), 1u);
    EXPECT_TRUE(onDevice("second", "/DCIM/100APPLE/IMG_0001.JPG"));
}

}  // namespace
}  // namespace nimbara::test
