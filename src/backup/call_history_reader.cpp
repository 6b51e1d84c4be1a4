#include "backup/call_history_reader.h"

#include <QFile>
#include <QtGlobal>

#include <cmath>
#include <limits>

#include "backup/backup_scan_readers.h"
#include "backup/record_dates.h"
#include "backup/record_notifications.h"
#include "platform/log_categories.h"
#include "platform/notification_center.h"
#include "ui/core/text_utilities.h"

namespace nimbara::backup {

namespace {

using StopCheck = std::function<bool()>;

// One layout of the call history: where its rows are and how its columns read.
struct CallLayout {
    const char* table;
    std::vector<WantedColumn> columns;  // row id, address, date, duration, direction
    bool dateFrom2001;                  // the store counts from 2001, the database in Unix seconds
    bool (*outgoing)(std::int64_t direction);
};

enum CallColumn { kRowId, kAddress, kDate, kDuration, kDirection };

const CallLayout kStoreLayout{"ZCALLRECORD",
                              {{"ZCALLRECORD", "Z_PK"},
                               {"ZCALLRECORD", "ZADDRESS"},
                               {"ZCALLRECORD", "ZDATE"},
                               {"ZCALLRECORD", "ZDURATION"},
                               {"ZCALLRECORD", "ZORIGINATED"}},
                              true,
                              [](std::int64_t originated) { return originated == 1; }};

const CallLayout kTableLayout{"call",
                              {{"call", "ROWID"},
                               {"call", "address"},
                               {"call", "date"},
                               {"call", "duration"},
                               {"call", "flags"}},
                              false,
                              [](std::int64_t flags) { return flags == 5; }};

struct CallSource {
    const DatabaseSource* source;
    const CallLayout* layout;
};

const CallSource kCallSources[] = {{&kCallStoreSource, &kStoreLayout},
                                   {&kCallDatabaseSource, &kTableLayout},
                                   {&kHomeCallDatabaseSource, &kTableLayout}};

// A number column, nullopt for NULL or a text that is no number; a BLOB counts as its text.
std::optional<double> numberColumn(const SqliteStatement& st, int column) {
    switch (sqlite3_column_type(st.handle(), column)) {
        case SQLITE_NULL:
            return std::nullopt;
        case SQLITE_INTEGER:
            return static_cast<double>(st.columnInt64(column));
        case SQLITE_FLOAT:
            return st.columnDouble(column);
        default: {
            bool ok = false;
            const double value = st.columnText(column).trimmed().toDouble(&ok);
            return ok ? std::optional<double>(value) : std::nullopt;
        }
    }
}

// The address, whether stored as text or (as often) as a BLOB of its text bytes.
QString addressColumn(const SqliteStatement& st, int column) {
    QString address = st.columnText(column);
    address.remove(QChar(u'\0'));
    return address.trimmed();
}

int wholeSeconds(double value) {
    if (!std::isfinite(value) || value <= 0) {
        return 0;
    }
    return value >= std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                                    : static_cast<int>(value);
}

std::shared_ptr<PRCallHistoryNode> callFromRow(const SqliteStatement& st, const CallLayout& layout,
                                               const ContactList& contacts) {
    auto node = std::make_shared<PRCallHistoryNode>();
    if (!st.isNull(kRowId)) {
        node->setRowid(st.columnInt(kRowId));
    }
    if (const QString address = addressColumn(st, kAddress); !address.isEmpty()) {
        node->setCallPhone(address);
    }
    if (const auto date = numberColumn(st, kDate)) {
        const std::optional<double> began =
            layout.dateFrom2001 ? referenceDateSeconds(*date) : unixSeconds(*date);
        node->setCallDate(recordDateText(began));
        if (began) {
            node->setCallTimestamp(*began);
        }
    }
    const auto direction = numberColumn(st, kDirection);
    const bool outgoing = direction && layout.outgoing(static_cast<std::int64_t>(*direction));
    node->setCallType(outgoing ? QStringLiteral("Outgoing") : QStringLiteral("Incoming"));
    if (const auto duration = numberColumn(st, kDuration)) {
        const int seconds = wholeSeconds(*duration);
        node->setCallTime(seconds);
        node->setCallDuration(seconds != 0 ? shell::getCallHistoryDuration(seconds)
                              : outgoing   ? QStringLiteral("Cancelled")
                                           : QStringLiteral("Missed"));
    }
    if (const QString name = shell::getNameByPhoneNumber(node->callPhone(), contacts);
        !name.isEmpty()) {
        node->setCallName(name);
    }
    return node;
}

std::vector<const DatabaseSource*> callSources() {
    std::vector<const DatabaseSource*> sources;
    for (const CallSource& candidate : kCallSources) {
        sources.push_back(candidate.source);
    }
    return sources;
}

// Reads the first call history the backup holds; `post` is called for each call, in order.
template <class Post>
CallHistoryReadResult read(const std::string& backupFolder, const ContactList& contacts,
                           const StopCheck& stop, Post&& post) {
    CallHistoryReadResult result;
    FoundDatabase found = openFirstDatabase(BackupFolder::open(backupFolder), callSources(), stop);
    if (found.index < 0) {
        result.ok = true;  // no call history: nothing to read
        return result;
    }
    const CallSource& source = kCallSources[found.index];
    RecordDatabase& database = found.database;
    result.databaseFound = true;
    result.fileKey = source.source->key();
    if (database.state() != RecordDatabase::State::Open) {
        result.error = "call history: " + database.error();
        return result;
    }
    const CallLayout& layout = *source.layout;
    const std::string problem = database.tableProblem(layout.table);
    if (problem == "missing") {
        result.ok = true;  // a database without the table holds no calls
        return result;
    }
    if (!problem.empty()) {
        result.error = "call history: " + problem;
        return result;
    }
    result.table = layout.table;
    result.keyColumn = layout.columns[kRowId].column;
    SqliteStatement st = prepareWantedColumns(database.db(), layout.columns, layout.table);
    if (!st.valid()) {
        result.error = "call history query failed: " + database.db().lastError();
        return result;
    }
    const RowsEnd end = forEachRow(st, stop, [&](const SqliteStatement& row) {
        auto call = callFromRow(row, layout, contacts);
        result.records.push_back(call);
        post(call);
    });
    result.stopped = end == RowsEnd::Stopped;
    result.error = queryProblem(st, layout.table, database.db());
    result.ok = end == RowsEnd::Done;
    return result;
}

NotificationCenter& centerOr(NotificationCenter* center) {
    return center != nullptr ? *center : NotificationCenter::defaultCenter();
}

}  // namespace

CallHistoryReadResult scanCallHistoryThread(const std::string& backupFolder,
                                            const ContactList& contacts, NotificationCenter* target,
                                            const StopCheck& stop) {
    if (backupFolder.empty()) {
        return {};
    }
    NotificationCenter& center = centerOr(target);
    CallHistoryReadResult result =
        read(backupFolder, contacts, stop, [&center](const std::shared_ptr<PRCallHistoryNode>& c) {
            center.post(kScanCallHistoryInfo, c);
        });
    // Without a call history, or after a stop, the scan posts what it must itself.
    if (result.ok && result.databaseFound && !result.stopped) {
        center.post(kScanProgressInfo, kCallHistoryScanProgress);
        result.progressPosted = true;
    }
    return result;
}

CallHistoryReadResult scanTransferCallLogThread(const std::string& backupFolder,
                                                const ContactList& contacts,
                                                NotificationCenter* target) {
    NotificationCenter& center = centerOr(target);
    CallHistoryReadResult result;
    if (!backupFolder.empty()) {
        result = read(backupFolder, contacts, {},
                      [&center](const std::shared_ptr<PRCallHistoryNode>& c) {
                          center.post(kScanCopyCallLogInfo, c);
                      });
    }
    if (!result.error.empty()) {
        qCWarning(lcBackup, "Call history copy: %s", result.error.c_str());
    }
    center.post(kScanCopyCallLogInfoFinished);
    result.progressPosted = true;
    return result;
}

ScanStepRunner callHistoryStepRunner(const std::shared_ptr<BackupScanRecords>& records) {
    return [records](const ScanStepContext& context) {
        const CallHistoryReadResult result =
            scanCallHistoryThread(QFile::encodeName(context.folder()).toStdString(),
                                  records ? records->contacts() : ContactList{}, &context.center(),
                                  [&context] { return context.stopRequested(); });
        return recordStepReport(
            result, records.get(), callSources(), "call history",
            QStringLiteral("The call history in this backup could not be read."));
    };
}

}  // namespace nimbara::backup
