#include "filemanager/photo_scan.h"

#include <QString>

#include <optional>
#include <string>

#include "cleanup/device_walk.h"
#include "device/afc_service.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::filemanager {

namespace {

using nimbara::cleanup::isPlainEntryName;

bool containsNoCase(const std::string& name, const char* part) {
    return QString::fromStdString(name).contains(QLatin1String(part), Qt::CaseInsensitive);
}

// The plain entry names of a folder (none when it can't be read).
std::vector<std::string> entriesOf(amd::AfcService& afc, const std::string& folder) {
    std::vector<std::string> names;
    if (const auto listed = afc.ReadDirectory(folder)) {
        for (const std::string& name : *listed) {
            if (isPlainEntryName(name)) {
                names.push_back(name);
            }
        }
    }
    return names;
}

std::int64_t numberOf(const std::string& text) {
    try {
        std::size_t used = 0;
        const long long value = std::stoll(text, &used);
        return used == text.size() ? value : 0;
    } catch (...) {
        return 0;
    }
}

class PhotoWalk {
  public:
    PhotoWalk(StorageScanJob& job, amd::AfcService& afc, PhotoScanResult& result)
        : job_(job), afc_(afc), result_(result) {}

    // Walks `folders` as one phase; false when the job stopped.
    bool phase(const std::vector<std::string>& folders, const char* kind, double base,
               double span) {
        const double perFolder = folders.empty() ? 0.0 : span / static_cast<double>(folders.size());
        for (std::size_t f = 0; f < folders.size(); ++f) {
            const std::vector<std::string> names = entriesOf(afc_, folders[f]);
            const double start = base + perFolder * static_cast<double>(f);
            for (std::size_t i = 0; i < names.size(); ++i) {
                add(folders[f] + "/" + names[i], names[i], kind);
                if (job_.shouldStop()) {
                    return false;
                }
                job_.progress(start + perFolder * static_cast<double>(i + 1) /
                                          static_cast<double>(names.size()));
            }
            if (job_.shouldStop()) {
                return false;
            }
        }
        job_.progress(base + span);
        return true;
    }

  private:
    void add(const std::string& path, const std::string& name, const char* kind) {
        const auto info = afc_.GetFileInfo(path);
        if (!info) {
            return;  // gone since the folder was listed
        }
        const auto attribute = [&](const char* key) {
            const auto found = info->find(key);
            return found == info->end() ? std::string() : found->second;
        };
        const std::uint64_t size = amd::afc::ParseFileSize(attribute("st_size"));
        auto node = std::make_shared<PRPhotoAndVideoNode>();
        node->setDevicePath(path);
        node->setFileNodeName(QString::fromStdString(name));
        node->setFileType(QLatin1String(kind));
        node->setFileNodeSize(nimbara::shell::size_to_unit(size));
        node->setFileSizeNumber(size);
        node->setFileModifyTime(nimbara::shell::GetPhoneDate(numberOf(attribute("st_mtime"))));
        const std::optional<std::string> suffix = nimbara::shell::getSuffix(path.c_str());
        node->setBmov(suffix && nimbara::shell::GetViedoType(suffix->c_str()) >= 0);
        result_.totalBytes = nimbara::ui::addSaturating(result_.totalBytes, size);
        result_.photos.push_back(std::move(node));
    }

    StorageScanJob& job_;
    amd::AfcService& afc_;
    PhotoScanResult& result_;
};

// The folders of `root` whose names contain `part`, as full paths.
std::vector<std::string> foldersOf(amd::AfcService& afc, const std::string& root,
                                   const char* part) {
    std::vector<std::string> folders;
    for (const std::string& name : entriesOf(afc, root)) {
        if (containsNoCase(name, part)) {
            folders.push_back(root + "/" + name);
        }
    }
    return folders;
}

}  // namespace

PhotoScanResult scanDevicePhotos(StorageDeviceTarget target, const StorageStopCheck& stop,
                                 const StorageProgress& progress) {
    StorageScanJob job(target, stop, progress);
    PhotoScanResult result;
    result.device = job.target();
    amd::AfcService afc;
    if (const int rc = job.device().bind(afc); rc != 0) {
        result.status = job.bindFailure(rc);
        return result;
    }
    PhotoWalk walk(job, afc, result);
    std::vector<std::string> streams;
    for (const std::string& stream : entriesOf(afc, "/PhotoStreamsData")) {
        for (std::string& folder : foldersOf(afc, "/PhotoStreamsData/" + stream, "APPLE")) {
            streams.push_back(std::move(folder));
        }
    }
    const bool done =
        walk.phase(foldersOf(afc, "/DCIM", "APPLE"), kCameraRollKind, 0.0, 0.35) &&
        walk.phase(streams, kPhotoStreamKind, 0.35, 0.3) &&
        walk.phase(foldersOf(afc, "/PhotoData/Sync", "SYNCD"), kPhotoLibraryKind, 0.65, 0.2) &&
        walk.phase(foldersOf(afc, "/Photos/Sync", "SYNCD"), kPhotoLibraryKind, 0.85, 0.15);
    if (!done) {
        PhotoScanResult stopped;
        stopped.device = result.device;
        stopped.status = job.stopStatus();
        return stopped;
    }
    return result;
}

}  // namespace nimbara::filemanager
