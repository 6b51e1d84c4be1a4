// Wires the record readers that exist into the backup scan's plan, and keeps what one step of a
// scan hands to a later one (the message reader names senders from the contacts).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "backup/backup_scan.h"
#include "backup/contact_reader.h"
#include "backup/manifest_pass.h"
#include "backup/note_body.h"
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
    // The keys of every file the backup's list names, from the manifest pass: a later step
    // tells a family the backup does not have from one whose file is listed but not stored.
    void setListedFiles(ListedFileKeys keys) {
        std::lock_guard<std::mutex> lock(mutex_);
        listedFiles_ = std::move(keys);
    }
    bool isListed(const std::string& fileKey) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return listedFiles_.contains(fileKey);
    }
    // The contacts, from the contact step.
    ContactList contacts() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return contacts_;
    }
    // Keeps the contacts and hands them to the contacts listener (on the calling thread).
    void setContacts(ContactList contacts) {
        std::function<void(const ContactList&)> listener;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            contacts_ = contacts;
            listener = contactsListener_;
        }
        if (listener) {
            listener(contacts);
        }
    }
    // Told the contacts of the contact step, on the scan thread, before any later step runs
    // (the delegate's name look-up searches them). Set it before the scan starts.
    void setContactsListener(std::function<void(const ContactList&)> listener) {
        std::lock_guard<std::mutex> lock(mutex_);
        contactsListener_ = std::move(listener);
    }

    // What the note bodies of the scan's notes database may still inflate to, shared by the note
    // step and the deleted-note step (both on the scan thread).
    NoteBodyAllowance& noteBodies() { return noteBodies_; }

  private:
    mutable std::mutex mutex_;
    NoteBodyAllowance noteBodies_;
    TreeFiles treeFiles_;
    ListedFileKeys listedFiles_;
    ContactList contacts_;
    std::function<void(const ContactList&)> contactsListener_;
};

// The standard plan with every reader built so far attached (the setRunner calls in its
// definition), followed by the deleted-record steps of the six families (deleted_records.h),
// which end at 75, 80, 85, 90, 95 and 100 percent. A family whose reader is not attached there
// stays "not available".
BackupScanPlan wiredBackupScanPlan(const std::shared_ptr<BackupScanRecords>& records);

// The single steps (also used by tests).
ScanStepRunner manifestStepRunner(const std::shared_ptr<BackupScanRecords>& records);
ScanStepRunner contactStepRunner(const std::shared_ptr<BackupScanRecords>& records);
ScanStepRunner messageStepRunner(const std::shared_ptr<BackupScanRecords>& records);

}  // namespace nimbara::backup
