#include "filemanager/book_scan.h"

#include <QString>

#include <optional>
#include <string>

#include "cleanup/device_walk.h"
#include "device/afc_service.h"
#include "platform/plist_value.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::filemanager {

namespace {

using nimbara::cleanup::isPlainEntryName;

// A "Path" made only of plain names joined by "/".
bool isPlainRelativePath(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = path.find('/', start);
        const std::string part =
            path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!isPlainEntryName(part)) {
            return false;
        }
        if (end == std::string::npos) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// A whole small device file; nothing when it is missing, no regular file or above `limit`.
std::optional<std::vector<std::uint8_t>> readSmallFile(amd::AfcService& afc,
                                                       const std::string& path,
                                                       std::uint64_t limit) {
    const auto info = afc.GetFileKindAndSize(path);
    if (!info || info->kind != "S_IFREG" || info->size > limit) {
        return std::nullopt;
    }
    if (info->size == 0) {
        return std::vector<std::uint8_t>{};
    }
    std::vector<std::uint8_t> bytes = afc.ReadFile(path);
    if (bytes.empty()) {
        return std::nullopt;
    }
    return bytes;
}

// The extension of the last part of a path ("" when it has none).
QString extensionOf(const std::string& path) {
    const std::string name = nimbara::cleanup::lastPathComponent(path);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? QString()
                                                : QString::fromStdString(name.substr(dot + 1));
}

}  // namespace

BookScanResult scanDeviceBooks(StorageDeviceTarget target, const StorageStopCheck& stop,
                               const StorageProgress& progress) {
    StorageScanJob job(target, stop, progress);
    BookScanResult result;
    result.device = job.target();
    amd::AfcService afc;
    if (const int rc = job.device().bind(afc); rc != 0) {
        result.status = job.bindFailure(rc);
        return result;
    }
    const auto stopped = [&] {
        BookScanResult none;
        none.device = result.device;
        none.status = job.stopStatus();
        return none;
    };

    const auto listBytes = readSmallFile(afc, kBookListPath, kMaxBookListBytes);
    if (job.shouldStop()) {
        return stopped();
    }
    std::optional<nimbara::PlistValue> list;
    if (listBytes && !listBytes->empty()) {
        list = nimbara::PlistValue::parse(listBytes->data(), listBytes->size());
    }
    const nimbara::PlistValue* books = list && list->isDict() ? list->find("Books") : nullptr;
    if (books == nullptr || !books->isArray()) {
        result.listMissing = true;
        job.progress(1.0);
        return result;
    }

    const auto& entries = books->toArray();
    const std::size_t count = entries.size();
    for (std::size_t i = 0; i < count; ++i) {
        const nimbara::PlistValue& entry = entries[i];
        const nimbara::PlistValue* pathValue = entry.isDict() ? entry.find("Path") : nullptr;
        const std::string relative =
            pathValue != nullptr && pathValue->isString() ? pathValue->toString() : std::string();
        if (!isPlainRelativePath(relative)) {
            ++result.leftOut;
        } else {
            const std::string path = std::string(kBooksFolder) + "/" + relative;
            auto book = std::make_shared<PRBookNode>();
            book->setDevicePath(path);
            const QString extension = extensionOf(path);
            book->setFileType(extension);
            const nimbara::PlistValue* nameValue = entry.find("Name");
            QString name = nameValue != nullptr && nameValue->isString()
                               ? QString::fromStdString(nameValue->toString())
                               : QString();
            if (name.isEmpty()) {
                name = QString::fromStdString(nimbara::cleanup::lastPathComponent(path));
                const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
                if (dot > 0) {
                    name.truncate(dot);
                }
            }
            book->setBookName(extension.isEmpty() ? name : name + QLatin1Char('.') + extension);

            std::uint64_t bytes = 0;
            const auto info = afc.GetFileKindAndSize(path);
            if (!info) {
                book->setIsMissing(true);
            } else if (info->kind == "S_IFDIR") {
                book->setIsFolder(true);
                nimbara::cleanup::DeviceWalk walk = nimbara::cleanup::DeviceWalk::over(afc);
                const bool walked = walk.walk(
                    path, 1,
                    [&bytes](const std::string&, std::uint64_t size, int) {
                        bytes = nimbara::ui::addSaturating(bytes, size);
                    },
                    [&job] { return job.shouldStop(); });
                if (!walked) {
                    return stopped();
                }
                if (const auto art =
                        readSmallFile(afc, path + "/iTunesArtwork", kMaxArtworkBytes)) {
                    book->setImageIcon(QByteArray(reinterpret_cast<const char*>(art->data()),
                                                  static_cast<qsizetype>(art->size())));
                }
            } else {
                bytes = info->size;
            }
            book->setFileSizeNumber(bytes);
            book->setFileSize(nimbara::shell::size_to_unit(bytes));
            result.totalBytes = nimbara::ui::addSaturating(result.totalBytes, bytes);
            result.books.push_back(std::move(book));
        }
        if (job.shouldStop()) {
            return stopped();
        }
        job.progress(static_cast<double>(i + 1) / static_cast<double>(count));
    }
    job.progress(1.0);
    return result;
}

}  // namespace nimbara::filemanager
