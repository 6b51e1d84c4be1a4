#include "demo_deleted_records.h"

#include <QByteArray>

#include "demo_device_parts.h"
#include "leftover_rows.h"
#include "sim_database.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kSecondsFrom1970To2001 = 978307200;

fs::path databaseOf(const SimDeviceBuilder& b, const char* domain, const char* path) {
    return backupDatabaseFile(b.dir(), domain, path);
}

// The largest key of a table's column (0 for an empty table), for rows given their keys up front.
std::int64_t largestKey(LeftoverRows& db, const char* table, const char* column) {
    SqliteStatement st =
        db.prepare(std::string("SELECT coalesce(max(") + column + "), 0) FROM " + table);
    return st.step() ? st.columnInt64(0) : 0;
}

// The address book: the people and their numbers added and deleted in its log, which the
// device had not checkpointed yet.
void leaveContacts(const SimDeviceBuilder& b) {
    LeftoverRows db(databaseOf(b, "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb"), true);
    SqliteStatement person = db.prepare(
        "INSERT INTO ABPerson (First, Last, Organization, JobTitle, Note, Kind, DisplayName, "
        "StoreID) VALUES (?, ?, ?, ?, ?, 0, ?, 0)");
    SqliteStatement value = db.prepare(
        "INSERT INTO ABMultiValue (record_id, property, identifier, label, value) VALUES (?, ?, ?, "
        "(SELECT rowid FROM ABMultiValueLabel WHERE value = ?), ?)");
    for (const BackupContact& c : demoDeletedContacts()) {
        bindText(person, 1, c.first);
        bindText(person, 2, c.last);
        bindText(person, 3, c.organization);
        bindText(person, 4, c.jobTitle);
        bindText(person, 5, c.note);
        bindText(person, 6, c.first + " " + c.last);
        const std::int64_t rowid = db.insert("ABPerson", person);
        auto add = [&](std::int64_t property, const std::vector<std::string>& values,
                       const char* label) {
            for (std::size_t k = 0; k < values.size(); ++k) {
                value.bind(1, rowid);
                value.bind(2, property);
                value.bind(3, static_cast<std::int64_t>(k));
                value.bind(4, std::string(label));
                value.bind(5, values[k]);
                db.insert("ABMultiValue", value);
            }
        };
        add(3, c.phones, "_$!<Mobile>!$_");
        add(4, c.emails, "_$!<Home>!$_");
        add(22, c.homepages, "_$!<HomePage>!$_");
    }
    db.commit();
    db.deleteInserted();
    db.finish(true);
}

void leaveMessages(const SimDeviceBuilder& b) {
    LeftoverRows db(databaseOf(b, "HomeDomain", "Library/SMS/sms.db"));
    SqliteStatement findHandle =
        db.prepare("SELECT ROWID FROM handle WHERE id = ? AND service = ?");
    SqliteStatement handle = db.prepare(
        "INSERT INTO handle (id, country, service, uncanonicalized_id) VALUES (?, 'us', ?, ?)");
    SqliteStatement message = db.prepare(
        "INSERT INTO message (guid, text, handle_id, service, account, date, date_read, "
        "date_delivered, is_delivered, is_finished, is_from_me, is_read, is_sent) VALUES (?, ?, "
        "?, ?, 'E:nora@mailbox.example', ?, 0, ?, 1, 1, ?, ?, ?)");
    auto nanoseconds = [](std::int64_t unixTime) {
        return (unixTime - kSecondsFrom1970To2001) * 1000000000LL;
    };
    int guid = 0;
    for (const BackupMessage& m : demoDeletedMessages()) {
        const std::string service = m.imessage ? "iMessage" : "SMS";
        findHandle.bind(1, m.address);
        findHandle.bind(2, service);
        std::int64_t handleId = findHandle.step() ? findHandle.columnInt64(0) : 0;
        findHandle.reset();
        if (handleId == 0) {
            // A party the device has no other message of; its handle stays.
            handle.bind(1, m.address);
            handle.bind(2, service);
            handle.bind(3, m.address);
            handleId = db.run(handle);
        }
        message.bind(1, "DE1E7ED0-4C1D-4E2F-9A3B-00000000000" + std::to_string(++guid));
        message.bind(2, m.text);
        message.bind(3, handleId);
        message.bind(4, service);
        message.bind(5, nanoseconds(m.unixTime));
        message.bind(6, m.fromMe ? nanoseconds(m.unixTime + 2) : 0);
        message.bind(7, static_cast<std::int64_t>(m.fromMe ? 1 : 0));
        message.bind(8, static_cast<std::int64_t>(1));
        message.bind(9, static_cast<std::int64_t>(m.fromMe ? 1 : 0));
        db.insert("message", message);
    }
    db.commit();
    db.deleteInserted();
    db.finish();
}

