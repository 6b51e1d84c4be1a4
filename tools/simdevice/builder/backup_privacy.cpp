#include "backup_privacy.h"

#include <cmath>
#include <filesystem>
#include <stdexcept>

#include "backup_safari.h"
#include "backup_source.h"
#include "demo_device_parts.h"
#include "file_writer.h"
#include "generated_images.h"
#include "platform/plist_value.h"
#include "privacy/binary_cookies.h"
#include "sim_database.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSafariDomain = "AppDomain-com.apple.mobilesafari";
constexpr const char* kWifiDomain = "SystemPreferencesDomain";

const char* const kHistorySchema =
    "CREATE TABLE history_items (id INTEGER PRIMARY KEY AUTOINCREMENT, url TEXT NOT NULL UNIQUE, "
    "domain_expansion TEXT NULL, visit_count INTEGER NOT NULL, daily_visit_counts BLOB NOT NULL, "
    "weekly_visit_counts BLOB NULL, autocomplete_triggers BLOB NULL, "
    "should_recompute_derived_visit_counts INTEGER NOT NULL, visit_count_score INTEGER NOT NULL);"
    "CREATE TABLE history_visits (id INTEGER PRIMARY KEY AUTOINCREMENT, history_item INTEGER NOT "
    "NULL REFERENCES history_items(id) ON DELETE CASCADE, visit_time REAL NOT NULL, title TEXT "
    "NULL, load_successful BOOLEAN NOT NULL DEFAULT 1, http_non_get BOOLEAN NOT NULL DEFAULT 0, "
    "synthesized BOOLEAN NOT NULL DEFAULT 0, redirect_source INTEGER NULL UNIQUE REFERENCES "
    "history_visits(id) ON DELETE CASCADE, redirect_destination INTEGER NULL UNIQUE REFERENCES "
    "history_visits(id) ON DELETE CASCADE, origin INTEGER NOT NULL DEFAULT 0, generation INTEGER "
    "NOT NULL DEFAULT 0, attributes INTEGER NOT NULL DEFAULT 0, score INTEGER NOT NULL DEFAULT "
    "0);"
    "CREATE TABLE history_tombstones (id INTEGER PRIMARY KEY AUTOINCREMENT, start_time REAL NOT "
    "NULL, end_time REAL NOT NULL, url TEXT, generation INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE metadata (key TEXT NOT NULL UNIQUE, value);"
    "CREATE INDEX history_items__domain_expansion ON history_items (domain_expansion);"
    "CREATE INDEX history_visits__last_visit ON history_visits (history_item, visit_time DESC, "
    "synthesized ASC);"
    "INSERT INTO metadata VALUES ('version', 11);";

// "https://www.kitchen.example/recipes" gives "kitchen".
std::string domainExpansion(const std::string& url) {
    std::string host = url.substr(url.find("://") == std::string::npos ? 0 : url.find("://") + 3);
    host = host.substr(0, host.find_first_of("/?#"));
    if (host.starts_with("www.")) {
        host = host.substr(4);
    }
    const std::size_t dot = host.rfind('.');
    return dot == std::string::npos ? host : host.substr(0, dot);
}

PlistValue networkEntry(const BackupWifiNetwork& network) {
    PlistValue entry = PlistValue::dict();
    entry["SSID_STR"] = network.ssid;
    entry["SSID"] = PlistValue::Bytes(network.ssid.begin(), network.ssid.end());
    entry["BSSID"] = network.bssid;
    entry["SecurityMode"] = network.security;
    entry["lastAutoJoined"] = PlistValue::date(network.lastJoined);
    entry["lastJoined"] = PlistValue::date(network.lastJoined - 3600);
    entry["enabled"] = true;
    return entry;
}

std::string plistBytes(const PlistValue& root, bool xml) {
    if (xml) {
        return root.toXml();
    }
    const PlistValue::Bytes binary = root.toBinary();
    return std::string(binary.begin(), binary.end());
}

