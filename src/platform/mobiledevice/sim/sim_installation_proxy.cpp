#include "platform/mobiledevice/sim/sim_installation_proxy.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "platform/mobiledevice/sim/sim_apps.h"
#include "platform/mobiledevice/sim/sim_area.h"
#include "platform/mobiledevice/sim/sim_files.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/mobiledevice/sim/simulated_device.h"
#include "platform/partial_file.h"

namespace fs = std::filesystem;

namespace nimbara::md::sim {

namespace {

constexpr const char* kArchivesFolder = "/ApplicationArchives";

PlistValue status(const char* text, int percent) {
    PlistValue reply = PlistValue::dict();
    reply["Status"] = text;
    reply["PercentComplete"] = percent;
    return reply;
}

PlistValue complete() {
    PlistValue reply = PlistValue::dict();
    reply["Status"] = "Complete";
    return reply;
}

PlistValue error(const char* code, const std::string& description) {
    PlistValue reply = PlistValue::dict();
    reply["Error"] = code;
    reply["ErrorDescription"] = description;
    return reply;
}

// A stable identifier in the 8-4-4-4-12 form, derived from the text (FNV-1a).
std::string stableUuid(const std::string& text) {
    std::uint64_t a = 1469598103934665603ULL;
    std::uint64_t b = 1099511628211ULL ^ 0x5bd1e995ULL;
    for (unsigned char c : text) {
        a = (a ^ c) * 1099511628211ULL;
        b = (b ^ c) * 0x100000001b3ULL + 0x9e3779b97f4a7c15ULL;
    }
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%08X-%04X-%04X-%04X-%012llX",
                  static_cast<unsigned>(a >> 32), static_cast<unsigned>((a >> 16) & 0xFFFF),
                  static_cast<unsigned>(a & 0xFFFF), static_cast<unsigned>(b >> 48),
                  static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFULL));
    return buffer;
}

bool isRealDirectory(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(fs::symlink_status(path, ec));
}

bool isRegularFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(fs::symlink_status(path, ec));
}

// Removes a scratch folder (or file) when it goes out of scope.
class ScratchFolder {
  public:
    explicit ScratchFolder(fs::path path) : path_(std::move(path)) {}
    ~ScratchFolder() {
        if (!path_.empty()) {
            std::error_code ec;
            fs::remove_all(path_, ec);
        }
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

  private:
    fs::path path_;
};

// What an app package holds: the app folder and, from an archive, the saved container and
// artwork.
struct Package {
    fs::path appDir;
    PlistValue info;
    std::optional<fs::path> container;
    std::optional<fs::path> artwork;
};

std::optional<Package> inspectPackage(const fs::path& root) {
    Package package;
    if (isRegularFile(root / "Info.plist")) {
        package.appDir = root;
    } else if (isRealDirectory(root / "Payload")) {
        std::set<fs::path> candidates;
        std::error_code ec;
        for (fs::directory_iterator it(root / "Payload", ec); !ec && it != fs::directory_iterator();
             it.increment(ec)) {
            if (it->path().extension() == ".app" && isRealDirectory(it->path()) &&
                isRegularFile(it->path() / "Info.plist")) {
                candidates.insert(it->path());
            }
        }
        // A package holds exactly one app.
        if (candidates.size() != 1) {
            return std::nullopt;
        }
        package.appDir = *candidates.begin();
        if (isRealDirectory(root / "Container")) {
            package.container = root / "Container";
        }
        if (isRegularFile(root / "iTunesArtwork")) {
            package.artwork = root / "iTunesArtwork";
        }
    } else {
        return std::nullopt;
    }
    auto info = PlistValue::readFile((package.appDir / "Info.plist").string());
    if (!info || !info->isDict()) {
        return std::nullopt;
    }
    package.info = std::move(*info);
    return package;
}

std::optional<fs::path> iconOf(const Package& package) {
    if (package.artwork) {
        return package.artwork;
    }
    std::vector<std::string> names = {"Icon.png", "icon.png"};
    const std::string& iconFile = package.info["CFBundleIconFile"].toString();
    if (isValidFileName(iconFile)) {
        names.push_back(iconFile);
        names.push_back(iconFile + ".png");
    }
    for (const auto& name : names) {
        if (isRegularFile(package.appDir / name)) {
            return package.appDir / name;
        }
    }
    return std::nullopt;
}

// Replaces whatever is at `to` (a link included) by a copy of the regular file `from`.
bool replaceFile(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(to, ec)) && !isRegularFile(to)) {
        fs::remove_all(to, ec);
    }
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    return !ec;
}

