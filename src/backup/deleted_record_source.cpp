#include "backup/deleted_record_source.h"

#include <QDebug>

#include <algorithm>
#include <cctype>

#include "backup/backup_folder.h"
#include "platform/log_categories.h"

namespace nimbara::backup::deleted {

namespace {

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

const carver::Value* TableRow::value(std::string_view column) const {
    if (table == nullptr) {
        return nullptr;
    }
    const int index = table->columnIndex(std::string(column));
    if (index < 0 || static_cast<std::size_t>(index) >= values.size() || !values[index]) {
        return nullptr;
    }
    const carver::Value& v = *values[index];
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
    tables_ = std::move(report.tables);
    for (carver::CarvedRow& row : report.rows) {
        const carver::Table* schema = table(row.table);
        if (schema == nullptr) {
            continue;
        }
        const auto wanted = std::find_if(tables.begin(), tables.end(), [&](const CarvedTable& t) {
            return lowerCase(t.name) == lowerCase(schema->name);
        });
        // An older version of a row the table still holds is no deleted record.
        if (hasLiveTwin(*schema, row, wanted == tables.end() ? nullptr : wanted->identity)) {
            continue;
        }
        carved_[lowerCase(schema->name)].push_back(
            TableRow{schema, row.rowid, std::move(row.values)});
    }
}

bool DeletedRowSource::hasLiveTwin(const carver::Table& schema, const carver::CarvedRow& row,
                                   const char* identity) {
    if (!isLiveTable(schema.name)) {
        return false;
    }
    if (row.rowid) {
        SqliteStatement st =
            db_.prepare("SELECT 1 FROM " + sqlName(schema.name) + " WHERE rowid = ?1");
        if (st.valid() && st.bind(1, *row.rowid) && st.step()) {
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
    db_.close();
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
    for (const TableRow& row : carved(table)) {
        if (row.rowid == rowid) {
            return &row;
        }
    }
    return nullptr;
}

bool DeletedRowSource::isLiveTable(std::string_view table) {
    if (state_ != State::Ready || this->table(table) == nullptr) {
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

std::vector<TableRow> DeletedRowSource::liveRows(std::string_view table, const std::string& where,
                                                 std::int64_t value) {
    std::vector<TableRow> rows;
    if (!isLiveTable(table)) {
        return rows;
    }
    const carver::Table* schema = this->table(table);
    SqliteStatement st = db_.prepare("SELECT rowid, * FROM " + sqlName(table) + " WHERE " + where +
                                     " ORDER BY rowid");
    if (!st.valid() || !st.bind(1, value)) {
        return rows;
    }
    std::vector<int> columnOf;
    for (int column = 1; column < st.columnCount(); ++column) {
        const char* name = sqlite3_column_name(st.handle(), column);
        columnOf.push_back(name == nullptr ? -1 : schema->columnIndex(name));
    }
    while (st.step()) {
        TableRow row{schema, st.columnInt64(0), {}, true};
        row.values.resize(schema->columns.size());
        for (std::size_t i = 0; i < columnOf.size(); ++i) {
            if (columnOf[i] >= 0) {
                row.values[columnOf[i]] = liveValue(st, static_cast<int>(i) + 1);
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<TableRow> DeletedRowSource::liveRow(std::string_view table, std::int64_t rowid) {
    std::vector<TableRow> rows = liveRows(table, "rowid = ?1", rowid);
    if (rows.empty()) {
        return std::nullopt;
    }
    return std::move(rows.front());
}

std::vector<TableRow> DeletedRowSource::liveRowsWhere(std::string_view table, const char* column,
                                                      std::int64_t value) {
    if (!isLiveTable(table) || this->table(table)->columnIndex(column) < 0) {
        return {};
    }
    return liveRows(table, sqlName(column) + " = ?1", value);
}

}  // namespace nimbara::backup::deleted