// The bytes of a TIFF block in one byte order.
class TiffBytes {
  public:
    explicit TiffBytes(bool bigEndian) : big_(bigEndian) {}
    void u16(std::uint16_t value) { put(value, 2); }
    void u32(std::uint32_t value) { put(value, 4); }
    void bytes(std::string_view raw) { out_ += raw; }
    std::size_t size() const { return out_.size(); }
    const std::string& str() const { return out_; }

  private:
    void put(std::uint32_t value, int width) {
        for (int i = 0; i < width; ++i) {
            const int shift = big_ ? 8 * (width - 1 - i) : 8 * i;
            out_.push_back(static_cast<char>((value >> shift) & 0xFF));
        }
    }
    bool big_;
    std::string out_;
};

struct Rational {
    std::uint32_t numerator;
    std::uint32_t denominator;
};

// Degrees, minutes and seconds (to a ten-thousandth) of an angle's size.
std::vector<Rational> sexagesimal(double angle) {
    const double size = std::fabs(angle);
    const double degrees = std::floor(size);
    const double minutes = std::floor((size - degrees) * 60);
    const double seconds = ((size - degrees) * 60 - minutes) * 60;
    return {{static_cast<std::uint32_t>(degrees), 1},
            {static_cast<std::uint32_t>(minutes), 1},
            {static_cast<std::uint32_t>(std::llround(seconds * 10000)), 10000}};
}

}  // namespace

void addBackupCookies(const SimDeviceBuilder& b, const std::vector<BackupCookie>& cookies) {
    std::vector<std::string> records;
    for (const BackupCookie& cookie : cookies) {
        records.push_back(privacy::makeCookieRecord({.url = cookie.domain,
                                                     .name = cookie.name,
                                                     .path = cookie.path,
                                                     .value = cookie.value,
                                                     .flags = cookie.flags,
                                                     .expiry = cookie.expiry,
                                                     .creation = cookie.created}));
    }
    // The policy list the browser keeps after the pages.
    PlistValue policy = PlistValue::dict();
    policy["NSHTTPCookieAcceptPolicy"] = 2;
    addBackupFile(b, "HomeDomain", "Library/Cookies/Cookies.binarycookies",
                  privacy::writeBinaryCookies(records, plistBytes(policy, false)));
}

void addBackupWifiNetworks(const SimDeviceBuilder& b,
                           const std::vector<BackupWifiNetwork>& networks, bool xml) {
    PlistValue list = PlistValue::array();
    for (const BackupWifiNetwork& network : networks) {
        list.append(networkEntry(network));
    }
    PlistValue root = PlistValue::dict();
    root["List of known networks"] = list;
    root["Version"] = 14;
    addBackupFile(b, kWifiDomain, "SystemConfiguration/com.apple.wifi.plist",
                  plistBytes(root, xml));
}

void addBackupKnownNetworks(const SimDeviceBuilder& b,
                            const std::vector<BackupWifiNetwork>& networks) {
    PlistValue root = PlistValue::dict();
    for (const BackupWifiNetwork& network : networks) {
        PlistValue entry = PlistValue::dict();
        entry["SSID"] = PlistValue::Bytes(network.ssid.begin(), network.ssid.end());
        entry["SupportedSecurityTypes"] = 4;
        entry["AddedAt"] = PlistValue::date(network.lastJoined - 86400 * 30);
        entry["JoinedBySystemAt"] = PlistValue::date(network.lastJoined);
        PlistValue station = PlistValue::dict();
        station["LEAKY_AP_BSSID"] = network.bssid;
        entry["BSSList"] = PlistValue(PlistValue::Array{station});
        root["wifi.network.ssid." + network.ssid] = entry;
    }
    addBackupFile(b, kWifiDomain, "SystemConfiguration/com.apple.wifi.known-networks.plist",
                  plistBytes(root, false));
}

