// The message database of a simulated device's backup, in the layouts of iOS 6 and later and of
// iOS 5.
#include "backup_messages.h"

#include <QByteArray>

#include <cstdio>
#include <map>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "backup/sqlite_db.h"
#include "backup_source.h"
#include "demo_device_parts.h"
#include "device_path.h"
#include "file_writer.h"
#include "generated_images.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/text_format.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kSecondsFrom1970To2001 = 978307200;

const char* const kSmsDomain = "HomeDomain";
const char* const kSmsPath = "Library/SMS/sms.db";
const char* const kAttachmentDomain = "MediaDomain";

const char* const kHandleSchema =
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));"
    "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, "
    "country TEXT, service TEXT NOT NULL, uncanonicalized_id TEXT, UNIQUE (id, service));"
    "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
    "text TEXT, replace INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER DEFAULT 0, "
    "subject TEXT, country TEXT, attributedBody BLOB, version INTEGER DEFAULT 0, "
    "type INTEGER DEFAULT 0, service TEXT, account TEXT, account_guid TEXT, "
    "error INTEGER DEFAULT 0, date INTEGER, date_read INTEGER, date_delivered INTEGER, "
    "is_delivered INTEGER DEFAULT 0, is_finished INTEGER DEFAULT 0, is_emote INTEGER DEFAULT 0, "
    "is_from_me INTEGER DEFAULT 0, is_empty INTEGER DEFAULT 0, is_delayed INTEGER DEFAULT 0, "
    "is_auto_reply INTEGER DEFAULT 0, is_prepared INTEGER DEFAULT 0, is_read INTEGER DEFAULT 0, "
    "is_system_message INTEGER DEFAULT 0, is_sent INTEGER DEFAULT 0, "
    "has_dd_results INTEGER DEFAULT 0, is_service_message INTEGER DEFAULT 0, "
    "is_forward INTEGER DEFAULT 0, was_downgraded INTEGER DEFAULT 0, "
    "is_archive INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT 0, "
    "cache_roomnames TEXT, was_data_detected INTEGER DEFAULT 0, "
    "was_deduplicated INTEGER DEFAULT 0, is_audio_message INTEGER DEFAULT 0, "
    "is_played INTEGER DEFAULT 0, date_played INTEGER, item_type INTEGER DEFAULT 0, "
    "other_handle INTEGER DEFAULT 0, group_title TEXT, group_action_type INTEGER DEFAULT 0, "
    "share_status INTEGER DEFAULT 0, share_direction INTEGER DEFAULT 0, "
    "is_expirable INTEGER DEFAULT 0, expire_state INTEGER DEFAULT 0, "
    "message_action_type INTEGER DEFAULT 0, message_source INTEGER DEFAULT 0);"
    "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
    "style INTEGER, state INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, "
    "service_name TEXT, room_name TEXT, account_login TEXT, is_archived INTEGER DEFAULT 0, "
    "last_addressed_handle TEXT, display_name TEXT, group_id TEXT, "
    "is_filtered INTEGER DEFAULT 0, successful_query INTEGER);"
    "CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
    "created_date INTEGER DEFAULT 0, start_date INTEGER DEFAULT 0, filename TEXT, uti TEXT, "
    "mime_type TEXT, transfer_state INTEGER DEFAULT 0, is_outgoing INTEGER DEFAULT 0, "
    "user_info BLOB, transfer_name TEXT, total_bytes INTEGER DEFAULT 0);"
    "CREATE TABLE chat_handle_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE, "
    "handle_id INTEGER REFERENCES handle (ROWID) ON DELETE CASCADE, UNIQUE(chat_id, handle_id));"
    "CREATE TABLE chat_message_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE, "
    "message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE, "
    "message_date INTEGER DEFAULT 0, PRIMARY KEY (chat_id, message_id));"
    "CREATE TABLE message_attachment_join (message_id INTEGER REFERENCES message (ROWID) ON "
    "DELETE CASCADE, attachment_id INTEGER REFERENCES attachment (ROWID) ON DELETE CASCADE, "
    "UNIQUE(message_id, attachment_id));"
    "CREATE TABLE deleted_messages (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, "
    "guid TEXT NOT NULL);"
    "CREATE INDEX message_idx_handle ON message(handle_id, date);"
    "CREATE INDEX chat_message_join_idx_message_id_only ON chat_message_join(message_id);"
    // The device removes an attachment's file through a function of its own.
    "CREATE TRIGGER after_delete_on_attachment AFTER DELETE ON attachment BEGIN SELECT "
    "delete_attachment_path(OLD.filename); END;"
    "INSERT INTO _SqliteDatabaseProperties VALUES ('_ClientVersion', '14006');";

