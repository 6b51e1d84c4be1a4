#include "cleanup/clean_removal.h"

#include <QDebug>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "cleanup/camera_roll.h"
#include "cleanup/clean_removal_paths.h"
#include "cleanup/protected_files.h"
#include "device/afc_service.h"
#include "device/app_dir_service.h"
#include "device/crash_report_service.h"
#include "platform/device_path.h"
#include "platform/log_categories.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"

namespace nimbara::cleanup {

namespace {

using ui::addSaturating;

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// The file entries below `top` (depth first), each once.
std::vector<std::shared_ptr<PRCleanFileNode>> entriesBelow(
    const std::vector<std::shared_ptr<PRCleanDirNode>>& top) {
    std::vector<std::shared_ptr<PRCleanFileNode>> out;
    std::set<const PRCleanDirNode*> seen;
    std::vector<std::shared_ptr<PRCleanDirNode>> pending(top.rbegin(), top.rend());
    while (!pending.empty()) {
        std::shared_ptr<PRCleanDirNode> folder = std::move(pending.back());
        pending.pop_back();
        if (!folder || !seen.insert(folder.get()).second) {
            continue;
        }
        for (const auto& entry : folder->fileChildren()) {
            if (entry) {
                out.push_back(entry);
            }
        }
        const auto children = folder->children();
        pending.insert(pending.end(), children.rbegin(), children.rend());
    }
    return out;
}

}  // namespace

// ------------------------------------------------------------------------------ plans

std::vector<CleanItem> itemsOfRecords(CleanCategory category,
                                      const std::vector<std::shared_ptr<PRCleanDirNode>>& records) {
    std::vector<CleanItem> items;
    items.reserve(records.size());
    for (const auto& record : records) {
        if (!record) {
            continue;
        }
        CleanItem item;
        item.kind =
            isMediaRootCategory(category) ? CleanItem::Kind::MediaFile : CleanItem::Kind::File;
        item.category = category;
        item.bundleId = record->appBundleName().toStdString();
        item.devicePath = record->devicePath();
        item.size = record->fileSizeNumber();
        items.push_back(std::move(item));
    }
    return items;
}

CleanItem itemOfEntry(CleanCategory category, const PRCleanFileNode& entry) {
    CleanItem item;
    item.category = category;
    item.devicePath = entry.devicePath();
    item.size = entry.fileSizeNumber();
    if (isMediaRootCategory(category)) {
        item.kind = CleanItem::Kind::MediaFile;
    } else {
        item.kind = CleanItem::Kind::File;
        item.bundleId = entry.appBundleName().toStdString();
    }
    if (entry.btransfer()) {
        item.localCopy = entry.transferPath().toStdString();
    }
    return item;
}

std::vector<CleanItem> itemsOfTreeFolder(CleanCategory category,
                                         const std::shared_ptr<PRCleanDirNode>& folder) {
    std::vector<CleanItem> items;
    if (!folder || isMediaRootCategory(category)) {
        return items;
    }
    // The row's depth below its app's folder: the app's folder stands for the container root,
    // and each level below it for one component of the entries' paths.
    std::size_t depth = 0;
    for (auto up = folder->parent(); up; up = up->parent()) {
        ++depth;
    }
    const std::vector<std::string> root = *plainComponents(categoryFolder(category));
    std::set<std::pair<std::string, std::string>> taken;
    for (const auto& entry : entriesBelow({folder})) {
        const auto parts = plainComponents(entry->devicePath());
        if (!parts || parts->size() <= depth) {
            continue;
        }
        const std::vector<std::string> prefix(parts->begin(),
                                              parts->begin() + static_cast<long>(depth));
        CleanItem item;
        item.category = category;
        item.bundleId = entry->appBundleName().toStdString();
        if (startsWith(prefix, root) && prefix.size() > root.size()) {
            item.kind = CleanItem::Kind::Folder;
            item.devicePath = joinComponents(prefix);
        } else if (startsWith(root, prefix)) {
            item.kind = CleanItem::Kind::CategoryContents;
            item.devicePath = categoryFolder(category);
        } else {
            continue;  // not in the category's folder at all: nothing of ours
        }
        if (taken.emplace(item.bundleId, item.devicePath).second) {
            items.push_back(std::move(item));
        }
    }
    return items;
}

std::vector<CleanItem> itemsOfTree(CleanCategory category,
                                   const std::vector<std::shared_ptr<PRCleanDirNode>>& topLevel) {
    std::vector<CleanItem> items;
    std::set<std::pair<std::string, std::string>> taken;
    for (const auto& entry : entriesBelow(topLevel)) {
        CleanItem item = itemOfEntry(category, *entry);
        if (taken.emplace(item.bundleId, item.devicePath).second) {
            items.push_back(std::move(item));
        }
    }
    return items;
}

CleanItem adCacheItem(const std::string& bundleId, const std::string& devicePath) {
    CleanItem item;
    item.kind = CleanItem::Kind::AdCacheFolder;
    item.category = CleanCategory::AdCache;
    item.bundleId = bundleId;
    item.devicePath = devicePath;
    return item;
}

bool isActionableItem(const CleanItem& item, QString* why) {
    const auto say = [why](const QString& text) {
        if (why != nullptr) {
            *why = text;
        }
        return false;
    };
    const bool media = item.kind == CleanItem::Kind::MediaFile;
    if (media != isMediaRootCategory(item.category)) {
        return say(QStringLiteral("This kind of item is not handled here."));
    }
    if (!media && !isValidBundleId(item.bundleId)) {
        return say(QStringLiteral("The item names no app."));
    }
    const auto parts = plainComponents(item.devicePath);
    if (!parts) {
        return say(QStringLiteral("The path is not a plain device path."));
    }
    const std::vector<std::string> root = item.category == CleanCategory::UserFile
                                              ? std::vector<std::string>()
                                              : *plainComponents(categoryFolder(item.category));
    const bool inside = startsWith(*parts, root) && parts->size() > root.size();
    switch (item.kind) {
        case CleanItem::Kind::File:
            // A category folder that is itself a file is listed (and removed) as one entry.
            if (!inside && *parts != root) {
                return say(QStringLiteral("The file lies outside its category's folder."));
            }
            return true;
        case CleanItem::Kind::MediaFile:
        case CleanItem::Kind::Folder:
            if (!inside) {
                return say(QStringLiteral("The item lies outside its category's folder."));
            }
            return true;
        case CleanItem::Kind::AdCacheFolder:
            if (!inside || parts->size() != root.size() + 1) {
                return say(QStringLiteral("An advertisement cache stands directly in %1.")
                               .arg(QLatin1String(categoryFolder(item.category))));
            }
            return true;
        case CleanItem::Kind::CategoryContents:
            if (*parts != root) {
                return say(QStringLiteral("The folder is not the category's folder."));
            }
            return true;
    }
    return say(QStringLiteral("Unknown kind of item."));
}

// ------------------------------------------------------------------------------ report

std::vector<std::size_t> CleanRemovalReport::settledItems() const {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        if (outcomes[i] == CleanItemOutcome::Removed || outcomes[i] == CleanItemOutcome::Gone) {
            out.push_back(i);
        }
    }
    return out;
}

