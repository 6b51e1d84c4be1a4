// Records the demo iPhone deleted whose rows its databases still hold in their free space: a few
// of every family, inserted into the databases already written and deleted again (leftover_rows.h).
// The note store keeps its deletion in its "-wal" file, as a device that had not checkpointed yet.
// The live records stay exactly as they were written.
#pragma once

#include <vector>

#include "backup_calendar.h"
#include "backup_calls.h"
#include "backup_messages.h"
#include "backup_notes.h"
#include "backup_safari.h"
#include "backup_source.h"
#include "sim_device_builder.h"

namespace nimbara::simdev {

std::vector<BackupContact> demoDeletedContacts();
std::vector<BackupMessage> demoDeletedMessages();
std::vector<BackupNote> demoDeletedNotes();
std::vector<BackupCall> demoDeletedCalls();
std::vector<BackupBookmark> demoDeletedBookmarks();  // bookmarks below the root, no folders
std::vector<BackupCalendarEvent> demoDeletedCalendarEvents();

// Leaves the records above deleted in the demo backup's address book, message database, note
// store, call store, bookmarks and calendar, which must have been written before. Throws
// std::runtime_error when SQLite fails.
void addDemoDeletedRecords(const SimDeviceBuilder& b);
// The note store's part of it alone.
void addDemoDeletedNotes(const SimDeviceBuilder& b);

}  // namespace nimbara::simdev