const char* const kGroupMemberSchema =
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));"
    "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER, "
    "text TEXT, flags INTEGER, replace INTEGER, svc_center TEXT, group_id INTEGER, "
    "association_id INTEGER, height INTEGER, UIFlags INTEGER, version INTEGER, subject TEXT, "
    "country TEXT, headers BLOB, recipients BLOB, read INTEGER, madrid_attributedBody BLOB, "
    "madrid_handle TEXT, madrid_version INTEGER, madrid_guid TEXT, madrid_type INTEGER, "
    "madrid_roomname TEXT, madrid_service TEXT, madrid_account TEXT, "
    "madrid_account_guid TEXT, madrid_flags INTEGER, madrid_attachmentInfo BLOB, "
    "madrid_url TEXT, madrid_error INTEGER, is_madrid INTEGER, madrid_date_read INTEGER, "
    "madrid_date_delivered INTEGER);"
    "CREATE TABLE msg_group (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, type INTEGER, "
    "newest_message INTEGER, unread_count INTEGER, hash INTEGER);"
    "CREATE TABLE group_member (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, group_id INTEGER, "
    "address TEXT, country TEXT);"
    "CREATE TABLE msg_pieces (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, message_id INTEGER, "
    "data BLOB, part_id INTEGER, preview_part INTEGER, content_type TEXT, height INTEGER, "
    "version INTEGER, flags INTEGER, content_id TEXT, content_loc TEXT, headers BLOB);"
    "CREATE INDEX message_group_index ON message(group_id, ROWID);"
    "INSERT INTO _SqliteDatabaseProperties VALUES ('_ClientVersion', '7');";

std::string guidOf(const char* prefix, std::size_t index) {
    char text[64];
    std::snprintf(text, sizeof text, "%s-4C1D-4E2F-9A3B-%012zX", prefix, index + 1);
    return text;
}

// Seconds since 2001, in nanoseconds from iOS 11 on.
std::int64_t deviceDate(std::int64_t unixTime, bool nanoseconds) {
    const std::int64_t seconds = unixTime - kSecondsFrom1970To2001;
    return nanoseconds ? seconds * 1000000000LL : seconds;
}

