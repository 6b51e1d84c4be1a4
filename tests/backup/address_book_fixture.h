// Builds small address-book and contact-picture databases for the contact reader tests, with the
// tables and columns the reader queries.
#pragma once

#include "backup/sqlite_db.h"

#include <QByteArray>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace nimbara::test {

class SqlFixture {
  public:
    explicit SqlFixture(const std::filesystem::path& file) {
        auto db = SqliteDb::open(file.string(), SqliteDb::Mode::ReadWriteCreate);
        if (!db) {
            throw std::runtime_error("cannot create " + file.string());
        }
        db_ = std::move(*db);
    }
    void exec(const std::string& sql) {
        if (!db_.exec(sql)) {
            throw std::runtime_error(db_.lastError());
        }
    }
    SqliteDb& db() { return db_; }

  private:
    SqliteDb db_;
};

class AddressBookFixture : public SqlFixture {
  public:
    explicit AddressBookFixture(const std::filesystem::path& file, bool withMultiValues = true)
        : SqlFixture(file) {
        exec(
            "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, "
            "Last TEXT, Middle TEXT, FirstPhonetic TEXT, MiddlePhonetic TEXT, "
            "LastPhonetic TEXT, Organization TEXT, Department TEXT, Note TEXT, Kind INTEGER, "
            "Birthday TEXT, JobTitle TEXT, Nickname TEXT, Prefix TEXT, Suffix TEXT, "
            "DisplayName TEXT, CreationDate INTEGER)");
        if (withMultiValues) {
            exec(
                "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, "
                "property INTEGER, identifier INTEGER, label INTEGER, value TEXT)");
        }
    }

    struct Person {
        std::optional<std::int64_t> rowid;
        const char* first = nullptr;
        const char* middle = nullptr;
        const char* last = nullptr;
        const char* department = nullptr;
        const char* organization = nullptr;
        const char* jobTitle = nullptr;
        const char* note = nullptr;
        const char* birthday = nullptr;
    };

    void addPerson(const Person& p) {
        SqliteStatement st = db().prepare(
            "INSERT INTO ABPerson (ROWID, First, Middle, Last, Department, Organization, "
            "JobTitle, Note, Birthday) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
        if (p.rowid) {
            st.bind(1, *p.rowid);
        } else {
            st.bindNull(1);
        }
        const char* texts[] = {p.first,        p.middle,   p.last, p.department,
                               p.organization, p.jobTitle, p.note, p.birthday};
        for (int i = 0; i < 8; ++i) {
            if (texts[i] != nullptr) {
                st.bind(i + 2, std::string(texts[i]));
            } else {
                st.bindNull(i + 2);
            }
        }
        if (st.step() || !st.done()) {
            throw std::runtime_error(db().lastError());
        }
    }

    // A value whose label is the row `label` of ABMultiValueLabel (labels() makes the table).
    void addValue(std::int64_t recordId, int property, const char* value, std::int64_t label = 1) {
        SqliteStatement st = db().prepare(
            "INSERT INTO ABMultiValue (record_id, property, label, value) VALUES (?1, ?2, ?4, "
            "?3)");
        st.bind(1, recordId);
        st.bind(2, static_cast<std::int64_t>(property));
        if (value != nullptr) {
            st.bind(3, std::string(value));
        } else {
            st.bindNull(3);
        }
        st.bind(4, label);
        if (st.step() || !st.done()) {
            throw std::runtime_error(db().lastError());
        }
    }
    // The label table, its rows numbered from 1 in the order given.
    void labels(const std::vector<std::string>& texts) {
        exec("CREATE TABLE ABMultiValueLabel (value TEXT, UNIQUE(value))");
        for (const std::string& text : texts) {
            SqliteStatement st = db().prepare("INSERT INTO ABMultiValueLabel (value) VALUES (?1)");
            st.bind(1, text);
            if (st.step() || !st.done()) {
                throw std::runtime_error(db().lastError());
            }
        }
    }
};

class ContactImagesFixture : public SqlFixture {
  public:
    explicit ContactImagesFixture(const std::filesystem::path& file) : SqlFixture(file) {
        exec(
            "CREATE TABLE ABFullSizeImage (ROWID INTEGER PRIMARY KEY, record_id INTEGER, "
            "crop_x INTEGER, crop_y INTEGER, crop_width INTEGER, data BLOB)");
    }
    void addImage(std::int64_t recordId, const QByteArray& data) {
        SqliteStatement st =
            db().prepare("INSERT INTO ABFullSizeImage (record_id, data) VALUES (?1, ?2)");
        st.bind(1, recordId);
        st.bind(2, data);
        if (st.step() || !st.done()) {
            throw std::runtime_error(db().lastError());
        }
    }
};

}  // namespace nimbara::test