std::size_t CleanRemovalReport::failedItems() const {
    std::size_t count = 0;
    for (const CleanItemOutcome outcome : outcomes) {
        if (outcome == CleanItemOutcome::Failed || outcome == CleanItemOutcome::Kept) {
            ++count;
        }
    }
    return count;
}

int cleanPercent(std::uint64_t handled, std::uint64_t total) {
    if (total == 0 || handled >= total) {
        return 100;
    }
    // handled < total, so the truncated percent is below 100; the product is taken in 128 bits.
    const auto percent =
        static_cast<std::uint64_t>(static_cast<unsigned __int128>(handled) * 100 / total);
    return static_cast<int>(std::min<std::uint64_t>(percent, 100));
}

// ------------------------------------------------------------------------------ engine

bool CleanRunGuard::deviceAttached() const {
    return target_.stillAttached();
}

bool CleanRunGuard::stopRequested() {
    if (deviceGone_ || cancelled_) {
        return true;
    }
    if (stop_ && stop_()) {
        cancelled_ = true;
        return true;
    }
    checkGone();
    return deviceGone_;
}

CleanRunStatus CleanRunGuard::finalStatus(bool emptyPlan, bool anyFailure) {
    if (emptyPlan) {
        return CleanRunStatus::NothingToDo;
    }
    checkGone();
    if (deviceGone_) {
        return CleanRunStatus::DeviceGone;
    }
    if (cancelled_) {
        return CleanRunStatus::Cancelled;
    }
    return anyFailure ? CleanRunStatus::DoneWithFailures : CleanRunStatus::Done;
}