void writeHandleLayout(const fs::path& file, const std::vector<BackupMessage>& messages,
                       bool nanoseconds) {
    SqliteDb db = createSimDatabase(file, kHandleSchema);
    SqliteStatement handle = prepareSim(
        db, "INSERT INTO handle (id, country, service, uncanonicalized_id) VALUES (?, 'us', ?, ?)",
        file);
    SqliteStatement chat = prepareSim(
        db,
        "INSERT INTO chat (guid, style, state, account_id, chat_identifier, service_name) "
        "VALUES (?, 45, 3, 'E:nora@mailbox.example', ?, ?)",
        file);
    SqliteStatement chatHandle =
        prepareSim(db, "INSERT INTO chat_handle_join (chat_id, handle_id) VALUES (?, ?)", file);
    SqliteStatement message = prepareSim(
        db,
        "INSERT INTO message (guid, text, handle_id, service, account, date, date_read, "
        "date_delivered, is_delivered, is_finished, is_from_me, is_read, is_sent, "
        "cache_has_attachments) VALUES (?, ?, ?, ?, 'E:nora@mailbox.example', ?, ?, ?, 1, 1, ?, "
        "?, ?, ?)",
        file);
    SqliteStatement chatMessage = prepareSim(
        db, "INSERT INTO chat_message_join (chat_id, message_id, message_date) VALUES (?, ?, ?)",
        file);
    SqliteStatement attachment = prepareSim(
        db,
        "INSERT INTO attachment (guid, created_date, start_date, filename, uti, mime_type, "
        "transfer_state, is_outgoing, transfer_name, total_bytes) VALUES (?, ?, ?, ?, ?, ?, 5, ?, "
        "?, ?)",
        file);
    SqliteStatement messageAttachment = prepareSim(
        db, "INSERT INTO message_attachment_join (message_id, attachment_id) VALUES (?, ?)", file);

    // One handle and one chat per address and service, in order of first appearance.
    std::map<std::pair<std::string, bool>, std::int64_t> handles;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const BackupMessage& m = messages[i];
        const std::string service = m.imessage ? "iMessage" : "SMS";
        auto [it, fresh] = handles.emplace(std::make_pair(m.address, m.imessage),
                                           static_cast<std::int64_t>(handles.size() + 1));
        const std::int64_t handleId = it->second;
        if (fresh) {
            handle.bind(1, m.address);
            handle.bind(2, service);
            handle.bind(3, m.address);
            insertSim(db, handle, file);
            chat.bind(1, service + ";-;" + m.address);
            chat.bind(2, m.address);
            chat.bind(3, service);
            insertSim(db, chat, file);
            chatHandle.bind(1, handleId);
            chatHandle.bind(2, handleId);
            insertSim(db, chatHandle, file);
        }
        const auto rowid = static_cast<std::int64_t>(i + 1);
        const std::int64_t date = deviceDate(m.unixTime, nanoseconds);
        const bool read = !m.fromMe && m.readAfter > 0;
        message.bind(1, guidOf("6F2A0C11", i));
        if (m.text.empty()) {
            message.bindNull(2);
        } else {
            message.bind(2, m.text);
        }
        message.bind(3, handleId);
        message.bind(4, service);
        message.bind(5, date);
        // Sent and unread messages have no read time: 0, as the device stores it.
        message.bind(6, read ? deviceDate(m.unixTime + m.readAfter, nanoseconds) : 0);
        message.bind(7, m.fromMe ? deviceDate(m.unixTime + 2, nanoseconds) : 0);
        message.bind(8, static_cast<std::int64_t>(m.fromMe ? 1 : 0));
        message.bind(9, static_cast<std::int64_t>(m.fromMe || read ? 1 : 0));
        message.bind(10, static_cast<std::int64_t>(m.fromMe ? 1 : 0));
        message.bind(11, static_cast<std::int64_t>(m.attachment ? 1 : 0));
        insertSim(db, message, file);
        chatMessage.bind(1, handleId);
        chatMessage.bind(2, rowid);
        chatMessage.bind(3, date);
        insertSim(db, chatMessage, file);
        if (!m.attachment) {
            continue;
        }
        const BackupMessageAttachment& a = *m.attachment;
        attachment.bind(1, guidOf("0B7E55D2", i));
        attachment.bind(2, deviceDate(m.unixTime, false));
        attachment.bind(3, deviceDate(m.unixTime, false));
        attachment.bind(4, "~/" + messageAttachmentPath(i, a.name));
        attachment.bind(5, a.mimeType == "image/jpeg" ? std::string("public.jpeg")
                           : a.mimeType == "video/quicktime"
                               ? std::string("com.apple.quicktime-movie")
                               : std::string("public.vcard"));
        attachment.bind(6, a.mimeType);
        attachment.bind(7, static_cast<std::int64_t>(m.fromMe ? 1 : 0));
        attachment.bind(8, a.name);
        attachment.bind(9, static_cast<std::int64_t>(a.bytes.size()));
        insertSim(db, attachment, file);
        messageAttachment.bind(1, rowid);
        messageAttachment.bind(2,
                               static_cast<std::int64_t>(sqlite3_last_insert_rowid(db.handle())));
        insertSim(db, messageAttachment, file);
    }
    commitSim(db, file);
}

