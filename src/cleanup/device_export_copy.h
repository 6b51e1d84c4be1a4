// The copy of device files and folder trees into an export folder on the computer, shared by the
// clean-up export, the storage manager's exports and the device file browser's exports.
//
// Each name from the device becomes one local name by the export's rule for hidden names
// (below) and is then made one safe name (backup/writers/export_file.h), so nothing lands
// outside the export folder. Folders are made level by level, refusing links and anything that
// would lead out of the export folder; a file never replaces another (" (2)") and is written
// under a temporary name that is renamed into place once complete. Before every entry the run's
// guard is asked whether to stop (the caller asked, or the run's device went away). Every
// failure goes to the caller's sink, except a copy cut short by a stop or a departure: the run's
// status tells those.
#pragma once

#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cleanup/clean_removal.h"

namespace amd {
class AfcService;
}

namespace nimbara::cleanup {

// How a device name that starts with a dot (hidden on the device) is written.
enum class HiddenNameRule {
    Underscore,       // ".x" is written "_x": nothing is hidden, and ".x" and "x" stay apart
    DropLeadingDot,   // one leading dot goes: ".cache" is written "cache", as the browser shows it
    DropLeadingDots,  // every leading dot goes: "..x" is written "x"
};

// `name` as the rule writes it, before it is made safe.
std::string shownDeviceName(const std::string& name, HiddenNameRule rule);
// `name` as the rule writes it, made one safe local name (a folder's name).
std::string localDeviceName(const std::string& name, HiddenNameRule rule);

class DeviceExportCopy {
  public:
    using FailSink = std::function<void(const std::string& devicePath, int code, const QString&)>;
    using WrittenSink = std::function<void(const std::filesystem::path& file, std::uint64_t)>;

    // Copies from `afc` into `root` (the canonical export folder). `failed` hears of every entry
    // that could not be copied, `written` of every file written and its bytes. Without `afc`
    // (null) only local folders are made: every copy fails as unreachable.
    DeviceExportCopy(amd::AfcService* afc, CleanRunGuard& guard, std::filesystem::path root,
                     HiddenNameRule names, FailSink failed, WrittenSink written);

    // Folder levels entered below a copied folder.
    static constexpr int kMaxDepth = CleanRemovalEngine::kMaxDepth;

    // The device file `devicePath` into the local folder `into`, named `name` (made safe and
    // numbered by the writer), or after its own name by the rule when `name` is empty. False
    // when nothing was written.
    bool copyFile(const std::string& devicePath, const std::filesystem::path& into,
                  const std::string& name = {});

    // The local folder root/<each of `deviceParts` by the rule>, made level by level; nullopt
    // (reported) when it can't be.
    std::optional<std::filesystem::path> mirrorFolder(const std::vector<std::string>& deviceParts);

    // Everything below the device folder `deviceFolder` (regular files and folders; links and
    // anything else are not copied) into root/<localParts...>, each sub-folder in a local folder
    // named by the rule. `depth` counts the levels already entered.
    void copyTree(const std::string& deviceFolder, const std::vector<std::string>& localParts,
                  int depth = 0);
    // The same for the device folder `deviceParts`, into mirrorFolder(deviceParts).
    void copyMirroredTree(const std::vector<std::string>& deviceParts);

  private:
    void fail(const std::string& devicePath, int code, const QString& reason) const;
    std::vector<std::string> localNames(const std::vector<std::string>& deviceParts) const;
    std::optional<std::filesystem::path> makeFolder(const std::string& deviceFolder,
                                                    const std::vector<std::string>& localParts);

    amd::AfcService* afc_;
    CleanRunGuard& guard_;
    std::filesystem::path root_;
    HiddenNameRule names_;
    FailSink failed_;
    WrittenSink written_;
};

}  // namespace nimbara::cleanup