void addBackupHistoryDatabase(const SimDeviceBuilder& b,
                              const std::vector<BackupHistoryItem>& items, std::size_t inLog) {
    BackupSqliteWriter db(backupDatabaseFile(b.dir(), kSafariDomain, "Library/Safari/History.db"),
                          kHistorySchema);
    SqliteStatement item = db.prepare(
        "INSERT INTO history_items (url, domain_expansion, visit_count, daily_visit_counts, "
        "should_recompute_derived_visit_counts, visit_count_score) VALUES (?, ?, ?, ?, 0, ?)");
    SqliteStatement visit =
        db.prepare("INSERT INTO history_visits (history_item, visit_time, title) VALUES (?, ?, ?)");
    db.writeRows(items, inLog, [&](const BackupHistoryItem& page, std::size_t index) {
        item.bind(1, page.url);
        bindText(item, 2, domainExpansion(page.url));
        item.bind(3, static_cast<std::int64_t>(page.visits.size()));
        item.bind(4, QByteArray(4, '\0'));
        item.bind(5, static_cast<std::int64_t>(100 * page.visits.size()));
        db.run(item);
        for (double when : page.visits) {
            visit.bind(1, static_cast<std::int64_t>(index + 1));
            bindReal(visit, 2, when);
            bindText(visit, 3, page.title);
            db.run(visit);
        }
    });
    db.finish();
}

std::string gpsExifSegment(const PhotoPosition& position, bool bigEndian) {
    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;  // 1 BYTE, 2 ASCII, 5 RATIONAL
        std::uint32_t count;
        std::string inlineValue;            // up to 4 bytes
        std::vector<Rational> rationals{};  // stored after the directory
    };
    const std::string north(position.latitude < 0 ? "S" : "N");
    const std::string east(position.longitude < 0 ? "W" : "E");
    std::vector<Entry> entries = {
        {0x0000, 1, 4, std::string("\x02\x02\x00\x00", 4)},
        {0x0001, 2, 2, north + std::string(3, '\0')},
        {0x0002, 5, 3, {}, sexagesimal(position.latitude)},
        {0x0003, 2, 2, east + std::string(3, '\0')},
        {0x0004, 5, 3, {}, sexagesimal(position.longitude)},
    };
    if (position.altitude) {
        const double metres = std::fabs(*position.altitude);
        entries.push_back(
            {0x0005, 1, 1,
             std::string(1, *position.altitude < 0 ? '\x01' : '\x00') + std::string(3, '\0')});
        entries.push_back(
            {0x0006, 5, 1, {}, {{static_cast<std::uint32_t>(std::llround(metres * 100)), 100}}});
    }
    // Header, IFD0 with the one pointer to the GPS block, the GPS block, then its rationals.
    constexpr std::uint32_t kIfd0 = 8;
    constexpr std::uint32_t kGpsIfd = kIfd0 + 2 + 12 + 4;
    std::uint32_t data = kGpsIfd + 2 + 12 * static_cast<std::uint32_t>(entries.size()) + 4;
    TiffBytes tiff(bigEndian);
    tiff.bytes(bigEndian ? std::string_view("MM", 2) : std::string_view("II", 2));
    tiff.u16(42);
    tiff.u32(kIfd0);
    tiff.u16(1);
    tiff.u16(0x8825);
    tiff.u16(4);
    tiff.u32(1);
    tiff.u32(kGpsIfd);
    tiff.u32(0);
    tiff.u16(static_cast<std::uint16_t>(entries.size()));
    for (const Entry& entry : entries) {
        tiff.u16(entry.tag);
        tiff.u16(entry.type);
        tiff.u32(entry.count);
        if (entry.rationals.empty()) {
            tiff.bytes(entry.inlineValue);
        } else {
            tiff.u32(data);
            data += 8 * static_cast<std::uint32_t>(entry.rationals.size());
        }
    }
    tiff.u32(0);
    for (const Entry& entry : entries) {
        for (const Rational& r : entry.rationals) {
            tiff.u32(r.numerator);
            tiff.u32(r.denominator);
        }
    }
    const std::size_t length = 2 + 6 + tiff.size();
    std::string segment("\xFF\xE1", 2);
    segment.push_back(static_cast<char>(length >> 8));
    segment.push_back(static_cast<char>(length & 0xFF));
    segment.append("Exif\0\0", 6);
    segment += tiff.str();
    return segment;
}