// iOS 5: text messages in groups with their members, dates in Unix seconds, flags 2 (received)
// and 3 (sent); iMessages with the "madrid" columns, dates in seconds since 2001, flags 12289
// (received) and 36869 (sent).
void writeGroupMemberLayout(const fs::path& file, const std::vector<BackupMessage>& messages) {
    SqliteDb db = createSimDatabase(file, kGroupMemberSchema);
    SqliteStatement group = prepareSim(
        db, "INSERT INTO msg_group (type, newest_message, unread_count, hash) VALUES (0, 0, 0, ?)",
        file);
    SqliteStatement member = prepareSim(
        db, "INSERT INTO group_member (group_id, address, country) VALUES (?, ?, 'us')", file);
    SqliteStatement message = prepareSim(
        db,
        "INSERT INTO message (address, date, text, flags, replace, group_id, association_id, "
        "height, UIFlags, version, read, madrid_handle, madrid_version, madrid_guid, "
        "madrid_type, madrid_service, madrid_account, madrid_flags, madrid_error, is_madrid, "
        "madrid_date_read, madrid_date_delivered) VALUES (?, ?, ?, ?, 0, ?, 0, 0, 0, 0, ?, ?, ?, "
        "?, ?, ?, ?, ?, 0, ?, ?, ?)",
        file);
    SqliteStatement newest =
        prepareSim(db, "UPDATE msg_group SET newest_message = ? WHERE ROWID = ?", file);

    std::map<std::string, std::int64_t> groups;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const BackupMessage& m = messages[i];
        auto [it, fresh] = groups.emplace(m.address, static_cast<std::int64_t>(groups.size() + 1));
        if (fresh) {
            group.bind(1, static_cast<std::int64_t>(std::hash<std::string>{}(m.address) >> 33));
            insertSim(db, group, file);
            member.bind(1, it->second);
            member.bind(2, m.address);
            insertSim(db, member, file);
        }
        const auto rowid = static_cast<std::int64_t>(i + 1);
        const bool read = m.fromMe || m.readAfter > 0;
        int column = 1;
        auto text = [&](const std::string& value) {
            if (value.empty()) {
                message.bindNull(column++);
            } else {
                message.bind(column++, value);
            }
        };
        auto number = [&](std::int64_t value) { message.bind(column++, value); };
        if (m.imessage) {
            message.bindNull(column++);  // address: iMessages name theirs in madrid_handle
            number(m.unixTime - kSecondsFrom1970To2001);
            text(m.text);
            number(0);
        } else {
            text(m.address);
            number(m.unixTime);
            text(m.text);
            number(m.fromMe ? 3 : 2);
        }
        number(it->second);
        number(read ? 1 : 0);
        if (m.imessage) {
            text(m.address);
            number(10);
            text(guidOf("6F2A0C11", i));
            number(0);
            text("iMessage");
            text("E:nora@mailbox.example");
            number(m.fromMe ? 36869 : 12289);
            number(1);
            number(m.readAfter > 0 ? m.unixTime + m.readAfter - kSecondsFrom1970To2001 : 0);
            number(m.fromMe ? m.unixTime + 2 - kSecondsFrom1970To2001 : 0);
        } else {
            for (int k = 0; k < 6; ++k) {
                message.bindNull(column++);
            }
            number(0);
            number(0);
            number(0);
            number(0);
        }
        insertSim(db, message, file);
        newest.bind(1, rowid);
        newest.bind(2, it->second);
        insertSim(db, newest, file);
    }
    commitSim(db, file);
}

