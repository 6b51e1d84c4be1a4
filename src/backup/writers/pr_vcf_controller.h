// One contact as a vCard 3.0 file (UTF-8): BEGIN, VERSION, FN, a structured N, then ORG, TITLE,
// EMAIL, TEL, ADR, URL, NOTE and PHOTO where the contact has them, END. Every phone number and
// e-mail address is a line of its own, its label as the TYPE, the first one preferred. Values are
// escaped ("\\",
// "\;", "\,", "\n" for a line break), lines longer than 75 bytes are folded (never inside a UTF-8
// character) and every line, the last one too, ends in CR LF.
//
// The file is named after the contact (its name, else its company, else "unknown <row id>"), made
// safe as a file name and numbered when taken, so two contacts of one name both survive.
#pragma once

#include "backup/writers/export_file.h"

#include <QByteArrayView>

#include <filesystem>
#include <string>

class PRContactNode;

class PRVCFController {
  public:
    PRVCFController() = default;
    PRVCFController(const PRVCFController&) = delete;
    PRVCFController& operator=(const PRVCFController&) = delete;

    // Builds the card of `node` and writes it as a new file into `folder` (vCardFileStem + ".vcf").
    nimbara::backup::ExportWriteResult creatFile(const PRContactNode& node,
                                                 const std::filesystem::path& folder);
    // The card last built (UTF-8).
    const std::string& strContent() const { return strContent_; }

    // Standard Base64 of `source`: each group of three bytes gives four letters; a last group of
    // one or two bytes gives two or three letters and, when `padded`, "==" or "=".
    static std::string baseEncode(QByteArrayView source, bool padded);

  private:
    std::string strContent_;
};

namespace nimbara::backup {

// The card of `node` (UTF-8, CR LF line ends).
std::string vCardText(const PRContactNode& node);
// The TYPE of a number or address with the address book's label `label` ("_$!<Mobile>!$_" is
// "CELL", "_$!<WorkFAX>!$_" is "WORK,FAX"); a label of the user's own keeps its letters and
// digits; empty for none.
QString vCardType(const QString& label);
// A value escaped for a vCard text field.
std::string vCardEscaped(const QString& value);
// One content line ("NAME;PARAMS:value", without line end) folded at 75 bytes, with CR LF.
std::string vCardFoldedLine(const std::string& line);
// The name a contact's file is given before it is made safe: the contact's name, else its
// company, else "unknown <row id>".
QString vCardFileStem(const PRContactNode& node);
// Writes `node`'s card as a new file into `folder`.
ExportWriteResult writeContactVCard(const PRContactNode& node, const std::filesystem::path& folder);

}  // namespace nimbara::backup
