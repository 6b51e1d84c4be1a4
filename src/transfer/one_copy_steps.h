// The steps of a one-click copy run (one_copy_job.h), each over the run's shared context.
// Worker thread only.
#pragma once

#include <QString>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "transfer/one_copy_job.h"

namespace nimbara::transfer::onecopy {

// What every step shares: the device, the run's folder, the sink and the stop check.
class RunContext {
  public:
    RunContext(OneCopyDevice device, std::filesystem::path runFolder, const OneCopySink& sink,
               OneCopyJob::StopCheck stop)
        : device_(std::move(device)),
          runFolder_(std::move(runFolder)),
          sink_(sink),
          stop_(std::move(stop)) {}

    const OneCopyDevice& device() const { return device_; }
    const std::filesystem::path& runFolder() const { return runFolder_; }
    const OneCopySink& sink() const { return sink_; }

    // The device that the run is for is no longer attached (once seen, it stays so).
    bool deviceGone();
    // The caller asked to stop.
    bool stopAsked() const { return stop_ && stop_(); }
    // Either of the two: a step ends at once.
    bool interrupted() { return stopAsked() || deviceGone(); }

    // The folder `name` inside the run's folder, made where missing; nullopt (with the reason in
    // `why`) when it can't be made.
    std::optional<std::filesystem::path> folder(const char* name, std::string* why);

    // Counts `item` as not copied in `end` and lists it, with the reason `error` (a write's error
    // text) gives, and logs it.
    void failed(OneCopyRowEnd& end, const QString& item, const std::string& error) const;

  private:
    OneCopyDevice device_;
    std::filesystem::path runFolder_;
    const OneCopySink& sink_;
    OneCopyJob::StopCheck stop_;
    bool gone_ = false;
};

// The media steps. Each opens its own connection to the device's files; a row whose files
// can't be reached ends as failed. A step cut short by a stop or a departed device returns
// nullopt: its row does not end.
std::optional<OneCopyRowEnd> copyCameraRoll(RunContext& run);
std::optional<OneCopyRowEnd> copyPhotoStream(RunContext& run);
std::optional<OneCopyRowEnd> copyPhotoLibrary(RunContext& run);
std::optional<OneCopyRowEnd> copyVoiceMemos(RunContext& run);

// Music and videos: the media library read once, then the music tracks when `music` is on and
// the videos when `video` is on; each row ends (through `ended`) when its part ends. False when
// the run was cut short.
bool copyMusicAndVideo(RunContext& run, const std::function<bool(OneCopyRow)>& isOn,
                       const std::function<void(const OneCopyRowEnd&)>& ended);

// The record steps over the run's checked backup in `backupFolder`, the rows as `isOn` says at
// each step; every row reached ends through `ended`. False when the run was cut short.
bool copyRecords(RunContext& run, const std::string& backupFolder,
                 const std::function<bool(OneCopyRow)>& isOn,
                 const std::function<void(const OneCopyRowEnd&)>& ended, OneCopyReport& report);

// The record rows, in the order of their steps.
inline constexpr OneCopyRow kRecordRows[] = {OneCopyRow::Contacts, OneCopyRow::Messages,
                                             OneCopyRow::Notes,    OneCopyRow::Bookmarks,
                                             OneCopyRow::Calendar, OneCopyRow::CallLogs};

}  // namespace nimbara::transfer::onecopy
