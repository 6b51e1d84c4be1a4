#include "cleanup/system_boost.h"

#include <QDebug>
#include <QFile>

#include <algorithm>
#include <system_error>
#include <utility>

#include "cleanup/clean_export.h"
#include "cleanup/clean_removal_paths.h"
#include "cleanup/protected_files.h"
#include "cleanup/removal_texts.h"
#include "device/afc_service.h"
#include "device/crash_report_service.h"
#include "device/device_manager.h"
#include "platform/log_categories.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::cleanup {

namespace fs = std::filesystem;

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

bool settles(CleanItemOutcome outcome) {
    return outcome == CleanItemOutcome::Removed || outcome == CleanItemOutcome::Gone;
}

// Binds `service` to the job's device. False when the job stopped or its device went away;
// otherwise `code` is the bind's result (0: bound to the job's device).
template <class Service>
bool bindService(Service& service, CleanRunGuard& guard, int* code) {
    if (guard.stopRequested()) {
        return false;
    }
    *code = service.Init(guard.target().deviceIndex);
    // Bound or not, a device that took the index meanwhile has another serial.
    guard.checkGone();
    return !guard.deviceGone();
}

QString unreachableText(BoostKind kind) {
    return kind == BoostKind::SystemLog
               ? QStringLiteral("The crash logs could not be reached.")
               : QStringLiteral("The device's files could not be reached.");
}

}  // namespace

std::string boostKindRoot(BoostKind kind) {
    switch (kind) {
        case BoostKind::SystemLog:
            return {};
        case BoostKind::DownloadTemp:
            return "/Downloads";
        case BoostKind::UserStorage:
            return "/general_storage";
        case BoostKind::SyncFailed:
            return "/iTunes_Control/Sync/Media";
        case BoostKind::SyncCache:
            break;
    }
    return "/PhotoData/Mutations/DCIM";
}

float boostKindProgress(BoostKind kind) {
    static constexpr std::array<float, kJunkKindCount> kProgress = {0.1f, 0.4f, 0.6f, 0.7f, 0.8f};
    return kProgress[boostSlot(kind)];
}

// ------------------------------------------------------------------------------ result

std::uint64_t SystemBoostScanResult::totalFileNumber() const {
    std::uint64_t count = 0;
    for (const BoostKindList& list : kinds) {
        count += list.files.size();
    }
    return count;
}

std::uint64_t SystemBoostScanResult::totalBytes() const {
    std::uint64_t bytes = 0;
    for (const BoostKindList& list : kinds) {
        bytes = ui::addSaturating(bytes, list.bytes);
    }
    return bytes;
}

bool SystemBoostScanResult::drop(BoostKind k, const PRPhoneSystemFileNode* record) {
    BoostKindList& list = kind(k);
    const auto it = std::find_if(list.files.begin(), list.files.end(),
                                 [record](const auto& node) { return node.get() == record; });
    if (it == list.files.end()) {
        return false;
    }
    const std::uint64_t size = (*it)->fileSizeNumber();
    list.bytes = list.bytes >= size ? list.bytes - size : 0;
    list.files.erase(it);
    return true;
}

// ------------------------------------------------------------------------------ scan

SystemBoostScanEngine::SystemBoostScanEngine(CleanDeviceTarget target, StopCheck stop)
    : target_(target), stop_(std::move(stop)) {
    if (target_.deviceSerial == 0) {
        target_.deviceSerial = amd::DeviceManager::GetInstance().DeviceSerial(target_.deviceIndex);
    }
}

