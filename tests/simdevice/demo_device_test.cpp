// The demo iPhone has what the clean-up, large-file, photo and crash-log features look for.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QString>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "backup/sqlite_db.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace fs = std::filesystem;
namespace layout = nimbara::md::sim;
using nimbara::PlistValue;
using nimbara::test::readText;
using nimbara::test::TempDir;

namespace {

class DemoDevice : public ::testing::Test {
  protected:
    // Built once for all tests of this suite; the tests only read it.
    static void SetUpTestSuite() {
        tmp_ = std::make_unique<TempDir>();
        std::string error;
        built_ = nimbara::simdev::makeDemoDevice(dir(), &error);
        EXPECT_TRUE(built_) << error;
    }
    static void TearDownTestSuite() { tmp_.reset(); }
    void SetUp() override { ASSERT_TRUE(built_); }

    static fs::path dir() { return tmp_->path() / "demo"; }
    static fs::path media(const std::string& rel) { return dir() / layout::kMediaDir / rel; }
    static PlistValue device() {
        auto v = PlistValue::readFile((dir() / layout::kDevicePlist).string());
        return v ? *v : PlistValue();
    }
    // (bundle id, attributes) of every app.
    static std::vector<std::pair<std::string, PlistValue>> apps() {
        std::vector<std::pair<std::string, PlistValue>> list;
        for (const auto& e : fs::directory_iterator(dir() / layout::kAppsDir)) {
            auto a = PlistValue::readFile((e.path() / layout::kAppAttributes).string());
            EXPECT_TRUE(a) << e.path();
            if (a) {
                list.emplace_back(e.path().filename().string(), *a);
            }
        }
        return list;
    }
    static std::vector<fs::path> filesUnder(const fs::path& root) {
        std::vector<fs::path> files;
        if (fs::is_directory(root)) {
            for (const auto& e : fs::recursive_directory_iterator(root)) {
                if (e.is_regular_file()) {
                    files.push_back(e.path());
                }
            }
        }
        return files;
    }

    static inline std::unique_ptr<TempDir> tmp_;
    static inline bool built_ = false;
};

std::uint32_t wordAt(const std::string& bytes, std::size_t offset) {
    std::uint32_t w = 0;
    for (int i = 3; i >= 0; --i) {
        w = (w << 8) | static_cast<unsigned char>(bytes[offset + static_cast<std::size_t>(i)]);
    }
    return w;
}

}  // namespace

TEST_F(DemoDevice, IdentityAndStorageFiguresArePlausible) {
    const PlistValue d = device();
    EXPECT_TRUE(d[layout::kKeyTrusted].toBool());
    const PlistValue& global = d[layout::kKeyLockdown][layout::kGlobalDomain];
    EXPECT_EQ(global["ProductType"].toString(), "iPhone10,4");
    EXPECT_EQ(global["ProductVersion"].toString(), "12.4.1");
    EXPECT_EQ(global["BuildVersion"].toString(), "16G102");
    EXPECT_FALSE(global["PhoneNumber"].toString().empty());
    EXPECT_FALSE(global["SerialNumber"].toString().empty());

    const PlistValue& du = d[layout::kKeyLockdown]["com.apple.disk_usage"];
    EXPECT_EQ(du["TotalDiskCapacity"].toInt64(), 64000000000LL);
    // Most of it free: the device holds some gigabytes of apps and a little media.
    const std::int64_t free = du["AmountDataAvailable"].toInt64();
    EXPECT_GT(free, 40000000000LL);
    EXPECT_LT(free, du["TotalDataCapacity"].toInt64());

    const PlistValue& m = d[layout::kKeyAssetMetrics];
    const std::int64_t parts[] = {m["Application"]["_PhysicalSize"].toInt64(),
                                  m["Media"]["Music"]["_PhysicalSize"].toInt64(),
                                  m["Media"]["Movie"]["_PhysicalSize"].toInt64(),
                                  m["Photo"]["Photo"]["_PhysicalSize"].toInt64(),
                                  m["Photo"]["CameraRoll"]["_PhysicalSize"].toInt64()};
    std::int64_t sum = 0;
    for (std::int64_t p : parts) {
        EXPECT_GT(p, 0);
        sum += p;
    }
    EXPECT_LT(sum, du["TotalDataCapacity"].toInt64() - free);
}

