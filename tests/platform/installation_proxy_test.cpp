#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <set>

#include "sim_test_device.h"

namespace fs = std::filesystem;
namespace md = nimbara::md;
using nimbara::PlistValue;
using nimbara::test::readText;
using nimbara::test::writeText;
using nimbara::test::zipEntryNames;

namespace {

constexpr const char* kProxy = "com.apple.mobile.installation_proxy";

void writeZip(const fs::path& file,
              const std::vector<std::pair<std::string, std::string>>& entries) {
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_TRUE(archive);
    for (const auto& [name, text] : entries) {
        zip_source_t* source = zip_source_buffer(archive, text.data(), text.size(), 0);
        ASSERT_GE(zip_file_add(archive, name.c_str(), source, 0), 0) << name;
    }
    ASSERT_EQ(zip_close(archive), 0);
}

// Collects the status dictionaries of one operation.
struct Statuses {
    std::vector<PlistValue> seen;
    md::StatusCallback callback() {
        return [this](const PlistValue& status) { seen.push_back(status); };
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const auto& s : seen) {
            out.push_back(s.contains("Error") ? "Error:" + s["Error"].toString()
                                              : s["Status"].toString());
        }
        return out;
    }
};

class InstallationProxyTest : public nimbara::test::AttachedDeviceTest {
  protected:
    InstallationProxyTest() : AttachedDeviceTest(true) {}

    std::unique_ptr<md::ServiceConnection> start(const std::string& name) {
        std::unique_ptr<md::ServiceConnection> connection;
        EXPECT_EQ(handle->startService(name, connection), 0);
        return connection;
    }

    PlistValue lookup(const PlistValue& options = PlistValue::dict()) {
        PlistValue result;
        EXPECT_EQ(md::lookupApplications(*handle, options, result), 0);
        return result;
    }

    // A local app package folder "<name>.app".
    fs::path makePackage(const std::string& id, const std::string& name) {
        const fs::path app = tmp / "packages" / (name + ".app");
        fs::create_directories(app / "Base.lproj");
        PlistValue info = PlistValue::dict();
        info["CFBundleIdentifier"] = id;
        info["CFBundleDisplayName"] = name;
        info["CFBundleName"] = name;
        info["CFBundleExecutable"] = name;
        info["CFBundleShortVersionString"] = "2.1";
        info["CFBundleVersion"] = "210";
        info.writeFile((app / "Info.plist").string());
        writeText(app / name, std::string(70000, 'E'));  // several upload chunks
        writeText(app / "Base.lproj/Main.strings", "strings");
        writeText(app / "Icon.png", "PNG-ICON");
        return app;
    }

    int transfer(const fs::path& package, Statuses* statuses = nullptr) {
        auto afc = start("com.apple.afc");
        return md::transferApplication(*afc, package.string(),
                                       statuses ? statuses->callback() : md::StatusCallback());
    }
};

}  // namespace

TEST_F(InstallationProxyTest, LookupMergesEveryFrameAndFiltersAttributes) {
    for (int i = 0; i < 45; ++i) {
        const std::string n = std::to_string(100 + i);
        device.app("com.example.app" + n, "App " + n, i % 3 == 0 ? "System" : "User");
    }
    PlistValue options = PlistValue::dict();
    options["ReturnAttributes"].append("CFBundleIdentifier");
    options["ReturnAttributes"].append("ApplicationType");
    options["ReturnAttributes"].append("StaticDiskUsage");
    const PlistValue all = lookup(options);
    ASSERT_EQ(all.size(), 45u) << "results of several frames are merged";
    const PlistValue& one = all["com.example.app101"];
    EXPECT_EQ(one.size(), 3u);
    EXPECT_EQ(one["ApplicationType"].toString(), "User");
    EXPECT_TRUE(one["StaticDiskUsage"].isInteger()) << "measured when the attributes lack it";
    EXPECT_FALSE(one.contains("CFBundleDisplayName"));

    options["ApplicationType"] = "User";
    EXPECT_EQ(lookup(options).size(), 30u);
    options["ApplicationType"] = "System";
    EXPECT_EQ(lookup(options).size(), 15u);

    // The caller holds the session; without one the service does not start.
    ASSERT_EQ(handle->stopSession(), 0);
    PlistValue result;
    EXPECT_EQ(md::lookupApplications(*handle, options, result), md::Error::SessionInactive);
}

TEST_F(InstallationProxyTest, AnAppWithALongIdentifierIsArchived) {
    // "<id>.zip" fits the name limit; the archive's temporary name must fit it too.
    const std::string id = "com.example." + std::string(236, 'a');
    device.app(id, "Long", "User");
    auto proxy = start(kProxy);
    PlistValue options = PlistValue::dict();
    options["ArchiveType"] = "All";
    options["SkipUninstall"] = true;
    ASSERT_EQ(md::archiveApplication(*proxy, id, options, {}), 0);
    const fs::path archives = device.dir() / "media/ApplicationArchives";
    EXPECT_TRUE(fs::is_regular_file(archives / (id + ".zip")));
    // Nothing but the archive is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(archives), fs::directory_iterator()), 1);
}

