// New files in an export folder, named after records from a backup.
//
// A record's name (a contact, a conversation, an attachment) is untrusted text: it is made into one
// safe file name before it is used, and the file lands in the chosen folder and nowhere else. An
// export never replaces a file: when the name is taken (by an earlier export, or by another record
// of the same name in this one) the new file is numbered, "Name (2).vcf", "Name (3).vcf", ...
// Every file is written under a temporary name and renamed into place once complete, so the
// folder never holds half a file, and every failure comes back to the caller.
#pragma once

#include "platform/file_name_fit.h"

#include <QString>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbara {
class PartialFile;
}

namespace nimbara::backup {

// The outcome of writing one export file.
struct ExportWriteResult {
    bool ok = false;
    std::filesystem::path path;  // the file written; empty when nothing was written
    std::string error;           // why not, one line for the log; empty on success

    explicit operator bool() const { return ok; }
};

// The longest file name, in bytes, that an export writes.
inline constexpr std::size_t kExportNameMax = kLocalNameMax;

// `name` as one file name stem, in UTF-8: "/", "\", NUL, control characters and the characters
// other file systems refuse (: * ? " < > |) become "_"; a run of dots becomes one "."; blanks at
// both ends go and a leading dot becomes "_" (no hidden files, never "." or ".."). When nothing is
// left, `fallback` (made safe the same way; "Untitled" when that is empty too).
std::string safeFileStem(const QString& name, const QString& fallback);

// stem + suffix + extension, fitted to kExportNameMax bytes (see platform/file_name_fit.h).
using nimbara::fittedFileName;

// A file's own name split for numbering: the stem, and its extension with the dot (".jpg") when
// the name has a short one of letters and digits after a dot that is not its first character;
// otherwise the whole name and no extension. "IMG_1.JPG (2)" would hide the type, so a copy of
// a file is numbered before its extension: "IMG_1 (2).JPG".
struct ExportNameParts {
    QString stem;
    std::string extension;
};
ExportNameParts exportNameParts(const QString& fileName);

// True when `target` names an entry directly inside `folder`: one name that is neither empty, "."
// nor "..", with no "/" and no NUL.
bool isDirectlyInside(const std::filesystem::path& folder, const std::filesystem::path& target);

// True when `path` is `root` or lies below it, component by component (both canonical).
bool liesUnder(const std::filesystem::path& path, const std::filesystem::path& root);

// The folder root/names[0]/names[1]/..., made level by level where missing. Each name must be
// one plain name (not empty, ".", "..", no "/" or NUL), each level a real folder (never a link
// or a file of that name) and the result must lie under `root`, which must be canonical.
// nullopt, with the reason in `why`, otherwise; folders made before the failing level stay.
std::optional<std::filesystem::path> makeFolderInside(const std::filesystem::path& root,
                                                      const std::vector<std::string>& names,
                                                      std::string* why);

// Fills the temporary file; false (with the file's error set) when a write failed, or with a
// reason in `why` for a failure of its own.
using ExportFill = std::function<bool(PartialFile& file, std::string* why)>;

// Writes a new file into `folder` (which must exist) named safeFileStem(name, fallback) +
// `extension` (".txt", with its dot; may be empty), numbered " (2)", " (3)", ... when that name is
// taken. The name is claimed exclusively before anything is written, so two writers never pick
// the same one and nothing that exists is replaced (not even a link of that name).
ExportWriteResult writeExportFile(const std::filesystem::path& folder, const QString& name,
                                  std::string_view extension, const ExportFill& fill,
                                  const QString& fallback = {});

// The same with the bytes at hand.
ExportWriteResult writeExportFile(const std::filesystem::path& folder, const QString& name,
                                  std::string_view extension, const std::string& bytes,
                                  const QString& fallback = {});

// Copies everything readable from `sourceFd` (from its current offset to its end) into a new
// export file as writeExportFile does; a read error discards the copy and is reported. When
// `stopRequested` is given it is asked between chunks: once it says yes the copy is discarded
// (the error then reads "stopped").
ExportWriteResult copyToExportFile(int sourceFd, const std::filesystem::path& folder,
                                   const QString& name, std::string_view extension,
                                   const QString& fallback = {},
                                   const std::function<bool()>& stopRequested = {});

}  // namespace nimbara::backup
