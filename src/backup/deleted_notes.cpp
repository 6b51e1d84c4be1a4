// Deleted notes, in each layout the note reader reads: a carved note row with its body (live or
// carved, found by the keys the layout links them with), and a carved body with the note that owns
// it (live or carved), or alone when no note is left. Nothing is renumbered: a note and a body
// belong together when their keys say so, or, where both lost the keys their freed cells held,
// when the body's first line is the note's title and no other note or body has it.
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "backup/deleted_families.h"
#include "backup/note_body.h"
#include "backup/note_reader.h"
#include "backup/pr_note_node.h"
#include "backup/record_dates.h"
#include "backup/record_notifications.h"

namespace nimbara::backup::deleted {

const std::vector<CarvedTable> kNoteTables = {{"ZICCLOUDSYNCINGOBJECT", "ZIDENTIFIER"},
                                              {"ZICNOTEDATA"},
                                              {"ZNOTE", "ZGUID"},
                                              {"ZNOTEBODY"},
                                              {"note"},
                                              {"note_bodies"}};

namespace {

// How one layout keeps its notes and their bodies.
struct NoteLayout {
    const char* notes;
    const char* title;
    const char* date;
    const char* bodyKey;  // column of the note naming its body's row id (null: none)
    const char* bodies;
    const char* owner;  // column of the body naming its note's row id
    const char* content;
    bool storeBodies;        // bodies are compressed note documents, not text
    const char* attachment;  // column of the note naming its attachment (null: none)
};

const NoteLayout kLayouts[] = {
    {"ZICCLOUDSYNCINGOBJECT", "ZTITLE1", "ZMODIFICATIONDATE1", "ZNOTEDATA", "ZICNOTEDATA", "ZNOTE",
     "ZDATA", true, "ZTHUMBNAILATTACHMENTIDENTIFIER"},
    {"ZNOTE", "ZTITLE", "ZMODIFICATIONDATE", "ZBODY", "ZNOTEBODY", "ZOWNER", "ZCONTENT", false,
     nullptr},
    {"note", "title", "modification_date", nullptr, "note_bodies", "note_id", "data", false,
     nullptr},
};

class NoteJoin {
  public:
    NoteJoin(FamilyRun& run, const NoteLayout& layout)
        : run_(run), layout_(layout), poster_(run.center, kScanDelNoteInfo) {}

    std::size_t run() {
        std::vector<const TableRow*> bodiless;  // notes whose body their keys don't find
        for (const TableRow& note : run_.source.carved(layout_.notes)) {
            if (stopped(run_.stop)) {
                return poster_.posted();
            }
            const std::optional<TableRow> body = bodyOfNote(note);
            if (isStoreFolder(note, body)) {
                continue;
            }
            if (!body) {
                bodiless.push_back(&note);
                continue;
            }
            post(&note, &*body);
        }
        // Bodies no deleted note claimed: with the note that owns them, or alone.
        std::vector<const TableRow*> alone;
        for (const TableRow& body : run_.source.carved(layout_.bodies)) {
            if (stopped(run_.stop)) {
                break;
            }
            if (body.rowid && used_.contains(*body.rowid)) {
                continue;
            }
            const std::optional<TableRow> note = noteOfBody(body);
            // A live note with a live body of its own: this one is an older version of it.
            if (note && note->live && liveBodyOf(*note)) {
                continue;
            }
            if (note) {
                post(&*note, &body);
            } else {
                alone.push_back(&body);
            }
        }
        // A body found again elsewhere (its row id lost where its cell was freed) is the note
        // already shown with its title and date, not a second note.
        std::erase_if(alone, [this](const TableRow* body) {
            return joinedContents_.contains(contentOf(*body));
        });
        for (const auto& [note, body] : pairedByTitle(bodiless, alone)) {
            post(note, body);
        }
        for (const TableRow* note : bodiless) {
            if (note != nullptr) {
                post(note, nullptr);
            }
        }
        for (const TableRow* body : alone) {
            if (body != nullptr) {
                post(nullptr, body);
            }
        }
        return poster_.posted();
    }

  private:
    // The body a note names (by its body key, else as the body's owner); live first.
    std::optional<TableRow> bodyOfNote(const TableRow& note) {
        if (layout_.bodyKey != nullptr) {
            if (const auto key = integerOf(note.value(layout_.bodyKey))) {
                if (auto live = run_.source.liveRow(layout_.bodies, *key)) {
                    return live;
                }
                if (const TableRow* carved = run_.source.carvedRow(layout_.bodies, *key)) {
                    return *carved;
                }
            }
        }
        if (!note.rowid) {
            return std::nullopt;
        }
        std::vector<TableRow> live =
            run_.source.liveRowsWhere(layout_.bodies, layout_.owner, *note.rowid);
        if (!live.empty()) {
            return std::move(live.back());
        }
        for (const TableRow& carved : run_.source.carved(layout_.bodies)) {
            if (integerOf(carved.value(layout_.owner)) == *note.rowid) {
                return carved;
            }
        }
        return std::nullopt;
    }

    bool liveBodyOf(const TableRow& note) {
        const std::optional<TableRow> body = bodyOfNote(note);
        return body && body->live;
    }

