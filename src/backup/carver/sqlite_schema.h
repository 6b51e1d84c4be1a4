// The schema table's rows and the column list of a CREATE TABLE statement.
#pragma once

#include "backup/carver/sqlite_carver.h"
#include "backup/carver/sqlite_record.h"
#include "backup/carver/work_budget.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbara::backup::carver {

struct SchemaEntry {
    std::string type;  // "table", "index", "view", "trigger"
    std::string name;
    std::string tableName;
    std::uint32_t rootPage = 0;
    std::string sql;
};

// A schema row from its decoded record (type, name, tbl_name, rootpage, sql); nullopt when the
// record is not one.
std::optional<SchemaEntry> schemaEntry(const std::vector<std::optional<Value>>& record);

struct TableDefinition {
    std::vector<Column> columns;
    std::vector<bool> stored;  // false for a generated column that is not STORED
    bool withoutRowid = false;
};

// The columns of a CREATE TABLE statement: names unquoted ("x", `x`, [x], 'x'), declared types
// upper-cased with single blanks ("VARCHAR(20)"), table constraints (CONSTRAINT, PRIMARY KEY,
// UNIQUE, CHECK, FOREIGN KEY) and column constraints skipped with whatever they hold in
// parentheses; an INTEGER PRIMARY KEY (but not INTEGER PRIMARY KEY DESC) is the rowid's alias.
// nullopt for anything else. Each token read is spent from `budget` when one is given; nullopt once
// it is exhausted.
std::optional<TableDefinition> parseCreateTable(std::string_view sql, WorkBudget* budget = nullptr);

bool sameName(std::string_view a, std::string_view b);  // ASCII letters compared without case

}  // namespace nimbara::backup::carver
