// The quick scan's walk over a media root with symbolic links in it, folders swapped for links
// while it runs, and stops in the middle, with the simulated device resolving paths both ways it
// can (by the kernel, and name by name).
#include <gtest/gtest.h>

#include <QString>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "device/afc_service.h"
#include "platform/mobiledevice/sim/sim_area.h"
#include "quick_scan_fixture.h"

namespace {

namespace fs = std::filesystem;
using nimbara::simdev::SimDeviceBuilder;
using nimbara::test::QuickScanTest;
using Paths = std::vector<std::string>;

constexpr std::uint64_t kLarge = 6000000;

enum class Resolver { Kernel, NameByName };

std::string resolverName(const ::testing::TestParamInfo<Resolver>& info) {
    return info.param == Resolver::Kernel ? "Kernel" : "NameByName";
}

class QuickScanWalkTest : public QuickScanTest, public ::testing::WithParamInterface<Resolver> {
  protected:
    void SetUp() override {
        QuickScanTest::SetUp();
        nimbara::md::sim::Area::setNameByNameOnly(GetParam() == Resolver::NameByName);
    }
    void TearDown() override {
        nimbara::md::sim::Area::setNameByNameOnly(false);
        QuickScanTest::TearDown();
    }

    // Large files outside every device, and a device whose media root links to them.
    fs::path outside() { return tmp_ / "outside"; }
    SimDeviceBuilder deviceWithLinksOut(const std::string& udid) {
        SimDeviceBuilder o(outside());
        o.addMediaFileOfSize("/Big/one.bin", kLarge).addMediaFileOfSize("/Big/two.bin", kLarge);
        o.addMediaFileOfSize("/Downloads/left.txt", 10);
        SimDeviceBuilder b = builder(udid);
        b.addMediaFileOfSize("/Real/big.bin", kLarge + 1).addMediaFileOfSize("/Real/small.txt", 5);
        b.addMediaDir("/Other");
        const fs::path media = b.mediaPath("/");
        fs::create_directory_symlink(outside() / "media/Big", media / "OutFolder");
        fs::create_symlink(outside() / "media/Big/one.bin", media / "out-file.bin");
        fs::create_directory_symlink("../../../outside/media/Big", media / "Other/up-and-out");
        fs::create_directory_symlink(outside() / "media/Downloads", media / "Downloads");
        fs::create_directory_symlink("../Real", media / "Other/back-inside");
        return b;
    }
};

}  // namespace

TEST_P(QuickScanWalkTest, LinksOutOfTheMediaRootAreNeitherWalkedNorSizedNorRemovedThrough) {
    SimDeviceBuilder b = deviceWithLinksOut("links");
    const int index = attachDevice(b);
    QuickScanEngine engine(optionsFor(index), {});
    const QuickScanResult r = engine.run();
    EXPECT_FALSE(r.stopped);
    // A link is an entry of its own: never entered, never sized, whether it leads out or in.
    EXPECT_EQ(paths(r.userDataBigFileArray), (Paths{"/Real/big.bin"}));
    EXPECT_EQ(r.bigFileSize, kLarge + 1);
    EXPECT_TRUE(r.downloadTempArray.empty());
    EXPECT_EQ(r.junkFileSize, 0u);

    amd::AfcService afc;
    ASSERT_EQ(afc.Init(index), 0);
    EXPECT_NE(afc.RemovePath("/OutFolder/one.bin"), 0);
    EXPECT_NE(afc.RemovePath("/Other/up-and-out/two.bin"), 0);
    EXPECT_NE(afc.RemovePath("/Downloads/left.txt"), 0);
    EXPECT_FALSE(afc.GetFileInfo("/OutFolder/one.bin"));
    EXPECT_TRUE(fs::exists(outside() / "media/Big/one.bin"));
    EXPECT_TRUE(fs::exists(outside() / "media/Big/two.bin"));
    EXPECT_TRUE(fs::exists(outside() / "media/Downloads/left.txt"));
    // Removing a link removes the link, and nothing it points at.
    for (const std::string link :
         {"/OutFolder", "/out-file.bin", "/Other/up-and-out", "/Downloads"}) {
        EXPECT_EQ(afc.RemovePath(link), 0) << link;
        EXPECT_FALSE(fs::exists(fs::symlink_status(b.mediaPath(link)))) << link;
    }
    EXPECT_TRUE(fs::exists(outside() / "media/Big/one.bin"));
    EXPECT_TRUE(fs::exists(outside() / "media/Downloads/left.txt"));
}

