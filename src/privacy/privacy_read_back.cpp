#include "privacy/privacy_read_back.h"

#include <sys/stat.h>

#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include "backup/backup_runner.h"
#include "privacy/privacy_restore_check.h"
#include "privacy/privacy_scan.h"
#include "ui/core/text_utilities.h"

namespace nimbara::privacy {

namespace {

namespace fs = std::filesystem;

// The read-back's backup root: made private, removed with what is in it when it goes.
class ReadBackRoot {
  public:
    explicit ReadBackRoot(const fs::path& copy) : path_(copy / kReadBackFolder) {
        std::error_code ec;
        fs::remove_all(path_, ec);  // one a check that was stopped on its way left
        if (::mkdir(path_.c_str(), 0700) != 0) {
            error_ = std::strerror(errno);
            path_.clear();
        }
    }
    ~ReadBackRoot() {
        if (!path_.empty()) {
            std::error_code ec;
            fs::remove_all(path_, ec);
        }
    }
    ReadBackRoot(const ReadBackRoot&) = delete;
    ReadBackRoot& operator=(const ReadBackRoot&) = delete;

    bool ok() const { return !path_.empty(); }
    const fs::path& path() const { return path_; }
    const std::string& error() const { return error_; }

  private:
    fs::path path_;
    std::string error_;
};

// The bytes of the working copy's regular files, its read-back root aside; nullopt when stopped
// or the copy cannot be listed.
std::optional<std::uint64_t> copyBytes(const fs::path& copy, const std::function<bool()>& stop) {
    std::uint64_t bytes = 0;
    std::error_code ec;
    fs::recursive_directory_iterator it(copy, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (stop && stop()) {
            return std::nullopt;
        }
        struct stat st {};
        if (::lstat(it->path().c_str(), &st) != 0) {
            continue;  // gone meanwhile
        }
        if (S_ISDIR(st.st_mode) && it.depth() == 0 && it->path().filename() == kReadBackFolder) {
            it.disable_recursion_pending();
        } else if (S_ISREG(st.st_mode)) {
            bytes += static_cast<std::uint64_t>(st.st_size);
        }
    }
    if (ec) {
        return std::nullopt;
    }
    return bytes;
}

// A UniqueDeviceID that names one folder of a backup root.
bool plainUdid(const QString& udid) {
    return !udid.isEmpty() && udid.size() <= 64 &&
           std::all_of(udid.cbegin(), udid.cend(), [](QChar c) {
               return (c.unicode() < 128 && c.isLetterOrNumber()) || c == QLatin1Char('-');
           });
}

QString durationText(std::chrono::milliseconds wait) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait).count();
    if (seconds >= 120) {
        return QStringLiteral("%1 minutes").arg(QString::number(seconds / 60));
    }
    return seconds == 1 ? QStringLiteral("1 second")
                        : QStringLiteral("%1 seconds").arg(QString::number(seconds));
}

QString joined(QStringList parts) {
    if (parts.size() < 2) {
        return parts.join(QString());
    }
    const QString last = parts.takeLast();
    return parts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

QString capitalised(QString text) {
    if (!text.isEmpty()) {
        text[0] = text[0].toUpper();
    }
    return text;
}

ReadBackResult notConfirmed(QString why) {
    ReadBackResult result;
    result.why = std::move(why);
    return result;
}

ReadBackResult stoppedResult() {
    ReadBackResult result = notConfirmed(QStringLiteral("The check of the restore was stopped."));
    result.stopped = true;
    return result;
}

}  // namespace