PlistValue installedAttributes(const Package& package, const std::string& id,
                               const fs::path& bundleDir, const fs::path& containerDir) {
    const PlistValue& info = package.info;
    PlistValue attributes = PlistValue::dict();
    attributes["CFBundleIdentifier"] = id;
    attributes["ApplicationType"] = "User";
    std::string name = info["CFBundleDisplayName"].toString();
    if (name.empty()) {
        name = info["CFBundleName"].toString();
    }
    if (name.empty()) {
        name = id;
    }
    attributes["CFBundleDisplayName"] = name;
    attributes["CFBundleName"] = info["CFBundleName"].isString() ? info["CFBundleName"] : name;
    for (const char* key : {"CFBundleShortVersionString", "CFBundleVersion", "CFBundleExecutable",
                            "CFBundleIconFile", "UIFileSharingEnabled", "Entitlements"}) {
        if (const PlistValue* value = info.find(key)) {
            attributes[key] = *value;
        }
    }
    std::string folder = package.appDir.filename().string();
    if (!isValidFileName(folder) || !folder.ends_with(".app")) {
        folder = bundleFolderName(info, id);
    }
    attributes["Path"] =
        "/private/var/containers/Bundle/Application/" + stableUuid(id) + "/" + folder;
    attributes["Container"] =
        "/private/var/mobile/Containers/Data/Application/" + stableUuid(id + "#data");
    attributes["StaticDiskUsage"] = std::uint64_t(treeSize(bundleDir));
    attributes["DynamicDiskUsage"] = std::uint64_t(treeSize(containerDir));
    return attributes;
}

// The store metadata a device puts at the root of an app's archive: which app it holds, under
// what name and in which version.
PlistValue storeMetadata(const PlistValue& attributes, const std::string& id) {
    PlistValue metadata = PlistValue::dict();
    metadata["softwareVersionBundleId"] = id;
    std::string name = attributes["CFBundleDisplayName"].toString();
    if (name.empty()) {
        name = attributes["CFBundleName"].toString();
    }
    metadata["itemName"] = name.empty() ? id : name;
    if (attributes["CFBundleVersion"].isString()) {
        metadata["bundleVersion"] = attributes["CFBundleVersion"];
    }
    if (attributes["CFBundleShortVersionString"].isString()) {
        metadata["bundleShortVersionString"] = attributes["CFBundleShortVersionString"];
    }
    return metadata;
}

// True for an app the device came with ("ApplicationType" "System").
bool isBuiltIn(const PlistValue& attributes) {
    return attributes["ApplicationType"].toString() == "System";
}

}  // namespace

InstallationProxyHandler::InstallationProxyHandler(std::shared_ptr<SimulatedDevice> device)
    : device_(std::move(device)) {}

void InstallationProxyHandler::handle(const PlistValue& request, std::vector<PlistValue>& replies) {
    const std::string& command = request["Command"].toString();
    if (command == "Lookup" || command == "Browse") {
        lookup(request["ClientOptions"], replies);
    } else if (command == "Install" || command == "Upgrade") {
        install(request, replies);
    } else if (command == "Uninstall") {
        uninstall(request, replies);
    } else if (command == "Archive") {
        archive(request, replies);
    } else if (command == "RemoveArchive") {
        removeArchive(request, replies);
    } else if (command == "LookupArchives") {
        lookupArchives(replies);
    } else {
        PlistValue reply = PlistValue::dict();
        reply["Error"] = "UnknownCommand";
        replies.push_back(std::move(reply));
    }
}