void CleanRunGuard::checkGone() {
    if (!deviceGone_ && !deviceAttached()) {
        deviceGone_ = true;
    }
}

std::vector<CleanItemGroup> groupByConnection(const std::vector<CleanItem>& plan) {
    std::vector<CleanItemGroup> groups;
    std::map<std::string, std::size_t> at;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const std::string key =
            plan[i].kind == CleanItem::Kind::MediaFile ? std::string() : plan[i].bundleId;
        const auto [it, added] = at.emplace(key, groups.size());
        if (added) {
            groups.push_back({key, {}});
        }
        groups[it->second].items.push_back(i);
    }
    return groups;
}

std::unique_ptr<amd::AfcService> openGroupService(CleanRunGuard& guard, const std::string& bundleId,
                                                  int* code) {
    std::unique_ptr<amd::AfcService> afc;
    if (bundleId.empty()) {
        afc = std::make_unique<amd::AfcService>();
        *code = afc->Init(guard.target().deviceIndex);
    } else {
        auto container = std::make_unique<amd::AppDirService>();
        *code = container->Init(guard.target().deviceIndex, bundleId);
        afc = std::move(container);
    }
    guard.checkGone();
    return afc;
}

CleanRemovalEngine::CleanRemovalEngine(CleanDeviceTarget target, std::vector<CleanItem> plan,
                                       ProgressSink progress, StopCheck stop)
    : guard_(target, std::move(stop)), plan_(std::move(plan)), progress_(std::move(progress)) {
    report_.outcomes.assign(plan_.size(), CleanItemOutcome::NotTried);
}

CleanRemovalEngine::~CleanRemovalEngine() = default;

void CleanRemovalEngine::fail(std::size_t index, const std::string& path, int code,
                              const QString& reason) {
    report_.failures.push_back({index, path, code, reason});
    qCWarning(lcCleanup).noquote()
        << "Clean-up removal:" << qs(path) << "(" << code << "):" << reason;
}

void CleanRemovalEngine::counted(std::size_t index, const std::string& path, std::uint64_t bytes) {
    ++report_.removedFiles;
    report_.removedPaths.emplace_back(index, path);
    report_.freedBytes = addSaturating(report_.freedBytes, bytes);
    auto& category = report_.freedByCategory[static_cast<std::size_t>(plan_[index].category)];
    category = addSaturating(category, bytes);
}

void CleanRemovalEngine::itemDone(std::size_t index, CleanItemOutcome outcome) {
    report_.outcomes[index] = outcome;
    ++handled_;
    if (progress_) {
        progress_(
            {handled_, plan_.size(), cleanPercent(handled_, plan_.size()), report_.freedBytes});
    }
}