ReadBackResult readBackRestore(const ReadBackRequest& request, const PrivacyCleanSelection& removed,
                               const ReadBackSettings& settings, const std::function<bool()>& stop,
                               const std::function<void(const QString& step)>& step) {
    auto say = [&step](const QString& text) {
        if (step) {
            step(text);
        }
    };
    auto stopped = [&stop] { return stop && stop(); };
    if (!plainUdid(request.udid)) {
        return notConfirmed(QStringLiteral("The device's identifier cannot name a backup."));
    }

    if (request.restarts) {
        const backup::RestartEnd end = backup::waitForRestart(
            request.udid, request.serialBefore, settings.restart, stop,
            [&say](backup::RestartPhase phase) {
                say(phase == backup::RestartPhase::Going
                        ? QStringLiteral("waiting for the device to restart")
                        : QStringLiteral("waiting for the device to come back: unlock it once it "
                                         "has restarted"));
            });
        switch (end) {
            case backup::RestartEnd::Back:
                break;
            case backup::RestartEnd::Stopped:
                return stoppedResult();
            case backup::RestartEnd::NeverWent:
                return notConfirmed(
                    QStringLiteral("The device was to restart after the restore, but it did not "
                                   "within %1.")
                        .arg(durationText(settings.restart.goneWithin)));
            case backup::RestartEnd::NotBack:
                return notConfirmed(
                    QStringLiteral("The device did not come back within %1 of restarting. Unlock "
                                   "it and let it trust this computer.")
                        .arg(durationText(settings.restart.backWithin)));
        }
    }

    say(QStringLiteral("checking the free disk space for reading the device back"));
    const std::optional<std::uint64_t> needed = copyBytes(request.copy, stop);
    if (stopped()) {
        return stoppedResult();
    }
    if (!needed) {
        return notConfirmed(QStringLiteral("The size of the cleaned backup could not be told."));
    }
    const std::uint64_t room = *needed + kWorkingSpaceReserve;
    const std::optional<std::uint64_t> free =
        settings.freeSpace ? settings.freeSpace(request.copy) : availableBytes(request.copy);
    if (free && *free < room) {
        return notConfirmed(
            QStringLiteral("There is not enough free disk space to read the device back: %1 "
                           "needed, %2 free.")
                .arg(shell::size_to_unit(room), shell::size_to_unit(*free)));
    }

    const ReadBackRoot root(request.copy);
    if (!root.ok()) {
        return notConfirmed(QStringLiteral("The device could not be read back: no folder for it "
                                           "could be made beside the cleaned backup (%1).")
                                .arg(QString::fromStdString(root.error())));
    }
    const QString reading = QStringLiteral("reading the device back to check the restore");
    say(reading);
    QProcessEnvironment environment = request.environment;
    environment.insert(QStringLiteral("NIMBARA_BACKUP_ROOT"),
                       QString::fromStdString(root.path().string()));
    const backup::ToolRun run = backup::runTool(
        request.tool, {QStringLiteral("--backup"), QStringLiteral("--target"), request.udid},
        environment, stop, {}, [&](const backup::ToolLine& line) {
            // What the device waits for (its passcode, say) is shown while it waits.
            if (line.kind == backup::ToolLine::Kind::Status) {
                say(line.text.empty()
                        ? reading
                        : reading + QStringLiteral(" (%1)").arg(QString::fromStdString(line.text)));
            }
        });
    if (run.stopped || stopped()) {
        return stoppedResult();
    }
    if (!run.started) {
        return notConfirmed(
            QStringLiteral("The device could not be read back: the backup tool could not be "
                           "started (%1).")
                .arg(run.startError));
    }
    if (!run.normalExit || run.exitStatus != 0) {
        return notConfirmed(QStringLiteral("The device could not be read back%1")
                                .arg(run.message.isEmpty() ? QStringLiteral(".")
                                                           : QStringLiteral(": ") + run.message));
    }

    say(QStringLiteral("checking that the removed records are gone"));
    PrivacyScanOptions options;
    options.stop = stop;
    const PrivacyScanResult readBack =
        readPrivacyBackup((root.path() / request.udid.toStdString()).string(), options);
    if (readBack.stopped || stopped()) {
        return stoppedResult();
    }
    if (readBack.refused()) {
        return notConfirmed(QStringLiteral("The device's new backup could not be read%1")
                                .arg(readBack.backup.message.isEmpty()
                                         ? QStringLiteral(".")
                                         : QStringLiteral(": ") + readBack.backup.message));
    }
    if (!readBack.backup.belongsTo(request.udid)) {
        return notConfirmed(
            QStringLiteral("The backup read back is not of the device that was restored."));
    }

    const RestoreCheck check = checkRemovedRecords(removed, readBack);
    ReadBackResult result;
    result.confirmed = check.confirmed();
    result.stillThere = check.stillThere;
    QStringList why;
    if (const QString still = privacyCountsText(check.stillThere); !still.isEmpty()) {
        why.push_back(
            QStringLiteral("The device still holds %1 that the clean removed.").arg(still));
    }
    if (!check.unread.isEmpty()) {
        QStringList kinds;
        for (const QString& kind : check.unread) {
            kinds.push_back(QStringLiteral("the ") + kind);
        }
        why.push_back(capitalised(joined(kinds)) +
                      QStringLiteral(" could not be read back from the device."));
    }
    result.why = why.join(QLatin1Char(' '));
    return result;
}

}  // namespace nimbara::privacy
