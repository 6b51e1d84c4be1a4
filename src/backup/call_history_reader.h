// The call history readers: the calls of a backup become PRCallHistoryNode records.
//
// A device keeps its calls in one of three places, newest first: the call store of iOS 8 and
// later (table ZCALLRECORD, dates counted from 2001), and the older call database (table `call`,
// dates in Unix seconds) under the wireless domain or, earlier still, the home domain. Both
// readers take the first of them the backup holds.
//
// Plain reader (backup browser): "ScanCallHistoryInfo" per call, then "ScanProgressInfo" with
// the int 60; nothing at all when the backup has no call history. Copy reader (one-click copy
// page): "scanCopyCallLogInfo" per call, then "scanCopyCallLogInfoFinished" with no object, which
// it always posts, whatever went wrong, so that a page waiting on it never waits forever. The
// object of a per-call notification is a std::shared_ptr<PRCallHistoryNode>.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backup/backup_scan.h"
#include "backup/contact_reader.h"
#include "backup/pr_call_history_node.h"
#include "backup/record_database.h"

namespace nimbara {
class NotificationCenter;
}

namespace nimbara::backup {

class BackupScanRecords;

inline constexpr const char* kScanCopyCallLogInfo = "scanCopyCallLogInfo";
inline constexpr const char* kScanCopyCallLogInfoFinished = "scanCopyCallLogInfoFinished";
inline constexpr int kCallHistoryScanProgress = 60;

// The call store, and the call database in the wireless and in the home domain.
inline constexpr DatabaseSource kCallStoreSource{"HomeDomain",
                                                 "Library/CallHistoryDB/CallHistory.storedata"};
inline constexpr DatabaseSource kCallDatabaseSource{"WirelessDomain",
                                                    "Library/CallHistory/call_history.db"};
inline constexpr DatabaseSource kHomeCallDatabaseSource{"HomeDomain",
                                                        "Library/CallHistory/call_history.db"};

using CallList = std::vector<std::shared_ptr<PRCallHistoryNode>>;

using CallHistoryReadResult = RecordReadResult<PRCallHistoryNode>;

// The plain reader over a backup folder. Names come from `contacts` (the scan's address book).
// `stop` (may be empty) is checked between rows and while a query runs.
CallHistoryReadResult scanCallHistoryThread(const std::string& backupFolder,
                                            const ContactList& contacts,
                                            NotificationCenter* center = nullptr,
                                            const std::function<bool()>& stop = {});
// The copy reader, on the calling thread.
CallHistoryReadResult scanTransferCallLogThread(const std::string& backupFolder,
                                                const ContactList& contacts,
                                                NotificationCenter* center = nullptr);

// The backup scan's call history step: contacts from the scan's records.
ScanStepRunner callHistoryStepRunner(const std::shared_ptr<BackupScanRecords>& records);

}  // namespace nimbara::backup
