// What one notification centre received of a backup scan's notifications, and what the scan
// reported per step. The handlers run on the scan thread; the lists are read after the scan was
// joined.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "backup/backup_scan.h"
#include "backup/backup_scan_readers.h"
#include "backup/contact_reader.h"
#include "backup/manifest_pass.h"
#include "backup/pr_face_twitter_node.h"
#include "backup/pr_photo_and_video_node.h"
#include "platform/notification_center.h"

namespace nimbara::test {

struct ScanPosts {
    explicit ScanPosts(NotificationCenter& center) {
        observe(center, backup::kScanProgressNotification, progress, -1);
        observe(center, backup::kScanContactInfo, contacts);
        observe(center, backup::kScanPhotoAndVideoNotification, photos);
        observe(center, backup::kScanFaceTwitterNotification, social);
        observe(center, backup::kFindBackupFileNotification, entries);
    }
    template <class T>
    void observe(NotificationCenter& center, const char* name, std::vector<T>& into, T none = {}) {
        tokens.push_back(center.addObserver(
            name, [&into, none](const Notification& n) { into.push_back(n.objectAs<T>(none)); }));
    }
    void clear() {
        progress.clear();
        contacts.clear();
        photos.clear();
        social.clear();
        entries.clear();
    }
    bool empty() const {
        return progress.empty() && contacts.empty() && photos.empty() && social.empty() &&
               entries.empty();
    }
    bool posted(int percent) const {
        for (int p : progress) {
            if (p == percent) {
                return true;
            }
        }
        return false;
    }

    std::vector<int> progress;
    std::vector<std::shared_ptr<PRContactNode>> contacts;
    std::vector<std::shared_ptr<PRPhotoAndVideoNode>> photos;
    std::vector<std::shared_ptr<PRFaceTwitterNode>> social;
    std::vector<std::shared_ptr<PRTreeDirNode>> entries;
    std::vector<ObserverToken> tokens;
};

// Runs the wired plan over a backup folder with `center` and waits for its end.
inline backup::BackupScanSummary runWiredScan(
    const std::filesystem::path& folder, NotificationCenter& center,
    const std::shared_ptr<backup::BackupScanRecords>& records) {
    backup::BackupScan scan(&center);
    const auto started =
        scan.start(QString::fromStdString(folder.string()), backup::wiredBackupScanPlan(records));
    EXPECT_TRUE(started) << (started ? std::string() : started.sentence().toStdString());
    scan.wait();
    return scan.lastSummary();
}

// The result of one step of a scan (a test failure when the summary has none).
inline backup::ScanStepResult resultOf(const backup::BackupScanSummary& summary,
                                       backup::ScanStepKind kind) {
    for (const backup::ScanStepResult& step : summary.steps) {
        if (step.kind == kind) {
            return step;
        }
    }
    ADD_FAILURE() << "no result for " << backup::scanStepTitle(kind).toStdString();
    return {kind, backup::ScanStepOutcome::Stopped, QString()};
}

}  // namespace nimbara::test
