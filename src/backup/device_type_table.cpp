#include "backup/device_type_table.h"

#include <array>

namespace nimbara::backup {

namespace {

constexpr std::array<DeviceTypeEntry, 14> kTable{{
    {"iPhone1,1", "iPhone"},
    {"iPhone1,2", "iPhone3G"},
    {"iPhone2,1", "iPhone3GS"},
    {"iPhone3,1", "iPhone 4"},
    {"iPhone3,3", "iPhone 4"},
    {"iPhone4,1", "iPhone 4S"},
    {"iPhone5", "iPhone 5"},
    {"iPod1,1", "iPodTouch"},
    {"iPod2,1", "iPodTouch2G"},
    {"iPod3,1", "IpodTouch3G"},
    {"iPod4,1", "iPodTouch4G"},
    {"iPad1,1", "iPad 1"},
    {"iPad2,1", "iPad 2"},
    {"iPad3", "NewiPad"},
}};

}  // namespace

std::span<const DeviceTypeEntry> deviceTypeTable() {
    return kTable;
}

QString modelNameForProductType(const QString& productType) {
    if (productType.isEmpty()) {
        return QStringLiteral("iPhone");
    }
    for (const DeviceTypeEntry& entry : kTable) {
        if (productType.contains(QLatin1String(entry.productTypePart), Qt::CaseInsensitive)) {
            return QString::fromLatin1(entry.modelName);
        }
    }
    return QString();
}

bool isIPadModel(const QString& modelName) {
    // Every iPad answer of the table: "iPad 1", "iPad 2" and "NewiPad".
    return modelName.startsWith(QLatin1String("iPad"), Qt::CaseInsensitive) ||
           modelName.compare(QLatin1String("NewiPad"), Qt::CaseInsensitive) == 0;
}

QString deviceImageNameForModel(const QString& modelName) {
    return isIPadModel(modelName) ? QStringLiteral("ipadImage.png")
                                  : QStringLiteral("iphoneImage.png");
}

}  // namespace nimbara::backup
