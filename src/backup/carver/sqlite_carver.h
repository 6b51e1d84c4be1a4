// Recovers rows deleted from the tables of an SQLite database, from the bytes of the database
// file and its "-wal" file as SQLite's published file format lays them out.
//
// Nothing is guessed from byte patterns: the header gives the page size (1 means 65,536; 0, a
// size that is no power of two between 512 and 65,536, or a size past the file is damage) and the
// freelist; the schema and the tables' b-trees are read from the pages as the last committed
// transaction leaves them (the newest committed frame of a page in the "-wal" file wins over the
// main file's copy). Rows are looked for only where deleted data can lie:
//   - the freeblock chain of each b-tree page and the gap between its cell-pointer array and its
//     content area;
//   - freelist trunk and leaf pages;
//   - the main file's copy of a page the "-wal" file replaced, and the frames of older versions
//     of a page in the "-wal" file, read separately.
// Every byte a live cell covers is left out, and each candidate record is checked against the
// columns the live schema gives its table: the column count (a record written before columns
// were added by ALTER TABLE holds fewer; how few is allowed is bounded so that short byte runs
// never pass as rows), the serial types each column's declared type allows, and the whole record
// lying within the region it was found in. A row the final state still holds (the
// same values in the same table) is never reported, nor is one found twice.
//
// A value the carver can't recover (the first bytes of a freed cell are overwritten by the
// freeblock's own header) stays empty: it is never filled in or guessed; the row id is known
// only when the cell's rowid could be read.
//
// All reads are bounded by the sources' sizes, all work and memory by workLimit and memoryLimit;
// the stop check is asked as the work goes. The state is the call's own. Worker thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nimbara::backup::carver {

// Bytes the carver reads: a file (pread) or a buffer.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly `length` bytes at `offset`; false (nothing promised in `into`) when they are
    // not all there.
    virtual bool read(std::uint64_t offset, void* into, std::size_t length) const = 0;
};

// A buffer the caller keeps alive.
class MemorySource : public ByteSource {
  public:
    MemorySource(const void* data, std::size_t size)
        : data_(static_cast<const unsigned char*>(data)), size_(size) {}
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, void* into, std::size_t length) const override;

  private:
    const unsigned char* data_;
    std::size_t size_;
};

struct Column {
    std::string name;
    std::string declaredType;  // as written in CREATE TABLE, upper-cased ("" when none)
    bool rowidAlias = false;   // INTEGER PRIMARY KEY: stored as NULL, its value is the rowid
};

struct Table {
    std::string name;
    std::uint32_t rootPage = 0;
    // The columns its records hold, in order: a generated column that is not STORED has no value
    // in a record and is not among them.
    std::vector<Column> columns;

    // Index of the column named `column` (compared without case), or -1.
    int columnIndex(const std::string& column) const;
};

struct Value {
    enum class Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string bytes;  // Text (UTF-8 as stored) or Blob
};

// Where a carved row was found.
enum class Origin { Freeblock, Unallocated, FreelistPage, ReplacedPage, OlderWalFrame };

struct CarvedRow {
    std::string table;
    std::optional<std::int64_t> rowid;  // known only when the cell's rowid was read
    // One per column of the table (Table::columns); empty where the value could not be
    // recovered. A rowid alias column holds the rowid when it is known.
    std::vector<std::optional<Value>> values;
    Origin origin = Origin::Freeblock;
    std::uint64_t offset = 0;  // of the record header, in the file it was found in

    // The value of the column named `column` in `table`, or null.
    const Value* value(const Table& table, const std::string& column) const;
};

struct CarveReport {
    enum class Status {
        Done,     // read to the end (possibly nothing found)
        Damaged,  // not a database, or its header or schema can't be read (detail says why)
        Stopped,  // the stop check asked to end
    };
    Status status = Status::Done;
    std::string detail;              // for the log
    std::vector<Table> tables;       // the schema's tables asked for that exist
    std::vector<CarvedRow> rows;     // deleted rows of those tables
    std::uint64_t liveRowsSeen = 0;  // live rows of those tables (none is ever reported)
    // The database asked for more work or memory than its size allows (workLimit, memoryLimit):
    // the search stopped early (detail says so) and `rows` holds what it found until then.
    bool cutShort = false;
    std::uint64_t work = 0;  // the work the search and its checks spent

    std::uint32_t pagesRead = 0;  // pages of the database as its last commit leaves it
};

using StopCheck = std::function<bool()>;  // true: stop now

// For a database and log of `bytes` bytes: the work the search may spend (once for the search,
// once for the checks of what it found against the live rows), and the bytes it may hold.
std::uint64_t workLimit(std::uint64_t bytes);
std::uint64_t memoryLimit(std::uint64_t bytes);

// Looks for deleted rows of the tables named in `tables` (compared without case; a name the
// schema lacks is skipped). `wal` may be null.
CarveReport carveTables(const ByteSource& database, const ByteSource* wal,
                        const std::vector<std::string>& tables, const StopCheck& stop = {});

// The same on a database file and the "-wal" beside it (when there is one). Only ever give it a
// private copy: nothing is written, but the file must not change while it is read.
CarveReport carveDatabaseFile(const std::filesystem::path& database,
                              const std::vector<std::string>& tables, const StopCheck& stop = {});

}  // namespace nimbara::backup::carver