SystemBoostScanResult SystemBoostScanEngine::run() {
    QuickScanOptions options;
    options.deviceIndex = target_.deviceIndex;
    options.deviceSerial = target_.deviceSerial;
    options.keepJunkReads = false;
    SystemBoostScanResult result;
    result.target = target_;
    if (target_.deviceSerial == 0) {
        result.stopped = true;  // no device at that index
        return result;
    }
    QuickScanEngine engine(options, stop_);
    engine.onJunkKindStart = [this](JunkKind kind) {
        if (onProgress) {
            onProgress(boostKindProgress(kind));
        }
    };
    engine.onJunkFound = [this](JunkKind kind, const std::string& path) {
        if (onPathSeen) {
            onPathSeen(kind, qs(path));
        }
    };
    engine.QuickScanJunkFileFromDevie();
    QuickScanResult found = engine.takeResult();
    result.stopped = found.stopped;
    result.crashLogsRefused = found.crashLogsRefused;
    result.filesRefused = found.filesRefused;
    result.kind(BoostKind::SystemLog).files = std::move(found.systemLogArray);
    result.kind(BoostKind::DownloadTemp).files = std::move(found.downloadTempArray);
    result.kind(BoostKind::UserStorage).files = std::move(found.userStorageArray);
    result.kind(BoostKind::SyncFailed).files = std::move(found.iTunesSyncFailedArray);
    result.kind(BoostKind::SyncCache).files = std::move(found.iTunesSyncCacheArray);
    for (BoostKindList& list : result.kinds) {
        for (const auto& node : list.files) {
            list.bytes = ui::addSaturating(list.bytes, node->fileSizeNumber());
        }
    }
    if (onProgress) {
        onProgress(1.0f);
    }
    return result;
}

// ------------------------------------------------------------------------------ plans

BoostItem boostItemOf(BoostKind kind, const PRPhoneSystemFileNode& record) {
    return {kind, record.devicePath(), record.fileSizeNumber()};
}

namespace {

// A file remove all leaves alone: one the device itself needs (crash logs are never such).
bool keptByRemoveAll(BoostKind kind, const PRPhoneSystemFileNode& record) {
    return kind != BoostKind::SystemLog && isProtectedDeviceFile(record.devicePath());
}

}  // namespace

std::vector<BoostChosenFile> boostEveryFile(const SystemBoostScanResult& result) {
    std::vector<BoostChosenFile> every;
    for (const BoostKind kind : kBoostRemovalOrder) {
        for (const auto& record : result.kind(kind).files) {
            if (record) {
                every.push_back({kind, record});
            }
        }
    }
    return every;
}

BoostRemovalPrompt boostRemovalPrompt(const std::vector<BoostChosenFile>& chosen) {
    BoostRemovalPrompt prompt;
    std::vector<QString> kept;
    for (const BoostChosenFile& file : chosen) {
        if (!file.record) {
            continue;
        }
        if (keptByRemoveAll(file.kind, *file.record)) {
            kept.push_back(file.record->fileName());
        } else {
            prompt.plan.push_back(boostItemOf(file.kind, *file.record));
        }
    }
    const QString keptText = keptFilesText(kept);
    if (prompt.plan.empty()) {
        prompt.details = keptText.isEmpty()
                             ? QStringLiteral("Nothing was found to remove.")
                             : QStringLiteral("Nothing is removed. %1").arg(keptText);
        return prompt;
    }
    prompt.details = prompt.plan.size() == 1
                         ? QStringLiteral("The file is removed from the device for good.")
                         : QStringLiteral("The files are removed from the device for good.");
    if (!keptText.isEmpty()) {
        prompt.details += QLatin1Char(' ') + keptText;
    }
    return prompt;
}

std::vector<BoostItem> boostRemoveAllPlan(const SystemBoostScanResult& result) {
    return boostRemovalPrompt(boostEveryFile(result)).plan;
}

std::vector<QString> boostKeptNames(const SystemBoostScanResult& result) {
    std::vector<QString> names;
    for (const BoostChosenFile& file : boostEveryFile(result)) {
        if (keptByRemoveAll(file.kind, *file.record)) {
            names.push_back(file.record->fileName());
        }
    }
    return names;
}

bool isBoostActionable(const BoostItem& item, QString* why) {
    const auto parts = plainComponents(item.devicePath);
    if (!parts) {
        *why = QStringLiteral("Refused: not a plain device path.");
        return false;
    }
    if (item.kind == BoostKind::SystemLog) {
        return true;
    }
    const auto root = plainComponents(boostKindRoot(item.kind));
    if (!root || parts->size() <= root->size() || !startsWith(*parts, *root)) {
        *why = QStringLiteral("Refused: the file lies outside its folder.");
        return false;
    }
    return true;
}

