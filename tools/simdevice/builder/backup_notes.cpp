#include "backup_notes.h"

#include <QByteArray>

#include <zlib.h>

#include <stdexcept>

#include "backup_source.h"
#include "demo_device_parts.h"
#include "device_path.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "sim_database.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

namespace {

const char* const kNoteStoreSchema =
    "CREATE TABLE ZICCLOUDSYNCINGOBJECT (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, "
    "Z_OPT INTEGER, ZMARKEDFORDELETION INTEGER, ZACCOUNT INTEGER, ZFOLDER INTEGER, "
    "ZNOTEDATA INTEGER, ZCREATIONDATE TIMESTAMP, ZCREATIONDATE1 TIMESTAMP, "
    "ZMODIFICATIONDATE TIMESTAMP, ZMODIFICATIONDATE1 TIMESTAMP, ZIDENTIFIER VARCHAR, "
    "ZNAME VARCHAR, ZSNIPPET VARCHAR, ZTITLE VARCHAR, ZTITLE1 VARCHAR, ZTITLE2 VARCHAR, "
    "ZTHUMBNAILATTACHMENTIDENTIFIER VARCHAR, ZTYPEUTI VARCHAR);"
    "CREATE TABLE ZICNOTEDATA (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
    "ZNOTE INTEGER, ZDATA BLOB);"
    "CREATE INDEX ZICNOTEDATA_ZNOTE_INDEX ON ZICNOTEDATA (ZNOTE);"
    "CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, "
    "Z_MAX INTEGER);";

const char* const kNotesDatabaseSchema =
    "CREATE TABLE ZNOTE (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
    "ZCONTAINSCJK INTEGER, ZCONTENTTYPE INTEGER, ZDELETEDFLAG INTEGER, "
    "ZEXTERNALFLAGS INTEGER, ZEXTERNALSERVERINTID INTEGER, ZINTEGERID INTEGER, "
    "ZISBOOKKEEPINGENTRY INTEGER, ZSTORE INTEGER, ZBODY INTEGER, ZCREATIONDATE TIMESTAMP, "
    "ZMODIFICATIONDATE TIMESTAMP, ZAUTHOR VARCHAR, ZTITLE VARCHAR, ZSUMMARY VARCHAR, "
    "ZGUID VARCHAR, ZSERVERID VARCHAR);"
    "CREATE TABLE ZNOTEBODY (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
    "ZOWNER INTEGER, ZCONTENT VARCHAR, ZEXTERNALCONTENTREF VARCHAR, "
    "ZEXTERNALREPRESENTATION BLOB);"
    "CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, "
    "Z_MAX INTEGER);";

const char* const kOldNotesSchema =
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));"
    "CREATE TABLE Note (creation_date INTEGER, title TEXT, summary TEXT, "
    "modification_date INTEGER, contains_cjk INTEGER);"
    "CREATE TABLE note_bodies (note_id INTEGER, data, UNIQUE(note_id) ON CONFLICT REPLACE);";

void putVarint(std::string& out, std::uint64_t value) {
    while (value >= 0x80) {
        out += static_cast<char>((value & 0x7f) | 0x80);
        value >>= 7;
    }
    out += static_cast<char>(value);
}

// A length-delimited field.
void putField(std::string& out, unsigned field, const std::string& bytes) {
    putVarint(out, (field << 3) | 2);
    putVarint(out, bytes.size());
    out += bytes;
}

void putNumber(std::string& out, unsigned field, std::uint64_t value) {
    putVarint(out, field << 3);
    putVarint(out, value);
}

std::string gzip(const std::string& bytes) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8,
                     Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("cannot compress a note body");
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END) {
        throw std::runtime_error("cannot compress a note body");
    }
    return out;
}

// Length of a UTF-8 text in UTF-16 units, as the attribute runs count.
std::uint64_t utf16Length(const std::string& text) {
    return static_cast<std::uint64_t>(QString::fromStdString(text).size());
}

std::string htmlOf(const std::string& text) {
    std::string html;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::string line =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        html +=
            start == 0 ? line : "<div>" + (line.empty() ? std::string("<br>") : line) + "</div>";
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return html;
}

std::string summaryOf(const std::string& text) {
    const std::size_t newline = text.find('\n');
    return newline == std::string::npos ? std::string() : text.substr(newline + 1, 100);
}