// The messages of a database in the handle layout, as the device wrote them (attachments left
// out: the older layout keeps none the readers show).
std::vector<BackupMessage> readHandleLayout(const fs::path& file) {
    std::string error;
    auto db = SqliteDb::open(file.string(), SqliteDb::Mode::ReadOnly, &error);
    if (!db) {
        throw std::runtime_error("cannot read " + file.string() + ": " + error);
    }
    SqliteStatement st = db->prepare(
        "SELECT handle.id, message.text, message.is_from_me, message.service, message.date, "
        "message.date_read FROM message LEFT JOIN handle ON message.handle_id = handle.ROWID "
        "ORDER BY message.ROWID");
    if (!st.valid()) {
        throw std::runtime_error("cannot read " + file.string() + ": " + db->lastError());
    }
    auto unixOf = [](std::int64_t value) {
        const std::int64_t seconds = value > 100000000000LL ? value / 1000000000LL : value;
        return seconds + kSecondsFrom1970To2001;
    };
    std::vector<BackupMessage> messages;
    while (st.step()) {
        BackupMessage m;
        m.address = st.columnString(0);
        m.text = st.columnString(1);
        m.fromMe = st.columnInt64(2) == 1;
        m.imessage = st.columnString(3) == "iMessage";
        m.unixTime = unixOf(st.columnInt64(4));
        if (const std::int64_t read = st.columnInt64(5); read > 0) {
            m.readAfter = unixOf(read) - m.unixTime;
        }
        messages.push_back(std::move(m));
    }
    if (!st.done()) {
        throw std::runtime_error("cannot read " + file.string() + ": " + db->lastError());
    }
    return messages;
}

}  // namespace

void writeMessageDatabase(const fs::path& file, const std::vector<BackupMessage>& messages,
                          MessageDatabaseLayout layout, bool nanoseconds) {
    if (layout == MessageDatabaseLayout::Handle) {
        writeHandleLayout(file, messages, nanoseconds);
    } else {
        writeGroupMemberLayout(file, messages);
    }
}

std::string messageAttachmentPath(std::size_t index, const std::string& name) {
    char folders[16];
    std::snprintf(folders, sizeof folders, "%02zx/%02zu/", (index * 37) % 256, index % 100);
    return std::string("Library/SMS/Attachments/") + folders + guidOf("0B7E55D2", index) + "/" +
           name;
}

void addBackupMessages(const SimDeviceBuilder& b, const std::vector<BackupMessage>& messages) {
    const fs::path database = backupSourcePath(b.dir(), kSmsDomain, kSmsPath);
    checkResolvedInside(b.dir() / md::sim::kBackupSourceDir, database);
    writeMessageDatabase(database, messages, MessageDatabaseLayout::Handle, true);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (const auto& a = messages[i].attachment) {
            addBackupFile(b, kAttachmentDomain, messageAttachmentPath(i, a->name), a->bytes);
        }
    }
}

bool writeBackupVariant(const std::string& domain, const std::string& relativePath,
                        const fs::path& local, const std::string& productVersion,
                        const fs::path& target) {
    const std::string major = productVersion.substr(0, productVersion.find('.'));
    const auto number = parseInt64(major);
    if (!number || *number >= 6 || domain != kSmsDomain || relativePath != kSmsPath) {
        return false;
    }
    writeMessageDatabase(target, readHandleLayout(local), MessageDatabaseLayout::GroupMember);
    return true;
}

