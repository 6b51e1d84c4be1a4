// Export of what the clean-up page found to a folder on the computer: single files, the folder of
// a tree row, failed-sync media, and the chosen rows of the app clean-up lists.
//
// The plan is the same list of CleanItem the removals take (clean_removal.h), taken on the GUI
// thread; CleanExportEngine copies it on the calling (worker) thread, app by app over one
// container connection each. Nothing on the device changes.
//
// Where the copies go, below the chosen folder:
//   PerApp  <folder>/<app>/<name>                the app clean-up lists ("AppData" folder)
//   Flat    <folder>/<name>                      single files and failed-sync media
//   Mirror  <folder>/<path inside the container> folder rows: the device's layout below them
// Every component from the device (bundle identifiers included) is made one safe name first: a
// leading dot becomes "_" and a run of dots one dot, so "..." never becomes "..", and ".x" and
// "x" stay apart. Each folder is made level by level, refusing links, and must lie under the
// chosen folder. A file never replaces another: same names from different apps or folders are
// numbered "name (2).ext". Each copy is written under a temporary name and renamed into place
// once complete, so a failed copy leaves nothing behind; every failure is reported.
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "backup/writers/export_file.h"
#include "cleanup/clean_removal.h"
#include "cleanup/device_export_copy.h"

namespace nimbara::cleanup {

enum class CleanExportLayout { PerApp, Flat, Mirror };

// The app-file export's folder inside the export folder.
inline constexpr const char* kAppDataFolder = "AppData";

// The export folder's proposed name: "Nimbara <yyyy-MM-dd> - <HH.mm.ss>" in local time.
QString cleanExportFolderName(const QDateTime& now);

// Copies the device file `devicePath` over a file service (amd::AfcService or
// amd::CrashReportService) into a new file directly in `into`, named after the file's last
// component made safe and numbered " (2)", ... when taken: nothing is ever replaced, and a copy
// that fails or is stopped (`stop` may be empty) leaves nothing behind. `copied` gets the bytes
// copied.
// `folder` made (with its parents) where missing, as a canonical path; nullopt with the reason
// in `ec` when it is empty, can't be made or is no folder.
std::optional<std::filesystem::path> prepareExportFolder(const std::filesystem::path& folder,
                                                         std::error_code& ec);
// The sentence for an export folder prepareExportFolder refused with `ec`.
QString unusableExportFolderText(const std::error_code& ec);

template <class Service>
backup::ExportWriteResult exportDeviceFile(Service& service, const std::string& devicePath,
                                           const std::filesystem::path& into,
                                           const std::function<bool()>& stop,
                                           std::uint64_t* copied);
// The same, the new file named after `fileName` (made safe and numbered alike) instead of the
// device file's own name.
template <class Service>
backup::ExportWriteResult exportDeviceFileNamed(Service& service, const std::string& devicePath,
                                                const std::filesystem::path& into,
                                                const QString& fileName,
                                                const std::function<bool()>& stop,
                                                std::uint64_t* copied);

// Copies the local file `localPath` into a new file in `into` named after `fileName`, made safe
// and numbered as exportDeviceFileNamed does; `copied` gets the bytes copied.
backup::ExportWriteResult exportLocalFileNamed(const std::string& localPath,
                                               const std::filesystem::path& into,
                                               const QString& fileName,
                                               const std::function<bool()>& stop,
                                               std::uint64_t* copied);

// The sentence that ends an export: `copied` tells what was copied ("3 file(s) (1.2 MB)"),
// `nothingCopied` whether that is nothing at all.
QString exportRunMessage(CleanRunStatus status, const QString& copied, bool nothingCopied);

struct CleanExportReport {
    CleanRunStatus status = CleanRunStatus::Done;
    // message: exportOutcomeText of the run, or why the folder could not be used.
    std::filesystem::path folder;                // where the copies went
    std::vector<std::filesystem::path> written;  // every file written
    std::uint64_t copiedBytes = 0;
    std::vector<CleanFailure> failures;
    QString message;

    // Only an export that copied something shows its folder.
    bool revealFolder() const { return !written.empty(); }
};

// The sentence for the user at the end of an export: what was copied and how the run ended.
QString cleanExportMessage(CleanRunStatus status, std::size_t written, std::uint64_t copiedBytes);

// The sentence that ends an export, saying once what was written and where: "Exported 3 files
// (1.20MB) to <folder>.", with how the run ended when it did not end cleanly, or why nothing
// was written.
QString exportOutcomeText(CleanRunStatus status, std::size_t written, std::uint64_t copiedBytes,
                          const QString& folder);

class CleanExportEngine {
  public:
    using StopCheck = std::function<bool()>;
    using ProgressSink = CleanRemovalEngine::ProgressSink;

    // `folder` is made (with its parents) when missing.
    CleanExportEngine(CleanDeviceTarget target, std::vector<CleanItem> plan,
                      std::filesystem::path folder, CleanExportLayout layout,
                      ProgressSink progress = {}, StopCheck stop = {});
    ~CleanExportEngine();

    // Call once.
    CleanExportReport run();

    static constexpr int kMaxDepth = CleanRemovalEngine::kMaxDepth;

    // One safe local name for a component from the device (see above).
    static std::string safeComponent(const std::string& name);

  private:
    void runGroup(const CleanItemGroup& group);
    void exportItem(amd::AfcService* afc, std::size_t index);
    // The copy of item `index`'s device files over `afc` (null: its local copy only).
    DeviceExportCopy copier(amd::AfcService* afc, std::size_t index);
    void copyFile(DeviceExportCopy& copy, std::size_t index, amd::AfcService& afc,
                  const std::string& devicePath, const std::filesystem::path& into);
    void copyLocal(std::size_t index, const std::string& localPath, const std::string& name,
                   const std::filesystem::path& into);
    void wrote(const std::filesystem::path& file, std::uint64_t bytes);
    void fail(std::size_t index, const std::string& path, int code, const QString& reason);
    void itemDone();
    void finish();

    CleanRunGuard guard_;
    std::vector<CleanItem> plan_;
    std::filesystem::path folder_;
    std::filesystem::path root_;  // canonical
    CleanExportLayout layout_;
    ProgressSink progress_;
    CleanExportReport report_;
    std::size_t handled_ = 0;
    bool ran_ = false;
};

}  // namespace nimbara::cleanup
