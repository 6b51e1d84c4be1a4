// Apps on the protocol-level device: the installation proxy, SpringBoard icons and house arrest,
// through libimobiledevice.
#include <libimobiledevice/house_arrest.h>
#include <libimobiledevice/installation_proxy.h>
#include <libimobiledevice/property_list_service.h>
#include <libimobiledevice/sbservices.h>

#include <set>

#include "usbmux_fixture.h"

namespace nimbara::test {
namespace {

struct InstproxyFree {
    void operator()(instproxy_client_private* c) const { instproxy_client_free(c); }
};
struct SbservicesFree {
    void operator()(sbservices_client_private* c) const { sbservices_client_free(c); }
};
struct HouseArrestFree {
    void operator()(house_arrest_client_private* c) const { house_arrest_client_free(c); }
};
using InstproxyPtr = std::unique_ptr<instproxy_client_private, InstproxyFree>;
using SbservicesPtr = std::unique_ptr<sbservices_client_private, SbservicesFree>;
using HouseArrestPtr = std::unique_ptr<house_arrest_client_private, HouseArrestFree>;

// How an installation-proxy command ended.
struct CommandOutcome {
    bool complete = false;
    std::string error;
};

class UsbmuxApps : public UsbmuxTest {
  protected:
    InstproxyPtr startInstproxy() {
        instproxy_client_t client = nullptr;
        instproxy_client_start_service(device.get(), &client, "nimbara-tests");
        return InstproxyPtr(client);
    }

    // Runs an install or uninstall to its end, reading the status frames here. (The library's
    // own install and uninstall always run on a thread of theirs, also without a callback, and
    // freeing their client races with that thread's end: not what a test, or the device layer,
    // can rely on.)
    CommandOutcome runCommand(const PlistValue& command) {
        CommandOutcome outcome;
        lockdownd_service_descriptor_t descriptor = nullptr;
        property_list_service_client_t client = nullptr;
        if (lockdownd_start_service(lockdown.get(), "com.apple.mobile.installation_proxy",
                                    &descriptor) != LOCKDOWN_E_SUCCESS ||
            property_list_service_client_new(device.get(), descriptor, &client) !=
                PROPERTY_LIST_SERVICE_E_SUCCESS) {
            lockdownd_service_descriptor_free(descriptor);
            outcome.error = "no installation proxy";
            return outcome;
        }
        lockdownd_service_descriptor_free(descriptor);
        const std::string xml = command.toXml();
        plist_t request = nullptr;
        plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &request);
        PlistPtr requestOwner(request);
        if (property_list_service_send_xml_plist(client, request) !=
            PROPERTY_LIST_SERVICE_E_SUCCESS) {
            outcome.error = "not sent";
        }
        while (outcome.error.empty() && !outcome.complete) {
            plist_t status = nullptr;
            if (property_list_service_receive_plist(client, &status) !=
                PROPERTY_LIST_SERVICE_E_SUCCESS) {
                outcome.error = "no answer";
            }
            PlistPtr statusOwner(status);
            const PlistValue value = toValue(status);
            if (value.contains("Error")) {
                outcome.error = value["Error"].toString();
            }
            outcome.complete = value["Status"].toString() == "Complete";
        }
        property_list_service_client_free(client);
        return outcome;
    }
    CommandOutcome uninstall(const std::string& bundleId) {
        PlistValue command = PlistValue::dict();
        command["Command"] = "Uninstall";
        command["ApplicationIdentifier"] = bundleId;
        return runCommand(command);
    }

    // The user apps by bundle identifier, browsed with the attributes the device layer asks for.
    std::map<std::string, PlistValue> browseUserApps(instproxy_error_t* error) {
        InstproxyPtr proxy = startInstproxy();
        std::map<std::string, PlistValue> apps;
        if (!proxy) {
            *error = INSTPROXY_E_UNKNOWN_ERROR;
            return apps;
        }
        plist_t options = instproxy_client_options_new();
        instproxy_client_options_add(options, "ApplicationType", "User", nullptr);
        instproxy_client_options_set_return_attributes(options, "CFBundleIdentifier",
                                                       "CFBundleDisplayName", "StaticDiskUsage",
                                                       "DynamicDiskUsage", nullptr);
        plist_t result = nullptr;
        *error = instproxy_browse(proxy.get(), options, &result);
        instproxy_client_options_free(options);
        PlistPtr owner(result);
        const PlistValue list = toValue(result);
        for (const auto& app : list.toArray()) {
            apps[app["CFBundleIdentifier"].toString()] = app;
        }
        return apps;
    }

    // An app's home-screen icon as PNG bytes, through a SpringBoard client of its own.
    sbservices_error_t homeScreenIcon(const std::string& bundleId, std::string& icon) {
        icon.clear();
        sbservices_client_t raw = nullptr;
        sbservices_error_t rc =
            sbservices_client_start_service(device.get(), &raw, "nimbara-tests");
        SbservicesPtr springboard(raw);
        if (rc != SBSERVICES_E_SUCCESS) {
            return rc;
        }
        char* png = nullptr;
        uint64_t size = 0;
        rc = sbservices_get_icon_pngdata(springboard.get(), bundleId.c_str(), &png, &size);
        if (rc == SBSERVICES_E_SUCCESS && png) {
            icon.assign(png, size);
        }
        free(png);
        return rc;
    }