std::vector<BackupMessage> demoMessages() {
    using demo::utc;
    std::vector<BackupMessage> m;
    auto add = [&m](std::string address, bool imessage, bool fromMe, std::int64_t when,
                    std::string text, std::int64_t readAfter = 60) {
        m.push_back({.address = std::move(address),
                     .text = std::move(text),
                     .fromMe = fromMe,
                     .imessage = imessage,
                     .unixTime = when,
                     .readAfter = fromMe ? 0 : readAfter});
    };
    auto attach = [&m](BackupMessageAttachment a) { m.back().attachment = std::move(a); };

    // Amelia, by iMessage, under her number written as the device canonicalises it.
    const std::string amelia = "+14155550188";
    add(amelia, true, false, utc(2025, 5, 12, 9, 14),
        "Morning! Could you send me the plumber's details you mentioned?");
    add(amelia, true, true, utc(2025, 5, 12, 9, 20), "Of course, here's his card.");
    attach({"Contact.vcf", "text/vcard",
            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Garrison;;;;\r\nFN:Garrison Plumbing\r\n"
            "ORG:Garrison Plumbing;\r\nTEL;type=WORK:+1 (415) 555-0196\r\nEND:VCARD\r\n"});
    add(amelia, true, false, utc(2025, 5, 12, 9, 31), "Perfect, thank you. Lunch on Friday?");
    add(amelia, true, true, utc(2025, 5, 12, 9, 33), "Friday works. 12:30 at the usual place?");
    add(amelia, true, false, utc(2025, 5, 12, 9, 40), "See you there \xF0\x9F\x91\x8D");

    // Mom, by text message, her number spelled with blanks.
    const std::string mom = "+1 707 555 0119";
    add(mom, false, false, utc(2025, 5, 18, 17, 2),
        "The apple trees are in full bloom, look at this!");
    attach({"IMG_2231.JPG", "image/jpeg", makePhotoJpeg(640, 480, 2231)});
    add(mom, false, true, utc(2025, 5, 18, 17, 10), "Beautiful! Save me some apples this year.");
    add(mom, false, false, utc(2025, 5, 18, 17, 12),
        "Only if you come and pick them \xF0\x9F\x98\x8A");
    add(mom, false, false, utc(2025, 5, 25, 8, 45), "Don't forget Grandpa's birthday on Sunday.",
        0);

    // Bruno, by text message, the national number without its country prefix.
    const std::string bruno = "6285550131";
    add(bruno, false, false, utc(2025, 5, 20, 21, 5), "Caught the goal from the stands!");
    attach({"IMG_2240.MOV", "video/quicktime",
            std::string("\0\0\0\x14"
                        "ftypqt  \0\0\0\0qt  ",
                        20) +
                std::string(4096, '\x5A')});
    add(bruno, false, true, utc(2025, 5, 20, 21, 9), "No way, what a finish. Rematch next week?");
    add(bruno, false, false, utc(2025, 5, 20, 21, 11), "You're on.");

    // Dmitri, by iMessage, written with brackets and a hyphen.
    const std::string dmitri = "(510) 555-0164";
    add(dmitri, true, false, utc(2025, 5, 22, 18, 30), "At the climbing gym, north entrance.");
    attach({"Current Location.loc.vcf", "text/x-vlocation",
            "BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:-//Apple Inc.//iPhone OS 12.4.1//EN\r\n"
            "N:;Current Location;;;\r\nFN:Current Location\r\n"
            "item1.URL;type=pref:http://maps.apple.com/?ll=37.804400\\,-122.271100&q=37.804400"
            "\\,-122.271100\r\nitem1.X-ABLabel:map url\r\nEND:VCARD\r\n"});
    add(dmitri, true, true, utc(2025, 5, 22, 18, 34), "Parking now, five minutes.");

    // Chiara, by iMessage, an international number.
    const std::string chiara = "+390255501187";
    add(chiara, true, true, utc(2025, 5, 27, 10, 2),
        "Ciao Chiara! The proofs look great, one note on page 4.");
    add(chiara, true, false, utc(2025, 5, 27, 10, 15), "Grazie! Send it over, I'll fix it today.");

    // Priya, by iMessage, under her e-mail address.
    const std::string priya = "priya.raman@mailbox.example";
    add(priya, true, false, utc(2025, 6, 1, 19, 45), "Are we still on for the hike tomorrow?");
    add(priya, true, true, utc(2025, 6, 1, 19, 47), "Yes! 8 am at the trailhead. Bring water.");
    add(priya, true, false, utc(2025, 6, 1, 19, 48),
        "Deal. No peanut snacks please \xF0\x9F\x98\x85");

    // A bank's short code nobody has a card for.
    add("72404", false, false, utc(2025, 6, 3, 7, 58),
        "Your verification code is 482913. It expires in 10 minutes.", 0);
    return m;
}

void addDemoMessages(const SimDeviceBuilder& b) {
    addBackupMessages(b, demoMessages());
}

}  // namespace nimbara::simdev