void InstallationProxyHandler::lookup(const PlistValue& options, std::vector<PlistValue>& replies) {
    if (!waitForLookup()) {
        return;  // the device went away: nothing is answered
    }
    std::set<std::string> wanted;
    for (const auto& name : options["ReturnAttributes"].toArray()) {
        wanted.insert(name.toString());
    }
    std::set<std::string> ids;
    for (const auto& id : options["BundleIDs"].toArray()) {
        ids.insert(id.toString());
    }
    const std::string& type = options["ApplicationType"].toString();

    std::vector<std::pair<std::string, PlistValue>> apps;
    {
        std::lock_guard<std::mutex> lock(device_->appsMutex());
        apps = installedApps(device_->anchor());
    }
    std::vector<std::pair<std::string, PlistValue>> selected;
    for (auto& [id, attributes] : apps) {
        if (!type.empty() && type != "Any" && attributes["ApplicationType"].toString() != type) {
            continue;
        }
        if (!ids.empty() && !ids.count(id)) {
            continue;
        }
        if (!wanted.empty()) {
            PlistValue filtered = PlistValue::dict();
            for (const auto& [key, value] : attributes.toDict()) {
                if (wanted.count(key)) {
                    filtered[key] = value;
                }
            }
            attributes = std::move(filtered);
        }
        selected.emplace_back(id, std::move(attributes));
    }

    std::size_t next = 0;
    do {
        PlistValue reply = PlistValue::dict();
        PlistValue& result = reply["LookupResult"];
        result = PlistValue::dict();
        for (std::size_t n = 0; n < kLookupBatch && next < selected.size(); ++n, ++next) {
            result[selected[next].first] = std::move(selected[next].second);
        }
        reply["Status"] = next < selected.size() ? "BrowsingApplications" : "Complete";
        replies.push_back(std::move(reply));
    } while (next < selected.size());
}

bool InstallationProxyHandler::waitForLookup() const {
    const std::string name = device_->currentFaults().lookupWaitsFor;
    if (name.empty() || !isValidFileName(name)) {
        return true;
    }
    constexpr auto kStep = std::chrono::milliseconds(5);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    std::error_code ec;
    while (!fs::exists(fs::symlink_status(device_->anchor() / name, ec))) {
        if (!device_->attached()) {
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            break;
        }
        std::this_thread::sleep_for(kStep);
    }
    return device_->attached();
}

