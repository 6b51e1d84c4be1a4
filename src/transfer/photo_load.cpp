#include "transfer/photo_load.h"

#include <QCryptographicHash>
#include <QDebug>

#include <system_error>

#include "device/afc_service.h"
#include "platform/log_categories.h"
#include "platform/scratch_dir.h"

namespace nimbara::transfer {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kDigestChars = 12;
constexpr std::size_t kSafeNameMax = 200;

bool isSafeChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

// `name` with every byte but letters, digits, '.', '-' and '_' replaced by '_', never starting
// with a dot and never longer than kSafeNameMax.
std::string safeName(const std::string& name) {
    std::string safe;
    for (const char c : name.substr(0, kSafeNameMax)) {
        safe += isSafeChar(c) ? c : '_';
    }
    if (safe.empty() || safe.front() == '.') {
        safe.insert(safe.begin(), '_');
    }
    return safe;
}

bool isRegularFile(const fs::path& path, std::uint64_t size) {
    std::error_code ec;
    return fs::is_regular_file(fs::symlink_status(path, ec)) && fs::file_size(path, ec) == size &&
           !ec;
}

}  // namespace

QString photoLoadStatusText(PhotoLoadStatus status) {
    switch (status) {
        case PhotoLoadStatus::Done:
            return QString();
        case PhotoLoadStatus::ServiceRefused:
            return QStringLiteral("The device's photos could not be reached.");
        case PhotoLoadStatus::DeviceGone:
        case PhotoLoadStatus::Stopped:
            return QStringLiteral("The device went away before its photos were read.");
        case PhotoLoadStatus::NoScratch:
            return QStringLiteral("There is no room for the copies of the device's photos.");
    }
    return QString();
}

QString photoFileType(const QString& fileName) {
    const QString suffix = fileName.section(QLatin1Char('.'), -1);
    if (fileName.contains(QLatin1Char('.'))) {
        for (const char* movie : {"MOV", "mp4", "m4v", "MPEG"}) {
            if (suffix.compare(QLatin1String(movie), Qt::CaseInsensitive) == 0) {
                return QStringLiteral("Movie");
            }
        }
    }
    return QStringLiteral("Image");
}

fs::path photoCopyPath(const fs::path& folder, const std::string& devicePath) {
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(devicePath), QCryptographicHash::Sha256)
            .toHex()
            .left(static_cast<qsizetype>(kDigestChars));
    const std::string name = fs::path(devicePath).filename().string();
    return folder / (digest.toStdString() + "-" + safeName(name));
}

fs::path photoCopyFolder(std::uint64_t deviceSerial) {
    return scratchFolder("Photos/" + std::to_string(deviceSerial));
}

PhotoLoader::PhotoLoader(amd::DeviceTarget target, fs::path copies, StopCheck stop)
    : target_(target), copies_(std::move(copies)), stop_(std::move(stop)) {}

bool PhotoLoader::interrupted(PhotoLoadResult& result) {
    if (stop_ && stop_()) {
        result.status = PhotoLoadStatus::Stopped;
        return true;
    }
    if (!target_.stillAttached()) {
        result.status = PhotoLoadStatus::DeviceGone;
        return true;
    }
    return false;
}

PhotoLoadResult PhotoLoader::load(const PhotoLoadSink& sink) {
    PhotoLoadResult result;
    if (copies_.empty()) {
        result.status = PhotoLoadStatus::NoScratch;
        return result;
    }
    amd::AfcService afc;
    const int code = afc.Init(target_.deviceIndex);
    if (interrupted(result)) {
        return result;
    }
    if (code != 0) {
        result.status = PhotoLoadStatus::ServiceRefused;
        return result;
    }
    const auto list = [&afc](const std::string& folder) {
        auto names = afc.ReadDirectory(folder);
        return names ? std::move(*names) : std::vector<std::string>{};
    };
    std::vector<std::string> folders;
    for (const std::string& name : list(kPhotoCameraRoot)) {
        if (QString::fromStdString(name).contains(QLatin1String("APPLE"), Qt::CaseInsensitive)) {
            folders.push_back(std::string(kPhotoCameraRoot) + "/" + name);
        }
    }
    folders.push_back(kPhotoExtraFolder);

    for (const std::string& folder : folders) {
        for (const std::string& name : list(folder)) {
            if (interrupted(result)) {
                return result;
            }
            const std::string devicePath = folder + "/" + name;
            const auto info = afc.GetFileKindAndSize(devicePath);
            if (!info || info->kind != "S_IFREG") {
                continue;  // a sub-folder or an entry gone meanwhile
            }
            const fs::path local = photoCopyPath(copies_, devicePath);
            // A whole copy of an earlier load is kept; anything else is fetched (again).
            const bool copied = isRegularFile(local, info->size) ||
                                afc.CopyFileToLocal(devicePath, local.string()) == 0;
            if (!copied) {
                if (interrupted(result)) {
                    return result;
                }
                ++result.failedCopies;
                qCWarning(lcTransfer).noquote()
                    << "Photos:" << QString::fromStdString(devicePath) << "could not be copied";
            }
            auto item = std::make_shared<IKImageItem>();
            item->setFilePath(QString::fromStdString(devicePath));
            item->setFileType(photoFileType(QString::fromStdString(name)));
            item->setBhasCopy(copied);
            item->setHasCopy(copied ? QString::fromStdString(local.string()) : QString());
            ++result.items;
            if (sink.itemAdded) {
                sink.itemAdded(std::move(item));
            }
        }
    }
    return result;
}

}  // namespace nimbara::transfer