void writeNoteStore(const fs::path& file, const std::vector<BackupNote>& notes,
                    std::size_t rowsInLog) {
    BackupSqliteWriter db(file, kNoteStoreSchema);
    // The account and the folder share the table with the notes; they have no note title.
    SqliteStatement account = db.prepare(
        "INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZNAME, ZIDENTIFIER) "
        "VALUES (1, 14, 1, 'On My iPhone', 'LocalAccount')");
    db.run(account);
    SqliteStatement folder = db.prepare(
        "INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZACCOUNT, ZTITLE2, "
        "ZIDENTIFIER) VALUES (2, 15, 1, 1, 'Notes', 'DefaultFolder-LocalAccount')");
    db.run(folder);
    SqliteStatement note = db.prepare(
        "INSERT INTO ZICCLOUDSYNCINGOBJECT (Z_PK, Z_ENT, Z_OPT, ZMARKEDFORDELETION, ZACCOUNT, "
        "ZFOLDER, ZNOTEDATA, ZCREATIONDATE1, ZMODIFICATIONDATE1, ZIDENTIFIER, ZSNIPPET, "
        "ZTITLE1) VALUES (?, 12, 3, 0, 1, 2, ?, ?, ?, ?, ?, ?)");
    SqliteStatement data = db.prepare(
        "INSERT INTO ZICNOTEDATA (Z_PK, Z_ENT, Z_OPT, ZNOTE, ZDATA) "
        "VALUES (?, 11, 1, ?, ?)");
    db.writeRows(notes, rowsInLog, [&](const BackupNote& n, std::size_t i) {
        const auto pk = static_cast<std::int64_t>(i + 3);
        // Bodies are numbered on their own.
        const auto dataPk = static_cast<std::int64_t>(100 + i);
        note.bind(1, pk);
        note.bind(2, dataPk);
        bindReal(note, 3, since2001(n.created));
        bindReal(note, 4, since2001(n.modified));
        note.bind(5, "NOTE-" + std::to_string(pk));
        bindText(note, 6, summaryOf(n.text));
        bindText(note, 7, n.title);
        db.run(note);
        data.bind(1, dataPk);
        data.bind(2, pk);
        data.bind(3, QByteArray::fromStdString(noteStoreBody(n.text)));
        db.run(data);
    });
    db.finish();
}

void writeNotesDatabase(const fs::path& file, const std::vector<BackupNote>& notes,
                        std::size_t rowsInLog) {
    BackupSqliteWriter db(file, kNotesDatabaseSchema);
    SqliteStatement note = db.prepare(
        "INSERT INTO ZNOTE (Z_PK, Z_ENT, Z_OPT, ZCONTAINSCJK, ZCONTENTTYPE, ZDELETEDFLAG, "
        "ZINTEGERID, ZSTORE, ZBODY, ZCREATIONDATE, ZMODIFICATIONDATE, ZTITLE, ZSUMMARY, ZGUID) "
        "VALUES (?, 3, 1, 0, 0, 0, ?, 1, ?, ?, ?, ?, ?, ?)");
    SqliteStatement body = db.prepare(
        "INSERT INTO ZNOTEBODY (Z_PK, Z_ENT, Z_OPT, ZOWNER, ZCONTENT) VALUES (?, 2, 1, ?, ?)");
    db.writeRows(notes, rowsInLog, [&](const BackupNote& n, std::size_t i) {
        const auto pk = static_cast<std::int64_t>(i + 1);
        // Bodies were made in the other order: their row ids are not their notes'.
        const auto bodyPk = static_cast<std::int64_t>(1000 - i);
        note.bind(1, pk);
        note.bind(2, 5000 + pk);
        note.bind(3, bodyPk);
        bindReal(note, 4, since2001(n.created));
        bindReal(note, 5, since2001(n.modified));
        bindText(note, 6, n.title);
        bindText(note, 7, summaryOf(n.text));
        note.bind(8, "guid-" + std::to_string(pk));
        db.run(note);
        body.bind(1, bodyPk);
        body.bind(2, pk);
        body.bind(3, htmlOf(n.text));
        db.run(body);
    });
    db.finish();
}

