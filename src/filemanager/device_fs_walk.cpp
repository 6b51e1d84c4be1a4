#include "filemanager/device_fs_walk.h"

#include "cleanup/device_walk.h"
#include "device/afc_service.h"
#include "device/device_status.h"
#include "ui/core/byte_arithmetic.h"

namespace nimbara::filemanager {

DeviceFsWalk::DeviceFsWalk(CleanDeviceTarget target, Batch onBatch, StopCheck stop,
                           std::size_t batchSize)
    : guard_(target, std::move(stop)),
      onBatch_(std::move(onBatch)),
      batchSize_(batchSize == 0 ? 1 : batchSize) {}

void DeviceFsWalk::add(FsEntryRecord record) {
    if (record.isFile) {
        ++result_.files;
        result_.bytes = ui::addSaturating(result_.bytes, record.size);
    } else {
        ++result_.folders;
    }
    pending_.push_back(std::move(record));
    if (pending_.size() >= batchSize_) {
        flush();
    }
}

void DeviceFsWalk::flush() {
    if (pending_.empty()) {
        return;
    }
    std::vector<FsEntryRecord> batch;
    batch.swap(pending_);
    if (onBatch_) {
        onBatch_(std::move(batch));
    }
}

FsWalkResult DeviceFsWalk::run() {
    if (guard_.stopRequested()) {
        settle();
        return result_;
    }
    int code = 0;
    const std::unique_ptr<amd::AfcService> afc = cleanup::openGroupService(guard_, {}, &code);
    if (guard_.deviceGone()) {
        result_.status = FsWalkStatus::DeviceGone;
        result_.message = QStringLiteral("The device went away before its files could be read.");
        return result_;
    }
    if (code != 0) {
        result_.status = FsWalkStatus::BindFailed;
        result_.code = code;
        result_.message = QStringLiteral("The device's files could not be reached: %1")
                              .arg(QString::fromStdString(amd::DeviceCodeText(code)));
        return result_;
    }
    bool rootUnreadable = false;
    cleanup::DeviceWalk walk = cleanup::DeviceWalk::over(*afc);
    walk.readFolder = [&afc, &rootUnreadable](const std::string& folder) {
        auto names = afc->ReadDirectory(folder);
        rootUnreadable = rootUnreadable || (!names && folder == "/");
        return names;
    };
    walk.maxDepth = kMaxDepth;
    walk.afterFolder = [this](const std::string& path, int) { add({path, false, 0}); };
    if (topLevelDone_) {
        walk.afterTopEntry = [this](std::size_t done, std::size_t total) {
            flush();
            topLevelDone_(done, total);
        };
    }
    walk.walk(
        "/", 0,
        [this](const std::string& path, std::uint64_t size, int) {
            add({path, true, size});
        },
        [this] { return guard_.stopRequested(); });
    flush();
    settle();
    if (result_.status == FsWalkStatus::Done && afc->TimedOut()) {
        // What was read before it stopped answering is not the device's whole tree.
        result_.status = FsWalkStatus::NoAnswer;
        result_.message = QString::fromStdString(amd::DeviceCodeText(amd::DeviceCode::NoAnswer));
    } else if (result_.status == FsWalkStatus::Done && rootUnreadable) {
        result_.status = FsWalkStatus::Unreadable;
        result_.message = QStringLiteral("The device would not list its files.");
    }
    return result_;
}

void DeviceFsWalk::settle() {
    // A departure that only made the last folders unreadable still counts as one.
    guard_.checkGone();
    if (guard_.deviceGone()) {
        result_.status = FsWalkStatus::DeviceGone;
        result_.message = QStringLiteral(
            "The device went away while its files were read; connect it again and "
            "choose Device Files to read them afresh.");
    } else if (guard_.cancelled()) {
        result_.status = FsWalkStatus::Cancelled;
        result_.message = QStringLiteral("Reading the device's files was stopped.");
    }
}

}  // namespace nimbara::filemanager
