#include "cleanup/large_app_record.h"

#include "platform/plist_value.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::cleanup {

namespace {

std::uint64_t unsignedUsage(const nimbara::PlistValue& value) {
    const std::int64_t n = value.toInt64(0);
    return n > 0 ? static_cast<std::uint64_t>(n) : 0;
}

}  // namespace

QString appAttributeText(const nimbara::PlistValue& attributes, const char* key) {
    const nimbara::PlistValue* value = attributes.find(key);
    if (value == nullptr || !value->isString()) {
        return QString();
    }
    return QString::fromStdString(value->toString());
}

QString appDisplayNameOf(const std::string& bundleId, const nimbara::PlistValue& attributes) {
    QString name = appAttributeText(attributes, "CFBundleDisplayName");
    if (name.isEmpty()) {
        name = appAttributeText(attributes, "CFBundleName");
    }
    return name.isEmpty() ? QString::fromStdString(bundleId) : name;
}

QString appVersionOf(const nimbara::PlistValue& attributes) {
    const QString version = appAttributeText(attributes, "CFBundleShortVersionString");
    return version.isEmpty() ? appAttributeText(attributes, "CFBundleVersion") : version;
}

std::uint64_t LargeAppFacts::totalBytes() const {
    return nimbara::ui::addSaturating(bundleBytes, dataBytes);
}

std::optional<LargeAppFacts> userAppFacts(const std::string& bundleId,
                                          const nimbara::PlistValue& attributes) {
    if (!attributes.isDict() || appAttributeText(attributes, "ApplicationType") != "User") {
        return std::nullopt;
    }
    LargeAppFacts app;
    app.bundleId = bundleId;
    app.bundleBytes = unsignedUsage(attributes["StaticDiskUsage"]);
    app.dataBytes = unsignedUsage(attributes["DynamicDiskUsage"]);
    app.displayName = appDisplayNameOf(bundleId, attributes);
    app.version = appVersionOf(attributes);
    return app;
}

std::shared_ptr<PRLargeFileNode> makeLargeAppRecord(const LargeAppFacts& app) {
    auto node = std::make_shared<PRLargeFileNode>();
    node->setFileName(app.displayName + QStringLiteral(".app"));
    node->setAppDisplayName(app.displayName);
    node->setAppBundId(QString::fromStdString(app.bundleId));
    node->setAppFileSizeNumber(app.totalBytes());
    node->setTotalSize(nimbara::shell::size_to_unit(app.totalBytes()));
    node->setDocumentSize(nimbara::shell::size_to_unit(app.dataBytes));
    node->setFileSize(nimbara::shell::size_to_unit(app.bundleBytes));
    node->setAppVersion(app.version);
    return node;
}

}  // namespace nimbara::cleanup
