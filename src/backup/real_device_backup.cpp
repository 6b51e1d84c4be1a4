#include "backup/real_device_backup.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <QString>

#include <cstdlib>
#include <deque>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "backup/backup_folder.h"
#include "backup/backup_list.h"
#include "platform/child_process.h"
#include "platform/mobiledevice/sim/sim_backup_target.h"
#include "platform/mobiledevice/sim/sim_backup_writer.h"
#include "platform/plist_value.h"
#include "platform/scratch_dir.h"
#include "platform/unique_folder.h"

namespace nimbara::backup {

namespace {

namespace fs = std::filesystem;
using Run = md::sim::BackupTarget::Run;

constexpr const char* kProgramName = "idevicebackup2";
// How much of the program's output is kept to explain a failure.
constexpr std::size_t kKeptLines = 200;
constexpr std::size_t kLongestKeptLine = 1000;
// How much of one line of it a message quotes.
constexpr std::size_t kLongestQuote = 300;
constexpr std::uint64_t kMaxStatusBytes = 1024 * 1024;

ToolAnswer failed(std::string text) {
    return {kToolFailed, std::move(text)};
}

std::string notInstalledText() {
    return std::string(kProgramName) +
           " cannot be found: install the package libimobiledevice-utils to back up and restore "
           "devices.";
}

// The program's words, made fit to quote: one line, printable, not too long.
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

bool contains(std::string_view line, std::string_view part) {
    return line.find(part) != std::string_view::npos;
}

bool containsNoCase(std::string_view line, std::string_view part) {
    return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()))
        .contains(QString::fromUtf8(part.data(), static_cast<qsizetype>(part.size())),
                  Qt::CaseInsensitive);
}

// One run of the program and what it said (its progress bars left out).
struct ProgramRun {
    ChildOutcome outcome;
    std::deque<std::string> lines;
};

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::function<bool()>& stop) {
    ProgramRun run;
    ChildOptions options;
    options.stop = stop;
    options.line = [&run](std::string_view line) {
        if (line.empty() || line.front() == '[') {
            return;
        }
        if (run.lines.size() == kKeptLines) {
            run.lines.pop_front();
        }
        run.lines.emplace_back(line.substr(0, kLongestKeptLine));
    };
    run.outcome = runChild(program, arguments, options);
    return run;
}

// The text for a lockdown error the program could not connect with.
std::string connectText(long code) {
    switch (code) {
        case -17:  // a passcode is set and the device is locked
            return "The device is locked. Unlock it and try again.";
        case -4:   // pairing failed
        case -18:  // the user denied pairing
        case -19:  // the trust question is still open
        case -20:  // no host identifier
        case -21:  // an invalid host identifier
        case -29:  // no pair record
        case -31:  // an invalid pair record
            return md::sim::untrustedText();
        default:
            return "The device could not be connected (error " + std::to_string(code) + ").";
    }
}

// What the program's output says went wrong, in our words; nullopt when it says nothing we know.
std::optional<std::string> explainOutput(const ProgramRun& run, Run kind, const std::string& udid) {
    const bool backup = kind == Run::Backup;
    const std::string what = backup ? "backup" : "restore";
    auto find = [&run](auto&& matches) -> const std::string* {
        for (const std::string& line : run.lines) {
            if (matches(line)) {
                return &line;
            }
        }
        return nullptr;
    };
    if (find([](const std::string& l) { return contains(l, "No device found"); })) {
        return md::sim::noDeviceText(udid);
    }
    constexpr std::string_view kLockdown = "Could not connect to lockdownd, error code ";
    if (const std::string* line =
            find([&](const std::string& l) { return contains(l, kLockdown); })) {
        const std::string code = line->substr(line->find(kLockdown) + kLockdown.size());
        char* end = nullptr;
        const long value = std::strtol(code.c_str(), &end, 10);
        return end != code.c_str() ? connectText(value) : md::sim::untrustedText();
    }
    // Not just any mention of a password: a restore always says whether it was given one.
    if (find([](const std::string& l) {
            return containsNoCase(l, "password is required") ||
                   containsNoCase(l, "get password input") ||
                   containsNoCase(l, "this is an encrypted backup");
        })) {
        return backup ? std::string(
                            "The device's backups are protected by a password, which this "
                            "program cannot give.")
                      : std::string("The backup is encrypted and cannot be restored.");
    }
    if (find([](const std::string& l) { return contains(l, "has cancelled"); })) {
        return "The " + what + " was cancelled on the device.";
    }
    if (find([](const std::string& l) {
            return contains(l, "Could not receive from mobilebackup2");
        })) {
        return md::sim::deviceGoneText(kind);
    }
    if (find([](const std::string& l) { return contains(l, "device refused to start"); })) {
        return "The device refused to start the " + what + ". Unlock it and try again.";
    }
    if (find([](const std::string& l) { return contains(l, "Cannot ensure we restore"); })) {
        return std::string("The backup did not finish, so it cannot be restored.");
    }
    constexpr std::string_view kDeviceError = "ErrorCode ";
    if (const std::string* line =
            find([&](const std::string& l) { return l.rfind(kDeviceError, 0) == 0; })) {
        const std::size_t colon = line->find(": ");
        const std::string said = colon == std::string::npos ? *line : line->substr(colon + 2);
        return "The device ended the " + what + " with an error: " + quotable(said);
    }
    if (find([](const std::string& l) { return contains(l, "Could not start service"); })) {
        return "The device's backup service could not be started.";
    }
    return std::nullopt;
}

