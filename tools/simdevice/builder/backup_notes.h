// The notes of a simulated device's backup, in the databases and with the table and column names
// the device uses. Note-store bodies are gzip-compressed protocol buffers, as the device writes
// them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim_device_builder.h"

namespace nimbara::simdev {

struct BackupNote {
    std::string title{};
    std::string text{};       // the whole text; the note store's first line is the title
    std::int64_t created{};   // Unix seconds
    std::int64_t modified{};  // Unix seconds
};

enum class NotesKind {
    // AppDomainGroup-group.com.apple.notes/NoteStore.sqlite (iOS 9 and later).
    NoteStore,
    // HomeDomain/Library/Notes/notes.sqlite (iOS 4 to 8): ZNOTE, bodies as HTML in ZNOTEBODY.
    NotesDatabase,
    // HomeDomain/Library/Notes/notes.db (before iOS 4): `note` and `note_bodies`.
    OldNotesDatabase,
};

// Writes the notes (row ids from 1, in order) into the database of `kind`, replacing an earlier
// one. The last `rowsInLog` notes stay in the database's "-wal" companion. Throws
// std::runtime_error when SQLite fails.
void addBackupNotes(const SimDeviceBuilder& b, const std::vector<BackupNote>& notes,
                    NotesKind kind = NotesKind::NoteStore, std::size_t rowsInLog = 0);

// A note-store body holding `text`: the protocol buffer of a note document, gzip-compressed.
std::string noteStoreBody(const std::string& text);

// The demo iPhone's notes.
std::vector<BackupNote> demoNotes();

}  // namespace nimbara::simdev
