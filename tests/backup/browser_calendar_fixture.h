// What a centre received of the bookmark and calendar readers' posts; backups made by hand come
// from the record readers' shared fixture.
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
#include "record_backup_fixture.h"

namespace nimbara::test {

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