std::string withGpsExif(const std::string& jpeg, const PhotoPosition& position, bool bigEndian) {
    if (!jpeg.starts_with("\xFF\xD8")) {
        throw std::invalid_argument("not a JPEG");
    }
    return jpeg.substr(0, 2) + gpsExifSegment(position, bigEndian) + jpeg.substr(2);
}

void addBackupCameraRollPhoto(const SimDeviceBuilder& b, const std::string& name,
                              const std::string& jpeg,
                              const std::optional<PhotoPosition>& position) {
    addBackupFile(b, "CameraRollDomain", "Media/DCIM/100APPLE/" + name,
                  position ? withGpsExif(jpeg, *position) : jpeg);
}

std::vector<BackupCookie> demoCookies() {
    const double created = since2001(demo::utc(2026, 8, 2, 9, 14));
    const double year = 365.0 * 86400;
    return {
        {.domain = ".weather.example",
         .name = "units",
         .value = "imperial",
         .expiry = created + year,
         .created = created},
        {.domain = ".weather.example",
         .name = "last_location",
         .value = "San%20Francisco%2C%20CA",
         .expiry = created + year,
         .created = created + 60},
        {.domain = "kitchen.example",
         .name = "session",
         .path = "/recipes",
         .value = "f3a9c2e17b6d4058",
         .flags = 5,
         .expiry = created + 14 * 86400,
         .created = created + 3600},
        {.domain = ".search.example",
         .name = "prefs",
         .value = "safe=moderate&lang=en",
         .flags = 1,
         .expiry = created + 2 * year,
         .created = created + 7200},
        {.domain = ".adnetwork.example",
         .name = "uid",
         .value = "9c4e2a71-5b0d-4f3e-8a61-2d7c9b1e4f08",
         .flags = 1,
         .expiry = created + 2 * year,
         .created = created + 7260},
        {.domain = "transit.example",
         .name = "recent_trip",
         .path = "/plan",
         .value = "Mission-Embarcadero",
         .expiry = created + 30 * 86400,
         .created = created + 86400},
        {.domain = ".hartwellfinch.example",
         .name = "consent",
         .value = "necessary",
         .flags = 1,
         .expiry = created + year,
         .created = created + 2 * 86400},
    };
}

std::vector<BackupWifiNetwork> demoWifiNetworks() {
    auto when = [](unsigned month, unsigned day, int hour) {
        return since2001(demo::utc(2026, month, day, hour, 20));
    };
    return {
        {.ssid = "Orchard-Home-5G", .bssid = "a4:2b:b0:1c:7e:31", .lastJoined = when(9, 28, 19)},
        {.ssid = "Hartwell&Finch Guest",
         .bssid = "00:1e:58:a2:44:0c",
         .security = "WPA2 Enterprise",
         .lastJoined = when(9, 26, 9)},
        {.ssid = "Lantern Books Free WiFi",
         .bssid = "3c:84:6a:90:12:f7",
         .security = "None",
         .lastJoined = when(9, 12, 15)},
        {.ssid = "Sebastopol-Orchard", .bssid = "f0:9f:c2:5d:61:08", .lastJoined = when(8, 30, 11)},
        {.ssid = "LIS-Airport-Free",
         .bssid = "d8:c7:c8:33:0a:9e",
         .security = "None",
         .lastJoined = when(7, 14, 7)},
        {.ssid = "Dima's iPhone", .bssid = "7a:11:3f:c0:de:52", .lastJoined = when(6, 25, 20)},
    };
}

