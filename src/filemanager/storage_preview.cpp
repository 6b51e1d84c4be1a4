#include "filemanager/storage_preview.h"

#include <QCryptographicHash>

#include <memory>
#include <system_error>
#include <vector>

#include "cleanup/clean_export.h"
#include "cleanup/clean_removal.h"
#include "cleanup/device_walk.h"
#include "device/afc_service.h"
#include "device/device_status.h"
#include "platform/device_path.h"
#include "platform/partial_file.h"
#include "platform/scratch_dir.h"

namespace nimbara::filemanager {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kChunk = 1 << 20;

PreviewCopy refused(PreviewCopyResult result, const QString& reason, std::uint64_t size = 0) {
    PreviewCopy copy;
    copy.result = result;
    copy.size = size;
    copy.reason = reason;
    return copy;
}

// Copies the open device file into `target` (replacing a stale copy) through a temporary file;
// more than `limit` bytes, a read or write error or a stop leave nothing.
PreviewCopy copyInto(amd::AfcService& afc, const std::string& devicePath, const fs::path& target,
                     std::uint64_t size, std::uint64_t limit, cleanup::CleanRunGuard& guard) {
    std::unique_ptr<md::AfcFile> source = afc.OpenFile(devicePath, md::AfcMode::Read);
    if (!source) {
        return refused(PreviewCopyResult::Failed,
                       QStringLiteral("The file could not be opened on the device."), size);
    }
    PartialFile file(target, 0600);
    if (!file.valid()) {
        afc.CloseFile(source);
        return refused(PreviewCopyResult::Failed,
                       QStringLiteral("The preview copy could not be written."), size);
    }
    std::vector<std::uint8_t> buffer(kChunk);
    std::uint64_t copied = 0;
    for (;;) {
        if (guard.stopRequested()) {
            afc.CloseFile(source);
            return refused(
                guard.deviceGone() ? PreviewCopyResult::DeviceGone : PreviewCopyResult::Stopped,
                guard.deviceGone() ? QStringLiteral("The device was disconnected.")
                                   : QStringLiteral("The preview was stopped."),
                size);
        }
        std::size_t length = buffer.size();
        if (source->read(buffer.data(), length) != 0) {
            afc.CloseFile(source);
            guard.checkGone();
            return refused(
                guard.deviceGone() ? PreviewCopyResult::DeviceGone : PreviewCopyResult::Failed,
                QStringLiteral("The file could not be read from the device."), size);
        }
        if (length == 0) {
            break;
        }
        copied += length;
        if (copied > limit) {  // grew since it was looked at
            afc.CloseFile(source);
            return refused(PreviewCopyResult::TooLarge,
                           QStringLiteral("The file is too large to preview."), copied);
        }
        if (!file.write(buffer.data(), length)) {
            afc.CloseFile(source);
            return refused(PreviewCopyResult::Failed,
                           QStringLiteral("The preview copy could not be written."), size);
        }
    }
    afc.CloseFile(source);
    if (!file.commit()) {
        return refused(PreviewCopyResult::Failed,
                       QStringLiteral("The preview copy could not be written."), size);
    }
    PreviewCopy copy;
    copy.result = PreviewCopyResult::Copied;
    copy.path = target;
    copy.size = copied;
    return copy;
}

}  // namespace

fs::path previewCopyPath(const StorageTarget& target, const std::string& devicePath,
                         const std::string& bundleId) {
    const std::string name = cleanup::lastPathComponent(devicePath);
    if (!isValidFileName(name) || devicePath.empty() || devicePath.front() != '/') {
        return {};
    }
    // One folder per device path: the same name in two folders gets two copies.
    // A container's paths are told apart from the media root's by the app's identifier (which
    // holds no "/").
    const std::string key = bundleId.empty() ? devicePath : bundleId + ":" + devicePath;
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(key), QCryptographicHash::Sha1)
            .toHex()
            .left(20);
    const fs::path folder = scratchFolder("Previews/" + std::to_string(target.deviceSerial) + "/" +
                                          digest.toStdString());
    if (folder.empty()) {
        return {};
    }
    return folder / cleanup::CleanExportEngine::safeComponent(name);
}

PreviewCopy copyForPreview(const StorageTarget& target, const std::string& devicePath,
                           std::uint64_t sizeLimit, const std::function<bool()>& stop,
                           const std::string& bundleId) {
    const fs::path local = previewCopyPath(target, devicePath, bundleId);
    if (local.empty()) {
        return refused(PreviewCopyResult::Failed,
                       QStringLiteral("The file can't be previewed: its name or the scratch "
                                      "folder can't be used."));
    }
    cleanup::CleanRunGuard guard(target, stop);
    if (guard.stopRequested()) {
        return refused(
            guard.deviceGone() ? PreviewCopyResult::DeviceGone : PreviewCopyResult::Stopped,
            QStringLiteral("The preview was stopped."));
    }
    int code = 0;
    const std::unique_ptr<amd::AfcService> afc = cleanup::openGroupService(guard, bundleId, &code);
    if (guard.deviceGone()) {
        return refused(PreviewCopyResult::DeviceGone,
                       QStringLiteral("The device was disconnected."));
    }
    if (code != 0 || !afc) {
        return refused(PreviewCopyResult::Failed,
                       bundleId.empty() ? QStringLiteral("The device's files could not be reached.")
                                        : QString::fromStdString(amd::ContainerRefusalText(code)));
    }
    const auto info = afc->GetFileKindAndSize(devicePath);
    if (!info) {
        guard.checkGone();
        return guard.deviceGone() ? refused(PreviewCopyResult::DeviceGone,
                                            QStringLiteral("The device was disconnected."))
                                  : refused(PreviewCopyResult::Gone,
                                            QStringLiteral("The file is no longer on the device."));
    }
    if (info->kind != "S_IFREG") {
        return refused(PreviewCopyResult::NotAFile, QStringLiteral("Only files can be previewed."));
    }
    if (info->size > sizeLimit) {
        return refused(PreviewCopyResult::TooLarge,
                       QStringLiteral("The file is too large to preview."), info->size);
    }
    std::error_code ec;
    if (fs::is_regular_file(fs::symlink_status(local, ec)) &&
        fs::file_size(local, ec) == info->size && !ec) {
        PreviewCopy copy;
        copy.result = PreviewCopyResult::Copied;
        copy.path = local;
        copy.size = info->size;
        return copy;
    }
    return copyInto(*afc, devicePath, local, info->size, sizeLimit, guard);
}

}  // namespace nimbara::filemanager
