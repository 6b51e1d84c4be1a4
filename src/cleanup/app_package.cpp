#include "cleanup/app_package.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "platform/scratch_dir.h"

namespace fs = std::filesystem;

namespace nimbara::cleanup {

std::unique_ptr<UniqueFolder> appJobScratch() {
    const fs::path parent = scratchFolder("app-archives");
    if (parent.empty()) {
        return nullptr;
    }
    auto folder = std::make_unique<UniqueFolder>(parent, "job");
    return folder->valid() ? std::move(folder) : nullptr;
}

bool isAppBundleId(const std::string& id) {
    const bool plain = std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_' || c == '.';
    });
    return plain && !id.empty() && id.size() <= 255 && id.front() != '.' &&
           id.find("..") == std::string::npos;
}

std::optional<VerifiedAppBundle> verifiedAppBundle(const fs::path& root,
                                                   const std::string& bundleId, QString* why) {
    if (!isAppBundleId(bundleId)) {
        *why = QStringLiteral(
            "The app's archive names its app with an identifier that isn't "
            "valid (only letters, digits, \"-\", \"_\" and single \".\" "
            "between them)");
        return std::nullopt;
    }
    std::error_code ec;
    const fs::path payload = root / "Payload";
    if (!fs::is_directory(fs::symlink_status(payload, ec))) {
        *why = QStringLiteral("The app's archive holds no app");
        return std::nullopt;
    }
    std::vector<fs::path> apps;
    for (fs::directory_iterator it(payload, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        if (it->path().extension() == ".app") {
            apps.push_back(it->path());
        }
    }
    if (ec || apps.empty()) {
        *why = QStringLiteral("The app's archive holds no app");
        return std::nullopt;
    }
    if (apps.size() > 1) {
        *why = QStringLiteral("The app's archive holds more than one app");
        return std::nullopt;
    }
    const fs::path app = apps.front();
    const fs::path infoFile = app / "Info.plist";
    if (!fs::is_directory(fs::symlink_status(app, ec)) ||
        !fs::is_regular_file(fs::symlink_status(infoFile, ec))) {
        *why = QStringLiteral("The app in the archive has no Info.plist");
        return std::nullopt;
    }
    std::optional<PlistValue> info = PlistValue::readFile(infoFile.string());
    if (!info || !info->isDict()) {
        *why = QStringLiteral("The Info.plist of the app in the archive can't be read");
        return std::nullopt;
    }
    const std::string& found = (*info)["CFBundleIdentifier"].toString();
    if (found != bundleId) {
        *why = QStringLiteral("The app's archive holds another app (%1)")
                   .arg(found.empty() ? QStringLiteral("without an identifier")
                                      : QString::fromStdString(found));
        return std::nullopt;
    }
    return VerifiedAppBundle{app, std::move(*info)};
}

}  // namespace nimbara::cleanup