TEST_F(DemoDevice, JunkRootsHoldFiles) {
    for (const char* name :
         {"downloads.28.sqlitedb", "downloads.28.sqlitedb-shm", "downloads.28.sqlitedb-wal"}) {
        EXPECT_TRUE(fs::is_regular_file(media("Downloads") / name)) << name;
    }
    EXPECT_GE(filesUnder(media("Downloads")).size(), 5u);  // partial downloads too
    EXPECT_FALSE(filesUnder(media("general_storage")).empty());
    EXPECT_FALSE(filesUnder(media("iTunes_Control/Sync/Media")).empty());
    // Photo-edit leftovers, at least one passing the lower-case picture suffix test.
    const auto edits = filesUnder(media("PhotoData/Mutations/DCIM"));
    EXPECT_TRUE(std::any_of(edits.begin(), edits.end(), [](const fs::path& p) {
        const std::string n = p.filename().string();
        return n.ends_with("jpg") || n.ends_with("png") || n.ends_with("jpeg");
    }));
    const fs::path adjustments = media("PhotoData/Mutations/DCIM/100APPLE/IMG_0009/Adjustments");
    EXPECT_TRUE(fs::is_regular_file(adjustments / "IMG_0009.JPG"));
    EXPECT_TRUE(fs::is_regular_file(adjustments / "IMG_0009.jpg"));
    EXPECT_TRUE(fs::is_directory(media("ApplicationArchives")));
    EXPECT_TRUE(fs::is_empty(media("ApplicationArchives")));
}

TEST_F(DemoDevice, MediaLibraryPrefsYieldAnIdentifier) {
    const std::string prefs = readText(media("iTunes_Control/iTunes/iTunesPrefs"));
    ASSERT_GE(prefs.size(), 104u);
    for (std::size_t offset : {20u, 24u, 96u, 100u}) {
        EXPECT_NE(wordAt(prefs, offset), 0u) << offset;
    }
    // The identifier words must not cancel out.
    EXPECT_NE(wordAt(prefs, 20) ^ wordAt(prefs, 96), 0u);
    EXPECT_NE(wordAt(prefs, 24) ^ wordAt(prefs, 100), 0u);
    EXPECT_TRUE(fs::is_regular_file(media("iTunes_Control/iTunes/MediaLibrary.sqlitedb")));
}

TEST_F(DemoDevice, MediaLibraryIsACatalogueOfFilesOnTheDevice) {
    const fs::path library = media("iTunes_Control/iTunes/MediaLibrary.sqlitedb");
    // The device had not yet folded its log in.
    EXPECT_TRUE(fs::is_regular_file(library.string() + "-wal"));
    EXPECT_TRUE(fs::is_regular_file(library.string() + "-shm"));
    // Read from a copy, as the device's own files are never opened in place.
    const fs::path copy = tmp_->path() / "library-copy";
    fs::create_directories(copy);
    for (const char* suffix : {"", "-wal"}) {
        fs::copy_file(library.string() + suffix, (copy / "MediaLibrary.sqlitedb").string() + suffix,
                      fs::copy_options::overwrite_existing);
    }
    auto db = nimbara::SqliteDb::open((copy / "MediaLibrary.sqlitedb").string(),
                                      nimbara::SqliteDb::Mode::ReadWrite);
    ASSERT_TRUE(db);
    for (const char* table : {"item", "item_extra", "item_artist", "album", "base_location"}) {
        EXPECT_TRUE(db->hasTable(table)) << table;
    }
    auto rows = db->prepare(
        "SELECT item_extra.item_pid, item_extra.title, item_extra.media_kind, base_location.path, "
        "item_extra.location, item_extra.file_size FROM item_extra JOIN item USING (item_pid) "
        "JOIN base_location USING (base_location_id)");
    ASSERT_TRUE(rows.valid());
    int tracks = 0, videos = 0, missing = 0, negative = 0, hostile = 0;
    while (rows.step()) {
        ++tracks;
        negative += rows.columnInt64(0) < 0 ? 1 : 0;
        videos += rows.columnInt64(2) == 2 ? 1 : 0;
        const std::string title = rows.columnString(1);
        hostile += title.find('/') != std::string::npos && title.find("..") != std::string::npos;
        const fs::path file = media(rows.columnString(3) + "/" + rows.columnString(4));
        EXPECT_TRUE(rows.columnString(3).starts_with("iTunes_Control/Music/F")) << title;
        if (fs::is_regular_file(file)) {
            EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(file)), rows.columnInt64(5)) << title;
        } else {
            ++missing;
        }
    }
    EXPECT_GE(tracks, 6);
    EXPECT_GE(videos, 2);
    EXPECT_EQ(missing, 1);
    EXPECT_GE(negative, 3);
    EXPECT_EQ(hostile, 1);
}

