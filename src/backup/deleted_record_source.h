// What the deleted-record scans share: the carved rows of one family's database, read by column
// (each column found by name once per table), beside the live rows of the same private copy,
// looked up by key through maps built once; the work budget the joins count against; and the
// posting of each record once per run.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "backup/carver/sqlite_carver.h"
#include "backup/carver/work_budget.h"
#include "backup/database_copy.h"
#include "backup/record_database.h"
#include "backup/sqlite_db.h"
#include "platform/notification_center.h"

namespace nimbara::backup {

class BackupFolder;

namespace deleted {

using StopCheck = std::function<bool()>;

// The index of the column named `name` (compared without case) in `table`; -1 when `table` is
// null or has no such column. Found once per table: rows are then read by the index.
int columnIndex(const carver::Table* table, std::string_view name);

// One row of a table, live or carved; its values are in the order of its table's columns.
struct TableRow {
    const carver::Table* table = nullptr;
    std::optional<std::int64_t> rowid;
    std::vector<std::optional<carver::Value>> values;
    bool live = false;  // a row the table still holds

    // The value of the column with that index (columnIndex()); null where the column is NULL, the
    // index is -1, or the carver could not recover the value.
    const carver::Value* value(int column) const;
};

// A table a scan carves, and the column (if any) that identifies a row for good (a message's
// guid): a carved row whose identifier a live row holds is an older version of that row, even
// where its row id was not recovered.
struct CarvedTable {
    const char* name;
    const char* identity = nullptr;
};

// A value read the way SQLite reads a column of another type, as the record readers read theirs.
// Text: a text or blob as UTF-8, a number as its decimal text; empty for null.
QString textOf(const carver::Value* value);
// An integer: an integer, a real (truncated) or a text that is a number; nullopt otherwise.
std::optional<std::int64_t> integerOf(const carver::Value* value);
// A number: an integer, a real or a text that is a number; nullopt otherwise.
std::optional<double> numberOf(const carver::Value* value);
// The bytes of a blob or a text; null for anything else.
QByteArray bytesOf(const carver::Value* value);

// One family's database as a deleted-record scan reads it.
class DeletedRowSource {
  public:
    enum class State {
        Missing,     // the backup holds none of the family's databases
        Unreadable,  // it is there but could not be copied, carved or opened (`problem` says why)
        Stopped,     // the stop ended the carving
        Ready,
    };

    // Finds the first of `sources` the backup holds, copies it with its log kept, carves the
    // tables, then folds the log into the copy and opens it for the live look-ups. Carved rows
    // whose row id or identifier a live row of their table holds are left out. The joins get a
    // work budget in proportion to the bytes of the database and its log.
    DeletedRowSource(const BackupFolder& folder, const std::vector<const DatabaseSource*>& sources,
                     const std::vector<CarvedTable>& tables, const StopCheck& stop);
    // Rows already carved, with no live database beside them (no live rows), and a work budget of
    // `work` units: the joins over rows given as they are.
    DeletedRowSource(std::vector<carver::Table> tables, std::vector<carver::CarvedRow> rows,
                     std::uint64_t work);
    ~DeletedRowSource();
    DeletedRowSource(const DeletedRowSource&) = delete;
    DeletedRowSource& operator=(const DeletedRowSource&) = delete;

    State state() const { return state_; }
    const std::string& problem() const { return problem_; }

    // The schema of a carved table; null when the database has no such table.
    const carver::Table* table(std::string_view name) const;
    // The carved rows of a table, in the order found.
    const std::vector<TableRow>& carved(std::string_view table) const;
    // The first carved row of `table` found with that row id; null when there is none.
    const TableRow* carvedRow(std::string_view table, std::int64_t rowid) const;

    // The live row of `table` with that row id, read once; null when there is none.
    const TableRow* liveRow(std::string_view table, std::int64_t rowid);
    // The row of `table` with that row id: the live one, else the first carved one; null when
    // there is neither.
    const TableRow* row(std::string_view table, std::int64_t rowid);
    // The row ids of the live rows of `table` whose `column` holds `value` (as `column = value`
    // compares in SQL), in row-id order. The table's keys are read once, at the first look-up.
    // `table` and `column` are the scan's own names, never text from the backup.
    const std::vector<std::int64_t>& liveRowidsWhere(std::string_view table, const char* column,
                                                     std::int64_t value);
    // Those rows themselves.
    std::vector<const TableRow*> liveRowsWhere(std::string_view table, const char* column,
                                               std::int64_t value);
    // The live database, for reads of tables that are not carved (labels); null when not Ready
    // or when there is none.
    SqliteDb* liveDatabase() { return state_ == State::Ready && db_.isOpen() ? &db_ : nullptr; }

    // What the joins may still do: every row they visit and every row they look up is counted.
    carver::WorkBudget& budget() { return budget_; }
    // The bytes of the database and its log as copied (0 for rows given as they are).
    std::uint64_t databaseBytes() const { return databaseBytes_; }

  private:
    void fileCarvedRows(std::vector<carver::CarvedRow> rows, const std::vector<CarvedTable>& tables,
                        const StopCheck& stop);
    bool isLiveTable(std::string_view table);
    // A live row of `schema`'s table holds the carved row's row id or identifier.
    bool hasLiveTwin(const carver::Table& schema, const carver::CarvedRow& row,
                     const char* identity);
    std::optional<TableRow> readLiveRow(std::string_view table, std::int64_t rowid);
    // A statement of the live database, prepared once.
    SqliteStatement* statement(const std::string& sql);

    // The live rows of one table by the integer key one column holds.
    using KeyIndex = std::unordered_map<std::int64_t, std::vector<std::int64_t>>;

    State state_ = State::Missing;
    std::string problem_;
    carver::WorkBudget budget_{0};
    std::uint64_t databaseBytes_ = 0;
    std::vector<carver::Table> tables_;
    std::map<std::string, std::vector<TableRow>, std::less<>> carved_;
    // Per table, the index in carved_ of the first row with each row id.
    std::map<std::string, std::unordered_map<std::int64_t, std::size_t>, std::less<>> carvedById_;
    std::map<std::string, bool, std::less<>> liveTables_;
    std::map<std::string, std::unordered_set<std::string>> liveIdentities_;
    std::map<std::string, KeyIndex, std::less<>> liveKeys_;  // by "table.column"
    // Per table, the live rows looked up so far by row id (none: the table has no such row).
    std::map<std::string, std::unordered_map<std::int64_t, std::optional<TableRow>>, std::less<>>
        liveRows_;
    std::map<std::string, SqliteStatement, std::less<>> statements_;
    // Declared before the database, so that the database closes before its copy goes.
    std::unique_ptr<DatabaseScratchCopy> copy_;
    SqliteDb db_;
};

// Posts each record of a run once: a record whose key was posted before is dropped.
template <class Node>
class DeletedPoster {
  public:
    DeletedPoster(NotificationCenter& center, const char* name) : center_(center), name_(name) {}

    void post(const std::shared_ptr<Node>& node, const QString& key) {
        if (!seen_.insert(key).second) {
            return;
        }
        node->setBDeleted(true);
        center_.post(name_, node);
        ++posted_;
    }
    std::size_t posted() const { return posted_; }

  private:
    NotificationCenter& center_;
    const char* name_;
    std::set<QString> seen_;
    std::size_t posted_ = 0;
};

// The key of a record for DeletedPoster: its texts, separated so that no two lists give the same.
QString recordKey(std::initializer_list<QString> fields);

inline bool stopped(const StopCheck& stop) {
    return stop && stop();
}

}  // namespace deleted
}  // namespace nimbara::backup
