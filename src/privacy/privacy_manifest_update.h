// Keeps a cleaned backup's file list true to its files: every stored file a clean rewrote gets
// its new size (and its new digest, where the list records one), and a file the clean removed
// loses its row. Manifest.db is changed in one transaction on a private copy that replaces the
// list only once it passed its integrity check; Manifest.mbdb is written whole under a temporary
// name and renamed into place. Either way the list is never left half-changed.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace nimbara::privacy {

class PrivacyWorkingCopy;

struct ManifestChange {
    bool removed = false;    // the stored file is gone: its row goes
    std::uint64_t size = 0;  // the stored file's new size
    QByteArray sha1;         // and the SHA-1 of its new contents (20 bytes)
};

// The changes of one clean, by file key.
class ManifestChanges {
  public:
    void rewritten(const std::string& fileKey, std::uint64_t size, const QByteArray& sha1);
    void removed(const std::string& fileKey);

    bool isRemoved(const std::string& fileKey) const;
    const std::map<std::string, ManifestChange>& all() const { return changes_; }
    bool empty() const { return changes_.empty(); }

  private:
    std::map<std::string, ManifestChange> changes_;
};

// The SHA-1 (20 bytes) of some bytes.
QByteArray sha1Of(std::string_view bytes);

// Applies `changes` to the working copy's file list (whichever kind it holds). A row the list
// does not have is left alone. False (with `error`) when the list cannot be read or written; the
// list is then as it was.
// `stop` (may be empty) ends an update of Manifest.db while it runs (nothing is changed then).
bool updateManifest(PrivacyWorkingCopy& copy, const ManifestChanges& changes, std::string& error,
                    const std::function<bool()>& stop = {});

// The archived file description of a Manifest.db row with "Size" set to `size` and, when the
// description records a "Digest", that set to `sha1`; in the form it came in (binary or XML).
// nullopt (with `error`) when `blob` is no archived description.
std::optional<std::string> describedFile(std::string_view blob, std::uint64_t size,
                                         const QByteArray& sha1, std::string& error);

}  // namespace nimbara::privacy