TEST_F(DemoDevice, VoiceMemosAndSyncedPhotoFolders) {
    int memos = 0;
    for (const auto& e : fs::directory_iterator(media("Recordings"))) {
        memos += e.path().extension() == ".m4a" ? 1 : 0;
    }
    EXPECT_GE(memos, 3);
    EXPECT_FALSE(filesUnder(media("PhotoStreamsData/1873402915/100APPLE")).empty());
    EXPECT_FALSE(filesUnder(media("PhotoData/Sync/100SYNCD")).empty());
    EXPECT_FALSE(filesUnder(media("Photos/Sync/101SYNCD")).empty());
}

TEST_F(DemoDevice, AppsCoverTheSizeLimits) {
    int user = 0, system = 0, other = 0, above = 0, exactly = 0;
    for (const auto& [id, a] : apps()) {
        EXPECT_EQ(a["CFBundleIdentifier"].toString(), id);
        const std::int64_t size = a["StaticDiskUsage"].toInt64() + a["DynamicDiskUsage"].toInt64();
        const fs::path container = dir() / layout::kAppsDir / id / layout::kAppContainer;
        if (a["ApplicationType"].toString() == "User") {
            ++user;
            EXPECT_GE(size, 20000000) << id;
            EXPECT_LE(size, 1800000000) << id;
            above += size > 100000000 ? 1 : 0;
            exactly += size == 100000000 ? 1 : 0;
            EXPECT_TRUE(fs::is_regular_file(container / "Library/Cookies/Cookies.binarycookies"))
                << id;
            EXPECT_FALSE(filesUnder(container / "Library/Caches").empty()) << id;
        } else {
            ++(a["ApplicationType"].toString() == "System" ? system : other);
            EXPECT_FALSE(fs::exists(container)) << id;
        }
    }
    EXPECT_GE(user, 12);
    EXPECT_EQ(system, 7);
    EXPECT_EQ(other, 1);
    EXPECT_GE(above, 3);
    EXPECT_EQ(exactly, 1);
}