void InstallationProxyHandler::install(const PlistValue& request,
                                       std::vector<PlistValue>& replies) {
    const std::string& packagePath = request["PackagePath"].toString();
    const Area media(device_->anchor(), kMediaDir);
    const Area deviceArea(device_->anchor());
    Place packagePlace;
    std::error_code ec;
    if (packagePath.empty() || media.locate(packagePath, Area::Follow::Yes, packagePlace) != 0 ||
        !fs::exists(fs::symlink_status(packagePlace.path(), ec))) {
        replies.push_back(error("PackageNotFound", "No package at \"" + packagePath + "\"."));
        return;
    }
    replies.push_back(status("CreatingStagingDirectory", 5));

    std::lock_guard<std::mutex> lock(device_->appsMutex());
    Place appsPlace;
    if (deviceArea.makeDirectory(std::string("/") + kAppsDir, &appsPlace) != 0) {
        replies.push_back(error("APIInternalError", "The apps folder cannot be made."));
        return;
    }
    const fs::path package = packagePlace.path();
    const fs::path appsDir = appsPlace.path();
    fs::path packageRoot = package;
    std::optional<ScratchFolder> scratch;
    if (isRegularFile(package)) {
        fs::path staging;
        for (int n = 0;; ++n) {
            staging = appsDir / (".staging-" + std::to_string(n));
            if (fs::create_directory(staging, ec)) {
                break;
            }
            if (ec || n > 1000) {
                replies.push_back(error("APIInternalError", "No staging folder."));
                return;
            }
        }
        scratch.emplace(staging);
        replies.push_back(status("ExtractingPackage", 15));
        if (!extractZip(package, staging)) {
            replies.push_back(error("PackageExtractionFailed", "The package cannot be unpacked."));
            return;
        }
        packageRoot = staging;
    } else if (!isRealDirectory(package)) {
        replies.push_back(error("PackageInspectionFailed", "The package is not a folder or file."));
        return;
    }

    replies.push_back(status("InspectingPackage", 20));
    auto inspected = inspectPackage(packageRoot);
    if (!inspected) {
        replies.push_back(
            error("PackageInspectionFailed", "The package holds no app, or more than one."));
        return;
    }
    const std::string id = inspected->info["CFBundleIdentifier"].toString();
    if (!isValidBundleId(id)) {
        replies.push_back(
            error("PackageInspectionFailed", "The app's bundle identifier is not valid."));
        return;
    }
    replies.push_back(status("PreflightingApplication", 30));
    replies.push_back(status("VerifyingApplication", 40));

    replies.push_back(status("CreatingContainer", 50));
    const std::string appPath = std::string("/") + kAppsDir + "/" + id;
    const std::string containerPath = appPath + "/" + kAppContainer;
    Place appPlace;
    Place containerPlace;
    bool ok = deviceArea.makeDirectory(appPath, &appPlace) == 0 &&
              deviceArea.makeDirectory(containerPath, &containerPlace) == 0;
    const fs::path appDir = appPlace.path();
    const fs::path containerDir = containerPlace.path();
    for (const char* sub : {"/Documents", "/Library/Caches", "/Library/Preferences", "/tmp"}) {
        ok = ok && deviceArea.makeDirectory(containerPath + sub) == 0;
    }
    if (ok && inspected->container) {
        ok = copyTree(*inspected->container, containerDir);
    }
    if (!ok) {
        replies.push_back(error("APIInternalError", "The app's container cannot be made."));
        return;
    }

    replies.push_back(status("InstallingApplication", 60));
    const fs::path bundleDir = appDir / kAppBundle;
    fs::remove_all(bundleDir, ec);
    if (ec || !copyTree(inspected->appDir, bundleDir)) {
        replies.push_back(error("APIInternalError", "The app cannot be copied."));
        return;
    }
    if (auto icon = iconOf(*inspected)) {
        replaceFile(*icon, appDir / kAppIcon);
    }

    replies.push_back(status("PostflightingApplication", 70));
    replies.push_back(status("SandboxingApplication", 80));
    replies.push_back(status("GeneratingApplicationMap", 90));
    const PlistValue attributes = installedAttributes(*inspected, id, bundleDir, containerDir);
    if (!attributes.writeFile((appDir / kAppAttributes).string())) {
        replies.push_back(error("APIInternalError", "The app's attributes cannot be written."));
        return;
    }
    replies.push_back(complete());
}

void InstallationProxyHandler::uninstall(const PlistValue& request,
                                         std::vector<PlistValue>& replies) {
    const std::string& id = request["ApplicationIdentifier"].toString();
    std::lock_guard<std::mutex> lock(device_->appsMutex());
    auto appDir = installedAppDir(device_->anchor(), id);
    if (!appDir) {
        replies.push_back(error("APIInternalError", "No app \"" + id + "\" is installed."));
        return;
    }
    if (const auto attributes = appAttributes(device_->anchor(), id);
        attributes && isBuiltIn(*attributes)) {
        replies.push_back(error("UninstallProhibited", "Built-in apps can't be uninstalled."));
        return;
    }
    replies.push_back(status("RemovingApplication", 50));
    std::error_code ec;
    fs::remove_all(*appDir, ec);
    if (ec) {
        replies.push_back(error("APIInternalError", "The app cannot be removed."));
        return;
    }
    replies.push_back(status("GeneratingApplicationMap", 90));
    replies.push_back(complete());
}

