// The settings of a run (the export folder and the two size limits) and how Preferences works
// them out: where they are kept, reading and writing them, the arithmetic of the two sliders and
// the check of a chosen export folder. No widgets.
//
// They are kept in the user's settings file ($XDG_CONFIG_HOME/Nimbara/Nimbara.ini, by default
// ~/.config/Nimbara/Nimbara.ini), the file that also keeps "CLPAlertSuppress". The hub reads them
// at start-up; Preferences writes them when the user applies a change.
#pragma once

#include <QString>

#include <cstdint>

class QSettings;

namespace nimbara::app {

inline constexpr std::uint64_t kMegabyte = 1'000'000;  // decimal, as every size text counts
inline constexpr std::uint64_t kDefaultLargeFileLimit = 5 * kMegabyte;
inline constexpr std::uint64_t kDefaultLargeAppLimit = 100 * kMegabyte;

// The large-file slider spans 0 to 50 MB whatever its own range; a limit of 2 MB or less becomes
// 2 MB.
inline constexpr int kLargeFileSliderMegabytes = 50;
inline constexpr std::uint64_t kSmallestLargeFileLimit = 2 * kMegabyte;
// The large-app slider counts whole megabytes from 0 up to this.
inline constexpr int kLargeAppSliderMegabytes = 2000;

// Keys in the settings file.
inline constexpr const char* kExportFolderKey = "NimbaraExportPath";
inline constexpr const char* kLargeFileLimitKey = "LimitLargeFileSize";
inline constexpr const char* kLargeAppLimitKey = "LimitLargeAppSize";

struct RunSettings {
    QString exportFolder;
    std::uint64_t limitLargeFileSize = kDefaultLargeFileLimit;
    std::uint64_t limitLargeAppSize = kDefaultLargeAppLimit;

    bool operator==(const RunSettings&) const = default;
};

// What a run starts with when nothing was saved: exports under `home`/Documents/Pellucor.
RunSettings defaultRunSettings(const QString& home);

// The user's settings file, worked out from the environment at each call.
QString userSettingsFile();

// The saved settings; each value that is missing, of the wrong kind or out of what Preferences
// can set is taken from `fallback` instead (and logged).
RunSettings loadRunSettings(const QSettings& settings, const RunSettings& fallback);

// Writes the three values and flushes them to disk. False, with the reason in `error` (when not
// null), when the file could not be written.
bool storeRunSettings(QSettings& settings, const RunSettings& run, QString* error = nullptr);

// ---------------------------------------------------------------- sliders
// The megabytes a large-file slider at `value` of 0..`maximum` stands for: value / maximum of
// 50, rounded down, exactly (no floating point). 0 for an empty range; the value is held within
// the range.
int largeFileMegabytes(int value, int maximum);
// The limit those megabytes give: that many megabytes above 2, otherwise 2,000,000 bytes.
std::uint64_t largeFileLimit(int megabytes);
// The lowest slider position of 0..`maximum` whose megabytes reach those of `limit` (held within
// 0 to 50 MB): where the slider starts for a limit in effect.
int largeFileSliderPosition(std::uint64_t limit, int maximum);

// The large-app slider's value is whole megabytes: the limit is that many megabytes (0 and below
// give 0).
std::uint64_t largeAppLimit(int megabytes);
// Where the large-app slider starts for a limit in effect: its megabytes, rounded down, held
// within 0..`maximum`.
int largeAppSliderPosition(std::uint64_t limit, int maximum);

// The texts beside the sliders.
QString largeFileSliderText(int megabytes);
QString largeAppSliderText(int megabytes);

// ---------------------------------------------------------------- export folder
struct ExportFolderCheck {
    QString folder;   // the folder to keep, cleaned (no trailing "/", no "." or "..")
    QString refusal;  // why it can't be the export folder; empty when it can

    bool ok() const { return refusal.isEmpty(); }
};

// Makes the export folder named by `text` (with missing parent folders) and checks that it is a
// folder that can be written into. An empty text, a path that is not a full path and a folder
// that can't be made or written into are refused with a sentence saying so.
ExportFolderCheck prepareExportFolder(const QString& text);

}  // namespace nimbara::app
