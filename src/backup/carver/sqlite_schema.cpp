#include "backup/carver/sqlite_schema.h"

#include <algorithm>

namespace nimbara::backup::carver {

namespace {

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), upperAscii);
    return out;
}

struct Token {
    enum class Kind { Word, Quoted, Punct, End } kind = Kind::End;
    std::string text;  // a quoted name without its quotes
    bool is(std::string_view keyword) const {
        return kind == Kind::Word && sameName(text, keyword);
    }
    bool punct(char c) const { return kind == Kind::Punct && text.size() == 1 && text[0] == c; }
};

bool wordByte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' ||
           u == '$' || u >= 0x80;
}

// Work a token read takes besides its bytes.
constexpr std::uint64_t kTokenWork = 16;

// SQL tokens: words, quoted names and strings, single punctuation; comments and blanks skipped.
// nullopt once `budget` (when given) is exhausted.
std::optional<std::vector<Token>> tokenize(std::string_view sql, WorkBudget* budget) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    std::size_t counted = 0;
    while (i < sql.size()) {
        if (budget != nullptr && !budget->spend(kTokenWork + i - counted)) {
            return std::nullopt;
        }
        counted = i;
        const char c = sql[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            ++i;
        } else if (sql.substr(i, 2) == "--") {
            i = sql.find('\n', i);
            i = i == std::string_view::npos ? sql.size() : i + 1;
        } else if (sql.substr(i, 2) == "/*") {
            i = sql.find("*/", i + 2);
            i = i == std::string_view::npos ? sql.size() : i + 2;
        } else if (c == '"' || c == '`' || c == '\'' || c == '[') {
            const char close = c == '[' ? ']' : c;
            Token token{Token::Kind::Quoted, {}};
            ++i;
            while (i < sql.size()) {
                if (sql[i] == close) {
                    // A doubled quote stands for itself (not inside brackets).
                    if (close != ']' && i + 1 < sql.size() && sql[i + 1] == close) {
                        token.text += close;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                token.text += sql[i++];
            }
            tokens.push_back(std::move(token));
        } else if (wordByte(c)) {
            Token token{Token::Kind::Word, {}};
            while (i < sql.size() && wordByte(sql[i])) {
                token.text += sql[i++];
            }
            tokens.push_back(std::move(token));
        } else {
            tokens.push_back({Token::Kind::Punct, std::string(1, c)});
            ++i;
        }
    }
    return tokens;
}

bool isConstraintStart(const Token& token) {
    static constexpr std::string_view kWords[] = {"CONSTRAINT", "PRIMARY",   "NOT",     "NULL",
                                                  "UNIQUE",     "CHECK",     "DEFAULT", "COLLATE",
                                                  "REFERENCES", "GENERATED", "AS"};
    return std::any_of(std::begin(kWords), std::end(kWords),
                       [&](std::string_view word) { return token.is(word); });
}

bool isTableConstraint(const Token& token) {
    return token.kind == Token::Kind::Word &&
           (token.is("CONSTRAINT") || token.is("PRIMARY") || token.is("UNIQUE") ||
            token.is("CHECK") || token.is("FOREIGN"));
}

// The tokens of one definition, up to the comma or parenthesis that ends it at depth 0.
using Definition = std::vector<Token>;

struct ColumnDraft {
    Column column;
    bool stored = true;
    bool primaryKey = false;
    bool descending = false;
};

ColumnDraft parseColumn(const Definition& tokens) {
    ColumnDraft draft;
    draft.column.name = tokens[0].text;
    std::size_t i = 1;
    std::string type;
    while (i < tokens.size() && tokens[i].kind == Token::Kind::Word &&
           !isConstraintStart(tokens[i])) {
        type += (type.empty() ? "" : " ") + upper(tokens[i].text);
        ++i;
    }
    if (i < tokens.size() && tokens[i].punct('(') && !type.empty()) {
        int depth = 0;
        do {
            depth += tokens[i].punct('(') ? 1 : tokens[i].punct(')') ? -1 : 0;
            type += tokens[i].kind == Token::Kind::Punct ? tokens[i].text : upper(tokens[i].text);
            ++i;
        } while (i < tokens.size() && depth > 0);
    }
    draft.column.declaredType = type;
    bool generated = false;
    int depth = 0;
    for (; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        if (token.punct('(')) {
            ++depth;
        } else if (token.punct(')')) {
            --depth;
        } else if (depth == 0) {
            if (token.is("PRIMARY") && i + 1 < tokens.size() && tokens[i + 1].is("KEY")) {
                draft.primaryKey = true;
                draft.descending = i + 2 < tokens.size() && tokens[i + 2].is("DESC");
            } else if (token.is("AS")) {
                generated = true;
            } else if (token.is("STORED") && generated) {
                generated = false;
                draft.stored = true;
                continue;
            }
        }
    }
    // A generated column is stored only when it says so.
    if (generated) {
        draft.stored = false;
    }
    return draft;
}

// The column names of a table constraint PRIMARY KEY (...).
std::vector<std::string> primaryKeyColumns(const Definition& tokens) {
    std::size_t i = 0;
    if (tokens[i].is("CONSTRAINT")) {
        i += 2;
    }
    if (i + 2 >= tokens.size() || !tokens[i].is("PRIMARY") || !tokens[i + 1].is("KEY") ||
        !tokens[i + 2].punct('(')) {
        return {};
    }
    std::vector<std::string> names;
    bool expectName = true;
    int depth = 1;
    for (i += 3; i < tokens.size() && depth > 0; ++i) {
        if (tokens[i].punct('(')) {
            ++depth;
        } else if (tokens[i].punct(')')) {
            --depth;
        } else if (depth == 1 && tokens[i].punct(',')) {
            expectName = true;
        } else if (depth == 1 && expectName) {
            names.push_back(tokens[i].text);
            expectName = false;
        }
    }
    return names;
}

}  // namespace

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return upperAscii(x) == upperAscii(y);
           });
}

