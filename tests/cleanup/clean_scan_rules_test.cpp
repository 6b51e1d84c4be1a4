// The clean-up scans' tables and rules that need no device: document kinds, advertisement
// names, path labels, the version test, progress figures and the order of advertisement rows.
#include <gtest/gtest.h>

#include <QList>
#include <QString>

#include <memory>
#include <vector>

#include "cleanup/ad_caches.h"
#include "cleanup/app_clean_scan.h"
#include "cleanup/device_clean_scan.h"

namespace {

using namespace nimbara::cleanup;

TEST(CleanScanRules, DocumentKindsIgnoreCaseAndKeepTheFirstEqualName) {
    ASSERT_EQ(documentFileTypeTable().size(), 46u);
    EXPECT_EQ(documentFileType("ICNS"), 0);
    EXPECT_EQ(documentFileType("AMR"), 25);
    EXPECT_EQ(documentFileType("amr"), 25);  // index 42 is never the answer
    EXPECT_EQ(documentFileType("Mp3"), 23);
    EXPECT_EQ(documentFileType("pic_THUMB"), 10);
    EXPECT_EQ(documentFileType("zip"), 45);
    EXPECT_EQ(documentFileType("PDF"), -1);
    EXPECT_EQ(documentFileType(""), -1);
    EXPECT_EQ(documentFileType(nullptr), -1);
    // A non-ASCII letter never folds onto a listed name.
    EXPECT_EQ(documentFileType("m\xC3\xA4"), -1);
}

TEST(CleanScanRules, ExtensionsOfHiddenAndDottedNames) {
    EXPECT_EQ(cleanFileExtension("song.Mp3"), "Mp3");
    EXPECT_EQ(cleanFileExtension("a.tar.zip"), "zip");
    EXPECT_EQ(cleanFileExtension(".mp3"), "");  // a hidden file without extension
    EXPECT_EQ(cleanFileExtension(".notes.zip"), "zip");
    EXPECT_EQ(cleanFileExtension("noext"), "");
    EXPECT_EQ(cleanFileExtension("trailing."), "");
}

TEST(CleanScanRules, PathLabelsKeepTheLast34CharactersOfLongPaths) {
    const QString p35(35, QLatin1Char('a'));
    EXPECT_EQ(cleanPathLabelText(p35), p35);
    const QString p36 = QStringLiteral("X") + QString(35, QLatin1Char('b'));
    EXPECT_EQ(cleanPathLabelText(p36), QStringLiteral("...") + QString(34, QLatin1Char('b')));
    // A character outside the basic plane counts once and is never cut in two.
    QString wide;
    for (int i = 0; i < 40; ++i) {
        wide += QString::fromUcs4(U"\U0001F600", 1);
    }
    const QString shown = cleanPathLabelText(wide);
    EXPECT_EQ(shown.toUcs4().size(), qsizetype{37});
    EXPECT_TRUE(shown.endsWith(QString::fromUcs4(U"\U0001F600", 1)));
}

TEST(CleanScanRules, VersionTestFromEightPointThree) {
    EXPECT_FALSE(AppCleanScanEngine::bIOSVersionAppClean(QStringLiteral("9")));
    EXPECT_FALSE(AppCleanScanEngine::bIOSVersionAppClean(QStringLiteral("8.2")));
    EXPECT_TRUE(AppCleanScanEngine::bIOSVersionAppClean(QStringLiteral("8.3")));
    EXPECT_TRUE(AppCleanScanEngine::bIOSVersionAppClean(QStringLiteral("8.3.1")));
    EXPECT_TRUE(AppCleanScanEngine::bIOSVersionAppClean(QStringLiteral("10.0")));
    EXPECT_FALSE(AppCleanScanEngine::bIOSVersionAppClean(QString()));
    EXPECT_FALSE(AppCleanScanEngine::bIOSVersionAppClean(QStringLiteral("x.y")));
    // Long numbers don't wrap around to small ones.
    EXPECT_TRUE(AppCleanScanEngine::bIOSVersionAppClean(QStringLiteral("99999999999.9")));
}

TEST(CleanScanRules, AppScanProgressMovesOnceAboveATenth) {
    EXPECT_FALSE(AppCleanScanEngine::progressFraction(0, 0));
    EXPECT_FALSE(AppCleanScanEngine::progressFraction(1, 0));
    EXPECT_FLOAT_EQ(*AppCleanScanEngine::progressFraction(1, 5), 0.2f);
    EXPECT_FALSE(AppCleanScanEngine::progressFraction(1, 25));
    EXPECT_FALSE(AppCleanScanEngine::progressFraction(2, 25));
    EXPECT_FLOAT_EQ(*AppCleanScanEngine::progressFraction(3, 25), 0.12f);
    // 2/20 in single precision lies above the double 0.1.
    EXPECT_TRUE(AppCleanScanEngine::progressFraction(2, 20));
}

TEST(CleanScanRules, DeviceScanProgressInNinetiethsWithoutDivisionByZero) {
    std::vector<int> series;
    for (int done = 1; done <= 7; ++done) {
        series.push_back(DeviceCleanScanEngine::progressPercent(done, 7));
    }
    EXPECT_EQ(series, (std::vector<int>{12, 25, 38, 51, 64, 77, 90}));
    EXPECT_EQ(DeviceCleanScanEngine::progressPercent(0, 0), 0);
    EXPECT_EQ(DeviceCleanScanEngine::progressPercent(3000000, 3000000), 90);  // no overflow
}

TEST(CleanScanRules, AdvertisementNamesMatchAsSubstringsIgnoringCase) {
    ASSERT_EQ(adPlatformNames().size(), 53u);
    EXPECT_STREQ(adPlatformNames()[0], "admob");
    EXPECT_EQ(std::string(adPlatformNames()[47]).size(), 10u);
    EXPECT_STREQ(adPlatformNames()[52], "googlesyndication");
    EXPECT_EQ(adPlatformIndex("com.MoPub.cache"), 38);
    EXPECT_EQ(adPlatformIndex("AdMobFlurry"), 0);  // two names, one folder
    EXPECT_EQ(adPlatformIndex("com.chartboost.sdk"), 17);
    EXPECT_EQ(adPlatformIndex("DMADCACHE"), 16);
    EXPECT_EQ(adPlatformIndex("Preferences"), -1);
    EXPECT_EQ(adPlatformIndex(""), -1);
}

TEST(CleanScanRules, AdvertisementRowsLargestCountFirstKeepingTies) {
    std::vector<std::shared_ptr<PRAppAdsRemoveNode>> rows;
    const int counts[] = {3, 0, 5, 3};
    for (int i = 0; i < 4; ++i) {
        auto node = std::make_shared<PRAppAdsRemoveNode>();
        node->setAppName(QString::number(i));
        node->setPlatformCount(counts[i]);
        rows.push_back(node);
    }
    rows.push_back(nullptr);
    const auto sorted = sortedAdsRows(rows);
    ASSERT_EQ(sorted.size(), 5u);
    EXPECT_EQ(sorted[0]->appName(), QStringLiteral("2"));
    EXPECT_EQ(sorted[1]->appName(), QStringLiteral("0"));
    EXPECT_EQ(sorted[2]->appName(), QStringLiteral("3"));
    EXPECT_EQ(sorted[3]->appPlatformCount(), QStringLiteral("0"));
    EXPECT_EQ(sorted[4], nullptr);
}

}  // namespace
