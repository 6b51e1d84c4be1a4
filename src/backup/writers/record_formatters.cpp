#include "backup/writers/record_formatters.h"

#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_note_node.h"
#include "backup/writers/pr_rtf_controller.h"
#include "backup/writers/pr_vcf_controller.h"

#include <initializer_list>
#include <utility>

namespace nimbara::backup {

namespace {

using Field = std::pair<const char*, QString>;

QString fields(std::initializer_list<Field> list) {
    QString text;
    for (const auto& [label, value] : list) {
        text += QLatin1String(label);
        text += QLatin1Char(':');
        text += value;
        text += QLatin1String("  ");
    }
    return text;
}

}  // namespace

QString contactRecordText(const PRContactNode& node) {
    return fields({{"Name", node.contactName()},
                   {"Phone", node.contactPhone()},
                   {"Email", node.contactEmail()},
                   {"Company", node.contactCompany()},
                   {"JobTitle", node.contactJobtitle()},
                   {"Home Page", node.contactHomepage()},
                   {"Birthday", node.contactBirthday()},
                   {"Note", node.contactNote()}});
}

QString messageRecordText(const PRMessageNode& node) {
    return fields({{"Name", node.messageName()},
                   {"Phone", node.messagePhone()},
                   {"Date", node.messageDate()},
                   {"Type", node.messageType()},
                   {"Content", node.messageContent()}});
}

QString callHistoryRecordText(const PRCallHistoryNode& node) {
    return fields({{"Name", node.callName()},
                   {"Phone", node.callPhone()},
                   {"Date", node.callDate()},
                   {"Type", node.callType()},
                   {"Duration", node.callDuration()}});
}

QString noteRecordText(const PRNoteNode& node) {
    return fields(
        {{"Title", node.noteTitle()}, {"Note", node.noteContent()}, {"Date", node.noteDate()}});
}

QString bookMarkRecordText(const PRBookMarkNode& node) {
    return fields({{"Title", node.bookMarkTitle()}, {"URL", node.bookMarkURL()}});
}

QString calenderRecordText(const PRCalenderNode& node) {
    return fields({{"Title", node.calTitle()},
                   {"Note", node.calNote()},
                   {"Start Date", node.startDate()},
                   {"End Date", node.endDate()}});
}

}  // namespace nimbara::backup

namespace {

void addRecord(const QString& text, PRRtfController& rtf,
               const nimbara::backup::RecordExportOptions& options) {
    rtf.addRtfContent(text);
    if (options.counted) {
        options.counted();
    }
}

}  // namespace

std::optional<nimbara::backup::ExportWriteResult> recoverContactNode(
    const PRContactNode& node, PRRtfController& rtf,
    const nimbara::backup::RecordExportOptions& options) {
    addRecord(nimbara::backup::contactRecordText(node), rtf, options);
    if (options.vCardFolder.empty()) {
        return std::nullopt;
    }
    return nimbara::backup::writeContactVCard(node, options.vCardFolder);
}

void recoverMessageNode(const PRMessageNode& node, PRRtfController& rtf,
                        const nimbara::backup::RecordExportOptions& options) {
    addRecord(nimbara::backup::messageRecordText(node), rtf, options);
}

void recoverCallHistoryNode(const PRCallHistoryNode& node, PRRtfController& rtf,
                            const nimbara::backup::RecordExportOptions& options) {
    addRecord(nimbara::backup::callHistoryRecordText(node), rtf, options);
}

void recoverNoteNode(const PRNoteNode& node, PRRtfController& rtf,
                     const nimbara::backup::RecordExportOptions& options) {
    addRecord(nimbara::backup::noteRecordText(node), rtf, options);
}

void recoverBookMarkNode(const PRBookMarkNode& node, PRRtfController& rtf,
                         const nimbara::backup::RecordExportOptions& options) {
    addRecord(nimbara::backup::bookMarkRecordText(node), rtf, options);
}

void recoverCalenderNode(const PRCalenderNode& node, PRRtfController& rtf,
                         const nimbara::backup::RecordExportOptions& options) {
    addRecord(nimbara::backup::calenderRecordText(node), rtf, options);
}
