// Where a private record of a backup was read from, and what a later edit of the backup needs to
// find that record again exactly: the stored file (inside the backup folder), its format, and for
// a database the table and primary-key column, for a property list the list that holds the
// entries. One source is shared by every record read from the same file.
#pragma once

#include <memory>
#include <string>

namespace nimbara::privacy {

enum class PrivacyFileFormat {
    Sqlite,
    BinaryPlist,
    XmlPlist,
    BinaryCookies,
    Photo,  // an image file: its EXIF block holds the position
    File,   // a file kept whole (caches, attachments)
};

struct PrivacySource {
    std::string domain;        // backup domain on the device
    std::string relativePath;  // path inside the domain
    std::string fileKey;       // 40 lower-case hex digits
    // The stored file relative to the backup folder ("ab/abcd…" or "abcd…"), and the stored
    // "-wal" companion of a database (empty when the backup holds none).
    std::string storedName;
    std::string walStoredName;
    PrivacyFileFormat format = PrivacyFileFormat::File;
    // Sqlite: the table the records were read from and the column that is its primary key
    // ("ROWID", "Z_PK", "id"); a record's key is that column's value.
    std::string table;
    std::string keyColumn;
    // Property lists: the key of the array ("WebHistoryDates", "List of known networks") whose
    // element a record is (its key is the element's index), or empty when the records are the
    // entries of a dictionary (then a record's identity is its dictionary key).
    std::string listKey;
};

using PrivacySourceRef = std::shared_ptr<const PrivacySource>;

}  // namespace nimbara::privacy
