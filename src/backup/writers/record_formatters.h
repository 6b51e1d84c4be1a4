// The text of one record in a plain-text list: each field as label, colon, value and two blanks,
// in a fixed order per record family, e.g. a bookmark "Title:abc  URL:x  ". Values go in as they
// are (PRRtfController keeps their line breaks from ending the record).
//
// One set for every page that exports records. What differs between the pages is passed in: the
// backup browser counts each exported record and writes each contact's vCard beside the list.
#pragma once

#include "backup/writers/export_file.h"

#include <QString>

#include <filesystem>
#include <functional>
#include <optional>

class PRBookMarkNode;
class PRCalenderNode;
class PRCallHistoryNode;
class PRContactNode;
class PRMessageNode;
class PRNoteNode;
class PRRtfController;

namespace nimbara::backup {

// Per-page choices of a record export.
struct RecordExportOptions {
    // Called once for every record added to the list (the page's count of exported files).
    std::function<void()> counted;
    // Contacts only: when not empty, each contact's vCard is also written into this folder.
    std::filesystem::path vCardFolder;
};

QString contactRecordText(const PRContactNode& node);
QString messageRecordText(const PRMessageNode& node);
QString callHistoryRecordText(const PRCallHistoryNode& node);
QString noteRecordText(const PRNoteNode& node);
QString bookMarkRecordText(const PRBookMarkNode& node);
QString calenderRecordText(const PRCalenderNode& node);

}  // namespace nimbara::backup

// Add one record's text to the list. The contact formatter also writes the contact's vCard when
// the options name a folder for it, and returns how that went (nullopt when none was asked for).
std::optional<nimbara::backup::ExportWriteResult> recoverContactNode(
    const PRContactNode& node, PRRtfController& rtf,
    const nimbara::backup::RecordExportOptions& options = {});
void recoverMessageNode(const PRMessageNode& node, PRRtfController& rtf,
                        const nimbara::backup::RecordExportOptions& options = {});
void recoverCallHistoryNode(const PRCallHistoryNode& node, PRRtfController& rtf,
                            const nimbara::backup::RecordExportOptions& options = {});
void recoverNoteNode(const PRNoteNode& node, PRRtfController& rtf,
                     const nimbara::backup::RecordExportOptions& options = {});
void recoverBookMarkNode(const PRBookMarkNode& node, PRRtfController& rtf,
                         const nimbara::backup::RecordExportOptions& options = {});
void recoverCalenderNode(const PRCalenderNode& node, PRRtfController& rtf,
                         const nimbara::backup::RecordExportOptions& options = {});
