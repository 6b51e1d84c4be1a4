// One-click copy: everything of a device that the user left switched on, copied in one run into
// a folder of its own inside the export folder.
//
// A run belongs to one device (its index, the serial of that attachment, its UDID and name) and
// works through fixed steps on the calling (worker) thread: camera roll, photo stream, photo
// library, music and videos (through the device's media library), the backup, then the records
// read from that backup (contacts, messages, notes, bookmarks, calendar and reminders, call
// logs), and the voice memos. Each step reads its toggle when it is reached, so a toggle flipped
// during a run still counts for the steps ahead.
//
// Where the copies go, inside the run's folder "<device name> <yyyy-MM-dd HH.mm.ss>" (numbered
// " (2)" when taken, so an earlier run is never mixed with this one):
//   <file>                          camera roll, photo stream, photo library, music and videos
//   Contact/<name>.vcf              one vCard per contact
//   Message/<conversation>.html     one page per conversation, with attachment copies beside it
//   Note/Notes.txt, note images     BookMark/BookMark.txt
//   Calendar&Reminder/Calendar&Reminder.txt                    CallLogs/Call History.txt
//   Voice Memo/<name>.m4a
// Media keep their device names (tracks take their title and the extension of their file), made
// safe as local names; two items of one name both survive (" (2)"). Files are written under a
// temporary name and renamed into place when complete.
//
// The records are read only from a backup the run itself made and checked (the tool's exit
// status, the same device still attached, a backup newer than the run's start); when it failed,
// the record steps end as failed and no older backup is read. The readers post to a
// notification centre of the run's own, so no other page hears them. Every step that is reached
// ends its row, whatever it found; a device that goes away (or another device in its place) ends
// the run at once.
#pragma once

#include <QDateTime>
#include <QString>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "backup/backup_runner.h"
#include "platform/result.h"

namespace nimbara::transfer {

// The page's twelve rows, in the order of its table.
enum class OneCopyRow {
    CameraRoll,
    PhotoLibrary,
    PhotoStream,
    Music,
    Video,
    Contacts,
    Messages,
    Notes,
    Bookmarks,
    Calendar,
    CallLogs,
    VoiceMemos,
};
inline constexpr std::size_t kOneCopyRowCount = 12;
constexpr std::size_t oneCopySlot(OneCopyRow row) {
    return static_cast<std::size_t>(row);
}

// Folders of the run's folder.
inline constexpr const char* kOneCopyContactFolder = "Contact";
inline constexpr const char* kOneCopyMessageFolder = "Message";
inline constexpr const char* kOneCopyNoteFolder = "Note";
inline constexpr const char* kOneCopyBookMarkFolder = "BookMark";
inline constexpr const char* kOneCopyCalendarFolder = "Calendar&Reminder";
inline constexpr const char* kOneCopyCallLogFolder = "CallLogs";
inline constexpr const char* kOneCopyVoiceMemoFolder = "Voice Memo";

// The toggles of the rows, shared by the page (GUI thread) and the run (worker).
class OneCopyToggles {
  public:
    OneCopyToggles() { setAll(true); }
    bool isOn(OneCopyRow row) const { return on_[oneCopySlot(row)].load(); }
    void set(OneCopyRow row, bool on) { on_[oneCopySlot(row)].store(on); }
    void setAll(bool on) {
        for (auto& flag : on_) {
            flag.store(on);
        }
    }

