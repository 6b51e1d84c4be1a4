// What the record readers' tests share: backups made by hand (files stored under their keys in
// either layout, databases made from SQL), a small simulated device whose backup-source a test
// fills with record databases (through the builder, or by hand in the reduced and damaged shapes
// real backups take) written out as a backup in either storage layout, and a recorder of the
// notifications a reader posts.
#pragma once

#include <gtest/gtest.h>

#include <QDateTime>
#include <QString>

#include <atomic>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "backup/backup_scan.h"
#include "backup/sqlite_db.h"
#include "backup_source.h"
#include "backup_writer.h"
#include "platform/notification_center.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace nimbara::test {

// Stores `bytes` as the backed-up file `key` of `folder`: "<kk>/<key>" or flat.
inline std::filesystem::path storeBackupFile(const std::filesystem::path& folder,
                                             const std::string& key, const std::string& bytes,
                                             bool sharded = true) {
    const std::filesystem::path file = sharded ? folder / key.substr(0, 2) / key : folder / key;
    std::filesystem::create_directories(file.parent_path());
    writeText(file, bytes);
    return file;
}

// A database at `file` made by `sql` (an earlier one replaced).
inline void makeDatabase(const std::filesystem::path& file, const std::string& sql) {
    std::filesystem::create_directories(file.parent_path());
    std::filesystem::remove(file);
    auto db = SqliteDb::open(file.string(), SqliteDb::Mode::ReadWriteCreate);
    ASSERT_TRUE(db);
    ASSERT_TRUE(db->exec(sql)) << db->lastError();
}

// The bytes of a database made by `sql`.
inline std::string databaseBytes(const std::string& sql) {
    TempDir dir;
    makeDatabase(dir / "made.db", sql);
    return readText(dir / "made.db");
}

// The backup of the simulated device in `device`, written below `out` as iOS `version`;
// `legacy`: Manifest.mbdb and flat files, else Manifest.db and subfolders.
inline std::filesystem::path writeDeviceBackup(const std::filesystem::path& device,
                                               const std::filesystem::path& out,
                                               const std::string& version, bool legacy = false) {
    simdev::BackupOptions options;
    options.legacyLayout = legacy;
    options.iosVersionOverride = version;
    const simdev::BackupResult result = simdev::writeBackup(device, out, options);
    EXPECT_TRUE(result.ok) << result.error;
    return result.folder;
}

class RecordBackup {
  public:
    RecordBackup() : builder_(tmp_ / "device") {
        builder_.setIdentity("Test Phone", "5a1b2c3d4e5f60718293a4b5c6d7e8f901234567", "iPhone10,4",
                             "12.4.1");
    }
    simdev::SimDeviceBuilder& builder() { return builder_; }

    // The local file of a backed-up path (its folders made).
    std::filesystem::path sourceFile(const std::string& domain, const std::string& path) {
        const auto file = simdev::backupSourcePath(builder_.dir(), domain, path);
        std::filesystem::create_directories(file.parent_path());
        return file;
    }
    // A database made by hand from SQL at a backed-up path.
    void writeDatabase(const std::string& domain, const std::string& path, const std::string& sql) {
        makeDatabase(simdev::backupSourcePath(builder_.dir(), domain, path), sql);
    }
    // The backup; `legacy`: Manifest.mbdb and flat files, else Manifest.db and subfolders.
    std::filesystem::path write(bool legacy = false) {
        EXPECT_TRUE(builder_.write());
        return writeDeviceBackup(builder_.dir(), tmp_ / (legacy ? "legacy" : "current"),
                                 legacy ? "9.3.5" : "12.4.1", legacy);
    }
    const TempDir& tmp() const { return tmp_; }

  private:
    TempDir tmp_;
    simdev::SimDeviceBuilder builder_;
};

// Every notification of the given names on one centre, in order.
struct Posted {
    Posted(NotificationCenter& center, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            tokens.push_back(
                center.addObserver(name, [this](const Notification& n) { seen.push_back(n); }));
        }
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& n : seen) {
            out.push_back(n.name);
        }
        return out;
    }
    template <class T>
    std::vector<T> objects(const std::string& name) const {
        std::vector<T> out;
        for (const auto& n : seen) {
            if (n.name == name) {
                out.push_back(n.objectAs<T>());
            }
        }
        return out;
    }
    std::vector<ObserverToken> tokens;
    std::vector<Notification> seen;
};

// One step of a backup scan run alone over `folder`, posting on `center`.
inline backup::ScanStepReport runStep(const backup::ScanStepRunner& runner,
                                      const std::filesystem::path& folder,
                                      NotificationCenter& center) {
    const std::atomic<bool> stop{false};
    const backup::ScanStepContext context(QString::fromStdString(folder.string()), stop, center,
                                          [](int) {});
    return runner(context);
}

// The display text of Unix seconds in local time, made without the code under test.
inline QString localDateText(qint64 unixSeconds) {
    return QDateTime::fromSecsSinceEpoch(unixSeconds, Qt::LocalTime)
        .toString(QStringLiteral("MM-dd-yyyy HH:mm"));
}

}  // namespace nimbara::test
