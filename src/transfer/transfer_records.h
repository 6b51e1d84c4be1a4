// Contacts, messages and notes of a device, read from a backup made for them: the backup is made
// and checked first (the tool's exit status, the device still attached, a backup newer than the
// start), and only then are the copy readers run on it, each with a result sink of its own.
// Worker thread only.
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backup/backup_runner.h"

class PRContactNode;
class PRMessageTreeNode;
class PRNoteNode;

namespace nimbara::transfer {

// The record families of the transfer page, in the numbering of its backup thread.
enum class RecordKind { Contacts = 1, Messages = 2, Notes = 3 };

// Runs a backup of `device` and waits for it on the calling worker, looking at `interrupted`
// every few milliseconds (it stops the run). nullopt when it was cut short; otherwise the checked
// result (ok() only for a fresh backup of that very device).
std::optional<backup::BackupRunResult> runCheckedBackup(
    backup::BackupVariant variant, const backup::BackupDevice& device,
    std::function<void(const backup::BackupDevice&)> unlockNotice,
    const backup::BackupRunSettings& settings, const std::function<bool()>& interrupted);

// What one read of a backup found. The lists are those of the families asked for; `unreadable`
// says that a family's database is there but could not be read (an encrypted backup).
struct TransferRecords {
    std::optional<std::vector<std::shared_ptr<PRContactNode>>> contacts;
    std::optional<std::vector<std::shared_ptr<PRMessageTreeNode>>> conversations;
    std::optional<std::vector<std::shared_ptr<PRNoteNode>>> notes;
    bool unreadable = false;
};

// Reads `kind` from the backup in `backupFolder`. Messages read the contacts too (the senders are
// named after them) unless `knownContacts` is given. Each reader posts on a centre of this call
// only, so nothing read here reaches another page.
TransferRecords readTransferRecords(
    const std::string& backupFolder, RecordKind kind,
    const std::vector<std::shared_ptr<PRContactNode>>* knownContacts = nullptr);

}  // namespace nimbara::transfer
