#include "backup/message_reader.h"

#include "backup/attributed_body.h"
#include "backup/backup_folder.h"
#include "backup/backup_manifest.h"
#include "backup/database_copy.h"
#include "backup/manifest_media.h"
#include "backup/record_database.h"
#include "backup/record_dates.h"
#include "backup/record_notifications.h"
#include "backup/shah.h"
#include "backup/sqlite_db.h"
#include "platform/log_categories.h"
#include "platform/notification_center.h"
#include "ui/core/text_utilities.h"

#include <QDebug>

#include <filesystem>
#include <set>
#include <span>
#include <unordered_map>
#include <utility>

namespace fs = std::filesystem;

namespace nimbara::backup {

namespace {

using StopCheck = std::function<bool()>;

bool stopped(const StopCheck& stop) {
    return stop && stop();
}

std::string lowerCase(std::string name) {
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return name;
}

// The names of a table's columns in lower case; empty when there is no such table.
std::set<std::string> columnsOf(SqliteDb& db, const char* table) {
    std::set<std::string> columns;
    if (db.objectKind(table) != SqliteDb::ObjectKind::Table) {
        return columns;
    }
    SqliteStatement st = db.prepare("SELECT name FROM pragma_table_info(?1)");
    if (!st.valid() || !st.bind(1, std::string(table))) {
        return columns;
    }
    while (st.step()) {
        columns.insert(lowerCase(st.columnString(0)));
    }
    return columns;
}

// "table.column" when the table has it, else NULL: a column a real database lacks reads as NULL
// in its own position, never as the value of another.
std::string columnOr(const std::set<std::string>& columns, const char* table, const char* column) {
    return columns.contains(lowerCase(column)) ? std::string(table) + "." + column
                                               : std::string("NULL");
}

// A value as text; nothing for NULL or the empty text (the node keeps its default then).
std::optional<QString> textOf(const SqliteStatement& st, int column) {
    sqlite3_stmt* stmt = st.handle();
    if (stmt == nullptr || sqlite3_column_type(stmt, column) == SQLITE_NULL) {
        return std::nullopt;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    const int size = sqlite3_column_bytes(stmt, column);
    if (text == nullptr || size <= 0) {
        return std::nullopt;
    }
    return QString::fromUtf8(text, size);
}

// The message's words: its `text`, or where newer devices leave that empty, the text archived in
// its `attributedBody`; nothing when neither holds any.
std::optional<QString> messageTextOf(const SqliteStatement& st, int text, int attributedBody) {
    if (auto plain = textOf(st, text)) {
        return plain;
    }
    if (sqlite3_column_type(st.handle(), attributedBody) != SQLITE_BLOB) {
        return std::nullopt;
    }
    const std::string_view blob = st.columnBlobView(attributedBody);
    const auto decoded = attributedBodyText(
        std::span(reinterpret_cast<const std::uint8_t*>(blob.data()), blob.size()));
    if (!decoded || decoded->empty()) {
        return std::nullopt;
    }
    return QString::fromStdString(*decoded);
}

// A value as an integer; nothing for NULL, the empty text or a blob.
std::optional<std::int64_t> intOf(const SqliteStatement& st, int column) {
    switch (sqlite3_column_type(st.handle(), column)) {
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            return st.columnInt64(column);
        case SQLITE_TEXT:
            if (st.columnString(column).empty()) {
                return std::nullopt;
            }
            return st.columnInt64(column);
        default:
            return std::nullopt;
    }
}

// A time stamp as a number; nothing for NULL, the empty text or a blob.
std::optional<double> numberOf(const SqliteStatement& st, int column) {
    switch (sqlite3_column_type(st.handle(), column)) {
        case SQLITE_INTEGER:
            return static_cast<double>(st.columnInt64(column));
        case SQLITE_FLOAT:
            return st.columnDouble(column);
        case SQLITE_TEXT:
            if (st.columnString(column).empty()) {
                return std::nullopt;
            }
            return st.columnDouble(column);
        default:
            return std::nullopt;
    }
}

QString flagType(std::int64_t flags) {
    if (flags == 2 || flags == 22) {
        return QStringLiteral("Received");
    }
    if (flags == 3 || flags == 16387) {
        return QStringLiteral("Send");
    }
    return QStringLiteral("unknown");
}

// iMessages of the older layout also carry the service's own flags.
QString madridFlagType(std::int64_t flags) {
    if (flags == 12289) {
        return QStringLiteral("Received");
    }
    if (flags == 36869 || flags == 45061) {
        return QStringLiteral("Send");
    }
    return flagType(flags);
}

QString fromMeType(std::int64_t isFromMe) {
    return isFromMe == 0   ? QStringLiteral("Received")
           : isFromMe == 1 ? QStringLiteral("Send")
                           : QStringLiteral("unknown");
}

// The text pieces of a madrid attachment blob, NUL-separated, joined without a separator.
QString joinedPieces(const QByteArray& blob) {
    QString joined;
    for (const QByteArray& piece : blob.split('\0')) {
        joined += QString::fromUtf8(piece);
    }
    return joined;
}

struct AttachRow {
    QString path;
    QString type;
};

// The first attachment row of each message.
using AttachIndex = std::unordered_map<std::int64_t, AttachRow>;

constexpr const char* kAttachQuery =
    "SELECT message_attachment_join.message_id, message_attachment_join.attachment_id, "
    "attachment.filename FROM attachment LEFT JOIN message_attachment_join ON "
    "attachment.ROWID = message_attachment_join.attachment_id";

// Both attachment tables with the columns the query names; a database without them has no
// attachment rows.
bool hasAttachmentTables(SqliteDb& db) {
    const auto attachment = columnsOf(db, "attachment");
    const auto join = columnsOf(db, "message_attachment_join");
    return attachment.contains("filename") && join.contains("message_id") &&
           join.contains("attachment_id");
}

template <class Row>
bool forEachAttachment(SqliteDb& db, std::string& error, Row&& row) {
    if (!hasAttachmentTables(db)) {
        return true;
    }
    SqliteStatement st = db.prepare(kAttachQuery);
    if (!st.valid()) {
        error = "attachment query failed: " + db.lastError();
        return false;
    }
    while (st.step()) {
        row(st);
    }
    if (st.abortReason() == SqliteAbort::Stopped) {
        return true;
    }
    if (!st.done()) {
        error = "attachment rows could not be read: " + db.lastError();
        return false;
    }
    return true;
}

std::shared_ptr<PRMessageAttachNode> attachNodeOf(const SqliteStatement& st) {
    auto node = std::make_shared<PRMessageAttachNode>();
    if (const auto id = intOf(st, 0)) {
        node->setMessageId(static_cast<int>(*id));
    }
    if (const auto id = intOf(st, 1)) {
        node->setAttachmentId(static_cast<int>(*id));
    }
    if (const auto filename = textOf(st, 2)) {
        const QString path = messageAttachPath(*filename);
        node->setAttachpath(path);
        node->setAttachType(messageAttachType(path));
    }
    return node;
}

// What one database read needs besides the statement.
struct RowContext {
    const MessageReadOptions& options;
    const BackupFolder& folder;
    const AttachIndex& attachments;
    // Names already looked up, by address: a backup has far fewer addresses than messages.
    std::unordered_map<QString, std::pair<QString, QByteArray>> names;
};

// The contact step: the other party's name and picture (null when no contact matches).
void nameMessage(PRMessageNode& node, RowContext& context) {
    if (!context.options.nameOf) {
        return;
    }
    const QString address = node.messagePhone();
    auto it = context.names.find(address);
    if (it == context.names.end()) {
        QByteArray picture;
        const QString name = context.options.nameOf(address, picture);
        it = context.names
                 .emplace(address, std::make_pair(name, name.isNull() ? QByteArray() : picture))
                 .first;
    }
    if (!it->second.first.isEmpty()) {
        node.setMessageName(it->second.first);
    }
    node.setContactImageData(it->second.second);
}

// The attachment step: the message's first attachment row, its stored file, and for a contact
// card or a location the card's contents, read from the stored file of the backup.
void attachToMessage(PRMessageNode& node, RowContext& context) {
    if (!node.isHasAttach() || context.attachments.empty()) {
        return;
    }
    const auto row = context.attachments.find(node.rowId());
    if (row == context.attachments.end() || row->second.path.isEmpty()) {
        return;
    }
    const AttachmentFiles* files = context.options.attachmentFiles;
    node.setAttachmentPath(files != nullptr ? files->storedPath(row->second.path) : QString());
    node.setAttachType(row->second.type);
    if (row->second.type != QLatin1String("Contact") &&
        row->second.type != QLatin1String("Location")) {
        return;
    }
    QByteArray contents;
    if (files != nullptr) {
        const std::string name = files->storedName(row->second.path);
        if (!name.empty()) {
            if (auto bytes = context.folder.readFile(name, kMaxCardAttachmentBytes)) {
                contents = QByteArray::fromStdString(*bytes);
            }
        }
    }
    node.setContactImageData(contents);
}

// handle layout: 0 ROWID, 1 cache_has_attachments, 2 text, 3 date, 4 handle_id, 5 handle.id,
// 6 is_from_me, 7 attributedBody.
std::string handleQuery(SqliteDb& db, const std::set<std::string>& message) {
    const auto handle = columnsOf(db, "handle");
    const bool joined = message.contains("handle_id") && handle.contains("id");
    return "SELECT message.ROWID, " + columnOr(message, "message", "cache_has_attachments") + ", " +
           columnOr(message, "message", "text") + ", " + columnOr(message, "message", "date") +
           ", " + columnOr(message, "message", "handle_id") + ", " +
           (joined ? "handle.id" : "NULL") + ", " + columnOr(message, "message", "is_from_me") +
           ", " + columnOr(message, "message", "attributedBody") + " FROM message" +
           (joined ? " LEFT JOIN handle ON message.handle_id = handle.ROWID" : "");
}

std::shared_ptr<PRMessageNode> handleRow(const SqliteStatement& st, RowContext& context) {
    auto node = std::make_shared<PRMessageNode>();
    if (const auto rowid = intOf(st, 0)) {
        node->setRowId(static_cast<int>(*rowid));
    }
    if (const auto has = intOf(st, 1)) {
        node->setIsHasAttach(*has != 0);
    }
    if (const auto text = messageTextOf(st, 2, 7)) {
        node->setMessageContent(*text);
    }
    // The date the message was sent or received; 2001-based, in nanoseconds from iOS 11 on.
    if (const auto date = numberOf(st, 3)) {
        node->setMessageDate(recordDateText(referenceDateSeconds(*date)));
    }
    if (const auto handle = intOf(st, 4)) {
        node->setHandle_id(static_cast<int>(*handle));
    }
    if (const auto address = textOf(st, 5)) {
        node->setMessagePhone(*address);
    }
    if (const auto fromMe = intOf(st, 6)) {
        node->setMessageType(fromMeType(*fromMe));
    }
    nameMessage(*node, context);
    attachToMessage(*node, context);
    return node;
}

// group_member layout: 0 ROWID, 1 text, 2 date, 3 address, 4 flags, 5 is_madrid,
// 6 madrid_handle, 7 madrid_flags, 8 madrid_attachmentInfo, 9 attributedBody.
std::string groupMemberQuery(SqliteDb& db, const std::set<std::string>& message) {
    const auto member = columnsOf(db, "group_member");
    const bool joined =
        message.contains("group_id") && member.contains("group_id") && member.contains("address");
    // Without the member table the message's own address column names the other party.
    const std::string address =
        joined ? std::string("group_member.address") : columnOr(message, "message", "address");
    return "SELECT message.ROWID, " + columnOr(message, "message", "text") + ", " +
           columnOr(message, "message", "date") + ", " + address + ", " +
           columnOr(message, "message", "flags") + ", " +
           columnOr(message, "message", "is_madrid") + ", " +
           columnOr(message, "message", "madrid_handle") + ", " +
           columnOr(message, "message", "madrid_flags") + ", " +
           columnOr(message, "message", "madrid_attachmentInfo") + ", " +
           columnOr(message, "message", "attributedBody") + " FROM message" +
           (joined ? " LEFT JOIN group_member ON message.group_id = group_member.group_id" : "");
}

std::shared_ptr<PRMessageNode> groupMemberRow(const SqliteStatement& st, RowContext& context) {
    auto node = std::make_shared<PRMessageNode>();
    if (const auto rowid = intOf(st, 0)) {
        node->setRowId(static_cast<int>(*rowid));
    }
    if (const auto text = messageTextOf(st, 1, 9)) {
        node->setMessageContent(*text);
    }
    if (const auto address = textOf(st, 3)) {
        node->setMessagePhone(*address);
    }
    if (const auto flags = intOf(st, 4)) {
        node->setMessageType(flagType(*flags));
    }
    const bool madrid = intOf(st, 5).value_or(0) == 1;
    if (const auto date = numberOf(st, 2)) {
        // The text messages of this layout count Unix seconds; its iMessages count from 2001.
        node->setMessageDate(
            recordDateText(madrid ? referenceDateSeconds(*date) : unixSeconds(*date)));
    }
    if (madrid) {
        node->setBImessage(true);
        if (const auto address = textOf(st, 6)) {
            node->setMessagePhone(*address);
        }
        if (const auto flags = intOf(st, 7)) {
            node->setMessageType(madridFlagType(*flags));
        }
        const QByteArray info = st.columnBlob(8);
        if (!info.isEmpty()) {
            node->setMessageContent(joinedPieces(info));
        }
    }
    nameMessage(*node, context);
    return node;
}

// Why a query ended early, for the log; empty when it ran to its end or was stopped.
std::string queryEnd(const SqliteStatement& st, SqliteDb& db) {
    switch (st.abortReason()) {
        case SqliteAbort::None:
            return st.done() ? std::string() : "message rows could not be read: " + db.lastError();
        case SqliteAbort::Stopped:
            return std::string();
        case SqliteAbort::RowLimit:
            return "the message table is damaged: more than " +
                   std::to_string(kSqliteDefaultRowLimit) + " rows";
        case SqliteAbort::MemoryLimit:
            return "the message table is damaged: reading it took too much memory";
    }
    return std::string();
}

}  // namespace

QString messageAttachType(const QString& attachpath) {
    if (attachpath.isEmpty()) {
        return QString();
    }
    const QString name = attachpath.mid(attachpath.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString extension = dot >= 0 ? name.mid(dot + 1) : QString();
    if (!extension.isEmpty()) {
        if (shell::GetImageType(extension) >= 0) {
            return QStringLiteral("Image");
        }
        if (shell::GetViedoType(extension) >= 0 || shell::GetAudioType(extension) >= 0) {
            return QStringLiteral("Mov");
        }
    }
    if (name == QLatin1String("Contact.vcf")) {
        return QStringLiteral("Contact");
    }
    if (name == QLatin1String("Current Location.loc.vcf")) {
        return QStringLiteral("Location");
    }
    return QString();
}

QString messageAttachPath(const QString& filename) {
    QString path = filename;
    path.remove(QStringLiteral("~/"));
    if (path.startsWith(QLatin1String("/var/mobile/"))) {
        path.remove(0, 12);
    }
    return path;
}

MessageNameLookup contactNameLookup(ContactList contacts) {
    return [contacts = std::move(contacts)](const QString& address, QByteArray& picture) {
        return shell::getNameByPhoneNumber(address, contacts, picture);
    };
}

AttachmentFiles::AttachmentFiles(const std::vector<std::shared_ptr<PRTreeDirNode>>& entries,
                                 const std::string& backupFolder)
    : folder_(backupFolder) {
    for (const auto& entry : entries) {
        if (!entry || !entry->isFileEntry()) {
            continue;
        }
        // Attachments lie below the message folder; nothing else is looked up.
        const QString path = entry->filePath();
        if (path.startsWith(QLatin1String("Library/SMS/"))) {
            const QString stored = entry->fileKey();
            if (!stored.isEmpty()) {
                add(path, stored);
            }
        }
    }
}

void AttachmentFiles::add(const QString& relativePath, const QString& storedPath) {
    files_[relativePath] = storedPath;
}

QString AttachmentFiles::storedPath(const QString& relativePath) const {
    const auto it = files_.find(relativePath);
    return it == files_.end() ? QString() : it->second;
}

std::string AttachmentFiles::storedName(const QString& relativePath) const {
    const QString stored = storedPath(relativePath);
    if (stored.isEmpty() || folder_.empty()) {
        return {};
    }
    const std::string path = stored.toStdString();
    const std::string prefix = folder_.back() == '/' ? folder_ : folder_ + "/";
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) {
        return {};
    }
    const std::string name = path.substr(prefix.size());
    return isPlainRelativePath(name) ? name : std::string();
}

std::vector<std::shared_ptr<PRMessageAttachNode>> readMessageAttachments(const std::string& path) {
    auto db = SqliteDb::open(path, SqliteDb::Mode::ReadOnly);
    return db ? readMessageAttachments(*db) : std::vector<std::shared_ptr<PRMessageAttachNode>>{};
}

std::vector<std::shared_ptr<PRMessageAttachNode>> readMessageAttachments(SqliteDb& db) {
    std::vector<std::shared_ptr<PRMessageAttachNode>> rows;
    std::string error;
    forEachAttachment(db, error,
                      [&](const SqliteStatement& st) { rows.push_back(attachNodeOf(st)); });
    return rows;
}

MessageReadResult readMessages(const MessageDatabase& database, const MessageReadOptions& options,
                               const MessageSink& sink) {
    MessageReadResult result;
    if (database.folder == nullptr || database.relative.empty() ||
        !database.folder->isFile(database.relative)) {
        result.error = "messageDB is not exist";
        return result;
    }
    result.databaseFound = true;
    std::vector<DatabaseCompanion> companions;
    if (!database.walRelative.empty() && database.folder->isFile(database.walRelative)) {
        companions.push_back({"-wal", database.walRelative});
        result.walCompanion = true;
    } else {
        companions.push_back({"-wal", database.relative + "-wal"});
    }
    const DatabaseScratchCopy copy(*database.folder, database.relative, companions,
                                   kMessageDatabaseKey);
    if (copy.path().empty()) {
        result.error = "message database could not be copied";
        return result;
    }
    auto db = openPrivateCopy(copy, options.stop, result.error);
    if (!db) {
        result.error = "message database could not be opened: " + result.error;
        return result;
    }
    // A file that is no database fails here, before any table is asked for.
    {
        SqliteStatement probe = db->prepare("SELECT name FROM sqlite_master LIMIT 1");
        if (!probe.valid() || (!probe.step() && !probe.done())) {
            result.error = "message database is damaged: " + db->lastError();
            return result;
        }
    }
    const SqliteDb::ObjectKind kind = db->objectKind("message");
    if (kind == SqliteDb::ObjectKind::Missing) {
        result.ok = true;  // a database without messages
        return result;
    }
    if (kind != SqliteDb::ObjectKind::Table) {
        result.error = "message database is damaged: message is not a table";
        return result;
    }
    const auto message = columnsOf(*db, "message");
    const bool older = !message.contains("handle_id") &&
                       (message.contains("group_id") || message.contains("is_madrid") ||
                        message.contains("address"));
    result.layout = older ? MessageLayout::GroupMember : MessageLayout::Handle;

    AttachIndex attachments;
    if (!older) {
        const bool read = forEachAttachment(*db, result.error, [&](const SqliteStatement& st) {
            ++result.attachments;
            const auto messageId = intOf(st, 0);
            const auto filename = textOf(st, 2);
            if (!messageId) {
                return;
            }
            AttachRow row;
            if (filename) {
                row.path = messageAttachPath(*filename);
                row.type = messageAttachType(row.path);
            }
            attachments.emplace(*messageId, std::move(row));  // the first row counts
        });
        if (stopped(options.stop)) {
            result.stopped = true;
            return result;
        }
        if (!read) {
            return result;
        }
    }

    SqliteStatement st =
        db->prepare(older ? groupMemberQuery(*db, message) : handleQuery(*db, message));
    if (!st.valid()) {
        result.error = "message query failed: " + db->lastError();
        return result;
    }
    RowContext context{options, *database.folder, attachments, {}};
    while (st.step()) {
        if (stopped(options.stop)) {
            result.stopped = true;
            return result;
        }
        sink(older ? groupMemberRow(st, context) : handleRow(st, context));
        ++result.messages;
    }
    if (st.abortReason() == SqliteAbort::Stopped || stopped(options.stop)) {
        result.stopped = true;
        return result;
    }
    result.error = queryEnd(st, *db);
    result.ok = result.error.empty();
    if (result.ok && options.afterRows) {
        options.afterRows(*db);
    }
    return result;
}

namespace {

// The stored file with `key` inside the folder: in its two-digit subfolder or flat.
std::string storedName(const BackupFolder& folder, const std::string& key) {
    for (BackupLayout layout : {BackupLayout::Sharded, BackupLayout::Flat}) {
        const std::string name = storedFileName(key, layout);
        if (!name.empty() && folder.isFile(name)) {
            return name;
        }
    }
    return {};
}

std::string walKey() {
    return fileKey(kMessageDatabaseDomain, std::string(kMessageDatabasePath) + "-wal");
}

}  // namespace

MessageReadResult scanMessageThread(const std::string& backupFolder, NotificationCenter* target,
                                    const MessageScanInputs& inputs,
                                    const std::function<bool()>& stop) {
    MessageReadResult result;
    if (backupFolder.empty()) {
        result.error = "no backup folder";
        return result;
    }
    const BackupFolder folder = BackupFolder::open(backupFolder);
    MessageDatabase database{&folder, storedName(folder, kMessageDatabaseKey), {}};
    if (database.relative.empty()) {
        qCInfo(lcBackup, "messageDB is not exist");
        result.error = "messageDB is not exist";
        return result;
    }
    const std::string wal = walKey();
    if (!inputs.isListed || inputs.isListed(wal)) {
        database.walRelative = storedName(folder, wal);
    }
    const AttachmentFiles files(inputs.treeFiles, backupFolder);
    MessageReadOptions options;
    options.nameOf = contactNameLookup(inputs.contacts);
    options.attachmentFiles = &files;
    options.stop = stop;
    auto& center = target != nullptr ? *target : NotificationCenter::defaultCenter();
    result = readMessages(database, options, [&center](const std::shared_ptr<PRMessageNode>& m) {
        center.post(kScanMessageInfo, m);
    });
    if (result.stopped) {
        return result;  // the scan was stopped: its end is not this reader's to post
    }
    center.post(kScanProgressInfo, kMessageScanProgress);
    result.progressPosted = true;
    return result;
}

MessageReadResult scanTransferMessageThread(const std::string& backupFolder,
                                            const ContactList& transContacts,
                                            NotificationCenter* target) {
    auto& center = target != nullptr ? *target : NotificationCenter::defaultCenter();
    MessageReadResult result;
    if (!backupFolder.empty()) {
        const BackupFolder folder = BackupFolder::open(backupFolder);
        MessageDatabase database{&folder, storedName(folder, kMessageDatabaseKey), {}};
        if (database.relative.empty()) {
            qCInfo(lcBackup, "messageDB is not exist");
            result.error = "messageDB is not exist";
        } else {
            // The backup's list: the attachments' stored files and the companion "-wal".
            const std::string wal = walKey();
            bool walListed = false;
            AttachmentFiles files({}, backupFolder);
            BackupManifest::visit(folder, [&](BackupEntry&& entry) {
                if (!entry.isFile()) {
                    return true;
                }
                walListed = walListed || entry.fileKey == wal;
                if (!isMediaScanDomain(QString::fromStdString(entry.domain))) {
                    return true;
                }
                const QString path = QString::fromStdString(entry.relativePath);
                if (path.startsWith(QLatin1String("Library/SMS/"))) {
                    const std::string name = storedName(folder, entry.fileKey);
                    if (!name.empty()) {
                        files.add(path,
                                  QString::fromStdString((fs::path(backupFolder) / name).string()));
                    }
                }
                return true;
            });
            if (walListed) {
                database.walRelative = storedName(folder, wal);
            }
            MessageReadOptions options;
            options.nameOf = contactNameLookup(transContacts);
            options.attachmentFiles = &files;
            result =
                readMessages(database, options, [&center](const std::shared_ptr<PRMessageNode>& m) {
                    center.post(kScanTransferMessageInfo, m);
                });
        }
    }
    if (!result.ok && result.databaseFound) {
        qCWarning(lcBackup, "Messages: %s", result.error.c_str());
    }
    center.post(kScanTransferMessageFinished);
    result.progressPosted = true;
    return result;
}

}  // namespace nimbara::backup
