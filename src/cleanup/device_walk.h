// The walk of a device folder tree over AFC shared by the scans of the media root: every entry of
// a folder is looked at, sub-folders are entered while the depth allows, and every regular file
// is handed to the caller with its size and the depth of its folder. Entry names that would make
// a path leave its folder are skipped. After every entry the stop check is asked; once it says
// stop, the walk unwinds from every level at once.
//
// How a folder is listed and an entry looked at is the caller's (a scan may answer from what it
// read before); by default both go straight to the AFC service.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/afc_file_ops.h"

namespace amd {
class AfcService;
}

namespace nimbara::cleanup {

struct DeviceWalk {
    using ReadFolder =
        std::function<std::optional<std::vector<std::string>>(const std::string& folder)>;
    using EntryInfo =
        std::function<std::optional<amd::afc::FileKindAndSize>(const std::string& path)>;
    using FileVisit = std::function<void(const std::string& path, std::uint64_t size, int depth)>;
    using FolderVisit = std::function<void(const std::string& path, int depth)>;
    using StopCheck = std::function<bool()>;  // true: stop now

    // Reads straight from `afc`.
    static DeviceWalk over(amd::AfcService& afc);

    ReadFolder readFolder;
    EntryInfo entryInfo;
    int maxDepth = 64;  // folder levels entered below the walk's root
    // When set, every sub-folder met is handed over after everything below it (a folder below
    // maxDepth without its contents), so a folder always comes after its own entries.
    FolderVisit afterFolder;
    // When set, called after each entry of the folder the walk starts in (with everything below
    // it walked) unless the walk stopped there: how many of that folder's names are done, of all.
    std::function<void(std::size_t done, std::size_t total)> afterTopEntry;

    // Walks `folder` (at `depth`); a folder that can't be read counts as empty, an entry
    // without attributes is skipped. False when the stop check ended the walk.
    bool walk(const std::string& folder, int depth, const FileVisit& onFile,
              const StopCheck& stop) const;

  private:
    bool walkFolder(const std::string& folder, int depth, const FileVisit& onFile,
                    const StopCheck& stop, bool top) const;
};

// Whether a name listed by the device is one plain entry name (not empty, ".", "..", nor
// holding "/" or a NUL).
bool isPlainEntryName(const std::string& name);
// The text after the last "/" of a device path (the whole text without one).
std::string lastPathComponent(const std::string& path);

}  // namespace nimbara::cleanup
