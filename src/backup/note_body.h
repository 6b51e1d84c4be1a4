// The body of a note in the device's note store: a gzip-compressed protocol buffer whose
// document holds the note, whose note holds its text. Decoded in memory, field by field; the
// stored bytes are untrusted, so every length is checked and the inflated size is capped.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace nimbara::backup {

// The largest inflated body read; a larger one is treated as damaged.
inline constexpr qsizetype kNoteBodyLimit = 64 * 1024 * 1024;

// The inflated bytes of gzip (or zlib) data; nullopt when the data is not a complete stream or
// inflates to more than `limit` bytes (then `tooLarge`, when given, is set). `inflated`, when
// given, is told how many bytes were inflated, whatever the outcome.
std::optional<QByteArray> inflateNoteData(const QByteArray& data, qsizetype limit = kNoteBodyLimit,
                                          bool* tooLarge = nullptr, qsizetype* inflated = nullptr);

// The note text of an inflated body: top-level field 2 (the document), its field 3 (the note),
// its field 2 (the text, UTF-8). nullopt when the bytes are not such a protocol buffer.
std::optional<QString> noteTextOfProto(const QByteArray& proto);

// The text of a stored body: its note text, or " " (one blank) when it cannot be decoded.
QString noteBodyText(const QByteArray& stored);

// What a note shows whose body inflates to more than may be inflated (its own cap, or what is left
// of its database's allowance).
inline constexpr const char* kNoteTooLargeText = "This note is too large to show.";

// The bytes the note bodies of one database may inflate to, all together (its live notes and its
// deleted ones alike): 32 times the bytes of the database and its log, and 64 MiB more. A body
// that would take more than is left (or more than the cap of one body) is inflated no further and
// shows as too large.
class NoteBodyAllowance {
  public:
    // The database's size sets the limit; told again (by another reader of the same database)
    // the larger size counts, and what was inflated stays counted.
    void setDatabaseBytes(std::uint64_t bytes);

    // The text of a stored body, as noteBodyText gives it, or kNoteTooLargeText.
    QString text(const QByteArray& stored);

    std::uint64_t inflated() const { return inflated_; }

  private:
    std::uint64_t limit_ = kNoteBodyLimit;
    std::uint64_t inflated_ = 0;
};

}  // namespace nimbara::backup
