// The readers of the browser's history and cookies and of the known Wi-Fi networks, on files
// the device writes (binary and XML property lists, a database with rows still in its log) and
// on files made to hurt them. Each record keeps what names it exactly in its file.
#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "../backup/record_backup_fixture.h"
#include "backup/backup_folder.h"
#include "backup/shah.h"
#include "backup_privacy.h"
#include "backup_safari.h"
#include "backup_source.h"
#include "platform/plist_value.h"
#include "privacy/binary_cookies.h"
#include "privacy/privacy_plists.h"
#include "privacy/privacy_web.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::privacy;
using nimbara::PlistValue;
using nimbara::backup::BackupFolder;
using nimbara::test::RecordBackup;
using nimbara::test::writeText;

constexpr const char* kSafari = "AppDomain-com.apple.mobilesafari";

BackupFolder openBackup(const fs::path& folder) {
    return BackupFolder::open(folder.string());
}

// The stored file of (domain, path) in a written backup.
fs::path storedFile(const fs::path& folder, const std::string& domain, const std::string& path) {
    const std::string key = nimbara::backup::fileKey(domain, path);
    return fs::exists(folder / key.substr(0, 2) / key) ? folder / key.substr(0, 2) / key
                                                       : folder / key;
}

TEST(PrivacyHistoryList, EntriesOfBothListsKeepTheirPlaceAndFormat) {
    RecordBackup backup;
    const auto& b = backup.builder();
    nimbara::simdev::addBackupBrowserHistory(b, nimbara::simdev::demoBrowserHistory(), kSafari);
    // The older list, as XML, with an entry that is not a page.
    PlistValue dates = PlistValue::array();
    PlistValue page = PlistValue::dict();
    page[""] = "https://lanternbooks.example/";
    page["title"] = "Lantern Books";
    page["lastVisitedDate"] = "600000000.0";
    page["visitCount"] = 2;
    dates.append("not a page");
    dates.append(page);
    PlistValue root = PlistValue::dict();
    root["WebHistoryDates"] = dates;
    nimbara::simdev::addBackupFile(b, "HomeDomain", "Library/Safari/History.plist", root.toXml());
    const fs::path folder = backup.write();

    PrivacyList history;
    const PrivacyReadReport report = readSafariHistoryLists(openBackup(folder), history);
    EXPECT_TRUE(report.found);
    EXPECT_TRUE(report.ok) << report.error;
    const auto demo = nimbara::simdev::demoBrowserHistory();
    ASSERT_EQ(history.size(), demo.size() + 1);
    const auto& first = *history.front();
    EXPECT_EQ(first.fileURL(), QString::fromStdString(demo[0].url));
    EXPECT_EQ(first.fileName(), QString::fromStdString(demo[0].title));
    EXPECT_EQ(first.visitCount(), demo[0].visitCount);
    EXPECT_FALSE(first.fileDate().isEmpty());
    EXPECT_TRUE(first.bSelected());
    EXPECT_EQ(first.recordKey(), 0);
    ASSERT_TRUE(first.recordSource());
    EXPECT_EQ(first.recordSource()->format, PrivacyFileFormat::BinaryPlist);
    EXPECT_EQ(first.recordSource()->listKey, "WebHistoryDates");
    EXPECT_EQ(first.recordSource()->domain, kSafari);
    // The entry with no title has none.
    EXPECT_TRUE(history[demo.size() - 1]->fileName().isNull());

    const auto& old = *history.back();
    EXPECT_EQ(old.recordSource()->format, PrivacyFileFormat::XmlPlist);
    EXPECT_EQ(old.recordSource()->domain, "HomeDomain");
    EXPECT_EQ(old.recordKey(), 1);  // its place in the array, the skipped element counted
    EXPECT_EQ(old.recordDigest(), plistEntryDigest(page));
    EXPECT_EQ(old.fileDate(), nimbara::test::localDateText(600000000 + 978307200));
}

