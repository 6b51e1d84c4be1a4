// Backups made by hand for the bookmark and calendar readers: files stored under their keys in
// either layout, databases made from SQL, and what a centre received of the readers' posts.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "backup/bookmark_reader.h"
#include "backup/calendar_reader.h"
#include "backup/record_notifications.h"
#include "backup/sqlite_db.h"
#include "platform/notification_center.h"
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

// Every post of the bookmark and calendar readers, both variants, in order of arrival.
struct BrowserCalendarPosts {
    explicit BrowserCalendarPosts(NotificationCenter& center) {
        using namespace backup;
        for (const char* name :
             {kScanBookMarkInfo, kScanCopyBookMarkInfo, kScanCopyBookMarkFinished,
              kScanCalenderInfo, kScanCopyRemindMarkInfo, kScanCopyRemindMarkInfoFinished}) {
            tokens.push_back(center.addObserver(name, [this, name](const Notification& n) {
                names.push_back(name);
                if (auto mark = n.objectAs<std::shared_ptr<PRBookMarkNode>>(nullptr)) {
                    bookmarks.push_back(mark);
                }
                if (auto item = n.objectAs<std::shared_ptr<PRCalenderNode>>(nullptr)) {
                    calendar.push_back(item);
                }
            }));
        }
    }
    int count(const std::string& name) const {
        int n = 0;
        for (const std::string& posted : names) {
            n += posted == name ? 1 : 0;
        }
        return n;
    }

    std::vector<std::string> names;
    std::vector<std::shared_ptr<PRBookMarkNode>> bookmarks;
    std::vector<std::shared_ptr<PRCalenderNode>> calendar;
    std::vector<ObserverToken> tokens;
};

}  // namespace nimbara::test
