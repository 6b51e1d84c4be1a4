#include "transfer/transfer_records.h"

#include <chrono>
#include <thread>

#include "backup/contact_reader.h"
#include "backup/conversations.h"
#include "backup/message_reader.h"
#include "backup/note_reader.h"
#include "backup/pr_note_node.h"
#include "platform/notification_center.h"

namespace nimbara::transfer {

namespace {
constexpr auto kBackupLook = std::chrono::milliseconds(20);
}  // namespace

std::optional<backup::BackupRunResult> runCheckedBackup(
    backup::BackupVariant variant, const backup::BackupDevice& device,
    std::function<void(const backup::BackupDevice&)> unlockNotice,
    const backup::BackupRunSettings& settings, const std::function<bool()>& interrupted) {
    auto result = std::make_shared<std::optional<backup::BackupRunResult>>();
    backup::BackupRunHooks hooks;
    hooks.unlockNotice = std::move(unlockNotice);
    // Runs on the backup's thread before it ends; read here once it has.
    hooks.afterExit = [result](backup::BackupRunResult& r) { *result = r; };
    std::shared_ptr<backup::DeviceBackupRun> run =
        backup::DeviceBackupRun::start(variant, device, std::move(hooks), settings);
    while (!run->ended()) {
        if (interrupted && interrupted()) {
            run->stop();
            break;
        }
        std::this_thread::sleep_for(kBackupLook);
    }
    run.reset();  // waits for the run's thread: this worker may
    if (interrupted && interrupted()) {
        return std::nullopt;
    }
    if (!*result) {
        // The run ended without a result: it was stopped.
        backup::BackupRunResult none;
        none.variant = variant;
        none.device = device;
        none.outcome = backup::BackupOutcome::Stopped;
        return none;
    }
    return **result;
}

TransferRecords readTransferRecords(
    const std::string& backupFolder, RecordKind kind,
    const std::vector<std::shared_ptr<PRContactNode>>* knownContacts) {
    TransferRecords found;
    // Every reader call posts on this call's own centre (its per-call sink).
    const auto contacts = [&]() -> const backup::ContactList& {
        if (!found.contacts) {
            NotificationCenter center;
            const backup::ContactReadResult read =
                backup::scanTransferContactThread(backupFolder, &center);
            found.unreadable |= read.addressBookFound && !read.ok;
            found.contacts = read.contacts;
        }
        return *found.contacts;
    };
    switch (kind) {
        case RecordKind::Contacts:
            contacts();
            break;
        case RecordKind::Messages: {
            NotificationCenter center;
            backup::ConversationGrouping grouping;
            ObserverBag bag;
            bag.add(
                center.addObserver(backup::kScanTransferMessageInfo, [&](const Notification& n) {
                    if (auto message = n.objectAs<std::shared_ptr<PRMessageNode>>(nullptr)) {
                        grouping.addMessage(message);
                    }
                }));
            const backup::MessageReadResult read = backup::scanTransferMessageThread(
                backupFolder, knownContacts != nullptr ? *knownContacts : contacts(), &center);
            found.unreadable |= read.databaseFound && !read.ok;
            found.conversations = grouping.conversations();
            break;
        }
        case RecordKind::Notes: {
            NotificationCenter center;
            std::vector<std::shared_ptr<PRNoteNode>> notes;
            ObserverBag bag;
            bag.add(center.addObserver(backup::kScanTransferNoteInfo, [&](const Notification& n) {
                if (auto note = n.objectAs<std::shared_ptr<PRNoteNode>>(nullptr)) {
                    notes.push_back(std::move(note));
                }
            }));
            const backup::NoteReadResult read =
                backup::scanTransferNoteThread(backupFolder, &center);
            found.unreadable |= read.databaseFound && !read.ok;
            found.notes = std::move(notes);
            break;
        }
    }
    return found;
}

}  // namespace nimbara::transfer