// The program's own words on how the run ended, when they say it failed.
bool saysItFailed(const ProgramRun& run, Run kind) {
    const std::string_view word = kind == Run::Backup ? "Backup " : "Restore ";
    for (const std::string& line : run.lines) {
        for (const std::string_view end : {"Failed", "Aborted"}) {
            if (line.rfind(word, 0) == 0 && contains(line, end)) {
                return true;
            }
        }
        if (line.rfind("Operation Failed", 0) == 0 || line.rfind("Operation Aborted", 0) == 0) {
            return true;
        }
    }
    return false;
}

// The answer for a run that did not succeed (or whose backup is not complete: `incomplete`).
ToolAnswer failureAnswer(const ProgramRun& run, Run kind, const std::string& udid,
                         const std::string& incomplete = {}) {
    if (auto explained = explainOutput(run, kind, udid)) {
        return failed(*explained);
    }
    if (!incomplete.empty()) {
        return failed(incomplete);
    }
    std::string text = kProgramName;
    if (run.outcome.exited && run.outcome.exitStatus == 0) {
        text +=
            std::string(" said the ") + (kind == Run::Backup ? "backup" : "restore") + " failed";
    } else if (run.outcome.exited) {
        text += " ended with status " + std::to_string(run.outcome.exitStatus);
    } else {
        text += " was ended by signal " + std::to_string(run.outcome.signal);
    }
    const std::string last = run.lines.empty() ? std::string() : quotable(run.lines.back());
    text += last.empty() ? std::string(".") : ": " + last;
    return failed(text);
}

// Holds BACKUP_ROOT/.<UDID>.lock while a run works on the device.
class DeviceRunLock {
  public:
    DeviceRunLock(const fs::path& root, const std::string& udid) {
        const fs::path file = root / ("." + udid + ".lock");
        fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) {
            error_ = "The backup folder " + root.string() + " cannot be written to.";
        } else if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            error_ = "Another backup or restore of this device is running.";
        }
    }
    ~DeviceRunLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    DeviceRunLock(const DeviceRunLock&) = delete;
    DeviceRunLock& operator=(const DeviceRunLock&) = delete;
    // Empty when the lock is held.
    const std::string& error() const { return error_; }

  private:
    int fd_ = -1;
    std::string error_;
};

// The backup root, made when missing, as an absolute path (the program takes no relative one,
// and a path that starts with "/" is never read as one of its options).
std::optional<fs::path> preparedRoot(const fs::path& backupRoot, std::string* error) {
    std::error_code ec;
    fs::create_directories(backupRoot, ec);
    fs::path root = fs::canonical(backupRoot, ec);
    if (ec) {
        *error = "The backup folder " + backupRoot.string() + " cannot be made: " + ec.message();
        return std::nullopt;
    }
    return root;
}

// Status.plist says the backup finished.
bool saysFinished(const BackupFolder& folder) {
    const auto bytes = folder.readFile("Status.plist", kMaxStatusBytes);
    const auto status = bytes ? PlistValue::parse(*bytes) : std::nullopt;
    return status && status->isDict() && (*status)["SnapshotState"].isString() &&
           (*status)["SnapshotState"].toString() == "finished";
}

// Why the backup the program left in `built` is not a complete backup of `udid`; empty when it is.
std::string incompleteBackup(const fs::path& built, const std::string& udid) {
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(built, ec))) {
        return std::string(kProgramName) + " ended without writing a backup.";
    }
    std::string why;
    const BackupFolder folder = BackupFolder::open(built.string(), &why);
    if (!folder.isOpen()) {
        return "The new backup cannot be read: " + why;
    }
    if (!saysFinished(folder)) {
        return "The backup did not finish.";
    }
    QString whyNot;
    if (readBackupFolder(QFile::decodeName(QByteArray::fromStdString(built.string())), &whyNot) ==
        nullptr) {
        return "The new backup is not complete: " + whyNot.toStdString();
    }
    if (std::string problem = backupOwnerProblem(folder, udid); !problem.empty()) {
        return "The new backup cannot be kept. " + problem;
    }
    return {};
}

