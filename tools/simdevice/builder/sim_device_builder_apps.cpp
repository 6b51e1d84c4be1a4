// The app side of the builder: installation-proxy attributes, the app package, its container
// and its icon.
#include <QByteArray>
#include <QCryptographicHash>
#include <QString>
#include <QUuid>

#include <functional>
#include <stdexcept>

#include "device_path.h"
#include "file_writer.h"
#include "folder_steps.h"
#include "generated_images.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "sim_device_builder.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;
namespace layout = md::sim;

namespace {

// Stable per app, so a rebuilt demo device keeps its paths.
std::string bundleUuid(const std::string& bundleId) {
    static const QUuid kNamespace("{5c2b8f1e-93a4-4d6b-8e0f-2a7c61d4b9e3}");
    return QUuid::createUuidV5(kNamespace, QString::fromStdString(bundleId))
        .toString(QUuid::WithoutBraces)
        .toUpper()
        .toStdString();
}

std::string teamIdentifier(const std::string& bundleId) {
    static const char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(bundleId), QCryptographicHash::Sha1);
    std::string team;
    for (int i = 0; i < 10; ++i) {
        team += kAlphabet[static_cast<unsigned char>(digest[i]) % (sizeof(kAlphabet) - 1)];
    }
    return team;
}

// What the store leaves with an app it installed: its signature ("ApplicationSINF", opaque
// bytes) and its metadata ("iTunesMetadata", a binary property list), both stable per app.
void addStoreData(const AppSpec& app, const std::string& name, PlistValue& attributes) {
    const QByteArray digest = QCryptographicHash::hash(QByteArray::fromStdString(app.bundleId),
                                                       QCryptographicHash::Sha256);
    PlistValue::Bytes sinf = {'s', 'i', 'n', 'f'};
    sinf.insert(sinf.end(), digest.begin(), digest.end());
    attributes["ApplicationSINF"] = std::move(sinf);
    PlistValue metadata = PlistValue::dict();
    std::int64_t itemId = 0;
    for (int i = 0; i < 4; ++i) {
        itemId = itemId * 256 + static_cast<unsigned char>(digest[i]);
    }
    metadata["itemId"] = itemId;
    metadata["itemName"] = name;
    metadata["kind"] = "software";
    metadata["softwareVersionBundleId"] = app.bundleId;
    metadata["bundleVersion"] = app.bundleVersion;
    if (!app.version.empty()) {
        metadata["bundleShortVersionString"] = app.version;
    }
    attributes["iTunesMetadata"] = metadata.toBinary();
}

std::string executableName(const AppSpec& app) {
    if (!app.executable.empty()) {
        checkFolderName(app.executable, "executable name");
        return app.executable;
    }
    std::string name;
    for (char c : app.displayName) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            name += c;
        }
    }
    return name.empty() ? std::string("App") : name;
}

PlistValue entitlementsOf(const AppSpec& app) {
    PlistValue e = PlistValue::dict();
    if (app.type == "User") {
        const std::string team = teamIdentifier(app.bundleId);
        e["application-identifier"] = team + "." + app.bundleId;
        e["com.apple.developer.team-identifier"] = team;
        e["keychain-access-groups"].append(team + "." + app.bundleId);
        e["get-task-allow"] = false;
    } else {
        e["application-identifier"] = app.bundleId;
        e["platform-application"] = true;
    }
    for (const auto& [key, value] : app.entitlements.toDict()) {
        e[key] = value;
    }
    return e;
}

// The beginning of a 64-bit Mach-O file followed by filler: enough to look like a binary.
std::string executableBytes(const std::string& bundleId) {
    std::string bytes("\xcf\xfa\xed\xfe\x0c\x00\x00\x01\x00\x00\x00\x00\x02\x00\x00\x00", 16);
    bytes += fillerBytes(8 * 1024 - bytes.size(),
                         static_cast<std::uint32_t>(std::hash<std::string>{}(bundleId)));
    return bytes;
}

