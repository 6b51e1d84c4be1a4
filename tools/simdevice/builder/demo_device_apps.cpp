// The demo iPhone's apps: a dozen user apps with filled containers and built-in ones of several
// kinds.
#include <algorithm>
#include <string>
#include <vector>

#include "demo_device_parts.h"
#include "platform/mobiledevice/sim/sim_layout.h"

namespace nimbara::simdev::demo {

namespace {

struct DemoApp {
    AppSpec spec;
    std::uint64_t cacheBytes;            // the app's own cache database
    std::vector<std::string> adFolders;  // folders directly under /Library/Caches
    std::vector<std::string> documents;  // names under /Documents
    std::uint64_t tmpBytes;              // leftovers in /tmp
};

AppSpec userApp(const char* id, const char* name, const char* version, std::int64_t bundle,
                std::int64_t data) {
    AppSpec a;
    a.bundleId = id;
    a.displayName = name;
    a.version = version;
    a.bundleVersion = std::string(version) + ".0";
    a.staticDiskUsage = bundle;
    a.dynamicDiskUsage = data;
    return a;
}

AppSpec systemApp(const char* id, const char* name, std::int64_t bundle, std::int64_t data) {
    AppSpec a = userApp(id, name, "12.4.1", bundle, data);
    a.type = "System";
    a.bundleVersion = "1";
    a.withContainer = false;
    return a;
}

PlistValue iCloudEntitlements(const std::string& id) {
    PlistValue e = PlistValue::dict();
    e["com.apple.developer.ubiquity-container-identifiers"].append("iCloud." + id);
    e["com.apple.developer.ubiquity-kvstore-identifier"] = "$(TeamIdentifierPrefix)" + id;
    return e;
}

std::vector<DemoApp> demoApps() {
    std::vector<DemoApp> apps = {
        {userApp("com.lumenfield.pocketledger", "Pocket Ledger", "2.4.1", 48230400, 12582912),
         180 * kKB,
         {},
         {"Ledger 2026.sqlite", "receipts.zip", "export-november.log"},
         40 * kKB},
        {userApp("net.trailhead.hikemaps", "Trailhead Maps", "5.12", 182452224, 611254272),
         2600 * kKB,
         {"GoogleAds"},
         {"Alps-tiles.mbtiles", "route-1.jpg"},
         3 * kMB},
        {userApp("com.brightpixel.puzzlequest", "Puzzle Quest Saga", "3.8.2", 412000000,
                 1388000000),
         9 * kMB,
         {"com.MoPub.cache", "Chartboost", "com.tapjoy.cache", "AdMobFlurry"},
         {},
         1500 * kKB},
        {userApp("io.quietnotes.app", "Quiet Notes", "1.9", 18874368, 1572864),
         60 * kKB,
         {},
         {"Ideas.txt", "voice note.m4a"},
         0},
        {userApp("com.skylinemedia.newsdaily", "News Daily", "7.3", 96468992, 274726912),
         14 * kMB,
         {"com.google.GoogleMobileAds", "InMobiCache", "com.flurry.sessions"},
         {"saved-article.html"},
         800 * kKB},
        {userApp("com.harborfit.tracker", "Harbor Fit", "4.0.2", 61000000, 39000000),
         900 * kKB,
         {},
         {"workouts.json", "run-0611.mp4"},
         120 * kKB},
        {userApp("tv.streamnest.player", "StreamNest", "11.2", 135266304, 1102053376),
         22 * kMB,
         {"doubleclick"},
         {"offline/episode-03.mp4"},
         6 * kMB},
        {userApp("com.cobaltchat.messenger", "Cobalt Chat", "21.4", 168820736, 402653184),
         5 * kMB,
         {},
         {"Media/IMG_2210.JPG", "Media/voice-0412.m4a", "chat.db"},
         2 * kMB},
        {userApp("com.wordsmith.dictionary", "Wordsmith Dictionary", "6.1", 58720256, 8388608),
         300 * kKB,
         {"MobFox", "SmaatoSDK"},
         {},
         0},
        {userApp("com.ferrolabs.scanpro", "Scan Pro", "3.2", 40894464, 33554432),
         700 * kKB,
         {},
         {"Scan 2026-11-02.pdf", "Scan 2026-11-02.JPG", "Receipts/lunch.png"},
         450 * kKB},
        {userApp("com.tidepool.weatherly", "Weatherly", "9.0.1", 74448896, 48234496),
         1200 * kKB,
         {"com.mopub.ads", "Appnext"},
         {},
         90 * kKB},
        {userApp("com.pixelforge.runner", "Pixel Runner", "1.14", 256901120, 96468992),
         4 * kMB,
         {"Applifier", "com.chartboost.sdk", "revmobads"},
         {"savegame.dat"},
         0},
        // Shares no files: its container is refused (see addApps).
        {userApp("com.northgate.vault", "Northgate Vault", "2.0", 30408704, 5242880),
         150 * kKB,
         {"com.flurry.vault"},
         {"vault.zip"},
         20 * kKB},
    };
    apps[0].spec.fileSharing = true;
    apps[3].spec.fileSharing = true;
    apps[9].spec.fileSharing = true;
    apps[3].spec.entitlements = iCloudEntitlements(apps[3].spec.bundleId);
    apps[9].spec.entitlements = iCloudEntitlements(apps[9].spec.bundleId);
    apps[10].spec.version.clear();  // an app that carries only "CFBundleVersion"
    apps[10].spec.bundleVersion = "9.0.1";
    return apps;
}

void fillContainer(SimDeviceBuilder& b, const DemoApp& app, unsigned index) {
    const std::string& id = app.spec.bundleId;
    const std::string caches = "/Library/Caches/" + id;
    // The database itself is written; what the cache holds beyond it is a sparse blob.
    const std::uint64_t database = std::min<std::uint64_t>(app.cacheBytes, 200 * kKB);
    b.addContainerText(id, caches + "/Cache.db",
                       sqliteLike(static_cast<std::size_t>(database), index));
    if (app.cacheBytes > database) {
        b.addContainerFile(id,
                           caches + "/fsCachedData/9F1C2A7E-53B0-4C1D-8E2F-" +
                               std::to_string(100000000000 + index),
                           app.cacheBytes - database);
    }
    b.addContainerFile(
        id,
        caches + "/fsCachedData/0B7D4E21-AC36-4F58-9D10-" + std::to_string(200000000000 + index),
        37 * kKB + index * 1000);
    b.addContainerFile(id, "/Library/Caches/Snapshots/" + id + "/Main.ktx", 310 * kKB);
    for (const std::string& folder : app.adFolders) {
        b.addContainerFile(id, "/Library/Caches/" + folder + "/creative-1.dat", 120 * kKB);
        b.addContainerText(id, "/Library/Caches/" + folder + "/manifest.json",
                           "{\"version\":3,\"creatives\":[\"creative-1.dat\"]}\n");
    }
    b.addContainerText(id, "/Library/Cookies/Cookies.binarycookies",
                       std::string("cook\0\0\0\x01", 8) + std::string(1000 + index * 300, 'c'));
    for (const std::string& doc : app.documents) {
        b.addContainerFile(id, "/Documents/" + doc, 24 * kKB + index * 7 * kKB);
    }
    if (app.tmpBytes > 0) {
        b.addContainerFile(id, "/tmp/upload-" + std::to_string(4096 + index) + ".part",
                           app.tmpBytes);
        b.addContainerFile(id, "/tmp/WebKit/NetworkCache/record-" + std::to_string(index), 8 * kKB);
    }
}

// What real containers hold besides the usual: nested and empty folders, hidden names, names
// that differ only by a leading dot, a folder named "...", kinds outside the document table and
// names without an extension.
void addAwkwardDocuments(SimDeviceBuilder& b) {
    const std::string notes = "io.quietnotes.app";
    b.addContainerDir(notes, "/Documents/Archive/Empty");
    b.addContainerFile(notes, "/Documents/Archive/2025/old memo.MP3", 210 * kKB);
    b.addContainerFile(notes, "/Documents/Archive/2025/draft.PDF", 44 * kKB);
    b.addContainerFile(notes, "/Documents/notes.zip", 96 * kKB);
    b.addContainerFile(notes, "/Documents/.notes.zip", 12 * kKB);
    b.addContainerFile(notes, "/Documents/.mp3", 3 * kKB);
    b.addContainerFile(notes, "/Documents/mp3", 2 * kKB);
    b.addContainerFile(notes, "/Documents/.../dots.log", 5 * kKB);
    b.addContainerDir(notes, "/tmp/empty-session");
    b.addContainerDir(notes, "/Library/Caches/Empty");
    // Same names in another app, for exports that must keep both.
    const std::string scan = "com.ferrolabs.scanpro";
    b.addContainerFile(scan, "/Documents/notes.zip", 64 * kKB);
    b.addContainerFile(scan, "/tmp/.DS_Store", 6 * kKB);
}

}  // namespace

AppBytes addApps(SimDeviceBuilder& b) {
    AppBytes bytes;
    unsigned index = 0;
    for (const DemoApp& app : demoApps()) {
        b.addApp(app.spec);
        fillContainer(b, app, ++index);
        bytes.user += app.spec.staticDiskUsage + app.spec.dynamicDiskUsage;
    }
    bytes.all = bytes.user;
    const auto addSystemApp = [&](const AppSpec& spec) {
        b.addApp(spec);
        if (spec.withDiskUsage) {
            bytes.all += spec.staticDiskUsage + spec.dynamicDiskUsage;
        }
    };
    // A file named like an advertising network is no advertisement cache: only folders are.
    b.addContainerFile("com.skylinemedia.newsdaily", "/Library/Caches/flurry.db", 64 * kKB);
    addAwkwardDocuments(b);
    // Large files inside containers, for the large-file finder's app files.
    b.addContainerFile("tv.streamnest.player", "/Documents/offline/episode-07.mp4", 64 * kMB);
    b.addContainerFile("net.trailhead.hikemaps", "/Library/Caches/tiles/alps-z14.cache", 7 * kMB);
    PlistValue refused = PlistValue::array();
    refused.append(PlistValue("com.northgate.vault"));
    b.setFault(md::sim::kFaultRefusedContainers, refused);

    addSystemApp(systemApp("com.apple.mobilesafari", "Safari", 43210752, 187695104));
    addSystemApp(systemApp("com.apple.mobilenotes", "Notes", 17825792, 9437184));
    addSystemApp(systemApp("com.apple.camera", "Camera", 8388608, 1048576));
    addSystemApp(systemApp("com.apple.mobilecal", "Calendar", 12582912, 4194304));
    // Built-in apps as devices list them: one without a display name, one whose display name is
    // a single letter, a service without a bundle size, and one of a kind that is neither user
    // nor system app.
    AppSpec messages = systemApp("com.apple.MobileSMS", "", 15728640, 52428800);
    messages.executable = "MobileSMS";
    messages.exactDisplayName = true;
    addSystemApp(messages);
    AppSpec weather = systemApp("com.apple.weather", "W", 9437184, 2097152);
    weather.executable = "Weather";
    weather.exactDisplayName = true;
    addSystemApp(weather);
    AppSpec push = systemApp("com.apple.PushServices", "Push Services", 0, 0);
    push.withDiskUsage = false;
    addSystemApp(push);
    AppSpec diagnostics = systemApp("com.apple.DiagnosticsReporter", "Diagnostics", 4194304, 0);
    diagnostics.type = "Internal";
    addSystemApp(diagnostics);
    return bytes;
}

}  // namespace nimbara::simdev::demo
