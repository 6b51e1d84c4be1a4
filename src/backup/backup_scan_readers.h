// Wires the record readers that exist into the backup scan's plan, and keeps what one step of a
// scan hands to a later one (the message reader names senders from the contacts).
#pragma once

#include <memory>
#include <mutex>

#include "backup/backup_scan.h"
#include "backup/contact_reader.h"
#include "backup/pr_tree_dir_node.h"

namespace nimbara::backup {

// Records of one scan that later steps read; filled on the scan thread.
class BackupScanRecords {
  public:
    using TreeFiles = std::vector<std::shared_ptr<PRTreeDirNode>>;

    // The entries of the media-scan domains, from the manifest pass.
    TreeFiles treeFiles() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return treeFiles_;
    }
    void setTreeFiles(TreeFiles files) {
        std::lock_guard<std::mutex> lock(mutex_);
        treeFiles_ = std::move(files);
    }
    // The contacts, from the contact step.
    ContactList contacts() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return contacts_;
    }
    void setContacts(ContactList contacts) {
        std::lock_guard<std::mutex> lock(mutex_);
        contacts_ = std::move(contacts);
    }

  private:
    mutable std::mutex mutex_;
    TreeFiles treeFiles_;
    ContactList contacts_;
};

// The standard plan with every reader built so far attached: the manifest pass and the contact
// reader. Messages, notes, call history, bookmarks and calendar stay "not available" until their
// readers are attached here through BackupScanPlan::setRunner.
BackupScanPlan wiredBackupScanPlan(const std::shared_ptr<BackupScanRecords>& records);

// The single steps (also used by tests).
ScanStepRunner manifestStepRunner(const std::shared_ptr<BackupScanRecords>& records);
ScanStepRunner contactStepRunner(const std::shared_ptr<BackupScanRecords>& records);

}  // namespace nimbara::backup
