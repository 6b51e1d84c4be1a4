#include "backup/bookmark_reader.h"

#include "backup/backup_folder.h"
#include "backup/backup_scan_readers.h"
#include "backup/record_database.h"
#include "backup/record_notifications.h"
#include "platform/log_categories.h"
#include "platform/notification_center.h"
#include "platform/plist_value.h"

#include <QFile>
#include <QtGlobal>

#include <vector>

namespace nimbara::backup {

namespace {

using StopCheck = std::function<bool()>;

constexpr const char* kSafariDomain = "HomeDomain";
constexpr const char* kBookmarksDatabasePath = "Library/Safari/Bookmarks.db";

// Folders of the device's own that are no bookmarks of the user's.
bool isHiddenFolder(const QString& title) {
    return title == QLatin1String("Root") || title == QLatin1String("com.apple.ReadingList");
}

bool stopped(const StopCheck& stop) {
    return stop && stop();
}

std::shared_ptr<PRBookMarkNode> makeNode(const QString& title, const QString& url) {
    auto node = std::make_shared<PRBookMarkNode>();
    // An empty value changes nothing: the node keeps its empty default.
    if (!title.isEmpty()) {
        node->setBookMarkTitle(title);
    }
    if (!url.isEmpty()) {
        node->setBookMarkURL(url);
    }
    return node;
}

QString plistText(const PlistValue& value) {
    return QString::fromStdString(value.toString());
}

// One read: posts each record as it is made and keeps it in the result.
class BookMarkRead {
  public:
    BookMarkRead(const BackupFolder& folder, StopCheck stop,
                 std::function<void(const std::shared_ptr<PRBookMarkNode>&)> post)
        : folder_(folder), stop_(std::move(stop)), post_(std::move(post)) {}

    bool add(std::shared_ptr<PRBookMarkNode> node) {
        if (stopped(stop_)) {
            result.stopped = true;
            return false;
        }
        post_(node);
        result.records.push_back(std::move(node));
        return true;
    }

    // The bookmarks database's rows in table order.
    void readDatabase(const StoredDatabase& stored) {
        PrivateDatabaseCopy copy(folder_, stored, kBookmarksDatabaseKey);
        if (copy.path().empty()) {
            result.error = "bookmarks database could not be copied";
            return;
        }
        std::string why;
        auto db = openPrivateCopy(copy, stop_, why);
        if (!db) {
            result.error = "bookmarks database could not be opened: " + why;
            return;
        }
        if (std::string problem = schemaProblem(*db); !problem.empty()) {
            result.error = "bookmarks database: " + problem;
            return;
        }
        if (db->objectKind("bookmarks") == SqliteDb::ObjectKind::Missing) {
            return;  // a database without the table holds no bookmarks
        }
        if (std::string problem = tableProblem(*db, "bookmarks"); !problem.empty()) {
            result.error = "bookmarks database: " + problem;
            return;
        }
        SqliteStatement st =
            db->prepare("SELECT " + columnOrNull(*db, "bookmarks", "title") + ", " +
                        columnOrNull(*db, "bookmarks", "url") + " FROM bookmarks");
        if (!st.valid()) {
            result.error = "bookmarks query failed: " + db->lastError();
            return;
        }
        while (st.step()) {
            const QString title = st.columnText(0);
            if (isHiddenFolder(title)) {
                continue;
            }
            if (!add(makeNode(title, st.columnText(1)))) {
                return;
            }
        }
        if (st.abortReason() == SqliteAbort::Stopped) {
            result.stopped = true;
            return;
        }
        if (std::string problem = queryProblem(st, "bookmarks", *db); !problem.empty()) {
            result.error = "bookmarks database: " + problem;
        }
    }

    // The older bookmarks property list: folders and bookmarks, depth first, in list order.
    void readPlist(const std::string& relative) {
        std::string why;
        const std::optional<PlistValue> list = readDictionary(relative, why);
        if (!list) {
            result.error = "bookmarks list could not be read: " + why;
            return;
        }
        walk(*list);
    }

    void walk(const PlistValue& folder) {
        for (const PlistValue& child : folder["Children"].toArray()) {
            if (!child.isDict()) {
                continue;
            }
            const std::string& type = child["WebBookmarkType"].toString();
            if (type == "WebBookmarkTypeLeaf") {
                QString title = plistText(child["URIDictionary"]["title"]);
                if (title.isEmpty()) {
                    title = plistText(child["Title"]);
                }
                if (!add(makeNode(title, plistText(child["URLString"])))) {
                    return;
                }
            } else if (type == "WebBookmarkTypeList") {
                const QString title = plistText(child["Title"]);
                if (!isHiddenFolder(title) && !add(makeNode(title, QString()))) {
                    return;
                }
                // The list was refused at parsing when it nests deeper than any device writes.
                walk(child);
                if (result.stopped) {
                    return;
                }
            }
        }
    }