bool CleanRemovalEngine::removeTree(amd::AfcService& afc, std::size_t index,
                                    const std::string& folder, bool removeSelf, int depth) {
    const auto names = afc.ReadDirectory(folder);
    if (!names) {
        fail(index, folder, 1, QStringLiteral("The folder could not be read."));
        return false;
    }
    bool complete = true;  // everything below was removed
    for (const std::string& name : *names) {
        if (stopRequested()) {
            return false;
        }
        const std::string path = folder + "/" + name;
        const auto info = afc.GetFileKindAndSize(path);
        if (!info) {
            continue;  // gone meanwhile
        }
        if (info->kind == "S_IFDIR") {
            if (depth >= kMaxDepth) {
                complete = false;
                fail(index, path, -1, QStringLiteral("The folder is nested too deeply."));
            } else if (!removeTree(afc, index, path, true, depth + 1)) {
                complete = false;
            }
            continue;
        }
        if (isProtectedDeviceFile(path)) {
            complete = false;
            report_.protectedKept.push_back(path);
            continue;
        }
        const int code = afc.RemovePath(path);
        if (code == 0) {
            counted(index, path, info->kind == "S_IFREG" ? info->size : 0);
        } else {
            complete = false;
            fail(index, path, code, QStringLiteral("The file could not be removed."));
        }
    }
    if (!complete || !removeSelf || stopRequested()) {
        return complete && !stopRequested();
    }
    const int code = afc.RemovePath(folder);
    if (code != 0) {
        fail(index, folder, code, QStringLiteral("The folder could not be removed."));
        return false;
    }
    return true;
}

template <class Service>
DeviceFileRemoval removeDeviceFile(Service& service, const std::string& devicePath,
                                   bool mediaRoot) {
    const auto info = service.GetFileInfo(devicePath);
    if (!info) {
        return {CleanItemOutcome::Gone, 0, 0, QString(), false};
    }
    const auto kind = info->find("st_ifmt");
    const auto size = info->find("st_size");
    if (kind != info->end() && kind->second == "S_IFDIR") {
        return {CleanItemOutcome::Kept, 0, -1,
                QStringLiteral("This is a folder now, not the file that was found."), false};
    }
    if (mediaRoot && isProtectedDeviceFile(devicePath)) {
        return {CleanItemOutcome::Kept, 0, -1,
                QStringLiteral("Kept: the device's own database needs it."), true};
    }
    const int code = service.RemovePath(devicePath);
    if (code != 0) {
        return {CleanItemOutcome::Failed, 0, code, QStringLiteral("The file could not be removed."),
                false};
    }
    const bool regular = kind != info->end() && kind->second == "S_IFREG";
    return {CleanItemOutcome::Removed,
            regular && size != info->end() ? amd::afc::ParseFileSize(size->second) : 0, 0,
            QString(), false};
}

template DeviceFileRemoval removeDeviceFile<amd::AfcService>(amd::AfcService&, const std::string&,
                                                             bool);
template DeviceFileRemoval removeDeviceFile<amd::CrashReportService>(amd::CrashReportService&,
                                                                     const std::string&, bool);

CleanItemOutcome CleanRemovalEngine::removeFile(amd::AfcService& afc, std::size_t index) {
    const CleanItem& item = plan_[index];
    const DeviceFileRemoval removal = removeDeviceFile(afc, item.devicePath, true);
    if (removal.isProtected) {
        report_.protectedKept.push_back(item.devicePath);
        ++report_.keptForTheDevice;
    }
    if (removal.outcome == CleanItemOutcome::Removed) {
        counted(index, item.devicePath, removal.bytes);
    } else if (removal.outcome != CleanItemOutcome::Gone) {
        fail(index, item.devicePath, removal.code, removal.reason);
    }
    return removal.outcome;
}

CleanItemOutcome CleanRemovalEngine::removeFolder(amd::AfcService& afc, std::size_t index,
                                                  bool removeSelf, bool placeholder) {
    const CleanItem& item = plan_[index];
    const auto info = afc.GetFileKindAndSize(item.devicePath);
    if (!info) {
        return CleanItemOutcome::Gone;
    }
    if (info->kind != "S_IFDIR") {
        fail(index, item.devicePath, -1, QStringLiteral("This is no longer a folder."));
        return CleanItemOutcome::Kept;
    }
    const std::size_t failuresBefore = report_.failures.size();
    const std::size_t keptBefore = report_.protectedKept.size();
    if (!removeTree(afc, index, item.devicePath, removeSelf, 0)) {
        if (stopRequested() && report_.failures.size() == failuresBefore &&
            report_.protectedKept.size() == keptBefore) {
            return CleanItemOutcome::NotTried;  // stopped part-way; what went is counted
        }
        if (report_.protectedKept.size() != keptBefore) {
            report_.keptForTheDevice += report_.failures.size() == failuresBefore ? 1 : 0;
            fail(index, item.devicePath, -1,
                 QStringLiteral("Kept in part: it holds files the device itself needs."));
            return CleanItemOutcome::Kept;
        }
        return CleanItemOutcome::Failed;
    }
    if (placeholder) {
        // An empty file in the folder's place keeps the advertisement library from filling it
        // again.
        const int code = afc.WriteFile(item.devicePath, {});
        if (code != 0) {
            fail(index, item.devicePath, code,
                 QStringLiteral("The folder was removed, but its empty placeholder could not be "
                                "written."));
            return CleanItemOutcome::Failed;
        }
    }
    return CleanItemOutcome::Removed;
}