std::optional<SchemaEntry> schemaEntry(const std::vector<std::optional<Value>>& record) {
    if (record.size() < 5) {
        return std::nullopt;
    }
    const auto text = [&](std::size_t i) -> const std::string* {
        return record[i] && record[i]->kind == Value::Kind::Text ? &record[i]->bytes : nullptr;
    };
    if (!text(0) || !text(1) || !text(2)) {
        return std::nullopt;
    }
    SchemaEntry entry{*text(0), *text(1), *text(2), 0, text(4) ? *text(4) : std::string()};
    if (record[3] && record[3]->kind == Value::Kind::Integer && record[3]->integer > 0 &&
        record[3]->integer <= UINT32_MAX) {
        entry.rootPage = static_cast<std::uint32_t>(record[3]->integer);
    }
    return entry;
}

std::optional<TableDefinition> parseCreateTable(std::string_view sql, WorkBudget* budget) {
    const std::optional<std::vector<Token>> read = tokenize(sql, budget);
    if (!read) {
        return std::nullopt;
    }
    const std::vector<Token>& tokens = *read;
    std::size_t i = 0;
    const auto take = [&](std::string_view word) {
        if (i < tokens.size() && tokens[i].is(word)) {
            ++i;
            return true;
        }
        return false;
    };
    if (!take("CREATE")) {
        return std::nullopt;
    }
    if (!take("TEMP")) {
        take("TEMPORARY");
    }
    if (!take("TABLE")) {
        return std::nullopt;
    }
    if (take("IF")) {
        if (!take("NOT") || !take("EXISTS")) {
            return std::nullopt;
        }
    }
    // [schema .] name
    if (i + 2 < tokens.size() && tokens[i + 1].punct('.')) {
        i += 2;
    }
    if (i >= tokens.size() || tokens[i].kind == Token::Kind::Punct) {
        return std::nullopt;
    }
    ++i;
    if (i >= tokens.size() || !tokens[i].punct('(')) {
        return std::nullopt;
    }
    ++i;

    std::vector<Definition> definitions(1);
    int depth = 0;
    bool closed = false;
    for (; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        if (depth == 0 && token.punct(')')) {
            closed = true;
            ++i;
            break;
        }
        if (depth == 0 && token.punct(',')) {
            definitions.emplace_back();
            continue;
        }
        if (budget != nullptr && !budget->spend(kTokenWork)) {
            return std::nullopt;
        }
        depth += token.punct('(') ? 1 : token.punct(')') ? -1 : 0;
        definitions.back().push_back(token);
    }
    if (!closed) {
        return std::nullopt;
    }

    TableDefinition table;
    for (; i < tokens.size(); ++i) {
        if (tokens[i].is("WITHOUT") && i + 1 < tokens.size() && tokens[i + 1].is("ROWID")) {
            table.withoutRowid = true;
        }
    }
    std::vector<ColumnDraft> drafts;
    std::vector<std::string> tablePrimaryKey;
    for (const Definition& definition : definitions) {
        if (definition.empty() ||
            (budget != nullptr && !budget->spend(kTokenWork * definition.size()))) {
            return std::nullopt;
        }
        if (isTableConstraint(definition[0])) {
            if (std::vector<std::string> names = primaryKeyColumns(definition); !names.empty()) {
                tablePrimaryKey = std::move(names);
            }
            continue;
        }
        if (definition[0].kind == Token::Kind::Punct) {
            return std::nullopt;
        }
        drafts.push_back(parseColumn(definition));
    }
    if (drafts.empty()) {
        return std::nullopt;
    }
    for (ColumnDraft& draft : drafts) {
        const bool keyedByTable =
            tablePrimaryKey.size() == 1 && sameName(tablePrimaryKey[0], draft.column.name);
        draft.column.rowidAlias = !table.withoutRowid && draft.column.declaredType == "INTEGER" &&
                                  ((draft.primaryKey && !draft.descending) || keyedByTable);
        table.columns.push_back(draft.column);
        table.stored.push_back(draft.stored);
    }
    return table;
}

}  // namespace nimbara::backup::carver