void writeOldNotes(const fs::path& file, const std::vector<BackupNote>& notes,
                   std::size_t rowsInLog) {
    BackupSqliteWriter db(file, kOldNotesSchema);
    SqliteStatement note = db.prepare(
        "INSERT INTO Note (ROWID, creation_date, title, summary, modification_date, "
        "contains_cjk) VALUES (?, ?, ?, ?, ?, 0)");
    SqliteStatement body = db.prepare("INSERT INTO note_bodies (note_id, data) VALUES (?, ?)");
    db.writeRows(notes, rowsInLog, [&](const BackupNote& n, std::size_t i) {
        const auto rowid = static_cast<std::int64_t>(i + 1);
        note.bind(1, rowid);
        note.bind(2, static_cast<std::int64_t>(since2001(n.created)));
        bindText(note, 3, n.title);
        bindText(note, 4, summaryOf(n.text));
        note.bind(5, static_cast<std::int64_t>(since2001(n.modified)));
        db.run(note);
        body.bind(1, rowid);
        body.bind(2, htmlOf(n.text));
        db.run(body);
    });
    db.finish();
}

}  // namespace

std::string noteStoreBody(const std::string& text) {
    // The note: its text, the range it covers, and one attribute run over all of it.
    std::string range;
    putField(range, 1, std::string("\x08\x00\x10\x00", 4));
    putNumber(range, 2, 0);
    putField(range, 3, std::string("\x08\x00\x10\x00", 4));
    putNumber(range, 5, 1);
    std::string run;
    putNumber(run, 1, utf16Length(text));
    putField(run, 2, std::string("\x08\x00", 2));
    std::string note;
    putField(note, 2, text);
    putField(note, 3, range);
    putField(note, 5, run);
    std::string document;
    putNumber(document, 1, 0);
    putNumber(document, 2, 0);
    putField(document, 3, note);
    std::string proto;
    putNumber(proto, 1, 0);
    putField(proto, 2, document);
    return gzip(proto);
}

void addBackupNotes(const SimDeviceBuilder& b, const std::vector<BackupNote>& notes, NotesKind kind,
                    std::size_t rowsInLog) {
    switch (kind) {
        case NotesKind::NoteStore:
            writeNoteStore(backupDatabaseFile(b.dir(), "AppDomainGroup-group.com.apple.notes",
                                              "NoteStore.sqlite"),
                           notes, rowsInLog);
            return;
        case NotesKind::NotesDatabase:
            writeNotesDatabase(
                backupDatabaseFile(b.dir(), "HomeDomain", "Library/Notes/notes.sqlite"), notes,
                rowsInLog);
            return;
        case NotesKind::OldNotesDatabase:
            writeOldNotes(backupDatabaseFile(b.dir(), "HomeDomain", "Library/Notes/notes.db"),
                          notes, rowsInLog);
            return;
    }
}

std::vector<BackupNote> demoNotes() {
    using demo::utc;
    return {
        {"Groceries", "Groceries\nOat milk\nSourdough\nBasil, tomatoes\nCoffee beans",
         utc(2024, 5, 2, 17, 20), utc(2024, 5, 29, 18, 5)},
        {"Trip to Lisbon",
         "Trip to Lisbon\nFlight TP 236 leaves SFO at 14:35 on 14 June; check in online the day "
         "before. Hotel on Rua das Flores, two nights, then the train to Porto. Book the tram 28 "
         "tour early, ask Chiara about the tile museum, and pack the charger for the camera.",
         utc(2024, 4, 18, 21, 2), utc(2024, 5, 30, 7, 48)},
        {"Birthday ideas 🎂", "Birthday ideas 🎂\nPriya: ceramics class\nMom: orchard tree 🌳",
         utc(2024, 3, 9, 10, 0), utc(2024, 5, 21, 22, 14)},
        {"Climbing", "Climbing\nThursday 19:00 with Dmitri, bring the new rope.",
         utc(2024, 2, 1, 8, 30), utc(2024, 5, 16, 12, 0)},
        {"Wi-Fi at the cabin", "Wi-Fi at the cabin\nNetwork: Pinecone\nPassword on the fridge",
         utc(2023, 12, 27, 15, 45), utc(2023, 12, 27, 15, 47)},
    };
}

}  // namespace nimbara::simdev