void leaveCalls(const SimDeviceBuilder& b) {
    LeftoverRows db(databaseOf(b, "HomeDomain", "Library/CallHistoryDB/CallHistory.storedata"));
    SqliteStatement insert = db.prepare(
        "INSERT INTO ZCALLRECORD (Z_PK, Z_ENT, Z_OPT, ZANSWERED, ZCALL_CATEGORY, ZCALLTYPE, "
        "ZHANDLE_TYPE, ZNUMBER_AVAILABILITY, ZORIGINATED, ZREAD, ZDATE, ZDURATION, "
        "ZISO_COUNTRY_CODE, ZSERVICE_PROVIDER, ZUNIQUE_ID, ZADDRESS) "
        "VALUES (?, 2, 1, ?, 1, 1, 2, 0, ?, 1, ?, ?, 'us', 'com.apple.Telephony', ?, ?)");
    std::int64_t pk = largestKey(db, "ZCALLRECORD", "Z_PK");
    for (const BackupCall& call : demoDeletedCalls()) {
        insert.bind(1, ++pk);
        insert.bind(2, static_cast<std::int64_t>(call.seconds > 0 ? 1 : 0));
        insert.bind(3, static_cast<std::int64_t>(call.outgoing ? 1 : 0));
        bindReal(insert, 4, since2001(call.unixTime));
        bindReal(insert, 5, call.seconds);
        insert.bind(6, "call-" + std::to_string(pk));
        insert.bind(7, QByteArray::fromStdString(call.address));
        db.insert("ZCALLRECORD", insert);
    }
    db.commit();
    db.deleteInserted();
    db.finish();
}

void leaveBookmarks(const SimDeviceBuilder& b) {
    LeftoverRows db(databaseOf(b, "HomeDomain", "Library/Safari/Bookmarks.db"));
    SqliteStatement insert = db.prepare(
        "INSERT INTO bookmarks (special_id, parent, type, title, url, num_children, order_index, "
        "external_uuid) VALUES (0, 0, 0, ?, ?, 0, ?, ?)");
    std::int64_t order = 100;
    for (const BackupBookmark& mark : demoDeletedBookmarks()) {
        insert.bind(1, mark.title);
        insert.bind(2, mark.url);
        insert.bind(3, order);
        insert.bind(4, "BOOKMARK-DELETED-" + std::to_string(++order));
        db.insert("bookmarks", insert);
    }
    db.commit();
    db.deleteInserted();
    db.finish();
}

void leaveCalendarItems(const SimDeviceBuilder& b) {
    LeftoverRows db(databaseOf(b, "HomeDomain", "Library/Calendar/Calendar.sqlitedb"));
    SqliteStatement location = db.prepare("INSERT INTO Location (title) VALUES (?)");
    SqliteStatement item = db.prepare(
        "INSERT INTO CalendarItem (summary, location_id, description, start_date, start_tz, "
        "end_date, all_day, calendar_id, status, hidden, has_recurrences, has_attendees, UUID, "
        "entity_type) VALUES (?, ?, ?, ?, 'America/Los_Angeles', ?, 0, 1, 0, 0, 0, 0, ?, 2)");
    int uuid = 0;
    for (const BackupCalendarEvent& event : demoDeletedCalendarEvents()) {
        std::int64_t placeId = 0;
        if (!event.location.empty()) {
            location.bind(1, event.location);
            placeId = db.insert("Location", location);
        }
        bindText(item, 1, event.summary);
        item.bind(2, placeId);
        bindText(item, 3, event.notes);
        item.bind(4, static_cast<std::int64_t>(event.start));
        item.bind(5, static_cast<std::int64_t>(event.end));
        item.bind(6, "ITEM-DELETED-" + std::to_string(++uuid));
        db.insert("CalendarItem", item);
    }
    db.commit();
    db.deleteInserted();
    db.finish();
}

}  // namespace

std::vector<BackupContact> demoDeletedContacts() {
    return {
        {.first = "Rafael",
         .last = "Moreno",
         .organization = "Moreno Tiling",
         .jobTitle = "Owner",
         .phones = {"+1 (415) 555-0171"},
         .emails = {"rafael@morenotiling.example"},
         .homepages = {"https://morenotiling.example"}},
        {.first = "Oskar",
         .last = "Brandt",
         .note = "Old flatmate from Berlin.",
         .phones = {"+49 30 5550 1234"},
         .emails = {"oskar.brandt@mailbox.example"}},
    };
}

