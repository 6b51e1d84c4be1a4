#include "cleanup/app_clean_scan_walk.h"

#include <QDebug>
#include <QLatin1String>
#include <QList>
#include <QStringList>

#include <utility>

#include "cleanup/large_app_record.h"
#include "device/afc_service.h"
#include "device/app_dir_service.h"
#include "device/app_service.h"
#include "device/device_manager.h"
#include "device/device_status.h"
#include "device/sb_service.h"
#include "platform/device_path.h"
#include "platform/log_categories.h"
#include "platform/plist_value.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::cleanup {

namespace {

// Searched in this order; "AMR" is met before "amr", so the later entry is never the answer.
const std::vector<const char*> kDocumentTypes = {
    "ICNS",      "ICO",  "JPG",  "JPEG", "PNG",   "IMG", "GIF",  "THUMB", "PIC",  "PICT",
    "pic_thumb", "THM",  "TIFF", "TIF",  "AAC",   "AIF", "AIFF", "WMA",   "M4A",  "MID",
    "MIDI",      "LRC",  "TMP3", "MP3",  "WAV",   "AMR", "MP4",  "M4P",   "3GP",  "AVI",
    "M4V",       "MPEG", "MPG",  "MOV",  "FLA",   "F4V", "WMV",  "RM",    "RMVB", "CAF",
    "tm3",       "tm8",  "amr",  "log",  "cache", "zip"};

std::string lastComponent(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// ---- the job's device ----

CleanJobDevice::CleanJobDevice(int index, std::uint64_t serial, StopCheck cancel)
    : index_(index), serial_(serial), cancel_(std::move(cancel)) {
    if (serial_ == 0) {
        serial_ = amd::DeviceManager::GetInstance().DeviceSerial(index_);
    }
}

bool CleanJobDevice::shouldStop() {
    if (!stopped_ && ((cancel_ && cancel_()) ||
                      !amd::DeviceManager::GetInstance().IsAttached(index_, serial_))) {
        stopped_ = true;
    }
    return stopped_;
}

// ---- apps and icons ----

std::optional<std::vector<CleanAppInfo>> lookupCleanApps(CleanJobDevice& device, int& refused) {
    amd::AppService service;
    refused = device.bind(service);
    if (refused != 0) {
        if (refused == CleanJobDevice::kStopped) {
            refused = 0;
        }
        return std::nullopt;
    }
    const std::optional<PlistValue> lookup = service.LookupApplications();
    if (!lookup || !lookup->isDict()) {
        refused = device.shouldStop() ? 0 : service.LookupRefusal();
        return std::nullopt;
    }
    std::vector<CleanAppInfo> apps;
    for (const auto& [bundleId, attributes] : lookup->toDict()) {
        if (!isValidBundleId(bundleId)) {
            qCWarning(lcCleanup).noquote()
                << "Clean-up: app identifier passed over:" << QString::fromStdString(bundleId);
            continue;
        }
        CleanAppInfo app;
        app.bundleId = bundleId;
        app.displayName = appDisplayNameOf(bundleId, attributes);
        app.version = appVersionOf(attributes);
        app.userApp = appAttributeText(attributes, "ApplicationType") == QLatin1String("User");
        apps.push_back(std::move(app));
    }
    return apps;
}

void visitCleanApps(CleanJobDevice& device, const std::vector<CleanAppInfo>& apps,
                    const std::function<void(const CleanAppInfo&, CleanAppIcons&)>& visit,
                    const std::function<void(int done, const CleanAppInfo&)>& appDone) {
    QStringList ids;
    for (const CleanAppInfo& app : apps) {
        ids << QString::fromStdString(app.bundleId);
    }
    qCInfo(lcCleanup).noquote() << "Clean-up apps:" << ids.join(QLatin1Char(' '));
    CleanAppIcons icons(device);
    int done = 0;
    for (const CleanAppInfo& app : apps) {
        if (device.shouldStop()) {
            return;
        }
        visit(app, icons);
        if (device.shouldStop()) {
            return;
        }
        appDone(++done, app);
    }
}

bool openContainer(amd::AppDirService& container, CleanJobDevice& device,
                   const std::string& bundleId, std::vector<std::string>& refused) {
    const int rc = device.bind(container, bundleId);
    if (rc == 0) {
        return true;
    }
    if (rc != CleanJobDevice::kStopped && rc != amd::DeviceCode::AppNotInstalled) {
        qCWarning(lcCleanup).noquote()
            << "Clean-up: the container of" << QString::fromStdString(bundleId)
            << "could not be opened:" << rc;
        refused.push_back(bundleId);
    }
    return false;
}

CleanAppIcons::CleanAppIcons(CleanJobDevice& device) : device_(device) {}

CleanAppIcons::~CleanAppIcons() = default;

QByteArray CleanAppIcons::iconFor(const std::string& bundleId) {
    for (const auto& [id, png] : known_) {
        if (id == bundleId) {
            return png;
        }
    }
    if (!tried_) {
        tried_ = true;
        auto service = std::make_unique<amd::SBService>();
        if (device_.bind(*service) == 0) {
            service_ = std::move(service);
        }
    }
    QByteArray icon;
    if (service_) {
        std::vector<std::uint8_t> png;
        const int rc = service_->GetIconPNGData(bundleId, png);
        if (rc == 0 && !png.empty()) {
            icon = QByteArray(reinterpret_cast<const char*>(png.data()),
                              static_cast<qsizetype>(png.size()));
        }
    }
    known_.emplace_back(bundleId, icon);
    return icon;
}

// ---- texts ----

int documentFileType(const char* extension) {
    if (extension == nullptr) {
        return -1;
    }
    const QLatin1String wanted(extension);
    for (std::size_t i = 0; i < kDocumentTypes.size(); ++i) {
        if (wanted.compare(QLatin1String(kDocumentTypes[i]), Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const std::vector<const char*>& documentFileTypeTable() {
    return kDocumentTypes;
}

std::string cleanFileExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return std::string();
    }
    return name.substr(dot + 1);
}

QString cleanPathLabelText(const QString& path) {
    // Counted in characters, so a character outside the basic plane is never cut in two.
    const QList<uint> characters = path.toUcs4();
    if (characters.size() < 36) {
        return path;
    }
    const QList<uint> tail = characters.mid(characters.size() - 34);
    return QStringLiteral("...") +
           QString::fromUcs4(reinterpret_cast<const char32_t*>(tail.constData()), tail.size());
}

std::shared_ptr<PRCleanDirNode> makeCleanFileRecord(const std::string& path, std::uint64_t size,
                                                    const CleanAppInfo& app,
                                                    const QByteArray& icon) {
    auto node = std::make_shared<PRCleanDirNode>();
    node->setDevicePath(path);
    node->setFileName(QString::fromStdString(lastComponent(path)));
    node->setAppDisplayName(app.displayName);
    node->setAppBundleName(QString::fromStdString(app.bundleId));
    node->setFileSizeNumber(size);
    node->setFileSize(nimbara::shell::size_to_unit(size));
    node->setFileType(QStringLiteral("FILE"));
    node->setIsFile(true);
    if (icon.isEmpty()) {
        node->setNodeIcon(QStringLiteral("NULLImage.png"));
    } else {
        node->setAppIcon(icon);
    }
    return node;
}

void CleanCategoryList::add(std::shared_ptr<PRCleanDirNode> record) {
    bytes = nimbara::ui::addSaturating(bytes, record->fileSizeNumber());
    files.push_back(std::move(record));
}

// ---- the category walk ----

CategoryWalk::CategoryWalk(amd::AfcService& container, CleanJobDevice& device,
                           const CleanAppInfo& app, QByteArray icon, FileFound onFile)
    : container_(container),
      device_(device),
      app_(app),
      icon_(std::move(icon)),
      onFile_(std::move(onFile)) {}

void CategoryWalk::visitCategoryPath(const std::string& path, CleanCategory category) {
    const std::optional<amd::afc::FileKindAndSize> info = container_.GetFileKindAndSize(path);
    if (!info) {
        return;
    }
    if (info->kind == "S_IFDIR") {
        traverseDirWithpath(path, category, 0);
    } else if (info->kind == "S_IFREG") {
        fileFound(path, info->size, category);
    }
}

void CategoryWalk::traverseDirWithpath(const std::string& path, CleanCategory category, int depth) {
    const std::optional<std::vector<std::string>> names = container_.ReadDirectory(path);
    if (!names) {
        return;
    }
    for (const std::string& name : *names) {
        if (isValidFileName(name)) {
            const std::string entry = path + "/" + name;
            if (const auto info = container_.GetFileKindAndSize(entry)) {
                if (info->kind == "S_IFDIR") {
                    if (depth < kMaxWalkDepth) {
                        traverseDirWithpath(entry, category, depth + 1);
                    }
                } else if (info->kind == "S_IFREG") {
                    fileFound(entry, info->size, category);
                }
            }
        }
        if (device_.shouldStop()) {
            return;
        }
    }
}

void CategoryWalk::fileFound(const std::string& path, std::uint64_t size, CleanCategory category) {
    if (category == CleanCategory::Document && !everyDocument_ &&
        documentFileType(cleanFileExtension(lastComponent(path)).c_str()) < 0) {
        return;
    }
    if (onFile_) {
        onFile_(category, makeCleanFileRecord(path, size, app_, icon_));
    }
}

}  // namespace nimbara::cleanup
