#include "backup/real_device_backup.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>

#include "backup/backup_folder.h"
#include "backup/backup_info_plist.h"
#include "backup/backup_list.h"
#include "backup/backup_service.h"
#include "backup/backup_tool.h"
#include "backup/device_link.h"
#include "backup/tool_line.h"
#include "backup/unreadable_entries.h"
#include "platform/failure_reason.h"
#include "platform/log_categories.h"
#include "platform/mobiledevice/sim/sim_backup_target.h"
#include "platform/mobiledevice/sim/sim_backup_writer.h"
#include "platform/plist_value.h"
#include "platform/unique_folder.h"

namespace nimbara::backup {

namespace {

namespace fs = std::filesystem;
using Run = md::sim::BackupTarget::Run;

constexpr std::uint64_t kMaxStatusBytes = 1024 * 1024;
// How much of the device's error text a message quotes.
constexpr std::size_t kLongestQuote = 300;
constexpr double kPlistEpoch = 978307200.0;

ToolAnswer failed(std::string text) {
    return {kToolFailed, std::move(text)};
}

// The device's words, made fit to quote: one line, printable, not too long.
std::string quotable(std::string_view text) {
    std::string out;
    for (const char c : text) {
        out.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c);
    }
    const std::size_t first = out.find_first_not_of(' ');
    const std::size_t last = out.find_last_not_of(' ');
    out = first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
    if (out.size() > kLongestQuote) {
        std::size_t cut = kLongestQuote;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) {
            --cut;  // not inside a UTF-8 sequence
        }
        out = out.substr(0, cut) + "...";
    }
    return out;
}

}  // namespace

DeviceRunLock::DeviceRunLock(const fs::path& root, const std::string& udid,
                             const std::function<void()>& opened)
    : file_(root / ("." + udid + ".lock")) {
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        fd_ = ::open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) {
            error_ = "The backup folder " + root.string() + " cannot be written to.";
            return;
        }
        if (opened) {
            opened();
        }
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            break;
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(fd_, &held) == 0 && ::lstat(file_.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            return;
        }
        ::close(fd_);  // removed by the run that held it: the lock is on the name's file
        fd_ = -1;
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    error_ = "Another backup or restore of this device is running.";
}

DeviceRunLock::~DeviceRunLock() {
    if (fd_ >= 0) {
        ::unlink(file_.c_str());  // still held: no other run holds the file of this name
        ::close(fd_);
    }
}

namespace {

// Status.plist says the backup finished.
bool saysFinished(const BackupFolder& folder) {
    const auto bytes = folder.readFile("Status.plist", kMaxStatusBytes);
    const auto status = bytes ? PlistValue::parse(*bytes) : std::nullopt;
    return status && status->isDict() && (*status)["SnapshotState"].isString() &&
           (*status)["SnapshotState"].toString() == "finished";
}

// Why the backup the device left in `built` is not a complete backup of `udid`; empty when it is.
std::string incompleteBackup(const fs::path& built, const std::string& udid) {
    std::string why;
    const BackupFolder folder = BackupFolder::open(built.string(), &why);
    if (!folder.isOpen()) {
        return "The new backup cannot be read: " + why;
    }
    if (!saysFinished(folder)) {
        return "The backup did not finish.";
    }
    if (const auto read =
            readBackupFolder(QFile::decodeName(QByteArray::fromStdString(built.string())));
        !read) {
        return failureText("The new backup is not complete", read.sentence().toStdString(),
                           "reading the new backup");
    }
    if (std::string problem = backupOwnerProblem(folder, udid); !problem.empty()) {
        return "The new backup cannot be kept. " + problem;
    }
    return {};
}

// The backup root made and the device's lock taken; otherwise the answer says why not.
std::optional<ToolAnswer> holdDevice(const fs::path& backupRoot, const std::string& udid,
                                     fs::path& root, std::optional<DeviceRunLock>& lock) {
    std::error_code ec;
    fs::create_directories(backupRoot, ec);
    root = fs::canonical(backupRoot, ec);
    if (ec) {
        return failed("The backup folder " + backupRoot.string() +
                      " cannot be made: " + ec.message());
    }
    lock.emplace(root, udid);
    if (!lock->error().empty()) {
        std::string why = lock->error();
        lock.reset();
        return failed(why);
    }
    return std::nullopt;
}

// Writes tool lines from the run's thread and the notification proxy's alike.
class Reporter {
  public:
    explicit Reporter(const ToolOutput& output) : output_(output) {}
    void status(const std::string& text) { write(statusLine(text)); }
    void progress(double percent) {
        // A line for every tenth of a percent at most.
        const double rounded = std::round(percent * 10) / 10;
        std::lock_guard<std::mutex> lock(mutex_);
        if (output_ && rounded != lastProgress_) {
            lastProgress_ = rounded;
            output_(progressLine(rounded));
        }
    }
    void write(const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (output_) {
            output_(line);
        }
    }

