// Helpers shared by the tests: private temporary folders.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "unique_folder.h"

namespace nimbara::test {

// A fresh private folder, removed with its contents when the object goes away.
class TempDir {
  public:
    TempDir();
    const std::filesystem::path& path() const { return folder_.path(); }
    std::string str() const { return path().string(); }
    std::filesystem::path operator/(const std::string& name) const { return path() / name; }

  private:
    simdev::UniqueFolder folder_;
};

// Sets TZ (the local time zone) for the lifetime of the object and restores the previous value.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    std::optional<std::string> previous_;
};

// Sets an environment variable for the lifetime of the object and restores the previous value.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> previous_;
};

std::string readText(const std::filesystem::path& file);
void writeText(const std::filesystem::path& file, const std::string& text);
// The names in a local folder, sorted (to see that nothing stray was left behind).
std::vector<std::string> folderNames(const std::filesystem::path& dir);
// Every regular file below `folder`, as paths relative to it, sorted (none when it is missing).
std::vector<std::string> filesBelow(const std::filesystem::path& folder);
// A minimal unpacked app package "<folder>/<name>.app": an Info.plist naming the app (version
// "1.0", build "1") and its executable holding `executable`. Its path.
std::filesystem::path writeAppPackage(const std::filesystem::path& folder,
                                      const std::string& bundleId, const std::string& name,
                                      const std::string& executable);

// One entry of a zip archive written by writeZip: a folder when its name ends in "/". `mode`
// is the Unix mode the archive records for it (S_IFLNK | 0777 makes a link to `text`); 0
// records none.
struct ZipEntry {
    std::string name;
    std::string text;
    unsigned mode = 0;
};
// Writes the entries, in order, into a new zip archive (replacing `file`); false on a failure.
bool writeZip(const std::filesystem::path& file, const std::vector<ZipEntry>& entries);
// The entry names of a zip archive (none when it can't be opened).
std::set<std::string> zipNames(const std::filesystem::path& file);

// Runs the event loop (where there is one) until the device manager has bound, or given up,
// every device attached so far and its binding worker is idle: false when a generous limit
// passed first.
bool waitForDeviceBinds();
// Whether some process holds a whole-file lock (flock) on `folder`, told from /proc/locks
// without taking the lock: a probe that took it, even for a moment, could make the holder it
// looks for fail to lock.
bool folderIsLocked(const std::filesystem::path& folder);

// The regular files below a local folder (at any depth) and their bytes; none for a folder that
// is missing. What a test expects of a scan, counted without the scan.
struct FileTally {
    std::uint64_t count = 0;
    std::uint64_t bytes = 0;
};
inline FileTally tallyOf(const std::filesystem::path& folder) {
    FileTally t;
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        return t;
    }
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder, ec)) {
        if (e.is_regular_file(ec)) {
            ++t.count;
            t.bytes += e.file_size(ec);
        }
    }
    return t;
}

// Collects the lines logged from any thread while it lives.
class LogRecorder {
  public:
    LogRecorder() {
        instance() = this;
        previous_ = qInstallMessageHandler(&LogRecorder::handle);
    }
    ~LogRecorder() {
        qInstallMessageHandler(previous_);
        instance() = nullptr;
    }
    LogRecorder(const LogRecorder&) = delete;
    LogRecorder& operator=(const LogRecorder&) = delete;

    int count(const QString& line) const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(lines_.begin(), lines_.end(), line));
    }
    // How many lines hold `text`.
    int countContaining(const QString& text) const {
        std::lock_guard lock(mutex_);
        return static_cast<int>(
            std::count_if(lines_.begin(), lines_.end(),
                          [&](const QString& line) { return line.contains(text); }));
    }
    // Every line, in the order logged.
    QStringList lines() const {
        std::lock_guard lock(mutex_);
        return QStringList(lines_.begin(), lines_.end());
    }

  private:
    static LogRecorder*& instance() {
        static LogRecorder* current = nullptr;
        return current;
    }
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message) {
        if (LogRecorder* self = instance()) {
            std::lock_guard lock(self->mutex_);
            self->lines_.push_back(message);
        }
    }
    QtMessageHandler previous_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<QString> lines_;
};

}  // namespace nimbara::test