void writePlist(const PlistValue& value, const fs::path& file) {
    makeFolders(file.parent_path());
    if (!value.writeFile(file.string())) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

// The package folder: Info.plist with the app's identifiers, and the executable.
void writePackage(const fs::path& bundle, const PlistValue& attributes,
                  const std::string& executable, const std::string& bundleId) {
    PlistValue info = PlistValue::dict();
    for (const char* key :
         {"CFBundleIdentifier", "CFBundleExecutable", "CFBundleDisplayName", "CFBundleName",
          "CFBundleShortVersionString", "CFBundleVersion", "UIFileSharingEnabled"}) {
        if (const PlistValue* v = attributes.find(key)) {
            info[key] = *v;
        }
    }
    info["CFBundlePackageType"] = "APPL";
    info["MinimumOSVersion"] = "11.0";
    info["CFBundleIcons"]["CFBundlePrimaryIcon"]["CFBundleIconFiles"].append("AppIcon60x60");
    writePlist(info, bundle / "Info.plist");
    writeBytes(bundle / executable, executableBytes(bundleId));
    addExecutePermission(bundle / executable);
}

}  // namespace

SimDeviceBuilder& SimDeviceBuilder::addApp(const AppSpec& app) {
    const fs::path appDir = appPath(app.bundleId);
    if (app.type.empty()) {
        throw std::invalid_argument("app type must not be empty");
    }
    if (app.staticDiskUsage < 0 || app.dynamicDiskUsage < 0) {
        throw std::invalid_argument("negative disk usage");
    }
    if (!app.entitlements.isNull() && !app.entitlements.isDict()) {
        throw std::invalid_argument("entitlements must be a dictionary");
    }
    const std::string executable = executableName(app);
    const std::string displayName =
        app.displayName.empty() && !app.exactDisplayName ? executable : app.displayName;
    const std::string bundlePath = app.type == "User"
                                       ? "/private/var/containers/Bundle/Application/" +
                                             bundleUuid(app.bundleId) + "/" + executable + ".app"
                                       : "/Applications/" + executable + ".app";

    PlistValue attributes = PlistValue::dict();
    attributes["CFBundleIdentifier"] = app.bundleId;
    attributes["ApplicationType"] = app.type;
    attributes["CFBundleExecutable"] = executable;
    attributes["CFBundleDisplayName"] = displayName;
    attributes["CFBundleIconFile"] = "AppIcon60x60";
    attributes["CFBundleName"] = executable;
    if (!app.version.empty()) {
        attributes["CFBundleShortVersionString"] = app.version;
    }
    attributes["CFBundleVersion"] = app.bundleVersion;
    attributes["Entitlements"] = entitlementsOf(app);
    attributes["Path"] = bundlePath;
    if (app.fileSharing) {
        attributes["UIFileSharingEnabled"] = true;
    }
    if (app.type == "User" && app.fromStore) {
        addStoreData(app, displayName, attributes);
    }
    if (app.withDiskUsage) {
        attributes["DynamicDiskUsage"] = app.dynamicDiskUsage;
        attributes["StaticDiskUsage"] = app.staticDiskUsage;
    }

    checkResolvedInside(dir_ / layout::kAppsDir, appDir);
    makeFolders(appDir);

    // The package: Info.plist with the same identifiers, and the executable.
    const fs::path bundle = appDir / layout::kAppBundle;
    if (app.withDiskUsage) {
        writePackage(bundle, attributes, executable, app.bundleId);
    }

    if (app.withContainer) {
        const fs::path container = appDir / layout::kAppContainer;
        for (const char* sub :
             {"Documents", "Library/Caches", "Library/Cookies", "Library/Preferences", "tmp"}) {
            makeFolders(container / sub);
        }
        PlistValue prefs = PlistValue::dict();
        prefs["LastLaunchVersion"] = app.version.empty() ? app.bundleVersion : app.version;
        prefs["OnboardingDone"] = true;
        writePlist(prefs, container / "Library/Preferences" / (app.bundleId + ".plist"));
    }

    if (app.withIcon) {
        const std::string icon =
            makeAppIconPng(displayName.empty() ? executable : displayName, app.bundleId, 60);
        writeBytes(appDir / layout::kAppIcon, icon);
        if (app.withDiskUsage) {
            writeBytes(bundle / "AppIcon60x60@2x.png", icon);
        }
        if (app.withContainer) {
            writeBytes(appDir / layout::kAppContainer / "iTunesArtwork", icon);
        }
    }

    // Attributes last: an app folder with attributes is a complete app.
    writePlist(attributes, appDir / layout::kAppAttributes);
    return *this;
}

}  // namespace nimbara::simdev