std::vector<BackupHistoryItem> demoHistoryItems() {
    auto when = [](unsigned month, unsigned day, int hour, int minute) {
        return since2001(demo::utc(2026, month, day, hour, minute));
    };
    return {
        {.url = "https://weather.example/us/san-francisco",
         .title = "Weather: San Francisco",
         .visits = {when(9, 20, 7, 48), when(9, 24, 7, 51), when(9, 28, 7, 45)}},
        {.url = "https://kitchen.example/recipes/lentil-soup",
         .title = "Weeknight Lentil Soup",
         .visits = {when(9, 21, 18, 40)}},
        {.url = "https://bayline.example/dentistry/appointments",
         .title = "Book an appointment: Bayline Clinic",
         .visits = {when(9, 22, 12, 5)}},
        {.url = "https://wanderlog.example/lisbon/neighbourhoods",
         .title = "Lisbon Neighbourhoods",
         .visits = {when(7, 2, 21, 17), when(7, 10, 22, 3)}},
        {.url = "https://search.example/?q=climbing+gym+thursday+hours",
         .title = "climbing gym thursday hours - Search",
         .visits = {when(9, 25, 12, 30)}},
        {.url = "https://transit.example/plan?from=Mission&to=Embarcadero",
         .title = "Trip Planner: Mission to Embarcadero",
         .visits = {when(9, 27, 8, 5), when(9, 29, 8, 2)}},
        {.url = "https://railpass.example/europe",
         .title = "Rail Pass Europe",
         .visits = {when(6, 30, 20, 44)}},
    };
}

void addDemoPrivacyData(const SimDeviceBuilder& b) {
    addBackupCookies(b, demoCookies());
    addBackupWifiNetworks(b, demoWifiNetworks());
    addBackupHistoryDatabase(b, demoHistoryItems(), 2);
    // Page thumbnails of the open tabs and the pages' local storage.
    addBackupFile(b, kSafariDomain,
                  "Library/Safari/Thumbnails/3C9E0F4A-61B2-4D8E-9A1F-7B2C5D8E0A13.png",
                  makeAppIconPng("Soup", "kitchen.example", 120));
    addBackupFile(b, kSafariDomain,
                  "Library/Safari/Thumbnails/8A4D2B61-0C7E-4F93-B5A8-1E6D3C9F2B70.png",
                  makeAppIconPng("Weather", "weather.example", 120));
    addBackupFile(b, kSafariDomain,
                  "Library/WebKit/WebsiteData/LocalStorage/https_weather.example_0.localstorage",
                  demo::sqliteLike(12 * 1024, 41));
    addBackupFile(b, kSafariDomain,
                  "Library/WebKit/WebsiteData/LocalStorage/https_transit.example_0.localstorage",
                  demo::sqliteLike(8 * 1024, 42));
}

std::optional<PhotoPosition> demoPhotoPosition(int number) {
    switch (number) {
        case 1:
            return PhotoPosition{37.795490, -122.393700, 4.0};  // Ferry Building
        case 2:
            return PhotoPosition{37.819929, -122.478255, 67.5};  // Golden Gate Bridge
        case 4:
            return PhotoPosition{38.402100, -122.823900, 24.0};  // Sebastopol
        case 5:
            return PhotoPosition{38.713900, -9.139400, 95.0};  // Lisbon
        case 8:
            return PhotoPosition{45.464200, 9.190000, {}};  // Milan
        case 11:
            return PhotoPosition{-33.856800, 151.215300, 5.0};  // Sydney
        case 13:
            return PhotoPosition{-0.180700, -78.467800, 2850.0};  // Quito
        default:
            return std::nullopt;
    }
}

}  // namespace nimbara::simdev
