// Takes out of a backup the entries whose paths its readers would refuse (nested deeper or named
// longer than isAcceptableEntryPath allows), so that a backup a device sent can still be read and
// restored. A device names such paths only in a backup it could not make soundly; they are left
// out and named rather than keeping a backup that every reader refuses.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace nimbara::backup {

struct UnreadableEntries {
    std::vector<std::string> files;  // the files taken out, as "<domain>/<relative path>"
    std::string error;               // why the list could not be mended; empty when it was
    bool ok() const { return error.empty(); }
};

// Removes the rows of such entries from the Manifest.db of the (not yet finished) backup in
// `folder`, and their stored files. A Manifest.mbdb with such entries is not rewritten: the
// answer then says so.
UnreadableEntries leaveOutUnreadableEntries(const std::filesystem::path& folder);

}  // namespace nimbara::backup