// Gets the device ready for a run with `program`: the backup root made, the device's lock taken.
// `lock` is set when the run may go on; otherwise the answer says why not.
std::optional<ToolAnswer> holdDevice(const std::string& program, const fs::path& backupRoot,
                                     const std::string& udid, fs::path& root,
                                     std::optional<DeviceRunLock>& lock) {
    if (program.empty()) {
        return failed(notInstalledText());
    }
    std::string error;
    const auto made = preparedRoot(backupRoot, &error);
    if (!made) {
        return failed(error);
    }
    root = *made;
    lock.emplace(root, udid);
    if (!lock->error().empty()) {
        std::string why = lock->error();
        lock.reset();
        return failed(why);
    }
    return std::nullopt;
}

// The answer for a run that did not end well by the program's own account; nullopt when it did.
std::optional<ToolAnswer> unsuccessfulRun(const ProgramRun& run, Run kind,
                                          const std::string& udid) {
    if (run.outcome.stopped) {
        return failed(md::sim::runStoppedText(kind));
    }
    if (!run.outcome.started) {
        return failed(std::string(kProgramName) +
                      " could not be started: " + run.outcome.startError);
    }
    if (!run.outcome.succeeded() || saysItFailed(run, kind)) {
        return failureAnswer(run, kind, udid);
    }
    return std::nullopt;
}

}  // namespace

std::string deviceBackupProgram() {
    const char* overridden = std::getenv("NIMBARA_IDEVICEBACKUP2");
    return findProgram(overridden != nullptr && *overridden != '\0' ? overridden : kProgramName);
}

ToolAnswer backupRealDevice(const std::string& program, const std::string& udid,
                            const fs::path& backupRoot, const std::function<bool()>& stop) {
    fs::path root;
    std::optional<DeviceRunLock> lock;
    if (auto refusal = holdDevice(program, backupRoot, udid, root, lock)) {
        return *refusal;
    }
    removeAbandonedPartials(root, udid);
    const UniqueFolder partial(root, md::sim::partialBackupPrefix(udid));
    if (!partial.valid()) {
        return failed("The backup folder " + root.string() + " cannot be written to.");
    }

    const ProgramRun run =
        runProgram(program, {"-u", udid, "backup", "--full", partial.path().string()}, stop);
    if (auto failure = unsuccessfulRun(run, Run::Backup, udid)) {
        return *failure;
    }
    const fs::path built = partial.path() / udid;
    if (std::string why = incompleteBackup(built, udid); !why.empty()) {
        return failureAnswer(run, Run::Backup, udid, why);
    }
    if (stop && stop()) {
        return failed(md::sim::runStoppedText(Run::Backup));
    }
    const fs::path target = root / udid;
    try {
        md::sim::putBackupInPlace(built, target, root, udid);
    } catch (const std::exception& e) {
        return failed(std::string("The backup could not be put in place: ") + e.what());
    }
    // The earlier backup, if any, now lies in the hidden folder and goes with it.
    return {kToolSucceeded, "Backed up to " + target.string() + "."};
}

ToolAnswer restoreRealDevice(const std::string& program, const std::string& udid,
                             const fs::path& sourceFolder, const fs::path& backupRoot,
                             const std::function<bool()>& stop) {
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
    fs::path root;
    std::optional<DeviceRunLock> lock;
    if (auto refusal = holdDevice(program, backupRoot, udid, root, lock)) {
        return *refusal;
    }

    // The program reads DIR/<UDID>: a private folder holding only a link to the backup.
    const fs::path scratch = scratchRoot();
    if (scratch.empty()) {
        return failed("The restore cannot be prepared: no private scratch folder.");
    }
    const UniqueFolder stage(scratch, "restore");
    std::error_code ec;
    const fs::path source = fs::absolute(sourceFolder, ec);
    if (!stage.valid() || ec) {
        return failed("The restore cannot be prepared in " + scratch.string() + ".");
    }
    fs::create_directory_symlink(source, stage.path() / udid, ec);
    if (ec) {
        return failed("The restore cannot be prepared: " + ec.message());
    }

    const ProgramRun run = runProgram(
        program, {"-u", udid, "restore", "--system", "--settings", stage.path().string()}, stop);
    if (auto failure = unsuccessfulRun(run, Run::Restore, udid)) {
        return *failure;
    }
    return {kToolSucceeded, "Restored the backup to the device; it restarts now."};
}

}  // namespace nimbara::backup
