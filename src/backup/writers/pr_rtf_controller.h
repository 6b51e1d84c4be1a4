// The plain-text record list: one block of labelled fields per record ("Title:abc  URL:x  "),
// records separated by one empty line, written as one UTF-8 file per record family and export.
//
// The file takes the family's name ("Contacts.txt", "Notes.txt", ...) when that name is free in
// the folder; otherwise, as for a second export into the same folder, the new list is numbered
// ("Contacts (2).txt"): an earlier export is never replaced. A type the table does not know is
// written as "TXT.txt", numbered the same way.
//
// One writer per export and family, used by one thread.
#pragma once

#include "backup/writers/export_file.h"

#include <QString>

#include <filesystem>

class PRRtfController {
  public:
    PRRtfController() { setRtfHeader(); }
    PRRtfController(const PRRtfController&) = delete;
    PRRtfController& operator=(const PRRtfController&) = delete;

    // Starts a new, empty list.
    void setRtfHeader() { strRtfContent_.clear(); }
    // Appends one record's text and the empty line after it. A line break inside the text never
    // makes an empty line of its own (that would read as the end of the record): such a line gets
    // one blank. "\r\n" and "\r" become "\n".
    void addRtfContent(const QString& text);
    // Ends the list; there is nothing to add at its end.
    void setRtfEnder() {}
    // Writes the list into `folder` under the name of `fileType` (see the table in the .cpp);
    // the buffer is kept.
    nimbara::backup::ExportWriteResult writeRtfInPath(const std::filesystem::path& folder,
                                                      const QString& fileType);

    const QString& strRtfContent() const { return strRtfContent_; }

    // The file name stem for a record family ("Contacts" for "Contact"); "TXT" for any other type.
    static QString familyFileStem(const QString& fileType);

  private:
    QString strRtfContent_;
};