CleanItemOutcome CleanRemovalEngine::removeItem(amd::AfcService& afc, std::size_t index) {
    switch (plan_[index].kind) {
        case CleanItem::Kind::File:
        case CleanItem::Kind::MediaFile:
            return removeFile(afc, index);
        case CleanItem::Kind::Folder:
            return removeFolder(afc, index, true, false);
        case CleanItem::Kind::AdCacheFolder:
            return removeFolder(afc, index, true, true);
        case CleanItem::Kind::CategoryContents:
            return removeFolder(afc, index, false, false);
    }
    fail(index, plan_[index].devicePath, -1, QStringLiteral("Unknown kind of item."));
    return CleanItemOutcome::Kept;
}

void CleanRemovalEngine::runGroup(const std::string& bundleId,
                                  const std::vector<std::size_t>& indexes) {
    // Items the engine refuses never reach the device.
    std::vector<std::size_t> todo;
    for (const std::size_t index : indexes) {
        QString why;
        if (isActionableItem(plan_[index], &why)) {
            todo.push_back(index);
        } else {
            fail(index, plan_[index].devicePath, -1, why);
            itemDone(index, CleanItemOutcome::Kept);
        }
    }
    if (todo.empty() || stopRequested()) {
        return;
    }
    // One connection for the app's items (the media root for failed-sync media).
    int code = 0;
    const std::unique_ptr<amd::AfcService> afc = openGroupService(guard_, bundleId, &code);
    if (guard_.deviceGone()) {
        return;
    }
    if (code != 0) {
        for (const std::size_t index : todo) {
            fail(index, plan_[index].devicePath, code,
                 bundleId.empty() ? QStringLiteral("The device's files could not be reached.")
                                  : QStringLiteral("The app's files could not be reached."));
            itemDone(index, CleanItemOutcome::Failed);
        }
        return;
    }
    for (const std::size_t index : todo) {
        if (stopRequested()) {
            return;
        }
        const CleanItemOutcome outcome = removeItem(*afc, index);
        if (outcome == CleanItemOutcome::NotTried) {
            return;
        }
        itemDone(index, outcome);
    }
}

void CleanRemovalEngine::finish() {
    const std::size_t failed = report_.failedItems();
    const std::size_t unremoved = report_.unremovedItems();
    report_.status = guard_.finalStatus(plan_.empty(), failed > 0 || !report_.failures.empty());
    const QString freed = shell::size_to_unit(report_.freedBytes).trimmed();
    switch (report_.status) {
        case CleanRunStatus::Done:
            report_.message = QStringLiteral("%1 file(s) removed, %2 freed.")
                                  .arg(report_.removedFiles)
                                  .arg(freed);
            break;
        case CleanRunStatus::DoneWithFailures:
            if (unremoved == 0) {
                // Only what the device needs stayed: that is said below, not as a failure.
                report_.message = QStringLiteral("%1 file(s) removed, %2 freed.")
                                      .arg(report_.removedFiles)
                                      .arg(freed);
                break;
            }
            report_.message =
                QStringLiteral("%1 file(s) removed, %2 freed; %3 item(s) could not be removed.")
                    .arg(report_.removedFiles)
                    .arg(freed)
                    .arg(std::max<std::size_t>(unremoved, 1));
            break;
        case CleanRunStatus::NothingToDo:
            report_.message = QStringLiteral("There was nothing to remove.");
            break;
        case CleanRunStatus::DeviceGone:
            report_.message =
                QStringLiteral("The device was disconnected; the removal stopped. %1 freed.")
                    .arg(freed);
            break;
        case CleanRunStatus::Cancelled:
            report_.message = QStringLiteral("The removal was stopped. %1 freed.").arg(freed);
            break;
    }
    if (!report_.protectedKept.empty()) {
        report_.message += QStringLiteral(" %1 file(s) the device itself needs were kept.")
                               .arg(report_.protectedKept.size());
    }
}