    // The history list's entries in order: the address under the empty key, the title under
    // "title".
    void readHistory() {
        const std::string relative = locateStoredFile(folder_, kSafariHistoryKey);
        if (relative.empty()) {
            qCInfo(lcBackup, "bookMarkPlistPath not find");
            return;
        }
        result.historyFound = true;
        std::string why;
        const std::optional<PlistValue> list = readDictionary(relative, why);
        if (!list) {
            result.historyError = "history list could not be read: " + why;
            return;
        }
        for (const PlistValue& entry : (*list)["WebHistoryDates"].toArray()) {
            if (!entry.isDict()) {
                continue;
            }
            if (!add(makeNode(plistText(entry["title"]), plistText(entry[""])))) {
                return;
            }
        }
    }

    BookMarkReadResult result;

  private:
    // The property list stored as `relative`, parsed as one (never handed to SQLite), when it
    // is a dictionary; else nullopt and the reason in `why`.
    std::optional<PlistValue> readDictionary(const std::string& relative, std::string& why) const {
        UniqueFd fd = folder_.openFile(relative, &why);
        if (!fd.valid()) {
            return std::nullopt;
        }
        std::optional<PlistValue> list = PlistValue::readOpenFile(fd.get(), &why);
        if (list && !list->isDict()) {
            why = "not a dictionary";
            return std::nullopt;
        }
        return list;
    }

    const BackupFolder& folder_;
    StopCheck stop_;
    std::function<void(const std::shared_ptr<PRBookMarkNode>&)> post_;
};

BookMarkReadResult readBookMarks(const std::string& backupFolder, const StopCheck& stop,
                                 std::function<void(const std::shared_ptr<PRBookMarkNode>&)> post) {
    const BackupFolder folder = BackupFolder::open(backupFolder);
    BookMarkRead read(folder, stop, std::move(post));
    if (backupFolder.empty() || !folder.isOpen()) {
        return std::move(read.result);
    }
    const StoredDatabase database =
        locateStoredDatabase(folder, kBookmarksDatabaseKey, kSafariDomain, kBookmarksDatabasePath);
    const std::string plist =
        database.exists() ? std::string() : locateStoredFile(folder, kBookmarksPlistKey);
    if (database.exists() || !plist.empty()) {
        read.result.bookmarksFound = true;
        if (database.exists()) {
            read.readDatabase(database);
        } else {
            read.readPlist(plist);
        }
    } else {
        // No bookmarks; the history is a file of its own.
        qCInfo(lcBackup, "messageDB is not exist");
    }
    if (!read.result.stopped) {
        read.readHistory();
    }
    return std::move(read.result);
}

}  // namespace

BookMarkReadResult scanBookMarkThread(const std::string& backupFolder, NotificationCenter* center,
                                      const std::function<bool()>& stop) {
    NotificationCenter& target = center != nullptr ? *center : NotificationCenter::defaultCenter();
    return readBookMarks(backupFolder, stop, [&target](const std::shared_ptr<PRBookMarkNode>& n) {
        target.post(kScanBookMarkInfo, n);
    });
}

BookMarkReadResult scanTransferBookMarkThread(const std::string& backupFolder,
                                              NotificationCenter* center) {
    NotificationCenter& target = center != nullptr ? *center : NotificationCenter::defaultCenter();
    BookMarkReadResult result =
        readBookMarks(backupFolder, {}, [&target](const std::shared_ptr<PRBookMarkNode>& n) {
            target.post(kScanCopyBookMarkInfo, n);
        });
    // The page waiting for it ends its wait here, whatever was found.
    target.post(kScanCopyBookMarkFinished);
    result.finishedPosted = true;
    return result;
}

// A backup without bookmarks or history has none: no damage. One that lists them without
// holding them is incomplete. Only files that are there and cannot be read fail the step.
ScanStepRunner bookMarkStepRunner(const std::shared_ptr<BackupScanRecords>& records) {
    return [records](const ScanStepContext& context) {
        const BookMarkReadResult result =
            scanBookMarkThread(QFile::encodeName(context.folder()).toStdString(), &context.center(),
                               [&context] { return context.stopRequested(); });
        if (result.stopped) {
            return ScanStepReport{ScanStepOutcome::Stopped, QString()};
        }
        auto listed = [&records](const char* key) { return records && records->isListed(key); };
        ScanStepReport report;
        report.incomplete = (!result.bookmarksFound &&
                             (listed(kBookmarksDatabaseKey) || listed(kBookmarksPlistKey))) ||
                            (!result.historyFound && listed(kSafariHistoryKey));
        if (!result.error.empty() || !result.historyError.empty()) {
            qCWarning(lcBackup, "Backup scan: bookmarks: %s",
                      (result.error + result.historyError).c_str());
            report.outcome = ScanStepOutcome::Failed;
            report.message =
                !result.error.empty()
                    ? QStringLiteral("The Safari bookmarks in this backup could not be read.")
                    : QStringLiteral("The Safari history in this backup could not be read.");
        }
        return report;
    };
}

}  // namespace nimbara::backup