TEST_F(InstallationProxyTest, InstallsUninstallsArchivesAndRestores) {
    const fs::path package = makePackage("com.example.demo", "Demo");
    Statuses copied;
    ASSERT_EQ(transfer(package, &copied), 0);
    ASSERT_FALSE(copied.seen.empty());
    EXPECT_EQ(copied.seen.front()["Status"].toString(), "CopyingFile");
    std::set<std::string> paths;
    for (const auto& s : copied.seen) {
        paths.insert(s["Path"].toString());
    }
    EXPECT_TRUE(paths.count("/PublicStaging/Demo.app/Base.lproj/Main.strings"));
    EXPECT_EQ(readText(device.dir() / "media/PublicStaging/Demo.app/Demo").size(), 70000u);

    auto proxy = start(kProxy);
    Statuses installed;
    PlistValue options = PlistValue::dict();
    options["PackageType"] = "Developer";
    ASSERT_EQ(md::installApplication(*proxy, package.string(), options, installed.callback()), 0);
    ASSERT_GE(installed.seen.size(), 3u);
    EXPECT_EQ(installed.texts().back(), "Complete");
    EXPECT_TRUE(installed.seen.front().contains("PercentComplete"));

    const PlistValue apps = lookup();
    ASSERT_TRUE(apps.contains("com.example.demo"));
    const PlistValue& demo = apps["com.example.demo"];
    EXPECT_EQ(demo["ApplicationType"].toString(), "User");
    EXPECT_EQ(demo["CFBundleDisplayName"].toString(), "Demo");
    EXPECT_EQ(demo["CFBundleShortVersionString"].toString(), "2.1");
    EXPECT_TRUE(demo["Path"].toString().ends_with("/Demo.app"));
    EXPECT_GE(demo["StaticDiskUsage"].toInt64(), 70000);
    for (const char* sub : {"Documents", "Library/Caches", "Library/Preferences", "tmp"}) {
        EXPECT_TRUE(fs::is_directory(device.container("com.example.demo") / sub)) << sub;
    }
    EXPECT_EQ(readText(device.dir() / "apps/com.example.demo/icon.png"), "PNG-ICON");
    writeText(device.container("com.example.demo") / "Documents/doc.txt", "my document");

    // Archive everything, keeping the app.
    PlistValue archiveOptions = PlistValue::dict();
    archiveOptions["ArchiveType"] = "All";
    archiveOptions["SkipUninstall"] = true;
    Statuses archived;
    ASSERT_EQ(
        md::archiveApplication(*proxy, "com.example.demo", archiveOptions, archived.callback()), 0);
    const fs::path zip = device.dir() / "media/ApplicationArchives/com.example.demo.zip";
    const auto names = zipEntryNames(zip);
    EXPECT_TRUE(names.count("Container/Documents/doc.txt"));
    EXPECT_TRUE(names.count("Payload/Demo.app/Info.plist"));
    EXPECT_TRUE(names.count("Payload/Demo.app/Base.lproj/Main.strings"));
    EXPECT_TRUE(lookup().contains("com.example.demo"));

    // Documents only, uninstalling.
    archiveOptions["ArchiveType"] = "DocumentsOnly";
    archiveOptions["SkipUninstall"] = false;
    ASSERT_EQ(md::archiveApplication(*proxy, "com.example.demo", archiveOptions, {}), 0);
    EXPECT_FALSE(zipEntryNames(zip).count("Payload/Demo.app/Info.plist"));
    EXPECT_TRUE(zipEntryNames(zip).count("Container/Documents/doc.txt"));
    EXPECT_FALSE(lookup().contains("com.example.demo"));
    EXPECT_FALSE(fs::exists(device.dir() / "apps/com.example.demo"));

    // The archive of everything reinstalls as a package, documents included.
    archiveOptions["ArchiveType"] = "All";
    archiveOptions["SkipUninstall"] = true;
    ASSERT_EQ(transfer(package), 0);
    ASSERT_EQ(md::installApplication(*proxy, package.string(), {}, {}), 0);
    writeText(device.container("com.example.demo") / "Documents/doc.txt", "my document");
    ASSERT_EQ(md::archiveApplication(*proxy, "com.example.demo", archiveOptions, {}), 0);
    ASSERT_EQ(md::uninstallApplication(*proxy, "com.example.demo", {}, {}), 0);
    const fs::path local = tmp / "restore" / "com.example.demo.ipa";
    fs::create_directories(local.parent_path());
    fs::copy_file(zip, local);
    ASSERT_EQ(transfer(local), 0);
    ASSERT_EQ(md::installApplication(*proxy, local.string(), {}, {}), 0);
    EXPECT_EQ(lookup()["com.example.demo"]["CFBundleShortVersionString"].toString(), "2.1");
    EXPECT_EQ(readText(device.container("com.example.demo") / "Documents/doc.txt"), "my document");

    // Archives are listed and removed.
    PlistValue request = PlistValue::dict();
    request["Command"] = "LookupArchives";
    ASSERT_EQ(md::sendFrame(*proxy, request), 0);
    auto reply = md::receiveFrame(*proxy);
    ASSERT_TRUE(reply);
    EXPECT_TRUE((*reply)["LookupResult"].contains("com.example.demo"));
    EXPECT_EQ((*reply)["Status"].toString(), "Complete");
    ASSERT_EQ(md::removeApplicationArchive(*proxy, "com.example.demo", {}, {}), 0);
    EXPECT_FALSE(fs::exists(zip));
    Statuses again;
    EXPECT_EQ(md::removeApplicationArchive(*proxy, "com.example.demo", {}, again.callback()),
              md::Error::Refused);

    // Uninstalling what is not there is refused, and the callback sees why.
    ASSERT_EQ(md::uninstallApplication(*proxy, "com.example.demo", {}, {}), 0);
    Statuses missing;
    EXPECT_EQ(md::uninstallApplication(*proxy, "com.example.demo", {}, missing.callback()),
              md::Error::Refused);
    ASSERT_EQ(missing.seen.size(), 1u);
    EXPECT_EQ(missing.seen[0]["Error"].toString(), "APIInternalError");
    EXPECT_FALSE(missing.seen[0]["ErrorDescription"].toString().empty());
    EXPECT_EQ(md::uninstallApplication(*proxy, "", {}, {}), md::Error::InvalidArgument);
}

