// The record families of the deleted-record scans: which tables each carves, and how its carved
// rows become the nodes the family's reader makes (deleted_contacts.cpp, deleted_messages.cpp,
// deleted_notes.cpp, deleted_misc.cpp).
#pragma once

#include <string>
#include <vector>

#include "backup/deleted_record_source.h"
#include "backup/deleted_records.h"

namespace nimbara::backup::deleted {

// Everything one family's mapping is handed. Each posts its records through the poster of its
// node class and asks goOn() at every step of every loop.
struct FamilyRun {
    DeletedRowSource& source;
    const DeletedScanInputs& inputs;
    NotificationCenter& center;
    const StopCheck& stop;

    // Counts `units` of work against the source's budget; false once the stop was asked for or
    // the budget is spent: the family then posts nothing more.
    bool goOn(std::uint64_t units = 1) { return !stopped(stop) && source.budget().spend(units); }
};

// Each returns the number of records it posted.
extern const std::vector<CarvedTable> kContactTables;
std::size_t postDeletedContacts(FamilyRun& run);

extern const std::vector<CarvedTable> kMessageTables;
std::size_t postDeletedMessages(FamilyRun& run);

extern const std::vector<CarvedTable> kNoteTables;
std::size_t postDeletedNotes(FamilyRun& run);

extern const std::vector<CarvedTable> kCallTables;
std::size_t postDeletedCalls(FamilyRun& run);

extern const std::vector<CarvedTable> kBookmarkTables;
std::size_t postDeletedBookmarks(FamilyRun& run);

extern const std::vector<CarvedTable> kCalendarTables;
std::size_t postDeletedCalendarItems(FamilyRun& run);

}  // namespace nimbara::backup::deleted