// ------------------------------------------------------------------------------ removal

SystemBoostRemovalEngine::SystemBoostRemovalEngine(CleanDeviceTarget target,
                                                   std::vector<BoostItem> plan,
                                                   ProgressSink progress, StopCheck stop)
    : guard_(target, std::move(stop)), plan_(std::move(plan)), progress_(std::move(progress)) {
    report_.outcomes.assign(plan_.size(), CleanItemOutcome::NotTried);
}

void SystemBoostRemovalEngine::itemDone() {
    ++handled_;
    if (progress_) {
        progress_(
            {handled_, plan_.size(), report_.removedFiles, cleanPercent(handled_, plan_.size())});
    }
}

template <class Service>
void SystemBoostRemovalEngine::removeWith(Service& service, BoostKind kind,
                                          const std::vector<std::size_t>& indexes) {
    const bool mediaRoot = kind != BoostKind::SystemLog;
    for (const std::size_t index : indexes) {
        if (guard_.stopRequested()) {
            return;
        }
        const BoostItem& item = plan_[index];
        QString why;
        if (!isBoostActionable(item, &why)) {
            report_.outcomes[index] = CleanItemOutcome::Kept;
            report_.failures.push_back({index, item.devicePath, -1, why});
            itemDone();
            continue;
        }
        const DeviceFileRemoval removal = removeDeviceFile(service, item.devicePath, mediaRoot);
        if (removal.outcome != CleanItemOutcome::Removed && guard_.stopRequested()) {
            return;  // the device went away under this file: it was not really tried
        }
        report_.outcomes[index] = removal.outcome;
        if (removal.outcome == CleanItemOutcome::Removed) {
            ++report_.removedFiles;
            report_.freedBytes = ui::addSaturating(report_.freedBytes, removal.bytes);
        } else if (removal.outcome != CleanItemOutcome::Gone) {
            report_.failures.push_back({index, item.devicePath, removal.code, removal.reason});
            qCWarning(lcCleanup).noquote() << "System boost removal:" << qs(item.devicePath) << "("
                                           << removal.code << "):" << removal.reason;
        }
        itemDone();
    }
}

void SystemBoostRemovalEngine::runKind(BoostKind kind, const std::vector<std::size_t>& indexes) {
    const auto refuseAll = [&](int code) {
        for (const std::size_t index : indexes) {
            report_.outcomes[index] = CleanItemOutcome::Failed;
            report_.failures.push_back(
                {index, plan_[index].devicePath, code, unreachableText(kind)});
            itemDone();
        }
    };
    int code = 0;
    if (kind == BoostKind::SystemLog) {
        amd::CrashReportService crashes;
        if (bindService(crashes, guard_, &code)) {
            code == 0 ? removeWith(crashes, kind, indexes) : refuseAll(code);
        }
        return;
    }
    amd::AfcService afc;
    if (bindService(afc, guard_, &code)) {
        code == 0 ? removeWith(afc, kind, indexes) : refuseAll(code);
    }
}