TEST_F(InstallationProxyTest, RefusesWhatWouldWriteOutsideTheDevice) {
    auto proxy = start(kProxy);
    auto install = [&](const std::string& packagePath) {
        PlistValue request = PlistValue::dict();
        request["Command"] = "Install";
        request["PackagePath"] = packagePath;
        EXPECT_EQ(md::sendFrame(*proxy, request), 0);
        std::string last;
        while (auto reply = md::receiveFrame(*proxy)) {
            last = reply->contains("Error") ? "Error" : (*reply)["Status"].toString();
            if (last == "Error" || last == "Complete") {
                break;
            }
        }
        return last;
    };
    // Package paths stay in the media area.
    EXPECT_EQ(install("../device.plist"), "Error");
    EXPECT_EQ(install("PublicStaging/../../apps"), "Error");
    EXPECT_EQ(install(tmp.str()), "Error");

    // A package naming a bundle identifier that is a path.
    const fs::path evil = makePackage("../../evil", "Evil");
    ASSERT_EQ(transfer(evil), 0);
    EXPECT_EQ(install("PublicStaging/Evil.app"), "Error");
    EXPECT_FALSE(fs::exists(tmp / "evil"));
    EXPECT_FALSE(fs::exists(device.dir() / "evil"));

    // An archive whose entries climb out is not unpacked at all.
    const fs::path slip = tmp / "slip.ipa";
    writeZip(slip, {{"Payload/Slip.app/Info.plist", "x"}, {"../../slipped.txt", "x"}});
    ASSERT_EQ(transfer(slip), 0);
    EXPECT_EQ(install("PublicStaging/slip.ipa"), "Error");
    EXPECT_FALSE(fs::exists(tmp / "slipped.txt"));
    EXPECT_FALSE(fs::exists(device.dir() / "slipped.txt"));
    EXPECT_FALSE(fs::exists(device.dir() / "apps/.staging-0")) << "scratch removed";

    // Archive and uninstall validate the identifier.
    device.app("com.example.real", "Real");
    EXPECT_EQ(md::archiveApplication(*proxy, "../apps/com.example.real", {}, {}),
              md::Error::Refused);
    EXPECT_EQ(md::uninstallApplication(*proxy, "..", {}, {}), md::Error::Refused);
    EXPECT_EQ(md::removeApplicationArchive(*proxy, "../../device", {}, {}), md::Error::Refused);
    EXPECT_TRUE(fs::exists(device.dir() / "device.plist"));
    EXPECT_TRUE(lookup().contains("com.example.real"));

    // Unknown commands are answered, not ignored.
    PlistValue request = PlistValue::dict();
    request["Command"] = "Reboot";
    ASSERT_EQ(md::sendFrame(*proxy, request), 0);
    auto reply = md::receiveFrame(*proxy);
    ASSERT_TRUE(reply);
    EXPECT_EQ((*reply)["Error"].toString(), "UnknownCommand");
}

TEST_F(InstallationProxyTest, TransferReplacesAStaleStagedPackage) {
    const fs::path package = makePackage("com.example.demo", "Demo");
    ASSERT_EQ(transfer(package), 0);
    writeText(device.dir() / "media/PublicStaging/Demo.app/stale.txt", "old");
    ASSERT_EQ(transfer(package), 0);
    EXPECT_FALSE(fs::exists(device.dir() / "media/PublicStaging/Demo.app/stale.txt"));
    EXPECT_TRUE(fs::exists(device.dir() / "media/PublicStaging/Demo.app/Info.plist"));

    auto afc = start("com.apple.afc");
    EXPECT_EQ(md::transferApplication(*afc, (tmp / "missing.app").string(), {}),
              md::Error::InvalidArgument);
    auto proxy = start(kProxy);
    EXPECT_NE(md::transferApplication(*proxy, package.string(), {}), 0)
        << "a property-list service has no AFC";
}
