#include "privacy/privacy_web.h"

#include <QtGlobal>

#include "backup/backup_folder.h"
#include "backup/record_dates.h"
#include "platform/failure_reason.h"
#include "platform/log_categories.h"
#include "privacy/binary_cookies.h"

namespace nimbara::privacy {

namespace {

using backup::BackupFolder;
using backup::DatabaseSource;
using backup::RecordDatabase;

constexpr const char* kItems = "history_items";
constexpr const char* kVisits = "history_visits";

QString utf8(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The last visit of the row's item, when the visits table can tell it.
std::string lastVisitColumn(SqliteDb& db) {
    if (!backup::hasColumnNamed(db, kVisits, "history_item") ||
        !backup::hasColumnNamed(db, kVisits, "visit_time")) {
        return "NULL";
    }
    return "(SELECT MAX(history_visits.visit_time) FROM history_visits WHERE "
           "history_visits.history_item = history_items.ROWID)";
}

void readHistoryDatabase(const BackupFolder& folder, const DatabaseSource& where,
                         PrivacyList& history, PrivacyReadReport& report, const StopCheck& stop) {
    RecordDatabase database = RecordDatabase::open(folder, where, stop);
    if (database.state() == RecordDatabase::State::Missing) {
        return;
    }
    report.found = true;
    const std::string name = where.relativePath;
    if (database.state() != RecordDatabase::State::Open) {
        report.fail(failureText(name, database.error(), "opening the database"));
        return;
    }
    const std::string problem = database.tableProblem(kItems);
    if (problem == "missing") {
        return;  // a database without the table holds no history
    }
    if (!problem.empty()) {
        report.fail(name + ": " + problem);
        return;
    }
    SqliteDb& db = database.db();
    const std::string sql = "SELECT history_items.ROWID, " +
                            backup::columnOrNull(db, kItems, "url") + ", " +
                            backup::columnOrNull(db, kItems, "visit_count") + ", " +
                            backup::columnOrNull(db, kItems, "domain_expansion") + ", " +
                            lastVisitColumn(db) + " FROM history_items";
    SqliteStatement st = db.prepare(sql);
    if (!st.valid()) {
        report.fail(name + ": the history query failed: " + db.lastError());
        return;
    }
    const auto stored = backup::locateStoredDatabase(folder, where);
    const PrivacySourceRef source =
        makeSource(where, stored, PrivacyFileFormat::Sqlite, kItems, "ROWID");
    const backup::RowsEnd end = backup::forEachRow(st, stop, [&](const SqliteStatement& row) {
        auto node = std::make_shared<PRPrivacyNode>();
        node->setRecordKey(row.columnInt64(0));
        node->setFileURL(row.columnText(1));
        if (const auto count = backup::columnNumber(row, 2)) {
            node->setVisitCount(static_cast<int>(*count));
        }
        if (!row.isNull(3)) {
            node->setFileName(row.columnText(3));
        }
        if (const auto visited = backup::columnNumber(row, 4)) {
            node->setFileDate(backup::recordDateText(backup::referenceDateSeconds(*visited)));
        }
        node->setBSelected(true);
        node->setRecordSource(source);
        history.push_back(std::move(node));
    });
    report.stopped = end == backup::RowsEnd::Stopped;
    if (end == backup::RowsEnd::Failed) {
        report.fail(name + ": " + backup::queryProblem(st, kItems, db));
    }
}

void readCookieFile(const BackupFolder& folder, const DatabaseSource& where, PrivacyList& cookies,
                    PrivacyReadReport& report, const StopCheck& stop) {
    const backup::StoredDatabase stored{backup::locateStoredFile(folder, where.key()), {}};
    if (!stored.exists()) {
        return;
    }
    report.found = true;
    const std::string name = where.relativePath;
    std::string why;
    const std::optional<std::string> bytes =
        folder.readFile(stored.relative, kMaxCookieFileBytes, &why);
    if (!bytes) {
        report.fail(failureText(name + " cannot be read", why, "reading the stored file"));
        return;
    }
    const BinaryCookieFile file = parseBinaryCookies(*bytes);
    if (!file.ok) {
        report.fail(failureText(name, file.error, "reading the cookies"));
        return;
    }
    if (!file.complete()) {
        // What could be read is listed; the damaged records are not cookies anyone can use.
        qCInfo(lcPrivacy, "%s: %zu damaged pages, %zu damaged cookies (%s)", name.c_str(),
               file.damagedPages, file.damagedCookies, file.error.c_str());
    }
    const PrivacySourceRef source = makeSource(where, stored, PrivacyFileFormat::BinaryCookies);
    for (const BinaryCookie& cookie : file.cookies) {
        if (stop && stop()) {
            report.stopped = true;
            return;
        }
        auto node = std::make_shared<PRPrivacyNode>();
        node->setFileURL(utf8(cookie.url));
        node->setFileName(utf8(cookie.name));
        node->setFilePath(utf8(cookie.path));
        node->setFileVaule(utf8(cookie.value));
        node->setBSelected(true);
        node->setRecordSource(source);
        node->setRecordKey(static_cast<std::int64_t>(cookie.ordinal));
        node->setRecordDigest(cookie.digest());
        cookies.push_back(std::move(node));
    }
}

}  // namespace

PrivacyReadReport readSafariHistoryDatabases(const BackupFolder& folder, PrivacyList& history,
                                             const StopCheck& stop) {
    return readEachSource("Safari history database", kSafariHistoryDatabaseSources,
                          [&](const DatabaseSource& where, PrivacyReadReport& report) {
                              readHistoryDatabase(folder, where, history, report, stop);
                          });
}

PrivacyReadReport readSafariCookiesBinaryWithFilePath(const BackupFolder& folder,
                                                      PrivacyList& cookies, const StopCheck& stop) {
    return readEachSource("Safari cookies", kCookieSources,
                          [&](const DatabaseSource& where, PrivacyReadReport& report) {
                              readCookieFile(folder, where, cookies, report, stop);
                          });
}

}  // namespace nimbara::privacy