  private:
    std::array<std::atomic<bool>, kOneCopyRowCount> on_;
};

// The device a run is for.
struct OneCopyDevice {
    int deviceIndex = -1;
    std::uint64_t deviceSerial = 0;  // of the attachment at that index (DeviceManager)
    QString udid;
    QString deviceName;
};

// An item of a step that could not be copied or written: what it is, and why.
struct OneCopyFailure {
    QString item;    // a device file's path, a contact, a conversation, an attachment, a list
    QString reason;  // one line
};

// How one row's step ended. A step that did its work but could not copy every item did not
// complete: its row shows the failure, never a plain done mark.
struct OneCopyRowEnd {
    OneCopyRow row = OneCopyRow::CameraRoll;
    bool ok = true;            // the step did its work (possibly finding nothing)
    std::size_t items = 0;     // files written (copies, cards, pages, lists)
    std::size_t failures = 0;  // items that could not be copied or written
    // Those items, in the order they failed (the first kMaxListed of them).
    std::vector<OneCopyFailure> failed;
    QString message;  // why it failed; empty when ok

    static constexpr std::size_t kMaxListed = 500;

    // Counts an item that could not be copied and lists it.
    void addFailure(const QString& item, const QString& reason);
    // Every item reached was copied and the step did its work.
    bool complete() const { return ok && failures == 0; }
};

// "N of M items could not be copied." (M: the items copied and those that could not be), for a
// step with failures; empty for one without.
QString oneCopyFailureText(const OneCopyRowEnd& end);

enum class OneCopyStatus {
    Finished,        // every step reached its end
    DeviceGone,      // the device went away (or another took its index): the run stopped
    Stopped,         // the caller asked to stop
    NoExportFolder,  // the run's folder could not be made: nothing was copied
};

struct OneCopyReport {
    OneCopyStatus status = OneCopyStatus::Finished;
    std::filesystem::path runFolder;  // where everything went; empty when none was made
    std::optional<backup::BackupRunResult> backup;  // the run's backup, once it ended
    bool encrypted = false;           // the backup is encrypted: its records could not be read
    std::vector<OneCopyRowEnd> rows;  // in the order the steps ended
    QString message;                  // for the user; empty when all went well
    // Records read from the backup.
    std::size_t contacts = 0;
    std::size_t messages = 0;
    std::size_t conversations = 0;
    std::size_t notes = 0;
    std::size_t bookmarks = 0;
    std::size_t calendarItems = 0;
    std::size_t calls = 0;

    // The row's end, or null when its step never ended (skipped, or the run stopped first).
    const OneCopyRowEnd* rowEnd(OneCopyRow row) const;
};

// What the run tells while it goes.
struct OneCopySink {
    // A row's step ended (worker thread).
    std::function<void(const OneCopyRowEnd&)> rowEnded;
    // A media file was written (worker thread).
    std::function<void(OneCopyRow, const std::filesystem::path&)> fileCopied;
    // The backup tool started: the unlock notice (GUI thread; the backup waits until it
    // returns).
    std::function<void(const backup::BackupDevice&)> unlockNotice;
};

struct OneCopySettings {
    std::filesystem::path exportFolder;  // made (with its parents) when missing
    backup::BackupRunSettings backup;
    QDateTime startedAt;  // names the run's folder; invalid: now
};

class OneCopyJob {
  public:
    using StopCheck = std::function<bool()>;  // true: stop now

    OneCopyJob(OneCopyDevice device, OneCopySettings settings,
               std::shared_ptr<const OneCopyToggles> toggles, OneCopySink sink,
               StopCheck stop = {});
    ~OneCopyJob();
    OneCopyJob(const OneCopyJob&) = delete;
    OneCopyJob& operator=(const OneCopyJob&) = delete;

    // Runs every step on the calling thread; call once.
    OneCopyReport run();

    // "<device name> <yyyy-MM-dd HH.mm.ss>" in local time, the name made safe.
    static QString runFolderName(const QString& deviceName, const QDateTime& when);
    // A new folder inside `root` named `name`, or "name (2)", "name (3)", ... when taken; the
    // failure says why none can be made.
    static Result<std::filesystem::path> makeRunFolder(const std::filesystem::path& root,
                                                       const QString& name);
    // The permission check of the backup folder applies only to systems that guard it behind a
    // "full disk access" setting; this one never does.
    static bool backupLocationCheckApplies();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace nimbara::transfer