TEST_P(QuickScanWalkTest, AFolderSwappedForALinkMidWalkIsLeftWhereItLeads) {
    SimDeviceBuilder b = builder("swapped");
    for (const std::string folder : {"/A", "/B", "/C/D"}) {
        for (int i = 1; i <= 4; ++i) {
            b.addMediaFileOfSize(folder + "/f" + std::to_string(i) + ".bin", kLarge);
        }
    }
    const int index = attachDevice(b);
    const fs::path media = b.mediaPath("/");
    fs::create_directories(outside());
    QuickScanEngine* running = nullptr;
    bool swappedB = false;
    bool swappedC = false;
    // Once the walk has taken the first file of a folder, the folder (for /C/D, the folder above
    // it) moves out of the device and a link to where it went takes its place.
    auto swap = [&](const std::string& name) {
        fs::rename(media / name, outside() / name);
        fs::create_directory_symlink(outside() / name, media / name);
        return true;
    };
    QuickScanEngine engine(optionsFor(index), [&] {
        const auto& found = running->result().userDataBigFileArray;
        const QString last = found.empty() ? QString() : found.back()->filePath();
        if (!swappedB && last == QStringLiteral("/B/f1.bin")) {
            swappedB = swap("B");
        } else if (!swappedC && last == QStringLiteral("/C/D/f1.bin")) {
            swappedC = swap("C");
        }
        return false;
    });
    running = &engine;
    engine.QuickScanLargeFileFromUserData();
    const QuickScanResult r = engine.takeResult();
    ASSERT_TRUE(swappedB && swappedC);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(paths(r.userDataBigFileArray), (Paths{"/A/f1.bin", "/A/f2.bin", "/A/f3.bin",
                                                    "/A/f4.bin", "/B/f1.bin", "/C/D/f1.bin"}));
    EXPECT_EQ(r.bigFileSize, 6 * kLarge);
    EXPECT_EQ(r.bigFileSize, sumOf(r.userDataBigFileArray));
}

TEST_P(QuickScanWalkTest, ResultsAreTheSameWhicheverWayPathsAreResolved) {
    SimDeviceBuilder b = builder("same");
    b.addMediaFileOfSize("/top.bin", kLarge + 7)
        .addMediaFileOfSize("/DCIM/100APPLE/IMG_0001.MOV", kLarge + 1)
        .addMediaFileOfSize("/Books/Sub/Deeper/book.pdf", kLarge + 2)
        .addMediaFileOfSize("/Books/Sub/thumb.ithmb", kLarge + 3)
        .addMediaFileOfSize("/Books/Sub/small.txt", 12)
        .addMediaFileOfSize("/Downloads/part.tmp", 40)
        .addMediaFileOfSize("/Downloads/Nested/more.tmp", 2)
        .addMediaFileOfSize("/general_storage/x.dat", 3);
    b.addMediaDir("/Empty");
    fs::create_directory_symlink("Books/Sub", b.mediaPath("/") / "books-link");
    fs::create_symlink(fs::canonical(b.mediaPath("/top.bin")), b.mediaPath("/") / "abs-top");
    const int index = attachDevice(b);
    QuickScanEngine engine(optionsFor(index), {});
    const QuickScanResult r = engine.run();
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(paths(r.userDataBigFileArray),
              (Paths{"/Books/Sub/Deeper/book.pdf", "/DCIM/100APPLE/IMG_0001.MOV", "/top.bin"}));
    EXPECT_EQ(r.bigFileSize, 3 * kLarge + 7 + 1 + 2);
    EXPECT_EQ(paths(r.downloadTempArray),
              (Paths{"/Downloads/Nested/more.tmp", "/Downloads/part.tmp"}));
    EXPECT_EQ(sumOf(r.downloadTempArray), 42u);
    EXPECT_EQ(paths(r.userStorageArray), (Paths{"/general_storage/x.dat"}));
    EXPECT_EQ(r.junkFileSize, 45u);
}

INSTANTIATE_TEST_SUITE_P(BothResolvers, QuickScanWalkTest,
                         ::testing::Values(Resolver::Kernel, Resolver::NameByName), resolverName);

namespace {

class QuickScanMidWalkTest : public QuickScanTest {};

}  // namespace

TEST_F(QuickScanMidWalkTest, AStopMidWalkEndsItAtTheNextEntry) {
    SimDeviceBuilder b = builder("stopping");
    for (int i = 0; i < 30; ++i) {
        b.addMediaFileOfSize("/Many/f" + std::to_string(100 + i) + ".bin", kLarge);
    }
    const int index = attachDevice(b);
    QuickScanEngine* running = nullptr;
    int checksAfterTen = 0;
    QuickScanEngine engine(optionsFor(index), [&] {
        if (running->result().userDataBigFileArray.size() >= 10) {
            ++checksAfterTen;
            return true;
        }
        return false;
    });
    running = &engine;
    engine.QuickScanLargeFileFromUserData();
    const QuickScanResult r = engine.takeResult();
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.userDataBigFileArray.size(), 10u);
    EXPECT_EQ(r.bigFileSize, 10 * kLarge);
    EXPECT_EQ(checksAfterTen, 1) << "a stopped walk asks nothing more";
    for (std::size_t i = 0; i < r.userDataBigFileArray.size(); ++i) {
        EXPECT_EQ(r.userDataBigFileArray[i]->filePath().toStdString(),
                  "/Many/f" + std::to_string(100 + i) + ".bin");
    }
}
