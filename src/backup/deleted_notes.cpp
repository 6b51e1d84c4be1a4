// Deleted notes, in each layout the note reader reads: a carved note row with its body (live or
// carved, found by the keys the layout links them with), and a carved body with the note that owns
// it (live or carved), or alone when no note is left. Nothing is renumbered: a note and a body
// belong together when their keys say so, or, where both lost the keys their freed cells held,
// when the body's first line is the note's title and no other note or body has it.
#include <map>
#include <unordered_map>
#include <unordered_set>
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
    NoteJoin(FamilyRun& run, const NoteLayout& layout, NoteBodyAllowance& allowance)
        : run_(run),
          layout_(layout),
          poster_(run.center, kScanDelNoteInfo),
          allowance_(allowance),
          title_(columnIndex(run.source.table(layout.notes), layout.title)),
          date_(columnIndex(run.source.table(layout.notes), layout.date)),
          bodyKey_(layout.bodyKey == nullptr
                       ? -1
                       : columnIndex(run.source.table(layout.notes), layout.bodyKey)),
          attachment_(layout.attachment == nullptr
                          ? -1
                          : columnIndex(run.source.table(layout.notes), layout.attachment)),
          owner_(columnIndex(run.source.table(layout.bodies), layout.owner)),
          content_(columnIndex(run.source.table(layout.bodies), layout.content)) {}

    std::size_t run() {
        // The first carved body naming each note as its owner.
        for (const TableRow& body : run_.source.carved(layout_.bodies)) {
            if (!run_.goOn()) {
                return poster_.posted();
            }
            if (const auto owner = integerOf(body.value(owner_))) {
                carvedBodyOf_.emplace(*owner, &body);
            }
        }
        std::vector<const TableRow*> bodiless;  // notes whose body their keys don't find
        for (const TableRow& note : run_.source.carved(layout_.notes)) {
            if (!run_.goOn()) {
                return poster_.posted();
            }
            const TableRow* body = bodyOfNote(note);
            if (isStoreFolder(note, body)) {
                continue;
            }
            if (body == nullptr) {
                bodiless.push_back(&note);
                continue;
            }
            post(&note, body);
        }
        // Bodies no deleted note claimed: with the note that owns them, or alone.
        std::vector<const TableRow*> alone;
        for (const TableRow& body : run_.source.carved(layout_.bodies)) {
            if (!run_.goOn()) {
                return poster_.posted();
            }
            if (body.rowid && used_.contains(*body.rowid)) {
                continue;
            }
            const TableRow* note = noteOfBody(body);
            // A live note with a live body of its own: this one is an older version of it.
            if (note != nullptr && note->live && liveBodyOf(*note)) {
                continue;
            }
            if (note != nullptr) {
                post(note, &body);
            } else {
                alone.push_back(&body);
            }
        }
        // A body found again elsewhere (its row id lost where its cell was freed) is the note
        // already shown with its title and date, not a second note.
        std::vector<const TableRow*> unshown;
        for (const TableRow* body : alone) {
            if (!run_.goOn()) {
                return poster_.posted();
            }
            if (!joinedContents_.contains(contentOf(*body))) {
                unshown.push_back(body);
            }
        }
        alone = std::move(unshown);
        for (const auto& [note, body] : pairedByTitle(bodiless, alone)) {
            if (!run_.goOn()) {
                return poster_.posted();
            }
            post(note, body);
        }
        for (const TableRow* note : bodiless) {
            if (!run_.goOn()) {
                return poster_.posted();
            }
            if (note != nullptr) {
                post(note, nullptr);
            }
        }
        for (const TableRow* body : alone) {
            if (!run_.goOn()) {
                return poster_.posted();
            }
            if (body != nullptr) {
                post(nullptr, body);
            }
        }
        return poster_.posted();
    }

  private:
    // The body a note names (by its body key, else as the body's owner); live first.
    const TableRow* bodyOfNote(const TableRow& note) {
        if (layout_.bodyKey != nullptr) {
            if (const auto key = integerOf(note.value(bodyKey_))) {
                if (const TableRow* body = run_.source.row(layout_.bodies, *key)) {
                    return body;
                }
            }
        }
        if (!note.rowid) {
            return nullptr;
        }
        const std::vector<std::int64_t>& live =
            run_.source.liveRowidsWhere(layout_.bodies, layout_.owner, *note.rowid);
        if (!live.empty()) {
            if (const TableRow* row = run_.source.liveRow(layout_.bodies, live.back())) {
                return row;
            }
        }
        const auto carved = carvedBodyOf_.find(*note.rowid);
        return carved == carvedBodyOf_.end() ? nullptr : carved->second;
    }

    bool liveBodyOf(const TableRow& note) {
        const TableRow* body = bodyOfNote(note);
        return body != nullptr && body->live;
    }

    // The note that owns a body: by the body's owner column, else the note naming it.
    const TableRow* noteOfBody(const TableRow& body) {
        if (const auto owner = integerOf(body.value(owner_))) {
            if (const TableRow* note = run_.source.row(layout_.notes, *owner)) {
                return note;
            }
        }
        if (layout_.bodyKey != nullptr && body.rowid) {
            const std::vector<std::int64_t>& live =
                run_.source.liveRowidsWhere(layout_.notes, layout_.bodyKey, *body.rowid);
            if (!live.empty()) {
                return run_.source.liveRow(layout_.notes, live.front());
            }
        }
        return nullptr;
    }

    // A note and a body whose cells both lost their row ids (the first bytes of a freed cell
    // are written over) can't be joined by their keys: a body whose first line is the title of
    // one note only, the only such body, is that note's, unless a key they kept says otherwise.
    // The pairs are taken out of `notes` and `bodies` (left null).
    std::vector<std::pair<const TableRow*, const TableRow*>> pairedByTitle(
        std::vector<const TableRow*>& notes, std::vector<const TableRow*>& bodies) {
        std::vector<std::pair<const TableRow*, const TableRow*>> pairs;
        std::map<QString, std::vector<std::size_t>> notesByTitle;
        std::unordered_map<QString, std::vector<std::size_t>> bodiesByTitle;
        for (std::size_t i = 0; i < notes.size(); ++i) {
            if (!run_.goOn()) {
                return pairs;
            }
            if (const QString title = textOf(notes[i]->value(title_)).trimmed(); !title.isEmpty()) {
                notesByTitle[title].push_back(i);
            }
        }
        for (std::size_t i = 0; i < bodies.size(); ++i) {
            if (!run_.goOn()) {
                return pairs;
            }
            const QString& content = contentOf(*bodies[i]);
            bodiesByTitle[content.section(u'\n', 0, 0).trimmed()].push_back(i);
        }
        for (const auto& [title, noteIndexes] : notesByTitle) {
            if (!run_.goOn()) {
                return pairs;
            }
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
        const auto owner = integerOf(body.value(owner_));
        if (note.rowid && owner && *note.rowid != *owner) {
            return true;
        }
        if (layout_.bodyKey == nullptr) {
            return false;
        }
        const auto key = integerOf(note.value(bodyKey_));
        return body.rowid && key && *body.rowid != *key;
    }

    // The note store keeps folders and accounts beside the notes: rows without a title or a body.
    bool isStoreFolder(const TableRow& note, const TableRow* body) const {
        return layout_.storeBodies && textOf(note.value(title_)).isEmpty() && body == nullptr;
    }

    void post(const TableRow* note, const TableRow* body) {
        auto node = std::make_shared<PRNoteNode>();
        if (note != nullptr) {
            if (note->rowid) {
                node->setUid(static_cast<int>(*note->rowid));
            }
            if (const QString title = textOf(note->value(title_)); !title.isEmpty()) {
                node->setNoteTitle(title);
            }
            if (const auto date = numberOf(note->value(date_))) {
                node->setNoteDate(recordDateText(referenceDateSeconds(*date)));
            }
            if (const QString name = textOf(note->value(attachment_)); !name.isEmpty()) {
                node->setNoteAttachName(name);
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

    // A body's text, worked out once per body (a store body is inflated once).
    const QString& contentOf(const TableRow& body) {
        auto [it, added] = contents_.try_emplace(&body);
        if (added) {
            it->second = readContent(body);
        }
        return it->second;
    }

    QString readContent(const TableRow& body) {
        const carver::Value* content = body.value(content_);
        if (layout_.storeBodies) {
            const QByteArray stored = bytesOf(content);
            return stored.isEmpty() ? QString() : allowance_.text(stored);
        }
        const QString text = textOf(content);
        return text.isEmpty() ? QString() : cleanedNoteContent(text);
    }

    FamilyRun& run_;
    const NoteLayout& layout_;
    DeletedPoster<PRNoteNode> poster_;
    NoteBodyAllowance& allowance_;
    const int title_;
    const int date_;
    const int bodyKey_;
    const int attachment_;
    const int owner_;
    const int content_;
    std::unordered_map<std::int64_t, const TableRow*> carvedBodyOf_;  // by owner
    std::unordered_map<const TableRow*, QString> contents_;
    std::unordered_set<std::int64_t> used_;
    std::unordered_set<QString> joinedContents_;  // contents already shown with their note
};

}  // namespace

std::size_t postDeletedNotes(FamilyRun& run) {
    NoteBodyAllowance own;
    NoteBodyAllowance& allowance = run.inputs.noteBodies != nullptr ? *run.inputs.noteBodies : own;
    allowance.setDatabaseBytes(run.source.databaseBytes());
    // The tables tell the layout, whichever file they came in.
    for (const NoteLayout& layout : kLayouts) {
        if (run.source.table(layout.notes) != nullptr) {
            return NoteJoin(run, layout, allowance).run();
        }
    }
    return 0;
}

}  // namespace nimbara::backup::deleted
