// The installed user apps as the large-file lists show them: what an app's lookup attributes say
// about its name, version and sizes, and the PRLargeFileNode made from that.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cleanup/pr_large_file_node.h"

namespace nimbara {
class PlistValue;
}

namespace nimbara::cleanup {

struct LargeAppFacts {
    std::string bundleId;
    QString displayName;  // "CFBundleDisplayName", else "CFBundleName", else the identifier
    QString version;      // "CFBundleShortVersionString", else "CFBundleVersion"
    std::uint64_t bundleBytes = 0;     // "StaticDiskUsage" (negative or missing: 0)
    std::uint64_t dataBytes = 0;       // "DynamicDiskUsage"
    std::uint64_t totalBytes() const;  // both, saturating
};

// The text of a string attribute; null when it is missing or no string.
QString appAttributeText(const nimbara::PlistValue& attributes, const char* key);
// "CFBundleDisplayName", else "CFBundleName", else the identifier.
QString appDisplayNameOf(const std::string& bundleId, const nimbara::PlistValue& attributes);
// "CFBundleShortVersionString", else (missing or empty) "CFBundleVersion".
QString appVersionOf(const nimbara::PlistValue& attributes);

// The facts of an app whose "ApplicationType" is "User"; nullopt for any other app.
std::optional<LargeAppFacts> userAppFacts(const std::string& bundleId,
                                          const nimbara::PlistValue& attributes);

// fileName "<name>.app", appDisplayName, appBundId, appVersion, appFileSizeNumber (bundle plus
// data), and the three size texts: totalSize of both, fileSize of the bundle, documentSize of
// the data.
std::shared_ptr<PRLargeFileNode> makeLargeAppRecord(const LargeAppFacts& app);

}  // namespace nimbara::cleanup