    // Opens an app's container (or its documents); the device's answer in `answer`.
    AfcPtr vend(const std::string& command, const std::string& bundleId, PlistValue& answer,
                HouseArrestPtr& houseArrest) {
        house_arrest_client_t client = nullptr;
        if (house_arrest_client_start_service(device.get(), &client, "nimbara-tests") != 0) {
            return nullptr;
        }
        houseArrest.reset(client);
        plist_t result = nullptr;
        if (house_arrest_send_command(client, command.c_str(), bundleId.c_str()) != 0 ||
            house_arrest_get_result(client, &result) != 0) {
            return nullptr;
        }
        answer = toValue(result);
        plist_free(result);
        if (answer.contains("Error")) {
            return nullptr;
        }
        afc_client_t afc = nullptr;
        afc_client_new_from_house_arrest_client(client, &afc);
        return AfcPtr(afc);
    }
};

TEST_F(UsbmuxApps, BrowsingListsEveryUserAppWithTheAskedAttributesAcrossSeveralBatches) {
    for (int i = 0; i < 25; ++i) {  // more than one batch of the device's answer
        addApp("com.example.app" + std::to_string(i), "App " + std::to_string(i));
    }
    addApp("com.apple.Maps", "Maps", false, false, "System");
    startServer();
    connect();
    instproxy_error_t rc = INSTPROXY_E_UNKNOWN_ERROR;
    const auto apps = browseUserApps(&rc);
    ASSERT_EQ(rc, INSTPROXY_E_SUCCESS);
    ASSERT_EQ(apps.size(), 25u);
    EXPECT_FALSE(apps.count("com.apple.Maps"));
    const PlistValue& app = apps.at("com.example.app7");
    EXPECT_EQ(app["CFBundleDisplayName"].toString(), "App 7");
    EXPECT_EQ(app["StaticDiskUsage"].toInt64(), 1000);
    EXPECT_EQ(app["DynamicDiskUsage"].toInt64(), 2000);
    EXPECT_FALSE(app.contains("Path"));  // only what was asked for
}

TEST_F(UsbmuxApps, ASlowDiskUsageLookupStillAnswersEveryAskedApp) {
    addApp("com.example.notes", "Notes");
    addApp("com.example.game", "Game");
    phone.setFault(usbmuxsim::kFaultSlowDiskUsageMs, 50);
    startServer();
    connect();
    InstproxyPtr proxy = startInstproxy();
    ASSERT_TRUE(proxy);
    plist_t options = instproxy_client_options_new();
    instproxy_client_options_set_return_attributes(options, "CFBundleIdentifier", "StaticDiskUsage",
                                                   "DynamicDiskUsage", nullptr);
    const char* ids[] = {"com.example.notes", "com.example.game", nullptr};
    plist_t result = nullptr;
    EXPECT_EQ(instproxy_lookup(proxy.get(), ids, options, &result), INSTPROXY_E_SUCCESS);
    instproxy_client_options_free(options);
    PlistPtr owner(result);
    const PlistValue found = toValue(result);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found["com.example.game"]["StaticDiskUsage"].toInt64(), 1000);
    EXPECT_EQ(found["com.example.notes"]["DynamicDiskUsage"].toInt64(), 2000);
}

TEST_F(UsbmuxApps, UninstallAndInstallChangeTheDevicesApps) {
    addApp("com.example.notes", "Notes Plus");
    addApp("com.example.game", "Game");
    startServer();
    connect();
    CommandOutcome outcome = uninstall("com.example.game");
    EXPECT_TRUE(outcome.complete);
    EXPECT_EQ(outcome.error, "");
    outcome = uninstall("com.example.none");
    EXPECT_FALSE(outcome.complete);
    EXPECT_EQ(outcome.error, "APIInternalError");
    EXPECT_FALSE(std::filesystem::exists(phone.appPath("com.example.game")));

    // A package staged over AFC, then installed from there.
    {
        AfcPtr afc = startAfc();
        ASSERT_TRUE(afc);
        ASSERT_EQ(afc_make_directory(afc.get(), "/PublicStaging/Sample.app"), AFC_E_SUCCESS);
        PlistValue info = PlistValue::dict();
        info["CFBundleIdentifier"] = "com.example.sample";
        info["CFBundleDisplayName"] = "Sample";
        info["CFBundleExecutable"] = "Sample";
        ASSERT_EQ(writeDeviceFile(afc.get(), "/PublicStaging/Sample.app/Info.plist", info.toXml()),
                  AFC_E_SUCCESS);
        ASSERT_EQ(writeDeviceFile(afc.get(), "/PublicStaging/Sample.app/Sample", "binary"),
                  AFC_E_SUCCESS);
    }
    PlistValue install = PlistValue::dict();
    install["Command"] = "Install";
    install["PackagePath"] = "PublicStaging/Sample.app";
    outcome = runCommand(install);
    EXPECT_TRUE(outcome.complete);
    EXPECT_EQ(outcome.error, "");
    instproxy_error_t rc = INSTPROXY_E_UNKNOWN_ERROR;
    const auto apps = browseUserApps(&rc);
    EXPECT_EQ(rc, INSTPROXY_E_SUCCESS);
    EXPECT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps.count("com.example.sample"), 1u);
}