TEST(PrivacyWifi, KnownNetworksInBothFormsAndBothEncodings) {
    const auto networks = nimbara::simdev::demoWifiNetworks();
    for (bool xml : {false, true}) {
        RecordBackup backup;
        nimbara::simdev::addBackupWifiNetworks(backup.builder(), networks, xml);
        nimbara::simdev::addBackupKnownNetworks(backup.builder(), {networks[0], networks[2]});
        const fs::path folder = backup.write(xml);  // the XML list in an older backup

        PrivacyList found;
        const PrivacyReadReport report = readWifiConnectionWithPath(openBackup(folder), found);
        EXPECT_TRUE(report.ok) << report.error;
        ASSERT_EQ(found.size(), networks.size() + 2);
        for (std::size_t i = 0; i < networks.size(); ++i) {
            EXPECT_EQ(found[i]->fileName(), QString::fromStdString(networks[i].ssid));
            EXPECT_EQ(found[i]->otherInfo(), QString::fromStdString(networks[i].bssid));
            EXPECT_EQ(found[i]->recordKey(), static_cast<std::int64_t>(i));
            EXPECT_EQ(found[i]->recordSource()->format,
                      xml ? PrivacyFileFormat::XmlPlist : PrivacyFileFormat::BinaryPlist);
            EXPECT_EQ(found[i]->recordSource()->listKey, "List of known networks");
            EXPECT_EQ(found[i]->fileDate(), nimbara::test::localDateText(static_cast<qint64>(
                                                networks[i].lastJoined + 978307200)));
        }
        // The dictionary of newer systems: each network named by its key.
        const QString key = QString::fromStdString("wifi.network.ssid." + networks[0].ssid);
        const auto byKey = std::find_if(found.begin(), found.end(),
                                        [&](const auto& n) { return n->recordName() == key; });
        ASSERT_NE(byKey, found.end());
        const auto& known = **byKey;
        EXPECT_EQ(known.fileName(), QString::fromStdString(networks[0].ssid));
        EXPECT_EQ(known.otherInfo(), QString::fromStdString(networks[0].bssid));
        EXPECT_EQ(known.recordKey(), -1);
        EXPECT_TRUE(known.recordSource()->listKey.empty());
    }
}

TEST(PrivacyPlists, ListsMadeToHurtTheReaderEndOnlyThatReader) {
    PlistValue deep = PlistValue::array();
    for (int i = 0; i < 5000; ++i) {
        PlistValue outer = PlistValue::array();
        outer.append(std::move(deep));
        deep = std::move(outer);
    }
    PlistValue arrayRoot = PlistValue::array();
    arrayRoot.append("x");
    PlistValue wrongType = PlistValue::dict();
    wrongType["List of known networks"] = "not a list";
    PlistValue::Bytes binary = PlistValue::dict().toBinary();
    const std::string cut(binary.begin(), binary.begin() + static_cast<long>(binary.size() / 2));
    struct Case {
        const char* what;
        std::string bytes;
        bool damaged;
    };
    const Case cases[] = {
        {"cut short", cut, true},
        {"not a property list", "hello", true},
        {"an array at the top", arrayRoot.toXml(), true},
        {"nested too deep", deep.toXml(), true},
        {"the list of another type", wrongType.toXml(), false},
    };
    for (const Case& c : cases) {
        RecordBackup backup;
        nimbara::simdev::addBackupFile(backup.builder(), "SystemPreferencesDomain",
                                       "SystemConfiguration/com.apple.wifi.plist", c.bytes);
        nimbara::simdev::addBackupFile(backup.builder(), kSafari, "Library/Safari/History.plist",
                                       c.bytes);
        const fs::path folder = backup.write();
        PrivacyList found;
        const PrivacyReadReport wifi = readWifiConnectionWithPath(openBackup(folder), found);
        const PrivacyReadReport history = readSafariHistoryLists(openBackup(folder), found);
        EXPECT_TRUE(found.empty()) << c.what;
        EXPECT_TRUE(wifi.found && history.found) << c.what;
        EXPECT_EQ(!wifi.ok, c.damaged) << c.what;
        EXPECT_EQ(!history.ok, c.damaged) << c.what;
    }

    // Nothing there: nothing found, and no damage.
    RecordBackup empty;
    PrivacyList found;
    const PrivacyReadReport none = readWifiConnectionWithPath(openBackup(empty.write()), found);
    EXPECT_FALSE(none.found);
    EXPECT_TRUE(none.ok);
}

TEST(PrivacyHistoryDatabase, EveryPageIsReadWithItsRowIdAlsoFromTheLog) {
    RecordBackup backup;
    const auto items = nimbara::simdev::demoHistoryItems();
    nimbara::simdev::addBackupHistoryDatabase(backup.builder(), items, 2);
    for (bool legacy : {false, true}) {
        const fs::path folder = backup.write(legacy);
        PrivacyList history;
        const PrivacyReadReport report = readSafariHistoryDatabases(openBackup(folder), history);
        EXPECT_TRUE(report.found);
        EXPECT_TRUE(report.ok) << report.error;
        ASSERT_EQ(history.size(), items.size()) << "the pages in the log are read too";
        for (std::size_t i = 0; i < items.size(); ++i) {
            const auto& page = *history[i];
            EXPECT_EQ(page.fileURL(), QString::fromStdString(items[i].url));
            EXPECT_EQ(page.visitCount(), static_cast<int>(items[i].visits.size()));
            EXPECT_EQ(page.recordKey(), static_cast<std::int64_t>(i + 1));
            EXPECT_EQ(page.fileDate(), nimbara::test::localDateText(static_cast<qint64>(
                                           items[i].visits.back() + 978307200)));
            EXPECT_TRUE(page.bSelected());
        }
        EXPECT_EQ(history[1]->fileName(), QStringLiteral("kitchen"));
        const PrivacySourceRef source = history.front()->recordSource();
        EXPECT_EQ(source->table, "history_items");
        EXPECT_EQ(source->keyColumn, "ROWID");
        EXPECT_EQ(source->format, PrivacyFileFormat::Sqlite);
        EXPECT_FALSE(source->walStoredName.empty());
        EXPECT_TRUE(fs::is_regular_file(folder / source->storedName));
    }
}

