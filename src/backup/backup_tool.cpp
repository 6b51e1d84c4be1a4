#include "backup/backup_tool.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <QFile>
#include <QString>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "backup/backup_folder.h"
#include "backup/backup_list.h"
#include "backup/backup_manifest.h"
#include "backup/backup_root.h"
#include "backup/backup_root_tidy.h"
#include "backup/real_device_backup.h"
#include "backup/tool_line.h"
#include "platform/folder_exchange.h"
#include "platform/mobiledevice/sim/sim_backup_target.h"
#include "platform/mobiledevice/sim/sim_backup_writer.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "platform/unique_folder.h"

namespace nimbara::backup {

namespace {

namespace fs = std::filesystem;
using md::sim::BackupTarget;
using Run = BackupTarget::Run;

constexpr const char* kRestorePrefix = ".backup-source.restore";
constexpr std::uint64_t kMaxDescriptionBytes = 4 * 1024 * 1024;

ToolAnswer failed(std::string text) {
    return {kToolFailed, std::move(text)};
}

std::string usageText() {
    return "Usage: nimbara-backup --backup --target UDID\n"
           "       nimbara-backup --restore --target UDID --source FOLDER";
}

// The answer for a wait that did not end with the file there.
std::string waitText(BackupTarget::WaitEnd end, Run run) {
    switch (end) {
        case BackupTarget::WaitEnd::Gone:
            return md::sim::deviceGoneText(run);
        case BackupTarget::WaitEnd::Stopped:
            return md::sim::runStoppedText(run);
        default:
            return "The device did not answer in time.";
    }
}

// The answer the device's injected faults give a run before it writes anything (after a wait
// they may ask for); nullopt when the run goes on.
std::optional<ToolAnswer> faultAnswer(const BackupTarget& target, Run run,
                                      const std::function<bool()>& stop) {
    const md::sim::TransferFaults& faults = target.faults(run);
    if (faults.error) {
        return failed(*faults.error);
    }
    if (!faults.waitsFor.empty()) {
        const auto end = target.waitForFile(faults.waitsFor, stop);
        if (end != BackupTarget::WaitEnd::Ready) {
            return failed(waitText(end, run));
        }
    }
    if (faults.writesNothing) {
        return ToolAnswer{kToolSucceeded, run == Run::Backup ? "The backup has finished."
                                                             : "The restore has finished."};
    }
    return std::nullopt;
}

constexpr auto kLookInterval = std::chrono::milliseconds(20);
using LookClock = std::chrono::steady_clock;

// Why a run should end before its next file; empty when it goes on. With `lastLook` (when the
// last look along the device's path was taken) that look is spared while it is less than
// kLookInterval old; each look taken sets it.

std::string interruption(const BackupTarget& target, Run run, const std::function<bool()>& stop,
                         std::int64_t filesDone, LookClock::time_point* lastLook = nullptr) {
    if (stop && stop()) {
        return md::sim::runStoppedText(run);
    }
    const auto& goneAfter = target.faults(run).goneAfterFiles;
    if (goneAfter && filesDone >= *goneAfter) {
        return md::sim::deviceGoneText(run);
    }
    const LookClock::time_point now = lastLook ? LookClock::now() : LookClock::time_point{};
    if (!lastLook || now - *lastLook >= kLookInterval) {
        if (!target.stillThere()) {
            return md::sim::deviceGoneText(run);
        }
        if (lastLook) {
            *lastLook = now;
        }
    }
    return {};
}

// A plain name of one folder level: no separator, not empty, "." or "..", no NUL.
bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

// Where a listed entry goes below the restored folder; nullopt for a domain or path that would
// leave it (or a hidden domain, which a backup never holds).
std::optional<fs::path> restoredPath(const std::string& domain, const std::string& relativePath) {
    if (!isPlainName(domain) || domain.front() == '.') {
        return std::nullopt;
    }
    fs::path path = domain;
    if (relativePath.empty()) {
        return path;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = relativePath.find('/', start);
        const std::string_view part =
            std::string_view(relativePath)
                .substr(start, end == std::string::npos ? end : end - start);
        if (!isPlainName(part)) {
            return std::nullopt;
        }
        path /= part;
        if (end == std::string::npos) {
            return path;
        }
        start = end + 1;
    }
}

std::string entryName(const BackupEntry& e) {
    return e.domain + (e.relativePath.empty() ? "" : "/" + e.relativePath);
}

std::optional<PlistValue> readDescription(const BackupFolder& folder, const char* name) {
    auto bytes = folder.readFile(name, kMaxDescriptionBytes);
    return bytes ? PlistValue::parse(*bytes) : std::nullopt;
}

// The UniqueDeviceID the backup was made of, as its descriptions give it; empty when they don't.
std::string backupUdid(const BackupFolder& folder) {
    if (auto info = readDescription(folder, "Info.plist"); info && info->isDict()) {
        for (const char* key : {"Unique Identifier", "Target Identifier"}) {
            if ((*info)[key].isString() && !(*info)[key].toString().empty()) {
                return (*info)[key].toString();
            }
        }
    }
    if (auto manifest = readDescription(folder, "Manifest.plist"); manifest && manifest->isDict()) {
        const PlistValue& udid = (*manifest)["Lockdown"]["UniqueDeviceID"];
        if (udid.isString()) {
            return udid.toString();
        }
    }
    return {};
}

bool sameUdid(const std::string& a, const std::string& b) {
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

// Fills the restored folder from the backup's list; empty on success, else why not.
std::string fillRestoredFolder(const BackupFolder& folder, const fs::path& restored,
                               const BackupTarget& target, const std::function<bool()>& stop,
                               std::int64_t& files) {
    const ManifestKind kind = detectManifestKind(folder);
    if (kind == ManifestKind::None) {
        return "The folder holds no backup: it has no file list.";
    }
    const BackupLayout layout =
        kind == ManifestKind::Db ? BackupLayout::Sharded : BackupLayout::Flat;
    std::string problem;
    auto visitor = [&](BackupEntry&& e) {
        const auto relative = restoredPath(e.domain, e.relativePath);
        if (!relative) {
            problem = "The backup lists a file outside its domain: " + entryName(e) + ".";
            return false;
        }
        if (e.isLink) {
            return true;  // a backup's links are rows of the list, with nothing to restore
        }
        const fs::path destination = restored / *relative;
        std::error_code ec;
        if (e.isDirectory) {
            fs::create_directories(destination, ec);
            if (ec) {
                problem = "The backup lists " + entryName(e) + " both as a file and a folder.";
                return false;
            }
            return true;
        }
        if (problem = interruption(target, Run::Restore, stop, files); !problem.empty()) {
            return false;
        }
        if (!e.stored) {
            problem = "The backup lacks the stored copy of " + entryName(e) + ".";
            return false;
        }
        if (e.storedSize != e.size) {
            problem =
                "The backup's file list does not match the stored copy of " + entryName(e) + ".";
            return false;
        }
        fs::create_directories(destination.parent_path(), ec);
        if (ec || fs::exists(fs::symlink_status(destination, ec))) {
            problem = "The backup lists " + entryName(e) + " twice, or as a file and a folder.";
            return false;
        }
        std::string why;
        if (!folder.copyFile(storedFileName(e.fileKey, layout), destination.string(), &why)) {
            problem = "The stored copy of " + entryName(e) + " cannot be read: " + why;
            return false;
        }
        ++files;
        return true;
    };
    const ManifestVisitResult read = BackupManifest::visit(folder, visitor);
    if (!problem.empty()) {
        return problem;
    }
    if (!read.error.empty()) {
        return "The backup's file list cannot be read: " + read.error;
    }
    if (read.refusedPaths > 0) {
        return "The backup's file list is damaged: " + refusedPathsText(read.refusedPaths);
    }
    return {};
}

// Puts the folder `restoredName` in place of the device's backup-source/ (folder_exchange.h); the
// old contents end up under `restoredName`.
std::string swapIntoPlace(const BackupTarget& target, const std::string& restoredName) {
    const int fd = target.folderFd();
    std::string error;
    if (!exchangeFolders(fd, restoredName, fd, md::sim::kBackupSourceDir, error)) {
        return "The device's contents cannot be replaced: " + error + ".";
    }
    return {};
}

}  // namespace

std::string leftOutText(const std::vector<std::string>& leftOut) {
    if (leftOut.empty()) {
        return {};
    }
    constexpr std::size_t kNamed = 3;
    const bool one = leftOut.size() == 1;
    std::string text = "; " + std::to_string(leftOut.size()) + (one ? " file" : " files") +
                       " nested too deep " + (one ? "was" : "were") + " left out: ";
    for (std::size_t i = 0; i < leftOut.size() && i < kNamed; ++i) {
        text += (i == 0 ? "" : ", ") + leftOut[i];
    }
    if (leftOut.size() > kNamed) {
        text += " and " + std::to_string(leftOut.size() - kNamed) + " more";
    }
    return text;
}

void removeAbandonedPartials(const fs::path& backupRoot, const std::string& udid) {
    tidyBackupRoot(backupRoot, udid);
    removeAbandonedFolders(backupRoot, md::sim::partialBackupPrefix(udid));
}

std::string backupOwnerProblem(const BackupFolder& folder, const std::string& udid) {
    const std::string owner = backupUdid(folder);
    if (owner.empty()) {
        return "The backup does not say which device it was made of.";
    }
    if (!sameUdid(owner, udid)) {
        return "The backup was made of another device (" + owner + ").";
    }
    return {};
}

std::string restoreSourceProblem(const BackupFolder& folder, const std::string& udid) {
    if (std::string problem = backupOwnerProblem(folder, udid); !problem.empty()) {
        return problem;
    }
    if (isEncryptedBackup(QFile::decodeName(QByteArray::fromStdString(folder.path())))) {
        return "The backup is encrypted and cannot be restored.";
    }
    return {};
}

ToolAnswer backupDevice(const fs::path& devicesRoot, const std::string& udid,
                        const fs::path& backupRoot, const std::function<bool()>& stop,
                        const ToolOutput& output) {
    std::string error;
    const auto target = BackupTarget::open(devicesRoot, udid, &error);
    if (!target) {
        return failed(error);
    }
    if (auto early = faultAnswer(*target, Run::Backup, stop)) {
        return *early;
    }
    std::error_code ec;
    fs::create_directories(backupRoot, ec);
    removeAbandonedPartials(backupRoot, udid);
    recoverParkedFolders(target->anchor());  // contents a killed restore had moved aside

    md::sim::BackupOptions options;
    options.encrypted = target->encryptsBackups();
    options.expectedUdid = udid;
    const std::int64_t total = output ? md::sim::sourceFileCount(target->folderFd()) : 0;
    double shown = -1;
    // The look along the device's path costs more than a small file's copy: between files it is
    // taken every kLookInterval, and always before the backup is put in place.
    LookClock::time_point lastLook{};
    options.interruption = [&](int stored, bool complete) {
        // A line for every tenth of a percent at most.
        const double percent =
            total > 0
                ? std::round(1000.0 * static_cast<double>(stored) / static_cast<double>(total)) / 10
                : -1;
        if (percent >= 0 && percent != shown) {
            shown = percent;
            output(progressLine(percent));
        }
        return interruption(*target, Run::Backup, stop, stored, complete ? nullptr : &lastLook);
    };
    const md::sim::BackupResult written =
        md::sim::writeDeviceBackup(target->anchor(), backupRoot, options);
    if (!written.ok) {
        if (!target->stillThere()) {
            return failed(md::sim::deviceGoneText(Run::Backup));
        }
        if (written.error == md::sim::deviceGoneText(Run::Backup) ||
            written.error == md::sim::runStoppedText(Run::Backup)) {
            return failed(written.error);
        }
        return failed("The backup could not be written: " + written.error);
    }
    return {kToolSucceeded, "Backed up " + std::to_string(written.files) + " files to " +
                                written.folder.string() + leftOutText(written.leftOut) + "."};
}

ToolAnswer restoreDevice(const fs::path& devicesRoot, const std::string& udid,
                         const fs::path& sourceFolder, const std::function<bool()>& stop) {
    std::string why;
    BackupFolder folder = BackupFolder::open(sourceFolder.string(), &why);
    if (!folder.isOpen()) {
        return failed("The backup " + sourceFolder.string() + " cannot be opened: " + why);
    }
    std::string error;
    const auto target = BackupTarget::open(devicesRoot, udid, &error);
    if (!target) {
        return failed(error);
    }
    return restoreToTarget(*target, folder, stop);
}

ToolAnswer restoreToTarget(const BackupTarget& target, const BackupFolder& folder,
                           const std::function<bool()>& stop) {
    // Contents a killed restore was building, or had moved aside; the lock keeps any other
    // restore of it away.
    recoverParkedFolders(target.anchor());
    removeAbandonedFolders(target.anchor(), kRestorePrefix);
    if (std::string problem = restoreSourceProblem(folder, target.udid()); !problem.empty()) {
        return failed(problem);
    }
    if (auto early = faultAnswer(target, Run::Restore, stop)) {
        return *early;
    }

    UniqueFolder restored(target.anchor(), kRestorePrefix);
    if (!restored.valid()) {
        return failed("The device has no room for the restored contents.");
    }
    std::int64_t files = 0;
    if (std::string problem = fillRestoredFolder(folder, restored.path(), target, stop, files);
        !problem.empty()) {
        return failed(problem);
    }
    if (std::string last = interruption(target, Run::Restore, stop, files); !last.empty()) {
        return failed(last);
    }
    std::error_code ec;
    fs::permissions(restored.path(), fs::perms(0755), ec);
    if (std::string problem = swapIntoPlace(target, restored.path().filename().string());
        !problem.empty()) {
        return failed(problem);
    }
    // The old contents now lie where the restored ones were built and go with that folder.
    return {kToolSucceeded, "Restored " + std::to_string(files) + " files to the device."};
}

ToolAnswer runBackupTool(const std::vector<std::string>& arguments,
                         const std::function<bool()>& stop, const ToolOutput& output) {
    std::optional<Run> run;
    std::optional<std::string> udid;
    std::optional<std::string> source;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (arg == "--backup" || arg == "--restore") {
            if (run) {
                return {kToolUsage, usageText()};
            }
            run = arg == "--backup" ? Run::Backup : Run::Restore;
        } else if ((arg == "--target" || arg == "--source") && i + 1 < arguments.size()) {
            std::optional<std::string>& value = arg == "--target" ? udid : source;
            if (value) {
                return {kToolUsage, usageText()};
            }
            value = arguments[++i];
        } else {
            return {kToolUsage, usageText()};
        }
    }
    if (!run || !udid || (*run == Run::Restore) != source.has_value()) {
        return {kToolUsage, usageText()};
    }
    if (!md::sim::isPlainUdid(*udid)) {
        return failed("\"" + *udid + "\" is not a device identifier.");
    }
    if (source && source->empty()) {
        return {kToolUsage, usageText()};
    }
    const fs::path backupRoot = QFile::encodeName(localBackupRoot()).toStdString();
    const char* devices = std::getenv("NIMBARA_SIMULATED_DEVICES");
    if (devices == nullptr || *devices == '\0') {
        return *run == Run::Backup ? backupRealDevice(*udid, backupRoot, stop, output)
                                   : restoreRealDevice(*udid, *source, backupRoot, stop, output);
    }
    if (*run == Run::Backup) {
        return backupDevice(devices, *udid, backupRoot, stop, output);
    }
    return restoreDevice(devices, *udid, *source, stop);
}

}  // namespace nimbara::backup