void InstallationProxyHandler::archive(const PlistValue& request,
                                       std::vector<PlistValue>& replies) {
    const std::string& id = request["ApplicationIdentifier"].toString();
    const PlistValue& options = request["ClientOptions"];
    const std::string type =
        options["ArchiveType"].isString() ? options["ArchiveType"].toString() : "All";
    const bool withDocuments = type == "All" || type == "DocumentsOnly";
    const bool withApplication = type == "All" || type == "ApplicationOnly";
    if (!withDocuments && !withApplication) {
        replies.push_back(error("APIInternalError", "Unknown archive type \"" + type + "\"."));
        return;
    }
    const bool skipUninstall = options["SkipUninstall"].toBool(false);
    if (device_->currentFaults().noAppArchives) {
        replies.push_back(error("APIInternalError", "Archiving apps is not supported."));
        return;
    }

    std::lock_guard<std::mutex> lock(device_->appsMutex());
    auto appDir = installedAppDir(device_->anchor(), id);
    auto attributes = appAttributes(device_->anchor(), id);
    if (!appDir || !attributes) {
        replies.push_back(error("APIInternalError", "No app \"" + id + "\" is installed."));
        return;
    }
    if (isBuiltIn(*attributes)) {
        replies.push_back(error("APIInternalError", "Built-in apps can't be archived."));
        return;
    }
    replies.push_back(status("ArchivingApplication", 0));

    const Area media(device_->anchor(), kMediaDir);
    Place archivesPlace;
    if (media.makeDirectory(kArchivesFolder, &archivesPlace) != 0) {
        replies.push_back(error("APIInternalError", "The archive folder cannot be made."));
        return;
    }
    const fs::path archives = archivesPlace.path();
    const fs::path target = archives / (id + ".zip");
    // A short name of its own, not the target's plus a suffix: it fits the name limit
    // whatever the length of the bundle identifier.
    const fs::path partial = archives / nimbara::temporaryFileName();
    // The metadata is read from a file when the archive is written, and goes after that.
    const fs::path metadataFile = archives / nimbara::temporaryFileName();
    const ScratchFolder metadataGone(metadataFile);
    std::error_code ec;
    bool written = storeMetadata(*attributes, id).writeFile(metadataFile.string());
    if (written) {
        ZipWriter zip(partial);
        zip.addFile(metadataFile, "iTunesMetadata.plist");
        if (withDocuments) {
            zip.addTree(*appDir / kAppContainer, "Container/");
        }
        if (withApplication) {
            zip.addFolder("Payload/");
            zip.addTree(*appDir / kAppBundle, "Payload/" + bundleFolderName(*attributes, id) + "/");
            if (isRegularFile(*appDir / kAppIcon)) {
                zip.addFile(*appDir / kAppIcon, "iTunesArtwork");
            }
        }
        written = zip.commit();
    }
    if (written) {
        fs::rename(partial, target, ec);
        written = !ec;
    }
    if (!written) {
        fs::remove(partial, ec);
        replies.push_back(error("APIInternalError", "The archive cannot be written."));
        return;
    }
    replies.push_back(status("ArchivingApplication", 60));

    if (!skipUninstall) {
        replies.push_back(status("RemovingApplication", 80));
        fs::remove_all(*appDir, ec);
        if (ec) {
            replies.push_back(error("APIInternalError", "The app cannot be removed."));
            return;
        }
    }
    replies.push_back(complete());
}

void InstallationProxyHandler::removeArchive(const PlistValue& request,
                                             std::vector<PlistValue>& replies) {
    const std::string& id = request["ApplicationIdentifier"].toString();
    if (!isValidBundleId(id)) {
        replies.push_back(error("APIInternalError", "Invalid bundle identifier."));
        return;
    }
    const Area media(device_->anchor(), kMediaDir);
    Place place;
    std::error_code ec;
    if (media.locate(std::string(kArchivesFolder) + "/" + id + ".zip", Area::Follow::No, place) !=
            0 ||
        !isRegularFile(place.path())) {
        replies.push_back(error("APIInternalError", "No archive of \"" + id + "\"."));
        return;
    }
    replies.push_back(status("RemovingArchive", 50));
    if (!fs::remove(place.path(), ec)) {
        replies.push_back(error("APIInternalError", "The archive cannot be removed."));
        return;
    }
    replies.push_back(complete());
}

void InstallationProxyHandler::lookupArchives(std::vector<PlistValue>& replies) {
    PlistValue reply = PlistValue::dict();
    PlistValue& result = reply["LookupResult"];
    result = PlistValue::dict();
    const Area media(device_->anchor(), kMediaDir);
    std::vector<std::string> names;
    if (media.listDirectory(kArchivesFolder, names) == 0) {
        for (const auto& name : names) {
            if (name.size() > 4 && name.ends_with(".zip")) {
                const std::string id = name.substr(0, name.size() - 4);
                if (isValidBundleId(id)) {
                    result[id] = PlistValue::dict();
                }
            }
        }
    }
    reply["Status"] = "Complete";
    replies.push_back(std::move(reply));
}

}  // namespace nimbara::md::sim