  private:
    const ToolOutput& output_;
    std::mutex mutex_;
    double lastProgress_ = -1;
};

// One run on the device: connected, watching its notices, the exchange after a request.
struct DeviceRun {
    DeviceRun(const std::string& udid, const ToolOutput& output, const std::function<bool()>& stop)
        : udid(udid), reporter(output), stop(stop) {}

    // Connects; the answer when it could not.
    std::optional<ToolAnswer> connect(bool backup) {
        std::string error;
        service = BackupService::connect(
            udid,
            [this, backup](DeviceNotice notice) {
                switch (notice) {
                    case DeviceNotice::CancelledOnDevice:
                        cancelled.store(true);
                        break;
                    case DeviceNotice::PasscodeAsked:
                        if (backup) {
                            sayPasscodeWait();
                        }
                        break;
                    case DeviceNotice::PasscodeDismissed:
                        passcodeDone();
                        break;
                    case DeviceNotice::SyncLockBusy:
                        reporter.status(syncLockWaitText());
                        break;
                    case DeviceNotice::UnlockAsked:
                        reporter.status(firstUnlockWaitText());
                        break;
                    case DeviceNotice::SyncLockTaken:
                    case DeviceNotice::Unlocked:
                        reporter.status({});  // the wait is over
                        break;
                }
            },
            stop, &error);
        if (!service) {
            return failed(stop && stop()
                              ? md::sim::runStoppedText(backup ? Run::Backup : Run::Restore)
                              : error);
        }
        return std::nullopt;
    }

    DeviceLinkEnd exchange(const fs::path& folder, const fs::path& spaceOf, bool readOnly) {
        DeviceLinkOptions options;
        options.top = udid;
        options.folder = folder;
        options.spaceOf = spaceOf;
        options.readOnly = readOnly;
        options.stop = stop;
        options.progress = [this](double percent) { reporter.progress(percent); };
        options.firstMessage = [this] { passcodeDone(); };
        return runDeviceLink(service->link(), options);
    }

    void sayPasscodeWait() {
        if (!passcodeSaid.exchange(true)) {
            reporter.status(passcodeWaitText());
        }
    }
    // The passcode was entered (or the device goes on without it): the waiting is no more said.
    void passcodeDone() {
        if (passcodeSaid.load() && !passcodeCleared.exchange(true)) {
            reporter.status({});
        }
    }

