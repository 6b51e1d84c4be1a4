// The call history of a simulated device's backup, in the databases and with the table and
// column names the device uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim_device_builder.h"

namespace nimbara::simdev {

struct BackupCall {
    std::string address{};    // as dialled or received; empty for a withheld number
    std::int64_t unixTime{};  // when the call began
    double seconds{};         // how long it lasted; 0: missed (incoming) or cancelled (outgoing)
    bool outgoing{};
};

enum class CallHistoryKind {
    // HomeDomain/Library/CallHistoryDB/CallHistory.storedata (iOS 8 and later): ZCALLRECORD,
    // dates counted from 2001, addresses as BLOBs.
    CallStore,
    // WirelessDomain/Library/CallHistory/call_history.db (iOS 4 to 7): `call`, Unix dates.
    CallDatabase,
    // HomeDomain/Library/CallHistory/call_history.db (before iOS 4): the same table.
    HomeCallDatabase,
};

// Writes the calls (row ids from 1, in order) into the database of `kind`, replacing an earlier
// one. The last `rowsInLog` calls stay in the database's "-wal" companion. Throws
// std::runtime_error when SQLite fails.
void addBackupCallHistory(const SimDeviceBuilder& b, const std::vector<BackupCall>& calls,
                          CallHistoryKind kind = CallHistoryKind::CallStore,
                          std::size_t rowsInLog = 0);

// The demo iPhone's recent calls: received, dialled, missed and cancelled, with the demo's
// contacts and a few unknown numbers.
std::vector<BackupCall> demoCalls();

// The demo iPhone's call store and note store.
void addDemoCallsAndNotes(const SimDeviceBuilder& b);

}  // namespace nimbara::simdev
