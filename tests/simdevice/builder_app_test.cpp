// Apps as the installation proxy, house arrest and SpringBoard of the simulated device see them.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QString>

#include <filesystem>
#include <regex>

#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace fs = std::filesystem;
namespace layout = nimbara::md::sim;
using nimbara::PlistValue;
using nimbara::simdev::AppSpec;
using nimbara::simdev::SimDeviceBuilder;
using nimbara::test::TempDir;

namespace {

class SimDeviceBuilderApps : public ::testing::Test {
  protected:
    TempDir tmp_;
    SimDeviceBuilder builder_{tmp_ / "dev"};

    fs::path appDir(const std::string& id) { return tmp_ / "dev" / layout::kAppsDir / id; }
    PlistValue attributes(const std::string& id) {
        auto v = PlistValue::readFile((appDir(id) / layout::kAppAttributes).string());
        EXPECT_TRUE(v.has_value()) << id;
        return v ? *v : PlistValue();
    }
    static AppSpec ledger() {
        AppSpec a;
        a.bundleId = "com.example.ledger";
        a.displayName = "Pocket Ledger";
        a.version = "2.4.1";
        a.bundleVersion = "241";
        a.staticDiskUsage = 48230400;
        a.dynamicDiskUsage = 5000000000LL;  // beyond 32 bits
        a.fileSharing = true;
        return a;
    }
};

}  // namespace

TEST_F(SimDeviceBuilderApps, AttributesCarryTheInstallationProxyKeys) {
    builder_.addApp(ledger());
    const PlistValue a = attributes("com.example.ledger");

    EXPECT_EQ(a["CFBundleIdentifier"].toString(), "com.example.ledger");
    EXPECT_EQ(a["ApplicationType"].toString(), "User");
    EXPECT_EQ(a["CFBundleDisplayName"].toString(), "Pocket Ledger");
    EXPECT_EQ(a["CFBundleExecutable"].toString(), "PocketLedger");
    EXPECT_EQ(a["CFBundleName"].toString(), "PocketLedger");
    EXPECT_FALSE(a["CFBundleIconFile"].toString().empty());
    EXPECT_EQ(a["CFBundleShortVersionString"].toString(), "2.4.1");
    EXPECT_EQ(a["CFBundleVersion"].toString(), "241");
    EXPECT_TRUE(a["UIFileSharingEnabled"].toBool());
    ASSERT_TRUE(a["StaticDiskUsage"].isInteger());
    ASSERT_TRUE(a["DynamicDiskUsage"].isInteger());
    EXPECT_EQ(a["StaticDiskUsage"].toInt64(), 48230400);
    EXPECT_EQ(a["DynamicDiskUsage"].toInt64(), 5000000000LL);
    ASSERT_TRUE(a["Entitlements"].isDict());
    EXPECT_NE(a["Entitlements"]["application-identifier"].toString().find("com.example.ledger"),
              std::string::npos);

    static const std::regex kPath(
        "/private/var/containers/Bundle/Application/"
        "[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}/PocketLedger\\.app");
    EXPECT_TRUE(std::regex_match(a["Path"].toString(), kPath)) << a["Path"].toString();
}

TEST_F(SimDeviceBuilderApps, OptionalKeysAreLeftOutAndEntitlementsMerge) {
    AppSpec app = ledger();
    app.fileSharing = false;
    app.version.clear();
    app.entitlements = PlistValue::dict();
    app.entitlements["com.apple.developer.ubiquity-kvstore-identifier"] = "TEAM.com.example";
    builder_.addApp(app);
    const PlistValue a = attributes("com.example.ledger");
    EXPECT_FALSE(a.contains("UIFileSharingEnabled"));
    EXPECT_FALSE(a.contains("CFBundleShortVersionString"));
    EXPECT_EQ(a["CFBundleVersion"].toString(), "241");
    EXPECT_EQ(a["Entitlements"]["com.apple.developer.ubiquity-kvstore-identifier"].toString(),
              "TEAM.com.example");
    EXPECT_TRUE(a["Entitlements"].contains("application-identifier"));
}

TEST_F(SimDeviceBuilderApps, PathsStayTheSameWhenTheDeviceIsRebuilt) {
    builder_.addApp(ledger());
    const std::string first = attributes("com.example.ledger")["Path"].toString();
    TempDir other;
    SimDeviceBuilder again(other / "dev");
    again.addApp(ledger());
    auto second = PlistValue::readFile(
        (other / "dev/apps/com.example.ledger" / layout::kAppAttributes).string());
    ASSERT_TRUE(second);
    EXPECT_EQ((*second)["Path"].toString(), first);
}

TEST_F(SimDeviceBuilderApps, PackageContainerAndIconAreWritten) {
    builder_.addApp(ledger());
    const fs::path dir = appDir("com.example.ledger");

    auto info = PlistValue::readFile((dir / layout::kAppBundle / "Info.plist").string());
    ASSERT_TRUE(info);
    EXPECT_EQ((*info)["CFBundleIdentifier"].toString(), "com.example.ledger");
    EXPECT_EQ((*info)["CFBundleExecutable"].toString(), "PocketLedger");
    const fs::path executable = dir / layout::kAppBundle / "PocketLedger";
    ASSERT_TRUE(fs::is_regular_file(executable));
    EXPECT_GT(fs::file_size(executable), 0u);
    EXPECT_NE(fs::status(executable).permissions() & fs::perms::owner_exec, fs::perms::none);

    for (const char* sub :
         {"Documents", "Library/Caches", "Library/Cookies", "Library/Preferences", "tmp"}) {
        EXPECT_TRUE(fs::is_directory(dir / layout::kAppContainer / sub)) << sub;
    }

    QImageReader reader(QString::fromStdString((dir / layout::kAppIcon).string()));
    EXPECT_EQ(reader.format(), QByteArray("png"));
    const QImage icon = reader.read();
    ASSERT_FALSE(icon.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(icon.size(), QSize(60, 60));
    // A rounded square: transparent corner, opaque centre.
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(icon.pixel(30, 30)), 255);
}

TEST_F(SimDeviceBuilderApps, SystemAppWithoutContainerOrIcon) {
    AppSpec app;
    app.bundleId = "com.apple.mobilesafari";
    app.displayName = "Safari";
    app.type = "System";
    app.withContainer = false;
    app.withIcon = false;
    builder_.addApp(app);
    const PlistValue a = attributes("com.apple.mobilesafari");
    EXPECT_EQ(a["ApplicationType"].toString(), "System");
    EXPECT_FALSE(fs::exists(appDir("com.apple.mobilesafari") / layout::kAppContainer));
    EXPECT_FALSE(fs::exists(appDir("com.apple.mobilesafari") / layout::kAppIcon));
}

TEST_F(SimDeviceBuilderApps, RefusesNegativeSizesAndNonDictionaryEntitlements) {
    AppSpec app = ledger();
    app.staticDiskUsage = -1;
    EXPECT_THROW(builder_.addApp(app), std::invalid_argument);
    app = ledger();
    app.entitlements = PlistValue("not a dictionary");
    EXPECT_THROW(builder_.addApp(app), std::invalid_argument);
    EXPECT_FALSE(fs::exists(appDir("com.example.ledger") / layout::kAppAttributes));
}
