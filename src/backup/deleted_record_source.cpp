#include "backup/deleted_record_source.h"

#include <QDebug>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "backup/backup_folder.h"
#include "backup/carver/sqlite_record.h"
#include "backup/carver/sqlite_schema.h"
#include "platform/log_categories.h"

namespace nimbara::backup::deleted {

namespace {

// The work the joins of one database may take: this much per byte of it and its log, and this
// much whatever its size. Joins whose cost follows their input take a small fraction of it.
constexpr std::uint64_t kJoinWorkPerByte = 16;
constexpr std::uint64_t kJoinWorkAlways = std::uint64_t{1} << 22;

std::string lowerCase(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

// The value of a live column as the carver would give it.
std::optional<carver::Value> liveValue(const SqliteStatement& st, int column) {
    carver::Value value;
    switch (sqlite3_column_type(st.handle(), column)) {
        case SQLITE_INTEGER:
            value.kind = carver::Value::Kind::Integer;
            value.integer = st.columnInt64(column);
            return value;
        case SQLITE_FLOAT:
            value.kind = carver::Value::Kind::Real;
            value.real = st.columnDouble(column);
            return value;
        case SQLITE_TEXT:
            value.kind = carver::Value::Kind::Text;
            value.bytes = std::string(st.columnTextView(column));
            return value;
        case SQLITE_BLOB:
            value.kind = carver::Value::Kind::Blob;
            value.bytes = std::string(st.columnBlobView(column));
            return value;
        default:
            return std::nullopt;
    }
}

// The integer that `column = ?` finds a live value equal to, as SQL compares them: a number equal
// to an integer, in a column of numeric or no affinity; in a column of text affinity (where the
// integer is compared as its text) a text that is an integer's decimal text.
std::optional<std::int64_t> keyOf(const SqliteStatement& st, int column,
                                  carver::Affinity affinity) {
    const bool textColumn = affinity == carver::Affinity::Text;
    switch (sqlite3_column_type(st.handle(), column)) {
        case SQLITE_INTEGER:
            return textColumn ? std::nullopt : std::optional<std::int64_t>(st.columnInt64(column));
        case SQLITE_FLOAT: {
            const double real = st.columnDouble(column);
            // Within the range where every double is exactly an int64.
            if (textColumn || !(real >= -9.2e18 && real <= 9.2e18) || std::trunc(real) != real) {
                return std::nullopt;
            }
            return static_cast<std::int64_t>(real);
        }
        case SQLITE_TEXT: {
            if (!textColumn) {
                return std::nullopt;
            }
            const std::string_view text = st.columnTextView(column);
            std::int64_t value = 0;
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), value);
            if (error != std::errc() || end != text.data() + text.size() ||
                std::to_string(value) != text) {
                return std::nullopt;
            }
            return value;
        }
        default:
            return std::nullopt;
    }
}

// The bytes of a database copy and of the log beside it.
std::uint64_t copiedBytes(const std::filesystem::path& database) {
    std::uint64_t bytes = 0;
    for (const std::filesystem::path& file :
         {database, std::filesystem::path(database.string() + "-wal")}) {
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(file, error);
        if (!error) {
            bytes += size;
        }
    }
    return bytes;
}

// A name of the scan's own between double quotes, any quote in it doubled.
std::string sqlName(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

}  // namespace

int columnIndex(const carver::Table* table, std::string_view name) {
    return table == nullptr ? -1 : table->columnIndex(std::string(name));
}

const carver::Value* TableRow::value(int column) const {
    if (column < 0 || static_cast<std::size_t>(column) >= values.size() || !values[column]) {
        return nullptr;
    }
    const carver::Value& v = *values[column];
    return v.kind == carver::Value::Kind::Null ? nullptr : &v;
}

QString textOf(const carver::Value* value) {
    if (value == nullptr) {
        return {};
    }
    switch (value->kind) {
        case carver::Value::Kind::Text:
        case carver::Value::Kind::Blob:
            return QString::fromUtf8(value->bytes.data(),
                                     static_cast<qsizetype>(value->bytes.size()));
        case carver::Value::Kind::Integer:
            return QString::number(value->integer);
        case carver::Value::Kind::Real:
            return QString::number(value->real, 'g', 15);
        case carver::Value::Kind::Null:
            break;
    }
    return {};
}

std::optional<double> numberOf(const carver::Value* value) {
    if (value == nullptr) {
        return std::nullopt;
    }
    switch (value->kind) {
        case carver::Value::Kind::Integer:
            return static_cast<double>(value->integer);
        case carver::Value::Kind::Real:
            return value->real;
        case carver::Value::Kind::Text: {
            bool ok = false;
            const double number = textOf(value).trimmed().toDouble(&ok);
            return ok ? std::optional<double>(number) : std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

std::optional<std::int64_t> integerOf(const carver::Value* value) {
    if (value != nullptr && value->kind == carver::Value::Kind::Integer) {
        return value->integer;
    }
    const auto number = numberOf(value);
    if (!number || !(*number >= -9.2e18 && *number <= 9.2e18)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(*number);
}

QByteArray bytesOf(const carver::Value* value) {
    if (value == nullptr ||
        (value->kind != carver::Value::Kind::Blob && value->kind != carver::Value::Kind::Text)) {
        return {};
    }
    return QByteArray(value->bytes.data(), static_cast<qsizetype>(value->bytes.size()));
}

QString recordKey(std::initializer_list<QString> fields) {
    QString key;
    for (const QString& field : fields) {
        // The length first: no text can run into the next.
        key += QString::number(field.size()) + u':' + field;
    }
    return key;
}

DeletedRowSource::DeletedRowSource(const BackupFolder& folder,
                                   const std::vector<const DatabaseSource*>& sources,
                                   const std::vector<CarvedTable>& tables, const StopCheck& stop) {
    StoredDatabase stored;
    std::string key;
    for (const DatabaseSource* source : sources) {
        stored = locateStoredDatabase(folder, *source);
        if (stored.exists()) {
            key = source->key();
            break;
        }
    }
    if (!stored.exists()) {
        return;  // Missing
    }
    state_ = State::Unreadable;
    // The log stays as stored: its older frames hold rows the folded copy would not.
    copy_ = std::make_unique<DatabaseScratchCopy>(
        folder, stored.relative, storedCompanions(folder, stored.relative, stored.walRelative),
        key + "-deleted", CopyLog::Keep);
    if (copy_->path().empty()) {
        problem_ = "the database could not be copied";
        return;
    }
    std::vector<std::string> names;
    for (const CarvedTable& table : tables) {
        names.emplace_back(table.name);
    }
    carver::CarveReport report = carver::carveDatabaseFile(copy_->path(), names, stop);
    switch (report.status) {
        case carver::CarveReport::Status::Damaged:
            problem_ = "the database could not be carved: " + report.detail;
            return;
        case carver::CarveReport::Status::Stopped:
            state_ = State::Stopped;
            return;
        case carver::CarveReport::Status::Done:
            break;
    }
    if (report.cutShort) {
        // What was found stays; the log says the search did not cover the whole file.
        qCWarning(lcBackup).noquote()
            << "The deleted records of" << QString::fromStdString(stored.relative)
            << "were searched only in part:" << QString::fromStdString(report.detail);
    }
    // The rows are carved: now the copy may take its log in, for the live look-ups.
    copy_->foldLog();
    std::string why;
    auto db = SqliteDb::open(copy_->path(), SqliteDb::Mode::ReadOnly, &why);
    if (!db) {
        problem_ = "the database could not be opened: " + why;
        return;
    }
    db_ = std::move(*db);
    db_.setStopCheck(stop);
    state_ = State::Ready;
    databaseBytes_ = copiedBytes(copy_->path());
    budget_ = carver::WorkBudget(kJoinWorkPerByte * databaseBytes_ + kJoinWorkAlways);
    tables_ = std::move(report.tables);
    fileCarvedRows(std::move(report.rows), tables, stop);
}

DeletedRowSource::DeletedRowSource(std::vector<carver::Table> tables,
                                   std::vector<carver::CarvedRow> rows, std::uint64_t work)
    : state_(State::Ready), budget_(work), tables_(std::move(tables)) {
    std::vector<CarvedTable> carved;
    for (const carver::Table& table : tables_) {
        carved.push_back({table.name.c_str()});
    }
    fileCarvedRows(std::move(rows), carved, {});
}

void DeletedRowSource::fileCarvedRows(std::vector<carver::CarvedRow> rows,
                                      const std::vector<CarvedTable>& tables,
                                      const StopCheck& stop) {
    for (carver::CarvedRow& row : rows) {
        // Each row is a look-up or two in the live table.
        if (stopped(stop)) {
            state_ = State::Stopped;
            return;
        }
        if (!budget_.spend(1)) {
            break;
        }
        const carver::Table* schema = table(row.table);
        if (schema == nullptr) {
            continue;
        }
        const auto wanted = std::find_if(tables.begin(), tables.end(), [&](const CarvedTable& t) {
            return carver::sameName(t.name, schema->name);
        });
        // An older version of a row the table still holds is no deleted record.
        if (hasLiveTwin(*schema, row, wanted == tables.end() ? nullptr : wanted->identity)) {
            continue;
        }
        const std::string name = lowerCase(schema->name);
        std::vector<TableRow>& list = carved_[name];
        if (row.rowid) {
            carvedById_[name].emplace(*row.rowid, list.size());
        }
        list.push_back(TableRow{schema, row.rowid, std::move(row.values)});
    }
}

bool DeletedRowSource::hasLiveTwin(const carver::Table& schema, const carver::CarvedRow& row,
                                   const char* identity) {
    if (!isLiveTable(schema.name)) {
        return false;
    }
    if (row.rowid) {
        SqliteStatement* st =
            statement("SELECT 1 FROM " + sqlName(schema.name) + " WHERE rowid = ?1");
        if (st != nullptr && st->bind(1, *row.rowid) && st->step()) {
            return true;
        }
    }
    if (identity == nullptr) {
        return false;
    }
    const int column = schema.columnIndex(identity);
    if (column < 0 || static_cast<std::size_t>(column) >= row.values.size() ||
        !row.values[column] || row.values[column]->kind != carver::Value::Kind::Text ||
        row.values[column]->bytes.empty()) {
        return false;
    }
    // The live identifiers of the table, read once (a look-up per row could scan the table each
    // time where the column has no index).
    auto known = liveIdentities_.find(lowerCase(schema.name));
    if (known == liveIdentities_.end()) {
        std::unordered_set<std::string> values;
        SqliteStatement st =
            db_.prepare("SELECT " + sqlName(identity) + " FROM " + sqlName(schema.name) +
                        " WHERE " + sqlName(identity) + " IS NOT NULL");
        while (st.valid() && st.step()) {
            values.emplace(st.columnTextView(0));
        }
        known = liveIdentities_.emplace(lowerCase(schema.name), std::move(values)).first;
    }
    return known->second.contains(row.values[column]->bytes);
}

DeletedRowSource::~DeletedRowSource() {
    statements_.clear();  // finalized before their database closes
    db_.close();
}

SqliteStatement* DeletedRowSource::statement(const std::string& sql) {
    auto it = statements_.find(sql);
    if (it == statements_.end()) {
        it = statements_.emplace(sql, db_.prepare(sql)).first;
    }
    if (!it->second.valid()) {
        return nullptr;
    }
    it->second.reset();
    return &it->second;
}

const carver::Table* DeletedRowSource::table(std::string_view name) const {
    const std::string wanted = lowerCase(name);
    for (const carver::Table& table : tables_) {
        if (lowerCase(table.name) == wanted) {
            return &table;
        }
    }
    return nullptr;
}

const std::vector<TableRow>& DeletedRowSource::carved(std::string_view table) const {
    static const std::vector<TableRow> kNone;
    const auto it = carved_.find(lowerCase(table));
    return it == carved_.end() ? kNone : it->second;
}

const TableRow* DeletedRowSource::carvedRow(std::string_view table, std::int64_t rowid) const {
    const std::string name = lowerCase(table);
    const auto byId = carvedById_.find(name);
    if (byId == carvedById_.end()) {
        return nullptr;
    }
    const auto at = byId->second.find(rowid);
    return at == byId->second.end() ? nullptr : &carved_.find(name)->second[at->second];
}

bool DeletedRowSource::isLiveTable(std::string_view table) {
    if (state_ != State::Ready || !db_.isOpen() || this->table(table) == nullptr) {
        return false;
    }
    const std::string name = lowerCase(table);
    auto it = liveTables_.find(name);
    if (it == liveTables_.end()) {
        // Only a real table is read: a view there could run forever.
        it = liveTables_.emplace(name, db_.objectKind(name) == SqliteDb::ObjectKind::Table).first;
    }
    return it->second;
}

std::optional<TableRow> DeletedRowSource::readLiveRow(std::string_view table, std::int64_t rowid) {
    const carver::Table* schema = this->table(table);
    SqliteStatement* st = statement("SELECT rowid, * FROM " + sqlName(table) + " WHERE rowid = ?1");
    if (st == nullptr || !st->bind(1, rowid) || !st->step()) {
        return std::nullopt;
    }
    budget_.spend(1);
    TableRow row{schema, st->columnInt64(0), {}, true};
    row.values.resize(schema->columns.size());
    for (int column = 1; column < st->columnCount(); ++column) {
        const char* name = sqlite3_column_name(st->handle(), column);
        if (const int index = name == nullptr ? -1 : schema->columnIndex(name); index >= 0) {
            row.values[index] = liveValue(*st, column);
        }
    }
    return row;
}

const TableRow* DeletedRowSource::liveRow(std::string_view table, std::int64_t rowid) {
    if (!isLiveTable(table)) {
        return nullptr;
    }
    auto& rows = liveRows_[lowerCase(table)];
    auto it = rows.find(rowid);
    if (it == rows.end()) {
        it = rows.emplace(rowid, readLiveRow(table, rowid)).first;
    }
    return it->second ? &*it->second : nullptr;
}

const TableRow* DeletedRowSource::row(std::string_view table, std::int64_t rowid) {
    const TableRow* live = liveRow(table, rowid);
    return live != nullptr ? live : carvedRow(table, rowid);
}

const std::vector<std::int64_t>& DeletedRowSource::liveRowidsWhere(std::string_view table,
                                                                   const char* column,
                                                                   std::int64_t value) {
    static const std::vector<std::int64_t> kNone;
    const int index = columnIndex(this->table(table), column);
    if (index < 0 || !isLiveTable(table)) {
        return kNone;
    }
    const std::string name = lowerCase(table) + "." + lowerCase(column);
    auto keys = liveKeys_.find(name);
    if (keys == liveKeys_.end()) {
        // Read once: a look-up per row would scan the whole table each time where the column
        // has no index.
        const carver::Affinity affinity =
            carver::affinityOf(this->table(table)->columns[index].declaredType);
        KeyIndex byKey;
        SqliteStatement* st = statement("SELECT rowid, " + sqlName(column) + " FROM " +
                                        sqlName(table) + " ORDER BY rowid");
        while (st != nullptr && st->step() && budget_.spend(1)) {
            if (const auto key = keyOf(*st, 1, affinity)) {
                byKey[*key].push_back(st->columnInt64(0));
            }
        }
        keys = liveKeys_.emplace(name, std::move(byKey)).first;
    }
    const auto found = keys->second.find(value);
    return found == keys->second.end() ? kNone : found->second;
}

std::vector<const TableRow*> DeletedRowSource::liveRowsWhere(std::string_view table,
                                                             const char* column,
                                                             std::int64_t value) {
    std::vector<const TableRow*> rows;
    for (const std::int64_t rowid : liveRowidsWhere(table, column, value)) {
        if (const TableRow* row = liveRow(table, rowid)) {
            rows.push_back(row);
        }
    }
    return rows;
}

}  // namespace nimbara::backup::deleted
