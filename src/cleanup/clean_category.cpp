#include "cleanup/clean_category.h"

namespace nimbara::cleanup {

const char* categoryFolder(CleanCategory category) {
    switch (category) {
        case CleanCategory::Cache:
        case CleanCategory::AdCache:
            return "/Library/Caches";
        case CleanCategory::Document:
            return "/Documents";
        case CleanCategory::Cookie:
            return "/Library/Cookies";
        case CleanCategory::Junk:
            return "/tmp";
        case CleanCategory::SyncFailed:
            return "/iTunes_Control/Sync";
        case CleanCategory::UserFile:
            return "/";
    }
    return "";
}

QString cleanTypeName(CleanCategory category) {
    switch (category) {
        case CleanCategory::Cache:
            return QStringLiteral("Cache");
        case CleanCategory::Junk:
            return QStringLiteral("Junk");
        case CleanCategory::Cookie:
            return QStringLiteral("Cook");
        default:
            return QString();
    }
}

QString cleanCategoryType(CleanCategory category) {
    switch (category) {
        case CleanCategory::Cache:
            return QStringLiteral("Caches");
        case CleanCategory::Cookie:
            return QStringLiteral("Cookies");
        case CleanCategory::Junk:
            return QStringLiteral("tmp");
        case CleanCategory::Document:
            return QStringLiteral("Documents");
        default:
            return QString();
    }
}

}  // namespace nimbara::cleanup