    std::string udid;
    Reporter reporter;
    const std::function<bool()>& stop;
    std::unique_ptr<BackupService> service;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> passcodeSaid{false};
    std::atomic<bool> passcodeCleared{false};
};

// The backup's "Applications" from its Info.plist.
struct BackupApps {
    std::optional<PlistValue> applications;  // none: the backup lists no apps, or unreadable
    bool unreadable = false;  // Info.plist is there, but its list of apps cannot be read
};

BackupApps applicationsOf(const BackupFolder& folder) {
    BackupApps apps;
    std::error_code ec;
    if (fs::symlink_status(fs::path(folder.path()) / "Info.plist", ec).type() ==
        fs::file_type::not_found) {
        return apps;  // anything else at its name (a link, a folder) is an unreadable one
    }
    const auto bytes = folder.readFile("Info.plist", kMaxInfoPlistBytes);
    const auto info = bytes ? PlistValue::parse(*bytes) : std::nullopt;
    if (!info || !info->isDict()) {
        apps.unreadable = true;
    } else if (const PlistValue* list = info->find("Applications")) {
        apps.unreadable = !list->isDict();
        if (list->isDict()) {
            apps.applications = *list;
        }
    }
    return apps;
}

double nowSince2001() {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count() - kPlistEpoch;
}

}  // namespace

std::string unreadableAppsText() {
    return "The backup's list of apps (its Info.plist) cannot be read, so a restore would put no "
           "apps back on the device. Nothing was restored.";
}

std::string passcodeWaitText() {
    return "Enter the passcode on the device to start the backup";
}

std::string syncLockWaitText() {
    return "Another program is syncing with the device: waiting until it has finished";
}

std::string firstUnlockWaitText() {
    return "Unlock the device with its passcode: it was not unlocked since it restarted";
}

std::string encryptedDeviceText() {
    return "The device's backups are protected by a password: this backup is encrypted, and its "
           "records cannot be read.";
}

ToolAnswer unfinishedRunAnswer(const DeviceLinkEnd& end, bool backup, bool cancelledOnDevice) {
    const Run kind = backup ? Run::Backup : Run::Restore;
    const std::string what = backup ? "backup" : "restore";
    if (end.kind == DeviceLinkEnd::Kind::Stopped) {
        return failed(md::sim::runStoppedText(kind));
    }
    if (cancelledOnDevice) {
        return failed("The " + what + " was cancelled on the device.");
    }
    if (end.kind == DeviceLinkEnd::Kind::Gone) {
        return failed(md::sim::deviceGoneText(kind));
    }
    const std::string said = quotable(end.text);
    if (said.empty() && end.code == -1 && end.hostError.empty()) {
        return failed("The device ended the " + what + " before it was finished.");
    }
    std::string text = "The device ended the " + what + " with an error";
    if (!said.empty()) {
        text += ": " + said;
    } else if (end.code != -1) {
        text += " (" + std::to_string(end.code) + ")";
    }
    text += end.hostError.empty() ? "." : ". " + end.hostError + ".";
    return failed(text);
}

ToolAnswer backupRealDevice(const std::string& udid, const fs::path& backupRoot,
                            const std::function<bool()>& stop, const ToolOutput& output) {
    fs::path root;
    std::optional<DeviceRunLock> lock;
    if (auto refusal = holdDevice(backupRoot, udid, root, lock)) {
        return *refusal;
    }
    removeAbandonedPartials(root, udid);
    const UniqueFolder partial(root, md::sim::partialBackupPrefix(udid));
    const fs::path built = partial.path() / udid;
    std::error_code ec;
    if (!partial.valid() || !fs::create_directory(built, ec)) {
        return failed("The backup folder " + root.string() + " cannot be written to.");
    }

    DeviceRun run(udid, output, stop);
    if (auto refusal = run.connect(true)) {
        return *refusal;
    }
    const BackupService::Facts& facts = run.service->facts();
    if (facts.willEncrypt) {
        run.reporter.status(encryptedDeviceText());
    }
    BackupInfoExtras extras = run.service->readInfoExtras();
    extras.guid = newBackupGuid();
    if (!backupInfoPlist(facts.lockdown, extras, udid, nowSince2001())
             .writeFile((built / "Info.plist").string())) {
        return failed("The backup folder " + root.string() + " cannot be written to.");
    }
    PlistValue options = PlistValue::dict();
    options.set("ForceFullBackup", true);
    if (!run.service->request("Backup", udid, options)) {
        return failed("The device refused to start the backup. Unlock it and try again.");
    }
    if (facts.passcodeSet && waitsForPasscode(facts.lockdown["ProductVersion"].toString())) {
        run.sayPasscodeWait();
    }
    const DeviceLinkEnd end = run.exchange(built, root, false);
    if (end.kind != DeviceLinkEnd::Kind::Finished) {
        return unfinishedRunAnswer(end, true, run.cancelled.load());
    }
    run.service.reset();  // the device is let go before the backup is checked
    const UnreadableEntries leftOut = leaveOutUnreadableEntries(built);
    if (!leftOut.ok()) {
        return failed("The new backup cannot be kept: " + leftOut.error + ".");
    }
    if (std::string why = incompleteBackup(built, udid); !why.empty()) {
        return failed(why);
    }
    if (stop && stop()) {
        return failed(md::sim::runStoppedText(Run::Backup));
    }
    const fs::path target = root / udid;
    try {
        md::sim::putBackupInPlace(built, target);
    } catch (const std::exception& e) {
        return failed(std::string("The backup could not be put in place: ") + e.what());
    }
    run.reporter.progress(100);
    // The earlier backup, if any, now lies in the hidden folder and goes with it.
    return {kToolSucceeded, "Backed up to " + target.string() + leftOutText(leftOut.files) + "."};
}

