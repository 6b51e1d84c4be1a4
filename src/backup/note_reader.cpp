#include "backup/note_reader.h"

#include <QFile>
#include <QtGlobal>

#include <algorithm>
#include <optional>
#include <unordered_map>

#include "backup/backup_scan_readers.h"
#include "backup/contact_reader.h"
#include "backup/note_body.h"
#include "backup/record_dates.h"
#include "backup/record_notifications.h"
#include "platform/log_categories.h"
#include "platform/notification_center.h"

namespace nimbara::backup {

namespace {

using StopCheck = std::function<bool()>;

const std::vector<const DatabaseSource*> kNoteSources = {&kNoteStoreSource, &kNotesDatabaseSource,
                                                         &kOldNotesDatabaseSource};

// The columns every note query gives, in this order (older notes have no attachment).
enum NoteColumn { kUid, kTitle, kDate, kBody, kAttachment };

// How the notes of one database are read: which table, the query, and whether its body column
// holds the key of a store body or the text itself.
struct NoteQuery {
    std::string table;
    SqliteStatement statement;
    bool storeBodies = false;
};

NoteQuery storeQuery(SqliteDb& db) {
    NoteQuery query{"ZICCLOUDSYNCINGOBJECT", {}, true};
    query.statement =
        prepareWantedColumns(db,
                             {{"ZICCLOUDSYNCINGOBJECT", "Z_PK"},
                              {"ZICCLOUDSYNCINGOBJECT", "ZTITLE1"},
                              {"ZICCLOUDSYNCINGOBJECT", "ZMODIFICATIONDATE1"},
                              {"ZICCLOUDSYNCINGOBJECT", "ZNOTEDATA"},
                              {"ZICCLOUDSYNCINGOBJECT", "ZTHUMBNAILATTACHMENTIDENTIFIER"}},
                             "ZICCLOUDSYNCINGOBJECT");
    return query;
}

// ZNOTE's body is the ZNOTEBODY row its ZBODY names (or, in databases without that column, the
// row that names it as owner).
NoteQuery coreDataQuery(SqliteDb& db) {
    NoteQuery query{"ZNOTE", {}, false};
    std::string from = "ZNOTE";
    if (db.objectKind("ZNOTEBODY") == SqliteDb::ObjectKind::Table) {
        if (hasColumnNamed(db, "ZNOTE", "ZBODY")) {
            from += " LEFT JOIN ZNOTEBODY ON ZNOTE.ZBODY = ZNOTEBODY.Z_PK";
        } else if (hasColumnNamed(db, "ZNOTEBODY", "ZOWNER")) {
            from += " LEFT JOIN ZNOTEBODY ON ZNOTEBODY.ZOWNER = ZNOTE.Z_PK";
        } else {
            from += " LEFT JOIN ZNOTEBODY ON ZNOTEBODY.Z_PK = ZNOTE.Z_PK";
        }
    }
    query.statement = prepareWantedColumns(db,
                                           {{"ZNOTE", "Z_PK"},
                                            {"ZNOTE", "ZTITLE"},
                                            {"ZNOTE", "ZMODIFICATIONDATE"},
                                            {"ZNOTEBODY", "ZCONTENT"},
                                            {nullptr, nullptr}},
                                           from);
    return query;
}

NoteQuery oldQuery(SqliteDb& db) {
    NoteQuery query{"note", {}, false};
    std::string from = "note";
    if (db.objectKind("note_bodies") == SqliteDb::ObjectKind::Table) {
        from += " LEFT JOIN note_bodies ON note.ROWID = note_bodies.note_id";
    }
    query.statement = prepareWantedColumns(db,
                                           {{"note", "ROWID"},
                                            {"note", "title"},
                                            {"note", "modification_date"},
                                            {"note_bodies", "data"},
                                            {nullptr, nullptr}},
                                           from);
    return query;
}

// The store bodies of one read: each inflated once, within the database's allowance.
struct StoreBodies {
    SqliteStatement statement;
    NoteBodyAllowance& allowance;
    std::unordered_map<std::int64_t, QString> texts;  // by row id
    // Where Z_PK is no key of the body table (a crafted store), the statement finds a body by
    // the table's own row id, and this gives the row that each Z_PK names.
    std::optional<std::unordered_map<std::int64_t, std::int64_t>> rowOfKey;
};

// True when SQLite would read the whole table to run `sql`, because no key or index serves it.
bool scansWholeTable(SqliteDb& db, const std::string& sql) {
    SqliteStatement plan = db.prepare("EXPLAIN QUERY PLAN " + sql);
    while (plan.valid() && plan.step()) {
        if (plan.columnText(3).startsWith(QLatin1String("SCAN"))) {
            return true;
        }
    }
    return false;
}

// Prepares the look-up of store bodies. A look-up per note that reads the whole body table each
// time would make the read grow with notes times bodies, so without a key on Z_PK the bodies'
// row ids are read once instead. False when the database stopped or failed meanwhile.
bool prepareStoreBodies(SqliteDb& db, StoreBodies& store) {
    const std::string byKey = "SELECT ZDATA FROM ZICNOTEDATA WHERE Z_PK = ?";
    if (!scansWholeTable(db, byKey)) {
        store.statement = db.prepare(byKey);
        return true;
    }
    SqliteStatement keys = db.prepare("SELECT Z_PK, rowid FROM ZICNOTEDATA");
    if (!keys.valid()) {
        return false;
    }
    std::unordered_map<std::int64_t, std::int64_t> rowOfKey;
    while (keys.step()) {
        if (sqlite3_column_type(keys.handle(), 0) == SQLITE_INTEGER) {
            rowOfKey[keys.columnInt64(0)] = keys.columnInt64(1);  // the last row counts
        }
    }
    if (keys.abortReason() != SqliteAbort::None) {
        return false;
    }
    store.rowOfKey = std::move(rowOfKey);
    store.statement = db.prepare("SELECT ZDATA FROM ZICNOTEDATA WHERE rowid = ?");
    return true;
}

// The text of the store body with row id `key`: empty when there is none.
QString storeBody(StoreBodies& store, std::int64_t key) {
    SqliteStatement& bodies = store.statement;
    if (!bodies.valid()) {
        return QString();
    }
    if (const auto known = store.texts.find(key); known != store.texts.end()) {
        return known->second;
    }
    std::int64_t row = key;
    if (store.rowOfKey) {
        const auto named = store.rowOfKey->find(key);
        if (named == store.rowOfKey->end()) {
            return QString();
        }
        row = named->second;
    }
    bodies.reset();
    if (!bodies.bind(1, row)) {
        return QString();
    }
    QByteArray stored;
    bool found = false;
    while (bodies.step()) {  // the last row counts
        stored = bodies.columnBlob(0);
        found = !bodies.isNull(0);
    }
    QString text;
    if (found && !stored.isEmpty()) {
        text = store.allowance.text(stored);
    }
    store.texts.emplace(key, text);
    return text;
}

// The bytes of the open database.
std::uint64_t databaseBytes(SqliteDb& db) {
    SqliteStatement st =
        db.prepare("SELECT page_count * page_size FROM pragma_page_count(), pragma_page_size()");
    return st.valid() && st.step()
               ? static_cast<std::uint64_t>(std::max<std::int64_t>(0, st.columnInt64(0)))
               : 0;
}

std::optional<double> dateColumn(const SqliteStatement& st, int column) {
    if (st.isNull(column)) {
        return std::nullopt;
    }
    if (sqlite3_column_type(st.handle(), column) == SQLITE_INTEGER) {
        return static_cast<double>(st.columnInt64(column));
    }
    bool ok = false;
    const double value = st.columnText(column).trimmed().toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

// The note of one row; null for a store row that is not a note.
std::shared_ptr<PRNoteNode> noteFromRow(const SqliteStatement& st, bool storeBodies,
                                        StoreBodies& bodies) {
    auto node = std::make_shared<PRNoteNode>();
    if (!st.isNull(kUid)) {
        node->setUid(st.columnInt(kUid));
    }
    if (const QString title = st.columnText(kTitle); !title.isEmpty()) {
        node->setNoteTitle(title);
    }
    if (const auto date = dateColumn(st, kDate)) {
        node->setNoteDate(recordDateText(referenceDateSeconds(*date)));
    }
    if (const QString attachment = st.columnText(kAttachment); !attachment.isEmpty()) {
        node->setNoteAttachName(attachment);
    }
    if (!storeBodies) {
        if (const QString content = st.columnText(kBody); !content.isEmpty()) {
            node->setNoteContent(cleanedNoteContent(content));
        }
        return node;
    }
    if (node->noteTitle().isEmpty() || node->noteDate().isEmpty()) {
        return nullptr;
    }
    const QString body = st.isNull(kBody) ? QString() : storeBody(bodies, st.columnInt64(kBody));
    node->setNoteContent(body.isEmpty() ? node->noteTitle() : body);
    return node;
}

template <class Post>
NoteReadResult read(const std::string& backupFolder, const StopCheck& stop,
                    NoteBodyAllowance* sharedAllowance, Post&& post) {
    NoteReadResult result;
    FoundDatabase found = openFirstDatabase(BackupFolder::open(backupFolder), kNoteSources, stop);
    if (found.index < 0) {
        result.ok = true;
        return result;
    }
    RecordDatabase& database = found.database;
    result.databaseFound = true;
    result.fileKey = kNoteSources[found.index]->key();
    if (database.state() != RecordDatabase::State::Open) {
        result.error = "notes: " + database.error();
        return result;
    }
    // The tables tell the layout, whichever file they came in.
    NoteQuery query;
    for (const auto& [table, make] :
         {std::pair{"ZICCLOUDSYNCINGOBJECT", &storeQuery}, std::pair{"ZNOTE", &coreDataQuery},
          std::pair{"note", &oldQuery}}) {
        const std::string problem = database.tableProblem(table);
        if (problem == "missing") {
            continue;
        }
        if (!problem.empty()) {
            result.error = "notes: " + problem;
            return result;
        }
        query = make(database.db());
        break;
    }
    if (query.table.empty()) {
        result.ok = true;  // a database without a notes table holds no notes
        return result;
    }
    if (!query.statement.valid()) {
        result.error = "notes query failed: " + database.db().lastError();
        return result;
    }
    result.table = query.table;
    result.keyColumn = query.table == "note" ? "ROWID" : "Z_PK";
    NoteBodyAllowance ownAllowance;
    NoteBodyAllowance& allowance = sharedAllowance != nullptr ? *sharedAllowance : ownAllowance;
    StoreBodies bodies{SqliteStatement(), allowance, {}, std::nullopt};
    if (query.storeBodies && database.hasTable("ZICNOTEDATA")) {
        allowance.setDatabaseBytes(databaseBytes(database.db()));
        if (!prepareStoreBodies(database.db(), bodies)) {
            result.stopped = stop && stop();
            if (!result.stopped) {
                result.error =
                    "notes: the note bodies could not be read: " + database.db().lastError();
            }
            return result;
        }
    }
    const RowsEnd end = forEachRow(query.statement, stop, [&](const SqliteStatement& row) {
        if (auto note = noteFromRow(row, query.storeBodies, bodies)) {
            result.records.push_back(note);
            post(note);
        }
    });
    result.stopped = end == RowsEnd::Stopped;
    result.error = queryProblem(query.statement, query.table, database.db());
    result.ok = end == RowsEnd::Done;
    return result;
}

NotificationCenter& centerOr(NotificationCenter* center) {
    return center != nullptr ? *center : NotificationCenter::defaultCenter();
}

}  // namespace

QString cleanedNoteContent(QString content) {
    for (const char* markup : {"<div>", "</div>", "&nbsp;", "<br>", "</br>"}) {
        content.replace(QLatin1String(markup), QLatin1String(" "));
    }
    return content;
}

NoteReadResult scanNoteThread(const std::string& backupFolder, NotificationCenter* target,
                              const StopCheck& stop, NoteBodyAllowance* allowance) {
    if (backupFolder.empty()) {
        return {};
    }
    NotificationCenter& center = centerOr(target);
    NoteReadResult result =
        read(backupFolder, stop, allowance,
             [&center](const std::shared_ptr<PRNoteNode>& n) { center.post(kScanNoteInfo, n); });
    if (!result.databaseFound) {
        qCInfo(lcBackup, "messageDB is not exist");
    } else if (result.ok && !result.stopped) {
        center.post(kScanProgressInfo, kNoteScanProgress);
        result.progressPosted = true;
    }
    return result;
}

NoteReadResult scanTransferNoteThread(const std::string& backupFolder, NotificationCenter* target) {
    NotificationCenter& center = centerOr(target);
    NoteReadResult result;
    if (!backupFolder.empty()) {
        result = read(backupFolder, {}, nullptr, [&center](const std::shared_ptr<PRNoteNode>& n) {
            center.post(kScanTransferNoteInfo, n);
        });
    }
    if (!result.databaseFound) {
        qCInfo(lcBackup, "messageDB is not exist");
    } else if (!result.error.empty()) {
        qCWarning(lcBackup, "Notes copy: %s", result.error.c_str());
    }
    center.post(kScanTransferNoteFinished, kNoteScanProgress);
    result.progressPosted = true;
    return result;
}

ScanStepRunner noteStepRunner(const std::shared_ptr<BackupScanRecords>& records) {
    return [records](const ScanStepContext& context) {
        const NoteReadResult result = scanNoteThread(
            QFile::encodeName(context.folder()).toStdString(), &context.center(),
            [&context] { return context.stopRequested(); },
            records ? &records->noteBodies() : nullptr);
        return recordStepReport(result, records.get(), kNoteSources, "notes",
                                QStringLiteral("The notes in this backup could not be read."));
    };
}

}  // namespace nimbara::backup
