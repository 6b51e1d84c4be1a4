// Product types of backed-up devices ("iPhone5,2") and the model names the backup list shows.
#pragma once

#include <QString>

#include <span>

namespace nimbara::backup {

struct DeviceTypeEntry {
    const char* productTypePart;  // matched as a case-insensitive substring
    const char* modelName;
};

// The table in match order: the first entry whose part occurs in the product type wins.
std::span<const DeviceTypeEntry> deviceTypeTable();

// The model name of a product type: "iPhone" for a null or empty type, null for an unknown one.
QString modelNameForProductType(const QString& productType);

// Whether a model name from the table is an iPad.
bool isIPadModel(const QString& modelName);

// The row image of a backup: "ipadImage.png" for iPad models, "iphoneImage.png" otherwise
// (also for an unknown model).
QString deviceImageNameForModel(const QString& modelName);

}  // namespace nimbara::backup