TEST_F(DemoDevice, SeveralAppsHoldAdvertisementCacheFolders) {
    const char* networks[] = {"admob",     "mopub",   "chartboos",   "flurry", "googleads",
                              "inmobi",    "tapjoy",  "doubleclick", "mobfox", "smaato",
                              "applifier", "appnext", "revmobads"};
    int appsWithAds = 0;
    bool fileNamedLikeANetwork = false;
    for (const auto& [id, a] : apps()) {
        const fs::path caches =
            dir() / layout::kAppsDir / id / layout::kAppContainer / "Library/Caches";
        if (!fs::is_directory(caches)) {
            continue;
        }
        bool found = false;
        for (const auto& e : fs::directory_iterator(caches)) {
            std::string name = e.path().filename().string();
            std::transform(name.begin(), name.end(), name.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            const bool matches =
                std::any_of(std::begin(networks), std::end(networks),
                            [&](const char* n) { return name.find(n) != std::string::npos; });
            if (matches && e.is_directory()) {
                found = true;
            } else if (matches) {
                fileNamedLikeANetwork = true;
            }
        }
        appsWithAds += found ? 1 : 0;
    }
    EXPECT_GE(appsWithAds, 4);
    EXPECT_TRUE(fileNamedLikeANetwork);
}

TEST_F(DemoDevice, ContainersHoldAwkwardNamesAndOneIsRefused) {
    const fs::path notes = dir() / layout::kAppsDir / "io.quietnotes.app" / layout::kAppContainer;
    EXPECT_TRUE(fs::is_directory(notes / "Documents/Archive/Empty"));
    EXPECT_TRUE(fs::is_empty(notes / "Documents/Archive/Empty"));
    EXPECT_TRUE(fs::is_directory(notes / "tmp/empty-session"));
    for (const char* name : {"notes.zip", ".notes.zip", ".mp3", "mp3", ".../dots.log"}) {
        EXPECT_TRUE(fs::is_regular_file(notes / "Documents" / name)) << name;
    }
    // The same document name in another app.
    EXPECT_TRUE(fs::is_regular_file(dir() / layout::kAppsDir / "com.ferrolabs.scanpro" /
                                    layout::kAppContainer / "Documents/notes.zip"));
    const PlistValue refused = device()[layout::kKeyFaults][layout::kFaultRefusedContainers];
    ASSERT_EQ(refused.toArray().size(), 1u);
    const std::string vault = refused.toArray()[0].toString();
    EXPECT_EQ(vault, "com.northgate.vault");
    EXPECT_TRUE(fs::is_directory(dir() / layout::kAppsDir / vault / layout::kAppContainer /
                                 "Library/Caches/com.flurry.vault"));
    // Media left by failed syncs, at the top and in sub-folders.
    EXPECT_TRUE(fs::is_regular_file(media("iTunes_Control/Sync/pending-0412.m4a")));
    EXPECT_FALSE(filesUnder(media("iTunes_Control/Sync/Media")).empty());
}

TEST_F(DemoDevice, LargeFilesAndThumbnailsInSubFolders) {
    int large = 0, thumbnails = 0;
    for (const fs::path& f : filesUnder(dir() / layout::kMediaDir)) {
        if (fs::file_size(f) <= 5000000) {
            continue;
        }
        const std::string rel = f.lexically_relative(dir() / layout::kMediaDir).string();
        if (f.extension() == ".ithmb") {
            thumbnails += rel.starts_with("PhotoData/Thumbnails/V2/") ? 1 : 0;
        } else {
            ++large;
        }
    }
    EXPECT_GE(large, 3);
    EXPECT_GE(thumbnails, 1);
    EXPECT_GT(fs::file_size(media("DCIM/100APPLE/IMG_0010.MOV")), 5000000u);
}

TEST_F(DemoDevice, CrashLogsAreNestedAndOneIsEmpty) {
    const fs::path crashes = dir() / layout::kCrashesDir;
    const auto logs = filesUnder(crashes);
    EXPECT_GE(logs.size(), 8u);
    int nested = 0, empty = 0, topLevel = 0;
    for (const fs::path& f : logs) {
        const fs::path rel = f.lexically_relative(crashes);
        (std::distance(rel.begin(), rel.end()) > 1 ? nested : topLevel) += 1;
        empty += fs::file_size(f) == 0 ? 1 : 0;
    }
    EXPECT_GE(nested, 3);
    EXPECT_GE(topLevel, 2);
    EXPECT_EQ(empty, 1);
    EXPECT_FALSE(filesUnder(crashes / "Panics").empty());
    EXPECT_FALSE(filesUnder(crashes / "Retired").empty());
}

TEST_F(DemoDevice, CameraRollPhotosAreRealJpegs) {
    std::set<std::pair<int, int>> sizes;
    int photos = 0;
    for (const auto& e : fs::directory_iterator(media("DCIM/100APPLE"))) {
        if (e.path().extension() != ".JPG") {
            continue;
        }
        QImageReader reader(QString::fromStdString(e.path().string()));
        EXPECT_EQ(reader.format(), QByteArray("jpeg")) << e.path();
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << e.path() << reader.errorString().toStdString();
        sizes.insert({image.width(), image.height()});
        ++photos;
    }
    EXPECT_GE(photos, 12);
    EXPECT_GE(sizes.size(), 3u);
    for (const char* root : {"PhotoStreamsData", "PhotoData/Sync", "Photos/Sync"}) {
        EXPECT_FALSE(filesUnder(media(root)).empty()) << root;
    }
}

TEST_F(DemoDevice, BookListNamesBooksThatExist) {
    auto list = PlistValue::readFile(media("Books/Purchases/Purchases.plist").string());
    ASSERT_TRUE(list);
    const auto& books = (*list)["Books"].toArray();
    ASSERT_FALSE(books.empty());
    for (const PlistValue& book : books) {
        EXPECT_FALSE(book["Name"].toString().empty());
        EXPECT_TRUE(fs::exists(media("Books/Purchases") / book["Path"].toString()))
            << book["Path"].toString();
    }
}

TEST_F(DemoDevice, CostsLittleDisk) {
    std::uint64_t apparent = 0, used = 0;
    for (const fs::path& f : filesUnder(dir())) {
        struct stat st {};
        ASSERT_EQ(::stat(f.c_str(), &st), 0);
        apparent += static_cast<std::uint64_t>(st.st_size);
        used += static_cast<std::uint64_t>(st.st_blocks) * 512;
    }
    EXPECT_GT(apparent, 100000000u);
    EXPECT_LT(used, 64000000u);
}