    // The note that owns a body: by the body's owner column, else the note naming it.
    std::optional<TableRow> noteOfBody(const TableRow& body) {
        if (const auto owner = integerOf(body.value(layout_.owner))) {
            if (auto live = run_.source.liveRow(layout_.notes, *owner)) {
                return live;
            }
            if (const TableRow* carved = run_.source.carvedRow(layout_.notes, *owner)) {
                return *carved;
            }
        }
        if (layout_.bodyKey != nullptr && body.rowid) {
            std::vector<TableRow> live =
                run_.source.liveRowsWhere(layout_.notes, layout_.bodyKey, *body.rowid);
            if (!live.empty()) {
                return std::move(live.front());
            }
        }
        return std::nullopt;
    }

    // A note and a body whose cells both lost their row ids (the first bytes of a freed cell
    // are written over) can't be joined by their keys: a body whose first line is the title of
    // one note only, the only such body, is that note's, unless a key they kept says otherwise.
    // The pairs are taken out of `notes` and `bodies` (left null).
    std::vector<std::pair<const TableRow*, const TableRow*>> pairedByTitle(
        std::vector<const TableRow*>& notes, std::vector<const TableRow*>& bodies) const {
        std::map<QString, std::vector<std::size_t>> notesByTitle;
        std::map<QString, std::vector<std::size_t>> bodiesByTitle;
        for (std::size_t i = 0; i < notes.size(); ++i) {
            if (const QString title = textOf(notes[i]->value(layout_.title)).trimmed();
                !title.isEmpty()) {
                notesByTitle[title].push_back(i);
            }
        }
        for (std::size_t i = 0; i < bodies.size(); ++i) {
            const QString content = contentOf(*bodies[i]);
            bodiesByTitle[content.section(u'\n', 0, 0).trimmed()].push_back(i);
        }
        std::vector<std::pair<const TableRow*, const TableRow*>> pairs;
        for (const auto& [title, noteIndexes] : notesByTitle) {
            const auto found = bodiesByTitle.find(title);
            if (noteIndexes.size() != 1 || found == bodiesByTitle.end() ||
                found->second.size() != 1) {
                continue;
            }
            const TableRow*& note = notes[noteIndexes.front()];
            const TableRow*& body = bodies[found->second.front()];
            if (keysDisagree(*note, *body)) {
                continue;
            }
            pairs.emplace_back(note, body);
            note = nullptr;
            body = nullptr;
        }
        return pairs;
    }

    bool keysDisagree(const TableRow& note, const TableRow& body) const {
        const auto owner = integerOf(body.value(layout_.owner));
        if (note.rowid && owner && *note.rowid != *owner) {
            return true;
        }
        if (layout_.bodyKey == nullptr) {
            return false;
        }
        const auto key = integerOf(note.value(layout_.bodyKey));
        return body.rowid && key && *body.rowid != *key;
    }

    // The note store keeps folders and accounts beside the notes: rows without a title or a body.
    bool isStoreFolder(const TableRow& note, const std::optional<TableRow>& body) const {
        return layout_.storeBodies && textOf(note.value(layout_.title)).isEmpty() && !body;
    }

    void post(const TableRow* note, const TableRow* body) {
        auto node = std::make_shared<PRNoteNode>();
        if (note != nullptr) {
            if (note->rowid) {
                node->setUid(static_cast<int>(*note->rowid));
            }
            if (const QString title = textOf(note->value(layout_.title)); !title.isEmpty()) {
                node->setNoteTitle(title);
            }
            if (const auto date = numberOf(note->value(layout_.date))) {
                node->setNoteDate(recordDateText(referenceDateSeconds(*date)));
            }
            if (layout_.attachment != nullptr) {
                if (const QString name = textOf(note->value(layout_.attachment)); !name.isEmpty()) {
                    node->setNoteAttachName(name);
                }
            }
        }
        if (body != nullptr) {
            if (body->rowid) {
                used_.insert(*body->rowid);
            }
            node->setNoteContent(contentOf(*body));
            if (note != nullptr && !node->noteContent().isEmpty()) {
                joinedContents_.insert(node->noteContent());
            }
        }
        // A store note without a body reads as its title, as the reader shows it.
        if (layout_.storeBodies && node->noteContent().isEmpty()) {
            node->setNoteContent(node->noteTitle());
        }
        if (node->noteTitle().isEmpty() && node->noteContent().trimmed().isEmpty()) {
            return;  // nothing of the note was recovered
        }
        poster_.post(node, recordKey({node->noteTitle(), node->noteContent(), node->noteDate()}));
    }

    QString contentOf(const TableRow& body) const {
        const carver::Value* content = body.value(layout_.content);
        if (layout_.storeBodies) {
            const QByteArray stored = bytesOf(content);
            return stored.isEmpty() ? QString() : noteBodyText(stored);
        }
        const QString text = textOf(content);
        return text.isEmpty() ? QString() : cleanedNoteContent(text);
    }

    FamilyRun& run_;
    const NoteLayout& layout_;
    DeletedPoster<PRNoteNode> poster_;
    std::set<std::int64_t> used_;
    std::set<QString> joinedContents_;  // contents already shown with their note
};

}  // namespace

std::size_t postDeletedNotes(FamilyRun& run) {
    // The tables tell the layout, whichever file they came in.
    for (const NoteLayout& layout : kLayouts) {
        if (run.source.table(layout.notes) != nullptr) {
            return NoteJoin(run, layout).run();
        }
    }
    return 0;
}

}  // namespace nimbara::backup::deleted