ToolAnswer restoreRealDevice(const std::string& udid, const fs::path& sourceFolder,
                             const fs::path& backupRoot, const std::function<bool()>& stop,
                             const ToolOutput& output) {
    std::string why;
    const BackupFolder folder = BackupFolder::open(sourceFolder.string(), &why);
    if (!folder.isOpen()) {
        return failed("The backup " + sourceFolder.string() + " cannot be opened: " + why);
    }
    if (std::string problem = restoreSourceProblem(folder, udid); !problem.empty()) {
        return failed(problem);
    }
    if (!saysFinished(folder)) {
        return failed("The backup did not finish, so it cannot be restored.");
    }
    const BackupApps apps = applicationsOf(folder);
    if (apps.unreadable) {
        return failed(unreadableAppsText());
    }
    fs::path root;
    std::optional<DeviceRunLock> lock;
    if (auto refusal = holdDevice(backupRoot, udid, root, lock)) {
        return *refusal;
    }
    std::error_code ec;
    const fs::path source = fs::absolute(sourceFolder, ec);
    if (ec) {
        return failed("The backup " + sourceFolder.string() + " cannot be opened: " + ec.message());
    }

    DeviceRun run(udid, output, stop);
    if (auto refusal = run.connect(false)) {
        return *refusal;
    }
    // The device reinstalls the backup's apps once it restarted; a backup that lists none
    // (made by a host that kept no list) restores without them.
    if (apps.applications) {
        if (std::string why = run.service->leaveAppsToReinstall(*apps.applications); !why.empty()) {
            return failed("The device cannot be told which apps to reinstall: " + why + ".");
        }
    } else {
        qCInfo(lcBackup) << "the backup lists no apps: none are reinstalled";
    }
    PlistValue options = PlistValue::dict();
    options.set("RestoreShouldReboot", true);
    options.set("RestoreDontCopyBackup", true);
    options.set("RestorePreserveSettings", false);
    options.set("RestoreSystemFiles", true);
    options.set("RemoveItemsNotRestored", false);
    if (!run.service->request("Restore", udid, options)) {
        return failed("The device refused to start the restore. Unlock it and try again.");
    }
    const DeviceLinkEnd end = run.exchange(source, root, true);
    if (end.kind != DeviceLinkEnd::Kind::Finished) {
        return unfinishedRunAnswer(end, false, run.cancelled.load());
    }
    run.reporter.progress(100);
    // Asked for above ("RestoreShouldReboot"): whoever reads the device back waits for it.
    run.reporter.write(restartingLine());
    return {kToolSucceeded, "Restored the backup to the device; it restarts now."};
}

}  // namespace nimbara::backup