CleanRemovalReport CleanRemovalEngine::run() {
    if (ran_) {
        return report_;
    }
    ran_ = true;
    // App by app, in the order the apps first appear; failed-sync media on the media root.
    for (const CleanItemGroup& group : groupByConnection(plan_)) {
        if (stopRequested()) {
            break;
        }
        runGroup(group.bundleId, group.items);
    }
    finish();
    return report_;
}

bool cleanItemCovers(const CleanItem& item, const std::string& bundleId, const std::string& path) {
    if (item.bundleId != bundleId) {
        return false;
    }
    switch (item.kind) {
        case CleanItem::Kind::File:
        case CleanItem::Kind::MediaFile:
            return item.devicePath == path;
        case CleanItem::Kind::Folder:
        case CleanItem::Kind::CategoryContents:
        case CleanItem::Kind::AdCacheFolder:
            return path.size() > item.devicePath.size() + 1 &&
                   path.compare(0, item.devicePath.size(), item.devicePath) == 0 &&
                   path[item.devicePath.size()] == '/';
    }
    return false;
}

CleanSettledSet::CleanSettledSet(const std::vector<CleanItem>& plan,
                                 const CleanRemovalReport& report) {
    for (const std::size_t index : report.settledItems()) {
        if (index >= plan.size()) {
            continue;
        }
        const CleanItem& item = plan[index];
        if (item.kind == CleanItem::Kind::File || item.kind == CleanItem::Kind::MediaFile) {
            files_.emplace(item.bundleId, item.devicePath);
        } else {
            folders_.push_back(&item);
        }
    }
    for (const auto& [index, path] : report.removedPaths) {
        if (index < plan.size()) {
            files_.emplace(plan[index].bundleId, path);
        }
    }
}

bool CleanSettledSet::covers(const std::string& bundleId, const std::string& path) const {
    if (files_.count({bundleId, path}) != 0) {
        return true;
    }
    return std::any_of(folders_.begin(), folders_.end(), [&](const CleanItem* item) {
        return cleanItemCovers(*item, bundleId, path);
    });
}

CleanSettled settleRecords(std::vector<std::shared_ptr<PRCleanDirNode>>& records,
                           const std::vector<CleanItem>& plan, const CleanRemovalReport& report) {
    const CleanSettledSet settled(plan, report);
    CleanSettled out;
    std::erase_if(records, [&](const std::shared_ptr<PRCleanDirNode>& record) {
        if (!record ||
            !settled.covers(record->appBundleName().toStdString(), record->devicePath())) {
            return false;
        }
        ++out.files;
        out.bytes = addSaturating(out.bytes, record->fileSizeNumber());
        return true;
    });
    return out;
}

// ------------------------------------------------------------------------------ texts

QString filesFoundText(std::uint64_t bytes, std::uint64_t files) {
    return QStringLiteral("Files Found: %1 in  %2 file(s)")
        .arg(shell::size_to_unit(bytes).trimmed())
        .arg(files);
}

QString removeProgressText(std::uint64_t handled, std::uint64_t total, std::uint64_t bytes) {
    return QStringLiteral("Has remove %1 files of %2 files, %3 ")
        .arg(handled)
        .arg(total)
        .arg(shell::size_to_unit(bytes).trimmed());
}

QString removeAllSheetText(std::uint64_t files, std::uint64_t bytes) {
    return QStringLiteral(
               "%1 files will be cleaned up and %2 of disk space will be freed up on your "
               "iDevice.")
        .arg(files)
        .arg(shell::size_to_unit(bytes).trimmed());
}

}  // namespace nimbara::cleanup
