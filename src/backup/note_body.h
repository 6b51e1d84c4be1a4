// The body of a note in the device's note store: a gzip-compressed protocol buffer whose
// document holds the note, whose note holds its text. Decoded in memory, field by field; the
// stored bytes are untrusted, so every length is checked and the inflated size is capped.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace nimbara::backup {

// The largest inflated body read; a larger one is treated as damaged.
inline constexpr qsizetype kNoteBodyLimit = 64 * 1024 * 1024;

// The inflated bytes of gzip (or zlib) data; nullopt when the data is not a complete stream or
// inflates to more than `limit` bytes.
std::optional<QByteArray> inflateNoteData(const QByteArray& data, qsizetype limit = kNoteBodyLimit);

// The note text of an inflated body: top-level field 2 (the document), its field 3 (the note),
// its field 2 (the text, UTF-8). nullopt when the bytes are not such a protocol buffer.
std::optional<QString> noteTextOfProto(const QByteArray& proto);

// The text of a stored body: its note text, or " " (one blank) when it cannot be decoded.
QString noteBodyText(const QByteArray& stored);

}  // namespace nimbara::backup