std::vector<BackupMessage> demoDeletedMessages() {
    using demo::utc;
    return {
        {.address = "+14155550188",
         .text = "Running ten minutes late, order me the soup?",
         .fromMe = true,
         .imessage = true,
         .unixTime = utc(2025, 5, 16, 12, 36)},
        {.address = "+14155550171",
         .text = "Your tiles are ready for pick-up on Monday. Moreno Tiling",
         .fromMe = false,
         .imessage = false,
         .unixTime = utc(2025, 5, 29, 15, 20)},
        {.address = "+1 707 555 0119",
         .text = "Call me when you land, love you",
         .fromMe = false,
         .imessage = false,
         .unixTime = utc(2025, 6, 2, 22, 5)},
    };
}

std::vector<BackupNote> demoDeletedNotes() {
    using demo::utc;
    return {
        {"Tile quotes",
         "Tile quotes\nMoreno Tiling: $1,850 for the bathroom floor\nAsk about the blue zellige",
         utc(2024, 4, 2, 9, 15), utc(2024, 4, 20, 17, 40)},
        {"Gift for Priya", "Gift for Priya\nCeramics class voucher, or the hiking guide",
         utc(2024, 5, 3, 20, 10), utc(2024, 5, 4, 8, 0)},
        {"Spare key", "Spare key\nUnder the blue pot by the back door", utc(2024, 5, 20, 7, 30),
         utc(2024, 5, 20, 7, 31)},
    };
}

std::vector<BackupCall> demoDeletedCalls() {
    using demo::utc;
    return {
        {"+14155550171", utc(2024, 5, 29, 16, 10), 187, true},
        {"+16285550131", utc(2024, 5, 31, 20, 45), 0, false},
    };
}

std::vector<BackupBookmark> demoDeletedBookmarks() {
    return {
        {.title = "Moreno Tiling: Price List", .url = "https://morenotiling.example/prices"},
        {.title = "Hotel on Rua das Flores", .url = "https://stays.example/lisbon/rua-das-flores"},
    };
}

std::vector<BackupCalendarEvent> demoDeletedCalendarEvents() {
    return {
        {.summary = "Tile showroom visit",
         .location = "Moreno Tiling, 31 Bryant Street",
         .notes = "Bring the bathroom measurements.",
         .start = calendarTime(2019, 8, 7, 18, 0),
         .end = calendarTime(2019, 8, 7, 19, 0)},
    };
}

// The note store: two notes written out to the main file, a third still in the log, then all
// three deleted in the log.
void addDemoDeletedNotes(const SimDeviceBuilder& b) {
    LeftoverRows db(databaseOf(b, "AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite"));
    SqliteStatement note = db.prepare(
        "INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZMARKEDFORDELETION, ZACCOUNT, "
        "ZFOLDER, ZNOTEDATA, ZCREATIONDATE1, ZMODIFICATIONDATE1, ZIDENTIFIER, ZSNIPPET, ZTITLE1) "
        "VALUES (?, 12, 3, 0, 1, 2, ?, ?, ?, ?, ?, ?)");
    SqliteStatement data = db.prepare(
        "INSERT INTO ZICNOTEDATA (Z_PK, Z_ENT, Z_OPT, ZNOTE, ZDATA) VALUES (?, 11, 1, ?, ?)");
    std::int64_t pk = largestKey(db, "ZICCLOUDSYNCINGOBJECT", "Z_PK");
    std::int64_t dataPk = largestKey(db, "ZICNOTEDATA", "Z_PK");
    const std::vector<BackupNote> notes = demoDeletedNotes();
    for (std::size_t i = 0; i < notes.size(); ++i) {
        if (i + 1 == notes.size()) {
            db.checkpoint();
        }
        const BackupNote& n = notes[i];
        note.bind(1, ++pk);
        note.bind(2, ++dataPk);
        bindReal(note, 3, since2001(n.created));
        bindReal(note, 4, since2001(n.modified));
        note.bind(5, "NOTE-" + std::to_string(pk));
        bindText(note, 6, n.text.substr(n.text.find('\n') + 1, 100));
        bindText(note, 7, n.title);
        db.insert("ZICCLOUDSYNCINGOBJECT", note);
        data.bind(1, dataPk);
        data.bind(2, pk);
        data.bind(3, QByteArray::fromStdString(noteStoreBody(n.text)));
        db.insert("ZICNOTEDATA", data);
    }
    db.commit();
    db.deleteInserted();
    db.finish(true);
}

void addDemoDeletedRecords(const SimDeviceBuilder& b) {
    leaveContacts(b);
    leaveMessages(b);
    addDemoDeletedNotes(b);
    leaveCalls(b);
    leaveBookmarks(b);
    leaveCalendarItems(b);
}

}  // namespace nimbara::simdev
