#include "transfer/media_preview_copy.h"

#include <QCryptographicHash>

#include <system_error>

#include "cleanup/clean_export.h"
#include "device/afc_service.h"
#include "platform/scratch_dir.h"

namespace nimbara::transfer {

namespace fs = std::filesystem;

QString previewCopyStatusText(PreviewCopyStatus status) {
    switch (status) {
        case PreviewCopyStatus::Copied:
        case PreviewCopyStatus::AlreadyCopied:
            return {};
        case PreviewCopyStatus::NoFile:
            return QStringLiteral("This item has no file on the device to play.");
        case PreviewCopyStatus::DeviceGone:
            return QStringLiteral("The device went away before the item could be copied to play.");
        case PreviewCopyStatus::Failed:
            return QStringLiteral(
                "The item could not be copied from the device to play. Choose "
                "it again to try again.");
        case PreviewCopyStatus::Stopped:
            return QStringLiteral("Copying the item to play was stopped.");
    }
    return {};
}

fs::path previewCopyFolder(std::uint64_t serial, const std::string& devicePath) {
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(devicePath), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    return scratchFolder("Music/" + std::to_string(serial) + "/" + digest.toStdString());
}

bool hasUsableCopy(const PRTranMusicNode& track) {
    if (!track.bhasCopy()) {
        return false;
    }
    std::error_code ec;
    return fs::is_regular_file(fs::path(track.bCopyLocationPath().toStdString()), ec);
}

PreviewCopyResult copyTrackForPreview(const MediaDeviceTarget& device, PRTranMusicNode& track,
                                      const std::function<bool()>& stop) {
    PreviewCopyResult result;
    const auto stopped = [&stop] { return stop && stop(); };
    if (hasUsableCopy(track)) {
        result.status = PreviewCopyStatus::AlreadyCopied;
        result.path = track.bCopyLocationPath().toStdString();
        return result;
    }
    const std::string devicePath = track.musicLoctionpath().toStdString();
    if (devicePath.empty()) {
        result.status = PreviewCopyStatus::NoFile;
        return result;
    }
    amd::AfcService afc;
    const int code = afc.Init(device.deviceIndex);
    // The serial is checked after binding: a device that took the index meanwhile is never used.
    if (!device.stillAttached()) {
        result.status = PreviewCopyStatus::DeviceGone;
        return result;
    }
    if (code != 0) {
        result.error = "the device's file service was refused";
        return result;
    }
    const fs::path folder = previewCopyFolder(device.deviceSerial, devicePath);
    if (folder.empty()) {
        result.error = "the scratch folder for the copy could not be made";
        return result;
    }
    std::uint64_t copied = 0;
    const backup::ExportWriteResult written = cleanup::exportDeviceFileNamed(
        afc, devicePath, folder, QString::fromStdString(track.localFileName()), stopped, &copied);
    if (!written) {
        result.status = stopped()                 ? PreviewCopyStatus::Stopped
                        : !device.stillAttached() ? PreviewCopyStatus::DeviceGone
                                                  : PreviewCopyStatus::Failed;
        result.error = written.error;
        return result;
    }
    track.setBCopyLocationPath(QString::fromStdString(written.path.string()));
    track.setBhasCopy(true);
    result.status = PreviewCopyStatus::Copied;
    result.path = written.path;
    return result;
}

}  // namespace nimbara::transfer