TEST_F(UsbmuxApps, SpringBoardHandsOutTheHomeScreenIcon) {
    addApp("com.example.notes", "Notes Plus");
    startServer();
    connect();
    std::string icon;
    ASSERT_EQ(homeScreenIcon("com.example.notes", icon), SBSERVICES_E_SUCCESS);
    EXPECT_EQ(icon, readText(phone.appPath("com.example.notes") / md::sim::kAppIcon));
    EXPECT_TRUE(icon.starts_with("\x89PNG"));
}

TEST_F(UsbmuxApps, ClosedAndShortAnswersEndTheServiceInsteadOfHangingIt) {
    addApp("com.example.notes", "Notes Plus");
    phone.setFault(md::sim::kFaultClosedReply,
                   PlistValue(PlistValue::Array{"com.apple.springboardservices"}));
    phone.setFault(md::sim::kFaultShortReply,
                   PlistValue(PlistValue::Array{"com.apple.mobile.installation_proxy"}));
    startServer();
    connect();
    std::string icon;
    EXPECT_NE(homeScreenIcon("com.example.notes", icon), SBSERVICES_E_SUCCESS);
    EXPECT_EQ(icon, "");
    instproxy_error_t rc = INSTPROXY_E_SUCCESS;
    EXPECT_TRUE(browseUserApps(&rc).empty());
    EXPECT_NE(rc, INSTPROXY_E_SUCCESS);
}

TEST_F(UsbmuxApps, HouseArrestOpensTheContainerOfAnInstalledApp) {
    addApp("com.example.notes", "Notes Plus");
    phone.addContainerText("com.example.notes", "/Documents/list.txt", "milk");
    startServer();
    connect();
    PlistValue answer;
    HouseArrestPtr houseArrest;
    AfcPtr container = vend("VendContainer", "com.example.notes", answer, houseArrest);
    ASSERT_TRUE(container) << answer.description();
    EXPECT_EQ(answer["Status"].toString(), "Complete");
    const auto names = listFolder(container.get(), "/");
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).count("Documents"), 1u);
    afc_error_t rc = AFC_E_UNKNOWN_ERROR;
    EXPECT_EQ(readDeviceFile(container.get(), "/Documents/list.txt", &rc), "milk");
    ASSERT_EQ(writeDeviceFile(container.get(), "/Library/Caches/c.bin", "cache"), AFC_E_SUCCESS);
    EXPECT_EQ(readText(phone.containerPath("com.example.notes", "/Library/Caches/c.bin")), "cache");
    container.reset();

    HouseArrestPtr second;
    EXPECT_FALSE(vend("VendContainer", "com.example.none", answer, second));
    EXPECT_EQ(answer["Error"].toString(), "ApplicationLookupFailed");
}

TEST_F(UsbmuxApps, RestrictedContainersAreRefusedExceptToDevelopersAndSharedDocuments) {
    addApp("com.example.plain", "Plain");
    addApp("com.example.sharing", "Sharing", true);
    addApp("com.example.devbuild", "Dev Build", false, true);
    phone.setFault(usbmuxsim::kFaultRestrictedContainers, true);
    startServer();
    connect();
    PlistValue answer;
    auto vended = [&](const std::string& command, const std::string& id) {
        HouseArrestPtr houseArrest;
        answer = PlistValue();
        return vend(command, id, answer, houseArrest) != nullptr;
    };
    EXPECT_FALSE(vended("VendContainer", "com.example.plain"));
    EXPECT_EQ(answer["Error"].toString(), "InstallationLookupFailed");
    EXPECT_FALSE(vended("VendDocuments", "com.example.plain"));
    EXPECT_FALSE(vended("VendContainer", "com.example.sharing"));
    EXPECT_TRUE(vended("VendDocuments", "com.example.sharing"));
    EXPECT_TRUE(vended("VendContainer", "com.example.devbuild"));

    // A device that refuses house arrest refuses every container.
    clearFaults();
    setFault(md::sim::kFaultRefusedServices,
             PlistValue(PlistValue::Array{"com.apple.mobile.house_arrest"}));
    EXPECT_FALSE(vended("VendContainer", "com.example.devbuild"));
    EXPECT_EQ(answer["Error"].toString(), "InstallationLookupFailed");
}

}  // namespace
}  // namespace nimbara::test