TEST(PrivacyHistoryDatabase, DatabasesOfOtherShapesAndDamagedOnes) {
    struct Case {
        const char* what;
        std::string sql;
        std::size_t pages;
        bool damaged;
    };
    const Case cases[] = {
        {"without the visits table",
         "CREATE TABLE history_items (id INTEGER PRIMARY KEY, url TEXT, visit_count INTEGER);"
         "INSERT INTO history_items VALUES (7, 'https://a.example/', 3);",
         1, false},
        {"without the pages table", "CREATE TABLE metadata (key TEXT, value);", 0, false},
        {"a view that never ends in place of the pages",
         "CREATE VIEW history_items AS WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
         "FROM r) SELECT x AS id, 'u' AS url FROM r;",
         0, true},
    };
    for (const Case& c : cases) {
        RecordBackup backup;
        backup.writeDatabase(kSafari, "Library/Safari/History.db", c.sql);
        PrivacyList history;
        const PrivacyReadReport report =
            readSafariHistoryDatabases(openBackup(backup.write()), history);
        EXPECT_EQ(history.size(), c.pages) << c.what;
        EXPECT_EQ(!report.ok, c.damaged) << c.what;
    }
    RecordBackup garbage;
    nimbara::simdev::addBackupFile(garbage.builder(), kSafari, "Library/Safari/History.db",
                                   std::string(4096, 'g'));
    PrivacyList history;
    const PrivacyReadReport report =
        readSafariHistoryDatabases(openBackup(garbage.write()), history);
    EXPECT_TRUE(report.found);
    EXPECT_FALSE(report.ok);
    EXPECT_TRUE(history.empty());
}

TEST(PrivacyCookies, CookiesOfTheBackupWithTheirPlaceAndDigest) {
    RecordBackup backup;
    const auto cookies = nimbara::simdev::demoCookies();
    nimbara::simdev::addBackupCookies(backup.builder(), cookies);
    const fs::path folder = backup.write();
    PrivacyList found;
    const PrivacyReadReport report = readSafariCookiesBinaryWithFilePath(openBackup(folder), found);
    EXPECT_TRUE(report.ok) << report.error;
    ASSERT_EQ(found.size(), cookies.size());
    const BinaryCookieFile file = parseBinaryCookies(nimbara::test::readText(
        storedFile(folder, "HomeDomain", "Library/Cookies/Cookies.binarycookies")));
    for (std::size_t i = 0; i < cookies.size(); ++i) {
        EXPECT_EQ(found[i]->fileURL(), QString::fromStdString(cookies[i].domain));
        EXPECT_EQ(found[i]->fileName(), QString::fromStdString(cookies[i].name));
        EXPECT_EQ(found[i]->filePath(), QString::fromStdString(cookies[i].path));
        EXPECT_EQ(found[i]->fileVaule(), QString::fromStdString(cookies[i].value));
        EXPECT_TRUE(found[i]->bSelected());
        EXPECT_EQ(found[i]->recordKey(), static_cast<std::int64_t>(i));
        EXPECT_EQ(found[i]->recordDigest(), file.cookies[i].digest());
        EXPECT_EQ(found[i]->recordSource()->format, PrivacyFileFormat::BinaryCookies);
    }
}

TEST(PrivacyCookies, ACookieFileOfAnotherKindIsReportedAndNothingIsListed) {
    RecordBackup backup;
    nimbara::simdev::addBackupFile(backup.builder(), "HomeDomain",
                                   "Library/Cookies/Cookies.binarycookies", "COOK and more");
    PrivacyList found;
    const PrivacyReadReport report =
        readSafariCookiesBinaryWithFilePath(openBackup(backup.write()), found);
    EXPECT_TRUE(report.found);
    EXPECT_FALSE(report.ok);
    EXPECT_TRUE(found.empty());
}

}  // namespace