SystemBoostRemovalReport SystemBoostRemovalEngine::run() {
    if (ran_) {
        return report_;
    }
    ran_ = true;
    // One connection per kind, the kinds in the order the plan first names them.
    std::vector<std::pair<BoostKind, std::vector<std::size_t>>> groups;
    for (std::size_t i = 0; i < plan_.size(); ++i) {
        const auto it = std::find_if(groups.begin(), groups.end(),
                                     [&](const auto& g) { return g.first == plan_[i].kind; });
        if (it == groups.end()) {
            groups.push_back({plan_[i].kind, {i}});
        } else {
            it->second.push_back(i);
        }
    }
    for (const auto& [kind, indexes] : groups) {
        if (guard_.stopRequested()) {
            break;
        }
        runKind(kind, indexes);
    }
    report_.status = guard_.finalStatus(plan_.empty(), !report_.failures.empty());
    const std::uint64_t total = plan_.size();
    // What the device removed, and the space that freed.
    const QString removed = QStringLiteral("%1 removed, %2 freed")
                                .arg(countText(report_.removedFiles, "file", "files"),
                                     shell::size_to_unit(report_.freedBytes));
    switch (report_.status) {
        case CleanRunStatus::Done:
            report_.message = removed + QLatin1Char('.');
            break;
        case CleanRunStatus::NothingToDo:
            break;
        case CleanRunStatus::DoneWithFailures:
            report_.message =
                QStringLiteral("%1; %2 of %3 files could not be removed: %4")
                    .arg(removed,
                         QString::number(total - report_.removedFiles -
                                         static_cast<std::uint64_t>(std::count(
                                             report_.outcomes.begin(), report_.outcomes.end(),
                                             CleanItemOutcome::Gone))),
                         QString::number(total), report_.failures.front().reason);
            break;
        case CleanRunStatus::DeviceGone:
            report_.message =
                QStringLiteral("The device was disconnected; %1 of %2 files were removed.")
                    .arg(report_.removedFiles)
                    .arg(total);
            break;
        case CleanRunStatus::Cancelled:
            report_.message =
                QStringLiteral("The removal was stopped; %1 of %2 files were removed.")
                    .arg(report_.removedFiles)
                    .arg(total);
            break;
    }
    return report_;
}

void settleBoostResult(SystemBoostScanResult& result, const std::vector<BoostItem>& plan,
                       const SystemBoostRemovalReport& report) {
    for (std::size_t i = 0; i < plan.size() && i < report.outcomes.size(); ++i) {
        if (!settles(report.outcomes[i])) {
            continue;
        }
        const BoostFileList& files = result.kind(plan[i].kind).files;
        const auto it = std::find_if(files.begin(), files.end(), [&](const auto& node) {
            return node && node->devicePath() == plan[i].devicePath;
        });
        if (it != files.end()) {
            result.drop(plan[i].kind, it->get());
        }
    }
}

// ------------------------------------------------------------------------------ export

namespace {

template <class Service>
BoostExportReport exportOver(Service& service, CleanRunGuard& guard, const BoostItem& item,
                             const fs::path& into) {
    BoostExportReport report;
    int code = 0;
    if (!bindService(service, guard, &code) || code != 0) {
        report.message = guard.deviceGone() ? QStringLiteral("The device was disconnected.")
                                            : unreachableText(item.kind);
        return report;
    }
    std::uint64_t copied = 0;
    const backup::ExportWriteResult written = exportDeviceFile(
        service, item.devicePath, into, [&guard] { return guard.stopRequested(); }, &copied);
    if (!written) {
        report.message =
            guard.deviceGone()
                ? QStringLiteral("The device was disconnected; nothing was exported.")
                : QStringLiteral("The file could not be exported: %1").arg(qs(written.error));
        return report;
    }
    report.exported = true;
    report.written = written.path;
    report.message =
        exportOutcomeText(CleanRunStatus::Done, 1, copied, QFile::decodeName(into.c_str()));
    return report;
}

}  // namespace

BoostExportReport exportBoostFile(CleanDeviceTarget target, const BoostItem& item,
                                  const fs::path& folder, const std::function<bool()>& stop) {
    BoostExportReport report;
    if (!isBoostActionable(item, &report.message)) {
        return report;
    }
    std::error_code ec;
    const std::optional<fs::path> root = prepareExportFolder(folder, ec);
    if (!root) {
        report.message =
            QStringLiteral("The export folder can't be used: %1").arg(qs(ec.message()));
        return report;
    }
    CleanRunGuard guard(target, stop);
    if (item.kind == BoostKind::SystemLog) {
        amd::CrashReportService crashes;
        return exportOver(crashes, guard, item, *root);
    }
    amd::AfcService afc;
    return exportOver(afc, guard, item, *root);
}

QString boostRemoveAllText(std::uint64_t files, std::uint64_t bytes) {
    return QStringLiteral(
               "%1 files will be cleaned up and %2 of file system space will be freed up on your "
               "iDevice.")
        .arg(files)
        .arg(shell::size_to_unit(bytes));
}

}  // namespace nimbara::cleanup
