#include "backup_calls.h"

#include <QByteArray>

#include "backup_notes.h"
#include "backup_source.h"
#include "demo_device_parts.h"
#include "device_path.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "sim_database.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

namespace {

const char* const kCallStoreSchema =
    "CREATE TABLE ZCALLRECORD (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
    "ZANSWERED INTEGER, ZCALL_CATEGORY INTEGER, ZCALLTYPE INTEGER, ZDISCONNECTED_CAUSE INTEGER, "
    "ZFACE_TIME_DATA BLOB, ZHANDLE_TYPE INTEGER, ZNUMBER_AVAILABILITY INTEGER, "
    "ZORIGINATED INTEGER, ZREAD INTEGER, ZDATE TIMESTAMP, ZDURATION FLOAT, ZDEVICE_ID VARCHAR, "
    "ZISO_COUNTRY_CODE VARCHAR, ZLOCATION VARCHAR, ZNAME VARCHAR, ZSERVICE_PROVIDER VARCHAR, "
    "ZUNIQUE_ID VARCHAR, ZADDRESS BLOB);"
    "CREATE INDEX ZCALLRECORD_ZDATE_INDEX ON ZCALLRECORD (ZDATE);"
    "CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, "
    "Z_MAX INTEGER);"
    "CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);";

const char* const kCallDatabaseSchema =
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));"
    "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, "
    "duration INTEGER, flags INTEGER, id INTEGER, name TEXT, country_code TEXT, "
    "network_code TEXT, read INTEGER, assisted INTEGER, face_time_data BLOB, "
    "originalAddress TEXT);"
    "CREATE INDEX date_index ON call(date);";

void writeCallStore(const fs::path& file, const std::vector<BackupCall>& calls,
                    std::size_t rowsInLog) {
    BackupSqliteWriter db(file, kCallStoreSchema);
    SqliteStatement insert = db.prepare(
        "INSERT INTO ZCALLRECORD (Z_PK, Z_ENT, Z_OPT, ZANSWERED, ZCALL_CATEGORY, ZCALLTYPE, "
        "ZHANDLE_TYPE, ZNUMBER_AVAILABILITY, ZORIGINATED, ZREAD, ZDATE, ZDURATION, "
        "ZISO_COUNTRY_CODE, ZSERVICE_PROVIDER, ZUNIQUE_ID, ZADDRESS) "
        "VALUES (?, 2, 1, ?, 1, 1, 2, 0, ?, 1, ?, ?, 'us', 'com.apple.Telephony', ?, ?)");
    db.writeRows(calls, rowsInLog, [&](const BackupCall& call, std::size_t i) {
        const auto pk = static_cast<std::int64_t>(i + 1);
        insert.bind(1, pk);
        insert.bind(2, static_cast<std::int64_t>(call.seconds > 0 ? 1 : 0));
        insert.bind(3, static_cast<std::int64_t>(call.outgoing ? 1 : 0));
        bindReal(insert, 4, since2001(call.unixTime));
        bindReal(insert, 5, call.seconds);
        insert.bind(6, "call-" + std::to_string(pk));
        // The device keeps the address as the bytes of its text.
        if (call.address.empty()) {
            insert.bindNull(7);
        } else {
            insert.bind(7, QByteArray::fromStdString(call.address));
        }
        db.run(insert);
    });
    db.finish();
}

void writeCallDatabase(const fs::path& file, const std::vector<BackupCall>& calls,
                       std::size_t rowsInLog) {
    BackupSqliteWriter db(file, kCallDatabaseSchema);
    SqliteStatement insert = db.prepare(
        "INSERT INTO call (ROWID, address, date, duration, flags, id, read, assisted) "
        "VALUES (?, ?, ?, ?, ?, -1, 1, 0)");
    db.writeRows(calls, rowsInLog, [&](const BackupCall& call, std::size_t i) {
        insert.bind(1, static_cast<std::int64_t>(i + 1));
        bindText(insert, 2, call.address);
        insert.bind(3, call.unixTime);
        insert.bind(4, static_cast<std::int64_t>(call.seconds));
        // 5: a call this device placed; 4: one it received.
        insert.bind(5, static_cast<std::int64_t>(call.outgoing ? 5 : 4));
        db.run(insert);
    });
    db.finish();
}

}  // namespace

void addBackupCallHistory(const SimDeviceBuilder& b, const std::vector<BackupCall>& calls,
                          CallHistoryKind kind, std::size_t rowsInLog) {
    switch (kind) {
        case CallHistoryKind::CallStore:
            writeCallStore(backupDatabaseFile(b.dir(), "HomeDomain",
                                              "Library/CallHistoryDB/CallHistory.storedata"),
                           calls, rowsInLog);
            return;
        case CallHistoryKind::CallDatabase:
            writeCallDatabase(backupDatabaseFile(b.dir(), "WirelessDomain",
                                                 "Library/CallHistory/call_history.db"),
                              calls, rowsInLog);
            return;
        case CallHistoryKind::HomeCallDatabase:
            writeCallDatabase(
                backupDatabaseFile(b.dir(), "HomeDomain", "Library/CallHistory/call_history.db"),
                calls, rowsInLog);
            return;
    }
}

std::vector<BackupCall> demoCalls() {
    using demo::utc;
    return {
        {"+14155550188", utc(2024, 5, 27, 9, 12), 312, true},
        {"+1 (628) 555-0131", utc(2024, 5, 27, 12, 40), 0, false},
        {"+14155550137", utc(2024, 5, 27, 18, 3), 1421, false},
        {"+17075550119", utc(2024, 5, 28, 8, 30), 2530, true},
        {"+18005550199", utc(2024, 5, 28, 11, 15), 95, true},
        {"+15105550164", utc(2024, 5, 28, 19, 47), 0, true},
        {"", utc(2024, 5, 29, 10, 2), 0, false},
        {"+390255501187", utc(2024, 5, 29, 14, 21), 4022, false},
        {"+14155550150", utc(2024, 5, 30, 9, 0), 58, true},
        {"+14155550145", utc(2024, 5, 30, 16, 44), 7384, false},
        {"+16505550123", utc(2024, 5, 31, 13, 5), 0, false},
        {"+14155550110", utc(2024, 6, 1, 11, 26), 64, true},
    };
}

void addDemoCallsAndNotes(const SimDeviceBuilder& b) {
    addBackupCallHistory(b, demoCalls(), CallHistoryKind::CallStore);
    addBackupNotes(b, demoNotes(), NotesKind::NoteStore);
}

}  // namespace nimbara::simdev
