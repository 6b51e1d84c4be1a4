#include "privacy/privacy_scan.h"

#include "backup/backup_folder.h"
#include "platform/log_categories.h"
#include "privacy/photo_positions.h"
#include "privacy/privacy_plists.h"
#include "privacy/privacy_web.h"

namespace nimbara::privacy {

namespace {

bool stopRequested(const PrivacyScanOptions& options) {
    return options.stop && options.stop();
}

void announce(const PrivacyScanOptions& options, PrivacyScanStep step) {
    if (options.stepStarted) {
        options.stepStarted(step);
    }
}

// Keeps a step's report; false when the scan is to end here.
bool keep(PrivacyScanResult& result, const PrivacyReadReport& report,
          const PrivacyScanOptions& options) {
    result.reports.push_back(report);
    if (!report.ok) {
        qCWarning(lcPrivacy, "Privacy scan: %s: %s", report.family.c_str(), report.error.c_str());
    }
    result.stopped = report.stopped || stopRequested(options);
    return !result.stopped;
}

}  // namespace

std::vector<PrivacyReadReport> PrivacyScanResult::problems() const {
    std::vector<PrivacyReadReport> out;
    for (const PrivacyReadReport& report : reports) {
        if (!report.ok) {
            out.push_back(report);
        }
    }
    return out;
}

void ReadSqliteDataFromBackup(PrivacyScanResult& result, const PrivacyScanOptions& options) {
    const std::string& path = result.backupFolder;
    const StopCheck& stop = options.stop;
    const backup::BackupFolder folder = backup::BackupFolder::open(path);

    announce(options, PrivacyScanStep::Contacts);
    result.contacts = scanContactThread(path, stop);
    if (!keep(result, result.contacts.report, options)) {
        return;
    }
    announce(options, PrivacyScanStep::Messages);
    result.messages = readMessageDBWithPath(path, result.contacts.records, result.files, stop);
    result.allScanFileNumber += result.messages.messages.size();
    if (!keep(result, result.messages.report, options)) {
        return;
    }
    announce(options, PrivacyScanStep::SafariHistory);
    PrivacyList& history = result.safariBroswerHistoryArray;
    const std::size_t before = history.size();
    if (!keep(result, readSafariHistoryLists(folder, history, stop), options) ||
        !keep(result, readSafariHistoryDatabases(folder, history, stop), options)) {
        return;
    }
    result.allScanFileNumber += history.size() - before;
    announce(options, PrivacyScanStep::Cookies);
    if (!keep(result,
              readSafariCookiesBinaryWithFilePath(folder, result.safariSearchHistoryArray, stop),
              options)) {
        return;
    }
    announce(options, PrivacyScanStep::WifiNetworks);
    const PrivacyReadReport wifi =
        readWifiConnectionWithPath(folder, result.wifiConnectArray, stop);
    result.allScanFileNumber += result.wifiConnectArray.size();
    if (!keep(result, wifi, options)) {
        return;
    }
    announce(options, PrivacyScanStep::PhotoPositions);
    if (!keep(result,
              readGPSLocationWithPath(folder, result.files.PhotoPrivacyArray,
                                      result.gpsLocationArray, stop),
              options)) {
        return;
    }
    announce(options, PrivacyScanStep::Notes);
    result.notes = readNoteSqliteWithPath(path, stop);
    result.allScanFileNumber += result.notes.records.size();
    if (!keep(result, result.notes.report, options)) {
        return;
    }
    announce(options, PrivacyScanStep::Calls);
    result.calls = readCallHistorySqliteWithPath(path, result.contacts.records, stop);
    result.allScanFileNumber += result.calls.records.size();
    keep(result, result.calls.report, options);
}

PrivacyScanResult readPrivacyBackup(const std::string& backupFolder,
                                    const PrivacyScanOptions& options) {
    PrivacyScanResult result;
    result.backupFolder = backupFolder;
    announce(options, PrivacyScanStep::CheckBackup);
    result.backup = ReadManifestEncyptedwithPath(backupFolder);
    if (result.refused()) {
        return result;
    }
    if (stopRequested(options)) {
        result.stopped = true;
        return result;
    }
    announce(options, PrivacyScanStep::FileList);
    result.files = scanBackupDataAnalyThread(backupFolder, options.stop);
    PrivacyReadReport list("file list");
    list.found = result.files.found();
    if (!result.files.error.empty()) {
        list.fail(result.files.error);
    }
    list.stopped = result.files.stopped;
    result.allScanFileNumber = result.files.fileCount;
    result.allScanFileSize = result.files.fileBytes;
    if (!keep(result, list, options)) {
        return result;
    }
    ReadSqliteDataFromBackup(result, options);
    return result;
}

}  // namespace nimbara::privacy
